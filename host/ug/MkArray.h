#pragma once
// The unstructured-grid library's 0-based growable arrays. Counts are 32-bit:
// an operation that would grow an array past INT_MAX items fails (false / -1).
#include "host/ug/MkString.h"
#include <algorithm>
#include <climits>
#include <cmath>
#include <limits>
#include <new>
#include <numeric>
#include <stdexcept>
#include <type_traits>
#include <utility>
#include <vector>

namespace mkarray_detail {
// Ordering for Sort, BinSearch, RemoveDuplicates and Intersect. NaN sorts last
// and equals itself, so that floating-point arrays keep a strict weak order.
template <typename T>
bool less(const T& a, const T& b) {
    return a < b;
}
inline bool less(float a, float b) { return !std::isnan(a) && (std::isnan(b) || a < b); }
inline bool less(double a, double b) { return !std::isnan(a) && (std::isnan(b) || a < b); }
template <typename T>
bool equivalent(const T& a, const T& b) {
    return !less(a, b) && !less(b, a);
}
}  // namespace mkarray_detail

template <typename T>
class MkArrayT {
public:
    MkArrayT() = default;
    virtual ~MkArrayT() = default;

    int GetSize() const { return static_cast<int>(m_items.size()); }
    int GetNum() const { return GetSize(); }
    bool IsEmpty() const { return m_items.empty(); }
    T* GetData() { return m_items.data(); }
    const T* GetData() const { return m_items.data(); }
    T& operator[](int i) { return m_items[static_cast<size_t>(i)]; }
    const T& operator[](int i) const { return m_items[static_cast<size_t>(i)]; }
    T& GetAt(int i) { return m_items.at(static_cast<size_t>(i)); }
    const T& GetAt(int i) const { return m_items.at(static_cast<size_t>(i)); }
    const std::vector<T>& Std() const { return m_items; }
    typename std::vector<T>::iterator begin() { return m_items.begin(); }
    typename std::vector<T>::iterator end() { return m_items.end(); }
    typename std::vector<T>::const_iterator begin() const { return m_items.begin(); }
    typename std::vector<T>::const_iterator end() const { return m_items.end(); }
    std::vector<T>& Std() { return m_items; }

    bool SetSize(int n);  // new items default-constructed
    void Clear() { m_items.clear(); }
    bool SetAtGrow(int i, const T& v);                               // grows to i+1
    int AddGrow(const T& v);                                         // index of the new item, -1 when full
    int AddUniqueGrow(const T& v);                                   // index of the existing or new item
    bool Insert(int i, const T& v);                                  // 0 <= i <= size
    bool Delete(int first, int count = 1);                           // clipped to the array
    int Find(const T& v, int start = 0, bool forward = true) const;  // -1 when absent
    int BinSearch(const T& v) const;                                 // on a sorted array; -1 when absent
    void Sort();
    int RemoveDuplicates();                      // keeps first occurrences in order; returns count removed
    void Intersect(const MkArrayT& other);       // keeps items also in other, in this order
    bool AssignConsecutive(int count, T first);  // first, first+1, ... (numeric arrays)
    bool CopyData(const T* data, int count);     // replaces the content
    bool Append(const MkArrayT& other);

protected:
    std::vector<T> m_items;
};

template <typename T>
bool MkArrayT<T>::SetSize(int n) {
    if (n < 0) return false;
    try {
        m_items.resize(static_cast<size_t>(n));
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
    return true;
}

template <typename T>
bool MkArrayT<T>::SetAtGrow(int i, const T& v) {
    if (i < 0 || i == INT_MAX) return false;
    if (i >= GetSize()) {
        T copy(v);  // v may live in this array, which is about to move
        if (!SetSize(i + 1)) return false;
        m_items[static_cast<size_t>(i)] = std::move(copy);
    } else {
        m_items[static_cast<size_t>(i)] = v;
    }
    return true;
}

template <typename T>
int MkArrayT<T>::AddGrow(const T& v) {
    if (GetSize() == INT_MAX) return -1;
    m_items.push_back(v);
    return GetSize() - 1;
}

template <typename T>
int MkArrayT<T>::AddUniqueGrow(const T& v) {
    int i = Find(v);
    return i >= 0 ? i : AddGrow(v);
}

template <typename T>
bool MkArrayT<T>::Insert(int i, const T& v) {
    if (i < 0 || i > GetSize() || GetSize() == INT_MAX) return false;
    m_items.insert(m_items.begin() + i, v);
    return true;
}

template <typename T>
bool MkArrayT<T>::Delete(int first, int count) {
    if (first < 0) {
        count += first;
        first = 0;
    }
    if (count <= 0 || first >= GetSize()) return false;
    count = std::min(count, GetSize() - first);
    m_items.erase(m_items.begin() + first, m_items.begin() + first + count);
    return true;
}

template <typename T>
int MkArrayT<T>::Find(const T& v, int start, bool forward) const {
    const int n = GetSize();
    if (forward) {
        for (int i = start < 0 ? 0 : start; i < n; ++i)
            if (m_items[static_cast<size_t>(i)] == v) return i;
    } else {
        for (int i = (start < 0 || start >= n) ? n - 1 : start; i >= 0; --i)
            if (m_items[static_cast<size_t>(i)] == v) return i;
    }
    return -1;
}

template <typename T>
int MkArrayT<T>::BinSearch(const T& v) const {
    auto it =
        std::lower_bound(m_items.begin(), m_items.end(), v, [](const T& a, const T& b) { return mkarray_detail::less(a, b); });
    if (it == m_items.end() || !mkarray_detail::equivalent(*it, v)) return -1;
    return static_cast<int>(it - m_items.begin());
}

template <typename T>
void MkArrayT<T>::Sort() {
    std::sort(m_items.begin(), m_items.end(), [](const T& a, const T& b) { return mkarray_detail::less(a, b); });
}

template <typename T>
int MkArrayT<T>::RemoveDuplicates() {
    const size_t n = m_items.size();
    if (n < 2) return 0;
    // Sort positions by value (stable, so each run of equal values starts with
    // its first occurrence), mark the later ones, then compact in order.
    std::vector<int> order(n);
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [this](int a, int b) {
        return mkarray_detail::less(m_items[static_cast<size_t>(a)], m_items[static_cast<size_t>(b)]);
    });
    std::vector<char> keep(n, 1);
    for (size_t k = 1; k < n; ++k) {
        if (mkarray_detail::equivalent(m_items[static_cast<size_t>(order[k - 1])], m_items[static_cast<size_t>(order[k])]))
            keep[static_cast<size_t>(order[k])] = 0;
    }
    size_t write = 0;
    for (size_t i = 0; i < n; ++i) {
        if (!keep[i]) continue;
        if (write != i) m_items[write] = std::move(m_items[i]);
        ++write;
    }
    m_items.erase(m_items.begin() + static_cast<std::ptrdiff_t>(write), m_items.end());
    return static_cast<int>(n - write);
}

template <typename T>
void MkArrayT<T>::Intersect(const MkArrayT& other) {
    std::vector<T> sorted(other.m_items);
    auto cmp = [](const T& a, const T& b) { return mkarray_detail::less(a, b); };
    std::sort(sorted.begin(), sorted.end(), cmp);
    size_t write = 0;
    for (size_t i = 0; i < m_items.size(); ++i) {
        if (!std::binary_search(sorted.begin(), sorted.end(), m_items[i], cmp)) continue;
        if (write != i) m_items[write] = std::move(m_items[i]);
        ++write;
    }
    m_items.erase(m_items.begin() + static_cast<std::ptrdiff_t>(write), m_items.end());
}

template <typename T>
bool MkArrayT<T>::AssignConsecutive(int count, T first) {
    if (count < 0) return false;
    if constexpr (std::is_integral<T>::value) {
        if (count > 0 && static_cast<long long>(first) + (count - 1) > static_cast<long long>(std::numeric_limits<T>::max()))
            return false;
    }
    if (!SetSize(count)) return false;
    T v = first;
    for (int i = 0; i < count; ++i) {
        m_items[static_cast<size_t>(i)] = v;
        if (i + 1 < count) v = static_cast<T>(v + 1);
    }
    return true;
}

template <typename T>
bool MkArrayT<T>::CopyData(const T* data, int count) {
    if (count < 0 || (count > 0 && !data)) return false;
    std::vector<T> copy(data, data + count);  // data may point into this array
    m_items.swap(copy);
    return true;
}

template <typename T>
bool MkArrayT<T>::Append(const MkArrayT& other) {
    if (static_cast<long long>(GetSize()) + other.GetSize() > INT_MAX) return false;
    if (&other == this) {
        std::vector<T> copy(m_items);
        m_items.insert(m_items.end(), copy.begin(), copy.end());
    } else {
        m_items.insert(m_items.end(), other.m_items.begin(), other.m_items.end());
    }
    return true;
}

// SetFromString replaces the content by the items of the text. A white-space
// separator splits at runs of white space and ignores it at both ends; any other
// separator splits at each occurrence, so "1,,3" has an empty middle item.

class MkIntArray : public MkArrayT<int> {
public:
    // Items are read by their leading number; non-numbers become 0.
    bool SetFromString(const MkString& text, wchar_t separator = L' ');
    MkString GetAsString(const MkString& separator = MkString(L" ")) const;
};

class MkFloatArray : public MkArrayT<float> {
public:
    bool SetFromString(const MkString& text, wchar_t separator = L' ');
    MkString GetAsString(const MkString& separator = MkString(L" ")) const;
};

class MkUbyteArray : public MkArrayT<unsigned char> {};

class MkStringArray : public MkArrayT<MkString> {
public:
    bool SetFromString(const MkString& text, wchar_t separator = L' ');
    MkString GetAsString(const MkString& separator = MkString(L" ")) const;
};
