// Regions of the cell table and their statistics, on the globe of 30-degree
// cells of fields_regions_model.h. The values make every statistic exact;
// the area weights are checked against the sphere's own areas: the whole
// globe is 4 pi, and the band from 30 to 90 degrees north is as large as the
// band from 0 to 30.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <string>
#include <vector>

#include "fields/regions.h"
#include "fields_regions_model.h"

namespace veldra::fields {
namespace {

using testing::cells_of;
using testing::error_of;
using testing::globe30;
using testing::kCells;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// Zone 1: 1 and 3. Zone 2: 5 in the row from 0 to 30 north, 2 in each of the
// two rows above it, which together are as large. Zone 3: no value. Zone 5:
// -9999 (a value) and 1 beside a huge marker.
const std::vector<float> kValues = {-9999, 1, 3, 5, 2, 2, kNaN, 1e12f, 1, -1e13f};

TEST(RegionArgument, ReadsEachKind) {
    struct Case {
        std::string arg;
        RegionArgument choice;
    };
    const std::vector<Case> cases = {
        {"zone", {RegionKind::zone, {}, {}, {}}},
        {"range-type", {RegionKind::range_type, {}, {}, {}}},
        {"box:-10.5,-20,30,40.25", {RegionKind::box, {-10.5, -20, 30, 40.25}, {}, {}}},
        {"box:170,-90,-170,90", {RegionKind::box, {170, -90, -170, 90}, {}, {}}},
        {"box:-180,-90,180,90", {RegionKind::box, {-180, -90, 180, 90}, {}, {}}},
        {"box:1e1,0,2E1,5", {RegionKind::box, {10, 0, 20, 5}, {}, {}}},
        {"areas.geojson", {RegionKind::polygons, {}, "areas.geojson", ""}},
        {"areas.geojson:NAME", {RegionKind::polygons, {}, "areas.geojson", "NAME"}},
        {"dir/a:b.shp:", {RegionKind::polygons, {}, "dir/a:b.shp", ""}},
        {"c:/data/a.gpkg", {RegionKind::polygons, {}, "c:/data/a.gpkg", ""}},
        {"zones", {RegionKind::polygons, {}, "zones", ""}},
        {"box.shp:id", {RegionKind::polygons, {}, "box.shp", "id"}},
    };
    for (const Case& c : cases) EXPECT_EQ(parse_region_argument(c.arg), c.choice) << c.arg;
}

TEST(RegionArgument, RefusesWhatIsNoRegion) {
    struct Case {
        std::string arg;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"", "--regions : expected zone, range-type, box:W,S,E,N or FILE[:FIELD]; found nothing"},
        {"box:", "--regions box:: expected four numbers W,S,E,N in degrees, found 1"},
        {"box:1,2,3", "--regions box:1,2,3: expected four numbers W,S,E,N in degrees, found 3"},
        {"box:1,2,3,4,5", "--regions box:1,2,3,4,5: expected four numbers W,S,E,N in degrees, found more"},
        {"box:1,,3,4", "--regions box:1,,3,4: expected a plain decimal number for S, found \"\""},
        {"box:1,2,3,4x", "--regions box:1,2,3,4x: expected a plain decimal number for N, found \"4x\""},
        {"box: 1,2,3,4", "--regions box: 1,2,3,4: expected a plain decimal number for W, found \" 1\""},
        {"box:+1,2,3,4", "--regions box:+1,2,3,4: expected a plain decimal number for W, found \"+1\""},
        {"box:1,2,nan,4", "--regions box:1,2,nan,4: expected a plain decimal number for E, found \"nan\""},
        {"box:1,2,inf,4", "--regions box:1,2,inf,4: expected a plain decimal number for E, found \"inf\""},
        {"box:1,2,3,1e400", "--regions box:1,2,3,1e400: expected a plain decimal number for N, found \"1e400\""},
        {"box:1,5,1,6", "--regions box:1,5,1,6: expected W and E to differ (W above E crosses 180 degrees)"},
        {"box:1,6,2,6", "--regions box:1,6,2,6: expected S below N"},
        {"box:1,7,2,6", "--regions box:1,7,2,6: expected S below N"},
        {"box:-180.5,0,1,2", "--regions box:-180.5,0,1,2: expected the longitudes W and E within -180 to 180"},
        {"box:0,0,181,2", "--regions box:0,0,181,2: expected the longitudes W and E within -180 to 180"},
        {"box:0,-91,1,2", "--regions box:0,-91,1,2: expected the latitudes S and N within -90 to 90"},
        {":NAME", "--regions :NAME: expected a file name before \":NAME\""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(error_of<RegionArgumentError>([&] { parse_region_argument(c.arg); }), c.message) << c.arg;
}

TEST(RegionRequest, BoxesRepeatOtherKindsComeOnceAndAreNotMixed) {
    const RegionRequest boxes = parse_regions({"box:0,0,1,1", "box:0,0,1,1", "box:-5,-5,5,5"});
    EXPECT_EQ(boxes.kind, RegionKind::box);
    EXPECT_EQ(boxes.boxes, (std::vector<Box>{{0, 0, 1, 1}, {0, 0, 1, 1}, {-5, -5, 5, 5}}));
    const RegionRequest file = parse_regions({"a.geojson:NAME"});
    EXPECT_EQ(file.kind, RegionKind::polygons);
    EXPECT_EQ(file.file, "a.geojson");
    EXPECT_EQ(file.name_field, "NAME");

    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    const std::vector<Case> cases = {
        {{}, "--regions: expected zone, range-type, box:W,S,E,N or FILE[:FIELD]"},
        {{"zone", "range-type"},
         "--regions range-type: expected zone as before; kinds of regions are not mixed in one run"},
        {{"box:0,0,1,1", "zone"},
         "--regions zone: expected boxes as before; kinds of regions are not mixed in one run"},
        {{"a.shp", "box:0,0,1,1"},
         "--regions box:0,0,1,1: expected a polygon file as before; kinds of regions are not mixed in one run"},
        {{"zone", "zone"}, "--regions zone: expected once: only boxes may be given many times"},
        {{"a.shp", "b.shp"}, "--regions b.shp: expected once: only boxes may be given many times"},
        {{"box:0,0,1,1", "box:0,0,1"}, "--regions box:0,0,1: expected four numbers W,S,E,N in degrees, found 3"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(error_of<RegionArgumentError>([&] { parse_regions(c.args); }), c.message) << c.message;
}

TEST(RegionWeights, AreTheCellsAreasOnTheSphere) {
    std::vector<files::RangeCell> globe;
    for (std::int32_t y = 1; y <= 6; ++y)
        for (std::int32_t x = 1; x <= 12; ++x) globe.push_back({0, 1, x, y, 1});
    const RegionSet set = make_regions(parse_regions({"zone"}), globe, globe30());
    double total = 0;
    for (double w : set.weights) total += w;
    EXPECT_NEAR(total, 4 * std::numbers::pi, 1e-12);
    // Rows 1 and 2 (30 to 90 north) against row 3 (0 to 30), in one column;
    // row 6 (the south cap's edge) against row 1.
    EXPECT_NEAR(set.weights[0] + set.weights[12], set.weights[24], 1e-15);
    EXPECT_DOUBLE_EQ(set.weights[60], set.weights[0]);
    // The band from 0 to 30 degrees north is 2 pi sin 30 = pi, shared by 12 cells.
    EXPECT_NEAR(set.weights[24], std::numbers::pi / 12, 1e-15);
}

TEST(RegionSet, ZonesAndRangeTypesInAscendingOrder) {
    const RegionSet zones = make_regions(parse_regions({"zone"}), kCells, globe30());
    EXPECT_EQ(zones.names, (std::vector<std::string>{"1", "2", "3", "5"}));
    const std::vector<std::vector<std::size_t>> zone_cells = {{1, 2}, {3, 4, 5}, {6, 7}, {0, 8, 9}};
    for (std::uint32_t r = 0; r < 4; ++r) EXPECT_EQ(cells_of(zones, r), zone_cells[r]) << zones.names[r];

    const RegionSet types = make_regions(parse_regions({"range-type"}), kCells, globe30());
    EXPECT_EQ(types.names, (std::vector<std::string>{"1", "2"}));
    EXPECT_EQ(cells_of(types, 0), (std::vector<std::size_t>{1, 2, 6, 7, 9}));
    EXPECT_EQ(cells_of(types, 1), (std::vector<std::size_t>{0, 3, 4, 5, 8}));
}

TEST(RegionSet, BoxesHoldCentresWestAndSouthEdgesIncluded) {
    struct Case {
        std::string box;
        std::vector<std::size_t> cells;
    };
    const std::vector<Case> cases = {
        {"box:0,0,60,30", {1, 2}},
        {"box:150,-90,-150,90", {0, 3, 4, 5}},  // across 180 degrees
        {"box:-165,15,15,45", {0}},             // -165 and 15 are in, 15 east is out
        {"box:-180,-90,180,90", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}},
        {"box:15,-75,15.5,-74.5", {9}},
        {"box:15,-74.9,15.5,-74.5", {}},
        {"box:-15,-15,180,-14", {8}},
        {"box:170,-90,160,90", {0, 1, 2, 6, 7, 8, 9}},  // all but 160 to 170, where 3, 4 and 5 stand
    };
    std::vector<std::string> args;
    for (const Case& c : cases) args.push_back(c.box);
    const RegionSet set = make_regions(parse_regions(args), kCells, globe30());
    ASSERT_EQ(set.region_count(), cases.size());
    for (std::uint32_t r = 0; r < cases.size(); ++r) {
        EXPECT_EQ(set.names[r], "box" + std::to_string(r + 1));
        EXPECT_EQ(cells_of(set, r), cases[r].cells) << cases[r].box;
    }
}

TEST(RegionSet, BoxesOfAGridWhoseWestIsNotMinus180) {
    // A grid from 0 to 360 east: column 12 is centred on 345, that is -15.
    files::ModelGrid grid = globe30();
    grid.west = 0;
    const RegionSet set =
        make_regions(parse_regions({"box:-30,0,0,30"}), {{1, 1, 12, 3, 1}}, grid);
    EXPECT_EQ(cells_of(set, 0), (std::vector<std::size_t>{0}));
}

struct Expected {
    std::int64_t cells;
    double mean, area_mean;
    float min, max;
    double sd;
};

void expect_stats(const std::vector<RegionStats>& got, const std::vector<Expected>& expected,
                  const std::vector<std::string>& names) {
    ASSERT_EQ(got.size(), expected.size());
    for (std::size_t r = 0; r < got.size(); ++r) {
        const RegionStats& g = got[r];
        const Expected& e = expected[r];
        SCOPED_TRACE("region " + names[r]);
        EXPECT_EQ(g.cells, e.cells);
        if (e.cells == 0) {
            EXPECT_TRUE(std::isnan(g.mean) && std::isnan(g.area_mean) && std::isnan(g.min) && std::isnan(g.max) &&
                        std::isnan(g.sd));
            continue;
        }
        EXPECT_DOUBLE_EQ(g.mean, e.mean);
        EXPECT_NEAR(g.area_mean, e.area_mean, 1e-12 * std::abs(e.area_mean));
        EXPECT_EQ(g.min, e.min);
        EXPECT_EQ(g.max, e.max);
        EXPECT_NEAR(g.sd, e.sd, 1e-14 * e.sd);
    }
}

TEST(RegionStats, ZonesOverValidValuesOnly) {
    const RegionSet set = make_regions(parse_regions({"zone"}), kCells, globe30());
    const double nan = std::numeric_limits<double>::quiet_NaN();
    expect_stats(region_stats(set, kValues),
                 {
                     {2, 2, 2, 1, 3, 1},
                     {3, 3, 3.5, 2, 5, 1.4142135623730951},  // sd: deviations 2, -1, -1
                     {0, nan, nan, 0, 0, nan},
                     {2, -4999, -4999, -9999, 1, 5000},
                 },
                 set.names);
}

TEST(RegionStats, OverlappingBoxesBothCountACell) {
    const RegionSet set = make_regions(parse_regions({"box:0,0,60,30", "box:30,0,180,90", "box:-180,-90,180,90"}),
                                       kCells, globe30());
    expect_stats(region_stats(set, kValues),
                 {
                     {2, 2, 2, 1, 3, 1},
                     // 3 and 5 in the row from 0 to 30 north, 2 and 2 in the two
                     // rows above, which together weigh as one: (3 + 5 + 2) / 3.
                     {4, 3, 10.0 / 3, 2, 5, 1.224744871391589},
                     // Six cells' weight, the two northern ones as one: -9987 / 6.
                     {7, -1426.4285714285713, -1664.5, -9999, 5, 3499.7378619034907},
                 },
                 set.names);
}

TEST(RegionStats, KeepsTheDigitsOfASmallSpreadOverLargeValues) {
    // 16777217 and 16777219 are not floats; 1e6 + 1 and + 3 are, and a sum of
    // squares taken without a shift loses their spread of 1.
    const RegionSet set = make_regions(parse_regions({"zone"}), {{1, 1, 1, 1, 1}, {2, 1, 2, 1, 1}}, globe30());
    const std::vector<RegionStats> s = region_stats(set, std::vector<float>{1000001.0f, 1000003.0f});
    EXPECT_EQ(s[0].mean, 1000002.0);
    EXPECT_EQ(s[0].sd, 1.0);
    const std::vector<RegionStats> big = region_stats(set, std::vector<float>{3e11f, 3e11f});
    EXPECT_EQ(big[0].sd, 0.0);
    EXPECT_EQ(big[0].mean, 3e11f);
}

TEST(RegionStats, RefusesAFieldOfAnotherCellCount) {
    const RegionSet set = make_regions(parse_regions({"zone"}), kCells, globe30());
    EXPECT_EQ(error_of<files::Error>([&] { region_stats(set, std::vector<float>(3, 1.0f)); }),
              "a field of 3 values for regions over 10 cells");
}

}  // namespace
}  // namespace veldra::fields
