#pragma once
#include "LibCore/lfwRef.h"

namespace kiv {

// Base of the toolkit's reference-counted objects (addRef/release, deleted at zero).
class RefCountedObject : public lfw::RefCounted {
public:
    ~RefCountedObject() override = default;
};

// The counted reference the toolkit holds such objects by.
template <typename T>
using PtrRef = lfw::Ref<T>;

}  // namespace kiv
