// XML documents: typed attributes, arrays, complete tags, navigation, limits.
#include "impl/storage/XmlDocument.h"
#include "support/TestSupport.h"
#include <cfloat>
#include <string>

using namespace kiv::rep;  // the layers' classes

namespace {

// A document parsed from text, with its root element.
struct Parsed {
    XmlDocument doc;
    XmlElement root;
    explicit Parsed(const char* text) {
        EXPECT_TRUE(doc.parseText(text)) << doc.ErrorDesc();
        root = doc.getRootElement();
    }
};

}  // namespace

TEST(XmlAttributes, IntsStringsAndFoundFlags) {
    XmlDocument doc;
    XmlElement e = doc.createRootElement("r");
    e.addAttributeInt("i", -17);
    e.tx()->SetAttribute("notint", "x12");
    e.tx()->SetAttribute("blank", " ");
    bool found = false;
    EXPECT_EQ(e.getAttributeInt("i", 0, &found), -17);
    EXPECT_TRUE(found);
    EXPECT_EQ(e.getAttributeInt("notint", 99, &found), 99);
    EXPECT_FALSE(found);
    EXPECT_EQ(e.getAttributeString("blank", "dflt", &found), "dflt");
    EXPECT_FALSE(found);

    // Text goes through escaping and comes back equal; bytes that are not
    // UTF-8 are read as U+FFFD.
    const std::string text("Gr\u00fc\u00dfe \u4e2d <&>\n");
    XmlElement t = e.addChildElement("t");
    t.addAttributeString("s", text);
    t.setValue(text);
    t.setValue(text);  // replaces the text, adds no second one
    XmlDocument again;
    ASSERT_TRUE(again.parseText(doc.printToString().c_str()));
    XmlElement back = again.getRootElement().getFirstChildElement("t");
    EXPECT_EQ(back.getAttributeString("s"), text);
    EXPECT_EQ(back.getValue(), text);
    ASSERT_TRUE(again.parseText("<t s=\"a\xff\">\xc3</t>"));
    EXPECT_EQ(again.getRootElement().getAttributeString("s"), "a\xef\xbf\xbd");
    EXPECT_EQ(again.getRootElement().getValue(), "\xef\xbf\xbd");
}

// Extents are read as doubles; "Undefined" stands for the largest one.
TEST(XmlAttributes, DoubleSpellings) {
    Parsed p("<r dmax=\"Undefined\" d=\"-2.25\" n=\"x12\" b=\"  \"/>");
    bool found = false;
    EXPECT_EQ(p.root.getAttributeDouble("dmax"), DBL_MAX);
    EXPECT_DOUBLE_EQ(p.root.getAttributeDouble("d"), -2.25);
    EXPECT_DOUBLE_EQ(p.root.getAttributeDouble("n", 4.0, &found), 4.0);  // no leading number
    EXPECT_TRUE(found);
    EXPECT_DOUBLE_EQ(p.root.getAttributeDouble("b", 3.0, &found), 3.0);
    EXPECT_FALSE(found);
}

TEST(XmlArrays, StringArrayRoundTripIgnoresItemNames) {
    XmlDocument doc;
    XmlElement e = doc.createRootElement("r");
    const std::vector<std::string> names{"DATABASE_NAME", "", "\u00e9t\u00e9"};
    ASSERT_TRUE(e.addChildStringArray("MacroTableNames", names));
    EXPECT_TRUE(e.getFirstChildFromPath("MacroTableNames/Value2"));
    e.addChildStringArray("Empty", {});  // the container is written even when empty

    XmlDocument reread;
    ASSERT_TRUE(reread.parseText(doc.printToString().c_str()));
    std::vector<std::string> back{"stale"};
    ASSERT_TRUE(reread.getRootElement().getChildStringArray("MacroTableNames", &back));
    EXPECT_EQ(back, names);
    EXPECT_TRUE(reread.getRootElement().getChildStringArray("Empty", &back));
    EXPECT_EQ(back.size(), 0u);

    Parsed odd("<r><L><x>one</x><Value7>two</Value7><y/></L></r>");
    ASSERT_TRUE(odd.root.getChildStringArray("L", &back));
    ASSERT_EQ(back.size(), 3u);
    EXPECT_EQ(back[1], "two");
    ASSERT_TRUE(odd.root.getChildStringArray("L", &back, 2));
    EXPECT_EQ(back.size(), 2u);
    EXPECT_FALSE(odd.root.getChildStringArray("Missing", &back));
    EXPECT_EQ(back.size(), 0u);
}

TEST(XmlNavigation, PathsAndNullHandles) {
    Parsed p("<p:sld><p:cSld><p:spTree><p:sp/></p:spTree></p:cSld></p:sld>");
    XmlElement tree = p.root.getFirstChildFromPath("p:cSld/p:spTree");
    ASSERT_TRUE(tree);
    EXPECT_EQ(tree.getName(), "p:spTree");
    EXPECT_TRUE(p.root.getFirstChildFromPath("") == p.root);
    EXPECT_TRUE(p.root.getFirstChildFromPath("p:cSld/") == p.root.getFirstChildElement());
    EXPECT_FALSE(p.root.getFirstChildFromPath("p:cSld/p:other"));
    Parsed noCsld("<p:sld><p:spTree/></p:sld>");
    EXPECT_FALSE(noCsld.root.getFirstChildFromPath("p:cSld/p:spTree"));

    // Chains over missing elements stay safe and answer null or the default.
    XmlElement none = p.root.getFirstChildElement("nothing");
    EXPECT_FALSE(none);
    EXPECT_FALSE(none.getFirstChildFromPath("a/b"));
    EXPECT_FALSE(none->getNextSiblingElement("x").getFirstChildElement());
    EXPECT_FALSE(none.addChildElement("x"));
    EXPECT_EQ(none.getAttributeInt("x", 42), 42);
    EXPECT_TRUE(none.getValue().empty());
    std::vector<std::string> arr;
    EXPECT_FALSE(none.getChildStringArray("x", &arr));
}

TEST(XmlDocument, RootDeclarationFilesAndLimits) {
    kivtest::TempDir dir;
    XmlDocument doc(true);
    XmlElement root = doc.createRootElement("OrviaRepository", 3, "urn:x");
    root.addChildElement("Child", "v");
    EXPECT_TRUE(doc.getRootElement("") == root);
    EXPECT_TRUE(doc.getRootElement("OrviaRepository") == root);
    EXPECT_FALSE(doc.getRootElement("Other"));
    EXPECT_EQ(doc.printToString(),
              "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\" ?>\n"
              "<OrviaRepository xmlns=\"urn:x\" ID=\"3\">\n"
              "    <Child>v</Child>\n"
              "</OrviaRepository>\n");
    const std::string path = dir.file("doc.xml");
    ASSERT_TRUE(kivtest::writeFile(path, doc.printToString()));
    XmlDocument loaded;
    ASSERT_TRUE(loaded.LoadFile(path.c_str()));
    EXPECT_EQ(loaded.getRootElement().getFirstChildElement("Child").getValue(), "v");
    EXPECT_FALSE(loaded.LoadFile(dir.file("missing.xml").c_str()));

    // Deep nesting is refused (StorageHostileTest); self-closing tags, comments,
    // CDATA and a quoted ">" open no level.
    XmlDocument deep;
    std::string flat = "<r>";
    for (int i = 0; i < 2000; ++i) flat += "<e a=\"x>y\"/><!-- <c> --><![CDATA[<d>]]>";
    EXPECT_TRUE(deep.parseText((flat + "</r>").c_str())) << deep.ErrorDesc();
    // One level past the limit is refused, and no tree of the text before is left.
    std::string nested;
    for (int i = 0; i <= XmlDocument::MAX_PARSE_DEPTH; ++i) nested = "<a>" + nested + "</a>";
    EXPECT_FALSE(deep.parseText(nested.c_str()));
    EXPECT_FALSE(deep.getRootElement());
    std::string manyAttributes = "<r";
    for (int i = 0; i <= XmlDocument::MAX_ATTRIBUTES_PER_ELEMENT; ++i) manyAttributes += " a" + std::to_string(i) + "=\"\"";
    EXPECT_FALSE(deep.parseText((manyAttributes + "/>").c_str()));
    EXPECT_FALSE(deep.parseText(""));

    // Raw texts (comments, CDATA, content kept as text) print without the characters XML forbids.
    TiXmlComment note;
    note.SetValue("a\x01" + std::string(20, 'b') + "\x0B\tc\r\n" + std::string(9, '\xC3') + "\x1F");
    EXPECT_EQ("<!--a" + std::string(20, 'b') + "\tc\r\n" + std::string(9, '\xC3') + "-->", XmlDocument::printNode(note));
}
