#pragma once
// What a slide of a PowerPoint template holds: its tags (shape names of the
// SIT/REF grammar) by kind, its 3D-viewer controls and its pictures, and the
// list of such records for a whole presentation.
#include "impl/openxml/SitTypeTag.h"
#include <string>
#include <unordered_map>
#include <vector>

namespace kiv {
namespace rep {

// Splitting of a shape name: the prefix is the text before the first "_", the
// suffix the text after the last "_" (both are the whole name without "_").
struct TagNameParts {
    std::string prefix;
    std::string suffix;
    explicit TagNameParts(const std::string& name);
    bool isSit() const { return prefix.compare(0, 3, "SIT") == 0; }  // SIT, SIT12, ...
    bool isRef() const { return prefix == "REF"; }
};

class SlideContent {
public:
    // Positions of the seven kinds in the SIT and REF list sets.
    enum Kind { KIND_TITLE, KIND_PICTURE, KIND_MDLX, KIND_TEXT, KIND_MACRO, KIND_TABLE, KIND_CHART, KIND_COUNT };

    SlideContent() = default;
    SlideContent(const std::string& slideName, int pluginCount, int pictureCount);
    SlideContent(const SlideContent&) = default;
    SlideContent& operator=(const SlideContent&) = default;

    // The list selected by a code; null for 0, 13, 14, -1 and unknown codes.
    std::vector<std::string>* getList(int type);
    const std::vector<std::string>* getList(int type) const;
    std::vector<std::string>& sit(Kind kind) { return m_sit[kind]; }
    std::vector<std::string>& ref(Kind kind) { return m_ref[kind]; }
    const std::vector<std::string>& sit(Kind kind) const { return m_sit[kind]; }
    const std::vector<std::string>& ref(Kind kind) const { return m_ref[kind]; }
    std::vector<std::string>& others() { return m_others; }
    const std::vector<std::string>& others() const { return m_others; }

    // The distinct 0-based snapshot indices of the numbered tags of one list; true when
    // there is one. False for an unknown code.
    bool getStaticSituationIndexes(int type, std::vector<int>& indices) const;
    bool containsStaticTags() const;
    std::vector<std::string> getSitTags(int type) const;  // a copy of that list (empty for unknown codes)
    std::vector<std::string> getSitTags() const;          // title, text, picture, Mdlx, macro, table, chart
    std::vector<std::string> getRefTags() const;
    // The list holds both a numbered and an unnumbered tag.
    bool hasMixedMdlxTags(int type) const;
    bool hasMixedMdlxTags() const;  // for the SIT or the REF Mdlx list
    bool hasGenericTextualTags() const;
    bool hasTags() const;  // any SIT or REF tag
    // Whether a SIT or REF list of any kind holds exactly this tag.
    bool holdsTag(const std::string& tag) const;

    void addPluginPath(const std::string& target, const std::string& id);
    void addPicturePath(const std::string& target, const std::string& id);

    // True when a tag names a snapshot by number.
    static bool tagHasNumber(const std::string& tag);

    std::string slideName;
    std::string slideRelId;
    std::string slideTitle;
    std::string relsPath;
    int pluginCount = 0;
    int pictureCount = 0;
    std::vector<std::string> pluginTargets;
    std::vector<std::string> pluginIds;
    std::vector<std::string> pictureTargets;
    std::vector<std::string> pictureIds;
    // Title and text tags without body text (OpenXMLSlideDocument::getEmptyTextTags).
    std::vector<std::string> emptyTextTags;

private:
    std::vector<std::string> m_sit[KIND_COUNT];
    std::vector<std::string> m_ref[KIND_COUNT];
    std::vector<std::string> m_others;
};

// Tagged slides in the order of their part numbers.
class SlideContentPtrArray {
public:
    // A list that does not own its records refers to records kept elsewhere.
    explicit SlideContentPtrArray(bool ownsRecords = true) : m_owns(ownsRecords) {}
    ~SlideContentPtrArray();
    SlideContentPtrArray(const SlideContentPtrArray&) = delete;
    SlideContentPtrArray& operator=(const SlideContentPtrArray&) = delete;

    int getSize() const { return static_cast<int>(m_items.size()); }
    SlideContent* operator[](int i) const { return m_items[static_cast<size_t>(i)]; }
    void add(SlideContent* record);
    // Inserts before the first record whose slide part number is larger (part-number order).
    void insertInOrder(SlideContent* record);
    // Takes the record of that slide out of the list (deleting it when owned); false when absent.
    bool removeByName(const std::string& name);
    void deleteAll();  // deletes owned records and empties the list

    // The first slide whose title, picture, Mdlx, text or chart lists (SIT or REF)
    // or other names hold exactly the tag; tables and macros are not searched.
    SlideContent* getSlideByTag(const std::string& tag) const;
    SlideContent* getSlideByName(const std::string& name) const;
    // 1-based positions of the slides with mixed Mdlx tags.
    std::vector<int> hasMixedMdlxTags() const;

private:
    void index(SlideContent* record) { m_byName.emplace(record->slideName, record); }

    std::vector<SlideContent*> m_items;
    // The records by slide name (a deck's copies are looked up by name many times).
    std::unordered_map<std::string, SlideContent*> m_byName;
    bool m_owns = true;
};

}  // namespace rep
}  // namespace kiv
