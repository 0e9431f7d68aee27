// The ESRI ASCII grids of grid_export.h as a format of the table.
#include "export/format_table.h"

namespace veldra::out {

FormatDriver grids_driver() {
    const auto write = [](const FormatRun& run, const ExportProgress& progress) {
        const CommandValues& v = run.values;
        return export_grid_fields(run.source, {v.folder, v.root, v.first_year, v.last_year, v.decimals, v.projection},
                                  run.lookup, run.open, run.files, progress, period_file_part(v));
    };
    return {.name = "grids", .extension = ".asc", .options = with_field_options({"--decimals", "--lookup"}),
            .refusals = {}, .needs = {}, .can_project = true, .projection_refusal = {},
            .bad_block = fields::BadBlock::skip, .check_model = {}, .steps = span_fields, .write = write};
}

}  // namespace veldra::out
