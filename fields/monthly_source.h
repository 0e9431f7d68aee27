// The months of a variable file as fields: the block of each month of a span
// of years for one layer, as the model wrote it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "fields/field_source.h"
#include "modelfiles/file_io.h"
#include "modelfiles/variable_file.h"

namespace veldra::fields {

// The variable of a run that a source reads.
struct RunVariable {
    std::string model_folder;      // holds Output/
    std::string file_name;         // the variable's file name (blanks at both ends are dropped)
    std::int32_t layer_count = 0;  // the variable's layers
    std::int32_t first_year = 0;   // the first model year of the cell file
    std::int64_t cell_count = 0;   // the cell count of the cell file: N values per block
};

class MonthlySource final : public FieldSource {
public:
    // The months first_year-01 to last_year-12 of `layer` (from 1) of
    // "<model_folder>/Output/<file_name>.vrd", which is opened here (raises
    // FileOpenError).
    MonthlySource(const RunVariable& run, std::int32_t layer, std::int32_t first_year, std::int32_t last_year,
                  BadBlock policy, files::FileAccess& files = files::system_files());

    std::int64_t cell_count() const override { return run_.cell_count; }
    const std::vector<Period>& periods() const override { return periods_; }
    FieldRead read(std::size_t k, Field& field, const StopAsked& stop = {}) override;

    void check_span() const override;

    // The variable file, as messages name it.
    const std::string& path() const { return path_; }

private:
    files::BlockAddress address(const Period& period) const;

    RunVariable run_;
    std::int32_t layer_;
    BadBlock policy_;
    std::string path_;
    files::VariableFile file_;
    std::vector<Period> periods_;
    std::vector<float> block_;
};

}  // namespace veldra::fields
