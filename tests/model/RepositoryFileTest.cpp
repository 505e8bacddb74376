// Saving and loading repository files.
#include "KivReport/Repository.h"
#include "KivReport/Snapshot.h"
#include "KivReport/Table.h"
#include "LibCore/lfwFile.h"
#include "host/core/KivImage.h"
#include "host/ug/MdlxFile.h"
#include "impl/common/SnapshotPictures.h"
#include "impl/storage/ZipArchive.h"
#include "support/Builders.h"
#include "support/FailingZipFile.h"
#include "support/Golden.h"
#include "support/TestSupport.h"
#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <sys/stat.h>

using namespace kiv::rep;  // the layers' classes

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

Snapshot* addNamed(Repository* repository, const std::string& name) {
    repository->addSnapshot(namedImageSnapshot(name).p());
    return repository->snapshot(repository->snapshotCount() - 1);
}

// One line per snapshot: name, title, content (table cells on lines of their own)
// and field values.
std::string describe(const Repository& repository) {
    std::string out;
    for (size_t i = 0; i < repository.snapshotCount(); ++i) {
        const Snapshot* s = repository.snapshot(i);
        out += s->name().toStdString() + " \"" + s->title().toStdString() + "\"";
        if (const kiv::Image* image = s->image())
            out += " image " + std::to_string(image->width()) + "x" + std::to_string(image->height());
        if (s->modelMdlx()) out += " model of " + std::to_string(modelBytes(s->modelMdlx()).size()) + " bytes";
        for (const auto& kv : s->fieldValues()) out += " " + kv.first.toStdString() + "=" + kv.second.toStdString();
        if (const Table* t = s->table()) {
            out += " table, axes " + t->chartXAxisTitle().toStdString() + "|" + t->chartYAxisTitle().toStdString();
            for (size_t r = 0; r < t->rowCount(); ++r)
                for (size_t c = 0; c < t->columnCount(); ++c) out += (c ? "," : "\n  ") + t->value(r, c).toStdString();
        }
        out += "\n";
    }
    return out;
}

class RepositoryFileTest : public kivtest::LoggingTest {
protected:
    kivtest::TempDir dir;

    std::string file(const char* name) const { return dir.file(name); }

    // Names of the entries, in archive order.
    static std::vector<std::string> entries(const std::string& path) {
        std::vector<std::string> names;
        ZipArchive zip;
        if (!zip.open(path, ZIP_OPEN_READ_ONLY)) return names;
        for (int i = 0; i < zip.getNumFiles(); ++i) names.push_back(zip.getStoredName(i));
        return names;
    }

    // An entry's bytes ("<missing>" when it cannot be read).
    static std::string entry(const std::string& path, const char* name) {
        ZipArchive zip;
        size_t size = 0;
        unsigned char* data = zip.open(path, ZIP_OPEN_READ_ONLY) ? zip.readDataRaw(name, &size) : nullptr;
        const std::string bytes = data ? std::string(reinterpret_cast<const char*>(data), size) : "<missing>";
        std::free(data);
        return bytes;
    }

    // Files in the test folder other than the given one: temporaries left behind.
    std::vector<std::string> otherFiles(const std::string& keep) const {
        std::vector<std::string> out;
        for (const lfw::String& f : lfw::FileSystem::getAllFilesInDirectory(dir.path()))
            if (f.toStdString() != keep) out.push_back(f.toStdString());
        return out;
    }
};

}  // namespace

TEST_F(RepositoryFileTest, RoundTripAndIndexLayout) {
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
    PtrRef<Snapshot> c = kivtest::tableSnapshot({{"r0", ""}, {"r1", ""}, {"r2", "x"}});
    c->setName("C");
    c->table()->setChartXAxisTitle("Time [s]");
    c->table()->setChartYAxisTitle(Str(L"\u03c3"));
    PtrRef<Repository> repo = kivtest::repositoryOf({a.p(), b.p(), c.p()});

    const std::string path = file("repo.zip");
    ASSERT_TRUE(repo->saveRepository(path));
    EXPECT_TRUE(errors().empty());
    EXPECT_EQ(entries(path), (std::vector<std::string>{"A", "B", "Project.xml"}));

    // The index as other readers see it: field values in key order, sizes and
    // format of the image, the table's rows and column numbers.
    EXPECT_GOLDEN("model/Project.xml", entry(path, "Project.xml"));

    // What was loaded saves to the same index, model bytes and JPEG (not a
    // re-encoded one): the reader keeps every field the golden index shows.
    PtrRef<Repository> back = new Repository;
    ASSERT_TRUE(back->loadRepository(path));
    ASSERT_TRUE(back->saveRepository(file("again.zip")));
    for (const char* name : {"Project.xml", "A", "B"}) EXPECT_EQ(entry(file("again.zip"), name), entry(path, name)) << name;
    EXPECT_EQ(modelBytes(back->snapshot(1)->modelMdlx()), modelContent);
    const kiv::Image* image = back->snapshot(0)->image();
    ASSERT_NE(image, nullptr);
    ASSERT_EQ(image->byteCount(), a->image()->byteCount());
    long diff = 0;  // JPEG is lossy; a smooth gradient comes back close
    for (size_t i = 0; i < image->byteCount(); ++i) diff += std::abs(image->data()[i] - a->image()->data()[i]);
    EXPECT_LT(diff / static_cast<long>(image->byteCount()), 4);
}

TEST_F(RepositoryFileTest, MissingAndEmptyFilesLeaveTheRepositoryAsItWas) {
    // A file that holds situations replaces them: HostileFilesAreRefusedOrLoadedInPart.
    PtrRef<Repository> empty = new Repository;
    ASSERT_TRUE(empty->saveRepository(file("empty.zip")));
    PtrRef<Repository> repo = kivtest::repositoryOf({namedImageSnapshot("Old").p()});
    EXPECT_FALSE(repo->loadRepository(file("missing.zip")));
    EXPECT_TRUE(recorder->contains("File not found in archive: Project.xml"));
    EXPECT_FALSE(repo->loadRepository(file("empty.zip")));  // nothing to load
    EXPECT_EQ(describe(*repo), "Old \"\" image 64x48\n");
}

TEST_F(RepositoryFileTest, CorpusFilesLoadAsListed) {
    // Another zip writer's file; an older format with foreign pictures, an unknown
    // type and stored duplicate names; table rows cut, repeated and out of order.
    std::string listing;
    for (const char* name : {"all_kinds.zip", "older_format.zip", "rows_cut.zip"}) {
        PtrRef<Repository> repo = new Repository;
        recorder->clear();
        listing += "== " + std::string(name) + (repo->loadRepository(CORPUS + name) ? "\n" : " not loaded\n");
        listing += describe(*repo);
        for (const std::string& m : recorder->messages()) listing += "log: " + m + "\n";
        if (name == std::string("all_kinds.zip")) {
            EXPECT_EQ(modelBytes(repo->snapshot(1)->modelMdlx()), "PK\x03\x04 model bytes");
        }
        if (name != std::string("older_format.zip")) continue;
        // What loaded without content saves again (no assertion) and loads the same way.
        ASSERT_TRUE(repo->saveRepository(file("resaved.zip")));
        EXPECT_EQ(entries(file("resaved.zip")), std::vector<std::string>{"Project.xml"});
        PtrRef<Repository> again = new Repository;
        ASSERT_TRUE(again->loadRepository(file("resaved.zip")));
        EXPECT_EQ(describe(*again), describe(*repo));
    }
    EXPECT_GOLDEN("model/corpus_listing.txt", listing);
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
        {"entry named like the index", [](Repository* r) { addNamed(r, "Project.xml"); }},
        {"two snapshots renamed to one name",
         [](Repository* r) {
             addNamed(r, "X");
             addNamed(r, "Y")->setName("X");
         }},
        {"names equal once separators are stored",
         [](Repository* r) {
             addNamed(r, "d/e");
             addNamed(r, "d\\e");
         }},
        {"empty name", [](Repository* r) { addNamed(r, "Z")->setName(""); }},
        // These fail only while the archive is written: after the first entry.
        {"image that cannot be encoded", [](Repository* r) { addNamed(r, "Broken")->setImage(new kiv::Image); }},
        {"entry name the archive refuses",
         [](Repository* r) { addNamed(r, std::string(5000, 'n'))->setImage(kivtest::flatImage(8, 8).p()); }},
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

TEST_F(RepositoryFileTest, HostileFilesAreRefusedOrLoadedInPart) {
    struct Case {
        const char* file;
        bool loads;        // loadRepository's result
        size_t snapshots;  // snapshots afterwards (the old one stays on failure)
        bool clean;        // loadedCleanly() after a load
    };
    const Case cases[] = {
        {"valid.zip", true, 1, true},
        {"truncated.zip", false, 1, false},
        {"empty.zip", false, 1, false},
        {"not_a_zip.zip", false, 1, false},
        {"bad_crc.zip", false, 1, false},
        {"not_xml.zip", false, 1, false},
        {"wrong_root.zip", false, 1, false},
        {"deep.zip", false, 1, false},
        {"index_bomb.zip", false, 1, false},
        {"hostile_names.zip", true, 4, false},
        {"rows_huge.zip", true, 1, false},
        {"rows_negative.zip", true, 1, true},
        {"row_million_items.zip", true, 1, false},
        {"image_bomb.zip", true, 3, false},
        {"image_bomb_lying.zip", true, 3, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        PtrRef<Repository> repo = new Repository;
        repo->addSnapshot(namedImageSnapshot("Mine").p());
        recorder->clear();
        EXPECT_EQ(repo->loadRepository(CORPUS + c.file), c.loads);
        EXPECT_EQ(repo->snapshotCount(), c.snapshots);
        EXPECT_EQ(repo->loadedCleanly(), c.clean);
        EXPECT_EQ(errors().empty(), c.clean);
        EXPECT_EQ(repo->snapshot(0)->name() == Str("Mine"), !c.loads);
        EXPECT_EQ(repo->fileName().toStdString() == CORPUS + c.file, c.loads);
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

TEST_F(RepositoryFileTest, SnapshotModelFromFileReadsBytesAndKeepsTheOldModelOnFailure) {
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

TEST_F(RepositoryFileTest, ContentSnapshotsShareIsStoredOnce) {
    // One 4096 x 4096 picture (48 MiB of pixels) for 60 snapshots: loading once
    // charged the pixels of every snapshot and refused more than 40.
    PtrRef<kiv::Image> picture = kivtest::flatImage(4096, 4096).p();
    std::vector<unsigned char> jpeg;
    kiv::rep::Problems problems;
    ASSERT_TRUE(kiv::rep::SnapshotPictures::jpegBytesOf(picture.p(), &jpeg, &problems));
    picture->setSourceJpeg(jpeg);
    PtrRef<kiv::ug::MdlxMemoryFile> model = new kiv::ug::MdlxMemoryFile;
    model->setFromRawData("PK\x03\x04 model", 10);
    struct Case {
        const char* what;
        int count;
        std::function<void(Snapshot*)> fill;
    } const cases[] = {
        {"one picture", 60, [&](Snapshot* s) { s->setImage(picture.p()); }},
        {"equal pictures of their own", 3, [](Snapshot* s) { s->setImage(kivtest::flatImage(16, 16).p()); }},
        {"one model", 3, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        lfw::Ref<Repository> repository = new Repository;
        for (int i = 0; i < c.count; ++i) {
            if (c.fill) {
                c.fill(addNamed(repository.p(), "p" + std::to_string(i)));
                continue;
            }
            PtrRef<Snapshot> s = new Snapshot(Snapshot::MDLX);
            s->setName(Str("p" + std::to_string(i)));
            s->setModelMdlx(model.p());
            repository->addSnapshot(s.p());
        }
        const std::string path = file("shared.kivrep"), again = file("again.kivrep");
        ASSERT_TRUE(repository->saveRepository(Str(path)));
        EXPECT_EQ(entries(path), (std::vector<std::string>{"p0", "Project.xml"}));
        lfw::Ref<Repository> loaded = new Repository;
        ASSERT_TRUE(loaded->loadRepository(Str(path)));
        EXPECT_TRUE(loaded->loadedCleanly());
        EXPECT_EQ(describe(*loaded), describe(*repository)) << "names, sizes and bytes are kept";
        // What was loaded shares as it did, and saves the same file again.
        EXPECT_EQ(loaded->snapshot(0)->modelMdlx(), loaded->snapshot(c.count - 1)->modelMdlx());
        ASSERT_TRUE(loaded->saveRepository(Str(again)));
        EXPECT_EQ(kivtest::readFile(again), kivtest::readFile(path));
    }
    EXPECT_TRUE(errors().empty());

    // What loading would refuse is not saved: a picture whose decoder alone
    // would take more memory than a repository file may.
    const std::string header = entry(std::string(KIV_TEST_DATA_DIR) + "/hostile/jpeg_decoder_memory.zip", "img");
    PtrRef<kiv::Image> huge = kivtest::flatImage(1, 1).p();
    huge->setSourceJpeg(std::vector<unsigned char>(header.begin(), header.end()));
    lfw::Ref<Repository> refused = new Repository;
    addNamed(refused.p(), "huge")->setImage(huge.p());
    EXPECT_FALSE(refused->saveRepository(Str(file("huge.kivrep"))));
    ASSERT_EQ(errors().size(), 1u);
    EXPECT_EQ(errors()[0],
              "The repository is not saved: with snapshot 'huge' it would hold more pictures and models "
              "than a repository file may, and could not be loaded");
}
