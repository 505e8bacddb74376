#pragma once
// Loggers, log events and destinations.
#include "LibCore/lfwRef.h"
#include "LibCore/lfwString.h"
#include <mutex>
#include <vector>

namespace lfw {

// Where a log call was made. Texts are not owned and may be null (read as empty).
class CodeLocation {
public:
    CodeLocation() = default;
    CodeLocation(const char* fileName, const char* functionName, const char* shortFunctionName, int lineNumber)
        : m_fileName(fileName), m_functionName(functionName), m_shortFunctionName(shortFunctionName), m_line(lineNumber) {}
    const char* fileName() const { return m_fileName ? m_fileName : ""; }
    const char* shortFileName() const;  // after the last "/"
    const char* functionName() const { return m_functionName ? m_functionName : ""; }
    const char* shortFunctionName() const { return m_shortFunctionName ? m_shortFunctionName : ""; }
    int lineNumber() const { return m_line; }

private:
    const char* m_fileName = nullptr;
    const char* m_functionName = nullptr;
    const char* m_shortFunctionName = nullptr;
    int m_line = -1;
};

class LogEvent {
public:
    LogEvent(const String& source, const String& message, int level, const CodeLocation& location)
        : m_source(source), m_message(message), m_level(level), m_location(location) {}
    const String& source() const { return m_source; }
    const String& message() const { return m_message; }
    int level() const { return m_level; }
    const CodeLocation& location() const { return m_location; }

private:
    String m_source;
    String m_message;
    int m_level;
    CodeLocation m_location;
};

class LogDestination : public RefCounted {
public:
    virtual void log(const LogEvent& event) = 0;
};

// Writes one line per event to the standard error stream.
class LogDestinationConsole : public LogDestination {
public:
    void log(const LogEvent& event) override;
    static String formatEvent(const LogEvent& event);  // the text without the final line feed
    static const char* targetName() { return "Console"; }

private:
    std::mutex m_mutex;
};

class Logger : public RefCounted {
public:
    enum Level { LL_ERROR = 1, LL_WARNING = 2, LL_INFO = 3, LL_DEBUG = 4 };

    Logger(const String& name, int level, LogDestination* destination);

    const String& name() const { return m_name; }
    int level() const { return m_level; }
    void setLevel(int level) { m_level = level; }
    LogDestination* destination() { return m_destination.p(); }
    void setDestination(LogDestination* destination) { m_destination = destination; }

    bool isErrorEnabled() const { return m_level >= LL_ERROR; }
    bool isWarningEnabled() const { return m_level >= LL_WARNING; }
    bool isInfoEnabled() const { return m_level >= LL_INFO; }
    bool isDebugEnabled() const { return m_level >= LL_DEBUG; }

    void error(const String& message, const CodeLocation& location = CodeLocation());
    void warning(const String& message, const CodeLocation& location = CodeLocation());
    void info(const String& message, const CodeLocation& location = CodeLocation());
    void debug(const String& message, const CodeLocation& location);
    void log(const String& message, int level, const CodeLocation& location);
    void infoForced(const String& message);

private:
    String m_name;
    int m_level;
    Ref<LogDestination> m_destination;
};

// Collects the errors and warnings logged on the calling thread while it lives,
// whatever the loggers' levels say; the loggers still hand every message to their
// destinations as usual. Captures nest: an inner one passes what it collected on
// to the outer one when it ends.
class LogCapture {
public:
    struct Message {
        int level;  // Logger::LL_ERROR or Logger::LL_WARNING
        std::string text;
        int code = 0;  // the caller's kind of the message (0: none given)
    };
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    const std::vector<Message>& messages() const { return m_messages; }
    // True when a capture on this thread collects messages of that level.
    static bool wants(int level);
    static void record(int level, const String& message);
    // Gives the message captured last on this thread its kind.
    static void setLastCode(int code);

private:
    std::vector<Message> m_messages;
    LogCapture* m_outer;
};

}  // namespace lfw

// The one logging pattern: the level is tested before the message is built, and
// the event carries the function signature and source location. A call site is
// one line, for example
//   LFW_LOG_ERROR("kiv.comp.Report", lfw::String("Error opening file (%1)").arg(name));
#define LFW_CODE_LOCATION ::lfw::CodeLocation(__FILE__, __PRETTY_FUNCTION__, __func__, __LINE__)
#define LFW_LOG_AT_LEVEL(loggerName, lvl, message)                                                                               \
    do {                                                                                                                         \
        ::lfw::Logger* lfwLogger_ = ::lfw::LogManager::instance()->logger(loggerName);                                           \
        if (lfwLogger_->level() >= (lvl) || ::lfw::LogCapture::wants(lvl)) lfwLogger_->log((message), (lvl), LFW_CODE_LOCATION); \
    } while (0)
#define LFW_LOG_ERROR(loggerName, message) LFW_LOG_AT_LEVEL(loggerName, ::lfw::Logger::LL_ERROR, message)
#define LFW_LOG_WARNING(loggerName, message) LFW_LOG_AT_LEVEL(loggerName, ::lfw::Logger::LL_WARNING, message)
#define LFW_LOG_INFO(loggerName, message) LFW_LOG_AT_LEVEL(loggerName, ::lfw::Logger::LL_INFO, message)
#define LFW_LOG_DEBUG(loggerName, message) LFW_LOG_AT_LEVEL(loggerName, ::lfw::Logger::LL_DEBUG, message)

#include "LibCore/lfwLogManager.h"
