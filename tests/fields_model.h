// Small runs for the tests of the derived field sources: a variable file in
// memory read by the monthly source, and a source of fields given outright,
// whose reads can be made bad, skipped or stopped.
#pragma once

#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "fields/field_source.h"
#include "fields/monthly_source.h"
#include "modelfiles/model_writer.h"
#include "modelfiles/paths.h"
#include "support/memory_files.h"

namespace veldra::fields_test {

using namespace veldra::fields;

inline const float kNaN = std::numeric_limits<float>::quiet_NaN();

// The value of cell `cell` in month `month` of year `year`.
using MonthValue = std::function<float(std::int32_t year, std::int32_t month, std::size_t cell)>;

// A variable file of one layer in memory, "run/Output/Var.vrd", and the
// months of a span of it read by MonthlySource.
struct MemoryRun {
    testing::MemoryFiles files;
    RunVariable run;
    std::int32_t last_year = 0;

    MemoryRun(std::int32_t first_year, std::int32_t last, std::size_t cells, const MonthValue& value)
        : run{"run", "Var", 1, first_year, static_cast<std::int64_t>(cells)}, last_year(last) {
        const files::VariableShape shape{static_cast<std::int32_t>(cells), first_year, last, 1};
        write_variable_file(
            path(), shape,
            [&](std::int32_t year, std::int32_t month, std::int32_t, std::span<float> values) {
                for (std::size_t i = 0; i < values.size(); ++i) values[i] = value(year, month, i);
            },
            files);
    }

    std::string path() const { return files::variable_path(run.model_folder, run.file_name); }

    // Writes `record` over the month record of the block of (year, month).
    void spoil_month_record(std::int32_t year, std::int32_t month, float record) {
        const std::int64_t block = (year - run.first_year) * 12 + (month - 1);
        const auto offset = static_cast<std::size_t>((block * (run.cell_count + 3) + 2) * 4);
        std::string bytes;
        files::append_records(bytes, std::span<const float>(&record, 1));
        files.files.at(path()).replace(offset, 4, bytes);
    }

    std::unique_ptr<FieldSource> months(std::int32_t first, std::int32_t last, BadBlock policy = BadBlock::stop) {
        return std::make_unique<MonthlySource>(run, 1, first, last, policy, files);
    }
    std::unique_ptr<FieldSource> months(BadBlock policy = BadBlock::stop) {
        return months(run.first_year, last_year, policy);
    }
};

// Fields given outright. A read gives `kinds[k]` when set (NaN values for
// FieldRead::nan, with a note), and counts itself; `stop` is honoured.
class GivenFields final : public FieldSource {
public:
    GivenFields(std::int64_t cells, std::vector<Period> periods, std::vector<std::vector<float>> values)
        : cells_(cells), periods_(std::move(periods)), values_(std::move(values)) {
        kinds.assign(periods_.size(), FieldRead::Kind::whole);
    }
    std::int64_t cell_count() const override { return cells_; }
    const std::vector<Period>& periods() const override { return periods_; }
    FieldRead read(std::size_t k, Field& field, const StopAsked& stop = {}) override {
        if (stop && stop()) return {FieldRead::Kind::stopped, {}};
        ++reads;
        field.period = periods_.at(k);
        field.label = period_label(field.period);
        field.values = values_.at(k);
        switch (kinds.at(k)) {
        case FieldRead::Kind::whole:
        case FieldRead::Kind::stopped:
            return {};
        case FieldRead::Kind::nan:
            field.values.assign(static_cast<std::size_t>(cells_), kNaN);
            return {FieldRead::Kind::nan, "bad " + field.label};
        case FieldRead::Kind::skipped:
            return {FieldRead::Kind::skipped, "skipped " + field.label};
        }
        return {};
    }

    std::vector<FieldRead::Kind> kinds;
    int reads = 0;

private:
    std::int64_t cells_;
    std::vector<Period> periods_;
    std::vector<std::vector<float>> values_;
};

// Whether two values are the same, NaN being the same as NaN.
inline bool same_value(float a, float b) {
    return (std::isnan(a) && std::isnan(b)) || a == b;
}

}  // namespace veldra::fields_test
