// Tags of one slide: the shape scans, their classification and the rewriting of text bodies.
#include "PptxTestSupport.h"

using namespace kiv::rep;  // the layers' classes

using namespace pptxtest;

namespace {

SlideContent scan(const std::string& shapes, const std::string& controls = "") {
    OpenXMLSlideDocument slide;
    EXPECT_TRUE(parseSlide(&slide, shapes, controls));
    SlideContent record("slide1.xml", 0, 0);
    EXPECT_TRUE(slide.getSlideTags(&record));
    return record;
}

}  // namespace

TEST(TagNameParts, PrefixBeforeFirstAndSuffixAfterLastUnderscore) {
    struct Case {
        const char* name;
        const char* prefix;
        const char* suffix;
        bool sit, ref;
    } cases[] = {
        {"SIT3_PICTURE", "SIT3", "PICTURE", true, false},     {"REF_SIT2_TABLE", "REF", "TABLE", false, true},
        {"SIT1_$DATABASE_NAME", "SIT1", "NAME", true, false}, {"SIT12_TITLE", "SIT12", "TITLE", true, false},
        {"Picture", "Picture", "Picture", false, false},      {"sit_TITLE", "sit", "TITLE", false, false},
        {"REFX_SIT_TEXT", "REFX", "TEXT", false, false},
    };
    for (const Case& c : cases) {
        const TagNameParts parts{c.name};
        EXPECT_EQ(c.prefix, parts.prefix) << c.name;
        EXPECT_EQ(c.suffix, parts.suffix) << c.name;
        EXPECT_EQ(c.sit, parts.isSit());
        EXPECT_EQ(c.ref, parts.isRef());
    }
}

// Each slide scanned, its lists and classification printed (codes as in SitTypeTag.h).
TEST(SlideTags, EveryKindGoesToItsListAndSlidesAreClassified) {
    const struct {
        const char* name;
        std::string shapes, controls;
    } slides[] = {
        {"every kind",
         sp("SIT1_TITLE") + sp("SIT2_TEXT") + sp("REF_SIT1_TEXT") + sp("SIT1_$DATABASE_NAME") + sp("REF_SIT1_$CASE") +
             pic("SIT3_PICTURE") + pic("REF_SIT3_PICTURE") + frame("SIT4_TABLE", true) + frame("SIT5_CHART", false) +
             sp("TextBox 5") + pic("Picture 3"),  // a text box is another name; a picture that is no tag is dropped
         control("SIT6_MDLX") + control("REF_SIT6_MDLX") + control("Viewer")},
        // The placeholder scan first, then the shapes of the text scan (the placeholder again).
        {"title placeholder", sp("SIT2_TITLE", "ctrTitle") + sp("SIT_TITLE"), ""},
        // Tag numbers are read strictly, as in the other formats: "SIT1.5_" and "SITa1_"
        // name no snapshot, and make the slide generic no more than a number would.
        {"loose numbers", sp("SIT1.5_TITLE") + sp("SITa1_TITLE"), ""},
        {"grouped shapes, nested too",
         group(frame("SIT12_TABLE", true) + pic("SIT12_PICTURE") + group(sp("SIT12_TEXT"))) + sp("SIT1_TEXT"), ""},
        {"generic reference", sp("REF_SIT_TEXT") + sp("SIT2_TEXT"), ""},
        {"generic macro", sp("SIT_$DATABASE_NAME"), ""},
        {"mixed models", "", control("SIT_MDLX") + control("SIT2_MDLX")},
        {"generic and static", sp("SIT_TITLE") + sp("SIT2_TEXT"), ""},
        {"repeated pictures", pic("SIT3_PICTURE") + pic("SIT1_PICTURE") + pic("SIT3_PICTURE") + pic("SIT_PICTURE"), ""},
        {"unnamed shapes", "<p:sp><p:nvSpPr><p:cNvPr id=\"2\"/></p:nvSpPr></p:sp>" + pic(""), ""},
    };
    std::string all;
    for (const auto& slide : slides) all += std::string("== ") + slide.name + "\n" + describe(scan(slide.shapes, slide.controls));
    EXPECT_GOLDEN("pptx/slide-scans.txt", all);
    const SlideContent r = scan(sp("SIT1_TITLE"));
    std::vector<int> indices;
    EXPECT_TRUE(r.getSitTags(13).empty() && r.getSitTags(0).empty());
    EXPECT_FALSE(r.getStaticSituationIndexes(14, indices));
}

TEST(SlideTags, MacroPlaceholderScan) {
    OpenXMLSlideDocument slide;
    ASSERT_TRUE(parseSlide(&slide, sp("SIT1_$KEY", "title") + sp("Title 1", "subTitle") + sp("SIT1_title", "title") +
                                       sp("X_$KEY", "title") + sp("SIT1_$Größe")));
    std::vector<std::string> sit, ref, other;
    ASSERT_TRUE(slide.getMacroTags(&sit, &ref, &other));
    EXPECT_EQ("SIT1_$KEY", joined(sit));
    EXPECT_EQ("Title 1 X_$KEY", joined(other));  // SIT1_title is dropped (suffix TITLE ignoring case)
    // Text shapes are named ignoring the case of every letter, not only ASCII ones.
    EXPECT_EQ(1, slide.setText("sit1_$GRÖßE", FormattedTextArray(), ""));
}

TEST(SlideTags, ScansNeedAShapeTree) {
    OpenXMLSlideDocument slide;
    ASSERT_TRUE(slide.parseText("<p:sld xmlns:p=\"p\"><p:cSld/></p:sld>"));
    std::vector<std::string> sit, ref, other;
    EXPECT_FALSE(slide.getTitleTags(&sit, &ref, &other));
    EXPECT_FALSE(slide.getTextTags(&sit, &ref, &other));
    EXPECT_FALSE(slide.getMacroTags(&sit, &ref, &other));
    EXPECT_FALSE(slide.getTableTags(&sit, &ref, &other));
    EXPECT_FALSE(slide.getChartTags(&sit, &ref, &other));
    EXPECT_FALSE(slide.getPictureTags(&sit, &ref, &other));
    EXPECT_FALSE(slide.getTextTags(&sit, &ref, nullptr));
    EXPECT_FALSE(slide.getSlideTags(nullptr));

    OpenXMLSlideDocument empty;
    ASSERT_TRUE(parseSlide(&empty, ""));
    sit.push_back("stale");
    EXPECT_TRUE(empty.getTextTags(&sit, &ref, &other));
    EXPECT_TRUE(sit.empty());
}

TEST(SlideList, LookupsAndViews) {
    SlideContentPtrArray slides;
    SlideContent* a = new SlideContent(scan(sp("SIT_TITLE") + frame("SIT1_TABLE", true) + sp("Note")));
    a->slideName = "slide1.xml";
    SlideContent* b = new SlideContent(scan(pic("SIT2_PICTURE"), control("SIT_MDLX") + control("SIT3_MDLX")));
    b->slideName = "slide2.xml";
    slides.add(a);
    slides.add(b);
    EXPECT_EQ(a, slides.getSlideByTag("SIT_TITLE"));
    EXPECT_EQ(a, slides.getSlideByTag("Note"));
    EXPECT_EQ(nullptr, slides.getSlideByTag("SIT1_TABLE"));  // tables are not searched
    EXPECT_EQ(b, slides.getSlideByTag("SIT3_MDLX"));
    EXPECT_EQ(b, slides.getSlideByName("slide2.xml"));
    EXPECT_EQ(nullptr, slides.getSlideByName("slide3.xml"));
    EXPECT_EQ("2", joined(slides.hasMixedMdlxTags()));
}

TEST(EditTextElement, ParagraphsAndRunsKeepTheTemplateFormatting) {
    XmlDocument doc;
    ASSERT_TRUE(
        doc.parseText("<p:txBody xmlns:a=\"a\" xmlns:p=\"p\"><a:bodyPr/><a:lstStyle/><a:p><a:pPr algn=\"ctr\"/>"
                      "<a:r><a:rPr lang=\"en-US\" sz=\"1400\" b=\"1\"/><a:t>old</a:t></a:r></a:p>"
                      "<a:p><a:r><a:t>second</a:t></a:r></a:p></p:txBody>"));
    FormattedTextArray runs;
    FormattedText a, line, br, b;  // bold stays from the template, a line break keeps the run's look
    line.lineBreak = true;
    a.text = "A";
    a.italic = true;
    br.newParagraph = true;
    br.text = "ignored";
    b.text = "B";
    b.underline = true;
    runs.push_back(a);
    runs.push_back(line);
    runs.push_back(a);
    runs.push_back(br);
    runs.push_back(b);
    EXPECT_TRUE(OpenXMLSlideDocument::editTextElement(doc.getRootElement(), runs));
    EXPECT_GOLDEN("pptx/edit-text-element.xml", print(doc.getRootElement()));
}
