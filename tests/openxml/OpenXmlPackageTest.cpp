// The package layer: naming and numbering rules, content types, media, new
// parts, relationships, clean-up and bad packages.
#include "impl/openxml/MkChartData.h"
#include "impl/openxml/MkOpenXMLPaths.h"
#include "impl/openxml/MkOpenXMLPlugin.h"
#include "openxml/OpenXmlTestSupport.h"
#include "support/Golden.h"
#include "support/OoxmlCheck.h"
#include <glob.h>

using namespace kivtest;

namespace {

const char* const IMAGE = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/image";
const char* const HYPERLINK = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/hyperlink";

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

TEST_F(OpenXmlPackageTest, NextPartNameCountsEveryNumberOfTheFolder) {
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

TEST_F(OpenXmlPackageTest, MediaNamesSkipEveryNumberAnEntryContains) {
    const struct { std::vector<std::string> existing; const char* root; const char* file; const char* target; } cases[] = {
        {{}, "ppt", "a.png", "../media/image1.png"},
        {{"image1.png", "image2.jpeg"}, "word", "photo.JPG", "media/image3.jpeg"},
        {{"image1.png", "image2.jpeg"}, "ppt", "photo.JPG", "../media/image3.jpeg"},
        {{"image10.png"}, "ppt", "a.png", "../media/image2.png"},
        {numbered(9), "ppt", "a.png", "../media/image10.png"},
        {numbered(10), "ppt", "a.png", "../media/image11.png"},
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

TEST_F(OpenXmlPackageTest, ContentTypesAreRegisteredOnce) {
    const std::string path = copyOf(builtPackage("presentation.pptx"), "types.pptx");
    TestArchive archive("ppt");
    ASSERT_TRUE(archive.Open(wide(path), ZIP_OPEN));
    EXPECT_EQ(16, archive.GetOfficeVersion());
    // png is present and PNG the same extension; gif has no content type known.
    const struct { const char* value; OXMLContentTypeTag tag; bool added; } adds[] = {
        {"png", OXML_CT_EXTENSION, true}, {"PNG", OXML_CT_EXTENSION, true}, {"jpeg", OXML_CT_EXTENSION, true},
        {"jpg", OXML_CT_EXTENSION, true}, {"mdlx", OXML_CT_EXTENSION, true}, {"mdlx", OXML_CT_EXTENSION, true},
        {"gif", OXML_CT_EXTENSION, false}, {"/ppt/slides/slide1.xml", OXML_CT_SLIDE, true},
        {"\\ppt\\activeX\\activeX1.xml", OXML_CT_ACTIVEX, true}};
    for (const auto& a : adds) EXPECT_EQ(a.added, archive.AddContentToContentTypesXml(wide(a.value), a.tag)) << a.value;
    EXPECT_TRUE(archive.DoValueOfTagExistInContentTypes(wide("Extension"), wide("mdlx")));
    EXPECT_FALSE(archive.DoValueOfTagExistInContentTypes(wide("Extension"), wide("MDLX")));
    ASSERT_TRUE(archive.Close());
    EXPECT_GOLDEN("openxml/content-types.xml", readPart(path, "[Content_Types].xml"));
    EXPECT_OOXML_VALID(path);
    EXPECT_TRUE(errors().empty());
}

TEST_F(OpenXmlPackageTest, WordPackagesRegisterNoSlidesAndNotesByDefault) {
    const std::string path = copyOf(builtPackage("document.docx"), "types.docx");
    TestArchive archive("word");
    ASSERT_TRUE(archive.Open(wide(path), ZIP_OPEN));
    EXPECT_FALSE(archive.AddContentToContentTypesXml(wide("/word/slides/slide1.xml"), OXML_CT_SLIDE));
    EXPECT_FALSE(archive.AddContentToContentTypesXml(wide("/word/tags/tag1.xml"), OXML_CT_TAGS));
    // A part name that does not exist is dropped again by the clean-up.
    EXPECT_TRUE(archive.AddContentToContentTypesXml(wide("/word/notes.xml"), static_cast<OXMLContentTypeTag>(9)));
    EXPECT_TRUE(archive.DoValueOfTagExistInContentTypes(wide("PartName"), wide("/word/notes.xml")));
    EXPECT_TRUE(archive.ResetContentDoc());
    EXPECT_FALSE(archive.DoValueOfTagExistInContentTypes(wide("PartName"), wide("/word/notes.xml")));
    EXPECT_TRUE(archive.DoValueOfTagExistInContentTypes(wide("PartName"), wide("/word/document.xml")));
    ASSERT_TRUE(archive.Close());
    EXPECT_OOXML_VALID(path);
}

TEST_F(OpenXmlPackageTest, MediaIsStoredOnceAndRelated) {
    const std::string path = copyOf(builtPackage("presentation.pptx"), "media.pptx");
    const std::string png = dir.file("my picture.png");
    ASSERT_TRUE(writeFile(png, readPart(builtPackage("presentation.pptx"), "ppt/media/image1.png")));
    const std::string gif = dir.file("anim.gif");
    ASSERT_TRUE(writeFile(gif, "GIF89a"));
    TestArchive archive("ppt");
    // A file whose write failed is not remembered as stored: asking again fails
    // again instead of handing out a target that names nothing.
    ASSERT_TRUE(archive.Open(wide(path), ZIP_OPEN_READ_ONLY));
    MkString first, second, refused;
    EXPECT_FALSE(archive.AddMediaFileToArchive(wide(png), &refused));
    EXPECT_FALSE(archive.AddMediaFileToArchive(wide(png), &refused));
    archive.Close();
    ASSERT_TRUE(archive.Open(wide(path), ZIP_OPEN));
    const int before = archive.GetNumFiles();
    ASSERT_TRUE(archive.AddMediaFileToArchive(wide(png), &first));
    ASSERT_TRUE(archive.AddMediaFileToArchive(wide(png), &second));
    EXPECT_EQ("../media/image2.png", narrow(first));
    EXPECT_EQ(narrow(first), narrow(second));
    EXPECT_EQ(before + 1, archive.GetNumFiles());
    EXPECT_FALSE(archive.AddMediaFileToArchive(wide(gif), &refused));
    EXPECT_FALSE(archive.AddMediaFileToArchive(wide(dir.file("missing.png")), &refused));
    EXPECT_EQ(before + 1, archive.GetNumFiles());
    EXPECT_TRUE(refused.IsEmpty());

    const MkString rels(L"ppt\\slides\\_rels\\slide1.xml.rels");
    EXPECT_EQ("rId6", narrow(archive.AddTargetInRelsFile(rels, wide(IMAGE), first)));
    EXPECT_EQ("rId6", narrow(archive.AddTargetInRelsFile(rels, wide(IMAGE), second)));
    MkStringArray targets, ids;
    EXPECT_TRUE(archive.GetRelsRelationFiles(rels, OXML_TARGET_IMAGE, &targets, &ids));
    ASSERT_EQ(2, targets.GetSize());
    EXPECT_EQ("../media/image2.png", narrow(targets[1]));
    EXPECT_EQ("rId6", narrow(ids[1]));
    ASSERT_TRUE(archive.Close());
    EXPECT_EQ(readFile(png), readPart(path, "ppt/media/image2.png"));
    EXPECT_OOXML_VALID(path);

    // Media parts written or deleted by other means count as the naming rule says.
    ASSERT_TRUE(archive.Open(wide(path), ZIP_OPEN));
    for (const char* name : {"b.png", "c.png"}) ASSERT_TRUE(writeFile(dir.file(name), name));
    ASSERT_TRUE(archive.WriteDataRaw(wide("ppt\\media\\image3.png"), "x", 1, false));
    ASSERT_TRUE(archive.AddMediaFileToArchive(wide(dir.file("b.png")), &first));
    EXPECT_EQ("../media/image4.png", narrow(first));
    ASSERT_TRUE(archive.Delete(wide("ppt\\media\\image3.png")));
    ASSERT_TRUE(archive.AddMediaFileToArchive(wide(dir.file("c.png")), &first));
    EXPECT_EQ("../media/image3.png", narrow(first));
    archive.Close();
}

TEST_F(OpenXmlPackageTest, RelationshipsTakeTheNextIdAndKeepIdsUnique) {
    const std::string rels = "ppt/slides/_rels/slide1.xml.rels";
    const std::string path = makePackage("rels.zip", {
        {"[Content_Types].xml", contentTypes()},
        {rels, relationships("<Relationship Id=\"rId1\" Type=\"t\" Target=\"a.xml\"/>"
                             "<Relationship Id=\"rId12\" Type=\"t\" Target=\"b.xml\"/>"
                             "<Relationship Id=\"rId3\" Type=\"t\" Target=\"c.xml\"/>"
                             "<Relationship Id=\"mdlx40\" Type=\"t\" Target=\"d.xml\"/>")},
    });
    TestArchive archive("ppt");
    ASSERT_TRUE(archive.Open(wide(path), ZIP_OPEN));
    const MkString r = wide(rels);
    EXPECT_EQ("rId13", narrow(archive.AddTargetInRelsFile(r, wide(IMAGE), wide("media\\my image.png"))));
    EXPECT_EQ("rId13", narrow(archive.AddTargetInRelsFile(r, wide(IMAGE), wide("media/my image.png"))));
    EXPECT_EQ("rId14", narrow(archive.AddTargetInRelsFile(r, wide(HYPERLINK), wide("http://example.com/x y"),
                                                          wide("External"))));
    EXPECT_EQ("rId20", narrow(archive.AddTargetInRelsFile(r, wide("t"), wide("e.xml"), MkString(), wide("rId20"))));
    EXPECT_EQ("rId20", narrow(archive.AddTargetInRelsFile(r, wide("t"), wide("e.xml"), MkString(), wide("rId20"))));
    EXPECT_TRUE(errors().empty());
    // A given id that names another relationship would make two of one id.
    EXPECT_EQ("", narrow(archive.AddTargetInRelsFile(r, wide("t"), wide("f.xml"), MkString(), wide("rId3"))));
    EXPECT_EQ(1u, errors().size());

    EXPECT_EQ("rId12", narrow(archive.GetIdOfTarget(r, wide("b.xml"))));
    EXPECT_EQ("c.xml", narrow(archive.GetTargetOfId(r, wide("rId3"))));
    EXPECT_EQ("", narrow(archive.GetTargetOfId(r, wide("rId99"))));
    EXPECT_TRUE(archive.ReplaceTargetInRelsFile(r, wide("c.xml"), wide("g.xml")));
    EXPECT_TRUE(archive.ReplaceTargetInRelsFile(r, wide("nothing.xml"), wide("h.xml")));
    EXPECT_TRUE(archive.RemoveRelationFromRelsFile(r, wide("rId1")));
    EXPECT_TRUE(archive.RemoveRelationFromRelsFile(r, wide("rId1")));
    EXPECT_FALSE(archive.RemoveRelationFromRelsFile(wide("ppt/_rels/none.xml.rels"), wide("rId1")));
    ASSERT_TRUE(archive.Close());
    EXPECT_GOLDEN("openxml/relationships.xml.rels", readPart(path, rels));
}

TEST_F(OpenXmlPackageTest, TargetPatternsDependOnTheRootFolder) {
    const std::string items = "<Relationship Id=\"rId1\" Type=\"c\" Target=\"activeX/activeX1.xml\"/>"
                              "<Relationship Id=\"rId2\" Type=\"c\" Target=\"../activeX/activeX2.xml\"/>"
                              "<Relationship Id=\"rId3\" Type=\"t\" Target=\"tags/tag1.xml\"/>";
    const std::string path = makePackage("patterns.zip", {{"[Content_Types].xml", contentTypes()}, {"x/_rels/a.rels", relationships(items)}});
    const struct { const char* root; TargetType type; int count; } cases[] = {
        {"word", OXML_TARGET_ACTIVEX, 2}, {"ppt", OXML_TARGET_ACTIVEX, 1}, {"ppt", OXML_TARGET_TAGS, 1},
        {"ppt", OXML_TARGET_CHART, 0}, {"ppt", OXML_TARGET_CHART_RELS, 0},
    };
    for (const auto& c : cases) {
        TestArchive archive(c.root);
        ASSERT_TRUE(archive.Open(wide(path), ZIP_OPEN_READ_ONLY));
        MkStringArray targets, ids;
        EXPECT_EQ(c.count > 0, archive.GetRelsRelationFiles(wide("x\\_rels\\a.rels"), c.type, &targets, &ids));
        EXPECT_EQ(c.count, targets.GetSize()) << c.root << " " << c.type;
        EXPECT_EQ(c.count, ids.GetSize());
        EXPECT_FALSE(archive.GetRelsRelationFiles(wide("x\\_rels\\a.rels"), c.type, nullptr));
        archive.Close();
    }
}

TEST_F(OpenXmlPackageTest, NewPartsTakeTheNextNameAndAreVisibleAtOnce) {
    const std::string path = copyOf(builtPackage("presentation.pptx"), "parts.pptx");
    TestArchive archive("ppt");
    ASSERT_TRUE(archive.Open(wide(path), ZIP_OPEN));
    MkXmlDocument tags(true);
    tags.CreateRootElement(wide("p:tagLst")).AddAttributeString(wide("xmlns:p"),
        wide("http://schemas.openxmlformats.org/presentationml/2006/main"));
    EXPECT_EQ("../tags/tag1.xml", narrow(archive.RenameAndSaveDocument(tags, OXML_TARGET_TAGS, true)));
    EXPECT_EQ("ppt\\tags\\tag2.xml", narrow(archive.RenameAndSaveDocument(tags, OXML_TARGET_TAGS, false)));
    EXPECT_GE(archive.FindFile(wide("ppt\\tags\\tag2.xml")), 0);
    EXPECT_EQ("", narrow(archive.RenameAndSaveDocument(tags, OXML_TARGET_IMAGE, true)));
    EXPECT_EQ("", narrow(archive.RenameAndSaveDocument(tags, static_cast<TargetType>(5), true)));
    // Related and registered, the new parts make a valid package.
    const MkString rels(L"ppt\\slides\\_rels\\slide1.xml.rels");
    const char* tagType = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/tags";
    EXPECT_FALSE(archive.AddTargetInRelsFile(rels, wide(tagType), wide("../tags/tag1.xml")).IsEmpty());
    EXPECT_FALSE(archive.AddTargetInRelsFile(rels, wide(tagType), wide("../tags/tag2.xml")).IsEmpty());
    EXPECT_TRUE(archive.AddContentToContentTypesXml(wide("/ppt/tags/tag1.xml"), OXML_CT_TAGS));
    EXPECT_TRUE(archive.AddContentToContentTypesXml(wide("/ppt/tags/tag2.xml"), OXML_CT_TAGS));
    ASSERT_TRUE(archive.Close());
    EXPECT_OOXML_VALID(path);
}

TEST_F(OpenXmlPackageTest, ObsoletePartsAreDeletedAndUnregistered) {
    const std::string path = copyOf(builtPackage("presentation.pptx"), "obsolete.pptx");
    TestArchive archive("ppt");
    ASSERT_TRUE(archive.Open(wide(path), ZIP_OPEN));
    // Drop the second chart from the slide, then its parts.
    const MkString slide(L"ppt\\slides\\slide1.xml");
    MkXmlDocument doc;
    ASSERT_TRUE(archive.ReadXmlFile(slide, &doc));
    const MkXmlElement tree = doc.GetRootElement().GetFirstChildFromPath(wide("p:cSld/p:spTree"));
    MkXmlElement frame = tree.GetFirstChildElement(wide("p:graphicFrame")).GetNextSiblingElement(wide("p:graphicFrame"));
    ASSERT_TRUE(tree.RemoveChildElement(frame));
    ASSERT_TRUE(archive.WriteXmlFile(slide, &doc, true));
    ASSERT_TRUE(archive.RemoveRelationFromRelsFile(wide("ppt\\slides\\_rels\\slide1.xml.rels"), wide("rId3")));
    archive.AddObsoleteFile(wide("ppt\\charts\\chart2.xml"));
    archive.AddObsoleteFile(wide("ppt/charts/_rels/chart2.xml.rels"));
    archive.AddObsoleteFile(wide("ppt\\embeddings\\Microsoft_Excel_Sheet2.xlsx"));
    archive.AddObsoleteFile(wide("ppt\\charts\\chart2.xml"));
    archive.AddObsoleteFile(wide("ppt\\charts\\chart99.xml"));  // gone already: skipped
    EXPECT_TRUE(archive.DeleteObsoleteFiles());
    EXPECT_TRUE(archive.GetObsoleteFiles().IsEmpty());
    EXPECT_FALSE(archive.DoValueOfTagExistInContentTypes(wide("PartName"), wide("/ppt/charts/chart2.xml")));
    EXPECT_TRUE(archive.DoValueOfTagExistInContentTypes(wide("PartName"), wide("/ppt/charts/chart1.xml")));
    ASSERT_TRUE(archive.Close());
    EXPECT_FALSE(hasPart(path, "ppt/charts/chart2.xml"));
    EXPECT_FALSE(hasPart(path, "ppt/embeddings/Microsoft_Excel_Sheet2.xlsx"));
    EXPECT_OOXML_VALID(path);
}

// One defect each: the operation fails with one error and leaves the package as it was.
TEST_F(OpenXmlPackageTest, BrokenPackagesFailCleanly) {
    const std::string noTypes = makePackage("notypes.zip", {
        {"ppt/slides/_rels/slide1.xml.rels", relationships("")}, {"ppt/media/image1.png", "x"}});
    const std::string png = dir.file("a.png");
    ASSERT_TRUE(writeFile(png, "png"));
    {
        TestArchive archive("ppt");
        ASSERT_TRUE(archive.Open(wide(noTypes), ZIP_OPEN));
        EXPECT_FALSE(archive.AddContentToContentTypesXml(wide("png"), OXML_CT_EXTENSION));
        EXPECT_EQ(1u, errors().size());
        EXPECT_FALSE(archive.DoValueOfTagExistInContentTypes(wide("Extension"), wide("png")));
        EXPECT_FALSE(archive.ResetContentDoc());
        ASSERT_TRUE(archive.Close());
    }
    EXPECT_EQ(2u, entries(noTypes).size());

    const std::string notXml = "this is <not xml";
    const std::string badRels = makePackage("badrels.zip", {
        {"[Content_Types].xml", contentTypes()}, {"ppt/slides/_rels/slide1.xml.rels", notXml}});
    recorder->clear();
    {
        TestArchive archive("ppt");
        ASSERT_TRUE(archive.Open(wide(badRels), ZIP_OPEN));
        EXPECT_EQ("", narrow(archive.AddTargetInRelsFile(wide("ppt\\slides\\_rels\\slide1.xml.rels"), wide(IMAGE),
                                                         wide("../media/image1.png"))));
        EXPECT_EQ(1u, errors().size());
        EXPECT_FALSE(archive.ReplaceTargetInRelsFile(wide("ppt\\slides\\_rels\\slide1.xml.rels"), wide("a"), wide("b")));
        EXPECT_FALSE(archive.RemoveRelationFromRelsFile(wide("ppt\\slides\\_rels\\slide1.xml.rels"), wide("rId1")));
        MkStringArray targets;
        EXPECT_FALSE(archive.GetRelsRelationFiles(wide("ppt\\slides\\_rels\\slide1.xml.rels"), OXML_TARGET_IMAGE, &targets));
        ASSERT_TRUE(archive.Close());
    }
    EXPECT_EQ(notXml, readPart(badRels, "ppt/slides/_rels/slide1.xml.rels"));
}

// Packages saved by Office open, answer and stay valid after an edit.
TEST_F(OpenXmlPackageTest, OfficeSavedPackagesOpenAndStayValid) {
    glob_t found;
    ASSERT_EQ(0, glob(ooxmlCheckSample("*.[pd][po][ct]x").c_str(), 0, nullptr, &found));
    ASSERT_EQ(0, glob(officeTemplate("*.[pd][po][ct]x").c_str(), GLOB_APPEND, nullptr, &found));
    const std::vector<std::string> files(found.gl_pathv, found.gl_pathv + found.gl_pathc);
    globfree(&found);
    ASSERT_GE(files.size(), 10u);
    std::vector<std::string> written;
    int n = 0;
    for (const std::string& file : files) {
        const bool word = file.substr(file.size() - 5) == ".docx";
        const std::string path = copyOf(file, "office" + std::to_string(++n) + (word ? ".docx" : ".pptx"));
        TestArchive archive(word ? "word" : "ppt");
        ASSERT_TRUE(archive.Open(wide(path), ZIP_OPEN)) << file;
        EXPECT_GE(archive.GetOfficeVersion(), 0);
        EXPECT_TRUE(archive.AddContentToContentTypesXml(wide("png"), OXML_CT_EXTENSION)) << file;
        EXPECT_TRUE(archive.AddContentToContentTypesXml(wide("mdlx"), OXML_CT_EXTENSION)) << file;
        MkStringArray controls;
        archive.GetReferredMdlxFiles(&controls, false);
        archive.ConvertFromOldPlugin();
        EXPECT_TRUE(archive.ResetContentDoc()) << file;
        ASSERT_TRUE(archive.Close());
        written.push_back(path);
    }
    EXPECT_TRUE(passesOoxmlCheck(written));
    EXPECT_TRUE(errors().empty());
}

} // namespace
