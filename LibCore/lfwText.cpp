#include "LibCore/lfwText.h"
#include "LibCore/lfwUtf8.h"
#include <charconv>
#include <cfloat>
#include <cmath>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <locale.h>
#include <vector>

namespace lfw {
namespace text {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

size_t skipSpace(std::string_view s) {
    size_t i = 0;
    while (i < s.size() && isSpace(s[i])) ++i;
    return i;
}

// Length of the decimal number at the start of s (see toDouble); 0 when none.
size_t numberLength(std::string_view s) {
    const size_t n = s.size();
    size_t i = 0;
    if (i < n && (s[i] == '+' || s[i] == '-')) ++i;
    size_t intDigits = 0;
    for (; i < n && isDigit(s[i]); ++i) ++intDigits;
    size_t fracDigits = 0;
    if (i < n && s[i] == '.') {
        size_t j = i + 1;
        for (; j < n && isDigit(s[j]); ++j) ++fracDigits;
        if (intDigits > 0 || fracDigits > 0) i = j;
    }
    if (intDigits == 0 && fracDigits == 0) return 0;
    if (i < n && (s[i] == 'e' || s[i] == 'E')) {
        size_t j = i + 1;
        if (j < n && (s[j] == '+' || s[j] == '-')) ++j;
        size_t expDigits = 0;
        for (; j < n && isDigit(s[j]); ++j) ++expDigits;
        if (expDigits > 0) i = j;
    }
    return i;
}

}  // namespace

bool isBlank(std::string_view s) { return skipSpace(s) == s.size(); }

std::string_view trimmed(std::string_view s) {
    s.remove_prefix(skipSpace(s));
    while (!s.empty() && isSpace(s.back())) s.remove_suffix(1);
    return s;
}

int toInt(std::string_view s, int def) {
    size_t i = skipSpace(s);
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    if (i >= s.size() || !isDigit(s[i])) return def;
    long long value = 0;
    for (; i < s.size() && isDigit(s[i]); ++i) {
        value = value * 10 + (s[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative) value = -value;
    return value > INT_MAX ? INT_MAX : static_cast<int>(value);
}

double toDouble(std::string_view s, double def) {
    s.remove_prefix(skipSpace(s));
    const size_t length = numberLength(s);
    if (length == 0) return def;
    std::string_view number = s.substr(0, length);
    if (number.front() == '+') number.remove_prefix(1);
    double value = def;
    // Out of range keeps the behaviour of strtod: infinity or zero with the sign.
    const auto result = std::from_chars(number.data(), number.data() + number.size(), value);
    if (result.ec == std::errc::result_out_of_range) {
        const bool negative = number.front() == '-';
        const size_t e = number.find_first_of("eE");
        const bool tiny = e != std::string_view::npos && e + 1 < number.size() && number[e + 1] == '-';
        value = tiny ? (negative ? -0.0 : 0.0) : (negative ? -HUGE_VAL : HUGE_VAL);
    }
    return value;
}

float firstFloat(std::string_view s) {
    for (size_t i = 0; i < s.size(); ++i) {
        const size_t length = numberLength(s.substr(i));
        if (length == 0) continue;
        const double value = toDouble(s.substr(i, length));
        if (value > FLT_MAX) return HUGE_VALF;
        if (value < -FLT_MAX) return -HUGE_VALF;
        return static_cast<float>(value);
    }
    return FLT_MAX;
}

bool isNumber(std::string_view s) {
    s = trimmed(s);
    return !s.empty() && numberLength(s) == s.size();
}

size_t codePoints(std::string_view s) {
    size_t n = 0;
    for (char c : s) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return n;
}

std::string validUtf8(std::string_view s) {
    size_t i = 0;
    while (i < s.size() && static_cast<unsigned char>(s[i]) < 0x80) ++i;
    if (i == s.size()) return std::string(s);
    return utf8::encode(utf8::decode(s.data(), s.size()));
}

std::string format(const char* fmt, ...) {
    // Numbers as in the "C" locale, whatever the thread's locale says.
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    const locale_t old = cLocale ? uselocale(cLocale) : static_cast<locale_t>(0);
    std::string out;
    va_list args;
    va_start(args, fmt);
    va_list copy;
    va_copy(copy, args);
    char small[256];
    const int n = std::vsnprintf(small, sizeof small, fmt, copy);
    va_end(copy);
    if (n >= 0 && static_cast<size_t>(n) < sizeof small) {
        out.assign(small, static_cast<size_t>(n));
    } else if (n >= 0) {
        std::vector<char> buffer(static_cast<size_t>(n) + 1);
        if (std::vsnprintf(buffer.data(), buffer.size(), fmt, args) == n) out.assign(buffer.data(), static_cast<size_t>(n));
    }
    va_end(args);
    if (old) uselocale(old);
    return out;
}

std::string lowerAscii(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return s;
}

bool equalNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x + 32);
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y + 32);
        if (x != y) return false;
    }
    return true;
}

int replaceAll(std::string& s, std::string_view from, std::string_view to) {
    if (from.empty()) return 0;
    size_t pos = s.find(from);
    if (pos == std::string::npos) return 0;
    std::string out;
    out.reserve(s.size());
    size_t last = 0;
    int count = 0;
    for (; pos != std::string::npos; pos = s.find(from, last)) {
        out.append(s, last, pos - last);
        out.append(to);
        last = pos + from.size();
        ++count;
    }
    out.append(s, last, std::string::npos);
    s.swap(out);
    return count;
}

}  // namespace text
}  // namespace lfw
