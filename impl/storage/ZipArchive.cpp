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
        EngineProblem(e, ioCode);     \
        return failResult;            \
    }                                 \
    catch (const std::exception& e) { \
        EngineProblem(e);             \
        return failResult;            \
    }

namespace {

// Entries up to this size are extracted with the default copy buffer; larger ones
// with a buffer of their size, capped.
const uint64_t SMALL_ENTRY_SIZE = 262144;
const size_t DEFAULT_COPY_BUFFER = 65536;

// Entries added to archives by this process (ZipArchive::EntriesWritten).
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

bool ZipMemFile::Save(const std::string& path) const {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    const size_t size = m_file.GetSize();
    bool written = size == 0 || std::fwrite(m_file.GetData(), 1, size, file) == size;
    written = std::fclose(file) == 0 && written;
    return written;
}

bool ZipMemFile::CopyData(const void* data, size_t size) {
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

void ZipMemFile::SetData(const void* bytes, size_t size) { m_file.Attach(bytes, bytes ? size : 0, false); }

// ---------------------------------------------------------------------------
// ZipArchive: opening and closing

ZipArchive::ZipArchive(Problems* problems)
    : m_xmlBudget(std::make_shared<XmlMemoryBudget>()), m_problems(problems ? problems : &m_own) {}

void ZipArchive::Report(ProblemCode code, const lfw::String& message) const { m_problems->error(code, message.toStdString()); }

void ZipArchive::EngineProblem(const CZipException& e, ProblemCode ioCode) const {
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
    Report(code, lfw::String("Error returned from file access library :") + lfw::String(e.GetErrorDescription()));
}

void ZipArchive::EngineProblem(const std::exception& e) const {
    Report(dynamic_cast<const std::bad_alloc*>(&e) ? ProblemCode::Internal : ProblemCode::General,
           lfw::String("ZipArchive: %1").arg(e.what()));
}

void ZipArchive::SetXmlBudget(const std::shared_ptr<XmlMemoryBudget>& budget) {
    if (budget) m_xmlBudget = budget;
}

bool ZipArchive::Affordable(const std::string& name, uint64_t declared) const {
    if (declared <= m_xmlBudget->Left()) return true;
    Report(ProblemCode::TooLarge,
           lfw::String("The part '%1' inflates to %2 bytes, more than the report has left to read (%3 bytes)")
               .arg(lfw::String(storedName(name)))
               .arg(static_cast<long long>(declared))
               .arg(static_cast<long long>(m_xmlBudget->Left())));
    return false;
}

bool ZipArchive::ParseXmlEntry(const std::string& name, unsigned char*& text, size_t size, XmlDocument* document) {
    // The text stays in memory while it is parsed.
    if (!document || !text || !Affordable(name, size) || !m_xmlBudget->Spend(size)) return false;
    // Up to the first zero, as a C string, with the parser's padding after it.
    const size_t length = strnlen(reinterpret_cast<const char*>(text), size);
    void* grown = std::realloc(text, length + XmlDocument::PARSE_PADDING);
    if (!grown) {
        m_xmlBudget->Refund(size);
        return false;
    }
    text = static_cast<unsigned char*>(grown);
    std::memset(text + length, 0, XmlDocument::PARSE_PADDING);
    const bool parsed = document->ParsePaddedText(reinterpret_cast<const char*>(text), length, m_xmlBudget);
    if (document->RefusedCost() > 0)
        Report(ProblemCode::TooLarge,
               lfw::String("The part '%1' holds more XML than the report has memory left for (%2 bytes for "
                           "more than %3 elements, %4 bytes left); it is not read")
                   .arg(lfw::String(storedName(name)))
                   .arg(static_cast<long long>(document->RefusedCost()))
                   .arg(static_cast<long long>(document->Elements()))
                   .arg(static_cast<long long>(m_xmlBudget->Left())));
    m_xmlBudget->Refund(size);
    return parsed;
}

ZipArchive::~ZipArchive() { Close(); }

bool ZipArchive::Open(const std::string& path, ZipAccessMode mode) {
    if (!m_zip.IsClosed()) {
        Report(ProblemCode::InvalidArgument, lfw::String("The archive is open, close it before opening."));
        return false;
    }
    if (path.find_first_not_of(" \t\r\n") == std::string::npos) {
        Report(ProblemCode::InvalidArgument, lfw::String("No file name."));
        return false;
    }
    m_mode = mode;
    const bool exists = ::access(path.c_str(), F_OK) == 0;
    if ((mode == ZIP_OPEN || mode == ZIP_OPEN_READ_ONLY) && !exists) {
        Report(ProblemCode::FileNotFound, lfw::String("File name '%1' not found").arg(lfw::String(path)));
        return false;
    }
    try {
        if (mode == ZIP_OPEN || mode == ZIP_OPEN_READ_ONLY || mode == ZIP_CREATE) m_zip.Open(path, engineMode(mode));
    }
    ZIP_CATCH(false, mode == ZIP_CREATE ? ProblemCode::WriteFailed : ProblemCode::FileNotFound)
    if (m_zip.IsClosed()) {
        Report(ProblemCode::NotAnArchive, lfw::String("File still closed after opening it."));
        return false;
    }
    return true;
}

bool ZipArchive::Open(ZipMemFile* memFile, ZipAccessMode mode) {
    if (!m_zip.IsClosed()) {
        Report(ProblemCode::InvalidArgument, lfw::String("The archive is open, close it before opening."));
        return false;
    }
    if (!memFile) {
        Report(ProblemCode::InvalidArgument, lfw::String("PxZipMemFile pointer is NULL."));
        return false;
    }
    m_mode = mode;
    try {
        if (mode == ZIP_OPEN || mode == ZIP_OPEN_READ_ONLY || mode == ZIP_CREATE) m_zip.Open(memFile->Engine(), engineMode(mode));
    }
    ZIP_CATCH(false, mode == ZIP_CREATE ? ProblemCode::WriteFailed : ProblemCode::FileNotFound)
    if (m_zip.IsClosed()) {
        Report(ProblemCode::NotAnArchive, lfw::String("File still closed after opening it."));
        return false;
    }
    return true;
}

bool ZipArchive::Close() {
    if (m_zip.IsClosed()) return true;
    try {
        m_zip.Close();
    }
    ZIP_CATCH(false, ProblemCode::WriteFailed)
    return true;
}

bool ZipArchive::Compact() {
    if (m_zip.IsClosed()) {
        Report(ProblemCode::InvalidArgument, lfw::String("Archive is not open."));
        return false;
    }
    if (IsReadOnly()) {
        Report(ProblemCode::InvalidArgument, lfw::String("File is read only."));
        return false;
    }
    try {
        m_zip.Compact();
    }
    ZIP_CATCH(false, ProblemCode::WriteFailed)
    return true;
}

void ZipArchive::SetArchiveParameters(int compressionLevel, int smartness, int bufferSize, int fourth) {
    m_compressionLevel = compressionLevel;
    m_smartness = smartness;
    m_bufferSize = bufferSize;
    m_fourth = fourth;
}

// ---------------------------------------------------------------------------
// Finding and listing

int ZipArchive::FindFile(const std::string& name) const {
    if (m_zip.IsClosed()) {
        Report(ProblemCode::InvalidArgument, lfw::String("Archive is not open."));
        return -1;
    }
    if (name.find_first_not_of(" \t\r\n") == std::string::npos) {
        Report(ProblemCode::InvalidArgument, lfw::String("No such file name: '%1'").arg(lfw::String(name)));
        return -1;
    }
    if (m_zip.GetCount() == 0) return -1;
    return m_zip.FindFile(storedName(name));
}

std::string ZipArchive::GetStoredName(int index) const {
    if (m_zip.IsClosed()) return std::string();
    return m_zip.GetEntryName(index);
}

bool ZipArchive::GetFileSize(int index, uint64_t* size) const {
    CZipEntryInfo info;
    if (!size || m_zip.IsClosed() || !m_zip.GetEntryInfo(index, &info)) return false;
    *size = info.uncompressedSize;
    return true;
}

bool ZipArchive::LooksLikeZip(const void* head, size_t size) {
    return size >= 4 && (std::memcmp(head, "PK\x03\x04", 4) == 0 || std::memcmp(head, "PK\x05\x06", 4) == 0);
}

bool ZipArchive::FileLooksLikeZip(const char* path, bool ifUnreadable) {
    FILE* file = std::fopen(path, "rb");
    if (!file) return ifUnreadable;
    unsigned char head[4] = {0, 0, 0, 0};
    const size_t n = std::fread(head, 1, sizeof head, file);
    std::fclose(file);
    return LooksLikeZip(head, n);
}

uint64_t ZipArchive::HashText(const void* data, size_t size) {
    return static_cast<uint64_t>(std::hash<std::string_view>()(std::string_view(static_cast<const char*>(data), size)));
}

// ---------------------------------------------------------------------------
// Raw entries

bool ZipArchive::ExtractFile(int index, ZipMemFile* memFile) {
    if (!memFile) {
        Report(ProblemCode::InvalidArgument, lfw::String("PxZipMemFile pointer is NULL."));
        return false;
    }
    try {
        if (!m_zip.ExtractFile(index, memFile->Engine(), DEFAULT_COPY_BUFFER)) {
            Report(ProblemCode::EntryMissing, lfw::String("No file at index %1 in archive").arg(index));
            return false;
        }
    }
    ZIP_CATCH(false, ProblemCode::FileNotFound)
    return true;
}

bool ZipArchive::AddNewFile(ZipMemFile* memFile, const std::string& name) {
    if (!memFile) {
        Report(ProblemCode::InvalidArgument, lfw::String("PxZipMemFile pointer is NULL."));
        return false;
    }
    try {
        // The engine refuses a name that exists: two entries of one name would make
        // readers pick either.
        if (!counted(
                m_zip.AddNewFile(memFile->Engine(), storedName(name), -1, CZipArchive::zipsmSmartest, DEFAULT_COPY_BUFFER))) {
            Report(ProblemCode::WriteFailed, lfw::String("Could not add file '%1' to archive").arg(lfw::String(name)));
            return false;
        }
    }
    ZIP_CATCH(false, ProblemCode::WriteFailed)
    return true;
}

uint64_t ZipArchive::EntriesWritten() { return g_entriesWritten; }

bool ZipArchive::CopyEntryFrom(const ZipArchive& source, int index, const std::string& name) {
    try {
        if (!counted(m_zip.CopyEntryFrom(source.m_zip, index, name.empty() ? std::string() : storedName(name)))) {
            Report(ProblemCode::WriteFailed, lfw::String("Could not copy entry %1 to '%2'").arg(index).arg(lfw::String(name)));
            return false;
        }
    }
    ZIP_CATCH(false, ProblemCode::WriteFailed)
    return true;
}

unsigned char* ZipArchive::ReadDataRaw(const std::string& name, size_t* size, bool* notFound, uint64_t maxSize) {
    if (notFound) *notFound = false;
    if (size) *size = 0;
    const int index = FindFile(name);
    if (index < 0) {
        if (notFound) *notFound = true;
        Report(ProblemCode::EntryMissing,
               lfw::String("Unable to read raw data from '%1', file not found").arg(lfw::String(name)));
        return nullptr;
    }
    try {
        CZipEntryInfo info;
        m_zip.GetEntryInfo(index, &info);
        if (!Affordable(name, info.uncompressedSize)) return nullptr;
        if (maxSize > 0 && info.uncompressedSize > maxSize) {
            Report(ProblemCode::TooLarge, lfw::String("File '%1' in archive is too large (%2 bytes)")
                                              .arg(lfw::String(name))
                                              .arg(static_cast<long long>(info.uncompressedSize)));
            return nullptr;
        }
        if (info.uncompressedSize > ZipLimits::kMaxEntrySize) {
            Report(ProblemCode::TooLarge, lfw::String("File '%1' in archive is too large (%2 bytes)")
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

bool ZipArchive::ReadDataInto(const std::string& name, std::vector<unsigned char>* data, uint64_t maxSize) {
    return ReadInto(name, data, maxSize);
}

bool ZipArchive::ReadDataInto(const std::string& name, std::string* data, uint64_t maxSize) {
    return ReadInto(name, data, maxSize);
}

template <class Bytes>
bool ZipArchive::ReadInto(const std::string& name, Bytes* data, uint64_t maxSize) {
    if (!data) return false;
    data->clear();
    const int index = FindFile(name);
    if (index < 0) {
        Report(ProblemCode::EntryMissing,
               lfw::String("Unable to read raw data from '%1', file not found").arg(lfw::String(name)));
        return false;
    }
    try {
        CZipEntryInfo info;
        m_zip.GetEntryInfo(index, &info);
        if (!Affordable(name, info.uncompressedSize)) return false;
        if ((maxSize > 0 && info.uncompressedSize > maxSize) || info.uncompressedSize > ZipLimits::kMaxEntrySize) {
            Report(ProblemCode::TooLarge, lfw::String("File '%1' in archive is too large (%2 bytes)")
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
            Report(ProblemCode::DamagedEntry, lfw::String("Unable to read raw data from '%1'").arg(lfw::String(name)));
            return false;
        }
        return true;
    } catch (const CZipException& e) {
        data->clear();
        EngineProblem(e, ProblemCode::FileNotFound);
        return false;
    } catch (const std::exception& e) {
        data->clear();
        EngineProblem(e);
        return false;
    }
}

bool ZipArchive::PrepareWrites(const std::vector<std::pair<const void*, size_t>>& data) {
    if (m_zip.IsClosed() || IsReadOnly()) return false;
    std::vector<CZipArchive::Data> entries;
    entries.reserve(data.size());
    for (const auto& d : data) entries.push_back(CZipArchive::Data{d.first, d.second});
    try {
        m_zip.PrepareNewFiles(entries, m_compressionLevel, m_smartness);
        return true;
    }
    ZIP_CATCH(false, ProblemCode::WriteFailed)
}

bool ZipArchive::WriteDataRaw(const std::string& name, const void* data, size_t size, bool overwrite) {
    if (m_zip.IsClosed()) {
        Report(ProblemCode::InvalidArgument, lfw::String("Archive is not open."));
        return false;
    }
    if (IsReadOnly()) {
        Report(ProblemCode::InvalidArgument, lfw::String("File is read only."));
        return false;
    }
    if (name.find_first_not_of(" \t\r\n") == std::string::npos) {
        Report(ProblemCode::InvalidArgument, lfw::String("Error file no name."));
        return false;
    }
    const std::string entryName = storedName(name);
    if (data && size > 0) {
        if (size > ZipLimits::kMaxEntrySize) {  // refuse before the old entry is removed
            Report(ProblemCode::WriteFailed, lfw::String("Could not add file '%1' to archive").arg(lfw::String(name)));
            return false;
        }
        try {
            const int existing = m_zip.FindFile(entryName);
            if (overwrite && existing >= 0) m_zip.RemoveFile(existing);
            if (!counted(m_zip.AddNewFile(data, size, entryName, m_compressionLevel, m_smartness,
                                          m_bufferSize > 0 ? static_cast<size_t>(m_bufferSize) : DEFAULT_COPY_BUFFER))) {
                Report(ProblemCode::WriteFailed, lfw::String("Could not add file '%1' to archive").arg(lfw::String(name)));
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
            Report(ProblemCode::WriteFailed, lfw::String("Could not add empty file '%1' to archive").arg(lfw::String(name)));
            return false;
        }
    }
    ZIP_CATCH(false, ProblemCode::WriteFailed)
    return true;
}

// ---------------------------------------------------------------------------
// XML entries

bool ZipArchive::ReadXmlFile(const std::string& name, XmlDocument* document) {
    if (!document) {
        Report(ProblemCode::InvalidArgument, lfw::String("Destination Xml Document is NULL"));
        return false;
    }
    const std::string entry = storedName(name);
    size_t size = 0;
    MallocBuffer text(ReadDataRaw(entry, &size));
    if (!text) {
        Report(ProblemCode::EntryMissing, lfw::String("Could not read Xml file"));
        return false;
    }
    if (size == 0) {
        document->Clear();
        Report(ProblemCode::UnreadableXml, lfw::String("Xml file '%1' in archive is empty").arg(lfw::String(entry)));
        return false;
    }
    // A text ending in ">" is used whole (the buffer holds a zero after the data);
    // otherwise the last byte, usually a line end, gives way to the terminator.
    if (text.get()[size - 1] != '>') text.get()[size - 1] = '\0';
    unsigned char* raw = text.release();
    const bool parsed = ParseXmlEntry(entry, raw, size, document);
    text.reset(raw);
    if (!parsed) {
        if (document->RefusedCost() > 0) return false;  // logged, naming the part
        const std::string message = "TinyXML error code " + std::to_string(document->ErrorId()) + " for file '" + entry + "': ";
        Report(ProblemCode::UnreadableXml, lfw::String(message) + lfw::String(document->ErrorDesc()));
        return false;
    }
    return true;
}

bool ZipArchive::WriteXmlFile(const std::string& name, const XmlDocument* document, bool overwrite) {
    if (m_zip.IsClosed()) {
        Report(ProblemCode::InvalidArgument,
               lfw::String("Cannot write Xml file '%1', archive is not open").arg(lfw::String(name)));
        return false;
    }
    if (IsReadOnly()) {
        Report(ProblemCode::InvalidArgument, lfw::String("File read only"));
        return false;
    }
    if (name.find_first_not_of(" \t\r\n") == std::string::npos) {
        Report(ProblemCode::InvalidArgument, lfw::String("Error file no name"));
        return false;
    }
    if (!document) {
        Report(ProblemCode::InvalidArgument, lfw::String("Source Xml Document is NULL"));
        return false;
    }
    const std::string entryName = storedName(name);
    try {
        const int existing = m_zip.FindFile(entryName);
        if (existing >= 0) {
            if (!overwrite) {
                Report(ProblemCode::WriteFailed,
                       lfw::String("Xml file '%1' exists in archive, and overwrite flag is not set").arg(lfw::String(name)));
                return false;
            }
            m_zip.RemoveFile(existing);
        }
        const std::string text = document->PrintToString();
        if (!counted(m_zip.AddNewFile(text.data(), text.size(), entryName, m_compressionLevel, m_smartness,
                                      m_bufferSize > 0 ? static_cast<size_t>(m_bufferSize) : DEFAULT_COPY_BUFFER))) {
            Report(ProblemCode::WriteFailed, lfw::String("Could not write Xml file '%1' to archive").arg(lfw::String(name)));
            return false;
        }
    }
    ZIP_CATCH(false, ProblemCode::WriteFailed)
    return true;
}

// ---------------------------------------------------------------------------
// Other entry operations

bool ZipArchive::Delete(const std::string& name) {
    const int index = FindFile(name);
    if (index < 0) {
        Report(ProblemCode::EntryMissing, lfw::String("Unable to delete '%1', file not found").arg(lfw::String(name)));
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
