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
// lower-left corner, rounded to whole map units; around it, so that it is
// seen at any zoom and on any colour, the outline of marker_outline in the
// colour of outline_colour for the colour the picture shows at the cell.
void mark_cell(MapCanvas& canvas, const ViewerState& state, std::size_t cell, Rgb colour);

// Pixels of columns [left, right) and rows [top, bottom).
struct PixelBox {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    bool operator==(const PixelBox&) const = default;
};

// The outline around a marked square of pixels `square`: a frame one pixel
// clear of it, one pixel thick (two from 8 pixels a side on), and at least
// 5 pixels across.
struct MarkerOutline {
    PixelBox outer;
    int thickness = 1;
    bool operator==(const MarkerOutline&) const = default;
};
MarkerOutline marker_outline(const PixelBox& square);

// Black over a light colour, white over a dark one.
Rgb outline_colour(Rgb under);

// The colour the picture shows at a cell: its value's through the ramp on
// display, else land, else the cleared background.
Rgb painted_colour(const ViewerState& state, std::size_t cell);

// Paints the picture the shared state records again, at the canvas's size
// and the current view: cleared, then the mask, the values on display and
// the marker, as far as they were shown, with the guides (borders,
// graticule) the options ask for over the mask and the values.
void repaint_picture(MapCanvas& canvas, const ViewerState& state);

}  // namespace veldra::viewer
