// Summaries of the months of a span of years: a field per year, per calendar
// month or for the whole span, made in one pass over the months each field
// needs, with memory that grows with the cells and never with the years.
//
// Every month's value goes through in_valid_range (modelfiles/valid_values.h)
// first: a value outside it, NaN, a month of a bad block under BadBlock::nan
// and a month a source skipped are all a missing month of that cell. A
// period's mean, sum, minimum and maximum are over its valid months, each
// month weighing the same; a cell with no valid month in a period is no data
// (NaN) there.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

#include "fields/field_source.h"

namespace veldra::fields {

enum class Summary {
    annual_mean,  // a field per year, Period{year, 0}, "2000"
    annual_sum,
    annual_min,
    annual_max,
    climatology,  // a field per calendar month over the years, Period{0, month}, "03": the mean of its months
    run_mean,     // one field for the span, Period{first_year, 0}, "2000-2009": the mean of every valid month
    run_sd,       // as run_mean: the standard deviation of the valid months, divided by their count
    trend,        // as run_mean: the least-squares slope of the annual means against the year, per decade;
                  // no data for a cell with fewer than kTrendYears annual means
};

// A year has an annual mean when at least one of its months is valid.
inline constexpr int kTrendYears = 3;

// "annual-mean", "annual-sum", "annual-min", "annual-max", "climatology",
// "run-mean", "run-sd", "trend"; nothing for any other name.
std::optional<Summary> summary_named(std::string_view name);
std::string_view summary_name(Summary summary);

// The CF cell_methods of a summary's values: "time: mean", "time: sum",
// "time: minimum", "time: maximum", "time: mean" (a climatology: CF writes
// "time: mean within years time: mean over years" beside its climatology
// bounds), "time: standard_deviation", and for a trend "time: linear_trend"
// (not a CF method: the slope per decade of the annual means, whose unit is
// the variable's per decade).
std::string_view cell_method(Summary summary);

// Whether the fields of a summary stand for the whole span (one field).
bool spans_run(Summary summary);

// The first and last month a field covers, for the time bounds of a file: a
// year's January to December; a calendar month's month of first_year to that
// of last_year (the climatology bounds); the whole span's first_year-01 to
// last_year-12.
struct PeriodSpan {
    Period first;
    Period last;
    friend bool operator==(const PeriodSpan&, const PeriodSpan&) = default;
};
PeriodSpan period_span(Summary summary, const Period& period, std::int32_t first_year, std::int32_t last_year);

// The label of a field of the whole span: "2000-2009".
std::string span_label(std::int32_t first_year, std::int32_t last_year);

// The summary of `months`, which yields the months first_year-01 to
// last_year-12 in order (its periods(); otherwise std::invalid_argument).
// Field k of an annual summary reads months 12k to 12k + 11; field m - 1 of a
// climatology reads month m of every year; the field of the span reads every
// month. A read stopped before any of its months gives FieldRead::stopped; a
// summary some of whose months were bad is whole, with their notes; one all
// of whose months were bad is FieldRead::nan.
std::unique_ptr<FieldSource> summary_source(std::unique_ptr<FieldSource> months, Summary summary,
                                            std::int32_t first_year, std::int32_t last_year);

}  // namespace veldra::fields
