#pragma once
// The barrier at the edge of the public API: no exception, std::bad_alloc
// included, leaves generate, validate, summarize or a repository load or save.
// It becomes one problem and a false result.
#include "impl/storage/Problems.h"
#include <exception>
#include <new>
#include <string>

namespace kiv {
namespace rep {

template <class Operation>
bool callNoThrow(const char* what, Problems* problems, Operation&& operation) {
    try {
        return operation();
    } catch (const std::bad_alloc&) {
        problems->error(ProblemCode::Internal, std::string(what) + " failed: out of memory");
    } catch (const std::exception& e) {
        problems->error(ProblemCode::Internal, std::string(what) + " failed: " + e.what());
    } catch (...) {
        problems->error(ProblemCode::Internal, std::string(what) + " failed: unexpected error");
    }
    return false;
}

}  // namespace rep
}  // namespace kiv
