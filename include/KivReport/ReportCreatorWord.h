#pragma once
#include "KivReport/KivReportExport.h"
#include "KivReport/ReportCreator.h"
// Turns a repository and a Word template (.docx) into a Word report, and checks
// or describes Word templates. Tags are the tags of content controls and the
// names of 3D-viewer controls; a content control marked as a group is repeated
// once per selected snapshot.
#include "host/core/KivStr.h"
#include <vector>

namespace kiv {
namespace rep {

class Repository;
class ReportCreatorWordPrivate;

class KIVREPORT_API ReportCreatorWord : public ReportCreator {
public:
    // repository must not be null; the creator keeps a reference count on it
    // (and on a reference repository) while it lives. The snapshots it holds now are the ones
    // groups repeat over, until setGenericSnapshotIndices says otherwise.
    ReportCreatorWord(Repository* repository, const Str& templatePath);
    ~ReportCreatorWord() override;
    ReportCreatorWord(const ReportCreatorWord&) = delete;
    ReportCreatorWord& operator=(const ReportCreatorWord&) = delete;

    // Writes the report. An earlier file at outputPath stays as it was unless the
    // whole report could be made.
    bool generate(const Str& outputPath);
    // The same, kept for callers built against earlier versions.
    bool generate(const Str& outputPath) const;
    // Plain-text check of the template against the repository (and the reference
    // repository); true when every picture, table, chart, model, text and title tag passed.
    bool validate(Str* report) const;
    // Plain-text list of the groups and the tags of a template.
    static bool summarize(const Str& templatePath, Str* summary);
    // Turns the text markers of a Word document ("{SIT1_TITLE}", "{SIT_PICTURE}",
    // "{SIT_$KEY}", "{GROUP name}" ... "{/GROUP}"; see the README) into tagged
    // content controls, so that a template written in any editor works, and
    // writes the template to outputPath. The result names the file written and
    // holds a warning for each marker left as written; it fails, writing
    // nothing, for a file that is no Word document or group markers that do not
    // pair up. text() tells how many controls and groups were made.
    static ReportResult convertMarkers(const Str& documentPath, const Str& outputPath);

    // The report interface (see ReportCreator.h).
    ReportFormat format() const override { return ReportFormat::Word; }
    ReportResult generate(const Str& outputPath, const ReportOptions& options) override;
    ReportResult validate(const ReportOptions& options) override;
    using ReportCreator::summarize;

    // Snapshots that "REF_" tags address; null clears.
    void setReferenceRepository(Repository* repository);
    // 0-based snapshot indices groups repeat over, in this order.
    void setGenericSnapshotIndices(const std::vector<unsigned int>& indices);
    // true (default): model files go into the report; false: they are written beside it.
    void setEmbedModels(bool embed) { setEmbedMdlx(embed); }
    // true (default): 3D-model tags show the 3D viewer; false: a picture of the model.
    void setUse3dViewer(bool use) { setUse3dPlugin(use); }
    // Older names of setEmbedModels and setUse3dViewer.
    void setEmbedMdlx(bool embed);
    void setUse3dPlugin(bool use);

private:
    ReportCreatorWordPrivate* m_d;
};

}  // namespace rep
}  // namespace kiv
