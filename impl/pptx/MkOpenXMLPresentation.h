#pragma once
// Editor of a PowerPoint package: the list of tagged slides, the slide order in
// the presentation part, duplication and removal of slides, and the operations
// that put snapshot content into a slide (text, pictures, tables, charts, 3D
// models) and clean up what a report no longer needs.
//
// Operations that take a tag and a slide name find the slide by the tag in the
// slide list when the name is empty, else by the name. A failed operation
// returns false, logs one error and leaves the package a valid presentation.
//
// Records of the slide list are kept between rebuilds for slides this editor
// has not changed since they were scanned, so that a rebuild reads only new or
// changed slide parts.
#include "impl/common/MkFormattedText.h"
#include "impl/openxml/MkOpenXMLArchive.h"
#include "impl/pptx/MkOpenXMLSlideDocument.h"
#include "impl/pptx/MkSlideContent.h"
#include <map>
#include <memory>
#include <set>
#include <unordered_map>
#include <string>

namespace kiv {
namespace rep {
class Table;
}
} // namespace kiv

class MkOpenXMLPresentation : public MkOpenXMLArchive {
public:
    // The range of slide ids (p:sldId/@id).
    static constexpr int MIN_SLIDE_ID = 256;
    static constexpr int MAX_SLIDE_ID = 2147483647;

    MkOpenXMLPresentation();
    ~MkOpenXMLPresentation() override;

    // Opening another package forgets the slide list and the scans of the last one.
    // The package must not change behind the editor's back between its own closes
    // and reopens.
    bool Open(const MkString& path, PxZipAccessMode mode) override;
    using MkOpenXMLArchive::Open;
    // Writes the parts kept in memory, then closes.
    bool Close() override;
    // Writes the content types, the presentation part and its relationships, which
    // the editor keeps parsed in memory between edits, into the package now (Close
    // does it too). For reading those parts' bytes from the package directly.
    bool FlushSharedParts();

    // --- slide list ---
    bool CreateSlideContentList();
    MkSlideContentPtrArray* GetSlideContentList() const { return m_slides; }
    const MkStringArray& GetNewSlideNames() const { return m_newSlideNames; }
    bool GetPluginControls(const MkString& relsPath, MkStringArray* targets);

    // --- slide order ---
    bool GetPresentationSlideIdList(MkStringArray* ids);
    int SlideCount();
    bool AddSlideToPresentationXml(const MkString& slideName, const MkString& beforeId);
    bool RemoveSlideFromPresentationDoc(const MkString& id);
    // Removes the slide with that relationship id, and the parts only it referred to
    // (its notes slide, tags, charts with their workbooks, controls).
    bool RemoveSlide(const MkString& id);
    bool DuplicateSlide(const MkString& name, MkString& newName);
    // Edits of one slide made between these two calls work on one parsed copy kept
    // in memory, written once at the end (a generic slide's copy gets its title,
    // texts and picture in one write instead of one per tag). Closing the package
    // ends them too. EndSlideEdits is false when the slide cannot be written.
    void BeginSlideEdits(const MkString& slideName);
    bool EndSlideEdits();
    bool CopyAndUpdateOriginalDocuments(const MkString& newRelsPath);
    // The copy's relationships to its source slide, and those of the notes it took
    // along, name the copy instead.
    bool UpdateSlideReferences(const MkString& relsPath, const MkString& oldName, const MkString& newName);
    // Gives the slide of these relationships its own copy of each comments part.
    bool CopyComments(const MkString& relsPath);

    // --- content ---
    bool SetText(const MkString& tag, const MkFormattedTextArray& runs, const MkString& newName,
                 const MkString& slideName);
    bool SetText(const MkString& tag, const MkString& text, const MkString& newName, const MkString& slideName);
    bool SetTextTag(const MkString& tag, const MkString& newName, const MkString& slideName);
    bool SetImage(const MkString& description, const MkString& tag, const MkString& imagePath, int imageWidth,
                  int imageHeight, const MkString& newName, const MkString& slideName, const MkString& hyperlink);
    bool RenamePicture(const MkString& tag, const MkString& slideName, const MkString& newName);
    bool SetTable(const MkString& tag, const kiv::rep::Table& table, const MkString& newName,
                  const MkString& slideName);
    bool SetGraphicFrameTag(const MkString& tag, const MkString& newName, const MkString& slideName);
    // Fills the charts of the frames named tag; a chart the table cannot fill fails
    // with the reason in *why (MkOpenXMLArchive::UpdateChart).
    bool SetChart(const MkString& tag, const MkChartData& chart, const MkString& newName, const MkString& slideName,
                  MkString* why = nullptr);
    // The chart parts of the frames named tag on the slide (every tagged slide when
    // slideName is empty), in slide order.
    void GetChartParts(const MkString& tag, const MkString& slideName, MkStringArray* parts);

    // --- 3D models and clean-up ---
    bool SetMDLX(const MkString& tag, const MkString& modelPath, const MkString& imagePath, const MkString& newName,
                 const MkString& slideName);
    bool ConvertMdlxInSlide(const MkString& tag, const MkString& unusedPath, const MkString& imagePath, float aspect,
                            const MkString& newName, const MkString& slideName, const MkString& hyperlink);
    // Takes ownership of the picture element (a p:pic not linked into any document).
    // The slide is read from the package, or is `edited` when given (then written).
    bool InsertImage(const MkString& imagePath, const MkString& name, const MkString& slideName, TiXmlElement* picture,
                     const MkString& hyperlink, MkOpenXMLSlideDocument* edited = nullptr);
    void RemovePluginWarningLinksFromSlide(const MkString& slideName);
    bool IsControlInSlide(const MkString& slidePartPath, const MkString& id);
    bool RemoveUnreferredActiveX();
    bool GetWmfFilesUsedInVmlFiles(const MkStringArray& drawings, MkStringArray& usedImages);
    bool RemoveUnusedFiles();

    // --- the template ---
    // Reads every part a report may edit or copy: the content types, the presentation
    // part and its relationships, every slide and its relationships, and the notes,
    // tags, charts and comments of the tagged slides. The first that cannot be read or
    // would not make a valid report is described ("ppt/slides/slide3.xml holds a NUL
    // byte"); empty when every one can be used. Nothing is written.
    MkString CheckTemplateParts();

    // --- paths ---
    const MkString& GetSlidesFolder() const { return m_slidesFolder; }
    MkString SlidePartPath(const MkString& slideName) const { return m_slidesFolder + slideName; }
    MkString SlideRelsPath(const MkString& slideName) const;

protected:
    // The content types, the presentation part and its relationships are read from
    // memory and written there; every other part goes to the package.
    bool ReadPart(const MkString& path, MkXmlDocument* document) override;
    bool WritePart(const MkString& path, const MkXmlDocument& document) override;
    MkXmlDocument* OpenPart(const MkString& path, MkXmlDocument* scratch) override;
    bool SavePart(const MkString& path, MkXmlDocument* document) override;
    const MkXmlDocument* ViewPart(const MkString& path, MkXmlDocument* scratch) override;

private:
    struct SharedPart {
        std::unique_ptr<MkXmlDocument> document;
        bool dirty = false;
        int version = 0;  // raised whenever the document is replaced or changed
    };
    // The cached document of a shared part (loaded on first use), or null for other
    // parts and for a shared part the package does not hold.
    MkXmlDocument* Shared(const MkString& path);
    void Changed(const MkString& path);
    // Indexes over the shared parts, rebuilt when the part's version moved on.
    void IndexContentTypes();
    void IndexMainRelationships();
    bool RegisterPart(const MkString& partName, const MkString& contentType);
    MkString SlideRelationshipId(const MkString& slideName);
    MkString AddSlideRelationship(const MkString& slideName);

    // The a:xfrm a placeholder of the slide inherits from its layout or master (read
    // into holder), or null.
    MkXmlElement LayoutBox(const MkString& slideName, const MkXmlElement& ph, MkXmlDocument* holder);
    MkSlideContent* FindSlide(const MkString& tag, const MkString& slideName) const;
    // The record of the slide an edit works on (by name only when byName, else as
    // FindSlide) with the slide read into *slide; null, with the error logged, when
    // there is none or it has no shape tree.
    MkSlideContent* ReadTaggedSlide(const wchar_t* op, const MkString& tag, const MkString& slideName, bool byName,
                                    MkOpenXMLSlideDocument* slide);
    bool WriteEditedSlide(const wchar_t* op, const MkString& slideName, const MkOpenXMLSlideDocument& slide);
    // Stores the image and relates it to the slide under *imageId (a new id when
    // empty; an earlier relationship of that id is replaced), and the hyperlink, when
    // not blank, under *imageId + "_C" (in *linkId, else empty).
    bool RelateImage(const wchar_t* op, const MkString& slideName, const MkString& imagePath, const MkString& hyperlink,
                     MkString* imageId, MkString* linkId);
    MkSlideContent* FindSlideByName(const MkString& slideName) const;
    // Reads a part as XML without logging: a missing or broken part is the caller's to report.
    bool ReadXml(const MkString& path, MkXmlDocument* document);
    // Parts parsed lately, known by what their text is: the zip entry's stamp (CRC
    // and sizes) and a 64-bit hash of the text. A slide is read several times per
    // edit and a copy holds the same text as its source, so most reads share or copy
    // a parsed tree instead of parsing again. Each part read or written through here
    // remembers its key, and the key serves while the entry's stamp is unchanged.
    struct PartKey {
        PxZipArchive::Stamp stamp;
        uint64_t hash = 0;
        bool operator==(const PartKey& o) const { return stamp == o.stamp && hash == o.hash; }
    };
    struct PartKeyHash {
        size_t operator()(const PartKey& k) const { return static_cast<size_t>(k.hash ^ k.stamp.crc); }
    };
    using ParsedDocument = std::shared_ptr<const MkOpenXMLSlideDocument>;
    std::unordered_map<std::wstring, PartKey> m_partKeys;
    // Large parts in a small ring; small ones (relationships, mostly: the clean-up at
    // the end walks every slide's relationships several times) in greater number.
    std::vector<std::pair<PartKey, ParsedDocument>> m_parsed;
    size_t m_nextParsed = 0;
    std::unordered_map<PartKey, ParsedDocument, PartKeyHash> m_smallParsed;
    ParsedDocument m_lastView;
    // The slide between BeginSlideEdits and EndSlideEdits (internal path), if any.
    std::shared_ptr<MkOpenXMLSlideDocument> m_editing;
    MkString m_editingPath;
    bool m_editingChanged = false;
    bool IsEditing(const MkString& path) const { return m_editing && toInternalPath(path) == m_editingPath; }
    static MkString toInternalPath(const MkString& path);
    ParsedDocument FindParsed(const PartKey& key) const;
    void KeepParsed(const PartKey& key, ParsedDocument document);
    // A part parsed, to read only: shared with the parts kept, so reading it costs
    // no copy; null when the part is missing or broken.
    ParsedDocument ViewXml(const MkString& path);
    bool ReadSlide(const MkString& slideName, MkOpenXMLSlideDocument* slide);
    bool WriteSlide(const MkString& slideName, const MkOpenXMLSlideDocument& slide);
    // Forget the scan of a slide whose part or relationships changed.
    void Touch(const MkString& slideName);
    // The record of one slide part, scanned again when an edit made it stale; null
    // when the part cannot be read.
    MkSlideContent* ScanSlide(const MkString& slideName);
    // GetNextFileName for the parts copied with each slide (notes, tags), counting on
    // from the last name it gave; forgotten when a slide is removed.
    MkString NextPartName(const MkString& family);
    bool ReOpen();
    // The package path of a relationship target written in the part at sourcePart;
    // empty for targets outside the package.
    static MkString ResolveTarget(const MkString& sourcePart, const MkString& target);
    // Deletes the candidates (package paths) that no relationship of the package
    // names any more, with their relationship parts, and then what only they named.
    bool DeleteUnreferencedParts(std::set<std::wstring> candidates);
    // Before a slide is removed: what names it (links from other parts, custom shows,
    // sections) names its copies instead, or lets go of it when it has none.
    void RedirectReferences(const MkString& slidePart, const MkString& id);

    // Who relates to control parts and VML drawings: part -> "rels path|id" of each
    // relationship naming it. Built from the whole package on first use, then kept
    // up to date by the edits that add or remove such relationships, so that a part
    // an edit stops using is deleted without reading every slide again.
    void EnsureControlIndex();
    void IndexRelationships(const MkString& relsPath, bool add);
    void UnindexRelationship(const MkString& relsPath, const MkString& id);
    // Deletes a control part or drawing (with its relationships part and the control
    // data it names) when no relationship names it any more.
    bool DeleteIfUnused(const MkString& part);

    MkString m_slidesFolder;
    MkString m_presentationPath;
    // Why the last part ViewXml could not give could not be parsed.
    MkString m_readProblem;
    MkStringArray m_newSlideNames;
    int m_lastSlideId = 255;
    // What a walk of the slide list found, valid while the presentation part's
    // version is m_slideListVersion: the largest number in a listed relationship id
    // and the entry of the last slide copies were put before. Copies of one slide
    // then cost no walk of the list each.
    int m_slideListVersion = -1;
    int m_largestListedRelNumber = 0;
    MkString m_beforeId;
    MkXmlElement m_beforeElement;
    bool WalkSlideList(const MkString& beforeId);
    // The id of a slide added to the list: next after the largest, or the lowest
    // free one once the largest is taken; -1 when every id is.
    int NextSlideId(const MkXmlElement& list);
    MkSlideContentPtrArray* m_slides;
    // Duplication or removal changed the list without rescanning edited records.
    bool m_listByTagStale = false;
    std::map<std::wstring, MkString> m_lastPartNames;
    // The copies DuplicateSlide made of each slide, in the order made.
    std::map<std::wstring, std::vector<MkString>> m_copies;
    // Scans of slides: name -> record (a record without tags for untagged slides).
    // The slide list refers to these records; a changed slide's record is marked
    // stale and replaced by the next rebuild of the list.
    struct Scan {
        std::unique_ptr<MkSlideContent> record;
        bool stale = false;
    };
    std::map<std::wstring, Scan> m_scanned;
    std::map<std::wstring, std::set<std::wstring>> m_controlRefs;
    bool m_controlIndexValid = false;
    std::map<std::wstring, SharedPart> m_shared;
    std::map<std::wstring, std::wstring> m_typeNames;  // PartName -> ContentType of every Override
    int m_typeNamesVersion = -1;
    std::map<std::wstring, MkString> m_mainTargets;  // target -> id of the presentation's relationships
    int m_mainMaxId = 0;
    int m_mainVersion = -1;
};
