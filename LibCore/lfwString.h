#pragma once
// The foundation's string: UTF-8 text with "%1".."%9" argument markers.
#include <string>

namespace lfw {

class String {
public:
    String() = default;
    String(const char* utf8) : m_s(utf8 ? utf8 : "") {}
    String(const std::string& utf8) : m_s(utf8) {}
    String(std::string&& utf8) : m_s(std::move(utf8)) {}
    String(const wchar_t* wide);
    String(const std::wstring& wide);

    const std::string& toStdString() const { return m_s; }
    std::wstring toStdWString() const;
    const char* c_str() const { return m_s.c_str(); }
    size_t size() const { return m_s.size(); }
    bool isEmpty() const { return m_s.empty(); }

    // Replaces the lowest-numbered "%n" marker (every occurrence of it) by the argument.
    String arg(const String& a) const;
    String arg(const char* a) const { return arg(String(a)); }
    String arg(const wchar_t* a) const { return arg(String(a)); }
    String arg(const std::wstring& a) const { return arg(String(a)); }
    String arg(int a) const;
    String arg(unsigned int a) const;
    String arg(long long a) const;
    String arg(double a) const;

    String& operator+=(const String& o) {
        m_s += o.m_s;
        return *this;
    }
    friend String operator+(const String& a, const String& b) { return String(a.m_s + b.m_s); }
    friend bool operator==(const String& a, const String& b) { return a.m_s == b.m_s; }
    friend bool operator!=(const String& a, const String& b) { return a.m_s != b.m_s; }
    friend bool operator<(const String& a, const String& b) { return a.m_s < b.m_s; }

private:
    std::string m_s;
};

}  // namespace lfw
