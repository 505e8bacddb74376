#pragma once
// Disk files and path helpers of the unstructured-grid library.
#include "host/ug/MkString.h"
#include <cstdio>

class MkFile {
public:
    enum Mode { READ, WRITE, APPEND, READ_WRITE };

    MkFile(const MkString& path, Mode mode) : m_path(path), m_mode(mode) {}
    ~MkFile() { Close(); }
    MkFile(const MkFile&) = delete;
    MkFile& operator=(const MkFile&) = delete;

    bool Open();  // binary mode, UTF-8 path
    bool IsOpen() const { return m_file != nullptr; }
    size_t Write(const void* data, size_t size, size_t count);  // items written
    size_t Read(void* data, size_t size, size_t count);         // items read
    long long GetLength() const;                                // -1 when not open
    bool Close();                                               // false when a buffered write failed

private:
    MkString m_path;
    Mode m_mode;
    FILE* m_file = nullptr;
};

// access()-style test of a path: type 0 exists, 2 writable, 4 readable.
bool MkFileAccess(const MkString& path, int type = 0);
// File name after the last separator, with or without its extension.
MkString MkGetFileName(const MkString& path, bool withExtension = true);
// Directory part of the path; with keepSeparator its trailing separator is kept.
MkString MkGetFilePath(const MkString& path, bool keepSeparator);
// The path with the platform's separator ("/" here) in place of backslashes.
MkString MkGetAsNativePath(const MkString& path);
MkString MkGetPathSeparator();  // "/"

// Whole-file helpers (UTF-8 paths); false when the file cannot be opened or written.
bool MkReadFile(const MkString& path, std::string* bytes);
bool MkWriteFile(const MkString& path, const void* data, size_t size);
