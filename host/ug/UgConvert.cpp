#include "host/ug/UgConvert.h"
#include <cstring>

namespace kiv {
namespace ug {

MkString Convert::toMkString(const Str& s) { return MkString(s.toStdWString()); }

Str Convert::toStr(const MkString& s) { return Str(s.Std()); }

bool Convert::toMkRGBImage(const Image* image, MkRGBImage* rgbImage) {
    if (!image || !rgbImage) return false;
    if (image->byteCount() == 0) {
        rgbImage->Clear();
        return true;
    }
    if (image->width() > 65535 || image->height() > 65535) return false;
    if (!rgbImage->SetSize(static_cast<int>(image->width()), static_cast<int>(image->height()))) return false;
    if (static_cast<size_t>(rgbImage->GetNumImageBytes()) != image->byteCount()) {
        rgbImage->Clear();
        return false;
    }
    std::memcpy(rgbImage->GetData(), image->data(), image->byteCount());
    return true;
}

bool Convert::toImage(const MkRGBImage& rgbImage, Image* image) {
    if (!image) return false;
    if (rgbImage.GetNumImageBytes() == 0) {
        image->clear();
        return true;
    }
    return image->setData(static_cast<unsigned int>(rgbImage.GetWidth()), static_cast<unsigned int>(rgbImage.GetHeight()),
                          rgbImage.Bytes());
}

}  // namespace ug
}  // namespace kiv
