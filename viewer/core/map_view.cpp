#include "viewer/core/map_view.h"

#include <algorithm>
#include <cmath>

namespace veldra::viewer {

MapRect grid_rect(const files::Extents& e) {
    return {-e.half_cols, static_cast<double>(e.half_rows_int), e.half_cols, -e.half_rows};
}

double max_zoom(const MapRect& grid, int width, int height) {
    if (width <= 0 || height <= 0 || grid.width() <= 0 || grid.height() <= 0) return 1;
    const double z = std::min(kMaxPixelsPerCell * grid.width() / width, kMaxPixelsPerCell * grid.height() / height);
    return std::max(1.0, z);
}

MapView bounded_view(const MapView& view, const MapRect& grid, double zoom_limit) {
    MapView v = view;
    if (!std::isfinite(v.zoom) || v.zoom < 1) v.zoom = 1;
    v.zoom = std::min(v.zoom, std::max(1.0, zoom_limit));
    const double half_w = grid.width() / v.zoom / 2, half_h = grid.height() / v.zoom / 2;
    const double mid_x = (grid.left + grid.right) / 2, mid_y = (grid.top + grid.bottom) / 2;
    if (v.zoom == 1 || !std::isfinite(v.centre_x) || !std::isfinite(v.centre_y)) {
        v.centre_x = mid_x;
        v.centre_y = mid_y;
    }
    v.centre_x = std::clamp(v.centre_x, grid.left + half_w, std::max(grid.left + half_w, grid.right - half_w));
    v.centre_y = std::clamp(v.centre_y, grid.bottom + half_h, std::max(grid.bottom + half_h, grid.top - half_h));
    return v;
}

MapRect visible_rect(const MapView& view, const MapRect& grid) {
    if (!view.zoomed()) return grid;
    const MapView v = bounded_view(view, grid, view.zoom);
    const double half_w = grid.width() / v.zoom / 2, half_h = grid.height() / v.zoom / 2;
    return {v.centre_x - half_w, v.centre_y + half_h, v.centre_x + half_w, v.centre_y - half_h};
}

MapView zoom_at(const MapView& view, const MapRect& grid, int width, int height, double px, double py,
                double factor) {
    if (width <= 0 || height <= 0 || !(factor > 0)) return view;
    const MapRect shown = visible_rect(view, grid);
    const double fx = std::clamp(px / width, 0.0, 1.0), fy = std::clamp(py / height, 0.0, 1.0);
    const double mx = shown.left + fx * shown.width(), my = shown.top - fy * shown.height();

    MapView next = view;
    next.zoom = std::clamp(view.zoom * factor, 1.0, max_zoom(grid, width, height));
    const double w = grid.width() / next.zoom, h = grid.height() / next.zoom;
    const double left = mx - fx * w, top = my + fy * h;
    next.centre_x = left + w / 2;
    next.centre_y = top - h / 2;
    return bounded_view(next, grid, next.zoom);
}

MapView pan_by(const MapView& view, const MapRect& grid, double east_share, double north_share) {
    if (!view.zoomed()) return view;
    const MapRect shown = visible_rect(view, grid);
    MapView next = bounded_view(view, grid, view.zoom);
    next.centre_x += east_share * shown.width();
    next.centre_y += north_share * shown.height();
    return bounded_view(next, grid, next.zoom);
}

double wheel_zoom_factor(int angle_delta) { return std::pow(1.25, angle_delta / 120.0); }

CellWindow cell_window(const MapRect& shown, const MapRect& grid) {
    // Edges within a thousandth of a cell of a whole cell count as on it.
    constexpr double slack = 1e-3;
    const double total_cols = std::ceil(grid.width() - slack), total_rows = std::ceil(grid.height() - slack);
    CellWindow w;
    w.first_col = static_cast<int>(std::clamp(std::floor(shown.left - grid.left + slack), 0.0, total_cols));
    w.end_col = static_cast<int>(std::clamp(std::ceil(shown.right - grid.left - slack), 0.0, total_cols));
    w.first_row = static_cast<int>(std::clamp(std::floor(grid.top - shown.top + slack), 0.0, total_rows));
    w.end_row = static_cast<int>(std::clamp(std::ceil(grid.top - shown.bottom - slack), 0.0, total_rows));
    w.end_col = std::max(w.end_col, std::min(w.first_col + 1, static_cast<int>(total_cols)));
    w.end_row = std::max(w.end_row, std::min(w.first_row + 1, static_cast<int>(total_rows)));
    w.rect = {grid.left + w.first_col, grid.top - w.first_row, grid.left + w.end_col, grid.top - w.end_row};
    return w;
}

}  // namespace veldra::viewer
