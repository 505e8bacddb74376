#include "impl/storage/Problems.h"
#include <algorithm>

namespace kiv {
namespace rep {

void Problems::add(Problem problem) {
    m_all.push_back(std::move(problem));
    if (m_echo) m_echo(m_all.back());
}

size_t Problems::errorCount() const {
    return static_cast<size_t>(
        std::count_if(m_all.begin(), m_all.end(), [](const Problem& p) { return p.level == Problem::Error; }));
}

ProblemCode Problems::firstError() const {
    for (const Problem& p : m_all)
        if (p.level == Problem::Error) return p.code;
    return ProblemCode::None;
}

}  // namespace rep
}  // namespace kiv
