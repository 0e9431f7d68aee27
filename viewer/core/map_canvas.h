// The map's picture: a persistent image that painting goes over, with a
// scale set by its corners, filled rectangles in map units, and clear.
#pragma once

#include <cstdint>
#include <vector>

#include "viewer/core/colour_ramps.h"

namespace veldra::viewer {

// A point, in map units or in pixels.
struct Point {
    double x = 0;
    double y = 0;
};

class MapCanvas {
public:
    // A new size empties the picture.
    void resize(int width, int height);
    int width() const { return width_; }
    int height() const { return height_; }

    // Map units: (left, top) is the top-left corner of the picture and
    // (right, bottom) its bottom-right corner; y may grow upward.
    void set_scale(double left, double top, double right, double bottom);
    double scale_left() const { return left_; }
    double scale_top() const { return top_; }
    double scale_right() const { return right_; }
    double scale_bottom() const { return bottom_; }

    // Paints the rectangle between two opposite corners, in map units. Every
    // rectangle covers at least one pixel; what falls outside is clipped.
    void fill_rect(double x0, double y0, double x1, double y1, Rgb colour);

    // Paints the pixels of columns [left, right) and rows [top, bottom),
    // clipped to the picture.
    void fill_pixels(int left, int top, int right, int bottom, Rgb colour);

    // Draws a line one pixel wide between two map points; what falls
    // outside the picture is clipped.
    void draw_line(double x0, double y0, double x1, double y1, Rgb colour);

    // Empties the picture (to the background colour).
    void clear();

    Rgb pixel(int x, int y) const { return pixels_[static_cast<std::size_t>(y) * width_ + x]; }
    const std::uint32_t* data() const { return pixels_.data(); }

    // The pixel position of map point (x, y), and back.
    Point to_pixel(double x, double y) const;
    Point to_map(double px, double py) const;

    static constexpr Rgb kBackground = rgb(240, 240, 240);  // a cleared map

private:
    int width_ = 0;
    int height_ = 0;
    double left_ = 0, top_ = 0, right_ = 1, bottom_ = 1;
    std::vector<std::uint32_t> pixels_;
};

}  // namespace veldra::viewer
