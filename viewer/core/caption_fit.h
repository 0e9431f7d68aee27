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

}  // namespace veldra::viewer
