#include "fields/monthly_source.h"

#include <limits>

#include "modelfiles/number_text.h"
#include "modelfiles/paths.h"

namespace veldra::fields {

using files::integer_text;

MonthlySource::MonthlySource(const RunVariable& run, std::int32_t layer, std::int32_t first_year,
                             std::int32_t last_year, BadBlock policy, files::FileAccess& files)
    : run_(run),
      layer_(layer),
      policy_(policy),
      path_(files::variable_path(run.model_folder, run.file_name)),
      file_(files::VariableFile::open(files::path_to_open(path_), files)),
      periods_(months_of(first_year, last_year)) {}

files::BlockAddress MonthlySource::address(const Period& period) const {
    return {period.year, period.month, layer_, run_.first_year, run_.layer_count, run_.cell_count};
}

void MonthlySource::check_span() const {
    if (periods_.empty()) return;
    if (const std::optional<std::string> past_end = last_block_past_end(path_, file_, address(periods_.back())))
        throw BlockError{*past_end + "."};
}

FieldRead MonthlySource::read(std::size_t k, Field& field, const StopAsked& stop) {
    if (stop && stop()) return {FieldRead::Kind::stopped, {}};
    const Period& period = periods_.at(k);
    const files::BlockAddress a = address(period);
    const files::CheckedBlock b = read_checked_block(file_, a, block_);
    field.period = period;
    field.label = period_label(period);
    const FieldRead::Kind kind = judge_block(b, policy_, path_, a, block_.data());
    if (kind == FieldRead::Kind::whole) {
        field.values.assign(block_.begin() + 3, block_.end());
        return {};
    }
    std::string note = leading_mismatch_message(b.fault, block_.data(), files::integer_text(run_.cell_count), a);
    if (kind == FieldRead::Kind::skipped) return {kind, std::move(note)};
    field.values.assign(static_cast<std::size_t>(run_.cell_count), std::numeric_limits<float>::quiet_NaN());
    return {FieldRead::Kind::nan, std::move(note)};
}

}  // namespace veldra::fields
