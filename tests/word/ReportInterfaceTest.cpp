// The report interface: one repository through the creator the template calls
// for, in every format, with the same options and results that name the same
// snapshots, errors and warnings as the log.
#include "KivReport/ReportCreator.h"
#include "KivReport/Repository.h"
#include "word/ReportTestSupport.h"
#include <filesystem>
#include <map>
#include <sstream>

using kiv::Str;
using namespace kiv::rep;
using namespace kivtest;

namespace {

std::vector<std::string> messagesOf(const ReportResult& result, ReportResult::Level level) {
    std::vector<std::string> out;
    for (size_t i = 0; i < result.messageCount(); ++i)
        if (result.messageLevel(i) == level) out.push_back(result.message(i).toStdString());
    return out;
}

class ReportInterface : public ReportTest {};

TEST_F(ReportInterface, EveryFormatLeavesOutTheSameSnapshotOnlyWhenAskedTo) {
    // Snapshot 'm': a model whose preview cannot be read, shown as a picture.
    lfw::Ref<Repository> repository = new Repository;
    ASSERT_TRUE(repository->loadRepository(Str(std::string(KIV_TEST_DATA_DIR) + "/hostile/preview_unreadable.zip")));
    ASSERT_TRUE(writeFile(dir.file("t.html"),
                          "<html><body><orvrepsit name=\"SIT1_MDLX\"><iframe src=\"x\" width=\"4\" "
                          "height=\"3\"></iframe></orvrepsit></body></html>\n"));
    // A deck under a name that does not tell its format: its content types do.
    ASSERT_TRUE(writeFile(dir.file("deck.bin"), readFile(officeTemplate("pp_models.pptx"))));
    const struct {
        std::string templatePath, out;
        ReportFormat format;
    } cases[] = {{dir.file("t.html"), "r.html", ReportFormat::Html},
                 {officeTemplate("wd_mdlx.docx"), "r.docx", ReportFormat::Word},
                 {officeTemplate("pp_models.pptx"), "r.pptx", ReportFormat::PowerPoint},
                 {dir.file("deck.bin"), "d.pptx", ReportFormat::PowerPoint}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.templatePath);
        std::unique_ptr<ReportCreator> creator = ReportCreator::create(repository.p(), Str(c.templatePath));
        ASSERT_TRUE(creator);
        EXPECT_EQ(creator->format(), c.format);
        ReportOptions options;
        options.use3dViewer = false;
        const std::string out = dir.file(c.out);
        for (bool partial : {false, true}) {
            recorder->clear();
            options.acceptPartialReport = partial;
            const ReportResult result = creator->generate(Str(out), options);
            EXPECT_EQ(result.succeeded(), partial);
            ASSERT_EQ(result.leftOutCount(), 1u);
            EXPECT_EQ(result.leftOut(0).toStdString(), "m");
            // The result holds what the log got, each at its level.
            EXPECT_EQ(messagesOf(result, ReportResult::Error), errors());
            EXPECT_EQ(messagesOf(result, ReportResult::Warning), warnings());
            const std::vector<std::string> told = partial ? warnings() : errors();
            ASSERT_FALSE(told.empty());
            EXPECT_EQ(told.back(), partial ? "Report written without the content of snapshots 'm'"
                                           : "Report not written: the content of snapshots 'm' could not be shown");
            EXPECT_EQ(result.fileCount(), partial ? 1u : 0u);
            EXPECT_EQ(result.file(0).toStdString(), partial ? out : "");
            EXPECT_EQ(::access(out.c_str(), F_OK) == 0, partial);
            if (partial && c.format != ReportFormat::Html) {
                EXPECT_OOXML_VALID(out);
            }
        }
        const ReportResult validation = creator->validate(options);
        EXPECT_FALSE(validation.text().isEmpty());
        const ReportResult summary = ReportCreator::summarize(Str(c.templatePath));
        EXPECT_TRUE(summary.succeeded());
        EXPECT_FALSE(summary.text().isEmpty());
    }
    // Neither a known extension nor a package: no creator, one error.
    recorder->clear();
    EXPECT_FALSE(ReportCreator::create(repository.p(), Str(dir.file("t.txt"))));
    EXPECT_EQ(errors().size(), 1u);
    EXPECT_FALSE(ReportCreator::summarize(Str(dir.file("t.txt"))));
}

// Tags a report leaves as the template has them: a warning each, in the words
// validate lists them with; a strict report refuses instead and writes nothing.
TEST_F(ReportInterface, TagsLeftUnfilledAreWarnedOrRefuseAStrictReport) {
    kiv::PtrRef<Repository> repository = repositoryOf({namedImageSnapshot("a").p(), namedImageSnapshot("b").p(),
                                                       tableSnapshot({{"x", "y"}, {"1", "2"}}).p(), namedImageSnapshot("d").p()});
    ASSERT_TRUE(writeFile(dir.file("t.html"),
                          "<html><body><orvrepsit name=\"SIT7_TITLE\">t</orvrepsit>"
                          "<orvrepsit name=\"SIT1_$NONE\">v</orvrepsit></body></html>\n"));
    ASSERT_TRUE(writeFile(dir.file("none.html"), "<html><body>no tag</body></html>\n"));
    const struct {
        std::string templatePath, out;
        size_t warnings;
    } cases[] = {{dir.file("t.html"), "r.html", 2},
                 {officeTemplate("wd_report.docx"), "r.docx", 5},
                 {officeTemplate("pp_static.pptx"), "r.pptx", 6},
                 {std::string(KIV_BINARY_DIR) + "/tests/data/docx/tagged.docx", "t.docx",
                  5},  // "REF_" fields only, and no reference repository
                 {dir.file("none.html"), "n.html", 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.templatePath);
        std::unique_ptr<ReportCreator> creator = ReportCreator::create(repository.p(), Str(c.templatePath));
        ASSERT_TRUE(creator);
        const std::string out = dir.file(c.out);
        ReportOptions options;
        recorder->clear();
        const ReportResult made = creator->generate(Str(out), options);
        ASSERT_TRUE(made.succeeded()) << allErrors();
        // Each problem line of the validation (but unused snapshots) is one warning.
        std::vector<std::string> listed;
        std::istringstream text(creator->validate(options).text().toStdString());
        std::vector<std::string> lines;
        for (std::string line; std::getline(text, line);) lines.push_back(line);
        lines.push_back(std::string());
        bool inSection = false;
        for (size_t i = 0; i + 1 < lines.size(); ++i) {
            const std::string& line = lines[i];
            if (lines[i + 1].find_first_not_of('-') == std::string::npos && !lines[i + 1].empty())
                inSection = line.find("Unused") != 0 && line.find("VALIDATION") != 0, ++i;
            else if (line.empty()) inSection = false;
            else if (inSection && std::find(listed.begin(), listed.end(), line) == listed.end()) listed.push_back(line);
        }
        if (c.out == "n.html") listed.push_back("The template holds no tag: the report is a copy of it");
        EXPECT_EQ(messagesOf(made, ReportResult::Warning), listed);
        EXPECT_EQ(listed.size(), c.warnings);
        for (size_t i = 0; i < made.messageCount(); ++i) EXPECT_EQ(made.messageCode(i), ProblemCode::TagUnfilled) << i;
        // Strict: refused, the earlier report kept.
        options.strict = true;
        ASSERT_TRUE(writeFile(out, "earlier"));
        const ReportResult refused = creator->generate(Str(out), options);
        EXPECT_FALSE(refused.succeeded());
        EXPECT_EQ(refused.fileCount(), 0u);
        EXPECT_EQ(readFile(out), "earlier");
        EXPECT_EQ(refused.errorCount(), c.warnings + 1);
        // A snapshot beyond the repository is refused by every call, in one text.
        options.snapshots = {1, 7};
        for (const ReportResult& r : {creator->generate(Str(out), options), creator->validate(options)}) {
            EXPECT_FALSE(r.succeeded());
            ASSERT_EQ(r.errorCount(), 1u);
            EXPECT_EQ(r.message(0).toStdString(), "Snapshot 8 (index 7) does not exist: the repository holds 4 snapshots");
            EXPECT_EQ(r.messageCode(0), ProblemCode::InvalidArgument);
        }
    }
}

// A signed template with a VBA project, of each format, as the report's name
// asks: the signatures always go, the project stays only in a .pptm or .docm
// report, whose main part alone is macro-enabled; each loss is a warning.
TEST_F(ReportInterface, SignaturesGoAndMacrosStayOnlyInMacroEnabledReports) {
    auto repository = repositoryOf({imageSnapshot(16, 8).p()});
    // Macro-enabled packages under macro-free names: their content types tell.
    ASSERT_TRUE(copyFile(officeTemplate("pp_signed.pptm"), dir.file("signed.pptx")));
    ASSERT_TRUE(copyFile(officeTemplate("wd_signed.docm"), dir.file("signed.docx")));
    const std::string signatures =
                          "The template's digital signatures are left out of the report: they signed the "
                          "template, not the report.",
                      macros =
                          "The template's macros (its VBA project) are left out of the report: only a "
                          "macro-enabled report (.pptm, .docm) keeps them.";
    const ReportFormat pp = ReportFormat::PowerPoint, wd = ReportFormat::Word;
    const struct {
        std::string templatePath, out;
        ReportFormat format;
        std::vector<std::string> warnings;
    } cases[] = {{officeTemplate("pp_signed.pptm"), "r.pptx", pp, {signatures, macros}},
                 {officeTemplate("pp_signed.pptm"), "r.pptm", pp, {signatures}},
                 {dir.file("signed.pptx"), "s.pptx", pp, {signatures, macros}},
                 {officeTemplate("pp_valid.pptx"), "v.pptm", pp, {}},
                 {officeTemplate("wd_signed.docm"), "r.docx", wd, {signatures, macros}},
                 {officeTemplate("wd_signed.docm"), "r.docm", wd, {signatures}},
                 {dir.file("signed.docx"), "s.docx", wd, {signatures, macros}},
                 {officeTemplate("wd_sum.docx"), "v.docm", wd, {}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.out);
        EXPECT_EQ(ReportCreator::formatOf(Str(c.templatePath)), c.format);
        const std::string out = dir.file(c.out), root = c.format == wd ? "word/" : "ppt/";
        const ReportResult result = ReportCreator::create(repository.p(), Str(c.templatePath))->generate(Str(out), {});
        ASSERT_TRUE(result.succeeded()) << allErrors();
        std::vector<std::string> told;  // what the package lost (the tags left unfilled come after)
        for (const std::string& w : messagesOf(result, ReportResult::Warning))
            if (w.rfind("The template's", 0) == 0) told.push_back(w);
        EXPECT_EQ(told, c.warnings);
        const bool macroEnabled = c.out.back() == 'm', keeps = macroEnabled && c.warnings.size() == 1;
        const std::string types = readPart(out, "[Content_Types].xml");
        EXPECT_EQ(types.find("macroEnabled") != std::string::npos, macroEnabled) << types;
        EXPECT_EQ(types.find("vbaProject") != std::string::npos, keeps) << types;
        EXPECT_EQ(hasPart(out, root + "vbaProject.bin"), keeps);
        EXPECT_EQ(hasPart(out, "word/vbaData.xml"), keeps && c.format == wd);
        EXPECT_EQ(types.find("digital-signature"), std::string::npos) << types;
        EXPECT_FALSE(hasPart(out, "_xmlsignatures/sig1.xml") || hasPart(out, "_xmlsignatures/origin.sigs"));
        EXPECT_OOXML_VALID(out);
    }
}

}  // namespace

TEST_F(ReportInterface, EveryHostileOrDamagedInputHasTheKindOfItsFirstError) {
    // Repositories: refused (false), loaded in part (not clean) or loaded; templates:
    // filled against a valid repository. None: no error.
    enum Outcome { Refused, Partial, Loaded };
    using P = ProblemCode;
    const std::map<std::string, std::pair<Outcome, ProblemCode>> kinds = {
        {"hostile/bad_crc_image.zip", {Partial, P::DamagedEntry}},
        {"hostile/control_names.zip", {Loaded, P::None}},
        {"hostile/cut_utf8.html", {Loaded, P::None}},
        {"hostile/cut_utf8.zip", {Refused, P::UnreadableXml}},
        {"hostile/deep_entity.html", {Loaded, P::None}},
        {"hostile/deep_entity.zip", {Refused, P::UnreadableXml}},
        {"hostile/deep_utf8.html", {Loaded, P::None}},
        {"hostile/deep_utf8.zip", {Refused, P::UnreadableXml}},
        {"hostile/encrypted_image.zip", {Partial, P::Unsupported}},
        {"hostile/jpeg_decoder_memory.zip", {Partial, P::TooLarge}},
        {"hostile/jpeg_progressive_ok.zip", {Loaded, P::None}},
        {"hostile/jpeg_scans.zip", {Partial, P::UnreadablePicture}},
        {"hostile/macro_bomb.zip", {Loaded, P::None}},
        {"hostile/nested_group.html", {Refused, P::TemplateMarkup}},
        {"hostile/preview_bomb.zip", {Loaded, P::None}},
        {"hostile/preview_unreadable.zip", {Loaded, P::None}},
        {"hostile/table_rows.zip", {Partial, P::TooLarge}},
        {"hostile/types_bomb.pptx", {Refused, P::WrongContent}},
        {"repo-corrupt/all_kinds.zip", {Loaded, P::None}},
        {"repo-corrupt/bad_crc.zip", {Refused, P::DamagedEntry}},
        {"repo-corrupt/deep.zip", {Refused, P::UnreadableXml}},
        {"repo-corrupt/empty.zip", {Refused, P::NotAnArchive}},
        {"repo-corrupt/hostile_names.zip", {Partial, P::EntryMissing}},
        {"repo-corrupt/image_bomb.zip", {Partial, P::TooLarge}},
        {"repo-corrupt/image_bomb_lying.zip", {Partial, P::NotAnArchive}},
        {"repo-corrupt/index_bomb.zip", {Refused, P::TooLarge}},
        {"repo-corrupt/not_a_zip.zip", {Refused, P::NotAnArchive}},
        {"repo-corrupt/not_xml.zip", {Refused, P::UnreadableXml}},
        {"repo-corrupt/older_format.zip", {Partial, P::WrongContent}},
        {"repo-corrupt/row_million_items.zip", {Partial, P::TooLarge}},
        {"repo-corrupt/rows_cut.zip", {Loaded, P::None}},
        {"repo-corrupt/rows_huge.zip", {Partial, P::TooLarge}},
        {"repo-corrupt/rows_negative.zip", {Loaded, P::None}},
        {"repo-corrupt/truncated.zip", {Refused, P::NotAnArchive}},
        {"repo-corrupt/valid.zip", {Loaded, P::None}},
        {"repo-corrupt/wrong_root.zip", {Refused, P::WrongContent}},
    };
    const std::string data = std::string(KIV_TEST_DATA_DIR) + "/";
    lfw::Ref<Repository> valid = new Repository;
    ASSERT_TRUE(valid->loadRepository(Str(data + "repo-corrupt/valid.zip")));
    size_t checked = 0;
    for (const char* folder : {"hostile", "repo-corrupt"}) {
        for (const auto& entry : std::filesystem::directory_iterator(data + folder)) {
            const std::string file = std::string(folder) + "/" + entry.path().filename().string();
            if (entry.path().extension() == ".py") continue;
            const auto kind = kinds.find(file);
            ASSERT_NE(kind, kinds.end()) << file << " has no row";
            Outcome outcome = Loaded;
            ProblemCode code = P::None;
            if (entry.path().extension() == ".zip") {
                lfw::Ref<Repository> repository = new Repository;
                outcome = !repository->loadRepository(Str(entry.path().string())) ? Refused
                          : repository->loadedCleanly()                           ? Loaded
                                                                                  : Partial;
                code = repository->lastProblem();
            } else {
                std::unique_ptr<ReportCreator> creator = ReportCreator::create(valid.p(), Str(entry.path().string()));
                ASSERT_TRUE(creator) << file;
                const ReportResult result = creator->generate(Str(dir.file("r" + entry.path().extension().string())), {});
                outcome = result.succeeded() ? Loaded : Refused;
                for (size_t i = result.messageCount(); i-- > 0;)
                    if (result.messageLevel(i) == ReportResult::Error) code = result.messageCode(i);
            }
            EXPECT_EQ(outcome, kind->second.first) << file;
            EXPECT_EQ(code, kind->second.second) << file << ": " << problemCodeName(code);
            ++checked;
        }
    }
    EXPECT_EQ(checked, kinds.size());
}
