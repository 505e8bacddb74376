#include "LibCore/lfwFile.h"
#include "LibCore/lfwStagedFiles.h"
#include "support/TestSupport.h"
#include <gtest/gtest.h>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

using kivtest::readFile;
using kivtest::TempDir;
using kivtest::writeFile;
using lfw::FileSystem;
using lfw::String;

std::string s(const String& str) { return str.toStdString(); }

const char* const kTempVars[] = {"TMPDIR", "TMP", "TEMP", "TEMPDIR"};

// Clears the temporary-directory variables for one test and puts them back afterwards.
class TempVars {
public:
    TempVars() {
        for (const char* name : kTempVars) {
            const char* v = std::getenv(name);
            m_saved.emplace_back(v != nullptr, v ? v : "");
            ::unsetenv(name);
        }
    }
    ~TempVars() {
        for (size_t i = 0; i < m_saved.size(); ++i)
            m_saved[i].first ? ::setenv(kTempVars[i], m_saved[i].second.c_str(), 1) : ::unsetenv(kTempVars[i]);
    }

private:
    std::vector<std::pair<bool, std::string>> m_saved;
};

TEST(TempDirectoryPath, FirstSetVariableWinsAndEmptyCountsAsUnset) {
    TempVars vars;
    EXPECT_EQ(s(FileSystem::tempDirectoryPath()), "/tmp");
    // Set from the last variable to the first: each newly set one wins.
    const char* const values[] = {"/a", "/b/", "/c", "/d"};
    for (int i = 3; i >= 0; --i) {
        ::setenv(kTempVars[i], values[i], 1);
        EXPECT_EQ(s(FileSystem::tempDirectoryPath()), values[i]) << kTempVars[i];
    }
    ::setenv("TMPDIR", "", 1);
    EXPECT_EQ(s(FileSystem::tempDirectoryPath()), "/b/");
}

// The report component uses only the temporary folder, sameFile and fopen of
// this class; the other path and folder helpers get a row or a line each.
TEST(PathText, NamesExtensionsAndParents) {
    const struct {
        String got;
        std::string want;
    } rows[] = {
        {FileSystem::fileName("a\\b\\c.txt"), "c.txt"},
        {FileSystem::fileName("a/b/"), ""},
        {FileSystem::fileName("//server"), ""},
        {FileSystem::fileName("//server/share/f"), "f"},
        {FileSystem::extension("a/b.tar.gz"), ".gz"},
        {FileSystem::extension("dir/.profile"), ""},
        {FileSystem::extension("a/.."), ""},
        {FileSystem::extension("name."), "."},
        {FileSystem::extension("a.b/README"), ""},  // the dot is in a folder name
        {FileSystem::addTrailingSeparator("a\\b"), "a/b/"},
        {FileSystem::removeTrailingSeparator("a//\\"), "a"},
        {FileSystem::parentPath("/a"), "/"},
        {FileSystem::parentPath("a/b/"), "a"},
        {FileSystem::makeAbsolute("x/y"), s(FileSystem::currentPath()) + "/x/y"},
    };
    for (const auto& r : rows) EXPECT_EQ(s(r.got), r.want) << "row " << (&r - rows);
}

TEST(FileOperations, CreateCopyListChecksumAndDelete) {
    TempDir tmp;
    const std::string deep = tmp.file("one/two"), f = tmp.file("one/data.bin"), copy = deep + "/copy.bin";
    EXPECT_TRUE(FileSystem::createDirectoryTree(deep + "/"));
    EXPECT_TRUE(FileSystem::directoryExists(deep));
    ASSERT_TRUE(writeFile(f, "123456789"));
    EXPECT_TRUE(FileSystem::fileExists(f) && !FileSystem::fileExists(deep));
    EXPECT_EQ(FileSystem::fileSize(f), 9);

    EXPECT_TRUE(FileSystem::copyFile(f, copy));
    EXPECT_EQ(readFile(copy), "123456789");
    std::string why;
    EXPECT_FALSE(FileSystem::copyFile(tmp.file("missing"), tmp.file("never"), &why));
    EXPECT_EQ(why, "Copy failed. Source file " + tmp.file("missing") + " did not exist");
    EXPECT_FALSE(FileSystem::copyFile(deep, tmp.file("never")));  // a folder is no source
    EXPECT_FALSE(FileSystem::pathExists(tmp.file("never")));      // no empty destination left behind
    EXPECT_FALSE(FileSystem::copyFile(f, tmp.file("none/never"), &why));
    EXPECT_EQ(why, "Copy failed. Could not create destination file " + tmp.file("none/never"));
    // Copying a file onto itself must not empty it.
    EXPECT_FALSE(FileSystem::copyFile(f, deep + "/../data.bin"));
    EXPECT_EQ(readFile(f), "123456789");

    EXPECT_EQ(FileSystem::fileContentsCrc(f, 0), 0xCBF43926u);
    EXPECT_EQ(FileSystem::fileContentsCrc(f, 100), 0xCBF43926u);  // longer than the file
    ASSERT_TRUE(writeFile(deep + "/prefix", "1234"));
    EXPECT_EQ(FileSystem::fileContentsCrc(f, 4), FileSystem::fileContentsCrc(deep + "/prefix", 0));
    EXPECT_EQ(FileSystem::fileContentsCrc(tmp.file("missing"), 0), 0u);

    for (const char* name : {"b.jpg", "a.JPG"}) ASSERT_TRUE(writeFile(deep + "/" + name, "x"));
    std::vector<String> files, dirs;
    ASSERT_TRUE(FileSystem::getDirectoryContents(tmp.file("one"), &files, &dirs));
    EXPECT_EQ(files, (std::vector<String>{"data.bin"}));
    EXPECT_EQ(dirs, (std::vector<String>{"two"}));
    EXPECT_EQ(FileSystem::findFilesInDirectory(deep, "*.jpg"), (std::vector<String>{"b.jpg"}));
    EXPECT_EQ(FileSystem::findFilesInDirectory(deep, "?.[jJ]PG"), (std::vector<String>{"a.JPG"}));
    EXPECT_FALSE(FileSystem::getDirectoryContents(tmp.file("missing"), &files, &dirs));

    EXPECT_FALSE(FileSystem::deleteDirectory(deep));  // not empty
    EXPECT_TRUE(FileSystem::deleteAllFilesInDirectory(deep));
    EXPECT_TRUE(FileSystem::getAllFilesInDirectory(deep).empty());
    EXPECT_TRUE(FileSystem::deleteDirectory(deep));
    EXPECT_TRUE(FileSystem::deleteFile(f));
    EXPECT_FALSE(FileSystem::deleteFile(f));
}

TEST(FileOperations, RecursiveDeleteRemovesLinksNotTheirTargets) {
    TempDir outside;
    ASSERT_TRUE(writeFile(outside.file("keep.txt"), "precious"));
    ASSERT_TRUE(FileSystem::createDirectory(outside.file("inner")));
    ASSERT_TRUE(writeFile(outside.file("inner/keep2.txt"), "precious too"));

    TempDir tmp;
    std::string root = tmp.file("tree");
    ASSERT_TRUE(FileSystem::createDirectoryTree(root + "/a/b"));
    ASSERT_TRUE(writeFile(root + "/a/b/f.txt", "x"));
    ASSERT_EQ(::symlink(outside.path().c_str(), (root + "/a/dirlink").c_str()), 0);
    ASSERT_EQ(::symlink(outside.file("keep.txt").c_str(), (root + "/filelink").c_str()), 0);
    ASSERT_EQ(::symlink("/nonexistent/target", (root + "/dangling").c_str()), 0);

    EXPECT_TRUE(FileSystem::deleteDirectoryRecursive(root + "/"));
    EXPECT_FALSE(FileSystem::pathExists(root));
    EXPECT_EQ(readFile(outside.file("keep.txt")), "precious");
    EXPECT_EQ(readFile(outside.file("inner/keep2.txt")), "precious too");

    // The path itself a link to a directory: only the link goes.
    std::string top = tmp.file("toplink");
    ASSERT_EQ(::symlink(outside.path().c_str(), top.c_str()), 0);
    EXPECT_TRUE(FileSystem::deleteDirectoryRecursive(top + "/"));
    EXPECT_FALSE(FileSystem::pathExists(top));
    EXPECT_EQ(readFile(outside.file("inner/keep2.txt")), "precious too");

    EXPECT_FALSE(FileSystem::deleteDirectoryRecursive(outside.file("keep.txt")));  // not a directory
    EXPECT_FALSE(FileSystem::deleteDirectoryRecursive(tmp.file("missing")));
    EXPECT_FALSE(FileSystem::deleteDirectoryRecursive(""));
}

TEST(FileOpen, Utf8PathsAndFailures) {
    TempDir tmp;
    String path = String(tmp.path()) + "/gr\xC3\xBC\xC3\x9F.txt";
    lfw::FilePtr out(lfw::File::fopen(path, "wb"));
    ASSERT_TRUE(out);
    std::fputs("hi", out.get());
    out.reset();
    EXPECT_EQ(readFile(path.toStdString()), "hi");
    EXPECT_EQ(lfw::File::fopen(String(tmp.path()) + "/missing", "rb"), nullptr);
    EXPECT_EQ(lfw::File::fopen("", "rb"), nullptr);
}

// Targets change only when the whole set is committed; what is not committed
// leaves nothing behind; an input is never a target; a replaced file keeps its
// permissions and a link is replaced, never written through.
TEST(StagedFiles, TargetsChangeOnlyOnCommit) {
    TempDir tmp;
    const std::string a = tmp.file("a.txt"), b = tmp.file("b.txt"), link = tmp.file("link.txt");
    ASSERT_TRUE(writeFile(a, "old") && ::chmod(a.c_str(), 0640) == 0 && ::symlink(a.c_str(), link.c_str()) == 0);
    {
        lfw::StagedFiles staged;
        EXPECT_TRUE(staged.write(a, "new", 3) && staged.write(b, "bee", 3));
        EXPECT_EQ(staged.targets(), (std::vector<std::string>{a, b}));
        EXPECT_EQ(readFile(a), "old");
    }
    EXPECT_EQ(readFile(a), "old");
    EXPECT_EQ(FileSystem::getAllFilesInDirectory(tmp.path()).size(), 2u);  // a.txt and the link

    lfw::StagedFiles staged;
    staged.protect({link});
    EXPECT_EQ(staged.stage(tmp.path() + "/./a.txt"), "");
    EXPECT_EQ(staged.error(), tmp.path() + "/./a.txt is an input of the report and is not overwritten");
    staged.protect({});
    EXPECT_TRUE(staged.write(a, "new", 3) && staged.write(link, "linked", 6) && staged.commit());
    EXPECT_EQ(readFile(a), "new");
    EXPECT_EQ(readFile(link), "linked");
    struct stat st;
    EXPECT_TRUE(::stat(a.c_str(), &st) == 0 && (st.st_mode & 0777) == 0640);
    EXPECT_TRUE(::lstat(link.c_str(), &st) == 0 && S_ISREG(st.st_mode));

    EXPECT_TRUE(staged.write(tmp.file("c.txt"), "c", 1));
    ASSERT_EQ(::mkdir(tmp.file("c.txt").c_str(), 0755), 0);  // a folder is in the way now
    EXPECT_FALSE(staged.commit());
    EXPECT_EQ(staged.failedTarget(), tmp.file("c.txt"));
    EXPECT_EQ(FileSystem::getAllFilesInDirectory(tmp.path()).size(), 2u);
    EXPECT_EQ(staged.stage(tmp.file("none/d.txt")), "");
    EXPECT_EQ(staged.errorNumber(), ENOENT);
}

}  // namespace
