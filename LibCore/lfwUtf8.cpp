#include "LibCore/lfwUtf8.h"
#include <cstdint>

namespace lfw {
namespace utf8 {

namespace {
const wchar_t kReplacement = 0xFFFD;

void appendInvalid(std::wstring& out, unsigned char byte, Invalid mode) {
    out += (mode == Invalid::Escape) ? static_cast<wchar_t>(0xDC00 + byte) : kReplacement;
}

void appendCodePoint(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}
}  // namespace

std::wstring decode(const char* bytes, size_t len, Invalid mode) {
    std::wstring out;
    if (!bytes) return out;
    out.reserve(len);
    const unsigned char* s = reinterpret_cast<const unsigned char*>(bytes);
    size_t i = 0;
    while (i < len) {
        unsigned char c = s[i];
        if (c < 0x80) {
            // A run of ASCII goes over in one step: most text in documents is ASCII.
            size_t end = i + 1;
            while (end < len && s[end] < 0x80) ++end;
            // Widened in place (an append of the byte range would make a wide copy first).
            const size_t at = out.size();
            out.resize(at + (end - i));
            for (size_t k = i; k < end; ++k) out[at + (k - i)] = static_cast<wchar_t>(s[k]);
            i = end;
            continue;
        }
        size_t need;
        uint32_t cp;
        uint32_t minimum;
        if (c >= 0xC2 && c <= 0xDF) {
            need = 1;
            cp = c & 0x1F;
            minimum = 0x80;
        } else if (c >= 0xE0 && c <= 0xEF) {
            need = 2;
            cp = c & 0x0F;
            minimum = 0x800;
        } else if (c >= 0xF0 && c <= 0xF4) {
            need = 3;
            cp = c & 0x07;
            minimum = 0x10000;
        } else {
            appendInvalid(out, c, mode);
            ++i;
            continue;
        }
        if (len - i <= need) {  // truncated sequence at the end of the buffer
            appendInvalid(out, c, mode);
            ++i;
            continue;
        }
        bool good = true;
        for (size_t k = 1; k <= need; ++k) {
            unsigned char t = s[i + k];
            if ((t & 0xC0) != 0x80) {
                good = false;
                break;
            }
            cp = (cp << 6) | (t & 0x3F);
        }
        if (!good || cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            appendInvalid(out, c, mode);
            ++i;
            continue;
        }
        out += static_cast<wchar_t>(cp);
        i += need + 1;
    }
    return out;
}

std::string encode(const wchar_t* text, size_t len, Invalid mode, bool* ok) {
    std::string out;
    if (ok) *ok = true;
    if (!text) return out;
    out.reserve(len);
    for (size_t i = 0; i < len; ++i) {
        if (static_cast<uint32_t>(text[i]) < 0x80) {
            size_t end = i + 1;
            while (end < len && static_cast<uint32_t>(text[end]) < 0x80) ++end;
            const size_t at = out.size();
            out.resize(at + (end - i));
            for (size_t k = i; k < end; ++k) out[at + (k - i)] = static_cast<char>(text[k]);
            i = end - 1;
            continue;
        }
        uint32_t cp = static_cast<uint32_t>(text[i]);
        if (mode == Invalid::Escape && cp >= 0xDC80 && cp <= 0xDCFF) {
            out += static_cast<char>(cp - 0xDC00);
            continue;
        }
        if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            if (ok) *ok = false;
            cp = kReplacement;
        }
        appendCodePoint(out, cp);
    }
    return out;
}

}  // namespace utf8
}  // namespace lfw
