// Snapshot texts holding markup characters, line ends and characters XML 1.0
// forbids, through the three report formats: each shows the value as written,
// line ends as line breaks, and every Office package stays valid.
#include "HtmlTestSupport.h"
#include "KivReport/ReportComponent.h"
#include "KivReport/ReportCreatorHtml.h"
#include "KivReport/ReportCreatorPowerPoint.h"
#include "KivReport/ReportCreatorWord.h"
#include "host/core/KivInstance.h"
#include "impl/storage/MkOXmlDocument.h"
#include "impl/storage/PxZipArchive.h"
#include "support/OoxmlCheck.h"

using namespace htmltest;
using kivtest::officeTemplate;

namespace {

// What a filled shape or content control shows: its texts, "|" for a line break
// and "/" between paragraphs.
void view(const TiXmlElement* e, std::string* out) {
    for (const TiXmlElement* c = e->FirstChildElement(); c; c = c->NextSiblingElement()) {
        const std::string name = c->ValueStr();
        if (name == "a:t" || name == "w:t") *out += c->GetText() ? c->GetText() : "";
        else if (name == "a:br" || name == "w:br") *out += "|";
        else if ((name == "a:p" || name == "w:p") && !out->empty()) *out += "/", view(c, out);
        else view(c, out);
    }
}

const TiXmlElement* tagged(const TiXmlElement* e, const std::string& tag) {
    for (const TiXmlElement* c = e->FirstChildElement(); c; c = c->NextSiblingElement()) {
        const TiXmlHandle h(const_cast<TiXmlElement*>(c));
        const TiXmlElement* name = h.FirstChild("p:nvSpPr").FirstChild("p:cNvPr").ToElement();
        const TiXmlElement* control = h.FirstChild("w:sdtPr").FirstChild("w:tag").ToElement();
        if ((name && tag == name->Attribute("name")) || (control && tag == control->Attribute("w:val"))) return c;
        if (const TiXmlElement* found = tagged(c, tag)) return found;
    }
    return nullptr;
}

std::string shown(const std::string& package, const std::vector<const char*>& parts, const std::string& tag) {
    PxZipArchive zip;
    if (!zip.Open(mk(package), ZIP_OPEN_READ_ONLY)) return "(no package)";
    for (const char* part : parts) {
        MkXmlDocument doc;
        if (!zip.ReadXmlFile(mk(part), &doc)) continue;
        if (const TiXmlElement* e = tagged(doc.RootElement(), tag)) {
            std::string out;
            view(e, &out);
            return out;
        }
    }
    return "(no " + tag + ")";
}

class HostileText : public kivtest::LoggingTest {
protected:
    void SetUp() override {
        LoggingTest::SetUp();
        kiv::Instance instance;
        ASSERT_TRUE(kiv::rep::ReportComponent::initialize(&instance));
    }
    kivtest::TempDir dir;
};

} // namespace

TEST_F(HostileText, ValuesShowAsWrittenInEveryFormat) {
    // Markup characters, a line feed, vertical tab and form feed (line breaks),
    // then characters XML forbids (dropped in Office parts).
    const std::string value = "R&D \"A<B>\"\nx\vy\fz\x01w\xEF\xBF\xBF";
    const std::string hostile = "h\x0B" "1\x02\xEF\xBF\xBE";
    auto image = imageSnapshot(40, 20);
    image->setTitle(Str("T $(DATABASE_NAME)"));
    image->setDescription(Str("<b>D</b> &lt;$(DATABASE_NAME)&gt;"));
    image->setFieldValues({{Str("DATABASE_NAME"), Str(value)}});
    auto repo = kivtest::repositoryOf({image.p(), imageSnapshot(40, 20).p(), tableSnapshot({{hostile, "h2"}, {"1", hostile}}).p(),
                                       tableSnapshot({{"a", "b"}, {"1", "2"}}).p()});
    const std::string plain = "R&D \"A<B>\"|x|y|zw";
    struct Case {
        const char* templateName;
        bool powerPoint;
        std::vector<const char*> parts;
    } cases[] = {{"pp_static.pptx", true, {"ppt/slides/slide1.xml", "ppt/slides/slide2.xml"}},
                 {"wd_report.docx", false, {"word/document.xml"}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.templateName);
        const std::string out = dir.file(std::string("report_") + c.templateName);
        const Str templatePath(officeTemplate(c.templateName));
        const bool made = c.powerPoint ? kiv::rep::ReportCreatorPowerPoint(repo.p(), templatePath).generate(Str(out))
                                       : kiv::rep::ReportCreatorWord(repo.p(), templatePath).generate(Str(out));
        ASSERT_TRUE(made);
        EXPECT_EQ(shown(out, c.parts, "SIT1_TITLE"), "T " + plain);
        EXPECT_EQ(shown(out, c.parts, "SIT1_TEXT"), "D <" + plain + ">");
        EXPECT_EQ(shown(out, c.parts, "SIT1_$DATABASE_NAME"), plain);
        EXPECT_OOXML_VALID(out);
    }

    // Chart series names and the workbook behind them.
    const std::string chart = dir.file("chart.pptx");
    auto table = kivtest::repositoryOf({tableSnapshot({{"x", hostile}, {"1", "2"}, {"2", "3"}}).p()});
    ASSERT_TRUE(kiv::rep::ReportCreatorPowerPoint(table.p(), Str(officeTemplate("pp_chart.pptx"))).generate(Str(chart)));
    EXPECT_OOXML_VALID(chart);

    // HTML escapes each value once; a line feed becomes <br>.
    ASSERT_TRUE(kivtest::writeFile(dir.file("t.html"), "<p>" + sit("SIT1_TITLE") + "</p>"));
    ASSERT_TRUE(kiv::rep::ReportCreatorHtml(repo.p(), Str(dir.file("t.html"))).generate(Str(dir.file("r.html"))));
    EXPECT_NE(kivtest::readFile(dir.file("r.html")).find("T R&amp;D &quot;A&lt;B&gt;&quot;<br>x"), std::string::npos);
}

TEST_F(HostileText, PartsInflatingIntoTooManyElementsAreRefusedNamingThem) {
    // 64 MB of empty elements, a few hundred kB deflated: more elements than the
    // report may hold in memory.
    std::string huge = "<r>";
    for (int i = 0; i < 16 << 20; ++i) huge += "<a/>";
    huge += "</r>";
    const struct {
        const char* templateName;
        const char* part;
    } cases[] = {{"pp_static.pptx", "ppt/slides/slide1.xml"}, {"wd_report.docx", "word/document.xml"}};
    auto repo = kivtest::repositoryOf({imageSnapshot(40, 20).p()});
    for (const auto& c : cases) {
        const std::string deck = dir.file(std::string("bomb_") + c.templateName), out = dir.file(c.templateName);
        ASSERT_TRUE(kivtest::writeFile(deck, kivtest::readFile(officeTemplate(c.templateName))));
        PxZipArchive zip;
        ASSERT_TRUE(zip.Open(mk(deck), ZIP_OPEN) && zip.WriteDataRaw(mk(c.part), huge.data(), huge.size(), true) &&
                    zip.Close());
        recorder->clear();
        const bool made = c.part[0] == 'p' ? kiv::rep::ReportCreatorPowerPoint(repo.p(), Str(deck)).generate(Str(out))
                                           : kiv::rep::ReportCreatorWord(repo.p(), Str(deck)).generate(Str(out));
        EXPECT_FALSE(made);
        const std::vector<std::string> logged = errors();
        ASSERT_FALSE(logged.empty());
        EXPECT_EQ(logged[0].rfind("The part '" + std::string(c.part) + "' holds more XML than the report has", 0), 0u)
            << logged[0];
    }
}

TEST_F(HostileText, ReportsEmbedTheirOwnModelsRecordingFileNamesOnly) {
    auto repo = kivtest::repositoryOf({previewModelSnapshot(8, 8).p()});
    const std::string out = dir.file("models.pptx");
    ASSERT_TRUE(kiv::rep::ReportCreatorPowerPoint(repo.p(), Str(officeTemplate("pp_models.pptx"))).generate(Str(out)));
    EXPECT_TRUE(errors().empty());
    PxZipArchive zip;
    ASSERT_TRUE(zip.Open(mk(out), ZIP_OPEN_READ_ONLY));
    EXPECT_GE(zip.FindFile(mk("ppt/mdlxFiles/mdlx1.mdlx")), 0);
    MkString references;
    ASSERT_TRUE(zip.ReadDataString(mk("ppt/mdlxFiles/mdlxReferenceIds.xml"), &references));
    EXPECT_TRUE(references.Contains(L"originalPath=\"Varnox_Report_Tmp")) << narrow(references);
}
