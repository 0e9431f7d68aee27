#include "viewer/core/export_texts.h"

#include "modelfiles/paths.h"

namespace veldra::viewer {

std::string export_target_text(const ViewerState& state) {
    const auto source = export_source(state);
    if (!source) return "Exports: nothing yet; choose a variable and, where it has layers, a layer";
    return "Exports: " + std::string(trim_blanks(source->file_name)) + ", layer " + std::to_string(source->layer);
}

std::string followed_root(const std::string& root, const std::string& proposed_before,
                          const std::string& proposal_now) {
    if (trim_blanks(root).empty() || root != proposed_before) return root;
    return proposal_now;
}

std::string grids_written_note(std::int64_t grids, const std::string& folder) {
    return "Wrote " + std::to_string(grids) + " grids to " + folder;
}

}  // namespace veldra::viewer
