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

    const std::string d36 = TemplateTags::VALIDATION_SEPARATOR;
    const int count = static_cast<int>(snapshots.size() > static_cast<size_t>(INT_MAX) ? INT_MAX : snapshots.size());
    const int referenceCount =
        static_cast<int>(referenceSnapshots.size() > static_cast<size_t>(INT_MAX) ? INT_MAX : referenceSnapshots.size());
    const std::vector<int>& indices = genericSnapshotIndices;
    const int lastIndex = indices.empty() ? -1 : indices.back();

    // Only the last index is compared: it is the one most likely past the end.
    if (!indices.empty() && lastIndex >= count) {
        report += "GENERIC SNAPSHOTS\n";
        report += d36;
        report += "Generic snapshots is out of repository's range\n\n";
    }

    report += "VALIDATION OF REPOSITORY\n";
    report += d36;
    std::string text;
    const bool ok1 = document.validateDocument(snapshots, indices, false, text);
    if (!document.groupsUnrolled()) {
        // The groups cannot be repeated over the repository, so no report can be
        // made: say so, rather than let the reference pass (which would unroll
        // over other snapshots, or none) report success.
        report += "Error unrolling generic tags\n\n";
        return false;
    }
    report += isBlank(text) ? std::string("No warnings or errors found\n\n") : text;

    std::string reference;
    if (referenceCount > count) reference += "Repository and referred repository do not have same number of snapshots\n\n\n";
    if (referenceCount >= 1 && !indices.empty() && lastIndex >= referenceCount) {
        reference += "GENERIC SNAPSHOTS\n";
        reference += d36;
        reference += "Generic snapshots is out of reference repository's range\n\n\n";
    }
    std::string referenceText;
    const bool ok2 = document.validateDocument(referenceSnapshots, indices, true, referenceText);
    if (!isBlank(referenceText)) reference += referenceText;
    else if (reference.empty()) reference += "No warnings or errors found";

    if (referenceCount >= 1 || (!ok1 && !ok2)) {
        report += "VALIDATION OF REFERENCE REPOSITORY\n";
        report += d36;
        report += reference;
    }
    // "REF_" tags stay as written without a reference repository: a report warns of them.
    if (referenceCount == 0 && document.hasRefTags())
        report += "Reference tags\n" + d36 + "Reference tags were found in template, but no reference repository specified\n\n";
    return ok1 || ok2;
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
