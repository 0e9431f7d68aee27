#include "export/derived_fields.h"

#include <algorithm>
#include <memory>
#include <utility>

#include "export/export_settings.h"
#include "export/month_values.h"
#include "fields/anomaly_source.h"
#include "modelfiles/list_reader.h"
#include "modelfiles/number_text.h"

namespace veldra::out {
namespace {

constexpr fields::Summary kSummaries[] = {
    fields::Summary::annual_mean, fields::Summary::annual_sum,  fields::Summary::annual_min,
    fields::Summary::annual_max,  fields::Summary::climatology, fields::Summary::run_mean,
    fields::Summary::run_sd,      fields::Summary::trend,
};

std::string two_digits(std::int32_t v) {
    std::string text = files::integer_text(v);
    if (v >= 0 && v < 10) text.insert(text.begin(), '0');
    return text;
}

const files::OutputEntry& baseline_entry(const files::LoadedModel& baseline, const files::OutputEntry& entry) {
    const auto found = std::find_if(baseline.OutputTable.begin(), baseline.OutputTable.end(),
                                    [&](const files::OutputEntry& e) { return e.FileName == entry.FileName; });
    if (found == baseline.OutputTable.end())
        throw files::LoadError(baseline.list_path() + ": the baseline run has no variable " + entry.FileName);
    if (found->LayerCount != entry.LayerCount)
        throw files::LoadError(baseline.list_path() + ": " + entry.FileName + " of the baseline run has " +
                        files::integer_text(found->LayerCount) + " layers, not " + files::integer_text(entry.LayerCount));
    return *found;
}

fields::CellGrid grid_of(const files::GlobeMask& land, float cell_size) { return {land.cols, land.rows, cell_size}; }

// The months of the baseline run's `layer` over first_year..last_year.
std::unique_ptr<fields::FieldSource> baseline_months(const files::LoadedModel& baseline, const std::string& variable,
                                                     std::int32_t layer, std::int32_t first_year,
                                                     std::int32_t last_year, fields::BadBlock policy,
                                                     files::FileAccess& files) {
    const auto entry = std::find_if(baseline.OutputTable.begin(), baseline.OutputTable.end(),
                                    [&](const files::OutputEntry& e) { return e.FileName == variable; });
    const ExportSource other = *export_source(baseline, &*entry, layer);
    return monthly_fields(other, first_year, last_year, policy, files)(layer);
}

fields::CellPairing baseline_pairing(const FieldRequest& request, const ExportSource& source) {
    if (!request.baseline) return fields::same_cells(source.cell_count);
    const files::LoadedModel& b = *request.baseline;
    return fields::pair_cells(source.cells, b.CellTable, grid_of(source.land, source.cell_size),
                              grid_of(b.GlobeMask, b.GridInfo.cellSize), cell_file_path(source),
                              b.cell_path());
}

}  // namespace

std::optional<BaselinePeriod> parse_baseline_period(const std::string& text) {
    const std::size_t dash = text.find('-', 1);
    if (dash == std::string::npos) return std::nullopt;
    const auto first = files::parse_whole(std::string_view(text).substr(0, dash));
    const auto last = files::parse_whole(std::string_view(text).substr(dash + 1));
    if (!first || !last || *last < *first) return std::nullopt;
    return BaselinePeriod{*first, *last};
}

std::string summary_names() {
    std::string names;
    for (std::size_t k = 0; k < std::size(kSummaries); ++k) {
        if (k > 0) names += k + 1 == std::size(kSummaries) ? " or " : ", ";
        names += fields::summary_name(kSummaries[k]);
    }
    return names;
}

std::string request_suffix(const FieldRequest& request) {
    std::string suffix;
    if (request.summary) suffix.append("_").append(fields::summary_name(*request.summary));
    if (request.baseline_period) suffix.append("_anomaly");
    else if (request.baseline) suffix.append("_").append(fields::compare_name(request.compare));
    return suffix;
}

std::string period_file_part(const FieldRequest& request, const fields::Period& period, std::int32_t first_year,
                             std::int32_t last_year) {
    if (request.summary && fields::spans_run(*request.summary)) return fields::span_label(first_year, last_year);
    if (period.year == 0) return two_digits(period.month);
    if (period.month == 0) return files::integer_text(period.year);
    return files::integer_text(period.year) + "_" + two_digits(period.month);
}

std::vector<fields::Period> requested_periods(const FieldRequest& request, std::int32_t first_year,
                                              std::int32_t last_year) {
    if (!request.summary) return fields::months_of(first_year, last_year);
    if (fields::spans_run(*request.summary)) return {fields::Period{first_year, 0}};
    std::vector<fields::Period> periods;
    if (*request.summary == fields::Summary::climatology)
        for (std::int32_t m = 1; m <= 12; ++m) periods.push_back({0, m});
    else
        for (std::int32_t y = first_year; y <= last_year; ++y) periods.push_back({y, 0});
    return periods;
}

void check_request(const FieldRequest& request, const files::LoadedModel& model, const files::OutputEntry& entry,
                   std::int32_t first_year, std::int32_t last_year) {
    if (request.baseline) {
        const files::LoadedModel& b = *request.baseline;
        baseline_entry(b, entry);
        const BaselinePeriod years = request.baseline_period.value_or(BaselinePeriod{first_year, last_year});
        fields::check_years_cover(years.first_year, years.last_year, b.first_year(), b.GridInfo.lastYear,
                                  b.cell_path());
    } else if (request.baseline_period) {
        fields::check_years_cover(request.baseline_period->first_year, request.baseline_period->last_year,
                                  model.first_year(), model.GridInfo.lastYear, model.cell_path());
    }
}

OpenFields requested_fields(const FieldRequest& request, const ExportSource& source, std::int32_t first_year,
                            std::int32_t last_year, fields::BadBlock policy, files::FileAccess& files) {
    const OpenFields months = monthly_fields(source, first_year, last_year, policy, files);
    if (request.plain()) return months;
    return [request, source, first_year, last_year, policy, months, &files](std::int32_t layer) {
        std::unique_ptr<fields::FieldSource> self = months(layer);
        const auto summarised = [&](std::unique_ptr<fields::FieldSource> fields) {
            if (!request.summary) return fields;
            return fields::summary_source(std::move(fields), *request.summary, first_year, last_year);
        };
        const fields::CellPairing pairing = baseline_pairing(request, source);
        if (request.baseline_period) {
            const BaselinePeriod p = *request.baseline_period;
            std::unique_ptr<fields::FieldSource> normal =
                request.baseline ? baseline_months(*request.baseline, source.file_name, layer, p.first_year,
                                                   p.last_year, policy, files)
                                 : monthly_fields(source, p.first_year, p.last_year, policy, files)(layer);
            const std::optional<fields::Climatology> climatology =
                fields::climatology_of(std::move(normal), p.first_year, p.last_year);
            return summarised(fields::anomaly_source(std::move(self), *climatology, pairing));
        }
        if (!request.baseline) return summarised(std::move(self));
        std::unique_ptr<fields::FieldSource> other =
            baseline_months(*request.baseline, source.file_name, layer, first_year, last_year, policy, files);
        return fields::compare_source(summarised(std::move(self)), summarised(std::move(other)), request.compare,
                                      pairing);
    };
}

}  // namespace veldra::out
