// Zip engine against independent tools: what we write, Python's zipfile and
// Info-ZIP's unzip accept; what they write, we read. Skipped without the tools.
#include "ZipTestUtil.h"

#include <gtest/gtest.h>
#include <functional>

using namespace ziptest;

namespace {

const std::string SCRIPTS = std::string(KIV_TEST_DATA_DIR) + "/zip/";
const std::string PYTHON = "/usr/bin/python3";  // Debian's, whatever python3 the PATH finds

// Whether the archive has a ZIP64 end record or locator (our test data holds no such bytes).
bool hasZip64Record(const std::string& zip) {
    return zip.find("PK\x06\x06") != std::string::npos || zip.find("PK\x06\x07") != std::string::npos;
}

// Directory records whose extra field begins with a ZIP64 block.
size_t zip64Extras(const std::string& zip) {
    size_t n = 0;
    for (size_t p = zip.find("PK\x01\x02"); p != std::string::npos; p = zip.find("PK\x01\x02", p + 4))
        if (le16(zip, p + 30) >= 4 && le16(zip, p + 46 + le16(zip, p + 28)) == 1) ++n;
    return n;
}

// Lowered ZIP64 limits for one scope.
struct Zip64LimitsFor {
    explicit Zip64LimitsFor(uint64_t bytes) : previous(SetZip64Limits({0xFFFF, bytes})) {}
    ~Zip64LimitsFor() { SetZip64Limits(previous); }
    CZip64Limits previous;
};

class ZipInterop : public ::testing::Test {
protected:
    kivtest::TempDir dir;
    std::string file(const std::string& name) const { return dir.file(name); }

    // Python's verdict on an archive: testzip() and every entry readable.
    bool pythonAccepts(const std::string& path, const std::string& password = "") {
        return run(PYTHON + " '" + SCRIPTS + "check.py' '" + path + "' '" + password + "'");
    }

    // An entry's bytes as Python reads them.
    std::string pythonRead(const std::string& path, const std::string& name, const std::string& password = "") {
        const std::string out = file("py_out.bin");
        std::remove(out.c_str());
        if (!run(PYTHON + " '" + SCRIPTS + "read.py' '" + path + "' '" + name + "' '" + password + "' '" + out + "'"))
            return "<python failed>";
        return kivtest::readFile(out);
    }

    // Python (and unzip, when installed) accept the archive, and Python reads name as data.
    void expectStandard(const std::string& path, const std::string& name, const std::string& data) {
        EXPECT_TRUE(pythonAccepts(path)) << path;
        if (haveTool("unzip")) {
            EXPECT_TRUE(run("unzip -tq '" + path + "'")) << path;
        }
        EXPECT_EQ(pythonRead(path, name), data) << path << ": " << name;
    }

    std::map<std::string, std::string> sample() {
        return {{"text.xml", text(30000)},
                {"noise.bin", randomBytes(4000)},
                {"empty.txt", ""},
                {"sub/dir/deep.txt", "deep"},
                {"\xC3\xBC"
                 "ber/gr\xC3\xB6\xC3\x9F"
                 "e.txt",
                 "unicode"}};
    }

    void expectEntries(const std::string& path, const std::map<std::string, std::string>& entries) {
        CZipArchive zip;
        ASSERT_TRUE(zip.Open(path, CZipArchive::zipOpenReadOnly)) << path;
        EXPECT_EQ(zip.GetCount(), static_cast<int>(entries.size()));
        for (const auto& kv : entries) EXPECT_EQ(extract(zip, kv.first), kv.second) << path << ": " << kv.first;
    }
};

#define REQUIRE_TOOL(name) \
    if (!haveTool(name)) GTEST_SKIP() << name << " is not installed"

}  // namespace

TEST_F(ZipInterop, OurArchivesPassPythonAndUnzip) {
    REQUIRE_TOOL(PYTHON.c_str());
    REQUIRE_TOOL("unzip");
    const std::string path = file("ours.zip");
    kivtest::writeFile(path, buildArchive(sample()));
    expectStandard(path,
                   "\xC3\xBC"
                   "ber/gr\xC3\xB6\xC3\x9F"
                   "e.txt",
                   "unicode");

    // After edits, renames and compaction the archive is still a standard one.
    CZipArchive zip;
    ASSERT_TRUE(zip.Open(path, CZipArchive::zipOpen));
    ASSERT_TRUE(zip.RemoveFile(zip.FindFile("text.xml")));
    ASSERT_TRUE(zip.RenameFile(zip.FindFile("noise.bin"), "renamed/noise.bin"));
    ASSERT_TRUE(add(zip, "text.xml", text(1000)));
    zip.Close();
    expectStandard(path, "renamed/noise.bin", randomBytes(4000));

    ASSERT_TRUE(zip.Open(path, CZipArchive::zipOpen));
    zip.Compact();
    zip.Close();
    EXPECT_TRUE(isPacked(kivtest::readFile(path)));
    expectStandard(path, "text.xml", text(1000));
}

TEST_F(ZipInterop, PythonReadsOurEncryptedEntries) {
    REQUIRE_TOOL(PYTHON.c_str());
    const std::string path = file("secret.zip");
    {
        CZipArchive zip;
        ASSERT_TRUE(zip.Open(path, CZipArchive::zipCreate));
        zip.SetPassword("pass word");
        ASSERT_TRUE(add(zip, "deflated.txt", text(20000)));
        ASSERT_TRUE(add(zip, "stored.bin", randomBytes(2000)));
        zip.Close();
    }
    EXPECT_TRUE(pythonAccepts(path, "pass word"));
    EXPECT_EQ(pythonRead(path, "deflated.txt", "pass word"), text(20000));
    EXPECT_EQ(pythonRead(path, "stored.bin", "pass word"), randomBytes(2000));
    EXPECT_EQ(pythonRead(path, "stored.bin", "wrong"), "<python failed>");
    if (haveTool("unzip")) {
        EXPECT_TRUE(run("unzip -tq -P 'pass word' '" + path + "'"));
    }
}

TEST_F(ZipInterop, ReadsInfoZipArchives) {
    REQUIRE_TOOL("zip");
    std::map<std::string, std::string> entries = {{"a.txt", text(20000)}, {"b.bin", randomBytes(3000)}};
    for (const auto& kv : entries) kivtest::writeFile(file(kv.first), kv.second);
    const std::string files = "a.txt b.bin";
    ASSERT_TRUE(run("cd '" + dir.path() + "' && zip -q deflated.zip " + files));
    ASSERT_TRUE(run("cd '" + dir.path() + "' && zip -q -0 stored.zip " + files));
    // Written to a pipe: zip cannot seek back, so it uses data descriptors (and ZIP64 local fields).
    ASSERT_TRUE(run("cd '" + dir.path() + "' && zip -q - " + files + " | cat > streamed.zip"));
    ASSERT_TRUE(run("cd '" + dir.path() + "' && echo 'archive comment' | zip -q -z commented.zip " + files));

    for (const char* name : {"deflated.zip", "stored.zip", "streamed.zip", "commented.zip"}) expectEntries(file(name), entries);

    CZipArchive zip;
    ASSERT_TRUE(zip.Open(file("streamed.zip"), CZipArchive::zipOpenReadOnly));
    CZipEntryInfo info;
    ASSERT_TRUE(zip.GetEntryInfo(0, &info));
    EXPECT_EQ(info.flags & 8, 8) << "the streamed archive should use data descriptors";
    zip.Close();

    // Editing a streamed archive keeps its entries (descriptors and all) readable.
    ASSERT_TRUE(zip.Open(file("streamed.zip"), CZipArchive::zipOpen));
    ASSERT_TRUE(zip.RemoveFile(zip.FindFile("a.txt")));
    ASSERT_TRUE(add(zip, "c.txt", "sea"));
    zip.Compact();
    zip.Close();
    entries.erase("a.txt");
    entries["c.txt"] = "sea";
    expectEntries(file("streamed.zip"), entries);
    if (haveTool("unzip")) {
        EXPECT_TRUE(run("unzip -tq '" + file("streamed.zip") + "'"));
    }
}

TEST_F(ZipInterop, ReadsPythonArchivesIncludingZip64) {
    REQUIRE_TOOL(PYTHON.c_str());
    // Plain, stored, local-only ZIP64 and full ZIP64 archives: see make_archives.py.
    ASSERT_TRUE(run(PYTHON + " '" + SCRIPTS + "make_archives.py' '" + dir.path() + "'"));
    std::string y;
    for (int i = 0; i < 8; ++i)
        for (int b = 0; b < 256; ++b) y += static_cast<char>(b);
    std::string x;
    for (int i = 0; i < 1000; ++i) x += "hello ";
    const std::map<std::string, std::string> entries = {{"x.txt", x}, {"y.bin", y}, {"e", ""}};
    for (const char* name : {"deflated.zip", "stored.zip", "zip64.zip", "zip64full.zip"}) expectEntries(file(name), entries);

    // Local extra fields that differ from the central ones survive an edit.
    CZipArchive zip;
    ASSERT_TRUE(zip.Open(file("zip64.zip"), CZipArchive::zipOpen));
    ASSERT_TRUE(add(zip, "added.txt", "added"));
    ASSERT_TRUE(zip.RemoveFile(zip.FindFile("x.txt")));
    zip.Compact();
    zip.Close();
    expectStandard(file("zip64.zip"), "added.txt", "added");
    EXPECT_EQ(pythonRead(file("zip64.zip"), "y.bin"), y);
}

TEST_F(ZipInterop, ReadsArchivesWithDataInFront) {
    REQUIRE_TOOL(PYTHON.c_str());
    // Self-extractors put a program before the archive; offsets then count from the archive start.
    const std::string path = file("prefixed.zip");
    kivtest::writeFile(path, std::string(1000, 'P') + buildArchive(sample()));
    ASSERT_TRUE(pythonAccepts(path)) << "the test input itself should be readable";
    expectEntries(path, sample());
    CZipArchive zip;
    ASSERT_TRUE(zip.Open(path, CZipArchive::zipOpen));
    ASSERT_TRUE(add(zip, "more", "more"));
    zip.Close();
    EXPECT_EQ(kivtest::readFile(path).substr(0, 1000), std::string(1000, 'P'));
    expectStandard(path, "more", "more");
}

TEST_F(ZipInterop, Zip64IsWrittenWhereNeededAndOnlyThere) {
    REQUIRE_TOOL(PYTHON.c_str());
    REQUIRE_TOOL("unzip");
    // Sizes and offsets of 4 GiB are tested with the limit lowered to 3000 bytes:
    // the large entries then need ZIP64 sizes (in their local headers too), the
    // entries after them ZIP64 offsets, and the directory a ZIP64 end record.
    struct Case {
        const char* file;
        int entries;
        uint64_t bytes;  // the size limit
        bool zip64;
    } const cases[] = {
        {"count_below.zip", 65534, 0xFFFFFFFF, false}, {"count.zip", 65535, 0xFFFFFFFF, true}, {"sizes.zip", 40, 3000, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        std::map<std::string, std::string> entries = {{"big.txt", text(9000)}, {"noise.bin", randomBytes(4000)}};
        for (int i = 2; i < c.entries; ++i) entries["d/e" + std::to_string(i)] = std::to_string(i);
        const std::string path = file(c.file);
        auto write = [&](const std::function<void(CZipArchive&)>& edit, int mode) {
            Zip64LimitsFor limits(c.bytes);
            CZipArchive zip;
            ASSERT_TRUE(zip.Open(path, mode));
            edit(zip);
            zip.Close();
        };
        write(
            [&](CZipArchive& zip) {
                for (const auto& kv : entries) ASSERT_TRUE(add(zip, kv.first, kv.second));
            },
            CZipArchive::zipCreate);
        const std::string bytes = kivtest::readFile(path);
        EXPECT_EQ(hasZip64Record(bytes), c.zip64);
        const size_t extras = zip64Extras(bytes);
        if (c.bytes < 0xFFFFFFFF) {
            EXPECT_GT(extras, 0u);
            EXPECT_LT(extras, entries.size()) << "the first entries lie below the limit";
        } else {
            EXPECT_EQ(extras, 0u);
        }
        if (!c.zip64) {
            EXPECT_EQ(layoutOf(bytes).entries, 65534u);
            continue;
        }
        expectEntries(path, entries);
        expectStandard(path, "big.txt", text(9000));
        if (c.entries > 100) continue;  // editing is as well seen on a few entries
        // A ZIP64 archive is edited in place and compacted like any other; an
        // entry copied from another archive gets ZIP64 sizes as an added one does.
        const std::string other = buildArchive({{"big.txt", text(9000)}});
        CZipMemFile otherFile(other.data(), other.size());
        CZipArchive source;
        ASSERT_TRUE(source.Open(otherFile, CZipArchive::zipOpenReadOnly));
        write(
            [&](CZipArchive& zip) {
                ASSERT_TRUE(zip.RemoveFile(zip.FindFile("noise.bin")));
                ASSERT_TRUE(add(zip, "added.txt", text(5000)));
                ASSERT_TRUE(zip.CopyEntryFrom(source, 0, "copied.txt"));
                zip.Compact();
            },
            CZipArchive::zipOpen);
        entries.erase("noise.bin");
        entries["added.txt"] = text(5000);
        entries["copied.txt"] = text(9000);
        expectEntries(path, entries);
        expectStandard(path, "added.txt", text(5000));
    }
}
