// The map's options beyond the colour list: the ends of the stretched ramps
// fixed by hand (on a linear or a logarithmic scale), a perceptual colour
// map in place of the list's ramp, and the difference to another month.
// From them and a month's values follows how the values are coloured.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "viewer/core/colour_ramps.h"
#include "viewer/core/map_picture.h"

namespace veldra::viewer {

struct ColourScale {
    bool fixed = false;  // the ends below, else the stretch of the month (or the run)
    double lo = 0;
    double hi = 1;
    bool logarithmic = false;  // with fixed ends above 0 only
};

// Why ends cannot be used, or nothing: both finite, low below high, and
// above 0 for a logarithmic scale.
std::optional<std::string> scale_problem(double lo, double hi, bool logarithmic);

// "LO,HI" as the command line gives it, e.g. "0,250" or "-1.5e3,2".
std::optional<std::pair<double, double>> parse_scale(std::string_view text);

// The difference view: the month shown minus the same cell in `year` and
// `month`, or with month 0 in the same month of `year` as the one shown.
struct DifferenceTo {
    int year = 0;
    int month = 0;
    // The year and month subtracted from a map of `shown_month`.
    std::pair<int, int> reference(int shown_month) const { return {year, month == 0 ? shown_month : month}; }
    bool operator==(const DifferenceTo&) const = default;
};

// "YEAR-MONTH" (e.g. "1999-07") or "YEAR" for the same month of that year.
std::optional<DifferenceTo> parse_difference(std::string_view text);

// A difference where both values are valid; 1e12 (outside the valid range:
// no data) where either is not.
inline constexpr float kNoDifference = 1e12f;
std::vector<float> difference_values(std::span<const float> shown, std::span<const float> reference);

struct MapOptions {
    ColourScale scale;  // of the values
    int colour_map = 0;  // a perceptual map's ramp index (5 to 8), or 0 for the colour list's ramp
    std::optional<DifferenceTo> difference;
    // The ends of a difference's own scale when fixed (never logarithmic);
    // else -m .. m, m the month's largest absolute difference.
    ColourScale difference_scale;
    bool borders = false;    // coastlines and national borders over the map
    bool graticule = false;  // meridians and parallels every 30 degrees
    // The scale "Colour scale..." sets: the difference's while one is shown.
    ColourScale& active_scale() { return difference ? difference_scale : scale; }
    const ColourScale& active_scale() const { return difference ? difference_scale : scale; }
};

// The ends of a difference's own scale: -m and +m, m the largest absolute
// value of the stretch's values (its min and max), so that 0 falls in the
// middle of the diverging map.
StretchStats symmetric_about_zero(const StretchStats& stats);

// Where "From this month" and "From the whole run" take the ends from: the
// stretch (mean +- 2 sd), the smallest and largest value, or the 2nd and
// 98th percentiles.
enum class EndsFrom { stretch, range, percentiles };
inline constexpr double kLowPercentile = 2;
inline constexpr double kHighPercentile = 98;

// The p-th percentile (0..100) of the valid values, exactly: linear between
// the two sorted values around rank (n - 1) p / 100. Nothing without values.
std::optional<double> percentile(std::span<const float> values, double p);

// The ends of the valid values as `from` says; nothing without values.
std::optional<std::pair<double, double>> ends_of(std::span<const float> values, EndsFrom from);

// How a month's values are coloured with `list_ramp` (the colour list's
// ramp index, 0 for random colours): `month` is the stretch of the values
// on display, `run` the stretch over the run when the same colours are
// wanted for every month, `shown_month` the month on display. A difference
// takes the blue-white-red map centred on zero (or on the fixed ends); a
// perceptual map takes the list's place; fixed ends take the stretch's.
// A difference has its own scale: the fixed difference ends, or symmetric
// about zero from the month's differences; the values' scale, the run's
// stretch and the logarithm do not apply to it.
PaintedValues choose_painting(int list_ramp, const StretchStats& month, const StretchStats* run,
                              const MapOptions& options, int shown_month);

// The colour of a value as painted: the stretched ramp's rule, or on a
// logarithmic scale entry floor((ln v - ln lo) / (ln hi - ln lo) * 255),
// clamped to 0..255 (0 for values of 0 and below).
Rgb painted_colour(float value, const PaintedValues& painted, const ColourRamp& ramp);

// Where a value lies on the painted scale, 0 at the low end and 1 at the
// high end (outside 0..1 beyond them).
double scale_share(double value, const PaintedValues& painted);

// What a legend adds to its units for these colours: ", whole run",
// ", fixed scale", ", log scale", " minus January 1999".
std::string painting_note(const PaintedValues& painted);

}  // namespace veldra::viewer
