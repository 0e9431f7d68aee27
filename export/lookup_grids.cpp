#include "export/lookup_grids.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <initializer_list>
#include <limits>
#include <utility>

#include "modelfiles/cell_file.h"
#include "modelfiles/number_text.h"
#include "modelfiles/paths.h"
#include "modelfiles/resolutions.h"

namespace veldra::out {
namespace {


constexpr auto kSeparators = [] {
    std::array<bool, 256> t{};
    for (const unsigned char c : {' ', ',', '\t', '\r', '\n'}) t[c] = true;
    return t;
}();

// Blanks, tabs, commas and line ends separate the values.
bool is_separator(char c) { return kSeparators[static_cast<unsigned char>(c)]; }

struct ValueRange {
    std::int64_t min;
    std::int64_t max;
    const char* expected;
};

ValueRange range_of(LookupValues kind) {
    switch (kind) {
        case LookupValues::zone_ids: return {0, kMaxZoneId, "a zone id from 0 to 10000000"};
        case LookupValues::projected_ids:
            return {std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max(),
                    "a whole number within 32 bits"};
        case LookupValues::mask: return {-32768, 32767, "a whole number within 16 bits"};
    }
    return {0, 0, ""};
}

// Walks the values of a lookup grid's text after its header, calling
// `on_value(token, line)` for each until it returns false. Returns the number
// of the line where the walk stopped.
template <typename OnValue>
std::int64_t scan_values(std::string_view text, std::size_t pos, std::int64_t line, OnValue on_value) {
    const std::size_t n = text.size();
    for (;;) {
        while (pos < n && is_separator(text[pos])) line += text[pos++] == '\n';
        if (pos >= n) return line;
        const std::size_t start = pos;
        while (pos < n && !is_separator(text[pos])) ++pos;
        if (!on_value(text.substr(start, pos - start), line)) return line;
    }
}

// The end of the six header lines, and the lines themselves.
std::size_t read_header(std::string_view text, const std::string& file_name, std::array<std::string, 6>& lines) {
    std::size_t pos = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (pos >= text.size())
            throw LookupGridError(file_name + ": line " + files::integer_text(static_cast<std::int64_t>(i) + 1) +
                                  ": the file ends within its header; six header lines are expected");
        std::size_t end = text.find('\n', pos);
        const std::size_t next = end == std::string_view::npos ? text.size() : end + 1;
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        while (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines[i] = std::string(line);
        pos = next;
    }
    return pos;
}

// The number in characters 10 to 59 of a header line: blanks skipped, then
// digits; whatever follows them is not part of it.
std::int64_t header_count(const std::string& line, int line_number, const char* what, const std::string& file_name) {
    const std::string_view field = line.size() > 9 ? std::string_view(line).substr(9, 50) : std::string_view{};
    std::size_t i = 0;
    while (i < field.size() && field[i] == ' ') ++i;
    std::int64_t value = 0;
    std::size_t digits = 0;
    for (; i < field.size() && field[i] >= '0' && field[i] <= '9'; ++i, ++digits)
        if (value < (std::int64_t{1} << 40)) value = value * 10 + (field[i] - '0');
    if (digits == 0 || value == 0)
        throw LookupGridError(file_name + ": line " + files::integer_text(line_number) + ": expected the number of " + what +
                              " (above 0) in characters 10 to 59, found \"" + line + "\"");
    return value;
}

// The key of a header line (up to its first blank or tab) is `name`, in any case.
bool key_is(std::string_view key, std::string_view name) {
    return key.size() == name.size() && std::equal(key.begin(), key.end(), name.begin(), [](char a, char b) {
               return (a >= 'A' && a <= 'Z' ? a + ('a' - 'A') : a) == (b >= 'A' && b <= 'Z' ? b + ('a' - 'A') : b);
           });
}

// A header line as a message quotes it: within quotation marks, cut after 80 characters.
std::string quoted(std::string_view line) {
    std::string text(1, '"');
    text.append(line.substr(0, 80));
    if (line.size() > 80) text.append("...");
    text.push_back('"');
    return text;
}

// A header line's key and the text of its value, blanks and tabs around it dropped.
std::pair<std::string_view, std::string_view> key_and_value(std::string_view line) {
    auto blank = [](char c) { return c == ' ' || c == '\t'; };
    std::size_t end_key = 0;
    while (end_key < line.size() && !blank(line[end_key])) ++end_key;
    std::size_t first = end_key;
    while (first < line.size() && blank(line[first])) ++first;
    std::size_t last = line.size();
    while (last > first && blank(line[last - 1])) --last;
    return {line.substr(0, end_key), line.substr(first, last - first)};
}

// The number of header line `index` (from 0) whose key is one of `keys`,
// finite; `centre` tells whether the second key was found.
double header_number(const std::array<std::string, 6>& header, std::size_t index,
                     std::initializer_list<std::string_view> keys, const std::string& file_name,
                     bool* centre = nullptr) {
    const std::string& line = header[index];
    const auto [key, text] = key_and_value(line);
    const bool first_key = key_is(key, *keys.begin());
    const bool second_key = keys.size() > 1 && key_is(key, *(keys.begin() + 1));
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (!(first_key || second_key) || text.empty() || ec != std::errc() || end != text.data() + text.size() ||
        !std::isfinite(value))
        throw LookupGridError(file_name + ": line " + files::integer_text(static_cast<std::int64_t>(index) + 1) +
                              ": expected " + std::string(*keys.begin()) + " and a finite number, found " +
                              quoted(line));
    if (centre) *centre = second_key;
    return value;
}

// Lines 3 to 6 of a header, checked (see parse_lookup_grid).
LookupPlace read_place(const std::array<std::string, 6>& header, std::int64_t cols, std::int64_t rows,
                       const std::string& file_name) {
    bool centre_x = false, centre_y = false;
    const double x = header_number(header, 2, {"xllcorner", "xllcenter"}, file_name, &centre_x);
    const double y = header_number(header, 3, {"yllcorner", "yllcenter"}, file_name, &centre_y);
    const double cell = header_number(header, 4, {"cellsize"}, file_name);
    if (!(cell > 0))
        throw LookupGridError(file_name + ": line 5: expected a cell size above 0, found " + quoted(header[4]));
    if (header_number(header, 5, {"NODATA_value"}, file_name) != -9999)
        throw LookupGridError(file_name + ": line 6: expected NODATA_value -9999, found " + quoted(header[5]));
    LookupPlace place{x - (centre_x ? cell / 2 : 0), y - (centre_y ? cell / 2 : 0), cell};
    if (!std::isfinite(place.west + static_cast<double>(cols) * cell) ||
        !std::isfinite(place.south + static_cast<double>(rows) * cell))
        throw LookupGridError(file_name + ": lines 1 to 5: the grid's far corner lies beyond the finite numbers");
    return place;
}

}  // namespace

const ProjectionInfo& projection_names(int projection) {
    if (projection < 0 || projection >= kProjectionCount) throw std::out_of_range("no projection of that number");
    return kProjectionTable[projection];
}

const ProjectionInfo& projection_info(Projection projection) { return projection_names(static_cast<int>(projection)); }

std::string_view resolution_suffix(float cellSize) {
    const files::Resolution* r = files::resolution_of(cellSize);
    return r ? r->suffix : std::string_view{};
}

std::string lookup_grid_path(std::string_view folder, std::string_view prefix, std::string_view suffix) {
    std::string path = files::with_trailing_separator(folder);
    path += prefix;
    path += suffix;
    path += ".asc";
    return path;
}

std::string sidecar_path(std::string_view grid_path) {
    std::string path(grid_path);
    if (path.size() >= 4 && path.compare(path.size() - 4, 4, ".asc") == 0) path.resize(path.size() - 4);
    return path + ".prj";
}

LookupGrid parse_lookup_grid(std::string_view text, const std::string& file_name, LookupValues kind) {
    LookupGrid grid;
    const std::size_t data = read_header(text, file_name, grid.header);
    grid.cols = header_count(grid.header[0], 1, "columns", file_name);
    grid.rows = header_count(grid.header[1], 2, "rows", file_name);
    if (!files::grid_fits(grid.cols, grid.rows))
        throw LookupGridError(file_name + ": line 1: " + files::grid_too_large_message(grid.cols, grid.rows));
    grid.place = read_place(grid.header, grid.cols, grid.rows, file_name);
    // Every value but the last takes at least two characters.
    const std::int64_t count = grid.cols * grid.rows;
    const auto room = static_cast<std::int64_t>(text.size() - data);
    if (count > room / 2 + 1)
        throw LookupGridError(file_name + ": the header gives " + files::integer_text(grid.cols) + " x " +
                              files::integer_text(grid.rows) + " values, more than the file holds");

    grid.values.resize(static_cast<std::size_t>(count));
    const ValueRange range = range_of(kind);
    const char* p = text.data() + data;
    const char* const end = text.data() + text.size();
    std::int64_t line = 7;
    for (std::int64_t k = 0; k < count; ++k) {
        while (p < end && is_separator(*p)) line += *p++ == '\n';
        if (p == end)
            throw LookupGridError(file_name + ": line " + files::integer_text(line) + ": the file ends after " +
                                  files::integer_text(k) + " values; its header gives " + files::integer_text(grid.cols) + " x " +
                                  files::integer_text(grid.rows) + " = " + files::integer_text(count));
        const char* const token = p;
        const bool negative = *p == '-';
        if (*p == '-' || *p == '+') ++p;
        const char* const digits = p;
        std::int64_t magnitude = 0;
        while (p < end && static_cast<unsigned char>(*p - '0') < 10 && p - digits < 12)
            magnitude = magnitude * 10 + (*p++ - '0');
        const std::int64_t value = negative ? -magnitude : magnitude;
        if (p == digits || (p < end && !is_separator(*p)) || value < range.min || value > range.max) {
            while (p < end && !is_separator(*p)) ++p;
            throw LookupGridError(file_name + ": line " + files::integer_text(line) + ": expected " + range.expected +
                                  ", found \"" + std::string(token, static_cast<std::size_t>(std::min<std::ptrdiff_t>(p - token, 40))) + "\"");
        }
        grid.values[static_cast<std::size_t>(k)] = static_cast<std::int32_t>(value);
    }
    return grid;
}

LookupGrid read_lookup_grid(const std::string& path, files::FileAccess& files, LookupValues kind) {
    return parse_lookup_grid(read_text_file(path, files), path, kind);
}

std::int64_t lookup_value_line(std::string_view text, std::int64_t index) {
    std::array<std::string, 6> header;
    std::size_t data = 0;
    try {
        data = read_header(text, "", header);
    } catch (const LookupGridError&) {
        return 0;
    }
    std::int64_t seen = 0, found = 0;
    scan_values(text, data, 7, [&](std::string_view, std::int64_t line) {
        found = line;
        return seen++ < index;
    });
    return found;
}

LookupFiles lookup_files(std::string_view folder, std::string_view suffix, int projection) {
    const ProjectionNames& names = projection_names(projection);
    LookupFiles f;
    f.zone_ids = lookup_grid_path(folder, projection_info(Projection::geographic).id_prefix, suffix);
    f.ids = lookup_grid_path(folder, names.id_prefix, suffix);
    f.mask = lookup_grid_path(folder, names.mask_prefix, suffix);
    f.prj = sidecar_path(f.ids);
    return f;
}

ZoneGrid load_zone_grid(const std::string& path, std::int64_t model_cols, std::int64_t model_rows, files::FileAccess& files) {
    LookupGrid grid = read_lookup_grid(path, files, LookupValues::zone_ids);
    if (grid.cols != model_cols || grid.rows != model_rows)
        throw LookupGridError(path + ": lines 1 and 2: the grid has " + files::integer_text(grid.cols) + " x " +
                              files::integer_text(grid.rows) + " cells, the model grid " + files::integer_text(model_cols) + " x " +
                              files::integer_text(model_rows));
    ZoneGrid zones;
    zones.header = std::move(grid.header);
    zones.cols = grid.cols;
    zones.rows = grid.rows;
    zones.place = grid.place;
    std::int32_t highest = -1;
    for (const std::int32_t id : grid.values) highest = std::max(highest, id);
    zones.position_of_id.assign(static_cast<std::size_t>(highest) + 1, -1);
    // Value k is row k / cols from the south; the model grid counts rows from the north.
    std::size_t k = 0;
    for (std::int64_t r = 0; r < grid.rows; ++r) {
        const std::int64_t north_row = grid.rows - 1 - r;
        for (std::int64_t c = 0; c < grid.cols; ++c, ++k)
            zones.position_of_id[static_cast<std::size_t>(grid.values[k])] =
                static_cast<std::int32_t>(north_row * grid.cols + c);
    }
    return zones;
}

OutputLookup load_output_lookup(const LookupFiles& paths, int projection, const ZoneGrid& zones, files::FileAccess& files) {
    OutputLookup out;
    const LookupGrid mask = read_lookup_grid(paths.mask, files, LookupValues::mask);
    std::string id_text;
    LookupGrid ids;
    if (projection == 0) {
        ids.header = zones.header;
        ids.cols = zones.cols;
        ids.rows = zones.rows;
        ids.place = zones.place;
    } else {
        id_text = read_text_file(paths.ids, files);
        ids = parse_lookup_grid(id_text, paths.ids, LookupValues::projected_ids);
    }
    if (mask.cols != ids.cols)
        throw LookupGridError(paths.mask + ": line 1: the mask grid has " + files::integer_text(mask.cols) +
                              " columns, the id grid " + paths.ids + " has " + files::integer_text(ids.cols));
    if (mask.rows != ids.rows)
        throw LookupGridError(paths.mask + ": line 2: the mask grid has " + files::integer_text(mask.rows) +
                              " rows, the id grid " + paths.ids + " has " + files::integer_text(ids.rows));

    out.header = ids.header;
    out.cols = ids.cols;
    out.rows = ids.rows;
    out.place = ids.place;
    out.source.resize(mask.values.size());
    for (std::size_t k = 0; k < mask.values.size(); ++k) {
        std::int32_t source = kOutsideOutline;
        if (mask.values[k] == 1) {
            if (projection == 0) {
                const auto r = static_cast<std::int64_t>(k) / out.cols, c = static_cast<std::int64_t>(k) % out.cols;
                source = static_cast<std::int32_t>((out.rows - 1 - r) * out.cols + c);
            } else {
                source = kNoSource;
            }
        }
        if (projection != 0) {
            const std::int32_t id = ids.values[k];
            if (id > kNoZone) {
                const bool known = id >= 0 && static_cast<std::size_t>(id) < zones.position_of_id.size() &&
                                   zones.position_of_id[static_cast<std::size_t>(id)] >= 0;
                if (!known)
                    throw LookupGridError(paths.ids + ": line " +
                                          files::integer_text(lookup_value_line(id_text, static_cast<std::int64_t>(k))) +
                                          ": the id " + files::integer_text(id) + " (row " +
                                          files::integer_text(static_cast<std::int64_t>(k) / ids.cols + 1) +
                                          " from the south, column " +
                                          files::integer_text(static_cast<std::int64_t>(k) % ids.cols + 1) +
                                          ") does not occur in the reference grid " + paths.zone_ids);
                if (source == kNoSource) source = zones.position_of_id[static_cast<std::size_t>(id)];
            }
        }
        out.source[k] = source;
    }
    out.prj = read_text_file(paths.prj, files, std::int64_t{1} << 20);
    return out;
}

}  // namespace veldra::out
