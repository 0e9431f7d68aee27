// The CF layout's names and axes as exact values: what a file name becomes,
// the months around the change of calendar, and a grid whose cell file holds
// its cell size in single precision.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "export/cf/cf_layout.h"

namespace {

using namespace veldra::cf;

TEST(CfLayout, VariableNamesFromFileNames) {
    const struct {
        std::string file_name, name;
    } cases[] = {
        {"Precip", "Precip"},      {"max temp", "max_temp"},   {"9-Bio", "v_9-Bio"},  {"", "v_"},
        {"_x.y@z+1", "_x.y@z+1"}, {"crs", "crs_value"},       {"layer", "layer_value"},
        {"Bi\xc3\xb6mass", "Bi__mass"},  {"\xc3\xa9t\xc3\xa9", "__t__"}, {"lat_bnds", "lat_bnds_value"},
    };
    for (const auto& c : cases) EXPECT_EQ(variable_name(c.file_name), c.name) << c.file_name;
}

TEST(CfLayout, OctoberOf1582HasTwentyOneDays) {
    const TimeAxis t = time_axis(1582, 1582);
    ASSERT_EQ(t.middles.size(), 12u);
    ASSERT_EQ(t.bounds.size(), 24u);
    EXPECT_EQ(t.bounds[0], 0);
    EXPECT_EQ(t.bounds[2 * 9 + 1] - t.bounds[2 * 9], 21);   // October
    EXPECT_EQ(t.bounds[2 * 10 + 1] - t.bounds[2 * 10], 30);  // November
    EXPECT_EQ(t.bounds[23], 355);                             // 1 January 1583
    EXPECT_EQ(t.middles[1], 31 + 14);                         // the middle of February 1582, no leap year
}

TEST(CfLayout, TwelfthDegreeAxisFromTheSinglePrecisionCellSize) {
    // 4320 steps of 0.0833333 would end 0.00014 degrees short of the edge.
    const Axis lon = axis(-180, 180, 4320, 0.0833333, false);
    EXPECT_NEAR(lon.centres.front(), -180 + 1 / 24.0, 1e-9);
    EXPECT_NEAR(lon.centres.back(), 180 - 1 / 24.0, 1e-9);
    EXPECT_NEAR(lon.bounds.front(), -180, 1e-9);
    EXPECT_NEAR(lon.bounds.back(), 180, 1e-9);
    const Axis lat = axis(-90, 90, 2, 1.0, true);  // a cell size that does not fill the span
    EXPECT_EQ(lat.centres, (std::vector<double>{0.5, -0.5}));
    EXPECT_EQ(lat.bounds, (std::vector<double>{1, 0, 0, -1}));
}

}  // namespace
