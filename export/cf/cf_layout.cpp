#include "export/cf/cf_layout.h"

#include <algorithm>
#include <cmath>

#include "modelfiles/number_text.h"

namespace veldra::cf {
namespace {

using files::integer_text;

// At least `width` digits, zeros in front; a sign before them.
std::string padded(std::int64_t v, int width) {
    std::string digits = files::integer_text(v < 0 ? -v : v);
    if (static_cast<int>(digits.size()) < width) digits.insert(0, static_cast<std::size_t>(width) - digits.size(), '0');
    return v < 0 ? "-" + digits : digits;
}

std::int64_t floor_div(std::int64_t a, std::int64_t b) { return a / b - (a % b != 0 && (a < 0) != (b < 0)); }

// The day number of the first of a month in the standard calendar: the
// Gregorian calendar from 15 October 1582 on, the Julian one before.
std::int64_t first_of_month(std::int64_t year, std::int64_t month) {
    if (month > 12) {
        year += 1;
        month -= 12;
    }
    const std::int64_t a = month <= 2 ? 1 : 0;
    const std::int64_t y = year + 4800 - a, m = month + 12 * a - 3;
    const std::int64_t days = 1 + floor_div(153 * m + 2, 5) + 365 * y + floor_div(y, 4);
    const bool gregorian = year > 1582 || (year == 1582 && month > 10);
    return gregorian ? days - floor_div(y, 100) + floor_div(y, 400) - 32045 : days - 32083;
}

bool letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

constexpr const char* kWgs84Wkt =
    "GEOGCS[\"WGS 84\",DATUM[\"WGS_1984\",SPHEROID[\"WGS 84\",6378137,298.257223563,AUTHORITY[\"EPSG\",\"7030\"]],"
    "AUTHORITY[\"EPSG\",\"6326\"]],PRIMEM[\"Greenwich\",0,AUTHORITY[\"EPSG\",\"8901\"]],"
    "UNIT[\"degree\",0.0174532925199433,AUTHORITY[\"EPSG\",\"9122\"]],AXIS[\"Latitude\",NORTH],"
    "AXIS[\"Longitude\",EAST],AUTHORITY[\"EPSG\",\"4326\"]]";

Attribute text(const char* name, std::string value) { return {name, std::move(value)}; }
Attribute number(const char* name, double value) { return {name, value}; }

Attributes coordinate_attributes(const char* standard_name, const char* units, const char* axis_letter,
                                 const char* bounds) {
    Attributes a = {text("standard_name", standard_name), text("long_name", standard_name), text("units", units),
                    text("axis", axis_letter)};
    if (bounds) a.push_back(text("bounds", bounds));
    return a;
}

}  // namespace

std::string variable_name(std::string_view file_name) {
    std::string name;
    for (char c : file_name) {
        const bool kept = letter(c) || (c >= '0' && c <= '9') || c == '_' || c == '.' || c == '@' || c == '+' || c == '-';
        name += kept ? c : '_';
    }
    if (name.empty() || !(letter(name[0]) || name[0] == '_')) name.insert(0, "v_");
    for (const char* taken : kNames)
        if (name == taken) name += "_value";
    return name;
}

std::string layer_label(std::string_view word, std::int32_t layer) { return std::string(word) + " " + files::integer_text(layer); }

// The spacing is the span over the count when that agrees with the cell size
// of the cell file (which holds it in single precision, e.g. 0.0833333),
// else the cell size; the cells are centred on the middle of the span.
Axis axis(double low, double high, std::int64_t count, double cell_size, bool north_first) {
    const double even = (high - low) / static_cast<double>(count);
    const double step = std::fabs(even - cell_size) <= 1e-5 * cell_size ? even : cell_size;
    const double middle = (low + high) / 2, half = static_cast<double>(count) / 2;
    Axis out;
    out.centres.resize(static_cast<std::size_t>(count));
    out.bounds.resize(static_cast<std::size_t>(count) * 2);
    for (std::int64_t i = 0; i < count; ++i) {
        const double offset = static_cast<double>(i) - half + 0.5;
        const double c = north_first ? middle - offset * step : middle + offset * step;
        const double sign = north_first ? -1 : 1;
        out.centres[static_cast<std::size_t>(i)] = c;
        out.bounds[static_cast<std::size_t>(2 * i)] = c - sign * step / 2;
        out.bounds[static_cast<std::size_t>(2 * i + 1)] = c + sign * step / 2;
    }
    return out;
}

TimeAxis time_axis(std::int32_t first_year, std::int32_t last_year) {
    const std::int64_t reference_day = first_of_month(first_year, 1);
    TimeAxis out;
    for (std::int64_t y = first_year; y <= last_year; ++y)
        for (std::int64_t month = 1; month <= 12; ++month) {
            const auto start = static_cast<double>(first_of_month(y, month) - reference_day);
            const auto end = static_cast<double>(first_of_month(y, month + 1) - reference_day);
            out.middles.push_back((start + end) / 2);
            out.bounds.insert(out.bounds.end(), {start, end});
        }
    return out;
}

TimeAxis span_axis(std::int32_t reference_year, const std::vector<MonthSpan>& spans, bool climatology) {
    const std::int64_t reference_day = first_of_month(reference_year, 1);
    TimeAxis out;
    for (const MonthSpan& s : spans) {
        const auto start = static_cast<double>(first_of_month(s.first_year, s.first_month) - reference_day);
        const auto end = static_cast<double>(first_of_month(s.last_year, s.last_month + 1) - reference_day);
        const auto first_end = static_cast<double>(first_of_month(s.first_year, s.first_month + 1) - reference_day);
        out.middles.push_back(climatology ? (start + first_end) / 2 : (start + end) / 2);
        out.bounds.insert(out.bounds.end(), {start, end});
    }
    return out;
}

Attributes climatology_time_attributes(std::int32_t first_year) {
    Attributes a = time_attributes(first_year);
    a.back() = text("climatology", kClimatologyBounds);
    return a;
}

Attributes time_attributes(std::int32_t first_year) {
    return {text("standard_name", "time"),
            text("long_name", "time"),
            text("units", "days since " + padded(first_year, 4) + "-01-01"),
            text("calendar", "standard"),
            text("axis", "T"),
            text("bounds", kTimeBounds)};
}

Attributes latitude_attributes(bool bounded) {
    return coordinate_attributes("latitude", "degrees_north", "Y", bounded ? kLatBounds : nullptr);
}

Attributes longitude_attributes(bool bounded) {
    return coordinate_attributes("longitude", "degrees_east", "X", bounded ? kLonBounds : nullptr);
}

Attributes layer_attributes() { return {text("long_name", "layer number")}; }

Attributes layer_label_attributes() { return {text("long_name", "layer")}; }

Attributes crs_attributes() {
    return {text("grid_mapping_name", "latitude_longitude"), number("longitude_of_prime_meridian", 0.0),
            number("semi_major_axis", 6378137.0), number("inverse_flattening", 298.257223563),
            text("crs_wkt", kWgs84Wkt)};
}

Attributes land_mask_attributes() {
    return {text("long_name", "water, land and rangeland cells"),
            {"flag_values", std::vector<signed char>{0, 1, 2}},
            text("flag_meanings", "water land rangeland"),
            text("grid_mapping", kCrs)};
}

Attributes data_attributes(std::string_view long_name, std::string_view units, bool layered) {
    Attributes a = {text("long_name", std::string(long_name)), text("units", std::string(units)),
                    text("cell_methods", "time: mean"), text("grid_mapping", kCrs)};
    if (layered) a.push_back(text("coordinates", kLayerLabel));
    return a;
}

std::string field_long_name(const FieldDescription& field) {
    std::string name = field.long_name;
    if (!field.anomaly_years.empty()) name += ", anomaly from the " + field.anomaly_years + " climatology";
    if (!field.summary.empty()) {
        std::string words = field.summary;
        std::replace(words.begin(), words.end(), '-', ' ');
        name += ", " + (field.trend ? words + " per decade" : words);
    }
    if (field.compare == "difference") name += ", difference from the baseline";
    else if (!field.compare.empty()) name += ", " + field.compare + " of the baseline";
    return name;
}

Attributes field_data_attributes(const FieldDescription& field, bool layered) {
    const std::string units = field.compare == "ratio"     ? std::string("1")
                              : field.compare == "percent" ? std::string("%")
                              : field.trend                ? field.units + " per decade"
                                                           : field.units;
    Attributes a = data_attributes(field_long_name(field), units, layered);
    if (!field.cell_methods.empty())
        a[2] = text("cell_methods", field.climatology ? "time: mean within years time: mean over years"
                                                      : field.cell_methods);
    if (!field.baseline.empty()) a.push_back(text("baseline", field.baseline));
    return a;
}

Attributes global_attributes(const RunDescription& run) {
    const std::string years = files::integer_text(run.first_year) + " to " + files::integer_text(run.last_year);
    Attributes a = {text("Conventions", "CF-1.8"),
                    text("title", run.variable_label.empty() ? "Veldra model run, " + years
                                                             : "Veldra model run: " + run.variable_label + ", " + years)};
    if (!run.institution.empty()) a.push_back(text("institution", run.institution));
    std::string source = "Veldra model run in " + run.model_folder;
    if (!run.variable_file.empty()) source += ", variable file " + run.variable_file;
    a.push_back(text("source", std::move(source)));
    if (!run.history.empty()) a.push_back(text("history", run.history));
    a.push_back(text("comment", run.grid ? "Water and land without a rangeland cell hold the fill value -9999; "
                                           "land_mask tells them apart."
                                         : "Values of the rangeland cells in the order of the cell file; -9999 is "
                                           "the fill value."));
    return a;
}

}  // namespace veldra::cf
