#include "modelfiles/paths.h"

#include <filesystem>
#include <system_error>

namespace veldra::files {

std::string with_trailing_separator(std::string_view folder) {
    std::string result(folder);
    if (result.empty() || (result.back() != '/' && result.back() != '\\')) result += '/';
    return result;
}

std::string variable_path(std::string_view model_folder, std::string_view name) {
    return with_trailing_separator(model_folder) + "Output/" + std::string(trim_blanks(name)) + ".vrd";
}

std::string path_to_open(std::string_view stored) {
    std::string result(stored);
    for (char& c : result)
        if (c == '\\') c = '/';
    return result;
}

std::string_view trim_trailing_blanks(std::string_view text) {
    const auto end = text.find_last_not_of(' ');
    return end == std::string_view::npos ? std::string_view{} : text.substr(0, end + 1);
}

std::string_view trim_blanks(std::string_view text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    return trim_trailing_blanks(text.substr(first));
}

std::string program_folder() {
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec || !exe.has_parent_path() ? "." : exe.parent_path().string();
}

}  // namespace veldra::files
