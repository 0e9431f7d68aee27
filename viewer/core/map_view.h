// Zoom and pan of the map: which part of the grid the picture shows. Plain
// arithmetic in map units (one unit per grid cell, y growing northward) and
// picture pixels; the window applies it through the canvas scale.
#pragma once

#include "modelfiles/viewer_model.h"

namespace veldra::viewer {

// A rectangle in map units; `top` is its northern edge, above `bottom`.
struct MapRect {
    double left = 0;
    double top = 0;
    double right = 0;
    double bottom = 0;
    double width() const { return right - left; }
    double height() const { return top - bottom; }
    bool operator==(const MapRect&) const = default;
};

// The whole grid: from (-HalfCols, HalfRows as a whole number) at the top
// left to (HalfCols, -HalfRows) at the bottom right.
MapRect grid_rect(const files::Extents& extents);

// The view: a zoom of 1 shows the whole grid; a zoom of z shows 1/z of its
// width and height around the centre.
struct MapView {
    double zoom = 1;
    double centre_x = 0;
    double centre_y = 0;
    bool zoomed() const { return zoom > 1; }
    bool operator==(const MapView&) const = default;
};

// Closest zoom: a cell takes at most this many pixels either way.
inline constexpr double kMaxPixelsPerCell = 16;

// The largest zoom for a picture of `width` x `height` pixels; never below 1
// (a small grid may already show its cells larger than that).
double max_zoom(const MapRect& grid, int width, int height);

// The view brought within its bounds: the zoom between 1 and `zoom_limit`,
// the centre such that the shown part lies inside the grid (at zoom 1, the
// grid's centre).
MapView bounded_view(const MapView& view, const MapRect& grid, double zoom_limit);

// The part of the grid the view shows.
MapRect visible_rect(const MapView& view, const MapRect& grid);

// Zooms by `factor` (above 1 closer, below 1 farther) so that the map point
// under pixel (px, py) of a `width` x `height` picture stays under it.
MapView zoom_at(const MapView& view, const MapRect& grid, int width, int height, double px, double py,
                double factor);

// Moves the shown part by a share of its width (positive: east) and height
// (positive: north). Nothing moves at zoom 1.
MapView pan_by(const MapView& view, const MapRect& grid, double east_share, double north_share);

// The zoom factor of a wheel turn, in eighths of a degree (120 a notch):
// each notch away from the user zooms in by 1.25.
double wheel_zoom_factor(int angle_delta);

// The whole cells that cover a part of the grid: columns [first_col,
// end_col) counted from 0 at the west edge and rows [first_row, end_row)
// from 0 at the north edge, and their rectangle in map units.
struct CellWindow {
    int first_col = 0;
    int end_col = 0;
    int first_row = 0;
    int end_row = 0;
    int cols() const { return end_col - first_col; }
    int rows() const { return end_row - first_row; }
    MapRect rect;
};
CellWindow cell_window(const MapRect& shown, const MapRect& grid);

}  // namespace veldra::viewer
