#pragma once
// kiv::Image: a reference-counted 8-bit RGB image, rows top to bottom.
#include "host/core/KivRefCountedObject.h"
#include <cstddef>
#include <memory>
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
    // Writable pixels; the source JPEG below no longer matches them afterwards.
    unsigned char* data() { m_sourceJpeg.reset(); return m_rgb.data(); }
    // Takes width*height*3 bytes; false (and unchanged) when the sizes disagree.
    bool setData(unsigned int width, unsigned int height, std::vector<unsigned char> rgb);
    void clear();

    // The JPEG bytes these pixels were decoded from, while the pixels are unchanged
    // (null otherwise). Writers store them as they are instead of encoding again, so
    // loading and saving a repository repeatedly does not degrade its pictures.
    const std::vector<unsigned char>* sourceJpeg() const { return m_sourceJpeg.get(); }
    void setSourceJpeg(std::vector<unsigned char> jpeg);

private:
    unsigned int m_width = 0;
    unsigned int m_height = 0;
    std::vector<unsigned char> m_rgb;
    std::shared_ptr<const std::vector<unsigned char>> m_sourceJpeg;
};

} // namespace kiv
