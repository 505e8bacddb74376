// The public Word creator: reports from our test packages and Office-made
// templates, failures that keep earlier reports, validation and summaries.
#include "KivReport/ReportComponent.h"
#include "KivReport/ReportCreatorWord.h"
#include "KivReport/Repository.h"
#include "KivReport/Table.h"
#include "docx/WordTestSupport.h"
#include "host/core/KivInstance.h"
#include "support/Builders.h"
#include "support/Golden.h"
#include "support/OoxmlCheck.h"
#include <dirent.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace wordtest;
using kiv::Str;
using kiv::rep::ReportComponent;
using kiv::rep::ReportCreatorWord;
using kiv::rep::Repository;

namespace {

class WordReport : public kivtest::LoggingTest {
protected:
    void SetUp() override {
        LoggingTest::SetUp();
        kiv::Instance instance;
        ASSERT_TRUE(ReportComponent::initialize(&instance));
        output = dir.file("report.docx");
    }

    // The document part of the report, and its tags.
    std::string documentXml() {
        MkOpenXMLWordArchive archive;
        if (!archive.Open(MkString(output.c_str()), ZIP_OPEN_READ_ONLY)) return std::string();
        size_t size = 0;
        unsigned char* data = archive.ReadDataRaw(L"word\\document.xml", &size);
        std::string text = data ? std::string(reinterpret_cast<char*>(data), size) : std::string();
        free(data);
        return text;
    }
    MkWordDocumentContent tags() {
        MkOpenXMLWordArchive archive;
        MkWordDocumentContent content;
        if (archive.Open(MkString(output.c_str()), ZIP_OPEN_READ_ONLY)) archive.GetDocumentContent(content);
        return content;
    }
    static kivtest::SnapshotRef table(int rows) {
        std::vector<std::vector<std::string>> cells = {{"x", "p", "q"}};
        for (int r = 1; r < rows; ++r) cells.push_back({std::to_string(r), std::to_string(r * 2), std::to_string(r * 3)});
        return kivtest::tableSnapshot(cells);
    }
    static size_t countOf(const std::string& text, const std::string& what) {
        size_t n = 0;
        for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
        return n;
    }
    std::vector<std::string> folder() const {
        std::vector<std::string> names;
        if (DIR* d = ::opendir(dir.path().c_str())) {
            while (dirent* e = ::readdir(d))
                if (e->d_name[0] != '.' || std::string(e->d_name).find("Varnox") != std::string::npos) names.push_back(e->d_name);
            ::closedir(d);
        }
        return names;
    }

    kivtest::TempDir dir;
    std::string output;
};

} // namespace

TEST_F(WordReport, AnEmptyRepositoryWritesNothing) {
    auto repository = kivtest::repositoryOf({});
    ReportCreatorWord creator(repository.p(), Str(testPackage("tagged")));
    EXPECT_FALSE(creator.generate(Str(output)));
    EXPECT_EQ(errors(), std::vector<std::string>{"Could not create report file. No active snapshots in repository."});
    EXPECT_TRUE(folder().empty());
}

TEST_F(WordReport, StaticTagsOfEveryKind) {
    auto image = kivtest::imageSnapshot(400, 200);
    image->setTitle(Str("Pressure on $(DATABASE_NAME)"));
    image->setDescription(Str("Max <b>12</b> bar"));
    image->setFieldValues({{Str("DATABASE_NAME"), Str("engine.db")}});
    auto second = table(4);
    auto repository = kivtest::repositoryOf({image.p(), second.p(), kivtest::textSnapshot("three").p(),
                                             kivtest::textSnapshot("four").p()});
    ReportCreatorWord creator(repository.p(), Str(testPackage("tagged")));
    ASSERT_TRUE(creator.generate(Str(output))) << ::testing::PrintToString(errors());
    EXPECT_TRUE(errors().empty());
    const std::string xml = documentXml();
    EXPECT_NE(std::string::npos, xml.find("Pressure on engine.db"));
    EXPECT_NE(std::string::npos, xml.find("engine.db</w:t>"));  // the macro control
    // The picture control and the viewer control show one picture file.
    EXPECT_EQ(2u, countOf(xml, "r:embed=\"rIdSIT1_PICTURE\""));
    EXPECT_EQ(std::string::npos, xml.find("SIT1_MDLX\" w:shapeid"));
    EXPECT_NE(std::string::npos, xml.find(">q</w:t>"));  // SIT2_TABLE holds the table snapshot
    EXPECT_TRUE(kivtest::passesOoxmlCheck({output}));
}

TEST_F(WordReport, GroupsRepeatForTheSelectedSnapshotsOfTheirType) {
    auto repository = kivtest::repositoryOf({kivtest::imageSnapshot(64, 48).p(), kivtest::imageSnapshot(64, 48).p(),
                                             kivtest::imageSnapshot(64, 48).p()});
    ReportCreatorWord creator(repository.p(), Str(testPackage("groups")));
    creator.setGenericSnapshotIndices({0, 2});
    ASSERT_TRUE(creator.generate(Str(output)));
    const MkWordDocumentContent content = tags();
    const MkWordDocumentTagArray* titles = content.GetTags(SIT_TYPE_TITLE);
    ASSERT_EQ(3, titles->GetSize());  // the static one and two copies
    EXPECT_TRUE(titles->Exists(L"SIT1_TITLE"));
    EXPECT_TRUE(titles->Exists(L"SIT3_TITLE"));
    EXPECT_FALSE(titles->Exists(L"SIT2_TITLE"));
    // No table snapshot: the chart and table groups go without a copy.
    EXPECT_EQ(0, content.GetTags(SIT_TYPE_CHART)->GetSize());
    EXPECT_EQ(0, content.GetTags(SIT_TYPE_TABLE)->GetSize());
    EXPECT_TRUE(kivtest::passesOoxmlCheck({output}));
}

TEST_F(WordReport, ModelsBesideTheReportOrEmbedded) {
    auto model = kivtest::previewModelSnapshot(80, 40);
    auto repository = kivtest::repositoryOf({model.p()});
    ReportCreatorWord creator(repository.p(), Str(testPackage("tagged")));
    creator.setEmbedMdlx(false);
    ASSERT_TRUE(creator.generate(Str(output))) << ::testing::PrintToString(errors());
    struct stat st;
    EXPECT_EQ(0, ::stat(dir.file("report_SIT1-1.mdlx").c_str(), &st));
    MkOpenXMLWordArchive archive;
    ASSERT_TRUE(archive.Open(MkString(output.c_str()), ZIP_OPEN_READ_ONLY));
    MkStringArray referred;
    archive.GetReferredMdlxFiles(&referred, false);
    ASSERT_EQ(1, referred.GetSize());
    EXPECT_EQ(MkString(L"report_SIT1-1.mdlx"), referred[0]);
    archive.Close();
    EXPECT_TRUE(kivtest::passesOoxmlCheck({output}));

    const std::string embedded = dir.file("embedded.docx");
    ReportCreatorWord embedding(repository.p(), Str(testPackage("tagged")));
    ASSERT_TRUE(embedding.generate(Str(embedded)));
    ASSERT_TRUE(archive.Open(MkString(embedded.c_str()), ZIP_OPEN_READ_ONLY));
    EXPECT_GE(archive.FindFile(L"word\\mdlxFiles\\mdlx1.mdlx"), 0);
    archive.Close();
    EXPECT_TRUE(kivtest::passesOoxmlCheck({embedded}));
}

TEST_F(WordReport, AFailedContentStepFailsTheReportAndKeepsTheEarlierOne) {
    ASSERT_TRUE(kivtest::writeFile(output, "earlier report"));
    // SIT1 is an image snapshot without an image: its picture cannot be made.
    auto repository = kivtest::repositoryOf({kivtest::textSnapshot("no image").p()});
    ReportCreatorWord creator(repository.p(), Str(testPackage("tagged")));
    EXPECT_FALSE(creator.generate(Str(output)));
    EXPECT_TRUE(recorder->contains("Error creating temporary file."));
    EXPECT_EQ("earlier report", kivtest::readFile(output));
    EXPECT_EQ(std::vector<std::string>{"report.docx"}, folder());  // nothing staged is left
}

TEST_F(WordReport, BrokenTemplatesFailCleanly) {
    const std::string notZip = dir.file("not.docx"), noDocument = dir.file("nodoc.docx");
    ASSERT_TRUE(kivtest::writeFile(notZip, "plain text"));
    {
        PxZipArchive zip;
        ASSERT_TRUE(zip.Open(MkString(noDocument.c_str()), ZIP_CREATE));
        ASSERT_TRUE(zip.WriteDataRaw(L"word\\other.xml", "<x/>", 4, false));
        ASSERT_TRUE(zip.Close());
    }
    auto repository = kivtest::repositoryOf({kivtest::textSnapshot("t").p()});
    for (const std::string& broken : {notZip, noDocument, dir.file("missing.docx")}) {
        SCOPED_TRACE(broken);
        recorder->clear();
        ReportCreatorWord creator(repository.p(), Str(broken));
        EXPECT_FALSE(creator.generate(Str(output)));
        EXPECT_FALSE(errors().empty());
        struct stat st;
        EXPECT_NE(0, ::stat(output.c_str(), &st));
        Str report;
        EXPECT_FALSE(creator.validate(&report));
        EXPECT_EQ(std::wstring(L"Not able to open template file"), report.toStdWString());
    }
    EXPECT_FALSE(ReportCreatorWord(repository.p(), Str(notZip)).generate(Str(dir.file("no/such/folder/r.docx"))));

    // Groups inside groups, and groups without a tag, are refused with one error.
    for (const std::string& body : {group("Outer", 1, group("Inner", 2, sdt("SIT_TITLE", 3, para("t")))),
                                    std::string("<w:sdt><w:sdtPr><w:group/></w:sdtPr><w:sdtContent>") +
                                        sdt("SIT_TITLE", 3, para("t")) + "</w:sdtContent></w:sdt>"}) {
        MkOpenXMLWordDocument document;
        ASSERT_TRUE(parseBody(&document, body));
        const std::string templatePath = dir.file("grouped.docx");
        ASSERT_TRUE(copyFile(testPackage("groups"), templatePath));
        MkOpenXMLWordArchive package;
        ASSERT_TRUE(package.Open(MkString(templatePath.c_str()), ZIP_OPEN));
        ASSERT_TRUE(package.WriteDocument(document));
        ASSERT_TRUE(package.Close());
        recorder->clear();
        EXPECT_FALSE(ReportCreatorWord(repository.p(), Str(templatePath)).generate(Str(output)));
        EXPECT_EQ(1u, errors().size());
        struct stat st;
        EXPECT_NE(0, ::stat(output.c_str(), &st));
    }
    EXPECT_NE(std::string::npos, errors()[0].find("group"));
}

TEST_F(WordReport, EveryOfficeTemplateMakesAValidReport) {
    auto image = kivtest::imageSnapshot(320, 240);
    image->setFieldValues({{Str("DATABASE_NAME"), Str("engine.db")}, {Str("Pressure"), Str("3 bar")}});
    auto repository = kivtest::repositoryOf({image.p(), kivtest::previewModelSnapshot(64, 48).p(), table(4).p(),
                                             kivtest::imageSnapshot(100, 100).p(), table(3).p()});
    std::vector<std::string> reports;
    for (const char* name : {"wd_report.docx", "wd_groups.docx", "wd_mdlx.docx", "wd_foreign.docx", "wd_sum.docx",
                             "wd_valid_edges.docx", "wd_valid_groups.docx", "wd_valid_outside.docx",
                             "wd_valid_sit0.docx"}) {
        SCOPED_TRACE(name);
        ReportCreatorWord creator(repository.p(), Str(officeTemplate(name)));
        reports.push_back(dir.file(std::string("r_") + name));
        EXPECT_TRUE(creator.generate(Str(reports.back()))) << ::testing::PrintToString(errors());
    }
    EXPECT_TRUE(kivtest::passesOoxmlCheck(reports));
}

TEST_F(WordReport, ValidationAndSummaryTexts) {
    auto repository = kivtest::repositoryOf({kivtest::imageSnapshot(10, 10).p(), table(3).p(),
                                             kivtest::textSnapshot("t", "", {{"Pressure", "1"}}).p()});
    std::string all;
    for (const char* name : {"wd_valid_edges.docx", "wd_valid_groups.docx", "wd_valid_outside.docx",
                             "wd_valid_sit0.docx", "wd_sum.docx", "wd_report.docx", "wd_groups.docx"}) {
        ReportCreatorWord creator(repository.p(), Str(officeTemplate(name)));
        Str report, summary;
        const bool valid = creator.validate(&report);
        EXPECT_TRUE(ReportCreatorWord::summarize(Str(officeTemplate(name)), &summary));
        all += std::string("=== ") + name + (valid ? " (valid)" : " (invalid)") + "\n" + report.toStdString() +
               "\n--- summary\n" + summary.toStdString() + "\n";
    }
    EXPECT_GOLDEN("word/validation_and_summary.txt", all);
    Str summary;
    EXPECT_FALSE(ReportCreatorWord::summarize(Str(dir.file("missing.docx")), &summary));
    EXPECT_EQ(std::wstring(L"Not able to open template file"), summary.toStdWString());
}

TEST_F(WordReport, TagsOfMissingSnapshotsStayAsTheyAre) {
    auto repository = kivtest::repositoryOf({kivtest::textSnapshot("one").p(), kivtest::textSnapshot("two").p(),
                                             kivtest::textSnapshot("three").p(), kivtest::textSnapshot("four").p()});
    MkOpenXMLWordDocument document;
    ASSERT_TRUE(parseBody(&document, sdt("SIT5_TITLE", 1, para("Template title")) + sdt("SIT4_TITLE", 2, para("x"))));
    MkOpenXMLWordArchive package;
    const std::string templatePath = dir.file("template.docx");
    ASSERT_TRUE(copyFile(testPackage("tagged"), templatePath));
    ASSERT_TRUE(package.Open(MkString(templatePath.c_str()), ZIP_OPEN));
    ASSERT_TRUE(package.WriteDocument(document));
    ASSERT_TRUE(package.Close());
    ReportCreatorWord creator(repository.p(), Str(templatePath));
    creator.setEmbedMdlx(false);  // the package still holds the viewer control part, naming no model file here
    ASSERT_TRUE(creator.generate(Str(output)));
    EXPECT_TRUE(errors().empty()) << ::testing::PrintToString(errors());
    const std::string xml = documentXml();
    EXPECT_NE(std::string::npos, xml.find("Template title"));
    EXPECT_NE(std::string::npos, xml.find(">four<"));
}

TEST_F(WordReport, TwoProcessesAtOnceMakeTheirOwnReports) {
    const std::string first = dir.file("first.docx"), second = dir.file("second.docx");
    pid_t children[2];
    for (int i = 0; i < 2; ++i) {
        children[i] = fork();
        if (children[i] == 0) {
            auto image = kivtest::imageSnapshot(200 + 100 * i, 100);
            image->setTitle(Str(i == 0 ? "first report" : "second report"));
            auto repository = kivtest::repositoryOf({image.p()});
            bool ok = true;
            for (int round = 0; round < 5 && ok; ++round)
                ok = ReportCreatorWord(repository.p(), Str(testPackage("tagged"))).generate(Str(i == 0 ? first : second));
            _exit(ok ? 0 : 1);
        }
    }
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(child, waitpid(child, &status, 0));
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    output = first;
    const std::string one = documentXml();
    output = second;
    const std::string two = documentXml();
    EXPECT_NE(std::string::npos, one.find("first report"));
    EXPECT_NE(std::string::npos, two.find("second report"));
    EXPECT_NE(std::string::npos, one.find("cx=\"3000000\" cy=\"1500000\""));  // 200 x 100
    EXPECT_NE(std::string::npos, two.find("cx=\"3000000\" cy=\"1000000\""));  // 300 x 100
    EXPECT_TRUE(kivtest::passesOoxmlCheck({first, second}));
}
