// veldra_serve's command line.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace veldra::serve {

// What a connection may take, the same for every server: --help tells them.
struct ConnectionLimits {
    int idle_seconds = 5;      // without a byte read or written, and between two requests of a connection
    int request_seconds = 10;  // from a request's first byte to the last of its head (and body, if any)
};

struct ServeOptions {
    std::vector<std::pair<std::string, std::string>> models;  // (name, folder); one unnamed model has no name
    int port = 8080;
    std::string bind = "127.0.0.1";
    std::string base_url;    // without a trailing "/"; empty: http://BIND:PORT
    std::size_t cache_mb = 512;
    int threads = 16;  // a browser keeps up to 6 connections open, each holding a thread while it lasts
    int queue = 64;
    ConnectionLimits connection;  // not on the command line
};

struct ParsedCommandLine {
    ServeOptions options;
    int exit_status = -1;  // -1: serve; else exit with it after printing `out` and `err`
    std::string out;
    std::string err;
};

ParsedCommandLine parse_command_line(const std::vector<std::string>& args);

// The address to open: "http://127.0.0.1:8080/" (base URL when given).
std::string open_url(const ServeOptions& options, int port);

}  // namespace veldra::serve
