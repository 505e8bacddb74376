// Scanning a Word document for tags and groups; placeholder geometry.
#include "WordTestSupport.h"
#include <cfloat>

using namespace wordtest;

namespace {

class WordScanTest : public kivtest::LoggingTest {
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

TEST_F(WordScanTest, GroupsAreNumberedInDocumentOrderAndEachHasOneMarker) {
    const MkWordDocumentContent content =
        scan(group("Results", 1, sdt("SIT_TITLE", 2, para("t")) + sdt("REF_SIT2_PICTURE", 3, para("p"))) +
             sdt("SIT1_TEXT", 4, para("x")) + group("Other", 5, sdt("SIT_TEXT", 6, para("y"))));

    const MkWordDocumentTagArray& all = content.GetAllTags();
    ASSERT_EQ(6, all.GetSize());
    // Inner tags first, with the group's name and number, then the group's marker.
    EXPECT_EQ(MkString(L"SIT_TITLE"), all[0].name);
    EXPECT_EQ(MkString(L"Results"), all[0].groupName);
    EXPECT_EQ(0, all[0].groupIndex);
    EXPECT_EQ(MkString(L"<group>"), all[2].name);
    EXPECT_TRUE(all[2].groupMarker);
    EXPECT_TRUE(all[2].groupName.IsEmpty());
    EXPECT_EQ(-1, all[2].groupIndex);
    EXPECT_EQ(MkString(L"SIT1_TEXT"), all[3].name);
    EXPECT_EQ(-1, all[3].groupIndex);
    EXPECT_EQ(1, all[4].groupIndex);
    EXPECT_EQ(MkString(L"Other"), all[4].groupName);

    // A reference picture in a group: kind picture, the number as written.
    const MkWordDocumentTagArray* pictures = content.GetTags(SIT_TYPE_PICTURE);
    ASSERT_EQ(1, pictures->GetSize());
    EXPECT_EQ(SIT_TYPE_PICTURE, (*pictures)[0].kind);
    EXPECT_EQ(2, (*pictures)[0].snapshotIndex);
    EXPECT_EQ(MkString(L"Results"), (*pictures)[0].groupName);
    EXPECT_EQ(0, (*pictures)[0].groupIndex);
    EXPECT_EQ(2, content.GetTags(SIT_TYPE_NONE)->GetSize());
    EXPECT_EQ(content.GetTags(SIT_TYPE_REF_TEXT), content.GetTags(SIT_TYPE_TEXT));

    // Exists looks at top-level tags only.
    EXPECT_TRUE(content.GetTags(SIT_TYPE_TEXT)->Exists(L"SIT1_TEXT"));
    EXPECT_FALSE(content.GetTags(SIT_TYPE_TEXT)->Exists(L"SIT_TEXT"));
    EXPECT_TRUE(content.GetTags(SIT_TYPE_TEXT)->HasGenericTag());
    EXPECT_FALSE(content.GetTags(SIT_TYPE_PICTURE)->HasGenericTag());
    const MkIntArray indices = all.GetSitIndexes();
    ASSERT_EQ(2, indices.GetSize());
    EXPECT_EQ(1, indices[0]);  // REF_SIT2_PICTURE
    EXPECT_EQ(0, indices[1]);  // SIT1_TEXT
}

TEST_F(WordScanTest, KindsFollowTheKindWordAndTheControlsContent) {
    const MkWordDocumentContent content =
        scan(sdt("SIT1_TABLE", 1, para("no table")) + sdt("SIT2_TABLE", 2, tableXml()) +
             "<w:tbl><w:tr>" + sdt("SIT3_TABLE", 3, "<w:tc><w:p/></w:tc>") + "</w:tr></w:tbl>" +
             sdt("SIT1_$DATABASE_NAME", 4, para("m")) + sdt("REF_SIT1_$Pressure", 5, para("m")) +
             sdt("SIT1_CHART", 6, para("c")) + sdt("SIT1_SUBTITLE", 7, para("s")) + sdt("Plain", 8, para("p")) +
             "<w:p>" + viewerRun("SIT_MDLX") + viewerRun("Viewer") + "</w:p>");

    EXPECT_EQ(2, content.GetTags(SIT_TYPE_TABLE)->GetSize());  // in a table, or around one
    EXPECT_EQ(2, content.GetTags(SIT_TYPE_MACRO)->GetSize());
    EXPECT_EQ(1, content.GetTags(SIT_TYPE_CHART)->GetSize());
    const MkWordDocumentTagArray* models = content.GetTags(SIT_TYPE_MDLX);
    ASSERT_EQ(1, models->GetSize());
    EXPECT_EQ(MkString(L"SIT_MDLX"), (*models)[0].name);
    EXPECT_EQ(-1, (*models)[0].snapshotIndex);
    const MkWordDocumentTagArray* others = content.GetTags(SIT_TYPE_NONE);
    ASSERT_EQ(4, others->GetSize());
    EXPECT_EQ(MkString(L"SIT1_TABLE"), (*others)[0].name);
    EXPECT_EQ(MkString(L"SIT1_SUBTITLE"), (*others)[1].name);
    EXPECT_EQ(MkString(L"Plain"), (*others)[2].name);
    EXPECT_EQ(MkString(L"Viewer"), (*others)[3].name);
}

TEST_F(WordScanTest, NestedControlsAreRecordedOncePerEnclosingControl) {
    // A within B within C: B is recorded for C, A for B and for C.
    const MkWordDocumentContent content =
        scan(sdt("SIT1_TEXT", 1, sdt("SIT2_TEXT", 2, sdt("SIT3_TEXT", 3, "<w:p/>"))));
    const MkWordDocumentTagArray& all = content.GetAllTags();
    ASSERT_EQ(4, all.GetSize());
    EXPECT_EQ(MkString(L"SIT2_TEXT"), all[1].name);
    EXPECT_EQ(MkString(L"SIT1_TEXT"), all[1].groupName);
    EXPECT_EQ(MkString(L"SIT3_TEXT"), all[2].name);
    EXPECT_EQ(MkString(L"SIT2_TEXT"), all[2].groupName);
    EXPECT_EQ(MkString(L"SIT3_TEXT"), all[3].name);
    EXPECT_EQ(MkString(L"SIT1_TEXT"), all[3].groupName);

    // Deep nesting stays cheap: each control once per enclosing control.
    std::string deep = "<w:p/>";
    for (int i = 0; i < 40; ++i) deep = sdt("SIT1_TEXT", i, deep);
    EXPECT_EQ(1 + 39 * 40 / 2, scan(deep).GetAllTags().GetSize());
}

TEST_F(WordScanTest, BrokenDocumentsGiveNoTagsOrOtherTags) {
    EXPECT_EQ(0, scan("").GetAllTags().GetSize());
    MkOpenXMLWordDocument noBody;
    ASSERT_TRUE(noBody.ParseText("<w:document><w:p/></w:document>"));
    MkWordDocumentContent content;
    noBody.GetDocumentContent(content);
    EXPECT_EQ(0, content.GetAllTags().GetSize());
    EXPECT_EQ(MkOpenXMLWordDocument::NO_RATIO, noBody.GetRatio(SIT_TYPE_PICTURE, L"SIT1_PICTURE", 0));

    // Controls without properties or content: nameless "other" tags.
    const MkWordDocumentContent bare = scan("<w:sdt/><w:sdt><w:sdtPr/></w:sdt>");
    ASSERT_EQ(2, bare.GetAllTags().GetSize());
    EXPECT_EQ(SIT_TYPE_NONE, bare.GetAllTags()[0].kind);
    EXPECT_TRUE(bare.GetAllTags()[1].name.IsEmpty());
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
