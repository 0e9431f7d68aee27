// The table of a run's statistics by region (fields/region_table.h) as a
// format of the table: one CSV file, FOLDER/ROOT.csv, of the regions of
// --regions over the fields of the chosen layer.
#include "export/format_table.h"
#include "export/month_values.h"
#include "fields/region_table.h"
#include "modelfiles/paths.h"

namespace veldra::out {
namespace {

std::string table_path(const CommandValues& v) {
    return files::with_trailing_separator(files::trim_blanks(v.folder)) + v.root + ".csv";
}

ExportOutcome write_table(const FormatRun& run, const ExportProgress& progress) {
    const CommandValues& v = run.values;
    ExportOutcome outcome;
    const ExportNotes notes = export_notes(progress, outcome);
    run_guarded(outcome, notes, [&] {
        if (!v.regions) throw StopExport{"Nothing was exported: --format csv needs --regions."};
        const std::string path = table_path(v);
        if (!notes.status("Saving: " + path)) return;
        const std::unique_ptr<fields::FieldSource> fields = run.open(v.layer);
        fields::RegionTableHooks hooks;
        hooks.note = [&](const std::string& note) { notes.message(note); };
        fields::write_region_table(*fields, *v.regions, files::path_to_open(path), run.files, hooks);
        outcome.months_written = static_cast<std::int32_t>(fields->periods().size());
        outcome.grids.push_back(path);
        notes.status("");
    });
    return outcome;
}

}  // namespace

FormatDriver csv_driver() {
    return {.name = "csv", .extension = ".csv",
            .options = with_field_options({"--regions"}),
            .refusals = {{"--decimals", "--decimals applies to grids only: a table holds the values in full"}},
            .needs = {"--regions"},
            .can_project = false, .projection_refusal = "a table of regions holds the model's own cells",
            .bad_block = fields::BadBlock::nan, .check_model = {},
            .steps = [](const CommandValues&) -> std::int64_t { return 1; }, .write = write_table};
}

}  // namespace veldra::out
