#pragma once
// File access of the tool. Failures throw InputError with the path and the reason.
#include <string>
#include <vector>

namespace kivcli {

bool pathExists(const std::string& path);
bool isDirectory(const std::string& path);
bool isRegularFile(const std::string& path);
// True when both name one existing file (also through links or other spellings).
bool sameFile(const std::string& a, const std::string& b);

std::vector<unsigned char> readBinaryFile(const std::string& path);
std::string readTextFile(const std::string& path);
void writeFile(const std::string& path, const void* data, size_t size);

// The folder part of a path ("." when it has none) and a path relative to a folder
// (an absolute path is taken as it is).
std::string parentFolder(const std::string& path);
std::string resolvePath(const std::string& folder, const std::string& path);
// Throws unless a file can be created at path: its folder must exist and the
// path must not be a folder.
void checkOutputFile(const std::string& path);

} // namespace kivcli
