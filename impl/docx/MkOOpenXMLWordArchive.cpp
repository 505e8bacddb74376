#include "impl/docx/MkOOpenXMLWordArchive.h"

namespace kiv {
namespace rep {

namespace {

MkString internalPath(MkString path) {
    path.Replace(L"/", L"\\");
    return path;
}

MkString slashPath(MkString path) {
    path.Replace(L"\\", L"/");
    return path;
}

// The folder of a path ("/" or "\" separators), without the trailing separator.
MkString folderOf(const MkString& path) {
    const MkString slashed = slashPath(path);
    const int last = slashed.Find(L'/', slashed.Length() - 1, false);
    return last >= 0 ? slashed.Left(last) : MkString();
}

MkString fileNameOf(const MkString& path) {
    const MkString slashed = slashPath(path);
    const int last = slashed.Find(L'/', slashed.Length() - 1, false);
    return last >= 0 ? slashed.Mid(last + 1) : slashed;
}

MkString relationId(const MkString& base, const wchar_t* suffix = L"") {
    MkString id;
    id.MakeFormWide(L"rId%ls%ls", ~base, suffix);
    return id;
}

bool isExternal(const MkXmlElement& relationship) {
    return relationship.GetAttributeString(L"TargetMode") == MkString(L"External");
}

} // namespace

// The main document part for one operation: the batch's, or read now and
// written back by Write().
class MkOpenXMLWordArchive::DocumentAccess {
public:
    explicit DocumentAccess(MkOpenXMLWordArchive& archive) : m_archive(archive) {
        if (archive.m_held) m_document = archive.m_held.get();
        else if (archive.ReadDocument(&m_local)) m_document = &m_local;
    }
    explicit operator bool() const { return m_document != nullptr; }
    MkOpenXMLWordDocument& operator*() const { return *m_document; }
    bool Write() const { return m_archive.m_held || m_archive.WriteDocument(*m_document); }
    // The batch's index of controls (built when missing); null outside a batch.
    const MkWordControlIndex* Index() const {
        if (!m_archive.m_held) return nullptr;
        if (!m_archive.m_index) m_archive.m_index.reset(new MkWordControlIndex(*m_archive.m_held));
        return m_archive.m_index.get();
    }
    // Controls change: the index must be built again.
    void Stale() const { m_archive.m_index.reset(); }
    // Editing the content of these controls removes the controls inside them.
    void EditingContentOf(const MkString& tagName) const {
        const MkWordControlIndex* index = Index();
        if (!index) return;
        for (const MkXmlElement& sdt : index->Find(tagName)) {
            MkXmlElementList inner;
            MkOpenXMLDocument::FindAllElements(sdt, "w:sdt", &inner, true, true);
            if (!inner.empty()) {
                Stale();
                return;
            }
        }
    }

private:
    MkOpenXMLWordArchive& m_archive;
    MkOpenXMLWordDocument m_local;
    MkOpenXMLWordDocument* m_document = nullptr;
};

MkOpenXMLWordArchive::MkOpenXMLWordArchive() {
    SetPackageFolders(MkString(WORD_ROOT_FOLDER));
    m_documentPath.MakeFormWide(L"word%lsdocument.xml", ~MkString(GetPathSeparator()));
}

MkOpenXMLWordArchive::~MkOpenXMLWordArchive() = default;

bool MkOpenXMLWordArchive::Open(const MkString& path, PxZipAccessMode mode) {
    if (path != GetFilename()) {
        m_addedMediaSources.Clear();
        m_addedMediaTargets.Clear();
        m_obsoleteFiles.Clear();
    }
    return MkOpenXMLArchive::Open(path, mode);
}

bool MkOpenXMLWordArchive::ReadDocument(MkOpenXMLWordDocument* document) {
    return ReadPart(m_documentPath, document);
}

bool MkOpenXMLWordArchive::WriteDocument(const MkOpenXMLWordDocument& document) {
    // Word documents are written without indentation: white space between elements
    // means nothing to Word, and a large report would be mostly indentation.
    const std::string text = document.PrintToString(false);
    return WriteDataRaw(m_documentPath, text.data(), text.size(), true);
}

bool MkOpenXMLWordArchive::BeginBatch() {
    std::unique_ptr<MkOpenXMLWordDocument> document(new MkOpenXMLWordDocument);
    if (!ReadDocument(document.get())) return false;
    m_index.reset();
    m_held = std::move(document);
    return true;
}

bool MkOpenXMLWordArchive::EndBatch() {
    if (!m_held) return true;
    std::unique_ptr<MkOpenXMLWordDocument> document = std::move(m_held);
    m_index.reset();
    return WriteDocument(*document);
}

// ---------------------------------------------------------------- tags and groups

void MkOpenXMLWordArchive::GetDocumentContent(MkWordDocumentContent& content) {
    if (IsClosed()) return;
    const DocumentAccess document(*this);
    if (document) (*document).GetDocumentContent(content);
}

float MkOpenXMLWordArchive::GetRatio(SitTypeTag kind, const MkString& tagName, int occurrence) {
    const DocumentAccess document(*this);
    if (!document) return 0.0f;
    return (*document).GetRatio(kind, tagName, occurrence);
}

bool MkOpenXMLWordArchive::ExpandGroup(const MkIntArray& snapshotIndices, const MkString& tagName) {
    const DocumentAccess document(*this);
    if (!document) return false;
    const bool expanded = (*document).ExpandGroup(snapshotIndices, tagName);
    document.Stale();
    if (!document.Write()) return false;
    return expanded;
}

// ---------------------------------------------------------------- content

bool MkOpenXMLWordArchive::SetTitle(const MkString& tagName, const MkString& text) {
    const DocumentAccess document(*this);
    if (!document) return false;
    document.EditingContentOf(tagName);
    (*document).SetTitle(tagName, text, document.Index());
    return document.Write();
}

bool MkOpenXMLWordArchive::SetText(const MkString& tagName, const MkFormattedTextArray& runs) {
    const DocumentAccess document(*this);
    if (!document) return false;
    document.EditingContentOf(tagName);
    (*document).SetText(tagName, runs, document.Index());
    return document.Write();
}

bool MkOpenXMLWordArchive::SetTable(const MkString& tagName, const Table& table) {
    const DocumentAccess document(*this);
    if (!document) return false;
    document.EditingContentOf(tagName);
    (*document).SetTable(tagName, table, document.Index());
    return document.Write();
}

bool MkOpenXMLWordArchive::SetAllMacros(const MkStringArray& names, const MkOArray<MkFormattedTextArray>& texts) {
    const DocumentAccess document(*this);
    if (!document) return false;
    for (int i = 0; i < names.GetSize(); ++i) document.EditingContentOf(names[i]);
    if (!(*document).SetAllMacros(names, texts, document.Index())) return false;
    return document.Write();
}

bool MkOpenXMLWordArchive::SetImage(const MkString& tagName, const MkString& imagePath, int imageWidth,
                                    int imageHeight, bool inMdlxControl, const MkString& newTagName,
                                    const MkString& hyperlink) {
    const DocumentAccess access(*this);
    if (!access) return false;
    MkOpenXMLWordDocument& document = *access;
    MkString idBase = tagName;
    MkStringArray released;
    if (!inMdlxControl) {
        if (!document.SetImage(tagName, imageWidth, imageHeight, hyperlink, &released, access.Index())) return false;
    } else {
        if (imageWidth <= 0 || imageHeight <= 0) return false;
        document.SetImageInMdlx(tagName, newTagName, imageWidth, imageHeight, hyperlink, &released);
        access.Stale();
        idBase = newTagName;
    }
    if (!access.Write()) return false;
    // The placeholder picture, or the viewer control and its preview, lose their last user.
    if (!released.IsEmpty() && !ReleaseRelationships(document, released)) return false;

    const MkString imageId = relationId(idBase);
    if (!GetTargetOfId(m_mainRelsPath, imageId).IsEmpty()) return true;
    MkString target;
    if (!AddMediaFileToArchive(imagePath, &target)) return false;

    MkXmlDocument rels;
    if (!ReadPart(m_mainRelsPath, &rels)) return false;
    const MkXmlElement root = rels.GetRootElement();
    if (!root) return false;
    MkXmlElement image = root.AddChildElement(L"Relationship");
    image.AddAttributeString(L"Id", imageId);
    image.AddAttributeString(L"Type", MkString(REL_TYPE_IMAGE));
    image.AddAttributeString(L"Target", target);
    if (!hyperlink.IsBlank()) {
        MkXmlElement link = root.AddChildElement(L"Relationship");
        link.AddAttributeString(L"Id", relationId(idBase, L"_C"));
        link.AddAttributeString(L"Type", MkString(REL_TYPE_HYPERLINK));
        link.AddAttributeString(L"Target", hyperlink);
        link.AddAttributeString(L"TargetMode", L"External");
    }
    return WritePart(m_mainRelsPath, rels);
}

bool MkOpenXMLWordArchive::SetMDLX(const MkString& tagName, const MkString& modelPath, const MkString& previewPath) {
    const DocumentAccess access(*this);
    if (!access) return false;
    MkOpenXMLWordDocument& document = *access;
    MkString oldControlId, newControlId, previewId;
    if (!document.SetMDLX(tagName, &oldControlId, &newControlId, &previewId)) return false;

    if (!previewPath.IsEmpty() && !previewId.IsEmpty()) {
        const MkString oldTarget = GetTargetOfId(m_mainRelsPath, previewId);
        if (oldTarget.IsEmpty()) return false;
        MkString newTarget;
        if (!AddMediaFileToArchive(previewPath, &newTarget)) return false;
        if (document.CountRelationReferences(previewId) > 1) {
            // Other controls (copies of a group) share the preview: this one gets its own.
            const MkString id = AddTargetInRelsFile(m_mainRelsPath, MkString(REL_TYPE_IMAGE), newTarget);
            if (id.IsEmpty() || !document.SetPreviewRelationId(tagName, id)) return false;
        } else {
            MkXmlDocument rels;
            if (!ReadPart(m_mainRelsPath, &rels)) return false;
            bool stillUsed = false;
            for (MkXmlElement r = rels.GetRootElement().GetFirstChildElement(); r; r = r.GetNextSiblingElement()) {
                if (r.GetAttributeString(L"Id") == previewId) r.AddAttributeString(L"Target", newTarget);
                else if (r.GetAttributeString(L"Target") == oldTarget && !isExternal(r)) stillUsed = true;
            }
            if (!WritePart(m_mainRelsPath, rels)) return false;
            if (!stillUsed) {
                const MkString oldPart = ResolveTarget(m_documentPath, oldTarget);
                if (!oldPart.IsEmpty() && FindFile(oldPart) >= 0) {
                    DeletePartWithRelationships(oldPart);
                    ResetContentDoc();
                }
            }
        }
    }
    if (!access.Write()) return false;

    MkString modelReference = internalPath(modelPath);
    if (!GetFilename().IsEmpty() && folderOf(modelPath) == folderOf(GetFilename()))
        modelReference = fileNameOf(modelPath);
    if (!AddActiveXPluginFile(m_mainRelsPath, modelReference, oldControlId, newControlId)) return false;
    // The control now has its own part; the part it shared goes with its last user.
    MkStringArray released;
    released.AddGrow(oldControlId);
    return ReleaseRelationships(document, released);
}

bool MkOpenXMLWordArchive::SetChart(const MkString& tagName, const MkChartData& data) {
    const DocumentAccess access(*this);
    if (!access) return false;
    MkOpenXMLWordDocument& document = *access;
    MkStringArray ids;
    document.GetChartRelationIds(tagName, &ids);
    bool ok = true;
    for (int i = 0; i < ids.GetSize(); ++i) {
        const MkString target = GetTargetOfId(m_mainRelsPath, ids[i]);
        if (target.IsEmpty()) {
            ok = false;
            continue;
        }
        const MkString chartPart = m_rootFolder + L"/" + target;
        if (UpdateChart(chartPart, data)) {
            Close();
            ReOpenFile();
        } else {
            ok = false;  // the chart keeps its template content
        }
    }
    return ok;
}

bool MkOpenXMLWordArchive::SyncCharts() {
    const DocumentAccess access(*this);
    if (!access) return false;
    MkOpenXMLWordDocument& document = *access;
    MkXmlElementList charts;
    MkOpenXMLDocument::FindAllElements(document.GetBody(), "c:chart", &charts, true, true);
    MkStringArray seen;
    bool changed = false;
    const MkString sep(GetPathSeparator());
    for (const MkXmlElement& chart : charts) {
        const MkString id = chart.GetAttributeString(L"r:id");
        if (seen.Find(id) < 0) {
            seen.AddGrow(id);
            continue;
        }
        const MkString target = GetTargetOfId(m_mainRelsPath, id);
        if (target.IsEmpty()) return false;
        const MkString chartPart = internalPath(m_rootFolder + sep + target);
        const MkString newPart = GetNextFileName(chartPart);
        if (newPart.IsEmpty()) return false;
        MkXmlDocument part;
        if (!ReadPart(chartPart, &part) || !WritePart(newPart, part)) return false;
        MkString relative = slashPath(chartPart);
        relative.Replace(m_rootFolder, L"..", 1);
        if (!DuplicateChartDocuments(relative, false)) return false;
        Close();
        if (!ReOpenFile()) return false;
        MkString newTarget = newPart.Mid(m_rootFolder.Length() + 1);
        // The new part's content type, also when its relationships part got another number.
        if (!AddContentToContentTypesXml(L"/" + slashPath(newPart), OXML_CT_CHART)) return false;
        const MkString newId = AddTargetInRelsFile(m_mainRelsPath, MkString(REL_TYPE_CHART), newTarget);
        if (newId.IsEmpty()) return false;
        chart.AddAttributeString(L"r:id", newId);
        changed = true;
    }
    return !changed || access.Write();
}

bool MkOpenXMLWordArchive::DeleteObsoleteFiles() {
    Close();
    if (!ReOpenFile()) return false;
    for (int i = 0; i < m_obsoleteFiles.GetSize(); ++i) {
        const MkString entry = slashPath(m_obsoleteFiles[i]);
        if (!entry.Contains(L"charts/chart") || FindFile(internalPath(entry)) < 0) continue;
        const MkString target = entry.Mid(m_rootFolder.Length() + 1);
        if (!RemoveRelationFromRelsFile(m_mainRelsPath, GetIdOfTarget(m_mainRelsPath, target))) return false;
    }
    return MkOpenXMLArchive::DeleteObsoleteFiles();
}

// ---------------------------------------------------------------- clean-up

void MkOpenXMLWordArchive::DeletePartWithRelationships(const MkString& part) {
    const MkString internal = internalPath(part);
    const int sep = internal.Find(L'\\', internal.Length() - 1, false);
    const MkString relsPath = (sep >= 0 ? internal.Left(sep + 1) : MkString()) + L"_rels\\" +
                              (sep >= 0 ? internal.Mid(sep + 1) : internal) + L".rels";
    MkXmlDocument rels;
    if (ReadPart(relsPath, &rels)) {
        for (MkXmlElement r = rels.GetRootElement().GetFirstChildElement(); r; r = r.GetNextSiblingElement()) {
            if (isExternal(r)) continue;
            const MkString used = ResolveTarget(internal, r.GetAttributeString(L"Target"));
            if (!used.IsEmpty() && FindFile(used) >= 0) Delete(used);
        }
        Delete(relsPath);
    }
    Delete(internal);
    // A media file handed out before must not be handed out again.
    for (int i = m_addedMediaTargets.GetSize() - 1; i >= 0; --i) {
        if (ResolveTarget(m_documentPath, m_addedMediaTargets[i]) != internal) continue;
        m_addedMediaTargets.Delete(i);
        if (i < m_addedMediaSources.GetSize()) m_addedMediaSources.Delete(i);
    }
}

bool MkOpenXMLWordArchive::ReleaseRelationships(const MkOpenXMLWordDocument& document, const MkStringArray& ids) {
    MkStringArray referenced;
    document.GetReferencedRelationIds(&referenced);
    MkXmlDocument rels;
    if (!ReadPart(m_mainRelsPath, &rels)) return false;
    const MkXmlElement root = rels.GetRootElement();
    MkStringArray removedTargets;
    bool removed = false;
    for (MkXmlElement r = root.GetFirstChildElement(); r;) {
        const MkXmlElement next = r.GetNextSiblingElement();
        const MkString id = r.GetAttributeString(L"Id");
        if (ids.Find(id) >= 0 && referenced.Find(id) < 0) {
            if (!isExternal(r)) removedTargets.AddUniqueGrow(r.GetAttributeString(L"Target"));
            root.RemoveChildElement(r);
            removed = true;
        }
        r = next;
    }
    if (!removed) return true;
    if (!WritePart(m_mainRelsPath, rels)) return false;
    bool deleted = false;
    for (int i = 0; i < removedTargets.GetSize(); ++i) {
        bool stillUsed = false;
        for (MkXmlElement r = root.GetFirstChildElement(); r && !stillUsed; r = r.GetNextSiblingElement())
            stillUsed = !isExternal(r) && r.GetAttributeString(L"Target") == removedTargets[i];
        if (stillUsed) continue;
        const MkString part = ResolveTarget(m_documentPath, removedTargets[i]);
        if (part.IsEmpty() || FindFile(part) < 0) continue;
        DeletePartWithRelationships(part);
        deleted = true;
    }
    return !deleted || ResetContentDoc();
}

} // namespace rep
} // namespace kiv
