#pragma once
// 8-bit RGB image of the unstructured-grid library, rows top to bottom.
#include <vector>

class MkRGBImage {
public:
    MkRGBImage() = default;
    MkRGBImage(int width, int height) { SetSize(width, height); }

    int GetWidth() const { return m_width; }
    int GetHeight() const { return m_height; }
    int GetNumImageBytes() const { return static_cast<int>(m_rgb.size()); }  // 0 when empty
    unsigned char* GetData() { return m_rgb.data(); }
    const unsigned char* GetData() const { return m_rgb.data(); }
    std::vector<unsigned char>& Bytes() { return m_rgb; }
    const std::vector<unsigned char>& Bytes() const { return m_rgb; }

    // Black image of that size (0 in either direction: empty); false, and unchanged,
    // for a negative size, one above 65535 x 65535 or more than INT_MAX bytes.
    bool SetSize(int width, int height);
    void Clear() {
        m_width = m_height = 0;
        m_rgb.clear();
    }

private:
    int m_width = 0;
    int m_height = 0;
    std::vector<unsigned char> m_rgb;
};
