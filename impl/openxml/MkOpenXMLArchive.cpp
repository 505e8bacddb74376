// Package parts, content types, relationships and media of an Office package.
#include "impl/openxml/MkOpenXMLArchive.h"

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
    if (!PxZipArchive::Open(path, mode)) return false;
    m_officeVersion = GetOfficeVersion();
    return true;
}

int MkOpenXMLArchive::GetOfficeVersion() { return m_officeVersion; }
bool MkOpenXMLArchive::AddContentToContentTypesXml(const MkString&, OXMLContentTypeTag) { return false; }
bool MkOpenXMLArchive::DoValueOfTagExistInContentTypes(const MkString&, const MkString&) { return false; }
bool MkOpenXMLArchive::AddMediaFileToArchive(const MkString&, MkString*) { return false; }
MkString MkOpenXMLArchive::GetNextFileName(const MkString&) { return MkString(); }
MkString MkOpenXMLArchive::RenameAndSaveDocument(const MkXmlDocument&, TargetType, bool) { return MkString(); }
bool MkOpenXMLArchive::GetRelsRelationFiles(const MkString&, TargetType, MkStringArray*, MkStringArray*) {
    return false;
}
MkString MkOpenXMLArchive::AddTargetInRelsFile(const MkString&, const MkString&, const MkString&, const MkString&,
                                               const MkString&) {
    return MkString();
}
bool MkOpenXMLArchive::ReplaceTargetInRelsFile(const MkString&, const MkString&, const MkString&) { return false; }
bool MkOpenXMLArchive::RemoveRelationFromRelsFile(const MkString&, const MkString&) { return false; }
MkString MkOpenXMLArchive::GetIdOfTarget(const MkString&, const MkString&) { return MkString(); }
MkString MkOpenXMLArchive::GetTargetOfId(const MkString&, const MkString&) { return MkString(); }
bool MkOpenXMLArchive::ResetContentDoc() { return false; }
bool MkOpenXMLArchive::DeleteObsoleteFiles() { return false; }
bool MkOpenXMLArchive::ReadPart(const MkString&, MkXmlDocument*) { return false; }
bool MkOpenXMLArchive::WritePart(const MkString&, const MkXmlDocument&) { return false; }
MkString MkOpenXMLArchive::TargetToPackagePath(const MkString&) const { return MkString(); }
