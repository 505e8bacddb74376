#include "KivReport/ReportCreatorHtml_p.h"
#include "LibCore/lfwFile.h"
#include "KivReport/ReportComponent.h"
#include "LibCore/lfwAssert.h"
#include "host/ug/UgConvert.h"
#include "impl/common/ReportLog.h"
#include "impl/common/TemplateTags.h"
#include <climits>

namespace kiv {
namespace rep {

ReportCreatorHtmlPrivate::ReportCreatorHtmlPrivate(Repository* repo, const Str& path) : ReportCreatorBase(repo, path) {}

bool ReportCreatorHtmlPrivate::makeReport(const std::string& reportFile, lfw::StagedFiles& staged) {
    if (snapshots.empty()) {
        reportError(ProblemCode::InvalidArgument,
                    lfw::String("Could not create report file (%1). No active snapshots in repository").arg(outputPath.Std()));
        return false;
    }
    std::string copyError;
    if (!lfw::FileSystem::copyFile(lfw::String(templatePath.Std()), reportFile, &copyError)) {
        reportError(ProblemCode::WriteFailed, lfw::String(copyError));
        return false;
    }

    HtmlDocument output{ug::Convert::toStr(outputPath)};
    output.reportTo(&problems);
    output.setSavePath(Str(reportFile));
    HtmlDocument templateDocument(ug::Convert::toStr(templatePath));
    templateDocument.reportTo(&problems);
    if (!templateDocument.open()) {
        reportError(ProblemCode::FileNotFound, lfw::String("Could not read template file (%1)").arg(templatePath.Std()));
        return false;
    }
    output.setDocumentContent(templateDocument.getDocumentContent());
    MkStringArray tags;
    templateDocument.getSitTagNames(tags);
    templateWithoutTags = tags.IsEmpty() && !templateDocument.getDocumentContent().Contains(L"<orvrepgroup");
    templateWithReferenceTags = templateDocument.hasRefTags();
    {
        // What validate says of the template, from the text already read: generate
        // warns of the tags the report leaves unfilled without reading it again.
        HtmlDocument checked(ug::Convert::toStr(templatePath));
        checked.reportTo(&problems);
        checked.setDocumentContent(templateDocument.getDocumentContent());
        MkString validation;
        validateTemplate(validation, &checked);
        keepValidation(ug::Convert::toStr(validation));
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
    MkString text;
    const bool result = validateTemplate(text);
    *report = ug::Convert::toStr(text);
    return result;
}

bool ReportCreatorHtmlPrivate::validateTemplate(MkString& report, HtmlDocument* opened) const {
    lfw::Collection<const Snapshot> snapshots;
    gatherSnapshots(repository.p(), &snapshots);
    if (snapshots.empty()) {
        report = MkString(L"No active snapshots in repository");
        return false;
    }
    HtmlDocument own(ug::Convert::toStr(templatePath));
    own.reportTo(&problems);
    if (!opened && !own.open()) {
        reportError(ProblemCode::FileNotFound, lfw::String("Could not read template file (%1)").arg(templatePath.Std()));
        return false;
    }
    HtmlDocument& document = opened ? *opened : own;
    lfw::Collection<const Snapshot> referenceSnapshots;
    gatherSnapshots(referenceRepository.p(), &referenceSnapshots);

    const MkString d36(TemplateTags::VALIDATION_SEPARATOR);
    const int count = static_cast<int>(snapshots.size() > static_cast<size_t>(INT_MAX) ? INT_MAX : snapshots.size());
    const int referenceCount =
        static_cast<int>(referenceSnapshots.size() > static_cast<size_t>(INT_MAX) ? INT_MAX : referenceSnapshots.size());
    const MkIntArray& indices = genericSnapshotIndices;
    const int lastIndex = indices.IsEmpty() ? -1 : indices[indices.GetSize() - 1];

    // Only the last index is compared: it is the one most likely past the end.
    if (!indices.IsEmpty() && lastIndex >= count) {
        report += MkString(L"GENERIC SNAPSHOTS\n");
        report += d36;
        report += MkString(L"Generic snapshots is out of repository's range\n\n");
    }

    report += MkString(L"VALIDATION OF REPOSITORY\n");
    report += d36;
    MkString text;
    const bool ok1 = document.validateDocument(snapshots, indices, false, text);
    if (!document.groupsUnrolled()) {
        // The groups cannot be repeated over the repository, so no report can be
        // made: say so, rather than let the reference pass (which would unroll
        // over other snapshots, or none) report success.
        report += MkString(L"Error unrolling generic tags\n\n");
        return false;
    }
    report += text.IsBlank() ? MkString(L"No warnings or errors found\n\n") : text;

    MkString reference;
    if (referenceCount > count)
        reference += MkString(L"Repository and referred repository do not have same number of snapshots\n\n\n");
    if (referenceCount >= 1 && !indices.IsEmpty() && lastIndex >= referenceCount) {
        reference += MkString(L"GENERIC SNAPSHOTS\n");
        reference += d36;
        reference += MkString(L"Generic snapshots is out of reference repository's range\n\n\n");
    }
    MkString referenceText;
    const bool ok2 = document.validateDocument(referenceSnapshots, indices, true, referenceText);
    if (!referenceText.IsBlank()) reference += referenceText;
    else if (reference.IsEmpty()) reference += MkString(L"No warnings or errors found");

    if (referenceCount >= 1 || (!ok1 && !ok2)) {
        report += MkString(L"VALIDATION OF REFERENCE REPOSITORY\n");
        report += d36;
        report += reference;
    }
    // "REF_" tags stay as written without a reference repository: a report warns of them.
    if (referenceCount == 0 && document.hasRefTags())
        report += MkString(L"Reference tags\n") + d36 +
                  L"Reference tags were found in template, but no reference repository specified\n\n";
    return ok1 || ok2;
}

bool ReportCreatorHtmlPrivate::summarize(const Str& path, Str* summary, Problems& problems) {
    LFW_ASSERT(summary);
    if (!summary) return false;
    MkString text;
    const bool result = summarizeTemplate(ug::Convert::toMkString(path), text, problems);
    *summary = ug::Convert::toStr(text);
    return result;
}

bool ReportCreatorHtmlPrivate::summarizeTemplate(const MkString& path, MkString& summary, Problems& problems) {
    XmlDocument document;
    if (!document.LoadFile(path)) {
        summary += MkString(L"Could not open file. Please check the HTML syntax. Closing tags are required!");
        problems.error(ProblemCode::UnreadableXml,
                       lfw::String("Could not open file %1.Please check the HTML syntax. Closing tags are required for summary!")
                           .arg(path.Std())
                           .toStdString());
        return false;
    }
    const XmlElement root = document.GetRootElement();
    if (root.GetName() != MkString(L"html")) return true;

    std::vector<XmlElement> groups;
    findAllElements(root, L"orvrepgroup", &groups);
    if (!groups.empty()) {
        summary += MkString(L"Generic groups:\r\n");
        summary += MkString(TemplateTags::SUMMARY_SEPARATOR);
        for (size_t g = 0; g < groups.size(); ++g) {
            std::vector<XmlElement> tags;
            findAllElements(groups[g], L"orvrepsit", &tags);
            bool kinds[5] = {false, false, false, false, false};
            bool any = false;
            MkStringArray fields;  // the generic field tags, each once
            for (const XmlElement& tag : tags) {
                const MkString name = tag.GetAttributeString("name");
                if (!TemplateTags::isTagGeneric(name)) continue;
                const int kind = getTagType(name);
                if (kind >= HTML_TAG_TITLE && kind <= HTML_TAG_TABLE) {
                    kinds[kind] = true;
                    any = true;
                } else if (kind == HTML_TAG_MACRO && fields.Find(name) < 0) {
                    fields.AddGrow(name);
                    any = true;  // a group of field values repeats for every snapshot
                }
            }
            if (!any) {
                summary += MkString(L"Group number ") + MkString(static_cast<int>(g)) +
                           MkString(L" contains no generic tags and will not be unrolled\r\n");
                continue;
            }
            summary += MkString(L"Content of generic group ") + MkString(static_cast<int>(g)) + MkString(L":\r\n");
            static const wchar_t* const lines[5] = {L"Title\r\n", L"Description\r\n", L"Image\r\n", L"Mdlx 3D Model\r\n",
                                                    L"Table data\r\n"};
            for (int k = 0; k < 5; ++k)
                if (kinds[k]) summary += MkString(lines[k]);
            for (int f = 0; f < fields.GetSize(); ++f) summary += MkString(L"Field value: ") + fields[f] + L"\r\n";
            summary += MkString(L"\r\n");
        }
    }

    summary += MkString(L"\r\nStatic snapshots\r\n");
    summary += MkString(TemplateTags::SUMMARY_SEPARATOR);
    summary += MkString(L"The following snapshots are referenced:\r\n");
    std::vector<XmlElement> tags;
    findAllElements(root, L"orvrepsit", &tags);
    MkString macros;
    static const wchar_t* const kinds[5] = {L": Title\r\n", L": Text\r\n", L": Image\r\n", L": Mdlx 3D Model\r\n",
                                            L": Table data\r\n"};
    for (const XmlElement& tag : tags) {
        const MkString name = tag.GetAttributeString("name");
        if (TemplateTags::isTagGeneric(name)) continue;
        const int index = TemplateTags::getTagIndex(name);
        const MkString prefix = MkString(L"Snapshot #") + MkString(index);
        const int kind = getTagType(name);
        if (kind >= HTML_TAG_TITLE && kind <= HTML_TAG_TABLE) summary += prefix + MkString(kinds[kind]);
        else if (kind == HTML_TAG_MACRO) macros += prefix + MkString(L": ") + name + MkString(L"\r\n");
    }
    if (!macros.IsEmpty()) {
        summary += MkString(L"\r\nField values\r\n");
        summary += MkString(TemplateTags::SUMMARY_FIELD_SEPARATOR);
        summary += macros;
    }
    return true;
}

void ReportCreatorHtmlPrivate::findAllElements(const XmlElement& element, const MkString& name, std::vector<XmlElement>* out) {
    // Depth first with an explicit stack of "next sibling to visit" handles.
    std::vector<XmlElement> stack;
    stack.push_back(element.GetFirstChildElement());
    while (!stack.empty()) {
        XmlElement current = stack.back();
        if (current.IsNull()) {
            stack.pop_back();
            continue;
        }
        stack.back() = current.GetNextSiblingElement();
        if (current.GetName() == name) out->push_back(current);
        stack.push_back(current.GetFirstChildElement());
    }
}

}  // namespace rep
}  // namespace kiv
