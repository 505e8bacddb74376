#pragma once
// File access of the tool. Failures throw InputError with the path and the reason.
#include "LibCore/lfwStagedFiles.h"
#include <string>
#include <vector>

namespace kivcli {

bool pathExists(const std::string& path);
bool isDirectory(const std::string& path);
bool isRegularFile(const std::string& path);

std::vector<unsigned char> readBinaryFile(const std::string& path);
std::string readTextFile(const std::string& path);

// Files written completely under temporary names beside their targets
// (".<name>.Varnox_Report_Tmp..."), then moved over them together by commit():
// a failed write leaves every target as it was, and a target that is a link is
// replaced, never written through. What is not committed is removed.
class StagedFiles {
public:
    // Throws InputError when the temporary file cannot be written completely.
    void write(const std::string& path, const void* data, size_t size);
    // Throws InputError when a file cannot be moved into place.
    void commit();

private:
    lfw::StagedFiles m_files;
};

// The folder part of a path ("." when it has none) and a path relative to a folder
// (an absolute path is taken as it is).
std::string parentFolder(const std::string& path);
std::string resolvePath(const std::string& folder, const std::string& path);
// Throws unless a file can be created at path: its folder must exist and the
// path must not be a folder.
void checkOutputFile(const std::string& path);

}  // namespace kivcli
