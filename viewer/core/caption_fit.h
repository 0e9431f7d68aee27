// Captions that fit their controls: a control designed for a narrower face
// keeps its left and top and grows to the right, just enough for the widest
// caption it shows, and keeps its designed width wherever that is enough.
#pragma once

#include <initializer_list>

namespace veldra::viewer {

// The width a control needs for captions `caption_widths` wide (pixels),
// with `padding` pixels of its own around the text (frame, margins, an
// indicator): the designed width, or more where a caption needs it.
int fitted_width(int designed, std::initializer_list<int> caption_widths, int padding);

// The left edge of a neighbour on the same line (from `left` to `right`)
// once a control before it has grown from `designed_right` to
// `fitted_right`: a neighbour that began at or after the designed right
// edge and now lies under the grown control gives way, its left edge moved
// to the grown right edge and its right edge kept; any other keeps `left`.
int neighbour_left(int designed_right, int fitted_right, int left, int right);

}  // namespace veldra::viewer
