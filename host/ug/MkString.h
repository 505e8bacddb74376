#pragma once
// MkString: the unstructured-grid library's wide string. Positions are 0-based
// character indices; -1 means "none".
#include "LibCore/lfwString.h"
#include <string>

class MkIntArray;

class MkString {
public:
    MkString() = default;
    // UTF-8; null is empty. Bytes that are not UTF-8 are kept as escape characters
    // (U+DC80..U+DCFF) that ShortChar() and lfw::String turn back into the same bytes.
    MkString(const char* text);
    MkString(const wchar_t* text) : m_s(text ? text : L"") {}
    MkString(wchar_t c) : m_s(1, c) {}
    explicit MkString(int number);  // decimal text
    MkString(const std::wstring& text) : m_s(text) {}
    MkString(std::wstring&& text) : m_s(std::move(text)) {}
    MkString(const wchar_t* text, int length);
    MkString(const lfw::String& text);
    operator lfw::String() const;

    const wchar_t* operator~() const { return m_s.c_str(); }  // for "%ls"
    const char* ShortChar() const;                            // UTF-8 copy, valid until the next call or change
    const std::wstring& Std() const { return m_s; }
    std::wstring& Std() { return m_s; }

    int Length() const { return static_cast<int>(m_s.size()); }
    bool IsEmpty() const { return m_s.empty(); }
    bool IsBlank() const;  // empty or only white space
    wchar_t operator[](int i) const { return m_s[static_cast<size_t>(i)]; }
    wchar_t GetAt(int i) const;  // 0 outside the string
    void Empty() { m_s.clear(); }
    void Reserve(int n) {
        if (n > 0) m_s.reserve(static_cast<size_t>(n));
    }

    // Forward from start with forward true; start -1 with forward false finds the last,
    // another start with forward false the last one beginning at or before it. An
    // empty text is never found.
    int Find(const MkString& text, int start = 0, bool forward = true, bool caseSensitive = true) const;
    int Find(wchar_t c, int start = 0, bool forward = true, bool caseSensitive = true) const;
    bool Contains(const MkString& text, bool caseSensitive = true) const { return Find(text, 0, true, caseSensitive) >= 0; }
    bool StartsWith(const MkString& text) const;
    bool EndsWith(const MkString& text) const;
    // Start indices of every non-overlapping occurrence.
    int FindAll(const MkString& text, MkIntArray* positions, bool caseSensitive = true) const;

    MkString Left(int n) const;
    MkString Right(int n) const;
    MkString Mid(int first, int count = -1) const;     // count -1: to the end
    MkString GetSubString(int first, int last) const;  // first..last inclusive

    bool operator==(const MkString& o) const { return m_s == o.m_s; }
    bool operator!=(const MkString& o) const { return m_s != o.m_s; }
    bool operator<(const MkString& o) const { return m_s < o.m_s; }
    int Compare(const MkString& o) const;  // <0, 0, >0
    int CompareNoCase(const MkString& o) const;

    MkString& operator+=(const MkString& o) {
        m_s += o.m_s;
        return *this;
    }
    MkString& operator+=(wchar_t c) {
        m_s += c;
        return *this;
    }
    MkString& Append(const wchar_t* text, int length) {
        m_s.append(text, static_cast<size_t>(length));
        return *this;
    }
    friend MkString operator+(const MkString& a, const MkString& b) { return MkString(a.m_s + b.m_s); }

    // Replaces up to maxCount occurrences (0: all) left to right; returns how many. Linear time.
    int Replace(const MkString& from, const MkString& to, int maxCount = 0, bool caseSensitive = true);
    void Insert(int pos, const MkString& text);
    void Delete(int first, int count);

    // printf-style formatting into the string (wide strings are passed with "%ls").
    // Characters convert as UTF-8 and numbers use "." whatever the process locale;
    // the result is never cut short. A format that cannot be applied leaves it empty.
    void MakeForm(const char* format, ...);
    void MakeFormWide(const wchar_t* format, ...);
    static MkString Make(int value);
    static MkString Make(float value);   // "%g"
    static MkString Make(double value);  // "%g"

    // The leading number (after leading white space), or def when there is none.
    int AsInt(int def = 0) const;
    float AsFloat(float def = 0.0f) const;
    double AsDouble(double def = 0.0) const;
    // The first number found at or after start, or 3.4028235e38 when there is none.
    float GetFirstFloat(int start = 0) const;
    int FindFirstNumber() const;  // index of the first digit, -1 when none
    bool IsNumber() const;        // the whole (trimmed) text is one number

    // Tokenizing: the text up to the next delimiter; GetNext* continue after the last token.
    // At the end they return an empty string and set *more (when given) to false.
    // Tokens split at every delimiter ("a,,b" has an empty middle token); an empty
    // string has no token. Words skip runs of white space.
    MkString GetFirstToken(wchar_t delimiter, bool* more = nullptr) const;
    MkString GetNextToken(wchar_t delimiter, bool* more = nullptr) const;
    MkString GetFirstWord(bool* more = nullptr) const;  // white-space separated
    MkString GetNextWord(bool* more = nullptr) const;

    MkString& Trim();  // both ends
    MkString& ToLower();
    MkString& ToUpper();
    MkString& Nicify();  // trimmed, every run of white space made one space

private:
    std::wstring m_s;
    mutable std::string m_narrow;  // backing store of ShortChar()
    mutable size_t m_tokenPos = 0;
};

// UTF-8 conversion. MkStringToUTF8 returns a new[]-allocated, zero-terminated buffer
// (delete[] it) and its byte length without the zero; a null text is empty. When
// the text holds a character UTF-8 cannot carry, *ok (if given) becomes false.
char* MkStringToUTF8(const wchar_t* text, int* length, bool* ok = nullptr);
inline char* MkStringToUTF8(const MkString& text, int* length, bool* ok = nullptr) { return MkStringToUTF8(~text, length, ok); }
// Decodes at most `length` bytes, stopping at a zero byte. Invalid sequences give U+FFFD.
MkString MkStringFromUTF8(const char* bytes, int length);
