#include "tools/kivreport/Files.h"
#include "tools/kivreport/Options.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sys/stat.h>

namespace kivcli {

namespace {

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

std::string systemError(int error) { return std::strerror(error); }

// Throws for a path that cannot be read as a regular file.
void checkInputFile(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        const int error = errno;
        throw InputError(path, error == ENOENT ? "file not found" : systemError(error));
    }
    if (S_ISDIR(st.st_mode)) throw InputError(path, "is a folder, not a file");
    // A FIFO or a device would block the open or never end.
    if (!S_ISREG(st.st_mode)) throw InputError(path, "is not a regular file");
}

template <typename Buffer>
Buffer readAll(const std::string& path) {
    checkInputFile(path);
    FilePtr f(std::fopen(path.c_str(), "rb"));
    if (!f) throw InputError(path, systemError(errno));
    Buffer bytes;
    char chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f.get())) > 0) bytes.insert(bytes.end(), chunk, chunk + n);
    if (std::ferror(f.get())) throw InputError(path, "read error");
    return bytes;
}

}  // namespace

bool pathExists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

bool isDirectory(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool isRegularFile(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::vector<unsigned char> readBinaryFile(const std::string& path) { return readAll<std::vector<unsigned char>>(path); }

std::string readTextFile(const std::string& path) { return readAll<std::string>(path); }

void StagedFiles::write(const std::string& path, const void* data, size_t size) {
    if (!m_files.write(path, data, size)) throw InputError(path, "cannot be written: " + systemError(m_files.errorNumber()));
}

void StagedFiles::commit() {
    if (!m_files.commit()) throw InputError(m_files.failedTarget(), "cannot be written: " + systemError(m_files.errorNumber()));
}

std::string parentFolder(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string resolvePath(const std::string& folder, const std::string& path) {
    if (path.empty() || path[0] == '/' || folder.empty() || folder == ".") return path;
    return folder + (folder.back() == '/' ? "" : "/") + path;
}

void checkOutputFile(const std::string& path) {
    if (isDirectory(path)) throw InputError(path, "is a folder, not a file");
    const std::string folder = parentFolder(path);
    if (!isDirectory(folder)) throw InputError(path, "folder " + folder + " does not exist");
}

}  // namespace kivcli
