// Word reports on the peers' workload: N table snapshots, each with the title
// "Snapshot #i", a description of about 200 characters and a 3 x 4 table, filled
// into a group of content controls (the peers' template bench/data/project_sdt.docx,
// whose block is made a group and whose description tag is SIT_TEXT). Each N runs
// in a fresh process; prints the time of generate(), the peak resident memory and
// the output size. Given the peers' benchmark folder, and with Node and the peers
// there (npm ci in $PEERS_DIR, default /tmp/peers), the docx peers run on the
// same N in the same invocation, each line followed by the peer's work time
// over our wall time.
//
// Two more workloads, ours alone: N tiny image snapshots unrolled into the group
// "Results" of the test template groups.docx (a title, a text with a macro and a
// picture per copy; BENCH_PICTURES="250,1000,2000"), which prints the CPU time of 4N over N
// (linear is about 4); and a template whose untouched table has R rows
// (BENCH_ROWS="100000"), which prints the peak memory against the output.
//
// Usage: bench_word_report [--peers PEERS_FOLDER] (or $KIV_PEERS);
// BENCH_NS="10,100" picks the sizes.
#include "BenchTimer.h"
#include "PeerRun.h"
#include "KivReport/ReportComponent.h"
#include "KivReport/ReportCreatorWord.h"
#include "KivReport/Repository.h"
#include "KivReport/Snapshot.h"
#include "KivReport/Table.h"
#include "host/core/KivImage.h"
#include "host/core/KivInstance.h"
#include "impl/storage/ZipArchive.h"
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

std::string fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

// The peers' template with its block made a group and its description tag SIT_TEXT.
bool makeTemplate(const std::string& peerTemplate, const std::string& out) {
    ZipArchive source;
    if (!source.open(peerTemplate, ZIP_OPEN_READ_ONLY)) return false;
    ZipArchive target;
    if (!target.open(out, ZIP_CREATE)) return false;
    for (int i = 0; i < source.getNumFiles(); ++i) {
        const std::string name = source.getStoredName(i);
        size_t size = 0;
        unsigned char* data = source.readDataRaw(name, &size);
        if (!data) return false;
        std::string bytes(reinterpret_cast<char*>(data), size);
        free(data);
        if (name == "word/document.xml") {
            const std::string tag = "<w:tag w:val=\"SIT_SNAPSHOT\"/><w:id w:val=\"1\"/>";
            const size_t at = bytes.find(tag);
            if (at == std::string::npos) return false;
            bytes.insert(at + tag.size(), "<w:group/>");
            for (size_t p; (p = bytes.find("SIT_DESCRIPTION")) != std::string::npos;) bytes.replace(p, 15, "SIT_TEXT");
        }
        if (!target.writeDataRaw(name, bytes.data(), bytes.size(), false)) return false;
    }
    return target.close();
}

Repository* makeRepository(int n) {
    Repository* repository = new Repository;
    for (int i = 1; i <= n; ++i) {
        Snapshot* snapshot = new Snapshot(Snapshot::TABLE);
        snapshot->setTitle(Str(("Snapshot #" + std::to_string(i)).c_str()));
        snapshot->setDescription(Str(("View " + std::to_string(i) + " of the model, captured at step " + std::to_string(i * 10) +
                                      ". Von Mises stress on the deformed shape, scale factor 20, legend clipped to "
                                      "the 5th-95th percentile of the visible elements.")
                                         .c_str()));
        Table* table = new Table(4, 3);
        const std::string rows[4][3] = {{"Quantity", "Value", "Unit"},
                                        {"Max stress", fixed(i * 1.5, 2), "MPa"},
                                        {"Max displacement", fixed(i * 0.01, 3), "mm"},
                                        {"Temperature", fixed(293 + i % 50, 1), "K"}};
        for (size_t r = 0; r < 4; ++r)
            for (size_t c = 0; c < 3; ++c) table->setValue(r, c, Str(rows[r][c].c_str()));
        snapshot->setTable(table);
        repository->addSnapshot(snapshot);
    }
    return repository;
}

Repository* makePictures(int n) {
    Repository* repository = new Repository;
    for (int i = 1; i <= n; ++i) {
        Snapshot* snapshot = new Snapshot(Snapshot::IMAGE);
        snapshot->setTitle(Str(("Picture #" + std::to_string(i)).c_str()));
        Image* image = new Image(8, 6);
        image->setData(8, 6, std::vector<unsigned char>(8 * 6 * 3, static_cast<unsigned char>(i)));
        snapshot->setImage(image);
        repository->addSnapshot(snapshot);
    }
    return repository;
}

// The groups template with a table of `rows` rows of three cells after its text.
bool makeBigTable(const std::string& out, int rows) {
    ZipArchive source;
    if (!source.open(KIV_BENCH_GROUPS_DOCUMENT, ZIP_OPEN_READ_ONLY)) return false;
    ZipArchive target;
    if (!target.open(out, ZIP_CREATE)) return false;
    for (int i = 0; i < source.getNumFiles(); ++i) {
        const std::string name = source.getStoredName(i);
        size_t size = 0;
        unsigned char* data = source.readDataRaw(name, &size);
        if (!data) return false;
        std::string bytes(reinterpret_cast<char*>(data), size);
        free(data);
        if (name == "word/document.xml") {
            std::string table =
                "<w:tbl><w:tblPr><w:tblW w:w=\"0\" w:type=\"auto\"/></w:tblPr><w:tblGrid>"
                "<w:gridCol w:w=\"3000\"/><w:gridCol w:w=\"3000\"/><w:gridCol w:w=\"3000\"/></w:tblGrid>";
            for (int r = 0; r < rows; ++r) {
                table += "<w:tr>";
                for (int c = 0; c < 3; ++c)
                    table += "<w:tc><w:tcPr><w:tcW w:w=\"3000\" w:type=\"dxa\"/></w:tcPr><w:p><w:r><w:t>r" + std::to_string(r) +
                             "c" + std::to_string(c) + "</w:t></w:r></w:p></w:tc>";
                table += "</w:tr>";
            }
            const size_t at = bytes.find("<w:sectPr");
            if (at == std::string::npos) return false;
            bytes.insert(at, table + "</w:tbl><w:p/>");
        }
        if (!target.writeDataRaw(name, bytes.data(), bytes.size(), false)) return false;
    }
    return target.close();
}

enum Workload { PEERS, PICTURES, BIG_TABLE };

// One report in this (child) process; prints one line. *generateSeconds gets
// the CPU time of generate() and *wallSeconds its wall time, -1 when it failed.
int runOurs(const std::string& templatePath, const std::string& out, int n, Workload workload = PEERS,
            double* generateSeconds = nullptr, double* wallSeconds = nullptr) {
    Instance instance;
    if (!ReportComponent::initialize(&instance)) return 1;
    Repository* repository = workload == PEERS ? makeRepository(n) : makePictures(workload == BIG_TABLE ? 1 : n);
    repository->addRef();
    ReportCreatorWord creator(repository, Str(templatePath.c_str()));
    bool ok = false;
    double cpu = 0;
    const double work = seconds([&] { cpu = cpuSeconds([&] { ok = creator.generate(Str(out.c_str())); }); });
    if (generateSeconds) *generateSeconds = ok ? cpu : -1;
    if (wallSeconds) *wallSeconds = ok ? work : -1;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    struct stat st {};
    stat(out.c_str(), &st);
    const char* label = workload == PICTURES    ? "kivreport, pictures"
                        : workload == BIG_TABLE ? "kivreport, rows"
                                                : "kivreport (C++)";
    std::printf("%-26s N = %4d: %7.3f s (cpu %.3f s), peak %6.1f MB, output %8.1f kB%s\n", label, n, work, cpu,
                usage.ru_maxrss / 1024.0, st.st_size / 1024.0, ok ? "" : "  FAILED");
    repository->release();
    return ok ? 0 : 1;
}

// The sizes a variable names ("250,1000"), or the defaults.
std::vector<int> sizesOf(const char* variable, std::vector<int> sizes) {
    if (const char* ns = std::getenv(variable)) {
        sizes.clear();
        for (const char* p = ns; *p;) {
            sizes.push_back(std::atoi(p));
            while (*p && *p != ',') ++p;
            if (*p == ',') ++p;
        }
    }
    return sizes;
}

// Runs one report in a child process; the CPU seconds of generate() (steadier
// than wall time on a shared machine) come back through a pipe, and its wall
// seconds into *wall when given.
double inChild(const std::string& templatePath, const std::string& out, int n, Workload workload, double* wall = nullptr) {
    int fds[2];
    if (pipe(fds) != 0) return -1;
    std::fflush(stdout);
    const pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        double t[2] = {-1, -1};
        runOurs(templatePath, out, n, workload, &t[0], &t[1]);
        std::fflush(stdout);
        if (write(fds[1], t, sizeof t) != sizeof t) _exit(1);
        _exit(0);
    }
    close(fds[1]);
    double t[2] = {-1, -1};
    if (read(fds[0], t, sizeof t) != sizeof t) t[0] = t[1] = -1;
    close(fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (wall) *wall = t[1];
    return t[0];
}

}  // namespace

int main(int argc, char** argv) {
    const std::string peersFolder = peersFolderOption(argc, argv);
    const char* env = std::getenv("PEERS_DIR");
    const std::string peersDir = env ? env : "/tmp/peers";
    char work[] = "/tmp/bench_word_report_XXXXXX";
    if (!mkdtemp(work)) return 1;
    const std::string templatePath = std::string(work) + "/project_group.docx";
    if (!makeTemplate(KIV_BENCH_SDT_DOCUMENT, templatePath)) {
        std::printf("cannot read %s\n", KIV_BENCH_SDT_DOCUMENT);
        return 1;
    }
    struct stat st {};
    const bool peers = !peersFolder.empty() && std::system("command -v node >/dev/null 2>&1") == 0 &&
                       stat((peersDir + "/node_modules").c_str(), &st) == 0 && stat("/usr/bin/time", &st) == 0;
    for (int n : sizesOf("BENCH_NS", {10, 100, 1000})) {
        const std::string out = std::string(work) + "/ours_" + std::to_string(n) + ".docx";
        double ours = -1;
        inChild(templatePath, out, n, PEERS, &ours);
        if (!peers) continue;
        for (const char* peer : {"docxtemplater", "easy-template-x", "docx-templates-nosandbox"}) {
            const double theirs = runPeer(peersFolder, peersDir, peer, n, peersFolder + "/templates",
                                          std::string(work) + "/peer_" + peer + "_" + std::to_string(n) + ".docx");
            // How many times our wall time the peer takes, in this run.
            if (ours > 0 && theirs > 0) std::printf("    %s / kivreport = %.1f\n", peer, theirs / ours);
        }
    }
    double previous = 0;
    int previousN = 0;
    for (int n : sizesOf("BENCH_PICTURES", {250, 1000, 2000})) {
        const double t =
            inChild(KIV_BENCH_GROUPS_DOCUMENT, std::string(work) + "/pictures_" + std::to_string(n) + ".docx", n, PICTURES);
        if (previous > 0 && t > 0)
            std::printf("    cpu(%d) / cpu(%d) = %.2f for %.1fx the pictures\n", n, previousN, t / previous,
                        static_cast<double>(n) / previousN);
        previous = t;
        previousN = n;
    }
    for (int rows : sizesOf("BENCH_ROWS", {100000})) {
        const std::string bigTemplate = std::string(work) + "/rows_" + std::to_string(rows) + "_template.docx";
        if (!makeBigTable(bigTemplate, rows)) return 1;
        inChild(bigTemplate, std::string(work) + "/rows_" + std::to_string(rows) + ".docx", rows, BIG_TABLE);
    }
    if (peersFolder.empty()) std::printf("(peers not run: no peers folder, give --peers DIR or KIV_PEERS)\n");
    else if (!peers) std::printf("(peers not run: needs node, /usr/bin/time and npm ci in %s)\n", peersDir.c_str());
    std::printf("outputs in %s\n", work);
    return 0;
}
