#include "KivReport/Repository.h"
#include "impl/common/Repository_p.h"

namespace kiv {
namespace rep {

Repository::Repository() : m_d(new RepositoryPrivate) {}

Repository::~Repository() { delete m_d; }

bool Repository::loadRepository(const Str& fileName) { return m_d->loadRepository(fileName); }

bool Repository::saveRepository(const Str& fileName) const { return m_d->saveRepository(fileName); }

Str Repository::fileName() const { return m_d->sourceFile; }

bool Repository::loadedCleanly() const { return m_d->cleanLoad; }

size_t Repository::snapshotCount() const { return m_d->snapshotCount(); }

Snapshot* Repository::snapshot(size_t index) { return m_d->snapshot(index); }

Snapshot* Repository::snapshot(size_t index) const { return m_d->snapshot(index); }

void Repository::addSnapshot(Snapshot* snapshot) { m_d->addSnapshot(snapshot); }

bool Repository::removeSnapshot(size_t index) { return m_d->removeSnapshot(index); }

void Repository::removeAllSnapshots() { m_d->removeAllSnapshots(); }

}  // namespace rep
}  // namespace kiv
