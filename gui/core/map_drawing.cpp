#include "gui/core/map_drawing.h"

#include <cmath>
#include <cstdlib>
#include <vector>

#include "modelfiles/file_io.h"
#include "modelfiles/paths.h"
#include "modelfiles/variable_file.h"

namespace veldra::viewer {
namespace {

// The lower-left corner of a cell's square on the map.
double cell_x0(const ViewerState& s, const ViewerCell& c) { return -s.extents.halfCols + c.x - 1; }
double cell_y0(const ViewerState& s, const ViewerCell& c) { return s.extents.halfRowsInt - c.y; }

}  // namespace

double text_value(const std::string& text) {
    const char* p = text.c_str();
    while (*p == ' ') ++p;
    char* end = nullptr;
    const double v = std::strtod(p, &end);
    return end == p ? 0 : v;
}

void set_map_scale(MapCanvas& canvas, const ViewerState& state) {
    canvas.set_scale(-state.extents.halfCols, state.extents.halfRowsInt, state.extents.halfCols,
                     -state.extents.halfRows);
}

void paint_globe(MapCanvas& canvas, const ViewerState& state) {
    const ViewerGlobe& g = state.GlobeMask;
    // Runs of land or water along a row are painted as one rectangle: the
    // same pixels as one square per position, at a fraction of the cost.
    for (int r = 0; r < g.rows; ++r) {
        const double y = state.extents.halfRowsInt - 1 - r;
        int c = 0;
        while (c < g.cols) {
            const bool land = g.is_land(c, r);
            int end = c + 1;
            while (end < g.cols && g.is_land(end, r) == land) ++end;
            canvas.fill_rect(-state.extents.halfCols + c, y, -state.extents.halfCols + end, y + 1,
                             land ? state.LandColour : state.WaterColour);
            c = end;
        }
    }
}

StatsLabels paint_stretched(MapCanvas& canvas, const ViewerState& state, const ColourRamp& ramp) {
    std::vector<float> values(state.CellTable.size());
    for (std::size_t i = 0; i < values.size(); ++i) values[i] = state.CellTable[i].value;
    const StretchStats stats = stretch_stats(values.data(), values.size());

    StatsLabels labels;
    labels.mean = format_two_decimals(stats.mean);
    labels.stdev = format_two_decimals(stats.stdev);
    labels.cells = std::to_string(stats.count);
    if (const OutputEntry* e = state.selected_entry()) labels.units = trim_blanks(e->Units);

    // Each cell is painted as its whole square, one grid cell.
    for (const ViewerCell& c : state.CellTable) {
        const double x0 = round_half_even(cell_x0(state, c));
        const double y0 = round_half_even(cell_y0(state, c));
        canvas.fill_rect(x0, y0, x0 + 1, y0 + 1, stretch_colour(c.value, stats, ramp));
    }
    return labels;
}

void paint_random(MapCanvas& canvas, const ViewerState& state) {
    for (const ViewerCell& c : state.CellTable) {
        const double x0 = cell_x0(state, c), y0 = cell_y0(state, c);
        canvas.fill_rect(x0, y0, x0 + 1, y0 + 1, state.ramps.random[static_cast<std::size_t>(random_ramp_index(c.value))]);
    }
}

DrawOutcome draw_data(ViewerState& state, MapCanvas& canvas, const std::string& yearText,
                      const std::string& monthText, const std::string& rampName) {
    DrawOutcome out;
    const OutputEntry* entry = state.selected_entry();
    if (!entry) return out;
    const std::string path = state.variable_path(*entry);
    auto file = VariableFile::open(path_to_open(path));
    if (!file) {
        out.message = "The file " + path + " cannot be opened.";
        return out;
    }

    const auto n = static_cast<std::int64_t>(round_half_even(state.GridInfo.cellCount));
    const auto yearOffset = static_cast<std::int64_t>(text_value(yearText) - state.GridInfo.firstYear);
    const auto monthOffset = static_cast<std::int64_t>(text_value(monthText) - 1);
    const std::int64_t layers = entry->LayerCount;
    const std::int64_t h =
        ((yearOffset * 12 + monthOffset) * layers + (state.SelectedLayer - 1)) * (n + 3);  // records before the block
    if (h < 0 || h + n + 3 > file->record_count()) {
        out.message = "The file " + path + " holds no data for year " + yearText + ", month " + monthText +
                      " (layer " + std::to_string(state.SelectedLayer) + "): the block would lie " +
                      (h < 0 ? "before the start of the file." : "past the end of the file.");
        return out;
    }

    std::vector<float> block(static_cast<std::size_t>(n + 3));
    try {
        if (file->read_records(h + 1, block.size(), block.data()) < block.size()) {
            out.message = "The file " + path + " ended while its block for year " + yearText + ", month " +
                          monthText + " was read.";
            return out;
        }
    } catch (const ModelFileError& e) {
        out.message = e.what();
        return out;
    }

    if (block[0] != static_cast<float>(n)) {
        out.message = "There is disagreement between the number of rangeland cells expected and what is being "
                      "read-in.  Something is out of sync. Expected is " +
                      plain_number(state.GridInfo.cellCount) + " and read-in was: " + plain_number(block[0]);
        return out;
    }
    if (block[1] != static_cast<float>(text_value(yearText))) {
        out.message = "There is disagreement between the current year and the year read-in.  Something is out of "
                      "sync.  Excepted is " +
                      yearText + " and read-in was " + plain_number(block[1]);
        return out;
    }
    if (block[2] != static_cast<float>(text_value(monthText))) {
        out.message = "There is disagreement between the current month and the month read-in.  Something is out "
                      "of sync.  Excepted is " +
                      monthText + " and read-in was " + plain_number(block[2]);
        return out;
    }

    for (std::size_t i = 0; i < state.CellTable.size(); ++i) state.CellTable[i].value = block[3 + i];
    out.drawn = true;
    set_map_scale(canvas, state);
    const RampChoice ramp = choose_ramp(state.ramps, rampName);
    if (ramp.random) paint_random(canvas, state);
    else if (ramp.stretched) out.labels = paint_stretched(canvas, state, *ramp.stretched);
    return out;
}

}  // namespace veldra::viewer
