#include "LibCore/lfwLogManager.h"
#include "LibCore/lfwAssert.h"

namespace lfw {

namespace {
// Both are created on first use and never destroyed, so that code logging
// during static destruction still finds a working manager.
std::recursive_mutex& instanceMutex() {
    static std::recursive_mutex* mutex = new std::recursive_mutex;
    return *mutex;
}
LogManager* g_instance = nullptr;  // holds one reference

// True when `name` is `base` or lies below it ("kiv.comp" covers
// "kiv.comp.Report" but not "kiv.compX"); the empty base covers everything.
bool isSameOrBelow(const std::string& name, const std::string& base) {
    if (base.empty()) return true;
    if (name.compare(0, base.size(), base) != 0) return false;
    return name.size() == base.size() || name[base.size()] == '.';
}
}  // namespace

LogManager::LogManager() { m_loggers[String()] = new Logger(String(), Logger::LL_WARNING, new LogDestinationConsole); }

LogManager::~LogManager() = default;

LogManager* LogManager::instance() {
    std::lock_guard<std::recursive_mutex> lock(instanceMutex());
    if (!g_instance) {
        g_instance = new LogManager;
        g_instance->addRef();
    }
    return g_instance;
}

void LogManager::setInstance(LogManager* manager) {
    std::lock_guard<std::recursive_mutex> lock(instanceMutex());
    if (manager) manager->addRef();
    LogManager* old = g_instance;
    g_instance = manager;
    if (old) old->release();
}

void LogManager::shutdownInstance() { setInstance(nullptr); }

Logger* LogManager::logger(const String& name) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    auto it = m_loggers.find(name);
    if (it != m_loggers.end()) return it->second.p();

    // The parent name is strictly shorter, so the recursion ends at the root.
    String parentName = nameOfParentLogger(name);
    Ref<Logger> parentLogger = find(parentName);
    if (parentLogger.isNull() && name != parentName) parentLogger = logger(parentName);
    LFW_ASSERT(parentLogger.notNull());

    Ref<Logger> created = parentLogger.notNull() ? new Logger(name, parentLogger->level(), parentLogger->destination())
                                                 : new Logger(name, Logger::LL_WARNING, nullptr);
    m_loggers[name] = created;
    return created.p();
}

Logger* LogManager::rootLogger() { return logger(String()); }

Logger* LogManager::find(const String& name) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    auto it = m_loggers.find(name);
    return it != m_loggers.end() ? it->second.p() : nullptr;
}

String LogManager::nameOfParentLogger(const String& name) {
    const std::string& s = name.toStdString();
    size_t dot = s.rfind('.');
    return dot == std::string::npos ? String() : String(s.substr(0, dot));
}

// The named logger is created when missing: a level or destination set for a
// logger before its first message must not be lost, and loggers created later
// below it inherit the setting.
void LogManager::setLevelRecursive(const String& name, int level) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    logger(name);
    for (auto& entry : m_loggers) {
        if (isSameOrBelow(entry.first.toStdString(), name.toStdString())) entry.second->setLevel(level);
    }
}

void LogManager::setDestinationRecursive(const String& name, LogDestination* destination) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    Ref<LogDestination> keep(destination);  // a fresh destination must survive the loop
    logger(name);
    for (auto& entry : m_loggers) {
        if (isSameOrBelow(entry.first.toStdString(), name.toStdString())) entry.second->setDestination(destination);
    }
}

}  // namespace lfw
