#pragma once
// Editor of a PowerPoint package: the list of tagged slides, the slide order in
// the presentation part, duplication and removal of slides, and the package the
// slide edits go to. The XML of a slide is edited by the slide document
// (OpenXMLSlideDocument); here the slide is found, and its relationships and
// media kept.
//
// The package is opened once (OpenXMLPackageEditor) and saved once; a part no
// relationship chain reaches any more (a removed slide, a control or a preview
// the report replaced) is simply not written.
//
// Operations that take a tag and a slide name find the slide by the tag in the
// slide list when the name is empty, else by the name. A failed operation
// returns false, logs one error and leaves the package a valid presentation.
#include "impl/common/FormattedText.h"
#include "impl/openxml/OpenXMLPackageEditor.h"
#include "impl/pptx/OpenXMLSlideDocument.h"
#include "impl/pptx/SlideContent.h"
#include <map>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace kiv {
namespace rep {

class ChartData;
class Table;

class OpenXMLPresentation : public OpenXMLPackageEditor {
public:
    // The range of slide ids (p:sldId/@id).
    static constexpr int MIN_SLIDE_ID = 256;
    static constexpr int MAX_SLIDE_ID = 2147483647;
    static constexpr const char* REL_SLIDE = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/slide";

    OpenXMLPresentation();
    ~OpenXMLPresentation() override;

    // Opening another package forgets the slide list and the scans of the last one.
    // False, with the reason logged, when the package or its presentation part
    // cannot be read.
    bool open(const std::string& path) override;
    // Why the last Open failed, in the words of checkTemplateParts, when the
    // package itself could not be read as one; empty otherwise.
    const std::string& packageProblem() const { return m_problem; }

    // Pictures held in memory, by the name the edits give as image path (the
    // bytes stay the caller's until the package is saved). Other image paths are
    // read from files.
    void provideMedia(const std::string& name, const unsigned char* data, size_t size);

    // --- slide list ---
    bool createSlideContentList();
    SlideContentPtrArray* getSlideContentList() const { return m_slides.get(); }
    // The tags of the slide list (createSlideContentList), a slide a group:
    // per slide, kind by kind, each kind's tags before its "REF_" ones;
    // withCharts adds the kinds of the charts each chart tag names.
    TemplateScan scan(bool withCharts);
    // The slide part of that name (slide1.xml), or null.
    OpenXMLPart* slidePart(const std::string& slideName) const;
    // The slide parsed, to read; null when it is missing or no XML.
    const OpenXMLSlideDocument* viewSlide(const std::string& slideName) const;

    // --- slide order ---
    bool getPresentationSlideIdList(std::vector<std::string>* ids);
    int slideCount();
    bool addSlideToPresentationXml(const std::string& slideName, const std::string& beforeId);
    bool removeSlideFromPresentationDoc(const std::string& id);
    // Removes the slide with that relationship id: what names it (links from other
    // parts, custom shows, sections) names its copies instead, or lets go of it.
    bool removeSlide(const std::string& id);
    // A copy of the slide after the largest listed number, with its own notes,
    // tags, charts (with their workbooks) and comments, placed before the source in
    // the slide list.
    bool duplicateSlide(const std::string& name, std::string& newName);

    // --- content ---
    bool setText(const std::string& tag, const FormattedTextArray& runs, const std::string& newName,
                 const std::string& slideName);
    bool setText(const std::string& tag, const std::string& text, const std::string& newName, const std::string& slideName);
    bool setTextTag(const std::string& tag, const std::string& newName, const std::string& slideName);
    bool setImage(const std::string& description, const std::string& tag, const std::string& imagePath, int imageWidth,
                  int imageHeight, const std::string& newName, const std::string& slideName, const std::string& hyperlink);
    bool renamePicture(const std::string& tag, const std::string& slideName, const std::string& newName);
    bool setTable(const std::string& tag, const kiv::rep::Table& table, const std::string& newName, const std::string& slideName);
    bool setGraphicFrameTag(const std::string& tag, const std::string& newName, const std::string& slideName);
    // Fills the charts of the frames named tag; a chart the table cannot fill fails
    // with the reason in *why (OpenXMLPackageEditor::updateChart).
    bool setChart(const std::string& tag, const ChartData& chart, const std::string& newName, const std::string& slideName,
                  std::string* why = nullptr);
    // The chart parts of the frames named tag on the slide (every tagged slide when
    // slideName is empty), in slide order.
    void getChartParts(const std::string& tag, const std::string& slideName, std::vector<OpenXMLPart*>* parts);

    // --- 3D models ---
    bool setMdlx(const std::string& tag, const std::string& modelPath, const std::string& imagePath, const std::string& newName,
                 const std::string& slideName);
    bool convertMdlxInSlide(const std::string& tag, const std::string& unusedPath, const std::string& imagePath, float aspect,
                            const std::string& newName, const std::string& slideName, const std::string& hyperlink);
    // Takes ownership of the picture element (a p:pic not linked into any document).
    bool insertImage(const std::string& imagePath, const std::string& name, const std::string& slideName, TiXmlElement* picture,
                     const std::string& hyperlink);
    // The slide's edits are done: its tree is printed and let go of (a deck's
    // slides parsed at once would take several times their text's memory).
    void releaseSlide(const std::string& slideName);

    // --- the template ---
    // Reads every part a report may edit or copy: the content types, the presentation
    // part and its relationships, every slide and its relationships, and the notes,
    // tags, charts and comments of the tagged slides. The first that cannot be read or
    // would not make a valid report is described ("ppt/slides/slide3.xml holds a NUL
    // byte"); empty when every one can be used. Nothing is written.
    std::string checkTemplateParts();

    // --- paths ---
    // ppt/slides/slide1.xml; the records keep ppt/slides/_rels/slide1.xml.rels.
    static std::string slidePartName(const std::string& slideName) { return "ppt/slides/" + slideName; }
    static std::string slideRelsPath(const std::string& slideName) { return "ppt/slides/_rels/" + slideName + ".rels"; }

private:
    // What keeps a zip from being opened as a package, in the words of the
    // template check; empty when it cannot tell.
    static std::string packageProblemOf(const std::string& path, Problems* problems);
    SlideContent* findSlide(const std::string& tag, const std::string& slideName);
    // The slide an edit works on (by name only when byName, else as findSlide),
    // parsed to edit; null, with the error logged, when there is none or it has
    // no shape tree.
    OpenXMLSlideDocument* editTaggedSlide(const char* op, const std::string& tag, const std::string& slideName, bool byName,
                                          std::string* name);
    OpenXMLSlideDocument* editSlide(const std::string& slideName);
    // The slide holding tag (as findSlide) opened for editing, with its name and
    // part, whose relationships it has; null, with the error logged for op, when
    // there is none.
    OpenXMLSlideDocument* editSlideWithTag(const char* op, const std::string& tag, const std::string& slideName,
                                           std::string* name, OpenXMLPart** part);
    // Ends an edit editTaggedSlide began: the slide becomes the part's content
    // when the edit succeeded; a slide a failed edit touched is read again as
    // stored (unless earlier edits changed it).
    bool commit(bool ok);
    OpenXMLPart* m_pending = nullptr;
    bool m_pendingChanged = false;
    // The record of one slide part, scanned again when an edit made it stale; null
    // when the part cannot be read.
    SlideContent* scanSlide(const std::string& slideName);
    // The record of a fresh copy: its source's (the same tree and relationships)
    // under the copy's name, without walking the copy.
    SlideContent* copyScan(const std::string& sourceName, const std::string& copyName);
    void touch(const std::string& slideName);
    // The a:xfrm a placeholder of the slide inherits from its layout or master (read
    // into holder), or null.
    XmlElement layoutBox(const std::string& slideName, const XmlElement& ph, XmlDocument* holder);
    // Stores the image and relates it to the slide under *imageId (a new id when
    // empty; an earlier relationship of that id is replaced), and the hyperlink, when
    // not blank, under *imageId + "_C" (in *linkId, else empty).
    bool relateImage(const char* op, const std::string& slideName, const std::string& imagePath, const std::string& hyperlink,
                     std::string* imageId, std::string* linkId);
    bool hasMediaSource(const std::string& imagePath) const;
    std::string slideRelationshipId(const std::string& slideName);
    // Walks the slide list: the largest slide id and listed relationship number.
    void walkSlideList();
    // An entry with that r:id added to the list (change 1) or taken out (-1).
    void countListed(const std::string& relId, int change);
    std::map<int, int> m_listedNumbers;  // relationship number -> entries, once walked
    // The id of a slide added to the list: next after the largest, or the lowest
    // free one once the largest is taken; -1 when every id is.
    int nextSlideId(const XmlElement& list);
    // The copy's parts of its own (tags, charts, notes, comments), its links to its
    // source and the notes' back links naming the copy.
    bool copySlideParts(OpenXMLPart* copy, OpenXMLPart* source);
    // Before a slide is removed: what names it names its copies instead, or lets go of it.
    void redirectReferences(OpenXMLPart* slide, const std::string& id);
    // The custom shows and sections that list the slide of relationship id list its copies instead.
    void redirectShowsAndSections(const std::string& id, const std::vector<OpenXMLPart*>& copies);
    // Makes a copy's comments its own: a legacy comment takes its author's next
    // index (and the authors part the last one given), a modern comment and its
    // replies new ids, and name the copy (slideId) as theirs.
    void renumberComments(OpenXMLPart* comments, int slideId);
    OpenXMLPart* commentAuthorsPart() const;
    // The last comment index of each author, as the authors part gives it.
    void readCommentIndices();
    std::map<std::string, long long> m_lastCommentIndex;
    bool m_commentIndicesRead = false;
    OpenXMLPart* m_commentAuthors = nullptr;  // found with the indices
    int m_addedSlideId = 0;                   // of the slide addSlideToPresentationXml listed last

    std::string m_problem;
    std::unique_ptr<SlideContentPtrArray> m_slides;
    int m_lastSlideId = 255;
    int m_largestListedRelNumber = 0;
    // Slide part numbers m_takenFrom to m_takenTo - 1 name parts of the package.
    int m_takenFrom = 0, m_takenTo = 0;
    bool m_listWalked = false;
    // Elements of the presentation part by the value of one attribute, in
    // document order: the slide list by r:id, the custom shows' slides by r:id and
    // the sections' slides by id. Made on first use and kept in step with the
    // edits here, so that a deck of thousands of slides is not walked per slide.
    using EntryIndex = std::unordered_map<std::string, std::vector<TiXmlElement*>>;
    EntryIndex m_listEntries, m_showEntries, m_sectionEntries;
    bool m_entriesIndexed = false;
    void indexEntries();
    // The first entry of the slide list with that r:id (null when none), the last one's id.
    TiXmlElement* listEntry(const std::string& relId);
    std::string listedSlideId(const std::string& relId);
    // Duplication or removal changed the list without rescanning edited records.
    bool m_listByTagStale = false;
    std::set<std::string> m_removed;
    mutable std::unordered_map<std::string, OpenXMLPart*> m_slideParts;  // found by slidePart
    // The copies duplicateSlide made of each slide, in the order made.
    std::map<std::string, std::vector<std::string>> m_copies;
    // The parts (but the presentation) that relate each slide: links, actions,
    // notes. The package's parts are looked at once each, those added later when
    // first needed (a part's relationships are complete when it is added), and a
    // link moved to a copy is listed under the copy.
    std::unordered_map<OpenXMLPart*, std::vector<OpenXMLPart*>> m_linkers;
    int m_linkersFound = 0;
    // Scans of slides: name -> record (a record without tags for untagged slides).
    struct Scan {
        std::unique_ptr<SlideContent> record;
        bool stale = false;
    };
    std::map<std::string, Scan> m_scanned;
    std::map<std::string, std::pair<const unsigned char*, size_t>> m_provided;
};

}  // namespace rep
}  // namespace kiv
