// What validate and summarize say of a PowerPoint template: the deck scanned
// once, the texts written from the scan.
#include "KivReport/ReportCreatorPowerPoint_p.h"
#include "LibCore/lfwFile.h"
#include "impl/common/TemplateTexts.h"
#include <memory>

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
    const bool ok = validateTemplate(text, nullptr, nullptr);
    if (report) *report = Str(text);
    return ok;
}

bool ReportCreatorPowerPointPrivate::validateTemplate(std::string& report, OpenXMLPresentation* opened,
                                                      const TemplateScan* scanned) const {
    Snapshots main, ref;
    gatherSnapshots(repository.get(), &main);
    gatherSnapshots(referenceRepository.get(), &ref);
    OpenXMLPresentation own;
    own.reportTo(&problems);
    OpenXMLPresentation& presentation = opened ? *opened : own;
    // The template is opened (when not given) and scanned once, by the first pass that reads it.
    std::unique_ptr<TemplateScan> scan;
    std::string unreadable;
    const auto scanOf = [&]() -> const TemplateScan* {
        if (scanned) return scanned;
        if (!scan && unreadable.empty() && openTemplate(own, templatePath, unreadable))
            scan.reset(new TemplateScan(own.scan(false)));
        return scan.get();
    };
    TemplateTexts::ValidationInput input = validationInput(main, ref);
    input.chartFits = [&presentation](const std::string& tag, const Table* table, std::string* why) {
        std::vector<OpenXMLPart*> charts;
        presentation.getChartParts(tag, "", &charts);
        return presentation.checkCharts(charts, table, nullptr, why);
    };
    // The main pass, then the reference pass when a reference repository is given.
    bool ok = true;
    for (const bool reference : {false, true}) {
        if (reference && !referenceRepository) break;
        const TemplateScan* read = (reference ? ref : main).empty() ? nullptr : scanOf();
        if (!read) {
            report = (reference ? ref : main).empty() ? "No active snapshots in repository" : unreadable;
            ok = false;
            continue;
        }
        ok = TemplateTexts::slideValidation(*read, input, reference, report) && ok;
    }
    return ok;
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
