#pragma once
// Intrusive reference counting shared by the foundation and the host libraries.
#include <atomic>
#include <cstddef>
#include <utility>

namespace lfw {

// Base of reference-counted objects. The count is atomic; the object deletes
// itself through its virtual destructor when the last reference is released.
class RefCounted {
public:
    RefCounted() = default;
    RefCounted(const RefCounted&) : m_refCount(0) {}
    RefCounted& operator=(const RefCounted&) { return *this; }
    virtual ~RefCounted() = default;

    // const so that counted references to const objects work.
    int addRef() const { return ++m_refCount; }
    int release() const {
        int n = --m_refCount;
        if (n == 0) delete this;
        return n;
    }
    int refCount() const { return m_refCount.load(); }

private:
    mutable std::atomic<int> m_refCount{0};
};

// Counted reference. Assigning adds a reference to the new object before the
// old one is released, so assigning the same object again is safe.
template <typename T>
class Ref {
public:
    Ref() = default;
    Ref(T* p) : m_p(p) {
        if (m_p) m_p->addRef();
    }
    Ref(const Ref& o) : Ref(o.m_p) {}
    Ref(Ref&& o) noexcept : m_p(o.m_p) { o.m_p = nullptr; }
    template <typename U>
    Ref(const Ref<U>& o) : Ref(o.p()) {}
    ~Ref() {
        if (m_p) m_p->release();
    }

    Ref& operator=(T* p) {
        if (p) p->addRef();
        T* old = m_p;
        m_p = p;
        if (old) old->release();
        return *this;
    }
    Ref& operator=(const Ref& o) { return *this = o.m_p; }
    Ref& operator=(Ref&& o) noexcept {
        if (this != &o) {
            T* old = m_p;
            m_p = o.m_p;
            o.m_p = nullptr;
            if (old) old->release();
        }
        return *this;
    }

    T* p() const { return m_p; }
    T* get() const { return m_p; }
    T* operator->() const { return m_p; }
    T& operator*() const { return *m_p; }
    bool isNull() const { return m_p == nullptr; }
    bool notNull() const { return m_p != nullptr; }
    explicit operator bool() const { return m_p != nullptr; }

private:
    T* m_p = nullptr;
};

template <typename T, typename U>
bool operator==(const Ref<T>& a, const Ref<U>& b) {
    return a.p() == b.p();
}
template <typename T, typename U>
bool operator!=(const Ref<T>& a, const Ref<U>& b) {
    return a.p() != b.p();
}

}  // namespace lfw
