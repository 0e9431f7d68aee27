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

struct BlockRead {
    std::vector<float> values;  // the N cell values in CellTable order, when the block passed its checks
    std::string message;        // otherwise the message to show, and no values
    bool ok() const { return message.empty(); }
};

// The block of (year, month, layer) of the variable file at `path` (as
// stored, shown so in messages) with `layers` layers. A file that cannot be
// opened, a block before the start or past the end of the file, a failed
// read, and a count, year or month record that does not match give the
// message to show. The block is read and checked by read_checked_block of
// modelfiles; the file is opened through `files`.
BlockRead read_variable_block(const ViewerState& state, const std::string& path, int layers, int year, int month,
                              int layer, FileAccess& files = system_files());

// The block of the selected entry's variable file.
BlockRead read_display_block(const ViewerState& state, int year, int month, int layer,
                             FileAccess& files = system_files());

}  // namespace veldra::viewer
