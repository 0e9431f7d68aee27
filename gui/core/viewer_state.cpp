#include "gui/core/viewer_state.h"

#include <cstdlib>

#include "modelfiles/file_io.h"
#include "modelfiles/paths.h"

namespace veldra::viewer {
namespace {

std::string read_model_file(const std::string& stored_path, const char* expected) {
    std::optional<std::string> text;
    try {
        text = read_file_if_present(path_to_open(stored_path));
    } catch (const ModelFileError& e) {
        throw LoadError{std::string(e.what()) + "; expected " + expected};
    }
    if (!text) throw LoadError{stored_path + ": cannot be opened; expected " + expected};
    return std::move(*text);
}

}  // namespace

std::string ViewerState::variable_path(const OutputEntry& entry) const {
    return ModelFolder + "Output/" + std::string(trim_blanks(entry.FileName)) + ".vrd";
}

std::string default_settings_path() {
    if (const char* ini = std::getenv("VELDRA_INI"); ini && *ini) return ini;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) return std::string(xdg) + "/veldra/Veldra.ini";
    const char* home = std::getenv("HOME");
    return std::string(home ? home : "") + "/.config/veldra/Veldra.ini";
}

std::string read_settings_file(const std::string& path) {
    const std::string text =
        read_model_file(path, "the settings file, whose first line names the model folder within apostrophes");
    std::string line = text.substr(0, text.find('\n'));
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::string folder;
    if (!folder_from_settings_line(line, folder))
        throw LoadError{path + ": line 1: expected the model folder within apostrophes, as in 'D:\\runs\\world', "
                               "found \"" + line.substr(0, 80) + "\""};
    return folder;
}

void load_model(ViewerState& state, const std::string& folder) {
    state.ModelFolder = with_trailing_separator(folder);
    const std::string listPath = state.ModelFolder + "Parms/Output_List.vrl";
    state.OutputTable = parse_output_list(read_model_file(listPath, "the model's output list"));

    const std::string cellPath = state.ModelFolder + "Output/Rng_Data.vrd";
    parse_viewer_cell_file(read_model_file(cellPath, "the model's cell file"), cellPath, state.GridInfo,
                           state.CellTable);
    state.extents = compute_extents(state.GridInfo);

    const std::string globePath = state.ModelFolder + "Output/Globe.vrd";
    state.GlobeMask = parse_viewer_globe(read_model_file(globePath, "the model's globe file"), state.extents, globePath);

    state.SelectedEntry = 0;
    state.SelectedLayer = 0;
    state.SelectedFile.clear();
    state.AutoRunning = false;
    state.ExportSpanStart = static_cast<int>(state.GridInfo.firstYear);
    state.ExportSpanEnd = state.GridInfo.lastYear;
}

bool is_drawable(const ViewerState& state) {
    const OutputEntry* e = state.selected_entry();
    if (!e) return false;
    return (e->LayerCount > 0 && state.SelectedLayer > 0) || (e->LayerCount == 0 && state.SelectedLayer == 0);
}

}  // namespace veldra::viewer
