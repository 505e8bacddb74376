#pragma once
// Ordered sequence of counted references.
#include "LibCore/lfwRef.h"
#include <cstddef>
#include <vector>

namespace lfw {

template <typename T>
class Collection {
public:
    size_t size() const { return m_items.size(); }
    bool empty() const { return m_items.empty(); }
    void push_back(T* item) { m_items.emplace_back(item); }
    void clear() { m_items.clear(); }
    void reserve(size_t n) { m_items.reserve(n); }
    T* at(size_t i) const { return m_items.at(i).p(); }
    T* operator[](size_t i) const { return m_items[i].p(); }
    void eraseAt(size_t i) { m_items.erase(m_items.begin() + static_cast<std::ptrdiff_t>(i)); }

private:
    std::vector<Ref<T>> m_items;
};

}  // namespace lfw
