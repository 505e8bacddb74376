// Fuzz target: bytes opened as an in-memory zip archive. Every entry is
// extracted (into a counting sink, so that memory stays bounded), then a copy
// is edited and read back: what the engine wrote must read back unchanged.
#include "host/ug/ZipArchive.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

// Discards what is written; counts it.
class CountingSink : public CZipAbstractFile {
public:
    size_t Read(void*, size_t) override { return 0; }
    void Write(const void*, size_t count) override { m_length += count; }
    uint64_t Seek(int64_t offset, SeekOrigin) override { return static_cast<uint64_t>(offset); }
    uint64_t GetPosition() const override { return m_length; }
    uint64_t GetLength() const override { return m_length; }
    void SetLength(uint64_t length) override { m_length = length; }

private:
    uint64_t m_length = 0;
};

void extractAll(CZipArchive& zip) {
    for (int i = 0; i < zip.GetCount(); ++i) {
        CZipEntryInfo info;
        if (!zip.GetEntryInfo(i, &info)) abort();
        CountingSink sink;
        try {
            zip.ExtractFile(i, sink, 4096);
        } catch (const CZipException&) {
            continue;
        }
        if (sink.GetLength() != info.uncompressedSize) abort();  // success means the stated size
    }
}

void editCopy(const uint8_t* data, size_t size) {
    CZipMemFile copy(data, size);
    CZipArchive zip;
    const char payload[] = "added by the fuzzer";
    try {
        if (!zip.Open(copy, CZipArchive::zipOpen)) return;
        if (zip.GetCount() > 0) zip.RemoveFile(0);
        if (!zip.AddNewFile(payload, sizeof payload, "fuzz/added.txt")) {
            zip.Close();
            return;
        }
        zip.Compact();
        zip.Close();
    } catch (const CZipException&) {
        return;  // refused (or broken) archives may stay as they are
    }
    CZipArchive back;
    back.Open(copy, CZipArchive::zipOpenReadOnly);  // must not throw: we wrote it
    CZipMemFile out;
    if (!back.ExtractFile(back.FindFile("fuzz/added.txt"), out)) abort();
    if (out.GetSize() != sizeof payload || std::memcmp(out.GetData(), payload, sizeof payload) != 0) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CZipMemFile mem;
    mem.Attach(data, size, false);
    CZipArchive zip;
    zip.SetPassword("secret");
    try {
        if (!zip.Open(mem, CZipArchive::zipOpenReadOnly)) return 0;
    } catch (const CZipException&) {
        return 0;
    }
    extractAll(zip);
    zip.Close();
    editCopy(data, size);
    return 0;
}
