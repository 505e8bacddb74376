// 3D viewer plug-in controls, embedded models and the reference-id part.
#include "impl/openxml/MkOpenXMLPlugin.h"
#include "impl/openxml/MkOpenXMLArchive.h"

MkString MkOpenXMLPlugin::ResolveModelPath(const MkString& modelReference, const MkString&) { return modelReference; }
bool MkOpenXMLPlugin::IsEmbeddableModelFile(const MkString&) { return false; }

bool MkOpenXMLArchive::SetMdlxPathForPlugin(MkXmlDocument*, const MkString&) { return false; }
int MkOpenXMLArchive::ReplacePathToMdlxFileInPlugins(const MkString&, const MkString&) { return 0; }
int MkOpenXMLArchive::GetReferredMdlxFiles(MkStringArray*, bool) { return 0; }
bool MkOpenXMLArchive::UpdateMdlxPathReference(MkString*, const MkString&, bool) { return false; }
bool MkOpenXMLArchive::EmbedMdlxInArchive(const MkString&, MkString*) { return false; }
bool MkOpenXMLArchive::EmbedAllMdlxFilesInArchive(bool) { return false; }
MkString MkOpenXMLArchive::AddFileToPresentationRels(const MkString&) { return MkString(); }
bool MkOpenXMLArchive::AddActiveXPluginFile(const MkString&, const MkString&, const MkString&, const MkString&) {
    return false;
}
void MkOpenXMLArchive::ConvertFromOldPlugin() {}
