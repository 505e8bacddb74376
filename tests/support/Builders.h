#pragma once
// Snapshots, collections and repositories for the tests of the model layer and above.
#include "KivReport/Repository.h"
#include "KivReport/Snapshot.h"
#include "LibCore/lfwCollection.h"
#include "host/core/KivImage.h"
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

namespace kivtest {

using Snapshots = lfw::Collection<const kiv::rep::Snapshot>;
using SnapshotRef = kiv::PtrRef<kiv::rep::Snapshot>;

// An image every byte of which is `shade`; one whose colours run across it.
kiv::PtrRef<kiv::Image> flatImage(unsigned width, unsigned height, unsigned char shade = 128);
kiv::PtrRef<kiv::Image> gradientImage(unsigned width, unsigned height);

SnapshotRef imageSnapshot(unsigned width, unsigned height, unsigned char shade = 128);
// A named image snapshot holding a 64x48 gradient.
SnapshotRef namedImageSnapshot(const std::string& name);
// A table snapshot; cells given row by row (the first row fixes the column count).
SnapshotRef tableSnapshot(const std::vector<std::vector<std::string>>& cells);
// A model snapshot without model bytes: enough for the viewer link and for typing.
SnapshotRef modelSnapshot(const std::string& url);
// A model snapshot whose model file stores a preview picture of that size.
SnapshotRef previewModelSnapshot(int width, int height);
// An image snapshot (without image) carrying texts and field values.
SnapshotRef textSnapshot(const std::string& title, const std::string& description = "",
                         const std::map<std::string, std::string>& fields = {});

Snapshots collection(std::initializer_list<kiv::rep::Snapshot*> items);
kiv::PtrRef<kiv::rep::Repository> repositoryOf(std::initializer_list<kiv::rep::Snapshot*> items);

}  // namespace kivtest
