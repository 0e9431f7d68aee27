// layer_exporter: turns one variable of a model folder into one ASCII grid per
// layer, month and year.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "modelfiles/file_io.h"

namespace veldra::out {

// Exit statuses of layer_exporter.
enum ExitStatus : int {
    kExitOk = 0,            // a complete run, help, or no parameter at all
    kExitFailure = 1,       // a checked failure stopped the run
    kExitUsage = 2,         // parameters missing, or a numeric one not a number
};

// Runs layer_exporter on its parameters (without the program name). The
// system's console lines go to `out`, each ended by "\n"; the reasons behind a
// failure that has no console line of its own go to `err`. Returns the exit
// status.
int run_layer_exporter(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
// The same, with every file reached through `files`.
int run_layer_exporter(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, files::FileAccess& files);

}  // namespace veldra::out
