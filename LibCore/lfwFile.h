#pragma once
// Opening files and path/directory operations. Paths use "/"; a backslash in
// input is read as "/".
#include "LibCore/lfwString.h"
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace lfw {

class File {
public:
    // The path and mode are UTF-8; null on failure.
    static FILE* fopen(const String& path, const String& mode);
    static FILE* shared_fopen(const String& path, const String& mode, int sharedAccess);
};

struct FileCloser {
    void operator()(FILE* f) const {
        if (f) std::fclose(f);
    }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

class FileSystem {
public:
    static String tempDirectoryPath();

    static String fromNativeSeparators(const String& path);
    static String toNativeSeparators(const String& path);
    static String addTrailingSeparator(const String& path);
    static String removeTrailingSeparator(const String& path);
    static String fileName(const String& path);
    static String extension(const String& path);
    // The extension with its dot, ASCII letters in lower case: "a/Deck.PPTX" -> ".pptx".
    static std::string lowerExtension(const String& path);
    static String parentPath(const String& path);
    static bool isAbsolutePath(const String& path);
    static bool isRelativePath(const String& path);
    static String makeAbsolute(const String& path);
    static String currentPath();

    static bool pathExists(const String& path);
    static bool fileExists(const String& path);
    static bool directoryExists(const String& path);
    static int64_t fileSize(const String& path);
    // The bytes of a regular file; false, *bytes untouched, when it cannot be
    // read whole or is no regular file (a folder, a device).
    static bool readFile(const String& path, std::string* bytes);
    // True when both paths name one existing file (also through links or other spellings).
    static bool sameFile(const String& a, const String& b);

    static bool createDirectory(const String& path);
    static bool createDirectoryTree(const String& path);
    // Byte copy of a regular file. On failure false, with no partial destination
    // left and, when error is given, why ("Copy failed. ...").
    static bool copyFile(const String& source, const String& destination, std::string* error = nullptr);
    static bool deleteFile(const String& path);
    static bool deleteDirectory(const String& path);
    static bool deleteAllFilesInDirectory(const String& path);
    static bool deleteDirectoryRecursive(const String& path);  // removes links, never their targets

    static bool getDirectoryContents(const String& path, std::vector<String>* files, std::vector<String>* directories);
    static std::vector<String> getAllFilesInDirectory(const String& path);
    static std::vector<String> findFilesInDirectory(const String& path, const String& pattern);

    static uint32_t fileContentsCrc(const String& path, int64_t maxBytes);
};

}  // namespace lfw
