// Repetition of generic groups: which snapshots a group accepts, renumbering, failures.
#include "HtmlTestSupport.h"

using namespace htmltest;

namespace {

class HtmlUnroll : public kivtest::LoggingTest {
protected:
    void SetUp() override {
        LoggingTest::SetUp();
        // SIT1 image, SIT2 table, SIT3 model
        all = collection({imageSnapshot(4, 2).p(), tableSnapshot({{"a"}}).p(), modelSnapshot("https://viewer/1").p()});
    }
    std::string unroll(const std::string& html, std::initializer_list<int> indices, int use3dPlugin = 1, bool* ok = nullptr) {
        TestDocument doc(Str(dir.file("t.html")));
        doc.setDocumentContent(html);
        const bool result = doc.unrollGroups(all, indices, use3dPlugin);
        if (ok) *ok = result;
        return doc.getDocumentContent();
    }
    static std::string group(const std::string& content) { return "<orvrepgroup>" + content + "</orvrepgroup>"; }

    kivtest::TempDir dir;
    Snapshots all;
};

}  // namespace

TEST_F(HtmlUnroll, UntypedGroupRepeatsForEveryValidIndexInOrderAndRenumbersEverySit) {
    const std::string html = "A<orvrepgroup id=\"g\"><p>" + sit("SIT_TITLE", "t") + "|" + sit("SIT_$SITE", "m") + "|" +
                             sit("SIT2_TEXT", "x") + "|" + sit("REF_SIT_TEXT", "r") + "</p></orvrepgroup>B";
    auto copy = [](const std::string& n) {
        return "<p>" + sit("SIT" + n + "_TITLE", "t") + "|" + sit("SIT" + n + "_$SIT" + n + "E", "m") + "|" +
               sit("SIT" + n + "2_TEXT", "x") + "|" + sit("REF_SIT" + n + "_TEXT", "r") + "</p>";
    };
    bool ok = false;
    // 7 and -1 name no snapshot and are passed over; order and repeats follow the indices.
    EXPECT_EQ(unroll(html, {2, 7, 0, -1, 2}, 1, &ok), "A" + copy("3") + copy("1") + copy("3") + "B");
    EXPECT_TRUE(ok);
    EXPECT_TRUE(errors().empty());
}

TEST_F(HtmlUnroll, TypedGroupsAcceptOnlyMatchingSnapshots) {
    struct Case {
        const char* kind;
        int plugin;
        std::vector<int> expected;  // 1-based snapshot numbers
    } cases[] = {
        {"PICTURE", 1, {1}},     {"TABLE", 1, {2}},
        {"MDLX", 1, {3}},        {"MDLX", 0, {1, 3}},  // without the plug-in a model tag shows a picture, so images fit
        {"TITLE", 1, {1, 2, 3}}, {"$KEY", 0, {1, 2, 3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.kind) + " plug-in " + std::to_string(c.plugin));
        std::string expected = "[";
        for (int n : c.expected) expected += sit("SIT" + std::to_string(n) + "_" + c.kind);
        EXPECT_EQ(unroll("[" + group(sit(std::string("SIT_") + c.kind)) + "]", {0, 1, 2}, c.plugin), expected + "]");
    }
    // No snapshot accepted: the group disappears.
    EXPECT_EQ(unroll("[" + group(sit("SIT_TABLE")) + "]", {0, 2}), "[]");
    EXPECT_EQ(unroll("[" + group(sit("SIT_TITLE")) + "]", {}), "[]");
}

TEST_F(HtmlUnroll, RunsOnceFailsOnNamelessTagsAndLeavesUnclosedGroups) {
    TestDocument doc(Str(dir.file("t.html")));
    doc.setDocumentContent(group(sit("SIT_TITLE")));
    EXPECT_TRUE(doc.unrollGroups(all, {1}, 1));
    EXPECT_EQ(doc.getDocumentContent(), sit("SIT2_TITLE"));
    doc.setDocumentContent(group(sit("SIT_TITLE")));
    EXPECT_TRUE(doc.unrollGroups(all, {0}, 1));
    EXPECT_EQ(doc.getDocumentContent(), group(sit("SIT_TITLE")));

    // A tag without a (quoted) name fails the unrolling, which is then not marked done.
    const std::string nameless = group(sit("SIT_TITLE")) + group("<orvrepsit id=\"x\"></orvrepsit>");
    TestDocument failing(Str(dir.file("f.html")));
    failing.setDocumentContent(nameless);
    EXPECT_FALSE(failing.unrollGroups(all, {0}, 1));
    EXPECT_FALSE(failing.unrollGroups(all, {0}, 1));
    EXPECT_EQ(errors(), std::vector<std::string>(2, "Error unrolling generic tags"));
    bool ok = true;
    unroll(group("<orvrepsit name=SIT_TITLE></orvrepsit>"), {0}, 1, &ok);
    EXPECT_FALSE(ok);

    // An unclosed group ends the scan; it and all after it stay.
    const std::string unclosed = group(sit("SIT_TITLE")) + "<orvrepgroup>" + sit("SIT_TEXT") + "<p>rest";
    EXPECT_EQ(unroll(unclosed, {0}), sit("SIT1_TITLE") + "<orvrepgroup>" + sit("SIT_TEXT") + "<p>rest");
}
