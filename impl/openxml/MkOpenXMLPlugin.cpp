// 3D viewer plug-in controls, embedded models and the reference-id part.
#include "impl/openxml/MkOpenXMLPlugin.h"
#include "impl/openxml/MkOpenXMLArchive.h"
#include "impl/openxml/MkOpenXMLPaths.h"
#include "host/ug/MkFile.h"
#include "impl/storage/ReportLog.h"
#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <vector>

using namespace MkOpenXMLPaths;

namespace {

const wchar_t* const OCX_PR = L"ax:ocxPr";
const wchar_t* const AX_NAME = L"ax:name";
const wchar_t* const AX_VALUE = L"ax:value";

MkXmlElement findProperty(const MkXmlElement& root, const MkString& name) {
    return MkOpenXMLPlugin::FindProperty(root, name);
}

bool isPluginControl(const MkXmlDocument& part) { return MkOpenXMLPlugin::IsControl(part); }

// The part that a relationships part belongs to: ppt\slides\_rels\slide1.xml.rels -> ppt\slides\slide1.xml.
MkString sourceOfRels(const MkString& relsPath) {
    MkString path = ToInternal(relsPath);
    path.Replace(MkString(L"_rels\\"), MkString(), 1);
    if (path.EndsWith(MkString(L".rels"))) path = path.Left(path.Length() - 5);
    return path;
}

MkString upper(MkString s) {
    s.ToUpper();
    return s;
}

} // namespace

// ---------------------------------------------------------------------------
// Control parts and model files on disk

bool MkOpenXMLPlugin::IsControl(const MkXmlDocument& part) {
    const MkXmlElement root = part.GetRootElement(MkString(L"ax:ocx"));
    return root && root.GetAttributeString(MkString(L"ax:classid")).CompareNoCase(MkString(CLASS_ID)) == 0;
}

MkXmlElement MkOpenXMLPlugin::FindProperty(const MkXmlElement& root, const MkString& name) {
    for (MkXmlElement p = root.GetFirstChildElement(MkString(OCX_PR)); p; p = p.GetNextSiblingElement())
        if (p.GetName() == MkString(OCX_PR) && p.GetAttributeString(MkString(AX_NAME)) == name) return p;
    return MkXmlElement();
}

MkString MkOpenXMLPlugin::ResolveModelPath(const MkString& modelReference, const MkString& packagePath) {
    const MkString reference = ToSlash(modelReference);
    const MkString package = ToSlash(packagePath);
    const int lastSlash = package.Find(L'/', package.Length() - 1, false);
    const MkString folder = lastSlash >= 0 ? package.Left(lastSlash) : MkString();
    MkIntArray ups;
    const int climbs = reference.FindAll(MkString(L"../"), &ups);
    if (climbs == 0) {
        if (reference.Contains(MkString(L"./"))) {
            MkString rest = reference;
            rest.Replace(MkString(L"./"), MkString(L"/"));
            return folder + rest;
        }
        // Absolute paths stay; any other path is relative to the report's folder, like a bare name.
        const bool absolute = reference.StartsWith(MkString(L"/")) ||
                              (reference.Length() > 2 && reference[1] == L':' && reference[2] == L'/');
        if (absolute) return reference;
        return lastSlash >= 0 ? folder + L"/" + reference : reference;
    }
    // Drop climbs + 1 trailing components (the file name and one per "../").
    MkString base = package;
    for (int i = 0; i <= climbs; ++i) {
        const int slash = base.Find(L'/', base.Length() - 1, false);
        base = slash >= 0 ? base.Left(slash) : MkString();
    }
    const int last = reference.Find(MkString(L"../"), reference.Length() - 1, false);
    return base + L"/" + reference.Mid(last + 3);
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

} // namespace

void MkOpenXMLPlugin::ModelSources::Set(const std::vector<std::string>& folders, const std::vector<std::string>& files) {
    m_folders.clear();
    m_files.clear();
    for (const std::string& folder : folders)
        if (!asFolderPrefix(folder).empty()) m_folders.push_back(asFolderPrefix(folder));
    for (const std::string& file : files)
        if (!resolvedPath(file).empty()) m_files.push_back(resolvedPath(file));
}

bool MkOpenXMLPlugin::ModelSources::Allow(const MkString& diskPath, const MkString& reportPath) const {
    const std::string real = resolvedPath(MkXmlToUtf8(diskPath));
    if (real.empty()) return false;
    if (std::find(m_files.begin(), m_files.end(), real) != m_files.end()) return true;
    std::vector<std::string> folders = m_folders;
    folders.push_back(asFolderPrefix(folderOf(MkXmlToUtf8(ToSlash(reportPath)))));
    for (const std::string& folder : folders)
        if (!folder.empty() && real.compare(0, folder.size(), folder) == 0) return true;
    return false;
}

MkString MkOpenXMLPlugin::RecordedModelName(const MkString& modelReference) {
    const MkString slashed = ToSlash(modelReference);
    return slashed.Mid(slashed.Find(L'/', slashed.Length() - 1, false) + 1);
}

bool MkOpenXMLPlugin::IsEmbeddableModelFile(const MkString& path) {
    if (path.IsBlank()) return false;
    const std::string narrow = MkXmlToUtf8(path);
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

// ---------------------------------------------------------------------------
// Control parts

bool MkOpenXMLArchive::SetMdlxPathForPlugin(MkXmlDocument* controlPart, const MkString& modelReference) {
    if (!controlPart) return false;
    const MkXmlElement root = controlPart->GetRootElement();
    if (!root) return false;
    const MkXmlElement property = findProperty(root, MkString(MkOpenXMLPlugin::PROP_FILE_URL));
    if (property) return property.AddAttributeString(MkString(AX_VALUE), modelReference);
    const MkXmlElement added = root.AddChildElement(MkString(OCX_PR));
    added.AddAttributeString(MkString(AX_NAME), MkString(MkOpenXMLPlugin::PROP_FILE_URL));
    added.AddAttributeString(MkString(AX_VALUE), modelReference);
    return false;
}

bool MkOpenXMLArchive::ListPluginControls(MkStringArray* parts) {
    MkStringArray files;
    if (m_rootFolder.IsEmpty() || !FindFiles(m_rootFolder + MkString(GetPathSeparator()) + L"activeX", true, &files))
        return false;
    files.Sort();
    for (int i = 0; i < files.GetSize(); ++i)
        if (files[i].EndsWith(MkString(L".xml"))) parts->AddGrow(ToInternal(files[i]));
    return true;
}

int MkOpenXMLArchive::ReplacePathToMdlxFileInPlugins(const MkString& oldReference, const MkString& newReference) {
    MkStringArray parts;
    if (!ListPluginControls(&parts)) return 0;
    int written = 0;
    for (int i = 0; i < parts.GetSize(); ++i) {
        MkXmlDocument control;
        if (!ReadPart(parts[i], &control) || !isPluginControl(control)) continue;
        const MkXmlElement root = control.GetRootElement();
        for (MkXmlElement p = root.GetFirstChildElement(MkString(OCX_PR)); p; p = p.GetNextSiblingElement()) {
            if (p.GetName() != MkString(OCX_PR) || p.GetAttributeString(MkString(AX_VALUE)) != oldReference) continue;
            p.AddAttributeString(MkString(AX_VALUE), newReference);
            if (WritePart(parts[i], control)) ++written;
            break;
        }
    }
    return written;
}

int MkOpenXMLArchive::GetReferredMdlxFiles(MkStringArray* files, bool embedded) {
    MkStringArray parts;
    if (!files || !ListPluginControls(&parts)) return 0;
    files->Sort();
    int appended = 0;
    for (int i = 0; i < parts.GetSize(); ++i) {
        MkXmlDocument control;
        if (!ReadPart(parts[i], &control) || !isPluginControl(control)) continue;
        const MkXmlElement property = findProperty(control.GetRootElement(), MkString(MkOpenXMLPlugin::PROP_FILE_URL));
        if (!property) continue;
        const MkString value = property.GetAttributeString(MkString(AX_VALUE));
        const int close = value.Find(L']');
        MkString entry;
        if (!embedded) {
            if (close >= 0) continue;
            entry = value;
        } else {
            if (close < 0) continue;
            const int open = value.Find(L'[');
            if (open < 0 || open > close) continue;
            entry = value.Mid(open + 1, close - open - 1);
        }
        if (files->BinSearch(entry) >= 0) continue;
        files->AddGrow(entry);
        files->Sort();
        ++appended;
    }
    return appended;
}

// ---------------------------------------------------------------------------
// Embedded models

bool MkOpenXMLArchive::UpdateMdlxPathReference(MkString* referenceId, const MkString& originalPath, bool) {
    if (!referenceId || m_mdlxFolder.IsEmpty()) return false;
    const MkString partPath = m_mdlxFolder + MkOpenXMLPlugin::REFERENCE_PART;
    MkXmlDocument part;
    MkXmlElement root;
    if (ReadPart(partPath, &part)) root = part.GetRootElement(MkString(L"mdlxReferencedFiles"));
    std::vector<long long> numbers;
    if (!root) {
        part.Clear();
        part.SetDeclaration(MkString(L"1.0"), MkString(L"UTF-8"), MkString(L"yes"));
        root = part.CreateRootElement(MkString(L"mdlxReferencedFiles"), -1, MkString(MkOpenXMLPlugin::REFERENCE_NAMESPACE));
        if (!root) return false;
    } else {
        // Every entry counts, so that a new id never repeats an existing one.
        for (MkXmlElement e = root.GetFirstChildElement(MkString(L"mdlxPath")); e; e = e.GetNextSiblingElement())
            numbers.push_back(e.GetAttributeString(MkString(L"rId")).Mid(4).AsInt(0));
    }
    std::sort(numbers.begin(), numbers.end());
    long long number = 0;
    for (long long n : numbers) {
        if (n > number + 1) break;
        if (n > number) number = n;
    }
    ++number;
    // An embedded file of that number (left by a lost reference-id part) is never overwritten.
    while (number < INT_MAX && FindFile(m_mdlxFolder + L"mdlx" + MkString(static_cast<int>(number)) + L".mdlx") >= 0)
        ++number;
    if (number >= INT_MAX) return false;
    const MkString id = L"mdlx" + MkString(static_cast<int>(number));
    const MkXmlElement entry = root.AddChildElement(MkString(L"mdlxPath"));
    entry.AddAttributeString(MkString(L"rId"), id);
    entry.AddAttributeString(MkString(L"originalPath"), originalPath);
    if (!WritePart(partPath, part)) return false;
    *referenceId = id;
    return true;
}

bool MkOpenXMLArchive::EmbedMdlxInArchive(const MkString& modelReference, MkString* internalName) {
    if (modelReference.Contains(MkString(MkOpenXMLPlugin::EMBEDDED_PREFIX))) return true;
    const MkString diskPath = MkOpenXMLPlugin::ResolveModelPath(modelReference, GetFilename());
    // Only model files are embedded: a template may name any file in a control.
    if (!MkOpenXMLPlugin::IsEmbeddableModelFile(diskPath)) {
        REP_LOG_ERROR(lfw::String("The 3D model '%1' is not a regular .mdlx file and is not embedded")
                          .arg(lfw::String(diskPath)));
        return false;
    }
    // Only from the report's folder and the places the caller named: a control
    // naming "/home/x/secret.mdlx" or "../../x.mdlx" embeds nothing.
    const std::string real = resolvedPath(MkXmlToUtf8(diskPath));
    bool allowed = std::find(m_modelFiles.begin(), m_modelFiles.end(), real) != m_modelFiles.end();
    std::vector<std::string> folders = m_modelFolders;
    folders.push_back(asFolderPrefix(folderOf(MkXmlToUtf8(ToSlash(GetFilename())))));
    for (const std::string& folder : folders)
        if (!folder.empty() && real.compare(0, folder.size(), folder) == 0) allowed = true;
    if (!allowed) {
        REP_LOG_ERROR(lfw::String("The 3D model '%1' lies outside the template's and the report's folders and is not "
                                  "embedded")
                          .arg(lfw::String(modelReference)));
        return false;
    }
    std::string bytes;
    if (!MkReadFile(diskPath, &bytes)) return false;
    // The report records where the model came from by its file name only.
    const MkString slashed = ToSlash(modelReference);
    const MkString fileName = slashed.Mid(slashed.Find(L'/', slashed.Length() - 1, false) + 1);
    MkString id;
    if (!UpdateMdlxPathReference(&id, fileName, true)) return false;
    const MkString name = id + L"." + MkString(MDLX_EXTENSION);
    if (internalName) *internalName = name;
    const MkString partPath = m_mdlxFolder + name;
    if (FindFile(partPath) >= 0 && !Delete(partPath)) return false;
    const bool written = WriteDataRaw(partPath, bytes.data(), bytes.size(), false);
    if (!written) return false;
    if (!AddContentToContentTypesXml(MkString(MDLX_EXTENSION), OXML_CT_EXTENSION)) return false;
    if (AddFileToPresentationRels(name).IsEmpty()) return false;
    return ReplacePathToMdlxFileInPlugins(modelReference, MkString(MkOpenXMLPlugin::EMBEDDED_PREFIX) + id + L"]") > 0;
}

void MkOpenXMLArchive::SetModelSources(const std::vector<std::string>& folders, const std::vector<std::string>& files) {
    m_modelFolders.clear();
    m_modelFiles.clear();
    for (const std::string& folder : folders)
        if (!asFolderPrefix(folder).empty()) m_modelFolders.push_back(asFolderPrefix(folder));
    for (const std::string& file : files)
        if (!resolvedPath(file).empty()) m_modelFiles.push_back(resolvedPath(file));
}

bool MkOpenXMLArchive::EmbedAllMdlxFilesInArchive(bool) {
    MkStringArray files;
    GetReferredMdlxFiles(&files, false);
    bool all = true;
    for (int i = 0; i < files.GetSize(); ++i)
        if (!files[i].IsEmpty() && !EmbedMdlxInArchive(files[i], nullptr)) all = false;
    return all;
}

MkString MkOpenXMLArchive::AddFileToPresentationRels(const MkString& fileName) {
    const int dot = fileName.Find(L'.', fileName.Length() - 1, false);
    const MkString extension = dot >= 0 ? upper(fileName.Mid(dot + 1)) : MkString();
    const bool model = extension == MkString(L"MDLX") || extension == MkString(L"MDL");
    if (!model && extension != MkString(L"XML")) return MkString();
    const MkString relsPath = model ? MkString(PACKAGE_RELS_PART) : m_mainRelsPath;
    const MkString type = model ? MkString(MkOpenXMLPlugin::RELATIONSHIP_TYPE) : MkString(REL_TYPE_SLIDE);
    const MkString prefix = model ? MkString(L"mdlx") : MkString(L"rId");
    // Model relationships live in the package relationships, so their targets start
    // at the package root; older files have them from the root folder, which is read too.
    const MkString legacyTarget = L"mdlxFiles/" + ToSlash(fileName);
    const MkString target = model ? m_rootFolder + L"/" + legacyTarget : L"slides/" + ToSlash(fileName);

    MkXmlDocument rels;
    if (!ReadPart(relsPath, &rels)) return MkString();
    const MkXmlElement root = rels.GetRootElement();
    if (!root) return MkString();
    long long largest = 0;
    bool anyModel = false;
    for (MkXmlElement r = root.GetFirstChildElement(); r; r = r.GetNextSiblingElement()) {
        if (r.GetName() != MkString(L"Relationship")) continue;
        const MkString t = r.GetAttributeString(MkString(L"Target"));
        const MkString id = r.GetAttributeString(MkString(L"Id"));
        if (t == target || (model && t == legacyTarget)) return id;
        if (id.Contains(MkString(L"mdlx"))) anyModel = true;
        const int at = id.Find(prefix);
        if (at >= 0) largest = std::max<long long>(largest, id.Mid(at + prefix.Length()).AsInt(0));
    }
    if (largest >= INT_MAX) return MkString();
    if (model && !anyModel) {
        const MkXmlElement reference = root.AddChildElement(MkString(L"Relationship"));
        reference.AddAttributeString(MkString(L"Id"), MkString(MkOpenXMLPlugin::REFERENCE_REL_ID));
        reference.AddAttributeString(MkString(L"Type"), type);
        reference.AddAttributeString(MkString(L"Target"),
                                     ToSlash(m_rootFolder + L"/mdlxFiles/" + MkOpenXMLPlugin::REFERENCE_PART));
    }
    const MkString newId = prefix + MkString(static_cast<int>(largest + 1));
    const MkXmlElement added = root.AddChildElement(MkString(L"Relationship"));
    added.AddAttributeString(MkString(L"Id"), newId);
    added.AddAttributeString(MkString(L"Type"), type);
    added.AddAttributeString(MkString(L"Target"), target);
    return WritePart(relsPath, rels) ? newId : MkString();
}

bool MkOpenXMLArchive::AddActiveXPluginFile(const MkString& relsPath, const MkString& modelReference,
                                            const MkString& oldControlId, const MkString& newControlId) {
    const MkString oldTarget = GetTargetOfId(relsPath, oldControlId);
    if (oldTarget.IsEmpty()) return false;
    const MkString controlPath = ResolvePartTarget(sourceOfRels(relsPath), oldTarget);
    if (controlPath.IsEmpty()) {
        REP_LOG_ERROR(lfw::String("The control target '%1' lies outside the package").arg(lfw::String(oldTarget)));
        return false;
    }
    MkXmlDocument control;
    if (!ReadPart(controlPath, &control)) return false;
    const MkXmlElement root = control.GetRootElement(MkString(L"ax:ocx"));
    if (!root || !root.GetFirstChildElement(MkString(OCX_PR))) {
        REP_LOG_ERROR(lfw::String("The control part '%1' has no ax:ocxPr properties").arg(lfw::String(ToSlash(controlPath))));
        return false;
    }
    if (!GetTargetOfId(relsPath, newControlId).IsEmpty()) {
        REP_LOG_ERROR(lfw::String("Relationship id '%1' is already used in '%2'")
                          .arg(lfw::String(newControlId)).arg(lfw::String(ToSlash(relsPath))));
        return false;
    }
    SetMdlxPathForPlugin(&control, modelReference);
    MkString newPart = RenameAndSaveDocument(control, OXML_TARGET_ACTIVEX, true);
    if (newPart.IsEmpty()) return false;
    newPart.Replace(MkString(L"../"), MkString());
    if (!AddContentToContentTypesXml(L"/" + m_rootFolder + L"/" + newPart, OXML_CT_ACTIVEX)) return false;
    const MkString target = m_rootFolder == MkString(WORD_ROOT_FOLDER) ? newPart : L"../" + newPart;
    return !AddTargetInRelsFile(relsPath, MkString(REL_TYPE_CONTROL), target, MkString(), newControlId).IsEmpty();
}

void MkOpenXMLArchive::ConvertFromOldPlugin() {
    MkStringArray parts;
    if (ListPluginControls(&parts)) {
        for (int i = 0; i < parts.GetSize(); ++i) {
            MkXmlDocument control;
            if (!ReadPart(parts[i], &control) || !isPluginControl(control)) continue;
            bool changed = false;
            const MkXmlElement root = control.GetRootElement();
            for (MkXmlElement p = root.GetFirstChildElement(MkString(OCX_PR)); p; p = p.GetNextSiblingElement()) {
                if (p.GetName() != MkString(OCX_PR)) continue;
                const MkString name = p.GetAttributeString(MkString(AX_NAME));
                if (name == MkString(L"_cx")) {
                    p.AddAttributeString(MkString(AX_NAME), MkString(MkOpenXMLPlugin::PROP_EXTENT_X));
                } else if (name == MkString(L"_cy")) {
                    p.AddAttributeString(MkString(AX_NAME), MkString(MkOpenXMLPlugin::PROP_EXTENT_Y));
                } else if (name == MkString(L"TOOLBAR")) {
                    const bool on = p.GetAttributeString(MkString(AX_VALUE)) == MkString(L"ON");
                    p.AddAttributeString(MkString(AX_NAME), MkString(MkOpenXMLPlugin::PROP_TOOLBAR));
                    p.AddAttributeString(MkString(AX_VALUE), MkString(on ? L"0" : L"1"));
                } else {
                    continue;
                }
                changed = true;
            }
            if (changed) WritePart(parts[i], control);
        }
    }

    MkXmlDocument mainRels, packageRels;
    if (!ReadPart(m_mainRelsPath, &mainRels) || !ReadPart(MkString(PACKAGE_RELS_PART), &packageRels)) return;
    const MkXmlElement mainRoot = mainRels.GetRootElement();
    const MkXmlElement packageRoot = packageRels.GetRootElement();
    if (!mainRoot || !packageRoot) return;
    bool moved = false;
    for (MkXmlElement r = mainRoot.GetFirstChildElement(); r;) {
        const MkXmlElement next = r.GetNextSiblingElement();
        if (r.GetName() == MkString(L"Relationship") &&
            r.GetAttributeString(MkString(L"Type")) == MkString(MkOpenXMLPlugin::RELATIONSHIP_TYPE)) {
            const MkString id = r.GetAttributeString(MkString(L"Id"));
            const MkString target = m_rootFolder + L"/" + r.GetAttributeString(MkString(L"Target"));
            // Ids stay unique in the package relationships: a relationship that is
            // there already is not added twice, a clashing id gets the next number.
            MkString newId = id;
            long long largest = 0;
            bool present = false;
            for (MkXmlElement p = packageRoot.GetFirstChildElement(); p; p = p.GetNextSiblingElement()) {
                const MkString pid = p.GetAttributeString(MkString(L"Id"));
                if (pid.StartsWith(MkString(L"mdlx"))) largest = std::max<long long>(largest, pid.Mid(4).AsInt(0));
                if (pid == id) {
                    if (p.GetAttributeString(MkString(L"Target")) == target) present = true;
                    else newId.Empty();
                }
            }
            if (newId.IsEmpty()) newId = L"mdlx" + MkString(static_cast<int>(std::min<long long>(largest + 1, INT_MAX)));
            if (!present) {
                const MkXmlElement added = packageRoot.AddChildElement(MkString(L"Relationship"));
                added.AddAttributeString(MkString(L"Id"), newId);
                added.AddAttributeString(MkString(L"Type"), MkString(MkOpenXMLPlugin::RELATIONSHIP_TYPE));
                added.AddAttributeString(MkString(L"Target"), target);
            }
            mainRoot.RemoveChildElement(r);
            moved = true;
        }
        r = next;
    }
    if (moved && WritePart(MkString(PACKAGE_RELS_PART), packageRels)) WritePart(m_mainRelsPath, mainRels);
}
