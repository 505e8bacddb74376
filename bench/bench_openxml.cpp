// Cost of adding a picture with its relationship to a package, as the report
// creators do for every picture: store the media file under the next free name,
// register its extension, relate it from a slide. The 1000th addition should cost
// about what the 100th did: each call reads and writes only the content types and
// the relationships part it edits, and lists one folder of the directory.
#include "impl/openxml/MkOpenXMLArchive.h"
#include "BenchTimer.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

class Presentation : public MkOpenXMLArchive {
public:
    Presentation() { SetPackageFolders(MkString(L"ppt")); }
};

bool writeBytes(const std::string& path, const std::string& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

MkString slideRels(int slide) {
    MkString path;
    path.MakeForm("ppt\\slides\\_rels\\slide%d.xml.rels", slide);
    return path;
}

bool makePackage(const std::string& path, int slides) {
    PxZipArchive zip;
    if (!zip.Open(MkString(path.c_str()), ZIP_CREATE)) return false;
    const std::string types =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
        "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
        "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
        "<Default Extension=\"xml\" ContentType=\"application/xml\"/></Types>";
    const std::string rels =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
        "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\"/>";
    bool ok = zip.WriteDataRaw(MkString(L"[Content_Types].xml"), types.data(), types.size(), false);
    for (int i = 1; i <= slides && ok; ++i)
        ok = zip.WriteDataRaw(slideRels(i), rels.data(), rels.size(), false);
    return zip.Close() && ok;
}


// Adds `count` pictures, each related from slide (i % slides) + 1; returns the
// cost of each addition in seconds (empty on failure).
std::vector<double> run(const std::string& package, const std::vector<std::string>& pictures, int slides,
                        double* closing) {
    std::vector<double> costs;
    if (!makePackage(package, slides)) return costs;
    Presentation archive;
    if (!archive.Open(MkString(package.c_str()), ZIP_OPEN)) return costs;
    const MkString image(MkOpenXMLArchive::REL_TYPE_IMAGE);
    bool ok = true;
    for (size_t i = 0; i < pictures.size() && ok; ++i) {
        costs.push_back(seconds([&] {
            MkString target;
            ok = archive.AddMediaFileToArchive(MkString(pictures[i].c_str()), &target) &&
                 !archive.AddTargetInRelsFile(slideRels(static_cast<int>(i) % slides + 1), image, target).IsEmpty();
        }));
    }
    *closing = seconds([&] { ok = archive.Close() && ok; });
    if (!ok) costs.clear();
    return costs;
}

} // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 1000;
    const std::string dir = "/tmp/kiv_bench_openxml_" + std::to_string(getpid());
    if (system(("mkdir -p " + dir).c_str()) != 0) return 1;
    std::vector<std::string> pictures;
    for (int i = 0; i < count; ++i) {
        pictures.push_back(dir + "/picture" + std::to_string(i) + ".png");
        // 2 KB of distinct bytes per picture (the layer does not decode them).
        std::string bytes(2048, static_cast<char>(i));
        bytes.replace(0, std::to_string(i).size(), std::to_string(i));
        if (!writeBytes(pictures.back(), bytes)) return 1;
    }
    std::printf("picture + relationship added to a package, %d additions (median of the ten ending at n)\n", count);
    int status = 0;
    // A second argument "own" or "one" runs only that case.
    const std::string only = argc > 2 ? argv[2] : "";
    for (int slides : {count, 1}) {
        if ((only == "own" && slides == 1) || (only == "one" && slides != 1)) continue;
        double closing = 0;
        const std::vector<double> costs = run(dir + "/package.pptx", pictures, slides, &closing);
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
        std::printf("  closing the package: %.1f ms\n", closing * 1e3);
    }
    if (system(("rm -rf " + dir).c_str()) != 0) status = 1;
    return status;
}
