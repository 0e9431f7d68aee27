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
    ColourScale scale;
    int colour_map = 0;  // a perceptual map's ramp index (5 to 8), or 0 for the colour list's ramp
    std::optional<DifferenceTo> difference;
};

// The ends of a stretch moved to -m and +m, m the larger distance of its
// ends from 0, so that 0 falls in the middle of a diverging map.
StretchStats centred_on_zero(const StretchStats& stats);

// How a month's values are coloured with `list_ramp` (the colour list's
// ramp index, 0 for random colours): `month` is the stretch of the values
// on display, `run` the stretch over the run when the same colours are
// wanted for every month, `shown_month` the month on display. A difference
// takes the blue-white-red map centred on zero (or on the fixed ends); a
// perceptual map takes the list's place; fixed ends take the stretch's.
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
