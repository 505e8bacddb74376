// HTML report creation time and peak memory against the number of snapshots.
// One generic group holds a title, a text, a field-value macro and (in the
// picture cases) a picture tag; the group is repeated once per snapshot.
//   pictures: N = 200 and 2000 image snapshots of 640 x 480 (one JPEG file each)
//   text:     N = 2000 and 20000 snapshots, no picture tag
//   tags:     one group of N = 10000 and 100000 generic title tags over one
//             snapshot, generated and validated (the aim: 100,000 tags well under
//             a second of processor time)
// Each case runs in its own child process so that its peak memory (ru_maxrss)
// is its own. Building the output is meant to be linear: ten times the
// snapshots should cost at most about ten times as much (the aim is <= 12).
// Usage: bench_html            all six cases
//        bench_html MODE N     one case (MODE pictures, text or tags)
#include "KivReport/ReportComponent.h"
#include "KivReport/ReportCreatorHtml.h"
#include "KivReport/Repository.h"
#include "KivReport/Snapshot.h"
#include "LibCore/lfwFile.h"
#include "LibCore/lfwLogManager.h"
#include "host/core/KivImage.h"
#include "host/core/KivInstance.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <time.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

const unsigned kWidth = 640;
const unsigned kHeight = 480;
const int kDistinctImages = 8;  // shared by the snapshots, so the repository stays small
const int kRounds = 3;

struct Result {
    double seconds = 0;  // median of kRounds reports
    double slowestSeconds = 0;
    double cpuSeconds = 0;  // median processor time of the same reports (less sensitive to a busy machine)
    long setupKb = 0;       // peak resident set after building the repository
    long peakKb = 0;        // peak resident set at the end
    long long reportBytes = 0;
};

double cpuSeconds() {
    struct timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

long maxRssKb() {
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

kiv::PtrRef<kiv::Image> syntheticImage(int index) {
    kiv::PtrRef<kiv::Image> image = new kiv::Image(kWidth, kHeight);
    unsigned char* p = image->data();
    for (unsigned y = 0; y < kHeight; ++y)
        for (unsigned x = 0; x < kWidth; ++x, p += 3) {
            const double d = std::hypot(x - 320.0 - 20 * index, y - 240.0);
            p[0] = static_cast<unsigned char>(x * 200 / kWidth);
            p[1] = static_cast<unsigned char>(y * 200 / kHeight);
            p[2] = static_cast<unsigned char>(d < 120 ? 250 - d : 100);
        }
    return image;
}

std::string templateText(bool pictures) {
    std::string group =
        "<orvrepgroup><div class=\"snapshot\">\n"
        "  <h2><orvrepsit name=\"SIT_TITLE\">title</orvrepsit></h2>\n"
        "  <p><orvrepsit name=\"SIT_TEXT\">description</orvrepsit></p>\n"
        "  <p>Frame <orvrepsit name=\"SIT_$FRAME_INDEX\">0</orvrepsit> of the model</p>\n";
    if (pictures)
        group += "  <orvrepsit name=\"SIT_PICTURE\"><img src=\"picture.jpg\" width=\"320\" height=\"320\"></orvrepsit>\n";
    group += "</div></orvrepgroup>\n";
    return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Benchmark</title></head><body>\n"
           "<h1>Report</h1>\n" +
           group + "</body></html>\n";
}

Result runCase(bool pictures, int count, const std::string& dir) {
    lfw::LogManager::instance()->setLevelRecursive("", 1);
    kiv::Instance instance;
    kiv::rep::ReportComponent::initialize(&instance);

    std::vector<kiv::PtrRef<kiv::Image>> images;
    for (int i = 0; i < kDistinctImages; ++i) images.push_back(syntheticImage(i));
    kiv::PtrRef<kiv::rep::Repository> repo = new kiv::rep::Repository;
    for (int i = 0; i < count; ++i) {
        kiv::PtrRef<kiv::rep::Snapshot> s = new kiv::rep::Snapshot(kiv::rep::Snapshot::IMAGE);
        s->setName(kiv::Str("view" + std::to_string(i)));  // unnamed snapshots make adding slow
        s->setTitle(kiv::Str("View " + std::to_string(i) + " of $(DATABASE_NAME)"));
        s->setDescription("Scalar result $(SCALAR_RESULT_NAME)\nrange $(SCALAR_RESULT_MIN) to $(SCALAR_RESULT_MAX)");
        s->setFieldValues({{"DATABASE_NAME", "model.db"},
                           {"FRAME_INDEX", kiv::Str::number(i)},
                           {"SCALAR_RESULT_NAME", "Temperature"},
                           {"SCALAR_RESULT_MIN", "20.5"},
                           {"SCALAR_RESULT_MAX", "87.25"}});
        s->setImage(images[static_cast<size_t>(i % kDistinctImages)].p());
        repo->addSnapshot(s.p());
    }
    const std::string templatePath = dir + "/template.html";
    const std::string reportPath = dir + "/report.html";
    std::ofstream(templatePath) << templateText(pictures);

    Result r;
    r.setupKb = maxRssKb();
    kiv::rep::ReportCreatorHtml creator(repo.p(), kiv::Str(templatePath));
    // The median of a few reports: the machine may be shared, and the first
    // report also pays for touching fresh memory.
    std::vector<double> times, cpuTimes;
    bool ok = true;
    for (int round = 0; round < kRounds; ++round) {
        const double cpuStart = cpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        ok = creator.generate(kiv::Str(reportPath)) && ok;
        times.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        cpuTimes.push_back(cpuSeconds() - cpuStart);
    }
    std::sort(times.begin(), times.end());
    std::sort(cpuTimes.begin(), cpuTimes.end());
    r.seconds = times[times.size() / 2];
    r.slowestSeconds = times.back();
    r.cpuSeconds = cpuTimes[cpuTimes.size() / 2];
    r.peakKb = maxRssKb();
    std::ifstream report(reportPath, std::ios::binary | std::ios::ate);
    r.reportBytes = ok ? static_cast<long long>(report.tellg()) : -1;
    return r;
}

// One group holding count generic tags, unrolled for one snapshot: the report
// and then the validation, timed together.
Result runTagsCase(int count, const std::string& dir) {
    lfw::LogManager::instance()->setLevelRecursive("", 1);
    kiv::Instance instance;
    kiv::rep::ReportComponent::initialize(&instance);
    kiv::PtrRef<kiv::rep::Repository> repo = new kiv::rep::Repository;
    kiv::PtrRef<kiv::rep::Snapshot> snapshot = new kiv::rep::Snapshot(kiv::rep::Snapshot::IMAGE);
    snapshot->setName(kiv::Str("view"));
    snapshot->setTitle(kiv::Str("View"));
    repo->addSnapshot(snapshot.p());
    std::string group = "<orvrepgroup>";
    for (int i = 0; i < count; ++i) group += "<p><orvrepsit name=\"SIT_TITLE\">t</orvrepsit></p>\n";
    group += "</orvrepgroup>";
    const std::string templatePath = dir + "/template.html", reportPath = dir + "/report.html";
    std::ofstream(templatePath) << "<html><body>" << group << "</body></html>\n";
    Result r;
    r.setupKb = maxRssKb();
    kiv::rep::ReportCreatorHtml creator(repo.p(), kiv::Str(templatePath));
    const double cpuStart = cpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    kiv::Str validation;
    const bool ok = creator.generate(kiv::Str(reportPath));
    creator.validate(&validation);
    r.seconds = r.slowestSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    r.cpuSeconds = cpuSeconds() - cpuStart;
    r.peakKb = maxRssKb();
    std::ifstream report(reportPath, std::ios::binary | std::ios::ate);
    r.reportBytes = ok ? static_cast<long long>(report.tellg()) : -1;
    return r;
}

// Runs one case in a child process; the child writes its figures into a pipe.
bool runChild(bool pictures, int count, Result* out, bool tags = false) {
    int fds[2];
    if (pipe(fds) != 0) return false;
    const pid_t pid = fork();
    if (pid < 0) return false;
    if (pid == 0) {
        close(fds[0]);
        char dirTemplate[] = "/tmp/bench_html_XXXXXX";
        const char* dir = mkdtemp(dirTemplate);
        Result r;
        if (dir) r = tags ? runTagsCase(count, dir) : runCase(pictures, count, dir);
        if (dir) lfw::FileSystem::deleteDirectoryRecursive(dir);
        const ssize_t written = write(fds[1], &r, sizeof r);
        _exit(written == static_cast<ssize_t>(sizeof r) && dir ? 0 : 1);
    }
    close(fds[1]);
    const bool got = read(fds[0], out, sizeof *out) == static_cast<ssize_t>(sizeof *out);
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return got && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void print(const char* mode, int count, const Result& r) {
    std::printf(
        "%-9s N=%6d  median %7.3f s (slowest %7.3f s, processor %7.3f s)  %7.1f us/snapshot  "
        "report %9lld bytes  peak %7ld KB (after setup %7ld KB, +%ld KB)\n",
        mode, count, r.seconds, r.slowestSeconds, r.cpuSeconds, 1e6 * r.seconds / count, r.reportBytes, r.peakKb, r.setupKb,
        r.peakKb - r.setupKb);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3) {
        const bool pictures = std::strcmp(argv[1], "pictures") == 0;
        const bool tags = std::strcmp(argv[1], "tags") == 0;
        Result r;
        if (!runChild(pictures, std::atoi(argv[2]), &r, tags)) return 1;
        print(argv[1], std::atoi(argv[2]), r);
        return 0;
    }
    struct Pair {
        bool pictures;
        int small, large;
    } pairs[] = {{true, 200, 2000}, {false, 2000, 20000}};
    bool within = true;
    for (const Pair& p : pairs) {
        Result small, large;
        if (!runChild(p.pictures, p.small, &small) || !runChild(p.pictures, p.large, &large)) {
            std::fprintf(stderr, "a benchmark case failed\n");
            return 1;
        }
        const char* mode = p.pictures ? "pictures" : "text";
        print(mode, p.small, small);
        print(mode, p.large, large);
        const double ratio = large.seconds / small.seconds;
        const double cpuRatio = large.cpuSeconds / small.cpuSeconds;
        std::printf("%-9s ratio for 10x snapshots: time %.2f, processor time %.2f (aim <= 12)\n\n", mode, ratio, cpuRatio);
        within = within && ratio <= 12.0;
    }
    // Tags in one group: each tag once renamed per copy, not one pass over the group per tag.
    Result fewTags, manyTags;
    if (!runChild(false, 10000, &fewTags, true) || !runChild(false, 100000, &manyTags, true)) {
        std::fprintf(stderr, "a benchmark case failed\n");
        return 1;
    }
    print("tags", 10000, fewTags);
    print("tags", 100000, manyTags);
    std::printf("tags      100,000 tags in one group, generated and validated: %.3f s, processor %.3f s (aim < 1 s)\n",
                manyTags.seconds, manyTags.cpuSeconds);
    within = within && manyTags.cpuSeconds < 1.0;
    return within ? 0 : 2;
}
