// The chart's rows as calendar months, and its texts beyond the plot: the
// series as CSV (for a file or the clipboard) and the tooltip of a point.
#pragma once

#include <array>
#include <cstddef>
#include <string>

#include "viewer/core/cell_query.h"

namespace veldra::viewer {

struct YearMonth {
    int year = 0;
    int month = 0;
    bool operator==(const YearMonth&) const = default;
};

// Row k (from 1) of the chart is month m of year y, k = (y - first) x 12 + m.
YearMonth row_time(int first_year, std::size_t row);
std::int64_t time_row(int first_year, int year, int month);

// "January" .. "December"; "" outside 1..12.
const char* month_name(int month);

// The chart's data as CSV: a header of "year", "month" and the four legend
// texts, then one line per row with the values the chart holds in their
// shortest form ("." as the decimal point), empty where it holds none.
// Fields holding a comma, a quotation mark or a line break are quoted.
// Lines end with CR LF.
std::string series_csv(const ChartTable& table, const std::array<std::string, 4>& legends, int first_year);

// The tooltip of a point: «Precip: 4.83 cm» and «March 2000 (month 3 of the run)».
std::string point_tooltip(const std::string& legend, const std::string& units, int first_year, std::size_t row,
                          float value);

}  // namespace veldra::viewer
