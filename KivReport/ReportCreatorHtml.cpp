#include "KivReport/ReportCreatorHtml.h"
#include "KivReport/ReportCreatorHtml_p.h"
#include "impl/common/NoThrow.h"

namespace kiv {
namespace rep {

ReportCreatorHtml::ReportCreatorHtml(Repository* repository, const Str& templatePath)
    : m_d(new ReportCreatorHtmlPrivate(repository, templatePath)) {}

ReportCreatorHtml::~ReportCreatorHtml() { delete m_d; }

bool ReportCreatorHtml::generate(const Str& outputPath) { return m_d->generateOnly(outputPath); }

bool ReportCreatorHtml::generate(const Str& outputPath) const { return m_d->generateOnly(outputPath); }

bool ReportCreatorHtml::validate(Str* report) const { return m_d->validateOnly(report); }

bool ReportCreatorHtml::summarize(const Str& templatePath, Str* summary) {
    LoggedProblems problems;
    return callNoThrow("Template summary", &problems,
                       [&]() { return ReportCreatorHtmlPrivate::summarize(templatePath, summary, problems); });
}

void ReportCreatorHtml::setReferenceRepository(Repository* repository) { m_d->setReferenceRepository(repository); }

void ReportCreatorHtml::setGenericSnapshotIndices(const std::vector<unsigned int>& indices) {
    m_d->setGenericSnapshotIndices(indices);
}

void ReportCreatorHtml::setUse3dPlugin(bool use) { m_d->setUse3dPlugin(use); }

void ReportCreatorHtml::setAcceptPartialReport(bool accept) { m_d->acceptPartialReport = accept; }

ReportResult ReportCreatorHtml::generate(const Str& outputPath, const ReportOptions& options) {
    return m_d->generateReport(outputPath, options);
}

ReportResult ReportCreatorHtml::validate(const ReportOptions& options) {
    return m_d->checkTemplate(options, [this](Str* report) { return m_d->validate(report); });
}

}  // namespace rep
}  // namespace kiv
