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
        {"climatology_bnds", "climatology_bnds_value"},
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

TEST(CfLayout, SpansOfAYearAndOfCalendarMonthsAcrossTheChangeOfCalendar) {
    // 1582 has 355 days, 1583 and 1584 (a leap year) 365 and 366.
    const TimeAxis years = span_axis(1582, {{1582, 1, 1582, 12}, {1583, 1, 1583, 12}}, false);
    EXPECT_EQ(years.bounds, (std::vector<double>{0, 355, 355, 720}));
    EXPECT_EQ(years.middles, (std::vector<double>{177.5, 537.5}));
    // October over 1582 to 1584: from 1 October 1582 to 1 November 1584; the
    // time is the middle of October 1582, 21 days long.
    const TimeAxis october = span_axis(1582, {{1582, 10, 1584, 10}}, true);
    EXPECT_EQ(october.bounds, (std::vector<double>{273, 273 + 31 + 30 + 31 - 10 + 365 + 366 - 61}));
    EXPECT_EQ(october.middles, (std::vector<double>{273 + 10.5}));
}

TEST(CfLayout, WhatTheValuesOfASummaryAreInTheirAttributes) {
    FieldDescription trend{.long_name = "Precipitation", .units = "cm", .summary = "trend",
                           .cell_methods = "time: linear_trend", .climatology = false, .trend = true,
                           .compare = "", .anomaly_years = "2000-2009", .baseline = ""};
    const Attributes a = field_data_attributes(trend, false);
    EXPECT_EQ(std::get<std::string>(a[0].value), "Precipitation, anomaly from the 2000-2009 climatology, trend per decade");
    EXPECT_EQ(std::get<std::string>(a[1].value), "cm per decade");
    EXPECT_EQ(std::get<std::string>(a[2].value), "time: linear_trend");
    FieldDescription ratio = trend;
    ratio.summary = "climatology";
    ratio.cell_methods = "time: mean";
    ratio.climatology = true;
    ratio.trend = false;
    ratio.compare = "ratio";
    ratio.anomaly_years = "";
    ratio.baseline = "/runs/base";
    const Attributes b = field_data_attributes(ratio, true);
    EXPECT_EQ(std::get<std::string>(b[0].value), "Precipitation, climatology, ratio of the baseline");
    EXPECT_EQ(std::get<std::string>(b[1].value), "1");
    EXPECT_EQ(std::get<std::string>(b[2].value), "time: mean within years time: mean over years");
    EXPECT_EQ(b.back(), (Attribute{"baseline", std::string("/runs/base")}));
    EXPECT_EQ(climatology_time_attributes(2000).back(), (Attribute{"climatology", std::string(kClimatologyBounds)}));
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
