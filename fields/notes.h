// The notes of the bad blocks behind a derived field: one line each.
#pragma once

#include <string>
#include <string_view>

namespace veldra::fields {

inline void add_note(std::string& notes, std::string_view prefix, std::string_view note) {
    if (note.empty()) return;
    if (!notes.empty()) notes.push_back('\n');
    notes.append(prefix);
    notes.append(note);
}

}  // namespace veldra::fields
