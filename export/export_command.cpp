#include "export/export_command.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <filesystem>
#include <map>
#include <optional>
#include <ostream>

#include "export/console_report.h"
#include "export/derived_fields.h"
#include "export/month_values.h"
#include "export/export_settings.h"
#include "export/format_table.h"
#include "export/grid_value_text.h"
#include "export/lookup_grids.h"
#include "export/netcdf_export.h"
#include "modelfiles/list_reader.h"
#include "modelfiles/version.h"

namespace veldra::out {
namespace {

// Every option of veldra_export, in the order of its usage text. An option
// that a format's driver lists (or --projection) is that format's; the
// usage names the formats that take it.
struct OptionRow {
    const char* name;
    const char* value;  // the value's name; nullptr for a switch
    const char* help;
    bool ends_usage_line = false;  // the synopsis goes on in a new line after it
    bool repeats = false;          // may be given many times, each value kept in order
};

constexpr OptionRow kOptions[] = {
    {"--model", "DIR", "the model folder (holding Parms/ and Output/)"},
    {"--variable", "NAME", "the variable's file name in the model's output list"},
    {"--out", "FOLDER", "the destination folder", true},
    {"--format", "F", nullptr},
    {"--bands", nullptr, "one file per year with the months as bands 1 to 12"},
    {"--layer", "L", "the layer, from 1 (default 1; for netcdf, every layer)"},
    {"--from", "YEAR", "the first year (default: the model's first)"},
    {"--to", "YEAR", "the last year (default: the model's last)", true},
    {"--decimals", "D", "decimal places of the values, 0 for whole numbers (default 3)"},
    {"--projection", "P", nullptr, true},
    {"--institution", "TEXT", "the file's institution attribute"},
    {"--deflate", "LEVEL", "compression level 0 (none) to 9 (default 4)"},
    {"--threads", "N", "threads compressing the values, 1 to 256 (default: one per core)", true},
    {"--summary", "NAME", "a summary of the months: annual-mean, annual-sum, annual-min, annual-max, "
                          "climatology, run-mean, run-sd or trend"},
    {"--baseline", "DIR", "a model folder whose run of the variable this run is compared with"},
    {"--compare", "HOW", "against --baseline: difference (default: this run minus the baseline), ratio or percent"},
    {"--baseline-period", "Y0-Y1", "anomalies: each month less the mean of its calendar month over Y0 to Y1 "
                                   "(of --baseline, else of this run)", true},
    {"--regions", "R", "zone, range-type, box:W,S,E,N (again for more boxes) or FILE[:FIELD]", true, true},
    {"--root", "ROOT", "the root of the file names (default NAME, or NAME_L<layer> above layer 1)"},
    {"--lookup", "DIR", "look for the projection lookup grids in DIR first"},
    {"--quiet", nullptr, "nothing but errors: no progress lines, no summary"},
};
constexpr const char* kRequired[] = {"--model", "--variable", "--out"};

std::string projection_options(const std::string& separator) {
    std::string names;
    for (int p = 0; p < kProjectionCount; ++p) {
        if (p > 0) names += !separator.empty() ? separator : p + 1 == kProjectionCount ? " or " : ", ";
        names += kProjectionTable[p].option;
    }
    return names;
}

bool format_specific(const FormatTable& table, const std::string& option) {
    return option == "--projection" || std::any_of(table.begin(), table.end(), [&](const FormatDriver& d) {
               return std::find(d.options.begin(), d.options.end(), option) != d.options.end();
           });
}

// The help of an option: the formats that take it first, when not all do.
std::string option_help(const FormatTable& table, const OptionRow& o) {
    const std::string name = o.name;
    if (name == "--format") return table.front().name + " (default), " + format_names(FormatTable(table.begin() + 1, table.end()));
    std::string help = o.help ? o.help : "";
    if (name == "--projection") {
        const std::string choices = projection_options("");
        help = std::string(kProjectionTable[0].option) + " (default), " + choices.substr(choices.find(", ") + 2);
    }
    if (!format_specific(table, name)) return help;
    std::string takers;
    for (const FormatDriver& d : table)
        if (takes_option(d, name)) takers += (takers.empty() ? "" : ", ") + d.name;
    return takers + ": " + help;
}

std::string usage_synopsis(const FormatTable& table) {
    std::string text = "Usage: veldra_export";
    const std::string indent(21, ' ');
    bool line_start = false;
    for (const OptionRow& o : kOptions) {
        const std::string name = o.name;
        const bool required = std::find(std::begin(kRequired), std::end(kRequired), name) != std::end(kRequired);
        std::string item = name;
        if (name == "--format") item += " " + format_names(table, "|");
        else if (name == "--projection") item += " " + projection_options("|");
        else if (o.value) item += std::string(" ") + o.value;
        text += (line_start ? indent : std::string(" ")) + (required ? item : "[" + item + "]");
        line_start = o.ends_usage_line;
        if (line_start) text += "\n";
    }
    return text + "\n";
}

std::string usage_text(const FormatTable& table) {
    std::string text = usage_synopsis(table) +
           "Writes one ESRI ASCII grid (with a .prj) per month of a span of years of one variable\n"
           "and layer of a Veldra model run, as the viewer's export dialog does; or, with\n"
           "--format netcdf, one CF NetCDF-4 file FOLDER/ROOT.nc holding every month of the span\n"
           "and every layer of the variable; or, with --format gtiff, one Cloud-Optimized GeoTIFF\n"
           "FOLDER/ROOT_YEAR_MM.tif per month (with --bands, FOLDER/ROOT_YEAR.tif per year, a band\n"
           "per month) holding the grids' values in single precision; or, with --format csv and\n"
           "--regions, one table FOLDER/ROOT.csv of statistics by region (ROOT adds _zone,\n"
           "_range-type, _box or _<polygon file stem>). --summary, --baseline and --baseline-period\n"
           "write their fields instead of the months, ROOT adding _<summary>, then _<compare> or\n"
           "_anomaly: a grid or GeoTIFF per field, ROOT_YYYY of a year, ROOT_MM of a calendar month,\n"
           "ROOT_YYYY-YYYY of the whole span.\n"
           "\n";
    for (const OptionRow& o : kOptions) {
        std::string left = std::string("  ") + o.name + (o.value ? std::string(" ") + o.value : "");
        left.resize(std::max<std::size_t>(left.size() + 2, 22), ' ');
        text += left + option_help(table, o) + "\n";
    }
    return text + "  --help, --version\n";
}

// What the command line holds, as CLI11 read it: the values of the options
// given, the switches, and the first problem.
struct CommandLine {
    std::map<std::string, std::string> values;
    std::map<std::string, bool> switches;
    std::map<std::string, std::vector<std::string>> lists;  // of an option that repeats, in the order given
    bool help = false;
    bool version = false;
    std::string problem;
};

// The arguments in the reverse order CLI11 reads them, "--name=value" of an
// option with a value split in two, so that "--name=" gives it an empty
// value as "--name ''" does; a switch given "=" and a value is unknown.
std::vector<std::string> for_cli11(const std::vector<std::string>& args, std::string& problem) {
    std::vector<std::string> split;
    for (const std::string& arg : args) {
        const auto o = std::find_if(std::begin(kOptions), std::end(kOptions), [&](const OptionRow& choice) {
            return arg.rfind(std::string(choice.name) + "=", 0) == 0;
        });
        const bool switch_given_value = (o != std::end(kOptions) && !o->value) ||
                                        arg.rfind("--help=", 0) == 0 || arg.rfind("--version=", 0) == 0;
        if (switch_given_value && problem.empty()) problem = "unknown option " + arg;
        if (o == std::end(kOptions) || !o->value) {
            split.push_back(arg);
            continue;
        }
        split.push_back(o->name);
        split.push_back(arg.substr(std::string(o->name).size() + 1));
    }
    return {split.rbegin(), split.rend()};
}

CommandLine read_command_line(const std::vector<std::string>& args, const FormatTable& table) {
    CLI::App app{"veldra_export"};
    app.allow_extras(true);
    app.set_help_flag("-h,--help");
    app.formatter_fn([&table](const CLI::App*, std::string, CLI::AppFormatMode) { return usage_text(table); });
    CommandLine cl;
    std::map<std::string, std::string> given;
    for (const OptionRow& o : kOptions) {
        if (o.repeats)
            app.add_option(o.name, cl.lists[o.name])->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
        else if (o.value)
            app.add_option(o.name, given[o.name])->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
        else
            app.add_flag(o.name, cl.switches[o.name]);
    }
    app.add_flag("--version", cl.version);
    std::vector<std::string> reversed = for_cli11(args, cl.problem);
    if (!cl.problem.empty()) return cl;
    const std::vector<std::string> in_order(reversed.rbegin(), reversed.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        cl.help = true;
    } catch (const CLI::ParseError& e) {
        // A value missing at the end: an unknown argument before it comes first.
        const std::string what = e.what();
        cl.problem = e.get_name() == "ArgumentMismatch" ? what.substr(0, what.find(':')) + " needs a value" : what;
        if (!app.remaining().empty()) cl.problem = "unknown option " + app.remaining().front();
        return cl;
    }
    for (const OptionRow& o : kOptions) {
        if (!o.value || app.count(o.name) == 0) continue;
        cl.values[o.name] = o.repeats ? cl.lists[o.name].front() : given[o.name];
    }
    // Of help, the version and an unknown argument, the first given counts.
    const auto first = [&](const auto& is) {
        return std::find_if(in_order.begin(), in_order.end(), is) - in_order.begin();
    };
    const auto none = std::ssize(in_order);
    const auto help = cl.help ? first([](const std::string& a) { return a == "-h" || a == "--help"; }) : none;
    const auto version = cl.version ? first([](const std::string& a) { return a == "--version"; }) : none;
    const auto unknown =
        app.remaining().empty() ? none : first([&](const std::string& a) { return a == app.remaining().front(); });
    cl.help = help < none && help < version && help < unknown;
    cl.version = version < none && version < help && version < unknown;
    if (unknown < none && unknown < help && unknown < version)
        cl.problem = "unknown option " + app.remaining().front();
    return cl;
}

// A bad command line: its reason in one line, not the whole usage.
int usage_error(std::ostream& err, const std::string& problem) {
    err << command_line_error(problem);
    return 2;
}

// The command line as a shell would take it back: an argument with blanks,
// quotes or backslashes, or an empty one, within single quotes.
std::string command_text(const std::vector<std::string>& args) {
    std::string text = "veldra_export";
    for (const std::string& arg : args) {
        text += ' ';
        if (!arg.empty() && arg.find_first_of(" \t\n'\"\\$`") == std::string::npos) {
            text += arg;
            continue;
        }
        text += '\'';
        for (char c : arg) text += c == '\'' ? std::string("'\\''") : std::string(1, c);
        text += '\'';
    }
    return text;
}

// The first option given that `driver` does not take, with the reason.
std::optional<std::string> refused_option(const CommandLine& cl, const FormatTable& table,
                                          const FormatDriver& driver) {
    for (const OptionRow& o : kOptions) {
        const std::string name = o.name;
        if (name == "--projection" || !format_specific(table, name) || takes_option(driver, name)) continue;
        const bool given = o.value ? cl.values.count(name) > 0 : cl.switches.at(name);
        if (given) return option_refusal(table, driver, name);
    }
    return std::nullopt;
}

// The numbers and the projection of the command line, checked against the
// model and the variable; the reason of the first that is wrong.
std::optional<std::string> read_values(const CommandLine& cl, const files::LoadedModel& model, const files::OutputEntry& entry,
                                       const FormatDriver& driver, CommandValues& v) {
    const auto number = [&](const char* option, int fallback) -> std::optional<int> {
        const auto given = cl.values.find(option);
        if (given == cl.values.end()) return fallback;
        return files::parse_whole(given->second);
    };
    const auto layer = number("--layer", 1), first = number("--from", model.first_year()),
               last = number("--to", model.GridInfo.lastYear), decimals = number("--decimals", 3),
               deflate = number("--deflate", kDefaultDeflateLevel), threads = number("--threads", 0);
    if (!layer || *layer < 1 || *layer > entry.LayerCount)
        return "--layer: " + entry.FileName + " has layers 1 to " + std::to_string(entry.LayerCount);
    const std::string span = "the model runs from " + std::to_string(model.first_year()) + " to " +
                             std::to_string(model.GridInfo.lastYear);
    if (!first || *first < model.first_year() || *first > model.GridInfo.lastYear) return "--from: " + span;
    if (!last || *last < model.first_year() || *last > model.GridInfo.lastYear) return "--to: " + span;
    if (!decimals || *decimals < 0 || *decimals > kMaxGridDecimals)
        return "--decimals: a whole number from 0 to " + std::to_string(kMaxGridDecimals);
    if (!deflate || *deflate < 0 || *deflate > kMaxDeflateLevel)
        return "--deflate: a whole number from 0 to " + std::to_string(kMaxDeflateLevel);
    if (!threads || (cl.values.count("--threads") && *threads < 1) || *threads > kMaxExportThreads)
        return "--threads: a whole number from 1 to " + std::to_string(kMaxExportThreads);
    if (const auto p = cl.values.find("--projection"); p != cl.values.end()) {
        const auto info = std::find_if(std::begin(kProjectionTable), std::end(kProjectionTable),
                                       [&](const ProjectionInfo& i) { return i.option == p->second; });
        if (info == std::end(kProjectionTable)) return "--projection: unknown projection " + p->second;
        v.projection = static_cast<int>(info->projection);
    }
    if (!driver.can_project && v.projection != 0)
        return "--projection: " + (driver.projection_refusal.empty()
                                       ? "--format " + driver.name + " writes the model's geographic grid only"
                                       : driver.projection_refusal);
    v.layer = *layer;
    v.layer_given = cl.values.count("--layer") > 0;
    v.first_year = *first;
    v.last_year = *last;
    v.decimals = *decimals;
    v.deflate = *deflate;
    v.threads = *threads;
    return std::nullopt;
}

// The model of --model, its warnings given; nothing, with the reason given,
// when it cannot be loaded.
std::optional<files::LoadedModel> load_model(const std::string& folder, std::ostream& err, files::FileAccess& files) {
    try {
        files::LoadedModel model = load_model_files(folder, files);
        for (const std::string& warning : model.warnings) err << "veldra_export: " << warning << "\n";
        check_run_years(model);
        return model;
    } catch (const files::LoadError& e) {
        err << "veldra_export: " << e.what() << "\n";
    } catch (const std::bad_alloc&) {
        err << "veldra_export: " << folder << ": there is not enough memory to load the model\n";
    }
    return std::nullopt;
}

// The part of the default root after the variable's for a table of regions:
// "_zone", "_range-type", "_box", or "_" and the stem of the polygon file.
std::string regions_root_part(const fields::RegionRequest& regions) {
    switch (regions.kind) {
    case fields::RegionKind::zone: return "_zone";
    case fields::RegionKind::range_type: return "_range-type";
    case fields::RegionKind::box: return "_box";
    case fields::RegionKind::polygons: break;
    }
    return "_" + std::filesystem::path(regions.file).stem().string();
}

// What the fields are to be (--summary, --compare, --baseline-period) into
// `v.request`; the reason of the first that is wrong.
std::optional<std::string> read_request(const CommandLine& cl, CommandValues& v) {
    if (const auto s = cl.values.find("--summary"); s != cl.values.end()) {
        v.request.summary = fields::summary_named(s->second);
        if (!v.request.summary) return "--summary: " + summary_names() + ", not " + s->second;
    }
    if (const auto c = cl.values.find("--compare"); c != cl.values.end()) {
        if (!cl.values.count("--baseline")) return "--compare: a comparison with --baseline only";
        const std::optional<fields::Compare> how = fields::compare_named(c->second);
        if (!how) return "--compare: difference, ratio or percent, not " + c->second;
        v.request.compare = *how;
    }
    if (const auto p = cl.values.find("--baseline-period"); p != cl.values.end()) {
        v.request.baseline_period = parse_baseline_period(p->second);
        if (!v.request.baseline_period)
            return "--baseline-period: two years Y0-Y1, the first not after the second, not " + p->second;
    }
    if (const auto b = cl.values.find("--baseline"); b != cl.values.end() && b->second.empty())
        return "--baseline: the model folder is empty";
    if (v.request.summary && v.bands) return "--bands: the months of a year as bands; not with --summary";
    if (cl.values.count("--regions")) {
        // Read again once the baseline is loaded; a bad argument is found before.
        try {
            fields::parse_regions(cl.lists.at("--regions"));
        } catch (const fields::RegionArgumentError& e) {
            return e.what();
        }
    }
    return std::nullopt;
}

// The baseline and the regions, made once the command line is checked; the
// exit status when they cannot be (1 for a model or file, 2 for an argument).
std::optional<int> prepare_run(const CommandLine& cl, const files::LoadedModel& model, const files::OutputEntry& entry,
                               std::optional<files::LoadedModel>& baseline, CommandValues& v, std::ostream& err,
                               files::FileAccess& files) {
    try {
        if (cl.values.count("--baseline")) {
            baseline = load_model(cl.values.at("--baseline"), err, files);
            if (!baseline) return 1;
            v.request.baseline = &*baseline;
            v.baseline_folder = cl.values.at("--baseline");
        }
        check_request(v.request, model, entry, v.first_year, v.last_year);
        if (!cl.values.count("--root")) v.root += request_suffix(v.request);
        if (cl.values.count("--regions")) {
            const fields::RegionRequest request = fields::parse_regions(cl.lists.at("--regions"));
            const ExportSource source = *export_source(model, &entry, v.layer);
            v.regions = std::make_shared<const fields::RegionSet>(
                fields::make_regions(request, model.CellTable, source_grid(source)));
            if (!cl.values.count("--root")) v.root += regions_root_part(request);
        }
    } catch (const fields::RegionArgumentError& e) {
        return usage_error(err, e.what());
    } catch (const files::Error& e) {
        err << "veldra_export: " << e.what() << "\n";
        return 1;
    }
    return std::nullopt;
}

// Runs the checked command on `driver`.
int run_driver(const FormatDriver& driver, const files::LoadedModel& model, const files::OutputEntry& entry,
               const CommandValues& values, std::ostream& err, bool quiet, const LookupPlaces& lookup,
               files::FileAccess& files) {
    // Scripts name a new folder as often as an old one.
    create_destination_folder(values.folder, files);
    ConsoleReport report(err, quiet, driver.steps(values));
    files::FileAccess& counted = report.files(files);
    const ExportSource source = *export_source(model, &entry, values.layer);
    const OpenFields open =
        requested_fields(values.request, source, values.first_year, values.last_year, driver.bad_block, counted);
    const ExportOutcome outcome = driver.write({model, entry, source, values, lookup, open, counted}, report.progress());
    report.finish();
    return exit_status(outcome);
}

}  // namespace

std::string export_usage_text() { return usage_text(standard_formats()); }

int run_veldra_export(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, LookupPlaces lookup,
                      files::FileAccess& files, const FormatTable& formats) {
    CommandLine cl = read_command_line(args, formats);
    if (!cl.problem.empty()) return usage_error(err, cl.problem);
    if (cl.help) {
        out << usage_text(formats);
        return 0;
    }
    if (cl.version) {
        out << "veldra_export " << files::kVersion << "\n";
        return 0;
    }
    for (const char* required : kRequired)
        if (!cl.values.count(required)) return usage_error(err, std::string(required) + " is required");
    if (cl.values["--model"].empty()) return usage_error(err, "--model: the model folder is empty");

    const std::optional<files::LoadedModel> model = load_model(cl.values["--model"], err, files);
    if (!model) return 1;
    const std::string& name = cl.values["--variable"];
    const auto entry = std::find_if(model->OutputTable.begin(), model->OutputTable.end(),
                                    [&](const files::OutputEntry& e) { return e.FileName == name; });
    if (entry == model->OutputTable.end()) return usage_error(err, unknown_variable_reason(name, model->OutputTable));
    if (const std::optional<std::string> fault = variable_entry_fault(*entry, model->list_path())) {
        err << "veldra_export: " << *fault << "\n";
        return 1;
    }

    const std::string format = cl.values.count("--format") ? cl.values["--format"] : formats.front().name;
    const FormatDriver* driver = find_format(formats, format);
    if (!driver) return usage_error(err, "--format: " + format_names(formats) + ", not " + format);
    if (const std::optional<std::string> refused = refused_option(cl, formats, *driver)) return usage_error(err, *refused);
    CommandValues values;
    if (const std::optional<std::string> wrong = read_values(cl, *model, *entry, *driver, values))
        return usage_error(err, *wrong);
    values.folder = cl.values["--out"];
    values.bands = cl.switches["--bands"];
    if (const std::optional<std::string> wrong = read_request(cl, values)) return usage_error(err, *wrong);
    for (const std::string& needed : driver->needs)
        if (!cl.values.count(needed)) return usage_error(err, "--format " + driver->name + " needs " + needed);
    values.root = cl.values.count("--root") ? cl.values["--root"] : default_export_root(name, values.layer);
    values.institution = cl.values["--institution"];
    values.command = command_text(args);
    const std::string& root = values.root;
    if (root == "." || root == ".." || root.find_first_of("/\\") != std::string::npos)
        return usage_error(err, "--root: " + root + " is not a file-name root: no \"/\", \"\\\" or \"..\"; --out names the folder");
    try {
        if (driver->check_model) driver->check_model(*model);
    } catch (const files::LoadError& e) {
        err << "veldra_export: " << e.what() << "\n";
        return 1;
    }
    try {
        check_export_settings(values.first_year, values.last_year, values.folder, root);
    } catch (const StopExport& e) {
        return usage_error(err, e.what());
    }
    std::optional<files::LoadedModel> baseline;
    if (const std::optional<int> status = prepare_run(cl, *model, *entry, baseline, values, err, files)) return *status;
    if (cl.values.count("--lookup")) lookup.folders.insert(lookup.folders.begin(), cl.values["--lookup"]);
    return run_driver(*driver, *model, *entry, values, err, cl.switches["--quiet"], lookup, files);
}

}  // namespace veldra::out
