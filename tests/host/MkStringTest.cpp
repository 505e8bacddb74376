// What the report component relies on from the host string: search, substrings,
// replacement, numbers in text, tokens, formatting and UTF-8, as row tables.
#include "host/ug/MkArray.h"
#include "host/ug/MkString.h"
#include <gtest/gtest.h>
#include <cfloat>
#include <cstring>
#include <memory>

namespace {

struct IntRow {
    template <class A, class B>
    IntRow(const char* w, A g, B e) : what(w), got(static_cast<double>(g)), want(static_cast<double>(e)) {}
    const char* what;
    double got, want;
};
struct TextRow {
    const char* what;
    MkString got, want;
};

MkString replaced(MkString s, const wchar_t* from, const wchar_t* to, int count, bool caseSensitive = true, int* n = nullptr) {
    const int done = s.Replace(from, to, count, caseSensitive);
    if (n) *n = done;
    return s;
}

TEST(MkStringContract, SearchNumbersAndCounts) {
    const MkString s(L"abcABCabc");
    MkIntArray positions;
    int replacedCount = 0;
    replaced(L"aaa", L"a", L"aa", 0, true, &replacedCount);
    const IntRow rows[] = {
        {"find", s.Find(L"bc"), 1},
        {"find from", s.Find(L"bc", 2), 7},
        {"find past the last", s.Find(L"bc", 8), -1},
        {"find backward", s.Find(L"bc", -1, false), 7},
        {"find backward from", s.Find(L"bc", 6, false), 1},
        {"find ignoring case", s.Find(L"BC", 2, true, false), 4},
        {"find nothing", s.Find(L""), -1},
        {"find char backward", s.Find(L'c', -1, false), 8},
        {"find non-ASCII ignoring case", MkString(L"\u00c9t\u00c9").Find(L"\u00e9", 1, true, false), 2},
        {"contains ignoring case", s.Contains(L"CAB", false), 1},
        {"contains", s.Contains(L"CAB"), 0},
        {"ends with longer", MkString(L"ab").EndsWith(L"xab"), 0},
        {"find all, no overlap", MkString(L"aaaaa").FindAll(L"aa", &positions), 2},
        {"second found at", positions[1], 2},
        {"inserted text not searched again", replacedCount, 3},
        {"char past the end", MkString(L"x").GetAt(1), 0},
        {"leading int", MkString(L"  42abc").AsInt(-1), 42},
        {"int of a float", MkString(L"3.9").AsInt(), 3},
        {"int default", MkString(L"abc").AsInt(-1), -1},
        {"int clamped up", MkString(L"99999999999").AsInt(), INT_MAX},
        {"int clamped down", MkString(L"-99999999999").AsInt(), INT_MIN},
        {"float with exponent", MkString(L" 2.5e2 m").AsFloat(-1.0f), 250.0},
        {"float default for words", MkString(L"Undefined").AsFloat(9.0f), 9.0},
        {"no infinity", MkString(L"inf").AsFloat(9.0f), 9.0},
        {"double with a lone e", MkString(L"1e").AsDouble(), 1.0},
        {"first number", MkString(L"t=-4.5e1s").GetFirstFloat(), -45.0},
        {"first number from", MkString(L"a1 b2").GetFirstFloat(2), 2.0},
        {"no first number", MkString(L"SIT_TITLE").GetFirstFloat(), FLT_MAX},
        {"first number position", MkString(L"ab7c8").FindFirstNumber(), 2},
        {"no number in a sign", MkString(L"-.").FindFirstNumber(), -1},
        {"is a number", MkString(L" -1.5e3 ").IsNumber(), 1},
        {"two numbers are none", MkString(L"1 2").IsNumber(), 0},
        {"blank", MkString(L" \t\n").IsBlank(), 1},
        {"compare ignoring case", MkString(L"abc").CompareNoCase(L"ABC"), 0},
        {"compare is by code", MkString(L"B").Compare(L"a") < 0, 1},
    };
    for (const IntRow& r : rows) EXPECT_EQ(r.got, r.want) << r.what;
}

TEST(MkStringContract, TextResults) {
    MkString formatted, wide, longForm;
    formatted.MakeForm("SIT%i_$%ls %f %d", 3, L"TEMP\u00c9RATURE", 1.5, 255);
    wide.MakeFormWide(L"%ls_%lsSIT%d-%d.jpg|%s", L"report", L"REF_", 3, 1, "\xc3\xa9");
    // Longer than any first guess at the buffer size: nothing may be cut off.
    const std::wstring x(5000, L'x');
    longForm.MakeFormWide(L"<%ls>", x.c_str());
    std::wstring escaped = L"a";
    escaped += static_cast<wchar_t>(0xDCFF);  // a byte of invalid UTF-8, escaped
    MkString escapedForm;
    escapedForm.MakeForm("%ls!", escaped.c_str());
    std::wstring big;
    for (int i = 0; i < 200000; ++i) big += L"<td>x</td>";
    const MkString s(L"report.html");
    const TextRow rows[] = {
        {"left clamps", s.Left(100), s},
        {"negative left", s.Left(-1), MkString()},
        {"mid clamps", s.Mid(7, 100), MkString(L"html")},
        {"substring is inclusive", s.GetSubString(0, 5), MkString(L"report")},
        {"reversed substring", s.GetSubString(7, 6), MkString()},
        {"replace once", replaced(L"SIT_A SIT_B", L"SIT_", L"SIT3_", 1), MkString(L"SIT3_A SIT_B")},
        {"replace all", replaced(L"x<y<z", L"<", L"&lt;", 0), MkString(L"x&lt;y&lt;z")},
        {"replace nothing", replaced(L"ab", L"", L"!", 0), MkString(L"ab")},
        {"replace ignoring case", replaced(L"One one ONE", L"one", L"1", 0, false), MkString(L"1 1 1")},
        {"replace in a large text", replaced(big, L"<td>", L"<th>", 0).Left(20), MkString(L"<th>x</td><th>x</td>")},
        {"trim", MkString(L" \t x y \r\n").Trim(), MkString(L"x y")},
        {"nicify", MkString(L"\n <c:tx   a=\"1\"\t\t b=\"2\"/>  ").Nicify(), MkString(L"<c:tx a=\"1\" b=\"2\"/>")},
        {"lower case", MkString(L"Yes \u00c9t\u00e9").ToLower(), MkString(L"yes \u00e9t\u00e9")},
        {"upper case", MkString(L"Yes \u00c9t\u00e9").ToUpper(), MkString(L"YES \u00c9T\u00c9")},
        {"narrow format", formatted, MkString(L"SIT3_$TEMP\u00c9RATURE 1.500000 255")},
        {"wide format", wide, MkString(L"report_REF_SIT3-1.jpg|\u00e9")},
        {"long format", longForm.Right(2), MkString(L"x>")},
        {"escaped byte formats", escapedForm, MkString(escaped + L"!")},
        {"float text", MkString::Make(2.5f), MkString(L"2.5")},
        {"int text", MkString(-12345), MkString(L"-12345")},
        {"UTF-8 stops at zero", MkStringFromUTF8("ab\0cd", 5), MkString(L"ab")},
        {"UTF-8 of null", MkStringFromUTF8(nullptr, 5), MkString()},
        {"from lfw", MkString(lfw::String("\xc3\xa9")), MkString(L"\u00e9")},
    };
    for (const TextRow& r : rows) EXPECT_EQ(r.got.Std(), r.want.Std()) << r.what;
    EXPECT_EQ(longForm.Length(), 5002);
}

TEST(MkStringContract, Tokens) {
    MkString s(L"a,,bc,");
    bool more = false;
    std::vector<std::wstring> tokens{s.GetFirstToken(L',', &more).Std()};
    while (more) tokens.push_back(s.GetNextToken(L',', &more).Std());
    EXPECT_EQ(tokens, (std::vector<std::wstring>{L"a", L"", L"bc", L"", L""}));
    EXPECT_EQ(s.GetFirstToken(L',', &more), MkString(L"a"));  // starting again resets the walk
}

TEST(MkStringContract, Utf8RoundTripsAndKeepsOtherBytes) {
    const std::wstring text = L"A\u00e9\u4e2d\U0001F600";
    int length = -1;
    bool ok = false;
    std::unique_ptr<char[]> utf8(MkStringToUTF8(MkString(text), &length, &ok));
    EXPECT_TRUE(ok);
    ASSERT_EQ(length, 10);
    EXPECT_EQ(std::memcmp(utf8.get(), "A\xc3\xa9\xe4\xb8\xad\xf0\x9f\x98\x80", 11), 0);
    EXPECT_EQ(MkStringFromUTF8(utf8.get(), length + 1).Std(), text);
    std::unique_ptr<char[]> empty(MkStringToUTF8(static_cast<const wchar_t*>(nullptr), &length, &ok));
    EXPECT_EQ(length, 0);
    wchar_t lone[] = {L'x', static_cast<wchar_t>(0xD800), 0};
    std::unique_ptr<char[]> replacedLone(MkStringToUTF8(lone, &length, &ok));
    EXPECT_FALSE(ok);
    EXPECT_EQ(std::string(replacedLone.get(), static_cast<size_t>(length)), "x\xef\xbf\xbd");
    // ShortChar and lfw::String keep even bytes that are not UTF-8.
    MkString path("dir/\xff.jpg");
    EXPECT_STREQ(path.ShortChar(), "dir/\xff.jpg");
    EXPECT_EQ(lfw::String(path).toStdString(), "dir/\xff.jpg");
}

TEST(MkStringContract, InvalidUtf8NeverReadsPastTheLength) {
    // Each buffer sits at the very end of its allocation and has no terminating zero.
    struct Case {
        const char* bytes;
        size_t size;
        std::wstring expected;
    } cases[] = {
        {"a\xf0\x9f", 3, L"a\uFFFD\uFFFD"},                    // truncated four-byte sequence
        {"\xe4\xb8", 2, L"\uFFFD\uFFFD"},                      // truncated three-byte sequence
        {"\xc3", 1, L"\uFFFD"},                                // lone lead byte
        {"\x80z", 2, L"\uFFFDz"},                              // stray continuation byte
        {"\xffz", 2, L"\uFFFDz"},                              // byte that never starts a sequence
        {"\xc0\xaf", 2, L"\uFFFD\uFFFD"},                      // overlong encoding
        {"\xed\xa0\x80", 3, L"\uFFFD\uFFFD\uFFFD"},            // encoded surrogate
        {"\xf4\x90\x80\x80", 4, L"\uFFFD\uFFFD\uFFFD\uFFFD"},  // above U+10FFFF
    };
    for (const Case& c : cases) {
        std::unique_ptr<char[]> buffer(new char[c.size]);
        std::memcpy(buffer.get(), c.bytes, c.size);
        EXPECT_EQ(MkStringFromUTF8(buffer.get(), static_cast<int>(c.size)).Std(), c.expected) << "row " << (&c - cases);
    }
}

}  // namespace
