// What the map shows beyond a month and the series of a region, read from a
// small model without a display: four columns and two rows either side of
// the equator (so that every cell has the same area), three cells in two
// zones, and a month whose value of the first cell is no data.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "modelfiles/model_writer.h"
#include "output_list_line.h"
#include "test_model.h"
#include "viewer/core/derived_map.h"

namespace veldra::viewer {
namespace {

using veldra::testing::output_list_line;
using veldra::testing::TestModel;

void write_run(const TestModel& model, int cols, float offset) {
    model.write_text("Parms/Output_List.vrl", output_list_line("1", "Precip", "1", "Layer", "cm") + "\r\n");
    const files::GridInfo grid{.cellCount = 3, .xDimension = cols, .yDimension = 2, .lowerX = -2, .lowerY = -1,
                        .upperX = -2 + cols, .upperY = 1, .cellSize = 1.0f, .firstYear = 2000, .lastYear = 2001};
    // Cell (column, row): 1 (1, 1) and 3 (4, 2) in zone 1, 2 (2, 1) in zone 2.
    const std::vector<files::RangeCell> cells{{1, 1, 1, 1, 1}, {2, 2, 2, 1, 1}, {3, 1, 4, 2, 1}};
    model.write_text("Output/Rng_Data.vrd", cell_file_text(grid, cells));
    const std::vector<std::string> globe(2, std::string(static_cast<std::size_t>(cols), 'T'));
    model.write_text("Output/Globe.vrd", files::globe_file_text(globe));
    // The month plus 10 x cell; March 2000 of the first cell beyond the valid range.
    model.write_variable("Precip.vrd", 3, 2000, 2001, 1, [offset](auto y, auto m, auto, auto i) {
        return y == 2000 && m == 3 && i == 0 ? 2e12f : offset + static_cast<float>(m) + 10.0f * static_cast<float>(i);
    });
}

class DerivedMap : public ::testing::Test {
protected:
    void SetUp() override {
        write_run(model_, 4, 0);
        state_ = load_model(model_.root().string());
        state_.SelectedEntry = 1;
        state_.SelectedLayer = 1;
    }
    TestModel model_{"viewer_derived"};
    ViewerState state_;
};

TEST(DerivedMapNames, ChoicesLabelsAndTheBoxRule) {
    EXPECT_EQ(map_show_named("year-mean"), MapShow::year_mean);
    EXPECT_EQ(map_show_named("trend"), MapShow::trend);
    EXPECT_EQ(map_show_named("Trend"), std::nullopt);
    EXPECT_EQ(show_label(MapShow::month, 2001, 7, 2000, 2004), "");
    EXPECT_EQ(show_label(MapShow::year_mean, 2001, 7, 2000, 2004), "mean of 2001");
    EXPECT_EQ(show_label(MapShow::climatology, 2001, 7, 2000, 2004), "climatology of July");
    EXPECT_EQ(show_label(MapShow::run_mean, 2001, 7, 2000, 2004), "mean 2000-2004");
    EXPECT_EQ(show_label(MapShow::trend, 2001, 7, 2000, 2004), "trend per decade 2000-2004");
    EXPECT_EQ(shown_note(MapShow::year_mean, 2001, 7, 2000, 2004, "base"), ", mean of 2001 minus base");
    EXPECT_EQ(shown_note(MapShow::month, 2001, 7, 2000, 2004, ""), "");
    EXPECT_FALSE(draws_box(5, -5));
    EXPECT_TRUE(draws_box(0, 6));
    EXPECT_TRUE(draws_box(-5.5, 0));
}

TEST_F(DerivedMap, AYearsMeanLeavesOutAMonthOfNoData) {
    const ShownField year = read_shown_field(state_, MapShow::year_mean, 2000, 1);
    ASSERT_TRUE(year.ok()) << year.message;
    // Cell 1 without March: (78 - 3) / 11; the others all twelve months.
    EXPECT_FLOAT_EQ(year.values[0], 75.0f / 11.0f);
    EXPECT_FLOAT_EQ(year.values[1], 16.5f);
    const ShownField march = read_shown_field(state_, MapShow::climatology, 2000, 3);
    EXPECT_EQ(march.values, (std::vector<float>{3, 13, 23}));  // 2001 alone for cell 1
    const ShownField month = read_shown_field(state_, MapShow::month, 2000, 3);
    EXPECT_EQ(month.values[0], 2e12f);  // as the variable file holds it: no data
    const ShownField outside = read_shown_field(state_, MapShow::year_mean, 1999, 1);
    EXPECT_FALSE(outside.ok());
}

TEST_F(DerivedMap, TheCacheReadsTheRunAgainOnlyWhenTheFieldStandsForSomethingElse) {
    ShownFieldCache cache;
    const std::vector<float> run_mean = cache.read(state_, MapShow::run_mean, 2000, 1, nullptr).values;
    const std::vector<float> july = cache.read(state_, MapShow::climatology, 2000, 7, nullptr).values;
    // The file changes under the cache: only a field that stands for
    // something else is read from it again.
    write_run(model_, 4, 1000);
    EXPECT_EQ(cache.read(state_, MapShow::climatology, 2001, 7, nullptr).values, july);  // the year does not count
    EXPECT_EQ(cache.read(state_, MapShow::climatology, 2001, 8, nullptr).values[1], 1000 + 8 + 10);  // read anew
    EXPECT_NE(cache.read(state_, MapShow::run_mean, 2000, 2, nullptr).values, run_mean);
    state_.SelectedLayer = 2;  // no such layer: nothing kept
    EXPECT_FALSE(cache.read(state_, MapShow::run_mean, 2000, 2, nullptr).ok());
}

TEST_F(DerivedMap, ABaselineOnTheSameGridIsSubtractedAndAnotherGridIsRefused) {
    TestModel other("viewer_derived_base");
    write_run(other, 4, 100);
    const BaselineRun base = load_baseline(state_, other.root().string());
    EXPECT_EQ(base.name, other.root().filename().string());
    const ShownField diff = read_shown_field(state_, MapShow::month, 2001, 5, &base);
    EXPECT_EQ(diff.values, (std::vector<float>{-100, -100, -100}));
    // Where either month is no data, the difference is NaN: no data too.
    const ShownField march = read_shown_field(state_, MapShow::month, 2000, 3, &base);
    EXPECT_TRUE(std::isnan(march.values[0]));

    TestModel wider("viewer_derived_wide");
    write_run(wider, 5, 0);
    try {
        load_baseline(state_, wider.root().string());
        FAIL() << "a baseline on another grid";
    } catch (const files::Error& e) {
        EXPECT_NE(std::string(e.what()).find(wider.root().filename().string()), std::string::npos) << e.what();
    }
}

TEST_F(DerivedMap, TheAreaMeanOfAZoneAndOfABoxMonthByMonth) {
    const SeriesSource source = *selection_source(state_);
    const ChartRegion zone = zone_region(state_, 2);
    EXPECT_EQ(zone.name, "zone 1");
    const MonthlySeries z = read_region_series(state_, source, zone);
    ASSERT_EQ(z.rows.size(), 24u);
    EXPECT_EQ(z.rows[0], 11.0f);   // (1 + 21) / 2
    EXPECT_EQ(z.rows[2], 23.0f);   // March 2000: cell 3 alone
    EXPECT_EQ(z.rows[23], 22.0f);  // (12 + 32) / 2
    EXPECT_FALSE(z.failure);

    // A box around the second cell's centre (-0.5, 0.5) alone.
    const ChartRegion box = box_region(state_, fields::Box{-1, 0, 0, 1});
    EXPECT_EQ(box.name, "box -1,0,0,1");
    EXPECT_EQ(region_csv_name(source, box), "Precip_L1_box_-1_0_0_1.csv");
    EXPECT_EQ(region_csv_name(source, zone), "Precip_L1_zone_1.csv");
    const MonthlySeries b = read_region_series(state_, source, box);
    EXPECT_EQ(b.rows[4], 15.0f);
    // Map points are cells from the grid's centre; the corners in any order.
    EXPECT_EQ(box_between(state_, 0.5, -0.5, -1.5, 1.5), (fields::Box{-1.5, -0.5, 0.5, 1.5}));
    // A box with no cell gives no value.
    const MonthlySeries empty = read_region_series(state_, source, box_region(state_, fields::Box{1, -1, 1.5, 0}));
    EXPECT_FALSE(empty.rows[0]);
}

}  // namespace
}  // namespace veldra::viewer
