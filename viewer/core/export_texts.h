// What the export dialog says beyond its design: the variable and layer
// "Go" exports, the root it proposes as the main window's choice changes,
// and the main window's note once an export is over.
#pragma once

#include <cstdint>
#include <string>

#include "modelfiles/file_io.h"
#include "viewer/core/viewer_state.h"

namespace veldra::viewer {

// «Exports: Precip, layer 1»: the variable and layer of the main window's
// current choice, which "Go" exports; or that there is nothing to export.
std::string export_target_text(const ViewerState& state);

// The root after the main window's choice changed: the proposal for the new
// choice while the root is still what the dialog proposed for the earlier
// one; a root the user typed (or a blank one, prepared on opening) stays.
std::string followed_root(const std::string& root, const std::string& proposed_before,
                          const std::string& proposal_now);

// The user's configuration folder of the viewer: $XDG_CONFIG_HOME/veldra,
// else ~/.config/veldra.
std::string user_config_folder();

// Where Last_Export_Dir.txt is read and written alike: in the program's
// folder when a file can be made there (tried through `files`), else in the
// user's configuration folder, which is made when missing.
std::string last_export_dir_file(const std::string& program_folder, files::FileAccess& files,
                                 const std::string& config_folder = user_config_folder());

// «Wrote 36 grids to /data/out»: the folder as it was given.
std::string grids_written_note(std::int64_t grids, const std::string& folder);

}  // namespace veldra::viewer
