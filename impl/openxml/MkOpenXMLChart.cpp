// Charts from tables: series of scatter and line charts, titles, the embedded workbook.
#include "impl/openxml/MkChartData.h"
#include "impl/openxml/MkOpenXMLArchive.h"
#include "host/ug/UgConvert.h"

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

bool MkOpenXMLArchive::UpdateChart(const MkString&, const MkChartData&) { return false; }
bool MkOpenXMLArchive::SetChartTitle(const MkXmlElement&, const MkString&) { return false; }
bool MkOpenXMLArchive::UpdateChartWorkSheet(const MkString&, const MkChartData&) { return false; }
bool MkOpenXMLArchive::DuplicateChartDocuments(const MkString&, bool) { return false; }
