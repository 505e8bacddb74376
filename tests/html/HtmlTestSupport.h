#pragma once
// Snapshots, collections and documents for the HTML report tests.
#include "KivReport/Snapshot.h"
#include "KivReport/Table.h"
#include "LibCore/lfwCollection.h"
#include "host/core/KivImage.h"
#include "host/ug/MkArray.h"
#include "impl/html/PxHtmlDocument.h"
#include "support/TestSupport.h"
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

namespace htmltest {

using kiv::Str;
using kiv::rep::PxHtmlDocument;
using kiv::rep::Snapshot;
typedef lfw::Collection<const Snapshot> Snapshots;

inline MkString mk(const std::string& utf8) { return MkString(Str(utf8).toStdWString()); }
inline std::string narrow(const MkString& s) { return Str(s.Std()).toStdString(); }
inline bool fileExists(const std::string& path) { return !kivtest::readFile(path).empty(); }

inline std::string sit(const std::string& name, const std::string& content = "") {
    return "<orvrepsit name=\"" + name + "\">" + content + "</orvrepsit>";
}

inline MkIntArray indexArray(std::initializer_list<int> values) {
    MkIntArray a;
    for (int v : values) a.AddGrow(v);
    return a;
}

// An image snapshot of that size, every byte `shade`.
inline lfw::Ref<Snapshot> imageSnapshot(unsigned int width, unsigned int height, unsigned char shade = 128) {
    lfw::Ref<Snapshot> s = new Snapshot(Snapshot::IMAGE);
    lfw::Ref<kiv::Image> image = new kiv::Image(width, height);
    image->setData(width, height, std::vector<unsigned char>(static_cast<size_t>(width) * height * 3, shade));
    s->setImage(image.p());
    return s;
}

inline lfw::Ref<Snapshot> tableSnapshot(const std::vector<std::vector<std::string>>& cells) {
    lfw::Ref<Snapshot> s = new Snapshot(Snapshot::TABLE);
    lfw::Ref<kiv::rep::Table> table = new kiv::rep::Table(cells.size(), cells.empty() ? 0 : cells[0].size());
    for (size_t r = 0; r < cells.size(); ++r)
        for (size_t c = 0; c < cells[r].size(); ++c) table->setValue(r, c, Str(cells[r][c]));
    s->setTable(table.p());
    return s;
}

// A model snapshot without model bytes: enough for the viewer link and for typing.
inline lfw::Ref<Snapshot> modelSnapshot(const std::string& url) {
    lfw::Ref<Snapshot> s = new Snapshot(Snapshot::MDLX);
    s->setCloudViewerUrl(Str(url));
    return s;
}

inline lfw::Ref<Snapshot> textSnapshot(const std::string& title, const std::string& description = "",
                                       const std::map<std::string, std::string>& fields = {}) {
    lfw::Ref<Snapshot> s = new Snapshot(Snapshot::IMAGE);
    s->setTitle(Str(title));
    s->setDescription(Str(description));
    std::map<Str, Str> values;
    for (const auto& kv : fields) values[Str(kv.first)] = Str(kv.second);
    s->setFieldValues(values);
    return s;
}

inline Snapshots collection(std::initializer_list<Snapshot*> items) {
    Snapshots c;
    for (Snapshot* s : items) c.push_back(s);
    return c;
}

// Processes html as the document <dir>/<fileName> and returns what was saved.
inline std::string fill(const kivtest::TempDir& dir, const std::string& html, const Snapshots& snapshots,
                        const Snapshots& references, const MkIntArray& indices, bool use3dPlugin,
                        bool* result = nullptr, const std::string& fileName = "report.html") {
    PxHtmlDocument doc(Str(dir.file(fileName)));
    doc.setDocumentContent(mk(html));
    const bool ok = doc.updateDocumentContent(snapshots, references, indices, use3dPlugin);
    if (result) *result = ok;
    return kivtest::readFile(dir.file(fileName));
}

} // namespace htmltest
