// Saving and loading a repository of 500 image snapshots of 640 x 480, against
// encoding and decoding the same images with the JPEG coder alone. The repository
// file adds zip entries, the index and image conversions on top of the coding, so
// the ratios show what that costs; the aim is at most 1.3.
#include "KivReport/Repository.h"
#include "KivReport/Snapshot.h"
#include "LibCore/lfwLogManager.h"
#include "host/core/KivImage.h"
#include "host/ug/MdlxImageJpeg.h"
#include "host/ug/UgConvert.h"

#include <algorithm>
#include "BenchTimer.h"
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

const int kImages = 500;
const unsigned kWidth = 640;
const unsigned kHeight = 480;
const int kRounds = 5;

// A smooth picture like a rendered view: gradients, a soft disc and a little noise.
kiv::PtrRef<kiv::Image> syntheticImage(int index) {
    kiv::PtrRef<kiv::Image> image = new kiv::Image(kWidth, kHeight);
    unsigned char* p = image->data();
    unsigned seed = 2166136261u ^ static_cast<unsigned>(index);
    const double cx = 320 + 200 * std::sin(index * 0.1), cy = 240 + 150 * std::cos(index * 0.13);
    for (unsigned y = 0; y < kHeight; ++y)
        for (unsigned x = 0; x < kWidth; ++x, p += 3) {
            seed = seed * 1664525u + 1013904223u;
            const int noise = static_cast<int>((seed >> 24) % 9) - 4;
            const double d = std::hypot(x - cx, y - cy);
            const double disc = d < 120 ? 80 * (1 - d / 120) : 0;
            p[0] = static_cast<unsigned char>(std::clamp(static_cast<int>(x * 200 / kWidth + disc) + noise, 0, 255));
            p[1] = static_cast<unsigned char>(std::clamp(static_cast<int>(y * 200 / kHeight + disc / 2) + noise, 0, 255));
            p[2] = static_cast<unsigned char>(std::clamp(static_cast<int>(160 - disc) + noise, 0, 255));
        }
    return image;
}

}  // namespace

int main() {
    lfw::LogManager::instance()->setLevelRecursive("", 1);
    std::vector<kiv::PtrRef<kiv::Image>> images;
    std::vector<MkRGBImage> rgb(kImages);
    kiv::PtrRef<kiv::rep::Repository> repo = new kiv::rep::Repository;
    for (int i = 0; i < kImages; ++i) {
        images.push_back(syntheticImage(i));
        kiv::ug::Convert::toMkRGBImage(images.back().p(), &rgb[static_cast<size_t>(i)]);
        kiv::PtrRef<kiv::rep::Snapshot> s = new kiv::rep::Snapshot(kiv::rep::Snapshot::IMAGE);
        s->setName(kiv::Str("image" + std::to_string(i)));
        s->setTitle("A view");
        s->setFieldValues({{"DATABASE_NAME", "model.db"}, {"FRAME_INDEX", kiv::Str::number(i)}});
        s->setImage(images.back().p());
        repo->addSnapshot(s.p());
    }
    const char* tmp = std::getenv("TMPDIR");
    const std::string path = std::string(tmp && *tmp ? tmp : "/tmp") + "/bench_repository_" + std::to_string(::getpid()) + ".zip";

    // The four measurements take turns, and each keeps its best round, so that
    // other load on the machine weighs on all of them alike.
    std::vector<std::vector<unsigned char>> jpegs(kImages);
    double encode = 1e9, decode = 1e9, save = 1e9, load = 1e9;
    bool ok = true;
    size_t loaded = 0;
    for (int round = 0; round < kRounds; ++round) {
        encode = std::min(encode, seconds([&] {
                              for (int i = 0; i < kImages; ++i)
                                  MdlxImageJpeg::saveImageToMemory(rgb[static_cast<size_t>(i)], &jpegs[static_cast<size_t>(i)]);
                          }));
        save = std::min(save, seconds([&] { ok = repo->saveRepository(path) && ok; }));
        decode = std::min(decode, seconds([&] {
                              // Each decoded image is kept, as loading keeps them.
                              std::vector<MkRGBImage> out(kImages);
                              for (int i = 0; i < kImages; ++i)
                                  MdlxImageJpeg::loadImageFromMemory(jpegs[static_cast<size_t>(i)], &out[static_cast<size_t>(i)]);
                          }));
        load = std::min(load, seconds([&] {
                            kiv::PtrRef<kiv::rep::Repository> back = new kiv::rep::Repository;
                            ok = back->loadRepository(path) && ok;
                            loaded = back->snapshotCount();
                        }));
    }
    size_t jpegBytes = 0;
    for (const auto& j : jpegs) jpegBytes += j.size();
    std::remove(path.c_str());
    if (!ok || loaded != static_cast<size_t>(kImages)) {
        std::printf("FAILED: save/load did not work (loaded %zu snapshots)\n", loaded);
        return 1;
    }

    std::printf("%d images of %ux%u, %.1f MB of JPEG, best of %d rounds\n", kImages, kWidth, kHeight, jpegBytes / 1048576.0,
                kRounds);
    std::printf("JPEG encode alone     %8.3f s\n", encode);
    std::printf("saveRepository        %8.3f s   ratio %.2f\n", save, save / encode);
    std::printf("JPEG decode alone     %8.3f s\n", decode);
    std::printf("loadRepository        %8.3f s   ratio %.2f\n", load, load / decode);
    return 0;
}
