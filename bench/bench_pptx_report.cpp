// PowerPoint reports on the peers' workload: N image snapshots, each with a
// title, a description and its own picture, loaded from a repository file as an
// application would, filled into the generic slide of the peers' template
// (bench/data/slide.pptx, whose shapes are named SIT_TITLE, SIT_TEXT and
// SIT_PICTURE). Each N runs in a fresh process; prints the time of generate(),
// the peak resident memory and the output size. Given the peers' benchmark
// folder, and with Node and the peers there (npm ci in $PEERS_DIR, default
// /tmp/peers), pptx-automizer runs on the same N in the same invocation.
//
// Usage: bench_pptx_report [--peers PEERS_FOLDER] (or $KIV_PEERS);
// BENCH_NS="10,100" picks the sizes; BENCH_KEEP=1 keeps the outputs.
#include "BenchTimer.h"
#include "PeerRun.h"
#include "KivReport/ReportComponent.h"
#include "KivReport/ReportCreatorPowerPoint.h"
#include "KivReport/Repository.h"
#include "KivReport/Snapshot.h"
#include "host/core/KivImage.h"
#include "host/core/KivInstance.h"
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace kiv;
using namespace kiv::rep;

namespace {

// A repository file of n image snapshots, each picture 320 x 240 with its own colours.
bool makeRepositoryFile(int n, const std::string& path) {
    Instance instance;
    if (!ReportComponent::initialize(&instance)) return false;
    Repository* repository = new Repository;
    repository->addRef();
    for (int i = 1; i <= n; ++i) {
        Snapshot* snapshot = new Snapshot(Snapshot::IMAGE);
        snapshot->setTitle(Str(("Snapshot #" + std::to_string(i)).c_str()));
        snapshot->setDescription(Str(("View " + std::to_string(i) +
                                      " of the model: von Mises stress on the "
                                      "deformed shape, scale factor 20.")
                                         .c_str()));
        Image* image = new Image(320, 240);
        unsigned char* p = image->data();
        for (unsigned y = 0; y < 240; ++y)
            for (unsigned x = 0; x < 320; ++x, p += 3) {
                p[0] = static_cast<unsigned char>((x + i * 7) & 255);
                p[1] = static_cast<unsigned char>((y + i * 13) & 255);
                p[2] = static_cast<unsigned char>(i & 255);
            }
        snapshot->setImage(image);
        repository->addSnapshot(snapshot);
    }
    const bool saved = repository->saveRepository(Str(path.c_str()));
    repository->release();
    return saved;
}

int runOurs(const std::string& templatePath, const std::string& repositoryFile, const std::string& out, int n) {
    Instance instance;
    if (!ReportComponent::initialize(&instance)) return 1;
    Repository* repository = new Repository;
    repository->addRef();
    double work = 0, cpu = 0;
    bool ok = repository->loadRepository(Str(repositoryFile.c_str()));
    if (ok) {
        ReportCreatorPowerPoint creator(repository, Str(templatePath.c_str()));
        cpu = cpuSeconds([&] { work = seconds([&] { ok = creator.generate(Str(out.c_str())); }); });
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    struct stat st {};
    stat(out.c_str(), &st);
    std::printf("%-26s N = %4d: %7.3f s, peak %6.1f MB, output %8.1f kB (CPU %.3f s)%s\n", "kivreport (C++)", n, work,
                usage.ru_maxrss / 1024.0, st.st_size / 1024.0, cpu, ok ? "" : "  FAILED");
    std::fflush(stdout);  // the child ends with _exit
    repository->release();
    return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string peersFolder = peersFolderOption(argc, argv);
    const char* env = std::getenv("PEERS_DIR");
    const std::string peersDir = env ? env : "/tmp/peers";
    char work[] = "/tmp/bench_pptx_report_XXXXXX";
    if (!mkdtemp(work)) return 1;
    const std::string templatePath = KIV_BENCH_SLIDE_DECK;
    struct stat st {};
    const bool peers = !peersFolder.empty() && std::system("command -v node >/dev/null 2>&1") == 0 &&
                       stat((peersDir + "/node_modules").c_str(), &st) == 0 && stat("/usr/bin/time", &st) == 0;
    std::vector<int> sizes = {10, 100, 1000};
    if (const char* ns = std::getenv("BENCH_NS")) {
        sizes.clear();
        for (const char* p = ns; *p;) {
            sizes.push_back(std::atoi(p));
            while (*p && *p != ',') ++p;
            if (*p == ',') ++p;
        }
    }
    // The peer reads its pictures from <templates>/img: the peers' template beside
    // the pictures their generator draws (320 x 240, like ours), in the work folder.
    bool peersReady = peers;
    if (peers) {
        int largest = 0;
        for (int n : sizes) largest = n > largest ? n : largest;
        const std::string command = "mkdir -p '" + std::string(work) + "/templates' && cp '" + peersFolder + "'/templates/* '" +
                                    std::string(work) + "/templates/' && /usr/bin/python3 '" + peersFolder +
                                    "/gen_templates.py' '" + std::string(work) + "/templates' --images " +
                                    std::to_string(largest) + " >/dev/null 2>&1";
        peersReady = std::system(command.c_str()) == 0;
    }
    for (int n : sizes) {
        const std::string repositoryFile = std::string(work) + "/repo_" + std::to_string(n) + ".kivrep";
        const std::string out = std::string(work) + "/ours_" + std::to_string(n) + ".pptx";
        std::fflush(stdout);
        // Each step in a fresh process, so that peak memory is the report's alone.
        pid_t child = fork();
        if (child == 0) _exit(makeRepositoryFile(n, repositoryFile) ? 0 : 1);
        int status = 0;
        waitpid(child, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            std::printf("cannot write the repository of %d snapshots\n", n);
            continue;
        }
        child = fork();
        if (child == 0) _exit(runOurs(templatePath, repositoryFile, out, n));
        waitpid(child, &status, 0);
        if (peersReady)
            runPeer(peersFolder, peersDir, "pptx-automizer", n, std::string(work) + "/templates",
                    std::string(work) + "/peer_" + std::to_string(n) + ".pptx");
    }
    if (peersFolder.empty()) std::printf("(pptx-automizer not run: no peers folder, give --peers DIR or KIV_PEERS)\n");
    else if (!peers) std::printf("(pptx-automizer not run: needs node, /usr/bin/time and npm ci in %s)\n", peersDir.c_str());
    else if (!peersReady) std::printf("(pptx-automizer not run: its pictures could not be made)\n");
    if (std::getenv("BENCH_KEEP")) std::printf("outputs in %s\n", work);
    else std::system(("rm -rf '" + std::string(work) + "'").c_str());
    return 0;
}
