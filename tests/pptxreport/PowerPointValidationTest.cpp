// Validation and summary texts of PowerPoint templates.
#include "KivReport/ReportComponent.h"
#include "KivReport/ReportCreatorPowerPoint.h"
#include "KivReport/ReportCreatorPowerPoint_p.h"
#include "KivReport/Repository.h"
#include "host/core/KivInstance.h"
#include "support/Builders.h"
#include "support/Golden.h"
#include "support/TestSupport.h"

using kiv::Str;
using kiv::rep::ReportCreatorPowerPoint;
using kiv::rep::ReportCreatorPowerPointPrivate;
using kiv::rep::Repository;
using namespace kivtest;

namespace {

std::string officeTemplate(const std::string& name) {
    return std::string(KIV_SOURCE_DIR) + "/../shared/office-templates/" + name;
}

class PowerPointValidation : public LoggingTest {};

} // namespace

TEST_F(PowerPointValidation, TemplatesAgainstRepositories) {
    lfw::Ref<Repository> repo(repositoryOf({textSnapshot("a", "", {{"KEY", "v"}}).p(), namedImageSnapshot("b").p(),
                                            tableSnapshot({{"x", "y"}, {"1", "2"}}).p(), namedImageSnapshot("d").p()}));
    struct Case {
        const char* deck;
        const char* golden;
    } cases[] = {{"pp_valid.pptx", "pptxreport/validate-valid.txt"},
                 {"pp_static.pptx", "pptxreport/validate-static.txt"},
                 {"pp_mixed.pptx", "pptxreport/validate-mixed.txt"},
                 {"pp_generic.pptx", "pptxreport/validate-generic.txt"}};
    for (const Case& c : cases) {
        ReportCreatorPowerPoint creator(repo.p(), Str(officeTemplate(c.deck)));
        Str report;
        creator.validate(&report);
        EXPECT_GOLDEN(c.golden, report.toStdString()) << c.deck;
    }
    // An empty reference repository replaces the whole text.
    lfw::Ref<Repository> empty(new Repository);
    ReportCreatorPowerPoint creator(repo.p(), Str(officeTemplate("pp_valid.pptx")));
    creator.setReferenceRepository(empty.p());
    Str report;
    EXPECT_FALSE(creator.validate(&report));
    EXPECT_EQ("No active snapshots in repository", report.toStdString());
    ReportCreatorPowerPoint missing(repo.p(), Str("/nonexistent.pptx"));
    EXPECT_FALSE(missing.validate(&report));
    EXPECT_EQ("Not able to open template file", report.toStdString());
}

TEST_F(PowerPointValidation, MacroChecks) {
    lfw::Ref<Repository> repo(repositoryOf({textSnapshot("a", "", {{"KEY", "v"}}).p(), textSnapshot("b").p()}));
    lfw::Collection<const kiv::rep::Snapshot> snaps;
    kiv::rep::ReportCreatorBase::gatherSnapshots(repo.p(), &snaps);
    MkString fields, warnings;
    EXPECT_TRUE(ReportCreatorPowerPointPrivate::validateMacro(L"SIT1_$KEY", snaps, false, fields, warnings));
    EXPECT_FALSE(ReportCreatorPowerPointPrivate::validateMacro(L"SIT2_$KEY", snaps, false, fields, warnings));
    EXPECT_FALSE(ReportCreatorPowerPointPrivate::validateMacro(L"SIT_$KEY", snaps, false, fields, warnings));
    EXPECT_FALSE(ReportCreatorPowerPointPrivate::validateMacro(L"SIT_$NONE", snaps, false, fields, warnings));
    EXPECT_FALSE(ReportCreatorPowerPointPrivate::validateMacro(L"SIT5_$KEY", snaps, false, fields, warnings));
    EXPECT_FALSE(ReportCreatorPowerPointPrivate::validateMacro(L"XSIT_$KEY", snaps, false, fields, warnings));
    EXPECT_TRUE(ReportCreatorPowerPointPrivate::validateMacro(L"REF_SIT1_$NONE", snaps, false, fields, warnings));
    EXPECT_EQ("KEY: Unknown field name\nKEY: Generic field not found for all snapshots\n"
              "NONE: Generic field not found in any snapshots\nXSIT_$KEY: Syntax of field not correct\n",
              std::string(fields.ShortChar()));
    EXPECT_EQ("SIT5_$KEY: Snapshot 5 does not exist\n", std::string(warnings.ShortChar()));
}

TEST_F(PowerPointValidation, Summaries) {
    for (const char* deck : {"pp_sum1.pptx", "pp_static.pptx", "pp_generic.pptx", "pp_models.pptx"}) {
        Str summary;
        EXPECT_TRUE(ReportCreatorPowerPoint::summarize(Str(officeTemplate(deck)), &summary)) << deck;
        EXPECT_GOLDEN(std::string("pptxreport/summary-") + deck + ".txt", summary.toStdString()) << deck;
    }
    Str summary;
    EXPECT_FALSE(ReportCreatorPowerPoint::summarize(Str("/nonexistent.pptx"), &summary));
    EXPECT_EQ("Not able to open template file", summary.toStdString());
    EXPECT_TRUE(errors().empty());
}
