#include "impl/common/TemplateTexts.h"
#include "LibCore/lfwText.h"
#include "impl/common/TemplateTags.h"
#include <algorithm>
#include <functional>
#include <unordered_set>

namespace kiv {
namespace rep {
namespace TemplateTexts {

const char* const REFERENCE_TAGS_WITHOUT_REPOSITORY =
    "Reference tags were found in template, but no reference repository specified";

namespace {

const std::string SEPARATOR = TemplateTags::SUMMARY_SEPARATOR;

// What a numbered tag shows, in the summary's words; null for a kind it does not list.
const char* shows(const ScannedTag& tag) {
    switch (tag.kind) {
    case TagKind::Picture: return "Image";
    case TagKind::Title: return "Title";
    case TagKind::Text: return "Text";
    case TagKind::Model: return "Mdlx 3D Model";
    case TagKind::Table: return "Table data";
    case TagKind::Chart: return "Chart data";
    case TagKind::Field: return tag.name.c_str();
    default: return nullptr;
    }
}

std::string chartKinds(const TemplateScan& scan) {
    std::string lines;
    for (const ScannedChart& chart : scan.charts)
        lines += chart.tag + ": " + chart.kinds +
                 (chart.kinds.empty() || chart.why.empty() ? chart.why : " (" + chart.why + ")") + "\r\n";
    return lines.empty() ? lines : "\r\nChart kinds\r\n" + SEPARATOR + lines;
}

// The kinds a group's content may hold, in the order a summary lists them.
const struct {
    TagKind kind;
    const char* line;
} GROUP_KINDS[] = {{TagKind::Title, "Title\r\n"},         {TagKind::Text, "Description\r\n"}, {TagKind::Picture, "Image\r\n"},
                   {TagKind::Model, "Mdlx 3D Model\r\n"}, {TagKind::Table, "Table data\r\n"}, {TagKind::Chart, "Table chart\r\n"},
                   {TagKind::Field, "Field values\r\n"}};

// Word and HTML: the groups a template repeats, then its numbered tags. A Word
// group lists each kind of tag it holds; an HTML group only its generic tags,
// each field by name, and a template without groups has no group section.
std::string groupSummary(const TemplateScan& scan, bool html) {
    std::string summary;
    if (!html || scan.groups > 0) summary += "Generic groups:\r\n" + SEPARATOR;
    const std::vector<std::vector<size_t>> members = scan.groupMembers();
    for (int g = 0; g < scan.groups; ++g) {
        bool present[7] = {false, false, false, false, false, false, false};
        std::vector<std::string> fields;
        for (const size_t member : members[static_cast<size_t>(g)]) {
            const ScannedTag& tag = scan.tags[member];
            if (html && !tag.generic) continue;
            for (int i = 0; i < 7; ++i)
                if (tag.kind == GROUP_KINDS[i].kind) present[i] = true;
            if (html && tag.kind == TagKind::Field && std::find(fields.begin(), fields.end(), tag.name) == fields.end())
                fields.push_back(tag.name);
        }
        if (html) present[6] = false;  // named one by one instead
        if (std::none_of(std::begin(present), std::end(present), [](bool p) { return p; }) && fields.empty()) {
            summary += "Group number " + std::to_string(g) + " contains no generic tags and will not be unrolled\r\n";
            continue;
        }
        summary += "Content of generic group " + std::to_string(g) + ":\r\n";
        for (int i = 0; i < 7; ++i)
            if (present[i]) summary += GROUP_KINDS[i].line;
        for (const std::string& field : fields) summary += "Field value: " + field + "\r\n";
        summary += "\r\n";
    }
    if (!html && scan.groups == 0) summary += "No generic groups found\r\n";

    summary += "\r\nStatic snapshots\r\n" + SEPARATOR + "The following snapshots are referenced:\r\n";
    std::string fieldLines;
    for (const ScannedTag& tag : scan.tags) {
        // HTML lists every tag that is not generic, Word those that name a number.
        if (html ? tag.generic : tag.number == -1) continue;
        const char* what = shows(tag);
        if (!what) continue;
        std::string line = "Snapshot #" + std::to_string(tag.number) + ": " + what;
        if (!tag.place.empty()) line += " in " + tag.place;
        line += "\r\n";
        if (tag.kind == TagKind::Field) fieldLines += line;
        else summary += line;
    }
    if (!fieldLines.empty())
        summary += std::string(html ? "\r\nField values\r\n" : "\r\nStatic snapshots: Field values\r\n") +
                   TemplateTags::SUMMARY_FIELD_SEPARATOR + fieldLines;
    return summary + chartKinds(scan);
}

// PowerPoint: each slide, its generic kinds, the snapshots its numbered tags
// show and its field values.
std::string slideSummary(const TemplateScan& scan) {
    static const TagKind kinds[6] = {TagKind::Picture, TagKind::Title, TagKind::Text,
                                     TagKind::Model,   TagKind::Table, TagKind::Chart};
    std::string summary;
    // The tags are in slide order: each slide's are a range.
    size_t end = 0;
    for (int k = 0; k < scan.groups; ++k) {
        const size_t begin = end;
        while (end < scan.tags.size() && scan.tags[end].group == k) ++end;
        const auto slideTags = [&](TagKind kind, const std::function<void(const ScannedTag&)>& use) {
            for (size_t t = begin; t < end; ++t)
                if (scan.tags[t].kind == kind) use(scan.tags[t]);
        };
        std::string lines, fields;
        bool generic[6] = {false, false, false, false, false, false};
        for (int i = 0; i < 6; ++i) {
            slideTags(kinds[i], [&](const ScannedTag& tag) {
                if (tag.generic) generic[i] = true;
                else lines += lfw::text::format("Snapshot #%d: %s\r\n", tag.number, shows(tag));
            });
        }
        slideTags(TagKind::Field, [&](const ScannedTag& tag) {
            fields += tag.number < 0 ? "Generic: " + tag.name + "\r\n"
                                     : lfw::text::format("Snapshot #%d: %s\r\n", tag.number, tag.name.c_str());
        });
        summary += lfw::text::format("Slide %d:\r\n", k + 1) + SEPARATOR;
        // Title, description, image, model, table, chart.
        const int order[6] = {1, 2, 0, 3, 4, 5};
        const char* names[6] = {"Generic: Title\r\n",         "Generic: Description\r\n", "Generic: Image\r\n",
                                "Generic: Mdlx 3D model\r\n", "Generic: Table data\r\n",  "Generic: Table chart\r\n"};
        for (int i = 0; i < 6; ++i)
            if (generic[order[i]]) summary += names[i];
        summary += lines + "\r\n";
        if (!fields.empty())
            summary += lfw::text::format("\r\nSlide %d - Field values:\r\n", k + 1) + SEPARATOR + fields + "\r\n\r\n";
    }
    return summary + chartKinds(scan);
}

}  // namespace

std::string summary(const TemplateScan& scan, TextDialect dialect) {
    return dialect == TextDialect::PowerPoint ? slideSummary(scan) : groupSummary(scan, dialect == TextDialect::Html);
}

void section(std::string& report, const char* header, const std::string& lines) {
    report += header;
    report += TemplateTags::VALIDATION_SEPARATOR;
    report += lines;
    report += "\n\n";
}

namespace {
void checkField(const ScannedTag& tag, const lfw::Collection<const Snapshot>& snapshots, bool reference, TextDialect dialect,
                std::string& unknownFields, std::string& warnings) {
    using Check = TemplateTags::FieldMacroCheck;
    const Check check = TemplateTags::checkFieldMacro(tag.name, snapshots, reference);
    const std::string& name = tag.name;
    const std::string& key = check.key;
    if (check.verdict == Check::OTHER_SIDE) return;
    if (dialect == TextDialect::Html) {
        switch (check.verdict) {
        case Check::BAD_SYNTAX: unknownFields += "Syntax of field name " + name + " is not correct\n"; break;
        case Check::NO_SNAPSHOT:
            warnings +=
                "Snapshot index " + std::to_string(check.number) + " does not exist. Field " + name + " will not be replaced\n";
            break;
        case Check::MISSING_EVERYWHERE: unknownFields += "Generic field " + key + " not found in any snapshots\n"; break;
        case Check::MISSING_SOMEWHERE: unknownFields += "Generic field " + key + " not found for all snapshots\n"; break;
        case Check::UNKNOWN_FIELD: {
            const Snapshot* snapshot = snapshots[static_cast<size_t>(check.number - 1)];
            unknownFields += "Field name " + key + " not found for snapshot " + std::to_string(check.number) + " (" +
                             (snapshot ? snapshot->title().toStdString() : std::string()) + ")\n";
            break;
        }
        default: break;
        }
        return;
    }
    if (check.verdict == Check::BAD_SYNTAX) {
        unknownFields += name + ": Syntax of field not correct\n";
        return;
    }
    // A Word field repeats over snapshots only inside a group.
    if (dialect == TextDialect::Word && check.generic && tag.group == -1)
        warnings += name + ": Generic field found outside group\n";
    switch (check.verdict) {
    case Check::NO_SNAPSHOT: warnings += name + ": Snapshot " + std::to_string(check.number) + " does not exist\n"; break;
    case Check::MISSING_EVERYWHERE: unknownFields += key + ": Generic field not found in any snapshots\n"; break;
    case Check::MISSING_SOMEWHERE: unknownFields += key + ": Generic field not found for all snapshots\n"; break;
    case Check::UNKNOWN_FIELD: unknownFields += key + ": Unknown field name\n"; break;
    default: break;
    }
}
}  // namespace

void checkFields(const TemplateScan& scan, const lfw::Collection<const Snapshot>* main,
                 const lfw::Collection<const Snapshot>* reference, TextDialect dialect, std::string& unknownFields,
                 std::string& warnings) {
    for (const ScannedTag& tag : scan.tags) {
        if (tag.kind != TagKind::Field) continue;
        if (main) checkField(tag, *main, false, dialect, unknownFields, warnings);
        if (reference) checkField(tag, *reference, true, dialect, unknownFields, warnings);
    }
}

std::string unusedSnapshots(const TemplateScan& scan, const lfw::Collection<const Snapshot>& snapshots,
                            const std::vector<int>& selected, bool reference, TextDialect dialect) {
    const bool word = dialect == TextDialect::Word;
    // The names of the tags by kind (Word: those outside groups), to look up.
    std::unordered_set<std::string> names;
    bool anyGeneric = false;
    for (const ScannedTag& tag : scan.tags) {
        if (tag.kind == TagKind::Other || tag.kind == TagKind::Group) continue;
        anyGeneric = anyGeneric || tag.generic;
        if (!word || tag.group < 0) names.insert(static_cast<char>('a' + static_cast<int>(tag.kind)) + tag.name);
    }
    const auto named = [&](TagKind kind, const std::string& name) {
        return names.count(static_cast<char>('a' + static_cast<int>(kind)) + name) > 0;
    };
    std::vector<bool> repeated(snapshots.size(), false);
    for (const int index : selected)
        if (index >= 0 && static_cast<size_t>(index) < repeated.size()) repeated[static_cast<size_t>(index)] = true;
    static const struct {
        TagKind kind;
        const char* word;
    } kinds[6] = {{TagKind::Title, "TITLE"}, {TagKind::Text, "TEXT"},   {TagKind::Picture, "PICTURE"},
                  {TagKind::Model, "MDLX"},  {TagKind::Table, "TABLE"}, {TagKind::Chart, "CHART"}};
    const std::string side = reference ? "REF_SIT" : "SIT";
    std::string unused;
    for (size_t k = 0; k < snapshots.size(); ++k) {
        const Snapshot* snapshot = snapshots[k];
        if (!snapshot) continue;
        const std::string stem = side + std::to_string(k + 1) + "_";
        const bool table = snapshot->type() == Snapshot::TABLE;
        bool used = false;
        for (int t = 0; t < 6 && !used; ++t) {
            // Titles and texts fit every snapshot, pictures and models all but
            // tables, tables and charts only tables.
            const bool fits = t < 2 || (t < 4 ? !table : table);
            if (word) used = (fits && named(kinds[t].kind, stem + kinds[t].word)) || (repeated[k] && anyGeneric);
            else
                used = named(kinds[t].kind, stem + kinds[t].word) ||
                       (repeated[k] && fits && named(kinds[t].kind, side + "_" + kinds[t].word));
        }
        if (!used) unused += "Snapshot " + std::to_string(k + 1) + " not used.\n";
    }
    return unused;
}

}  // namespace TemplateTexts
}  // namespace rep
}  // namespace kiv
