// What packages embed: charts rewritten from tables with their embedded
// workbooks; viewer plug-in controls with their embedded models, the reference-id
// part and old controls.
#include "KivReport/Table.h"
#include "impl/openxml/ChartData.h"
#include "impl/openxml/OpenXMLPlugin.h"
#include "openxml/ChartDigest.h"
#include "support/Golden.h"
#include "support/OoxmlCheck.h"
#include <sys/stat.h>
#include <unistd.h>

using namespace kiv::rep;  // the layers' classes

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

TEST_F(OpenXmlChartTest, ColumnLetters) {
    const struct {
        int index;
        const char* name;
    } cases[] = {
        {0, "A"},   {1, "B"},    {25, "Z"},    {26, "AA"},     {27, "AB"}, {51, "AZ"},
        {52, "BA"}, {701, "ZZ"}, {702, "AAA"}, {16383, "XFD"}, {-1, ""},
    };
    for (const auto& c : cases) EXPECT_EQ(c.name, narrow(ChartData::getColumnIdFromIndex(c.index))) << c.index;
}

// Scatter: three template series give way to one; titles keep their first run's
// format. Line: the template's series keep their look (points past the table's
// go), a fourth copies the third's with the next accent colour and without its
// identifiers, cells that are not numbers stay texts. A copy of the chart made
// before is the template's, with a workbook of its own.
TEST_F(OpenXmlChartTest, ChartsTakeTheTableAndCopiesKeepTheirOwnWorkbook) {
    const struct {
        const char* package;
        const char* number;
        const char* name;
        const char* title;
        std::vector<std::vector<std::string>> rows;
    } cases[] = {
        {"presentation.pptx", "1", "scatter", "Pressure", {{"x", "s1"}, {"1", "10"}, {"2", "20"}}},
        {"document.docx",
         "2",
         "line",
         "",
         {{"t", "p", "p", "", "q"}, {"1", " 2.5 ", "n/a", "1e3", "4"}, {"2", "", "-4", "x y ", "5"}, {"3", "7", "8", "9", "6"}}},
    };
    for (const auto& c : cases) {
        const std::string built = builtPackage(c.package), path = copyOf(built, c.package);
        const std::string root = c.package[0] == 'p' ? "ppt" : "word", chart = root + "/charts/chart" + c.number + ".xml";
        const std::string book = root + "/embeddings/Microsoft_Excel_Sheet" + c.number + ".xlsx";
        const kiv::rep::Table t = table(c.rows);
        ChartData data(t);
        data.m_title = c.title;
        ASSERT_TRUE(openEditor(path));
        OpenXMLPart* copy = editor.copyChart(part(chart));
        ASSERT_TRUE(copy);
        ASSERT_TRUE(editor.updateChart(part(chart), data));
        ASSERT_TRUE(editor.save(wide(path)));
        EXPECT_GOLDEN("openxml/" + std::string(c.name) + "-chart.xml", readPart(path, chart));
        EXPECT_GOLDEN("openxml/" + std::string(c.name) + "-workbook.xml", workbookParts(path, book));
        EXPECT_EQ(readPart(built, chart), *copy->bytes());
        OpenXMLPart* copiedBook = copy->related(wide("rId1"));
        ASSERT_TRUE(copiedBook && copiedBook != part(book)) << c.name;
        EXPECT_EQ(readPart(built, book), *copiedBook->bytes());
        EXPECT_OOXML_VALID(path);
    }
    EXPECT_TRUE(errors().empty());
}

// Cells that are no finite double are no numbers: 0 in the caches, text in the
// workbook. Categories with leading zeros stay text, x values do not. Texts
// longer than a cell holds (32,767 UTF-16 units) are cut in the workbook only,
// with a warning naming the cells; the chart shows them whole.
TEST_F(OpenXmlChartTest, NumbersMustBeFiniteAndWorkbookTextsFitTheirCells) {
    const std::string a(32767, 'a'), b(40000, 'b'), emoji = std::string(32766, 'e') + "\xF0\x9F\x98\x80";
    const struct {
        const char* package;
        const char* number;
        std::vector<std::vector<std::string>> rows;
        std::vector<std::string> shown;
        std::string warning;
    } cases[] = {
        {"document.docx",
         "2",
         {{"t", "p"}, {"00123", "1e999"}, {"0.5", "-1e999"}, {"-07", "nan"}, {"0", "inf"}},
         {"cat=Sheet1!$A$2:$A$5 s[0:00123 1:0.5 2:-07 3:0 ]", "val=Sheet1!$B$2:$B$5 n[0:0 1:0 2:0 3:0 ]",
          "A2='00123' B2='1e999' A3=0.5 B3='-1e999' A4='-07' B4='nan' A5=0 B5='inf'"},
         ""},
        {"presentation.pptx",
         "1",
         {{"x", "s"}, {"00123", "1.8e308"}, {"2", std::string(401, '9')}, {"3", "1e-5"}},
         {"xVal=Sheet1!$A$2:$A$4 n[0:00123 1:2 2:3 ]", "yVal=Sheet1!$B$2:$B$4 n[0:0 1:0 2:1e-5 ]",
          "A2=00123 B2='1.8e308' A3=2 B3='" + std::string(401, '9') + "' A4=3 B4=1e-5"},
         ""},
        {"document.docx",
         "2",
         {{"t", b}, {a + "a", "1"}, {emoji, "2"}, {a, "3"}},
         {"s[0:" + a + "a 1:" + emoji + " 2:" + a + " ]",
          " B1='" + b.substr(0, 32767) + "' A2='" + a + "' B2=1 A3='" + emoji.substr(0, 32766) + "' B3=2 A4='" + a + "' B4=3"},
         "The chart's workbook word/embeddings/Microsoft_Excel_Sheet2.xlsx keeps the first 32767 characters of cells "
         "B1, A2 and A3, all a cell holds (the chart shows the whole text)"},
    };
    for (const auto& c : cases) {
        const std::string path = copyOf(builtPackage(c.package), c.package);
        const std::string chart = (c.package[0] == 'p' ? "ppt" : "word") + std::string("/charts/chart") + c.number + ".xml";
        const kiv::rep::Table t = table(c.rows);
        ASSERT_TRUE(openEditor(path));
        ASSERT_TRUE(editor.updateChart(part(chart), ChartData(t)));
        ASSERT_TRUE(editor.save(wide(path)));
        const std::string digest = chartDigest(path, chart);
        for (const std::string& shown : c.shown) EXPECT_NE(std::string::npos, digest.find(shown)) << shown << "\n" << digest;
        std::string warned;
        for (const std::string& warning : editor.warnings()) warned += narrow(warning);
        EXPECT_EQ(c.warning, warned);
        EXPECT_OOXML_VALID(path);
    }
    EXPECT_TRUE(errors().empty());
}

// The chart groups of a plot area (the sample's columns with a line on a second
// axis) take the series in order, each as many as it had, the last one the rest.
TEST_F(OpenXmlChartTest, ChartGroupsShareTheSeriesInOrder) {
    std::string digest;
    for (const std::vector<std::string>& header : {std::vector<std::string>{"case", "a"}, {"case", "a", "b", "c"}}) {
        const std::string path = copyOf(builtPackage("presentation.pptx"), "groups.pptx");
        ASSERT_TRUE(putPart(path, "ppt/charts/chart1.xml",
                            readFile(KIV_SOURCE_DIR "/samples/templates/report-pptx/ppt/charts/chart2.xml")));
        ASSERT_TRUE(openEditor(path));
        ASSERT_TRUE(editor.updateChart(part("ppt/charts/chart1.xml"), ChartData(table({header, {"Plate", "1", "2", "3"}}))));
        EXPECT_EQ("column and line", narrow(ChartFill::kindOf(*part("ppt/charts/chart1.xml")->xml())));
        ASSERT_TRUE(editor.save(wide(path)));
        digest += chartDigest(path, "ppt/charts/chart1.xml");
    }
    EXPECT_GOLDEN("openxml/chart-groups.txt", digest);
}

// Every chart of the Office-saved deck (eight kinds), from tables with numbers and
// with texts in column 0, with fewer and with more series than the templates.
TEST_F(OpenXmlChartTest, EveryChartOfTheOfficeDeckIsFilled) {
    const struct {
        const char* name;
        std::vector<std::vector<std::string>> rows;
    } tables[] = {
        {"numbers, one series", {{"x", "a"}, {"1", "2.5"}, {" 2 ", "-1"}, {"4", "3"}}},
        {"texts, four series", {{"case", "a", "b", "c", "d"}, {"Plate", "1", "2", "3", "4"}, {"Beam", "5", "", "x", "8"}}},
        {"numbers, four series", {{"", "a", "A", "c", "d"}, {"0.5", "1", "2", "3", "4"}, {"1e1", "5", "6", "7", "8"}}},
    };
    std::string digest;
    std::vector<std::string> decks;
    auto chart = [](int i) { return "ppt/charts/chart" + std::to_string(i) + ".xml"; };
    for (const auto& t : tables) {
        decks.push_back(copyOf(officeTemplate("src/cht-chart-type.pptx"), "d" + std::to_string(decks.size()) + ".pptx"));
        const kiv::rep::Table rows = table(t.rows);
        ChartData data(rows);
        data.m_title = "Results";
        digest += std::string("== ") + t.name + "\n";
        ASSERT_TRUE(openEditor(decks.back()));
        std::vector<std::string> refusals(32);
        for (int i = 1; i <= 31; ++i) editor.updateChart(part(chart(i)), data, &refusals[i]);  // the reason when refused
        ASSERT_TRUE(editor.save(wide(decks.back())));
        for (int i = 1; i <= 31; ++i)
            digest += "chart" + std::to_string(i) +
                      (refusals[i].empty() ? chartDigest(decks.back(), chart(i)) : ": " + narrow(refusals[i]) + "\n");
    }
    EXPECT_GOLDEN("openxml/chart-deck.txt", digest);
    EXPECT_TRUE(errors().empty());
    EXPECT_TRUE(passesOoxmlCheck({decks[0], decks[1]}));
    // The deck of every kind filled is what LibreOffice shows: its eight slides.
    std::string output;
    EXPECT_TRUE(passesOoxmlCheck({decks[2]}, true, &output));
    EXPECT_NE(std::string::npos, output.find(": (render): 8 page(s)")) << output;
}

// Workbooks as templates hold them: unusable ones fail with the reason and leave
// the chart as it was; a chart linked to a workbook outside, or to none, gets one
// of its own, and one without a table part is filled all the same.
TEST_F(OpenXmlChartTest, ChartWorkbooksAsTemplatesHoldThem) {
    const kiv::rep::Table t = table({{"x", "a"}, {"1", "2"}});
    const std::string workbook = "ppt/embeddings/Microsoft_Excel_Sheet1.xlsx", rels = "ppt/charts/_rels/chart1.xml.rels";
    const std::string type = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";
    std::string plain;  // cells without a table part, as PowerPoint 2007 and 2010 save workbooks
    ASSERT_TRUE(ChartFill::fillWorkbook(std::string(), "new", ChartData(table({{"x", "y"}, {"7", "8"}})), std::string(), &plain,
                                        nullptr));
    const struct {
        const char* name;
        std::string part, bytes, why;
    } cases[] = {
        {"noworkbook", workbook, "", "the chart's workbook " + workbook + " is missing"},
        {"outside", rels, relationships("<Relationship Id=\"rId1\" Type=\"" + type + "package\" Target=\"../../../b.xlsx\"/>"),
         "the chart's workbook ../../../b.xlsx lies outside the package"},
        {"external", rels,
         relationships("<Relationship Id=\"rId1\" Type=\"" + type +
                       "oleObject\" "
                       "Target=\"file:///C:/Data/Book%201.xlsx\" TargetMode=\"External\"/>"),
         ""},
        {"norels", rels, "", ""},
        {"notable", workbook, plain, ""},
    };
    std::vector<std::string> filled;
    for (const auto& c : cases) {
        const std::string path = copyOf(builtPackage("presentation.pptx"), std::string(c.name) + ".pptx");
        ASSERT_TRUE(putPart(path, c.part, c.bytes)) << c.name;
        // A chart linked to no workbook of the package has none in it.
        ASSERT_TRUE(c.part != rels || !c.why.empty() || putPart(path, workbook, ""));
        ASSERT_TRUE(openEditor(path));
        OpenXMLPart* chart = part("ppt/charts/chart1.xml");
        const int parts = editor.package().partCount();
        std::string why;
        EXPECT_EQ(c.why.empty(), editor.updateChart(chart, ChartData(t), &why)) << c.name;
        EXPECT_EQ(c.why, narrow(why));
        if (c.why.empty()) {
            ASSERT_TRUE(editor.save(wide(path)));
            filled.push_back(path);
            EXPECT_NE(std::string::npos, chartDigest(path, "ppt/charts/chart1.xml").find("A2=1 B2=2")) << c.name;
            continue;
        }
        EXPECT_FALSE(chart->isChanged()) << c.name;
        // A copy needs the workbook too; nothing is added without it.
        EXPECT_FALSE(editor.copyChart(chart)) << c.name;
        EXPECT_EQ(parts, editor.package().partCount()) << c.name;
    }
    EXPECT_TRUE(errors().empty());
    EXPECT_TRUE(passesOoxmlCheck(filled));
}

const char* const PLUGIN_TYPE = "http://schemas.kivreport.org/2026/relationships/mdlxModel";

std::string control(const std::string& properties) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
           "<ax:ocx xmlns:ax=\"http://schemas.microsoft.com/office/2006/activeX\" "
           "ax:classid=\"{6F2B9C14-3E7A-4D58-B1C0-92A4E7D35F18}\" ax:persistence=\"persistPropertyBag\">" +
           properties + "</ax:ocx>";
}

// The sorted list of model files (or embedded ids) the controls name.
std::string referred(OpenXMLPackageEditor& editor, bool embedded) {
    std::vector<std::string> files;
    editor.getReferredMdlxFiles(&files, embedded);
    std::string joined;
    for (const std::string& file : files) joined += (joined.empty() ? "" : " ") + file;
    return joined;
}

// A new control named from the slide's control list, as the presentation names it.
void nameControl(OpenXMLPart* slide, const char* id) {
    XmlElement control =
        slide->editXml()->getRootElement().getFirstChildFromPath("p:cSld/p:controls").addChildElement("p:control");
    control.addAttributeInt("spid", 9);
    control.addAttributeString("r:id", wide(id));
}

using OpenXmlPluginTest = OpenXmlTest;

TEST_F(OpenXmlPluginTest, ControlsSharingAModelEmbedItOnce) {
    const std::string path = copyOf(builtPackage("presentation.pptx"), "models.pptx");
    ASSERT_TRUE(writeFile(dir.file("model.mdlx"), "MDLX model bytes"));
    ASSERT_TRUE(openEditor(path));
    // A second control of its own, showing the same model.
    OpenXMLPart* slide = part("ppt/slides/slide1.xml");
    ASSERT_TRUE(editor.addActiveXPluginFile(slide, wide("model.mdlx"), wide("rId5"), wide("rId6")));
    nameControl(slide, "rId6");
    EXPECT_EQ("model.mdlx", referred(editor, false));
    EXPECT_TRUE(editor.embedAllMdlxFilesInArchive());
    EXPECT_EQ("mdlx1", referred(editor, true));
    // Embedding again changes nothing.
    EXPECT_TRUE(editor.embedMdlxInArchive(wide("Embedded[mdlx1]")));
    ASSERT_TRUE(editor.save(wide(path)));

    EXPECT_EQ("MDLX model bytes", readPart(path, "ppt/mdlxFiles/mdlx1.mdlx"));
    EXPECT_GOLDEN("openxml/plugin-control.xml", readPart(path, "ppt/activeX/activeX2.xml"));
    EXPECT_EQ(readPart(path, "ppt/activeX/activeX1.xml"), readPart(path, "ppt/activeX/activeX2.xml"));
    EXPECT_GOLDEN("openxml/plugin-references.xml", readPart(path, "ppt/mdlxFiles/mdlxReferenceIds.xml"));
    EXPECT_GOLDEN("openxml/plugin-package.rels", readPart(path, "_rels/.rels"));
    EXPECT_OOXML_VALID(path);
    EXPECT_TRUE(errors().empty());
    // Embedded ids are listed sorted; a relationship id in use is not given twice.
    ASSERT_TRUE(editor.addActiveXPluginFile(slide, wide("Embedded[mdlx0]"), wide("rId5"), wide("rId7")));
    nameControl(slide, "rId7");
    EXPECT_EQ("mdlx0 mdlx1", referred(editor, true));
    EXPECT_FALSE(editor.addActiveXPluginFile(slide, wide("x.mdlx"), wide("rId5"), wide("rId2")));
    EXPECT_EQ(1u, errors().size());
}

TEST_F(OpenXmlPluginTest, ModelReferencesResolveFromTheReportFolder) {
    const struct {
        const char* reference;
        const char* path;
    } cases[] = {
        {"model.mdlx", "/data/out/model.mdlx"},
        {"../models/a.mdlx", "/data/models/a.mdlx"},
        {"../../a.mdlx", "/a.mdlx"},
        {"./sub/a.mdlx", "/data/out/sub/a.mdlx"},
        {"/abs/a.mdlx", "/abs/a.mdlx"},
        {"sub\\a.mdlx", "/data/out/sub/a.mdlx"},
        {"C:\\models\\a.mdlx", "C:/models/a.mdlx"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.path, narrow(OpenXMLPlugin::resolveModelPath(std::string(c.reference), "/data/out/report.docx")))
            << c.reference;
}

// Any file a template names could be copied into a report: only regular model
// files are, from the report's folder or from the folders named; the reference-id
// part records the file's name, never its path.
TEST_F(OpenXmlPluginTest, OnlyModelFilesBesideTheReportOrInFoldersNamedAreEmbedded) {
    ASSERT_TRUE(writeFile(dir.file("notes.txt"), "private notes"));
    ASSERT_EQ(0, mkdir(dir.file("folder.mdlx").c_str(), 0755));
    ASSERT_EQ(0, symlink(dir.file("notes.txt").c_str(), dir.file("link.mdlx").c_str()));
    // Not elsewhere, nor through a link to a folder elsewhere, unless that folder is named.
    kivtest::TempDir elsewhere;
    ASSERT_EQ(0, mkdir(elsewhere.file("models").c_str(), 0755));
    ASSERT_TRUE(writeFile(elsewhere.file("x.mdlx"), "model"));
    ASSERT_TRUE(writeFile(elsewhere.file("models/a.MDLX"), "model a"));
    ASSERT_EQ(0, symlink(elsewhere.path().c_str(), dir.file("away").c_str()));
    const std::string outside = elsewhere.file("x.mdlx"), named = elsewhere.file("models/a.MDLX");
    const std::string path = copyOf(builtPackage("document.docx"), "report.docx");
    ASSERT_TRUE(
        putPart(path, "word/activeX/activeX1.xml", control("<ax:ocxPr ax:name=\"FileURL\" ax:value=\"" + named + "\"/>")));
    ASSERT_TRUE(openEditor(path));
    const int parts = editor.package().partCount();
    for (const char* reference : {"notes.txt", "/etc/passwd", "folder.mdlx", "link.mdlx", "missing.mdlx", "", outside.c_str(),
                                  "away/x.mdlx", named.c_str()}) {
        recorder->clear();
        EXPECT_FALSE(editor.embedMdlxInArchive(wide(reference))) << reference;
        EXPECT_EQ(1u, errors().size()) << reference;
        EXPECT_EQ(parts, editor.package().partCount()) << reference;
    }
    editor.setModelSources({elsewhere.file("models")}, {});
    std::string name;
    EXPECT_TRUE(editor.embedMdlxInArchive(wide(named), &name));
    EXPECT_EQ("mdlx1.mdlx", narrow(name));
    ASSERT_TRUE(editor.save(wide(path)));
    EXPECT_EQ("model a", readPart(path, "word/mdlxFiles/mdlx1.mdlx"));
    EXPECT_NE(std::string::npos, readPart(path, "word/activeX/activeX1.xml").find("Embedded[mdlx1]"));
    EXPECT_NE(std::string::npos, readPart(path, "word/mdlxFiles/mdlxReferenceIds.xml").find("originalPath=\"a.MDLX\""));
    EXPECT_OOXML_VALID(path);
}

TEST_F(OpenXmlPluginTest, ReferenceIdsFillTheFirstGapAndNeverRepeat) {
    const struct {
        const char* entries;
        const char* stored;
        const char* id;
    } cases[] = {
        {"", "", "mdlx1"},
        {"<mdlxPath rId=\"mdlx1\" originalPath=\"a\"/><mdlxPath rId=\"mdlx2\" originalPath=\"b\"/>"
         "<mdlxPath rId=\"mdlx4\" originalPath=\"c\"/>",
         "", "mdlx3"},
        {"<mdlxPath rId=\"mdlx2\" originalPath=\"b\"/>", "", "mdlx1"},
        // The same original path earlier in the list: later numbers still count.
        {"<mdlxPath rId=\"mdlx1\" originalPath=\"new\"/><mdlxPath rId=\"mdlx2\" originalPath=\"b\"/>", "", "mdlx3"},
        // A model stored without its reference-id part is not overwritten.
        {nullptr, "mdlx1.mdlx", "mdlx2"},
    };
    int n = 0;
    for (const auto& c : cases) {
        PartList parts = mainPartOnly("ppt");
        if (c.entries)
            parts.push_back({"ppt/mdlxFiles/mdlxReferenceIds.xml",
                             std::string("<mdlxReferencedFiles xmlns=\"x\">") + c.entries + "</mdlxReferencedFiles>"});
        if (*c.stored) parts.push_back({std::string("ppt/mdlxFiles/") + c.stored, "model"});
        ASSERT_TRUE(openEditor(makePackage("ids" + std::to_string(++n) + ".zip", parts)));
        std::string id;
        EXPECT_TRUE(editor.updateMdlxPathReference(&id, wide("new")));
        EXPECT_EQ(c.id, narrow(id)) << n;
    }
}

// What older versions wrote: controls with _cx, _cy and TOOLBAR, models related
// from the main part, and package relationships with targets from the root
// folder (mdlxFiles/mdlx3.mdlx; one naming no part is dropped). New models take
// the next number.
TEST_F(OpenXmlPluginTest, OldControlsAndModelRelationshipsAreConverted) {
    const std::string path = copyOf(builtPackage("document.docx"), "old.docx");
    ASSERT_TRUE(putPart(path, "word/activeX/activeX1.xml",
                        control("<ax:ocxPr ax:name=\"_cx\" ax:value=\"100\"/><ax:ocxPr ax:name=\"_cy\" ax:value=\"50\"/>"
                                "<ax:ocxPr ax:name=\"TOOLBAR\" ax:value=\"ON\"/>"
                                "<ax:ocxPr ax:name=\"FileURL\" ax:value=\"Embedded[mdlx1]\"/>")));
    const struct {
        const char* rels;
        std::vector<const char*> ids;
    } legacy[] = {{"word/_rels/document.xml.rels", {"mdlx1"}}, {"_rels/.rels", {"mdlx3", "mdlx5"}}};
    for (const auto& l : legacy) {
        std::string rels = readPart(path, l.rels);
        for (const char* id : l.ids)
            rels.insert(rels.find("</Relationships>"), std::string("<Relationship Id=\"") + id + "\" Type=\"" + PLUGIN_TYPE +
                                                           "\" Target=\"mdlxFiles/" + id + ".mdlx\"/>");
        ASSERT_TRUE(putPart(path, l.rels, rels));
    }
    for (const char* model : {"word/mdlxFiles/mdlx1.mdlx", "word/mdlxFiles/mdlx3.mdlx"}) ASSERT_TRUE(putPart(path, model, "m"));
    std::string types = readPart(path, "[Content_Types].xml");
    types.insert(types.find("</Types>"), "<Default Extension=\"mdlx\" ContentType=\"application/octet-stream\"/>");
    ASSERT_TRUE(putPart(path, "[Content_Types].xml", types));
    ASSERT_TRUE(openEditor(path));
    EXPECT_EQ("mdlx3", narrow(editor.relateModel(wide("word/mdlxFiles/mdlx3.mdlx"))));
    editor.convertFromOldPlugin();
    editor.package().addPart(wide("word/mdlxFiles/mdlx4.mdlx"), wide("application/octet-stream"))->setBytes("m");
    EXPECT_EQ("mdlx4", narrow(editor.relateModel(wide("word/mdlxFiles/mdlx4.mdlx"))));
    ASSERT_TRUE(editor.save(wide(path)));
    EXPECT_GOLDEN("openxml/plugin-converted.xml", readPart(path, "word/activeX/activeX1.xml"));
    EXPECT_EQ(std::string::npos, readPart(path, "word/_rels/document.xml.rels").find(PLUGIN_TYPE));
    EXPECT_NE(std::string::npos,
              readPart(path, "_rels/.rels")
                  .find("Id=\"mdlx1\" Type=\"" + std::string(PLUGIN_TYPE) + "\" Target=\"word/mdlxFiles/mdlx1.mdlx\""));
    EXPECT_OOXML_VALID(path);
}

// rId8 names a control outside the package, rId9 one without properties.
TEST_F(OpenXmlPluginTest, BrokenControlsFailCleanly) {
    const std::string path = copyOf(builtPackage("presentation.pptx"), "broken.pptx"),
                      type = narrow(OpenXMLPackageEditor::REL_CONTROL);
    std::string rels = readPart(path, "ppt/slides/_rels/slide1.xml.rels");
    rels.insert(rels.find("</Relationships>"), "<Relationship Id=\"rId8\" Type=\"" + type +
                                                   "\" Target=\"../../../a.xml\"/>"
                                                   "<Relationship Id=\"rId9\" Type=\"" +
                                                   type + "\" Target=\"../activeX/activeX9.xml\"/>");
    ASSERT_TRUE(putPart(path, "ppt/slides/_rels/slide1.xml.rels", rels) &&
                putPart(path, "ppt/activeX/activeX9.xml", control("")));
    ASSERT_TRUE(openEditor(path));
    OpenXMLPart* slide = part("ppt/slides/slide1.xml");
    const int parts = editor.package().partCount(), count = slide->rels()->count();
    for (const char* id : {"rId8", "rId9"}) {
        recorder->clear();
        EXPECT_FALSE(editor.addActiveXPluginFile(slide, wide("a.mdlx"), wide(id), wide("rId10"))) << id;
        EXPECT_EQ(1u, errors().size()) << id;
        EXPECT_EQ(parts, editor.package().partCount()) << id;
        EXPECT_EQ(count, slide->rels()->count()) << id;
    }
    XmlDocument* bare = part("ppt/activeX/activeX9.xml")->editXml();
    EXPECT_FALSE(OpenXMLPackageEditor::setMdlxPathForPlugin(bare, wide("a.mdlx")));  // added, reported
    EXPECT_TRUE(OpenXMLPackageEditor::setMdlxPathForPlugin(bare, wide("b.mdlx")));
    EXPECT_FALSE(OpenXMLPackageEditor::setMdlxPathForPlugin(nullptr, wide("b.mdlx")));
}

}  // namespace
