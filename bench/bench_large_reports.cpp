// Repositories and PowerPoint reports beyond the sizes of the other benchmarks.
// Each step runs in a fresh process; its wall and CPU time and peak resident
// memory (from wait4) are printed, with the size of what it wrote.
//
//  hd      5,000 snapshots showing one 1280 x 720 picture: build and save the
//          repository, load it, make a report of one slide per snapshot on the
//          generic slide of bench/data/slide.pptx, and read the report back.
//          Goal: every step at most 800 MB.
//  slides  33,000 snapshots showing one 320 x 240 picture, the same steps. The
//          report holds some 165,000 parts, more than a zip archive holds
//          without ZIP64. The report is read back by the zip engine (every entry
//          inflated and its CRC checked) and opened again as a template by the
//          library (summarize, which parses every slide). Goal: the report and
//          its reading back at most 1 GB.
//
// Usage: bench_large_reports [hd] [slides] (both by default); BENCH_KEEP=1 keeps
// the files.
#include "BenchTimer.h"
#include "KivReport/ReportComponent.h"
#include "KivReport/ReportCreatorPowerPoint.h"
#include "KivReport/Repository.h"
#include "KivReport/Snapshot.h"
#include "LibCore/lfwLogManager.h"
#include "host/core/KivImage.h"
#include "host/core/KivInstance.h"
#include "host/ug/ZipArchive.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace kiv;
using namespace kiv::rep;

namespace {

struct Workload {
    const char* name;
    int snapshots;
    unsigned width, height;
};

// A rendered view: gradients, a soft disc and a little noise (about 130 KB of
// JPEG at 1280 x 720).
PtrRef<Image> renderedView(unsigned width, unsigned height) {
    PtrRef<Image> image = new Image(width, height);
    unsigned char* p = image->data();
    unsigned seed = 2166136261u;
    const double cx = width / 2.0, cy = height / 2.0, radius = height / 2.4;
    for (unsigned y = 0; y < height; ++y)
        for (unsigned x = 0; x < width; ++x, p += 3) {
            seed = seed * 1664525u + 1013904223u;
            const int noise = static_cast<int>((seed >> 24) % 9) - 4;
            const double d = std::hypot(x - cx, y - cy);
            const double disc = d < radius ? 80 * (1 - d / radius) : 0;
            p[0] = static_cast<unsigned char>(std::clamp(static_cast<int>(x * 200.0 / width + disc) + noise, 0, 255));
            p[1] = static_cast<unsigned char>(std::clamp(static_cast<int>(y * 200.0 / height + disc / 2) + noise, 0, 255));
            p[2] = static_cast<unsigned char>(std::clamp(static_cast<int>(160 - disc) + noise, 0, 255));
        }
    return image;
}

long long fileSize(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

// Runs one step in a child process and prints its line; false when it failed.
// The step returns what it wants said after the figures.
bool step(const std::string& label, const std::function<std::string()>& work) {
    std::fflush(stdout);
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return false;
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        close(pipeFds[0]);
        Instance instance;
        lfw::LogManager::instance()->setLevelRecursive("", 1);
        const bool initialized = ReportComponent::initialize(&instance);
        const std::string said = initialized ? work() : "FAILED: no start-up";
        const ssize_t written = write(pipeFds[1], said.data(), said.size());
        _exit(written == static_cast<ssize_t>(said.size()) && said.compare(0, 6, "FAILED") != 0 ? 0 : 1);
    }
    close(pipeFds[1]);
    std::string said;
    char buffer[512];
    for (ssize_t n; (n = read(pipeFds[0], buffer, sizeof buffer)) > 0;) said.append(buffer, static_cast<size_t>(n));
    close(pipeFds[0]);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const bool ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    // CPU time as well: steadier than wall time on a busy machine.
    const double cpu = usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    std::printf("  %-34s %7.2f s (CPU %6.2f s)  peak %7.1f MB  %s%s\n", label.c_str(), wall, cpu, usage.ru_maxrss / 1024.0,
                said.c_str(), ok ? "" : (said.empty() ? "FAILED (crashed)" : ""));
    return ok;
}

std::string megabytes(long long bytes) {
    char text[64];
    std::snprintf(text, sizeof text, "%.1f MB", bytes / 1048576.0);
    return text;
}

void run(const Workload& w, const std::string& folder) {
    const std::string repositoryFile = folder + "/" + w.name + ".kivrep";
    const std::string report = folder + "/" + w.name + ".pptx";
    std::printf("%s: %d snapshots of one %u x %u picture\n", w.name, w.snapshots, w.width, w.height);

    const bool created = step("create and save the repository", [&]() -> std::string {
        PtrRef<Image> picture = renderedView(w.width, w.height);
        PtrRef<Repository> repository = new Repository;
        for (int i = 1; i <= w.snapshots; ++i) {
            PtrRef<Snapshot> snapshot = new Snapshot(Snapshot::IMAGE);
            snapshot->setName(Str("view" + std::to_string(i)));
            snapshot->setTitle(Str("Snapshot #" + std::to_string(i)));
            snapshot->setDescription(Str("View " + std::to_string(i) + " of the model: von Mises stress"));
            snapshot->setImage(picture.p());
            repository->addSnapshot(snapshot.p());
        }
        if (!repository->saveRepository(Str(repositoryFile))) return "FAILED";
        return "file " + megabytes(fileSize(repositoryFile));
    });
    if (!created) return;

    step("load the repository", [&]() -> std::string {
        PtrRef<Repository> repository = new Repository;
        if (!repository->loadRepository(Str(repositoryFile)) || !repository->loadedCleanly()) return "FAILED";
        return std::to_string(repository->snapshotCount()) + " snapshots";
    });

    const bool reported = step("load and make the PowerPoint report", [&]() -> std::string {
        PtrRef<Repository> repository = new Repository;
        if (!repository->loadRepository(Str(repositoryFile))) return "FAILED: not loaded";
        ReportCreatorPowerPoint creator(repository.p(), Str(KIV_BENCH_SLIDE_DECK));
        bool ok = false;
        const double generate = seconds([&] { ok = creator.generate(Str(report)); });
        char text[128];
        std::snprintf(text, sizeof text, "generate %.2f s, report %s", generate, megabytes(fileSize(report)).c_str());
        return ok ? std::string(text) : "FAILED";
    });
    if (!reported) return;

    step("read the report back (zip engine)", [&]() -> std::string {
        try {
            CZipArchive zip;
            zip.Open(report, CZipArchive::zipOpenReadOnly);
            CZipMemFile sink;
            unsigned long long bytes = 0;
            for (int i = 0; i < zip.GetCount(); ++i) {
                sink.Clear();
                zip.ExtractFile(i, sink);  // throws on a CRC error
                bytes += sink.GetSize();
            }
            return std::to_string(zip.GetCount()) + " entries, " + megabytes(static_cast<long long>(bytes)) +
                   " inflated, CRCs checked";
        } catch (const CZipException& e) {
            return std::string("FAILED: ") + e.what();
        }
    });

    step("open the report as a template", [&]() -> std::string {
        Str summary;
        if (!ReportCreatorPowerPoint::summarize(Str(report), &summary)) return "FAILED";
        return "summary of " + std::to_string(summary.toStdString().size() / 1024) + " KB";
    });
}

}  // namespace

int main(int argc, char** argv) {
    const Workload workloads[] = {{"hd", 5000, 1280, 720}, {"slides", 33000, 320, 240}};
    char folder[] = "/tmp/bench_large_reports_XXXXXX";
    if (!mkdtemp(folder)) return 1;
    for (const Workload& w : workloads) {
        bool wanted = argc < 2;
        for (int i = 1; i < argc; ++i) wanted = wanted || std::strcmp(argv[i], w.name) == 0;
        if (wanted) run(w, folder);
    }
    if (std::getenv("BENCH_KEEP")) std::printf("files in %s\n", folder);
    else std::system(("rm -rf '" + std::string(folder) + "'").c_str());
    return 0;
}
