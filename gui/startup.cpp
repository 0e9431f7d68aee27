#include "gui/startup.h"

#include <algorithm>
#include <new>
#include <ostream>

#include <QString>

#include "gui/ui_services.h"
#include "modelfiles/list_reader.h"
#include "modelfiles/version.h"
#include "modelfiles/paths.h"

namespace veldra::viewer {

std::string usage_text() {
    return "Usage: Veldra_GUI [--model DIR | --settings FILE] [--select NAME] [--query LON,LAT] [--screenshot FILE]\n"
           "Shows the results of a Veldra model run: maps of its variables by year and month.\n"
           "\n"
           "  --model DIR        use DIR as the model folder; no settings file is read\n"
           "  --settings FILE    read the model folder from FILE instead of the default settings file\n"
           "  --select NAME      choose the variable NAME at start, as a click in the variable list does\n"
           "  --screenshot FILE  save a picture of the window as PNG to FILE after the first\n"
           "                     deferred redraw, then exit\n"
           "  --query LON,LAT    after start, query the cell nearest to that point, as a press on the map does\n"
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
    std::string model, settings, select, screenshot, query;
    bool have_model = false, have_settings = false;

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
        struct Option {
            const char* name;
            std::string* value;
            bool* seen;
        };
        bool known = false;
        bool seen_select = false, seen_screenshot = false, seen_query = false;
        for (const Option& o : {Option{"--model", &model, &have_model}, Option{"--settings", &settings, &have_settings},
                                Option{"--select", &select, &seen_select},
                                Option{"--screenshot", &screenshot, &seen_screenshot},
                                Option{"--query", &query, &seen_query}}) {
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

    StartupResult r;
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
        const bool found = std::any_of(state.OutputTable.begin(), state.OutputTable.end(),
                                       [&](const OutputEntry& e) { return e.FileName == select; });
        if (!found) return usage_error("--select: the model lists no variable named " + select);
    }
    r.run = true;
    r.select = select;
    r.screenshot = screenshot;
    r.query = query_point;
    return r;
}

int finish_without_run(const StartupResult& result, UiServices& ui, std::ostream& out, std::ostream& err) {
    out << result.out;
    err << result.err;
    if (!result.message.empty()) {
        // Also on the console, for whoever started the viewer from a script.
        err << "Veldra_GUI: " << result.message << "\n";
        ui.message(QString::fromStdString(result.message));
    }
    return result.exit_status;
}

}  // namespace veldra::viewer
