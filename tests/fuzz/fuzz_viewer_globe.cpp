// The globe file under the viewer's rules, for the extents of a cell-file
// header given on the input's first line. A globe is refused exactly when it
// has fewer lines than the grid has rows or the grid cannot be held; an
// accepted one has the grid's shape and marks land exactly where a line holds
// "T".
#include "modelfiles/viewer_model.h"
#include "modelfiles/cell_file.h"
#include "tests/fuzz/fuzz_check.h"

using namespace veldra::files;
using veldra::fuzz::check;
using veldra::fuzz::number;

namespace {

// Above this, an accepted globe costs too much time per input; larger grids
// are still tried with too few lines, which must be refused before the mask
// is allocated.
constexpr std::int64_t kLargestMaskTried = std::int64_t{1} << 22;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input = veldra::fuzz::text_of(data, size);
    const std::size_t first_end = input.find('\n');
    if (first_end == std::string_view::npos) return -1;
    Extents extents;
    try {
        extents = compute_extents(parse_viewer_cell_file(input.substr(0, first_end + 1), "Rng_Data.vrd").info);
    } catch (const LoadError&) {
        return -1;
    }
    const std::string_view text = input.substr(first_end + 1);
    const std::size_t lines = veldra::fuzz::line_count(text);
    const std::optional<GridShape> shape = grid_shape(extents);
    if (shape && std::int64_t{shape->cols} * shape->rows > kLargestMaskTried &&
        lines >= static_cast<std::size_t>(shape->rows))
        return -1;

    veldra::files::GlobeMask globe;
    try {
        globe = parse_viewer_globe(text, extents, "Globe.vrd");
    } catch (const LoadError& e) {
        check(std::string_view(e.what()).starts_with("Globe.vrd: "), e.what());
        check(!shape || lines < static_cast<std::size_t>(shape->rows),
              "refused a globe file of " + number(lines) + " lines for " + number(shape->rows) + " rows: " + e.what());
        return 0;
    }
    check(shape.has_value(), "accepted a globe for a grid that cannot be held");
    const std::int64_t cols = globe.cols, rows = globe.rows;
    check(cols == shape->cols && rows == shape->rows, "the mask's shape differs from the grid's");
    check(cols * rows <= veldra::files::kMaxGridPositions, "accepted a grid of " + number(cols) + " x " + number(rows));
    check(globe.land.size() == static_cast<std::size_t>(cols * rows), "the mask holds the wrong number of positions");
    check(static_cast<std::size_t>(rows) <= lines, "accepted a globe file shorter than the grid");

    std::size_t pos = 0;
    for (std::int64_t r = 0; r < rows; ++r) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        for (std::int64_t c = 0; c < cols; ++c) {
            const bool land = static_cast<std::size_t>(c) < line.size() && line[static_cast<std::size_t>(c)] == 'T';
            if (globe.is_land(static_cast<std::int32_t>(c), static_cast<std::int32_t>(r)) != land)
                veldra::fuzz::fail("row " + number(r + 1) + ", column " + number(c + 1) + " is marked wrongly");
        }
    }
    return 0;
}
