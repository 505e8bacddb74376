#pragma once
// Problems as values: what went wrong in a call, with its kind (ProblemCode),
// the part or entry concerned and the message the log and the caller get.
// The objects that do the work add to a list handed down to them; only the
// public API writes the log, from that list.
#include "KivReport/Problem.h"
#include <functional>
#include <string>
#include <vector>

namespace kiv {
namespace rep {

struct Problem {
    enum Level { Error = 1, Warning = 2 };  // the numbers of ReportResult::Level
    Level level = Error;
    ProblemCode code = ProblemCode::General;
    std::string part;     // the entry or part concerned; empty when none
    std::string message;  // UTF-8
};

// The problems of one call, in the order they arose. A list can echo each
// problem as it is added (the API's edge logs them there, so that they keep
// their order among its own messages).
class Problems {
public:
    using Echo = std::function<void(const Problem&)>;
    Problems() = default;
    explicit Problems(Echo echo) : m_echo(std::move(echo)) {}
    Problems(const Problems&) = delete;
    Problems& operator=(const Problems&) = delete;

    void add(Problem problem);
    void error(ProblemCode code, std::string message, std::string part = std::string()) {
        add(Problem{Problem::Error, code, std::move(part), std::move(message)});
    }
    void warning(ProblemCode code, std::string message, std::string part = std::string()) {
        add(Problem{Problem::Warning, code, std::move(part), std::move(message)});
    }

    const std::vector<Problem>& all() const { return m_all; }
    bool empty() const { return m_all.empty(); }
    size_t errorCount() const;
    // The kind of the first error; None when there is no error.
    ProblemCode firstError() const;
    void clear() { m_all.clear(); }

private:
    std::vector<Problem> m_all;
    Echo m_echo;
};

}  // namespace rep
}  // namespace kiv
