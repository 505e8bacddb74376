#pragma once
// One slide part of a presentation, parsed: the scans that find the tags its
// shapes are named with, and the rewriting of a text body from formatted runs.
#include "impl/common/MkFormattedText.h"
#include "impl/pptx/MkSlideContent.h"
#include "impl/storage/MkOXmlDocument.h"
#include <vector>

class MkOpenXMLPresentation;

class MkOpenXMLSlideDocument : public MkXmlDocument {
public:
    // Without a presentation the 3D-model tags of the slide are not scanned.
    explicit MkOpenXMLSlideDocument(bool withDeclaration = false, MkOpenXMLPresentation* presentation = nullptr);

    // "p:sld/p:cSld/p:spTree", or null.
    MkXmlElement GetShapeTree() const;
    // The first text element of the slide's title (title, ctrTitle or subTitle placeholder), or null.
    MkXmlElement GetTitleTextElt() const;
    // Replaces the paragraphs of a text body by the runs, keeping the first paragraph's
    // paragraph properties and the first run's run properties. Always true.
    static bool EditTextElement(const MkXmlElement& textBody, const MkFormattedTextArray& runs);
    // Every descendant of start named `name`, in document order.
    static void FindAllElements(const MkXmlElement& start, const MkString& name, std::vector<MkXmlElement>& out);
    // The shapes named `name` (p:sp, p:pic) of a shape tree in document order, those
    // inside group shapes (p:grpSp, at any depth) included.
    static void FindShapes(const MkXmlElement& tree, const wchar_t* name, std::vector<MkXmlElement>& out);
    // The scale from a shape's own coordinates to the slide's: the product of the
    // ext / chExt ratios of the group shapes around it (1, 1 outside groups).
    static void GroupScale(const MkXmlElement& shape, double* sx, double* sy);

    // Shape scans of one kind. Each empties sit and ref and appends to other; false for
    // a null list or a slide without a shape tree.
    bool GetTitleTags(MkStringArray* sit, MkStringArray* ref, MkStringArray* other) const;
    bool GetTextTags(MkStringArray* sit, MkStringArray* ref, MkStringArray* other) const;
    bool GetMacroTags(MkStringArray* sit, MkStringArray* ref, MkStringArray* other) const;
    bool GetTableTags(MkStringArray* sit, MkStringArray* ref, MkStringArray* other) const;
    bool GetChartTags(MkStringArray* sit, MkStringArray* ref, MkStringArray* other) const;
    bool GetPictureTags(MkStringArray* sit, MkStringArray* ref, MkStringArray* other) const;
    // The 3D-viewer controls of the slide part, read through the presentation.
    bool GetMDLXTags(const MkString& slideName, MkStringArray* sit, MkStringArray* ref, MkStringArray* other) const;
    // The Mdlx scan of a parsed slide: SIT and REF names of the fallback pictures of
    // the controls. False when the slide has no controls.
    static bool ScanMdlxTags(const MkXmlDocument& slide, MkStringArray* sit, MkStringArray* ref);

    // The "mc:Fallback/p:control" of the 3D control whose picture is named `name`, or null.
    MkXmlElement GetMdlxElementByName(const MkString& name) const;
    // The same, as the whole mc:AlternateContent entry.
    MkXmlElement GetMdlxEntryByName(const MkString& name) const;

    // Fills every tag list and the other names of the record; false for a null record.
    bool GetSlideTags(MkSlideContent* record) const;

    // Largest p:cNvPr id of the slide (0 when none).
    int GetMaxShapeId() const;

private:
    MkOpenXMLPresentation* m_presentation;
};
