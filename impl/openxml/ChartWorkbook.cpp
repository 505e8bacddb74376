// The workbook of a chart filled from a table: the table goes into the sheet the
// chart names (header and text cells as shared strings, numbers as numbers), the
// sheet's table part (when it has one) spans it, and a chart without a workbook
// of its own gets a new one.
#include "impl/openxml/ChartSheet.h"
#include "LibCore/lfwText.h"
#include "impl/openxml/ChartData.h"
#include "impl/openxml/OpenXMLPaths.h"
#include "impl/storage/XmlDocument.h"
#include "impl/storage/ZipArchive.h"
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <set>
#include <unordered_map>

namespace kiv {
namespace rep {

namespace {

// Limits of a worksheet: larger tables cannot be written as a valid workbook.
const size_t MAX_SHEET_ROWS = 1048576;
const size_t MAX_SHEET_COLUMNS = 16384;

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

std::string lowered(const std::string& utf8) { return lfw::text::lowerAscii(utf8); }

// The parts of a workbook made from nothing: one empty sheet "Sheet1", shared
// strings and the styles every spreadsheet program expects.
const struct {
    const char* name;
    const char* text;
} NEW_WORKBOOK[] = {
    {"[Content_Types].xml",
     "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
     "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
     "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
     "<Override PartName=\"/xl/workbook.xml\" "
     "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/>"
     "<Override PartName=\"/xl/worksheets/sheet1.xml\" "
     "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml\"/>"
     "<Override PartName=\"/xl/sharedStrings.xml\" "
     "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml\"/>"
     "<Override PartName=\"/xl/styles.xml\" "
     "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml\"/></Types>"},
    {"_rels/.rels",
     "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
     "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
     "officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>"},
    {"xl/workbook.xml",
     "<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
     "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
     "<sheets><sheet name=\"Sheet1\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>"},
    {"xl/_rels/workbook.xml.rels",
     "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
     "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
     "worksheet\" Target=\"worksheets/sheet1.xml\"/>"
     "<Relationship Id=\"rId2\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
     "sharedStrings\" Target=\"sharedStrings.xml\"/>"
     "<Relationship Id=\"rId3\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
     "styles\" Target=\"styles.xml\"/></Relationships>"},
    {"xl/worksheets/sheet1.xml",
     "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
     "<dimension ref=\"A1\"/><sheetData/></worksheet>"},
    {"xl/sharedStrings.xml",
     "<sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" count=\"0\" uniqueCount=\"0\"/>"},
    {"xl/styles.xml",
     "<styleSheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
     "<fonts count=\"1\"><font><sz val=\"11\"/><name val=\"Calibri\"/></font></fonts>"
     "<fills count=\"2\"><fill><patternFill patternType=\"none\"/></fill>"
     "<fill><patternFill patternType=\"gray125\"/></fill></fills>"
     "<borders count=\"1\"><border><left/><right/><top/><bottom/><diagonal/></border></borders>"
     "<cellStyleXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\"/></cellStyleXfs>"
     "<cellXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\"/></cellXfs>"
     "<cellStyles count=\"1\"><cellStyle name=\"Normal\" xfId=\"0\" builtinId=\"0\"/></cellStyles></styleSheet>"},
};

bool makeWorkbook(std::string* bytes, Problems* problems) {
    ZipMemFile memory;
    ZipArchive book(problems);
    if (!book.open(&memory, ZIP_CREATE)) return false;
    bool ok = true;
    for (const auto& part : NEW_WORKBOOK) {
        const std::string text = std::string("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n") + part.text;
        ok = ok && book.writeDataRaw(part.name, text.data(), text.size(), false);
    }
    if (!book.close() || !ok) return false;
    *bytes = memory.getData();
    return true;
}

// An open workbook and the parts the filling reads and writes.
class Workbook {
public:
    Workbook(const std::string& name, std::string* why, const std::shared_ptr<XmlMemoryBudget>& budget, Problems* problems)
        : m_name(name), m_why(why), m_book(problems) {
        m_book.setXmlBudget(budget);  // the workbook's parts count with the package's
    }
    ~Workbook() {
        if (!m_book.isClosed()) m_book.close();
    }

    bool open(const std::string& bytes) {
        if (!ZipArchive::looksLikeZip(bytes.data(), bytes.size())) return fail("is not a zip archive");
        if (!m_memory.copyData(bytes.data(), bytes.size()) || !m_book.open(&m_memory, ZIP_OPEN))
            return fail("cannot be opened as a zip archive");
        return true;
    }

    // The part as XML; false (and, when required, the reason) when it is missing or unreadable.
    bool read(const std::string& part, XmlDocument* document, bool required = true) {
        const std::string name = part;
        if (!name.empty() && m_book.findFile(name) >= 0 && m_book.readXmlFile(name, document) && document->RootElement())
            return true;
        return required ? fail("has no readable part " + OpenXMLPaths::toSlash(part)) : false;
    }

    // The part a relationship of `source` leads to: by id, or the first of a type.
    std::string related(const std::string& source, const std::string& id, const char* typeEnd) {
        const std::string relsPath = OpenXMLPaths::relsPartName(source);
        XmlDocument rels;
        if (!read(relsPath, &rels, false)) return std::string();
        for (const TiXmlElement* r = rels.RootElement()->FirstChildElement("Relationship"); r;
             r = r->NextSiblingElement("Relationship")) {
            const char* rid = r->Attribute("Id");
            const char* type = r->Attribute("Type");
            const std::string t = type ? type : "";
            const size_t end = typeEnd ? std::strlen(typeEnd) : 0;
            const bool match = typeEnd ? t.size() > end && t.compare(t.size() - end, end, typeEnd) == 0 : rid && id == rid;
            if (match && r->Attribute("Target") && !r->Attribute("TargetMode"))
                return OpenXMLPaths::resolvePartName(source, std::string(r->Attribute("Target")));
        }
        return std::string();
    }

    bool write(const std::string& part, const XmlDocument& document) {
        return m_book.writeXmlFile(part, &document, true) || fail("cannot be written");
    }

    bool finish(std::string* bytes) {
        if (!m_book.close()) return fail("cannot be written");
        // Removed entries leave gaps in the archive; the stored copy is compacted.
        *bytes = m_memory.getData();
        return true;
    }

    bool fail(const std::string& what) {
        if (m_why && m_why->empty()) *m_why = "the chart's workbook " + m_name + " " + what;
        return false;
    }

private:
    std::string m_name;
    std::string* m_why;
    ZipMemFile m_memory;
    ZipArchive m_book;
};

// Shared strings of the workbook: the old ones are kept when other sheets may
// use them, new texts are appended once.
class SharedStrings {
public:
    explicit SharedStrings(TiXmlElement* sst, bool keepOld) : m_sst(sst) {
        if (!sst) return;
        if (!keepOld) sst->Clear();
        for (TiXmlElement* si = sst->FirstChildElement("si"); si; si = si->NextSiblingElement("si")) {
            const TiXmlElement* t = si->FirstChildElement("t");
            if (t && !si->FirstChildElement("r")) m_index.emplace(t->GetText() ? t->GetText() : "", m_count);
            ++m_count;
        }
    }
    bool available() const { return m_sst != nullptr; }
    int index(const std::string& text) {
        ++m_uses;
        const auto found = m_index.find(text);
        if (found != m_index.end()) return found->second;
        TiXmlElement* si = m_sst->LinkEndChild(new TiXmlElement("si"))->ToElement();
        addText(si, text);
        m_index.emplace(text, m_count);
        return m_count++;
    }
    void finish() {
        m_sst->SetAttribute("count", m_uses);
        m_sst->SetAttribute("uniqueCount", m_count);
    }
    // A <t> element with the text, its blanks at the ends kept.
    static void addText(TiXmlElement* parent, const std::string& text) {
        TiXmlElement* t = parent->LinkEndChild(new TiXmlElement("t"))->ToElement();
        if (!text.empty()) t->LinkEndChild(new TiXmlText(text));
        if (!text.empty() && (isBlank(text.front()) || isBlank(text.back()))) t->SetAttribute("xml:space", "preserve");
    }

private:
    TiXmlElement* m_sst;
    std::unordered_map<std::string, int> m_index;
    int m_count = 0;
    int m_uses = 0;
};

// Whether a cell is a number a spreadsheet and a chart read as written: a
// finite double (1e999, 1.8e308 and a 400-digit integer overflow one), and for
// a label (a category) no leading zeros that the number would drop (00123).
bool readsAsNumber(const std::string& cell, bool label) {
    if (!lfw::text::isNumber(cell) || !std::isfinite(lfw::text::toDouble(cell))) return false;
    size_t i = 0;
    while (i < cell.size() && isBlank(cell[i])) ++i;
    if (i < cell.size() && (cell[i] == '+' || cell[i] == '-')) ++i;
    return !label || i + 1 >= cell.size() || cell[i] != '0' || !std::isdigit(static_cast<unsigned char>(cell[i + 1]));
}

// The style of an old cell of the sheet, for the new cells of its role.
std::string styleOf(const TiXmlElement* sheetData, const char* reference) {
    for (const TiXmlElement* row = sheetData->FirstChildElement("row"); row; row = row->NextSiblingElement("row"))
        for (const TiXmlElement* c = row->FirstChildElement("c"); c; c = c->NextSiblingElement("c"))
            if (c->Attribute("r") && std::string(c->Attribute("r")) == reference)
                return c->Attribute("s") ? c->Attribute("s") : "";
    return std::string();
}

}  // namespace

ChartSheet::ChartSheet(const kiv::rep::Table& table, bool categories)
    : m_rows(table.rowCount()), m_columns(table.rowCount() ? table.columnCount() : 0) {
    m_cells.reserve(m_rows * m_columns);
    m_numbers.reserve(m_rows * m_columns);
    for (size_t r = 0; r < m_rows; ++r)
        for (size_t c = 0; c < m_columns; ++c) {
            m_cells.push_back(table.value(r, c).toStdString());
            m_numbers.push_back(r > 0 && readsAsNumber(m_cells.back(), categories && c == 0));
        }
    std::set<std::string> used;
    for (size_t c = 0; c < m_columns; ++c) {
        bool cut = false;
        std::string name = cellText(at(0, c), &cut);
        bool blank = true;
        for (char ch : name) blank = blank && isBlank(ch);
        if (blank) name = "Column" + std::to_string(c + 1);
        if (used.count(lowered(name))) {
            int k = 2;
            while (used.count(lowered(name + std::to_string(k)))) ++k;
            // The number goes after as much of the name as a cell still holds.
            const std::string number = std::to_string(k);
            bool shortened = false;
            while (!name.empty() && cellText(name + number, &shortened).size() < name.size() + number.size()) {
                size_t last = name.size() - 1;  // the last character, all its bytes
                while (last > 0 && (static_cast<unsigned char>(name[last]) & 0xC0) == 0x80) --last;
                name.erase(last);
                cut = true;
            }
            name += number;
        }
        used.insert(lowered(name));
        m_names.push_back(name);
        m_namesCut.push_back(cut);
    }
}

std::string ChartSheet::cellText(const std::string& text, bool* cut) {
    *cut = false;
    size_t units = 0;
    for (size_t i = 0; i < text.size();) {
        const unsigned char lead = static_cast<unsigned char>(text[i]);
        const size_t bytes = lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        units += bytes == 4 ? 2 : 1;  // beyond the BMP: a surrogate pair
        if (units > MAX_CELL_TEXT) {
            *cut = true;
            return text.substr(0, i);
        }
        i += bytes;
    }
    return text;
}

std::string ChartSheet::numberAt(size_t row, size_t column) const {
    const std::string& s = at(row, column);
    size_t first = 0, last = s.size();
    while (first < last && isBlank(s[first])) ++first;
    while (last > first && isBlank(s[last - 1])) --last;
    return s.substr(first, last - first);
}

std::string chartColumn(size_t column) { return ChartData::getColumnIdFromIndex(static_cast<int>(column)); }

std::string chartReference(const std::string& sheet, size_t column, size_t firstRow, size_t lastRow) {
    // A sheet name other than letters, digits and "_" (not starting with a digit) is quoted.
    bool plain = !sheet.empty() && !(sheet[0] >= '0' && sheet[0] <= '9');
    for (unsigned char ch : sheet) plain = plain && (std::isalnum(ch) || ch == '_' || ch >= 0x80);
    std::string ref;
    if (plain) {
        ref = sheet;
    } else {
        ref = "'";
        for (char ch : sheet) ref += ch == '\'' ? std::string("''") : std::string(1, ch);
        ref += "'";
    }
    const std::string col = "$" + chartColumn(column) + "$";
    ref += "!" + col + std::to_string(firstRow);
    if (lastRow != firstRow) ref += ":" + col + std::to_string(lastRow);
    return ref;
}

bool chartWriteWorkbook(const std::string& workbook, const std::string& workbookName, const ChartSheet& table, std::string* sheet,
                        std::string* newWorkbook, std::string* why, const std::shared_ptr<XmlMemoryBudget>& budget,
                        std::string* note, Problems* problems) {
    const size_t r = table.rows(), n = table.columns();
    Workbook book(workbookName, why, budget, problems);
    if (r == 0 || n == 0 || r > MAX_SHEET_ROWS || n > MAX_SHEET_COLUMNS)
        return book.fail("cannot hold a table of " + std::to_string(r) + " rows and " + std::to_string(n) + " columns");
    std::string fresh;
    if (workbook.empty() && !makeWorkbook(&fresh, problems)) return book.fail("cannot be made");
    if (!book.open(workbook.empty() ? fresh : workbook)) return false;

    // The sheet: the one named, else the first of the workbook.
    const std::string main("xl/workbook.xml");
    XmlDocument wb, ws, tablePart, strings;
    if (!book.read(main, &wb)) return false;
    const TiXmlElement* sheets = wb.RootElement()->FirstChildElement("sheets");
    const TiXmlElement* chosen = sheets ? sheets->FirstChildElement("sheet") : nullptr;
    int sheetCount = 0;
    for (const TiXmlElement* s = chosen; s; s = s->NextSiblingElement("sheet")) {
        ++sheetCount;
        if (s->Attribute("name") && !sheet->empty() && lowered(s->Attribute("name")) == lowered(*sheet)) chosen = s;
    }
    if (!chosen || !chosen->Attribute("name") || !chosen->Attribute("r:id")) return book.fail("has no worksheet");
    *sheet = chosen->Attribute("name");
    const std::string sheetPart = book.related(main, chosen->Attribute("r:id"), nullptr);
    if (sheetPart.empty()) return book.fail("has no worksheet");
    if (!book.read(sheetPart, &ws)) return false;
    TiXmlElement* worksheet = ws.RootElement();
    TiXmlElement* sheetData = worksheet->FirstChildElement("sheetData");
    if (!sheetData) return book.fail("has no cells in " + OpenXMLPaths::toSlash(sheetPart));

    // Shared strings when the workbook has them, else strings in the cells.
    const std::string stringsPart = book.related(main, std::string(), "/sharedStrings");
    const bool haveStrings = book.read(stringsPart, &strings, false);
    SharedStrings shared(haveStrings ? strings.RootElement() : nullptr, sheetCount > 1);

    // A table part needs a data row below its header: a header-only table keeps an empty row.
    const std::string range = "A1:" + chartColumn(n - 1) + std::to_string(std::max<size_t>(r, 2));
    if (TiXmlElement* dimension = worksheet->FirstChildElement("dimension")) dimension->SetAttribute("ref", range);
    // New cells take the styles of the old header, category and value cells.
    const std::string styles[3] = {styleOf(sheetData, "B1"), styleOf(sheetData, "A2"), styleOf(sheetData, "B2")};
    sheetData->Clear();
    const std::string spans = "1:" + std::to_string(n);
    std::vector<std::string> cut;  // the cells whose text is cut
    for (size_t i = 0; i < r; ++i) {
        TiXmlElement* row = sheetData->LinkEndChild(new TiXmlElement("row"))->ToElement();
        row->SetAttribute("r", std::to_string(i + 1));
        row->SetAttribute("spans", spans);
        for (size_t c = 0; c < n; ++c) {
            bool shortened = i == 0 && table.nameCut(c);
            const std::string text = i == 0                 ? table.name(c)
                                     : table.isNumber(i, c) ? table.at(i, c)
                                                            : ChartSheet::cellText(table.at(i, c), &shortened);
            if (shortened) cut.push_back(chartColumn(c) + std::to_string(i + 1));
            if (text.empty()) continue;
            TiXmlElement* cell = row->LinkEndChild(new TiXmlElement("c"))->ToElement();
            cell->SetAttribute("r", chartColumn(c) + std::to_string(i + 1));
            const std::string& style = styles[i == 0 ? 0 : c == 0 ? 1 : 2];
            if (!style.empty()) cell->SetAttribute("s", style);
            TiXmlElement* v = nullptr;
            if (table.isNumber(i, c)) {
                v = new TiXmlElement("v");
                v->LinkEndChild(new TiXmlText(table.numberAt(i, c)));
            } else if (shared.available()) {
                cell->SetAttribute("t", "s");
                v = new TiXmlElement("v");
                v->LinkEndChild(new TiXmlText(std::to_string(shared.index(text))));
            } else {
                cell->SetAttribute("t", "inlineStr");
                SharedStrings::addText(cell->LinkEndChild(new TiXmlElement("is"))->ToElement(), text);
            }
            if (v) cell->LinkEndChild(v);
        }
    }
    if (shared.available()) shared.finish();
    if (note && !cut.empty()) {
        std::string cells = cut.front();
        for (size_t k = 1; k < cut.size() && k < 5; ++k) cells += (k + 1 == cut.size() ? " and " : ", ") + cut[k];
        if (cut.size() > 5) cells += " and " + std::to_string(cut.size() - 5) + " more";
        *note = "The chart's workbook " + workbookName + " keeps the first " + std::to_string(ChartSheet::MAX_CELL_TEXT) +
                " characters of cell" + (cut.size() > 1 ? "s " : " ") + cells +
                ", all a cell holds (the chart shows the whole text)";
    }

    // The sheet's table part, when it has one, spans the table and names its columns.
    const TiXmlElement* tableParts = worksheet->FirstChildElement("tableParts");
    const TiXmlElement* tablePartRef = tableParts ? tableParts->FirstChildElement("tablePart") : nullptr;
    const std::string tablePath = tablePartRef && tablePartRef->Attribute("r:id")
                                      ? book.related(sheetPart, tablePartRef->Attribute("r:id"), nullptr)
                                      : std::string();
    if (tablePartRef && !book.read(tablePath, &tablePart)) return false;
    if (tablePartRef) {
        TiXmlElement* root = tablePart.RootElement();
        TiXmlElement* columns = root->FirstChildElement("tableColumns");
        if (!columns) return book.fail("has a table part without columns");
        root->SetAttribute("ref", range);
        root->SetAttribute("displayName", "SIT_CHART");
        if (TiXmlElement* filter = root->FirstChildElement("autoFilter")) filter->SetAttribute("ref", range);
        columns->Clear();
        columns->SetAttribute("count", static_cast<int>(n));
        for (size_t c = 0; c < n; ++c) {
            TiXmlElement* column = columns->LinkEndChild(new TiXmlElement("tableColumn"))->ToElement();
            column->SetAttribute("id", static_cast<int>(c + 1));
            column->SetAttribute("name", table.name(c));
        }
    }
    return book.write(sheetPart, ws) && (!haveStrings || book.write(stringsPart, strings)) &&
           (!tablePartRef || book.write(tablePath, tablePart)) && book.finish(newWorkbook);
}

bool ChartFill::fillWorkbook(const std::string& workbook, const std::string& workbookName, const ChartData& data,
                             const std::string& sheetName, std::string* newWorkbook, std::string* why,
                             const std::shared_ptr<XmlMemoryBudget>& budget, Problems* problems) {
    if (!data.m_table) return false;
    std::string sheet = sheetName;
    return chartWriteWorkbook(workbook, workbookName, ChartSheet(*data.m_table), &sheet, newWorkbook, why, budget, nullptr,
                              problems);
}

}  // namespace rep
}  // namespace kiv
