#include "host/ug/MkString.h"
#include "host/ug/MkArray.h"
#include "LibCore/lfwUtf8.h"
#include <algorithm>
#include <cerrno>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <locale.h>
#include <vector>

namespace {

using lfw::utf8::Invalid;

// printf's "%ls" and wprintf's "%s" convert through the thread's LC_CTYPE; in the
// plain "C" locale that fails for every non-ASCII character, and a host locale
// could change the decimal point. Formatting and number reading therefore run
// under a fixed locale: numbers from "C", characters from a UTF-8 locale.
locale_t textLocale() {
    static const locale_t loc = [] {
        const char* names[] = {"C.UTF-8", "C.utf8", "en_US.UTF-8"};
        for (const char* name : names) {
            locale_t l = newlocale(LC_CTYPE_MASK, name, static_cast<locale_t>(0));
            if (l) return l;
        }
        return newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    }();
    return loc;
}

class ScopedTextLocale {
public:
    ScopedTextLocale() : m_old(textLocale() ? uselocale(textLocale()) : static_cast<locale_t>(0)) {}
    ~ScopedTextLocale() {
        if (m_old) uselocale(m_old);
    }
    ScopedTextLocale(const ScopedTextLocale&) = delete;
    ScopedTextLocale& operator=(const ScopedTextLocale&) = delete;

private:
    locale_t m_old;
};

bool isSpace(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\n' || c == L'\r' || c == L'\f' || c == L'\v'; }

bool isDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

wchar_t lowerChar(wchar_t c) {
    if (c < 0x80) return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + 32) : c;
    locale_t loc = textLocale();
    return loc ? static_cast<wchar_t>(towlower_l(static_cast<wint_t>(c), loc)) : c;
}

wchar_t upperChar(wchar_t c) {
    if (c < 0x80) return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - 32) : c;
    locale_t loc = textLocale();
    return loc ? static_cast<wchar_t>(towupper_l(static_cast<wint_t>(c), loc)) : c;
}

std::wstring lowered(const std::wstring& s) {
    std::wstring out(s);
    for (wchar_t& c : out) c = lowerChar(c);
    return out;
}

// The texts a search runs on: the strings themselves, or lowered copies when
// case does not matter.
struct SearchTexts {
    SearchTexts(const std::wstring& hayText, const std::wstring& needleText, bool caseSensitive)
        : hay(&hayText), needle(&needleText) {
        if (caseSensitive) return;
        m_lowHay = lowered(hayText);
        m_lowNeedle = lowered(needleText);
        hay = &m_lowHay;
        needle = &m_lowNeedle;
    }
    const std::wstring* hay;
    const std::wstring* needle;

private:
    std::wstring m_lowHay, m_lowNeedle;
};

// Length of the decimal number starting at pos: [sign] digits [. digits] or
// [sign] . digits, then an optional exponent. 0 when none starts there.
size_t scanNumber(const std::wstring& s, size_t pos) {
    const size_t n = s.size();
    size_t i = pos;
    if (i < n && (s[i] == L'+' || s[i] == L'-')) ++i;
    size_t intDigits = 0;
    while (i < n && isDigit(s[i])) {
        ++i;
        ++intDigits;
    }
    size_t fracDigits = 0;
    if (i < n && s[i] == L'.') {
        size_t j = i + 1;
        while (j < n && isDigit(s[j])) {
            ++j;
            ++fracDigits;
        }
        if (intDigits > 0 || fracDigits > 0) i = j;
    }
    if (intDigits == 0 && fracDigits == 0) return 0;
    if (i < n && (s[i] == L'e' || s[i] == L'E')) {
        size_t j = i + 1;
        if (j < n && (s[j] == L'+' || s[j] == L'-')) ++j;
        size_t expDigits = 0;
        while (j < n && isDigit(s[j])) {
            ++j;
            ++expDigits;
        }
        if (expDigits > 0) i = j;
    }
    return i - pos;
}

double numberValue(const std::wstring& s, size_t pos, size_t len) {
    std::string ascii;
    ascii.reserve(len);
    for (size_t i = pos; i < pos + len; ++i) ascii += static_cast<char>(s[i]);
    locale_t loc = textLocale();
    return loc ? strtod_l(ascii.c_str(), nullptr, loc) : std::strtod(ascii.c_str(), nullptr);
}

float toFloat(double d) {
    if (d > FLT_MAX) return HUGE_VALF;
    if (d < -FLT_MAX) return -HUGE_VALF;
    return static_cast<float>(d);
}

size_t skipSpace(const std::wstring& s, size_t pos) {
    while (pos < s.size() && isSpace(s[pos])) ++pos;
    return pos;
}

// Both return false on an encoding error (a character the conversion cannot carry).
bool formatNarrow(const char* format, va_list args, std::string* out) {
    ScopedTextLocale guard;
    std::vector<char> buf(256);
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(buf.data(), buf.size(), format, copy);
    va_end(copy);
    if (n < 0) return false;
    if (static_cast<size_t>(n) >= buf.size()) {
        buf.resize(static_cast<size_t>(n) + 1);
        va_copy(copy, args);
        n = std::vsnprintf(buf.data(), buf.size(), format, copy);
        va_end(copy);
        if (n < 0) return false;
    }
    out->assign(buf.data(), static_cast<size_t>(n));
    return true;
}

bool formatWide(const wchar_t* format, va_list args, std::wstring* out) {
    ScopedTextLocale guard;
    // vswprintf does not tell the needed size: grow until the text fits.
    const size_t maxChars = size_t(1) << 28;
    for (size_t size = 256; size <= maxChars; size *= 2) {
        std::vector<wchar_t> buf(size);
        va_list copy;
        va_copy(copy, args);
        errno = 0;
        int n = std::vswprintf(buf.data(), buf.size(), format, copy);
        va_end(copy);
        if (n >= 0) {
            out->assign(buf.data(), static_cast<size_t>(n));
            return true;
        }
        if (errno != 0) return false;  // an encoding or format error, not a short buffer
    }
    return false;
}

}  // namespace

MkString::MkString(const char* text) {
    if (text) m_s = lfw::utf8::decode(text, std::strlen(text), Invalid::Escape);
}

MkString::MkString(int number) : m_s(std::to_wstring(number)) {}

MkString::MkString(const wchar_t* text, int length) {
    if (!text) return;
    if (length < 0) m_s = text;
    else m_s.assign(text, static_cast<size_t>(length));
}

MkString::MkString(const lfw::String& text) : m_s(text.toStdWString()) {}

MkString::operator lfw::String() const { return lfw::String(m_s); }

const char* MkString::ShortChar() const {
    // Escaped bytes go back to the original bytes, so a file name read as
    // invalid UTF-8 still opens.
    m_narrow = lfw::utf8::encode(m_s, Invalid::Escape);
    return m_narrow.c_str();
}

bool MkString::IsBlank() const {
    for (wchar_t c : m_s)
        if (!isSpace(c)) return false;
    return true;
}

wchar_t MkString::GetAt(int i) const {
    if (i < 0 || i >= Length()) return 0;
    return m_s[static_cast<size_t>(i)];
}

int MkString::Find(const MkString& text, int start, bool forward, bool caseSensitive) const {
    if (text.m_s.empty() || text.m_s.size() > m_s.size()) return -1;
    const SearchTexts texts(m_s, text.m_s, caseSensitive);
    const std::wstring* hay = texts.hay;
    const std::wstring* needle = texts.needle;
    size_t found;
    if (forward) {
        if (start > Length()) return -1;
        found = hay->find(*needle, start < 0 ? 0 : static_cast<size_t>(start));
    } else {
        if (start < -1) return -1;
        found = hay->rfind(*needle, start == -1 ? std::wstring::npos : static_cast<size_t>(start));
    }
    return found == std::wstring::npos ? -1 : static_cast<int>(found);
}

int MkString::Find(wchar_t c, int start, bool forward, bool caseSensitive) const {
    if (m_s.empty()) return -1;
    if (forward) {
        if (start >= Length()) return -1;
        size_t i = start < 0 ? 0 : static_cast<size_t>(start);
        if (caseSensitive) {
            size_t found = m_s.find(c, i);
            return found == std::wstring::npos ? -1 : static_cast<int>(found);
        }
        const wchar_t lc = lowerChar(c);
        for (; i < m_s.size(); ++i)
            if (lowerChar(m_s[i]) == lc) return static_cast<int>(i);
        return -1;
    }
    if (start < -1) return -1;
    size_t i = (start == -1 || start >= Length()) ? m_s.size() - 1 : static_cast<size_t>(start);
    const wchar_t lc = lowerChar(c);
    for (size_t k = i + 1; k-- > 0;) {
        if (caseSensitive ? m_s[k] == c : lowerChar(m_s[k]) == lc) return static_cast<int>(k);
    }
    return -1;
}

bool MkString::StartsWith(const MkString& text) const {
    return m_s.size() >= text.m_s.size() && m_s.compare(0, text.m_s.size(), text.m_s) == 0;
}

bool MkString::EndsWith(const MkString& text) const {
    return m_s.size() >= text.m_s.size() && m_s.compare(m_s.size() - text.m_s.size(), text.m_s.size(), text.m_s) == 0;
}

int MkString::FindAll(const MkString& text, MkIntArray* positions, bool caseSensitive) const {
    if (positions) positions->Clear();
    int count = 0;
    if (text.IsEmpty()) return 0;
    const SearchTexts texts(m_s, text.m_s, caseSensitive);
    const std::wstring* hay = texts.hay;
    const std::wstring* needle = texts.needle;
    for (size_t p = hay->find(*needle); p != std::wstring::npos; p = hay->find(*needle, p + needle->size())) {
        if (positions && positions->AddGrow(static_cast<int>(p)) < 0) break;
        ++count;
    }
    return count;
}

MkString MkString::Left(int n) const {
    if (n <= 0) return MkString();
    return MkString(m_s.substr(0, static_cast<size_t>(n)));
}

MkString MkString::Right(int n) const {
    if (n <= 0) return MkString();
    if (n >= Length()) return *this;
    return MkString(m_s.substr(m_s.size() - static_cast<size_t>(n)));
}

MkString MkString::Mid(int first, int count) const {
    if (first < 0) first = 0;
    if (first >= Length() || count == 0 || count < -1) return MkString();
    return MkString(m_s.substr(static_cast<size_t>(first), count == -1 ? std::wstring::npos : static_cast<size_t>(count)));
}

MkString MkString::GetSubString(int first, int last) const {
    if (first < 0) first = 0;
    if (last >= Length()) last = Length() - 1;
    if (last < first) return MkString();
    return MkString(m_s.substr(static_cast<size_t>(first), static_cast<size_t>(last - first + 1)));
}

int MkString::Compare(const MkString& o) const {
    int c = m_s.compare(o.m_s);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

int MkString::CompareNoCase(const MkString& o) const {
    const size_t n = std::min(m_s.size(), o.m_s.size());
    for (size_t i = 0; i < n; ++i) {
        wchar_t a = lowerChar(m_s[i]);
        wchar_t b = lowerChar(o.m_s[i]);
        if (a != b) return a < b ? -1 : 1;
    }
    if (m_s.size() == o.m_s.size()) return 0;
    return m_s.size() < o.m_s.size() ? -1 : 1;
}

int MkString::Replace(const MkString& from, const MkString& to, int maxCount, bool caseSensitive) {
    if (from.m_s.empty() || from.m_s.size() > m_s.size()) return 0;
    const SearchTexts texts(m_s, from.m_s, caseSensitive);
    const std::wstring* hay = texts.hay;
    const std::wstring* needle = texts.needle;
    size_t hit = hay->find(*needle);
    if (hit == std::wstring::npos) return 0;
    // One pass into a new string: replacing in place would move the tail once per match.
    std::wstring out;
    out.reserve(m_s.size());
    size_t pos = 0;
    int count = 0;
    while (hit != std::wstring::npos) {
        out.append(m_s, pos, hit - pos);
        out += to.m_s;
        pos = hit + needle->size();
        ++count;
        if ((maxCount > 0 && count >= maxCount) || count == INT_MAX) break;
        hit = hay->find(*needle, pos);
    }
    out.append(m_s, pos, std::wstring::npos);
    m_s.swap(out);
    return count;
}

void MkString::Insert(int pos, const MkString& text) {
    if (pos < 0) pos = 0;
    if (pos > Length()) pos = Length();
    m_s.insert(static_cast<size_t>(pos), text.m_s);
}

void MkString::Delete(int first, int count) {
    if (first < 0 || first >= Length() || count <= 0) return;
    m_s.erase(static_cast<size_t>(first), static_cast<size_t>(count));
}

void MkString::MakeForm(const char* format, ...) {
    m_s.clear();
    if (!format) return;
    va_list args;
    va_start(args, format);
    std::string narrow;
    if (formatNarrow(format, args, &narrow)) {
        m_s = lfw::utf8::decode(narrow, Invalid::Escape);
    } else {
        // A wide argument the narrow conversion rejects (an escaped byte) still
        // formats on the wide side, where "%ls" is copied as it is.
        std::wstring wideFormat = lfw::utf8::decode(format, std::strlen(format), Invalid::Escape);
        std::wstring wide;
        if (formatWide(wideFormat.c_str(), args, &wide)) m_s.swap(wide);
    }
    va_end(args);
}

void MkString::MakeFormWide(const wchar_t* format, ...) {
    m_s.clear();
    if (!format) return;
    va_list args;
    va_start(args, format);
    std::wstring wide;
    if (formatWide(format, args, &wide)) {
        m_s.swap(wide);
    } else {
        // A narrow argument that is not UTF-8: format on the narrow side, where
        // "%s" bytes pass through, and keep them as escaped bytes.
        std::string narrowFormat = lfw::utf8::encode(format, std::wcslen(format), Invalid::Escape);
        std::string narrow;
        if (formatNarrow(narrowFormat.c_str(), args, &narrow)) m_s = lfw::utf8::decode(narrow, Invalid::Escape);
    }
    va_end(args);
}

MkString MkString::Make(int value) { return MkString(value); }

MkString MkString::Make(float value) {
    MkString s;
    s.MakeForm("%g", static_cast<double>(value));
    return s;
}

MkString MkString::Make(double value) {
    MkString s;
    s.MakeForm("%g", value);
    return s;
}

int MkString::AsInt(int def) const {
    size_t i = skipSpace(m_s, 0);
    bool negative = false;
    if (i < m_s.size() && (m_s[i] == L'+' || m_s[i] == L'-')) {
        negative = m_s[i] == L'-';
        ++i;
    }
    if (i >= m_s.size() || !isDigit(m_s[i])) return def;
    long long value = 0;
    for (; i < m_s.size() && isDigit(m_s[i]); ++i) {
        value = value * 10 + (m_s[i] - L'0');
        if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative) value = -value;
    if (value > INT_MAX) return INT_MAX;
    return static_cast<int>(value);
}

double MkString::AsDouble(double def) const {
    size_t i = skipSpace(m_s, 0);
    size_t len = scanNumber(m_s, i);
    return len ? numberValue(m_s, i, len) : def;
}

float MkString::AsFloat(float def) const {
    size_t i = skipSpace(m_s, 0);
    size_t len = scanNumber(m_s, i);
    return len ? toFloat(numberValue(m_s, i, len)) : def;
}

float MkString::GetFirstFloat(int start) const {
    for (size_t i = start < 0 ? 0 : static_cast<size_t>(start); i < m_s.size(); ++i) {
        size_t len = scanNumber(m_s, i);
        if (len) return toFloat(numberValue(m_s, i, len));
    }
    return FLT_MAX;
}

int MkString::FindFirstNumber() const {
    for (size_t i = 0; i < m_s.size(); ++i)
        if (isDigit(m_s[i])) return static_cast<int>(i);
    return -1;
}

bool MkString::IsNumber() const {
    size_t first = skipSpace(m_s, 0);
    size_t last = m_s.size();
    while (last > first && isSpace(m_s[last - 1])) --last;
    if (first == last) return false;
    return scanNumber(m_s, first) == last - first;
}

MkString MkString::GetFirstToken(wchar_t delimiter, bool* more) const {
    m_tokenPos = 0;
    return GetNextToken(delimiter, more);
}

MkString MkString::GetNextToken(wchar_t delimiter, bool* more) const {
    // m_tokenPos is one past the end once the last token has been handed out;
    // an empty string holds no token at all.
    if (m_s.empty() || m_tokenPos > m_s.size()) {
        m_tokenPos = m_s.size() + 1;
        if (more) *more = false;
        return MkString();
    }
    size_t end = m_s.find(delimiter, m_tokenPos);
    if (end == std::wstring::npos) end = m_s.size();
    MkString token(m_s.substr(m_tokenPos, end - m_tokenPos));
    m_tokenPos = end + 1;
    if (more) *more = true;
    return token;
}

MkString MkString::GetFirstWord(bool* more) const {
    m_tokenPos = 0;
    return GetNextWord(more);
}

MkString MkString::GetNextWord(bool* more) const {
    size_t begin = m_tokenPos > m_s.size() ? m_s.size() : m_tokenPos;
    begin = skipSpace(m_s, begin);
    if (begin >= m_s.size()) {
        m_tokenPos = m_s.size();
        if (more) *more = false;
        return MkString();
    }
    size_t end = begin;
    while (end < m_s.size() && !isSpace(m_s[end])) ++end;
    m_tokenPos = end;
    if (more) *more = true;
    return MkString(m_s.substr(begin, end - begin));
}

MkString& MkString::Trim() {
    size_t first = skipSpace(m_s, 0);
    size_t last = m_s.size();
    while (last > first && isSpace(m_s[last - 1])) --last;
    if (first > 0 || last < m_s.size()) m_s = m_s.substr(first, last - first);
    return *this;
}

MkString& MkString::ToLower() {
    for (wchar_t& c : m_s) c = lowerChar(c);
    return *this;
}

MkString& MkString::ToUpper() {
    for (wchar_t& c : m_s) c = upperChar(c);
    return *this;
}

MkString& MkString::Nicify() {
    std::wstring out;
    out.reserve(m_s.size());
    bool pendingSpace = false;
    for (wchar_t c : m_s) {
        if (isSpace(c)) {
            pendingSpace = !out.empty();
            continue;
        }
        if (pendingSpace) out += L' ';
        pendingSpace = false;
        out += c;
    }
    m_s.swap(out);
    return *this;
}

char* MkStringToUTF8(const wchar_t* text, int* length, bool* ok) {
    std::string bytes;
    if (text) bytes = lfw::utf8::encode(text, std::wcslen(text), Invalid::Replace, ok);
    else if (ok) *ok = true;
    if (bytes.size() > static_cast<size_t>(INT_MAX) - 1) {
        // The length could not be reported: hand back empty text rather than a lie.
        bytes.clear();
        if (ok) *ok = false;
    }
    char* buffer = new char[bytes.size() + 1];
    std::memcpy(buffer, bytes.data(), bytes.size());
    buffer[bytes.size()] = '\0';
    if (length) *length = static_cast<int>(bytes.size());
    return buffer;
}

MkString MkStringFromUTF8(const char* bytes, int length) {
    if (!bytes || length <= 0) return MkString();
    const void* zero = std::memchr(bytes, 0, static_cast<size_t>(length));
    size_t n = zero ? static_cast<size_t>(static_cast<const char*>(zero) - bytes) : static_cast<size_t>(length);
    return MkString(lfw::utf8::decode(bytes, n, Invalid::Replace));
}
