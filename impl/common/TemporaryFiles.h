#pragma once
// Temporary files of one report (pictures and models handed to the package
// editors): each made new and unique in the temporary folder, so that reports
// made at the same time by several processes never share one, and each removed
// when the report is done, whatever its outcome.
#include <string>
#include <vector>

namespace kiv {
namespace rep {

class TemporaryFiles {
public:
    TemporaryFiles() = default;
    ~TemporaryFiles();
    TemporaryFiles(const TemporaryFiles&) = delete;
    TemporaryFiles& operator=(const TemporaryFiles&) = delete;

    // A new empty file "Varnox_Report_Tmp_XXXXXX<suffix>" in the temporary folder;
    // empty on failure.
    std::string create(const char* suffix);

private:
    std::vector<std::string> m_files;
};

}  // namespace rep
}  // namespace kiv
