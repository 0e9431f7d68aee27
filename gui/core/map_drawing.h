// Drawing the map: the land mask, and one block of a variable coloured
// through a ramp, with the statistics the stretched ramps show.
#pragma once

#include <optional>
#include <string>

#include "gui/core/map_canvas.h"
#include "gui/core/viewer_state.h"

namespace veldra::viewer {

// Sets the canvas scale to the grid: top-left (-halfCols, +halfRows),
// bottom-right (+halfCols, -halfRows).
void set_map_scale(MapCanvas& canvas, const ViewerState& state);

// Paints every grid position in the land or water colour.
void paint_globe(MapCanvas& canvas, const ViewerState& state);

// The four statistics labels of a stretched drawing.
struct StatsLabels {
    std::string mean;
    std::string stdev;
    std::string cells;
    std::string units;
};

// What a drawing asks of the window.
struct DrawOutcome {
    bool drawn = false;                 // the block passed its checks and was painted
    std::optional<std::string> message; // a message box to show (nothing drawn)
    std::optional<StatsLabels> labels;  // new label texts (stretched ramps only)
};

// Reads the block of the selected entry for the year and month texts and the
// selected layer, checks its count, year and month, stores the values in the
// cell table and paints them with the named ramp. A block that does not
// match, or lies outside the file, is reported and leaves the map and the
// cell table as they were. The caller sounds the beep when `drawn`. A ramp
// name that is none of the five reads, checks and stores the block but paints
// nothing.
DrawOutcome draw_data(ViewerState& state, MapCanvas& canvas, const std::string& yearText,
                      const std::string& monthText, const std::string& rampName);

// Paints all cells with a stretched ramp and returns the labels.
StatsLabels paint_stretched(MapCanvas& canvas, const ViewerState& state, const ColourRamp& ramp);

// Paints all cells with the random ramp.
void paint_random(MapCanvas& canvas, const ViewerState& state);

// The numeric value of a text box's text, as the viewer reads it: leading
// blanks skipped, digits with an optional sign; 0 when there are none.
double text_value(const std::string& text);

}  // namespace veldra::viewer
