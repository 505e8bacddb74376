// Tag names, macro expansion, formatted runs and field-value lists.
#include "impl/common/FieldMacros.h"
#include "impl/common/ReportPlan.h"
#include "impl/common/TemplateTags.h"
#include "impl/common/TextRuns.h"
#include "impl/common/ReportLog.h"
#include "KivReport/Snapshot.h"
#include "LibCore/lfwAssert.h"
#include "support/TestSupport.h"
#include <stdexcept>
#include <string>
#include <vector>

using namespace kiv::rep;  // the layers' classes

using kiv::Str;
using kiv::rep::FieldMacros;
using kiv::rep::FieldValues;
using kiv::rep::Snapshot;
using kiv::rep::TemplateTags;
using kiv::rep::TextRuns;

namespace {

std::wstring expand(const FieldValues& values, const std::wstring& text) {
    std::string s = Str(text).toStdString();
    kiv::rep::Problems logged(kiv::rep::logProblem);  // reaches the log the tests read
    FieldMacros::expandString(values, &s, &logged);
    return Str(s).toStdWString();
}

// Runs written as flags ("b", "i", "u", "P" new paragraph, "L" line break), ":"
// and the text; made as HTML markup (0), as Office markup (1) or plain Office text (2).
std::vector<std::string> runs(const std::wstring& text, int kind = 0) {
    FormattedTextArray array;
    const std::string utf8 = Str(text).toStdString();
    if (kind == 0) TextRuns::convertHtmlToFormattedTextArray(utf8, &array);
    if (kind == 1) TextRuns::convertMarkupToOfficeRuns(utf8, &array);
    if (kind == 2) TextRuns::convertPlainToOfficeRuns(utf8, &array);
    std::vector<std::string> out;
    for (const FormattedText& r : array)
        out.push_back(std::string(r.bold ? "b" : "") + (r.italic ? "i" : "") + (r.underline ? "u" : "") +
                      (r.newParagraph ? "P" : "") + (r.lineBreak ? "L" : "") + (r.reserved ? "?" : "") + ":" + r.text);
    return out;
}

}  // namespace

TEST(TemplateTagsTest, GenericTagsAndTagNumbers) {
    struct Case {
        const wchar_t* tag;
        bool generic;
        int index;
    } cases[] = {
        {L"SIT_TITLE", true, -1},     {L"REF_SIT_TEXT", true, -1},  {L"SIT1_TITLE", false, 1},
        {L"sit_TITLE", false, -1},    {L"REF_SIT1_TEXT", false, 1}, {L"SIT12_PICTURE", false, 12},
        {L"REF_SIT3_MDLX", false, 3}, {L"TITLE", false, -1},        {L"SIT1a_TEXT", false, -1},
        {L"SIT12", false, -1},        {L"SIT2_$KEY_1", false, 2},   {L"SIT99999999999_TEXT", false, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Str(c.tag).toStdString());
        EXPECT_EQ(TemplateTags::isTagGeneric(Str(c.tag).toStdString()), c.generic);
        EXPECT_EQ(TemplateTags::getTagIndex(Str(c.tag).toStdString()), c.index);
    }
}

TEST(FieldValuesTest, ListsFollowKeyOrderAndLookupIsExact) {
    const FieldValues values = {{"b", "2"}, {"a", "1"}, {"B", "3"}};
    EXPECT_EQ(FieldMacros::getKeysFromFieldValues(values), (std::vector<std::string>{"B", "a", "b"}));
    EXPECT_EQ(FieldMacros::getValuesFromFieldValues(values), (std::vector<std::string>{"3", "1", "2"}));

    std::string value("untouched");
    EXPECT_FALSE(FieldMacros::getFieldValue(values, "A", &value));
    EXPECT_EQ(value, "untouched");
    EXPECT_TRUE(FieldMacros::getFieldValue(values, "a", &value));
    EXPECT_EQ(value, "1");
}

class FieldMacrosTest : public kivtest::LoggingTest {};

TEST_F(FieldMacrosTest, ExpansionEscapesValuesAndClearsUnknownMacros) {
    struct Case {
        FieldValues values;
        std::wstring text;
        std::wstring expected;
    } cases[] = {
        {{{"P", "x&y\nz"}}, L"$(P)", L"x&amp;y<br>z"},
        {{{"Q", "1"}}, L"$(P) and $(Q)", L"N/A and 1"},
        {{}, L"$( ) $(P)", L"$( ) $(P)"},
        {{{"K", "<a href=\"u\">&amp;"}}, L"a<b [$(K)]", L"a<b [&lt;a href=&quot;u&quot;&gt;&amp;amp;]"},
        // A value naming a later key is expanded again; an earlier or its own key is not.
        {{{"A", "[$(B)]"}, {"B", "b"}}, L"$(A)", L"[b]"},
        {{{"A", "a"}, {"B", "[$(A)]"}}, L"$(B)", L"[N/A]"},
        {{{"A", "$(A)"}}, L"$(A)", L"N/A"},
        // The blank name ends the search for new names, but X goes everywhere.
        {{}, L"$(X) $(\t) $(X) $(Y)", L"N/A $(\t) N/A $(Y)"},
        // A "$(" with no ")" after it is left as it is.
        {{{"X", "1"}}, L"$(X) $(Y", L"1 $(Y"},
        {{{"K", "v"}}, L"$($(K))", L"N/A"},
        // Keys are matched whole, also when they hold ")".
        {{{"Temp (C)", "20"}}, L"T=$(Temp (C))", L"T=20"},
        // A macro made of an inserted value and the text around it.
        {{{"A", "B)"}, {"B", "v"}}, L"$($(A)", L"v"},
        // Each clean-up step starts again from the beginning of the changed text.
        {{}, L"$(a) $(x $(a) y)", L"N/A N/A"},
        {{}, L"a$(a)b$(a)$($(a))", L"aN/AbN/AN/A"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Str(c.text).toStdString());
        EXPECT_EQ(expand(c.values, c.text), c.expected);
    }
    EXPECT_EQ(FieldMacros::escapeHtml("a&b<c>d\"e\nf'"), "a&amp;b&lt;c&gt;d&quot;e<br>f'");
}

TEST_F(FieldMacrosTest, ValuesThatDoubleTheTextPerKeyAreCutShort) {
    // Each key names the next one twice: applied key by key the text would
    // double 40 times. It stops with a logged error instead of exhausting memory.
    FieldValues values;
    for (int i = 0; i < 40; ++i)
        values[Str("K" + std::to_string(100 + i))] =
            Str("$(K" + std::to_string(101 + i) + ")$(K" + std::to_string(101 + i) + ")");
    const std::wstring result = expand(values, L"$(K100)");
    EXPECT_LE(result.size(), size_t(1) << 25);
    EXPECT_GT(result.size(), size_t(1) << 20);
    EXPECT_TRUE(recorder->contains("Field values expand beyond 16777216 characters; the remaining macros are not expanded"));
}

TEST_F(FieldMacrosTest, ManyUnknownMacrosEndWithinBoundedWork) {
    // Each distinct unknown macro is one more pass over the text; a hostile text
    // with a hundred thousand of them stops with a logged error.
    std::wstring text;
    for (int i = 0; i < 100000; ++i) text += L"$(m" + std::to_wstring(i) + L")";
    const std::wstring result = expand({}, text);
    EXPECT_EQ(result.compare(0, 9, L"N/AN/AN/A"), 0);
    EXPECT_NE(result.find(L"$(m99999)"), std::wstring::npos);
    EXPECT_TRUE(recorder->contains("Field value macros need too much work; the remaining macros are not expanded"));
}

TEST(TextRunsTest, MarkupBecomesRuns) {
    struct Case {
        std::wstring text;
        std::vector<std::string> expected;
    } cases[] = {
        {L"", {}},
        {L"plain &amp; text", {":plain &amp; text"}},
        {L"a<b>b</b>c", {":a", "b:b", ":c"}},
        {L"<br><br>x", {":", "P:", ":", "P:", ":x"}},
        {L"x&amp;y<br>z", {":x&amp;y", "P:", ":z"}},
        {L"<i><u>x</u></i>y", {":", "i:", "iu:x", "i:", ":y"}},
        {L"a<font color=\"red\">b</font>c", {":a", ":b", ":c"}},
        {L"a< B >b</B >c<BR />d", {":a", "b:b", ":c", "P:", ":d"}},
        {L"<b x>y", {":", ":y"}},  // a tag with attributes is not bold
        {L"a<br>", {":a"}},
        {L"<b>x<y", {":", "b:x<y"}},  // a "<" that no ">" closes is text
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Str(c.text).toStdString());
        EXPECT_EQ(runs(c.text), c.expected);
    }
    // Office runs read text as written: entities decoded (marked-up text only),
    // every line end a line break.
    const Case office[] = {
        {L"a &amp; &#60;b&#x3E; &bogus; &#0; &#xD800; x\r\ny\rz", {":a & <b> &bogus; &#0; &#xD800; x", "L:", ":y", "L:", ":z"}},
        {L"<b>x\n</b><br>", {":", "b:x", "L:", ":"}},
        {L"", {}},
    };
    for (const Case& c : office) EXPECT_EQ(runs(c.text, 1), c.expected) << Str(c.text).toStdString();
    EXPECT_EQ(runs(L"a\vb\f&amp;", 2), (std::vector<std::string>{":a", "L:", ":b", "L:", ":&amp;"}));
    EXPECT_EQ(runs(L"", 2), std::vector<std::string>{":"});

    FormattedTextArray array;
    for (const char* text : {"one", "<u>two"}) TextRuns::convertHtmlToFormattedTextArray(text, &array);
    ASSERT_EQ(array.size(), 3u);  // appended, not replaced
    EXPECT_TRUE(array[0].text == "one" && array[2].underline);
}

// The plan repeats generic tags over the selected snapshots in order, each once,
// and tells slides filled in place from slides repeated.
TEST(ReportPlanTest, SelectionAndSlides) {
    lfw::Collection<const Snapshot> snapshots, none;
    for (int t : {1, 3, 2, 3})  // image, table, model, table
        snapshots.push_back(new Snapshot(static_cast<Snapshot::SnapshotType>(t)));
    TemplateScan scan;
    scan.groups = 4;
    scan.add("SIT1_TITLE", TagKind::Title, 0);     // in place
    scan.add("SIT_PICTURE", TagKind::Picture, 1);  // repeated
    scan.add("SIT2_TABLE", TagKind::Table, 2);     // both
    scan.add("SIT_$KEY", TagKind::Field, 2);
    scan.add("SIT_NOTE", TagKind::Other, 3);  // neither
    const ReportPlan plan = planReport(scan, snapshots, none, {3, 1, 9, 3, -1}, false);
    EXPECT_EQ(plan.main.repeated, (std::vector<int>{1, 3}));
    EXPECT_EQ(plan.main.tables, (std::vector<int>{1, 3}));
    EXPECT_TRUE(plan.main.images.empty() && plan.reference.repeated.empty() && !plan.referenceTags);
    EXPECT_EQ(plan.staticGroups, (std::vector<int>{0, 2}));
    EXPECT_EQ(plan.repeatedGroups, (std::vector<int>{1, 2}));
    // No selection: none, or every snapshot where an empty list means all.
    EXPECT_TRUE(planReport(scan, snapshots, none, {}, false).main.repeated.empty());
    const ReportPlan all = planReport(scan, snapshots, snapshots, {}, true);
    EXPECT_EQ(all.reference.repeated, (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(all.main.models, (std::vector<int>{2}));
}
