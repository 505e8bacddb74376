#pragma once
// The chart view of a table, and the filling of a chart part and its workbook
// from it.
//
// Table layout: row 0 holds the series names (cell 0 names the categories),
// column 0 of rows 1.. the categories or x values, column c of rows 1.. the
// values of series c. A table of r rows and n columns gives n-1 series of r-1
// points. Categories may be any text; scatter and bubble charts need numbers in
// column 0. A bubble series takes two columns: its values, then its sizes.
#include "KivReport/Table.h"
#include "impl/storage/Problems.h"
#include <memory>
#include <string>

namespace kiv {
namespace rep {

class XmlMemoryBudget;

class XmlDocument;
class XmlElement;

class ChartData {
public:
    // Takes the axis titles from the table; the title starts empty.
    explicit ChartData(const kiv::rep::Table& table);

    // Spreadsheet column name of a 0-based column index: 0 "A", 25 "Z", 26 "AA",
    // 701 "ZZ", 702 "AAA". Empty for a negative index.
    static std::string getColumnIdFromIndex(int index);

    const kiv::rep::Table* m_table;  // not owned; must outlive the chart data
    std::string m_title;             // chart title, assigned by the caller
    std::string m_xAxisTitle;        // title of the first axis
    std::string m_yAxisTitle;        // title of the value axis
};

// Chart parts filled from tables. The functions work on a parsed chart part and
// on workbook bytes, not on a package: the package editors read the parts, call
// them and store what they give back. Reasons are sentences without the tag,
// for the caller to put after it ("SIT2_CHART: a stock chart cannot be filled
// from a table").
namespace ChartFill {

// The kind of chart a chart part shows, as people name it: "column", "3D pie",
// "scatter"; "column and line" for a plot area of several chart groups. Kinds a
// table cannot fill are named too ("stock", "surface"). Empty when the part has
// no chart group.
std::string kindOf(const XmlDocument& chart);

// Empty when the chart's kind can be filled and, with data, when the table fits
// it; otherwise why not.
std::string refusal(const XmlDocument& chart, const ChartData* data);

// Fills the chart from the table: series (the template's keep their look, more
// copy the last one's with the next accent colour, fewer drop the rest), their
// caches and formulas, titles. The workbook bytes get the table in the sheet the
// chart names, its table part and shared strings; empty bytes (an external or
// missing workbook) make a new workbook. workbookName names the workbook in
// reasons. False with the reason when the table cannot fill the chart or the
// workbook cannot be used; the chart is then changed in part and must be dropped.
// Cells are numbers when they are finite doubles (others count as 0 in the
// caches and are text in the workbook); a category written with leading zeros
// is text. *note (when given) tells which texts the workbook had to cut.
bool fill(XmlDocument* chart, const ChartData& data, const std::string& workbook, const std::string& workbookName,
          std::string* newWorkbook, std::string* why, const std::shared_ptr<XmlMemoryBudget>& budget = nullptr,
          std::string* note = nullptr, Problems* problems = nullptr);

// Puts text into a c:title element: into the first run, keeping its look, with
// the text of the runs after it emptied; a title without runs gets one.
bool setTitle(const XmlElement& titleElement, const std::string& text);

// Only the workbook of Fill, for the sheet named sheetName (empty: the first).
// The workbook's parts are charged to budget (the package's) when one is given.
bool fillWorkbook(const std::string& workbook, const std::string& workbookName, const ChartData& data,
                  const std::string& sheetName, std::string* newWorkbook, std::string* why,
                  const std::shared_ptr<XmlMemoryBudget>& budget = nullptr, Problems* problems = nullptr);

}  // namespace ChartFill

}  // namespace rep
}  // namespace kiv
