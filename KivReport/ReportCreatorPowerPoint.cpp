#include "KivReport/ReportCreatorPowerPoint.h"
#include "KivReport/ReportCreatorPowerPoint_p.h"
#include "impl/common/NoThrow.h"

namespace kiv {
namespace rep {

ReportCreatorPowerPoint::ReportCreatorPowerPoint(Repository* repository, const Str& templatePath)
    : m_d(new ReportCreatorPowerPointPrivate(repository, templatePath)) {}

ReportCreatorPowerPoint::~ReportCreatorPowerPoint() { delete m_d; }

bool ReportCreatorPowerPoint::generate(const Str& outputPath) { return m_d->generateOnly(outputPath); }

bool ReportCreatorPowerPoint::generate(const Str& outputPath) const { return m_d->generateOnly(outputPath); }

bool ReportCreatorPowerPoint::validate(Str* report) const { return m_d->validateOnly(report); }

bool ReportCreatorPowerPoint::summarize(const Str& templatePath, Str* summary) {
    LoggedProblems problems;
    return callNoThrow("Template summary", &problems,
                       [&]() { return ReportCreatorPowerPointPrivate::summarize(templatePath, summary, problems); });
}

void ReportCreatorPowerPoint::setReferenceRepository(Repository* repository) { m_d->setReferenceRepository(repository); }

void ReportCreatorPowerPoint::setGenericSnapshotIndices(const std::vector<unsigned int>& indices) {
    m_d->setGenericSnapshotIndices(indices);
}

void ReportCreatorPowerPoint::setEmbedMdlx(bool embed) { m_d->embedMdlx = embed; }

void ReportCreatorPowerPoint::setUse3dPlugin(bool use) { m_d->use3dPlugin = use; }

ReportResult ReportCreatorPowerPoint::generate(const Str& outputPath, const ReportOptions& options) {
    return m_d->generateReport(outputPath, options);
}

ReportResult ReportCreatorPowerPoint::validate(const ReportOptions& options) {
    return m_d->checkTemplate(options, [this](Str* report) { return m_d->validate(report); });
}

}  // namespace rep
}  // namespace kiv
