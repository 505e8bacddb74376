#pragma once
// One read of a template's tags, whatever its format: what each format's editor
// layer finds (tags with their kind, snapshot number, side, group and place) in a
// form that the texts of validate and summarize are written from.
#include <string>
#include <vector>

namespace kiv {
namespace rep {

// What a tag shows. Other is a name that is no tag of ours (or none at all);
// Group stands for a group itself (Word).
enum class TagKind { Picture, Title, Text, Model, Field, Table, Chart, Other, Group };

struct ScannedTag {
    std::string name;  // as written: "SIT3_PICTURE", "REF_SIT_$CASE"
    TagKind kind = TagKind::Other;
    bool reference = false;  // a "REF_" tag, filled from the reference repository
    int number = -1;         // the snapshot number it names; -1 for a generic tag or none
    bool generic = false;    // "SIT_..." or "REF_SIT_...": repeated over the selected snapshots
    // The generic group it lies in (Word, HTML), or the slide (PowerPoint, by
    // position); -1 for none.
    int group = -1;
    // Where it lies outside the document's body, in words ("the header
    // word/header1.xml"); empty in the body.
    std::string place;
};

// The kinds of the charts a chart tag names, as the template has them.
struct ScannedChart {
    std::string tag;
    std::string kinds;  // "line, bar"
    std::string why;    // what keeps them from being filled; empty when they can be
};

struct TemplateScan {
    std::vector<ScannedTag> tags;  // in document order (slides in order)
    // The number of groups (or slides) and, for each, the group it lies in (-1 for
    // none): a group holds the tags of the groups inside it too.
    int groups = 0;
    std::vector<int> parentGroups;
    std::vector<ScannedChart> charts;  // each chart tag once, in order

    // What the format's layer found in the template's markup that no report can
    // be made with, or that a report cannot fill, each in its words: groups inside
    // groups and groups outside the document's body (Word), shapes whose tag they
    // cannot show (PowerPoint).
    std::vector<std::string> nestedGroups;
    std::vector<std::string> groupsOutsideBody;
    std::vector<std::string> misplacedTags;
    // Title and text tags whose shape has no body text to fill (PowerPoint).
    std::vector<std::string> emptyTextTags;

    // Whether the template holds "REF_" tags, which only a reference repository fills.
    bool hasReferenceTags() const;

    // Adds a tag, its number, side and whether it is generic read from its name.
    void add(std::string name, TagKind kind, int group, std::string place = std::string());
    // For each group, the positions in `tags` of the tags that lie in it,
    // directly or through groups inside it; in order.
    std::vector<std::vector<size_t>> groupMembers() const;
};

}  // namespace rep
}  // namespace kiv
