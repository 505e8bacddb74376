#pragma once
// Data of a Table.
#include "KivReport/Table.h"
#include <vector>

namespace kiv {
namespace rep {

class TablePrivate {
public:
    TablePrivate(size_t rowCount, size_t columnCount) : cells(rowCount, std::vector<Str>(columnCount)) {}
    virtual ~TablePrivate() = default;

    bool contains(size_t row, size_t column) const { return row < cells.size() && column < cells[row].size(); }

    std::vector<std::vector<Str>> cells;  // row-major, all rows of one length
    Str xAxisTitle;
    Str yAxisTitle;
};

}  // namespace rep
}  // namespace kiv
