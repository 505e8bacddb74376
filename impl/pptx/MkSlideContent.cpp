#include "impl/pptx/MkSlideContent.h"
#include <algorithm>
#include "impl/common/TemplateTags.h"

namespace kiv {
namespace rep {

namespace {

// Kind position and side of a code; false for codes that select no list.
bool kindOfCode(int type, MkSlideContent::Kind* kind, bool* reference) {
    const bool ref = type % 2 == 0;
    switch (ref ? type - 1 : type) {
    case SIT_TYPE_PICTURE: *kind = MkSlideContent::KIND_PICTURE; break;
    case SIT_TYPE_TITLE: *kind = MkSlideContent::KIND_TITLE; break;
    case SIT_TYPE_TEXT: *kind = MkSlideContent::KIND_TEXT; break;
    case SIT_TYPE_MDLX: *kind = MkSlideContent::KIND_MDLX; break;
    case SIT_TYPE_MACRO: *kind = MkSlideContent::KIND_MACRO; break;
    case SIT_TYPE_TABLE: *kind = MkSlideContent::KIND_TABLE; break;
    case SIT_TYPE_CHART: *kind = MkSlideContent::KIND_CHART; break;
    default: return false;
    }
    *reference = ref;
    return type > 0;
}

bool anyNumbered(const MkStringArray& tags) {
    for (int i = 0; i < tags.GetSize(); ++i)
        if (MkSlideContent::TagHasNumber(tags[i])) return true;
    return false;
}

bool anyUnnumbered(const MkStringArray& tags) {
    for (int i = 0; i < tags.GetSize(); ++i)
        if (!MkSlideContent::TagHasNumber(tags[i])) return true;
    return false;
}

}  // namespace

MkTagNameParts::MkTagNameParts(const MkString& name) {
    const int first = name.Find(L'_');
    const int last = name.Find(L'_', -1, false);
    prefix = first < 0 ? name : name.Left(first);
    suffix = last < 0 ? name : name.Mid(last + 1);
}

MkSlideContent::MkSlideContent(const MkString& name, int plugins, int pictures)
    : slideName(name), pluginCount(plugins), pictureCount(pictures) {}

MkStringArray* MkSlideContent::GetList(int type) {
    Kind kind;
    bool reference;
    if (!kindOfCode(type, &kind, &reference)) return nullptr;
    return reference ? &m_ref[kind] : &m_sit[kind];
}

const MkStringArray* MkSlideContent::GetList(int type) const { return const_cast<MkSlideContent*>(this)->GetList(type); }

bool MkSlideContent::TagHasNumber(const MkString& tag) { return kiv::rep::TemplateTags::getTagIndex(tag) >= 0; }

bool MkSlideContent::IsGeneric(bool reference) const {
    const MkStringArray* lists = reference ? m_ref : m_sit;
    for (Kind kind : {KIND_TITLE, KIND_TEXT, KIND_PICTURE, KIND_MDLX, KIND_TABLE, KIND_CHART})
        if (anyUnnumbered(lists[kind])) return true;
    const MkStringArray& macros = lists[KIND_MACRO];
    for (int i = 0; i < macros.GetSize(); ++i)
        if (macros[i].Contains(L"SIT_$")) return true;
    return false;
}

bool MkSlideContent::GetStaticSituationIndexes(int type, MkIntArray& indices) const {
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

bool MkSlideContent::ContainsStaticTags() const {
    for (int k = 0; k < KIND_COUNT; ++k)
        if (anyNumbered(m_sit[k]) || anyNumbered(m_ref[k])) return true;
    return false;
}

MkStringArray MkSlideContent::GetSitTags(int type) const {
    const MkStringArray* list = GetList(type);
    return list ? *list : MkStringArray();
}

namespace {
MkStringArray concatenated(const MkStringArray* lists) {
    MkStringArray all;
    for (MkSlideContent::Kind kind :
         {MkSlideContent::KIND_TITLE, MkSlideContent::KIND_TEXT, MkSlideContent::KIND_PICTURE, MkSlideContent::KIND_MDLX,
          MkSlideContent::KIND_MACRO, MkSlideContent::KIND_TABLE, MkSlideContent::KIND_CHART})
        all.Append(lists[kind]);
    return all;
}
}  // namespace

MkStringArray MkSlideContent::GetSitTags() const { return concatenated(m_sit); }
MkStringArray MkSlideContent::GetRefTags() const { return concatenated(m_ref); }

bool MkSlideContent::HasMixedMdlxTags(int type) const {
    const MkStringArray* list = GetList(type);
    return list && anyNumbered(*list) && anyUnnumbered(*list);
}

bool MkSlideContent::HasMixedMdlxTags() const { return HasMixedMdlxTags(SIT_TYPE_MDLX) || HasMixedMdlxTags(SIT_TYPE_REF_MDLX); }

bool MkSlideContent::HasGenericTextualTags() const {
    for (Kind kind : {KIND_TITLE, KIND_TEXT, KIND_MACRO})
        if (!m_sit[kind].IsEmpty() || !m_ref[kind].IsEmpty()) return true;
    return false;
}

bool MkSlideContent::HasTags() const {
    for (int k = 0; k < KIND_COUNT; ++k)
        if (!m_sit[k].IsEmpty() || !m_ref[k].IsEmpty()) return true;
    return false;
}

void MkSlideContent::AddPluginPath(const MkString& target, const MkString& id) {
    pluginTargets.AddGrow(target);
    pluginIds.AddGrow(id);
    pluginCount = pluginTargets.GetSize();
}

void MkSlideContent::AddPicturePath(const MkString& target, const MkString& id) {
    pictureTargets.AddGrow(target);
    pictureIds.AddGrow(id);
    pictureCount = pictureTargets.GetSize();
}

// --- the list ---

MkSlideContentPtrArray::~MkSlideContentPtrArray() { DeleteAll(); }

void MkSlideContentPtrArray::DeleteAll() {
    if (m_owns)
        for (MkSlideContent* record : m_items) delete record;
    m_items.clear();
    m_byName.clear();
}

void MkSlideContentPtrArray::Add(MkSlideContent* record) {
    m_items.push_back(record);
    Index(record);
}

void MkSlideContentPtrArray::InsertInOrder(MkSlideContent* record) {
    // The records are in part-number order: after the last of a number not above the new one's.
    const float number = record->slideName.GetFirstFloat();
    const auto at = std::upper_bound(m_items.begin(), m_items.end(), number,
                                     [](float n, const MkSlideContent* item) { return n < item->slideName.GetFirstFloat(); });
    m_items.insert(at, record);
    Index(record);
}

bool MkSlideContentPtrArray::RemoveByName(const MkString& name) {
    const auto known = m_byName.find(name.Std());
    if (known == m_byName.end()) return false;
    MkSlideContent* record = known->second;
    m_byName.erase(known);
    m_items.erase(std::find(m_items.begin(), m_items.end(), record));
    if (m_owns) delete record;
    return true;
}

MkSlideContent* MkSlideContentPtrArray::GetSlideByTag(const MkString& tag) const {
    static const MkSlideContent::Kind kinds[] = {MkSlideContent::KIND_TITLE, MkSlideContent::KIND_PICTURE,
                                                 MkSlideContent::KIND_MDLX, MkSlideContent::KIND_TEXT,
                                                 MkSlideContent::KIND_CHART};
    for (MkSlideContent* record : m_items) {
        for (MkSlideContent::Kind kind : kinds)
            if (record->Sit(kind).Find(tag) >= 0 || record->Ref(kind).Find(tag) >= 0) return record;
        if (record->Others().Find(tag) >= 0) return record;
    }
    return nullptr;
}

MkSlideContent* MkSlideContentPtrArray::GetSlideByName(const MkString& name) const {
    const auto known = m_byName.find(name.Std());
    return known == m_byName.end() ? nullptr : known->second;
}

int MkSlideContentPtrArray::GetTags(int type, MkStringArray& out) const {
    out.Clear();
    for (MkSlideContent* record : m_items) {
        const MkStringArray* list = type == SIT_TYPE_NONE ? &record->Others() : record->GetList(type);
        if (list) out.Append(*list);
    }
    return out.GetSize();
}

MkSlideContentPtrArray* MkSlideContentPtrArray::GetStaticSlides() const {
    MkSlideContentPtrArray* view = new MkSlideContentPtrArray();
    view->m_owns = false;
    for (MkSlideContent* record : m_items)
        if (record->ContainsStaticTags()) view->Add(record);
    return view;
}

MkIntArray MkSlideContentPtrArray::HasMixedMdlxTags() const {
    MkIntArray positions;
    for (size_t i = 0; i < m_items.size(); ++i)
        if (m_items[i]->HasMixedMdlxTags()) positions.AddGrow(static_cast<int>(i) + 1);
    return positions;
}

}  // namespace rep
}  // namespace kiv
