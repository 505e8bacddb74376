// Text markers turned into tagged controls: each kind of marker and placement,
// as editors split them into runs, and the markers that cannot become controls.
// Every converted package must pass ooxml-check and scan as the tags it marks.
#include "WordTestSupport.h"
#include "impl/docx/WordMarkers.h"
#include "support/OoxmlCheck.h"

using namespace kiv::rep;  // the layers' classes

using namespace wordtest;

namespace {

std::string run(const std::string& text, const std::string& props = "") {
    return "<w:r>" + props + "<w:t xml:space=\"preserve\">" + text + "</w:t></w:r>";
}
std::string p(const std::string& runs) { return "<w:p>" + runs + "</w:p>"; }
std::string table() {
    return "<w:tbl><w:tblPr/><w:tblGrid><w:gridCol w:w=\"500\"/></w:tblGrid><w:tr><w:tc>" + para("x") + "</w:tc></w:tr></w:tbl>";
}

std::string picture() {
    return p(
        "<w:r><w:drawing><wp:inline><wp:extent cx=\"100\" cy=\"100\"/><wp:docPr id=\"7\" name=\"P\"/><a:graphic "
        "xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\"><a:graphicData uri=\"http://schemas."
        "openxmlformats.org/drawingml/2006/picture\"><pic:pic xmlns:pic=\"http://schemas.openxmlformats.org/"
        "drawingml/2006/picture\"><pic:nvPicPr><pic:cNvPr id=\"0\" name=\"P\"/><pic:cNvPicPr/></pic:nvPicPr>"
        "<pic:blipFill><a:blip r:embed=\"rId10\"/></pic:blipFill><pic:spPr/></pic:pic></a:graphicData></a:graphic>"
        "</wp:inline></w:drawing></w:r>");
}

struct Case {
    const char* what;
    std::string body;
    const char* tags;  // the scan's tags: "name kind [group]" lines in document order
    int warnings;
    const char* kept;  // text the converted body still holds ("" for none)
};

TEST(WordMarkers, EachMarkerBecomesTheControlOfItsKind) {
    const Case cases[] = {
        {"split into runs around a proofing mark",
         p(run("Case {SIT1_") + "<w:proofErr w:type=\"spellStart\"/>" + run("$CASE", "<w:rPr><w:b/></w:rPr>") +
           run("_NAME} done")),
         "SIT1_$CASE_NAME 9\n", 0, "Case </w:t>"},
        {"alone in its paragraph", p(run("  {SIT1_TITLE} ")) + p(run("{REF_SIT2_TEXT}")), "SIT1_TITLE 3\nREF_SIT2_TEXT 5\n", 0,
         ""},
        {"picture next to the marker", p(run("{SIT2_PICTURE}")) + picture(), "SIT2_PICTURE 1\n", 0, "docPr id=\"7\""},
        {"picture without one", p(run("Figure: {SIT_PICTURE}")), "SIT_PICTURE 1\n", 0, "<a:blip r:embed="},
        {"table after the marker", p(run("{SIT3_TABLE}")) + table(), "SIT3_TABLE 11\n", 0, "w:w=\"500\""},
        {"table without one", p(run("{SIT3_TABLE}")), "SIT3_TABLE 11\n", 0, "<w:tbl>"},
        {"group", p(run("{GROUP Results}")) + p(run("{SIT_TITLE}")) + table() + p(run("{/GROUP}")),
         "SIT_TITLE 3 Results\n<group> -1\n", 0, "<w:group"},
        {"no tags", p(run("{not a marker} {SIT1_TITEL} {SIT1_MDLX} {SIT1_CHART} text {SIT2_TABLE}")), "", 4, "{SIT1_MDLX}"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const std::string path = dir.file("in.docx");
        ASSERT_TRUE(copyFile(testPackage("tagged"), path));
        ASSERT_TRUE(
            putPart(path, "word/document.xml",
                    std::string("<w:document ") + documentNamespaces() + "><w:body>" + c.body + "</w:body></w:document>"));
        OpenXMLPackage package;
        ASSERT_TRUE(package.open(path));
        WordMarkerResult result;
        std::string error;
        ASSERT_TRUE(convertWordMarkers(package, &result, &error)) << error;
        EXPECT_EQ(static_cast<int>(result.warnings.size()), c.warnings) << ::testing::PrintToString(result.warnings);
        ASSERT_TRUE(package.save(dir.file("out.docx"))) << package.error();
        EXPECT_OOXML_VALID(dir.file("out.docx"));
        const std::string document = readPart(dir.file("out.docx"), "word/document.xml");
        EXPECT_NE(document.find(c.kept), std::string::npos) << document;
        OpenXMLWordArchive archive;
        ASSERT_TRUE(archive.open(dir.file("out.docx")));
        WordDocumentContent content;
        archive.getDocumentContent(content);
        std::string tags;
        for (const WordDocumentTag& t : content.getAllTags())
            tags += t.name + " " + std::to_string(t.kind) + (t.groupName.empty() ? "" : " " + t.groupName) + "\n";
        EXPECT_EQ(tags, c.tags);
    }
}

TEST(WordMarkers, GroupMarkersThatDoNotPairUpFailTheConversion) {
    const std::pair<std::string, const char*> cases[] = {
        {p(run("{GROUP}")) + p(run("{SIT_TITLE}")), "a {GROUP} has no {/GROUP} after it"},
        {p(run("{/GROUP}")), "{/GROUP} ends no group"},
        {p(run("{GROUP}")) + p(run("{GROUP}")) + p(run("{/GROUP}")) + p(run("{/GROUP}")), "groups cannot be nested"},
        {p(run("{GROUP}")) + p(run("{/GROUP}")), "holds nothing"},
        {p(run("see {GROUP}")) + p(run("x")) + p(run("{/GROUP}")), "{GROUP} must stand alone in its paragraph"},
        {p(run("{GROUP}")) + "<w:tbl><w:tblPr/><w:tr><w:tc>" + p(run("{/GROUP}")) + "</w:tc></w:tr></w:tbl>", "side by side"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.second);
        TempDir dir;
        const std::string path = dir.file("in.docx");
        ASSERT_TRUE(copyFile(testPackage("tagged"), path));
        ASSERT_TRUE(
            putPart(path, "word/document.xml",
                    std::string("<w:document ") + documentNamespaces() + "><w:body>" + c.first + "</w:body></w:document>"));
        OpenXMLPackage package;
        ASSERT_TRUE(package.open(path));
        WordMarkerResult result;
        std::string error;
        EXPECT_FALSE(convertWordMarkers(package, &result, &error));
        EXPECT_NE(error.find(c.second), std::string::npos) << error;
    }
}

}  // namespace
