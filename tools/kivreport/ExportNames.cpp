#include "tools/kivreport/ExportNames.h"

#include <cstdint>
#include <vector>

namespace kivcli {

namespace {

// Length in bytes of the UTF-8 sequence starting at s[i], 0 when it is not one.
size_t utf8SequenceLength(const std::string& s, size_t i) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    size_t len = 0;
    uint32_t cp = 0;
    if (c < 0x80) return 1;
    if ((c & 0xE0) == 0xC0) {
        len = 2;
        cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
        len = 3;
        cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
        len = 4;
        cp = c & 0x07;
    } else return 0;
    if (i + len > s.size()) return 0;
    for (size_t k = 1; k < len; ++k) {
        const unsigned char t = static_cast<unsigned char>(s[i + k]);
        if ((t & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (t & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
    if ((len == 2 && cp < 0x80) || (len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
        (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    // C1 control characters are as unwelcome in names as C0 ones.
    if (cp >= 0x80 && cp < 0xA0) return 0;
    return len;
}

bool isReservedDeviceName(const std::string& stem) {
    std::string base = stem.substr(0, stem.find('.'));
    while (!base.empty() && base.back() == ' ') base.pop_back();
    for (char& c : base)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    static const char* const names[] = {"con", "prn", "aux", "nul", "conin$", "conout$", "clock$"};
    for (const char* n : names)
        if (base == n) return true;
    return base.size() == 4 && (base.compare(0, 3, "com") == 0 || base.compare(0, 3, "lpt") == 0) && base[3] >= '1' &&
           base[3] <= '9';
}

}  // namespace

std::string safeFileStem(const std::string& name, size_t maxBytes) {
    // Characters, each kept as its UTF-8 bytes, so that cutting never splits one.
    std::vector<std::string> chars;
    for (size_t i = 0; i < name.size();) {
        const size_t len = utf8SequenceLength(name, i);
        if (len == 0) {
            chars.push_back("_");
            ++i;
            continue;
        }
        const char c = name[i];
        if (len == 1 && (static_cast<unsigned char>(c) < 0x20 || c == 0x7F || c == '/' || c == '\\' || c == ':' || c == '*' ||
                         c == '?' || c == '"' || c == '<' || c == '>' || c == '|'))
            chars.push_back("_");
        else chars.push_back(name.substr(i, len));
        i += len;
    }
    for (std::string& c : chars) {
        if (c != "." && c != " ") break;
        c = "_";
    }
    std::string stem;
    for (const std::string& c : chars) {
        if (stem.size() + c.size() > maxBytes) break;
        stem += c;
    }
    while (!stem.empty() && (stem.back() == '.' || stem.back() == ' ')) stem.pop_back();
    if (stem.empty()) return "snapshot";
    if (isReservedDeviceName(stem)) {
        stem = "_" + stem;
        if (stem.size() > maxBytes) stem = safeFileStem(stem.substr(0, stem.size() - 1), maxBytes);
    }
    return stem;
}

std::string UniqueFileNames::key(const std::string& fileName) {
    std::string k;
    for (size_t i = 0; i < fileName.size();) {
        const unsigned char c = static_cast<unsigned char>(fileName[i]);
        if (c < 0x80) {
            k += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
            ++i;
            continue;
        }
        const size_t len = utf8SequenceLength(fileName, i);
        k += '\x01';
        i += len ? len : 1;
    }
    return k;
}

void UniqueFileNames::reserve(const std::string& fileName) { m_taken.insert(key(fileName)); }

std::string UniqueFileNames::take(const std::string& stem, const std::string& extension) {
    std::string candidate = stem + extension;
    for (unsigned long n = 2; !m_taken.insert(key(candidate)).second; ++n) candidate = stem + "_" + std::to_string(n) + extension;
    return candidate;
}

}  // namespace kivcli
