#include "host/ug/MkRGBImage.h"
#include <climits>
#include <cstddef>
#include <new>

bool MkRGBImage::SetSize(int width, int height) {
    if (width < 0 || height < 0 || width > 65535 || height > 65535) return false;
    const long long bytes = static_cast<long long>(width) * height * 3;
    if (bytes > INT_MAX) return false;  // GetNumImageBytes() must stay exact
    if (bytes == 0) {
        Clear();
        return true;
    }
    try {
        std::vector<unsigned char> rgb(static_cast<size_t>(bytes), 0);
        m_rgb.swap(rgb);
    } catch (const std::bad_alloc&) {
        return false;
    }
    m_width = width;
    m_height = height;
    return true;
}
