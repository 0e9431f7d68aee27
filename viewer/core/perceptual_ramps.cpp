#include "viewer/core/perceptual_ramps.h"

#include <cmath>
#include <span>

namespace veldra::viewer {
namespace {

// Anchors spaced evenly from entry 0 to entry 255.
constexpr Rgb kViridis[] = {0x440154, 0x472c7a, 0x3b518b, 0x2c718e, 0x21908d, 0x27ad81, 0x5cc863, 0xaadc32, 0xfde725};
constexpr Rgb kCividis[] = {0x00224e, 0x123570, 0x3b496c, 0x575d6d, 0x707173, 0x8a8779, 0xa69d75, 0xc4b56c,
                            0xe4cf5b, 0xfee838};
constexpr Rgb kBlueWhiteRed[] = {0x2166ac, 0x67a9cf, 0xd1e5f0, 0xffffff, 0xfddbc7, 0xef8a62, 0xb2182b};
constexpr Rgb kGrey[] = {0x000000, 0xffffff};

ColourRamp interpolated(std::span<const Rgb> anchors) {
    ColourRamp ramp{};
    const double last = static_cast<double>(anchors.size() - 1);
    for (int i = 0; i < 256; ++i) {
        const double at = i / 255.0 * last;
        const auto k = std::min(static_cast<std::size_t>(at), anchors.size() - 2);
        const double f = at - static_cast<double>(k);
        auto channel = [&](int shift) {
            const double a = (anchors[k] >> shift) & 0xFF, b = (anchors[k + 1] >> shift) & 0xFF;
            return static_cast<int>(std::lround(a + (b - a) * f));
        };
        ramp[static_cast<std::size_t>(i)] = rgb(channel(16), channel(8), channel(0));
    }
    return ramp;
}

}  // namespace

bool is_perceptual_ramp(int index) {
    return index >= kFirstPerceptualRamp && index < kFirstPerceptualRamp + kPerceptualRampCount;
}

const ColourRamp& perceptual_ramp(int index) {
    static const std::array<ColourRamp, kPerceptualRampCount> maps = {
        interpolated(kViridis), interpolated(kCividis), interpolated(kBlueWhiteRed), interpolated(kGrey)};
    return maps[static_cast<std::size_t>(is_perceptual_ramp(index) ? index - kFirstPerceptualRamp : 3)];
}

}  // namespace veldra::viewer
