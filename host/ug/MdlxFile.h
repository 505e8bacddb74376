#pragma once
// The Mdlx 3D model file: a zip container with one or more cases, each with a
// name, a preview image (JPEG) and optional model data. The layout is described
// in docs/mdlx-format.md. Readers here only need the cases and their previews.
#include "host/core/KivRefCountedObject.h"
#include "host/ug/MkArray.h"
#include "host/ug/MkRGBImage.h"
#include "host/ug/MkString.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class CZipArchive;
class CZipMemFile;

namespace kiv {
namespace ug {

// The bytes of one model file, held in memory. Nothing here checks them: a
// model file is exchanged as it is (GetData, CopyData and Save keep it byte for byte).
class MdlxZipMemFile {
public:
    bool GetData(MkUbyteArray* bytes) const;   // copies the whole content out; false for null
    bool CopyData(const MkUbyteArray& bytes);  // replaces the content
    bool CopyData(const void* data, size_t size);
    // Replaces the content by these bytes, without copying them.
    void TakeData(std::vector<unsigned char>&& bytes) { m_bytes = std::move(bytes); }
    // Writes exactly the content to a disk file (UTF-8 path). False when it
    // cannot be written, and for an empty content, which is no model file.
    bool Save(const MkString& path) const;

    size_t GetSize() const { return m_bytes.size(); }
    const unsigned char* GetBuffer() const { return m_bytes.data(); }
    bool IsEmpty() const { return m_bytes.empty(); }

private:
    std::vector<unsigned char> m_bytes;
};

// A model file in memory, shared through counted references.
class MdlxMemoryFile : public kiv::RefCountedObject {
public:
    MdlxMemoryFile() = default;
    // Takes the complete file content (a copy). False for null data with a nonzero count.
    bool setFromRawData(const void* data, size_t count);
    MdlxZipMemFile* internal_mdlxZipMemFile() { return &m_file; }
    const MdlxZipMemFile* internal_mdlxZipMemFile() const { return &m_file; }

private:
    MdlxZipMemFile m_file;
};

// What is known of one case.
class MdlxInfoCase {
public:
    MdlxInfoCase() = default;
    MdlxInfoCase(int caseId, const MkString& name) : m_caseId(caseId), m_name(name) {}
    int GetCaseId() const { return m_caseId; }  // -1 when unset
    const MkString& GetName() const { return m_name; }

private:
    int m_caseId = -1;
    MkString m_name;
};

// Reads the cases of a model file. The file must stay unchanged while open.
class MdlxAccess {
public:
    enum AccessMode { READ = 1 };

    MdlxAccess();
    ~MdlxAccess();
    MdlxAccess(const MdlxAccess&) = delete;
    MdlxAccess& operator=(const MdlxAccess&) = delete;

    // False for a null file, a mode other than READ, or content that is not an
    // Mdlx file (not a zip, or without the identification entry).
    bool Open(MdlxZipMemFile* file, int accessMode);
    void Close();
    bool IsOpen() const;

    int GetNumCases() const { return static_cast<int>(m_cases.size()); }
    bool GetCase(int index, MdlxInfoCase* info) const;  // false for an invalid index or null
    // The preview stored with the case; false (image cleared) when the case has
    // none or it cannot be decoded.
    bool GetCaseSnapshot(int caseId, MkRGBImage* image);
    // The same within a memory limit: false, before anything is inflated or
    // decoded, when the stored preview's declared size plus the memory its decode
    // takes exceeds maxBytes. *usedBytes (when given) receives that sum, also on
    // failure (0 when the case has no preview).
    bool GetCaseSnapshot(int caseId, MkRGBImage* image, uint64_t maxBytes, uint64_t* usedBytes);
    // The case's model data; false when it has none.
    bool GetCaseModelData(int caseId, MkUbyteArray* bytes);

private:
    struct Case {
        int number;  // folder number in the container
        MdlxInfoCase info;
    };
    const Case* findCase(int caseId) const;
    bool readEntry(const std::string& name, std::vector<unsigned char>* bytes);

    std::unique_ptr<CZipMemFile> m_mem;
    std::unique_ptr<CZipArchive> m_zip;
    std::vector<Case> m_cases;
};

// Builds model files (for tests, samples and tools).
class MdlxWriter {
public:
    // Adds a case and returns its id (1, 2, ...), or -1 when the preview cannot
    // be encoded. An empty preview image stores no preview.
    int AddCase(const MkString& name, const MkRGBImage& preview, const void* modelData = nullptr, size_t modelSize = 0,
                int jpegQuality = 90);
    int GetNumCases() const { return static_cast<int>(m_cases.size()); }
    // The file content; false only when the container cannot be written.
    bool Write(MdlxZipMemFile* out) const;
    bool Write(MdlxMemoryFile* out) const { return out && Write(out->internal_mdlxZipMemFile()); }

private:
    struct Case {
        int id;
        MkString name;
        std::vector<unsigned char> jpeg;
        std::vector<unsigned char> model;
    };
    std::vector<Case> m_cases;
};

}  // namespace ug
}  // namespace kiv
