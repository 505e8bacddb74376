// Hostile repository files: content that would take unbounded time or memory
// is refused before it is decoded, and a load says when it left content out.
#include "LibCore/lfwText.h"
#include "KivReport/Repository.h"
#include "KivReport/Snapshot.h"
#include "host/core/KivImage.h"
#include "impl/common/FieldMacros.h"
#include "impl/common/ReportBudget.h"
#include "impl/common/SnapshotPictures.h"
#include "support/Builders.h"
#include "support/TestSupport.h"
#include <string>
#include <sys/stat.h>

using kiv::PtrRef;
using kiv::Str;
using kiv::rep::FieldMacros;
using kiv::rep::ReportBudget;
using kiv::rep::Repository;
using kiv::rep::SnapshotPictures;

namespace {

const std::string kHostile = std::string(KIV_TEST_DATA_DIR) + "/hostile/";

class ModelHostile : public kivtest::LoggingTest {
protected:
    // Loads a file of the corpus; the result of loadRepository.
    bool load(const std::string& name) { return repository->loadRepository(Str(kHostile + name)); }
    static bool reported(const ReportBudget& budget, const std::string& part) {
        for (const kiv::rep::Problem& p : budget.problems().all())
            if (p.message.find(part) != std::string::npos) return true;
        return false;
    }
    bool logged(const std::string& part) const {
        for (const std::string& e : errors())
            if (e.find(part) != std::string::npos) return true;
        return false;
    }
    lfw::Ref<Repository> repository = new Repository;
};

}  // namespace

TEST_F(ModelHostile, PicturesAreBoundedBeforeTheyAreDecoded) {
    // 2,000 scans: refused by the scan limit (libjpeg alone decodes it).
    ASSERT_TRUE(load("jpeg_scans.zip"));
    EXPECT_FALSE(repository->loadedCleanly());
    ASSERT_EQ(repository->snapshotCount(), 1u);
    EXPECT_EQ(repository->snapshot(0)->image(), nullptr);
    EXPECT_TRUE(logged("Error decoding JPEG image 'img'"));
    // Ten scans per component still load.
    recorder->clear();
    ASSERT_TRUE(load("jpeg_progressive_ok.zip"));
    EXPECT_TRUE(repository->loadedCleanly()) << (errors().empty() ? "" : errors()[0]);
    ASSERT_NE(repository->snapshot(0)->image(), nullptr);
    EXPECT_EQ(repository->snapshot(0)->image()->width(), 64u);
    // A 2 KB header whose decoder would take 2.4 GB: charged before decoding.
    recorder->clear();
    ASSERT_TRUE(load("jpeg_decoder_memory.zip"));
    EXPECT_FALSE(repository->loadedCleanly());
    EXPECT_EQ(repository->snapshot(0)->image(), nullptr);
    EXPECT_TRUE(logged("holds too much data; 'img' is not loaded"));
}

TEST_F(ModelHostile, TablesAndDamagedEntriesMakeAnUncleanLoad) {
    ASSERT_TRUE(load("table_rows.zip"));
    EXPECT_FALSE(repository->loadedCleanly());
    ASSERT_EQ(repository->snapshotCount(), 4u);
    for (size_t i = 0; i < 4; ++i) EXPECT_EQ(repository->snapshot(i)->table(), nullptr);
    for (const char* name : {"bad_crc_image.zip", "encrypted_image.zip"}) {
        ASSERT_TRUE(load(name)) << name;
        EXPECT_FALSE(repository->loadedCleanly()) << name;
        ASSERT_EQ(repository->snapshotCount(), 2u);
        EXPECT_NE(repository->snapshot(1)->table(), nullptr);  // the rest is there
    }
    // A clean load after these: RepositoryFileTest.HostileFilesAreRefusedOrLoadedInPart.
    // Unreadable XML fails the load, and so does it for a clean flag.
    for (const char* name : {"deep_entity.zip", "deep_utf8.zip", "cut_utf8.zip"}) {
        EXPECT_FALSE(load(name)) << name;
        EXPECT_FALSE(repository->loadedCleanly());
        EXPECT_TRUE(logged("is not readable XML")) << name;
    }
}

TEST_F(ModelHostile, AFifoIsRefusedWithoutOpeningIt) {
    kivtest::TempDir dir;
    ASSERT_EQ(mkfifo(dir.file("fifo").c_str(), 0600), 0);
    EXPECT_FALSE(repository->loadRepository(Str(dir.file("fifo"))));  // would block forever in open()
    EXPECT_TRUE(logged("is not a regular file"));
}

TEST_F(ModelHostile, PreviewsAreChargedToTheReportBudgetBeforeInflating) {
    // The model of preview_bomb.zip declares a 1 GiB preview: refused from the declared size.
    ASSERT_TRUE(load("preview_bomb.zip"));
    ASSERT_TRUE(repository->loadedCleanly());
    ReportBudget budget;
    EXPECT_EQ(SnapshotPictures::snapshotFromMemoryFile(repository->snapshot(0)->modelMdlx(), &budget), nullptr);
    EXPECT_TRUE(reported(budget, "needs 1073741824 bytes"));
    EXPECT_EQ(budget.left(), ReportBudget::DEFAULT_BYTES);

    // A readable preview within the budget, and the same beyond a small one.
    kivtest::SnapshotRef model = kivtest::previewModelSnapshot(64, 48);
    PtrRef<kiv::Image> image(SnapshotPictures::snapshotFromMemoryFile(model->modelMdlx(), &budget));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width(), 64u);
    EXPECT_LT(budget.left(), ReportBudget::DEFAULT_BYTES);
    ReportBudget small(1000);
    recorder->clear();
    EXPECT_EQ(SnapshotPictures::snapshotFromMemoryFile(model->modelMdlx(), &small), nullptr);
    EXPECT_TRUE(small.exhausted());
    EXPECT_EQ(small.problems().errorCount(), 1u);

    // A preview that is no picture is an error, not a silent gap.
    recorder->clear();
    ASSERT_TRUE(load("preview_unreadable.zip"));
    EXPECT_EQ(SnapshotPictures::snapshotFromMemoryFile(repository->snapshot(0)->modelMdlx(), &budget), nullptr);
    EXPECT_TRUE(reported(budget, "Preview picture of a model cannot be read"));
}

TEST_F(ModelHostile, ManyPicturesFitTheBudgetsTheyHoldAtOnce) {
    // Each decode takes a few megabytes of working memory for a moment; only the
    // pixels stay. Charging the working memory for good refused repositories of
    // some hundreds of pictures.
    PtrRef<Repository> many = new Repository;
    for (int i = 0; i < 700; ++i) many->addSnapshot(kivtest::imageSnapshot(8, 8).p());
    kivtest::TempDir dir;
    ASSERT_TRUE(many->saveRepository(Str(dir.file("many.kivrep"))));
    ASSERT_TRUE(repository->loadRepository(Str(dir.file("many.kivrep"))));
    EXPECT_TRUE(repository->loadedCleanly()) << (errors().empty() ? "" : errors()[0]);
    ASSERT_EQ(repository->snapshotCount(), 700u);
    EXPECT_NE(repository->snapshot(699)->image(), nullptr);

    kivtest::SnapshotRef model = kivtest::previewModelSnapshot(8, 8);
    ReportBudget budget(uint64_t(64) << 20);
    for (int i = 0; i < 100; ++i) {
        PtrRef<kiv::Image> preview(SnapshotPictures::snapshotFromMemoryFile(model->modelMdlx(), &budget));
        ASSERT_TRUE(preview) << "preview " << i;
    }
}

TEST_F(ModelHostile, MacroExpansionStopsAtTheGivenLength) {
    kiv::rep::FieldValues values;
    values[Str("A")] = Str("$(B)$(B)$(B)$(B)");
    values[Str("B")] = Str(std::wstring(1000, L'\u00e9'));  // lengths count characters, not bytes
    std::string text("$(A)");
    kiv::rep::Problems problems;
    EXPECT_FALSE(FieldMacros::expandString(values, &text, 2000, &problems));
    EXPECT_EQ(problems.firstError(), kiv::rep::ProblemCode::TooLarge);
    EXPECT_LE(lfw::text::codePoints(text), 2000u);
    std::string room("$(A)");
    EXPECT_TRUE(FieldMacros::expandString(values, &room, 5000, nullptr));
    EXPECT_EQ(room.size(), 8000u);
}
