#pragma once
// Data of a Snapshot.
#include "KivReport/Snapshot.h"
#include "KivReport/Table.h"
#include "host/core/KivImage.h"
#include "host/ug/MdlxFile.h"
#include <map>

namespace kiv {
namespace rep {

class SnapshotPrivate {
public:
    explicit SnapshotPrivate(Snapshot::SnapshotType snapshotType) : type(snapshotType) {}
    virtual ~SnapshotPrivate() = default;

    Str name;
    Str title;
    Str description;
    Snapshot::SnapshotType type;
    std::map<Str, Str> fieldValues;
    Str modelPath;
    Str cloudViewerUrl;
    PtrRef<ug::MdlxMemoryFile> model;
    PtrRef<Image> image;
    PtrRef<Table> table;
};

}  // namespace rep
}  // namespace kiv
