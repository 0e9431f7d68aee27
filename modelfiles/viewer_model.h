// The model as the viewer reads it: the output list, the cell file and the
// globe file, by the viewer's own rules (which differ from the exporter's),
// into the model types of modelfiles.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "modelfiles/cell_file.h"
#include "modelfiles/file_io.h"
#include "modelfiles/globe_file.h"

namespace veldra::files {

// A file that the viewer cannot use; the message names the file (with its
// line where there is one) and says what was expected.
class LoadError : public Error {
public:
    using Error::Error;
};

// One active line of the output list.
struct OutputEntry {
    std::string FileName;
    int LayerCount = 0;  // the digit in column 41; anything else is 0
    std::string LayerLabel;
    std::string Units;
    int line = 0;  // its line in the output list, from 1
};

// The cell-file header as the viewer keeps it.
struct ViewerGridInfo {
    double cellCount = 0;
    double xDimension = 0;
    std::int16_t yDimension = 0;
    double lowerX = 0;
    double lowerY = 0;
    double upperX = 0;
    std::int16_t upperY = 0;  // rounded to the nearest whole number, halves to even
    float cellSize = 0;
    double firstYear = 0;     // a whole number within -32768 .. 32767
    std::int16_t lastYear = 0;
};

// Half the grid's width and height in cells, in double precision, and the
// half height rounded to a 16-bit whole number (halves to even).
struct Extents {
    double half_cols = 0;
    double half_rows = 0;
    std::int16_t half_rows_int = 0;
};

Extents compute_extents(const ViewerGridInfo& info);

// The positions the globe file covers: columns x = -half_cols ..
// half_cols - 1 and rows y = half_rows_int - 1 down to -half_rows, in steps
// of one. Nothing when that grid is too large to hold: more than
// kMaxGridPositions positions, or a half height beyond 16 bits.
struct GridShape {
    std::int32_t cols = 0;
    std::int32_t rows = 0;
};
std::optional<GridShape> grid_shape(const Extents& extents);

// The model folder named by the first line of the settings file: the first
// character is skipped; of the next 200 at most, everything before the first
// apostrophe is the folder, and "/" is appended. Nothing when there is no
// apostrophe within those 200 characters.
std::optional<std::string> folder_from_settings_line(std::string_view line);

// The active entries among the first 127 lines of the output list.
std::vector<OutputEntry> parse_output_list(std::string_view text);

// Why an entry of the output list `list_path` cannot be read as a variable,
// or nothing: its name must stay a file name inside Output/ (no "/" or "\",
// not "." or ".."), and its layer count must be a digit 1 to 9 in column 41.
// The viewer lists every entry; veldra_export refuses such an entry and
// Python leaves it out with a warning.
std::optional<std::string> variable_entry_fault(const OutputEntry& entry, const std::string& list_path);

struct ViewerCellFile {
    ViewerGridInfo info;
    std::vector<RangeCell> cells;       // in file order
    std::vector<std::string> warnings;  // cells that share a position
};

// Reads the cell file by the viewer's rules: all ten header values on the
// first line, then five values per cell as one stream from the second line.
// Every header value is checked against the range its use needs: the 16-bit
// fields, a whole first year within 16 bits, a positive cell size, a grid
// that can be held and a cell count the file can hold; every cell must lie
// inside the grid (cell_outside_grid). Raises LoadError, naming `file_name`
// and the line, for a malformed, short or unusable file. Cells that share a
// position are warnings (shared_position_warnings).
ViewerCellFile parse_viewer_cell_file(std::string_view text, const std::string& file_name);

// Reads the globe file: one line per row from the north, "T" for land;
// lines shorter than the grid are water where they end. Raises LoadError
// (naming `file_name`) when the file has fewer lines than the grid has rows,
// found before the mask is allocated, or when the grid is too large to hold.
GlobeMask parse_viewer_globe(std::string_view text, const Extents& extents, const std::string& file_name);

// A model folder as the viewer and its export read it: the output list, the
// cell file and the globe file.
struct LoadedModel {
    std::string ModelFolder;  // ends with a separator
    std::vector<OutputEntry> OutputTable;  // entry k is OutputTable[k - 1]
    ViewerGridInfo GridInfo;
    std::vector<RangeCell> CellTable;
    files::GlobeMask GlobeMask;
    Extents extents;
    // What the user should hear of but need not stop for: cells that share
    // a position. Each program says them on its error stream.
    std::vector<std::string> warnings;

    // The first model year; the cell-file reader keeps it within 16 bits.
    int first_year() const { return static_cast<int>(GridInfo.firstYear); }
    // "Output/" + FileName + ".vrd" under the model folder.
    std::string variable_path(const OutputEntry& entry) const;
    std::string list_path() const { return ModelFolder + "Parms/Output_List.vrl"; }
    std::string cell_path() const { return ModelFolder + "Output/Rng_Data.vrd"; }
};

// The span of years must not run backwards: raises LoadError naming the
// cell file and its line 1 when the last year comes before the first.
void check_run_years(const LoadedModel& model);

// A calendar of the CF conventions counts years from 1: raises LoadError
// naming the cell file when the run starts before year 1.
void check_calendar_years(const LoadedModel& model);

// The output list, the cell file and the globe file of `folder`. Raises
// LoadError naming the file that is missing or cannot be used, also when
// there is not enough memory to hold it. The files are read through `files`.
LoadedModel load_model_files(const std::string& folder, FileAccess& files = system_files());

// Where the settings file is: $VELDRA_INI, else $XDG_CONFIG_HOME/veldra/Veldra.ini,
// else ~/.config/veldra/Veldra.ini.
std::string default_settings_path();

// The model folder named by a settings file, of which only the first line is
// read. Raises LoadError naming the file when it cannot be opened (missing,
// or not a regular file such as a FIFO), or its first line names no folder.
std::string read_settings_file(const std::string& path, FileAccess& files = system_files());

}  // namespace veldra::files
