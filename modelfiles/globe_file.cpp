#include "modelfiles/globe_file.h"

#include <algorithm>
#include <cstring>

#include "modelfiles/file_io.h"

namespace veldra::files {
namespace {

bool ends_value(char c) { return c == ' ' || c == '\t' || c == ',' || c == '\r'; }

// Whether any of the eight bytes of `w` lies below 0x2D, as the four
// characters that end a value do; letters never do.
bool may_end_value(std::uint64_t w) {
    constexpr std::uint64_t kOnes = 0x0101010101010101u;
    return ((w - kOnes * 0x2D) & ~w & kOnes * 0x80) != 0;
}

}  // namespace

GlobeRows::GlobeRows(std::string_view text, GridWindow window, const std::string& file_name)
    : text_(text), cols_(static_cast<std::size_t>(window.cols())) {
    // The file must hold a line for every row before anything is sized by
    // the window: a short file under a large header is refused at once.
    const std::size_t rows = static_cast<std::size_t>(window.rows());
    std::size_t lines = 0;
    for (const char* p = text.data(), *end = p + text.size(); p < end && lines < rows; ++lines) {
        const void* nl = std::memchr(p, '\n', static_cast<std::size_t>(end - p));
        p = nl ? static_cast<const char*>(nl) + 1 : end;
    }
    if (lines < rows)
        throw ModelFileError(file_name + ": line " + std::to_string(lines + 1) + ": expected " + std::to_string(rows) +
                             " lines, one for each row of the grid, found the end of the file");
}

std::string_view GlobeRows::next_row() {
    const char* const end = text_.data() + text_.size();
    const char* p = text_.data() + pos_;
    const void* nl = std::memchr(p, '\n', static_cast<std::size_t>(end - p));
    const char* const line_end = nl ? static_cast<const char*>(nl) : end;
    pos_ = static_cast<std::size_t>((nl ? line_end + 1 : end) - text_.data());

    while (p < line_end && (*p == ' ' || *p == '\t' || *p == '\r')) ++p;
    const char* const start = p;
    const char* const limit = p + std::min(cols_, static_cast<std::size_t>(line_end - p));
    // Eight characters at a time while none of them can end the value.
    for (std::uint64_t w; limit - p >= 8; p += 8) {
        std::memcpy(&w, p, 8);
        if (may_end_value(w)) break;
    }
    while (p < limit && !ends_value(*p)) ++p;
    return {start, static_cast<std::size_t>(p - start)};
}

GlobeMask parse_globe_file(std::string_view text, GridWindow window, const std::string& file_name) {
    GlobeRows lines(text, window, file_name);
    GlobeMask mask;
    mask.cols = static_cast<std::int32_t>(window.cols());
    mask.rows = static_cast<std::int32_t>(window.rows());
    mask.land.assign(static_cast<std::size_t>(mask.cols) * static_cast<std::size_t>(mask.rows), 0);
    for (std::int32_t row = 0; row < mask.rows; ++row) {
        const std::string_view value = lines.next_row();
        std::uint8_t* out = mask.land.data() + static_cast<std::size_t>(row) * static_cast<std::size_t>(mask.cols);
        for (std::size_t c = 0; c < value.size(); ++c) out[c] = value[c] == 'T' ? 1 : 0;
    }
    return mask;
}

}  // namespace veldra::files
