// The package layer's rules: column letters, relationship targets, model paths
// and the names media take.
#include "impl/openxml/MkChartData.h"
#include "impl/openxml/MkOpenXMLPaths.h"
#include "impl/openxml/MkOpenXMLPlugin.h"
#include "openxml/OpenXmlTestSupport.h"

using namespace kivtest;

namespace {

using OpenXmlPackageTest = OpenXmlTest;

// image1.png to imageN.png.
std::vector<std::string> numbered(int n) {
    std::vector<std::string> names;
    for (int i = 1; i <= n; ++i) names.push_back("image" + std::to_string(i) + ".png");
    return names;
}

TEST_F(OpenXmlPackageTest, ColumnLetters) {
    const struct { int index; const char* name; } cases[] = {
        {0, "A"}, {1, "B"}, {25, "Z"}, {26, "AA"}, {27, "AB"}, {51, "AZ"}, {52, "BA"},
        {701, "ZZ"}, {702, "AAA"}, {16383, "XFD"}, {-1, ""},
    };
    for (const auto& c : cases) EXPECT_EQ(c.name, narrow(MkChartData::GetColumnIDFromIndex(c.index))) << c.index;
}

// A media name takes the first number no media part holds after "image" (or
// "video"): image12.png holds 1 and 12. A name is stored once per report.
TEST_F(OpenXmlPackageTest, MediaNamesSkipEveryNumberAnEntryContains) {
    using Adds = std::vector<std::pair<const char*, const char*>>;
    const struct { std::vector<std::string> existing; const char* root; Adds adds; } cases[] = {
        {{}, "ppt", {{"a.png", "ppt/media/image1.png"}, {"a.png", "ppt/media/image1.png"}, {"b.JPG", "ppt/media/image2.jpeg"},
                     {"c.gif", ""}, {"clip.avi", "ppt/media/video1.avi"}}},
        {{"image1.png", "image2.jpeg"}, "word", {{"photo.JPG", "word/media/image3.jpeg"}}},
        {{"image10.png"}, "ppt", {{"a.png", "ppt/media/image2.png"}}},
        {numbered(9), "ppt", {{"a.png", "ppt/media/image10.png"}}},
        {numbered(10), "ppt", {{"a.png", "ppt/media/image11.png"}}},
        {{"image1.png"}, "ppt", {{"clip.avi", "ppt/media/video1.avi"}, {"a.png", "ppt/media/image2.png"}}},
    };
    int n = 0;
    for (const auto& c : cases) {
        const std::string root = c.root;
        PartList parts = mainPartOnly(root);
        for (const std::string& e : c.existing) parts.push_back({root + "/media/" + e, "x"});
        ASSERT_TRUE(openEditor(makePackage("media" + std::to_string(++n) + ".zip", parts)));
        for (const auto& add : c.adds)
            EXPECT_EQ(add.second, narrow(editor.AddMedia(wide(add.first), "bytes", 5))) << n << " " << add.first;
    }
    EXPECT_EQ("", narrow(editor.AddMedia(wide("empty.png"), "", 0)));
}

TEST_F(OpenXmlPackageTest, RelationshipTargetsResolveInsideThePackage) {
    const struct { const char* source; const char* target; const char* part; } cases[] = {
        {"ppt\\slides\\slide1.xml", "../media/image1.png", "ppt\\media\\image1.png"},
        {"word/document.xml", "media/image1.png", "word\\media\\image1.png"},
        {"word\\charts\\chart1.xml", "../embeddings/Book%201.xlsx", "word\\embeddings\\Book 1.xlsx"},
        {"ppt\\slides\\slide1.xml", "../media/image%5F1.png", "ppt\\media\\image_1.png"},
        {"word/document.xml", "media/caf%C3%A9%25.png", "word\\media\\caf\xc3\xa9%.png"},
        {"", "word/mdlxFiles/mdlx1.mdlx", "word\\mdlxFiles\\mdlx1.mdlx"},
        {"ppt\\slides\\slide1.xml", "/ppt/media/image1.png", "ppt\\media\\image1.png"},
        {"ppt\\slides\\slide1.xml", "./chart.xml#part", "ppt\\slides\\chart.xml"},
        {"ppt\\slides\\slide1.xml", "../../x", "x"},             // at the package root
        {"ppt\\slides\\slide1.xml", "../../../etc/passwd", ""},  // leaves the package
        {"ppt\\slides\\slide1.xml", "http://example.com/a.png", ""},
        {"ppt\\slides\\slide1.xml", "", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.part, narrow(MkOpenXMLPaths::ResolvePartTarget(MkString(c.source), MkString(c.target)))) << c.target;
        // The target made for a part names it again.
        const MkString back = MkOpenXMLPaths::RelativeTarget(MkString(c.source), MkString(c.part));
        EXPECT_TRUE(!*c.part || narrow(MkOpenXMLPaths::ResolvePartTarget(MkString(c.source), back)) == c.part) << narrow(back);
    }
}

TEST_F(OpenXmlPackageTest, ModelReferencesResolveFromTheReportFolder) {
    const struct { const char* reference; const char* package; const char* path; } cases[] = {
        {"model.mdlx", "/data/out/report.docx", "/data/out/model.mdlx"},
        {"../models/a.mdlx", "/data/out/report.docx", "/data/models/a.mdlx"},
        {"../../a.mdlx", "/data/out/report.docx", "/a.mdlx"},
        {"./sub/a.mdlx", "/data/out/report.docx", "/data/out/sub/a.mdlx"},
        {"/abs/a.mdlx", "/data/out/report.docx", "/abs/a.mdlx"},
        {"sub\\a.mdlx", "/data/out/report.docx", "/data/out/sub/a.mdlx"},
        {"C:\\models\\a.mdlx", "/data/out/report.docx", "C:/models/a.mdlx"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.path, narrow(MkOpenXMLPlugin::ResolveModelPath(MkString(c.reference), MkString(c.package))))
            << c.reference;
}

} // namespace
