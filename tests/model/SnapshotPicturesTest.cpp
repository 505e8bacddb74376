// JPEG files, file copies and model previews.
#include "impl/common/SnapshotPictures.h"
#include "host/core/KivImage.h"
#include "host/ug/MdlxFile.h"
#include "host/ug/MdlxImageJpeg.h"
#include "support/Builders.h"
#include "support/TestSupport.h"
#include <string>
#include <sys/stat.h>
#include <vector>

using kiv::PtrRef;
using kiv::rep::SnapshotPictures;
typedef std::vector<std::string> Messages;

namespace {

bool fileExists(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

class SnapshotPicturesTest : public kivtest::LoggingTest {
protected:
    kivtest::TempDir dir;
    kiv::rep::Problems problems;
    Messages reported() const {
        Messages out;
        for (const kiv::rep::Problem& p : problems.all()) out.push_back(p.message);
        return out;
    }
};

}  // namespace

TEST_F(SnapshotPicturesTest, SaveImageAsJpegEncodesOrWritesTheSourceJpegUnchanged) {
    const std::string path = dir.file("source.jpg");
    PtrRef<kiv::Image> image = kivtest::gradientImage(40, 30);
    ASSERT_TRUE(SnapshotPictures::saveImageAsJpeg(image.p(), path, &problems));
    const std::string bytes = kivtest::readFile(path);
    MkRGBImage decoded;
    ASSERT_TRUE(MdlxImageJpeg::loadImageFromMemory(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), &decoded));
    EXPECT_EQ(decoded.GetWidth(), 40);
    EXPECT_EQ(decoded.GetHeight(), 30);
    EXPECT_TRUE(problems.empty());

    // A picture loaded from a JPEG is written back as those very bytes, not encoded again.
    MkRGBImage rgb(40, 30);
    std::vector<unsigned char> source;
    ASSERT_TRUE(MdlxImageJpeg::saveImageToMemory(rgb, &source, 50));
    image->setSourceJpeg(source);
    ASSERT_TRUE(SnapshotPictures::saveImageAsJpeg(image.p(), path, &problems));
    EXPECT_EQ(kivtest::readFile(path), std::string(source.begin(), source.end()));

    // Changing the pixels drops the source bytes.
    image->data()[0] = 255;
    ASSERT_TRUE(SnapshotPictures::saveImageAsJpeg(image.p(), path, &problems));
    EXPECT_NE(kivtest::readFile(path), std::string(source.begin(), source.end()));
}

TEST_F(SnapshotPicturesTest, SaveImageAsJpegFailuresAreLoggedAndLeaveNoFile) {
    const std::string path = dir.file("empty.jpg");
    EXPECT_FALSE(SnapshotPictures::saveImageAsJpeg(PtrRef<kiv::Image>(new kiv::Image).p(), path, &problems));
    EXPECT_FALSE(SnapshotPictures::saveImageAsJpeg(nullptr, path, &problems));
    EXPECT_FALSE(fileExists(path));
    const std::string unreachable = dir.file("no/such/folder/a.jpg");
    EXPECT_FALSE(SnapshotPictures::saveImageAsJpeg(kivtest::gradientImage(8, 8).p(), unreachable, &problems));
    EXPECT_EQ(reported(), (Messages{"Image object empty. No JPEG image created.", "Image object empty. No JPEG image created.",
                                    "Error opening file (" + unreachable + ")"}));

    // Writes to /dev/full fail for want of space; the device itself must stay.
    struct stat st;
    if (::stat("/dev/full", &st) != 0 || !S_ISCHR(st.st_mode)) GTEST_SKIP() << "no /dev/full";
    problems.clear();
    EXPECT_FALSE(SnapshotPictures::saveImageAsJpeg(kivtest::gradientImage(64, 64).p(), "/dev/full", &problems));
    EXPECT_EQ(reported(), Messages{"Error writing bytes to image file (/dev/full)"});
    EXPECT_EQ(problems.firstError(), kiv::rep::ProblemCode::WriteFailed);
    ASSERT_EQ(::stat("/dev/full", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
}

TEST_F(SnapshotPicturesTest, PreviewImageOfAModelIsItsFirstCase) {
    // Budgets and unreadable previews: ModelHostileTest; the model file itself: the host tests.
    kiv::ug::MdlxWriter writer;
    ASSERT_GT(writer.AddCase(MkString(L"case 1"), MkRGBImage(24, 16)), 0);
    ASSERT_GT(writer.AddCase(MkString(L"case 2"), MkRGBImage(8, 8)), 0);
    PtrRef<kiv::ug::MdlxMemoryFile> model = new kiv::ug::MdlxMemoryFile;
    ASSERT_TRUE(writer.Write(model.p()));
    PtrRef<kiv::Image> image = SnapshotPictures::snapshotFromMemoryFile(model.p());
    ASSERT_NE(image.p(), nullptr);
    EXPECT_EQ(image->width(), 24u);
    EXPECT_EQ(image->height(), 16u);

    EXPECT_EQ(SnapshotPictures::snapshotFromMemoryFile(nullptr), nullptr);
    kiv::ug::MdlxWriter withoutPreview;
    ASSERT_GT(withoutPreview.AddCase(MkString(L"bare"), MkRGBImage()), 0);
    ASSERT_TRUE(withoutPreview.Write(model.p()));
    EXPECT_EQ(SnapshotPictures::snapshotFromMemoryFile(model.p()), nullptr);
    ASSERT_TRUE(model->setFromRawData("not a zip", 9));
    EXPECT_EQ(SnapshotPictures::snapshotFromMemoryFile(model.p()), nullptr);
}
