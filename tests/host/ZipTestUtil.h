#pragma once
// Helpers shared by the zip engine tests: building archives, reading entries,
// and an independent walk over an archive's bytes.
#include "host/ug/ZipArchive.h"
#include "support/TestSupport.h"

#include <cstdint>
#include <cstdlib>
#include <map>
#include <random>
#include <string>

namespace ziptest {

inline std::string randomBytes(size_t n, unsigned seed = 1) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (auto& c : s) c = static_cast<char>(rng());
    return s;
}

inline std::string text(size_t n) {
    std::string s;
    while (s.size() < n) s += "The quick brown fox jumps over the lazy dog " + std::to_string(s.size()) + "\n";
    s.resize(n);
    return s;
}

inline bool add(CZipArchive& zip, const std::string& name, const std::string& data, int level = -1,
                int smartness = CZipArchive::zipsmSmartest) {
    return zip.AddNewFile(data.data(), data.size(), name, level, smartness);
}

// The entry's bytes; throws what the engine throws.
inline std::string extract(CZipArchive& zip, int index) {
    CZipMemFile out;
    if (!zip.ExtractFile(index, out)) return "<invalid index>";
    return std::string(reinterpret_cast<const char*>(out.GetData()), out.GetSize());
}

inline std::string extract(CZipArchive& zip, const std::string& name) {
    int i = zip.FindFile(name);
    return i < 0 ? "<missing>" : extract(zip, i);
}

// Archive bytes holding the entries (name -> data), written to memory.
inline std::string buildArchive(const std::map<std::string, std::string>& entries, int level = -1) {
    CZipMemFile mem;
    CZipArchive zip;
    zip.Open(mem, CZipArchive::zipCreate);
    for (const auto& kv : entries) add(zip, kv.first, kv.second, level);
    zip.Close();
    return std::string(reinterpret_cast<const char*>(mem.GetData()), mem.GetSize());
}

inline uint32_t le32(const std::string& s, size_t at) {
    return static_cast<uint32_t>(static_cast<unsigned char>(s[at])) |
           static_cast<uint32_t>(static_cast<unsigned char>(s[at + 1])) << 8 |
           static_cast<uint32_t>(static_cast<unsigned char>(s[at + 2])) << 16 |
           static_cast<uint32_t>(static_cast<unsigned char>(s[at + 3])) << 24;
}
inline uint16_t le16(const std::string& s, size_t at) {
    return static_cast<uint16_t>(static_cast<unsigned char>(s[at]) | static_cast<unsigned char>(s[at + 1]) << 8);
}
inline void setLe32(std::string& s, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) s[at + i] = static_cast<char>((v >> (8 * i)) & 0xff);
}
inline void setLe16(std::string& s, size_t at, uint16_t v) {
    s[at] = static_cast<char>(v & 0xff);
    s[at + 1] = static_cast<char>(v >> 8);
}

// Positions in an archive without comment: end record, directory start and size.
struct Layout {
    size_t eocd, cdOffset, cdSize, entries;
};
inline Layout layoutOf(const std::string& zip) {
    Layout l{};
    l.eocd = zip.size() - 22;
    l.entries = le16(zip, l.eocd + 10);
    l.cdSize = le32(zip, l.eocd + 12);
    l.cdOffset = le32(zip, l.eocd + 16);
    return l;
}

// True when local entries follow each other without gaps from offset 0 to the
// directory (entries without data descriptors).
inline bool isPacked(const std::string& zip) {
    Layout l = layoutOf(zip);
    size_t pos = 0;
    for (size_t i = 0; i < l.entries; ++i) {
        if (pos + 30 > zip.size() || le32(zip, pos) != 0x04034b50) return false;
        pos += 30 + le16(zip, pos + 26) + le16(zip, pos + 28) + le32(zip, pos + 18);
    }
    return pos == l.cdOffset;
}

inline bool haveTool(const char* name) {
    return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

// Runs a shell command; true when it exits with 0.
inline bool run(const std::string& command) { return std::system(("( " + command + " ) >/dev/null 2>&1").c_str()) == 0; }

}  // namespace ziptest
