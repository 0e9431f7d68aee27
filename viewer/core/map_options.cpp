#include "viewer/core/map_options.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "modelfiles/list_reader.h"
#include "viewer/core/chart_text.h"
#include "viewer/core/perceptual_ramps.h"

namespace veldra::viewer {

std::optional<std::string> scale_problem(double lo, double hi, bool logarithmic) {
    if (!std::isfinite(lo) || !std::isfinite(hi)) return "The low and the high end must both be numbers.";
    if (!(lo < hi)) return "The low end must lie below the high end.";
    if (logarithmic && !(lo > 0)) return "A logarithmic scale needs a low end above 0.";
    return std::nullopt;
}

std::optional<std::pair<double, double>> parse_scale(std::string_view text) {
    const std::size_t comma = text.find(',');
    if (comma == std::string_view::npos) return std::nullopt;
    const auto lo = files::parse_number(text.substr(0, comma));
    const auto hi = files::parse_number(text.substr(comma + 1));
    if (!lo || !hi) return std::nullopt;
    return std::pair{*lo, *hi};
}

std::optional<DifferenceTo> parse_difference(std::string_view text) {
    auto whole = [](std::string_view t) -> std::optional<int> {
        int v = 0;
        const auto r = std::from_chars(t.data(), t.data() + t.size(), v);
        if (t.empty() || r.ec != std::errc() || r.ptr != t.data() + t.size()) return std::nullopt;
        return v;
    };
    // The year may carry a sign; the month follows the first dash after it.
    const std::size_t dash = text.find('-', 1);
    DifferenceTo d;
    const auto year = whole(text.substr(0, dash));
    if (!year) return std::nullopt;
    d.year = *year;
    if (dash != std::string_view::npos) {
        const auto month = whole(text.substr(dash + 1));
        if (!month || *month < 1 || *month > 12) return std::nullopt;
        d.month = *month;
    }
    return d;
}

std::vector<float> difference_values(std::span<const float> shown, std::span<const float> reference) {
    std::vector<float> out(shown.size(), kNoDifference);
    for (std::size_t i = 0; i < shown.size() && i < reference.size(); ++i)
        if (files::in_valid_range(shown[i]) && files::in_valid_range(reference[i])) out[i] = shown[i] - reference[i];
    return out;
}

StretchStats symmetric_about_zero(const StretchStats& stats) {
    StretchStats s = stats;
    const float m = std::max(std::fabs(stats.min), std::fabs(stats.max));
    s.lo = -m;
    s.hi = m;
    return s;
}

std::optional<double> percentile(std::span<const float> values, double p) {
    std::vector<float> valid;
    valid.reserve(values.size());
    for (const float v : values)
        if (files::in_valid_range(v)) valid.push_back(v);
    if (valid.empty()) return std::nullopt;
    const double rank = (static_cast<double>(valid.size()) - 1) * std::clamp(p, 0.0, 100.0) / 100;
    const auto below = static_cast<std::size_t>(std::floor(rank));
    const std::size_t above = std::min(below + 1, valid.size() - 1);
    std::nth_element(valid.begin(), valid.begin() + static_cast<std::ptrdiff_t>(below), valid.end());
    const double lo = valid[below];
    // The next larger value is the smallest of those after it.
    const auto rest = valid.begin() + static_cast<std::ptrdiff_t>(above);
    const double hi = above == below ? lo : *std::min_element(rest, valid.end());
    return lo + (rank - static_cast<double>(below)) * (hi - lo);
}

std::optional<std::pair<double, double>> ends_of(std::span<const float> values, EndsFrom from) {
    const StretchStats s = stretch_stats(values);
    if (s.count == 0) return std::nullopt;
    switch (from) {
        case EndsFrom::stretch: return std::pair<double, double>{s.lo, s.hi};
        case EndsFrom::range: return std::pair<double, double>{s.min, s.max};
        case EndsFrom::percentiles:
            return std::pair<double, double>{*percentile(values, kLowPercentile), *percentile(values, kHighPercentile)};
    }
    return std::nullopt;
}

PaintedValues choose_painting(int list_ramp, const StretchStats& month, const StretchStats* run,
                              const MapOptions& options, int shown_month) {
    PaintedValues p;
    p.ramp = list_ramp;
    p.colours = month;
    if (options.difference) {
        // The run's stretch and the values' scale are of the values, not of
        // their differences: a difference has a scale of its own.
        p.ramp = kBlueWhiteRedRamp;
        p.minus = options.difference->reference(shown_month);
        const ColourScale& own = options.difference_scale;
        if (own.fixed) {
            p.colours.lo = static_cast<float>(own.lo);
            p.colours.hi = static_cast<float>(own.hi);
            p.fixed_scale = true;
        } else {
            p.colours = symmetric_about_zero(month);
        }
        return p;
    }
    if (options.colour_map != 0) p.ramp = options.colour_map;
    if (p.random()) return p;
    if (run && !options.scale.fixed) {
        p.colours = *run;
        p.run_scale = true;
    }
    if (options.scale.fixed) {
        p.colours.lo = static_cast<float>(options.scale.lo);
        p.colours.hi = static_cast<float>(options.scale.hi);
        p.fixed_scale = true;
        p.logarithmic = options.scale.logarithmic && p.colours.lo > 0;
    }
    return p;
}

Rgb painted_colour(float value, const PaintedValues& painted, const ColourRamp& ramp) {
    const StretchStats& s = painted.colours;
    if (!painted.logarithmic) return stretch_colour(value, s, ramp);
    if (s.hi == s.lo) return kEmptyStretchColour;
    if (!files::in_valid_range(value)) return kOutOfRangeColour;
    if (!(value > 0)) return ramp[0];
    const double k = std::floor(scale_share(value, painted) * 255);
    return ramp[static_cast<std::size_t>(k < 0 ? 0 : k > 255 ? 255 : k)];
}

double scale_share(double value, const PaintedValues& painted) {
    const double lo = painted.colours.lo, hi = painted.colours.hi;
    if (painted.logarithmic) return (std::log(value) - std::log(lo)) / (std::log(hi) - std::log(lo));
    return (value - lo) / (hi - lo);
}

std::string painting_note(const PaintedValues& painted) {
    std::string note;
    if (painted.run_scale) note += ", whole run";
    if (painted.fixed_scale) note += ", fixed scale";
    if (painted.logarithmic) note += ", log scale";
    if (painted.minus)
        note += std::string(" minus ") + month_name(painted.minus->second) + " " + std::to_string(painted.minus->first);
    return note;
}

}  // namespace veldra::viewer
