#pragma once
// The barrier at the edge of the public API: no exception, std::bad_alloc
// included, leaves generate, validate, summarize or a repository load or save.
// It becomes one logged error and a false result.
#include "impl/storage/ReportLog.h"
#include <exception>
#include <new>

namespace kiv {
namespace rep {

template <class Operation>
bool callNoThrow(const char* what, Operation&& operation) {
    try {
        return operation();
    } catch (const std::bad_alloc&) {
        REP_LOG_ERROR(lfw::String("%1 failed: out of memory").arg(what));
    } catch (const std::exception& e) {
        REP_LOG_ERROR(lfw::String("%1 failed: %2").arg(what).arg(e.what()));
    } catch (...) {
        REP_LOG_ERROR(lfw::String("%1 failed: unexpected error").arg(what));
    }
    return false;
}

}  // namespace rep
}  // namespace kiv
