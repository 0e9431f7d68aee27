// The output formats of veldra_export as drivers in one table: each names
// its format, the extension of its files, the options it takes, whether it
// can project, and a write function from a field source. veldra_export
// chooses from the table; progress, stop and exit status follow one contract
// for all (FormatDriver::write). A format is one file (a function giving its
// driver) and one row of standard_formats().
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "export/derived_fields.h"
#include "export/grid_export.h"
#include "fields/regions.h"
#include "fields/field_source.h"
#include "modelfiles/viewer_model.h"

namespace veldra::out {

// What veldra_export's command line says, checked: the one set of values
// every driver reads from.
struct CommandValues {
    std::string folder;  // --out
    std::string root;    // --root, or the default root
    std::int32_t first_year = 0;
    std::int32_t last_year = 0;
    std::int32_t layer = 1;
    bool layer_given = false;  // --layer was given (NetCDF: only that layer)
    int projection = 0;  // 0 Geographic, 1 Robinson, 2 Eckert IV, 3 Winkel Tripel
    int decimals = 0;    // the defaults of these are the command line's
    int deflate = 0;
    int threads = 0;
    bool bands = false;
    std::string institution;
    std::string command;  // the command line as a shell would take it back
    FieldRequest request;  // --summary, --baseline, --compare, --baseline-period
    std::string baseline_folder;  // --baseline as given
    std::shared_ptr<const fields::RegionSet> regions;  // --regions, made over the cells
};

// One run of a driver: the model, its variable and the values; `open` gives
// the fields of a layer (the months of the span, with the driver's policy
// for a bad block) when the driver is ready to read.
struct FormatRun {
    const files::LoadedModel& model;
    const files::OutputEntry& entry;
    const ExportSource& source;
    const CommandValues& values;
    const LookupPlaces& lookup;
    const OpenFields& open;
    files::FileAccess& files;
};

struct FormatDriver {
    std::string name;       // --format NAME
    std::string extension;  // of the files it writes, e.g. ".asc"
    // The options of the command line it takes beyond those every format
    // takes, e.g. "--decimals"; "--projection" stands for can_project.
    std::vector<std::string> options;
    // Another refusal than "<option> applies to --format <names> only" of an
    // option it does not take.
    std::map<std::string, std::string> refusals;
    // The options it cannot go without, e.g. "--regions" of csv.
    std::vector<std::string> needs;
    bool can_project = false;
    // Why it cannot, after "--projection: "; when empty, "--format <name>
    // writes the model's geographic grid only".
    std::string projection_refusal;
    fields::BadBlock bad_block = fields::BadBlock::skip;
    // Checks of the model beyond those of every format; raises LoadError.
    std::function<void(const files::LoadedModel&)> check_model;
    // The progress steps of a run: the "Saving:" texts it will give.
    std::function<std::int64_t(const CommandValues&)> steps;
    // The contract of every format: status "Saving: ..." before a step and ""
    // after it, a message for what is wrong; a progress callback returning
    // false stops the run after the file at hand (stopped); a failure is one
    // message (failed); a field the source skips is a month abandoned. The
    // run's exit status is 1 for any of these, else 0.
    std::function<ExportOutcome(const FormatRun&, const ExportProgress&)> write;
};

using FormatTable = std::vector<FormatDriver>;

// `options` and those of the fields of every format: --summary, --baseline,
// --compare, --baseline-period.
std::vector<std::string> with_field_options(std::vector<std::string> options);

// The names of the files of the fields of `values` after "<root>_"
// (derived_fields.h); not set for the months, named as they always were.
PeriodFilePart period_file_part(const CommandValues& values);

// The drivers of the formats, one file each.
FormatDriver grids_driver();
FormatDriver netcdf_driver();
FormatDriver gtiff_driver();
FormatDriver csv_driver();

// grids, netcdf, gtiff, csv: the first is the default.
const FormatTable& standard_formats();

// The driver named `name`, or nullptr.
const FormatDriver* find_format(const FormatTable& table, const std::string& name);

// "grids, netcdf or gtiff", or with `separator` "|" "grids|netcdf|gtiff".
std::string format_names(const FormatTable& table, const std::string& separator = "");

// Whether a driver takes `option`.
bool takes_option(const FormatDriver& driver, const std::string& option);

// Why `driver` does not take `option`: its own refusal, else "<option>
// applies to --format <the names of those that take it> only".
std::string option_refusal(const FormatTable& table, const FormatDriver& driver, const std::string& option);

// The months of the span of `values`: the steps of a format that writes a
// file or a step for each month.
std::int64_t span_months(const CommandValues& values);

// The fields of the span of `values` as its request makes them: its months,
// or the fields of its summary (years, 12 calendar months, or one).
std::int64_t span_fields(const CommandValues& values);

// The exit status of a run of the common contract.
int exit_status(const ExportOutcome& outcome);

}  // namespace veldra::out
