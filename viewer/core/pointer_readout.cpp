#include "viewer/core/pointer_readout.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "modelfiles/number_text.h"
#include "viewer/core/chart_text.h"
#include "viewer/core/viewer_state.h"
#include "modelfiles/paths.h"

namespace veldra::viewer {
namespace {

// Columns and rows of a cell file fit in 32 bits; a key orders by row, then column.
std::uint64_t key(std::int64_t col, std::int64_t row) {
    return (static_cast<std::uint64_t>(static_cast<std::uint32_t>(row)) << 32) |
           static_cast<std::uint32_t>(col);
}

}  // namespace

// Places after the point for a longitude or latitude: enough to tell the
// points of one cell apart at the closest zoom.
int coordinate_decimals(float cell_size) {
    if (!(cell_size > 0)) return 2;
    const int d = static_cast<int>(std::ceil(-std::log10(static_cast<double>(cell_size)) - 1e-9)) + 1;
    return std::clamp(d, 1, 4);
}

CellGrid::CellGrid(const std::vector<files::RangeCell>& cells) {
    std::vector<std::uint32_t> order(cells.size());
    std::iota(order.begin(), order.end(), 0u);
    std::vector<std::uint64_t> keys(cells.size());
    for (std::size_t i = 0; i < cells.size(); ++i) keys[i] = key(cells[i].x, cells[i].y);
    // Stable: of two cells at one position, the first stays first.
    std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) { return keys[a] < keys[b]; });
    keys_.reserve(cells.size());
    indices_.reserve(cells.size());
    for (const std::uint32_t i : order) {
        if (!keys_.empty() && keys_.back() == keys[i]) continue;
        keys_.push_back(keys[i]);
        indices_.push_back(i);
    }
}

std::optional<std::size_t> CellGrid::find(std::int64_t col, std::int64_t row) const {
    if (col < 1 || row < 1 || col > 0xFFFFFFFFll || row > 0xFFFFFFFFll) return std::nullopt;
    const std::uint64_t k = key(col, row);
    const auto it = std::lower_bound(keys_.begin(), keys_.end(), k);
    if (it == keys_.end() || *it != k) return std::nullopt;
    return indices_[static_cast<std::size_t>(it - keys_.begin())];
}

PointerInfo pointer_info(const ViewerState& state, double x, double y) {
    PointerInfo info;
    const files::ViewerGridInfo& g = state.GridInfo;
    const double size = static_cast<double>(g.cellSize);
    info.longitude = (g.lowerX + g.upperX) / 2 + x * size;
    info.latitude = (g.lowerY + g.upperY) / 2 + y * size;

    // The square of column c and row r has its lower-left corner at
    // (-HalfCols + c - 1, HalfRows - r).
    const double c = std::floor(x + state.extents.half_cols) + 1;
    const double r = static_cast<double>(state.extents.half_rows_int) - std::floor(y);
    if (!std::isfinite(c) || !std::isfinite(r) || c < 1 || r < 1 || c > state.GlobeMask.cols ||
        r > state.GlobeMask.rows)
        return info;
    info.col = static_cast<std::int64_t>(c);
    info.row = static_cast<std::int64_t>(r);
    info.kind = state.GlobeMask.is_land(static_cast<std::int32_t>(info.col - 1), static_cast<std::int32_t>(info.row - 1))
                    ? PointKind::land
                    : PointKind::water;
    if (const auto cell = state.cell_grid.find(info.col, info.row)) {
        info.kind = PointKind::cell;
        info.cell = cell;
        if (state.picture.values && *cell < state.display_values.size()) info.value = state.display_values[*cell];
        if (state.picture.values && state.picture.values->minus && *cell < state.shown_values.size() &&
            *cell < state.reference_values.size()) {
            info.shown = state.shown_values[*cell];
            info.reference = state.reference_values[*cell];
        }
    }
    return info;
}

std::string pointer_text(const PointerInfo& info, const ViewerState& state) {
    const int decimals = coordinate_decimals(state.GridInfo.cellSize);
    std::string text = "lon " + files::fixed_number(info.longitude, decimals) + "  lat " + files::fixed_number(info.latitude, decimals);
    if (info.kind == PointKind::outside) return text + "   outside the grid";
    text += "   column " + std::to_string(info.col) + ", row " + std::to_string(info.row) + "   ";
    switch (info.kind) {
        case PointKind::water: return text + "water";
        case PointKind::land: return text + "land";
        default: break;
    }
    if (!info.value) return text + "no data";
    std::string units;
    if (const files::OutputEntry* e = state.selected_entry(); e && !files::trim_blanks(e->Units).empty())
        units.append(" ").append(files::trim_blanks(e->Units));
    auto value_text = [&](float v) {
        return files::in_valid_range(v) ? files::short_number(v) + units : "no data (" + files::short_number(v) + ")";
    };
    const PaintedValues* painted = state.picture.values ? &*state.picture.values : nullptr;
    if (painted && painted->minus && info.shown && info.reference) {
        return text + value_text(*info.shown) + ", " + month_name(painted->minus->second) + " " +
               std::to_string(painted->minus->first) + " " + value_text(*info.reference) + ", difference " +
               (files::in_valid_range(*info.value) ? files::short_number(*info.value) + units : "no data");
    }
    if (!files::in_valid_range(*info.value)) return text + "no data (" + files::short_number(*info.value) + ")";
    text += value_text(*info.value);
    if (painted && painted->fixed_scale) {
        if (*info.value > painted->colours.hi) text += " (above the scale)";
        else if (*info.value < painted->colours.lo) text += " (below the scale)";
    }
    return text;
}

}  // namespace veldra::viewer
