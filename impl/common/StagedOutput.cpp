#include "impl/common/StagedOutput.h"
#include "LibCore/lfwFile.h"
#include "impl/common/Utils.h"
#include "impl/storage/ReportLog.h"
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace kiv {
namespace rep {

StagedOutput::~StagedOutput() { discard(); }

std::string StagedOutput::stage(const std::string& target) {
    for (const std::string& input : m_protected) {
        if (!input.empty() && lfw::FileSystem::sameFile(input, target)) {
            REP_LOG_ERROR(lfw::String("%1 is an input of the report and is not overwritten").arg(target));
            return std::string();
        }
    }
    std::string temp;
    if (!Utils::createTemporaryBeside(target, &temp)) {
        REP_LOG_ERROR(lfw::String("Could not create a file beside %1: %2").arg(target).arg(std::strerror(errno)));
        return std::string();
    }
    m_files.push_back({temp, target});
    return temp;
}

bool StagedOutput::commit() {
    bool ok = true;
    for (const Entry& entry : m_files) {
        if (ok) {
            ok = Utils::replaceWithTemporary(entry.temp, entry.target);  // removes temp on failure
        } else {
            std::remove(entry.temp.c_str());
        }
    }
    m_files.clear();
    return ok;
}

void StagedOutput::discard() {
    for (const Entry& entry : m_files) std::remove(entry.temp.c_str());
    m_files.clear();
}

} // namespace rep
} // namespace kiv
