// The CF-1.8 layout of a run of our variables: the names of the variables
// and dimensions, the latitude and longitude axes, the mid-month times, the
// reference system and every attribute. The NetCDF export writes it, and the
// Python package builds its datasets from it, so that a run opened either way
// has the same names, coordinates and attributes. Plain functions over plain
// data; no file is read or written here.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace veldra::cf {

// Names of the dimensions and of the variables beside the data.
inline constexpr const char* kTime = "time";
inline constexpr const char* kTimeBounds = "time_bnds";
inline constexpr const char* kLat = "lat";
inline constexpr const char* kLatBounds = "lat_bnds";
inline constexpr const char* kLon = "lon";
inline constexpr const char* kLonBounds = "lon_bnds";
inline constexpr const char* kBounds = "bnds";
inline constexpr const char* kLayer = "layer";
inline constexpr const char* kLayerLabel = "layer_label";
inline constexpr const char* kLandMask = "land_mask";
// The bounds of the time of a climatology, named by the climatology
// attribute of time instead of bounds.
inline constexpr const char* kClimatologyBounds = "climatology_bnds";
inline constexpr const char* kCrs = "crs";
inline constexpr const char* kNames[] = {kTime,   kTimeBounds, kLat,        kLatBounds, kLon,
                                         kLonBounds, kBounds, kLayer, kLayerLabel, kLandMask,
                                         kClimatologyBounds, kCrs};

// Wherever no rangeland cell lies, or a value lies outside the valid range.
inline constexpr float kFillValue = -9999.0f;
// What the integer variable crs holds: nothing is written to it, so it holds
// NetCDF's fill value of an int.
inline constexpr std::int32_t kCrsValue = -2147483647;

// The name of the variable of `file_name`: byte by byte, letters, digits and
// "_.@+-" kept and any other byte made "_"; "v_" in front of a name that
// does not start with a letter or "_"; "_value" after a name of kNames.
std::string variable_name(std::string_view file_name);

// The label of layer `layer` of a variable whose layers the output list
// calls `word` ("Facet 2").
std::string layer_label(std::string_view word, std::int32_t layer);

// An attribute's value: text, a number (double), or bytes (flag values).
using AttributeValue = std::variant<std::string, double, std::vector<signed char>>;
struct Attribute {
    std::string name;
    AttributeValue value;
    bool operator==(const Attribute&) const = default;
};
// In the order they are written.
using Attributes = std::vector<Attribute>;

// The cell centres and edges along one axis of `count` cells from `low` to
// `high` degrees; `north_first` for latitudes from the north.
struct Axis {
    std::vector<double> centres;
    std::vector<double> bounds;  // two per cell, in the order of the centres
};
Axis axis(double low, double high, std::int64_t count, double cell_size, bool north_first);

// The middle of every month from first_year-01 to last_year-12 in days since
// January 1 of first_year (the standard calendar: Julian before 15 October
// 1582, Gregorian from then), and its bounds, the first day of the month and
// the first of the next.
struct TimeAxis {
    std::vector<double> middles;
    std::vector<double> bounds;  // two per month
};
TimeAxis time_axis(std::int32_t first_year, std::int32_t last_year);

// The months first_month-01 of first_year to the end of last_month of
// last_year that a field of a summary covers.
struct MonthSpan {
    std::int32_t first_year = 0;
    std::int32_t first_month = 1;
    std::int32_t last_year = 0;
    std::int32_t last_month = 12;
};
// The time of each span in days since January 1 of `reference_year` and its
// bounds, the first day of its first month and the first after its last
// month. The time is the middle of the bounds; of a climatology's calendar
// month (`climatology`) it is the middle of that month in the first year.
TimeAxis span_axis(std::int32_t reference_year, const std::vector<MonthSpan>& spans, bool climatology);

Attributes time_attributes(std::int32_t first_year);
// The time of a climatology: its bounds are named by the attribute
// climatology (kClimatologyBounds), as CF writes climatological time.
Attributes climatology_time_attributes(std::int32_t first_year);
// `bounded`: the axis has its bounds variable (the grid; not the cells of the
// compact form).
Attributes latitude_attributes(bool bounded);
Attributes longitude_attributes(bool bounded);
Attributes layer_attributes();
Attributes layer_label_attributes();
Attributes crs_attributes();
Attributes land_mask_attributes();
// The variable's own; `layered` names layer_label as its coordinate.
Attributes data_attributes(std::string_view long_name, std::string_view units, bool layered);

// What the values of a summary, a comparison or anomalies are.
struct FieldDescription {
    std::string long_name;     // the variable's
    std::string units;         // the variable's
    std::string summary;       // "annual-mean", ...; empty for months
    std::string cell_methods;  // the summary's ("time: mean"); empty for months
    bool climatology = false;  // a climatology: its cell_methods within and over years
    bool trend = false;        // a trend: the units per decade
    std::string compare;       // "difference", "ratio", "percent" against a baseline; empty without
    std::string anomaly_years; // "2000-2009" of anomalies; empty without
    std::string baseline;      // the baseline's folder, as shown; no attribute when empty
};
// The text of its long_name: "Precipitation, annual mean, difference from
// the baseline", "Precipitation, anomaly from the 2000-2009 climatology,
// trend per decade".
std::string field_long_name(const FieldDescription& field);
// The variable's attributes: those of data_attributes with the long_name,
// units and cell_methods of the description, then baseline.
Attributes field_data_attributes(const FieldDescription& field, bool layered);

// What the global attributes say of the run.
struct RunDescription {
    std::string variable_label;  // the variable's long_name; empty for the variables of a whole run
    std::string model_folder;    // as it is to be shown
    std::string variable_file;   // as it is to be shown; empty for the variables of a whole run
    std::int32_t first_year = 0;
    std::int32_t last_year = 0;
    std::string institution;  // no attribute when empty
    std::string history;      // no attribute when empty
    bool grid = true;         // false: the cells of the compact form, in the order of the cell file
};
Attributes global_attributes(const RunDescription& run);

}  // namespace veldra::cf
