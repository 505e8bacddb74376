#include "impl/common/ReportBudget.h"
#include "LibCore/lfwString.h"

namespace kiv {
namespace rep {

bool ReportBudget::spend(uint64_t bytes) {
    if (bytes > m_left) return refuse();
    m_left -= bytes;
    return true;
}

bool ReportBudget::spendText(uint64_t characters) {
    if (characters > m_charactersLeft) return refuse();
    m_charactersLeft -= characters;
    return true;
}

bool ReportBudget::refuse() {
    if (!m_exhausted)
        m_problems->error(ProblemCode::TooLarge,
                          lfw::String("The report would expand to more than %1 characters of text or %2 bytes of pictures; "
                                      "it is not made")
                              .arg(static_cast<long long>(DEFAULT_CHARACTERS))
                              .arg(static_cast<long long>(DEFAULT_BYTES))
                              .toStdString());
    m_exhausted = true;
    return false;
}

}  // namespace rep
}  // namespace kiv
