// A run against a baseline: the value of each comparison, cells paired by
// position whatever the order of the cell files, and the refusals of grids,
// cells and years that do not pair.
#include "fields/baseline_source.h"

#include <gtest/gtest.h>

#include <cmath>

#include "fields/summary_source.h"
#include "fields_model.h"
#include "modelfiles/file_io.h"

namespace veldra::fields {
namespace {

using fields_test::GivenFields;
using fields_test::kNaN;
using fields_test::MemoryRun;
using fields_test::same_value;

constexpr float N = std::numeric_limits<float>::quiet_NaN();

TEST(Compare, EachComparisonOfTwoValues) {
    struct Row {
        float self, baseline;
        float difference, ratio, percent;
    } rows[] = {
        {3, 2, 1, 1.5f, 50}, {1, 4, -3, 0.25f, -75}, {-2, 4, -6, -0.5f, -150},
        {5, 0, 5, N, N},                                                  // a baseline of 0: no ratio or percentage
        {0, 0, 0, N, N},     {0, 8, -8, 0, -100},    {kNaN, 2, N, N, N},  // NaN in either
        {2, kNaN, N, N, N},  {1e12f, 2, N, N, N},                         // outside the valid range in either
        {2, 1e12f, N, N, N}, {2, -1e13f, N, N, N},   {-9999, 1, -10000, -9999, -1000000},  // -9999 is a value
    };
    for (const Row& r : rows) {
        const std::string where = std::to_string(r.self) + " against " + std::to_string(r.baseline);
        EXPECT_TRUE(same_value(compared(r.self, r.baseline, Compare::difference), r.difference)) << where;
        EXPECT_TRUE(same_value(compared(r.self, r.baseline, Compare::ratio), r.ratio)) << where;
        EXPECT_TRUE(same_value(compared(r.self, r.baseline, Compare::percent), r.percent)) << where;
    }
}

TEST(Compare, Names) {
    for (const Compare how : {Compare::difference, Compare::ratio, Compare::percent})
        EXPECT_EQ(compare_named(compare_name(how)), how);
    EXPECT_EQ(compare_name(Compare::difference), "difference");
    EXPECT_EQ(compare_name(Compare::ratio), "ratio");
    EXPECT_EQ(compare_name(Compare::percent), "percent");
    for (const char* other : {"", "diff", "Ratio", "percentage", "ratio "})
        EXPECT_FALSE(compare_named(other).has_value()) << other;
}

files::RangeCell cell(std::int32_t number, std::int32_t x, std::int32_t y) {
    return {number, 1, x, y, 1};
}

const CellGrid kGrid{360, 180, 1.0f};

// The baseline's cells in another order, one more of them, and two at one
// position (the later pairs).
TEST(PairCells, CellsPairByPositionWhateverTheirOrder) {
    const std::vector<files::RangeCell> self = {cell(1, 10, 5), cell(2, 11, 5), cell(3, 10, 6), cell(4, 360, 180)};
    const std::vector<files::RangeCell> baseline = {cell(7, 10, 6),    cell(8, 1, 1),  cell(9, 11, 5),
                                             cell(5, 360, 180), cell(6, 10, 5), cell(10, 10, 6)};
    const CellPairing pairing = pair_cells(self, baseline, kGrid, kGrid, "a/Rng_Data.vrd", "b/Rng_Data.vrd");
    EXPECT_EQ(pairing.baseline_index, (std::vector<std::int64_t>{4, 2, 5, 3}));
    EXPECT_EQ(same_cells(3).baseline_index, (std::vector<std::int64_t>{0, 1, 2}));
}

std::string refusal(const std::function<void()>& f) {
    try {
        f();
    } catch (const files::ModelFileError& e) {
        return e.what();
    }
    return "no error";
}

TEST(PairCells, RefusalsNameTheFirstCellOrTheGridThatDiffers) {
    const std::vector<files::RangeCell> self = {cell(1, 10, 5), cell(2, 12, 5), cell(3, 13, 5)};
    const std::vector<files::RangeCell> baseline = {cell(1, 10, 5), cell(2, 11, 5)};
    struct Row {
        CellGrid baseline_grid;
        std::string message;
    } rows[] = {
        {kGrid, "a/Rng_Data.vrd: cell 2 (number 2, column 12, row 5) has no cell at its position in b/Rng_Data.vrd"},
        {{720, 360, 0.5f},
         "a/Rng_Data.vrd: the grid of 360 x 180 cells of 1 degree differs from that of b/Rng_Data.vrd, "
         "720 x 360 cells of 0.5 degree; a baseline pairs its cells by position on the same grid"},
        {{360, 180, 0.9f},
         "a/Rng_Data.vrd: the grid of 360 x 180 cells of 1 degree differs from that of b/Rng_Data.vrd, "
         "360 x 180 cells of 0.9 degree; a baseline pairs its cells by position on the same grid"},
        {{360, 90, 1.0f},
         "a/Rng_Data.vrd: the grid of 360 x 180 cells of 1 degree differs from that of b/Rng_Data.vrd, "
         "360 x 90 cells of 1 degree; a baseline pairs its cells by position on the same grid"},
    };
    for (const Row& r : rows)
        EXPECT_EQ(
            refusal([&] { pair_cells(self, baseline, kGrid, r.baseline_grid, "a/Rng_Data.vrd", "b/Rng_Data.vrd"); }),
            r.message);
}

TEST(PairCells, ABaselineMustHoldTheYearsAsked) {
    struct Row {
        std::int32_t first, last;
        const char* message;
    } rows[] = {
        {2001, 2010, nullptr},
        {2004, 2004, nullptr},
        {2000, 2005,
         "b/Rng_Data.vrd: the run holds the years 2001 to 2010; year 2000 of 2000 to 2005 is not among them"},
        {2008, 2012,
         "b/Rng_Data.vrd: the run holds the years 2001 to 2010; year 2011 of 2008 to 2012 is not among them"},
        {2012, 2013,
         "b/Rng_Data.vrd: the run holds the years 2001 to 2010; year 2012 of 2012 to 2013 is not among them"},
        {1990, 2020,
         "b/Rng_Data.vrd: the run holds the years 2001 to 2010; year 1990 of 1990 to 2020 is not among them"},
    };
    for (const Row& r : rows)
        EXPECT_EQ(refusal([&] { check_years_cover(r.first, r.last, 2001, 2010, "b/Rng_Data.vrd"); }),
                  r.message ? r.message : "no error")
            << r.first << "-" << r.last;
}

std::unique_ptr<GivenFields> given(std::vector<Period> periods, std::vector<std::vector<float>> values) {
    const auto cells = static_cast<std::int64_t>(values.at(0).size());
    return std::make_unique<GivenFields>(cells, std::move(periods), std::move(values));
}

// This run's cells A B C; the baseline's C A B, so that a pairing by the
// place in the file would compare other cells.
TEST(CompareSource, EachFieldAgainstTheSameFieldOfTheBaselineByPosition) {
    const std::vector<files::RangeCell> self = {cell(1, 1, 1), cell(2, 2, 1), cell(3, 3, 1)};
    const std::vector<files::RangeCell> base = {cell(1, 3, 1), cell(2, 1, 1), cell(3, 2, 1)};
    const CellPairing pairing = pair_cells(self, base, kGrid, kGrid, "a", "b");
    const std::vector<Period> years = {{2000, 0}, {2001, 0}};
    struct Row {
        Compare how;
        std::vector<float> first, second;
    } rows[] = {
        {Compare::difference, {6, 1, 3}, {-2, N, 3}},
        {Compare::ratio, {4, 2, N}, {0.5f, N, N}},
        {Compare::percent, {300, 100, N}, {-50, N, N}},
    };
    for (const Row& r : rows) {
        const auto source = compare_source(given(years, {{8, 2, 3}, {2, 1e12f, 3}}),
                                           given(years, {{0, 2, 1}, {0, 4, 2}}), r.how, pairing);
        Field field;
        EXPECT_EQ(source->read(0, field).kind, FieldRead::Kind::whole);
        EXPECT_EQ(field.label, "2000");
        for (std::size_t i = 0; i < 3; ++i) EXPECT_TRUE(same_value(field.values[i], r.first[i])) << i;
        source->read(1, field);
        EXPECT_EQ(field.period, (Period{2001, 0}));
        for (std::size_t i = 0; i < 3; ++i) EXPECT_TRUE(same_value(field.values[i], r.second[i])) << i;
    }
}

// The annual means of a run against the mean of another span (the whole
// span's one field), read once for every year.
TEST(CompareSource, ABaselineOfOneFieldStandsBesideEveryField) {
    MemoryRun run(2000, 2003, 1, [](std::int32_t year, std::int32_t month, std::size_t) {
        return static_cast<float>(10 * (year - 2000) + month);  // annual means 6.5, 16.5, 26.5, 36.5
    });
    auto annual = summary_source(run.months(2002, 2003), Summary::annual_mean, 2002, 2003);
    auto base = summary_source(run.months(2000, 2001), Summary::run_mean, 2000, 2001);  // 11.5
    const auto source = compare_source(std::move(annual), std::move(base), Compare::difference, same_cells(1));
    ASSERT_EQ(source->periods(), (std::vector<Period>{{2002, 0}, {2003, 0}}));
    Field field;
    source->read(0, field);
    EXPECT_EQ(field.values[0], 15.0f);
    source->read(1, field);
    EXPECT_EQ(field.values[0], 25.0f);

    // The mean of 2002-2003 (31.5) against that of 2000-2001: one field each, of other periods.
    const auto spans = compare_source(summary_source(run.months(2002, 2003), Summary::run_mean, 2002, 2003),
                                      summary_source(run.months(2000, 2001), Summary::run_mean, 2000, 2001),
                                      Compare::ratio, same_cells(1));
    ASSERT_EQ(spans->read(0, field).kind, FieldRead::Kind::whole);
    EXPECT_EQ(field.label, "2002-2003");
    EXPECT_FLOAT_EQ(field.values[0], 31.5f / 11.5f);
}

// A baseline of one field is read once, however many fields this run has.
TEST(CompareSource, ASingleBaselineFieldIsReadOnce) {
    auto base = given({{2000, 0}}, {{2}});
    GivenFields* baseline = base.get();
    const auto source = compare_source(given(months_of(2001, 2001), std::vector<std::vector<float>>(12, {6})),
                                       std::move(base), Compare::ratio, same_cells(1));
    Field field;
    for (std::size_t k = 0; k < 12; ++k) {
        source->read(k, field);
        EXPECT_EQ(field.values[0], 3.0f);
    }
    EXPECT_EQ(baseline->reads, 1);
}

TEST(CompareSource, ABaselineWithoutAFieldOfThisRunIsRefused) {
    struct Row {
        std::vector<Period> self, baseline;
        const char* message;
    } rows[] = {
        {{{2000, 0}, {2001, 0}},
         {{2000, 0}, {2002, 0}},
         "the baseline has no field of 2001 (field 2 of this run) to compare with"},
        {{{0, 1}, {0, 2}},
         {{1990, 0}, {1991, 0}},
         "the baseline has no field of 01 (field 1 of this run) to compare with"},
        {{{2000, 0}}, {{2000, 0}, {2001, 0}}, "the baseline has more fields (2) than this run (1)"},
    };
    for (const Row& r : rows) {
        std::string message = "no error";
        try {
            compare_source(given(r.self, std::vector<std::vector<float>>(r.self.size(), {1.0f})),
                           given(r.baseline, std::vector<std::vector<float>>(r.baseline.size(), {1.0f})),
                           Compare::difference, same_cells(1));
        } catch (const files::Error& e) {
            message = e.what();
        }
        EXPECT_EQ(message, r.message);
    }
}

TEST(CompareSource, BadFieldsOfEitherSide) {
    const std::vector<Period> months = {{2000, 1}, {2000, 2}, {2000, 3}};
    auto self = given(months, {{5}, {5}, {5}});
    auto base = given(months, {{1}, {1}, {1}});
    self->kinds[0] = FieldRead::Kind::skipped;
    base->kinds[1] = FieldRead::Kind::skipped;
    base->kinds[2] = FieldRead::Kind::nan;
    const auto source = compare_source(std::move(self), std::move(base), Compare::difference, same_cells(1));
    Field field;
    FieldRead read = source->read(0, field);
    EXPECT_EQ(read.kind, FieldRead::Kind::skipped);
    EXPECT_EQ(read.note, "skipped 2000-01");
    read = source->read(1, field);
    EXPECT_EQ(read.kind, FieldRead::Kind::nan);
    EXPECT_EQ(read.note, "baseline: skipped 2000-02");
    EXPECT_TRUE(std::isnan(field.values[0]));
    read = source->read(2, field);
    EXPECT_EQ(read.kind, FieldRead::Kind::nan);
    EXPECT_EQ(read.note, "baseline: bad 2000-03");
    EXPECT_TRUE(std::isnan(field.values[0]));
}

}  // namespace
}  // namespace veldra::fields
