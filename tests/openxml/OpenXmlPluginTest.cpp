// Viewer plug-in controls, embedded models, the reference-id part and old controls.
#include "impl/openxml/MkOpenXMLPlugin.h"
#include "openxml/OpenXmlTestSupport.h"
#include "support/Golden.h"
#include "support/OoxmlCheck.h"
#include <sys/stat.h>
#include <unistd.h>

using namespace kivtest;

namespace {

const char* const CONTROL_RELS = "ppt\\slides\\_rels\\slide1.xml.rels";
const char* const PLUGIN_TYPE = "http://schemas.kivreport.org/2026/relationships/mdlxModel";

std::string control(const std::string& properties) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
           "<ax:ocx xmlns:ax=\"http://schemas.microsoft.com/office/2006/activeX\" "
           "ax:classid=\"{6F2B9C14-3E7A-4D58-B1C0-92A4E7D35F18}\" ax:persistence=\"persistPropertyBag\">" +
           properties + "</ax:ocx>";
}

using OpenXmlPluginTest = OpenXmlTest;

TEST_F(OpenXmlPluginTest, ControlsSharingAModelEmbedItOnce) {
    const std::string path = copyOf(builtPackage("presentation.pptx"), "models.pptx");
    ASSERT_TRUE(writeFile(dir.file("model.mdlx"), "MDLX model bytes"));
    TestArchive archive("ppt");
    ASSERT_TRUE(archive.Open(wide(path), ZIP_OPEN));
    // A second control of its own, showing the same model.
    ASSERT_TRUE(archive.AddActiveXPluginFile(wide(CONTROL_RELS), wide("model.mdlx"), wide("rId5"), wide("rId6")));
    EXPECT_EQ("../activeX/activeX2.xml", narrow(archive.GetTargetOfId(wide(CONTROL_RELS), wide("rId6"))));
    MkStringArray external;
    EXPECT_EQ(1, archive.GetReferredMdlxFiles(&external, false));
    EXPECT_TRUE(archive.EmbedAllMdlxFilesInArchive(false));
    MkStringArray embedded;
    EXPECT_EQ(1, archive.GetReferredMdlxFiles(&embedded, true));
    ASSERT_EQ(1, embedded.GetSize());
    EXPECT_EQ("mdlx1", narrow(embedded[0]));
    external.Clear();
    EXPECT_EQ(0, archive.GetReferredMdlxFiles(&external, false));
    // Embedding again changes nothing.
    MkString name;
    EXPECT_TRUE(archive.EmbedMdlxInArchive(wide("Embedded[mdlx1]"), &name));
    ASSERT_TRUE(archive.Close());

    EXPECT_EQ("MDLX model bytes", readPart(path, "ppt/mdlxFiles/mdlx1.mdlx"));
    EXPECT_FALSE(hasPart(path, "ppt/mdlxFiles/mdlx2.mdlx"));
    EXPECT_GOLDEN("openxml/plugin-control.xml", readPart(path, "ppt/activeX/activeX2.xml"));
    EXPECT_EQ(readPart(path, "ppt/activeX/activeX1.xml"), readPart(path, "ppt/activeX/activeX2.xml"));
    EXPECT_GOLDEN("openxml/plugin-references.xml", readPart(path, "ppt/mdlxFiles/mdlxReferenceIds.xml"));
    EXPECT_GOLDEN("openxml/plugin-package.rels", readPart(path, "_rels/.rels"));
    EXPECT_OOXML_VALID(path);
    EXPECT_TRUE(errors().empty());
}

TEST_F(OpenXmlPluginTest, ModelsAreFoundFromTheReportFolder) {
    ASSERT_EQ(0, mkdir(dir.file("out").c_str(), 0755));
    ASSERT_EQ(0, mkdir(dir.file("models").c_str(), 0755));
    const std::string path = copyOf(builtPackage("document.docx"), "out/report.docx");
    ASSERT_TRUE(writeFile(dir.file("models/a.MDLX"), "model a"));
    ASSERT_TRUE(putPart(path, "word/activeX/activeX1.xml",
                        control("<ax:ocxPr ax:name=\"FileURL\" ax:value=\"../models/a.MDLX\"/>")));
    TestArchive archive("word");
    ASSERT_TRUE(archive.Open(wide(path), ZIP_OPEN));
    MkString name;
    EXPECT_TRUE(archive.EmbedMdlxInArchive(wide("../models/a.MDLX"), &name));
    EXPECT_EQ("mdlx1.mdlx", narrow(name));
    EXPECT_EQ("word\\mdlxFiles\\mdlx1.mdlx", narrow(archive.ModelTargetToPackagePath(wide("word/mdlxFiles/mdlx1.mdlx"))));
    EXPECT_EQ("word\\mdlxFiles\\mdlx1.mdlx", narrow(archive.ModelTargetToPackagePath(wide("mdlxFiles/mdlx1.mdlx"))));
    ASSERT_TRUE(archive.Close());
    EXPECT_EQ("model a", readPart(path, "word/mdlxFiles/mdlx1.mdlx"));
    EXPECT_NE(std::string::npos, readPart(path, "word/activeX/activeX1.xml").find("Embedded[mdlx1]"));
    EXPECT_OOXML_VALID(path);
}

// Any file a template names could be copied into a report: only models are.
TEST_F(OpenXmlPluginTest, OnlyRegularModelFilesAreEmbedded) {
    ASSERT_TRUE(writeFile(dir.file("notes.txt"), "private notes"));
    ASSERT_EQ(0, mkdir(dir.file("folder.mdlx").c_str(), 0755));
    ASSERT_EQ(0, symlink(dir.file("notes.txt").c_str(), dir.file("link.mdlx").c_str()));
    const std::string path = copyOf(builtPackage("presentation.pptx"), "refuse.pptx");
    for (const char* reference : {"notes.txt", "/etc/passwd", "folder.mdlx", "link.mdlx", "missing.mdlx", ""}) {
        ASSERT_TRUE(putPart(path, "ppt/activeX/activeX1.xml",
                            control("<ax:ocxPr ax:name=\"FileURL\" ax:value=\"" + std::string(reference) + "\"/>")));
        const std::vector<std::string> before = entries(path);
        recorder->clear();
        TestArchive archive("ppt");
        ASSERT_TRUE(archive.Open(wide(path), ZIP_OPEN));
        MkString name;
        EXPECT_FALSE(archive.EmbedMdlxInArchive(wide(reference), &name)) << reference;
        EXPECT_EQ(1u, errors().size()) << reference;
        ASSERT_TRUE(archive.Close());
        EXPECT_EQ(before, entries(path)) << reference;
    }
}

TEST_F(OpenXmlPluginTest, ReferenceIdsFillTheFirstGapAndNeverRepeat) {
    const struct { const char* entries; const char* stored; const char* id; } cases[] = {
        {"", "", "mdlx1"},
        {"<mdlxPath rId=\"mdlx1\" originalPath=\"a\"/><mdlxPath rId=\"mdlx2\" originalPath=\"b\"/>"
         "<mdlxPath rId=\"mdlx4\" originalPath=\"c\"/>", "", "mdlx3"},
        {"<mdlxPath rId=\"mdlx2\" originalPath=\"b\"/>", "", "mdlx1"},
        // The same original path earlier in the list: later numbers still count.
        {"<mdlxPath rId=\"mdlx1\" originalPath=\"new\"/><mdlxPath rId=\"mdlx2\" originalPath=\"b\"/>", "", "mdlx3"},
        // A model stored without its reference-id part is not overwritten.
        {nullptr, "mdlx1.mdlx", "mdlx2"},
    };
    int n = 0;
    for (const auto& c : cases) {
        PartList parts = {{"[Content_Types].xml", contentTypes()}};
        if (c.entries)
            parts.push_back({"ppt/mdlxFiles/mdlxReferenceIds.xml",
                             std::string("<mdlxReferencedFiles xmlns=\"x\">") + c.entries + "</mdlxReferencedFiles>"});
        if (*c.stored) parts.push_back({std::string("ppt/mdlxFiles/") + c.stored, "model"});
        const std::string path = makePackage("ids" + std::to_string(++n) + ".zip", parts);
        TestArchive archive("ppt");
        ASSERT_TRUE(archive.Open(wide(path), ZIP_OPEN));
        MkString id;
        EXPECT_TRUE(archive.UpdateMdlxPathReference(&id, wide("new"), true));
        EXPECT_EQ(c.id, narrow(id)) << n;
        ASSERT_TRUE(archive.Close());
    }
}

TEST_F(OpenXmlPluginTest, EmbeddedIdsAreListedSorted) {
    const std::string path = copyOf(builtPackage("presentation.pptx"), "sorted.pptx");
    TestArchive archive("ppt");
    ASSERT_TRUE(archive.Open(wide(path), ZIP_OPEN));
    ASSERT_TRUE(archive.AddActiveXPluginFile(wide(CONTROL_RELS), wide("Embedded[mdlx2]"), wide("rId5"), wide("rId7")));
    EXPECT_EQ(1, archive.ReplacePathToMdlxFileInPlugins(wide("model.mdlx"), wide("Embedded[mdlx1]")));
    MkStringArray ids;
    EXPECT_EQ(2, archive.GetReferredMdlxFiles(&ids, true));
    ASSERT_EQ(2, ids.GetSize());
    EXPECT_EQ("mdlx1", narrow(ids[0]));
    EXPECT_EQ("mdlx2", narrow(ids[1]));
    // A relationship id in use is not given twice.
    EXPECT_FALSE(archive.AddActiveXPluginFile(wide(CONTROL_RELS), wide("x.mdlx"), wide("rId5"), wide("rId2")));
    EXPECT_EQ(1u, errors().size());
    ASSERT_TRUE(archive.Close());
}

TEST_F(OpenXmlPluginTest, ModelRelationshipsOfEitherFormAreFound) {
    const std::string path = copyOf(builtPackage("document.docx"), "legacy.docx");
    const std::string rels = readPart(path, "_rels/.rels");
    std::string legacy = rels;
    legacy.insert(legacy.find("</Relationships>"),
                  std::string("<Relationship Id=\"mdlx3\" Type=\"") + PLUGIN_TYPE + "\" Target=\"mdlxFiles/mdlx3.mdlx\"/>");
    ASSERT_TRUE(putPart(path, "_rels/.rels", legacy));
    TestArchive archive("word");
    ASSERT_TRUE(archive.Open(wide(path), ZIP_OPEN));
    EXPECT_EQ("mdlx3", narrow(archive.AddFileToPresentationRels(wide("mdlx3.mdlx"))));
    EXPECT_EQ("mdlx4", narrow(archive.AddFileToPresentationRels(wide("mdlx4.MDL"))));
    EXPECT_EQ("", narrow(archive.AddFileToPresentationRels(wide("notes.txt"))));
    EXPECT_EQ("rId6", narrow(archive.AddFileToPresentationRels(wide("slide9.xml"))));
    EXPECT_EQ("rId6", narrow(archive.AddFileToPresentationRels(wide("slide9.xml"))));
    EXPECT_EQ("word/mdlxFiles/mdlx4.MDL", narrow(archive.GetTargetOfId(wide("_rels\\.rels"), wide("mdlx4"))));
    archive.Close();
}

TEST_F(OpenXmlPluginTest, OldControlsAreConverted) {
    const std::string path = copyOf(builtPackage("document.docx"), "old.docx");
    ASSERT_TRUE(putPart(path, "word/activeX/activeX1.xml",
                        control("<ax:ocxPr ax:name=\"_cx\" ax:value=\"100\"/><ax:ocxPr ax:name=\"_cy\" ax:value=\"50\"/>"
                                "<ax:ocxPr ax:name=\"TOOLBAR\" ax:value=\"ON\"/>"
                                "<ax:ocxPr ax:name=\"FileURL\" ax:value=\"Embedded[mdlx1]\"/>")));
    std::string main = readPart(path, "word/_rels/document.xml.rels");
    main.insert(main.find("</Relationships>"),
                std::string("<Relationship Id=\"mdlx1\" Type=\"") + PLUGIN_TYPE + "\" Target=\"mdlxFiles/mdlx1.mdlx\"/>");
    ASSERT_TRUE(putPart(path, "word/_rels/document.xml.rels", main));
    ASSERT_TRUE(putPart(path, "word/mdlxFiles/mdlx1.mdlx", "model"));
    std::string types = readPart(path, "[Content_Types].xml");
    types.insert(types.find("</Types>"), "<Default Extension=\"mdlx\" ContentType=\"application/octet-stream\"/>");
    ASSERT_TRUE(putPart(path, "[Content_Types].xml", types));
    TestArchive archive("word");
    ASSERT_TRUE(archive.Open(wide(path), ZIP_OPEN));
    archive.ConvertFromOldPlugin();
    ASSERT_TRUE(archive.Close());
    EXPECT_GOLDEN("openxml/plugin-converted.xml", readPart(path, "word/activeX/activeX1.xml"));
    EXPECT_EQ(std::string::npos, readPart(path, "word/_rels/document.xml.rels").find(PLUGIN_TYPE));
    EXPECT_NE(std::string::npos, readPart(path, "_rels/.rels").find("Target=\"word/mdlxFiles/mdlx1.mdlx\""));
    EXPECT_OOXML_VALID(path);
}

TEST_F(OpenXmlPluginTest, BrokenControlsFailCleanly) {
    const struct { const char* name; const char* part; std::string bytes; } cases[] = {
        {"noproperties", "ppt/activeX/activeX1.xml", control("")},
        {"outside", "ppt/slides/_rels/slide1.xml.rels",
         relationships("<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
                       "relationships/slideLayout\" Target=\"../slideLayouts/slideLayout1.xml\"/>"
                       "<Relationship Id=\"rId5\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
                       "relationships/control\" Target=\"../../../activeX1.xml\"/>")},
    };
    for (const auto& c : cases) {
        const std::string path = copyOf(builtPackage("presentation.pptx"), std::string(c.name) + ".pptx");
        ASSERT_TRUE(putPart(path, c.part, c.bytes));
        const std::vector<std::string> before = entries(path);
        const std::string rels = readPart(path, "ppt/slides/_rels/slide1.xml.rels");
        recorder->clear();
        TestArchive archive("ppt");
        ASSERT_TRUE(archive.Open(wide(path), ZIP_OPEN));
        EXPECT_FALSE(archive.AddActiveXPluginFile(wide(CONTROL_RELS), wide("a.mdlx"), wide("rId5"), wide("rId9")));
        EXPECT_EQ(1u, errors().size()) << c.name;
        ASSERT_TRUE(archive.Close());
        EXPECT_EQ(before, entries(path)) << c.name;
        EXPECT_EQ(rels, readPart(path, "ppt/slides/_rels/slide1.xml.rels")) << c.name;
    }
    MkXmlDocument part;
    ASSERT_TRUE(part.ParseText(control("").c_str()));
    TestArchive archive("ppt");
    EXPECT_FALSE(archive.SetMdlxPathForPlugin(&part, wide("a.mdlx")));  // added, reported
    EXPECT_TRUE(archive.SetMdlxPathForPlugin(&part, wide("b.mdlx")));
    EXPECT_FALSE(archive.SetMdlxPathForPlugin(nullptr, wide("b.mdlx")));
}

} // namespace
