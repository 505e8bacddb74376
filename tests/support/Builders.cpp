#include "support/Builders.h"
#include "KivReport/Table.h"
#include "host/ug/MdlxFile.h"
#include "host/ug/MkRGBImage.h"

namespace kivtest {

using kiv::PtrRef;
using kiv::Str;
using kiv::rep::Snapshot;

PtrRef<kiv::Image> flatImage(unsigned width, unsigned height, unsigned char shade) {
    PtrRef<kiv::Image> image = new kiv::Image(width, height);
    image->setData(width, height, std::vector<unsigned char>(static_cast<size_t>(width) * height * 3, shade));
    return image;
}

PtrRef<kiv::Image> gradientImage(unsigned width, unsigned height) {
    PtrRef<kiv::Image> image = new kiv::Image(width, height);
    unsigned char* p = image->data();
    for (unsigned y = 0; y < height; ++y)
        for (unsigned x = 0; x < width; ++x, p += 3) {
            p[0] = static_cast<unsigned char>(x * 255 / width);
            p[1] = static_cast<unsigned char>(y * 255 / height);
            p[2] = 128;
        }
    return image;
}

SnapshotRef imageSnapshot(unsigned width, unsigned height, unsigned char shade) {
    SnapshotRef s = new Snapshot(Snapshot::IMAGE);
    s->setImage(flatImage(width, height, shade).p());
    return s;
}

SnapshotRef namedImageSnapshot(const std::string& name) {
    SnapshotRef s = new Snapshot(Snapshot::IMAGE);
    s->setName(Str(name));
    s->setImage(gradientImage(64, 48).p());
    return s;
}

SnapshotRef tableSnapshot(const std::vector<std::vector<std::string>>& cells) {
    SnapshotRef s = new Snapshot(Snapshot::TABLE);
    PtrRef<kiv::rep::Table> table = new kiv::rep::Table(cells.size(), cells.empty() ? 0 : cells[0].size());
    for (size_t r = 0; r < cells.size(); ++r)
        for (size_t c = 0; c < cells[r].size(); ++c) table->setValue(r, c, Str(cells[r][c]));
    s->setTable(table.p());
    return s;
}

SnapshotRef modelSnapshot(const std::string& url) {
    SnapshotRef s = new Snapshot(Snapshot::MDLX);
    s->setCloudViewerUrl(Str(url));
    return s;
}

SnapshotRef previewModelSnapshot(int width, int height) {
    MkRGBImage preview(width, height);
    for (int i = 0; i < preview.GetNumImageBytes(); ++i) preview.GetData()[i] = static_cast<unsigned char>(i * 3);
    kiv::ug::MdlxWriter writer;
    writer.AddCase(L"case", preview, "data", 4);
    PtrRef<kiv::ug::MdlxMemoryFile> file = new kiv::ug::MdlxMemoryFile;
    writer.Write(file.p());
    SnapshotRef s = modelSnapshot("https://viewer/m");
    s->setModelMdlx(file.p());
    return s;
}

SnapshotRef textSnapshot(const std::string& title, const std::string& description,
                         const std::map<std::string, std::string>& fields) {
    SnapshotRef s = new Snapshot(Snapshot::IMAGE);
    s->setTitle(Str(title));
    s->setDescription(Str(description));
    std::map<Str, Str> values;
    for (const auto& kv : fields) values[Str(kv.first)] = Str(kv.second);
    s->setFieldValues(values);
    return s;
}

Snapshots collection(std::initializer_list<Snapshot*> items) {
    Snapshots c;
    for (Snapshot* s : items) c.push_back(s);
    return c;
}

PtrRef<kiv::rep::Repository> repositoryOf(std::initializer_list<Snapshot*> items) {
    PtrRef<kiv::rep::Repository> repository = new kiv::rep::Repository;
    for (Snapshot* s : items) repository->addSnapshot(s);
    return repository;
}

}  // namespace kivtest
