// A generated HTML report opened in headless Chromium: every picture (also the
// preview shown for a 3D-model tag without the viewer plug-in) must load with
// its natural size, the table must show its cell texts as written, and text
// outside the tags must arrive unchanged. A harness page beside the report loads
// it in an iframe and writes what it finds into its own DOM, which Chromium dumps.
#include "KivReport/ReportComponent.h"
#include "KivReport/ReportCreatorHtml.h"
#include "KivReport/Repository.h"
#include "KivReport/Snapshot.h"
#include "LibCore/lfwAssert.h"
#include "host/core/KivInstance.h"
#include "support/Builders.h"
#include "support/TestSupport.h"
#include <cstdio>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

using kiv::Str;
using kiv::rep::Repository;
using kiv::rep::Snapshot;

namespace {

const char* const kChromium = "/usr/bin/chromium";

kivtest::SnapshotRef titled(kivtest::SnapshotRef s, const std::string& title) {
    s->setTitle(Str(title));
    return s;
}

std::string percentDecode(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size()) {
            out += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

// The harness lists, one per line and percent-encoded: every img of the report
// (src, complete, natural size), every table cell text, the count of elements
// inside cells, and the h1 text.
const char* const kHarness = R"(<!DOCTYPE html>
<html><head><meta charset="utf-8"></head><body>
<pre id="results">pending</pre>
<iframe id="report" src="REPORT_URL" width="1400" height="2000"></iframe>
<script>
document.getElementById('report').addEventListener('load', function () {
  var lines = [];
  try {
    var d = this.contentDocument;
    var imgs = d.getElementsByTagName('img');
    for (var i = 0; i < imgs.length; ++i)
      lines.push('IMG ' + encodeURIComponent(imgs[i].getAttribute('src')) + ' ' + imgs[i].complete + ' ' +
                 imgs[i].naturalWidth + 'x' + imgs[i].naturalHeight);
    var cells = d.querySelectorAll('td, th');
    for (var c = 0; c < cells.length; ++c) lines.push('CELL ' + encodeURIComponent(cells[c].textContent));
    lines.push('MARKUP_IN_CELLS ' + d.querySelectorAll('td *, th *').length);
    lines.push('H1 ' + encodeURIComponent(d.getElementsByTagName('h1')[0].textContent));
  } catch (e) {
    lines.push('ERROR ' + encodeURIComponent(String(e)));
  }
  document.getElementById('results').textContent = lines.join('\n') + '\nEND';
});
</script></body></html>
)";

class BrowserReport : public kivtest::LoggingTest {
protected:
    void SetUp() override {
        LoggingTest::SetUp();
        kiv::Instance instance;
        ASSERT_TRUE(kiv::rep::ReportComponent::initialize(&instance));
    }
};

}  // namespace

TEST_F(BrowserReport, PicturesLoadAndTheTableShowsItsTexts) {
    if (access(kChromium, X_OK) != 0) GTEST_SKIP() << "chromium is not installed (scripts/setup.sh browser)";
    kivtest::TempDir dir;

    lfw::Ref<Repository> repository =
        kivtest::repositoryOf({titled(kivtest::imageSnapshot(320, 200),
                                      "Temp\xC3\xA9rature 20 \xC2\xB0"
                                      "C")
                                   .p(),
                               titled(kivtest::imageSnapshot(150, 300), "Tall").p(),
                               kivtest::tableSnapshot({{"Name", "Value"}, {"x<5 & y>2", "<b>not bold</b> \"q\""}}).p(),
                               titled(kivtest::previewModelSnapshot(64, 48), "Model").p()});

    const std::string templateHtml =
        "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Report</title></head><body>\n"
        "<h1><orvrepsit name=\"SIT1_TITLE\">title</orvrepsit></h1>\n<p>5 \xC2\xB5m, \xC3\x86r\xC3\xB8</p>\n"
        "<orvrepsit name=\"SIT1_PICTURE\"><img src=\"placeholder.jpg\" width=\"640\" height=\"640\"></orvrepsit>\n"
        "<orvrepgroup><div class=\"snapshot\"><orvrepsit name=\"SIT_PICTURE\"><img src=\"\" width=\"100\" "
        "height=\"100\"></orvrepsit></div></orvrepgroup>\n"
        "<orvrepsit name=\"SIT3_TABLE\"><table border=\"1\"><tr><td>sample</td></tr></table></orvrepsit>\n"
        "<orvrepsit name=\"SIT4_MDLX\"><iframe src=\"about:blank\" width=\"200\" height=\"200\"></iframe></orvrepsit>\n"
        "</body></html>\n";
    ASSERT_TRUE(kivtest::writeFile(dir.file("template.html"), templateHtml));
    kiv::rep::ReportCreatorHtml creator(repository.p(), Str(dir.file("template.html")));
    creator.setUse3dPlugin(false);
    // A name with a space, a non-ASCII letter and a "#": the picture sources must still lead to the files.
    const std::string reportName = "rapport \xC3\xA9 #1";
    ASSERT_TRUE(creator.generate(Str(dir.file(reportName + ".html"))));

    std::string harness = kHarness;
    harness.replace(harness.find("REPORT_URL"), 10, "rapport%20%C3%A9%20%231.html");
    ASSERT_TRUE(kivtest::writeFile(dir.file("harness.html"), harness));

    const std::string command = std::string("timeout 120 ") + kChromium +
                                " --headless --no-sandbox --disable-gpu --no-first-run --disable-background-networking"
                                " --disable-component-update --disable-sync --user-data-dir='" +
                                dir.file("profile") +
                                "' --allow-file-access-from-files --virtual-time-budget=10000 --dump-dom 'file://" +
                                dir.file("harness.html") + "' 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string dom;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) dom.append(buffer, n);
    pclose(pipe);

    const size_t begin = dom.find("<pre id=\"results\">");
    const size_t end = dom.find("END</pre>");
    ASSERT_TRUE(begin != std::string::npos && end != std::string::npos) << dom;
    std::vector<std::string> images, texts;
    std::string markup, h1;
    size_t pos = begin + 18;
    while (pos < end) {
        size_t eol = dom.find('\n', pos);
        if (eol == std::string::npos || eol > end) eol = end;
        const std::string line = dom.substr(pos, eol - pos);
        pos = eol + 1;
        if (line.rfind("IMG ", 0) == 0) images.push_back(line.substr(4));
        else if (line.rfind("CELL ", 0) == 0) texts.push_back(percentDecode(line.substr(5)));
        else if (line.rfind("MARKUP_IN_CELLS ", 0) == 0) markup = line.substr(16);
        else if (line.rfind("H1 ", 0) == 0) h1 = percentDecode(line.substr(3));
        else if (!line.empty()) ADD_FAILURE() << "unexpected line: " << line;
    }

    const std::string base = "rapport%2520%25C3%25A9%2520%25231";  // the src attribute, encoded once more by the harness
    EXPECT_EQ(images, (std::vector<std::string>{base + "_SIT1-1.jpg true 320x200", base + "_SIT1-1.jpg true 320x200",
                                                base + "_SIT2-1.jpg true 150x300", base + "_SIT4-1.jpg true 64x48"}));
    EXPECT_EQ(texts, (std::vector<std::string>{"Name", "Value", "x<5 & y>2", "<b>not bold</b> \"q\""}));
    EXPECT_EQ(markup, "0");
    EXPECT_EQ(h1,
              "Temp\xC3\xA9rature 20 \xC2\xB0"
              "C");
    EXPECT_NE(kivtest::readFile(dir.file(reportName + ".html")).find("<p>5 \xC2\xB5m, \xC3\x86r\xC3\xB8</p>"), std::string::npos);
    EXPECT_TRUE(errors().empty());
}
