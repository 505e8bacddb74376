#include "host/ug/ZipArchive.h"

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <random>

namespace {

const uint32_t kSigLocal = 0x04034b50;
const uint32_t kSigCentral = 0x02014b50;
const uint32_t kSigEnd = 0x06054b50;
const uint32_t kSigEnd64 = 0x06064b50;
const uint32_t kSigLocator64 = 0x07064b50;
const uint32_t kSigDescriptor = 0x08074b50;
const size_t kLocalSize = 30, kCentralSize = 46, kEndSize = 22, kEnd64Size = 56, kLocatorSize = 20;
const uint16_t kFlagEncrypted = 0x0001, kFlagDescriptor = 0x0008, kFlagStrong = 0x0040, kFlagUtf8 = 0x0800;
const uint16_t kMethodStored = 0, kMethodDeflated = 8;
const size_t kCryptHeaderSize = 12;

uint16_t get16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t get32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}
uint64_t get64(const unsigned char* p) { return get32(p) | (static_cast<uint64_t>(get32(p + 4)) << 32); }

void put16(std::string& s, uint32_t v) {
    s += static_cast<char>(v & 0xff);
    s += static_cast<char>((v >> 8) & 0xff);
}
void put32(std::string& s, uint64_t v) {
    put16(s, static_cast<uint32_t>(v & 0xffff));
    put16(s, static_cast<uint32_t>((v >> 16) & 0xffff));
}
void put64(std::string& s, uint64_t v) {
    put32(s, v & 0xffffffff);
    put32(s, v >> 32);
}

// ZIP64: the extra field's id, the version needed to read it (4.5), and the size
// of the local header's extra field (both sizes).
const uint16_t kZip64ExtraId = 0x0001;
const uint16_t kZip64Version = 45;
const size_t kZip64LocalExtraSize = 4 + 16;

CZip64Limits g_zip64Limits;

[[noreturn]] void corrupt(const std::string& what) { throw CZipException(CZipException::badArchive, what); }

bool isAscii(const std::string& s) {
    for (unsigned char c : s)
        if (c >= 0x80) return false;
    return true;
}

bool isValidUtf8(const std::string& s) {
    size_t i = 0, n = s.size();
    while (i < n) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        size_t len;
        uint32_t cp;
        if (c < 0x80) {
            ++i;
            continue;
        }
        if ((c & 0xE0) == 0xC0) {
            len = 2;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            len = 3;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            len = 4;
            cp = c & 0x07;
        } else return false;
        if (n - i < len) return false;
        for (size_t k = 1; k < len; ++k) {
            unsigned char cc = static_cast<unsigned char>(s[i + k]);
            if ((cc & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        if ((len == 2 && cp < 0x80) || (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000) || cp > 0x10FFFF ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += len;
    }
    return true;
}

// Names written without the UTF-8 flag by DOS and Windows tools use code page 437.
const uint16_t kCp437High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4,
    0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, 0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5,
    0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC,
    0x00A1, 0x00AB, 0x00BB, 0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557,
    0x255D, 0x255C, 0x255B, 0x2510, 0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F, 0x255A, 0x2554, 0x2569,
    0x2566, 0x2560, 0x2550, 0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518,
    0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580, 0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4, 0x03A6,
    0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0};

std::string cp437ToUtf8(const std::string& s) {
    std::string out;
    out.reserve(s.size() * 2);
    for (unsigned char c : s) {
        uint32_t cp = c < 0x80 ? c : kCp437High[c - 0x80];
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

bool looksCompressed(const unsigned char* p, size_t n) {
    auto starts = [&](const char* sig, size_t len) { return n >= len && std::memcmp(p, sig, len) == 0; };
    return starts("\xFF\xD8\xFF", 3)                        // JPEG
           || starts("\x89PNG\r\n\x1A\n", 8)                // PNG
           || starts("GIF8", 4) || starts("PK\x03\x04", 4)  // GIF, zip (Office documents too)
           || starts("\x1F\x8B", 2)                         // gzip
           || starts("7z\xBC\xAF\x27\x1C", 6)               // 7-Zip
           || starts("BZh", 3)                              // bzip2
           || starts(
                  "\xFD"
                  "7zXZ\x00",
                  6);  // xz
}

// Whether AddNewFile stores data of this size, starting with these bytes, as it is.
bool storesAsIs(const unsigned char* head, size_t headSize, uint64_t size, int level, int smartness) {
    return level == 0 || size == 0 || ((smartness & CZipArchive::zipsmSmallStored) && size < ZipLimits::kSmallEntrySize) ||
           ((smartness & CZipArchive::zipsmKnownCompressed) && looksCompressed(head, headSize));
}

// The traditional PKWARE stream cipher.
class ZipCrypto {
public:
    explicit ZipCrypto(const std::string& password) : m_table(get_crc_table()) {
        for (unsigned char c : password) update(c);
    }
    void encrypt(unsigned char* p, size_t n) {
        for (size_t i = 0; i < n; ++i) {
            unsigned char c = p[i];
            p[i] = static_cast<unsigned char>(c ^ streamByte());
            update(c);
        }
    }
    void decrypt(unsigned char* p, size_t n) {
        for (size_t i = 0; i < n; ++i) {
            unsigned char c = static_cast<unsigned char>(p[i] ^ streamByte());
            update(c);
            p[i] = c;
        }
    }

private:
    uint32_t crcByte(uint32_t crc, unsigned char b) const {
        return (crc >> 8) ^ static_cast<uint32_t>(m_table[(crc ^ b) & 0xff]);
    }
    void update(unsigned char c) {
        m_k0 = crcByte(m_k0, c);
        m_k1 = (m_k1 + (m_k0 & 0xff)) * 134775813u + 1;
        m_k2 = crcByte(m_k2, static_cast<unsigned char>(m_k1 >> 24));
    }
    unsigned char streamByte() const {
        uint32_t t = (m_k2 | 2) & 0xffff;
        return static_cast<unsigned char>((t * (t ^ 1)) >> 8);
    }

    const z_crc_t* m_table;
    uint32_t m_k0 = 0x12345678, m_k1 = 0x23456789, m_k2 = 0x34567890;
};

uint32_t crcOf(uint32_t crc, const unsigned char* p, size_t n) {
    while (n > 0) {
        uInt chunk = static_cast<uInt>(std::min<size_t>(n, 1u << 30));
        crc = static_cast<uint32_t>(crc32(crc, p, chunk));
        p += chunk;
        n -= chunk;
    }
    return crc;
}

// Prepared entries are compressed in pieces of this size, each with this much
// of the bytes before it as its dictionary; a second thread helps from this many bytes on.
const size_t kPieceSize = 512u << 10;
const size_t kDictionarySize = 32768;
const uint64_t kThreadedSize = 256u << 10;

// Entries up to this size are added with one write of their header and data.
const uint64_t kOneWriteSize = 1u << 20;

size_t clampBuffer(size_t n) { return std::min<size_t>(std::max<size_t>(n, 4096), 4u << 20); }

struct Inflater {
    z_stream zs{};
    bool ready = false;
    Inflater() {
        if (inflateInit2(&zs, -MAX_WBITS) != Z_OK) throw CZipException(CZipException::generic, "zlib init failed");
        ready = true;
    }
    ~Inflater() {
        if (ready) inflateEnd(&zs);
    }
};

// Compressors kept per thread and reset between entries: setting up zlib's
// ~256 KB of state for every entry costs more than compressing a typical small
// part. A small entry gets a compressor sized to it (a window that holds the
// whole entry, a hash table and a symbol buffer in proportion): the same
// matches and one block, while a reset clears a few KB of hash table rather
// than 64 KB.
class Deflater {
public:
    // size: the bytes to compress, when known (0 when not).
    static z_stream& acquire(int level, uint64_t size = 0) {
        static thread_local Deflater cached[kClasses];
        const int bits = windowBitsFor(size);
        Deflater& d = cached[bits - kMinBits];
        z_stream& zs = d.m_zs;
        if (!d.m_ready) {
            // The symbol buffer (1 << (memLevel + 6)) holds the whole entry.
            const int memLevel = std::min(MAX_MEM_LEVEL - 1, std::max(1, bits - 6));
            if (deflateInit2(&zs, level, Z_DEFLATED, -bits, memLevel, Z_DEFAULT_STRATEGY) != Z_OK)
                throw CZipException(CZipException::generic, "zlib init failed");
            d.m_ready = true;
        } else if (deflateReset(&zs) != Z_OK || (d.m_level != level && deflateParams(&zs, level, Z_DEFAULT_STRATEGY) != Z_OK)) {
            deflateEnd(&zs);
            d.m_ready = false;
            throw CZipException(CZipException::generic, "zlib reset failed");
        }
        d.m_level = level;
        return zs;
    }

private:
    static const int kMinBits = 9;  // the smallest raw deflate window zlib takes
    static const int kClasses = MAX_WBITS - kMinBits + 1;

    // The smallest window that reaches back over the whole entry (zlib keeps
    // 262 bytes of look-ahead out of it); the full one when the size is not known.
    static int windowBitsFor(uint64_t size) {
        if (size == 0) return MAX_WBITS;
        int bits = kMinBits;
        while (bits < MAX_WBITS && size + 262 > (uint64_t(1) << bits)) ++bits;
        return bits;
    }

    ~Deflater() {
        if (m_ready) deflateEnd(&m_zs);
    }
    z_stream m_zs{};
    bool m_ready = false;
    int m_level = -1;
};

// Compresses n bytes into *out with a fresh (reset) stream: to its end when
// last, else up to a sync flush (an empty stored block), so that the next
// piece's stream follows on a byte as part of the same stream.
void deflateInto(z_stream& zs, const unsigned char* data, size_t n, bool last, std::string* out) {
    // Room for a good compression first: the output grows when it needs to.
    out->resize(std::min<size_t>(deflateBound(&zs, static_cast<uLong>(n)) + 16, n / 4 + 4096));
    zs.next_in = const_cast<unsigned char*>(data);
    zs.avail_in = static_cast<uInt>(n);
    zs.next_out = reinterpret_cast<unsigned char*>(&(*out)[0]);
    zs.avail_out = static_cast<uInt>(out->size());
    const int flush = last ? Z_FINISH : Z_SYNC_FLUSH;
    for (;;) {
        const int rc = deflate(&zs, flush);
        if (last ? rc == Z_STREAM_END : (zs.avail_in == 0 && zs.avail_out > 0)) break;
        if (rc != Z_OK && rc != Z_BUF_ERROR) throw CZipException(CZipException::generic, "zlib deflate failed");
        const size_t used = out->size() - zs.avail_out;
        out->resize(2 * out->size());
        zs.next_out = reinterpret_cast<unsigned char*>(&(*out)[used]);
        zs.avail_out = static_cast<uInt>(out->size() - used);
    }
    out->resize(out->size() - zs.avail_out);
}

}  // namespace

CZip64Limits SetZip64Limits(CZip64Limits limits) {
    const CZip64Limits previous = g_zip64Limits;
    g_zip64Limits.entries = std::min<uint64_t>(limits.entries, 0xFFFF);
    g_zip64Limits.bytes = std::min<uint64_t>(limits.bytes, 0xFFFFFFFF);
    return previous;
}

// ---------------------------------------------------------------------------
// Data to add: a caller's buffer or a whole file, readable more than once.
class CZipArchive::Source {
public:
    Source(const void* data, size_t size) : m_mem(static_cast<const unsigned char*>(data)), m_size(size) {}
    explicit Source(CZipAbstractFile& file) : m_file(&file), m_size(file.GetLength()) {}

    uint64_t size() const { return m_size; }
    const unsigned char* memory() const { return m_mem; }  // null for a file
    void rewind() {
        m_pos = 0;
        if (m_file) m_file->Seek(0);
    }
    size_t read(unsigned char* buf, size_t n) {
        n = static_cast<size_t>(std::min<uint64_t>(n, m_size - m_pos));
        if (n == 0) return 0;
        if (m_mem) {
            std::memcpy(buf, m_mem + m_pos, n);
        } else if (m_file->Read(buf, n) != n) {
            throw CZipException(CZipException::ioError, "The file to add became shorter while it was read");
        }
        m_pos += n;
        return n;
    }

private:
    const unsigned char* m_mem = nullptr;
    CZipAbstractFile* m_file = nullptr;
    uint64_t m_size;
    uint64_t m_pos = 0;
};

// ---------------------------------------------------------------------------
// Opening and closing

CZipArchive::~CZipArchive() {
    try {
        Close();
    } catch (...) {
        // A destructor cannot report; callers who care call Close() themselves.
    }
}

bool CZipArchive::Open(const std::string& utf8Path, int mode) {
    if (!IsClosed()) return false;
    int fileMode;
    switch (mode) {
    case zipOpen: fileMode = CZipFile::modeReadWrite; break;
    case zipOpenReadOnly: fileMode = CZipFile::modeRead; break;
    case zipCreate: fileMode = CZipFile::modeCreate; break;
    default: return false;
    }
    if (CZipFileOpener opener = GetZipFileOpener()) {
        m_ownedFile = opener(utf8Path, fileMode);
        if (!m_ownedFile) throw CZipException(CZipException::ioError, "Cannot open '" + utf8Path + "'");
    } else {
        auto file = std::make_unique<CZipFile>();
        file->Open(utf8Path, fileMode);
        m_ownedFile = std::move(file);
    }
    return openImpl(m_ownedFile.get(), mode);
}

bool CZipArchive::Open(CZipAbstractFile& file, int mode) {
    if (!IsClosed()) return false;
    return openImpl(&file, mode);
}

bool CZipArchive::openImpl(CZipAbstractFile* file, int mode) {
    if (mode != zipOpen && mode != zipOpenReadOnly && mode != zipCreate) {
        m_ownedFile.reset();
        return false;
    }
    m_file = file;
    m_readOnly = mode == zipOpenReadOnly;
    try {
        if (!m_readOnly && file->IsReadOnly()) throw CZipException(CZipException::generic, "The archive file is read-only");
        if (mode == zipCreate) {
            file->SetLength(0);
            m_dataStart = m_dataEnd = 0;
            m_modified = true;  // an empty archive still needs its end record
        } else {
            readDirectory();
        }
    } catch (...) {
        resetState();
        throw;
    }
    return true;
}

void CZipArchive::resetState() {
    m_file = nullptr;
    m_ownedFile.reset();
    m_readOnly = false;
    m_modified = false;
    m_entries.clear();
    m_slots.clear();
    m_comment.clear();
    m_dataStart = m_dataEnd = m_garbage = 0;
    m_prepared.clear();
}

void CZipArchive::Close() {
    if (IsClosed()) return;
    try {
        if (!m_readOnly && m_modified) {
            if (m_garbage > liveBytes()) compactImpl(false);
            writeDirectory();
            m_file->Flush();
        }
    } catch (...) {
        resetState();
        throw;
    }
    resetState();
}

void CZipArchive::readDirectory() {
    const uint64_t length = m_file->GetLength();
    if (length < kEndSize) corrupt("Not a zip archive (too short)");

    // The end record sits in the last 22 + 65535 (comment) bytes; most archives have
    // no comment, so look at a short tail first.
    std::vector<unsigned char> tail;
    size_t tailLen = 0, found = SIZE_MAX;
    for (uint64_t want : {uint64_t(1024), uint64_t(kEndSize + 0xFFFF)}) {
        tailLen = static_cast<size_t>(std::min<uint64_t>(length, want));
        tail.resize(tailLen);
        readAt(length - tailLen, tail.data(), tailLen);
        size_t loose = SIZE_MAX;
        for (size_t i = tailLen - kEndSize + 1; i-- > 0;) {
            if (get32(&tail[i]) != kSigEnd) continue;
            size_t end = i + kEndSize + get16(&tail[i + 20]);
            if (end == tailLen) {
                found = i;
                break;
            }                                                   // comment reaches the end exactly
            if (end < tailLen && loose == SIZE_MAX) loose = i;  // trailing bytes after the comment
        }
        if (found == SIZE_MAX && tailLen == length) found = loose;
        if (found != SIZE_MAX || tailLen == length) break;
        if (want != 1024) found = loose;
    }
    if (found == SIZE_MAX) corrupt("Not a zip archive (no end of central directory record)");
    const unsigned char* eocd = &tail[found];
    const uint64_t eocdPos = length - tailLen + found;

    uint64_t disk = get16(eocd + 4), cdDisk = get16(eocd + 6);
    uint64_t entriesHere = get16(eocd + 8), entries = get16(eocd + 10);
    uint64_t cdSize = get32(eocd + 12), cdOffset = get32(eocd + 16);
    m_comment.assign(reinterpret_cast<const char*>(eocd + kEndSize), get16(eocd + 20));
    uint64_t recordStart = eocdPos;  // the directory ends where the end record(s) begin

    if (eocdPos >= kLocatorSize) {
        unsigned char loc[kLocatorSize];
        readAt(eocdPos - kLocatorSize, loc, kLocatorSize);
        if (get32(loc) == kSigLocator64) {
            if (get32(loc + 4) != 0 || get32(loc + 16) > 1)
                throw CZipException(CZipException::unsupported, "Split zip archives are not supported");
            uint64_t limit = eocdPos - kLocatorSize;
            unsigned char rec[kEnd64Size];
            uint64_t pos = get64(loc + 8);
            bool ok = limit >= kEnd64Size && pos <= limit - kEnd64Size;
            if (ok) {
                readAt(pos, rec, kEnd64Size);
                ok = get32(rec) == kSigEnd64;
            }
            if (!ok && limit >= kEnd64Size) {  // prefixed archive: the record precedes the locator
                pos = limit - kEnd64Size;
                readAt(pos, rec, kEnd64Size);
                ok = get32(rec) == kSigEnd64;
            }
            if (!ok) corrupt("ZIP64 end of central directory record not found");
            disk = get32(rec + 16);
            cdDisk = get32(rec + 20);
            entriesHere = get64(rec + 24);
            entries = get64(rec + 32);
            cdSize = get64(rec + 40);
            cdOffset = get64(rec + 48);
            recordStart = pos;
        }
    }
    if (disk != 0 || cdDisk != 0 || entriesHere != entries)
        throw CZipException(CZipException::unsupported, "Split zip archives are not supported");
    if (entries > ZipLimits::kMaxEntries) throw CZipException(CZipException::tooBig, "Too many entries in the archive");
    if (cdSize > ZipLimits::kMaxCentralDirSize) throw CZipException(CZipException::tooBig, "Central directory too large");
    if (cdSize > recordStart) corrupt("Central directory size exceeds the archive");
    if (entries * kCentralSize > cdSize) corrupt("Central directory claims more entries than it holds");

    // Where the directory starts. Offsets are relative to the archive start, which
    // differs from the file start when data was put in front (self-extractors).
    uint64_t cdStart = cdOffset;
    uint64_t shift = 0;
    auto centralAt = [&](uint64_t pos) {
        unsigned char sig[4];
        if (pos + 4 > recordStart) return false;
        readAt(pos, sig, 4);
        return get32(sig) == kSigCentral;
    };
    if (entries == 0) {
        cdStart = recordStart - cdSize;
    } else if (!(cdOffset <= recordStart - cdSize && centralAt(cdOffset))) {
        uint64_t expected = recordStart - cdSize;
        if (expected > cdOffset && centralAt(expected)) {
            shift = expected - cdOffset;
            cdStart = expected;
        } else {
            corrupt("Central directory not found where the end record says");
        }
    }

    std::vector<unsigned char> cd(static_cast<size_t>(cdSize));
    readAt(cdStart, cd.data(), cd.size());
    m_entries.reserve(static_cast<size_t>(entries));
    size_t p = 0;
    for (uint64_t i = 0; i < entries; ++i) {
        if (cd.size() - p < kCentralSize || get32(&cd[p]) != kSigCentral) corrupt("Corrupt central directory");
        const unsigned char* h = &cd[p];
        size_t nameLen = get16(h + 28), extraLen = get16(h + 30), commentLen = get16(h + 32);
        if (cd.size() - p - kCentralSize < nameLen + extraLen + commentLen) corrupt("Corrupt central directory");
        Entry e;
        e.versionMadeBy = get16(h + 4);
        e.versionNeeded = get16(h + 6);
        e.flags = get16(h + 8);
        e.method = get16(h + 10);
        e.dosTime = get16(h + 12);
        e.dosDate = get16(h + 14);
        e.crc = get32(h + 16);
        e.compSize = get32(h + 20);
        e.uncompSize = get32(h + 24);
        e.internalAttr = get16(h + 36);
        e.externalAttr = get32(h + 38);
        e.offset = get32(h + 42);
        const char* text = reinterpret_cast<const char*>(h + kCentralSize);
        e.name.assign(text, nameLen);
        std::string extra;

        // Extra field: take the ZIP64 block out (its values replace the 32-bit markers).
        const unsigned char* x = h + kCentralSize + nameLen;
        size_t xp = 0;
        while (extraLen - xp >= 4) {
            uint16_t id = get16(x + xp), len = get16(x + xp + 2);
            if (extraLen - xp - 4 < len) break;  // malformed: keep the rest as it is
            if (id == 0x0001) {
                const unsigned char* z = x + xp + 4;
                size_t zl = len, zp = 0;
                auto take = [&](uint64_t& v) {
                    if (zl - zp < 8) corrupt("Corrupt ZIP64 extra field");
                    v = get64(z + zp);
                    zp += 8;
                };
                if (e.uncompSize == 0xFFFFFFFF) take(e.uncompSize);
                if (e.compSize == 0xFFFFFFFF) take(e.compSize);
                if (e.offset == 0xFFFFFFFF) take(e.offset);
            } else {
                extra.append(reinterpret_cast<const char*>(x + xp), 4 + size_t(len));
            }
            xp += 4 + size_t(len);
        }
        if (xp < extraLen) extra.append(reinterpret_cast<const char*>(x + xp), extraLen - xp);

        if (!(e.flags & kFlagUtf8) && !isValidUtf8(e.name)) {
            e.aux = e.name;
            e.rawLen = static_cast<uint16_t>(nameLen);
            e.name = cp437ToUtf8(e.aux);
        }
        if (!extra.empty() || commentLen) {
            e.extraLen = static_cast<uint16_t>(extra.size());
            e.aux += extra;
            e.aux.append(text + nameLen + extraLen, commentLen);
        }
        if (e.offset > UINT64_MAX - shift) corrupt("Corrupt central directory");
        e.offset += shift;
        m_entries.push_back(std::move(e));
        p += kCentralSize + nameLen + extraLen + commentLen;
    }

    m_dataEnd = cdStart;
    m_dataStart = cdStart;
    for (const Entry& e : m_entries) m_dataStart = std::min(m_dataStart, e.offset);
    rebuildIndex();

    if (!m_readOnly) {
        // Changing appends at the directory's place: refuse now what would
        // overwrite entries.
        for (const Entry& e : m_entries) {
            if (e.offset > cdStart || cdStart - e.offset < kLocalSize + e.compSize)
                corrupt("Entry '" + e.name + "' overlaps the central directory");
        }
    }
    uint64_t live = liveBytes(), area = m_dataEnd - m_dataStart;
    m_garbage = area > live ? area - live : 0;
}

void CZipArchive::rebuildIndex() {
    size_t slots = 16;
    while (slots < m_entries.size() * 2 + 2) slots *= 2;
    m_slots.assign(slots, 0);
    for (size_t i = 0; i < m_entries.size(); ++i) indexInsert(static_cast<int>(i));
}

void CZipArchive::indexInsert(int index) {
    if ((static_cast<size_t>(index) + 1) * 2 > m_slots.size()) {
        rebuildIndex();  // grows the table and inserts everything, this entry included
        return;
    }
    size_t mask = m_slots.size() - 1;
    Entry& e = m_entries[static_cast<size_t>(index)];
    if (e.nameHash == 0) e.nameHash = std::hash<std::string>()(e.name) | 1;
    size_t h = e.nameHash & mask;
    while (m_slots[h] != 0) h = (h + 1) & mask;
    m_slots[h] = index + 1;
}

// Takes the entry at `index` out of the index before it is erased: its slot is
// freed by moving later members of its probe chain back (no tombstones), and the
// positions after it move down by one, as the entries will.
void CZipArchive::indexRemove(int index) {
    if (m_slots.empty()) return;
    const size_t mask = m_slots.size() - 1;
    size_t i = m_entries[static_cast<size_t>(index)].nameHash & mask;
    while (m_slots[i] != 0 && m_slots[i] != index + 1) i = (i + 1) & mask;
    if (m_slots[i] == 0) {  // not indexed (should not happen): start afresh
        rebuildIndex();
        return;
    }
    for (size_t j = (i + 1) & mask; m_slots[j] != 0; j = (j + 1) & mask) {
        const size_t home = m_entries[static_cast<size_t>(m_slots[j] - 1)].nameHash & mask;
        // Move the member at j back into the hole at i unless its home lies
        // cyclically in (i, j].
        const bool stays = i <= j ? (home > i && home <= j) : (home > i || home <= j);
        if (stays) continue;
        m_slots[i] = m_slots[j];
        i = j;
    }
    m_slots[i] = 0;
    for (int& slot : m_slots)
        if (slot > index + 1) --slot;
}

int CZipArchive::indexLookup(const std::string& name) const {
    if (m_slots.empty()) return -1;
    size_t mask = m_slots.size() - 1;
    // Lower indices were inserted first, so the first match is the first entry of that name.
    const size_t hash = std::hash<std::string>()(name) | 1;
    for (size_t h = hash & mask; m_slots[h] != 0; h = (h + 1) & mask) {
        const int i = m_slots[h] - 1;
        const Entry& e = m_entries[static_cast<size_t>(i)];
        if (e.nameHash == hash && e.name == name) return i;
    }
    return -1;
}

// ---------------------------------------------------------------------------
// Low-level helpers

void CZipArchive::requireOpen() const {
    if (IsClosed()) throw CZipException(CZipException::generic, "The archive is not open");
}

void CZipArchive::requireWritable() const {
    requireOpen();
    if (m_readOnly) throw CZipException(CZipException::generic, "The archive is open read-only");
}

void CZipArchive::readAt(uint64_t pos, void* buf, size_t n) const {
    if (n == 0) return;
    if (pos > INT64_MAX) corrupt("Offset outside the archive");
    m_file->Seek(static_cast<int64_t>(pos));
    if (m_file->Read(buf, n) != n) corrupt("Unexpected end of the archive");
}

void CZipArchive::writeAt(uint64_t pos, const void* buf, size_t n) {
    m_file->Seek(static_cast<int64_t>(pos));
    m_file->Write(buf, n);
}

uint64_t CZipArchive::estimatedSpan(const Entry& e) const {
    if (e.span) return e.span;
    return kLocalSize + e.raw().size() + e.extraLen + e.compSize + ((e.flags & kFlagDescriptor) ? 16 : 0);
}

uint64_t CZipArchive::liveBytes() const {
    uint64_t sum = 0;
    for (const Entry& e : m_entries) sum += estimatedSpan(e);
    return sum;
}

uint64_t CZipArchive::GetGarbageBytes() const { return m_garbage; }

void CZipArchive::loadLocal(Entry& e) const {
    if (e.span) return;
    unsigned char h[kLocalSize];
    readAt(e.offset, h, kLocalSize);
    if (get32(h) != kSigLocal) corrupt("Local header of '" + e.name + "' not found");
    size_t nameLen = get16(h + 26), extraLen = get16(h + 28);
    uint64_t dataOffset = e.offset + kLocalSize + nameLen + extraLen;
    uint64_t length = m_file->GetLength();
    if (dataOffset > length || e.compSize > length - dataOffset) corrupt("Data of '" + e.name + "' lies outside the archive");
    uint64_t descriptor = 0;
    if (e.flags & kFlagDescriptor) {
        // Streamed entries: 32-bit sizes, or 64-bit when the local header has a ZIP64 block.
        std::vector<unsigned char> extra(extraLen);
        readAt(e.offset + kLocalSize + nameLen, extra.data(), extraLen);
        bool zip64 = false;
        for (size_t xp = 0; extraLen - xp >= 4;) {
            uint16_t id = get16(&extra[xp]), len = get16(&extra[xp + 2]);
            if (id == 0x0001) zip64 = true;
            xp += 4 + size_t(len);
            if (xp > extraLen) break;
        }
        descriptor = zip64 ? 20 : 12;
        uint64_t at = dataOffset + e.compSize;
        unsigned char sig[4];
        if (length - at >= 4) {
            readAt(at, sig, 4);
            if (get32(sig) == kSigDescriptor) descriptor += 4;
        }
        descriptor = std::min(descriptor, length - at);
    }
    e.dataOffset = dataOffset;
    e.span = dataOffset + e.compSize + descriptor - e.offset;
}

// ---------------------------------------------------------------------------
// Queries

int CZipArchive::FindFile(const std::string& utf8Name, bool caseSensitive) const {
    if (IsClosed() || utf8Name.empty()) return -1;
    if (caseSensitive) {
        return indexLookup(utf8Name);
    }
    auto lower = [](unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; };
    for (size_t i = 0; i < m_entries.size(); ++i) {
        const std::string& n = m_entries[i].name;
        if (n.size() != utf8Name.size()) continue;
        size_t k = 0;
        while (k < n.size() && lower(static_cast<unsigned char>(n[k])) == lower(static_cast<unsigned char>(utf8Name[k]))) ++k;
        if (k == n.size()) return static_cast<int>(i);
    }
    return -1;
}

bool CZipArchive::GetEntryInfo(int index, CZipEntryInfo* info) const {
    if (!info || index < 0 || index >= GetCount()) return false;
    const Entry& e = m_entries[static_cast<size_t>(index)];
    info->name = e.name;
    info->compressedSize = e.compSize;
    info->uncompressedSize = e.uncompSize;
    info->crc = e.crc;
    info->method = e.method;
    info->flags = e.flags;
    info->dosTime = e.dosTime;
    info->dosDate = e.dosDate;
    info->encrypted = (e.flags & kFlagEncrypted) != 0;
    info->directory = !e.name.empty() && e.name.back() == '/';
    info->comment = std::string(e.comment());
    return true;
}

std::string CZipArchive::GetEntryName(int index) const {
    if (index < 0 || index >= GetCount()) return std::string();
    return m_entries[static_cast<size_t>(index)].name;
}

bool CZipArchive::SetEncryptionMethod(int method) {
    if (method != encNone && method != encStandard) return false;
    m_encryption = method;
    return true;
}

// ---------------------------------------------------------------------------
// Extraction

bool CZipArchive::ExtractFile(int index, CZipAbstractFile& out, size_t bufferSize) {
    requireOpen();
    if (index < 0 || index >= GetCount()) return false;
    Entry& e = m_entries[static_cast<size_t>(index)];
    const bool encrypted = (e.flags & kFlagEncrypted) != 0;
    if (encrypted && ((e.flags & kFlagStrong) || e.method == 99))
        throw CZipException(CZipException::unsupported, "Encryption method of '" + e.name + "' is not supported");
    if (e.method != kMethodStored && e.method != kMethodDeflated)
        throw CZipException(CZipException::unsupported,
                            "Compression method " + std::to_string(e.method) + " of '" + e.name + "' is not supported");
    if (e.uncompSize > ZipLimits::kMaxEntrySize)
        throw CZipException(CZipException::tooBig, "Entry '" + e.name + "' is too large");
    loadLocal(e);

    // Buffers no larger than the entry: small parts are read often, and zeroing a
    // full-size buffer for each of them would cost more than inflating them.
    const size_t bufSize = clampBuffer(static_cast<size_t>(std::min<uint64_t>(bufferSize, std::max(e.compSize, e.uncompSize))));
    std::vector<unsigned char> in(bufSize);
    uint64_t pos = e.dataOffset;
    uint64_t remaining = e.compSize;
    std::unique_ptr<ZipCrypto> crypt;
    if (encrypted) {
        if (m_password.empty()) throw CZipException(CZipException::badPassword, "A password is needed for '" + e.name + "'");
        if (remaining < kCryptHeaderSize) corrupt("Corrupt encrypted entry '" + e.name + "'");
        crypt = std::make_unique<ZipCrypto>(m_password);
        unsigned char header[kCryptHeaderSize];
        readAt(pos, header, kCryptHeaderSize);
        crypt->decrypt(header, kCryptHeaderSize);
        unsigned char check =
            (e.flags & kFlagDescriptor) ? static_cast<unsigned char>(e.dosTime >> 8) : static_cast<unsigned char>(e.crc >> 24);
        if (header[kCryptHeaderSize - 1] != check)
            throw CZipException(CZipException::badPassword, "Wrong password for '" + e.name + "'");
        pos += kCryptHeaderSize;
        remaining -= kCryptHeaderSize;
    }
    auto readChunk = [&]() -> size_t {
        size_t n = static_cast<size_t>(std::min<uint64_t>(remaining, bufSize));
        readAt(pos, in.data(), n);
        if (crypt) crypt->decrypt(in.data(), n);
        pos += n;
        remaining -= n;
        return n;
    };

    uint32_t crc = 0;
    uint64_t total = 0;
    if (e.method == kMethodStored) {
        if (remaining != e.uncompSize) corrupt("Sizes of stored entry '" + e.name + "' disagree");
        while (remaining > 0) {
            size_t n = readChunk();
            crc = crcOf(crc, in.data(), n);
            out.Write(in.data(), n);
        }
        total = e.uncompSize;
    } else {
        Inflater inf;
        std::vector<unsigned char> outBuf(bufSize);
        int ret = Z_OK;
        while (ret != Z_STREAM_END) {
            if (inf.zs.avail_in == 0 && remaining > 0) {
                inf.zs.avail_in = static_cast<uInt>(readChunk());
                inf.zs.next_in = in.data();
            }
            inf.zs.next_out = outBuf.data();
            inf.zs.avail_out = static_cast<uInt>(outBuf.size());
            ret = inflate(&inf.zs, Z_NO_FLUSH);
            if (ret == Z_NEED_DICT || ret == Z_DATA_ERROR || ret == Z_MEM_ERROR)
                corrupt("Corrupt compressed data in '" + e.name + "'");
            size_t produced = outBuf.size() - inf.zs.avail_out;
            if (produced > e.uncompSize - total) {
                // Write up to the stated size, never past it: a zip bomb stops here.
                out.Write(outBuf.data(), static_cast<size_t>(e.uncompSize - total));
                corrupt("Entry '" + e.name + "' inflates beyond its stated size");
            }
            crc = crcOf(crc, outBuf.data(), produced);
            out.Write(outBuf.data(), produced);
            total += produced;
            if (ret == Z_BUF_ERROR || (ret == Z_OK && produced == 0 && inf.zs.avail_in == 0)) {
                if (remaining == 0) corrupt("Compressed data of '" + e.name + "' is truncated");
            }
        }
        if (total != e.uncompSize) corrupt("Entry '" + e.name + "' is shorter than its stated size");
    }
    if (crc != e.crc)
        throw CZipException(CZipException::badCrc,
                            encrypted ? "CRC error in '" + e.name + "' (wrong password?)" : "CRC error in '" + e.name + "'");
    return true;
}

// ---------------------------------------------------------------------------
// Adding, removing, renaming

bool CZipArchive::AddNewFile(const void* data, size_t size, const std::string& utf8Name, int level, int smartness,
                             size_t bufferSize) {
    if (!data) size = 0;
    Source src(data, size);
    return addEntry(src, utf8Name, level, smartness, bufferSize);
}

bool CZipArchive::AddNewFile(CZipAbstractFile& source, const std::string& utf8Name, int level, int smartness, size_t bufferSize) {
    requireWritable();
    if (&source == m_file) throw CZipException(CZipException::generic, "Cannot add the archive to itself");
    Source src(source);
    return addEntry(src, utf8Name, level, smartness, bufferSize);
}

bool CZipArchive::addEntry(Source& src, const std::string& name, int level, int smartness, size_t bufferSize) {
    requireWritable();
    if (name.empty() || indexLookup(name) >= 0) return false;
    if (name.size() > ZipLimits::kMaxNameLength) throw CZipException(CZipException::tooBig, "Entry name too long");
    const uint64_t size = src.size();
    if (size > ZipLimits::kMaxEntrySize) throw CZipException(CZipException::tooBig, "Entry '" + name + "' is too large");
    if (m_entries.size() >= ZipLimits::kMaxEntries)
        throw CZipException(CZipException::tooBig, "Too many entries for one archive");
    const uint64_t offset = m_dataEnd;
    // Deflate never grows data by more than a small fraction, so whether the local
    // header needs ZIP64 sizes is known before the header is written.
    const bool zip64 = size + size / 500 + 1024 + kCryptHeaderSize >= g_zip64Limits.bytes;
    const uint64_t headerSize = kLocalSize + name.size() + (zip64 ? kZip64LocalExtraSize : 0);

    const bool encrypt = IsEncrypted();
    const bool directory = name.back() == '/';
    // Buffers no larger than the data: small entries are the common case.
    const size_t bufSize = static_cast<size_t>(std::min<uint64_t>(clampBuffer(bufferSize), std::max<uint64_t>(size, 4096)));
    std::unique_ptr<unsigned char[]> inHolder(new unsigned char[bufSize]);
    unsigned char* const in = inHolder.get();

    src.rewind();
    size_t peek = src.read(in, 8);
    const uint16_t method = directory || storesAsIs(in, peek, size, level, smartness) ? kMethodStored : kMethodDeflated;
    int zlevel = (level < 0 || level > 9) ? 6 : level;

    uint32_t crc = 0;
    if (encrypt) {  // the encryption header's check byte is the CRC's top byte
        src.rewind();
        for (size_t n; (n = src.read(in, bufSize)) > 0;) crc = crcOf(crc, in, n);
    }

    Entry e;
    e.name = name;
    e.flags = static_cast<uint16_t>((encrypt ? kFlagEncrypted : 0) | (isAscii(name) ? 0 : kFlagUtf8));
    e.dosDate = m_dosDate;
    e.dosTime = m_dosTime;
    e.externalAttr = directory ? 0x10 : 0;
    e.offset = offset;
    e.uncompSize = size;

    auto localHeader = [&]() { return localHeaderOf(e, zip64); };

    const uint64_t dataOffset = offset + headerSize;

    // Writes the data with the method; returns the stored byte count.
    auto writeData = [&](uint16_t how) -> uint64_t {
        m_file->Seek(static_cast<int64_t>(dataOffset));
        src.rewind();
        std::unique_ptr<ZipCrypto> crypt;
        uint64_t written = 0;
        if (encrypt) {
            crypt = std::make_unique<ZipCrypto>(m_password);
            unsigned char header[kCryptHeaderSize];
            static thread_local std::random_device rd;
            for (size_t i = 0; i + 1 < kCryptHeaderSize; ++i) header[i] = static_cast<unsigned char>(rd());
            header[kCryptHeaderSize - 1] = static_cast<unsigned char>(crc >> 24);
            crypt->encrypt(header, kCryptHeaderSize);
            m_file->Write(header, kCryptHeaderSize);
            written += kCryptHeaderSize;
        }
        uint32_t runningCrc = 0;
        auto emit = [&](unsigned char* p, size_t n) {
            if (crypt) crypt->encrypt(p, n);
            m_file->Write(p, n);
            written += n;
        };
        if (how == kMethodStored) {
            for (size_t n; (n = src.read(in, bufSize)) > 0;) {
                runningCrc = crcOf(runningCrc, in, n);
                emit(in, n);
            }
        } else {
            z_stream& zs = Deflater::acquire(zlevel);
            std::unique_ptr<unsigned char[]> outBuf(new unsigned char[bufSize]);
            int flush = Z_NO_FLUSH;
            do {
                size_t n = src.read(in, bufSize);
                runningCrc = crcOf(runningCrc, in, n);
                flush = n == 0 ? Z_FINISH : Z_NO_FLUSH;
                zs.next_in = in;
                zs.avail_in = static_cast<uInt>(n);
                do {
                    zs.next_out = outBuf.get();
                    zs.avail_out = static_cast<uInt>(bufSize);
                    deflate(&zs, flush);
                    size_t have = bufSize - zs.avail_out;
                    if (have) emit(outBuf.get(), have);
                } while (zs.avail_out == 0);
            } while (flush != Z_FINISH);
        }
        crc = runningCrc;
        return written;
    };

    e.method = method;
    uint64_t stored = 0;
    // A small entry from memory is compressed first and written with its final
    // header at once: a package of thousands of small parts is written with
    // thousands of system calls less.
    const unsigned char* const inMemory = encrypt ? nullptr : src.memory();
    auto prepared = inMemory ? m_prepared.find(inMemory) : m_prepared.end();
    if (prepared != m_prepared.end() &&
        (prepared->second.size != size || prepared->second.level != level || prepared->second.smartness != smartness ||
         prepared->second.deflated != (method == kMethodDeflated)))
        prepared = m_prepared.end();
    const unsigned char* const memory = size > kOneWriteSize && prepared == m_prepared.end() ? nullptr : inMemory;
    std::string packed;
    if (prepared != m_prepared.end()) {
        crc = prepared->second.crc;
        packed = std::move(prepared->second.packed);
        m_prepared.erase(prepared);
        if (method == kMethodDeflated && (smartness & zipsmCheckForEff) && packed.size() >= size) e.method = kMethodStored;
        stored = e.method == kMethodDeflated ? packed.size() : size;
    } else if (memory) {
        crc = crcOf(0, memory, static_cast<size_t>(size));
        if (method == kMethodDeflated) {
            deflateInto(Deflater::acquire(zlevel, size), memory, static_cast<size_t>(size), true, &packed);
            if ((smartness & zipsmCheckForEff) && packed.size() >= size) e.method = kMethodStored;
        }
        stored = e.method == kMethodDeflated ? packed.size() : size;
    } else {
        m_modified = true;  // from here on the old directory may be overwritten
        writeAt(offset, localHeader().data(), headerSize);
        stored = writeData(method);
        if (method == kMethodDeflated && (smartness & zipsmCheckForEff) && stored - (encrypt ? kCryptHeaderSize : 0) >= size) {
            e.method = kMethodStored;
            stored = writeData(kMethodStored);
        }
    }
    const uint64_t end = dataOffset + stored;
    e.versionNeeded = zip64 ? kZip64Version : (e.method == kMethodDeflated || encrypt || directory) ? 20 : 10;
    e.crc = crc;
    e.compSize = stored;
    if (memory) {
        std::string block = localHeader();
        if (e.method == kMethodDeflated) block += packed;
        else block.append(reinterpret_cast<const char*>(memory), static_cast<size_t>(size));
        m_modified = true;
        writeAt(offset, block.data(), block.size());
    } else {
        writeAt(offset, localHeader().data(), headerSize);  // now with the final CRC and sizes
    }
    e.dataOffset = dataOffset;
    e.span = end - offset;
    m_entries.push_back(std::move(e));
    indexInsert(GetCount() - 1);
    m_dataEnd = end;
    return true;
}

void CZipArchive::PrepareNewFiles(const std::vector<Data>& entries, int level, int smartness) {
    requireWritable();
    m_prepared.clear();
    if (IsEncrypted()) return;  // encrypted entries are written as they are added
    try {
        prepare(entries, level, smartness);
    } catch (...) {
        m_prepared.clear();  // nothing half made is written
        throw;
    }
}

void CZipArchive::prepare(const std::vector<Data>& entries, int level, int smartness) {
    const int zlevel = (level < 0 || level > 9) ? 6 : level;
    // The work in pieces: a piece of an entry, its CRC and compressed bytes.
    struct Piece {
        const unsigned char* data;
        size_t from, to, size;  // size: of the whole entry
        Prepared* entry;
        uint32_t crc = 0;
        std::string packed;
    };
    std::vector<Piece> pieces;
    uint64_t total = 0;
    for (const Data& d : entries) {
        const unsigned char* data = static_cast<const unsigned char*>(d.data);
        if (!data || d.size == 0 || d.size > ZipLimits::kMaxEntrySize) continue;
        auto inserted = m_prepared.emplace(data, Prepared());
        if (!inserted.second) continue;
        Prepared& p = inserted.first->second;
        p.size = d.size;
        p.level = level;
        p.smartness = smartness;
        p.deflated = !storesAsIs(data, std::min<size_t>(d.size, 8), d.size, level, smartness);
        for (size_t from = 0; from < d.size; from += kPieceSize)
            pieces.push_back(Piece{data, from, std::min(d.size, from + kPieceSize), d.size, &p, 0, std::string()});
        total += d.size;
    }
    std::atomic<size_t> next{0};
    std::mutex failed;
    std::exception_ptr failure;
    auto work = [&]() {
        try {
            for (size_t i; (i = next++) < pieces.size();) {
                Piece& piece = pieces[i];
                const size_t n = piece.to - piece.from;
                piece.crc = crcOf(0, piece.data + piece.from, n);
                if (!piece.entry->deflated) continue;
                // An entry in one piece gets the compressor AddNewFile would give it.
                const bool last = piece.to == piece.size;
                z_stream& zs = Deflater::acquire(zlevel, piece.from == 0 && last ? n : 0);
                if (piece.from > 0) {
                    const size_t dictionary = std::min(piece.from, kDictionarySize);
                    if (deflateSetDictionary(&zs, piece.data + piece.from - dictionary, static_cast<uInt>(dictionary)) != Z_OK)
                        throw CZipException(CZipException::generic, "zlib dictionary failed");
                }
                deflateInto(zs, piece.data + piece.from, n, last, &piece.packed);
            }
        } catch (...) {
            std::lock_guard<std::mutex> lock(failed);
            if (!failure) failure = std::current_exception();
            next = pieces.size();
        }
    };
    std::thread helper;
    if (total >= kThreadedSize && pieces.size() > 1 && std::thread::hardware_concurrency() > 1) {
        try {
            helper = std::thread(work);
        } catch (const std::system_error&) {
            // no second thread: this one does it all
        }
    }
    work();
    if (helper.joinable()) helper.join();
    if (failure) std::rethrow_exception(failure);
    for (Piece& piece : pieces) {
        Prepared& p = *piece.entry;
        p.crc = piece.from == 0
                    ? piece.crc
                    : static_cast<uint32_t>(crc32_combine(p.crc, piece.crc, static_cast<z_off_t>(piece.to - piece.from)));
        if (piece.from == 0) p.packed = std::move(piece.packed);
        else p.packed += piece.packed;
    }
}

bool CZipArchive::CopyEntryFrom(const CZipArchive& source, int index, const std::string& utf8Name) {
    requireWritable();
    source.requireOpen();
    if (index < 0 || index >= source.GetCount()) return false;
    Entry e = source.m_entries[static_cast<size_t>(index)];
    const std::string name = utf8Name.empty() ? e.name : utf8Name;
    if (name.empty() || indexLookup(name) >= 0) return false;
    if (name.size() > ZipLimits::kMaxNameLength) throw CZipException(CZipException::tooBig, "Entry name too long");
    if ((e.flags & kFlagEncrypted) || (e.method != kMethodStored && e.method != kMethodDeflated))
        throw CZipException(CZipException::unsupported, "Entry '" + e.name + "' cannot be copied");
    if (m_entries.size() >= ZipLimits::kMaxEntries)
        throw CZipException(CZipException::tooBig, "Too many entries for one archive");
    source.loadLocal(e);
    const uint64_t offset = m_dataEnd;
    const bool zip64 = e.compSize >= g_zip64Limits.bytes || e.uncompSize >= g_zip64Limits.bytes;
    const uint64_t dataOffset = offset + kLocalSize + name.size() + (zip64 ? kZip64LocalExtraSize : 0);

    // A fresh local header with the directory's values: no data descriptor, no
    // extra field but ZIP64 sizes where they need it.
    Entry copy;
    copy.name = name;
    copy.flags = static_cast<uint16_t>((e.flags & ~(kFlagDescriptor | kFlagUtf8)) | (isAscii(name) ? 0 : kFlagUtf8));
    copy.method = e.method;
    copy.versionNeeded = zip64 ? kZip64Version : e.method == kMethodDeflated ? 20 : 10;
    copy.crc = e.crc;
    copy.compSize = e.compSize;
    copy.uncompSize = e.uncompSize;
    copy.dosDate = e.dosDate;
    copy.dosTime = e.dosTime;
    copy.externalAttr = e.externalAttr;
    copy.offset = offset;
    std::string h = localHeaderOf(copy, zip64);
    m_modified = true;
    const bool whole = e.compSize <= kOneWriteSize;
    if (whole) {  // header and data in one write
        const size_t headerSize = h.size();
        h.resize(headerSize + static_cast<size_t>(e.compSize));
        source.readAt(e.dataOffset, &h[headerSize], static_cast<size_t>(e.compSize));
    }
    writeAt(offset, h.data(), h.size());
    std::vector<unsigned char> buf(whole ? 0 : static_cast<size_t>(std::min<uint64_t>(e.compSize, 1u << 20)));
    for (uint64_t done = whole ? e.compSize : 0; done < e.compSize;) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(e.compSize - done, buf.size()));
        source.readAt(e.dataOffset + done, buf.data(), n);
        writeAt(dataOffset + done, buf.data(), n);
        done += n;
    }
    copy.dataOffset = dataOffset;
    copy.span = dataOffset + copy.compSize - offset;
    m_entries.push_back(std::move(copy));
    indexInsert(GetCount() - 1);
    m_dataEnd = dataOffset + e.compSize;
    return true;
}

bool CZipArchive::RemoveFile(int index) {
    requireWritable();
    if (index < 0 || index >= GetCount()) return false;
    Entry& e = m_entries[static_cast<size_t>(index)];
    try {
        loadLocal(e);
    } catch (const CZipException&) {
        e.span = 0;  // a broken entry: its bytes are left alone
    }
    bool last = e.span != 0 && e.offset + e.span == m_dataEnd;
    for (size_t i = 0; last && i < m_entries.size(); ++i)
        if (i != static_cast<size_t>(index) && m_entries[i].offset >= e.offset) last = false;
    if (last) m_dataEnd = e.offset;  // reuse the space at once
    else m_garbage += e.span;
    indexRemove(index);
    m_entries.erase(m_entries.begin() + index);
    m_modified = true;
    return true;
}

bool CZipArchive::RemoveFiles(std::vector<int> indices) {
    requireWritable();
    std::sort(indices.begin(), indices.end());
    indices.erase(std::unique(indices.begin(), indices.end()), indices.end());
    if (!indices.empty() && (indices.front() < 0 || indices.back() >= GetCount())) return false;
    std::vector<bool> removed(m_entries.size(), false);
    for (int index : indices) {
        Entry& e = m_entries[static_cast<size_t>(index)];
        try {
            loadLocal(e);
        } catch (const CZipException&) {
            e.span = 0;  // a broken entry: its bytes are left alone
        }
        m_garbage += e.span;
        removed[static_cast<size_t>(index)] = true;
    }
    size_t kept = 0;
    for (size_t i = 0; i < m_entries.size(); ++i) {
        if (removed[i]) continue;
        if (kept != i) m_entries[kept] = std::move(m_entries[i]);
        ++kept;
    }
    m_entries.resize(kept);
    rebuildIndex();
    m_modified = m_modified || !indices.empty();
    return true;
}

bool CZipArchive::RenameFile(int index, const std::string& utf8NewName) {
    requireWritable();
    if (index < 0 || index >= GetCount() || utf8NewName.empty()) return false;
    if (utf8NewName.size() > ZipLimits::kMaxNameLength) throw CZipException(CZipException::tooBig, "Entry name too long");
    Entry& e = m_entries[static_cast<size_t>(index)];
    if (e.name == utf8NewName) return true;
    if (indexLookup(utf8NewName) >= 0) return false;
    loadLocal(e);
    unsigned char h[kLocalSize];
    readAt(e.offset, h, kLocalSize);
    m_modified = true;
    uint16_t flags = static_cast<uint16_t>((e.flags & ~kFlagUtf8) | (isAscii(utf8NewName) ? 0 : kFlagUtf8));
    if (get16(h + 26) == utf8NewName.size()) {
        // Same length: patch the local header in place.
        uint16_t localFlags = static_cast<uint16_t>((get16(h + 6) & ~kFlagUtf8) | (flags & kFlagUtf8));
        h[6] = static_cast<unsigned char>(localFlags & 0xff);
        h[7] = static_cast<unsigned char>(localFlags >> 8);
        writeAt(e.offset, h, kLocalSize);
        writeAt(e.offset + kLocalSize, utf8NewName.data(), utf8NewName.size());
    } else {
        uint64_t oldSpan = e.span;
        copyEntryRaw(e, m_dataEnd, &utf8NewName);
        m_dataEnd = e.offset + e.span;
        m_garbage += oldSpan;
    }
    e.name = utf8NewName;
    e.nameHash = 0;
    e.aux.erase(0, e.rawLen);
    e.rawLen = 0;
    e.flags = flags;
    rebuildIndex();
    return true;
}

std::string CZipArchive::localHeaderOf(const Entry& e, bool zip64) {
    std::string h;
    put32(h, kSigLocal);
    put16(h, zip64 ? kZip64Version : e.versionNeeded);
    put16(h, e.flags);
    put16(h, e.method);
    put16(h, e.dosTime);
    put16(h, e.dosDate);
    put32(h, e.crc);
    put32(h, zip64 ? 0xFFFFFFFF : e.compSize);
    put32(h, zip64 ? 0xFFFFFFFF : e.uncompSize);
    put16(h, static_cast<uint32_t>(e.name.size()));
    put16(h, zip64 ? kZip64LocalExtraSize : 0);
    h += e.name;
    if (zip64) {
        put16(h, kZip64ExtraId);
        put16(h, kZip64LocalExtraSize - 4);
        put64(h, e.uncompSize);
        put64(h, e.compSize);
    }
    return h;
}

// Copies an entry (local header, data, descriptor) to `to`, optionally with a new
// name. `to` is either at or past the end of the data, or below the entry (compaction).
void CZipArchive::copyEntryRaw(Entry& e, uint64_t to, const std::string* newName) {
    loadLocal(e);
    std::string header(static_cast<size_t>(e.dataOffset - e.offset), '\0');
    readAt(e.offset, &header[0], header.size());
    if (newName) {
        const unsigned char* h = reinterpret_cast<const unsigned char*>(header.data());
        size_t nameLen = get16(h + 26), extraLen = get16(h + 28);
        std::string extra = header.substr(kLocalSize + nameLen, extraLen);
        uint16_t flags = static_cast<uint16_t>((get16(h + 6) & ~kFlagUtf8) | (isAscii(*newName) ? 0 : kFlagUtf8));
        std::string fixed = header.substr(0, kLocalSize);
        fixed[6] = static_cast<char>(flags & 0xff);
        fixed[7] = static_cast<char>(flags >> 8);
        fixed[26] = static_cast<char>(newName->size() & 0xff);
        fixed[27] = static_cast<char>(newName->size() >> 8);
        header = fixed + *newName + extra;
    }
    const uint64_t body = e.span - (e.dataOffset - e.offset);
    const uint64_t newEnd = to + header.size() + body;
    // Forward chunked copy: safe also when the target overlaps below the source.
    std::vector<unsigned char> buf(static_cast<size_t>(std::min<uint64_t>(std::max<uint64_t>(body, 1), 1u << 20)));
    uint64_t from = e.dataOffset, dst = to + header.size();
    for (uint64_t done = 0; done < body;) {
        size_t n = static_cast<size_t>(std::min<uint64_t>(body - done, buf.size()));
        readAt(from + done, buf.data(), n);
        writeAt(dst + done, buf.data(), n);
        done += n;
    }
    writeAt(to, header.data(), header.size());
    e.offset = to;
    e.dataOffset = to + header.size();
    e.span = newEnd - to;
}

// ---------------------------------------------------------------------------
// Compaction and the directory

void CZipArchive::Compact() {
    requireWritable();
    compactImpl(true);
}

void CZipArchive::compactImpl(bool mustSucceed) {
    std::vector<size_t> order(m_entries.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return m_entries[a].offset < m_entries[b].offset; });
    // First check everything, so that a hostile layout is refused before any byte moves.
    try {
        uint64_t prevEnd = m_dataStart;
        for (size_t i : order) {
            Entry& e = m_entries[i];
            loadLocal(e);
            if (e.offset < prevEnd) corrupt("Entries overlap; the archive cannot be compacted");
            prevEnd = e.offset + e.span;
        }
        if (prevEnd > m_dataEnd) corrupt("Entries overlap the directory; the archive cannot be compacted");
    } catch (const CZipException&) {
        if (mustSucceed) throw;
        return;  // leave the garbage where it is
    }
    uint64_t pos = m_dataStart;
    for (size_t i : order) {
        Entry& e = m_entries[i];
        if (e.offset != pos) {
            m_modified = true;
            copyEntryRaw(e, pos, nullptr);
        }
        pos += e.span;
    }
    if (pos != m_dataEnd) m_modified = true;
    m_dataEnd = pos;
    m_garbage = 0;
}

void CZipArchive::writeDirectory() {
    const CZip64Limits limits = g_zip64Limits;
    size_t total = kEndSize + kEnd64Size + kLocatorSize + m_comment.size();
    for (const Entry& e : m_entries) total += kCentralSize + 28 + e.aux.size() + e.name.size();
    std::string out;
    out.reserve(total);
    std::string zip64;
    for (const Entry& e : m_entries) {
        // Values at or above the limit go to a ZIP64 extra field, in this order,
        // and their own fields say 0xFFFFFFFF.
        zip64.clear();
        if (e.uncompSize >= limits.bytes) put64(zip64, e.uncompSize);
        if (e.compSize >= limits.bytes) put64(zip64, e.compSize);
        if (e.offset >= limits.bytes) put64(zip64, e.offset);
        const std::string_view name = e.raw(), extra = e.extra(), comment = e.comment();
        const size_t extraSize = extra.size() + (zip64.empty() ? 0 : 4 + zip64.size());
        if (extraSize > 0xFFFF) throw CZipException(CZipException::tooBig, "Extra field of '" + e.name + "' too long");
        auto field32 = [&](uint64_t v) { return v >= limits.bytes ? 0xFFFFFFFFu : v; };
        auto atLeast = [&](uint16_t version) { return zip64.empty() ? version : std::max<uint16_t>(version, kZip64Version); };
        put32(out, kSigCentral);
        put16(out, static_cast<uint32_t>((e.versionMadeBy & 0xFF00) | atLeast(e.versionMadeBy & 0xFF)));
        put16(out, atLeast(e.versionNeeded));
        put16(out, e.flags);
        put16(out, e.method);
        put16(out, e.dosTime);
        put16(out, e.dosDate);
        put32(out, e.crc);
        put32(out, field32(e.compSize));
        put32(out, field32(e.uncompSize));
        put16(out, static_cast<uint32_t>(name.size()));
        put16(out, static_cast<uint32_t>(extraSize));
        put16(out, static_cast<uint32_t>(comment.size()));
        put16(out, 0);  // disk
        put16(out, e.internalAttr);
        put32(out, e.externalAttr);
        put32(out, field32(e.offset));
        out += name;
        if (!zip64.empty()) {
            put16(out, kZip64ExtraId);
            put16(out, static_cast<uint32_t>(zip64.size()));
            out += zip64;
        }
        out += extra;
        out += comment;
    }
    const uint64_t cdSize = out.size();
    if (cdSize > ZipLimits::kMaxCentralDirSize)
        throw CZipException(CZipException::tooBig, "The archive's directory would be too large");
    const uint64_t count = m_entries.size();
    if (count >= limits.entries || cdSize >= limits.bytes || m_dataEnd >= limits.bytes) {
        // The ZIP64 end record, and the locator that tells where it is.
        const uint64_t record = m_dataEnd + cdSize;
        put32(out, kSigEnd64);
        put64(out, kEnd64Size - 12);  // the record's size after this field
        put16(out, kZip64Version);
        put16(out, kZip64Version);
        put32(out, 0);  // this disk
        put32(out, 0);  // the directory's disk
        put64(out, count);
        put64(out, count);
        put64(out, cdSize);
        put64(out, m_dataEnd);
        put32(out, kSigLocator64);
        put32(out, 0);
        put64(out, record);
        put32(out, 1);  // disks in all
    }
    put32(out, kSigEnd);
    put16(out, 0);
    put16(out, 0);
    const uint32_t count16 = count >= limits.entries ? 0xFFFF : static_cast<uint32_t>(count);
    put16(out, count16);
    put16(out, count16);
    put32(out, cdSize >= limits.bytes ? 0xFFFFFFFF : cdSize);
    put32(out, m_dataEnd >= limits.bytes ? 0xFFFFFFFF : m_dataEnd);
    put16(out, static_cast<uint32_t>(m_comment.size()));
    out += m_comment;
    writeAt(m_dataEnd, out.data(), out.size());
    if (m_file->GetLength() != m_dataEnd + out.size()) m_file->SetLength(m_dataEnd + out.size());
}
