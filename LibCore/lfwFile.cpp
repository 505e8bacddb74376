#include "LibCore/lfwFile.h"
#include <zlib.h>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace lfw {

// ---------------------------------------------------------------------------
// File

FILE* File::fopen(const String& path, const String& mode) {
    if (path.isEmpty() || mode.isEmpty()) return nullptr;
    return std::fopen(path.c_str(), mode.c_str());
}

FILE* File::shared_fopen(const String& path, const String& mode, int /*sharedAccess*/) { return fopen(path, mode); }

// ---------------------------------------------------------------------------
// FileSystem: path texts

namespace {
std::string native(const String& path) { return FileSystem::fromNativeSeparators(path).toStdString(); }

// Strips trailing "/" but keeps a lone root "/".
std::string withoutTrailingSlashes(std::string s) {
    while (s.size() > 1 && s.back() == '/') s.pop_back();
    return s;
}

bool statPath(const std::string& path, struct stat* st) { return !path.empty() && ::stat(path.c_str(), st) == 0; }
}  // namespace

String FileSystem::tempDirectoryPath() {
    // An empty variable counts as unset: an empty directory would put
    // temporary files at the file system root or the current directory.
    for (const char* name : {"TMPDIR", "TMP", "TEMP", "TEMPDIR"}) {
        const char* value = std::getenv(name);
        if (value && *value) return String(value);
    }
    return String("/tmp");
}

String FileSystem::fromNativeSeparators(const String& path) {
    std::string s = path.toStdString();
    std::replace(s.begin(), s.end(), '\\', '/');
    return String(std::move(s));
}

String FileSystem::toNativeSeparators(const String& path) { return fromNativeSeparators(path); }

String FileSystem::addTrailingSeparator(const String& path) {
    std::string s = native(path);
    if (!s.empty() && s.back() != '/') s += '/';
    return String(std::move(s));
}

String FileSystem::removeTrailingSeparator(const String& path) {
    std::string s = native(path);
    while (!s.empty() && s.back() == '/') s.pop_back();
    return String(std::move(s));
}

String FileSystem::fileName(const String& path) {
    std::string s = native(path);
    // "//host" names a network host, not a file.
    if (s.size() >= 2 && s[0] == '/' && s[1] == '/' && s.find('/', 2) == std::string::npos) return String();
    size_t slash = s.rfind('/');
    return String(slash == std::string::npos ? s : s.substr(slash + 1));
}

String FileSystem::extension(const String& path) {
    std::string name = fileName(path).toStdString();
    if (name == "." || name == "..") return String();
    size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) return String();
    return String(name.substr(dot));
}

std::string FileSystem::lowerExtension(const String& path) {
    std::string ext = extension(path).toStdString();
    for (char& c : ext)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return ext;
}

String FileSystem::parentPath(const String& path) {
    std::string s = withoutTrailingSlashes(native(path));
    size_t slash = s.rfind('/');
    if (slash == std::string::npos) return String();
    if (slash == 0) return String("/");
    return String(withoutTrailingSlashes(s.substr(0, slash)));
}

bool FileSystem::isAbsolutePath(const String& path) {
    std::string s = native(path);
    return !s.empty() && s[0] == '/';
}

bool FileSystem::isRelativePath(const String& path) { return !isAbsolutePath(path); }

String FileSystem::makeAbsolute(const String& path) {
    if (isAbsolutePath(path)) return fromNativeSeparators(path);
    if (path.isEmpty()) return currentPath();
    return addTrailingSeparator(currentPath()) + fromNativeSeparators(path);
}

String FileSystem::currentPath() {
    std::string buf(256, '\0');
    for (;;) {
        if (::getcwd(&buf[0], buf.size())) return String(std::string(buf.c_str()));
        if (errno != ERANGE) return String();
        buf.resize(buf.size() * 2);
    }
}

// ---------------------------------------------------------------------------
// FileSystem: status

bool FileSystem::pathExists(const String& path) {
    std::string s = native(path);
    return !s.empty() && ::access(s.c_str(), F_OK) == 0;
}

bool FileSystem::fileExists(const String& path) {
    struct stat st;
    return statPath(native(path), &st) && S_ISREG(st.st_mode);
}

bool FileSystem::directoryExists(const String& path) {
    struct stat st;
    return statPath(native(path), &st) && S_ISDIR(st.st_mode);
}

bool FileSystem::readFile(const String& path, std::string* bytes) {
    FilePtr file(File::fopen(path, "rb"));
    struct stat info;
    if (!file || !bytes || ::fstat(fileno(file.get()), &info) != 0 || !S_ISREG(info.st_mode)) return false;
    std::string content;
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) content.append(buffer, n);
    if (std::ferror(file.get())) return false;
    bytes->swap(content);
    return true;
}

int64_t FileSystem::fileSize(const String& path) {
    struct stat st;
    return statPath(native(path), &st) ? static_cast<int64_t>(st.st_size) : 0;
}

// ---------------------------------------------------------------------------
// FileSystem: creation, copy, removal

bool FileSystem::createDirectory(const String& path) {
    std::string s = native(path);
    return !s.empty() && ::mkdir(s.c_str(), 0775) == 0;
}

bool FileSystem::createDirectoryTree(const String& path) {
    std::string s = withoutTrailingSlashes(native(path));
    if (s.empty()) return false;
    if (directoryExists(s)) return true;
    String parent = parentPath(s);
    if (!parent.isEmpty() && !directoryExists(parent) && !createDirectoryTree(parent)) return false;
    if (::mkdir(s.c_str(), 0775) == 0) return true;
    return errno == EEXIST && directoryExists(s);  // made by someone else meanwhile
}

bool FileSystem::copyFile(const String& source, const String& destination, std::string* error) {
    const std::string src = native(source);
    const std::string dst = native(destination);
    auto fail = [&](const std::string& why) {
        if (error) *error = "Copy failed. " + why;
        return false;
    };
    FilePtr in(File::fopen(src, "rb"));
    struct stat srcStat;
    // Only regular files: a folder opens but cannot be read, and a device could
    // be read forever.
    if (!in || ::fstat(fileno(in.get()), &srcStat) != 0 || !S_ISREG(srcStat.st_mode))
        return fail("Source file " + src + " did not exist");
    // Opening the destination truncates it: when both name the same file the
    // source would be emptied before a single byte is read.
    if (sameFile(src, dst)) return fail("Source and destination are the same file " + dst);
    FilePtr out(File::fopen(dst, "wb"));
    if (!out) return fail("Could not create destination file " + dst);
    std::vector<char> buffer(64 * 1024);
    bool readError = false, writeError = false;
    for (;;) {
        const size_t n = std::fread(buffer.data(), 1, buffer.size(), in.get());
        if (n > 0 && std::fwrite(buffer.data(), 1, n, out.get()) != n) {
            writeError = true;
            break;
        }
        if (n < buffer.size()) {
            readError = std::ferror(in.get()) != 0;
            break;
        }
    }
    if (std::fclose(out.release()) != 0) writeError = true;
    if (readError || writeError) {
        ::unlink(dst.c_str());
        return fail(readError ? "Error reading source file " + src : "Error writing destination file " + dst);
    }
    return true;
}

bool FileSystem::deleteFile(const String& path) {
    std::string s = native(path);
    return !s.empty() && ::unlink(s.c_str()) == 0;
}

bool FileSystem::deleteDirectory(const String& path) {
    std::string s = native(path);
    return !s.empty() && ::rmdir(s.c_str()) == 0;
}

bool FileSystem::deleteAllFilesInDirectory(const String& path) {
    std::string dir = native(path);
    DIR* d = dir.empty() ? nullptr : ::opendir(dir.c_str());
    if (!d) return false;
    bool ok = true;
    while (struct dirent* e = ::readdir(d)) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
        struct stat st;
        if (::fstatat(::dirfd(d), e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            ok = false;
            continue;
        }
        if (S_ISDIR(st.st_mode)) continue;
        if (::unlinkat(::dirfd(d), e->d_name, 0) != 0) ok = false;
    }
    ::closedir(d);
    return ok;
}

namespace {
// Empties the directory open as `fd` (taking ownership of it). Entries are
// examined without following links and subdirectories are opened with
// O_NOFOLLOW, so a link is removed as a link and what it points to is never
// touched, even if an entry is swapped for a link meanwhile.
bool removeDirectoryContents(int fd) {
    DIR* d = ::fdopendir(fd);
    if (!d) {
        ::close(fd);
        return false;
    }
    bool ok = true;
    while (struct dirent* e = ::readdir(d)) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
        struct stat st;
        if (::fstatat(::dirfd(d), e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            ok = false;
            continue;
        }
        if (S_ISDIR(st.st_mode)) {
            int sub = ::openat(::dirfd(d), e->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (sub < 0 || !removeDirectoryContents(sub) || ::unlinkat(::dirfd(d), e->d_name, AT_REMOVEDIR) != 0) ok = false;
        } else if (::unlinkat(::dirfd(d), e->d_name, 0) != 0) {
            ok = false;
        }
    }
    ::closedir(d);
    return ok;
}
}  // namespace

bool FileSystem::deleteDirectoryRecursive(const String& path) {
    // Without trailing "/": "link/" would name the directory behind the link.
    // This also turns "/" into "", which is refused.
    std::string dir = removeTrailingSeparator(path).toStdString();
    if (dir.empty()) return false;
    struct stat st;
    if (::lstat(dir.c_str(), &st) != 0) return false;
    if (S_ISLNK(st.st_mode)) return ::unlink(dir.c_str()) == 0;
    if (!S_ISDIR(st.st_mode)) return false;
    int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = removeDirectoryContents(fd);
    return ::rmdir(dir.c_str()) == 0 && ok;
}

// ---------------------------------------------------------------------------
// FileSystem: listing

namespace {
// Names of the entries of `dir` (without "." and ".."), sorted; false when it cannot be read.
bool listDirectory(const std::string& dir, std::vector<std::string>* names) {
    DIR* d = dir.empty() ? nullptr : ::opendir(dir.c_str());
    if (!d) return false;
    while (struct dirent* e = ::readdir(d)) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
        names->push_back(e->d_name);
    }
    ::closedir(d);
    std::sort(names->begin(), names->end());
    return true;
}
}  // namespace

bool FileSystem::getDirectoryContents(const String& path, std::vector<String>* files, std::vector<String>* directories) {
    if (files) files->clear();
    if (directories) directories->clear();
    std::string dir = native(path);
    std::vector<std::string> names;
    if (!listDirectory(dir, &names)) return false;
    for (const std::string& name : names) {
        struct stat st;
        bool isDir = statPath(dir + "/" + name, &st) && S_ISDIR(st.st_mode);
        std::vector<String>* target = isDir ? directories : files;
        if (target) target->push_back(String(name));
    }
    return true;
}

std::vector<String> FileSystem::getAllFilesInDirectory(const String& path) {
    std::vector<String> files;
    getDirectoryContents(path, &files, nullptr);
    return files;
}

std::vector<String> FileSystem::findFilesInDirectory(const String& path, const String& pattern) {
    std::vector<String> found;
    std::string dir = native(path);
    std::vector<std::string> names;
    if (!listDirectory(dir, &names)) return found;
    for (const std::string& name : names) {
        struct stat st;
        if (::fnmatch(pattern.c_str(), name.c_str(), 0) == 0 && statPath(dir + "/" + name, &st) && S_ISREG(st.st_mode))
            found.push_back(String(name));
    }
    return found;
}

bool FileSystem::sameFile(const String& a, const String& b) {
    struct stat sa, sb;
    return ::stat(native(a).c_str(), &sa) == 0 && ::stat(native(b).c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

// ---------------------------------------------------------------------------
// FileSystem: checksum

uint32_t FileSystem::fileContentsCrc(const String& path, int64_t maxBytes) {
    FilePtr f(File::fopen(native(path), "rb"));
    if (!f) return 0;
    uLong crc = ::crc32(0L, Z_NULL, 0);
    int64_t remaining = maxBytes > 0 ? maxBytes : -1;  // -1: no limit
    unsigned char buffer[64 * 1024];
    while (remaining != 0) {
        size_t want = sizeof buffer;
        if (remaining > 0 && static_cast<uint64_t>(remaining) < want) want = static_cast<size_t>(remaining);
        size_t n = std::fread(buffer, 1, want, f.get());
        if (n == 0) break;
        crc = ::crc32(crc, buffer, static_cast<uInt>(n));
        if (remaining > 0) remaining -= static_cast<int64_t>(n);
    }
    if (std::ferror(f.get())) return 0;
    return static_cast<uint32_t>(crc);
}

}  // namespace lfw
