#pragma once
// One slide part of a presentation, parsed: the scans that find the tags its
// shapes are named with, and the edits a report makes to the slide's XML (texts,
// pictures, tables, chart frames, 3D controls, shape names and ids). The slide
// knows nothing of the package: relationships, media and other parts are the
// presentation's, which hands the ids an edit needs in and takes back the ids an
// edit let go of.
#include "impl/common/FormattedText.h"
#include "impl/pptx/SlideContent.h"
#include "impl/storage/XmlDocument.h"
#include <functional>
#include <memory>
#include <vector>

namespace kiv {
namespace rep {

class Table;

class OpenXMLSlideDocument : public XmlDocument {
public:
    // Inserted shapes get ids from here on, above every id the slide has.
    static constexpr int FIRST_INSERTED_SHAPE_ID = 10042;
    // Text of the link boxes that ask the user to install the viewer plug-in.
    static constexpr const wchar_t* PLUGIN_WARNING_TEXT = L"Orvia Plugin not installed. Press here to install plugin";

    explicit OpenXMLSlideDocument(bool withDeclaration = false);

    // "p:sld/p:cSld/p:spTree", or null.
    XmlElement GetShapeTree() const;
    // The first text element of the slide's title (title, ctrTitle or subTitle placeholder), or null.
    XmlElement GetTitleTextElt() const;
    // Replaces the paragraphs of a text body by the runs, keeping the first paragraph's
    // paragraph properties and the look of the body's text: its first run's run
    // properties, or, without a run, the first paragraph's end properties. Always true.
    static bool EditTextElement(const XmlElement& textBody, const FormattedTextArray& runs);
    // Every descendant of start named `name`, in document order.
    static void FindAllElements(const XmlElement& start, const MkString& name, std::vector<XmlElement>& out);
    // The shapes named `name` (p:sp, p:pic) of a shape tree in document order, those
    // inside group shapes (p:grpSp, at any depth) included.
    static void FindShapes(const XmlElement& tree, const wchar_t* name, std::vector<XmlElement>& out);
    // The scale from a shape's own coordinates to the slide's: the product of the
    // ext / chExt ratios of the group shapes around it (1, 1 outside groups).
    static void GroupScale(const XmlElement& shape, double* sx, double* sy);

    // Shape scans of one kind. Each empties sit and ref and appends to other; false for
    // a null list or a slide without a shape tree.
    bool GetTitleTags(MkStringArray* sit, MkStringArray* ref, MkStringArray* other) const;
    bool GetTextTags(MkStringArray* sit, MkStringArray* ref, MkStringArray* other) const;
    bool GetMacroTags(MkStringArray* sit, MkStringArray* ref, MkStringArray* other) const;
    bool GetTableTags(MkStringArray* sit, MkStringArray* ref, MkStringArray* other) const;
    bool GetChartTags(MkStringArray* sit, MkStringArray* ref, MkStringArray* other) const;
    bool GetPictureTags(MkStringArray* sit, MkStringArray* ref, MkStringArray* other) const;
    // The Mdlx scan of a parsed slide: SIT and REF names of the fallback pictures of
    // the controls. False when the slide has no controls.
    static bool ScanMdlxTags(const XmlDocument& slide, MkStringArray* sit, MkStringArray* ref);

    // The mc:AlternateContent entry of the 3D control whose picture is named `name`, or null.
    XmlElement GetMdlxEntryByName(const MkString& name) const;

    // Fills every tag list and the other names of the record; false for a null record.
    bool GetSlideTags(SlideContent* record) const;
    // The SIT and REF title and text shapes with no text in any paragraph, whose
    // look a filled text could not take (validation tells of them).
    void GetEmptyTextTags(MkStringArray* names) const;

    // Largest p:cNvPr id of the slide (0 when none).
    int GetMaxShapeId() const;
    // The id for a shape inserted now: FIRST_INSERTED_SHAPE_ID or above, and above
    // every id of the slide.
    int NextShapeId() const;

    // --- edits ---
    // Each edit of named shapes returns how many it changed (0: none is named tag),
    // or -1 when one of them cannot take the edit; shapes inside group shapes count.
    // Text shapes are matched ignoring case, every other kind exactly.
    // The text of the text shapes, renamed to newName when it is not empty; -1 for a
    // shape without text body.
    int SetText(const MkString& tag, const FormattedTextArray& runs, const MkString& newName);
    // Renames the text shapes; -1 for a shape without text body.
    int RenameTextShapes(const MkString& tag, const MkString& newName);
    // What a picture shape shows: description, relationship ids (of the image, and of
    // the hyperlink when linkId is not empty) and the image's size, fitted into the
    // box the slide shows uncropped without distortion.
    struct Picture {
        MkString description, newName, imageId, linkId;
        int width = 0, height = 0;
        // The box a placeholder without one of its own inherits (layout or master),
        // kept in holder; null when there is none.
        std::function<XmlElement(const XmlElement& ph, XmlDocument* holder)> inheritedBox;
    };
    // -1 for a picture without a:blip.
    int SetPicture(const MkString& tag, const Picture& picture);
    // Renames the first picture named tag; false when there is none.
    bool RenamePicture(const MkString& tag, const MkString& newName);
    // The tables of the graphic frames named tag take the table's rows, in the
    // template's layout when the column counts agree, each cell holding its value
    // alone; the rows after the header are kept as text. -1 for a table without
    // grid or row. Frames holding no table are renamed only.
    int SetTable(const MkString& tag, const kiv::rep::Table& table, const MkString& newName);
    int RenameFrames(const MkString& tag, const MkString& newName);
    // Renames the chart frames named tag (when newName is not blank) and gives the
    // relationship ids of their charts in order; -1 for a frame without one.
    int ChartFrames(const MkString& tag, const MkString& newName, MkStringArray* chartIds);
    // The placeholder (p:ph) a shape (p:sp or p:pic) stands for, or null.
    static XmlElement PlaceholderOf(const XmlElement& shape);

    // 3D controls. Points the controls whose picture is named tag at the relationship
    // newId (renamed when newName is not empty): their former id in *oldId and the
    // shape id the Choice branch names in *spid; false when none is named tag.
    bool RepointControl(const MkString& tag, const MkString& newName, const MkString& newId, MkString* spid, MkString* oldId);
    // Whether a control of the slide names the relationship id.
    bool ControlUsesId(const MkString& id) const;
    // Removes the control whose picture is named tag (the whole alternate content)
    // and gives a copy of that picture, fitted to the aspect (width / height); the
    // control ids nothing on the slide names any more go into *unusedIds. Null when
    // there is no such control.
    std::unique_ptr<TiXmlElement> TakeControlPicture(const MkString& tag, float aspect, MkStringArray* unusedIds);
    // Removes the link boxes that ask for the viewer plug-in; how many went.
    int RemovePluginWarningLinks();
    // Adds the picture element (taking it) at the end of the shape tree with a new
    // shape id, named name, showing imageId, linked to linkId when not empty.
    bool InsertPicture(std::unique_ptr<TiXmlElement> picture, const MkString& name, const MkString& imageId,
                       const MkString& linkId);
};

}  // namespace rep
}  // namespace kiv
