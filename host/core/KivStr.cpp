#include "host/core/KivStr.h"
#include "LibCore/lfwUtf8.h"
#include <charconv>
#include <cstdio>
#include <cstring>

namespace kiv {

// Narrow text is UTF-8. Bytes that are not valid UTF-8 are kept as escape
// characters so that toStdString() gives back the very same bytes.
Str::Str(const char* utf8)
    : m_s(utf8 ? lfw::utf8::decode(utf8, std::strlen(utf8), lfw::utf8::Invalid::Escape) : std::wstring()) {}

Str::Str(const std::string& utf8) : m_s(lfw::utf8::decode(utf8, lfw::utf8::Invalid::Escape)) {}

std::string Str::toStdString() const { return lfw::utf8::encode(m_s, lfw::utf8::Invalid::Escape); }

Str Str::number(int n) { return Str(std::to_wstring(n)); }
Str Str::number(unsigned int n) { return Str(std::to_wstring(n)); }

Str Str::number(double n, char format, int precision) {
    char buf[128];
    if ((format == 'g' || format == 'G') && precision < 0) {
        auto res = std::to_chars(buf, buf + sizeof buf, n, std::chars_format::general);
        return Str(std::string(buf, res.ptr));
    }
    char fmt[8] = {'%', '.', '*', format, 0};
    std::snprintf(buf, sizeof buf, fmt, precision < 0 ? 6 : precision, n);
    return Str(buf);
}

}  // namespace kiv
