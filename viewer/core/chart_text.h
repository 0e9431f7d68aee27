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

// The cell a query charts, as the chart's title, the status line and the
// saved series name it.
struct ChartedCell {
    std::int32_t number = 0;  // the cell file's number of the cell
    std::string longitude;    // of the centre of its square, as the pointer readout writes it
    std::string latitude;
    std::int32_t column = 0;  // from 1 at the west edge
    std::int32_t row = 0;     // from 1 at the north edge
    std::string variable;     // the chosen variable's file name, trimmed of blanks
    int layer = 0;
};
// Cell `cell` (an index of the cell table) of the chosen variable and layer.
ChartedCell charted_cell(const ViewerState& state, std::size_t cell);

// «Cell 2 at -1.5, 0.5 (column 3, row 2): Biomass, layer 2»
std::string chart_title(const ChartedCell& cell);
// «charting cell 2 at -1.5, 0.5»
std::string charting_note(const ChartedCell& cell);
// The CSV's header of the chosen variable's column: «Biomass, layer 2, cell 2 at -1.5, 0.5».
std::string csv_cell_header(const ChartedCell& cell);

// The tooltip of a point: «Precip: 4.83 cm» and «March 2000 (month 3 of the run)».
std::string point_tooltip(const std::string& legend, const std::string& units, int first_year, std::size_t row,
                          float value);

}  // namespace veldra::viewer
