// Charts rewritten from tables, with their embedded workbooks.
#include "impl/openxml/MkChartData.h"
#include "openxml/OpenXmlTestSupport.h"
#include "support/Golden.h"
#include "support/OoxmlCheck.h"
#include "KivReport/Table.h"

using namespace kivtest;

namespace {

kiv::rep::Table table(const std::vector<std::vector<std::string>>& rows) {
    kiv::rep::Table t(rows.size(), rows.empty() ? 0 : rows[0].size());
    for (size_t r = 0; r < rows.size(); ++r)
        for (size_t c = 0; c < rows[r].size(); ++c) t.setValue(r, c, kiv::Str(rows[r][c]));
    t.setChartXAxisTitle(kiv::Str("Time [s]"));
    t.setChartYAxisTitle(kiv::Str("Pressure [Pa]"));
    return t;
}

// The workbook parts of a chart's embedded workbook, one after the other.
std::string workbookParts(const std::string& package, const std::string& workbook) {
    const std::string book = readPart(package, workbook);
    return readNestedPart(book, "xl/worksheets/sheet1.xml") + readNestedPart(book, "xl/tables/table1.xml") +
           readNestedPart(book, "xl/sharedStrings.xml");
}

using OpenXmlChartTest = OpenXmlTest;

TEST_F(OpenXmlChartTest, ScatterChartTakesTheTableSeriesTitlesAndWorkbook) {
    const std::string path = copyOf(builtPackage("presentation.pptx"), "scatter.pptx");
    const kiv::rep::Table t = table({{"x", "s1"}, {"1", "10"}, {"2", "20"}});
    MkChartData data(t);
    data.m_title = L"Pressure";
    EXPECT_EQ("Time [s]", narrow(data.m_xAxisTitle));
    TestArchive archive("ppt");
    ASSERT_TRUE(archive.Open(wide(path), ZIP_OPEN));
    ASSERT_TRUE(archive.UpdateChart(wide("../charts/chart1.xml"), data));
    // A header without rows gives empty series and a workbook that is still valid.
    EXPECT_TRUE(archive.UpdateChart(wide("../charts/chart2.xml"), MkChartData(table({{"x", "a", "b"}}))));
    ASSERT_TRUE(archive.Close());
    // Three template series give way to one; titles keep their first run's format.
    EXPECT_GOLDEN("openxml/scatter-chart.xml", readPart(path, "ppt/charts/chart1.xml"));
    EXPECT_GOLDEN("openxml/scatter-workbook.xml", workbookParts(path, "ppt/embeddings/Microsoft_Excel_Sheet1.xlsx"));
    EXPECT_OOXML_VALID(path);
    EXPECT_TRUE(errors().empty());
}

TEST_F(OpenXmlChartTest, LineChartCellsThatAreNotNumbersStayTexts) {
    const std::string path = copyOf(builtPackage("document.docx"), "line.docx");
    const kiv::rep::Table t = table({{"t", "p", "p", ""},
                                     {"1", " 2.5 ", "n/a", "1e3"},
                                     {"2", "", "-4", "x y "},
                                     {"3", "7", "8", "9"}});
    MkChartData data(t);
    TestArchive archive("word");
    ASSERT_TRUE(archive.Open(wide(path), ZIP_OPEN));
    ASSERT_TRUE(archive.UpdateChart(wide("../charts/chart2.xml"), data));
    // Word charts may also be named from the main part or by their package path.
    ASSERT_TRUE(archive.UpdateChart(wide("charts/chart1.xml"), data));
    ASSERT_TRUE(archive.UpdateChartWorkSheet(wide("word\\charts\\chart1.xml"), data));
    ASSERT_TRUE(archive.Close());
    EXPECT_GOLDEN("openxml/line-chart.xml", readPart(path, "word/charts/chart2.xml"));
    EXPECT_GOLDEN("openxml/line-workbook.xml", workbookParts(path, "word/embeddings/Microsoft_Excel_Sheet2.xlsx"));
    EXPECT_OOXML_VALID(path);
}

TEST_F(OpenXmlChartTest, TablesAChartCannotShowLeaveItUntouched) {
    const std::string path = copyOf(builtPackage("presentation.pptx"), "refused.pptx");
    const std::string before = readPart(path, "ppt/charts/chart1.xml");
    const struct { std::vector<std::vector<std::string>> rows; } cases[] = {
        {{{"x"}, {"1"}}},                       // one column
        {{{"x", "a"}, {"1", "2"}, {"two", "3"}}},  // x value not a number
        {{}},                                   // empty
    };
    TestArchive archive("ppt");
    ASSERT_TRUE(archive.Open(wide(path), ZIP_OPEN));
    for (const auto& c : cases) {
        const kiv::rep::Table t = table(c.rows);
        EXPECT_FALSE(archive.UpdateChart(wide("../charts/chart1.xml"), MkChartData(t)));
    }
    ASSERT_TRUE(archive.Close());
    EXPECT_EQ(before, readPart(path, "ppt/charts/chart1.xml"));
    EXPECT_TRUE(errors().empty());
}

TEST_F(OpenXmlChartTest, OfficeChartsAreRewrittenOrLeftAsTheyAre) {
    const kiv::rep::Table t = table({{"x", "a", "b"}, {"1", "2", "3"}, {"2", "4", "6"}});
    const struct { const char* file; const char* root; const char* chart; } cases[] = {
        {"office-templates/pp_chart.pptx", "ppt", "../charts/chart1.xml"},   // line chart with table1
        {"office-templates/pp_static.pptx", "ppt", "../charts/chart1.xml"},  // pie chart: untouched
        {"office-templates/wd_report.docx", "word", "../charts/chart1.xml"}, // bar chart: untouched
    };
    std::vector<std::string> written;
    int n = 0;
    for (const auto& c : cases) {
        const std::string source = std::string(KIV_SOURCE_DIR) + "/../shared/" + c.file;
        const std::string path = copyOf(source, "office" + std::to_string(++n) + source.substr(source.size() - 5));
        TestArchive archive(c.root);
        ASSERT_TRUE(archive.Open(wide(path), ZIP_OPEN));
        EXPECT_TRUE(archive.UpdateChart(wide(c.chart), MkChartData(t))) << c.file;
        ASSERT_TRUE(archive.Close());
        written.push_back(path);
    }
    EXPECT_NE(readPart(written[0], "ppt/charts/chart1.xml"),
              readPart(std::string(KIV_SOURCE_DIR) + "/../shared/office-templates/pp_chart.pptx", "ppt/charts/chart1.xml"));
    EXPECT_EQ(readPart(written[1], "ppt/charts/chart1.xml"),
              readPart(std::string(KIV_SOURCE_DIR) + "/../shared/office-templates/pp_static.pptx", "ppt/charts/chart1.xml"));
    EXPECT_TRUE(passesOoxmlCheck(written));
}

TEST_F(OpenXmlChartTest, DuplicatedChartsGetTheirOwnWorkbook) {
    const std::string path = copyOf(builtPackage("presentation.pptx"), "duplicate.pptx");
    TestArchive archive("ppt");
    ASSERT_TRUE(archive.Open(wide(path), ZIP_OPEN));
    // The slide's copy of chart1 is chart3 (what slide duplication does first).
    size_t size = 0;
    unsigned char* chart = archive.ReadDataRaw(wide("ppt\\charts\\chart1.xml"), &size);
    ASSERT_NE(nullptr, chart);
    ASSERT_TRUE(archive.WriteDataRaw(wide("ppt\\charts\\chart3.xml"), chart, size, false));
    free(chart);
    ASSERT_TRUE(archive.DuplicateChartDocuments(wide("../charts/chart1.xml"), true));
    EXPECT_EQ("../embeddings/Microsoft_Excel_Sheet3.xlsx",
              narrow(archive.GetTargetOfId(wide("ppt\\charts\\_rels\\chart3.xml.rels"), wide("rId1"))));
    EXPECT_EQ(3, archive.GetObsoleteFiles().GetSize());
    ASSERT_TRUE(archive.ReplaceTargetInRelsFile(wide("ppt\\slides\\_rels\\slide1.xml.rels"), wide("../charts/chart1.xml"),
                                                wide("../charts/chart3.xml")));
    const kiv::rep::Table t = table({{"x", "copy"}, {"5", "6"}});
    ASSERT_TRUE(archive.UpdateChart(wide("../charts/chart3.xml"), MkChartData(t)));
    ASSERT_TRUE(archive.DeleteObsoleteFiles());
    ASSERT_TRUE(archive.Close());
    EXPECT_FALSE(hasPart(path, "ppt/charts/chart1.xml"));
    EXPECT_FALSE(hasPart(path, "ppt/embeddings/Microsoft_Excel_Sheet1.xlsx"));
    EXPECT_OOXML_VALID(path);
}

// One defect each: false, one error, and the chart part as it was.
TEST_F(OpenXmlChartTest, ChartsWithoutAUsableWorkbookFailCleanly) {
    const kiv::rep::Table t = table({{"x", "a"}, {"1", "2"}});
    const struct { const char* name; const char* part; std::string bytes; } cases[] = {
        {"norels", "ppt/charts/_rels/chart1.xml.rels", ""},
        {"noworkbook", "ppt/embeddings/Microsoft_Excel_Sheet1.xlsx", ""},
        {"notzip", "ppt/embeddings/Microsoft_Excel_Sheet1.xlsx", "not a workbook"},
        {"outside", "ppt/charts/_rels/chart1.xml.rels",
         relationships("<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
                       "relationships/package\" Target=\"../../../../book.xlsx\"/>")},
    };
    for (const auto& c : cases) {
        const std::string path = copyOf(builtPackage("presentation.pptx"), std::string(c.name) + ".pptx");
        ASSERT_TRUE(putPart(path, c.part, c.bytes)) << c.name;
        const std::string before = readPart(path, "ppt/charts/chart1.xml");
        recorder->clear();
        TestArchive archive("ppt");
        ASSERT_TRUE(archive.Open(wide(path), ZIP_OPEN));
        EXPECT_FALSE(archive.UpdateChart(wide("../charts/chart1.xml"), MkChartData(t))) << c.name;
        EXPECT_FALSE(archive.UpdateChartWorkSheet(wide("../charts/chart1.xml"), MkChartData(t))) << c.name;
        ASSERT_TRUE(archive.Close());
        EXPECT_EQ(before, readPart(path, "ppt/charts/chart1.xml")) << c.name;
        EXPECT_EQ(2u, errors().size()) << c.name;  // one per operation
        if (c.bytes.empty() || std::string(c.name) == "outside") {
            // A copy needs the workbook too; nothing is written without it.
            const std::vector<std::string> names = entries(path);
            ASSERT_TRUE(archive.Open(wide(path), ZIP_OPEN));
            EXPECT_FALSE(archive.DuplicateChartDocuments(wide("../charts/chart1.xml"), true)) << c.name;
            EXPECT_TRUE(archive.GetObsoleteFiles().IsEmpty());
            ASSERT_TRUE(archive.Close());
            EXPECT_EQ(names, entries(path)) << c.name;
        }
    }
}

} // namespace
