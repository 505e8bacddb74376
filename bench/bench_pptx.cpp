// Slide duplication: one slide holding a picture (and its notes) duplicated into
// 1000 slides. Prints the time per duplication around 100 and around 1000
// slides; the ratio shows whether a duplication costs more as the deck grows.
// Then slide removal: a slide relating to n parts that only it uses (tags
// parts), removed with them, for n and 4 n; the ratio of the times shows
// whether the removal grows faster than the parts it deletes.
#include "BenchTimer.h"
#include "impl/pptx/OpenXMLPresentation.h"
#include "impl/storage/ZipArchive.h"
#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#include <fstream>
#include <string>
#include <vector>

using namespace kiv::rep;  // the layers' classes

namespace {

bool copyFile(const std::string& from, const std::string& to) {
    std::ifstream in(from, std::ios::binary);
    std::ofstream out(to, std::ios::binary);
    out << in.rdbuf();
    return in.good() && out.good();
}

// Seconds removeSlide takes on a copy of the deck whose generic slide (slide3.xml,
// rId4) relates to n tags parts besides its own.
double removalSeconds(const std::string& deck, const std::string& path, int n) {
    if (!copyFile(deck, path)) return -1;
    {
        ZipArchive zip;
        if (!zip.open(path, ZIP_OPEN)) return -1;
        auto text = [&zip](const char* name) {
            size_t size = 0;
            unsigned char* data = zip.readDataRaw(name, &size);
            std::string s(data ? reinterpret_cast<const char*>(data) : "", data ? size : 0);
            free(data);
            return s;
        };
        std::string types = text("[Content_Types].xml"), rels = text("ppt/slides/_rels/slide3.xml.rels");
        std::string overrides, relationships;
        for (int i = 1; i <= n; ++i) {
            const std::string name = "tag" + std::to_string(i) + ".xml";
            const std::string part =
                "<p:tagLst xmlns:p=\"http://schemas.openxmlformats.org/presentationml/2006/main\">"
                "<p:tag name=\"N\" val=\"" +
                std::to_string(i) + "\"/></p:tagLst>";
            zip.writeDataRaw(("ppt/tags/" + name), part.data(), part.size(), false);
            overrides += "<Override PartName=\"/ppt/tags/" + name +
                         "\" ContentType=\"application/vnd.openxmlformats-officedocument.presentationml.tags+xml\"/>";
            relationships += "<Relationship Id=\"rIdT" + std::to_string(i) +
                             "\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/tags\" "
                             "Target=\"../tags/" +
                             name + "\"/>";
        }
        types.insert(types.rfind("</Types>"), overrides);
        rels.insert(rels.rfind("</Relationships>"), relationships);
        zip.writeDataRaw("[Content_Types].xml", types.data(), types.size(), true);
        zip.writeDataRaw("ppt/slides/_rels/slide3.xml.rels", rels.data(), rels.size(), true);
        if (!zip.close()) return -1;
    }
    OpenXMLPresentation presentation;
    if (!presentation.open(path) || !presentation.createSlideContentList()) return -1;
    bool ok = false;
    // The removal and the save that leaves out the parts only the slide used.
    const double time = seconds([&] { ok = presentation.removeSlide("rId4") && presentation.save(path); });
    ZipArchive saved;
    return ok && saved.open(path, ZIP_OPEN_READ_ONLY) && saved.findFile("ppt/tags/tag1.xml") < 0 ? time : -1;
}

}  // namespace

int main(int argc, char** argv) {
    const int total = argc > 1 ? std::atoi(argv[1]) : 1000;
    const std::string deck = KIV_BENCH_PPTX_DECK;
    const std::string path = "/tmp/bench_pptx_" + std::to_string(static_cast<long>(::getpid())) + ".pptx";
    if (!copyFile(deck, path)) {
        std::printf("cannot copy %s\n", deck.c_str());
        return 1;
    }
    std::vector<double> times;
    double closeTime = 0;
    {
        OpenXMLPresentation presentation;
        if (!presentation.open(path) || !presentation.createSlideContentList()) {
            std::printf("cannot open %s\n", path.c_str());
            return 1;
        }
        int slides = presentation.slideCount();
        while (slides < total) {
            std::string copy;
            bool ok = false;
            times.push_back(seconds([&] { ok = presentation.duplicateSlide("slide3.xml", copy); }));
            if (!ok) {
                std::printf("duplication %d failed\n", slides);
                return 1;
            }
            ++slides;
        }
        closeTime = seconds([&] { presentation.save(path); });
    }
    // Mean of the ten duplications that brought the deck to n slides.
    auto around = [&](int n) {
        const int start = static_cast<int>(times.size()) - (total - n) - 10;
        double sum = 0;
        int count = 0;
        for (int i = start < 0 ? 0 : start; i < start + 10 && i < static_cast<int>(times.size()); ++i, ++count)
            sum += times[static_cast<size_t>(i)];
        return count ? sum / count : 0.0;
    };
    const double at100 = around(100), atTotal = around(total);
    std::printf("pptx duplication: %.2f ms per slide at 100 slides, %.2f ms at %d slides (ratio %.2f); save %.1f ms\n",
                at100 * 1e3, atTotal * 1e3, total, at100 > 0 ? atTotal / at100 : 0.0, closeTime * 1e3);
    for (int n : {600, 2400}) {
        const double small = removalSeconds(deck, path, n), large = removalSeconds(deck, path, 4 * n);
        std::printf("pptx removal of a slide with its own parts: %d parts %.1f ms, %d parts %.1f ms (ratio %.2f)\n", n,
                    small * 1e3, 4 * n, large * 1e3, small > 0 ? large / small : 0.0);
    }
    std::remove(path.c_str());
    return 0;
}
