#include "host/core/KivImage.h"

namespace kiv {

Image::Image(unsigned int width, unsigned int height)
    : m_width(width), m_height(height), m_rgb(static_cast<size_t>(width) * height * 3, 0) {
    if (m_rgb.empty()) m_width = m_height = 0;
}

Image::Image(unsigned int width, unsigned int height, const unsigned char* rgb) : Image(width, height) {
    if (rgb && !m_rgb.empty()) m_rgb.assign(rgb, rgb + m_rgb.size());
}

bool Image::setData(unsigned int width, unsigned int height, std::vector<unsigned char> rgb) {
    if (rgb.size() != static_cast<size_t>(width) * height * 3) return false;
    m_width = rgb.empty() ? 0 : width;
    m_height = rgb.empty() ? 0 : height;
    m_rgb = std::move(rgb);
    m_sourceJpeg.reset();
    return true;
}

void Image::clear() {
    m_width = m_height = 0;
    m_rgb.clear();
    m_sourceJpeg.reset();
}

void Image::setSourceJpeg(std::vector<unsigned char> jpeg) {
    if (jpeg.empty() || m_rgb.empty())
        m_sourceJpeg.reset();
    else
        m_sourceJpeg = std::make_shared<const std::vector<unsigned char>>(std::move(jpeg));
}

} // namespace kiv
