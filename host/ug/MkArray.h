#pragma once
// The unstructured-grid library's 0-based growable arrays. Counts are 32-bit:
// an operation that would grow an array past INT_MAX items fails (false / -1).
#include "host/ug/MkString.h"
#include <vector>

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
    std::vector<T>& Std() { return m_items; }

    bool SetSize(int n);                      // new items default-constructed
    void Clear() { m_items.clear(); }
    bool SetAtGrow(int i, const T& v);        // grows to i+1
    int AddGrow(const T& v);                  // index of the new item, -1 when full
    int AddUniqueGrow(const T& v);            // index of the existing or new item
    bool Insert(int i, const T& v);           // 0 <= i <= size
    bool Delete(int first, int count = 1);    // clipped to the array
    int Find(const T& v, int start = 0, bool forward = true) const;  // -1 when absent
    int BinSearch(const T& v) const;          // on a sorted array; -1 when absent
    void Sort();
    int RemoveDuplicates();                   // keeps first occurrences in order; returns count removed
    void Intersect(const MkArrayT& other);    // keeps items also in other, in this order
    bool AssignConsecutive(int count, T first);  // first, first+1, ... (numeric arrays)
    bool CopyData(const T* data, int count);  // replaces the content
    bool Append(const MkArrayT& other);

protected:
    std::vector<T> m_items;
};

class MkIntArray : public MkArrayT<int> {
public:
    // Items of the text separated by `separator`; non-numbers become 0.
    bool SetFromString(const MkString& text, wchar_t separator = L' ');
    MkString GetAsString(const MkString& separator = MkString(L" ")) const;
};

class MkFloatArray : public MkArrayT<float> {
public:
    bool SetFromString(const MkString& text, wchar_t separator = L' ');
    MkString GetAsString(const MkString& separator = MkString(L" ")) const;
};

class MkUbyteArray : public MkArrayT<unsigned char> {
};

class MkStringArray : public MkArrayT<MkString> {
public:
    bool SetFromString(const MkString& text, wchar_t separator = L' ');
    MkString GetAsString(const MkString& separator = MkString(L" ")) const;
};
