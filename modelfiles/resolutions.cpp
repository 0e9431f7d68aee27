#include "modelfiles/resolutions.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace veldra::files {
namespace {

// The six bands of layer_exporter's headers lie strictly between their
// single-precision bounds; its header lines are kept byte for byte.
// layer_exporter writes no header for 2 degrees.
constexpr Resolution kResolutions[] = {
    {1.98f, 2.02f, "2p0", 180, 90, {}},
    {0.99f, 1.01f, "1p0", 360, 180,
     {"ncols         360", "nrows         180", "xllcorner     -180", "yllcorner     -90",
      "cellsize      1.0", "NODATA_value  -9999"}},
    {0.49f, 0.51f, "0p5", 720, 360,
     {"ncols         720", "nrows         360", "xllcorner     -180", "yllcorner     -90",
      "cellsize      0.5", "NODATA_value  -9999"}},
    {0.24f, 0.26f, "0p25", 1440, 720,
     {"ncols         1440", "nrows         720", "xllcorner     -180", "yllcorner     -90",
      "cellsize      0.25", "NODATA_value  -9999"}},
    {0.16f, 0.173f, "0p167", 2160, 1080,
     {"ncols         2160", "nrows         1080", "xllcorner     -180", "yllcorner     -90",
      "cellsize      0.166666666667", "NODATA_value  -9999"}},
    {0.09f, 0.11f, "0p1", 3600, 1800,
     {"ncols         3600", "nrows         1800", "xllcorner     -180", "yllcorner     -90",
      "cellsize      0.1", "NODATA_value  -9999"}},
    {0.08f, 0.086f, "0p083", 4320, 2160,
     {"ncols         4320", "nrows         2160", "xllcorner     -180", "yllcorner     -90",
      "cellsize      0.083333333334", "NODATA_value  -9999"}},
};

// The cell size as the cell file writes it: the shortest decimal that reads
// back as the same single-precision value ("0.3", not 0.30000001192...).
double decimal_cell_size(float cell_size) {
    char text[32];
    const auto written = std::to_chars(text, text + sizeof text, cell_size);
    double value = cell_size;
    std::from_chars(text, written.ptr, value);
    return value;
}

// The whole number of cells that `span` degrees hold, or -1 when it holds none.
std::int64_t cells_in(double span, double cell) {
    const double count = span / cell;
    const double whole = std::round(count);
    if (!(whole >= 1 && whole < 1e9) || std::fabs(count - whole) > 1e-3) return -1;
    return static_cast<std::int64_t>(whole);
}

}  // namespace

std::span<const Resolution> resolutions() { return kResolutions; }

const Resolution* resolution_of(float cell_size) {
    for (const Resolution& r : kResolutions)
        if (cell_size > r.above && cell_size < r.below) return &r;
    return nullptr;
}

const Resolution* resolution_named(std::string_view suffix) {
    for (const Resolution& r : kResolutions)
        if (r.suffix == suffix) return &r;
    return nullptr;
}

bool covers_globe(const ModelEdges& e) {
    constexpr double kSlack = 1e-6;
    return std::fabs(e.west + 180) <= kSlack && std::fabs(e.south + 90) <= kSlack &&
           std::fabs(e.east - 180) <= kSlack && std::fabs(e.north - 90) <= kSlack;
}

ModelGrid model_grid(const ModelEdges& edges, float cell_size, std::int64_t mask_cols, std::int64_t mask_rows) {
    ModelGrid g;
    g.resolution = resolution_of(cell_size);
    g.whole_globe = covers_globe(edges);
    g.west = edges.west;
    g.south = edges.south;
    g.cell = g.resolution ? g.resolution->cell() : decimal_cell_size(cell_size);
    const std::int64_t cols = cells_in(edges.east - edges.west, g.cell);
    const std::int64_t rows = cells_in(edges.north - edges.south, g.cell);
    const bool near = cols > 0 && rows > 0 && std::llabs(cols - mask_cols) <= 1 && std::llabs(rows - mask_rows) <= 1;
    g.cols = near ? cols : mask_cols;
    g.rows = near ? rows : mask_rows;
    return g;
}

}  // namespace veldra::files
