#include "KivReport/ReportCreatorWord.h"
#include "KivReport/ReportCreatorWord_p.h"
#include "LibCore/lfwFile.h"
#include "impl/common/NoThrow.h"
#include "impl/docx/WordMarkers.h"
#include "impl/common/ReportLog.h"

namespace kiv {
namespace rep {

ReportCreatorWord::ReportCreatorWord(Repository* repository, const Str& templatePath)
    : m_d(new ReportCreatorWordPrivate(repository, templatePath)) {}

ReportCreatorWord::~ReportCreatorWord() { delete m_d; }

bool ReportCreatorWord::generate(const Str& outputPath) { return m_d->generateOnly(outputPath); }

bool ReportCreatorWord::generate(const Str& outputPath) const { return m_d->generateOnly(outputPath); }

bool ReportCreatorWord::validate(Str* report) const { return m_d->validateOnly(report); }

bool ReportCreatorWord::summarize(const Str& templatePath, Str* summary) {
    LoggedProblems problems;
    return callNoThrow("Template summary", &problems,
                       [&]() { return ReportCreatorWordPrivate::summarize(templatePath, summary, problems); });
}

ReportResult ReportCreatorWord::convertMarkers(const Str& documentPath, const Str& outputPath) {
    LoggedProblems problems;
    const auto reportError = [&problems](ProblemCode code, const lfw::String& message) {
        problems.error(code, message.toStdString());
    };
    const auto reportWarning = [&problems](ProblemCode code, const lfw::String& message) {
        problems.warning(code, message.toStdString());
    };
    return ReportCreatorBase::captured(problems, [&](ReportResult& result) {
        const std::string input = documentPath.toStdString(), output = outputPath.toStdString();
        if (lfw::FileSystem::sameFile(input, output)) {
            reportError(ProblemCode::InvalidArgument, lfw::String("Template not written: %1 is the document itself").arg(output));
            return false;
        }
        OpenXMLPackage package;
        package.reportTo(&problems);
        if (!package.open(input)) {
            reportError(ProblemCode::FileNotFound, lfw::String("Cannot read %1: %2").arg(input).arg(package.error()));
            return false;
        }
        WordMarkerResult converted;
        std::string error;
        if (!convertWordMarkers(package, &converted, &error)) {
            reportError(ProblemCode::TemplateMarkup, lfw::String("Template not written: %1").arg(error));
            return false;
        }
        for (const std::string& warning : converted.warnings) reportWarning(ProblemCode::TemplateMarkup, lfw::String(warning));
        if (converted.controls == 0 && converted.groups == 0)
            reportWarning(ProblemCode::TagUnfilled,
                          lfw::String("%1 holds no marker such as {SIT1_TITLE}: the template has no tag").arg(input));
        if (!package.save(output)) {
            reportError(ProblemCode::WriteFailed, lfw::String("Cannot write %1: %2").arg(output).arg(package.error()));
            return false;
        }
        result.addFile(outputPath);
        result.setText(Str(std::to_string(converted.controls) + (converted.controls == 1 ? " control, " : " controls, ") +
                           std::to_string(converted.groups) + (converted.groups == 1 ? " group\n" : " groups\n")));
        return true;
    });
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

}  // namespace rep
}  // namespace kiv
