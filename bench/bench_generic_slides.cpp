// PowerPoint templates of many slides: 100, 400 and 1600 copies of the sample
// deck's generic slide (samples/templates/report-pptx, slide3.xml: SIT_TITLE,
// SIT_PICTURE, SIT_TEXT and field-value macros), and as many copies of its first
// slide (one static macro), filled from a repository like the sample's: eight
// snapshots, three of them pictures with field values, the others tables, which
// the generic slide is not repeated for. Each template is made in its own
// process, and each report in another, whose wall and CPU time of generate()
// and peak resident memory are printed with the slides written; the time grows
// with the slides, so a size four times as large should take about four times
// as long.
//
// Usage: bench_generic_slides [generic] [static] (both by default);
// BENCH_NS="100,400" picks the sizes; BENCH_KEEP=1 keeps the files.
#include "BenchTimer.h"
#include "KivReport/ReportComponent.h"
#include "KivReport/ReportCreatorPowerPoint.h"
#include "KivReport/Repository.h"
#include "KivReport/Snapshot.h"
#include "KivReport/Table.h"
#include "LibCore/lfwLogManager.h"
#include "host/core/KivImage.h"
#include "host/core/KivInstance.h"
#include "impl/openxml/OpenXMLPackage.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace kiv;
using namespace kiv::rep;

namespace {

const char* const REL_SLIDE = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/slide";

// The sample deck with n copies of one of its slides as its only slides.
bool makeTemplate(const char* slide, int n, const std::string& path) {
    OpenXMLPackage package;
    if (!package.open(std::string(KIV_BENCH_SAMPLE_DECK))) return false;
    OpenXMLPart* presentation = package.part(std::string("ppt/presentation.xml"));
    OpenXMLPart* source = package.part(std::string(slide));
    OpenXMLRelationships* rels = presentation ? presentation->rels() : nullptr;
    XmlDocument* xml = presentation ? presentation->editXml() : nullptr;
    const XmlElement list = xml ? xml->getRootElement().getFirstChildElement("p:sldIdLst") : XmlElement();
    if (!source || !rels || !list) return false;
    // The deck's own slides leave the list: a part nothing relates to is not written.
    std::vector<std::string> listed;
    for (int i = 0; i < rels->count(); ++i)
        if (rels->at(i).type == std::string(REL_SLIDE)) listed.push_back(rels->at(i).id);
    for (const std::string& id : listed) rels->drop(id);
    while (list.getFirstChildElement()) list.removeChildElement(list.getFirstChildElement());
    for (int k = 0; k < n; ++k) {
        OpenXMLPart* copy = k == 0 ? source : package.copyPart(source, package.nextPartName(source->name()));
        if (!copy) return false;
        const XmlElement entry = list.addChildElement("p:sldId");
        entry.addAttributeInt("id", 256 + k);
        entry.addAttributeString("r:id", rels->add(std::string(REL_SLIDE), copy->name()));
    }
    return package.save(path);
}

// Eight snapshots: three pictures (320 x 240, each its own) with the field values
// the generic slide shows, then five tables.
PtrRef<Repository> sampleLikeRepository() {
    PtrRef<Repository> repository = new Repository;
    for (int i = 1; i <= 8; ++i) {
        const bool picture = i <= 3;
        PtrRef<Snapshot> snapshot = new Snapshot(picture ? Snapshot::IMAGE : Snapshot::TABLE);
        snapshot->setName(Str("snapshot" + std::to_string(i)));
        snapshot->setTitle(Str("Result " + std::to_string(i)));
        snapshot->setDescription(Str("Equivalent stress; the peak of $(SCALAR_RESULT_MAX) sits at the hole."));
        std::map<Str, Str> fields;
        fields[Str("DATABASE_NAME")] = Str("plate_with_hole.kdb");
        fields[Str("CASE_NAME")] = Str("Tension 100 MPa");
        fields[Str("SCALAR_RESULT_NAME")] = Str("von Mises stress");
        fields[Str("SCALAR_RESULT_MAX")] = Str(std::to_string(300 + i) + " MPa");
        fields[Str("SCALAR_RESULT_MIN")] = Str(std::to_string(i) + " MPa");
        snapshot->setFieldValues(fields);
        if (picture) {
            PtrRef<Image> image = new Image(320, 240);
            unsigned char* p = image->data();
            for (unsigned y = 0; y < 240; ++y)
                for (unsigned x = 0; x < 320; ++x, p += 3) {
                    p[0] = static_cast<unsigned char>((x + i * 40) & 255);
                    p[1] = static_cast<unsigned char>((y + i * 70) & 255);
                    p[2] = static_cast<unsigned char>(i * 60);
                }
            snapshot->setImage(image.p());
        } else {
            PtrRef<Table> table = new Table(3, 2);
            for (size_t r = 0; r < 3; ++r)
                for (size_t c = 0; c < 2; ++c) table->setValue(r, c, Str(r == 0 ? "x" : std::to_string(r * 10 + c)));
            snapshot->setTable(table.p());
        }
        repository->addSnapshot(snapshot.p());
    }
    return repository;
}

struct Figures {
    bool ok = false;
    double wall = 0, cpu = 0, peakMB = 0;
    std::string said;
};

// Runs work in a child process: its result line, wall time, CPU time and peak memory.
Figures inChild(const std::function<std::string()>& work) {
    Figures f;
    std::fflush(stdout);
    int fds[2];
    if (pipe(fds) != 0) return f;
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        const std::string said = work();
        const ssize_t written = write(fds[1], said.data(), said.size());
        _exit(written == static_cast<ssize_t>(said.size()) && said.compare(0, 6, "FAILED") != 0 ? 0 : 1);
    }
    close(fds[1]);
    char buffer[256];
    for (ssize_t n; (n = read(fds[0], buffer, sizeof buffer)) > 0;) f.said.append(buffer, static_cast<size_t>(n));
    close(fds[0]);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    f.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    f.cpu = usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    f.peakMB = usage.ru_maxrss / 1024.0;
    f.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return f;
}

void run(const char* kind, const char* slide, const std::vector<int>& sizes, const std::string& folder) {
    std::printf("%s: copies of the sample deck's %s, a repository of 8 snapshots (3 pictures)\n", kind, slide);
    double previousTime = 0;
    int previousSize = 0;
    for (int n : sizes) {
        const std::string deck = folder + "/" + kind + std::to_string(n) + ".pptx";
        const std::string report = folder + "/" + kind + std::to_string(n) + "_report.pptx";
        if (!inChild([&] { return makeTemplate(slide, n, deck) ? std::string("made") : std::string("FAILED"); }).ok) {
            std::printf("  cannot make the template of %d slides\n", n);
            continue;
        }
        const Figures f = inChild([&]() -> std::string {
            Instance instance;
            lfw::LogManager::instance()->setLevelRecursive("", 1);  // errors only
            if (!ReportComponent::initialize(&instance)) return "FAILED: no start-up";
            PtrRef<Repository> repository = sampleLikeRepository();
            ReportCreatorPowerPoint creator(repository.p(), Str(deck));
            bool ok = false;
            double generate = 0;
            const double cpu = cpuSeconds([&] { generate = seconds([&] { ok = creator.generate(Str(report)); }); });
            struct stat st {};
            stat(report.c_str(), &st);
            char text[160];
            std::snprintf(text, sizeof text, "%7.3f s (CPU %6.3f s), report %.1f MB", generate, cpu, st.st_size / 1048576.0);
            return ok ? std::string(text) : std::string("FAILED");
        });
        // The child tells the time of generate() first; the ratio is of its CPU
        // time, steadier than wall time on a busy machine.
        double wall = 0, time = 0;
        if (!f.ok || std::sscanf(f.said.c_str(), "%lf s (CPU %lf", &wall, &time) != 2) time = 0;
        char ratio[64] = "";
        if (previousTime > 0 && time > 0)
            std::snprintf(ratio, sizeof ratio, "  (x%.1f slides: CPU time x%.1f)", double(n) / previousSize, time / previousTime);
        std::printf("  N = %5d: generate %s, peak %7.1f MB%s%s\n", n, f.said.c_str(), f.peakMB, ratio,
                    f.ok ? "" : (f.said.empty() ? "FAILED (crashed)" : ""));
        previousTime = time;
        previousSize = n;
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<int> sizes = {100, 400, 1600};
    if (const char* ns = std::getenv("BENCH_NS")) {
        sizes.clear();
        for (const char* p = ns; *p;) {
            sizes.push_back(std::atoi(p));
            while (*p && *p != ',') ++p;
            if (*p == ',') ++p;
        }
    }
    char folder[] = "/tmp/bench_generic_slides_XXXXXX";
    if (!mkdtemp(folder)) return 1;
    const struct {
        const char* kind;
        const char* slide;
    } kinds[] = {{"generic", "ppt/slides/slide3.xml"}, {"static", "ppt/slides/slide1.xml"}};
    for (const auto& k : kinds) {
        bool wanted = argc < 2;
        for (int i = 1; i < argc; ++i) wanted = wanted || std::strcmp(argv[i], k.kind) == 0;
        if (wanted) run(k.kind, k.slide, sizes, folder);
    }
    if (std::getenv("BENCH_KEEP")) std::printf("files in %s\n", folder);
    else std::system(("rm -rf '" + std::string(folder) + "'").c_str());
    return 0;
}
