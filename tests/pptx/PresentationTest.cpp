// Presentation editing on the test decks and on decks saved by PowerPoint: slide
// list, order, duplication, removal and the content operations. Every package
// written here passes the Office checker.
#include "KivReport/Table.h"
#include "PptxTestSupport.h"
#include "impl/openxml/ChartData.h"

using namespace kiv::rep;  // the layers' classes

using namespace pptxtest;

namespace {

kiv::rep::Table makeTable(const std::vector<std::vector<std::string>>& cells) {
    kiv::rep::Table table(cells.size(), cells[0].size());
    for (size_t r = 0; r < cells.size(); ++r)
        for (size_t c = 0; c < cells[r].size(); ++c) table.setValue(r, c, kiv::Str(cells[r][c]));
    return table;
}

// A table of numbers: 100, 101, ... in the header row, 10 r + c below.
kiv::rep::Table numbers(size_t rows, size_t columns) {
    kiv::rep::Table t(rows, columns);
    for (size_t r = 0; r < rows; ++r)
        for (size_t c = 0; c < columns; ++c) t.setValue(r, c, kiv::Str(std::to_string(r == 0 ? 100 + c : r * 10 + c).c_str()));
    return t;
}

using Presentation = DeckTest;
using OfficeTemplates = DeckTest;
using TaggedDeck = TaggedDeckTest;

}  // namespace

TEST_F(TaggedDeck, SlideListRecordsTheTaggedSlides) {
    SlideContentPtrArray* slides = presentation->getSlideContentList();
    std::string all;
    for (int i = 0; i < slides->getSize(); ++i) all += describe(*(*slides)[i]);
    EXPECT_GOLDEN("pptx/slide-list.txt", all);
    EXPECT_EQ(slides->getSlideByName("slide3.xml"), slides->getSlideByTag("SIT_PICTURE"));
    EXPECT_EQ(slides->getSlideByName("slide2.xml"), slides->getSlideByTag("SIT5_MDLX"));
    EXPECT_EQ(4, presentation->slideCount());
    std::vector<std::string> ids;
    ASSERT_TRUE(presentation->getPresentationSlideIdList(&ids));
    EXPECT_EQ("rId2 rId3 rId4 rId5", joined(ids));
}

TEST_F(Presentation, DuplicateGivesTheNextNumberBeforeTheSource) {
    openCopy(testDeck("order"));
    ASSERT_TRUE(presentation->createSlideContentList());
    std::string newName;
    ASSERT_TRUE(presentation->duplicateSlide("slide2.xml", newName));
    EXPECT_EQ("slide8.xml", newName);
    std::string second;
    ASSERT_TRUE(presentation->duplicateSlide("slide2.xml", second));
    // rId10 now relates the first copy: the next number follows it.
    EXPECT_EQ("slide11.xml", second);
    // Each copy has its own notes slide, which relates back to it.
    EXPECT_NE("../notesSlides/notesSlide1.xml", target("slide8.xml", "rId2"));
    EXPECT_NE(std::string::npos, part("ppt/notesSlides/_rels/notesSlide2.xml.rels").find("../slides/slide8.xml"));
    EXPECT_NE(std::string::npos, part("ppt/notesSlides/_rels/notesSlide1.xml.rels").find("../slides/slide2.xml"));
    EXPECT_EQ(3, presentation->getSlideContentList()->getSize());
    // The copies in creation order, then the source.
    EXPECT_GOLDEN("pptx/duplicate-presentation.xml", part("ppt/presentation.xml"));
    EXPECT_GOLDEN("pptx/duplicate-presentation.xml.rels", part("ppt/_rels/presentation.xml.rels"));
    closeAndCheck();
}

TEST_F(TaggedDeck, RemoveSlideTakesItsNotesAndWhatOnlyItUsed) {
    ASSERT_TRUE(presentation->removeSlide("rId4"));  // slide3: generic, with notes
    EXPECT_FALSE(hasPart("ppt/slides/slide3.xml"));
    EXPECT_FALSE(hasPart("ppt/notesSlides/notesSlide1.xml"));
    EXPECT_TRUE(hasPart("ppt/notesMasters/notesMaster1.xml"));
    EXPECT_TRUE(hasPart("ppt/media/image1.png"));  // still used by slide2 and slide4
    EXPECT_EQ(std::string::npos, part("[Content_Types].xml").find("notesSlide1.xml"));
    EXPECT_EQ(3, presentation->slideCount());
    EXPECT_EQ(nullptr, presentation->getSlideContentList()->getSlideByName("slide3.xml"));
    // The slide with chart, control and drawing: all of them go.
    ASSERT_TRUE(presentation->removeSlide("rId3"));
    for (const char* gone : {"ppt/charts/chart1.xml", "ppt/embeddings/Microsoft_Excel_Sheet1.xlsx", "ppt/activeX/activeX1.xml",
                             "ppt/drawings/vmlDrawing1.vml", "ppt/media/image2.png"})
        EXPECT_FALSE(hasPart(gone)) << gone;
    EXPECT_FALSE(presentation->removeSlide("rId99"));
    EXPECT_EQ(1u, errors().size());
    closeAndCheck();
}

TEST_F(Presentation, FirstSlideOfAnEmptyPresentationGetsId256) {
    openCopy(testDeck("noslides"));
    EXPECT_EQ(0, presentation->slideCount());
    auto slideDoc = std::make_unique<OpenXMLSlideDocument>();
    ASSERT_TRUE(parseSlide(slideDoc.get(), groupProperties() + sp("SIT_TITLE", "title")));
    OpenXMLPart* slide = presentation->package().addPart(
        "ppt/slides/slide1.xml", "application/vnd.openxmlformats-officedocument.presentationml.slide+xml");
    ASSERT_TRUE(slide);
    slide->setXml(std::move(slideDoc));
    slide->rels()->add("http://schemas.openxmlformats.org/officeDocument/2006/relationships/slideLayout",
                       "ppt/slideLayouts/slideLayout6.xml");
    ASSERT_TRUE(presentation->addSlideToPresentationXml("slide1.xml", ""));
    EXPECT_NE(std::string::npos, part("ppt/presentation.xml").find("<p:sldId id=\"256\""));
    EXPECT_EQ(1, presentation->slideCount());
    closeAndCheck();
}

TEST_F(TaggedDeck, TextKeepsFormattingAndMatchesNamesIgnoringCase) {
    ASSERT_TRUE(presentation->setText("sit1_title", "Pressure & <flow>", "SIT1_TITLE", "slide2.xml"));
    ASSERT_TRUE(presentation->setTextTag("SIT1_TEXT", "SIT3_TEXT", ""));
    EXPECT_FALSE(presentation->setTextTag("SIT1_TEXT", "", ""));
    EXPECT_FALSE(presentation->setText("SIT9_TEXT", "x", "", ""));
    EXPECT_EQ(2u, errors().size());
    const OpenXMLSlideDocument* slide = presentation->viewSlide("slide2.xml");
    ASSERT_TRUE(slide);
    EXPECT_GOLDEN("pptx/set-text-title.xml", print(slide->getShapeTree().getFirstChildElement("p:sp")));
    EXPECT_NE(std::string::npos, part("ppt/slides/slide2.xml").find("name=\"SIT3_TEXT\""));
    closeAndCheck();
}

TEST_F(TaggedDeck, PictureFitsThePlaceholderAndIsRelated) {
    const std::string png = image();
    // Box 3000000 x 2000000: a wide image keeps the width, a tall one the height.
    ASSERT_TRUE(presentation->setImage("wide", "SIT2_PICTURE", png, 400, 100, "", "slide2.xml", "https://example.com/a b"));
    std::string xml = part("ppt/slides/slide2.xml");
    EXPECT_NE(std::string::npos, xml.find("cx=\"3000000\" cy=\"750000\""));
    EXPECT_NE(std::string::npos, xml.find("r:embed=\"rIdSIT2_PICTURE\""));
    EXPECT_NE(std::string::npos, xml.find("<a:hlinkClick r:id=\"rIdSIT2_PICTURE_C\""));
    EXPECT_EQ("../media/image3.png", target("slide2.xml", "rIdSIT2_PICTURE"));
    EXPECT_FALSE(target("slide2.xml", "rIdSIT2_PICTURE_C").empty());

    // The generic tag takes its id from the new name; filling it twice replaces the relationship.
    for (int round = 0; round < 2; ++round)
        ASSERT_TRUE(presentation->setImage("tall", "SIT_PICTURE", png, 100, 400, "SIT_PICTURE", "slide3.xml", ""));
    xml = part("ppt/slides/slide3.xml");
    EXPECT_NE(std::string::npos, xml.find("r:embed=\"rIdSIT_PICTURE_GENERIC\""));
    EXPECT_NE(std::string::npos, xml.find("cx=\"750000\" cy=\"3000000\""));
    ASSERT_TRUE(presentation->setImage("renamed", "SIT_PICTURE", png, 100, 400, "SIT3_PICTURE", "slide3.xml", ""));
    EXPECT_NE(std::string::npos, part("ppt/slides/slide3.xml").find("r:embed=\"rIdSIT3_PICTURE_GENERIC\""));
    ASSERT_TRUE(presentation->renamePicture("SIT3_PICTURE", "slide3.xml", "SIT4_PICTURE"));
    EXPECT_FALSE(presentation->renamePicture("SIT3_PICTURE", "slide3.xml", "SIT5_PICTURE"));
    closeAndCheck();
}

TEST_F(TaggedDeck, PictureBoxExamples) {
    ASSERT_TRUE(presentation->setImage("", "SIT2_PICTURE", image(), 100, 400, "", "slide2.xml", ""));
    EXPECT_NE(std::string::npos, part("ppt/slides/slide2.xml").find("cx=\"500000\" cy=\"2000000\""));
    closeAndCheck();
}

TEST_F(TaggedDeck, TablesKeepTheTemplateLayoutOrAreRebuilt) {
    const kiv::rep::Table same = makeTable({{"Node", "Ux", "Uy"}, {"1", "0.1", "0.2"}, {"2", "0.3", "0.4"}});
    const kiv::rep::Table other = makeTable({{"A", "B", "C"}, {"1", "2", "3"}});
    ASSERT_TRUE(presentation->setTable("SIT3_TABLE", same, "SIT7_TABLE", "slide2.xml"));
    // Two columns of 4000000 and 2000000 become three of 2000000, inside a group.
    ASSERT_TRUE(presentation->setTable("SIT12_TABLE", other, "", "slide4.xml"));
    for (const char* slide : {"2", "4"}) {
        const OpenXMLSlideDocument* doc = presentation->viewSlide(std::string("slide") + slide + ".xml");
        ASSERT_TRUE(doc);
        std::vector<XmlElement> frames;
        OpenXMLSlideDocument::findAllElements(doc->getShapeTree(), "p:graphicFrame", frames);
        EXPECT_GOLDEN(std::string("pptx/set-table-") + (*slide == '2' ? "template-layout" : "rebuilt") + ".xml",
                      print(frames.at(0)));
    }
    // No matching frame: nothing to do; an empty table or an unknown slide: failure.
    EXPECT_TRUE(presentation->setTable("SIT99_TABLE", other, "", "slide4.xml"));
    EXPECT_FALSE(presentation->setTable("SIT12_TABLE", kiv::rep::Table(0, 0), "", "slide4.xml"));
    EXPECT_FALSE(presentation->setTable("SIT12_TABLE", other, "", "slide9.xml"));
    closeAndCheck();
}

TEST_F(TaggedDeck, DuplicatedSlideTakesItsChartAndWorkbookAlong) {
    std::string copy;
    ASSERT_TRUE(presentation->duplicateSlide("slide2.xml", copy));
    EXPECT_EQ("../charts/chart2.xml", target(copy, "rId3"));
    const kiv::rep::Table table = makeTable({{"t", "p", "q"}, {"0", "1", "2"}, {"1", "3", "4"}});
    ChartData chart(table);
    chart.m_title = "Pressure";
    ASSERT_TRUE(presentation->setChart("SIT4_CHART", chart, "SIT8_CHART", copy));
    const std::string chartXml = part("ppt/charts/chart2.xml");
    EXPECT_NE(std::string::npos, chartXml.find("Pressure"));
    EXPECT_NE(std::string::npos, chartXml.find("Sheet1!$A$2:$A$3"));
    ASSERT_TRUE(presentation->setGraphicFrameTag("SIT8_CHART", "SIT9_CHART", copy));
    EXPECT_NE(std::string::npos, part("ppt/slides/" + copy).find("name=\"SIT9_CHART\""));
    EXPECT_FALSE(presentation->setGraphicFrameTag("SIT8_CHART", "X", copy));
    // The source keeps its chart.
    EXPECT_TRUE(hasPart("ppt/charts/chart1.xml"));
    closeAndCheck(true);
}

// The operations on the tagged decks made from presentations saved by PowerPoint.
TEST_F(OfficeTemplates, StaticSlidesTakeTextsPicturesAndTables) {
    openCopy(officeTemplate("pp_static.pptx"));
    ASSERT_TRUE(presentation->createSlideContentList());
    const std::string png = image();
    EXPECT_TRUE(presentation->setText("SIT1_TITLE", "Wing load case", "", ""));
    EXPECT_TRUE(presentation->setText("SIT1_TEXT", "Description", "", "slide1.xml"));
    EXPECT_TRUE(presentation->setImage("p", "SIT2_PICTURE", png, 8, 6, "", "slide1.xml", "https://example.com"));
    EXPECT_TRUE(presentation->setImage("p", "SIT2_PICTURE", png, 8, 6, "", "slide2.xml", ""));
    EXPECT_TRUE(presentation->setTable("SIT3_TABLE", numbers(3, 2), "", "slide1.xml"));
    EXPECT_TRUE(presentation->setTable("SIT4_TABLE", numbers(2, 3), "", "slide2.xml"));
    EXPECT_TRUE(presentation->setText("SIT1_$DATABASE_NAME", "wing.db", "", "slide2.xml"));
    EXPECT_TRUE(errors().empty());
    closeAndCheck(true);
}

TEST_F(OfficeTemplates, ViewerControlsPointedAtModelsOrConverted) {
    openCopy(officeTemplate("pp_models.pptx"));
    ASSERT_TRUE(presentation->createSlideContentList());
    const SlideContentPtrArray* slides = presentation->getSlideContentList();
    ASSERT_EQ(2, slides->getSize());
    EXPECT_TRUE(slides->hasMixedMdlxTags().empty());
    const std::string model = dir.file("model.mdlx");
    ASSERT_TRUE(kivtest::writeFile(model, "m"));
    EXPECT_TRUE(presentation->setMdlx("SIT1_MDLX", model, "", "", ""));
    ASSERT_TRUE(presentation->createSlideContentList());
    EXPECT_TRUE(presentation->convertMdlxInSlide("SIT_MDLX", "", image(), 1.5f, "SIT1_MDLX", "", ""));
    EXPECT_TRUE(errors().empty());
    closeAndCheck();

    OpenXMLPresentation mixed;
    mixed.reportTo(&logged);
    ASSERT_TRUE(mixed.open(officeTemplate("pp_mixed.pptx")));
    ASSERT_TRUE(mixed.createSlideContentList());
    EXPECT_EQ("2", joined(mixed.getSlideContentList()->hasMixedMdlxTags()));
}

TEST_F(OfficeTemplates, LineChartTakesTheTable) {
    openCopy(officeTemplate("pp_chart.pptx"));
    ASSERT_TRUE(presentation->createSlideContentList());
    const kiv::rep::Table data = numbers(4, 3);
    ChartData chart(data);
    EXPECT_TRUE(presentation->setChart("SIT1_CHART", chart, "SIT2_CHART", "slide1.xml"));
    std::string copy;
    ASSERT_TRUE(presentation->duplicateSlide("slide1.xml", copy));
    EXPECT_TRUE(presentation->setChart("SIT2_CHART", chart, "", copy));
    EXPECT_TRUE(errors().empty());
    closeAndCheck();
}

// A filled text or table cell shows the value alone in the look the template gives
// its text: one text shape and one table column per kind of template text. Rows
// after the header are kept as text, unless the template holds the mark they are
// cut at; either way each cell reads as the header's.
TEST_F(OfficeTemplates, FilledTextsAndCellsShowTheValueAloneInTheTemplatesLook) {
    const std::string fld = "<a:fld id=\"{B6F15528-21DE-4FAA-801E-634DDDAF4B2B}\" type=\"slidenum\">";
    const std::string kinds[] = {
        // runs that read "0.0110ta"; a break, a field and a second paragraph
        "<a:p><a:pPr algn=\"ctr\"/><a:r><a:rPr lang=\"en-US\" b=\"1\"/><a:t>0.01</a:t></a:r><a:r><a:rPr lang=\"en-US\"/>"
        "<a:t>10</a:t></a:r><a:r><a:t>ta</a:t></a:r><a:endParaRPr lang=\"en-US\"/></a:p>",
        "<a:p><a:r><a:rPr i=\"1\"/><a:t>Test</a:t></a:r><a:br/>" + fld +
            "<a:t>1</a:t></a:fld></a:p><a:p><a:r><a:t>test</a:t></a:r></a:p>",
        // an empty first paragraph, alone or above text; a field alone; nothing
        "<a:p><a:pPr algn=\"r\"/><a:endParaRPr lang=\"de-DE\" sz=\"2800\" b=\"0\"/></a:p>",
        "<a:p><a:endParaRPr lang=\"en-US\"/></a:p><a:p><a:r><a:rPr sz=\"900\"/><a:t>x</a:t></a:r></a:p>",
        "<a:p>" + fld + "<a:rPr b=\"1\"/><a:t>1</a:t></a:fld></a:p>", "<a:p/>",
        // the mark
        "<a:p><a:r><a:rPr lang=\"\xEE\x80\x80\"/><a:t>m</a:t></a:r></a:p>"};
    const size_t count = sizeof kinds / sizeof kinds[0];
    openCopy(officeTemplate("pp_shapes.pptx"));
    ASSERT_TRUE(presentation->createSlideContentList());
    const XmlElement tree =
        dynamic_cast<OpenXMLSlideDocument*>(presentation->package().part("ppt/slides/slide2.xml")->editXml())->getShapeTree();
    auto add = [](const XmlElement& parent, const std::string& xml) {
        XmlDocument d;
        return d.parseText(xml.c_str()) ? XmlElement(parent.tx()->LinkEndChild(d.RootElement()->Clone())->ToElement())
                                        : XmlElement();
    };
    std::vector<XmlElement> shapes;
    for (size_t k = 0; k < count; ++k)
        shapes.push_back(add(tree, "<p:sp><p:nvSpPr><p:cNvPr id=\"" + std::to_string(100 + k) +
                                       "\" name=\"SIT2_TEXT\"/>"
                                       "<p:cNvSpPr/><p:nvPr/></p:nvSpPr><p:spPr/><p:txBody><a:bodyPr/><a:lstStyle/>" +
                                       kinds[k] + "</p:txBody></p:sp>"));
    ASSERT_TRUE(presentation->setText("SIT2_TEXT", "19.20 <&>", "", "slide2.xml"));
    std::string out;
    for (const XmlElement& shape : shapes) out += XmlDocument::printNode(*shape.getFirstChildElement("p:txBody").tx()) + "\n";
    // The marked template first: the package checked holds the rows kept as text.
    for (size_t columns : {count, count - 1}) {
        std::vector<XmlElement> frames;
        OpenXMLSlideDocument::findAllElements(tree, "a:graphicData", frames);
        const XmlElement data = frames.back();
        data.removeChildElement(data.getFirstChildElement("a:tbl"));
        std::string grid, row = "<a:tr h=\"370840\">";
        for (size_t k = 0; k < columns; ++k) {
            grid += "<a:gridCol w=\"900000\"/>";
            row += "<a:tc><a:txBody><a:bodyPr/><a:lstStyle/>" + kinds[k] + "</a:txBody><a:tcPr/></a:tc>";
        }
        add(data, "<a:tbl><a:tblPr/><a:tblGrid>" + grid + "</a:tblGrid>" + row + "</a:tr>" + row + "</a:tr></a:tbl>");
        kiv::rep::Table values(3, columns);
        for (size_t c = 0; c < 3 * columns; ++c) values.setValue(c / columns, c % columns, kiv::Str("19.20 <&>"));
        ASSERT_TRUE(presentation->setTable("SIT3_TABLE", values, "", "slide2.xml"));
        const std::string filled = XmlDocument::printNode(*data.getFirstChildElement("a:tbl").tx());
        std::vector<std::string> cells;
        for (size_t at = filled.find("<a:p>"); at != std::string::npos; at = filled.find("<a:p>", at + 1))
            cells.push_back(filled.substr(at, filled.find("</a:p>", at) + 6 - at));
        ASSERT_EQ(3 * columns, cells.size()) << filled;
        for (size_t i = 0; i < cells.size(); ++i) EXPECT_EQ(cells[i % columns], cells[i]) << columns << " " << i;
        for (size_t k = 0; k < columns && columns == count; ++k) out += cells[k] + "\n";
    }
    EXPECT_GOLDEN("pptx/filled-texts-and-cells.xml", out);
    closeAndCheck();
}
