#pragma once
// The toolkit's 3D viewer plug-in as it appears in Office packages: ActiveX
// control parts (ax:ocx with the plug-in's class id, a "FileURL" property naming
// the model), models embedded under the model folder as mdlx<n>.mdlx, and the
// reference-id part recording where each embedded model came from. The
// operations that edit them are members of the package editor
// (OpenXMLPackageEditor, OpenXMLEditorParts.cpp); here are the rules they
// share. docs/openxml-parts.md describes the parts and relationships.
#include "impl/storage/XmlDocument.h"
#include <string>
#include <vector>

namespace kiv {
namespace rep {

namespace OpenXMLPlugin {

// Class id of the viewer plug-in control.
constexpr const char* CLASS_ID = "{6F2B9C14-3E7A-4D58-B1C0-92A4E7D35F18}";
// Relationship type of embedded models and of the reference-id part.
constexpr const char* RELATIONSHIP_TYPE = "http://schemas.kivreport.org/2026/relationships/mdlxModel";
// Namespace of the reference-id part's root element.
constexpr const char* REFERENCE_NAMESPACE = "http://schemas.kivreport.org/2026/mdlxReferencedFiles";
// Name of the reference-id part in the model folder.
constexpr const char* REFERENCE_PART = "mdlxReferenceIds.xml";
// Id of the reference-id part's relationship.
constexpr const char* REFERENCE_REL_ID = "mdlxReference";
// Property names.
constexpr const char* PROP_FILE_URL = "FileURL";
constexpr const char* PROP_EXTENT_X = "_ExtentX";
constexpr const char* PROP_EXTENT_Y = "_ExtentY";
constexpr const char* PROP_TOOLBAR = "Toolbar";
// FileURL of an embedded model: EMBEDDED_PREFIX + reference id + "]".
constexpr const char* EMBEDDED_PREFIX = "Embedded[";

// The disk path of the model a control refers to, for a package stored at
// packagePath: a bare name is in the package's folder, "./x" relative to it,
// "../x" climbs from it, anything else is taken as it is. "/" separators.
std::string resolveModelPath(const std::string& modelReference, const std::string& packagePath);

// Whether a part is a control of the plug-in (ax:ocx with its class id).
bool isControl(const XmlDocument& part);
// The control's property of that name (ax:ocxPr with that ax:name, from the
// root's first ax:ocxPr through its following siblings); null when none.
XmlElement findProperty(const XmlElement& root, const std::string& name);

// True when path names a regular file whose name ends in ".mdlx" (any case):
// the only files that may be embedded.
bool isEmbeddableModelFile(const std::string& path);

// Where embedded models may come from (a template may name any path): the
// folders and files a caller names, and the folder of the report.
class ModelSources {
public:
    void set(const std::vector<std::string>& folders, const std::vector<std::string>& files);
    // Whether the file at diskPath lies in one of those folders or is one of those files.
    bool allow(const std::string& diskPath, const std::string& reportPath) const;

private:
    std::vector<std::string> m_folders;  // resolved, with a trailing "/"
    std::vector<std::string> m_files;    // resolved
};

// The name a report records for a model it embeds: the file name of the reference.
std::string recordedModelName(const std::string& modelReference);

}  // namespace OpenXMLPlugin

}  // namespace rep
}  // namespace kiv
