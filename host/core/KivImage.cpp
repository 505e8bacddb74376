#include "host/core/KivImage.h"

namespace kiv {

Image::Image(unsigned int width, unsigned int height)
    : m_width(width), m_height(height), m_rgb(static_cast<size_t>(width) * height * 3, 0) {
    if (m_rgb.empty()) m_width = m_height = 0;
}

Image::Image(unsigned int width, unsigned int height, const unsigned char* rgb) : Image(width, height) {
    if (rgb && !m_rgb.empty()) m_rgb.assign(rgb, rgb + m_rgb.size());
}

Image::Image(const Image& other) : RefCountedObject(other) { *this = other; }

Image& Image::operator=(const Image& other) {
    if (this == &other) return *this;
    std::scoped_lock lock(m_decoding, other.m_decoding);
    m_width = other.m_width;
    m_height = other.m_height;
    m_rgb = other.m_rgb;
    m_sourceJpeg = other.m_sourceJpeg;
    m_decoder = other.m_decoder;
    return *this;
}

void Image::decode() const {
    std::lock_guard<std::mutex> lock(m_decoding);
    if (!m_decoder) return;
    std::vector<unsigned char> rgb;
    const size_t bytes = static_cast<size_t>(m_width) * m_height * 3;
    // The bytes were checked when the image was made; should the decoder fail
    // after all, the image stays of its size (black) rather than shrink under
    // callers that already read the size.
    if (!m_decoder(*m_sourceJpeg, m_width, m_height, &rgb) || rgb.size() != bytes) rgb.assign(bytes, 0);
    m_rgb = std::move(rgb);
    m_decoder = nullptr;
}

const unsigned char* Image::data() const {
    decode();
    return m_rgb.data();
}

unsigned char* Image::data() {
    decode();
    m_sourceJpeg.reset();
    return m_rgb.data();
}

bool Image::pixelsDecoded() const {
    std::lock_guard<std::mutex> lock(m_decoding);
    return !m_decoder;
}

void Image::setDeferredJpeg(unsigned int width, unsigned int height, std::vector<unsigned char> jpeg, Decoder decoder) {
    setDeferredJpeg(width, height, std::make_shared<const std::vector<unsigned char>>(std::move(jpeg)), decoder);
}

void Image::setDeferredJpeg(unsigned int width, unsigned int height, std::shared_ptr<const std::vector<unsigned char>> jpeg,
                            Decoder decoder) {
    clear();
    if (!jpeg || jpeg->empty() || !decoder || static_cast<size_t>(width) * height == 0) return;
    m_width = width;
    m_height = height;
    m_sourceJpeg = std::move(jpeg);
    m_decoder = decoder;
}

bool Image::setData(unsigned int width, unsigned int height, std::vector<unsigned char> rgb) {
    if (rgb.size() != static_cast<size_t>(width) * height * 3) return false;
    m_width = rgb.empty() ? 0 : width;
    m_height = rgb.empty() ? 0 : height;
    m_rgb = std::move(rgb);
    m_sourceJpeg.reset();
    m_decoder = nullptr;
    return true;
}

void Image::clear() {
    m_width = m_height = 0;
    m_rgb.clear();
    m_sourceJpeg.reset();
    m_decoder = nullptr;
}

void Image::setSourceJpeg(std::vector<unsigned char> jpeg) {
    if (jpeg.empty() || byteCount() == 0) m_sourceJpeg.reset();
    else m_sourceJpeg = std::make_shared<const std::vector<unsigned char>>(std::move(jpeg));
}

}  // namespace kiv
