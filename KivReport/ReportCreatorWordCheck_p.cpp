// What validate says of a Word template.
#include "KivReport/ReportCreatorWord_p.h"
#include "KivReport/Repository.h"
#include "KivReport/Table.h"
#include "LibCore/lfwAssert.h"
#include "LibCore/lfwFile.h"
#include "host/core/KivImage.h"
#include "host/ug/MdlxFile.h"
#include "LibCore/lfwText.h"
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

void section(std::string& report, const char* header, const std::string& lines) {
    report += header;
    report += TemplateTags::VALIDATION_SEPARATOR;
    report += lines;
    report += "\n\n";
}

bool isReference(const WordDocumentTag& tag) { return lfw::text::startsWith(tag.name, "REF_"); }

// A chart its table (or, in a group, any table) cannot fill adds "tag: why" in
// the words generate uses.
bool chartFits(OpenXMLWordArchive& archive, const WordDocumentTag& tag, const lfw::Collection<const Snapshot>& snaps,
               std::string& unmatched) {
    const int n = tag.groupIndex >= 0 ? -1 : TemplateTags::getTagIndex(tag.name);
    const Snapshot* s = n >= 1 && n <= countOf(snaps) ? snaps[static_cast<size_t>(n - 1)] : nullptr;
    if (n >= 1 && (!s || !s->table())) return true;  // told by the tag checks
    std::string why;
    if (archive.checkCharts(archive.getChartParts(tag.name), s ? s->table() : nullptr, nullptr, &why)) return true;
    const std::string line = tag.name + ": " + why + "\n";  // once for the controls of one tag
    if (unmatched.find(line) == std::string::npos) unmatched += line;
    return false;
}

}  // namespace

// ---------------------------------------------------------------- validation

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
        if (!archive.isOpen() && looksLikeZip(templatePath.c_str())) report += ": " + archive.error();
        return false;
    }
    gatherSnapshots(referenceRepository.p(), &ref);
    WordDocumentContent content;
    archive.getDocumentContent(content);
    return validateOpened(archive, content, main, ref, report);
}

bool ReportCreatorWordPrivate::validateOpened(OpenXMLWordArchive& archive, const WordDocumentContent& content,
                                              const Snapshots& main, const Snapshots& ref, std::string& report) const {
    report.clear();
    const OpenXMLWordDocument& probe = *archive.document();
    const bool referenceChecks = !ref.empty();
    std::string unmatched, genericOutside, unused;

    bool passed = true;
    const struct {
        SitTypeTag kind;
        NeededType type;
    } typed[] = {{SIT_TYPE_PICTURE, NEEDS_IMAGE},
                 {SIT_TYPE_TABLE, NEEDS_TABLE},
                 {SIT_TYPE_CHART, NEEDS_TABLE},
                 {SIT_TYPE_MDLX, NEEDS_MDLX}};
    for (const auto& list : typed)
        for (const WordDocumentTag& tag : *content.getTags(list.kind))
            if (!viewerInBody(archive, tag, unmatched) || !validateTag(tag, list.type, main, ref, unmatched, genericOutside) ||
                (list.kind == SIT_TYPE_CHART && (!isReference(tag) || referenceChecks) &&
                 !chartFits(archive, tag, isReference(tag) ? ref : main, unmatched)))
                passed = false;
    for (SitTypeTag kind : {SIT_TYPE_TEXT, SIT_TYPE_TITLE}) {
        for (const WordDocumentTag& tag : *content.getTags(kind)) {
            if (!validateTagPosition(tag, genericOutside)) {
                passed = false;
                continue;
            }
            if (!validateSituationIndex(tag, isReference(tag) ? ref : main, unmatched)) passed = false;
        }
    }
    if (!passed) {
        if (!lfw::text::isBlank(unmatched)) section(report, "Unmatched tags:\n", unmatched);
        if (!lfw::text::isBlank(genericOutside)) section(report, "Generic tags outside group:\n", genericOutside);
    }
    // What a report refuses fails validation too, in the same words.
    const std::vector<std::string> nested = nestedGroups(probe.getBody());
    if (!nested.empty()) {
        std::string lines;
        for (const std::string& line : nested) lines += line + "\n";
        section(report, "Nested groups:\n", lines);
        passed = false;
    }
    const std::vector<std::string> outside = storyGroups(archive);
    if (!outside.empty()) {
        std::string lines;
        for (const std::string& line : outside) lines += line + "\n";
        section(report, "Groups outside the body:\n", lines);
        passed = false;
    }
    const WordDocumentTagArray* others = content.getTags(SIT_TYPE_NONE);
    if (!others->empty()) {
        bool opened = false;
        for (const WordDocumentTag& tag : *others) {
            if (tag.groupMarker || lfw::text::isBlank(tag.name)) continue;  // groups, and controls without a tag
            if (!opened) {
                report += "Unknown tags:\n";
                report += TemplateTags::VALIDATION_SEPARATOR;
                opened = true;
            }
            report += tag.name + ": Unknown tag\n";
        }
        report += "\n\n";
    }
    validateSituationUsage(main, content, false, unused);
    if (referenceChecks) validateSituationUsage(ref, content, true, unused);
    if (!lfw::text::isBlank(unused)) section(report, "Unused snapshots\n", unused);

    std::string unknownFields, warnings;
    for (const WordDocumentTag& tag : *content.getTags(SIT_TYPE_MACRO)) {
        validateMacro(tag, main, false, unknownFields, warnings);
        if (referenceChecks) validateMacro(tag, ref, true, unknownFields, warnings);
    }
    if (!lfw::text::isBlank(unknownFields)) section(report, "Unknown field values\n", unknownFields);
    if (!lfw::text::isBlank(warnings)) section(report, "Field value warnings\n", warnings);

    if (!referenceChecks) {
        bool referenceTags = false;
        for (SitTypeTag kind : {SIT_TYPE_TITLE, SIT_TYPE_TEXT, SIT_TYPE_PICTURE, SIT_TYPE_MDLX, SIT_TYPE_TABLE})
            for (const WordDocumentTag& tag : *content.getTags(kind)) referenceTags |= isReference(tag);
        if (referenceTags)
            section(report, "Reference tags\n", "Reference tags were found in template, but no reference repository specified");
    }
    if (lfw::text::isBlank(report)) report = "No warnings or errors found";
    return passed;
}

bool ReportCreatorWordPrivate::viewerInBody(OpenXMLWordArchive& archive, const WordDocumentTag& tag, std::string& unmatched) {
    if (tag.kind != SIT_TYPE_MDLX && tag.kind != SIT_TYPE_REF_MDLX) return true;
    if (tag.part.empty()) return true;
    unmatched +=
        tag.name + ": 3D viewer controls are filled in the document's body only, not in " + placeOf(archive, tag.part) + "\n";
    return false;
}

bool ReportCreatorWordPrivate::validateTag(const WordDocumentTag& tag, NeededType type, const Snapshots& main,
                                           const Snapshots& ref, std::string& unmatched, std::string& genericOutside) const {
    const bool isRef = isReference(tag);
    if (isRef && ref.empty()) return true;
    const Snapshots& snaps = isRef ? ref : main;
    if (!validateTagPosition(tag, genericOutside)) return false;
    if (tag.groupIndex >= 0) return true;
    if (!validateSituationIndex(tag, snaps, unmatched)) return false;
    return validateSituationObject(tag, type, snaps, unmatched);
}

bool ReportCreatorWordPrivate::validateTagPosition(const WordDocumentTag& tag, std::string& genericOutside) {
    if (tag.name.find_first_of("0123456789") != std::string::npos || tag.groupIndex != -1) return true;
    genericOutside += tag.name + ": Generic tag found outside group\n";
    return false;
}

bool ReportCreatorWordPrivate::validateSituationIndex(const WordDocumentTag& tag, const Snapshots& snaps,
                                                      std::string& unmatched) {
    if (tag.groupIndex >= 0) return true;
    const int n = TemplateTags::getTagIndex(tag.name);
    if (n < 0) return false;
    if (n <= countOf(snaps)) return true;
    unmatched += tag.name + ": Snapshot " + std::to_string(n) + " does not exist\n";
    return false;
}

bool ReportCreatorWordPrivate::validateSituationObject(const WordDocumentTag& tag, NeededType type, const Snapshots& snaps,
                                                       std::string& unmatched) {
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
    unmatched += tag.name + ": Snapshot does not match tag type\n";
    return false;
}

void ReportCreatorWordPrivate::validateSituationUsage(const Snapshots& snaps, const WordDocumentContent& content, bool reference,
                                                      std::string& unused) const {
    const std::string prefix = reference ? "REF_SIT" : "SIT";
    bool anyGeneric = false;
    for (SitTypeTag kind :
         {SIT_TYPE_PICTURE, SIT_TYPE_MDLX, SIT_TYPE_TABLE, SIT_TYPE_CHART, SIT_TYPE_TITLE, SIT_TYPE_TEXT, SIT_TYPE_MACRO})
        anyGeneric |= content.getTags(kind)->hasGenericTag();
    // The snapshots generic tags repeat over, by position.
    std::vector<bool> generic(snaps.size(), false);
    for (int index : genericSnapshotIndices)
        if (index >= 0 && static_cast<size_t>(index) < generic.size()) generic[static_cast<size_t>(index)] = true;
    for (size_t k = 0; k < snaps.size(); ++k) {
        const Snapshot* snapshot = snaps[k];
        LFW_ASSERT_MSG(snapshot, "situation");
        if (!snapshot) continue;
        const int n = static_cast<int>(k) + 1;
        const std::string stem = tagStem(prefix, n);
        bool used = content.getTags(SIT_TYPE_TITLE)->exists(tagName(stem, "TITLE")) ||
                    content.getTags(SIT_TYPE_TEXT)->exists(tagName(stem, "TEXT"));
        used = used || (generic[k] && anyGeneric);
        const Snapshot::SnapshotType type = snapshot->type();
        if (!used && (type == Snapshot::IMAGE || type == Snapshot::MDLX))
            used = content.getTags(SIT_TYPE_PICTURE)->exists(tagName(stem, "PICTURE")) ||
                   content.getTags(SIT_TYPE_MDLX)->exists(tagName(stem, "MDLX"));
        // A table shows in its table tags and in its chart tags alike.
        if (!used && type == Snapshot::TABLE)
            used = content.getTags(SIT_TYPE_TABLE)->exists(tagName(stem, "TABLE")) ||
                   content.getTags(SIT_TYPE_CHART)->exists(tagName(stem, "CHART"));
        if (used) continue;
        unused += "Snapshot " + std::to_string(n) + " not used.\n";
    }
}

void ReportCreatorWordPrivate::validateMacro(const WordDocumentTag& tag, const Snapshots& snaps, bool referencePass,
                                             std::string& unknownFields, std::string& warnings) {
    const TemplateTags::FieldMacroCheck check = TemplateTags::checkFieldMacro(tag.name, snaps, referencePass);
    if (check.verdict == TemplateTags::FieldMacroCheck::OTHER_SIDE) return;
    if (check.verdict == TemplateTags::FieldMacroCheck::BAD_SYNTAX) {
        unknownFields += tag.name + ": Syntax of field not correct\n";
        return;
    }
    if (check.generic && tag.groupIndex == -1) warnings += tag.name + ": Generic field found outside group\n";
    switch (check.verdict) {
    case TemplateTags::FieldMacroCheck::NO_SNAPSHOT:
        warnings += tag.name + ": Snapshot " + std::to_string(check.number) + " does not exist\n";
        break;
    case TemplateTags::FieldMacroCheck::MISSING_EVERYWHERE:
        unknownFields += check.key + ": Generic field not found in any snapshots\n";
        break;
    case TemplateTags::FieldMacroCheck::MISSING_SOMEWHERE:
        unknownFields += check.key + ": Generic field not found for all snapshots\n";
        break;
    case TemplateTags::FieldMacroCheck::UNKNOWN_FIELD: unknownFields += check.key + ": Unknown field name\n"; break;
    default: break;
    }
}

}  // namespace rep
}  // namespace kiv
