#include "impl/openxml/MkOpenXMLPaths.h"
#include "impl/storage/MkOXmlDocument.h"
#include <string>
#include <vector>

namespace MkOpenXMLPaths {

MkString ToInternal(const MkString& path) {
    MkString out(path);
    for (wchar_t& c : out.Std())
        if (c == L'/') c = L'\\';
    return out;
}

MkString ToSlash(const MkString& path) {
    MkString out(path);
    for (wchar_t& c : out.Std())
        if (c == L'\\') c = L'/';
    return out;
}

namespace {
int hexValue(wchar_t c) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    return -1;
}
} // namespace

MkString PercentDecode(const MkString& text) {
    const std::wstring& s = text.Std();
    if (s.find(L'%') == std::wstring::npos) return text;
    // Decode to bytes (other characters as their UTF-8), then back from UTF-8.
    std::string bytes;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == L'%' && i + 2 < s.size()) {
            const int hi = hexValue(s[i + 1]);
            const int lo = hexValue(s[i + 2]);
            if (hi >= 0 && lo >= 0 && (hi | lo) != 0) {
                bytes += static_cast<char>(hi * 16 + lo);
                i += 2;
                continue;
            }
        }
        bytes += MkXmlToUtf8(MkString(s[i]));
    }
    return MkStringFromUTF8(bytes.c_str(), static_cast<int>(bytes.size()) + 1);
}

MkString ResolvePartTarget(const MkString& sourcePart, const MkString& target) {
    std::wstring t = ToSlash(PercentDecode(target)).Std();
    const size_t hash = t.find(L'#');
    if (hash != std::wstring::npos) t.erase(hash);
    if (t.empty()) return MkString();
    // A scheme ("http:", "file:") makes an external reference, never a part.
    const size_t colon = t.find(L':');
    if (colon != std::wstring::npos && t.find(L'/') > colon) return MkString();

    std::vector<std::wstring> segments;
    if (t[0] != L'/') {
        const std::wstring source = ToSlash(sourcePart).Std();
        const size_t slash = source.rfind(L'/');
        if (slash != std::wstring::npos) {
            size_t start = 0;
            while (start < slash) {
                size_t end = source.find(L'/', start);
                if (end == std::wstring::npos || end > slash) end = slash;
                if (end > start) segments.push_back(source.substr(start, end - start));
                start = end + 1;
            }
        }
    }
    size_t start = 0;
    while (start <= t.size()) {
        size_t end = t.find(L'/', start);
        if (end == std::wstring::npos) end = t.size();
        const std::wstring seg = t.substr(start, end - start);
        if (seg == L"..") {
            if (segments.empty()) return MkString();  // leaves the package
            segments.pop_back();
        } else if (!seg.empty() && seg != L".") {
            segments.push_back(seg);
        }
        start = end + 1;
    }
    if (segments.empty()) return MkString();
    std::wstring out;
    for (size_t i = 0; i < segments.size(); ++i) {
        if (i) out += L'\\';
        out += segments[i];
    }
    return MkString(std::move(out));
}

} // namespace MkOpenXMLPaths
