#include "viewer/core/colour_ramps.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#include "viewer/core/perceptual_ramps.h"

namespace veldra::viewer {

ColourRamps build_ramps(const std::function<double()>& uniform) {
    ColourRamps r;
    auto channel = [&] {
        const double v = std::nearbyint(uniform() * 256);
        return static_cast<int>(v > 255 ? 255 : v);
    };
    for (int i = 0; i < 256; ++i) {
        const int red = channel();
        const int green = channel();
        const int blue = channel();
        r.random[i] = rgb(red, green, blue);
        r.red[i] = rgb(i, 0, 0);
        r.green[i] = rgb(0, i, 0);
        r.blue[i] = rgb(0, 0, i);
        r.blue_to_yellow[i] = rgb(i, i, 255 - i);
    }
    return r;
}

RampChoice choose_ramp(const ColourRamps& ramps, std::string_view name) {
    RampChoice c;
    const int index = ramp_index(name);
    if (index == static_cast<int>(Ramp::random)) c.random = true;
    else if (index > 0) c.stretched = &(ramps.*kRampTable[index].table);
    return c;
}

int ramp_index(std::string_view name) {
    for (const RampInfo& info : kRampTable)
        if (name == info.name) return static_cast<int>(info.ramp);
    return -1;
}

const ColourRamp& ramp_at(const ColourRamps& ramps, int index) {
    if (is_perceptual_ramp(index)) return perceptual_ramp(index);
    if (index < 0 || index >= static_cast<int>(std::size(kRampTable))) return ramps.random;
    return ramps.*kRampTable[index].table;
}

int random_ramp_index(float value) {
    double k = std::nearbyint(static_cast<double>(value));
    if (std::isnan(k)) k = 0;
    if (k > 2147483647.0) k = 2147483647.0;
    if (k < -2147483648.0) k = -2147483648.0;
    // Adding 255 until above 0, or subtracting it until below 255, done in one step.
    auto n = static_cast<long long>(k);
    if (n < 0) {
        n %= 255;
        if (n <= 0) n += 255;
    } else if (n > 255) {
        n %= 255;
    }
    return static_cast<int>(n);
}

void RunningStats::add_values(std::span<const float> values) {
    // Two passes over one month in memory: exact, and the months merge.
    RunningStats month;
    double sum = 0;
    for (const float v : values)
        if (files::in_valid_range(v)) {
            if (month.count == 0) month.min = month.max = v;
            month.min = std::min(month.min, v);
            month.max = std::max(month.max, v);
            ++month.count;
            sum += v;
        }
    if (month.count == 0) return;
    month.mean = sum / static_cast<double>(month.count);
    double squares = 0;
    for (const float v : values)
        if (files::in_valid_range(v)) {
            const double d = v - month.mean;
            squares += d * d;
        }
    month.squares = squares;
    merge(month);
}

void RunningStats::merge(const RunningStats& other) {
    if (other.count == 0) return;
    if (count == 0) {
        *this = other;
        return;
    }
    const double n_a = static_cast<double>(count), n_b = static_cast<double>(other.count);
    const double n = n_a + n_b;
    const double delta = other.mean - mean;
    mean += delta * n_b / n;
    min = std::min(min, other.min);
    max = std::max(max, other.max);
    squares += other.squares + delta * delta * n_a * n_b / n;
    count += other.count;
}

StretchStats RunningStats::stretch() const {
    StretchStats s;
    s.count = count;
    s.mean = count >= 1 ? mean : 0;
    s.stdev = count >= 2 ? std::sqrt(squares / static_cast<double>(count - 1)) : 0;
    s.lo = static_cast<float>(s.mean - 2 * s.stdev);
    s.hi = static_cast<float>(s.mean + 2 * s.stdev);
    s.min = count >= 1 ? min : 0;
    s.max = count >= 1 ? max : 0;
    return s;
}

StretchStats stretch_stats(std::span<const float> values) {
    RunningStats stats;
    stats.add_values(values);
    return stats.stretch();
}

Rgb stretch_colour(float value, const StretchStats& stats, const ColourRamp& ramp) {
    if (stats.hi == stats.lo) return kEmptyStretchColour;
    if (!files::in_valid_range(value)) return kOutOfRangeColour;
    const double k = std::floor((static_cast<double>(value) - stats.lo) /
                                (static_cast<double>(stats.hi) - stats.lo) * 255);
    const int index = k < 0 ? 0 : k > 255 ? 255 : static_cast<int>(k);
    return ramp[static_cast<std::size_t>(index)];
}

}  // namespace veldra::viewer
