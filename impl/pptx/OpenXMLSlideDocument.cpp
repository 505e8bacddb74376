#include "impl/pptx/OpenXMLSlideDocument.h"
#include "KivReport/Table.h"
#include "LibCore/lfwText.h"
#include "LibCore/lfwUtf8.h"
#include "impl/common/HostText.h"
#include "impl/pptx/PresentationHelpers.h"
#include <algorithm>
#include <cmath>
#include <cstring>
#include <cwctype>
#include <locale.h>
#include <map>
#include <string>
#include <string_view>

namespace kiv {
namespace rep {

namespace {

using Names = std::vector<std::string>;

const char* const SHAPE_TREE_PATH = "p:cSld/p:spTree";

// The locale that lowers characters beyond ASCII: a UTF-8 one, whatever the
// process's locale is ("C" when the system has none).
locale_t lowerCaseLocale() {
    static const locale_t locale = [] {
        for (const char* name : {"C.UTF-8", "C.utf8", "en_US.UTF-8"})
            if (const locale_t l = newlocale(LC_CTYPE_MASK, name, static_cast<locale_t>(0))) return l;
        return newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    }();
    return locale;
}

wchar_t lowered(wchar_t c) {
    if (c < 0x80) return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c + 32) : c;
    const locale_t locale = lowerCaseLocale();
    return locale ? static_cast<wchar_t>(towlower_l(static_cast<wint_t>(c), locale)) : c;
}

bool isAscii(std::string_view text) {
    for (const char c : text)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

// Whether two names are the same but for case, character by character, letters
// beyond ASCII included: a text shape "SIT1_$Ä" is named by the tag SIT1_$ä.
bool sameIgnoringCase(std::string_view a, std::string_view b) {
    if (lfw::text::equalNoCase(a, b)) return true;
    if (isAscii(a) && isAscii(b)) return false;
    const std::wstring x = lfw::utf8::decode(a.data(), a.size()), y = lfw::utf8::decode(b.data(), b.size());
    if (x.size() != y.size()) return false;
    for (size_t i = 0; i < x.size(); ++i)
        if (lowered(x[i]) != lowered(y[i])) return false;
    return true;
}

// Shapes whose placeholder is a title, centred title or subtitle.
bool isTitlePlaceholder(const XmlElement& shape) {
    XmlElement ph = shape.getFirstChildFromPath("p:nvSpPr/p:nvPr/p:ph");
    if (!ph) return false;
    const std::string type = ph.getAttributeString("type");
    return sameIgnoringCase(type, "title") || sameIgnoringCase(type, "ctrtitle") || sameIgnoringCase(type, "subtitle");
}

std::string shapeName(const XmlElement& shape, const char* cNvPrPath) {
    return shape.getFirstChildFromPath(cNvPrPath).getAttributeString("name");
}

// The per-kind rule: REF names with the kind's suffix, then SIT names with it;
// anything else goes to `other` (dropped when other is null).
void classify(const std::string& name, const char* word, Names* sit, Names* ref, Names* other) {
    const TagNameParts parts(name);
    if (parts.isRef() && parts.suffix == word) ref->push_back(name);
    else if (parts.isSit() && parts.suffix == word) sit->push_back(name);
    else if (other) other->push_back(name);
}

bool prepare(const XmlElement& tree, Names* sit, Names* ref, Names* other) {
    if (!sit || !ref || !other || !tree) return false;
    sit->clear();
    ref->clear();
    return true;
}

std::vector<XmlElement> shapesOf(const XmlElement& tree, const char* name) {
    std::vector<XmlElement> shapes;
    OpenXMLSlideDocument::findShapes(tree, name, shapes);
    return shapes;
}

void appendClone(const XmlElement& parent, const TiXmlElement* source) {
    if (source) parent.tx()->LinkEndChild(source->Clone());
}

// Calls f on the shapes of the tree named tag, those inside group shapes included;
// how many matched, -1 when f refused one.
template <typename F>
int forEachNamed(const XmlElement& tree, const char* element, const char* cNvPrPath, const std::string& tag, bool ignoreCase,
                 F f) {
    int count = 0;
    for (const XmlElement& shape : shapesOf(tree, element)) {
        const std::string name = shapeName(shape, cNvPrPath);
        if (ignoreCase ? sameIgnoringCase(name, tag) : name == tag) {
            ++count;
            if (!f(shape)) return -1;
        }
    }
    return count;
}

// The graphic frames of the tree named tag, at any depth.
std::vector<XmlElement> framesNamed(const XmlElement& tree, const std::string& tag) {
    std::vector<XmlElement> frames, named;
    if (tree) OpenXMLSlideDocument::findAllElements(tree, "p:graphicFrame", frames);
    for (const XmlElement& frame : frames)
        if (shapeName(frame, "p:nvGraphicFramePr/p:cNvPr") == tag) named.push_back(frame);
    return named;
}

// Sizes and offsets of shapes, as the schema bounds them (EMU).
const double MAX_EXTENT = 27273042316900.0;

std::string extentText(double value) {
    if (!(value > 0)) value = 0;  // NaN too
    if (value > MAX_EXTENT) value = MAX_EXTENT;
    return std::to_string(static_cast<long long>(value));
}

// The hyperlink of a shape's p:cNvPr, made when missing (it comes first among the
// children), pointed at the relationship id.
void setLink(const XmlElement& cNvPr, const std::string& linkId) {
    XmlElement link = cNvPr.getFirstChildElement("a:hlinkClick");
    if (!link) {
        XmlElement first = cNvPr.getFirstChildElement();
        link = first ? cNvPr.addChildElementBefore(first, "a:hlinkClick") : cNvPr.addChildElement("a:hlinkClick");
    }
    link.addAttributeString("r:id", linkId);
}

std::string cellText(const kiv::rep::Table& table, size_t row, size_t column) { return toUtf8(table.value(row, column)); }

bool named(const TiXmlNode* node, const char* name) { return node && std::strcmp(node->Value(), name) == 0; }

// The look of the text a body shows, as run properties (a copy): those of its
// first run (a text run or a field, in any paragraph), else those its first
// paragraph ends with. Null when the first run has none or there is neither: the
// text then inherits its look.
std::unique_ptr<TiXmlElement> textLookOf(const XmlElement& body) {
    for (const TiXmlElement* p = body.tx() ? body.tx()->FirstChildElement("a:p") : nullptr; p; p = p->NextSiblingElement("a:p"))
        for (const TiXmlElement* r = p->FirstChildElement(); r; r = r->NextSiblingElement())
            if (named(r, "a:r") || named(r, "a:fld")) {
                const TiXmlElement* rPr = r->FirstChildElement("a:rPr");
                return std::unique_ptr<TiXmlElement>(rPr ? static_cast<TiXmlElement*>(rPr->Clone()) : nullptr);
            }
    const TiXmlElement* end = body.getFirstChildFromPath("a:p/a:endParaRPr").tx();
    if (!end) return nullptr;
    std::unique_ptr<TiXmlElement> look(static_cast<TiXmlElement*>(end->Clone()));
    look->SetValue("a:rPr");
    return look;
}

// lang and sz of the first cell of a row: from a:endParaRPr, else from the first run.
void cellLanguageAndSize(const XmlElement& row, std::string* lang, int* size) {
    XmlElement props = row.getFirstChildFromPath("a:tc/a:txBody/a:p/a:endParaRPr");
    if (!props) props = row.getFirstChildFromPath("a:tc/a:txBody/a:p/a:r/a:rPr");
    *lang = props.getAttributeString("lang");
    *size = props.getAttributeInt("sz", -1);
}

XmlElement appendCopy(const XmlElement& parent, const XmlElement& source) {
    if (!parent || !source) return XmlElement();
    return XmlElement(parent.tx()->LinkEndChild(source.tx()->Clone())->ToElement());
}

// Makes the text the cell's only text. The first paragraph stays with its
// properties and its first run; the template's other runs, breaks, fields and
// paragraphs go (a cell showing "19.20Testtest" for 19.20 would look filled and be
// wrong). A paragraph without a run gets one that looks as the cell's text does
// (bold header cells stay bold).
void fillCell(const XmlElement& cell, const std::string& text) {
    XmlElement body = cell.getFirstChildElement("a:txBody");
    if (!body) {
        // A cell without text body gets one: body properties, list style, paragraph.
        XmlElement first = cell.getFirstChildElement();
        body = first ? cell.addChildElementBefore(first, "a:txBody") : cell.addChildElement("a:txBody");
        body.addChildElement("a:bodyPr");
        body.addChildElement("a:lstStyle");
    }
    XmlElement p = body.getFirstChildElement("a:p");
    if (!p) p = body.addChildElement("a:p");
    TiXmlElement* run = p.tx()->FirstChildElement("a:r");
    if (!run) {
        std::unique_ptr<TiXmlElement> look = textLookOf(body);
        if (!look) look.reset(new TiXmlElement("a:rPr"));
        look->SetAttribute("smtClean", "0");
        TiXmlElement* end = p.tx()->FirstChildElement("a:endParaRPr");
        TiXmlElement made("a:r");
        made.LinkEndChild(look.release());
        made.LinkEndChild(new TiXmlElement("a:t"));
        run = (end ? p.tx()->InsertBeforeChild(end, made) : p.tx()->InsertEndChild(made))->ToElement();
    }
    for (TiXmlNode* next = p.tx()->NextSibling(); next;) {
        TiXmlNode* after = next->NextSibling();
        if (named(next, "a:p")) body.tx()->RemoveChild(next);
        next = after;
    }
    for (TiXmlNode* child = p.tx()->FirstChild(); child;) {
        TiXmlNode* after = child->NextSibling();
        if (child != run && !named(child, "a:pPr") && !named(child, "a:endParaRPr")) p.tx()->RemoveChild(child);
        child = after;
    }
    XmlElement t(run->FirstChildElement("a:t"));
    if (!t) t = XmlElement(run).addChildElement("a:t");
    t.setValue(text);
}

// The rows of a template table: the first stands for the header, the others in
// turn for the data rows (the first again when there is no other).
class TemplateRows {
public:
    explicit TemplateRows(const XmlElement& templ) {
        for (XmlElement tr = templ.getFirstChildElement("a:tr"); tr; tr = tr.getNextSiblingElement("a:tr")) m_rows.push_back(tr);
    }
    // Which template row row r of the table repeats.
    size_t indexOf(size_t r) const { return r == 0 || m_rows.size() < 2 ? 0 : 1 + (r - 1) % (m_rows.size() - 1); }
    XmlElement of(size_t r) const { return m_rows.empty() ? XmlElement() : m_rows[indexOf(r)]; }

private:
    std::vector<XmlElement> m_rows;
};

// Appends row r of the new table to tbl, each cell c holding text(c).
using RowMaker = std::function<void(const XmlElement& tbl, size_t r, const std::function<std::string(size_t)>& text)>;

// Text kept in the tree as it is, printed "<" + text + ">". The text is taken
// over, not copied: it may be as large as a table of a hundred thousand rows.
class KeptText : public TiXmlUnknown {
public:
    explicit KeptText(std::string&& text) { value = std::move(text); }
};

// Where a cell's text goes in the print of a row: a private-use character
// (U+E000), which a template has no use for.
const char ROW_MARK[] = "\xEE\x80\x80";

// Appends the rows after the header. As elements, a table of a hundred thousand
// rows took a hundred times the memory of its text; so the rows go in as one text.
// The rows that repeat one template row are alike but for their cells' texts:
// such a row is made once as elements with a mark for each text, printed, and
// cut at the marks. A print that does not cut into a piece per cell and one more
// (the template holds the mark) has its rows made as elements.
void appendDataRows(const XmlElement& tbl, const kiv::rep::Table& table, const TemplateRows& rows, const RowMaker& make) {
    const size_t count = table.rowCount(), n = table.columnCount();
    if (count < 2) return;
    std::map<size_t, std::vector<std::string>> pieces;  // by template row
    size_t size = 0;
    bool asText = true;
    for (size_t r = 1; r < count && asText; ++r) {
        std::vector<std::string>& cut = pieces[rows.indexOf(r)];
        if (cut.empty()) {
            TiXmlElement holder("a:tbl");
            make(XmlElement(&holder), r, [](size_t) { return std::string(ROW_MARK); });
            const std::string printed = holder.FirstChild() ? XmlDocument::printNode(*holder.FirstChild()) : "";
            for (size_t from = 0;;) {
                const size_t at = printed.find(ROW_MARK, from);
                cut.push_back(printed.substr(from, at == std::string::npos ? std::string::npos : at - from));
                if (at == std::string::npos) break;
                from = at + std::strlen(ROW_MARK);
            }
            asText = cut.size() == n + 1;
        }
        for (const std::string& piece : cut) size += piece.size() + 1;
        for (size_t c = 0; c < n; ++c) size += table.value(r, c).size();
    }
    if (!asText) {
        for (size_t r = 1; r < count; ++r) make(tbl, r, [&](size_t c) { return cellText(table, r, c); });
        return;
    }
    std::string text;
    text.reserve(size + size / 16);
    for (size_t r = 1; r < count; ++r) {
        const std::vector<std::string>& cut = pieces[rows.indexOf(r)];
        // Kept text prints between "<" and ">": the rows go without the first and
        // the last; a line each.
        if (r > 1) text += '\n';
        text.append(cut[0], r == 1 ? 1 : 0, std::string::npos);
        for (size_t c = 0; c < n; ++c) {
            xmlAppendEscaped(&text, cellText(table, r, c));
            text += cut[c + 1];
        }
    }
    text.pop_back();
    tbl.tx()->LinkEndChild(new KeptText(std::move(text)));
}

// The table laid out anew: n columns sharing the template's width, every row like
// the template's first, as high as the template row it stands for.
void buildRebuiltTable(const XmlElement& tbl, const XmlElement& templ, const kiv::rep::Table& table, double width) {
    const size_t n = table.columnCount();
    const TemplateRows rows(templ);
    std::string lang;
    int size = -1;
    cellLanguageAndSize(templ.getFirstChildElement("a:tr"), &lang, &size);
    XmlElement grid = tbl.addChildElement("a:tblGrid");
    const std::string columnWidth = extentText(std::floor(std::min(width, MAX_EXTENT) / static_cast<double>(n)));
    for (size_t c = 0; c < n; ++c) grid.addChildElement("a:gridCol").addAttributeString("w", columnWidth);
    const RowMaker make = [&](const XmlElement& parent, size_t r, const std::function<std::string(size_t)>& text) {
        XmlElement tr = parent.addChildElement("a:tr");
        tr.addAttributeString("h", rows.of(r).getAttributeString("h", "0"));
        for (size_t c = 0; c < n; ++c) {
            XmlElement body = tr.addChildElement("a:tc").addChildElement("a:txBody");
            body.addChildElement("a:bodyPr");
            body.addChildElement("a:lstStyle");
            XmlElement p = body.addChildElement("a:p");
            XmlElement run = p.addChildElement("a:r");
            XmlElement rPr = run.addChildElement("a:rPr");
            rPr.addAttributeString("lang", lang);
            rPr.addAttributeInt("smtClean", 0);
            if (size != -1) rPr.addAttributeInt("sz", size);
            run.addChildElement("a:t").setValue(text(c));
            XmlElement end = p.addChildElement("a:endParaRPr");
            end.addAttributeString("lang", lang);
            if (size != -1) end.addAttributeInt("sz", size);
        }
    };
    make(tbl, 0, [&](size_t c) { return cellText(table, 0, c); });
    appendDataRows(tbl, table, rows, make);
}

// The template's grid and rows kept: the header row, then the data rows repeated in
// turn (their fills and heights with them).
void buildTemplateTable(const XmlElement& tbl, const XmlElement& templ, const kiv::rep::Table& table) {
    const size_t n = table.columnCount();
    const TemplateRows rows(templ);
    appendCopy(tbl, templ.getFirstChildElement("a:tblGrid"));
    XmlElement row0 = appendCopy(tbl, templ.getFirstChildElement("a:tr"));
    size_t c = 0;
    for (XmlElement tc = row0.getFirstChildElement("a:tc"); tc && c < n; tc = tc.getNextSiblingElement("a:tc"), ++c)
        fillCell(tc, cellText(table, 0, c));
    appendDataRows(tbl, table, rows, [&](const XmlElement& parent, size_t r, const std::function<std::string(size_t)>& text) {
        const XmlElement pattern = rows.of(r);
        XmlElement tr = parent.addChildElement("a:tr");
        tr.addAttributeString("h", pattern.getAttributeString("h", "0"));
        XmlElement source = pattern.getFirstChildElement("a:tc");
        for (size_t col = 0; col < n; ++col) {
            XmlElement tc = source ? appendCopy(tr, source) : tr.addChildElement("a:tc");
            fillCell(tc, text(col));
            if (source) source = source.getNextSiblingElement("a:tc");
        }
    });
}

}  // namespace

OpenXMLSlideDocument::OpenXMLSlideDocument(bool withDeclaration) : XmlDocument(withDeclaration) {}

XmlElement OpenXMLSlideDocument::getShapeTree() const { return getRootElement("p:sld").getFirstChildFromPath(SHAPE_TREE_PATH); }

XmlElement OpenXMLSlideDocument::getTitleTextElt() const {
    std::vector<XmlElement> shapes;
    findShapes(getShapeTree(), "p:sp", shapes);
    for (const XmlElement& shape : shapes)
        if (isTitlePlaceholder(shape)) return shape.getFirstChildFromPath("p:txBody/a:p/a:r/a:t");
    return XmlElement();
}

void OpenXMLSlideDocument::findShapes(const XmlElement& tree, const char* name, std::vector<XmlElement>& out) {
    for (XmlElement child = tree.getFirstChildElement(); child; child = child.getNextSiblingElement()) {
        if (named(child.tx(), name)) out.push_back(child);
        else if (named(child.tx(), "p:grpSp")) findShapes(child, name, out);
    }
}

void OpenXMLSlideDocument::groupScale(const XmlElement& shape, double* sx, double* sy) {
    *sx = *sy = 1.0;
    for (XmlElement group = shape.getParentElement(); group && named(group.tx(), "p:grpSp"); group = group.getParentElement()) {
        const XmlElement xfrm = group.getFirstChildFromPath("p:grpSpPr/a:xfrm");
        const XmlElement ext = xfrm.getFirstChildElement("a:ext"), chExt = xfrm.getFirstChildElement("a:chExt");
        const double cx = ext.getAttributeDouble("cx"), cy = ext.getAttributeDouble("cy");
        const double chx = chExt.getAttributeDouble("cx"), chy = chExt.getAttributeDouble("cy");
        if (cx > 0 && chx > 0) *sx *= cx / chx;
        if (cy > 0 && chy > 0) *sy *= cy / chy;
    }
}

void OpenXMLSlideDocument::findAllElements(const XmlElement& start, const char* name, std::vector<XmlElement>& out) {
    for (XmlElement child = start.getFirstChildElement(); child; child = child.getNextSiblingElement()) {
        if (named(child.tx(), name)) out.push_back(child);
        findAllElements(child, name, out);
    }
}

bool OpenXMLSlideDocument::editTextElement(const XmlElement& textBody, const FormattedTextArray& runs) {
    if (!textBody) return true;
    // Remember the template's formatting before its paragraphs go: the first
    // paragraph's properties, and the look of its text, which an empty first line
    // (a paragraph of end properties only) still tells.
    TiXmlElement* paraProps = nullptr;
    TiXmlElement* runProps = textLookOf(textBody).release();
    if (XmlElement p = textBody.getFirstChildFromPath("a:p/a:pPr")) paraProps = static_cast<TiXmlElement*>(p.tx()->Clone());
    while (XmlElement p = textBody.getFirstChildElement("a:p")) textBody.removeChildElement(p);

    XmlElement paragraph = textBody.addChildElement("a:p");
    appendClone(paragraph, paraProps);
    for (const FormattedText& run : runs) {
        if (run.newParagraph) {
            paragraph = textBody.addChildElement("a:p");
            appendClone(paragraph, paraProps);
            continue;
        }
        if (run.lineBreak) {
            // A line break inside the paragraph, as tall as the text around it.
            XmlElement br = paragraph.addChildElement("a:br");
            appendClone(br, runProps);
            continue;
        }
        XmlElement r = paragraph.addChildElement("a:r");
        XmlElement rPr = runProps ? XmlElement(r.tx()->LinkEndChild(runProps->Clone())->ToElement()) : r.addChildElement("a:rPr");
        // The markup only adds emphasis: what the run does not mark keeps the
        // template's look, and what it inherits from layout and master stays inherited.
        if (run.bold) rPr.addAttributeString("b", "1");
        if (run.italic) rPr.addAttributeString("i", "1");
        if (run.underline) rPr.addAttributeString("u", "sng");
        rPr.addAttributeString("dirty", "0");
        rPr.addAttributeString("smtClean", "0");
        XmlElement t = r.addChildElement("a:t");
        if (!run.text.empty()) t.setValue(run.text);
    }
    delete paraProps;
    delete runProps;
    return true;
}

bool OpenXMLSlideDocument::getTitleTags(Names* sit, Names* ref, Names* other) const {
    const XmlElement tree = getShapeTree();
    if (!prepare(tree, sit, ref, other)) return false;
    for (const XmlElement& shape : shapesOf(tree, "p:sp")) {
        const std::string name = shapeName(shape, "p:nvSpPr/p:cNvPr");
        if (!name.empty() && isTitlePlaceholder(shape)) classify(name, "TITLE", sit, ref, other);
    }
    return true;
}

bool OpenXMLSlideDocument::getTextTags(Names* sit, Names* ref, Names* other) const {
    const XmlElement tree = getShapeTree();
    if (!prepare(tree, sit, ref, other)) return false;
    for (const XmlElement& shape : shapesOf(tree, "p:sp")) {
        const std::string name = shapeName(shape, "p:nvSpPr/p:cNvPr");
        if (!name.empty()) classify(name, "TEXT", sit, ref, other);
    }
    return true;
}

bool OpenXMLSlideDocument::getMacroTags(Names* sit, Names* ref, Names* other) const {
    const XmlElement tree = getShapeTree();
    if (!prepare(tree, sit, ref, other)) return false;
    for (const XmlElement& shape : shapesOf(tree, "p:sp")) {
        const std::string name = shapeName(shape, "p:nvSpPr/p:cNvPr");
        if (name.empty() || !isTitlePlaceholder(shape)) continue;
        const TagNameParts parts(name);
        if (name.find("_$") != std::string::npos) {
            if (parts.isRef()) ref->push_back(name);
            else if (parts.isSit()) sit->push_back(name);
            else other->push_back(name);
        } else if (!sameIgnoringCase(parts.suffix, "TITLE") && !sameIgnoringCase(parts.suffix, "TEXT")) {
            other->push_back(name);
        }
    }
    return true;
}

namespace {
bool scanFrames(const XmlElement& tree, const char* contentPath, const char* word, Names* sit, Names* ref, Names* other) {
    if (!prepare(tree, sit, ref, other)) return false;
    std::vector<XmlElement> frames;
    OpenXMLSlideDocument::findAllElements(tree, "p:graphicFrame", frames);
    for (const XmlElement& frame : frames) {
        const std::string name = shapeName(frame, "p:nvGraphicFramePr/p:cNvPr");
        if (!name.empty() && frame.getFirstChildFromPath(contentPath)) classify(name, word, sit, ref, other);
    }
    return true;
}
}  // namespace

bool OpenXMLSlideDocument::getTableTags(Names* sit, Names* ref, Names* other) const {
    return scanFrames(getShapeTree(), "a:graphic/a:graphicData/a:tbl", "TABLE", sit, ref, other);
}

bool OpenXMLSlideDocument::getChartTags(Names* sit, Names* ref, Names* other) const {
    return scanFrames(getShapeTree(), "a:graphic/a:graphicData/c:chart", "CHART", sit, ref, other);
}

bool OpenXMLSlideDocument::getPictureTags(Names* sit, Names* ref, Names* other) const {
    const XmlElement tree = getShapeTree();
    if (!prepare(tree, sit, ref, other)) return false;
    for (const XmlElement& pic : shapesOf(tree, "p:pic")) {
        const std::string name = shapeName(pic, "p:nvPicPr/p:cNvPr");
        if (!name.empty()) classify(name, "PICTURE", sit, ref, nullptr);
    }
    return true;
}

bool OpenXMLSlideDocument::scanMdlxTags(const XmlDocument& slide, Names* sit, Names* ref) {
    if (!sit || !ref) return false;
    sit->clear();
    ref->clear();
    XmlElement controls = slide.getRootElement("p:sld").getFirstChildFromPath("p:cSld/p:controls");
    XmlElement entry = controls.getFirstChildElement("mc:AlternateContent");
    if (!entry) return false;
    for (; entry; entry = entry.getNextSiblingElement("mc:AlternateContent")) {
        const std::string name = shapeName(entry, "mc:Fallback/p:control/p:pic/p:nvPicPr/p:cNvPr");
        if (name.empty()) continue;
        const TagNameParts parts(name);
        if (parts.isSit() && parts.suffix == "MDLX") sit->push_back(name);
        else if (parts.isRef() && parts.suffix == "MDLX") ref->push_back(name);
    }
    return true;
}

XmlElement OpenXMLSlideDocument::getMdlxEntryByName(const std::string& name) const {
    XmlElement controls = getRootElement("p:sld").getFirstChildFromPath("p:cSld/p:controls");
    for (XmlElement entry = controls.getFirstChildElement("mc:AlternateContent"); entry;
         entry = entry.getNextSiblingElement("mc:AlternateContent"))
        if (shapeName(entry, "mc:Fallback/p:control/p:pic/p:nvPicPr/p:cNvPr") == name) return entry;
    return XmlElement();
}

void OpenXMLSlideDocument::getEmptyTextTags(Names* names) const {
    names->clear();
    const XmlElement tree = getRootElement("p:sld").getFirstChildFromPath("p:cSld/p:spTree");
    std::vector<XmlElement> shapes;
    if (tree) findShapes(tree, "p:sp", shapes);
    for (const XmlElement& sp : shapes) {
        const XmlElement cNvPr = sp.getFirstChildFromPath("p:nvSpPr/p:cNvPr");
        if (!cNvPr) continue;
        const std::string name = cNvPr.getAttributeString("name");
        const TagNameParts parts(name);
        if ((!parts.isRef() && !parts.isSit()) || (parts.suffix != "TEXT" && parts.suffix != "TITLE")) continue;
        // Text in any paragraph will do: the first may be an empty line.
        bool text = false;
        for (XmlElement p = sp.getFirstChildFromPath("p:txBody/a:p"); p && !text; p = p.getNextSiblingElement("a:p"))
            text = bool(p.getFirstChildFromPath("a:r/a:t"));
        if (!text) names->push_back(name);
    }
}

bool OpenXMLSlideDocument::getSlideTags(SlideContent* record) const {
    if (!record) return false;
    typedef SlideContent K;
    Names others;
    Names scratch;
    // Text shapes; their other names may still be title or macro tags on any shape.
    getTextTags(&record->sit(K::KIND_TEXT), &record->ref(K::KIND_TEXT), &scratch);
    Names sitTitles, refTitles, sitMacros, refMacros;
    for (const std::string& name : scratch) {
        const TagNameParts parts(name);
        if (name.find('$') != std::string::npos) {
            if (parts.isRef()) refMacros.push_back(name);
            else if (parts.isSit()) sitMacros.push_back(name);
            else others.push_back(name);
        } else if (parts.isRef() && parts.suffix == "TITLE") {
            refTitles.push_back(name);
        } else if (parts.isSit() && parts.suffix == "TITLE") {
            sitTitles.push_back(name);
        } else {
            others.push_back(name);
        }
    }
    auto append = [](Names& list, const Names& more) { list.insert(list.end(), more.begin(), more.end()); };
    getTitleTags(&record->sit(K::KIND_TITLE), &record->ref(K::KIND_TITLE), &others);
    append(record->sit(K::KIND_TITLE), sitTitles);
    append(record->ref(K::KIND_TITLE), refTitles);

    getPictureTags(&record->sit(K::KIND_PICTURE), &record->ref(K::KIND_PICTURE), &others);
    scanMdlxTags(*this, &record->sit(K::KIND_MDLX), &record->ref(K::KIND_MDLX));
    getTableTags(&record->sit(K::KIND_TABLE), &record->ref(K::KIND_TABLE), &others);
    getChartTags(&record->sit(K::KIND_CHART), &record->ref(K::KIND_CHART), &others);

    getMacroTags(&record->sit(K::KIND_MACRO), &record->ref(K::KIND_MACRO), &others);
    append(record->sit(K::KIND_MACRO), sitMacros);
    append(record->ref(K::KIND_MACRO), refMacros);

    PresentationHelpers::removeDuplicates(&others);
    record->others() = std::move(others);
    return true;
}

int OpenXMLSlideDocument::getMaxShapeId() const {
    std::vector<XmlElement> ids;
    findAllElements(getRootElement("p:sld"), "p:cNvPr", ids);
    int largest = 0;
    for (const XmlElement& e : ids) {
        const int id = e.getAttributeInt("id", 0);
        if (id > largest) largest = id;
    }
    return largest;
}

int OpenXMLSlideDocument::nextShapeId() const { return std::max(FIRST_INSERTED_SHAPE_ID, getMaxShapeId() + 1); }

// ---------------------------------------------------------------------------
// Edits

int OpenXMLSlideDocument::setText(const std::string& tag, const FormattedTextArray& runs, const std::string& newName) {
    return forEachNamed(getShapeTree(), "p:sp", "p:nvSpPr/p:cNvPr", tag, true, [&](const XmlElement& sp) {
        XmlElement body = sp.getFirstChildElement("p:txBody");
        if (!body) return false;
        editTextElement(body, runs);
        if (!newName.empty()) sp.getFirstChildFromPath("p:nvSpPr/p:cNvPr").addAttributeString("name", newName);
        return true;
    });
}

int OpenXMLSlideDocument::renameTextShapes(const std::string& tag, const std::string& newName) {
    return forEachNamed(getShapeTree(), "p:sp", "p:nvSpPr/p:cNvPr", tag, true, [&](const XmlElement& sp) {
        if (!sp.getFirstChildElement("p:txBody")) return false;
        sp.getFirstChildFromPath("p:nvSpPr/p:cNvPr").addAttributeString("name", newName);
        return true;
    });
}

XmlElement OpenXMLSlideDocument::placeholderOf(const XmlElement& shape) {
    XmlElement ph = shape.getFirstChildFromPath("p:nvSpPr/p:nvPr/p:ph");
    return ph ? ph : shape.getFirstChildFromPath("p:nvPicPr/p:nvPr/p:ph");
}

int OpenXMLSlideDocument::setPicture(const std::string& tag, const Picture& picture) {
    return forEachNamed(getShapeTree(), "p:pic", "p:nvPicPr/p:cNvPr", tag, false, [&](const XmlElement& pic) {
        XmlElement cNvPr = pic.getFirstChildFromPath("p:nvPicPr/p:cNvPr");
        cNvPr.addAttributeString("descr", picture.description);
        if (!picture.newName.empty()) cNvPr.addAttributeString("name", picture.newName);
        XmlElement blip = pic.getFirstChildFromPath("p:blipFill/a:blip");
        if (!blip) return false;
        blip.addAttributeString("r:embed", picture.imageId);
        if (!picture.linkId.empty()) setLink(cNvPr, picture.linkId);
        // The box the slide shows: the picture's own, or the one its placeholder
        // inherits from the layout (or master). The picture fills it uncropped.
        XmlElement spPr = pic.getFirstChildElement("p:spPr");
        XmlElement xfrm = spPr.getFirstChildElement("a:xfrm");
        if (XmlElement crop = pic.getFirstChildFromPath("p:blipFill/a:srcRect")) crop.getParentElement().removeChildElement(crop);
        if (!xfrm.getFirstChildElement("a:ext") && spPr && placeholderOf(pic) && picture.inheritedBox) {
            XmlDocument holder;
            const XmlElement box = picture.inheritedBox(placeholderOf(pic), &holder);
            if (box) {
                if (xfrm) spPr.removeChildElement(xfrm);
                const XmlElement first = spPr.getFirstChildElement();
                xfrm = XmlElement::fromNode(first ? spPr.tx()->InsertBeforeChild(first.tx(), *box.tx())
                                                  : spPr.tx()->InsertEndChild(*box.tx()));
            }
        }
        XmlElement ext = xfrm.getFirstChildElement("a:ext");
        bool haveCx = false, haveCy = false;
        double cx = ext.getAttributeDouble("cx", -1, &haveCx);
        double cy = ext.getAttributeDouble("cy", -1, &haveCy);
        if (haveCx && haveCy && picture.width > 0 && picture.height > 0) {
            // Fitted in the slide's units: a group around the picture may scale its
            // two axes differently.
            double sx = 1, sy = 1;
            groupScale(pic, &sx, &sy);
            cx = std::min(std::max(cx, 0.0), MAX_EXTENT);
            cy = std::min(std::max(cy, 0.0), MAX_EXTENT);
            const double rx = cx * sx / picture.width, ry = cy * sy / picture.height;
            if (rx > ry) cx = std::floor(ry * picture.width / sx);
            else cy = std::floor(rx * picture.height / sy);
            ext.addAttributeString("cx", extentText(cx));
            ext.addAttributeString("cy", extentText(cy));
        }
        return true;
    });
}

bool OpenXMLSlideDocument::renamePicture(const std::string& tag, const std::string& newName) {
    for (const XmlElement& pic : shapesOf(getShapeTree(), "p:pic")) {
        XmlElement cNvPr = pic.getFirstChildFromPath("p:nvPicPr/p:cNvPr");
        if (cNvPr.getAttributeString("name") == tag) {
            cNvPr.addAttributeString("name", newName);
            return true;
        }
    }
    return false;
}

int OpenXMLSlideDocument::setTable(const std::string& tag, const kiv::rep::Table& table, const std::string& newName) {
    int replaced = 0;
    for (const XmlElement& frame : framesNamed(getShapeTree(), tag)) {
        if (!lfw::text::isBlank(newName))
            frame.getFirstChildFromPath("p:nvGraphicFramePr/p:cNvPr").addAttributeString("name", newName);
        XmlElement data = frame.getFirstChildFromPath("a:graphic/a:graphicData");
        XmlElement templ = data.getFirstChildElement("a:tbl");
        if (!templ) continue;
        XmlElement gridTemplate = templ.getFirstChildElement("a:tblGrid");
        if (!gridTemplate || !templ.getFirstChildElement("a:tr")) return -1;
        int columns = 0;
        double width = 0;
        for (XmlElement col = gridTemplate.getFirstChildElement("a:gridCol"); col; col = col.getNextSiblingElement("a:gridCol")) {
            ++columns;
            width += std::min(std::max(col.getAttributeDouble("w", 0), 0.0), MAX_EXTENT);
        }
        // The new table is built detached and then takes the old one's place.
        TiXmlElement* built = new TiXmlElement("a:tbl");
        XmlElement tbl(built);
        appendCopy(tbl, templ.getFirstChildElement("a:tblPr"));
        if (static_cast<size_t>(columns) != table.columnCount()) buildRebuiltTable(tbl, templ, table, width);
        else buildTemplateTable(tbl, templ, table);
        // Linked in, not copied, where the old table is the last child (as it is
        // in a table frame): a copy would hold the filled table twice.
        if (data.tx()->LastChild() == templ.tx()) {
            data.tx()->RemoveChild(templ.tx());
            data.tx()->LinkEndChild(built);
        } else {
            data.tx()->ReplaceChild(templ.tx(), *built);
            delete built;
        }
        ++replaced;
    }
    return replaced;
}

int OpenXMLSlideDocument::renameFrames(const std::string& tag, const std::string& newName) {
    const std::vector<XmlElement> frames = framesNamed(getShapeTree(), tag);
    if (!lfw::text::isBlank(newName))
        for (const XmlElement& frame : frames)
            frame.getFirstChildFromPath("p:nvGraphicFramePr/p:cNvPr").addAttributeString("name", newName);
    return static_cast<int>(frames.size());
}

int OpenXMLSlideDocument::chartFrames(const std::string& tag, const std::string& newName, Names* chartIds) {
    int count = 0;
    for (const XmlElement& frame : framesNamed(getShapeTree(), tag)) {
        if (!lfw::text::isBlank(newName))
            frame.getFirstChildFromPath("p:nvGraphicFramePr/p:cNvPr").addAttributeString("name", newName);
        bool found = false;
        const std::string id =
            frame.getFirstChildFromPath("a:graphic/a:graphicData/c:chart").getAttributeString("r:id", std::string(), &found);
        if (!found || id.empty()) return -1;
        if (chartIds) chartIds->push_back(id);
        ++count;
    }
    return count;
}

// ---------------------------------------------------------------------------
// 3D controls

bool OpenXMLSlideDocument::repointControl(const std::string& tag, const std::string& newName, const std::string& newId,
                                          std::string* spid, std::string* oldId) {
    int matched = 0;
    XmlElement controls = getRootElement("p:sld").getFirstChildFromPath("p:cSld/p:controls");
    for (XmlElement entry = controls.getFirstChildElement("mc:AlternateContent"); entry;
         entry = entry.getNextSiblingElement("mc:AlternateContent")) {
        XmlElement cNvPr = entry.getFirstChildFromPath("mc:Fallback/p:control/p:pic/p:nvPicPr/p:cNvPr");
        if (cNvPr.getAttributeString("name") != tag) continue;
        ++matched;
        if (!newName.empty()) cNvPr.addAttributeString("name", newName);
        XmlElement choice = entry.getFirstChildFromPath("mc:Choice/p:control");
        if (choice) {
            choice.addAttributeString("r:id", newId);
            if (!newName.empty()) choice.addAttributeString("name", newName);
            bool found = false;
            const std::string s = choice.getAttributeString("spid", std::string(), &found);
            if (found) *spid = s;
        }
        XmlElement fallback = entry.getFirstChildFromPath("mc:Fallback/p:control");
        *oldId = fallback.getAttributeString("r:id");
        fallback.addAttributeString("r:id", newId);
        if (!newName.empty()) fallback.addAttributeString("name", newName);
    }
    return matched > 0;
}

bool OpenXMLSlideDocument::controlUsesId(const std::string& id) const {
    XmlElement controls = getRootElement().getFirstChildFromPath("p:cSld/p:controls");
    for (XmlElement entry = controls.getFirstChildElement("mc:AlternateContent"); entry;
         entry = entry.getNextSiblingElement("mc:AlternateContent"))
        if (entry.getFirstChildFromPath("mc:Fallback/p:control").getAttributeString("r:id") == id ||
            entry.getFirstChildFromPath("mc:Choice/p:control").getAttributeString("r:id") == id)
            return true;
    return false;
}

std::unique_ptr<TiXmlElement> OpenXMLSlideDocument::takeControlPicture(const std::string& tag, float aspect, Names* unusedIds) {
    XmlElement entry = getMdlxEntryByName(tag);
    XmlElement control = entry.getFirstChildFromPath("mc:Fallback/p:control");
    XmlElement pic = control.getFirstChildElement("p:pic");
    if (!control || !pic) return nullptr;
    // The picture that takes the control's place, fitted to the image's aspect.
    std::unique_ptr<TiXmlElement> picture(static_cast<TiXmlElement*>(pic.tx()->Clone()));
    XmlElement ext = XmlElement(picture.get()).getFirstChildFromPath("p:spPr/a:xfrm/a:ext");
    if (ext && aspect > 0.0f) {
        const double cx = std::min(std::max(ext.getAttributeDouble("cx", 3300000), 0.0), MAX_EXTENT);
        const double cy = std::min(std::max(ext.getAttributeDouble("cy", 1700000), 0.0), MAX_EXTENT);
        const double r = cy > 0 ? cx / cy : aspect;
        ext.addAttributeString("cx", extentText(aspect > r ? cx : std::floor(cy * aspect)));
        ext.addAttributeString("cy", extentText(aspect > r ? std::floor(cx / aspect) : cy));
    }
    // The whole alternate content goes: its Choice branch names the same control.
    Names ids{control.getAttributeString("r:id")};
    const std::string choiceId = entry.getFirstChildFromPath("mc:Choice/p:control").getAttributeString("r:id");
    if (!choiceId.empty() && choiceId != ids.front()) ids.push_back(choiceId);
    XmlElement controls = entry.getParentElement();
    controls.removeChildElement(entry);
    if (!controls.getFirstChildElement()) controls.getParentElement().removeChildElement(controls);
    // Relationships still used by another control of the slide stay.
    std::vector<XmlElement> remaining;
    findAllElements(getRootElement(), "p:control", remaining);
    for (const XmlElement& other : remaining) {
        const auto used = std::find(ids.begin(), ids.end(), other.getAttributeString("r:id"));
        if (used != ids.end()) ids.erase(used);
    }
    if (unusedIds) *unusedIds = std::move(ids);
    return picture;
}

int OpenXMLSlideDocument::removePluginWarningLinks() {
    XmlElement tree = getShapeTree();
    int removed = 0;
    for (XmlElement sp = tree.getFirstChildElement("p:sp"); sp;) {
        XmlElement next = sp.getNextSiblingElement("p:sp");
        if (sp.getFirstChildFromPath("p:txBody/a:p/a:r/a:t").getValue() == PLUGIN_WARNING_TEXT) {
            tree.removeChildElement(sp);
            ++removed;
        }
        sp = next;
    }
    return removed;
}

bool OpenXMLSlideDocument::insertPicture(std::unique_ptr<TiXmlElement> picture, const std::string& name,
                                         const std::string& imageId, const std::string& linkId) {
    XmlElement tree = getShapeTree();
    if (!picture || !tree) return false;
    XmlElement pic(picture.get());
    XmlElement cNvPr = pic.getFirstChildFromPath("p:nvPicPr/p:cNvPr");
    cNvPr.addAttributeInt("id", nextShapeId());
    cNvPr.addAttributeString("name", name);
    pic.getFirstChildFromPath("p:blipFill/a:blip").addAttributeString("r:embed", imageId);
    if (!linkId.empty()) setLink(cNvPr, linkId);
    // Before the tree's extension list, which must stay last.
    XmlElement extLst = tree.getFirstChildElement("p:extLst");
    if (extLst) tree.tx()->InsertBeforeChild(extLst.tx(), *picture);
    else tree.tx()->LinkEndChild(picture.release());
    return true;
}

}  // namespace rep
}  // namespace kiv
