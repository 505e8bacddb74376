#include "host/ug/MkArray.h"
#include <string>

namespace {

bool isSpace(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\n' || c == L'\r' || c == L'\f' || c == L'\v'; }

std::vector<std::wstring> splitItems(const std::wstring& text, wchar_t separator) {
    std::vector<std::wstring> items;
    if (isSpace(separator)) {
        size_t i = 0;
        while (i < text.size()) {
            while (i < text.size() && isSpace(text[i])) ++i;
            size_t begin = i;
            while (i < text.size() && !isSpace(text[i])) ++i;
            if (i > begin) items.push_back(text.substr(begin, i - begin));
        }
        return items;
    }
    if (text.empty()) return items;
    size_t begin = 0;
    for (;;) {
        size_t end = text.find(separator, begin);
        if (end == std::wstring::npos) {
            items.push_back(text.substr(begin));
            break;
        }
        items.push_back(text.substr(begin, end - begin));
        begin = end + 1;
    }
    return items;
}

template <typename T, typename ToText>
MkString join(const MkArrayT<T>& array, const MkString& separator, ToText toText) {
    std::wstring out;
    for (int i = 0; i < array.GetSize(); ++i) {
        if (i > 0) out += separator.Std();
        out += toText(array[i]);
    }
    return MkString(std::move(out));
}

}  // namespace

bool MkIntArray::SetFromString(const MkString& text, wchar_t separator) {
    std::vector<std::wstring> items = splitItems(text.Std(), separator);
    if (items.size() > static_cast<size_t>(INT_MAX)) return false;
    m_items.clear();
    m_items.reserve(items.size());
    for (const std::wstring& item : items) m_items.push_back(MkString(item).AsInt(0));
    return true;
}

MkString MkIntArray::GetAsString(const MkString& separator) const {
    return join(*this, separator, [](int v) { return std::to_wstring(v); });
}

bool MkFloatArray::SetFromString(const MkString& text, wchar_t separator) {
    std::vector<std::wstring> items = splitItems(text.Std(), separator);
    if (items.size() > static_cast<size_t>(INT_MAX)) return false;
    m_items.clear();
    m_items.reserve(items.size());
    for (const std::wstring& item : items) m_items.push_back(MkString(item).AsFloat(0.0f));
    return true;
}

MkString MkFloatArray::GetAsString(const MkString& separator) const {
    return join(*this, separator, [](float v) { return MkString::Make(v).Std(); });
}

bool MkStringArray::SetFromString(const MkString& text, wchar_t separator) {
    std::vector<std::wstring> items = splitItems(text.Std(), separator);
    if (items.size() > static_cast<size_t>(INT_MAX)) return false;
    m_items.clear();
    m_items.reserve(items.size());
    for (std::wstring& item : items) m_items.push_back(MkString(std::move(item)));
    return true;
}

MkString MkStringArray::GetAsString(const MkString& separator) const {
    return join(*this, separator, [](const MkString& v) { return v.Std(); });
}
