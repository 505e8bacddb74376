// Package parts, content types, relationships and media of an Office package.
#include "LibCore/lfwFile.h"
#include "impl/openxml/MkOpenXMLArchive.h"
#include "impl/openxml/MkOpenXMLPaths.h"
#include "host/ug/MkFile.h"
#include "impl/storage/ReportLog.h"
#include <climits>
#include <set>
#include <string>

using namespace MkOpenXMLPaths;

namespace {

// What each content-type kind registers. Kinds 1 and 3 take their content type
// from the archive (empty in a Word package); every other value is a notes slide.
struct ContentTypeKind {
    OXMLContentTypeTag kind;
    const wchar_t* element;
    const wchar_t* keyAttribute;
    const wchar_t* contentType;  // null: the archive's member
};
const ContentTypeKind CONTENT_TYPE_KINDS[] = {
    {OXML_CT_SLIDE, L"Override", L"PartName", nullptr},
    {OXML_CT_ACTIVEX, L"Override", L"PartName", MkOpenXMLArchive::ACTIVEX_CONTENT_TYPE},
    {OXML_CT_TAGS, L"Override", L"PartName", nullptr},
    {OXML_CT_EXTENSION, L"Default", L"Extension", nullptr},
    {OXML_CT_CHART, L"Override", L"PartName", MkOpenXMLArchive::CHART_CONTENT_TYPE},
    {OXML_CT_NOTES_SLIDE, L"Override", L"PartName", MkOpenXMLArchive::NOTES_SLIDE_CONTENT_TYPE},
};

// Content types of the file extensions the component stores (lower case).
struct ExtensionType {
    const wchar_t* extension;
    const wchar_t* contentType;  // null: "image/" + the extension as passed
};
const ExtensionType EXTENSION_TYPES[] = {
    {L"mdlx", L"application/octet-stream"},
    {L"jpg", nullptr},
    {L"jpeg", nullptr},
    {L"png", nullptr},
    {L"avi", L"video/avi"},
};

// Relationship target patterns and new-part templates of the target types.
struct TargetKind {
    TargetType type;
    const wchar_t* wordPattern;  // null: not searched
    const wchar_t* pptPattern;
    const wchar_t* folder;       // null: not saved by RenameAndSaveDocument
    bool relsSubfolder;
    const wchar_t* name;
    const wchar_t* extension;
};
const TargetKind TARGET_KINDS[] = {
    {OXML_TARGET_ACTIVEX, L"activeX", L"../activeX", L"activeX", false, L"activeX1", L"xml"},
    {OXML_TARGET_IMAGE, L"../media/image", L"../media/image", nullptr, false, nullptr, nullptr},
    {OXML_TARGET_TAGS, L"tags/tag", L"tags/tag", L"tags", false, L"tag1", L"xml"},
    {OXML_TARGET_VML_DRAWING, L"drawings/vmlDrawing", L"drawings/vmlDrawing", nullptr, false, nullptr, nullptr},
    {OXML_TARGET_CHART, L"charts/chart", L"charts/chart", L"charts", false, L"chart1", L"xml"},
    {OXML_TARGET_CHART_RELS, nullptr, nullptr, L"charts", true, L"chart1", L"xml.rels"},
    {OXML_TARGET_NOTES_SLIDE, L"../notesSlides", L"../notesSlides", L"notesSlides", false, L"notesSlide1", L"xml"},
    {OXML_TARGET_NOTES_SLIDE_RELS, nullptr, nullptr, L"notesSlides", true, L"notesSlide1", L"xml.rels"},
};

const TargetKind* findTargetKind(TargetType type) {
    for (const TargetKind& k : TARGET_KINDS)
        if (k.type == type) return &k;
    return nullptr;
}

MkString lower(const MkString& s) {
    MkString out(s);
    out.ToLower();
    return out;
}

// The numbers a name takes for a stem: a name holding stem followed by digits
// d1..dk contains stem + every prefix of them ("image12.png" takes 1 and 12).
void takenNumbers(const std::wstring& name, const std::wstring& stem, std::set<long long>* taken) {
    for (size_t pos = name.find(stem); pos != std::wstring::npos; pos = name.find(stem, pos + 1)) {
        size_t d = pos + stem.size();
        if (d >= name.size() || name[d] == L'0') continue;
        long long value = 0;
        for (size_t k = d; k < name.size() && k < d + 10 && name[k] >= L'0' && name[k] <= L'9'; ++k) {
            value = value * 10 + (name[k] - L'0');
            taken->insert(value);
        }
    }
}

// Smallest n >= 1 not taken; -1 past INT_MAX. Numbers are only ever added to
// `taken`, so the search goes on from where the last one ended (`from`, 1 when
// the set was filled anew): a thousand pictures cost a thousand steps.
int firstFreeNumber(const std::set<long long>& taken, long long* from) {
    long long n = *from < 1 ? 1 : *from;
    for (auto it = taken.lower_bound(n); it != taken.end() && *it == n; ++it) ++n;
    *from = n;
    return n > INT_MAX ? -1 : static_cast<int>(n);
}

const wchar_t* const MEDIA_KINDS[2] = {L"image", L"video"};

} // namespace

MkOpenXMLArchive::MkOpenXMLArchive() = default;
MkOpenXMLArchive::~MkOpenXMLArchive() = default;

void MkOpenXMLArchive::SetPackageFolders(const MkString& rootFolder) {
    const MkString sep(GetPathSeparator());
    m_rootFolder = rootFolder;
    m_mediaFolder = rootFolder + sep + L"media" + sep;
    m_mdlxFolder = rootFolder + sep + L"mdlxFiles" + sep;
    if (rootFolder == MkString(WORD_ROOT_FOLDER)) {
        m_mainRelsPath = rootFolder + sep + L"_rels" + sep + L"document.xml.rels";
        m_slideContentType.Empty();
        m_tagsContentType.Empty();
    } else {
        m_mainRelsPath = rootFolder + sep + L"_rels" + sep + L"presentation.xml.rels";
        m_slideContentType = SLIDE_CONTENT_TYPE;
        m_tagsContentType = TAGS_CONTENT_TYPE;
    }
}

bool MkOpenXMLArchive::Open(const MkString& path, PxZipAccessMode mode) {
    m_mediaListed = false;  // listed again on the next media addition
    m_officeVersion = 0;
    if (!PxZipArchive::Open(path, mode)) return false;
    m_officeVersion = GetOfficeVersion();
    return true;
}

bool MkOpenXMLArchive::Open(PxZipMemFile* memFile, PxZipAccessMode mode) {
    m_mediaListed = false;
    m_officeVersion = 0;
    if (!PxZipArchive::Open(memFile, mode)) return false;
    m_officeVersion = GetOfficeVersion();
    return true;
}

int MkOpenXMLArchive::GetOfficeVersion() {
    if (m_officeVersion != 0) return m_officeVersion;
    MkXmlDocument app;
    if (!ReadPart(MkString(L"docProps\\app.xml"), &app)) return m_officeVersion;
    const MkXmlElement version = app.GetRootElement().GetFirstChildElement(MkString(L"AppVersion"));
    if (!version) return m_officeVersion;
    return version.GetValue().AsInt(0);
}

// ---------------------------------------------------------------------------
// Parts

bool MkOpenXMLArchive::ReadPart(const MkString& path, MkXmlDocument* document) {
    if (!document || IsClosed() || path.IsBlank()) return false;
    if (FindFile(ToInternal(path)) < 0) return false;
    // Blanks in text are content in Office parts (a run holding a space).
    document->KeepWhiteSpaceInText();
    return ReadXmlFile(ToInternal(path), document);
}

bool MkOpenXMLArchive::WritePart(const MkString& path, const MkXmlDocument& document) {
    const MkString internal = ToInternal(path);
    const bool listed = m_mediaListed && GetNumFiles() == m_mediaListedCount;
    if (!WriteXmlFile(internal, &document, true)) return false;
    // A new part outside the media folder leaves the media listing as it was: no
    // listing again at the next picture (slides copied between pictures add parts).
    if (listed && !internal.StartsWith(m_mediaFolder)) m_mediaListedCount = GetNumFiles();
    return true;
}

MkXmlDocument* MkOpenXMLArchive::OpenPart(const MkString& path, MkXmlDocument* scratch) {
    return ReadPart(path, scratch) ? scratch : nullptr;
}

const MkXmlDocument* MkOpenXMLArchive::ViewPart(const MkString& path, MkXmlDocument* scratch) {
    return ReadPart(path, scratch) ? scratch : nullptr;
}

bool MkOpenXMLArchive::SavePart(const MkString& path, MkXmlDocument* document) {
    return document && WritePart(path, *document);
}

// ---------------------------------------------------------------------------
// Content types

bool MkOpenXMLArchive::AddContentToContentTypesXml(const MkString& value, OXMLContentTypeTag kind) {
    const ContentTypeKind* entry = &CONTENT_TYPE_KINDS[5];
    for (const ContentTypeKind& k : CONTENT_TYPE_KINDS)
        if (k.kind == kind) entry = &k;
    MkString contentType;
    if (entry->contentType) {
        contentType = entry->contentType;
    } else if (kind == OXML_CT_SLIDE) {
        contentType = m_slideContentType;
    } else if (kind == OXML_CT_TAGS) {
        contentType = m_tagsContentType;
    } else {
        const MkString ext = lower(value);
        for (const ExtensionType& t : EXTENSION_TYPES)
            if (ext == MkString(t.extension)) contentType = t.contentType ? MkString(t.contentType) : L"image/" + value;
    }
    // A Default or Override without a content type would make the package invalid.
    if (contentType.IsEmpty() || value.IsBlank()) return false;

    MkXmlDocument scratch;
    MkXmlDocument* types = OpenPart(MkString(CONTENT_TYPES_PART), &scratch);
    if (!types) {
        REP_LOG_ERROR(lfw::String("The package has no readable [Content_Types].xml"));
        return false;
    }
    const MkXmlElement root = types->GetRootElement();
    if (!root) {
        REP_LOG_ERROR(lfw::String("The package has no readable [Content_Types].xml"));
        return false;
    }
    const MkString key = ToSlash(value);
    const MkString attribute(entry->keyAttribute);
    // Extensions and part names are compared without regard to case: a package
    // holding two entries that differ only in case is invalid.
    for (MkXmlElement e = root.GetFirstChildElement(); e; e = e.GetNextSiblingElement())
        if (e.GetName() == MkString(entry->element) && e.GetAttributeString(attribute).CompareNoCase(key) == 0)
            return true;
    const MkXmlElement added = root.AddChildElement(MkString(entry->element));
    if (!added) return false;
    if (!added.AddAttributeString(attribute, key) || !added.AddAttributeString(MkString(L"ContentType"), contentType)) {
        root.RemoveChildElement(added);  // the part may be the editor's own copy: leave it as it was
        return false;
    }
    return SavePart(MkString(CONTENT_TYPES_PART), types);
}

bool MkOpenXMLArchive::DoValueOfTagExistInContentTypes(const MkString& attribute, const MkString& value) {
    MkXmlDocument scratch;
    const MkXmlDocument* types = ViewPart(MkString(CONTENT_TYPES_PART), &scratch);
    if (!types) return false;
    for (MkXmlElement e = types->GetRootElement().GetFirstChildElement(); e; e = e.GetNextSiblingElement())
        if (e.GetAttributeString(attribute) == value) return true;
    return false;
}

// ---------------------------------------------------------------------------
// Media and new parts

bool MkOpenXMLArchive::AddMediaFileToArchive(const MkString& localPath, MkString* target) {
    if (!target || localPath.IsBlank()) return false;
    if (m_addedMediaSources.GetSize() == m_addedMediaTargets.GetSize()) {
        const auto known = m_mediaSourceIndex.find(localPath.Std());
        int index = known != m_mediaSourceIndex.end() ? known->second : -1;
        // Derived classes may edit the lists; the index is only a shortcut.
        if (index >= m_addedMediaSources.GetSize() || (index >= 0 && m_addedMediaSources[index] != localPath))
            index = m_addedMediaSources.Find(localPath);
        if (index >= 0 && !m_addedMediaTargets[index].IsEmpty()) {
            *target = m_addedMediaTargets[index];
            return true;
        }
    }
    std::string read;
    const unsigned char* data = nullptr;
    size_t size = 0;
    const auto provided = m_providedMedia.find(localPath.Std());
    if (provided != m_providedMedia.end()) {
        data = provided->second.first;
        size = provided->second.second;
    } else {
        if (!MkReadFile(localPath, &read)) return false;
        data = reinterpret_cast<const unsigned char*>(read.data());
        size = read.size();
    }
    if (!data || size == 0) return false;
    const MkString internal = ToInternal(localPath);
    const int dot = internal.Find(L'.', internal.Length() - 1, false);
    const MkString extension = dot >= 0 ? internal.Mid(dot + 1) : MkString();
    MkString storedExtension = lower(extension);
    const int kind = storedExtension == MkString(L"avi") ? 1 : 0;
    if (storedExtension == MkString(L"jpg")) storedExtension = L"jpeg";
    if (storedExtension != MkString(L"jpeg") && storedExtension != MkString(L"png") &&
        storedExtension != MkString(L"avi"))
        return false;

    // Parts added or deleted by other means since the listing: list again.
    if (!m_mediaListed || GetNumFiles() != m_mediaListedCount) {
        MkStringArray media;
        if (!FindFiles(m_rootFolder + MkString(GetPathSeparator()) + L"media", true, &media)) return false;
        for (std::set<long long>& taken : m_mediaTaken) taken.clear();
        m_mediaFree[0] = m_mediaFree[1] = 1;
        for (int i = 0; i < media.GetSize(); ++i)
            for (int k = 0; k < 2; ++k) takenNumbers(media[i].Std(), MEDIA_KINDS[k], &m_mediaTaken[k]);
        m_mediaListed = true;
        m_mediaListedCount = GetNumFiles();
    }
    const int number = firstFreeNumber(m_mediaTaken[kind], &m_mediaFree[kind]);
    if (number < 0) return false;
    const MkString name = MkString(MEDIA_KINDS[kind]) + MkString(number) + L"." + storedExtension;
    if (!WriteDataRaw(m_mediaFolder + name, data, size, false)) return false;
    for (int k = 0; k < 2; ++k) takenNumbers(name.Std(), MEDIA_KINDS[k], &m_mediaTaken[k]);
    const bool registered = AddContentToContentTypesXml(storedExtension, OXML_CT_EXTENSION);
    m_mediaListedCount = GetNumFiles();
    if (!registered) return false;
    *target = (m_rootFolder == MkString(WORD_ROOT_FOLDER) ? MkString(L"media/") : MkString(L"../media/")) + name;
    // Only a stored file is remembered: a failed write must not hand out its target later.
    m_mediaSourceIndex[localPath.Std()] = m_addedMediaSources.GetSize();
    m_addedMediaSources.AddGrow(localPath);
    m_addedMediaTargets.AddGrow(*target);
    return true;
}

void MkOpenXMLArchive::ProvideMedia(const MkString& name, const unsigned char* data, size_t size) {
    m_providedMedia[name.Std()] = std::make_pair(data, size);
}

bool MkOpenXMLArchive::HasMediaSource(const MkString& localPath) const {
    return m_providedMedia.count(localPath.Std()) != 0 || lfw::FileSystem::fileExists(lfw::String(localPath.Std()));
}

MkString MkOpenXMLArchive::GetNextFileName(const MkString& templatePath) {
    MkString path = ToInternal(templatePath);
    path.Replace(MkString(L".."), m_rootFolder);
    const int sep = path.Find(GetPathSeparator(), path.Length() - 1, false);
    if (sep < 0) return MkString();
    const MkString folder = path.Left(sep);
    const MkString fileName = path.Mid(sep + 1);
    const int dot = fileName.Find(L'.');
    const MkString stem = dot >= 0 ? fileName.Left(dot) : fileName;
    const MkString extension = dot >= 0 ? fileName.Mid(dot + 1) : MkString();
    int digit = stem.FindFirstNumber();
    const MkString base = digit >= 0 ? stem.Left(digit) : stem;

    MkStringArray files;
    if (!FindFiles(folder, true, &files)) return MkString();
    long long largest = 0;
    for (int i = 0; i < files.GetSize(); ++i) {
        const MkString file = ToInternal(files[i]);
        const int last = file.Find(GetPathSeparator(), file.Length() - 1, false);
        MkString name = file.Mid(last + 1);
        const int nameDot = name.Find(L'.');
        if (nameDot >= 0) name = name.Left(nameDot);
        const int number = name.Mid(base.Length()).AsInt(0);
        if (number > largest) largest = number;
    }
    if (largest >= INT_MAX) return MkString();
    MkString result = folder + MkString(GetPathSeparator()) + base + MkString(static_cast<int>(largest + 1));
    if (!extension.IsEmpty()) result += L"." + extension;
    return result;
}

MkString MkOpenXMLArchive::RenameAndSaveDocument(const MkXmlDocument& document, TargetType type, bool relativeTarget) {
    const TargetKind* kind = findTargetKind(type);
    if (!kind || !kind->folder || m_rootFolder.IsEmpty()) return MkString();
    const MkString sep(GetPathSeparator());
    MkString templatePath = m_rootFolder + sep + kind->folder + sep;
    if (kind->relsSubfolder) templatePath += L"_rels" + sep;
    templatePath += MkString(kind->name) + L"." + kind->extension;
    const MkString newPath = GetNextFileName(templatePath);
    if (newPath.IsEmpty() || !WriteXmlFile(newPath, &document, false)) return MkString();
    MkString result = newPath;
    if (relativeTarget) {
        result.Replace(m_rootFolder, MkString(L".."), 1);
        result = ToSlash(result);
    }
    // The zip layer lists new entries at once; no reopening is needed to see the part.
    return result;
}

// ---------------------------------------------------------------------------
// Relationships

bool MkOpenXMLArchive::GetRelsRelationFiles(const MkString& relsPath, TargetType type, MkStringArray* targets,
                                            MkStringArray* ids) {
    if (!targets) return false;
    targets->Clear();
    const TargetKind* kind = findTargetKind(type);
    const wchar_t* pattern = !kind ? nullptr
                             : m_rootFolder == MkString(WORD_ROOT_FOLDER) ? kind->wordPattern
                                                                          : kind->pptPattern;
    if (!pattern) return false;
    MkXmlDocument scratch;
    const MkXmlDocument* rels = ViewPart(relsPath, &scratch);
    if (!rels) return false;
    for (MkXmlElement r = rels->GetRootElement().GetFirstChildElement(); r; r = r.GetNextSiblingElement()) {
        if (r.GetName() != MkString(L"Relationship")) continue;
        const MkString target = r.GetAttributeString(MkString(L"Target"));
        if (!target.Contains(MkString(pattern))) continue;
        targets->AddGrow(target);
        if (ids) ids->AddGrow(r.GetAttributeString(MkString(L"Id")));
    }
    return !targets->IsEmpty();
}

MkString MkOpenXMLArchive::AddTargetInRelsFile(const MkString& relsPath, const MkString& relationType,
                                               const MkString& target, const MkString& targetMode,
                                               const MkString& id) {
    MkXmlDocument scratch;
    MkXmlDocument* rels = OpenPart(relsPath, &scratch);
    if (!rels) return MkString();
    MkString normalised = ToSlash(target);
    normalised.Replace(MkString(L" "), MkString(L"%20"));
    const MkXmlElement root = rels->GetRootElement();
    if (!root) return MkString();
    MkString newId = id;
    if (newId.IsEmpty()) {
        long long largest = 0;
        for (MkXmlElement r = root.GetFirstChildElement(); r; r = r.GetNextSiblingElement()) {
            if (r.GetName() != MkString(L"Relationship")) continue;
            if (r.GetAttributeString(MkString(L"Target")) == normalised &&
                r.GetAttributeString(MkString(L"Type")) == relationType)
                return r.GetAttributeString(MkString(L"Id"));
            const MkString rid = r.GetAttributeString(MkString(L"Id"));
            if (rid.Contains(MkString(L"rId"))) largest = std::max<long long>(largest, rid.Mid(3).AsInt(0));
        }
        if (largest >= INT_MAX) return MkString();
        newId = L"rId" + MkString(static_cast<int>(largest + 1));
    } else {
        // A given id must stay unique: two relationships of one id make the package invalid.
        for (MkXmlElement r = root.GetFirstChildElement(); r; r = r.GetNextSiblingElement()) {
            if (r.GetName() != MkString(L"Relationship") || r.GetAttributeString(MkString(L"Id")) != newId) continue;
            if (r.GetAttributeString(MkString(L"Target")) == normalised &&
                r.GetAttributeString(MkString(L"Type")) == relationType)
                return newId;
            REP_LOG_ERROR(lfw::String("Relationship id '%1' is already used in '%2'")
                              .arg(lfw::String(newId)).arg(lfw::String(ToSlash(relsPath))));
            return MkString();
        }
    }
    const MkXmlElement added = root.AddChildElement(MkString(L"Relationship"));
    if (!added) return MkString();
    added.AddAttributeString(MkString(L"Id"), newId);
    added.AddAttributeString(MkString(L"Type"), relationType);
    added.AddAttributeString(MkString(L"Target"), normalised);
    if (!targetMode.IsEmpty()) added.AddAttributeString(MkString(L"TargetMode"), targetMode);
    return SavePart(relsPath, rels) ? newId : MkString();
}

bool MkOpenXMLArchive::ReplaceTargetInRelsFile(const MkString& relsPath, const MkString& oldTarget,
                                               const MkString& newTarget) {
    MkXmlDocument scratch;
    MkXmlDocument* rels = OpenPart(relsPath, &scratch);
    if (!rels) return false;
    for (MkXmlElement r = rels->GetRootElement().GetFirstChildElement(); r; r = r.GetNextSiblingElement()) {
        if (r.GetName() == MkString(L"Relationship") && r.GetAttributeString(MkString(L"Target")) == oldTarget) {
            r.AddAttributeString(MkString(L"Target"), newTarget);
            break;
        }
    }
    return SavePart(relsPath, rels);
}

bool MkOpenXMLArchive::RemoveRelationFromRelsFile(const MkString& relsPath, const MkString& id) {
    MkXmlDocument scratch;
    MkXmlDocument* rels = OpenPart(relsPath, &scratch);
    if (!rels) return false;
    const MkXmlElement root = rels->GetRootElement();
    if (!root) return false;
    for (MkXmlElement r = root.GetFirstChildElement(); r; r = r.GetNextSiblingElement()) {
        if (r.GetName() == MkString(L"Relationship") && r.GetAttributeString(MkString(L"Id")) == id) {
            root.RemoveChildElement(r);
            break;
        }
    }
    return SavePart(relsPath, rels);
}

MkString MkOpenXMLArchive::GetIdOfTarget(const MkString& relsPath, const MkString& target) {
    MkXmlDocument scratch;
    const MkXmlDocument* rels = ViewPart(relsPath, &scratch);
    if (!rels) return MkString();
    for (MkXmlElement r = rels->GetRootElement().GetFirstChildElement(); r; r = r.GetNextSiblingElement())
        if (r.GetName() == MkString(L"Relationship") && r.GetAttributeString(MkString(L"Target")) == target)
            return r.GetAttributeString(MkString(L"Id"));
    return MkString();
}

MkString MkOpenXMLArchive::GetTargetOfId(const MkString& relsPath, const MkString& id) {
    MkXmlDocument scratch;
    const MkXmlDocument* rels = ViewPart(relsPath, &scratch);
    if (!rels) return MkString();
    for (MkXmlElement r = rels->GetRootElement().GetFirstChildElement(); r; r = r.GetNextSiblingElement())
        if (r.GetName() == MkString(L"Relationship") && r.GetAttributeString(MkString(L"Id")) == id)
            return r.GetAttributeString(MkString(L"Target"));
    return MkString();
}

// ---------------------------------------------------------------------------
// Paths

MkString MkOpenXMLArchive::ResolveTarget(const MkString& sourcePart, const MkString& target) {
    return ResolvePartTarget(sourcePart, target);
}

MkString MkOpenXMLArchive::TargetToPackagePath(const MkString& target) const {
    if (m_rootFolder.IsEmpty()) return MkString();
    const MkString sep(GetPathSeparator());
    const MkString source = target.StartsWith(MkString(L"..")) ? m_rootFolder + sep + L"x" + sep + L"x.xml"
                                                               : m_rootFolder + sep + L"x.xml";
    return ResolvePartTarget(source, target);
}

MkString MkOpenXMLArchive::ModelTargetToPackagePath(const MkString& target) const {
    if (m_rootFolder.IsEmpty()) return MkString();
    const MkString slashed = ToSlash(target);
    if (slashed.StartsWith(m_rootFolder + L"/") || slashed.StartsWith(L"/" + m_rootFolder + L"/"))
        return ResolvePartTarget(MkString(), slashed);
    return ResolvePartTarget(m_rootFolder + MkString(GetPathSeparator()) + L"x.xml", slashed);
}

// ---------------------------------------------------------------------------
// Clean-up

bool MkOpenXMLArchive::ResetContentDoc() {
    Close();
    if (!ReOpenFile()) return false;
    MkXmlDocument types;
    if (!ReadPart(MkString(CONTENT_TYPES_PART), &types)) return false;
    const MkXmlElement root = types.GetRootElement();
    bool changed = false;
    MkXmlElement e = root.GetFirstChildElement(MkString(L"Override"));
    while (e) {
        const MkXmlElement next = e.GetNextSiblingElement();
        MkString part = ToInternal(e.GetAttributeString(MkString(L"PartName")));
        part = part.Mid(1);
        if (!part.IsEmpty() && FindFile(part) < 0 && FindFile(PercentDecode(part)) < 0) {
            root.RemoveChildElement(e);
            changed = true;
        }
        e = next;
    }
    return !changed || WritePart(MkString(CONTENT_TYPES_PART), types);
}

bool MkOpenXMLArchive::DeleteObsoleteFiles() {
    m_obsoleteFiles.RemoveDuplicates();
    for (int i = 0; i < m_obsoleteFiles.GetSize(); ++i) {
        const MkString part = ToInternal(m_obsoleteFiles[i]);
        if (FindFile(part) >= 0 && !Delete(part)) {
            m_obsoleteFiles.Clear();
            return false;
        }
    }
    m_obsoleteFiles.Clear();
    ResetContentDoc();
    return true;
}
