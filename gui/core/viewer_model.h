// The model as the viewer holds it: the output list, the cell file and the
// globe file, read by the viewer's own rules, and the state both of its
// windows share.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace veldra::viewer {

// A file that the viewer cannot use; the message names the file and says
// what was expected.
struct LoadError {
    std::string message;
};

// One active line of the output list.
struct OutputEntry {
    std::string FileName;
    int LayerCount = 0;  // the digit in column 41; anything else is 0
    std::string LayerLabel;
    std::string Units;
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
    double firstYear = 0;
    std::int16_t lastYear = 0;
};

// Half the grid's width and height in cells, in double precision, and the
// half height rounded to a 16-bit whole number.
struct Extents {
    double halfCols = 0;
    double halfRows = 0;
    std::int16_t halfRowsInt = 0;
};

struct ViewerCell {
    std::int32_t cellNumber = 0;
    std::int32_t zone = 0;
    std::int32_t x = 0;  // column, from 1 at the west edge
    std::int32_t y = 0;  // row, from 1 at the north edge
    std::int32_t rangeType = 0;
    float value = 0;     // the value on display
};

// Land (true) or water for every grid position; column 0 is x = -halfCols,
// row 0 is the first line of the globe file, y = halfRowsInt - 1.
struct ViewerGlobe {
    int cols = 0;
    int rows = 0;
    std::vector<std::uint8_t> land;
    bool is_land(int col, int row) const {
        return land[static_cast<std::size_t>(row) * static_cast<std::size_t>(cols) + static_cast<std::size_t>(col)] != 0;
    }
};

// The model folder named by the first line of the settings file: the first
// character is skipped; of the next 200 at most, everything before the first
// apostrophe is the folder, and "/" is appended. Nothing when there is no
// apostrophe within those 200 characters.
bool folder_from_settings_line(std::string_view line, std::string& folder);

// The active entries among the first 127 lines of the output list.
std::vector<OutputEntry> parse_output_list(std::string_view text);

// Reads the cell file by the viewer's rules: all ten header values on the
// first line, then five values per cell as one stream from the second line.
// Raises LoadError (naming `file_name`) for a malformed or short file.
void parse_viewer_cell_file(std::string_view text, const std::string& file_name, ViewerGridInfo& info,
                            std::vector<ViewerCell>& cells);

Extents compute_extents(const ViewerGridInfo& info);

// Reads the globe file: one line per row from the north, "T" for land;
// lines shorter than the grid are water where they end. Raises LoadError
// (naming `file_name`) when the file has fewer lines than the grid has rows,
// or when the grid is too large to hold.
ViewerGlobe parse_viewer_globe(std::string_view text, const Extents& extents, const std::string& file_name);

// Rounds to the nearest whole number, halves to the even neighbour.
double round_half_even(double v);

// A whole count as decimal text.
std::string plain_count(double n);

}  // namespace veldra::viewer
