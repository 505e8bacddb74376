#include "KivReport/ReportCreatorWord.h"
#include "KivReport/ReportCreatorWord_p.h"
#include "impl/common/NoThrow.h"

namespace kiv {
namespace rep {

ReportCreatorWord::ReportCreatorWord(Repository* repository, const Str& templatePath)
    : m_d(new ReportCreatorWordPrivate(repository, templatePath)) {}

ReportCreatorWord::~ReportCreatorWord() { delete m_d; }

bool ReportCreatorWord::generate(const Str& outputPath) { return m_d->generate(outputPath); }

bool ReportCreatorWord::generate(const Str& outputPath) const { return m_d->generate(outputPath); }

bool ReportCreatorWord::validate(Str* report) const {
    return callNoThrow("Template validation", [&]() { return m_d->validate(report); });
}

bool ReportCreatorWord::summarize(const Str& templatePath, Str* summary) {
    return callNoThrow("Template summary", [&]() { return ReportCreatorWordPrivate::summarize(templatePath, summary); });
}

void ReportCreatorWord::setReferenceRepository(Repository* repository) { m_d->setReferenceRepository(repository); }

void ReportCreatorWord::setGenericSnapshotIndices(const std::vector<unsigned int>& indices) {
    m_d->setGenericSnapshotIndices(indices);
}

void ReportCreatorWord::setEmbedMdlx(bool embed) { m_d->embedMdlx = embed; }

void ReportCreatorWord::setUse3dPlugin(bool use) { m_d->use3dPlugin = use; }

ReportResult ReportCreatorWord::generate(const Str& outputPath, const ReportOptions& options) {
    return m_d->generateReport(outputPath, options);
}

ReportResult ReportCreatorWord::validate(const ReportOptions& options) {
    return m_d->checkTemplate(options, [this](Str* report) { return m_d->validate(report); });
}

} // namespace rep
} // namespace kiv
