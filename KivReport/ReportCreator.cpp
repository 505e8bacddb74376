#include "KivReport/ReportCreator.h"
#include "KivReport/ReportCreatorBase_p.h"
#include "KivReport/ReportCreatorHtml.h"
#include "KivReport/ReportCreatorPowerPoint.h"
#include "KivReport/ReportCreatorWord.h"
#include "KivReport/ReportCreatorHtml_p.h"
#include "KivReport/ReportCreatorPowerPoint_p.h"
#include "KivReport/ReportCreatorWord_p.h"
#include "LibCore/lfwFile.h"
#include "impl/storage/ZipArchive.h"
#include "impl/common/ReportLog.h"
#include <string>
#include <vector>

namespace kiv {
namespace rep {

namespace {
struct ResultMessage {
    int level;
    Str text;
    ProblemCode code;
};

Str at(const std::vector<Str>& list, size_t index) { return index < list.size() ? list[index] : Str(); }

// The format whose main part the package's content types name.
ReportFormat packageFormat(const std::string& path) {
    if (!ZipArchive::fileLooksLikeZip(path.c_str())) return ReportFormat::Unknown;
    LoggedProblems logged;
    ZipArchive package(&logged);
    const std::string types = "[Content_Types].xml";
    std::string text;
    if (!package.open(path, ZIP_OPEN_READ_ONLY) || package.findFile(types) < 0 || !package.readDataInto(types, &text, 1u << 20))
        return ReportFormat::Unknown;
    static const char* const presentations[] = {"presentationml.presentation.main+xml",
                                                "presentationml.template.main+xml",
                                                "presentationml.slideshow.main+xml",
                                                "ms-powerpoint.presentation.macroEnabled.main+xml",
                                                "ms-powerpoint.template.macroEnabled.main+xml",
                                                "ms-powerpoint.slideshow.macroEnabled.main+xml"};
    static const char* const documents[] = {"wordprocessingml.document.main+xml", "wordprocessingml.template.main+xml",
                                            "ms-word.document.macroEnabled.main+xml",
                                            "ms-word.template.macroEnabledTemplate.main+xml"};
    for (const char* type : presentations)
        if (text.find(type) != std::string::npos) return ReportFormat::PowerPoint;
    for (const char* type : documents)
        if (text.find(type) != std::string::npos) return ReportFormat::Word;
    return ReportFormat::Unknown;
}

void reportUnknown(Problems& problems, const Str& templatePath) {
    problems.error(ProblemCode::WrongContent,
                   lfw::String("Unknown template type: %1 (expected .html, .htm, .pptx, .pptm, .docx, .docm or another "
                               "Office package)")
                       .arg(templatePath.toStdString())
                       .toStdString());
}
}  // namespace

class ReportResultData {
public:
    bool succeeded = false;
    std::vector<ResultMessage> messages;
    std::vector<Str> leftOut, files;
    Str text;
};

// ---------------------------------------------------------------- ReportResult

ReportResult::ReportResult() : m_d(new ReportResultData) {}
ReportResult::~ReportResult() { delete m_d; }
ReportResult::ReportResult(const ReportResult& other) : m_d(new ReportResultData(*other.m_d)) {}
ReportResult& ReportResult::operator=(const ReportResult& other) {
    if (this != &other) *m_d = *other.m_d;
    return *this;
}

bool ReportResult::succeeded() const { return m_d->succeeded; }
size_t ReportResult::messageCount() const { return m_d->messages.size(); }
ReportResult::Level ReportResult::messageLevel(size_t index) const {
    return index < m_d->messages.size() && m_d->messages[index].level == Warning ? Warning : Error;
}
Str ReportResult::message(size_t index) const { return index < m_d->messages.size() ? m_d->messages[index].text : Str(); }
ProblemCode ReportResult::messageCode(size_t index) const {
    return index < m_d->messages.size() ? m_d->messages[index].code : ProblemCode::None;
}
size_t ReportResult::errorCount() const { return messageCount() - warningCount(); }
size_t ReportResult::warningCount() const {
    size_t count = 0;
    for (const ResultMessage& message : m_d->messages) count += message.level == Warning;
    return count;
}
size_t ReportResult::leftOutCount() const { return m_d->leftOut.size(); }
Str ReportResult::leftOut(size_t index) const { return at(m_d->leftOut, index); }
size_t ReportResult::fileCount() const { return m_d->files.size(); }
Str ReportResult::file(size_t index) const { return at(m_d->files, index); }
Str ReportResult::text() const { return m_d->text; }

void ReportResult::setSucceeded(bool succeeded) { m_d->succeeded = succeeded; }
void ReportResult::addMessage(Level level, const Str& text) { addMessage(level, text, ProblemCode::General); }
void ReportResult::addMessage(Level level, const Str& text, ProblemCode code) {
    m_d->messages.push_back({level == Warning ? Warning : Error, text, code});
}
void ReportResult::addLeftOut(const Str& snapshotName) { m_d->leftOut.push_back(snapshotName); }
void ReportResult::addFile(const Str& path) { m_d->files.push_back(path); }
void ReportResult::setText(const Str& text) { m_d->text = text; }

// ---------------------------------------------------------------- ReportCreator

ReportCreator::~ReportCreator() = default;

ReportFormat ReportCreator::formatOf(const Str& templatePath) {
    const std::string path = templatePath.toStdString();
    const std::string extension = lfw::FileSystem::lowerExtension(path);
    if (extension == ".html" || extension == ".htm") return ReportFormat::Html;
    if (extension == ".pptx" || extension == ".pptm") return ReportFormat::PowerPoint;
    if (extension == ".docx" || extension == ".docm") return ReportFormat::Word;
    return packageFormat(path);
}

std::unique_ptr<ReportCreator> ReportCreator::create(Repository* repository, const Str& templatePath) {
    LoggedProblems problems;
    if (!repository) {
        problems.error(ProblemCode::InvalidArgument, "No repository given for the report.");
        return nullptr;
    }
    switch (formatOf(templatePath)) {
    case ReportFormat::Html: return std::unique_ptr<ReportCreator>(new ReportCreatorHtml(repository, templatePath));
    case ReportFormat::PowerPoint: return std::unique_ptr<ReportCreator>(new ReportCreatorPowerPoint(repository, templatePath));
    case ReportFormat::Word: return std::unique_ptr<ReportCreator>(new ReportCreatorWord(repository, templatePath));
    case ReportFormat::Unknown: break;
    }
    reportUnknown(problems, templatePath);
    return nullptr;
}

ReportResult ReportCreator::summarize(const Str& templatePath) {
    LoggedProblems problems;
    return ReportCreatorBase::captured(problems, [&](ReportResult& result) {
        Str summary;
        bool ok = false;
        switch (formatOf(templatePath)) {
        case ReportFormat::Html: ok = ReportCreatorHtmlPrivate::summarize(templatePath, &summary, problems); break;
        case ReportFormat::PowerPoint: ok = ReportCreatorPowerPointPrivate::summarize(templatePath, &summary, problems); break;
        case ReportFormat::Word: ok = ReportCreatorWordPrivate::summarize(templatePath, &summary, problems); break;
        case ReportFormat::Unknown: reportUnknown(problems, templatePath); break;
        }
        result.setText(summary);
        return ok;
    });
}

}  // namespace rep
}  // namespace kiv
