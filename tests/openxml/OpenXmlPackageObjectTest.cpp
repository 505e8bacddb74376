// The package object: parts and relationships held in memory, saved by
// reachability; relationship targets, and the names the editor gives media.
#include "host/ug/ZipArchive.h"
#include "impl/openxml/OpenXMLPackage.h"
#include "impl/openxml/OpenXMLPaths.h"
#include "openxml/OpenXmlTestSupport.h"
#include "support/OoxmlCheck.h"
#include <algorithm>
#include <glob.h>
#include <set>

using namespace kiv::rep;  // the layers' classes

using namespace kivtest;

namespace {

const char* const REL = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";
std::string rel(const char* kind) { return wide(std::string(REL) + kind); }

using OpenXmlPackageObjectTest = OpenXmlTest;

bool says(const OpenXMLPackage& package, const char* text) { return narrow(package.error()).find(text) != std::string::npos; }

std::vector<std::string> sortedEntries(const std::string& package) {
    std::vector<std::string> names = entries(package);
    std::sort(names.begin(), names.end());
    return names;
}

// A picture naming relationship `id`, put last into the shape tree of a slide-like part.
void addPicture(OpenXMLPart* part, const std::string& id) {
    const std::string pic =
        "<p:pic><p:nvPicPr><p:cNvPr id=\"99\" name=\"Logo\"/><p:cNvPicPr/><p:nvPr/></p:nvPicPr>"
        "<p:blipFill><a:blip r:embed=\"" +
        narrow(id) +
        "\"/><a:stretch><a:fillRect/></a:stretch>"
        "</p:blipFill><p:spPr/></p:pic>";
    TiXmlDocument snippet;
    snippet.Parse(pic.c_str());
    XmlElement tree = part->editXml()->getRootElement().getFirstChildFromPath("p:cSld/p:spTree");
    ASSERT_TRUE(tree) << narrow(part->name());
    tree.tx()->InsertEndChild(*snippet.RootElement());
}

// Opened and saved without an edit, every Office-saved package keeps every
// entry (each once) with its bytes; the content types are made anew, equal.
TEST_F(OpenXmlPackageObjectTest, UntouchedPackagesSaveAsStored) {
    glob_t found;
    ASSERT_EQ(0, glob(ooxmlCheckSample("*.[pdx][pol][ctc]x").c_str(), 0, nullptr, &found));
    ASSERT_EQ(0, glob(officeTemplate("*.[pd][po][ct]x").c_str(), GLOB_APPEND, nullptr, &found));
    ASSERT_EQ(0, glob(officeTemplate("src/*.[pd][po][ct]x").c_str(), GLOB_APPEND, nullptr, &found));
    const std::vector<std::string> files(found.gl_pathv, found.gl_pathv + found.gl_pathc);
    globfree(&found);
    ASSERT_GE(files.size(), 30u);
    std::vector<std::string> written;
    for (const std::string& file : files) {
        OpenXMLPackage package;
        ASSERT_TRUE(package.open(wide(file))) << narrow(package.error());
        written.push_back(dir.file(std::to_string(written.size()) + file.substr(file.rfind('.'))));
        ASSERT_TRUE(package.save(wide(written.back()))) << file << ": " << narrow(package.error());
        const std::vector<std::string> before = sortedEntries(file), after = entries(written.back());
        EXPECT_EQ(before, sortedEntries(written.back())) << file;
        EXPECT_EQ("[Content_Types].xml", after.front()) << file;
        for (const std::string& e : after)
            EXPECT_TRUE(e == "[Content_Types].xml" || readPart(file, e) == readPart(written.back(), e)) << file << " " << e;
        XmlDocument was, is;
        ASSERT_TRUE(was.parseText(readPart(file, "[Content_Types].xml").c_str()));
        ASSERT_TRUE(is.parseText(readPart(written.back(), "[Content_Types].xml").c_str()));
        EXPECT_EQ(was.printToString(), is.printToString()) << file;
        EXPECT_TRUE(package.getProblems().empty()) << file;
    }
    EXPECT_TRUE(passesOoxmlCheck(written));
}

// A template with a WMF logo on its master, layout and notes page, and a
// picture on a slide; a report removes slide 2, adds a copy of slide 1, and
// takes the picture off both. What is reached is written, each part once.
TEST_F(OpenXmlPackageObjectTest, ReachabilityDecidesWhatIsWritten) {
    const std::string tmpl = dir.file("template.pptx"), out = dir.file("report.pptx");
    {
        OpenXMLPackage package;
        ASSERT_TRUE(package.open(wide(ooxmlCheckSample("sld-notes.pptx"))));
        static const char wmf[] = "wmf";  // the caller's bytes, not copied
        package.addPart(wide("ppt/media/logo.wmf"), wide("image/x-wmf"))->setBytesView(wmf, 3);
        package.addPart(wide("ppt/media/photo.png"), wide("image/png"))->setBytes("png");
        const struct {
            const char* part;
            const char* media;
        } uses[] = {{"ppt/slideMasters/slideMaster1.xml", "ppt/media/logo.wmf"},
                    {"ppt/slideLayouts/slideLayout1.xml", "ppt/media/logo.wmf"},
                    {"ppt/notesSlides/notesSlide1.xml", "ppt/media/logo.wmf"},
                    {"ppt/slides/slide1.xml", "ppt/media/photo.png"}};
        for (const auto& u : uses) {
            OpenXMLPart* part = package.part(wide(u.part));
            addPicture(part, part->rels()->relate(rel("image"), wide(u.media)));
        }
        ASSERT_TRUE(package.save(wide(tmpl))) << narrow(package.error());
    }
    OpenXMLPackage package;
    ASSERT_TRUE(package.open(wide(tmpl)));
    OpenXMLPart* slide = package.part(wide("/PPT/Slides/Slide1.xml"));
    OpenXMLPart* presentation = package.part(wide("ppt\\presentation.xml"));
    ASSERT_TRUE(slide && presentation);
    EXPECT_EQ("ppt/slides/slide3.xml", narrow(package.nextPartName(slide->name())));
    OpenXMLPart* copy = package.copyPart(slide, package.nextPartName(slide->name()));
    ASSERT_TRUE(copy);
    EXPECT_EQ(package.part(wide("ppt/media/photo.png")), copy->related(wide("rId3")));
    EXPECT_TRUE(copy->rels()->drop(wide("rId2")));  // the copy has no notes
    OpenXMLRelationships& presentationRels = *presentation->rels();
    ASSERT_TRUE(presentationRels.drop(wide("rId3")));
    EXPECT_EQ("rId10", narrow(presentationRels.relate(rel("slide"), copy->name())));
    EXPECT_EQ("rId10", narrow(presentationRels.relate(rel("slide"), wide("ppt/slides/slide3.xml"))));
    const XmlElement list = presentation->editXml()->getRootElement().getFirstChildElement("p:sldIdLst");
    list.removeChildElement(list.getFirstChildElement().getNextSiblingElement());
    const XmlElement id = list.addChildElement("p:sldId");
    id.addAttributeInt("id", 258);
    id.addAttributeString("r:id", wide("rId10"));
    for (OpenXMLPart* part : {slide, copy}) {
        XmlElement tree = part->editXml()->getRootElement().getFirstChildFromPath("p:cSld/p:spTree");
        ASSERT_TRUE(tree.removeChildElement(tree.getFirstChildElement("p:pic")));
    }
    copy->releaseXml();  // its text is read for the ids it names
    ASSERT_TRUE(package.save(wide(out))) << narrow(package.error());

    const std::vector<std::string> before = entries(tmpl);
    std::set<std::string> expected(before.begin(), before.end());
    for (const char* gone : {"ppt/slides/slide2.xml", "ppt/slides/_rels/slide2.xml.rels", "ppt/media/photo.png"})
        EXPECT_EQ(1u, expected.erase(gone)) << gone;
    expected.insert({"ppt/slides/slide3.xml", "ppt/slides/_rels/slide3.xml.rels"});
    const std::vector<std::string> written = entries(out);
    EXPECT_EQ(std::vector<std::string>(expected.begin(), expected.end()), sortedEntries(out));
    EXPECT_EQ(written.size(), std::set<std::string>(written.begin(), written.end()).size());
    EXPECT_EQ("wmf", readPart(out, "ppt/media/logo.wmf"));
    EXPECT_EQ(std::string::npos, readPart(out, "ppt/slides/_rels/slide1.xml.rels").find("photo"));
    EXPECT_OOXML_VALID(tmpl, out);
}

// Relationship ids and targets: the next id after the largest, existing ids
// for existing targets, one part for every spelling of its name.
TEST_F(OpenXmlPackageObjectTest, RelationshipsNameOnePartEachWay) {
    // Short lists are searched in place, long ones through indexes.
    for (int padding : {0, 20}) {
        std::string pad;
        for (int i = 0; i < padding; ++i)
            pad += "<Relationship Id=\"p" + std::to_string(i) + "\" Type=\"p\" Target=\"a_b.xml\"/>";
        const std::string path = makePackage(
            "rels.zip",
            {{"[Content_Types].xml", contentTypes("<Default Extension=\"png\" ContentType=\"image/png\"/>")},
             {"_rels/.rels",
              relationships(pad + "<Relationship Id=\"rId7\" Type=\"t\" Target=\"a%5Fb.xml\"/>"
                                  "<Relationship Id=\"x9\" Type=\"t\" Target=\"/CAF%C3%A9.XML\"/>"
                                  "<Relationship Id=\"rId2\" Type=\"t\" Target=\"media/my%20pic.png\"/>"
                                  "<Relationship Id=\"rId3\" Type=\"h\" Target=\"http://x/#y\" TargetMode=\"External\"/>")},
             {"a_b.xml", "<a/>"},
             {"caf\xc3\xa9.xml", "<b/>"},
             {"media/my pic.png", "png"}});
        OpenXMLPackage package;
        ASSERT_TRUE(package.open(wide(path))) << narrow(package.error());
        OpenXMLRelationships& rels = package.rels();
        const struct {
            const char* id;
            const char* part;
        } named[] = {{"rId7", "a_b.xml"}, {"x9", "caf\xc3\xa9.xml"}, {"rId2", "media/my%20pic.png"}, {"rId3", nullptr}};
        for (const auto& n : named)
            EXPECT_EQ(n.part ? package.part(wide(n.part)) : nullptr, package.part(rels.find(wide(n.id)))) << n.id;
        const struct {
            const char* type;
            const char* target;
            bool external;
            const char* id;
            const char* given;
        } adds[] = {{"t", "A_B.xml", false, "rId7", nullptr},  {"t", "a%5fb.xml", false, "rId7", nullptr},
                    {"u", "a_b.xml", false, "rId8", nullptr},  {"h", "http://x/#y", true, "rId3", nullptr},
                    {"t", "a_b.xml", false, "", "x9"},         {"t", "new part.xml", false, "rId20", "rId20"},
                    {"v", "a_b.xml", false, "rId21", nullptr}, {"h", "http://x/#z", true, "rId22", nullptr}};
        for (const auto& a : adds) {
            const std::string id = a.given ? rels.add(wide(a.type), wide(a.target), a.external, wide(a.given))
                                           : rels.relate(wide(a.type), wide(a.target), a.external);
            EXPECT_EQ(a.id, narrow(id)) << a.target;
        }
        EXPECT_EQ("new%20part.xml", narrow(rels.find(wide("rId20"))->target));
        EXPECT_TRUE(rels.drop(wide("rId22")));
        EXPECT_FALSE(rels.drop(wide("rId22")));
        EXPECT_EQ(nullptr, rels.find(wide("h"), wide("http://x/#z"), true));
        EXPECT_TRUE(rels.drop(wide("rId7")));  // those after it move up
        EXPECT_EQ("rId8", narrow(rels.find(wide("u"), wide("a_b.xml"), false)->id));
        EXPECT_EQ("rId23", narrow(rels.relate(wide("t"), wide("a_b.xml"), false)));
        EXPECT_EQ("rId24", narrow(rels.nextId()));
        // In order, without those dropped.
        ASSERT_EQ(padding + 7, rels.count());
        EXPECT_EQ("x9", narrow(rels.at(padding).id));
        EXPECT_EQ("rId23", narrow(rels.at(padding + 6).id));
    }
}

// A changed part keeps the relationships named by id that an attribute of it
// still names, read from its text or from its document.
TEST_F(OpenXmlPackageObjectTest, ChangedPartsKeepWhatTheyStillName) {
    std::string items;
    for (int i = 1; i <= 7; ++i)
        items += "<Relationship Id=\"rId" + std::to_string(i) + "\" Type=\"" + REL + (i < 7 ? "image" : "slideLayout") +
                 "\" Target=\"m.png\"/>";
    const std::string path =
        makePackage("named.zip", {{"[Content_Types].xml", contentTypes("<Default Extension=\"png\" ContentType=\"image/png\"/>")},
                                  {"_rels/.rels", relationships("<Relationship Id=\"rId1\" Type=\"t\" Target=\"a.xml\"/>")},
                                  {"a.xml", "<a/>"},
                                  {"_rels/a.xml.rels", relationships(items)},
                                  {"m.png", "png"}});
    for (bool parsed : {false, true}) {
        OpenXMLPackage package;
        ASSERT_TRUE(package.open(wide(path)));
        OpenXMLPart* part = package.part(wide("a.xml"));
        part->setBytes("<a x='rId1' y = \"rId2\" z=\"&#114;Id3\" w=\"rId4x\" t=\"rId5&amp;\"><!-- rId6 --></a>");
        ASSERT_TRUE(!parsed || part->editXml());
        const std::string out = dir.file(parsed ? "parsed.zip" : "text.zip");
        ASSERT_TRUE(package.save(wide(out))) << narrow(package.error());
        const std::string rels = readPart(out, "_rels/a.xml.rels");
        for (int i = 1; i <= 7; ++i)
            EXPECT_EQ(i <= 3 || i == 7, rels.find("\"rId" + std::to_string(i) + "\"") != std::string::npos) << parsed << i;
    }
}

// Parts print on one line, as Office writes them, unless the template's text of
// the part was indented; a copy prints as its source, a new part on one line.
TEST_F(OpenXmlPackageObjectTest, PartsPrintIndentedOnlyWhereTheTemplateWas) {
    const struct {
        const char* lineBreak;
        const char* indent;
        bool indented;
    } cases[] = {
        {"\r\n", "", false},  // as Office writes: a line break after the declaration only
        {"\n", "    ", true},
        {"\r\n", "\t", true},
        {"\n", "", false},  // line breaks, no indentation
    };
    auto indented = [](const std::string& text) { return text.find("\n ") != text.npos || text.find("\n\t") != text.npos; };
    int n = 0;
    for (const auto& c : cases) {
        const std::string b = c.lineBreak, in = b + c.indent;
        const std::string head = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>" + b;
        const std::string path = makePackage(
            "printed" + std::to_string(++n) + ".zip",
            {{"[Content_Types].xml", head + "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">" +
                                         in + "<Default Extension=\"xml\" ContentType=\"application/xml\"/>" + b + "</Types>"},
             {"_rels/.rels", head + "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">" +
                                 in + "<Relationship Id=\"rId1\" Type=\"t\" Target=\"a.xml\"/>" + b + "</Relationships>"},
             {"a.xml", head + "<a>" + in + "<b/>" + b + "</a>"}});
        OpenXMLPackage package;
        ASSERT_TRUE(package.open(wide(path))) << narrow(package.error());
        OpenXMLPart* a = package.part(wide("a.xml"));
        a->editXml()->RootElement()->SetAttribute("edited", "1");
        std::unique_ptr<XmlDocument> fresh(new XmlDocument(true));
        fresh->createRootElement("n").addChildElement("m");
        package.addPart(wide("n.xml"), wide("application/xml"))->setXml(std::move(fresh));
        package.rels().relate(wide("t"), package.copyPart(a, wide("c.xml"))->name());
        package.rels().relate(wide("t"), wide("n.xml"));
        const std::string out = path + ".out";
        ASSERT_TRUE(package.save(wide(out))) << narrow(package.error());
        for (const char* part : {"a.xml", "c.xml", "_rels/.rels", "[Content_Types].xml"})
            EXPECT_EQ(c.indented, indented(readPart(out, part))) << n << " " << part;
        EXPECT_FALSE(indented(readPart(out, "n.xml")));
        EXPECT_NE(std::string::npos, readPart(out, "c.xml").find("<b />"));
    }
}

TEST_F(OpenXmlPackageObjectTest, RelationshipTargetsResolveInsideThePackage) {
    const struct {
        const char* source;
        const char* target;
        const char* part;
    } cases[] = {
        {"ppt\\slides\\slide1.xml", "../media/image1.png", "ppt/media/image1.png"},
        {"word/document.xml", "media/image1.png", "word/media/image1.png"},
        {"word\\charts\\chart1.xml", "../embeddings/Book%201.xlsx", "word/embeddings/Book 1.xlsx"},
        {"ppt\\slides\\slide1.xml", "../media/image%5F1.png", "ppt/media/image_1.png"},
        {"word/document.xml", "media/caf%C3%A9%25.png", "word/media/caf\xc3\xa9%.png"},
        {"", "word/mdlxFiles/mdlx1.mdlx", "word/mdlxFiles/mdlx1.mdlx"},
        {"ppt\\slides\\slide1.xml", "/ppt/media/image1.png", "ppt/media/image1.png"},
        {"ppt\\slides\\slide1.xml", "./chart.xml#part", "ppt/slides/chart.xml"},
        {"ppt\\slides\\slide1.xml", "../../x", "x"},             // at the package root
        {"ppt\\slides\\slide1.xml", "../../../etc/passwd", ""},  // leaves the package
        {"ppt\\slides\\slide1.xml", "http://example.com/a.png", ""},
        {"ppt\\slides\\slide1.xml", "", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.part, narrow(OpenXMLPaths::resolvePartName(std::string(c.source), std::string(c.target)))) << c.target;
        // The target made for a part names it again.
        const std::string back = OpenXMLPaths::relativeTarget(std::string(c.source), std::string(c.part));
        EXPECT_TRUE(!*c.part || narrow(OpenXMLPaths::resolvePartName(std::string(c.source), back)) == c.part) << narrow(back);
    }
}

// A media name takes the first number no media part holds after "image" (or
// "video"): image12.png holds 1 and 12. A name is stored once per report.
TEST_F(OpenXmlPackageObjectTest, MediaNamesSkipEveryNumberAnEntryContains) {
    using Adds = std::vector<std::pair<const char*, const char*>>;
    const struct {
        std::vector<std::string> existing;
        std::string root;
        Adds adds;
    } cases[] = {
        {{},
         "ppt",
         {{"a.png", "ppt/media/image1.png"},
          {"a.png", "ppt/media/image1.png"},
          {"b.JPG", "ppt/media/image2.jpeg"},
          {"c.gif", ""},
          {"clip.avi", "ppt/media/video1.avi"}}},
        {{"image1.png", "image2.jpeg"}, "word", {{"photo.JPG", "word/media/image3.jpeg"}}},
        {{"image10.png"}, "ppt", {{"a.png", "ppt/media/image2.png"}}},
        {{"image1.png"}, "ppt", {{"clip.avi", "ppt/media/video1.avi"}, {"a.png", "ppt/media/image2.png"}}},
    };
    int n = 0;
    for (const auto& c : cases) {
        PartList parts = mainPartOnly(c.root);
        for (const std::string& e : c.existing) parts.push_back({c.root + "/media/" + e, "x"});
        ASSERT_TRUE(openEditor(makePackage("media" + std::to_string(++n) + ".zip", parts)));
        for (const auto& add : c.adds)
            EXPECT_EQ(add.second, narrow(editor.addMedia(wide(add.first), "bytes", 5))) << n << " " << add.first;
    }
    EXPECT_EQ("", narrow(editor.addMedia(wide("empty.png"), "", 0)));
}

// Next free names of a family, counting parts added since.
TEST_F(OpenXmlPackageObjectTest, NextPartNamesFollowTheLargestNumber) {
    const std::string path = makePackage("names.zip", {{"[Content_Types].xml", contentTypes()},
                                                       {"_rels/.rels", relationships("")},
                                                       {"ppt/slides/slide1.xml", "<s/>"},
                                                       {"ppt/slides/Slide3.xml", "<s/>"},
                                                       {"ppt/slides/slideX.xml", "<s/>"},
                                                       {"ppt/charts/chart2.xml", "<c/>"},
                                                       {"ppt/charts/style12.xml", "<c/>"}});
    OpenXMLPackage package;
    ASSERT_TRUE(package.open(wide(path)));
    const struct {
        const char* name;
        const char* next;
        const char* add;
    } cases[] = {{"ppt/slides/slide1.xml", "ppt/slides/slide4.xml", "ppt/slides/slide9.xml"},
                 {"ppt\\slides\\slide.xml", "ppt/slides/slide10.xml", nullptr},
                 {"ppt/charts/chart1.xml", "ppt/charts/chart3.xml", nullptr},
                 {"ppt/notesSlides/notesSlide1.xml", "ppt/notesSlides/notesSlide1.xml", nullptr},
                 {"ppt/charts/_rels/chart1.xml.rels", "ppt/charts/_rels/chart1.xml.rels", nullptr}};
    for (const auto& c : cases) {
        EXPECT_EQ(c.next, narrow(package.nextPartName(wide(c.name)))) << c.name;
        EXPECT_TRUE(!c.add || package.addPart(wide(c.add), wide("application/xml")));
    }
    EXPECT_FALSE(package.addPart(wide("ppt/slides/SLIDE1.xml"), wide("application/xml")));
    EXPECT_FALSE(package.addPart(wide("ppt/slides/_rels/slide1.xml.rels"), wide("application/xml")));
}

// Hostile packages: refused at open or at save with the reason, the earlier
// file at the target kept; a relationship cycle is written once.
TEST_F(OpenXmlPackageObjectTest, HostilePackagesAreRefusedWithTheReason) {
    const std::string types = contentTypes(), item = "<Relationship Id=\"rId1\" Type=\"t\" Target=\"a.xml\"/>";
    const std::string root = relationships(item), toB = relationships("<Relationship Id=\"rId1\" Type=\"t\" Target=\"b.xml\"/>");
    const struct {
        PartList parts;
        const char* openError;
        const char* saveError;
    } cases[] = {
        {{{"_rels/.rels", root}, {"a.xml", "<a/>"}}, "The package has no [Content_Types].xml", nullptr},
        {{{"[Content_Types].xml", "<Typo/>"}, {"_rels/.rels", root}}, "its root is 'Typo'", nullptr},
        {{{"[Content_Types].xml", types}, {"a.xml", "<a/>"}}, "no package relationships", nullptr},
        {{{"[Content_Types].xml", types}, {"_rels/.rels", root}, {"a.xml", "<a/>"}, {"A.XML", "<a/>"}},
         "'A.XML' is in the package twice",
         nullptr},
        {{{"[Content_Types].xml", types}, {"_rels/.rels", root}, {"a b.xml", "<a/>"}, {"a%20b.xml", "<a/>"}},
         "is in the package twice",
         nullptr},
        {{{"[Content_Types].xml", types}, {"_rels/.rels", relationships(item + item)}},
         "two relationships with the id 'rId1'",
         nullptr},
        {{{"[Content_Types].xml", types},
          {"_rels/.rels", relationships("<Relationship Id=\"rId1\" Type=\"t\" Target=\"../../etc/passwd\"/>")}},
         nullptr,
         "which is outside the package"},
        {{{"[Content_Types].xml", types}, {"_rels/.rels", root}}, nullptr, "names 'a.xml', which is not in the package"},
        {{{"[Content_Types].xml", types},
          {"_rels/.rels", relationships("<Relationship Id=\"rId1\" Type=\"t\" Target=\"b.bin\"/>")},
          {"b.bin", "b"}},
         nullptr,
         "Part 'b.bin' has no content type"},
        {{{"[Content_Types].xml", types}, {"_rels/.rels", root}, {"a.xml", "<a/>"}, {"_rels/a.xml.rels", "<a"}},
         nullptr,
         "'_rels/a.xml.rels' is not well-formed XML"},
        {{{"[Content_Types].xml", types},
          {"_rels/.rels", root},
          {"a.xml", "<a/>"},
          {"_rels/a.xml.rels", toB},
          {"b.xml", "<b/>"},
          {"_rels/b.xml.rels", root}},
         nullptr,
         nullptr},  // a cycle
    };
    int n = 0;
    for (const auto& c : cases) {
        const std::string path = makePackage("hostile" + std::to_string(++n) + ".zip", c.parts), out = path + ".out";
        ASSERT_TRUE(writeFile(out, "earlier"));
        OpenXMLPackage package;
        EXPECT_EQ(!c.openError, package.open(wide(path))) << n;
        EXPECT_TRUE(!c.openError || says(package, c.openError)) << narrow(package.error());
        if (c.openError) continue;
        EXPECT_EQ(!c.saveError, package.save(wide(out))) << n << ": " << narrow(package.error());
        EXPECT_TRUE(!c.saveError || says(package, c.saveError)) << narrow(package.error());
        EXPECT_EQ(c.saveError ? 0u : 6u, c.saveError ? readFile(out).find("earlier") : entries(out).size());
    }
    // Names the zip layer cannot make: a zero byte in an entry name.
    const std::string zeroName = dir.file("zero.zip");
    {
        CZipArchive zip;
        ASSERT_TRUE(zip.Open(zeroName, CZipArchive::zipCreate));
        zip.AddNewFile(types.data(), types.size(), "[Content_Types].xml");
        zip.AddNewFile("<a/>", 4, std::string("a\0.xml", 6));
        zip.Close();
    }
    OpenXMLPackage package;
    EXPECT_FALSE(package.open(wide(zeroName)));
    EXPECT_EQ("Entry 'a\\0.xml' of the package is not a part name", narrow(package.error()));
    EXPECT_EQ(0, package.rels().count());  // nothing is open: nothing to relate or save
    EXPECT_FALSE(package.save(wide(dir.file("none.zip"))));
    // A part in UTF-16 is not read as XML.
    ASSERT_TRUE(package.open(wide(makePackage(
        "utf16.zip", {{"[Content_Types].xml", types}, {"_rels/.rels", root}, {"a.xml", std::string("<\0a\0/\0>\0", 8)}}))));
    EXPECT_FALSE(package.part(wide("a.xml"))->xml());
    EXPECT_EQ("Part 'a.xml' holds a zero byte: it is not XML in UTF-8", narrow(package.error()));
    std::string deep;
    for (int i = 0; i < 600; ++i) deep += "<a>";
    package.part(wide("a.xml"))->setBytes(deep);
    EXPECT_FALSE(package.part(wide("a.xml"))->xml());
    EXPECT_EQ("Part 'a.xml' nests its elements too deeply or gives one too many attributes", narrow(package.error()));
    EXPECT_TRUE(package.getProblems().empty());
}

// [Content_Types].xml is charged to the budget before it is inflated, for as
// long as it is held, and given back when the package has read it.
TEST_F(OpenXmlPackageObjectTest, ContentTypesAreChargedBeforeTheyAreRead) {
    const uint64_t mb = 1 << 20;
    const std::string path = makePackage(
        "spaces.zip", {{"[Content_Types].xml", contentTypes(std::string(mb, ' '))}, {"_rels/.rels", relationships("")}});
    OpenXMLPackage package;
    const std::shared_ptr<XmlMemoryBudget>& budget = package.xmlBudget();
    ASSERT_TRUE(budget->spend(budget->left() - mb));  // less left than the part inflates to
    EXPECT_FALSE(package.open(wide(path)));
    EXPECT_EQ("The part '[Content_Types].xml' inflates to 1048870 bytes, more than the report has left to read",
              narrow(package.error()));
    budget->refund(4 * mb);
    EXPECT_TRUE(package.open(wide(path))) << narrow(package.error());
    EXPECT_EQ(5 * mb, budget->left());
    EXPECT_TRUE(package.getProblems().empty());
}

}  // namespace
