// What the viewer does with its command line before any window exists: show
// its usage, or find the model folder and load the model.
#pragma once

#include <array>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "viewer/core/derived_map.h"
#include "viewer/core/map_options.h"
#include "viewer/core/viewer_state.h"

namespace veldra::viewer {

class FrmMain;
class UiServices;

struct StartupResult {
    bool run = false;          // open the windows on the loaded model
    int exit_status = 0;       // when not run
    std::string out;           // for standard output
    std::string err;           // for standard error
    std::string message;       // for one message box, before exiting
    std::string select;        // --select: the variable to choose at start
    std::string screenshot;    // --screenshot: where to save a picture of the window
    std::optional<std::array<double, 2>> query;  // --query: longitude and latitude of a cell query
    std::optional<int> layer;  // --layer: the layer to choose after --select
    std::optional<int> year;   // --year, --month: the month to show
    std::optional<int> month;
    std::string ramp;          // --ramp: the colour ramp to choose
    std::optional<double> zoom;  // --zoom: the zoom around the --query point, else the map's centre
    std::optional<ColourScale> scale;  // --scale, --log-scale: the fixed ends of the colour scale
    int colour_map = 0;        // --colour-map: a perceptual map's ramp index, 0 for none
    std::optional<DifferenceTo> difference;  // --difference: the month subtracted
    bool borders = false;      // --borders: coastlines and borders over the map
    bool graticule = false;    // --graticule: meridians and parallels every 30 degrees
    MapShow show = MapShow::month;  // --show: what the map shows
    std::string compare;       // --compare: the folder of the run subtracted
    ViewerState state;         // the loaded model, when run
};

std::string usage_text();

// Parses `args` (without the program name), finds the model folder and loads
// the model. Shows nothing and needs no display. A file that cannot be used,
// or too little memory to hold it, ends in one message naming the file and
// exit status 1.
StartupResult start_viewer(const std::vector<std::string>& args);

// Whether a result asks for anything once the window has settled.
bool has_start_choices(const StartupResult& result);

// Applies the choices of the command line to the window as the user's clicks
// would: the map's options (difference, colour scale, which is then the
// difference's, colour map, borders, graticule, what the map shows and the
// run it is compared with), then the ramp, the
// variable, its layer, the month and the year, the zoom and the cell query.
void apply_start_choices(const StartupResult& result, FrmMain& window);

// Prints the texts of a result that does not run, shows its message through
// `ui` (not for --screenshot, whose messages go to `err` alone), and
// returns the exit status.
int finish_without_run(const StartupResult& result, UiServices& ui, std::ostream& out, std::ostream& err);

}  // namespace veldra::viewer
