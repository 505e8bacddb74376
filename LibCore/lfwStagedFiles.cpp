#include "LibCore/lfwStagedFiles.h"
#include "LibCore/lfwFile.h"
#include "LibCore/lfwLog.h"
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace lfw {

namespace {

const char* const MARKER = ".Varnox_Report_Tmp";

void removeStaleTemporaries(const std::string& folder, const char* logger) {
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!dir) return;
    std::vector<std::string> stale;
    while (const dirent* entry = ::readdir(dir))
        if (StagedFiles::isStaleTemporary(folder, entry->d_name)) stale.push_back(entry->d_name);
    ::closedir(dir);
    for (const std::string& name : stale) {
        if (::unlink((folder + name).c_str()) == 0 && logger)
            LFW_LOG_INFO(logger, String("Removed the stale temporary file %1").arg(folder + name));
    }
}

// A new empty file in target's folder whose name no other file has; false
// (errno set) when the folder does not let us create one.
bool createTemporaryBeside(const std::string& target, std::string* tempPath, const char* logger) {
    static std::atomic<unsigned> counter{0};
    const size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    {
        // Temporaries that interrupted writes left behind go at the next write into
        // their folder; each folder is looked at once per process.
        static std::mutex mutex;
        static std::set<std::string> cleaned;
        std::lock_guard<std::mutex> lock(mutex);
        if (cleaned.size() < 1024 && cleaned.insert(folder).second) removeStaleTemporaries(folder, logger);
    }
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    const unsigned long long stamp = static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate = folder + "." + base + MARKER + std::to_string(::getpid()) + "_" +
                                      std::to_string(counter++) + "_" + std::to_string((stamp + attempt) % 1000000);
        // O_EXCL: never take over a file someone else made, never through a link;
        // the mode follows the umask.
        const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) {
            ::close(fd);
            *tempPath = candidate;
            return true;
        }
        if (errno != EEXIST) return false;
    }
    return false;
}

}  // namespace

StagedFiles::~StagedFiles() { discard(); }

bool StagedFiles::fail(const std::string& target, const std::string& message, int errorNumber) {
    m_failedTarget = target;
    m_error = message;
    m_errno = errorNumber;
    if (m_logger) LFW_LOG_ERROR(m_logger, String(message));
    return false;
}

std::string StagedFiles::stage(const std::string& target) {
    for (const std::string& input : m_protected) {
        if (!input.empty() && FileSystem::sameFile(input, target)) {
            fail(target, target + " is an input of the report and is not overwritten", 0);
            return std::string();
        }
    }
    std::string temp;
    if (!createTemporaryBeside(target, &temp, m_logger)) {
        const int error = errno;
        fail(target, "Could not create a file beside " + target + ": " + std::strerror(error), error);
        return std::string();
    }
    m_files.push_back({temp, target});
    return temp;
}

bool StagedFiles::write(const std::string& target, const void* data, size_t size) {
    const std::string temp = stage(target);
    if (temp.empty()) return false;
    const int fd = ::open(temp.c_str(), O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return fail(target, "Could not write " + target + ": " + std::strerror(errno), errno);
    const unsigned char* p = static_cast<const unsigned char*>(data);
    size_t left = size;
    int error = 0;
    while (left > 0 && !error) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error = n < 0 ? errno : EIO;
            break;
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    if (::close(fd) != 0 && !error) error = errno;
    if (error) return fail(target, "Could not write " + target + ": " + std::strerror(error), error);
    return true;
}

bool StagedFiles::commit() {
    bool ok = true;
    for (const Entry& entry : m_files) {
        if (!ok) {
            std::remove(entry.temp.c_str());
            continue;
        }
        // The new file keeps the permissions of the one it replaces.
        struct stat old;
        if (::stat(entry.target.c_str(), &old) == 0 && S_ISREG(old.st_mode)) ::chmod(entry.temp.c_str(), old.st_mode & 07777);
        if (std::rename(entry.temp.c_str(), entry.target.c_str()) != 0) {
            const int error = errno;
            std::remove(entry.temp.c_str());
            ok = fail(entry.target, "Could not replace file (" + entry.target + "): " + std::strerror(error), error);
        }
    }
    m_files.clear();
    return ok;
}

void StagedFiles::discard() {
    for (const Entry& entry : m_files) std::remove(entry.temp.c_str());
    m_files.clear();
}

std::vector<std::string> StagedFiles::targets() const {
    std::vector<std::string> out;
    for (const Entry& entry : m_files) out.push_back(entry.target);
    return out;
}

bool StagedFiles::isStaleTemporary(const std::string& folder, const std::string& name) {
    // ".<name>.Varnox_Report_Tmp<pid>_<counter>_<stamp>", as made above.
    static const std::string marker = MARKER;
    if (name.size() < 2 || name[0] != '.') return false;
    const size_t at = name.rfind(marker);
    if (at == std::string::npos || at < 1) return false;
    const std::string rest = name.substr(at + marker.size());
    unsigned long long pid = 0;
    int parts = 0;
    size_t i = 0;
    for (; parts < 3; ++parts) {
        const size_t start = i;
        unsigned long long value = 0;
        while (i < rest.size() && rest[i] >= '0' && rest[i] <= '9' && i - start < 12)
            value = value * 10 + static_cast<unsigned>(rest[i++] - '0');
        if (i == start) return false;
        if (parts == 0) pid = value;
        if (parts < 2) {
            if (i >= rest.size() || rest[i] != '_') return false;
            ++i;
        }
    }
    if (i != rest.size() || pid == 0 || pid > static_cast<unsigned long long>(INT_MAX)) return false;
    // Ours only while nobody could still be writing it: its process is gone and a day has passed.
    if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) return false;
    struct stat st;
    const std::string path = folder + name;
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    return std::time(nullptr) - st.st_mtime > 24 * 60 * 60;
}

}  // namespace lfw
