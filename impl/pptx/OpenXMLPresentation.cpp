#include "impl/pptx/OpenXMLPresentation.h"
#include "LibCore/lfwFile.h"
#include "KivReport/Table.h"
#include "impl/openxml/ChartData.h"
#include "impl/openxml/OpenXMLPaths.h"
#include "impl/pptx/PresentationHelpers.h"
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <utility>

namespace kiv {
namespace rep {

using namespace PresentationHelpers;

namespace {

// Schema order of the children of p:presentation that follow p:sldIdLst.
const char* const AFTER_SLIDE_ID_LIST[] = {
    "p:sldSz",       "p:notesSz", "p:smartTags",        "p:embeddedFontLst", "p:custShowLst", "p:photoAlbum",
    "p:custDataLst", "p:kinsoku", "p:defaultTextStyle", "p:modifyVerifier",  "p:extLst"};

bool isSlideRelationship(const OpenXMLRelationship& r) { return !r.external && endsWith(r.type, L"/relationships/slide"); }

// Changes the part a relationship names, keeping its id and type.
void retarget(OpenXMLRelationships* rels, const MkString id, const MkString& part) {
    const OpenXMLRelationship* r = rels->Find(id);
    if (!r) return;
    const MkString type = r->type;
    rels->Drop(id);
    rels->Add(type, part, false, id);
}

const wchar_t* const MODERN_COMMENTS_CONTENT_TYPE = L"application/vnd.ms-powerpoint.comments+xml";

// The name of an element without its namespace prefix.
const char* localName(const TiXmlElement* e) {
    const char* colon = std::strchr(e->Value(), ':');
    return colon ? colon + 1 : e->Value();
}

void forEachElement(TiXmlElement* parent, const std::function<void(TiXmlElement*)>& f) {
    for (TiXmlElement* e = parent->FirstChildElement(); e; e = e->NextSiblingElement()) {
        f(e);
        forEachElement(e, f);
    }
}

// A new random GUID (version 4), as Office writes them: {8-4-4-4-12} in capitals.
std::string newGuid() {
    static thread_local std::mt19937_64 random{std::random_device{}()};
    const unsigned long long a = random(), b = random();
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%04X-%012llX}", static_cast<unsigned>(a >> 32),
                  static_cast<unsigned>(a >> 16) & 0xFFFFu, (static_cast<unsigned>(a) & 0x0FFFu) | 0x4000u,
                  (static_cast<unsigned>(b >> 48) & 0x3FFFu) | 0x8000u, b & 0xFFFFFFFFFFFFull);
    return text;
}

// "rId" and one more than the largest number of the ids "rId<n>" the part has now.
MkString nextId(const OpenXMLRelationships& rels) {
    long long largest = 0;
    for (int i = 0; i < rels.Count(); ++i) {
        const MkString& id = rels.At(i).id;
        if (id.StartsWith(L"rId")) largest = std::max(largest, static_cast<long long>(id.Mid(3).AsInt(0)));
    }
    MkString id;
    id.MakeForm("rId%lld", largest + 1);
    return id;
}

}  // namespace

OpenXMLPresentation::OpenXMLPresentation() : m_slides(new SlideContentPtrArray(false)) {
    // Slides are parsed into slide documents, which hold the slide edits.
    Package().SetXmlMaker([](const MkString& part) -> std::unique_ptr<XmlDocument> {
        const MkString name = part.StartsWith(L"/") ? part.Mid(1) : part;
        if (name.Left(11).CompareNoCase(L"ppt/slides/") == 0 && name.Find(L'/', 11) < 0)
            return std::make_unique<OpenXMLSlideDocument>();
        return nullptr;
    });
    // Slides are many and alike: the fastest deflate level costs a fifth of the
    // default's time, and the XML it leaves is a few per cent larger.
    Package().SetCompressionLevel(1);
}

OpenXMLPresentation::~OpenXMLPresentation() = default;

bool OpenXMLPresentation::Open(const MkString& path) {
    m_slides->DeleteAll();
    m_scanned.clear();
    m_copies.clear();
    m_removed.clear();
    m_slideParts.clear();
    m_provided.clear();
    m_lastSlideId = 255;
    m_takenFrom = m_takenTo = 0;
    m_listWalked = false;
    m_entriesIndexed = false;
    m_listEntries.clear();
    m_linkers.clear();
    m_linkersFound = 0;
    m_showEntries.clear();
    m_sectionEntries.clear();
    m_commentIndicesRead = false;
    m_problem.Empty();
    if (!OpenXMLPackageEditor::Open(path)) {
        m_problem = PackageProblemOf(path, &GetProblems());
        return false;
    }
    if (MainPart()->Name().CompareNoCase(L"ppt/presentation.xml") != 0 || !MainPart()->Xml()) {
        Fail(MkString(L"The package has no presentation part ppt/presentation.xml"));
        m_main = nullptr;
        return false;
    }
    return true;
}

void OpenXMLPresentation::ProvideMedia(const MkString& name, const unsigned char* data, size_t size) {
    m_provided[name.Std()] = std::make_pair(data, size);
}

bool OpenXMLPresentation::HasMediaSource(const MkString& imagePath) const {
    return m_provided.count(imagePath.Std()) != 0 || lfw::FileSystem::fileExists(lfw::String(imagePath.Std()));
}

OpenXMLPart* OpenXMLPresentation::SlidePart(const MkString& slideName) const {
    if (slideName.IsEmpty()) return nullptr;
    // Parts live as long as the package: a slide's part, once found, is kept by name.
    const auto known = m_slideParts.find(slideName.Std());
    if (known != m_slideParts.end()) return known->second;
    if (m_removed.count(slideName.Std())) return nullptr;
    OpenXMLPart* part = const_cast<OpenXMLPresentation*>(this)->Package().Part(SlidePartName(slideName));
    if (part) m_slideParts.emplace(slideName.Std(), part);
    return part;
}

const OpenXMLSlideDocument* OpenXMLPresentation::ViewSlide(const MkString& slideName) const {
    OpenXMLPart* part = SlidePart(slideName);
    return part ? dynamic_cast<const OpenXMLSlideDocument*>(part->Xml()) : nullptr;
}

OpenXMLSlideDocument* OpenXMLPresentation::EditSlide(const MkString& slideName) {
    OpenXMLPart* part = SlidePart(slideName);
    if (!part || !part->Xml()) return nullptr;
    Touch(slideName);
    XmlDocument* document = part->EditXml();
    dropDoctype(document);
    return dynamic_cast<OpenXMLSlideDocument*>(document);
}

void OpenXMLPresentation::Touch(const MkString& slideName) {
    auto it = m_scanned.find(slideName.Std());
    if (it != m_scanned.end()) it->second.stale = true;
}

SlideContent* OpenXMLPresentation::FindSlide(const MkString& tag, const MkString& slideName) {
    if (!slideName.IsEmpty()) return m_slides->GetSlideByName(slideName);
    // A search by tag reads every record: edited copies must show their present names.
    if (m_listByTagStale) CreateSlideContentList();
    return m_slides->GetSlideByTag(tag);
}

// ---------------------------------------------------------------------------
// Slide list

SlideContent* OpenXMLPresentation::ScanSlide(const MkString& slideName) {
    auto cached = m_scanned.find(slideName.Std());
    if (cached != m_scanned.end() && !cached->second.stale) return cached->second.record.get();
    OpenXMLPart* part = SlidePart(slideName);
    const OpenXMLSlideDocument* slide = ViewSlide(slideName);
    OpenXMLRelationships* rels = part ? part->Rels() : nullptr;
    if (!slide || !rels) {
        reportError(GetProblems(), L"OpenXMLPresentation::CreateSlideContentList",
                    MkString(L"cannot read slide part ") + SlidePartName(slideName));
        return nullptr;
    }
    std::unique_ptr<SlideContent> record(new SlideContent(slideName, 0, 0));
    record->relsPath = SlideRelsPath(slideName);
    for (int i = 0; i < rels->Count(); ++i) {
        const OpenXMLRelationship& r = rels->At(i);
        OpenXMLPart* control = endsWith(r.type, L"/control") ? Package().Part(&r) : nullptr;
        const XmlDocument* xml = control ? control->Xml() : nullptr;
        if (xml && xml->GetRootElement().GetAttributeString("ax:classid") == MkString(OpenXMLPlugin::CLASS_ID))
            record->AddPluginPath(r.target, r.id);
    }
    const XmlElement title = slide->GetTitleTextElt();
    if (title) record->slideTitle = title.GetValue();
    std::vector<XmlElement> pictures;
    OpenXMLSlideDocument::FindShapes(slide->GetShapeTree(), L"p:pic", pictures);
    for (const XmlElement& pic : pictures) {
        bool found = false;
        const MkString embed = pic.GetFirstChildFromPath("p:blipFill/a:blip").GetAttributeString("r:embed", MkString(), &found);
        const OpenXMLRelationship* r = found ? rels->Find(embed) : nullptr;
        if (r && !r->target.IsEmpty()) record->AddPicturePath(r->target, embed);
    }
    slide->GetSlideTags(record.get());
    slide->GetEmptyTextTags(&record->emptyTextTags);
    Scan& scan = m_scanned[slideName.Std()];
    scan.record = std::move(record);
    scan.stale = false;
    return scan.record.get();
}

SlideContent* OpenXMLPresentation::CopyScan(const MkString& sourceName, const MkString& copyName) {
    // Only a fresh record will do: scanning the source again would replace a
    // record the slide list holds.
    const auto scanned = m_scanned.find(sourceName.Std());
    const SlideContent* source = scanned != m_scanned.end() && !scanned->second.stale ? scanned->second.record.get() : nullptr;
    OpenXMLPart* part = SlidePart(copyName);
    OpenXMLRelationships* rels = part ? part->Rels() : nullptr;
    if (!source || !rels) return ScanSlide(copyName);
    std::unique_ptr<SlideContent> record(new SlideContent(*source));
    record->slideName = copyName;
    record->relsPath = SlideRelsPath(copyName);
    // The targets as the copy's relationships write them.
    auto retargeted = [rels](const MkStringArray& ids, MkStringArray* targets) {
        for (int i = 0; i < ids.GetSize(); ++i)
            if (const OpenXMLRelationship* r = rels->Find(ids[i])) (*targets)[i] = r->target;
    };
    retargeted(record->pluginIds, &record->pluginTargets);
    retargeted(record->pictureIds, &record->pictureTargets);
    Scan& scan = m_scanned[copyName.Std()];
    scan.record = std::move(record);
    scan.stale = false;
    return scan.record.get();
}

bool OpenXMLPresentation::CreateSlideContentList() {
    m_listByTagStale = false;
    m_slides->DeleteAll();
    if (!IsOpen()) return false;
    // The slide parts in part-number order: slide2.xml before slide10.xml.
    std::vector<std::pair<float, MkString>> ordered;
    for (int i = 0; i < Package().PartCount(); ++i) {
        const MkString& name = Package().PartAt(i)->Name();
        if (name.Left(11).CompareNoCase(L"ppt/slides/") != 0 || name.Find(L'/', 11) >= 0 ||
            !name.Right(4).CompareNoCase(L".xml") == 0)
            continue;
        const MkString slideName = name.Mid(11);
        if (!m_removed.count(slideName.Std())) ordered.emplace_back(slideName.GetFirstFloat(), slideName);
    }
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](const std::pair<float, MkString>& a, const std::pair<float, MkString>& b) { return a.first < b.first; });
    for (const auto& entry : ordered) {
        SlideContent* scanned = ScanSlide(entry.second);
        if (!scanned) return false;
        scanned->slideRelId = SlideRelationshipId(entry.second);
        if (scanned->HasTags()) m_slides->Add(scanned);
    }
    return m_slides->GetSize() > 0;
}

// ---------------------------------------------------------------------------
// Slide order

MkString OpenXMLPresentation::SlideRelationshipId(const MkString& slideName) {
    OpenXMLRelationships* rels = MainRels();
    const OpenXMLRelationship* r = rels ? rels->Find(MkString(REL_SLIDE), SlidePartName(slideName), false) : nullptr;
    return r ? r->id : MkString();
}

bool OpenXMLPresentation::GetPresentationSlideIdList(MkStringArray* ids) {
    if (!ids || !IsOpen()) return false;
    ids->Clear();
    const XmlElement list = MainPart()->Xml()->GetRootElement().GetFirstChildElement("p:sldIdLst");
    for (XmlElement id = list.GetFirstChildElement(); id; id = id.GetNextSiblingElement())
        ids->AddGrow(id.GetAttributeString("r:id"));
    return !ids->IsEmpty();
}

int OpenXMLPresentation::SlideCount() {
    if (!IsOpen()) return 0;
    return MainPart()->Xml()->GetRootElement().GetFirstChildElement("p:sldIdLst").GetChildElementCount();
}

namespace {
// The number a slide list entry's r:id holds ("rId12": 12), 0 when none.
int listedNumber(const MkString& relId) {
    const float number = relId.GetFirstFloat();
    return number < 2.99e38f && number > 0 ? static_cast<int>(number) : 0;
}
}  // namespace

void OpenXMLPresentation::WalkSlideList() {
    m_listedNumbers.clear();
    const XmlElement list = MainPart()->Xml()->GetRootElement().GetFirstChildElement("p:sldIdLst");
    for (XmlElement child = list.GetFirstChildElement(); child; child = child.GetNextSiblingElement()) {
        m_lastSlideId = std::max(m_lastSlideId, child.GetAttributeInt("id", 0));
        ++m_listedNumbers[listedNumber(child.GetAttributeString("r:id"))];
    }
    m_largestListedRelNumber = m_listedNumbers.empty() ? 0 : m_listedNumbers.rbegin()->first;
    m_listWalked = true;
}

void OpenXMLPresentation::CountListed(const MkString& relId, int change) {
    if (!m_listWalked) return;  // counted when the list is walked
    const int number = listedNumber(relId);
    if ((m_listedNumbers[number] += change) <= 0) m_listedNumbers.erase(number);
    m_largestListedRelNumber = m_listedNumbers.empty() ? 0 : m_listedNumbers.rbegin()->first;
}

void OpenXMLPresentation::IndexEntries() {
    if (m_entriesIndexed) return;
    m_entriesIndexed = true;
    const XmlElement root = MainPart()->Xml()->GetRootElement();
    auto index = [](const XmlElement& parent, const wchar_t* name, const char* attribute, EntryIndex* out) {
        std::vector<XmlElement> found;
        OpenXMLSlideDocument::FindAllElements(parent, name, found);
        for (const XmlElement& e : found) {
            const char* value = e.Tx()->Attribute(attribute);
            (*out)[value ? value : ""].push_back(e.Tx());
        }
    };
    for (XmlElement e = root.GetFirstChildFromPath("p:sldIdLst").GetFirstChildElement(); e; e = e.GetNextSiblingElement()) {
        const char* relId = e.Tx()->Attribute("r:id");
        m_listEntries[relId ? relId : ""].push_back(e.Tx());
    }
    index(root.GetFirstChildElement("p:custShowLst"), L"p:sld", "r:id", &m_showEntries);
    index(root.GetFirstChildElement("p:extLst"), L"p14:sldId", "id", &m_sectionEntries);
}

TiXmlElement* OpenXMLPresentation::ListEntry(const MkString& relId) {
    IndexEntries();
    const auto it = m_listEntries.find(toUtf8(relId));
    return it == m_listEntries.end() || it->second.empty() ? nullptr : it->second.front();
}

MkString OpenXMLPresentation::ListedSlideId(const MkString& relId) {
    IndexEntries();
    const auto it = m_listEntries.find(toUtf8(relId));
    const char* id = it == m_listEntries.end() || it->second.empty() ? nullptr : it->second.back()->Attribute("id");
    return id ? MkString(id) : MkString();
}

bool OpenXMLPresentation::AddSlideToPresentationXml(const MkString& slideName, const MkString& beforeId) {
    static const wchar_t* op = L"OpenXMLPresentation::AddSlideToPresentationXml";
    OpenXMLRelationships* rels = MainRels();
    MkString relId = SlideRelationshipId(slideName);
    if (relId.IsEmpty() && rels && SlidePart(slideName)) relId = rels->Add(MkString(REL_SLIDE), SlidePartName(slideName));
    if (relId.IsEmpty()) {
        reportError(GetProblems(), op, MkString(L"cannot relate the presentation to ") + slideName);
        return false;
    }
    XmlElement root = MainPart()->EditXml()->GetRootElement("p:presentation");
    XmlElement list = root.GetFirstChildElement("p:sldIdLst");
    if (root && !list) {
        // A presentation without slides may have no list at all: add it in its schema place.
        XmlElement before;
        for (const char* name : AFTER_SLIDE_ID_LIST)
            if ((before = root.GetFirstChildElement(name))) break;
        list = before ? root.AddChildElementBefore(before, "p:sldIdLst") : root.AddChildElement("p:sldIdLst");
    }
    if (!m_listWalked) WalkSlideList();
    const int slideId = list ? NextSlideId(list) : -1;
    if (slideId < 0) {
        // Leave no relationship to a slide that the slide list does not show.
        rels->Drop(relId);
        reportError(GetProblems(), op,
                    list ? MkString(L"no slide id is left free in ppt/presentation.xml")
                         : MkString(L"cannot read the slide list of ppt/presentation.xml"));
        return false;
    }
    // Copies of one slide go before it one after another.
    IndexEntries();
    const XmlElement beforeElement(beforeId.IsEmpty() ? nullptr : ListEntry(beforeId));
    XmlElement entry = beforeElement ? list.AddChildElementBefore(beforeElement, "p:sldId") : list.AddChildElement("p:sldId");
    m_listEntries[toUtf8(relId)].push_back(entry.Tx());
    entry.AddAttributeInt("id", slideId);
    entry.AddAttributeString("r:id", relId);
    m_addedSlideId = slideId;
    CountListed(relId, 1);
    return true;
}

int OpenXMLPresentation::NextSlideId(const XmlElement& list) {
    // After the largest id while there is one; then the lowest free one.
    if (m_lastSlideId < MAX_SLIDE_ID) return m_lastSlideId = std::max(m_lastSlideId + 1, MIN_SLIDE_ID);
    std::vector<int> used;
    for (XmlElement child = list.GetFirstChildElement(); child; child = child.GetNextSiblingElement())
        used.push_back(child.GetAttributeInt("id", 0));
    std::sort(used.begin(), used.end());
    int candidate = MIN_SLIDE_ID;
    for (int id : used) {
        if (id > candidate) break;
        if (id == candidate) {
            if (candidate == MAX_SLIDE_ID) return -1;
            ++candidate;
        }
    }
    return candidate;
}

bool OpenXMLPresentation::RemoveSlideFromPresentationDoc(const MkString& id) {
    if (id.IsEmpty() || !IsOpen()) return false;
    XmlElement list = MainPart()->EditXml()->GetRootElement().GetFirstChildElement("p:sldIdLst");
    if (!list) return false;
    IndexEntries();
    const auto entries = m_listEntries.find(toUtf8(id));
    if (entries != m_listEntries.end()) {
        for (TiXmlElement* e : entries->second) {
            const XmlElement child(e);
            // New slides are numbered after it still.
            m_lastSlideId = std::max(m_lastSlideId, child.GetAttributeInt("id", 255));
            CountListed(id, -1);
            list.RemoveChildElement(child);
        }
        m_listEntries.erase(entries);
    }
    // The largest slide id stays what the list held, unless ids are given out
    // from the lowest free one.
    if (m_lastSlideId >= MAX_SLIDE_ID) m_listWalked = false;
    return true;
}

void OpenXMLPresentation::RedirectShowsAndSections(const MkString& id, const std::vector<OpenXMLPart*>& copies) {
    MainPart()->EditXml();
    IndexEntries();
    std::vector<MkString> copyRelIds, copyIds;
    for (OpenXMLPart* copy : copies) {
        copyRelIds.push_back(SlideRelationshipId(fileNameOf(copy->Name())));
        copyIds.push_back(ListedSlideId(copyRelIds.back()));
    }
    // Replaces each entry whose `attribute` is `value` by one per copy.
    auto replace = [](EntryIndex* index, const char* attribute, const MkString& value, const std::vector<MkString>& values) {
        const auto entries = value.IsEmpty() ? index->end() : index->find(toUtf8(value));
        if (entries == index->end()) return;
        const std::vector<TiXmlElement*> replaced = std::move(entries->second);
        index->erase(entries);
        for (TiXmlElement* e : replaced) {
            const XmlElement entry(e), parent = entry.GetParentElement();
            for (const MkString& v : values) {
                const XmlElement added = parent.AddChildElementBefore(entry, e->Value());
                added.AddAttributeString(attribute, v);
                (*index)[toUtf8(v)].push_back(added.Tx());
            }
            parent.RemoveChildElement(entry);
        }
    };
    replace(&m_showEntries, "r:id", id, copyRelIds);
    replace(&m_sectionEntries, "id", ListedSlideId(id), copyIds);
}

void OpenXMLPresentation::RedirectReferences(OpenXMLPart* slide, const MkString& id) {
    const MkString slideName = fileNameOf(slide->Name());
    std::vector<OpenXMLPart*> copies;
    for (const MkString& copy : m_copies[slideName.Std()])
        if (OpenXMLPart* part = SlidePart(copy)) copies.push_back(part);
    // Custom shows and sections list the copies where the slide stood (most
    // presentations have neither: the list of slides is then not read).
    const XmlElement root = MainPart()->Xml() ? MainPart()->Xml()->GetRootElement() : XmlElement();
    bool listed = static_cast<bool>(root.GetFirstChildElement("p:custShowLst"));
    for (XmlElement ext = root.GetFirstChildFromPath("p:extLst/p:ext"); ext && !listed; ext = ext.GetNextSiblingElement())
        listed = static_cast<bool>(ext.GetFirstChildElement("p14:sectionLst"));
    if (listed) RedirectShowsAndSections(id, copies);

    // Links from other parts go to the first copy, or go with their relationship.
    for (; m_linkersFound < Package().PartCount(); ++m_linkersFound) {
        OpenXMLPart* source = Package().PartAt(m_linkersFound);
        OpenXMLRelationships* rels = source == MainPart() ? nullptr : source->Rels();
        for (int k = 0; rels && k < rels->Count(); ++k) {
            OpenXMLPart* linked = isSlideRelationship(rels->At(k)) ? Package().Part(&rels->At(k)) : nullptr;
            if (!linked) continue;
            std::vector<OpenXMLPart*>& sources = m_linkers[linked];
            if (sources.empty() || sources.back() != source) sources.push_back(source);
        }
    }
    const auto linkers = m_linkers.find(slide);
    const std::vector<OpenXMLPart*> sources =
        linkers == m_linkers.end() ? std::vector<OpenXMLPart*>() : std::move(linkers->second);
    m_linkers.erase(slide);
    for (OpenXMLPart* source : sources) {
        if (source == slide) continue;
        OpenXMLRelationships* rels = source->Rels();
        std::vector<MkString> links, dropped;
        for (int k = 0; rels && k < rels->Count(); ++k)
            if (isSlideRelationship(rels->At(k)) && Package().Part(&rels->At(k)) == slide) links.push_back(rels->At(k).id);
        if (!links.empty() && !copies.empty()) m_linkers[copies.front()].push_back(source);
        for (const MkString& link : links) {
            if (!copies.empty()) {
                retarget(rels, link, copies.front()->Name());
            } else {
                rels->Drop(link);
                dropped.push_back(link);
            }
        }
        XmlDocument* document = dropped.empty() ? nullptr : source->EditXml();
        if (!document) continue;
        // The hyperlinks that named the dropped relationships go too.
        std::vector<XmlElement> gone;
        std::function<void(const XmlElement&)> collect = [&](const XmlElement& parent) {
            for (XmlElement e = parent.GetFirstChildElement(); e; e = e.GetNextSiblingElement()) {
                if (e.GetName().StartsWith(L"a:hlink") &&
                    std::find(dropped.begin(), dropped.end(), e.GetAttributeString("r:id")) != dropped.end())
                    gone.push_back(e);
                else collect(e);
            }
        };
        collect(document->GetRootElement());
        for (const XmlElement& e : gone) e.GetParentElement().RemoveChildElement(e);
        if (source->Name().Left(11).CompareNoCase(L"ppt/slides/") == 0) Touch(fileNameOf(source->Name()));
    }
}

bool OpenXMLPresentation::RemoveSlide(const MkString& id) {
    static const wchar_t* op = L"OpenXMLPresentation::RemoveSlide";
    OpenXMLRelationships* rels = MainRels();
    const OpenXMLRelationship* r = rels && !id.IsEmpty() ? rels->Find(id) : nullptr;
    OpenXMLPart* slide = r ? Package().Part(r) : nullptr;
    if (!slide) {
        reportError(GetProblems(), op, MkString(L"no slide with relationship id ") + id);
        return false;
    }
    const MkString slideName = fileNameOf(slide->Name());
    RedirectReferences(slide, id);
    if (!rels->Drop(id) || !RemoveSlideFromPresentationDoc(id)) {
        reportError(GetProblems(), op, MkString(L"cannot remove ") + slide->Name());
        return false;
    }
    // Its parts are written no more once nothing reaches them; its tree goes now.
    if (!slide->IsChanged()) slide->ReleaseXml();
    m_removed.insert(slideName.Std());
    m_slideParts.erase(slideName.Std());
    m_slides->RemoveByName(slideName);
    m_scanned.erase(slideName.Std());
    m_copies.erase(slideName.Std());
    m_listByTagStale = true;
    return true;
}

// ---------------------------------------------------------------------------
// Duplication

bool OpenXMLPresentation::DuplicateSlide(const MkString& name, MkString& newName) {
    static const wchar_t* op = L"OpenXMLPresentation::DuplicateSlide";
    if (name.IsEmpty()) {
        reportError(GetProblems(), op, L"no slide name");
        return false;
    }
    OpenXMLPart* source = SlidePart(name);
    if (!source || !source->Xml() || !source->Rels()) {
        reportError(GetProblems(), op, MkString(L"cannot read ") + SlidePartName(name) + L" or its relationships");
        return false;
    }
    // Numbered after the largest relationship number in the slide list.
    if (!m_listWalked) WalkSlideList();
    const XmlElement list = MainPart()->Xml()->GetRootElement().GetFirstChildElement("p:sldIdLst");
    int number = list.GetFirstChildElement() ? std::max(2, m_largestListedRelNumber + 1) : 1;
    // Never write over a slide that exists under that name. Parts stay in the
    // package once made: the numbers found taken stay taken, and are not probed
    // again for the next copy.
    if (number >= m_takenFrom && number <= m_takenTo) number = m_takenTo;
    else m_takenFrom = number;
    MkString candidate;
    for (;; ++number) {
        candidate.MakeForm("slide%d.xml", number);
        if (!Package().Part(SlidePartName(candidate))) break;
    }
    m_takenTo = number;
    OpenXMLPart* copy = Package().CopyPart(source, SlidePartName(candidate), true);
    if (copy) {
        m_takenTo = number + 1;
        // The copy is edited next: it starts from the source's tree (a copy costs
        // less than a parse), without a DTD.
        auto document = std::make_unique<OpenXMLSlideDocument>();
        document->KeepWhiteSpaceInText();
        for (const TiXmlNode* node = source->Xml()->FirstChild(); node; node = node->NextSibling())
            document->LinkEndChild(node->Clone());
        dropDoctype(document.get());
        copy->SetXml(std::move(document));
    }
    if (!copy || !CopySlideParts(copy, source)) {
        // Nothing relates to a half copy: it is not written.
        reportError(GetProblems(), op, MkString(L"cannot write the copy ") + candidate + L" of " + name);
        if (copy) m_removed.insert(candidate.Std());
        m_slideParts.erase(candidate.Std());
        return false;
    }
    newName = candidate;
    m_copies[name.Std()].push_back(newName);
    if (!AddSlideToPresentationXml(newName, SlideRelationshipId(name))) return false;
    for (const MkString& id : idsOf(*copy->Rels(), {L"/comments"}))
        if (OpenXMLPart* comments = copy->Related(id)) RenumberComments(comments, m_addedSlideId);
    // The copy joins the list in its part-number place; the other records stay as they are.
    m_slides->RemoveByName(newName);
    SlideContent* record = CopyScan(name, newName);
    if (!record) return false;
    record->slideRelId = SlideRelationshipId(newName);
    if (record->HasTags()) m_slides->InsertInOrder(record);
    m_listByTagStale = true;
    return m_slides->GetSize() > 0;
}

bool OpenXMLPresentation::CopySlideParts(OpenXMLPart* copy, OpenXMLPart* source) {
    OpenXMLRelationships* rels = copy->Rels();
    if (!rels) return false;
    // Tags, notes and comments belong to one slide, charts too (with their
    // workbooks): the copy gets its own. The source keeps its parts: it may stay
    // in the presentation.
    for (const MkString& id : idsOf(*rels, {L"/tags", L"/chart", L"/notesSlide", L"/comments"})) {
        const MkString type = rels->Find(id)->type;
        OpenXMLPart* part = Package().Part(rels->Find(id));
        if (!part) {
            if (endsWith(type, L"/comments")) continue;
            return false;
        }
        OpenXMLPart* own = nullptr;
        if (endsWith(type, L"/chart")) {
            own = CopyChart(part);
        } else {
            const wchar_t* family = endsWith(type, L"/tags")         ? L"ppt/tags/tag1.xml"
                                    : endsWith(type, L"/notesSlide") ? L"ppt/notesSlides/notesSlide1.xml"
                                    : part->ContentType() == MkString(MODERN_COMMENTS_CONTENT_TYPE)
                                        ? L"ppt/comments/modernComment_1.xml"
                                        : L"ppt/comments/comment1.xml";
            own = Package().CopyPart(part, Package().NextPartName(family), true);
        }
        if (!own) return false;
        retarget(rels, id, own->Name());
        // The notes the copy took along name the copy.
        OpenXMLRelationships* ownRels = endsWith(type, L"/notesSlide") ? own->Rels() : nullptr;
        for (int k = 0; ownRels && k < ownRels->Count(); ++k)
            if (isSlideRelationship(ownRels->At(k)) && Package().Part(&ownRels->At(k)) == source)
                retarget(ownRels, ownRels->At(k).id, copy->Name());
    }
    // The copy's links to its source (a slide linking to itself) name the copy.
    std::vector<MkString> self;
    for (int k = 0; k < rels->Count(); ++k)
        if (isSlideRelationship(rels->At(k)) && Package().Part(&rels->At(k)) == source) self.push_back(rels->At(k).id);
    for (const MkString& id : self) retarget(rels, id, copy->Name());
    return true;
}

// ---------------------------------------------------------------------------
// Content: the slide edits its XML (OpenXMLSlideDocument); here the slide is
// found, and its relationships and media kept.

namespace {
// The placeholder of a layout or master tree that a slide's placeholder stands for:
// the same index, else the same type (on a master, body for the content types it
// has no placeholder of); null when there is none.
XmlElement matchingPlaceholder(const XmlElement& tree, const XmlElement& ph, bool master) {
    MkString type = ph.GetAttributeString("type", L"obj");
    bool haveIdx = false;
    const MkString idx = ph.GetAttributeString("idx", MkString(), &haveIdx);
    if (master && type == MkString(L"ctrTitle")) type = L"title";
    if (master && type != MkString(L"title") && type != MkString(L"dt") && type != MkString(L"ftr") &&
        type != MkString(L"sldNum"))
        type = L"body";
    XmlElement byType;
    for (const wchar_t* kind : {L"p:sp", L"p:pic"}) {
        std::vector<XmlElement> shapes;
        OpenXMLSlideDocument::FindShapes(tree, kind, shapes);
        for (const XmlElement& shape : shapes) {
            const XmlElement other = OpenXMLSlideDocument::PlaceholderOf(shape);
            if (!other) continue;
            if (!master && haveIdx && other.GetAttributeString("idx") == idx) return other;
            if (!byType && other.GetAttributeString("type", L"obj") == type) byType = other;
        }
    }
    return byType;
}
}  // namespace

XmlElement OpenXMLPresentation::LayoutBox(const MkString& slideName, const XmlElement& ph, XmlDocument* holder) {
    // slide -> layout -> master, each found by its relationship of that kind; a
    // placeholder without a box of its own passes the question on.
    OpenXMLPart* part = SlidePart(slideName);
    XmlElement wanted = ph;
    for (const bool master : {false, true}) {
        OpenXMLRelationships* rels = part ? part->Rels() : nullptr;
        OpenXMLPart* next = nullptr;
        for (int i = 0; rels && i < rels->Count() && !next; ++i)
            if (endsWith(rels->At(i).type, master ? L"/slideMaster" : L"/slideLayout")) next = Package().Part(&rels->At(i));
        const XmlDocument* document = next ? next->Xml() : nullptr;
        if (!document) break;
        const XmlElement tree = document->GetRootElement().GetFirstChildFromPath("p:cSld/p:spTree");
        const XmlElement found = matchingPlaceholder(tree, wanted, master);
        // p:ph -> p:nvPr -> p:nvSpPr (or p:nvPicPr) -> the shape
        const XmlElement box =
            found.GetParentElement().GetParentElement().GetParentElement().GetFirstChildFromPath("p:spPr/a:xfrm");
        if (box.GetFirstChildElement("a:ext")) {
            holder->Clear();
            holder->LinkEndChild(box.Tx()->Clone());
            return holder->GetRootElement();
        }
        if (!found) break;
        wanted = found;
        part = next;
    }
    return XmlElement();
}

OpenXMLSlideDocument* OpenXMLPresentation::EditTaggedSlide(const wchar_t* op, const MkString& tag, const MkString& slideName,
                                                           bool byName, MkString* name) {
    SlideContent* record = byName ? m_slides->GetSlideByName(slideName) : FindSlide(tag, slideName);
    if (!record) {
        reportError(GetProblems(), op,
                    byName ? MkString(L"no slide named ") + slideName : MkString(L"no slide holds the tag ") + tag);
        return nullptr;
    }
    *name = record->slideName;
    m_pending = SlidePart(*name);
    m_pendingChanged = m_pending && m_pending->IsChanged();
    OpenXMLSlideDocument* slide = const_cast<OpenXMLSlideDocument*>(ViewSlide(*name));
    if (!slide || !slide->GetShapeTree()) {
        reportError(GetProblems(), op, MkString(L"no shape tree in ") + *name);
        return nullptr;
    }
    return slide;
}

bool OpenXMLPresentation::Commit(bool ok) {
    OpenXMLPart* part = m_pending;
    m_pending = nullptr;
    if (!part) return ok;
    if (ok) {
        dropDoctype(part->EditXml());
        Touch(fileNameOf(part->Name()));
    } else if (!m_pendingChanged) {
        part->ReleaseXml();  // read again as stored
    }
    return ok;
}

bool OpenXMLPresentation::SetText(const MkString& tag, const FormattedTextArray& runs, const MkString& newName,
                                  const MkString& slideName) {
    static const wchar_t* op = L"OpenXMLPresentation::SetText";
    MkString name;
    OpenXMLSlideDocument* slide = EditTaggedSlide(op, tag, slideName, false, &name);
    if (!slide) return false;
    if (slide->SetText(tag, runs, newName) < 0) {
        reportError(GetProblems(), op, MkString(L"the shape ") + tag + L" has no text body");
        return Commit(false);
    }
    return Commit(true);
}

bool OpenXMLPresentation::SetText(const MkString& tag, const MkString& text, const MkString& newName, const MkString& slideName) {
    FormattedTextArray runs;
    FormattedText run;
    run.text = text;
    runs.AddGrow(run);
    return SetText(tag, runs, newName, slideName);
}

bool OpenXMLPresentation::SetTextTag(const MkString& tag, const MkString& newName, const MkString& slideName) {
    static const wchar_t* op = L"OpenXMLPresentation::SetTextTag";
    if (newName.IsEmpty()) {
        reportError(GetProblems(), op, MkString(L"no new name for ") + tag);
        return false;
    }
    MkString name;
    OpenXMLSlideDocument* slide = EditTaggedSlide(op, tag, slideName, false, &name);
    if (!slide) return false;
    if (slide->RenameTextShapes(tag, newName) < 0) {
        reportError(GetProblems(), op, MkString(L"the shape ") + tag + L" has no text body");
        return Commit(false);
    }
    return Commit(true);
}

bool OpenXMLPresentation::RelateImage(const wchar_t* op, const MkString& slideName, const MkString& imagePath,
                                      const MkString& hyperlink, MkString* imageId, MkString* linkId) {
    OpenXMLPart* part = SlidePart(slideName);
    OpenXMLRelationships* rels = part ? part->Rels() : nullptr;
    if (!rels) {
        reportError(GetProblems(), op, MkString(L"cannot read ") + SlideRelsPath(slideName));
        return false;
    }
    MkString media;
    const auto provided = m_provided.find(imagePath.Std());
    if (provided != m_provided.end()) {
        media = AddMedia(imagePath, provided->second.first, provided->second.second, true);
    } else {
        std::ifstream file(imagePath.ShortChar(), std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        media = AddMedia(imagePath, bytes.data(), bytes.size());
    }
    if (media.IsEmpty()) {
        reportError(GetProblems(), op, MkString(L"cannot store the image ") + imagePath);
        return false;
    }
    Touch(slideName);
    // An id given twice (the same tag filled again) replaces the earlier relationship.
    if (!imageId->IsEmpty()) rels->Drop(*imageId);
    *imageId = rels->Add(MkString(REL_IMAGE), media, false, imageId->IsEmpty() ? nextId(*rels) : *imageId);
    if (imageId->IsEmpty()) {
        reportError(GetProblems(), op, MkString(L"cannot relate the image to ") + slideName);
        return false;
    }
    linkId->Empty();
    if (hyperlink.IsBlank()) return true;
    *linkId = *imageId + L"_C";
    rels->Drop(*linkId);
    if (rels->Add(MkString(REL_HYPERLINK), hyperlink, true, *linkId).IsEmpty()) {
        reportError(GetProblems(), op, MkString(L"cannot add the hyperlink to ") + slideName);
        return false;
    }
    return true;
}

bool OpenXMLPresentation::SetImage(const MkString& description, const MkString& tag, const MkString& imagePath, int imageWidth,
                                   int imageHeight, const MkString& newName, const MkString& slideName,
                                   const MkString& hyperlink) {
    static const wchar_t* op = L"OpenXMLPresentation::SetImage";
    if (!HasMediaSource(imagePath)) {
        reportError(GetProblems(), op, MkString(L"cannot read the image ") + imagePath);
        return false;
    }
    MkString name;
    OpenXMLSlideDocument* slide = EditTaggedSlide(op, tag, slideName, false, &name);
    if (!slide) return false;
    OpenXMLSlideDocument::Picture picture;
    picture.description = description;
    picture.newName = newName;
    picture.imageId = tag == MkString(L"SIT_PICTURE") ? tagText(L"rId%ls_GENERIC", newName) : tagText(L"rId%ls", tag);
    picture.linkId = hyperlink.IsBlank() ? MkString() : picture.imageId + L"_C";
    picture.width = imageWidth;
    picture.height = imageHeight;
    picture.inheritedBox = [&](const XmlElement& ph, XmlDocument* holder) { return LayoutBox(name, ph, holder); };
    const int n = slide->SetPicture(tag, picture);
    if (n <= 0) {
        reportError(
            GetProblems(), op,
            n < 0 ? MkString(L"the picture ") + tag + L" has no a:blip" : MkString(L"no picture named ") + tag + L" in " + name);
        return Commit(false);
    }
    MkString imageId = picture.imageId, linkId;
    return Commit(RelateImage(op, name, imagePath, hyperlink, &imageId, &linkId));
}

bool OpenXMLPresentation::RenamePicture(const MkString& tag, const MkString& slideName, const MkString& newName) {
    static const wchar_t* op = L"OpenXMLPresentation::RenamePicture";
    MkString name;
    OpenXMLSlideDocument* slide = EditTaggedSlide(op, tag, slideName, false, &name);
    if (!slide) return false;
    if (!slide->RenamePicture(tag, newName)) {
        reportError(GetProblems(), op, MkString(L"no picture named ") + tag);
        return Commit(false);
    }
    return Commit(true);
}

bool OpenXMLPresentation::SetTable(const MkString& tag, const kiv::rep::Table& table, const MkString& newName,
                                   const MkString& slideName) {
    static const wchar_t* op = L"OpenXMLPresentation::SetTable";
    if (table.rowCount() == 0 || table.columnCount() == 0) {
        reportError(GetProblems(), op, MkString(L"the table for ") + tag + L" is empty");
        return false;
    }
    MkString name;
    OpenXMLSlideDocument* slide = EditTaggedSlide(op, tag, slideName, true, &name);
    if (!slide) return false;
    const int replaced = slide->SetTable(tag, table, newName);
    if (replaced < 0) reportError(GetProblems(), op, MkString(L"the table ") + tag + L" has no grid or no row");
    if (replaced == 0) m_pending = nullptr;
    return Commit(replaced >= 0);
}

bool OpenXMLPresentation::SetGraphicFrameTag(const MkString& tag, const MkString& newName, const MkString& slideName) {
    static const wchar_t* op = L"OpenXMLPresentation::SetGraphicFrameTag";
    if (newName.IsEmpty()) {
        reportError(GetProblems(), op, MkString(L"no new name for ") + tag);
        return false;
    }
    MkString name;
    OpenXMLSlideDocument* slide = EditTaggedSlide(op, tag, slideName, true, &name);
    if (!slide) return false;
    if (!slide->RenameFrames(tag, newName)) {
        reportError(GetProblems(), op, MkString(L"no frame named ") + tag + L" in " + slideName);
        return Commit(false);
    }
    return Commit(true);
}

bool OpenXMLPresentation::SetChart(const MkString& tag, const ChartData& chart, const MkString& newName,
                                   const MkString& slideName, MkString* why) {
    static const wchar_t* op = L"OpenXMLPresentation::SetChart";
    if (!chart.m_table || chart.m_table->rowCount() == 0 || chart.m_table->columnCount() == 0) {
        reportError(GetProblems(), op, MkString(L"the table for ") + tag + L" is empty");
        return false;
    }
    MkString name;
    OpenXMLSlideDocument* slide = EditTaggedSlide(op, tag, slideName, true, &name);
    if (!slide) return false;
    MkStringArray ids;
    const int n = slide->ChartFrames(tag, newName, &ids);
    std::vector<OpenXMLPart*> parts;
    for (int i = 0; i < ids.GetSize(); ++i) parts.push_back(SlidePart(name)->Related(ids[i]));
    if (n < 0 || std::find(parts.begin(), parts.end(), nullptr) != parts.end()) {
        reportError(GetProblems(), op, MkString(L"the chart ") + tag + L" has no chart part");
        return Commit(false);
    }
    if (n == 0) m_pending = nullptr;
    Commit(true);
    for (OpenXMLPart* part : parts)
        if (!UpdateChart(part, chart, why)) return false;
    return true;
}

void OpenXMLPresentation::GetChartParts(const MkString& tag, const MkString& slideName, std::vector<OpenXMLPart*>* parts) {
    for (int i = 0; i < m_slides->GetSize(); ++i) {
        const SlideContent& record = *(*m_slides)[i];
        const MkString& name = record.slideName;
        if ((!slideName.IsEmpty() && name != slideName) ||
            (record.Sit(SlideContent::KIND_CHART).Find(tag) < 0 && record.Ref(SlideContent::KIND_CHART).Find(tag) < 0))
            continue;
        const OpenXMLSlideDocument* slide = ViewSlide(name);
        if (!slide) continue;
        // ChartFrames only renames when given a name: the slide stays as it is.
        MkStringArray ids;
        const_cast<OpenXMLSlideDocument*>(slide)->ChartFrames(tag, MkString(), &ids);
        for (int k = 0; k < ids.GetSize(); ++k)
            if (OpenXMLPart* chart = SlidePart(name)->Related(ids[k])) parts->push_back(chart);
    }
}

void OpenXMLPresentation::ReleaseSlide(const MkString& slideName) {
    if (OpenXMLPart* part = SlidePart(slideName)) part->ReleaseXml();
}

// ---------------------------------------------------------------------------
// Comments

OpenXMLPart* OpenXMLPresentation::CommentAuthorsPart() const {
    OpenXMLRelationships* rels = MainRels();
    for (int i = 0; rels && i < rels->Count(); ++i)
        if (!rels->At(i).external && endsWith(rels->At(i).type, L"/commentAuthors"))
            return const_cast<OpenXMLPresentation*>(this)->Package().Part(&rels->At(i));
    return nullptr;
}

void OpenXMLPresentation::ReadCommentIndices() {
    m_commentIndicesRead = true;
    m_lastCommentIndex.clear();
    m_commentAuthors = CommentAuthorsPart();
    const XmlDocument* list = m_commentAuthors ? m_commentAuthors->Xml() : nullptr;
    for (const TiXmlElement* a = list && list->RootElement() ? list->RootElement()->FirstChildElement() : nullptr; a;
         a = a->NextSiblingElement()) {
        const char* last = a->Attribute("lastIdx");
        if (a->Attribute("id")) m_lastCommentIndex[a->Attribute("id")] = std::atoll(last ? last : "0");
    }
}

void OpenXMLPresentation::RenumberComments(OpenXMLPart* comments, int slideId) {
    XmlDocument* xml = comments->EditXml();
    TiXmlElement* root = xml ? xml->RootElement() : nullptr;
    if (!root) return;
    if (comments->ContentType() == MkString(MODERN_COMMENTS_CONTENT_TYPE)) {
        // Modern comments and their replies are known by GUIDs, and name the slide
        // they are on by its id.
        forEachElement(root, [slideId](TiXmlElement* e) {
            const char* name = localName(e);
            if ((!std::strcmp(name, "cm") || !std::strcmp(name, "reply")) && e->Attribute("id")) e->SetAttribute("id", newGuid());
            else if (!std::strcmp(name, "sldMk") && e->Attribute("sldId")) e->SetAttribute("sldId", slideId);
        });
        return;
    }
    // A legacy comment is known by its author and its index, which counts that
    // author's comments across the presentation; the authors part keeps the last.
    if (!m_commentIndicesRead) ReadCommentIndices();
    for (TiXmlElement* cm = root->FirstChildElement(); cm; cm = cm->NextSiblingElement())
        if (cm->Attribute("authorId")) cm->SetAttribute("idx", std::to_string(++m_lastCommentIndex[cm->Attribute("authorId")]));
    XmlDocument* list = m_commentAuthors ? m_commentAuthors->EditXml() : nullptr;
    for (TiXmlElement* a = list && list->RootElement() ? list->RootElement()->FirstChildElement() : nullptr; a;
         a = a->NextSiblingElement()) {
        const auto last = a->Attribute("id") ? m_lastCommentIndex.find(a->Attribute("id")) : m_lastCommentIndex.end();
        if (last != m_lastCommentIndex.end()) a->SetAttribute("lastIdx", std::to_string(last->second));
    }
}

}  // namespace rep
}  // namespace kiv
