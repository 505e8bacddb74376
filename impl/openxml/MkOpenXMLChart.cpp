// Charts from tables: series of scatter and line charts, titles, the embedded workbook.
#include "impl/openxml/MkChartData.h"
#include "impl/openxml/MkOpenXMLArchive.h"
#include "impl/openxml/MkOpenXMLPaths.h"
#include "host/ug/UgConvert.h"
#include "impl/storage/ReportLog.h"
#include <algorithm>
#include <cwctype>
#include <string>
#include <vector>

using namespace MkOpenXMLPaths;

MkChartData::MkChartData(const kiv::rep::Table& table)
    : m_table(&table),
      m_xAxisTitle(kiv::ug::Convert::toMkString(table.chartXAxisTitle())),
      m_yAxisTitle(kiv::ug::Convert::toMkString(table.chartYAxisTitle())) {}

MkString MkChartData::GetColumnIDFromIndex(int index) {
    if (index < 0) return MkString();
    std::wstring name;
    long long n = static_cast<long long>(index) + 1;
    while (n > 0) {
        --n;
        name.insert(name.begin(), static_cast<wchar_t>(L'A' + n % 26));
        n /= 26;
    }
    return MkString(std::move(name));
}

namespace {

// Limits of a worksheet: larger tables cannot be written as a valid workbook.
const size_t MAX_SHEET_ROWS = 1048576;
const size_t MAX_SHEET_COLUMNS = 16384;

const wchar_t* const SHEET_PART = L"xl\\worksheets\\sheet1.xml";
const wchar_t* const TABLE_PART = L"xl\\tables\\table1.xml";
const wchar_t* const SHARED_STRINGS_PART = L"xl\\sharedStrings.xml";
const wchar_t* const STYLES_PART = L"xl\\styles.xml";

MkString cell(const MkChartData& data, size_t row, size_t column) {
    return kiv::ug::Convert::toMkString(data.m_table->value(row, column));
}

MkString trimmed(MkString text) {
    text.Trim();
    return text;
}

MkString L_(size_t column) { return MkChartData::GetColumnIDFromIndex(static_cast<int>(column)); }

MkXmlElement addValElement(const MkXmlElement& parent, const wchar_t* name, long long value) {
    MkXmlElement e = parent.AddChildElement(MkString(name));
    e.AddAttributeString(MkString(L"val"), MkString(std::to_wstring(value)));
    return e;
}

// <c:numRef> with formula and cached points of column `column` (rows 1..r-1).
// Cells that are not numbers are cached as 0.
bool addNumRef(const MkXmlElement& parent, const MkChartData& data, size_t column, const MkString& formula) {
    const size_t rows = data.m_table->rowCount();
    MkXmlElement numRef = parent.AddChildElement(MkString(L"c:numRef"));
    if (!numRef.AddChildElement(MkString(L"c:f"), formula)) return false;
    MkXmlElement cache = numRef.AddChildElement(MkString(L"c:numCache"));
    cache.AddChildElement(MkString(L"c:formatCode"), MkString(L"General"));
    addValElement(cache, L"c:ptCount", static_cast<long long>(rows - 1));
    for (size_t i = 1; i < rows; ++i) {
        MkXmlElement pt = cache.AddChildElement(MkString(L"c:pt"));
        pt.AddAttributeString(MkString(L"idx"), MkString(std::to_wstring(i - 1)));
        const MkString text = cell(data, i, column);
        if (!pt.AddChildElement(MkString(L"c:v"), text.IsNumber() ? trimmed(text) : MkString(L"0"))) return false;
    }
    return true;
}

// Every a:r below the element (any depth), in document order.
void collectRuns(const MkXmlElement& e, std::vector<MkXmlElement>* runs) {
    for (MkXmlElement c = e.GetFirstChildElement(); c; c = c.GetNextSiblingElement()) {
        if (c.GetName() == MkString(L"a:r")) runs->push_back(c);
        collectRuns(c, runs);
    }
}

bool needsPreserve(const MkString& text) {
    return !text.IsEmpty() && (iswspace(text[0]) || iswspace(text[text.Length() - 1]));
}

// A <t> element holding the text (spaces at its ends kept).
void addText(const MkXmlElement& parent, const MkString& text) {
    MkXmlElement t = parent.AddChildElement(MkString(L"t"), text);
    if (needsPreserve(text)) t.AddAttributeString(MkString(L"xml:space"), MkString(L"preserve"));
}

// Table column names must be unique (ignoring case) and not empty in a valid
// workbook, and the header cells must hold them: empty names become "Column<c>",
// repeated ones get the next free number appended, as the spreadsheet does.
std::vector<MkString> headerNames(const MkChartData& data) {
    const size_t n = data.m_table->columnCount();
    std::vector<MkString> names;
    auto used = [&names](const MkString& s) {
        for (const MkString& u : names)
            if (u.CompareNoCase(s) == 0) return true;
        return false;
    };
    for (size_t c = 0; c < n; ++c) {
        MkString name = cell(data, 0, c);
        if (name.IsBlank()) name = L"Column" + MkString(static_cast<int>(c + 1));
        if (used(name)) {
            int k = 2;
            while (used(name + MkString(k))) ++k;
            name = name + MkString(k);
        }
        names.push_back(name);
    }
    return names;
}

} // namespace

// ---------------------------------------------------------------------------
// Chart parts

bool MkOpenXMLArchive::SetChartTitle(const MkXmlElement& titleElement, const MkString& text) {
    if (!titleElement) return false;
    std::vector<MkXmlElement> runs;
    collectRuns(titleElement, &runs);
    if (runs.empty()) {
        // c:tx comes first in a title; a text from a cell reference gives way.
        const MkXmlElement oldTx = titleElement.GetFirstChildElement(MkString(L"c:tx"));
        if (oldTx) titleElement.RemoveChildElement(oldTx);
        const MkXmlElement first = titleElement.GetFirstChildElement();
        const MkXmlElement tx = first ? titleElement.AddChildElementBefore(first, MkString(L"c:tx"))
                                      : titleElement.AddChildElement(MkString(L"c:tx"));
        const MkXmlElement rich = tx.AddChildElement(MkString(L"c:rich"));
        rich.AddChildElement(MkString(L"a:bodyPr"));
        rich.AddChildElement(MkString(L"a:lstStyle"));
        const MkXmlElement p = rich.AddChildElement(MkString(L"a:p"));
        p.AddChildElement(MkString(L"a:pPr")).AddChildElement(MkString(L"a:defRPr"));
        const MkXmlElement r = p.AddChildElement(MkString(L"a:r"));
        r.AddChildElement(MkString(L"a:rPr"));
        r.AddChildElement(MkString(L"a:t"), text);
        return static_cast<bool>(p.AddChildElement(MkString(L"a:endParaRPr")));
    }
    const MkXmlElement first = runs.front();
    MkXmlElement t = first.GetFirstChildElement(MkString(L"a:t"));
    if (!t) t = first.AddChildElement(MkString(L"a:t"));
    if (!t.SetValue(text)) return false;
    for (MkXmlElement r = first.GetNextSiblingElement(MkString(L"a:r")); r; r = r.GetNextSiblingElement(MkString(L"a:r")))
        r.GetFirstChildElement(MkString(L"a:t")).SetValue(MkString());
    return true;
}

MkString MkOpenXMLArchive::ChartPartPath(const MkString& chartPath) const {
    const MkString internal = ToInternal(chartPath);
    if (!m_rootFolder.IsEmpty() && internal.StartsWith(m_rootFolder + MkString(GetPathSeparator())))
        return ResolvePartTarget(MkString(), internal);
    return TargetToPackagePath(chartPath);
}

MkString MkOpenXMLArchive::ChartWorkbookPath(const MkString& chartPart) {
    const int sep = chartPart.Find(GetPathSeparator(), chartPart.Length() - 1, false);
    const MkString relsPath = chartPart.Left(sep + 1) + L"_rels\\" + chartPart.Mid(sep + 1) + L".rels";
    MkXmlDocument rels;
    if (!ReadPart(relsPath, &rels)) return MkString();
    // The workbook is the chart's package relationship, usually rId1.
    MkString target;
    for (MkXmlElement r = rels.GetRootElement().GetFirstChildElement(); r; r = r.GetNextSiblingElement()) {
        if (r.GetAttributeString(MkString(L"Type")) != MkString(REL_TYPE_PACKAGE) ||
            r.GetAttributeString(MkString(L"TargetMode")) == MkString(L"External"))
            continue;
        if (target.IsEmpty() || r.GetAttributeString(MkString(L"Id")) == MkString(L"rId1"))
            target = r.GetAttributeString(MkString(L"Target"));
    }
    if (target.IsEmpty()) target = GetTargetOfId(relsPath, MkString(L"rId1"));
    return ResolvePartTarget(chartPart, target);
}

bool MkOpenXMLArchive::BuildChartWorkbook(const MkString& workbookPath, const MkChartData& data,
                                          std::string* bytes) {
    const size_t r = data.m_table ? data.m_table->rowCount() : 0;
    const size_t n = data.m_table ? data.m_table->columnCount() : 0;
    if (r == 0 || n == 0 || r > MAX_SHEET_ROWS || n > MAX_SHEET_COLUMNS) return false;
    size_t size = 0;
    unsigned char* raw = ReadDataRaw(workbookPath, &size);
    if (!raw) return false;
    // A workbook is a zip archive: it starts with a local file header.
    if (size < 4 || raw[0] != 'P' || raw[1] != 'K' || raw[2] != 3 || raw[3] != 4) {
        free(raw);
        REP_LOG_ERROR(lfw::String("The chart's workbook '%1' is not a zip archive").arg(lfw::String(ToSlash(workbookPath))));
        return false;
    }
    PxZipMemFile memory;
    const bool copied = memory.CopyData(raw, size);
    free(raw);
    if (!copied) return false;
    PxZipArchive book;
    book.SetXmlBudget(XmlBudget());  // the workbook's parts count with the package's
    if (!book.Open(&memory, ZIP_OPEN)) return false;  // the zip layer tells why
    for (const wchar_t* part : {SHEET_PART, TABLE_PART, SHARED_STRINGS_PART}) {
        if (book.FindFile(MkString(part)) < 0) {
            REP_LOG_ERROR(lfw::String("The chart's workbook '%1' has no part '%2'")
                              .arg(lfw::String(ToSlash(workbookPath))).arg(lfw::String(ToSlash(MkString(part)))));
            book.Close();
            return false;
        }
    }
    MkXmlDocument sheet, table, strings, styles;
    if (!book.ReadXmlFile(MkString(SHEET_PART), &sheet) || !book.ReadXmlFile(MkString(TABLE_PART), &table) ||
        !book.ReadXmlFile(MkString(SHARED_STRINGS_PART), &strings)) {
        book.Close();
        return false;
    }
    // Cells take style 1 as the template's cells do, when the workbook defines it.
    bool styleOne = false;
    if (book.FindFile(MkString(STYLES_PART)) >= 0 && book.ReadXmlFile(MkString(STYLES_PART), &styles))
        styleOne = styles.GetRootElement().GetFirstChildElement(MkString(L"cellXfs")).GetChildElementCount() > 1;

    // A table needs a data row below its header: a header-only table keeps one empty row.
    const MkString range = L"A1:" + L_(n - 1) + MkString(std::to_wstring(std::max<size_t>(r, 2)));
    const std::vector<MkString> names = headerNames(data);

    const MkXmlElement worksheet = sheet.GetRootElement();
    const MkXmlElement sheetData = worksheet.GetFirstChildElement(MkString(L"sheetData"));
    if (!sheetData) {
        book.Close();
        return false;
    }
    worksheet.GetFirstChildElement(MkString(L"dimension")).AddAttributeString(MkString(L"ref"), range);
    while (MkXmlElement old = sheetData.GetFirstChildElement()) sheetData.RemoveChildElement(old);
    for (size_t i = 0; i < r; ++i) {
        const MkXmlElement row = sheetData.AddChildElement(MkString(L"row"));
        row.AddAttributeString(MkString(L"r"), MkString(std::to_wstring(i + 1)));
        row.AddAttributeString(MkString(L"spans"), L"1:" + MkString(std::to_wstring(n)));
        for (size_t c = 0; c < n; ++c) {
            const MkXmlElement e = row.AddChildElement(MkString(L"c"));
            e.AddAttributeString(MkString(L"r"), L_(c) + MkString(std::to_wstring(i + 1)));
            if (styleOne) e.AddAttributeString(MkString(L"s"), MkString(L"1"));
            if (i == 0) {
                e.AddAttributeString(MkString(L"t"), MkString(L"s"));
                e.AddChildElement(MkString(L"v"), MkString(std::to_wstring(c)));
                continue;
            }
            // Numbers are written as numbers, other texts as inline strings: an
            // untyped value that is not a number makes the workbook invalid.
            const MkString text = cell(data, i, c);
            if (text.IsNumber()) {
                e.AddChildElement(MkString(L"v"), trimmed(text));
            } else if (!text.IsEmpty()) {
                e.AddAttributeString(MkString(L"t"), MkString(L"inlineStr"));
                addText(e.AddChildElement(MkString(L"is")), text);
            }
        }
    }

    const MkXmlElement tableRoot = table.GetRootElement();
    const MkXmlElement columns = tableRoot.GetFirstChildElement(MkString(L"tableColumns"));
    const MkXmlElement sst = strings.GetRootElement();
    if (!columns || !sst) {
        book.Close();
        return false;
    }
    tableRoot.AddAttributeString(MkString(L"ref"), range);
    tableRoot.AddAttributeString(MkString(L"displayName"), MkString(L"SIT_CHART"));
    const MkXmlElement autoFilter = tableRoot.GetFirstChildElement(MkString(L"autoFilter"));
    if (autoFilter) autoFilter.AddAttributeString(MkString(L"ref"), range);
    columns.AddAttributeString(MkString(L"count"), MkString(std::to_wstring(n)));
    while (MkXmlElement old = columns.GetFirstChildElement()) columns.RemoveChildElement(old);
    sst.AddAttributeString(MkString(L"count"), MkString(std::to_wstring(n)));
    sst.AddAttributeString(MkString(L"uniqueCount"), MkString(std::to_wstring(n)));
    while (MkXmlElement old = sst.GetFirstChildElement()) sst.RemoveChildElement(old);
    for (size_t c = 0; c < n; ++c) {
        const MkXmlElement column = columns.AddChildElement(MkString(L"tableColumn"));
        column.AddAttributeString(MkString(L"id"), MkString(std::to_wstring(c + 1)));
        column.AddAttributeString(MkString(L"name"), names[c]);
        addText(sst.AddChildElement(MkString(L"si")), names[c]);
    }

    const bool written = book.WriteXmlFile(MkString(SHEET_PART), &sheet, true) &&
                         book.WriteXmlFile(MkString(SHARED_STRINGS_PART), &strings, true) &&
                         book.WriteXmlFile(MkString(TABLE_PART), &table, true);
    if (!book.Close() || !written) return false;
    // Removed entries leave gaps in the archive; the stored copy is compacted.
    MkUbyteArray content;
    if (!memory.GetData(&content)) return false;
    bytes->assign(reinterpret_cast<const char*>(content.GetData()), static_cast<size_t>(content.GetSize()));
    return true;
}

bool MkOpenXMLArchive::UpdateChart(const MkString& chartPath, const MkChartData& data) {
    if (!data.m_table) return false;
    const size_t r = data.m_table->rowCount();
    const size_t n = data.m_table->columnCount();
    if (r == 0 || n == 0) return false;
    if (r > 1 && n < 2) return false;
    for (size_t i = 1; i < r; ++i)
        if (!cell(data, i, 0).IsNumber()) return false;
    // Ranges end at the last row, or at the one empty data row a header-only table keeps.
    const MkString lastRow(std::to_wstring(std::max<size_t>(r, 2)));
    const MkString categoryFormula = L"Sheet1!$A$2:$A$" + lastRow;

    const MkString chartPart = ChartPartPath(chartPath);
    MkXmlDocument chart;
    if (chartPart.IsEmpty() || !ReadPart(chartPart, &chart)) return false;
    const MkXmlElement chartElement = chart.GetRootElement().GetFirstChildElement(MkString(L"c:chart"));
    const MkXmlElement title = chartElement.GetFirstChildElement(MkString(L"c:title"));
    if (title) SetChartTitle(title, data.m_title);
    const MkXmlElement plotArea = chartElement.GetFirstChildElement(MkString(L"c:plotArea"));
    const MkXmlElement scatter = plotArea.GetFirstChildElement(MkString(L"c:scatterChart"));
    const MkXmlElement line = plotArea.GetFirstChildElement(MkString(L"c:lineChart"));
    if (!scatter && !line) return true;

    const MkXmlElement layout = plotArea.GetFirstChildElement(MkString(L"c:layout"));
    MkXmlElement chartType = layout ? layout.GetNextSiblingElement() : plotArea.GetFirstChildElement();
    if (chartType != scatter && chartType != line) chartType = scatter ? scatter : line;
    const bool isScatter = chartType == scatter;

    const MkXmlElement firstAxis = plotArea.GetFirstChildElement(MkString(isScatter ? L"c:valAx" : L"c:catAx"));
    const MkXmlElement valueAxis = firstAxis.GetNextSiblingElement(MkString(L"c:valAx"));
    if (MkXmlElement t = firstAxis.GetFirstChildElement(MkString(L"c:title"))) SetChartTitle(t, data.m_xAxisTitle);
    if (MkXmlElement t = valueAxis.GetFirstChildElement(MkString(L"c:title"))) SetChartTitle(t, data.m_yAxisTitle);

    const MkXmlElement old = chartType.GetFirstChildElement(MkString(L"c:ser"));
    if (!old) return false;
    for (size_t c = 1; c < n; ++c) {
        const MkXmlElement ser = chartType.AddChildElementBefore(old, MkString(L"c:ser"));
        if (!ser) return false;
        addValElement(ser, L"c:idx", static_cast<long long>(c - 1));
        addValElement(ser, L"c:order", static_cast<long long>(c - 1));
        const MkXmlElement strRef = ser.AddChildElement(MkString(L"c:tx")).AddChildElement(MkString(L"c:strRef"));
        strRef.AddChildElement(MkString(L"c:f"), L"Sheet1!$" + L_(c) + L"$1");
        const MkXmlElement strCache = strRef.AddChildElement(MkString(L"c:strCache"));
        addValElement(strCache, L"c:ptCount", 1);
        const MkXmlElement pt = strCache.AddChildElement(MkString(L"c:pt"));
        pt.AddAttributeString(MkString(L"idx"), MkString(L"0"));
        pt.AddChildElement(MkString(L"c:v"), cell(data, 0, c));
        ser.AddChildElement(MkString(L"c:marker"))
            .AddChildElement(MkString(L"c:symbol"))
            .AddAttributeString(MkString(L"val"), MkString(L"none"));
        if (!addNumRef(ser.AddChildElement(MkString(isScatter ? L"c:xVal" : L"c:cat")), data, 0, categoryFormula))
            return false;
        const MkString values = L"Sheet1!$" + L_(c) + L"$2:$" + L_(c) + L"$" + lastRow;
        if (!addNumRef(ser.AddChildElement(MkString(isScatter ? L"c:yVal" : L"c:val")), data, c, values))
            return false;
    }

    // The workbook is prepared before anything is written, so that a chart is never
    // left referring to cells its workbook does not have.
    const MkString workbook = ChartWorkbookPath(chartPart);
    if (workbook.IsEmpty() || FindFile(workbook) < 0) {
        REP_LOG_ERROR(lfw::String("The chart '%1' has no embedded workbook").arg(lfw::String(ToSlash(chartPart))));
        return false;
    }
    std::string bytes;
    if (!BuildChartWorkbook(workbook, data, &bytes)) return false;

    for (MkXmlElement s = old; s;) {
        const MkXmlElement next = s.GetNextSiblingElement(MkString(L"c:ser"));
        chartType.RemoveChildElement(s);
        s = next;
    }
    if (!WritePart(chartPart, chart)) return false;
    return WriteDataRaw(workbook, bytes.data(), bytes.size(), true);
}

bool MkOpenXMLArchive::UpdateChartWorkSheet(const MkString& chartPath, const MkChartData& data) {
    const MkString chartPart = ChartPartPath(chartPath);
    if (chartPart.IsEmpty()) return false;
    const MkString workbook = ChartWorkbookPath(chartPart);
    if (workbook.IsEmpty() || FindFile(workbook) < 0) {
        REP_LOG_ERROR(lfw::String("The chart '%1' has no embedded workbook").arg(lfw::String(ToSlash(chartPart))));
        return false;
    }
    std::string bytes;
    if (!BuildChartWorkbook(workbook, data, &bytes)) return false;
    return WriteDataRaw(workbook, bytes.data(), bytes.size(), true);
}

bool MkOpenXMLArchive::DuplicateChartDocuments(const MkString& chartTarget, bool markObsolete) {
    const MkString chartPart = ChartPartPath(chartTarget);
    if (chartPart.IsEmpty()) return false;
    const int sep = chartPart.Find(GetPathSeparator(), chartPart.Length() - 1, false);
    const MkString relsPath = chartPart.Left(sep + 1) + L"_rels\\" + chartPart.Mid(sep + 1) + L".rels";
    MkXmlDocument rels;
    if (!ReadPart(relsPath, &rels)) return false;
    // The workbook must be there before anything is written: a copied
    // relationships part without its workbook would break the package.
    const MkString sourceWorkbook = ChartWorkbookPath(chartPart);
    if (sourceWorkbook.IsEmpty() || FindFile(sourceWorkbook) < 0) {
        REP_LOG_ERROR(lfw::String("The chart '%1' has no embedded workbook").arg(lfw::String(ToSlash(chartPart))));
        return false;
    }
    const MkString newRelsTarget = RenameAndSaveDocument(rels, OXML_TARGET_CHART_RELS, true);
    if (newRelsTarget.IsEmpty()) return false;
    const MkString newRels = TargetToPackagePath(newRelsTarget);
    // The part the new relationships belong to: ppt\charts\_rels\chart2.xml.rels -> ppt\charts\chart2.xml.
    MkString newChart = newRels;
    newChart.Replace(MkString(L"\\_rels"), MkString());
    newChart = newChart.Left(newChart.Length() - 5);

    const MkString oldWorkbook = ChartWorkbookPath(newChart);
    if (oldWorkbook.IsEmpty() || FindFile(oldWorkbook) < 0) return false;
    const MkString newWorkbook = GetNextFileName(oldWorkbook);
    if (newWorkbook.IsEmpty()) return false;
    size_t size = 0;
    unsigned char* bytes = ReadDataRaw(oldWorkbook, &size);
    if (!bytes) return false;
    const bool copied = WriteDataRaw(newWorkbook, bytes, size, false);
    free(bytes);
    if (!copied) return false;
    // A workbook registered by name (not by extension) needs its copy registered too.
    MkXmlDocument scratch;
    if (MkXmlDocument* types = OpenPart(MkString(CONTENT_TYPES_PART), &scratch)) {
        const MkString oldName = L"/" + ToSlash(oldWorkbook);
        for (MkXmlElement e = types->GetRootElement().GetFirstChildElement(MkString(L"Override")); e;
             e = e.GetNextSiblingElement(MkString(L"Override"))) {
            if (e.GetAttributeString(MkString(L"PartName")).CompareNoCase(oldName) != 0) continue;
            const MkXmlElement copy = types->GetRootElement().AddChildElement(MkString(L"Override"));
            copy.AddAttributeString(MkString(L"PartName"), L"/" + ToSlash(newWorkbook));
            copy.AddAttributeString(MkString(L"ContentType"), e.GetAttributeString(MkString(L"ContentType")));
            if (!SavePart(MkString(CONTENT_TYPES_PART), types)) return false;
            break;
        }
    }

    // Old and new target, both relative to the charts folder.
    const MkString oldTarget = GetTargetOfId(newRels, GetIdOfWorkbook(newRels));
    MkString newTarget = newWorkbook;
    newTarget.Replace(m_rootFolder, MkString(L".."), 1);
    newTarget = ToSlash(newTarget);
    if (!ReplaceTargetInRelsFile(newRels, oldTarget, newTarget)) return false;
    if (!AddContentToContentTypesXml(L"/" + ToSlash(newChart), OXML_CT_CHART)) return false;
    if (markObsolete) {
        m_obsoleteFiles.AddGrow(chartPart);
        m_obsoleteFiles.AddGrow(relsPath);
        m_obsoleteFiles.AddGrow(oldWorkbook);
    }
    return true;
}

MkString MkOpenXMLArchive::GetIdOfWorkbook(const MkString& relsPath) {
    MkXmlDocument rels;
    if (!ReadPart(relsPath, &rels)) return MkString();
    MkString id;
    for (MkXmlElement r = rels.GetRootElement().GetFirstChildElement(); r; r = r.GetNextSiblingElement()) {
        if (r.GetAttributeString(MkString(L"Type")) != MkString(REL_TYPE_PACKAGE)) continue;
        if (id.IsEmpty() || r.GetAttributeString(MkString(L"Id")) == MkString(L"rId1"))
            id = r.GetAttributeString(MkString(L"Id"));
    }
    return id.IsEmpty() ? MkString(L"rId1") : id;
}
