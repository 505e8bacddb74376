// PowerPoint reports end to end: static and generic slides from repositories of
// images, models and tables. Every report written passes the Office checker.
#include "KivReport/ReportComponent.h"
#include "KivReport/ReportCreatorPowerPoint.h"
#include "KivReport/Repository.h"
#include "host/core/KivInstance.h"
#include "impl/pptx/MkOpenXMLPresentation.h"
#include "support/Builders.h"
#include "support/OoxmlCheck.h"
#include "support/TestSupport.h"
#include <sys/stat.h>

using kiv::Str;
using kiv::rep::ReportComponent;
using kiv::rep::ReportCreatorPowerPoint;
using kiv::rep::Repository;
using namespace kivtest;

namespace {

std::string testDeck(const std::string& name) {
    return std::string(KIV_BINARY_DIR) + "/tests/data/pptx/" + name + ".pptx";
}

std::string officeTemplate(const std::string& name) {
    return std::string(KIV_SOURCE_DIR) + "/../shared/office-templates/" + name;
}

bool exists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

class PowerPointReport : public LoggingTest {
protected:
    void SetUp() override {
        LoggingTest::SetUp();
        kiv::Instance instance;
        ASSERT_TRUE(ReportComponent::initialize(&instance));
        output = dir.file("report.pptx");
    }
    // The slide parts in slide order, read back from the report.
    std::vector<std::string> slides() {
        MkOpenXMLPresentation p;
        std::vector<std::string> out;
        if (!p.Open(MkString(output.c_str()), ZIP_OPEN_READ_ONLY)) return out;
        MkStringArray ids;
        p.GetPresentationSlideIdList(&ids);
        for (int i = 0; i < ids.GetSize(); ++i) {
            MkString target = p.GetTargetOfId(p.GetMainRelsPath(), ids[i]);
            size_t size = 0;
            unsigned char* data = p.ReadDataRaw(MkString(L"ppt/") + target, &size);
            out.emplace_back(data ? reinterpret_cast<char*>(data) : "", data ? size : 0);
            free(data);
        }
        return out;
    }
    static bool has(const std::string& xml, const std::string& text) { return xml.find(text) != std::string::npos; }

    TempDir dir;
    std::string output;
};

} // namespace

TEST_F(PowerPointReport, GenericSlideRepeatedPerSnapshotInPlace) {
    lfw::Ref<Repository> repo(repositoryOf({namedImageSnapshot("one").p(), namedImageSnapshot("two").p(),
                                            namedImageSnapshot("three").p()}));
    ReportCreatorPowerPoint creator(repo.p(), Str(officeTemplate("pp_one_generic.pptx")));
    ASSERT_TRUE(creator.generate(Str(output))) << (errors().empty() ? "" : errors()[0]);
    const std::vector<std::string> s = slides();
    ASSERT_EQ(3u, s.size());
    for (int n = 1; n <= 3; ++n) {
        EXPECT_TRUE(has(s[n - 1], "name=\"SIT" + std::to_string(n) + "_TITLE\"")) << n;
        EXPECT_TRUE(has(s[n - 1], "name=\"SIT" + std::to_string(n) + "_PICTURE\"")) << n;
    }
    EXPECT_TRUE(passesOoxmlCheck({output}));
}

TEST_F(PowerPointReport, GenericIndicesAndTextualOnlySlides) {
    lfw::Ref<Repository> repo(repositoryOf({namedImageSnapshot("one").p(),
                                            tableSnapshot({{"t", "p"}, {"0", "1"}}).p(),
                                            textSnapshot("three", "desc", {{"DATABASE_NAME", "wing.db"}}).p()}));
    ReportCreatorPowerPoint creator(repo.p(), Str(officeTemplate("pp_generic.pptx")));
    creator.setGenericSnapshotIndices({0, 2});
    ASSERT_TRUE(creator.generate(Str(output))) << (errors().empty() ? "" : errors()[0]);
    const std::vector<std::string> s = slides();
    // intro, G1 for 1 and 3, G2 (textual only) for 1 and 3, G3 for 1 and 3, outro
    ASSERT_EQ(8u, s.size());
    EXPECT_TRUE(has(s[4], "name=\"SIT3_$DATABASE_NAME\"") || has(s[3], "name=\"SIT3_$DATABASE_NAME\""));
    bool macroFilled = false;
    for (const std::string& x : s) macroFilled = macroFilled || has(x, "wing.db");
    EXPECT_TRUE(macroFilled);
    EXPECT_TRUE(passesOoxmlCheck({output}));
}

TEST_F(PowerPointReport, StaticTagsAndOutOfRangeIndices) {
    lfw::Ref<Repository> repo(repositoryOf({textSnapshot("First", "<b>bold</b> text", {{"DATABASE_NAME", "db1"}}).p(),
                                            textSnapshot("Second").p(),
                                            tableSnapshot({{"a", "b"}, {"1", "2"}, {"3", "4"}}).p()}));
    ReportCreatorPowerPoint creator(repo.p(), Str(officeTemplate("pp_static.pptx")));
    ASSERT_TRUE(creator.generate(Str(output))) << (errors().empty() ? "" : errors()[0]);
    const std::vector<std::string> s = slides();
    ASSERT_EQ(2u, s.size());
    EXPECT_TRUE(has(s[0], ">First<"));
    EXPECT_TRUE(has(s[1], ">db1<"));
    // SIT9_TITLE is beyond the repository: left as it is, and SIT2_TITLE after it is filled.
    EXPECT_TRUE(has(s[1], "name=\"SIT9_TITLE\""));
    EXPECT_TRUE(has(s[1], ">Second<"));
    EXPECT_TRUE(passesOoxmlCheck({output}, true));
}

TEST_F(PowerPointReport, EveryKindOnTheTestDeckWithAndWithoutPlugin) {
    for (bool plugin : {true, false}) {
        lfw::Ref<Repository> repo(repositoryOf({textSnapshot("First", "text").p(), namedImageSnapshot("two").p(),
                                                tableSnapshot({{"n", "x", "y"}, {"1", "2", "3"}}).p(),
                                                tableSnapshot({{"t", "p"}, {"0", "1"}, {"1", "3"}}).p(),
                                                previewModelSnapshot(40, 30).p()}));
        ReportCreatorPowerPoint creator(repo.p(), Str(testDeck("tagged")));
        creator.setUse3dPlugin(plugin);
        ASSERT_TRUE(creator.generate(Str(output))) << plugin << " " << (errors().empty() ? "" : errors()[0]);
        EXPECT_TRUE(passesOoxmlCheck({output})) << plugin;
    }
}

TEST_F(PowerPointReport, FailuresLeaveNoOutputAndNoTemporaryFile) {
    lfw::Ref<Repository> empty(new Repository);
    {
        ReportCreatorPowerPoint creator(empty.p(), Str(testDeck("tagged")));
        EXPECT_FALSE(creator.generate(Str(output)));
        EXPECT_EQ(1u, errors().size());
        EXPECT_FALSE(exists(output));
    }
    recorder->clear();
    lfw::Ref<Repository> repo(repositoryOf({namedImageSnapshot("one").p()}));
    {
        const std::string bad = dir.file("notzip.pptx");
        ASSERT_TRUE(writeFile(bad, "not a zip"));
        ReportCreatorPowerPoint creator(repo.p(), Str(bad));
        EXPECT_FALSE(creator.generate(Str(output)));
        EXPECT_FALSE(exists(output));
        EXPECT_FALSE(errors().empty());
    }
    recorder->clear();
    {
        ReportCreatorPowerPoint creator(repo.p(), Str(officeTemplate("pp_mixed.pptx")));
        EXPECT_FALSE(creator.generate(Str(output)));
        EXPECT_TRUE(recorder->contains("One or more slides contains both static and generic Mdlx snapshots."));
        EXPECT_FALSE(exists(output));
    }
    {
        ReportCreatorPowerPoint creator(repo.p(), Str(testDeck("tagged")));
        EXPECT_FALSE(creator.generate(Str(dir.file("missing/report.pptx"))));
    }
}

TEST_F(PowerPointReport, EveryTaggedOfficeTemplate) {
    for (const char* name : {"pp_chart.pptx", "pp_generic.pptx", "pp_models.pptx", "pp_one_generic.pptx",
                             "pp_static.pptx", "pp_sum1.pptx", "pp_valid.pptx"}) {
        lfw::Ref<Repository> repo(repositoryOf({namedImageSnapshot("one").p(), previewModelSnapshot(40, 30).p(),
                                                tableSnapshot({{"t", "p", "q"}, {"0", "1", "2"}, {"1", "3", "4"}}).p(),
                                                namedImageSnapshot("four").p(), namedImageSnapshot("five").p()}));
        ReportCreatorPowerPoint creator(repo.p(), Str(officeTemplate(name)));
        const std::string out = dir.file(std::string("report_") + name);
        EXPECT_TRUE(creator.generate(Str(out))) << name << " " << (errors().empty() ? "" : errors()[0]);
        EXPECT_TRUE(passesOoxmlCheck({out})) << name;
    }
}
