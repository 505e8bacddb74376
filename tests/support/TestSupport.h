#pragma once
// Test support: record log events, reset process-wide state, temporary folders.
#include "LibCore/lfwLog.h"
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace kivtest {

struct RecordedEvent {
    std::string source;
    std::string message;
    int level;
    std::string function;
    std::string file;
    int line;
};

// A log destination that keeps every event it receives.
class RecordingDestination : public lfw::LogDestination {
public:
    void log(const lfw::LogEvent& event) override;
    std::vector<RecordedEvent> events;

    // Messages of the given level (0: any level), in order.
    std::vector<std::string> messages(int level = 0) const;
    bool contains(const std::string& message) const;
    size_t count(int level) const;
    void clear() { events.clear(); }
};

// Installs a fresh log manager whose loggers all write to a RecordingDestination
// (at debug level), sets the assertion action to throw, runs the registered state
// resets, and afterwards puts everything back. Derive test fixtures from it.
class LoggingTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    lfw::Ref<RecordingDestination> recorder;
    std::vector<std::string> errors() const { return recorder->messages(lfw::Logger::LL_ERROR); }
    std::vector<std::string> warnings() const { return recorder->messages(lfw::Logger::LL_WARNING); }

private:
    lfw::Ref<lfw::LogManager> m_previousManager;
    int m_previousAction = 1;
};

// Process-wide state of the layers above lfw (the XML parser's switches, the
// report component's initialized flag, the toolkit's log manager) is set up and
// put back by functions that the support code of those layers registers at
// start-up (StorageStateReset.cpp, ModelStateReset.cpp). LoggingTest runs setUp
// after installing its log manager and tearDown after putting the previous back.
void registerStateReset(void (*setUp)(), void (*tearDown)());

// A new empty directory under the system temporary directory, removed with its content.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return m_path; }
    std::string file(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

std::string readFile(const std::string& path);  // empty when unreadable
bool writeFile(const std::string& path, const std::string& bytes);

// A file saved by Office as the build zipped it from tests/data/office-templates:
// a tagged template ("pp_chart.pptx"), an untagged source ("src/cht-chart-type.pptx").
inline std::string officeTemplate(const std::string& name) { return std::string(KIV_OFFICE_TEMPLATES_DIR) + "/" + name; }
// The package checker's sample of that name (tests/data/ooxml-check-samples).
inline std::string ooxmlCheckSample(const std::string& name) {
    return std::string(KIV_OFFICE_TEMPLATES_DIR) + "/../ooxml-check-samples/" + name;
}

}  // namespace kivtest
