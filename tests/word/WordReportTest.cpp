// The public Word creator: reports from our test packages and Office-made
// templates, failures that keep earlier reports, validation and summaries.
#include "KivReport/ReportCreatorWord.h"
#include "KivReport/Repository.h"
#include "docx/WordTestSupport.h"
#include "support/Golden.h"
#include "word/ReportTestSupport.h"
#include <map>
#include <set>

using namespace kiv::rep;  // the layers' classes

using namespace wordtest;
using kiv::Str;
using kiv::rep::ReportCreatorWord;

namespace {

class WordReport : public ReportTest {
protected:
    WordReport() : output(dir.file("report.docx")) {}

    WordDocumentContent tags() {
        OpenXMLWordArchive archive;
        WordDocumentContent content;
        if (archive.open(output)) archive.getDocumentContent(content);
        return content;
    }
    // A copy of a test package whose document holds this body.
    std::string templateWith(const std::string& package, const std::string& body) {
        OpenXMLWordDocument document;
        EXPECT_TRUE(parseBody(&document, body));
        const std::string path = dir.file("template.docx");
        EXPECT_TRUE(copyFile(testPackage(package), path) && putPart(path, "word/document.xml", document.printToString()));
        return path;
    }
    static SnapshotRef table(int rows) {
        std::vector<std::vector<std::string>> cells = {{"x", "p", "q"}};
        for (int r = 1; r < rows; ++r) cells.push_back({std::to_string(r), std::to_string(r * 2), std::to_string(r * 3)});
        return tableSnapshot(cells);
    }

    std::string output;
};

const char* const IMAGE = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/image";

size_t countOf(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

}  // namespace

TEST_F(WordReport, AnEmptyRepositoryWritesNothing) {
    auto repository = repositoryOf({});
    EXPECT_FALSE(ReportCreatorWord(repository.p(), Str(testPackage("tagged"))).generate(Str(output)));
    EXPECT_EQ(errors(), std::vector<std::string>{"Could not create report file. No active snapshots in repository."});
    EXPECT_TRUE(namesIn(dir.path()).empty());
}

TEST_F(WordReport, StaticTagsOfEveryKind) {
    auto image = imageSnapshot(400, 200);
    image->setTitle(Str("Pressure on $(DATABASE_NAME)"));
    image->setDescription(Str("Max <b>12</b> bar"));
    image->setFieldValues({{Str("DATABASE_NAME"), Str("engine.db")}});
    auto repository = repositoryOf({image.p(), table(4).p(), textSnapshot("three").p(), textSnapshot("four").p()});
    const uint64_t written = ZipArchive::entriesWritten();
    ASSERT_TRUE(ReportCreatorWord(repository.p(), Str(testPackage("tagged"))).generate(Str(output))) << allErrors();
    EXPECT_TRUE(errors().empty());
    EXPECT_EQ(entries(output).size(), ZipArchive::entriesWritten() - written);  // each part once
    const std::string xml = readPart(output, "word/document.xml");
    EXPECT_NE(std::string::npos, xml.find("Pressure on engine.db"));
    EXPECT_NE(std::string::npos, xml.find("engine.db</w:t>"));  // the macro control
    // The picture control and the viewer control show one picture file.
    EXPECT_EQ(2u, countOf(xml, "r:embed=\"rIdSIT1_PICTURE\""));
    EXPECT_EQ(std::string::npos, xml.find("SIT1_MDLX\" w:shapeid"));
    EXPECT_NE(std::string::npos, xml.find(">q</w:t>"));  // SIT2_TABLE holds the table snapshot
    EXPECT_OOXML_VALID(output);
}

// What another part still uses stays (a header showing the placeholder's picture
// and a WMF logo), and targets name their parts however they are written.
TEST_F(WordReport, PartsStillInUseStayAndEncodedTargetsNameTheirParts) {
    const std::string path = dir.file("shared.docx");
    ASSERT_TRUE(copyFile(testPackage("tagged"), path));
    auto edit = [&](const std::string& part, const std::vector<std::pair<std::string, std::string>>& changes) {
        std::string text = readPart(path, part);
        for (const auto& c : changes) text.replace(text.find(c.first), c.first.size(), c.second);
        ASSERT_TRUE(putPart(path, part, text)) << part;
    };
    const std::string document = readPart(path, "word/document.xml"), open = "<w:drawing>", close = "</w:drawing>";
    const std::string drawing = document.substr(document.find(open), document.find(close) + close.size() - document.find(open));
    auto picture = [&](const std::string& id, const std::string& docPr) {
        std::string copy = drawing;
        copy.replace(copy.find("rId10"), 5, id);
        return "<w:r>" + copy.replace(copy.find("docPr id=\"1\""), 12, "docPr id=\"" + docPr + "\"") + "</w:r>";
    };
    ASSERT_TRUE(putPart(path, "word/header1.xml",
                        "<w:hdr " + std::string(documentNamespaces()) + "><w:p>" + picture("rId10", "901") +
                            picture("rId2", "902") + "</w:p></w:hdr>"));
    ASSERT_TRUE(putPart(path, "word/_rels/header1.xml.rels",
                        relationships("<Relationship Id=\"rId10\" Type=\"" + std::string(IMAGE) +
                                      "\" Target=\"media/caf%C3%A9.png\"/>"
                                      "<Relationship Id=\"rId2\" Type=\"" +
                                      IMAGE + "\" Target=\"media/logo.wmf\"/>")));
    ASSERT_TRUE(putPart(path, "word/media/logo.wmf", std::string("\xd7\xcd\xc6\x9a", 4) + "logo"));
    ASSERT_TRUE(putPart(path, "word/media/caf\xc3\xa9.png", readPart(path, "word/media/image1.png")));
    ASSERT_TRUE(putPart(path, "word/charts/chart_1.xml", readPart(path, "word/charts/chart1.xml")));
    ASSERT_TRUE(putPart(path, "word/charts/_rels/chart_1.xml.rels", readPart(path, "word/charts/_rels/chart1.xml.rels")));
    for (const char* gone : {"word/media/image1.png", "word/charts/chart1.xml", "word/charts/_rels/chart1.xml.rels"})
        ASSERT_TRUE(putPart(path, gone, ""));
    edit("word/document.xml",
         {{"SIT1_CHART", "SIT2_CHART"}, {"<w:pgSz", "<w:headerReference w:type=\"default\" r:id=\"rId20\"/><w:pgSz"}});
    edit("word/_rels/document.xml.rels",
         {{"media/image1.png", "media/caf%C3%A9.png"},
          {"charts/chart1.xml", "charts/chart%5F1.xml"},
          {"</Relationships>",
           "<Relationship Id=\"rId20\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
           "relationships/header\" Target=\"header1.xml\"/></Relationships>"}});
    edit("[Content_Types].xml",
         {{"chart1.xml", "chart_1.xml"},
          {"</Types>",
           "<Default Extension=\"wmf\" ContentType=\"image/x-wmf\"/><Override PartName=\"/word/header1.xml\" ContentType="
           "\"application/vnd.openxmlformats-officedocument.wordprocessingml.header+xml\"/></Types>"}});

    auto repository = repositoryOf({imageSnapshot(64, 48).p(), table(3).p()});
    ASSERT_TRUE(ReportCreatorWord(repository.p(), Str(path)).generate(Str(output))) << allErrors();
    EXPECT_EQ(std::string::npos, readPart(output, "word/document.xml").find("\"rId10\""));  // the placeholder went
    EXPECT_EQ(readPart(path, "word/media/logo.wmf"), readPart(output, "word/media/logo.wmf"));
    EXPECT_EQ(readPart(path, "word/media/caf\xc3\xa9.png"), readPart(output, "word/media/caf\xc3\xa9.png"));
    EXPECT_NE(std::string::npos, readPart(output, "word/charts/chart_1.xml").find("<c:v>4</c:v>"));  // row 2 of column p
    EXPECT_OOXML_VALID(output);
}

TEST_F(WordReport, GroupsRepeatForTheSelectedSnapshotsOfTheirType) {
    auto repository = repositoryOf({imageSnapshot(64, 48, 10).p(), imageSnapshot(64, 48, 20).p(), imageSnapshot(64, 48, 30).p()});
    ReportCreatorWord creator(repository.p(), Str(testPackage("groups")));
    creator.setGenericSnapshotIndices({0, 2});
    ASSERT_TRUE(creator.generate(Str(output)));
    const WordDocumentContent content = tags();
    const WordDocumentTagArray titles = tagsOf(content, SIT_TYPE_TITLE);
    ASSERT_EQ(3u, titles.size());  // the static one and two copies
    EXPECT_TRUE(exists(titles, "SIT1_TITLE"));
    EXPECT_TRUE(exists(titles, "SIT3_TITLE"));
    EXPECT_FALSE(exists(titles, "SIT2_TITLE"));
    // No table snapshot: the chart and table groups go without a copy.
    EXPECT_TRUE(tagsOf(content, SIT_TYPE_CHART).empty());
    EXPECT_TRUE(tagsOf(content, SIT_TYPE_TABLE).empty());
    // The placeholder picture went with its last user; each copy has its own.
    EXPECT_FALSE(hasPart(output, "word/media/image1.png"));
    EXPECT_EQ(std::string::npos, readPart(output, "word/_rels/document.xml.rels").find("\"rId10\""));
    EXPECT_TRUE(hasPart(output, "word/media/image3.jpeg"));
    EXPECT_OOXML_VALID(output);
}

TEST_F(WordReport, ModelsBesideTheReportOrEmbedded) {
    auto repository = repositoryOf({previewModelSnapshot(80, 40).p()});
    ReportCreatorWord creator(repository.p(), Str(testPackage("tagged")));
    creator.setEmbedMdlx(false);
    ASSERT_TRUE(creator.generate(Str(output))) << allErrors();
    EXPECT_FALSE(readFile(dir.file("report_SIT1-1.mdlx")).empty());
    OpenXMLWordArchive archive;
    ASSERT_TRUE(archive.open(output));
    std::vector<std::string> referred;
    archive.getReferredMdlxFiles(&referred, false);
    EXPECT_EQ(std::vector<std::string>{"report_SIT1-1.mdlx"}, referred);

    const std::string embedded = dir.file("embedded.docx");
    ASSERT_TRUE(ReportCreatorWord(repository.p(), Str(testPackage("tagged"))).generate(Str(embedded)));
    EXPECT_TRUE(hasPart(embedded, "word/mdlxFiles/mdlx1.mdlx"));
    EXPECT_OOXML_VALID(output, embedded);
}

TEST_F(WordReport, AFailedContentStepFailsTheReportAndKeepsTheEarlierOne) {
    ASSERT_TRUE(writeFile(output, "earlier report"));
    // SIT1 is an image snapshot without an image: its picture cannot be made.
    auto repository = repositoryOf({textSnapshot("no image").p()});
    EXPECT_FALSE(ReportCreatorWord(repository.p(), Str(testPackage("tagged"))).generate(Str(output)));
    EXPECT_TRUE(recorder->contains("Report not written: the content of snapshots 'situation' could not be shown"));
    EXPECT_EQ("earlier report", readFile(output));
    EXPECT_EQ(std::vector<std::string>{"report.docx"}, namesIn(dir.path()));  // nothing staged is left
}

TEST_F(WordReport, BrokenTemplatesFailCleanly) {
    const std::string notZip = dir.file("not.docx");
    ASSERT_TRUE(writeFile(notZip, "plain text"));
    auto documentOf = [&](const std::string& name, const std::string& xml) {
        const std::string path = dir.file(name);
        EXPECT_TRUE(copyFile(testPackage("groups"), path) && putPart(path, "word/document.xml", xml));
        return path;
    };
    const std::string w = std::string("<w:document ") + documentNamespaces();
    // Each fails generate with one error naming what is wrong (any error where none
    // is given), and validation with the same words or as unreadable.
    const struct {
        std::string path;
        const char* error;
    } broken[] = {
        {notZip, nullptr},
        {dir.file("missing.docx"), nullptr},
        {documentOf("nodoc.docx", ""), "The package has no document part word/document.xml."},
        {documentOf("nobody.docx", w + "/>"), "The document part word/document.xml has no body (w:body in w:document)."},
        {documentOf("notxml.docx", w + "><w:body>"), "The document part word/document.xml is not well-formed XML"},
        {templateWith("groups", group("Outer", 1, group("", 2, sdt("SIT_TITLE", 3, para("t"))))),
         "The template's group without a tag lies inside another group; groups cannot be nested."},
        {officeTemplate("wd_header_group.docx"),
         "The template's group 'Pages' lies in the footer word/footer1.xml; groups repeat content of the document's body only."},
    };
    auto repository = repositoryOf({textSnapshot("t").p()});
    for (const auto& c : broken) {
        SCOPED_TRACE(c.path);
        recorder->clear();
        ReportCreatorWord creator(repository.p(), Str(c.path));
        EXPECT_FALSE(creator.generate(Str(output)));
        ASSERT_FALSE(errors().empty());
        if (c.error) {
            EXPECT_EQ(1u, errors().size()) << allErrors();
            EXPECT_EQ(0u, errors()[0].find(c.error)) << errors()[0];
        }
        EXPECT_NE(0, ::access(output.c_str(), F_OK));
        Str report;
        EXPECT_FALSE(creator.validate(&report));
        const bool readable = c.error && std::string(c.error).find("group") != std::string::npos;
        EXPECT_NE(std::string::npos, report.toStdString().find(readable ? c.error : "Not able to open template file"))
            << report.toStdString();
    }
    EXPECT_FALSE(ReportCreatorWord(repository.p(), Str(notZip)).generate(Str(dir.file("no/such/folder/r.docx"))));
}

// Headers of every kind and section, footers, notes and the text boxes in them
// are filled as the body is, in Word's template and in LibreOffice's (markers
// made controls); a picture there, inline or floating, is related from its part.
TEST_F(WordReport, HeadersFootersAndNotesAreFilled) {
    auto first = imageSnapshot(320, 240), logo = imageSnapshot(64, 48);
    auto data = table(4);
    first->setTitle(Str("Hull"));
    first->setDescription(Str("Described"));
    first->setFieldValues({{Str("DATABASE_NAME"), Str("engine.db")}, {Str("Pressure"), Str("3 bar")}});
    data->setTitle(Str("Loads"));
    auto repository = repositoryOf({first.p(), logo.p(), data.p()});
    const std::string office = officeTemplate("wd_headers.docx"), writer = dir.file("writer.docx");
    ASSERT_TRUE(ReportCreatorWord::convertMarkers(Str(testPackage("report-writer")), Str(writer)).succeeded());
    const std::string picture = "r:embed=\"rIdSIT2_PICTURE\"";
    const struct {
        std::string source, part;
        std::vector<std::string> shown;
    } parts[] = {
        {office, "word/header1.xml", {">engine.db<", picture}},
        {office, "word/_rels/header1.xml.rels", {"Id=\"rIdSIT2_PICTURE\""}},
        {office,
         "word/header2.xml",
         {">Hull<", "Hull</w:t></w:r></w:p></w:sdtContent></w:sdt></w:txbxContent></v:textbox>", "cx=\"960000\" cy=\"720000\"",
          picture}},
        {office, "word/header3.xml", {">Described<", "w:name=\"SIT1_MDLX\""}},
        {office, "word/footer1.xml", {">q<"}},
        {office, "word/footer2.xml", {">3 bar<"}},
        {office, "word/charts/chart1.xml", {"<c:v>q</c:v>"}},
        {office, "word/footnotes.xml", {">engine.db<"}},
        {office, "word/endnotes.xml", {">Loads<"}},
        {office, "word/document.xml", {">Hull<", "cx=\"1920000\" cy=\"1440000\"", picture}},
        {writer, "word/header1.xml", {">engine.db<"}},
        {writer, "word/footer1.xml", {">Hull<"}},
        {writer, "word/footnotes.xml", {">engine.db<"}},
    };
    std::map<std::string, std::string> reports;
    for (const std::string& source : {office, writer}) {
        SCOPED_TRACE(source);
        recorder->clear();
        reports[source] = dir.file("r" + std::to_string(reports.size()) + ".docx");
        ASSERT_TRUE(ReportCreatorWord(repository.p(), Str(source)).generate(Str(reports[source]))) << allErrors();
        EXPECT_TRUE(errors().empty()) << allErrors();
        // The viewer of a header is left, and said so.
        EXPECT_EQ(source == office, recorder->contains("SIT1_MDLX: 3D viewer controls are filled in the document's "
                                                       "body only, not in the header word/header3.xml"));
    }
    for (const auto& p : parts) {
        SCOPED_TRACE(p.source + " " + p.part);
        const std::string xml = readPart(reports[p.source], p.part);
        for (const std::string& shown : p.shown) EXPECT_NE(std::string::npos, xml.find(shown)) << shown;
        EXPECT_EQ(std::string::npos, xml.find("w:showingPlcHdr"));
    }
    EXPECT_TRUE(passesOoxmlCheck({reports[office], reports[writer]}));
}

TEST_F(WordReport, FormsKeepTheirWhiteSpaceStructureAndBookmarks) {
    auto first = imageSnapshot(64, 32), second = imageSnapshot(32, 32);
    first->setTitle(Str("First"));
    second->setTitle(Str("Second"));
    for (Snapshot* s : {first.p(), second.p()}) {
        s->setDescription(Str("Described"));
        s->setFieldValues({{Str("DATABASE_NAME"), Str("engine.db")}});
    }
    auto repository = repositoryOf({first.p(), second.p()});
    // Pictures reach the package from memory: no temporary folder is needed.
    const char* tmp = std::getenv("TMPDIR");
    const std::string savedTmp = tmp ? tmp : "";
    ::setenv("TMPDIR", dir.file("no-such-folder").c_str(), 1);
    const bool made = ReportCreatorWord(repository.p(), Str(testPackage("forms"))).generate(Str(output));
    tmp ? ::setenv("TMPDIR", savedTmp.c_str(), 1) : ::unsetenv("TMPDIR");
    ASSERT_TRUE(made) << allErrors();
    const std::string xml = readPart(output, "word/document.xml");
    // Untouched text keeps its blanks.
    for (const char* kept : {"<w:t>23</w:t></w:r><w:r><w:t xml:space=\"preserve\"> </w:t></w:r><w:r><w:t>835",
                             "<w:t xml:space=\"preserve\">  </w:t>", ">Two  blanks, a trailing one </w:t>",
                             "<w:instrText xml:space=\"preserve\"> PAGE </w:instrText>"})
        EXPECT_NE(std::string::npos, xml.find(kept)) << kept;
    // The group without a tag, the repeating section's items in a group, the text
    // box (and its fallback) and the row are filled.
    for (const auto& filled : std::vector<std::pair<std::string, size_t>>{{">First<", 5},
                                                                          {">Second<", 2},
                                                                          {">Described<", 4},
                                                                          {">engine.db<", 2},
                                                                          {"\"SIT_", 0},
                                                                          {"<w:commentReference ", 1},
                                                                          {"<w:commentRangeStart ", 1}})
        EXPECT_EQ(filled.second, countOf(xml, filled.first)) << filled.first;
    // Bookmarks of each copy are its own (one ending after the group stays with
    // the first); the comment stays with the first copy.
    OpenXMLWordDocument document;
    ASSERT_TRUE(document.parseText(xml.c_str()));
    XmlElementList starts, ends;
    OpenXMLDocument::findAllElements(document.getBody(), "w:bookmarkStart", &starts, true, true);
    OpenXMLDocument::findAllElements(document.getBody(), "w:bookmarkEnd", &ends, true, true);
    std::set<std::string> names, ids, endIds;
    for (const XmlElement& e : starts) {
        names.insert(e.getAttributeString("w:name"));
        ids.insert(e.getAttributeString("w:id"));
    }
    for (const XmlElement& e : ends) endIds.insert(e.getAttributeString("w:id"));
    EXPECT_EQ((std::set<std::string>{"Across", "OLE_LINK1", "OLE_LINK1_2", "_GoBack", "_GoBack_2"}), names);
    EXPECT_EQ(ids, endIds);
    EXPECT_EQ(5u, ends.size());
    EXPECT_OOXML_VALID(output);
}

TEST_F(WordReport, EveryOfficeTemplateMakesAValidReport) {
    auto image = imageSnapshot(320, 240);
    image->setFieldValues({{Str("DATABASE_NAME"), Str("engine.db")}, {Str("Pressure"), Str("3 bar")}});
    auto repository =
        repositoryOf({image.p(), previewModelSnapshot(64, 48).p(), table(4).p(), imageSnapshot(100, 100).p(), table(3).p()});
    std::vector<std::string> reports;
    for (const char* name :
         {"wd_report.docx", "wd_groups.docx", "wd_mdlx.docx", "wd_foreign.docx", "wd_sum.docx", "wd_valid_edges.docx",
          "wd_valid_groups.docx", "wd_valid_outside.docx", "wd_valid_sit0.docx", "wd_headers.docx"}) {
        SCOPED_TRACE(name);
        reports.push_back(dir.file(std::string("r_") + name));
        EXPECT_TRUE(ReportCreatorWord(repository.p(), Str(officeTemplate(name))).generate(Str(reports.back()))) << allErrors();
    }
    // And what Word documents carry around tags (see the package test of marks).
    reports.push_back(dir.file("r_marks.docx"));
    EXPECT_TRUE(ReportCreatorWord(repository.p(), Str(testPackage("marks"))).generate(Str(reports.back()))) << allErrors();
    EXPECT_TRUE(passesOoxmlCheck(reports));
}

TEST_F(WordReport, ValidationAndSummaryTexts) {
    auto repository = repositoryOf({imageSnapshot(10, 10).p(), table(3).p(), textSnapshot("t", "", {{"Pressure", "1"}}).p()});
    std::string all;
    for (const char* name :
         {"wd_valid_edges.docx", "wd_valid_groups.docx", "wd_valid_outside.docx", "wd_valid_sit0.docx", "wd_sum.docx",
          "wd_report.docx", "wd_groups.docx", "forms", "wd_headers.docx", "wd_header_group.docx"}) {
        const std::string path = std::string(name) == "forms" ? testPackage(name) : officeTemplate(name);
        ReportCreatorWord creator(repository.p(), Str(path));
        Str report, summary;
        const bool valid = creator.validate(&report);
        EXPECT_TRUE(ReportCreatorWord::summarize(Str(path), &summary));
        all += std::string("=== ") + name + (valid ? " (valid)" : " (invalid)") + "\n" + report.toStdString() +
               "\n--- summary\n" + summary.toStdString() + "\n";
    }
    EXPECT_GOLDEN("word/validation_and_summary.txt", all);
    Str summary;
    EXPECT_FALSE(ReportCreatorWord::summarize(Str(dir.file("missing.docx")), &summary));
    EXPECT_EQ(std::wstring(L"Not able to open template file"), summary.toStdWString());
}

TEST_F(WordReport, TagsOfMissingSnapshotsStayAsTheyAre) {
    auto repository =
        repositoryOf({textSnapshot("one").p(), textSnapshot("two").p(), textSnapshot("three").p(), textSnapshot("four").p()});
    ReportCreatorWord creator(repository.p(), Str(templateWith("tagged", sdt("SIT5_TITLE", 1, para("Template title")) +
                                                                             sdt("SIT4_TITLE", 2, para("x")))));
    creator.setEmbedMdlx(false);  // the package still holds the viewer control part, naming no model file here
    ASSERT_TRUE(creator.generate(Str(output)));
    EXPECT_TRUE(errors().empty()) << allErrors();
    const std::string xml = readPart(output, "word/document.xml");
    EXPECT_NE(std::string::npos, xml.find("Template title"));
    EXPECT_NE(std::string::npos, xml.find(">four<"));
}

TEST_F(WordReport, TwoProcessesAtOnceMakeTheirOwnReports) {
    const std::string reports[] = {dir.file("first.docx"), dir.file("second.docx")};
    EXPECT_TRUE(inTwoProcesses([&](int i) {
        auto image = imageSnapshot(200 + 100 * i, 100);
        image->setTitle(Str(i == 0 ? "first report" : "second report"));
        auto repository = repositoryOf({image.p()});
        bool ok = true;
        for (int round = 0; round < 5 && ok; ++round)
            ok = ReportCreatorWord(repository.p(), Str(testPackage("tagged"))).generate(Str(reports[i]));
        return ok;
    }));
    const std::string one = readPart(reports[0], "word/document.xml"), two = readPart(reports[1], "word/document.xml");
    EXPECT_NE(std::string::npos, one.find("first report"));
    EXPECT_NE(std::string::npos, two.find("second report"));
    EXPECT_NE(std::string::npos, one.find("cx=\"3000000\" cy=\"1500000\""));  // 200 x 100
    EXPECT_NE(std::string::npos, two.find("cx=\"3000000\" cy=\"1000000\""));  // 300 x 100
    EXPECT_TRUE(passesOoxmlCheck({reports[0], reports[1]}));
}
