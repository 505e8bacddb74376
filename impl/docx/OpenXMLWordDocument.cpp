#include "impl/docx/OpenXMLWordDocument.h"
#include "KivReport/Table.h"
#include "impl/common/HostText.h"
#include "impl/common/TemplateTags.h"
#include "impl/openxml/DrawingExtent.h"
#include "LibCore/lfwAssert.h"
#include "LibCore/lfwText.h"
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <memory>
#include <set>
#include <string_view>

namespace kiv {
namespace rep {

namespace {

const char* const DRAWINGML_MAIN = "http://schemas.openxmlformats.org/drawingml/2006/main";
const char* const DRAWINGML_PICTURE = "http://schemas.openxmlformats.org/drawingml/2006/picture";
const char* const GROUP_MARKER = "<group>";

// The order of the run properties we add among those a template may carry
// (the schema's order of w:rPr children).
const char* const RUN_PROPERTY_ORDER[] = {"w:rStyle",
                                          "w:rFonts",
                                          "w:b",
                                          "w:bCs",
                                          "w:i",
                                          "w:iCs",
                                          "w:caps",
                                          "w:smallCaps",
                                          "w:strike",
                                          "w:dstrike",
                                          "w:outline",
                                          "w:shadow",
                                          "w:emboss",
                                          "w:imprint",
                                          "w:noProof",
                                          "w:snapToGrid",
                                          "w:vanish",
                                          "w:webHidden",
                                          "w:color",
                                          "w:spacing",
                                          "w:w",
                                          "w:kern",
                                          "w:position",
                                          "w:sz",
                                          "w:szCs",
                                          "w:highlight",
                                          "w:u",
                                          "w:effect",
                                          "w:bdr",
                                          "w:shd",
                                          "w:fitText",
                                          "w:vertAlign",
                                          "w:rtl",
                                          "w:cs",
                                          "w:em",
                                          "w:lang",
                                          "w:eastAsianLayout",
                                          "w:specVanish",
                                          "w:oMath",
                                          "w:rPrChange"};

bool isNamed(const TiXmlElement* e, const char* name) { return e && std::strcmp(e->Value(), name) == 0; }

TiXmlElement* child(const XmlElement& e, const char* name) { return e ? e.tx()->FirstChildElement(name) : nullptr; }

XmlElement childOf(const XmlElement& e, const char* name) { return XmlElement(child(e, name)); }

// An attribute's value as XmlElement reads values: bytes that are not UTF-8 become U+FFFD.
std::string attribute(const TiXmlElement* e, const char* name) {
    const char* text = e ? e->Attribute(name) : nullptr;
    return text ? lfw::text::validUtf8(text) : std::string();
}

std::string attribute(const XmlElement& e, const char* name) { return attribute(e.tx(), name); }

void setAttribute(const XmlElement& e, const char* name, const std::string& value) {
    if (e) e.tx()->SetAttribute(name, value);
}

void setAttribute(const XmlElement& e, const char* name, long long value) {
    if (e) e.tx()->SetAttribute(name, std::to_string(value));
}

XmlElement addChild(const XmlElement& parent, const char* name) {
    if (!parent) return XmlElement();
    return XmlElement::fromNode(parent.tx()->LinkEndChild(new TiXmlElement(name)));
}

// A detached deep copy; the caller owns it.
TiXmlElement* cloneOf(const XmlElement& e) { return e ? static_cast<TiXmlElement*>(e.tx()->Clone()) : nullptr; }

void removeChildren(const XmlElement& e) {
    if (e) e.tx()->Clear();
}

// Integer value of a decimal attribute text; false for anything else.
bool parseLong(const char* text, long long* value) {
    if (!text || !*text) return false;
    char* end = nullptr;
    errno = 0;
    long long v = std::strtoll(text, &end, 10);
    if (errno != 0 || !end || *end != '\0') return false;
    *value = v;
    return true;
}

bool isBlankRun(const std::string& text) { return !text.empty() && lfw::text::isBlank(text); }

// Whether content there is inside a paragraph (runs) rather than where
// paragraphs stand: the nearest paragraph or story (body, text box, cell ...) says.
bool inParagraph(const XmlElement& e) {
    static const char* const stories[] = {"body",     "txbxContent", "tc",      "hdr",        "ftr",
                                          "footnote", "endnote",     "comment", "docPartBody"};
    for (TiXmlNode* n = e.tx(); n; n = n->Parent()) {
        TiXmlElement* a = n->ToElement();
        if (!a) continue;
        const char* name = a->Value();
        if (name[0] != 'w' || name[1] != ':') continue;
        if (name[2] == 'p' && name[3] == '\0') return true;
        for (const char* story : stories)
            if (name[2] == story[0] && std::strcmp(name + 2, story) == 0) return false;
    }
    return false;
}

void walkAll(TiXmlElement* parent, const char* name, XmlElementList* found, bool intoGroups, bool intoOthers) {
    for (TiXmlElement* c = parent->FirstChildElement(); c; c = c->NextSiblingElement()) {
        const char* value = c->Value();
        if (value[0] == name[0] && std::strcmp(value, name) == 0) found->push_back(XmlElement(c));
        if ((!intoGroups || !intoOthers) && value[0] == 'w' && std::strcmp(value, "w:sdt") == 0) {
            const bool group = OpenXMLDocument::isSdtGroup(XmlElement(c));
            if (group ? !intoGroups : !intoOthers) continue;
        }
        walkAll(c, name, found, intoGroups, intoOthers);
    }
}

TiXmlElement* walkFirst(TiXmlElement* parent, const char* name) {
    for (TiXmlElement* c = parent->FirstChildElement(); c; c = c->NextSiblingElement()) {
        if (std::strcmp(c->Value(), name) == 0) return c;
        if (isNamed(c, "w:sdt") && !OpenXMLDocument::isSdtGroup(XmlElement(c))) continue;
        if (TiXmlElement* f = walkFirst(c, name)) return f;
    }
    return nullptr;
}

// Every element named `name` in root's subtree, root included, at any depth.
// Whether content below root kept as its text (a node printing "<" + its value
// + ">") holds an element of that name.
bool holdsAsText(const TiXmlElement* root, const char* name) {
    const std::string open = std::string("<") + name;
    for (const TiXmlNode* c = root->FirstChild(); c; c = c->NextSibling()) {
        if (const TiXmlElement* e = c->ToElement()) {
            if (holdsAsText(e, name)) return true;
        } else if (c->ToUnknown()) {
            const std::string& text = c->ValueStr();
            const size_t n = open.size() - 1;
            if ((text.compare(0, n, name) == 0 && text.size() > n && (text[n] == ' ' || text[n] == '>' || text[n] == '/')) ||
                text.find(open + " ") != std::string::npos || text.find(open + ">") != std::string::npos)
                return true;
        }
    }
    return false;
}

void collectDeep(TiXmlElement* root, const char* name, std::vector<TiXmlElement*>* found) {
    if (std::strcmp(root->Value(), name) == 0) found->push_back(root);
    for (TiXmlElement* c = root->FirstChildElement(); c; c = c->NextSiblingElement()) collectDeep(c, name, found);
}

// The elements that carry drawing ids (wp:docPr) and control ids (w:sdtPr) in
// root's subtree, root included, in one walk.
void collectIdHolders(TiXmlElement* root, std::vector<TiXmlElement*>* drawings, std::vector<TiXmlElement*>* properties) {
    if (std::strcmp(root->Value(), "wp:docPr") == 0) drawings->push_back(root);
    else if (std::strcmp(root->Value(), "w:sdtPr") == 0) properties->push_back(root);
    for (TiXmlElement* c = root->FirstChildElement(); c; c = c->NextSiblingElement()) collectIdHolders(c, drawings, properties);
}

// What the numbering of a group copy changes below one of its top elements (the
// top included, every control entered), found in one walk: content controls,
// viewer controls and texts (their tags, names and macros), and the holders of
// drawing ids (wp:docPr) and control ids (w:sdtPr), in document order.
struct CopyParts {
    std::vector<TiXmlElement*> controls, viewers, texts, drawings, properties;
    void clear() {
        controls.clear();
        viewers.clear();
        texts.clear();
        drawings.clear();
        properties.clear();
    }
};

void findCopyParts(TiXmlElement* e, CopyParts* parts) {
    const char* name = e->Value();
    if (name[0] == 'w' && name[1] == ':') {
        const char* local = name + 2;
        if (std::strcmp(local, "t") == 0) parts->texts.push_back(e);
        else if (std::strcmp(local, "sdt") == 0) parts->controls.push_back(e);
        else if (std::strcmp(local, "sdtPr") == 0) parts->properties.push_back(e);
        else if (std::strcmp(local, "control") == 0) parts->viewers.push_back(e);
    } else if (std::strcmp(name, "wp:docPr") == 0) {
        parts->drawings.push_back(e);
    }
    for (TiXmlElement* c = e->FirstChildElement(); c; c = c->NextSiblingElement()) findCopyParts(c, parts);
}

// Replaces every "SIT_" by "SIT<i+1>_".
bool numberGenericTags(std::string* text, int index) {
    if (text->find("SIT_") == std::string::npos) return false;
    lfw::text::replaceAll(*text, "SIT_", "SIT" + std::to_string(index + 1) + "_");
    return true;
}

// Inserts a run property in its schema place, replacing one of the same name.
void putRunProperty(const XmlElement& rPr, const char* name, const char* val) {
    TiXmlElement* props = rPr.tx();
    TiXmlElement fresh(name);
    if (val) fresh.SetAttribute("w:val", val);
    if (TiXmlElement* same = props->FirstChildElement(name)) {
        props->ReplaceChild(same, fresh);
        return;
    }
    int rank = -1;
    const int count = static_cast<int>(sizeof(RUN_PROPERTY_ORDER) / sizeof(RUN_PROPERTY_ORDER[0]));
    for (int i = 0; i < count; ++i)
        if (std::strcmp(RUN_PROPERTY_ORDER[i], name) == 0) rank = i;
    for (TiXmlElement* c = props->FirstChildElement(); c; c = c->NextSiblingElement()) {
        int crank = -1;
        for (int i = 0; i < count; ++i)
            if (std::strcmp(RUN_PROPERTY_ORDER[i], c->Value()) == 0) crank = i;
        if (crank > rank) {
            props->InsertBeforeChild(c, fresh);
            return;
        }
    }
    props->InsertEndChild(fresh);
}

// Sum and count of the widths of a table's grid, or of its first row's cells.
void measureTemplateGrid(const XmlElement& tbl, int* columns, long long* total) {
    *columns = 0;
    *total = 0;
    if (TiXmlElement* grid = child(tbl, "w:tblGrid")) {
        for (TiXmlElement* col = grid->FirstChildElement("w:gridCol"); col; col = col->NextSiblingElement("w:gridCol")) {
            ++*columns;
            long long w = 0;
            if (parseLong(col->Attribute("w:w"), &w)) *total += w;
        }
        return;
    }
    TiXmlElement* row = child(tbl, "w:tr");
    if (!row) return;
    for (TiXmlElement* tc = row->FirstChildElement("w:tc"); tc; tc = tc->NextSiblingElement("w:tc")) {
        ++*columns;
        XmlElement w = XmlElement(tc).getFirstChildFromPath("w:tcPr/w:tcW");
        long long width = 0;
        if (w && parseLong(w.tx()->Attribute("w:w"), &width)) *total += width;
    }
}

// The c-th w:tc of a row, null past its end.
TiXmlElement* cellAt(TiXmlElement* row, int c) {
    TiXmlElement* tc = row ? row->FirstChildElement("w:tc") : nullptr;
    for (int i = 0; tc && i < c; ++i) tc = tc->NextSiblingElement("w:tc");
    return tc;
}

int cellCount(TiXmlElement* row) {
    int n = 0;
    for (TiXmlElement* tc = row ? row->FirstChildElement("w:tc") : nullptr; tc; tc = tc->NextSiblingElement("w:tc")) ++n;
    return n;
}

// A copy of run properties for new runs, with the look alone. What goes: a
// tracked change of the template's run (w:rPrChange: the new text is no
// revision, and the id must stay unique), the grey of a control showing its
// placeholder (the PlaceholderText style), and, when the properties are a
// paragraph mark's, the mark's tracked changes (w:ins, w:del, w:moveFrom,
// w:moveTo), which a run's do not allow. Null when no look is left.
TiXmlElement* runLookOf(const TiXmlElement* properties) {
    if (!properties) return nullptr;
    TiXmlElement* look = static_cast<TiXmlElement*>(properties->Clone());
    for (TiXmlElement* c = look->FirstChildElement(); c;) {
        TiXmlElement* next = c->NextSiblingElement();
        const char* style = isNamed(c, "w:rStyle") ? c->Attribute("w:val") : nullptr;
        if (isNamed(c, "w:rPrChange") || isNamed(c, "w:ins") || isNamed(c, "w:del") || isNamed(c, "w:moveFrom") ||
            isNamed(c, "w:moveTo") || (style && std::strcmp(style, "PlaceholderText") == 0))
            look->RemoveChild(c);
        c = next;
    }
    if (!look->FirstChildElement()) {
        delete look;
        return nullptr;
    }
    return look;
}

// The first element of that name in root's subtree, root included, content
// controls entered.
TiXmlElement* firstDeep(TiXmlElement* root, const char* name) {
    if (!root || std::strcmp(root->Value(), name) == 0) return root;
    for (TiXmlElement* c = root->FirstChildElement(); c; c = c->NextSiblingElement())
        if (TiXmlElement* found = firstDeep(c, name)) return found;
    return nullptr;
}

// The look of new runs that replace the content below root: that of its first
// run, or, without a run, that of its first paragraph's mark (w:pPr/w:rPr), as
// Word gives text typed into an empty paragraph. Null when neither has one.
// Content controls below root are entered when deep is set.
TiXmlElement* runLookIn(const XmlElement& root, bool deep) {
    if (!root) return nullptr;
    auto first = [&](const char* name) {
        return deep ? XmlElement(firstDeep(root.tx(), name)) : OpenXMLDocument::findFirstElement(root, name);
    };
    if (const XmlElement run = first("w:r")) return runLookOf(child(run, "w:rPr"));
    const XmlElement paragraph = isNamed(root.tx(), "w:p") ? root : first("w:p");
    TiXmlElement* pPr = child(paragraph, "w:pPr");
    return runLookOf(pPr ? pPr->FirstChildElement("w:rPr") : nullptr);
}

// Makes the value the cell's only content: one paragraph with the properties of
// the cell's first one and one run with the look of its first run. The other
// runs and paragraphs (the template's text), and anything else the cell held
// beside its properties, go: a filled cell shows its value alone.
void fillCell(TiXmlElement* tc, const std::string& text) {
    const XmlElement first(firstDeep(tc, "w:p"));
    std::unique_ptr<TiXmlElement> pPr(cloneOf(childOf(first, "w:pPr")));
    std::unique_ptr<TiXmlElement> rPr(runLookIn(first, true));
    for (TiXmlNode* c = tc->FirstChild(); c;) {
        TiXmlNode* next = c->NextSibling();
        if (!isNamed(c->ToElement(), "w:tcPr")) tc->RemoveChild(c);
        c = next;
    }
    TiXmlElement* p = tc->LinkEndChild(new TiXmlElement("w:p"))->ToElement();
    if (pPr) p->LinkEndChild(pPr.release());
    TiXmlElement* r = p->LinkEndChild(new TiXmlElement("w:r"))->ToElement();
    if (rPr) r->LinkEndChild(rPr.release());
    TiXmlElement* t = r->LinkEndChild(new TiXmlElement("w:t"))->ToElement();
    t->SetAttribute("xml:space", "preserve");
    if (!text.empty()) t->LinkEndChild(new TiXmlText(text));
}

// A w:tc must end with a paragraph: after content was taken out of one, give it an empty one.
void keepCellValid(TiXmlNode* parent) {
    TiXmlElement* cell = parent ? parent->ToElement() : nullptr;
    if (!isNamed(cell, "w:tc")) return;
    TiXmlElement* last = nullptr;
    for (TiXmlElement* c = cell->FirstChildElement(); c; c = c->NextSiblingElement())
        if (!isNamed(c, "w:tcPr")) last = c;
    if (!last || !isNamed(last, "w:p")) cell->LinkEndChild(new TiXmlElement("w:p"));
}

}  // namespace

// ---------------------------------------------------------------- tags

WordDocumentTag::WordDocumentTag(std::string name_, int snapshotIndex_, std::string groupName_, int groupIndex_, SitTypeTag kind_,
                                 bool groupMarker_)
    : name(std::move(name_)),
      groupName(std::move(groupName_)),
      groupIndex(groupIndex_),
      groupMarker(groupMarker_),
      kind(kind_),
      snapshotIndex(snapshotIndex_) {}

int WordDocumentContent::snapshotIndexOf(const std::string& name) { return TemplateTags::getTagIndex(name); }

void WordDocumentContent::addTag(std::string name, const std::string& groupName, int groupIndex, SitTypeTag kind,
                                 bool groupMarker) {
    const int number = snapshotIndexOf(name);
    m_all.emplace_back(std::move(name), number, groupName, groupIndex, kind, groupMarker);
    m_all.back().part = m_part;
}

// ---------------------------------------------------------------- element helpers

void OpenXMLDocument::findAllElements(const XmlElement& root, const char* name, XmlElementList* found, bool intoGroups,
                                      bool intoOtherControls) {
    if (!root || !name || !found) return;
    walkAll(root.tx(), name, found, intoGroups, intoOtherControls);
}

XmlElement OpenXMLDocument::findFirstElement(const XmlElement& root, const char* name) {
    if (!root || !name) return XmlElement();
    return XmlElement(walkFirst(root.tx(), name));
}

bool OpenXMLDocument::isSdtGroup(const XmlElement& element) {
    TiXmlElement* pr = child(element, "w:sdtPr");
    return pr && pr->FirstChildElement("w:group");
}

bool OpenXMLDocument::isStdAroundContent(const XmlElement& element, const std::string& tagName) {
    if (!element) return false;
    std::vector<TiXmlElement*> found;
    if (tagName == "SIT_CHART") collectDeep(element.tx(), "c:chart", &found);
    else if (tagName == "SIT_TABLE") collectDeep(element.tx(), "w:tbl", &found);
    else return false;
    // The element itself does not count as its own descendant.
    return (!found.empty() && !(found.size() == 1 && found[0] == element.tx())) ||
           (tagName == "SIT_TABLE" && holdsAsText(element.tx(), "w:tbl"));
}

XmlElement OpenXMLDocument::getAncestor(const XmlElement& element, const char* name) {
    for (TiXmlNode* n = element.tx(); n; n = n->Parent()) {
        TiXmlElement* e = n->ToElement();
        if (e && std::strcmp(e->Value(), name) == 0) return XmlElement(e);
    }
    return XmlElement();
}

bool OpenXMLDocument::getShapePosAndSize(const XmlElement& shape, int* left, int* top, int* width, int* height, bool sizeOnly) {
    if (!isNamed(shape.tx(), "v:shape")) return false;
    const std::string style = attribute(shape, "style");
    const int needed = sizeOnly ? 2 : 4;
    int read = 0;
    // The properties, split at every ";" (an empty one after a last ";").
    for (size_t begin = 0;;) {
        const size_t end = std::min(style.find(';', begin), style.size());
        const std::string_view piece(style.data() + begin, end - begin);
        const size_t colon = piece.find(':');
        const std::string_view property = lfw::text::trimmed(piece.substr(0, colon));
        int* target = nullptr;
        if (property == "left") target = left;
        else if (property == "top") target = top;
        else if (property == "width") target = width;
        else if (property == "height") target = height;
        if (property == "left" || property == "top" || property == "width" || property == "height") {
            const float number = colon == std::string_view::npos ? FLT_MAX : lfw::text::firstFloat(piece.substr(colon + 1));
            if (number == FLT_MAX) return false;
            double scale = 0.0;
            if (piece.find("pt") != std::string_view::npos) scale = 12700.0;
            else if (piece.find("in") != std::string_view::npos) scale = 914400.0;
            if (scale > 0.0) {
                const double emu = std::trunc(static_cast<double>(number) * scale);
                if (!(emu >= INT_MIN && emu <= INT_MAX)) return false;
                if (target) *target = static_cast<int>(emu);
            }
            if (++read == needed) return true;
        }
        if (end == style.size()) return false;
        begin = end + 1;
    }
}

// ---------------------------------------------------------------- id registry

void WordIdRegistry::visit(const XmlElement& root, int delta) {
    if (!root) return;
    std::vector<TiXmlElement*> drawings, properties;
    collectIdHolders(root.tx(), &drawings, &properties);
    for (TiXmlElement* d : drawings) {
        long long id = 0;
        if (!parseLong(d->Attribute("id"), &id)) continue;
        m_drawing[id] += delta;
        if (delta > 0 && id > m_drawingMax) m_drawingMax = id;
    }
    for (TiXmlElement* pr : properties) {
        TiXmlElement* idElement = pr->FirstChildElement("w:id");
        long long id = 0;
        if (!idElement || !parseLong(idElement->Attribute("w:val"), &id)) continue;
        m_control[id] += delta;
        if (delta > 0 && id > m_controlMax) m_controlMax = id;
    }
}

void WordIdRegistry::collect(const XmlElement& root) { visit(root, 1); }

void WordIdRegistry::release(const XmlElement& root) { visit(root, -1); }

int WordIdRegistry::next(Counts* counts, long long* max) {
    // Both kinds of id are 32-bit in the schema; stay within int.
    if (*max < 1) *max = 0;
    if (*max < INT_MAX) {
        ++*max;
        (*counts)[*max] += 1;
        return static_cast<int>(*max);
    }
    for (long long id = 1; id < INT_MAX; ++id) {
        auto it = counts->find(id);
        if (it == counts->end() || it->second <= 0) {
            (*counts)[id] += 1;
            return static_cast<int>(id);
        }
    }
    return 0;
}

int WordIdRegistry::claim(Counts* counts, long long* max, long long wanted) {
    if (wanted >= 1 && wanted < INT_MAX) {
        auto it = counts->find(wanted);
        if (it == counts->end() || it->second <= 0) {
            (*counts)[wanted] += 1;
            if (wanted > *max) *max = wanted;
            return static_cast<int>(wanted);
        }
    }
    return next(counts, max);
}

void WordIdRegistry::renumber(const std::vector<TiXmlElement*>& drawings, const std::vector<TiXmlElement*>& properties,
                              int sdtSuffix) {
    for (TiXmlElement* d : drawings) {
        long long id = -1;
        parseLong(d->Attribute("id"), &id);
        d->SetAttribute("id", std::to_string(claimDrawingId(id)));
    }
    for (TiXmlElement* pr : properties) {
        TiXmlElement* idElement = pr->FirstChildElement("w:id");
        if (!idElement) continue;
        const char* old = idElement->Attribute("w:val");
        long long wanted = -1;
        if (sdtSuffix >= 0) {
            const std::string text = std::string(old ? old : "") + std::to_string(sdtSuffix);
            if (!parseLong(text.c_str(), &wanted)) wanted = -1;
        } else if (!parseLong(old, &wanted)) {
            wanted = -1;
        }
        idElement->SetAttribute("w:val", std::to_string(claimControlId(wanted)));
    }
}

// ---------------------------------------------------------------- reading

XmlElement OpenXMLWordDocument::getBody() const {
    TiXmlElement* root = const_cast<OpenXMLWordDocument*>(this)->RootElement();
    if (!isNamed(root, "w:document")) return XmlElement();
    return XmlElement(root->FirstChildElement("w:body"));
}

XmlElement OpenXMLWordDocument::getContentRoot() const {
    TiXmlElement* root = const_cast<OpenXMLWordDocument*>(this)->RootElement();
    if (isNamed(root, "w:document")) return XmlElement(root->FirstChildElement("w:body"));
    for (const char* story : {"w:hdr", "w:ftr", "w:footnotes", "w:endnotes"})
        if (isNamed(root, story)) return XmlElement(root);
    return XmlElement();
}

std::string OpenXMLWordDocument::getSdtName(const XmlElement& sdt) {
    TiXmlElement* pr = child(sdt, "w:sdtPr");
    return attribute(pr ? pr->FirstChildElement("w:tag") : nullptr, "w:val");
}

bool OpenXMLWordDocument::isInSdtGroup(const XmlElement& element) {
    for (TiXmlNode* n = element.tx(); n; n = n->Parent()) {
        TiXmlElement* e = n->ToElement();
        if (e && isSdtGroup(XmlElement(e))) return true;
    }
    return false;
}

bool OpenXMLWordDocument::hasTable(const XmlElement& sdt) {
    if (!sdt) return false;
    if (holdsAsText(sdt.tx(), "w:tbl") || findFirstElement(sdt, "w:tbl")) return true;
    return static_cast<bool>(getAncestor(sdt.getParentElement(), "w:tbl"));
}

namespace {

// The kind of a content control's tag as its name tells it; *tableWord is set
// for the name of a table, whose kind is a table's only when the control holds
// or lies in a table.
SitTypeTag kindOfName(const std::string& name, bool* tableWord) {
    *tableWord = false;
    const std::string& full = name;
    if (full.find("SIT") == std::string::npos || full.find('_') == std::string::npos) return SIT_TYPE_NONE;
    // The kind word follows the first "_" of the name without its "REF_"s.
    std::string stripped;
    const std::string* plain = &full;
    if (full.find("REF_") != std::string::npos) {
        stripped = full;
        for (size_t at = stripped.find("REF_"); at != std::string::npos; at = stripped.find("REF_", at)) stripped.erase(at, 4);
        plain = &stripped;
    }
    const size_t underscore = plain->find('_');
    const size_t start = underscore == std::string::npos ? plain->size() : underscore + 1;
    const auto is = [&](const char* word) { return plain->compare(start, std::string::npos, word) == 0; };
    if (is("PICTURE")) return SIT_TYPE_PICTURE;
    if (is("TEXT")) return SIT_TYPE_TEXT;
    if (is("TITLE")) return SIT_TYPE_TITLE;
    if (is("TABLE")) {
        *tableWord = true;
        return SIT_TYPE_NONE;
    }
    if (is("CHART")) return SIT_TYPE_CHART;
    if (start < plain->size() && (*plain)[start] == '$') return SIT_TYPE_MACRO;
    return SIT_TYPE_NONE;
}

// The kind of the tag of a content control that is not a group.
SitTypeTag kindOfControl(const std::string& name, const XmlElement& sdt) {
    bool tableWord = false;
    const SitTypeTag kind = kindOfName(name, &tableWord);
    return tableWord && OpenXMLWordDocument::hasTable(sdt) ? SIT_TYPE_TABLE : kind;
}

// The kind of the name of a viewer control.
SitTypeTag kindOfViewer(const std::string& name) {
    return name.find("SIT") != std::string::npos && name.find('_') != std::string::npos && name.find("MDLX") != std::string::npos
               ? SIT_TYPE_MDLX
               : SIT_TYPE_NONE;
}

// Records one control without looking at the controls below it.
void recordOne(const XmlElement& sdt, const std::string& groupName, int groupIndex, WordDocumentContent& content, bool* isGroup) {
    *isGroup = OpenXMLDocument::isSdtGroup(sdt);
    if (*isGroup) {
        content.addTag(GROUP_MARKER, groupName, groupIndex, SIT_TYPE_NONE, true);
        return;
    }
    std::string name = OpenXMLWordDocument::getSdtName(sdt);
    const SitTypeTag kind = kindOfControl(name, sdt);
    content.addTag(std::move(name), groupName, groupIndex, kind, false);
}

void recordControl(const XmlElement& control, const std::string& groupName, int groupIndex, WordDocumentContent& content) {
    const std::string name = attribute(control, "w:name");
    content.addTag(name, groupName, groupIndex, kindOfViewer(name), false);
}

// The nearest content control that encloses the element, null at top level.
TiXmlElement* enclosingControl(TiXmlElement* e) {
    for (TiXmlNode* n = e->Parent(); n; n = n->Parent()) {
        TiXmlElement* p = n->ToElement();
        if (isNamed(p, "w:sdt")) return p;
    }
    return nullptr;
}

}  // namespace

void OpenXMLWordDocument::getElementSdtContent(const XmlElement& sdt, const std::string& groupName, int groupIndex,
                                               WordDocumentContent& content) const {
    bool isGroup = false;
    recordOne(sdt, groupName, groupIndex, content, &isGroup);
    if (isGroup || !sdt) return;
    // Every control below is recorded once for each control that encloses it, with
    // that control's name as group name. Controls directly below are recorded with
    // their own subtrees; deeper ones are recorded here once more for this control.
    XmlElementList below;
    findAllElements(sdt, "w:sdt", &below, true, true);
    if (below.empty()) return;
    const std::string name = getSdtName(sdt);
    for (const XmlElement& inner : below) {
        if (enclosingControl(inner.tx()) == sdt.tx()) {
            getElementSdtContent(inner, name, -1, content);
        } else {
            bool innerGroup = false;
            recordOne(inner, name, -1, content, &innerGroup);
        }
    }
}

void OpenXMLWordDocument::getElementControlsContent(const XmlElement& element, const std::string& groupName, int groupIndex,
                                                    WordDocumentContent& content) const {
    XmlElementList controls;
    findAllElements(element, "w:control", &controls, false, false);
    for (const XmlElement& control : controls) recordControl(control, groupName, groupIndex, content);
}

void OpenXMLWordDocument::getDocumentContent(WordDocumentContent& content) const {
    const XmlElement root = getContentRoot();
    if (!root) return;
    // Only the body's groups are repeated: elsewhere a group is no group of the
    // report, and the tags in it are recorded outside groups.
    const bool body = isNamed(root.tx(), "w:body");
    XmlElementList top;
    findAllElements(root, "w:sdt", &top, false, false);
    int counter = 0;
    for (const XmlElement& sdt : top) {
        if (isSdtGroup(sdt)) {
            // Everything in a group is repeated with it, also inside other controls
            // (a repeating section) and groups in it: each is recorded once, in the group.
            const std::string groupName = getSdtName(sdt);
            const int index = body ? counter++ : -1;
            XmlElementList inner, controls;
            findAllElements(sdt, "w:sdt", &inner, true, true);
            bool isGroup = false;
            for (const XmlElement& e : inner) recordOne(e, groupName, index, content, &isGroup);
            findAllElements(sdt, "w:control", &controls, true, true);
            for (const XmlElement& control : controls) recordControl(control, groupName, index, content);
        }
        getElementSdtContent(sdt, std::string(), -1, content);
    }
    getElementControlsContent(root, std::string(), -1, content);
}

void OpenXMLWordDocument::getTagNames(const WordControlIndex& index, bool inStory, WordTagNames* names) const {
    const XmlElement root = getContentRoot();
    if (!root || !names) return;
    // getDocumentContent records every content control, a group as a marker,
    // and the viewer controls outside content controls and in top-level groups.
    XmlElementList viewers;
    findAllElements(root, "w:control", &viewers, false, false);
    for (const auto& tagged : index.byTag()) {
        const std::string name = lfw::text::validUtf8(tagged.first);
        bool tableWord = false;
        const SitTypeTag kind = kindOfName(name, &tableWord);
        bool added[2] = {false, false};  // as the kind of the name; a table's
        for (const XmlElement& sdt : tagged.second) {
            if (isSdtGroup(sdt)) {
                if (!enclosingControl(sdt.tx())) findAllElements(sdt, "w:control", &viewers, true, true);
                continue;
            }
            if (added[0] && (added[1] || !tableWord)) continue;  // nothing more to add
            const bool table = tableWord && hasTable(sdt);
            if (added[table]) continue;
            added[table] = true;
            names->add(table ? SIT_TYPE_TABLE : kind, name, inStory);
        }
    }
    for (const XmlElement& viewer : viewers) {
        const std::string name = attribute(viewer, "w:name");
        names->add(kindOfViewer(name), name, inStory);
    }
}

void WordTagNames::add(SitTypeTag kind, const std::string& name, bool inStory) {
    const int list = listOf(kind);
    if (list >= 0) (inStory ? m_stories : m_body)[list].insert(name);
}

bool WordTagNames::has(SitTypeTag kind, const std::string& name, bool bodyOnly) const {
    const int list = listOf(kind);
    return list >= 0 && (m_body[list].count(name) != 0 || (!bodyOnly && m_stories[list].count(name) != 0));
}

int WordTagNames::listOf(SitTypeTag kind) {
    switch (static_cast<int>(kind)) {
    case 1:
    case 2: return 0;
    case 5:
    case 6: return 1;
    case 3:
    case 4: return 2;
    case 7:
    case 8: return 3;
    case 11:
    case 12: return 4;
    case 15:
    case 16: return 5;
    case -1: return 6;
    case 9:
    case 10: return 7;
    default: return -1;
    }
}

// ---------------------------------------------------------------- groups

namespace {

void numberControl(const XmlElement& sdt, int index) {
    TiXmlElement* pr = child(sdt, "w:sdtPr");
    TiXmlElement* tag = pr ? pr->FirstChildElement("w:tag") : nullptr;
    const char* value = tag ? tag->Attribute("w:val") : nullptr;
    if (!value || !std::strstr(value, "SIT_")) return;
    // numberGenericTags on the UTF-8 text.
    const std::string numbered = "SIT" + std::to_string(index + 1) + "_";
    std::string text = value;
    for (size_t at = text.find("SIT_"); at != std::string::npos; at = text.find("SIT_", at + numbered.size()))
        text.replace(at, 4, numbered);
    tag->SetAttribute("w:val", text);
}

void numberViewer(const XmlElement& control, int index) {
    std::string name = attribute(control, "w:name");
    if (numberGenericTags(&name, index)) setAttribute(control, "w:name", name);
}

// The text with the w14:paraId and w14:textId attributes of printed XML left
// out. A '"' stands escaped in printed texts and attribute values, so the
// sequence ` w14:paraId="` only ever starts such an attribute.
bool dropIdsInText(std::string* text) {
    size_t at = text->find(" w14:");
    if (at == std::string::npos) return false;
    std::string out;
    out.reserve(text->size());
    size_t from = 0;
    for (; at != std::string::npos; at = text->find(" w14:", at)) {
        if (text->compare(at + 5, 8, "paraId=\"") != 0 && text->compare(at + 5, 8, "textId=\"") != 0) {
            at += 5;
            continue;
        }
        const size_t end = text->find('"', at + 13);
        if (end == std::string::npos) break;
        out.append(*text, from, at - from);
        from = at = end + 1;
    }
    if (from == 0) return false;
    out.append(*text, from, std::string::npos);
    text->swap(out);
    return true;
}

// Upper-case ASCII.
std::string upper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

// The field instruction with the bookmark it names renamed, when that bookmark
// is in `renamed`: REF, PAGEREF and NOTEREF name it as their first argument
// (quoted or not), and a bookmark name alone is a REF to it.
bool retargetField(std::string* instruction, const std::map<std::string, std::string>& renamed) {
    static const char* const blanks = " \t\r\n";
    const size_t word = instruction->find_first_not_of(blanks);
    if (word == std::string::npos) return false;
    size_t name = word, end = instruction->find_first_of(" \t\r\n\\", word);
    const std::string keyword = upper(instruction->substr(word, end == std::string::npos ? end : end - word));
    if (keyword == "REF" || keyword == "PAGEREF" || keyword == "NOTEREF") {
        name = end == std::string::npos ? end : instruction->find_first_not_of(blanks, end);
        if (name == std::string::npos) return false;
        if ((*instruction)[name] == '"') end = instruction->find('"', ++name);
        else end = instruction->find_first_of(" \t\r\n\\", name);
    }
    if (end == std::string::npos) end = instruction->size();
    const auto it = renamed.find(instruction->substr(name, end - name));
    if (it == renamed.end()) return false;
    instruction->replace(name, end - name, it->second);
    return true;
}

// What a copy of a group holds that must be its own, found in one walk.
struct CopyMarksFound {
    std::vector<TiXmlElement*> starts, ends, dropped;  // bookmarks; comment anchors
    std::vector<TiXmlElement*> revisions, rangeEnds;   // revision marks; ends of their ranges
    std::vector<TiXmlElement*> fields, links;          // field parts in order; w:hyperlink with w:anchor
};

// What an element is among the marks a copy separates.
enum CopyMark { NO_MARK, BOOKMARK_START, BOOKMARK_END, COMMENT_ANCHOR, REVISION, RANGE_END, FIELD_PART, LINK };

CopyMark copyMarkOf(const TiXmlElement* e) {
    const char* name = e->Value();
    if (std::strcmp(name, "w:bookmarkStart") == 0) return BOOKMARK_START;
    if (std::strcmp(name, "w:bookmarkEnd") == 0) return BOOKMARK_END;
    if (std::strncmp(name, "w:comment", 9) == 0) return COMMENT_ANCHOR;
    if ((e->Attribute("w:author") || std::strcmp(name, "w:tblGridChange") == 0) && e->Attribute("w:id")) return REVISION;
    if (std::strstr(name, "RangeEnd") && e->Attribute("w:id")) return RANGE_END;
    if (std::strcmp(name, "w:fldSimple") == 0 || std::strcmp(name, "w:fldChar") == 0 || std::strcmp(name, "w:instrText") == 0)
        return FIELD_PART;
    if (std::strcmp(name, "w:hyperlink") == 0 && e->Attribute("w:anchor")) return LINK;
    return NO_MARK;
}

// Whether a copy of the element would hold marks CopyMarks::Separate changes
// beside paragraph ids: bookmarks, comment anchors, revision marks or the ends
// of their ranges (fields and links change only with a bookmark).
bool holdsCopyMarks(const TiXmlElement* root) {
    for (const TiXmlElement* c = root->FirstChildElement(); c; c = c->NextSiblingElement()) {
        const CopyMark mark = copyMarkOf(c);
        if ((mark != NO_MARK && mark != FIELD_PART && mark != LINK) || holdsCopyMarks(c)) return true;
    }
    return false;
}

// Leaves out the paragraph ids of an element (w14:paraId, w14:textId).
void dropParagraphIdAttributes(TiXmlElement* e) {
    for (const TiXmlAttribute* a = e->FirstAttribute(); a; a = a->Next()) {
        if (std::strncmp(a->Name(), "w14:", 4) != 0) continue;
        e->RemoveAttribute("w14:paraId");
        e->RemoveAttribute("w14:textId");
        return;
    }
}

// The same in content kept as text.
void dropParagraphIdsInText(TiXmlUnknown* asText) {
    if (asText->ValueStr().find(" w14:") == std::string::npos) return;
    std::string text = asText->ValueStr();
    if (dropIdsInText(&text)) asText->SetValue(text);
}

void findCopyMarks(TiXmlNode* node, CopyMarksFound* found) {
    if (TiXmlUnknown* asText = node->ToUnknown()) {
        dropParagraphIdsInText(asText);
        return;
    }
    TiXmlElement* e = node->ToElement();
    if (!e) return;
    dropParagraphIdAttributes(e);
    switch (copyMarkOf(e)) {
    case BOOKMARK_START: found->starts.push_back(e); break;
    case BOOKMARK_END: found->ends.push_back(e); break;
    case COMMENT_ANCHOR: found->dropped.push_back(e); break;
    case REVISION: found->revisions.push_back(e); break;
    case RANGE_END: found->rangeEnds.push_back(e); break;
    case FIELD_PART: found->fields.push_back(e); break;
    case LINK: found->links.push_back(e); break;
    case NO_MARK: break;
    }
    for (TiXmlNode* c = e->FirstChild(); c; c = c->NextSibling()) findCopyMarks(c, found);
}

// The text of a complex field's instruction (its w:instrText parts) renamed as
// retargetField does; the whole instruction goes into the first part.
void retargetComplexField(const std::vector<TiXmlElement*>& parts, const std::map<std::string, std::string>& renamed) {
    std::string instruction;
    for (TiXmlElement* part : parts)
        if (const char* text = part->GetText()) instruction += text;
    if (parts.empty() || !retargetField(&instruction, renamed)) return;
    for (TiXmlElement* part : parts) part->Clear();
    parts[0]->SetAttribute("xml:space", "preserve");
    parts[0]->LinkEndChild(new TiXmlText(instruction));
}

// The marks of a document that the copies of a group must not repeat: bookmark
// names, and the ids that bookmarks and revision marks share (Word keeps them
// unique together), so that every copy after the first gets marks of its own.
class CopyMarks {
public:
    void collect(TiXmlElement* root) {
        if (std::strcmp(root->Value(), "w:bookmarkStart") == 0)
            if (const char* name = root->Attribute("w:name")) m_names.insert(name);
        long long id = 0;
        if (parseLong(root->Attribute("w:id"), &id) && id > m_maxId) m_maxId = id;
        for (TiXmlElement* c = root->FirstChildElement(); c; c = c->NextSiblingElement()) collect(c);
    }
    // In a copy after the first: a bookmark with both ends in the copy gets a new
    // id and the name with the copy's number, and the fields and links of the
    // copy that name it follow; other bookmark ends and comment anchors are left
    // out. Revision marks get new ids (the ends of their ranges with them), and
    // paragraph ids (w14:paraId, w14:textId) go: Word gives them again.
    void separate(const std::vector<TiXmlElement*>& tops, int number) {
        CopyMarksFound found;
        for (TiXmlElement* top : tops) findCopyMarks(top, &found);
        std::map<std::string, std::string> ended, renumbered, renamed;
        for (TiXmlElement* end : found.ends) ended[end->Attribute("w:id") ? end->Attribute("w:id") : ""];
        for (TiXmlElement* start : found.starts) {
            const std::string id = start->Attribute("w:id") ? start->Attribute("w:id") : "";
            if (!ended.count(id) || renumbered.count(id)) {
                found.dropped.push_back(start);
                continue;
            }
            renumbered[id] = std::to_string(++m_maxId);
            start->SetAttribute("w:id", renumbered[id]);
            const std::string name = start->Attribute("w:name") ? start->Attribute("w:name") : "";
            start->SetAttribute("w:name", renamed[name] = nameFor(name, number));
        }
        for (TiXmlElement* end : found.ends) {
            auto it = renumbered.find(end->Attribute("w:id") ? end->Attribute("w:id") : "");
            if (it == renumbered.end()) found.dropped.push_back(end);
            else end->SetAttribute("w:id", it->second);
        }
        std::map<std::string, std::string> revised;
        for (TiXmlElement* mark : found.revisions) {
            const std::string fresh = std::to_string(++m_maxId);
            revised[mark->Attribute("w:id")] = fresh;
            mark->SetAttribute("w:id", fresh);
        }
        for (TiXmlElement* end : found.rangeEnds) {
            auto it = revised.find(end->Attribute("w:id"));
            end->SetAttribute("w:id", it != revised.end() ? it->second : std::to_string(++m_maxId));
        }
        if (!renamed.empty()) retarget(found, renamed);
        for (TiXmlElement* e : found.dropped) e->Parent()->RemoveChild(e);
    }

private:
    // Fields (simple and complex, nested too) and links of the copy that name a renamed bookmark.
    static void retarget(const CopyMarksFound& found, const std::map<std::string, std::string>& renamed) {
        struct Open {
            std::vector<TiXmlElement*> parts;
            bool instruction = true;
        };
        std::vector<Open> open;
        for (TiXmlElement* e : found.fields) {
            if (std::strcmp(e->Value(), "w:fldSimple") == 0) {
                std::string instruction = e->Attribute("w:instr") ? e->Attribute("w:instr") : "";
                if (retargetField(&instruction, renamed)) e->SetAttribute("w:instr", instruction);
            } else if (std::strcmp(e->Value(), "w:instrText") == 0) {
                if (!open.empty() && open.back().instruction) open.back().parts.push_back(e);
            } else {
                const char* type = e->Attribute("w:fldCharType");
                if (type && std::strcmp(type, "begin") == 0) {
                    open.emplace_back();
                } else if (type && std::strcmp(type, "separate") == 0 && !open.empty()) {
                    open.back().instruction = false;
                } else if (type && std::strcmp(type, "end") == 0 && !open.empty()) {
                    retargetComplexField(open.back().parts, renamed);
                    open.pop_back();
                }
            }
        }
        for (const Open& field : open) retargetComplexField(field.parts, renamed);  // ending after the copy
        for (TiXmlElement* link : found.links) {
            auto it = renamed.find(link->Attribute("w:anchor"));
            if (it != renamed.end()) link->SetAttribute("w:anchor", it->second);
        }
    }

    // "<name>_<number>", within Word's 40 characters, not yet taken.
    std::string nameFor(const std::string& name, int number) {
        for (int extra = 0;; ++extra) {
            const std::string suffix = "_" + std::to_string(number) + (extra ? "_" + std::to_string(extra) : "");
            size_t keep = std::min(name.size(), suffix.size() < 40 ? 40 - suffix.size() : 0);
            while (keep > 0 && keep < name.size() && (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80) --keep;
            const std::string candidate = name.substr(0, keep) + suffix;
            if (m_names.insert(candidate).second) return candidate;
        }
    }

    std::set<std::string> m_names;
    long long m_maxId = 0;
};

}  // namespace

void OpenXMLWordDocument::dropParagraphIds(TiXmlNode* node) {
    if (TiXmlUnknown* asText = node ? node->ToUnknown() : nullptr) {
        dropParagraphIdsInText(asText);
    } else if (TiXmlElement* e = node ? node->ToElement() : nullptr) {
        dropParagraphIdAttributes(e);
        for (TiXmlNode* c = e->FirstChild(); c; c = c->NextSibling()) dropParagraphIds(c);
    }
}

namespace {

// Numbers the generic tags of the macros ("$(...)") in a w:t.
void numberMacros(const XmlElement& t, int index) {
    const char* raw = t.tx()->GetText();
    if (!raw || !std::strstr(raw, "$(")) return;
    std::string text = lfw::text::validUtf8(raw);
    const std::string original = text;
    size_t start = text.find("$(");
    while (start != std::string::npos) {
        const size_t end = text.find(')', start);
        if (end == std::string::npos) break;
        const std::string piece = text.substr(start, end - start + 1);
        std::string changed = piece;
        size_t next = end + 1;
        if (numberGenericTags(&changed, index) && changed != piece) {
            // Numbering only lengthens a piece.
            lfw::text::replaceAll(text, piece, changed);
            next = end + 1 + changed.size() - piece.size();
        }
        start = text.find("$(", next);
    }
    if (text != original) t.setValue(text);
}

// Whether a group is unrolled for that tag name (always for an empty name).
bool groupHoldsTag(const XmlElement& group, const std::string& tagName) {
    if (tagName.empty()) return true;
    XmlElementList inner;
    OpenXMLDocument::findAllElements(group, "w:sdt", &inner, true, true);
    for (const XmlElement& sdt : inner) {
        if (OpenXMLWordDocument::getSdtName(sdt) != tagName) continue;
        if (tagName == "SIT_CHART" || tagName == "SIT_TABLE") return OpenXMLDocument::isStdAroundContent(sdt, tagName);
        return true;
    }
    XmlElementList controls;
    OpenXMLDocument::findAllElements(group, "w:control", &controls, true, true);
    for (const XmlElement& control : controls)
        if (attribute(control, "w:name") == tagName) return true;
    return false;
}

}  // namespace

bool OpenXMLWordDocument::expandGroup(const std::vector<int>& snapshotIndices, const std::string& tagName,
                                      const std::function<void(const XmlElementList&)>& made) {
    const XmlElement body = getBody();
    if (!body) return false;
    XmlElementList controls;
    findAllElements(body, "w:sdt", &controls, true, false);

    WordIdRegistry ids;
    CopyMarks marks;
    bool registryReady = false;
    bool ok = true;
    for (size_t n = controls.size(); n-- > 0;) {
        const XmlElement group = controls[n];
        if (!isSdtGroup(group)) continue;
        // The decision reads the group only; nothing in it changes before it is made.
        if (!groupHoldsTag(group, tagName)) continue;
        if (findFirstElement(group, "c:chart")) continue;
        TiXmlElement* content = child(group, "w:sdtContent");
        if (!content || !content->FirstChildElement()) {
            ok = false;  // nothing to repeat: the group stays as it is
            continue;
        }
        TiXmlNode* parent = group.tx()->Parent();
        if (!parent) continue;
        if (!registryReady) {
            ids.collect(body);
            marks.collect(body.tx());
            registryReady = true;
        }
        // The group's own ids go with it; its copies may take them.
        ids.release(group);
        // The copies after the first are made from a copy of the content without
        // paragraph ids; unless the content holds other marks, that is all that
        // separates them.
        std::unique_ptr<TiXmlNode> later;
        const bool marked = holdsCopyMarks(content);

        TiXmlNode* anchor = group.tx();
        CopyParts parts;
        for (size_t k = 0; k < snapshotIndices.size(); ++k) {
            const int index = snapshotIndices[k];
            if (k == 1) {
                later.reset(content->Clone());
                dropParagraphIds(later.get());
            }
            const TiXmlNode* source = k == 0 ? content : later.get();
            std::vector<TiXmlElement*> tops;
            for (const TiXmlElement* c = source->FirstChildElement(); c; c = c->NextSiblingElement()) {
                TiXmlNode* inserted = parent->InsertAfterChild(anchor, *c);
                if (!inserted) break;
                anchor = inserted;
                tops.push_back(inserted->ToElement());
            }
            // Rename inside the copy, every control of it included; drawing and
            // control ids stay unique in the document.
            for (TiXmlElement* top : tops) {
                parts.clear();
                findCopyParts(top, &parts);
                for (TiXmlElement* sdt : parts.controls) numberControl(XmlElement(sdt), index);
                for (TiXmlElement* control : parts.viewers) numberViewer(XmlElement(control), index);
                for (TiXmlElement* t : parts.texts) numberMacros(XmlElement(t), index);
                ids.renumber(parts.drawings, parts.properties, index);
            }
            if (k > 0 && marked) marks.separate(tops, index + 1);
            if (made) made(XmlElementList(tops.begin(), tops.end()));
        }
        parent->RemoveChild(group.tx());
        keepCellValid(parent);
    }
    return ok;
}

// ---------------------------------------------------------------- editing

WordControlIndex::WordControlIndex(const OpenXMLWordDocument& document) {
    XmlElementList all;
    OpenXMLDocument::findAllElements(document.getContentRoot(), "w:sdt", &all, true, true);
    m_byTag.reserve(all.size());
    std::string key;
    for (const XmlElement& sdt : all) {
        TiXmlElement* pr = child(sdt, "w:sdtPr");
        TiXmlElement* tag = pr ? pr->FirstChildElement("w:tag") : nullptr;
        const char* value = tag ? tag->Attribute("w:val") : nullptr;
        key.assign(value ? value : "");
        m_byTag[key].push_back(sdt);
    }
}

const XmlElementList& WordControlIndex::find(const std::string& tagName) const {
    auto it = m_byTag.find(tagName);
    return it == m_byTag.end() ? m_none : it->second;
}

namespace {

// The elements of the list that lie in no other element of it: filling a control
// replaces the controls inside it, so only the outer one is filled.
template <typename Item, typename Element>
std::vector<Item> outermost(const std::vector<Item>& items, Element element) {
    if (items.size() < 2) return items;
    std::set<const TiXmlNode*> listed;
    for (const Item& item : items) listed.insert(element(item).tx());
    std::vector<Item> outer;
    for (const Item& item : items) {
        bool inside = false;
        for (const TiXmlNode* n = element(item).tx()->Parent(); n && !inside; n = n->Parent()) inside = listed.count(n) != 0;
        if (!inside) outer.push_back(item);
    }
    return outer;
}

XmlElement itself(const XmlElement& e) { return e; }

}  // namespace

XmlElementList OpenXMLWordDocument::controlsNamed(const std::string& tagName, const WordControlIndex* index) const {
    if (index) return outermost(index->find(tagName), itself);
    XmlElementList all, named;
    findAllElements(getContentRoot(), "w:sdt", &all, true, true);
    for (const XmlElement& sdt : all)
        if (getSdtName(sdt) == tagName) named.push_back(sdt);
    return outermost(named, itself);
}

void OpenXMLWordDocument::removePlaceHolder(const XmlElement& sdtPr) {
    if (!sdtPr) return;
    // A bound control (a document property, a custom XML part) shows what its
    // store holds: Word refreshes it from there on open, over what the report wrote.
    // The first child of each of these names goes, found in one pass.
    static const char* const names[] = {"w:placeholder", "w:showingPlcHdr", "w:dataBinding", "w15:dataBinding"};
    bool removed[4] = {false, false, false, false};
    for (TiXmlElement* c = sdtPr.tx()->FirstChildElement(); c;) {
        TiXmlElement* next = c->NextSiblingElement();
        for (int i = 0; i < 4; ++i) {
            if (removed[i] || std::strcmp(c->Value(), names[i]) != 0) continue;
            removed[i] = true;
            sdtPr.tx()->RemoveChild(c);
            break;
        }
        c = next;
    }
}

bool OpenXMLWordDocument::editTextElement(const XmlElement& sdt, const std::string& text) {
    FormattedTextArray runs;
    FormattedText run;
    run.text = text;
    runs.push_back(run);
    return editTextElement(sdt, runs);
}

bool OpenXMLWordDocument::editTextElement(const XmlElement& sdt, const FormattedTextArray& runs) {
    std::unique_ptr<TiXmlElement> runProperties;
    const XmlElement container = clearForRuns(sdt, &runProperties);
    if (!container) return false;
    appendRuns(container, runs, runProperties.get());
    return true;
}

XmlElement OpenXMLWordDocument::clearForRuns(const XmlElement& sdt, std::unique_ptr<TiXmlElement>* runProperties) {
    XmlElement container = childOf(sdt, "w:sdtContent");
    if (!container) return XmlElement();
    // A control around table rows takes the text into its first cell.
    TiXmlElement* row = child(container, "w:tr");
    if (row && row->FirstChildElement("w:tc")) container = XmlElement(row);
    std::unique_ptr<TiXmlElement> cellProperties;
    if (TiXmlElement* cell = child(container, "w:tc")) {
        container = XmlElement(cell);
        if (TiXmlElement* tcPr = cell->FirstChildElement("w:tcPr")) cellProperties.reset(cloneOf(XmlElement(tcPr)));
    }
    runProperties->reset(runLookIn(container, false));
    std::unique_ptr<TiXmlElement> paragraphProperties;
    if (TiXmlElement* p = child(container, "w:p"))
        if (TiXmlElement* pPr = p->FirstChildElement("w:pPr")) paragraphProperties.reset(cloneOf(XmlElement(pPr)));

    removeChildren(container);
    if (cellProperties) container.tx()->LinkEndChild(cellProperties.release());
    if (!inParagraph(container)) container = addChild(container, "w:p");
    if (paragraphProperties) container.tx()->LinkEndChild(paragraphProperties.release());
    return container;
}

void OpenXMLWordDocument::appendRuns(const XmlElement& container, const FormattedTextArray& runs,
                                     const TiXmlElement* runProperties) {
    for (size_t i = 0; i < runs.size(); ++i) {
        const FormattedText& run = runs[i];
        XmlElement r = addChild(container, "w:r");
        if (run.newParagraph || run.lineBreak) {
            addChild(r, "w:br");
            continue;
        }
        XmlElement rPr;
        if (runProperties) rPr = XmlElement(r.tx()->LinkEndChild(runProperties->Clone())->ToElement());
        else if (run.bold || run.underline || run.italic || run.reserved) rPr = addChild(r, "w:rPr");
        if (run.bold) putRunProperty(rPr, "w:b", nullptr);
        if (run.italic) putRunProperty(rPr, "w:i", nullptr);
        if (run.underline) putRunProperty(rPr, "w:u", "single");
        if (run.reserved) addChild(r, "w:tab");
        const std::string* text = &run.text;
        std::string joined;
        if (i + 1 < runs.size() && isBlankRun(runs[i + 1].text)) {
            joined = run.text + runs[i + 1].text;
            text = &joined;
            ++i;
        }
        XmlElement t = addChild(r, "w:t");
        t.tx()->SetAttribute("xml:space", "preserve");
        if (!text->empty()) t.tx()->LinkEndChild(new TiXmlText(*text));
    }
}

bool OpenXMLWordDocument::isInParagraph(const XmlElement& element) { return inParagraph(element); }

bool OpenXMLWordDocument::joinsPreviousRun(const std::string& text) { return isBlankRun(text); }

bool OpenXMLWordDocument::setTitle(const std::string& tagName, const std::string& text, const WordControlIndex* index) {
    for (const XmlElement& sdt : controlsNamed(tagName, index)) {
        const XmlElement pr = childOf(sdt, "w:sdtPr");
        if (!pr) continue;
        removePlaceHolder(pr);
        editTextElement(sdt, text);
    }
    return true;
}

bool OpenXMLWordDocument::setText(const std::string& tagName, const FormattedTextArray& runs, const WordControlIndex* index) {
    for (const XmlElement& sdt : controlsNamed(tagName, index)) {
        const XmlElement pr = childOf(sdt, "w:sdtPr");
        if (!pr) continue;
        removePlaceHolder(pr);
        if (TiXmlElement* picture = child(pr, "w:picture")) pr.tx()->RemoveChild(picture);
        if (child(sdt, "w:sdtContent")) editTextElement(sdt, runs);
    }
    return true;
}

bool OpenXMLWordDocument::setImage(const std::string& tagName, int imageWidth, int imageHeight, const std::string& hyperlink,
                                   const WordControlIndex* index) {
    if (imageWidth <= 0 || imageHeight <= 0) return false;
    const float ratio = static_cast<float>(imageWidth) / static_cast<float>(imageHeight);
    const std::string embedId = "rId" + tagName, linkId = embedId + "_C";
    for (const XmlElement& sdt : controlsNamed(tagName, index)) {
        const XmlElement pr = childOf(sdt, "w:sdtPr");
        if (!pr) continue;
        removePlaceHolder(pr);
        const XmlElement drawing = findFirstElement(sdt, "w:drawing");
        if (!drawing) return false;
        // A picture in line with the text, or a floating one (in front of or
        // behind the text, or anchored to a paragraph): the two hold the same.
        XmlElement frame = childOf(drawing, "wp:inline");
        if (!frame) frame = childOf(drawing, "wp:anchor");
        const XmlElement docPr = childOf(frame, "wp:docPr");
        if (!lfw::text::isBlank(hyperlink) && docPr) {
            XmlElement link = childOf(docPr, "a:hlinkClick");
            if (!link) {
                // a:hlinkClick comes before any other child of wp:docPr.
                TiXmlElement fresh("a:hlinkClick");
                TiXmlElement* first = docPr.tx()->FirstChildElement();
                link = XmlElement(
                    (first ? docPr.tx()->InsertBeforeChild(first, fresh) : docPr.tx()->InsertEndChild(fresh))->ToElement());
            }
            link.tx()->SetAttribute("xmlns:a", DRAWINGML_MAIN);
            setAttribute(link, "r:id", linkId);
        }
        const XmlElement blip =
            frame ? frame.getFirstChildFromPath("a:graphic/a:graphicData/pic:pic/pic:blipFill/a:blip") : XmlElement();
        if (!blip) return false;
        setAttribute(blip, "r:embed", embedId);
        const XmlElement extent = childOf(frame, "wp:extent");
        const XmlElement ext = frame.getFirstChildFromPath("a:graphic/a:graphicData/pic:pic/pic:spPr/a:xfrm/a:ext");
        // The template's box as the schema bounds it (a missing or negative size is none).
        long long width = 0, height = 0;
        if (extent) {
            DrawingExtent::fitInBox(extent.getAttributeDouble("cx", -1), extent.getAttributeDouble("cy", -1), ratio, &width,
                                    &height);
            setAttribute(extent, "cx", width);
            setAttribute(extent, "cy", height);
        }
        if (ext) {
            setAttribute(ext, "cx", width);
            setAttribute(ext, "cy", height);
        }
    }
    return true;
}

namespace {

int countRelationIds(TiXmlElement* root, const std::string& id) {
    int n = 0;
    for (TiXmlAttribute* a = root->FirstAttribute(); a; a = a->Next())
        if (std::strncmp(a->Name(), "r:", 2) == 0 && id == a->Value()) ++n;
    for (TiXmlElement* c = root->FirstChildElement(); c; c = c->NextSiblingElement()) n += countRelationIds(c, id);
    return n;
}

}  // namespace

int OpenXMLWordDocument::countRelationReferences(const std::string& id) const {
    TiXmlElement* root = const_cast<OpenXMLWordDocument*>(this)->RootElement();
    return root ? countRelationIds(root, id) : 0;
}

bool OpenXMLWordDocument::setPreviewRelationId(const std::string& tagName, const std::string& id) {
    XmlElement control;
    TiXmlElement* image = nullptr;
    if (!controlPreview(tagName, &control, &image) || !image) return false;
    image->SetAttribute("r:id", id);
    return true;
}

bool OpenXMLWordDocument::controlPreview(const std::string& tagName, XmlElement* control, TiXmlElement** image) {
    XmlElementList controls;
    findAllElements(getBody(), "w:control", &controls, true, false);
    for (const XmlElement& candidate : controls) {
        if (attribute(candidate, "w:name") != tagName) continue;
        TiXmlNode* previous = candidate.tx()->PreviousSibling();
        while (previous && !previous->ToElement()) previous = previous->PreviousSibling();
        TiXmlElement* shape = previous ? previous->ToElement() : nullptr;
        *control = candidate;
        *image = isNamed(shape, "v:shape") ? shape->FirstChildElement("v:imagedata") : nullptr;
        return true;
    }
    return false;
}

bool OpenXMLWordDocument::setImageInMdlx(const std::string& controlName, const std::string& newTagName, int imageWidth,
                                         int imageHeight, const std::string& hyperlink) {
    const XmlElement body = getBody();
    if (!body || imageWidth <= 0 || imageHeight <= 0) return true;
    const float ratio = static_cast<float>(imageWidth) / static_cast<float>(imageHeight);
    XmlElementList controls;
    findAllElements(body, "w:control", &controls, true, false);
    WordIdRegistry ids;
    ids.collect(body);
    const std::string embedId = "rId" + newTagName, linkId = embedId + "_C";

    // Read every control before changing anything: a replaced run takes its controls with it.
    struct Match {
        size_t number;
        XmlElement control;
        XmlElement run;
    };
    std::vector<Match> matches;
    for (size_t k = 0; k < controls.size(); ++k) {
        if (attribute(controls[k], "w:name") != controlName) continue;
        const XmlElement run = getAncestor(controls[k], "w:r");
        bool seen = false;
        for (const Match& m : matches) seen = seen || m.run == run;
        if (run && !seen) matches.push_back(Match{k, controls[k], run});
    }
    for (const Match& match : matches) {
        const size_t k = match.number;
        const XmlElement control = match.control;
        const XmlElement run = match.run;
        TiXmlNode* runParent = run.tx()->Parent();
        if (!runParent) continue;
        int left = 0, top = 0, width = 0, height = 0;
        getShapePosAndSize(childOf(control.getParentElement(), "v:shape"), &left, &top, &width, &height, true);
        // A shape of negative size gives a picture of none.
        long long pictureWidth = 0, pictureHeight = 0;
        DrawingExtent::fitInBox(width, height, ratio, &pictureWidth, &pictureHeight);

        TiXmlElement* sdt = new TiXmlElement("w:sdt");
        XmlElement sdtE(sdt);
        XmlElement pr = addChild(sdtE, "w:sdtPr");
        setAttribute(addChild(pr, "w:tag"), "w:val", newTagName);
        setAttribute(addChild(pr, "w:id"), "w:val", static_cast<long long>(ids.claimControlId(421 + static_cast<long long>(k))));
        addChild(pr, "w:picture");
        XmlElement holder = addChild(sdtE, "w:sdtContent");
        if (!getAncestor(run, "w:p")) holder = addChild(holder, "w:p");
        XmlElement r = addChild(holder, "w:r");
        XmlElement rPr = addChild(r, "w:rPr");
        addChild(rPr, "w:noProof");
        addChild(rPr, "w:lang").tx()->SetAttribute("w:eastAsia", "nb-NO");
        XmlElement inline_ = addChild(addChild(r, "w:drawing"), "wp:inline");
        for (const char* d : {"distT", "distB", "distL", "distR"}) inline_.tx()->SetAttribute(d, "0");
        XmlElement extent = addChild(inline_, "wp:extent");
        setAttribute(extent, "cx", pictureWidth);
        setAttribute(extent, "cy", pictureHeight);
        XmlElement effect = addChild(inline_, "wp:effectExtent");
        effect.tx()->SetAttribute("l", "19050");
        effect.tx()->SetAttribute("t", "0");
        effect.tx()->SetAttribute("r", "0");
        effect.tx()->SetAttribute("b", "0");
        XmlElement docPr = addChild(inline_, "wp:docPr");
        setAttribute(docPr, "id", static_cast<long long>(ids.claimDrawingId(13)));
        setAttribute(docPr, "name", controlName);
        if (!lfw::text::isBlank(hyperlink)) {
            XmlElement link = addChild(docPr, "a:hlinkClick");
            link.tx()->SetAttribute("xmlns:a", DRAWINGML_MAIN);
            setAttribute(link, "r:id", linkId);
        }
        XmlElement locks = addChild(addChild(inline_, "wp:cNvGraphicFramePr"), "a:graphicFrameLocks");
        locks.tx()->SetAttribute("xmlns:a", DRAWINGML_MAIN);
        locks.tx()->SetAttribute("noChangeAspect", "1");
        XmlElement graphic = addChild(inline_, "a:graphic");
        graphic.tx()->SetAttribute("xmlns:a", DRAWINGML_MAIN);
        XmlElement data = addChild(graphic, "a:graphicData");
        data.tx()->SetAttribute("uri", DRAWINGML_PICTURE);
        XmlElement pic = addChild(data, "pic:pic");
        pic.tx()->SetAttribute("xmlns:pic", DRAWINGML_PICTURE);
        XmlElement nv = addChild(pic, "pic:nvPicPr");
        XmlElement cNvPr = addChild(nv, "pic:cNvPr");
        cNvPr.tx()->SetAttribute("id", "0");
        setAttribute(cNvPr, "name", controlName);
        XmlElement picLocks = addChild(addChild(nv, "pic:cNvPicPr"), "a:picLocks");
        picLocks.tx()->SetAttribute("noChangeAspect", "1");
        picLocks.tx()->SetAttribute("noChangeArrowheads", "1");
        XmlElement fill = addChild(pic, "pic:blipFill");
        XmlElement blip = addChild(fill, "a:blip");
        setAttribute(blip, "r:embed", embedId);
        blip.tx()->SetAttribute("cstate", "print");
        addChild(addChild(fill, "a:stretch"), "a:fillRect");
        XmlElement spPr = addChild(pic, "pic:spPr");
        spPr.tx()->SetAttribute("bwMode", "auto");
        XmlElement xfrm = addChild(spPr, "a:xfrm");
        XmlElement off = addChild(xfrm, "a:off");
        off.tx()->SetAttribute("x", "0");
        off.tx()->SetAttribute("y", "0");
        XmlElement ext = addChild(xfrm, "a:ext");
        setAttribute(ext, "cx", pictureWidth);
        setAttribute(ext, "cy", pictureHeight);
        addChild(addChild(spPr, "a:prstGeom"), "a:avLst").getParentElement().tx()->SetAttribute("prst", "rect");
        addChild(spPr, "a:noFill");
        XmlElement ln = addChild(spPr, "a:ln");
        ln.tx()->SetAttribute("w", "9525");
        addChild(ln, "a:noFill");
        addChild(ln, "a:miter").tx()->SetAttribute("lim", "800000");
        addChild(ln, "a:headEnd");
        addChild(ln, "a:tailEnd");

        runParent->ReplaceChild(run.tx(), *sdt);
        delete sdt;
    }
    return true;
}

bool OpenXMLWordDocument::setMdlx(const std::string& tagName, std::string* controlId, std::string* newId,
                                  std::string* previewId) {
    XmlElement control;
    TiXmlElement* image = nullptr;
    if (!controlPreview(tagName, &control, &image) || !image) return false;
    const std::string id = "rId" + tagName;
    if (controlId) *controlId = attribute(control, "r:id");
    if (previewId) *previewId = attribute(image, "r:id");
    setAttribute(control, "r:id", id);
    if (newId) *newId = id;
    return true;
}

bool OpenXMLWordDocument::setTable(const std::string& tagName, const Table& table, const WordControlIndex* index) {
    const int rows = static_cast<int>(table.rowCount());
    const int columns = static_cast<int>(table.columnCount());
    if (rows <= 0 || columns <= 0) return true;
    const auto value = [&](int r, int c) { return toUtf8(table.value(static_cast<size_t>(r), static_cast<size_t>(c))); };
    for (const XmlElement& sdt : controlsNamed(tagName, index)) {
        if (!child(sdt, "w:sdtPr")) continue;
        if (const XmlElement tbl = findFirstElement(sdt, "w:tbl")) {
            removePlaceHolder(childOf(sdt, "w:sdtPr"));
            fillTable(tbl, rows, columns, value);
        }
    }
    return true;
}

void OpenXMLWordDocument::fillTable(const XmlElement& tbl, int rows, int columns,
                                    const std::function<std::string(int, int)>& value) {
    int gridColumns = 0;
    long long total = 0;
    measureTemplateGrid(tbl, &gridColumns, &total);
    // The table is rebuilt in place from copies of its template parts: building
    // a second table and replacing the first with a copy of it would hold the
    // filled table twice.
    std::unique_ptr<TiXmlElement> tblPr(cloneOf(XmlElement(child(tbl, "w:tblPr"))));
    std::unique_ptr<TiXmlElement> templateGrid(cloneOf(XmlElement(child(tbl, "w:tblGrid"))));
    std::unique_ptr<TiXmlElement> templateFirst(cloneOf(XmlElement(child(tbl, "w:tr"))));
    std::unique_ptr<TiXmlElement> templateSecond(
        templateFirst ? cloneOf(XmlElement(child(tbl, "w:tr")->NextSiblingElement("w:tr"))) : nullptr);
    TiXmlElement* fresh = tbl.tx();
    fresh->Clear();
    if (tblPr) {
        fresh->InsertEndChild(*tblPr);
    } else {
        TiXmlElement* props = fresh->LinkEndChild(new TiXmlElement("w:tblPr"))->ToElement();
        TiXmlElement* w = props->LinkEndChild(new TiXmlElement("w:tblW"))->ToElement();
        w->SetAttribute("w:w", "0");
        w->SetAttribute("w:type", "auto");
    }
    TiXmlElement* firstRow = templateFirst.get();
    TiXmlElement* rowTemplate = templateSecond ? templateSecond.get() : firstRow;
    const bool reuse = gridColumns == columns && cellCount(firstRow) >= columns && cellCount(rowTemplate) >= columns;
    if (reuse) {
        // The template's look: its grid, its first row and the cells of its second row.
        if (TiXmlElement* grid = templateGrid.get()) {
            fresh->InsertEndChild(*grid);
        } else {
            TiXmlElement* newGrid = fresh->LinkEndChild(new TiXmlElement("w:tblGrid"))->ToElement();
            for (int c = 0; c < columns; ++c) {
                XmlElement w = XmlElement(cellAt(firstRow, c)).getFirstChildFromPath("w:tcPr/w:tcW");
                long long width = 0;
                if (!w || !parseLong(w.tx()->Attribute("w:w"), &width)) width = 0;
                TiXmlElement* col = newGrid->LinkEndChild(new TiXmlElement("w:gridCol"))->ToElement();
                col->SetAttribute("w:w", std::to_string(width));
            }
        }
        TiXmlElement* head = fresh->InsertEndChild(*firstRow)->ToElement();
        for (int c = 0; c < columns; ++c) fillCell(cellAt(head, c), value(0, c));
        for (int r = 1; r < rows; ++r) {
            TiXmlElement* row = fresh->LinkEndChild(new TiXmlElement("w:tr"))->ToElement();
            for (int c = 0; c < columns; ++c) {
                TiXmlElement* cell = row->InsertEndChild(*cellAt(rowTemplate, c))->ToElement();
                fillCell(cell, value(r, c));
            }
        }
    } else {
        const long long width = total / columns;
        TiXmlElement* grid = fresh->LinkEndChild(new TiXmlElement("w:tblGrid"))->ToElement();
        for (int c = 0; c < columns; ++c)
            grid->LinkEndChild(new TiXmlElement("w:gridCol"))->ToElement()->SetAttribute("w:w", std::to_string(width));
        for (int r = 0; r < rows; ++r) {
            TiXmlElement* row = fresh->LinkEndChild(new TiXmlElement("w:tr"))->ToElement();
            for (int c = 0; c < columns; ++c) {
                TiXmlElement* cell = row->LinkEndChild(new TiXmlElement("w:tc"))->ToElement();
                TiXmlElement* w =
                    cell->LinkEndChild(new TiXmlElement("w:tcPr"))->LinkEndChild(new TiXmlElement("w:tcW"))->ToElement();
                w->SetAttribute("w:w", std::to_string(width));
                w->SetAttribute("w:type", "dxa");
                cell->LinkEndChild(new TiXmlElement("w:p"));
                fillCell(cell, value(r, c));
            }
        }
    }
}

bool OpenXMLWordDocument::getChartRelationIds(const std::string& tagName, std::vector<std::string>* ids) const {
    if (!ids) return false;
    ids->clear();
    for (const XmlElement& sdt : controlsNamed(tagName)) {
        if (!child(sdt, "w:sdtPr")) continue;
        const XmlElement chart = findFirstElement(sdt, "c:chart");
        if (chart && chart.tx()->Attribute("r:id")) ids->push_back(attribute(chart, "r:id"));
    }
    return !ids->empty();
}

namespace {

bool isMacroName(const std::string& name) {
    std::string plain = name;
    lfw::text::replaceAll(plain, "REF_", "");
    const size_t underscore = plain.find('_');
    return underscore != std::string::npos && underscore + 1 < plain.size() && plain[underscore + 1] == '$';
}

// The place of the first name equal to name; -1 when none is.
int firstPlace(const std::vector<std::string>& names, const std::string& name) {
    const auto it = std::find(names.begin(), names.end(), name);
    return it == names.end() ? -1 : static_cast<int>(it - names.begin());
}

}  // namespace

bool OpenXMLWordDocument::setAllMacros(const std::vector<std::string>& names, const std::vector<FormattedTextArray>& texts,
                                       const WordControlIndex* index) {
    if (names.size() != texts.size() || names.size() > static_cast<size_t>(INT_MAX)) return false;
    // Each control gets the text at its name's first place in the array.
    typedef std::pair<XmlElement, int> Match;
    std::vector<Match> matches;
    if (index) {
        for (int i = 0; i < static_cast<int>(names.size()); ++i) {
            const std::string& name = names[static_cast<size_t>(i)];
            if (!isMacroName(name) || firstPlace(names, name) != i) continue;
            for (const XmlElement& sdt : index->find(name)) matches.push_back(Match(sdt, i));
        }
    } else {
        XmlElementList all;
        findAllElements(getContentRoot(), "w:sdt", &all, true, true);
        for (const XmlElement& sdt : all) {
            const std::string name = getSdtName(sdt);
            const int at = isMacroName(name) ? firstPlace(names, name) : -1;
            if (at >= 0) matches.push_back(Match(sdt, at));
        }
    }
    for (const Match& match : outermost(matches, [](const Match& m) { return m.first; })) {
        removePlaceHolder(childOf(match.first, "w:sdtPr"));
        editTextElement(match.first, texts[static_cast<size_t>(match.second)]);
    }
    return true;
}

}  // namespace rep
}  // namespace kiv
