// The state both windows of the viewer share: loaded once at start-up by
// load_model, and handed to the main window and the export dialog.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "export/grid_export.h"
#include "viewer/core/colour_ramps.h"
#include "viewer/core/map_options.h"
#include "viewer/core/map_picture.h"
#include "viewer/core/map_view.h"
#include "viewer/core/pointer_readout.h"
#include "viewer/core/run_stretch.h"
#include "modelfiles/viewer_model.h"

namespace veldra::viewer {

// The model (ModelFolder, OutputTable, GridInfo, CellTable, GlobeMask,
// extents) is loaded at start-up and never reloaded.
struct ViewerState : files::LoadedModel {

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
    MapOptions options;    // the fixed scale, the perceptual map, the difference view
    // While a difference is on display: the values of the month shown and of
    // the month subtracted (display_values holds their difference).
    std::vector<float> shown_values;
    std::vector<float> reference_values;

    const files::OutputEntry* selected_entry() const {
        return SelectedEntry >= 1 && SelectedEntry <= static_cast<int>(OutputTable.size())
                   ? &OutputTable[static_cast<std::size_t>(SelectedEntry - 1)]
                   : nullptr;
    }
};

// The output list, the cell file and the globe file of `folder`, with the
// export span set to the model's span and nothing selected. Raises LoadError
// naming the file that is missing or cannot be used, also when there is not
// enough memory to hold it.
ViewerState load_model(const std::string& folder);

// Whether the selection can be drawn: an entry is chosen and either it has
// layers and one is chosen, or it has none and none is chosen.
bool is_drawable(const ViewerState& state);

// What the export takes from the shared state: the selected entry at the
// selected layer. Nothing when no variable and layer of 1 or more are chosen.
std::optional<out::ExportSource> export_source(const ViewerState& state);

}  // namespace veldra::viewer
