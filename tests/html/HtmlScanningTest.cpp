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
    size_t start = 0, end = 0;
    const std::string text = "ab<orvrepsit name=\"SIT1_TITLE\">x</orvrepsit>cd";
    EXPECT_EQ(HtmlDocument::getEntireElement(text, "orvrepsit", 0, &start, &end), "<orvrepsit name=\"SIT1_TITLE\">x</orvrepsit>");
    EXPECT_EQ(start, 2u);
    EXPECT_EQ(end, text.size() - 2);
    EXPECT_TRUE(HtmlDocument::getEntireElement(text, "orvrepsit", 3, &start, &end).empty());
    EXPECT_EQ(start, HtmlDocument::npos);
    HtmlDocument::getEntireElement("<ORVREPSIT name=\"SIT1_TITLE\">x</orvrepsit>", "orvrepsit", 0, &start, &end);
    EXPECT_EQ(start, HtmlDocument::npos);
    EXPECT_EQ(HtmlDocument::getEntireElement("<orvrepsitX a>x</orvrepsit>", "orvrepsit", 0, &start, &end),
              "<orvrepsitX a>x</orvrepsit>");
    EXPECT_EQ(HtmlDocument::getEntireElement("<g><g>a</g>b</g>", "g", 0, &start, &end), "<g><g>a</g>");
    EXPECT_TRUE(recorder->events.empty());

    // Content: its first and last index, one before the first when empty.
    EXPECT_EQ(HtmlDocument::getElementContent("<p><g a=\"1\">xyz</g>", "g", 0, &start, &end, &problems), "xyz");
    EXPECT_EQ(start, 12u);
    EXPECT_EQ(end, 14u);
    HtmlDocument::getElementContent("<g></g>", "g", 0, &start, &end, &problems);
    EXPECT_EQ(start, 3u);
    EXPECT_EQ(end, 2u);
    EXPECT_TRUE(HtmlDocument::getElementContent("<h>x</h>", "g", 0, &start, &end, &problems).empty());
    EXPECT_EQ(start, HtmlDocument::npos);
    EXPECT_TRUE(recorder->contains("Element not found when trying to read 'g' in string: <h>x</h>"));
    // An opening tag without its ">" must not borrow the closing tag's.
    HtmlDocument::getElementContent("<g name=\"x\"</g>", "g", 0, &start, &end, &problems);
    EXPECT_EQ(start, HtmlDocument::npos);
}

TEST_F(HtmlScanning, TagNamesKindsAndNumbers) {
    EXPECT_EQ(HtmlDocument::findSitName("<orvrepsit id=\"a\" name=\"SIT2_TEXT\">"), "SIT2_TEXT");
    EXPECT_TRUE(HtmlDocument::findSitName("<orvrepsit name=SIT1_TITLE>x</orvrepsit>").empty());

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
        EXPECT_EQ(HtmlDocument::findSitTypeFromName(n.name), n.kind) << n.name;
        EXPECT_EQ(HtmlDocument::findSituationIndexFromName(n.name), n.number) << n.name;
    }
    EXPECT_EQ(HtmlDocument::findIntAttribute("width=\"1e40\"", "width"), INT_MAX);
}

TEST_F(HtmlScanning, ReplaceAttributeTakesOnlyRealDoubleQuotedAttributes) {
    std::string t = "<img data-src=\"a\" src = \"old.jpg\" alt=\"x\">";
    EXPECT_TRUE(HtmlDocument::replaceAttribute(t, 0, "src", "new.jpg", &problems));
    EXPECT_EQ(t, "<img data-src=\"a\" src = \"new.jpg\" alt=\"x\">");

    // A size inside a style value is no attribute: the text between the style's
    // closing quote and the next attribute's opening quote must stay untouched.
    t = "<img style=\"height:300px\" alt=\"pic\">";
    const std::string before = t;
    EXPECT_FALSE(HtmlDocument::replaceAttribute(t, 0, "height", "150", &problems));
    EXPECT_EQ(t, before);
    EXPECT_TRUE(recorder->contains("Attribute value not found when trying to replace 'height' in string: " + before));
    EXPECT_FALSE(HtmlDocument::replaceAttribute(t, 0, "width", "1", &problems));
    EXPECT_TRUE(recorder->contains("Attribute not found when trying to read 'width' in string: " + before));
    t = "<img src=\"a.jpg>";
    EXPECT_FALSE(HtmlDocument::replaceAttribute(t, 0, "src", "b", &problems));
    EXPECT_EQ(t, "<img src=\"a.jpg>");
}

TEST_F(HtmlScanning, StyleSizesAreReplacedInTheirDeclaration) {
    std::string t = "<img style=\"width: 400px; height: 400px;\" />";
    EXPECT_TRUE(HtmlDocument::updateSizeAttributesOfTag(t, 100, 200, &problems));
    EXPECT_EQ(t, "<img style=\"width: 400px; height: 200px;\" />");

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
        std::string text = f.text;
        EXPECT_FALSE(HtmlDocument::replaceAttributeStyleInt(text, 0, "width", 7, &problems)) << f.text;
        EXPECT_EQ(text, f.text);
        EXPECT_TRUE(recorder->contains(f.message)) << f.message;
    }
    // No size to read, or no picture shape to fit to: nothing changes.
    std::string empty = "<img width=\"4\" height=\"4\" />";
    EXPECT_FALSE(HtmlDocument::updateSizeAttributesOfTag(empty, 0, 0, &problems));
    EXPECT_EQ(empty, "<img width=\"4\" height=\"4\" />");
    int h = 0, w = 0;
    EXPECT_FALSE(HtmlDocument::getSizeFromTag("<img width=\"640\" />", h, w));
}
