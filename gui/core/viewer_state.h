// The state both windows of the viewer share: loaded once at start-up by
// load_model, and handed to the main window and the export dialog.
#pragma once

#include <string>
#include <vector>

#include "gui/core/colour_ramps.h"
#include "gui/core/map_picture.h"
#include "gui/core/map_view.h"
#include "gui/core/pointer_readout.h"
#include "gui/core/run_stretch.h"
#include "gui/core/viewer_model.h"

namespace veldra::viewer {

struct ViewerState {
    // The model, loaded at start-up and never reloaded.
    std::string ModelFolder;  // ends with a separator
    std::vector<OutputEntry> OutputTable;  // entry k is OutputTable[k - 1]
    ViewerGridInfo GridInfo;
    std::vector<RangeCell> CellTable;
    veldra::GlobeMask GlobeMask;
    Extents extents;

    // The value on display of every cell, in CellTable order: the last block
    // that passed its checks (zeros until then).
    std::vector<float> display_values;

    Rgb LandColour = kLandColour;
    Rgb WaterColour = kWaterColour;
    ColourRamps ramps;

    // The selection.
    int SelectedEntry = 0;  // 1-based; 0 = none
    int SelectedLayer = 0;  // 1-based; 0 = none
    std::string SelectedFile;
    bool AutoRunning = false;
    bool RedrawPending = false;

    // The span of years the export dialog offers.
    int ExportSpanStart = 0;
    int ExportSpanEnd = 0;

    // How the map is looked at, beyond its design.
    MapView view;          // zoom and centre; the whole grid at zoom 1
    MapPicture picture;    // what the map shows now
    CellGrid cell_grid;    // the cells by position, for the value under the pointer
    RunScale run_scale;    // the same colours for every month of the run
    bool beep_on_redraw = true;

    const OutputEntry* selected_entry() const {
        return SelectedEntry >= 1 && SelectedEntry <= static_cast<int>(OutputTable.size())
                   ? &OutputTable[static_cast<std::size_t>(SelectedEntry - 1)]
                   : nullptr;
    }
    // The first model year; the cell-file reader keeps it within 16 bits.
    int first_year() const { return static_cast<int>(GridInfo.firstYear); }
    // "Output/" + FileName + ".vrd" under the model folder.
    std::string variable_path(const OutputEntry& entry) const;
};

// Where the settings file is: $VELDRA_INI, else $XDG_CONFIG_HOME/veldra/Veldra.ini,
// else ~/.config/veldra/Veldra.ini.
std::string default_settings_path();

// The model folder named by a settings file, of which only the first line is
// read. Raises LoadError naming the file when it cannot be opened (missing,
// or not a regular file such as a FIFO), or its first line names no folder.
std::string read_settings_file(const std::string& path);

// The output list, the cell file and the globe file of `folder`, with the
// export span set to the model's span and nothing selected. Raises LoadError
// naming the file that is missing or cannot be used, also when there is not
// enough memory to hold it.
ViewerState load_model(const std::string& folder);

// Whether the selection can be drawn: an entry is chosen and either it has
// layers and one is chosen, or it has none and none is chosen.
bool is_drawable(const ViewerState& state);

}  // namespace veldra::viewer
