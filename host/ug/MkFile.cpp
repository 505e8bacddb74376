#include "host/ug/MkFile.h"
#include <algorithm>
#include <unistd.h>

bool MkFile::Open() {
    Close();
    const char* mode = "rb";
    switch (m_mode) {
    case READ: mode = "rb"; break;
    case WRITE: mode = "wb"; break;
    case APPEND: mode = "ab"; break;
    case READ_WRITE: mode = "r+b"; break;
    }
    if (m_path.IsEmpty()) return false;
    m_file = std::fopen(m_path.ShortChar(), mode);
    return m_file != nullptr;
}

size_t MkFile::Write(const void* data, size_t size, size_t count) {
    if (!m_file || !data || size == 0 || count == 0) return 0;
    return std::fwrite(data, size, count, m_file);
}

size_t MkFile::Read(void* data, size_t size, size_t count) {
    if (!m_file || !data || size == 0 || count == 0) return 0;
    return std::fread(data, size, count, m_file);
}

long long MkFile::GetLength() const {
    if (!m_file) return -1;
    off_t here = ftello(m_file);
    if (here < 0 || fseeko(m_file, 0, SEEK_END) != 0) return -1;
    off_t end = ftello(m_file);
    fseeko(m_file, here, SEEK_SET);
    return end < 0 ? -1 : static_cast<long long>(end);
}

bool MkFile::Close() {
    if (!m_file) return true;
    bool good = std::ferror(m_file) == 0;
    if (std::fclose(m_file) != 0) good = false;
    m_file = nullptr;
    return good;
}

bool MkFileAccess(const MkString& path, int type) {
    if (path.IsEmpty()) return false;
    int mode = F_OK;
    if (type & 1) mode |= X_OK;
    if (type & 2) mode |= W_OK;
    if (type & 4) mode |= R_OK;
    return access(path.ShortChar(), mode) == 0;
}

namespace {
int lastSeparator(const MkString& path) { return std::max(path.Find(L'/', -1, false), path.Find(L'\\', -1, false)); }
}  // namespace

MkString MkGetFileName(const MkString& path, bool withExtension) {
    MkString name = path.Mid(lastSeparator(path) + 1);
    if (!withExtension) {
        // A leading dot names a hidden file, not an extension.
        int dot = name.Find(L'.', -1, false);
        if (dot > 0) name = name.Left(dot);
    }
    return name;
}

MkString MkGetFilePath(const MkString& path, bool keepSeparator) {
    int sep = lastSeparator(path);
    if (sep < 0) return MkString();
    if (sep == 0) return path.Left(1);  // the root keeps its separator
    return path.Left(keepSeparator ? sep + 1 : sep);
}

MkString MkGetAsNativePath(const MkString& path) {
    MkString native(path);
    for (wchar_t& c : native.Std())
        if (c == L'\\') c = L'/';
    return native;
}

MkString MkGetPathSeparator() { return MkString(L"/"); }

bool MkReadFile(const MkString& path, std::string* bytes) {
    if (!bytes) return false;
    MkFile file(path, MkFile::READ);
    if (!file.Open()) return false;
    std::string content;
    char buffer[65536];
    for (;;) {
        size_t n = file.Read(buffer, 1, sizeof buffer);
        content.append(buffer, n);
        if (n < sizeof buffer) break;
    }
    if (!file.Close()) return false;
    bytes->swap(content);
    return true;
}

bool MkWriteFile(const MkString& path, const void* data, size_t size) {
    if (!data && size > 0) return false;
    MkFile file(path, MkFile::WRITE);
    if (!file.Open()) return false;
    bool written = size == 0 || file.Write(data, size, 1) == 1;
    return file.Close() && written;
}
