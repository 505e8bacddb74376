#pragma once
// Logging of the report component: every message goes to "kiv.comp.Report",
// with the level tested before the message is built.
#include "LibCore/lfwLog.h"

#define REP_LOGGER_NAME "kiv.comp.Report"
#define REP_LOG_ERROR(message) LFW_LOG_ERROR(REP_LOGGER_NAME, message)
#define REP_LOG_WARNING(message) LFW_LOG_WARNING(REP_LOGGER_NAME, message)
#define REP_LOG_INFO(message) LFW_LOG_INFO(REP_LOGGER_NAME, message)
