// PowerPoint reports end to end: static and generic slides from repositories of
// images, models and tables; validation and summary texts. Every report written
// passes the Office checker.
#include "KivReport/ReportCreatorPowerPoint.h"
#include "KivReport/ReportCreatorPowerPoint_p.h"
#include "KivReport/Repository.h"
#include "impl/common/TemplateTexts.h"
#include "impl/common/SnapshotPictures.h"
#include "impl/pptx/OpenXMLPresentation.h"
#include "support/Golden.h"
#include "word/ReportTestSupport.h"
#include <cctype>

using namespace kiv::rep;  // the layers' classes

using kiv::Str;
using kiv::rep::ReportCreatorPowerPoint;
using kiv::rep::ReportCreatorPowerPointPrivate;
using kiv::rep::Repository;
using namespace kivtest;

namespace {

std::string testDeck(const std::string& name) { return std::string(KIV_BINARY_DIR) + "/tests/data/pptx/" + name + ".pptx"; }

class PowerPointReport : public ReportTest {
protected:
    PowerPointReport() : output(dir.file("report.pptx")) {}

    // Generates from the template, checks the report and returns its slide parts in slide order.
    std::vector<std::string> slides(Repository* repository, const std::string& deck, std::vector<unsigned> generic = {},
                                    bool render = false) {
        ReportCreatorPowerPoint creator(repository, Str(officeTemplate(deck)));
        if (!generic.empty()) creator.setGenericSnapshotIndices(generic);
        const uint64_t written = ZipArchive::entriesWritten();
        EXPECT_TRUE(creator.generate(Str(output))) << allErrors();
        EXPECT_EQ(entries(output).size(), ZipArchive::entriesWritten() - written);  // each part once
        EXPECT_TRUE(passesOoxmlCheck({output}, render));
        EXPECT_EQ(readFile(output).find("PK\x06\x06"), std::string::npos) << "a ZIP64 record below its limits";
        // Office writes its XML on one line, and so does the report of an Office template.
        for (const std::string& e : entries(output)) {
            const std::string text = readPart(output, e);
            EXPECT_TRUE(text[0] != '<' || (text.find("\n ") == text.npos && text.find("\n\t") == text.npos)) << e;
        }
        OpenXMLPresentation p;
        std::vector<std::string> out;
        std::vector<std::string> ids;
        if (!p.open(output) || !p.getPresentationSlideIdList(&ids)) return out;
        for (const std::string& id : ids) out.push_back(readPart(output, p.mainRels()->find(id)->part));
        return out;
    }
    static bool has(const std::string& xml, const std::string& text) { return xml.find(text) != std::string::npos; }
    // The snapshot with a picture of its own.
    static SnapshotRef pictured(SnapshotRef s) {
        s->setImage(flatImage(16, 12).p());
        return s;
    }

    std::string output;
};

}  // namespace

TEST_F(PowerPointReport, GenericSlideRepeatedPerSnapshotInPlace) {
    auto repo = repositoryOf({namedImageSnapshot("one").p(), namedImageSnapshot("two").p(), namedImageSnapshot("three").p()});
    const std::vector<std::string> s = slides(repo.p(), "pp_one_generic.pptx");
    ASSERT_EQ(3u, s.size());
    for (int n = 1; n <= 3; ++n) {
        EXPECT_TRUE(has(s[n - 1], "name=\"SIT" + std::to_string(n) + "_TITLE\"")) << n;
        EXPECT_TRUE(has(s[n - 1], "name=\"SIT" + std::to_string(n) + "_PICTURE\"")) << n;
    }
}

// Snapshots showing one picture (the same image's bytes, or equal bytes) share
// one media part; another picture gets its own.
TEST_F(PowerPointReport, APictureSnapshotsShareIsStoredOnce) {
    std::vector<unsigned char> jpeg;
    kiv::rep::Problems problems;
    ASSERT_TRUE(kiv::rep::SnapshotPictures::jpegBytesOf(flatImage(16, 12).p(), &jpeg, &problems));
    kiv::PtrRef<kiv::Image> one = flatImage(16, 12), equal = flatImage(16, 12);
    one->setSourceJpeg(jpeg);
    equal->setSourceJpeg(jpeg);
    SnapshotRef a = imageSnapshot(8, 8), b = imageSnapshot(8, 8), c = imageSnapshot(8, 8), d = imageSnapshot(16, 12, 30);
    a->setImage(one.p());
    b->setImage(one.p());
    c->setImage(equal.p());
    ASSERT_EQ(4u, slides(repositoryOf({a.p(), b.p(), c.p(), d.p()}).p(), "pp_one_generic.pptx").size());
    const std::vector<std::string> names = entries(output);
    EXPECT_EQ(2, std::count_if(names.begin(), names.end(),
                               [](const std::string& n) { return n.find("ppt/media/") == 0 && n.find(".jpeg") != n.npos; }));
}

TEST_F(PowerPointReport, GenericIndicesAndTextualOnlySlides) {
    auto repo = repositoryOf({namedImageSnapshot("one").p(), tableSnapshot({{"t", "p"}, {"0", "1"}}).p(),
                              pictured(textSnapshot("three", "desc", {{"DATABASE_NAME", "wing.db"}})).p()});
    const std::vector<std::string> s = slides(repo.p(), "pp_generic.pptx", {0, 2}, true);
    // intro, G1 for 1 and 3, G2 (textual only) for 1 and 3, G3 for 1 and 3, outro
    ASSERT_EQ(8u, s.size());
    EXPECT_TRUE(has(s[4], "name=\"SIT3_$DATABASE_NAME\"") || has(s[3], "name=\"SIT3_$DATABASE_NAME\""));
    bool macroFilled = false;
    for (const std::string& x : s) macroFilled = macroFilled || has(x, "wing.db");
    EXPECT_TRUE(macroFilled);
}

TEST_F(PowerPointReport, StaticTagsAndOutOfRangeIndices) {
    auto repo = repositoryOf({pictured(textSnapshot("First", "<b>bold</b> text", {{"DATABASE_NAME", "db1"}})).p(),
                              pictured(textSnapshot("Second")).p(), tableSnapshot({{"a", "b"}, {"1", "2"}, {"3", "4"}}).p()});
    const std::vector<std::string> s = slides(repo.p(), "pp_static.pptx", {}, true);
    ASSERT_EQ(2u, s.size());
    EXPECT_TRUE(has(s[0], ">First<"));
    EXPECT_TRUE(has(s[1], ">db1<"));
    // SIT9_TITLE is beyond the repository: left as it is, and SIT2_TITLE after it is filled.
    EXPECT_TRUE(has(s[1], "name=\"SIT9_TITLE\""));
    EXPECT_TRUE(has(s[1], ">Second<"));
}

TEST_F(PowerPointReport, EveryTaggedTemplateAndEveryKindWithAndWithoutPlugin) {
    std::vector<std::string> reports;
    for (bool plugin : {true, false}) {
        auto repo = repositoryOf({pictured(textSnapshot("First", "text")).p(), namedImageSnapshot("two").p(),
                                  tableSnapshot({{"n", "x", "y"}, {"1", "2", "3"}}).p(),
                                  tableSnapshot({{"t", "p"}, {"0", "1"}, {"1", "3"}}).p(), previewModelSnapshot(40, 30).p()});
        ReportCreatorPowerPoint creator(repo.p(), Str(testDeck("tagged")));
        creator.setUse3dPlugin(plugin);
        reports.push_back(dir.file(plugin ? "plugin.pptx" : "pictures.pptx"));
        EXPECT_TRUE(creator.generate(Str(reports.back()))) << plugin << allErrors();
    }
    for (const char* name : {"pp_chart.pptx", "pp_generic.pptx", "pp_models.pptx", "pp_one_generic.pptx", "pp_static.pptx",
                             "pp_sum1.pptx", "pp_valid.pptx"}) {
        auto repo = repositoryOf({namedImageSnapshot("one").p(), previewModelSnapshot(40, 30).p(),
                                  tableSnapshot({{"t", "p", "q"}, {"0", "1", "2"}, {"1", "3", "4"}}).p(),
                                  namedImageSnapshot("four").p(), namedImageSnapshot("five").p()});
        reports.push_back(dir.file(std::string("report_") + name));
        EXPECT_TRUE(ReportCreatorPowerPoint(repo.p(), Str(officeTemplate(name))).generate(Str(reports.back())))
            << name << allErrors();
    }
    EXPECT_TRUE(passesOoxmlCheck(reports));
}

// A deck whose master, layout and notes page show WMF logos, with a chart with user
// shapes, an OLE object, links to its generic slides, comments, a custom show and
// sections: what the written parts still use stays, and what named a removed
// generic slide names its copies (or goes, for a slide that got none).
TEST_F(PowerPointReport, GenericSlidesLeaveNoReferenceBehind) {
    auto repo = repositoryOf({namedImageSnapshot("one").p(), imageSnapshot(100, 50).p()});
    const std::vector<std::string> s = slides(repo.p(), "pp_links.pptx");
    ASSERT_EQ(3u, s.size());  // the intro and one copy per picture; the table slide had none
    for (const char* kept : {"ppt/media/image2.wmf", "ppt/media/image3.wmf", "ppt/media/image4.wmf", "ppt/media/image5.wmf",
                             "ppt/drawings/drawing1.xml", "ppt/embeddings/oleObject1.bin"})
        EXPECT_TRUE(hasPart(output, kept)) << kept;
    // Parts as written, without the white space between elements.
    auto part = [this](const std::string& name) {
        std::string xml = readPart(output, name), out;
        for (size_t i = 0; i < xml.size(); ++i)
            if (!(std::isspace(static_cast<unsigned char>(xml[i])) && (out.empty() || out.back() == '>'))) out += xml[i];
        return out;
    };
    const std::string presentation = part("ppt/presentation.xml"), links = part("ppt/slides/_rels/slide1.xml.rels");
    const struct {
        std::string text, in;
        bool present;
    } expected[] = {
        {"<p:sld r:id=\"rId12\" /><p:sld r:id=\"rId13\" /><p:sld r:id=\"rId2\" /></p:sldLst>", presentation, true},
        {"<p14:sldIdLst><p14:sldId id=\"259\" /><p14:sldId id=\"260\" /></p14:sldIdLst>", presentation, true},
        {"<Relationship Id=\"rId12\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/slide\" "
         "Target=\"slide9.xml\"",
         links, true},
        {"\"rId8\"", presentation, false},
        {"\"rId9\"", presentation, false},
        {"rId13", links, false},
        {"rId13", s[0], false},
        {"Target=\"slide9.xml\"", part("ppt/slides/_rels/slide9.xml.rels"), true},
        {"Target=\"slide13.xml\"", part("ppt/slides/_rels/slide13.xml.rels"), true}};
    for (const auto& e : expected) EXPECT_EQ(e.present, has(e.in, e.text)) << e.text;
    int comments = 0;
    for (const std::string& name : entries(output)) comments += name.rfind("ppt/comments/", 0) == 0;
    EXPECT_EQ(3, comments);  // slide 1's and one per copy
}

// A copy of a slide with comments has comments of its own: a legacy comment takes
// its author's next index (after slide 1's 3), and the authors part the last; a
// modern one and its reply new ids, and the copy's slide id. The checker holds
// legacy indices and modern ids unique.
TEST_F(PowerPointReport, CopiedCommentsAreCommentsOfTheirOwn) {
    auto repo = repositoryOf({namedImageSnapshot("one").p(), tableSnapshot({{"k", "v"}, {"a", "1"}}).p(),
                              namedImageSnapshot("three").p(), tableSnapshot({{"k", "v"}, {"b", "2"}}).p()});
    ASSERT_EQ(5u, slides(repo.p(), "pp_links.pptx").size());
    const std::string authors = readPart(output, "ppt/commentAuthors.xml");
    EXPECT_TRUE(has(authors, "id=\"0\" name=\"Reviewer\" initials=\"R\" lastIdx=\"5\"")) << authors;
    EXPECT_TRUE(has(authors, "id=\"1\" name=\"Checker\" initials=\"C\" lastIdx=\"3\"")) << authors;
    for (const auto& copy : {std::make_pair("1", "259"), std::make_pair("2", "260")}) {
        const std::string modern = readPart(output, std::string("ppt/comments/modernComment_") + copy.first + ".xml");
        EXPECT_TRUE(has(modern, std::string("sldId=\"") + copy.second + "\"")) << modern;
        EXPECT_FALSE(has(modern, "8C01}") || has(modern, "8C02}")) << modern;
    }
}

// Pictures fill the box the slide shows (a layout's, one scaled by a group) uncropped
// and undistorted; shapes in groups take their tags; tables repeat the template's
// rows with their fills and heights.
// Targets name their parts however they are written: a generic slide's chart as
// chart%5F1.xml, the chart's workbook as caf%C3%A9.xlsx.
TEST_F(PowerPointReport, EncodedTargetsNameTheirParts) {
    const std::string deck = dir.file("encoded.pptx"), wb = "ppt/embeddings/caf\xc3\xa9.xlsx";
    ASSERT_TRUE(copyFile(officeTemplate("pp_chart.pptx"), deck));
    auto move = [&](const std::string& from, const std::string& to) {
        const std::string bytes = readPart(deck, from);
        ASSERT_TRUE(putPart(deck, to, bytes) && putPart(deck, from, "")) << from;
    };
    auto edit = [&](const std::string& part, const std::string& from, const std::string& to) {
        std::string text = readPart(deck, part);
        ASSERT_NE(std::string::npos, text.find(from)) << part;
        ASSERT_TRUE(putPart(deck, part, text.replace(text.find(from), from.size(), to))) << part;
    };
    move("ppt/charts/chart1.xml", "ppt/charts/chart_1.xml");
    move("ppt/charts/_rels/chart1.xml.rels", "ppt/charts/_rels/chart_1.xml.rels");
    move("ppt/embeddings/Microsoft_Excel_Sheet1.xlsx", wb);
    edit("ppt/slides/_rels/slide1.xml.rels", "charts/chart1.xml", "charts/chart%5F1.xml");
    edit("ppt/charts/_rels/chart_1.xml.rels", "Microsoft_Excel_Sheet1.xlsx", "caf%C3%A9.xlsx");
    edit("[Content_Types].xml", "chart1.xml", "chart_1.xml");
    edit("ppt/slides/slide1.xml", "SIT1_CHART", "SIT_CHART");
    auto repo = repositoryOf({tableSnapshot({{"t", "p"}, {"0", "17"}, {"1", "19"}}).p()});
    ASSERT_TRUE(ReportCreatorPowerPoint(repo.p(), Str(deck)).generate(Str(output))) << allErrors();
    // The generic slide's copy has its own chart and workbook; the slide's went with it.
    EXPECT_NE(std::string::npos, readPart(output, "ppt/charts/chart1.xml").find("<c:v>19</c:v>"));
    EXPECT_TRUE(hasPart(output,
                        "ppt/embeddings/caf\xc3\xa9"
                        "1.xlsx"));
    EXPECT_FALSE(hasPart(output, "ppt/charts/chart_1.xml") || hasPart(output, wb));
    EXPECT_OOXML_VALID(output);
}

TEST_F(PowerPointReport, PlaceholdersGroupsAndTables) {
    SnapshotRef wide = imageSnapshot(200, 100), square = imageSnapshot(100, 100);
    wide->setTitle(Str("Wide"));
    wide->setDescription(Str("Wide picture"));
    square->setTitle(Str("Square"));
    auto repo =
        repositoryOf({wide.p(), square.p(), tableSnapshot({{"k", "v"}, {"a", "1"}, {"b", "2"}, {"c", "3"}, {"d", "4"}}).p()});
    const std::vector<std::string> s = slides(repo.p(), "pp_shapes.pptx", {0, 1}, true);
    ASSERT_EQ(4u, s.size());
    EXPECT_GOLDEN("pptxreport/shapes-slide1.xml", s[0]);
    EXPECT_GOLDEN("pptxreport/shapes-slide2.xml", s[1]);
    EXPECT_TRUE(has(s[2], "name=\"SIT1_TITLE\"") && has(s[3], "name=\"SIT2_PICTURE\""));
}

TEST_F(PowerPointReport, ValidationTexts) {
    auto repo = repositoryOf({textSnapshot("a", "", {{"KEY", "v"}}).p(), namedImageSnapshot("b").p(),
                              tableSnapshot({{"x", "y"}, {"1", "2"}}).p(), namedImageSnapshot("d").p()});
    for (const char* deck : {"valid", "static", "mixed", "generic"}) {
        Str report;
        ReportCreatorPowerPoint(repo.p(), Str(officeTemplate(std::string("pp_") + deck + ".pptx"))).validate(&report);
        EXPECT_GOLDEN(std::string("pptxreport/validate-") + deck + ".txt", report.toStdString()) << deck;
    }
    // A generic deck passes with nothing listed; tags in groups are checked like any
    // other, and a text whose first paragraph is empty has text.
    Str report;
    EXPECT_TRUE(ReportCreatorPowerPoint(repo.p(), Str(officeTemplate("pp_one_generic.pptx"))).validate(&report));
    EXPECT_EQ("\nVALIDATION OF REPOSITORY\n" + std::string(36, '-') + "\n", report.toStdString());
    auto one = repositoryOf({namedImageSnapshot("a").p()});
    EXPECT_FALSE(ReportCreatorPowerPoint(one.p(), Str(officeTemplate("pp_shapes.pptx"))).validate(&report));
    EXPECT_GOLDEN("pptxreport/validate-shapes.txt", report.toStdString());
    // An empty reference repository replaces the whole text.
    lfw::Ref<Repository> empty(new Repository);
    ReportCreatorPowerPoint creator(repo.p(), Str(officeTemplate("pp_valid.pptx")));
    creator.setReferenceRepository(empty.p());
    EXPECT_FALSE(creator.validate(&report));
    EXPECT_EQ("No active snapshots in repository", report.toStdString());
    EXPECT_FALSE(ReportCreatorPowerPoint(repo.p(), Str("/nonexistent.pptx")).validate(&report));
    EXPECT_EQ("Not able to open template file", report.toStdString());

    auto two = repositoryOf({textSnapshot("a", "", {{"KEY", "v"}}).p(), textSnapshot("b").p()});
    lfw::Collection<const kiv::rep::Snapshot> snaps;
    kiv::rep::ReportCreatorBase::gatherSnapshots(two.p(), &snaps);
    kiv::rep::TemplateScan scan;
    for (const char* macro : {"SIT1_$KEY", "SIT2_$KEY", "SIT_$KEY", "SIT_$NONE", "SIT5_$KEY", "XSIT_$KEY", "REF_SIT1_$NONE"})
        scan.add(macro, kiv::rep::TagKind::Field, 0);
    std::string fields, warnings;
    using kiv::rep::TemplateTexts::checkFields;
    checkFields(scan, &snaps, nullptr, kiv::rep::TextDialect::PowerPoint, fields, warnings);
    EXPECT_EQ(
        "KEY: Unknown field name\nKEY: Generic field not found for all snapshots\n"
        "NONE: Generic field not found in any snapshots\nXSIT_$KEY: Syntax of field not correct\n",
        fields);
    EXPECT_EQ("SIT5_$KEY: Snapshot 5 does not exist\n", warnings);
    // The reference pass checks the "REF_" fields, and only those.
    fields.clear();
    checkFields(scan, nullptr, &snaps, kiv::rep::TextDialect::PowerPoint, fields, warnings);
    EXPECT_EQ("NONE: Unknown field name\n", fields);
}

TEST_F(PowerPointReport, Summaries) {
    for (const char* deck : {"pp_sum1.pptx", "pp_static.pptx", "pp_generic.pptx", "pp_models.pptx", "pp_shapes.pptx"}) {
        Str summary;
        EXPECT_TRUE(ReportCreatorPowerPoint::summarize(Str(officeTemplate(deck)), &summary)) << deck;
        EXPECT_GOLDEN(std::string("pptxreport/summary-") + deck + ".txt", summary.toStdString()) << deck;
    }
    Str summary;
    EXPECT_FALSE(ReportCreatorPowerPoint::summarize(Str("/nonexistent.pptx"), &summary));
    EXPECT_EQ("Not able to open template file", summary.toStdString());
    EXPECT_TRUE(errors().empty());
}
