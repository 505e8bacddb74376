#pragma once
// Sizes of drawings (pictures, frames) in EMU as the DrawingML schema bounds
// them (ST_PositiveCoordinate: 0 to 27273042316900), for the slide and Word
// editors alike: a template's extent outside that range (a negative one, or
// one past the largest) is not written back as it is.
#include <cmath>

namespace kiv {
namespace rep {

namespace DrawingExtent {

const double MAX_EXTENT = 27273042316900.0;

// The size within the schema's range; NaN gives 0.
inline double clamp(double value) {
    if (!(value > 0)) return 0;
    return value > MAX_EXTENT ? MAX_EXTENT : value;
}

// The box (cx, cy, as a template writes them) clamped, then the largest size of
// that aspect (width / height) inside it, truncated to whole EMU. A box without
// height, or an aspect that is not positive and finite, keeps the clamped box.
inline void fitInBox(double cx, double cy, double aspect, long long* width, long long* height) {
    cx = clamp(cx);
    cy = clamp(cy);
    if (cy > 0 && aspect > 0 && std::isfinite(aspect)) {
        if (cx / cy > aspect) cx = std::floor(cy * aspect);
        else cy = std::floor(cx / aspect);
    }
    *width = static_cast<long long>(cx);
    *height = static_cast<long long>(cy);
}

}  // namespace DrawingExtent

}  // namespace rep
}  // namespace kiv
