#include "KivReport/Table.h"
#include "impl/common/Table_p.h"

namespace kiv {
namespace rep {

Table::Table(size_t rowCount, size_t columnCount) : m_d(new TablePrivate(rowCount, columnCount)) {}

Table::Table(const Table& other) : RefCountedObject(other), m_d(new TablePrivate(*other.m_d)) {}

Table& Table::operator=(const Table& other) {
    if (this != &other) *m_d = *other.m_d;
    return *this;
}

Table::~Table() { delete m_d; }

Str Table::value(size_t row, size_t column) const { return m_d->contains(row, column) ? m_d->cells[row][column] : Str(); }

bool Table::setValue(size_t row, size_t column, const Str& text) {
    if (!m_d->contains(row, column)) return false;
    m_d->cells[row][column] = text;
    return true;
}

size_t Table::rowCount() const { return m_d->cells.size(); }

size_t Table::columnCount() const { return m_d->cells.empty() ? 0 : m_d->cells.front().size(); }

Str Table::chartXAxisTitle() const { return m_d->xAxisTitle; }
void Table::setChartXAxisTitle(const Str& title) { m_d->xAxisTitle = title; }
Str Table::chartYAxisTitle() const { return m_d->yAxisTitle; }
void Table::setChartYAxisTitle(const Str& title) { m_d->yAxisTitle = title; }

}  // namespace rep
}  // namespace kiv
