// The state both windows of the viewer share: created once at start-up,
// filled by load_model, and handed to the main window and the export dialog.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "gui/core/colour_ramps.h"
#include "gui/core/viewer_model.h"

namespace veldra::viewer {

struct ViewerState {
    // The model, loaded at start-up and never reloaded.
    std::string ModelFolder;  // ends with a separator
    std::vector<OutputEntry> OutputTable;  // entry k is OutputTable[k - 1]
    ViewerGridInfo GridInfo;
    std::vector<ViewerCell> CellTable;
    ViewerGlobe GlobeMask;
    Extents extents;

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

    const OutputEntry* selected_entry() const {
        return SelectedEntry >= 1 && SelectedEntry <= static_cast<int>(OutputTable.size())
                   ? &OutputTable[static_cast<std::size_t>(SelectedEntry - 1)]
                   : nullptr;
    }
    // "Output/" + FileName + ".vrd" under the model folder.
    std::string variable_path(const OutputEntry& entry) const;
};

// Where the settings file is: $VELDRA_INI, else $XDG_CONFIG_HOME/veldra/Veldra.ini,
// else ~/.config/veldra/Veldra.ini.
std::string default_settings_path();

// Reads the model folder from a settings file. Raises LoadError naming the
// file when it is missing, empty or has no closing apostrophe.
std::string read_settings_file(const std::string& path);

// Reads the output list, the cell file and the globe file of `folder` into
// `state` (sets ModelFolder, OutputTable, GridInfo, CellTable, GlobeMask,
// extents, the export span, and SelectedEntry/Layer 0). Raises LoadError
// naming the file that is missing or cannot be used.
void load_model(ViewerState& state, const std::string& folder);

// Whether the selection can be drawn: an entry is chosen and either it has
// layers and one is chosen, or it has none and none is chosen.
bool is_drawable(const ViewerState& state);

}  // namespace veldra::viewer
