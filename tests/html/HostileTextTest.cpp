// Hostile snapshot texts and templates through the report formats: values show
// as written with line ends as line breaks, characters XML 1.0 forbids never
// reach a part, parts inflating into too many elements are refused, and models
// are embedded only from the report's own places.
#include "HtmlTestSupport.h"
#include "KivReport/ReportComponent.h"
#include "KivReport/ReportCreatorHtml.h"
#include "KivReport/ReportCreatorPowerPoint.h"
#include "KivReport/ReportCreatorWord.h"
#include "host/core/KivInstance.h"
#include "impl/storage/XmlDocument.h"
#include "impl/storage/ZipArchive.h"
#include "support/OoxmlCheck.h"

using namespace kiv::rep;  // the layers' classes

using namespace htmltest;
using kivtest::officeTemplate;

namespace {

// Appends what an element shows: its texts, and "|" for each line break.
void view(const TiXmlElement* e, std::string* out) {
    for (const TiXmlElement* c = e->FirstChildElement(); c; c = c->NextSiblingElement()) {
        const std::string name = c->ValueStr();
        if (name == "a:t" || name == "w:t") *out += c->GetText() ? c->GetText() : "";
        else if (name == "a:br" || name == "w:br") *out += "|";
        else view(c, out);
    }
}

// The shape or content control tagged `tag` below e.
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

// What the tag shows in the first of the parts that holds it.
std::string shown(const std::string& package, const std::vector<const char*>& parts, const std::string& tag) {
    ZipArchive zip;
    std::string out;
    for (const char* part : parts) {
        XmlDocument doc;
        doc.keepWhiteSpaceInText();
        if (!zip.isClosed() || zip.open(package, ZIP_OPEN_READ_ONLY))
            if (const TiXmlElement* e = zip.readXmlFile(part, &doc) ? tagged(doc.RootElement(), tag) : nullptr) {
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
    // A report of the template's format.
    bool generate(kiv::rep::Repository* repo, const std::string& templatePath, const std::string& out) {
        const std::string kind = templatePath.substr(templatePath.size() - 4);
        if (kind == "pptx") return kiv::rep::ReportCreatorPowerPoint(repo, Str(templatePath)).generate(Str(out));
        if (kind == "docx") return kiv::rep::ReportCreatorWord(repo, Str(templatePath)).generate(Str(out));
        return kiv::rep::ReportCreatorHtml(repo, Str(templatePath)).generate(Str(out));
    }
    kivtest::TempDir dir;
};

}  // namespace

TEST_F(HostileText, ValuesShowAsWrittenInEveryFormat) {
    // Markup characters, a line feed, vertical tab and form feed (line breaks),
    // then characters XML forbids (dropped in Office parts).
    const std::string value = "R&D \"A<B>\"\nx\vy\fz\x01w\xEF\xBF\xBF", hostile =
                                                                            "h\x0B"
                                                                            "1\x02\xEF\xBF\xBE";
    auto image = imageSnapshot(40, 20);
    image->setTitle(Str("T $(DATABASE_NAME)"));
    image->setDescription(Str("<b>D</b> &lt;$(DATABASE_NAME)&gt;"));
    image->setFieldValues({{Str("DATABASE_NAME"), Str(value)}});
    auto repo = kivtest::repositoryOf({image.p(), imageSnapshot(40, 20).p(), tableSnapshot({{hostile, "h2"}, {"1", hostile}}).p(),
                                       tableSnapshot({{"a", "b"}, {"1", "2"}}).p()});
    const std::string plain = "R&D \"A<B>\"|x|y|zw";
    const std::pair<const char*, std::vector<const char*>> cases[] = {
        {"pp_static.pptx", {"ppt/slides/slide1.xml", "ppt/slides/slide2.xml"}}, {"wd_report.docx", {"word/document.xml"}}};
    for (const auto& c : cases) {
        const std::string out = dir.file(std::string("report_") + c.first);
        ASSERT_TRUE(generate(repo.p(), officeTemplate(c.first), out));
        EXPECT_EQ(shown(out, c.second, "SIT1_TITLE"), "T " + plain);
        EXPECT_EQ(shown(out, c.second, "SIT1_TEXT"), "D <" + plain + ">");
        EXPECT_EQ(shown(out, c.second, "SIT1_$DATABASE_NAME"), plain);
        EXPECT_OOXML_VALID(out);
    }
    // Chart series names and the workbook behind them.
    auto table = kivtest::repositoryOf({tableSnapshot({{"x", hostile}, {"1", "2"}, {"2", "3"}}).p()});
    ASSERT_TRUE(generate(table.p(), officeTemplate("pp_chart.pptx"), dir.file("chart.pptx")));
    EXPECT_OOXML_VALID(dir.file("chart.pptx"));
    // HTML escapes each value once; a line feed becomes <br>.
    ASSERT_TRUE(kivtest::writeFile(dir.file("t.html"), "<p>" + sit("SIT1_TITLE") + "</p>"));
    ASSERT_TRUE(generate(repo.p(), dir.file("t.html"), dir.file("r.html")));
    EXPECT_NE(kivtest::readFile(dir.file("r.html")).find("T R&amp;D &quot;A&lt;B&gt;&quot;<br>x"), std::string::npos);
}

TEST_F(HostileText, PartsInflatingIntoTooManyElementsAreRefusedNamingThem) {
    // 64 MB of empty elements, a few hundred kB deflated: more elements than the
    // report may hold in memory.
    std::string huge = "<r>";
    for (int i = 0; i < 16 << 20; ++i) huge += "<a/>";
    huge += "</r>";
    auto repo = kivtest::repositoryOf({imageSnapshot(40, 20).p()});
    for (const std::string part : {"ppt/slides/slide1.xml", "word/document.xml"}) {
        const std::string name = part[0] == 'p' ? "pp_static.pptx" : "wd_report.docx", deck = dir.file("bomb_" + name);
        ZipArchive zip;
        ASSERT_TRUE(kivtest::writeFile(deck, kivtest::readFile(officeTemplate(name))) && zip.open(deck, ZIP_OPEN) &&
                    zip.writeDataRaw(part, huge.data(), huge.size(), true) && zip.close());
        recorder->clear();
        EXPECT_FALSE(generate(repo.p(), deck, dir.file(name)));
        ASSERT_FALSE(errors().empty());
        EXPECT_EQ(errors()[0].rfind("The part '" + part + "' holds more XML than the report has", 0), 0u) << errors()[0];
    }
}

TEST_F(HostileText, ReportsEmbedTheirOwnModelsRecordingFileNamesOnly) {
    auto repo = kivtest::repositoryOf({previewModelSnapshot(8, 8).p()});
    ASSERT_TRUE(generate(repo.p(), officeTemplate("pp_models.pptx"), dir.file("models.pptx")));
    EXPECT_TRUE(errors().empty());
    ZipArchive zip;
    std::string references;
    ASSERT_TRUE(zip.open(dir.file("models.pptx"), ZIP_OPEN_READ_ONLY) && zip.findFile("ppt/mdlxFiles/mdlx1.mdlx") >= 0 &&
                zip.readDataInto("ppt/mdlxFiles/mdlxReferenceIds.xml", &references));
    EXPECT_NE(references.find("originalPath=\"Varnox_Report_Tmp"), std::string::npos) << references;
}
