#include "impl/openxml/OpenXMLPaths.h"
#include "impl/storage/XmlDocument.h"
#include <string>
#include <vector>

namespace kiv {
namespace rep {

namespace OpenXMLPaths {

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
}  // namespace

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
        bytes += XmlToUtf8(MkString(s[i]));
    }
    return MkStringFromUTF8(bytes.c_str(), static_cast<int>(bytes.size()) + 1);
}

MkString ResolvePartName(const MkString& sourcePart, const MkString& target) {
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
        if (i) out += L'/';
        out += segments[i];
    }
    return MkString(std::move(out));
}

MkString PartName(const MkString& path) {
    MkString name = ToSlash(path);
    size_t skip = 0;
    while (skip < name.Std().size() && name.Std()[skip] == L'/') ++skip;
    if (skip) name.Std().erase(0, skip);
    return name;
}

MkString RelativeTarget(const MkString& sourcePart, const MkString& partName) {
    const std::wstring source = PartName(sourcePart).Std();
    const std::wstring part = PartName(partName).Std();
    // Folders the two share, then one ".." per folder of the source below them.
    const size_t sourceDir = source.rfind(L'/');
    size_t common = 0;
    for (size_t i = 0; sourceDir != std::wstring::npos && i <= sourceDir && i < part.size() && source[i] == part[i]; ++i)
        if (source[i] == L'/') common = i + 1;
    std::wstring rel;
    if (sourceDir != std::wstring::npos)
        for (size_t i = common; i <= sourceDir; ++i)
            if (source[i] == L'/') rel += L"../";
    static const wchar_t* const hex = L"0123456789ABCDEF";
    for (size_t i = common; i < part.size(); ++i) {
        const wchar_t c = part[i];
        if (c == L'%' || c == L'#' || c <= L' ' || c == 0x7f) {
            rel += L'%';
            rel += hex[(c >> 4) & 15];
            rel += hex[c & 15];
        } else {
            rel += c;
        }
    }
    return MkString(std::move(rel));
}

MkString RelsPartName(const MkString& partName) {
    const std::wstring part = PartName(partName).Std();
    const size_t slash = part.rfind(L'/');
    if (slash == std::wstring::npos) return MkString(L"_rels/" + part + L".rels");
    return MkString(part.substr(0, slash + 1) + L"_rels/" + part.substr(slash + 1) + L".rels");
}

bool RelsSourceName(const MkString& relsPart, MkString* partName) {
    const std::wstring rels = PartName(relsPart).Std();
    const std::wstring suffix = L".rels";
    if (rels.size() < suffix.size() || rels.compare(rels.size() - suffix.size(), suffix.size(), suffix) != 0) return false;
    const size_t slash = rels.rfind(L'/');
    const size_t folderStart = (slash == std::wstring::npos || slash == 0) ? std::wstring::npos : rels.rfind(L'/', slash - 1);
    const size_t nameStart = folderStart == std::wstring::npos ? 0 : folderStart + 1;
    if (slash == std::wstring::npos || slash == 0 || rels.compare(nameStart, slash - nameStart, L"_rels") != 0) return false;
    if (partName)
        *partName = MkString(rels.substr(0, nameStart) + rels.substr(slash + 1, rels.size() - suffix.size() - slash - 1));
    return true;
}

}  // namespace OpenXMLPaths

}  // namespace rep
}  // namespace kiv
