// The cell query: the rangeland cell under a press on the map, and its
// monthly series over the whole run, read from the variable files.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "viewer/core/viewer_state.h"
#include "modelfiles/cell_file.h"
#include "modelfiles/file_io.h"

namespace veldra::viewer {

// The map square of a cell, one grid unit on a side: its lower-left corner
// is (-HalfCols + x - 1, HalfRows - y), HalfRows as the 16-bit whole number
// the viewer keeps.
struct CellSquare {
    double x0 = 0;
    double y0 = 0;
};
CellSquare cell_square(const files::RangeCell& cell, double half_cols, int half_rows);

// The index in `cells` of the cell whose square's centre lies nearest to the
// map point (x, y); of equally near cells the first. A point inside a cell's
// square always gives that cell, a point far outside the grid the nearest
// cell at its edge. Nothing when there are no cells.
std::optional<std::size_t> nearest_cell(const std::vector<files::RangeCell>& cells, double half_cols, int half_rows,
                                        double x, double y);

// The chart's four columns: the chosen variable, then the three climate files.
struct SeriesSource {
    std::string legend;
    std::string path;      // as stored: under the model folder
    std::int32_t layers;   // L of the file
    std::int32_t layer;    // the layer read, 1-based
};
inline constexpr std::array<const char*, 3> kClimateFiles = {"Precip", "max_temp", "min_temp"};
inline constexpr std::array<const char*, 3> kClimateLegends = {"Precipitation (cm)", "Max. temperature (C)",
                                                              "Min. temperature (C)"};

// One value per month of the run (row k - 1 is month k), nothing where the
// value lies outside the plausible window or could not be read, and the
// reason when the file could not be read for the whole run.
struct MonthlySeries {
    std::vector<std::optional<float>> rows;
    std::optional<std::string> failure;
};

struct RunShape {
    std::int64_t cell_count = 0;  // N
    std::int32_t first_year = 0;
    std::int32_t last_year = 0;
    std::size_t months() const {
        return last_year < first_year ? 0 : static_cast<std::size_t>(std::int64_t{last_year} - first_year + 1) * 12;
    }
};

// Reads the value of cell `cell` (0-based) for every month of the run from
// the file of `source`, one record a month.
MonthlySeries read_cell_series(const SeriesSource& source, std::size_t cell, const RunShape& run,
                               files::FileAccess& files = files::system_files());

// The run of the loaded model: N and the span of years.
RunShape run_shape(const ViewerState& state);

// The chart's first column: the selected entry at the selected layer.
// Nothing when there is nothing sound to chart: no drawable selection, a
// layer outside 1 .. LayerCount (a variable without layers has no block to
// read), or no cells.
std::optional<SeriesSource> selection_source(const ViewerState& state);

// The chart's other three columns: the climate files, layer 1 of 1.
std::array<SeriesSource, 3> climate_sources(const ViewerState& state);

// The chart's data: one row per month of the run and four columns. A
// query's values replace what a column held; a row the query skipped keeps
// what it held before.
class ChartTable {
public:
    explicit ChartTable(std::size_t rows = 0);
    std::size_t rows() const { return rows_; }
    void set_column(std::size_t column, const MonthlySeries& series);
    const std::vector<std::optional<float>>& column(std::size_t c) const { return columns_[c]; }

private:
    std::size_t rows_;
    std::array<std::vector<std::optional<float>>, 4> columns_;
};

// The value axis title: the file name, two blanks, the units, each trimmed.
std::string value_axis_title(const files::OutputEntry& entry);

}  // namespace veldra::viewer
