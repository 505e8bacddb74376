// The Word package editor on whole packages (Office-made templates are run
// through the Word report). Every package written here must pass ooxml-check.
#include "KivReport/Table.h"
#include "WordTestSupport.h"
#include "impl/common/SnapshotPictures.h"
#include "impl/openxml/ChartData.h"
#include "support/Builders.h"
#include "support/Golden.h"
#include "support/OoxmlCheck.h"

using namespace kiv::rep;  // the layers' classes

using namespace wordtest;

namespace {

class WordArchiveTest : public LoggingTest {
protected:
    bool open(const std::string& package, const std::string& report) {
        path = dir.file(report);
        return archive.open(testPackage(package));
    }
    bool save() { return archive.save(path); }
    // A picture of that size, its bytes kept by the test.
    OpenXMLPicture picture(const std::string& name, unsigned width, unsigned height) {
        std::vector<unsigned char>& bytes = jpegs[name];
        Problems problems;
        EXPECT_TRUE(SnapshotPictures::jpegBytesOf(flatImage(width, height).get(), &bytes, &problems));
        OpenXMLPicture p;
        p.name = name;
        p.data = bytes.data();
        p.size = bytes.size();
        p.width = static_cast<int>(width);
        p.height = static_cast<int>(height);
        return p;
    }
    WordDocumentContent scan() {
        WordDocumentContent content;
        archive.getDocumentContent(content);
        return content;
    }

    TempDir dir;
    std::string path;
    OpenXMLWordArchive archive;
    std::map<std::string, std::vector<unsigned char>> jpegs;
};

FormattedTextArray text(const std::string& value) {
    FormattedText run;
    run.text = value;
    return FormattedTextArray(1, run);
}

kiv::rep::Table chartTable() {
    kiv::rep::Table t(4, 3);
    const char* cells[4][3] = {{"t", "p", "q"}, {"1", "5", "7"}, {"2", "6", "8"}, {"3", "4", "9"}};
    for (size_t r = 0; r < 4; ++r)
        for (size_t c = 0; c < 3; ++c) t.setValue(r, c, kiv::Str(cells[r][c]));
    return t;
}

}  // namespace

TEST_F(WordArchiveTest, FillingEveryTagKindGivesAValidPackage) {
    ASSERT_TRUE(open("tagged", "tagged.docx"));
    const WordDocumentContent content = scan();
    EXPECT_EQ(2u, tagsOf(content, SIT_TYPE_TITLE).size());
    EXPECT_EQ(2u, tagsOf(content, SIT_TYPE_TABLE).size());
    EXPECT_EQ(1u, tagsOf(content, SIT_TYPE_MDLX).size());

    EXPECT_TRUE(archive.setText("SIT1_TITLE", text("Pressure field")));
    EXPECT_TRUE(archive.setText("SIT2_TITLE", text("In a cell")));
    EXPECT_TRUE(archive.setText("SIT1_TEXT", text("Max   value")));
    EXPECT_TRUE(archive.setTable("SIT1_TABLE", chartTable()));
    EXPECT_TRUE(archive.setTable("SIT2_TABLE", chartTable()));
    EXPECT_TRUE(archive.setAllMacros({"SIT1_$DATABASE_NAME"}, {text("engine.db")}));
    const kiv::rep::Table table = chartTable();
    ChartData chart(table);
    chart.m_title = "Pressure";
    EXPECT_TRUE(archive.setChart("SIT1_CHART", chart));

    // A picture twice: one file, one pair of relationships; the placeholder picture goes.
    const OpenXMLPicture shown = picture("picture.jpg", 400, 200);
    EXPECT_TRUE(archive.setImage("SIT1_PICTURE", shown, false, "", "https://viewer.example/1"));
    EXPECT_TRUE(archive.setImage("SIT1_PICTURE", shown, false, "", "https://viewer.example/1"));
    // The viewer control becomes a picture control; its part and preview go.
    EXPECT_TRUE(archive.setImage("SIT1_MDLX", picture("shot.jpg", 300, 300), true, "SIT1_MDLXPICTURE", ""));
    ASSERT_TRUE(save()) << archive.error();
    for (const char* gone : {"word/media/image1.png", "word/media/image2.png", "word/activeX/activeX1.xml"})
        EXPECT_FALSE(hasPart(path, gone)) << gone;
    EXPECT_TRUE(hasPart(path, "word/media/image3.jpeg") && hasPart(path, "word/media/image4.jpeg"));
    EXPECT_EQ(std::string::npos, readPart(path, "[Content_Types].xml").find("activeX1"));
    XmlDocument written;
    ASSERT_TRUE(written.parseText(readPart(path, "word/document.xml").c_str()));
    EXPECT_GOLDEN("docx/tagged_filled_document.xml", written.printToString());
    // One pair of relationships for the picture, none left for the placeholder.
    EXPECT_GOLDEN("docx/tagged_filled_document.xml.rels", readPart(path, "word/_rels/document.xml.rels"));
    EXPECT_TRUE(passesOoxmlCheck({path}, true));
}

TEST_F(WordArchiveTest, UnrolledChartsGetAChartPartEach) {
    ASSERT_TRUE(open("groups", "groups.docx"));
    EXPECT_TRUE(archive.expandGroup(indices({0, 1, 2}), "SIT_CHART"));
    EXPECT_TRUE(archive.expandGroup(indices({0, 1}), "SIT_TABLE"));
    EXPECT_TRUE(archive.expandGroup(indices({0, 2}), ""));
    ASSERT_TRUE(archive.syncCharts());

    XmlElementList charts;
    OpenXMLDocument::findAllElements(archive.document()->getBody(), "c:chart", &charts, true, true);
    ASSERT_EQ(3u, charts.size());
    EXPECT_EQ("rId11 rId12", charts[0].getAttributeString("r:id") + " " + charts[1].getAttributeString("r:id"));
    for (size_t i = 0; i < charts.size(); ++i)
        EXPECT_EQ("charts/chart" + std::to_string(i + 1) + ".xml",
                  archive.mainRels()->find(charts[i].getAttributeString("r:id"))->target);

    // Each copy's chart is filled on its own, with a workbook of its own.
    const kiv::rep::Table table = chartTable();
    EXPECT_TRUE(archive.setChart("SIT2_CHART", ChartData(table)));
    EXPECT_TRUE(archive.setText("SIT3_TITLE", text("third")));
    const OpenXMLPicture shown = picture("p.jpg", 64, 48);
    EXPECT_TRUE(archive.setImage("SIT1_PICTURE", shown, false, "", ""));
    ASSERT_TRUE(save());
    // The placeholder picture stays while the other copy still shows it.
    EXPECT_TRUE(hasPart(path, "word/media/image1.png"));
    EXPECT_NE(readPart(path, "word/embeddings/Microsoft_Excel_Sheet2.xlsx"),
              readPart(path, "word/embeddings/Microsoft_Excel_Sheet1.xlsx"));
    EXPECT_TRUE(archive.setImage("SIT3_PICTURE", shown, false, "", ""));
    ASSERT_TRUE(save());
    EXPECT_FALSE(hasPart(path, "word/media/image1.png"));
    EXPECT_OOXML_VALID(path);
}

TEST_F(WordArchiveTest, BrokenDocumentsFailAndLeaveAValidPackage) {
    ASSERT_TRUE(open("tagged", "broken.docx"));
    ASSERT_TRUE(
        archive.document()->parseText("<w:document xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\"/>"));
    EXPECT_FALSE(archive.expandGroup(indices({0}), ""));
    EXPECT_TRUE(archive.setText("SIT1_TITLE", text("x")));  // nothing to fill
    EXPECT_FALSE(archive.setMdlx("SIT1_MDLX", "/tmp/model.mdlx", nullptr));
    ASSERT_TRUE(save());
    EXPECT_OOXML_VALID(path);

    // An editor without a package reads nothing and changes nothing.
    OpenXMLWordArchive closed;
    WordDocumentContent content;
    closed.getDocumentContent(content);
    EXPECT_TRUE(content.getAllTags().empty());
    EXPECT_FALSE(closed.setText("SIT1_TITLE", text("x")));
    EXPECT_FALSE(closed.save(dir.file("none.docx")));
}

TEST_F(WordArchiveTest, ViewerControlsGetTheirOwnControlPartAndPreview) {
    ASSERT_TRUE(open("tagged", "models.docx"));
    archive.setReportPath(path);
    // A second viewer control sharing the first one's control part and preview,
    // as the copies of an unrolled group do.
    XmlElementList controls;
    OpenXMLDocument::findAllElements(archive.document()->getBody(), "w:control", &controls, true, false);
    ASSERT_EQ(1u, controls.size());
    TiXmlElement* paragraph = OpenXMLDocument::getAncestor(controls[0], "w:p").tx();
    TiXmlElement* copy = paragraph->Parent()->InsertAfterChild(paragraph, *paragraph)->ToElement();
    XmlElementList copied;
    OpenXMLDocument::findAllElements(XmlElement(copy), "w:control", &copied, true, false);
    copied[0].addAttributeString("w:name", "SIT2_MDLX");

    const OpenXMLPicture first = picture("first.jpg", 200, 100), second = picture("second.jpg", 100, 100);
    EXPECT_TRUE(archive.setMdlx("SIT1_MDLX", dir.file("model.mdlx"), &first));
    ASSERT_TRUE(save());
    // Still used by SIT2_MDLX: the shared control part and preview stay.
    EXPECT_TRUE(hasPart(path, "word/activeX/activeX1.xml") && hasPart(path, "word/media/image2.png"));
    EXPECT_TRUE(archive.setMdlx("SIT2_MDLX", "/elsewhere/other.mdlx", &second));
    EXPECT_FALSE(archive.setMdlx("SIT3_MDLX", "/elsewhere/other.mdlx", nullptr));
    ASSERT_TRUE(save());
    EXPECT_FALSE(hasPart(path, "word/activeX/activeX1.xml") || hasPart(path, "word/media/image2.png"));

    const std::string part1 = readPart(path, "word/activeX/activeX2.xml"), part2 = readPart(path, "word/activeX/activeX3.xml");
    EXPECT_NE(std::string::npos, part1.find("ax:value=\"model.mdlx\"")) << part1;  // beside the package
    EXPECT_NE(std::string::npos, part2.find("other.mdlx")) << part2;
    EXPECT_EQ("activeX/activeX2.xml", archive.mainRels()->find("rIdSIT1_MDLX")->target);
    XmlElementList previews;
    OpenXMLDocument::findAllElements(archive.document()->getBody(), "v:imagedata", &previews, true, false);
    ASSERT_EQ(2u, previews.size());
    EXPECT_NE(previews[0].getAttributeString("r:id"), previews[1].getAttributeString("r:id"));
    EXPECT_OOXML_VALID(path);

    // Models come from the report's folder and the sources named, recorded by file name.
    TempDir elsewhere;
    ASSERT_TRUE(writeFile(dir.file("model.mdlx"), "m1") && writeFile(elsewhere.file("other.mdlx"), "m2"));
    ASSERT_EQ(1, archive.replacePathToMdlxFileInPlugins("\\elsewhere\\other.mdlx", elsewhere.file("other.mdlx")));
    EXPECT_FALSE(archive.embedAllMdlxFilesInArchive());
    archive.setModelSources({elsewhere.path()}, {});
    EXPECT_TRUE(archive.embedAllMdlxFilesInArchive());
    ASSERT_TRUE(save());
    const std::string ids = readPart(path, "word/mdlxFiles/mdlxReferenceIds.xml");
    EXPECT_NE(std::string::npos, ids.find("originalPath=\"model.mdlx\"")) << ids;
    EXPECT_NE(std::string::npos, ids.find("originalPath=\"other.mdlx\"")) << ids;
    EXPECT_EQ("m2", readPart(path, "word/mdlxFiles/mdlx2.mdlx"));
    EXPECT_OOXML_VALID(path);
}

// The copies of a group keep their contents as text and their tables and texts
// are filled as text: the document is the one filling elements makes, whatever
// the table's shape, the runs and the values.
TEST_F(WordArchiveTest, ContentsKeptAsTextFillAsElementsDo) {
    // Cells of several runs and paragraphs; paragraph ids everywhere, which the copies leave out.
    const std::string head =
        "<w:tc><w:tcPr><w:tcW w:w=\"2500\" w:type=\"dxa\"/></w:tcPr><w:p w14:paraId=\"1A\"><w:r><w:rPr>"
        "<w:b/></w:rPr><w:t>H</w:t></w:r><w:r><w:t>x</w:t></w:r></w:p><w:p w14:textId=\"2B\"/></w:tc>";
    const std::string rows = "<w:tr>" + head + head +
                             "<w:tc><w:p/></w:tc></w:tr><w:tr><w:trPr><w:cantSplit/></w:trPr><w:tc><w:p/></w:tc>"
                             "<w:tc><w:tcPr><w:shd w:fill=\"EEEEEE\"/></w:tcPr><w:p><w:r><w:t/></w:r></w:p></w:tc></w:tr>";
    const std::string gridded =
        "<w:tbl w:x=\"1\"><w:tblPr/><w:tblGrid><w:gridCol w:w=\"2500\"/><w:gridCol w:w=\"2500\"/>"
        "</w:tblGrid>" +
        rows + "</w:tbl>";
    const struct {
        std::string table;
        size_t columns;
        const char* odd;  // one value among "r<row>c<column>" and an empty one
    } cases[] = {{gridded, 2, "a<b & \"q\" 'x'\tz \xC3\xA9"},
                 {gridded, 3, "odd"},
                 {"<w:tbl><w:tr>" + head + head + "</w:tr></w:tbl>", 2, ""},
                 {gridded, 2, "x r:y"}};
    for (const auto& c : cases) {
        const std::string body = group("Tables", 9,
                                       sdt("SIT_TABLE", 8, c.table) + para("after") +
                                           sdt("SIT_TEXT", 7,
                                               "<w:p w14:paraId=\"3C\"><w:pPr><w:jc "
                                               "w:val=\"center\"/></w:pPr><w:r><w:rPr><w:i/></w:rPr><w:t>old</w:t></w:r></w:p>") +
                                           sdt("SIT_TITLE", 6, "<w:p w14:paraId=\"4D\"><w:r><w:t>title</w:t></w:r></w:p>"));
        const std::string package = dir.file("tables.docx");
        ASSERT_TRUE(copyFile(testPackage("groups"), package));
        ASSERT_TRUE(putPart(package, "word/document.xml",
                            std::string("<w:document ") + documentNamespaces() + "><w:body>" + body + "</w:body></w:document>"));
        OpenXMLWordArchive asText;
        OpenXMLWordDocument asElements;
        ASSERT_TRUE(asText.open(package) && parseBody(&asElements, body));
        EXPECT_TRUE(asText.expandGroup(indices({0, 1, 2}), "") && asElements.expandGroup(indices({0, 1, 2}), ""));
        for (size_t n : {4, 1, 2}) {
            kiv::rep::Table data(n, c.columns);
            for (size_t r = 0; r < n; ++r)
                for (size_t k = 0; k < c.columns; ++k)
                    data.setValue(r, k,
                                  kiv::Str(r + k == 0   ? ""
                                           : r * k == 1 ? c.odd
                                                        : ("r" + std::to_string(r) + "c" + std::to_string(k)).c_str()));
            const std::string tag = "SIT" + std::to_string(n == 4 ? 1 : n + 1) + "_TABLE";
            EXPECT_TRUE(asText.setTable(tag, data) && asElements.setTable(tag, data));
        }
        FormattedTextArray runs = text(c.odd);
        FormattedText run;
        run.bold = run.newParagraph = true;
        runs.push_back(run);
        run.newParagraph = false;
        for (const char* part : {"bold", "  ", ""}) runs.push_back((run.text = part, run));
        run = FormattedText();
        run.lineBreak = true;
        runs.push_back(run);
        run.lineBreak = false;
        run.italic = run.underline = true;
        runs.push_back((run.text = "<i&u>", run));
        for (const char* tag : {"SIT1_TEXT", "SIT2_TEXT", "SIT2_TITLE"})
            EXPECT_TRUE(asText.setText(tag, runs) && asElements.setText(tag, runs));
        const std::string filled = XmlDocument::printNode(*asText.document()->getBody().tx());
        EXPECT_EQ(XmlDocument::printNode(*asElements.getBody().tx()), filled) << c.odd;
        const size_t id = filled.find("\"4D\"");  // in the first copy's SIT1_TITLE alone
        EXPECT_TRUE(id != std::string::npos && id == filled.rfind("\"4D\""));
    }
}

// What Word documents carry around tags (the package marks): filled controls
// show their value alone, in the template's look, bound to nothing; picture
// extents keep to the schema; each copy of the group has its own bookmarks (and
// fields and links naming them), notes, revision ids and paragraph ids.
TEST_F(WordArchiveTest, RealDocumentsFillAndUnrollWithMarksOfTheirOwn) {
    ASSERT_TRUE(open("marks", "marks.docx"));
    EXPECT_TRUE(archive.expandGroup(indices({0, 1, 2}), ""));
    for (const char* tag : {"SIT1_TITLE", "SIT2_TITLE", "SIT3_TITLE"}) EXPECT_TRUE(archive.setText(tag, text(tag)));
    const OpenXMLPicture shown = picture("p.jpg", 64, 48);
    EXPECT_TRUE(archive.setImage("SIT1_PICTURE", shown, false, "", ""));
    EXPECT_TRUE(archive.setImage("SIT2_PICTURE", shown, false, "", ""));
    kiv::rep::Table table(3, 2);
    table.setValue(0, 0, kiv::Str("Name"));
    table.setValue(2, 1, kiv::Str("2"));
    EXPECT_TRUE(archive.setTable("SIT3_TABLE", table));
    ASSERT_TRUE(save());
    std::string parts;
    for (const char* part : {"word/document.xml", "word/footnotes.xml", "word/endnotes.xml"}) {
        XmlDocument written;
        written.keepWhiteSpaceInText();
        ASSERT_TRUE(written.parseText(readPart(path, part).c_str())) << part;
        parts += written.printToString();
        // Word refuses paragraph ids from 0x80000000 on; bookmarks and revision
        // marks share their ids, and a note has one reference.
        std::map<std::string, std::set<std::string>> seen;
        std::function<void(const TiXmlElement*)> visit = [&](const TiXmlElement* e) {
            const std::string name = e->Value();
            const char* id = e->Attribute("w:id");
            const char* para = e->Attribute("w14:paraId");
            if (id &&
                (name == "w:bookmarkStart" || e->Attribute("w:author") || name.find("noteReference") != std::string::npos)) {
                EXPECT_TRUE(seen[name.find("noteReference") == std::string::npos ? "mark" : name].insert(id).second)
                    << name << " " << id;
            }
            if (para) {
                EXPECT_TRUE(seen["para"].insert(para).second) << para;
                EXPECT_LT(std::stoul(para, nullptr, 16), 0x80000000ul) << para;
            }
            for (const TiXmlElement* c = e->FirstChildElement(); c; c = c->NextSiblingElement()) visit(c);
        };
        visit(written.RootElement());
    }
    EXPECT_GOLDEN("docx/marks_filled.xml", parts);
    EXPECT_OOXML_VALID(path);
}

// Filling asks the indexes for the names of the tags, headers, footers and notes
// included: they are those of a scan, before groups are unrolled and after.
TEST_F(WordArchiveTest, TagNamesAreThoseOfTheScan) {
    for (const std::string& package : {testPackage("tagged"), testPackage("groups"), testPackage("marks"), testPackage("forms"),
                                       officeTemplate("wd_headers.docx"), officeTemplate("wd_groups.docx")}) {
        ASSERT_TRUE(archive.open(package)) << package;
        for (int unrolled = 0; unrolled < 2; ++unrolled) {
            WordTagNames names;
            archive.getTagNames(&names);
            EXPECT_EQ("", namesDiffer(scan(), names)) << package << " unrolled " << unrolled;
            archive.expandGroup(indices({0, 2}), "");
        }
    }
}
