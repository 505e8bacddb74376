// Editing tagged places: runs, titles, pictures, viewer controls, tables, macros.
#include "KivReport/Table.h"
#include "WordTestSupport.h"
#include "support/Golden.h"

using namespace wordtest;

namespace {

MkFormattedText run(const wchar_t* text, bool bold = false, bool italic = false, bool underline = false) {
    MkFormattedText r;
    r.text = text;
    r.bold = bold;
    r.italic = italic;
    r.underline = underline;
    return r;
}

MkFormattedText newParagraph() {
    MkFormattedText r;
    r.newParagraph = true;
    return r;
}

MkXmlElement firstNamed(const MkOpenXMLWordDocument& document, const char* name) {
    MkXmlElementList all;
    MkOpenXMLDocument::FindAllElements(document.GetBody(), name, &all, true, true);
    return all.empty() ? MkXmlElement() : all[0];
}

std::string controlNamed(const MkOpenXMLWordDocument& document, const wchar_t* tag) {
    MkXmlElementList all;
    MkOpenXMLDocument::FindAllElements(document.GetBody(), "w:sdt", &all, true, true);
    for (const MkXmlElement& e : all)
        if (MkOpenXMLWordDocument::GetSdtName(e) == MkString(tag)) return print(e);
    return std::string();
}

kiv::rep::Table table(size_t rows, size_t columns) {
    kiv::rep::Table t(rows, columns);
    for (size_t r = 0; r < rows; ++r)
        for (size_t c = 0; c < columns; ++c) t.setValue(r, c, kiv::Str(("r" + std::to_string(r) + "c" + std::to_string(c)).c_str()));
    return t;
}

std::string templateTable(const std::vector<int>& widths, bool secondRow) {
    std::string grid, row, row2;
    for (size_t i = 0; i < widths.size(); ++i) {
        grid += "<w:gridCol w:w=\"" + std::to_string(widths[i]) + "\"/>";
        row += "<w:tc><w:tcPr><w:tcW w:w=\"" + std::to_string(widths[i]) +
               "\" w:type=\"dxa\"/><w:shd w:fill=\"DDDDDD\"/></w:tcPr><w:p><w:r><w:rPr><w:b/></w:rPr><w:t>Head</w:t></w:r>"
               "<w:r><w:t>er</w:t></w:r></w:p></w:tc>";
        row2 += "<w:tc><w:tcPr><w:tcW w:w=\"" + std::to_string(widths[i]) + "\" w:type=\"dxa\"/></w:tcPr><w:p/></w:tc>";
    }
    return "<w:tbl><w:tblPr><w:tblStyle w:val=\"TableGrid\"/></w:tblPr><w:tblGrid>" + grid + "</w:tblGrid><w:tr>" + row +
           "</w:tr>" + (secondRow ? "<w:tr>" + row2 + "</w:tr>" : "") + "</w:tbl>";
}

} // namespace

TEST(WordEditTest, TitlesAndRunsKeepTheTemplatesFormatting) {
    MkOpenXMLWordDocument document;
    ASSERT_TRUE(parseBody(&document, sdt("SIT1_TITLE", 1,
        "<w:p><w:pPr><w:jc w:val=\"center\"/></w:pPr><w:r><w:rPr><w:i/><w:lang w:val=\"en-US\"/></w:rPr>"
        "<w:t>Title</w:t></w:r></w:p><w:p/>", "<w:placeholder><w:docPart w:val=\"x\"/></w:placeholder><w:showingPlcHdr/>") +
        "<w:p>" + sdt("SIT1_TITLE", 2, "<w:r><w:t>inline</w:t></w:r>") + "</w:p>" +
        // A control around a table cell keeps the cell.
        "<w:tbl><w:tblPr/><w:tblGrid><w:gridCol w:w=\"10\"/></w:tblGrid><w:tr>" +
        sdt("SIT2_TITLE", 3, "<w:tc><w:tcPr><w:tcW w:w=\"10\" w:type=\"dxa\"/></w:tcPr><w:p><w:r><w:t>c</w:t></w:r></w:p></w:tc>") +
        "</w:tr></w:tbl>" + sdt("SIT1_TEXT", 4, para("old"), "<w:picture/>") + sdt("SIT2_TEXT", 5,
        "<w:p><w:r><w:rPr><w:color w:val=\"FF0000\"/><w:u w:val=\"double\"/><w:lang w:val=\"en-US\"/></w:rPr><w:t>x</w:t></w:r></w:p>")));
    EXPECT_TRUE(document.SetTitle(L"SIT1_TITLE", L"A & B <new>"));
    EXPECT_TRUE(document.SetTitle(L"SIT2_TITLE", L"cell"));
    MkFormattedTextArray runs;
    runs.Add(run(L"Max"));
    runs.Add(run(L"   "));
    runs.Add(run(L"value", true));
    runs.Add(newParagraph());
    runs.Add(run(L"line", false, true, true));
    MkFormattedText tab = run(L"after tab");
    tab.reserved = true;
    runs.Add(tab);
    EXPECT_TRUE(document.SetText(L"SIT1_TEXT", runs));
    EXPECT_TRUE(document.SetText(L"SIT2_TEXT", runs));
    // SIT1_TEXT: "Max   " in one run, a bold "value", a line break, an italic
    // underlined run, a tab run; the picture flag is gone. SIT2_TEXT: the template's
    // run properties, with w:b, w:i and w:u put in their schema places.
    EXPECT_GOLDEN("docx/titles_and_runs.xml", printBody(document));

    // A control without content is left alone.
    MkOpenXMLWordDocument bare;
    ASSERT_TRUE(parseBody(&bare, "<w:sdt><w:sdtPr><w:tag w:val=\"SIT1_TITLE\"/></w:sdtPr></w:sdt>"));
    EXPECT_TRUE(bare.SetTitle(L"SIT1_TITLE", L"x"));
    EXPECT_FALSE(MkOpenXMLWordDocument::EditTextElement(bare.GetBody().GetFirstChildElement(), MkString(L"x")));
}

TEST(WordEditTest, PicturesFitTheExtentAndPointAtTheTagsRelationship) {
    MkOpenXMLWordDocument document;
    ASSERT_TRUE(parseBody(&document, sdt("SIT1_PICTURE", 1, pictureContent(1), "<w:showingPlcHdr/>")));
    MkStringArray released;
    EXPECT_TRUE(document.SetImage(L"SIT1_PICTURE", 400, 200, L"https://viewer.example/1", &released));
    // 3000000 x 1500000 in both extents, the tag's relationship and its link; no placeholder flag.
    EXPECT_GOLDEN("docx/picture_fitted.xml", printBody(document));
    ASSERT_EQ(1, released.GetSize());
    EXPECT_EQ(MkString(L"rId9"), released[0]);

    // Broken picture controls fail; an empty image is refused.
    MkOpenXMLWordDocument broken;
    ASSERT_TRUE(parseBody(&broken, sdt("SIT1_PICTURE", 1, para("no drawing")) +
                                       sdt("SIT2_PICTURE", 2, "<w:p><w:r><w:drawing><wp:inline/></w:drawing></w:r></w:p>")));
    EXPECT_FALSE(broken.SetImage(L"SIT1_PICTURE", 4, 2, MkString()));
    EXPECT_FALSE(broken.SetImage(L"SIT2_PICTURE", 4, 2, MkString()));
    EXPECT_FALSE(document.SetImage(L"SIT1_PICTURE", 0, 2, MkString()));
    EXPECT_TRUE(broken.SetImage(L"SIT9_PICTURE", 4, 2, MkString()));  // no such control
}

TEST(WordEditTest, AViewerControlBecomesAPictureControlWithFreshIds) {
    MkOpenXMLWordDocument document;
    // Ids 13 (drawing) and 421 (control) are taken already.
    ASSERT_TRUE(parseBody(&document, sdt("SIT1_PICTURE", 421, pictureContent(13)) + "<w:p>" + viewerRun("SIT1_MDLX") +
                                         "</w:p>" + "<w:p>" + viewerRun("Viewer") + "</w:p>"));
    MkStringArray released;
    EXPECT_TRUE(document.SetImageInMdlx(L"SIT1_MDLX", L"SIT1_PICTURE", 400, 100, L"https://viewer.example/2", &released));
    EXPECT_GOLDEN("docx/viewer_replaced.xml", print(document.GetBody().GetChildElement(1)));
    EXPECT_EQ(2, released.GetSize());  // the control part and the preview image
    MkWordDocumentContent content;
    document.GetDocumentContent(content);
    EXPECT_EQ(2, content.GetTags(SIT_TYPE_PICTURE)->GetSize());
    EXPECT_EQ(0, content.GetTags(SIT_TYPE_MDLX)->GetSize());
}

TEST(WordEditTest, ViewerControlsGiveTheirRelationshipIds) {
    MkOpenXMLWordDocument document;
    ASSERT_TRUE(parseBody(&document, "<w:p>" + viewerRun("SIT1_MDLX") + "</w:p><w:p><w:r><w:object>"
                                     "<w:control r:id=\"rId5\" w:name=\"SIT2_MDLX\"/></w:object></w:r></w:p>"));
    MkString control, fresh, preview;
    ASSERT_TRUE(document.SetMDLX(L"SIT1_MDLX", &control, &fresh, &preview));
    EXPECT_EQ(MkString(L"rId12"), control);
    EXPECT_EQ(MkString(L"rIdSIT1_MDLX"), fresh);
    EXPECT_EQ(MkString(L"rId13"), preview);
    EXPECT_EQ(1, document.CountRelationReferences(L"rIdSIT1_MDLX"));
    EXPECT_FALSE(document.SetMDLX(L"SIT2_MDLX", &control, &fresh, &preview));  // no preview shape
    EXPECT_FALSE(document.SetMDLX(L"SIT3_MDLX", &control, &fresh, &preview));
}

TEST(WordEditTest, TablesKeepTheTemplatesLookWhenTheColumnsMatch) {
    MkOpenXMLWordDocument document;
    ASSERT_TRUE(parseBody(&document, sdt("SIT1_TABLE", 1, templateTable({2000, 3000}, true)) +
                                         sdt("SIT2_TABLE", 2, templateTable({3000, 3000, 3000}, false))));
    const kiv::rep::Table data = table(4, 2);
    EXPECT_TRUE(document.SetTable(L"SIT1_TABLE", data));
    EXPECT_TRUE(document.SetTable(L"SIT2_TABLE", data));
    // SIT1: the template's grid, header formatting and body cells; SIT2: a plain
    // table of two 4500-wide columns.
    EXPECT_GOLDEN("docx/table_reused.xml", controlNamed(document, L"SIT1_TABLE"));
    EXPECT_GOLDEN("docx/table_plain.xml", controlNamed(document, L"SIT2_TABLE"));

    // A template without a grid gets one from its first row's widths.
    MkOpenXMLWordDocument gridless;
    ASSERT_TRUE(parseBody(&gridless, sdt("SIT1_TABLE", 1,
        "<w:tbl><w:tr><w:tc><w:tcPr><w:tcW w:w=\"1200\"/></w:tcPr><w:p/></w:tc><w:tc><w:p/></w:tc></w:tr></w:tbl>")));
    EXPECT_TRUE(gridless.SetTable(L"SIT1_TABLE", table(1, 2)));
    EXPECT_EQ("<w:tblGrid>\n  <w:gridCol w:w=\"1200\" />\n  <w:gridCol w:w=\"0\" />\n</w:tblGrid>\n",
              print(firstNamed(gridless, "w:tblGrid")));
    EXPECT_TRUE(firstNamed(gridless, "w:tblPr"));

    // Empty tables and controls without a table change nothing.
    MkOpenXMLWordDocument none;
    ASSERT_TRUE(parseBody(&none, sdt("SIT1_TABLE", 1, para("no table")) + sdt("SIT2_TABLE", 2, templateTable({10}, false))));
    const std::string before = printBody(none);
    EXPECT_TRUE(none.SetTable(L"SIT1_TABLE", data));
    EXPECT_TRUE(none.SetTable(L"SIT2_TABLE", kiv::rep::Table(0, 0)));
    EXPECT_EQ(before, printBody(none));
}

TEST(WordEditTest, MacrosAndChartIds) {
    MkOpenXMLWordDocument document;
    ASSERT_TRUE(parseBody(&document, sdt("REF_SIT1_$Pressure", 1, para("p")) + sdt("SIT1_$Pressure", 2, para("q")) +
                                         sdt("SIT1_TEXT", 3, para("t")) +
                                         sdt("SIT1_CHART", 4, "<w:p><w:r><c:chart r:id=\"rId7\"/></w:r></w:p>") +
                                         sdt("SIT1_CHART", 5, "<w:p><w:r><c:chart/></w:r></w:p>")));
    MkStringArray names;
    names.AddGrow(L"REF_SIT1_$Pressure");
    names.AddGrow(L"SIT1_TEXT");
    MkOArray<MkFormattedTextArray> texts;
    MkFormattedTextArray value;
    value.Add(run(L"12 bar"));
    texts.Add(value);
    EXPECT_FALSE(document.SetAllMacros(names, texts));  // lengths differ
    texts.Add(value);
    EXPECT_TRUE(document.SetAllMacros(names, texts));
    const std::string body = printBody(document);
    EXPECT_NE(std::string::npos, body.find("12 bar"));
    EXPECT_NE(std::string::npos, body.find(">q<"));   // not named
    EXPECT_NE(std::string::npos, body.find(">t<"));   // not a macro

    MkStringArray ids;
    EXPECT_TRUE(document.GetChartRelationIds(L"SIT1_CHART", &ids));
    ASSERT_EQ(1, ids.GetSize());
    EXPECT_EQ(MkString(L"rId7"), ids[0]);
    EXPECT_FALSE(document.GetChartRelationIds(L"SIT2_CHART", &ids));
    EXPECT_EQ(0, ids.GetSize());
}

TEST(WordEditTest, AnIndexFindsTheSameControlsAsAWalk) {
    const std::string body = sdt("SIT1_TITLE", 1, para("a")) + group("G", 2, sdt("SIT1_TITLE", 3, para("b"))) +
                             sdt("Outer", 4, sdt("SIT1_TITLE", 5, para("hidden in a control")));
    MkOpenXMLWordDocument walked, indexed;
    ASSERT_TRUE(parseBody(&walked, body));
    ASSERT_TRUE(parseBody(&indexed, body));
    const MkWordControlIndex index(indexed);
    EXPECT_EQ(2u, index.Find(L"SIT1_TITLE").size());
    EXPECT_TRUE(index.Find(L"SIT9_TITLE").empty());
    walked.SetTitle(L"SIT1_TITLE", L"new");
    indexed.SetTitle(L"SIT1_TITLE", L"new", &index);
    EXPECT_EQ(printBody(walked), printBody(indexed));
    EXPECT_NE(std::string::npos, printBody(indexed).find("hidden in a control"));
}
