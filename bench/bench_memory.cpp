// Peak memory and time of the kivreport tool on inputs that once took memory out
// of proportion to their output: a manifest naming one small picture many times,
// a repository table of 100000 rows (with descriptions of 100000 line breaks, and
// alone in a PowerPoint table and a Word table control, beside what loading its
// repository takes), and a slide that inflates to 200 MB of empty elements. Each run is a child process;
// its peak resident size comes from wait4, and it may take 6 GB of address space
// at most. The tool is the one of this build, or the one given as the first
// argument (to compare with an earlier build).
#include "host/ug/MdlxImageJpeg.h"
#include "host/ug/MkRGBImage.h"
#include "impl/storage/ZipArchive.h"

#include "BenchTimer.h"
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace kiv::rep;  // the layers' classes

namespace {

std::string g_tool = KIVREPORT_EXE;
std::string g_dir;

struct Run {
    int status = -1;
    double megabytes = 0, seconds = 0;
};

Run run(const std::vector<std::string>& args) {
    Run r;
    std::fflush(stdout);
    r.seconds = ::seconds([&] {
        const pid_t pid = fork();
        if (pid == 0) {
            std::vector<char*> argv{const_cast<char*>(g_tool.c_str())};
            for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            if (!std::freopen("/dev/null", "w", stdout) || !std::freopen((g_dir + "/stderr.txt").c_str(), "w", stderr))
                _exit(126);
            // A tool that would take all of a shared machine's memory fails instead.
            const rlimit limit{rlim_t(6) << 30, rlim_t(6) << 30};
            setrlimit(RLIMIT_AS, &limit);
            execv(g_tool.c_str(), argv.data());
            _exit(127);
        }
        int status = 0;
        rusage usage{};
        if (wait4(pid, &status, 0, &usage) == pid) {
            r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            r.megabytes = usage.ru_maxrss / 1024.0;
        }
    });
    return r;
}

void report(const char* what, const Run& r) {
    std::printf("%-52s exit %3d  %8.1f MB  %7.2f s\n", what, r.status, r.megabytes, r.seconds);
    std::fflush(stdout);
}

void write(const std::string& name, const std::string& text) { std::ofstream(g_dir + "/" + name, std::ios::binary) << text; }

// A manifest of n image snapshots that all name picture.jpg.
std::string pictureManifest(int n) {
    std::string m = "{\"snapshots\": [";
    for (int i = 0; i < n; ++i)
        m += std::string(i ? "," : "") + "{\"type\": \"image\", \"name\": \"p" + std::to_string(i) +
             "\", \"image\": \"picture.jpg\"}";
    return m + "]}";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1) g_tool = argv[1];
    char folder[] = "/tmp/bench_memory_XXXXXX";
    if (!mkdtemp(folder)) return 1;
    g_dir = folder;
    const std::string pptx = KIV_BENCH_DECK, docx = KIV_BENCH_DOCUMENT;

    // A 640 x 480 smooth picture: about 7 kB of JPEG.
    MkRGBImage rgb(640, 480);
    for (int i = 0; i < rgb.GetNumImageBytes(); ++i) rgb.GetData()[i] = static_cast<unsigned char>((i / 3 % 640) / 4);
    std::vector<unsigned char> jpeg;
    MdlxImageJpeg::saveImageToMemory(rgb, &jpeg);
    write("picture.jpg", std::string(jpeg.begin(), jpeg.end()));
    std::printf("tool %s, picture of %zu bytes\n", g_tool.c_str(), jpeg.size());

    for (int n : {1500, 4000}) {
        write("pictures.json", pictureManifest(n));
        const std::string repo = g_dir + "/pictures" + std::to_string(n) + ".kivrep";
        report(("repo create: " + std::to_string(n) + " snapshots, one picture").c_str(),
               run({"repo", "create", repo, "--from", g_dir + "/pictures.json"}));
        report("  generate from it (pptx)", run({"generate", "--repo", repo, "--template", pptx, "--out", g_dir + "/p.pptx"}));
    }

    // Snapshot 1 with 100000 line breaks in its description, 3 a table of 100000 rows.
    std::string rows = "x,y\n", breaks;
    for (int i = 0; i < 100000; ++i) rows += std::to_string(i) + "," + std::to_string(i * 2) + "\n";
    for (int i = 0; i < 100000; ++i) breaks += "line " + std::to_string(i) + "\\n";
    write("rows.csv", rows);
    write("large.json",
          "{\"snapshots\": [{\"type\": \"image\", \"name\": \"a\", \"image\": \"picture.jpg\", \"description\": \"" + breaks +
              "\"}, {\"type\": \"image\", \"name\": \"b\", \"image\": \"picture.jpg\"}, "
              "{\"type\": \"table\", \"name\": \"t\", \"table\": {\"csv\": \"rows.csv\"}}]}");
    const std::string large = g_dir + "/large.kivrep";
    report("repo create: table of 100000 rows, 100000 line breaks",
           run({"repo", "create", large, "--from", g_dir + "/large.json"}));
    report("  generate pptx", run({"generate", "--repo", large, "--template", pptx, "--out", g_dir + "/l.pptx"}));
    report("  generate docx", run({"generate", "--repo", large, "--template", docx, "--out", g_dir + "/l.docx"}));
    // The table alone, into the table SIT3_TABLE of each template (as elements its
    // rows took 897 MB in PowerPoint, 734 MB in Word).
    write("table.json",
          "{\"snapshots\": [{\"type\": \"image\", \"name\": \"a\", \"image\": \"picture.jpg\"}, "
          "{\"type\": \"image\", \"name\": \"b\", \"image\": \"picture.jpg\"}, "
          "{\"type\": \"table\", \"name\": \"t\", \"table\": {\"csv\": \"rows.csv\"}}]}");
    const std::string table = g_dir + "/table.kivrep";
    report("repo create: table of 100000 rows alone", run({"repo", "create", table, "--from", g_dir + "/table.json"}));
    report("  load it (repo show)", run({"repo", "show", table}));
    report("  generate pptx", run({"generate", "--repo", table, "--template", pptx, "--out", g_dir + "/t.pptx"}));
    report("  generate docx (the table in a table control)",
           run({"generate", "--repo", table, "--template", docx, "--out", g_dir + "/t.docx"}));

    // A deck whose first slide inflates to 200 MB of empty elements.
    std::string bomb = "<r>";
    for (int i = 0; i < 50 << 20; ++i) bomb += "<a/>";
    bomb += "</r>";
    std::ifstream in(pptx, std::ios::binary);
    write("bomb.pptx", std::string(std::istreambuf_iterator<char>(in), {}));
    ZipArchive zip;
    if (!zip.open((g_dir + "/bomb.pptx"), ZIP_OPEN) ||
        !zip.writeDataRaw("ppt/slides/slide1.xml", bomb.data(), bomb.size(), true) || !zip.close())
        return 1;
    bomb.clear();
    bomb.shrink_to_fit();
    report("generate: slide of 200 MB of empty elements",
           run({"generate", "--repo", large, "--template", g_dir + "/bomb.pptx", "--out", g_dir + "/b.pptx"}));
    std::system(("rm -rf '" + g_dir + "'").c_str());
    return 0;
}
