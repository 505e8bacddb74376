// Slide duplication: one slide holding a picture (and its notes) duplicated into
// 1000 slides. Prints the time per duplication around 100 and around 1000
// slides; the ratio shows whether a duplication costs more as the deck grows.
#include "BenchTimer.h"
#include "impl/pptx/MkOpenXMLPresentation.h"
#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#include <fstream>
#include <string>
#include <vector>

namespace {

bool copyFile(const std::string& from, const std::string& to) {
    std::ifstream in(from, std::ios::binary);
    std::ofstream out(to, std::ios::binary);
    out << in.rdbuf();
    return in.good() && out.good();
}

} // namespace

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
        MkOpenXMLPresentation presentation;
        if (!presentation.Open(MkString(path.c_str()), ZIP_OPEN) || !presentation.CreateSlideContentList()) {
            std::printf("cannot open %s\n", path.c_str());
            return 1;
        }
        int slides = presentation.SlideCount();
        while (slides < total) {
            MkString copy;
            bool ok = false;
            times.push_back(seconds([&] { ok = presentation.DuplicateSlide(L"slide3.xml", copy); }));
            if (!ok) {
                std::printf("duplication %d failed\n", slides);
                return 1;
            }
            ++slides;
        }
        closeTime = seconds([&] { presentation.Close(); });
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
    std::printf("pptx duplication: %.2f ms per slide at 100 slides, %.2f ms at %d slides (ratio %.2f); close %.1f ms\n",
                at100 * 1e3, atTotal * 1e3, total, at100 > 0 ? atTotal / at100 : 0.0, closeTime * 1e3);
    std::remove(path.c_str());
    return 0;
}
