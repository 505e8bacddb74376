#pragma once
// Where the host's wide strings (the public kiv::Str, the grid library's
// MkString) meet the UTF-8 std::string text the library works
// in. Conversions happen here and nowhere else, so they keep one rule: a
// character UTF-8 cannot carry becomes U+FFFD, and so does a byte that is not
// UTF-8; text ends at a first NUL, as the C-string conversions read it.
#include "host/ug/MkString.h"
#include "LibCore/lfwUtf8.h"
#include "host/core/KivStr.h"
#include <cwchar>
#include <string>

namespace kiv {
namespace rep {

inline std::string toUtf8(const wchar_t* chars) {
    return lfw::utf8::encode(chars, std::wcslen(chars), lfw::utf8::Invalid::Replace);
}
inline std::string toUtf8(const Str& text) { return toUtf8(text.c_str()); }

inline std::wstring toWide(const std::string& text) {
    const size_t end = text.find('\0');
    return lfw::utf8::decode(text.data(), end == std::string::npos ? text.size() : end, lfw::utf8::Invalid::Replace);
}
inline MkString toMk(const std::string& text) { return MkString(toWide(text)); }
inline Str toStr(const std::string& text) { return Str(toWide(text)); }

}  // namespace rep
}  // namespace kiv
