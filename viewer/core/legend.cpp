#include "viewer/core/legend.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "modelfiles/number_text.h"
#include "viewer/core/map_options.h"

namespace veldra::viewer {
namespace {

constexpr int kPad = 4;
constexpr int kBarHeight = 10;
constexpr int kSwatch = 10;
constexpr int kGap = 10;      // between items of a row
constexpr int kTextGap = 4;   // between a swatch or the bar and its text
constexpr int kMinBar = 96;
constexpr int kMaxBar = 256;

}  // namespace

std::string legend_number(double value, double span) {
    if (!std::isfinite(value)) return files::significant_number(value, 3);
    if (!(span > 1e-6) || !std::isfinite(span) || std::fabs(value) >= 1e7) return files::significant_number(value, 3);
    const int decimals = std::clamp(2 - static_cast<int>(std::floor(std::log10(span))), 0, 8);
    return files::fixed_number(value, decimals);
}

Legend make_legend(const PaintedValues& painted, const ColourRamps& ramps, const std::string& units) {
    Legend legend;
    const std::string with_units = units.empty() ? std::string() : " " + units;
    if (painted.random()) {
        legend.kind = Legend::Kind::random;
        legend.caption = "Random colours: one per whole value";
    } else if (painted.colours.hi == painted.colours.lo) {
        legend.kind = Legend::Kind::equal_values;
        const std::string what = painted.colours.count == 0
                                     ? "no values to stretch"
                                     : "all values equal: " + legend_number(painted.colours.mean, 0) + with_units;
        legend.swatches.push_back({kEmptyStretchColour, what});
    } else {
        legend.kind = Legend::Kind::stretched;
        legend.bar = ramp_at(ramps, painted.ramp);
        const double lo = painted.colours.lo, hi = painted.colours.hi;
        const double span = hi - lo;
        // On a logarithmic scale the middle of the bar is the geometric mean.
        const double mid = painted.logarithmic ? std::sqrt(lo * hi) : lo + span / 2;
        legend.ticks = {{static_cast<float>(lo), legend_number(lo, span), 0.0},
                        {static_cast<float>(mid), legend_number(mid, span), 0.5},
                        {static_cast<float>(hi), legend_number(hi, span), 1.0}};
        // The units and how the colours were scaled: "cm, whole run", "fixed scale".
        const std::string note = painting_note(painted);
        legend.caption = units.empty() ? note.substr(note.find_first_not_of(", ") == std::string::npos
                                                         ? note.size()
                                                         : note.find_first_not_of(", "))
                                       : units + note;
    }
    legend.swatches.push_back({kLandColour, "land"});
    legend.swatches.push_back({kWaterColour, "water"});
    if (legend.kind == Legend::Kind::stretched) legend.swatches.push_back({kOutOfRangeColour, "out of range"});
    return legend;
}

LegendLayout layout_legend(const Legend& legend, int max_width, int line_height, const TextWidth& width_of) {
    LegendLayout out;
    const int row_h = std::max(kBarHeight, line_height);
    const int mid_y = kPad + row_h / 2;
    const int limit = max_width - kPad;  // rightmost pixel an item may reach
    int x = kPad;
    int height = kPad + row_h + kPad;

    auto text_at = [&](int left, const std::string& text, int top) {
        out.texts.push_back({{left, top, width_of(text), line_height}, text});
        return left + width_of(text);
    };

    if (legend.kind == Legend::Kind::stretched) {
        const int bar_w = std::clamp(max_width * 2 / 5, std::min(kMinBar, std::max(0, limit - x)), kMaxBar);
        const PixelRect bar{x, mid_y - kBarHeight / 2, bar_w, kBarHeight};
        out.bar = bar;
        const int tick_top = kPad + row_h + 1;
        height = tick_top + line_height + kPad;
        // The middle tick only where it stays clear of the ends.
        const int lo_w = width_of(legend.ticks[0].text), hi_w = width_of(legend.ticks[2].text);
        const int mid_w = width_of(legend.ticks[1].text);
        text_at(bar.x, legend.ticks[0].text, tick_top);
        const int mid_left = bar.x + bar.w / 2 - mid_w / 2;
        if (mid_left > bar.x + lo_w + 4 && mid_left + mid_w + 4 < bar.right() - hi_w)
            text_at(mid_left, legend.ticks[1].text, tick_top);
        if (bar.right() - hi_w > bar.x + lo_w + 4) text_at(bar.right() - hi_w, legend.ticks[2].text, tick_top);
        x = bar.right();
        if (!legend.caption.empty() && x + kTextGap + width_of(legend.caption) <= limit)
            x = text_at(x + kTextGap, legend.caption, mid_y - line_height / 2);
    } else if (legend.kind == Legend::Kind::random) {
        x = text_at(x, legend.caption, mid_y - line_height / 2);
    }

    bool first = legend.kind == Legend::Kind::random ? false : out.texts.empty() && !out.bar;
    for (const LegendSwatch& s : legend.swatches) {
        const int left = first ? x : x + kGap;
        const int end = left + kSwatch + kTextGap + width_of(s.text);
        if (end > limit && !first) break;
        out.swatches.push_back({{left, mid_y - kSwatch / 2, kSwatch, kSwatch}, s.colour});
        x = text_at(left + kSwatch + kTextGap, s.text, mid_y - line_height / 2);
        first = false;
    }
    out.box = {0, 0, std::min(max_width, x + kPad), height};
    return out;
}

}  // namespace veldra::viewer
