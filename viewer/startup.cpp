#include "viewer/startup.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <memory>
#include <new>
#include <ostream>

#include <CLI/CLI.hpp>

#include <QLineEdit>
#include <QListWidget>
#include <QString>

#include "viewer/core/colour_ramps.h"
#include "viewer/core/perceptual_ramps.h"
#include "viewer/frm_main.h"
#include "viewer/ui_services.h"
#include "modelfiles/list_reader.h"
#include "modelfiles/version.h"
#include "modelfiles/paths.h"

namespace veldra::viewer {

namespace {

// What the command line gives, as text; start_viewer checks it.
struct StartOptions {
    std::string model, settings, select, screenshot, query, layer, year, month, ramp, zoom, scale, colour_map,
        difference, show, compare;
    bool log_scale = false, borders = false, graticule = false, version = false;
};

struct ValueOption {
    const char* name;
    const char* value_name;
    std::string StartOptions::*value;
    const char* help;
};
struct SwitchOption {
    const char* name;
    bool StartOptions::*on;
    const char* help;
};

// The options, each once: --help is made from these lines.
constexpr ValueOption kValueOptions[] = {
    {"--model", "DIR", &StartOptions::model, "use DIR as the model folder; no settings file is read"},
    {"--settings", "FILE", &StartOptions::settings, "read the model folder from FILE instead of the default settings file"},
    {"--select", "NAME", &StartOptions::select, "choose the variable NAME at start, as a click in the variable list does"},
    {"--layer", "N", &StartOptions::layer, "with --select: then choose its layer N, as a click in the layer list does"},
    {"--year", "Y", &StartOptions::year, "show year Y (within the model's years), as the year arrows would"},
    {"--month", "M", &StartOptions::month, "show month M (1 to 12), as the month arrows would"},
    {"--ramp", "NAME", &StartOptions::ramp,
     "choose the colour ramp NAME (any case), e.g. \"Blue to Yellow\" or\n\"Random colors\""},
    {"--query", "LON,LAT", &StartOptions::query,
     "once the window has drawn, query the cell nearest to that point,\nas a press on the map does"},
    {"--zoom", "FACTOR", &StartOptions::zoom,
     "zoom the map by FACTOR (1 is the whole map) around the --query point,\nelse around the map's centre"},
    {"--scale", "LO,HI", &StartOptions::scale,
     "fix the ends of the stretched colour ramps at LO and HI, as\nMap > Colour scale does; with --difference, the ends of the\ndifference's own scale"},
    {"--colour-map", "NAME", &StartOptions::colour_map,
     "colour with the perceptual map NAME (any case): Viridis, Cividis,\nBlue-white-red or Grey"},
    {"--difference", "YEAR[-MONTH]", &StartOptions::difference,
     "show each month minus the same cell in YEAR and MONTH (e.g. 1999-07);\nwith YEAR alone, minus the same month of YEAR, as\nMap > Show difference to does"},
    {"--show", "WHAT", &StartOptions::show,
     "show on the map the month (month, as at start), the year's mean\n(year-mean), the month's climatology over the run (climatology),\nthe run mean (run-mean) or the trend per decade (trend), as\nMap > Show does"},
    {"--compare", "DIR", &StartOptions::compare,
     "show this run minus the run in DIR, cells paired by their place,\nas Map > Compare with run does"},
    {"--screenshot", "FILE", &StartOptions::screenshot,
     "save a PNG of the window to FILE once it has drawn (and queried), then\nexit: 0 when it was written, else 1; messages go to standard error\ninstead of message boxes"},
};
constexpr SwitchOption kSwitchOptions[] = {
    {"--log-scale", &StartOptions::log_scale, "with --scale, colour on a logarithmic scale (LO above 0)"},
    {"--borders", &StartOptions::borders, "draw coastlines and national borders over the map"},
    {"--graticule", &StartOptions::graticule, "draw meridians and parallels every 30 degrees over the map"},
    {"--version", &StartOptions::version, "show the version"},
};

// The command line's parser, writing into `o`. Every option takes the last
// of its values; what it does not know is left over for start_viewer to refuse.
std::unique_ptr<CLI::App> command_line(StartOptions& o) {
    auto app = std::make_unique<CLI::App>(
        "Shows the results of a Veldra model run: maps of its variables by year and month.", "Veldra_GUI");
    app->allow_extras();
    app->option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app->set_help_flag("-h,--help", "show this text");
    app->get_formatter()->column_width(28);
    for (const ValueOption& v : kValueOptions) app->add_option(v.name, o.*v.value, v.help)->type_name(v.value_name);
    for (const SwitchOption& s : kSwitchOptions) app->add_flag(s.name, o.*s.on, s.help)->disable_flag_override();
    app->footer(
        "Without --model, the model folder is read from the first line of the settings file:\n"
        "its first character is skipped and the folder ends at the next apostrophe, e.g.\n"
        "  '/data/runs/world'  any comment\n"
        "The default settings file is $VELDRA_INI if set, else $XDG_CONFIG_HOME/veldra/Veldra.ini,\n"
        "else ~/.config/veldra/Veldra.ini. A file that cannot be used is named in one message box,\n"
        "and the viewer exits with status 1; a bad command line exits with status 2.");
    return app;
}

// A switch given a value ("--borders=yes"), which no switch takes.
std::optional<std::string> switch_with_value(const std::vector<std::string>& args) {
    for (const std::string& arg : args)
        for (const SwitchOption& s : kSwitchOptions)
            if (arg.starts_with(std::string(s.name) + "=")) return arg;
    return std::nullopt;
}

// A whole number and nothing else.
std::optional<int> whole_number(const std::string& text) {
    int v = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
    if (r.ec != std::errc() || r.ptr != text.data() + text.size() || text.empty()) return std::nullopt;
    return v;
}

int ramp_named(const std::string& name) {
    for (int i = 0; i < static_cast<int>(std::size(kRampNames)); ++i)
        if (QString::fromStdString(name).compare(kRampNames[i], Qt::CaseInsensitive) == 0) return i;
    return -1;
}

int colour_map_named(const std::string& name) {
    for (int i = 0; i < kPerceptualRampCount; ++i)
        if (QString::fromStdString(name).compare(kPerceptualRampNames[static_cast<std::size_t>(i)],
                                                 Qt::CaseInsensitive) == 0)
            return kFirstPerceptualRamp + i;
    return 0;
}

StartupResult usage_error(const std::string& problem) {
    StartupResult r;
    r.exit_status = 2;
    r.err = "Veldra_GUI: " + problem + "\n" + usage_text();
    return r;
}

std::string settings_hint() {
    return "\n\nThe model folder is named either on the command line with --model DIR, or on the first line "
           "of the settings file, within apostrophes, e.g. 'D:\\runs\\world'.";
}

}  // namespace

std::string usage_text() {
    StartOptions unused;
    return command_line(unused)->help();
}

StartupResult start_viewer(const std::vector<std::string>& args) {
    StartOptions o;
    const std::unique_ptr<CLI::App> app = command_line(o);
    try {
        // CLI11 takes the arguments last first.
        std::vector<std::string> reversed(args.rbegin(), args.rend());
        app->parse(reversed);
    } catch (const CLI::CallForHelp&) {
        StartupResult r;
        r.out = app->help();
        return r;
    } catch (const CLI::ArgumentMismatch&) {
        // A switch given a value, else an option that came last without its value.
        if (const auto arg = switch_with_value(args)) return usage_error("unknown option " + *arg);
        return usage_error(args.back() + " needs a value");
    } catch (const CLI::ParseError& e) {
        return usage_error(e.what());
    }
    if (o.version) {
        StartupResult r;
        r.out = std::string("Veldra_GUI ") + veldra::files::kVersion + "\n";
        return r;
    }
    if (const std::vector<std::string> left = app->remaining(); !left.empty())
        return usage_error("unknown option " + left.front());
    if (const auto arg = switch_with_value(args)) return usage_error("unknown option " + *arg);
    const bool have_model = app->count("--model") > 0, have_settings = app->count("--settings") > 0;
    if (have_model && have_settings) return usage_error("--model and --settings exclude each other");
    std::optional<std::array<double, 2>> query_point;
    if (!o.query.empty()) {
        const std::size_t comma = o.query.find(',');
        const auto lon = comma == std::string::npos ? std::nullopt : files::parse_number(o.query.substr(0, comma));
        const auto lat = comma == std::string::npos ? std::nullopt : files::parse_number(o.query.substr(comma + 1));
        if (!lon || !lat) return usage_error("--query needs a longitude and a latitude, e.g. --query 20.5,-3.25");
        query_point = std::array<double, 2>{*lon, *lat};
    }
    std::optional<int> layer_number, year_number, month_number;
    std::optional<double> zoom_factor;
    if (!o.layer.empty()) {
        if (o.select.empty()) return usage_error("--layer needs --select: the layer of which variable?");
        if (!(layer_number = whole_number(o.layer)) || *layer_number < 1)
            return usage_error("--layer needs a layer number from 1, e.g. --layer 2");
    }
    if (!o.year.empty() && !(year_number = whole_number(o.year)))
        return usage_error("--year needs a whole year, e.g. --year 2001");
    if (!o.month.empty() && (!(month_number = whole_number(o.month)) || *month_number < 1 || *month_number > 12))
        return usage_error("--month needs a month from 1 to 12");
    if (!o.ramp.empty() && ramp_named(o.ramp) < 0)
        return usage_error("--ramp needs one of \"Random colors\", \"Red stretched\", \"Green stretched\", "
                           "\"Blue stretched\", \"Blue to Yellow\"");
    if (!o.zoom.empty()) {
        zoom_factor = files::parse_number(o.zoom);
        if (!zoom_factor || !std::isfinite(*zoom_factor) || *zoom_factor < 1)
            return usage_error("--zoom needs a factor of 1 or more, e.g. --zoom 4");
    }
    std::optional<ColourScale> fixed_scale;
    if (!o.scale.empty()) {
        const auto ends = parse_scale(o.scale);
        if (!ends) return usage_error("--scale needs a low and a high end, e.g. --scale 0,250");
        if (const auto problem = scale_problem(ends->first, ends->second, o.log_scale))
            return usage_error("--scale " + o.scale + ": " + *problem);
        fixed_scale = ColourScale{true, ends->first, ends->second, o.log_scale};
    } else if (o.log_scale) {
        return usage_error("--log-scale needs --scale: a logarithmic scale has fixed ends");
    }
    const int colour_map_index = o.colour_map.empty() ? 0 : colour_map_named(o.colour_map);
    if (!o.colour_map.empty() && colour_map_index == 0)
        return usage_error("--colour-map needs one of \"Viridis\", \"Cividis\", \"Blue-white-red\", \"Grey\"");
    const std::optional<DifferenceTo> difference_to =
        o.difference.empty() ? std::nullopt : parse_difference(o.difference);
    if (!o.difference.empty() && !difference_to)
        return usage_error("--difference needs a year and a month, e.g. --difference 1999-07, or a year");
    if (difference_to && o.log_scale)
        return usage_error("--log-scale does not apply to --difference: a difference has a linear scale of its own");

    const std::optional<MapShow> show = o.show.empty() ? MapShow::month : map_show_named(o.show);
    if (!show) return usage_error("--show needs one of month, year-mean, climatology, run-mean, trend");

    StartupResult r;
    r.screenshot = o.screenshot;  // also when the model cannot be loaded: no message box then
    std::string folder;
    if (have_model) {
        folder = o.model;
    } else {
        const std::string path = have_settings ? o.settings : files::default_settings_path();
        try {
            folder = files::read_settings_file(path);
        } catch (const files::LoadError& e) {
            r.exit_status = 1;
            r.message = e.what() + settings_hint();
            return r;
        }
    }

    try {
        r.state = load_model(folder);
    } catch (const files::LoadError& e) {
        r.exit_status = 1;
        r.message = e.what();
        return r;
    } catch (const std::bad_alloc&) {
        // The loaders name the file they were reading; this is what is left.
        r.exit_status = 1;
        r.message = files::with_trailing_separator(folder) + ": there is not enough memory to load the model";
        return r;
    }
    const ViewerState& state = r.state;

    if (!o.select.empty()) {
        const auto found = std::find_if(state.OutputTable.begin(), state.OutputTable.end(),
                                        [&](const files::OutputEntry& e) { return e.FileName == o.select; });
        if (found == state.OutputTable.end()) return usage_error("--select: the model lists no variable named " + o.select);
        if (layer_number && *layer_number > std::max(found->LayerCount, 1))
            return usage_error("--layer: " + o.select + " has " + std::to_string(found->LayerCount) +
                               (found->LayerCount == 1 ? " layer" : " layers"));
        if (layer_number && found->LayerCount == 0) return usage_error("--layer: " + o.select + " has no layers");
    }
    if (year_number && (*year_number < state.first_year() || *year_number > state.GridInfo.lastYear))
        return usage_error("--year: the model runs from " + std::to_string(state.first_year()) + " to " +
                           std::to_string(state.GridInfo.lastYear));
    if (difference_to && (difference_to->year < state.first_year() || difference_to->year > state.GridInfo.lastYear))
        return usage_error("--difference: the model runs from " + std::to_string(state.first_year()) + " to " +
                           std::to_string(state.GridInfo.lastYear));
    r.run = true;
    r.select = o.select;
    r.screenshot = o.screenshot;
    r.query = query_point;
    r.layer = layer_number;
    r.year = year_number;
    r.month = month_number;
    r.ramp = o.ramp;
    r.zoom = zoom_factor;
    r.scale = fixed_scale;
    r.colour_map = colour_map_index;
    r.difference = difference_to;
    r.borders = o.borders;
    r.graticule = o.graticule;
    r.show = *show;
    r.compare = o.compare;
    return r;
}

bool has_start_choices(const StartupResult& r) {
    return !r.select.empty() || r.layer || r.year || r.month || !r.ramp.empty() || r.zoom || r.query || r.scale ||
           r.colour_map != 0 || r.difference || r.borders || r.graticule ||
           r.show != MapShow::month || !r.compare.empty();
}

void apply_start_choices(const StartupResult& r, FrmMain& w) {
    // The map's options first, so that the first map drawn is drawn with
    // them; the difference before the scale, which is then the difference's.
    if (r.difference) w.set_difference(r.difference);
    if (r.scale) w.set_colour_scale(*r.scale);
    if (r.colour_map != 0) w.set_colour_map(r.colour_map);
    if (r.borders) w.set_borders(true);
    if (r.graticule) w.set_graticule(true);
    if (r.show != MapShow::month) w.set_show(r.show);
    if (!r.compare.empty()) w.compare_with(r.compare);
    if (!r.ramp.empty()) w.select_item(w.lstClr, ramp_named(r.ramp));
    if (!r.select.empty()) {
        const auto items = w.lstMaps->findItems(QString::fromStdString(r.select), Qt::MatchExactly);
        if (!items.isEmpty()) w.select_item(w.lstMaps, w.lstMaps->row(items.front()));
    }
    // A variable of one layer has no layer list: it is drawn already.
    if (r.layer && w.lstIndex->count() > 0) w.select_item(w.lstIndex, *r.layer - 1);
    // The boxes change as the arrows change them: the month, then the year.
    if (r.month) w.txtMonth->setText(QString::number(*r.month));
    if (r.year) w.txtYear->setText(QString::number(*r.year));
    if (r.zoom) {
        if (r.query) w.zoom_around((*r.query)[0], (*r.query)[1], *r.zoom);
        else w.zoom_by(*r.zoom);
    }
    if (r.query) w.query_at((*r.query)[0], (*r.query)[1]);
}

int finish_without_run(const StartupResult& result, UiServices& ui, std::ostream& out, std::ostream& err) {
    out << result.out;
    err << result.err;
    if (!result.message.empty()) {
        // Also on the console, for whoever started the viewer from a script;
        // only there for a script's --screenshot, which no one is there to close.
        err << "Veldra_GUI: " << result.message << "\n";
        if (result.screenshot.empty()) ui.message(QString::fromStdString(result.message));
    }
    return result.exit_status;
}

}  // namespace veldra::viewer
