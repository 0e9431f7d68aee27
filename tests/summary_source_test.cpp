// The summaries of a span of months, each against values worked out by hand
// on a run whose values make every statistic exact (or a closed form, for a
// standard deviation), read through the monthly source of a variable file.
#include "fields/summary_source.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>

#include "fields_model.h"

namespace veldra::fields {
namespace {

using fields_test::GivenFields;
using fields_test::kNaN;
using fields_test::MemoryRun;
using fields_test::same_value;

constexpr std::size_t kCells = 6;
constexpr float N = std::numeric_limits<float>::quiet_NaN();

// 2000 to 2002, six cells:
//   0: 12 (year - 2000) + month: 1 to 36;
//   1: 2 month, but January is 1e12 (-2e13 in 2002) and February NaN;
//   2: never a value (1e12, NaN, infinity);
//   3: 3, but 2001 is all 1e12;
//   4: only January: 11, 14, 17;
//   5: only January to August of 2000: 2 4 4 4 5 5 7 9 (mean 5, deviation 2); 1e13 otherwise.
float model_value(std::int32_t year, std::int32_t month, std::size_t cell) {
    const std::int32_t y = year - 2000;
    switch (cell) {
    case 0:
        return static_cast<float>(12 * y + month);
    case 1:
        if (month == 1) return y == 2 ? -2e13f : 1e12f;
        return month == 2 ? kNaN : static_cast<float>(2 * month);
    case 2:
        return month % 3 == 0 ? 1e12f : month % 3 == 1 ? kNaN : std::numeric_limits<float>::infinity();
    case 3:
        return y == 1 ? 1e12f : 3.0f;
    case 4:
        return month == 1 ? static_cast<float>(11 + 3 * y) : kNaN;
    default: {
        constexpr std::array<float, 8> spread{2, 4, 4, 4, 5, 5, 7, 9};
        return y == 0 && month <= 8 ? spread[static_cast<std::size_t>(month - 1)] : 1e13f;
    }
    }
}

struct Expected {
    Summary summary;
    std::size_t field;
    Period period;
    const char* label;
    std::array<float, kCells> values;
};

// sd of 1..36 is sqrt((36^2 - 1) / 12); of 6, 8, .., 24 twice that of 3..12.
const float kSd0 = static_cast<float>(std::sqrt(1295.0 / 12.0));
const float kSd1 = static_cast<float>(std::sqrt(33.0));
const float kSd4 = static_cast<float>(std::sqrt(6.0));

const Expected kExpected[] = {
    {Summary::annual_mean, 0, {2000, 0}, "2000", {6.5f, 15, N, 3, 11, 5}},
    {Summary::annual_mean, 1, {2001, 0}, "2001", {18.5f, 15, N, N, 14, N}},
    {Summary::annual_mean, 2, {2002, 0}, "2002", {30.5f, 15, N, 3, 17, N}},
    {Summary::annual_sum, 0, {2000, 0}, "2000", {78, 150, N, 36, 11, 40}},
    {Summary::annual_sum, 1, {2001, 0}, "2001", {222, 150, N, N, 14, N}},
    {Summary::annual_sum, 2, {2002, 0}, "2002", {366, 150, N, 36, 17, N}},
    {Summary::annual_min, 0, {2000, 0}, "2000", {1, 6, N, 3, 11, 2}},
    {Summary::annual_min, 1, {2001, 0}, "2001", {13, 6, N, N, 14, N}},
    {Summary::annual_min, 2, {2002, 0}, "2002", {25, 6, N, 3, 17, N}},
    {Summary::annual_max, 0, {2000, 0}, "2000", {12, 24, N, 3, 11, 9}},
    {Summary::annual_max, 1, {2001, 0}, "2001", {24, 24, N, N, 14, N}},
    {Summary::annual_max, 2, {2002, 0}, "2002", {36, 24, N, 3, 17, N}},
    {Summary::climatology, 0, {0, 1}, "01", {13, N, N, 3, 14, 2}},
    {Summary::climatology, 1, {0, 2}, "02", {14, N, N, 3, N, 4}},
    {Summary::climatology, 2, {0, 3}, "03", {15, 6, N, 3, N, 4}},
    {Summary::climatology, 3, {0, 4}, "04", {16, 8, N, 3, N, 4}},
    {Summary::climatology, 4, {0, 5}, "05", {17, 10, N, 3, N, 5}},
    {Summary::climatology, 5, {0, 6}, "06", {18, 12, N, 3, N, 5}},
    {Summary::climatology, 6, {0, 7}, "07", {19, 14, N, 3, N, 7}},
    {Summary::climatology, 7, {0, 8}, "08", {20, 16, N, 3, N, 9}},
    {Summary::climatology, 8, {0, 9}, "09", {21, 18, N, 3, N, N}},
    {Summary::climatology, 9, {0, 10}, "10", {22, 20, N, 3, N, N}},
    {Summary::climatology, 10, {0, 11}, "11", {23, 22, N, 3, N, N}},
    {Summary::climatology, 11, {0, 12}, "12", {24, 24, N, 3, N, N}},
    {Summary::run_mean, 0, {2000, 0}, "2000-2002", {18.5f, 15, N, 3, 14, 5}},
    {Summary::run_sd, 0, {2000, 0}, "2000-2002", {kSd0, kSd1, N, 0, kSd4, 2}},
    // Annual means 6.5, 18.5, 30.5: 12 a year; 11, 14, 17: 3 a year; cell 3 has 2 years.
    {Summary::trend, 0, {2000, 0}, "2000-2002", {120, 0, N, N, 30, N}},
};

const Summary kAll[] = {Summary::annual_mean, Summary::annual_sum, Summary::annual_min, Summary::annual_max,
                        Summary::climatology, Summary::run_mean,   Summary::run_sd,     Summary::trend};

TEST(SummarySource, EveryFieldOfEverySummaryHasTheValuesWorkedOutByHand) {
    MemoryRun model(2000, 2002, kCells, model_value);
    for (const Summary s : kAll) {
        const auto source = summary_source(model.months(), s, 2000, 2002);
        ASSERT_EQ(source->cell_count(), static_cast<std::int64_t>(kCells));
        std::size_t fields = 0;
        for (const Expected& e : kExpected) {
            if (e.summary != s) continue;
            ++fields;
            SCOPED_TRACE(std::string(summary_name(s)) + " field " + e.label);
            ASSERT_EQ(source->periods().at(e.field), e.period);
            Field field;
            const FieldRead read = source->read(e.field, field);
            EXPECT_EQ(read.kind, FieldRead::Kind::whole);
            EXPECT_EQ(field.period, e.period);
            EXPECT_EQ(field.label, e.label);
            ASSERT_EQ(field.values.size(), kCells);
            for (std::size_t i = 0; i < kCells; ++i) {
                if (s == Summary::run_sd && !std::isnan(e.values[i]))
                    EXPECT_NEAR(field.values[i], e.values[i], 1e-6 * std::max(1.0f, e.values[i])) << "cell " << i;
                else
                    EXPECT_TRUE(same_value(field.values[i], e.values[i]))
                        << "cell " << i << ": " << field.values[i] << ", expected " << e.values[i];
            }
        }
        EXPECT_EQ(source->periods().size(), fields) << summary_name(s);
    }
}

// Each field reads its own months and no other, so that reading every field
// reads every month once.
TEST(SummarySource, ReadingEveryFieldReadsEachMonthOnce) {
    for (const Summary s : kAll) {
        std::vector<std::vector<float>> values(36, std::vector<float>(1, 1.0f));
        auto given = std::make_unique<GivenFields>(1, months_of(2000, 2002), values);
        GivenFields* months = given.get();
        const auto source = summary_source(std::move(given), s, 2000, 2002);
        Field field;
        for (std::size_t k = 0; k < source->periods().size(); ++k) source->read(k, field);
        EXPECT_EQ(months->reads, 36) << summary_name(s);
    }
}

// A trend takes each annual mean at its own year: 1, 5, 7 at 2000, 2002 and
// 2003 rise by 2 a year (by 3 a step if the missing 2001 were not counted).
TEST(SummarySource, ATrendSkipsAYearWithoutAValueAndNeedsThreeYears) {
    auto value = [](std::int32_t year, std::int32_t month, std::size_t cell) {
        const std::int32_t t = year - 2000;
        if (cell == 0) return t == 1 ? kNaN : static_cast<float>(1 + 2 * t);
        if (cell == 1) return t == 1 || t == 2 ? 1e12f : 5.0f;                   // two years: no trend
        if (cell == 2) return static_cast<float>(100000 + 4 * t + (month % 2));  // large values, 4 a year
        return month == 6 ? static_cast<float>(10 - t) : kNaN;                   // one month a year, -1 a year
    };
    MemoryRun model(2000, 2003, 4, value);
    Field field;
    const auto source = summary_source(model.months(), Summary::trend, 2000, 2003);
    ASSERT_EQ(source->periods().size(), 1u);
    EXPECT_EQ(source->read(0, field).kind, FieldRead::Kind::whole);
    EXPECT_EQ(field.label, "2000-2003");
    EXPECT_FLOAT_EQ(field.values[0], 20.0f);
    EXPECT_TRUE(std::isnan(field.values[1]));
    EXPECT_FLOAT_EQ(field.values[2], 40.0f);
    EXPECT_FLOAT_EQ(field.values[3], -10.0f);
}

// A month of a bad block is a missing month: 2001-12 (24 in cell 0) is left
// out of 2001's sum (222 - 24), mean (198 / 11) and maximum, whether the
// source gives it as NaN or skips it; under BadBlock::stop the read fails.
TEST(SummarySource, AMonthOfABadBlockIsAMissingMonth) {
    for (const BadBlock policy : {BadBlock::nan, BadBlock::skip}) {
        MemoryRun model(2000, 2002, kCells, model_value);
        model.spoil_month_record(2001, 12, 7.0f);
        struct Case {
            Summary summary;
            float cell0;
        } cases[] = {{Summary::annual_sum, 198}, {Summary::annual_mean, 18}, {Summary::annual_max, 23}};
        for (const Case& c : cases) {
            const auto source = summary_source(model.months(policy), c.summary, 2000, 2002);
            Field field;
            const FieldRead read = source->read(1, field);
            EXPECT_EQ(read.kind, FieldRead::Kind::whole);
            EXPECT_NE(read.note.find("month"), std::string::npos) << read.note;
            EXPECT_EQ(field.values[0], c.cell0) << summary_name(c.summary);
            EXPECT_EQ(field.values[4], 14.0f);
            EXPECT_EQ(source->read(0, field).note, "");
        }
    }
    MemoryRun model(2000, 2002, kCells, model_value);
    model.spoil_month_record(2001, 12, 7.0f);
    const auto source = summary_source(model.months(BadBlock::stop), Summary::annual_mean, 2000, 2002);
    Field field;
    EXPECT_THROW(source->read(1, field), BlockError);
}

TEST(SummarySource, AFieldAllOfWhoseMonthsAreBadIsNanWithTheirNotes) {
    std::vector<std::vector<float>> values(24, std::vector<float>{4.0f, 1e12f});
    auto given = std::make_unique<GivenFields>(2, months_of(2000, 2001), values);
    for (std::size_t k = 0; k < 12; ++k) given->kinds[k] = k % 2 ? FieldRead::Kind::nan : FieldRead::Kind::skipped;
    given->kinds[12] = FieldRead::Kind::nan;
    const auto source = summary_source(std::move(given), Summary::annual_max, 2000, 2001);
    Field field;
    FieldRead read = source->read(0, field);
    EXPECT_EQ(read.kind, FieldRead::Kind::nan);
    EXPECT_EQ(read.note.substr(0, 27), "skipped 2000-01\nbad 2000-02");
    EXPECT_TRUE(std::isnan(field.values[0]));
    EXPECT_TRUE(std::isnan(field.values[1]));
    read = source->read(1, field);
    EXPECT_EQ(read.kind, FieldRead::Kind::whole);
    EXPECT_EQ(read.note, "bad 2001-01");
    EXPECT_EQ(field.values[0], 4.0f);
    EXPECT_TRUE(std::isnan(field.values[1]));
}

TEST(SummarySource, AStopAskedBeforeAMonthStopsTheField) {
    std::vector<std::vector<float>> values(12, std::vector<float>{1.0f});
    const auto source =
        summary_source(std::make_unique<GivenFields>(1, months_of(2000, 2000), values), Summary::run_mean, 2000, 2000);
    int asked = 0;
    Field field;
    EXPECT_EQ(source->read(0, field, [&] { return ++asked == 5; }).kind, FieldRead::Kind::stopped);
    EXPECT_EQ(asked, 5);
}

TEST(SummarySource, MonthsOfOtherYearsAreRefused) {
    std::vector<std::vector<float>> values(12, std::vector<float>{1.0f});
    EXPECT_THROW(summary_source(std::make_unique<GivenFields>(1, months_of(2001, 2001), values), Summary::annual_mean,
                                2000, 2000),
                 std::invalid_argument);
}

TEST(SummaryNames, EachNameAndCellMethod) {
    struct Row {
        Summary summary;
        const char* name;
        const char* method;
        bool whole_span;
    } rows[] = {
        {Summary::annual_mean, "annual-mean", "time: mean", false},
        {Summary::annual_sum, "annual-sum", "time: sum", false},
        {Summary::annual_min, "annual-min", "time: minimum", false},
        {Summary::annual_max, "annual-max", "time: maximum", false},
        {Summary::climatology, "climatology", "time: mean", false},
        {Summary::run_mean, "run-mean", "time: mean", true},
        {Summary::run_sd, "run-sd", "time: standard_deviation", true},
        {Summary::trend, "trend", "time: linear_trend", true},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(summary_named(r.name), r.summary) << r.name;
        EXPECT_EQ(summary_name(r.summary), r.name);
        EXPECT_EQ(cell_method(r.summary), r.method) << r.name;
        EXPECT_EQ(spans_run(r.summary), r.whole_span) << r.name;
    }
    for (const char* other : {"", "annual_mean", "Annual-Mean", "annual-mean ", "mean", "run-std"})
        EXPECT_FALSE(summary_named(other).has_value()) << other;
}

TEST(SummaryNames, TheMonthsEachFieldCovers) {
    struct Row {
        Summary summary;
        Period period;
        PeriodSpan span;
    } rows[] = {
        {Summary::annual_mean, {2001, 0}, {{2001, 1}, {2001, 12}}},
        {Summary::annual_max, {2003, 0}, {{2003, 1}, {2003, 12}}},
        {Summary::climatology, {0, 3}, {{2000, 3}, {2003, 3}}},
        {Summary::run_sd, {2000, 0}, {{2000, 1}, {2003, 12}}},
        {Summary::trend, {2000, 0}, {{2000, 1}, {2003, 12}}},
    };
    for (const Row& r : rows)
        EXPECT_EQ(period_span(r.summary, r.period, 2000, 2003), r.span) << summary_name(r.summary);
}

}  // namespace
}  // namespace veldra::fields
