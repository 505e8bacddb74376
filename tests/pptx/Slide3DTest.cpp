// The tagged deck's slides: 3D viewer controls pointed at models or replaced by
// pictures, the clean-up of what the report no longer uses, and broken slides
// and packages, where each operation fails with one logged error and writes
// nothing that would leave the package worse than it found it.
#include "KivReport/Table.h"
#include "PptxTestSupport.h"
#include "impl/openxml/ChartData.h"

using namespace kiv::rep;  // the layers' classes

using namespace pptxtest;

namespace {

class Slide3D : public TaggedDeckTest {
protected:
    std::string slide2() { return part("ppt/slides/slide2.xml"); }
    std::string rel2(const char* id) { return target("slide2.xml", id); }
    // Whether slide2 relates to the part.
    bool relates2(const std::string& name) {
        OpenXMLRelationships* rels = presentation->slidePart("slide2.xml")->rels();
        for (int i = 0; i < rels->count(); ++i)
            if (rels->at(i).part == name) return true;
        return false;
    }
};

class BadInput : public TaggedDeckTest {
protected:
    // Opens a copy of the deck with the part replaced, and makes its slide list.
    void replacePart(const std::string& name, const std::string& text) {
        const std::string deck = dir.file("planted.pptx");
        ASSERT_TRUE(copyFile(testDeck("tagged"), deck));
        ASSERT_TRUE(putPart(deck, name, text));
        openCopy(deck);
        presentation->createSlideContentList();
        recorder->clear();
    }
    // Parts a failed operation must leave as they were.
    void keep(const std::vector<std::string>& parts) {
        kept.clear();
        for (const std::string& p : parts) kept.emplace_back(p, part(p));
    }
    // The operation failed with exactly one error and left the kept parts as they were.
    void expectCleanFailure(bool result) {
        EXPECT_FALSE(result);
        EXPECT_EQ(1u, errors().size()) << ::testing::PrintToString(errors());
        for (const auto& k : kept) EXPECT_EQ(k.second, part(k.first)) << k.first;
        recorder->clear();
    }
    std::vector<std::pair<std::string, std::string>> kept;
};

}  // namespace

TEST_F(Slide3D, SetMdlxGivesTheControlItsOwnPartAndDropsTheOldRelationship) {
    const std::string model = dir.file("wing.mdlx");
    ASSERT_TRUE(kivtest::writeFile(model, "model"));
    ASSERT_TRUE(presentation->setMdlx("SIT5_MDLX", model, "", "SIT7_MDLX", ""));
    const std::string xml = slide2();
    EXPECT_EQ(std::string::npos, xml.find("r:id=\"rId4\""));
    EXPECT_NE(std::string::npos, xml.find("r:id=\"sRid0001\""));
    EXPECT_NE(std::string::npos, xml.find("name=\"SIT7_MDLX\""));
    // The old relationship is gone, the new one names a plug-in part that refers to
    // the model by its bare name (it lies beside the report).
    EXPECT_TRUE(rel2("rId4").empty());
    std::string controlPart = rel2("sRid0001");
    ASSERT_EQ(0u, controlPart.find("../"));
    const std::string control = part("ppt/" + controlPart.substr(3));
    EXPECT_NE(std::string::npos, control.find("ax:value=\"wing.mdlx\"")) << control;
    // The VML shape of the control was the drawing's: the slide no longer relates to it.
    EXPECT_FALSE(relates2("ppt/drawings/vmlDrawing1.vml"));

    // A second control of the same slide gets the next free id.
    ASSERT_TRUE(presentation->createSlideContentList());
    ASSERT_TRUE(presentation->setMdlx("SIT7_MDLX", "/elsewhere/wing.mdlx", "", "", "slide2.xml"));
    EXPECT_NE(std::string::npos, slide2().find("r:id=\"sRid0002\""));
    const std::string second = rel2("sRid0002");
    ASSERT_EQ(0u, second.find("../"));
    EXPECT_NE(std::string::npos, part("ppt/" + second.substr(3)).find("ax:value=\"/elsewhere/wing.mdlx\""));

    EXPECT_FALSE(hasPart("ppt/activeX/activeX1.xml"));      // no slide uses it any more
    EXPECT_FALSE(hasPart("ppt/drawings/vmlDrawing1.vml"));  // nor the drawing
    EXPECT_TRUE(hasPart("ppt/media/image2.png"));           // media stays
    closeAndCheck();
}

TEST_F(Slide3D, ConvertReplacesTheWholeControlByAFittedPicture) {
    const std::string png = image();
    ASSERT_TRUE(
        presentation->convertMdlxInSlide("SIT5_MDLX", "", png, 2.0f, "SIT9_MDLX", "slide2.xml", "https://example.com/viewer"));
    const std::string xml = slide2();
    EXPECT_EQ(std::string::npos, xml.find("mc:AlternateContent"));
    EXPECT_EQ(std::string::npos, xml.find("p:controls"));
    EXPECT_EQ(std::string::npos, xml.find("Orvia Plugin not installed"));
    EXPECT_TRUE(rel2("rId4").empty());
    EXPECT_FALSE(relates2("ppt/drawings/vmlDrawing1.vml"));
    const OpenXMLSlideDocument& slide = *presentation->viewSlide("slide2.xml");
    XmlElement last;
    for (XmlElement e = slide.getShapeTree().getFirstChildElement("p:pic"); e; e = e.getNextSiblingElement("p:pic")) last = e;
    EXPECT_GOLDEN("pptx/convert-mdlx-picture.xml", print(last));  // SIT9_PICTURE, 3300000 x 1650000
    EXPECT_FALSE(presentation->convertMdlxInSlide("SIT5_MDLX", "", png, 1.0f, "", "slide2.xml", ""));
    EXPECT_EQ(1u, errors().size());
    EXPECT_FALSE(hasPart("ppt/drawings/vmlDrawing1.vml"));
    EXPECT_FALSE(hasPart("ppt/activeX/activeX1.xml"));
    closeAndCheck(true);
}

TEST_F(Slide3D, InsertedPicturesGetShapeIdsNoShapeOfTheSlideHas) {
    const std::string png = image();
    for (int i = 0; i < 2; ++i) {
        XmlDocument source;
        ASSERT_TRUE(source.parseText(pic("x").c_str()));
        TiXmlElement* picture = static_cast<TiXmlElement*>(source.getRootElement().tx()->Clone());
        ASSERT_TRUE(presentation->insertImage(png, "Inserted", "slide4.xml", picture, ""));
    }
    const std::string xml = part("ppt/slides/slide4.xml");
    EXPECT_NE(std::string::npos, xml.find("id=\"10042\" name=\"Inserted\""));
    EXPECT_NE(std::string::npos, xml.find("id=\"10043\" name=\"Inserted\""));
    EXPECT_FALSE(presentation->insertImage(png, "X", "", nullptr, ""));
    closeAndCheck();
}

TEST_F(Slide3D, UnusedControlPartsGoMediaStays) {
    OpenXMLPackage& package = presentation->package();
    ASSERT_TRUE(package.copyPart(package.part("ppt/activeX/activeX1.xml"), "ppt/activeX/activeX3.xml"));
    EXPECT_TRUE(presentation->viewSlide("slide2.xml")->controlUsesId("rId4"));
    EXPECT_FALSE(presentation->viewSlide("slide2.xml")->controlUsesId("rId5"));
    EXPECT_FALSE(hasPart("ppt/activeX/activeX3.xml"));
    EXPECT_TRUE(hasPart("ppt/activeX/activeX1.xml"));  // the control still shows it
    EXPECT_TRUE(hasPart("ppt/drawings/vmlDrawing1.vml"));
    EXPECT_TRUE(hasPart("ppt/media/image2.png"));  // the picture of the SIT5_MDLX shape
    EXPECT_EQ(std::string::npos, part("[Content_Types].xml").find("activeX3.xml"));
    closeAndCheck();
}

TEST_F(BadInput, SlideWithoutShapeTree) {
    replacePart("ppt/slides/slide2.xml", std::string("<p:sld ") + slideNamespaces() + "><p:cSld/></p:sld>");
    keep({"ppt/slides/slide2.xml", "ppt/slides/_rels/slide2.xml.rels"});
    expectCleanFailure(presentation->setText("SIT1_TEXT", "x", "", "slide2.xml"));
    expectCleanFailure(presentation->setImage("", "SIT2_PICTURE", image(), 4, 3, "", "slide2.xml", ""));
    expectCleanFailure(presentation->setTable("SIT3_TABLE", kiv::rep::Table(2, 2), "", "slide2.xml"));
    EXPECT_FALSE(hasPart("ppt/media/image3.png"));
}

TEST_F(BadInput, RelationshipsPartMissingOrNotXml) {
    replacePart("ppt/slides/_rels/slide2.xml.rels", "this is not XML <");
    keep({"ppt/slides/slide2.xml", "[Content_Types].xml"});
    expectCleanFailure(presentation->setImage("", "SIT2_PICTURE", image(), 4, 3, "", "slide2.xml", ""));
    EXPECT_FALSE(hasPart("ppt/media/image3.png"));  // no picture stored for nothing
    std::string newName;
    const int parts = presentation->package().partCount();
    expectCleanFailure(presentation->duplicateSlide("slide2.xml", newName));
    EXPECT_EQ(parts, presentation->package().partCount());
    expectCleanFailure(presentation->setMdlx("SIT5_MDLX", "/m.mdlx", "", "", "slide2.xml"));
}

TEST_F(BadInput, PictureWithoutBlipTableWithoutGridChartWithoutRelationship) {
    std::string slide = part("ppt/slides/slide2.xml");
    auto cut = [&slide](const std::string& from, const std::string& to) {
        const size_t a = slide.find(from);
        const size_t b = slide.find(to, a);
        ASSERT_NE(std::string::npos, a);
        slide.erase(a, b + to.size() - a);
    };
    cut("<a:blip r:embed=\"rId2\"", "/>");
    cut("<a:tblGrid>", "</a:tblGrid>");
    const size_t chartId = slide.find("r:id=\"rId3\"");
    ASSERT_NE(std::string::npos, chartId);
    slide.replace(chartId, 11, "r:id=\"rId99\"");
    replacePart("ppt/slides/slide2.xml", slide);
    keep({"ppt/slides/slide2.xml", "ppt/slides/_rels/slide2.xml.rels", "ppt/charts/chart1.xml"});
    expectCleanFailure(presentation->setImage("", "SIT2_PICTURE", image(), 4, 3, "", "slide2.xml", ""));
    kiv::rep::Table table(2, 3);
    expectCleanFailure(presentation->setTable("SIT3_TABLE", table, "", "slide2.xml"));
    table.setValue(1, 0, kiv::Str("1"));
    expectCleanFailure(presentation->setChart("SIT4_CHART", ChartData(table), "", "slide2.xml"));
    // The text shapes of the slide still take their texts.
    EXPECT_TRUE(presentation->setText("SIT1_TEXT", "ok", "", "slide2.xml"));
    EXPECT_TRUE(errors().empty());
}

TEST_F(BadInput, UnknownTagsAndSlides) {
    EXPECT_FALSE(presentation->setText("SIT9_TEXT", "x", "", ""));
    EXPECT_FALSE(presentation->setImage("", "SIT9_PICTURE", image(), 4, 3, "", "", ""));
    EXPECT_FALSE(presentation->setImage("", "SIT2_PICTURE", dir.file("none.png"), 4, 3, "", "slide2.xml", ""));
    EXPECT_FALSE(presentation->setGraphicFrameTag("SIT3_TABLE", "X", "slide9.xml"));
    EXPECT_FALSE(presentation->setMdlx("SIT9_MDLX", "/m.mdlx", "", "", ""));
    std::string newName;
    EXPECT_FALSE(presentation->duplicateSlide("", newName));
    EXPECT_EQ(6u, errors().size());
    closeAndCheck();
}
