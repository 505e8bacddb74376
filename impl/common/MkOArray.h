#pragma once
// MkOArray: the component's growable array of objects. Count, capacity and grow
// step are 32-bit; the buffer grows by a step that depends on the count, so
// appending one item at a time stays cheap without a large reserve up front.
#include <climits>
#include <functional>
#include <new>
#include <utility>

template <class TYPE, class ARG_TYPE = const TYPE&>
class MkOArray {
public:
    MkOArray() = default;
    MkOArray(const MkOArray& other) { CopyFrom(other); }
    MkOArray(MkOArray&& other) noexcept
        : m_pData(other.m_pData), m_nSize(other.m_nSize), m_nMaxSize(other.m_nMaxSize), m_nGrowBy(other.m_nGrowBy) {
        other.m_pData = nullptr;
        other.m_nSize = other.m_nMaxSize = 0;
    }
    MkOArray& operator=(const MkOArray& other) {
        if (this != &other) CopyFrom(other);
        return *this;
    }
    MkOArray& operator=(MkOArray&& other) noexcept {
        if (this != &other) {
            FreeAll();
            std::swap(m_pData, other.m_pData);
            std::swap(m_nSize, other.m_nSize);
            std::swap(m_nMaxSize, other.m_nMaxSize);
            m_nGrowBy = other.m_nGrowBy;
        }
        return *this;
    }
    ~MkOArray() { FreeAll(); }

    int GetSize() const { return m_nSize; }
    int GetCount() const { return m_nSize; }
    int GetUpperBound() const { return m_nSize - 1; }
    bool IsEmpty() const { return m_nSize == 0; }
    int GetCapacity() const { return m_nMaxSize; }
    int GetGrowBy() const { return m_nGrowBy; }

    TYPE* GetData() { return m_pData; }
    const TYPE* GetData() const { return m_pData; }
    TYPE& operator[](int i) { return m_pData[i]; }
    const TYPE& operator[](int i) const { return m_pData[i]; }
    TYPE& ElementAt(int i) { return m_pData[i]; }
    const TYPE& GetAt(int i) const { return m_pData[i]; }
    void SetAt(int i, ARG_TYPE e) { m_pData[i] = e; }
    TYPE* begin() { return m_pData; }
    TYPE* end() { return m_pData + m_nSize; }
    const TYPE* begin() const { return m_pData; }
    const TYPE* end() const { return m_pData + m_nSize; }

    // Resizes to newSize elements; a growBy other than -1 replaces the grow step
    // (0: automatic). Size 0 frees the buffer; a first allocation is exactly
    // newSize; within the capacity elements are only constructed or destroyed at
    // the end; beyond it the capacity becomes max(newSize, capacity + step).
    // False (and unchanged) for a negative size or when memory runs out.
    bool SetSize(int newSize, int growBy = -1);

    // Index of the appended element, -1 when the array cannot grow.
    int Add(ARG_TYPE e);
    // Inserts count copies of e before index; an index past the end grows the
    // array with default elements up to it.
    bool InsertAt(int index, ARG_TYPE e, int count = 1);
    // Removes count elements from index; false when they are not all inside.
    bool RemoveAt(int index, int count = 1);
    void RemoveAll() { SetSize(0); }
    bool Append(const MkOArray& other);

private:
    static TYPE* Allocate(int count) {
        return static_cast<TYPE*>(::operator new(sizeof(TYPE) * static_cast<size_t>(count), std::nothrow));
    }
    static void Destroy(TYPE* first, int count) {
        for (int i = 0; i < count; ++i) first[i].~TYPE();
    }
    static void Construct(TYPE* first, int count) {
        for (int i = 0; i < count; ++i) new (first + i) TYPE();
    }
    void FreeAll() {
        Destroy(m_pData, m_nSize);
        ::operator delete(m_pData);
        m_pData = nullptr;
        m_nSize = m_nMaxSize = 0;
    }
    void CopyFrom(const MkOArray& other);
    bool Contains(const TYPE* p) const {
        std::less<const TYPE*> lt;
        return m_pData && !lt(p, m_pData) && lt(p, m_pData + m_nSize);
    }

    TYPE* m_pData = nullptr;
    int m_nSize = 0;
    int m_nMaxSize = 0;
    int m_nGrowBy = 0;
};

template <class TYPE, class ARG_TYPE>
bool MkOArray<TYPE, ARG_TYPE>::SetSize(int newSize, int growBy) {
    if (newSize < 0) return false;
    if (growBy != -1) m_nGrowBy = growBy < 0 ? 0 : growBy;

    if (newSize == 0) {
        FreeAll();
        return true;
    }
    if (!m_pData) {
        TYPE* data = Allocate(newSize);
        if (!data) return false;
        Construct(data, newSize);
        m_pData = data;
        m_nSize = m_nMaxSize = newSize;
        return true;
    }
    if (newSize <= m_nMaxSize) {
        if (newSize > m_nSize) Construct(m_pData + m_nSize, newSize - m_nSize);
        else Destroy(m_pData + newSize, m_nSize - newSize);
        m_nSize = newSize;
        return true;
    }

    long long step = m_nGrowBy;
    if (step == 0) {
        step = m_nSize / 8;
        step = step < 4 ? 4 : (step > 1024 ? 1024 : step);
    }
    long long capacity = static_cast<long long>(m_nMaxSize) + step;
    if (capacity < newSize) capacity = newSize;
    if (capacity > INT_MAX) capacity = INT_MAX;  // newSize itself always fits

    TYPE* data = Allocate(static_cast<int>(capacity));
    if (!data) return false;
    // Elements are moved by their own move constructors: copying their bytes
    // would leave e.g. a string's pointer to its inline buffer aimed at the old one.
    for (int i = 0; i < m_nSize; ++i) new (data + i) TYPE(std::move(m_pData[i]));
    Destroy(m_pData, m_nSize);
    ::operator delete(m_pData);
    Construct(data + m_nSize, newSize - m_nSize);
    m_pData = data;
    m_nSize = newSize;
    m_nMaxSize = static_cast<int>(capacity);
    return true;
}

template <class TYPE, class ARG_TYPE>
int MkOArray<TYPE, ARG_TYPE>::Add(ARG_TYPE e) {
    if (m_nSize == INT_MAX) return -1;
    const int index = m_nSize;
    if (m_nSize < m_nMaxSize || !Contains(&e)) {
        if (!SetSize(index + 1)) return -1;
        m_pData[index] = e;
    } else {
        TYPE copy(e);  // e lives in the buffer that is about to move
        if (!SetSize(index + 1)) return -1;
        m_pData[index] = std::move(copy);
    }
    return index;
}

template <class TYPE, class ARG_TYPE>
bool MkOArray<TYPE, ARG_TYPE>::InsertAt(int index, ARG_TYPE e, int count) {
    if (index < 0 || count <= 0) return false;
    TYPE value(e);  // e may be one of the elements that move below
    const int oldSize = m_nSize;
    if (index >= oldSize) {
        if (static_cast<long long>(index) + count > INT_MAX || !SetSize(index + count)) return false;
    } else {
        if (static_cast<long long>(oldSize) + count > INT_MAX || !SetSize(oldSize + count)) return false;
        for (int i = oldSize - 1; i >= index; --i) m_pData[i + count] = std::move(m_pData[i]);
    }
    for (int i = index; i < index + count; ++i) m_pData[i] = value;
    return true;
}

template <class TYPE, class ARG_TYPE>
bool MkOArray<TYPE, ARG_TYPE>::RemoveAt(int index, int count) {
    if (index < 0 || count < 0 || static_cast<long long>(index) + count > m_nSize) return false;
    if (count == 0) return true;
    for (int i = index + count; i < m_nSize; ++i) m_pData[i - count] = std::move(m_pData[i]);
    Destroy(m_pData + m_nSize - count, count);
    m_nSize -= count;
    return true;
}

template <class TYPE, class ARG_TYPE>
bool MkOArray<TYPE, ARG_TYPE>::Append(const MkOArray& other) {
    if (static_cast<long long>(m_nSize) + other.m_nSize > INT_MAX) return false;
    if (other.m_nSize == 0) return true;
    if (&other == this) {
        MkOArray copy(other);
        return Append(copy);
    }
    const int oldSize = m_nSize;
    if (!SetSize(oldSize + other.m_nSize)) return false;
    for (int i = 0; i < other.m_nSize; ++i) m_pData[oldSize + i] = other.m_pData[i];
    return true;
}

template <class TYPE, class ARG_TYPE>
void MkOArray<TYPE, ARG_TYPE>::CopyFrom(const MkOArray& other) {
    FreeAll();
    m_nGrowBy = other.m_nGrowBy;
    if (other.m_nSize == 0 || !SetSize(other.m_nSize)) return;
    for (int i = 0; i < other.m_nSize; ++i) m_pData[i] = other.m_pData[i];
}
