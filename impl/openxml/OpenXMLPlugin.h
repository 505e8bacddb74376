#pragma once
// The toolkit's 3D viewer plug-in as it appears in Office packages: ActiveX
// control parts (ax:ocx with the plug-in's class id, a "FileURL" property naming
// the model), models embedded under the model folder as mdlx<n>.mdlx, and the
// reference-id part recording where each embedded model came from. The
// operations that edit them are members of the package editor
// (OpenXMLPackageEditor, OpenXMLEditorParts.cpp); here are the rules they
// share. docs/openxml-parts.md describes the parts and relationships.
#include "host/ug/MkString.h"
#include "impl/storage/XmlDocument.h"
#include <string>
#include <vector>

namespace kiv {
namespace rep {

namespace OpenXMLPlugin {

// Class id of the viewer plug-in control.
constexpr const wchar_t* CLASS_ID = L"{6F2B9C14-3E7A-4D58-B1C0-92A4E7D35F18}";
// Relationship type of embedded models and of the reference-id part.
constexpr const wchar_t* RELATIONSHIP_TYPE = L"http://schemas.kivreport.org/2026/relationships/mdlxModel";
// Namespace of the reference-id part's root element.
constexpr const wchar_t* REFERENCE_NAMESPACE = L"http://schemas.kivreport.org/2026/mdlxReferencedFiles";
// Name of the reference-id part in the model folder.
constexpr const wchar_t* REFERENCE_PART = L"mdlxReferenceIds.xml";
// Id of the reference-id part's relationship.
constexpr const wchar_t* REFERENCE_REL_ID = L"mdlxReference";
// Property names.
constexpr const wchar_t* PROP_FILE_URL = L"FileURL";
constexpr const wchar_t* PROP_EXTENT_X = L"_ExtentX";
constexpr const wchar_t* PROP_EXTENT_Y = L"_ExtentY";
constexpr const wchar_t* PROP_TOOLBAR = L"Toolbar";
// FileURL of an embedded model: EMBEDDED_PREFIX + reference id + "]".
constexpr const wchar_t* EMBEDDED_PREFIX = L"Embedded[";

// The disk path of the model a control refers to, for a package stored at
// packagePath: a bare name is in the package's folder, "./x" relative to it,
// "../x" climbs from it, anything else is taken as it is. "/" separators.
MkString ResolveModelPath(const MkString& modelReference, const MkString& packagePath);

// Whether a part is a control of the plug-in (ax:ocx with its class id).
bool IsControl(const XmlDocument& part);
// The control's property of that name (ax:ocxPr with that ax:name, from the
// root's first ax:ocxPr through its following siblings); null when none.
XmlElement FindProperty(const XmlElement& root, const MkString& name);

// True when path names a regular file whose name ends in ".mdlx" (any case):
// the only files that may be embedded.
bool IsEmbeddableModelFile(const MkString& path);

// Where embedded models may come from (a template may name any path): the
// folders and files a caller names, and the folder of the report.
class ModelSources {
public:
    void Set(const std::vector<std::string>& folders, const std::vector<std::string>& files);
    // Whether the file at diskPath lies in one of those folders or is one of those files.
    bool Allow(const MkString& diskPath, const MkString& reportPath) const;

private:
    std::vector<std::string> m_folders;  // resolved, with a trailing "/"
    std::vector<std::string> m_files;    // resolved
};

// The name a report records for a model it embeds: the file name of the reference.
MkString RecordedModelName(const MkString& modelReference);

}  // namespace OpenXMLPlugin

}  // namespace rep
}  // namespace kiv
