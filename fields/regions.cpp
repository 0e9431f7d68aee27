#include "fields/regions.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <numbers>

#include "fields/field_source.h"
#include "fields/region_polygons.h"
#include "modelfiles/number_text.h"
#include "modelfiles/valid_values.h"

namespace veldra::fields {
namespace {

using files::integer_text;

constexpr std::string_view kBoxPrefix = "box:";

[[noreturn]] void refuse(std::string_view arg, const std::string& expected) {
    throw RegionArgumentError{"--regions " + std::string(arg) + ": " + expected};
}

// A plain decimal number filling the whole of `text`, finite.
bool read_degrees(std::string_view text, double& value) {
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return !text.empty() && ec == std::errc{} && ptr == end && std::isfinite(value);
}

Box parse_box(std::string_view arg) {
    std::string_view rest = arg.substr(kBoxPrefix.size());
    double v[4] = {};
    static constexpr const char* kNames[4] = {"W", "S", "E", "N"};
    for (int k = 0; k < 4; ++k) {
        const std::size_t comma = k < 3 ? rest.find(',') : std::string_view::npos;
        if (k < 3 && comma == std::string_view::npos)
            refuse(arg, "expected four numbers W,S,E,N in degrees, found " + files::integer_text(k + 1));
        if (k == 3 && rest.find(',') != std::string_view::npos)
            refuse(arg, "expected four numbers W,S,E,N in degrees, found more");
        if (!read_degrees(rest.substr(0, comma), v[k]))
            refuse(arg, std::string("expected a plain decimal number for ") + kNames[k] + ", found \"" +
                            std::string(rest.substr(0, comma)) + "\"");
        rest = comma == std::string_view::npos ? std::string_view{} : rest.substr(comma + 1);
    }
    const Box box{v[0], v[1], v[2], v[3]};
    if (std::abs(box.west) > 180 || std::abs(box.east) > 180)
        refuse(arg, "expected the longitudes W and E within -180 to 180");
    if (std::abs(box.south) > 90 || std::abs(box.north) > 90)
        refuse(arg, "expected the latitudes S and N within -90 to 90");
    if (box.west == box.east) refuse(arg, "expected W and E to differ (W above E crosses 180 degrees)");
    if (!(box.south < box.north)) refuse(arg, "expected S below N");
    return box;
}

std::string_view kind_name(RegionKind kind) {
    switch (kind) {
    case RegionKind::zone: return "zone";
    case RegionKind::range_type: return "range-type";
    case RegionKind::box: return "boxes";
    case RegionKind::polygons: return "a polygon file";
    }
    return "";
}

// Longitude taken into -180 <= lon < 180.
double wrapped(double lon) { return lon - 360 * std::floor((lon + 180) / 360); }

bool box_holds(const Box& b, double lon, double lat) {
    if (!(lat >= b.south && lat < b.north)) return false;
    return b.west < b.east ? lon >= b.west && lon < b.east : lon >= b.west || lon < b.east;
}

// The centre latitude of row `row` (from 0 at the north edge): the one
// formula, so that boxes and polygons see the same centres.
double centre_lat(std::int64_t row, const files::ModelGrid& grid) {
    const double north = grid.south + static_cast<double>(grid.rows) * grid.cell;
    return north - (static_cast<double>(row) + 0.5) * grid.cell;
}

// The centre latitudes of the grid's rows, row 0 the north one.
std::vector<double> row_latitudes(const files::ModelGrid& grid) {
    std::vector<double> lat(static_cast<std::size_t>(std::max<std::int64_t>(grid.rows, 0)));
    for (std::size_t r = 0; r < lat.size(); ++r) lat[r] = centre_lat(static_cast<std::int64_t>(r), grid);
    return lat;
}

double centre_lon(const files::RangeCell& c, const files::ModelGrid& grid) {
    return wrapped(grid.west + (c.x - 0.5) * grid.cell);
}

// Ends the list of a cell's regions.
void end_cell(RegionSet& set) {
    if (set.members.size() > std::numeric_limits<std::uint32_t>::max())
        throw RegionArgumentError{"--regions: more than " + files::integer_text(std::numeric_limits<std::uint32_t>::max()) +
                                  " cells of regions in all; expected fewer or smaller overlapping regions"};
    set.first.push_back(static_cast<std::uint32_t>(set.members.size()));
}

std::vector<double> area_weights(const std::vector<files::RangeCell>& cells, const files::ModelGrid& grid) {
    constexpr double rad = std::numbers::pi / 180;
    const double north = grid.south + static_cast<double>(grid.rows) * grid.cell;
    std::vector<double> w;
    w.reserve(cells.size());
    for (const files::RangeCell& c : cells) {
        const double top = std::clamp(north - (c.y - 1) * grid.cell, -90.0, 90.0);
        const double bottom = std::clamp(top - grid.cell, -90.0, 90.0);
        w.push_back((std::sin(top * rad) - std::sin(bottom * rad)) * grid.cell * rad);
    }
    return w;
}

// Zones or range types: one region for each number the cells hold.
void number_regions(RegionSet& set, const std::vector<files::RangeCell>& cells) {
    const auto number = [&](const files::RangeCell& c) { return set.kind == RegionKind::zone ? c.zone : c.rangeType; };
    std::vector<std::int32_t> numbers;
    for (const files::RangeCell& c : cells) numbers.push_back(number(c));
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    for (std::int32_t n : numbers) set.names.push_back(files::integer_text(n));
    for (const files::RangeCell& c : cells) {
        const auto at = std::lower_bound(numbers.begin(), numbers.end(), number(c));
        set.members.push_back(static_cast<std::uint32_t>(at - numbers.begin()));
        end_cell(set);
    }
}

void box_regions(RegionSet& set, const std::vector<Box>& boxes, const std::vector<files::RangeCell>& cells,
                 const files::ModelGrid& grid) {
    for (std::size_t b = 0; b < boxes.size(); ++b)
        set.names.push_back("box" + files::integer_text(static_cast<std::int64_t>(b) + 1));
    for (const files::RangeCell& c : cells) {
        const double lon = centre_lon(c, grid);
        const double lat = centre_lat(c.y - 1, grid);
        for (std::size_t b = 0; b < boxes.size(); ++b)
            if (box_holds(boxes[b], lon, lat)) set.members.push_back(static_cast<std::uint32_t>(b));
        end_cell(set);
    }
}

void polygon_regions(RegionSet& set, const RegionRequest& request, const std::vector<files::RangeCell>& cells,
                     const files::ModelGrid& grid) {
    const std::vector<detail::PolygonRegion> regions = detail::read_polygon_regions(request.file, request.name_field);
    const std::vector<double> row_lat = row_latitudes(grid);
    std::vector<std::vector<detail::PolygonIndex>> index(regions.size());
    for (std::size_t r = 0; r < regions.size(); ++r) {
        set.names.push_back(regions[r].name);
        for (const detail::Polygon& p : regions[r].polygons) index[r].emplace_back(p, row_lat);
    }
    for (const files::RangeCell& c : cells) {
        const double lon = centre_lon(c, grid);
        for (std::size_t r = 0; r < regions.size(); ++r)
            if (std::any_of(index[r].begin(), index[r].end(),
                            [&](const detail::PolygonIndex& p) { return p.holds(c.y - 1, lon); }))
                set.members.push_back(static_cast<std::uint32_t>(r));
        end_cell(set);
    }
}

// Running sums of one region's valid values, each taken less the region's
// first value, so that the sum of squares keeps its digits when the spread is
// small against the values (and a mean of equal values is that value).
struct Sums {
    std::int64_t n = 0;
    float shift = 0;
    double d = 0, dd = 0, w = 0, wd = 0;
    float min = 0, max = 0;
};

}  // namespace

RegionArgument parse_region_argument(std::string_view arg) {
    if (arg.empty()) refuse(arg, "expected zone, range-type, box:W,S,E,N or FILE[:FIELD]; found nothing");
    if (arg == "zone") return {RegionKind::zone, {}, {}, {}};
    if (arg == "range-type") return {RegionKind::range_type, {}, {}, {}};
    if (arg.starts_with(kBoxPrefix)) return {RegionKind::box, parse_box(arg), {}, {}};
    RegionArgument choice{RegionKind::polygons, {}, std::string(arg), {}};
    const std::size_t colon = arg.rfind(':');
    if (colon != std::string_view::npos && arg.find_first_of("/\\", colon) == std::string_view::npos) {
        choice.file = std::string(arg.substr(0, colon));
        choice.name_field = std::string(arg.substr(colon + 1));
    }
    if (choice.file.empty()) refuse(arg, "expected a file name before \":" + choice.name_field + "\"");
    return choice;
}

RegionRequest parse_regions(const std::vector<std::string>& args) {
    if (args.empty()) throw RegionArgumentError{"--regions: expected zone, range-type, box:W,S,E,N or FILE[:FIELD]"};
    RegionRequest request;
    for (std::size_t k = 0; k < args.size(); ++k) {
        const RegionArgument choice = parse_region_argument(args[k]);
        if (k > 0 && choice.kind != request.kind)
            refuse(args[k], std::string("expected ") + std::string(kind_name(request.kind)) + " as before; kinds of "
                            "regions are not mixed in one run");
        if (k > 0 && choice.kind != RegionKind::box)
            refuse(args[k], "expected once: only boxes may be given many times");
        request.kind = choice.kind;
        if (choice.kind == RegionKind::box) request.boxes.push_back(choice.box);
        request.file = choice.file;
        request.name_field = choice.name_field;
    }
    return request;
}

RegionSet make_regions(const RegionRequest& request, const std::vector<files::RangeCell>& cells, const files::ModelGrid& grid) {
    RegionSet set;
    set.kind = request.kind;
    set.first.reserve(cells.size() + 1);
    set.first.push_back(0);
    set.members.reserve(cells.size());
    switch (request.kind) {
    case RegionKind::zone:
    case RegionKind::range_type: number_regions(set, cells); break;
    case RegionKind::box: box_regions(set, request.boxes, cells, grid); break;
    case RegionKind::polygons: polygon_regions(set, request, cells, grid); break;
    }
    set.weights = area_weights(cells, grid);
    return set;
}

std::vector<RegionStats> region_stats(const RegionSet& regions, const std::vector<float>& values) {
    if (values.size() != regions.cell_count())
        throw files::Error{"a field of " + files::integer_text(static_cast<std::int64_t>(values.size())) +
                    " values for regions over " + files::integer_text(static_cast<std::int64_t>(regions.cell_count())) +
                    " cells"};
    std::vector<Sums> sums(regions.region_count());
    const std::uint32_t* first = regions.first.data();
    const std::uint32_t* members = regions.members.data();
    for (std::size_t i = 0; i < values.size(); ++i) {
        const float v = values[i];
        if (!files::in_valid_range(v)) continue;
        const double w = regions.weights[i];
        for (std::uint32_t k = first[i]; k < first[i + 1]; ++k) {
            Sums& s = sums[members[k]];
            if (s.n++ == 0) s.shift = s.min = s.max = v;
            const double d = static_cast<double>(v) - s.shift;
            s.d += d;
            s.dd += d * d;
            s.w += w;
            s.wd += w * d;
            s.min = std::min(s.min, v);
            s.max = std::max(s.max, v);
        }
    }
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    constexpr float nan_f = std::numeric_limits<float>::quiet_NaN();
    std::vector<RegionStats> stats(sums.size());
    for (std::size_t r = 0; r < sums.size(); ++r) {
        const Sums& s = sums[r];
        if (s.n == 0) {
            stats[r] = {0, nan, nan, nan_f, nan_f, nan};
            continue;
        }
        const double n = static_cast<double>(s.n), mean_d = s.d / n;
        const double variance = std::max(0.0, s.dd / n - mean_d * mean_d);
        stats[r] = {s.n, s.shift + mean_d, s.w > 0 ? s.shift + s.wd / s.w : nan, s.min, s.max, std::sqrt(variance)};
    }
    return stats;
}

std::vector<RegionStats> region_stats(const RegionSet& regions, const Field& field) {
    return region_stats(regions, field.values);
}

}  // namespace veldra::fields
