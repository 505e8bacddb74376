#include "impl/common/Repository_p.h"
#include "impl/common/Snapshot_p.h"
#include "LibCore/lfwAssert.h"
#include <stdexcept>
#include <string>

namespace kiv {
namespace rep {

RepositoryPrivate::~RepositoryPrivate() { removeAllSnapshots(); }

Snapshot* RepositoryPrivate::snapshot(size_t index) const {
    if (index >= snapshots.size())
        throw std::out_of_range("Snapshot index " + std::to_string(index) + " out of range (count " +
                                std::to_string(snapshots.size()) + ")");
    return snapshots[index].p();
}

namespace {
// True when name is base followed by the decimal k (just base for k 0), checked
// without building the candidate text.
bool isNumberedName(const std::wstring& name, const std::wstring& base, unsigned int k) {
    if (name.size() < base.size() || name.compare(0, base.size(), base) != 0) return false;
    if (k == 0) return name.size() == base.size();
    const size_t digits = name.size() - base.size();
    if (digits == 0 || digits > 10 || name[base.size()] == L'0') return false;
    unsigned long long value = 0;
    for (size_t i = base.size(); i < name.size(); ++i) {
        if (name[i] < L'0' || name[i] > L'9') return false;
        value = value * 10 + static_cast<unsigned>(name[i] - L'0');
    }
    return value == k;
}
}  // namespace

Str RepositoryPrivate::uniqueName(const Str& name) const {
    const std::wstring base = name.isEmpty() ? std::wstring(L"situation") : name.toStdWString();
    unsigned int k = 0;
    // One walk in order: each stored name is compared with the candidate current
    // at its turn, which gives "situation", "situation1", "situation2" for three
    // unnamed snapshots. Names are compared in place: building and copying them
    // made adding thousands of snapshots take minutes.
    for (const PtrRef<Snapshot>& s : snapshots)
        if (s && isNumberedName(s->m_d->name.toStdWString(), base, k)) ++k;
    if (k == 0) return Str(base);  // nothing holds the name itself

    // The walk may end on a name compared before it became the candidate ("A"
    // added to "A1", "A" gives "A1" again). Names become zip entry names, where a
    // duplicate loses data, so count on until the name is free.
    auto taken = [&](unsigned int number) {
        for (const PtrRef<Snapshot>& s : snapshots)
            if (s && isNumberedName(s->m_d->name.toStdWString(), base, number)) return true;
        return false;
    };
    while (taken(k)) ++k;
    return Str(base + std::to_wstring(k));
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

}  // namespace rep
}  // namespace kiv
