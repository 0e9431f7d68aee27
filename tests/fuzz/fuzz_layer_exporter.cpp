// layer_exporter's command line run against a small model in memory. The
// input's first byte chooses an output fault; the rest is split at NUL bytes
// into the six parameters, the cell file, the globe file and the variable
// file V.vrd (the rest of the input, binary), which lie in the folder "m/".
// Whatever happens, the status is 0, 1 or 2, the inputs are unchanged, no
// temporary file remains, a grid that was there before is still there, and
// every grid under its final name is whole.
#include <cerrno>
#include <optional>
#include <sstream>
#include <vector>

#include "export/layer_export.h"
#include "modelfiles/ascii_grid.h"
#include "modelfiles/cell_file.h"
#include "modelfiles/file_io.h"
#include "modelfiles/list_reader.h"
#include "modelfiles/paths.h"
#include "tests/fuzz/fuzz_check.h"
#include "tests/support/memory_files.h"

using namespace veldra;
using namespace veldra::files;
using fuzz::check;
using fuzz::number;

namespace {

// Larger grids cost too much time per input; the cell-file target covers them.
constexpr std::int64_t kLargestGridTried = std::int64_t{1} << 16;
const std::string kOldGrid = "an earlier grid\r\n";

// The first grid's name as the exporter forms it, when the parameters give one.
std::optional<std::string> first_grid_name(const std::vector<std::string>& args) {
    if (args.size() < 6) return std::nullopt;
    std::string year;
    for (char c : std::string_view(args[3]).substr(0, 4))
        if (c != ' ') year += c;
    const std::optional<std::int32_t> y = veldra::files::parse_whole(year);
    if (!y) return std::nullopt;
    return veldra::files::path_to_open(veldra::files::grid_file_name(veldra::files::trim_trailing_blanks(args[2]), *y, 1, 1));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return -1;
    testing::MemoryFiles files;
    const std::uint8_t control = data[0];
    switch (control & 7) {
        case 4: files.faults.create = EACCES; break;
        case 5: files.faults.write = EIO; break;
        case 6: files.faults.close = EIO; break;
        case 7: files.faults.rename = EXDEV; break;
        default: break;
    }
    files.capacity = (control >> 3) == 0 ? std::size_t{4} << 20 : static_cast<std::size_t>(control >> 3) << 10;

    std::string_view rest = fuzz::text_of(data + 1, size - 1);
    std::vector<std::string> pieces;
    while (pieces.size() < 8 && !rest.empty()) {
        const std::size_t nul = rest.find('\0');
        pieces.emplace_back(rest.substr(0, nul));
        rest = nul == std::string_view::npos ? std::string_view{} : rest.substr(nul + 1);
    }
    if (pieces.size() == 8) pieces.emplace_back(rest);
    const std::vector<std::string> args(pieces.begin(), pieces.begin() + std::min<std::size_t>(pieces.size(), 6));

    std::optional<veldra::files::CellFile> cells;
    if (pieces.size() > 6) {
        try {
            cells = veldra::files::parse_cell_file(pieces[6], "m/Rng_Data.vrd");
            if (std::int64_t{cells->window.cols()} * cells->window.rows() > kLargestGridTried) return -1;
        } catch (const veldra::files::ModelFileError&) {
        }
    }
    const char* const names[] = {"m/Rng_Data.vrd", "m/Globe.vrd", "m/V.vrd"};
    for (std::size_t i = 6; i < pieces.size(); ++i) files.put(names[i - 6], pieces[i]);
    const auto inputs = files.files;
    const std::optional<std::string> old_grid = first_grid_name(args);
    if (old_grid && !files.exists(*old_grid)) files.put(*old_grid, kOldGrid);

    std::ostringstream out, err;
    const int status = veldra::out::run_layer_exporter(args, out, err, files);
    check(status == 0 || status == 1 || status == 2, "exit status " + number(status));

    for (const auto& [path, content] : inputs)
        check(files.exists(path) && files.files[path] == content, path + " was changed");
    if (old_grid) check(files.exists(*old_grid), "the earlier grid " + *old_grid + " was removed");
    for (const auto& [path, content] : files.files) {
        if (inputs.count(path)) continue;
        check(path.ends_with(".asc"), "a file other than a grid remains: " + path);
        if (old_grid && path == *old_grid && content == kOldGrid) continue;
        check(cells.has_value(), "a grid was written from a cell file that does not load");
        const std::size_t header = veldra::files::grid_header_for(cells->info.cellSize) ? 6 : 0;
        const std::size_t rows = static_cast<std::size_t>(cells->window.rows());
        check(fuzz::line_count(content) == header + rows && (content.empty() || content.ends_with("\r\n")),
              path + " holds " + number(fuzz::line_count(content)) + " lines, not " + number(header + rows));
    }
    return 0;
}
