#include "viewer/core/map_drawing.h"

#include <algorithm>
#include <cmath>

#include "viewer/core/cell_query.h"
#include "viewer/core/map_guides.h"
#include "viewer/core/map_options.h"
#include "modelfiles/number_text.h"
#include "modelfiles/paths.h"

namespace veldra::viewer {
namespace {

// The lower-left corner of a cell's square on the map, in double precision:
// a column or row anywhere in 32 bits stays exact.
double cell_x0(const ViewerState& s, const files::RangeCell& c) { return -s.extents.half_cols + c.x - 1; }
double cell_y0(const ViewerState& s, const files::RangeCell& c) {
    return static_cast<double>(s.extents.half_rows_int) - static_cast<double>(c.y);
}

// Paints each cell's unit square in colour(v) for its value v.
template <typename Colour>
void paint_cells(MapCanvas& canvas, const ViewerState& state, std::span<const float> values, bool round_corners,
                 Colour colour) {
    const std::size_t n = std::min(state.CellTable.size(), values.size());
    for (std::size_t i = 0; i < n; ++i) {
        const files::RangeCell& c = state.CellTable[i];
        double x0 = cell_x0(state, c), y0 = cell_y0(state, c);
        if (round_corners) {
            x0 = files::round_half_even(x0);
            y0 = files::round_half_even(y0);
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
    const files::GlobeMask& g = state.GlobeMask;
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
    labels.mean = files::format_two_decimals(stats.mean);
    labels.stdev = files::format_two_decimals(stats.stdev);
    labels.cells = std::to_string(stats.count);
    if (const files::OutputEntry* e = state.selected_entry()) labels.units = files::trim_blanks(e->Units);
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

MarkerOutline marker_outline(const PixelBox& square) {
    MarkerOutline m;
    const int side = std::max(square.right - square.left, square.bottom - square.top);
    m.thickness = side >= 8 ? 2 : 1;
    const int reach = 1 + m.thickness;
    m.outer = {square.left - reach, square.top - reach, square.right + reach, square.bottom + reach};
    // A square of a pixel or two still gets an outline of 5 pixels.
    constexpr int kLeast = 5;
    if (const int short_by = kLeast - (m.outer.right - m.outer.left); short_by > 0) {
        m.outer.left -= short_by / 2;
        m.outer.right += short_by - short_by / 2;
    }
    if (const int short_by = kLeast - (m.outer.bottom - m.outer.top); short_by > 0) {
        m.outer.top -= short_by / 2;
        m.outer.bottom += short_by - short_by / 2;
    }
    return m;
}

Rgb outline_colour(Rgb under) {
    const double r = (under >> 16) & 0xFF, g = (under >> 8) & 0xFF, b = under & 0xFF;
    return 0.299 * r + 0.587 * g + 0.114 * b > 140 ? rgb(0, 0, 0) : rgb(255, 255, 255);
}

Rgb painted_colour(const ViewerState& state, std::size_t cell) {
    const MapPicture& p = state.picture;
    if (p.values && cell < state.display_values.size()) {
        const float v = state.display_values[cell];
        if (p.values->random()) return state.ramps.random[static_cast<std::size_t>(random_ramp_index(v))];
        return stretch_colour(v, p.values->colours, ramp_at(state.ramps, p.values->ramp));
    }
    return p.globe ? state.LandColour : MapCanvas::kBackground;
}

void mark_cell(MapCanvas& canvas, const ViewerState& state, std::size_t cell, Rgb colour) {
    if (cell >= state.CellTable.size()) return;
    const CellSquare sq = cell_square(state.CellTable[cell], state.extents.half_cols, state.extents.half_rows_int);
    const double x0 = files::round_half_even(sq.x0), y0 = files::round_half_even(sq.y0);
    // The square's pixels as fill_rect paints them: rounded edges, at least one.
    const Point a = canvas.to_pixel(x0, y0 + 1), b = canvas.to_pixel(x0 + 1, y0);
    auto edges = [](double p, double q) {
        const double lo = std::nearbyint(std::min(p, q)), hi = std::nearbyint(std::max(p, q));
        return std::pair{lo, std::max(hi, lo + 1)};
    };
    const auto [l, r] = edges(a.x, b.x);
    const auto [t, bt] = edges(a.y, b.y);
    constexpr double kFar = 1e6;  // squares far outside the picture are not outlined
    if (std::isfinite(l) && std::isfinite(t) && std::fabs(l) < kFar && std::fabs(t) < kFar && std::fabs(r) < kFar &&
        std::fabs(bt) < kFar) {
        const MarkerOutline m = marker_outline(
            {static_cast<int>(l), static_cast<int>(t), static_cast<int>(r), static_cast<int>(bt)});
        const Rgb ring = outline_colour(painted_colour(state, cell));
        const PixelBox& o = m.outer;
        const int k = m.thickness;
        canvas.fill_pixels(o.left, o.top, o.right, o.top + k, ring);
        canvas.fill_pixels(o.left, o.bottom - k, o.right, o.bottom, ring);
        canvas.fill_pixels(o.left, o.top + k, o.left + k, o.bottom - k, ring);
        canvas.fill_pixels(o.right - k, o.top + k, o.right, o.bottom - k, ring);
    }
    canvas.fill_rect(x0, y0, x0 + 1, y0 + 1, colour);
}

void repaint_picture(MapCanvas& canvas, const ViewerState& state) {
    const MapPicture& p = state.picture;
    canvas.clear();
    set_map_scale(canvas, state);
    if (p.globe) paint_globe(canvas, state);
    if (p.values) paint_values(canvas, state, state.display_values, *p.values);
    if (p.globe) paint_guides(canvas, state, state.options);
    if (p.marked_cell) mark_cell(canvas, state, *p.marked_cell, rgb(255, 255, 0));
}

}  // namespace veldra::viewer
