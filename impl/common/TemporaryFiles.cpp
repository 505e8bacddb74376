#include "impl/common/TemporaryFiles.h"
#include "LibCore/lfwFile.h"
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace kiv {
namespace rep {

TemporaryFiles::~TemporaryFiles() {
    for (const std::string& file : m_files) ::unlink(file.c_str());
}

std::string TemporaryFiles::create(const char* suffix) {
    std::string folder = lfw::FileSystem::tempDirectoryPath().toStdString();
    if (!folder.empty() && folder.back() == '/') folder.pop_back();
    std::string pattern = folder + "/Varnox_Report_Tmp_XXXXXX" + suffix;
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = ::mkstemps(name.data(), static_cast<int>(std::strlen(suffix)));
    if (fd < 0) return std::string();
    ::close(fd);
    m_files.push_back(name.data());
    return m_files.back();
}

}  // namespace rep
}  // namespace kiv
