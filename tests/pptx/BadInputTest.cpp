// Broken slides and packages: each operation fails with one logged error and
// writes nothing that would leave the package worse than it found it.
#include "KivReport/Table.h"
#include "PptxTestSupport.h"
#include "impl/openxml/MkChartData.h"

using namespace pptxtest;

namespace {

class BadInput : public TaggedDeckTest {
protected:
    void replacePart(const std::string& name, const std::string& text) {
        ASSERT_TRUE(presentation->WriteDataRaw(MkString(name.c_str()), text.data(), text.size(), true));
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

} // namespace

TEST_F(BadInput, SlideWithoutShapeTree) {
    replacePart("ppt/slides/slide2.xml", std::string("<p:sld ") + slideNamespaces() + "><p:cSld/></p:sld>");
    keep({"ppt/slides/slide2.xml", "ppt/slides/_rels/slide2.xml.rels"});
    expectCleanFailure(presentation->SetText(L"SIT1_TEXT", MkString(L"x"), MkString(), L"slide2.xml"));
    expectCleanFailure(presentation->SetImage(L"", L"SIT2_PICTURE", wide(image()), 4, 3, MkString(), L"slide2.xml", MkString()));
    expectCleanFailure(presentation->SetTable(L"SIT3_TABLE", kiv::rep::Table(2, 2), MkString(), L"slide2.xml"));
    EXPECT_FALSE(hasPart("ppt/media/image3.png"));
}

TEST_F(BadInput, RelationshipsPartMissingOrNotXml) {
    replacePart("ppt/slides/_rels/slide2.xml.rels", "this is not XML <");
    keep({"ppt/slides/slide2.xml", "[Content_Types].xml"});
    expectCleanFailure(presentation->SetImage(L"", L"SIT2_PICTURE", wide(image()), 4, 3, MkString(), L"slide2.xml", MkString()));
    EXPECT_FALSE(hasPart("ppt/media/image3.png"));  // no picture stored for nothing
    MkString newName;
    const int entries = presentation->GetNumFiles();
    expectCleanFailure(presentation->DuplicateSlide(L"slide2.xml", newName));
    EXPECT_EQ(entries, presentation->GetNumFiles());
    expectCleanFailure(presentation->SetMDLX(L"SIT5_MDLX", MkString(L"/m.mdlx"), MkString(), MkString(), L"slide2.xml"));
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
    expectCleanFailure(presentation->SetImage(L"", L"SIT2_PICTURE", wide(image()), 4, 3, MkString(), L"slide2.xml", MkString()));
    kiv::rep::Table table(2, 3);
    expectCleanFailure(presentation->SetTable(L"SIT3_TABLE", table, MkString(), L"slide2.xml"));
    table.setValue(1, 0, kiv::Str("1"));
    expectCleanFailure(presentation->SetChart(L"SIT4_CHART", MkChartData(table), MkString(), L"slide2.xml"));
    // The text shapes of the slide still take their texts.
    EXPECT_TRUE(presentation->SetText(L"SIT1_TEXT", MkString(L"ok"), MkString(), L"slide2.xml"));
    EXPECT_TRUE(errors().empty());
}

TEST_F(BadInput, UnknownTagsAndSlides) {
    EXPECT_FALSE(presentation->SetText(L"SIT9_TEXT", MkString(L"x"), MkString(), MkString()));
    EXPECT_FALSE(presentation->SetImage(L"", L"SIT9_PICTURE", wide(image()), 4, 3, MkString(), MkString(),
                                        MkString()));
    EXPECT_FALSE(presentation->SetImage(L"", L"SIT2_PICTURE", MkString(dir.file("none.png").c_str()), 4, 3, MkString(),
                                        L"slide2.xml", MkString()));
    EXPECT_FALSE(presentation->SetGraphicFrameTag(L"SIT3_TABLE", L"X", L"slide9.xml"));
    EXPECT_FALSE(presentation->SetMDLX(L"SIT9_MDLX", MkString(L"/m.mdlx"), MkString(), MkString(), MkString()));
    MkString newName;
    EXPECT_FALSE(presentation->DuplicateSlide(MkString(), newName));
    EXPECT_EQ(6u, errors().size());
    closeAndCheck();
}
