#pragma once
// Decoding of the picture files a manifest names.
#include <string>
#include <vector>

namespace kiv {
class Image;
}

namespace kivcli {

bool isPng(const std::vector<unsigned char>& bytes);
bool isJpeg(const std::vector<unsigned char>& bytes);

// Decodes PNG bytes (any colour type and depth) to 8-bit RGB; transparency is
// laid over white, the colour of the report page. Pictures above 65535 pixels a
// side or 2^28 pixels in all are refused, as the JPEG decoder does. On failure
// returns false with a one-line reason in *error.
bool decodePng(const std::vector<unsigned char>& bytes, kiv::Image* image, std::string* error);

// Decodes JPEG bytes and keeps them with the image, so that the repository file
// stores them as they are and an export gives back the same file.
bool decodeJpeg(std::vector<unsigned char> bytes, kiv::Image* image, std::string* error);

// The image as JPEG bytes: the ones it was decoded from while it has them, a
// fresh encoding otherwise. False for an empty image.
bool jpegBytesOf(const kiv::Image& image, std::vector<unsigned char>* jpeg);

}  // namespace kivcli
