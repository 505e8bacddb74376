#include "KivReport/ReportCreatorHtml_p.h"
#include "LibCore/lfwFile.h"
#include "LibCore/lfwText.h"
#include "KivReport/ReportComponent.h"
#include "LibCore/lfwAssert.h"
#include "LibCore/lfwUtf8.h"
#include "impl/common/ReportLog.h"
#include "impl/common/TemplateTags.h"
#include "impl/common/TemplateTexts.h"
#include <algorithm>
#include <climits>

namespace kiv {
namespace rep {

using lfw::text::isBlank;

ReportCreatorHtmlPrivate::ReportCreatorHtmlPrivate(Repository* repo, const Str& path) : ReportCreatorBase(repo, path) {}

bool ReportCreatorHtmlPrivate::makeReport(const std::string& reportFile, lfw::StagedFiles& staged) {
    if (snapshots.empty()) {
        reportError(ProblemCode::InvalidArgument,
                    lfw::String("Could not create report file (%1). No active snapshots in repository").arg(outputPath));
        return false;
    }
    // The template is read once; the report is its text with the tags filled.
    HtmlDocument output{Str(outputPath)};
    output.reportTo(&problems);
    output.setSavePath(Str(reportFile));
    HtmlDocument templateDocument{Str(templatePath)};
    templateDocument.reportTo(&problems);
    if (!templateDocument.open()) {
        // In the words of the copy that used to start the report.
        reportError(ProblemCode::FileNotFound, lfw::String("Copy failed. Source file %1 did not exist").arg(templatePath));
        return false;
    }
    output.setDocumentContent(templateDocument.getDocumentContent());
    std::vector<std::string> tags;
    templateDocument.getSitTagNames(tags);
    templateWithoutTags = tags.empty() && templateDocument.getDocumentContent().find("<orvrepgroup") == std::string::npos;
    templateWithReferenceTags = templateDocument.hasRefTags();
    {
        // What validate says of the template, from the text already read: generate
        // warns of the tags the report leaves unfilled without reading it again.
        HtmlDocument checked{Str(templatePath)};
        checked.reportTo(&problems);
        checked.setDocumentContent(templateDocument.getDocumentContent());
        std::string validation;
        validateTemplate(validation, &checked);
        keepValidation(Str(validation));
    }
    // The pictures are staged beside the report and move into place with it.
    output.setStagedOutput(&staged);
    const bool made = output.updateDocumentContent(snapshots, referenceSnapshots, genericSnapshotIndices, use3dPlugin);
    leftOut = output.leftOutSnapshots();
    return made;
}

bool ReportCreatorHtmlPrivate::validate(Str* report) const {
    LFW_ASSERT(report);
    if (!report) return false;
    std::string text;
    const bool result = validateTemplate(text);
    *report = Str(text);
    return result;
}

bool ReportCreatorHtmlPrivate::validateTemplate(std::string& report, HtmlDocument* opened) const {
    lfw::Collection<const Snapshot> snapshots;
    gatherSnapshots(repository.p(), &snapshots);
    if (snapshots.empty()) {
        report = "No active snapshots in repository";
        return false;
    }
    HtmlDocument own{Str(templatePath)};
    own.reportTo(&problems);
    if (!opened && !own.open()) {
        reportError(ProblemCode::FileNotFound, lfw::String("Could not read template file (%1)").arg(templatePath));
        return false;
    }
    HtmlDocument& document = opened ? *opened : own;
    lfw::Collection<const Snapshot> referenceSnapshots;
    gatherSnapshots(referenceRepository.p(), &referenceSnapshots);

    TemplateTexts::ValidationInput input = validationInput(snapshots, referenceSnapshots);
    TemplateTexts::HtmlPasses passes;
    passes.pass = [&](bool reference, std::string& text) {
        return document.validateDocument(reference ? referenceSnapshots : snapshots, genericSnapshotIndices, reference, text);
    };
    passes.unrolled = [&document]() { return document.groupsUnrolled(); };
    passes.referenceTags = [&document]() { return document.hasRefTags(); };
    return TemplateTexts::htmlValidation(input, passes, report);
}

bool ReportCreatorHtmlPrivate::summarize(const Str& path, Str* summary, Problems& problems) {
    LFW_ASSERT(summary);
    if (!summary) return false;
    std::string text;
    const bool result = summarizeTemplate(path.toStdString(), text, problems);
    *summary = Str(text);
    return result;
}

bool ReportCreatorHtmlPrivate::summarizeTemplate(const std::string& path, std::string& summary, Problems& problems) {
    XmlDocument document;
    if (!document.LoadFile(path)) {
        summary += "Could not open file. Please check the HTML syntax. Closing tags are required!";
        problems.error(ProblemCode::UnreadableXml,
                       lfw::String("Could not open file %1.Please check the HTML syntax. Closing tags are required for summary!")
                           .arg(path)
                           .toStdString());
        return false;
    }
    const XmlElement root = document.getRootElement();
    if (root.getName() != "html") return true;

    summary += TemplateTexts::summary(HtmlDocument::scanXml(root), TextDialect::Html);
    return true;
}

}  // namespace rep
}  // namespace kiv
