// Naming and numbering rules of the package layer, table by table.
#include "impl/openxml/MkChartData.h"
#include "impl/openxml/MkOpenXMLPaths.h"
#include "impl/openxml/MkOpenXMLPlugin.h"
#include "openxml/OpenXmlTestSupport.h"

using namespace kivtest;

namespace {

std::string narrow(const MkString& s) { return s.ShortChar(); }

class OpenXmlNamingTest : public OpenXmlTest {};

TEST_F(OpenXmlNamingTest, ColumnLetters) {
    const struct { int index; const char* name; } cases[] = {
        {0, "A"}, {1, "B"}, {25, "Z"}, {26, "AA"}, {27, "AB"}, {51, "AZ"}, {52, "BA"},
        {701, "ZZ"}, {702, "AAA"}, {16383, "XFD"}, {-1, ""},
    };
    for (const auto& c : cases) EXPECT_EQ(c.name, narrow(MkChartData::GetColumnIDFromIndex(c.index))) << c.index;
}

TEST_F(OpenXmlNamingTest, NextPartNameCountsEveryNumberOfTheFolder) {
    const std::string path = makePackage("names.pptx", {
        {"[Content_Types].xml", contentTypes()},
        {"ppt/tags/tag1.xml", "<t/>"}, {"ppt/tags/tag7.xml", "<t/>"},
        {"ppt/slides/slide1.xml", "<s/>"}, {"ppt/slides/slide3.xml", "<s/>"},
        {"ppt/slides/_rels/slide3.xml.rels", "<r/>"},
        {"ppt/charts/chart2.xml", "<c/>"}, {"ppt/charts/style12.xml", "<c/>"},
        {"ppt/charts/_rels/chart2.xml.rels", "<r/>"},
    });
    TestArchive archive("ppt");
    ASSERT_TRUE(archive.Open(MkString(path.c_str()), ZIP_OPEN));
    const struct { const char* templatePath; const char* next; } cases[] = {
        {"ppt\\tags\\tag1.xml", "ppt\\tags\\tag8.xml"},          // tag1 and tag7: after the largest
        {"../tags/tag1.xml", "ppt\\tags\\tag8.xml"},             // a relative target
        {"ppt/slides/slide1.xml", "ppt\\slides\\slide4.xml"},    // gaps are not filled
        {"ppt\\notesSlides\\notesSlide1.xml", "ppt\\notesSlides\\notesSlide1.xml"},  // empty folder
        {"ppt\\charts\\chart1.xml", "ppt\\charts\\chart13.xml"}, // style12 counts too
        {"ppt\\charts\\_rels\\chart1.xml.rels", "ppt\\charts\\_rels\\chart3.xml.rels"},
        {"chart1.xml", ""},                                      // no folder
    };
    for (const auto& c : cases) EXPECT_EQ(c.next, narrow(archive.GetNextFileName(MkString(c.templatePath)))) << c.templatePath;
    archive.Close();
}

TEST_F(OpenXmlNamingTest, MediaNamesSkipEveryNumberAnEntryContains) {
    const struct { std::vector<std::string> existing; const char* root; const char* file; const char* target; } cases[] = {
        {{}, "ppt", "a.png", "../media/image1.png"},
        {{"image1.png", "image2.jpeg"}, "word", "photo.JPG", "media/image3.jpeg"},
        {{"image1.png", "image2.jpeg"}, "ppt", "photo.JPG", "../media/image3.jpeg"},
        {{"image10.png"}, "ppt", "a.png", "../media/image2.png"},
        {{"image1.png", "image2.png", "image3.png", "image4.png", "image5.png", "image6.png", "image7.png",
          "image8.png", "image9.png"}, "ppt", "a.png", "../media/image10.png"},
        {{"image1.png", "image2.png", "image3.png", "image4.png", "image5.png", "image6.png", "image7.png",
          "image8.png", "image9.png", "image10.png"}, "ppt", "a.png", "../media/image11.png"},
        {{"image1.png"}, "ppt", "clip.avi", "../media/video1.avi"},
    };
    int n = 0;
    for (const auto& c : cases) {
        PartList parts = {{"[Content_Types].xml", contentTypes()}};
        for (const std::string& e : c.existing) parts.push_back({std::string(c.root) + "/media/" + e, "x"});
        const std::string path = makePackage("media" + std::to_string(++n) + ".zip", parts);
        const std::string file = dir.file(c.file);
        ASSERT_TRUE(writeFile(file, "bytes"));
        TestArchive archive(c.root);
        ASSERT_TRUE(archive.Open(MkString(path.c_str()), ZIP_OPEN));
        MkString target;
        EXPECT_TRUE(archive.AddMediaFileToArchive(MkString(file.c_str()), &target)) << c.target;
        EXPECT_EQ(c.target, narrow(target));
        archive.Close();
    }
}

TEST_F(OpenXmlNamingTest, RelationshipTargetsResolveInsideThePackage) {
    const struct { const char* source; const char* target; const char* part; } cases[] = {
        {"ppt\\slides\\slide1.xml", "../media/image1.png", "ppt\\media\\image1.png"},
        {"word/document.xml", "media/image1.png", "word\\media\\image1.png"},
        {"word\\charts\\chart1.xml", "../embeddings/Book%201.xlsx", "word\\embeddings\\Book 1.xlsx"},
        {"", "word/mdlxFiles/mdlx1.mdlx", "word\\mdlxFiles\\mdlx1.mdlx"},
        {"ppt\\slides\\slide1.xml", "/ppt/media/image1.png", "ppt\\media\\image1.png"},
        {"ppt\\slides\\slide1.xml", "./chart.xml#part", "ppt\\slides\\chart.xml"},
        {"ppt\\slides\\slide1.xml", "../../x", "x"},             // at the package root
        {"ppt\\slides\\slide1.xml", "../../../etc/passwd", ""},  // leaves the package
        {"ppt\\slides\\slide1.xml", "http://example.com/a.png", ""},
        {"ppt\\slides\\slide1.xml", "", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.part, narrow(MkOpenXMLPaths::ResolvePartTarget(MkString(c.source), MkString(c.target)))) << c.target;
}

TEST_F(OpenXmlNamingTest, ModelReferencesResolveFromTheReportFolder) {
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
