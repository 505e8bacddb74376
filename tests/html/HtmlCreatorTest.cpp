// The public HTML creator: start-up check, empty repositories, options, files written.
#include "HtmlTestSupport.h"
#include "KivReport/ReportComponent.h"
#include "impl/common/ReportComponent_p.h"
#include "KivReport/ReportCreatorHtml.h"
#include "KivReport/Repository.h"
#include "LibCore/lfwAssert.h"
#include "host/core/KivInstance.h"
#include <sys/stat.h>
#include <unistd.h>

using namespace htmltest;
using kiv::rep::ReportComponent;
using kiv::rep::ReportComponentPrivate;
using kiv::rep::ReportCreatorHtml;
using kiv::rep::Repository;

namespace {

class HtmlCreator : public kivtest::LoggingTest {
protected:
    void SetUp() override {
        LoggingTest::SetUp();
        kiv::Instance instance;  // options: continue after a failed assertion
        ASSERT_TRUE(ReportComponent::initialize(&instance));
        repository = new Repository;
        templatePath = dir.file("template.html");
        outputPath = dir.file("report.html");
    }

    void writeTemplate(const std::string& html) { ASSERT_TRUE(kivtest::writeFile(templatePath, html)); }
    std::string report() const { return kivtest::readFile(outputPath); }

    kivtest::TempDir dir;
    lfw::Ref<Repository> repository;
    std::string templatePath, outputPath;
};

}  // namespace

TEST_F(HtmlCreator, RefusesAnUninitializedComponentAndAnEmptyRepository) {
    writeTemplate("<p>" + sit("SIT1_TITLE") + "</p>");
    {
        ReportCreatorHtml creator(repository.p(), Str(templatePath));
        EXPECT_FALSE(creator.generate(Str(outputPath)));
        EXPECT_EQ(errors(), std::vector<std::string>{"Could not create report file (" + outputPath +
                                                     "). No active snapshots in repository"});
        EXPECT_FALSE(fileExists(outputPath));
    }

    recorder->clear();
    repository->addSnapshot(textSnapshot("A").p());
    ReportCreatorHtml creator(repository.p(), Str(templatePath));
    ReportComponentPrivate::resetInitializedForTesting();
    // Before start-up the assertion action is to abort: generate only logs.
    lfw::Assert::setFailedAssertAction(lfw::Assert::INTERACTIVE_DIALOG);
    EXPECT_FALSE(creator.generate(Str(outputPath)));
    lfw::Assert::setFailedAssertAction(lfw::Assert::THROW);
    EXPECT_EQ(errors(), std::vector<std::string>{"ReportComponent component has not been properly initialized."});
    EXPECT_FALSE(fileExists(outputPath));
}

TEST_F(HtmlCreator, GenericIndicesAreFixedAtConstructionUnlessSet) {
    writeTemplate("<ol><orvrepgroup><li>" + sit("SIT_TITLE") + "</li></orvrepgroup></ol>" + sit("SIT3_TITLE"));
    repository->addSnapshot(textSnapshot("A").p());
    repository->addSnapshot(textSnapshot("B").p());
    ReportCreatorHtml creator(repository.p(), Str(templatePath));
    repository->addSnapshot(textSnapshot("C").p());  // static tags reach it, groups do not

    ASSERT_TRUE(creator.generate(Str(outputPath)));
    EXPECT_EQ(report(),
              "<ol><li>" + sit("SIT1_TITLE", "A") + "</li><li>" + sit("SIT2_TITLE", "B") + "</li></ol>" + sit("SIT3_TITLE", "C"));

    creator.setGenericSnapshotIndices({2, 0, 4000000000u});
    ASSERT_TRUE(creator.generate(Str(outputPath)));
    EXPECT_EQ(report(),
              "<ol><li>" + sit("SIT3_TITLE", "C") + "</li><li>" + sit("SIT1_TITLE", "A") + "</li></ol>" + sit("SIT3_TITLE", "C"));
    EXPECT_TRUE(errors().empty());
}

TEST_F(HtmlCreator, OptionsReachTheDocument) {
    writeTemplate(sit("SIT1_MDLX", "<iframe src=\"\" width=\"40\" height=\"40\"></iframe>") + sit("REF_SIT1_TITLE", "r"));
    repository->addSnapshot(imageSnapshot(20, 10).p());
    lfw::Ref<Repository> reference = new Repository;
    reference->addSnapshot(textSnapshot("Ref title").p());
    ReportCreatorHtml creator(repository.p(), Str(templatePath));

    creator.setReferenceRepository(reference.p());
    ASSERT_TRUE(creator.generate(Str(outputPath)));
    EXPECT_EQ(report(), sit("SIT1_PICTURE", "<img src=\"report_SIT1-1.jpg\" width=\"40\" height=\"20\" />") +
                            sit("REF_SIT1_TITLE", "Ref title"));

    creator.setReferenceRepository(nullptr);
    creator.setUse3dPlugin(false);
    ASSERT_TRUE(creator.generate(Str(outputPath)));
    EXPECT_EQ(report(), "<img src=\"report_SIT1-1.jpg\" width=\"40\" height=\"20\" />" + sit("REF_SIT1_TITLE", "r"));
}

TEST_F(HtmlCreator, TemplateProblemsLeaveTheUsersFilesAlone) {
    repository->addSnapshot(textSnapshot("A").p());
    // Missing template: nothing written.
    ReportCreatorHtml missing(repository.p(), Str(dir.file("nope.html")));
    EXPECT_FALSE(missing.generate(Str(outputPath)));
    EXPECT_FALSE(fileExists(outputPath));
    EXPECT_EQ(errors().size(), 1u);

    // The template as its own output: refused before the copy could empty it.
    const std::string html = "<p>" + sit("SIT1_TITLE", "keep") + "</p>";
    writeTemplate(html);
    ReportCreatorHtml creator(repository.p(), Str(templatePath));
    EXPECT_FALSE(creator.generate(Str(templatePath)));
    EXPECT_EQ(kivtest::readFile(templatePath), html);

    // A failure after the copy keeps an earlier report: HtmlHostileTest.

    // A relative output path from another working directory: the pictures go beside the report.
    writeTemplate(sit("SIT1_PICTURE", "<img src=\"\" width=\"8\" height=\"8\">"));
    lfw::Ref<Repository> images = new Repository;
    images->addSnapshot(imageSnapshot(8, 8).p());
    ReportCreatorHtml pictures(images.p(), Str(templatePath));
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    ASSERT_EQ(chdir(dir.path().c_str()), 0);
    ASSERT_EQ(mkdir("out", 0755), 0);
    const bool ok = pictures.generate(Str("out/r.html"));
    ASSERT_EQ(chdir(cwd), 0);
    EXPECT_TRUE(ok);
    EXPECT_EQ(kivtest::readFile(dir.file("out/r.html")),
              sit("SIT1_PICTURE", "<img src=\"r_SIT1-1.jpg\" width=\"8\" height=\"8\">"));
    EXPECT_TRUE(fileExists(dir.file("out/r_SIT1-1.jpg")));
}
