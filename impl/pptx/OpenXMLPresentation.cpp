#include "impl/pptx/OpenXMLPresentation.h"
#include "LibCore/lfwFile.h"
#include "LibCore/lfwText.h"
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

bool isSlideRelationship(const OpenXMLRelationship& r) { return !r.external && endsWith(r.type, "/relationships/slide"); }

// Changes the part a relationship names, keeping its id and type.
void retarget(OpenXMLRelationships* rels, const std::string id, const std::string& part) {
    const OpenXMLRelationship* r = rels->find(id);
    if (!r) return;
    const std::string type = r->type;
    rels->drop(id);
    rels->add(type, part, false, id);
}

const char* const MODERN_COMMENTS_CONTENT_TYPE = "application/vnd.ms-powerpoint.comments+xml";

// Whether a part name lies in the slides folder itself (ppt/slides/slide1.xml,
// not ppt/slides/_rels/slide1.xml.rels), ignoring ASCII case as part names do.
bool inSlidesFolder(const std::string& name) {
    return name.size() >= 11 && lfw::text::equalNoCase(std::string_view(name).substr(0, 11), "ppt/slides/") &&
           name.find('/', 11) == std::string::npos;
}

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
std::string nextId(const OpenXMLRelationships& rels) {
    long long largest = 0;
    for (int i = 0; i < rels.count(); ++i) {
        const std::string& id = rels.at(i).id;
        if (lfw::text::startsWith(id, "rId"))
            largest = std::max(largest, static_cast<long long>(lfw::text::toInt(std::string_view(id).substr(3), 0)));
    }
    return "rId" + std::to_string(largest + 1);
}

}  // namespace

OpenXMLPresentation::OpenXMLPresentation() : m_slides(new SlideContentPtrArray(false)) {
    // Slides are parsed into slide documents, which hold the slide edits.
    package().setXmlMaker([](const std::string& part) -> std::unique_ptr<XmlDocument> {
        if (inSlidesFolder(lfw::text::startsWith(part, "/") ? part.substr(1) : part))
            return std::make_unique<OpenXMLSlideDocument>();
        return nullptr;
    });
    // Slides are many and alike: the fastest deflate level costs a fifth of the
    // default's time, and the XML it leaves is a few per cent larger.
    package().setCompressionLevel(1);
}

OpenXMLPresentation::~OpenXMLPresentation() = default;

bool OpenXMLPresentation::open(const std::string& path) {
    m_slides->deleteAll();
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
    m_problem.clear();
    if (!OpenXMLPackageEditor::open(path)) {
        // The open has reported why it failed: the look at the entries only words it.
        Problems told;
        m_problem = packageProblemOf(path, &told);
        return false;
    }
    if (!lfw::text::equalNoCase(mainPart()->name(), "ppt/presentation.xml") || !mainPart()->xml()) {
        fail("The package has no presentation part ppt/presentation.xml");
        m_main = nullptr;
        return false;
    }
    return true;
}

void OpenXMLPresentation::provideMedia(const std::string& name, const unsigned char* data, size_t size) {
    m_provided[name] = std::make_pair(data, size);
}

bool OpenXMLPresentation::hasMediaSource(const std::string& imagePath) const {
    return m_provided.count(imagePath) != 0 || lfw::FileSystem::fileExists(lfw::String(imagePath));
}

OpenXMLPart* OpenXMLPresentation::slidePart(const std::string& slideName) const {
    if (slideName.empty()) return nullptr;
    // Parts live as long as the package: a slide's part, once found, is kept by name.
    const auto known = m_slideParts.find(slideName);
    if (known != m_slideParts.end()) return known->second;
    if (m_removed.count(slideName)) return nullptr;
    OpenXMLPart* part = const_cast<OpenXMLPresentation*>(this)->package().part(slidePartName(slideName));
    if (part) m_slideParts.emplace(slideName, part);
    return part;
}

const OpenXMLSlideDocument* OpenXMLPresentation::viewSlide(const std::string& slideName) const {
    OpenXMLPart* part = slidePart(slideName);
    return part ? dynamic_cast<const OpenXMLSlideDocument*>(part->xml()) : nullptr;
}

OpenXMLSlideDocument* OpenXMLPresentation::editSlide(const std::string& slideName) {
    OpenXMLPart* part = slidePart(slideName);
    if (!part || !part->xml()) return nullptr;
    touch(slideName);
    XmlDocument* document = part->editXml();
    dropDoctype(document);
    return dynamic_cast<OpenXMLSlideDocument*>(document);
}

void OpenXMLPresentation::touch(const std::string& slideName) {
    auto it = m_scanned.find(slideName);
    if (it != m_scanned.end()) it->second.stale = true;
}

SlideContent* OpenXMLPresentation::findSlide(const std::string& tag, const std::string& slideName) {
    if (!slideName.empty()) return m_slides->getSlideByName(slideName);
    // A search by tag reads every record: edited copies must show their present names.
    if (m_listByTagStale) createSlideContentList();
    return m_slides->getSlideByTag(tag);
}

// ---------------------------------------------------------------------------
// Slide list

SlideContent* OpenXMLPresentation::scanSlide(const std::string& slideName) {
    auto cached = m_scanned.find(slideName);
    if (cached != m_scanned.end() && !cached->second.stale) return cached->second.record.get();
    OpenXMLPart* part = slidePart(slideName);
    const OpenXMLSlideDocument* slide = viewSlide(slideName);
    OpenXMLRelationships* rels = part ? part->rels() : nullptr;
    if (!slide || !rels) {
        reportError(getProblems(), "OpenXMLPresentation::CreateSlideContentList",
                    "cannot read slide part " + slidePartName(slideName));
        return nullptr;
    }
    std::unique_ptr<SlideContent> record(new SlideContent(slideName, 0, 0));
    record->relsPath = slideRelsPath(slideName);
    for (int i = 0; i < rels->count(); ++i) {
        const OpenXMLRelationship& r = rels->at(i);
        OpenXMLPart* control = endsWith(r.type, "/control") ? package().part(&r) : nullptr;
        const XmlDocument* xml = control ? control->xml() : nullptr;
        if (xml && xml->getRootElement().getAttributeString("ax:classid") == OpenXMLPlugin::CLASS_ID)
            record->addPluginPath(r.target, r.id);
    }
    const XmlElement title = slide->getTitleTextElt();
    if (title) record->slideTitle = title.getValue();
    std::vector<XmlElement> pictures;
    OpenXMLSlideDocument::findShapes(slide->getShapeTree(), "p:pic", pictures);
    for (const XmlElement& pic : pictures) {
        bool found = false;
        const std::string embed =
            pic.getFirstChildFromPath("p:blipFill/a:blip").getAttributeString("r:embed", std::string(), &found);
        const OpenXMLRelationship* r = found ? rels->find(embed) : nullptr;
        if (r && !r->target.empty()) record->addPicturePath(r->target, embed);
    }
    slide->getSlideTags(record.get());
    slide->getEmptyTextTags(&record->emptyTextTags);
    Scan& scan = m_scanned[slideName];
    scan.record = std::move(record);
    scan.stale = false;
    return scan.record.get();
}

SlideContent* OpenXMLPresentation::copyScan(const std::string& sourceName, const std::string& copyName) {
    // Only a fresh record will do: scanning the source again would replace a
    // record the slide list holds.
    const auto scanned = m_scanned.find(sourceName);
    const SlideContent* source = scanned != m_scanned.end() && !scanned->second.stale ? scanned->second.record.get() : nullptr;
    OpenXMLPart* part = slidePart(copyName);
    OpenXMLRelationships* rels = part ? part->rels() : nullptr;
    if (!source || !rels) return scanSlide(copyName);
    std::unique_ptr<SlideContent> record(new SlideContent(*source));
    record->slideName = copyName;
    record->relsPath = slideRelsPath(copyName);
    // The targets as the copy's relationships write them.
    auto retargeted = [rels](const std::vector<std::string>& ids, std::vector<std::string>* targets) {
        for (size_t i = 0; i < ids.size(); ++i)
            if (const OpenXMLRelationship* r = rels->find(ids[i])) (*targets)[i] = r->target;
    };
    retargeted(record->pluginIds, &record->pluginTargets);
    retargeted(record->pictureIds, &record->pictureTargets);
    Scan& scan = m_scanned[copyName];
    scan.record = std::move(record);
    scan.stale = false;
    return scan.record.get();
}

bool OpenXMLPresentation::createSlideContentList() {
    m_listByTagStale = false;
    m_slides->deleteAll();
    if (!isOpen()) return false;
    // The slide parts in part-number order: slide2.xml before slide10.xml.
    std::vector<std::pair<float, std::string>> ordered;
    for (int i = 0; i < package().partCount(); ++i) {
        const std::string& name = package().partAt(i)->name();
        if (!inSlidesFolder(name) || !lfw::text::equalNoCase(std::string_view(name).substr(name.size() - 4), ".xml")) continue;
        std::string slideName = name.substr(11);
        if (!m_removed.count(slideName)) ordered.emplace_back(lfw::text::firstFloat(slideName), std::move(slideName));
    }
    std::stable_sort(
        ordered.begin(), ordered.end(),
        [](const std::pair<float, std::string>& a, const std::pair<float, std::string>& b) { return a.first < b.first; });
    for (const auto& entry : ordered) {
        SlideContent* scanned = scanSlide(entry.second);
        if (!scanned) return false;
        scanned->slideRelId = slideRelationshipId(entry.second);
        if (scanned->hasTags()) m_slides->add(scanned);
    }
    return m_slides->getSize() > 0;
}

// ---------------------------------------------------------------------------
// Slide order

std::string OpenXMLPresentation::slideRelationshipId(const std::string& slideName) {
    OpenXMLRelationships* rels = mainRels();
    const OpenXMLRelationship* r = rels ? rels->find(REL_SLIDE, slidePartName(slideName), false) : nullptr;
    return r ? r->id : std::string();
}

bool OpenXMLPresentation::getPresentationSlideIdList(std::vector<std::string>* ids) {
    if (!ids || !isOpen()) return false;
    ids->clear();
    const XmlElement list = mainPart()->xml()->getRootElement().getFirstChildElement("p:sldIdLst");
    for (XmlElement id = list.getFirstChildElement(); id; id = id.getNextSiblingElement())
        ids->push_back(id.getAttributeString("r:id"));
    return !ids->empty();
}

int OpenXMLPresentation::slideCount() {
    if (!isOpen()) return 0;
    return mainPart()->xml()->getRootElement().getFirstChildElement("p:sldIdLst").getChildElementCount();
}

namespace {
// The number a slide list entry's r:id holds ("rId12": 12), 0 when none.
int listedNumber(const std::string& relId) {
    const float number = lfw::text::firstFloat(relId);
    return number < 2.99e38f && number > 0 ? static_cast<int>(number) : 0;
}
}  // namespace

void OpenXMLPresentation::walkSlideList() {
    m_listedNumbers.clear();
    const XmlElement list = mainPart()->xml()->getRootElement().getFirstChildElement("p:sldIdLst");
    for (XmlElement child = list.getFirstChildElement(); child; child = child.getNextSiblingElement()) {
        m_lastSlideId = std::max(m_lastSlideId, child.getAttributeInt("id", 0));
        ++m_listedNumbers[listedNumber(child.getAttributeString("r:id"))];
    }
    m_largestListedRelNumber = m_listedNumbers.empty() ? 0 : m_listedNumbers.rbegin()->first;
    m_listWalked = true;
}

void OpenXMLPresentation::countListed(const std::string& relId, int change) {
    if (!m_listWalked) return;  // counted when the list is walked
    const int number = listedNumber(relId);
    if ((m_listedNumbers[number] += change) <= 0) m_listedNumbers.erase(number);
    m_largestListedRelNumber = m_listedNumbers.empty() ? 0 : m_listedNumbers.rbegin()->first;
}

void OpenXMLPresentation::indexEntries() {
    if (m_entriesIndexed) return;
    m_entriesIndexed = true;
    const XmlElement root = mainPart()->xml()->getRootElement();
    auto index = [](const XmlElement& parent, const char* name, const char* attribute, EntryIndex* out) {
        std::vector<XmlElement> found;
        OpenXMLSlideDocument::findAllElements(parent, name, found);
        for (const XmlElement& e : found) {
            const char* value = e.tx()->Attribute(attribute);
            (*out)[value ? value : ""].push_back(e.tx());
        }
    };
    for (XmlElement e = root.getFirstChildFromPath("p:sldIdLst").getFirstChildElement(); e; e = e.getNextSiblingElement()) {
        const char* relId = e.tx()->Attribute("r:id");
        m_listEntries[relId ? relId : ""].push_back(e.tx());
    }
    index(root.getFirstChildElement("p:custShowLst"), "p:sld", "r:id", &m_showEntries);
    index(root.getFirstChildElement("p:extLst"), "p14:sldId", "id", &m_sectionEntries);
}

TiXmlElement* OpenXMLPresentation::listEntry(const std::string& relId) {
    indexEntries();
    const auto it = m_listEntries.find(relId);
    return it == m_listEntries.end() || it->second.empty() ? nullptr : it->second.front();
}

std::string OpenXMLPresentation::listedSlideId(const std::string& relId) {
    indexEntries();
    const auto it = m_listEntries.find(relId);
    const char* id = it == m_listEntries.end() || it->second.empty() ? nullptr : it->second.back()->Attribute("id");
    return id ? lfw::text::validUtf8(id) : std::string();
}

bool OpenXMLPresentation::addSlideToPresentationXml(const std::string& slideName, const std::string& beforeId) {
    static const char* op = "OpenXMLPresentation::AddSlideToPresentationXml";
    OpenXMLRelationships* rels = mainRels();
    std::string relId = slideRelationshipId(slideName);
    if (relId.empty() && rels && slidePart(slideName)) relId = rels->add(REL_SLIDE, slidePartName(slideName));
    if (relId.empty()) {
        reportError(getProblems(), op, "cannot relate the presentation to " + slideName);
        return false;
    }
    XmlElement root = mainPart()->editXml()->getRootElement("p:presentation");
    XmlElement list = root.getFirstChildElement("p:sldIdLst");
    if (root && !list) {
        // A presentation without slides may have no list at all: add it in its schema place.
        XmlElement before;
        for (const char* name : AFTER_SLIDE_ID_LIST)
            if ((before = root.getFirstChildElement(name))) break;
        list = before ? root.addChildElementBefore(before, "p:sldIdLst") : root.addChildElement("p:sldIdLst");
    }
    if (!m_listWalked) walkSlideList();
    const int slideId = list ? nextSlideId(list) : -1;
    if (slideId < 0) {
        // Leave no relationship to a slide that the slide list does not show.
        rels->drop(relId);
        reportError(
            getProblems(), op,
            list ? "no slide id is left free in ppt/presentation.xml" : "cannot read the slide list of ppt/presentation.xml");
        return false;
    }
    // Copies of one slide go before it one after another.
    indexEntries();
    const XmlElement beforeElement(beforeId.empty() ? nullptr : listEntry(beforeId));
    XmlElement entry = beforeElement ? list.addChildElementBefore(beforeElement, "p:sldId") : list.addChildElement("p:sldId");
    m_listEntries[relId].push_back(entry.tx());
    entry.addAttributeInt("id", slideId);
    entry.addAttributeString("r:id", relId);
    m_addedSlideId = slideId;
    countListed(relId, 1);
    return true;
}

int OpenXMLPresentation::nextSlideId(const XmlElement& list) {
    // After the largest id while there is one; then the lowest free one.
    if (m_lastSlideId < MAX_SLIDE_ID) return m_lastSlideId = std::max(m_lastSlideId + 1, MIN_SLIDE_ID);
    std::vector<int> used;
    for (XmlElement child = list.getFirstChildElement(); child; child = child.getNextSiblingElement())
        used.push_back(child.getAttributeInt("id", 0));
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

bool OpenXMLPresentation::removeSlideFromPresentationDoc(const std::string& id) {
    if (id.empty() || !isOpen()) return false;
    XmlElement list = mainPart()->editXml()->getRootElement().getFirstChildElement("p:sldIdLst");
    if (!list) return false;
    indexEntries();
    const auto entries = m_listEntries.find(id);
    if (entries != m_listEntries.end()) {
        for (TiXmlElement* e : entries->second) {
            const XmlElement child(e);
            // New slides are numbered after it still.
            m_lastSlideId = std::max(m_lastSlideId, child.getAttributeInt("id", 255));
            countListed(id, -1);
            list.removeChildElement(child);
        }
        m_listEntries.erase(entries);
    }
    // The largest slide id stays what the list held, unless ids are given out
    // from the lowest free one.
    if (m_lastSlideId >= MAX_SLIDE_ID) m_listWalked = false;
    return true;
}

void OpenXMLPresentation::redirectShowsAndSections(const std::string& id, const std::vector<OpenXMLPart*>& copies) {
    mainPart()->editXml();
    indexEntries();
    std::vector<std::string> copyRelIds, copyIds;
    for (OpenXMLPart* copy : copies) {
        copyRelIds.push_back(slideRelationshipId(fileNameOf(copy->name())));
        copyIds.push_back(listedSlideId(copyRelIds.back()));
    }
    // Replaces each entry whose `attribute` is `value` by one per copy.
    auto replace = [](EntryIndex* index, const char* attribute, const std::string& value,
                      const std::vector<std::string>& values) {
        const auto entries = value.empty() ? index->end() : index->find(value);
        if (entries == index->end()) return;
        const std::vector<TiXmlElement*> replaced = std::move(entries->second);
        index->erase(entries);
        for (TiXmlElement* e : replaced) {
            const XmlElement entry(e), parent = entry.getParentElement();
            for (const std::string& v : values) {
                const XmlElement added = parent.addChildElementBefore(entry, e->Value());
                added.addAttributeString(attribute, v);
                (*index)[v].push_back(added.tx());
            }
            parent.removeChildElement(entry);
        }
    };
    replace(&m_showEntries, "r:id", id, copyRelIds);
    replace(&m_sectionEntries, "id", listedSlideId(id), copyIds);
}

void OpenXMLPresentation::redirectReferences(OpenXMLPart* slide, const std::string& id) {
    const std::string slideName = fileNameOf(slide->name());
    std::vector<OpenXMLPart*> copies;
    for (const std::string& copy : m_copies[slideName])
        if (OpenXMLPart* part = slidePart(copy)) copies.push_back(part);
    // Custom shows and sections list the copies where the slide stood (most
    // presentations have neither: the list of slides is then not read).
    const XmlElement root = mainPart()->xml() ? mainPart()->xml()->getRootElement() : XmlElement();
    bool listed = static_cast<bool>(root.getFirstChildElement("p:custShowLst"));
    for (XmlElement ext = root.getFirstChildFromPath("p:extLst/p:ext"); ext && !listed; ext = ext.getNextSiblingElement())
        listed = static_cast<bool>(ext.getFirstChildElement("p14:sectionLst"));
    if (listed) redirectShowsAndSections(id, copies);

    // Links from other parts go to the first copy, or go with their relationship.
    for (; m_linkersFound < package().partCount(); ++m_linkersFound) {
        OpenXMLPart* source = package().partAt(m_linkersFound);
        OpenXMLRelationships* rels = source == mainPart() ? nullptr : source->rels();
        for (int k = 0; rels && k < rels->count(); ++k) {
            OpenXMLPart* linked = isSlideRelationship(rels->at(k)) ? package().part(&rels->at(k)) : nullptr;
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
        OpenXMLRelationships* rels = source->rels();
        std::vector<std::string> links, dropped;
        for (int k = 0; rels && k < rels->count(); ++k)
            if (isSlideRelationship(rels->at(k)) && package().part(&rels->at(k)) == slide) links.push_back(rels->at(k).id);
        if (!links.empty() && !copies.empty()) m_linkers[copies.front()].push_back(source);
        for (const std::string& link : links) {
            if (!copies.empty()) {
                retarget(rels, link, copies.front()->name());
            } else {
                rels->drop(link);
                dropped.push_back(link);
            }
        }
        XmlDocument* document = dropped.empty() ? nullptr : source->editXml();
        if (!document) continue;
        // The hyperlinks that named the dropped relationships go too.
        std::vector<XmlElement> gone;
        std::function<void(const XmlElement&)> collect = [&](const XmlElement& parent) {
            for (XmlElement e = parent.getFirstChildElement(); e; e = e.getNextSiblingElement()) {
                if (std::strncmp(e.tx()->Value(), "a:hlink", 7) == 0 &&
                    std::find(dropped.begin(), dropped.end(), e.getAttributeString("r:id")) != dropped.end())
                    gone.push_back(e);
                else collect(e);
            }
        };
        collect(document->getRootElement());
        for (const XmlElement& e : gone) e.getParentElement().removeChildElement(e);
        if (source->name().size() >= 11 && lfw::text::equalNoCase(std::string_view(source->name()).substr(0, 11), "ppt/slides/"))
            touch(fileNameOf(source->name()));
    }
}

bool OpenXMLPresentation::removeSlide(const std::string& id) {
    static const char* op = "OpenXMLPresentation::RemoveSlide";
    OpenXMLRelationships* rels = mainRels();
    const OpenXMLRelationship* r = rels && !id.empty() ? rels->find(id) : nullptr;
    OpenXMLPart* slide = r ? package().part(r) : nullptr;
    if (!slide) {
        reportError(getProblems(), op, "no slide with relationship id " + id);
        return false;
    }
    const std::string slideName = fileNameOf(slide->name());
    redirectReferences(slide, id);
    if (!rels->drop(id) || !removeSlideFromPresentationDoc(id)) {
        reportError(getProblems(), op, "cannot remove " + slide->name());
        return false;
    }
    // Its parts are written no more once nothing reaches them; its tree goes now.
    if (!slide->isChanged()) slide->releaseXml();
    m_removed.insert(slideName);
    m_slideParts.erase(slideName);
    m_slides->removeByName(slideName);
    m_scanned.erase(slideName);
    m_copies.erase(slideName);
    m_listByTagStale = true;
    return true;
}

// ---------------------------------------------------------------------------
// Duplication

bool OpenXMLPresentation::duplicateSlide(const std::string& name, std::string& newName) {
    static const char* op = "OpenXMLPresentation::DuplicateSlide";
    if (name.empty()) {
        reportError(getProblems(), op, "no slide name");
        return false;
    }
    OpenXMLPart* source = slidePart(name);
    if (!source || !source->xml() || !source->rels()) {
        reportError(getProblems(), op, "cannot read " + slidePartName(name) + " or its relationships");
        return false;
    }
    // Numbered after the largest relationship number in the slide list.
    if (!m_listWalked) walkSlideList();
    const XmlElement list = mainPart()->xml()->getRootElement().getFirstChildElement("p:sldIdLst");
    int number = list.getFirstChildElement() ? std::max(2, m_largestListedRelNumber + 1) : 1;
    // Never write over a slide that exists under that name. Parts stay in the
    // package once made: the numbers found taken stay taken, and are not probed
    // again for the next copy.
    if (number >= m_takenFrom && number <= m_takenTo) number = m_takenTo;
    else m_takenFrom = number;
    std::string candidate;
    for (;; ++number) {
        candidate = "slide" + std::to_string(number) + ".xml";
        if (!package().part(slidePartName(candidate))) break;
    }
    m_takenTo = number;
    OpenXMLPart* copy = package().copyPart(source, slidePartName(candidate), true);
    if (copy) {
        m_takenTo = number + 1;
        // The copy is edited next: it starts from the source's tree (a copy costs
        // less than a parse), without a DTD.
        auto document = std::make_unique<OpenXMLSlideDocument>();
        document->keepWhiteSpaceInText();
        for (const TiXmlNode* node = source->xml()->FirstChild(); node; node = node->NextSibling())
            document->LinkEndChild(node->Clone());
        dropDoctype(document.get());
        copy->setXml(std::move(document));
    }
    if (!copy || !copySlideParts(copy, source)) {
        // Nothing relates to a half copy: it is not written.
        reportError(getProblems(), op, "cannot write the copy " + candidate + " of " + name);
        if (copy) m_removed.insert(candidate);
        m_slideParts.erase(candidate);
        return false;
    }
    newName = candidate;
    m_copies[name].push_back(newName);
    if (!addSlideToPresentationXml(newName, slideRelationshipId(name))) return false;
    for (const std::string& id : idsOf(*copy->rels(), {"/comments"}))
        if (OpenXMLPart* comments = copy->related(id)) renumberComments(comments, m_addedSlideId);
    // The copy joins the list in its part-number place; the other records stay as they are.
    m_slides->removeByName(newName);
    SlideContent* record = copyScan(name, newName);
    if (!record) return false;
    record->slideRelId = slideRelationshipId(newName);
    if (record->hasTags()) m_slides->insertInOrder(record);
    m_listByTagStale = true;
    return m_slides->getSize() > 0;
}

bool OpenXMLPresentation::copySlideParts(OpenXMLPart* copy, OpenXMLPart* source) {
    OpenXMLRelationships* rels = copy->rels();
    if (!rels) return false;
    // Tags, notes and comments belong to one slide, charts too (with their
    // workbooks): the copy gets its own. The source keeps its parts: it may stay
    // in the presentation.
    for (const std::string& id : idsOf(*rels, {"/tags", "/chart", "/notesSlide", "/comments"})) {
        const std::string type = rels->find(id)->type;
        OpenXMLPart* part = package().part(rels->find(id));
        if (!part) {
            if (endsWith(type, "/comments")) continue;
            return false;
        }
        OpenXMLPart* own = nullptr;
        if (endsWith(type, "/chart")) {
            own = copyChart(part);
        } else {
            const char* family = endsWith(type, "/tags")                               ? "ppt/tags/tag1.xml"
                                 : endsWith(type, "/notesSlide")                       ? "ppt/notesSlides/notesSlide1.xml"
                                 : part->contentType() == MODERN_COMMENTS_CONTENT_TYPE ? "ppt/comments/modernComment_1.xml"
                                                                                       : "ppt/comments/comment1.xml";
            own = package().copyPart(part, package().nextPartName(family), true);
        }
        if (!own) return false;
        retarget(rels, id, own->name());
        // The notes the copy took along name the copy.
        OpenXMLRelationships* ownRels = endsWith(type, "/notesSlide") ? own->rels() : nullptr;
        for (int k = 0; ownRels && k < ownRels->count(); ++k)
            if (isSlideRelationship(ownRels->at(k)) && package().part(&ownRels->at(k)) == source)
                retarget(ownRels, ownRels->at(k).id, copy->name());
    }
    // The copy's links to its source (a slide linking to itself) name the copy.
    std::vector<std::string> self;
    for (int k = 0; k < rels->count(); ++k)
        if (isSlideRelationship(rels->at(k)) && package().part(&rels->at(k)) == source) self.push_back(rels->at(k).id);
    for (const std::string& id : self) retarget(rels, id, copy->name());
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
    std::string type = ph.getAttributeString("type", "obj");
    bool haveIdx = false;
    const std::string idx = ph.getAttributeString("idx", std::string(), &haveIdx);
    if (master && type == "ctrTitle") type = "title";
    if (master && type != "title" && type != "dt" && type != "ftr" && type != "sldNum") type = "body";
    XmlElement byType;
    for (const char* kind : {"p:sp", "p:pic"}) {
        std::vector<XmlElement> shapes;
        OpenXMLSlideDocument::findShapes(tree, kind, shapes);
        for (const XmlElement& shape : shapes) {
            const XmlElement other = OpenXMLSlideDocument::placeholderOf(shape);
            if (!other) continue;
            if (!master && haveIdx && other.getAttributeString("idx") == idx) return other;
            if (!byType && other.getAttributeString("type", "obj") == type) byType = other;
        }
    }
    return byType;
}
}  // namespace

XmlElement OpenXMLPresentation::layoutBox(const std::string& slideName, const XmlElement& ph, XmlDocument* holder) {
    // slide -> layout -> master, each found by its relationship of that kind; a
    // placeholder without a box of its own passes the question on.
    OpenXMLPart* part = slidePart(slideName);
    XmlElement wanted = ph;
    for (const bool master : {false, true}) {
        OpenXMLRelationships* rels = part ? part->rels() : nullptr;
        OpenXMLPart* next = nullptr;
        for (int i = 0; rels && i < rels->count() && !next; ++i)
            if (endsWith(rels->at(i).type, master ? "/slideMaster" : "/slideLayout")) next = package().part(&rels->at(i));
        const XmlDocument* document = next ? next->xml() : nullptr;
        if (!document) break;
        const XmlElement tree = document->getRootElement().getFirstChildFromPath("p:cSld/p:spTree");
        const XmlElement found = matchingPlaceholder(tree, wanted, master);
        // p:ph -> p:nvPr -> p:nvSpPr (or p:nvPicPr) -> the shape
        const XmlElement box =
            found.getParentElement().getParentElement().getParentElement().getFirstChildFromPath("p:spPr/a:xfrm");
        if (box.getFirstChildElement("a:ext")) {
            holder->Clear();
            holder->LinkEndChild(box.tx()->Clone());
            return holder->getRootElement();
        }
        if (!found) break;
        wanted = found;
        part = next;
    }
    return XmlElement();
}

OpenXMLSlideDocument* OpenXMLPresentation::editTaggedSlide(const char* op, const std::string& tag, const std::string& slideName,
                                                           bool byName, std::string* name) {
    SlideContent* record = byName ? m_slides->getSlideByName(slideName) : findSlide(tag, slideName);
    if (!record) {
        reportError(getProblems(), op, byName ? "no slide named " + slideName : "no slide holds the tag " + tag);
        return nullptr;
    }
    *name = record->slideName;
    m_pending = slidePart(*name);
    m_pendingChanged = m_pending && m_pending->isChanged();
    OpenXMLSlideDocument* slide = const_cast<OpenXMLSlideDocument*>(viewSlide(*name));
    if (!slide || !slide->getShapeTree()) {
        reportError(getProblems(), op, "no shape tree in " + *name);
        return nullptr;
    }
    return slide;
}

bool OpenXMLPresentation::commit(bool ok) {
    OpenXMLPart* part = m_pending;
    m_pending = nullptr;
    if (!part) return ok;
    if (ok) {
        dropDoctype(part->editXml());
        touch(fileNameOf(part->name()));
    } else if (!m_pendingChanged) {
        part->releaseXml();  // read again as stored
    }
    return ok;
}

bool OpenXMLPresentation::setText(const std::string& tag, const FormattedTextArray& runs, const std::string& newName,
                                  const std::string& slideName) {
    static const char* op = "OpenXMLPresentation::SetText";
    std::string name;
    OpenXMLSlideDocument* slide = editTaggedSlide(op, tag, slideName, false, &name);
    if (!slide) return false;
    if (slide->setText(tag, runs, newName) < 0) {
        reportError(getProblems(), op, "the shape " + tag + " has no text body");
        return commit(false);
    }
    return commit(true);
}

bool OpenXMLPresentation::setText(const std::string& tag, const std::string& text, const std::string& newName,
                                  const std::string& slideName) {
    FormattedTextArray runs;
    FormattedText run;
    run.text = text;
    runs.push_back(run);
    return setText(tag, runs, newName, slideName);
}

bool OpenXMLPresentation::setTextTag(const std::string& tag, const std::string& newName, const std::string& slideName) {
    static const char* op = "OpenXMLPresentation::SetTextTag";
    if (newName.empty()) {
        reportError(getProblems(), op, "no new name for " + tag);
        return false;
    }
    std::string name;
    OpenXMLSlideDocument* slide = editTaggedSlide(op, tag, slideName, false, &name);
    if (!slide) return false;
    if (slide->renameTextShapes(tag, newName) < 0) {
        reportError(getProblems(), op, "the shape " + tag + " has no text body");
        return commit(false);
    }
    return commit(true);
}

bool OpenXMLPresentation::relateImage(const char* op, const std::string& slideName, const std::string& imagePath,
                                      const std::string& hyperlink, std::string* imageId, std::string* linkId) {
    OpenXMLPart* part = slidePart(slideName);
    OpenXMLRelationships* rels = part ? part->rels() : nullptr;
    if (!rels) {
        reportError(getProblems(), op, "cannot read " + slideRelsPath(slideName));
        return false;
    }
    std::string media;
    const auto provided = m_provided.find(imagePath);
    if (provided != m_provided.end()) {
        media = addMedia(imagePath, provided->second.first, provided->second.second, true);
    } else {
        std::ifstream file(imagePath, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        media = addMedia(imagePath, bytes.data(), bytes.size());
    }
    if (media.empty()) {
        reportError(getProblems(), op, "cannot store the image " + imagePath);
        return false;
    }
    touch(slideName);
    // An id given twice (the same tag filled again) replaces the earlier relationship.
    if (!imageId->empty()) rels->drop(*imageId);
    *imageId = rels->add(REL_IMAGE, media, false, imageId->empty() ? nextId(*rels) : *imageId);
    if (imageId->empty()) {
        reportError(getProblems(), op, "cannot relate the image to " + slideName);
        return false;
    }
    linkId->clear();
    if (lfw::text::isBlank(hyperlink)) return true;
    *linkId = *imageId + "_C";
    rels->drop(*linkId);
    if (rels->add(REL_HYPERLINK, hyperlink, true, *linkId).empty()) {
        reportError(getProblems(), op, "cannot add the hyperlink to " + slideName);
        return false;
    }
    return true;
}

bool OpenXMLPresentation::setImage(const std::string& description, const std::string& tag, const std::string& imagePath,
                                   int imageWidth, int imageHeight, const std::string& newName, const std::string& slideName,
                                   const std::string& hyperlink) {
    static const char* op = "OpenXMLPresentation::SetImage";
    if (!hasMediaSource(imagePath)) {
        reportError(getProblems(), op, "cannot read the image " + imagePath);
        return false;
    }
    std::string name;
    OpenXMLSlideDocument* slide = editTaggedSlide(op, tag, slideName, false, &name);
    if (!slide) return false;
    OpenXMLSlideDocument::Picture picture;
    picture.description = description;
    picture.newName = newName;
    picture.imageId = tag == "SIT_PICTURE" ? "rId" + newName + "_GENERIC" : "rId" + tag;
    picture.linkId = lfw::text::isBlank(hyperlink) ? std::string() : picture.imageId + "_C";
    picture.width = imageWidth;
    picture.height = imageHeight;
    picture.inheritedBox = [&](const XmlElement& ph, XmlDocument* holder) { return layoutBox(name, ph, holder); };
    const int n = slide->setPicture(tag, picture);
    if (n <= 0) {
        reportError(getProblems(), op,
                    n < 0 ? "the picture " + tag + " has no a:blip" : "no picture named " + tag + " in " + name);
        return commit(false);
    }
    std::string imageId = picture.imageId, linkId;
    return commit(relateImage(op, name, imagePath, hyperlink, &imageId, &linkId));
}

bool OpenXMLPresentation::renamePicture(const std::string& tag, const std::string& slideName, const std::string& newName) {
    static const char* op = "OpenXMLPresentation::RenamePicture";
    std::string name;
    OpenXMLSlideDocument* slide = editTaggedSlide(op, tag, slideName, false, &name);
    if (!slide) return false;
    if (!slide->renamePicture(tag, newName)) {
        reportError(getProblems(), op, "no picture named " + tag);
        return commit(false);
    }
    return commit(true);
}

bool OpenXMLPresentation::setTable(const std::string& tag, const kiv::rep::Table& table, const std::string& newName,
                                   const std::string& slideName) {
    static const char* op = "OpenXMLPresentation::SetTable";
    if (table.rowCount() == 0 || table.columnCount() == 0) {
        reportError(getProblems(), op, "the table for " + tag + " is empty");
        return false;
    }
    std::string name;
    OpenXMLSlideDocument* slide = editTaggedSlide(op, tag, slideName, true, &name);
    if (!slide) return false;
    const int replaced = slide->setTable(tag, table, newName);
    if (replaced < 0) reportError(getProblems(), op, "the table " + tag + " has no grid or no row");
    if (replaced == 0) m_pending = nullptr;
    return commit(replaced >= 0);
}

bool OpenXMLPresentation::setGraphicFrameTag(const std::string& tag, const std::string& newName, const std::string& slideName) {
    static const char* op = "OpenXMLPresentation::SetGraphicFrameTag";
    if (newName.empty()) {
        reportError(getProblems(), op, "no new name for " + tag);
        return false;
    }
    std::string name;
    OpenXMLSlideDocument* slide = editTaggedSlide(op, tag, slideName, true, &name);
    if (!slide) return false;
    if (!slide->renameFrames(tag, newName)) {
        reportError(getProblems(), op, "no frame named " + tag + " in " + slideName);
        return commit(false);
    }
    return commit(true);
}

bool OpenXMLPresentation::setChart(const std::string& tag, const ChartData& chart, const std::string& newName,
                                   const std::string& slideName, std::string* why) {
    static const char* op = "OpenXMLPresentation::SetChart";
    if (!chart.m_table || chart.m_table->rowCount() == 0 || chart.m_table->columnCount() == 0) {
        reportError(getProblems(), op, "the table for " + tag + " is empty");
        return false;
    }
    std::string name;
    OpenXMLSlideDocument* slide = editTaggedSlide(op, tag, slideName, true, &name);
    if (!slide) return false;
    std::vector<std::string> ids;
    const int n = slide->chartFrames(tag, newName, &ids);
    std::vector<OpenXMLPart*> parts;
    for (const std::string& id : ids) parts.push_back(slidePart(name)->related(id));
    if (n < 0 || std::find(parts.begin(), parts.end(), nullptr) != parts.end()) {
        reportError(getProblems(), op, "the chart " + tag + " has no chart part");
        return commit(false);
    }
    if (n == 0) m_pending = nullptr;
    commit(true);
    for (OpenXMLPart* part : parts)
        if (!updateChart(part, chart, why)) return false;
    return true;
}

void OpenXMLPresentation::getChartParts(const std::string& tag, const std::string& slideName, std::vector<OpenXMLPart*>* parts) {
    auto holds = [&tag](const std::vector<std::string>& tags) { return std::find(tags.begin(), tags.end(), tag) != tags.end(); };
    for (int i = 0; i < m_slides->getSize(); ++i) {
        const SlideContent& record = *(*m_slides)[i];
        const std::string& name = record.slideName;
        if ((!slideName.empty() && name != slideName) ||
            (!holds(record.sit(SlideContent::KIND_CHART)) && !holds(record.ref(SlideContent::KIND_CHART))))
            continue;
        const OpenXMLSlideDocument* slide = viewSlide(name);
        if (!slide) continue;
        // chartFrames only renames when given a name: the slide stays as it is.
        std::vector<std::string> ids;
        const_cast<OpenXMLSlideDocument*>(slide)->chartFrames(tag, std::string(), &ids);
        for (const std::string& id : ids)
            if (OpenXMLPart* chart = slidePart(name)->related(id)) parts->push_back(chart);
    }
}

void OpenXMLPresentation::releaseSlide(const std::string& slideName) {
    if (OpenXMLPart* part = slidePart(slideName)) part->releaseXml();
}

// ---------------------------------------------------------------------------
// Comments

OpenXMLPart* OpenXMLPresentation::commentAuthorsPart() const {
    OpenXMLRelationships* rels = mainRels();
    for (int i = 0; rels && i < rels->count(); ++i)
        if (!rels->at(i).external && endsWith(rels->at(i).type, "/commentAuthors"))
            return const_cast<OpenXMLPresentation*>(this)->package().part(&rels->at(i));
    return nullptr;
}

void OpenXMLPresentation::readCommentIndices() {
    m_commentIndicesRead = true;
    m_lastCommentIndex.clear();
    m_commentAuthors = commentAuthorsPart();
    const XmlDocument* list = m_commentAuthors ? m_commentAuthors->xml() : nullptr;
    for (const TiXmlElement* a = list && list->RootElement() ? list->RootElement()->FirstChildElement() : nullptr; a;
         a = a->NextSiblingElement()) {
        const char* last = a->Attribute("lastIdx");
        if (a->Attribute("id")) m_lastCommentIndex[a->Attribute("id")] = std::atoll(last ? last : "0");
    }
}

void OpenXMLPresentation::renumberComments(OpenXMLPart* comments, int slideId) {
    XmlDocument* xml = comments->editXml();
    TiXmlElement* root = xml ? xml->RootElement() : nullptr;
    if (!root) return;
    if (comments->contentType() == MODERN_COMMENTS_CONTENT_TYPE) {
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
    if (!m_commentIndicesRead) readCommentIndices();
    for (TiXmlElement* cm = root->FirstChildElement(); cm; cm = cm->NextSiblingElement())
        if (cm->Attribute("authorId")) cm->SetAttribute("idx", std::to_string(++m_lastCommentIndex[cm->Attribute("authorId")]));
    XmlDocument* list = m_commentAuthors ? m_commentAuthors->editXml() : nullptr;
    for (TiXmlElement* a = list && list->RootElement() ? list->RootElement()->FirstChildElement() : nullptr; a;
         a = a->NextSiblingElement()) {
        const auto last = a->Attribute("id") ? m_lastCommentIndex.find(a->Attribute("id")) : m_lastCommentIndex.end();
        if (last != m_lastCommentIndex.end()) a->SetAttribute("lastIdx", std::to_string(last->second));
    }
}

}  // namespace rep
}  // namespace kiv
