#include "host/ug/ZipFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

namespace {
CZipFileOpener g_opener = nullptr;
}

CZipFileOpener SetZipFileOpener(CZipFileOpener opener) {
    CZipFileOpener previous = g_opener;
    g_opener = opener;
    return previous;
}

CZipFileOpener GetZipFileOpener() { return g_opener; }

// ---------------------------------------------------------------------------
// CZipFile

CZipFile::~CZipFile() { Close(); }

void CZipFile::Open(const std::string& utf8Path, int mode) {
    Close();
    int flags = O_CLOEXEC;
    switch (mode) {
    case modeRead: flags |= O_RDONLY; break;
    case modeReadWrite: flags |= O_RDWR; break;
    case modeCreate: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
    default: throw CZipException(CZipException::generic, "Invalid file open mode");
    }
    m_path = utf8Path;
    int fd;
    do {
        fd = ::open(utf8Path.c_str(), flags, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) fail("open");
    struct stat st;
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        throw CZipException(CZipException::ioError, "Cannot open '" + utf8Path + "': it is a directory");
    }
    m_fd = fd;
    m_readOnly = mode == modeRead;
    m_pos = 0;
}

void CZipFile::Close() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    m_pos = 0;
}

void CZipFile::requireOpen() const {
    if (m_fd < 0) throw CZipException(CZipException::generic, "File is not open");
}

void CZipFile::fail(const char* what) const {
    throw CZipException(CZipException::ioError, std::string("Cannot ") + what + " '" + m_path + "': " + std::strerror(errno));
}

size_t CZipFile::Read(void* buffer, size_t count) {
    requireOpen();
    size_t done = 0;
    auto* out = static_cast<unsigned char*>(buffer);
    while (done < count) {
        ssize_t n = ::pread(m_fd, out + done, count - done, static_cast<off_t>(m_pos + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            fail("read");
        }
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    m_pos += done;
    return done;
}

void CZipFile::Write(const void* buffer, size_t count) {
    requireOpen();
    if (m_readOnly) throw CZipException(CZipException::generic, "File '" + m_path + "' is open read-only");
    size_t done = 0;
    const auto* in = static_cast<const unsigned char*>(buffer);
    while (done < count) {
        ssize_t n = ::pwrite(m_fd, in + done, count - done, static_cast<off_t>(m_pos + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            fail("write");
        }
        done += static_cast<size_t>(n);
    }
    m_pos += done;
}

uint64_t CZipFile::Seek(int64_t offset, SeekOrigin origin) {
    requireOpen();
    int64_t base = origin == begin ? 0 : origin == current ? static_cast<int64_t>(m_pos) : static_cast<int64_t>(GetLength());
    if ((offset < 0 && base + offset < 0) || (offset > 0 && base > std::numeric_limits<int64_t>::max() - offset))
        throw CZipException(CZipException::generic, "Seek outside the file '" + m_path + "'");
    m_pos = static_cast<uint64_t>(base + offset);
    return m_pos;
}

uint64_t CZipFile::GetLength() const {
    requireOpen();
    struct stat st;
    if (::fstat(m_fd, &st) != 0) fail("stat");
    return static_cast<uint64_t>(st.st_size);
}

void CZipFile::SetLength(uint64_t length) {
    requireOpen();
    if (m_readOnly) throw CZipException(CZipException::generic, "File '" + m_path + "' is open read-only");
    if (::ftruncate(m_fd, static_cast<off_t>(length)) != 0) fail("truncate");
}

// ---------------------------------------------------------------------------
// CZipMemFile

CZipMemFile::CZipMemFile(const void* data, size_t size, size_t growBy) : m_growBy(growBy ? growBy : 1) {
    if (size) {
        makeWritable(size);
        std::memcpy(m_data, data, size);
        m_size = size;
    }
}

CZipMemFile::~CZipMemFile() { Clear(); }

void CZipMemFile::Clear() {
    if (m_owned) std::free(m_data);
    m_data = nullptr;
    m_size = m_capacity = m_pos = 0;
    m_owned = true;
}

void CZipMemFile::Attach(const void* buffer, size_t size, bool owned) {
    Clear();
    m_data = static_cast<unsigned char*>(const_cast<void*>(buffer));
    m_size = buffer ? size : 0;
    m_owned = owned || !buffer;
    m_capacity = owned ? m_size : 0;
}

unsigned char* CZipMemFile::Detach(size_t* size) {
    // One spare byte for the terminating zero; this also turns a caller's buffer into our own.
    if (!m_owned || m_capacity < m_size + 1) {
        size_t cap = m_size + 1;
        auto* p = static_cast<unsigned char*>(m_owned ? std::realloc(m_data, cap) : std::malloc(cap));
        if (!p) throw CZipException(CZipException::tooBig, "Out of memory");
        if (!m_owned && m_size) std::memcpy(p, m_data, m_size);
        m_data = p;
        m_capacity = cap;
        m_owned = true;
    }
    m_data[m_size] = 0;
    unsigned char* out = m_data;
    if (size) *size = m_size;
    m_data = nullptr;
    m_size = m_capacity = m_pos = 0;
    return out;
}

void CZipMemFile::makeWritable(size_t capacity) {
    if (m_owned && capacity <= m_capacity && (m_data || capacity == 0)) return;
    size_t cap = std::max(capacity, m_owned ? m_capacity : m_size);
    if (m_owned && cap > m_capacity) {
        // Grow by at least the grow step and by half the capacity: amortized linear writes.
        size_t grown = m_capacity + std::max(m_growBy, m_capacity / 2);
        if (grown > cap) cap = grown;
        size_t rem = cap % m_growBy;
        if (rem && cap + (m_growBy - rem) > cap) cap += m_growBy - rem;
    }
    if (cap == 0) cap = m_growBy;
    unsigned char* p;
    if (m_owned) {
        p = static_cast<unsigned char*>(std::realloc(m_data, cap));
    } else {
        p = static_cast<unsigned char*>(std::malloc(cap));
        if (p && m_size) std::memcpy(p, m_data, m_size);  // copy on first change
    }
    if (!p) throw CZipException(CZipException::tooBig, "Out of memory");
    m_data = p;
    m_capacity = cap;
    m_owned = true;
}

size_t CZipMemFile::Read(void* buffer, size_t count) {
    if (m_pos >= m_size || count == 0) return 0;
    size_t n = std::min(count, m_size - m_pos);
    std::memcpy(buffer, m_data + m_pos, n);
    m_pos += n;
    return n;
}

void CZipMemFile::Write(const void* buffer, size_t count) {
    if (count == 0) return;
    if (count > std::numeric_limits<size_t>::max() - m_pos) throw CZipException(CZipException::tooBig, "Memory file too large");
    size_t end = m_pos + count;
    makeWritable(end);
    if (m_pos > m_size) std::memset(m_data + m_size, 0, m_pos - m_size);
    std::memcpy(m_data + m_pos, buffer, count);
    m_pos = end;
    if (end > m_size) m_size = end;
}

uint64_t CZipMemFile::Seek(int64_t offset, SeekOrigin origin) {
    int64_t base = origin == begin ? 0 : origin == current ? static_cast<int64_t>(m_pos) : static_cast<int64_t>(m_size);
    if ((offset < 0 && base + offset < 0) || (offset > 0 && base > std::numeric_limits<int64_t>::max() - offset))
        throw CZipException(CZipException::generic, "Seek outside the memory file");
    m_pos = static_cast<size_t>(base + offset);
    return m_pos;
}

void CZipMemFile::SetLength(uint64_t length) {
    if (length > std::numeric_limits<size_t>::max() / 2) throw CZipException(CZipException::tooBig, "Memory file too large");
    size_t n = static_cast<size_t>(length);
    if (n > m_size) {
        makeWritable(n);
        std::memset(m_data + m_size, 0, n - m_size);
    } else if (n < m_size && !m_owned) {
        m_size = n;  // a shorter view of the caller's buffer needs no copy
        return;
    }
    m_size = n;
}
