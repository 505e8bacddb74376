#pragma once
// The table of a chart as its series and its workbook read it: cells as UTF-8
// text, which of them are numbers, and the names of its columns. Shared by the
// chart part and the workbook code of the chart filling (ChartData.cpp,
// ChartWorkbook.cpp); nothing else uses it.
#include "KivReport/Table.h"
#include "impl/storage/Problems.h"
#include <memory>
#include <string>
#include <vector>

namespace kiv {
namespace rep {

class XmlMemoryBudget;

class ChartSheet {
public:
    // The characters (UTF-16 units, as spreadsheets count them) a workbook cell holds.
    static constexpr size_t MAX_CELL_TEXT = 32767;

    // categories: column 0 holds categories, not x values. A category written
    // with leading zeros (00123) is then a label, text, as a spreadsheet would
    // lose the zeros of the number; an x value stays the number.
    explicit ChartSheet(const kiv::rep::Table& table, bool categories = false);

    size_t rows() const { return m_rows; }
    size_t columns() const { return m_columns; }
    // The cell as written, and whether it is a number (then numberAt is the number
    // without the blanks around it, as a workbook and a cache store it). A number
    // is a finite double: 1e999, a 400-digit integer, nan or inf are not.
    const std::string& at(size_t row, size_t column) const { return m_cells[row * m_columns + column]; }
    bool isNumber(size_t row, size_t column) const { return m_numbers[row * m_columns + column]; }
    std::string numberAt(size_t row, size_t column) const;
    // Header cells as the workbook holds them: a table part needs its column names
    // unique (ignoring case) and not empty, so empty ones become "Column<c+1>" and
    // repeated ones get the next free number, as the spreadsheet does; and no
    // longer than a cell holds (nameCut tells which were cut).
    const std::string& name(size_t column) const { return m_names[column]; }
    bool nameCut(size_t column) const { return m_namesCut[column]; }
    // The text cut to what a cell holds; *cut tells whether it had to be.
    static std::string cellText(const std::string& text, bool* cut);

private:
    size_t m_rows, m_columns;
    std::vector<std::string> m_cells;
    std::vector<bool> m_numbers;
    std::vector<std::string> m_names;
    std::vector<bool> m_namesCut;
};

// Spreadsheet name of a 0-based column (ChartData::getColumnIDFromIndex) and the
// reference of a cell or a range in a sheet: Sheet1!$B$2, 'Load cases'!$A$2:$A$5.
std::string chartColumn(size_t column);
std::string chartReference(const std::string& sheet, size_t column, size_t firstRow, size_t lastRow);

// The workbook part of ChartFill::Fill: writes the table into the sheet named
// *sheet (empty: the first sheet) and gives the sheet's name back in *sheet.
// The workbook's parts are charged to budget (the package's) when one is given.
// Texts longer than a cell holds are cut, and *note (when given) says which.
bool chartWriteWorkbook(const std::string& workbook, const std::string& workbookName, const ChartSheet& table, std::string* sheet,
                        std::string* newWorkbook, std::string* why, const std::shared_ptr<XmlMemoryBudget>& budget = nullptr,
                        std::string* note = nullptr, Problems* problems = nullptr);

}  // namespace rep
}  // namespace kiv
