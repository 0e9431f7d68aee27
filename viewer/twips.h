// The windows are designed in twips, 15 to a pixel.
#pragma once

#include <cmath>

namespace veldra::viewer {

// Twips as whole pixels, halves away from zero.
inline int twips(double t) { return static_cast<int>(std::lround(t / 15.0)); }

}  // namespace veldra::viewer
