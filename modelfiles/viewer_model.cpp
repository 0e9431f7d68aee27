#include "modelfiles/viewer_model.h"

#include "modelfiles/resolutions.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <new>

#include "modelfiles/number_text.h"
#include "modelfiles/file_io.h"
#include "modelfiles/list_reader.h"
#include "modelfiles/paths.h"
#include "modelfiles/resolutions.h"

namespace veldra::files {
namespace {

// Characters `first` .. `first + count - 1` (1-based) of a line, or what of
// them the line holds.
std::string_view columns(std::string_view line, std::size_t first, std::size_t count) {
    if (line.size() < first) return {};
    return line.substr(first - 1, count);
}

// Splits text into lines; a trailing "\r" is not part of a line.
template <typename Fn>
void for_each_line(std::string_view text, Fn fn) {
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (!fn(line)) return;
        pos = end + 1;
    }
}

bool fits_int16(double v) { return v >= -32768 && v <= 32767; }

std::int16_t to_int16(double v, const std::string& file, const char* what) {
    const double r = round_half_even(v);
    if (!fits_int16(r))
        throw LoadError(file + ": line 1: " + what + " " + plain_number(v) + " is outside -32768 .. 32767");
    return static_cast<std::int16_t>(r);
}

std::int32_t to_int32(double v, const ListReader& in, const char* what) {
    const double r = round_half_even(v);
    if (!(r >= std::numeric_limits<std::int32_t>::min() && r <= std::numeric_limits<std::int32_t>::max()))
        in.fail(std::string(what) + " is not a 32-bit whole number");
    return static_cast<std::int32_t>(r);
}

// The columns and rows of the grid, before any is known to fit anything.
struct GridCounts {
    double cols;
    double rows;
};

GridCounts grid_counts(const Extents& e) {
    const double col_span = 2 * e.half_cols - 1;
    const double row_span = e.half_rows_int - 1 + e.half_rows;
    // NaN cannot arise from finite extents, but counts nothing either way.
    return {col_span >= 0 ? std::floor(col_span) + 1 : 0, row_span >= 0 ? std::floor(row_span) + 1 : 0};
}

std::string grid_too_large(const Extents& e) {
    if (!std::isfinite(e.half_cols) || !std::isfinite(e.half_rows))
        return "the edges and the cell size give no finite grid (half " + plain_number(e.half_cols) + " x " +
               plain_number(e.half_rows) + " cells)";
    const GridCounts g = grid_counts(e);
    return "a grid of " + plain_number(g.cols) + " x " + plain_number(g.rows) +
           " cells is too large to hold (at most 65534 rows and " +
           std::to_string(kMaxGridPositions) + " cells)";
}

}  // namespace

Extents compute_extents(const ViewerGridInfo& info) {
    Extents e;
    e.half_cols = (info.upperX - info.lowerX) / 2 / static_cast<double>(info.cellSize);
    e.half_rows = (static_cast<double>(info.upperY) - info.lowerY) / 2 / static_cast<double>(info.cellSize);
    // Beyond 16 bits the grid is refused (grid_shape); the clamp only keeps
    // the conversion defined.
    const double r = round_half_even(e.half_rows);
    e.half_rows_int = static_cast<std::int16_t>(fits_int16(r) ? r : r > 0 ? 32767 : -32768);
    return e;
}

std::optional<GridShape> grid_shape(const Extents& e) {
    if (!std::isfinite(e.half_cols) || !std::isfinite(e.half_rows)) return std::nullopt;
    if (!fits_int16(round_half_even(e.half_rows))) return std::nullopt;
    const GridCounts g = grid_counts(e);
    const auto limit = static_cast<double>(kMaxGridPositions);
    if (!(g.cols <= limit && g.rows <= limit && g.cols * g.rows <= limit)) return std::nullopt;
    return GridShape{static_cast<std::int32_t>(g.cols), static_cast<std::int32_t>(g.rows)};
}

std::optional<std::string> folder_from_settings_line(std::string_view line) {
    if (line.empty()) return std::nullopt;
    const std::string_view rest = line.substr(1, 200);
    const std::size_t quote = rest.find('\'');
    if (quote == std::string_view::npos) return std::nullopt;
    return with_trailing_separator(rest.substr(0, quote));
}

std::vector<OutputEntry> parse_output_list(std::string_view text) {
    std::vector<OutputEntry> entries;
    int line_number = 0;
    for_each_line(text, [&](std::string_view line) {
        if (++line_number > 127) return false;
        if (line.empty() || line.front() != '1') return true;
        OutputEntry e;
        e.FileName = trim_blanks(columns(line, 5, 33));
        const std::string_view count = columns(line, 41, 1);
        e.LayerCount = !count.empty() && count[0] >= '0' && count[0] <= '9' ? count[0] - '0' : 0;
        e.LayerLabel = trim_blanks(columns(line, 45, 10));
        e.Units = trim_blanks(columns(line, 59, 19));
        e.line = line_number;
        entries.push_back(std::move(e));
        return true;
    });
    return entries;
}

ViewerCellFile parse_viewer_cell_file(std::string_view text, const std::string& file_name) try {
    ViewerCellFile file;
    ViewerGridInfo& info = file.info;
    ListReader header(text, file_name);
    info.cellCount = header.read_number("the cell count (header value 1)");
    info.xDimension = header.read_number("the number of columns (header value 2)");
    const double rows = header.read_number("the number of rows (header value 3)");
    info.lowerX = header.read_number("the west edge (header value 4)");
    info.lowerY = header.read_number("the south edge (header value 5)");
    info.upperX = header.read_number("the east edge (header value 6)");
    const double north = header.read_number("the north edge (header value 7)");
    info.cellSize = header.read_real("the cell size (header value 8)");
    info.firstYear = header.read_number("the first year (header value 9)");
    const double last_year = header.read_number("the last year (header value 10)");
    // The cells are read from the second line on, so the header must not
    // spill over: that would shift every cell.
    if (header.line() != 1)
        throw LoadError(file_name + ": expected all ten header values on the first line, found them on lines 1 to " +
                        std::to_string(header.line()));
    info.yDimension = to_int16(rows, file_name, "the number of rows");
    info.upperY = to_int16(north, file_name, "the north edge");
    info.lastYear = to_int16(last_year, file_name, "the last year");
    // The year boxes, the record layout and the export span take the first
    // year as a whole number, stepped like the 16-bit last year.
    if (!(fits_int16(info.firstYear) && info.firstYear == std::trunc(info.firstYear)))
        throw LoadError(file_name + ": line 1: the first year " + plain_number(info.firstYear) +
                        " is not a whole number within -32768 .. 32767");
    if (!(info.cellSize > 0) || !std::isfinite(info.cellSize))
        throw LoadError(file_name + ": line 1: expected a positive cell size (header value 8)");
    if (const Extents extents = compute_extents(info); !grid_shape(extents))
        throw LoadError(file_name + ": line 1: " + grid_too_large(extents));

    const double n = round_half_even(info.cellCount);
    if (n < 0) throw LoadError(file_name + ": line 1: expected a cell count of 0 or more (header value 1)");

    ListReader in(text, file_name);
    in.skip_rest_of_line();
    // Five values need at least ten characters: a count beyond what the file
    // can hold is a short file, reported before anything is allocated for it.
    if (n * 10 > static_cast<double>(in.remaining_bytes()) + 1)
        throw LoadError(file_name + ": the header gives " + plain_number(n) + " cells, more than the file holds");
    file.cells.assign(static_cast<std::size_t>(n), RangeCell{});
    // Cells are checked against the grid the exports hold them in, which for
    // a whole globe of a listed resolution is the resolution's own size.
    const GridShape shape = *grid_shape(compute_extents(info));
    const ModelGrid grid = model_grid({info.lowerX, info.lowerY, info.upperX, static_cast<double>(info.upperY)},
                                      info.cellSize, shape.cols, shape.rows);
    const std::string_view which = "the five values of a cell";
    std::int64_t index = 0;
    for (RangeCell& c : file.cells) {
        // Most cells are five plain whole numbers on one line, which the
        // numbers below would give too; anything else is read value by value.
        in.skip_to_value();
        const int line = in.line();
        std::int32_t plain[5];
        if (in.read_plain_wholes(plain, 5)) {
            c = RangeCell{plain[0], plain[1], plain[2], plain[3], plain[4]};
        } else {
            c.cellNumber = to_int32(in.read_number(which), in, "a cell number");
            c.zone = to_int32(in.read_number(which), in, "a zone");
            c.x = to_int32(in.read_number(which), in, "a column");
            c.y = to_int32(in.read_number(which), in, "a row");
            c.rangeType = to_int32(in.read_number(which), in, "a range type");
        }
        if (const auto outside = cell_outside_grid(++index, c, grid.cols, grid.rows))
            throw LoadError(file_name + ": line " + std::to_string(line) + ": " + *outside);
    }
    file.warnings = shared_position_warnings(file.cells, grid.cols, file_name);
    return file;
} catch (const ModelFileError& e) {
    throw LoadError(e.what());
}

GlobeMask parse_viewer_globe(std::string_view text, const Extents& extents, const std::string& file_name) {
    const std::optional<GridShape> shape = grid_shape(extents);
    if (!shape) throw LoadError(file_name + ": " + grid_too_large(extents));

    // Every row needs its line: a short file is refused before the mask is
    // allocated, however large the header says the grid is.
    std::int32_t lines = 0;
    for_each_line(text, [&](std::string_view) { return ++lines < shape->rows; });
    if (lines < shape->rows)
        throw LoadError(file_name + ": expected " + std::to_string(shape->rows) +
                        " lines, one for each row of the grid, found " + std::to_string(lines));

    GlobeMask g;
    g.cols = shape->cols;
    g.rows = shape->rows;
    g.land.assign(static_cast<std::size_t>(g.cols) * static_cast<std::size_t>(g.rows), 0);
    std::int32_t row = 0;
    for_each_line(text, [&](std::string_view line) {
        if (row >= g.rows) return false;
        std::uint8_t* out = g.land.data() + static_cast<std::size_t>(row) * static_cast<std::size_t>(g.cols);
        const std::size_t n = std::min(line.size(), static_cast<std::size_t>(g.cols));
        for (std::size_t c = 0; c < n; ++c) out[c] = line[c] == 'T' ? 1 : 0;
        ++row;
        return true;
    });
    return g;
}

namespace {

// Longest first line of a settings file that is read: the folder lies
// within its first 201 characters.
constexpr std::size_t kSettingsLineBytes = 4096;

// Runs `read` on the file at `stored_path` (the path as the model names it;
// it is opened with "/" for every "\"). A file that cannot be opened or read,
// or that does not fit in memory, raises LoadError naming the stored path
// and what was expected of the file.
template <typename Read>
auto reading(const std::string& stored_path, const char* expected, Read read) {
    const std::string opened = path_to_open(stored_path);
    try {
        return read(opened);
    } catch (const ModelFileError& e) {
        std::string what = e.what();
        if (what.rfind(opened, 0) == 0) what.replace(0, opened.size(), stored_path);
        throw LoadError(what + "; expected " + expected);
    } catch (const std::bad_alloc&) {
        throw LoadError(stored_path + ": there is not enough memory to read it; expected " + expected);
    }
}

}  // namespace

std::optional<std::string> variable_entry_fault(const OutputEntry& entry, const std::string& list_path) {
    const std::string where = list_path + ": line " + std::to_string(entry.line) + ": the variable \"" +
                              entry.FileName + "\"";
    if (entry.FileName.empty() || entry.FileName == "." || entry.FileName == ".." ||
        entry.FileName.find_first_of("/\\") != std::string::npos)
        return where + " is not a file name in Output/: expected a name without \"/\" or \"\\\"";
    if (entry.LayerCount < 1)
        return where + " has no layer count: expected a digit 1 to 9 in column 41";
    return std::nullopt;
}

void check_run_years(const LoadedModel& model) {
    if (model.GridInfo.lastYear < model.first_year())
        throw LoadError(model.cell_path() + ": line 1: the last year " + std::to_string(model.GridInfo.lastYear) +
                        " (header value 10) comes before the first year " + std::to_string(model.first_year()) +
                        " (header value 9)");
}

void check_calendar_years(const LoadedModel& model) {
    if (model.first_year() < 1)
        throw LoadError(model.cell_path() + ": line 1: the run starts in year " + std::to_string(model.first_year()) +
                        " (header value 9); the CF calendar of NetCDF and xarray counts years from 1");
}

std::string LoadedModel::variable_path(const OutputEntry& entry) const {
    return veldra::files::variable_path(ModelFolder, entry.FileName);
}

std::string default_settings_path() {
    if (const char* ini = std::getenv("VELDRA_INI"); ini && *ini) return ini;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) return std::string(xdg) + "/veldra/Veldra.ini";
    const char* home = std::getenv("HOME");
    return std::string(home ? home : "") + "/.config/veldra/Veldra.ini";
}

std::string read_settings_file(const std::string& path, FileAccess& files) {
    const std::string line =
        reading(path, "the settings file, whose first line names the model folder within apostrophes",
                [&](const std::string& opened) { return read_first_line(opened, kSettingsLineBytes, files); });
    std::optional<std::string> folder = folder_from_settings_line(line);
    if (!folder)
        throw LoadError(path + ": line 1: expected the model folder within apostrophes, as in 'D:\\runs\\world', "
                               "found \"" + line.substr(0, 80) + "\"");
    return std::move(*folder);
}

LoadedModel load_model_files(const std::string& folder, FileAccess& files) {
    LoadedModel state;
    state.ModelFolder = with_trailing_separator(folder);

    const std::string list_path = state.list_path();
    state.OutputTable = reading(list_path, "the model's output list", [&](const std::string& opened) {
        return parse_output_list(read_text_file(opened, files));
    });

    const std::string cell_path = state.cell_path();
    ViewerCellFile cells = reading(cell_path, "the model's cell file", [&](const std::string& opened) {
        return parse_viewer_cell_file(read_text_file(opened, files), cell_path);
    });
    state.GridInfo = cells.info;
    state.CellTable = std::move(cells.cells);
    state.warnings = std::move(cells.warnings);
    state.extents = compute_extents(state.GridInfo);

    const std::string globe_path = state.ModelFolder + "Output/Globe.vrd";
    state.GlobeMask = reading(globe_path, "the model's globe file", [&](const std::string& opened) {
        return parse_viewer_globe(read_text_file(opened, files), state.extents, globe_path);
    });

    return state;
}

}  // namespace veldra::files
