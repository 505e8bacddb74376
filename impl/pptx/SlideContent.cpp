#include "LibCore/lfwText.h"
#include "impl/pptx/SlideContent.h"
#include "impl/common/TemplateTags.h"
#include "impl/pptx/PresentationHelpers.h"
#include <algorithm>

namespace kiv {
namespace rep {

namespace {

// Kind position and side of a code; false for codes that select no list.
bool kindOfCode(int type, SlideContent::Kind* kind, bool* reference) {
    const bool ref = type % 2 == 0;
    switch (ref ? type - 1 : type) {
    case SIT_TYPE_PICTURE: *kind = SlideContent::KIND_PICTURE; break;
    case SIT_TYPE_TITLE: *kind = SlideContent::KIND_TITLE; break;
    case SIT_TYPE_TEXT: *kind = SlideContent::KIND_TEXT; break;
    case SIT_TYPE_MDLX: *kind = SlideContent::KIND_MDLX; break;
    case SIT_TYPE_MACRO: *kind = SlideContent::KIND_MACRO; break;
    case SIT_TYPE_TABLE: *kind = SlideContent::KIND_TABLE; break;
    case SIT_TYPE_CHART: *kind = SlideContent::KIND_CHART; break;
    default: return false;
    }
    *reference = ref;
    return type > 0;
}

bool anyNumbered(const std::vector<std::string>& tags) {
    return std::any_of(tags.begin(), tags.end(), SlideContent::tagHasNumber);
}

bool anyUnnumbered(const std::vector<std::string>& tags) {
    return !std::all_of(tags.begin(), tags.end(), SlideContent::tagHasNumber);
}

bool holds(const std::vector<std::string>& tags, const std::string& tag) {
    return std::find(tags.begin(), tags.end(), tag) != tags.end();
}

}  // namespace

TagNameParts::TagNameParts(const std::string& name) {
    const size_t first = name.find('_');
    const size_t last = name.rfind('_');
    prefix = first == std::string::npos ? name : name.substr(0, first);
    suffix = last == std::string::npos ? name : name.substr(last + 1);
}

SlideContent::SlideContent(const std::string& name, int plugins, int pictures)
    : slideName(name), pluginCount(plugins), pictureCount(pictures) {}

std::vector<std::string>* SlideContent::getList(int type) {
    Kind kind;
    bool reference;
    if (!kindOfCode(type, &kind, &reference)) return nullptr;
    return reference ? &m_ref[kind] : &m_sit[kind];
}

const std::vector<std::string>* SlideContent::getList(int type) const { return const_cast<SlideContent*>(this)->getList(type); }

bool SlideContent::tagHasNumber(const std::string& tag) { return TemplateTags::getTagIndex(tag) >= 0; }

bool SlideContent::getStaticSituationIndexes(int type, std::vector<int>& indices) const {
    indices.clear();
    const std::vector<std::string>* list = getList(type);
    if (!list) return false;
    for (const std::string& tag : *list) {
        const int number = TemplateTags::getTagIndex(tag);
        if (number >= 0) indices.push_back(number - 1);
    }
    PresentationHelpers::removeDuplicates(&indices);
    return !indices.empty();
}

bool SlideContent::containsStaticTags() const {
    for (int k = 0; k < KIND_COUNT; ++k)
        if (anyNumbered(m_sit[k]) || anyNumbered(m_ref[k])) return true;
    return false;
}

std::vector<std::string> SlideContent::getSitTags(int type) const {
    const std::vector<std::string>* list = getList(type);
    return list ? *list : std::vector<std::string>();
}

namespace {
std::vector<std::string> concatenated(const std::vector<std::string>* lists) {
    std::vector<std::string> all;
    for (SlideContent::Kind kind :
         {SlideContent::KIND_TITLE, SlideContent::KIND_TEXT, SlideContent::KIND_PICTURE, SlideContent::KIND_MDLX,
          SlideContent::KIND_MACRO, SlideContent::KIND_TABLE, SlideContent::KIND_CHART})
        all.insert(all.end(), lists[kind].begin(), lists[kind].end());
    return all;
}
}  // namespace

std::vector<std::string> SlideContent::getSitTags() const { return concatenated(m_sit); }
std::vector<std::string> SlideContent::getRefTags() const { return concatenated(m_ref); }

bool SlideContent::hasMixedMdlxTags(int type) const {
    const std::vector<std::string>* list = getList(type);
    return list && anyNumbered(*list) && anyUnnumbered(*list);
}

bool SlideContent::hasMixedMdlxTags() const { return hasMixedMdlxTags(SIT_TYPE_MDLX) || hasMixedMdlxTags(SIT_TYPE_REF_MDLX); }

bool SlideContent::hasGenericTextualTags() const {
    for (Kind kind : {KIND_TITLE, KIND_TEXT, KIND_MACRO})
        if (!m_sit[kind].empty() || !m_ref[kind].empty()) return true;
    return false;
}

bool SlideContent::holdsTag(const std::string& tag) const {
    for (int k = 0; k < KIND_COUNT; ++k)
        if (holds(m_sit[k], tag) || holds(m_ref[k], tag)) return true;
    return false;
}

bool SlideContent::hasTags() const {
    for (int k = 0; k < KIND_COUNT; ++k)
        if (!m_sit[k].empty() || !m_ref[k].empty()) return true;
    return false;
}

void SlideContent::addPluginPath(const std::string& target, const std::string& id) {
    pluginTargets.push_back(target);
    pluginIds.push_back(id);
    pluginCount = static_cast<int>(pluginTargets.size());
}

void SlideContent::addPicturePath(const std::string& target, const std::string& id) {
    pictureTargets.push_back(target);
    pictureIds.push_back(id);
    pictureCount = static_cast<int>(pictureTargets.size());
}

// --- the list ---

SlideContentPtrArray::~SlideContentPtrArray() { deleteAll(); }

void SlideContentPtrArray::deleteAll() {
    if (m_owns)
        for (SlideContent* record : m_items) delete record;
    m_items.clear();
    m_byName.clear();
}

void SlideContentPtrArray::add(SlideContent* record) {
    m_items.push_back(record);
    index(record);
}

void SlideContentPtrArray::insertInOrder(SlideContent* record) {
    // The records are in part-number order: after the last of a number not above the new one's.
    const float number = lfw::text::firstFloat(record->slideName);
    const auto at = std::upper_bound(m_items.begin(), m_items.end(), number, [](float n, const SlideContent* item) {
        return n < lfw::text::firstFloat(item->slideName);
    });
    m_items.insert(at, record);
    index(record);
}

bool SlideContentPtrArray::removeByName(const std::string& name) {
    const auto known = m_byName.find(name);
    if (known == m_byName.end()) return false;
    SlideContent* record = known->second;
    m_byName.erase(known);
    m_items.erase(std::find(m_items.begin(), m_items.end(), record));
    if (m_owns) delete record;
    return true;
}

SlideContent* SlideContentPtrArray::getSlideByTag(const std::string& tag) const {
    static const SlideContent::Kind kinds[] = {SlideContent::KIND_TITLE, SlideContent::KIND_PICTURE, SlideContent::KIND_MDLX,
                                               SlideContent::KIND_TEXT, SlideContent::KIND_CHART};
    for (SlideContent* record : m_items) {
        for (SlideContent::Kind kind : kinds)
            if (holds(record->sit(kind), tag) || holds(record->ref(kind), tag)) return record;
        if (holds(record->others(), tag)) return record;
    }
    return nullptr;
}

SlideContent* SlideContentPtrArray::getSlideByName(const std::string& name) const {
    const auto known = m_byName.find(name);
    return known == m_byName.end() ? nullptr : known->second;
}

std::vector<int> SlideContentPtrArray::hasMixedMdlxTags() const {
    std::vector<int> positions;
    for (size_t i = 0; i < m_items.size(); ++i)
        if (m_items[i]->hasMixedMdlxTags()) positions.push_back(static_cast<int>(i) + 1);
    return positions;
}

}  // namespace rep
}  // namespace kiv
