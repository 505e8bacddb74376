#pragma once
// kiv::Str: the toolkit's public wide string.
#include <string>

namespace kiv {

class Str {
public:
    Str() = default;
    Str(const char* utf8);  // invalid bytes survive a round trip through toStdString()
    Str(const std::string& utf8);
    Str(const wchar_t* text) : m_s(text ? text : L"") {}
    Str(const std::wstring& text) : m_s(text) {}
    Str(std::wstring&& text) : m_s(std::move(text)) {}

    const wchar_t* c_str() const { return m_s.c_str(); }
    const std::wstring& toStdWString() const { return m_s; }
    std::string toStdString() const;  // UTF-8
    bool isEmpty() const { return m_s.empty(); }
    size_t size() const { return m_s.size(); }

    static Str number(int n);
    static Str number(unsigned int n);
    // 'g' with precision -1 gives the shortest text that reads back to the same value.
    static Str number(double n, char format = 'g', int precision = -1);

    Str& operator+=(const Str& o) {
        m_s += o.m_s;
        return *this;
    }
    friend Str operator+(const Str& a, const Str& b) { return Str(a.m_s + b.m_s); }
    friend bool operator<(const Str& a, const Str& b) { return a.m_s < b.m_s; }
    friend bool operator==(const Str& a, const Str& b) { return a.m_s == b.m_s; }
    friend bool operator!=(const Str& a, const Str& b) { return a.m_s != b.m_s; }

private:
    std::wstring m_s;
};

}  // namespace kiv
