#include "viewer/core/map_canvas.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

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

Point MapCanvas::to_pixel(double x, double y) const {
    return {(x - left_) / (right_ - left_) * width_, (y - top_) / (bottom_ - top_) * height_};
}

Point MapCanvas::to_map(double px, double py) const {
    return {width_ > 0 ? left_ + px / width_ * (right_ - left_) : left_,
            height_ > 0 ? top_ + py / height_ * (bottom_ - top_) : top_};
}

void MapCanvas::fill_pixels(int left, int top, int right, int bottom, Rgb colour) {
    const int c0 = std::clamp(left, 0, width_), c1 = std::clamp(right, 0, width_);
    const int r0 = std::clamp(top, 0, height_), r1 = std::clamp(bottom, 0, height_);
    for (int r = r0; r < r1 && c0 < c1; ++r) {
        std::uint32_t* row = pixels_.data() + static_cast<std::size_t>(r) * static_cast<std::size_t>(width_);
        std::fill(row + c0, row + c1, colour);
    }
}

void MapCanvas::fill_rect(double x0, double y0, double x1, double y1, Rgb colour) {
    if (width_ == 0 || height_ == 0 || right_ == left_ || bottom_ == top_) return;
    const Point p0 = to_pixel(x0, y0), p1 = to_pixel(x1, y1);
    if (!(std::isfinite(p0.x) && std::isfinite(p1.x) && std::isfinite(p0.y) && std::isfinite(p1.y))) return;
    // Pixel edges are the rounded map edges, so neighbouring rectangles tile
    // without gaps; a rectangle smaller than a pixel still paints one. The
    // pixel range [from, to) is clipped to 0 .. limit.
    struct Span {
        int from = 0;
        int to = 0;
    };
    auto span = [](double a, double b, int limit) {
        const double lo = std::min(a, b), hi = std::max(a, b);
        if (hi < -1 || lo > limit + 1.0) return Span{};
        double f = std::nearbyint(lo), t = std::nearbyint(hi);
        if (t <= f) t = f + 1;
        return Span{static_cast<int>(std::clamp(f, 0.0, static_cast<double>(limit))),
                    static_cast<int>(std::clamp(t, 0.0, static_cast<double>(limit)))};
    };
    const auto [c0, c1] = span(p0.x, p1.x, width_);
    const auto [r0, r1] = span(p0.y, p1.y, height_);
    for (int r = r0; r < r1; ++r) {
        std::uint32_t* row = pixels_.data() + static_cast<std::size_t>(r) * static_cast<std::size_t>(width_);
        std::fill(row + c0, row + c1, colour);
    }
}

void MapCanvas::draw_line(double x0, double y0, double x1, double y1, Rgb colour) {
    if (width_ == 0 || height_ == 0 || right_ == left_ || bottom_ == top_) return;
    Point a = to_pixel(x0, y0), b = to_pixel(x1, y1);
    if (!(std::isfinite(a.x) && std::isfinite(a.y) && std::isfinite(b.x) && std::isfinite(b.y))) return;
    // The part of the line within the picture (and a pixel around it), so
    // that a line far beyond a zoomed picture costs nothing.
    double t0 = 0, t1 = 1;
    const double dx = b.x - a.x, dy = b.y - a.y;
    auto clip = [&](double p, double q) {
        if (p == 0) return q >= 0;
        const double r = q / p;
        if (p < 0) {
            if (r > t1) return false;
            t0 = std::max(t0, r);
        } else {
            if (r < t0) return false;
            t1 = std::min(t1, r);
        }
        return true;
    };
    if (!(clip(-dx, a.x + 1) && clip(dx, width_ + 1 - a.x) && clip(-dy, a.y + 1) && clip(dy, height_ + 1 - a.y)))
        return;
    b = {a.x + t1 * dx, a.y + t1 * dy};
    a = {a.x + t0 * dx, a.y + t0 * dy};
    // The pixels of the two ends, joined without gaps (Bresenham).
    int x = static_cast<int>(std::floor(a.x)), y = static_cast<int>(std::floor(a.y));
    const int x_end = static_cast<int>(std::floor(b.x)), y_end = static_cast<int>(std::floor(b.y));
    const int step_x = x < x_end ? 1 : -1, step_y = y < y_end ? 1 : -1;
    const int run_x = std::abs(x_end - x), run_y = -std::abs(y_end - y);
    int error = run_x + run_y;
    for (;;) {
        if (x >= 0 && x < width_ && y >= 0 && y < height_) {
            const std::size_t row = static_cast<std::size_t>(y) * static_cast<std::size_t>(width_);
            pixels_[row + static_cast<std::size_t>(x)] = colour;
        }
        if (x == x_end && y == y_end) break;
        const int twice = 2 * error;
        if (twice >= run_y) {
            error += run_y;
            x += step_x;
        }
        if (twice <= run_x) {
            error += run_x;
            y += step_y;
        }
    }
}

}  // namespace veldra::viewer
