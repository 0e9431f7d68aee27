// Model files as the model writes them: the output list's lines, the cell
// file, the globe file and the variable files. The sample model, the tests'
// model folders and the benchmarks' models are all written with these, so
// that every tool reads what the model itself would have left.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "modelfiles/cell_file.h"
#include "modelfiles/file_io.h"

namespace veldra::files {

// One line of the output list (Parms/Output_List.vrl), without its line end,
// 77 characters: the flag from column 1 ("1" marks a variable written each
// month), the file name from column 5, the layer count at 41, the layer label
// from 45 and the units from 59, blanks elsewhere. A text running past the
// end of the line is cut there.
std::string output_list_line(std::string_view flag, std::string_view name, std::string_view layers,
                             std::string_view label, std::string_view units);

// The cell file (Rng_Data.vrd): the ten header values of `info` on the first
// line, then one line per cell of its number, zone, column, row and range
// type; values apart by one blank, lines ended by CR LF. The cell count
// written is info.cellCount, whatever `cells` holds.
std::string cell_file_text(const GridInfo& info, std::span<const RangeCell> cells);

// The globe file (Globe.vrd): the rows from the north, each ended by CR LF.
std::string globe_file_text(std::span<const std::string> rows);

// Appends `records` as a variable file holds them: 4-byte little-endian reals.
void append_records(std::string& out, std::span<const float> records);

// The blocks of a variable file: for the years first_year..last_year, months
// 1..12 and layers 1..layers, in that order, each of cell_count values.
struct VariableShape {
    std::int32_t cell_count = 0;
    std::int32_t first_year = 0;
    std::int32_t last_year = 0;
    std::int32_t layers = 1;
};

// Fills the cell_count values of the block of (year, month, layer). Called
// once per block in file order, so a variable may carry state from one month
// to the next.
using BlockFill = std::function<void(std::int32_t year, std::int32_t month, std::int32_t layer,
                                     std::span<float> values)>;

// Writes the variable file `path` as a whole through a ReplacingFile: every
// block of `shape` as its count, year and month, then the values `fill` gives.
// The bytes go out one model year at a time. Raises FileWriteError.
void write_variable_file(const std::string& path, const VariableShape& shape, const BlockFill& fill,
                         FileAccess& files = system_files());

// Creates `folder` with the Parms/ and Output/ folders of a model in it.
// Raises Error naming the folder that cannot be made.
void create_model_folders(const std::string& folder);

}  // namespace veldra::files
