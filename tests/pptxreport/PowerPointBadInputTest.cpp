// PowerPoint reports from broken decks, mismatched tags and unusable output paths:
// each fails with one error, writes no report and leaves no temporary file; and
// two processes making reports at once each get their own pictures.
#include "KivReport/ReportComponent.h"
#include "KivReport/ReportCreatorPowerPoint.h"
#include "KivReport/Repository.h"
#include "host/core/KivInstance.h"
#include "impl/storage/PxZipArchive.h"
#include "support/Builders.h"
#include "support/OoxmlCheck.h"
#include "support/TestSupport.h"
#include <algorithm>
#include <cstdlib>
#include <dirent.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using kiv::Str;
using kiv::rep::ReportComponent;
using kiv::rep::ReportCreatorPowerPoint;
using kiv::rep::Repository;
using namespace kivtest;

namespace {

std::string testDeck(const std::string& name) {
    return std::string(KIV_BINARY_DIR) + "/tests/data/pptx/" + name + ".pptx";
}

std::vector<std::string> namesIn(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* d = ::opendir(folder.c_str())) {
        while (dirent* e = ::readdir(d))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") names.push_back(e->d_name);
        ::closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string partOf(const std::string& package, const std::string& part) {
    PxZipArchive zip;
    if (!zip.Open(MkString(package.c_str()), ZIP_OPEN_READ_ONLY)) return std::string();
    size_t size = 0;
    unsigned char* data = zip.ReadDataRaw(MkString(part.c_str()), &size);
    std::string text = data ? std::string(reinterpret_cast<char*>(data), size) : std::string();
    free(data);
    return text;
}

// The widths of the JPEG pictures of a package (from their frame headers), sorted.
std::vector<int> jpegWidths(const std::string& package) {
    std::vector<int> widths;
    PxZipArchive zip;
    if (!zip.Open(MkString(package.c_str()), ZIP_OPEN_READ_ONLY)) return widths;
    for (int i = 0; i < zip.GetNumFiles(); ++i) {
        std::string name = zip.GetStoredName(i).ShortChar();
        if (name.find(".jp") == std::string::npos) continue;
        std::replace(name.begin(), name.end(), '/', '\\');
        size_t size = 0;
        unsigned char* data = zip.ReadDataRaw(MkString(name.c_str()), &size);
        for (size_t at = 2; data && at + 9 < size; ++at)
            if (data[at] == 0xFF && data[at + 1] == 0xC0) {
                widths.push_back(data[at + 7] << 8 | data[at + 8]);
                break;
            }
        free(data);
    }
    std::sort(widths.begin(), widths.end());
    return widths;
}

class PowerPointBadInput : public LoggingTest {
protected:
    void SetUp() override {
        LoggingTest::SetUp();
        kiv::Instance instance;
        ASSERT_TRUE(ReportComponent::initialize(&instance));
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
        LoggingTest::TearDown();
    }

    // A copy of the tagged test deck with one part changed (text replaced) or left out.
    std::string deckWith(const std::string& part, const std::string& from, const std::string& to, bool drop = false) {
        const std::string path = templates.file("deck" + std::to_string(++decks) + ".pptx");
        EXPECT_TRUE(writeFile(path, readFile(testDeck("tagged"))));
        PxZipArchive zip;
        EXPECT_TRUE(zip.Open(MkString(path.c_str()), ZIP_OPEN));
        if (drop) {
            EXPECT_TRUE(zip.Delete(MkString(part.c_str())));
        } else {
            std::string text = partOf(testDeck("tagged"), part);
            const size_t at = text.find(from);
            EXPECT_NE(std::string::npos, at) << from;
            if (at != std::string::npos) text.replace(at, from.size(), to);
            EXPECT_TRUE(zip.WriteDataRaw(MkString(part.c_str()), text.data(), text.size(), true));
        }
        EXPECT_TRUE(zip.Close());
        return path;
    }

    // Generates and expects the failure: false, one error naming the cause, no report
    // and nothing left in the output or temporary folders.
    void expectCleanFailure(Repository* repo, const std::string& deck, const std::string& report,
                            const std::string& message) {
        recorder->clear();
        ReportCreatorPowerPoint creator(repo, Str(deck));
        EXPECT_FALSE(creator.generate(Str(report)));
        ASSERT_EQ(1u, errors().size()) << ::testing::PrintToString(errors());
        EXPECT_NE(std::string::npos, errors()[0].find(message)) << errors()[0];
        EXPECT_TRUE(namesIn(out.path()).empty()) << ::testing::PrintToString(namesIn(out.path()));
        EXPECT_TRUE(namesIn(temporary.path()).empty()) << ::testing::PrintToString(namesIn(temporary.path()));
    }

    TempDir templates, out, temporary;
    std::string output, savedTmp;
    bool hadTmp = false;
    int decks = 0;
};

} // namespace

TEST_F(PowerPointBadInput, BrokenDecksAndMismatchedTags) {
    lfw::Ref<Repository> repo(repositoryOf({namedImageSnapshot("one").p(), namedImageSnapshot("two").p(),
                                            tableSnapshot({{"n", "x", "y"}, {"1", "2", "3"}}).p(),
                                            tableSnapshot({{"t", "p"}, {"0", "1"}, {"1", "3"}}).p()}));
    const std::string notZip = templates.file("plain.pptx");
    ASSERT_TRUE(writeFile(notZip, "not a zip"));
    expectCleanFailure(repo.p(), notZip, output, "not a PowerPoint file");
    expectCleanFailure(repo.p(), deckWith("ppt\\presentation.xml", "", "", true), output, "ppt/presentation.xml");
    // The picture tag of snapshot 1 on a text box; the chart tag of snapshot 3 on a table.
    expectCleanFailure(repo.p(), deckWith("ppt\\slides\\slide2.xml", "name=\"SIT1_TEXT\"", "name=\"SIT1_PICTURE\""),
                       output, "SIT1_PICTURE on slide2.xml is not a picture");
    expectCleanFailure(repo.p(), deckWith("ppt\\slides\\slide2.xml", "name=\"SIT3_TABLE\"", "name=\"SIT3_CHART\""),
                       output, "SIT3_CHART on slide2.xml is not a chart");
    // A chart tag whose table snapshot holds no number to draw.
    lfw::Ref<Repository> words(repositoryOf({namedImageSnapshot("one").p(), namedImageSnapshot("two").p(),
                                             tableSnapshot({{"n", "x", "y"}, {"1", "2", "3"}}).p(),
                                             tableSnapshot({{"name"}, {"steel"}}).p()}));
    expectCleanFailure(words.p(), testDeck("tagged"), output, "no values to draw in SIT4_CHART");
}

TEST_F(PowerPointBadInput, OutputPathsThatCannotBeWritten) {
    lfw::Ref<Repository> repo(repositoryOf({namedImageSnapshot("one").p()}));
    const std::string file = out.file("plain");
    expectCleanFailure(repo.p(), testDeck("tagged"), out.file("missing/report.pptx"), "report.pptx");
    ASSERT_TRUE(writeFile(file, "a file, not a folder"));
    recorder->clear();
    EXPECT_FALSE(ReportCreatorPowerPoint(repo.p(), Str(testDeck("tagged"))).generate(Str(file + "/report.pptx")));
    EXPECT_EQ(1u, errors().size()) << ::testing::PrintToString(errors());
    EXPECT_EQ(std::vector<std::string>{"plain"}, namesIn(out.path()));
    EXPECT_EQ("a file, not a folder", readFile(file));
    EXPECT_TRUE(namesIn(temporary.path()).empty());
}

TEST_F(PowerPointBadInput, TwoProcessesAtOnceMakeTheirOwnReports) {
    const std::string first = out.file("first.pptx"), second = out.file("second.pptx");
    pid_t children[2];
    for (int i = 0; i < 2; ++i) {
        children[i] = fork();
        if (children[i] == 0) {
            auto image = imageSnapshot(200 + 100 * i, 100, static_cast<unsigned char>(40 + 160 * i));
            image->setTitle(Str(i == 0 ? "first report" : "second report"));
            auto repository = repositoryOf({image.p()});
            bool ok = true;
            for (int round = 0; round < 5 && ok; ++round)
                ok = ReportCreatorPowerPoint(repository.p(), Str(testDeck("tagged"))).generate(Str(i == 0 ? first : second));
            _exit(ok ? 0 : 1);
        }
    }
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(child, waitpid(child, &status, 0));
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    // Each report shows its own picture (200 or 300 pixels wide) and its own title.
    EXPECT_EQ(std::vector<int>({200}), jpegWidths(first));
    EXPECT_EQ(std::vector<int>({300}), jpegWidths(second));
    EXPECT_NE(std::string::npos, partOf(first, "ppt\\slides\\slide2.xml").find("first report"));
    EXPECT_NE(std::string::npos, partOf(second, "ppt\\slides\\slide2.xml").find("second report"));
    EXPECT_TRUE(namesIn(temporary.path()).empty());
    EXPECT_TRUE(passesOoxmlCheck({first, second}));
}
