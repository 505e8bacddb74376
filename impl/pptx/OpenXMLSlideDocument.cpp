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
    XmlElement ph = shape.GetFirstChildFromPath("p:nvSpPr/p:nvPr/p:ph");
    if (!ph) return false;
    const std::string type = ph.GetAttributeString("type");
    return sameIgnoringCase(type, "title") || sameIgnoringCase(type, "ctrtitle") || sameIgnoringCase(type, "subtitle");
}

std::string shapeName(const XmlElement& shape, const char* cNvPrPath) {
    return shape.GetFirstChildFromPath(cNvPrPath).GetAttributeString("name");
}

// The per-kind rule: REF names with the kind's suffix, then SIT names with it;
// anything else goes to `other` (dropped when other is null).
void classify(const std::string& name, const char* word, Names* sit, Names* ref, Names* other) {
    const TagNameParts parts(name);
    if (parts.IsRef() && parts.suffix == word) ref->push_back(name);
    else if (parts.IsSit() && parts.suffix == word) sit->push_back(name);
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
    OpenXMLSlideDocument::FindShapes(tree, name, shapes);
    return shapes;
}

void appendClone(const XmlElement& parent, const TiXmlElement* source) {
    if (source) parent.Tx()->LinkEndChild(source->Clone());
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
    if (tree) OpenXMLSlideDocument::FindAllElements(tree, "p:graphicFrame", frames);
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
    XmlElement link = cNvPr.GetFirstChildElement("a:hlinkClick");
    if (!link) {
        XmlElement first = cNvPr.GetFirstChildElement();
        link = first ? cNvPr.AddChildElementBefore(first, "a:hlinkClick") : cNvPr.AddChildElement("a:hlinkClick");
    }
    link.AddAttributeString("r:id", linkId);
}

std::string cellText(const kiv::rep::Table& table, size_t row, size_t column) { return toUtf8(table.value(row, column)); }

bool named(const TiXmlNode* node, const char* name) { return node && std::strcmp(node->Value(), name) == 0; }

// The look of the text a body shows, as run properties (a copy): those of its
// first run (a text run or a field, in any paragraph), else those its first
// paragraph ends with. Null when the first run has none or there is neither: the
// text then inherits its look.
std::unique_ptr<TiXmlElement> textLookOf(const XmlElement& body) {
    for (const TiXmlElement* p = body.Tx() ? body.Tx()->FirstChildElement("a:p") : nullptr; p; p = p->NextSiblingElement("a:p"))
        for (const TiXmlElement* r = p->FirstChildElement(); r; r = r->NextSiblingElement())
            if (named(r, "a:r") || named(r, "a:fld")) {
                const TiXmlElement* rPr = r->FirstChildElement("a:rPr");
                return std::unique_ptr<TiXmlElement>(rPr ? static_cast<TiXmlElement*>(rPr->Clone()) : nullptr);
            }
    const TiXmlElement* end = body.GetFirstChildFromPath("a:p/a:endParaRPr").Tx();
    if (!end) return nullptr;
    std::unique_ptr<TiXmlElement> look(static_cast<TiXmlElement*>(end->Clone()));
    look->SetValue("a:rPr");
    return look;
}

// lang and sz of the first cell of a row: from a:endParaRPr, else from the first run.
void cellLanguageAndSize(const XmlElement& row, std::string* lang, int* size) {
    XmlElement props = row.GetFirstChildFromPath("a:tc/a:txBody/a:p/a:endParaRPr");
    if (!props) props = row.GetFirstChildFromPath("a:tc/a:txBody/a:p/a:r/a:rPr");
    *lang = props.GetAttributeString("lang");
    *size = props.GetAttributeInt("sz", -1);
}

XmlElement appendCopy(const XmlElement& parent, const XmlElement& source) {
    if (!parent || !source) return XmlElement();
    return XmlElement(parent.Tx()->LinkEndChild(source.Tx()->Clone())->ToElement());
}

// Makes the text the cell's only text. The first paragraph stays with its
// properties and its first run; the template's other runs, breaks, fields and
// paragraphs go (a cell showing "19.20Testtest" for 19.20 would look filled and be
// wrong). A paragraph without a run gets one that looks as the cell's text does
// (bold header cells stay bold).
void fillCell(const XmlElement& cell, const std::string& text) {
    XmlElement body = cell.GetFirstChildElement("a:txBody");
    if (!body) {
        // A cell without text body gets one: body properties, list style, paragraph.
        XmlElement first = cell.GetFirstChildElement();
        body = first ? cell.AddChildElementBefore(first, "a:txBody") : cell.AddChildElement("a:txBody");
        body.AddChildElement("a:bodyPr");
        body.AddChildElement("a:lstStyle");
    }
    XmlElement p = body.GetFirstChildElement("a:p");
    if (!p) p = body.AddChildElement("a:p");
    TiXmlElement* run = p.Tx()->FirstChildElement("a:r");
    if (!run) {
        std::unique_ptr<TiXmlElement> look = textLookOf(body);
        if (!look) look.reset(new TiXmlElement("a:rPr"));
        look->SetAttribute("smtClean", "0");
        TiXmlElement* end = p.Tx()->FirstChildElement("a:endParaRPr");
        TiXmlElement made("a:r");
        made.LinkEndChild(look.release());
        made.LinkEndChild(new TiXmlElement("a:t"));
        run = (end ? p.Tx()->InsertBeforeChild(end, made) : p.Tx()->InsertEndChild(made))->ToElement();
    }
    for (TiXmlNode* next = p.Tx()->NextSibling(); next;) {
        TiXmlNode* after = next->NextSibling();
        if (named(next, "a:p")) body.Tx()->RemoveChild(next);
        next = after;
    }
    for (TiXmlNode* child = p.Tx()->FirstChild(); child;) {
        TiXmlNode* after = child->NextSibling();
        if (child != run && !named(child, "a:pPr") && !named(child, "a:endParaRPr")) p.Tx()->RemoveChild(child);
        child = after;
    }
    XmlElement t(run->FirstChildElement("a:t"));
    if (!t) t = XmlElement(run).AddChildElement("a:t");
    t.SetValue(text);
}

// The rows of a template table: the first stands for the header, the others in
// turn for the data rows (the first again when there is no other).
class TemplateRows {
public:
    explicit TemplateRows(const XmlElement& templ) {
        for (XmlElement tr = templ.GetFirstChildElement("a:tr"); tr; tr = tr.GetNextSiblingElement("a:tr")) m_rows.push_back(tr);
    }
    // Which template row row r of the table repeats.
    size_t IndexOf(size_t r) const { return r == 0 || m_rows.size() < 2 ? 0 : 1 + (r - 1) % (m_rows.size() - 1); }
    XmlElement Of(size_t r) const { return m_rows.empty() ? XmlElement() : m_rows[IndexOf(r)]; }

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
        std::vector<std::string>& cut = pieces[rows.IndexOf(r)];
        if (cut.empty()) {
            TiXmlElement holder("a:tbl");
            make(XmlElement(&holder), r, [](size_t) { return std::string(ROW_MARK); });
            const std::string printed = holder.FirstChild() ? XmlDocument::PrintNode(*holder.FirstChild()) : "";
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
        const std::vector<std::string>& cut = pieces[rows.IndexOf(r)];
        // Kept text prints between "<" and ">": the rows go without the first and
        // the last; a line each.
        if (r > 1) text += '\n';
        text.append(cut[0], r == 1 ? 1 : 0, std::string::npos);
        for (size_t c = 0; c < n; ++c) {
            XmlAppendEscaped(&text, cellText(table, r, c));
            text += cut[c + 1];
        }
    }
    text.pop_back();
    tbl.Tx()->LinkEndChild(new KeptText(std::move(text)));
}

// The table laid out anew: n columns sharing the template's width, every row like
// the template's first, as high as the template row it stands for.
void buildRebuiltTable(const XmlElement& tbl, const XmlElement& templ, const kiv::rep::Table& table, double width) {
    const size_t n = table.columnCount();
    const TemplateRows rows(templ);
    std::string lang;
    int size = -1;
    cellLanguageAndSize(templ.GetFirstChildElement("a:tr"), &lang, &size);
    XmlElement grid = tbl.AddChildElement("a:tblGrid");
    const std::string columnWidth = extentText(std::floor(std::min(width, MAX_EXTENT) / static_cast<double>(n)));
    for (size_t c = 0; c < n; ++c) grid.AddChildElement("a:gridCol").AddAttributeString("w", columnWidth);
    const RowMaker make = [&](const XmlElement& parent, size_t r, const std::function<std::string(size_t)>& text) {
        XmlElement tr = parent.AddChildElement("a:tr");
        tr.AddAttributeString("h", rows.Of(r).GetAttributeString("h", "0"));
        for (size_t c = 0; c < n; ++c) {
            XmlElement body = tr.AddChildElement("a:tc").AddChildElement("a:txBody");
            body.AddChildElement("a:bodyPr");
            body.AddChildElement("a:lstStyle");
            XmlElement p = body.AddChildElement("a:p");
            XmlElement run = p.AddChildElement("a:r");
            XmlElement rPr = run.AddChildElement("a:rPr");
            rPr.AddAttributeString("lang", lang);
            rPr.AddAttributeInt("smtClean", 0);
            if (size != -1) rPr.AddAttributeInt("sz", size);
            run.AddChildElement("a:t").SetValue(text(c));
            XmlElement end = p.AddChildElement("a:endParaRPr");
            end.AddAttributeString("lang", lang);
            if (size != -1) end.AddAttributeInt("sz", size);
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
    appendCopy(tbl, templ.GetFirstChildElement("a:tblGrid"));
    XmlElement row0 = appendCopy(tbl, templ.GetFirstChildElement("a:tr"));
    size_t c = 0;
    for (XmlElement tc = row0.GetFirstChildElement("a:tc"); tc && c < n; tc = tc.GetNextSiblingElement("a:tc"), ++c)
        fillCell(tc, cellText(table, 0, c));
    appendDataRows(tbl, table, rows, [&](const XmlElement& parent, size_t r, const std::function<std::string(size_t)>& text) {
        const XmlElement pattern = rows.Of(r);
        XmlElement tr = parent.AddChildElement("a:tr");
        tr.AddAttributeString("h", pattern.GetAttributeString("h", "0"));
        XmlElement source = pattern.GetFirstChildElement("a:tc");
        for (size_t col = 0; col < n; ++col) {
            XmlElement tc = source ? appendCopy(tr, source) : tr.AddChildElement("a:tc");
            fillCell(tc, text(col));
            if (source) source = source.GetNextSiblingElement("a:tc");
        }
    });
}

}  // namespace

OpenXMLSlideDocument::OpenXMLSlideDocument(bool withDeclaration) : XmlDocument(withDeclaration) {}

XmlElement OpenXMLSlideDocument::GetShapeTree() const { return GetRootElement("p:sld").GetFirstChildFromPath(SHAPE_TREE_PATH); }

XmlElement OpenXMLSlideDocument::GetTitleTextElt() const {
    std::vector<XmlElement> shapes;
    FindShapes(GetShapeTree(), "p:sp", shapes);
    for (const XmlElement& shape : shapes)
        if (isTitlePlaceholder(shape)) return shape.GetFirstChildFromPath("p:txBody/a:p/a:r/a:t");
    return XmlElement();
}

void OpenXMLSlideDocument::FindShapes(const XmlElement& tree, const char* name, std::vector<XmlElement>& out) {
    for (XmlElement child = tree.GetFirstChildElement(); child; child = child.GetNextSiblingElement()) {
        if (named(child.Tx(), name)) out.push_back(child);
        else if (named(child.Tx(), "p:grpSp")) FindShapes(child, name, out);
    }
}

void OpenXMLSlideDocument::GroupScale(const XmlElement& shape, double* sx, double* sy) {
    *sx = *sy = 1.0;
    for (XmlElement group = shape.GetParentElement(); group && named(group.Tx(), "p:grpSp"); group = group.GetParentElement()) {
        const XmlElement xfrm = group.GetFirstChildFromPath("p:grpSpPr/a:xfrm");
        const XmlElement ext = xfrm.GetFirstChildElement("a:ext"), chExt = xfrm.GetFirstChildElement("a:chExt");
        const double cx = ext.GetAttributeDouble("cx"), cy = ext.GetAttributeDouble("cy");
        const double chx = chExt.GetAttributeDouble("cx"), chy = chExt.GetAttributeDouble("cy");
        if (cx > 0 && chx > 0) *sx *= cx / chx;
        if (cy > 0 && chy > 0) *sy *= cy / chy;
    }
}

void OpenXMLSlideDocument::FindAllElements(const XmlElement& start, const char* name, std::vector<XmlElement>& out) {
    for (XmlElement child = start.GetFirstChildElement(); child; child = child.GetNextSiblingElement()) {
        if (named(child.Tx(), name)) out.push_back(child);
        FindAllElements(child, name, out);
    }
}

bool OpenXMLSlideDocument::EditTextElement(const XmlElement& textBody, const FormattedTextArray& runs) {
    if (!textBody) return true;
    // Remember the template's formatting before its paragraphs go: the first
    // paragraph's properties, and the look of its text, which an empty first line
    // (a paragraph of end properties only) still tells.
    TiXmlElement* paraProps = nullptr;
    TiXmlElement* runProps = textLookOf(textBody).release();
    if (XmlElement p = textBody.GetFirstChildFromPath("a:p/a:pPr")) paraProps = static_cast<TiXmlElement*>(p.Tx()->Clone());
    while (XmlElement p = textBody.GetFirstChildElement("a:p")) textBody.RemoveChildElement(p);

    XmlElement paragraph = textBody.AddChildElement("a:p");
    appendClone(paragraph, paraProps);
    for (const FormattedText& run : runs) {
        if (run.newParagraph) {
            paragraph = textBody.AddChildElement("a:p");
            appendClone(paragraph, paraProps);
            continue;
        }
        if (run.lineBreak) {
            // A line break inside the paragraph, as tall as the text around it.
            XmlElement br = paragraph.AddChildElement("a:br");
            appendClone(br, runProps);
            continue;
        }
        XmlElement r = paragraph.AddChildElement("a:r");
        XmlElement rPr = runProps ? XmlElement(r.Tx()->LinkEndChild(runProps->Clone())->ToElement()) : r.AddChildElement("a:rPr");
        // The markup only adds emphasis: what the run does not mark keeps the
        // template's look, and what it inherits from layout and master stays inherited.
        if (run.bold) rPr.AddAttributeString("b", "1");
        if (run.italic) rPr.AddAttributeString("i", "1");
        if (run.underline) rPr.AddAttributeString("u", "sng");
        rPr.AddAttributeString("dirty", "0");
        rPr.AddAttributeString("smtClean", "0");
        XmlElement t = r.AddChildElement("a:t");
        if (!run.text.empty()) t.SetValue(run.text);
    }
    delete paraProps;
    delete runProps;
    return true;
}

bool OpenXMLSlideDocument::GetTitleTags(Names* sit, Names* ref, Names* other) const {
    const XmlElement tree = GetShapeTree();
    if (!prepare(tree, sit, ref, other)) return false;
    for (const XmlElement& shape : shapesOf(tree, "p:sp")) {
        const std::string name = shapeName(shape, "p:nvSpPr/p:cNvPr");
        if (!name.empty() && isTitlePlaceholder(shape)) classify(name, "TITLE", sit, ref, other);
    }
    return true;
}

bool OpenXMLSlideDocument::GetTextTags(Names* sit, Names* ref, Names* other) const {
    const XmlElement tree = GetShapeTree();
    if (!prepare(tree, sit, ref, other)) return false;
    for (const XmlElement& shape : shapesOf(tree, "p:sp")) {
        const std::string name = shapeName(shape, "p:nvSpPr/p:cNvPr");
        if (!name.empty()) classify(name, "TEXT", sit, ref, other);
    }
    return true;
}

bool OpenXMLSlideDocument::GetMacroTags(Names* sit, Names* ref, Names* other) const {
    const XmlElement tree = GetShapeTree();
    if (!prepare(tree, sit, ref, other)) return false;
    for (const XmlElement& shape : shapesOf(tree, "p:sp")) {
        const std::string name = shapeName(shape, "p:nvSpPr/p:cNvPr");
        if (name.empty() || !isTitlePlaceholder(shape)) continue;
        const TagNameParts parts(name);
        if (name.find("_$") != std::string::npos) {
            if (parts.IsRef()) ref->push_back(name);
            else if (parts.IsSit()) sit->push_back(name);
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
    OpenXMLSlideDocument::FindAllElements(tree, "p:graphicFrame", frames);
    for (const XmlElement& frame : frames) {
        const std::string name = shapeName(frame, "p:nvGraphicFramePr/p:cNvPr");
        if (!name.empty() && frame.GetFirstChildFromPath(contentPath)) classify(name, word, sit, ref, other);
    }
    return true;
}
}  // namespace

bool OpenXMLSlideDocument::GetTableTags(Names* sit, Names* ref, Names* other) const {
    return scanFrames(GetShapeTree(), "a:graphic/a:graphicData/a:tbl", "TABLE", sit, ref, other);
}

bool OpenXMLSlideDocument::GetChartTags(Names* sit, Names* ref, Names* other) const {
    return scanFrames(GetShapeTree(), "a:graphic/a:graphicData/c:chart", "CHART", sit, ref, other);
}

bool OpenXMLSlideDocument::GetPictureTags(Names* sit, Names* ref, Names* other) const {
    const XmlElement tree = GetShapeTree();
    if (!prepare(tree, sit, ref, other)) return false;
    for (const XmlElement& pic : shapesOf(tree, "p:pic")) {
        const std::string name = shapeName(pic, "p:nvPicPr/p:cNvPr");
        if (!name.empty()) classify(name, "PICTURE", sit, ref, nullptr);
    }
    return true;
}

bool OpenXMLSlideDocument::ScanMdlxTags(const XmlDocument& slide, Names* sit, Names* ref) {
    if (!sit || !ref) return false;
    sit->clear();
    ref->clear();
    XmlElement controls = slide.GetRootElement("p:sld").GetFirstChildFromPath("p:cSld/p:controls");
    XmlElement entry = controls.GetFirstChildElement("mc:AlternateContent");
    if (!entry) return false;
    for (; entry; entry = entry.GetNextSiblingElement("mc:AlternateContent")) {
        const std::string name = shapeName(entry, "mc:Fallback/p:control/p:pic/p:nvPicPr/p:cNvPr");
        if (name.empty()) continue;
        const TagNameParts parts(name);
        if (parts.IsSit() && parts.suffix == "MDLX") sit->push_back(name);
        else if (parts.IsRef() && parts.suffix == "MDLX") ref->push_back(name);
    }
    return true;
}

XmlElement OpenXMLSlideDocument::GetMdlxEntryByName(const std::string& name) const {
    XmlElement controls = GetRootElement("p:sld").GetFirstChildFromPath("p:cSld/p:controls");
    for (XmlElement entry = controls.GetFirstChildElement("mc:AlternateContent"); entry;
         entry = entry.GetNextSiblingElement("mc:AlternateContent"))
        if (shapeName(entry, "mc:Fallback/p:control/p:pic/p:nvPicPr/p:cNvPr") == name) return entry;
    return XmlElement();
}

void OpenXMLSlideDocument::GetEmptyTextTags(Names* names) const {
    names->clear();
    const XmlElement tree = GetRootElement("p:sld").GetFirstChildFromPath("p:cSld/p:spTree");
    std::vector<XmlElement> shapes;
    if (tree) FindShapes(tree, "p:sp", shapes);
    for (const XmlElement& sp : shapes) {
        const XmlElement cNvPr = sp.GetFirstChildFromPath("p:nvSpPr/p:cNvPr");
        if (!cNvPr) continue;
        const std::string name = cNvPr.GetAttributeString("name");
        const TagNameParts parts(name);
        if ((!parts.IsRef() && !parts.IsSit()) || (parts.suffix != "TEXT" && parts.suffix != "TITLE")) continue;
        // Text in any paragraph will do: the first may be an empty line.
        bool text = false;
        for (XmlElement p = sp.GetFirstChildFromPath("p:txBody/a:p"); p && !text; p = p.GetNextSiblingElement("a:p"))
            text = bool(p.GetFirstChildFromPath("a:r/a:t"));
        if (!text) names->push_back(name);
    }
}

bool OpenXMLSlideDocument::GetSlideTags(SlideContent* record) const {
    if (!record) return false;
    typedef SlideContent K;
    Names others;
    Names scratch;
    // Text shapes; their other names may still be title or macro tags on any shape.
    GetTextTags(&record->Sit(K::KIND_TEXT), &record->Ref(K::KIND_TEXT), &scratch);
    Names sitTitles, refTitles, sitMacros, refMacros;
    for (const std::string& name : scratch) {
        const TagNameParts parts(name);
        if (name.find('$') != std::string::npos) {
            if (parts.IsRef()) refMacros.push_back(name);
            else if (parts.IsSit()) sitMacros.push_back(name);
            else others.push_back(name);
        } else if (parts.IsRef() && parts.suffix == "TITLE") {
            refTitles.push_back(name);
        } else if (parts.IsSit() && parts.suffix == "TITLE") {
            sitTitles.push_back(name);
        } else {
            others.push_back(name);
        }
    }
    auto append = [](Names& list, const Names& more) { list.insert(list.end(), more.begin(), more.end()); };
    GetTitleTags(&record->Sit(K::KIND_TITLE), &record->Ref(K::KIND_TITLE), &others);
    append(record->Sit(K::KIND_TITLE), sitTitles);
    append(record->Ref(K::KIND_TITLE), refTitles);

    GetPictureTags(&record->Sit(K::KIND_PICTURE), &record->Ref(K::KIND_PICTURE), &others);
    ScanMdlxTags(*this, &record->Sit(K::KIND_MDLX), &record->Ref(K::KIND_MDLX));
    GetTableTags(&record->Sit(K::KIND_TABLE), &record->Ref(K::KIND_TABLE), &others);
    GetChartTags(&record->Sit(K::KIND_CHART), &record->Ref(K::KIND_CHART), &others);

    GetMacroTags(&record->Sit(K::KIND_MACRO), &record->Ref(K::KIND_MACRO), &others);
    append(record->Sit(K::KIND_MACRO), sitMacros);
    append(record->Ref(K::KIND_MACRO), refMacros);

    PresentationHelpers::removeDuplicates(&others);
    record->Others() = std::move(others);
    return true;
}

int OpenXMLSlideDocument::GetMaxShapeId() const {
    std::vector<XmlElement> ids;
    FindAllElements(GetRootElement("p:sld"), "p:cNvPr", ids);
    int largest = 0;
    for (const XmlElement& e : ids) {
        const int id = e.GetAttributeInt("id", 0);
        if (id > largest) largest = id;
    }
    return largest;
}

int OpenXMLSlideDocument::NextShapeId() const { return std::max(FIRST_INSERTED_SHAPE_ID, GetMaxShapeId() + 1); }

// ---------------------------------------------------------------------------
// Edits

int OpenXMLSlideDocument::SetText(const std::string& tag, const FormattedTextArray& runs, const std::string& newName) {
    return forEachNamed(GetShapeTree(), "p:sp", "p:nvSpPr/p:cNvPr", tag, true, [&](const XmlElement& sp) {
        XmlElement body = sp.GetFirstChildElement("p:txBody");
        if (!body) return false;
        EditTextElement(body, runs);
        if (!newName.empty()) sp.GetFirstChildFromPath("p:nvSpPr/p:cNvPr").AddAttributeString("name", newName);
        return true;
    });
}

int OpenXMLSlideDocument::RenameTextShapes(const std::string& tag, const std::string& newName) {
    return forEachNamed(GetShapeTree(), "p:sp", "p:nvSpPr/p:cNvPr", tag, true, [&](const XmlElement& sp) {
        if (!sp.GetFirstChildElement("p:txBody")) return false;
        sp.GetFirstChildFromPath("p:nvSpPr/p:cNvPr").AddAttributeString("name", newName);
        return true;
    });
}

XmlElement OpenXMLSlideDocument::PlaceholderOf(const XmlElement& shape) {
    XmlElement ph = shape.GetFirstChildFromPath("p:nvSpPr/p:nvPr/p:ph");
    return ph ? ph : shape.GetFirstChildFromPath("p:nvPicPr/p:nvPr/p:ph");
}

int OpenXMLSlideDocument::SetPicture(const std::string& tag, const Picture& picture) {
    return forEachNamed(GetShapeTree(), "p:pic", "p:nvPicPr/p:cNvPr", tag, false, [&](const XmlElement& pic) {
        XmlElement cNvPr = pic.GetFirstChildFromPath("p:nvPicPr/p:cNvPr");
        cNvPr.AddAttributeString("descr", picture.description);
        if (!picture.newName.empty()) cNvPr.AddAttributeString("name", picture.newName);
        XmlElement blip = pic.GetFirstChildFromPath("p:blipFill/a:blip");
        if (!blip) return false;
        blip.AddAttributeString("r:embed", picture.imageId);
        if (!picture.linkId.empty()) setLink(cNvPr, picture.linkId);
        // The box the slide shows: the picture's own, or the one its placeholder
        // inherits from the layout (or master). The picture fills it uncropped.
        XmlElement spPr = pic.GetFirstChildElement("p:spPr");
        XmlElement xfrm = spPr.GetFirstChildElement("a:xfrm");
        if (XmlElement crop = pic.GetFirstChildFromPath("p:blipFill/a:srcRect")) crop.GetParentElement().RemoveChildElement(crop);
        if (!xfrm.GetFirstChildElement("a:ext") && spPr && PlaceholderOf(pic) && picture.inheritedBox) {
            XmlDocument holder;
            const XmlElement box = picture.inheritedBox(PlaceholderOf(pic), &holder);
            if (box) {
                if (xfrm) spPr.RemoveChildElement(xfrm);
                const XmlElement first = spPr.GetFirstChildElement();
                xfrm = XmlElement::FromNode(first ? spPr.Tx()->InsertBeforeChild(first.Tx(), *box.Tx())
                                                  : spPr.Tx()->InsertEndChild(*box.Tx()));
            }
        }
        XmlElement ext = xfrm.GetFirstChildElement("a:ext");
        bool haveCx = false, haveCy = false;
        double cx = ext.GetAttributeDouble("cx", -1, &haveCx);
        double cy = ext.GetAttributeDouble("cy", -1, &haveCy);
        if (haveCx && haveCy && picture.width > 0 && picture.height > 0) {
            // Fitted in the slide's units: a group around the picture may scale its
            // two axes differently.
            double sx = 1, sy = 1;
            GroupScale(pic, &sx, &sy);
            cx = std::min(std::max(cx, 0.0), MAX_EXTENT);
            cy = std::min(std::max(cy, 0.0), MAX_EXTENT);
            const double rx = cx * sx / picture.width, ry = cy * sy / picture.height;
            if (rx > ry) cx = std::floor(ry * picture.width / sx);
            else cy = std::floor(rx * picture.height / sy);
            ext.AddAttributeString("cx", extentText(cx));
            ext.AddAttributeString("cy", extentText(cy));
        }
        return true;
    });
}

bool OpenXMLSlideDocument::RenamePicture(const std::string& tag, const std::string& newName) {
    for (const XmlElement& pic : shapesOf(GetShapeTree(), "p:pic")) {
        XmlElement cNvPr = pic.GetFirstChildFromPath("p:nvPicPr/p:cNvPr");
        if (cNvPr.GetAttributeString("name") == tag) {
            cNvPr.AddAttributeString("name", newName);
            return true;
        }
    }
    return false;
}

int OpenXMLSlideDocument::SetTable(const std::string& tag, const kiv::rep::Table& table, const std::string& newName) {
    int replaced = 0;
    for (const XmlElement& frame : framesNamed(GetShapeTree(), tag)) {
        if (!lfw::text::isBlank(newName))
            frame.GetFirstChildFromPath("p:nvGraphicFramePr/p:cNvPr").AddAttributeString("name", newName);
        XmlElement data = frame.GetFirstChildFromPath("a:graphic/a:graphicData");
        XmlElement templ = data.GetFirstChildElement("a:tbl");
        if (!templ) continue;
        XmlElement gridTemplate = templ.GetFirstChildElement("a:tblGrid");
        if (!gridTemplate || !templ.GetFirstChildElement("a:tr")) return -1;
        int columns = 0;
        double width = 0;
        for (XmlElement col = gridTemplate.GetFirstChildElement("a:gridCol"); col; col = col.GetNextSiblingElement("a:gridCol")) {
            ++columns;
            width += std::min(std::max(col.GetAttributeDouble("w", 0), 0.0), MAX_EXTENT);
        }
        // The new table is built detached and then takes the old one's place.
        TiXmlElement* built = new TiXmlElement("a:tbl");
        XmlElement tbl(built);
        appendCopy(tbl, templ.GetFirstChildElement("a:tblPr"));
        if (static_cast<size_t>(columns) != table.columnCount()) buildRebuiltTable(tbl, templ, table, width);
        else buildTemplateTable(tbl, templ, table);
        // Linked in, not copied, where the old table is the last child (as it is
        // in a table frame): a copy would hold the filled table twice.
        if (data.Tx()->LastChild() == templ.Tx()) {
            data.Tx()->RemoveChild(templ.Tx());
            data.Tx()->LinkEndChild(built);
        } else {
            data.Tx()->ReplaceChild(templ.Tx(), *built);
            delete built;
        }
        ++replaced;
    }
    return replaced;
}

int OpenXMLSlideDocument::RenameFrames(const std::string& tag, const std::string& newName) {
    const std::vector<XmlElement> frames = framesNamed(GetShapeTree(), tag);
    if (!lfw::text::isBlank(newName))
        for (const XmlElement& frame : frames)
            frame.GetFirstChildFromPath("p:nvGraphicFramePr/p:cNvPr").AddAttributeString("name", newName);
    return static_cast<int>(frames.size());
}

int OpenXMLSlideDocument::ChartFrames(const std::string& tag, const std::string& newName, Names* chartIds) {
    int count = 0;
    for (const XmlElement& frame : framesNamed(GetShapeTree(), tag)) {
        if (!lfw::text::isBlank(newName))
            frame.GetFirstChildFromPath("p:nvGraphicFramePr/p:cNvPr").AddAttributeString("name", newName);
        bool found = false;
        const std::string id =
            frame.GetFirstChildFromPath("a:graphic/a:graphicData/c:chart").GetAttributeString("r:id", std::string(), &found);
        if (!found || id.empty()) return -1;
        if (chartIds) chartIds->push_back(id);
        ++count;
    }
    return count;
}

// ---------------------------------------------------------------------------
// 3D controls

bool OpenXMLSlideDocument::RepointControl(const std::string& tag, const std::string& newName, const std::string& newId,
                                          std::string* spid, std::string* oldId) {
    int matched = 0;
    XmlElement controls = GetRootElement("p:sld").GetFirstChildFromPath("p:cSld/p:controls");
    for (XmlElement entry = controls.GetFirstChildElement("mc:AlternateContent"); entry;
         entry = entry.GetNextSiblingElement("mc:AlternateContent")) {
        XmlElement cNvPr = entry.GetFirstChildFromPath("mc:Fallback/p:control/p:pic/p:nvPicPr/p:cNvPr");
        if (cNvPr.GetAttributeString("name") != tag) continue;
        ++matched;
        if (!newName.empty()) cNvPr.AddAttributeString("name", newName);
        XmlElement choice = entry.GetFirstChildFromPath("mc:Choice/p:control");
        if (choice) {
            choice.AddAttributeString("r:id", newId);
            if (!newName.empty()) choice.AddAttributeString("name", newName);
            bool found = false;
            const std::string s = choice.GetAttributeString("spid", std::string(), &found);
            if (found) *spid = s;
        }
        XmlElement fallback = entry.GetFirstChildFromPath("mc:Fallback/p:control");
        *oldId = fallback.GetAttributeString("r:id");
        fallback.AddAttributeString("r:id", newId);
        if (!newName.empty()) fallback.AddAttributeString("name", newName);
    }
    return matched > 0;
}

bool OpenXMLSlideDocument::ControlUsesId(const std::string& id) const {
    XmlElement controls = GetRootElement().GetFirstChildFromPath("p:cSld/p:controls");
    for (XmlElement entry = controls.GetFirstChildElement("mc:AlternateContent"); entry;
         entry = entry.GetNextSiblingElement("mc:AlternateContent"))
        if (entry.GetFirstChildFromPath("mc:Fallback/p:control").GetAttributeString("r:id") == id ||
            entry.GetFirstChildFromPath("mc:Choice/p:control").GetAttributeString("r:id") == id)
            return true;
    return false;
}

std::unique_ptr<TiXmlElement> OpenXMLSlideDocument::TakeControlPicture(const std::string& tag, float aspect, Names* unusedIds) {
    XmlElement entry = GetMdlxEntryByName(tag);
    XmlElement control = entry.GetFirstChildFromPath("mc:Fallback/p:control");
    XmlElement pic = control.GetFirstChildElement("p:pic");
    if (!control || !pic) return nullptr;
    // The picture that takes the control's place, fitted to the image's aspect.
    std::unique_ptr<TiXmlElement> picture(static_cast<TiXmlElement*>(pic.Tx()->Clone()));
    XmlElement ext = XmlElement(picture.get()).GetFirstChildFromPath("p:spPr/a:xfrm/a:ext");
    if (ext && aspect > 0.0f) {
        const double cx = std::min(std::max(ext.GetAttributeDouble("cx", 3300000), 0.0), MAX_EXTENT);
        const double cy = std::min(std::max(ext.GetAttributeDouble("cy", 1700000), 0.0), MAX_EXTENT);
        const double r = cy > 0 ? cx / cy : aspect;
        ext.AddAttributeString("cx", extentText(aspect > r ? cx : std::floor(cy * aspect)));
        ext.AddAttributeString("cy", extentText(aspect > r ? std::floor(cx / aspect) : cy));
    }
    // The whole alternate content goes: its Choice branch names the same control.
    Names ids{control.GetAttributeString("r:id")};
    const std::string choiceId = entry.GetFirstChildFromPath("mc:Choice/p:control").GetAttributeString("r:id");
    if (!choiceId.empty() && choiceId != ids.front()) ids.push_back(choiceId);
    XmlElement controls = entry.GetParentElement();
    controls.RemoveChildElement(entry);
    if (!controls.GetFirstChildElement()) controls.GetParentElement().RemoveChildElement(controls);
    // Relationships still used by another control of the slide stay.
    std::vector<XmlElement> remaining;
    FindAllElements(GetRootElement(), "p:control", remaining);
    for (const XmlElement& other : remaining) {
        const auto used = std::find(ids.begin(), ids.end(), other.GetAttributeString("r:id"));
        if (used != ids.end()) ids.erase(used);
    }
    if (unusedIds) *unusedIds = std::move(ids);
    return picture;
}

int OpenXMLSlideDocument::RemovePluginWarningLinks() {
    XmlElement tree = GetShapeTree();
    int removed = 0;
    for (XmlElement sp = tree.GetFirstChildElement("p:sp"); sp;) {
        XmlElement next = sp.GetNextSiblingElement("p:sp");
        if (sp.GetFirstChildFromPath("p:txBody/a:p/a:r/a:t").GetValue() == PLUGIN_WARNING_TEXT) {
            tree.RemoveChildElement(sp);
            ++removed;
        }
        sp = next;
    }
    return removed;
}

bool OpenXMLSlideDocument::InsertPicture(std::unique_ptr<TiXmlElement> picture, const std::string& name,
                                         const std::string& imageId, const std::string& linkId) {
    XmlElement tree = GetShapeTree();
    if (!picture || !tree) return false;
    XmlElement pic(picture.get());
    XmlElement cNvPr = pic.GetFirstChildFromPath("p:nvPicPr/p:cNvPr");
    cNvPr.AddAttributeInt("id", NextShapeId());
    cNvPr.AddAttributeString("name", name);
    pic.GetFirstChildFromPath("p:blipFill/a:blip").AddAttributeString("r:embed", imageId);
    if (!linkId.empty()) setLink(cNvPr, linkId);
    // Before the tree's extension list, which must stay last.
    XmlElement extLst = tree.GetFirstChildElement("p:extLst");
    if (extLst) tree.Tx()->InsertBeforeChild(extLst.Tx(), *picture);
    else tree.Tx()->LinkEndChild(picture.release());
    return true;
}

}  // namespace rep
}  // namespace kiv
