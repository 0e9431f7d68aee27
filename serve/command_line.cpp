#include "serve/command_line.h"

#include <CLI/CLI.hpp>

#include "modelfiles/version.h"

namespace veldra::serve {
namespace {

bool name_fits(const std::string& name) {
    if (name.empty() || name.size() > 64) return false;
    for (const char c : name)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-'))
            return false;
    return name != "static" && name != "wms" && name != "tiles";
}

ParsedCommandLine usage_error(const std::string& reason) {
    ParsedCommandLine r;
    r.exit_status = 2;
    r.err = "veldra_serve: " + reason + "; see --help\n";
    return r;
}

}  // namespace

ParsedCommandLine parse_command_line(const std::vector<std::string>& args) {
    ParsedCommandLine r;
    ServeOptions& o = r.options;
    std::vector<std::string> models;
    bool version = false;
    CLI::App app("Serves the runs of model folders over HTTP: a WMS 1.3.0 with a time dimension (for QGIS, GDAL, "
                 "Leaflet and OpenLayers), Web Mercator tiles with a TileJSON per variable and layer, and a web "
                 "page with the map, a time slider and the series of a clicked cell.",
                 "veldra_serve");
    app.add_option("--model", models,
                   "a model folder (holding Parms/ and Output/); several as NAME=DIR, each served under /NAME/")
        ->required();
    app.add_option("--port", o.port, "the port to listen on; 0 takes a free port (default 8080)")
        ->check(CLI::Range(0, 65535));
    app.add_option("--bind", o.bind, "the address to listen on (default 127.0.0.1: this machine only)");
    app.add_option("--base-url", o.base_url,
                   "the address the server is reached at behind a reverse proxy, e.g. https://host/veldra");
    app.add_option("--cache-mb", o.cache_mb, "megabytes of month fields kept in memory (default 512)")
        ->check(CLI::Range(1, 1 << 20));
    app.add_option("--threads", o.threads, "threads answering requests, one per open connection (default 16)")->check(CLI::Range(1, 256));
    app.add_option("--queue", o.queue, "connections waiting for a thread at most (default 64)")
        ->check(CLI::Range(1, 100000));
    app.add_flag("--version", version, "print the version and exit");
    app.footer("The first line printed is the address to open. SIGTERM or Ctrl-C ends the server. "
               "A bad command line exits with status 2, a model that cannot be read with status 1. "
               "A connection is closed after " + std::to_string(o.connection.idle_seconds) +
               " seconds without progress, and a request that has not arrived whole " +
               std::to_string(o.connection.request_seconds) + " seconds after its first byte is answered "
               "408 and its connection closed.");
    try {
        std::vector<std::string> reversed(args.rbegin(), args.rend());
        if (std::find(args.begin(), args.end(), "--version") != args.end()) version = true;
        if (version) {
            r.exit_status = 0;
            r.out = std::string("veldra_serve ") + files::kVersion + "\n";
            return r;
        }
        app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        r.exit_status = 0;
        r.out = app.help();
        return r;
    } catch (const CLI::ParseError& e) {
        return usage_error(e.what());
    }
    for (const std::string& m : models) {
        const std::size_t eq = m.find('=');
        if (eq != std::string::npos && name_fits(m.substr(0, eq))) {
            o.models.emplace_back(m.substr(0, eq), m.substr(eq + 1));
        } else {
            o.models.emplace_back("", m);
        }
    }
    if (o.models.size() > 1)
        for (const auto& [name, dir] : o.models)
            if (name.empty()) return usage_error("several models are given as NAME=DIR each (NAME of letters, digits, - and _)");
    for (std::size_t i = 0; i < o.models.size(); ++i)
        for (std::size_t j = 0; j < i; ++j)
            if (o.models[i].first == o.models[j].first) return usage_error("two models named " + o.models[i].first);
    while (!o.base_url.empty() && o.base_url.back() == '/') o.base_url.pop_back();
    return r;
}

std::string open_url(const ServeOptions& options, int port) {
    if (!options.base_url.empty()) return options.base_url + "/";
    const std::string host = options.bind == "0.0.0.0" || options.bind.empty() ? "127.0.0.1"
                             : options.bind.find(':') != std::string::npos ? "[" + options.bind + "]"
                                                                           : options.bind;
    return "http://" + host + ":" + std::to_string(port) + "/";
}

}  // namespace veldra::serve
