// The globe file (Globe.vrd): one line per grid row from the north, one
// character per column from the west; "T" marks land, anything else water.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "modelfiles/cell_file.h"

namespace veldra::files {

struct GlobeMask {
    std::int32_t cols = 0;
    std::int32_t rows = 0;
    std::vector<std::uint8_t> land;  // cols x rows, row 0 the northernmost; 1 for land

    bool is_land(std::int32_t col, std::int32_t row) const {
        return land[static_cast<std::size_t>(row) * static_cast<std::size_t>(cols) +
                    static_cast<std::size_t>(col)] != 0;
    }
};

// The lines of a globe file, row by row, as layer_exporter reads them.
class GlobeRows {
public:
    // Raises ModelFileError when the text has fewer lines than the window
    // has rows; nothing is kept but the text.
    GlobeRows(std::string_view text, GridWindow window, const std::string& file_name);

    // The characters of the next line that count: leading blanks skipped,
    // ended by the first blank, tab, comma or CR, and at most as many as the
    // window has columns. A column beyond them is water. Only as many lines
    // as the window has rows are read.
    std::string_view next_row();

private:
    std::string_view text_;
    std::size_t pos_ = 0;
    std::size_t cols_ = 0;
};

// Reads the rows of `window` as layer_exporter does: leading blanks of a line
// are skipped and its value ends at the first blank or comma; columns beyond
// the value are water, characters beyond the grid are ignored. A blank line
// is a row of water. Raises ModelFileError when the file has fewer lines than
// the grid has rows.
GlobeMask parse_globe_file(std::string_view text, GridWindow window, const std::string& file_name);

}  // namespace veldra::files
