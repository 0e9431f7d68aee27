// The map's options beyond the colour list (fixed and logarithmic scales,
// perceptual maps, the difference view) and the video's names and ffmpeg
// command, without a display.
#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "viewer/core/caption_fit.h"
#include "viewer/core/map_options.h"
#include "viewer/core/perceptual_ramps.h"
#include "viewer/core/video.h"

namespace veldra::viewer {
namespace {

// A ramp whose entry k is coloured (k, 0, 0): the colour tells the entry.
ColourRamp entry_ramp() {
    ColourRamp r{};
    for (int k = 0; k < 256; ++k) r[static_cast<std::size_t>(k)] = rgb(k, 0, 0);
    return r;
}

TEST(ColourScale, EndsFromTheCommandLineAndTheirChecks) {
    struct Case {
        const char* text;
        bool logarithmic;
        std::optional<std::pair<double, double>> ends;
        const char* problem;  // nullptr: usable
    };
    const Case cases[] = {
        {"0,250", false, std::pair{0.0, 250.0}, nullptr},
        {"-1.5e3,2", false, std::pair{-1500.0, 2.0}, nullptr},
        {"0,250", true, std::pair{0.0, 250.0}, "A logarithmic scale needs a low end above 0."},
        {"5,5", false, std::pair{5.0, 5.0}, "The low end must lie below the high end."},
        {"nan,1", false, std::nullopt, nullptr},
        {"1;2", false, std::nullopt, nullptr},
    };
    for (const Case& c : cases) {
        const auto ends = parse_scale(c.text);
        EXPECT_EQ(ends, c.ends) << c.text;
        if (!ends) continue;
        const auto problem = scale_problem(ends->first, ends->second, c.logarithmic);
        EXPECT_EQ(problem.value_or("usable"), c.problem ? c.problem : "usable") << c.text;
    }
    EXPECT_EQ(scale_problem(1, INFINITY, false).value_or(""), "The low and the high end must both be numbers.");
}

TEST(ColourScale, ChoiceOfColoursByOption) {
    const StretchStats month{10, 5, 2, 1, 9};
    const StretchStats run{120, 4, 3, -2, 10};
    struct Case {
        const char* what;
        MapOptions options;
        const StretchStats* run;
        int ramp;
        float lo, hi;
        const char* note;
        const StretchStats* month = nullptr;  // the month's stretch, when not `month`
    };
    // A stretch reaching further below zero than above it.
    const StretchStats falling{10, -4, 3, -12, 3};
    MapOptions fixed_log;
    fixed_log.scale = {true, 2, 200, true};
    MapOptions viridis;
    viridis.colour_map = kFirstPerceptualRamp;
    MapOptions difference;
    difference.difference = DifferenceTo{1999, 0};
    MapOptions fixed_difference = fixed_log;
    fixed_difference.difference = DifferenceTo{2001, 7};
    const Case cases[] = {
        {"the month's stretch", {}, nullptr, 4, 1, 9, ""},
        {"the run's stretch", {}, &run, 4, -2, 10, ", whole run"},
        {"fixed ends win over the run", fixed_log, &run, 4, 2, 200, ", fixed scale, log scale"},
        {"a perceptual map in the list's place", viridis, &run, kFirstPerceptualRamp, -2, 10, ", whole run"},
        {"a difference centred on zero", difference, &run, kBlueWhiteRedRamp, -9, 9, " minus March 1999"},
        {"a difference centred on zero from the end further from it", difference, &run, kBlueWhiteRedRamp, -12, 12,
         " minus March 1999", &falling},
        {"a difference on fixed ends, never logarithmic", fixed_difference, &run, kBlueWhiteRedRamp, 2, 200,
         ", fixed scale minus July 2001"},
    };
    for (const Case& c : cases) {
        const PaintedValues p = choose_painting(4, c.month ? *c.month : month, c.run, c.options, 3);
        EXPECT_EQ(p.ramp, c.ramp) << c.what;
        EXPECT_EQ(p.colours.lo, c.lo) << c.what;
        EXPECT_EQ(p.colours.hi, c.hi) << c.what;
        EXPECT_EQ(painting_note(p), c.note) << c.what;
    }
    // Random colours stay random whatever the scale.
    EXPECT_TRUE(choose_painting(0, month, &run, {}, 3).random());
}

TEST(ColourScale, LogarithmicEntriesAndTheEnds) {
    const ColourRamp ramp = entry_ramp();
    PaintedValues log_scale(4, StretchStats{1, 0, 0, 1, 1000});
    log_scale.logarithmic = true;
    struct Case {
        float value;
        Rgb colour;
    };
    // Entry floor(log10(v) / 3 * 255): a decade is 85 entries.
    const Case cases[] = {
        {10, rgb(85, 0, 0)}, {999, rgb(254, 0, 0)}, {5000, rgb(255, 0, 0)},
        {0.5f, rgb(0, 0, 0)}, {-4, rgb(0, 0, 0)}, {2e12f, kOutOfRangeColour},
    };
    for (const Case& c : cases) EXPECT_EQ(painted_colour(c.value, log_scale, ramp), c.colour) << c.value;
    EXPECT_DOUBLE_EQ(scale_share(10, log_scale), 1.0 / 3);

    // The linear rule on the same ends: 10 is at entry 2.
    PaintedValues linear = log_scale;
    linear.logarithmic = false;
    EXPECT_EQ(painted_colour(10, linear, ramp), rgb(2, 0, 0));
}

TEST(DifferenceView, ParsedMonthsAndValues) {
    struct Case {
        const char* text;
        std::optional<DifferenceTo> to;
    };
    const Case cases[] = {
        {"1999-07", DifferenceTo{1999, 7}}, {"1999", DifferenceTo{1999, 0}}, {"-5-12", DifferenceTo{-5, 12}},
        {"1999-13", std::nullopt},          {"1999-", std::nullopt},         {"July", std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(parse_difference(c.text), c.to) << c.text;

    // A difference only where both months hold a valid value.
    const std::vector<float> shown = {5, 2e12f, 1, -3, 0.25f};
    const std::vector<float> reference = {3, 1, -2e13f, -3};
    EXPECT_EQ(difference_values(shown, reference),
              (std::vector<float>{2, kNoDifference, kNoDifference, 0, kNoDifference}));
}

TEST(PerceptualRamps, EndsAndTheWhiteMiddle) {
    EXPECT_FALSE(is_perceptual_ramp(4));
    EXPECT_TRUE(is_perceptual_ramp(kFirstPerceptualRamp + kPerceptualRampCount - 1));
    // A difference of 0 on a scale centred on zero takes entry 127: all but white.
    const ColourRamp& bwr = perceptual_ramp(kBlueWhiteRedRamp);
    for (const int shift : {0, 8, 16}) EXPECT_GE((bwr[127] >> shift) & 0xFF, 250u) << shift;
    EXPECT_EQ(bwr[0], rgb(0x21, 0x66, 0xac));
    EXPECT_EQ(bwr[255], rgb(0xb2, 0x18, 0x2b));
    const ColourRamp& grey = perceptual_ramp(kFirstPerceptualRamp + 3);
    EXPECT_EQ(grey[0], rgb(0, 0, 0));
    EXPECT_EQ(grey[255], rgb(255, 255, 255));
}

TEST(Video, KindNameAndTheFfmpegCommand) {
    EXPECT_EQ(video_kind("a/b.MP4"), VideoKind::mp4);
    EXPECT_EQ(video_kind("b.gif"), VideoKind::gif);
    EXPECT_EQ(video_kind("b.mp4.png"), std::nullopt);
    EXPECT_EQ(video_file_name("Precip_L2", FrameSpan{1999, 11, 2000, 2}, VideoKind::mp4),
              "Precip_L2_1999_11-2000_02.mp4");
    EXPECT_EQ(even_side(467), 468);
    EXPECT_EQ(even_side(468), 468);

    auto joined = [](const std::vector<std::string>& args) {
        std::string s;
        for (const std::string& a : args) s += (s.empty() ? "" : " ") + a;
        return s;
    };
    const std::string input = "-hide_banner -loglevel error -y -f rawvideo -pix_fmt bgra -s 468x428 -framerate 2 -i - ";
    EXPECT_EQ(joined(ffmpeg_arguments({"/t/v.mp4.part", VideoKind::mp4, 468, 428, 2})),
              input + "-c:v libx264 -pix_fmt yuv420p -crf 18 -movflags +faststart -f mp4 /t/v.mp4.part");
    EXPECT_EQ(joined(ffmpeg_arguments({"/t/v gif", VideoKind::gif, 468, 428, 2})),
              input + "-filter_complex split[a][b];[a]palettegen=stats_mode=full[p];[b][p]paletteuse "
                      "-loop 0 -f gif /t/v gif");
}

TEST(CaptionFit, ADesignedWidthGrowsOnlyForACaptionThatNeedsIt) {
    EXPECT_EQ(fitted_width(89, {60, 70}, 10), 89);
    EXPECT_EQ(fitted_width(89, {60, 85}, 10), 95);
    // A label from 16 to 105 grown to 118: the box from 112 to 401 gives way; one before it, or past it, stays.
    EXPECT_EQ(neighbour_left(105, 118, 112, 401), 118);
    EXPECT_EQ(neighbour_left(105, 118, 120, 401), 120);
    EXPECT_EQ(neighbour_left(105, 118, 112, 116), 112);
}

}  // namespace
}  // namespace veldra::viewer
