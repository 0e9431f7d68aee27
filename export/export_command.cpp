#include "export/export_command.h"

#include <algorithm>
#include <charconv>
#include <map>
#include <optional>
#include <ostream>

#include "export/console_report.h"
#include "export/export_settings.h"
#include "export/grid_value_text.h"
#include "export/gtiff_export.h"
#include "export/lookup_grids.h"
#include "export/netcdf_export.h"
#include "modelfiles/viewer_model.h"
#include "modelfiles/list_reader.h"
#include "modelfiles/paths.h"
#include "modelfiles/version.h"

namespace veldra::viewer {

std::string export_usage_text() {
    return "Usage: veldra_export --model DIR --variable NAME --out FOLDER\n"
           "                     [--format grids|netcdf|gtiff] [--bands] [--layer L] [--from YEAR] [--to YEAR]\n"
           "                     [--decimals D] [--projection geographic|robinson|eckert4|winkel]\n"
           "                     [--institution TEXT] [--deflate LEVEL] [--threads N]\n"
           "                     [--root ROOT] [--lookup DIR] [--quiet]\n"
           "Writes one ESRI ASCII grid (with a .prj) per month of a span of years of one variable\n"
           "and layer of a Veldra model run, as the viewer's export dialog does; or, with\n"
           "--format netcdf, one CF NetCDF-4 file FOLDER/ROOT.nc holding every month of the span\n"
           "and every layer of the variable; or, with --format gtiff, one Cloud-Optimized GeoTIFF\n"
           "FOLDER/ROOT_YEAR_MM.tif per month (with --bands, FOLDER/ROOT_YEAR.tif per year, a band\n"
           "per month) holding the grids' values in single precision.\n"
           "\n"
           "  --model DIR         the model folder (holding Parms/ and Output/)\n"
           "  --variable NAME     the variable's file name in the model's output list\n"
           "  --out FOLDER        the destination folder\n"
           "  --format F          grids (default), netcdf or gtiff\n"
           "  --bands             gtiff: one file per year with the months as bands 1 to 12\n"
           "  --layer L           the layer, from 1 (default 1; for netcdf, every layer)\n"
           "  --from YEAR         the first year (default: the model's first)\n"
           "  --to YEAR           the last year (default: the model's last)\n"
           "  --decimals D        grids: decimal places of the values, 0 for whole numbers (default 3)\n"
           "  --projection P      grids, gtiff: geographic (default), robinson, eckert4 or winkel\n"
           "  --institution TEXT  netcdf: the file's institution attribute\n"
           "  --deflate LEVEL     netcdf: compression level 0 (none) to 9 (default 4)\n"
           "  --threads N         netcdf: threads compressing the values, 1 to 256 (default: one per core)\n"
           "  --root ROOT         the root of the file names (default NAME, or NAME_L<layer> above layer 1)\n"
           "  --lookup DIR        grids, gtiff: look for the projection lookup grids in DIR first\n"
           "  --quiet             nothing but errors: no progress lines, no summary\n"
           "  --help, --version\n";
}

namespace {


struct CommandLine {
    std::map<std::string, std::string> values;
    bool quiet = false;
    bool bands = false;
};

// A bad command line: its reason in one line, not the whole usage.
int usage_error(std::ostream& err, const std::string& problem) {
    err << command_line_error(problem);
    return 2;
}

std::optional<int> whole(const std::string& text) { return parse_whole(text); }

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

}  // namespace

int run_veldra_export(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, LookupPlaces lookup,
                      FileAccess& files) {
    static const char* const kValued[] = {"--model", "--variable", "--out", "--layer", "--from", "--to",
                                          "--decimals", "--projection", "--root", "--lookup",
                                          "--format", "--institution", "--deflate",
                                          "--threads"};
    CommandLine cl;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            out << export_usage_text();
            return 0;
        }
        if (arg == "--version") {
            out << "veldra_export " << kVersion << "\n";
            return 0;
        }
        if (arg == "--quiet") {
            cl.quiet = true;
            continue;
        }
        if (arg == "--bands") {
            cl.bands = true;
            continue;
        }
        const auto known = std::find_if(std::begin(kValued), std::end(kValued), [&](const char* name) {
            return arg == name || arg.rfind(std::string(name) + "=", 0) == 0;
        });
        if (known == std::end(kValued)) return usage_error(err, "unknown option " + arg);
        const std::string name = *known;
        if (arg == name) {
            if (i + 1 >= args.size()) return usage_error(err, name + " needs a value");
            cl.values[name] = args[++i];
        } else {
            cl.values[name] = arg.substr(name.size() + 1);
        }
    }
    for (const char* required : {"--model", "--variable", "--out"})
        if (!cl.values.count(required)) return usage_error(err, std::string(required) + " is required");

    if (cl.values["--model"].empty()) return usage_error(err, "--model: the model folder is empty");

    LoadedModel state;
    try {
        state = load_model_files(cl.values["--model"], files);
        for (const std::string& warning : state.warnings) err << "veldra_export: " << warning << "\n";
        check_run_years(state);
    } catch (const LoadError& e) {
        err << "veldra_export: " << e.what() << "\n";
        return 1;
    } catch (const std::bad_alloc&) {
        err << "veldra_export: " << cl.values["--model"] << ": there is not enough memory to load the model\n";
        return 1;
    }

    const std::string& name = cl.values["--variable"];
    const auto entry = std::find_if(state.OutputTable.begin(), state.OutputTable.end(),
                                    [&](const OutputEntry& e) { return e.FileName == name; });
    if (entry == state.OutputTable.end()) return usage_error(err, unknown_variable_reason(name, state.OutputTable));
    if (const std::optional<std::string> fault = variable_entry_fault(*entry, state.list_path())) {
        err << "veldra_export: " << *fault << "\n";
        return 1;
    }

    const std::string format = cl.values.count("--format") ? cl.values["--format"] : "grids";
    if (format != "grids" && format != "netcdf" && format != "gtiff")
        return usage_error(err, "--format: grids, netcdf or gtiff, not " + format);
    const bool netcdf = format == "netcdf", gtiff = format == "gtiff";
    if (gtiff && cl.values.count("--decimals"))
        return usage_error(err, "--decimals applies to --format grids only: a GeoTIFF holds the values in full");
    if (!gtiff && cl.bands) return usage_error(err, "--bands applies to --format gtiff only");
    for (const char* option : {"--decimals", "--lookup"})
        if (netcdf && cl.values.count(option)) return usage_error(err, std::string(option) + " applies to grids only");
    for (const char* option : {"--institution", "--deflate"})
        if (!netcdf && cl.values.count(option))
            return usage_error(err, std::string(option) + " applies to --format netcdf only");
    if (!netcdf && cl.values.count("--threads")) return usage_error(err, "--threads applies to --format netcdf only");

    auto number = [&](const char* option, int fallback) -> std::optional<int> {
        if (!cl.values.count(option)) return fallback;
        return whole(cl.values[option]);
    };
    const auto layer = number("--layer", 1);
    const auto first = number("--from", state.first_year());
    const auto last = number("--to", state.GridInfo.lastYear);
    const auto decimals = number("--decimals", 3);
    const auto deflate = number("--deflate", kDefaultDeflateLevel);
    const auto threads = number("--threads", 0);
    if (!layer || *layer < 1 || *layer > entry->LayerCount)
        return usage_error(err, "--layer: " + name + " has layers 1 to " + std::to_string(entry->LayerCount));
    for (const auto& [option, year] : {std::pair{"--from", first}, std::pair{"--to", last}})
        if (!year || *year < state.first_year() || *year > state.GridInfo.lastYear)
            return usage_error(err, std::string(option) + ": the model runs from " + std::to_string(state.first_year()) +
                                        " to " + std::to_string(state.GridInfo.lastYear));
    if (!decimals || *decimals < 0 || *decimals > kMaxGridDecimals)
        return usage_error(err, "--decimals: a whole number from 0 to " + std::to_string(kMaxGridDecimals));
    if (!deflate || *deflate < 0 || *deflate > kMaxDeflateLevel)
        return usage_error(err, "--deflate: a whole number from 0 to " + std::to_string(kMaxDeflateLevel));
    if (!threads || (cl.values.count("--threads") && *threads < 1) || *threads > kMaxExportThreads)
        return usage_error(err, "--threads: a whole number from 1 to " + std::to_string(kMaxExportThreads));
    int projection = 0;
    if (cl.values.count("--projection")) {
        const auto p = std::find_if(std::begin(kProjectionTable), std::end(kProjectionTable),
                                    [&](const ProjectionInfo& info) { return info.option == cl.values["--projection"]; });
        if (p == std::end(kProjectionTable)) return usage_error(err, "--projection: unknown projection " + cl.values["--projection"]);
        projection = static_cast<int>(p->projection);
    }
    if (netcdf && projection != 0)
        return usage_error(err, "--projection: a NetCDF file holds the model's geographic grid only");
    const std::string root = cl.values.count("--root") ? cl.values["--root"] : default_export_root(name, *layer);
    if (root == "." || root == ".." || root.find_first_of("/\\") != std::string::npos)
        return usage_error(err, "--root: " + root + " is not a file-name root: no \"/\", \"\\\" or \"..\"; --out names the folder");
    if (netcdf) {
        try {
            check_calendar_years(state);
        } catch (const LoadError& e) {
            err << "veldra_export: " << e.what() << "\n";
            return 1;
        }
    }
    try {
        check_export_settings(*first, *last, cl.values["--out"], root);
    } catch (const StopExport& e) {
        return usage_error(err, e.what());
    }

    // Scripts name a new folder as often as an old one.
    create_destination_folder(cl.values["--out"], files);
    // One progress line for each file of a year of bands, otherwise for each month.
    const std::int64_t years = std::int64_t{*last} - *first + 1;
    ConsoleReport report(err, cl.quiet, gtiff && cl.bands ? years : years * 12);
    const ExportProgress progress = report.progress();
    FileAccess& counted = report.files(files);
    if (netcdf) {
        NetcdfVariable variable{entry->FileName, entry->Units, {}};
        for (int k = 1; k <= entry->LayerCount; ++k) {
            char digits[16];
            variable.layer_labels.push_back(entry->LayerLabel + " " +
                                            std::string(digits, std::to_chars(digits, digits + sizeof digits, k).ptr));
        }
        const ViewerGridInfo& g = state.GridInfo;
        NetcdfSettings settings;
        settings.folder = cl.values["--out"];
        settings.root = root;
        settings.first_year = *first;
        settings.last_year = *last;
        settings.every_layer = !cl.values.count("--layer");
        settings.deflate_level = *deflate;
        settings.threads = *threads;
        settings.institution = cl.values["--institution"];
        settings.history = command_text(args);
        settings.edges = GridEdges{g.lowerX, g.lowerY, g.upperX, static_cast<double>(g.upperY)};
        const NetcdfOutcome outcome = export_netcdf(*export_source(state, &*entry, *layer), variable, settings, counted, progress);
        report.finish();
        return outcome.failed || outcome.stopped ? 1 : 0;
    }
    if (cl.values.count("--lookup")) lookup.folders.insert(lookup.folders.begin(), cl.values["--lookup"]);
    if (gtiff) {
        const GtiffSettings settings{cl.values["--out"], root, *first, *last, projection, cl.bands};
        const ExportOutcome outcome = export_gtiffs(*export_source(state, &*entry, *layer), settings, lookup, counted, progress);
        report.finish();
        return outcome.failed || outcome.stopped || outcome.months_abandoned > 0 ? 1 : 0;
    }
    ExportSettings settings{cl.values["--out"], root, *first, *last, *decimals, projection};
    const ExportOutcome outcome = export_grids(*export_source(state, &*entry, *layer), settings, lookup, counted, progress);
    report.finish();
    return outcome.failed || outcome.stopped || outcome.months_abandoned > 0 ? 1 : 0;
}

}  // namespace veldra::viewer
