#include "LibCore/lfwString.h"
#include "LibCore/lfwUtf8.h"
#include <cstdio>
#include <cwchar>

namespace lfw {

String::String(const wchar_t* wide) {
    if (wide) m_s = utf8::encode(wide, std::wcslen(wide), utf8::Invalid::Escape);
}

String::String(const std::wstring& wide) : m_s(utf8::encode(wide, utf8::Invalid::Escape)) {}

std::wstring String::toStdWString() const { return utf8::decode(m_s, utf8::Invalid::Escape); }

String String::arg(const String& a) const {
    // Find the lowest marker number present, as Qt-style arg() does.
    int lowest = 10;
    for (size_t i = 0; i + 1 < m_s.size(); ++i) {
        if (m_s[i] == '%' && m_s[i + 1] >= '1' && m_s[i + 1] <= '9') {
            int n = m_s[i + 1] - '0';
            if (n < lowest) lowest = n;
        }
    }
    if (lowest == 10) return *this;
    std::string out;
    out.reserve(m_s.size() + a.m_s.size());
    for (size_t i = 0; i < m_s.size(); ++i) {
        if (m_s[i] == '%' && i + 1 < m_s.size() && m_s[i + 1] - '0' == lowest) {
            out += a.m_s;
            ++i;
        } else {
            out += m_s[i];
        }
    }
    return String(std::move(out));
}

String String::arg(int a) const { return arg(String(std::to_string(a))); }
String String::arg(unsigned int a) const { return arg(String(std::to_string(a))); }
String String::arg(long long a) const { return arg(String(std::to_string(a))); }
String String::arg(double a) const {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%g", a);
    return arg(String(buf));
}

}  // namespace lfw
