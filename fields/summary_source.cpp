#include "fields/summary_source.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <span>
#include <stdexcept>
#include <utility>
#include <vector>

#include "fields/notes.h"
#include "modelfiles/number_text.h"
#include "modelfiles/valid_values.h"

namespace veldra::fields {

using files::integer_text;

namespace {

constexpr float kNoData = std::numeric_limits<float>::quiet_NaN();

struct Named {
    Summary summary;
    std::string_view name;
    std::string_view cell_method;
};

// The one table of the summaries' names and cell methods.
constexpr std::array<Named, 8> kSummaries{{
    {Summary::annual_mean, "annual-mean", "time: mean"},
    {Summary::annual_sum, "annual-sum", "time: sum"},
    {Summary::annual_min, "annual-min", "time: minimum"},
    {Summary::annual_max, "annual-max", "time: maximum"},
    {Summary::climatology, "climatology", "time: mean"},
    {Summary::run_mean, "run-mean", "time: mean"},
    {Summary::run_sd, "run-sd", "time: standard_deviation"},
    {Summary::trend, "trend", "time: linear_trend"},
}};

const Named& entry(Summary summary) {
    for (const Named& n : kSummaries)
        if (n.summary == summary) return n;
    throw std::invalid_argument("not a summary");
}

using Values = std::span<const float>;

// The sum (or mean) of the valid values of each cell.
class Totals {
public:
    explicit Totals(bool mean) : mean_(mean) {}
    void start(std::size_t n) {
        total_.assign(n, 0.0);
        count_.assign(n, 0);
    }
    void add(std::size_t, Values v) {
        for (std::size_t i = 0; i < v.size(); ++i)
            if (files::in_valid_range(v[i])) {
                total_[i] += v[i];
                ++count_[i];
            }
    }
    void finish(std::vector<float>& out) const {
        for (std::size_t i = 0; i < out.size(); ++i)
            out[i] = count_[i] == 0 ? kNoData : static_cast<float>(mean_ ? total_[i] / count_[i] : total_[i]);
    }
    bool any(std::size_t i) const { return count_[i] != 0; }
    double mean(std::size_t i) const { return total_[i] / count_[i]; }

private:
    bool mean_;
    std::vector<double> total_;
    std::vector<std::int32_t> count_;
};

// The least (or greatest) valid value of each cell.
class Extreme {
public:
    explicit Extreme(bool greatest) : greatest_(greatest) {}
    void start(std::size_t n) { best_.assign(n, kNoData); }
    void add(std::size_t, Values v) {
        for (std::size_t i = 0; i < v.size(); ++i) {
            const float x = v[i];
            if (!files::in_valid_range(x)) continue;
            if (std::isnan(best_[i]) || (greatest_ ? x > best_[i] : x < best_[i])) best_[i] = x;
        }
    }
    void finish(std::vector<float>& out) const { std::copy(best_.begin(), best_.end(), out.begin()); }

private:
    bool greatest_;
    std::vector<float> best_;
};

// The population standard deviation of the valid values of each cell. The
// sums are of the differences from the cell's first valid value, so that a
// large mean does not eat the digits of a small spread.
class Spread {
public:
    void start(std::size_t n) {
        count_.assign(n, 0);
        shift_.assign(n, 0.0f);
        sum_.assign(n, 0.0);
        squares_.assign(n, 0.0);
    }
    void add(std::size_t, Values v) {
        for (std::size_t i = 0; i < v.size(); ++i) {
            if (!files::in_valid_range(v[i])) continue;
            if (count_[i]++ == 0) shift_[i] = v[i];
            const double d = static_cast<double>(v[i]) - shift_[i];
            sum_[i] += d;
            squares_[i] += d * d;
        }
    }
    void finish(std::vector<float>& out) const {
        for (std::size_t i = 0; i < out.size(); ++i) {
            if (count_[i] == 0) {
                out[i] = kNoData;
                continue;
            }
            const double n = count_[i];
            const double variance = (squares_[i] - sum_[i] * sum_[i] / n) / n;
            out[i] = static_cast<float>(std::sqrt(std::max(variance, 0.0)));
        }
    }

private:
    std::vector<std::int32_t> count_;
    std::vector<float> shift_;
    std::vector<double> sum_, squares_;
};

// The least-squares slope of each cell's annual means against the year, per
// decade. The months come in order; a year's means join the sums when the
// next year begins. The year is counted from the first year of the span and
// the means from the cell's first one, which changes no slope.
class Trend {
public:
    void start(std::size_t n) {
        year_.start(n);
        year_index_ = -1;
        count_.assign(n, 0);
        shift_.assign(n, 0.0);
        st_.assign(n, 0.0);
        stt_.assign(n, 0.0);
        sy_.assign(n, 0.0);
        sty_.assign(n, 0.0);
    }
    void add(std::size_t month_index, Values v) {
        const auto y = static_cast<std::int64_t>(month_index / 12);
        if (y != year_index_) {
            fold();
            year_.start(v.size());
            year_index_ = y;
        }
        year_.add(month_index, v);
    }
    void finish(std::vector<float>& out) {
        fold();
        for (std::size_t i = 0; i < out.size(); ++i) {
            const double n = count_[i];
            const double denominator = n * stt_[i] - st_[i] * st_[i];
            out[i] = count_[i] < kTrendYears || denominator <= 0
                         ? kNoData
                         : static_cast<float>(10.0 * (n * sty_[i] - st_[i] * sy_[i]) / denominator);
        }
    }

private:
    void fold() {
        if (year_index_ < 0) return;
        const auto t = static_cast<double>(year_index_);
        for (std::size_t i = 0; i < count_.size(); ++i) {
            if (!year_.any(i)) continue;
            if (count_[i]++ == 0) shift_[i] = year_.mean(i);
            const double y = year_.mean(i) - shift_[i];
            st_[i] += t;
            stt_[i] += t * t;
            sy_[i] += y;
            sty_[i] += t * y;
        }
        year_index_ = -1;
    }

    Totals year_{true};
    std::int64_t year_index_ = -1;
    std::vector<std::int32_t> count_;
    std::vector<double> shift_, st_, stt_, sy_, sty_;
};

// The months a field reads: `count` of them from `first`, `stride` apart.
struct MonthRange {
    std::size_t first = 0;
    std::size_t count = 0;
    std::size_t stride = 1;
};

class SummarySource final : public FieldSource {
public:
    SummarySource(std::unique_ptr<FieldSource> months, Summary summary, std::int32_t first_year,
                  std::int32_t last_year);

    std::int64_t cell_count() const override { return months_->cell_count(); }
    const std::vector<Period>& periods() const override { return periods_; }
    FieldRead read(std::size_t k, Field& field, const StopAsked& stop = {}) override;
    void check_span() const override { months_->check_span(); }

private:
    MonthRange months_of_field(std::size_t k) const;
    template <class Accumulator>
    FieldRead reduce(MonthRange range, Accumulator& acc, Field& field, const StopAsked& stop);

    std::unique_ptr<FieldSource> months_;
    Summary summary_;
    std::int32_t first_year_, last_year_;
    std::vector<Period> periods_;
    Field month_;
};

SummarySource::SummarySource(std::unique_ptr<FieldSource> months, Summary summary, std::int32_t first_year,
                             std::int32_t last_year)
    : months_(std::move(months)), summary_(summary), first_year_(first_year), last_year_(last_year) {
    if (!months_ || months_->periods() != months_of(first_year, last_year))
        throw std::invalid_argument("a summary of " + span_label(first_year, last_year) +
                                    " needs a source of the months of those years, in order");
    if (first_year > last_year) return;
    if (spans_run(summary))
        periods_.push_back({first_year, 0});
    else if (summary == Summary::climatology)
        for (std::int32_t m = 1; m <= 12; ++m) periods_.push_back({0, m});
    else
        for (std::int64_t y = first_year; y <= last_year; ++y) periods_.push_back({static_cast<std::int32_t>(y), 0});
}

MonthRange SummarySource::months_of_field(std::size_t k) const {
    const std::size_t all = months_->periods().size();
    if (spans_run(summary_)) return {0, all, 1};
    if (summary_ == Summary::climatology) return {k, all / 12, 12};
    return {12 * k, 12, 1};
}

template <class Accumulator>
FieldRead SummarySource::reduce(MonthRange range, Accumulator& acc, Field& field, const StopAsked& stop) {
    const auto n = static_cast<std::size_t>(cell_count());
    acc.start(n);
    std::size_t bad = 0;
    std::string notes;
    for (std::size_t j = 0; j < range.count; ++j) {
        const std::size_t k = range.first + j * range.stride;
        const FieldRead month = months_->read(k, month_, stop);
        if (month.kind == FieldRead::Kind::stopped) return {FieldRead::Kind::stopped, {}};
        if (month.kind != FieldRead::Kind::whole) {
            ++bad;
            add_note(notes, "", month.note);
            continue;  // every value of a bad month is missing
        }
        if (month_.values.size() != n)
            throw std::logic_error("a month of " + files::integer_text(static_cast<std::int64_t>(month_.values.size())) +
                                   " values where the cells are " + files::integer_text(cell_count()));
        acc.add(k, Values(month_.values));
    }
    field.values.resize(n);
    acc.finish(field.values);
    const bool all_bad = range.count > 0 && bad == range.count;
    return {all_bad ? FieldRead::Kind::nan : FieldRead::Kind::whole, std::move(notes)};
}

FieldRead SummarySource::read(std::size_t k, Field& field, const StopAsked& stop) {
    const Period period = periods_.at(k);
    const MonthRange range = months_of_field(k);
    FieldRead result;
    switch (summary_) {
    case Summary::annual_mean:
    case Summary::annual_sum:
    case Summary::climatology:
    case Summary::run_mean: {
        Totals totals(summary_ != Summary::annual_sum);
        result = reduce(range, totals, field, stop);
        break;
    }
    case Summary::annual_min:
    case Summary::annual_max: {
        Extreme extreme(summary_ == Summary::annual_max);
        result = reduce(range, extreme, field, stop);
        break;
    }
    case Summary::run_sd: {
        Spread spread;
        result = reduce(range, spread, field, stop);
        break;
    }
    case Summary::trend: {
        Trend trend;
        result = reduce(range, trend, field, stop);
        break;
    }
    }
    field.period = period;
    field.label = spans_run(summary_) ? span_label(first_year_, last_year_) : period_label(period);
    return result;
}

}  // namespace

std::optional<Summary> summary_named(std::string_view name) {
    for (const Named& n : kSummaries)
        if (n.name == name) return n.summary;
    return std::nullopt;
}

std::string_view summary_name(Summary summary) {
    return entry(summary).name;
}

std::string_view cell_method(Summary summary) {
    return entry(summary).cell_method;
}

bool spans_run(Summary summary) {
    return summary == Summary::run_mean || summary == Summary::run_sd || summary == Summary::trend;
}

PeriodSpan period_span(Summary summary, const Period& period, std::int32_t first_year, std::int32_t last_year) {
    if (spans_run(summary)) return {{first_year, 1}, {last_year, 12}};
    if (summary == Summary::climatology) return {{first_year, period.month}, {last_year, period.month}};
    return {{period.year, 1}, {period.year, 12}};
}

std::string span_label(std::int32_t first_year, std::int32_t last_year) {
    return files::integer_text(first_year) + "-" + files::integer_text(last_year);
}

std::unique_ptr<FieldSource> summary_source(std::unique_ptr<FieldSource> months, Summary summary,
                                            std::int32_t first_year, std::int32_t last_year) {
    return std::make_unique<SummarySource>(std::move(months), summary, first_year, last_year);
}

}  // namespace veldra::fields
