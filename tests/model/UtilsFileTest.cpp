// JPEG files, file copies and model previews.
#include "impl/common/Utils.h"
#include "host/core/KivImage.h"
#include "host/ug/MdlxFile.h"
#include "host/ug/MdlxImageJpeg.h"
#include "support/Builders.h"
#include "support/TestSupport.h"
#include <string>
#include <sys/stat.h>
#include <vector>

using kiv::PtrRef;
using kiv::rep::Utils;
typedef std::vector<std::string> Messages;

namespace {

bool fileExists(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

class UtilsFileTest : public kivtest::LoggingTest {
protected:
    kivtest::TempDir dir;
};

} // namespace

TEST_F(UtilsFileTest, SaveImageAsJpegEncodesOrWritesTheSourceJpegUnchanged) {
    const std::string path = dir.file("source.jpg");
    PtrRef<kiv::Image> image = kivtest::gradientImage(40, 30);
    ASSERT_TRUE(Utils::saveImageAsJpeg(image.p(), MkString(path.c_str())));
    const std::string bytes = kivtest::readFile(path);
    MkRGBImage decoded;
    ASSERT_TRUE(MdlxImageJpeg::loadImageFromMemory(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(),
                                                   &decoded));
    EXPECT_EQ(decoded.GetWidth(), 40);
    EXPECT_EQ(decoded.GetHeight(), 30);
    EXPECT_TRUE(errors().empty());

    // A picture loaded from a JPEG is written back as those very bytes, not encoded again.
    MkRGBImage rgb(40, 30);
    std::vector<unsigned char> source;
    ASSERT_TRUE(MdlxImageJpeg::saveImageToMemory(rgb, &source, 50));
    image->setSourceJpeg(source);
    ASSERT_TRUE(Utils::saveImageAsJpeg(image.p(), MkString(path.c_str())));
    EXPECT_EQ(kivtest::readFile(path), std::string(source.begin(), source.end()));

    // Changing the pixels drops the source bytes.
    image->data()[0] = 255;
    ASSERT_TRUE(Utils::saveImageAsJpeg(image.p(), MkString(path.c_str())));
    EXPECT_NE(kivtest::readFile(path), std::string(source.begin(), source.end()));
}

TEST_F(UtilsFileTest, SaveImageAsJpegFailuresAreLoggedAndLeaveNoFile) {
    const std::string path = dir.file("empty.jpg");
    EXPECT_FALSE(Utils::saveImageAsJpeg(PtrRef<kiv::Image>(new kiv::Image).p(), MkString(path.c_str())));
    EXPECT_FALSE(Utils::saveImageAsJpeg(nullptr, MkString(path.c_str())));
    EXPECT_FALSE(fileExists(path));
    const std::string unreachable = dir.file("no/such/folder/a.jpg");
    EXPECT_FALSE(Utils::saveImageAsJpeg(kivtest::gradientImage(8, 8).p(), MkString(unreachable.c_str())));
    EXPECT_EQ(errors(), (Messages{"Image object empty. No JPEG image created.",
                                  "Image object empty. No JPEG image created.",
                                  "Error opening file (" + unreachable + ")"}));

    // Writes to /dev/full fail for want of space; the device itself must stay.
    struct stat st;
    if (::stat("/dev/full", &st) != 0 || !S_ISCHR(st.st_mode)) GTEST_SKIP() << "no /dev/full";
    recorder->clear();
    EXPECT_FALSE(Utils::saveImageAsJpeg(kivtest::gradientImage(64, 64).p(), MkString("/dev/full")));
    EXPECT_EQ(errors(), Messages{"Error writing bytes to image file (/dev/full)"});
    ASSERT_EQ(::stat("/dev/full", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
}

TEST_F(UtilsFileTest, CopyCopiesBytesAndRefusesBadSources) {
    std::string content;
    for (int i = 0; i < 300000; ++i) content.push_back(static_cast<char>(i * 31));
    const std::string source = dir.file("template.pptx");
    ASSERT_TRUE(kivtest::writeFile(source, content));
    ASSERT_TRUE(kivtest::writeFile(dir.file("out.pptx"), "older content"));
    EXPECT_TRUE(Utils::copyTemplateToOutputFile(MkString(source.c_str()), MkString(dir.file("out.pptx").c_str())));
    EXPECT_EQ(kivtest::readFile(dir.file("out.pptx")), content);
    EXPECT_TRUE(errors().empty());

    const std::string missing = dir.file("missing.pptx");
    const std::string unreachable = dir.file("none/out.pptx");
    EXPECT_FALSE(Utils::copy(missing, dir.file("copy1.pptx")));
    EXPECT_FALSE(Utils::copy(dir.path(), dir.file("copy2.pptx")));  // a folder is no source
    EXPECT_FALSE(Utils::copy(source, unreachable));
    EXPECT_FALSE(fileExists(dir.file("copy1.pptx")));
    EXPECT_FALSE(fileExists(dir.file("copy2.pptx")));
    EXPECT_EQ(errors(), (Messages{"Copy failed. Source file " + missing + " did not exist",
                                  "Copy failed. Source file " + dir.path() + " did not exist",
                                  "Copy failed. Could not create destination file " + unreachable}));

    // Copying a file onto itself would empty it.
    EXPECT_FALSE(Utils::copy(source, dir.path() + "/./template.pptx"));
    EXPECT_EQ(kivtest::readFile(source), content);
}

TEST_F(UtilsFileTest, PreviewImageOfAModelIsItsFirstCase) {
    // Budgets and unreadable previews: ModelHostileTest; the model file itself: the host tests.
    kiv::ug::MdlxWriter writer;
    ASSERT_GT(writer.AddCase(MkString(L"case 1"), MkRGBImage(24, 16)), 0);
    ASSERT_GT(writer.AddCase(MkString(L"case 2"), MkRGBImage(8, 8)), 0);
    PtrRef<kiv::ug::MdlxMemoryFile> model = new kiv::ug::MdlxMemoryFile;
    ASSERT_TRUE(writer.Write(model.p()));
    PtrRef<kiv::Image> image = Utils::snapshotFromMemoryFile(model.p());
    ASSERT_NE(image.p(), nullptr);
    EXPECT_EQ(image->width(), 24u);
    EXPECT_EQ(image->height(), 16u);

    EXPECT_EQ(Utils::snapshotFromMemoryFile(nullptr), nullptr);
    kiv::ug::MdlxWriter withoutPreview;
    ASSERT_GT(withoutPreview.AddCase(MkString(L"bare"), MkRGBImage()), 0);
    ASSERT_TRUE(withoutPreview.Write(model.p()));
    EXPECT_EQ(Utils::snapshotFromMemoryFile(model.p()), nullptr);
    ASSERT_TRUE(model->setFromRawData("not a zip", 9));
    EXPECT_EQ(Utils::snapshotFromMemoryFile(model.p()), nullptr);
}
