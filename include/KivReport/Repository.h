#pragma once
#include "KivReport/KivReportExport.h"
#include "KivReport/Problem.h"
// The ordered collection of snapshots that reports are made from. Ownership: a
// repository is reference counted (hold it in a PtrRef) and takes a reference on
// every snapshot added to it, released when the snapshot is removed.
#include "host/core/KivRefCountedObject.h"
#include "host/core/KivStr.h"
#include <cstddef>

namespace kiv {
namespace rep {

class RepositoryPrivate;
class Snapshot;

class KIVREPORT_API Repository : public RefCountedObject {
public:
    Repository();
    ~Repository() override;  // releases the snapshots, last first
    Repository(const Repository&) = delete;
    Repository& operator=(const Repository&) = delete;

    // Replaces the snapshots by those of the file once the file proves to hold one.
    bool loadRepository(const Str& fileName);
    bool saveRepository(const Str& fileName) const;
    // The file last loaded or saved successfully; empty for none. Reports never
    // write over it.
    Str fileName() const;
    // False when the last loadRepository left some content out (an image, model
    // or table that could not be read, or snapshots beyond the limits; each
    // logged as an error) or failed; true after a complete load and for a
    // repository that was never loaded.
    bool loadedCleanly() const;
    // The kind of the first error of the last load or save (ProblemCode::None when
    // it had none), for callers that act on the kind of a failure: a file that is
    // not a repository, one cut short, one beyond the limits...
    ProblemCode lastProblem() const;

    size_t snapshotCount() const;
    // Throws std::out_of_range for index >= snapshotCount(): the one exception the
    // public interface raises on purpose, since no snapshot can stand for a wrong
    // index (removeSnapshot answers false for it instead). Loop below snapshotCount().
    Snapshot* snapshot(size_t index);
    Snapshot* snapshot(size_t index) const;

    // Gives the snapshot a name no other snapshot of the repository has
    // ("situation" when it has none), appends it and takes a reference.
    void addSnapshot(Snapshot* snapshot);
    bool removeSnapshot(size_t index);
    void removeAllSnapshots();

private:
    RepositoryPrivate* m_d;
};

}  // namespace rep
}  // namespace kiv
