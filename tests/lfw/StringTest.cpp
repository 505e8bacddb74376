#include "LibCore/lfwString.h"
#include "LibCore/lfwText.h"
#include <cmath>
#include "LibCore/lfwUtf8.h"
#include "host/core/KivConvert.h"
#include "host/core/KivStr.h"
#include <gtest/gtest.h>

namespace {

namespace utf8 = lfw::utf8;
using utf8::Invalid;

TEST(Utf8, RoundTripsIncludingCharactersOutsideTheBmp) {
    const std::wstring text = L"A\u00e9\u20ac\U0001F600\U0010FFFF";
    const std::string bytes = "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF";
    bool ok = false;
    EXPECT_EQ(utf8::encode(text, Invalid::Replace, &ok), bytes);
    EXPECT_TRUE(ok);
    EXPECT_EQ(utf8::decode(bytes), text);
    EXPECT_EQ(utf8::decode(std::string("a\0b", 3)), std::wstring(L"a\0b", 3));
}

TEST(Utf8, EscapeModeKeepsArbitraryBytes) {
    std::string all;
    for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
    all += "\xF0\x9F\x98";  // truncated at the end
    std::wstring wide = utf8::decode(all, Invalid::Escape);
    EXPECT_EQ(utf8::encode(wide, Invalid::Escape), all);

    // In Replace mode an escape character cannot be encoded.
    bool ok = true;
    EXPECT_EQ(utf8::encode(std::wstring(1, wchar_t(0xDCFF)), Invalid::Replace, &ok), "\xEF\xBF\xBD");
    EXPECT_FALSE(ok);
}

TEST(Strings, WideAndNarrowConversionsKeepBytes) {
    const char* raw = "bad\xFF name \xF0\x9F\x98\x80";
    lfw::String narrow(raw);
    EXPECT_EQ(lfw::String(narrow.toStdWString()), narrow);
    kiv::Str wide = kiv::Convert::toStr(narrow);
    EXPECT_EQ(wide.toStdString(), raw);
    EXPECT_EQ(kiv::Convert::toLfwString(wide), narrow);
    EXPECT_EQ(kiv::Convert::toStr("\xC3\xBC").toStdWString(), L"\u00fc");
    EXPECT_EQ(kiv::Convert::toLfwString(L"\U0001F600").toStdString(), "\xF0\x9F\x98\x80");
}

TEST(Strings, NumberGivesShortestForms) {
    EXPECT_EQ(kiv::Str::number(0.1).toStdString(), "0.1");
    EXPECT_EQ(kiv::Str::number(20.0).toStdString(), "20");
    EXPECT_EQ(kiv::Str::number(-1.5).toStdString(), "-1.5");
    EXPECT_EQ(kiv::Str::number(1.0 / 3.0).toStdString(), "0.3333333333333333");
    EXPECT_EQ(kiv::Str::number(-7).toStdString(), "-7");
    EXPECT_EQ(kiv::Str::number(2.5, 'f', 2).toStdString(), "2.50");
}

}  // namespace

// Numbers read the same whatever the locale, and only when one leads the text.
TEST(Text, NumbersAndUtf8Checks) {
    using namespace lfw::text;
    const struct {
        const char* text;
        int asInt;
        double asDouble;
        bool number;
    } cases[] = {
        {" 12px", 12, 12.0, false},
        {"-2.5e1 ", -2, -25.0, true},
        {"+.5", 7, 0.5, true},
        {"1e", 1, 1.0, false},
        {"x1", 7, 7.0, false},
        {"", 7, 7.0, false},
        {"99999999999", 2147483647, 99999999999.0, true},
        {"1e999", 1, HUGE_VAL, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(toInt(c.text, 7), c.asInt);
        EXPECT_EQ(toDouble(c.text, 7.0), c.asDouble);
        EXPECT_EQ(isNumber(c.text), c.number);
    }
    EXPECT_EQ(validUtf8("ok \xc3\xa9"), "ok \xc3\xa9");
    EXPECT_EQ(validUtf8("a\xff\xc3"), "a\xef\xbf\xbd\xef\xbf\xbd");
    EXPECT_EQ(codePoints("a\xc3\xa9\xf0\x9f\x98\x80"), 3u);
    EXPECT_EQ(format("%.1f|%s", 2.25, "x"), "2.2|x");
    std::string s = "a.b.c";
    EXPECT_EQ(replaceAll(s, ".", "::"), 2);
    EXPECT_EQ(s, "a::b::c");
}
