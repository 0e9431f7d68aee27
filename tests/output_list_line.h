// One line of a model's output list, in its fixed columns, for tests that
// write model folders.
#pragma once

#include <string>
#include <string_view>

namespace veldra::testing {

// Columns (from 1): the flag from 1 ("1" marks an active entry), the file
// name from 5, the layer count at 41, the layer label from 45, the units
// from 59; blanks elsewhere, 77 characters in all.
inline std::string output_list_line(std::string_view flag, std::string_view name, std::string_view layers,
                                    std::string_view label, std::string_view units) {
    std::string line(77, ' ');
    auto put = [&line](std::size_t at, std::string_view text) {
        for (std::size_t i = 0; i < text.size() && at + i < line.size(); ++i) line[at + i] = text[i];
    };
    put(0, flag);
    put(4, name);
    put(40, layers);
    put(44, label);
    put(58, units);
    return line;
}

}  // namespace veldra::testing
