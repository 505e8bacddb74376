#pragma once
#include "KivReport/KivReportExport.h"
#include "KivReport/ReportCreator.h"
// Turns a repository and an HTML template into an HTML report, and checks or
// describes HTML templates.
#include "host/core/KivStr.h"
#include <vector>

namespace kiv {
namespace rep {

class Repository;
class ReportCreatorHtmlPrivate;

class KIVREPORT_API ReportCreatorHtml : public ReportCreator {
public:
    // repository must not be null; the creator keeps a reference count on it
    // (and on a reference repository) while it lives. The snapshots it holds now are the ones
    // generic groups repeat over, until setGenericSnapshotIndices says otherwise.
    ReportCreatorHtml(Repository* repository, const Str& templatePath);
    ~ReportCreatorHtml() override;
    ReportCreatorHtml(const ReportCreatorHtml&) = delete;
    ReportCreatorHtml& operator=(const ReportCreatorHtml&) = delete;

    // Writes the report and, beside it, the JPEG files its pictures show.
    bool generate(const Str& outputPath);
    // The same, kept for callers built against earlier versions.
    bool generate(const Str& outputPath) const;
    // Plain-text check of the template against the repository (and the reference
    // repository); true when one of the two passes found nothing to report.
    bool validate(Str* report) const;
    // Plain-text list of the groups, tags and field values of a template that is well-formed XML.
    static bool summarize(const Str& templatePath, Str* summary);

    // The report interface (see ReportCreator.h).
    ReportFormat format() const override { return ReportFormat::Html; }
    ReportResult generate(const Str& outputPath, const ReportOptions& options) override;
    ReportResult validate(const ReportOptions& options) override;
    using ReportCreator::summarize;

    // Snapshots that "REF_" tags address; null clears.
    void setReferenceRepository(Repository* repository);
    // 0-based snapshot indices generic groups repeat over, in this order.
    void setGenericSnapshotIndices(const std::vector<unsigned int>& indices);
    // true (default): 3D-model tags show the online viewer; false: a picture.
    void setUse3dViewer(bool use) { setUse3dPlugin(use); }
    // Older name of setUse3dViewer.
    void setUse3dPlugin(bool use);
    // false (default): a report in which some snapshot's picture could not be
    // made (a model preview that cannot be read) fails. true: it is written
    // without that content, with a warning naming those snapshots.
    void setAcceptPartialReport(bool accept);

private:
    ReportCreatorHtmlPrivate* m_d;
};

}  // namespace rep
}  // namespace kiv
