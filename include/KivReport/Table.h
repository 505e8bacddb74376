#pragma once
#include "KivReport/KivReportExport.h"
// A fixed-size table of strings with chart axis titles. Ownership: reference
// counted (hold it in a PtrRef); a snapshot given a table takes a reference.
#include "host/core/KivRefCountedObject.h"
#include "host/core/KivStr.h"
#include <cstddef>

namespace kiv {
namespace rep {

class TablePrivate;

class KIVREPORT_API Table : public RefCountedObject {
public:
    // rowCount rows of columnCount empty cells; the size never changes.
    Table(size_t rowCount, size_t columnCount);
    Table(const Table& other);
    Table& operator=(const Table& other);
    ~Table() override;

    // Empty outside the table.
    Str value(size_t row, size_t column) const;
    // False, and nothing changes, outside the table.
    bool setValue(size_t row, size_t column, const Str& text);

    size_t rowCount() const;
    size_t columnCount() const;  // 0 when there are no rows

    Str chartXAxisTitle() const;
    void setChartXAxisTitle(const Str& title);
    Str chartYAxisTitle() const;
    void setChartYAxisTitle(const Str& title);

private:
    TablePrivate* m_d;
};

}  // namespace rep
}  // namespace kiv
