// The globe file under the exporter's rules, for the grid of a cell-file
// header given on the input's first line. A file is refused exactly when it
// has fewer lines than the grid has rows; an accepted one marks land where,
// after the leading blanks, the row's first value holds "T".
#include "modelfiles/cell_file.h"
#include "modelfiles/file_io.h"
#include "modelfiles/globe_file.h"
#include "tests/fuzz/fuzz_check.h"

using namespace veldra;
using namespace veldra::files;
using fuzz::check;
using fuzz::number;

namespace {

// Above this, an accepted globe costs too much time per input; larger grids
// are still tried with too few lines, which must be refused before the mask
// is allocated.
constexpr std::int64_t kLargestMaskTried = std::int64_t{1} << 22;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input = fuzz::text_of(data, size);
    const std::size_t first_end = input.find('\n');
    if (first_end == std::string_view::npos) return -1;
    veldra::files::GridWindow window;
    try {
        window = veldra::files::parse_cell_file(input.substr(0, first_end + 1), "Rng_Data.vrd").window;
    } catch (const veldra::files::ModelFileError&) {
        return -1;
    }
    const std::string_view text = input.substr(first_end + 1);
    const std::int64_t cols = window.cols(), rows = window.rows();
    const std::size_t lines = fuzz::line_count(text);
    if (cols * rows > kLargestMaskTried && lines >= static_cast<std::uint64_t>(rows)) return -1;

    veldra::files::GlobeMask mask;
    try {
        mask = parse_globe_file(text, window, "Globe.vrd");
    } catch (const veldra::files::ModelFileError& e) {
        check(std::string_view(e.what()).starts_with("Globe.vrd: "), e.what());
        check(lines < static_cast<std::uint64_t>(rows),
              "refused a globe file of " + number(lines) + " lines for " + number(rows) + " rows: " + e.what());
        return 0;
    }
    check(lines >= static_cast<std::uint64_t>(rows), "accepted a globe file shorter than the grid");
    check(mask.cols == cols && mask.rows == rows, "the mask's shape differs from the grid's");
    check(mask.land.size() == static_cast<std::size_t>(cols * rows), "the mask holds the wrong number of positions");

    std::size_t pos = 0;
    for (std::int64_t r = 0; r < rows; ++r) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        const std::size_t start = line.find_first_not_of(" \t\r");
        line = start == std::string_view::npos ? std::string_view{} : line.substr(start);
        line = line.substr(0, line.find_first_of(" \t,\r"));
        for (std::int64_t c = 0; c < cols; ++c) {
            const bool land = static_cast<std::size_t>(c) < line.size() && line[static_cast<std::size_t>(c)] == 'T';
            if (mask.is_land(static_cast<std::int32_t>(c), static_cast<std::int32_t>(r)) != land)
                fuzz::fail("row " + number(r + 1) + ", column " + number(c + 1) + " is marked wrongly");
        }
    }
    return 0;
}
