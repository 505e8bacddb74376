// The Word package editor on whole packages (Office-made templates are run
// through the Word report). Every package written here must pass ooxml-check.
#include "KivReport/Table.h"
#include "WordTestSupport.h"
#include "impl/common/Utils.h"
#include "impl/openxml/MkChartData.h"
#include "support/Builders.h"
#include "support/Golden.h"
#include "support/OoxmlCheck.h"

using namespace wordtest;

namespace {

class WordArchiveTest : public LoggingTest {
protected:
    // A copy of a package in the temporary folder, opened for change.
    bool openCopy(const std::string& source, const std::string& name) {
        path = dir.file(name);
        if (!copyFile(source, path)) return false;
        return archive.Open(MkString(path.c_str()), ZIP_OPEN);
    }
    std::string jpeg(const std::string& name, unsigned width, unsigned height) {
        const std::string file = dir.file(name);
        EXPECT_TRUE(Utils::saveImageAsJpeg(flatImage(width, height).get(), MkString(file.c_str())));
        return file;
    }
    std::string part(const wchar_t* name) { return readPart(archive, narrow(name)); }
    int filesIn(const wchar_t* folder) {
        MkStringArray names;
        archive.FindFiles(folder, true, &names);
        return names.GetSize();
    }
    MkWordDocumentContent scan() {
        MkWordDocumentContent content;
        archive.GetDocumentContent(content);
        return content;
    }

    TempDir dir;
    std::string path;
    MkOpenXMLWordArchive archive;
};

MkFormattedTextArray text(const wchar_t* value) {
    MkFormattedTextArray runs;
    MkFormattedText run;
    run.text = value;
    runs.Add(run);
    return runs;
}

kiv::rep::Table chartTable() {
    kiv::rep::Table t(4, 3);
    const char* cells[4][3] = {{"t", "p", "q"}, {"1", "5", "7"}, {"2", "6", "8"}, {"3", "4", "9"}};
    for (size_t r = 0; r < 4; ++r)
        for (size_t c = 0; c < 3; ++c) t.setValue(r, c, kiv::Str(cells[r][c]));
    return t;
}

} // namespace

TEST_F(WordArchiveTest, FillingEveryTagKindGivesAValidPackage) {
    ASSERT_TRUE(openCopy(testPackage("tagged"), "tagged.docx"));
    const MkWordDocumentContent content = scan();
    EXPECT_EQ(2, content.GetTags(SIT_TYPE_TITLE)->GetSize());
    EXPECT_EQ(2, content.GetTags(SIT_TYPE_TABLE)->GetSize());
    EXPECT_EQ(1, content.GetTags(SIT_TYPE_MDLX)->GetSize());
    EXPECT_FLOAT_EQ(1.0f, archive.GetRatio(SIT_TYPE_PICTURE, L"SIT1_PICTURE", 0));
    EXPECT_FLOAT_EQ(2.0f, archive.GetRatio(SIT_TYPE_MDLX, L"SIT1_MDLX", 0));

    EXPECT_TRUE(archive.SetTitle(L"SIT1_TITLE", L"Pressure field"));
    EXPECT_TRUE(archive.SetTitle(L"SIT2_TITLE", L"In a cell"));
    EXPECT_TRUE(archive.SetText(L"SIT1_TEXT", text(L"Max   value")));
    EXPECT_TRUE(archive.SetTable(L"SIT1_TABLE", chartTable()));
    EXPECT_TRUE(archive.SetTable(L"SIT2_TABLE", chartTable()));
    MkStringArray names;
    names.AddGrow(L"SIT1_$DATABASE_NAME");
    MkOArray<MkFormattedTextArray> values;
    values.Add(text(L"engine.db"));
    EXPECT_TRUE(archive.SetAllMacros(names, values));
    const kiv::rep::Table table = chartTable();
    MkChartData chart(table);
    chart.m_title = L"Pressure";
    EXPECT_TRUE(archive.SetChart(L"SIT1_CHART", chart));

    // A picture twice: one file, one pair of relationships; the placeholder picture goes.
    const std::string picture = jpeg("picture.jpg", 400, 200);
    const int media = filesIn(L"word\\media");
    EXPECT_TRUE(archive.SetImage(L"SIT1_PICTURE", MkString(picture.c_str()), 400, 200, false, MkString(),
                                 L"https://viewer.example/1"));
    EXPECT_TRUE(archive.SetImage(L"SIT1_PICTURE", MkString(picture.c_str()), 400, 200, false, MkString(),
                                 L"https://viewer.example/1"));
    EXPECT_EQ(media, filesIn(L"word\\media"));  // the placeholder's file out, the picture's in
    EXPECT_LT(archive.FindFile(L"word\\media\\image1.png"), 0);

    // The viewer control becomes a picture control; its part and preview go.
    const std::string shot = jpeg("shot.jpg", 300, 300);
    EXPECT_TRUE(archive.SetImage(L"SIT1_MDLX", MkString(shot.c_str()), 300, 300, true, L"SIT1_MDLXPICTURE",
                                 MkString()));
    EXPECT_LT(archive.FindFile(L"word\\activeX\\activeX1.xml"), 0);
    EXPECT_LT(archive.FindFile(L"word\\media\\image2.png"), 0);
    EXPECT_EQ(std::string::npos, part(L"[Content_Types].xml").find("activeX1"));
    ASSERT_TRUE(archive.Close());
    MkXmlDocument written;
    ASSERT_TRUE(written.ParseText(readPart(path, "word/document.xml").c_str()));
    EXPECT_GOLDEN("docx/tagged_filled_document.xml", written.PrintToString());
    // One pair of relationships for the picture, none left for the placeholder.
    EXPECT_GOLDEN("docx/tagged_filled_document.xml.rels", readPart(path, "word/_rels/document.xml.rels"));
    EXPECT_TRUE(passesOoxmlCheck({path}, true));
}

TEST_F(WordArchiveTest, UnrolledChartsGetAChartPartEach) {
    ASSERT_TRUE(openCopy(testPackage("groups"), "groups.docx"));
    EXPECT_TRUE(archive.ExpandGroup(indices({0, 1, 2}), L"SIT_CHART"));
    EXPECT_TRUE(archive.ExpandGroup(indices({0, 1}), L"SIT_TABLE"));
    EXPECT_TRUE(archive.ExpandGroup(indices({0, 2}), MkString()));
    ASSERT_TRUE(archive.SyncCharts());

    MkOpenXMLWordDocument document;
    ASSERT_TRUE(archive.ReadDocument(&document));
    MkXmlElementList charts;
    MkOpenXMLDocument::FindAllElements(document.GetBody(), "c:chart", &charts, true, true);
    ASSERT_EQ(3u, charts.size());
    EXPECT_EQ("rId11 rId12", narrow(charts[0].GetAttributeString(L"r:id") + L" " + charts[1].GetAttributeString(L"r:id")));
    for (size_t i = 0; i < charts.size(); ++i)
        EXPECT_EQ("charts/chart" + std::to_string(i + 1) + ".xml",
                  narrow(archive.GetTargetOfId(L"word\\_rels\\document.xml.rels", charts[i].GetAttributeString(L"r:id"))));

    // Each copy's chart is filled on its own.
    const kiv::rep::Table table = chartTable();
    MkChartData chart(table);
    EXPECT_TRUE(archive.SetChart(L"SIT2_CHART", chart));
    EXPECT_TRUE(archive.SetTitle(L"SIT3_TITLE", L"third"));
    const std::string picture = jpeg("p.jpg", 64, 48);
    EXPECT_TRUE(archive.SetImage(L"SIT1_PICTURE", MkString(picture.c_str()), 64, 48, false, MkString(), MkString()));
    // The placeholder picture stays while the other copy still shows it.
    EXPECT_GE(archive.FindFile(L"word\\media\\image1.png"), 0);
    EXPECT_TRUE(archive.SetImage(L"SIT3_PICTURE", MkString(picture.c_str()), 64, 48, false, MkString(), MkString()));
    EXPECT_LT(archive.FindFile(L"word\\media\\image1.png"), 0);
    EXPECT_TRUE(archive.DeleteObsoleteFiles());
    ASSERT_TRUE(archive.Close());
    EXPECT_OOXML_VALID(path);
}

TEST_F(WordArchiveTest, BrokenDocumentsFailAndLeaveAValidPackage) {
    ASSERT_TRUE(openCopy(testPackage("tagged"), "broken.docx"));
    MkOpenXMLWordDocument noBody;
    ASSERT_TRUE(noBody.ParseText("<w:document xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\"/>"));
    ASSERT_TRUE(archive.WriteDocument(noBody));
    EXPECT_FALSE(archive.ExpandGroup(indices({0}), MkString()));
    EXPECT_TRUE(archive.SetTitle(L"SIT1_TITLE", L"x"));  // nothing to fill
    EXPECT_FALSE(archive.SetMDLX(L"SIT1_MDLX", L"/tmp/model.mdlx", MkString()));
    EXPECT_EQ(MkOpenXMLWordDocument::NO_RATIO, archive.GetRatio(SIT_TYPE_PICTURE, L"SIT1_PICTURE", 0));
    ASSERT_TRUE(archive.Close());
    EXPECT_OOXML_VALID(path);

    // A closed archive reads nothing.
    MkOpenXMLWordArchive closed;
    MkWordDocumentContent content;
    closed.GetDocumentContent(content);
    EXPECT_EQ(0, content.GetAllTags().GetSize());
    EXPECT_EQ(0.0f, closed.GetRatio(SIT_TYPE_PICTURE, L"SIT1_PICTURE", 0));
    EXPECT_FALSE(closed.SetTitle(L"SIT1_TITLE", L"x"));
}

TEST_F(WordArchiveTest, ViewerControlsGetTheirOwnControlPartAndPreview) {
    ASSERT_TRUE(openCopy(testPackage("tagged"), "models.docx"));
    // A second viewer control sharing the first one's control part and preview,
    // as the copies of an unrolled group do.
    MkOpenXMLWordDocument document;
    ASSERT_TRUE(archive.ReadDocument(&document));
    MkXmlElementList controls;
    MkOpenXMLDocument::FindAllElements(document.GetBody(), "w:control", &controls, true, false);
    ASSERT_EQ(1u, controls.size());
    TiXmlElement* paragraph = MkOpenXMLDocument::GetAncestor(controls[0], "w:p").Tx();
    TiXmlElement* copy = paragraph->Parent()->InsertAfterChild(paragraph, *paragraph)->ToElement();
    MkXmlElementList copied;
    MkOpenXMLDocument::FindAllElements(MkXmlElement(copy), "w:control", &copied, true, false);
    copied[0].AddAttributeString(L"w:name", L"SIT2_MDLX");
    ASSERT_TRUE(archive.WriteDocument(document));

    const std::string first = jpeg("first.jpg", 200, 100), second = jpeg("second.jpg", 100, 100);
    EXPECT_TRUE(archive.SetMDLX(L"SIT1_MDLX", MkString(dir.file("model.mdlx").c_str()), MkString(first.c_str())));
    // Still used by SIT2_MDLX: the shared control part and preview stay.
    EXPECT_GE(archive.FindFile(L"word\\activeX\\activeX1.xml"), 0);
    EXPECT_GE(archive.FindFile(L"word\\media\\image2.png"), 0);
    EXPECT_TRUE(archive.SetMDLX(L"SIT2_MDLX", L"/elsewhere/other.mdlx", MkString(second.c_str())));
    EXPECT_LT(archive.FindFile(L"word\\activeX\\activeX1.xml"), 0);
    EXPECT_LT(archive.FindFile(L"word\\media\\image2.png"), 0);
    EXPECT_FALSE(archive.SetMDLX(L"SIT3_MDLX", L"/elsewhere/other.mdlx", MkString()));

    const MkString rels = MkString(L"word\\_rels\\document.xml.rels");
    const std::string part1 = part(L"word\\activeX\\activeX2.xml"), part2 = part(L"word\\activeX\\activeX3.xml");
    EXPECT_NE(std::string::npos, part1.find("ax:value=\"model.mdlx\"")) << part1;  // beside the package
    EXPECT_NE(std::string::npos, part2.find("other.mdlx")) << part2;
    EXPECT_EQ(MkString(L"activeX/activeX2.xml"), archive.GetTargetOfId(rels, L"rIdSIT1_MDLX"));
    ASSERT_TRUE(archive.ReadDocument(&document));
    MkXmlElementList previews;
    MkOpenXMLDocument::FindAllElements(document.GetBody(), "v:imagedata", &previews, true, false);
    ASSERT_EQ(2u, previews.size());
    EXPECT_NE(previews[0].GetAttributeString(L"r:id"), previews[1].GetAttributeString(L"r:id"));
    ASSERT_TRUE(archive.Close());
    EXPECT_OOXML_VALID(path);
}

TEST_F(WordArchiveTest, ABatchWritesTheSameDocumentOnce) {
    const std::string picture = jpeg("p.jpg", 64, 48);
    auto fill = [&](bool batch) {
        EXPECT_TRUE(openCopy(testPackage("groups"), batch ? "batch.docx" : "single.docx"));
        if (batch) {
            EXPECT_TRUE(archive.BeginBatch());
        }
        EXPECT_TRUE(archive.ExpandGroup(indices({0, 1}), MkString()));
        EXPECT_TRUE(archive.SetTitle(L"SIT1_TITLE", L"one"));
        EXPECT_TRUE(archive.SetText(L"SIT2_TEXT", text(L"two")));
        EXPECT_TRUE(archive.SetImage(L"SIT2_PICTURE", MkString(picture.c_str()), 64, 48, false, MkString(), MkString()));
        EXPECT_TRUE(archive.SetTable(L"SIT1_TABLE", chartTable()));
        // Nothing reaches the package before the batch ends.
        const std::string before = part(L"word\\document.xml");
        EXPECT_EQ(batch, before.find(">one<") == std::string::npos);
        if (batch) {
            EXPECT_TRUE(archive.EndBatch());
        }
        const std::string document = part(L"word\\document.xml");
        EXPECT_TRUE(archive.Close());
        EXPECT_OOXML_VALID(path);
        return document;
    };
    EXPECT_EQ(fill(false), fill(true));

    // Several controls in one batch, one of them wrapping a table cell.
    ASSERT_TRUE(openCopy(testPackage("tagged"), "nested.docx"));
    ASSERT_TRUE(archive.BeginBatch());
    EXPECT_TRUE(archive.SetText(L"SIT1_TEXT", text(L"x")));
    EXPECT_TRUE(archive.SetTitle(L"SIT2_TITLE", L"cell"));
    EXPECT_TRUE(archive.EndBatch());
    EXPECT_NE(std::string::npos, part(L"word\\document.xml").find(">cell<"));
    EXPECT_TRUE(archive.Close());
}
