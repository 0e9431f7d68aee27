#include "modelfiles/cell_file.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "modelfiles/list_reader.h"

namespace veldra::files {

std::int32_t half_extent(std::int32_t lower, std::int32_t upper, float cellSize) {
    const float span = static_cast<float>(std::int64_t{upper} - lower);
    const float half = span * 0.5f / cellSize;
    // Beyond the 32-bit range the grid cannot be held anyway; clamp so the
    // size check below reports it instead of an undefined conversion.
    if (!(std::fabs(half) < 2147483520.0f)) return half < 0 ? -2147483520 : 2147483520;
    return static_cast<std::int32_t>(half);
}

bool grid_fits(std::int64_t cols, std::int64_t rows) {
    return cols >= 0 && rows >= 0 && cols <= kMaxGridSide && rows <= kMaxGridSide && cols * rows <= kMaxGridPositions;
}

std::string grid_too_large_message(std::int64_t cols, std::int64_t rows) {
    return "a grid of " + std::to_string(cols) + " x " + std::to_string(rows) +
           " cells is too large to hold (at most " + std::to_string(kMaxGridSide) + " columns or rows and " +
           std::to_string(kMaxGridPositions) + " cells)";
}

GridWindow grid_window(const GridInfo& info) {
    return {half_extent(info.lowerX, info.upperX, info.cellSize),
            half_extent(info.lowerY, info.upperY, info.cellSize)};
}

CellFile parse_cell_file(std::string_view text, const std::string& file_name) {
    ListReader in(text, file_name);
    CellFile result;
    GridInfo& g = result.info;
    g.cellCount = in.read_whole("the cell count (header value 1)");
    g.xDimension = in.read_whole("the number of columns (header value 2)");
    g.yDimension = in.read_whole("the number of rows (header value 3)");
    g.lowerX = in.read_whole("the west edge (header value 4)");
    g.lowerY = in.read_whole("the south edge (header value 5)");
    g.upperX = in.read_whole("the east edge (header value 6)");
    g.upperY = in.read_whole("the north edge (header value 7)");
    g.cellSize = in.read_real("the cell size (header value 8)");
    g.firstYear = in.read_whole("the first year (header value 9)");
    g.lastYear = in.read_whole("the last year (header value 10)");

    if (g.cellCount < 0)
        in.fail("the cell count " + std::to_string(g.cellCount) + " is negative");
    if (!(g.cellSize > 0) || std::isinf(g.cellSize))
        in.fail("the cell size must be a positive number");
    result.window = grid_window(g);
    if (!grid_fits(result.window.cols(), result.window.rows()))
        in.fail(grid_too_large_message(result.window.cols(), result.window.rows()));
    in.skip_rest_of_line();

    // Every cell needs a line of its own: a count beyond the lines that follow
    // is a short file, reported before anything is allocated for it.
    const std::size_t lines_left = in.remaining_lines();
    if (lines_left < static_cast<std::size_t>(g.cellCount))
        in.fail("the header gives " + std::to_string(g.cellCount) + " cells, but only " +
                std::to_string(lines_left) + " lines follow");

    result.cells.reserve(static_cast<std::size_t>(g.cellCount));
    for (std::int32_t i = 0; i < g.cellCount; ++i) {
        // Most lines hold their five numbers plainly; anything else is read
        // value by value, which also names what is wrong.
        std::int32_t v[5];
        if (!in.read_plain_wholes(v, 5)) {
            v[0] = in.read_whole("the cell number of a cell");
            v[1] = in.read_whole("the zone of a cell");
            v[2] = in.read_whole("the column of a cell");
            v[3] = in.read_whole("the row of a cell");
            v[4] = in.read_whole("the range type of a cell");
        }
        const RangeCell& c = result.cells.emplace_back(RangeCell{v[0], v[1], v[2], v[3], v[4]});
        if (const auto outside = cell_outside_grid(i + 1, c, result.window.cols(), result.window.rows()))
            in.fail(*outside);
        in.skip_rest_of_line();
    }
    result.warnings = shared_position_warnings(result.cells, result.window.cols(), file_name);
    return result;
}

std::optional<std::string> cell_outside_grid(std::int64_t index, const RangeCell& c, std::int64_t cols,
                                             std::int64_t rows) {
    if (c.x >= 1 && c.x <= cols && c.y >= 1 && c.y <= rows) return std::nullopt;
    return "cell " + std::to_string(index) + " at column " + std::to_string(c.x) + ", row " + std::to_string(c.y) +
           " lies outside the grid of " + std::to_string(cols) + " columns and " + std::to_string(rows) + " rows";
}

std::vector<std::string> shared_position_warnings(const std::vector<RangeCell>& cells, std::int64_t cols,
                                                  const std::string& file_name) {
    // Position and file index in one key: sorted, cells of one position stand
    // together in file order.
    std::vector<std::uint64_t> keys(cells.size());
    for (std::size_t i = 0; i < cells.size(); ++i) {
        const auto position = static_cast<std::uint64_t>((std::int64_t{cells[i].y} - 1) * cols + (cells[i].x - 1));
        keys[i] = position << 32 | i;
    }
    std::sort(keys.begin(), keys.end());
    // (earlier, later) file indices, each later cell once.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> pairs;
    for (std::size_t k = 1; k < keys.size(); ++k)
        if (keys[k] >> 32 == keys[k - 1] >> 32)
            pairs.emplace_back(static_cast<std::uint32_t>(keys[k - 1]), static_cast<std::uint32_t>(keys[k]));
    std::sort(pairs.begin(), pairs.end(), [](const auto& a, const auto& b) { return a.second < b.second; });

    std::vector<std::string> lines;
    for (std::size_t k = 0; k < pairs.size() && k < kNamedSharedPositions; ++k) {
        const RangeCell& first = cells[pairs[k].first];
        const RangeCell& later = cells[pairs[k].second];
        lines.push_back(file_name + ": cells " + std::to_string(first.cellNumber) + " and " +
                        std::to_string(later.cellNumber) + " lie at the same place (column " +
                        std::to_string(later.x) + ", row " + std::to_string(later.y) + "); the values of cell " +
                        std::to_string(later.cellNumber) + ", the later one, stand there");
    }
    if (pairs.size() > kNamedSharedPositions)
        lines.push_back(file_name + ": " + std::to_string(pairs.size() - kNamedSharedPositions) +
                        " more cells lie where an earlier cell lies");
    return lines;
}

}  // namespace veldra::files
