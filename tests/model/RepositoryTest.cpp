// Repository: unique names on add, order, removal and reference counting.
#include "KivReport/Repository.h"
#include "KivReport/Snapshot.h"
#include "support/Builders.h"
#include "support/TestSupport.h"
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <tinyxml.h>
#include <vector>

using kiv::PtrRef;
using kiv::rep::Repository;
using kiv::rep::Snapshot;

namespace {

typedef std::vector<std::string> Names;

Names names(const Repository& repo) {
    Names out;
    for (size_t i = 0; i < repo.snapshotCount(); ++i) out.push_back(repo.snapshot(i)->name().toStdString());
    return out;
}

// Records the order in which snapshots are destroyed.
class TracedSnapshot : public Snapshot {
public:
    TracedSnapshot(std::string tag, std::shared_ptr<Names> log)
        : Snapshot(Snapshot::TABLE), m_tag(std::move(tag)), m_log(std::move(log)) {}
    ~TracedSnapshot() override { m_log->push_back(m_tag); }

private:
    std::string m_tag;
    std::shared_ptr<Names> m_log;
};

} // namespace

TEST(RepositoryTest, AddingGivesTheDocumentedNamesAndNeverADuplicate) {
    struct Case {
        Names present;  // in the repository, in order
        std::string added;
        std::string expected;
    } cases[] = {
        {{}, "", "situation"},
        {{"situation", "situation1"}, "", "situation2"},
        {{"Result"}, "Result", "Result1"},
        {{"A1"}, "A", "A"},  // only an equal name counts
        {{"a"}, "A", "A"},   // case-sensitive
        {{"A", "A1", "A2"}, "A", "A3"},
        // The single walk compares "A1" before the candidate becomes "A1"; the
        // result must still be a free name.
        {{"A1", "A"}, "A", "A2"},
        {{"A", "A2", "A1"}, "A", "A3"},
        {{"situation1", "situation"}, "", "situation2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("adding '" + c.added + "' after " + std::to_string(c.present.size()) + " names");
        PtrRef<Repository> repo = new Repository;
        for (const std::string& n : c.present) repo->addSnapshot(kivtest::namedImageSnapshot(n).p());
        ASSERT_EQ(names(*repo), c.present);
        PtrRef<Snapshot> s = kivtest::namedImageSnapshot(c.added);
        repo->addSnapshot(s.p());
        EXPECT_EQ(s->name().toStdString(), c.expected);
        EXPECT_EQ(repo->snapshot(repo->snapshotCount() - 1), s.p());
    }

    PtrRef<Repository> repo = new Repository;
    for (int i = 0; i < 3; ++i) repo->addSnapshot(kivtest::namedImageSnapshot("").p());
    EXPECT_EQ(names(*repo), (Names{"situation", "situation1", "situation2"}));

    // Names that are the numbered forms of each other, added in many orders.
    const char* pool[] = {"A", "A1", "A2", "A11", "", "situation1", "A1"};
    PtrRef<Repository> mixed = new Repository;
    unsigned seed = 7;
    for (int i = 0; i < 200; ++i) {
        seed = seed * 1103515245u + 12345u;
        mixed->addSnapshot(kivtest::namedImageSnapshot(pool[(seed >> 16) % 7]).p());
    }
    const Names all = names(*mixed);
    EXPECT_EQ(std::set<std::string>(all.begin(), all.end()).size(), all.size());
}

TEST(RepositoryTest, IndexAccessRemovalAndReleaseOrder) {
    auto log = std::make_shared<Names>();
    PtrRef<Repository> repo = new Repository;
    PtrRef<Snapshot> kept = new TracedSnapshot("kept", log);
    for (const char* tag : {"1", "2", "3"}) repo->addSnapshot(new TracedSnapshot(tag, log));
    repo->addSnapshot(kept.p());
    EXPECT_EQ(kept->refCount(), 2);
    EXPECT_THROW(repo->snapshot(4), std::out_of_range);
    EXPECT_FALSE(repo->removeSnapshot(4));
    EXPECT_EQ(repo->snapshotCount(), 4u);

    EXPECT_TRUE(repo->removeSnapshot(1));
    EXPECT_EQ(*log, Names{"2"});
    EXPECT_EQ(names(*repo), (Names{"situation", "situation2", "situation3"}));
    repo->removeAllSnapshots();  // last first
    EXPECT_EQ(*log, (Names{"2", "3", "1"}));
    EXPECT_EQ(kept->refCount(), 1);

    log->clear();
    for (const char* tag : {"x", "y"}) repo->addSnapshot(new TracedSnapshot(tag, log));
    repo = nullptr;
    EXPECT_EQ(*log, (Names{"y", "x"}));
}

// The fixture starts every test with TinyXML's default (condensing on).
class RepositoryXmlTest : public kivtest::LoggingTest {};

TEST_F(RepositoryXmlTest, ConstructionTurnsXmlWhiteSpaceCondensingOff) {
    PtrRef<Repository> repo = new Repository;
    EXPECT_FALSE(TiXmlBase::IsWhiteSpaceCondensed());
}
