#pragma once
// The zip engine: reads and edits zip archives held in a disk file or in memory.
//
// Layout policy. Entries added since opening are written at once at the end of
// the data area (over the old central directory), so they read back before any
// close. Close writes the central directory and the end record after the data and
// truncates: its cost follows the bytes changed plus the directory, never the
// archive size; closing without changes writes nothing. Removing or replacing an
// entry leaves its bytes as garbage, except that space at the end of the data
// area is reused at once. Garbage is squeezed out by Compact(), and by Close()
// when it exceeds the live entries' bytes (so the cost stays amortized linear).
// An interrupted edit (crash, full disk) can leave the archive without a valid
// directory: callers that must survive that edit a copy.
//
// Reading accepts stored and deflated entries, data descriptors, ZIP64 (end record,
// locator and extra fields), archive comments, prefixed (self-extracting) data, and
// local headers whose extra fields differ from the central ones; the central
// directory's sizes and CRC are authoritative and every extraction checks the CRC.
// Writing never produces ZIP64: anything that would need it throws tooBig.
//
// Names are UTF-8 text compared exactly (bytes); they are never used as disk
// paths, so "..", absolute names and backslashes are harmless here. Names stored
// without the UTF-8 flag that are not valid UTF-8 are read as code page 437.
//
// Encryption is the traditional PKWARE method ("ZipCrypto"). It is weak: known
// plaintext attacks break it in minutes. It is used because it is the one method
// that unzip, Python's zipfile, 7-Zip and the Windows shell all read; it keeps
// casual readers out, nothing more. AES entries are not supported.
#include "host/ug/ZipFile.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// Limits against hostile or unsupported input. Exceeding one throws CZipException(tooBig).
namespace ZipLimits {
const uint64_t kMaxEntrySize = 1ull << 30;        // uncompressed bytes of one entry, read or written
const uint32_t kMaxEntries = 1u << 20;            // entries of one central directory, read or written
const uint64_t kMaxCentralDirSize = 64ull << 20;  // bytes of central directory, read into memory or written
const size_t kMaxNameLength = 4096;               // bytes of a name added or renamed
const size_t kSmallEntrySize = 64;                // zipsmSmallStored: entries below this are stored
const size_t kDefaultBufferSize = 65536;
}  // namespace ZipLimits

// Where writing turns to ZIP64: a directory of `entries` entries or more, or a
// size or offset of `bytes` or more, which the 16- and 32-bit fields of the plain
// format then mark as 0xFFFF or 0xFFFFFFFF. The defaults are the format's own
// limits; lower values (tests) write ZIP64 archives of a few bytes, higher ones
// are taken as the defaults. Returns the previous limits; not thread-safe.
struct CZip64Limits {
    uint64_t entries = 0xFFFF;
    uint64_t bytes = 0xFFFFFFFF;
};
CZip64Limits SetZip64Limits(CZip64Limits limits);

// What is known of one entry (from the central directory).
struct CZipEntryInfo {
    std::string name;             // UTF-8, "/" separated as stored
    uint64_t compressedSize = 0;  // stored bytes, including an encryption header
    uint64_t uncompressedSize = 0;
    uint32_t crc = 0;
    uint16_t method = 0;  // 0 stored, 8 deflated
    uint16_t flags = 0;   // general purpose bit flags
    uint16_t dosTime = 0, dosDate = 0;
    bool encrypted = false;
    bool directory = false;  // the name ends in "/"
    std::string comment;
};

class CZipArchive {
public:
    enum OpenMode {
        zipOpen = 1,          // existing archive, for reading and changing
        zipOpenReadOnly = 3,  // existing archive, reading only
        zipCreate = 4,        // new empty archive (a disk file is created or truncated)
    };
    // Add-behaviour flags ("smartness"), combined with |.
    enum Smartness {
        zipsmNone = 0,
        zipsmCheckForEff = 1,      // store the entry when deflate does not make it smaller
        zipsmSmallStored = 2,      // store entries under kSmallEntrySize bytes without trying deflate
        zipsmKnownCompressed = 4,  // store data that starts like JPEG, PNG, GIF, zip, gzip, 7z, bzip2 or xz
        zipsmSmartest = 7,
    };
    enum EncryptionMethod { encNone = 0, encStandard = 1 };

    CZipArchive() = default;
    ~CZipArchive();  // closes (writing pending changes); errors are swallowed
    CZipArchive(const CZipArchive&) = delete;
    CZipArchive& operator=(const CZipArchive&) = delete;

    // Opening fails with CZipException (I/O error, not an archive, ...); a false
    // result means the archive was already open or the mode is unknown.
    bool Open(const std::string& utf8Path, int mode = zipOpen);
    // The file is not owned and must outlive the open archive.
    bool Open(CZipAbstractFile& file, int mode = zipOpen);
    // Writes pending changes (may throw); the archive is closed even when it throws.
    void Close();
    bool IsClosed() const { return m_file == nullptr; }
    bool IsReadOnly() const { return m_readOnly; }
    bool IsModified() const { return m_modified; }

    int GetCount() const { return static_cast<int>(m_entries.size()); }
    // Index of the entry with exactly this name, or -1. caseSensitive false folds ASCII letters.
    int FindFile(const std::string& utf8Name, bool caseSensitive = true) const;
    bool GetEntryInfo(int index, CZipEntryInfo* info) const;  // false for an invalid index
    std::string GetEntryName(int index) const;                // empty for an invalid index
    const std::string& GetGlobalComment() const { return m_comment; }

    // Appends the entry's data at the output's position. False for an invalid
    // index; corrupt data, a CRC mismatch or a wrong password throw (the output
    // may then hold part of the data).
    bool ExtractFile(int index, CZipAbstractFile& out, size_t bufferSize = ZipLimits::kDefaultBufferSize);

    // Adds an entry. level: -1 default (6), 0 stored, 1..9 deflate. False when the
    // name is empty or already present; limits and I/O errors throw.
    bool AddNewFile(const void* data, size_t size, const std::string& utf8Name, int level = -1, int smartness = zipsmSmartest,
                    size_t bufferSize = ZipLimits::kDefaultBufferSize);
    // Compresses, ahead of AddNewFile, entries that are in memory (and computes
    // their CRC), on two threads when the machine has them; AddNewFile of the same
    // bytes (the same pointer and size, unchanged) at the same level and smartness
    // then writes what was prepared. An entry of many megabytes is compressed in
    // pieces, each with the piece before as its dictionary. The archive's bytes do
    // not depend on the number of threads. What is not added is dropped at the
    // next call and on Close. Errors throw as AddNewFile's do.
    struct Data {
        const void* data;
        size_t size;
    };
    void PrepareNewFiles(const std::vector<Data>& entries, int level = -1, int smartness = zipsmSmartest);
    // Adds the whole content of `source` (read from position 0).
    bool AddNewFile(CZipAbstractFile& source, const std::string& utf8Name, int level = -1, int smartness = zipsmSmartest,
                    size_t bufferSize = ZipLimits::kDefaultBufferSize);
    // Adds entry `index` of another open archive under `utf8Name` (its own name when
    // empty) without inflating it: the stored bytes, CRC and sizes are taken as they
    // are, so an entry that was never read is never checked either. False for an
    // invalid index or a name that is empty or present; entries this engine cannot
    // read (encrypted, other methods) throw unsupported.
    bool CopyEntryFrom(const CZipArchive& source, int index, const std::string& utf8Name = std::string());
    bool RemoveFile(int index);  // false for an invalid index
    // Removes several entries at once (the name index is rebuilt once, not per
    // entry); false, removing nothing, when an index is invalid.
    bool RemoveFiles(std::vector<int> indices);
    // False for an invalid index, an empty name or one another entry has.
    bool RenameFile(int index, const std::string& utf8NewName);

    // DOS date and time given to entries added from now on (default 1980-01-01
    // 00:00, so that equal input gives byte-identical archives).
    void SetDosDateTime(uint16_t dosDate, uint16_t dosTime) {
        m_dosDate = dosDate;
        m_dosTime = dosTime;
    }

    // Password for entries added from now on and for extracting encrypted ones;
    // empty clears it. Kept across Close/Open. Entries are encrypted when a
    // password is set and the method is encStandard (the default).
    void SetPassword(const std::string& password) { m_password = password; }
    bool SetEncryptionMethod(int method);  // false for an unknown method
    int GetEncryptionMethod() const { return m_encryption; }
    bool IsEncrypted() const { return !m_password.empty() && m_encryption != encNone; }

    // Rewrites the entries without gaps (in place) and the directory after them.
    void Compact();
    // Bytes of the data area that belong to no entry (an estimate until entries'
    // local headers have been read; exact for archives this engine wrote).
    uint64_t GetGarbageBytes() const;

private:
    struct Entry {
        std::string name;  // UTF-8
        // Rarely used bytes in one string (entries are kept small: archives hold
        // thousands): the stored name when it differs from `name` (code page 437),
        // the central extra field without its ZIP64 block, and the comment.
        std::string aux;
        uint64_t compSize = 0, uncompSize = 0, offset = 0;  // offset: physical local header position
        // Learnt from the local header: total bytes of header + data + descriptor (0: not read yet).
        uint64_t span = 0;
        uint64_t dataOffset = 0;
        uint32_t crc = 0, externalAttr = 0;
        uint16_t versionMadeBy = 20, versionNeeded = 20, flags = 0, method = 0;
        uint16_t dosTime = 0, dosDate = 0, internalAttr = 0;
        uint16_t rawLen = 0, extraLen = 0;
        // Hash of `name` for the index, kept so that the index is rebuilt after a
        // removal without hashing every name again (0: not computed yet).
        size_t nameHash = 0;
        std::string_view raw() const { return rawLen ? std::string_view(aux).substr(0, rawLen) : std::string_view(name); }
        std::string_view extra() const { return std::string_view(aux).substr(rawLen, extraLen); }
        std::string_view comment() const { return std::string_view(aux).substr(size_t(rawLen) + extraLen); }
    };
    class Source;

    bool openImpl(CZipAbstractFile* file, int mode);
    void readDirectory();
    void resetState();
    void requireOpen() const;
    void requireWritable() const;
    void readAt(uint64_t pos, void* buf, size_t n) const;
    void writeAt(uint64_t pos, const void* buf, size_t n);
    void loadLocal(Entry& e) const;  // fills span and dataOffset
    uint64_t estimatedSpan(const Entry& e) const;
    uint64_t liveBytes() const;
    // Name lookup: open addressing over entry indices (no allocation per entry).
    void rebuildIndex();
    void indexInsert(int index);
    void indexRemove(int index);
    int indexLookup(const std::string& name) const;
    bool addEntry(Source& src, const std::string& name, int level, int smartness, size_t bufferSize);
    void prepare(const std::vector<Data>& entries, int level, int smartness);  // PrepareNewFiles' work
    void copyEntryRaw(Entry& e, uint64_t to, const std::string* newName);
    // A local header of the entry's values; with zip64 both sizes are in its ZIP64
    // extra field (versionNeeded is then 45), else it has no extra field.
    static std::string localHeaderOf(const Entry& e, bool zip64);
    void writeDirectory();
    void compactImpl(bool mustSucceed);  // false: a layout that cannot be compacted is left alone

    CZipAbstractFile* m_file = nullptr;
    std::unique_ptr<CZipAbstractFile> m_ownedFile;
    bool m_readOnly = false;
    bool m_modified = false;
    std::vector<Entry> m_entries;
    std::vector<int> m_slots;  // entry index + 1, 0 for a free slot; size a power of two
    std::string m_comment;
    uint64_t m_dataStart = 0;  // first byte of the data area (bytes before it are kept)
    uint64_t m_dataEnd = 0;    // where the next entry goes / the directory is written
    uint64_t m_garbage = 0;
    uint16_t m_dosDate = 0x21, m_dosTime = 0;
    std::string m_password;
    int m_encryption = encStandard;
    // Entries compressed by PrepareNewFiles, by the address of their bytes.
    struct Prepared {
        size_t size = 0;
        int level = 0, smartness = 0;
        uint32_t crc = 0;
        bool deflated = false;
        std::string packed;
    };
    std::unordered_map<const void*, Prepared> m_prepared;
};
