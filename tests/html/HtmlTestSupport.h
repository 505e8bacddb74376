#pragma once
// Snapshots, collections and documents for the HTML report tests.
#include "KivReport/Snapshot.h"
#include "impl/html/HtmlDocument.h"
#include "impl/common/ReportLog.h"
#include "support/Builders.h"
#include "support/TestSupport.h"
#include <string>
#include <vector>

namespace htmltest {

using kiv::Str;
using kiv::rep::HtmlDocument;
using kiv::rep::Snapshot;
using kivtest::Snapshots;

inline bool fileExists(const std::string& path) { return !kivtest::readFile(path).empty(); }

inline std::string sit(const std::string& name, const std::string& content = "") {
    return "<orvrepsit name=\"" + name + "\">" + content + "</orvrepsit>";
}

using kivtest::collection;
using kivtest::imageSnapshot;
using kivtest::modelSnapshot;
using kivtest::previewModelSnapshot;
using kivtest::tableSnapshot;
using kivtest::textSnapshot;

// A document whose problems reach the log the test reads.
class TestDocument : public HtmlDocument {
public:
    explicit TestDocument(const Str& path) : HtmlDocument(path) { reportTo(&m_logged); }

private:
    kiv::rep::Problems m_logged{kiv::rep::logProblem};
};

// Processes html as the document <dir>/<fileName> and returns what was saved.
inline std::string fill(const kivtest::TempDir& dir, const std::string& html, const Snapshots& snapshots,
                        const Snapshots& references, const std::vector<int>& indices, bool use3dPlugin, bool* result = nullptr,
                        const std::string& fileName = "report.html") {
    TestDocument doc(Str(dir.file(fileName)));
    doc.setDocumentContent(html);
    const bool ok = doc.updateDocumentContent(snapshots, references, indices, use3dPlugin);
    if (result) *result = ok;
    return kivtest::readFile(dir.file(fileName));
}

}  // namespace htmltest
