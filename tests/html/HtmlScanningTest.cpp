// The text-search helpers of the HTML processor: elements, names, attributes, sizes.
#include "HtmlTestSupport.h"
#include <climits>

using namespace htmltest;

namespace {
class HtmlScanning : public kivtest::LoggingTest {
protected:
    kiv::rep::Problems problems{kiv::rep::logProblem};  // reaches the log the test reads
};
}  // namespace

TEST_F(HtmlScanning, ElementsArePrefixMatchedCaseSensitiveAndEndAtTheFirstClosingTag) {
    int start = 0, end = 0;
    const MkString text = mk("ab<orvrepsit name=\"SIT1_TITLE\">x</orvrepsit>cd");
    EXPECT_EQ(narrow(HtmlDocument::getEntireElement(text, L"orvrepsit", 0, &start, &end)),
              "<orvrepsit name=\"SIT1_TITLE\">x</orvrepsit>");
    EXPECT_EQ(start, 2);
    EXPECT_EQ(end, text.Length() - 2);
    EXPECT_TRUE(HtmlDocument::getEntireElement(text, L"orvrepsit", 3, &start, &end).IsEmpty());
    EXPECT_EQ(start, -1);
    HtmlDocument::getEntireElement(mk("<ORVREPSIT name=\"SIT1_TITLE\">x</orvrepsit>"), L"orvrepsit", 0, &start, &end);
    EXPECT_EQ(start, -1);
    EXPECT_EQ(narrow(HtmlDocument::getEntireElement(mk("<orvrepsitX a>x</orvrepsit>"), L"orvrepsit", 0, &start, &end)),
              "<orvrepsitX a>x</orvrepsit>");
    EXPECT_EQ(narrow(HtmlDocument::getEntireElement(mk("<g><g>a</g>b</g>"), L"g", 0, &start, &end)), "<g><g>a</g>");
    EXPECT_TRUE(recorder->events.empty());

    // Content: its first and last index, one before the first when empty.
    EXPECT_EQ(narrow(HtmlDocument::getElementContent(mk("<p><g a=\"1\">xyz</g>"), L"g", 0, &start, &end, &problems)), "xyz");
    EXPECT_EQ(start, 12);
    EXPECT_EQ(end, 14);
    HtmlDocument::getElementContent(mk("<g></g>"), L"g", 0, &start, &end, &problems);
    EXPECT_EQ(start, 3);
    EXPECT_EQ(end, 2);
    EXPECT_TRUE(HtmlDocument::getElementContent(mk("<h>x</h>"), L"g", 0, &start, &end, &problems).IsEmpty());
    EXPECT_EQ(start, -1);
    EXPECT_TRUE(recorder->contains("Element not found when trying to read 'g' in string: <h>x</h>"));
    // An opening tag without its ">" must not borrow the closing tag's.
    HtmlDocument::getElementContent(mk("<g name=\"x\"</g>"), L"g", 0, &start, &end, &problems);
    EXPECT_EQ(start, -1);
}

TEST_F(HtmlScanning, TagNamesKindsAndNumbers) {
    EXPECT_EQ(narrow(HtmlDocument::findSitName(mk("<orvrepsit id=\"a\" name=\"SIT2_TEXT\">"))), "SIT2_TEXT");
    EXPECT_TRUE(HtmlDocument::findSitName(mk("<orvrepsit name=SIT1_TITLE>x</orvrepsit>")).IsEmpty());

    struct Name {
        const char* name;
        int kind, number;
    } names[] = {{"SIT12_TITLE", 0, 12},     {"SIT_TEXT", 1, -1},
                 {"REF_SIT3_PICTURE", 2, 3}, {"SIT1_MDLX", 3, 1},
                 {"REF_SIT_TABLE", 4, -1},   {"SIT1_$SIT2", 6, 1},
                 {"SIT1_CHART", -1, 1},      {"SIT1_title", -1, 1},
                 {"sit1_TITLE", -1, -1},     {"TITLE", -1, -1},
                 {"SITX_TITLE", 0, -1},      {"SIT1TITLE", -1, -1},
                 {"SIT0_TEXT", 1, 0},        {"SIT99999999999_TITLE", 0, -1},
                 {"SIT1.5_TITLE", 0, -1},    {"SIT 1_TITLE", 0, -1},
                 {"SITa1_TEXT", 1, -1}};
    for (const Name& n : names) {
        EXPECT_EQ(HtmlDocument::findSitTypeFromName(mk(n.name)), n.kind) << n.name;
        EXPECT_EQ(HtmlDocument::findSituationIndexFromName(mk(n.name)), n.number) << n.name;
    }
    EXPECT_EQ(HtmlDocument::findIntAttribute(mk("width=\"1e40\""), L"width"), INT_MAX);
}

TEST_F(HtmlScanning, ReplaceAttributeTakesOnlyRealDoubleQuotedAttributes) {
    MkString t = mk("<img data-src=\"a\" src = \"old.jpg\" alt=\"x\">");
    EXPECT_TRUE(HtmlDocument::replaceAttribute(t, 0, L"src", L"new.jpg", &problems));
    EXPECT_EQ(narrow(t), "<img data-src=\"a\" src = \"new.jpg\" alt=\"x\">");

    // A size inside a style value is no attribute: the text between the style's
    // closing quote and the next attribute's opening quote must stay untouched.
    t = mk("<img style=\"height:300px\" alt=\"pic\">");
    const std::string before = narrow(t);
    EXPECT_FALSE(HtmlDocument::replaceAttribute(t, 0, L"height", L"150", &problems));
    EXPECT_EQ(narrow(t), before);
    EXPECT_TRUE(recorder->contains("Attribute value not found when trying to replace 'height' in string: " + before));
    EXPECT_FALSE(HtmlDocument::replaceAttribute(t, 0, L"width", L"1", &problems));
    EXPECT_TRUE(recorder->contains("Attribute not found when trying to read 'width' in string: " + before));
    t = mk("<img src=\"a.jpg>");
    EXPECT_FALSE(HtmlDocument::replaceAttribute(t, 0, L"src", L"b", &problems));
    EXPECT_EQ(narrow(t), "<img src=\"a.jpg>");
}

TEST_F(HtmlScanning, StyleSizesAreReplacedInTheirDeclaration) {
    MkString t = mk("<img style=\"width: 400px; height: 400px;\" />");
    EXPECT_TRUE(HtmlDocument::updateSizeAttributesOfTag(t, 100, 200, &problems));
    EXPECT_EQ(narrow(t), "<img style=\"width: 400px; height: 200px;\" />");

    struct Failure {
        const char* text;
        std::string message;
    } failures[] = {
        {"<img width=\"4\">", "'style' not found when trying to set width and height in text: <img width=\"4\">"},
        {"<img style=\"a:1;\">", "width not found when trying to set width and height in text: <img style=\"a:1;\">"},
        {"<img style=\"width:1\">",
         "Ending ; not found for attribute width when trying to set width and height in text: <img style=\"width:1\">"},
        {"<img style=\"width:auto;\">",
         "Number not found for attribute width when trying to set width and height in text: <img style=\"width:auto;\">"},
    };
    for (const Failure& f : failures) {
        MkString text = mk(f.text);
        EXPECT_FALSE(HtmlDocument::replaceAttributeStyleInt(text, 0, L"width", 7, &problems)) << f.text;
        EXPECT_EQ(narrow(text), f.text);
        EXPECT_TRUE(recorder->contains(f.message)) << f.message;
    }
    // No size to read, or no picture shape to fit to: nothing changes.
    MkString empty = mk("<img width=\"4\" height=\"4\" />");
    EXPECT_FALSE(HtmlDocument::updateSizeAttributesOfTag(empty, 0, 0, &problems));
    EXPECT_EQ(narrow(empty), "<img width=\"4\" height=\"4\" />");
    int h = 0, w = 0;
    EXPECT_FALSE(HtmlDocument::getSizeFromTag(mk("<img width=\"640\" />"), h, w));
}
