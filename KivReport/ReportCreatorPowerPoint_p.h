#pragma once
// Data and operations of a ReportCreatorPowerPoint: static slides filled from the
// snapshots their tags name, generic slides repeated per snapshot.
#include "KivReport/ReportCreatorBase_p.h"
#include "KivReport/Snapshot.h"
#include "LibCore/lfwCollection.h"
#include "LibCore/lfwString.h"
#include "impl/pptx/OpenXMLPresentation.h"
#include "impl/common/TemporaryFiles.h"
#include <map>
#include <string>
#include <vector>

namespace kiv {
namespace rep {

struct ReportPlan;

// Tag helpers shared by the creator's sources (the report, its generic slides,
// its checks).
namespace pptcreator {
// "SIT3_TITLE", "REF_SIT3_TITLE".
std::string tagName(bool reference, int number, const char* kind);
std::string prefixOf(bool reference);
bool holds(const std::vector<std::string>& tags, const std::string& tag);
// Whether a tag of the list contains text.
bool holdsPart(const std::vector<std::string>& tags, const char* text);
}  // namespace pptcreator

class ReportCreatorPowerPointPrivate : public ReportCreatorBase {
public:
    typedef lfw::Collection<const Snapshot> Snapshots;

    ReportCreatorPowerPointPrivate(Repository* repository, const Str& templatePath);

    bool validate(Str* report) const override;
    // The validation of the template against the repository, then the reference
    // repository when one is given; of the template as opened in `opened` (its
    // slide list made) and scanned in `scanned` when both are given.
    bool validateTemplate(std::string& report, OpenXMLPresentation* opened, const TemplateScan* scanned) const;
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
    struct Context {
        OpenXMLPresentation& presentation;
        TemporaryFiles& temporary;  // model files
        lfw::StagedFiles& staged;
        // Each snapshot's picture, encoded (a model's preview decoded) once per report
        // and handed to the deck from memory.
        PictureBytes pictures;
        std::map<std::string, std::string> models;  // model files written, by snapshot and side
    };

    bool fillStaticSlide(Context& c, const SlideContent& slide, bool reference);
    bool setStaticTitle(Context& c, const std::string& slide, const std::vector<int>& indices, const Snapshots& snaps,
                        bool reference);
    bool setStaticText(Context& c, const std::string& slide, const std::vector<int>& indices, const Snapshots& snaps,
                       bool reference);
    bool setStaticPicture(Context& c, const std::string& slide, const std::vector<int>& indices, const Snapshots& snaps,
                          bool reference);
    bool setStaticMdlx(Context& c, const std::string& slide, const std::vector<int>& indices, const Snapshots& snaps,
                       bool pictureMode, bool reference);
    void setStaticMacro(Context& c, const std::string& slide, const std::vector<std::string>& macros, const Snapshots& snaps,
                        bool reference);
    bool setStaticTable(Context& c, const std::string& slide, const std::vector<int>& indices, const Snapshots& snaps,
                        bool reference);
    bool setStaticChart(Context& c, const std::string& slide, const std::vector<int>& indices, const Snapshots& snaps,
                        bool reference);

    // The snapshot's picture, given to the deck under its name; null when the
    // snapshot has none, which is then left out with a warning naming the tag.
    const PictureBytes::Picture* pictureFor(Context& c, const Snapshot* snapshot, const std::string& tag);
    bool addGenericSlides(Context& c, const ReportPlan& plan);
    bool duplicateGenericSlide(Context& c, const SlideContent& slide, const std::vector<bool>& repeated);
    bool renameGenericTags(Context& c, const std::string& slide, const std::vector<std::string>& tags, int number,
                           bool reference);
    bool updateSlideFromSituation(Context& c, const std::string& slide, int number, const std::vector<std::string>& tags,
                                  const Snapshot* snapshot, const std::string& file, bool reference);
    // The model file of a snapshot for a report: in the temporary folder when models
    // are embedded, else beside the report (staged with it). Written once.
    std::string modelFile(Context& c, const Snapshot* snapshot, int number, bool reference);
};

}  // namespace rep
}  // namespace kiv
