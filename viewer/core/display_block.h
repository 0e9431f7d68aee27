// Reading one block of a variable file for the viewer: the block of a year,
// month and layer, found through the block address of modelfiles, and
// checked against the cell count, the year and the month it stands for.
// The map's drawing, the cell query and the export all read through here.
#pragma once

#include <string>
#include <vector>

#include "modelfiles/file_io.h"
#include "viewer/core/viewer_state.h"

namespace veldra::viewer {

// A block the map cannot show; the message is the one to show.
class BlockError : public files::Error {
public:
    using Error::Error;
};

// The N cell values (in CellTable order) of the block of (year, month,
// layer) of the variable file at `path` (as stored, shown so in messages)
// with `layers` layers, read and checked by read_checked_block of modelfiles
// through `files`. Raises BlockError for a file that cannot be opened, a
// block before the start or past the end of the file, and a count, year or
// month record that does not match; ModelFileError for a failed read.
std::vector<float> read_block_values(const ViewerState& state, const std::string& path, int layers, int year,
                                     int month, int layer, files::FileAccess& files = files::system_files());

// read_block_values with its failure as the message to show, for callers
// that show it rather than pass it on.
struct BlockRead {
    std::vector<float> values;  // the N cell values in CellTable order, when the block passed its checks
    std::string message;        // otherwise the message to show, and no values
    bool ok() const { return message.empty(); }
};

BlockRead read_variable_block(const ViewerState& state, const std::string& path, int layers, int year, int month,
                              int layer, files::FileAccess& files = files::system_files());

// The block of the selected entry's variable file.
BlockRead read_display_block(const ViewerState& state, int year, int month, int layer,
                             files::FileAccess& files = files::system_files());

}  // namespace veldra::viewer
