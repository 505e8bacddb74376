// Pictures, JPEG coding, Mdlx model files, files and paths of the host layer.
#include "host/core/KivImage.h"
#include "host/core/KivStr.h"
#include "host/ug/MdlxFile.h"
#include "host/ug/MdlxImageJpeg.h"
#include "host/ug/MkEndian.h"
#include "host/ug/MkFile.h"
#include "host/ug/MkRGBImage.h"
#include "host/ug/UgConvert.h"
#include "support/TestSupport.h"
#include <gtest/gtest.h>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

using namespace kiv::ug;

namespace {

// Small JPEG files made with libjpeg: 8 x 8 grey level 200, 8 x 8 red as Adobe
// (inverted) CMYK, and the grey one with its frame header claiming 65520 x 65520.
std::vector<unsigned char> jpegFile(const char* name) {
    const std::string bytes = kivtest::readFile(std::string(KIV_TEST_DATA_DIR) + "/jpeg/" + name);
    return std::vector<unsigned char>(bytes.begin(), bytes.end());
}

// A picture with gradients and flat blocks, sized off the 8 x 8 block grid.
MkRGBImage testPicture(int w, int h) {
    MkRGBImage image(w, h);
    unsigned char* p = image.GetData();
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x, p += 3) {
            p[0] = static_cast<unsigned char>(x * 255 / (w - 1));
            p[1] = static_cast<unsigned char>(y * 255 / (h - 1));
            p[2] = (x < w / 2) ? 40 : 220;
        }
    return image;
}

// Mean absolute difference per byte (JPEG is lossy).
double meanDifference(const MkRGBImage& a, const MkRGBImage& b) {
    if (a.GetNumImageBytes() != b.GetNumImageBytes()) return 1e9;
    double sum = 0;
    for (int i = 0; i < a.GetNumImageBytes(); ++i) sum += std::abs(int(a.GetData()[i]) - int(b.GetData()[i]));
    return sum / a.GetNumImageBytes();
}

std::string bytesOf(const MdlxZipMemFile& file) {
    return std::string(reinterpret_cast<const char*>(file.GetBuffer()), file.GetSize());
}

TEST(MdlxImageJpeg, RoundTripKeepsSizeAndColours) {
    MkRGBImage original = testPicture(37, 23);
    std::vector<unsigned char> jpeg;
    ASSERT_TRUE(MdlxImageJpeg::saveImageToMemory(original, &jpeg));
    ASSERT_GT(jpeg.size(), 4u);
    EXPECT_EQ(jpeg[jpeg.size() - 1], 0xD9);  // ends with its end-of-image marker

    MkRGBImage decoded;
    ASSERT_TRUE(MdlxImageJpeg::loadImageFromMemory(jpeg, &decoded));
    EXPECT_EQ(decoded.GetWidth(), 37);
    EXPECT_EQ(decoded.GetHeight(), 23);
    ASSERT_EQ(decoded.GetNumImageBytes(), 37 * 23 * 3);
    EXPECT_LT(meanDifference(original, decoded), 4.0);

    std::vector<unsigned char> rough;
    ASSERT_TRUE(MdlxImageJpeg::saveImageToMemory(original, &rough, 5));
    EXPECT_LT(rough.size(), jpeg.size());

    // A picture larger than the encoder's first output buffer.
    MkRGBImage noisy(300, 200);
    uint32_t seed = 1;
    for (unsigned char& c : noisy.Bytes()) c = static_cast<unsigned char>((seed = seed * 1664525u + 1013904223u) >> 24);
    ASSERT_TRUE(MdlxImageJpeg::saveImageToMemory(noisy, &jpeg, 100));
    EXPECT_GT(jpeg.size(), 65536u);
    ASSERT_TRUE(MdlxImageJpeg::loadImageFromMemory(jpeg, &decoded));
    EXPECT_EQ(decoded.GetWidth(), 300);
}

TEST(MdlxImageJpeg, OtherColourSpacesDecodeToRgb) {
    MkRGBImage image;
    ASSERT_TRUE(MdlxImageJpeg::loadImageFromMemory(jpegFile("gray200_8x8.jpg"), &image));
    ASSERT_EQ(image.GetNumImageBytes(), 8 * 8 * 3);
    for (int i = 0; i < image.GetNumImageBytes(); ++i) EXPECT_NEAR(image.GetData()[i], 200, 2);

    ASSERT_TRUE(MdlxImageJpeg::loadImageFromMemory(jpegFile("cmyk_red_8x8.jpg"), &image));
    ASSERT_EQ(image.GetNumImageBytes(), 8 * 8 * 3);
    EXPECT_NEAR(image.GetData()[0], 255, 3);
    EXPECT_NEAR(image.GetData()[1], 0, 3);
    EXPECT_NEAR(image.GetData()[2], 0, 3);
}

TEST(MdlxImageJpeg, BadInputFailsCleanly) {
    MkRGBImage image = testPicture(16, 16);
    std::vector<unsigned char> jpeg;
    ASSERT_TRUE(MdlxImageJpeg::saveImageToMemory(image, &jpeg));

    std::vector<unsigned char> out = {1, 2, 3};
    EXPECT_FALSE(MdlxImageJpeg::saveImageToMemory(MkRGBImage(), &out));
    EXPECT_EQ(out, (std::vector<unsigned char>{1, 2, 3}));
    MkRGBImage inconsistent(4, 4);
    inconsistent.Bytes().resize(10);
    EXPECT_FALSE(MdlxImageJpeg::saveImageToMemory(inconsistent, &out));

    MkRGBImage decoded(2, 2);
    const std::string text = "<html>not a picture</html>";
    EXPECT_FALSE(MdlxImageJpeg::loadImageFromMemory(reinterpret_cast<const unsigned char*>(text.data()), text.size(), &decoded));
    EXPECT_EQ(decoded.GetNumImageBytes(), 0);
    EXPECT_FALSE(MdlxImageJpeg::loadImageFromMemory(nullptr, 10, &decoded));

    // Every prefix of a valid file, each in an allocation of exactly its size so
    // that a read past the end is caught.
    for (size_t n = 1; n < jpeg.size(); n += (n < 700 ? 1 : 37)) {
        std::unique_ptr<unsigned char[]> prefix(new unsigned char[n]);
        std::memcpy(prefix.get(), jpeg.data(), n);
        EXPECT_FALSE(MdlxImageJpeg::loadImageFromMemory(prefix.get(), n, &decoded)) << "prefix of " << n << " bytes";
        EXPECT_EQ(decoded.GetNumImageBytes(), 0);
    }

    // A header that claims a huge picture (65520 x 65520) is refused before decoding.
    const std::vector<unsigned char> huge = jpegFile("huge_header.jpg");
    ASSERT_EQ(huge.size(), jpegFile("gray200_8x8.jpg").size());
    EXPECT_FALSE(MdlxImageJpeg::loadImageFromMemory(huge, &decoded));
}

TEST(HostImage, SizesAndConversion) {
    MkRGBImage image;
    EXPECT_TRUE(image.SetSize(3, 2));
    EXPECT_EQ(image.GetNumImageBytes(), 18);
    EXPECT_FALSE(image.SetSize(-1, 2));
    EXPECT_FALSE(image.SetSize(65536, 1));
    EXPECT_FALSE(image.SetSize(65535, 65535));  // more bytes than the count can hold
    EXPECT_EQ(image.GetWidth(), 3);             // failures leave the image as it was
    EXPECT_TRUE(image.SetSize(0, 5));
    EXPECT_EQ(image.GetNumImageBytes(), 0);

    const unsigned char rgb[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    kiv::Image source(2, 2, rgb);
    MkRGBImage converted;
    ASSERT_TRUE(kiv::ug::Convert::toMkRGBImage(&source, &converted));
    EXPECT_EQ(converted.GetWidth(), 2);
    EXPECT_EQ(converted.Bytes(), std::vector<unsigned char>(rgb, rgb + 12));
    kiv::Image back;
    ASSERT_TRUE(kiv::ug::Convert::toImage(converted, &back));
    EXPECT_EQ(back.height(), 2u);
    EXPECT_EQ(std::memcmp(back.data(), rgb, 12), 0);
    EXPECT_FALSE(kiv::ug::Convert::toMkRGBImage(nullptr, &converted));
    kiv::Image empty;
    ASSERT_TRUE(kiv::ug::Convert::toMkRGBImage(&empty, &converted));
    EXPECT_EQ(converted.GetNumImageBytes(), 0);

    const std::wstring text = L"T\u00e9st \U0001F600";
    EXPECT_EQ(kiv::ug::Convert::toMkString(kiv::Str(text)).Std(), text);
    EXPECT_EQ(kiv::ug::Convert::toStr(MkString(text)).toStdWString(), text);
}

TEST(HostFiles, ReadWriteAndAccess) {
    kivtest::TempDir dir;
    const MkString path(dir.file("r\xc3\xa9port.bin").c_str());
    const std::string bytes("a\0b\xff", 4);
    {
        MkFile file(path, MkFile::WRITE);
        EXPECT_EQ(file.Write(bytes.data(), 1, 4), 0u);  // not open yet
        ASSERT_TRUE(file.Open());
        EXPECT_EQ(file.Write(bytes.data(), 4, 1), 1u);
        EXPECT_EQ(file.GetLength(), 4);
        EXPECT_TRUE(file.Close());
    }
    EXPECT_EQ(kivtest::readFile(dir.file("r\xc3\xa9port.bin")), bytes);
    EXPECT_TRUE(MkFileAccess(path, 4));
    std::string content, big(200000, 'q');
    ASSERT_TRUE(MkWriteFile(path, big.data(), big.size()));
    ASSERT_TRUE(MkReadFile(path, &content));
    EXPECT_EQ(content, big);

    const MkString missing(dir.file("none/x.bin").c_str());
    EXPECT_FALSE(MkFile(missing, MkFile::READ).Open());
    EXPECT_FALSE(MkFileAccess(missing));
    EXPECT_FALSE(MkReadFile(missing, &content));
    EXPECT_EQ(content, big);  // untouched on failure
    EXPECT_FALSE(MkWriteFile(missing, "x", 1));
}

TEST(HostFiles, PathHelpers) {
    EXPECT_EQ(MkGetFileName(L"dir/report.html"), MkString(L"report.html"));
    EXPECT_EQ(MkGetFileName(L"dir/report.html", false), MkString(L"report"));
    EXPECT_EQ(MkGetFileName(L"a\\b\\x.tar.gz", false), MkString(L"x.tar"));
    EXPECT_EQ(MkGetFileName(L"dir.d/.hidden", false), MkString(L".hidden"));
    EXPECT_EQ(MkGetFileName(L"dir/"), MkString());
    EXPECT_EQ(MkGetFilePath(L"/tmp/out/report.html", true), MkString(L"/tmp/out/"));
    EXPECT_EQ(MkGetFilePath(L"/tmp/out/report.html", false), MkString(L"/tmp/out"));
    EXPECT_EQ(MkGetFilePath(L"/report.html", false), MkString(L"/"));
    EXPECT_EQ(MkGetAsNativePath(L"word\\media\\image1.jpeg"), MkString(L"word/media/image1.jpeg"));
}

TEST(HostEndian, SwapsEachItem) {
    unsigned char data[] = {1, 2, 3, 4, 5, 6, 7, 8};
    MkByteSwap(data, 4, 2);
    MkByteSwap(data, 1, 8);  // one-byte items stay as they are
    EXPECT_EQ(std::vector<unsigned char>(data, data + 8), (std::vector<unsigned char>{4, 3, 2, 1, 8, 7, 6, 5}));
}

TEST(MdlxFile, BytesCasesAndPreviewsRoundTrip) {
    MdlxWriter writer;
    const std::string model("binary\0model\xff data", 18);
    EXPECT_EQ(writer.AddCase(L"Crash \u00e9tude", testPicture(40, 30), model.data(), model.size()), 1);
    EXPECT_EQ(writer.AddCase("Second", testPicture(16, 16)), 2);
    MdlxZipMemFile original;
    ASSERT_TRUE(writer.Write(&original));

    // The bytes pass unchanged through an array, raw data and a file.
    MkUbyteArray bytes;
    ASSERT_TRUE(original.GetData(&bytes));
    EXPECT_EQ(std::string(bytes.Std().begin(), bytes.Std().end()), bytesOf(original));
    lfw::Ref<MdlxMemoryFile> file = new MdlxMemoryFile;
    ASSERT_TRUE(file->setFromRawData(bytes.GetData(), static_cast<size_t>(bytes.GetSize())));
    EXPECT_EQ(bytesOf(*file->internal_mdlxZipMemFile()), bytesOf(original));
    MdlxZipMemFile viaArray;
    ASSERT_TRUE(viaArray.CopyData(bytes));
    kivtest::TempDir dir;
    ASSERT_TRUE(viaArray.Save(dir.file("m.mdlx").c_str()));
    EXPECT_EQ(kivtest::readFile(dir.file("m.mdlx")), bytesOf(original));
    EXPECT_FALSE(viaArray.Save(dir.file("missing/m.mdlx").c_str()));
    EXPECT_FALSE(MdlxZipMemFile().Save(dir.file("empty.mdlx").c_str())) << "an empty model is no file";
    EXPECT_FALSE(file->setFromRawData(nullptr, 5));
    EXPECT_FALSE(original.GetData(nullptr));

    MdlxAccess access;
    ASSERT_TRUE(access.Open(file->internal_mdlxZipMemFile(), MdlxAccess::READ));
    ASSERT_EQ(access.GetNumCases(), 2);
    MdlxInfoCase first, second;
    ASSERT_TRUE(access.GetCase(0, &first));
    ASSERT_TRUE(access.GetCase(1, &second));
    EXPECT_FALSE(access.GetCase(2, &second));
    EXPECT_EQ(first.GetName(), MkString(L"Crash \u00e9tude"));
    MkRGBImage image;
    ASSERT_TRUE(access.GetCaseSnapshot(first.GetCaseId(), &image));
    EXPECT_EQ(image.GetWidth(), 40);
    EXPECT_LT(meanDifference(image, testPicture(40, 30)), 4.0);
    ASSERT_TRUE(access.GetCaseSnapshot(second.GetCaseId(), &image));
    EXPECT_LT(meanDifference(image, testPicture(16, 16)), 4.0) << "each case has its own preview";

    MkUbyteArray data;
    ASSERT_TRUE(access.GetCaseModelData(first.GetCaseId(), &data));
    EXPECT_EQ(std::string(data.Std().begin(), data.Std().end()), model);
    EXPECT_FALSE(access.GetCaseModelData(second.GetCaseId(), &data));
    EXPECT_FALSE(access.GetCaseSnapshot(99, &image));
    EXPECT_EQ(image.GetNumImageBytes(), 0);
}

TEST(MdlxFile, WhatIsNotAModelGivesFalse) {
    MdlxAccess access;
    MdlxZipMemFile file;
    EXPECT_FALSE(access.Open(&file, MdlxAccess::READ)) << "empty";
    EXPECT_FALSE(access.Open(nullptr, MdlxAccess::READ));
    file.CopyData("not a zip archive", 17);
    EXPECT_FALSE(access.Open(&file, MdlxAccess::READ));

    const std::string zip = kivtest::readFile(KIV_TEST_DATA_DIR "/mdlx/no_identification.mdlx");
    ASSERT_FALSE(zip.empty());
    file.CopyData(zip.data(), zip.size());  // a zip, but without the identification entry
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
    MkRGBImage image = testPicture(4, 4);
    EXPECT_FALSE(access.GetCaseSnapshot(info.GetCaseId(), &image));
    EXPECT_EQ(image.GetNumImageBytes(), 0);
}

}  // namespace
