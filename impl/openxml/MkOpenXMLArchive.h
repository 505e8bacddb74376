#pragma once
// Editor of an Office Open XML package (.pptx, .docx): the zip archive plus the
// package bookkeeping every edit needs — entries in [Content_Types].xml,
// relationships in .rels parts, media stored once under the next free name,
// parts saved under the next free name of their family, deletion of parts an
// edit made obsolete — and the chart and 3D-viewer control operations built on
// them (MkOpenXMLChart.cpp, MkOpenXMLPlugin.cpp).
//
// Paths inside the package use the backslash (word\document.xml); they are
// written with "/" where they appear in XML (part names, relationship targets).
// Every operation reads the part it touches, changes it and writes it back at
// once; nothing is cached between calls except the media lists and the list of
// obsolete parts. This layer does not log: failures are reported by results
// (false, 0 or an empty string) and the callers log them.
#include "impl/storage/MkOXmlDocument.h"
#include "impl/storage/PxZipArchive.h"
#include "host/ug/MkArray.h"
#include "host/ug/MkString.h"
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

class MkChartData;
namespace kiv {
namespace rep {
class Table;
}
} // namespace kiv

// What AddContentToContentTypesXml registers.
enum OXMLContentTypeTag {
    OXML_CT_SLIDE = 1,       // Override of a slide part (the slide content type member)
    OXML_CT_ACTIVEX = 2,     // Override of an ActiveX control part
    OXML_CT_TAGS = 3,        // Override of a slide tags part (the tags content type member)
    OXML_CT_EXTENSION = 4,   // Default of a file extension (mdlx, jpg, jpeg, png)
    OXML_CT_CHART = 5,       // Override of a chart part
    OXML_CT_NOTES_SLIDE = 6  // Override of a notes slide part (also any other value)
};

// Kinds of relationship target, and of part saved under a new name.
enum TargetType {
    OXML_TARGET_ACTIVEX = 1,
    OXML_TARGET_IMAGE = 2,
    OXML_TARGET_TAGS = 3,
    OXML_TARGET_VML_DRAWING = 4,
    OXML_TARGET_CHART = 7,
    OXML_TARGET_CHART_RELS = 8,
    OXML_TARGET_NOTES_SLIDE = 10,
    OXML_TARGET_NOTES_SLIDE_RELS = 11
};

class MkOpenXMLArchive : public PxZipArchive {
public:
    // --- package constants ---
    static constexpr const wchar_t* CONTENT_TYPES_PART = L"[Content_Types].xml";
    static constexpr const wchar_t* PACKAGE_RELS_PART = L"_rels\\.rels";
    static constexpr const wchar_t* WORD_ROOT_FOLDER = L"word";
    static constexpr const wchar_t* PPT_ROOT_FOLDER = L"ppt";
    static constexpr const wchar_t* MDLX_EXTENSION = L"mdlx";
    static constexpr const wchar_t* ACTIVEX_CONTENT_TYPE = L"application/vnd.ms-office.activeX+xml";
    static constexpr const wchar_t* CHART_CONTENT_TYPE =
        L"application/vnd.openxmlformats-officedocument.drawingml.chart+xml";
    static constexpr const wchar_t* NOTES_SLIDE_CONTENT_TYPE =
        L"application/vnd.openxmlformats-officedocument.presentationml.notesSlide+xml";
    static constexpr const wchar_t* SLIDE_CONTENT_TYPE =
        L"application/vnd.openxmlformats-officedocument.presentationml.slide+xml";
    static constexpr const wchar_t* TAGS_CONTENT_TYPE =
        L"application/vnd.openxmlformats-officedocument.presentationml.tags+xml";

    // Standard relationship types (ECMA-376, transitional).
    static constexpr const wchar_t* REL_TYPE_SLIDE =
        L"http://schemas.openxmlformats.org/officeDocument/2006/relationships/slide";
    static constexpr const wchar_t* REL_TYPE_CONTROL =
        L"http://schemas.openxmlformats.org/officeDocument/2006/relationships/control";
    static constexpr const wchar_t* REL_TYPE_IMAGE =
        L"http://schemas.openxmlformats.org/officeDocument/2006/relationships/image";
    static constexpr const wchar_t* REL_TYPE_HYPERLINK =
        L"http://schemas.openxmlformats.org/officeDocument/2006/relationships/hyperlink";
    static constexpr const wchar_t* REL_TYPE_CHART =
        L"http://schemas.openxmlformats.org/officeDocument/2006/relationships/chart";
    static constexpr const wchar_t* REL_TYPE_PACKAGE =
        L"http://schemas.openxmlformats.org/officeDocument/2006/relationships/package";

    MkOpenXMLArchive();
    ~MkOpenXMLArchive() override;

    // Opens the zip archive and reads the office version. False when the archive
    // cannot be opened.
    bool Open(const MkString& path, PxZipAccessMode mode) override;
    // The same for a package held in memory (not owned; it must outlive the archive).
    bool Open(PxZipMemFile* memFile, PxZipAccessMode mode) override;

    // AppVersion of docProps\app.xml as an integer (16 for 16.0000); the stored
    // value (0) when the part or element is missing.
    int GetOfficeVersion();

    // --- content types ---
    // Registers a part name ("/ppt/slides/slide3.xml") or, for OXML_CT_EXTENSION, a
    // file extension. An existing equal entry is kept and true returned.
    bool AddContentToContentTypesXml(const MkString& value, OXMLContentTypeTag kind);
    // True when a child of the Types root has `attribute` equal to `value` (case-sensitive).
    bool DoValueOfTagExistInContentTypes(const MkString& attribute, const MkString& value);

    // --- media and new parts ---
    // Stores a local jpg/jpeg/png/avi file in the media folder under the next free
    // name (once per archive and path) and gives the relationship target from the
    // main part. False for other extensions, unreadable files or a failed write.
    bool AddMediaFileToArchive(const MkString& localPath, MkString* target);
    // Media held in memory under a name that stands for a local file (ending in the
    // picture's extension): AddMediaFileToArchive takes them from here, so pictures
    // a report already holds as JPEG bytes need no temporary file. The bytes must
    // stay valid while the archive may store them.
    void ProvideMedia(const MkString& name, const unsigned char* data, size_t size);
    // Whether AddMediaFileToArchive can read `localPath`: provided media or a file.
    bool HasMediaSource(const MkString& localPath) const;
    // Next free part name of the family of `templatePath` (ppt\charts\chart1.xml,
    // ppt/charts/chart1.xml or ../charts/chart1.xml); empty on failure.
    MkString GetNextFileName(const MkString& templatePath);
    // Writes the document as a new part of the family of `type` under the next free
    // name and returns that name (as "../folder/name" when relativeTarget); empty on failure.
    MkString RenameAndSaveDocument(const MkXmlDocument& document, TargetType type, bool relativeTarget);

    // --- relationships (relsPath: internal path of a .rels part) ---
    // Targets (and ids) of the relationships whose Target contains the pattern of
    // `type`, in document order; true when any was found.
    bool GetRelsRelationFiles(const MkString& relsPath, TargetType type, MkStringArray* targets,
                              MkStringArray* ids = nullptr);
    // Adds a relationship (or, with an empty id, finds one of the same type and
    // target) and returns its Id: "rId" + (largest rId number + 1) unless `id` is
    // given. Blanks in the target become %20. Empty on failure.
    MkString AddTargetInRelsFile(const MkString& relsPath, const MkString& relationType, const MkString& target,
                                 const MkString& targetMode = MkString(), const MkString& id = MkString());
    // Sets the Target of the first relationship targeting `oldTarget`; the part is
    // written back whether or not one matched.
    bool ReplaceTargetInRelsFile(const MkString& relsPath, const MkString& oldTarget, const MkString& newTarget);
    // Removes the first relationship with that Id; the part is written back either way.
    bool RemoveRelationFromRelsFile(const MkString& relsPath, const MkString& id);
    MkString GetIdOfTarget(const MkString& relsPath, const MkString& target);
    MkString GetTargetOfId(const MkString& relsPath, const MkString& id);

    // --- clean-up ---
    // Reopens the archive and removes Override entries of parts that no longer exist.
    // False when the archive cannot be reopened or the content types not read or written.
    bool ResetContentDoc();
    // Parts to delete later (duplicates are dropped when deleting).
    void AddObsoleteFile(const MkString& path) { m_obsoleteFiles.AddGrow(path); }
    const MkStringArray& GetObsoleteFiles() const { return m_obsoleteFiles; }
    // Deletes the obsolete parts, empties the list and cleans the content types.
    // False at the first failed delete (the list is emptied too).
    virtual bool DeleteObsoleteFiles();

    // --- charts (MkOpenXMLChart.cpp) ---
    // Fills the chart at chartPath ("../charts/chart1.xml", "charts/chart1.xml" or
    // "ppt\charts\chart1.xml") and its workbook from the table (MkChartFill::Fill).
    // A chart whose workbook is linked from outside, or that has none, gets an
    // embedded workbook. False, with the reason in *why and nothing written, when
    // the table cannot fill the chart or its workbook cannot be used.
    bool UpdateChart(const MkString& chartPath, const MkChartData& data, MkString* why = nullptr);
    // What UpdateChart would do, without writing: the chart's kind ("column",
    // "stock"), and false with the reason when it cannot be filled (with data null:
    // when its kind cannot be filled by any table).
    bool CheckChart(const MkString& chartPath, const MkChartData* data, MkString* kind, MkString* why);
    // CheckChart for the charts of a tag: their kinds, each once ("column, line";
    // "no chart" for none), and false with the first reason when the table (null:
    // any table) cannot fill one.
    bool CheckCharts(const MkStringArray& parts, const kiv::rep::Table* table, MkString* kinds, MkString* why);
    // Rewrites the sheet, table part and shared strings of the chart's embedded workbook.
    bool UpdateChartWorkSheet(const MkString& chartPath, const MkChartData& data, MkString* why = nullptr);
    // Gives a copied chart its own relationships part and workbook.
    bool DuplicateChartDocuments(const MkString& chartTarget, bool markObsolete);

    // --- 3D viewer plug-in controls and embedded models (MkOpenXMLPlugin.cpp) ---
    // Sets the FileURL property of a control part (appending it when missing: then false).
    bool SetMdlxPathForPlugin(MkXmlDocument* controlPart, const MkString& modelReference);
    // Rewrites FileURL values equal to oldReference in every plug-in control part;
    // returns the number of parts written.
    int ReplacePathToMdlxFileInPlugins(const MkString& oldReference, const MkString& newReference);
    // External model files (embedded false) or reference ids of embedded models
    // (embedded true) named by the plug-in controls, appended sorted and unique;
    // returns the number appended.
    int GetReferredMdlxFiles(MkStringArray* files, bool embedded);
    // Registers an original path in the reference-id part and returns its new id
    // ("mdlx<n>") in referenceId. Result: the write of the part.
    bool UpdateMdlxPathReference(MkString* referenceId, const MkString& originalPath, bool add = true);
    // Embeds the model file a control refers to. Only regular files named *.mdlx
    // are embedded, and only from the package's own folder or from the folders
    // and files named by SetModelSources (a template may name any path). The
    // reference-id part records the file's name, never its path.
    bool EmbedMdlxInArchive(const MkString& modelReference, MkString* internalName);
    // Further places models may be embedded from: files in or below these folders
    // (the template's, one the caller names), and these files (the report's own
    // temporary model files). "/" separators.
    void SetModelSources(const std::vector<std::string>& folders, const std::vector<std::string>& files);
    // Embeds every external model the controls refer to; true when all were embedded.
    bool EmbedAllMdlxFilesInArchive(bool flag = false);
    // Relationship of an embedded model ("mdlx<n>", package relationships) or of a
    // slide ("rId<n>", main relationships); the existing id when the target is
    // already related; empty on failure.
    MkString AddFileToPresentationRels(const MkString& fileName);
    // Gives control `newControlId` its own copy of the control part of `oldControlId`,
    // pointing at the model.
    bool AddActiveXPluginFile(const MkString& relsPath, const MkString& modelReference,
                              const MkString& oldControlId, const MkString& newControlId);
    // Brings controls and model relationships of the older plug-in up to date.
    void ConvertFromOldPlugin();

    // --- paths ---
    // The part a relationship target names, as an internal path (ppt\media\image1.png):
    // relative to the folder of sourcePart (the part that holds the relationship;
    // empty for the package relationships), or from the package root when it starts
    // with "/". Percent-encoded bytes are decoded. Empty when the target leaves the
    // package, is external (has a scheme) or is empty.
    static MkString ResolveTarget(const MkString& sourcePart, const MkString& target);
    // A target relative to a part one folder below the root folder when it starts
    // with "..", else relative to the root folder (../charts/chart1.xml and
    // media/image1.png name ppt\charts\chart1.xml and word\media\image1.png).
    MkString TargetToPackagePath(const MkString& target) const;
    // The stored part of a model or reference-id relationship of the package
    // relationships, whose targets are written either from the package root
    // (ppt/mdlxFiles/mdlx1.mdlx) or, by older versions, from the root folder
    // (mdlxFiles/mdlx1.mdlx). Empty when the target leaves the package.
    MkString ModelTargetToPackagePath(const MkString& target) const;

    // --- accessors ---
    const MkString& GetRootFolder() const { return m_rootFolder; }
    const MkString& GetMediaFolder() const { return m_mediaFolder; }
    const MkString& GetMdlxFolder() const { return m_mdlxFolder; }
    const MkString& GetMainRelsPath() const { return m_mainRelsPath; }

protected:
    // Sets the folders and main relationships path of a Word ("word") or PowerPoint
    // ("ppt") package, and for "ppt" the slide and tags content types. For the
    // constructors of derived classes.
    void SetPackageFolders(const MkString& rootFolder);
    // Reads / writes a part as XML, without logging. A missing part reads as false.
    // Virtual so that an editor may keep parts it rewrites often in memory (the
    // presentation does so for the content types and the presentation part).
    virtual bool ReadPart(const MkString& path, MkXmlDocument* document);
    virtual bool WritePart(const MkString& path, const MkXmlDocument& document);
    // A part to read or change in place: the editor's own parsed copy when it keeps
    // the part in memory, else `scratch` read from the package (null when the part
    // cannot be read). A changed part is stored with SavePart. Parts as large as
    // the content types of a thousand-slide deck are then not copied per edit.
    virtual MkXmlDocument* OpenPart(const MkString& path, MkXmlDocument* scratch);
    virtual bool SavePart(const MkString& path, MkXmlDocument* document);
    // A part to read only, valid until the next call: the editor's parsed copy when
    // it has one, else `scratch` read from the package; null when unreadable.
    virtual const MkXmlDocument* ViewPart(const MkString& path, MkXmlDocument* scratch);

    // The chart part a chart path names (../charts/chart1.xml, charts/chart1.xml or
    // ppt\charts\chart1.xml), and a chart with its workbook read and, with data,
    // filled in memory (MkOpenXMLChart.cpp).
    MkString ChartPartPath(const MkString& chartPath) const;
    struct PreparedChart;
    bool PrepareChart(const MkString& chartPath, const MkChartData* data, PreparedChart* prepared, MkString* kind,
                      MkString* why);

    // The control parts under the root folder's activeX folder (internal paths, sorted).
    bool ListPluginControls(MkStringArray* parts);

    MkStringArray m_addedMediaSources;  // local paths already stored by AddMediaFileToArchive
    MkStringArray m_addedMediaTargets;  // their relationship targets, same index
    MkStringArray m_obsoleteFiles;      // parts to delete by DeleteObsoleteFiles
    MkString m_slideContentType;        // content type of kind OXML_CT_SLIDE (empty in Word)
    MkString m_tagsContentType;         // content type of kind OXML_CT_TAGS (empty in Word)
    MkString m_mainRelsPath;            // word\_rels\document.xml.rels or ppt\_rels\presentation.xml.rels
    MkString m_mdlxFolder;              // word\mdlxFiles\ or ppt\mdlxFiles\ (trailing separator)
    MkString m_rootFolder;              // "word" or "ppt"
    MkString m_mediaFolder;             // word\media\ or ppt\media\ (trailing separator)
    int m_officeVersion = 0;

private:
    // Numbers taken in the media folder by the naming rule ("image", "video"),
    // listed again only when the number of parts changed by other means (parts
    // added or deleted) and kept up to date by AddMediaFileToArchive, and
    // the index of each stored local path in m_addedMediaSources: so that adding
    // the 1000th picture costs what the 10th did.
    bool m_mediaListed = false;
    int m_mediaListedCount = 0;
    std::set<long long> m_mediaTaken[2];
    long long m_mediaFree[2] = {1, 1};  // no number below is free
    std::unordered_map<std::wstring, int> m_mediaSourceIndex;
    std::unordered_map<std::wstring, std::pair<const unsigned char*, size_t>> m_providedMedia;
    std::vector<std::string> m_modelFolders;  // resolved, with a trailing "/"
    std::vector<std::string> m_modelFiles;    // resolved
};
