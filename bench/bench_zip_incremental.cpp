// Cost of one small edit on a large archive: open for change, replace a 10 KB
// entry, close. The cost should follow the bytes changed plus the directory, not
// the archive size, so the 50 MB : 5 MB ratio should stay near 1.
#include "host/ug/ZipArchive.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

std::vector<unsigned char> randomBytes(std::mt19937& rng, size_t n) {
    std::vector<unsigned char> v(n);
    for (auto& b : v) b = static_cast<unsigned char>(rng());
    return v;
}

std::string makeArchive(const std::string& path, size_t megabytes, std::mt19937& rng) {
    CZipArchive zip;
    zip.Open(path, CZipArchive::zipCreate);
    const size_t entrySize = 100 * 1024;
    size_t count = megabytes * 1024 * 1024 / entrySize;
    for (size_t i = 0; i < count; ++i) {
        auto data = randomBytes(rng, entrySize);
        zip.AddNewFile(data.data(), data.size(), "data/part" + std::to_string(i) + ".bin");
    }
    auto small = randomBytes(rng, 10 * 1024);
    zip.AddNewFile(small.data(), small.size(), "small.bin");
    zip.Close();
    return path;
}

struct Timing {
    double mean = 0, median = 0;  // seconds per cycle
};

// Times `cycles` replace-and-close edits; `middle` picks a 100 KB entry in the
// middle of the archive (its space becomes garbage) instead of the small last
// one (its space is reused). The median resists hiccups of a shared machine.
Timing runCycles(const std::string& path, int cycles, bool middle, std::mt19937& rng) {
    auto payload = randomBytes(rng, 10 * 1024);
    std::vector<double> times;
    for (int c = 0; c < cycles; ++c) {
        auto start = std::chrono::steady_clock::now();
        CZipArchive zip;
        zip.Open(path, CZipArchive::zipOpen);
        std::string name = middle ? "data/part" + std::to_string(c % 20) + ".bin" : "small.bin";
        int idx = zip.FindFile(name);
        if (idx >= 0) zip.RemoveFile(idx);
        payload[0] = static_cast<unsigned char>(c);
        zip.AddNewFile(payload.data(), payload.size(), name);
        zip.Close();
        std::chrono::duration<double> d = std::chrono::steady_clock::now() - start;
        times.push_back(d.count());
    }
    Timing t;
    for (double x : times) t.mean += x / cycles;
    std::sort(times.begin(), times.end());
    t.median = times[times.size() / 2];
    return t;
}

}  // namespace

int main(int argc, char** argv) {
    const int cycles = argc > 1 ? std::atoi(argv[1]) : 100;
    std::string dir = "/tmp/kiv_bench_zip_" + std::to_string(getpid());
    std::string small = dir + "_5.zip", large = dir + "_50.zip";
    std::mt19937 rng(42);
    try {
        makeArchive(small, 5, rng);
        makeArchive(large, 50, rng);
        // Let the kernel write the fresh archives out first: rewriting pages that are
        // still under writeback waits for the disk, which would time the disk, not us.
        ::sync();
        std::printf("open, replace a 10 KB entry, close: %d cycles each\n", cycles);
        for (bool middle : {false, true}) {
            Timing t5 = runCycles(small, cycles, middle, rng);
            Timing t50 = runCycles(large, cycles, middle, rng);
            std::printf(
                "%s\n  5 MB: median %7.1f us, mean %7.1f us   50 MB: median %7.1f us, mean %7.1f us"
                "   ratio 50:5 (median) = %.2f\n",
                middle ? "replace an entry in the middle (garbage grows)" : "replace the last entry (space reused)",
                t5.median * 1e6, t5.mean * 1e6, t50.median * 1e6, t50.mean * 1e6, t50.median / t5.median);
        }
    } catch (const CZipException& e) {
        std::fprintf(stderr, "zip error: %s\n", e.what());
        std::remove(small.c_str());
        std::remove(large.c_str());
        return 1;
    }
    std::remove(small.c_str());
    std::remove(large.c_str());
    return 0;
}
