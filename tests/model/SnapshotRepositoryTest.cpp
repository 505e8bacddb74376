// Snapshots, tables and repositories in memory: content references, field
// values, unique names on add, order, removal and reference counting.
#include "KivReport/Repository.h"
#include "KivReport/Snapshot.h"
#include "KivReport/Table.h"
#include "host/core/KivImage.h"
#include "host/ug/MdlxFile.h"
#include "support/Builders.h"
#include <gtest/gtest.h>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

using kiv::PtrRef;
using kiv::Str;
using kiv::rep::Repository;
using kiv::rep::Snapshot;
using kiv::rep::Table;
typedef std::vector<std::string> Names;

namespace {

// All cells and both titles, one text per line.
std::string dump(const Table& t) {
    std::string out = std::to_string(t.rowCount()) + "x" + std::to_string(t.columnCount()) + "\n";
    for (size_t r = 0; r < t.rowCount(); ++r)
        for (size_t c = 0; c < t.columnCount(); ++c) out += t.value(r, c).toStdString() + "\n";
    return out + t.chartXAxisTitle().toStdString() + "|" + t.chartYAxisTitle().toStdString();
}

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

}  // namespace

TEST(TableTest, FixedDimensionsCellsOutsideAndIndependentCopies) {
    Table empty(0, 5);
    EXPECT_EQ(dump(empty), "0x0\n|");
    EXPECT_FALSE(empty.setValue(0, 0, "x"));
    EXPECT_TRUE(empty.value(0, 0).isEmpty());

    Table t(3, 2);
    EXPECT_TRUE(t.setValue(2, 1, "x"));
    EXPECT_FALSE(t.setValue(3, 0, "y"));
    EXPECT_FALSE(t.setValue(0, 2, "y"));
    EXPECT_TRUE(t.value(3, 0).isEmpty());
    EXPECT_EQ(dump(t), "3x2\n\n\n\n\n\nx\n|");
    const Str text(L"\u00e9t\u00e9 \u6e29\u5ea6 \U0001F600");
    EXPECT_TRUE(t.setValue(0, 0, text));
    EXPECT_EQ(t.value(0, 0), text);

    for (size_t i = 0; i < 6; ++i) t.setValue(i / 2, i % 2, Str(std::to_string(i)));
    t.setChartXAxisTitle("time");
    t.setChartYAxisTitle("stress");
    const std::string expected = dump(t);
    Table assigned(1, 1);
    assigned.setValue(0, 0, "old");
    assigned = t;
    Table& self = assigned;
    assigned = self;
    EXPECT_EQ(dump(assigned), expected);
    Table constructed(t);
    constructed.setValue(0, 0, "changed");
    constructed.setChartXAxisTitle("other");
    EXPECT_EQ(dump(t), expected);
}

TEST(SnapshotTest, FieldValuesAreReplacedAndExpandedEscaped) {
    Snapshot s(Snapshot::TABLE);
    s.setFieldValues({{"A", "1"}, {"TEMP", "x"}});
    s.setFieldValues({{"B", "3"}});
    EXPECT_EQ(s.fieldValues(), (std::map<Str, Str>{{"B", "3"}}));

    s.setDescription("T=$(TEMP)");
    EXPECT_EQ(s.expandedDescription(), Str("T=N/A"));
    s.setFieldValues({{"TEMP", "a<b"}});
    EXPECT_EQ(s.expandedDescription(), Str("T=a&lt;b"));
    EXPECT_EQ(s.description(), Str("T=$(TEMP)"));
}

TEST(SnapshotTest, ContentReferencesAreCountedAndSettingTheSameObjectIsSafe) {
    PtrRef<kiv::Image> image = new kiv::Image(2, 2);
    PtrRef<Table> table = new Table(1, 1);
    PtrRef<kiv::ug::MdlxMemoryFile> model = new kiv::ug::MdlxMemoryFile;
    {
        PtrRef<Snapshot> s = new Snapshot(Snapshot::IMAGE);
        for (int twice = 0; twice < 2; ++twice) {
            s->setImage(image.p());
            s->setTable(table.p());
            s->setModelMdlx(model.p());
        }
        EXPECT_EQ(image->refCount(), 2);
        EXPECT_EQ(model->refCount(), 2);
        EXPECT_EQ(s->table(), table.p());
        s->setImage(nullptr);
        EXPECT_EQ(image->refCount(), 1);
        EXPECT_EQ(s->image(), nullptr);
    }
    EXPECT_EQ(table->refCount(), 1);  // released with the snapshot
    EXPECT_EQ(model->refCount(), 1);

    // When the snapshot holds the only reference, setting the object again must not free it.
    PtrRef<Snapshot> s = new Snapshot(Snapshot::IMAGE);
    s->setImage(new kiv::Image(3, 1));
    s->setImage(s->image());
    ASSERT_NE(s->image(), nullptr);
    EXPECT_EQ(s->image()->width(), 3u);
}

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
    EXPECT_THROW(static_cast<const Repository&>(*repo).snapshot(4), std::out_of_range);
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
