#pragma once
// File names for exported snapshot content. Snapshot names are free text
// ("../../x", "a/b", "con", hundreds of characters), so they are turned into
// names that stay in the export folder and that every common file system
// accepts and keeps apart.
#include <set>
#include <string>

namespace kivcli {

// A file name stem made from any UTF-8 text: path separators, the characters
// Windows forbids (: * ? " < > |) and control characters become "_"; leading
// dots (hidden files) and spaces become "_"; trailing dots and spaces go; reserved
// device names (con, prn, aux, nul, com1-9, lpt1-9, also before a dot) get a
// leading "_"; bytes that are not UTF-8 become "_"; the result is cut to
// maxBytes on a character boundary; an empty result is "snapshot".
std::string safeFileStem(const std::string& name, size_t maxBytes = 120);

// Hands out names that differ from every name handed out before even where
// letter case is ignored. Names differing only in non-ASCII characters are
// treated as equal too, since the case tables of file systems differ.
class UniqueFileNames {
public:
    // Reserves a name (for files the export writes besides the content).
    void reserve(const std::string& fileName);
    // stem + extension, or stem + "_2" + extension, "_3", ... for the first one free.
    std::string take(const std::string& stem, const std::string& extension);

private:
    static std::string key(const std::string& fileName);
    std::set<std::string> m_taken;
};

}  // namespace kivcli
