// Painting the map: the land mask, and the values on display coloured
// through a ramp, with the statistics labels of the stretched ramps. Reading
// the values is display_block's; what is painted here is always what the
// shared state holds.
#pragma once

#include <span>
#include <string>

#include "viewer/core/colour_ramps.h"
#include "viewer/core/map_canvas.h"
#include "viewer/core/viewer_state.h"

namespace veldra::viewer {

// Sets the canvas scale to the grid: top-left (-half_cols, +half_rows_int),
// bottom-right (+half_cols, -half_rows); while zoomed, to the part of the
// grid the view shows (at most kMaxPixelsPerCell pixels per cell).
void set_map_scale(MapCanvas& canvas, const ViewerState& state);

// The part of the grid a picture of `width` x `height` pixels shows.
MapRect shown_rect(const ViewerState& state, int width, int height);

// Paints every grid position in the land or water colour (those outside the
// canvas's scale are skipped: they would be clipped).
void paint_globe(MapCanvas& canvas, const ViewerState& state);

// The four statistics labels of a stretched drawing.
struct StatsLabels {
    std::string mean;
    std::string stdev;
    std::string cells;
    std::string units;
};

// The label texts for the statistics of the values on display and the
// selected entry's units.
StatsLabels stats_labels(const StretchStats& stats, const ViewerState& state);

// Paints every cell's square in the colour of its value on display on a
// stretched ramp (corners rounded to whole map units).
void paint_stretched(MapCanvas& canvas, const ViewerState& state, const StretchStats& stats, const ColourRamp& ramp);

// Paints every cell's square in the random ramp's entry for its value on display.
void paint_random(MapCanvas& canvas, const ViewerState& state);

// Paints `values` (in CellTable order) as `painted` says: through the random
// ramp, or through a stretched ramp with its stretch.
void paint_values(MapCanvas& canvas, const ViewerState& state, std::span<const float> values,
                  const PaintedValues& painted);

// Marks a cell as the cell query does: a filled unit square at its
// lower-left corner, rounded to whole map units.
void mark_cell(MapCanvas& canvas, const ViewerState& state, std::size_t cell, Rgb colour);

// Paints the picture the shared state records again, at the canvas's size
// and the current view: cleared, then the mask, the values on display and
// the marker, as far as they were shown.
void repaint_picture(MapCanvas& canvas, const ViewerState& state);

}  // namespace veldra::viewer
