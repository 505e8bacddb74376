// Unrolling groups: copies in place of the group, numbered tags, unique ids.
#include "WordTestSupport.h"
#include "support/Golden.h"
#include <set>

using namespace wordtest;

namespace {

// Every value of that attribute on elements of that name, in document order.
std::vector<std::string> valuesOf(const MkOpenXMLWordDocument& document, const char* element, const char* attribute) {
    MkXmlElementList found;
    MkOpenXMLDocument::FindAllElements(document.GetBody(), element, &found, true, true);
    std::vector<std::string> values;
    for (const MkXmlElement& e : found) values.push_back(e.Tx()->Attribute(attribute) ? e.Tx()->Attribute(attribute) : "");
    return values;
}

bool allDistinct(const std::vector<std::string>& values) {
    return std::set<std::string>(values.begin(), values.end()).size() == values.size();
}

const std::string RESULTS = group("Results", 301, sdt("SIT_TITLE", 201, para("Title")) +
                                                      para("Model: $(SIT_$DATABASE_NAME) beside SIT_TITLE") +
                                                      sdt("SIT_PICTURE", 202, pictureContent(5), "<w:picture/>"));

} // namespace

TEST(WordGroupTest, CopiesStandInPlaceOfTheGroupNumberedPerSnapshot) {
    MkOpenXMLWordDocument document;
    ASSERT_TRUE(parseBody(&document, para("before") + RESULTS + para("after") + sdt("SIT1_TITLE", 2012, para("x"))));
    ASSERT_TRUE(document.ExpandGroup(indices({0, 2}), MkString()));
    // Tags numbered 1 and 3, macros renamed inside "$( )" only, no group left.
    // Content-control ids keep the "old id + index" form where that is free; the
    // static control keeps 2012, so the copy that would repeat it gets 2021, one
    // above the largest id. Drawing ids are unique too.
    EXPECT_GOLDEN("docx/expand_results_0_2.xml", printBody(document));
}

TEST(WordGroupTest, GroupsAreChosenByTheTagTheyHold) {
    const std::string charts = group("Charts", 302, sdt("SIT_CHART", 204, para("no chart here")));
    const std::string tables = group("Tables", 303, sdt("SIT_TABLE", 205,
        "<w:tbl><w:tblPr/><w:tblGrid/><w:tr><w:tc><w:p/></w:tc></w:tr></w:tbl>"));
    const std::string viewer = group("Models", 304, "<w:p>" + viewerRun("SIT_MDLX") + "</w:p>");
    const std::string looseChart = group("Loose", 305, "<w:p><w:r><c:chart r:id=\"rId3\"/></w:r></w:p>");
    MkOpenXMLWordDocument document;
    ASSERT_TRUE(parseBody(&document, RESULTS + charts + tables + viewer + looseChart));

    ASSERT_TRUE(document.ExpandGroup(indices({0}), L"SIT_CHART"));  // holds no chart: unchanged
    ASSERT_TRUE(document.ExpandGroup(indices({0, 1}), L"SIT_TABLE"));
    ASSERT_TRUE(document.ExpandGroup(indices({4}), L"SIT_MDLX"));
    MkWordDocumentContent content;
    document.GetDocumentContent(content);
    EXPECT_TRUE(content.GetTags(SIT_TYPE_TABLE)->Exists(L"SIT1_TABLE"));
    EXPECT_TRUE(content.GetTags(SIT_TYPE_TABLE)->Exists(L"SIT2_TABLE"));
    EXPECT_TRUE(content.GetTags(SIT_TYPE_MDLX)->Exists(L"SIT5_MDLX"));
    EXPECT_FALSE(content.GetTags(SIT_TYPE_CHART)->Exists(L"SIT1_CHART"));

    // The rest, without any snapshot: groups go, except one holding a bare chart.
    ASSERT_TRUE(document.ExpandGroup(MkIntArray(), MkString()));
    MkWordDocumentContent rest;
    document.GetDocumentContent(rest);
    int markers = 0;
    for (const MkWordDocumentTag& tag : rest.GetAllTags()) markers += tag.groupMarker ? 1 : 0;
    EXPECT_EQ(1, markers);
    EXPECT_NE(std::string::npos, printBody(document).find("Loose"));
}

TEST(WordGroupTest, EmptyGroupsFailAndStayWhileOthersUnroll) {
    MkOpenXMLWordDocument document;
    ASSERT_TRUE(parseBody(&document, group("Empty", 1, "") + "<w:sdt><w:sdtPr><w:group/></w:sdtPr></w:sdt>" +
                                         group("Full", 2, para("kept"))));
    EXPECT_FALSE(document.ExpandGroup(indices({0}), MkString()));
    const std::string body = printBody(document);
    EXPECT_NE(std::string::npos, body.find("Empty"));
    EXPECT_EQ(std::string::npos, body.find("Full"));
    EXPECT_NE(std::string::npos, body.find("kept"));

    MkOpenXMLWordDocument noBody;
    ASSERT_TRUE(noBody.ParseText("<w:document/>"));
    EXPECT_FALSE(noBody.ExpandGroup(indices({0}), MkString()));
}

TEST(WordGroupTest, AGroupFillingATableCellLeavesTheCellAParagraph) {
    MkOpenXMLWordDocument document;
    ASSERT_TRUE(parseBody(&document, "<w:tbl><w:tblPr/><w:tblGrid/><w:tr><w:tc><w:tcPr/>" +
                                         group("InCell", 1, para("SIT_x")) + "</w:tc></w:tr></w:tbl>"));
    ASSERT_TRUE(document.ExpandGroup(MkIntArray(), MkString()));
    MkXmlElementList cells;
    MkOpenXMLDocument::FindAllElements(document.GetBody(), "w:tc", &cells, true, true);
    ASSERT_EQ(1u, cells.size());
    EXPECT_EQ("<w:tc>\n  <w:tcPr />\n  <w:p />\n</w:tc>\n", print(cells[0]));
}

TEST(WordGroupTest, NestedGroupsUnrollInsideTheirCopies) {
    MkOpenXMLWordDocument document;
    ASSERT_TRUE(parseBody(&document, group("Outer", 10, sdt("SIT_TITLE", 11, para("t")) +
                                                            group("Inner", 12, sdt("SIT_TEXT", 13, para("d"))))));
    ASSERT_TRUE(document.ExpandGroup(indices({0, 1}), MkString()));
    MkWordDocumentContent content;
    document.GetDocumentContent(content);
    // Inner first (for 0, 1), then the outer copies rename what is left generic.
    EXPECT_EQ(2, content.GetTags(SIT_TYPE_TITLE)->GetSize());
    EXPECT_EQ(4, content.GetTags(SIT_TYPE_TEXT)->GetSize());
    EXPECT_TRUE(allDistinct(valuesOf(document, "w:id", "w:val")));
}
