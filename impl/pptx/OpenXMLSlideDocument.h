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
#include <string>
#include <vector>

namespace kiv {
namespace rep {

class Table;

class OpenXMLSlideDocument : public XmlDocument {
public:
    // Inserted shapes get ids from here on, above every id the slide has.
    static constexpr int FIRST_INSERTED_SHAPE_ID = 10042;
    // Text of the link boxes that ask the user to install the viewer plug-in.
    static constexpr const char* PLUGIN_WARNING_TEXT = "Orvia Plugin not installed. Press here to install plugin";

    explicit OpenXMLSlideDocument(bool withDeclaration = false);

    // "p:sld/p:cSld/p:spTree", or null.
    XmlElement getShapeTree() const;
    // The first text element of the slide's title (title, ctrTitle or subTitle placeholder), or null.
    XmlElement getTitleTextElt() const;
    // Replaces the paragraphs of a text body by the runs, keeping the first paragraph's
    // paragraph properties and the look of the body's text: its first run's run
    // properties, or, without a run, the first paragraph's end properties. Always true.
    static bool editTextElement(const XmlElement& textBody, const FormattedTextArray& runs);
    // Every descendant of start named `name`, in document order.
    static void findAllElements(const XmlElement& start, const char* name, std::vector<XmlElement>& out);
    // The shapes named `name` (p:sp, p:pic) of a shape tree in document order, those
    // inside group shapes (p:grpSp, at any depth) included.
    static void findShapes(const XmlElement& tree, const char* name, std::vector<XmlElement>& out);
    // The scale from a shape's own coordinates to the slide's: the product of the
    // ext / chExt ratios of the group shapes around it (1, 1 outside groups).
    static void groupScale(const XmlElement& shape, double* sx, double* sy);

    // Shape scans of one kind. Each empties sit and ref and appends to other; false for
    // a null list or a slide without a shape tree.
    bool getTitleTags(std::vector<std::string>* sit, std::vector<std::string>* ref, std::vector<std::string>* other) const;
    bool getTextTags(std::vector<std::string>* sit, std::vector<std::string>* ref, std::vector<std::string>* other) const;
    bool getMacroTags(std::vector<std::string>* sit, std::vector<std::string>* ref, std::vector<std::string>* other) const;
    bool getTableTags(std::vector<std::string>* sit, std::vector<std::string>* ref, std::vector<std::string>* other) const;
    bool getChartTags(std::vector<std::string>* sit, std::vector<std::string>* ref, std::vector<std::string>* other) const;
    bool getPictureTags(std::vector<std::string>* sit, std::vector<std::string>* ref, std::vector<std::string>* other) const;
    // The Mdlx scan of a parsed slide: SIT and REF names of the fallback pictures of
    // the controls. False when the slide has no controls.
    static bool scanMdlxTags(const XmlDocument& slide, std::vector<std::string>* sit, std::vector<std::string>* ref);

    // The mc:AlternateContent entry of the 3D control whose picture is named `name`, or null.
    XmlElement getMdlxEntryByName(const std::string& name) const;

    // Fills every tag list and the other names of the record; false for a null record.
    bool getSlideTags(SlideContent* record) const;
    // The SIT and REF title and text shapes with no text in any paragraph, whose
    // look a filled text could not take (validation tells of them).
    void getEmptyTextTags(std::vector<std::string>* names) const;

    // Largest p:cNvPr id of the slide (0 when none).
    int getMaxShapeId() const;
    // The id for a shape inserted now: FIRST_INSERTED_SHAPE_ID or above, and above
    // every id of the slide.
    int nextShapeId() const;

    // --- edits ---
    // Each edit of named shapes returns how many it changed (0: none is named tag),
    // or -1 when one of them cannot take the edit; shapes inside group shapes count.
    // Text shapes are matched ignoring case, every other kind exactly.
    // The text of the text shapes, renamed to newName when it is not empty; -1 for a
    // shape without text body.
    int setText(const std::string& tag, const FormattedTextArray& runs, const std::string& newName);
    // Renames the text shapes; -1 for a shape without text body.
    int renameTextShapes(const std::string& tag, const std::string& newName);
    // What a picture shape shows: description, relationship ids (of the image, and of
    // the hyperlink when linkId is not empty) and the image's size, fitted into the
    // box the slide shows uncropped without distortion.
    struct Picture {
        std::string description, newName, imageId, linkId;
        int width = 0, height = 0;
        // The box a placeholder without one of its own inherits (layout or master),
        // kept in holder; null when there is none.
        std::function<XmlElement(const XmlElement& ph, XmlDocument* holder)> inheritedBox;
    };
    // -1 for a picture without a:blip.
    int setPicture(const std::string& tag, const Picture& picture);
    // Renames the first picture named tag; false when there is none.
    bool renamePicture(const std::string& tag, const std::string& newName);
    // The tables of the graphic frames named tag take the table's rows, in the
    // template's layout when the column counts agree, each cell holding its value
    // alone; the rows after the header are kept as text. -1 for a table without
    // grid or row. Frames holding no table are renamed only.
    int setTable(const std::string& tag, const kiv::rep::Table& table, const std::string& newName);
    int renameFrames(const std::string& tag, const std::string& newName);
    // Renames the chart frames named tag (when newName is not blank) and gives the
    // relationship ids of their charts in order; -1 for a frame without one.
    int chartFrames(const std::string& tag, const std::string& newName, std::vector<std::string>* chartIds);
    // The placeholder (p:ph) a shape (p:sp or p:pic) stands for, or null.
    static XmlElement placeholderOf(const XmlElement& shape);

    // 3D controls. Points the controls whose picture is named tag at the relationship
    // newId (renamed when newName is not empty): their former id in *oldId and the
    // shape id the Choice branch names in *spid; false when none is named tag.
    bool repointControl(const std::string& tag, const std::string& newName, const std::string& newId, std::string* spid,
                        std::string* oldId);
    // Whether a control of the slide names the relationship id.
    bool controlUsesId(const std::string& id) const;
    // Removes the control whose picture is named tag (the whole alternate content)
    // and gives a copy of that picture, fitted to the aspect (width / height); the
    // control ids nothing on the slide names any more go into *unusedIds. Null when
    // there is no such control.
    std::unique_ptr<TiXmlElement> takeControlPicture(const std::string& tag, float aspect, std::vector<std::string>* unusedIds);
    // Removes the link boxes that ask for the viewer plug-in; how many went.
    int removePluginWarningLinks();
    // Adds the picture element (taking it) at the end of the shape tree with a new
    // shape id, named name, showing imageId, linked to linkId when not empty.
    bool insertPicture(std::unique_ptr<TiXmlElement> picture, const std::string& name, const std::string& imageId,
                       const std::string& linkId);
};

}  // namespace rep
}  // namespace kiv
