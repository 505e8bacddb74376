// Presentation editing on the test decks: slide list, order, duplication, removal
// and the content operations. Every package written here passes the Office checker.
#include "KivReport/Table.h"
#include "PptxTestSupport.h"
#include "impl/openxml/MkChartData.h"

using namespace pptxtest;

namespace {

kiv::rep::Table makeTable(const std::vector<std::vector<std::wstring>>& cells) {
    kiv::rep::Table table(cells.size(), cells[0].size());
    for (size_t r = 0; r < cells.size(); ++r)
        for (size_t c = 0; c < cells[r].size(); ++c) table.setValue(r, c, kiv::Str(cells[r][c]));
    return table;
}

class Presentation : public DeckTest {};

} // namespace

TEST_F(Presentation, SlideListRecordsTheTaggedSlides) {
    openCopy(testDeck("tagged"));
    ASSERT_TRUE(presentation->CreateSlideContentList());
    MkSlideContentPtrArray* slides = presentation->GetSlideContentList();
    ASSERT_EQ(4, slides->GetSize());
    const MkSlideContent* s2 = slides->GetSlideByName(L"slide2.xml");
    ASSERT_NE(nullptr, s2);
    EXPECT_EQ("rId3", std::string(s2->slideRelId.ShortChar()));
    EXPECT_EQ("Title of snapshot 1", std::string(s2->slideTitle.ShortChar()));
    EXPECT_EQ("ppt\\slides\\_rels\\slide2.xml.rels", std::string(s2->relsPath.ShortChar()));
    EXPECT_EQ("../activeX/activeX1.xml", joined(s2->pluginTargets));
    EXPECT_EQ("rId4", joined(s2->pluginIds));
    EXPECT_EQ("../media/image1.png", joined(s2->pictureTargets));
    EXPECT_EQ("SIT1_TITLE SIT1_TITLE SIT1_TEXT SIT2_PICTURE SIT5_MDLX SIT1_$DATABASE_NAME SIT3_TABLE SIT4_CHART",
              joined(s2->GetSitTags()));
    EXPECT_EQ("Plugin link", joined(s2->Others()));
    const MkSlideContent* s3 = slides->GetSlideByTag(L"SIT_PICTURE");
    ASSERT_NE(nullptr, s3);
    EXPECT_TRUE(s3->IsGeneric(false));
    EXPECT_TRUE(s3->IsGeneric(true));
    EXPECT_EQ(s2, slides->GetSlideByTag(L"SIT5_MDLX"));
    EXPECT_EQ("SIT12_TABLE", joined(slides->GetSlideByName(L"slide4.xml")->GetSitTags()));
    EXPECT_EQ(4, presentation->SlideCount());
    MkStringArray ids;
    ASSERT_TRUE(presentation->GetPresentationSlideIdList(&ids));
    EXPECT_EQ("rId2 rId3 rId4 rId5", joined(ids));
}

TEST_F(Presentation, DuplicateGivesTheNextNumberBeforeTheSource) {
    openCopy(testDeck("order"));
    ASSERT_TRUE(presentation->CreateSlideContentList());
    MkString newName;
    ASSERT_TRUE(presentation->DuplicateSlide(L"slide2.xml", newName));
    EXPECT_EQ("slide8.xml", std::string(newName.ShortChar()));
    MkString second;
    ASSERT_TRUE(presentation->DuplicateSlide(L"slide2.xml", second));
    // rId10 now relates the first copy: the next number follows it.
    EXPECT_EQ("slide11.xml", std::string(second.ShortChar()));
    // The copies in creation order, then the source.
    MkStringArray ids;
    ASSERT_TRUE(presentation->GetPresentationSlideIdList(&ids));
    MkString order;
    for (int i = 0; i < ids.GetSize(); ++i)
        order += presentation->GetTargetOfId(presentation->GetMainRelsPath(), ids[i]) + L" ";
    EXPECT_EQ("slides/slide1.xml slides/slide8.xml slides/slide11.xml slides/slide2.xml slides/slide3.xml ",
              std::string(order.ShortChar()));
    // Each copy has its own notes slide, which relates back to it.
    const MkString notes = presentation->GetTargetOfId(L"ppt\\slides\\_rels\\slide8.xml.rels", L"rId2");
    EXPECT_NE("../notesSlides/notesSlide1.xml", std::string(notes.ShortChar()));
    EXPECT_NE(std::string::npos, part("ppt/notesSlides/_rels/notesSlide2.xml.rels").find("../slides/slide8.xml"));
    EXPECT_NE(std::string::npos, part("ppt/notesSlides/_rels/notesSlide1.xml.rels").find("../slides/slide2.xml"));
    EXPECT_EQ(3, presentation->GetSlideContentList()->GetSize());
    EXPECT_GOLDEN("pptx/duplicate-presentation.xml", part("ppt/presentation.xml"));
    closeAndCheck();
}

TEST_F(Presentation, DuplicatedSlideTakesItsChartAndWorkbookAlong) {
    openCopy(testDeck("tagged"));
    ASSERT_TRUE(presentation->CreateSlideContentList());
    MkString newName;
    ASSERT_TRUE(presentation->DuplicateSlide(L"slide2.xml", newName));
    const MkString rels = presentation->SlideRelsPath(newName);
    EXPECT_EQ("../charts/chart2.xml", std::string(presentation->GetTargetOfId(rels, L"rId3").ShortChar()));
    EXPECT_TRUE(hasPart("ppt/charts/chart2.xml"));
    EXPECT_TRUE(hasPart("ppt/charts/_rels/chart2.xml.rels"));
    // The source keeps its chart.
    EXPECT_TRUE(hasPart("ppt/charts/chart1.xml"));
    ASSERT_TRUE(presentation->RemoveUnusedFiles());
    EXPECT_TRUE(hasPart("ppt/charts/chart1.xml"));
    closeAndCheck();
}

TEST_F(Presentation, RemoveSlideTakesItsNotesAndWhatOnlyItUsed) {
    openCopy(testDeck("tagged"));
    ASSERT_TRUE(presentation->CreateSlideContentList());
    ASSERT_TRUE(presentation->RemoveSlide(L"rId4"));  // slide3: generic, with notes
    EXPECT_FALSE(hasPart("ppt/slides/slide3.xml"));
    EXPECT_FALSE(hasPart("ppt/notesSlides/notesSlide1.xml"));
    EXPECT_FALSE(hasPart("ppt/notesSlides/_rels/notesSlide1.xml.rels"));
    EXPECT_TRUE(hasPart("ppt/notesMasters/notesMaster1.xml"));
    EXPECT_TRUE(hasPart("ppt/media/image1.png"));  // still used by slide2 and slide4
    EXPECT_EQ(std::string::npos, part("[Content_Types].xml").find("notesSlide1.xml"));
    EXPECT_EQ(3, presentation->SlideCount());
    EXPECT_EQ(nullptr, presentation->GetSlideContentList()->GetSlideByName(L"slide3.xml"));
    // The slide with chart, control and drawing: all of them go.
    ASSERT_TRUE(presentation->RemoveSlide(L"rId3"));
    for (const char* gone : {"ppt/charts/chart1.xml", "ppt/charts/_rels/chart1.xml.rels",
                             "ppt/embeddings/Microsoft_Excel_Sheet1.xlsx", "ppt/activeX/activeX1.xml",
                             "ppt/drawings/vmlDrawing1.vml", "ppt/media/image2.png"})
        EXPECT_FALSE(hasPart(gone)) << gone;
    EXPECT_FALSE(presentation->RemoveSlide(L"rId99"));
    EXPECT_EQ(1u, errors().size());
    closeAndCheck();
}

TEST_F(Presentation, FirstSlideOfAnEmptyPresentationGetsId256) {
    openCopy(testDeck("noslides"));
    EXPECT_EQ(0, presentation->SlideCount());
    MkXmlDocument slideDoc, rels;
    ASSERT_TRUE(parseSlide(&slideDoc, groupProperties() + sp("SIT_TITLE", "title")));
    ASSERT_TRUE(rels.ParseText("<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                               "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
                               "relationships/slideLayout\" Target=\"../slideLayouts/slideLayout6.xml\"/></Relationships>"));
    ASSERT_TRUE(presentation->WriteXmlFile(L"ppt\\slides\\slide1.xml", &slideDoc, false));
    ASSERT_TRUE(presentation->WriteXmlFile(L"ppt\\slides\\_rels\\slide1.xml.rels", &rels, false));
    ASSERT_TRUE(presentation->AddContentToContentTypesXml(L"/ppt/slides/slide1.xml", OXML_CT_SLIDE));
    ASSERT_TRUE(presentation->AddSlideToPresentationXml(L"slide1.xml", MkString()));
    EXPECT_NE(std::string::npos, part("ppt/presentation.xml").find("<p:sldId id=\"256\""));
    EXPECT_EQ(1, presentation->SlideCount());
    closeAndCheck();
}

TEST_F(Presentation, TextKeepsFormattingAndMatchesNamesIgnoringCase) {
    openCopy(testDeck("tagged"));
    ASSERT_TRUE(presentation->CreateSlideContentList());
    ASSERT_TRUE(presentation->SetText(L"sit1_title", MkString(L"Pressure & <flow>"), L"SIT1_TITLE", L"slide2.xml"));
    ASSERT_TRUE(presentation->SetTextTag(L"SIT1_TEXT", L"SIT3_TEXT", MkString()));
    EXPECT_FALSE(presentation->SetTextTag(L"SIT1_TEXT", MkString(), MkString()));
    EXPECT_FALSE(presentation->SetText(L"SIT9_TEXT", MkString(L"x"), MkString(), MkString()));
    EXPECT_EQ(2u, errors().size());
    MkOpenXMLSlideDocument slide;
    ASSERT_TRUE(presentation->ReadXmlFile(L"ppt\\slides\\slide2.xml", &slide));
    EXPECT_GOLDEN("pptx/set-text-title.xml", print(slide.GetShapeTree().GetFirstChildElement(L"p:sp")));
    EXPECT_NE(std::string::npos, part("ppt/slides/slide2.xml").find("name=\"SIT3_TEXT\""));
    closeAndCheck();
}

TEST_F(Presentation, PictureFitsThePlaceholderAndIsRelated) {
    openCopy(testDeck("tagged"));
    ASSERT_TRUE(presentation->CreateSlideContentList());
    const std::string png = image();
    // Box 3000000 x 2000000: a wide image keeps the width, a tall one the height.
    ASSERT_TRUE(presentation->SetImage(L"wide", L"SIT2_PICTURE", MkString(png.c_str()), 400, 100, MkString(),
                                       L"slide2.xml", L"https://example.com/a b"));
    std::string xml = part("ppt/slides/slide2.xml");
    EXPECT_NE(std::string::npos, xml.find("cx=\"3000000\" cy=\"750000\""));
    EXPECT_NE(std::string::npos, xml.find("r:embed=\"rIdSIT2_PICTURE\""));
    EXPECT_NE(std::string::npos, xml.find("<a:hlinkClick r:id=\"rIdSIT2_PICTURE_C\""));
    const MkString rels = presentation->SlideRelsPath(L"slide2.xml");
    EXPECT_EQ("../media/image3.png", std::string(presentation->GetTargetOfId(rels, L"rIdSIT2_PICTURE").ShortChar()));
    EXPECT_FALSE(presentation->GetTargetOfId(rels, L"rIdSIT2_PICTURE_C").IsEmpty());

    // The generic tag takes its id from the new name; filling it twice replaces the relationship.
    for (int round = 0; round < 2; ++round)
        ASSERT_TRUE(presentation->SetImage(L"tall", L"SIT_PICTURE", MkString(png.c_str()), 100, 400, L"SIT_PICTURE",
                                           L"slide3.xml", MkString()));
    xml = part("ppt/slides/slide3.xml");
    EXPECT_NE(std::string::npos, xml.find("r:embed=\"rIdSIT_PICTURE_GENERIC\""));
    EXPECT_NE(std::string::npos, xml.find("cx=\"750000\" cy=\"3000000\""));
    ASSERT_TRUE(presentation->SetImage(L"renamed", L"SIT_PICTURE", MkString(png.c_str()), 100, 400, L"SIT3_PICTURE",
                                       L"slide3.xml", MkString()));
    EXPECT_NE(std::string::npos, part("ppt/slides/slide3.xml").find("r:embed=\"rIdSIT3_PICTURE_GENERIC\""));
    ASSERT_TRUE(presentation->RenamePicture(L"SIT3_PICTURE", L"slide3.xml", L"SIT4_PICTURE"));
    EXPECT_FALSE(presentation->RenamePicture(L"SIT3_PICTURE", L"slide3.xml", L"SIT5_PICTURE"));
    closeAndCheck();
}

TEST_F(Presentation, PictureBoxExamples) {
    openCopy(testDeck("tagged"));
    ASSERT_TRUE(presentation->CreateSlideContentList());
    const std::string png = image();
    ASSERT_TRUE(presentation->SetImage(L"", L"SIT2_PICTURE", MkString(png.c_str()), 100, 400, MkString(),
                                       L"slide2.xml", MkString()));
    EXPECT_NE(std::string::npos, part("ppt/slides/slide2.xml").find("cx=\"500000\" cy=\"2000000\""));
    closeAndCheck();
}

TEST_F(Presentation, TableIntoAsManyTemplateColumnsKeepsTheLayout) {
    openCopy(testDeck("tagged"));
    ASSERT_TRUE(presentation->CreateSlideContentList());
    const kiv::rep::Table table = makeTable({{L"Node", L"Ux", L"Uy"}, {L"1", L"0.1", L"0.2"}, {L"2", L"0.3", L"0.4"}});
    ASSERT_TRUE(presentation->SetTable(L"SIT3_TABLE", table, L"SIT7_TABLE", L"slide2.xml"));
    MkOpenXMLSlideDocument slide;
    ASSERT_TRUE(presentation->ReadXmlFile(L"ppt\\slides\\slide2.xml", &slide));
    std::vector<MkXmlElement> frames;
    MkOpenXMLSlideDocument::FindAllElements(slide.GetShapeTree(), L"p:graphicFrame", frames);
    EXPECT_GOLDEN("pptx/set-table-template-layout.xml", print(frames.at(0)));
    closeAndCheck();
}

TEST_F(Presentation, TableIntoOtherColumnsIsRebuiltInsideAGroup) {
    openCopy(testDeck("tagged"));
    ASSERT_TRUE(presentation->CreateSlideContentList());
    const kiv::rep::Table table = makeTable({{L"A", L"B", L"C"}, {L"1", L"2", L"3"}});
    ASSERT_TRUE(presentation->SetTable(L"SIT12_TABLE", table, MkString(), L"slide4.xml"));
    MkOpenXMLSlideDocument slide;
    ASSERT_TRUE(presentation->ReadXmlFile(L"ppt\\slides\\slide4.xml", &slide));
    std::vector<MkXmlElement> frames;
    MkOpenXMLSlideDocument::FindAllElements(slide.GetShapeTree(), L"p:graphicFrame", frames);
    // Two columns of 4000000 and 2000000 become three of 2000000.
    EXPECT_GOLDEN("pptx/set-table-rebuilt.xml", print(frames.at(0)));
    // No matching frame: nothing to do; an empty table or an unknown slide: failure.
    EXPECT_TRUE(presentation->SetTable(L"SIT99_TABLE", table, MkString(), L"slide4.xml"));
    EXPECT_FALSE(presentation->SetTable(L"SIT12_TABLE", kiv::rep::Table(0, 0), MkString(), L"slide4.xml"));
    EXPECT_FALSE(presentation->SetTable(L"SIT12_TABLE", table, MkString(), L"slide9.xml"));
    closeAndCheck();
}

TEST_F(Presentation, FramesAndCharts) {
    openCopy(testDeck("tagged"));
    ASSERT_TRUE(presentation->CreateSlideContentList());
    const kiv::rep::Table table = makeTable({{L"t", L"p", L"q"}, {L"0", L"1", L"2"}, {L"1", L"3", L"4"}});
    MkChartData chart(table);
    chart.m_title = L"Pressure";
    ASSERT_TRUE(presentation->SetChart(L"SIT4_CHART", chart, L"SIT8_CHART", L"slide2.xml"));
    const std::string chartXml = part("ppt/charts/chart1.xml");
    EXPECT_NE(std::string::npos, chartXml.find("Pressure"));
    EXPECT_NE(std::string::npos, chartXml.find("Sheet1!$A$2:$A$3"));
    ASSERT_TRUE(presentation->SetGraphicFrameTag(L"SIT8_CHART", L"SIT9_CHART", L"slide2.xml"));
    EXPECT_NE(std::string::npos, part("ppt/slides/slide2.xml").find("name=\"SIT9_CHART\""));
    EXPECT_FALSE(presentation->SetGraphicFrameTag(L"SIT8_CHART", L"X", L"slide2.xml"));
    closeAndCheck(true);
}
