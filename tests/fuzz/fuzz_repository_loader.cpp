// Fuzz target: loading a repository file from arbitrary bytes must end in a result
// (true with what could be read, or false) without crashing, and a loaded
// repository must save again.
#include "KivReport/Repository.h"
#include "LibCore/lfwLogManager.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

namespace {

std::string scratchPath(const char* what) { return "/tmp/fuzz_repository_" + std::to_string(::getpid()) + what; }

bool writeAll(const std::string& path, const uint8_t* data, size_t size) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = size == 0 || std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool quiet = [] {
        lfw::LogManager::instance()->setLevelRecursive("", 0);  // errors are expected by the thousand
        return true;
    }();
    (void)quiet;
    static const std::string input = scratchPath(".zip");
    static const std::string output = scratchPath("_out.zip");
    if (!writeAll(input, data, size)) return 0;
    kiv::PtrRef<kiv::rep::Repository> repo = new kiv::rep::Repository;
    if (repo->loadRepository(input) && repo->snapshotCount() > 0) {
        // Whatever was loaded must be storable, or refused with a result.
        repo->saveRepository(output);
        std::remove(output.c_str());
    }
    return 0;
}
