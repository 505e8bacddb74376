// PowerPoint reports from empty repositories, broken decks, mismatched tags and
// unusable output paths: each fails with one error, writes no report and leaves
// no temporary file; and two processes making reports at once each get their own
// pictures.
#include "KivReport/ReportCreatorPowerPoint.h"
#include "impl/common/ReportComponent_p.h"
#include "KivReport/Repository.h"
#include "word/ReportTestSupport.h"
#include <cstdlib>

using namespace kiv::rep;  // the layers' classes

using kiv::Str;
using kiv::rep::ReportCreatorPowerPoint;
using kiv::rep::Repository;
using namespace kivtest;

namespace {

std::string testDeck(const std::string& name) { return std::string(KIV_BINARY_DIR) + "/tests/data/pptx/" + name + ".pptx"; }

// The widths of the JPEG pictures of a package (from their frame headers), sorted.
std::vector<int> jpegWidths(const std::string& package) {
    std::vector<int> widths;
    for (const std::string& name : entries(package)) {
        if (name.find(".jp") == std::string::npos) continue;
        const std::string data = readPart(package, name);
        for (size_t at = 2; at + 9 < data.size(); ++at)
            if (static_cast<unsigned char>(data[at]) == 0xFF && static_cast<unsigned char>(data[at + 1]) == 0xC0) {
                widths.push_back(static_cast<unsigned char>(data[at + 7]) << 8 | static_cast<unsigned char>(data[at + 8]));
                break;
            }
    }
    std::sort(widths.begin(), widths.end());
    return widths;
}

class PowerPointBadInput : public ReportTest {
protected:
    void SetUp() override {
        ReportTest::SetUp();
        // Temporary pictures and models go to a folder of their own, to be counted.
        const char* saved = std::getenv("TMPDIR");
        savedTmp = saved ? saved : "";
        hadTmp = saved != nullptr;
        ::setenv("TMPDIR", temporary.path().c_str(), 1);
        output = out.file("report.pptx");
    }
    void TearDown() override {
        if (hadTmp) ::setenv("TMPDIR", savedTmp.c_str(), 1);
        else ::unsetenv("TMPDIR");
        ReportTest::TearDown();
    }

    // A copy of a deck (the tagged test deck by default) with one part changed (every
    // `from` replaced) or left out.
    std::string deckWith(const std::string& part, const std::string& from, const std::string& to, bool drop = false,
                         const std::string& base = testDeck("tagged")) {
        const std::string path = dir.file("deck" + std::to_string(++decks) + ".pptx");
        EXPECT_TRUE(copyFile(base, path));
        std::string text = drop ? std::string() : readPart(path, part);
        EXPECT_TRUE(drop || text.find(from) != std::string::npos) << from;
        for (size_t at = 0; !drop && (at = text.find(from, at)) != std::string::npos; at += to.size())
            text.replace(at, from.size(), to);
        EXPECT_TRUE(putPart(path, part, text));
        return path;
    }

    // Generates and expects the failure: false, one error naming the cause, no report
    // and nothing left in the output or temporary folders.
    void expectCleanFailure(Repository* repo, const std::string& deck, const std::string& report, const std::string& message) {
        recorder->clear();
        EXPECT_FALSE(ReportCreatorPowerPoint(repo, Str(deck)).generate(Str(report)));
        ASSERT_EQ(1u, errors().size()) << allErrors();
        EXPECT_NE(std::string::npos, errors()[0].find(message)) << errors()[0];
        EXPECT_TRUE(namesIn(out.path()).empty()) << ::testing::PrintToString(namesIn(out.path()));
        EXPECT_TRUE(namesIn(temporary.path()).empty()) << ::testing::PrintToString(namesIn(temporary.path()));
    }

    TempDir out, temporary;
    std::string output, savedTmp;
    bool hadTmp = false;
    int decks = 0;
};

}  // namespace

TEST_F(PowerPointBadInput, EmptyRepositoriesBrokenDecksAndMismatchedTags) {
    lfw::Ref<Repository> empty(new Repository);
    expectCleanFailure(empty.p(), testDeck("tagged"), output, "No active snapshots in repository");
    auto repo = repositoryOf({namedImageSnapshot("one").p(), namedImageSnapshot("two").p(),
                              tableSnapshot({{"n", "x", "y"}, {"1", "2", "3"}}).p(),
                              tableSnapshot({{"t", "p"}, {"0", "1"}, {"1", "3"}}).p()});
    const std::string notZip = dir.file("plain.pptx");
    ASSERT_TRUE(writeFile(notZip, "not a zip"));
    expectCleanFailure(repo.p(), notZip, output, "not a PowerPoint file");
    expectCleanFailure(repo.p(), deckWith("ppt/presentation.xml", "", "", true), output, "ppt/presentation.xml");
    // Static and generic 3D tags on one slide.
    expectCleanFailure(repo.p(), officeTemplate("pp_mixed.pptx"), output,
                       "One or more slides contains both static and generic Mdlx snapshots.");
    // The picture tag of snapshot 1 on a text box; the chart tag of snapshot 3 on a
    // table: validate lists them in the same words.
    for (const auto& wrong : {std::make_pair("SIT1_TEXT", "SIT1_PICTURE on slide2.xml is not a picture"),
                              std::make_pair("SIT3_TABLE", "SIT3_CHART on slide2.xml is not a chart")}) {
        const std::string renamed = std::string(wrong.second).substr(0, std::string(wrong.second).find(' '));
        const std::string deck = deckWith("ppt/slides/slide2.xml", wrong.first, renamed);
        expectCleanFailure(repo.p(), deck, output, wrong.second);
        Str report;
        EXPECT_FALSE(ReportCreatorPowerPoint(repo.p(), Str(deck)).validate(&report));
        EXPECT_NE(std::string::npos, report.toStdString().find("Unmatched tags:\n" + std::string(36, '-') + "\nThe shape " +
                                                               wrong.second + ": rename the shape or change its tag.\n"))
            << report.toStdString();
    }
    // Picture tags for image snapshots without a picture: static, and a generic copy.
    auto blank = repositoryOf({namedImageSnapshot("one").p(), textSnapshot("two").p()});
    expectCleanFailure(blank.p(), testDeck("tagged"), output, "snapshots 'situation' could not be shown");
    expectCleanFailure(blank.p(), officeTemplate("pp_one_generic.pptx"), output, "could not be shown");
    // A chart tag whose table snapshot holds no number to draw.
    auto words = repositoryOf({namedImageSnapshot("one").p(), namedImageSnapshot("two").p(),
                               tableSnapshot({{"n", "x", "y"}, {"1", "2", "3"}}).p(), tableSnapshot({{"name"}, {"steel"}}).p()});
    expectCleanFailure(words.p(), testDeck("tagged"), output, "SIT4_CHART: the table has no values to draw");
}

// Templates with a part the report would edit or copy and cannot make valid:
// generate refuses them before writing, naming the part; validate and summarize
// fail with the same reason.
TEST_F(PowerPointBadInput, TemplatePartsThatCannotBeUsed) {
    auto repo = repositoryOf({namedImageSnapshot("one").p(), namedImageSnapshot("two").p()});
    std::string utf16 = "\xFF\xFE", nested;
    for (char c : std::string("<p:sld/>")) utf16 += std::string(1, c) + '\0';
    for (int i = 0; i < 600; ++i) nested += "<a:x>";
    // from "*": the whole part replaced; from and to empty: the part left out.
    const struct {
        std::string part, from, to, problem;
    } cases[] = {
        {"[Content_Types].xml", "", "", "[Content_Types].xml is missing"},
        {"[Content_Types].xml", "Types", "Kinds", "[Content_Types].xml has the root element Kinds, not Types"},
        {"ppt/_rels/presentation.xml.rels", "Id=\"rId3\"", "Id=\"rId2\"",
         "ppt/_rels/presentation.xml.rels gives the relationship id rId2 twice"},
        {"ppt/slides/slide3.xml", "", "", "ppt/slides/slide3.xml is missing"},
        {"ppt/slides/slide3.xml", "<p:cSld>", std::string("<p:cSld>\0", 9), "ppt/slides/slide3.xml holds a NUL byte"},
        {"ppt/slides/slide3.xml", "<p:cSld>", "<p:cSld>" + nested, "ppt/slides/slide3.xml nests elements deeper than 512"},
        {"ppt/slides/slide3.xml", "*", utf16, "ppt/slides/slide3.xml is UTF-16 text"},
        {"ppt/notesSlides/notesSlide1.xml", "</p:notes>", "", "ppt/notesSlides/notesSlide1.xml is not well-formed XML"},
        // A second entry under a name that a NUL byte in it hides.
        {"ppt/slides/slide4.xml\1", "*", "x", "ppt/slides/slide4.xml is stored twice"}};
    for (const auto& c : cases) {
        const bool drop = c.from.empty() && c.to.empty();
        std::string deck =
            c.from == "*" ? dir.file("deck" + std::to_string(++decks) + ".pptx") : deckWith(c.part, c.from, c.to, drop);
        if (c.from == "*") {
            ASSERT_TRUE(copyFile(testDeck("tagged"), deck) && putPart(deck, c.part, c.to));
            std::string bytes = readFile(deck);
            for (size_t at = 0; (at = bytes.find("slide4.xml\1", at)) != std::string::npos;) bytes[at += 10] = '\0';
            ASSERT_TRUE(writeFile(deck, bytes));
        }
        expectCleanFailure(repo.p(), deck, output, "The template cannot be used: " + c.problem);
        Str report, summary;
        EXPECT_FALSE(ReportCreatorPowerPoint(repo.p(), Str(deck)).validate(&report));
        EXPECT_FALSE(ReportCreatorPowerPoint::summarize(Str(deck), &summary));
        for (const Str& text : {report, summary})
            EXPECT_EQ(0u, text.toStdString().find("Not able to open template file: " + c.problem)) << text.toStdString();
    }
}

// Templates whose faults the report mends: a DTD in slides it writes, picture boxes
// beyond the sizes the schema allows, slide ids at the end of their range.
TEST_F(PowerPointBadInput, TemplateFaultsTheReportMends) {
    auto repo = repositoryOf({namedImageSnapshot("one").p(), namedImageSnapshot("two").p()});
    const std::string doctype = "<!DOCTYPE p:sld SYSTEM \"slide.dtd\">\n<p:sld ";
    const std::string dtd = deckWith("ppt/slides/slide3.xml", "<p:sld ", doctype);
    const std::string decks[] = {
        deckWith("ppt/slides/slide2.xml", "<p:sld ", doctype, false, dtd),
        deckWith("ppt/slides/slide2.xml", "cx=\"3000000\" cy=\"2000000\"", "cx=\"30000000000000\" cy=\"30000000000000\""),
        deckWith("ppt/slides/slide2.xml", "cx=\"3000000\" cy=\"2000000\"", "cx=\"-5\" cy=\"-7\""),
        deckWith("ppt/presentation.xml", "id=\"259\"", "id=\"2147483646\""),
        deckWith("ppt/presentation.xml", "id=\"259\"", "id=\"2147483647\"")};
    std::vector<std::string> reports;
    for (const std::string& deck : decks) {
        reports.push_back(out.file("mended" + std::to_string(reports.size()) + ".pptx"));
        EXPECT_TRUE(ReportCreatorPowerPoint(repo.p(), Str(deck)).generate(Str(reports.back()))) << deck << allErrors();
    }
    EXPECT_TRUE(passesOoxmlCheck(reports));
}

TEST_F(PowerPointBadInput, GenerateBeforeStartUpFailsWithoutAnAssertion) {
    auto repo = repositoryOf({namedImageSnapshot("one").p()});
    kiv::rep::ReportComponentPrivate::resetInitializedForTesting();
    EXPECT_FALSE(ReportCreatorPowerPoint(repo.p(), Str(testDeck("tagged"))).generate(Str(output)));
    EXPECT_EQ(std::vector<std::string>{"ReportComponent component has not been properly initialized."}, errors());
    EXPECT_FALSE(recorder->contains("ASSERT"));
}

TEST_F(PowerPointBadInput, OutputPathsThatCannotBeWritten) {
    auto repo = repositoryOf({namedImageSnapshot("one").p()});
    const std::string file = out.file("plain");
    expectCleanFailure(repo.p(), testDeck("tagged"), out.file("missing/report.pptx"), "report.pptx");
    ASSERT_TRUE(writeFile(file, "a file, not a folder"));
    recorder->clear();
    EXPECT_FALSE(ReportCreatorPowerPoint(repo.p(), Str(testDeck("tagged"))).generate(Str(file + "/report.pptx")));
    EXPECT_EQ(1u, errors().size()) << allErrors();
    EXPECT_EQ(std::vector<std::string>{"plain"}, namesIn(out.path()));
    EXPECT_EQ("a file, not a folder", readFile(file));
    EXPECT_TRUE(namesIn(temporary.path()).empty());
}

TEST_F(PowerPointBadInput, TwoProcessesAtOnceMakeTheirOwnReports) {
    const std::string reports[] = {out.file("first.pptx"), out.file("second.pptx")};
    EXPECT_TRUE(inTwoProcesses([&](int i) {
        auto image = imageSnapshot(200 + 100 * i, 100, static_cast<unsigned char>(40 + 160 * i));
        image->setTitle(Str(i == 0 ? "first report" : "second report"));
        auto repository = repositoryOf({image.p()});
        bool ok = true;
        for (int round = 0; round < 5 && ok; ++round)
            ok = ReportCreatorPowerPoint(repository.p(), Str(testDeck("tagged"))).generate(Str(reports[i]));
        return ok;
    }));
    // Each report shows its own picture (200 or 300 pixels wide) and its own title.
    EXPECT_EQ(std::vector<int>({200}), jpegWidths(reports[0]));
    EXPECT_EQ(std::vector<int>({300}), jpegWidths(reports[1]));
    EXPECT_NE(std::string::npos, readPart(reports[0], "ppt/slides/slide2.xml").find("first report"));
    EXPECT_NE(std::string::npos, readPart(reports[1], "ppt/slides/slide2.xml").find("second report"));
    EXPECT_TRUE(namesIn(temporary.path()).empty());
    EXPECT_TRUE(passesOoxmlCheck({reports[0], reports[1]}));
}

// A file that only starts like a zip package: opened once and told once, though
// validation reads it for the repository and the reference repository.
TEST_F(PowerPointBadInput, ABrokenPackageIsReadAndToldOnce) {
    auto repo = repositoryOf({namedImageSnapshot("one").p()});
    const std::string deck = dir.file("broken.pptx");
    ASSERT_TRUE(writeFile(deck, std::string("PK\3\4garbage", 11)));
    ReportCreatorPowerPoint creator(repo.p(), Str(deck));
    creator.setReferenceRepository(repo.p());
    recorder->clear();
    Str report;
    EXPECT_FALSE(creator.validate(&report));
    EXPECT_EQ("Not able to open template file", report.toStdString());
    EXPECT_EQ(1u, errors().size()) << allErrors();
}
