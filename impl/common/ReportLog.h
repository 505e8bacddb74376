#pragma once
// Logging of the report component, for the edge of the public API only (the
// creators, and the public classes' own loads and saves): every message goes to
// "kiv.comp.Report", with the level tested before the message is built. The
// layers below report problems as values (Problems.h) and never log.
#include "LibCore/lfwLog.h"
#include "impl/storage/Problems.h"

#define REP_LOGGER_NAME "kiv.comp.Report"
#define REP_LOG_ERROR(message) LFW_LOG_ERROR(REP_LOGGER_NAME, message)
#define REP_LOG_WARNING(message) LFW_LOG_WARNING(REP_LOGGER_NAME, message)
#define REP_LOG_INFO(message) LFW_LOG_INFO(REP_LOGGER_NAME, message)

namespace kiv {
namespace rep {

// Writes a problem to the log with the text it carries: the echo of the lists
// that callers hand down to the layers that report problems as values.
inline void logProblem(const Problem& problem) {
    if (problem.level == Problem::Warning) REP_LOG_WARNING(lfw::String(problem.message));
    else REP_LOG_ERROR(lfw::String(problem.message));
    lfw::LogCapture::setLastCode(static_cast<int>(problem.code));
}

}  // namespace rep
}  // namespace kiv
