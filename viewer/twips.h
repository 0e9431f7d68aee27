// The windows are designed in twips, 15 to a pixel.
#pragma once

#include <cmath>

#include <QWidget>

#include "viewer/core/window_layout.h"

namespace veldra::viewer {

// Twips as whole pixels, halves away from zero.
inline int twips(double t) { return static_cast<int>(std::lround(t / 15.0)); }

// Puts `w` at its designed place and size, given in twips.
inline void place(QWidget* w, double left, double top, double width, double height) {
    w->setGeometry(twips(left), twips(top), twips(width), twips(height));
}
inline void place(QWidget* w, const TwipRect& r) { place(w, r.left, r.top, r.width, r.height); }

}  // namespace veldra::viewer
