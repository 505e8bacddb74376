// What validate says of a Word template.
#include "KivReport/ReportCreatorWord_p.h"
#include "KivReport/Repository.h"
#include "KivReport/Table.h"
#include "LibCore/lfwAssert.h"
#include "LibCore/lfwFile.h"
#include "host/core/KivImage.h"
#include "host/ug/MdlxFile.h"
#include "host/ug/UgConvert.h"
#include "impl/common/FieldMacros.h"
#include "impl/common/TemplateTags.h"
#include "impl/openxml/ChartData.h"
#include "impl/openxml/OpenXMLPlugin.h"
#include "impl/common/ReportLog.h"
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace kiv {
namespace rep {

namespace {

using creator::looksLikeZip;
using wordcreator::countOf;
using wordcreator::placeOf;
using wordcreator::tagName;
using wordcreator::tagStem;

void section(MkString& report, const wchar_t* header, const MkString& lines) {
    report += MkString(header);
    report += MkString(TemplateTags::VALIDATION_SEPARATOR);
    report += lines;
    report += MkString(L"\n\n");
}

// A chart its table (or, in a group, any table) cannot fill adds "tag: why" in
// the words generate uses.
bool chartFits(OpenXMLWordArchive& archive, const WordDocumentTag& tag, const lfw::Collection<const Snapshot>& snaps,
               MkString& unmatched) {
    const int n = tag.groupIndex >= 0 ? -1 : TemplateTags::getTagIndex(tag.name);
    const Snapshot* s = n >= 1 && n <= countOf(snaps) ? snaps[static_cast<size_t>(n - 1)] : nullptr;
    if (n >= 1 && (!s || !s->table())) return true;  // told by the tag checks
    MkString why;
    if (archive.CheckCharts(archive.GetChartParts(tag.name), s ? s->table() : nullptr, nullptr, &why)) return true;
    const MkString line = tag.name + L": " + why + L"\n";  // once for the controls of one tag
    if (!unmatched.Contains(line)) unmatched += line;
    return false;
}

}  // namespace

// ---------------------------------------------------------------- validation

bool ReportCreatorWordPrivate::validate(Str* report) const {
    LFW_ASSERT(report);
    if (!report) return false;
    MkString text;
    const bool result = validateTemplate(text);
    *report = ug::Convert::toStr(text);
    return result;
}

bool ReportCreatorWordPrivate::validateTemplate(MkString& report) const {
    report.Empty();
    Snapshots main, ref;
    gatherSnapshots(repository.p(), &main);
    if (main.empty()) {
        report = MkString(L"No active snapshots in repository");
        return false;
    }
    OpenXMLWordArchive archive;
    archive.ReportTo(&problems);
    if (!archive.Open(templatePath) || !archive.Document()->GetBody()) {
        // The reason generate gives for refusing the template.
        report = MkString(L"Not able to open template file");
        if (!archive.IsOpen() && looksLikeZip(templatePath.ShortChar())) report += L": " + archive.Error();
        return false;
    }
    gatherSnapshots(referenceRepository.p(), &ref);
    WordDocumentContent content;
    archive.GetDocumentContent(content);
    return validateOpened(archive, content, main, ref, report);
}

bool ReportCreatorWordPrivate::validateOpened(OpenXMLWordArchive& archive, const WordDocumentContent& content,
                                              const Snapshots& main, const Snapshots& ref, MkString& report) const {
    report.Empty();
    const OpenXMLWordDocument& probe = *archive.Document();
    const bool referenceChecks = !ref.empty();
    MkString unmatched, genericOutside, unused;

    bool passed = true;
    const struct {
        SitTypeTag kind;
        NeededType type;
    } typed[] = {{SIT_TYPE_PICTURE, NEEDS_IMAGE},
                 {SIT_TYPE_TABLE, NEEDS_TABLE},
                 {SIT_TYPE_CHART, NEEDS_TABLE},
                 {SIT_TYPE_MDLX, NEEDS_MDLX}};
    for (const auto& list : typed)
        for (const WordDocumentTag& tag : *content.GetTags(list.kind))
            if (!viewerInBody(archive, tag, unmatched) || !validateTag(tag, list.type, main, ref, unmatched, genericOutside) ||
                (list.kind == SIT_TYPE_CHART && (!tag.name.StartsWith(L"REF_") || referenceChecks) &&
                 !chartFits(archive, tag, tag.name.StartsWith(L"REF_") ? ref : main, unmatched)))
                passed = false;
    for (SitTypeTag kind : {SIT_TYPE_TEXT, SIT_TYPE_TITLE}) {
        for (const WordDocumentTag& tag : *content.GetTags(kind)) {
            if (!validateTagPosition(tag, genericOutside)) {
                passed = false;
                continue;
            }
            const bool isRef = tag.name.StartsWith(L"REF_");
            if (!validateSituationIndex(tag, isRef ? ref : main, unmatched)) passed = false;
        }
    }
    if (!passed) {
        if (!unmatched.IsBlank()) section(report, L"Unmatched tags:\n", unmatched);
        if (!genericOutside.IsBlank()) section(report, L"Generic tags outside group:\n", genericOutside);
    }
    // What a report refuses fails validation too, in the same words.
    const MkStringArray nested = nestedGroups(probe.GetBody());
    if (!nested.IsEmpty()) {
        MkString lines;
        for (int i = 0; i < nested.GetSize(); ++i) lines += nested[i] + L"\n";
        section(report, L"Nested groups:\n", lines);
        passed = false;
    }
    const MkStringArray outside = storyGroups(archive);
    if (!outside.IsEmpty()) {
        MkString lines;
        for (int i = 0; i < outside.GetSize(); ++i) lines += outside[i] + L"\n";
        section(report, L"Groups outside the body:\n", lines);
        passed = false;
    }
    const WordDocumentTagArray* others = content.GetTags(SIT_TYPE_NONE);
    if (!others->IsEmpty()) {
        bool opened = false;
        for (const WordDocumentTag& tag : *others) {
            if (tag.groupMarker || tag.name.IsBlank()) continue;  // groups, and controls without a tag
            if (!opened) {
                report += MkString(L"Unknown tags:\n");
                report += MkString(TemplateTags::VALIDATION_SEPARATOR);
                opened = true;
            }
            MkString line;
            line.MakeFormWide(L"%ls: Unknown tag\n", ~tag.name);
            report += line;
        }
        report += MkString(L"\n\n");
    }
    validateSituationUsage(main, content, false, unused);
    if (referenceChecks) validateSituationUsage(ref, content, true, unused);
    if (!unused.IsBlank()) section(report, L"Unused snapshots\n", unused);

    MkString unknownFields, warnings;
    for (const WordDocumentTag& tag : *content.GetTags(SIT_TYPE_MACRO)) {
        validateMacro(tag, main, false, unknownFields, warnings);
        if (referenceChecks) validateMacro(tag, ref, true, unknownFields, warnings);
    }
    if (!unknownFields.IsBlank()) section(report, L"Unknown field values\n", unknownFields);
    if (!warnings.IsBlank()) section(report, L"Field value warnings\n", warnings);

    if (!referenceChecks) {
        bool referenceTags = false;
        for (SitTypeTag kind : {SIT_TYPE_TITLE, SIT_TYPE_TEXT, SIT_TYPE_PICTURE, SIT_TYPE_MDLX, SIT_TYPE_TABLE})
            for (const WordDocumentTag& tag : *content.GetTags(kind)) referenceTags |= tag.name.StartsWith(L"REF_");
        if (referenceTags)
            section(report, L"Reference tags\n",
                    MkString(L"Reference tags were found in template, but no reference repository specified"));
    }
    if (report.IsBlank()) report = MkString(L"No warnings or errors found");
    return passed;
}

bool ReportCreatorWordPrivate::viewerInBody(OpenXMLWordArchive& archive, const WordDocumentTag& tag, MkString& unmatched) {
    if (tag.kind != SIT_TYPE_MDLX && tag.kind != SIT_TYPE_REF_MDLX) return true;
    if (tag.part.IsEmpty()) return true;
    MkString line;
    line.MakeFormWide(L"%ls: 3D viewer controls are filled in the document's body only, not in %ls\n", ~tag.name,
                      ~placeOf(archive, tag.part));
    unmatched += line;
    return false;
}

bool ReportCreatorWordPrivate::validateTag(const WordDocumentTag& tag, NeededType type, const Snapshots& main,
                                           const Snapshots& ref, MkString& unmatched, MkString& genericOutside) const {
    const bool isRef = tag.name.StartsWith(L"REF_");
    if (isRef && ref.empty()) return true;
    const Snapshots& snaps = isRef ? ref : main;
    if (!validateTagPosition(tag, genericOutside)) return false;
    if (tag.groupIndex >= 0) return true;
    if (!validateSituationIndex(tag, snaps, unmatched)) return false;
    return validateSituationObject(tag, type, snaps, unmatched);
}

bool ReportCreatorWordPrivate::validateTagPosition(const WordDocumentTag& tag, MkString& genericOutside) {
    if (tag.name.FindFirstNumber() >= 0 || tag.groupIndex != -1) return true;
    MkString line;
    line.MakeFormWide(L"%ls: Generic tag found outside group\n", ~tag.name);
    genericOutside += line;
    return false;
}

bool ReportCreatorWordPrivate::validateSituationIndex(const WordDocumentTag& tag, const Snapshots& snaps, MkString& unmatched) {
    if (tag.groupIndex >= 0) return true;
    const int n = TemplateTags::getTagIndex(tag.name);
    if (n < 0) return false;
    if (n <= countOf(snaps)) return true;
    MkString line;
    line.MakeFormWide(L"%ls: Snapshot %i does not exist\n", ~tag.name, n);
    unmatched += line;
    return false;
}

bool ReportCreatorWordPrivate::validateSituationObject(const WordDocumentTag& tag, NeededType type, const Snapshots& snaps,
                                                       MkString& unmatched) {
    const int n = TemplateTags::getTagIndex(tag.name);
    // A tag numbered 0 names no snapshot.
    const Snapshot* snapshot = n >= 1 && n <= countOf(snaps) ? snaps[static_cast<size_t>(n - 1)] : nullptr;
    bool matches = false;
    if (snapshot) {
        const Snapshot::SnapshotType kind = snapshot->type();
        switch (type) {
        case NEEDS_TABLE: matches = kind == Snapshot::TABLE; break;
        case NEEDS_IMAGE:
        case NEEDS_MDLX: matches = kind == Snapshot::IMAGE || kind == Snapshot::MDLX; break;
        default: LFW_FAIL_MSG("Unhandled snapshot type"); return true;
        }
    }
    if (matches) return true;
    MkString line;
    line.MakeFormWide(L"%ls: Snapshot does not match tag type\n", ~tag.name);
    unmatched += line;
    return false;
}

void ReportCreatorWordPrivate::validateSituationUsage(const Snapshots& snaps, const WordDocumentContent& content, bool reference,
                                                      MkString& unused) const {
    const MkString prefix = reference ? MkString(L"REF_SIT") : MkString(L"SIT");
    bool anyGeneric = false;
    for (SitTypeTag kind :
         {SIT_TYPE_PICTURE, SIT_TYPE_MDLX, SIT_TYPE_TABLE, SIT_TYPE_CHART, SIT_TYPE_TITLE, SIT_TYPE_TEXT, SIT_TYPE_MACRO})
        anyGeneric |= content.GetTags(kind)->HasGenericTag();
    // The snapshots generic tags repeat over, by position.
    std::vector<bool> generic(snaps.size(), false);
    for (int i = 0; i < genericSnapshotIndices.GetSize(); ++i)
        if (genericSnapshotIndices[i] >= 0 && static_cast<size_t>(genericSnapshotIndices[i]) < generic.size())
            generic[static_cast<size_t>(genericSnapshotIndices[i])] = true;
    for (size_t k = 0; k < snaps.size(); ++k) {
        const Snapshot* snapshot = snaps[k];
        LFW_ASSERT_MSG(snapshot, "situation");
        if (!snapshot) continue;
        const int n = static_cast<int>(k) + 1;
        const std::wstring stem = tagStem(prefix, n);
        bool used = content.GetTags(SIT_TYPE_TITLE)->Exists(tagName(stem, L"TITLE")) ||
                    content.GetTags(SIT_TYPE_TEXT)->Exists(tagName(stem, L"TEXT"));
        used = used || (generic[k] && anyGeneric);
        const Snapshot::SnapshotType type = snapshot->type();
        if (!used && (type == Snapshot::IMAGE || type == Snapshot::MDLX))
            used = content.GetTags(SIT_TYPE_PICTURE)->Exists(tagName(stem, L"PICTURE")) ||
                   content.GetTags(SIT_TYPE_MDLX)->Exists(tagName(stem, L"MDLX"));
        // A table shows in its table tags and in its chart tags alike.
        if (!used && type == Snapshot::TABLE)
            used = content.GetTags(SIT_TYPE_TABLE)->Exists(tagName(stem, L"TABLE")) ||
                   content.GetTags(SIT_TYPE_CHART)->Exists(tagName(stem, L"CHART"));
        if (used) continue;
        MkString line;
        line.MakeFormWide(L"Snapshot %i not used.\n", n);
        unused += line;
    }
}

void ReportCreatorWordPrivate::validateMacro(const WordDocumentTag& tag, const Snapshots& snaps, bool referencePass,
                                             MkString& unknownFields, MkString& warnings) {
    const TemplateTags::FieldMacroCheck check = TemplateTags::checkFieldMacro(tag.name, snaps, referencePass);
    if (check.verdict == TemplateTags::FieldMacroCheck::OTHER_SIDE) return;
    MkString line;
    if (check.verdict == TemplateTags::FieldMacroCheck::BAD_SYNTAX) {
        line.MakeFormWide(L"%ls: Syntax of field not correct\n", ~tag.name);
        unknownFields += line;
        return;
    }
    if (check.generic && tag.groupIndex == -1) {
        line.MakeFormWide(L"%ls: Generic field found outside group\n", ~tag.name);
        warnings += line;
    }
    switch (check.verdict) {
    case TemplateTags::FieldMacroCheck::NO_SNAPSHOT:
        line.MakeFormWide(L"%ls: Snapshot %i does not exist\n", ~tag.name, check.number);
        warnings += line;
        break;
    case TemplateTags::FieldMacroCheck::MISSING_EVERYWHERE:
        line.MakeFormWide(L"%ls: Generic field not found in any snapshots\n", ~check.key);
        unknownFields += line;
        break;
    case TemplateTags::FieldMacroCheck::MISSING_SOMEWHERE:
        line.MakeFormWide(L"%ls: Generic field not found for all snapshots\n", ~check.key);
        unknownFields += line;
        break;
    case TemplateTags::FieldMacroCheck::UNKNOWN_FIELD:
        line.MakeFormWide(L"%ls: Unknown field name\n", ~check.key);
        unknownFields += line;
        break;
    default: break;
    }
}

}  // namespace rep
}  // namespace kiv
