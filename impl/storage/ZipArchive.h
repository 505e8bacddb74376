#pragma once
// Zip archives of the report component: repository files and Office packages.
// A thin layer over the host zip engine that adds one set of access modes, name
// normalisation, typed entries (XML documents, strings, int and float arrays,
// raw bytes), replacement of entries and uniform problem reports. Engine errors
// never leave this layer as exceptions: they become problems (Problems.h), the
// call answers false, -1 or null, and the archive stays usable.
//
// Names and paths are UTF-8: entries are named as they are stored, with "/"
// (word/document.xml); a "\" in a name passed in is taken for "/".
#include "LibCore/lfwString.h"
#include "host/core/KivRefCountedObject.h"
#include "host/ug/ZipArchive.h"
#include "impl/storage/Problems.h"
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace kiv {
namespace rep {

class XmlMemoryBudget;
class XmlDocument;

enum ZipAccessMode {
    ZIP_OPEN = 0,            // existing archive, for change
    ZIP_OPEN_READ_ONLY = 1,  // existing archive, reading only
    ZIP_CREATE = 2           // new archive (an existing file is overwritten)
};

// A growable in-memory byte file with a current position.
class ZipMemFile : public kiv::RefCountedObject {
public:
    ZipMemFile();
    ~ZipMemFile() override;

    // Writes the content to a disk file (UTF-8 path); false when that fails.
    bool save(const std::string& path) const;
    // A copy of the content.
    std::string getData() const { return std::string(reinterpret_cast<const char*>(m_file.GetData()), m_file.GetSize()); }
    // Replaces the content by a copy of the bytes; position 0.
    bool copyData(const void* data, size_t size);
    // Uses the caller's buffer as the content, without copying and without taking
    // ownership; the caller keeps it alive and unchanged while the file uses it.
    void setData(const void* bytes, size_t size);

    size_t getSize() const { return m_file.GetSize(); }
    const unsigned char* getBuffer() const { return m_file.GetData(); }  // null when empty
    CZipMemFile& engine() { return m_file; }
    const CZipMemFile& engine() const { return m_file; }

private:
    CZipMemFile m_file;
};

class ZipArchive final {
public:
    // Problems go to the list given, or to the archive's own when there is none.
    explicit ZipArchive(Problems* problems = nullptr);
    ~ZipArchive();  // closes; errors are reported
    ZipArchive(const ZipArchive&) = delete;
    ZipArchive& operator=(const ZipArchive&) = delete;

    bool open(const std::string& path, ZipAccessMode mode);
    // The memory file is not owned; it must outlive the open archive.
    bool open(ZipMemFile* memFile, ZipAccessMode mode);
    // Writes pending changes and closes. False (reported) when writing failed; the
    // archive is closed either way.
    bool close();
    // Rewrites the archive without the gaps that removed or replaced entries leave.
    bool compact();

    Problems& getProblems() const { return *m_problems; }
    void reportTo(Problems* problems) { m_problems = problems ? problems : &m_own; }

    bool isClosed() const { return m_zip.IsClosed(); }
    bool isReadOnly() const { return (static_cast<int>(m_mode) & 0xff) == ZIP_OPEN_READ_ONLY; }
    void setArchiveParameters(int compressionLevel, int smartness, int bufferSize, int fourth);

    // --- entries ---
    int getNumFiles() const { return m_zip.IsClosed() ? 0 : m_zip.GetCount(); }
    int findFile(const std::string& name) const;  // index or -1
    // The entry's stored name (with "/"); empty for an invalid index.
    std::string getStoredName(int index) const;
    // Uncompressed size from the directory; false for an invalid index.
    bool getFileSize(int index, uint64_t* size) const;
    // Whether bytes start as a zip archive does: a local file header, or the end
    // record of an archive without entries. Every caller that sniffs asks this.
    static bool looksLikeZip(const void* head, size_t size);
    // The same of a file's first bytes; ifUnreadable when the file cannot be read
    // (a caller that opens it next may prefer the opener's own error).
    static bool fileLooksLikeZip(const char* path, bool ifUnreadable = false);
    // A 64-bit hash of a text.
    static uint64_t hashText(const void* data, size_t size);

    bool extractFile(int index, ZipMemFile* memFile);
    // Adds the memory file's content as a new entry. Never adds a second entry under
    // a name that exists: that fails (reported).
    bool addNewFile(ZipMemFile* memFile, const std::string& name);
    // The entry's directory record (its name as stored, raw bytes); false for an invalid index.
    bool getEntryInfo(int index, CZipEntryInfo* info) const { return !m_zip.IsClosed() && m_zip.GetEntryInfo(index, info); }
    // Adds entry `index` of another open archive as it is stored, without inflating
    // it, under `name` (its own name when empty). False (reported) when that fails.
    bool copyEntryFrom(const ZipArchive& source, int index, const std::string& name = std::string());
    // How many entries this process has added to archives, in every way above and
    // below: what a package costs to write (each part once when written once).
    static uint64_t entriesWritten();

    // The entry's bytes in a malloc'ed buffer the caller free()s (one zero byte
    // follows the data), or null. maxSize > 0 refuses larger entries.
    unsigned char* readDataRaw(const std::string& name, size_t* size = nullptr, bool* notFound = nullptr, uint64_t maxSize = 0);
    // The entry's bytes inflated straight into *data (one allocation of the declared
    // size, no further copy); false (reported) when it cannot be read, or, with
    // maxSize > 0, when it is declared larger.
    bool readDataInto(const std::string& name, std::vector<unsigned char>* data, uint64_t maxSize = 0);
    bool readDataInto(const std::string& name, std::string* data, uint64_t maxSize = 0);
    bool writeDataRaw(const std::string& name, const void* data, size_t size, bool overwrite);
    // Compresses the bytes writeDataRaw is about to be given, all at once (on two
    // threads where there are two); the bytes must not change until they are
    // written. False (reported) when they could not be: writeDataRaw then compresses
    // each as it comes.
    bool prepareWrites(const std::vector<std::pair<const void*, size_t>>& data);

    bool readXmlFile(const std::string& name, XmlDocument* document);
    // What the XML documents read from this archive may hold at once; every
    // archive has its own, unless several share one. Reads of entries declared
    // larger than the budget's rest are refused before they inflate.
    void setXmlBudget(const std::shared_ptr<XmlMemoryBudget>& budget);
    const std::shared_ptr<XmlMemoryBudget>& xmlBudget() const { return m_xmlBudget; }
    bool writeXmlFile(const std::string& name, const XmlDocument* document, bool overwrite);

    bool removeEntry(const std::string& name);

private:
    // Parses the text of an entry read with readDataRaw (size bytes and a zero),
    // charging the text and the parse to the XML budget. The buffer grows in
    // place by the zeros the parser needs after it (so text may move; the caller
    // still free()s it). A refusal is reported, naming the part; a parse error is
    // left to the caller.
    bool parseXmlEntry(const std::string& name, unsigned char*& text, size_t size, XmlDocument* document);
    template <class Bytes>
    bool readInto(const std::string& name, Bytes* data, uint64_t maxSize);

    ZipAccessMode m_mode = ZIP_OPEN;
    int m_compressionLevel = -1;
    int m_smartness = CZipArchive::zipsmSmartest;
    int m_fourth = 65536;
    int m_bufferSize = 65536;
    std::shared_ptr<XmlMemoryBudget> m_xmlBudget;
    CZipArchive m_zip;
    mutable Problems m_own;
    Problems* m_problems;

    void report(ProblemCode code, const lfw::String& message) const;
    // An engine error: its cause decides the kind, ioCode that of an operating system's refusal.
    void engineProblem(const CZipException& e, ProblemCode ioCode) const;
    void engineProblem(const std::exception& e) const;

    // False (reported, naming the part) when an entry of that size cannot be read within the budget.
    bool affordable(const std::string& name, uint64_t declared) const;
};

}  // namespace rep
}  // namespace kiv
