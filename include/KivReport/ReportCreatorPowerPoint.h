#pragma once
#include "KivReport/KivReportExport.h"
#include "KivReport/ReportCreator.h"
// Turns a repository and a PowerPoint template (.pptx) into a PowerPoint report.
#include "host/core/KivStr.h"
#include <vector>

namespace kiv {
namespace rep {

class Repository;
class ReportCreatorPowerPointPrivate;

class KIVREPORT_API ReportCreatorPowerPoint : public ReportCreator {
public:
    // repository must not be null; the creator keeps a reference count on it
    // (and on a reference repository) while it lives. The snapshots it holds now are the ones generic
    // slides are repeated for, until setGenericSnapshotIndices says otherwise.
    ReportCreatorPowerPoint(Repository* repository, const Str& templatePath);
    ~ReportCreatorPowerPoint() override;
    ReportCreatorPowerPoint(const ReportCreatorPowerPoint&) = delete;
    ReportCreatorPowerPoint& operator=(const ReportCreatorPowerPoint&) = delete;

    // Writes the report. It is made beside outputPath and moved over it only when
    // complete, so that a failed report leaves an earlier one as it was; the
    // template itself is never overwritten.
    bool generate(const Str& outputPath);
    // The same, kept for callers built against earlier versions.
    bool generate(const Str& outputPath) const;
    // Plain-text check of the template against the repository (and the reference
    // repository); true when nothing would keep a tag from being filled.
    bool validate(Str* report) const;
    // Plain-text list of the tags and field values of each tagged slide of a template.
    static bool summarize(const Str& templatePath, Str* summary);

    // The report interface (see ReportCreator.h).
    ReportFormat format() const override { return ReportFormat::PowerPoint; }
    ReportResult generate(const Str& outputPath, const ReportOptions& options) override;
    ReportResult validate(const ReportOptions& options) override;
    using ReportCreator::summarize;

    // Snapshots that "REF_" tags address; null clears.
    void setReferenceRepository(Repository* repository);
    // 0-based snapshot indices generic slides are repeated for, in this order.
    void setGenericSnapshotIndices(const std::vector<unsigned int>& indices);
    // true (default): model files go into the report; false: they are written beside it.
    void setEmbedModels(bool embed) { setEmbedMdlx(embed); }
    // true (default): 3D-model tags show the 3D viewer; false: a picture of the model.
    void setUse3dViewer(bool use) { setUse3dPlugin(use); }
    // Older names of setEmbedModels and setUse3dViewer.
    void setEmbedMdlx(bool embed);
    void setUse3dPlugin(bool use);

private:
    ReportCreatorPowerPointPrivate* m_d;
};

}  // namespace rep
}  // namespace kiv
