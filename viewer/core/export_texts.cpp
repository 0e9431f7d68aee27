#include "viewer/core/export_texts.h"

#include <cstdlib>
#include <memory>

#include "modelfiles/paths.h"

namespace veldra::viewer {

std::string export_target_text(const ViewerState& state) {
    const auto source = export_source(state);
    if (!source) return "Exports: nothing yet; choose a variable and, where it has layers, a layer";
    return "Exports: " + std::string(files::trim_blanks(source->file_name)) + ", layer " + std::to_string(source->layer);
}

std::string followed_root(const std::string& root, const std::string& proposed_before,
                          const std::string& proposal_now) {
    if (files::trim_blanks(root).empty() || root != proposed_before) return root;
    return proposal_now;
}

std::string grids_written_note(std::int64_t grids, const std::string& folder) {
    return "Wrote " + std::to_string(grids) + " grids to " + folder;
}

std::string user_config_folder() {
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) return std::string(xdg) + "/veldra";
    const char* home = std::getenv("HOME");
    return std::string(home ? home : "") + "/.config/veldra";
}

std::string last_export_dir_file(const std::string& program_folder, files::FileAccess& files,
                                 const std::string& config_folder) {
    const std::string beside_program = files::with_trailing_separator(program_folder) + "Last_Export_Dir.txt";
    try {
        // A file made and removed again: the folder can be written.
        std::unique_ptr<files::OutputFile> probe = files.create_temporary(files::path_to_open(beside_program));
        const std::string made = probe->path();
        try {
            probe->close();
        } catch (const files::FileWriteError&) {
        }
        probe.reset();
        files.remove(made);
        return beside_program;
    } catch (const files::ModelFileError&) {
        files.create_folders(files::path_to_open(config_folder));
        return files::with_trailing_separator(config_folder) + "Last_Export_Dir.txt";
    }
}

}  // namespace veldra::viewer
