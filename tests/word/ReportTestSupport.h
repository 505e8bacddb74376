#pragma once
// Reports made through the public creators (Word and PowerPoint): the report
// component started, a temporary folder, its names, and two processes at once.
#include "KivReport/ReportComponent.h"
#include "host/core/KivInstance.h"
#include "openxml/OpenXmlTestSupport.h"
#include "support/Builders.h"
#include "support/OoxmlCheck.h"
#include <algorithm>
#include <dirent.h>
#include <functional>
#include <sys/wait.h>
#include <unistd.h>

namespace kivtest {

// The names in a folder, sorted, without "." and "..".
inline std::vector<std::string> namesIn(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* d = ::opendir(folder.c_str())) {
        while (dirent* e = ::readdir(d))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") names.push_back(e->d_name);
        ::closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Runs make(0) and make(1) in two processes at the same time; true when both succeed.
inline bool inTwoProcesses(const std::function<bool(int)>& make) {
    pid_t children[2];
    for (int i = 0; i < 2; ++i)
        if ((children[i] = fork()) == 0) _exit(make(i) ? 0 : 1);
    bool ok = true;
    for (pid_t child : children) {
        int status = 0;
        ok = waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0 && ok;
    }
    return ok;
}

// The report component started; reports go to a temporary folder.
class ReportTest : public LoggingTest {
protected:
    void SetUp() override {
        LoggingTest::SetUp();
        kiv::Instance instance;
        ASSERT_TRUE(kiv::rep::ReportComponent::initialize(&instance));
    }
    std::string allErrors() const { return ::testing::PrintToString(errors()); }

    TempDir dir;
};

}  // namespace kivtest
