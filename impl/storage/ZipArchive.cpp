#include "impl/storage/ZipArchive.h"
#include "impl/storage/XmlDocument.h"
#include "LibCore/lfwString.h"
#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace kiv {
namespace rep {

// Engine errors are reported where they happen, so that the message carries the
// signature of the operation that failed. ioCode is the kind of an operating
// system's refusal there (a read's or a write's).
#define ZIP_CATCH(failResult, ioCode) \
    catch (const CZipException& e) {  \
        engineProblem(e, ioCode);     \
        return failResult;            \
    }                                 \
    catch (const std::exception& e) { \
        engineProblem(e);             \
        return failResult;            \
    }

namespace {

// Entries up to this size are extracted with the default copy buffer; larger ones
// with a buffer of their size, capped.
const uint64_t SMALL_ENTRY_SIZE = 262144;
const size_t DEFAULT_COPY_BUFFER = 65536;

// Entries added to archives by this process (ZipArchive::entriesWritten).
std::atomic<uint64_t> g_entriesWritten{0};

bool counted(bool added) {
    if (added) ++g_entriesWritten;
    return added;
}
const size_t MAX_COPY_BUFFER = 4194304;

// The name as stored in the archive: "/" separators, UTF-8.
// The name as stored in the archive: "/" separators.
std::string storedName(const std::string& name) {
    std::string out(name);
    std::replace(out.begin(), out.end(), '\\', '/');
    return out;
}

CZipArchive::OpenMode engineMode(ZipAccessMode mode) {
    switch (mode) {
    case ZIP_OPEN: return CZipArchive::zipOpen;
    case ZIP_OPEN_READ_ONLY: return CZipArchive::zipOpenReadOnly;
    case ZIP_CREATE: return CZipArchive::zipCreate;
    }
    return static_cast<CZipArchive::OpenMode>(0);
}

struct FreeDeleter {
    void operator()(unsigned char* p) const { std::free(p); }
};
using MallocBuffer = std::unique_ptr<unsigned char, FreeDeleter>;

}  // namespace

// ---------------------------------------------------------------------------
// ZipMemFile

ZipMemFile::ZipMemFile() : m_file(1024) {}

ZipMemFile::~ZipMemFile() = default;

bool ZipMemFile::save(const std::string& path) const {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    const size_t size = m_file.GetSize();
    bool written = size == 0 || std::fwrite(m_file.GetData(), 1, size, file) == size;
    written = std::fclose(file) == 0 && written;
    return written;
}

bool ZipMemFile::copyData(const void* data, size_t size) {
    if (size > 0 && !data) return false;
    try {
        // Replace the content: a longer old content must not survive behind the copy.
        m_file.Clear();
        if (size > 0) m_file.Write(data, size);
        m_file.Seek(0);
    } catch (const std::exception&) {
        return false;  // out of memory; the caller reports it
    }
    return true;
}

void ZipMemFile::setData(const void* bytes, size_t size) { m_file.Attach(bytes, bytes ? size : 0, false); }

// ---------------------------------------------------------------------------
// ZipArchive: opening and closing

ZipArchive::ZipArchive(Problems* problems)
    : m_xmlBudget(std::make_shared<XmlMemoryBudget>()), m_problems(problems ? problems : &m_own) {}

void ZipArchive::report(ProblemCode code, const lfw::String& message) const { m_problems->error(code, message.toStdString()); }

void ZipArchive::engineProblem(const CZipException& e, ProblemCode ioCode) const {
    ProblemCode code = ProblemCode::General;
    switch (e.GetCause()) {
    case CZipException::generic: code = ProblemCode::General; break;
    case CZipException::ioError: code = ioCode; break;
    case CZipException::badArchive: code = ProblemCode::NotAnArchive; break;
    case CZipException::badCrc: code = ProblemCode::DamagedEntry; break;
    case CZipException::tooBig: code = ProblemCode::TooLarge; break;
    case CZipException::unsupported:
    case CZipException::badPassword: code = ProblemCode::Unsupported; break;
    }
    report(code, lfw::String("Error returned from file access library :") + lfw::String(e.GetErrorDescription()));
}

void ZipArchive::engineProblem(const std::exception& e) const {
    report(dynamic_cast<const std::bad_alloc*>(&e) ? ProblemCode::Internal : ProblemCode::General,
           lfw::String("ZipArchive: %1").arg(e.what()));
}

void ZipArchive::setXmlBudget(const std::shared_ptr<XmlMemoryBudget>& budget) {
    if (budget) m_xmlBudget = budget;
}

bool ZipArchive::affordable(const std::string& name, uint64_t declared) const {
    if (declared <= m_xmlBudget->left()) return true;
    report(ProblemCode::TooLarge,
           lfw::String("The part '%1' inflates to %2 bytes, more than the report has left to read (%3 bytes)")
               .arg(lfw::String(storedName(name)))
               .arg(static_cast<long long>(declared))
               .arg(static_cast<long long>(m_xmlBudget->left())));
    return false;
}

bool ZipArchive::parseXmlEntry(const std::string& name, unsigned char*& text, size_t size, XmlDocument* document) {
    // The text stays in memory while it is parsed.
    if (!document || !text || !affordable(name, size) || !m_xmlBudget->spend(size)) return false;
    // Up to the first zero, as a C string, with the parser's padding after it.
    const size_t length = strnlen(reinterpret_cast<const char*>(text), size);
    void* grown = std::realloc(text, length + XmlDocument::PARSE_PADDING);
    if (!grown) {
        m_xmlBudget->refund(size);
        return false;
    }
    text = static_cast<unsigned char*>(grown);
    std::memset(text + length, 0, XmlDocument::PARSE_PADDING);
    const bool parsed = document->parsePaddedText(reinterpret_cast<const char*>(text), length, m_xmlBudget);
    if (document->refusedCost() > 0)
        report(ProblemCode::TooLarge,
               lfw::String("The part '%1' holds more XML than the report has memory left for (%2 bytes for "
                           "more than %3 elements, %4 bytes left); it is not read")
                   .arg(lfw::String(storedName(name)))
                   .arg(static_cast<long long>(document->refusedCost()))
                   .arg(static_cast<long long>(document->elements()))
                   .arg(static_cast<long long>(m_xmlBudget->left())));
    m_xmlBudget->refund(size);
    return parsed;
}

ZipArchive::~ZipArchive() { close(); }

bool ZipArchive::open(const std::string& path, ZipAccessMode mode) {
    if (!m_zip.IsClosed()) {
        report(ProblemCode::InvalidArgument, lfw::String("The archive is open, close it before opening."));
        return false;
    }
    if (path.find_first_not_of(" \t\r\n") == std::string::npos) {
        report(ProblemCode::InvalidArgument, lfw::String("No file name."));
        return false;
    }
    m_mode = mode;
    const bool exists = ::access(path.c_str(), F_OK) == 0;
    if ((mode == ZIP_OPEN || mode == ZIP_OPEN_READ_ONLY) && !exists) {
        report(ProblemCode::FileNotFound, lfw::String("File name '%1' not found").arg(lfw::String(path)));
        return false;
    }
    try {
        if (mode == ZIP_OPEN || mode == ZIP_OPEN_READ_ONLY || mode == ZIP_CREATE) m_zip.Open(path, engineMode(mode));
    }
    ZIP_CATCH(false, mode == ZIP_CREATE ? ProblemCode::WriteFailed : ProblemCode::FileNotFound)
    if (m_zip.IsClosed()) {
        report(ProblemCode::NotAnArchive, lfw::String("File still closed after opening it."));
        return false;
    }
    return true;
}

bool ZipArchive::open(ZipMemFile* memFile, ZipAccessMode mode) {
    if (!m_zip.IsClosed()) {
        report(ProblemCode::InvalidArgument, lfw::String("The archive is open, close it before opening."));
        return false;
    }
    if (!memFile) {
        report(ProblemCode::InvalidArgument, lfw::String("PxZipMemFile pointer is NULL."));
        return false;
    }
    m_mode = mode;
    try {
        if (mode == ZIP_OPEN || mode == ZIP_OPEN_READ_ONLY || mode == ZIP_CREATE) m_zip.Open(memFile->engine(), engineMode(mode));
    }
    ZIP_CATCH(false, mode == ZIP_CREATE ? ProblemCode::WriteFailed : ProblemCode::FileNotFound)
    if (m_zip.IsClosed()) {
        report(ProblemCode::NotAnArchive, lfw::String("File still closed after opening it."));
        return false;
    }
    return true;
}

bool ZipArchive::close() {
    if (m_zip.IsClosed()) return true;
    try {
        m_zip.Close();
    }
    ZIP_CATCH(false, ProblemCode::WriteFailed)
    return true;
}

bool ZipArchive::compact() {
    if (m_zip.IsClosed()) {
        report(ProblemCode::InvalidArgument, lfw::String("Archive is not open."));
        return false;
    }
    if (isReadOnly()) {
        report(ProblemCode::InvalidArgument, lfw::String("File is read only."));
        return false;
    }
    try {
        m_zip.Compact();
    }
    ZIP_CATCH(false, ProblemCode::WriteFailed)
    return true;
}

void ZipArchive::setArchiveParameters(int compressionLevel, int smartness, int bufferSize, int fourth) {
    m_compressionLevel = compressionLevel;
    m_smartness = smartness;
    m_bufferSize = bufferSize;
    m_fourth = fourth;
}

// ---------------------------------------------------------------------------
// Finding and listing

int ZipArchive::findFile(const std::string& name) const {
    if (m_zip.IsClosed()) {
        report(ProblemCode::InvalidArgument, lfw::String("Archive is not open."));
        return -1;
    }
    if (name.find_first_not_of(" \t\r\n") == std::string::npos) {
        report(ProblemCode::InvalidArgument, lfw::String("No such file name: '%1'").arg(lfw::String(name)));
        return -1;
    }
    if (m_zip.GetCount() == 0) return -1;
    return m_zip.FindFile(storedName(name));
}

std::string ZipArchive::getStoredName(int index) const {
    if (m_zip.IsClosed()) return std::string();
    return m_zip.GetEntryName(index);
}

bool ZipArchive::getFileSize(int index, uint64_t* size) const {
    CZipEntryInfo info;
    if (!size || m_zip.IsClosed() || !m_zip.GetEntryInfo(index, &info)) return false;
    *size = info.uncompressedSize;
    return true;
}

bool ZipArchive::looksLikeZip(const void* head, size_t size) {
    return size >= 4 && (std::memcmp(head, "PK\x03\x04", 4) == 0 || std::memcmp(head, "PK\x05\x06", 4) == 0);
}

bool ZipArchive::fileLooksLikeZip(const char* path, bool ifUnreadable) {
    FILE* file = std::fopen(path, "rb");
    if (!file) return ifUnreadable;
    unsigned char head[4] = {0, 0, 0, 0};
    const size_t n = std::fread(head, 1, sizeof head, file);
    std::fclose(file);
    return looksLikeZip(head, n);
}

uint64_t ZipArchive::hashText(const void* data, size_t size) {
    return static_cast<uint64_t>(std::hash<std::string_view>()(std::string_view(static_cast<const char*>(data), size)));
}

// ---------------------------------------------------------------------------
// Raw entries

bool ZipArchive::extractFile(int index, ZipMemFile* memFile) {
    if (!memFile) {
        report(ProblemCode::InvalidArgument, lfw::String("PxZipMemFile pointer is NULL."));
        return false;
    }
    try {
        if (!m_zip.ExtractFile(index, memFile->engine(), DEFAULT_COPY_BUFFER)) {
            report(ProblemCode::EntryMissing, lfw::String("No file at index %1 in archive").arg(index));
            return false;
        }
    }
    ZIP_CATCH(false, ProblemCode::FileNotFound)
    return true;
}

bool ZipArchive::addNewFile(ZipMemFile* memFile, const std::string& name) {
    if (!memFile) {
        report(ProblemCode::InvalidArgument, lfw::String("PxZipMemFile pointer is NULL."));
        return false;
    }
    try {
        // The engine refuses a name that exists: two entries of one name would make
        // readers pick either.
        if (!counted(
                m_zip.AddNewFile(memFile->engine(), storedName(name), -1, CZipArchive::zipsmSmartest, DEFAULT_COPY_BUFFER))) {
            report(ProblemCode::WriteFailed, lfw::String("Could not add file '%1' to archive").arg(lfw::String(name)));
            return false;
        }
    }
    ZIP_CATCH(false, ProblemCode::WriteFailed)
    return true;
}

uint64_t ZipArchive::entriesWritten() { return g_entriesWritten; }

bool ZipArchive::copyEntryFrom(const ZipArchive& source, int index, const std::string& name) {
    try {
        if (!counted(m_zip.CopyEntryFrom(source.m_zip, index, name.empty() ? std::string() : storedName(name)))) {
            report(ProblemCode::WriteFailed, lfw::String("Could not copy entry %1 to '%2'").arg(index).arg(lfw::String(name)));
            return false;
        }
    }
    ZIP_CATCH(false, ProblemCode::WriteFailed)
    return true;
}

unsigned char* ZipArchive::readDataRaw(const std::string& name, size_t* size, bool* notFound, uint64_t maxSize) {
    if (notFound) *notFound = false;
    if (size) *size = 0;
    const int index = findFile(name);
    if (index < 0) {
        if (notFound) *notFound = true;
        report(ProblemCode::EntryMissing,
               lfw::String("Unable to read raw data from '%1', file not found").arg(lfw::String(name)));
        return nullptr;
    }
    try {
        CZipEntryInfo info;
        m_zip.GetEntryInfo(index, &info);
        if (!affordable(name, info.uncompressedSize)) return nullptr;
        if (maxSize > 0 && info.uncompressedSize > maxSize) {
            report(ProblemCode::TooLarge, lfw::String("File '%1' in archive is too large (%2 bytes)")
                                              .arg(lfw::String(name))
                                              .arg(static_cast<long long>(info.uncompressedSize)));
            return nullptr;
        }
        if (info.uncompressedSize > ZipLimits::kMaxEntrySize) {
            report(ProblemCode::TooLarge, lfw::String("File '%1' in archive is too large (%2 bytes)")
                                              .arg(lfw::String(name))
                                              .arg(static_cast<long long>(info.uncompressedSize)));
            return nullptr;
        }
        const size_t copyBuffer = info.uncompressedSize < SMALL_ENTRY_SIZE
                                      ? DEFAULT_COPY_BUFFER
                                      : static_cast<size_t>(std::min<uint64_t>(info.uncompressedSize, MAX_COPY_BUFFER));
        // One allocation for the whole entry (the size is checked against the data).
        CZipMemFile out(static_cast<size_t>(info.uncompressedSize) + 1);
        m_zip.ExtractFile(index, out, copyBuffer);
        size_t n = 0;
        unsigned char* data = out.Detach(&n);
        if (size) *size = n;
        return data;
    }
    ZIP_CATCH(nullptr, ProblemCode::FileNotFound)
}

namespace {

// Extraction target appending to a vector or string the caller owns.
template <class Bytes>
class VectorSink : public CZipAbstractFile {
public:
    explicit VectorSink(Bytes* bytes) : m_bytes(bytes) {}
    size_t Read(void*, size_t) override { return 0; }
    void Write(const void* buffer, size_t count) override {
        const char* p = static_cast<const char*>(buffer);
        m_bytes->insert(m_bytes->end(), p, p + count);
    }
    uint64_t Seek(int64_t offset, SeekOrigin origin) override {
        if (offset != 0 || origin == current) return m_bytes->size();
        throw CZipException(CZipException::generic, "Extraction target cannot seek");
    }
    uint64_t GetPosition() const override { return m_bytes->size(); }
    uint64_t GetLength() const override { return m_bytes->size(); }
    void SetLength(uint64_t length) override { m_bytes->resize(static_cast<size_t>(length)); }

private:
    Bytes* m_bytes;
};

}  // namespace

bool ZipArchive::readDataInto(const std::string& name, std::vector<unsigned char>* data, uint64_t maxSize) {
    return readInto(name, data, maxSize);
}

bool ZipArchive::readDataInto(const std::string& name, std::string* data, uint64_t maxSize) {
    return readInto(name, data, maxSize);
}

template <class Bytes>
bool ZipArchive::readInto(const std::string& name, Bytes* data, uint64_t maxSize) {
    if (!data) return false;
    data->clear();
    const int index = findFile(name);
    if (index < 0) {
        report(ProblemCode::EntryMissing,
               lfw::String("Unable to read raw data from '%1', file not found").arg(lfw::String(name)));
        return false;
    }
    try {
        CZipEntryInfo info;
        m_zip.GetEntryInfo(index, &info);
        if (!affordable(name, info.uncompressedSize)) return false;
        if ((maxSize > 0 && info.uncompressedSize > maxSize) || info.uncompressedSize > ZipLimits::kMaxEntrySize) {
            report(ProblemCode::TooLarge, lfw::String("File '%1' in archive is too large (%2 bytes)")
                                              .arg(lfw::String(name))
                                              .arg(static_cast<long long>(info.uncompressedSize)));
            return false;
        }
        const size_t copyBuffer = info.uncompressedSize < SMALL_ENTRY_SIZE
                                      ? DEFAULT_COPY_BUFFER
                                      : static_cast<size_t>(std::min<uint64_t>(info.uncompressedSize, MAX_COPY_BUFFER));
        data->reserve(static_cast<size_t>(info.uncompressedSize));
        VectorSink<Bytes> sink(data);
        if (!m_zip.ExtractFile(index, sink, copyBuffer)) {
            data->clear();
            report(ProblemCode::DamagedEntry, lfw::String("Unable to read raw data from '%1'").arg(lfw::String(name)));
            return false;
        }
        return true;
    } catch (const CZipException& e) {
        data->clear();
        engineProblem(e, ProblemCode::FileNotFound);
        return false;
    } catch (const std::exception& e) {
        data->clear();
        engineProblem(e);
        return false;
    }
}

bool ZipArchive::prepareWrites(const std::vector<std::pair<const void*, size_t>>& data) {
    if (m_zip.IsClosed() || isReadOnly()) return false;
    std::vector<CZipArchive::Data> entries;
    entries.reserve(data.size());
    for (const auto& d : data) entries.push_back(CZipArchive::Data{d.first, d.second});
    try {
        m_zip.PrepareNewFiles(entries, m_compressionLevel, m_smartness);
        return true;
    }
    ZIP_CATCH(false, ProblemCode::WriteFailed)
}

bool ZipArchive::writeDataRaw(const std::string& name, const void* data, size_t size, bool overwrite) {
    if (m_zip.IsClosed()) {
        report(ProblemCode::InvalidArgument, lfw::String("Archive is not open."));
        return false;
    }
    if (isReadOnly()) {
        report(ProblemCode::InvalidArgument, lfw::String("File is read only."));
        return false;
    }
    if (name.find_first_not_of(" \t\r\n") == std::string::npos) {
        report(ProblemCode::InvalidArgument, lfw::String("Error file no name."));
        return false;
    }
    const std::string entryName = storedName(name);
    if (data && size > 0) {
        if (size > ZipLimits::kMaxEntrySize) {  // refuse before the old entry is removed
            report(ProblemCode::WriteFailed, lfw::String("Could not add file '%1' to archive").arg(lfw::String(name)));
            return false;
        }
        try {
            const int existing = m_zip.FindFile(entryName);
            if (overwrite && existing >= 0) m_zip.RemoveFile(existing);
            if (!counted(m_zip.AddNewFile(data, size, entryName, m_compressionLevel, m_smartness,
                                          m_bufferSize > 0 ? static_cast<size_t>(m_bufferSize) : DEFAULT_COPY_BUFFER))) {
                report(ProblemCode::WriteFailed, lfw::String("Could not add file '%1' to archive").arg(lfw::String(name)));
                return false;
            }
        }
        ZIP_CATCH(false, ProblemCode::WriteFailed)
        return true;
    }
    try {
        // An empty entry never goes in beside one of the same name.
        const int existing = m_zip.FindFile(entryName);
        if (existing >= 0 && overwrite) m_zip.RemoveFile(existing);
        if (!counted(m_zip.AddNewFile(nullptr, 0, entryName, -1, CZipArchive::zipsmSmartest, DEFAULT_COPY_BUFFER))) {
            report(ProblemCode::WriteFailed, lfw::String("Could not add empty file '%1' to archive").arg(lfw::String(name)));
            return false;
        }
    }
    ZIP_CATCH(false, ProblemCode::WriteFailed)
    return true;
}

// ---------------------------------------------------------------------------
// XML entries

bool ZipArchive::readXmlFile(const std::string& name, XmlDocument* document) {
    if (!document) {
        report(ProblemCode::InvalidArgument, lfw::String("Destination Xml Document is NULL"));
        return false;
    }
    const std::string entry = storedName(name);
    size_t size = 0;
    MallocBuffer text(readDataRaw(entry, &size));
    if (!text) {
        report(ProblemCode::EntryMissing, lfw::String("Could not read Xml file"));
        return false;
    }
    if (size == 0) {
        document->Clear();
        report(ProblemCode::UnreadableXml, lfw::String("Xml file '%1' in archive is empty").arg(lfw::String(entry)));
        return false;
    }
    // A text ending in ">" is used whole (the buffer holds a zero after the data);
    // otherwise the last byte, usually a line end, gives way to the terminator.
    if (text.get()[size - 1] != '>') text.get()[size - 1] = '\0';
    unsigned char* raw = text.release();
    const bool parsed = parseXmlEntry(entry, raw, size, document);
    text.reset(raw);
    if (!parsed) {
        if (document->refusedCost() > 0) return false;  // logged, naming the part
        const std::string message = "TinyXML error code " + std::to_string(document->ErrorId()) + " for file '" + entry + "': ";
        report(ProblemCode::UnreadableXml, lfw::String(message) + lfw::String(document->ErrorDesc()));
        return false;
    }
    return true;
}

bool ZipArchive::writeXmlFile(const std::string& name, const XmlDocument* document, bool overwrite) {
    if (m_zip.IsClosed()) {
        report(ProblemCode::InvalidArgument,
               lfw::String("Cannot write Xml file '%1', archive is not open").arg(lfw::String(name)));
        return false;
    }
    if (isReadOnly()) {
        report(ProblemCode::InvalidArgument, lfw::String("File read only"));
        return false;
    }
    if (name.find_first_not_of(" \t\r\n") == std::string::npos) {
        report(ProblemCode::InvalidArgument, lfw::String("Error file no name"));
        return false;
    }
    if (!document) {
        report(ProblemCode::InvalidArgument, lfw::String("Source Xml Document is NULL"));
        return false;
    }
    const std::string entryName = storedName(name);
    try {
        const int existing = m_zip.FindFile(entryName);
        if (existing >= 0) {
            if (!overwrite) {
                report(ProblemCode::WriteFailed,
                       lfw::String("Xml file '%1' exists in archive, and overwrite flag is not set").arg(lfw::String(name)));
                return false;
            }
            m_zip.RemoveFile(existing);
        }
        const std::string text = document->printToString();
        if (!counted(m_zip.AddNewFile(text.data(), text.size(), entryName, m_compressionLevel, m_smartness,
                                      m_bufferSize > 0 ? static_cast<size_t>(m_bufferSize) : DEFAULT_COPY_BUFFER))) {
            report(ProblemCode::WriteFailed, lfw::String("Could not write Xml file '%1' to archive").arg(lfw::String(name)));
            return false;
        }
    }
    ZIP_CATCH(false, ProblemCode::WriteFailed)
    return true;
}

// ---------------------------------------------------------------------------
// Other entry operations

bool ZipArchive::removeEntry(const std::string& name) {
    const int index = findFile(name);
    if (index < 0) {
        report(ProblemCode::EntryMissing, lfw::String("Unable to delete '%1', file not found").arg(lfw::String(name)));
        return false;
    }
    try {
        if (!m_zip.RemoveFile(index)) return false;
    }
    ZIP_CATCH(false, ProblemCode::WriteFailed)
    return true;
}

}  // namespace rep
}  // namespace kiv
