#include "modelfiles/globe_file.h"

#include <algorithm>

#include "modelfiles/file_io.h"

namespace veldra {

GlobeMask parse_globe_file(std::string_view text, GridWindow window, const std::string& file_name) {
    GlobeMask mask;
    mask.cols = static_cast<std::int32_t>(window.cols());
    mask.rows = static_cast<std::int32_t>(window.rows());

    // The file must hold a line for every row before the mask is allocated:
    // a short file under a large header is refused at once.
    std::size_t lines = 0;
    for (std::size_t pos = 0; pos < text.size() && lines < static_cast<std::size_t>(mask.rows); ++lines) {
        const std::size_t end = text.find('\n', pos);
        pos = end == std::string_view::npos ? text.size() : end + 1;
    }
    if (lines < static_cast<std::size_t>(mask.rows))
        throw ModelFileError(file_name + ": line " + std::to_string(lines + 1) + ": expected " +
                             std::to_string(mask.rows) +
                             " lines, one for each row of the grid, found the end of the file");
    mask.land.assign(static_cast<std::size_t>(mask.cols) * static_cast<std::size_t>(mask.rows), 0);

    std::size_t pos = 0;
    for (std::int32_t row = 0; row < mask.rows; ++row) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;

        const std::size_t start = line.find_first_not_of(" \t\r");
        if (start == std::string_view::npos) continue;  // a blank line: water
        line.remove_prefix(start);
        const std::size_t stop = line.find_first_of(" \t,\r");
        if (stop != std::string_view::npos) line = line.substr(0, stop);

        std::uint8_t* out = mask.land.data() + static_cast<std::size_t>(row) * static_cast<std::size_t>(mask.cols);
        const std::size_t n = std::min(line.size(), static_cast<std::size_t>(mask.cols));
        for (std::size_t c = 0; c < n; ++c) out[c] = line[c] == 'T' ? 1 : 0;
    }
    return mask;
}

}  // namespace veldra
