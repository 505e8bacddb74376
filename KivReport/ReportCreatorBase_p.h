#pragma once
// What every report creator shares: the repositories and their snapshots, the
// snapshots generic parts repeat over, the start-up check, and making the report
// beside the output so that a failed report leaves an earlier one as it was.
#include "KivReport/ReportCreator.h"
#include "KivReport/Repository.h"
#include "KivReport/Snapshot.h"
#include "LibCore/lfwCollection.h"
#include "impl/common/FormattedText.h"
#include "impl/common/NoThrow.h"
#include "impl/common/ReportLog.h"
#include "impl/common/TemplateTexts.h"
#include "LibCore/lfwStagedFiles.h"
#include "LibCore/lfwString.h"
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace kiv {
namespace rep {

// The problems the creators hand the layers below: each is logged as it comes,
// in its order among the creators' own messages.
class LoggedProblems : public Problems {
public:
    LoggedProblems() : Problems(logProblem) {}
};

// Small helpers the Office creators share.
namespace creator {
// The text with the snapshot's field-value macros expanded, values as written.
std::string expanded(Problems& problems, const Snapshot* snapshot, const Str& text);
// Office text runs, values as written and line ends as line breaks: of a title
// or field value (plain text), and of a description (marked-up text).
FormattedTextArray titleRuns(Problems& problems, const Snapshot* snapshot);
FormattedTextArray descriptionRuns(Problems& problems, const Snapshot* snapshot);
FormattedTextArray valueRuns(const std::string& value);
// The folder of a '/'-separated path ("." when it has none), and its file name
// without the last extension (model files are named after the report beside it).
std::string folderOf(const std::string& path);
std::string stemOf(const std::string& path);
// Whether a report of that name is a macro-enabled Office document (.pptm, .potm,
// .ppsm, .docm, .dotm), the only kind that keeps the template's macros.
bool macroEnabledName(const std::string& path);
// A zip package starts with a local file header (or, when empty, the end
// record); true too for a file that cannot be read (the copy reports it).
bool looksLikeZip(const char* path);
}  // namespace creator

// The pictures snapshots show (an image snapshot's image, the preview stored with
// a model) as JPEG bytes, each encoded once per report and kept in place until
// the report is done, so that the packages store them without temporary files.
// Snapshots showing the same picture share one: the same bytes (as a repository
// shares one picture among its snapshots) or equal bytes get one name, and a
// package stores the picture once.
class PictureBytes {
public:
    // Pictures that cannot be encoded are reported to the list.
    explicit PictureBytes(Problems& problems) : m_problems(problems) {}
    struct Picture {
        std::string name;  // stands for a file of the picture: "memory:picture<n>.jpg"
        int width = 0;
        int height = 0;
        // The JPEG bytes: those the snapshot's image was read from (the repository
        // keeps them while a report is made), else the encoding held in `encoded`.
        const unsigned char* data = nullptr;
        size_t size = 0;
        std::vector<unsigned char> encoded;
    };
    // The snapshot's picture; null when it has none or it cannot be encoded.
    const Picture* of(const Snapshot* snapshot);

private:
    // The picture already given out with these bytes, or null (*hash is then
    // that of the bytes).
    Picture* known(const unsigned char* data, size_t size, size_t* hash);

    Problems& m_problems;
    std::unordered_map<std::uintptr_t, Picture*> m_pictures;  // by snapshot; null for none
    std::vector<std::unique_ptr<Picture>> m_distinct;
    // The distinct pictures by where their bytes lie, and by a hash of them.
    std::map<std::pair<std::uintptr_t, size_t>, Picture*> m_byData;
    std::unordered_multimap<size_t, Picture*> m_byHash;
};

class ReportCreatorBase {
public:
    ReportCreatorBase(Repository* repository, const Str& templatePath);
    virtual ~ReportCreatorBase() = default;
    ReportCreatorBase(const ReportCreatorBase&) = delete;
    ReportCreatorBase& operator=(const ReportCreatorBase&) = delete;

    // Checks start-up, gathers the snapshots, refuses to write over the template
    // (or any other input), then lets makeReport write the report into a file
    // staged beside the output (makeReport may stage more files, such as
    // pictures) and moves them all into place only when it succeeded. Never throws.
    bool generate(const Str& outputPath);

    void setReferenceRepository(Repository* repository) { referenceRepository = repository; }
    void setGenericSnapshotIndices(const std::vector<unsigned int>& indices);
    // Selects every snapshot of the repository, in order.
    void selectAll();

    // The calls of the report interface: the options replace the settings, and
    // the result holds the problems the call reported, the snapshots left out
    // and the files written.
    ReportResult generateReport(const Str& outputPath, const ReportOptions& options);
    ReportResult checkTemplate(const ReportOptions& options, const std::function<bool(Str*)>& validate);
    // Runs work, never throwing, and returns its success with the problems it
    // reported to the list (the creator's own list starts each call empty).
    ReportResult captured(const std::function<bool(ReportResult&)>& work);
    // The calls that answer true or false; each starts the creator's list afresh.
    bool generateOnly(const Str& outputPath) {
        problems.clear();
        return generate(outputPath);
    }
    bool validateOnly(Str* report) const {
        problems.clear();
        return callNoThrow("Template validation", &problems, [&]() { return validate(report); });
    }
    static ReportResult captured(Problems& problems, const std::function<bool(ReportResult&)>& work);

    // What the creator's calls report: each problem is logged as it comes (the
    // library's one log) and kept for the result of the call.
    mutable LoggedProblems problems;
    bool reportError(ProblemCode code, const lfw::String& message) const {
        problems.error(code, message.toStdString());
        return false;
    }
    void reportWarning(ProblemCode code, const lfw::String& message) const { problems.warning(code, message.toStdString()); }
    // Names the snapshot among those whose content the report leaves out.
    void leaveOut(const Snapshot* snapshot);

    // The repository's snapshots in order; empty for a null repository.
    static void gatherSnapshots(const Repository* repository, lfw::Collection<const Snapshot>* snapshots);
    // false, with the error reported, before ReportComponent::initialize.
    static bool checkInitialized(Problems& problems);

    // With true, a report some of whose snapshots could not be shown (leftOut)
    // is still written, with a warning naming them; otherwise it fails.
    bool acceptPartialReport = false;
    // With true, a report that leaves tags unfilled fails instead of warning.
    bool strict = false;
    // Set by makeReport when the template holds no tag at all, and when it holds "REF_" tags.
    bool templateWithoutTags = false;
    bool templateWithReferenceTags = false;
    // Names of the snapshots whose content the last report could not show.
    std::vector<std::string> leftOut;
    // The files the last report wrote, the report first.
    std::vector<std::string> written;

    PtrRef<Repository> repository;
    PtrRef<Repository> referenceRepository;
    std::string templatePath;  // UTF-8, as Str::toStdString gives paths (any bytes kept)
    std::string outputPath;
    std::vector<int> genericSnapshotIndices;

protected:
    // The format's own options (the base takes the reference repository, the
    // snapshots and whether a partial report is accepted).
    virtual void applyOptions(const ReportOptions& options);
    // Writes the report to reportFile (already created, empty). snapshots and
    // referenceSnapshots hold the repositories' snapshots.
    virtual bool makeReport(const std::string& reportFile, lfw::StagedFiles& staged) = 0;
    // The template checked against the repositories: the format's validation text.
    virtual bool validate(Str* report) const = 0;
    // The lines of a validation text that name tags a report leaves as the
    // template has them, each once, in the validation's words.
    static std::vector<std::string> unfilledTags(const std::string& validation);
    // The validation text of the template that makeReport had open, which generate
    // then warns from instead of opening the template again to validate it.
    void keepValidation(const Str& text) {
        validation = text;
        validationKept = true;
    }
    // What validation reads besides the scan: these snapshots, the selection and
    // whether a reference repository was given (the chart check is the format's).
    TemplateTexts::ValidationInput validationInput(const lfw::Collection<const Snapshot>& main,
                                                   const lfw::Collection<const Snapshot>& reference) const;
    // false, with the error logged, when a selected snapshot is beyond the repository.
    bool checkSelection() const;
    // Further files the report must not overwrite (the template always counts).
    virtual std::vector<std::string> inputFiles() const { return {}; }

    lfw::Collection<const Snapshot> snapshots;
    lfw::Collection<const Snapshot> referenceSnapshots;

private:
    Str validation;
    bool validationKept = false;
};

}  // namespace rep
}  // namespace kiv
