#include "LibCore/lfwLog.h"
#include "LibCore/lfwUtf8.h"
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace lfw {

const char* CodeLocation::shortFileName() const {
    const char* name = fileName();
    const char* slash = std::strrchr(name, '/');
    return slash ? slash + 1 : name;
}

// ---------------------------------------------------------------------------
// Logger

Logger::Logger(const String& name, int level, LogDestination* destination)
    : m_name(name), m_level(level), m_destination(destination) {}

void Logger::error(const String& message, const CodeLocation& location) { log(message, LL_ERROR, location); }
void Logger::warning(const String& message, const CodeLocation& location) { log(message, LL_WARNING, location); }
void Logger::info(const String& message, const CodeLocation& location) { log(message, LL_INFO, location); }
void Logger::debug(const String& message, const CodeLocation& location) { log(message, LL_DEBUG, location); }

void Logger::log(const String& message, int level, const CodeLocation& location) {
    LogCapture::record(level, message);
    // A level of 0 (or below) on either side means "nothing".
    if (level <= 0 || m_level < level || m_destination.isNull()) return;
    m_destination->log(LogEvent(m_name, message, level, location));
}

void Logger::infoForced(const String& message) {
    if (m_destination.isNull()) return;
    m_destination->log(LogEvent(m_name, message, LL_INFO, CodeLocation()));
}

// ---------------------------------------------------------------------------
// LogCapture

namespace {
thread_local LogCapture* t_capture = nullptr;
}  // namespace

LogCapture::LogCapture() : m_outer(t_capture) { t_capture = this; }

LogCapture::~LogCapture() {
    t_capture = m_outer;
    if (m_outer) m_outer->m_messages.insert(m_outer->m_messages.end(), m_messages.begin(), m_messages.end());
}

bool LogCapture::wants(int level) { return t_capture && level >= Logger::LL_ERROR && level <= Logger::LL_WARNING; }

void LogCapture::record(int level, const String& message) {
    if (wants(level)) t_capture->m_messages.push_back({level, message.toStdString(), 0});
}

void LogCapture::setLastCode(int code) {
    if (t_capture && !t_capture->m_messages.empty()) t_capture->m_messages.back().code = code;
}

// ---------------------------------------------------------------------------
// LogDestinationConsole

namespace {
// The console may not take UTF-8: every character outside ASCII becomes '?'.
String toAscii(const String& text) {
    const std::string& bytes = text.toStdString();
    bool plain = true;
    for (char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            plain = false;
            break;
        }
    }
    if (plain) return text;
    std::wstring wide = utf8::decode(bytes, utf8::Invalid::Replace);
    std::string out;
    out.reserve(wide.size());
    for (wchar_t ch : wide) out += (static_cast<uint32_t>(ch) < 0x80) ? static_cast<char>(ch) : '?';
    return String(std::move(out));
}
}  // namespace

String LogDestinationConsole::formatEvent(const LogEvent& event) {
    // Pieces are appended, not filled in with arg(), so that a "%1" inside a
    // message or a function signature stays as it is.
    std::string text;
    const CodeLocation& loc = event.location();
    switch (event.level()) {
    case Logger::LL_ERROR: {
        text = "ERROR: " + event.message().toStdString();
        const char* function = loc.functionName();
        if (*function) {
            text += "\n        -func: ";
            text += function;
        }
        const char* file = loc.shortFileName();
        if (*file || loc.lineNumber() >= 0) {
            text += "\n        -file: ";
            text += file;
            text += "(" + std::to_string(loc.lineNumber()) + ")";
        }
        break;
    }
    case Logger::LL_WARNING: text = "warn:  " + event.message().toStdString(); break;
    case Logger::LL_INFO: text = "info:  " + event.message().toStdString(); break;
    case Logger::LL_DEBUG: text = "debug: " + event.message().toStdString(); break;
    default: text = event.message().toStdString(); break;
    }
    return toAscii(String(std::move(text)));
}

void LogDestinationConsole::log(const LogEvent& event) {
    String line = formatEvent(event);
    std::lock_guard<std::mutex> lock(m_mutex);
    std::fwrite(line.c_str(), 1, line.size(), stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

}  // namespace lfw
