#include "impl/pptx/SlideContent.h"
#include <algorithm>
#include "impl/common/TemplateTags.h"

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

bool anyNumbered(const MkStringArray& tags) {
    for (int i = 0; i < tags.GetSize(); ++i)
        if (SlideContent::TagHasNumber(tags[i])) return true;
    return false;
}

bool anyUnnumbered(const MkStringArray& tags) {
    for (int i = 0; i < tags.GetSize(); ++i)
        if (!SlideContent::TagHasNumber(tags[i])) return true;
    return false;
}

}  // namespace

TagNameParts::TagNameParts(const MkString& name) {
    const int first = name.Find(L'_');
    const int last = name.Find(L'_', -1, false);
    prefix = first < 0 ? name : name.Left(first);
    suffix = last < 0 ? name : name.Mid(last + 1);
}

SlideContent::SlideContent(const MkString& name, int plugins, int pictures)
    : slideName(name), pluginCount(plugins), pictureCount(pictures) {}

MkStringArray* SlideContent::GetList(int type) {
    Kind kind;
    bool reference;
    if (!kindOfCode(type, &kind, &reference)) return nullptr;
    return reference ? &m_ref[kind] : &m_sit[kind];
}

const MkStringArray* SlideContent::GetList(int type) const { return const_cast<SlideContent*>(this)->GetList(type); }

bool SlideContent::TagHasNumber(const MkString& tag) { return kiv::rep::TemplateTags::getTagIndex(tag) >= 0; }

bool SlideContent::IsGeneric(bool reference) const {
    const MkStringArray* lists = reference ? m_ref : m_sit;
    for (Kind kind : {KIND_TITLE, KIND_TEXT, KIND_PICTURE, KIND_MDLX, KIND_TABLE, KIND_CHART})
        if (anyUnnumbered(lists[kind])) return true;
    const MkStringArray& macros = lists[KIND_MACRO];
    for (int i = 0; i < macros.GetSize(); ++i)
        if (macros[i].Contains(L"SIT_$")) return true;
    return false;
}

bool SlideContent::GetStaticSituationIndexes(int type, MkIntArray& indices) const {
    indices.Clear();
    const MkStringArray* list = GetList(type);
    if (!list) return false;
    for (int i = 0; i < list->GetSize(); ++i) {
        const int number = kiv::rep::TemplateTags::getTagIndex((*list)[i]);
        if (number >= 0) indices.AddGrow(number - 1);
    }
    indices.RemoveDuplicates();
    return !indices.IsEmpty();
}

bool SlideContent::ContainsStaticTags() const {
    for (int k = 0; k < KIND_COUNT; ++k)
        if (anyNumbered(m_sit[k]) || anyNumbered(m_ref[k])) return true;
    return false;
}

MkStringArray SlideContent::GetSitTags(int type) const {
    const MkStringArray* list = GetList(type);
    return list ? *list : MkStringArray();
}

namespace {
MkStringArray concatenated(const MkStringArray* lists) {
    MkStringArray all;
    for (SlideContent::Kind kind :
         {SlideContent::KIND_TITLE, SlideContent::KIND_TEXT, SlideContent::KIND_PICTURE, SlideContent::KIND_MDLX,
          SlideContent::KIND_MACRO, SlideContent::KIND_TABLE, SlideContent::KIND_CHART})
        all.Append(lists[kind]);
    return all;
}
}  // namespace

MkStringArray SlideContent::GetSitTags() const { return concatenated(m_sit); }
MkStringArray SlideContent::GetRefTags() const { return concatenated(m_ref); }

bool SlideContent::HasMixedMdlxTags(int type) const {
    const MkStringArray* list = GetList(type);
    return list && anyNumbered(*list) && anyUnnumbered(*list);
}

bool SlideContent::HasMixedMdlxTags() const { return HasMixedMdlxTags(SIT_TYPE_MDLX) || HasMixedMdlxTags(SIT_TYPE_REF_MDLX); }

bool SlideContent::HasGenericTextualTags() const {
    for (Kind kind : {KIND_TITLE, KIND_TEXT, KIND_MACRO})
        if (!m_sit[kind].IsEmpty() || !m_ref[kind].IsEmpty()) return true;
    return false;
}

bool SlideContent::HasTags() const {
    for (int k = 0; k < KIND_COUNT; ++k)
        if (!m_sit[k].IsEmpty() || !m_ref[k].IsEmpty()) return true;
    return false;
}

void SlideContent::AddPluginPath(const MkString& target, const MkString& id) {
    pluginTargets.AddGrow(target);
    pluginIds.AddGrow(id);
    pluginCount = pluginTargets.GetSize();
}

void SlideContent::AddPicturePath(const MkString& target, const MkString& id) {
    pictureTargets.AddGrow(target);
    pictureIds.AddGrow(id);
    pictureCount = pictureTargets.GetSize();
}

// --- the list ---

SlideContentPtrArray::~SlideContentPtrArray() { DeleteAll(); }

void SlideContentPtrArray::DeleteAll() {
    if (m_owns)
        for (SlideContent* record : m_items) delete record;
    m_items.clear();
    m_byName.clear();
}

void SlideContentPtrArray::Add(SlideContent* record) {
    m_items.push_back(record);
    Index(record);
}

void SlideContentPtrArray::InsertInOrder(SlideContent* record) {
    // The records are in part-number order: after the last of a number not above the new one's.
    const float number = record->slideName.GetFirstFloat();
    const auto at = std::upper_bound(m_items.begin(), m_items.end(), number,
                                     [](float n, const SlideContent* item) { return n < item->slideName.GetFirstFloat(); });
    m_items.insert(at, record);
    Index(record);
}

bool SlideContentPtrArray::RemoveByName(const MkString& name) {
    const auto known = m_byName.find(name.Std());
    if (known == m_byName.end()) return false;
    SlideContent* record = known->second;
    m_byName.erase(known);
    m_items.erase(std::find(m_items.begin(), m_items.end(), record));
    if (m_owns) delete record;
    return true;
}

SlideContent* SlideContentPtrArray::GetSlideByTag(const MkString& tag) const {
    static const SlideContent::Kind kinds[] = {SlideContent::KIND_TITLE, SlideContent::KIND_PICTURE, SlideContent::KIND_MDLX,
                                               SlideContent::KIND_TEXT, SlideContent::KIND_CHART};
    for (SlideContent* record : m_items) {
        for (SlideContent::Kind kind : kinds)
            if (record->Sit(kind).Find(tag) >= 0 || record->Ref(kind).Find(tag) >= 0) return record;
        if (record->Others().Find(tag) >= 0) return record;
    }
    return nullptr;
}

SlideContent* SlideContentPtrArray::GetSlideByName(const MkString& name) const {
    const auto known = m_byName.find(name.Std());
    return known == m_byName.end() ? nullptr : known->second;
}

int SlideContentPtrArray::GetTags(int type, MkStringArray& out) const {
    out.Clear();
    for (SlideContent* record : m_items) {
        const MkStringArray* list = type == SIT_TYPE_NONE ? &record->Others() : record->GetList(type);
        if (list) out.Append(*list);
    }
    return out.GetSize();
}

SlideContentPtrArray* SlideContentPtrArray::GetStaticSlides() const {
    SlideContentPtrArray* view = new SlideContentPtrArray();
    view->m_owns = false;
    for (SlideContent* record : m_items)
        if (record->ContainsStaticTags()) view->Add(record);
    return view;
}

MkIntArray SlideContentPtrArray::HasMixedMdlxTags() const {
    MkIntArray positions;
    for (size_t i = 0; i < m_items.size(); ++i)
        if (m_items[i]->HasMixedMdlxTags()) positions.AddGrow(static_cast<int>(i) + 1);
    return positions;
}

}  // namespace rep
}  // namespace kiv
