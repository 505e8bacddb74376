// Cost of adding a picture with its relationship to a report, as the report
// creators do for every picture: the report editor stores the picture under the
// next free media name and the slide relates it and shows it. The 1000th
// addition should cost about what the 100th did: the free names and the
// relationship ids are kept, not looked for again.
//
// "bench_openxml package" times the package object instead: open a deck of n
// generic slides (the peers' slide, copied), give every slide a title and a
// picture of its own (20 kB) in place of the template's, save; for 100 and 1000
// slides, keeping every slide parsed or releasing each when it is done, each in
// a process of its own so that its peak memory is its own. Times are CPU time.
#include "impl/openxml/OpenXMLPackageEditor.h"
#include "BenchTimer.h"
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

using namespace kiv::rep;  // the layers' classes

namespace {

const std::string SLIDE_TYPE("http://schemas.openxmlformats.org/officeDocument/2006/relationships/slide");

// The deck of `slides` copies of the peers' slide (without their notes).
bool makeDeck(const std::string& path, int slides) {
    OpenXMLPackage deck;
    if (!deck.open(std::string(KIV_BENCH_SLIDE_DECK))) return false;
    OpenXMLPart* presentation = deck.part(std::string("ppt/presentation.xml"));
    OpenXMLPart* slide = deck.part(std::string("ppt/slides/slide1.xml"));
    XmlElement list = presentation->editXml()->getRootElement().getFirstChildElement("p:sldIdLst");
    for (int i = 1; i < slides; ++i) {
        OpenXMLPart* copy = deck.copyPart(slide, deck.nextPartName(slide->name()));
        copy->rels()->drop(std::string("rId3"));
        const XmlElement id = list.addChildElement("p:sldId");
        id.addAttributeInt("id", 256 + i);
        id.addAttributeString("r:id", presentation->rels()->relate(SLIDE_TYPE, copy->name()));
    }
    return deck.save(path);
}

// One report's work on the package; prints the phases' times.
bool fillDeck(const std::string& deckPath, const std::string& out, int slides, bool release) {
    double open = 0, edit = 0, save = 0;
    OpenXMLPackage deck;
    open = cpuSeconds([&] { deck.open(deckPath); });
    bool ok = deck.isOpen();
    std::string jpeg(20000, 'j');
    jpeg.replace(0, 3, "\xFF\xD8\xFF");
    edit = cpuSeconds([&] {
        OpenXMLRelationships& rels = *deck.part(std::string("ppt/presentation.xml"))->rels();
        for (int i = 0; i < rels.count() && ok; ++i) {
            if (rels.at(i).type != SLIDE_TYPE) continue;
            OpenXMLPart* slide = deck.part(&rels.at(i));
            XmlDocument* xml = slide ? slide->editXml() : nullptr;
            OpenXMLPart* picture =
                deck.addPart(deck.nextPartName(std::string("ppt/media/image1.jpeg")), std::string("image/jpeg"));
            ok = xml && picture;
            if (!ok) break;
            jpeg.replace(3, 10, std::to_string(1000000000 + i));
            picture->setBytes(jpeg);
            const std::string id = slide->rels()->relate(std::string(OpenXMLPackageEditor::REL_IMAGE), picture->name());
            TiXmlElement* root = xml->RootElement();
            TiXmlHandle tree = TiXmlHandle(root).FirstChild("p:cSld").FirstChild("p:spTree");
            TiXmlElement* title =
                tree.FirstChild("p:sp").FirstChild("p:txBody").FirstChild("a:p").FirstChild("a:r").FirstChild("a:t").ToElement();
            TiXmlElement* blip = tree.FirstChild("p:pic").FirstChild("p:blipFill").FirstChild("a:blip").ToElement();
            ok = title && title->FirstChild() && blip;
            if (!ok) break;
            title->FirstChild()->SetValue(("Snapshot " + std::to_string(i)).c_str());
            blip->SetAttribute("r:embed", id.c_str());
            if (release) slide->releaseXml();
        }
    });
    save = cpuSeconds([&] { ok = ok && deck.save(out); });
    if (!ok) std::fprintf(stderr, "%s\n", deck.error().c_str());
    std::printf("  %4d slides%s: open %6.1f ms, edit %6.1f ms, save %6.1f ms, total %6.1f ms", slides,
                release ? ", each released" : "", open * 1e3, edit * 1e3, save * 1e3, (open + edit + save) * 1e3);
    return ok;
}

// Adds the pictures to a deck of `slides` slides, picture i on slide
// (i % slides) + 1, shown by the slide's picture; returns the cost of each
// addition in seconds (empty on failure) and that of saving in *saving.
std::vector<double> run(const std::string& deckPath, const std::vector<std::string>& pictures, int slides, double* saving) {
    std::vector<double> costs;
    OpenXMLPackageEditor editor;
    if (!makeDeck(deckPath, slides) || !editor.open(deckPath)) return costs;
    std::vector<OpenXMLPart*> deck;
    for (int i = 0; i < editor.mainRels()->count(); ++i)
        if (editor.mainRels()->at(i).type == SLIDE_TYPE) deck.push_back(editor.package().part(&editor.mainRels()->at(i)));
    const std::string image(OpenXMLPackageEditor::REL_IMAGE);
    bool ok = static_cast<int>(deck.size()) == slides;
    for (size_t i = 0; i < pictures.size() && ok; ++i) {
        costs.push_back(seconds([&] {
            OpenXMLPart* slide = deck[i % deck.size()];
            const std::string name =
                editor.addMedia(std::string(std::to_string(i).c_str()) + ".png", pictures[i].data(), pictures[i].size());
            TiXmlElement* blip = TiXmlHandle(slide->editXml()->RootElement())
                                     .FirstChild("p:cSld")
                                     .FirstChild("p:spTree")
                                     .FirstChild("p:pic")
                                     .FirstChild("p:blipFill")
                                     .FirstChild("a:blip")
                                     .ToElement();
            ok = !name.empty() && blip;
            if (ok) blip->SetAttribute("r:embed", slide->rels()->relate(image, name).c_str());
        }));
    }
    *saving = seconds([&] { ok = ok && editor.save((deckPath + ".out.pptx")); });
    if (!ok) costs.clear();
    return costs;
}

// Runs f in a child process; its peak memory in MB, or -1 when it failed.
template <typename F>
double inChild(F f) {
    std::fflush(stdout);
    const pid_t pid = fork();
    if (pid == 0) {
        const bool ok = f();
        std::fflush(stdout);
        _exit(ok ? 0 : 1);
    }
    int status = 0;
    rusage usage{};
    if (pid < 0 || wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
    return usage.ru_maxrss / 1024.0;
}

int packageBench(const std::string& dir) {
    std::printf("package object: open + a title and a picture per slide + save\n");
    for (int slides : {100, 1000}) {
        const std::string deck = dir + "/deck" + std::to_string(slides) + ".pptx";
        if (inChild([&] { return makeDeck(deck, slides); }) < 0) return 1;
        for (bool release : {false, true}) {
            const double peak = inChild([&] { return fillDeck(deck, dir + "/report.pptx", slides, release); });
            if (peak < 0) return 1;
            std::printf(", peak %.1f MB\n", peak);
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "package") {
        const std::string dir = "/tmp/kiv_bench_package_" + std::to_string(getpid());
        if (system(("mkdir -p " + dir).c_str()) != 0) return 1;
        const int status = packageBench(dir);
        return system(("rm -rf " + dir).c_str()) != 0 ? 1 : status;
    }
    const int count = argc > 1 ? std::atoi(argv[1]) : 1000;
    const std::string dir = "/tmp/kiv_bench_openxml_" + std::to_string(getpid());
    if (system(("mkdir -p " + dir).c_str()) != 0) return 1;
    std::vector<std::string> pictures;
    for (int i = 0; i < count; ++i) {
        // 2 KB of distinct bytes per picture (the layer does not decode them).
        pictures.emplace_back(2048, static_cast<char>(i));
        pictures.back().replace(0, std::to_string(i).size(), std::to_string(i));
    }
    std::printf("picture + relationship added to a report, %d additions (median of the ten ending at n)\n", count);
    int status = 0;
    // A second argument "own" or "one" runs only that case.
    const std::string only = argc > 2 ? argv[2] : "";
    for (int slides : {count, 1}) {
        if ((only == "own" && slides == 1) || (only == "one" && slides != 1)) continue;
        double saving = 0;
        const std::vector<double> costs = run(dir + "/deck.pptx", pictures, slides, &saving);
        if (costs.size() != pictures.size()) {
            std::fprintf(stderr, "an addition failed\n");
            status = 1;
            break;
        }
        // Median of the ten additions ending at n: a shared machine has hiccups.
        auto around = [&costs](int n) {
            std::vector<double> window(costs.begin() + (n - 10), costs.begin() + n);
            std::sort(window.begin(), window.end());
            return (window[4] + window[5]) / 2;
        };
        std::printf("%s\n", slides > 1 ? "each picture on a slide of its own (a report's case)"
                                       : "every picture related from one slide (its relationships part grows)");
        for (int n : {10, 100, 1000})
            if (n <= count) std::printf("  addition %4d: %8.1f us\n", n, around(n) * 1e6);
        if (count >= 1000) std::printf("  ratio 1000:100 = %.2f\n", around(1000) / around(100));
        std::printf("  saving the report: %.1f ms\n", saving * 1e3);
    }
    if (system(("rm -rf " + dir).c_str()) != 0) status = 1;
    return status;
}
