#pragma once
#include "LibCore/lfwString.h"
#include "host/core/KivStr.h"

namespace kiv {

class Convert {
public:
    static lfw::String toLfwString(const Str& s);
    static Str toStr(const lfw::String& s);
};

}  // namespace kiv
