// The 3D viewer plug-in: its controls, and the model files a report may embed.
#include "impl/openxml/OpenXMLPlugin.h"
#include "LibCore/lfwText.h"
#include "impl/openxml/OpenXMLPaths.h"
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace kiv {
namespace rep {

using namespace OpenXMLPaths;

namespace {

const char* const OCX_PR = "ax:ocxPr";
const char* const AX_NAME = "ax:name";

}  // namespace

// ---------------------------------------------------------------------------
// Control parts and model files on disk

bool OpenXMLPlugin::isControl(const XmlDocument& part) {
    const XmlElement root = part.getRootElement("ax:ocx");
    return root && lfw::text::equalNoCase(root.getAttributeString("ax:classid"), CLASS_ID);
}

XmlElement OpenXMLPlugin::findProperty(const XmlElement& root, const std::string& name) {
    for (XmlElement p = root.getFirstChildElement(OCX_PR); p; p = p.getNextSiblingElement())
        if (p.getName() == OCX_PR && p.getAttributeString(AX_NAME) == name) return p;
    return XmlElement();
}

std::string OpenXMLPlugin::resolveModelPath(const std::string& modelReference, const std::string& packagePath) {
    const std::string reference = toSlash(modelReference);
    const std::string package = toSlash(packagePath);
    const size_t lastSlash = package.rfind('/');
    const std::string folder = lastSlash != std::string::npos ? package.substr(0, lastSlash) : std::string();
    int climbs = 0;
    for (size_t at = reference.find("../"); at != std::string::npos; at = reference.find("../", at + 3)) ++climbs;
    if (climbs == 0) {
        if (reference.find("./") != std::string::npos) {
            std::string rest = reference;
            lfw::text::replaceAll(rest, "./", "/");
            return folder + rest;
        }
        // Absolute paths stay; any other path is relative to the report's folder, like a bare name.
        const bool absolute =
            lfw::text::startsWith(reference, "/") || (reference.size() > 2 && reference[1] == ':' && reference[2] == '/');
        if (absolute) return reference;
        return lastSlash != std::string::npos ? folder + "/" + reference : reference;
    }
    // Drop climbs + 1 trailing components (the file name and one per "../").
    std::string base = package;
    for (int i = 0; i <= climbs; ++i) {
        const size_t slash = base.rfind('/');
        base = slash != std::string::npos ? base.substr(0, slash) : std::string();
    }
    return base + "/" + reference.substr(reference.rfind("../") + 3);
}

namespace {

// The path with every link and "." or ".." resolved; empty when it does not exist.
std::string resolvedPath(const std::string& path) {
    char* real = realpath(path.c_str(), nullptr);
    if (!real) return std::string();
    std::string resolved(real);
    free(real);
    return resolved;
}

std::string folderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : slash == 0 ? std::string("/") : path.substr(0, slash);
}

// "/a/b/" for the folder /a/b: a prefix that only paths inside it start with.
std::string asFolderPrefix(const std::string& folder) {
    const std::string resolved = resolvedPath(folder);
    if (resolved.empty()) return resolved;
    return resolved.back() == '/' ? resolved : resolved + "/";
}

}  // namespace

void OpenXMLPlugin::ModelSources::set(const std::vector<std::string>& folders, const std::vector<std::string>& files) {
    m_folders.clear();
    m_files.clear();
    for (const std::string& folder : folders)
        if (!asFolderPrefix(folder).empty()) m_folders.push_back(asFolderPrefix(folder));
    for (const std::string& file : files)
        if (!resolvedPath(file).empty()) m_files.push_back(resolvedPath(file));
}

bool OpenXMLPlugin::ModelSources::allow(const std::string& diskPath, const std::string& reportPath) const {
    const std::string real = resolvedPath(diskPath);
    if (real.empty()) return false;
    if (std::find(m_files.begin(), m_files.end(), real) != m_files.end()) return true;
    std::vector<std::string> folders = m_folders;
    folders.push_back(asFolderPrefix(folderOf(toSlash(reportPath))));
    for (const std::string& folder : folders)
        if (!folder.empty() && real.compare(0, folder.size(), folder) == 0) return true;
    return false;
}

std::string OpenXMLPlugin::recordedModelName(const std::string& modelReference) {
    const std::string slashed = toSlash(modelReference);
    const size_t slash = slashed.rfind('/');
    return slash == std::string::npos ? slashed : slashed.substr(slash + 1);
}

bool OpenXMLPlugin::isEmbeddableModelFile(const std::string& path) {
    if (lfw::text::isBlank(path)) return false;
    const std::string& narrow = path;
    // The file itself must be named *.mdlx; a link may not lead elsewhere.
    char* real = realpath(narrow.c_str(), nullptr);
    if (!real) return false;
    const std::string resolved(real);
    free(real);
    struct stat info;
    if (stat(resolved.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
    auto hasModelExtension = [](const std::string& name) {
        if (name.size() < 5) return false;
        std::string ext = name.substr(name.size() - 5);
        for (char& c : ext) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
        return ext == ".mdlx";
    };
    return hasModelExtension(narrow) && hasModelExtension(resolved);
}

}  // namespace rep
}  // namespace kiv
