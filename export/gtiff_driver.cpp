// The Cloud-Optimized GeoTIFF files of gtiff_export.h as a format of the table.
#include "export/format_table.h"
#include "export/gtiff_export.h"

namespace veldra::out {
namespace {

ExportOutcome write_gtiffs(const FormatRun& run, const ExportProgress& progress) {
    const CommandValues& v = run.values;
    const GtiffSettings settings{v.folder, v.root, v.first_year, v.last_year, v.projection, v.bands};
    return export_gtiff_fields(run.source, settings, run.lookup, run.open, run.files, progress, period_file_part(v));
}

// A step for each file of a year of bands, otherwise for each month.
std::int64_t gtiff_steps(const CommandValues& v) { return v.bands ? span_months(v) / 12 : span_fields(v); }

}  // namespace

FormatDriver gtiff_driver() {
    return {.name = "gtiff", .extension = ".tif", .options = with_field_options({"--bands", "--lookup"}),
            .refusals = {{"--decimals", "--decimals applies to --format grids only: a GeoTIFF holds the values in full"}},
            .needs = {},
            .can_project = true, .projection_refusal = {}, .bad_block = fields::BadBlock::skip,
            .check_model = {}, .steps = gtiff_steps, .write = write_gtiffs};
}

}  // namespace veldra::out
