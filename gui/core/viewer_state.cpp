#include "gui/core/viewer_state.h"

#include <cstdlib>
#include <new>

#include "modelfiles/file_io.h"
#include "modelfiles/paths.h"

namespace veldra::viewer {
namespace {

// Longest first line of a settings file that is read: the folder lies
// within its first 201 characters.
constexpr std::size_t kSettingsLineBytes = 4096;

// Runs `read` on the file at `stored_path` (the path as the model names it;
// it is opened with "/" for every "\"). A file that cannot be opened or read,
// or that does not fit in memory, raises LoadError naming the stored path
// and what was expected of the file.
template <typename Read>
auto reading(const std::string& stored_path, const char* expected, Read read) {
    const std::string opened = path_to_open(stored_path);
    try {
        return read(opened);
    } catch (const ModelFileError& e) {
        std::string what = e.what();
        if (what.rfind(opened, 0) == 0) what.replace(0, opened.size(), stored_path);
        throw LoadError(what + "; expected " + expected);
    } catch (const std::bad_alloc&) {
        throw LoadError(stored_path + ": there is not enough memory to read it; expected " + expected);
    }
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
    const std::string line =
        reading(path, "the settings file, whose first line names the model folder within apostrophes",
                [](const std::string& opened) { return read_first_line(opened, kSettingsLineBytes); });
    std::optional<std::string> folder = folder_from_settings_line(line);
    if (!folder)
        throw LoadError(path + ": line 1: expected the model folder within apostrophes, as in 'D:\\runs\\world', "
                               "found \"" + line.substr(0, 80) + "\"");
    return std::move(*folder);
}

ViewerState load_model(const std::string& folder) {
    ViewerState state;
    state.ModelFolder = with_trailing_separator(folder);

    const std::string list_path = state.ModelFolder + "Parms/Output_List.vrl";
    state.OutputTable = reading(list_path, "the model's output list", [](const std::string& opened) {
        return parse_output_list(read_text_file(opened));
    });

    const std::string cell_path = state.ModelFolder + "Output/Rng_Data.vrd";
    ViewerCellFile cells = reading(cell_path, "the model's cell file", [&](const std::string& opened) {
        return parse_viewer_cell_file(read_text_file(opened), cell_path);
    });
    state.GridInfo = cells.info;
    state.CellTable = std::move(cells.cells);
    state.display_values.assign(state.CellTable.size(), 0.0f);
    state.cell_grid = CellGrid(state.CellTable);
    state.extents = compute_extents(state.GridInfo);

    const std::string globe_path = state.ModelFolder + "Output/Globe.vrd";
    state.GlobeMask = reading(globe_path, "the model's globe file", [&](const std::string& opened) {
        return parse_viewer_globe(read_text_file(opened), state.extents, globe_path);
    });

    state.ExportSpanStart = state.first_year();
    state.ExportSpanEnd = state.GridInfo.lastYear;
    return state;
}

bool is_drawable(const ViewerState& state) {
    const OutputEntry* e = state.selected_entry();
    if (!e) return false;
    return (e->LayerCount > 0 && state.SelectedLayer > 0) || (e->LayerCount == 0 && state.SelectedLayer == 0);
}

}  // namespace veldra::viewer
