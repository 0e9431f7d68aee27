// The CF NetCDF file of netcdf_export.h as a format of the table: the whole
// span and every layer (or the one of --layer) in one file.
#include <charconv>

#include "export/format_table.h"
#include "export/netcdf_export.h"

namespace veldra::out {
namespace {

// What the fields of a summary, a comparison or anomalies are, and the
// months each covers.
void describe_fields(const CommandValues& v, NetcdfSettings& settings) {
    const FieldRequest& r = v.request;
    if (r.plain()) return;
    cf::FieldDescription& f = settings.fields;
    if (r.summary) {
        f.summary = fields::summary_name(*r.summary);
        f.cell_methods = fields::cell_method(*r.summary);
        f.climatology = *r.summary == fields::Summary::climatology;
        f.trend = *r.summary == fields::Summary::trend;
        for (const fields::Period& p : requested_periods(r, v.first_year, v.last_year)) {
            const fields::PeriodSpan s = fields::period_span(*r.summary, p, v.first_year, v.last_year);
            settings.spans.push_back({s.first.year, s.first.month, s.last.year, s.last.month});
        }
    }
    if (r.baseline_period)
        f.anomaly_years = fields::span_label(r.baseline_period->first_year, r.baseline_period->last_year);
    else if (r.baseline)
        f.compare = fields::compare_name(r.compare);
    f.baseline = v.baseline_folder;
}

ExportOutcome write_netcdf(const FormatRun& run, const ExportProgress& progress) {
    const files::OutputEntry& entry = run.entry;
    NetcdfVariable variable{entry.FileName, entry.Units, {}};
    for (int k = 1; k <= entry.LayerCount; ++k) {
        char digits[16];
        variable.layer_labels.push_back(entry.LayerLabel + " " +
                                        std::string(digits, std::to_chars(digits, digits + sizeof digits, k).ptr));
    }
    const CommandValues& v = run.values;
    const files::ViewerGridInfo& g = run.model.GridInfo;
    NetcdfSettings settings;
    settings.folder = v.folder;
    settings.root = v.root;
    settings.first_year = v.first_year;
    settings.last_year = v.last_year;
    settings.every_layer = !v.layer_given;
    settings.deflate_level = v.deflate;
    settings.threads = v.threads;
    settings.institution = v.institution;
    settings.history = v.command;
    settings.edges = GridEdges{g.lowerX, g.lowerY, g.upperX, static_cast<double>(g.upperY)};
    describe_fields(v, settings);
    const NetcdfOutcome done = export_netcdf_fields(run.source, variable, settings, run.open, run.files, progress);
    ExportOutcome outcome;
    outcome.months_written = done.months_written;
    outcome.stopped = done.stopped;
    outcome.failed = done.failed;
    if (!done.path.empty()) outcome.grids.push_back(done.path);
    return outcome;
}

}  // namespace

FormatDriver netcdf_driver() {
    return {.name = "netcdf", .extension = ".nc", .options = with_field_options({"--institution", "--deflate", "--threads"}),
            .refusals = {{"--decimals", "--decimals applies to grids only"}, {"--lookup", "--lookup applies to grids only"}},
            .needs = {},
            .can_project = false, .projection_refusal = "a NetCDF file holds the model's geographic grid only",
            .bad_block = fields::BadBlock::stop, .check_model = files::check_calendar_years, .steps = span_fields,
            .write = write_netcdf};
}

}  // namespace veldra::out
