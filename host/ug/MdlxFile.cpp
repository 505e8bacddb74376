#include "host/ug/MdlxFile.h"

#include "host/ug/MdlxImageJpeg.h"
#include "host/ug/MkFile.h"
#include "host/ug/ZipArchive.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

namespace kiv {
namespace ug {

namespace {

const char kIdEntry[] = "mdlx.id";
const char kIdText[] = "MDLX 1\n";
const char kIdPrefix[] = "MDLX ";
const size_t kMaxCaseInfoSize = 64 * 1024;

std::string caseFolder(int number) { return "cases/" + std::to_string(number) + "/"; }

// "cases/<n>/case.txt" -> n, else -1.
int caseNumberOf(const std::string& name) {
    const std::string prefix = "cases/", suffix = "/case.txt";
    if (name.size() <= prefix.size() + suffix.size() || name.compare(0, prefix.size(), prefix) != 0 ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
        return -1;
    std::string digits = name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
    if (digits.empty() || digits.size() > 6 || digits.find_first_not_of("0123456789") != std::string::npos) return -1;
    return std::atoi(digits.c_str());
}

std::string toUtf8(const MkString& text) {
    int length = 0;
    char* bytes = MkStringToUTF8(text, &length);
    std::string out(bytes ? bytes : "", bytes ? static_cast<size_t>(length) : 0);
    delete[] bytes;
    return out;
}

}  // namespace

// ---------------------------------------------------------------------------
// MdlxZipMemFile, MdlxMemoryFile

bool MdlxZipMemFile::GetData(MkUbyteArray* bytes) const {
    if (!bytes) return false;
    bytes->Std().assign(m_bytes.begin(), m_bytes.end());
    return true;
}

bool MdlxZipMemFile::CopyData(const MkUbyteArray& bytes) {
    m_bytes.assign(bytes.Std().begin(), bytes.Std().end());
    return true;
}

bool MdlxZipMemFile::CopyData(const void* data, size_t size) {
    if (!data && size > 0) return false;
    const auto* p = static_cast<const unsigned char*>(data);
    m_bytes.assign(p, p + size);
    return true;
}

bool MdlxZipMemFile::Save(const MkString& path) const {
    if (m_bytes.empty() || path.IsEmpty()) return false;
    return MkWriteFile(path, m_bytes.data(), m_bytes.size());
}

bool MdlxMemoryFile::setFromRawData(const void* data, size_t count) { return m_file.CopyData(data, count); }

// ---------------------------------------------------------------------------
// MdlxAccess

MdlxAccess::MdlxAccess() = default;

MdlxAccess::~MdlxAccess() { Close(); }

bool MdlxAccess::IsOpen() const { return m_zip && !m_zip->IsClosed(); }

void MdlxAccess::Close() {
    if (m_zip) {
        try {
            m_zip->Close();  // read-only: writes nothing
        } catch (const CZipException&) {}
    }
    m_zip.reset();
    m_mem.reset();
    m_cases.clear();
}

bool MdlxAccess::readEntry(const std::string& name, std::vector<unsigned char>* bytes) {
    int index = m_zip->FindFile(name);
    if (index < 0) return false;
    CZipMemFile out;
    try {
        if (!m_zip->ExtractFile(index, out)) return false;
    } catch (const CZipException&) {
        return false;
    }
    bytes->assign(out.GetData(), out.GetData() + out.GetSize());
    return true;
}

bool MdlxAccess::Open(MdlxZipMemFile* file, int accessMode) {
    Close();
    if (!file || accessMode != READ || file->IsEmpty()) return false;
    m_mem = std::make_unique<CZipMemFile>();
    m_mem->Attach(file->GetBuffer(), file->GetSize(), false);
    m_zip = std::make_unique<CZipArchive>();
    try {
        if (!m_zip->Open(*m_mem, CZipArchive::zipOpenReadOnly)) {
            Close();
            return false;
        }
    } catch (const CZipException&) {
        Close();
        return false;
    }
    std::vector<unsigned char> id;
    if (!readEntry(kIdEntry, &id) || id.size() < sizeof kIdPrefix - 1 ||
        std::memcmp(id.data(), kIdPrefix, sizeof kIdPrefix - 1) != 0) {
        Close();
        return false;
    }
    for (int i = 0; i < m_zip->GetCount(); ++i) {
        CZipEntryInfo entry;
        m_zip->GetEntryInfo(i, &entry);
        int number = caseNumberOf(entry.name);
        if (number < 0 || entry.uncompressedSize > kMaxCaseInfoSize) continue;
        std::vector<unsigned char> text;
        if (!readEntry(entry.name, &text)) continue;
        // "id=<n>\nname=<rest of the entry>": the name comes last so that it may hold anything.
        std::string s(text.begin(), text.end());
        if (s.compare(0, 3, "id=") != 0) continue;
        size_t lineEnd = s.find('\n');
        std::string idText = s.substr(3, lineEnd == std::string::npos ? std::string::npos : lineEnd - 3);
        if (idText.empty() || idText.size() > 9 || idText.find_first_not_of("0123456789") != std::string::npos) continue;
        MkString name;
        if (lineEnd != std::string::npos && s.compare(lineEnd + 1, 5, "name=") == 0) {
            std::string utf8 = s.substr(lineEnd + 6);
            name = MkStringFromUTF8(utf8.data(), static_cast<int>(utf8.size()));
        }
        m_cases.push_back({number, MdlxInfoCase(std::atoi(idText.c_str()), name)});
    }
    std::stable_sort(m_cases.begin(), m_cases.end(), [](const Case& a, const Case& b) { return a.number < b.number; });
    return true;
}

bool MdlxAccess::GetCase(int index, MdlxInfoCase* info) const {
    if (!info || index < 0 || index >= GetNumCases()) return false;
    *info = m_cases[static_cast<size_t>(index)].info;
    return true;
}

const MdlxAccess::Case* MdlxAccess::findCase(int caseId) const {
    for (const Case& c : m_cases)
        if (c.info.GetCaseId() == caseId) return &c;
    return nullptr;
}

bool MdlxAccess::GetCaseSnapshot(int caseId, MkRGBImage* image) { return GetCaseSnapshot(caseId, image, 0, nullptr); }

bool MdlxAccess::GetCaseSnapshot(int caseId, MkRGBImage* image, uint64_t maxBytes, uint64_t* usedBytes) {
    if (usedBytes) *usedBytes = 0;
    if (!image) return false;
    image->Clear();
    const Case* c = IsOpen() ? findCase(caseId) : nullptr;
    if (!c) return false;
    const std::string name = caseFolder(c->number) + "preview.jpg";
    const int index = m_zip->FindFile(name);
    if (index < 0) return false;
    uint64_t used = 0;
    if (maxBytes > 0) {
        // The declared size bounds what inflating writes: check it first.
        CZipEntryInfo entry;
        m_zip->GetEntryInfo(index, &entry);
        used = entry.uncompressedSize;
        if (usedBytes) *usedBytes = used;
        if (used > maxBytes) return false;
    }
    std::vector<unsigned char> jpeg;
    if (!readEntry(name, &jpeg)) return false;
    if (maxBytes > 0) {
        const uint64_t decode = MdlxImageJpeg::decodeMemory(jpeg.data(), jpeg.size());
        used += decode;
        if (usedBytes) *usedBytes = used;
        if (decode == 0 || used > maxBytes) return false;
        return MdlxImageJpeg::loadImageFromMemory(jpeg.data(), jpeg.size(), image, decode) && image->GetNumImageBytes() > 0;
    }
    return MdlxImageJpeg::loadImageFromMemory(jpeg, image) && image->GetNumImageBytes() > 0;
}

bool MdlxAccess::GetCaseModelData(int caseId, MkUbyteArray* bytes) {
    if (!bytes) return false;
    const Case* c = IsOpen() ? findCase(caseId) : nullptr;
    std::vector<unsigned char> data;
    if (!c || !readEntry(caseFolder(c->number) + "model.bin", &data)) return false;
    bytes->Std().assign(data.begin(), data.end());
    return true;
}

// ---------------------------------------------------------------------------
// MdlxWriter

int MdlxWriter::AddCase(const MkString& name, const MkRGBImage& preview, const void* modelData, size_t modelSize,
                        int jpegQuality) {
    Case c;
    c.id = GetNumCases() + 1;
    c.name = name;
    if (preview.GetNumImageBytes() > 0 && !MdlxImageJpeg::saveImageToMemory(preview, &c.jpeg, jpegQuality)) return -1;
    if (modelData && modelSize) {
        const auto* p = static_cast<const unsigned char*>(modelData);
        c.model.assign(p, p + modelSize);
    }
    m_cases.push_back(std::move(c));
    return m_cases.back().id;
}

bool MdlxWriter::Write(MdlxZipMemFile* out) const {
    if (!out) return false;
    CZipMemFile mem;
    try {
        CZipArchive zip;
        zip.Open(mem, CZipArchive::zipCreate);
        zip.AddNewFile(kIdText, sizeof kIdText - 1, kIdEntry, 0);
        for (size_t i = 0; i < m_cases.size(); ++i) {
            const Case& c = m_cases[i];
            const std::string folder = caseFolder(static_cast<int>(i));
            const std::string info = "id=" + std::to_string(c.id) + "\nname=" + toUtf8(c.name);
            zip.AddNewFile(info.data(), info.size(), folder + "case.txt");
            if (!c.jpeg.empty()) zip.AddNewFile(c.jpeg.data(), c.jpeg.size(), folder + "preview.jpg");
            if (!c.model.empty()) zip.AddNewFile(c.model.data(), c.model.size(), folder + "model.bin");
        }
        zip.Close();
    } catch (const CZipException&) {
        return false;
    }
    return out->CopyData(mem.GetData(), mem.GetSize());
}

}  // namespace ug
}  // namespace kiv
