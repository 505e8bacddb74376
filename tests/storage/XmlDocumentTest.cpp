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
        EXPECT_TRUE(doc.ParseText(text)) << doc.ErrorDesc();
        root = doc.GetRootElement();
    }
};

}  // namespace

TEST(XmlAttributes, IntsStringsAndFoundFlags) {
    XmlDocument doc;
    XmlElement e = doc.CreateRootElement("r");
    e.AddAttributeInt("i", -17);
    e.Tx()->SetAttribute("notint", "x12");
    e.Tx()->SetAttribute("blank", " ");
    bool found = false;
    EXPECT_EQ(e.GetAttributeInt("i", 0, &found), -17);
    EXPECT_TRUE(found);
    EXPECT_EQ(e.GetAttributeInt("notint", 99, &found), 99);
    EXPECT_FALSE(found);
    EXPECT_EQ(e.GetAttributeString("blank", "dflt", &found), "dflt");
    EXPECT_FALSE(found);

    // Text goes through escaping and comes back equal; bytes that are not
    // UTF-8 are read as U+FFFD.
    const std::string text("Gr\u00fc\u00dfe \u4e2d <&>\n");
    XmlElement t = e.AddChildElement("t");
    t.AddAttributeString("s", text);
    t.SetValue(text);
    t.SetValue(text);  // replaces the text, adds no second one
    XmlDocument again;
    ASSERT_TRUE(again.ParseText(doc.PrintToString().c_str()));
    XmlElement back = again.GetRootElement().GetFirstChildElement("t");
    EXPECT_EQ(back.GetAttributeString("s"), text);
    EXPECT_EQ(back.GetValue(), text);
    ASSERT_TRUE(again.ParseText("<t s=\"a\xff\">\xc3</t>"));
    EXPECT_EQ(again.GetRootElement().GetAttributeString("s"), "a\xef\xbf\xbd");
    EXPECT_EQ(again.GetRootElement().GetValue(), "\xef\xbf\xbd");
}

// Extents are read as doubles; "Undefined" stands for the largest one.
TEST(XmlAttributes, DoubleSpellings) {
    Parsed p("<r dmax=\"Undefined\" d=\"-2.25\" n=\"x12\" b=\"  \"/>");
    bool found = false;
    EXPECT_EQ(p.root.GetAttributeDouble("dmax"), DBL_MAX);
    EXPECT_DOUBLE_EQ(p.root.GetAttributeDouble("d"), -2.25);
    EXPECT_DOUBLE_EQ(p.root.GetAttributeDouble("n", 4.0, &found), 4.0);  // no leading number
    EXPECT_TRUE(found);
    EXPECT_DOUBLE_EQ(p.root.GetAttributeDouble("b", 3.0, &found), 3.0);
    EXPECT_FALSE(found);
}

TEST(XmlArrays, StringArrayRoundTripIgnoresItemNames) {
    XmlDocument doc;
    XmlElement e = doc.CreateRootElement("r");
    const std::vector<std::string> names{"DATABASE_NAME", "", "\u00e9t\u00e9"};
    ASSERT_TRUE(e.AddChildStringArray("MacroTableNames", names));
    EXPECT_TRUE(e.GetFirstChildFromPath("MacroTableNames/Value2"));
    e.AddChildStringArray("Empty", {});  // the container is written even when empty

    XmlDocument reread;
    ASSERT_TRUE(reread.ParseText(doc.PrintToString().c_str()));
    std::vector<std::string> back{"stale"};
    ASSERT_TRUE(reread.GetRootElement().GetChildStringArray("MacroTableNames", &back));
    EXPECT_EQ(back, names);
    EXPECT_TRUE(reread.GetRootElement().GetChildStringArray("Empty", &back));
    EXPECT_EQ(back.size(), 0u);

    Parsed odd("<r><L><x>one</x><Value7>two</Value7><y/></L></r>");
    ASSERT_TRUE(odd.root.GetChildStringArray("L", &back));
    ASSERT_EQ(back.size(), 3u);
    EXPECT_EQ(back[1], "two");
    ASSERT_TRUE(odd.root.GetChildStringArray("L", &back, 2));
    EXPECT_EQ(back.size(), 2u);
    EXPECT_FALSE(odd.root.GetChildStringArray("Missing", &back));
    EXPECT_EQ(back.size(), 0u);
}

TEST(XmlNavigation, PathsAndNullHandles) {
    Parsed p("<p:sld><p:cSld><p:spTree><p:sp/></p:spTree></p:cSld></p:sld>");
    XmlElement tree = p.root.GetFirstChildFromPath("p:cSld/p:spTree");
    ASSERT_TRUE(tree);
    EXPECT_EQ(tree.GetName(), "p:spTree");
    EXPECT_TRUE(p.root.GetFirstChildFromPath("") == p.root);
    EXPECT_TRUE(p.root.GetFirstChildFromPath("p:cSld/") == p.root.GetFirstChildElement());
    EXPECT_FALSE(p.root.GetFirstChildFromPath("p:cSld/p:other"));
    Parsed noCsld("<p:sld><p:spTree/></p:sld>");
    EXPECT_FALSE(noCsld.root.GetFirstChildFromPath("p:cSld/p:spTree"));

    // Chains over missing elements stay safe and answer null or the default.
    XmlElement none = p.root.GetFirstChildElement("nothing");
    EXPECT_FALSE(none);
    EXPECT_FALSE(none.GetFirstChildFromPath("a/b"));
    EXPECT_FALSE(none->GetNextSiblingElement("x").GetFirstChildElement());
    EXPECT_FALSE(none.AddChildElement("x"));
    EXPECT_EQ(none.GetAttributeInt("x", 42), 42);
    EXPECT_TRUE(none.GetValue().empty());
    std::vector<std::string> arr;
    EXPECT_FALSE(none.GetChildStringArray("x", &arr));
}

TEST(XmlDocument, RootDeclarationFilesAndLimits) {
    kivtest::TempDir dir;
    XmlDocument doc(true);
    XmlElement root = doc.CreateRootElement("OrviaRepository", 3, "urn:x");
    root.AddChildElement("Child", "v");
    EXPECT_TRUE(doc.GetRootElement("") == root);
    EXPECT_TRUE(doc.GetRootElement("OrviaRepository") == root);
    EXPECT_FALSE(doc.GetRootElement("Other"));
    EXPECT_EQ(doc.PrintToString(),
              "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\" ?>\n"
              "<OrviaRepository xmlns=\"urn:x\" ID=\"3\">\n"
              "    <Child>v</Child>\n"
              "</OrviaRepository>\n");
    const std::string path = dir.file("doc.xml");
    ASSERT_TRUE(kivtest::writeFile(path, doc.PrintToString()));
    XmlDocument loaded;
    ASSERT_TRUE(loaded.LoadFile(path.c_str()));
    EXPECT_EQ(loaded.GetRootElement().GetFirstChildElement("Child").GetValue(), "v");
    EXPECT_FALSE(loaded.LoadFile(dir.file("missing.xml").c_str()));

    // Deep nesting is refused (StorageHostileTest); self-closing tags, comments,
    // CDATA and a quoted ">" open no level.
    XmlDocument deep;
    std::string flat = "<r>";
    for (int i = 0; i < 2000; ++i) flat += "<e a=\"x>y\"/><!-- <c> --><![CDATA[<d>]]>";
    EXPECT_TRUE(deep.ParseText((flat + "</r>").c_str())) << deep.ErrorDesc();
    // One level past the limit is refused, and no tree of the text before is left.
    std::string nested;
    for (int i = 0; i <= XmlDocument::MAX_PARSE_DEPTH; ++i) nested = "<a>" + nested + "</a>";
    EXPECT_FALSE(deep.ParseText(nested.c_str()));
    EXPECT_FALSE(deep.GetRootElement());
    std::string manyAttributes = "<r";
    for (int i = 0; i <= XmlDocument::MAX_ATTRIBUTES_PER_ELEMENT; ++i) manyAttributes += " a" + std::to_string(i) + "=\"\"";
    EXPECT_FALSE(deep.ParseText((manyAttributes + "/>").c_str()));
    EXPECT_FALSE(deep.ParseText(""));

    // Raw texts (comments, CDATA, content kept as text) print without the characters XML forbids.
    TiXmlComment note;
    note.SetValue("a\x01" + std::string(20, 'b') + "\x0B\tc\r\n" + std::string(9, '\xC3') + "\x1F");
    EXPECT_EQ("<!--a" + std::string(20, 'b') + "\tc\r\n" + std::string(9, '\xC3') + "-->", XmlDocument::PrintNode(note));
}
