#pragma once
// JPEG coding of RGB images (libjpeg-turbo).
#include "host/ug/MkRGBImage.h"
#include <cstddef>
#include <vector>

class MdlxImageJpeg {
public:
    static const int DEFAULT_QUALITY = 90;
    // Encodes an RGB image; false for an empty image or an encoder error.
    static bool saveImageToMemory(const MkRGBImage& image, std::vector<unsigned char>* jpeg, int quality = DEFAULT_QUALITY);
    // Decodes to RGB; false (image cleared) for bytes that are not a readable JPEG.
    static bool loadImageFromMemory(const std::vector<unsigned char>& jpeg, MkRGBImage* image);
    static bool loadImageFromMemory(const unsigned char* jpeg, size_t size, MkRGBImage* image);
};
