#include "viewer/core/chart_text.h"

#include "modelfiles/number_text.h"

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
            if (const auto& v = table.column(c)[k - 1]) out += plain_number(*v);
        }
        out += "\r\n";
    }
    return out;
}

std::string point_tooltip(const std::string& legend, const std::string& units, int first_year, std::size_t row,
                          float value) {
    const YearMonth t = row_time(first_year, row);
    return legend + ": " + short_number(value) + (units.empty() ? "" : " " + units) + "\n" + month_name(t.month) +
           " " + std::to_string(t.year) + " (month " + std::to_string(row) + " of the run)";
}

}  // namespace veldra::viewer
