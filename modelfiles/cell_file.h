// The cell file (Rng_Data.vrd): the grid geometry, the span of years and the
// list of rangeland cells, whose order is the order of the values in every
// block of every variable file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace veldra::files {

struct GridInfo {
    std::int32_t cellCount = 0;
    std::int32_t xDimension = 0;
    std::int32_t yDimension = 0;
    std::int32_t lowerX = 0;
    std::int32_t lowerY = 0;
    std::int32_t upperX = 0;
    std::int32_t upperY = 0;
    float cellSize = 0;
    std::int32_t firstYear = 0;
    std::int32_t lastYear = 0;
};

struct RangeCell {
    std::int32_t cellNumber = 0;
    std::int32_t zone = 0;
    std::int32_t x = 0;  // column, from 1 at the west edge
    std::int32_t y = 0;  // row, from 1 at the north edge
    std::int32_t rangeType = 0;
};

// The half extents of the grid in cells as the exporter computes them: the
// whole-number difference of the bounds in single precision, times 0.5,
// divided by the cell size, truncated toward zero.
std::int32_t half_extent(std::int32_t lower, std::int32_t upper, float cellSize);

// The grid window that the globe file covers and the grids show:
// 2 * half extent columns and rows (none when the half extent is not positive).
struct GridWindow {
    std::int32_t half_cols = 0;
    std::int32_t half_rows = 0;
    std::int64_t cols() const { return half_cols > 0 ? 2 * std::int64_t{half_cols} : 0; }
    std::int64_t rows() const { return half_rows > 0 ? 2 * std::int64_t{half_rows} : 0; }
    std::int64_t positions() const { return cols() * rows(); }
};

GridWindow grid_window(const GridInfo& info);

// Largest grid that the tools hold: at most this many columns or rows (a
// whole globe at 1/360 degree is 129,600 columns) and at most
// kMaxGridPositions positions (a whole globe at a bit finer than 1/120 degree).
inline constexpr std::int64_t kMaxGridSide = std::int64_t{1} << 17;
inline constexpr std::int64_t kMaxGridPositions = std::int64_t{1} << 30;

// Whether a grid of `cols` x `rows` can be held; the reason when it cannot.
// Works on any 64-bit counts, negative or huge, without overflow.
bool grid_fits(std::int64_t cols, std::int64_t rows);
std::string grid_too_large_message(std::int64_t cols, std::int64_t rows);

// The one check of a cell against its grid of `cols` x `rows` positions:
// nothing when column x and row y (from 1) lie inside, else the reason,
// naming cell `index` (from 1) by its place in the file.
std::optional<std::string> cell_outside_grid(std::int64_t index, const RangeCell& cell, std::int64_t cols,
                                             std::int64_t rows);

// At most this many cells sharing a position are named one by one; the rest
// are counted in one line.
inline constexpr std::size_t kNamedSharedPositions = 10;

// Warnings for cells that share a position of the grid (`cols` columns), all
// inside it: one line per cell that stands where an earlier one stood,
// naming both by their cell numbers (the first value of their lines), up to
// kNamedSharedPositions lines and then a count. The later cell is the one a
// grid shows there. Each line starts with `file_name`.
std::vector<std::string> shared_position_warnings(const std::vector<RangeCell>& cells, std::int64_t cols,
                                                  const std::string& file_name);

struct CellFile {
    GridInfo info;
    GridWindow window;
    std::vector<RangeCell> cells;       // cellCount entries, in file order
    std::vector<std::string> warnings;  // cells that share a position
};

// Reads a cell file as layer_exporter does: the ten header values may spread
// over several lines and whatever follows the tenth on its line is skipped;
// each cell takes the next five values, and the rest of its last line is
// skipped. Raises ModelFileError, naming `file_name` and the line, for a
// malformed number, a short file, a grid too large to hold, or a cell outside
// the grid; cells that share a position are warnings.
CellFile parse_cell_file(std::string_view text, const std::string& file_name);

}  // namespace veldra::files
