// Word documents in memory: scanning for tags and groups, placeholder geometry,
// unrolling groups, and editing the tagged places (runs, titles, pictures,
// viewer controls, tables, macros).
#include "KivReport/Table.h"
#include "WordTestSupport.h"
#include "support/Golden.h"
#include <set>

using namespace kiv::rep;  // the layers' classes

using namespace wordtest;

namespace {

class WordScanTest : public LoggingTest {
protected:
    WordDocumentContent scan(const std::string& body) {
        OpenXMLWordDocument document;
        EXPECT_TRUE(parseBody(&document, body));
        WordDocumentContent content;
        document.getDocumentContent(content);
        return content;
    }
};

std::string tableXml() {
    return "<w:tbl><w:tblPr/><w:tblGrid><w:gridCol w:w=\"100\"/></w:tblGrid><w:tr><w:tc><w:p/></w:tc></w:tr></w:tbl>";
}

// Every value of that attribute on elements of that name, in document order.
std::vector<std::string> valuesOf(const OpenXMLWordDocument& document, const char* element, const char* attribute) {
    XmlElementList found;
    OpenXMLDocument::findAllElements(document.getBody(), element, &found, true, true);
    std::vector<std::string> values;
    for (const XmlElement& e : found) values.push_back(e.tx()->Attribute(attribute) ? e.tx()->Attribute(attribute) : "");
    return values;
}

bool allDistinct(const std::vector<std::string>& values) {
    return std::set<std::string>(values.begin(), values.end()).size() == values.size();
}

const std::string RESULTS = group("Results", 301,
                                  sdt("SIT_TITLE", 201, para("Title")) + para("Model: $(SIT_$DATABASE_NAME) beside SIT_TITLE") +
                                      sdt("SIT_PICTURE", 202, pictureContent(5), "<w:picture/>"));

FormattedText run(const char* text, bool bold = false, bool italic = false, bool underline = false) {
    FormattedText r;
    r.text = text;
    r.bold = bold;
    r.italic = italic;
    r.underline = underline;
    return r;
}

FormattedText newParagraph() {
    FormattedText r;
    r.newParagraph = true;
    return r;
}

kiv::rep::Table table(size_t rows, size_t columns) {
    kiv::rep::Table t(rows, columns);
    for (size_t r = 0; r < rows; ++r)
        for (size_t c = 0; c < columns; ++c)
            t.setValue(r, c, kiv::Str(("r" + std::to_string(r) + "c" + std::to_string(c)).c_str()));
    return t;
}

std::string templateTable(const std::vector<int>& widths, bool secondRow) {
    std::string grid, row, row2;
    for (size_t i = 0; i < widths.size(); ++i) {
        grid += "<w:gridCol w:w=\"" + std::to_string(widths[i]) + "\"/>";
        row += "<w:tc><w:tcPr><w:tcW w:w=\"" + std::to_string(widths[i]) +
               "\" w:type=\"dxa\"/><w:shd w:fill=\"DDDDDD\"/></w:tcPr><w:p><w:r><w:rPr><w:b/></w:rPr><w:t>Head</w:t></w:r>"
               "<w:r><w:t>er</w:t></w:r></w:p>" +
               para("Multiparagraph") + "</w:tc>";
        // The template's text in any form (runs, a tab, a bookmark, a control, paragraphs) goes:
        // the cells are filled as empty ones are.
        row2 += "<w:tc><w:tcPr><w:tcW w:w=\"" + std::to_string(widths[i]) +
                "\" w:type=\"dxa\"/></w:tcPr><w:p><w:r><w:t>a</w:t>"
                "<w:tab/></w:r><w:bookmarkStart w:id=\"1\" w:name=\"b\"/></w:p>" +
                sdt("c", 9, "<w:p/>") + "</w:tc>";
    }
    return "<w:tbl><w:tblPr><w:tblStyle w:val=\"TableGrid\"/></w:tblPr><w:tblGrid>" + grid + "</w:tblGrid><w:tr>" + row +
           "</w:tr>" + (secondRow ? "<w:tr>" + row2 + "</w:tr>" : "") + "</w:tbl>";
}

}  // namespace

// Each body scanned and its tags printed.
TEST_F(WordScanTest, TagsTheirKindsAndTheirGroups) {
    const struct {
        const char* name;
        std::string body;
    } bodies[] = {
        // Inner tags first, with the group's name and number, then the group's marker;
        // a reference picture in a group is a picture with the number as written.
        {"groups", group("Results", 1, sdt("SIT_TITLE", 2, para("t")) + sdt("REF_SIT2_PICTURE", 3, para("p"))) +
                       sdt("SIT1_TEXT", 4, para("x")) + group("Other", 5, sdt("SIT_TEXT", 6, para("y")))},
        // Tables in a table or around one; other names, viewer controls by name.
        {"kinds", sdt("SIT1_TABLE", 1, para("no table")) + sdt("SIT2_TABLE", 2, tableXml()) + "<w:tbl><w:tr>" +
                      sdt("SIT3_TABLE", 3, "<w:tc><w:p/></w:tc>") + "</w:tr></w:tbl>" + sdt("SIT1_$DATABASE_NAME", 4, para("m")) +
                      sdt("REF_SIT1_$Pressure", 5, para("m")) + sdt("SIT1_CHART", 6, para("c")) +
                      sdt("SIT1_SUBTITLE", 7, para("s")) + sdt("Plain", 8, para("p")) + "<w:p>" + viewerRun("SIT_MDLX") +
                      viewerRun("Viewer") + "</w:p>"},
        // A within B within C: B is recorded for C, A for B and for C.
        {"nested", sdt("SIT1_TEXT", 1, sdt("SIT2_TEXT", 2, sdt("SIT3_TEXT", 3, "<w:p/>")))},
        {"empty", ""},
        // Controls without properties or content: nameless other tags.
        {"bare", "<w:sdt/><w:sdt><w:sdtPr/></w:sdt>"},
    };
    std::string all;
    for (const auto& b : bodies) all += std::string("== ") + b.name + "\n" + describe(scan(b.body));
    EXPECT_GOLDEN("docx/scans.txt", all);

    // The names of each kind, found through the index, are the scan's: viewer
    // controls in a control other than a top-level group are not recorded, and
    // a table tag's name is a table's or another's by its control.
    const std::string extra =
        group("G", 1, "<w:p>" + viewerRun("SIT_MDLX") + "</w:p>") +
        sdt("Outer", 2,
            "<w:p>" + viewerRun("SIT2_MDLX") + "</w:p>" + group("Inner", 3, "<w:p>" + viewerRun("SIT3_MDLX") + "</w:p>")) +
        sdt("SIT4_TABLE", 4, para("no table")) + sdt("SIT4_TABLE", 5, tableXml());
    for (const std::string& body : {bodies[0].body, bodies[1].body, bodies[2].body, bodies[4].body, extra}) {
        OpenXMLWordDocument document;
        ASSERT_TRUE(parseBody(&document, body));
        WordTagNames names;
        document.getTagNames(WordControlIndex(document), false, &names);
        EXPECT_EQ("", namesDiffer(scan(body), names, {"SIT2_MDLX", "SIT3_MDLX"})) << body;
    }

    // Deep nesting stays cheap: each control once per enclosing control.
    std::string deep = "<w:p/>";
    for (int i = 0; i < 40; ++i) deep = sdt("SIT1_TEXT", i, deep);
    EXPECT_EQ(1u + 39 * 40 / 2, scan(deep).getAllTags().size());

    OpenXMLWordDocument noBody;
    ASSERT_TRUE(noBody.parseText("<w:document><w:p/></w:document>"));
    WordDocumentContent none;
    noBody.getDocumentContent(none);
    EXPECT_TRUE(none.getAllTags().empty());
}

TEST(WordGeometryTest, ShapeStylesInPointsAndInches) {
    const struct {
        const char* style;
        bool sizeOnly, ok;
        int left, top, width, height;
    } cases[] = {
        {"width:200pt;height:100pt", true, true, 0, 0, 2540000, 1270000},
        {"position:absolute; left: 1in ;top:2pt;width:10pt;height:1.5in", false, true, 914400, 25400, 127000, 1371600},
        {"left:1pt;top:2pt;width:3pt;height:4pt", true, true, 12700, 25400, 0, 0},  // two read: done
        {"width:100px;height:50px", true, true, 0, 0, 0, 0},                        // counted, not stored
        {"width:200pt", true, false, 0, 0, 2540000, 0},
        {"width:pt;height:100pt", true, false, 0, 0, 0, 0},  // a style attribute without a number
        {"width:1e30pt;height:1pt", true, false, 0, 0, 0, 0},
        {"", true, false, 0, 0, 0, 0},
    };
    for (const auto& c : cases) {
        XmlDocument doc;
        ASSERT_TRUE(doc.parseText((std::string("<v:shape style=\"") + c.style + "\"/>").c_str()));
        int left = 0, top = 0, width = 0, height = 0;
        EXPECT_EQ(c.ok, OpenXMLDocument::getShapePosAndSize(doc.getRootElement(), &left, &top, &width, &height, c.sizeOnly))
            << c.style;
        EXPECT_EQ(c.left, left) << c.style;
        EXPECT_EQ(c.top, top) << c.style;
        EXPECT_EQ(c.width, width) << c.style;
        EXPECT_EQ(c.height, height) << c.style;
    }
    XmlDocument other;
    ASSERT_TRUE(other.parseText("<v:rect style=\"width:1pt;height:1pt\"/>"));
    int v = 0;
    EXPECT_FALSE(OpenXMLDocument::getShapePosAndSize(other.getRootElement(), &v, &v, &v, &v, true));
}

TEST(WordGroupTest, CopiesStandInPlaceOfTheGroupNumberedPerSnapshot) {
    OpenXMLWordDocument document;
    ASSERT_TRUE(parseBody(&document, para("before") + RESULTS + para("after") + sdt("SIT1_TITLE", 2012, para("x"))));
    ASSERT_TRUE(document.expandGroup(indices({0, 2}), ""));
    // Tags numbered 1 and 3, macros renamed inside "$( )" only, no group left.
    // Content-control ids keep the "old id + index" form where that is free; the
    // static control keeps 2012, so the copy that would repeat it gets 2021, one
    // above the largest id. Drawing ids are unique too.
    EXPECT_GOLDEN("docx/expand_results_0_2.xml", printBody(document));
}

TEST(WordGroupTest, GroupsAreChosenByTheTagTheyHold) {
    const std::string charts = group("Charts", 302, sdt("SIT_CHART", 204, para("no chart here")));
    const std::string tables =
        group("Tables", 303, sdt("SIT_TABLE", 205, "<w:tbl><w:tblPr/><w:tblGrid/><w:tr><w:tc><w:p/></w:tc></w:tr></w:tbl>"));
    const std::string viewer = group("Models", 304, "<w:p>" + viewerRun("SIT_MDLX") + "</w:p>");
    const std::string looseChart = group("Loose", 305, "<w:p><w:r><c:chart r:id=\"rId3\"/></w:r></w:p>");
    OpenXMLWordDocument document;
    ASSERT_TRUE(parseBody(&document, RESULTS + charts + tables + viewer + looseChart));

    ASSERT_TRUE(document.expandGroup(indices({0}), "SIT_CHART"));  // holds no chart: unchanged
    ASSERT_TRUE(document.expandGroup(indices({0, 1}), "SIT_TABLE"));
    ASSERT_TRUE(document.expandGroup(indices({4}), "SIT_MDLX"));
    WordDocumentContent content;
    document.getDocumentContent(content);
    EXPECT_TRUE(exists(tagsOf(content, SIT_TYPE_TABLE), "SIT1_TABLE"));
    EXPECT_TRUE(exists(tagsOf(content, SIT_TYPE_TABLE), "SIT2_TABLE"));
    EXPECT_TRUE(exists(tagsOf(content, SIT_TYPE_MDLX), "SIT5_MDLX"));
    EXPECT_FALSE(exists(tagsOf(content, SIT_TYPE_CHART), "SIT1_CHART"));

    // The rest, without any snapshot: groups go, except one holding a bare chart.
    ASSERT_TRUE(document.expandGroup({}, ""));
    WordDocumentContent rest;
    document.getDocumentContent(rest);
    int markers = 0;
    for (const WordDocumentTag& tag : rest.getAllTags()) markers += tag.groupMarker ? 1 : 0;
    EXPECT_EQ(1, markers);
    EXPECT_NE(std::string::npos, printBody(document).find("Loose"));
}

TEST(WordGroupTest, EmptyGroupsFailAndStayWhileOthersUnroll) {
    OpenXMLWordDocument document;
    ASSERT_TRUE(parseBody(
        &document, group("Empty", 1, "") + "<w:sdt><w:sdtPr><w:group/></w:sdtPr></w:sdt>" + group("Full", 2, para("kept"))));
    EXPECT_FALSE(document.expandGroup(indices({0}), ""));
    const std::string body = printBody(document);
    EXPECT_NE(std::string::npos, body.find("Empty"));
    EXPECT_EQ(std::string::npos, body.find("Full"));
    EXPECT_NE(std::string::npos, body.find("kept"));

    OpenXMLWordDocument noBody;
    ASSERT_TRUE(noBody.parseText("<w:document/>"));
    EXPECT_FALSE(noBody.expandGroup(indices({0}), ""));
}

TEST(WordGroupTest, AGroupFillingATableCellLeavesTheCellAParagraph) {
    OpenXMLWordDocument document;
    ASSERT_TRUE(parseBody(&document, "<w:tbl><w:tblPr/><w:tblGrid/><w:tr><w:tc><w:tcPr/>" + group("InCell", 1, para("SIT_x")) +
                                         "</w:tc></w:tr></w:tbl>"));
    ASSERT_TRUE(document.expandGroup({}, ""));
    XmlElementList cells;
    OpenXMLDocument::findAllElements(document.getBody(), "w:tc", &cells, true, true);
    ASSERT_EQ(1u, cells.size());
    EXPECT_EQ("<w:tc>\n  <w:tcPr />\n  <w:p />\n</w:tc>\n", print(cells[0]));
}

TEST(WordGroupTest, NestedGroupsUnrollInsideTheirCopies) {
    OpenXMLWordDocument document;
    ASSERT_TRUE(parseBody(
        &document, group("Outer", 10, sdt("SIT_TITLE", 11, para("t")) + group("Inner", 12, sdt("SIT_TEXT", 13, para("d"))))));
    ASSERT_TRUE(document.expandGroup(indices({0, 1}), ""));
    WordDocumentContent content;
    document.getDocumentContent(content);
    // Inner first (for 0, 1), then the outer copies rename what is left generic.
    EXPECT_EQ(2u, tagsOf(content, SIT_TYPE_TITLE).size());
    EXPECT_EQ(4u, tagsOf(content, SIT_TYPE_TEXT).size());
    EXPECT_TRUE(allDistinct(valuesOf(document, "w:id", "w:val")));
}

TEST(WordEditTest, TextKeepsItsBlanksWhateverTheParsersSwitch) {
    // Runs of blanks only, blanks around and inside text; indentation between elements goes.
    const std::string body =
        "<w:p><w:r><w:t> </w:t></w:r>\n  <w:r><w:t xml:space=\"preserve\">  a \t b </w:t></w:r>"
        "<w:r><w:instrText> PAGE </w:instrText></w:r></w:p>";
    for (bool condense : {true, false}) {
        TiXmlBase::SetCondenseWhiteSpace(condense);
        OpenXMLWordDocument document;
        document.keepWhiteSpaceInText();
        ASSERT_TRUE(parseBody(&document, body));
        TiXmlPrinter printer;
        printer.SetStreamPrinting();
        document.getBody().tx()->FirstChildElement()->Accept(&printer);
        EXPECT_EQ(
            "<w:p><w:r><w:t> </w:t></w:r><w:r><w:t xml:space=\"preserve\">  a &#x09; b </w:t></w:r>"
            "<w:r><w:instrText> PAGE </w:instrText></w:r></w:p>",
            std::string(printer.CStr()))
            << condense;
    }
}

TEST(WordEditTest, LargeUntouchedContentStaysText) {
    std::string rows;
    for (int r = 0; r < 20; ++r)
        rows += "<w:tr><w:tc><w:tcPr/><w:p><w:r><w:t xml:space='preserve'> r" + std::to_string(r) +
                " &amp; &#x41;</w:t></w:r></w:p></w:tc></w:tr>";
    const std::string table = "<w:tbl>" + rows + "</w:tbl>";
    // Kept as text: long, well-formed, nothing to fill. Parsed: a marker, too
    // short, or not well-formed by XML's rules (the parser reads it as before).
    const struct {
        std::string block;
        bool kept;
    } cases[] = {
        {table, true},
        {"<w:tbl>" + rows + "<w:sdt/></w:tbl>", false},
        {"<w:p><w:r><w:t>short</w:t></w:r></w:p>", false},
        {"<w:tbl>" + rows + "<w:p>&nbsp;</w:p></w:tbl>", false},
        {"<w:tbl>" + rows + "<w:p a='<'/></w:tbl>", false},
        {"<w:tbl>" + rows + "<w:p>\x0B</w:p></w:tbl>", false},
    };
    for (const auto& c : cases) {
        OpenXMLWordDocument document;
        document.keepChildrenAsText("w:body", {"<w:sdt"}, 1024);
        ASSERT_TRUE(parseBody(&document, "<w:p/>" + c.block + "<w:sectPr/>")) << c.block;
        TiXmlNode* second = document.getBody().tx()->FirstChild()->NextSibling();
        EXPECT_EQ(c.kept, second->ToUnknown() != nullptr) << c.block;
        TiXmlPrinter printer;
        printer.SetStreamPrinting();
        second->Accept(&printer);
        if (c.kept) {
            EXPECT_EQ(c.block, printer.Str());
        }
    }
}

TEST(WordEditTest, TitlesAndRunsKeepTheTemplatesFormatting) {
    OpenXMLWordDocument document;
    ASSERT_TRUE(parseBody(
        &document, sdt("SIT1_TITLE", 1,
                       "<w:p><w:pPr><w:jc w:val=\"center\"/></w:pPr><w:r><w:rPr><w:i/><w:lang w:val=\"en-US\"/></w:rPr>"
                       "<w:t>Title</w:t></w:r></w:p><w:p/>",
                       "<w:placeholder><w:docPart w:val=\"x\"/></w:placeholder><w:showingPlcHdr/>") +
                       "<w:p>" + sdt("SIT1_TITLE", 2, "<w:r><w:t>inline</w:t></w:r>") + "</w:p>" +
                       // A control around a table cell keeps the cell.
                       "<w:tbl><w:tblPr/><w:tblGrid><w:gridCol w:w=\"10\"/></w:tblGrid><w:tr>" +
                       sdt("SIT2_TITLE", 3,
                           "<w:tc><w:tcPr><w:tcW w:w=\"10\" w:type=\"dxa\"/></w:tcPr><w:p><w:r><w:t>c</w:t></w:r></w:p></w:tc>") +
                       "</w:tr></w:tbl>" + sdt("SIT1_TEXT", 4, para("old"), "<w:picture/>") +
                       sdt("SIT2_TEXT", 5,
                           "<w:p><w:r><w:rPr><w:color w:val=\"FF0000\"/><w:u w:val=\"double\"/><w:lang "
                           "w:val=\"en-US\"/></w:rPr><w:t>x</w:t></w:r></w:p>")));
    EXPECT_TRUE(document.setTitle("SIT1_TITLE", "A & B <new>"));
    EXPECT_TRUE(document.setTitle("SIT2_TITLE", "cell"));
    FormattedTextArray runs;
    runs.push_back(run("Max"));
    runs.push_back(run("   "));
    runs.push_back(run("value", true));
    runs.push_back(newParagraph());
    runs.push_back(run("line", false, true, true));
    FormattedText tab = run("after tab");
    tab.reserved = true;
    runs.push_back(tab);
    EXPECT_TRUE(document.setText("SIT1_TEXT", runs));
    EXPECT_TRUE(document.setText("SIT2_TEXT", runs));
    // SIT1_TEXT: "Max   " in one run, a bold "value", a line break, an italic
    // underlined run, a tab run; the picture flag is gone. SIT2_TEXT: the template's
    // run properties, with w:b, w:i and w:u put in their schema places.
    EXPECT_GOLDEN("docx/titles_and_runs.xml", printBody(document));

    // A control without content is left alone.
    OpenXMLWordDocument bare;
    ASSERT_TRUE(parseBody(&bare, "<w:sdt><w:sdtPr><w:tag w:val=\"SIT1_TITLE\"/></w:sdtPr></w:sdt>"));
    EXPECT_TRUE(bare.setTitle("SIT1_TITLE", "x"));
    EXPECT_FALSE(OpenXMLWordDocument::editTextElement(bare.getBody().getFirstChildElement(), "x"));
}

TEST(WordEditTest, PicturesFitTheExtentAndPointAtTheTagsRelationship) {
    OpenXMLWordDocument document;
    ASSERT_TRUE(parseBody(&document, sdt("SIT1_PICTURE", 1, pictureContent(1), "<w:showingPlcHdr/>")));
    EXPECT_TRUE(document.setImage("SIT1_PICTURE", 400, 200, "https://viewer.example/1"));
    // 3000000 x 1500000 in both extents, the tag's relationship and its link; no placeholder flag.
    EXPECT_GOLDEN("docx/picture_fitted.xml", printBody(document));

    // Broken picture controls fail; an empty image is refused.
    OpenXMLWordDocument broken;
    ASSERT_TRUE(parseBody(&broken, sdt("SIT1_PICTURE", 1, para("no drawing")) +
                                       sdt("SIT2_PICTURE", 2, "<w:p><w:r><w:drawing><wp:inline/></w:drawing></w:r></w:p>")));
    EXPECT_FALSE(broken.setImage("SIT1_PICTURE", 4, 2, ""));
    EXPECT_FALSE(broken.setImage("SIT2_PICTURE", 4, 2, ""));
    EXPECT_FALSE(document.setImage("SIT1_PICTURE", 0, 2, ""));
    EXPECT_TRUE(broken.setImage("SIT9_PICTURE", 4, 2, ""));  // no such control

    // Extents beyond the schema's range (negative, past its largest) are clamped
    // to it before the fit, in both extents; a floating picture fits as an inline one.
    const struct {
        long cx, cy;
        const char* fitted;
        const char* frame;
    } extents[] = {{-1, 3000000, "cx=\"0\" cy=\"0\"", "wp:inline"},
                   {30000000000000, 30000000000000, "cx=\"27273042316900\" cy=\"13636521158450\"", "wp:inline"},
                   {3000000, 3000000, "cx=\"3000000\" cy=\"1500000\"", "wp:anchor"}};
    for (const auto& e : extents) {
        OpenXMLWordDocument beyond;
        ASSERT_TRUE(parseBody(&beyond, sdt("SIT1_PICTURE", 1, pictureContent(1, e.cx, e.cy, e.frame))));
        EXPECT_TRUE(beyond.setImage("SIT1_PICTURE", 400, 200, ""));
        const std::string body = printBody(beyond);
        EXPECT_TRUE(body.find(e.fitted) != std::string::npos && body.find(e.fitted) != body.rfind(e.fitted)) << body;
    }
}

TEST(WordEditTest, AViewerControlBecomesAPictureControlWithFreshIds) {
    OpenXMLWordDocument document;
    // Ids 13 (drawing) and 421 (control) are taken already.
    ASSERT_TRUE(parseBody(&document, sdt("SIT1_PICTURE", 421, pictureContent(13)) + "<w:p>" + viewerRun("SIT1_MDLX") + "</w:p>" +
                                         "<w:p>" + viewerRun("Viewer") + "</w:p>"));
    EXPECT_TRUE(document.setImageInMdlx("SIT1_MDLX", "SIT1_PICTURE", 400, 100, "https://viewer.example/2"));
    EXPECT_GOLDEN("docx/viewer_replaced.xml", print(document.getBody().getFirstChildElement().getNextSiblingElement()));
    WordDocumentContent content;
    document.getDocumentContent(content);
    EXPECT_EQ(2u, tagsOf(content, SIT_TYPE_PICTURE).size());
    EXPECT_TRUE(tagsOf(content, SIT_TYPE_MDLX).empty());
}

TEST(WordEditTest, ViewerControlsGiveTheirRelationshipIds) {
    OpenXMLWordDocument document;
    ASSERT_TRUE(parseBody(&document, "<w:p>" + viewerRun("SIT1_MDLX") +
                                         "</w:p><w:p><w:r><w:object>"
                                         "<w:control r:id=\"rId5\" w:name=\"SIT2_MDLX\"/></w:object></w:r></w:p>"));
    std::string control, fresh, preview;
    ASSERT_TRUE(document.setMdlx("SIT1_MDLX", &control, &fresh, &preview));
    EXPECT_EQ("rId12", control);
    EXPECT_EQ("rIdSIT1_MDLX", fresh);
    EXPECT_EQ("rId13", preview);
    EXPECT_EQ(1, document.countRelationReferences("rIdSIT1_MDLX"));
    EXPECT_FALSE(document.setMdlx("SIT2_MDLX", &control, &fresh, &preview));  // no preview shape
    EXPECT_FALSE(document.setMdlx("SIT3_MDLX", &control, &fresh, &preview));
}

TEST(WordEditTest, TablesKeepTheTemplatesLookWhenTheColumnsMatch) {
    OpenXMLWordDocument document;
    ASSERT_TRUE(parseBody(
        &document,
        sdt("SIT1_TABLE", 1, templateTable({2000, 3000}, true)) + sdt("SIT2_TABLE", 2, templateTable({3000, 3000, 3000}, false)) +
            sdt("SIT3_TABLE", 3,
                "<w:tbl><w:tr><w:tc><w:tcPr><w:tcW w:w=\"1200\"/></w:tcPr><w:p/></w:tc><w:tc><w:p/></w:tc></w:tr></w:tbl>")));
    const kiv::rep::Table data = table(4, 2);
    EXPECT_TRUE(document.setTable("SIT1_TABLE", data));
    EXPECT_TRUE(document.setTable("SIT2_TABLE", data));
    EXPECT_TRUE(document.setTable("SIT3_TABLE", table(1, 2)));
    // SIT1: the template's grid, header formatting and body cells; SIT2: a plain
    // table of two 4500-wide columns; SIT3, without a grid: a grid from its first
    // row's widths, and table properties.
    EXPECT_GOLDEN("docx/tables.xml", printBody(document));

    // Empty tables and controls without a table change nothing.
    OpenXMLWordDocument none;
    ASSERT_TRUE(parseBody(&none, sdt("SIT1_TABLE", 1, para("no table")) + sdt("SIT2_TABLE", 2, templateTable({10}, false))));
    const std::string before = printBody(none);
    EXPECT_TRUE(none.setTable("SIT1_TABLE", data));
    EXPECT_TRUE(none.setTable("SIT2_TABLE", kiv::rep::Table(0, 0)));
    EXPECT_EQ(before, printBody(none));
}

TEST(WordEditTest, MacrosAndChartIds) {
    OpenXMLWordDocument document;
    ASSERT_TRUE(parseBody(&document, sdt("REF_SIT1_$Pressure", 1, para("p")) + sdt("SIT1_$Pressure", 2, para("q")) +
                                         sdt("SIT1_TEXT", 3, para("t")) +
                                         sdt("SIT1_CHART", 4, "<w:p><w:r><c:chart r:id=\"rId7\"/></w:r></w:p>") +
                                         sdt("SIT1_CHART", 5, "<w:p><w:r><c:chart/></w:r></w:p>")));
    const std::vector<std::string> names = {"REF_SIT1_$Pressure", "SIT1_TEXT"};
    FormattedTextArray value;
    value.push_back(run("12 bar"));
    std::vector<FormattedTextArray> texts = {value};
    EXPECT_FALSE(document.setAllMacros(names, texts));  // lengths differ
    texts.push_back(value);
    EXPECT_TRUE(document.setAllMacros(names, texts));
    const std::string body = printBody(document);
    EXPECT_NE(std::string::npos, body.find("12 bar"));
    EXPECT_NE(std::string::npos, body.find(">q<"));  // not named
    EXPECT_NE(std::string::npos, body.find(">t<"));  // not a macro

    std::vector<std::string> ids;
    EXPECT_TRUE(document.getChartRelationIds("SIT1_CHART", &ids));
    EXPECT_EQ(std::vector<std::string>{"rId7"}, ids);
    EXPECT_FALSE(document.getChartRelationIds("SIT2_CHART", &ids));
    EXPECT_TRUE(ids.empty());
}

TEST(WordEditTest, AnIndexFindsTheSameControlsAsAWalk) {
    const std::string body = sdt("SIT1_TITLE", 1, para("a")) + group("G", 2, sdt("SIT1_TITLE", 3, para("b"))) +
                             sdt("Outer", 4, sdt("SIT1_TITLE", 5, para("hidden in a control")));
    OpenXMLWordDocument walked, indexed;
    ASSERT_TRUE(parseBody(&walked, body));
    ASSERT_TRUE(parseBody(&indexed, body));
    const WordControlIndex index(indexed);
    EXPECT_EQ(3u, index.find("SIT1_TITLE").size());
    EXPECT_TRUE(index.find("SIT9_TITLE").empty());
    walked.setTitle("SIT1_TITLE", "new");
    indexed.setTitle("SIT1_TITLE", "new", &index);
    EXPECT_EQ(printBody(walked), printBody(indexed));
    EXPECT_EQ(std::string::npos, printBody(indexed).find("hidden in a control"));
}
