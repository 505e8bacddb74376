#pragma once
// Conversions between the core library's public types and the Mk types.
#include "host/core/KivImage.h"
#include "host/core/KivStr.h"
#include "host/ug/MkRGBImage.h"
#include "host/ug/MkString.h"

namespace kiv {
namespace ug {

class Convert {
public:
    static MkString toMkString(const Str& s);
    static Str toStr(const MkString& s);
    static bool toMkRGBImage(const Image* image, MkRGBImage* rgbImage);  // false for null arguments
    static bool toImage(const MkRGBImage& rgbImage, Image* image);
};

}  // namespace ug
}  // namespace kiv
