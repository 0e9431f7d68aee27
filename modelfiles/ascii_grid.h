// ESRI ASCII grids as the tools write them: a fixed whole-globe header chosen
// by the cell size, then one free-format line per row, north to south, each
// value followed by the text " ". Every line ends with CR LF.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "modelfiles/file_io.h"
#include "modelfiles/grid_runs.h"
#include "modelfiles/resolutions.h"

namespace veldra::files {

// layer_exporter's header lines for a cell size (resolutions.h), or nullptr
// when the size lies in none of its bands (1, 0.5, 0.25, 1/6, 0.1 and 1/12
// degree).
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

// Writes a grid file so that its name always holds a complete grid, the old
// one or the new one: the bytes go to a new file of a unique name in the same
// folder, which is renamed into place when the grid is complete. A grid that
// is not committed leaves nothing behind; a file of the grid's name is never
// removed. Every failure raises FileWriteError naming the grid.
class GridFileWriter {
public:
    explicit GridFileWriter(FileAccess& files);
    GridFileWriter();
    GridFileWriter(const GridFileWriter&) = delete;
    GridFileWriter& operator=(const GridFileWriter&) = delete;
    ~GridFileWriter();

    // Starts the grid `path` (dropping a grid not yet committed).
    void create(const std::string& path);
    // Buffers bytes and writes them in large pieces.
    void write(std::string_view bytes);
    // Formats one body row straight into the buffer.
    void write_row(const float* values, std::size_t count);
    // Writes the whole body of a grid laid out as `runs`, after what is
    // buffered: value i of `values` is the value of cell i of the cell table.
    // Each batch of runs is one gathering write; on grids with many cells the
    // values are formatted on a second thread as well, with the same bytes.
    // Raises ModelFileError when there are fewer values than cells.
    void write_body(const GridRuns& runs, const float* values, std::size_t value_count);
    // Grids with at least this many cell positions are formatted on two
    // threads (from 100,000 by default), where the machine has them.
    void set_two_threads_from(std::size_t cell_positions) { two_threads_from_ = cell_positions; }
    // Writes what is buffered, closes the file and renames it into place.
    // On failure the temporary file is removed.
    void commit();
    // Drops the grid being written: removes its temporary file only.
    void abandon();

private:
    void flush();
    void write_all(const char* data, std::size_t size);
    void make_room(std::size_t bytes);
    [[noreturn]] void fail(const FileWriteError& e);

    struct Body;

    FileAccess& files_;
    std::unique_ptr<ReplacingFile> file_;  // the grid being written, under its temporary name
    std::string path_;
    std::vector<char> buffer_;  // kept from grid to grid
    std::size_t used_ = 0;
    std::unique_ptr<Body> body_;  // the pieces of write_body and its second thread, kept from grid to grid
    std::size_t two_threads_from_;
};

}  // namespace veldra::files
