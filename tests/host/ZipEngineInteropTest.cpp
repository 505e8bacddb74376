// Zip engine against independent tools: what we write, Python's zipfile and
// Info-ZIP's unzip accept; what they write, we read. Skipped without the tools.
#include "ZipTestUtil.h"

#include <gtest/gtest.h>

using namespace ziptest;

namespace {

const std::string SCRIPTS = std::string(KIV_TEST_DATA_DIR) + "/zip/";

class ZipInterop : public ::testing::Test {
protected:
    kivtest::TempDir dir;
    std::string file(const std::string& name) const { return dir.file(name); }

    // Python's verdict on an archive: testzip() and every entry readable.
    bool pythonAccepts(const std::string& path, const std::string& password = "") {
        return run("python3 '" + SCRIPTS + "check.py' '" + path + "' '" + password + "'");
    }

    // An entry's bytes as Python reads them.
    std::string pythonRead(const std::string& path, const std::string& name, const std::string& password = "") {
        const std::string out = file("py_out.bin");
        std::remove(out.c_str());
        if (!run("python3 '" + SCRIPTS + "read.py' '" + path + "' '" + name + "' '" + password + "' '" + out + "'"))
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
                {"\xC3\xBC" "ber/gr\xC3\xB6\xC3\x9F" "e.txt", "unicode"}};
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

} // namespace

TEST_F(ZipInterop, OurArchivesPassPythonAndUnzip) {
    REQUIRE_TOOL("python3");
    REQUIRE_TOOL("unzip");
    const std::string path = file("ours.zip");
    kivtest::writeFile(path, buildArchive(sample()));
    expectStandard(path, "\xC3\xBC" "ber/gr\xC3\xB6\xC3\x9F" "e.txt", "unicode");

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
    REQUIRE_TOOL("python3");
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

    for (const char* name : {"deflated.zip", "stored.zip", "streamed.zip", "commented.zip"})
        expectEntries(file(name), entries);

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
    REQUIRE_TOOL("python3");
    // Plain, stored, local-only ZIP64 and full ZIP64 archives: see make_archives.py.
    ASSERT_TRUE(run("python3 '" + SCRIPTS + "make_archives.py' '" + dir.path() + "'"));
    std::string y;
    for (int i = 0; i < 8; ++i)
        for (int b = 0; b < 256; ++b) y += static_cast<char>(b);
    std::string x;
    for (int i = 0; i < 1000; ++i) x += "hello ";
    const std::map<std::string, std::string> entries = {{"x.txt", x}, {"y.bin", y}, {"e", ""}};
    for (const char* name : {"deflated.zip", "stored.zip", "zip64.zip", "zip64full.zip"})
        expectEntries(file(name), entries);

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
    REQUIRE_TOOL("python3");
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
