#pragma once
// The main document part of a Word package (word/document.xml): scanning of the
// template's tags (content controls and 3D-viewer ActiveX controls, with their
// groups), unrolling of groups and the editing of tagged places. Headers,
// footers, footnotes and endnotes are read and edited the same way: their root
// holds their content as w:body holds the document's.
//
// A tag is the w:val of a content control's w:sdtPr/w:tag, or the w:name of a
// w:control. A content control whose w:sdtPr holds a w:group is a group: its
// content is repeated once per selected snapshot and the generic tags inside it
// ("SIT_...") are numbered for each copy.
//
// All operations work on the parsed document in memory; reading and writing the
// part and the package bookkeeping belong to OpenXMLWordArchive.
#include "impl/common/FormattedText.h"
#include "impl/openxml/SitTypeTag.h"
#include "impl/storage/XmlDocument.h"
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace kiv {
namespace rep {

class Table;

// Width and height, in whatever unit the caller uses (EMU in Word).
struct IntSize2D {
    int width = 0;
    int height = 0;
    IntSize2D() = default;
    IntSize2D(int w, int h) : width(w), height(h) {}
    bool operator==(const IntSize2D& o) const { return width == o.width && height == o.height; }
};

// One tag found in a template.
class WordDocumentTag {
public:
    WordDocumentTag() = default;
    WordDocumentTag(std::string name, int snapshotIndex, std::string groupName, int groupIndex, SitTypeTag kind,
                    bool groupMarker);

    std::string name;          // as written (UTF-8); "<group>" for a group marker
    std::string groupName;     // tag of the enclosing group or content control; empty at top level
    int groupIndex = -1;       // number of the enclosing group in document order; -1 outside groups
    bool groupMarker = false;  // the record that stands for a group itself
    SitTypeTag kind = SIT_TYPE_NONE;
    int snapshotIndex = -1;  // the number after "SIT", 1-based as written; -1 when none
    std::string part;        // the header, footer or notes part holding it; empty in the document part
};

using WordDocumentTagArray = std::vector<WordDocumentTag>;

// The tags of a document in document order (TemplateScan reads them by kind).
class WordDocumentContent {
public:
    // Adds a tag; the snapshot index is read from the name.
    void addTag(std::string name, const std::string& groupName, int groupIndex, SitTypeTag kind, bool groupMarker);
    // The part the tags added from now on lie in (empty: the document part).
    void setPart(const std::string& part) { m_part = part; }
    const WordDocumentTagArray& getAllTags() const { return m_all; }

    // The snapshot number of "SIT<n>_..." or "REF_SIT<n>_...", -1 when there is none.
    static int snapshotIndexOf(const std::string& name);

private:
    WordDocumentTagArray m_all;
    std::string m_part;
};

// The names of a document's tags by kind, as WordDocumentContent lists them
// (a reference variant with its kind), without the records: what filling needs
// to know of the tags.
class WordTagNames {
public:
    void add(SitTypeTag kind, const std::string& name, bool inStory);
    // Some tag of the kind has the name; with bodyOnly, in the document part.
    bool has(SitTypeTag kind, const std::string& name, bool bodyOnly = false) const;

private:
    static int listOf(SitTypeTag kind);  // -1 for a kind without a list

    std::unordered_set<std::string> m_body[8];
    std::unordered_set<std::string> m_stories[8];
};

typedef std::vector<XmlElement> XmlElementList;

// An OpenXML part with the static element helpers the Word operations share.
class OpenXMLDocument : public XmlDocument {
public:
    // Elements named `name` below root, depth first in document order. A w:sdt that
    // is a group is entered only when intoGroups is set, any other w:sdt only when
    // intoOtherControls is set; a matching w:sdt is listed either way.
    static void findAllElements(const XmlElement& root, const char* name, XmlElementList* found, bool intoGroups,
                                bool intoOtherControls);
    // The first element findAllElements(root, name, true, false) would list.
    static XmlElement findFirstElement(const XmlElement& root, const char* name);
    // The element has w:sdtPr/w:group.
    static bool isSdtGroup(const XmlElement& element);
    // "SIT_CHART": a c:chart below; "SIT_TABLE": a w:tbl below; false for other names.
    static bool isStdAroundContent(const XmlElement& element, const std::string& tagName);
    // The element itself or its nearest ancestor named `name`, else null.
    static XmlElement getAncestor(const XmlElement& element, const char* name);
    // Geometry of a VML shape from its style, in EMU ("pt" and "in" units). With
    // sizeOnly the reading ends after two of left/top/width/height, else after four.
    // False for another element or a style that runs out or holds a property without
    // a number. Values not read keep what the caller passed.
    static bool getShapePosAndSize(const XmlElement& shape, int* left, int* top, int* width, int* height, bool sizeOnly);
};

// Picture ids of one document kept unique while an operation adds drawings and
// content controls: the wp:docPr ids and the content-control w:id values in use.
class WordIdRegistry {
public:
    // Counts the ids of every wp:docPr and w:sdtPr/w:id below root.
    void collect(const XmlElement& root);
    // Forgets the ids below root (a subtree about to be removed).
    void release(const XmlElement& root);
    // Gives every holder found (wp:docPr elements and w:sdtPr elements) an id no
    // other element has; an id that is still free is kept. sdtSuffix >= 0 first tries
    // the old content-control id followed by that number.
    void renumber(const std::vector<TiXmlElement*>& drawings, const std::vector<TiXmlElement*>& properties, int sdtSuffix);
    // Registers the id when free and returns it, else returns a new one.
    int claimDrawingId(long long wanted) { return claim(&m_drawing, &m_drawingMax, wanted); }
    int claimControlId(long long wanted) { return claim(&m_control, &m_controlMax, wanted); }

private:
    typedef std::unordered_map<long long, int> Counts;
    static int next(Counts* counts, long long* max);
    static int claim(Counts* counts, long long* max, long long wanted);
    void visit(const XmlElement& root, int delta);

    Counts m_drawing;
    Counts m_control;
    long long m_drawingMax = 0;
    long long m_controlMax = 0;
};

class OpenXMLWordDocument;

// The content controls of a document by tag, for filling many tags of one parsed
// document without a walk of the whole document per tag. It holds the controls
// the editing operations address (those outside non-group controls). It stays
// valid while the controls stay: unrolling groups, replacing viewer controls and
// editing content that holds controls make it stale, and it must be built again.
class WordControlIndex {
public:
    explicit WordControlIndex(const OpenXMLWordDocument& document);
    // The controls with that tag, in document order.
    const XmlElementList& find(const std::string& tagName) const;
    // The controls by tag (empty for none).
    const std::unordered_map<std::string, XmlElementList>& byTag() const { return m_byTag; }

private:
    std::unordered_map<std::string, XmlElementList> m_byTag;
    XmlElementList m_none;
};

class OpenXMLWordDocument : public OpenXMLDocument {
public:
    // w:body under the root w:document; null when either is missing.
    XmlElement getBody() const;
    // The element holding the part's content, where its tags are found and
    // filled: the body of a document, the root of a header (w:hdr), footer
    // (w:ftr), footnotes or endnotes part; null for any other part.
    XmlElement getContentRoot() const;

    // --- reading ---
    static std::string getSdtName(const XmlElement& sdt);
    static bool isInSdtGroup(const XmlElement& element);
    static bool hasTable(const XmlElement& sdt);
    void getDocumentContent(WordDocumentContent& content) const;
    // Adds the names of the tags getDocumentContent records (as a header's,
    // footer's or notes' when inStory), the content controls found through
    // index, which must be this document's as it is.
    void getTagNames(const WordControlIndex& index, bool inStory, WordTagNames* names) const;
    void getElementSdtContent(const XmlElement& sdt, const std::string& groupName, int groupIndex,
                              WordDocumentContent& content) const;
    void getElementControlsContent(const XmlElement& element, const std::string& groupName, int groupIndex,
                                   WordDocumentContent& content) const;

    // --- groups ---
    // Unrolls the groups (all with an empty tag name, else those holding the tag)
    // once per snapshot index, in place of the group. False when the document has
    // no body, or when a group to unroll has no content (it is then left as it is).
    // Each copy after the first gets marks of its own: its bookmarks renamed (and
    // the REF, PAGEREF and NOTEREF fields and the links of the copy that name
    // them), its revision marks renumbered among the bookmark ids, its paragraph
    // ids left out; comment anchors stay with the first copy.
    // `made`, when given, gets the top elements of each copy once it is complete.
    bool expandGroup(const std::vector<int>& snapshotIndices, const std::string& tagName,
                     const std::function<void(const XmlElementList&)>& made = nullptr);
    // Leaves out the paragraph ids (w14:paraId, w14:textId) below node, node
    // included, in content kept as text too: a copy of paragraphs must not
    // repeat them, and Word gives new ones.
    static void dropParagraphIds(TiXmlNode* node);

    // --- editing ---
    // Makes a control filled: its placeholder (w:placeholder, w:showingPlcHdr)
    // and its data binding (w:dataBinding, w15:dataBinding) go.
    static void removePlaceHolder(const XmlElement& sdtPr);
    static bool editTextElement(const XmlElement& sdt, const std::string& text);
    static bool editTextElement(const XmlElement& sdt, const FormattedTextArray& runs);
    // editTextElement in two steps: the control's content emptied (its cell's
    // and paragraph's properties kept), giving the element the runs go into and
    // *runProperties the look of the new runs (null when none): the properties
    // of the content's first run, or without a run those of its first
    // paragraph's mark, less tracked changes and the placeholder style; then
    // the runs appended there. Null when the control has no content.
    static XmlElement clearForRuns(const XmlElement& sdt, std::unique_ptr<TiXmlElement>* runProperties);
    static void appendRuns(const XmlElement& container, const FormattedTextArray& runs, const TiXmlElement* runProperties);
    // Whether content there stands inside a paragraph (runs) rather than where paragraphs stand.
    static bool isInParagraph(const XmlElement& element);
    // Whether appendRuns writes this run's text with the run before it.
    static bool joinsPreviousRun(const std::string& text);
    // The editing operations find their controls through the index when one is given.
    bool setTitle(const std::string& tagName, const std::string& text, const WordControlIndex* index = nullptr);
    bool setText(const std::string& tagName, const FormattedTextArray& runs, const WordControlIndex* index = nullptr);
    // Points the picture of each control at "rId<tag>" and fits it to the image,
    // a picture in line with the text (wp:inline) or floating (wp:anchor) alike.
    // False at the first control without a drawing or a blip, or for an empty image.
    bool setImage(const std::string& tagName, int imageWidth, int imageHeight, const std::string& hyperlink,
                  const WordControlIndex* index = nullptr);
    // Replaces each 3D-viewer control of that name by a picture content control
    // tagged newTagName.
    bool setImageInMdlx(const std::string& controlName, const std::string& newTagName, int imageWidth, int imageHeight,
                        const std::string& hyperlink);
    bool setMdlx(const std::string& tagName, std::string* controlId, std::string* newId, std::string* previewId);
    bool setTable(const std::string& tagName, const Table& table, const WordControlIndex* index = nullptr);
    // Fills the table element with rows x columns values (UTF-8, value(r, c)):
    // in the template's look (its grid, its first row and the cells of its second
    // row) when it has that many columns, else in an even grid of its width. A
    // filled cell holds its value alone, in one paragraph and run that take the
    // look of the template cell's first ones.
    static void fillTable(const XmlElement& tbl, int rows, int columns, const std::function<std::string(int, int)>& value);
    bool getChartRelationIds(const std::string& tagName, std::vector<std::string>* ids) const;
    bool setAllMacros(const std::vector<std::string>& names, const std::vector<FormattedTextArray>& texts,
                      const WordControlIndex* index = nullptr);

    // Sets the r:id of the preview image (v:imagedata) of the first 3D-viewer control of that name.
    bool setPreviewRelationId(const std::string& tagName, const std::string& id);

    // How many attributes of the document refer to that relationship id.
    int countRelationReferences(const std::string& id) const;

private:
    // The content controls addressed by the editing operations, with that name.
    XmlElementList controlsNamed(const std::string& tagName, const WordControlIndex* index = nullptr) const;
    // The first viewer control named tagName and the picture (v:imagedata) of the
    // shape just before it, which is null when there is none; false when no
    // control has that name.
    bool controlPreview(const std::string& tagName, XmlElement* control, TiXmlElement** image);
};

}  // namespace rep
}  // namespace kiv
