#include "viewer/core/viewer_state.h"

#include "export/export_settings.h"

namespace veldra::viewer {

ViewerState load_model(const std::string& folder) {
    ViewerState state;
    static_cast<files::LoadedModel&>(state) = files::load_model_files(folder);
    state.display_values.assign(state.CellTable.size(), 0.0f);
    state.cell_grid = CellGrid(state.CellTable);
    state.ExportSpanStart = state.first_year();
    state.ExportSpanEnd = state.GridInfo.lastYear;
    return state;
}

bool is_drawable(const ViewerState& state) {
    const files::OutputEntry* e = state.selected_entry();
    if (!e) return false;
    return (e->LayerCount > 0 && state.SelectedLayer > 0) || (e->LayerCount == 0 && state.SelectedLayer == 0);
}

std::optional<out::ExportSource> export_source(const ViewerState& state) {
    if (!is_drawable(state)) return std::nullopt;
    return out::export_source(state, state.selected_entry(), state.SelectedLayer);
}

}  // namespace veldra::viewer
