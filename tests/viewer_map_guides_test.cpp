// The lines over the map (coastlines, borders, the graticule's lines on the
// canvas), the ends of the colour scale from the values' own range, and
// where the export folder is remembered: viewer_core without a display.
#include <gtest/gtest.h>

#include <cerrno>
#include <algorithm>
#include <cmath>
#include <vector>

#include "tests/support/memory_files.h"
#include "viewer/core/export_texts.h"
#include "viewer/core/map_guides.h"
#include "viewer/core/map_options.h"
#include "viewer/core/run_stretch.h"

namespace {

using namespace veldra::viewer;

// A whole globe of one-degree cells on a canvas of a pixel a cell.
struct Globe {
    Globe() {
        state.GridInfo.lowerX = -180;
        state.GridInfo.upperX = 180;
        state.GridInfo.lowerY = -90;
        state.GridInfo.upperY = 90;
        state.GridInfo.cellSize = 1;
        canvas.resize(360, 180);
        canvas.set_scale(-180, 90, 180, -90);
    }
    // The pixel of a longitude and latitude.
    Rgb at(double lon, double lat) const {
        return canvas.pixel(static_cast<int>(std::floor(lon + 180)), static_cast<int>(std::floor(90 - lat)));
    }
    ViewerState state;
    MapCanvas canvas;
};

TEST(MapLines, ReadFromTheirTextAndTheWorldsLieAlongItsCoasts) {
    const auto lines = parse_map_lines("# a comment\r\n>C\r\n1.5 2.25\r\n3 4\r\nnot a point\r\n>B\n-10 -20\n-11 -21\n");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_FALSE(lines[0].border);
    ASSERT_EQ(lines[0].points.size(), 2u);
    EXPECT_EQ(lines[0].points[0].lon, 1.5f);
    EXPECT_EQ(lines[0].points[0].lat, 2.25f);
    EXPECT_TRUE(lines[1].border);
    EXPECT_EQ(lines[1].points[1].lat, -21.0f);

    // Coasts and borders both, compiled in.
    const auto& world = world_lines();
    std::size_t borders = 0, coasts = 0;
    for (const GeoLine& l : world) (l.border ? borders : coasts) += 1;
    EXPECT_GT(borders, 100u);
    EXPECT_GT(coasts, 1000u);

    Globe g;
    MapOptions options;
    options.borders = true;
    paint_guides(g.canvas, g.state, options);
    // The Cape of Good Hope is on the coast; the open Pacific south of
    // Tahiti and the middle of the Sahara are not, and the Sahara has
    // borders (Algeria, Niger, Mali meet near 4 E, 19 N).
    bool cape = false;
    for (double lon = 17.5; lon <= 19.5; lon += 1)
        for (double lat = -35.5; lat <= -33.5; lat += 1) cape |= g.at(lon, lat) == kCoastColour;
    EXPECT_TRUE(cape);
    for (double lon = -159.5; lon < -150; lon += 1)
        for (double lat = -39.5; lat < -30; lat += 1)
            EXPECT_EQ(g.at(lon, lat), MapCanvas::kBackground) << lon << " " << lat;
    EXPECT_EQ(g.at(10.5, 26.5), MapCanvas::kBackground);
    bool border = false;
    for (double lon = 2.5; lon <= 5.5; lon += 1)
        for (double lat = 18.5; lat <= 20.5; lat += 1) border |= g.at(lon, lat) == kBorderColour;
    EXPECT_TRUE(border);
}

TEST(MapLines, TheGraticuleEveryThirtyDegreesAndLinesWithoutGapsClippedToThePicture) {
    Globe g;
    MapOptions options;
    options.graticule = true;
    paint_guides(g.canvas, g.state, options, {});
    // 13 meridians from 180 W to 180 E (the last beyond the right edge) and 7 parallels.
    int meridians = 0, parallels = 0;
    for (int x = 0; x < 360; ++x) meridians += g.canvas.pixel(x, 45) == kGraticuleColour;
    for (int y = 0; y < 180; ++y) parallels += g.canvas.pixel(45, y) == kGraticuleColour;
    EXPECT_EQ(meridians, 12);
    EXPECT_EQ(parallels, 6);
    EXPECT_EQ(g.at(1.5, 45.5), MapCanvas::kBackground);
    EXPECT_EQ(g.at(0.5, 45.5), kGraticuleColour);   // the prime meridian
    EXPECT_EQ(g.at(45.5, -30.5), kGraticuleColour);  // 30 S

    // Their labels where they meet the top and the left edge; none on the far edges.
    const auto labels = graticule_labels(g.canvas, g.state);
    auto has = [&](const char* text, bool meridian, double at) {
        return std::find(labels.begin(), labels.end(), GuideLabel{text, meridian, at}) != labels.end();
    };
    EXPECT_EQ(labels.size(), 12u + 5u);
    EXPECT_TRUE(has("180\u00B0", true, 0));
    EXPECT_TRUE(has("0\u00B0", true, 180));
    EXPECT_TRUE(has("30\u00B0E", true, 210));
    EXPECT_TRUE(has("150\u00B0W", true, 30));
    EXPECT_FALSE(has("90\u00B0N", false, 0));
    EXPECT_TRUE(has("0\u00B0", false, 90));
    EXPECT_TRUE(has("60\u00B0S", false, 150));
    EXPECT_FALSE(has("90\u00B0S", false, 180));

    // A slanted line: one pixel in every column between its ends, each next
    // to the one before.
    MapCanvas c;
    c.resize(100, 50);
    c.set_scale(0, 0, 100, 50);
    c.draw_line(-1000, -490, 1000, 510, rgb(1, 2, 3));  // through (0, 10) and (80, 50), far beyond both edges
    int last_row = -1;
    for (int x = 0; x < 100; ++x) {
        int row = -1;
        for (int y = 0; y < 50; ++y)
            if (c.pixel(x, y) == rgb(1, 2, 3)) row = y;
        if (x < 79) {
            ASSERT_GE(row, 0) << x;
            if (last_row >= 0) {
                EXPECT_LE(std::abs(row - last_row), 1) << x;
            }
        } else if (x > 81) {
            EXPECT_EQ(row, -1) << x;
        }
        last_row = row;
    }
    // A line wholly outside paints nothing.
    MapCanvas d;
    d.resize(10, 10);
    d.set_scale(0, 0, 10, 10);
    d.draw_line(-50, 20, 50, 30, rgb(1, 2, 3));
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x) EXPECT_EQ(d.pixel(x, y), MapCanvas::kBackground);
}

TEST(ScaleEnds, PercentilesOfAMonthExactlyAndOfARunWithinABin) {
    // 1 .. 101 with values outside the valid range between them.
    std::vector<float> values;
    for (int v = 101; v >= 1; --v) {
        values.push_back(static_cast<float>(v));
        if (v % 10 == 0) values.push_back(2e12f);
    }
    EXPECT_EQ(percentile(values, 2), 3);
    EXPECT_EQ(percentile(values, 98), 99);
    EXPECT_EQ(percentile(values, 0), 1);
    EXPECT_EQ(percentile(values, 100), 101);
    EXPECT_DOUBLE_EQ(*percentile(values, 50.5), 51.5);
    EXPECT_EQ(ends_of(values, EndsFrom::range), (std::pair<double, double>{1, 101}));
    EXPECT_EQ(ends_of(values, EndsFrom::percentiles), (std::pair<double, double>{3, 99}));
    EXPECT_FALSE(percentile(std::vector<float>{2e12f}, 2));
    EXPECT_FALSE(ends_of({}, EndsFrom::stretch));

    // A skewed run of 100,000 values from 0 to 1000: within a bin's width.
    std::vector<float> run;
    for (int i = 0; i < 100000; ++i) run.push_back(static_cast<float>(1000.0 * std::pow(i / 99999.0, 3)));
    ValueHistogram histogram(0, 1000);
    histogram.add_values(run);
    const double bin = 1000.0 / ValueHistogram::kBins;
    for (const double p : {2.0, 50.0, 98.0}) EXPECT_NEAR(*histogram.percentile(p), *percentile(run, p), bin) << p;
    EXPECT_FALSE(ValueHistogram(0, 1).percentile(2));
}

TEST(ScaleEnds, ADifferenceIsSymmetricAboutZeroFromItsLargestAbsoluteValue) {
    const StretchStats s = stretch_stats(std::vector<float>{-3, 1, 12, 2e12f});
    EXPECT_EQ(s.min, -3);
    EXPECT_EQ(s.max, 12);
    const StretchStats d = symmetric_about_zero(s);
    EXPECT_EQ(d.lo, -12);
    EXPECT_EQ(d.hi, 12);
    // The end further from zero may be the lower one.
    const StretchStats falling = symmetric_about_zero(stretch_stats(std::vector<float>{-12, 1, 3}));
    EXPECT_EQ(falling.lo, -12);
    EXPECT_EQ(falling.hi, 12);
    // Merged months keep the smallest and largest of all.
    RunningStats run;
    run.add_values(std::vector<float>{5, 7});
    run.add_values(std::vector<float>{-1, 6});
    EXPECT_EQ(run.stretch().min, -1);
    EXPECT_EQ(run.stretch().max, 7);
}

TEST(LastExportDir, BesideTheProgramWhereItsFolderCanBeWrittenElseInTheUsersConfiguration) {
    veldra::testing::MemoryFiles files;
    EXPECT_EQ(last_export_dir_file("/usr/bin", files, "/home/u/.config/veldra"), "/usr/bin/Last_Export_Dir.txt");
    EXPECT_TRUE(files.files.empty());  // the trial file is gone again
    files.faults.create = EACCES;
    EXPECT_EQ(last_export_dir_file("/usr/bin/", files, "/home/u/.config/veldra"),
              "/home/u/.config/veldra/Last_Export_Dir.txt");
}

}  // namespace
