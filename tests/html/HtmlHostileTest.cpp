// Hostile templates and repositories for HTML reports: groups of very many tags,
// nested groups, model previews and field values that expand without bound, and
// reports that fail after some of their pictures were written.
#include "HtmlTestSupport.h"
#include "KivReport/ReportComponent.h"
#include "KivReport/ReportCreatorHtml.h"
#include "KivReport/Repository.h"
#include "host/core/KivInstance.h"
#include "LibCore/lfwFile.h"
#include <algorithm>
#include <random>

using namespace htmltest;
using kiv::rep::ReportComponent;
using kiv::rep::ReportCreatorHtml;
using kiv::rep::Repository;

namespace {

const std::string kHostile = std::string(KIV_TEST_DATA_DIR) + "/hostile/";

void replaceAll(std::string* text, const std::string& from, const std::string& to) {
    for (size_t p = text->find(from); p != std::string::npos; p = text->find(from, p + to.size()))
        text->replace(p, from.size(), to);
}

// Group renumbering as one whole-text replacement per tag name: the reference
// the one-pass renumbering must agree with.
std::string renumberedByReplacing(const std::string& group, const std::vector<int>& accepted) {
    std::vector<std::string> names;
    for (size_t p = group.find("name=\""); p != std::string::npos; p = group.find("name=\"", p + 1))
        names.push_back(group.substr(p + 6, group.find('"', p + 6) - p - 6));
    std::string out;
    for (int k : accepted) {
        std::string copy = group;
        for (const std::string& name : names) {
            std::string renamed = name;
            replaceAll(&renamed, "SIT", "SIT" + std::to_string(k + 1));
            replaceAll(&copy, name, renamed);
        }
        out += copy;
    }
    return out;
}

// What a folder holds (files and folders, temporaries included), sorted.
std::vector<std::string> folderEntries(const std::string& path) {
    std::vector<lfw::String> files, folders;
    lfw::FileSystem::getDirectoryContents(path, &files, &folders);
    std::vector<std::string> names;
    for (const lfw::String& name : files) names.push_back(name.toStdString());
    for (const lfw::String& name : folders) names.push_back(name.toStdString());
    std::sort(names.begin(), names.end());
    return names;
}

class HtmlHostile : public kivtest::LoggingTest {
protected:
    void SetUp() override {
        LoggingTest::SetUp();
        kiv::Instance instance;
        ASSERT_TRUE(ReportComponent::initialize(&instance));
    }
    bool logged(const std::string& part, int level = lfw::Logger::LL_ERROR) const {
        for (const std::string& e : recorder->messages(level))
            if (e.find(part) != std::string::npos) return true;
        return false;
    }
    kivtest::TempDir dir;
};

}  // namespace

TEST_F(HtmlHostile, GroupsAreRenumberedInOnePassAsByReplacingEachName) {
    const Snapshots snapshots = collection(
        {textSnapshot("a").p(), textSnapshot("b").p(), textSnapshot("c").p(), textSnapshot("d").p(), textSnapshot("e").p()});
    // Static names SIT2_..., indices past 1: no renamed name can equal another name.
    const char* const pieces[] = {"<orvrepsit name=\"SIT_TITLE\">t</orvrepsit>",
                                  "<orvrepsit name=\"SIT_TEXT\">x</orvrepsit>",
                                  "<orvrepsit name=\"REF_SIT_TITLE\">r</orvrepsit>",
                                  "<orvrepsit name=\"SIT_$KEY\">k</orvrepsit>",
                                  "<orvrepsit name=\"SIT2_TITLE\">s</orvrepsit>",
                                  "<orvrepsit name=\"SIT_TI\">p</orvrepsit>",
                                  "SIT_TITLE",
                                  "SIT",
                                  "xSIT_TEXTy",
                                  "SITSIT_TEXT",
                                  " ",
                                  "VISIT_",
                                  "<p>",
                                  "_TITLE"};
    std::mt19937 random(5);
    for (int round = 0; round < 300; ++round) {
        std::string group;
        const int count = 1 + static_cast<int>(random() % 12);
        for (int i = 0; i < count; ++i) group += pieces[random() % (sizeof pieces / sizeof pieces[0])];
        if (group.find("orvrepsit") == std::string::npos) group += pieces[0];
        TestDocument doc(Str(dir.file("r.html")));
        doc.setDocumentContent("<b>" + std::string("<orvrepgroup>") + group + "</orvrepgroup></b>");
        ASSERT_TRUE(doc.unrollGroups(snapshots, {2, 4, 3}, 1));
        ASSERT_EQ(doc.getDocumentContent(), "<b>" + renumberedByReplacing(group, {2, 4, 3}) + "</b>") << group;
    }
}

TEST_F(HtmlHostile, AGroupOfAHundredThousandTagsUnrolls) {
    std::string group = "<orvrepgroup>";
    for (int i = 0; i < 100000; ++i) group += "<orvrepsit name=\"SIT_TITLE\">t</orvrepsit>";
    group += "</orvrepgroup>";
    TestDocument doc(Str(dir.file("r.html")));
    doc.setDocumentContent(group);
    const Snapshots snapshots = collection({textSnapshot("a").p(), textSnapshot("b").p()});
    ASSERT_TRUE(doc.unrollGroups(snapshots, {0, 1}, 1));
    std::string expected;
    for (const std::string n : {"1", "2"})
        for (int i = 0; i < 100000; ++i) expected += sit("SIT" + n + "_TITLE", "t");
    EXPECT_TRUE(doc.getDocumentContent() == expected);
}

TEST_F(HtmlHostile, NestedGroupsAreAnError) {
    TestDocument doc(Str(kHostile + "nested_group.html"));
    ASSERT_TRUE(doc.open());
    const Snapshots snapshots = collection({textSnapshot("a").p()});
    EXPECT_FALSE(doc.unrollGroups(snapshots, {0}, 1));
    EXPECT_TRUE(logged("groups cannot be nested"));
    // The place is given in characters, as an editor shows it: two of five bytes here.
    doc.setDocumentContent("\xC3\xA9\xE2\x82\xAC" + doc.getDocumentContent());
    EXPECT_FALSE(doc.unrollGroups(snapshots, {0}, 1));
    EXPECT_TRUE(logged("Generic group inside a generic group at character 14: groups cannot be nested"));
    std::string report;
    EXPECT_FALSE(doc.validateDocument(snapshots, {0}, false, report));
}

TEST_F(HtmlHostile, PreviewsAndMacrosThatExpandWithoutBoundFailTheReport) {
    ASSERT_TRUE(kivtest::writeFile(dir.file("r.html"), "earlier report"));
    struct Case {
        const char* repository;
        const char* group;
        const char* error;
    } cases[] = {
        {"preview_bomb.zip", "<orvrepsit name=\"SIT_MDLX\"><iframe src=\"x\" width=\"40\" height=\"30\"></iframe></orvrepsit>",
         "needs 1073741824 bytes"},
        {"macro_bomb.zip", "<orvrepsit name=\"SIT_TEXT\">d</orvrepsit>", "The report would expand to more than"},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(kivtest::writeFile(dir.file("t.html"),
                                       std::string("<html><body><orvrepgroup>") + c.group + "</orvrepgroup></body></html>\n"));
        lfw::Ref<Repository> repository = new Repository;
        ASSERT_TRUE(repository->loadRepository(Str(kHostile + c.repository)));
        ReportCreatorHtml creator(repository.p(), Str(dir.file("t.html")));
        creator.setUse3dPlugin(false);
        recorder->clear();
        EXPECT_FALSE(creator.generate(Str(dir.file("r.html")))) << c.repository;
        EXPECT_TRUE(logged(c.error)) << c.repository;
        EXPECT_EQ(kivtest::readFile(dir.file("r.html")), "earlier report");
        EXPECT_EQ(folderEntries(dir.path()), (std::vector<std::string>{"r.html", "t.html"}));
    }
}

TEST_F(HtmlHostile, AFailedReportLeavesTheEarlierPicturesAndNoTemporaries) {
    // Snapshot 1: a model whose preview cannot be read; snapshot 2: a picture.
    lfw::Ref<Repository> repository = new Repository;
    ASSERT_TRUE(repository->loadRepository(Str(kHostile + "preview_unreadable.zip")));
    repository->addSnapshot(imageSnapshot(16, 8).p());
    ASSERT_TRUE(kivtest::writeFile(dir.file("t.html"),
                                   "<html><body><orvrepsit name=\"SIT2_PICTURE\"><img src=\"x\" width=\"16\" height=\"8\"/>"
                                   "</orvrepsit><orvrepsit name=\"SIT1_MDLX\"><iframe src=\"x\" width=\"40\" height=\"30\">"
                                   "</iframe></orvrepsit></body></html>\n"));
    ASSERT_TRUE(kivtest::writeFile(dir.file("r.html"), "earlier report"));
    ASSERT_TRUE(kivtest::writeFile(dir.file("r_SIT2-1.jpg"), "earlier picture"));
    ReportCreatorHtml creator(repository.p(), Str(dir.file("t.html")));
    creator.setUse3dPlugin(false);
    EXPECT_FALSE(creator.generate(Str(dir.file("r.html"))));
    EXPECT_TRUE(logged("Report not written: the content of snapshots 'm' could not be shown"));
    EXPECT_EQ(kivtest::readFile(dir.file("r.html")), "earlier report");
    EXPECT_EQ(kivtest::readFile(dir.file("r_SIT2-1.jpg")), "earlier picture");
    EXPECT_EQ(folderEntries(dir.path()), (std::vector<std::string>{"r.html", "r_SIT2-1.jpg", "t.html"}));

    // Accepted as partial: written, the picture replaced, the snapshot left out named.
    creator.setAcceptPartialReport(true);
    EXPECT_TRUE(creator.generate(Str(dir.file("r.html"))));
    EXPECT_TRUE(logged("Report written without the content of snapshots 'm'", lfw::Logger::LL_WARNING));
    EXPECT_NE(kivtest::readFile(dir.file("r.html")), "earlier report");
    EXPECT_EQ(kivtest::readFile(dir.file("r_SIT2-1.jpg")).substr(0, 2), "\xff\xd8");
}
