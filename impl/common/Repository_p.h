#pragma once
// Data and operations of a Repository.
#include "KivReport/Repository.h"
#include "KivReport/Snapshot.h"
#include "impl/storage/Problems.h"
#include <vector>

namespace kiv {
namespace rep {

class RepositoryPrivate {
public:
    RepositoryPrivate() = default;
    virtual ~RepositoryPrivate();
    RepositoryPrivate(const RepositoryPrivate&) = delete;
    RepositoryPrivate& operator=(const RepositoryPrivate&) = delete;

    size_t snapshotCount() const { return snapshots.size(); }
    Snapshot* snapshot(size_t index) const;  // std::out_of_range past the end
    void addSnapshot(Snapshot* snapshot);    // renames it first (uniqueName)
    bool removeSnapshot(size_t index);
    void removeAllSnapshots();  // last first

    // The name a snapshot called `name` receives when it is added: "situation"
    // for an empty name, otherwise the name itself or, when another snapshot
    // holds it, the name followed by the smallest free number that the walk
    // over the snapshots in order leads to.
    Str uniqueName(const Str& name) const;

    // Repository files (zip archive with Project.xml); in RepositoryFile_p.cpp.
    // Problems go to the list given.
    bool saveRepository(const Str& fileName, Problems* problems);
    bool loadRepository(const Str& fileName, Problems* problems);

    std::vector<PtrRef<Snapshot>> snapshots;      // in the order of adding
    Str sourceFile;                               // file last loaded or saved
    bool cleanLoad = true;                        // the last load read all content
    ProblemCode lastProblem = ProblemCode::None;  // of the last load or save
};

}  // namespace rep
}  // namespace kiv
