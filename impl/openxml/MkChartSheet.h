#pragma once
// The table of a chart as its series and its workbook read it: cells as UTF-8
// text, which of them are numbers, and the names of its columns. Shared by the
// chart part and the workbook code of the chart filling (MkChartData.cpp,
// MkChartWorkbook.cpp); nothing else uses it.
#include "KivReport/Table.h"
#include "host/ug/MkString.h"
#include <memory>
#include <string>
#include <vector>

class MkXmlBudget;

class MkChartSheet {
public:
    explicit MkChartSheet(const kiv::rep::Table& table);

    size_t Rows() const { return m_rows; }
    size_t Columns() const { return m_columns; }
    // The cell as written, and whether it is a number (then NumberAt is the number
    // without the blanks around it, as a workbook and a cache store it).
    const std::string& At(size_t row, size_t column) const { return m_cells[row * m_columns + column]; }
    bool IsNumber(size_t row, size_t column) const { return m_numbers[row * m_columns + column]; }
    std::string NumberAt(size_t row, size_t column) const;
    // Header cells as the workbook holds them: a table part needs its column names
    // unique (ignoring case) and not empty, so empty ones become "Column<c+1>" and
    // repeated ones get the next free number, as the spreadsheet does.
    const std::string& Name(size_t column) const { return m_names[column]; }

private:
    size_t m_rows, m_columns;
    std::vector<std::string> m_cells;
    std::vector<bool> m_numbers;
    std::vector<std::string> m_names;
};

// Spreadsheet name of a 0-based column (MkChartData::GetColumnIDFromIndex) and the
// reference of a cell or a range in a sheet: Sheet1!$B$2, 'Load cases'!$A$2:$A$5.
std::string MkChartColumn(size_t column);
std::string MkChartReference(const std::string& sheet, size_t column, size_t firstRow, size_t lastRow);

// The workbook part of MkChartFill::Fill: writes the table into the sheet named
// *sheet (empty: the first sheet) and gives the sheet's name back in *sheet.
// The workbook's parts are charged to budget (the package's) when one is given.
bool MkChartWriteWorkbook(const std::string& workbook, const MkString& workbookName, const MkChartSheet& table,
                          std::string* sheet, std::string* newWorkbook, MkString* why,
                          const std::shared_ptr<MkXmlBudget>& budget = nullptr);
