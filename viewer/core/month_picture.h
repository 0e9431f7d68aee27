// One month of a variable and layer as the map paints it, for saving frames
// and videos: its block read and checked, less the month subtracted when a
// difference is on view, coloured as the map's options say.
#pragma once

#include <string>
#include <vector>

#include "viewer/core/map_options.h"
#include "viewer/core/viewer_state.h"

namespace veldra::viewer {

struct MonthSource {
    std::string path;  // the variable file, as stored
    int layers = 1;
    int layer = 1;
    int list_ramp = 4;  // the colour list's ramp index, 0 for random colours
    std::optional<StretchStats> run;  // the stretch over the run, when the same colours are wanted
    MapOptions options;
};

struct MonthPicture {
    std::vector<float> values;  // in CellTable order: the values, or their differences
    PaintedValues painted;
    std::string problem;  // why the month could not be painted; no values then
    bool ok() const { return problem.empty(); }
};

MonthPicture month_picture(const ViewerState& state, const MonthSource& source, int year, int month);

}  // namespace veldra::viewer
