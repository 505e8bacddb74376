#pragma once
// Helpers for UTF-8 text held in std::string: numbers read and written the same
// whatever the process locale, ASCII white space and case, replacing. Positions
// are byte offsets.
#include <string>
#include <string_view>

namespace lfw {
namespace text {

// Empty or only ASCII white space (blank, tab, line feed, carriage return, form
// feed, vertical tab).
bool isBlank(std::string_view s);
std::string_view trimmed(std::string_view s);

// The leading number after leading white space, or def when there is none.
// Integers: [sign] digits, clamped to int; doubles: [sign] digits [. digits]
// [exponent] or [sign] . digits [exponent], with "." whatever the locale.
int toInt(std::string_view s, int def = 0);
double toDouble(std::string_view s, double def = 0.0);

// The first such number wherever it starts ("slide12.xml" 12, "rId-3" -3), as
// a float: FLT_MAX when there is none, an infinity beyond the float's range.
float firstFloat(std::string_view s);
// Whether the whole text, trimmed, is one such decimal number.
bool isNumber(std::string_view s);

// Characters (code points) of UTF-8 text: its bytes that do not continue a sequence.
size_t codePoints(std::string_view s);

// The text as it is when it is valid UTF-8; otherwise every invalid byte
// becomes U+FFFD.
std::string validUtf8(std::string_view s);

// printf into a string, with "." as the decimal point whatever the locale; the
// result is never cut short. Empty when the format cannot be applied.
std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

inline bool startsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }
inline bool endsWith(std::string_view s, std::string_view suffix) {
    return s.size() >= suffix.size() && s.substr(s.size() - suffix.size()) == suffix;
}
// ASCII letters lowered; other bytes (UTF-8 sequences included) kept.
std::string lowerAscii(std::string s);
// Equal but for the case of ASCII letters.
bool equalNoCase(std::string_view a, std::string_view b);

// Replaces every occurrence of from (not empty) by to, left to right; returns how many.
int replaceAll(std::string& s, std::string_view from, std::string_view to);

}  // namespace text
}  // namespace lfw
