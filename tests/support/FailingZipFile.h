#pragma once
// A double for the zip engine's files: archives opened by path while a
// ScopedFailingFiles lives get disk files that fail on purpose.
#include "host/ug/ZipFile.h"
#include <memory>
#include <string>
#include <unistd.h>

namespace kivtest {

struct FileFaults {
    int failWrite = 0;       // the n-th write (1-based, counted over all files) throws
    bool failClose = false;  // the flush that ends closing an archive throws
    // A created file is gone once closed, so moving it over its target fails.
    bool failRename = false;
};

class ScopedFailingFiles {
public:
    explicit ScopedFailingFiles(FileFaults faults) : m_faults(faults) {
        current() = this;
        m_previous = SetZipFileOpener(&open);
    }
    ~ScopedFailingFiles() {
        SetZipFileOpener(m_previous);
        current() = nullptr;
    }
    ScopedFailingFiles(const ScopedFailingFiles&) = delete;
    ScopedFailingFiles& operator=(const ScopedFailingFiles&) = delete;

    int writes() const { return m_writes; }
    int opened() const { return m_opened; }

private:
    class File : public CZipAbstractFile {
    public:
        File(ScopedFailingFiles* owner, const std::string& path, int mode)
            : m_owner(owner), m_file(path, mode), m_created(mode == CZipFile::modeCreate) {}
        ~File() override {
            const std::string path = m_file.GetFilePath();
            m_file.Close();
            if (m_created && m_owner->m_faults.failRename) ::unlink(path.c_str());
        }
        size_t Read(void* buffer, size_t count) override { return m_file.Read(buffer, count); }
        void Write(const void* buffer, size_t count) override {
            if (++m_owner->m_writes == m_owner->m_faults.failWrite)
                throw CZipException(CZipException::ioError, "Cannot write (test fault)");
            m_file.Write(buffer, count);
        }
        uint64_t Seek(int64_t offset, SeekOrigin origin) override { return m_file.Seek(offset, origin); }
        uint64_t GetPosition() const override { return m_file.GetPosition(); }
        uint64_t GetLength() const override { return m_file.GetLength(); }
        void SetLength(uint64_t length) override { m_file.SetLength(length); }
        void Flush() override {
            if (m_owner->m_faults.failClose) throw CZipException(CZipException::ioError, "Cannot close (test fault)");
            m_file.Flush();
        }
        bool IsReadOnly() const override { return m_file.IsReadOnly(); }

    private:
        ScopedFailingFiles* m_owner;
        CZipFile m_file;
        bool m_created;
    };

    static ScopedFailingFiles*& current() {
        static ScopedFailingFiles* instance = nullptr;
        return instance;
    }
    static std::unique_ptr<CZipAbstractFile> open(const std::string& path, int mode) {
        ++current()->m_opened;
        return std::make_unique<File>(current(), path, mode);
    }

    FileFaults m_faults;
    CZipFileOpener m_previous = nullptr;
    int m_writes = 0;
    int m_opened = 0;
};

}  // namespace kivtest
