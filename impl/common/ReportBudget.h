#pragma once
#include "impl/storage/Problems.h"
#include <cstdint>

namespace kiv {
namespace rep {

// What one report may spend on content it expands from its repositories: text
// grown by field-value macros and unrolled groups, and table markup, counted in
// characters; preview pictures inflated and decoded, counted in bytes over the
// whole report. Charged before the memory is taken; a report that runs out of
// either fails.
class ReportBudget {
public:
    static constexpr uint64_t DEFAULT_BYTES = uint64_t(4) << 30;
    static constexpr uint64_t DEFAULT_CHARACTERS = uint64_t(128) << 20;
    explicit ReportBudget(uint64_t bytes = DEFAULT_BYTES, uint64_t characters = DEFAULT_CHARACTERS)
        : m_left(bytes), m_charactersLeft(characters) {}
    ReportBudget(const ReportBudget&) = delete;
    ReportBudget& operator=(const ReportBudget&) = delete;
    // Where the budget, and the work that spends it, report problems: the list
    // given, or the budget's own.
    void reportTo(Problems* problems) { m_problems = problems ? problems : &m_own; }
    Problems& problems() const { return *m_problems; }
    // False, with nothing spent, when fewer are left; the first refusal reports an error.
    bool spend(uint64_t bytes);
    bool spendText(uint64_t characters);
    // Gives back memory that was charged for a while only (a decoder's working
    // memory once the picture is decoded).
    void refund(uint64_t bytes) { m_left += bytes; }
    uint64_t left() const { return m_left; }
    uint64_t charactersLeft() const { return m_charactersLeft; }
    bool exhausted() const { return m_exhausted; }

private:
    bool refuse();
    uint64_t m_left;
    uint64_t m_charactersLeft;
    bool m_exhausted = false;
    Problems m_own;
    Problems* m_problems = &m_own;
};

}  // namespace rep
}  // namespace kiv
