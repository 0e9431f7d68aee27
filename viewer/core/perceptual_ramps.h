// The perceptual colour maps the map's menu offers beside the colour list's
// five ramps: viridis, cividis, a diverging blue-white-red for differences
// (white at its middle, between entries 127 and 128) and a grey ramp. Each is a
// stretched ramp of 256 entries, interpolated between a few anchors.
#pragma once

#include <array>

#include "viewer/core/colour_ramps.h"

namespace veldra::viewer {

// The maps follow the five ramps of the colour list: ramp indices 5 to 8.
inline constexpr int kFirstPerceptualRamp = 5;
inline constexpr int kPerceptualRampCount = 4;
inline constexpr int kBlueWhiteRedRamp = kFirstPerceptualRamp + 2;
inline constexpr std::array<const char*, kPerceptualRampCount> kPerceptualRampNames = {
    "Viridis", "Cividis", "Blue-white-red", "Grey"};

bool is_perceptual_ramp(int index);
// The map of ramp index `index` (5 to 8); the grey ramp for any other.
const ColourRamp& perceptual_ramp(int index);

}  // namespace veldra::viewer
