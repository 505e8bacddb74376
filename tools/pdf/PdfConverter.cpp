#include "tools/pdf/PdfConverter.h"
#include "LibCore/lfwFile.h"
#include "LibCore/lfwStagedFiles.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace kivpdf {

namespace {

struct Converter {
    const char* name;       // as messages call it
    const char* component;  // the LibreOffice part the kind needs, or null
    const char* library;    // the file of that part in LibreOffice's program folder
};

Converter converterOf(ReportKind kind) {
    switch (kind) {
    case ReportKind::PowerPoint: return {"LibreOffice", "LibreOffice Impress", "libsdlo.so"};
    case ReportKind::Word: return {"LibreOffice", "LibreOffice Writer", "libswlo.so"};
    case ReportKind::Html: break;
    }
    return {"Chromium", nullptr, nullptr};
}

bool isExecutableFile(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// The first of the names found on PATH, as a full path; empty when none is.
std::string findOnPath(std::initializer_list<const char*> names) {
    const char* env = std::getenv("PATH");
    const std::string path = env ? env : "/usr/local/bin:/usr/bin:/bin";
    for (const char* name : names) {
        size_t start = 0;
        for (;;) {
            const size_t colon = path.find(':', start);
            std::string folder = path.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
            if (folder.empty()) folder = ".";
            const std::string candidate = folder + "/" + name;
            if (isExecutableFile(candidate)) return candidate;
            if (colon == std::string::npos) break;
            start = colon + 1;
        }
    }
    return std::string();
}

// The variable that names the converter of that kind.
const char* converterVariable(ReportKind kind) { return kind == ReportKind::Html ? "KIVREPORT_CHROMIUM" : "KIVREPORT_SOFFICE"; }

// The program the variable names (a bare name is looked up on PATH; empty when
// it is not found there), else the one on PATH.
std::string findProgram(ReportKind kind) {
    const char* named = std::getenv(converterVariable(kind));
    if (named && *named) return std::strchr(named, '/') ? std::string(named) : findOnPath({named});
    return kind == ReportKind::Html ? findOnPath({"chromium", "chromium-browser"}) : findOnPath({"soffice", "libreoffice"});
}

std::string folderOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string absolutePath(const std::string& path) {
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (!resolved) return std::string();
    std::string result = resolved;
    std::free(resolved);
    return result;
}

// "file://" URL of an absolute path, every byte outside the unreserved set encoded.
std::string fileUrl(const std::string& absolute) {
    static const char hex[] = "0123456789ABCDEF";
    std::string url = "file://";
    for (unsigned char c : absolute) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '/' || c == '-' || c == '.' ||
            c == '_' || c == '~') {
            url += static_cast<char>(c);
        } else {
            url += '%';
            url += hex[c >> 4];
            url += hex[c & 15];
        }
    }
    return url;
}

int removeEntry(const char* path, const struct stat*, int, struct FTW*) {
    ::remove(path);
    return 0;
}

// A new private folder in the system's temporary folder, removed with its
// content when the object goes.
class WorkFolder {
public:
    WorkFolder() {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/kivreport-pdf-XXXXXX";
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        if (::mkdtemp(buffer.data())) m_path = absolutePath(buffer.data());
    }
    ~WorkFolder() {
        if (!m_path.empty()) ::nftw(m_path.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
    }
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

enum class RunOutcome { Finished, TimedOut, NotStarted };

struct RunResult {
    RunOutcome outcome = RunOutcome::NotStarted;
    int exitStatus = -1;       // -1 when it was ended by a signal or could not be known
    bool statusKnown = false;  // false when a host reaped the process before us
    std::string startError;
};

// Runs argv[0] in a process group of its own with the standard input from
// /dev/null and both output streams into logPath. The whole group is stopped at
// the time limit, and once the program has ended (converters leave helper
// processes behind).
RunResult runWithTimeLimit(const std::vector<std::string>& args, const std::vector<std::string>& environment,
                           const std::string& logPath, int timeoutSeconds) {
    RunResult result;
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (const std::string& e : environment) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    // Hosts such as Python ignore SIGPIPE; the converter gets the usual dispositions.
    sigset_t defaults, empty;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGTERM);
    sigemptyset(&empty);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setsigmask(&attributes, &empty);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

    pid_t pid = -1;
    const int spawnError = ::posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (spawnError != 0) {
        result.startError = std::strerror(spawnError);
        return result;
    }

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    int status = 0;
    for (;;) {
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            result.outcome = RunOutcome::Finished;
            result.statusKnown = true;
            if (WIFEXITED(status)) result.exitStatus = WEXITSTATUS(status);
            break;
        }
        if (done < 0 && errno != EINTR) {
            // Reaped elsewhere (a host that ignores SIGCHLD): the output decides.
            result.outcome = RunOutcome::Finished;
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            ::kill(-pid, SIGKILL);
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
            result.outcome = RunOutcome::TimedOut;
            return result;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    ::kill(-pid, SIGKILL);
    return result;
}

// The last non-empty line the converter wrote, shortened; empty when none.
std::string lastOutputLine(const std::string& logPath) {
    FILE* f = std::fopen(logPath.c_str(), "rb");
    if (!f) return std::string();
    std::string text;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) {
        text.append(buffer, n);
        if (text.size() > 65536) text.erase(0, text.size() - 16384);
    }
    std::fclose(f);
    std::string line;
    size_t end = text.size();
    while (end > 0) {
        const size_t start = text.find_last_of('\n', end - 1);
        const size_t from = start == std::string::npos ? 0 : start + 1;
        line = text.substr(from, end - from);
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
        if (!line.empty()) break;
        if (start == std::string::npos) break;
        end = start;
    }
    if (line.size() > 200) line = line.substr(0, 200) + "...";
    for (char& c : line)
        if (static_cast<unsigned char>(c) < 0x20) c = ' ';
    return line;
}

// A PDF that was written to its end: the header first, and the end-of-file
// marker in its last kilobyte (only white space may follow it).
bool isCompletePdf(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    char head[5] = {0};
    const bool header = std::fread(head, 1, sizeof head, f) == sizeof head && std::memcmp(head, "%PDF-", 5) == 0;
    std::string tail(1024, '\0');
    const long size = std::fseek(f, 0, SEEK_END) == 0 ? std::ftell(f) : -1;
    const long from = size > 1024 ? size - 1024 : 0;
    const size_t n = size >= 0 && std::fseek(f, from, SEEK_SET) == 0 ? std::fread(&tail[0], 1, tail.size(), f) : 0;
    std::fclose(f);
    tail.resize(n);
    const size_t marker = tail.rfind("%%EOF");
    return header && marker != std::string::npos && tail.find_first_not_of(" \t\r\n\f", marker + 5) == std::string::npos;
}

// The only .pdf file LibreOffice wrote into folder; empty when there is none.
std::string pdfIn(const std::string& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return std::string();
    std::string found;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.size() > 4 && name.compare(name.size() - 4, 4, ".pdf") == 0) found = folder + "/" + name;
    }
    ::closedir(dir);
    return found;
}

// Copies source into a new file in folder named ".kivreport-pdf-<unique><suffix>",
// created as any new file is (0666 less the umask). Returns 0 with its path in
// *created, or the errno of the failed step (and no file is left).
int copyToNewFile(const std::string& source, const std::string& folder, const std::string& suffix, std::string* created) {
    static std::atomic<unsigned> counter{0};
    std::string path;
    int out = -1;
    for (int attempt = 0; out < 0 && attempt < 100; ++attempt) {
        path = folder + "/.kivreport-pdf-" + std::to_string(::getpid()) + "-" + std::to_string(++counter) + "-" +
               std::to_string(std::chrono::steady_clock::now().time_since_epoch().count() % 1000000) + suffix;
        out = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (out < 0 && errno != EEXIST) break;
    }
    if (out < 0) return errno;
    int failure = 0;  // errno of the first failed step
    FILE* in = std::fopen(source.c_str(), "rb");
    if (!in) failure = errno;
    char buffer[65536];
    size_t n;
    while (!failure && (n = std::fread(buffer, 1, sizeof buffer, in)) > 0) {
        for (size_t written = 0; !failure && written < n;) {
            const ssize_t w = ::write(out, buffer + written, n - written);
            if (w > 0) written += static_cast<size_t>(w);
            else if (w < 0 && errno != EINTR) failure = errno;
            else if (w == 0) failure = EIO;
        }
    }
    if (in) {
        if (!failure && std::ferror(in)) failure = EIO;
        std::fclose(in);
    }
    if (::close(out) != 0 && !failure) failure = errno;
    if (failure) {
        ::unlink(path.c_str());
        return failure;
    }
    *created = path;
    return 0;
}

// Copies source to a temporary file beside target and moves it over target,
// so that target is either the old file or the complete new one.
bool placeFile(const std::string& source, const std::string& target, std::string* error) {
    lfw::StagedFiles staged;
    const std::string temporary = staged.stage(target);
    std::string copyError;
    if (!temporary.empty() && lfw::FileSystem::copyFile(source, temporary, &copyError) && staged.commit()) return true;
    const int failure = copyError.empty() ? staged.errorNumber() : EIO;
    *error = std::string("the PDF cannot be written in ") + folderOf(target) + ": " + std::strerror(failure ? failure : EIO);
    return false;
}

// Removes the file it holds when it goes.
class TemporaryFile {
public:
    TemporaryFile() = default;
    ~TemporaryFile() {
        if (!path.empty()) ::unlink(path.c_str());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    std::string path;
};

bool hasHtmlExtension(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return false;
    std::string extension = path.substr(dot);
    for (char& c : extension)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return extension == ".html" || extension == ".htm" || extension == ".xhtml";
}

std::vector<std::string> childEnvironment(const std::string& home) {
    std::vector<std::string> environment;
    bool hasHome = false;
    for (char** e = environ; e && *e; ++e) {
        if (std::strncmp(*e, "HOME=", 5) == 0) hasHome = true;
        environment.push_back(*e);
    }
    // Both programs want a home folder; a host without one lends them the work folder.
    if (!hasHome) environment.push_back("HOME=" + home);
    return environment;
}

}  // namespace

std::string pdfPathFor(const std::string& reportPath) {
    const size_t slash = reportPath.find_last_of('/');
    const size_t dot = reportPath.find_last_of('.');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    if (dot == std::string::npos || dot <= nameStart) return reportPath + ".pdf";
    return reportPath.substr(0, dot) + ".pdf";
}

const char* converterPackage(ReportKind kind) {
    switch (kind) {
    case ReportKind::PowerPoint: return "libreoffice-impress";
    case ReportKind::Word: return "libreoffice-writer";
    case ReportKind::Html: break;
    }
    return "chromium";
}

std::string missingConverter(ReportKind kind) {
    const Converter converter = converterOf(kind);
    const std::string package = converterPackage(kind);
    const std::string program = findProgram(kind);
    const char* named = std::getenv(converterVariable(kind));
    if (named && *named && !isExecutableFile(program)) {
        struct stat st;
        const bool exists = !program.empty() && ::stat(program.c_str(), &st) == 0;
        return std::string(converterVariable(kind)) + " names " + named +
               (exists ? ", which is not an executable file" : ", which does not exist");
    }
    if (program.empty()) return std::string(converter.name) + " is not installed (Debian package " + package + ")";
    if (converter.library) {
        // In a LibreOffice program folder, the part for this kind of document must be there too.
        const std::string folder = folderOf(absolutePath(program));
        if (isExecutableFile(folder + "/soffice.bin") && ::access((folder + "/" + converter.library).c_str(), F_OK) != 0)
            return std::string(converter.component) + " is not installed (Debian package " + package + ")";
    }
    return std::string();
}

bool convertToPdf(ReportKind kind, const std::string& reportPath, const std::string& pdfPath, int timeoutSeconds,
                  std::string* error) {
    std::string ignored;
    if (!error) error = &ignored;
    const std::string missing = missingConverter(kind);
    if (!missing.empty()) {
        *error = missing;
        return false;
    }
    if (timeoutSeconds <= 0) {
        *error = "the time limit of the PDF conversion must be at least one second";
        return false;
    }
    const std::string report = absolutePath(reportPath);
    if (report.empty()) {
        *error = reportPath + ": " + std::strerror(errno);
        return false;
    }
    WorkFolder work;
    if (work.path().empty()) {
        *error = std::string("no temporary folder for the PDF conversion: ") + std::strerror(errno);
        return false;
    }

    const Converter converter = converterOf(kind);
    const std::string program = findProgram(kind);
    const std::string profile = work.path() + "/profile";
    const std::string log = work.path() + "/output.txt";
    std::string produced;
    std::vector<std::string> args;
    // Chromium shows a file:// page by its extension: a report named otherwise
    // would print as its source text. It is shown through a copy beside it (where
    // its pictures are) under an .html name.
    TemporaryFile htmlCopy;
    std::string page = report;
    if (kind == ReportKind::Html && !hasHtmlExtension(report)) {
        const int failure = copyToNewFile(report, folderOf(report), ".html", &htmlCopy.path);
        if (failure) {
            *error =
                std::string("the report cannot be copied for Chromium in ") + folderOf(report) + ": " + std::strerror(failure);
            return false;
        }
        page = htmlCopy.path;
    }
    if (kind == ReportKind::Html) {
        produced = work.path() + "/report.pdf";
        args = {program,
                "--headless",
                "--no-sandbox",
                "--disable-gpu",
                "--disable-dev-shm-usage",
                "--no-first-run",
                "--disable-background-networking",
                "--disable-component-update",
                "--disable-sync",
                "--user-data-dir=" + profile,
                "--allow-file-access-from-files",
                "--no-pdf-header-footer",
                "--virtual-time-budget=10000",
                "--print-to-pdf=" + produced,
                fileUrl(page)};
    } else {
        const std::string outFolder = work.path() + "/out";
        args = {program,        "--headless",  "--invisible",   "--norestore",
                "--nologo",     "--nodefault", "--nolockcheck", "-env:UserInstallation=" + fileUrl(profile),
                "--convert-to", "pdf",         "--outdir",      outFolder,
                report};
    }

    const RunResult run = runWithTimeLimit(args, childEnvironment(work.path()), log, timeoutSeconds);
    if (run.outcome == RunOutcome::NotStarted) {
        *error = std::string(converter.name) + " could not be started (" + program + "): " + run.startError;
        return false;
    }
    if (run.outcome == RunOutcome::TimedOut) {
        *error = std::string(converter.name) + " did not finish the PDF within " + std::to_string(timeoutSeconds) +
                 " seconds and was stopped";
        return false;
    }
    if (kind != ReportKind::Html) produced = pdfIn(work.path() + "/out");
    // A converter that failed, or a file it did not finish, never replaces an earlier PDF.
    const bool failed = run.statusKnown && run.exitStatus != 0;
    if (produced.empty() || failed || !isCompletePdf(produced)) {
        std::string message =
            std::string(converter.name) +
            (produced.empty() || failed ? " did not make a PDF of the report" : " made an incomplete PDF of the report");
        if (run.exitStatus > 0) message += " (exit status " + std::to_string(run.exitStatus) + ")";
        else if (failed) message += " (it was stopped by a signal)";
        const std::string said = lastOutputLine(log);
        if (!said.empty()) message += ": " + said;
        *error = message;
        return false;
    }
    // When poppler's pdfinfo is there, the PDF must also read as one.
    const std::string pdfinfo = findOnPath({"pdfinfo"});
    if (!pdfinfo.empty()) {
        const std::string checkLog = work.path() + "/pdfinfo.txt";
        const RunResult check = runWithTimeLimit({pdfinfo, produced}, childEnvironment(work.path()), checkLog, timeoutSeconds);
        if (check.outcome != RunOutcome::Finished || (check.statusKnown && check.exitStatus != 0)) {
            const std::string said = lastOutputLine(checkLog);
            *error = std::string(converter.name) + " made a PDF that pdfinfo cannot read" + (said.empty() ? "" : ": " + said);
            return false;
        }
    }
    return placeFile(produced, pdfPath, error);
}

}  // namespace kivpdf
