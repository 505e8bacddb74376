// The kivreport tool's parsers and name rules, tested in-process.
#include "host/core/KivImage.h"
#include "host/ug/MdlxImageJpeg.h"
#include "tools/kivreport/Cli.h"
#include "tools/kivreport/CommandOutcome.h"
#include "tools/kivreport/Csv.h"
#include "tools/kivreport/ExportNames.h"
#include "tools/kivreport/ImageFiles.h"
#include "tools/kivreport/Options.h"
#include "support/TestSupport.h"

#include <cstring>
#include <gtest/gtest.h>
#include <png.h>

using namespace kivcli;

namespace {

CsvRows parseOk(const std::string& text) {
    CsvRows rows;
    std::string error;
    EXPECT_TRUE(parseCsv(text, &rows, &error)) << error;
    return rows;
}

std::string parseError(const std::string& text) {
    CsvRows rows;
    std::string error;
    EXPECT_FALSE(parseCsv(text, &rows, &error));
    return error;
}

std::vector<unsigned char> pngBytes(png_uint_32 width, png_uint_32 height, png_uint_32 format,
                                    const std::vector<unsigned char>& pixels) {
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    png.width = width;
    png.height = height;
    png.format = format;
    png_alloc_size_t size = 0;
    EXPECT_TRUE(png_image_write_to_memory(&png, nullptr, &size, 0, pixels.data(), 0, nullptr));
    std::vector<unsigned char> bytes(size);
    EXPECT_TRUE(png_image_write_to_memory(&png, bytes.data(), &size, 0, pixels.data(), 0, nullptr));
    bytes.resize(size);
    return bytes;
}

}  // namespace

TEST(Csv, ReadsQuotesLineBreaksBomAndEmptyFields) {
    const struct {
        const char* text;
        CsvRows rows;
    } cases[] = {
        {"a,\"b,c\",\"say \"\"hi\"\"\"\r\n\"two\r\nlines\",\"\",x\r\n", {{"a", "b,c", "say \"hi\""}, {"two\r\nlines", "", "x"}}},
        {"\xEF\xBB\xBFx,y\n1,2", {{"x", "y"}, {"1", "2"}}},  // LF lines, a BOM, no final break
        {"x,\n1,", {{"x", ""}, {"1", ""}}},
        {"", {}},
        {"\xC2\xB5m,\xE2\x82\xAC\r\n", {{"\xC2\xB5m", "\xE2\x82\xAC"}}},  // UTF-8 passes through untouched
    };
    for (const auto& c : cases) EXPECT_EQ(parseOk(c.text), c.rows) << "row " << (&c - cases);
}

TEST(Csv, RejectsRaggedAndMalformedInputNamingTheLine) {
    EXPECT_EQ(parseError("a,b\r\n1,2\r\n3\r\n"), "line 3: record has 1 fields, the first has 2");
    // The line of a record counts the line breaks inside quotes before it.
    EXPECT_EQ(parseError("a,b\n\"x\ny\",1\n1,2,3\n"), "line 4: record has 3 fields, the first has 2");
    EXPECT_EQ(parseError("a,\"open\n"), "line 1: quoted field is not closed");
    EXPECT_EQ(parseError("\"a\"b,c\n"), "line 1: unexpected text after a closing quote");
    EXPECT_EQ(parseError("a,b\"c\n"), "line 1: quote inside a field that does not start with a quote");
    EXPECT_EQ(parseError("a\rb\n"), "line 1: carriage return that does not end the line");
}

TEST(Csv, WrittenTextReadsBackToTheSameRows) {
    const CsvRows tables[] = {
        {{"plain", "with,comma", "with \"quote\""}, {"line\nbreak", "crlf\r\nbreak", ""}, {" lead", "trail ", "\""}},
        {{""}, {"x"}, {""}},  // a single empty field must not become a blank line
        {{"", ""}},
    };
    for (const CsvRows& rows : tables) {
        const std::string text = writeCsv(rows);
        EXPECT_EQ(parseOk(text), rows) << text;
    }
    EXPECT_EQ(writeCsv({{"a", "b,c"}, {"1", "2"}}), "a,\"b,c\"\r\n1,2\r\n");
}

TEST(ExportNames, HostileAndReservedNamesBecomePlainFileNames) {
    const std::pair<const char*, const char*> cases[] = {
        {"../../x", "___.._x"},
        {"a/b\\c", "a_b_c"},
        {"what? *now* <a|b> \"q\": x", "what_ _now_ _a_b_ _q__ x"},
        {"tab\there\x01\x7F", "tab_here__"},
        {".hidden", "_hidden"},
        {"trailing. . ", "trailing"},
        {"", "snapshot"},
        {" . ", "___"},
        {"bad\xFF\xC0\xAFutf8", "bad___utf8"},
        {"caf\xC3\xA9", "caf\xC3\xA9"},
        // Device names are avoided, also with extensions and in any case; longer names are not.
        {"con", "_con"},
        {"CON", "_CON"},
        {"nul", "_nul"},
        {"Aux", "_Aux"},
        {"prn", "_prn"},
        {"com1", "_com1"},
        {"LPT9", "_LPT9"},
        {"nul.txt", "_nul.txt"},
        {"con .x", "_con .x"},
        {"console", "console"},
        {"com0", "com0"},
        {"com10", "com10"},
        {"lpt", "lpt"},
        {"nullx", "nullx"},
    };
    for (const auto& c : cases) EXPECT_EQ(safeFileStem(c.first), c.second) << "row " << (&c - cases);
}

TEST(ExportNames, LongNamesAreCutOnCharacterBoundaries) {
    std::string longName;
    for (int i = 0; i < 300; ++i) longName += "\xC3\xA9";  // 600 bytes
    const std::string stem = safeFileStem(longName, 121);
    EXPECT_EQ(stem.size(), 120u);
    EXPECT_EQ(safeFileStem(stem), stem);  // whole characters only
    EXPECT_EQ(safeFileStem(std::string(300, 'x')).size(), 120u);
    // A cut that leaves a trailing dot drops it.
    EXPECT_EQ(safeFileStem(std::string(119, 'x') + ".yy"), std::string(119, 'x'));
}

TEST(ExportNames, UniqueNamesIgnoreCaseAndKeepReservedNamesFree) {
    UniqueFileNames names;
    names.reserve("manifest.json");
    EXPECT_EQ(names.take("a", ".jpg"), "a.jpg");
    EXPECT_EQ(names.take("A", ".jpg"), "A_2.jpg");
    EXPECT_EQ(names.take("a_2", ".jpg"), "a_2_2.jpg");
    EXPECT_EQ(names.take("a", ".csv"), "a.csv");
    EXPECT_EQ(names.take("MANIFEST", ".json"), "MANIFEST_2.json");
    // Names that differ only in non-ASCII letters may be one file on some file systems.
    EXPECT_EQ(names.take("\xC3\xA9", ".jpg"), "\xC3\xA9.jpg");
    EXPECT_EQ(names.take("\xC3\x89", ".jpg"), "\xC3\x89_2.jpg");
}

TEST(Options, ParsesValuesFlagsAndPositionals) {
    const std::vector<OptionSpec> known = {{"--out", true, ""}, {"--json", false, ""}, {"-v", false, "--verbose"}};
    ParsedOptions p = parseOptions({"a", "--out", "x.html", "-v", "--verbose", "--json", "--", "--b"}, known, "cmd");
    EXPECT_EQ(p.positionals, (std::vector<std::string>{"a", "--b"}));
    EXPECT_EQ(p.value("--out"), "x.html");
    EXPECT_EQ(p.count("-v"), 2);
    EXPECT_TRUE(p.has("--json"));
    EXPECT_EQ(parseOptions({"--out=y"}, known, "cmd").value("--out"), "y");
    EXPECT_EQ(parseOptions({"-"}, known, "cmd").positionals, std::vector<std::string>{"-"});

    EXPECT_THROW(parseOptions({"--nope"}, known, "cmd"), UsageError);
    EXPECT_THROW(parseOptions({"--out"}, known, "cmd"), UsageError);
    EXPECT_THROW(parseOptions({"--out="}, known, "cmd"), UsageError);
    EXPECT_THROW(parseOptions({"--out", "a", "--out", "b"}, known, "cmd"), UsageError);
    EXPECT_THROW(parseOptions({"--json=1"}, known, "cmd"), UsageError);
}

TEST(Options, SnapshotNumbersAreOneBasedListsAndRanges) {
    EXPECT_EQ(parseSnapshotNumbers("1,3,5", 5), (std::vector<unsigned int>{0, 2, 4}));
    EXPECT_EQ(parseSnapshotNumbers("4-6,1,1", 6), (std::vector<unsigned int>{3, 4, 5, 0, 0}));
    for (const char* bad : {"", "0", "1,,2", "a", "1-", "3-2", "6", "1,6", "-1", "1.5", "99999999999"})
        EXPECT_THROW(parseSnapshotNumbers(bad, 5), UsageError) << bad;
}

TEST(Validation, OnlyHeadersAndCleanVerdictsMeanNoProblems) {
    const std::string d36 = std::string(36, '-') + "\n";
    EXPECT_FALSE(validationReportsProblems("VALIDATION OF REPOSITORY\n" + d36 + "No warnings or errors found\n\n"));
    EXPECT_FALSE(validationReportsProblems("VALIDATION OF REPOSITORY\n" + d36 + "No warnings or errors found\n\n" +
                                           "VALIDATION OF REFERENCE REPOSITORY\n" + d36 + "No warnings or errors found"));
    EXPECT_TRUE(validationReportsProblems("VALIDATION OF REPOSITORY\n" + d36 + "Unused snapshots:\n" + d36 +
                                          "Snapshot 2 not used.\n\n\n"));
    EXPECT_TRUE(validationReportsProblems("No active snapshots in repository"));
}

TEST(Json, MessagesNameTheTagTheyStartWith) {
    const struct {
        const char* text;
        const char* tag;  // null: no tag
        size_t snapshot;
        bool reference;
    } cases[] = {
        {"SIT4_CHART: a stock chart cannot be filled from a table", "SIT4_CHART", 4, false},
        {"REF_SIT12_TITLE: x", "REF_SIT12_TITLE", 12, true},
        {"SIT_PICTURE: generic", "SIT_PICTURE", 0, false},
        {"SIT2_$DATABASE_NAME: Snapshot 2 does not exist", "SIT2_$DATABASE_NAME", 2, false},
        {"SIT4_CHART:no space", nullptr, 0, false},
        {"SIT4_: empty kind", nullptr, 0, false},
        {"SIT4_$: empty key", nullptr, 0, false},
        {"SITE_TITLE: not a tag", nullptr, 0, false},
        {"Open: cannot read SIT1_TITLE: x", nullptr, 0, false},
        {"SIT99999999999_TITLE: too long a number", nullptr, 0, false},
    };
    for (const auto& c : cases) {
        MessageTag tag;
        ASSERT_EQ(tagOfMessage(c.text, &tag), c.tag != nullptr) << c.text;
        if (!c.tag) continue;
        EXPECT_EQ(tag.tag, c.tag);
        EXPECT_EQ(tag.snapshot, c.snapshot) << c.text;
        EXPECT_EQ(tag.reference, c.reference) << c.text;
    }
}

TEST(ImageFiles, PngIsDecodedToRgbWithTransparencyOverWhite) {
    // 2 x 1: opaque red, fully transparent black.
    const std::vector<unsigned char> rgba = {255, 0, 0, 255, 0, 0, 0, 0};
    const std::vector<unsigned char> bytes = pngBytes(2, 1, PNG_FORMAT_RGBA, rgba);
    ASSERT_TRUE(isPng(bytes));
    EXPECT_FALSE(isJpeg(bytes));
    kiv::Image image;
    std::string error;
    ASSERT_TRUE(decodePng(bytes, &image, &error)) << error;
    ASSERT_EQ(image.width(), 2u);
    ASSERT_EQ(image.height(), 1u);
    const std::vector<unsigned char> expected = {255, 0, 0, 255, 255, 255};
    EXPECT_EQ(std::vector<unsigned char>(image.data(), image.data() + image.byteCount()), expected);
    EXPECT_EQ(image.sourceJpeg(), nullptr);
}

TEST(ImageFiles, BrokenAndOversizedPngsAreRefused) {
    const std::vector<unsigned char> good = pngBytes(4, 4, PNG_FORMAT_GRAY, std::vector<unsigned char>(16, 7));
    kiv::Image image;
    std::string error;
    // Cut inside the pixel data.
    const std::vector<unsigned char> cut(good.begin(), good.begin() + static_cast<long>(good.size()) - 20);
    EXPECT_FALSE(decodePng(cut, &image, &error));
    EXPECT_NE(error.find("not a readable PNG"), std::string::npos) << error;

    // A header claiming 100000 x 4 pixels is refused before any pixel is read.
    const std::string bytes = kivtest::readFile(KIV_TEST_DATA_DIR "/tools/huge_header.png");
    const std::vector<unsigned char> huge(bytes.begin(), bytes.end());
    error.clear();
    EXPECT_FALSE(decodePng(huge, &image, &error));
    EXPECT_NE(error.find("100000 x 4 pixels is too large"), std::string::npos) << error;
    EXPECT_EQ(image.byteCount(), 0u);
}

TEST(ImageFiles, JpegKeepsItsBytesAndIsWrittenBackUnchanged) {
    MkRGBImage rgb(8, 8);
    for (size_t i = 0; i < rgb.Bytes().size(); ++i) rgb.Bytes()[i] = static_cast<unsigned char>(i * 5);
    std::vector<unsigned char> jpeg;
    ASSERT_TRUE(MdlxImageJpeg::saveImageToMemory(rgb, &jpeg, 75));
    ASSERT_TRUE(isJpeg(jpeg));
    kiv::Image image;
    std::string error;
    ASSERT_TRUE(decodeJpeg(jpeg, &image, &error)) << error;
    std::vector<unsigned char> out;
    ASSERT_TRUE(jpegBytesOf(image, &out));
    EXPECT_EQ(out, jpeg);

    // Pixels changed afterwards are encoded afresh.
    image.data()[0] ^= 0xFF;
    ASSERT_TRUE(jpegBytesOf(image, &out));
    EXPECT_NE(out, jpeg);
    EXPECT_FALSE(decodeJpeg(std::vector<unsigned char>(jpeg.begin(), jpeg.begin() + 10), &image, &error));
}
