// The rules of the year and month buttons.
#pragma once

#include <optional>

namespace veldra::viewer {

// What one press of a year or month button does: the texts are set in this
// order, month first (each setting draws once when the selection is
// drawable), then the beep.
struct TimeStep {
    std::optional<int> month;
    std::optional<int> year;
    bool beep = false;
};

TimeStep year_up(int year, int last_year);
TimeStep year_down(int year, int first_year);
TimeStep month_up(int year, int month, int last_year);
TimeStep month_down(int year, int month, int first_year);

}  // namespace veldra::viewer
