// What validate and summarize say of a PowerPoint template: the deck scanned
// once, the texts written from the scan.
#include "KivReport/ReportCreatorPowerPoint_p.h"
#include "LibCore/lfwFile.h"
#include "impl/common/TemplateTexts.h"

namespace kiv {
namespace rep {

namespace {

// Opens the template for validate and summarize, its slide list made: false with
// the text that says why it cannot be.
bool openTemplate(OpenXMLPresentation& presentation, const std::string& path, std::string& text) {
    if (!lfw::FileSystem::fileExists(lfw::String(path)) || !presentation.open(path)) {
        text = "Not able to open template file";
        if (!presentation.packageProblem().empty()) text += ": " + presentation.packageProblem();
        return false;
    }
    const std::string problem = presentation.checkTemplateParts();
    if (!problem.empty()) {
        text = "Not able to open template file: " + problem;
        return false;
    }
    presentation.createSlideContentList();
    return true;
}

}  // namespace

bool ReportCreatorPowerPointPrivate::validate(Str* report) const {
    std::string text;
    bool ok = validateTemplate(text, false);
    if (referenceRepository) ok = validateTemplate(text, true) && ok;
    if (report) *report = Str(text);
    return ok;
}

bool ReportCreatorPowerPointPrivate::validateTemplate(std::string& report, bool reference, OpenXMLPresentation* opened) const {
    Snapshots main, ref;
    gatherSnapshots(repository.get(), &main);
    gatherSnapshots(referenceRepository.get(), &ref);
    if ((reference ? ref : main).empty()) {
        report = "No active snapshots in repository";
        return false;
    }
    OpenXMLPresentation own;
    own.reportTo(&problems);
    if (!opened && !openTemplate(own, templatePath, report)) return false;
    OpenXMLPresentation& presentation = opened ? *opened : own;
    TemplateTexts::ValidationInput input = validationInput(main, ref);
    input.chartFits = [&presentation](const std::string& tag, const Table* table, std::string* why) {
        std::vector<OpenXMLPart*> charts;
        presentation.getChartParts(tag, "", &charts);
        return presentation.checkCharts(charts, table, nullptr, why);
    };
    return TemplateTexts::slideValidation(presentation.scan(false), input, reference, report);
}

bool ReportCreatorPowerPointPrivate::summarize(const Str& templatePath, Str* summary, Problems& problems) {
    std::string text;
    const bool ok = summarizeTemplate(templatePath.toStdString(), text, problems);
    if (summary) *summary = Str(text);
    return ok;
}

bool ReportCreatorPowerPointPrivate::summarizeTemplate(const std::string& templatePath, std::string& summary,
                                                       Problems& problems) {
    OpenXMLPresentation presentation;
    presentation.reportTo(&problems);
    if (!openTemplate(presentation, templatePath, summary)) return false;
    summary += TemplateTexts::summary(presentation.scan(true), TextDialect::PowerPoint);
    return true;
}

}  // namespace rep
}  // namespace kiv
