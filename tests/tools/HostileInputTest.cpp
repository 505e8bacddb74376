// The built kivreport binary against hostile inputs and failing writes: each
// case once crashed it, hung it, reported success for a damaged result, or
// wrote where it must not. Inputs are in tests/data/hostile (see its
// make_corpus.py); FIFOs, links, full disks and stale files are made here.
#include "ToolTestSupport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/time.h>

using kivtest::readFile;
using kivtest::TempDir;
using kivtest::writeFile;
using tooltest::listFolder;
using tooltest::Result;

namespace {

const std::string kHostile = std::string(KIV_TEST_DATA_DIR) + "/hostile/";
const std::string kValidRepository = std::string(KIV_TEST_DATA_DIR) + "/repo-corrupt/valid.zip";
// One picture tag and one title tag for the first snapshot.
const char* const kTemplate =
    "<html><body><orvrepsit name=\"SIT1_TITLE\">t</orvrepsit>"
    "<orvrepsit name=\"SIT1_PICTURE\"><img src=\"x.jpg\" width=\"10\" height=\"10\"/></orvrepsit></body></html>\n";

bool isLink(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

// Each test has a folder holding the template t.html; kivreport runs with it as
// its scratch folder (see runProgram for the time and file size limits).
class KivreportHostile : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(writeFile(dir.file("t.html"), kTemplate)); }
    Result kivreport(const std::vector<std::string>& args, rlim_t fileSizeLimit = 0) {
        return tooltest::runProgram(KIVREPORT_EXE, args, dir, fileSizeLimit);
    }
    TempDir dir;
};

}  // namespace

TEST_F(KivreportHostile, DeepOrCutXmlIsRefusedByEveryCommand) {
    for (const char* name : {"deep_entity", "deep_utf8", "cut_utf8"}) {
        const std::string repo = kHostile + name + ".zip", page = kHostile + name + ".html";
        for (const auto& args : std::vector<std::vector<std::string>>{
                 {"repo", "show", repo},
                 {"repo", "export", repo, dir.file(std::string("x_") + name)},
                 {"generate", "--repo", repo, "--template", dir.file("t.html"), "--out", dir.file("r.html")},
                 {"validate", "--repo", repo, "--template", dir.file("t.html")}}) {
            const Result r = kivreport(args);
            EXPECT_EQ(r.code, 2) << name << " " << args[0] << ": " << r.err;
            EXPECT_NE(r.err.find("not readable XML"), std::string::npos) << r.err;
        }
        const Result summary = kivreport({"summarize", page});
        EXPECT_EQ(summary.code, 2) << name << ": " << summary.err;
        const Result validation = kivreport({"validate", "--repo", kValidRepository, "--template", page});
        EXPECT_LT(validation.code, 128) << name << ": " << validation.err;  // no crash
    }
    EXPECT_FALSE(kivtest::readFile(dir.file("r.html")).size());
}

TEST_F(KivreportHostile, FifosAreRefusedBeforeTheyAreOpened) {
    ASSERT_EQ(mkfifo(dir.file("fifo").c_str(), 0600), 0);
    ASSERT_TRUE(
        writeFile(dir.file("manifest.json"), "{\"snapshots\": [{\"type\": \"image\", \"name\": \"a\", \"image\": \"fifo\"}]}"));
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"repo", "show", dir.file("fifo")},
             {"generate", "--repo", dir.file("fifo"), "--template", dir.file("t.html"), "--out", dir.file("r.html")},
             {"generate", "--repo", kValidRepository, "--ref", dir.file("fifo"), "--template", dir.file("t.html"), "--out",
              dir.file("r.html")},
             {"repo", "create", dir.file("new.zip"), "--from", dir.file("manifest.json")}}) {
        const Result r = kivreport(args);
        EXPECT_EQ(r.code, 2) << args[0] << " " << args[1] << ": " << r.err;
        EXPECT_NE(r.err.find("is not a regular file"), std::string::npos) << r.err;
    }
}

TEST_F(KivreportHostile, DamagedRepositoryStopsTheReportUnlessKeepGoing) {
    for (const char* name : {"bad_crc_image.zip", "encrypted_image.zip", "jpeg_scans.zip", "table_rows.zip"}) {
        const std::string repo = kHostile + name;
        const std::vector<std::string> generate{"generate", "--repo",          repo, "--template", dir.file("t.html"),
                                                "--out",    dir.file("r.html")};
        Result r = kivreport(generate);
        EXPECT_EQ(r.code, 2) << name << ": " << r.err;
        EXPECT_NE(r.err.find("--keep-going"), std::string::npos) << r.err;
        EXPECT_TRUE(listFolder(dir.path()) == (std::vector<std::string>{"stderr.txt", "stdout.txt", "t.html"}));
        std::vector<std::string> keepGoing = generate;
        keepGoing.push_back("--keep-going");
        r = kivreport(keepGoing);
        EXPECT_EQ(r.code, 1) << name << ": " << r.err;
        EXPECT_FALSE(readFile(dir.file("r.html")).empty());
        ::unlink(dir.file("r.html").c_str());
        // Listing shows what could be read, with exit status 1.
        EXPECT_EQ(kivreport({"repo", "show", repo}).code, 1) << name;
    }
    // A model whose preview cannot be read leaves its picture out: no report without --keep-going.
    ASSERT_TRUE(writeFile(dir.file("m.html"),
                          "<html><body><orvrepsit name=\"SIT1_MDLX\"><iframe src=\"x\" width=\"40\" "
                          "height=\"30\"></iframe></orvrepsit></body></html>\n"));
    const std::vector<std::string> preview{"generate",
                                           "--repo",
                                           kHostile + "preview_unreadable.zip",
                                           "--template",
                                           dir.file("m.html"),
                                           "--out",
                                           dir.file("m_out.html"),
                                           "--no-3d-plugin"};
    Result r = kivreport(preview);
    EXPECT_EQ(r.code, 2) << r.err;
    EXPECT_TRUE(readFile(dir.file("m_out.html")).empty());
    std::vector<std::string> keepGoing = preview;
    keepGoing.push_back("--keep-going");
    r = kivreport(keepGoing);
    EXPECT_EQ(r.code, 1) << r.err;
    EXPECT_NE(r.err.find("'m'"), std::string::npos) << r.err;  // names the snapshot left out
    EXPECT_FALSE(readFile(dir.file("m_out.html")).empty());
}

TEST_F(KivreportHostile, FailedWritesLeaveTheEarlierReportAndExportAlone) {
    const std::vector<std::string> generate{"generate",         "--repo", kValidRepository,  "--template",
                                            dir.file("t.html"), "--out",  dir.file("r.html")};
    ASSERT_EQ(kivreport(generate).code, 0);
    const std::string report = readFile(dir.file("r.html")), picture = readFile(dir.file("r_SIT1-1.jpg"));
    ASSERT_FALSE(picture.empty());
    // A different earlier report and picture, then a full disk (no file may grow past 100 bytes).
    ASSERT_TRUE(writeFile(dir.file("r.html"), "old report"));
    ASSERT_TRUE(writeFile(dir.file("r_SIT1-1.jpg"), "old picture"));
    Result r = kivreport(generate, 100);
    EXPECT_EQ(r.code, 2) << r.err;
    EXPECT_EQ(readFile(dir.file("r.html")), "old report");
    EXPECT_EQ(readFile(dir.file("r_SIT1-1.jpg")), "old picture");

    // An export over an earlier one: nothing is replaced unless everything was written.
    ASSERT_EQ(kivreport({"repo", "export", kHostile + "bad_crc_image.zip", dir.file("x"), "--keep-going"}).code, 1);
    const std::vector<std::string> exported = listFolder(dir.file("x"));
    ASSERT_EQ(exported, (std::vector<std::string>{"manifest.json", "t.csv"}));
    ASSERT_TRUE(writeFile(dir.file("x/t.csv"), "old,csv\n"));
    const std::string manifest = readFile(dir.file("x/manifest.json"));
    r = kivreport({"repo", "export", kHostile + "bad_crc_image.zip", dir.file("x"), "--keep-going", "--force"}, 40);
    EXPECT_EQ(r.code, 2) << r.err;
    EXPECT_EQ(readFile(dir.file("x/t.csv")), "old,csv\n");
    EXPECT_EQ(readFile(dir.file("x/manifest.json")), manifest);
    EXPECT_EQ(listFolder(dir.file("x")), exported);  // no temporary left behind
    EXPECT_EQ(listFolder(dir.path()),
              (std::vector<std::string>{"r.html", "r_SIT1-1.jpg", "stderr.txt", "stdout.txt", "t.html", "x"}));
}

TEST_F(KivreportHostile, PlantedLinksAreReplacedNotWrittenThrough) {
    ASSERT_TRUE(writeFile(dir.file("victim"), "victim"));
    ASSERT_EQ(symlink(dir.file("victim").c_str(), dir.file("r_SIT1-1.jpg").c_str()), 0);
    ASSERT_EQ(symlink(dir.file("victim").c_str(), dir.file("r.html").c_str()), 0);
    Result r = kivreport({"generate", "--repo", kValidRepository, "--template", dir.file("t.html"), "--out", dir.file("r.html")});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(readFile(dir.file("victim")), "victim");
    EXPECT_FALSE(isLink(dir.file("r_SIT1-1.jpg")));
    EXPECT_FALSE(isLink(dir.file("r.html")));

    ASSERT_EQ(mkdir(dir.file("x").c_str(), 0755), 0);
    ASSERT_EQ(symlink(dir.file("victim").c_str(), dir.file("x/manifest.json").c_str()), 0);
    ASSERT_EQ(symlink(dir.file("victim").c_str(), dir.file("x/t.csv").c_str()), 0);
    r = kivreport({"repo", "export", kHostile + "bad_crc_image.zip", dir.file("x"), "--force", "--keep-going"});
    EXPECT_EQ(r.code, 1) << r.err;
    EXPECT_EQ(readFile(dir.file("victim")), "victim");
    EXPECT_FALSE(isLink(dir.file("x/manifest.json")));
    EXPECT_FALSE(isLink(dir.file("x/t.csv")));
}

TEST_F(KivreportHostile, InputsAreNeverOverwritten) {
    // A repository named like the report's first picture.
    ASSERT_TRUE(writeFile(dir.file("r_SIT1-1.jpg"), readFile(kValidRepository)));
    const Result r = kivreport(
        {"generate", "--repo", dir.file("r_SIT1-1.jpg"), "--template", dir.file("t.html"), "--out", dir.file("r.html")});
    EXPECT_EQ(r.code, 2) << r.err;
    EXPECT_EQ(readFile(dir.file("r_SIT1-1.jpg")), readFile(kValidRepository));
    EXPECT_TRUE(readFile(dir.file("r.html")).empty());
}

TEST_F(KivreportHostile, StaleTemporariesAreRemovedByTheNextSave) {
    // A process that is gone: its temporaries, a day old, are stale; fresh ones, or
    // ones of a living process, or other names, stay.
    const pid_t child = fork();
    if (child == 0) _exit(0);
    waitpid(child, nullptr, 0);
    const std::string dead = std::to_string(child), alive = std::to_string(getpid());
    const std::vector<std::string> names{".out.zip.Varnox_Report_Tmp" + dead + "_3_12345",
                                         ".out.zip.Varnox_Report_Tmp" + dead + "_4_9",
                                         ".out.zip.Varnox_Report_Tmp" + alive + "_0_1", "notes.Varnox_Report_Tmp1_2_3",
                                         ".x.Varnox_Report_Tmp" + dead + "_1_2.keep"};
    const timeval old[2] = {{time(nullptr) - 3 * 86400, 0}, {time(nullptr) - 3 * 86400, 0}};
    for (size_t i = 0; i < names.size(); ++i) {
        ASSERT_TRUE(writeFile(dir.file(names[i]), "partial"));
        if (i != 1) {
            ASSERT_EQ(utimes(dir.file(names[i]).c_str(), old), 0);
        }
    }
    ASSERT_TRUE(writeFile(dir.file("m.json"), "{\"snapshots\": [{\"type\": \"table\", \"table\": {\"rows\": [[\"a\"]]}}]}"));
    const Result r = kivreport({"repo", "create", dir.file("out.zip"), "--from", dir.file("m.json")});
    EXPECT_EQ(r.code, 0) << r.err;
    std::vector<std::string> expected{names[1],  names[2],     names[3], names[4],    "m.json",
                                      "out.zip", "stderr.txt", "t.html", "stdout.txt"};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(listFolder(dir.path()), expected);
}

TEST_F(KivreportHostile, SmallOnes) {
    // Names and titles holding terminal escape sequences are shown escaped.
    const Result shown = kivreport({"repo", "show", kHostile + "control_names.zip"});
    EXPECT_EQ(shown.code, 0) << shown.err;
    EXPECT_EQ(shown.out.find('\x1b'), std::string::npos);
    EXPECT_EQ(shown.out.find("\xc2\x9b"), std::string::npos);
    EXPECT_NE(shown.out.find("evil\\x1b]0;owned\\x07\\x1b[2J"), std::string::npos) << shown.out;
    // A group inside a group is an error, in validation and in reports.
    const Result validated = kivreport({"validate", "--repo", kValidRepository, "--template", kHostile + "nested_group.html"});
    EXPECT_EQ(validated.code, 1) << validated.err;
    EXPECT_NE(validated.out.find("Error unrolling generic tags"), std::string::npos) << validated.out;
    EXPECT_NE(validated.err.find("groups cannot be nested"), std::string::npos) << validated.err;
    const Result made = kivreport(
        {"generate", "--repo", kValidRepository, "--template", kHostile + "nested_group.html", "--out", dir.file("r.html")});
    EXPECT_EQ(made.code, 2) << made.err;
}

TEST_F(KivreportHostile, ContentTypesThatInflateHugelyAreRefusedByGenerateAndValidate) {
    // PowerPoint looks for the template's problem and names the part; Word tells the package's reason.
    ASSERT_TRUE(writeFile(dir.file("bomb.docx"), readFile(kHostile + "types_bomb.pptx")));
    const struct {
        std::string templatePath, said;
    } cases[] = {{kHostile + "types_bomb.pptx", "[Content_Types].xml holds more XML than the report has memory left for"},
                 {dir.file("bomb.docx"), "The part '[Content_Types].xml' holds more XML than the report has memory left for"}};
    for (const auto& c : cases) {
        const std::string out = dir.file("r" + c.templatePath.substr(c.templatePath.rfind('.')));
        const Result made = kivreport({"generate", "--repo", kValidRepository, "--template", c.templatePath, "--out", out});
        EXPECT_EQ(made.code, 2) << made.err;
        EXPECT_NE(made.err.find(c.said), std::string::npos) << made.err;
        const Result validated = kivreport({"validate", "--repo", kValidRepository, "--template", c.templatePath});
        EXPECT_EQ(validated.code, 1) << validated.err;
        EXPECT_EQ(validated.out.find("Not able to open template file: " + c.said), 0u) << validated.out;
        EXPECT_TRUE(readFile(out).empty());
    }
}
