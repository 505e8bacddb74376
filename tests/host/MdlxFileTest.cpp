// Mdlx model files: writing cases, reading their previews back, exchanging bytes.
#include "host/ug/MdlxFile.h"
#include "host/ug/ZipArchive.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <cstdlib>

using kiv::ug::MdlxAccess;
using kiv::ug::MdlxInfoCase;
using kiv::ug::MdlxMemoryFile;
using kiv::ug::MdlxWriter;
using kiv::ug::MdlxZipMemFile;

namespace {

MkRGBImage gradient(int w, int h, int channel) {
    MkRGBImage img(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            unsigned char* p = img.GetData() + 3 * (y * w + x);
            p[channel] = static_cast<unsigned char>(x * 255 / (w - 1));
            p[(channel + 1) % 3] = static_cast<unsigned char>(y * 255 / (h - 1));
        }
    return img;
}

// Mean absolute difference per byte (JPEG is lossy).
double difference(const MkRGBImage& a, const MkRGBImage& b) {
    if (a.GetNumImageBytes() != b.GetNumImageBytes()) return 1e9;
    double sum = 0;
    for (int i = 0; i < a.GetNumImageBytes(); ++i) sum += std::abs(a.GetData()[i] - b.GetData()[i]);
    return sum / a.GetNumImageBytes();
}

std::string bytesOf(const MdlxZipMemFile& file) {
    return std::string(reinterpret_cast<const char*>(file.GetBuffer()), file.GetSize());
}

} // namespace

TEST(MdlxFile, CasesAndPreviewsRoundTrip) {
    MdlxWriter writer;
    const std::string model("binary\0model\xff data", 18);
    EXPECT_EQ(writer.AddCase(L"Crash \u00e9tude", gradient(40, 30, 0), model.data(), model.size()), 1);
    EXPECT_EQ(writer.AddCase("Second", gradient(16, 16, 2)), 2);
    lfw::Ref<MdlxMemoryFile> file = new MdlxMemoryFile;
    ASSERT_TRUE(writer.Write(file.p()));

    MdlxAccess access;
    ASSERT_TRUE(access.Open(file->internal_mdlxZipMemFile(), MdlxAccess::READ));
    ASSERT_EQ(access.GetNumCases(), 2);
    MdlxInfoCase first, second;
    ASSERT_TRUE(access.GetCase(0, &first));
    ASSERT_TRUE(access.GetCase(1, &second));
    EXPECT_FALSE(access.GetCase(2, &second));
    EXPECT_EQ(first.GetName(), MkString(L"Crash \u00e9tude"));
    EXPECT_EQ(second.GetName(), MkString("Second"));

    MkRGBImage image;
    ASSERT_TRUE(access.GetCaseSnapshot(first.GetCaseId(), &image));
    EXPECT_EQ(image.GetWidth(), 40);
    EXPECT_EQ(image.GetHeight(), 30);
    EXPECT_LT(difference(image, gradient(40, 30, 0)), 4.0);
    ASSERT_TRUE(access.GetCaseSnapshot(second.GetCaseId(), &image));
    EXPECT_LT(difference(image, gradient(16, 16, 2)), 4.0) << "each case has its own preview";

    MkUbyteArray data;
    ASSERT_TRUE(access.GetCaseModelData(first.GetCaseId(), &data));
    EXPECT_EQ(std::string(data.Std().begin(), data.Std().end()), model);
    EXPECT_FALSE(access.GetCaseModelData(second.GetCaseId(), &data));
    EXPECT_FALSE(access.GetCaseSnapshot(99, &image));
    EXPECT_EQ(image.GetNumImageBytes(), 0);
}

TEST(MdlxFile, BytesAreExchangedUnchanged) {
    MdlxWriter writer;
    writer.AddCase("A", gradient(8, 8, 1));
    MdlxZipMemFile original;
    ASSERT_TRUE(writer.Write(&original));

    MkUbyteArray bytes;
    ASSERT_TRUE(original.GetData(&bytes));
    EXPECT_EQ(std::string(bytes.Std().begin(), bytes.Std().end()), bytesOf(original));
    lfw::Ref<MdlxMemoryFile> copy = new MdlxMemoryFile;
    ASSERT_TRUE(copy->setFromRawData(bytes.GetData(), static_cast<size_t>(bytes.GetSize())));
    EXPECT_EQ(bytesOf(*copy->internal_mdlxZipMemFile()), bytesOf(original));
    MdlxZipMemFile viaArray;
    ASSERT_TRUE(viaArray.CopyData(bytes));
    EXPECT_EQ(bytesOf(viaArray), bytesOf(original));

    kivtest::TempDir dir;
    ASSERT_TRUE(copy->internal_mdlxZipMemFile()->Save(dir.file("m.mdlx").c_str()));
    EXPECT_EQ(kivtest::readFile(dir.file("m.mdlx")), bytesOf(original));
    EXPECT_FALSE(copy->internal_mdlxZipMemFile()->Save(dir.file("missing/m.mdlx").c_str()));
    EXPECT_FALSE(MdlxZipMemFile().Save(dir.file("empty.mdlx").c_str())) << "an empty model is no file";
    EXPECT_FALSE(copy->setFromRawData(nullptr, 5));
    EXPECT_FALSE(original.GetData(nullptr));
}

TEST(MdlxFile, WhatIsNotAModelGivesFalse) {
    MdlxAccess access;
    MdlxZipMemFile file;
    EXPECT_FALSE(access.Open(&file, MdlxAccess::READ)) << "empty";
    EXPECT_FALSE(access.Open(nullptr, MdlxAccess::READ));
    file.CopyData("not a zip archive", 17);
    EXPECT_FALSE(access.Open(&file, MdlxAccess::READ));

    {  // a zip, but without the identification entry
        CZipMemFile mem;
        CZipArchive zip;
        zip.Open(mem, CZipArchive::zipCreate);
        zip.AddNewFile("id=1\nname=x", 11, "cases/0/case.txt");
        zip.Close();
        file.CopyData(mem.GetData(), mem.GetSize());
    }
    EXPECT_FALSE(access.Open(&file, MdlxAccess::READ));
    EXPECT_FALSE(access.IsOpen());

    MdlxWriter empty;
    ASSERT_TRUE(empty.Write(&file));
    EXPECT_FALSE(access.Open(&file, 2)) << "only reading is supported";
    ASSERT_TRUE(access.Open(&file, MdlxAccess::READ));
    MdlxInfoCase info;
    EXPECT_FALSE(access.GetCase(0, &info)) << "no case";

    MdlxWriter noPreview;
    noPreview.AddCase("bare", MkRGBImage());
    ASSERT_TRUE(noPreview.Write(&file));
    ASSERT_TRUE(access.Open(&file, MdlxAccess::READ));
    ASSERT_TRUE(access.GetCase(0, &info));
    MkRGBImage image = gradient(4, 4, 0);
    EXPECT_FALSE(access.GetCaseSnapshot(info.GetCaseId(), &image));
    EXPECT_EQ(image.GetNumImageBytes(), 0);
}
