#pragma once
// kiv::Image: a reference-counted 8-bit RGB image, rows top to bottom.
#include "host/core/KivRefCountedObject.h"
#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

namespace kiv {

class Image : public RefCountedObject {
public:
    Image() = default;
    Image(unsigned int width, unsigned int height);  // black image
    Image(unsigned int width, unsigned int height, const unsigned char* rgb);

    // Decodes the pixels from the source JPEG into a new image.
    using Decoder = bool (*)(const std::vector<unsigned char>& jpeg, unsigned int width, unsigned int height,
                             std::vector<unsigned char>* rgb);

    unsigned int width() const { return m_width; }
    unsigned int height() const { return m_height; }
    size_t byteCount() const { return static_cast<size_t>(m_width) * m_height * 3; }  // 0 means empty
    // The pixels; an image made by setDeferredJpeg() decodes them here, once.
    const unsigned char* data() const;
    // Writable pixels; the source JPEG below no longer matches them afterwards.
    unsigned char* data();
    // Takes width*height*3 bytes; false (and unchanged) when the sizes disagree.
    bool setData(unsigned int width, unsigned int height, std::vector<unsigned char> rgb);
    void clear();

    // The JPEG bytes these pixels were decoded from, while the pixels are unchanged
    // (null otherwise). Writers store them as they are instead of encoding again, so
    // loading and saving a repository repeatedly does not degrade its pictures.
    const std::vector<unsigned char>* sourceJpeg() const { return m_sourceJpeg.get(); }
    void setSourceJpeg(std::vector<unsigned char> jpeg);

    // An image of width x height held as its JPEG bytes alone: the pixels are
    // decoded by `decoder` on the first call of data(). The caller has checked
    // that the bytes decode to that size (a repository of many pictures then holds
    // their compressed bytes only). Empty bytes or sizes make an empty image.
    void setDeferredJpeg(unsigned int width, unsigned int height, std::vector<unsigned char> jpeg, Decoder decoder);
    // The same with bytes that several images hold (none of them changes them):
    // a picture shown by many snapshots is kept once.
    void setDeferredJpeg(unsigned int width, unsigned int height, std::shared_ptr<const std::vector<unsigned char>> jpeg,
                         Decoder decoder);
    bool pixelsDecoded() const;

    Image(const Image& other);
    Image& operator=(const Image& other);

private:
    void decode() const;

    unsigned int m_width = 0;
    unsigned int m_height = 0;
    mutable std::vector<unsigned char> m_rgb;
    std::shared_ptr<const std::vector<unsigned char>> m_sourceJpeg;
    mutable Decoder m_decoder = nullptr;  // set while the pixels are not decoded yet
    mutable std::mutex m_decoding;
};

}  // namespace kiv
