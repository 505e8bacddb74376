// Scanning a Word document for tags and groups; placeholder geometry.
#include "WordTestSupport.h"
#include "support/Golden.h"
#include <cfloat>

using namespace wordtest;

namespace {

class WordScanTest : public LoggingTest {
protected:
    MkWordDocumentContent scan(const std::string& body) {
        MkOpenXMLWordDocument document;
        EXPECT_TRUE(parseBody(&document, body));
        MkWordDocumentContent content;
        document.GetDocumentContent(content);
        return content;
    }
};

std::string tableXml() {
    return "<w:tbl><w:tblPr/><w:tblGrid><w:gridCol w:w=\"100\"/></w:tblGrid><w:tr><w:tc><w:p/></w:tc></w:tr></w:tbl>";
}

} // namespace

// Each body scanned and its tags printed.
TEST_F(WordScanTest, TagsTheirKindsAndTheirGroups) {
    const struct { const char* name; std::string body; } bodies[] = {
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

    // Exists looks at top-level tags only; a reference kind shares its kind's list.
    const MkWordDocumentContent content = scan(bodies[0].body);
    EXPECT_TRUE(content.GetTags(SIT_TYPE_TEXT)->Exists(L"SIT1_TEXT"));
    EXPECT_FALSE(content.GetTags(SIT_TYPE_TEXT)->Exists(L"SIT_TEXT"));
    EXPECT_EQ(content.GetTags(SIT_TYPE_REF_TEXT), content.GetTags(SIT_TYPE_TEXT));

    // Deep nesting stays cheap: each control once per enclosing control.
    std::string deep = "<w:p/>";
    for (int i = 0; i < 40; ++i) deep = sdt("SIT1_TEXT", i, deep);
    EXPECT_EQ(1 + 39 * 40 / 2, scan(deep).GetAllTags().GetSize());

    MkOpenXMLWordDocument noBody;
    ASSERT_TRUE(noBody.ParseText("<w:document><w:p/></w:document>"));
    MkWordDocumentContent none;
    noBody.GetDocumentContent(none);
    EXPECT_EQ(0, none.GetAllTags().GetSize());
    EXPECT_EQ(MkOpenXMLWordDocument::NO_RATIO, noBody.GetRatio(SIT_TYPE_PICTURE, L"SIT1_PICTURE", 0));
}

TEST_F(WordScanTest, AKindWithoutAListIsAnInternalFault) {
    MkWordDocumentContent content;
    EXPECT_THROW(content.AddTag(L"SIT1_X", MkString(), -1, static_cast<SitTypeTag>(13), false), std::logic_error);
    EXPECT_EQ(1, content.GetAllTags().GetSize());
    EXPECT_EQ(1u, recorder->count(lfw::Logger::LL_ERROR));
}

TEST_F(WordScanTest, RatioOfPicturePlaceholdersAndViewerShapes) {
    MkOpenXMLWordDocument document;
    ASSERT_TRUE(parseBody(&document, sdt("SIT1_PICTURE", 1, pictureContent(1, 400, 200)) +
                                         sdt("SIT1_PICTURE", 2, pictureContent(2, 300, 300)) +
                                         sdt("SIT2_PICTURE", 3, para("no extent")) + "<w:p>" +
                                         viewerRun("SIT1_MDLX") + viewerRun("SIT2_MDLX", "height:1in") + "</w:p>"));
    EXPECT_FLOAT_EQ(2.0f, document.GetRatio(SIT_TYPE_PICTURE, L"SIT1_PICTURE", 0));
    EXPECT_FLOAT_EQ(1.0f, document.GetRatio(SIT_TYPE_PICTURE, L"SIT1_PICTURE", 1));
    EXPECT_EQ(FLT_MAX, document.GetRatio(SIT_TYPE_PICTURE, L"SIT1_PICTURE", 2));
    EXPECT_EQ(FLT_MAX, document.GetRatio(SIT_TYPE_PICTURE, L"SIT2_PICTURE", 0));
    EXPECT_FLOAT_EQ(2.0f, document.GetRatio(SIT_TYPE_MDLX, L"SIT1_MDLX", 0));
    EXPECT_EQ(FLT_MAX, document.GetRatio(SIT_TYPE_MDLX, L"SIT2_MDLX", 0));
}

TEST(WordGeometryTest, ShapeStylesInPointsAndInches) {
    struct Case {
        const char* style;
        bool sizeOnly;
        bool ok;
        int left, top, width, height;
    } cases[] = {
        {"width:200pt;height:100pt", true, true, 0, 0, 2540000, 1270000},
        {"position:absolute; left: 1in ;top:2pt;width:10pt;height:1.5in", false, true, 914400, 25400, 127000, 1371600},
        {"left:1pt;top:2pt;width:3pt;height:4pt", true, true, 12700, 25400, 0, 0},  // two read: done
        {"width:100px;height:50px", true, true, 0, 0, 0, 0},  // counted, not stored
        {"width:200pt", true, false, 0, 0, 2540000, 0},
        {"width:pt;height:100pt", true, false, 0, 0, 0, 0},  // a style attribute without a number
        {"width:1e30pt;height:1pt", true, false, 0, 0, 0, 0},
        {"", true, false, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        MkXmlDocument doc;
        ASSERT_TRUE(doc.ParseText((std::string("<v:shape style=\"") + c.style + "\"/>").c_str()));
        int left = 0, top = 0, width = 0, height = 0;
        EXPECT_EQ(c.ok, MkOpenXMLDocument::GetShapePosAndSize(doc.GetRootElement(), &left, &top, &width, &height,
                                                              c.sizeOnly)) << c.style;
        EXPECT_EQ(c.left, left) << c.style;
        EXPECT_EQ(c.top, top) << c.style;
        EXPECT_EQ(c.width, width) << c.style;
        EXPECT_EQ(c.height, height) << c.style;
    }
    MkXmlDocument other;
    ASSERT_TRUE(other.ParseText("<v:rect style=\"width:1pt;height:1pt\"/>"));
    int v = 0;
    EXPECT_FALSE(MkOpenXMLDocument::GetShapePosAndSize(other.GetRootElement(), &v, &v, &v, &v, true));
}

TEST(WordGeometryTest, SizesFitTheBoxAtTheAspect) {
    EXPECT_EQ(MkIntSize2D(3000000, 1500000), MkOpenXMLDocument::GetNewSizeFromAspectRatio({3000000, 3000000}, 2.0f));
    EXPECT_EQ(MkIntSize2D(1500000, 3000000), MkOpenXMLDocument::GetNewSizeFromAspectRatio({3000000, 3000000}, 0.5f));
    EXPECT_EQ(MkIntSize2D(200, 100), MkOpenXMLDocument::GetNewSizeFromAspectRatio({400, 100}, 2.0f));
    // Degenerate boxes and aspects keep the box.
    EXPECT_EQ(MkIntSize2D(400, 0), MkOpenXMLDocument::GetNewSizeFromAspectRatio({400, 0}, 2.0f));
    EXPECT_EQ(MkIntSize2D(400, 100), MkOpenXMLDocument::GetNewSizeFromAspectRatio({400, 100}, 0.0f));
}
