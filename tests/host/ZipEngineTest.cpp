// Zip engine: round trips, editing in place, compaction, memory files, encryption.
#include "ZipTestUtil.h"

#include <gtest/gtest.h>
#include <algorithm>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace ziptest;

namespace {

struct stat statOf(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st;
}

CZipEntryInfo infoOf(CZipArchive& zip, const std::string& name) {
    CZipEntryInfo info;
    EXPECT_TRUE(zip.GetEntryInfo(zip.FindFile(name), &info)) << name;
    return info;
}

}  // namespace

TEST(ZipEngine, RoundTripKeepsEveryKindOfEntry) {
    kivtest::TempDir dir;
    const std::string path = dir.file("a.zip");
    const std::string unicodeName = "d\xC3\xA9j\xC3\xA0/\xE5\x90\x8D\xE5\x89\x8D.txt";  // "déjà/名前.txt"
    const std::string big = text(200000), jpeg = "\xFF\xD8\xFF\xE0" + text(3000);
    const int smartest = CZipArchive::zipsmSmartest;
    const struct {
        std::string name, data;
        int level, smartness, method;  // method: how it is stored, -1 when either will do
    } entries[] = {
        {"text.txt", big, -1, smartest, 8},
        {"noise.bin", randomBytes(5000), -1, smartest, 0},  // deflate does not shrink noise
        {"stored.txt", big, 0, smartest, 0},
        {"empty", "", -1, smartest, -1},
        {"folder/", "", -1, smartest, -1},
        {unicodeName, "unicode", -1, smartest, -1},
        {"image.jpg", jpeg, -1, smartest, 0},                // JPEG data is stored
        {"plain.jpg", jpeg, -1, CZipArchive::zipsmNone, 8},  // without smartness it is deflated
        {"tiny", "abcabcabcabcabcabc", -1, CZipArchive::zipsmSmallStored, 0},
    };
    {
        CZipArchive zip;
        ASSERT_TRUE(zip.Open(path, CZipArchive::zipCreate));
        for (const auto& e : entries) EXPECT_TRUE(add(zip, e.name, e.data, e.level, e.smartness)) << e.name;
        zip.Close();
    }
    CZipArchive zip;
    ASSERT_TRUE(zip.Open(path, CZipArchive::zipOpenReadOnly));
    ASSERT_EQ(zip.GetCount(), 9);
    for (const auto& e : entries) {
        SCOPED_TRACE(e.name);
        EXPECT_EQ(extract(zip, e.name), e.data);
        const CZipEntryInfo info = infoOf(zip, e.name);
        if (e.method >= 0) {
            EXPECT_EQ(info.method, e.method);
        }
        EXPECT_EQ(info.directory, e.name == "folder/");
        EXPECT_EQ(info.flags & 0x800, e.name == unicodeName ? 0x800 : 0);  // UTF-8 names are marked
        EXPECT_EQ(info.dosDate, 0x21) << "1980-01-01 by default";
    }
    EXPECT_LT(infoOf(zip, "text.txt").compressedSize, big.size() / 10);
    EXPECT_EQ(infoOf(zip, "noise.bin").compressedSize, 5000u);

    // Exact whole-name lookup; case folding only on request.
    EXPECT_EQ(zip.FindFile("TEXT.TXT"), -1);
    EXPECT_EQ(zip.FindFile("TEXT.TXT", false), zip.FindFile("text.txt"));
    EXPECT_EQ(zip.FindFile("folder"), -1);
    EXPECT_EQ(zip.FindFile("ext.txt"), -1);
    EXPECT_FALSE(zip.GetEntryInfo(9, nullptr));
    CZipMemFile out;
    EXPECT_FALSE(zip.ExtractFile(9, out));
    EXPECT_FALSE(zip.ExtractFile(-1, out));
}

TEST(ZipEngine, ManyEntriesInMemoryAndIdenticalOutput) {
    std::map<std::string, std::string> entries;
    for (int i = 0; i < 2000; ++i) entries["dir" + std::to_string(i % 7) + "/e" + std::to_string(i)] = text(i % 300);
    const std::string bytes = buildArchive(entries);
    EXPECT_EQ(bytes, buildArchive(entries)) << "equal input gives byte-identical archives";

    CZipMemFile mem;
    mem.Attach(bytes.data(), bytes.size(), false);
    CZipArchive zip;
    ASSERT_TRUE(zip.Open(mem, CZipArchive::zipOpenReadOnly));
    ASSERT_EQ(zip.GetCount(), 2000);
    for (const auto& kv : entries) ASSERT_EQ(extract(zip, kv.first), kv.second) << kv.first;
}

// Entries compressed ahead (in pieces on two threads when large) read back as
// they were, with their CRC checked; small ones give the bytes adding them one
// by one gives; what does not match what was prepared is compressed as it comes.
TEST(ZipEngine, PreparedEntriesReadBackAndMatchUnprepared) {
    std::map<std::string, std::string> entries;
    for (int i = 0; i < 300; ++i) entries["small/e" + std::to_string(i)] = text(100 + i * 7);
    entries["big/text"] = text(3u << 20);                         // pieces, each with its dictionary
    entries["big/random"] = randomBytes((1u << 20) + 17);         // stored after trying
    entries["pic.jpg"] = "\xFF\xD8\xFF\xE0" + randomBytes(5000);  // stored as it is
    const std::string changed = text(4000), other = text(5000);
    for (int level : {1, 6}) {
        CZipMemFile mem;
        CZipArchive zip;
        ASSERT_TRUE(zip.Open(mem, CZipArchive::zipCreate));
        std::vector<CZipArchive::Data> data;
        for (const auto& kv : entries) data.push_back({kv.second.data(), kv.second.size()});
        data.push_back({changed.data(), changed.size()});
        data.push_back({other.data(), other.size()});
        zip.PrepareNewFiles(data, level);
        for (const auto& kv : entries) ASSERT_TRUE(add(zip, kv.first, kv.second, level)) << kv.first;
        ASSERT_TRUE(zip.AddNewFile(changed.data(), 3000, "changed", level));  // another size
        ASSERT_TRUE(add(zip, "other", other, level == 1 ? 2 : 1));            // another level
        zip.Close();
        const std::string bytes(reinterpret_cast<const char*>(mem.GetData()), mem.GetSize());

        CZipMemFile in;
        in.Attach(bytes.data(), bytes.size(), false);
        CZipArchive read;
        ASSERT_TRUE(read.Open(in, CZipArchive::zipOpenReadOnly));
        for (const auto& kv : entries) EXPECT_EQ(extract(read, kv.first), kv.second) << kv.first;
        EXPECT_EQ(extract(read, "changed"), changed.substr(0, 3000));
        EXPECT_EQ(extract(read, "other"), other);
        CZipEntryInfo info;
        ASSERT_TRUE(read.GetEntryInfo(read.FindFile("big/text"), &info));
        EXPECT_LT(info.compressedSize, (3u << 20) / 10) << "the pieces compress as one text";
        ASSERT_TRUE(read.GetEntryInfo(read.FindFile("pic.jpg"), &info));
        EXPECT_EQ(info.compressedSize, info.uncompressedSize);

        std::map<std::string, std::string> small;
        for (const auto& kv : entries)
            if (kv.first.compare(0, 6, "small/") == 0) small.insert(kv);
        CZipMemFile one;
        CZipArchive prepared;
        ASSERT_TRUE(prepared.Open(one, CZipArchive::zipCreate));
        data.clear();
        for (const auto& kv : small) data.push_back({kv.second.data(), kv.second.size()});
        prepared.PrepareNewFiles(data, level);
        for (const auto& kv : small) add(prepared, kv.first, kv.second, level);
        prepared.Close();
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(one.GetData()), one.GetSize()), buildArchive(small, level));
    }
}

TEST(ZipEngine, ChangesReadBackBeforeClose) {
    kivtest::TempDir dir;
    const std::string path = dir.file("a.zip");
    CZipArchive zip;
    ASSERT_TRUE(zip.Open(path, CZipArchive::zipCreate));
    ASSERT_TRUE(add(zip, "one.xml", text(5000)));
    ASSERT_TRUE(add(zip, "two.xml", "<two/>"));
    EXPECT_EQ(extract(zip, "one.xml"), text(5000));

    EXPECT_FALSE(add(zip, "one.xml", "again")) << "two entries of one name are refused";
    EXPECT_FALSE(add(zip, "", "nameless"));
    EXPECT_THROW(add(zip, std::string(ZipLimits::kMaxNameLength + 1, 'n'), "x"), CZipException);
    EXPECT_EQ(zip.GetCount(), 2);

    ASSERT_TRUE(zip.RemoveFile(zip.FindFile("one.xml")));  // replace
    ASSERT_TRUE(add(zip, "one.xml", "<new/>"));
    EXPECT_EQ(extract(zip, "one.xml"), "<new/>");
    EXPECT_EQ(extract(zip, "two.xml"), "<two/>");
    EXPECT_FALSE(zip.RemoveFile(5));

    EXPECT_FALSE(zip.RenameFile(zip.FindFile("two.xml"), "one.xml"));
    ASSERT_TRUE(zip.RenameFile(zip.FindFile("two.xml"), "2.xml"));    // shorter name: entry moved
    ASSERT_TRUE(zip.RenameFile(zip.FindFile("one.xml"), "ONE.xml"));  // same length: patched in place
    zip.Close();

    ASSERT_TRUE(zip.Open(path, CZipArchive::zipOpenReadOnly));
    EXPECT_EQ(zip.GetCount(), 2);
    EXPECT_EQ(extract(zip, "ONE.xml"), "<new/>");
    EXPECT_EQ(extract(zip, "2.xml"), "<two/>");
    EXPECT_THROW(add(zip, "x", "y"), CZipException) << "read-only archives refuse changes";
    EXPECT_THROW(zip.RemoveFile(0), CZipException);
    EXPECT_FALSE(zip.Open(path, CZipArchive::zipOpen)) << "already open";
    EXPECT_EQ(extract(zip, "2.xml"), "<two/>") << "the first open is intact";
}

TEST(ZipEngine, CloseWithoutChangesTouchesNothing) {
    kivtest::TempDir dir;
    const std::string path = dir.file("a.zip");
    kivtest::writeFile(path, buildArchive({{"a", text(3000)}, {"b", "bee"}}));
    const std::string before = kivtest::readFile(path);
    struct stat st0 = statOf(path);
    ::usleep(20000);
    for (int mode : {CZipArchive::zipOpen, CZipArchive::zipOpenReadOnly}) {
        CZipArchive zip;
        ASSERT_TRUE(zip.Open(path, mode));
        EXPECT_EQ(extract(zip, "a"), text(3000));
        if (mode == CZipArchive::zipOpen) {
            EXPECT_FALSE(add(zip, "b", "duplicate")) << "a refused add is no change";
        }
        zip.Close();
    }
    struct stat st1 = statOf(path);
    EXPECT_EQ(kivtest::readFile(path), before);
    EXPECT_EQ(st0.st_mtim.tv_sec, st1.st_mtim.tv_sec);
    EXPECT_EQ(st0.st_mtim.tv_nsec, st1.st_mtim.tv_nsec);
}

TEST(ZipEngine, EditsAppendAndReuseTheTail) {
    kivtest::TempDir dir;
    const std::string path = dir.file("a.zip");
    std::map<std::string, std::string> entries;
    for (int i = 0; i < 20; ++i) entries["part" + std::to_string(i)] = randomBytes(20000, i);
    kivtest::writeFile(path, buildArchive(entries));
    const std::string original = kivtest::readFile(path);
    const size_t cd = layoutOf(original).cdOffset;

    CZipArchive zip;
    ASSERT_TRUE(zip.Open(path, CZipArchive::zipOpen));
    ASSERT_TRUE(add(zip, "new.bin", randomBytes(10000, 99)));
    zip.Close();
    std::string after = kivtest::readFile(path);
    ASSERT_GT(after.size(), cd);
    EXPECT_EQ(after.compare(0, cd, original, 0, cd), 0) << "entries before the directory are untouched";
    EXPECT_EQ(layoutOf(after).entries, 21u);

    // Replacing the last entry again and again reuses its space: no growth.
    for (int round = 0; round < 5; ++round) {
        ASSERT_TRUE(zip.Open(path, CZipArchive::zipOpen));
        ASSERT_TRUE(zip.RemoveFile(zip.FindFile("new.bin")));
        ASSERT_TRUE(add(zip, "new.bin", randomBytes(10000, round)));
        EXPECT_EQ(zip.GetGarbageBytes(), 0u);
        zip.Close();
        EXPECT_EQ(kivtest::readFile(path).size(), after.size());
    }
    ASSERT_TRUE(zip.Open(path, CZipArchive::zipOpenReadOnly));
    EXPECT_EQ(extract(zip, "new.bin"), randomBytes(10000, 4));
    EXPECT_EQ(extract(zip, "part7"), entries["part7"]);
}

TEST(ZipEngine, CompactRemovesGarbage) {
    kivtest::TempDir dir;
    const std::string path = dir.file("a.zip");
    std::map<std::string, std::string> entries;
    for (int i = 0; i < 10; ++i) entries["part" + std::to_string(i)] = randomBytes(10000, i);
    kivtest::writeFile(path, buildArchive(entries));

    CZipArchive zip;
    ASSERT_TRUE(zip.Open(path, CZipArchive::zipOpen));
    EXPECT_EQ(zip.GetGarbageBytes(), 0u);
    ASSERT_TRUE(zip.RemoveFile(zip.FindFile("part3")));
    ASSERT_TRUE(zip.RemoveFile(zip.FindFile("part5")));
    EXPECT_EQ(zip.GetGarbageBytes(), 2 * (30 + 5 + 10000u));
    ASSERT_TRUE(add(zip, "late", text(50000)));
    zip.Close();
    EXPECT_FALSE(isPacked(kivtest::readFile(path))) << "below the threshold, Close leaves garbage";

    ASSERT_TRUE(zip.Open(path, CZipArchive::zipOpen));
    EXPECT_EQ(zip.GetGarbageBytes(), 2 * (30 + 5 + 10000u)) << "garbage is found again on opening";
    zip.Compact();
    EXPECT_EQ(zip.GetGarbageBytes(), 0u);
    EXPECT_EQ(extract(zip, "part9"), entries["part9"]) << "moved entries read back at once";
    zip.Close();
    const std::string packed = kivtest::readFile(path);
    EXPECT_TRUE(isPacked(packed));

    ASSERT_TRUE(zip.Open(path, CZipArchive::zipOpenReadOnly));
    EXPECT_EQ(zip.GetCount(), 9);
    for (const auto& kv : entries) {
        if (kv.first != "part3" && kv.first != "part5") {
            EXPECT_EQ(extract(zip, kv.first), kv.second);
        }
    }
    EXPECT_EQ(extract(zip, "late"), text(50000));
    zip.Close();

    // Garbage above the live bytes is compacted by Close itself.
    ASSERT_TRUE(zip.Open(path, CZipArchive::zipOpen));
    for (int i : {0, 1, 2, 4, 6, 7}) ASSERT_TRUE(zip.RemoveFile(zip.FindFile("part" + std::to_string(i))));
    zip.Close();
    const std::string small = kivtest::readFile(path);
    EXPECT_TRUE(isPacked(small));
    EXPECT_LT(small.size(), packed.size() - 6 * 10000);
    ASSERT_TRUE(zip.Open(path, CZipArchive::zipOpenReadOnly));
    EXPECT_EQ(extract(zip, "part8"), entries["part8"]);
}

TEST(ZipEngine, MemoryFileBuffers) {
    // A caller's buffer is read in place and copied on the first change.
    std::string caller = "0123456789";
    CZipMemFile mem;
    mem.Attach(caller.data(), caller.size(), false);
    EXPECT_EQ(mem.GetData(), reinterpret_cast<const unsigned char*>(caller.data()));
    mem.Seek(2);
    mem.Write("ab", 2);
    EXPECT_EQ(caller, "0123456789");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(mem.GetData()), mem.GetSize()), "01ab456789");

    // Writing past the end fills with zeros; Detach hands over a terminated buffer.
    mem.Seek(12);
    mem.Write("x", 1);
    size_t size = 0;
    unsigned char* p = mem.Detach(&size);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(p), size), std::string("01ab456789\0\0x", 13));
    EXPECT_EQ(p[size], 0);
    EXPECT_EQ(mem.GetSize(), 0u);
    std::free(p);
    p = mem.Detach(&size);  // empty: still a buffer to free
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(size, 0u);
    std::free(p);

    // An owned malloc'ed buffer is taken over.
    auto* owned = static_cast<unsigned char*>(std::malloc(3));
    std::memcpy(owned, "xyz", 3);
    mem.Attach(owned, 3, true);
    mem.Seek(0, CZipAbstractFile::end);
    mem.Write("!", 1);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(mem.GetData()), mem.GetSize()), "xyz!");
    EXPECT_THROW(mem.Seek(-1), CZipException);

    // An empty archive is its end record.
    CZipMemFile empty;
    CZipArchive zip;
    ASSERT_TRUE(zip.Open(empty, CZipArchive::zipCreate));
    zip.Close();
    EXPECT_EQ(empty.GetSize(), 22u);
    ASSERT_TRUE(zip.Open(empty, CZipArchive::zipOpenReadOnly));
    EXPECT_EQ(zip.GetCount(), 0);
    EXPECT_EQ(zip.FindFile("a"), -1);
}

// The name index is updated in place when an entry goes: random additions,
// removals and renames must find exactly what a walk of the entries finds.
TEST(ZipEngine, NameIndexAgreesWithTheEntriesThroughEdits) {
    CZipMemFile mem;
    CZipArchive zip;
    ASSERT_TRUE(zip.Open(mem, CZipArchive::zipCreate));
    std::vector<std::string> names;  // the entries in order, as the archive holds them
    unsigned seed = 12345;
    auto next = [&seed](unsigned n) { return (seed = seed * 1103515245u + 12345u) / 65536u % n; };
    for (int step = 0; step < 3000; ++step) {
        const unsigned what = next(10);
        const std::string name = "ppt/slides/slide" + std::to_string(next(400)) + ".xml";
        if (what < 5 || names.empty()) {
            const bool added = add(zip, name, "x");
            ASSERT_EQ(added, std::find(names.begin(), names.end(), name) == names.end()) << name;
            if (added) names.push_back(name);
        } else if (what < 8) {
            const size_t at = next(static_cast<unsigned>(names.size()));
            ASSERT_TRUE(zip.RemoveFile(static_cast<int>(at)));
            names.erase(names.begin() + static_cast<long>(at));
        } else {
            const size_t at = next(static_cast<unsigned>(names.size()));
            const bool free = std::find(names.begin(), names.end(), name) == names.end();
            ASSERT_EQ(zip.RenameFile(static_cast<int>(at), name), free || names[at] == name) << name;
            if (free) names[at] = name;
        }
        for (unsigned k = 0; k < 400; k += 37) {
            const std::string probe = "ppt/slides/slide" + std::to_string(k) + ".xml";
            const auto found = std::find(names.begin(), names.end(), probe);
            ASSERT_EQ(zip.FindFile(probe), found == names.end() ? -1 : static_cast<int>(found - names.begin()))
                << probe << " at step " << step;
        }
    }
    ASSERT_EQ(zip.GetCount(), static_cast<int>(names.size()));
}

// Nothing in the report component encrypts; ZipEngineInteropTest checks that
// other programs read what is written here.
TEST(ZipEngine, PasswordProtectedEntries) {
    CZipMemFile mem;
    CZipArchive zip;
    ASSERT_TRUE(zip.Open(mem, CZipArchive::zipCreate));
    ASSERT_TRUE(add(zip, "open.txt", "no secret"));
    zip.SetPassword("s3cret");
    ASSERT_TRUE(add(zip, "secret.txt", text(4000)));
    ASSERT_TRUE(add(zip, "secret.bin", randomBytes(3000)));
    EXPECT_EQ(extract(zip, "secret.txt"), text(4000));
    zip.Close();

    zip.SetPassword("");
    ASSERT_TRUE(zip.Open(mem, CZipArchive::zipOpenReadOnly));
    EXPECT_EQ(extract(zip, "open.txt"), "no secret");
    EXPECT_TRUE(infoOf(zip, "secret.txt").encrypted);
    EXPECT_FALSE(infoOf(zip, "open.txt").encrypted);
    // Without the password, or with a wrong one: failing on the check byte or, 1 time in 256, on the CRC.
    for (const char* wrong : {"", "S3cret", "x", "s3cret "}) {
        zip.SetPassword(wrong);
        try {
            extract(zip, "secret.bin");
            ADD_FAILURE() << "read with '" << wrong << "'";
        } catch (const CZipException& e) {
            if (!*wrong) {
                EXPECT_EQ(e.GetCause(), CZipException::badPassword);
            }
        }
    }
    zip.SetPassword("s3cret");
    EXPECT_EQ(extract(zip, "secret.txt"), text(4000));
    EXPECT_EQ(extract(zip, "secret.bin"), randomBytes(3000));
    EXPECT_FALSE(zip.SetEncryptionMethod(7));
    EXPECT_TRUE(zip.SetEncryptionMethod(CZipArchive::encNone));
    EXPECT_FALSE(zip.IsEncrypted());
}
