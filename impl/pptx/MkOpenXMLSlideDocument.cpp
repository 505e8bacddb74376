#include "impl/pptx/MkOpenXMLSlideDocument.h"
#include "impl/pptx/MkOpenXMLPresentation.h"

namespace {

const MkString SHAPE_TREE_PATH(L"p:cSld/p:spTree");

// Shapes whose placeholder is a title, centred title or subtitle.
bool isTitlePlaceholder(const MkXmlElement& shape) {
    MkXmlElement ph = shape.GetFirstChildFromPath(L"p:nvSpPr/p:nvPr/p:ph");
    if (!ph) return false;
    MkString type = ph.GetAttributeString(L"type");
    type.ToLower();
    return type == MkString(L"title") || type == MkString(L"ctrtitle") || type == MkString(L"subtitle");
}

MkString shapeName(const MkXmlElement& shape, const wchar_t* cNvPrPath) {
    return shape.GetFirstChildFromPath(cNvPrPath).GetAttributeString(L"name");
}

// The per-kind rule: REF names with the kind's suffix, then SIT names with it;
// anything else goes to `other` (dropped when other is null).
void classify(const MkString& name, const wchar_t* word, MkStringArray* sit, MkStringArray* ref, MkStringArray* other) {
    const MkTagNameParts parts(name);
    if (parts.IsRef() && parts.suffix == MkString(word))
        ref->AddGrow(name);
    else if (parts.IsSit() && parts.suffix == MkString(word))
        sit->AddGrow(name);
    else if (other)
        other->AddGrow(name);
}

bool prepare(const MkXmlElement& tree, MkStringArray* sit, MkStringArray* ref, MkStringArray* other) {
    if (!sit || !ref || !other || !tree) return false;
    sit->Clear();
    ref->Clear();
    return true;
}

std::vector<MkXmlElement> shapesOf(const MkXmlElement& tree, const wchar_t* name) {
    std::vector<MkXmlElement> shapes;
    MkOpenXMLSlideDocument::FindShapes(tree, name, shapes);
    return shapes;
}

void appendClone(const MkXmlElement& parent, const TiXmlElement* source) {
    if (source) parent.Tx()->LinkEndChild(source->Clone());
}

} // namespace

MkOpenXMLSlideDocument::MkOpenXMLSlideDocument(bool withDeclaration, MkOpenXMLPresentation* presentation)
    : MkXmlDocument(withDeclaration), m_presentation(presentation) {}

MkXmlElement MkOpenXMLSlideDocument::GetShapeTree() const {
    return GetRootElement(L"p:sld").GetFirstChildFromPath(SHAPE_TREE_PATH);
}

MkXmlElement MkOpenXMLSlideDocument::GetTitleTextElt() const {
    std::vector<MkXmlElement> shapes;
    FindShapes(GetShapeTree(), L"p:sp", shapes);
    for (const MkXmlElement& shape : shapes)
        if (isTitlePlaceholder(shape)) return shape.GetFirstChildFromPath(L"p:txBody/a:p/a:r/a:t");
    return MkXmlElement();
}

void MkOpenXMLSlideDocument::FindShapes(const MkXmlElement& tree, const wchar_t* name, std::vector<MkXmlElement>& out) {
    const MkString wanted(name);
    for (MkXmlElement child = tree.GetFirstChildElement(); child; child = child.GetNextSiblingElement()) {
        const MkString childName = child.GetName();
        if (childName == wanted)
            out.push_back(child);
        else if (childName == MkString(L"p:grpSp"))
            FindShapes(child, name, out);
    }
}

void MkOpenXMLSlideDocument::GroupScale(const MkXmlElement& shape, double* sx, double* sy) {
    *sx = *sy = 1.0;
    for (MkXmlElement group = shape.GetParentElement(); group && group.GetName() == MkString(L"p:grpSp");
         group = group.GetParentElement()) {
        const MkXmlElement xfrm = group.GetFirstChildFromPath(L"p:grpSpPr/a:xfrm");
        const MkXmlElement ext = xfrm.GetFirstChildElement(L"a:ext"), chExt = xfrm.GetFirstChildElement(L"a:chExt");
        const double cx = ext.GetAttributeDouble(L"cx"), cy = ext.GetAttributeDouble(L"cy");
        const double chx = chExt.GetAttributeDouble(L"cx"), chy = chExt.GetAttributeDouble(L"cy");
        if (cx > 0 && chx > 0) *sx *= cx / chx;
        if (cy > 0 && chy > 0) *sy *= cy / chy;
    }
}

void MkOpenXMLSlideDocument::FindAllElements(const MkXmlElement& start, const MkString& name,
                                             std::vector<MkXmlElement>& out) {
    for (MkXmlElement child = start.GetFirstChildElement(); child; child = child.GetNextSiblingElement()) {
        if (child.GetName() == name) out.push_back(child);
        FindAllElements(child, name, out);
    }
}

bool MkOpenXMLSlideDocument::EditTextElement(const MkXmlElement& textBody, const MkFormattedTextArray& runs) {
    if (!textBody) return true;
    // Remember the template's formatting before its paragraphs go.
    TiXmlElement* paraProps = nullptr;
    TiXmlElement* runProps = nullptr;
    MkXmlElement first = textBody.GetFirstChildElement(L"a:p");
    if (first) {
        if (MkXmlElement p = first.GetFirstChildElement(L"a:pPr")) paraProps = static_cast<TiXmlElement*>(p.Tx()->Clone());
        if (MkXmlElement r = first.GetFirstChildFromPath(L"a:r/a:rPr"))
            runProps = static_cast<TiXmlElement*>(r.Tx()->Clone());
    }
    while (MkXmlElement p = textBody.GetFirstChildElement(L"a:p")) textBody.RemoveChildElement(p);

    MkXmlElement paragraph = textBody.AddChildElement(L"a:p");
    appendClone(paragraph, paraProps);
    for (const MkFormattedText& run : runs) {
        if (run.newParagraph) {
            paragraph = textBody.AddChildElement(L"a:p");
            appendClone(paragraph, paraProps);
            continue;
        }
        if (run.lineBreak) {
            // A line break inside the paragraph, as tall as the text around it.
            MkXmlElement br = paragraph.AddChildElement(L"a:br");
            appendClone(br, runProps);
            continue;
        }
        MkXmlElement r = paragraph.AddChildElement(L"a:r");
        MkXmlElement rPr = runProps ? MkXmlElement(r.Tx()->LinkEndChild(runProps->Clone())->ToElement())
                                    : r.AddChildElement(L"a:rPr");
        // The markup only adds emphasis: what the run does not mark keeps the
        // template's look, and what it inherits from layout and master stays inherited.
        if (run.bold) rPr.AddAttributeString(L"b", L"1");
        if (run.italic) rPr.AddAttributeString(L"i", L"1");
        if (run.underline) rPr.AddAttributeString(L"u", L"sng");
        rPr.AddAttributeString(L"dirty", L"0");
        rPr.AddAttributeString(L"smtClean", L"0");
        MkXmlElement t = r.AddChildElement(L"a:t");
        if (!run.text.IsEmpty()) t.SetValue(run.text);
    }
    delete paraProps;
    delete runProps;
    return true;
}

bool MkOpenXMLSlideDocument::GetTitleTags(MkStringArray* sit, MkStringArray* ref, MkStringArray* other) const {
    const MkXmlElement tree = GetShapeTree();
    if (!prepare(tree, sit, ref, other)) return false;
    for (const MkXmlElement& shape : shapesOf(tree, L"p:sp")) {
        const MkString name = shapeName(shape, L"p:nvSpPr/p:cNvPr");
        if (!name.IsEmpty() && isTitlePlaceholder(shape)) classify(name, L"TITLE", sit, ref, other);
    }
    return true;
}

bool MkOpenXMLSlideDocument::GetTextTags(MkStringArray* sit, MkStringArray* ref, MkStringArray* other) const {
    const MkXmlElement tree = GetShapeTree();
    if (!prepare(tree, sit, ref, other)) return false;
    for (const MkXmlElement& shape : shapesOf(tree, L"p:sp")) {
        const MkString name = shapeName(shape, L"p:nvSpPr/p:cNvPr");
        if (!name.IsEmpty()) classify(name, L"TEXT", sit, ref, other);
    }
    return true;
}

bool MkOpenXMLSlideDocument::GetMacroTags(MkStringArray* sit, MkStringArray* ref, MkStringArray* other) const {
    const MkXmlElement tree = GetShapeTree();
    if (!prepare(tree, sit, ref, other)) return false;
    for (const MkXmlElement& shape : shapesOf(tree, L"p:sp")) {
        const MkString name = shapeName(shape, L"p:nvSpPr/p:cNvPr");
        if (name.IsEmpty() || !isTitlePlaceholder(shape)) continue;
        const MkTagNameParts parts(name);
        if (name.Contains(L"_$")) {
            if (parts.IsRef())
                ref->AddGrow(name);
            else if (parts.IsSit())
                sit->AddGrow(name);
            else
                other->AddGrow(name);
        } else if (parts.suffix.CompareNoCase(L"TITLE") != 0 && parts.suffix.CompareNoCase(L"TEXT") != 0) {
            other->AddGrow(name);
        }
    }
    return true;
}

namespace {
bool scanFrames(const MkXmlElement& tree, const wchar_t* contentPath, const wchar_t* word, MkStringArray* sit,
                MkStringArray* ref, MkStringArray* other) {
    if (!prepare(tree, sit, ref, other)) return false;
    std::vector<MkXmlElement> frames;
    MkOpenXMLSlideDocument::FindAllElements(tree, L"p:graphicFrame", frames);
    for (const MkXmlElement& frame : frames) {
        const MkString name = shapeName(frame, L"p:nvGraphicFramePr/p:cNvPr");
        if (!name.IsEmpty() && frame.GetFirstChildFromPath(contentPath)) classify(name, word, sit, ref, other);
    }
    return true;
}
} // namespace

bool MkOpenXMLSlideDocument::GetTableTags(MkStringArray* sit, MkStringArray* ref, MkStringArray* other) const {
    return scanFrames(GetShapeTree(), L"a:graphic/a:graphicData/a:tbl", L"TABLE", sit, ref, other);
}

bool MkOpenXMLSlideDocument::GetChartTags(MkStringArray* sit, MkStringArray* ref, MkStringArray* other) const {
    return scanFrames(GetShapeTree(), L"a:graphic/a:graphicData/c:chart", L"CHART", sit, ref, other);
}

bool MkOpenXMLSlideDocument::GetPictureTags(MkStringArray* sit, MkStringArray* ref, MkStringArray* other) const {
    const MkXmlElement tree = GetShapeTree();
    if (!prepare(tree, sit, ref, other)) return false;
    for (const MkXmlElement& pic : shapesOf(tree, L"p:pic")) {
        const MkString name = shapeName(pic, L"p:nvPicPr/p:cNvPr");
        if (!name.IsEmpty()) classify(name, L"PICTURE", sit, ref, nullptr);
    }
    return true;
}

bool MkOpenXMLSlideDocument::ScanMdlxTags(const MkXmlDocument& slide, MkStringArray* sit, MkStringArray* ref) {
    if (!sit || !ref) return false;
    sit->Clear();
    ref->Clear();
    MkXmlElement controls = slide.GetRootElement(L"p:sld").GetFirstChildFromPath(L"p:cSld/p:controls");
    MkXmlElement entry = controls.GetFirstChildElement(L"mc:AlternateContent");
    if (!entry) return false;
    for (; entry; entry = entry.GetNextSiblingElement(L"mc:AlternateContent")) {
        const MkString name = shapeName(entry, L"mc:Fallback/p:control/p:pic/p:nvPicPr/p:cNvPr");
        if (name.IsEmpty()) continue;
        const MkTagNameParts parts(name);
        if (parts.IsSit() && parts.suffix == MkString(L"MDLX"))
            sit->AddGrow(name);
        else if (parts.IsRef() && parts.suffix == MkString(L"MDLX"))
            ref->AddGrow(name);
    }
    return true;
}

bool MkOpenXMLSlideDocument::GetMDLXTags(const MkString& slideName, MkStringArray* sit, MkStringArray* ref,
                                         MkStringArray* other) const {
    if (!m_presentation) return false;
    return m_presentation->GetMdlxTagsFromSlide(slideName, sit, ref, other);
}

MkXmlElement MkOpenXMLSlideDocument::GetMdlxEntryByName(const MkString& name) const {
    MkXmlElement controls = GetRootElement(L"p:sld").GetFirstChildFromPath(L"p:cSld/p:controls");
    for (MkXmlElement entry = controls.GetFirstChildElement(L"mc:AlternateContent"); entry;
         entry = entry.GetNextSiblingElement(L"mc:AlternateContent"))
        if (shapeName(entry, L"mc:Fallback/p:control/p:pic/p:nvPicPr/p:cNvPr") == name) return entry;
    return MkXmlElement();
}

MkXmlElement MkOpenXMLSlideDocument::GetMdlxElementByName(const MkString& name) const {
    return GetMdlxEntryByName(name).GetFirstChildFromPath(L"mc:Fallback/p:control");
}

bool MkOpenXMLSlideDocument::GetSlideTags(MkSlideContent* record) const {
    if (!record) return false;
    typedef MkSlideContent K;
    MkStringArray others;
    MkStringArray scratch;
    // Text shapes; their other names may still be title or macro tags on any shape.
    GetTextTags(&record->Sit(K::KIND_TEXT), &record->Ref(K::KIND_TEXT), &scratch);
    MkStringArray sitTitles, refTitles, sitMacros, refMacros;
    for (int i = 0; i < scratch.GetSize(); ++i) {
        const MkString& name = scratch[i];
        const MkTagNameParts parts(name);
        if (name.Contains(L"$")) {
            if (parts.IsRef())
                refMacros.AddGrow(name);
            else if (parts.IsSit())
                sitMacros.AddGrow(name);
            else
                others.AddGrow(name);
        } else if (parts.IsRef() && parts.suffix == MkString(L"TITLE")) {
            refTitles.AddGrow(name);
        } else if (parts.IsSit() && parts.suffix == MkString(L"TITLE")) {
            sitTitles.AddGrow(name);
        } else {
            others.AddGrow(name);
        }
    }
    GetTitleTags(&record->Sit(K::KIND_TITLE), &record->Ref(K::KIND_TITLE), &others);
    record->Sit(K::KIND_TITLE).Append(sitTitles);
    record->Ref(K::KIND_TITLE).Append(refTitles);

    GetPictureTags(&record->Sit(K::KIND_PICTURE), &record->Ref(K::KIND_PICTURE), &others);
    // The controls are scanned on this parse of the part, which is what the
    // presentation would read again.
    if (m_presentation) ScanMdlxTags(*this, &record->Sit(K::KIND_MDLX), &record->Ref(K::KIND_MDLX));
    GetTableTags(&record->Sit(K::KIND_TABLE), &record->Ref(K::KIND_TABLE), &others);
    GetChartTags(&record->Sit(K::KIND_CHART), &record->Ref(K::KIND_CHART), &others);

    GetMacroTags(&record->Sit(K::KIND_MACRO), &record->Ref(K::KIND_MACRO), &others);
    record->Sit(K::KIND_MACRO).Append(sitMacros);
    record->Ref(K::KIND_MACRO).Append(refMacros);

    others.RemoveDuplicates();
    record->Others() = others;
    return true;
}

int MkOpenXMLSlideDocument::GetMaxShapeId() const {
    std::vector<MkXmlElement> ids;
    FindAllElements(GetRootElement(L"p:sld"), L"p:cNvPr", ids);
    int largest = 0;
    for (const MkXmlElement& e : ids) {
        const int id = e.GetAttributeInt(L"id", 0);
        if (id > largest) largest = id;
    }
    return largest;
}
