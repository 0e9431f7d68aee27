// The export dialog's rules as plain functions: the proposed root, the
// remembered destination folder, the year and decimal steps, the checks on
// "Go", and what the export takes from the viewer's shared state.
#pragma once

#include <optional>
#include <string>

#include "export/export_error.h"
#include "export/grid_export.h"
#include "modelfiles/viewer_model.h"
#include "modelfiles/file_io.h"

namespace veldra::out {

// The root the dialog proposes: the file name, followed by "_L" and the
// layer above layer 1.
std::string default_export_root(const std::string& selected_file, int selected_layer);

// The folder remembered in Last_Export_Dir.txt: the text between the
// quotation marks of its first line, or for a line without them the text up
// to the first comma. Empty when the file is missing or cannot be read:
// reading it is never an error.
std::string read_last_export_dir(const std::string& path, files::FileAccess& files = files::system_files());

// Writes `folder` as it stands, within quotation marks, ended by CR LF,
// replacing the file whole. Raises FileWriteError.
void write_last_export_dir(const std::string& path, const std::string& folder, files::FileAccess& files = files::system_files());

// One year step of an end of the export span, kept within the model's span.
int step_export_year(int year, int step, int first_year, int last_year);

// The decimal places after a step: the box's number plus `step`, never below 0.
std::string step_decimals(const std::string& text, int step);

// The checks on "Go", in order: raises StopExport with the message of the
// first that fails. Blanks count as text in the folder and the root.
void check_export_settings(int span_start, int span_end, const std::string& folder, const std::string& root);

// Creates the destination folder, trimmed of blanks, with the folders above
// it: the dialog and scripts name a new folder as often as an old one. Does
// nothing when it cannot; the first grid written then names what is wrong.
void create_destination_folder(const std::string& folder, files::FileAccess& files = files::system_files());

// What the export takes from the model: `entry` at `layer`. Nothing without
// an entry, for a variable without layers, or for a layer below 1.
std::optional<ExportSource> export_source(const files::LoadedModel& model, const files::OutputEntry* entry, int layer);

}  // namespace veldra::out
