// What validate says of a template, from its scan and the repositories.
#include "KivReport/Table.h"
#include "LibCore/lfwText.h"
#include "impl/common/TemplateTags.h"
#include "impl/common/TemplateTexts.h"
#include <algorithm>
#include <climits>

namespace kiv {
namespace rep {
namespace TemplateTexts {

namespace {

using Snapshots = lfw::Collection<const Snapshot>;
using lfw::text::isBlank;

int countOf(const Snapshots& snapshots) {
    return snapshots.size() > static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(snapshots.size());
}

// The snapshot a number names; null for none.
const Snapshot* numbered(const Snapshots& snapshots, int n) {
    return n >= 1 && n <= countOf(snapshots) ? snapshots[static_cast<size_t>(n - 1)] : nullptr;
}

// Whether a snapshot can be shown by a tag of that kind: a table by table and
// chart tags, a picture or model by picture and model tags.
bool fitsKind(const Snapshot& snapshot, TagKind kind) {
    const bool table = snapshot.type() == Snapshot::TABLE;
    return kind == TagKind::Table || kind == TagKind::Chart ? table : !table;
}

// A line once: charts of one tag on several slides or controls are told once.
void addOnce(std::string& lines, const std::string& line) {
    if (lines.find(line) == std::string::npos) lines += line;
}

std::string joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    return text;
}

}  // namespace

// ---------------------------------------------------------------- Word

bool wordValidation(const TemplateScan& scan, const ValidationInput& input, std::string& report) {
    report.clear();
    const Snapshots& main = *input.main;
    const Snapshots& ref = *input.reference;
    const bool referenceChecks = !ref.empty();
    std::string unmatched, genericOutside;
    // A generic tag repeats only inside a group.
    const auto positioned = [&](const ScannedTag& tag) {
        if (tag.name.find_first_of("0123456789") != std::string::npos || tag.group != -1) return true;
        genericOutside += tag.name + ": Generic tag found outside group\n";
        return false;
    };
    const auto indexed = [&](const ScannedTag& tag, const Snapshots& snaps) {
        if (tag.group >= 0) return true;
        if (tag.number < 0) return false;
        if (tag.number <= countOf(snaps)) return true;
        unmatched += tag.name + ": Snapshot " + std::to_string(tag.number) + " does not exist\n";
        return false;
    };
    const auto typed = [&](const ScannedTag& tag) {
        if (tag.reference && ref.empty()) return true;
        const Snapshots& snaps = tag.reference ? ref : main;
        if (!positioned(tag)) return false;
        if (tag.group >= 0) return true;
        if (!indexed(tag, snaps)) return false;
        const Snapshot* snapshot = numbered(snaps, tag.number);  // a tag numbered 0 names none
        if (snapshot && fitsKind(*snapshot, tag.kind)) return true;
        unmatched += tag.name + ": Snapshot does not match tag type\n";
        return false;
    };
    // A chart its table (or, in a group, any table) cannot fill, in the words generate uses.
    const auto chartFits = [&](const ScannedTag& tag) {
        const Snapshots& snaps = tag.reference ? ref : main;
        const int n = tag.group >= 0 ? -1 : tag.number;
        const Snapshot* snapshot = numbered(snaps, n);
        if (n >= 1 && (!snapshot || !snapshot->table())) return true;  // told by the tag checks
        std::string why;
        if (input.chartFits(tag.name, snapshot ? snapshot->table() : nullptr, &why)) return true;
        addOnce(unmatched, tag.name + ": " + why + "\n");
        return false;
    };

    bool passed = true;
    for (const TagKind kind : {TagKind::Picture, TagKind::Table, TagKind::Chart, TagKind::Model}) {
        for (const ScannedTag& tag : scan.tags) {
            if (tag.kind != kind) continue;
            if (kind == TagKind::Model && !tag.place.empty()) {
                unmatched += tag.name + ": 3D viewer controls are filled in the document's body only, not in " + tag.place + "\n";
                passed = false;
            } else if (!typed(tag) || (kind == TagKind::Chart && (!tag.reference || referenceChecks) && !chartFits(tag))) {
                passed = false;
            }
        }
    }
    for (const TagKind kind : {TagKind::Text, TagKind::Title})
        for (const ScannedTag& tag : scan.tags)
            if (tag.kind == kind && (!positioned(tag) || !indexed(tag, tag.reference ? ref : main))) passed = false;
    if (!passed) {
        if (!isBlank(unmatched)) section(report, "Unmatched tags:\n", unmatched);
        if (!isBlank(genericOutside)) section(report, "Generic tags outside group:\n", genericOutside);
    }
    // What a report refuses fails validation too, in the same words.
    if (!scan.nestedGroups.empty()) {
        section(report, "Nested groups:\n", joined(scan.nestedGroups));
        passed = false;
    }
    if (!scan.groupsOutsideBody.empty()) {
        section(report, "Groups outside the body:\n", joined(scan.groupsOutsideBody));
        passed = false;
    }
    bool others = false, opened = false;
    for (const ScannedTag& tag : scan.tags) {
        if (tag.kind != TagKind::Other && tag.kind != TagKind::Group) continue;
        others = true;
        if (tag.kind == TagKind::Group || isBlank(tag.name)) continue;  // groups, and controls without a tag
        if (!opened) report += std::string("Unknown tags:\n") + TemplateTags::VALIDATION_SEPARATOR;
        opened = true;
        report += tag.name + ": Unknown tag\n";
    }
    if (others) report += "\n\n";

    std::string unused = unusedSnapshots(scan, main, input.selected, false, TextDialect::Word);
    if (referenceChecks) unused += unusedSnapshots(scan, ref, input.selected, true, TextDialect::Word);
    if (!isBlank(unused)) section(report, "Unused snapshots\n", unused);
    std::string unknownFields, warnings;
    checkFields(scan, &main, referenceChecks ? &ref : nullptr, TextDialect::Word, unknownFields, warnings);
    if (!isBlank(unknownFields)) section(report, "Unknown field values\n", unknownFields);
    if (!isBlank(warnings)) section(report, "Field value warnings\n", warnings);
    if (!referenceChecks && scan.hasReferenceTags()) section(report, "Reference tags\n", REFERENCE_TAGS_WITHOUT_REPOSITORY);
    if (isBlank(report)) report = "No warnings or errors found";
    return passed;
}

// ---------------------------------------------------------------- PowerPoint

bool slideValidation(const TemplateScan& scan, const ValidationInput& input, bool reference, std::string& report) {
    const std::string separator = TemplateTags::VALIDATION_SEPARATOR;
    if (!reference) report = "\nVALIDATION OF REPOSITORY\n" + separator;
    else report += "\n\nVALIDATION OF REFERENCE REPOSITORY\n" + separator;
    const Snapshots& snaps = reference ? *input.reference : *input.main;
    const int count = countOf(snaps);
    // The names of this side's tags of a kind, sorted (each once when unique).
    const auto sortedTags = [&](TagKind kind, bool unique) {
        std::vector<std::string> names;
        for (const ScannedTag& tag : scan.tags)
            if (tag.kind == kind && tag.reference == reference) names.push_back(tag.name);
        std::sort(names.begin(), names.end());
        if (unique) names.erase(std::unique(names.begin(), names.end()), names.end());
        return names;
    };
    const auto line = [](const char* format, const std::string& tag, int n) { return lfw::text::format(format, tag.c_str(), n); };
    std::string unmatched;
    bool ok = true;
    // A slide whose "SIT" or "REF_" models are both numbered and generic: per
    // slide, a bit for numbered and one for generic models of each side.
    std::vector<int> models(static_cast<size_t>(std::max(scan.groups, 0)), 0);
    for (const ScannedTag& tag : scan.tags)
        if (tag.kind == TagKind::Model && tag.group >= 0 && tag.group < scan.groups)
            models[static_cast<size_t>(tag.group)] |= (tag.number >= 0 ? 1 : 2) << (tag.reference ? 2 : 0);
    for (size_t k = 0; k < models.size(); ++k) {
        if ((models[k] & 3) != 3 && (models[k] & 12) != 12) continue;
        unmatched += lfw::text::format("Slide %i has both static and generic Mdlx snapshots\n", static_cast<int>(k) + 1);
        ok = false;
    }
    // Tags on shapes that cannot hold them, as generate words them (once, in the main pass).
    if (!reference)
        for (const std::string& message : scan.misplacedTags) {
            unmatched += message + "\n";
            ok = false;
        }
    static const struct {
        TagKind kind;
        Snapshot::SnapshotType expected;
        bool unique;
    } contents[] = {{TagKind::Picture, Snapshot::IMAGE, true},
                    {TagKind::Model, Snapshot::MDLX, false},
                    {TagKind::Table, Snapshot::TABLE, false},
                    {TagKind::Chart, Snapshot::TABLE, false}};
    // A tag without a number belongs to a generic slide, which is repeated for the
    // snapshots it can show: nothing to check against one snapshot.
    for (const auto& content : contents) {
        for (const std::string& tag : sortedTags(content.kind, content.unique)) {
            const int n = TemplateTags::getTagIndex(tag);
            if (n < 0) continue;
            if (n > count) {
                unmatched += line("%s: Snapshot %i does not exist\n", tag, n);
                ok = false;
            } else if (const Snapshot* s = numbered(snaps, n)) {
                const bool pictureLike = s->type() != Snapshot::TABLE && content.expected != Snapshot::TABLE;
                if (s->type() != content.expected && !pictureLike) {
                    unmatched += line("%s: Snapshot %i does not match tag type\n", tag, n);
                    ok = false;
                }
            } else {
                ok = false;  // numbered 0: names no snapshot
            }
            // A chart its table (or, for a generic tag, any table) cannot fill, in the words generate uses.
            if (content.kind != TagKind::Chart || n > count) continue;
            const Snapshot* s = n > 0 ? snaps[static_cast<size_t>(n - 1)] : nullptr;
            if (n > 0 && (!s || s->type() != Snapshot::TABLE || !s->table())) continue;  // told above
            std::string why;
            if (!input.chartFits(tag, s ? s->table() : nullptr, &why)) {
                addOnce(unmatched, tag + ": " + why + "\n");
                ok = false;
            }
        }
    }
    const auto textTags = [&](TagKind kind) {
        for (const std::string& tag : sortedTags(kind, false)) {
            const int n = TemplateTags::getTagIndex(tag);
            if (n <= count) continue;
            unmatched += line("%s: Snapshot %i does not exist\n", tag, n);
            ok = false;
        }
    };
    textTags(TagKind::Text);
    std::string empty;
    for (const std::string& name : scan.emptyTextTags)
        empty += name + ": No body text for snapshot tag in template. Please enter some body text.\n";
    if (!isBlank(empty)) report += "Empty title/text tags:\n" + separator + empty + "\n\n";
    textTags(TagKind::Title);
    if (!ok && !isBlank(unmatched)) report += "Unmatched tags:\n" + separator + unmatched + "\n\n";

    std::string fields, warnings;
    checkFields(scan, reference ? nullptr : &snaps, reference ? &snaps : nullptr, TextDialect::PowerPoint, fields, warnings);
    if (!isBlank(fields)) report += "Unknown field values\n" + separator + fields + "\n\n";
    if (!isBlank(warnings)) report += "Field value warnings\n" + separator + warnings + "\n\n";
    const std::string unused = unusedSnapshots(scan, snaps, input.selected, reference, TextDialect::PowerPoint);
    if (!isBlank(unused)) report += "Unused snapshots\n" + separator + unused;
    // "REF_" tags stay as written without a reference repository: a report warns of them.
    if (!reference && !input.referenceGiven && scan.hasReferenceTags())
        report += "\n\nReference tags\n" + separator + REFERENCE_TAGS_WITHOUT_REPOSITORY + "\n\n";
    return ok;
}

// ---------------------------------------------------------------- HTML

bool htmlValidationPass(const TemplateScan& scan, const Snapshots& snapshots, bool reference, std::string& report) {
    const size_t count = snapshots.size();
    std::vector<char> used(count, 0);
    std::string unmatched, unused, unknown;
    for (const ScannedTag& tag : scan.tags) {
        if (tag.kind == TagKind::Other) {
            unknown += tag.name + "\n";
            continue;
        }
        if (tag.reference != reference) continue;
        const int n = tag.number;
        if (n == -1) {
            unknown += tag.name + "\n";
            continue;
        }
        // SIT0_ (or a negative number) names no snapshot: report it rather than look it up.
        if (n < 1 || static_cast<size_t>(n) > count) {
            unmatched += tag.name + ": Snapshot " + std::to_string(n) + " does not exist\n";
            continue;
        }
        used[static_cast<size_t>(n - 1)] = 1;
        const Snapshot* snapshot = snapshots[static_cast<size_t>(n - 1)];
        const bool typed = tag.kind == TagKind::Picture || tag.kind == TagKind::Model || tag.kind == TagKind::Table;
        if (snapshot && typed && !fitsKind(*snapshot, tag.kind)) unmatched += tag.name + ": Snapshot does not match tag type\n";
    }
    for (size_t i = 0; i < count; ++i)
        if (!used[i]) unused += "Snapshot " + std::to_string(static_cast<int>(i + 1)) + " not used.\n";

    bool appended = false;
    // Tag sections are written when they hold anything, field sections when not blank.
    const auto add = [&](const char* header, const std::string& text, bool skipBlank) {
        if (text.empty() || (skipBlank && isBlank(text))) return;
        section(report, header, text);
        appended = true;
    };
    add("Unmatched tags:\n", unmatched, false);
    add("Unknown tags:\n", unknown, false);
    add("Unused snapshots:\n", unused, false);
    // Every tag holding a "$" is checked as a field.
    TemplateScan fields;
    for (const ScannedTag& tag : scan.tags)
        if (tag.name.find('$') != std::string::npos) fields.add(tag.name, TagKind::Field, -1);
    std::string unknownFields, warnings;
    checkFields(fields, reference ? nullptr : &snapshots, reference ? &snapshots : nullptr, TextDialect::Html, unknownFields,
                warnings);
    add("Unknown field values\n", unknownFields, true);
    add("Field value warnings\n", warnings, true);
    return !appended;
}

bool htmlValidation(const ValidationInput& input, const HtmlPasses& passes, std::string& report) {
    const std::string separator = TemplateTags::VALIDATION_SEPARATOR;
    const int count = countOf(*input.main);
    const int referenceCount = countOf(*input.reference);
    const std::vector<int>& indices = input.selected;
    // Only the last index is compared: it is the one most likely past the end.
    const int lastIndex = indices.empty() ? -1 : indices.back();
    if (!indices.empty() && lastIndex >= count)
        report += "GENERIC SNAPSHOTS\n" + separator + "Generic snapshots is out of repository's range\n\n";

    report += "VALIDATION OF REPOSITORY\n" + separator;
    std::string text;
    const bool ok1 = passes.pass(false, text);
    if (!passes.unrolled()) {
        // The groups cannot be repeated over the repository, so no report can be
        // made: say so, rather than let the reference pass (which would unroll
        // over other snapshots, or none) report success.
        report += "Error unrolling generic tags\n\n";
        return false;
    }
    report += isBlank(text) ? std::string("No warnings or errors found\n\n") : text;

    std::string reference;
    if (referenceCount > count) reference += "Repository and referred repository do not have same number of snapshots\n\n\n";
    if (referenceCount >= 1 && !indices.empty() && lastIndex >= referenceCount)
        reference += "GENERIC SNAPSHOTS\n" + separator + "Generic snapshots is out of reference repository's range\n\n\n";
    std::string referenceText;
    const bool ok2 = passes.pass(true, referenceText);
    if (!isBlank(referenceText)) reference += referenceText;
    else if (reference.empty()) reference += "No warnings or errors found";
    if (referenceCount >= 1 || (!ok1 && !ok2)) report += "VALIDATION OF REFERENCE REPOSITORY\n" + separator + reference;
    // "REF_" tags stay as written without a reference repository: a report warns of them.
    if (referenceCount == 0 && passes.referenceTags())
        report += "Reference tags\n" + separator + REFERENCE_TAGS_WITHOUT_REPOSITORY + "\n\n";
    return ok1 || ok2;
}

}  // namespace TemplateTexts
}  // namespace rep
}  // namespace kiv
