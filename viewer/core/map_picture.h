// What the map picture shows, recorded as it is painted, so that the same
// picture can be painted again at another zoom without reading a file, and
// so that the legend and the value under the pointer describe what is seen.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <utility>

#include "viewer/core/colour_ramps.h"

namespace veldra::viewer {

// The values on display as they were coloured.
struct PaintedValues {
    PaintedValues(int ramp_index = 0, const StretchStats& stretch = {}, bool over_run = false)
        : ramp(ramp_index), colours(stretch), run_scale(over_run) {}
    int ramp = 0;              // index into kRampNames; 0 is the random ramp
    StretchStats colours;      // the stretch that chose the colours (stretched ramps)
    bool run_scale = false;    // `colours` is the stretch over the whole run
    bool fixed_scale = false;  // `colours` has the ends the user fixed
    bool logarithmic = false;  // the colours follow log(v) from colours.lo to colours.hi
    // The values are differences: the month shown minus this year and month.
    std::optional<std::pair<int, int>> minus;
    bool random() const { return ramp == 0; }
};

struct MapPicture {
    bool globe = false;                       // the land mask is painted
    std::optional<PaintedValues> values;      // the values on display are painted over it
    int year = 0;                             // the month of the values on display
    int month = 0;
    // What the values stand for when not the month shown, as the legend
    // says it after the units: ", mean of 2001", " minus base_run"; empty
    // for a month.
    std::string shown;
    std::optional<std::size_t> marked_cell;   // the last queried cell, marked in yellow
    // The picture's scale is the grid's (or the zoomed part of it); false
    // between a resize and the redraw that follows, while it is geographic.
    bool grid_scale = false;
};

}  // namespace veldra::viewer
