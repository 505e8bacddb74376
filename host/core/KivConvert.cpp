#include "host/core/KivConvert.h"

namespace kiv {

// Both directions keep bytes that are not valid UTF-8 as escape characters,
// so a narrow name survives the trip through the wide string unchanged.
lfw::String Convert::toLfwString(const Str& s) { return lfw::String(s.toStdWString()); }

Str Convert::toStr(const lfw::String& s) { return Str(s.toStdString()); }

}  // namespace kiv
