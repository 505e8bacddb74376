// Saving and loading repository files.
#include "KivReport/Repository.h"
#include "KivReport/Snapshot.h"
#include "KivReport/Table.h"
#include "LibCore/lfwFile.h"
#include "host/core/KivImage.h"
#include "host/ug/MdlxFile.h"
#include "impl/storage/PxZipArchive.h"
#include "support/Builders.h"
#include "support/FailingZipFile.h"
#include "support/Golden.h"
#include "support/TestSupport.h"
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <sys/stat.h>

using kiv::PtrRef;
using kiv::Str;
using kiv::rep::Repository;
using kiv::rep::Snapshot;
using kiv::rep::Table;
using kivtest::namedImageSnapshot;

namespace {

const std::string CORPUS = std::string(KIV_TEST_DATA_DIR) + "/repo-corrupt/";

std::string modelBytes(const kiv::ug::MdlxMemoryFile* model) {
    MkUbyteArray bytes;
    model->internal_mdlxZipMemFile()->GetData(&bytes);
    return std::string(bytes.Std().begin(), bytes.Std().end());
}

class RepositoryFileTest : public kivtest::LoggingTest {
protected:
    kivtest::TempDir dir;

    std::string file(const char* name) const { return dir.file(name); }

    // Names of the entries, in archive order.
    static std::vector<std::string> entries(const std::string& path) {
        std::vector<std::string> names;
        PxZipArchive zip;
        if (!zip.Open(MkString(path.c_str()), ZIP_OPEN_READ_ONLY)) return names;
        for (int i = 0; i < zip.GetNumFiles(); ++i) names.push_back(lfw::String(zip.GetStoredName(i)).toStdString());
        return names;
    }

    // Writes a repository file holding the given index text (and extra entries).
    static void writeRepository(const std::string& path, const std::string& index,
                                const std::map<std::string, std::string>& extra = {}) {
        PxZipArchive zip;
        ASSERT_TRUE(zip.Open(MkString(path.c_str()), ZIP_CREATE));
        for (const auto& e : extra) ASSERT_TRUE(zip.WriteDataRaw(e.first.c_str(), e.second.data(), e.second.size(), false));
        ASSERT_TRUE(zip.WriteDataRaw("Project.xml", index.data(), index.size(), false));
        ASSERT_TRUE(zip.Close());
    }

    static std::string index(const std::string& situations, bool withVersion = true) {
        return std::string("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\" ?>\n<OrviaRepository xmlns=\"urn:x\"") +
               (withVersion ? " Version=\"2\"" : "") + ">\n" + situations + "</OrviaRepository>\n";
    }

    static std::string tableSituation(const std::string& name, const std::string& rowCount, const std::string& rows) {
        return "<Situation Name=\"" + name + "\"><SituationObject Type=\"3\" Name=\"" + name + "\" TableRowCount=\"" +
               rowCount + "\">" + rows + "</SituationObject></Situation>\n";
    }

    // Files in the test folder other than the given one: temporaries left behind.
    std::vector<std::string> otherFiles(const std::string& keep) const {
        std::vector<std::string> out;
        for (const lfw::String& f : lfw::FileSystem::getAllFilesInDirectory(dir.path()))
            if (f.toStdString() != keep) out.push_back(f.toStdString());
        return out;
    }
};

} // namespace

TEST_F(RepositoryFileTest, RoundTripAndIndexLayout) {
    PtrRef<Repository> repo = new Repository;
    PtrRef<Snapshot> a = namedImageSnapshot("A");
    a->setTitle(Str(L"Bild \u00e4"));
    a->setDescription("line one\n  indented $(KEY) & <b>bold</b>\n");
    a->setCloudViewerUrl("https://viewer.example/x?a=1&b=2");
    a->setFieldValues({{"b", "vb"}, {"a", "va"}});
    PtrRef<Snapshot> b = new Snapshot(Snapshot::MDLX);
    b->setName("B");
    PtrRef<kiv::ug::MdlxMemoryFile> model = new kiv::ug::MdlxMemoryFile;
    const std::string modelContent("PK\x03\x04 model bytes \0 with zero", 27);
    model->setFromRawData(modelContent.data(), modelContent.size());
    b->setModelMdlx(model.p());
    PtrRef<Snapshot> c = new Snapshot(Snapshot::TABLE);
    c->setName("C");
    PtrRef<Table> table = new Table(3, 2);
    for (size_t r = 0; r < 3; ++r) table->setValue(r, 0, Str("r" + std::to_string(r)));
    table->setValue(2, 1, "x");
    table->setChartXAxisTitle("Time [s]");
    table->setChartYAxisTitle(Str(L"\u03c3"));
    c->setTable(table.p());
    for (Snapshot* s : {a.p(), b.p(), c.p()}) repo->addSnapshot(s);

    const std::string path = file("repo.zip");
    ASSERT_TRUE(repo->saveRepository(path));
    EXPECT_TRUE(errors().empty());
    EXPECT_EQ(entries(path), (std::vector<std::string>{"A", "B", "Project.xml"}));

    // The index as other readers see it: field values in key order, sizes and
    // format of the image, the table's rows and column numbers.
    PxZipArchive zip;
    ASSERT_TRUE(zip.Open(MkString(path.c_str()), ZIP_OPEN_READ_ONLY));
    size_t size = 0;
    std::unique_ptr<unsigned char, decltype(&std::free)> index(zip.ReadDataRaw("Project.xml", &size), &std::free);
    ASSERT_TRUE(index);
    EXPECT_GOLDEN("model/Project.xml", std::string(reinterpret_cast<const char*>(index.get()), size));
    zip.Close();

    PtrRef<Repository> back = new Repository;
    ASSERT_TRUE(back->loadRepository(path));
    ASSERT_EQ(back->snapshotCount(), 3u);
    const Snapshot* la = back->snapshot(0);
    EXPECT_EQ(la->name(), Str("A"));
    EXPECT_EQ(la->type(), Snapshot::IMAGE);
    EXPECT_EQ(la->title(), a->title());
    EXPECT_EQ(la->description(), a->description());
    EXPECT_EQ(la->cloudViewerUrl(), a->cloudViewerUrl());
    EXPECT_EQ(la->fieldValues(), a->fieldValues());
    ASSERT_NE(la->image(), nullptr);
    ASSERT_EQ(la->image()->byteCount(), a->image()->byteCount());
    long diff = 0;  // JPEG is lossy; a smooth gradient comes back close
    for (size_t i = 0; i < la->image()->byteCount(); ++i) diff += std::abs(la->image()->data()[i] - a->image()->data()[i]);
    EXPECT_LT(diff / static_cast<long>(la->image()->byteCount()), 4);
    EXPECT_EQ(back->snapshot(1)->type(), Snapshot::MDLX);
    ASSERT_NE(back->snapshot(1)->modelMdlx(), nullptr);
    EXPECT_EQ(modelBytes(back->snapshot(1)->modelMdlx()), modelContent);
    const Table* lt = back->snapshot(2)->table();
    ASSERT_NE(lt, nullptr);
    ASSERT_EQ(lt->rowCount(), 3u);
    ASSERT_EQ(lt->columnCount(), 2u);
    for (size_t r = 0; r < 3; ++r)
        for (size_t col = 0; col < 2; ++col) EXPECT_EQ(lt->value(r, col), table->value(r, col));
    EXPECT_EQ(lt->chartXAxisTitle(), Str("Time [s]"));
    EXPECT_EQ(lt->chartYAxisTitle(), Str(L"\u03c3"));

    // Saving what was loaded stores the same JPEG again instead of a re-encoded one.
    ASSERT_TRUE(back->saveRepository(file("again.zip")));
    PxZipArchive first, second;
    ASSERT_TRUE(first.Open(MkString(path.c_str()), ZIP_OPEN_READ_ONLY));
    ASSERT_TRUE(second.Open(MkString(file("again.zip").c_str()), ZIP_OPEN_READ_ONLY));
    MkUbyteArray jpeg1, jpeg2;
    ASSERT_TRUE(first.ReadData("A", &jpeg1));
    ASSERT_TRUE(second.ReadData("A", &jpeg2));
    EXPECT_EQ(jpeg1.Std(), jpeg2.Std());
}

TEST_F(RepositoryFileTest, LoadReplacesOnlyWhenTheFileHoldsSituations) {
    PtrRef<Repository> source = new Repository;
    source->addSnapshot(namedImageSnapshot("New").p());
    ASSERT_TRUE(source->saveRepository(file("one.zip")));

    PtrRef<Repository> repo = new Repository;
    repo->addSnapshot(namedImageSnapshot("Old1").p());
    repo->addSnapshot(namedImageSnapshot("Old2").p());
    writeRepository(file("none.zip"), index(""));
    EXPECT_FALSE(repo->loadRepository(file("none.zip")));
    ASSERT_EQ(repo->snapshotCount(), 2u);
    EXPECT_EQ(repo->snapshot(0)->name(), Str("Old1"));

    EXPECT_FALSE(repo->loadRepository(file("missing.zip")));
    EXPECT_TRUE(recorder->contains("File not forund in archive: Project.xml"));
    EXPECT_EQ(repo->snapshotCount(), 2u);

    ASSERT_TRUE(repo->loadRepository(file("one.zip")));
    ASSERT_EQ(repo->snapshotCount(), 1u);
    EXPECT_EQ(repo->snapshot(0)->name(), Str("New"));

    // An empty repository saves, and its file loads as "nothing to load".
    PtrRef<Repository> empty = new Repository;
    ASSERT_TRUE(empty->saveRepository(file("empty.zip")));
    EXPECT_FALSE(repo->loadRepository(file("empty.zip")));
    EXPECT_EQ(repo->snapshotCount(), 1u);
}

TEST_F(RepositoryFileTest, OlderFilesForeignImagesAndStoredNames) {
    const std::string png("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16);
    const std::string situations =
        "<Situation Name=\"P\" Title=\"png\"><SituationObject Type=\"1\" Name=\"P\"/></Situation>\n"
        "<Situation Name=\"Gone\"><SituationObject Type=\"1\" Name=\"Gone\"/></Situation>\n"
        "<Situation Name=\"M\"><SituationObject Type=\"2\" Name=\"M\"/></Situation>\n"
        "<Situation Name=\"dup\"><SituationObject Type=\"3\" Name=\"dup\" TableRowCount=\"-1\"/></Situation>\n"
        "<Other Name=\"dup\"><SituationObject Type=\"3\" Name=\"dup\" TableRowCount=\"0\"/></Other>\n"
        "<Situation Name=\"U\"><SituationObject Type=\"9\" Name=\"U\"/></Situation>\n";
    writeRepository(file("old.zip"), index(situations, false), {{"P", png}});

    PtrRef<Repository> repo = new Repository;
    ASSERT_TRUE(repo->loadRepository(file("old.zip")));
    EXPECT_TRUE(recorder->contains(
        "This an older version of the repository file format. Images and Mdlx-files might not be possible to import."));
    EXPECT_TRUE(recorder->contains("Image is not valid JPEG format. Might be a Orvia Reporter repository?"));
    EXPECT_TRUE(recorder->contains("Image data not found in file"));
    // Every element from the first situation on is one; an unknown type is left out.
    ASSERT_EQ(repo->snapshotCount(), 5u);
    EXPECT_EQ(repo->snapshot(0)->name(), Str("P"));
    EXPECT_EQ(repo->snapshot(0)->title(), Str("png"));
    EXPECT_EQ(repo->snapshot(0)->image(), nullptr);
    EXPECT_EQ(repo->snapshot(1)->image(), nullptr);
    EXPECT_EQ(repo->snapshot(2)->modelMdlx(), nullptr);
    // Stored names are kept as they are, duplicates included.
    EXPECT_EQ(repo->snapshot(3)->name(), Str("dup"));
    EXPECT_EQ(repo->snapshot(4)->name(), Str("dup"));
    EXPECT_EQ(repo->snapshot(3)->table(), nullptr);
    EXPECT_EQ(repo->snapshot(4)->table(), nullptr);

    // What loaded without content saves again (no assertion) and loads the same way.
    ASSERT_TRUE(repo->saveRepository(file("resaved.zip")));
    EXPECT_EQ(entries(file("resaved.zip")), std::vector<std::string>{"Project.xml"});
    PtrRef<Repository> again = new Repository;
    ASSERT_TRUE(again->loadRepository(file("resaved.zip")));
    EXPECT_EQ(again->snapshotCount(), 5u);
    EXPECT_EQ(again->snapshot(0)->title(), Str("png"));
}

TEST_F(RepositoryFileTest, TableRowsAreCutAndBounded) {
    const std::string rows =
        "<TableRow1><Value0>a</Value0><Value1>b</Value1></TableRow1>"
        "<TableRow3><Value0>1</Value0><Value1>2</Value1><Value2>cut</Value2></TableRow3>"
        "<TableRow3><Value0>second</Value0></TableRow3>"
        "<TableRow01><Value0>not a row name</Value0></TableRow01>"
        "<TableRow9><Value0>past the count</Value0></TableRow9>";
    std::string wide = "<TableRow0>";
    for (int i = 0; i < 20000; ++i) wide += "<V>x</V>";
    wide += "</TableRow0>";
    writeRepository(file("rows.zip"),
                    index(tableSituation("T", "4", rows) + tableSituation("Huge", "2000000000", "<TableRow0><V>x</V></TableRow0>") +
                          tableSituation("Neg", "-5", "<TableRow0><V>x</V></TableRow0>") + tableSituation("Wide", "1", wide)));
    PtrRef<Repository> repo = new Repository;
    ASSERT_TRUE(repo->loadRepository(file("rows.zip")));
    ASSERT_EQ(repo->snapshotCount(), 4u);
    const Table* t = repo->snapshot(0)->table();
    ASSERT_NE(t, nullptr);
    ASSERT_EQ(t->rowCount(), 4u);
    ASSERT_EQ(t->columnCount(), 2u);  // from the first row array present
    EXPECT_EQ(t->value(0, 0), Str(""));
    EXPECT_EQ(t->value(1, 1), Str("b"));
    EXPECT_EQ(t->value(2, 0), Str(""));
    EXPECT_EQ(t->value(3, 0), Str("1"));
    EXPECT_EQ(t->value(3, 1), Str("2"));  // "cut" dropped, the second TableRow3 ignored

    // Absurd sizes give no table, with an error; the snapshots are still there.
    EXPECT_EQ(repo->snapshot(1)->table(), nullptr);
    EXPECT_EQ(repo->snapshot(2)->table(), nullptr);
    EXPECT_EQ(repo->snapshot(3)->table(), nullptr);
    EXPECT_EQ(repo->snapshot(3)->name(), Str("Wide"));
    EXPECT_GE(errors().size(), 2u);
}

TEST_F(RepositoryFileTest, FailedSaveKeepsTheOldFile) {
    const std::string path = file("keep.zip");
    PtrRef<Repository> repo = new Repository;
    repo->addSnapshot(namedImageSnapshot("First").p());
    ASSERT_TRUE(repo->saveRepository(path));
    // Saving over a file keeps its permissions.
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    ASSERT_TRUE(repo->saveRepository(path));
    struct stat st;
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    const std::string before = kivtest::readFile(path);
    ASSERT_FALSE(before.empty());

    struct Case {
        const char* what;
        std::function<void(Repository*)> prepare;
    };
    const Case cases[] = {
        {"entry named like the index", [](Repository* r) { r->addSnapshot(namedImageSnapshot("Project.xml").p()); }},
        {"two snapshots renamed to one name",
         [](Repository* r) {
             r->addSnapshot(namedImageSnapshot("X").p());
             r->addSnapshot(namedImageSnapshot("Y").p());
             r->snapshot(r->snapshotCount() - 1)->setName("X");
         }},
        {"names equal once separators are stored",
         [](Repository* r) {
             r->addSnapshot(namedImageSnapshot("d/e").p());
             r->addSnapshot(namedImageSnapshot("d\\e").p());
         }},
        {"empty name", [](Repository* r) { r->addSnapshot(namedImageSnapshot("Z").p()); r->snapshot(r->snapshotCount() - 1)->setName(""); }},
        // These fail only while the archive is written: after the first entry.
        {"image that cannot be encoded",
         [](Repository* r) {
             PtrRef<Snapshot> s = new Snapshot(Snapshot::IMAGE);
             s->setName("Broken");
             s->setImage(PtrRef<kiv::Image>(new kiv::Image).p());
             r->addSnapshot(s.p());
         }},
        {"entry name the archive refuses", [](Repository* r) { r->addSnapshot(namedImageSnapshot(std::string(5000, 'n')).p()); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PtrRef<Repository> bad = new Repository;
        bad->addSnapshot(namedImageSnapshot("Fine").p());
        c.prepare(bad.p());
        recorder->clear();
        EXPECT_FALSE(bad->saveRepository(path));
        EXPECT_FALSE(errors().empty());
        EXPECT_EQ(kivtest::readFile(path), before);
        EXPECT_TRUE(otherFiles("keep.zip").empty());
    }

    // The archive's file fails: the first or a later write, the close that writes
    // the directory, or the move over the target.
    const kivtest::FileFaults faults[] = {{1, false, false}, {3, false, false}, {0, true, false}, {0, false, true}};
    for (const kivtest::FileFaults& f : faults) {
        SCOPED_TRACE("write " + std::to_string(f.failWrite) + " close " + std::to_string(f.failClose) + " rename " +
                     std::to_string(f.failRename));
        PtrRef<Repository> other = kivtest::repositoryOf({namedImageSnapshot("Other").p()});
        recorder->clear();
        {
            kivtest::ScopedFailingFiles failing(f);
            EXPECT_FALSE(other->saveRepository(path));
            EXPECT_EQ(failing.opened(), 1);
        }
        EXPECT_FALSE(errors().empty());
        EXPECT_EQ(kivtest::readFile(path), before);
        EXPECT_TRUE(otherFiles("keep.zip").empty());
    }

    // A target that cannot be replaced, and one in a missing folder.
    ASSERT_TRUE(lfw::FileSystem::createDirectory(file("adir")));
    EXPECT_FALSE(repo->saveRepository(file("adir")));
    EXPECT_TRUE(lfw::FileSystem::directoryExists(file("adir")));
    EXPECT_FALSE(repo->saveRepository(file("no/such/folder/r.zip")));
    std::vector<std::string> left = otherFiles("keep.zip");
    EXPECT_EQ(left, std::vector<std::string>());
}

TEST_F(RepositoryFileTest, FileWrittenByAnotherZipWriterLoads) {
    PtrRef<Repository> repo = new Repository;
    ASSERT_TRUE(repo->loadRepository(CORPUS + "all_kinds.zip"));
    ASSERT_EQ(repo->snapshotCount(), 3u);
    ASSERT_NE(repo->snapshot(0)->image(), nullptr);
    EXPECT_EQ(repo->snapshot(0)->fieldValues(), (std::map<Str, Str>{{"a", "1"}, {"b", "2"}}));
    ASSERT_NE(repo->snapshot(1)->modelMdlx(), nullptr);
    EXPECT_EQ(modelBytes(repo->snapshot(1)->modelMdlx()), "PK\x03\x04 model bytes");
    const Table* t = repo->snapshot(2)->table();
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->value(1, 0), Str("z"));
    EXPECT_EQ(t->chartYAxisTitle(), Str("v"));
    EXPECT_TRUE(errors().empty());
}

TEST_F(RepositoryFileTest, HostileFilesAreRefusedOrLoadedInPart) {
    struct Case {
        const char* file;
        bool loads;          // loadRepository's result
        size_t snapshots;    // snapshots afterwards (the old one stays on failure)
    };
    const Case cases[] = {
        {"valid.zip", true, 1},
        {"truncated.zip", false, 1},
        {"empty.zip", false, 1},
        {"not_a_zip.zip", false, 1},
        {"bad_crc.zip", false, 1},
        {"not_xml.zip", false, 1},
        {"wrong_root.zip", false, 1},
        {"deep.zip", false, 1},
        {"index_bomb.zip", false, 1},
        {"hostile_names.zip", true, 4},
        {"rows_huge.zip", true, 1},
        {"rows_negative.zip", true, 1},
        {"row_million_items.zip", true, 1},
        {"image_bomb.zip", true, 3},
        {"image_bomb_lying.zip", true, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        PtrRef<Repository> repo = new Repository;
        repo->addSnapshot(namedImageSnapshot("Mine").p());
        recorder->clear();
        EXPECT_EQ(repo->loadRepository(CORPUS + c.file), c.loads);
        EXPECT_EQ(repo->snapshotCount(), c.snapshots);
        if (!c.loads) {
            EXPECT_FALSE(errors().empty());
            EXPECT_EQ(repo->snapshot(0)->name(), Str("Mine"));
        }
        // Names are only looked up in the archive, never used as paths: the two
        // that exist as entries load, the others are not found.
        const std::string name = c.file;
        const size_t withImage = name == "valid.zip" ? 1 : name == "hostile_names.zip" ? 2 : 0;
        for (size_t i = 0; c.loads && i < repo->snapshotCount(); ++i) {
            EXPECT_EQ(repo->snapshot(i)->image() != nullptr, i < withImage) << i;
            EXPECT_EQ(repo->snapshot(i)->table(), nullptr);
        }
    }
}
