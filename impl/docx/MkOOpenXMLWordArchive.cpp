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

// Content that nothing fills, renumbers or relates holds none of these: no
// control, bookmark, comment, picture id or relationship.
const std::vector<std::string>& inertMarkers() {
    static const std::vector<std::string> markers = {"<w:sdt",    "<w:control", "<wp:docPr", "<w:bookmark", "<w:comment",
                                                     " r:",       "\tr:",       "\nr:",      "\rr:"};
    return markers;
}

// The children of the controls' contents that are inert from now on are kept
// as their text (a node that prints it as it was): a report of many filled
// controls then costs about the size of its text rather than a tree of it.
// A group's controls keep what their copies rename as elements: macros ("$(").
void keepAsText(const MkXmlElementList& controls, bool inGroup = false) {
    for (const MkXmlElement& sdt : controls) {
        TiXmlElement* content = sdt.Tx()->FirstChildElement("w:sdtContent");
        for (TiXmlNode* c = content ? content->FirstChild() : nullptr; c;) {
            TiXmlNode* next = c->NextSibling();
            if (c->ToElement()) {
                const std::string text = MkXmlDocument::PrintNode(*c);
                bool inert = text.size() > 2;
                for (const std::string& marker : inertMarkers()) inert = inert && text.find(marker) == std::string::npos;
                inert = inert && !(inGroup && text.find("$(") != std::string::npos);
                if (inert) {
                    TiXmlUnknown asText;
                    asText.SetValue(text.substr(1, text.size() - 2));  // printed between "<" and ">"
                    content->InsertBeforeChild(c, asText);
                    content->RemoveChild(c);
                }
            }
            c = next;
        }
    }
}

} // namespace

MkOpenXMLWordArchive::MkOpenXMLWordArchive() {
    // A report repeats its groups: the fastest deflate level takes a fraction of
    // the default's time for a few per cent more bytes.
    Package().SetCompressionLevel(1);
}
MkOpenXMLWordArchive::~MkOpenXMLWordArchive() = default;

bool MkOpenXMLWordArchive::Open(const MkString& path) {
    m_document = nullptr;
    m_index.reset();
    if (!MkOpenXMLPackageEditor::Open(path)) {
        if (m_package.IsOpen()) Fail(MkString(L"The package has no document part word/document.xml"));
        return false;
    }
    const MkString part = m_main->Name();
    std::string text;
    if (!m_main->ReadBytes(&text)) return Fail(L"The document part " + part + L" cannot be read");
    std::unique_ptr<MkOpenXMLWordDocument> document(new MkOpenXMLWordDocument);
    document->KeepWhiteSpaceInText();
    // Large content of the body that is inert stays text: a long table costs its size.
    document->KeepChildrenAsText("w:body", inertMarkers(), 1024);
    if (!document->ParseOwnedText(&text, XmlBudget())) {
        MkString why;
        if (document->RefusedCost() > 0)
            why.MakeForm("The part '%ls' holds more XML than the report has memory left for (%llu bytes for more than "
                         "%llu elements); it is not read",
                         ~part, static_cast<unsigned long long>(document->RefusedCost()),
                         static_cast<unsigned long long>(document->Elements()));
        else
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

bool MkOpenXMLWordArchive::Save(const MkString& path) {
    m_index.reset();
    m_parsed.clear();
    return MkOpenXMLPackageEditor::Save(path);
}

const MkWordControlIndex* MkOpenXMLWordArchive::Index() {
    if (!m_index && m_document) m_index.reset(new MkWordControlIndex(*m_document));
    return m_index.get();
}

void MkOpenXMLWordArchive::MakeElements(const MkXmlElementList& controls) {
    for (const MkXmlElement& sdt : controls) {
        TiXmlElement* content = sdt.Tx()->FirstChildElement("w:sdtContent");
        for (TiXmlNode* c = content ? content->FirstChild() : nullptr; c;) {
            TiXmlNode* next = c->NextSibling();
            if (const TiXmlUnknown* asText = c->ToUnknown()) {
                // The copies of a group share their contents' texts: each is parsed once.
                std::unique_ptr<MkXmlDocument>& parsed = m_parsed[asText->ValueStr()];
                if (!parsed) {
                    parsed.reset(new MkXmlDocument);
                    parsed->KeepWhiteSpaceInText();
                    std::string text = "<" + asText->ValueStr() + ">";
                    if (!parsed->ParseOwnedText(&text)) parsed->Clear();
                }
                if (parsed->RootElement()) {
                    content->InsertBeforeChild(c, *parsed->RootElement());
                    content->RemoveChild(c);
                }
            }
            c = next;
        }
    }
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
    // The contents of the groups' controls, and of their copies', stay text until
    // they are filled: the copies of a large group cost little more than their text.
    MkXmlElementList inGroups;
    MkOpenXMLDocument::FindAllElements(m_document->GetBody(), "w:sdt", &inGroups, true, false);
    for (const MkXmlElement& group : inGroups) {
        if (!MkOpenXMLDocument::IsSdtGroup(group)) continue;
        MkXmlElementList controls;
        MkOpenXMLDocument::FindAllElements(group, "w:sdt", &controls, true, true);
        keepAsText(controls, true);
    }
    return m_document->ExpandGroup(snapshotIndices, tagName, [](const MkXmlElementList& copy) {
        MkXmlElementList controls;
        for (const MkXmlElement& top : copy) {
            if (top.GetName() == MkString(L"w:sdt")) controls.push_back(top);
            MkOpenXMLDocument::FindAllElements(top, "w:sdt", &controls, true, true);
        }
        keepAsText(controls);
    });
}

// ---------------------------------------------------------------- content

bool MkOpenXMLWordArchive::SetTitle(const MkString& tagName, const MkString& text) {
    if (!m_document) return false;
    MakeElements(Index()->Find(tagName));
    const bool nested = HoldsControls(tagName);
    m_document->SetTitle(tagName, text, Index());
    if (nested) m_index.reset();
    keepAsText(Index()->Find(tagName));
    return true;
}

bool MkOpenXMLWordArchive::SetText(const MkString& tagName, const MkFormattedTextArray& runs) {
    if (!m_document) return false;
    MakeElements(Index()->Find(tagName));
    const bool nested = HoldsControls(tagName);
    m_document->SetText(tagName, runs, Index());
    if (nested) m_index.reset();
    keepAsText(Index()->Find(tagName));
    return true;
}

bool MkOpenXMLWordArchive::SetTable(const MkString& tagName, const Table& table) {
    if (!m_document) return false;
    MakeElements(Index()->Find(tagName));
    const bool nested = HoldsControls(tagName);
    m_document->SetTable(tagName, table, Index());
    if (nested) m_index.reset();
    keepAsText(Index()->Find(tagName));
    return true;
}

bool MkOpenXMLWordArchive::SetAllMacros(const MkStringArray& names, const MkOArray<MkFormattedTextArray>& texts) {
    if (!m_document) return false;
    bool nested = false;
    for (int i = 0; i < names.GetSize(); ++i) {
        MakeElements(Index()->Find(names[i]));
        nested = nested || HoldsControls(names[i]);
    }
    if (!m_document->SetAllMacros(names, texts, Index())) return false;
    if (nested) m_index.reset();
    for (int i = 0; i < names.GetSize(); ++i) keepAsText(Index()->Find(names[i]));
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
