#include "viewer/core/chart_text.h"

#include "modelfiles/number_text.h"
#include "modelfiles/paths.h"
#include "viewer/core/pointer_readout.h"

namespace veldra::viewer {
namespace {

std::string csv_field(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

}  // namespace

YearMonth row_time(int first_year, std::size_t row) {
    const auto k = static_cast<std::int64_t>(row) - 1;
    return {first_year + static_cast<int>(k / 12), static_cast<int>(k % 12) + 1};
}

std::int64_t time_row(int first_year, int year, int month) {
    return (std::int64_t{year} - first_year) * 12 + month;
}

const char* month_name(int month) {
    static constexpr const char* names[] = {"January", "February", "March",     "April",   "May",      "June",
                                            "July",    "August",   "September", "October", "November", "December"};
    return month >= 1 && month <= 12 ? names[month - 1] : "";
}

std::string series_csv(const ChartTable& table, const std::array<std::string, 4>& legends, int first_year) {
    std::string out = "year,month";
    for (const std::string& legend : legends) out.append(",").append(csv_field(legend));
    out += "\r\n";
    for (std::size_t k = 1; k <= table.rows(); ++k) {
        const YearMonth t = row_time(first_year, k);
        out += std::to_string(t.year) + "," + std::to_string(t.month);
        for (std::size_t c = 0; c < legends.size(); ++c) {
            out += ",";
            if (const auto& v = table.column(c)[k - 1]) out += files::plain_number(*v);
        }
        out += "\r\n";
    }
    return out;
}

ChartedCell charted_cell(const ViewerState& state, std::size_t cell) {
    ChartedCell c;
    if (cell >= state.CellTable.size()) return c;
    const files::RangeCell& r = state.CellTable[cell];
    // The centre of the cell's square in map units, then in degrees, as the
    // pointer readout counts them.
    const files::ViewerGridInfo& g = state.GridInfo;
    const double size = static_cast<double>(g.cellSize);
    const double x = -state.extents.half_cols + r.x - 0.5;
    const double y = static_cast<double>(state.extents.half_rows_int) - r.y + 0.5;
    const int decimals = coordinate_decimals(g.cellSize);
    c.number = r.cellNumber;
    c.longitude = files::fixed_number((g.lowerX + g.upperX) / 2 + x * size, decimals);
    c.latitude = files::fixed_number((g.lowerY + g.upperY) / 2 + y * size, decimals);
    c.column = r.x;
    c.row = r.y;
    if (const files::OutputEntry* e = state.selected_entry()) c.variable = files::trim_blanks(e->FileName);
    c.layer = state.SelectedLayer;
    return c;
}

std::string chart_title(const ChartedCell& c) {
    return "Cell " + std::to_string(c.number) + " at " + c.longitude + ", " + c.latitude + " (column " +
           std::to_string(c.column) + ", row " + std::to_string(c.row) + "): " + c.variable + ", layer " +
           std::to_string(c.layer);
}

std::string charting_note(const ChartedCell& c) {
    return "charting cell " + std::to_string(c.number) + " at " + c.longitude + ", " + c.latitude;
}

std::string csv_cell_header(const ChartedCell& c) {
    return c.variable + ", layer " + std::to_string(c.layer) + ", cell " + std::to_string(c.number) + " at " +
           c.longitude + ", " + c.latitude;
}

std::string point_tooltip(const std::string& legend, const std::string& units, int first_year, std::size_t row,
                          float value) {
    const YearMonth t = row_time(first_year, row);
    return legend + ": " + files::short_number(value) + (units.empty() ? "" : " " + units) + "\n" + month_name(t.month) +
           " " + std::to_string(t.year) + " (month " + std::to_string(row) + " of the run)";
}

}  // namespace veldra::viewer
