// Anomalies against the climatology of a span of years, of the run itself or
// of a baseline run whose cells stand in another order, and summaries of them.
#include "fields/anomaly_source.h"

#include <gtest/gtest.h>

#include <cmath>

#include "fields/summary_source.h"
#include "fields_model.h"

namespace veldra::fields {
namespace {

using fields_test::GivenFields;
using fields_test::kNaN;
using fields_test::MemoryRun;
using fields_test::same_value;

constexpr float N = std::numeric_limits<float>::quiet_NaN();

// 2000 to 2002: cell 0 is 12 (year - 2000) + month, whose climatology over
// 2000-2001 is month + 6, so every month of a year has the anomaly
// 12 (year - 2000) - 6; cell 1 is 5 but March is 1e12; cell 2 is 2 month but
// January 2002 is NaN.
float model_value(std::int32_t year, std::int32_t month, std::size_t cell) {
    const std::int32_t y = year - 2000;
    if (cell == 0) return static_cast<float>(12 * y + month);
    if (cell == 1) return month == 3 ? 1e12f : 5.0f;
    return y == 2 && month == 1 ? kNaN : static_cast<float>(2 * month);
}

TEST(AnomalySource, EachMonthLessTheClimatologyOfItsCalendarMonth) {
    MemoryRun run(2000, 2002, 3, model_value);
    const std::optional<Climatology> normal = climatology_of(run.months(2000, 2001), 2000, 2001);
    ASSERT_TRUE(normal.has_value());
    const auto source = anomaly_source(run.months(), *normal, same_cells(3));
    ASSERT_EQ(source->periods(), months_of(2000, 2002));
    struct Row {
        std::size_t k;
        const char* label;
        std::array<float, 3> values;
    } rows[] = {
        {0, "2000-01", {-6, 0, 0}},  {2, "2000-03", {-6, N, 0}},  {13, "2001-02", {6, 0, 0}},
        {24, "2002-01", {18, 0, N}}, {26, "2002-03", {18, N, 0}}, {35, "2002-12", {18, 0, 0}},
    };
    Field field;
    for (const Row& r : rows) {
        EXPECT_EQ(source->read(r.k, field).kind, FieldRead::Kind::whole);
        EXPECT_EQ(field.label, r.label);
        for (std::size_t i = 0; i < 3; ++i)
            EXPECT_TRUE(same_value(field.values[i], r.values[i]))
                << r.label << " cell " << i << ": " << field.values[i];
    }
}

TEST(AnomalySource, ASummaryOfTheAnomalies) {
    MemoryRun run(2000, 2002, 3, model_value);
    const Climatology normal = *climatology_of(run.months(2000, 2001), 2000, 2001);
    struct Row {
        Summary summary;
        std::size_t k;
        std::array<float, 3> values;
    } rows[] = {
        {Summary::annual_mean, 0, {-6, 0, 0}}, {Summary::annual_mean, 2, {18, 0, 0}},
        {Summary::annual_max, 1, {6, 0, 0}},   {Summary::run_mean, 0, {6, 0, 0}},
        {Summary::trend, 0, {120, 0, 0}},
    };
    for (const Row& r : rows) {
        const auto source = summary_source(anomaly_source(run.months(), normal, same_cells(3)), r.summary, 2000, 2002);
        Field field;
        source->read(r.k, field);
        for (std::size_t i = 0; i < 3; ++i)
            EXPECT_TRUE(same_value(field.values[i], r.values[i])) << summary_name(r.summary) << " cell " << i;
    }
}

// The baseline run holds the cells at columns 3, 1, 2 (this run: 1, 2, 3),
// with the value 100 column + month in every year; this run's cell at column
// c holds 100 c + month + c (year - 2000): its anomalies are c (year - 2000).
TEST(AnomalySource, TheClimatologyOfABaselineRunPairedByPosition) {
    MemoryRun baseline(1990, 1995, 3, [](std::int32_t, std::int32_t month, std::size_t cell) {
        const std::int32_t column = cell == 0 ? 3 : static_cast<std::int32_t>(cell);
        return static_cast<float>(100 * column + month);
    });
    MemoryRun run(2000, 2002, 3, [](std::int32_t year, std::int32_t month, std::size_t cell) {
        const auto column = static_cast<std::int32_t>(cell) + 1;
        return static_cast<float>(100 * column + month + column * (year - 2000));
    });
    const std::vector<files::RangeCell> mine = {{1, 1, 1, 1, 1}, {2, 1, 2, 1, 1}, {3, 1, 3, 1, 1}};
    const std::vector<files::RangeCell> theirs = {{1, 1, 3, 1, 1}, {2, 1, 1, 1, 1}, {3, 1, 2, 1, 1}};
    const CellGrid grid{360, 180, 1.0f};
    const CellPairing pairing = pair_cells(mine, theirs, grid, grid, "a", "b");
    const Climatology normal = *climatology_of(baseline.months(1991, 1992), 1991, 1992);
    const auto source = summary_source(anomaly_source(run.months(), normal, pairing), Summary::annual_mean, 2000, 2002);
    Field field;
    for (std::size_t k = 0; k < 3; ++k) {
        source->read(k, field);
        for (std::size_t i = 0; i < 3; ++i)
            EXPECT_EQ(field.values[i], static_cast<float>((i + 1) * k)) << k << " " << i;
    }
}

TEST(AnomalySource, AStoppedClimatologyIsNothing) {
    MemoryRun run(2000, 2001, 1, model_value);
    int asked = 0;
    EXPECT_FALSE(climatology_of(run.months(), 2000, 2001, [&] { return ++asked > 20; }).has_value());
    EXPECT_EQ(asked, 21);
}

TEST(AnomalySource, OnlyMonthsOfYearsAgainstTwelveCalendarMonths) {
    MemoryRun run(2000, 2001, 1, model_value);
    const Climatology normal = *climatology_of(run.months(), 2000, 2001);
    EXPECT_THROW(anomaly_source(summary_source(run.months(), Summary::annual_mean, 2000, 2001), normal, same_cells(1)),
                 std::invalid_argument);
    EXPECT_THROW(anomaly_source(run.months(), normal, same_cells(2)), std::invalid_argument);
    Climatology eleven = normal;
    eleven.by_month.pop_back();
    EXPECT_THROW(anomaly_source(run.months(), eleven, same_cells(1)), std::invalid_argument);
}

}  // namespace
}  // namespace veldra::fields
