#include "host/ug/MkArray.h"
#include "host/ug/MkString.h"
#include <gtest/gtest.h>
#include <cfloat>
#include <cstring>
#include <memory>

namespace {

TEST(MkStringSearch, FindForwardBackwardAndCase) {
    MkString s(L"abcABCabc");
    EXPECT_EQ(s.Find(L"bc"), 1);
    EXPECT_EQ(s.Find(L"bc", 2), 7);
    EXPECT_EQ(s.Find(L"bc", 8), -1);
    EXPECT_EQ(s.Find(L"bc", -1, false), 7);  // last occurrence
    EXPECT_EQ(s.Find(L"bc", 6, false), 1);   // last one starting at or before 6
    EXPECT_EQ(s.Find(L"BC", 2, true, false), 4);
    EXPECT_EQ(s.Find(L""), -1);
    EXPECT_EQ(s.Find(L'c'), 2);
    EXPECT_EQ(s.Find(L'c', -1, false), 8);
    EXPECT_EQ(s.Find(L'C', 3, true, false), 5);
    EXPECT_FALSE(s.Contains(L"CAB"));
    EXPECT_TRUE(s.Contains(L"CAB", false));
    EXPECT_FALSE(MkString(L"ab").EndsWith(L"xab"));
    EXPECT_EQ(MkString(L"\u00c9t\u00c9").Find(L"\u00e9", 1, true, false), 2);
}

TEST(MkStringSearch, FindAllIsNonOverlapping) {
    MkIntArray positions;
    EXPECT_EQ(MkString(L"aaaaa").FindAll(L"aa", &positions), 2);
    ASSERT_EQ(positions.GetSize(), 2);
    EXPECT_EQ(positions[0], 0);
    EXPECT_EQ(positions[1], 2);
    EXPECT_EQ(MkString(L"abc").FindAll(L"z", &positions), 0);
    EXPECT_EQ(positions.GetSize(), 0);
}

TEST(MkStringSearch, SubstringsClampToTheText) {
    MkString s(L"report.html");
    EXPECT_EQ(s.Left(100), s);
    EXPECT_EQ(s.Left(-1), MkString());
    EXPECT_EQ(s.Right(4), MkString(L"html"));
    EXPECT_EQ(s.Mid(7, 2), MkString(L"ht"));
    EXPECT_EQ(s.Mid(7, 100), MkString(L"html"));
    EXPECT_EQ(s.GetSubString(0, 5), MkString(L"report"));
    EXPECT_EQ(s.GetSubString(7, 6), MkString());
    EXPECT_EQ(s.GetSubString(7, 50), MkString(L"html"));
    EXPECT_EQ(s.GetAt(11), 0);
}

TEST(MkStringReplace, CountsAndLimits) {
    MkString s(L"SIT_TITLE SIT_TEXT SIT_PICTURE");
    EXPECT_EQ(s.Replace(L"SIT_", L"SIT3_", 1), 1);
    EXPECT_EQ(s, MkString(L"SIT3_TITLE SIT_TEXT SIT_PICTURE"));
    EXPECT_EQ(s.Replace(L"SIT_", L"SIT3_"), 2);
    EXPECT_EQ(s, MkString(L"SIT3_TITLE SIT3_TEXT SIT3_PICTURE"));

    // The inserted text is not searched again.
    MkString a(L"aaa");
    EXPECT_EQ(a.Replace(L"a", L"aa"), 3);
    EXPECT_EQ(a, MkString(L"aaaaaa"));

    MkString b(L"x<y<z");
    EXPECT_EQ(b.Replace(L"<", L"&lt;", 0), 2);
    EXPECT_EQ(b, MkString(L"x&lt;y&lt;z"));
    EXPECT_EQ(b.Replace(L"", L"!"), 0);

    MkString c(L"One one ONE");
    EXPECT_EQ(c.Replace(L"one", L"1", 0, false), 3);
    EXPECT_EQ(c, MkString(L"1 1 1"));
}

TEST(MkStringReplace, LargeDocument) {
    std::wstring text;
    for (int i = 0; i < 200000; ++i) text += L"<td>x</td>";
    MkString s(text);
    EXPECT_EQ(s.Replace(L"<td>", L"<th>"), 200000);
    EXPECT_EQ(s.Length(), static_cast<int>(text.size()));
    EXPECT_EQ(s.Left(20), MkString(L"<th>x</td><th>x</td>"));
    EXPECT_EQ(s.Find(L"<td>"), -1);
}

TEST(MkStringNumbers, LeadingNumberOrDefault) {
    EXPECT_EQ(MkString(L"  42abc").AsInt(-1), 42);
    EXPECT_EQ(MkString(L"-17").AsInt(), -17);
    EXPECT_EQ(MkString(L"3.9").AsInt(), 3);
    EXPECT_EQ(MkString(L"abc").AsInt(-1), -1);
    EXPECT_EQ(MkString(L"99999999999").AsInt(), INT_MAX);
    EXPECT_EQ(MkString(L"-99999999999").AsInt(), INT_MIN);
    EXPECT_FLOAT_EQ(MkString(L" 2.5e2 m").AsFloat(-1.0f), 250.0f);
    EXPECT_FLOAT_EQ(MkString(L".5").AsFloat(), 0.5f);
    EXPECT_FLOAT_EQ(MkString(L"Undefined").AsFloat(9.0f), 9.0f);
    EXPECT_FLOAT_EQ(MkString(L"inf").AsFloat(9.0f), 9.0f);
    EXPECT_DOUBLE_EQ(MkString(L"-1.25").AsDouble(), -1.25);
    EXPECT_DOUBLE_EQ(MkString(L"1e").AsDouble(), 1.0);
}

TEST(MkStringNumbers, FirstNumberInText) {
    EXPECT_FLOAT_EQ(MkString(L"SIT12_PICTURE").GetFirstFloat(), 12.0f);
    EXPECT_FLOAT_EQ(MkString(L"REF_SIT3_MDLX").GetFirstFloat(), 3.0f);
    EXPECT_FLOAT_EQ(MkString(L"t=-4.5e1s").GetFirstFloat(), -45.0f);
    EXPECT_FLOAT_EQ(MkString(L"a1 b2").GetFirstFloat(2), 2.0f);
    EXPECT_EQ(MkString(L"SIT_TITLE").GetFirstFloat(), FLT_MAX);
    EXPECT_EQ(MkString(L"1").GetFirstFloat(1), FLT_MAX);
    EXPECT_EQ(MkString(L"ab7c8").FindFirstNumber(), 2);
    EXPECT_EQ(MkString(L"-.").FindFirstNumber(), -1);
    EXPECT_TRUE(MkString(L" -1.5e3 ").IsNumber());
    EXPECT_FALSE(MkString(L"7a").IsNumber());
    EXPECT_FALSE(MkString(L"1 2").IsNumber());
    EXPECT_FALSE(MkString(L".").IsNumber());
}

TEST(MkStringTokens, TokensAndWords) {
    MkString s(L"a,,bc,");
    bool more = false;
    EXPECT_EQ(s.GetFirstToken(L',', &more), MkString(L"a"));
    EXPECT_TRUE(more);
    EXPECT_EQ(s.GetNextToken(L',', &more), MkString());
    EXPECT_TRUE(more);
    EXPECT_EQ(s.GetNextToken(L',', &more), MkString(L"bc"));
    EXPECT_EQ(s.GetNextToken(L',', &more), MkString());
    EXPECT_TRUE(more);
    EXPECT_EQ(s.GetNextToken(L',', &more), MkString());
    EXPECT_FALSE(more);
    // Starting again resets the walk.
    EXPECT_EQ(s.GetFirstToken(L',', &more), MkString(L"a"));
    MkString empty;
    empty.GetFirstToken(L',', &more);
    EXPECT_FALSE(more);

    MkString w(L"  c:tx  a=\"1\"\tb=\"2\" ");
    EXPECT_EQ(w.GetFirstWord(&more), MkString(L"c:tx"));
    EXPECT_EQ(w.GetNextWord(&more), MkString(L"a=\"1\""));
    EXPECT_EQ(w.GetNextWord(&more), MkString(L"b=\"2\""));
    EXPECT_TRUE(more);
    EXPECT_EQ(w.GetNextWord(&more), MkString());
    EXPECT_FALSE(more);
}

TEST(MkStringTokens, TrimCaseNicifyAndCompare) {
    MkString t(L" \t x y \r\n");
    EXPECT_EQ(t.Trim(), MkString(L"x y"));
    MkString n(L"\n <c:tx   a=\"1\"\t\t b=\"2\"/>  ");
    EXPECT_EQ(n.Nicify(), MkString(L"<c:tx a=\"1\" b=\"2\"/>"));
    EXPECT_TRUE(MkString(L" \t\n").IsBlank());
    EXPECT_FALSE(MkString(L" x ").IsBlank());
    MkString u(L"Yes \u00c9t\u00e9");
    EXPECT_EQ(MkString(u).ToLower(), MkString(L"yes \u00e9t\u00e9"));
    EXPECT_EQ(MkString(u).ToUpper(), MkString(L"YES \u00c9T\u00c9"));
    EXPECT_EQ(MkString(L"abc").CompareNoCase(L"ABC"), 0);
    EXPECT_LT(MkString(L"ab").CompareNoCase(L"ABC"), 0);
    EXPECT_LT(MkString(L"B").Compare(L"a"), 0);
}

TEST(MkStringFormat, NarrowAndWideFormats) {
    MkString s;
    s.MakeForm("SIT%i_$%ls", 3, L"TEMP\u00c9RATURE");
    EXPECT_EQ(s, MkString(L"SIT3_$TEMP\u00c9RATURE"));
    s.MakeFormWide(L"%ls_%lsSIT%d-%d.jpg", L"report", L"REF_", 3, 1);
    EXPECT_EQ(s, MkString(L"report_REF_SIT3-1.jpg"));
    s.MakeForm("%f %d %d", 1.5, 255, 0);
    EXPECT_EQ(s, MkString(L"1.500000 255 0"));

    // Longer than any first guess at the buffer size: nothing may be cut off.
    std::wstring longText(5000, L'x');
    s.MakeForm("[%ls]", longText.c_str());
    EXPECT_EQ(s.Length(), 5002);
    EXPECT_EQ(s.Right(2), MkString(L"x]"));
    s.MakeFormWide(L"<%ls>", longText.c_str());
    EXPECT_EQ(s.Length(), 5002);  // the wide buffer has to grow several times

    // An escaped byte (text that came from invalid UTF-8) still formats.
    std::wstring escaped = L"a";
    escaped += static_cast<wchar_t>(0xDCFF);
    s.MakeForm("%ls!", escaped.c_str());
    EXPECT_EQ(s.Std(), escaped + L"!");
    s.MakeFormWide(L"%s|%ls", "\xc3\xa9", L"\u00e9");
    EXPECT_EQ(s, MkString(L"\u00e9|\u00e9"));

    EXPECT_EQ(MkString::Make(2.5f), MkString(L"2.5"));
    EXPECT_EQ(MkString(-12345), MkString(L"-12345"));
}

TEST(MkStringUtf8, RoundTripsAndLengths) {
    const std::wstring text = L"A\u00e9\u4e2d\U0001F600";
    int length = -1;
    bool ok = false;
    std::unique_ptr<char[]> utf8(MkStringToUTF8(MkString(text), &length, &ok));
    EXPECT_TRUE(ok);
    ASSERT_EQ(length, 1 + 2 + 3 + 4);
    EXPECT_EQ(std::memcmp(utf8.get(), "A\xc3\xa9\xe4\xb8\xad\xf0\x9f\x98\x80", 10), 0);
    EXPECT_EQ(utf8[10], '\0');
    EXPECT_EQ(MkStringFromUTF8(utf8.get(), length + 1).Std(), text);

    std::unique_ptr<char[]> empty(MkStringToUTF8(static_cast<const wchar_t*>(nullptr), &length, &ok));
    EXPECT_EQ(length, 0);
    EXPECT_EQ(empty[0], '\0');

    wchar_t lone[] = {L'x', static_cast<wchar_t>(0xD800), 0};
    std::unique_ptr<char[]> replaced(MkStringToUTF8(lone, &length, &ok));
    EXPECT_FALSE(ok);
    EXPECT_EQ(std::string(replaced.get(), static_cast<size_t>(length)), "x\xef\xbf\xbd");

    // Decoding stops at a zero byte inside the given length.
    EXPECT_EQ(MkStringFromUTF8("ab\0cd", 5), MkString(L"ab"));
    EXPECT_EQ(MkStringFromUTF8(nullptr, 5), MkString());

    // ShortChar and lfw::String keep even bytes that are not UTF-8.
    MkString path("dir/\xff.jpg");
    EXPECT_STREQ(path.ShortChar(), "dir/\xff.jpg");
    EXPECT_EQ(lfw::String(path).toStdString(), "dir/\xff.jpg");
    EXPECT_EQ(MkString(lfw::String("\xc3\xa9")), MkString(L"\u00e9"));
}

TEST(MkStringUtf8, InvalidBytesNeverReadPastTheLength) {
    // Each buffer sits at the very end of its allocation and has no terminating zero.
    struct Case {
        const char* bytes;
        size_t size;
        std::wstring expected;
    } cases[] = {
        {"a\xf0\x9f", 3, L"a\uFFFD\uFFFD"},        // truncated four-byte sequence
        {"\xe4\xb8", 2, L"\uFFFD\uFFFD"},          // truncated three-byte sequence
        {"\xc3", 1, L"\uFFFD"},                    // lone lead byte
        {"\x80z", 2, L"\uFFFDz"},                  // stray continuation byte
        {"\xc0\xaf", 2, L"\uFFFD\uFFFD"},          // overlong encoding
        {"\xed\xa0\x80", 3, L"\uFFFD\uFFFD\uFFFD"}, // encoded surrogate
        {"\xf4\x90\x80\x80", 4, L"\uFFFD\uFFFD\uFFFD\uFFFD"},  // above U+10FFFF
    };
    for (const Case& c : cases) {
        std::unique_ptr<char[]> buffer(new char[c.size]);
        std::memcpy(buffer.get(), c.bytes, c.size);
        EXPECT_EQ(MkStringFromUTF8(buffer.get(), static_cast<int>(c.size)).Std(), c.expected) << c.size;
    }
}

} // namespace
