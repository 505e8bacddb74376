#include "tools/kivreport/ImageFiles.h"
#include "host/core/KivImage.h"
#include "host/ug/MdlxImageJpeg.h"
#include "host/ug/UgConvert.h"

#include <cstring>
#include <png.h>

namespace kivcli {

namespace {
const png_uint_32 kMaxSide = 65535;
const unsigned long long kMaxPixels = 1ull << 28;
}  // namespace

bool isPng(const std::vector<unsigned char>& bytes) {
    static const unsigned char signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    return bytes.size() >= 8 && std::memcmp(bytes.data(), signature, 8) == 0;
}

bool isJpeg(const std::vector<unsigned char>& bytes) {
    return bytes.size() >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF;
}

bool decodePng(const std::vector<unsigned char>& bytes, kiv::Image* image, std::string* error) {
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&png, bytes.data(), bytes.size())) {
        *error = std::string("not a readable PNG image (") + png.message + ")";
        png_image_free(&png);
        return false;
    }
    if (png.width == 0 || png.height == 0 || png.width > kMaxSide || png.height > kMaxSide ||
        static_cast<unsigned long long>(png.width) * png.height > kMaxPixels) {
        *error = "PNG image of " + std::to_string(png.width) + " x " + std::to_string(png.height) + " pixels is too large";
        png_image_free(&png);
        return false;
    }
    png.format = PNG_FORMAT_RGB;
    std::vector<unsigned char> rgb(PNG_IMAGE_SIZE(png));
    const png_color white = {255, 255, 255};
    if (!png_image_finish_read(&png, &white, rgb.data(), 0, nullptr)) {
        *error = std::string("not a readable PNG image (") + png.message + ")";
        png_image_free(&png);
        return false;
    }
    const unsigned int width = png.width, height = png.height;
    png_image_free(&png);
    if (!image->setData(width, height, std::move(rgb))) {
        *error = "PNG image could not be stored";
        return false;
    }
    return true;
}

bool decodeJpeg(std::vector<unsigned char> bytes, kiv::Image* image, std::string* error) {
    MkRGBImage rgb;
    if (!MdlxImageJpeg::loadImageFromMemory(bytes, &rgb) || rgb.GetNumImageBytes() == 0 ||
        !kiv::ug::Convert::toImage(rgb, image)) {
        *error = "not a readable JPEG image";
        return false;
    }
    image->setSourceJpeg(std::move(bytes));
    return true;
}

bool jpegBytesOf(const kiv::Image& image, std::vector<unsigned char>* jpeg) {
    if (image.byteCount() == 0) return false;
    if (const std::vector<unsigned char>* source = image.sourceJpeg()) {
        *jpeg = *source;
        return true;
    }
    MkRGBImage rgb;
    return kiv::ug::Convert::toMkRGBImage(&image, &rgb) && MdlxImageJpeg::saveImageToMemory(rgb, jpeg);
}

}  // namespace kivcli
