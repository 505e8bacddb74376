// The operations on the tagged decks made from presentations saved by PowerPoint.
#include "KivReport/Table.h"
#include "PptxTestSupport.h"
#include "impl/openxml/MkChartData.h"

using namespace pptxtest;

namespace {

class OfficeTemplates : public DeckTest {};

kiv::rep::Table table(size_t rows, size_t columns) {
    kiv::rep::Table t(rows, columns);
    for (size_t r = 0; r < rows; ++r)
        for (size_t c = 0; c < columns; ++c)
            t.setValue(r, c, kiv::Str(std::to_string(r == 0 ? 100 + c : r * 10 + c).c_str()));
    return t;
}

} // namespace

TEST_F(OfficeTemplates, StaticSlidesTakeTextsPicturesAndTables) {
    openCopy(officeTemplate("pp_static.pptx"));
    ASSERT_TRUE(presentation->CreateSlideContentList());
    const std::string png = image();
    EXPECT_TRUE(presentation->SetText(L"SIT1_TITLE", MkString(L"Wing load case"), MkString(), MkString()));
    EXPECT_TRUE(presentation->SetText(L"SIT1_TEXT", MkString(L"Description"), MkString(), L"slide1.xml"));
    EXPECT_TRUE(presentation->SetImage(L"p", L"SIT2_PICTURE", MkString(png.c_str()), 8, 6, MkString(), L"slide1.xml",
                                       L"https://example.com"));
    EXPECT_TRUE(presentation->SetImage(L"p", L"SIT2_PICTURE", MkString(png.c_str()), 8, 6, MkString(), L"slide2.xml",
                                       MkString()));
    EXPECT_TRUE(presentation->SetTable(L"SIT3_TABLE", table(3, 2), MkString(), L"slide1.xml"));
    EXPECT_TRUE(presentation->SetTable(L"SIT4_TABLE", table(2, 3), MkString(), L"slide2.xml"));
    EXPECT_TRUE(presentation->SetText(L"SIT1_$DATABASE_NAME", MkString(L"wing.db"), MkString(), L"slide2.xml"));
    EXPECT_TRUE(errors().empty());
    ASSERT_TRUE(presentation->RemoveUnusedFiles());
    closeAndCheck(true);
}

TEST_F(OfficeTemplates, GenericSlideRepeatedAndRemoved) {
    openCopy(officeTemplate("pp_generic.pptx"));
    ASSERT_TRUE(presentation->CreateSlideContentList());
    const std::string png = image();
    const MkString sourceId = presentation->GetSlideContentList()->GetSlideByName(L"slide1.xml")->slideRelId;
    for (int n = 1; n <= 2; ++n) {
        MkString copy;
        ASSERT_TRUE(presentation->DuplicateSlide(L"slide1.xml", copy));
        MkString title, picture;
        title.MakeForm("SIT%d_TITLE", n);
        picture.MakeForm("SIT%d_PICTURE", n);
        EXPECT_TRUE(presentation->SetText(L"SIT_TITLE", MkString(L"Snapshot"), title, copy));
        EXPECT_TRUE(presentation->SetImage(L"", L"SIT_PICTURE", MkString(png.c_str()), 8, 6, picture, copy, MkString()));
    }
    ASSERT_TRUE(presentation->RemoveSlide(sourceId));
    EXPECT_EQ(6, presentation->SlideCount());
    ASSERT_TRUE(presentation->RemoveUnusedFiles());
    EXPECT_TRUE(errors().empty());
    closeAndCheck(true);
}

TEST_F(OfficeTemplates, ViewerControlsPointedAtModelsOrConverted) {
    openCopy(officeTemplate("pp_models.pptx"));
    ASSERT_TRUE(presentation->CreateSlideContentList());
    const MkSlideContentPtrArray* slides = presentation->GetSlideContentList();
    ASSERT_EQ(2, slides->GetSize());
    EXPECT_TRUE(slides->HasMixedMdlxTags().IsEmpty());
    const std::string model = dir.file("model.mdlx");
    ASSERT_TRUE(kivtest::writeFile(model, "m"));
    EXPECT_TRUE(presentation->SetMDLX(L"SIT1_MDLX", MkString(model.c_str()), MkString(), MkString(), MkString()));
    ASSERT_TRUE(presentation->CreateSlideContentList());
    EXPECT_TRUE(presentation->ConvertMdlxInSlide(L"SIT_MDLX", MkString(), MkString(image().c_str()), 1.5f, L"SIT1_MDLX",
                                                 MkString(), MkString()));
    ASSERT_TRUE(presentation->RemoveUnusedFiles());
    EXPECT_TRUE(errors().empty());
    closeAndCheck();

    MkOpenXMLPresentation mixed;
    ASSERT_TRUE(mixed.Open(MkString(officeTemplate("pp_mixed.pptx").c_str()), ZIP_OPEN_READ_ONLY));
    ASSERT_TRUE(mixed.CreateSlideContentList());
    EXPECT_EQ("2", std::string(mixed.GetSlideContentList()->HasMixedMdlxTags().GetAsString().ShortChar()));
}

TEST_F(OfficeTemplates, LineChartTakesTheTable) {
    openCopy(officeTemplate("pp_chart.pptx"));
    ASSERT_TRUE(presentation->CreateSlideContentList());
    const kiv::rep::Table data = table(4, 3);
    MkChartData chart(data);
    EXPECT_TRUE(presentation->SetChart(L"SIT1_CHART", chart, L"SIT2_CHART", L"slide1.xml"));
    MkString copy;
    ASSERT_TRUE(presentation->DuplicateSlide(L"slide1.xml", copy));
    EXPECT_TRUE(presentation->SetChart(L"SIT2_CHART", chart, MkString(), copy));
    EXPECT_TRUE(errors().empty());
    closeAndCheck();
}
