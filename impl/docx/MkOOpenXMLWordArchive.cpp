#include "impl/docx/MkOOpenXMLWordArchive.h"

namespace kiv {
namespace rep {

namespace {

MkString relationId(const MkString& base, const wchar_t* suffix = L"") {
    MkString id;
    id.MakeFormWide(L"rId%ls%ls", ~base, suffix);
    return id;
}

// The folder of a path ("/" or "\" separators), without the trailing separator.
MkString folderOf(MkString path) {
    path.Replace(L"\\", L"/");
    const int last = path.Find(L'/', path.Length() - 1, false);
    return last >= 0 ? path.Left(last) : MkString();
}

} // namespace

MkOpenXMLWordArchive::MkOpenXMLWordArchive() = default;
MkOpenXMLWordArchive::~MkOpenXMLWordArchive() = default;

bool MkOpenXMLWordArchive::Open(const MkString& path) {
    m_document = nullptr;
    m_index.reset();
    if (!MkOpenXMLPackageEditor::Open(path)) {
        if (m_package.IsOpen()) Fail(MkString(L"The package has no document part word/document.xml"));
        return false;
    }
    const MkString part = m_main->Name();
    const std::string* stored = m_main->Bytes();
    if (!stored) return Fail(L"The document part " + part + L" cannot be read");
    std::string text = *stored;
    std::unique_ptr<MkOpenXMLWordDocument> document(new MkOpenXMLWordDocument);
    document->KeepWhiteSpaceInText();
    // Content of the body that nothing fills or renumbers (no control, bookmark,
    // comment, picture id or relationship) stays text: a long table costs its size.
    static const std::vector<std::string> markers = {"<w:sdt",     "<w:control", "<wp:docPr", "<w:bookmark", "<w:comment",
                                                     " r:",        "\tr:",        "\nr:",      "\rr:"};
    document->KeepChildrenAsText("w:body", markers, 1024);
    if (!document->ParseOwnedText(&text)) {
        MkString why;
        why.MakeForm("The document part %ls is not well-formed XML (%s)", ~part, document->ErrorDesc());
        m_main = nullptr;
        return Fail(why);
    }
    m_document = document.get();
    m_main->SetXml(std::move(document));
    // White space between elements means nothing to Word, and a large report would be mostly indentation.
    m_main->PrintCompact();
    return true;
}

const MkWordControlIndex* MkOpenXMLWordArchive::Index() {
    if (!m_index && m_document) m_index.reset(new MkWordControlIndex(*m_document));
    return m_index.get();
}

bool MkOpenXMLWordArchive::HoldsControls(const MkString& tagName) {
    const MkWordControlIndex* index = Index();
    if (!index) return false;
    for (const MkXmlElement& sdt : index->Find(tagName)) {
        MkXmlElementList inner;
        MkOpenXMLDocument::FindAllElements(sdt, "w:sdt", &inner, true, true);
        if (!inner.empty()) return true;
    }
    return false;
}

// ---------------------------------------------------------------- tags and groups

void MkOpenXMLWordArchive::GetDocumentContent(MkWordDocumentContent& content) const {
    if (m_document) m_document->GetDocumentContent(content);
}

float MkOpenXMLWordArchive::GetRatio(SitTypeTag kind, const MkString& tagName, int occurrence) const {
    return m_document ? m_document->GetRatio(kind, tagName, occurrence) : 0.0f;
}

bool MkOpenXMLWordArchive::ExpandGroup(const MkIntArray& snapshotIndices, const MkString& tagName) {
    if (!m_document) return false;
    m_index.reset();
    return m_document->ExpandGroup(snapshotIndices, tagName);
}

// ---------------------------------------------------------------- content

bool MkOpenXMLWordArchive::SetTitle(const MkString& tagName, const MkString& text) {
    if (!m_document) return false;
    const bool nested = HoldsControls(tagName);
    m_document->SetTitle(tagName, text, Index());
    if (nested) m_index.reset();
    return true;
}

bool MkOpenXMLWordArchive::SetText(const MkString& tagName, const MkFormattedTextArray& runs) {
    if (!m_document) return false;
    const bool nested = HoldsControls(tagName);
    m_document->SetText(tagName, runs, Index());
    if (nested) m_index.reset();
    return true;
}

bool MkOpenXMLWordArchive::SetTable(const MkString& tagName, const Table& table) {
    if (!m_document) return false;
    const bool nested = HoldsControls(tagName);
    m_document->SetTable(tagName, table, Index());
    if (nested) m_index.reset();
    return true;
}

bool MkOpenXMLWordArchive::SetAllMacros(const MkStringArray& names, const MkOArray<MkFormattedTextArray>& texts) {
    if (!m_document) return false;
    bool nested = false;
    for (int i = 0; i < names.GetSize() && !nested; ++i) nested = HoldsControls(names[i]);
    if (!m_document->SetAllMacros(names, texts, Index())) return false;
    if (nested) m_index.reset();
    return true;
}

bool MkOpenXMLWordArchive::SetImage(const MkString& tagName, const MkOpenXMLPicture& picture, bool inMdlxControl,
                                    const MkString& newTagName, const MkString& hyperlink) {
    MkOpenXMLRelationships* rels = MainRels();
    if (!m_document || !rels) return false;
    MkString idBase = tagName;
    if (!inMdlxControl) {
        if (!m_document->SetImage(tagName, picture.width, picture.height, hyperlink, Index())) return false;
    } else {
        if (picture.width <= 0 || picture.height <= 0) return false;
        m_document->SetImageInMdlx(tagName, newTagName, picture.width, picture.height, hyperlink);
        m_index.reset();
        idBase = newTagName;
    }
    // The placeholder picture, or the viewer control and its preview, go with
    // their last user when the package is saved.
    const MkString imageId = relationId(idBase);
    if (rels->Find(imageId)) return true;
    const MkString media = AddMedia(picture.name, picture.data, picture.size);
    if (media.IsEmpty() || rels->Add(MkString(REL_IMAGE), media, false, imageId).IsEmpty()) return false;
    const MkString linkId = relationId(idBase, L"_C");
    return hyperlink.IsBlank() || rels->Find(linkId) || !rels->Add(MkString(REL_HYPERLINK), hyperlink, true, linkId).IsEmpty();
}

bool MkOpenXMLWordArchive::SetMDLX(const MkString& tagName, const MkString& modelPath, const MkOpenXMLPicture* preview) {
    MkOpenXMLRelationships* rels = MainRels();
    if (!m_document || !rels) return false;
    MkString oldControlId, newControlId, previewId;
    if (!m_document->SetMDLX(tagName, &oldControlId, &newControlId, &previewId)) return false;
    if (preview && !previewId.IsEmpty()) {
        if (!rels->Find(previewId)) return false;
        const MkString media = AddMedia(preview->name, preview->data, preview->size);
        if (media.IsEmpty()) return false;
        if (m_document->CountRelationReferences(previewId) > 1) {
            // Other controls (copies of a group) share the preview: this one gets its own.
            const MkString id = rels->Relate(MkString(REL_IMAGE), media);
            if (id.IsEmpty() || !m_document->SetPreviewRelationId(tagName, id)) return false;
        } else {
            rels->Drop(previewId);
            if (rels->Add(MkString(REL_IMAGE), media, false, previewId).IsEmpty()) return false;
        }
    }
    MkString modelReference = modelPath;
    modelReference.Replace(L"/", L"\\");
    if (!ReportPath().IsEmpty() && folderOf(modelPath) == folderOf(ReportPath())) {
        modelReference = modelPath;
        modelReference.Replace(L"\\", L"/");
        modelReference = modelReference.Mid(modelReference.Find(L'/', modelReference.Length() - 1, false) + 1);
    }
    // The control gets a part of its own; the part it shared goes with its last user.
    return AddActiveXPluginFile(m_main, modelReference, oldControlId, newControlId);
}

bool MkOpenXMLWordArchive::SetChart(const MkString& tagName, const MkChartData& data, MkString* why) {
    if (!m_document) return false;
    MkStringArray ids;
    m_document->GetChartRelationIds(tagName, &ids);
    bool ok = true;
    for (int i = 0; i < ids.GetSize(); ++i) {
        MkOpenXMLPart* chart = m_main->Related(ids[i]);
        if (!chart) {
            ok = false;
            continue;
        }
        if (!UpdateChart(chart, data, why)) return false;  // the chart keeps its template content
    }
    return ok;
}

std::vector<MkOpenXMLPart*> MkOpenXMLWordArchive::GetChartParts(const MkString& tagName) const {
    std::vector<MkOpenXMLPart*> parts;
    if (!m_document) return parts;
    MkStringArray ids;
    m_document->GetChartRelationIds(tagName, &ids);
    for (int i = 0; i < ids.GetSize(); ++i)
        if (MkOpenXMLPart* chart = m_main->Related(ids[i])) parts.push_back(chart);
    return parts;
}

bool MkOpenXMLWordArchive::SyncCharts() {
    MkOpenXMLRelationships* rels = MainRels();
    if (!m_document || !rels) return false;
    MkXmlElementList charts;
    MkOpenXMLDocument::FindAllElements(m_document->GetBody(), "c:chart", &charts, true, true);
    std::set<std::wstring> seen;
    for (const MkXmlElement& chart : charts) {
        const MkString id = chart.GetAttributeString(L"r:id");
        if (seen.insert(id.Std()).second) continue;
        MkOpenXMLPart* copy = CopyChart(m_main->Related(id));
        const MkString newId = copy ? rels->Relate(MkString(REL_CHART), copy->Name()) : MkString();
        if (newId.IsEmpty()) return false;
        chart.AddAttributeString(L"r:id", newId);
    }
    return true;
}

} // namespace rep
} // namespace kiv
