#include "viewer/core/navigation.h"

namespace veldra::viewer {

TimeStep year_up(int year, int last_year) {
    TimeStep s;
    if (year < last_year) s.year = year + 1;
    return s;
}

TimeStep year_down(int year, int first_year) {
    TimeStep s;
    if (year > first_year) s.year = year - 1;
    return s;
}

TimeStep month_up(int year, int month, int last_year) {
    TimeStep s;
    if (month + 1 <= 12) {
        s.month = month + 1;
        return s;
    }
    s.month = 1;
    if (year < last_year) s.year = year + 1;
    else s.beep = true;
    return s;
}

TimeStep month_down(int year, int month, int first_year) {
    TimeStep s;
    if (month - 1 >= 1) {
        s.month = month - 1;
        return s;
    }
    s.month = 12;
    if (year > first_year) s.year = year - 1;
    else s.beep = true;
    return s;
}

}  // namespace veldra::viewer
