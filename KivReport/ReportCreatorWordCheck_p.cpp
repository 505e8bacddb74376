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
#include "impl/common/TemplateTexts.h"
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

using TemplateTexts::section;

namespace {

using creator::looksLikeZip;
using wordcreator::countOf;

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
    const TemplateScan scan = archive.scan(content, false);
    unused = TemplateTexts::unusedSnapshots(scan, main, genericSnapshotIndices, false, TextDialect::Word);
    if (referenceChecks) unused += TemplateTexts::unusedSnapshots(scan, ref, genericSnapshotIndices, true, TextDialect::Word);
    if (!lfw::text::isBlank(unused)) section(report, "Unused snapshots\n", unused);

    std::string unknownFields, warnings;
    TemplateTexts::checkFields(scan, &main, referenceChecks ? &ref : nullptr, TextDialect::Word, unknownFields, warnings);
    if (!lfw::text::isBlank(unknownFields)) section(report, "Unknown field values\n", unknownFields);
    if (!lfw::text::isBlank(warnings)) section(report, "Field value warnings\n", warnings);

    if (!referenceChecks && TemplateTexts::hasReferenceTags(scan))
        section(report, "Reference tags\n", TemplateTexts::REFERENCE_TAGS_WITHOUT_REPOSITORY);
    if (lfw::text::isBlank(report)) report = "No warnings or errors found";
    return passed;
}

bool ReportCreatorWordPrivate::viewerInBody(OpenXMLWordArchive& archive, const WordDocumentTag& tag, std::string& unmatched) {
    if (tag.kind != SIT_TYPE_MDLX && tag.kind != SIT_TYPE_REF_MDLX) return true;
    if (tag.part.empty()) return true;
    unmatched +=
        tag.name + ": 3D viewer controls are filled in the document's body only, not in " + archive.placeOf(tag.part) + "\n";
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

}  // namespace rep
}  // namespace kiv
