// The output list: every line of the first 127 that starts with "1" is an
// entry, in order, with its fields cut from their columns and trimmed.
#include <algorithm>

#include "modelfiles/viewer_model.h"
#include "tests/fuzz/fuzz_check.h"

using namespace veldra::files;
using veldra::fuzz::check;
using veldra::fuzz::number;

namespace {

bool trimmed(std::string_view s) {
    return s.empty() || (s.front() != ' ' && s.back() != ' ');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = veldra::fuzz::text_of(data, size);
    const std::vector<OutputEntry> entries = parse_output_list(text);

    std::vector<std::string_view> active;
    std::size_t pos = 0;
    for (int line = 1; line <= 127 && pos < text.size(); ++line) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view l = text.substr(pos, end - pos);
        if (!l.empty() && l.front() == '1') active.push_back(l);
        pos = end + 1;
    }
    check(entries.size() == active.size(),
          number(entries.size()) + " entries for " + number(active.size()) + " active lines");
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const OutputEntry& e = entries[i];
        const std::string_view line = active[i];
        check(e.FileName.size() <= 33 && e.LayerLabel.size() <= 10 && e.Units.size() <= 19,
              "a field longer than its columns");
        check(trimmed(e.FileName) && trimmed(e.LayerLabel) && trimmed(e.Units), "a field with blanks around it");
        check(e.LayerCount >= 0 && e.LayerCount <= 9, "layer count " + number(e.LayerCount));
        const char digit = line.size() >= 41 ? line[40] : ' ';
        check(e.LayerCount == (digit >= '0' && digit <= '9' ? digit - '0' : 0),
              "the layer count is not the digit in column 41");
        if (!e.FileName.empty())
            check(line.size() >= 5 && line.substr(4, 33).find(e.FileName) != std::string_view::npos,
                  "the file name is not taken from columns 5-37");
    }
    return 0;
}
