#include "LibCore/lfwFile.h"
#include "support/TestSupport.h"
#include <gtest/gtest.h>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

using lfw::FileSystem;
using lfw::String;
using kivtest::TempDir;
using kivtest::readFile;
using kivtest::writeFile;

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

TEST(TempDirectoryPath, FirstSetVariableWinsInOrder) {
    TempVars vars;
    EXPECT_EQ(s(FileSystem::tempDirectoryPath()), "/tmp");
    ::setenv("TEMPDIR", "/d", 1);
    EXPECT_EQ(s(FileSystem::tempDirectoryPath()), "/d");
    ::setenv("TEMP", "/c", 1);
    EXPECT_EQ(s(FileSystem::tempDirectoryPath()), "/c");
    ::setenv("TMP", "/b/", 1);
    EXPECT_EQ(s(FileSystem::tempDirectoryPath()), "/b/");  // taken unchanged
    ::setenv("TMPDIR", "/a", 1);
    EXPECT_EQ(s(FileSystem::tempDirectoryPath()), "/a");
    ::setenv("TMPDIR", "", 1);  // empty counts as unset
    EXPECT_EQ(s(FileSystem::tempDirectoryPath()), "/b/");
}

TEST(PathText, NamesExtensionsSeparatorsAndParents) {
    const struct {
        String got;
        const char* want;
    } rows[] = {
        {FileSystem::fileName("a/b/c.txt"), "c.txt"},   {FileSystem::fileName("a\\b\\c.txt"), "c.txt"},
        {FileSystem::fileName("c.txt"), "c.txt"},       {FileSystem::fileName(""), ""},
        {FileSystem::fileName("a/b/"), ""},             {FileSystem::fileName("/"), ""},
        {FileSystem::fileName("//"), ""},               {FileSystem::fileName("//server"), ""},
        {FileSystem::fileName("//server/share/f"), "f"}, {FileSystem::extension("a/b.tar.gz"), ".gz"},
        {FileSystem::extension(".profile"), ""},        {FileSystem::extension("dir/.profile"), ""},
        {FileSystem::extension("."), ""},               {FileSystem::extension("a/.."), ""},
        {FileSystem::extension("README"), ""},          {FileSystem::extension("name."), "."},
        {FileSystem::extension("a.b/README"), ""},  // the dot is in a folder name
        {FileSystem::fromNativeSeparators("a\\b/c\\"), "a/b/c/"}, {FileSystem::addTrailingSeparator("a\\b"), "a/b/"},
        {FileSystem::addTrailingSeparator("a/"), "a/"}, {FileSystem::addTrailingSeparator(""), ""},
        {FileSystem::removeTrailingSeparator("a//\\"), "a"}, {FileSystem::parentPath("/a/b/c.txt"), "/a/b"},
        {FileSystem::parentPath("/a"), "/"},            {FileSystem::parentPath("a/b/"), "a"},
        {FileSystem::parentPath("c.txt"), ""},          {FileSystem::makeAbsolute("/x"), "/x"},
    };
    for (const auto& r : rows) EXPECT_EQ(s(r.got), r.want) << "row " << (&r - rows);
    EXPECT_TRUE(FileSystem::isAbsolutePath("\\x"));
    EXPECT_TRUE(FileSystem::isRelativePath(""));
    EXPECT_TRUE(FileSystem::isRelativePath("x/y"));
    EXPECT_EQ(s(FileSystem::makeAbsolute("x/y")), s(FileSystem::currentPath()) + "/x/y");
}

TEST(FileOperations, StatusCreateCopyAndDelete) {
    TempDir tmp;
    std::string deep = tmp.file("one/two/three");
    EXPECT_TRUE(FileSystem::createDirectoryTree(deep + "/"));
    EXPECT_TRUE(FileSystem::directoryExists(deep));
    EXPECT_TRUE(FileSystem::createDirectoryTree(deep));  // already there
    EXPECT_FALSE(FileSystem::createDirectory(deep));

    std::string f = tmp.file("one/data.bin");
    ASSERT_TRUE(writeFile(f, std::string("ab\0cd", 5)));
    EXPECT_TRUE(FileSystem::fileExists(f));
    EXPECT_FALSE(FileSystem::fileExists(deep));
    EXPECT_FALSE(FileSystem::directoryExists(f));
    EXPECT_TRUE(FileSystem::pathExists(f));
    EXPECT_EQ(FileSystem::fileSize(f), 5);
    EXPECT_EQ(FileSystem::fileSize(tmp.file("missing")), 0);

    std::string copy = tmp.file("one/two/copy.bin");
    EXPECT_TRUE(FileSystem::copyFile(f, copy));
    EXPECT_EQ(readFile(copy), std::string("ab\0cd", 5));
    EXPECT_FALSE(FileSystem::copyFile(tmp.file("missing"), tmp.file("never")));
    EXPECT_FALSE(FileSystem::pathExists(tmp.file("never")));  // no empty destination left behind

    // Copying a file onto itself must not empty it.
    EXPECT_FALSE(FileSystem::copyFile(f, tmp.file("one/two/../data.bin")));
    EXPECT_EQ(readFile(f), std::string("ab\0cd", 5));

    EXPECT_FALSE(FileSystem::deleteDirectory(tmp.file("one")));  // not empty
    EXPECT_TRUE(FileSystem::deleteFile(copy));
    EXPECT_FALSE(FileSystem::deleteFile(copy));
    EXPECT_TRUE(FileSystem::deleteDirectory(deep));
}

TEST(FileOperations, ListingAndWildcards) {
    TempDir tmp;
    for (const char* name : {"b.jpg", "a.jpg", "a.JPG", "notes.txt"}) ASSERT_TRUE(writeFile(tmp.file(name), "x"));
    ASSERT_TRUE(FileSystem::createDirectory(tmp.file("sub.jpg")));

    std::vector<String> files, dirs;
    ASSERT_TRUE(FileSystem::getDirectoryContents(tmp.path(), &files, &dirs));
    EXPECT_EQ(files, (std::vector<String>{"a.JPG", "a.jpg", "b.jpg", "notes.txt"}));
    EXPECT_EQ(dirs, (std::vector<String>{"sub.jpg"}));
    EXPECT_EQ(FileSystem::getAllFilesInDirectory(tmp.path()).size(), 4u);
    EXPECT_EQ(FileSystem::findFilesInDirectory(tmp.path(), "*.jpg"), (std::vector<String>{"a.jpg", "b.jpg"}));
    EXPECT_EQ(FileSystem::findFilesInDirectory(tmp.path(), "?.[jJ]PG"), (std::vector<String>{"a.JPG"}));
    EXPECT_FALSE(FileSystem::getDirectoryContents(tmp.file("missing"), &files, &dirs));
    EXPECT_TRUE(files.empty());
    EXPECT_TRUE(FileSystem::findFilesInDirectory(tmp.file("missing"), "*").empty());

    EXPECT_TRUE(FileSystem::deleteAllFilesInDirectory(tmp.path()));
    ASSERT_TRUE(FileSystem::getDirectoryContents(tmp.path(), &files, &dirs));
    EXPECT_TRUE(files.empty());
    EXPECT_EQ(dirs.size(), 1u);
}

TEST(FileOperations, ContentsCrc) {
    TempDir tmp;
    std::string f = tmp.file("check.txt");
    ASSERT_TRUE(writeFile(f, "123456789"));
    EXPECT_EQ(FileSystem::fileContentsCrc(f, 0), 0xCBF43926u);
    EXPECT_EQ(FileSystem::fileContentsCrc(f, 100), 0xCBF43926u);  // longer than the file
    ASSERT_TRUE(writeFile(tmp.file("prefix.txt"), "1234"));
    EXPECT_EQ(FileSystem::fileContentsCrc(f, 4), FileSystem::fileContentsCrc(tmp.file("prefix.txt"), 0));
    EXPECT_NE(FileSystem::fileContentsCrc(f, 4), 0xCBF43926u);

    // A prefix that spans several read blocks.
    std::string big(200000, 'q');
    big[150000] = 'z';
    ASSERT_TRUE(writeFile(tmp.file("big"), big));
    ASSERT_TRUE(writeFile(tmp.file("bigprefix"), big.substr(0, 150000)));
    EXPECT_EQ(FileSystem::fileContentsCrc(tmp.file("big"), 150000),
              FileSystem::fileContentsCrc(tmp.file("bigprefix"), 0));

    ASSERT_TRUE(writeFile(tmp.file("empty"), ""));
    EXPECT_EQ(FileSystem::fileContentsCrc(tmp.file("empty"), 0), 0u);
    EXPECT_EQ(FileSystem::fileContentsCrc(tmp.file("missing"), 0), 0u);
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

} // namespace
