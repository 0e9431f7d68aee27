#include "viewer/core/map_drawing.h"

#include <algorithm>
#include <cmath>

#include "viewer/core/cell_query.h"
#include "viewer/core/map_options.h"
#include "modelfiles/number_text.h"
#include "modelfiles/paths.h"

namespace veldra::viewer {
namespace {

// The lower-left corner of a cell's square on the map, in double precision:
// a column or row anywhere in 32 bits stays exact.
double cell_x0(const ViewerState& s, const RangeCell& c) { return -s.extents.half_cols + c.x - 1; }
double cell_y0(const ViewerState& s, const RangeCell& c) {
    return static_cast<double>(s.extents.half_rows_int) - static_cast<double>(c.y);
}

// Paints each cell's unit square in colour(v) for its value v.
template <typename Colour>
void paint_cells(MapCanvas& canvas, const ViewerState& state, std::span<const float> values, bool round_corners,
                 Colour colour) {
    const std::size_t n = std::min(state.CellTable.size(), values.size());
    for (std::size_t i = 0; i < n; ++i) {
        const RangeCell& c = state.CellTable[i];
        double x0 = cell_x0(state, c), y0 = cell_y0(state, c);
        if (round_corners) {
            x0 = round_half_even(x0);
            y0 = round_half_even(y0);
        }
        canvas.fill_rect(x0, y0, x0 + 1, y0 + 1, colour(values[i]));
    }
}

}  // namespace

MapRect shown_rect(const ViewerState& state, int width, int height) {
    const MapRect grid = grid_rect(state.extents);
    if (!state.view.zoomed()) return grid;
    return visible_rect(bounded_view(state.view, grid, max_zoom(grid, width, height)), grid);
}

void set_map_scale(MapCanvas& canvas, const ViewerState& state) {
    const MapRect r = shown_rect(state, canvas.width(), canvas.height());
    canvas.set_scale(r.left, r.top, r.right, r.bottom);
}

void paint_globe(MapCanvas& canvas, const ViewerState& state) {
    const GlobeMask& g = state.GlobeMask;
    // Only the rows and columns within the canvas's scale: the others would
    // be clipped whole. A run cut at their edge still reaches past the
    // picture's edge, so the pixels are the same.
    const double left = std::min(canvas.scale_left(), canvas.scale_right());
    const double right = std::max(canvas.scale_left(), canvas.scale_right());
    const double top = std::max(canvas.scale_top(), canvas.scale_bottom());
    const double bottom = std::min(canvas.scale_top(), canvas.scale_bottom());
    auto index_range = [](double from, double to, std::int32_t count) {
        const double f = std::clamp(std::floor(from), 0.0, static_cast<double>(count));
        const double t = std::clamp(std::ceil(to), 0.0, static_cast<double>(count));
        return std::pair{static_cast<std::int32_t>(f), static_cast<std::int32_t>(t)};
    };
    const auto [c_from, c_to] = index_range(left + state.extents.half_cols, right + state.extents.half_cols, g.cols);
    const auto [r_from, r_to] = index_range(state.extents.half_rows_int - top - 1, state.extents.half_rows_int - bottom,
                                            g.rows);
    // Runs of land or water along a row are painted as one rectangle: the
    // same pixels as one square per position, at a fraction of the cost.
    for (std::int32_t r = r_from; r < r_to; ++r) {
        const double y = state.extents.half_rows_int - 1 - r;
        std::int32_t c = c_from;
        while (c < c_to) {
            const bool land = g.is_land(c, r);
            std::int32_t end = c + 1;
            while (end < c_to && g.is_land(end, r) == land) ++end;
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
    paint_cells(canvas, state, state.display_values, true, [&](float v) { return stretch_colour(v, stats, ramp); });
}

void paint_random(MapCanvas& canvas, const ViewerState& state) {
    paint_values(canvas, state, state.display_values, PaintedValues{});
}

void paint_values(MapCanvas& canvas, const ViewerState& state, std::span<const float> values,
                  const PaintedValues& painted) {
    if (painted.random()) {
        paint_cells(canvas, state, values, false,
                    [&](float v) { return state.ramps.random[static_cast<std::size_t>(random_ramp_index(v))]; });
        return;
    }
    const ColourRamp& ramp = ramp_at(state.ramps, painted.ramp);
    paint_cells(canvas, state, values, true, [&](float v) { return painted_colour(v, painted, ramp); });
}

void mark_cell(MapCanvas& canvas, const ViewerState& state, std::size_t cell, Rgb colour) {
    if (cell >= state.CellTable.size()) return;
    const CellSquare sq = cell_square(state.CellTable[cell], state.extents.half_cols, state.extents.half_rows_int);
    const double x0 = round_half_even(sq.x0), y0 = round_half_even(sq.y0);
    canvas.fill_rect(x0, y0, x0 + 1, y0 + 1, colour);
}

void repaint_picture(MapCanvas& canvas, const ViewerState& state) {
    const MapPicture& p = state.picture;
    canvas.clear();
    set_map_scale(canvas, state);
    if (p.globe) paint_globe(canvas, state);
    if (p.values) paint_values(canvas, state, state.display_values, *p.values);
    if (p.marked_cell) mark_cell(canvas, state, *p.marked_cell, rgb(255, 255, 0));
}

}  // namespace veldra::viewer
