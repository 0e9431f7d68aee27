// The resolutions the tools know: for each, the band of cell sizes that
// selects it, the header lines layer_exporter writes for it, the suffix of
// its lookup grids and the whole globe's columns and rows. Every tool that
// turns a cell file's cell size into a grid asks this table.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace veldra::files {

using GridHeader = std::array<std::string_view, 6>;

struct Resolution {
    // The band: cell sizes strictly between these single-precision bounds.
    float above;
    float below;
    std::string_view suffix;  // of the lookup grids: "0p083"
    std::int32_t cols;        // of the whole globe
    std::int32_t rows;
    // layer_exporter's header lines; a resolution it writes no header for
    // has none (every line empty).
    GridHeader exporter_header;

    // The cell size of the whole globe's grid in degrees: 360 / cols.
    double cell() const { return 360.0 / cols; }
    bool has_exporter_header() const { return !exporter_header[0].empty(); }
};

// Every row, coarsest first.
std::span<const Resolution> resolutions();

// The row whose band holds `cell_size`, or nullptr.
const Resolution* resolution_of(float cell_size);

// The row of a lookup suffix ("0p5"), or nullptr.
const Resolution* resolution_named(std::string_view suffix);

// The edges of a model grid in degrees, from its cell file.
struct ModelEdges {
    double west = -180;
    double south = -90;
    double east = 180;
    double north = 90;
};

// The edges are those of the whole globe (-180, -90, 180, 90), each to within
// a millionth of a degree.
bool covers_globe(const ModelEdges& edges);

// The grid that holds a model's cells: its size, its south-west corner and
// its cell size in degrees.
struct ModelGrid {
    std::int64_t cols = 0;
    std::int64_t rows = 0;
    double west = 0;
    double south = 0;
    double cell = 0;                       // the row's exact size for a listed band, else the cell file's
    const Resolution* resolution = nullptr;  // the band of the cell size, if listed
    bool whole_globe = false;               // covers_globe(edges)
};

// The model grid of a cell file's edges and cell size, whose globe mask has
// mask_cols x mask_rows positions. The edges span a whole number of cells;
// where the mask's size lies within one column and one row of that number,
// the number stands (the mask's size is counted from the single-precision
// cell size, which lies a hair above 1/10 or 1/6 degree and so comes out a
// column and a row short); otherwise the mask's size stands.
ModelGrid model_grid(const ModelEdges& edges, float cell_size, std::int64_t mask_cols, std::int64_t mask_rows);

}  // namespace veldra::files
