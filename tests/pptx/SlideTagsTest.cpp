// Tags of one slide: the shape scans, their classification and the rewriting of text bodies.
#include "PptxTestSupport.h"

using namespace pptxtest;

namespace {

MkSlideContent scan(const std::string& shapes, const std::string& controls = "") {
    MkOpenXMLPresentation presentation;  // only marks the document as one that scans 3D controls
    MkOpenXMLSlideDocument slide(false, &presentation);
    EXPECT_TRUE(parseSlide(&slide, shapes, controls));
    MkSlideContent record(L"slide1.xml", 0, 0);
    EXPECT_TRUE(slide.GetSlideTags(&record));
    return record;
}

std::string list(const MkSlideContent& record, int type) { return joined(record.GetSitTags(type)); }

} // namespace

TEST(TagNameParts, PrefixBeforeFirstAndSuffixAfterLastUnderscore) {
    struct Case {
        const wchar_t* name;
        const char* prefix;
        const char* suffix;
        bool sit, ref;
    } cases[] = {
        {L"SIT3_PICTURE", "SIT3", "PICTURE", true, false},
        {L"REF_SIT2_TABLE", "REF", "TABLE", false, true},
        {L"SIT1_$DATABASE_NAME", "SIT1", "NAME", true, false},
        {L"SIT12_TITLE", "SIT12", "TITLE", true, false},
        {L"Picture", "Picture", "Picture", false, false},
        {L"sit_TITLE", "sit", "TITLE", false, false},
        {L"REFX_SIT_TEXT", "REFX", "TEXT", false, false},
    };
    for (const Case& c : cases) {
        const MkTagNameParts parts{MkString(c.name)};
        EXPECT_EQ(c.prefix, std::string(parts.prefix.ShortChar())) << MkString(c.name).ShortChar();
        EXPECT_EQ(c.suffix, std::string(parts.suffix.ShortChar())) << MkString(c.name).ShortChar();
        EXPECT_EQ(c.sit, parts.IsSit());
        EXPECT_EQ(c.ref, parts.IsRef());
    }
}

TEST(SlideTags, EveryKindGoesToItsList) {
    const MkSlideContent r = scan(sp("SIT1_TITLE") + sp("SIT2_TEXT") + sp("REF_SIT1_TEXT") +
                                  sp("SIT1_$DATABASE_NAME") + sp("REF_SIT1_$CASE") + pic("SIT3_PICTURE") +
                                  pic("REF_SIT3_PICTURE") + frame("SIT4_TABLE", true) + frame("SIT5_CHART", false) +
                                  sp("TextBox 5") + pic("Picture 3"),
                              control("SIT6_MDLX") + control("REF_SIT6_MDLX") + control("Viewer"));
    EXPECT_EQ("SIT1_TITLE", list(r, SIT_TYPE_TITLE));
    EXPECT_EQ("SIT2_TEXT", list(r, SIT_TYPE_TEXT));
    EXPECT_EQ("REF_SIT1_TEXT", list(r, SIT_TYPE_REF_TEXT));
    EXPECT_EQ("SIT1_$DATABASE_NAME", list(r, SIT_TYPE_MACRO));
    EXPECT_EQ("REF_SIT1_$CASE", list(r, SIT_TYPE_REF_MACRO));
    EXPECT_EQ("SIT3_PICTURE", list(r, SIT_TYPE_PICTURE));
    EXPECT_EQ("REF_SIT3_PICTURE", list(r, SIT_TYPE_REF_PICTURE));
    EXPECT_EQ("SIT4_TABLE", list(r, SIT_TYPE_TABLE));
    EXPECT_EQ("SIT5_CHART", list(r, SIT_TYPE_CHART));
    EXPECT_EQ("SIT6_MDLX", list(r, SIT_TYPE_MDLX));
    EXPECT_EQ("REF_SIT6_MDLX", list(r, SIT_TYPE_REF_MDLX));
    // A text box that is no tag is another name; a picture that is none is dropped, so is a control.
    EXPECT_EQ("TextBox 5", joined(r.Others()));
    EXPECT_EQ("", list(r, 13));
    EXPECT_EQ("", list(r, 0));
    EXPECT_EQ("SIT1_TITLE SIT2_TEXT SIT3_PICTURE SIT6_MDLX SIT1_$DATABASE_NAME SIT4_TABLE SIT5_CHART",
              joined(r.GetSitTags()));
}

TEST(SlideTags, TitleOnAnyShapeAndTitlePlaceholderListedTwice) {
    const MkSlideContent r = scan(sp("SIT2_TITLE", "ctrTitle") + sp("SIT_TITLE"));
    // The placeholder scan first, then the shapes of the text scan (the placeholder again).
    EXPECT_EQ("SIT2_TITLE SIT2_TITLE SIT_TITLE", list(r, SIT_TYPE_TITLE));
    MkIntArray indices;
    EXPECT_TRUE(r.GetStaticSituationIndexes(SIT_TYPE_TITLE, indices));
    ASSERT_EQ(1, indices.GetSize());
    EXPECT_EQ(1, indices[0]);
    EXPECT_FALSE(r.GetStaticSituationIndexes(14, indices));

    // Tag numbers are read strictly, as in the other formats: "SIT1.5_" and "SITa1_"
    // name no snapshot, and make the slide generic no more than a number would.
    const MkSlideContent loose = scan(sp("SIT1.5_TITLE") + sp("SITa1_TITLE"));
    ASSERT_EQ("SIT1.5_TITLE SITa1_TITLE", list(loose, SIT_TYPE_TITLE));
    EXPECT_FALSE(loose.GetStaticSituationIndexes(SIT_TYPE_TITLE, indices));
}

TEST(SlideTags, GroupedTablesFoundGroupedPicturesNot) {
    const MkSlideContent r = scan(group(frame("SIT12_TABLE", true) + pic("SIT12_PICTURE")) + sp("SIT1_TEXT"));
    EXPECT_EQ("SIT12_TABLE", list(r, SIT_TYPE_TABLE));
    EXPECT_EQ("", list(r, SIT_TYPE_PICTURE));
}

TEST(SlideTags, MacroPlaceholderScan) {
    MkOpenXMLSlideDocument slide;
    ASSERT_TRUE(parseSlide(&slide, sp("SIT1_$KEY", "title") + sp("Title 1", "subTitle") + sp("SIT1_title", "title") +
                                       sp("X_$KEY", "title")));
    MkStringArray sit, ref, other;
    ASSERT_TRUE(slide.GetMacroTags(&sit, &ref, &other));
    EXPECT_EQ("SIT1_$KEY", joined(sit));
    EXPECT_EQ("Title 1 X_$KEY", joined(other));  // SIT1_title is dropped (suffix TITLE ignoring case)
}

TEST(SlideTags, ScansNeedAShapeTree) {
    MkOpenXMLSlideDocument slide;
    ASSERT_TRUE(slide.ParseText("<p:sld xmlns:p=\"p\"><p:cSld/></p:sld>"));
    MkStringArray sit, ref, other;
    EXPECT_FALSE(slide.GetTitleTags(&sit, &ref, &other));
    EXPECT_FALSE(slide.GetTextTags(&sit, &ref, &other));
    EXPECT_FALSE(slide.GetMacroTags(&sit, &ref, &other));
    EXPECT_FALSE(slide.GetTableTags(&sit, &ref, &other));
    EXPECT_FALSE(slide.GetChartTags(&sit, &ref, &other));
    EXPECT_FALSE(slide.GetPictureTags(&sit, &ref, &other));
    EXPECT_FALSE(slide.GetTextTags(&sit, &ref, nullptr));
    EXPECT_FALSE(slide.GetMDLXTags(L"slide1.xml", &sit, &ref, &other));  // no presentation
    EXPECT_FALSE(slide.GetSlideTags(nullptr));

    MkOpenXMLSlideDocument empty;
    ASSERT_TRUE(parseSlide(&empty, ""));
    sit.AddGrow(L"stale");
    EXPECT_TRUE(empty.GetTextTags(&sit, &ref, &other));
    EXPECT_TRUE(sit.IsEmpty());
    // Shapes without a name are skipped.
    MkOpenXMLSlideDocument unnamed;
    ASSERT_TRUE(parseSlide(&unnamed, "<p:sp><p:nvSpPr><p:cNvPr id=\"2\"/></p:nvSpPr></p:sp>" + pic("")));
    MkSlideContent record;
    EXPECT_TRUE(unnamed.GetSlideTags(&record));
    EXPECT_TRUE(record.GetSitTags().IsEmpty());
    EXPECT_TRUE(record.Others().IsEmpty());
}

TEST(SlideClassification, GenericStaticAndMixed) {
    const MkSlideContent refGeneric = scan(sp("REF_SIT_TEXT") + sp("SIT2_TEXT"));
    EXPECT_TRUE(refGeneric.IsGeneric(true));
    EXPECT_FALSE(refGeneric.IsGeneric(false));
    EXPECT_TRUE(refGeneric.ContainsStaticTags());

    const MkSlideContent macro = scan(sp("SIT_$DATABASE_NAME"));
    EXPECT_TRUE(macro.IsGeneric(false));
    EXPECT_FALSE(macro.ContainsStaticTags());
    EXPECT_TRUE(macro.HasGenericTextualTags());

    const MkSlideContent mixed = scan("", control("SIT_MDLX") + control("SIT2_MDLX"));
    EXPECT_TRUE(mixed.HasMixedMdlxTags());
    EXPECT_FALSE(mixed.HasGenericTextualTags());
    const MkSlideContent notMixed = scan(sp("SIT_TITLE") + sp("SIT2_TEXT"));
    EXPECT_FALSE(notMixed.HasMixedMdlxTags());

    const MkSlideContent indices = scan(pic("SIT3_PICTURE") + pic("SIT1_PICTURE") + pic("SIT3_PICTURE") + pic("SIT_PICTURE"));
    MkIntArray out;
    EXPECT_TRUE(indices.GetStaticSituationIndexes(SIT_TYPE_PICTURE, out));
    EXPECT_EQ("2 0", std::string(out.GetAsString().ShortChar()));
}

TEST(SlideList, LookupsAndViews) {
    MkSlideContentPtrArray slides;
    MkSlideContent* a = new MkSlideContent(scan(sp("SIT_TITLE") + frame("SIT1_TABLE", true) + sp("Note")));
    a->slideName = L"slide1.xml";
    MkSlideContent* b = new MkSlideContent(scan(pic("SIT2_PICTURE"), control("SIT_MDLX") + control("SIT3_MDLX")));
    b->slideName = L"slide2.xml";
    slides.Add(a);
    slides.Add(b);
    EXPECT_EQ(a, slides.GetSlideByTag(L"SIT_TITLE"));
    EXPECT_EQ(a, slides.GetSlideByTag(L"Note"));
    EXPECT_EQ(nullptr, slides.GetSlideByTag(L"SIT1_TABLE"));  // tables are not searched
    EXPECT_EQ(b, slides.GetSlideByTag(L"SIT3_MDLX"));
    EXPECT_EQ(b, slides.GetSlideByName(L"slide2.xml"));
    EXPECT_EQ(nullptr, slides.GetSlideByName(L"slide3.xml"));
    MkStringArray tags;
    EXPECT_EQ(2, slides.GetTags(SIT_TYPE_MDLX, tags));
    EXPECT_EQ(1, slides.GetTags(SIT_TYPE_NONE, tags));
    EXPECT_EQ("2", std::string(slides.HasMixedMdlxTags().GetAsString().ShortChar()));
    std::unique_ptr<MkSlideContentPtrArray> statics(slides.GetStaticSlides());
    ASSERT_EQ(2, statics->GetSize());  // both hold a numbered tag; the view does not own them
}

TEST(EditTextElement, ParagraphsAndRunsKeepTheTemplateFormatting) {
    MkXmlDocument doc;
    ASSERT_TRUE(doc.ParseText("<p:txBody xmlns:a=\"a\" xmlns:p=\"p\"><a:bodyPr/><a:lstStyle/><a:p><a:pPr algn=\"ctr\"/>"
                              "<a:r><a:rPr lang=\"en-US\" sz=\"1400\" b=\"1\"/><a:t>old</a:t></a:r></a:p>"
                              "<a:p><a:r><a:t>second</a:t></a:r></a:p></p:txBody>"));
    MkFormattedTextArray runs;
    MkFormattedText a, br, b;
    a.text = L"A";
    a.italic = true;
    br.newParagraph = true;
    br.text = L"ignored";
    b.text = L"B";
    b.underline = true;
    runs.Add(a);
    runs.Add(br);
    runs.Add(b);
    EXPECT_TRUE(MkOpenXMLSlideDocument::EditTextElement(doc.GetRootElement(), runs));
    EXPECT_GOLDEN("pptx/edit-text-element.xml", print(doc.GetRootElement()));
}
