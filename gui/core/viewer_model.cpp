#include "gui/core/viewer_model.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "modelfiles/cell_file.h"
#include "modelfiles/file_io.h"
#include "modelfiles/list_reader.h"
#include "modelfiles/paths.h"

namespace veldra::viewer {
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

std::int16_t to_int16(double v, const std::string& file, const char* what) {
    const double r = round_half_even(v);
    if (!(r >= -32768 && r <= 32767))
        throw LoadError{file + ": line 1: " + what + " " + std::to_string(v) + " is outside -32768 .. 32767"};
    return static_cast<std::int16_t>(r);
}

std::int32_t to_int32(double v, const ListReader& in, const char* what) {
    const double r = round_half_even(v);
    if (!(r >= std::numeric_limits<std::int32_t>::min() && r <= std::numeric_limits<std::int32_t>::max()))
        in.fail(std::string(what) + " is not a 32-bit whole number");
    return static_cast<std::int32_t>(r);
}

}  // namespace

double round_half_even(double v) { return std::nearbyint(v); }

bool folder_from_settings_line(std::string_view line, std::string& folder) {
    if (line.empty()) return false;
    const std::string_view rest = line.substr(1, 200);
    const std::size_t quote = rest.find('\'');
    if (quote == std::string_view::npos) return false;
    folder = with_trailing_separator(rest.substr(0, quote));
    return true;
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
        entries.push_back(std::move(e));
        return true;
    });
    return entries;
}

void parse_viewer_cell_file(std::string_view text, const std::string& file_name, ViewerGridInfo& info,
                            std::vector<ViewerCell>& cells) try {
    ListReader header(text, file_name);
    info.cellCount = header.read_number("the cell count (header value 1)");
    info.xDimension = header.read_number("the number of columns (header value 2)");
    info.yDimension =
        to_int16(header.read_number("the number of rows (header value 3)"), file_name, "the number of rows");
    info.lowerX = header.read_number("the west edge (header value 4)");
    info.lowerY = header.read_number("the south edge (header value 5)");
    info.upperX = header.read_number("the east edge (header value 6)");
    info.upperY = to_int16(header.read_number("the north edge (header value 7)"), file_name, "the north edge");
    info.cellSize = header.read_real("the cell size (header value 8)");
    info.firstYear = header.read_number("the first year (header value 9)");
    info.lastYear = to_int16(header.read_number("the last year (header value 10)"), file_name, "the last year");
    // The cells are read from the second line on, so the header must not
    // spill over: that would shift every cell.
    if (header.line() != 1)
        throw LoadError{file_name + ": expected all ten header values on the first line, found them on lines 1 to " +
                        std::to_string(header.line())};
    if (!(info.cellSize > 0) || !std::isfinite(info.cellSize))
        throw LoadError{file_name + ": line 1: expected a positive cell size (header value 8)"};

    const double n = round_half_even(info.cellCount);
    if (n < 0) throw LoadError{file_name + ": line 1: expected a cell count of 0 or more (header value 1)"};

    ListReader in(text, file_name);
    in.skip_rest_of_line();
    // Five values need at least ten characters: a count beyond what the file
    // can hold is a short file, reported before anything is allocated for it.
    if (n * 10 > static_cast<double>(in.remaining_bytes()) + 1)
        throw LoadError{file_name + ": the header gives " + plain_count(n) + " cells, more than the file holds"};
    cells.assign(static_cast<std::size_t>(n), ViewerCell{});
    const std::string_view which = "the five values of a cell";
    for (ViewerCell& c : cells) {
        c.cellNumber = to_int32(in.read_number(which), in, "a cell number");
        c.zone = to_int32(in.read_number(which), in, "a zone");
        c.x = to_int32(in.read_number(which), in, "a column");
        c.y = to_int32(in.read_number(which), in, "a row");
        c.rangeType = to_int32(in.read_number(which), in, "a range type");
    }
} catch (const ModelFileError& e) {
    throw LoadError{e.what()};
}

Extents compute_extents(const ViewerGridInfo& info) {
    Extents e;
    e.halfCols = (info.upperX - info.lowerX) / 2 / static_cast<double>(info.cellSize);
    e.halfRows = (static_cast<double>(info.upperY) - info.lowerY) / 2 / static_cast<double>(info.cellSize);
    const double r = round_half_even(e.halfRows);
    e.halfRowsInt = static_cast<std::int16_t>(r > 32767 ? 32767 : r < -32768 ? -32768 : r);
    return e;
}

ViewerGlobe parse_viewer_globe(std::string_view text, const Extents& extents, const std::string& file_name) {
    // The x loop runs from -halfCols to halfCols - 1 and the y loop from
    // halfRowsInt - 1 down to -halfRows, in steps of one.
    const double col_span = 2 * extents.halfCols - 1;
    const double row_span = extents.halfRowsInt - 1 + extents.halfRows;
    ViewerGlobe g;
    const double cols = col_span >= 0 ? std::floor(col_span) + 1 : 0;
    const double rows = row_span >= 0 ? std::floor(row_span) + 1 : 0;
    if (cols * rows > static_cast<double>(kMaxGridPositions))
        throw LoadError{file_name + ": a grid of " + plain_count(cols) + " x " + plain_count(rows) +
                        " cells is too large to hold"};
    g.cols = static_cast<int>(cols);
    g.rows = static_cast<int>(rows);
    g.land.assign(static_cast<std::size_t>(g.cols) * static_cast<std::size_t>(g.rows), 0);
    int row = 0;
    for_each_line(text, [&](std::string_view line) {
        if (row >= g.rows) return false;
        std::uint8_t* out = g.land.data() + static_cast<std::size_t>(row) * static_cast<std::size_t>(g.cols);
        const std::size_t n = std::min(line.size(), static_cast<std::size_t>(g.cols));
        for (std::size_t c = 0; c < n; ++c) out[c] = line[c] == 'T' ? 1 : 0;
        ++row;
        return true;
    });
    if (row < g.rows)
        throw LoadError{file_name + ": expected " + std::to_string(g.rows) +
                        " lines, one for each row of the grid, found " + std::to_string(row)};
    return g;
}

std::string plain_count(double n) {
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, static_cast<long long>(n));
    return std::string(buf, r.ptr);
}

}  // namespace veldra::viewer
