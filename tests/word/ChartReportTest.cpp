// Charts through the reports of both Office formats: every chart of the
// Office-saved deck is filled alike, and a chart a table cannot fill fails the
// report with one error that validate repeats.
#include "KivReport/ReportCreatorPowerPoint.h"
#include "KivReport/ReportCreatorWord.h"
#include "KivReport/Repository.h"
#include "openxml/ChartDigest.h"
#include "support/Golden.h"
#include "word/ReportTestSupport.h"
#include <cstring>

using namespace kiv::rep;  // the layers' classes

using kiv::Str;
using kiv::rep::Repository;
using namespace kivtest;

namespace {

// A format: its chart template (every chart tagged SIT1_CHART when its x values
// are numbers, else SIT2_CHART) and its root folder; its creator does the rest.
struct Format {
    const char* name;
    const char* root;
    bool word;
};
const Format FORMATS[] = {{"pp_charts.pptx", "ppt", false}, {"wd_charts.docx", "word", true}};

bool generate(const Format& f, Repository* r, const std::string& deck, const std::string& report) {
    return f.word ? kiv::rep::ReportCreatorWord(r, Str(deck)).generate(Str(report))
                  : kiv::rep::ReportCreatorPowerPoint(r, Str(deck)).generate(Str(report));
}
// The validation (ok: its result), or with no repository the summary.
std::string checked(const Format& f, Repository* r, const std::string& deck, bool* ok) {
    Str text;
    if (!r)
        *ok = f.word ? kiv::rep::ReportCreatorWord::summarize(Str(deck), &text)
                     : kiv::rep::ReportCreatorPowerPoint::summarize(Str(deck), &text);
    else
        *ok = f.word ? kiv::rep::ReportCreatorWord(r, Str(deck)).validate(&text)
                     : kiv::rep::ReportCreatorPowerPoint(r, Str(deck)).validate(&text);
    return text.toStdString();
}

// Snapshot 1 for SIT1_CHART as given; snapshot 2, for every other kind: peak
// stress and safety factor per load case.
kiv::PtrRef<Repository> charts(const std::vector<std::vector<std::string>>& first) {
    return repositoryOf({tableSnapshot(first).p(), tableSnapshot({{"Load case", "Peak stress", "Safety factor"},
                                                                  {"Plate", "120", "2.1"},
                                                                  {"Beam", "95.5", "3"},
                                                                  {"Shell", "210", "1.2"}})
                                                       .p()});
}

using ChartReports = ReportTest;

}  // namespace

TEST_F(ChartReports, EveryChartOfTheDeckIsFilledAlikeInBothFormats) {
    auto repo = charts({{"x", "a", "b", "c", "d"}, {"1", "10", "2", "20", "3"}, {"2.5", "11", "4", "21", "5"}});
    std::vector<std::string> reports;
    for (const Format& f : FORMATS) {
        reports.push_back(dir.file(std::string("report-") + f.name));
        ASSERT_TRUE(generate(f, repo.p(), officeTemplate(f.name), reports.back())) << allErrors();
        std::string digest;
        for (int i = 1; i <= 31; ++i)
            digest += "chart" + std::to_string(i) +
                      chartDigest(reports.back(), f.root + std::string("/charts/chart") + std::to_string(i) + ".xml");
        EXPECT_GOLDEN("word/chart-reports.txt", digest);
        bool summarized = false, valid = false;
        const std::string summary = checked(f, nullptr, officeTemplate(f.name), &summarized);
        EXPECT_TRUE(summarized);
        EXPECT_GOLDEN("word/chart-kinds.txt", summary.substr(summary.find("Chart kinds")));
        const std::string validation = checked(f, repo.p(), officeTemplate(f.name), &valid);
        EXPECT_TRUE(valid) << validation;
    }
    EXPECT_TRUE(passesOoxmlCheck(reports));
    EXPECT_TRUE(errors().empty()) << allErrors();
}

TEST_F(ChartReports, ChartsATableCannotFillFailWithOneErrorThatValidateRepeats) {
    const std::vector<std::vector<std::string>> numbers = {{"x", "a", "b"}, {"1", "2", "3"}};
    const struct {
        const char* part;  // changed in the template: `from` made `to`, or all of it `to`
        const char* from;
        const char* to;
        std::vector<std::vector<std::string>> first;
        const char* message;  // ROOT: the format's root folder
    } cases[] = {
        {"charts/chart13.xml", "c:lineChart>", "c:stockChart>", numbers,
         "SIT2_CHART: a stock chart cannot be filled from a table"},
        {"charts/chart28.xml", "c:radarChart>", "c:surfaceChart>", numbers,
         "SIT2_CHART: a surface chart cannot be filled from a table"},
        {"charts/chart7.xml", "c:barChart>", "c:funnelChart>", numbers,
         "SIT2_CHART: a funnel chart cannot be filled from a table"},
        {"",
         "",
         "",
         {{"case", "a", "b"}, {"Plate", "1", "2"}},
         "SIT1_CHART: column 0 must hold numbers for a scatter chart, row 1 holds 'Plate'"},
        {"",
         "",
         "",
         {{"x", "a", "b", "c"}, {"1", "2", "3", "4"}},
         "SIT1_CHART: a bubble chart takes a value column and a size column per series: column 3 has no size column "
         "after it"},
        {"",
         "",
         "",
         {{"x", "a"}, {"1e999", "2"}},
         "SIT1_CHART: column 0 must hold numbers for a scatter chart, row 1 holds '1e999'"},
        {"",
         "",
         "",
         {{"x", "a"}},
         "SIT1_CHART: the table has no values to draw: a chart needs a header row, a data row and a value column "
         "beside column 0"},
        {"embeddings/Microsoft_Excel_Sheet7.xlsx", "", "not a workbook", numbers,
         "SIT2_CHART: the chart's workbook ROOT/embeddings/Microsoft_Excel_Sheet7.xlsx is not a zip archive"},
    };
    for (const auto& c : cases) {
        auto repo = charts(c.first);
        for (const Format& f : FORMATS) {
            std::string message = c.message;
            if (message.find("ROOT") != std::string::npos) message.replace(message.find("ROOT"), 4, f.root);
            const std::string deck = dir.file(std::string("template-") + f.name), report = dir.file("out");
            ASSERT_TRUE(copyFile(officeTemplate(f.name), deck));
            if (*c.part) {
                const std::string part = f.root + std::string("/") + c.part;
                std::string text = *c.from ? readPart(deck, part) : c.to;
                for (size_t at = text.find(c.from); *c.from && at != std::string::npos; at = text.find(c.from, at))
                    text.replace(at, std::strlen(c.from), c.to);
                ASSERT_TRUE(putPart(deck, part, text));
            }
            recorder->clear();
            EXPECT_FALSE(generate(f, repo.p(), deck, report)) << message;
            ASSERT_EQ(1u, errors().size()) << allErrors();
            EXPECT_NE(std::string::npos, errors()[0].find(message)) << errors()[0];
            EXPECT_EQ("", readFile(report));
            bool valid = true;
            const std::string validation = checked(f, repo.p(), deck, &valid);
            EXPECT_FALSE(valid);
            EXPECT_NE(std::string::npos, validation.find("Unmatched tags:\n")) << validation;
            EXPECT_NE(std::string::npos, validation.find("\n" + message + "\n")) << validation;
            EXPECT_EQ(validation.find(message), validation.rfind(message)) << validation;
        }
    }
}
