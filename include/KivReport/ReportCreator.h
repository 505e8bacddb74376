#pragma once
#include "KivReport/KivReportExport.h"
#include "KivReport/Problem.h"
// One interface for the HTML, PowerPoint and Word report creators: a creator
// chosen by the template, the same options in every format, and results as
// values. Ownership: create() hands the caller the creator (a unique_ptr); a
// creator keeps a reference count on each repository it is given for as long as
// it uses it; a result owns copies of its texts.
#include "host/core/KivStr.h"
#include <cstddef>
#include <memory>
#include <vector>

namespace kiv {
namespace rep {

class Repository;
class ReportResultData;

enum class ReportFormat { Unknown, Html, PowerPoint, Word };

// What every format honours. The defaults make a complete report of every
// snapshot, with the 3D viewer and the model files in the report.
struct KIVREPORT_API ReportOptions {
    // Snapshots that "REF_" tags address; null for none. Not owned.
    Repository* referenceRepository = nullptr;
    // 0-based indices of the snapshots that generic groups and slides repeat over,
    // in this order for HTML and in the repository's order for PowerPoint and
    // Word; empty: every snapshot of the repository.
    std::vector<unsigned int> snapshots;
    // true: 3D-model tags show the online 3D viewer; false: a picture of the model.
    bool use3dViewer = true;
    // true: PowerPoint and Word reports hold the model files; false: the files are
    // written beside the report. HTML reports show models through the viewer's
    // link and never hold model files.
    bool embedModels = true;
    // false: a report some of whose content cannot be made (a picture a snapshot
    // lacks, a model preview that cannot be read) fails. true: it is written
    // without that content, and the result names those snapshots.
    bool acceptPartialReport = false;
    // false: a report that leaves tags as the template has them (a snapshot number
    // beyond the repository, a field the snapshot lacks, a kind it cannot show)
    // is written, with a warning per tag in the words validate uses. true: such a
    // report fails instead, and nothing is written.
    bool strict = false;
};

// What a report call did. Copies are independent.
class KIVREPORT_API ReportResult {
public:
    enum Level { Error = 1, Warning = 2 };

    ReportResult();
    ~ReportResult();
    ReportResult(const ReportResult& other);
    ReportResult& operator=(const ReportResult& other);

    bool succeeded() const;
    explicit operator bool() const { return succeeded(); }
    // The errors and warnings, in the order logged, with the texts the log got.
    size_t messageCount() const;
    Level messageLevel(size_t index) const;  // Error for an index past the end
    Str message(size_t index) const;         // empty for an index past the end
    // The kind of the message (General when no more specific one applies; None
    // for an index past the end).
    ProblemCode messageCode(size_t index) const;
    size_t errorCount() const;
    size_t warningCount() const;
    // Names of the snapshots whose content a partial report left out.
    size_t leftOutCount() const;
    Str leftOut(size_t index) const;
    // Files written, the report first (then its pictures and model files).
    size_t fileCount() const;
    Str file(size_t index) const;
    // The validation report or the template summary; empty after generate.
    Str text() const;

    // For callers that add steps of their own to a result (such as a PDF copy).
    void setSucceeded(bool succeeded);
    void addMessage(Level level, const Str& text);  // of kind General
    void addMessage(Level level, const Str& text, ProblemCode code);
    void addLeftOut(const Str& snapshotName);
    void addFile(const Str& path);
    void setText(const Str& text);

private:
    ReportResultData* m_d;
};

class KIVREPORT_API ReportCreator {
public:
    virtual ~ReportCreator();

    // The format of a template: by its extension (.html, .htm, .pptx, .pptm, .docx,
    // .docm), and for a package with another extension by the main part its
    // content types name. Unknown for anything else or a file that cannot be read.
    static ReportFormat formatOf(const Str& templatePath);
    // The creator of the template's format; null, with the error logged, for an
    // unknown format or a null repository.
    static std::unique_ptr<ReportCreator> create(Repository* repository, const Str& templatePath);
    // The summary of a template of any format (in text()).
    static ReportResult summarize(const Str& templatePath);

    virtual ReportFormat format() const = 0;
    // Writes the report with these options, which replace the creator's settings.
    virtual ReportResult generate(const Str& outputPath, const ReportOptions& options) = 0;
    // The template checked against the repository (and the options' reference
    // repository and snapshots); the report is in text(). succeeded() is what the
    // format's validate(Str*) returns.
    virtual ReportResult validate(const ReportOptions& options) = 0;

protected:
    ReportCreator() = default;
    ReportCreator(const ReportCreator&) = delete;
    ReportCreator& operator=(const ReportCreator&) = delete;
};

}  // namespace rep
}  // namespace kiv
