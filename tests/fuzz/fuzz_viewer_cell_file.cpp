// The cell file under the viewer's rules. A file that loads has as many cells
// as its header gives, a positive cell size, and extents whose grid can be
// held; a file that does not is refused with a message naming it.
#include <cmath>

#include "modelfiles/viewer_model.h"
#include "tests/fuzz/fuzz_check.h"

using namespace veldra::files;
using veldra::fuzz::check;
using veldra::fuzz::number;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = veldra::fuzz::text_of(data, size);
    ViewerCellFile f;
    try {
        f = parse_viewer_cell_file(text, "Rng_Data.vrd");
    } catch (const LoadError& e) {
        check(std::string_view(e.what()).starts_with("Rng_Data.vrd: "), e.what());
        return 0;
    }
    const ViewerGridInfo& info = f.info;
    check(info.cellSize > 0 && std::isfinite(info.cellSize), "accepted a cell size that is not positive");
    check(static_cast<double>(f.cells.size()) == std::nearbyint(info.cellCount),
          "the header gives " + number(static_cast<std::int64_t>(info.cellCount)) + " cells, " +
              number(f.cells.size()) + " were read");
    check(f.cells.size() <= text.size() / 10 + 1, "more cells than the file can hold");
    const Extents e = compute_extents(info);
    check(std::isfinite(e.half_cols) && std::isfinite(e.half_rows), "accepted a header whose extents are not numbers");
    const std::optional<GridShape> shape = grid_shape(e);
    check(shape.has_value(), "accepted a header whose grid cannot be held");
    check(shape->cols >= 0 && shape->rows >= 0 &&
              std::int64_t{shape->cols} * shape->rows <= veldra::files::kMaxGridPositions,
          "accepted a grid of " + number(shape->cols) + " x " + number(shape->rows));
    return 0;
}
