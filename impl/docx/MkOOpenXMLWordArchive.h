#pragma once
// The Word package editor: each operation reads the main document part, applies
// one document operation (MkOOpenXMLWordDocument.h), writes the part back and
// completes the package — media files and relationships, preview images,
// viewer-control parts, chart parts — and drops the parts and relationships the
// edit left without a user.
//
// Nothing is cached between calls: operations see each other's results in the
// order they are called. No operation logs; results tell failures.
#include "impl/docx/MkOOpenXMLWordDocument.h"
#include "impl/openxml/MkOpenXMLArchive.h"
#include <memory>

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

    // Reads and writes the main document part in the package.
    bool ReadDocument(MkOpenXMLWordDocument* document);
    bool WriteDocument(const MkOpenXMLWordDocument& document);

    // A batch holds the main document part parsed between BeginBatch and EndBatch:
    // the operations above edit it in memory, with an index of its controls, and
    // EndBatch writes it once. Everything else an operation does to the package
    // (media, relationships, charts, control parts) happens at once as usual.
    // ReadDocument and WriteDocument bypass the batch. False when the part cannot
    // be read (no batch starts) or written.
    bool BeginBatch();
    bool EndBatch();
    bool InBatch() const { return static_cast<bool>(m_held); }

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

    MkString m_documentPath;  // word\document.xml
    std::unique_ptr<MkOpenXMLWordDocument> m_held;  // the document of a batch
    std::unique_ptr<MkWordControlIndex> m_index;    // its controls; rebuilt when stale
};

} // namespace rep
} // namespace kiv
