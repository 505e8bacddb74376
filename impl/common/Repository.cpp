#include "KivReport/Repository.h"
#include "impl/common/Repository_p.h"
#include "impl/common/ReportLog.h"

namespace kiv {
namespace rep {

Repository::Repository() : m_d(new RepositoryPrivate) {}

Repository::~Repository() { delete m_d; }

// The public edge of loads and saves: the one place their problems are logged.
bool Repository::loadRepository(const Str& fileName) {
    Problems problems(logProblem);
    const bool loaded = m_d->loadRepository(fileName, &problems);
    m_d->lastProblem = problems.firstError();
    return loaded;
}

bool Repository::saveRepository(const Str& fileName) const {
    Problems problems(logProblem);
    const bool saved = m_d->saveRepository(fileName, &problems);
    m_d->lastProblem = problems.firstError();
    return saved;
}

ProblemCode Repository::lastProblem() const { return m_d->lastProblem; }

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
