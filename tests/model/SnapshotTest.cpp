// Snapshots and tables: content references, field values, model files.
#include "KivReport/Snapshot.h"
#include "KivReport/Table.h"
#include "host/core/KivImage.h"
#include "host/ug/MdlxFile.h"
#include "support/TestSupport.h"
#include <string>

using kiv::PtrRef;
using kiv::Str;
using kiv::rep::Snapshot;
using kiv::rep::Table;

namespace {

// All cells and both titles, one text per line.
std::string dump(const Table& t) {
    std::string out = std::to_string(t.rowCount()) + "x" + std::to_string(t.columnCount()) + "\n";
    for (size_t r = 0; r < t.rowCount(); ++r)
        for (size_t c = 0; c < t.columnCount(); ++c) out += t.value(r, c).toStdString() + "\n";
    return out + t.chartXAxisTitle().toStdString() + "|" + t.chartYAxisTitle().toStdString();
}

std::string modelBytes(const kiv::ug::MdlxMemoryFile* model) {
    MkUbyteArray bytes;
    model->internal_mdlxZipMemFile()->GetData(&bytes);
    return std::string(bytes.Std().begin(), bytes.Std().end());
}

} // namespace

TEST(TableTest, FixedDimensionsAndCellsOutsideTheTable) {
    Table empty(0, 5);
    EXPECT_EQ(empty.rowCount(), 0u);
    EXPECT_EQ(empty.columnCount(), 0u);
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
}

TEST(TableTest, CopiesAreEqualAndIndependent) {
    Table source(3, 2);
    for (size_t i = 0; i < 6; ++i) source.setValue(i / 2, i % 2, Str(std::to_string(i)));
    source.setChartXAxisTitle("time");
    source.setChartYAxisTitle("stress");
    const std::string expected = dump(source);

    Table assigned(1, 1);
    assigned.setValue(0, 0, "old");
    assigned = source;
    EXPECT_EQ(dump(assigned), expected);
    Table& self = assigned;
    assigned = self;
    EXPECT_EQ(dump(assigned), expected);

    Table constructed(source);
    constructed.setValue(0, 0, "changed");
    constructed.setChartXAxisTitle("other");
    EXPECT_EQ(dump(source), expected);
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

TEST(SnapshotTest, ModelFromFileReadsBytesAndKeepsTheOldModelOnFailure) {
    kivtest::TempDir dir;
    const char head[] = "PK\x03\x04 any bytes \0\xff";
    const std::string content = std::string(head, sizeof head - 1) + std::string(200000, '\x7f');
    ASSERT_TRUE(kivtest::writeFile(dir.file("m.mdlx"), content));

    PtrRef<Snapshot> s = new Snapshot(Snapshot::IMAGE);
    EXPECT_TRUE(s->setModelMdlxFromFile(dir.file("m.mdlx")));
    ASSERT_NE(s->modelMdlx(), nullptr);
    EXPECT_EQ(modelBytes(s->modelMdlx()), content);
    EXPECT_EQ(s->type(), Snapshot::IMAGE);

    kiv::ug::MdlxMemoryFile* previous = s->modelMdlx();
    EXPECT_FALSE(s->setModelMdlxFromFile(dir.file("missing.mdlx")));
    EXPECT_FALSE(s->setModelMdlxFromFile(dir.path()));  // a directory opens but cannot be read
    EXPECT_EQ(s->modelMdlx(), previous);
    EXPECT_EQ(modelBytes(s->modelMdlx()), content);
}
