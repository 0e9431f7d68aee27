// Whole-file access for the model's text files, and the error every reader
// raises: its message names the file and, where there is one, the line or
// record.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>

namespace veldra {

class ModelFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The whole content of a file, or nothing if it cannot be opened.
// A read failure after a successful open raises ModelFileError.
std::optional<std::string> read_file_if_present(const std::string& path);

}  // namespace veldra
