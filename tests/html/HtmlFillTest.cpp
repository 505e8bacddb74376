// Filling of snapshot tags: texts, macros, pictures, 3D models, tables, encoding.
#include "HtmlTestSupport.h"
#include "support/Golden.h"
#include "host/ug/MdlxFile.h"
#include "host/ug/MdlxImageJpeg.h"

using namespace htmltest;

namespace {

// Width and height of a JPEG file, and its first byte of pixels; -1 when unreadable.
struct Decoded {
    int width = -1, height = -1, red = -1;
};
Decoded decodeJpeg(const std::string& path) {
    const std::string bytes = kivtest::readFile(path);
    MkRGBImage image;
    Decoded d;
    if (!bytes.empty() &&
        MdlxImageJpeg::loadImageFromMemory(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), &image))
        d = {image.GetWidth(), image.GetHeight(), image.GetData()[0]};
    return d;
}

class HtmlFill : public kivtest::LoggingTest {
protected:
    kivtest::TempDir dir;
    Snapshots none;
};

}  // namespace

TEST_F(HtmlFill, TitlesTextsAndMacrosComeFromTheNamedSnapshot) {
    lfw::Ref<Snapshot> a = textSnapshot("T=$(TEMP) <b>bold</b>", "line $(P)", {{"TEMP", "a<b"}, {"P", "x&y\nz"}});
    lfw::Ref<Snapshot> b = textSnapshot("second", "", {{"KEY", "say \"hi\" & <go>"}, {"REF_KEY", "from main"}});
    lfw::Ref<Snapshot> c = textSnapshot("no fields");
    const Snapshots main = collection({a.p(), b.p(), c.p()});
    // Field values are escaped when expanded; the title's own markup stays markup.
    // Left as they are: missing keys, snapshots without fields, numbers past the
    // collection, generic tags outside groups, unknown kinds, REF_ without references.
    const std::string kept = sit("SIT2_$MISSING", "keep") + sit("SIT3_$KEY", "keep3") + sit("SIT5_TITLE", "five") +
                             sit("SIT_TITLE", "generic") + sit("SIT0_TITLE", "zero") + sit("SIT1_CHART", "chart") +
                             sit("REF_SIT1_TITLE", "ref");
    EXPECT_EQ(fill(dir, "<h1 class=\"t\">" + sit("SIT1_TITLE", "old") + "</h1>" + sit("SIT1_TEXT") + sit("SIT2_$KEY", "k") + kept,
                   main, none, {}, true),
              "<h1 class=\"t\">" + sit("SIT1_TITLE", "T=a&lt;b <b>bold</b>") + "</h1>" + sit("SIT1_TEXT", "line x&amp;y<br>z") +
                  sit("SIT2_$KEY", "say &quot;hi&quot; &amp; &lt;go&gt;") + kept);

    // REF_ tags read the reference collection, and only it; "REF_" inside a field
    // key does not make a reference tag. SIT4 exists only among the references.
    lfw::Ref<Snapshot> r1 = textSnapshot("reference one");
    lfw::Ref<Snapshot> r2 = textSnapshot("reference two", "", {{"REF_KEY", "from reference"}});
    const Snapshots refs = collection({r1.p(), r2.p(), r1.p(), r1.p()});
    const std::string html = sit("REF_SIT1_TITLE") + sit("REF_SIT5_TITLE", "x") + sit("SIT2_$REF_KEY") +
                             sit("REF_SIT2_$REF_KEY") + sit("SIT4_TITLE", "x");
    EXPECT_EQ(fill(dir, html, main, refs, {}, true), sit("REF_SIT1_TITLE", "reference one") + sit("REF_SIT5_TITLE", "x") +
                                                         sit("SIT2_$REF_KEY", "from main") +
                                                         sit("REF_SIT2_$REF_KEY", "from reference") + sit("SIT4_TITLE", "x"));

    TestDocument unwritable(Str(dir.file("no/such/folder/r.html")));
    EXPECT_FALSE(unwritable.updateDocumentContent(main, none, {}, true));
    EXPECT_TRUE(recorder->contains("Error writing report file (" + dir.file("no/such/folder/r.html") + ")"));
}

TEST_F(HtmlFill, PicturesAreWrittenOnceBesideTheDocumentAndFitted) {
    lfw::Ref<Snapshot> img = imageSnapshot(200, 100, 250);
    lfw::Ref<Snapshot> ref = imageSnapshot(50, 100);
    const std::string pic = "<img src=\"placeholder.png\" width=\"400\" height=\"400\">";
    const std::string html = sit("SIT1_PICTURE", pic) + sit("SIT1_PICTURE", "<img src=\"\" width=\"50\" height=\"50\">") +
                             sit("SIT2_PICTURE", pic) + sit("REF_SIT1_PICTURE", pic) +
                             sit("SIT1_PICTURE", "<img alt=\"no source\">");
    // Pictures go beside the report, also from another working folder: HtmlCreatorTest.
    const std::string out = fill(dir, html, collection({img.p(), tableSnapshot({{"a"}}).p()}), collection({ref.p()}), {}, true);
    EXPECT_GOLDEN("html/fill_pictures.html", out);
    EXPECT_TRUE(recorder->contains("image element src not found in html"));
    EXPECT_EQ(decodeJpeg(dir.file("report_SIT1-1.jpg")).width, 200);
    EXPECT_EQ(decodeJpeg(dir.file("report_REF_SIT1-1.jpg")).height, 100);
    EXPECT_FALSE(fileExists(dir.file("report_SIT2-1.jpg")));

    // A name is written once per document: a second picture for it is not saved.
    TestDocument doc(Str(dir.file("r.html")));
    std::string first = "<img src=\"\">", second = "<img src=\"\">";
    EXPECT_TRUE(doc.setImage(first, 0, img->image(), false));
    EXPECT_TRUE(doc.setImage(second, 0, ref->image(), false));
    EXPECT_EQ(second, "<img src=\"r_SIT1-1.jpg\">");
    EXPECT_GT(decodeJpeg(dir.file("r_SIT1-1.jpg")).red, 200);
    TestDocument unwritable(Str(dir.file("no/such/r.html")));
    EXPECT_FALSE(unwritable.setImage(first, 0, img->image(), false));
    EXPECT_TRUE(recorder->contains("Error saving image for HTML report"));

    // The src value is a URL of the file name.
    EXPECT_EQ(fill(dir, sit("SIT1_PICTURE", "<img src=\"\">"), collection({img.p()}), none, {}, true, nullptr,
                   "my report #1 \xC3\xA9%.html"),
              sit("SIT1_PICTURE", "<img src=\"my%20report%20%231%20%C3%A9%25_SIT1-1.jpg\">"));
    EXPECT_EQ(decodeJpeg(dir.file("my report #1 \xC3\xA9%_SIT1-1.jpg")).width, 200);
}

TEST_F(HtmlFill, ModelTagsWithThePlugin) {
    lfw::Ref<Snapshot> model = modelSnapshot("https://viewer.example/m?id=1&v=\"2\"");
    const Snapshots snaps = collection({model.p(), imageSnapshot(200, 100).p(), tableSnapshot({{"a"}}).p()});
    const std::string frame = "<iframe src=\"about:blank\" width=\"400\" height=\"400\"></iframe>";
    EXPECT_GOLDEN("html/fill_models_plugin.html", fill(dir,
                                                       sit("SIT1_MDLX", frame) + sit("SIT2_MDLX", frame) +
                                                           sit("SIT3_MDLX", frame) + sit("SIT1_MDLX", "<div>no frame</div>"),
                                                       snaps, none, {}, true));
    EXPECT_TRUE(recorder->contains("iframe element not found in html."));
    EXPECT_EQ(decodeJpeg(dir.file("report_SIT2-1.jpg")).width, 200);
    EXPECT_FALSE(fileExists(dir.file("report_SIT1-1.jpg")));
}

TEST_F(HtmlFill, ModelTagsWithoutThePluginBecomePictures) {
    // An image, a model without bytes, a tall image, a 3:2 image, a model with a preview.
    const Snapshots snaps = collection({imageSnapshot(200, 100).p(), modelSnapshot("u").p(), imageSnapshot(100, 400).p(),
                                        imageSnapshot(300, 200).p(), previewModelSnapshot(200, 100).p()});
    const std::string frame = "<iframe src=\"x\" style=\"width: 400px; height: 400px;\"></iframe>";
    const std::string out = fill(dir,
                                 "a" + sit("SIT1_MDLX", frame) + "b" + sit("SIT2_MDLX", frame) + "c" + sit("SIT3_MDLX", frame) +
                                     sit("SIT1_MDLX", "<iframe></iframe>") + sit("SIT4_MDLX", frame) + sit("SIT5_MDLX", frame),
                                 snaps, none, {}, false);
    // SIT4 is fitted twice, each time truncated: to 400 x 266 first, then to the picture's shape (399 x 266).
    EXPECT_GOLDEN("html/fill_models_no_plugin.html", out);
    EXPECT_FALSE(fileExists(dir.file("report_SIT2-1.jpg")));
    EXPECT_EQ(decodeJpeg(dir.file("report_SIT3-1.jpg")).height, 400);  // no element skipped after a replacement
    EXPECT_EQ(decodeJpeg(dir.file("report_SIT5-1.jpg")).width, 200);   // the model's preview
}

TEST_F(HtmlFill, TablesAreBuiltFromTheSampleRowAndCellsAreEscaped) {
    const Snapshots snaps =
        collection({tableSnapshot({{"a", "b"}, {"c", "d"}}).p(), imageSnapshot(2, 2).p(),
                    tableSnapshot({{"x<5 & y>2", "say \"hi\""}, {"<b>bold</b>", "line\nbreak"}}).p(), tableSnapshot({}).p()});
    // No <table> in the template: the default opening tag.
    EXPECT_GOLDEN("html/fill_table_default.html",
                  fill(dir, sit("SIT1_TABLE", "<tr><td>sample</td></tr>"), snaps, none, {}, true));
    // The template's <table> keeps its attributes; cell texts are data.
    const std::string withTable = "<table class=\"grid\"><tr><th>h</th></tr></table>";
    EXPECT_GOLDEN("html/fill_table_template.html", fill(dir, sit("SIT3_TABLE", withTable), snaps, none, {}, true));
    // Left as they are: no sample row, a row without cells, a non-table or empty snapshot.
    const std::string unchanged = sit("SIT1_TABLE", "<table></table>") + sit("SIT1_TABLE", "<tr>x</tr>") +
                                  sit("SIT2_TABLE", withTable) + sit("SIT4_TABLE", withTable);
    EXPECT_EQ(fill(dir, unchanged, snaps, none, {}, true), unchanged);
}

TEST_F(HtmlFill, BytesOutsideTheFilledTagsAreKept) {
    lfw::Ref<Snapshot> s = textSnapshot("Titre \xC3\xA9t\xC3\xA9");
    // UTF-8 text, a Latin-1 byte that is no UTF-8, a zero byte and a CR LF line end.
    const std::string head =
        "<html><meta charset=\"utf-8\"><p>Temp\xC3\xA9rature 20 \xC2\xB0"
        "C, 5 \xC2\xB5m, "
        "\xC3\x86r\xC3\xB8 caf\xE9\r\n";
    static const char tailBytes[] = "\xE2\x82\xAC \x00 end</p></html>\n";
    const std::string tail(tailBytes, sizeof tailBytes - 1);
    kivtest::writeFile(dir.file("in.html"), head + sit("SIT1_TITLE", "x") + tail);
    TestDocument in(Str(dir.file("in.html")));
    ASSERT_TRUE(in.open());
    TestDocument out(Str(dir.file("out.html")));
    out.setDocumentContent(in.getDocumentContent());
    ASSERT_TRUE(out.updateDocumentContent(collection({s.p()}), none, {}, true));
    EXPECT_EQ(kivtest::readFile(dir.file("out.html")), head + sit("SIT1_TITLE", "Titre \xC3\xA9t\xC3\xA9") + tail);

    // Inserted text is not scanned again for tags.
    lfw::Ref<Snapshot> markup = textSnapshot(sit("SIT2_TITLE", "inner"));
    EXPECT_EQ(fill(dir, sit("SIT1_TITLE") + sit("SIT2_TITLE"), collection({markup.p(), s.p()}), none, {}, true),
              sit("SIT1_TITLE", sit("SIT2_TITLE", "inner")) + sit("SIT2_TITLE", "Titre \xC3\xA9t\xC3\xA9"));

    TestDocument missing(Str(dir.file("missing.html")));
    missing.setDocumentContent("before");
    EXPECT_FALSE(missing.open());
    EXPECT_EQ(missing.getDocumentContent(), "before");
    EXPECT_TRUE(recorder->events.empty());
}
