#pragma once
// kiv::Image: a reference-counted 8-bit RGB image, rows top to bottom.
#include "host/core/KivRefCountedObject.h"
#include <cstddef>
#include <vector>

namespace kiv {

class Image : public RefCountedObject {
public:
    Image() = default;
    Image(unsigned int width, unsigned int height);  // black image
    Image(unsigned int width, unsigned int height, const unsigned char* rgb);

    unsigned int width() const { return m_width; }
    unsigned int height() const { return m_height; }
    size_t byteCount() const { return m_rgb.size(); }  // 0 means empty
    const unsigned char* data() const { return m_rgb.data(); }
    unsigned char* data() { return m_rgb.data(); }
    // Takes width*height*3 bytes; false (and unchanged) when the sizes disagree.
    bool setData(unsigned int width, unsigned int height, std::vector<unsigned char> rgb);
    void clear();

private:
    unsigned int m_width = 0;
    unsigned int m_height = 0;
    std::vector<unsigned char> m_rgb;
};

} // namespace kiv
