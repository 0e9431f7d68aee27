#include "gui/core/map_canvas.h"

#include <algorithm>
#include <cmath>

namespace veldra::viewer {

void MapCanvas::resize(int width, int height) {
    width_ = std::max(0, width);
    height_ = std::max(0, height);
    pixels_.assign(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_), kBackground);
}

void MapCanvas::set_scale(double left, double top, double right, double bottom) {
    left_ = left;
    top_ = top;
    right_ = right;
    bottom_ = bottom;
}

void MapCanvas::clear() { std::fill(pixels_.begin(), pixels_.end(), kBackground); }

void MapCanvas::to_pixel(double x, double y, double& px, double& py) const {
    px = (x - left_) / (right_ - left_) * width_;
    py = (y - top_) / (bottom_ - top_) * height_;
}

void MapCanvas::to_map(double px, double py, double& x, double& y) const {
    x = width_ > 0 ? left_ + px / width_ * (right_ - left_) : left_;
    y = height_ > 0 ? top_ + py / height_ * (bottom_ - top_) : top_;
}

void MapCanvas::fill_rect(double x0, double y0, double x1, double y1, Rgb colour) {
    if (width_ == 0 || height_ == 0 || right_ == left_ || bottom_ == top_) return;
    double px0, py0, px1, py1;
    to_pixel(x0, y0, px0, py0);
    to_pixel(x1, y1, px1, py1);
    if (!(std::isfinite(px0) && std::isfinite(px1) && std::isfinite(py0) && std::isfinite(py1))) return;
    // Pixel edges are the rounded map edges, so neighbouring rectangles tile
    // without gaps; a rectangle smaller than a pixel still paints one.
    auto span = [](double a, double b, int limit, int& from, int& to) {
        const double lo = std::min(a, b), hi = std::max(a, b);
        if (hi < -1 || lo > limit + 1.0) {
            from = to = 0;
            return;
        }
        double f = std::nearbyint(lo), t = std::nearbyint(hi);
        if (t <= f) t = f + 1;
        from = static_cast<int>(std::clamp(f, 0.0, static_cast<double>(limit)));
        to = static_cast<int>(std::clamp(t, 0.0, static_cast<double>(limit)));
    };
    int c0, c1, r0, r1;
    span(px0, px1, width_, c0, c1);
    span(py0, py1, height_, r0, r1);
    for (int r = r0; r < r1; ++r) {
        std::uint32_t* row = pixels_.data() + static_cast<std::size_t>(r) * static_cast<std::size_t>(width_);
        std::fill(row + c0, row + c1, colour);
    }
}

}  // namespace veldra::viewer
