// ESRI ASCII grids as the tools write them: a fixed whole-globe header chosen
// by the cell size, then one free-format line per row, north to south, each
// value followed by the text " ". Every line ends with CR LF.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace veldra {

using GridHeader = std::array<std::string_view, 6>;

// The header lines for a cell size, or nullptr when the size lies in none of
// the bands (1, 0.5, 0.25, 1/6, 0.1 and 1/12 degree).
const GridHeader* grid_header_for(float cellSize);

// "<root>_<year in 4 characters, right-aligned>_<month as 2 digits>_<layer>.asc".
// A year beyond 4 characters or a layer beyond 1 character is written whole.
std::string grid_file_name(std::string_view root, std::int32_t year, std::int32_t month, std::int32_t layer);

// Bytes that formatting a row of `count` values may touch.
std::size_t grid_row_capacity(std::size_t count);

// Formats one body row of `count` values, with its CR LF, into `out`, which
// has room for grid_row_capacity(count) bytes. Returns the end of the row.
char* format_grid_row(char* out, const float* values, std::size_t count);

// Appends one body row of `count` values, with its CR LF.
void append_grid_row(std::string& out, const float* values, std::size_t count);

// Writes a grid file so that no partial grid ever stands under its name: the
// bytes go to a temporary file in the same folder, which is renamed into place
// when the grid is complete. A grid that is not committed is removed, and so
// is any older file of its name.
class GridFileWriter {
public:
    GridFileWriter() = default;
    GridFileWriter(const GridFileWriter&) = delete;
    GridFileWriter& operator=(const GridFileWriter&) = delete;
    ~GridFileWriter();

    // Starts the grid `path`; false when its temporary file cannot be created.
    bool create(const std::string& path);
    // Buffers bytes and writes them in large pieces; false once a write fails.
    bool write(std::string_view bytes);
    // Formats one body row straight into the buffer.
    bool write_row(const float* values, std::size_t count);
    // Formats and writes `rows` body rows of `cols` values each; large grids
    // are formatted on several threads, with the same bytes.
    bool write_rows(const float* grid, std::size_t rows, std::size_t cols);
    // Writes what is buffered and renames the grid into place; false (and
    // nothing left behind) when that fails.
    bool commit();
    // Drops the grid: removes the temporary file and any file of the grid's name.
    void abandon();

    // The system's reason for the last failure.
    const std::string& error() const { return error_; }

private:
    bool flush();
    bool write_all(const char* data, std::size_t size);
    bool make_room(std::size_t bytes);
    void fail(const char* what);

    int fd_ = -1;
    std::string path_;
    std::string temp_path_;
    std::vector<char> buffer_;  // kept from grid to grid
    std::size_t used_ = 0;
    std::vector<std::vector<char>> slot_buffers_;  // for write_rows, kept from grid to grid
    std::string error_;
    bool failed_ = false;
};

}  // namespace veldra
