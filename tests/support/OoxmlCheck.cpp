#include "support/OoxmlCheck.h"
#include <cstdio>
#include <sys/wait.h>

namespace kivtest {

namespace {

// The word in single quotes, safe for the shell.
std::string quoted(const std::string& word) {
    std::string out = "'";
    for (char c : word) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

}  // namespace

::testing::AssertionResult passesOoxmlCheck(const std::vector<std::string>& files, bool render, std::string* text) {
    const std::string tool = std::string(KIV_OOXML_CHECK);
    // Debian's python3, which has python3-lxml (the default python3 may not).
    std::string command = "/usr/bin/python3 " + quoted(tool) + (render ? " --render" : "");
    for (const std::string& f : files) command += " " + quoted(f);
    command += " 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return ::testing::AssertionFailure() << "cannot run " << command;
    std::string output;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, n);
    const int status = ::pclose(pipe);
    if (text) *text = output;
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "ooxml-check failed (status " << status << "):\n" << output;
}

}  // namespace kivtest
