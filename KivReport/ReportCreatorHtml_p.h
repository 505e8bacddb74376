#pragma once
// Data and operations of a ReportCreatorHtml.
#include "KivReport/ReportCreatorBase_p.h"
#include "KivReport/ReportCreatorHtml.h"
#include "KivReport/Repository.h"
#include "KivReport/Snapshot.h"
#include "LibCore/lfwCollection.h"
#include "impl/storage/XmlDocument.h"
#include "impl/html/HtmlDocument.h"
#include <string>
#include <string_view>
#include <vector>

namespace kiv {
namespace rep {

class ReportCreatorHtmlPrivate : public ReportCreatorBase {
public:
    ReportCreatorHtmlPrivate(Repository* repository, const Str& templatePath);

    bool validate(Str* report) const override;
    // On the template as read from its file, or as already read into opened
    // (whose groups the validation unrolls).
    bool validateTemplate(std::string& report, HtmlDocument* opened = nullptr) const;
    static bool summarize(const Str& templatePath, Str* summary, Problems& problems);
    static bool summarizeTemplate(const std::string& templatePath, std::string& summary, Problems& problems);

    void setUse3dPlugin(bool use) { use3dPlugin = use; }

    bool use3dPlugin = true;

protected:
    void applyOptions(const ReportOptions& options) override {
        ReportCreatorBase::applyOptions(options);
        use3dPlugin = options.use3dViewer;
    }
    bool makeReport(const std::string& reportFile, lfw::StagedFiles& staged) override;
};

}  // namespace rep
}  // namespace kiv
