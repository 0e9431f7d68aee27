// The fields veldra_export writes: the months of the span as they stand, or
// a summary of them (fields/summary_source.h), against a baseline run
// (fields/baseline_source.h) or as anomalies against the climatology of a
// baseline period (fields/anomaly_source.h). Every format writes them; the
// names of their files and what the files say of them are here too, in one
// place.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "export/grid_export.h"
#include "fields/baseline_source.h"
#include "fields/summary_source.h"
#include "modelfiles/viewer_model.h"

namespace veldra::out {

struct BaselinePeriod {
    std::int32_t first_year = 0;
    std::int32_t last_year = 0;
};

// What the command line asks of the fields beyond the months.
struct FieldRequest {
    std::optional<fields::Summary> summary;                   // --summary
    const files::LoadedModel* baseline = nullptr;                    // --baseline, loaded
    fields::Compare compare = fields::Compare::difference;    // --compare
    std::optional<BaselinePeriod> baseline_period;            // --baseline-period

    // Nothing beyond the months.
    bool plain() const { return !summary && !baseline && !baseline_period; }
};

// "Y0-Y1", two whole numbers, the first not after the second; nothing else.
std::optional<BaselinePeriod> parse_baseline_period(const std::string& text);

// "annual-mean, annual-sum, ... or trend": the names --summary takes.
std::string summary_names();

// The name a file root takes after the variable's: "_<summary>" with a
// summary, "_<compare>" against a baseline, "_anomaly" with a baseline
// period, in that order ("_annual-mean_difference"); empty for the months.
std::string request_suffix(const FieldRequest& request);

// The part of a file name after "<root>_" of a field of `period`:
// "2000_03" for a month of a year, "2000" for a year, "03" for a calendar
// month, "2000-2009" for the whole span of a summary of the run.
std::string period_file_part(const FieldRequest& request, const fields::Period& period, std::int32_t first_year,
                             std::int32_t last_year);

// The periods of the fields of `request` over first_year..last_year.
std::vector<fields::Period> requested_periods(const FieldRequest& request, std::int32_t first_year,
                                              std::int32_t last_year);

// Raises LoadError when the baseline run cannot stand beside this one: it
// lacks the variable, or its years do not cover those compared (the span
// without a baseline period, else the baseline period). A baseline period
// without a baseline must lie within this run.
void check_request(const FieldRequest& request, const files::LoadedModel& model, const files::OutputEntry& entry,
                   std::int32_t first_year, std::int32_t last_year);

// The fields of `request` over the months first_year-01 to last_year-12 of
// `source`, with `policy` for a bad block. Pairing the cells of a baseline
// raises ModelFileError when they do not pair.
OpenFields requested_fields(const FieldRequest& request, const ExportSource& source, std::int32_t first_year,
                            std::int32_t last_year, fields::BadBlock policy, files::FileAccess& files);

}  // namespace veldra::out
