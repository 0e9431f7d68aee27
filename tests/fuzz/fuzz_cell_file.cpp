// The cell file under the exporter's rules. A file that loads has as many
// cells as its header gives, every one inside the grid, and a grid within the
// limits; a file that does not is refused with a message naming it.
#include <cmath>

#include "modelfiles/cell_file.h"
#include "modelfiles/file_io.h"
#include "tests/fuzz/fuzz_check.h"

using namespace veldra;
using namespace veldra::files;
using fuzz::check;
using fuzz::number;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = fuzz::text_of(data, size);
    veldra::files::CellFile f;
    try {
        f = veldra::files::parse_cell_file(text, "Rng_Data.vrd");
    } catch (const veldra::files::ModelFileError& e) {
        check(std::string_view(e.what()).starts_with("Rng_Data.vrd: line "), e.what());
        return 0;
    }
    const veldra::files::GridWindow expected = grid_window(f.info);
    check(f.window.half_cols == expected.half_cols && f.window.half_rows == expected.half_rows,
          "the window differs from the one the header gives");
    const std::int64_t cols = f.window.cols(), rows = f.window.rows();
    check(cols >= 0 && rows >= 0 && cols <= veldra::files::kMaxGridSide && rows <= veldra::files::kMaxGridSide && cols * rows <= veldra::files::kMaxGridPositions,
          "accepted a grid of " + number(cols) + " x " + number(rows));
    check(f.info.cellSize > 0 && std::isfinite(f.info.cellSize), "accepted a cell size that is not positive");
    check(f.info.cellCount >= 0 && f.cells.size() == static_cast<std::size_t>(f.info.cellCount),
          "the header gives " + number(f.info.cellCount) + " cells, " + number(f.cells.size()) + " were read");
    check(f.cells.size() <= fuzz::line_count(text), "more cells than lines");
    for (const veldra::files::RangeCell& c : f.cells)
        if (c.x < 1 || c.x > cols || c.y < 1 || c.y > rows)
            fuzz::fail("cell " + number(c.cellNumber) + " at " + number(c.x) + ", " + number(c.y) + " lies outside the grid");
    return 0;
}
