// Zip engine on broken and hostile input: errors are exceptions with a cause,
// never crashes, over-reads (run under ASan), wrong data or unbounded memory.
#include "ZipTestUtil.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>

using namespace ziptest;

namespace {

// Opens the bytes from an allocation of exactly their size.
struct ExactArchive {
    explicit ExactArchive(const std::string& bytes) : buffer(new char[bytes.size() ? bytes.size() : 1]) {
        std::memcpy(buffer.get(), bytes.data(), bytes.size());
        mem.Attach(buffer.get(), bytes.size(), false);
    }
    std::unique_ptr<char[]> buffer;
    CZipMemFile mem;
    CZipArchive zip;
};

CZipException::Cause causeOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const CZipException& e) {
        return e.GetCause();
    }
    return CZipException::generic;  // nothing thrown: the callers expect another cause
}

const std::map<std::string, std::string> kEntries = {
    {"deflated.txt", text(600)}, {"stored.bin", randomBytes(100)}, {"empty", ""}};

// A deflated entry whose central directory claims `statedSize` bytes.
std::string bombArchive(const std::string& payload, uint32_t statedSize) {
    std::string bytes = buildArchive({{"bomb", payload}});
    Layout l = layoutOf(bytes);
    setLe32(bytes, 22, statedSize);               // local header
    setLe32(bytes, l.cdOffset + 24, statedSize);  // central directory
    return bytes;
}

}  // namespace

TEST(ZipHostile, EveryPrefixFailsCleanly) {
    const std::string good = buildArchive(kEntries);
    for (size_t n = 0; n < good.size(); ++n) {
        ExactArchive a(good.substr(0, n));
        EXPECT_THROW(a.zip.Open(a.mem, CZipArchive::zipOpenReadOnly), CZipException) << "prefix " << n;
        EXPECT_TRUE(a.zip.IsClosed());
    }
    ExactArchive a(good);
    ASSERT_TRUE(a.zip.Open(a.mem, CZipArchive::zipOpenReadOnly));
    for (const auto& kv : kEntries) EXPECT_EQ(extract(a.zip, kv.first), kv.second);
}

TEST(ZipHostile, FlippedBytesNeverGiveWrongData) {
    const std::string good = buildArchive(kEntries);
    for (size_t pos = 0; pos < good.size(); ++pos) {
        for (unsigned char mask : {0x01, 0x80, 0xFF}) {
            std::string bad = good;
            bad[pos] = static_cast<char>(bad[pos] ^ mask);
            ExactArchive a(bad);
            try {
                if (!a.zip.Open(a.mem, CZipArchive::zipOpenReadOnly)) continue;
            } catch (const CZipException&) {
                continue;
            }
            for (int i = 0; i < a.zip.GetCount(); ++i) {
                try {
                    std::string data = extract(a.zip, i);
                    auto it = kEntries.find(a.zip.GetEntryName(i));
                    // A damaged name may hide which entry it is; the data must still be one of ours.
                    bool known = false;
                    for (const auto& kv : kEntries) known = known || kv.second == data;
                    EXPECT_TRUE(it == kEntries.end() ? known : it->second == data) << "byte " << pos;
                } catch (const CZipException&) {}
            }
        }
    }
}

TEST(ZipHostile, DamageIsReportedWithItsCause) {
    const std::string good = buildArchive(kEntries);
    const Layout l = layoutOf(good);

    std::string badCrc = good;  // CRC of the first entry ("deflated.txt") in the central directory
    setLe32(badCrc, l.cdOffset + 16, le32(good, l.cdOffset + 16) ^ 1);
    ExactArchive a(badCrc);
    ASSERT_TRUE(a.zip.Open(a.mem, CZipArchive::zipOpenReadOnly));
    EXPECT_EQ(causeOf([&] { extract(a.zip, "deflated.txt"); }), CZipException::badCrc);
    EXPECT_EQ(extract(a.zip, "stored.bin"), kEntries.at("stored.bin")) << "other entries stay readable";

    std::string outside = good;  // local header offset of the second entry beyond the end
    size_t second = l.cdOffset + 46 + le16(good, l.cdOffset + 28);
    setLe32(outside, second + 42, 0x7FFFFFF0);
    ExactArchive b(outside);
    ASSERT_TRUE(b.zip.Open(b.mem, CZipArchive::zipOpenReadOnly));
    EXPECT_EQ(causeOf([&] { extract(b.zip, 1); }), CZipException::badArchive);
    EXPECT_NO_THROW(b.zip.Close()) << "nothing to write";
}

TEST(ZipHostile, DirectoryClaimsAreChecked) {
    const std::string good = buildArchive(kEntries);
    const Layout l = layoutOf(good);

    std::string many = good;  // more entries than the directory can hold
    setLe16(many, l.eocd + 8, 60000);
    setLe16(many, l.eocd + 10, 60000);
    ExactArchive a(many);
    EXPECT_EQ(causeOf([&] { a.zip.Open(a.mem, CZipArchive::zipOpenReadOnly); }), CZipException::badArchive);

    std::string hugeDir = good;  // directory larger than the file
    setLe32(hugeDir, l.eocd + 12, 0x7FFFFFFF);
    ExactArchive b(hugeDir);
    EXPECT_THROW(b.zip.Open(b.mem, CZipArchive::zipOpenReadOnly), CZipException);

    std::string split = good;
    setLe16(split, l.eocd + 4, 1);
    ExactArchive c(split);
    EXPECT_EQ(causeOf([&] { c.zip.Open(c.mem, CZipArchive::zipOpenReadOnly); }), CZipException::unsupported);

    ExactArchive d("this is not a zip archive at all, just some text");
    EXPECT_EQ(causeOf([&] { d.zip.Open(d.mem, CZipArchive::zipOpenReadOnly); }), CZipException::badArchive);
    EXPECT_THROW(d.zip.Open(d.mem, CZipArchive::zipOpen), CZipException);

    kivtest::TempDir dir;
    CZipArchive zip;
    EXPECT_EQ(causeOf([&] { zip.Open(dir.file("missing.zip"), CZipArchive::zipOpen); }), CZipException::ioError);
    EXPECT_FALSE(zip.Open(dir.file("x.zip"), 2)) << "unknown mode";
    EXPECT_TRUE(zip.IsClosed());
}

TEST(ZipHostile, BombsStopAtTheStatedSize) {
    const std::string zeros(1 << 20, '\0');
    ExactArchive a(bombArchive(zeros, 1000));
    ASSERT_TRUE(a.zip.Open(a.mem, CZipArchive::zipOpenReadOnly));
    CZipMemFile out;
    EXPECT_EQ(causeOf([&] { a.zip.ExtractFile(0, out); }), CZipException::badArchive);
    EXPECT_LE(out.GetSize(), 1000u);

    // A size beyond the entry limit is refused before any work.
    ExactArchive b(bombArchive(zeros, 0xFFFFFFF0));
    ASSERT_TRUE(b.zip.Open(b.mem, CZipArchive::zipOpenReadOnly));
    CZipMemFile out2;
    EXPECT_EQ(causeOf([&] { b.zip.ExtractFile(0, out2); }), CZipException::tooBig);
    EXPECT_EQ(out2.GetSize(), 0u);

    // Stated larger than the data: truncated, not padded.
    ExactArchive c(bombArchive(zeros, (1 << 20) + 10));
    ASSERT_TRUE(c.zip.Open(c.mem, CZipArchive::zipOpenReadOnly));
    EXPECT_EQ(causeOf([&] { extract(c.zip, 0); }), CZipException::badArchive);
}

TEST(ZipHostile, UnsupportedMethodsAreRefused) {
    std::string bytes = buildArchive({{"a.txt", text(500)}});
    Layout l = layoutOf(bytes);
    setLe16(bytes, 8, 12);  // bzip2
    setLe16(bytes, l.cdOffset + 10, 12);
    ExactArchive a(bytes);
    ASSERT_TRUE(a.zip.Open(a.mem, CZipArchive::zipOpenReadOnly));
    EXPECT_EQ(causeOf([&] { extract(a.zip, 0); }), CZipException::unsupported);
}

TEST(ZipHostile, ChangingRefusesArchivesItCouldDamage) {
    // An entry whose data would reach into the directory would be overwritten by appends.
    std::string bytes = buildArchive({{"a.txt", text(500)}, {"b.txt", "bee"}});
    Layout l = layoutOf(bytes);
    setLe32(bytes, l.cdOffset + 20, 100000);
    ExactArchive a(bytes);
    EXPECT_EQ(causeOf([&] { a.zip.Open(a.mem, CZipArchive::zipOpen); }), CZipException::badArchive);
    ExactArchive b(bytes);
    EXPECT_TRUE(b.zip.Open(b.mem, CZipArchive::zipOpenReadOnly)) << "reading is still allowed";
    EXPECT_EQ(extract(b.zip, "b.txt"), "bee");
}
