#pragma once
// The Word package editor: each operation reads the main document part, applies
// one document operation (MkOOpenXMLWordDocument.h), writes the part back and
// completes the package — media files and relationships, preview images,
// viewer-control parts, chart parts — and drops the parts and relationships the
// edit left without a user.
//
// Outside a batch nothing is cached between calls: operations see each other's
// results in the order they are called. During a batch (BeginBatch, EndBatch)
// the document part and its relationships are held in memory and written once.
// The operations log no errors of their own; results tell failures.
#include "impl/docx/MkOOpenXMLWordDocument.h"
#include "impl/openxml/MkOpenXMLArchive.h"
#include <memory>
#include <unordered_set>

namespace kiv {
namespace rep {

class MkOpenXMLWordArchive : public MkOpenXMLArchive {
public:
    MkOpenXMLWordArchive();
    ~MkOpenXMLWordArchive() override;

    // Opening another package forgets the media files stored in the previous one;
    // reopening the same package keeps them.
    bool Open(const MkString& path, PxZipAccessMode mode) override;
    using MkOpenXMLArchive::Open;

    const MkString& GetDocumentPath() const { return m_documentPath; }

    // --- tags and groups ---
    // Fills content from the main document part; does nothing when the archive is closed.
    void GetDocumentContent(MkWordDocumentContent& content);
    // The document's ratio, or 0 when the part cannot be read.
    float GetRatio(SitTypeTag kind, const MkString& tagName, int occurrence);
    bool ExpandGroup(const MkIntArray& snapshotIndices, const MkString& tagName);

    // --- content ---
    bool SetTitle(const MkString& tagName, const MkString& text);
    bool SetText(const MkString& tagName, const MkFormattedTextArray& runs);
    bool SetTable(const MkString& tagName, const Table& table);
    bool SetAllMacros(const MkStringArray& names, const MkOArray<MkFormattedTextArray>& texts);
    // Puts the image file into the picture controls of tagName, or, with inMdlxControl,
    // replaces the 3D-viewer controls named tagName by picture controls tagged newTagName.
    // The picture is related as "rId<tag>" (and its hyperlink as "rId<tag>_C").
    bool SetImage(const MkString& tagName, const MkString& imagePath, int imageWidth, int imageHeight,
                  bool inMdlxControl, const MkString& newTagName, const MkString& hyperlink);
    // Points the 3D-viewer control tagName at a model file, with a new preview image
    // when previewPath is not empty.
    bool SetMDLX(const MkString& tagName, const MkString& modelPath, const MkString& previewPath);
    // Fills the charts of the controls tagName; a chart the table cannot fill fails
    // with the reason in *why (MkOpenXMLArchive::UpdateChart).
    bool SetChart(const MkString& tagName, const MkChartData& data, MkString* why = nullptr);
    // The chart parts of the controls tagName, in document order.
    void GetChartParts(const MkString& tagName, MkStringArray* parts);
    // Gives every chart reference of the document its own chart part.
    bool SyncCharts();
    bool DeleteObsoleteFiles() override;

    // Reads and writes the main document part in the package. ReadDocument reads
    // it without logging and, when it cannot, says why in `problem` (naming the
    // part: missing, not well-formed, or without a body).
    bool ReadDocument(MkOpenXMLWordDocument* document, MkString* problem = nullptr);
    bool WriteDocument(const MkOpenXMLWordDocument& document);

    // A batch holds the main document part and its relationships parsed between
    // BeginBatch and EndBatch: the operations above edit them in memory, with an
    // index of the controls and of the relationship ids, and EndBatch drops the
    // relationships the edits left without a user and writes both parts once.
    // Everything else an operation does to the package (media, charts, control
    // parts) happens at once as usual. ReadDocument and WriteDocument bypass the
    // batch. BeginBatch is false when the document cannot be read (no batch
    // starts; `problem` says why), EndBatch when a part cannot be written.
    bool BeginBatch(MkString* problem = nullptr);
    bool EndBatch();
    bool InBatch() const { return static_cast<bool>(m_held); }
    // The document of the batch; null outside one.
    MkOpenXMLWordDocument* BatchDocument() const { return m_held.get(); }

protected:
    // During a batch the main relationships part is the one held in memory.
    bool ReadPart(const MkString& path, MkXmlDocument* document) override;
    bool WritePart(const MkString& path, const MkXmlDocument& document) override;
    MkXmlDocument* OpenPart(const MkString& path, MkXmlDocument* scratch) override;
    bool SavePart(const MkString& path, MkXmlDocument* document) override;
    const MkXmlDocument* ViewPart(const MkString& path, MkXmlDocument* scratch) override;

private:
    class DocumentAccess;
    friend class DocumentAccess;

    // Removes the relationships among `ids` that the document no longer refers
    // to, and the parts only they named. False when the relationships part cannot
    // be read or written.
    bool ReleaseRelationships(const MkOpenXMLWordDocument& document, const MkStringArray& ids);
    // Deletes an internal part, the relationships part beside it and the parts only
    // that relationships part names.
    void DeletePartWithRelationships(const MkString& part);
    // Lets go of relationships an edit no longer refers to: at once, or in a
    // batch when it ends (one walk of the document for all of them).
    bool Release(const MkOpenXMLWordDocument& document, const MkStringArray& ids);
    // The held relationships part when `path` names it during a batch, else null.
    MkXmlDocument* HeldRelationships(const MkString& path) const;
    // Whether the main relationships part has a relationship with that id.
    bool HasRelationship(const MkString& id);

    MkString m_documentPath;  // word\document.xml
    std::unique_ptr<MkOpenXMLWordDocument> m_held;  // the document of a batch
    std::unique_ptr<MkWordControlIndex> m_index;    // its controls; rebuilt when stale
    std::unique_ptr<MkXmlDocument> m_heldRels;      // the main relationships part of a batch
    std::unordered_set<std::wstring> m_relIds;      // its ids, while m_relIdsKnown
    bool m_relIdsKnown = false;
    MkStringArray m_released;                       // ids let go of during the batch
};

} // namespace rep
} // namespace kiv
