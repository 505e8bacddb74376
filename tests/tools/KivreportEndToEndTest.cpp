// The kivreport command line as a user or script runs it: the sample manifest
// through create, show, export and create again; reports, validation and
// summaries of the sample template; bad input of every kind. The commands run in
// this process (kivcli::run, with the library's console output captured); the
// sample set-up and the help and usage cases run the built binary.
#include "ToolTestSupport.h"
#include "tools/kivreport/Cli.h"
#include "support/Golden.h"
#include "support/OoxmlCheck.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sstream>
#include <nlohmann/json.hpp>
#include <sys/stat.h>
#include <unistd.h>

using Json = nlohmann::json;
using kivtest::readFile;
using kivtest::TempDir;
using kivtest::writeFile;
using tooltest::listFolder;
using tooltest::Result;
using tooltest::runProgram;

namespace {

// Runs the command line in this process; what the library writes to the console
// (stderr) comes first in err, the tool's own messages after it.
Result runInProcess(const std::vector<std::string>& args, const TempDir& scratch) {
    const std::string errFile = scratch.file("console.txt");
    std::fflush(stderr);
    const int saved = dup(2);
    const int file = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(file, 2);
    close(file);
    std::ostringstream out, err;
    Result r;
    r.code = kivcli::run(args, out, err);
    std::fflush(stderr);
    dup2(saved, 2);
    close(saved);
    r.out = out.str();
    r.err = readFile(errFile) + err.str();
    return r;
}

void copyFile(const std::string& from, const std::string& to) { ASSERT_TRUE(writeFile(to, readFile(from))) << to; }

// One set of sample inputs (manifest, CSV, generated pictures and models) for all tests.
class Kivreport : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_samples = new TempDir;
        const std::string input = s_samples->file("input");
        mkdir(input.c_str(), 0755);
        for (const char* f : {"manifest.json", "beam-deflection.csv"})
            copyFile(std::string(KIV_SAMPLES_DIR) + "/data/" + f, input + "/" + f);
        Result made = runProgram(MAKE_SAMPLE_IMAGES_EXE, {input}, *s_samples);
        ASSERT_EQ(made.code, 0) << made.err;
        Result created = runProgram(
            KIVREPORT_EXE, {"repo", "create", s_samples->file("sample.kivrep"), "--from", input + "/manifest.json"}, *s_samples);
        ASSERT_EQ(created.code, 0) << created.err;
    }
    static void TearDownTestSuite() {
        delete s_samples;
        s_samples = nullptr;
    }

    Result kivreport(const std::vector<std::string>& args) { return runInProcess(args, scratch); }
    Result kivreportBinary(const std::vector<std::string>& args) { return runProgram(KIVREPORT_EXE, args, scratch); }
    static std::string sampleInput(const std::string& name) { return s_samples->file("input/" + name); }
    static std::string sampleRepo() { return s_samples->file("sample.kivrep"); }
    static std::string sampleTemplate() { return std::string(KIV_SAMPLES_DIR) + "/templates/report.html"; }

    Json showJson(const std::string& repo) {
        Result r = kivreport({"repo", "show", repo, "--json"});
        EXPECT_EQ(r.code, 0) << r.err;
        Json j = Json::parse(r.out, nullptr, false);
        EXPECT_FALSE(j.is_discarded()) << r.out;
        j.erase("file");
        return j;
    }

    // Every file of two folders, byte for byte.
    void expectSameFiles(const std::string& a, const std::string& b) {
        const std::vector<std::string> names = listFolder(a);
        EXPECT_EQ(names, listFolder(b));
        for (const std::string& n : names) EXPECT_TRUE(readFile(a + "/" + n) == readFile(b + "/" + n)) << n;
    }

    TempDir scratch;
    TempDir work;
    static TempDir* s_samples;
};

TempDir* Kivreport::s_samples = nullptr;

// ---------------------------------------------------------------------------

TEST_F(Kivreport, ShowListsTheSampleSnapshotsWithTheirContent) {
    const Json j = showJson(sampleRepo());
    const Json& list = j["snapshots"];
    std::string listed;
    for (const Json& s : list)
        listed += s["number"].dump() + " " + s["name"].get<std::string>() + " " + s["type"].get<std::string>() + "\n";
    ASSERT_EQ(listed,
              "1 plate-stress image\n2 plate-displacement image\n3 beam-stress image\n4 plate-model model\n"
              "5 beam-model model\n6 beam-deflection table\n7 result-summary table\n8 load-case-stress table\n");
    EXPECT_EQ(list[0]["content"]["width"], 640);
    EXPECT_EQ(list[0]["content"]["height"], 400);
    EXPECT_EQ(list[0]["fieldValues"]["SCALAR_RESULT_MAX"], "312.4 MPa");
    EXPECT_EQ(list[3]["content"]["bytes"], readFile(sampleInput("plate.mdlx")).size());
    EXPECT_EQ(list[3]["cloudViewerUrl"], "https://viewer.example.com/models/plate-with-hole");
    EXPECT_EQ(list[5]["content"]["rows"], 12);
    EXPECT_EQ(list[5]["content"]["columns"], 3);
    EXPECT_EQ(list[6]["content"]["rows"], 3);

    Result text = kivreport({"repo", "show", sampleRepo()});
    EXPECT_EQ(text.code, 0);
    EXPECT_NE(text.out.find("#6  beam-deflection  (table)"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("content: 12 rows x 3 columns"), std::string::npos);
}

TEST_F(Kivreport, ExportAndCreateAgainGiveTheSameRepositoryAndFiles) {
    const std::string dir1 = work.file("export1"), dir2 = work.file("export2");
    Result exported = kivreport({"repo", "export", sampleRepo(), dir1});
    ASSERT_EQ(exported.code, 0) << exported.err;
    EXPECT_EQ(listFolder(dir1), (std::vector<std::string>{"beam-deflection.csv", "beam-model.mdlx", "beam-stress.jpg",
                                                          "load-case-stress.csv", "manifest.json", "plate-displacement.jpg",
                                                          "plate-model.mdlx", "plate-stress.jpg", "result-summary.csv"}));
    // Models come out byte for byte; tables as CSV with their cells.
    EXPECT_TRUE(readFile(dir1 + "/beam-model.mdlx") == readFile(sampleInput("beam.mdlx")));
    EXPECT_EQ(readFile(dir1 + "/result-summary.csv").substr(0, 65),
              "Load case,Max. von Mises stress,Max. displacement,Safety factor\r\n");

    const std::string repo2 = work.file("again.kivrep");
    Result created = kivreport({"repo", "create", repo2, "--from", dir1 + "/manifest.json"});
    ASSERT_EQ(created.code, 0) << created.err;
    EXPECT_EQ(showJson(repo2), showJson(sampleRepo()));

    // A second round changes nothing, pictures included: stored JPEG bytes are kept.
    ASSERT_EQ(kivreport({"repo", "export", repo2, dir2}).code, 0);
    expectSameFiles(dir1, dir2);
}

TEST_F(Kivreport, ExportOfHostileNamesStaysInsideTheFolderWithDistinctSafeNames) {
    // Names with separators, a device name, 300 letters, names equal but for case,
    // trailing and leading dots, the manifest's own name.
    ASSERT_EQ(kivreport({"repo", "create", work.file("r.kivrep"), "--from", KIV_TEST_DATA_DIR "/tools/hostile_names.json"}).code,
              0);

    const std::string parent = work.file("nest");
    mkdir(parent.c_str(), 0755);
    const std::string dir = parent + "/export";
    Result r = kivreport({"repo", "export", work.file("r.kivrep"), dir});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(listFolder(parent), std::vector<std::string>{"export"});  // nothing beside the folder
    // Safe, distinct (also ignoring case) names; the rules are in CliPartsTest.
    EXPECT_EQ(listFolder(dir),
              (std::vector<std::string>{"A.csv", "___.._x.csv", "_con.csv", "_hidden.csv", "a_2.csv", "a_b.csv", "dots.csv",
                                        "manifest.csv", "manifest.json", std::string(120, 'n') + ".csv"}));
    // The exported manifest still names every snapshot as it was.
    ASSERT_EQ(kivreport({"repo", "create", work.file("r2.kivrep"), "--from", dir + "/manifest.json"}).code, 0);
    EXPECT_EQ(showJson(work.file("r2.kivrep")), showJson(work.file("r.kivrep")));
    EXPECT_EQ(showJson(work.file("r2.kivrep"))["snapshots"][0]["name"], "../../x");
}

TEST_F(Kivreport, ExportRefusesAFolderThatIsNotEmptyUnlessForced) {
    const std::string dir = work.file("full");
    mkdir(dir.c_str(), 0755);
    ASSERT_TRUE(writeFile(dir + "/keep.txt", "mine"));
    Result r = kivreport({"repo", "export", sampleRepo(), dir});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.errLines(), 1u) << r.err;
    EXPECT_EQ(listFolder(dir), std::vector<std::string>{"keep.txt"});
    EXPECT_EQ(kivreport({"repo", "export", sampleRepo(), dir, "--force"}).code, 0);
    EXPECT_EQ(readFile(dir + "/keep.txt"), "mine");
    EXPECT_EQ(listFolder(dir).size(), 10u);
}

// ---------------------------------------------------------------------------

TEST_F(Kivreport, GenerateWritesTheReportAndItsPictures) {
    const std::string out = work.file("report.html");
    Result r = kivreport({"generate", "--repo", sampleRepo(), "--template", sampleTemplate(), "--out", out});
    ASSERT_EQ(r.code, 0) << r.err;
    const std::string html = readFile(out);
    // The filling itself: HtmlFillTest; here the repository reaches it, with the viewer.
    EXPECT_NE(html.find("The peak of 312.4 MPa sits"), std::string::npos);  // description macro
    EXPECT_NE(html.find("https://viewer.example.com/models/cantilever?embed=1"), std::string::npos);
    EXPECT_EQ(listFolder(work.path()),
              (std::vector<std::string>{"report.html", "report_SIT1-1.jpg", "report_SIT2-1.jpg", "report_SIT3-1.jpg"}));

    // Without the viewer the models show their previews; --snapshots picks the plots.
    const std::string out2 = work.file("sub/r2.html");
    mkdir(work.file("sub").c_str(), 0755);
    r = kivreport({"generate", "--repo", sampleRepo(), "--template", sampleTemplate(), "--out", out2, "--no-3d-viewer",
                   "--snapshots", "3,1"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(listFolder(work.file("sub")),
              (std::vector<std::string>{"r2.html", "r2_SIT1-1.jpg", "r2_SIT3-1.jpg", "r2_SIT4-1.jpg", "r2_SIT5-1.jpg"}));
    const std::string html2 = readFile(out2);
    EXPECT_LT(html2.find("Cantilever beam: bending stress"), html2.find("Plate with a hole: von Mises stress"));
    EXPECT_EQ(html2.find("displacement along x"), std::string::npos);
}

// The sample deck as the demo makes it: title, summary, one result slide per
// picture snapshot, the model slide, the load cases; Office opens it and LibreOffice draws every slide.
TEST_F(Kivreport, SampleDeckFromTheSampleRepository) {
    const std::string out = work.file("report.pptx");
    Result r = kivreport({"generate", "--repo", sampleRepo(), "--template", KIV_SAMPLE_DECK, "--out", out, "--no-3d-plugin"});
    ASSERT_EQ(r.code, 0) << r.err;
    Result check = runProgram("/usr/bin/python3", {KIV_OOXML_CHECK, "--render", out}, scratch);
    EXPECT_EQ(check.code, 0) << check.out << check.err;
    EXPECT_NE(check.out.find(out + ": (render): 7 page(s)"), std::string::npos) << check.out;
    Result summary = kivreport({"summarize", KIV_SAMPLE_DECK});
    EXPECT_EQ(summary.code, 0);
    EXPECT_NE(summary.out.find("Slide 3:\n---------------------------------\nGeneric: Title\n"), std::string::npos)
        << summary.out;
    // Every tag is matched; only the result fields are missing on the models and tables.
    Result valid = kivreport({"validate", "--repo", sampleRepo(), "--template", KIV_SAMPLE_DECK});
    EXPECT_EQ(valid.code, 1) << valid.err;
    EXPECT_GOLDEN("tools/validate_sample_deck.txt", valid.out);
}

TEST_F(Kivreport, ValidateExitsZeroForAMatchingRepositoryAndOneOtherwise) {
    Result ok = kivreport({"validate", "--repo", sampleRepo(), "--template", sampleTemplate()});
    EXPECT_EQ(ok.code, 0) << ok.out << ok.err;
    EXPECT_NE(ok.out.find("No warnings or errors found"), std::string::npos);

    // Problems that the library reports as a pass (an unused snapshot) exit 1 too;
    // a failed validation does: SampleDeckFromTheSampleRepository.
    Result picked = kivreport({"validate", "--repo", sampleRepo(), "--template", sampleTemplate(), "--snapshots", "1"});
    EXPECT_EQ(picked.code, 1);
    EXPECT_NE(picked.out.find("Snapshot 2 not used."), std::string::npos) << picked.out;
}

TEST_F(Kivreport, SummarizeListsTheSampleTemplateAndRefusesBrokenXml) {
    Result r = kivreport({"summarize", sampleTemplate()});
    ASSERT_EQ(r.code, 0) << r.err;
    // The summary itself: HtmlValidationTest; here its lines end as this platform's.
    EXPECT_NE(r.out.find("Content of generic group 0:\nTitle\nDescription\nImage\n"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find('\r'), std::string::npos);

    ASSERT_TRUE(writeFile(work.file("broken.html"), "<html><body><p>open</body></html>"));
    Result broken = kivreport({"-q", "summarize", work.file("broken.html")});
    EXPECT_EQ(broken.code, 2);
    EXPECT_NE(broken.err.find("broken.html: cannot be summarized"), std::string::npos) << broken.err;
    // One line, the tool's; the library's own messages with -v.
    EXPECT_EQ(broken.errLines(), 1u) << broken.err;
    const Result verbose = kivreport({"-v", "summarize", work.file("broken.html")});
    EXPECT_NE(verbose.err.find("ERROR: Could not open file"), std::string::npos) << verbose.err;
}

TEST_F(Kivreport, JsonOfEveryCommandIsOneDocumentOfWhatHappened) {
    const std::string charts = kivtest::officeTemplate("pp_charts.pptx");
    ASSERT_TRUE(writeFile(work.file("m.json"), R"({"snapshots": [{"type": "table", "name": "t",
        "table": {"rows": [["case", "a"], ["Plate", "1"]]}}]})"));
    ASSERT_EQ(kivreport({"repo", "create", work.file("t.kivrep"), "--from", work.file("m.json")}).code, 0);
    const std::string out = work.file("r.html");
    const struct {
        std::vector<std::string> args;
        int code;
        size_t files;
        const char* text;     // in "text"; null: no text
        const char* message;  // in the last message; null: no messages
        const char* tag;      // of the first message
    } cases[] = {
        {{"generate", "--repo", sampleRepo(), "--template", sampleTemplate(), "--out", out}, 0, 4, nullptr, nullptr, ""},
        {{"validate", "--repo", sampleRepo(), "--template", sampleTemplate()}, 0, 0, "No warnings or errors", nullptr, ""},
        {{"validate", "--repo", work.file("t.kivrep"), "--template", sampleTemplate()}, 1, 0, "does not exist", nullptr, ""},
        {{"summarize", sampleTemplate()}, 0, 0, "Content of generic group 0:\nTitle\n", nullptr, ""},
        {{"generate", "--repo", work.file("t.kivrep"), "--template", charts, "--out", work.file("c.pptx")},
         2,
         0,
         nullptr,
         "c.pptx: the report could not be made: SIT1_CHART: column 0 must hold numbers",
         "SIT1_CHART"},
        {{"summarize", work.file("none.html")}, 2, 0, nullptr, "none.html: file not found", ""},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = c.args;
        args.push_back("--json");
        const Result r = kivreport(args);
        const Json j = Json::parse(r.out, nullptr, false);
        ASSERT_FALSE(j.is_discarded()) << r.out;
        EXPECT_EQ(r.code, c.code) << r.out;
        EXPECT_EQ(j["command"], args[0]);
        EXPECT_EQ(j["exitStatus"], c.code);
        EXPECT_EQ(j["succeeded"], c.code < 2);
        ASSERT_EQ(j["files"].size(), c.files) << r.out;
        if (c.files) {
            EXPECT_EQ(j["files"][0], out);
        }
        EXPECT_EQ(j.contains("text"), c.text != nullptr);
        if (c.text) {
            EXPECT_NE(j["text"].get<std::string>().find(c.text), std::string::npos) << j["text"];
        }
        ASSERT_EQ(j["messages"].empty(), c.message == nullptr) << r.out;
        if (!c.message) continue;
        EXPECT_NE(j["messages"].back()["text"].get<std::string>().find(c.message), std::string::npos) << r.out;
        EXPECT_EQ(j["messages"].back()["source"], "kivreport");
        EXPECT_EQ(j["messages"][0]["level"], "error");
        EXPECT_EQ(j["messages"][0].value("tag", ""), c.tag);
        EXPECT_EQ(r.errLines(), 1u) << r.err;  // the tool's line, nothing of the library
    }
    // The library's messages carry their kind, the tool's own none.
    const Result bad = kivreport({"generate", "--json", "--repo", std::string(KIV_TEST_DATA_DIR) + "/repo-corrupt/not_a_zip.zip",
                                  "--template", sampleTemplate(), "--out", work.file("bad.html")});
    const Json b = Json::parse(bad.out, nullptr, false);
    ASSERT_FALSE(b.is_discarded() || b["messages"].empty()) << bad.out;
    EXPECT_EQ(b["messages"][0]["code"], "not-an-archive");
    EXPECT_FALSE(b["messages"].back().contains("code"));
}

TEST_F(Kivreport, WordTemplatesMakeWordReportsValidationsAndSummaries) {
    const std::string docx = kivtest::officeTemplate("wd_groups.docx");
    const std::string out = work.file("report.docx");
    Result r = kivreport({"generate", "--repo", sampleRepo(), "--template", docx, "--out", out, "--no-3d-plugin"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(readFile(out).compare(0, 2, "PK"), 0);
    EXPECT_EQ(listFolder(work.path()), std::vector<std::string>{"report.docx"});

    // A macro-enabled template: a .docm report keeps the macros, not the signatures.
    Result macros = kivreport({"generate", "--repo", sampleRepo(), "--template", kivtest::officeTemplate("wd_signed.docm"),
                               "--out", work.file("macros.docm")});
    EXPECT_EQ(macros.code, 0) << macros.err;
    EXPECT_EQ(macros.err,
              "warn:  The template's digital signatures are left out of the report: they signed the "
              "template, not the report.\n");

    Result checked = kivreport({"validate", "--repo", sampleRepo(), "--template", docx});
    EXPECT_EQ(checked.code, 0) << checked.out << checked.err;
    EXPECT_NE(checked.out.find("No warnings or errors found"), std::string::npos) << checked.out;

    Result summary = kivreport({"summarize", docx});
    ASSERT_EQ(summary.code, 0) << summary.err;
    EXPECT_NE(summary.out.find("Content of generic group 0:\nTitle\n"), std::string::npos) << summary.out;
    EXPECT_EQ(summary.out.find('\r'), std::string::npos);
    ASSERT_TRUE(writeFile(work.file("broken.docx"), "not a zip"));
    Result broken = kivreport({"-q", "summarize", work.file("broken.docx")});
    EXPECT_EQ(broken.code, 2);
    EXPECT_NE(broken.err.find("broken.docx: cannot be summarized: it is not a Word document"), std::string::npos) << broken.err;
    // A tag left unfilled: a warning line, or with --strict exit status 1 and nothing written.
    const std::string leaves = kivtest::officeTemplate("wd_report.docx"), strict = work.file("strict.docx");
    Result warned = kivreport({"generate", "--repo", sampleRepo(), "--template", leaves, "--out", strict});
    EXPECT_EQ(warned.code, 0);
    EXPECT_NE(warned.err.find("warn:  SIT9_TITLE: Snapshot 9 does not exist\n"), std::string::npos) << warned.err;
    ASSERT_EQ(::unlink(strict.c_str()), 0);
    Result refused = kivreport({"generate", "--repo", sampleRepo(), "--template", leaves, "--out", strict, "--strict"});
    EXPECT_EQ(refused.code, 1) << refused.err;
    EXPECT_NE(::access(strict.c_str(), F_OK), 0);
}

// The committed LibreOffice save of the marker sample, and a fresh one LibreOffice makes
// from its source here: markers become controls, and the controls a filled report.
TEST_F(Kivreport, MarkersOfALibreOfficeDocumentBecomeAFilledWordReport) {
    std::vector<std::string> documents{KIV_SAMPLE_WRITER};
    const std::string profile = "-env:UserInstallation=file://" + work.file("profile");
    Result saved = runProgram("/usr/bin/soffice",
                              {profile, "--headless", "--convert-to", "docx:MS Word 2007 XML", "--outdir", work.path(),
                               std::string(KIV_SAMPLES_DIR) + "/templates/report-writer.fodt"},
                              scratch);
    if (saved.code == 127 && !std::getenv("KIV_NO_SKIPS")) GTEST_SKIP() << "LibreOffice is not installed";
    ASSERT_EQ(saved.code, 0) << saved.err;
    documents.push_back(work.file("report-writer.docx"));
    for (const std::string& document : documents) {
        SCOPED_TRACE(document);
        const std::string tagged = work.file("tagged.docx"), report = work.file("report.docx");
        Result made = kivreport({"template", "controls", document, tagged});
        EXPECT_EQ(made.code, 0) << made.err;
        EXPECT_NE(made.out.find("(13 controls, 1 group)"), std::string::npos) << made.out;
        Result filled = kivreport({"generate", "--repo", sampleRepo(), "--template", tagged, "--out", report, "--no-3d-viewer"});
        ASSERT_EQ(filled.code, 0) << filled.err;
        EXPECT_TRUE(kivtest::passesOoxmlCheck({tagged, report}));
        // The body, and the header, the footer and the footnote LibreOffice wrote.
        const std::vector<std::pair<const char*, std::vector<const char*>>> parts = {
            {"word/document.xml", {"Plate with a hole: von Mises stress", "Tension 100 MPa", "0.7619", "Maximum: </w:t>"}},
            {"word/header1.xml", {">plate_with_hole.kdb<"}},
            {"word/footer1.xml", {">Plate with a hole: von Mises stress<"}},
            {"word/footnotes.xml", {">plate_with_hole.kdb<"}}};
        for (const auto& part : parts) {
            Result xml = runProgram("/usr/bin/unzip", {"-p", report, part.first}, scratch);
            for (const char* shown : part.second)
                EXPECT_NE(xml.out.find(shown), std::string::npos) << part.first << ": " << shown;
            EXPECT_EQ(xml.out.find("{SIT"), std::string::npos) << part.first;
        }
        EXPECT_EQ(kivreport({"template", "controls", tagged, tagged}).code, 2);  // never over its input
    }
    Result broken = kivreport({"template", "controls", sampleTemplate(), work.file("x.docx")});
    EXPECT_EQ(broken.code, 2);
    EXPECT_NE(broken.err.find("is not a Word document"), std::string::npos) << broken.err;
}

// ---------------------------------------------------------------------------

TEST_F(Kivreport, BadInputGivesOneLineExitTwoAndLeavesTheRepositoryAlone) {
    const std::string repo = work.file("existing.kivrep");
    copyFile(sampleRepo(), repo);
    const std::string before = readFile(repo);

    // Broken manifests and inputs, one fault each.
    auto bad = [](const std::string& name) { return std::string(KIV_TEST_DATA_DIR "/tools/manifests/") + name; };
    const std::string okManifest = R"({"snapshots": [{"type": "table", "table": {"rows": [["a"]]}}]})";
    ASSERT_TRUE(writeFile(work.file("ok.json"), okManifest));
    const std::string folder = work.file("folder.kivrep");
    mkdir(folder.c_str(), 0755);
    ASSERT_TRUE(writeFile(work.file("t.pptx"), "PK"));
    const std::string tpl = work.file("t.html"), docx = kivtest::officeTemplate("wd_groups.docx");
    copyFile(sampleTemplate(), tpl);
    auto generate = [&](const std::string& template_, const std::string& out, std::vector<std::string> extra = {}) {
        extra.insert(extra.begin(), {"generate", "--repo", sampleRepo(), "--template", template_, "--out", out});
        return extra;
    };

    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    const std::vector<Case> cases = {
        {{"repo", "create", repo, "--from", bad("nothere.json")}, "nothere.json: file not found"},
        {{"repo", "create", repo, "--from", bad("lost.json")}, "lost.png: file not found (snapshot 1 (\"l\") of"},
        {{"repo", "create", repo, "--from", bad("invalid.json")}, "invalid.json: invalid JSON: parse error at line 1"},
        {{"repo", "create", repo, "--from", bad("img.json")}, "notimage.png: not a PNG or JPEG image"},
        {{"repo", "create", repo, "--from", bad("csv.json")},
         "ragged.csv: bad CSV: line 3: record has 1 fields, the first has 2"},
        {{"repo", "create", repo, "--from", bad("typo.json")}, "unknown key \"fieldvalues\""},
        {{"repo", "create", repo, "--from", bad("model.json")}, "ragged.csv: not an Mdlx model file"},
        {{"repo", "create", folder, "--from", sampleInput("manifest.json")}, "folder.kivrep: is a folder"},
        {{"repo", "create", work.file("no/such/dir/r.kivrep"), "--from", sampleInput("manifest.json")},
         "folder " + work.file("no/such/dir") + " does not exist"},
        {{"repo", "show", folder}, "folder.kivrep: is a folder, not a repository file"},
        {{"repo", "show", bad("invalid.json")}, "invalid.json: not a readable repository file"},
        {{"repo", "export", sampleRepo(), work.file("no/such")}, "folder " + work.file("no") + " does not exist"},
        {{"generate", "--repo", folder, "--template", sampleTemplate(), "--out", work.file("x.html")},
         "is a folder, not a repository file"},
        {{"generate", "--repo", sampleRepo(), "--template", sampleTemplate(), "--out", work.file("none/x.html")},
         "does not exist"},
        {{"validate", "--repo", work.file("gone.kivrep"), "--template", sampleTemplate()}, "gone.kivrep: file not found"},
        {generate(tpl, work.file("o.html"), {"--snapshots", "9"}), "Snapshot 9 (index 8) does not exist: the repository holds"},
        {generate(work.file("t.pptx"), work.file("o.html")), "a PowerPoint template makes a PowerPoint report; name it .pptx"},
        {generate(work.file("missing.html"), work.file("o.html")), "missing.html: file not found"},
        {generate(tpl, work.file("o.docx")), "an HTML template makes an HTML report"},
        {generate(tpl, work.file("o.pptm")), "an HTML template makes an HTML report"},
        {generate(docx, work.file("o.html")), "a Word template makes a Word report; name it .docx (.docm to keep its macros)"},
        {{"generate", "--repo", sampleRepo(), "--out", work.file("o.html")}, "--template is required"},
        // Outputs that would destroy an input.
        {{"repo", "create", work.file("ok.json"), "--from", work.file("ok.json")}, "ok.json: is an input of the manifest"},
        {{"generate", "--repo", repo, "--template", sampleTemplate(), "--out", repo}, "is a repository file"},
        {generate(tpl, tpl), "t.html: is the template itself; choose another --out"},
    };
    for (const Case& c : cases) {
        Result r = kivreport(c.args);
        EXPECT_EQ(r.code, 2) << c.message << "\n" << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        // One line, the tool's: the library's messages only with -v.
        EXPECT_EQ(r.errLines(), 1u) << r.err;
        EXPECT_EQ(r.err.rfind("kivreport: ", 0), 0u) << r.err;
        EXPECT_TRUE(readFile(repo) == before) << c.message;
    }
    EXPECT_NE(kivreport({"-v", "repo", "show", bad("invalid.json")}).err.find("\n        -func: "), std::string::npos);
    EXPECT_EQ(readFile(work.file("ok.json")), okManifest);
    EXPECT_EQ(readFile(tpl), readFile(sampleTemplate()));
    EXPECT_EQ(listFolder(work.path()).size(), 5u);  // no stray output files
}

TEST_F(Kivreport, DuplicateNamesAreStoredRenamedWithAWarning) {
    ASSERT_TRUE(writeFile(work.file("dup.json"), R"({"snapshots": [
        {"type": "table", "name": "t", "table": {"rows": [["1"]]}},
        {"type": "table", "name": "t", "table": {"rows": [[2, true]]}}]})"));
    Result r = kivreport({"repo", "create", work.file("d.kivrep"), "--from", work.file("dup.json")});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("name \"t\" is taken by an earlier snapshot; stored as \"t1\""), std::string::npos) << r.err;
    const Json j = showJson(work.file("d.kivrep"));
    EXPECT_EQ(j["snapshots"][1]["name"], "t1");
    EXPECT_EQ(j["snapshots"][1]["content"]["columns"], 2);
}

TEST_F(Kivreport, EveryCommandHasHelpAndUnknownInputIsAUsageError) {
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{{"--help"},
                                                                                      {"repo", "--help"},
                                                                                      {"repo", "create", "--help"},
                                                                                      {"repo", "show", "-h"},
                                                                                      {"repo", "export", "--help"},
                                                                                      {"generate", "--help"},
                                                                                      {"validate", "--help"},
                                                                                      {"summarize", "--help"}}) {
        Result r = kivreportBinary(args);
        EXPECT_EQ(r.code, 0) << args.back();
        EXPECT_EQ(r.out.rfind("Usage: kivreport", 0), 0u) << r.out;
        EXPECT_TRUE(r.err.empty());
    }
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{{},
                                                                                      {"frobnicate"},
                                                                                      {"repo"},
                                                                                      {"repo", "delete"},
                                                                                      {"summarize"},
                                                                                      {"repo", "show", "a", "b"},
                                                                                      {"generate", "--bogus"}}) {
        Result r = kivreportBinary(args);
        EXPECT_EQ(r.code, 2);
        EXPECT_EQ(r.errLines(), 1u) << r.err;
    }
}

}  // namespace
