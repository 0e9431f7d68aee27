#include "viewer/startup.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <new>
#include <ostream>

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

std::string usage_text() {
    return "Usage: Veldra_GUI [--model DIR | --settings FILE] [--select NAME [--layer N]] [--year Y] [--month M]\n"
           "                  [--ramp NAME] [--query LON,LAT] [--zoom FACTOR] [--screenshot FILE]\n"
           "                  [--scale LO,HI [--log-scale]] [--colour-map NAME] [--difference YEAR[-MONTH]]\n"
           "                  [--borders] [--graticule]\n"
           "Shows the results of a Veldra model run: maps of its variables by year and month.\n"
           "\n"
           "  --model DIR        use DIR as the model folder; no settings file is read\n"
           "  --settings FILE    read the model folder from FILE instead of the default settings file\n"
           "  --select NAME      choose the variable NAME at start, as a click in the variable list does\n"
           "  --layer N          then choose its layer N, as a click in the layer list does\n"
           "  --year Y           show year Y (within the model's years), as the year arrows would\n"
           "  --month M          show month M (1 to 12), as the month arrows would\n"
           "  --ramp NAME        choose the colour ramp NAME, e.g. \"Blue to Yellow\" or \"Random colors\"\n"
           "  --zoom FACTOR      zoom the map by FACTOR (1 is the whole map) around the --query point,\n"
           "                     or around the map's centre\n"
           "  --screenshot FILE  save a picture of the window as PNG to FILE after the first\n"
           "                     deferred redraw, then exit: 0 when it was written, else 1; messages\n"
           "                     go to standard error instead of message boxes\n"
           "  --query LON,LAT    after start, query the cell nearest to that point, as a press on the map does\n"
           "  --scale LO,HI      fix the ends of the stretched colour ramps at LO and HI, as Map > Colour scale does\n"
           "  --log-scale        with --scale, colour on a logarithmic scale (LO above 0)\n"
           "  --colour-map NAME  colour with the perceptual map NAME: Viridis, Cividis, Blue-white-red or Grey\n"
           "  --difference YEAR-MONTH\n"
           "                     show each month minus the same cell in YEAR and MONTH; with YEAR alone,\n"
           "                     minus the same month of YEAR, as Map > Show difference to does; with\n"
           "                     --scale, LO and HI are the ends of the difference's own scale\n"
           "  --borders          draw coastlines and national borders over the map\n"
           "  --graticule        draw meridians and parallels every 30 degrees over the map\n"
           "  --help             show this text\n"
           "  --version          show the version\n"
           "\n"
           "Without --model, the model folder is read from the first line of the settings file:\n"
           "its first character is skipped and the folder ends at the next apostrophe, e.g.\n"
           "  '/data/runs/world'  any comment\n"
           "The default settings file is $VELDRA_INI if set, else $XDG_CONFIG_HOME/veldra/Veldra.ini,\n"
           "else ~/.config/veldra/Veldra.ini.\n";
}

namespace {

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

StartupResult start_viewer(const std::vector<std::string>& args) {
    std::string model, settings, select, screenshot, query, layer, year, month, ramp, zoom, scale, colour_map,
        difference;
    bool have_model = false, have_settings = false, log_scale = false, borders = false, graticule = false;

    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            StartupResult r;
            r.out = usage_text();
            return r;
        }
        if (arg == "--version") {
            StartupResult r;
            r.out = std::string("Veldra_GUI ") + veldra::kVersion + "\n";
            return r;
        }
        if (arg == "--log-scale" || arg == "--borders" || arg == "--graticule") {
            (arg == "--log-scale" ? log_scale : arg == "--borders" ? borders : graticule) = true;
            continue;
        }
        struct Option {
            const char* name;
            std::string* value;
            bool* seen;
        };
        bool known = false;
        bool seen = false;
        for (const Option& o : {Option{"--model", &model, &have_model}, Option{"--settings", &settings, &have_settings},
                                Option{"--select", &select, &seen}, Option{"--screenshot", &screenshot, &seen},
                                Option{"--query", &query, &seen}, Option{"--layer", &layer, &seen},
                                Option{"--year", &year, &seen}, Option{"--month", &month, &seen},
                                Option{"--ramp", &ramp, &seen}, Option{"--zoom", &zoom, &seen},
                                Option{"--scale", &scale, &seen}, Option{"--colour-map", &colour_map, &seen},
                                Option{"--difference", &difference, &seen}}) {
            const std::string name = o.name;
            if (arg == name) {
                if (i + 1 >= args.size()) return usage_error(name + " needs a value");
                *o.value = args[++i];
            } else if (arg.rfind(name + "=", 0) == 0) {
                *o.value = arg.substr(name.size() + 1);
            } else {
                continue;
            }
            *o.seen = true;
            known = true;
            break;
        }
        if (!known) return usage_error("unknown option " + arg);
    }
    if (have_model && have_settings) return usage_error("--model and --settings exclude each other");
    std::optional<std::array<double, 2>> query_point;
    if (!query.empty()) {
        const std::size_t comma = query.find(',');
        const auto lon = comma == std::string::npos ? std::nullopt : parse_number(query.substr(0, comma));
        const auto lat = comma == std::string::npos ? std::nullopt : parse_number(query.substr(comma + 1));
        if (!lon || !lat) return usage_error("--query needs a longitude and a latitude, e.g. --query 20.5,-3.25");
        query_point = std::array<double, 2>{*lon, *lat};
    }
    std::optional<int> layer_number, year_number, month_number;
    std::optional<double> zoom_factor;
    if (!layer.empty()) {
        if (select.empty()) return usage_error("--layer needs --select: the layer of which variable?");
        if (!(layer_number = whole_number(layer)) || *layer_number < 1)
            return usage_error("--layer needs a layer number from 1, e.g. --layer 2");
    }
    if (!year.empty() && !(year_number = whole_number(year)))
        return usage_error("--year needs a whole year, e.g. --year 2001");
    if (!month.empty() && (!(month_number = whole_number(month)) || *month_number < 1 || *month_number > 12))
        return usage_error("--month needs a month from 1 to 12");
    if (!ramp.empty() && ramp_named(ramp) < 0)
        return usage_error("--ramp needs one of \"Random colors\", \"Red stretched\", \"Green stretched\", "
                           "\"Blue stretched\", \"Blue to Yellow\"");
    if (!zoom.empty()) {
        zoom_factor = parse_number(zoom);
        if (!zoom_factor || !std::isfinite(*zoom_factor) || *zoom_factor < 1)
            return usage_error("--zoom needs a factor of 1 or more, e.g. --zoom 4");
    }
    std::optional<ColourScale> fixed_scale;
    if (!scale.empty()) {
        const auto ends = parse_scale(scale);
        if (!ends) return usage_error("--scale needs a low and a high end, e.g. --scale 0,250");
        if (const auto problem = scale_problem(ends->first, ends->second, log_scale))
            return usage_error("--scale " + scale + ": " + *problem);
        fixed_scale = ColourScale{true, ends->first, ends->second, log_scale};
    } else if (log_scale) {
        return usage_error("--log-scale needs --scale: a logarithmic scale has fixed ends");
    }
    const int colour_map_index = colour_map.empty() ? 0 : colour_map_named(colour_map);
    if (!colour_map.empty() && colour_map_index == 0)
        return usage_error("--colour-map needs one of \"Viridis\", \"Cividis\", \"Blue-white-red\", \"Grey\"");
    const std::optional<DifferenceTo> difference_to =
        difference.empty() ? std::nullopt : parse_difference(difference);
    if (!difference.empty() && !difference_to)
        return usage_error("--difference needs a year and a month, e.g. --difference 1999-07, or a year");
    if (difference_to && log_scale)
        return usage_error("--log-scale does not apply to --difference: a difference has a linear scale of its own");

    StartupResult r;
    r.screenshot = screenshot;  // also when the model cannot be loaded: no message box then
    std::string folder;
    if (have_model) {
        folder = model;
    } else {
        const std::string path = have_settings ? settings : default_settings_path();
        try {
            folder = read_settings_file(path);
        } catch (const LoadError& e) {
            r.exit_status = 1;
            r.message = e.what() + settings_hint();
            return r;
        }
    }

    try {
        r.state = load_model(folder);
    } catch (const LoadError& e) {
        r.exit_status = 1;
        r.message = e.what();
        return r;
    } catch (const std::bad_alloc&) {
        // The loaders name the file they were reading; this is what is left.
        r.exit_status = 1;
        r.message = with_trailing_separator(folder) + ": there is not enough memory to load the model";
        return r;
    }
    const ViewerState& state = r.state;

    if (!select.empty()) {
        const auto found = std::find_if(state.OutputTable.begin(), state.OutputTable.end(),
                                        [&](const OutputEntry& e) { return e.FileName == select; });
        if (found == state.OutputTable.end()) return usage_error("--select: the model lists no variable named " + select);
        if (layer_number && *layer_number > std::max(found->LayerCount, 1))
            return usage_error("--layer: " + select + " has " + std::to_string(found->LayerCount) +
                               (found->LayerCount == 1 ? " layer" : " layers"));
        if (layer_number && found->LayerCount == 0) return usage_error("--layer: " + select + " has no layers");
    }
    if (year_number && (*year_number < state.first_year() || *year_number > state.GridInfo.lastYear))
        return usage_error("--year: the model runs from " + std::to_string(state.first_year()) + " to " +
                           std::to_string(state.GridInfo.lastYear));
    if (difference_to && (difference_to->year < state.first_year() || difference_to->year > state.GridInfo.lastYear))
        return usage_error("--difference: the model runs from " + std::to_string(state.first_year()) + " to " +
                           std::to_string(state.GridInfo.lastYear));
    r.run = true;
    r.select = select;
    r.screenshot = screenshot;
    r.query = query_point;
    r.layer = layer_number;
    r.year = year_number;
    r.month = month_number;
    r.ramp = ramp;
    r.zoom = zoom_factor;
    r.scale = fixed_scale;
    r.colour_map = colour_map_index;
    r.difference = difference_to;
    r.borders = borders;
    r.graticule = graticule;
    return r;
}

bool has_start_choices(const StartupResult& r) {
    return !r.select.empty() || r.layer || r.year || r.month || !r.ramp.empty() || r.zoom || r.query || r.scale ||
           r.colour_map != 0 || r.difference || r.borders || r.graticule;
}

void apply_start_choices(const StartupResult& r, FrmMain& w) {
    // The map's options first, so that the first map drawn is drawn with
    // them; the difference before the scale, which is then the difference's.
    if (r.difference) w.set_difference(r.difference);
    if (r.scale) w.set_colour_scale(*r.scale);
    if (r.colour_map != 0) w.set_colour_map(r.colour_map);
    if (r.borders) w.set_borders(true);
    if (r.graticule) w.set_graticule(true);
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
