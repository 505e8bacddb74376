#include "impl/docx/MkOOpenXMLWordArchive.h"
#include "impl/openxml/MkOpenXMLPaths.h"
#include <cstdlib>

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
    // Whether editing the content of these controls removes controls inside them
    // (the index must then be built again after the edit).
    bool HoldsControls(const MkString& tagName) const {
        const MkWordControlIndex* index = Index();
        if (!index) return false;
        for (const MkXmlElement& sdt : index->Find(tagName)) {
            MkXmlElementList inner;
            MkOpenXMLDocument::FindAllElements(sdt, "w:sdt", &inner, true, true);
            if (!inner.empty()) return true;
        }
        return false;
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

bool MkOpenXMLWordArchive::ReadDocument(MkOpenXMLWordDocument* document, MkString* problem) {
    const MkString part = slashPath(m_documentPath);
    auto fail = [&](const MkString& why) {
        if (problem) *problem = why;
        return false;
    };
    if (!document || IsClosed()) return fail(L"The package cannot be read");
    if (FindFile(m_documentPath) < 0) return fail(L"The package has no document part " + part);
    size_t size = 0;
    unsigned char* data = ReadDataRaw(m_documentPath, &size);
    if (!data) return fail(L"The document part " + part + L" cannot be read");
    std::string text(reinterpret_cast<const char*>(data), size);
    free(data);
    document->KeepWhiteSpaceInText();
    // Content of the body that nothing fills or renumbers (no control, bookmark,
    // comment, picture id or relationship) stays text: a long table costs its size.
    static const std::vector<std::string> markers = {"<w:sdt",     "<w:control", "<wp:docPr", "<w:bookmark", "<w:comment",
                                                     " r:",        "\tr:",        "\nr:",      "\rr:"};
    document->KeepChildrenAsText("w:body", markers, 1024);
    if (!document->ParseOwnedText(&text, XmlBudget())) {
        MkString why;
        if (document->RefusedCost() > 0)
            why.MakeForm("The part '%ls' holds more XML than the report has memory left for (%llu bytes for more than "
                         "%llu elements); it is not read",
                         ~part, static_cast<unsigned long long>(document->RefusedCost()),
                         static_cast<unsigned long long>(document->Elements()));
        else
            why.MakeForm("The document part %ls is not well-formed XML (%s)", ~part, document->ErrorDesc());
        return fail(why);
    }
    return true;
}

bool MkOpenXMLWordArchive::WriteDocument(const MkOpenXMLWordDocument& document) {
    // Word documents are written without indentation: white space between elements
    // means nothing to Word, and a large report would be mostly indentation.
    const std::string text = document.PrintToString(false);
    return WriteDataRaw(m_documentPath, text.data(), text.size(), true);
}

bool MkOpenXMLWordArchive::BeginBatch(MkString* problem) {
    std::unique_ptr<MkOpenXMLWordDocument> document(new MkOpenXMLWordDocument);
    if (!ReadDocument(document.get(), problem)) return false;
    std::unique_ptr<MkXmlDocument> rels(new MkXmlDocument);
    if (!MkOpenXMLArchive::ReadPart(m_mainRelsPath, rels.get())) rels.reset();
    m_index.reset();
    m_held = std::move(document);
    m_heldRels = std::move(rels);
    m_relIdsKnown = false;
    m_released.Clear();
    return true;
}

bool MkOpenXMLWordArchive::EndBatch() {
    if (!m_held) return true;
    std::unique_ptr<MkOpenXMLWordDocument> document = std::move(m_held);
    m_index.reset();
    const MkStringArray released = m_released;
    m_released.Clear();
    // Relationships are let go of while the parts are still held, then both are written.
    bool ok = released.IsEmpty() || ReleaseRelationships(*document, released);
    std::unique_ptr<MkXmlDocument> rels = std::move(m_heldRels);
    m_relIdsKnown = false;
    if (rels && !MkOpenXMLArchive::WritePart(m_mainRelsPath, *rels)) ok = false;
    return WriteDocument(*document) && ok;
}

MkXmlDocument* MkOpenXMLWordArchive::HeldRelationships(const MkString& path) const {
    return m_heldRels && MkOpenXMLPaths::ToInternal(path) == m_mainRelsPath ? m_heldRels.get() : nullptr;
}

bool MkOpenXMLWordArchive::ReadPart(const MkString& path, MkXmlDocument* document) {
    const MkXmlDocument* held = HeldRelationships(path);
    if (!held) return MkOpenXMLArchive::ReadPart(path, document);
    if (!document) return false;
    if (document != held) *document = *held;
    return true;
}

bool MkOpenXMLWordArchive::WritePart(const MkString& path, const MkXmlDocument& document) {
    MkXmlDocument* held = HeldRelationships(path);
    if (!held) return MkOpenXMLArchive::WritePart(path, document);
    if (&document != held) *held = document;
    m_relIdsKnown = false;
    return true;
}

MkXmlDocument* MkOpenXMLWordArchive::OpenPart(const MkString& path, MkXmlDocument* scratch) {
    MkXmlDocument* held = HeldRelationships(path);
    return held ? held : MkOpenXMLArchive::OpenPart(path, scratch);
}

bool MkOpenXMLWordArchive::SavePart(const MkString& path, MkXmlDocument* document) {
    return document && WritePart(path, *document);
}

const MkXmlDocument* MkOpenXMLWordArchive::ViewPart(const MkString& path, MkXmlDocument* scratch) {
    const MkXmlDocument* held = HeldRelationships(path);
    return held ? held : MkOpenXMLArchive::ViewPart(path, scratch);
}

bool MkOpenXMLWordArchive::HasRelationship(const MkString& id) {
    if (!m_heldRels) return !GetTargetOfId(m_mainRelsPath, id).IsEmpty();
    if (!m_relIdsKnown) {
        m_relIds.clear();
        for (MkXmlElement r = m_heldRels->GetRootElement().GetFirstChildElement(); r; r = r.GetNextSiblingElement())
            m_relIds.insert(r.GetAttributeString(L"Id").Std());
        m_relIdsKnown = true;
    }
    return m_relIds.count(id.Std()) != 0;
}

bool MkOpenXMLWordArchive::Release(const MkOpenXMLWordDocument& document, const MkStringArray& ids) {
    if (ids.IsEmpty()) return true;
    if (!m_held) return ReleaseRelationships(document, ids);
    for (int i = 0; i < ids.GetSize(); ++i) m_released.AddUniqueGrow(ids[i]);
    return true;
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
    const bool nested = document.HoldsControls(tagName);
    (*document).SetTitle(tagName, text, document.Index());
    if (nested) document.Stale();
    return document.Write();
}

bool MkOpenXMLWordArchive::SetText(const MkString& tagName, const MkFormattedTextArray& runs) {
    const DocumentAccess document(*this);
    if (!document) return false;
    const bool nested = document.HoldsControls(tagName);
    (*document).SetText(tagName, runs, document.Index());
    if (nested) document.Stale();
    return document.Write();
}

bool MkOpenXMLWordArchive::SetTable(const MkString& tagName, const Table& table) {
    const DocumentAccess document(*this);
    if (!document) return false;
    const bool nested = document.HoldsControls(tagName);
    (*document).SetTable(tagName, table, document.Index());
    if (nested) document.Stale();
    return document.Write();
}

bool MkOpenXMLWordArchive::SetAllMacros(const MkStringArray& names, const MkOArray<MkFormattedTextArray>& texts) {
    const DocumentAccess document(*this);
    if (!document) return false;
    bool nested = false;
    for (int i = 0; i < names.GetSize() && !nested; ++i) nested = document.HoldsControls(names[i]);
    if (!(*document).SetAllMacros(names, texts, document.Index())) return false;
    if (nested) document.Stale();
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
    if (!Release(document, released)) return false;

    const MkString imageId = relationId(idBase);
    if (HasRelationship(imageId)) return true;
    MkString target;
    if (!AddMediaFileToArchive(imagePath, &target)) return false;

    MkXmlDocument scratch;
    MkXmlDocument* rels = OpenPart(m_mainRelsPath, &scratch);
    const MkXmlElement root = rels ? rels->GetRootElement() : MkXmlElement();
    if (!root) return false;
    MkXmlElement image = root.AddChildElement(L"Relationship");
    image.AddAttributeString(L"Id", imageId);
    image.AddAttributeString(L"Type", MkString(REL_TYPE_IMAGE));
    image.AddAttributeString(L"Target", target);
    const MkString linkId = relationId(idBase, L"_C");
    if (!hyperlink.IsBlank()) {
        MkXmlElement link = root.AddChildElement(L"Relationship");
        link.AddAttributeString(L"Id", linkId);
        link.AddAttributeString(L"Type", MkString(REL_TYPE_HYPERLINK));
        link.AddAttributeString(L"Target", hyperlink);
        link.AddAttributeString(L"TargetMode", L"External");
    }
    if (rels != m_heldRels.get()) return WritePart(m_mainRelsPath, *rels);
    // The held part changed in place: its ids stay known.
    if (m_relIdsKnown) {
        m_relIds.insert(imageId.Std());
        if (!hyperlink.IsBlank()) m_relIds.insert(linkId.Std());
    }
    return true;
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
    return Release(document, released);
}

bool MkOpenXMLWordArchive::SetChart(const MkString& tagName, const MkChartData& data, MkString* why) {
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
        if (!UpdateChart(chartPart, data, why)) return false;  // the chart keeps its template content
        Close();
        ReOpenFile();
    }
    return ok;
}

void MkOpenXMLWordArchive::GetChartParts(const MkString& tagName, MkStringArray* parts) {
    const DocumentAccess access(*this);
    if (!access) return;
    MkStringArray ids;
    (*access).GetChartRelationIds(tagName, &ids);
    for (int i = 0; i < ids.GetSize(); ++i) {
        const MkString target = GetTargetOfId(m_mainRelsPath, ids[i]);
        if (!target.IsEmpty()) parts->AddGrow(m_rootFolder + L"/" + target);
    }
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
