// Hostile XML: the nesting limit holds for whatever TinyXML would parse, and
// text ending inside a UTF-8 sequence or an entity is parsed within its buffer.
#include "impl/storage/XmlDocument.h"
#include "support/TestSupport.h"
#include <cstring>
#include <random>
#include <string>
#include <tinyxml.h>
#include <vector>

using namespace kiv::rep;  // the layers' classes

namespace {

std::string repeat(const std::string& part, int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += part;
    return s;
}

// The deepest element nesting of a parsed tree, walked without recursion.
int treeDepth(const TiXmlNode* root) {
    int deepest = 0;
    std::vector<std::pair<const TiXmlNode*, int>> stack{{root, 0}};
    while (!stack.empty()) {
        const auto [node, depth] = stack.back();
        stack.pop_back();
        for (const TiXmlNode* child = node->FirstChild(); child; child = child->NextSibling()) {
            const int d = child->ToElement() ? depth + 1 : depth;
            if (d > deepest) deepest = d;
            stack.push_back({child, d});
        }
    }
    return deepest;
}

// TinyXML's own parse (padded, as the document class gives it), kept shallow by the inputs.
int tinyXmlDepth(const std::string& text) {
    std::string padded = text + std::string(16, '\0');
    TiXmlDocument doc;
    doc.Parse(padded.c_str(), nullptr, TIXML_DEFAULT_ENCODING);
    return treeDepth(&doc);
}

// The parts hostile texts are made of: markup, quotes, entities cut open,
// UTF-8 lead bytes without their sequence, declarations that switch to UTF-8.
const char* const kPieces[] = {"<a>",    "</a>",   "<a/>",        "<b x=\"",
                               "<b x='", "\"",     "'",           "&#x",
                               "&#",     ";",      "x41;",        "#65;",
                               "\xF0",   "\xE2",   "\xC3",        "\xEF\xBB\xBF",
                               "<!--",   "-->",    "<![CDATA[",   "]]>",
                               "<!",     "<?xml ", "?>",          " encoding=\"UTF-8\"",
                               ">",      "=",      " ",           "\n",
                               "zz",     "&amp;",  "<_",          "< a",
                               "</a >",  "/>",     "<a y=1>",     "<a\xF0\"zz=\">",
                               "&lt;",   "x",      "<a y=1 y=2>", "<b z=\"1\" z=\"2\">"};

std::string randomText(std::mt19937& random) {
    std::string text;
    if (random() % 2) text += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
    const int pieces = 1 + static_cast<int>(random() % 60);
    for (int i = 0; i < pieces; ++i) {
        if (random() % 8 == 0) text += repeat("<a>", static_cast<int>(random() % 40));
        text += kPieces[random() % (sizeof kPieces / sizeof kPieces[0])];
    }
    return text;
}

class XmlHostile : public kivtest::LoggingTest {};

}  // namespace

TEST_F(XmlHostile, DepthCheckReadsTheTextAsTinyXmlDoes) {
    // The walk before parsing must find the very nesting the parser builds, for
    // any text: otherwise some spelling gets deep nesting past it.
    for (bool condense : {true, false}) {
        TiXmlBase::SetCondenseWhiteSpace(condense);
        std::mt19937 random(condense ? 7 : 11);
        for (int i = 0; i < 20000; ++i) {
            const std::string text = randomText(random);
            ASSERT_EQ(XmlDocument::parseNestingDepth(text.data(), text.size()), tinyXmlDepth(text)) << "text: " << text;
        }
    }
}

TEST_F(XmlHostile, DeepNestingBehindAnOddAttributeIsRefused) {
    // An attribute value that TinyXML reads past its closing quote: a character
    // reference whose digits it looks for backwards, or a 4-byte UTF-8 lead byte
    // that swallows the quote.
    const char* const hides[] = {"<r x=\"&#x\"zz x41;=\">", "<r x=\"\xF0\"zz=\">", "<r x=\"&#\"zz #65;=\">"};
    for (const char* hide : hides) {
        for (const char* head : {"", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"}) {
            const std::string text = std::string(head) + hide + repeat("<a>", 50000) + repeat("</a>", 50000) + "</r>";
            // A lone lead byte is one byte, and hides nothing, until a declaration says UTF-8.
            if (*head || !std::strchr(hide, '\xF0')) {
                EXPECT_GT(XmlDocument::parseNestingDepth(text.data(), text.size()), XmlDocument::MAX_PARSE_DEPTH);
            }
            XmlDocument doc;
            EXPECT_FALSE(doc.parseText(text.c_str())) << hide;
            kivtest::TempDir dir;
            ASSERT_TRUE(kivtest::writeFile(dir.file("deep.xml"), text));
            EXPECT_FALSE(doc.LoadFile(dir.file("deep.xml").c_str()));
        }
    }
    // Nesting up to the limit still parses, whatever precedes it.
    const std::string fine = std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?><r x=\"\xF0\x9F\x98\x80&#x41;\">") +
                             repeat("<a>", XmlDocument::MAX_PARSE_DEPTH - 1) + repeat("</a>", XmlDocument::MAX_PARSE_DEPTH - 1) +
                             "</r>";
    XmlDocument doc;
    EXPECT_TRUE(doc.parseText(fine.c_str())) << doc.ErrorDesc();
}

TEST_F(XmlHostile, TextEndingInsideASequenceStaysInItsBuffer) {
    // Each text is copied to an allocation of its exact size, so that the
    // sanitizer catches any read past it; the parser must fail cleanly.
    const std::string head = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><r a=\"";
    for (const char* tail : {"\xF0", "\xF4\x80", "\xE2", "\xC3", "\xEF", "\xEF\xBB", "&#x", "&", "&#x4"}) {
        const std::string text = head + tail;
        std::vector<char> exact(text.begin(), text.end());
        exact.push_back('\0');
        XmlDocument doc;
        EXPECT_FALSE(doc.parseText(exact.data()));
        EXPECT_TRUE(XmlDocument::isWithinParseLimits(exact.data(), text.size()));
        kivtest::TempDir dir;
        ASSERT_TRUE(kivtest::writeFile(dir.file("cut.xml"), text));
        EXPECT_FALSE(doc.LoadFile(dir.file("cut.xml").c_str()));
    }
    // Line ends are normalised on load as TinyXML's own file reading does.
    kivtest::TempDir dir;
    ASSERT_TRUE(kivtest::writeFile(dir.file("crlf.xml"), "<r>a\r\nb\rc</r>"));
    TiXmlBase::SetCondenseWhiteSpace(false);
    XmlDocument doc;
    ASSERT_TRUE(doc.LoadFile(dir.file("crlf.xml").c_str()));
    EXPECT_EQ(doc.getRootElement().getValue(), "a\nb\nc");
}
