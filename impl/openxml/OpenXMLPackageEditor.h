#pragma once
// What the Office editors share: one package (OpenXMLPackage) opened once from
// a template, edited in memory and saved once as the report, and the operations
// on top of it: the main part and its relationships, media stored once per report
// under the next free name, charts filled from tables (ChartFill) and copied
// with their workbooks, and the 3D-viewer plug-in's control parts and embedded
// models (OpenXMLPlugin.h). Charts and the plug-in are in OpenXMLEditorParts.cpp.
//
// Content types and clean-up are the package's: new parts carry their content
// type, and Save writes what a chain of relationships reaches, so a part nothing
// uses any more is not written (see OpenXMLPackage.h).
//
// Part names are the package's: "/" separators, no leading "/"
// (word/media/image1.png). Failures answer false, null or empty, and Error()
// says why for the caller to log; the plug-in operations log the model files
// and control ids they refuse.
#include "impl/common/TemplateScan.h"
#include "impl/openxml/OpenXMLPackage.h"
#include "impl/openxml/OpenXMLPlugin.h"
#include <functional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace kiv {
namespace rep {

class ChartData;
class Table;

class OpenXMLPackageEditor {
public:
    // Standard relationship types (ECMA-376, transitional).
    static constexpr const char* REL_OFFICE_DOCUMENT =
        "http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument";
    static constexpr const char* REL_IMAGE = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/image";
    static constexpr const char* REL_HYPERLINK = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/hyperlink";
    static constexpr const char* REL_CONTROL = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/control";
    static constexpr const char* REL_CHART = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/chart";
    static constexpr const char* REL_PACKAGE = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/package";
    static constexpr const char* ACTIVEX_CONTENT_TYPE = "application/vnd.ms-office.activeX+xml";
    static constexpr const char* XLSX_CONTENT_TYPE = "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet";
    static constexpr const char* MODEL_CONTENT_TYPE = "application/octet-stream";

    OpenXMLPackageEditor() = default;
    virtual ~OpenXMLPackageEditor() = default;
    OpenXMLPackageEditor(const OpenXMLPackageEditor&) = delete;
    OpenXMLPackageEditor& operator=(const OpenXMLPackageEditor&) = delete;

    // Opens a package once; its main part is the one the package relationship
    // officeDocument names. False, with Error() naming the problem, when the
    // package cannot be read or has no main part. The report path becomes path.
    virtual bool open(const std::string& path);
    bool isOpen() const { return m_main != nullptr; }
    // Where the report goes: model files are found from its folder and named by
    // their file name when they lie beside it.
    void setReportPath(const std::string& path) { m_reportPath = path; }
    const std::string& reportPath() const { return m_reportPath; }
    // Where model files may be embedded from besides the report's folder: these
    // folders and files (a template may name any path in a control).
    void setModelSources(const std::vector<std::string>& folders, const std::vector<std::string>& files) {
        m_modelSources.set(folders, files);
    }
    // What the report may still spend on reading and parsing parts.
    const std::shared_ptr<XmlMemoryBudget>& xmlBudget() const { return m_package.xmlBudget(); }
    // Writes the package to path (each part a chain of relationships reaches,
    // once). False, with Error() telling why and the file at path kept, when it
    // cannot be written. The template's digital signatures are left out, as
    // Office leaves them out of an edited document: they signed other content.
    // So is its VBA project unless the report is macro-enabled (setMacroEnabled).
    virtual bool save(const std::string& path);
    const std::string& error() const { return m_error; }
    // Where the editor and its package report problems besides Error(): the
    // list given, or the package's own.
    void reportTo(Problems* problems) { m_package.reportTo(problems); }
    Problems& getProblems() const { return m_package.getProblems(); }
    // Office keeps macros only in a macro-enabled document (.pptm, .docm), whose
    // main part's content type says so, and refuses to open a macro-free one
    // (.pptx, .docx) that holds a VBA project or has that content type. true:
    // the report gets the macro-enabled content type and keeps the template's
    // VBA project; false (the default): the macro-free content type, and the
    // VBA project (with its data and content types) is left out.
    void setMacroEnabled(bool enabled) { m_macroEnabled = enabled; }
    // What the report lost or had to change that its user should know (texts cut
    // to fit a workbook cell, signatures and macros left out), each once, in the
    // order met since Open; for the caller to log as warnings.
    const std::vector<std::string>& warnings() const { return m_warnings; }

    OpenXMLPackage& package() { return m_package; }
    OpenXMLPart* mainPart() const { return m_main; }
    // The main part's relationships; null when none is open or they cannot be read.
    OpenXMLRelationships* mainRels() const { return m_main ? m_main->rels() : nullptr; }

    // --- media ---
    // Stores the bytes of a picture (jpg, jpeg, png) or video (avi), as `name`'s
    // extension says, as <root>/media/image<n>.<ext> (video<n>.avi): n is the
    // smallest number that no media part holds after "image" ("image12.png" holds
    // 1 and 12). A name is stored once per editor. Returns the part name; empty
    // for another extension or no bytes. Borrowed bytes are not copied: the
    // caller keeps them alive and unchanged until the package is saved.
    std::string addMedia(const std::string& name, const void* data, size_t size, bool borrowed = false);

    // --- charts ---
    // Fills the chart part and its embedded workbook from the table
    // (ChartFill::Fill). A chart whose workbook is linked from outside, or that
    // has none, gets an embedded one. False, with the reason in *why and nothing
    // changed, when the table cannot fill the chart or its workbook cannot be used.
    bool updateChart(OpenXMLPart* chart, const ChartData& data, std::string* why = nullptr);
    // What updateChart would do, changing nothing: the chart's kind ("column"),
    // and false with the reason when it cannot be filled (with data null: when no
    // table can fill its kind).
    bool checkChart(OpenXMLPart* chart, const ChartData* data, std::string* kind, std::string* why);
    // checkChart for the charts of a tag: their kinds, each once ("column, line";
    // "no chart" for none), and false with the first reason.
    bool checkCharts(const std::vector<OpenXMLPart*>& charts, const kiv::rep::Table* table, std::string* kinds, std::string* why);
    // The scan's chart records: each chart tag once, in order, with the kinds of
    // the charts partsOf finds for it.
    void scanCharts(TemplateScan& scan, const std::function<std::vector<OpenXMLPart*>(const std::string&)>& partsOf);
    // A copy of the chart part under the next free name, with its relationships
    // and a copy of its embedded workbook of its own. Null, nothing added, when
    // the chart or its workbook cannot be read.
    OpenXMLPart* copyChart(OpenXMLPart* chart);

    // --- 3D viewer plug-in ---
    // The plug-in's control parts Save would write, in package order.
    std::vector<OpenXMLPart*> pluginControls();
    // Sets the FileURL property of a control part (appending it when missing: then false).
    static bool setMdlxPathForPlugin(XmlDocument* controlPart, const std::string& modelReference);
    // Rewrites FileURL values equal to oldReference; returns the number of parts changed.
    int replacePathToMdlxFileInPlugins(const std::string& oldReference, const std::string& newReference);
    // External model files (embedded false) or reference ids of embedded models
    // (embedded true) the controls name, appended sorted and unique; returns the
    // number appended.
    int getReferredMdlxFiles(std::vector<std::string>* files, bool embedded);
    // Records an original path in the reference-id part; its new id ("mdlx<n>")
    // goes to *referenceId.
    bool updateMdlxPathReference(std::string* referenceId, const std::string& originalPath);
    // Embeds a model held in memory, recording originalPath; *referenceId gets its id.
    bool embedModel(const void* data, size_t size, const std::string& originalPath, std::string* referenceId);
    // Embeds the model file a control refers to (found from the report's folder)
    // and points the controls naming it at the embedded copy, recording its file
    // name. Only regular files named *.mdlx in the report's folder or the model
    // sources are embedded.
    bool embedMdlxInArchive(const std::string& modelReference, std::string* internalName = nullptr);
    // Embeds every model file the controls refer to; true when all were embedded.
    bool embedAllMdlxFilesInArchive();
    // The package relationship of an embedded model part ("mdlx<n>"; the
    // reference-id part's "mdlxReference" comes first); the existing id when the
    // part is related already; empty on failure.
    std::string relateModel(const std::string& modelPart);
    // Gives control newControlId of `source` its own copy of the control part of
    // oldControlId, pointing at the model.
    bool addActiveXPluginFile(OpenXMLPart* source, const std::string& modelReference, const std::string& oldControlId,
                              const std::string& newControlId);
    // Brings controls and model relationships of the older plug-in up to date.
    void convertFromOldPlugin();

protected:
    bool fail(const std::string& message) const {
        m_error = message;
        return false;
    }
    struct PreparedChart;
    bool prepareChart(OpenXMLPart* chart, const ChartData* data, PreparedChart* prepared, std::string* kind, std::string* why);
    // <root>/mdlxFiles/ with its trailing "/".
    std::string modelFolder() const { return m_root + "/mdlxFiles/"; }
    // Stores a model under the next free reference id and relates it.
    bool storeModel(const std::string& bytes, const std::string& originalPath, std::string* referenceId);
    void warn(const std::string& warning);
    // Drops the digital signatures, and the VBA project unless macros are kept,
    // and gives the main part the content type that goes with that.
    void leaveOutSignaturesAndMacros();

    OpenXMLPackage m_package;
    OpenXMLPart* m_main = nullptr;
    std::string m_root;
    std::string m_reportPath;
    OpenXMLPlugin::ModelSources m_modelSources;
    mutable std::string m_error;
    bool m_macroEnabled = false;
    std::vector<std::string> m_warnings;

private:
    // Numbers the media part names hold ("image", "video"), read from the package
    // on first use and kept up to date, the search for a free one going on from
    // where it ended; and the part of each stored name.
    bool m_mediaListed = false;
    std::set<long long> m_mediaTaken[2];
    long long m_mediaFree[2] = {1, 1};
    std::unordered_map<std::string, std::string> m_media;
};

}  // namespace rep
}  // namespace kiv
