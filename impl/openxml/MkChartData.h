#pragma once
// The chart view of a table: row 0 holds the series names (cell 0 unused),
// column 0 of rows 1.. the x values or categories (numbers), column c of rows 1..
// the values of series c. A table of r rows and n columns gives n-1 series of
// r-1 points.
#include "KivReport/Table.h"
#include "host/ug/MkString.h"

class MkChartData {
public:
    // Takes the axis titles from the table; the title starts empty.
    explicit MkChartData(const kiv::rep::Table& table);

    // Spreadsheet column name of a 0-based column index: 0 "A", 25 "Z", 26 "AA",
    // 701 "ZZ", 702 "AAA". Empty for a negative index.
    static MkString GetColumnIDFromIndex(int index);

    const kiv::rep::Table* m_table;  // not owned; must outlive the chart data
    MkString m_title;                // chart title, assigned by the caller
    MkString m_xAxisTitle;           // title of the first axis
    MkString m_yAxisTitle;           // title of the value axis
};
