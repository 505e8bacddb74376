#pragma once
// UTF-8 <-> wide (UTF-32 wchar_t) conversion used by every string type.
#include <cstddef>
#include <string>

namespace lfw {
namespace utf8 {

enum class Invalid {
    Replace,  // each invalid byte decodes to U+FFFD
    Escape    // each invalid byte b decodes to U+DC00+b and encodes back to b (lossless)
};

// Decodes `len` bytes; never reads past them. A zero byte is decoded like any other.
std::wstring decode(const char* bytes, size_t len, Invalid mode = Invalid::Replace);
inline std::wstring decode(const std::string& s, Invalid mode = Invalid::Replace) { return decode(s.data(), s.size(), mode); }

// Encodes wide text. Code points that UTF-8 cannot hold (surrogates, values above
// U+10FFFF) make `ok` false and are written as U+FFFD, except escaped bytes
// (U+DC80..U+DCFF) in Escape mode, which are written back as the single byte.
std::string encode(const wchar_t* text, size_t len, Invalid mode = Invalid::Replace, bool* ok = nullptr);
inline std::string encode(const std::wstring& s, Invalid mode = Invalid::Replace, bool* ok = nullptr) {
    return encode(s.data(), s.size(), mode, ok);
}

}  // namespace utf8
}  // namespace lfw
