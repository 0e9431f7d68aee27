#include "modelfiles/grid_runs.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>

#include "modelfiles/file_io.h"
#include "modelfiles/free_format.h"
#include "modelfiles/globe_file.h"

namespace veldra::files {
namespace {

static_assert(std::endian::native == std::endian::little, "end_of_land reads the first character in the low byte");

constexpr std::uint64_t kNoCell = std::numeric_limits<std::uint64_t>::max();

// The text of one position showing `value`: the number item, then the text
// item " " with the blank that separates it.
std::string position_text(float value) {
    char item[kMaxNumberItem + 8];
    char* end = write_real_item(item, value);
    *end++ = ' ';
    *end++ = ' ';
    return std::string(item, end);
}

// The first column from `from` up to `to` (both within `row`) that is not
// land, eight characters at a time.
std::size_t end_of_land(std::string_view row, std::size_t from, std::size_t to) {
    constexpr std::uint64_t kLand = 0x0101010101010101u * 'T';
    for (std::uint64_t w; to - from >= 8; from += 8) {
        std::memcpy(&w, row.data() + from, 8);
        if (const std::uint64_t other = w ^ kLand) return from + static_cast<std::size_t>(__builtin_ctzll(other) / 8);
    }
    while (from < to && row[from] == 'T') ++from;
    return from;
}

// The first column from `from` up to `to` (both within `row`) that is land.
std::size_t end_of_water(std::string_view row, std::size_t from, std::size_t to) {
    const void* land = std::memchr(row.data() + from, 'T', to - from);
    return land ? static_cast<std::size_t>(static_cast<const char*>(land) - row.data()) : to;
}

std::string filler_text(float value, std::int64_t cols) {
    const std::string one = position_text(value);
    std::string text;
    text.reserve(one.size() * static_cast<std::size_t>(cols) + 3);
    for (std::int64_t c = 0; c < cols; ++c) text += one;
    text += "\r\n ";
    return text;
}

}  // namespace

GridRuns::GridRuns(const CellFile& cells, std::string_view globe_text, const std::string& globe_name,
                   BatchLimits limits)
    : cols_(cells.window.cols()), rows_(cells.window.rows()), cell_count_(cells.cells.size()), limits_(limits) {
    limits_.runs = std::max<std::size_t>(limits_.runs, 1);
    limits_.cells = std::max<std::size_t>(limits_.cells, 1);
    GlobeRows globe(globe_text, cells.window, globe_name);

    // Cell files are mostly in row order, each position once: then the cells
    // are taken as they stand. Otherwise they are sorted by position, each
    // with its index in the low half of its key.
    const std::uint64_t cols = static_cast<std::uint64_t>(cols_);
    auto position_of = [&](const RangeCell& c) {
        return static_cast<std::uint64_t>(c.y - 1) * cols + static_cast<std::uint64_t>(c.x - 1);
    };
    bool in_order = true;
    for (std::size_t i = 0; i < cells.cells.size(); ++i) {
        const RangeCell& c = cells.cells[i];
        if (c.x < 1 || c.x > cols_ || c.y < 1 || c.y > rows_)
            throw ModelFileError("cell " + std::to_string(i + 1) + " at column " + std::to_string(c.x) + ", row " +
                                 std::to_string(c.y) + " lies outside the grid of " + std::to_string(cols_) +
                                 " columns and " + std::to_string(rows_) + " rows");
        in_order = in_order && (i == 0 || position_of(c) > position_of(cells.cells[i - 1]));
    }
    std::vector<std::uint64_t> keys;
    if (!in_order) {
        keys.reserve(cells.cells.size());
        for (std::size_t i = 0; i < cells.cells.size(); ++i) keys.push_back(position_of(cells.cells[i]) << 32 | i);
        std::sort(keys.begin(), keys.end());
        // Of the cells at one position, the last in the cell table shows.
        std::size_t kept = 0;
        for (std::size_t j = 0; j < keys.size(); ++j)
            if (j + 1 == keys.size() || (keys[j + 1] >> 32) != (keys[j] >> 32)) keys[kept++] = keys[j];
        keys.resize(kept);
    }
    const std::size_t shown = in_order ? cells.cells.size() : keys.size();
    auto position = [&](std::size_t k) { return in_order ? position_of(cells.cells[k]) : keys[k] >> 32; };
    auto index = [&](std::size_t k) { return static_cast<std::uint32_t>(in_order ? k : keys[k]); };
    cell_order_.reserve(shown);

    std::size_t k = 0;
    for (std::int64_t r = 0; r < rows_; ++r) {
        const std::string_view row = globe.next_row();
        const std::uint64_t row_start = static_cast<std::uint64_t>(r) * cols;
        const std::size_t first_run = runs_.size();
        std::uint64_t c = 0;
        while (c < cols) {
            const std::uint64_t next_cell = k < shown ? position(k) : kNoCell;
            if (next_cell == row_start + c) {
                std::uint64_t length = 1;
                while (k + length < shown && position(k + length) == next_cell + length && c + length < cols &&
                       length < limits_.cells)
                    ++length;
                for (std::uint64_t j = 0; j < length; ++j) cell_order_.push_back(index(k + j));
                add_run(static_cast<std::uint32_t>(length), RunKind::cells);
                k += length;
                c += length;
                continue;
            }
            // Up to the next cell or the end of the row; past the characters
            // of the line, everything is water.
            const std::uint64_t stop = std::min(next_cell - row_start, cols);
            const bool land = c < row.size() && row[c] == 'T';
            std::uint64_t end = stop;
            if (c < row.size()) {
                const std::size_t to = static_cast<std::size_t>(std::min<std::uint64_t>(stop, row.size()));
                end = land ? end_of_land(row, c, to) : end_of_water(row, c, to);
                if (!land && end == row.size()) end = stop;
            }
            add_run(static_cast<std::uint32_t>(end - c), land ? RunKind::land : RunKind::water);
            c = end;
        }
        if (runs_.size() == first_run) add_run(0, RunKind::water);  // a row without columns: its line end only
        runs_.back().ends_row = true;
    }

    water_text_ = filler_text(-9999.0f, cols_);
    land_text_ = filler_text(-255.0f, cols_);
    filler_width_ = position_text(-9999.0f).size();

    batch_first_run_.push_back(0);
    batch_first_cell_.push_back(0);
    std::size_t runs_in = 0, cells_in = 0, cell = 0;
    for (std::size_t i = 0; i < runs_.size(); ++i) {
        const std::size_t add = runs_[i].kind == RunKind::cells ? runs_[i].length : 0;
        if (runs_in == limits_.runs || cells_in + add > limits_.cells) {
            batch_first_run_.push_back(i);
            batch_first_cell_.push_back(cell);
            runs_in = 0;
            cells_in = 0;
        }
        ++runs_in;
        cells_in += add;
        cell += add;
    }
    batch_first_run_.push_back(runs_.size());
    batch_first_cell_.push_back(cell);
}

void GridRuns::add_run(std::uint32_t length, RunKind kind) { runs_.push_back(GridRun{length, kind, false}); }

}  // namespace veldra::files
