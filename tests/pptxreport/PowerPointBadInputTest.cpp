// PowerPoint reports from empty repositories, broken decks, mismatched tags and
// unusable output paths: each fails with one error, writes no report and leaves
// no temporary file; and two processes making reports at once each get their own
// pictures.
#include "KivReport/ReportCreatorPowerPoint.h"
#include "KivReport/Repository.h"
#include "word/ReportTestSupport.h"
#include <cstdlib>

using kiv::Str;
using kiv::rep::ReportCreatorPowerPoint;
using kiv::rep::Repository;
using namespace kivtest;

namespace {

std::string testDeck(const std::string& name) {
    return std::string(KIV_BINARY_DIR) + "/tests/data/pptx/" + name + ".pptx";
}

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
        if (hadTmp)
            ::setenv("TMPDIR", savedTmp.c_str(), 1);
        else
            ::unsetenv("TMPDIR");
        ReportTest::TearDown();
    }

    // A copy of the tagged test deck with one part changed (text replaced) or left out.
    std::string deckWith(const std::string& part, const std::string& from, const std::string& to, bool drop = false) {
        const std::string path = dir.file("deck" + std::to_string(++decks) + ".pptx");
        EXPECT_TRUE(copyFile(testDeck("tagged"), path));
        std::string text = drop ? std::string() : readPart(path, part);
        const size_t at = text.find(from);
        EXPECT_TRUE(drop || at != std::string::npos) << from;
        if (!drop && at != std::string::npos) text.replace(at, from.size(), to);
        EXPECT_TRUE(putPart(path, part, text));
        return path;
    }

    // Generates and expects the failure: false, one error naming the cause, no report
    // and nothing left in the output or temporary folders.
    void expectCleanFailure(Repository* repo, const std::string& deck, const std::string& report,
                            const std::string& message) {
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

} // namespace

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
    // The picture tag of snapshot 1 on a text box; the chart tag of snapshot 3 on a table.
    expectCleanFailure(repo.p(), deckWith("ppt/slides/slide2.xml", "name=\"SIT1_TEXT\"", "name=\"SIT1_PICTURE\""),
                       output, "SIT1_PICTURE on slide2.xml is not a picture");
    expectCleanFailure(repo.p(), deckWith("ppt/slides/slide2.xml", "name=\"SIT3_TABLE\"", "name=\"SIT3_CHART\""),
                       output, "SIT3_CHART on slide2.xml is not a chart");
    // A chart tag whose table snapshot holds no number to draw.
    auto words = repositoryOf({namedImageSnapshot("one").p(), namedImageSnapshot("two").p(),
                               tableSnapshot({{"n", "x", "y"}, {"1", "2", "3"}}).p(), tableSnapshot({{"name"}, {"steel"}}).p()});
    expectCleanFailure(words.p(), testDeck("tagged"), output, "SIT4_CHART: the table has no values to draw");
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
