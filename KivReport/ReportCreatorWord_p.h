#pragma once
// Data and operations of a ReportCreatorWord.
#include "KivReport/ReportCreatorBase_p.h"
#include "KivReport/ReportCreatorWord.h"
#include "KivReport/Snapshot.h"
#include "LibCore/lfwCollection.h"
#include "impl/docx/OpenXMLWordArchive.h"
#include <string>
#include <vector>

namespace kiv {
namespace rep {

// Helpers shared by the creator's sources (the report and its checks).
namespace wordcreator {
int countOf(const lfw::Collection<const Snapshot>& snaps);
// "<prefix><n>_", made without a formatted print: a report names six tags per snapshot.
std::string tagStem(const std::string& prefix, int n);
std::string tagName(const std::string& stem, const char* kind);
}  // namespace wordcreator

class ReportCreatorWordPrivate : public ReportCreatorBase {
public:
    typedef lfw::Collection<const Snapshot> Snapshots;
    enum NeededType { NEEDS_IMAGE, NEEDS_TABLE, NEEDS_MDLX };

    ReportCreatorWordPrivate(Repository* repository, const Str& templatePath);

    bool validate(Str* report) const override;
    bool validateTemplate(std::string& report) const;
    // The checks of validateTemplate on the template open in archive, not yet
    // changed, whose tags content holds, against these snapshots.
    bool validateOpened(OpenXMLWordArchive& archive, const WordDocumentContent& content, const Snapshots& main,
                        const Snapshots& ref, std::string& report) const;
    static bool summarize(const Str& templatePath, Str* summary, Problems& problems);
    static bool summarizeTemplate(const std::string& templatePath, std::string& summary, Problems& problems);

    bool embedMdlx = true;
    bool use3dPlugin = true;

protected:
    void applyOptions(const ReportOptions& options) override {
        ReportCreatorBase::applyOptions(options);
        use3dPlugin = options.use3dViewer;
        embedMdlx = options.embedModels;
    }
    bool makeReport(const std::string& reportFile, lfw::StagedFiles& staged) override;

    // One line per group that lies inside another group (which a report refuses),
    // in the words both generate and validate use.
    static std::vector<std::string> nestedGroups(const XmlElement& body);
    // One line per group in a header, footer or notes part (which a report
    // refuses), in the words both generate and validate use.
    static std::vector<std::string> storyGroups(OpenXMLWordArchive& archive);

private:
    void replaceMacros(OpenXMLWordArchive& archive, const Snapshots& snaps, const WordTagNames& tags, bool reference) const;
    bool replaceSituationData(OpenXMLWordArchive& archive, const Snapshots& snaps, const WordTagNames& tags, bool reference,
                              lfw::StagedFiles& staged, PictureBytes& shots);

    bool validateTag(const WordDocumentTag& tag, NeededType type, const Snapshots& main, const Snapshots& ref,
                     std::string& unmatched, std::string& genericOutside) const;
    // A 3D viewer tag outside the body is not filled: false, with a line into unmatched.
    static bool viewerInBody(OpenXMLWordArchive& archive, const WordDocumentTag& tag, std::string& unmatched);
    static bool validateTagPosition(const WordDocumentTag& tag, std::string& genericOutside);
    static bool validateSituationIndex(const WordDocumentTag& tag, const Snapshots& snaps, std::string& unmatched);
    static bool validateSituationObject(const WordDocumentTag& tag, NeededType type, const Snapshots& snaps,
                                        std::string& unmatched);
};

}  // namespace rep
}  // namespace kiv
