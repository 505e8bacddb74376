#include "impl/openxml/OpenXMLPaths.h"
#include "LibCore/lfwText.h"
#include <vector>

namespace kiv {
namespace rep {

namespace OpenXMLPaths {

std::string toSlash(std::string path) {
    for (char& c : path)
        if (c == '\\') c = '/';
    return path;
}

namespace {
int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}
}  // namespace

std::string percentDecode(const std::string& text) {
    if (text.find('%') == std::string::npos) return text;
    std::string bytes;
    bytes.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            const int hi = hexValue(text[i + 1]);
            const int lo = hexValue(text[i + 2]);
            if (hi >= 0 && lo >= 0 && (hi | lo) != 0) {
                bytes += static_cast<char>(hi * 16 + lo);
                i += 2;
                continue;
            }
        }
        bytes += text[i];
    }
    return lfw::text::validUtf8(bytes);
}

std::string resolvePartName(const std::string& sourcePart, const std::string& target) {
    std::string t = toSlash(percentDecode(target));
    const size_t hash = t.find('#');
    if (hash != std::string::npos) t.erase(hash);
    if (t.empty()) return std::string();
    // A scheme ("http:", "file:") makes an external reference, never a part.
    const size_t colon = t.find(':');
    if (colon != std::string::npos && t.find('/') > colon) return std::string();

    std::vector<std::string> segments;
    if (t[0] != '/') {
        const std::string source = toSlash(sourcePart);
        const size_t slash = source.rfind('/');
        if (slash != std::string::npos) {
            size_t start = 0;
            while (start < slash) {
                size_t end = source.find('/', start);
                if (end == std::string::npos || end > slash) end = slash;
                if (end > start) segments.push_back(source.substr(start, end - start));
                start = end + 1;
            }
        }
    }
    size_t start = 0;
    while (start <= t.size()) {
        size_t end = t.find('/', start);
        if (end == std::string::npos) end = t.size();
        const std::string seg = t.substr(start, end - start);
        if (seg == "..") {
            if (segments.empty()) return std::string();  // leaves the package
            segments.pop_back();
        } else if (!seg.empty() && seg != ".") {
            segments.push_back(seg);
        }
        start = end + 1;
    }
    std::string out;
    for (size_t i = 0; i < segments.size(); ++i) {
        if (i) out += '/';
        out += segments[i];
    }
    return out;
}

std::string partNameOf(const std::string& path) {
    std::string name = toSlash(path);
    const size_t skip = name.find_first_not_of('/');
    name.erase(0, skip == std::string::npos ? name.size() : skip);
    return name;
}

std::string relativeTarget(const std::string& sourcePart, const std::string& partName) {
    const std::string source = partNameOf(sourcePart);
    const std::string part = partNameOf(partName);
    // Folders the two share, then one ".." per folder of the source below them.
    const size_t sourceDir = source.rfind('/');
    size_t common = 0;
    for (size_t i = 0; sourceDir != std::string::npos && i <= sourceDir && i < part.size() && source[i] == part[i]; ++i)
        if (source[i] == '/') common = i + 1;
    std::string rel;
    if (sourceDir != std::string::npos)
        for (size_t i = common; i <= sourceDir; ++i)
            if (source[i] == '/') rel += "../";
    static const char* const hex = "0123456789ABCDEF";
    for (size_t i = common; i < part.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(part[i]);
        if (c == '%' || c == '#' || c <= ' ' || c == 0x7f) {
            rel += '%';
            rel += hex[(c >> 4) & 15];
            rel += hex[c & 15];
        } else {
            rel += static_cast<char>(c);
        }
    }
    return rel;
}

std::string relsPartName(const std::string& partName) {
    const std::string part = partNameOf(partName);
    const size_t slash = part.rfind('/');
    if (slash == std::string::npos) return "_rels/" + part + ".rels";
    return part.substr(0, slash + 1) + "_rels/" + part.substr(slash + 1) + ".rels";
}

bool relsSourceName(const std::string& relsPart, std::string* partName) {
    const std::string rels = partNameOf(relsPart);
    const std::string suffix = ".rels";
    if (rels.size() < suffix.size() || rels.compare(rels.size() - suffix.size(), suffix.size(), suffix) != 0) return false;
    const size_t slash = rels.rfind('/');
    const size_t folderStart = (slash == std::string::npos || slash == 0) ? std::string::npos : rels.rfind('/', slash - 1);
    const size_t nameStart = folderStart == std::string::npos ? 0 : folderStart + 1;
    if (slash == std::string::npos || slash == 0 || rels.compare(nameStart, slash - nameStart, "_rels") != 0) return false;
    if (partName) *partName = rels.substr(0, nameStart) + rels.substr(slash + 1, rels.size() - suffix.size() - slash - 1);
    return true;
}

}  // namespace OpenXMLPaths

}  // namespace rep
}  // namespace kiv
