// Colour ramps and the statistics of the stretched ramps. Colours are
// 0xFFRRGGBB.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string_view>

#include "modelfiles/valid_values.h"

namespace veldra::viewer {

using Rgb = std::uint32_t;
using ColourRamp = std::array<Rgb, 256>;

constexpr Rgb rgb(int r, int g, int b) {
    return 0xFF000000u | (static_cast<Rgb>(r) << 16) | (static_cast<Rgb>(g) << 8) | static_cast<Rgb>(b);
}

inline constexpr Rgb kLandColour = rgb(100, 60, 40);
inline constexpr Rgb kWaterColour = rgb(30, 30, 60);
inline constexpr Rgb kOutOfRangeColour = rgb(255, 255, 255);  // white
inline constexpr Rgb kEmptyStretchColour = rgb(255, 0, 255);  // magenta

// The five ramps, in the order of the colour list.
struct ColourRamps {
    ColourRamp random{};
    ColourRamp red{};
    ColourRamp green{};
    ColourRamp blue{};
    ColourRamp blue_to_yellow{};
};

// The ramps, numbered in the order of the colour list.
enum class Ramp { random = 0, red = 1, green = 2, blue = 3, blue_to_yellow = 4 };

struct RampInfo {
    Ramp ramp;
    const char* name;                // as the colour list shows it
    ColourRamp ColourRamps::*table;  // its 256 colours
};

// The one table of the ramps, in the order of Ramp and of the colour list.
inline constexpr RampInfo kRampTable[] = {
    {Ramp::random, "Random colors", &ColourRamps::random},
    {Ramp::red, "Red stretched", &ColourRamps::red},
    {Ramp::green, "Green stretched", &ColourRamps::green},
    {Ramp::blue, "Blue stretched", &ColourRamps::blue},
    {Ramp::blue_to_yellow, "Blue to Yellow", &ColourRamps::blue_to_yellow},
};

// The names of kRampTable, for the colour list.
inline constexpr std::array<const char*, std::size(kRampTable)> kRampNames = [] {
    std::array<const char*, std::size(kRampTable)> names{};
    for (std::size_t i = 0; i < names.size(); ++i) names[i] = kRampTable[i].name;
    return names;
}();

// The ramp named in the colour list: the random ramp, one of the four
// stretched ramps, or none (any other name paints nothing).
struct RampChoice {
    bool random = false;
    const ColourRamp* stretched = nullptr;
};
RampChoice choose_ramp(const ColourRamps& ramps, std::string_view name);

// The place of a name in kRampNames, or -1; and the ramp at a place (0 is
// the random ramp; 5 to 8 are the perceptual maps of perceptual_ramps.h).
int ramp_index(std::string_view name);
const ColourRamp& ramp_at(const ColourRamps& ramps, int index);

// Builds the five ramps in one pass over 0..255; for each entry the random
// colour takes three draws of `uniform` (red, green, blue), each in [0, 1).
ColourRamps build_ramps(const std::function<double()>& uniform);

// The entry of the random ramp for a value: rounded to a whole number (halves
// to even; beyond the 32-bit range clamped first), then folded into 0..255 by
// adding or subtracting 255: -1 gives 254, -255 gives 255, 256 gives 1, 510 gives 0.
int random_ramp_index(float value);

// Values count in the statistics by in_valid_range of modelfiles/valid_values.h.

struct StretchStats {
    std::int64_t count = 0;
    double mean = 0;
    double stdev = 0;  // sample standard deviation
    float lo = 0;      // mean - 2 sd
    float hi = 0;      // mean + 2 sd
    float min = 0;     // the smallest and largest valid value (0 without any)
    float max = 0;
};

// Count, mean and the sum of squared deviations of a set of values; sets
// merge exactly (Chan et al.), so each month is summed on its own.
struct RunningStats {
    std::int64_t count = 0;
    double mean = 0;
    double squares = 0;  // sum of (v - mean)^2
    float min = 0;       // of the valid values, once count > 0
    float max = 0;

    void add_values(std::span<const float> values);  // the valid ones
    void merge(const RunningStats& other);
    // mean +- 2 sample standard deviations, as the stretched ramps use them.
    StretchStats stretch() const;
};

// The statistics of one set of values: RunningStats over them alone.
StretchStats stretch_stats(std::span<const float> values);

// The colour of a value on a stretched ramp: magenta for every value when the
// range is empty, white outside the valid range, else the ramp's entry
// floor((v - lo) / (hi - lo) * 255), clamped to 0..255.
Rgb stretch_colour(float value, const StretchStats& stats, const ColourRamp& ramp);

}  // namespace veldra::viewer
