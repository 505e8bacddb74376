#include "impl/pptx/MkOpenXMLPresentation.h"
#include "KivReport/Table.h"
#include "impl/common/Utils.h"
#include "impl/openxml/MkChartData.h"
#include "impl/openxml/MkOpenXMLPaths.h"
#include "impl/openxml/MkOpenXMLPlugin.h"
#include "impl/storage/ReportLog.h"
#include <algorithm>
#include <climits>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace {

const wchar_t SEPARATOR = L'\\';

MkString sepStr() { return MkString(SEPARATOR); }

// "a/b" -> "a\b".
MkString toInternal(MkString path) {
    path.Replace(L"/", sepStr());
    return path;
}

MkString toStored(MkString path) {
    path.Replace(sepStr(), L"/");
    return path;
}

// The text after the last separator ("/" or "\").
MkString fileNameOf(const MkString& path) {
    const int a = path.Find(L'/', -1, false);
    const int b = path.Find(SEPARATOR, -1, false);
    const int last = a > b ? a : b;
    return last < 0 ? path : path.Mid(last + 1);
}

void logError(const wchar_t* operation, const MkString& what) {
    REP_LOG_ERROR(lfw::String("%1: %2").arg(lfw::String(MkString(operation))).arg(lfw::String(what)));
}

MkString tagText(const wchar_t* format, const MkString& a) {
    MkString s;
    s.MakeFormWide(format, ~a);
    return s;
}

// Schema order of the children of p:presentation that follow p:sldIdLst.
const wchar_t* const AFTER_SLIDE_ID_LIST[] = {L"p:sldSz",     L"p:notesSz",      L"p:smartTags", L"p:embeddedFontLst",
                                            L"p:custShowLst", L"p:photoAlbum", L"p:custDataLst", L"p:kinsoku",
                                            L"p:defaultTextStyle", L"p:modifyVerifier", L"p:extLst"};

// The relationships part of a part: ppt\slides\slide1.xml -> ppt\slides\_rels\slide1.xml.rels.
MkString relsPartOf(const MkString& part) {
    const int last = part.Find(SEPARATOR, -1, false);
    return part.Left(last + 1) + L"_rels" + sepStr() + part.Mid(last + 1) + L".rels";
}

// The target that names `to` from a part at `from` (both package paths): ppt\slides\slide1.xml
// names ppt\slides\slide4.xml as slide4.xml, ppt\notesSlides\notesSlide2.xml as ../slides/slide4.xml.
MkString relativeTarget(const MkString& from, const MkString& to) {
    auto split = [](const MkString& path) {
        std::vector<std::wstring> parts;
        std::wstring part;
        for (const wchar_t c : path.Std()) {
            if (c == SEPARATOR || c == L'/') {
                parts.push_back(part);
                part.clear();
            } else {
                part += c;
            }
        }
        parts.push_back(part);
        return parts;
    };
    std::vector<std::wstring> a = split(from), b = split(to);
    a.pop_back();  // the folder of the source
    size_t common = 0;
    while (common < a.size() && common + 1 < b.size() && a[common] == b[common]) ++common;
    std::wstring target;
    for (size_t i = common; i < a.size(); ++i) target += L"../";
    for (size_t i = common; i < b.size(); ++i) target += (i > common ? L"/" : L"") + b[i];
    return MkString(target);
}

// A DTD has no place in a package part: the parts the report writes go without one.
void dropDoctype(MkXmlDocument* document) {
    for (TiXmlNode* node = document->FirstChild(); node;) {
        TiXmlNode* next = node->NextSibling();
        if (node->ToUnknown() && std::strncmp(node->Value(), "!DOCTYPE", 8) == 0) document->RemoveChild(node);
        node = next;
    }
}

// Why the bytes of a part do not parse, in words for whoever made the template.
MkString whyNotXml(const char* text, size_t size, const MkXmlDocument& failed) {
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
    if (size >= 2 && ((bytes[0] == 0xFF && bytes[1] == 0xFE) || (bytes[0] == 0xFE && bytes[1] == 0xFF)))
        return L"is UTF-16 text: the report reads UTF-8 parts only";
    if (std::memchr(text, 0, size)) return L"holds a NUL byte";
    if (MkXmlDocument::ParseNestingDepth(text, size) > MkXmlDocument::MAX_PARSE_DEPTH)
        return tagText(L"nests elements deeper than %ls levels", MkString(MkXmlDocument::MAX_PARSE_DEPTH));
    if (!MkXmlDocument::IsWithinParseLimits(text, size)) return L"gives an element too many attributes";
    return MkString(L"is not well-formed XML (") + MkString(failed.ErrorDesc()) + L")";
}

bool isSlideRelationship(const MkXmlElement& r) {
    return r.GetAttributeString(L"Type").EndsWith(L"/relationships/slide") &&
           r.GetAttributeString(L"TargetMode") != MkString(L"External");
}

void copyDocument(const MkXmlDocument& from, MkXmlDocument* to) {
    to->Clear();
    for (const TiXmlNode* node = from.FirstChild(); node; node = node->NextSibling()) to->LinkEndChild(node->Clone());
}
} // namespace

MkOpenXMLPresentation::MkOpenXMLPresentation() : m_slides(new MkSlideContentPtrArray(false)) {
    SetPackageFolders(PPT_ROOT_FOLDER);
    m_slidesFolder = MkString(PPT_ROOT_FOLDER) + sepStr() + L"slides" + sepStr();
    m_presentationPath = MkString(PPT_ROOT_FOLDER) + sepStr() + L"presentation.xml";
    // Parts are rewritten several times while a deck is made (a slide once per tag
    // filled): the fastest deflate level costs a fifth of the default's time, and
    // the XML it leaves is a few per cent larger.
    SetArchiveParameters(1, CZipArchive::zipsmSmartest, 65536, 65536);
}

MkOpenXMLPresentation::~MkOpenXMLPresentation() {
    Close();  // the parts kept in memory go into the package (the base would close without them)
    delete m_slides;
}

void MkOpenXMLPresentation::Touch(const MkString& slideName) {
    auto it = m_scanned.find(slideName.Std());
    if (it != m_scanned.end()) it->second.stale = true;
}

bool MkOpenXMLPresentation::Open(const MkString& path, PxZipAccessMode mode) {
    // Reopening the same package (edits close and reopen it to see new parts) keeps
    // what was learnt about it; another package starts afresh.
    if (!IsClosed()) Close();
    if (path != GetFilename()) {
        m_lastPartNames.clear();
        m_shared.clear();
        m_slides->DeleteAll();
        m_scanned.clear();
        m_controlIndexValid = false;
    }
    return MkOpenXMLArchive::Open(path, mode);
}

MkString MkOpenXMLPresentation::toInternalPath(const MkString& path) { return toInternal(path); }

void MkOpenXMLPresentation::BeginSlideEdits(const MkString& slideName) {
    EndSlideEdits();
    const MkString path = toInternal(SlidePartPath(slideName));
    ParsedDocument parsed = ViewXml(path);
    if (!parsed) return;  // the edits go to the package one by one, and report their own errors
    // A tree only the kept parts hold (the slide was just written) is taken from
    // them rather than copied: its key no longer tells what it holds.
    const auto key = m_partKeys.find(path.Std());
    if (key != m_partKeys.end() && m_lastView != parsed) {
        const auto small = m_smallParsed.find(key->second);
        if (small != m_smallParsed.end() && small->second == parsed) m_smallParsed.erase(small);
        for (auto& kept : m_parsed)
            if (kept.first == key->second && kept.second == parsed) kept = std::make_pair(PartKey(), ParsedDocument());
    }
    if (parsed.use_count() == 1) {
        m_editing = std::const_pointer_cast<MkOpenXMLSlideDocument>(parsed);
    } else {
        m_editing = std::make_shared<MkOpenXMLSlideDocument>();
        copyDocument(*parsed, m_editing.get());
    }
    m_editingPath = path;
    m_editingChanged = false;
}

bool MkOpenXMLPresentation::EndSlideEdits() {
    if (!m_editing) return true;
    const std::shared_ptr<MkOpenXMLSlideDocument> slide = std::move(m_editing);
    m_editing.reset();
    const bool changed = m_editingChanged;
    m_editingChanged = false;
    PartKey written;
    if (changed) {
        if (!MkOpenXMLArchive::WritePart(m_editingPath, *slide)) {
            m_partKeys.erase(m_editingPath.Std());
            logError(L"MkOpenXMLPresentation::EndSlideEdits", MkString(L"cannot write ") + m_editingPath);
            return false;
        }
        written.hash = LastXmlHash();
    } else {
        const auto known = m_partKeys.find(m_editingPath.Std());
        if (known == m_partKeys.end()) return true;
        written.hash = known->second.hash;
    }
    // The tree goes back to the kept parts, under the key of what the package now holds.
    if (!GetStamp(FindFile(m_editingPath), &written.stamp)) {
        m_partKeys.erase(m_editingPath.Std());
        return true;
    }
    m_partKeys[m_editingPath.Std()] = written;
    KeepParsed(written, slide);
    return true;
}

bool MkOpenXMLPresentation::ReOpen() {
    Close();
    return ReOpenFile();
}

MkString MkOpenXMLPresentation::SlideRelsPath(const MkString& slideName) const {
    return m_slidesFolder + L"_rels" + sepStr() + slideName + L".rels";
}

MkSlideContent* MkOpenXMLPresentation::FindSlideByName(const MkString& slideName) const {
    return m_slides->GetSlideByName(slideName);
}

MkSlideContent* MkOpenXMLPresentation::FindSlide(const MkString& tag, const MkString& slideName) const {
    if (!slideName.IsEmpty()) return m_slides->GetSlideByName(slideName);
    // A search by tag reads every record: edited copies must show their present names.
    if (m_listByTagStale) const_cast<MkOpenXMLPresentation*>(this)->CreateSlideContentList();
    return m_slides->GetSlideByTag(tag);
}

namespace {
const size_t PARSED_PARTS = 4;
const uint64_t SMALL_PART_BYTES = 4096;
const size_t SMALL_PARTS = 16384;  // some 50 MB at most; a relationships part takes a few kB parsed
// Parts larger than this are not kept parsed: a kept tree beside the one being
// edited would double the memory of a slide holding a large table.
const uint64_t LARGE_PART_BYTES = uint64_t(8) << 20;
} // namespace

bool MkOpenXMLPresentation::ReadXml(const MkString& path, MkXmlDocument* document) {
    if (document && IsEditing(path)) {
        copyDocument(*m_editing, document);
        return true;
    }
    if (Shared(path)) return ReadPart(path, document);
    if (!document) return false;
    PxZipArchive::Stamp stamp;
    const int index = IsClosed() ? -1 : FindFile(path);
    if (index >= 0 && GetStamp(index, &stamp) && stamp.size > LARGE_PART_BYTES)
        return MkOpenXMLArchive::ReadPart(path, document);
    const std::shared_ptr<const MkOpenXMLSlideDocument> parsed = ViewXml(path);
    if (!parsed) return false;
    copyDocument(*parsed, document);
    return true;
}

MkOpenXMLPresentation::ParsedDocument MkOpenXMLPresentation::ViewXml(const MkString& path) {
    if (IsEditing(path)) return m_editing;
    const int index = IsClosed() ? -1 : FindFile(path);
    if (index < 0) {
        m_readProblem = toStored(path) + L" is missing";
        return nullptr;
    }
    PartKey key;
    const bool stamped = GetStamp(index, &key.stamp);
    if (stamped) {
        const auto known = m_partKeys.find(path.Std());
        if (known != m_partKeys.end() && known->second.stamp == key.stamp)
            if (ParsedDocument parsed = FindParsed(known->second)) return parsed;
    }
    size_t size = 0;
    unsigned char* data = ReadDataRaw(path, &size);
    if (!data) {
        m_readProblem = toStored(path) + L" cannot be read from the package";
        return nullptr;
    }
    key.hash = PxZipArchive::HashText(data, size);
    std::shared_ptr<MkOpenXMLSlideDocument> document = std::make_shared<MkOpenXMLSlideDocument>();
    document->KeepWhiteSpaceInText();
    const char* text = reinterpret_cast<const char*>(data);
    // Zero bytes may pad the end of a part; one inside it would cut the text short.
    const char* zero = static_cast<const char*>(std::memchr(text, 0, size));
    bool padded = true;
    for (const char* c = zero; c && c < text + size && padded; ++c) padded = *c == 0 || std::isspace(static_cast<unsigned char>(*c));
    // The parse is charged to the package's budget; it may move the text.
    const size_t length = zero ? static_cast<size_t>(zero - text) : size;
    const bool ok = padded && ParseXmlEntry(path, data, size, document.get());
    if (!ok)
        m_readProblem = toStored(path) + L" " +
                        (document->RefusedCost() > 0 ? MkString(L"holds more XML than the report has memory left for")
                                                     : whyNotXml(reinterpret_cast<const char*>(data), padded ? length : size,
                                                                 *document));
    free(data);
    if (!ok) return nullptr;
    dropDoctype(document.get());
    if (stamped) {
        m_partKeys[path.Std()] = key;
        KeepParsed(key, document);
    }
    return document;
}

MkOpenXMLPresentation::ParsedDocument MkOpenXMLPresentation::FindParsed(const PartKey& key) const {
    for (const auto& parsed : m_parsed)
        if (parsed.first == key) return parsed.second;
    const auto small = m_smallParsed.find(key);
    return small != m_smallParsed.end() ? small->second : nullptr;
}

void MkOpenXMLPresentation::KeepParsed(const PartKey& key, ParsedDocument document) {
    if (key.stamp.size > LARGE_PART_BYTES || FindParsed(key)) return;
    if (key.stamp.size <= SMALL_PART_BYTES) {
        if (m_smallParsed.size() >= SMALL_PARTS) m_smallParsed.clear();
        m_smallParsed.emplace(key, std::move(document));
    } else if (m_parsed.size() < PARSED_PARTS) {
        m_parsed.emplace_back(key, std::move(document));
    } else {
        m_parsed[m_nextParsed] = std::make_pair(key, std::move(document));
        m_nextParsed = (m_nextParsed + 1) % PARSED_PARTS;
    }
}

bool MkOpenXMLPresentation::ReadSlide(const MkString& slideName, MkOpenXMLSlideDocument* slide) {
    return ReadXml(SlidePartPath(slideName), slide);
}

bool MkOpenXMLPresentation::WriteSlide(const MkString& slideName, const MkOpenXMLSlideDocument& slide) {
    Touch(slideName);
    return WritePart(SlidePartPath(slideName), slide);
}

MkString MkOpenXMLPresentation::ResolveTarget(const MkString& sourcePart, const MkString& target) {
    return MkOpenXMLPaths::ResolvePartTarget(sourcePart, target);
}

// ---------------------------------------------------------------------------
// Slide list

bool MkOpenXMLPresentation::GetPluginControls(const MkString& relsPath, MkStringArray* targets) {
    if (!targets) return false;
    MkStringArray all;
    targets->Clear();
    if (!GetRelsRelationFiles(relsPath, OXML_TARGET_ACTIVEX, &all)) return false;
    for (int i = 0; i < all.GetSize(); ++i) {
        const MkString path = TargetToPackagePath(all[i]);
        if (FindFile(path) < 0) continue;
        MkXmlDocument control;
        if (!ReadXml(path, &control)) continue;
        if (control.GetRootElement().GetAttributeString(L"ax:classid") == MkString(MkOpenXMLPlugin::CLASS_ID))
            targets->AddGrow(all[i]);
    }
    return !targets->IsEmpty();
}

MkSlideContent* MkOpenXMLPresentation::ScanSlide(const MkString& slideName) {
    auto cached = m_scanned.find(slideName.Std());
    if (cached == m_scanned.end() || cached->second.stale) {
        MkSlideContent record(slideName, 0, 0);
        record.relsPath = SlideRelsPath(slideName);
        MkStringArray plugins;
        GetPluginControls(record.relsPath, &plugins);
        const std::shared_ptr<const MkOpenXMLSlideDocument> relsView = ViewXml(record.relsPath);
        const bool haveRels = relsView != nullptr;
        const MkXmlDocument empty;
        const MkXmlDocument& relsDoc = haveRels ? *relsView : empty;
        auto idOfTarget = [&relsDoc](const MkString& target) {
            for (MkXmlElement r = relsDoc.GetRootElement().GetFirstChildElement(L"Relationship"); r;
                 r = r.GetNextSiblingElement(L"Relationship"))
                if (r.GetAttributeString(L"Target") == target) return r.GetAttributeString(L"Id");
            return MkString();
        };
        auto targetOfId = [&relsDoc](const MkString& id) {
            for (MkXmlElement r = relsDoc.GetRootElement().GetFirstChildElement(L"Relationship"); r;
                 r = r.GetNextSiblingElement(L"Relationship"))
                if (r.GetAttributeString(L"Id") == id) return r.GetAttributeString(L"Target");
            return MkString();
        };
        for (int i = 0; i < plugins.GetSize(); ++i) record.AddPluginPath(plugins[i], idOfTarget(plugins[i]));

        const std::shared_ptr<const MkOpenXMLSlideDocument> view = ViewXml(SlidePartPath(slideName));
        if (!view) {
            logError(L"MkOpenXMLPresentation::CreateSlideContentList",
                     MkString(L"cannot read slide part ") + SlidePartPath(slideName));
            return nullptr;
        }
        const MkOpenXMLSlideDocument& slide = *view;
        const MkXmlElement title = slide.GetTitleTextElt();
        if (title) record.slideTitle = title.GetValue();
        if (haveRels)
            for (const MkXmlElement& pic : [&slide] {
                     std::vector<MkXmlElement> pictures;
                     MkOpenXMLSlideDocument::FindShapes(slide.GetShapeTree(), L"p:pic", pictures);
                     return pictures;
                 }()) {
                bool found = false;
                const MkString embed =
                    pic.GetFirstChildFromPath(L"p:blipFill/a:blip").GetAttributeString(L"r:embed", MkString(), &found);
                if (!found) continue;
                const MkString target = targetOfId(embed);
                if (!target.IsEmpty()) record.AddPicturePath(target, embed);
            }
        slide.GetSlideTags(&record);
        Scan& scan = m_scanned[slideName.Std()];
        scan.record.reset(new MkSlideContent(record));
        scan.stale = false;
        cached = m_scanned.find(slideName.Std());
    }
    return cached->second.record.get();
}

bool MkOpenXMLPresentation::CreateSlideContentList() {
    m_listByTagStale = false;
    m_slides->DeleteAll();
    MkStringArray relsParts;
    FindFiles(m_slidesFolder + L"_rels", false, &relsParts);
    if (relsParts.IsEmpty()) return false;

    // Part-number order: slide2.xml before slide10.xml.
    std::vector<std::pair<float, MkString>> ordered;
    for (int i = 0; i < relsParts.GetSize(); ++i) {
        const MkString name = fileNameOf(relsParts[i]);
        if (!name.EndsWith(L".rels")) continue;
        ordered.emplace_back(name.GetFirstFloat(), name);
    }
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](const std::pair<float, MkString>& a, const std::pair<float, MkString>& b) { return a.first < b.first; });

    IndexMainRelationships();
    const std::map<std::wstring, MkString>& slideIds = m_mainTargets;

    for (const auto& entry : ordered) {
        const MkString& relsName = entry.second;
        const MkString slideName = relsName.Left(relsName.Find(L'.', -1, false));
        auto idIt = slideIds.find((MkString(L"slides/") + slideName).Std());
        const MkString relId = idIt == slideIds.end() ? MkString() : idIt->second;

        MkSlideContent* scanned = ScanSlide(slideName);
        if (!scanned) return false;
        scanned->slideRelId = relId;
        if (scanned->HasTags()) m_slides->Add(scanned);
    }
    return m_slides->GetSize() > 0;
}

// ---------------------------------------------------------------------------
// Slide order

bool MkOpenXMLPresentation::GetPresentationSlideIdList(MkStringArray* ids) {
    if (!ids) return false;
    ids->Clear();
    MkXmlDocument* presentation = Shared(m_presentationPath);
    if (!presentation) return false;
    MkXmlElement list = presentation->GetRootElement().GetFirstChildElement(L"p:sldIdLst");
    for (MkXmlElement id = list.GetFirstChildElement(); id; id = id.GetNextSiblingElement())
        ids->AddGrow(id.GetAttributeString(L"r:id"));
    return !ids->IsEmpty();
}

int MkOpenXMLPresentation::SlideCount() {
    MkXmlDocument* presentation = Shared(m_presentationPath);
    if (!presentation) return 0;
    return presentation->GetRootElement().GetFirstChildElement(L"p:sldIdLst").GetChildElementCount();
}

bool MkOpenXMLPresentation::AddSlideToPresentationXml(const MkString& slideName, const MkString& beforeId) {
    static const wchar_t* op = L"MkOpenXMLPresentation::AddSlideToPresentationXml";
    const MkString relId = AddSlideRelationship(slideName);
    if (relId.IsEmpty()) {
        logError(op, MkString(L"cannot relate the presentation to ") + slideName);
        return false;
    }
    MkXmlDocument* presentation = Shared(m_presentationPath);
    const bool ok = presentation != nullptr;
    MkXmlElement root = ok ? presentation->GetRootElement(L"p:presentation") : MkXmlElement();
    MkXmlElement list = root.GetFirstChildElement(L"p:sldIdLst");
    if (ok && root && !list) {
        // A presentation without slides may have no list at all: add it in its schema place.
        MkXmlElement before;
        for (const wchar_t* name : AFTER_SLIDE_ID_LIST)
            if ((before = root.GetFirstChildElement(name))) break;
        list = before ? root.AddChildElementBefore(before, L"p:sldIdLst") : root.AddChildElement(L"p:sldIdLst");
    }
    if (!ok || !list) {
        // Leave no relationship to a slide that the slide list does not show.
        RemoveRelationFromRelsFile(m_mainRelsPath, relId);
        logError(op, MkString(L"cannot read the slide list of ") + m_presentationPath);
        return false;
    }
    // The walk is skipped while only this function changed the list since the last
    // one, for the same place.
    const int version = m_shared[m_presentationPath.Std()].version;
    if (version != m_slideListVersion || beforeId != m_beforeId) WalkSlideList(beforeId);
    const MkXmlElement beforeElement = m_beforeElement;
    const int slideId = NextSlideId(list);
    if (slideId < 0) {
        RemoveRelationFromRelsFile(m_mainRelsPath, relId);
        logError(op, MkString(L"no slide id is left free in ") + m_presentationPath);
        return false;
    }
    MkXmlElement entry = beforeElement ? list.AddChildElementBefore(beforeElement, L"p:sldId")
                                       : list.AddChildElement(L"p:sldId");
    entry.AddAttributeInt(L"id", slideId);
    entry.AddAttributeString(L"r:id", relId);
    const float number = relId.GetFirstFloat();
    if (number < 2.99e38f && static_cast<int>(number) > m_largestListedRelNumber)
        m_largestListedRelNumber = static_cast<int>(number);
    Changed(m_presentationPath);
    m_slideListVersion = m_shared[m_presentationPath.Std()].version;
    return true;
}

int MkOpenXMLPresentation::NextSlideId(const MkXmlElement& list) {
    // After the largest id while there is one; then the lowest free one.
    if (m_lastSlideId < MAX_SLIDE_ID) return m_lastSlideId = std::max(m_lastSlideId + 1, MIN_SLIDE_ID);
    std::vector<int> used;
    for (MkXmlElement child = list.GetFirstChildElement(); child; child = child.GetNextSiblingElement())
        used.push_back(child.GetAttributeInt(L"id", 0));
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

bool MkOpenXMLPresentation::WalkSlideList(const MkString& beforeId) {
    m_beforeId = beforeId;
    m_beforeElement = MkXmlElement();
    m_largestListedRelNumber = 0;
    m_slideListVersion = -1;
    MkXmlDocument* presentation = Shared(m_presentationPath);
    if (!presentation) return false;
    const MkXmlElement list = presentation->GetRootElement().GetFirstChildElement(L"p:sldIdLst");
    for (MkXmlElement child = list.GetFirstChildElement(); child; child = child.GetNextSiblingElement()) {
        const int id = child.GetAttributeInt(L"id", 0);
        if (id > m_lastSlideId) m_lastSlideId = id;
        const MkString relId = child.GetAttributeString(L"r:id");
        if (!beforeId.IsEmpty() && relId == beforeId) m_beforeElement = child;
        const float number = relId.GetFirstFloat();
        if (number < 2.99e38f && static_cast<int>(number) > m_largestListedRelNumber)
            m_largestListedRelNumber = static_cast<int>(number);
    }
    m_slideListVersion = m_shared[m_presentationPath.Std()].version;
    return true;
}

bool MkOpenXMLPresentation::RemoveSlideFromPresentationDoc(const MkString& id) {
    if (id.IsEmpty()) return false;
    MkXmlDocument* presentation = Shared(m_presentationPath);
    if (!presentation) return false;
    MkXmlElement list = presentation->GetRootElement().GetFirstChildElement(L"p:sldIdLst");
    if (!list) return false;
    for (MkXmlElement child = list.GetFirstChildElement(); child;) {
        MkXmlElement next = child.GetNextSiblingElement();
        if (child.GetAttributeString(L"r:id") == id) {
            m_lastSlideId = child.GetAttributeInt(L"id", 255);
            list.RemoveChildElement(child);
        }
        child = next;
    }
    Changed(m_presentationPath);
    return true;
}

bool MkOpenXMLPresentation::DeleteUnreferencedParts(std::set<std::wstring> candidates) {
    bool ok = true;
    while (!candidates.empty()) {
        // Everything any relationship of the package still names.
        std::set<std::wstring> referenced;
        MkStringArray entries;
        FindFiles(MkString(), true, &entries);
        for (int i = 0; i < entries.GetSize(); ++i) {
            const MkString stored = entries[i];
            const int rels = stored.Find(L"_rels/");
            if (rels < 0 || !stored.EndsWith(L".rels")) continue;
            const MkString source = stored.Left(rels) + stored.Mid(rels + 6, stored.Length() - rels - 6 - 5);
            const ParsedDocument doc = ViewXml(toInternal(stored));
            for (MkXmlElement r = doc ? doc->GetRootElement().GetFirstChildElement(L"Relationship") : MkXmlElement(); r;
                 r = r.GetNextSiblingElement(L"Relationship")) {
                if (r.GetAttributeString(L"TargetMode") == MkString(L"External")) continue;
                const MkString part = ResolveTarget(source, r.GetAttributeString(L"Target"));
                if (!part.IsEmpty()) referenced.insert(part.Std());
            }
        }
        std::set<std::wstring> next;
        MkStringArray gone;
        for (const std::wstring& candidate : candidates) {
            const MkString part(candidate);
            if (referenced.count(candidate) || FindFile(part) < 0) continue;
            const MkString relsPath = relsPartOf(part);
            const ParsedDocument rels = FindFile(relsPath) >= 0 ? ViewXml(relsPath) : nullptr;
            for (MkXmlElement r = rels ? rels->GetRootElement().GetFirstChildElement(L"Relationship") : MkXmlElement();
                 r; r = r.GetNextSiblingElement(L"Relationship")) {
                if (r.GetAttributeString(L"TargetMode") == MkString(L"External")) continue;
                const MkString target = ResolveTarget(part, r.GetAttributeString(L"Target"));
                if (!target.IsEmpty()) next.insert(target.Std());
            }
            if (FindFile(relsPath) >= 0) gone.AddGrow(relsPath);
            gone.AddGrow(part);
        }
        // All at once: deleting entries one by one costs a pass over the archive each.
        if (!gone.IsEmpty() && !Delete(gone)) ok = false;
        candidates.swap(next);
    }
    return ok;
}

void MkOpenXMLPresentation::RedirectReferences(const MkString& slidePart, const MkString& id) {
    const MkString slideName = fileNameOf(slidePart);
    std::vector<MkString> copies;
    for (const MkString& copy : m_copies[slideName.Std()])
        if (FindFile(SlidePartPath(copy)) >= 0) copies.push_back(copy);
    // Custom shows and sections list the copies where the slide stood.
    if (MkXmlDocument* presentation = Shared(m_presentationPath)) {
        const MkXmlElement root = presentation->GetRootElement();
        std::map<std::wstring, MkString> slideIds;  // r:id -> id
        for (MkXmlElement e = root.GetFirstChildFromPath(L"p:sldIdLst/p:sldId"); e; e = e.GetNextSiblingElement())
            slideIds[e.GetAttributeString(L"r:id").Std()] = e.GetAttributeString(L"id");
        std::vector<MkString> copyRelIds, copyIds;
        for (const MkString& copy : copies) {
            copyRelIds.push_back(SlideRelationshipId(copy));
            copyIds.push_back(slideIds[copyRelIds.back().Std()]);
        }
        const MkString slideId = slideIds[id.Std()];
        bool changed = false;
        // Replaces each `name` element whose `attribute` is `value` by one per copy.
        auto replace = [&changed](const std::vector<MkXmlElement>& entries, const wchar_t* attribute,
                                  const MkString& value, const std::vector<MkString>& values) {
            for (const MkXmlElement& entry : entries) {
                if (value.IsEmpty() || entry.GetAttributeString(attribute) != value) continue;
                const MkXmlElement parent = entry.GetParentElement();
                for (const MkString& v : values) {
                    MkXmlElement copy = parent.AddChildElementBefore(entry, entry.GetName());
                    copy.AddAttributeString(attribute, v);
                }
                parent.RemoveChildElement(entry);
                changed = true;
            }
        };
        std::vector<MkXmlElement> shows, sections;
        MkOpenXMLSlideDocument::FindAllElements(root.GetFirstChildElement(L"p:custShowLst"), L"p:sld", shows);
        replace(shows, L"r:id", id, copyRelIds);
        MkOpenXMLSlideDocument::FindAllElements(root.GetFirstChildElement(L"p:extLst"), L"p14:sldId", sections);
        replace(sections, L"id", slideId, copyIds);
        if (changed) Changed(m_presentationPath);
    }
    // Links from other parts go to the first copy, or go with their relationship.
    MkStringArray entries;
    FindFiles(MkString(), true, &entries);
    const MkString ownRels = relsPartOf(slidePart);
    for (int i = 0; i < entries.GetSize(); ++i) {
        const MkString relsPath = toInternal(entries[i]);
        const int marker = relsPath.Find(MkString(L"_rels") + sepStr(), -1, false);
        if (!relsPath.EndsWith(L".rels") || relsPath == ownRels || marker < 0 || relsPath == m_mainRelsPath) continue;
        const MkString source = relsPath.Left(marker) + relsPath.Mid(marker + 6, relsPath.Length() - marker - 6 - 5);
        ParsedDocument view = ViewXml(relsPath);
        bool links = false;
        for (MkXmlElement r = view ? view->GetRootElement().GetFirstChildElement(L"Relationship") : MkXmlElement(); r;
             r = r.GetNextSiblingElement(L"Relationship"))
            links = links || (isSlideRelationship(r) && ResolveTarget(source, r.GetAttributeString(L"Target")) == slidePart);
        if (!links) continue;
        MkXmlDocument rels, sourceDoc;
        if (!ReadXml(relsPath, &rels)) continue;
        std::vector<MkString> dropped;
        for (MkXmlElement r = rels.GetRootElement().GetFirstChildElement(L"Relationship"); r;) {
            const MkXmlElement next = r.GetNextSiblingElement(L"Relationship");
            if (isSlideRelationship(r) && ResolveTarget(source, r.GetAttributeString(L"Target")) == slidePart) {
                if (!copies.empty()) {
                    r.AddAttributeString(L"Target", relativeTarget(source, SlidePartPath(copies.front())));
                } else {
                    dropped.push_back(r.GetAttributeString(L"Id"));
                    rels.GetRootElement().RemoveChildElement(r);
                }
            }
            r = next;
        }
        if (!dropped.empty() && ReadXml(source, &sourceDoc)) {
            // The hyperlinks that named the dropped relationships go too.
            std::vector<MkXmlElement> links;
            std::function<void(const MkXmlElement&)> collect = [&](const MkXmlElement& parent) {
                for (MkXmlElement e = parent.GetFirstChildElement(); e; e = e.GetNextSiblingElement()) {
                    if (e.GetName().StartsWith(L"a:hlink") &&
                        std::find(dropped.begin(), dropped.end(), e.GetAttributeString(L"r:id")) != dropped.end())
                        links.push_back(e);
                    else
                        collect(e);
                }
            };
            collect(sourceDoc.GetRootElement());
            for (const MkXmlElement& e : links) e.GetParentElement().RemoveChildElement(e);
            WritePart(source, sourceDoc);
            if (source.StartsWith(m_slidesFolder)) Touch(fileNameOf(source));
        }
        WritePart(relsPath, rels);
    }
}

bool MkOpenXMLPresentation::RemoveSlide(const MkString& id) {
    static const wchar_t* op = L"MkOpenXMLPresentation::RemoveSlide";
    ReOpen();
    const MkString target = GetTargetOfId(m_mainRelsPath, id);
    if (id.IsEmpty() || target.IsEmpty()) {
        logError(op, MkString(L"no slide with relationship id ") + id);
        return false;
    }
    MkString slidePart = toInternal(MkString(L"ppt/") + target);
    const int last = slidePart.Find(SEPARATOR, -1, false);
    const MkString slideName = slidePart.Mid(last + 1);
    const MkString relsPath = slidePart.Left(last) + sepStr() + L"_rels" + sepStr() + slideName + L".rels";

    // What the slide refers to, to delete afterwards what nothing else refers to.
    std::set<std::wstring> referred;
    MkXmlDocument rels;
    if (FindFile(relsPath) >= 0 && ReadXml(relsPath, &rels))
        for (MkXmlElement r = rels.GetRootElement().GetFirstChildElement(L"Relationship"); r;
             r = r.GetNextSiblingElement(L"Relationship")) {
            if (r.GetAttributeString(L"TargetMode") == MkString(L"External")) continue;
            const MkString part = ResolveTarget(slidePart, r.GetAttributeString(L"Target"));
            if (!part.IsEmpty()) referred.insert(part.Std());
        }

    RedirectReferences(slidePart, id);
    if (!RemoveRelationFromRelsFile(m_mainRelsPath, id) || !RemoveSlideFromPresentationDoc(id) ||
        (FindFile(slidePart) >= 0 && !Delete(slidePart)) || (FindFile(relsPath) >= 0 && !Delete(relsPath))) {
        logError(op, MkString(L"cannot remove ") + slidePart);
        return false;
    }
    Touch(slideName);
    DeleteUnreferencedParts(referred);
    m_controlIndexValid = false;
    ResetContentDoc();
    m_slides->RemoveByName(slideName);
    m_scanned.erase(slideName.Std());
    m_copies.erase(slideName.Std());
    m_lastPartNames.clear();
    m_listByTagStale = true;
    return true;
}

// ---------------------------------------------------------------------------
// Duplication

bool MkOpenXMLPresentation::DuplicateSlide(const MkString& name, MkString& newName) {
    static const wchar_t* op = L"MkOpenXMLPresentation::DuplicateSlide";
    if (name.IsEmpty()) {
        logError(op, L"no slide name");
        return false;
    }
    m_newSlideNames.Clear();
    // Read only: the copy is written from the source's parsed trees.
    const std::shared_ptr<const MkOpenXMLSlideDocument> slide = ViewXml(SlidePartPath(name));
    const std::shared_ptr<const MkOpenXMLSlideDocument> rels = ViewXml(SlideRelsPath(name));
    if (!slide || !rels) {
        logError(op, MkString(L"cannot read ") + SlidePartPath(name) + L" or its relationships");
        return false;
    }
    // Numbered after the largest relationship number in the slide list.
    int number = 1;
    if (m_shared[m_presentationPath.Std()].version != m_slideListVersion || !Shared(m_presentationPath))
        WalkSlideList(m_beforeId);
    const MkXmlDocument* listed = Shared(m_presentationPath);
    if (listed && listed->GetRootElement().GetFirstChildElement(L"p:sldIdLst").GetFirstChildElement())
        number = std::max(2, m_largestListedRelNumber + 1);
    // Never write over a slide that exists under that name.
    MkString candidate;
    for (;; ++number) {
        candidate.MakeForm("slide%d.xml", number);
        if (FindFile(SlidePartPath(candidate)) < 0 && FindFile(SlideRelsPath(candidate)) < 0) break;
    }
    newName = candidate;
    m_newSlideNames.AddGrow(newName);

    const MkString newRels = SlideRelsPath(newName);
    if (!WritePart(newRels, *rels) || !CopyAndUpdateOriginalDocuments(newRels) || !CopyComments(newRels) ||
        !UpdateSlideReferences(newRels, name, newName) ||
        !RegisterPart(sepStr() + m_slidesFolder + newName, SLIDE_CONTENT_TYPE) ||
        !WriteSlide(newName, *slide)) {
        logError(op, MkString(L"cannot write the copy ") + newName + L" of " + name);
        // Take back what was written so that no half slide stays in the package.
        ReOpen();
        std::set<std::wstring> written;
        MkXmlDocument copied;
        if (FindFile(newRels) >= 0 && ReadXml(newRels, &copied))
            for (MkXmlElement r = copied.GetRootElement().GetFirstChildElement(L"Relationship"); r;
                 r = r.GetNextSiblingElement(L"Relationship"))
                written.insert(ResolveTarget(SlidePartPath(newName), r.GetAttributeString(L"Target")).Std());
        if (FindFile(newRels) >= 0) Delete(newRels);
        if (FindFile(SlidePartPath(newName)) >= 0) Delete(SlidePartPath(newName));
        DeleteUnreferencedParts(written);
        ResetContentDoc();
        m_newSlideNames.Clear();
        return false;
    }
    if (m_controlIndexValid) IndexRelationships(newRels, true);
    m_copies[name.Std()].push_back(newName);
    const MkString before = SlideRelationshipId(name);
    for (int i = 0; i < m_newSlideNames.GetSize(); ++i)
        if (!AddSlideToPresentationXml(m_newSlideNames[i], before)) return false;
    // The copies join the list in their part-number place; the other records stay as
    // they are (rebuilding the whole list for each copy would cost a walk of every
    // slide and of the package's entries per copy).
    for (int i = 0; i < m_newSlideNames.GetSize(); ++i) {
        m_slides->RemoveByName(m_newSlideNames[i]);  // before a rescan replaces its record
        MkSlideContent* record = ScanSlide(m_newSlideNames[i]);
        if (!record) return false;
        record->slideRelId = SlideRelationshipId(m_newSlideNames[i]);
        if (record->HasTags()) m_slides->InsertInOrder(record);
    }
    m_listByTagStale = true;
    return m_slides->GetSize() > 0;
}

MkString MkOpenXMLPresentation::NextPartName(const MkString& family) {
    // The number after the last one handed out, while that name is free: listing the
    // folder for each copy would cost a walk of every part of the package.
    auto last = m_lastPartNames.find(family.Std());
    if (last != m_lastPartNames.end()) {
        const MkString& previous = last->second;
        const int dot = previous.Find(L'.', previous.Length() - 1, false);
        int digits = dot > 0 ? dot : 0;
        while (digits > 0 && previous[digits - 1] >= L'0' && previous[digits - 1] <= L'9') --digits;
        const long long number = previous.Mid(digits, dot - digits).AsInt(0);
        if (dot > 0 && number > 0 && number < INT_MAX) {
            const MkString next = previous.Left(digits) + MkString(static_cast<int>(number + 1)) + previous.Mid(dot);
            if (FindFile(next) < 0) return m_lastPartNames[family.Std()] = next;
        }
    }
    const MkString next = GetNextFileName(family);
    if (!next.IsEmpty()) m_lastPartNames[family.Std()] = next;
    return next;
}

bool MkOpenXMLPresentation::CopyAndUpdateOriginalDocuments(const MkString& relsPath) {
    // The zip layer sees parts written since the archive was opened: no reopening here.
    MkStringArray targets, some;
    for (TargetType type : {OXML_TARGET_TAGS, OXML_TARGET_CHART, OXML_TARGET_NOTES_SLIDE})
        if (GetRelsRelationFiles(relsPath, type, &some)) targets.Append(some);
    for (int i = 0; i < targets.GetSize(); ++i) {
        const MkString& oldTarget = targets[i];
        TargetType kind;
        if (oldTarget.Contains(L"../tags/"))
            kind = OXML_TARGET_TAGS;
        else if (oldTarget.Contains(L"../charts/"))
            kind = OXML_TARGET_CHART;
        else if (oldTarget.Contains(L"../notesSlides/"))
            kind = OXML_TARGET_NOTES_SLIDE;
        else
            return false;
        const MkString oldPath = TargetToPackagePath(oldTarget);
        MkXmlDocument part;
        if (!ReadXml(oldPath, &part)) return false;
        MkString newTarget;
        if (kind == OXML_TARGET_CHART) {
            newTarget = RenameAndSaveDocument(part, kind, true);
        } else {
            // Tags and notes: the next free name of their family, written without the
            // close and reopen that would write the parts kept in memory each time.
            const MkString family = kind == OXML_TARGET_TAGS ? MkString(L"ppt\\tags\\tag1.xml")
                                                             : MkString(L"ppt\\notesSlides\\notesSlide1.xml");
            const MkString path = NextPartName(family);
            if (!path.IsEmpty() && MkOpenXMLArchive::WritePart(path, part)) {
                newTarget = toStored(path);
                newTarget.Replace(m_rootFolder + L"/", L"../");
            }
        }
        if (newTarget.IsEmpty() || !ReplaceTargetInRelsFile(relsPath, oldTarget, newTarget)) return false;
        MkString newPath = newTarget;
        newPath.Replace(L"..", m_rootFolder);
        if (kind == OXML_TARGET_TAGS) {
            if (!RegisterPart(MkString(L"/") + newPath, TAGS_CONTENT_TYPE)) return false;
        } else if (kind == OXML_TARGET_CHART) {
            // The source chart keeps its parts: the source slide may stay in the
            // presentation, and parts only a removed slide used go with it.
            DuplicateChartDocuments(oldTarget, false);
        } else {
            // The copy gets its own relationships part beside its new name.
            const MkString oldRels = toInternal(oldTarget.Left(oldTarget.Find(L'/', -1, false)) + L"/_rels/" +
                                                fileNameOf(oldTarget) + L".rels");
            const MkString oldRelsPath = TargetToPackagePath(oldRels);
            MkXmlDocument notesRels;
            if (!ReadXml(oldRelsPath, &notesRels)) return false;
            const MkString internalNew = toInternal(newPath);
            const int last = internalNew.Find(SEPARATOR, -1, false);
            const MkString newRelsPath =
                internalNew.Left(last) + sepStr() + L"_rels" + sepStr() + internalNew.Mid(last + 1) + L".rels";
            if (!WritePart(newRelsPath, notesRels)) return false;
            if (!RegisterPart(MkString(L"/") + newPath, NOTES_SLIDE_CONTENT_TYPE)) return false;
        }
    }
    return true;
}

bool MkOpenXMLPresentation::UpdateSlideReferences(const MkString& relsPath, const MkString& oldName,
                                                  const MkString& newName) {
    // The copy's links to its source (a slide linking to itself) name the copy, and so
    // do the back references of the notes it took along, however their targets are
    // written.
    const MkString oldPart = SlidePartPath(oldName), newPart = SlidePartPath(newName);
    MkXmlDocument rels;
    if (!ReadXml(relsPath, &rels)) return false;
    bool changed = false;
    std::vector<MkString> notes;
    for (MkXmlElement r = rels.GetRootElement().GetFirstChildElement(L"Relationship"); r;
         r = r.GetNextSiblingElement(L"Relationship")) {
        const MkString target = ResolveTarget(newPart, r.GetAttributeString(L"Target"));
        if (isSlideRelationship(r) && target == oldPart) {
            r.AddAttributeString(L"Target", newName);
            changed = true;
        } else if (r.GetAttributeString(L"Type").EndsWith(L"/notesSlide") && !target.IsEmpty()) {
            notes.push_back(target);
        }
    }
    if (changed && !WritePart(relsPath, rels)) return false;
    for (const MkString& notesPart : notes) {
        MkXmlDocument notesRels;
        const MkString notesRelsPath = relsPartOf(notesPart);
        if (FindFile(notesRelsPath) < 0) continue;
        if (!ReadXml(notesRelsPath, &notesRels)) return false;
        bool back = false;
        for (MkXmlElement r = notesRels.GetRootElement().GetFirstChildElement(L"Relationship"); r;
             r = r.GetNextSiblingElement(L"Relationship"))
            if (isSlideRelationship(r) && ResolveTarget(notesPart, r.GetAttributeString(L"Target")) == oldPart) {
                r.AddAttributeString(L"Target", relativeTarget(notesPart, newPart));
                back = true;
            }
        if (back && !WritePart(notesRelsPath, notesRels)) return false;
    }
    return true;
}

bool MkOpenXMLPresentation::CopyComments(const MkString& relsPath) {
    // Comments belong to one slide: a copy gets its own, of its source's content type.
    const MkString slidePart = SlidePartPath(fileNameOf(relsPath).Left(fileNameOf(relsPath).Length() - 5));
    MkXmlDocument rels;
    if (!ReadXml(relsPath, &rels)) return false;
    bool changed = false;
    for (MkXmlElement r = rels.GetRootElement().GetFirstChildElement(L"Relationship"); r;
         r = r.GetNextSiblingElement(L"Relationship")) {
        if (!r.GetAttributeString(L"Type").EndsWith(L"/comments")) continue;
        const MkString oldPart = ResolveTarget(slidePart, r.GetAttributeString(L"Target"));
        if (oldPart.IsEmpty() || FindFile(oldPart) < 0) continue;
        const MkString newPart = NextPartName(L"ppt\\comments\\comment1.xml");
        IndexContentTypes();
        const auto type = m_typeNames.find((L"/" + toStored(oldPart)).Std());
        size_t size = 0;
        unsigned char* data = ReadDataRaw(oldPart, &size);
        const bool written = data && !newPart.IsEmpty() && WriteDataRaw(newPart, data, size, false);
        free(data);
        if (!written || type == m_typeNames.end() || !RegisterPart(L"/" + toStored(newPart), MkString(type->second)))
            return false;
        if (FindFile(relsPartOf(oldPart)) >= 0) {
            data = ReadDataRaw(relsPartOf(oldPart), &size);
            const bool relsWritten = data && WriteDataRaw(relsPartOf(newPart), data, size, false);
            free(data);
            if (!relsWritten) return false;
        }
        r.AddAttributeString(L"Target", relativeTarget(slidePart, newPart));
        changed = true;
    }
    return !changed || WritePart(relsPath, rels);
}

// ---------------------------------------------------------------------------
// Content: the slide edits its XML (MkOpenXMLSlideDocument); here the slide is
// found, read and written, and its relationships and media kept.

namespace {
// The placeholder of a layout or master tree that a slide's placeholder stands for:
// the same index, else the same type (on a master, body for the content types it
// has no placeholder of); null when there is none.
MkXmlElement matchingPlaceholder(const MkXmlElement& tree, const MkXmlElement& ph, bool master) {
    MkString type = ph.GetAttributeString(L"type", L"obj");
    bool haveIdx = false;
    const MkString idx = ph.GetAttributeString(L"idx", MkString(), &haveIdx);
    if (master && type == MkString(L"ctrTitle")) type = L"title";
    if (master && type != MkString(L"title") && type != MkString(L"dt") && type != MkString(L"ftr") &&
        type != MkString(L"sldNum"))
        type = L"body";
    MkXmlElement byType;
    for (const wchar_t* kind : {L"p:sp", L"p:pic"}) {
        std::vector<MkXmlElement> shapes;
        MkOpenXMLSlideDocument::FindShapes(tree, kind, shapes);
        for (const MkXmlElement& shape : shapes) {
            const MkXmlElement other = MkOpenXMLSlideDocument::PlaceholderOf(shape);
            if (!other) continue;
            if (!master && haveIdx && other.GetAttributeString(L"idx") == idx) return other;
            if (!byType && other.GetAttributeString(L"type", L"obj") == type) byType = other;
        }
    }
    return byType;
}

// The relationships part of a VML drawing: ...drawings\_rels\vmlDrawingN.vml.rels.
MkString drawingRelsPath(MkString drawing) {
    drawing = toInternal(drawing);
    drawing.Replace(MkString(L"drawings") + sepStr(), MkString(L"drawings") + sepStr() + L"_rels" + sepStr());
    return drawing + L".rels";
}

// Relationship ids of a part, for choosing new ones.
bool relationshipIdExists(const MkXmlDocument& rels, const MkString& id) {
    for (MkXmlElement r = rels.GetRootElement().GetFirstChildElement(L"Relationship"); r;
         r = r.GetNextSiblingElement(L"Relationship"))
        if (r.GetAttributeString(L"Id") == id) return true;
    return false;
}
} // namespace

MkXmlElement MkOpenXMLPresentation::LayoutBox(const MkString& slideName, const MkXmlElement& ph, MkXmlDocument* holder) {
    // slide -> layout -> master, each found by its relationship of that kind; a
    // placeholder without a box of its own passes the question on.
    MkString part = SlidePartPath(slideName);
    MkXmlElement wanted = ph;
    MkXmlDocument documents[2];
    for (const bool master : {false, true}) {
        MkXmlDocument rels;
        if (!ReadXml(relsPartOf(part), &rels)) break;
        MkString next;
        for (MkXmlElement r = rels.GetRootElement().GetFirstChildElement(L"Relationship"); r && next.IsEmpty();
             r = r.GetNextSiblingElement(L"Relationship"))
            if (r.GetAttributeString(L"Type").EndsWith(master ? L"/slideMaster" : L"/slideLayout"))
                next = ResolveTarget(part, r.GetAttributeString(L"Target"));
        MkXmlDocument& document = documents[master ? 1 : 0];
        if (next.IsEmpty() || !ReadXml(next, &document)) break;
        const MkXmlElement tree = document.GetRootElement().GetFirstChildFromPath(L"p:cSld/p:spTree");
        const MkXmlElement found = matchingPlaceholder(tree, wanted, master);
        // p:ph -> p:nvPr -> p:nvSpPr (or p:nvPicPr) -> the shape
        const MkXmlElement box =
            found.GetParentElement().GetParentElement().GetParentElement().GetFirstChildFromPath(L"p:spPr/a:xfrm");
        if (box.GetFirstChildElement(L"a:ext")) {
            holder->Clear();
            holder->LinkEndChild(box.Tx()->Clone());
            return holder->GetRootElement();
        }
        if (!found) break;
        wanted = found;
        part = next;
    }
    return MkXmlElement();
}

MkSlideContent* MkOpenXMLPresentation::ReadTaggedSlide(const wchar_t* op, const MkString& tag, const MkString& slideName,
                                                       bool byName, MkOpenXMLSlideDocument* slide) {
    MkSlideContent* record = byName ? FindSlideByName(slideName) : FindSlide(tag, slideName);
    if (!record) {
        logError(op, byName ? MkString(L"no slide named ") + slideName : MkString(L"no slide holds the tag ") + tag);
        return nullptr;
    }
    if (!ReadSlide(record->slideName, slide) || !slide->GetShapeTree()) {
        logError(op, MkString(L"no shape tree in ") + record->slideName);
        return nullptr;
    }
    return record;
}

bool MkOpenXMLPresentation::WriteEditedSlide(const wchar_t* op, const MkString& slideName,
                                             const MkOpenXMLSlideDocument& slide) {
    if (WriteSlide(slideName, slide)) return true;
    logError(op, MkString(L"cannot write ") + slideName);
    return false;
}

bool MkOpenXMLPresentation::SetText(const MkString& tag, const MkFormattedTextArray& runs, const MkString& newName,
                                    const MkString& slideName) {
    static const wchar_t* op = L"MkOpenXMLPresentation::SetText";
    MkOpenXMLSlideDocument slide;
    MkSlideContent* record = ReadTaggedSlide(op, tag, slideName, false, &slide);
    if (!record) return false;
    if (slide.SetText(tag, runs, newName) < 0) {
        logError(op, MkString(L"the shape ") + tag + L" has no text body");
        return false;
    }
    return WriteEditedSlide(op, record->slideName, slide);
}

bool MkOpenXMLPresentation::SetText(const MkString& tag, const MkString& text, const MkString& newName,
                                    const MkString& slideName) {
    MkFormattedTextArray runs;
    MkFormattedText run;
    run.text = text;
    runs.Add(run);
    return SetText(tag, runs, newName, slideName);
}

bool MkOpenXMLPresentation::SetTextTag(const MkString& tag, const MkString& newName, const MkString& slideName) {
    static const wchar_t* op = L"MkOpenXMLPresentation::SetTextTag";
    if (newName.IsEmpty()) {
        logError(op, MkString(L"no new name for ") + tag);
        return false;
    }
    MkOpenXMLSlideDocument slide;
    MkSlideContent* record = ReadTaggedSlide(op, tag, slideName, false, &slide);
    if (!record) return false;
    if (slide.RenameTextShapes(tag, newName) < 0) {
        logError(op, MkString(L"the shape ") + tag + L" has no text body");
        return false;
    }
    return WriteEditedSlide(op, record->slideName, slide);
}

bool MkOpenXMLPresentation::RelateImage(const wchar_t* op, const MkString& slideName, const MkString& imagePath,
                                        const MkString& hyperlink, MkString* imageId, MkString* linkId) {
    // Media and relationships before the slide names them.
    const MkString rels = SlideRelsPath(slideName);
    MkXmlDocument relsDoc;
    if (!ReadXml(rels, &relsDoc)) {
        logError(op, MkString(L"cannot read ") + rels);
        return false;
    }
    MkString target;
    if (!AddMediaFileToArchive(imagePath, &target)) {
        logError(op, MkString(L"cannot store the image ") + imagePath);
        return false;
    }
    Touch(slideName);
    // An id given twice (the same tag filled again) replaces the earlier relationship.
    if (!imageId->IsEmpty() && !GetTargetOfId(rels, *imageId).IsEmpty()) RemoveRelationFromRelsFile(rels, *imageId);
    *imageId = AddTargetInRelsFile(rels, REL_TYPE_IMAGE, target, MkString(), *imageId);
    if (imageId->IsEmpty()) {
        logError(op, MkString(L"cannot relate the image to ") + slideName);
        return false;
    }
    linkId->Empty();
    if (hyperlink.IsBlank()) return true;
    *linkId = *imageId + L"_C";
    if (!GetTargetOfId(rels, *linkId).IsEmpty()) RemoveRelationFromRelsFile(rels, *linkId);
    if (AddTargetInRelsFile(rels, REL_TYPE_HYPERLINK, hyperlink, L"External", *linkId).IsEmpty()) {
        logError(op, MkString(L"cannot add the hyperlink to ") + slideName);
        return false;
    }
    return true;
}

bool MkOpenXMLPresentation::SetImage(const MkString& description, const MkString& tag, const MkString& imagePath,
                                     int imageWidth, int imageHeight, const MkString& newName,
                                     const MkString& slideName, const MkString& hyperlink) {
    static const wchar_t* op = L"MkOpenXMLPresentation::SetImage";
    if (!HasMediaSource(imagePath)) {
        logError(op, MkString(L"cannot read the image ") + imagePath);
        return false;
    }
    MkOpenXMLSlideDocument slide;
    MkSlideContent* record = ReadTaggedSlide(op, tag, slideName, false, &slide);
    if (!record) return false;
    const MkString name = record->slideName;
    MkOpenXMLSlideDocument::Picture picture;
    picture.description = description;
    picture.newName = newName;
    picture.imageId = tag == MkString(L"SIT_PICTURE") ? tagText(L"rId%ls_GENERIC", newName) : tagText(L"rId%ls", tag);
    picture.linkId = hyperlink.IsBlank() ? MkString() : picture.imageId + L"_C";
    picture.width = imageWidth;
    picture.height = imageHeight;
    picture.inheritedBox = [&](const MkXmlElement& ph, MkXmlDocument* holder) { return LayoutBox(name, ph, holder); };
    const int n = slide.SetPicture(tag, picture);
    if (n <= 0) {
        logError(op, n < 0 ? MkString(L"the picture ") + tag + L" has no a:blip"
                           : MkString(L"no picture named ") + tag + L" in " + name);
        return false;
    }
    MkString imageId = picture.imageId, linkId;
    return RelateImage(op, name, imagePath, hyperlink, &imageId, &linkId) && WriteEditedSlide(op, name, slide);
}

bool MkOpenXMLPresentation::RenamePicture(const MkString& tag, const MkString& slideName, const MkString& newName) {
    static const wchar_t* op = L"MkOpenXMLPresentation::RenamePicture";
    MkOpenXMLSlideDocument slide;
    MkSlideContent* record = ReadTaggedSlide(op, tag, slideName, false, &slide);
    if (!record) return false;
    if (!slide.RenamePicture(tag, newName)) {
        logError(op, MkString(L"no picture named ") + tag);
        return false;
    }
    return WriteEditedSlide(op, record->slideName, slide);
}

bool MkOpenXMLPresentation::SetTable(const MkString& tag, const kiv::rep::Table& table, const MkString& newName,
                                     const MkString& slideName) {
    static const wchar_t* op = L"MkOpenXMLPresentation::SetTable";
    if (table.rowCount() == 0 || table.columnCount() == 0) {
        logError(op, MkString(L"the table for ") + tag + L" is empty");
        return false;
    }
    MkOpenXMLSlideDocument slide;
    MkSlideContent* record = ReadTaggedSlide(op, tag, slideName, true, &slide);
    if (!record) return false;
    const int replaced = slide.SetTable(tag, table, newName);
    if (replaced < 0) {
        logError(op, MkString(L"the table ") + tag + L" has no grid or no row");
        return false;
    }
    return !replaced || WriteEditedSlide(op, record->slideName, slide);
}

bool MkOpenXMLPresentation::SetGraphicFrameTag(const MkString& tag, const MkString& newName, const MkString& slideName) {
    static const wchar_t* op = L"MkOpenXMLPresentation::SetGraphicFrameTag";
    if (newName.IsEmpty()) {
        logError(op, MkString(L"no new name for ") + tag);
        return false;
    }
    MkOpenXMLSlideDocument slide;
    MkSlideContent* record = ReadTaggedSlide(op, tag, slideName, true, &slide);
    if (!record) return false;
    if (!slide.RenameFrames(tag, newName)) {
        logError(op, MkString(L"no frame named ") + tag + L" in " + slideName);
        return false;
    }
    return WriteEditedSlide(op, record->slideName, slide);
}

bool MkOpenXMLPresentation::SetChart(const MkString& tag, const MkChartData& chart, const MkString& newName,
                                     const MkString& slideName, MkString* why) {
    static const wchar_t* op = L"MkOpenXMLPresentation::SetChart";
    if (!chart.m_table || chart.m_table->rowCount() == 0 || chart.m_table->columnCount() == 0) {
        logError(op, MkString(L"the table for ") + tag + L" is empty");
        return false;
    }
    MkOpenXMLSlideDocument slide;
    MkSlideContent* record = ReadTaggedSlide(op, tag, slideName, true, &slide);
    if (!record) return false;
    const MkString rels = SlideRelsPath(record->slideName);
    MkStringArray ids;
    const int n = slide.ChartFrames(tag, newName, &ids);
    MkStringArray parts;
    for (int i = 0; i < ids.GetSize(); ++i) {
        parts.AddGrow(TargetToPackagePath(GetTargetOfId(rels, ids[i])));
    }
    if (n < 0 || parts.Find(MkString()) >= 0) {
        logError(op, MkString(L"the chart ") + tag + L" has no chart part");
        return false;
    }
    if (n > 0 && !WriteEditedSlide(op, record->slideName, slide)) return false;
    for (int i = 0; i < parts.GetSize(); ++i)
        if (!UpdateChart(parts[i], chart, why)) return false;
    return true;
}

void MkOpenXMLPresentation::GetChartParts(const MkString& tag, const MkString& slideName, MkStringArray* parts) {
    const MkSlideContentPtrArray* list = GetSlideContentList();
    for (int i = 0; list && i < list->GetSize(); ++i) {
        const MkSlideContent& record = *(*list)[i];
        const MkString& name = record.slideName;
        if ((!slideName.IsEmpty() && name != slideName) || (record.Sit(MkSlideContent::KIND_CHART).Find(tag) < 0 &&
                                                            record.Ref(MkSlideContent::KIND_CHART).Find(tag) < 0))
            continue;
        MkOpenXMLSlideDocument slide;
        if (!ReadSlide(name, &slide)) continue;
        MkStringArray ids;
        slide.ChartFrames(tag, MkString(), &ids);
        for (int k = 0; k < ids.GetSize(); ++k) {
            const MkString target = TargetToPackagePath(GetTargetOfId(SlideRelsPath(name), ids[k]));
            if (!target.IsEmpty()) parts->AddGrow(target);
        }
    }
}

// ---------------------------------------------------------------------------
// 3D models and clean-up

bool MkOpenXMLPresentation::SetMDLX(const MkString& tag, const MkString& modelPath, const MkString& /*imagePath*/,
                                    const MkString& newName, const MkString& slideName) {
    static const wchar_t* op = L"MkOpenXMLPresentation::SetMDLX";
    MkOpenXMLSlideDocument slide;
    MkSlideContent* record = FindSlide(tag, slideName);
    if (!record || !ReadSlide(record->slideName, &slide)) {
        logError(op, MkString(L"no slide holds the tag ") + tag);
        return false;
    }
    const MkString name = record->slideName;
    const MkString rels = SlideRelsPath(name);
    MkXmlDocument relsDoc;
    if (!ReadXml(rels, &relsDoc)) {
        logError(op, MkString(L"cannot read ") + rels);
        return false;
    }
    // A new relationship id no relationship of the slide has.
    MkString newId;
    for (int n = 1;; ++n) {
        newId.MakeForm("sRid%04d", n);
        if (!relationshipIdExists(relsDoc, newId)) break;
    }
    MkString spid, oldId;
    if (!slide.RepointControl(tag, newName, newId, &spid, &oldId) || oldId.IsEmpty()) {
        logError(op, MkString(L"no 3D control named ") + tag + L" in " + name);
        return false;
    }
    // The control part for the new id comes first, so that the slide never names a
    // relationship that is not there.
    MkString model = toInternal(modelPath);
    MkString package = toInternal(GetFilename());
    const int modelSep = model.Find(SEPARATOR, -1, false), packageSep = package.Find(SEPARATOR, -1, false);
    const MkString reference = (modelSep >= 0 && packageSep >= 0 && model.Left(modelSep) == package.Left(packageSep))
                                   ? model.Mid(modelSep + 1)
                                   : modelPath;
    Touch(name);
    EnsureControlIndex();
    const MkString oldPart = ResolveTarget(SlidePartPath(name), GetTargetOfId(rels, oldId));
    if (!AddActiveXPluginFile(rels, reference, oldId, newId) || GetTargetOfId(rels, newId).IsEmpty()) {
        logError(op, MkString(L"cannot write the control part for ") + tag);
        return false;
    }
    const MkString newPart = ResolveTarget(SlidePartPath(name), GetTargetOfId(rels, newId));
    m_controlRefs[newPart.Std()].insert((rels + L"|" + newId).Std());
    if (!spid.IsEmpty()) {
        MkStringArray drawings, drawingIds;
        GetRelsRelationFiles(rels, OXML_TARGET_VML_DRAWING, &drawings, &drawingIds);
        for (int i = 0; i < drawings.GetSize(); ++i) {
            const MkString path = TargetToPackagePath(drawings[i]);
            MkXmlDocument vml;
            if (!ReadXml(path, &vml)) continue;
            for (MkXmlElement shape = vml.GetRootElement().GetFirstChildElement(L"v:shape"); shape;
                 shape = shape.GetNextSiblingElement(L"v:shape")) {
                const MkString shapeId = shape.GetAttributeString(L"o:spid");
                const int s = shapeId.Find(L"_s");
                const int t = spid.Find(L"_s");
                const MkString number = s >= 0 ? shapeId.Mid(s + 2) : MkString();
                if (s >= 0 && (number == spid || (t >= 0 && number == spid.Mid(t + 2)))) {
                    RemoveRelationFromRelsFile(rels, drawingIds[i]);
                    UnindexRelationship(rels, drawingIds[i]);
                    DeleteIfUnused(path);
                }
            }
        }
    }
    if (!WriteEditedSlide(op, name, slide)) return false;
    // The slide no longer names the old control relationship: drop it, unless another
    // control of the slide still uses it.
    if (!slide.ControlUsesId(oldId)) {
        RemoveRelationFromRelsFile(rels, oldId);
        UnindexRelationship(rels, oldId);
        DeleteIfUnused(oldPart);
    }
    ReOpen();
    return true;
}

bool MkOpenXMLPresentation::ConvertMdlxInSlide(const MkString& tag, const MkString& /*unusedPath*/,
                                               const MkString& imagePath, float aspect, const MkString& newName,
                                               const MkString& slideName, const MkString& hyperlink) {
    static const wchar_t* op = L"MkOpenXMLPresentation::ConvertMdlxInSlide";
    MkOpenXMLSlideDocument slide;
    MkSlideContent* record = FindSlide(tag, slideName);
    if (!record || !ReadSlide(record->slideName, &slide)) {
        logError(op, MkString(L"no slide holds the tag ") + tag);
        return false;
    }
    const MkString name = record->slideName;
    const MkString rels = SlideRelsPath(name);
    MkStringArray controlIds;
    std::unique_ptr<TiXmlElement> picture = slide.TakeControlPicture(tag, aspect, &controlIds);
    if (!picture) {
        logError(op, MkString(L"no 3D control named ") + tag + L" in " + name);
        return false;
    }
    Touch(name);
    if (!WriteEditedSlide(op, name, slide)) return false;
    EnsureControlIndex();
    for (int i = 0; i < controlIds.GetSize(); ++i) {
        const MkString part = ResolveTarget(SlidePartPath(name), GetTargetOfId(rels, controlIds[i]));
        RemoveRelationFromRelsFile(rels, controlIds[i]);
        UnindexRelationship(rels, controlIds[i]);
        if (!part.IsEmpty()) DeleteIfUnused(part);
    }

    MkStringArray drawings, drawingIds;
    if (GetRelsRelationFiles(rels, OXML_TARGET_VML_DRAWING, &drawings, &drawingIds)) {
        const MkString path = TargetToPackagePath(drawings[0]);
        MkXmlDocument vml;
        if (!ReadXml(path, &vml)) {
            logError(op, MkString(L"cannot read the drawing ") + path);
            return false;
        }
        MkXmlElement root = vml.GetRootElement();
        for (MkXmlElement shape = root.GetFirstChildElement(L"v:shape"); shape;) {
            MkXmlElement next = shape.GetNextSiblingElement(L"v:shape");
            if (shape.GetAttributeString(L"id") == tag) root.RemoveChildElement(shape);
            shape = next;
        }
        if (root.GetFirstChildElement(L"v:shape")) {
            if (!WritePart(path, vml)) {
                logError(op, MkString(L"cannot write the drawing ") + path);
                return false;
            }
        } else {
            // No shape left: the slide lets go of the drawing, which goes once no
            // other slide (a copy of this one) relates to it.
            if (!RemoveRelationFromRelsFile(rels, drawingIds[0])) {
                logError(op, MkString(L"cannot update ") + rels);
                return false;
            }
            UnindexRelationship(rels, drawingIds[0]);
            DeleteIfUnused(path);
        }
    }
    slide.RemovePluginWarningLinks();
    MkString pictureName = newName.IsBlank() ? tag : newName;
    pictureName.Replace(L"MDLX", L"PICTURE");
    const bool result = InsertImage(imagePath, pictureName, name, picture.release(), hyperlink, &slide);
    ReOpen();
    return result;
}

bool MkOpenXMLPresentation::InsertImage(const MkString& imagePath, const MkString& name, const MkString& slideName,
                                        TiXmlElement* picture, const MkString& hyperlink,
                                        MkOpenXMLSlideDocument* edited) {
    static const wchar_t* op = L"MkOpenXMLPresentation::InsertImage";
    std::unique_ptr<TiXmlElement> owned(picture);
    MkOpenXMLSlideDocument read;
    MkOpenXMLSlideDocument& slide = edited ? *edited : read;
    if (slideName.IsEmpty() || !owned || !HasMediaSource(imagePath) || (!edited && !ReadSlide(slideName, &read)) ||
        !slide.GetShapeTree()) {
        logError(op, MkString(L"cannot insert the image ") + imagePath + L" into " + slideName);
        return false;
    }
    MkString imageId, linkId;
    return RelateImage(op, slideName, imagePath, hyperlink, &imageId, &linkId) &&
           slide.InsertPicture(std::move(owned), name, imageId, linkId) && WriteEditedSlide(op, slideName, slide);
}

void MkOpenXMLPresentation::RemovePluginWarningLinksFromSlide(const MkString& slideName) {
    MkOpenXMLSlideDocument slide;
    if (ReadSlide(slideName, &slide) && slide.RemovePluginWarningLinks() > 0) WriteSlide(slideName, slide);
}

bool MkOpenXMLPresentation::IsControlInSlide(const MkString& slidePartPath, const MkString& id) {
    MkOpenXMLSlideDocument slide;
    return ReadXml(slidePartPath, &slide) && slide.ControlUsesId(id);
}

bool MkOpenXMLPresentation::RemoveUnreferredActiveX() {
    // Every slide's relationships part, without scanning the slides for their tags.
    MkStringArray relsParts;
    FindFiles(m_slidesFolder + L"_rels", false, &relsParts);
    if (relsParts.IsEmpty()) return false;
    m_listByTagStale = true;
    std::set<std::wstring> unused;
    for (int s = 0; s < relsParts.GetSize(); ++s) {
        const MkString relsName = fileNameOf(relsParts[s]);
        if (!relsName.EndsWith(L".rels")) continue;
        const MkString slideName = relsName.Left(relsName.Length() - 5);
        const MkString relsPath = SlideRelsPath(slideName);
        MkStringArray targets, ids;
        if (!GetRelsRelationFiles(relsPath, OXML_TARGET_ACTIVEX, &targets, &ids)) continue;
        const MkString slidePart = SlidePartPath(slideName);
        for (int i = 0; i < targets.GetSize() && i < ids.GetSize(); ++i) {
            if (IsControlInSlide(slidePart, ids[i])) continue;
            // The slide no longer shows this control: its relationship goes, and the
            // part too once nothing else relates to it.
            Touch(slideName);
            if (!RemoveRelationFromRelsFile(relsPath, ids[i])) return false;
            const MkString part = ResolveTarget(slidePart, targets[i]);
            if (!part.IsEmpty()) unused.insert(part.Std());
        }
    }
    m_controlIndexValid = false;
    return DeleteUnreferencedParts(unused);
}

bool MkOpenXMLPresentation::GetWmfFilesUsedInVmlFiles(const MkStringArray& drawings, MkStringArray& usedImages) {
    for (int d = 0; d < drawings.GetSize(); ++d) {
        MkXmlDocument vml;
        if (!ReadXml(toInternal(drawings[d]), &vml)) continue;
        const MkString rels = drawingRelsPath(drawings[d]);
        for (MkXmlElement shape = vml.GetRootElement().GetFirstChildElement(L"v:shape"); shape;
             shape = shape.GetNextSiblingElement(L"v:shape")) {
            if (!shape.GetAttributeString(L"id").Contains(L"_MDLX")) continue;
            const MkString relId = shape.GetFirstChildElement(L"v:imagedata").GetAttributeString(L"o:relid");
            const MkString target = GetTargetOfId(rels, relId);
            if (!target.IsEmpty()) usedImages.AddGrow(target);
        }
    }
    return true;
}

bool MkOpenXMLPresentation::RemoveUnusedFiles() {
    // Controls the slides no longer show lose their relationships (and parts).
    if (!RemoveUnreferredActiveX()) return false;
    // Then the control parts, drawings and pictures of the kinds the report stops
    // using (WMF and VML previews of controls) go when no relationship of the
    // package names them any more, and what only they named after them. Whatever
    // a written part still relates to stays: a picture on a master, a layout or a
    // notes page, a chart's user shapes, an OLE object's preview.
    const MkString sep = sepStr();
    std::set<std::wstring> candidates;
    for (const wchar_t* folder : {L"activeX", L"drawings", L"media"}) {
        MkStringArray parts;
        FindFiles(MkString(L"ppt") + sep + folder, false, &parts);
        for (int i = 0; i < parts.GetSize(); ++i) {
            const MkString& part = parts[i];
            if (folder[0] == L'd' || part.Contains(L".wmf") || part.Contains(L".vml") || part.Contains(L".xml"))
                candidates.insert(toInternal(part).Std());
        }
    }
    for (int i = 0; i < m_obsoleteFiles.GetSize(); ++i) candidates.insert(toInternal(m_obsoleteFiles[i]).Std());
    m_obsoleteFiles.Clear();
    m_controlIndexValid = false;
    const bool deleted = DeleteUnreferencedParts(candidates);
    ResetContentDoc();
    return deleted;
}

// ---------------------------------------------------------------------------
// Control parts and drawings in use

namespace {
bool isControlOrDrawing(const MkString& part) {
    return part.StartsWith(MkString(L"ppt") + sepStr() + L"activeX" + sepStr()) ||
           part.StartsWith(MkString(L"ppt") + sepStr() + L"drawings" + sepStr());
}

// ppt\slides\_rels\slide1.xml.rels -> ppt\slides\slide1.xml
MkString sourceOfRels(const MkString& relsPath) {
    MkString path = toInternal(relsPath);
    const MkString marker = MkString(L"_rels") + sepStr();
    const int at = path.Find(marker, -1, false);
    if (at < 0 || !path.EndsWith(L".rels")) return MkString();
    return path.Left(at) + path.Mid(at + marker.Length(), path.Length() - at - marker.Length() - 5);
}

MkString relsOfPart(const MkString& part) {
    const int last = part.Find(SEPARATOR, -1, false);
    return part.Left(last + 1) + L"_rels" + sepStr() + part.Mid(last + 1) + L".rels";
}
} // namespace

void MkOpenXMLPresentation::EnsureControlIndex() {
    if (m_controlIndexValid) return;
    m_controlRefs.clear();
    MkStringArray entries;
    FindFiles(MkString(), true, &entries);
    for (int i = 0; i < entries.GetSize(); ++i)
        if (entries[i].EndsWith(L".rels")) IndexRelationships(toInternal(entries[i]), true);
    m_controlIndexValid = true;
}

void MkOpenXMLPresentation::IndexRelationships(const MkString& relsPath, bool add) {
    const MkString source = sourceOfRels(relsPath);
    MkXmlDocument rels;
    if (source.IsEmpty() || !ReadXml(relsPath, &rels)) return;
    for (MkXmlElement r = rels.GetRootElement().GetFirstChildElement(L"Relationship"); r;
         r = r.GetNextSiblingElement(L"Relationship")) {
        if (r.GetAttributeString(L"TargetMode") == MkString(L"External")) continue;
        const MkString part = ResolveTarget(source, r.GetAttributeString(L"Target"));
        if (!isControlOrDrawing(part)) continue;
        const std::wstring key = (relsPath + L"|" + r.GetAttributeString(L"Id")).Std();
        if (add)
            m_controlRefs[part.Std()].insert(key);
        else
            m_controlRefs[part.Std()].erase(key);
    }
}

void MkOpenXMLPresentation::UnindexRelationship(const MkString& relsPath, const MkString& id) {
    const std::wstring key = (relsPath + L"|" + id).Std();
    for (auto& entry : m_controlRefs) entry.second.erase(key);
}

bool MkOpenXMLPresentation::DeleteIfUnused(const MkString& part) {
    EnsureControlIndex();
    auto it = m_controlRefs.find(part.Std());
    if ((it != m_controlRefs.end() && !it->second.empty()) || FindFile(part) < 0) return true;
    bool ok = true;
    MkStringArray gone;
    gone.AddGrow(part);
    const MkString rels = relsOfPart(part);
    MkXmlDocument relsDoc;
    if (FindFile(rels) >= 0) {
        // A control part's data (activeX1.bin) belongs to it alone.
        if (ReadXml(rels, &relsDoc))
            for (MkXmlElement r = relsDoc.GetRootElement().GetFirstChildElement(L"Relationship"); r;
                 r = r.GetNextSiblingElement(L"Relationship")) {
                const MkString target = ResolveTarget(part, r.GetAttributeString(L"Target"));
                if (target.StartsWith(MkString(L"ppt") + sepStr() + L"activeX" + sepStr()) && FindFile(target) >= 0)
                    gone.AddGrow(target);
            }
        IndexRelationships(rels, false);
        if (!Delete(rels)) ok = false;
    }
    for (int i = 0; i < gone.GetSize(); ++i) {
        if (!Delete(gone[i])) ok = false;
        m_controlRefs.erase(gone[i].Std());
    }
    // Their content-type entries go with them.
    MkXmlDocument scratch;
    if (MkXmlDocument* types = OpenPart(CONTENT_TYPES_PART, &scratch)) {
        MkXmlElement root = types->GetRootElement();
        bool changed = false;
        for (MkXmlElement o = root.GetFirstChildElement(L"Override"); o;) {
            MkXmlElement next = o.GetNextSiblingElement(L"Override");
            if (gone.Find(toInternal(o.GetAttributeString(L"PartName").Mid(1))) >= 0) {
                root.RemoveChildElement(o);
                changed = true;
            }
            o = next;
        }
        if (changed && !SavePart(CONTENT_TYPES_PART, types)) ok = false;
    }
    return ok;
}

// ---------------------------------------------------------------------------
// Parts kept in memory

MkXmlDocument* MkOpenXMLPresentation::Shared(const MkString& path) {
    const MkString key = toInternal(path);
    if (key != MkString(CONTENT_TYPES_PART) && key != m_presentationPath && key != m_mainRelsPath) return nullptr;
    SharedPart& part = m_shared[key.Std()];
    if (!part.document) {
        std::unique_ptr<MkXmlDocument> document(new MkXmlDocument());
        if (IsClosed() || !MkOpenXMLArchive::ReadPart(key, document.get())) return nullptr;
        dropDoctype(document.get());
        part.document = std::move(document);
        part.dirty = false;
        ++part.version;
    }
    return part.document.get();
}

void MkOpenXMLPresentation::Changed(const MkString& path) {
    SharedPart& part = m_shared[toInternal(path).Std()];
    part.dirty = true;
    ++part.version;
}

bool MkOpenXMLPresentation::ReadPart(const MkString& path, MkXmlDocument* document) {
    if (!document) return false;
    if (MkXmlDocument* cached = Shared(path)) {
        copyDocument(*cached, document);
        return true;
    }
    return ReadXml(toInternal(path), document);
}

const MkXmlDocument* MkOpenXMLPresentation::ViewPart(const MkString& path, MkXmlDocument* scratch) {
    if (const MkXmlDocument* cached = Shared(path)) return cached;
    std::shared_ptr<const MkOpenXMLSlideDocument> parsed = ViewXml(toInternal(path));
    if (!parsed) return nullptr;
    m_lastView = std::move(parsed);  // alive until the next view
    (void)scratch;
    return m_lastView.get();
}

bool MkOpenXMLPresentation::WritePart(const MkString& path, const MkXmlDocument& document) {
    const MkString key = toInternal(path);
    if (key == MkString(CONTENT_TYPES_PART) || key == m_presentationPath || key == m_mainRelsPath) {
        SharedPart& part = m_shared[key.Std()];
        if (!part.document) part.document.reset(new MkXmlDocument());
        if (part.document.get() != &document) copyDocument(document, part.document.get());
        Changed(key);
        return true;
    }
    if (m_editing && key == m_editingPath) {
        if (&document != m_editing.get()) copyDocument(document, m_editing.get());
        m_editingChanged = true;
        return true;
    }
    if (!MkOpenXMLArchive::WritePart(path, document)) return false;
    PartKey written;
    written.hash = LastXmlHash();
    if (!GetStamp(FindFile(key), &written.stamp)) {
        m_partKeys.erase(key.Std());
        return true;
    }
    m_partKeys[key.Std()] = written;
    // A slide written is read again by the next edit of it.
    if (key.StartsWith(m_slidesFolder) && written.stamp.size <= LARGE_PART_BYTES && !FindParsed(written)) {
        std::shared_ptr<MkOpenXMLSlideDocument> copy = std::make_shared<MkOpenXMLSlideDocument>();
        copyDocument(document, copy.get());
        KeepParsed(written, std::move(copy));
    }
    return true;
}

MkXmlDocument* MkOpenXMLPresentation::OpenPart(const MkString& path, MkXmlDocument* scratch) {
    if (MkXmlDocument* cached = Shared(path)) return cached;
    return MkOpenXMLArchive::OpenPart(path, scratch);
}

bool MkOpenXMLPresentation::SavePart(const MkString& path, MkXmlDocument* document) {
    if (document && document == Shared(path)) {
        Changed(path);
        return true;
    }
    return document && WritePart(path, *document);
}

bool MkOpenXMLPresentation::FlushSharedParts() {
    bool ok = true;
    for (auto& entry : m_shared) {
        if (!entry.second.dirty || !entry.second.document) continue;
        if (IsClosed() || !MkOpenXMLArchive::WritePart(MkString(entry.first), *entry.second.document))
            ok = false;
        else
            entry.second.dirty = false;
    }
    return ok;
}

bool MkOpenXMLPresentation::Close() {
    if (IsClosed()) return true;
    const bool edited = EndSlideEdits();
    const bool flushed = FlushSharedParts() && edited;
    if (!flushed) REP_LOG_ERROR("MkOpenXMLPresentation::Close: cannot write the presentation's shared parts");
    return MkOpenXMLArchive::Close() && flushed;
}

void MkOpenXMLPresentation::IndexContentTypes() {
    MkXmlDocument* types = Shared(CONTENT_TYPES_PART);
    const int version = m_shared[MkString(CONTENT_TYPES_PART).Std()].version;
    if (!types || version == m_typeNamesVersion) return;
    m_typeNames.clear();
    for (MkXmlElement o = types->GetRootElement().GetFirstChildElement(L"Override"); o;
         o = o.GetNextSiblingElement(L"Override"))
        m_typeNames.emplace(o.GetAttributeString(L"PartName").Std(), o.GetAttributeString(L"ContentType").Std());
    m_typeNamesVersion = version;
}

bool MkOpenXMLPresentation::RegisterPart(const MkString& partName, const MkString& contentType) {
    MkXmlDocument* types = Shared(CONTENT_TYPES_PART);
    if (!types || !types->GetRootElement()) return false;
    IndexContentTypes();
    const MkString name = toStored(partName);
    if (m_typeNames.count(name.Std())) return true;
    MkXmlElement o = types->GetRootElement().AddChildElement(L"Override");
    o.AddAttributeString(L"PartName", name);
    o.AddAttributeString(L"ContentType", contentType);
    Changed(CONTENT_TYPES_PART);
    m_typeNames.emplace(name.Std(), contentType.Std());
    m_typeNamesVersion = m_shared[MkString(CONTENT_TYPES_PART).Std()].version;
    return true;
}

void MkOpenXMLPresentation::IndexMainRelationships() {
    MkXmlDocument* rels = Shared(m_mainRelsPath);
    const int version = m_shared[m_mainRelsPath.Std()].version;
    if (!rels || version == m_mainVersion) return;
    m_mainTargets.clear();
    m_mainMaxId = 0;
    for (MkXmlElement r = rels->GetRootElement().GetFirstChildElement(L"Relationship"); r;
         r = r.GetNextSiblingElement(L"Relationship")) {
        const MkString id = r.GetAttributeString(L"Id");
        m_mainTargets.emplace(r.GetAttributeString(L"Target").Std(), id);
        if (id.StartsWith(L"rId") && id.Mid(3).AsInt(0) > m_mainMaxId) m_mainMaxId = id.Mid(3).AsInt(0);
    }
    m_mainVersion = version;
}

MkString MkOpenXMLPresentation::SlideRelationshipId(const MkString& slideName) {
    IndexMainRelationships();
    auto it = m_mainTargets.find((MkString(L"slides/") + slideName).Std());
    return it == m_mainTargets.end() ? MkString() : it->second;
}

MkString MkOpenXMLPresentation::AddSlideRelationship(const MkString& slideName) {
    const MkString existing = SlideRelationshipId(slideName);
    if (!existing.IsEmpty()) return existing;
    MkXmlDocument* rels = Shared(m_mainRelsPath);
    if (!rels || !rels->GetRootElement()) return MkString();
    MkString id;
    id.MakeForm("rId%d", m_mainMaxId + 1);
    MkXmlElement r = rels->GetRootElement().AddChildElement(L"Relationship");
    r.AddAttributeString(L"Id", id);
    r.AddAttributeString(L"Type", REL_TYPE_SLIDE);
    r.AddAttributeString(L"Target", MkString(L"slides/") + slideName);
    Changed(m_mainRelsPath);
    m_mainTargets.emplace((MkString(L"slides/") + slideName).Std(), id);
    ++m_mainMaxId;
    m_mainVersion = m_shared[m_mainRelsPath.Std()].version;
    return id;
}

// ---------------------------------------------------------------------------
// The template

MkString MkOpenXMLPresentation::CheckTemplateParts() {
    // One entry per name: a name holding a NUL byte reads as the name before it, and
    // a rewritten part would then be stored twice.
    std::set<std::wstring> names;
    for (int i = 0; i < GetNumFiles(); ++i)
        if (!names.insert(GetStoredName(i).Std()).second)
            return GetStoredName(i) + L" is stored twice in the package (or its name holds a NUL byte)";
    // A part that must parse, with that root element when one is given.
    auto check = [this](const MkString& path, const wchar_t* root) -> MkString {
        const ParsedDocument view = ViewXml(path);
        if (!view) return m_readProblem;
        const MkString name = view->GetRootElement().GetName();
        if (root && name != MkString(root))
            return toStored(path) + L" has the root element " + (name.IsEmpty() ? MkString(L"(none)") : name) +
                   L", not " + root;
        return MkString();
    };
    // A relationships part that must parse and give each id once; empty for a part
    // that has none.
    auto checkRels = [this, &check](const MkString& part, ParsedDocument* rels) -> MkString {
        const MkString path = relsPartOf(part);
        if (FindFile(path) < 0) return MkString();
        const MkString problem = check(path, L"Relationships");
        if (!problem.IsEmpty()) return problem;
        *rels = ViewXml(path);
        std::set<std::wstring> ids;
        for (MkXmlElement r = (*rels)->GetRootElement().GetFirstChildElement(L"Relationship"); r;
             r = r.GetNextSiblingElement(L"Relationship"))
            if (!ids.insert(r.GetAttributeString(L"Id").Std()).second)
                return toStored(path) + L" gives the relationship id " + r.GetAttributeString(L"Id") + L" twice";
        return MkString();
    };
    MkString problem = check(CONTENT_TYPES_PART, L"Types");
    if (problem.IsEmpty()) problem = check(m_presentationPath, L"p:presentation");
    ParsedDocument mainRels;
    if (problem.IsEmpty() && FindFile(m_mainRelsPath) < 0) problem = toStored(m_mainRelsPath) + L" is missing";
    if (problem.IsEmpty()) problem = checkRels(m_presentationPath, &mainRels);
    if (!problem.IsEmpty()) return problem;

    // The slides the presentation relates, and those of the slides folder.
    std::set<std::wstring> slides;
    for (MkXmlElement r = mainRels->GetRootElement().GetFirstChildElement(L"Relationship"); r;
         r = r.GetNextSiblingElement(L"Relationship"))
        if (isSlideRelationship(r)) slides.insert(ResolveTarget(m_presentationPath, r.GetAttributeString(L"Target")).Std());
    MkStringArray listed;
    FindFiles(m_slidesFolder + L"_rels", false, &listed);
    for (int i = 0; i < listed.GetSize(); ++i)
        if (listed[i].EndsWith(L".xml.rels"))
            slides.insert(SlidePartPath(fileNameOf(listed[i]).Left(fileNameOf(listed[i]).Length() - 5)).Std());
    for (const std::wstring& slide : slides) {
        const MkString part(slide);
        ParsedDocument rels;
        problem = check(part, L"p:sld");
        if (problem.IsEmpty()) problem = checkRels(part, &rels);
        if (!problem.IsEmpty()) return problem;
        if (!rels || !part.StartsWith(m_slidesFolder)) continue;
        const MkSlideContent* record = ScanSlide(fileNameOf(part));
        if (!record || !record->HasTags()) continue;
        // What a copy of a tagged slide takes along.
        for (MkXmlElement r = rels->GetRootElement().GetFirstChildElement(L"Relationship"); r;
             r = r.GetNextSiblingElement(L"Relationship")) {
            const MkString type = r.GetAttributeString(L"Type");
            if (!type.EndsWith(L"/notesSlide") && !type.EndsWith(L"/tags") && !type.EndsWith(L"/chart") &&
                !type.EndsWith(L"/comments"))
                continue;
            const MkString target = ResolveTarget(part, r.GetAttributeString(L"Target"));
            ParsedDocument ownRels;
            if (!target.IsEmpty()) problem = check(target, nullptr);
            if (problem.IsEmpty() && !target.IsEmpty()) problem = checkRels(target, &ownRels);
            if (!problem.IsEmpty()) return problem;
        }
    }
    return MkString();
}
