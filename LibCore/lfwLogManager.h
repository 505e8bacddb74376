#pragma once
// The tree of named loggers and the process-wide manager instance.
#include "LibCore/lfwLog.h"
#include <map>
#include <mutex>

namespace lfw {

class LogManager : public RefCounted {
public:
    // Creates the root logger: name "", level warning, a new console destination.
    LogManager();
    ~LogManager() override;

    static LogManager* instance();  // creates one when there is none
    static void setInstance(LogManager* manager);
    static void shutdownInstance();

    Logger* logger(const String& name);  // created on first use, below its parent
    Logger* rootLogger();
    Logger* find(const String& name);  // never creates
    static String nameOfParentLogger(const String& name);

    // Apply to the named logger and every logger below it ("" reaches all).
    void setLevelRecursive(const String& name, int level);
    void setDestinationRecursive(const String& name, LogDestination* destination);

private:
    std::recursive_mutex m_mutex;
    std::map<String, Ref<Logger>> m_loggers;
};

}  // namespace lfw
