#include "support/Golden.h"
#include "support/TestSupport.h"
#include "LibCore/lfwFile.h"
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

namespace kivtest {

namespace {

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    if (!text.empty() && text.back() != '\n') out.back() += "\\ (no newline at end)";
    return out;
}

}  // namespace

::testing::AssertionResult matchesGolden(const std::string& relativePath, const std::string& text) {
    const std::string path = std::string(KIV_SOURCE_DIR) + "/tests/golden/" + relativePath;
    const char* bless = std::getenv("KIV_BLESS");
    if (bless && std::string(bless) == "1") {
        lfw::FileSystem::createDirectoryTree(lfw::FileSystem::parentPath(path));
        if (!writeFile(path, text)) return ::testing::AssertionFailure() << "cannot write golden file " << path;
        return ::testing::AssertionSuccess();
    }
    if (!std::ifstream(path).good())
        return ::testing::AssertionFailure() << "missing golden file " << path << " (KIV_BLESS=1 writes it)";
    const std::string expected = readFile(path);
    if (expected == text) return ::testing::AssertionSuccess();

    const std::vector<std::string> want = lines(expected), got = lines(text);
    size_t first = 0;
    while (first < want.size() && first < got.size() && want[first] == got[first]) ++first;
    ::testing::AssertionResult failure = ::testing::AssertionFailure();
    failure << "text differs from golden file " << path << " (KIV_BLESS=1 rewrites it) at line " << first + 1 << " (golden "
            << want.size() << " lines, actual " << got.size() << ")\n";
    const size_t from = first >= 2 ? first - 2 : 0;
    for (size_t i = from; i < first; ++i) failure << "  " << want[i] << "\n";
    for (size_t i = first; i < std::min(want.size(), first + 4); ++i) failure << "- " << want[i] << "\n";
    for (size_t i = first; i < std::min(got.size(), first + 4); ++i) failure << "+ " << got[i] << "\n";
    return failure;
}

}  // namespace kivtest
