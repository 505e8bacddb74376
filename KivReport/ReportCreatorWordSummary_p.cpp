// What summarize says of a Word template.
#include "KivReport/ReportCreatorWord_p.h"
#include "LibCore/lfwAssert.h"
#include "impl/common/TemplateTexts.h"

namespace kiv {
namespace rep {

// ---------------------------------------------------------------- summary

bool ReportCreatorWordPrivate::summarize(const Str& path, Str* summary, Problems& problems) {
    LFW_ASSERT(summary);
    if (!summary) return false;
    std::string text;
    // The path as the file system names it (bytes that are not UTF-8 kept).
    const bool result = summarizeTemplate(path.toStdString(), text, problems);
    *summary = Str(text);
    return result;
}

bool ReportCreatorWordPrivate::summarizeTemplate(const std::string& path, std::string& summary, Problems& problems) {
    summary.clear();
    OpenXMLWordArchive archive;
    archive.reportTo(&problems);
    if (!archive.open(path) || !archive.document()->getBody()) {
        summary = "Not able to open template file";
        return false;
    }
    WordDocumentContent content;
    archive.getDocumentContent(content);
    summary = TemplateTexts::summary(archive.scan(content, true), TextDialect::Word);
    return true;
}

}  // namespace rep
}  // namespace kiv
