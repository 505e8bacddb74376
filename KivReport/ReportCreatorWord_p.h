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
// "<prefix><n>_", made without a formatted print: a report names six tags per snapshot.
std::string tagStem(const std::string& prefix, int n);
std::string tagName(const std::string& stem, const char* kind);
}  // namespace wordcreator

class ReportCreatorWordPrivate : public ReportCreatorBase {
public:
    typedef lfw::Collection<const Snapshot> Snapshots;

    ReportCreatorWordPrivate(Repository* repository, const Str& templatePath);

    bool validate(Str* report) const override;
    bool validateTemplate(std::string& report) const;
    // The checks of validateTemplate on the template open in archive, not yet
    // changed, of which scan holds the tags, against these snapshots.
    bool validateScan(OpenXMLWordArchive& archive, const TemplateScan& scan, const Snapshots& main, const Snapshots& ref,
                      std::string& report) const;
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

private:
    void replaceMacros(OpenXMLWordArchive& archive, const Snapshots& snaps, const WordTagNames& tags, bool reference) const;
    bool replaceSituationData(OpenXMLWordArchive& archive, const Snapshots& snaps, const WordTagNames& tags, bool reference,
                              lfw::StagedFiles& staged, PictureBytes& shots);
};

}  // namespace rep
}  // namespace kiv
