#pragma once
// Running the built kivreport binary and looking at folders, for the tool's tests.
#include "support/TestSupport.h"

#include <algorithm>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace tooltest {

struct Result {
    int code = -1;
    std::string out;
    std::string err;
    size_t errLines() const { return static_cast<size_t>(std::count(err.begin(), err.end(), '\n')); }
};

// Runs a program with stdout and stderr captured in scratch's stdout.txt and
// stderr.txt; a run that takes two minutes is killed (a hang shows as SIGALRM).
// fileSizeLimit > 0 makes every write beyond that many bytes fail, as on a full disk.
inline Result runProgram(const std::string& program, const std::vector<std::string>& args, const kivtest::TempDir& scratch,
                         rlim_t fileSizeLimit = 0) {
    const std::string outFile = scratch.file("stdout.txt"), errFile = scratch.file("stderr.txt");
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        const int out = open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(out, 1);
        dup2(err, 2);
        if (fileSizeLimit > 0) {
            signal(SIGXFSZ, SIG_IGN);  // writes past the limit then fail with EFBIG
            rlimit limit{fileSizeLimit, fileSizeLimit};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        alarm(120);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    Result r;
    if (pid < 0) {
        ADD_FAILURE() << "cannot start " << program;
        return r;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    r.out = kivtest::readFile(outFile);
    r.err = kivtest::readFile(errFile);
    return r;
}

// The names in a folder, sorted; empty when it cannot be read.
inline std::vector<std::string> listFolder(const std::string& path) {
    std::vector<std::string> names;
    if (DIR* dir = opendir(path.c_str())) {
        while (dirent* e = readdir(dir))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") names.push_back(e->d_name);
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace tooltest
