// Templates that are not well-formed: a report or a clear failure, never a crash or a hang.
#include "HtmlTestSupport.h"
#include <random>

using namespace htmltest;

namespace {

class HtmlBadInput : public kivtest::LoggingTest {
protected:
    void SetUp() override {
        LoggingTest::SetUp();
        snaps = collection({textSnapshot("A", "desc", {{"KEY", "v"}}).p(), imageSnapshot(16, 8).p(),
                            tableSnapshot({{"h1", "h2"}, {"c1", "c2"}}).p(), modelSnapshot("https://v/1").p()});
    }
    std::string run(const std::string& html, bool* ok, bool plugin = true) {
        return fill(dir, html, snaps, snaps, {0, 1, 2, 3}, plugin, ok);
    }
    kivtest::TempDir dir;
    Snapshots snaps;
};

}  // namespace

TEST_F(HtmlBadInput, BrokenElementsAreLeftAsTheyAre) {
    std::mt19937 random(7);
    static const char start[] = "\x00\xff<orvrepsit name=\"SIT1_TITLE\"\x80";
    std::string binary(start, sizeof start - 1);
    for (int i = 0; i < 3000; ++i) binary += static_cast<char>(random() & 0xff);
    struct Case {
        std::string html, expected;  // expected empty: the html unchanged
    } cases[] = {
        {"", ""},
        {binary, ""},
        {"x<orvrepsit name=\"SIT1_TITLE\">no end", ""},
        {"<orvrepsit name=SIT1_TITLE>a</orvrepsit>", ""},
        {"<orvrepsit name=\"SIT1_TITLE</orvrepsit>", ""},
        {"<orvrepsit name=\"SIT1_TITLE\"</orvrepsit>", ""},
        {"<orvrepgroup>" + sit("SIT_TITLE") + "<p>", ""},
        {"<orvrepgroup</orvrepgroup>" + sit("SIT1_TITLE"), "<orvrepgroup</orvrepgroup>" + sit("SIT1_TITLE", "A")},
        // The first closing tag ends an element, also one that opened inside it.
        {"<orvrepsit name=\"SIT1_TITLE\">a " + sit("SIT2_TITLE", "b") + " c</orvrepsit>",
         sit("SIT1_TITLE", "A") + " c</orvrepsit>"},
        {sit("SIT1_PICTURE", "<img src=\"x.jpg"), ""},
        {sit("SIT3_TABLE", "<tr><td>"), ""},
        {sit("SIT1_$", "x") + sit("SIT1_$$KEY", "y"), ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.html.substr(0, 80));
        bool ok = false;
        EXPECT_EQ(run(c.html, &ok), c.expected.empty() ? c.html : c.expected);
        EXPECT_TRUE(ok);
    }
}

TEST_F(HtmlBadInput, MutatedTemplatesGiveAReportOrALoggedFailure) {
    const std::string seed = kivtest::readFile(KIV_TEST_DATA_DIR "/html/mutation_seed.html");
    ASSERT_FALSE(seed.empty());
    const std::vector<std::string> pieces = {
        "<",   ">", "\"",    "</orvrepsit>", "<orvrepsit name=\"", "<orvrepgroup>", "</orvrepgroup>", "SIT", "_", "$", "name",
        "src", ";", "width", "\xC3",         std::string(1, '\0')};
    std::mt19937 random(12345);
    int reports = 0;
    for (int round = 0; round < 200; ++round) {
        std::string html = seed;
        for (int e = 0, edits = 1 + static_cast<int>(random() % 6); e < edits; ++e) {
            const size_t at = random() % (html.size() + 1);
            const unsigned kind = random() % 3;
            if (kind == 0) html.erase(at, random() % 40);
            else if (kind == 1) html.insert(at, pieces[random() % pieces.size()]);
            else html.insert(at, html.substr(random() % (html.size() + 1), random() % 60));
        }
        recorder->clear();
        bool ok = false;
        run(html, &ok, (round & 1) != 0);
        if (ok) ++reports;
        else EXPECT_TRUE(recorder->contains("Error unrolling generic tags")) << html;
    }
    EXPECT_GT(reports, 100);
}
