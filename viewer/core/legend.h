// The map's colour legend: what it says for the colours on display, and
// where its parts go in pixels. Painting it is the window's; measuring text
// is handed in, so the layout needs no font.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "viewer/core/colour_ramps.h"
#include "viewer/core/map_picture.h"

namespace veldra::viewer {

struct LegendTick {
    float value = 0;
    std::string text;
    double at = 0;  // share of the bar's length, 0 at its low end
};

struct LegendSwatch {
    Rgb colour = 0;
    std::string text;
};

struct Legend {
    enum class Kind { stretched, equal_values, random };
    Kind kind = Kind::stretched;
    ColourRamp bar{};                 // stretched: the ramp, entry 0 at the low end
    std::vector<LegendTick> ticks;    // stretched: the low end, the middle and the high end
    std::string caption;              // units, or what the colours mean
    std::vector<LegendSwatch> swatches;
};

// The legend of values painted as `painted`, in `units` (trimmed).
Legend make_legend(const PaintedValues& painted, const ColourRamps& ramps, const std::string& units);

// A tick's text: decimals enough to tell the three ticks apart over `span`
// (two significant digits of the span), "." as the decimal point; exponent
// form beyond 1e7 or for a span below 1e-6.
std::string legend_number(double value, double span);

// Pixel places, relative to the legend box's top-left corner.
struct PixelRect {
    int x = 0;
    int y = 0;
    int w = 0;
    int h = 0;
    int right() const { return x + w; }
    int bottom() const { return y + h; }
    bool operator==(const PixelRect&) const = default;
};

struct LegendText {
    PixelRect box;  // one line high; the text starts at its left
    std::string text;
};

struct LegendLayout {
    PixelRect box;                                  // the whole legend
    std::optional<PixelRect> bar;                   // the colour bar (stretched)
    std::vector<std::pair<PixelRect, Rgb>> swatches;
    std::vector<LegendText> texts;
};

using TextWidth = std::function<int(const std::string&)>;

// Lays the legend out in at most `max_width` pixels for text `line_height`
// pixels high: the bar (or the swatch of equal values, or the note on random
// colours) and its caption in a first row, the ticks under the bar, then the
// swatches of land, water and values out of range while they fit.
LegendLayout layout_legend(const Legend& legend, int max_width, int line_height, const TextWidth& width_of);

}  // namespace veldra::viewer
