// The value under the pointer: what lies at a map point (longitude and
// latitude, the column and row, and the value on display, land, water or no
// data), from the tables already loaded and the values already drawn.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "modelfiles/cell_file.h"

namespace veldra::viewer {

struct ViewerState;

// The rangeland cells by grid position, for a lookup in a few steps. Of two
// cells at the same position, the first in the cell table.
class CellGrid {
public:
    CellGrid() = default;
    explicit CellGrid(const std::vector<files::RangeCell>& cells);
    // The cell-table index of the cell at column `col` and row `row` (both from 1).
    std::optional<std::size_t> find(std::int64_t col, std::int64_t row) const;
    bool empty() const { return keys_.empty(); }

private:
    std::vector<std::uint64_t> keys_;     // sorted
    std::vector<std::uint32_t> indices_;  // the cell of each key
};

enum class PointKind { outside, water, land, cell };

struct PointerInfo {
    double longitude = 0;
    double latitude = 0;
    std::int64_t col = 0;  // from 1 at the west edge
    std::int64_t row = 0;  // from 1 at the north edge
    PointKind kind = PointKind::outside;
    std::optional<std::size_t> cell;  // kind == cell
    std::optional<float> value;       // the value on display, when the cell's values are drawn
    // A difference on display: the value of the month shown and of the month subtracted.
    std::optional<float> shown;
    std::optional<float> reference;
};

// Places after the point for a longitude or latitude: enough to tell the
// points of one cell apart at the closest zoom.
int coordinate_decimals(float cell_size);

// What lies at map point (x, y): the grid position whose square holds it.
PointerInfo pointer_info(const ViewerState& state, double x, double y);

// One line for the status line, e.g.
// «lon -62.25  lat -34.75   column 236, row 250   4.83 cm»; the value is
// "no data" when it lies outside the valid range or nothing is drawn. A
// difference shows both values and the difference:
// «... 4.83 cm, January 1999 3.10 cm, difference 1.73 cm»; a value beyond
// fixed ends says so: «... 312 cm (above the scale)».
std::string pointer_text(const PointerInfo& info, const ViewerState& state);

}  // namespace veldra::viewer
