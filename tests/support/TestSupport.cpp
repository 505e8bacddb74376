#include "support/TestSupport.h"
#include "LibCore/lfwAssert.h"
#include "LibCore/lfwFile.h"
#include <atomic>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace kivtest {

void RecordingDestination::log(const lfw::LogEvent& event) {
    const lfw::CodeLocation& loc = event.location();
    events.push_back({event.source().toStdString(), event.message().toStdString(), event.level(), loc.functionName(),
                      loc.fileName(), loc.lineNumber()});
}

std::vector<std::string> RecordingDestination::messages(int level) const {
    std::vector<std::string> out;
    for (const auto& e : events)
        if (level == 0 || e.level == level) out.push_back(e.message);
    return out;
}

bool RecordingDestination::contains(const std::string& message) const {
    for (const auto& e : events)
        if (e.message == message) return true;
    return false;
}

size_t RecordingDestination::count(int level) const {
    size_t n = 0;
    for (const auto& e : events)
        if (e.level == level) ++n;
    return n;
}

namespace {
struct StateReset {
    void (*setUp)();
    void (*tearDown)();
};
std::vector<StateReset>& stateResets() {
    static std::vector<StateReset> resets;
    return resets;
}
}  // namespace

void registerStateReset(void (*setUp)(), void (*tearDown)()) { stateResets().push_back({setUp, tearDown}); }

void LoggingTest::SetUp() {
    m_previousManager = lfw::LogManager::instance();
    m_previousAction = lfw::Assert::failedAssertAction();
    lfw::Ref<lfw::LogManager> manager = new lfw::LogManager;
    recorder = new RecordingDestination;
    manager->setDestinationRecursive("", recorder.p());
    manager->setLevelRecursive("", lfw::Logger::LL_DEBUG);
    lfw::LogManager::setInstance(manager.p());
    lfw::Assert::setFailedAssertAction(lfw::Assert::THROW);
    for (const StateReset& r : stateResets()) r.setUp();
}

void LoggingTest::TearDown() {
    lfw::LogManager::setInstance(m_previousManager.p());
    lfw::Assert::setFailedAssertAction(m_previousAction);
    for (auto r = stateResets().rbegin(); r != stateResets().rend(); ++r) r->tearDown();
}

TempDir::TempDir() {
    static std::atomic<int> counter{0};
    std::string base = lfw::FileSystem::tempDirectoryPath().toStdString();
    m_path = base + "/kivtest_" + std::to_string(::getpid()) + "_" + std::to_string(counter++);
    lfw::FileSystem::deleteDirectoryRecursive(m_path);
    lfw::FileSystem::createDirectoryTree(m_path);
}

TempDir::~TempDir() { lfw::FileSystem::deleteDirectoryRecursive(m_path); }

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

bool writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

}  // namespace kivtest
