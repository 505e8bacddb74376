#include "KivReport/Snapshot.h"
#include "impl/common/Snapshot_p.h"
#include "impl/common/ReportLog.h"
#include "LibCore/lfwFile.h"
#include "host/ug/MkArray.h"
#include "impl/common/HostText.h"
#include "impl/common/FieldMacros.h"
#include <climits>
#include <cstdio>
#include <vector>

namespace kiv {
namespace rep {

Snapshot::Snapshot(SnapshotType type) : m_d(new SnapshotPrivate(type)) {}

Snapshot::~Snapshot() { delete m_d; }

Str Snapshot::name() const { return m_d->name; }
void Snapshot::setName(const Str& name) { m_d->name = name; }
Snapshot::SnapshotType Snapshot::type() const { return m_d->type; }
Str Snapshot::title() const { return m_d->title; }
void Snapshot::setTitle(const Str& title) { m_d->title = title; }
Str Snapshot::description() const { return m_d->description; }
void Snapshot::setDescription(const Str& description) { m_d->description = description; }

Str Snapshot::expandedDescription() const {
    std::string text = toUtf8(m_d->description);
    Problems problems(logProblem);  // the public edge: logged here
    FieldMacros::expandString(m_d->fieldValues, &text, &problems);
    return toStr(text);
}

std::map<Str, Str> Snapshot::fieldValues() const { return m_d->fieldValues; }
void Snapshot::setFieldValues(const std::map<Str, Str>& fieldValues) { m_d->fieldValues = fieldValues; }
Str Snapshot::cloudViewerUrl() const { return m_d->cloudViewerUrl; }
void Snapshot::setCloudViewerUrl(const Str& url) { m_d->cloudViewerUrl = url; }
Str Snapshot::originalModelPath() const { return m_d->modelPath; }
void Snapshot::setOriginalModelPath(const Str& path) { m_d->modelPath = path; }

Image* Snapshot::image() const { return m_d->image.p(); }
void Snapshot::setImage(Image* image) { m_d->image = image; }
ug::MdlxMemoryFile* Snapshot::modelMdlx() const { return m_d->model.p(); }
void Snapshot::setModelMdlx(ug::MdlxMemoryFile* model) { m_d->model = model; }
Table* Snapshot::table() const { return m_d->table.p(); }
void Snapshot::setTable(Table* table) { m_d->table = table; }

bool Snapshot::setModelMdlxFromFile(const Str& path) {
    PtrRef<ug::MdlxMemoryFile> model = new ug::MdlxMemoryFile;
    lfw::FilePtr file(lfw::File::fopen(path.toStdString(), "rb"));
    if (!file) return false;
    MkUbyteArray bytes;
    std::vector<unsigned char> buffer(1 << 16);
    for (;;) {
        const size_t n = std::fread(buffer.data(), 1, buffer.size(), file.get());
        bytes.Std().insert(bytes.Std().end(), buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(n));
        // Model arrays count in 32 bits.
        if (bytes.Std().size() > static_cast<size_t>(INT_MAX)) return false;
        if (n < buffer.size()) break;
    }
    // A directory opens but does not read; keep the current model then.
    if (std::ferror(file.get())) return false;
    if (!model->setFromRawData(bytes.GetData(), bytes.Std().size())) return false;
    m_d->model = model;
    return true;
}

}  // namespace rep
}  // namespace kiv
