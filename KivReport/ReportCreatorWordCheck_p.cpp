// What validate and summarize say of a Word template: the template scanned once,
// the texts written from the scan.
#include "KivReport/ReportCreatorWord_p.h"
#include "LibCore/lfwAssert.h"
#include "impl/common/TemplateTexts.h"

namespace kiv {
namespace rep {

bool ReportCreatorWordPrivate::validate(Str* report) const {
    LFW_ASSERT(report);
    if (!report) return false;
    std::string text;
    const bool result = validateTemplate(text);
    // The text as written: a path in it keeps its bytes.
    *report = Str(text);
    return result;
}

bool ReportCreatorWordPrivate::validateTemplate(std::string& report) const {
    report.clear();
    Snapshots main, ref;
    gatherSnapshots(repository.p(), &main);
    if (main.empty()) {
        report = "No active snapshots in repository";
        return false;
    }
    OpenXMLWordArchive archive;
    archive.reportTo(&problems);
    if (!archive.open(templatePath) || !archive.document()->getBody()) {
        // The reason generate gives for refusing the template.
        report = "Not able to open template file";
        if (!archive.isOpen() && creator::looksLikeZip(templatePath.c_str())) report += ": " + archive.error();
        return false;
    }
    gatherSnapshots(referenceRepository.p(), &ref);
    WordDocumentContent content;
    archive.getDocumentContent(content);
    return validateScan(archive, archive.scan(content, false), main, ref, report);
}

bool ReportCreatorWordPrivate::validateScan(OpenXMLWordArchive& archive, const TemplateScan& scan, const Snapshots& main,
                                            const Snapshots& ref, std::string& report) const {
    TemplateTexts::ValidationInput input = validationInput(main, ref);
    input.chartFits = [&archive](const std::string& tag, const Table* table, std::string* why) {
        return archive.checkCharts(archive.getChartParts(tag), table, nullptr, why);
    };
    return TemplateTexts::wordValidation(scan, input, report);
}

bool ReportCreatorWordPrivate::summarize(const Str& path, Str* summary, Problems& problems) {
    LFW_ASSERT(summary);
    if (!summary) return false;
    std::string text;
    // The path as the file system names it (bytes that are not UTF-8 kept).
    const bool result = summarizeTemplate(path.toStdString(), text, problems);
    *summary = Str(text);
    return result;
}

bool ReportCreatorWordPrivate::summarizeTemplate(const std::string& path, std::string& summary, Problems& problems) {
    summary.clear();
    OpenXMLWordArchive archive;
    archive.reportTo(&problems);
    if (!archive.open(path) || !archive.document()->getBody()) {
        summary = "Not able to open template file";
        return false;
    }
    WordDocumentContent content;
    archive.getDocumentContent(content);
    summary = TemplateTexts::summary(archive.scan(content, true), TextDialect::Word);
    return true;
}

}  // namespace rep
}  // namespace kiv
