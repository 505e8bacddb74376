#pragma once
// Byte files used by the zip engine (ZipArchive.h): an abstract random-access
// file, a disk file and a growable in-memory file, plus the engine's exception.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>

// Raised by the zip engine for I/O errors, corrupt or hostile archives, CRC or
// password mismatches, exceeded limits and misuse (e.g. writing to a read-only
// archive). Ordinary "not found" results are return values, not exceptions.
class CZipException : public std::exception {
public:
    enum Cause {
        generic,      // misuse: archive closed, opened read-only, ...
        ioError,      // the operating system refused a read, write or open
        badArchive,   // not a zip archive, truncated or inconsistent structures
        badCrc,       // extracted data does not match the stored CRC
        tooBig,       // a limit of ZipArchive.h was exceeded (sizes, counts, ZIP64 needed)
        unsupported,  // compression or encryption method, split archive
        badPassword,  // no password given, or the wrong one
    };

    CZipException(Cause cause, std::string description) : m_cause(cause), m_description(std::move(description)) {}
    const char* what() const noexcept override { return m_description.c_str(); }
    Cause GetCause() const { return m_cause; }
    const std::string& GetErrorDescription() const { return m_description; }

private:
    Cause m_cause;
    std::string m_description;
};

// A random-access byte file. Read returns fewer bytes than asked only at the end
// of the file; every other failure throws CZipException.
class CZipAbstractFile {
public:
    enum SeekOrigin { begin, current, end };

    virtual ~CZipAbstractFile() = default;

    virtual size_t Read(void* buffer, size_t count) = 0;
    virtual void Write(const void* buffer, size_t count) = 0;
    // Returns the new position; a position before the start throws.
    virtual uint64_t Seek(int64_t offset, SeekOrigin origin = begin) = 0;
    virtual uint64_t GetPosition() const = 0;
    virtual uint64_t GetLength() const = 0;
    virtual void SetLength(uint64_t length) = 0;  // the position is kept (it may lie past the end)
    virtual void Flush() {}
    virtual bool IsReadOnly() const { return false; }
};

// A disk file, unbuffered (what is written is read back at once).
class CZipFile : public CZipAbstractFile {
public:
    enum OpenMode {
        modeRead = 1,       // existing file, read only
        modeReadWrite = 2,  // existing file, read and write
        modeCreate = 3,     // created or truncated, read and write
    };

    CZipFile() = default;
    CZipFile(const std::string& utf8Path, int mode) { Open(utf8Path, mode); }
    ~CZipFile() override;
    CZipFile(const CZipFile&) = delete;
    CZipFile& operator=(const CZipFile&) = delete;

    void Open(const std::string& utf8Path, int mode);  // throws ioError
    void Close();
    bool IsOpen() const { return m_fd >= 0; }
    const std::string& GetFilePath() const { return m_path; }

    size_t Read(void* buffer, size_t count) override;
    void Write(const void* buffer, size_t count) override;
    uint64_t Seek(int64_t offset, SeekOrigin origin = begin) override;
    uint64_t GetPosition() const override { return m_pos; }
    uint64_t GetLength() const override;
    void SetLength(uint64_t length) override;
    bool IsReadOnly() const override { return m_readOnly; }

private:
    void requireOpen() const;
    [[noreturn]] void fail(const char* what) const;

    int m_fd = -1;
    bool m_readOnly = false;
    uint64_t m_pos = 0;
    std::string m_path;
};

// A growable in-memory byte file with a current position. The buffer is
// malloc'ed; capacity grows by at least the grow step and by half the current
// capacity, so that writing n bytes costs O(n).
class CZipMemFile : public CZipAbstractFile {
public:
    explicit CZipMemFile(size_t growBy = 1024) : m_growBy(growBy ? growBy : 1) {}
    // A file holding a copy of the bytes, position 0.
    CZipMemFile(const void* data, size_t size, size_t growBy = 1024);
    ~CZipMemFile() override;
    CZipMemFile(const CZipMemFile&) = delete;
    CZipMemFile& operator=(const CZipMemFile&) = delete;

    // Uses `buffer` as the content (position 0) without copying. Owned: a malloc'ed
    // buffer the file will realloc and free(). Not owned: the caller keeps it alive
    // and unchanged while the file uses it; the first change copies it.
    // The previous content is released.
    void Attach(const void* buffer, size_t size, bool owned);
    // Hands the content to the caller, who free()s it, and empties the file. The
    // buffer is never null and holds one zero byte past `size`, so text can be
    // used in place.
    unsigned char* Detach(size_t* size = nullptr);

    const unsigned char* GetData() const { return m_data; }  // null when empty
    size_t GetSize() const { return m_size; }
    void SetGrowBy(size_t growBy) { m_growBy = growBy ? growBy : 1; }
    void Clear();  // empty, position 0

    size_t Read(void* buffer, size_t count) override;
    void Write(const void* buffer, size_t count) override;
    uint64_t Seek(int64_t offset, SeekOrigin origin = begin) override;
    uint64_t GetPosition() const override { return m_pos; }
    uint64_t GetLength() const override { return m_size; }
    void SetLength(uint64_t length) override;

private:
    void makeWritable(size_t capacity);  // owned buffer of at least `capacity` bytes

    unsigned char* m_data = nullptr;
    size_t m_size = 0;
    size_t m_capacity = 0;  // 0 while the buffer is a caller's (not owned)
    size_t m_pos = 0;
    size_t m_growBy;
    bool m_owned = true;
};

// Where CZipArchive::Open(path, mode) gets its file: a function that returns the
// open file (mode as CZipFile::OpenMode) or throws CZipException like
// CZipFile::Open. Null, the default, opens a CZipFile. Tests install openers whose
// files fail on purpose. Returns the previous opener; not thread-safe.
using CZipFileOpener = std::unique_ptr<CZipAbstractFile> (*)(const std::string& utf8Path, int mode);
CZipFileOpener SetZipFileOpener(CZipFileOpener opener);
CZipFileOpener GetZipFileOpener();
