// Paths as the model's tools store and show them, and as the system opens them.
// Stored paths may use "\" or "/" as the separator; a separator the system
// appends is "/"; before a file is opened every "\" becomes "/".
#pragma once

#include <string>
#include <string_view>

namespace veldra::files {

// `folder` with "/" appended unless it already ends in "/" or "\".
std::string with_trailing_separator(std::string_view folder);

// The file of the variable `name` (blanks around it dropped) in a model
// folder: "<folder>/Output/<name>.vrd".
std::string variable_path(std::string_view model_folder, std::string_view name);

// The path to open: every "\" replaced by "/".
std::string path_to_open(std::string_view stored);

// `text` without its trailing blanks.
std::string_view trim_trailing_blanks(std::string_view text);

// `text` without blanks on either side.
std::string_view trim_blanks(std::string_view text);

// The folder of the running program (where it keeps Projection_Layers and
// Last_Export_Dir.txt), without a trailing separator; "." when it cannot be found.
std::string program_folder();

}  // namespace veldra::files
