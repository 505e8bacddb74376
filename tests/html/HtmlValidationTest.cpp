// Validation and summary texts of HTML templates, compared with golden files.
// Run with KIV_BLESS=1 to rewrite the golden files from the current output.
#include "HtmlTestSupport.h"
#include "support/Golden.h"
#include "KivReport/ReportCreatorHtml.h"
#include "KivReport/Repository.h"

using namespace htmltest;
using kiv::rep::ReportCreatorHtml;
using kiv::rep::Repository;

namespace {

class HtmlValidation : public kivtest::LoggingTest {
protected:
    void SetUp() override {
        LoggingTest::SetUp();
        repository = new Repository;
        templatePath = dir.file("template.html");
    }
    // Validation of html against the repository; returns the text.
    std::string validate(const std::string& html, bool* ok = nullptr, ReportCreatorHtml* creator = nullptr) {
        kivtest::writeFile(templatePath, html);
        ReportCreatorHtml own(repository.p(), Str(templatePath));
        Str text("untouched");
        const bool result = (creator ? creator : &own)->validate(&text);
        if (ok) *ok = result;
        return text.toStdString();
    }
    std::string summarize(const std::string& html, bool* ok = nullptr) {
        kivtest::writeFile(templatePath, html);
        Str text("untouched");
        const bool result = ReportCreatorHtml::summarize(Str(templatePath), &text);
        if (ok) *ok = result;
        return text.toStdString();
    }

    kivtest::TempDir dir;
    lfw::Ref<Repository> repository;
    std::string templatePath;
};

}  // namespace

TEST_F(HtmlValidation, UnusedSnapshotOnly) {
    repository->addSnapshot(textSnapshot("A").p());
    repository->addSnapshot(textSnapshot("B").p());
    bool ok = false;
    const std::string text = validate("<p>" + sit("SIT1_TITLE") + "</p>", &ok);
    // The reference pass finds nothing, so the result is true and no reference section is written.
    EXPECT_TRUE(ok);
    EXPECT_GOLDEN("html/validate_unused.txt", text);
}

TEST_F(HtmlValidation, TagAndFieldProblems) {
    repository->addSnapshot(textSnapshot("First", "", {{"KEY", "1"}, {"SITE", "s"}}).p());
    repository->addSnapshot(modelSnapshot("u").p());
    repository->snapshot(1)->setTitle("Model");
    repository->snapshot(1)->setFieldValues({{"OTHER", "2"}});
    const std::string html = kivtest::readFile(KIV_TEST_DATA_DIR "/html/validate_problems.html");
    bool ok = true;
    const std::string text = validate(html, &ok);
    EXPECT_FALSE(ok);
    EXPECT_GOLDEN("html/validate_problems.txt", text);
}

TEST_F(HtmlValidation, ReferenceRepositoryAndGenericRange) {
    repository->addSnapshot(textSnapshot("A").p());
    repository->addSnapshot(tableSnapshot({{"x"}}).p());
    lfw::Ref<Repository> reference = new Repository;
    for (int i = 0; i < 3; ++i) reference->addSnapshot(imageSnapshot(2, 2).p());
    ReportCreatorHtml creator(repository.p(), Str(templatePath));
    creator.setReferenceRepository(reference.p());
    creator.setGenericSnapshotIndices({0, 1, 5});
    const std::string html =
        sit("SIT1_TITLE") + sit("SIT2_TABLE") + sit("REF_SIT1_PICTURE") + sit("REF_SIT4_TITLE") + sit("REF_SIT2_TABLE");
    bool ok = true;
    EXPECT_GOLDEN("html/validate_reference.txt", validate(html, &ok, &creator));
    EXPECT_TRUE(ok);  // the main pass is clean

    // Only the last index is compared with the count (2 is the first past the end).
    creator.setReferenceRepository(nullptr);
    std::string text;
    for (const std::vector<unsigned int>& indices : {std::vector<unsigned int>{0, 5, 1}, {1, 2}}) {
        creator.setGenericSnapshotIndices(indices);
        text += "== generic indices " + std::to_string(indices[0]) + ".." + std::to_string(indices.back()) + "\n";
        text += validate(sit("SIT1_TITLE") + sit("SIT2_TITLE"), &ok, &creator);
        EXPECT_TRUE(ok);
    }
    EXPECT_GOLDEN("html/validate_generic_range.txt", text);
}

TEST_F(HtmlValidation, NothingToValidateAgainst) {
    bool ok = true;
    EXPECT_EQ(validate(sit("SIT1_TITLE"), &ok), "No active snapshots in repository");
    EXPECT_FALSE(ok);

    repository->addSnapshot(textSnapshot("A").p());
    ReportCreatorHtml creator(repository.p(), Str(dir.file("missing.html")));
    Str text("untouched");
    EXPECT_FALSE(creator.validate(&text));
    EXPECT_TRUE(text.isEmpty());
    EXPECT_EQ(errors().size(), 1u);

    // A group that cannot be unrolled fails both passes without text of their own.
    const std::string failed = validate("<orvrepgroup>" + sit("") + "</orvrepgroup>", &ok);
    EXPECT_FALSE(ok);
    EXPECT_GOLDEN("html/validate_unroll_failure.txt", failed);
}

TEST_F(HtmlValidation, SummaryOfGroupsTagsAndFields) {
    const std::string html = kivtest::readFile(KIV_TEST_DATA_DIR "/html/summary_groups.html");
    bool ok = false;
    const std::string text = summarize(html, &ok);
    EXPECT_TRUE(ok);
    EXPECT_GOLDEN("html/summary_groups.txt", text);

    // Without groups or macros only the static section is written.
    EXPECT_EQ(summarize("<html><body>" + sit("SIT2_TITLE") + "</body></html>"),
              "\r\nStatic snapshots\r\n---------------------------------\r\nThe following snapshots are referenced:\r\n"
              "Snapshot #2: Title\r\n");
}

TEST_F(HtmlValidation, SummaryNeedsWellFormedHtml) {
    bool ok = true;
    EXPECT_EQ(summarize("<html><body><p>open" + sit("SIT1_TITLE") + "</body></html>", &ok),
              "Could not open file. Please check the HTML syntax. Closing tags are required!");
    EXPECT_FALSE(ok);
    EXPECT_EQ(errors(), std::vector<std::string>{"Could not open file " + templatePath +
                                                 ".Please check the HTML syntax. Closing tags are required for summary!"});
    // Another root element: nothing to say, and no failure.
    EXPECT_EQ(summarize("<svg>" + sit("SIT1_TITLE") + "</svg>", &ok), "");
    EXPECT_TRUE(ok);
}
