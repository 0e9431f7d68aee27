#include "gui/core/map_drawing.h"

#include <algorithm>

#include "gui/core/number_text.h"
#include "modelfiles/paths.h"

namespace veldra::viewer {
namespace {

// The lower-left corner of a cell's square on the map, in double precision:
// a column or row anywhere in 32 bits stays exact.
double cell_x0(const ViewerState& s, const RangeCell& c) { return -s.extents.half_cols + c.x - 1; }
double cell_y0(const ViewerState& s, const RangeCell& c) {
    return static_cast<double>(s.extents.half_rows_int) - static_cast<double>(c.y);
}

// Paints each cell's unit square in colour(i) for cell i.
template <typename Colour>
void paint_cells(MapCanvas& canvas, const ViewerState& state, bool round_corners, Colour colour) {
    const std::size_t n = std::min(state.CellTable.size(), state.display_values.size());
    for (std::size_t i = 0; i < n; ++i) {
        const RangeCell& c = state.CellTable[i];
        double x0 = cell_x0(state, c), y0 = cell_y0(state, c);
        if (round_corners) {
            x0 = round_half_even(x0);
            y0 = round_half_even(y0);
        }
        canvas.fill_rect(x0, y0, x0 + 1, y0 + 1, colour(state.display_values[i]));
    }
}

}  // namespace

void set_map_scale(MapCanvas& canvas, const ViewerState& state) {
    canvas.set_scale(-state.extents.half_cols, state.extents.half_rows_int, state.extents.half_cols,
                     -state.extents.half_rows);
}

void paint_globe(MapCanvas& canvas, const ViewerState& state) {
    const GlobeMask& g = state.GlobeMask;
    // Runs of land or water along a row are painted as one rectangle: the
    // same pixels as one square per position, at a fraction of the cost.
    for (std::int32_t r = 0; r < g.rows; ++r) {
        const double y = state.extents.half_rows_int - 1 - r;
        std::int32_t c = 0;
        while (c < g.cols) {
            const bool land = g.is_land(c, r);
            std::int32_t end = c + 1;
            while (end < g.cols && g.is_land(end, r) == land) ++end;
            canvas.fill_rect(-state.extents.half_cols + c, y, -state.extents.half_cols + end, y + 1,
                             land ? state.LandColour : state.WaterColour);
            c = end;
        }
    }
}

StatsLabels stats_labels(const StretchStats& stats, const ViewerState& state) {
    StatsLabels labels;
    labels.mean = format_two_decimals(stats.mean);
    labels.stdev = format_two_decimals(stats.stdev);
    labels.cells = std::to_string(stats.count);
    if (const OutputEntry* e = state.selected_entry()) labels.units = trim_blanks(e->Units);
    return labels;
}

void paint_stretched(MapCanvas& canvas, const ViewerState& state, const StretchStats& stats, const ColourRamp& ramp) {
    // Each cell is painted as its whole square, one grid cell.
    paint_cells(canvas, state, true, [&](float v) { return stretch_colour(v, stats, ramp); });
}

void paint_random(MapCanvas& canvas, const ViewerState& state) {
    paint_cells(canvas, state, false,
                [&](float v) { return state.ramps.random[static_cast<std::size_t>(random_ramp_index(v))]; });
}

}  // namespace veldra::viewer
