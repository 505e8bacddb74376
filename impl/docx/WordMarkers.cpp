#include "impl/docx/WordMarkers.h"
#include "impl/openxml/OpenXMLPackageEditor.h"
#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace kiv {
namespace rep {

namespace {

const char* const RELATIONSHIPS = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
const char* const DRAWING_MAIN = "http://schemas.openxmlformats.org/drawingml/2006/main";
const char* const DRAWING_PICTURE = "http://schemas.openxmlformats.org/drawingml/2006/picture";
const char* const DRAWING_WORD = "http://schemas.openxmlformats.org/drawingml/2006/wordprocessingDrawing";

// A light grey picture of 8 x 6 pixels, shown until the report puts the snapshot's there.
const unsigned char PLACEHOLDER_PNG[] = {0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48, 0x44,
                                         0x52, 0x00, 0x00, 0x00, 0x08, 0x00, 0x00, 0x00, 0x06, 0x08, 0x00, 0x00, 0x00, 0x00, 0xdb,
                                         0x6e, 0x80, 0x27, 0x00, 0x00, 0x00, 0x0e, 0x49, 0x44, 0x41, 0x54, 0x78, 0xda, 0x63, 0xb8,
                                         0x09, 0x05, 0x0c, 0xa4, 0x30, 0x00, 0x4b, 0x02, 0x28, 0xb1, 0x87, 0x3c, 0x56, 0x34, 0x00,
                                         0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82};
// 4 x 3 inches in EMU.
const long long PLACEHOLDER_CX = 3657600, PLACEHOLDER_CY = 2743200;
// Text width of a page when the document does not say (A4 with 2 cm margins, in twips).
const long long DEFAULT_TEXT_WIDTH = 9638;
// Paragraph text standing for content other than text (a tab, a picture, a field).
const char OTHER = '\x01';

bool isNamed(const TiXmlNode* node, const char* name) {
    const TiXmlElement* e = node ? node->ToElement() : nullptr;
    return e && std::strcmp(e->Value(), name) == 0;
}

enum class Kind { Text, Picture, Table, Chart, Model, GroupBegin, GroupEnd };

struct Marker {
    size_t begin = 0;  // in the paragraph's text, braces included
    size_t end = 0;
    std::string name;  // the tag, or the group's name
    Kind kind = Kind::Text;
};

// Reads the text between braces. False when it is no marker; *why is then set
// when it looks like one but is not a tag.
bool parseMarker(const std::string& inner, Marker* marker, std::string* why) {
    why->clear();
    if (inner == "GROUP" || inner.compare(0, 6, "GROUP ") == 0) {
        marker->kind = Kind::GroupBegin;
        const size_t first = inner.find_first_not_of(' ', 5);
        marker->name = first == std::string::npos ? std::string() : inner.substr(first);
        return true;
    }
    if (inner == "/GROUP") {
        marker->kind = Kind::GroupEnd;
        return true;
    }
    const size_t sit = inner.compare(0, 7, "REF_SIT") == 0 ? 4 : 0;
    if (inner.compare(sit, 3, "SIT") != 0) return false;
    size_t i = sit + 3;
    while (i < inner.size() && inner[i] >= '0' && inner[i] <= '9') ++i;
    const std::string word = i < inner.size() && inner[i] == '_' ? inner.substr(i + 1) : std::string();
    marker->name = inner;
    if (word == "TITLE" || word == "TEXT") marker->kind = Kind::Text;
    else if (word == "PICTURE") marker->kind = Kind::Picture;
    else if (word == "TABLE") marker->kind = Kind::Table;
    else if (word == "CHART") marker->kind = Kind::Chart;
    else if (word == "MDLX") marker->kind = Kind::Model;
    else if (word.size() > 1 && word[0] == '$' && word.find_first_of(" \t$", 1) == std::string::npos) marker->kind = Kind::Text;
    else {
        *why = "is no tag: a tag reads SIT<n>_ or SIT_ and TITLE, TEXT, PICTURE, TABLE, CHART or $KEY";
        return false;
    }
    return true;
}

// The text of a paragraph's runs (those directly in it), with the w:t elements it
// comes from. Bookmarks and proofing marks between runs are passed over; any
// other content stands as OTHER, so that no marker spans it.
struct Piece {
    TiXmlElement* run;
    TiXmlElement* text;
    size_t begin;
};
struct ParagraphText {
    std::string text;
    std::vector<Piece> pieces;
};

bool passedOver(const TiXmlElement* e) {
    static const char* const names[] = {"w:pPr",       "w:proofErr", "w:bookmarkStart",     "w:bookmarkEnd",
                                        "w:permStart", "w:permEnd",  "w:commentRangeStart", "w:commentRangeEnd"};
    for (const char* name : names)
        if (isNamed(e, name)) return true;
    return false;
}

ParagraphText readParagraph(TiXmlElement* p) {
    ParagraphText out;
    for (TiXmlElement* e = p->FirstChildElement(); e; e = e->NextSiblingElement()) {
        if (isNamed(e, "w:r")) {
            for (TiXmlElement* k = e->FirstChildElement(); k; k = k->NextSiblingElement()) {
                if (isNamed(k, "w:rPr")) continue;
                if (isNamed(k, "w:t")) {
                    out.pieces.push_back(Piece{e, k, out.text.size()});
                    if (const char* value = k->GetText()) out.text += value;
                } else {
                    out.text += OTHER;
                }
            }
        } else if (!passedOver(e)) {
            out.text += OTHER;
        }
    }
    return out;
}

// The markers of a text, in order; warnings for the brace texts that look like tags but are not.
std::vector<Marker> findMarkers(const std::string& text, std::vector<std::string>* bad) {
    std::vector<Marker> markers;
    for (size_t open = text.find('{'); open != std::string::npos; open = text.find('{', open + 1)) {
        const size_t close = text.find_first_of("{}\x01", open + 1);
        if (close == std::string::npos || text[close] != '}') continue;
        Marker marker;
        std::string why;
        if (!parseMarker(text.substr(open + 1, close - open - 1), &marker, &why)) {
            if (!why.empty()) bad->push_back(text.substr(open, close - open + 1) + " " + why);
            continue;
        }
        marker.begin = open;
        marker.end = close + 1;
        markers.push_back(marker);
    }
    return markers;
}

std::string trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return std::string();
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

void setText(TiXmlElement* t, const std::string& value) {
    while (TiXmlNode* c = t->FirstChild()) t->RemoveChild(c);
    if (!value.empty()) t->LinkEndChild(new TiXmlText(value));
    if (!value.empty() && (value.front() == ' ' || value.back() == ' ')) t->SetAttribute("xml:space", "preserve");
}

// Gives each run of the paragraph one content element (its properties copied),
// so that a marker's runs can be cut out of it.
void oneElementPerRun(TiXmlElement* p) {
    for (TiXmlElement* r = p->FirstChildElement(); r; r = r->NextSiblingElement()) {
        if (!isNamed(r, "w:r")) continue;
        TiXmlElement* props = r->FirstChildElement("w:rPr");
        std::vector<TiXmlElement*> content;
        for (TiXmlElement* k = r->FirstChildElement(); k; k = k->NextSiblingElement())
            if (k != props) content.push_back(k);
        TiXmlElement* after = r;
        for (size_t i = content.size(); i-- > 1;) {
            TiXmlElement one("w:r");
            if (props) one.InsertEndChild(*props);
            one.InsertEndChild(*content[i]);
            p->InsertAfterChild(r, one);
            r->RemoveChild(content[i]);
            if (after == r) after = r->NextSiblingElement();
        }
        r = after;
    }
}

// Cuts the run holding text position `at` there, so that a run begins at it.
void cutAt(TiXmlElement* p, size_t at) {
    const ParagraphText text = readParagraph(p);
    for (const Piece& piece : text.pieces) {
        const char* value = piece.text->GetText();
        const std::string whole = value ? value : "";
        if (at <= piece.begin || at >= piece.begin + whole.size()) continue;
        TiXmlElement* second = p->InsertAfterChild(piece.run, *piece.run)->ToElement();
        setText(piece.text, whole.substr(0, at - piece.begin));
        setText(second->FirstChildElement("w:t"), whole.substr(at - piece.begin));
        return;
    }
}

// The runs holding [begin, end) of the paragraph's text, after cutting runs at both ends.
std::vector<TiXmlElement*> runsOf(TiXmlElement* p, size_t begin, size_t end) {
    cutAt(p, end);
    cutAt(p, begin);
    std::vector<TiXmlElement*> runs;
    for (const Piece& piece : readParagraph(p).pieces) {
        const char* value = piece.text->GetText();
        const size_t size = value ? std::strlen(value) : 0;
        if (piece.begin >= begin && piece.begin + size <= end && size > 0) runs.push_back(piece.run);
    }
    return runs;
}

// A run like `like` (its properties) holding text.
TiXmlElement textRun(const TiXmlElement* like, const std::string& text) {
    TiXmlElement run("w:r");
    if (const TiXmlElement* props = like ? like->FirstChildElement("w:rPr") : nullptr) run.InsertEndChild(*props);
    TiXmlElement t("w:t");
    setText(&t, text);
    run.InsertEndChild(t);
    return run;
}

bool holdsText(const ParagraphText& text) { return text.text.find_first_not_of(std::string(" \t") + OTHER) != std::string::npos; }

// What a drawing shows, from its graphic data: "pic" for a picture, "chart", or empty.
std::string drawingKind(const TiXmlElement* run) {
    const TiXmlElement* drawing = run ? run->FirstChildElement("w:drawing") : nullptr;
    const TiXmlElement* frame = drawing ? drawing->FirstChildElement() : nullptr;  // wp:inline, wp:anchor
    const TiXmlElement* graphic = frame ? frame->FirstChildElement("a:graphic") : nullptr;
    const TiXmlElement* data = graphic ? graphic->FirstChildElement("a:graphicData") : nullptr;
    if (!data) return std::string();
    if (data->FirstChildElement("pic:pic")) return "pic";
    const char* uri = data->Attribute("uri");
    const std::string u = uri ? uri : "";
    return u.size() >= 6 && u.compare(u.size() - 6, 6, "/chart") == 0 ? "chart" : std::string();
}

// The runs of the paragraph showing a drawing of that kind.
std::vector<TiXmlElement*> drawingRuns(TiXmlElement* p, const std::string& kind) {
    std::vector<TiXmlElement*> runs;
    for (TiXmlElement* r = p ? p->FirstChildElement("w:r") : nullptr; r; r = r->NextSiblingElement("w:r"))
        if (drawingKind(r) == kind) runs.push_back(r);
    return runs;
}

bool endsSection(const TiXmlElement* p) {
    const TiXmlElement* props = p->FirstChildElement("w:pPr");
    return props && props->FirstChildElement("w:sectPr");
}

// Where paragraphs stand (a block-level control may hold one there).
bool isBlockContainer(const TiXmlNode* node) {
    static const char* const names[] = {"w:body",     "w:tc",      "w:sdtContent",  "w:hdr",    "w:ftr",
                                        "w:footnote", "w:endnote", "w:txbxContent", "w:comment"};
    for (const char* name : names)
        if (isNamed(node, name)) return true;
    return false;
}

long long attributeNumber(const TiXmlElement* e, const char* name, long long fallback) {
    const char* value = e ? e->Attribute(name) : nullptr;
    if (!value || !*value) return fallback;
    char* end = nullptr;
    const long long n = std::strtoll(value, &end, 10);
    return *end ? fallback : n;
}

// One part being converted, and what the package's parts share.
class Converter {
public:
    Converter(OpenXMLPackage& package, WordMarkerResult* result) : m_package(package), m_result(result) {}

    // Ids in use in every part to convert, so that new ones repeat none.
    void countIds(const TiXmlElement* e) {
        for (; e; e = e->NextSiblingElement()) {
            if (isNamed(e, "w:id") && isNamed(e->Parent(), "w:sdtPr"))
                m_controlId = std::max(m_controlId, attributeNumber(e, "w:val", 0));
            if (isNamed(e, "wp:docPr")) m_drawingId = std::max(m_drawingId, attributeNumber(e, "id", 0));
            countIds(e->FirstChildElement());
        }
    }

    bool groups(TiXmlElement* body, std::string* error);
    void part(OpenXMLPart* part, bool body);

private:
    void paragraph(TiXmlElement* p);
    bool tag(TiXmlElement* p, const Marker& marker, bool alone);
    TiXmlElement* control(const std::string& tag, const TiXmlElement* runLike, bool picture, bool group);
    TiXmlElement* inlineControl(TiXmlElement* p, const std::vector<TiXmlElement*>& replaced, const std::string& tag,
                                const TiXmlElement* content, bool picture);
    void blockControl(TiXmlElement* p, TiXmlElement* block, const std::string& tag);
    bool placeholderPicture(TiXmlElement* run, const std::string& tag);
    TiXmlElement newTable(TiXmlElement* p, const std::string& tag) const;
    void warn(const std::string& text) { m_result->warnings.push_back(m_where + ": " + text); }

    OpenXMLPackage& m_package;
    WordMarkerResult* m_result;
    OpenXMLPart* m_part = nullptr;
    TiXmlElement* m_root = nullptr;
    std::string m_where;
    long long m_textWidth = DEFAULT_TEXT_WIDTH;
    long long m_controlId = 0;
    long long m_drawingId = 0;
    std::string m_placeholder;  // the placeholder picture's part, once made
};

TiXmlElement* Converter::control(const std::string& tag, const TiXmlElement* runLike, bool picture, bool group) {
    TiXmlElement* sdt = new TiXmlElement("w:sdt");
    TiXmlElement* props = new TiXmlElement("w:sdtPr");
    sdt->LinkEndChild(props);
    if (const TiXmlElement* runProps = runLike ? runLike->FirstChildElement("w:rPr") : nullptr)
        if (runProps->FirstChildElement()) props->InsertEndChild(*runProps);
    if (!tag.empty()) {
        for (const char* name : {"w:alias", "w:tag"}) {
            TiXmlElement e(name);
            e.SetAttribute("w:val", tag);
            props->InsertEndChild(e);
        }
    }
    TiXmlElement id("w:id");
    id.SetAttribute("w:val", std::to_string(++m_controlId));
    props->InsertEndChild(id);
    if (picture) props->InsertEndChild(TiXmlElement("w:picture"));
    if (group) props->InsertEndChild(TiXmlElement("w:group"));
    sdt->LinkEndChild(new TiXmlElement("w:sdtContent"));
    return sdt;
}

// A control in place of the runs, holding a copy of `content` (a run).
TiXmlElement* Converter::inlineControl(TiXmlElement* p, const std::vector<TiXmlElement*>& replaced, const std::string& tag,
                                       const TiXmlElement* content, bool picture) {
    TiXmlElement* sdt = control(tag, picture ? nullptr : content, picture, false);
    sdt->FirstChildElement("w:sdtContent")->InsertEndChild(*content);
    TiXmlElement* placed = p->InsertBeforeChild(replaced.front(), *sdt)->ToElement();
    delete sdt;
    for (TiXmlElement* run : replaced) p->RemoveChild(run);
    ++m_result->controls;
    return placed;
}

// A control around `block` (the paragraph or a table), in its place.
void Converter::blockControl(TiXmlElement* p, TiXmlElement* block, const std::string& tag) {
    TiXmlElement* sdt = control(tag, nullptr, false, false);
    sdt->FirstChildElement("w:sdtContent")->InsertEndChild(*block);
    TiXmlNode* parent = block->Parent();
    parent->InsertBeforeChild(block, *sdt);
    delete sdt;
    parent->RemoveChild(block);
    if (p != block) p->Parent()->RemoveChild(p);
    ++m_result->controls;
}

// Puts a placeholder picture of 4 x 3 inches into the run.
bool Converter::placeholderPicture(TiXmlElement* run, const std::string& tag) {
    if (m_placeholder.empty()) {
        const std::string name = m_package.nextPartName("word/media/image.png");
        OpenXMLPart* media = m_package.addPart(name, "image/png");
        if (!media) return false;
        media->setBytesView(PLACEHOLDER_PNG, sizeof PLACEHOLDER_PNG);
        m_placeholder = name;
    }
    OpenXMLRelationships* rels = m_part->rels();
    if (!rels) return false;
    const std::string id = rels->relate(OpenXMLPackageEditor::REL_IMAGE, m_placeholder);
    if (!m_root->Attribute("xmlns:wp")) m_root->SetAttribute("xmlns:wp", DRAWING_WORD);
    if (!m_root->Attribute("xmlns:r")) m_root->SetAttribute("xmlns:r", RELATIONSHIPS);
    const std::string cx = std::to_string(PLACEHOLDER_CX), cy = std::to_string(PLACEHOLDER_CY);
    const std::string number = std::to_string(++m_drawingId);
    const std::string xml =
        "<w:drawing><wp:inline distT=\"0\" distB=\"0\" distL=\"0\" distR=\"0\"><wp:extent cx=\"" + cx + "\" cy=\"" + cy +
        "\"/><wp:docPr id=\"" + number + "\" name=\"" + tag + "\"/><a:graphic xmlns:a=\"" + DRAWING_MAIN +
        "\"><a:graphicData uri=\"" + DRAWING_PICTURE + "\"><pic:pic xmlns:pic=\"" + DRAWING_PICTURE +
        "\"><pic:nvPicPr><pic:cNvPr id=\"0\" name=\"" + tag +
        "\"/><pic:cNvPicPr/></pic:nvPicPr><pic:blipFill><a:blip r:embed=\"" + id +
        "\"/><a:stretch><a:fillRect/></a:stretch></pic:blipFill><pic:spPr><a:xfrm><a:off x=\"0\" y=\"0\"/><a:ext cx=\"" + cx +
        "\" cy=\"" + cy +
        "\"/></a:xfrm><a:prstGeom prst=\"rect\"><a:avLst/></a:prstGeom></pic:spPr></pic:pic></a:graphicData></a:graphic>"
        "</wp:inline></w:drawing>";
    TiXmlDocument parsed;
    parsed.Parse(xml.c_str());
    if (!parsed.RootElement()) return false;
    run->InsertEndChild(*parsed.RootElement());
    return true;
}

// A table of one cell, as wide as the text, holding the tag name in the marker paragraph's look.
TiXmlElement Converter::newTable(TiXmlElement* p, const std::string& tag) const {
    const std::string width = std::to_string(m_textWidth);
    std::string xml = "<w:tbl><w:tblPr><w:tblW w:w=\"" + width + "\" w:type=\"dxa\"/><w:tblBorders>";
    for (const char* side : {"top", "left", "bottom", "right", "insideH", "insideV"})
        xml += std::string("<w:") + side + " w:val=\"single\" w:sz=\"4\" w:space=\"0\" w:color=\"auto\"/>";
    xml += "</w:tblBorders><w:tblLook w:val=\"04A0\"/></w:tblPr><w:tblGrid><w:gridCol w:w=\"" + width +
           "\"/></w:tblGrid><w:tr><w:tc><w:tcPr><w:tcW w:w=\"" + width + "\" w:type=\"dxa\"/></w:tcPr></w:tc></w:tr></w:tbl>";
    TiXmlDocument parsed;
    parsed.Parse(xml.c_str());
    TiXmlElement table(*parsed.RootElement());
    TiXmlElement cellParagraph("w:p");
    if (const TiXmlElement* props = p->FirstChildElement("w:pPr")) cellParagraph.InsertEndChild(*props);
    const ParagraphText text = readParagraph(p);
    cellParagraph.InsertEndChild(textRun(text.pieces.empty() ? nullptr : text.pieces.front().run, tag));
    table.FirstChildElement("w:tr")->FirstChildElement("w:tc")->InsertEndChild(cellParagraph);
    return table;
}

// Makes the control of one marker of paragraph p (alone: its only text). False
// when the marker is left as written.
bool Converter::tag(TiXmlElement* p, const Marker& marker, bool alone) {
    const std::string& tag = marker.name;
    const bool block = alone && isBlockContainer(p->Parent()) && !endsSection(p);
    switch (marker.kind) {
    case Kind::Text: {
        const std::vector<TiXmlElement*> runs = runsOf(p, marker.begin, marker.end);
        if (runs.empty()) return false;
        const TiXmlElement run = textRun(runs.front(), tag);
        if (!block) {
            inlineControl(p, runs, tag, &run, false);
            return true;
        }
        p->InsertBeforeChild(runs.front(), run);
        for (TiXmlElement* r : runs) p->RemoveChild(r);
        blockControl(p, p, tag);
        return true;
    }
    case Kind::Picture:
    case Kind::Chart: {
        const std::string shows = marker.kind == Kind::Picture ? "pic" : "chart";
        // The drawing of the marker's paragraph, else of a paragraph of no text next to it.
        std::vector<TiXmlElement*> drawings = drawingRuns(p, shows);
        TiXmlElement* holder = p;
        if (drawings.empty() && block) {
            for (TiXmlNode* next : {p->NextSibling(), p->PreviousSibling()}) {
                TiXmlElement* q = next ? next->ToElement() : nullptr;
                if (!isNamed(q, "w:p") || holdsText(readParagraph(q))) continue;
                drawings = drawingRuns(q, shows);
                if (drawings.size() == 1) {
                    holder = q;
                    break;
                }
                drawings.clear();
            }
        }
        if (drawings.size() > 1) {
            warn("{" + tag + "} stands beside several " + (shows == "pic" ? "pictures" : "charts") + "; put it next to one");
            return false;
        }
        const std::vector<TiXmlElement*> runs = runsOf(p, marker.begin, marker.end);
        if (runs.empty()) return false;
        if (drawings.empty()) {
            if (marker.kind == Kind::Chart) {
                warn("{" + tag + "} has no chart beside it; insert a chart in its paragraph or the next");
                return false;
            }
            TiXmlElement run = textRun(runs.front(), std::string());
            run.RemoveChild(run.FirstChildElement("w:t"));
            if (!placeholderPicture(&run, tag)) {
                warn("{" + tag + "}: the placeholder picture could not be added");
                return false;
            }
            inlineControl(p, runs, tag, &run, true);
            return true;
        }
        inlineControl(holder, drawings, tag, drawings.front(), marker.kind == Kind::Picture);
        if (holder != p && !endsSection(p)) {
            p->Parent()->RemoveChild(p);
        } else {
            for (TiXmlElement* r : runs) p->RemoveChild(r);
        }
        return true;
    }
    case Kind::Table: {
        if (!block) {
            warn("{" + tag + "} must stand alone in its paragraph, before its table");
            return false;
        }
        TiXmlNode* next = p->NextSibling();
        while (next && !next->ToElement()) next = next->NextSibling();
        if (isNamed(next, "w:tbl")) {
            blockControl(p, next->ToElement(), tag);
            return true;
        }
        // No table: a table of one cell in the paragraph's place.
        const TiXmlElement table = newTable(p, tag);
        TiXmlElement* placed = p->Parent()->InsertBeforeChild(p, table)->ToElement();
        blockControl(p, placed, tag);
        return true;
    }
    case Kind::Model:
        warn("{" + tag + "}: a 3D-model tag needs a 3D-viewer control, which only Word inserts; {" +
             tag.substr(0, tag.size() - 4) + "PICTURE} shows the model's picture");
        return false;
    default:
        warn("{" + std::string(marker.kind == Kind::GroupBegin ? "GROUP" : "/GROUP") +
             "}: groups are made in the document body only");
        return false;
    }
}

void Converter::paragraph(TiXmlElement* p) {
    ParagraphText text = readParagraph(p);
    if (text.text.find('{') == std::string::npos) return;
    std::vector<std::string> bad;
    std::vector<Marker> markers = findMarkers(text.text, &bad);
    for (const std::string& line : bad) warn(line);
    if (markers.empty()) return;
    oneElementPerRun(p);
    text = readParagraph(p);
    markers = findMarkers(text.text, &bad);
    const bool alone =
        markers.size() == 1 && trimmed(text.text) == text.text.substr(markers[0].begin, markers[0].end - markers[0].begin);
    // From the last marker to the first: cutting runs leaves the text before a marker as it was.
    for (size_t i = markers.size(); i-- > 0;) tag(p, markers[i], alone);
}

void Converter::part(OpenXMLPart* part, bool body) {
    m_part = part;
    XmlDocument* document = part->editXml();
    part->printCompact();  // as editors write them
    m_root = document ? document->RootElement() : nullptr;
    if (!m_root) return;
    m_where = part->name();
    if (body) {
        // The width of the text of the last section's pages.
        const TiXmlElement* section = m_root->FirstChildElement("w:body");
        section = section ? section->FirstChildElement("w:sectPr") : nullptr;
        const TiXmlElement* size = section ? section->FirstChildElement("w:pgSz") : nullptr;
        const TiXmlElement* margins = section ? section->FirstChildElement("w:pgMar") : nullptr;
        const long long width =
            attributeNumber(size, "w:w", 0) - attributeNumber(margins, "w:left", 0) - attributeNumber(margins, "w:right", 0);
        if (size && width > 0) m_textWidth = width;
    }
    // Paragraphs in document order, converted from the last: a paragraph's
    // conversion copies what it holds (a text box's paragraphs), which is then done.
    std::vector<TiXmlElement*> paragraphs;
    std::vector<TiXmlElement*> stack{m_root};
    while (!stack.empty()) {
        TiXmlElement* e = stack.back();
        stack.pop_back();
        if (isNamed(e, "w:p")) paragraphs.push_back(e);
        std::vector<TiXmlElement*> children;
        for (TiXmlElement* c = e->FirstChildElement(); c; c = c->NextSiblingElement()) children.push_back(c);
        stack.insert(stack.end(), children.rbegin(), children.rend());
    }
    for (size_t i = paragraphs.size(); i-- > 0;) paragraph(paragraphs[i]);
}

// Pairs the group markers of the body and puts what lies between each pair into a group.
bool Converter::groups(TiXmlElement* body, std::string* error) {
    struct Found {
        TiXmlElement* p;
        Marker marker;
    };
    std::vector<Found> found;
    std::vector<TiXmlElement*> stack{body};
    while (!stack.empty()) {
        TiXmlElement* e = stack.back();
        stack.pop_back();
        if (isNamed(e, "w:p")) {
            const ParagraphText text = readParagraph(e);
            std::vector<std::string> bad;
            for (const Marker& m : findMarkers(text.text, &bad)) {
                if (m.kind != Kind::GroupBegin && m.kind != Kind::GroupEnd) continue;
                const std::string written = text.text.substr(m.begin, m.end - m.begin);
                if (trimmed(text.text) != written) {
                    *error = written + " must stand alone in its paragraph";
                    return false;
                }
                found.push_back(Found{e, m});
            }
            continue;
        }
        std::vector<TiXmlElement*> children;
        for (TiXmlElement* c = e->FirstChildElement(); c; c = c->NextSiblingElement()) children.push_back(c);
        stack.insert(stack.end(), children.rbegin(), children.rend());
    }
    for (size_t i = 0; i < found.size(); i += 2) {
        const Found& begin = found[i];
        if (begin.marker.kind == Kind::GroupEnd) {
            *error = "{/GROUP} ends no group: a {GROUP} must come before it";
            return false;
        }
        if (i + 1 == found.size()) {
            *error = "a {GROUP} has no {/GROUP} after it";
            return false;
        }
        const Found& end = found[i + 1];
        if (end.marker.kind == Kind::GroupBegin) {
            *error = "a {GROUP} comes before the {/GROUP} of the group before it; groups cannot be nested";
            return false;
        }
        if (begin.p->Parent() != end.p->Parent()) {
            *error = "a {GROUP} and its {/GROUP} must stand side by side in one place (both outside tables, or in one cell)";
            return false;
        }
        if (begin.p->NextSibling() == end.p) {
            *error = "a group holds nothing between its {GROUP} and {/GROUP}";
            return false;
        }
        TiXmlNode* parent = begin.p->Parent();
        TiXmlElement* sdt = control(begin.marker.name, nullptr, false, true);
        TiXmlElement* content = sdt->FirstChildElement("w:sdtContent");
        for (TiXmlNode* n = begin.p->NextSibling(); n && n != end.p;) {
            TiXmlNode* next = n->NextSibling();
            content->InsertEndChild(*n);
            parent->RemoveChild(n);
            n = next;
        }
        parent->InsertBeforeChild(begin.p, *sdt);
        delete sdt;
        for (TiXmlElement* marker : {begin.p, end.p}) {
            if (endsSection(marker)) {
                while (TiXmlElement* r = marker->FirstChildElement("w:r")) marker->RemoveChild(r);
            } else {
                parent->RemoveChild(marker);
            }
        }
        ++m_result->groups;
    }
    return true;
}

}  // namespace

bool convertWordMarkers(OpenXMLPackage& package, WordMarkerResult* result, std::string* error) {
    const OpenXMLRelationship* main = nullptr;
    OpenXMLRelationships& packageRels = package.rels();
    for (int i = 0; i < packageRels.count() && !main; ++i)
        if (packageRels.at(i).type == OpenXMLPackageEditor::REL_OFFICE_DOCUMENT) main = &packageRels.at(i);
    OpenXMLPart* document = package.part(main);
    XmlDocument* xml = document ? document->editXml() : nullptr;
    TiXmlElement* root = xml ? xml->RootElement() : nullptr;
    TiXmlElement* body = isNamed(root, "w:document") ? root->FirstChildElement("w:body") : nullptr;
    if (!body) {
        *error = "it is no Word document (no document part with a body)";
        return false;
    }
    // The parts that hold text besides the body.
    std::vector<OpenXMLPart*> parts;
    if (OpenXMLRelationships* rels = document->rels()) {
        for (int i = 0; i < rels->count(); ++i) {
            const std::string& type = rels->at(i).type;
            for (const char* kind : {"header", "footer", "footnotes", "endnotes"}) {
                OpenXMLPart* part = package.part(&rels->at(i));
                if (type == RELATIONSHIPS + std::string("/") + kind && part &&
                    std::find(parts.begin(), parts.end(), part) == parts.end())
                    parts.push_back(part);
            }
        }
    }
    Converter converter(package, result);
    converter.countIds(root);
    for (OpenXMLPart* part : parts)
        if (const XmlDocument* other = part->xml()) converter.countIds(other->RootElement());
    if (!converter.groups(body, error)) return false;
    converter.part(document, true);
    for (OpenXMLPart* part : parts) converter.part(part, false);
    return true;
}

}  // namespace rep
}  // namespace kiv
