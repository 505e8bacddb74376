// Makes the pictures and model files of the sample repository: colour-fringe
// plots of a plate with a hole under tension and of a cantilever beam, written
// as PNG files, and the two models packed as .mdlx files with a preview.
// Usage: make_sample_images OUT_DIR
#include "host/ug/MdlxFile.h"
#include "host/ug/MkRGBImage.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <png.h>
#include <string>

namespace {

const int W = 640, H = 400;
const double kPi = 3.14159265358979323846;

struct Rgb {
    unsigned char r, g, b;
};

// Blue - cyan - green - yellow - red, cut into 12 bands like a solver's fringe plot.
Rgb fringe(double t) {
    t = std::floor(std::fmin(std::fmax(t, 0.0), 0.9999) * 12.0) / 11.0;
    const double r = std::fmin(std::fmax(std::fmin(4 * t - 1.5, -4 * t + 4.5), 0.0), 1.0);
    const double g = std::fmin(std::fmax(std::fmin(4 * t - 0.5, -4 * t + 3.5), 0.0), 1.0);
    const double b = std::fmin(std::fmax(std::fmin(4 * t + 0.5, -4 * t + 2.5), 0.0), 1.0);
    return {static_cast<unsigned char>(r * 255), static_cast<unsigned char>(g * 255), static_cast<unsigned char>(b * 255)};
}

void put(MkRGBImage& img, int x, int y, Rgb c) {
    if (x < 0 || y < 0 || x >= img.GetWidth() || y >= img.GetHeight()) return;
    unsigned char* p = img.GetData() + (static_cast<size_t>(y) * img.GetWidth() + x) * 3;
    p[0] = c.r, p[1] = c.g, p[2] = c.b;
}

// A white page with the colour legend on the right.
MkRGBImage canvas() {
    MkRGBImage img(W, H);
    std::memset(img.GetData(), 255, img.Bytes().size());
    for (int y = 60; y < 340; ++y)
        for (int x = 590; x < 610; ++x) put(img, x, y, (y - 60) % 23 == 0 ? Rgb{0, 0, 0} : fringe((340.0 - y) / 280.0));
    return img;
}

// Plate 500 x 300 px, hole radius 60 px, tension along x (Kirsch solution);
// field 0: von Mises stress, 1: displacement along x.
MkRGBImage plate(int field) {
    MkRGBImage img = canvas();
    const double cx = 290, cy = 200, a = 60;
    for (int y = 50; y < 350; ++y) {
        for (int x = 40; x < 540; ++x) {
            const double dx = x - cx, dy = cy - y, r = std::hypot(dx, dy), th = std::atan2(dy, dx);
            if (r < a) continue;
            const double q = a * a / (r * r);
            double v;
            if (field == 0) {
                const double srr = 0.5 * (1 - q) + 0.5 * (1 - 4 * q + 3 * q * q) * std::cos(2 * th);
                const double stt = 0.5 * (1 + q) - 0.5 * (1 + 3 * q * q) * std::cos(2 * th);
                const double srt = -0.5 * (1 + 2 * q - 3 * q * q) * std::sin(2 * th);
                v = std::sqrt(srr * srr - srr * stt + stt * stt + 3 * srt * srt) / 3.0;
            } else {
                v = 0.5 + 0.5 * (dx / 250.0) * (1 + 0.6 * q * (1 + std::cos(2 * th)));
            }
            put(img, x, y, fringe(v));
        }
    }
    for (int i = 0; i < 720; ++i)  // outline of the hole
        put(img, static_cast<int>(cx + a * std::cos(i * kPi / 360)), static_cast<int>(cy - a * std::sin(i * kPi / 360)),
            {0, 0, 0});
    return img;
}

// Cantilever 500 px long, clamped on the left, tip load; drawn deflected,
// coloured by bending stress (top fibre in tension).
MkRGBImage beam() {
    MkRGBImage img = canvas();
    const double L = 500, h = 50;
    for (int x = 0; x < L; ++x) {
        const double s = x / L, w = 120 * s * s * (3 - s) / 2;  // tip deflection 120 px
        for (int y = 0; y < h; ++y) {
            const double stress = (1 - s) * (0.5 - y / h) * 2;  // -1 .. 1
            put(img, 50 + x, static_cast<int>(120 + y + w), fringe(0.5 + 0.5 * stress));
        }
    }
    for (int y = 90; y < 200; ++y)
        for (int x = 35; x < 50; ++x) put(img, x, y, (x + y) % 6 < 3 ? Rgb{60, 60, 60} : Rgb{160, 160, 160});
    return img;
}

bool writePng(const std::string& path, const MkRGBImage& img) {
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(img.GetWidth());
    png.height = static_cast<png_uint_32>(img.GetHeight());
    png.format = PNG_FORMAT_RGB;
    if (!png_image_write_to_file(&png, path.c_str(), 0, img.GetData(), 0, nullptr)) {
        std::fprintf(stderr, "make_sample_images: cannot write %s: %s\n", path.c_str(), png.message);
        return false;
    }
    return true;
}

bool writeModel(const std::string& path, const char* caseName, const MkRGBImage& preview, const std::string& data) {
    kiv::ug::MdlxWriter writer;
    kiv::ug::MdlxZipMemFile file;
    if (writer.AddCase(MkString(caseName), preview, data.data(), data.size()) < 0 || !writer.Write(&file) ||
        !file.Save(MkString(path.c_str()))) {
        std::fprintf(stderr, "make_sample_images: cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "Usage: make_sample_images OUT_DIR\n");
        return 2;
    }
    const std::string dir = std::string(argv[1]) + "/";
    const MkRGBImage plateStress = plate(0), beamStress = beam();
    const bool ok =
        writePng(dir + "plate-stress.png", plateStress) && writePng(dir + "plate-displacement.png", plate(1)) &&
        writePng(dir + "beam-stress.png", beamStress) &&
        writeModel(dir + "plate.mdlx", "Tension 100 MPa", plateStress,
                   "plate 200 x 120 x 5 mm, hole 48 mm; 3912 nodes, 1840 quadratic shells\n") &&
        writeModel(dir + "beam.mdlx", "Tip load 2 kN", beamStress, "cantilever 1000 x 100 x 50 mm; 2211 nodes, 400 hexahedra\n");
    return ok ? 0 : 1;
}
