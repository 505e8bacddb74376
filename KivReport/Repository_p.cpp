#include "KivReport/Repository_p.h"
#include "LibCore/lfwAssert.h"
#include <stdexcept>
#include <string>
#include <unordered_set>

namespace kiv {
namespace rep {

RepositoryPrivate::~RepositoryPrivate() { removeAllSnapshots(); }

Snapshot* RepositoryPrivate::snapshot(size_t index) const {
    if (index >= snapshots.size())
        throw std::out_of_range("Snapshot index " + std::to_string(index) + " out of range (count " +
                                std::to_string(snapshots.size()) + ")");
    return snapshots[index].p();
}

Str RepositoryPrivate::uniqueName(const Str& name) const {
    const Str base = name.isEmpty() ? Str("situation") : name;
    Str candidate = base;
    unsigned int k = 0;
    // One walk in order: each stored name is compared with the candidate current
    // at its turn, which gives "situation", "situation1", "situation2" for three
    // unnamed snapshots.
    for (const PtrRef<Snapshot>& s : snapshots) {
        if (s && s->name() == candidate) {
            ++k;
            candidate = base + Str::number(k);
        }
    }
    if (k == 0) return candidate;  // nothing holds the name itself

    // The walk may end on a name compared before it became the candidate ("A"
    // added to "A1", "A" gives "A1" again). Names become zip entry names, where a
    // duplicate loses data, so count on until the name is free.
    std::unordered_set<std::wstring> taken;
    taken.reserve(snapshots.size());
    for (const PtrRef<Snapshot>& s : snapshots)
        if (s) taken.insert(s->name().toStdWString());
    while (taken.count(candidate.toStdWString()) != 0) {
        ++k;
        candidate = base + Str::number(k);
    }
    return candidate;
}

void RepositoryPrivate::addSnapshot(Snapshot* snapshot) {
    LFW_ASSERT(snapshot);
    if (!snapshot) return;
    const Str name = uniqueName(snapshot->name());
    if (name != snapshot->name()) snapshot->setName(name);
    snapshots.emplace_back(snapshot);
}

bool RepositoryPrivate::removeSnapshot(size_t index) {
    if (index >= snapshots.size()) return false;
    snapshots.erase(snapshots.begin() + static_cast<std::ptrdiff_t>(index));
    return true;
}

void RepositoryPrivate::removeAllSnapshots() {
    while (!snapshots.empty()) snapshots.pop_back();
}

} // namespace rep
} // namespace kiv
