#pragma once
// JPEG coding of RGB images (libjpeg-turbo).
#include "host/ug/MkRGBImage.h"
#include <cstddef>
#include <cstdint>
#include <vector>

class MdlxImageJpeg {
public:
    static const int DEFAULT_QUALITY = 90;
    // Encodes an RGB image; false (jpeg unchanged) for an empty or inconsistent image
    // or an encoder error. The quality is clamped to 1..100.
    static bool saveImageToMemory(const MkRGBImage& image, std::vector<unsigned char>* jpeg, int quality = DEFAULT_QUALITY);
    // Decodes to RGB (grey and CMYK pictures are converted); false, with the image
    // cleared, for bytes that are not a complete readable JPEG or for a picture
    // above 65535 pixels a side or 2^28 pixels in all.
    static bool loadImageFromMemory(const std::vector<unsigned char>& jpeg, MkRGBImage* image);
    static bool loadImageFromMemory(const unsigned char* jpeg, size_t size, MkRGBImage* image);
    // The same, also failing before any pixel is decoded when the decode would take
    // more than maxMemory bytes (0: no limit beyond the ones above). Pictures of
    // more than 100 scans fail in every case.
    static bool loadImageFromMemory(const unsigned char* jpeg, size_t size, MkRGBImage* image, uint64_t maxMemory);
    // Whether the picture decodes (within maxMemory bytes as above): the whole
    // stream is read as a decode reads it, every scan of it, but the pixels are
    // made at an eighth of the size, in a fraction of the time.
    static bool checkDecodes(const unsigned char* jpeg, size_t size, uint64_t maxMemory);
    // Bytes a decode takes at its peak (the RGB pixels and the decoder's buffers),
    // read from the header, and the picture's size; 0 when there is no readable header.
    static uint64_t decodeMemory(const unsigned char* jpeg, size_t size, unsigned* width = nullptr, unsigned* height = nullptr);
};
