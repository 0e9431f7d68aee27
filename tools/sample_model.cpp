// The sample model: its land, climate, rangeland and values, written with the
// model files' writers of modelfiles.

#include "tools/sample_model.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "modelfiles/cell_file.h"
#include "modelfiles/file_io.h"
#include "modelfiles/model_writer.h"
#include "modelfiles/paths.h"

namespace veldra::sample {
namespace {

constexpr double kCellSize = 0.5;
constexpr int kYears = kLastYear - kFirstYear + 1;
constexpr double kPi = std::numbers::pi;
constexpr double kKmPerDegree = 111.2;

// Below this mean annual precipitation (cm) a cell is desert, not rangeland.
constexpr double kDesertPrecip = 20.0;
// A cell whose warmest month has a mean daily maximum below this (deg C) is
// too cold for rangeland.
constexpr double kColdestWarmMonthMax = 5.0;
// ---------------------------------------------------------------------------
// Geometry

double lon_of(int col) { return -180.0 + (col + 0.5) * kCellSize; }
double lat_of(int row) { return 90.0 - (row + 0.5) * kCellSize; }
std::size_t index_of(int col, int row) {
    return static_cast<std::size_t>(row) * kCols + static_cast<std::size_t>(col);
}

double clamp01(double x) { return std::clamp(x, 0.0, 1.0); }

double smoothstep(double edge0, double edge1, double x) {
    const double t = clamp01((x - edge0) / (edge1 - edge0));
    return t * t * (3.0 - 2.0 * t);
}

// A smooth bump of height 1 at (lat0, lon0), with the spreads in degrees.
// Longitudes are compared across the date line.
double bump(double lat, double lon, double lat0, double lon0, double lat_spread, double lon_spread) {
    double dlon = std::fabs(lon - lon0);
    if (dlon > 180.0) dlon = 360.0 - dlon;
    const double a = (lat - lat0) / lat_spread;
    const double b = dlon / lon_spread;
    return std::exp(-0.5 * (a * a + b * b));
}

struct Bump {
    double lat, lon, lat_spread, lon_spread, strength;
};

// ---------------------------------------------------------------------------
// Land and sea

// Distance in km from each land cell to the open sea. Lakes and inland seas
// are not sea: they do not soften the climate the way an ocean does, and the
// many small lakes of the north would otherwise make whole continents coastal.
std::vector<double> distance_to_sea(const LandMask& mask) {
    const std::size_t size = static_cast<std::size_t>(kCols) * kRows;
    std::vector<std::uint8_t> sea(size, 0);
    std::vector<std::pair<int, int>> stack;
    // The northernmost row is all Arctic Ocean.
    for (int col = 0; col < kCols; ++col) {
        if (!mask.land(col, 0)) {
            sea[index_of(col, 0)] = 1;
            stack.emplace_back(col, 0);
        }
    }
    while (!stack.empty()) {
        const auto [col, row] = stack.back();
        stack.pop_back();
        const std::array<std::pair<int, int>, 4> next{{{(col + 1) % kCols, row},
                                                       {(col + kCols - 1) % kCols, row},
                                                       {col, row - 1},
                                                       {col, row + 1}}};
        for (const auto& [c, r] : next) {
            if (r < 0 || r >= kRows || mask.land(c, r) || sea[index_of(c, r)]) continue;
            sea[index_of(c, r)] = 1;
            stack.emplace_back(c, r);
        }
    }

    // Two-pass chamfer distance; the east-west step shrinks with latitude.
    // The passes run twice so that distances carry across the date line.
    constexpr double kFar = 1e9;
    const double north_south = kCellSize * kKmPerDegree;
    std::vector<double> dist(size);
    for (std::size_t i = 0; i < size; ++i) dist[i] = sea[i] ? 0.0 : kFar;
    auto relax = [&](int col, int row, int dc, int dr) {
        const int r = row + dr;
        if (r < 0 || r >= kRows) return;
        const int c = (col + dc + kCols) % kCols;
        const double east_west = north_south * std::cos(lat_of(row) * kPi / 180.0);
        const double step = std::hypot(dc != 0 ? east_west : 0.0, dr != 0 ? north_south : 0.0);
        double& here = dist[index_of(col, row)];
        here = std::min(here, dist[index_of(c, r)] + step);
    };
    for (int round = 0; round < 2; ++round) {
        for (int row = 0; row < kRows; ++row) {
            for (int col = 0; col < kCols; ++col) {
                relax(col, row, -1, 0);
                relax(col, row, -1, -1);
                relax(col, row, 0, -1);
                relax(col, row, 1, -1);
            }
        }
        for (int row = kRows - 1; row >= 0; --row) {
            for (int col = kCols - 1; col >= 0; --col) {
                relax(col, row, 1, 0);
                relax(col, row, 1, 1);
                relax(col, row, 0, 1);
                relax(col, row, -1, 1);
            }
        }
    }
    return dist;
}

// ---------------------------------------------------------------------------
// Ice: Antarctica and Greenland are never rangeland.

bool in_antarctica(double lat) { return lat < -60.0; }

// Greenland's outline, (longitude, latitude), drawn so that Ellesmere Island
// to the west and Iceland to the south-east stay outside.
constexpr std::array<std::pair<double, double>, 32> kGreenland{{
    {-44.0, 59.0},  {-48.0, 60.5},  {-51.0, 62.5},  {-54.0, 65.5},  {-55.0, 68.0},  {-56.5, 72.0},
    {-58.0, 75.0},  {-60.0, 75.8},  {-71.0, 76.1},  {-74.0, 78.5},  {-71.0, 79.2},  {-65.5, 79.8},
    {-68.0, 80.3},  {-66.2, 81.0},  {-62.5, 81.9},  {-58.0, 82.5},  {-48.0, 83.2},  {-35.0, 84.0},
    {-20.0, 83.8},  {-10.0, 82.0},  {-10.0, 81.0},  {-17.0, 80.0},  {-19.5, 77.0},  {-19.0, 74.5},
    {-21.5, 72.0},  {-21.5, 70.0},  {-24.5, 69.0},  {-31.5, 68.3},  {-37.0, 66.2},  {-40.5, 64.5},
    {-42.0, 62.0},  {-42.0, 60.0},
}};

bool in_greenland(double lat, double lon) {
    bool inside = false;
    for (std::size_t i = 0, j = kGreenland.size() - 1; i < kGreenland.size(); j = i++) {
        const auto [xi, yi] = kGreenland[i];
        const auto [xj, yj] = kGreenland[j];
        if ((yi > lat) != (yj > lat) && lon < (xj - xi) * (lat - yi) / (yj - yi) + xi) inside = !inside;
    }
    return inside;
}

// ---------------------------------------------------------------------------
// Climate

// Summer-wet regions: monsoons and the rainy east coasts.
constexpr std::array<Bump, 16> kWet{{
    {22.0, 80.0, 6.0, 10.0, 110.0},    // Indian monsoon
    {19.0, 100.0, 7.0, 12.0, 130.0},   // Bay of Bengal to Indochina
    {27.0, 113.0, 6.0, 10.0, 100.0},   // southern China
    {36.0, 137.0, 4.0, 6.0, 100.0},    // Japan
    {33.0, -85.0, 6.0, 10.0, 90.0},    // south-eastern United States
    {14.0, -86.0, 6.0, 9.0, 80.0},     // Central America
    {-22.0, -47.0, 8.0, 10.0, 90.0},   // south-eastern Brazil
    {-28.0, 153.0, 6.0, 3.0, 80.0},    // eastern Australia
    {-3.0, 35.0, 7.0, 6.0, 25.0},      // East African highlands
    {53.0, -5.0, 7.0, 9.0, 40.0},      // western Europe
    {49.0, -124.0, 7.0, 3.0, 130.0},   // Pacific Northwest
    {-45.0, -74.0, 8.0, 2.0, 160.0},   // southern Chile
    {-42.0, 172.0, 5.0, 4.0, 90.0},    // New Zealand
    {6.0, -2.0, 4.0, 14.0, 50.0},      // Gulf of Guinea
    {-18.0, 47.0, 7.0, 3.0, 60.0},     // Madagascar
    {62.0, 8.0, 4.0, 5.0, 60.0},       // Norwegian coast
}};

// Deserts and dry basins: the share of precipitation each one takes away.
constexpr std::array<Bump, 16> kDry{{
    {24.0, 8.0, 6.0, 19.0, 0.97},      // Sahara
    {23.0, 47.0, 6.0, 9.0, 0.95},      // Arabia
    {29.0, 62.0, 4.5, 9.0, 0.85},      // Iran, Baluchistan, Thar
    {39.0, 83.0, 3.5, 7.0, 0.92},      // Taklamakan
    {43.0, 103.0, 4.0, 10.0, 0.85},    // Gobi
    {41.0, 60.0, 5.0, 8.0, 0.70},      // Karakum and Kyzylkum
    {-25.0, 131.0, 6.0, 11.0, 0.90},   // central Australia
    {-24.0, 18.0, 5.0, 5.0, 0.80},     // Kalahari
    {-23.0, 14.5, 5.0, 2.0, 0.90},     // Namib
    {-8.0, -79.5, 4.0, 1.2, 0.95},     // coast of Peru
    {-22.0, -70.3, 6.0, 1.5, 0.97},    // Atacama
    {-45.0, -68.0, 6.0, 4.0, 0.75},    // Patagonia
    {31.0, -113.0, 5.0, 7.0, 0.85},    // Sonora and Mojave
    {40.0, -117.0, 4.0, 5.0, 0.60},    // Great Basin
    {8.0, 47.0, 5.0, 5.0, 0.80},       // Horn of Africa
    {33.0, 88.0, 4.0, 8.0, 0.50},      // Tibetan plateau, in the rain shadow
}};

// Winter-wet (Mediterranean) regions: their rain comes in the cool season.
constexpr std::array<Bump, 5> kWinterWet{{
    {38.0, 18.0, 5.0, 16.0, 1.0},     // Mediterranean basin
    {37.0, -121.0, 4.0, 3.0, 1.0},    // California
    {-33.0, -71.0, 3.0, 2.0, 1.0},    // central Chile
    {-34.0, 19.0, 2.0, 3.0, 1.0},     // the Cape
    {-33.0, 117.0, 3.0, 4.0, 1.0},    // south-western Australia
}};

// Highlands, colder than their latitude: degrees taken off the annual mean.
constexpr std::array<Bump, 7> kHigh{{
    {33.0, 88.0, 4.0, 9.0, 18.0},      // Tibet
    {-17.0, -68.0, 4.0, 2.5, 12.0},    // Altiplano
    {40.0, -108.0, 6.0, 5.0, 6.0},     // Rocky Mountains
    {9.0, 39.0, 3.0, 3.0, 8.0},        // Ethiopian highlands
    {47.0, 10.0, 1.5, 3.0, 6.0},       // Alps
    {-1.0, 36.0, 5.0, 4.0, 8.0},       // East African plateau
    {47.0, 102.0, 4.0, 10.0, 8.0},     // Mongolian plateau
}};

double sum_of(const auto& bumps, double lat, double lon) {
    double total = 0.0;
    for (const Bump& b : bumps) total += b.strength * bump(lat, lon, b.lat, b.lon, b.lat_spread, b.lon_spread);
    return total;
}

// What stays fixed for a cell over the years.
struct CellClimate {
    double lat = 0, lon = 0;
    double continentality = 0;   // 0 at the coast, towards 1 far inland
    double annual_mean_temp = 0;   // deg C
    double seasonal_swing = 0;    // half the range of the monthly means, deg C
    double hemisphere = 0;       // +1 north, -1 south, smooth across the equator
    double diurnal_range = 0;     // deg C
    double annual_precip = 0;     // cm, before year-to-year variation
    std::array<double, 12> precip_share{};  // of the annual total, by month
};

CellClimate climate_of(double lat, double lon, double coast_km) {
    CellClimate c;
    c.lat = lat;
    c.lon = lon;
    const double abs_lat = std::fabs(lat);
    c.continentality = 1.0 - std::exp(-coast_km / 700.0);
    c.hemisphere = std::tanh(lat / 4.0);

    // Temperature: warm tropics, cold poles; inland winters are harsher.
    const double x = abs_lat / 62.0;
    c.annual_mean_temp = 28.0 - 28.0 * x * x - 7.0 * c.continentality * smoothstep(40.0, 65.0, abs_lat) -
                       sum_of(kHigh, lat, lon);
    c.seasonal_swing = 1.0 + std::pow(std::min(abs_lat / 60.0, 1.0), 1.2) * (6.0 + 16.0 * c.continentality);

    // Precipitation: the rain belt just north of the equator, the dry
    // subtropics, the stormy mid-latitudes and the dry polar regions.
    const double itcz = (lat - 4.0) / 9.0;
    const double mid_latitudes = (abs_lat - 50.0) / 15.0;
    double precip =
        22.0 + 180.0 * std::exp(-0.5 * itcz * itcz) + 60.0 * std::exp(-0.5 * mid_latitudes * mid_latitudes);
    precip *= 1.0 - 0.6 * smoothstep(60.0, 80.0, abs_lat);
    // Outside the tropics rain comes from the sea and dries out inland; in
    // the far north there is little left to lose.
    const double inland_drying = smoothstep(18.0, 30.0, abs_lat) * (1.0 - 0.5 * smoothstep(55.0, 70.0, abs_lat));
    precip *= 1.0 - 0.55 * c.continentality * inland_drying;
    precip += sum_of(kWet, lat, lon);
    for (const Bump& b : kDry) precip *= 1.0 - b.strength * bump(lat, lon, b.lat, b.lon, b.lat_spread, b.lon_spread);
    // A slow wave along the longitudes so that bands are not perfectly straight.
    precip *= 1.0 + 0.12 * std::sin(lon * kPi / 45.0 + lat * kPi / 60.0);
    c.annual_precip = precip;

    // Dry air and inland sites have wide day-night ranges.
    c.diurnal_range = 7.0 + 9.0 * clamp01(1.0 - precip / 150.0) + 3.0 * c.continentality;

    // Seasonality of rain: a strong summer peak in the monsoon belts and in
    // continental interiors, a winter peak around the Mediterranean.
    const double monsoon_belt = (abs_lat - 14.0) / 7.0;
    double peak = 2.2 * std::exp(-0.5 * monsoon_belt * monsoon_belt) + 0.5 * smoothstep(35.0, 60.0, abs_lat) +
                  1.2 * bump(lat, lon, 25.0, 100.0, 10.0, 25.0) +
                  1.0 * c.continentality * smoothstep(20.0, 35.0, abs_lat) - 2.5 * sum_of(kWinterWet, lat, lon);
    peak = std::clamp(peak, -2.5, 3.0);
    double total = 0.0;
    for (int m = 0; m < 12; ++m) {
        const double summer = c.hemisphere * std::cos(2.0 * kPi * (m + 1 - 7) / 12.0);
        c.precip_share[m] = std::exp(peak * summer);
        total += c.precip_share[m];
    }
    for (double& share : c.precip_share) share /= total;
    return c;
}

struct MonthWeather {
    double precip;  // cm
    double tmax;    // deg C, mean daily maximum
    double tmin;    // deg C, mean daily minimum
    double mean() const { return 0.5 * (tmax + tmin); }
};

// The weather of one month; any year may be asked for, so that the months
// before the first model year can warm the snow pack and the biomass up.
MonthWeather weather(const CellClimate& c, int year, int month) {
    const double lon_rad = c.lon * kPi / 180.0;
    const double lat_rad = c.lat * kPi / 180.0;
    const double years_in = year - kFirstYear;
    const double months_in = 12.0 * years_in + (month - 1);

    const double wet_year = 1.0 + 0.15 * std::sin(2.0 * kPi * years_in / 3.3 + 2.0 * lon_rad + lat_rad);
    const double wet_month = 1.0 + 0.08 * std::sin(2.0 * kPi * months_in / 7.3 + lon_rad - lat_rad);
    const double warm_year = 0.5 * std::sin(2.0 * kPi * years_in / 4.3 + lon_rad) + 0.03 * years_in;

    const double summer = c.hemisphere * std::cos(2.0 * kPi * (month - 7) / 12.0);
    const double mean_temp = c.annual_mean_temp + c.seasonal_swing * summer + warm_year;
    // Days and nights differ less in the dark high-latitude winter.
    const double range = c.diurnal_range * (0.85 + 0.15 * summer);

    MonthWeather w;
    w.precip = c.annual_precip * c.precip_share[month - 1] * wet_year * wet_month;
    w.tmax = mean_temp + 0.5 * range;
    w.tmin = mean_temp - 0.5 * range;
    return w;
}

// ---------------------------------------------------------------------------
// Snow: water falls as snow below freezing, melts with warmth.

class SnowPack {
public:
    explicit SnowPack(const CellClimate& c) : climate_(&c) {
        // Two years ahead of the model start, so that January 2000 does not
        // begin bare where winters are long.
        for (int year = kFirstYear - 2; year < kFirstYear; ++year)
            for (int month = 1; month <= 12; ++month) step(year, month);
    }

    // Advances by one month and returns the depth at its end, in cm.
    double step(int year, int month) {
        const MonthWeather w = weather(*climate_, year, month);
        const double snow_share = clamp01((2.0 - w.mean()) / 3.0);
        water_ += snow_share * w.precip;
        water_ -= std::min(water_, 5.0 * std::max(0.0, w.mean()));
        // Snow that never melts would be a glacier; those cells are not rangeland.
        water_ = std::min(water_, 60.0);
        return water_ * kDepthPerWater;
    }

private:
    static constexpr double kDepthPerWater = 3.5;  // settled snow
    const CellClimate* climate_;
    double water_ = 0.0;  // cm of water
};

// ---------------------------------------------------------------------------
// Rangeland cells

enum RangeType : int {
    kTundra = 1,
    kCoolWoodland = 2,
    kGrassland = 3,
    kShrubland = 4,
    kSavanna = 5,
    kTropicalWoodland = 6,
};

}  // namespace

struct RangelandCell {
    int col = 0, row = 0;  // from 0
    int zone = 0;
    int rangeType = 0;
    CellClimate climate;
};

namespace {

// A region code: 1 North and Central America, 2 South America, 3 Europe,
// 4 Africa, 5 northern and central Asia, 6 southern Asia, 7 Australia and
// Oceania, 8 the Middle East, 9 anything else.
int zone_of(double lat, double lon) {
    if (lon < -30.0) {
        if (lon < -140.0 && lat < 30.0) return 7;  // Hawaii and the Pacific
        return (lat > 13.0 || (lat > 7.0 && lon < -77.0)) ? 1 : 2;
    }
    if ((lon > 112.0 && lat < -10.0) || (lon > 130.0 && lat < 0.0) || (lon > 165.0 && lat < 30.0)) return 7;
    const bool arabian_side = (lon > 34.0 && lat > 12.5) || (lon > 32.3 && lat > 29.5);
    if (lat < 37.5 && lon > -20.0 && lon < 52.0 && !arabian_side) return 4;
    if (lon > 52.0 && lon < 60.0 && lat < -10.0) return 4;  // Mascarene islands
    if (lon > 25.0 && lon < 63.0 && lat > 12.0 && lat < 42.0) return 8;
    if (lon < 45.0 && lat > 34.0) return 3;
    if (lon < 60.0 && lat > 50.0) return 3;
    if (lon > 60.0 && lat < 30.0) return 6;
    if (lon > 40.0) return 5;
    return 9;
}

struct ClimateSummary {
    double mean_annual_precip = 0;  // cm, over the model years
    double warmest_max = -1e9;     // deg C, the mean over the model years
    double warmest_mean = -1e9;
    double annual_mean_temp = 0;
};

ClimateSummary summarise(const CellClimate& c) {
    ClimateSummary s;
    double warmest_max = 0, warmest_mean = 0, temp_sum = 0, precip_sum = 0;
    for (int year = kFirstYear; year <= kLastYear; ++year) {
        double year_max = -1e9, year_mean = -1e9;
        for (int month = 1; month <= 12; ++month) {
            const MonthWeather w = weather(c, year, month);
            precip_sum += w.precip;
            temp_sum += w.mean();
            year_max = std::max(year_max, w.tmax);
            year_mean = std::max(year_mean, w.mean());
        }
        warmest_max += year_max;
        warmest_mean += year_mean;
    }
    s.mean_annual_precip = precip_sum / kYears;
    s.warmest_max = warmest_max / kYears;
    s.warmest_mean = warmest_mean / kYears;
    s.annual_mean_temp = temp_sum / (12.0 * kYears);
    return s;
}

int range_type_of(const ClimateSummary& s) {
    if (s.warmest_mean < 10.0) return kTundra;
    if (s.annual_mean_temp < 2.0) return kCoolWoodland;
    if (s.annual_mean_temp < 17.0) {
        if (s.mean_annual_precip < 35.0) return kShrubland;
        return s.mean_annual_precip < 80.0 ? kGrassland : kCoolWoodland;
    }
    if (s.mean_annual_precip < 60.0) return kShrubland;
    return s.mean_annual_precip < 130.0 ? kSavanna : kTropicalWoodland;
}

struct Selection {
    std::vector<RangelandCell> cells;
    Census census;
};

Selection select_rangeland(const LandMask& mask) {
    const std::vector<double> coast_km = distance_to_sea(mask);
    Selection sel;
    for (int row = 0; row < kRows; ++row) {
        for (int col = 0; col < kCols; ++col) {
            if (!mask.land(col, row)) continue;
            ++sel.census.land;
            const double lat = lat_of(row), lon = lon_of(col);
            if (in_antarctica(lat)) {
                ++sel.census.antarctica;
                continue;
            }
            if (in_greenland(lat, lon)) {
                ++sel.census.greenland;
                continue;
            }
            RangelandCell cell;
            cell.col = col;
            cell.row = row;
            cell.climate = climate_of(lat, lon, coast_km[index_of(col, row)]);
            const ClimateSummary s = summarise(cell.climate);
            if (s.warmest_max < kColdestWarmMonthMax) {
                ++sel.census.cold;
                continue;
            }
            if (s.mean_annual_precip < kDesertPrecip) {
                ++sel.census.desert;
                continue;
            }
            cell.zone = zone_of(lat, lon);
            cell.rangeType = range_type_of(s);
            sel.cells.push_back(cell);
        }
    }
    sel.census.rangeland = static_cast<int>(sel.cells.size());
    return sel;
}

// ---------------------------------------------------------------------------
// Live biomass, g/m^2 by facet

struct FacetMix {
    double max_biomass;  // g/m^2 under the best conditions
    std::array<double, 3> share;  // herbs, shrubs, trees
};

const FacetMix& facet_mix(int rangeType) {
    static const std::array<FacetMix, 6> mixes{{
        {150.0, {0.55, 0.40, 0.05}},  // tundra
        {450.0, {0.35, 0.25, 0.40}},  // cool woodland
        {350.0, {0.70, 0.20, 0.10}},  // grassland
        {200.0, {0.30, 0.55, 0.15}},  // shrubland
        {450.0, {0.55, 0.15, 0.30}},  // savanna
        {700.0, {0.35, 0.20, 0.45}},  // tropical woodland
    }};
    return mixes[std::clamp(rangeType, 1, 6) - 1];
}

// Growing conditions of a month, 0..1: warmth, recent rain and no snow cover.
double growth(const CellClimate& c, int year, int month, double snow_depth) {
    auto month_before = [&](int back) {
        int y = year, m = month - back;
        while (m < 1) {
            m += 12;
            --y;
        }
        return weather(c, y, m);
    };
    const MonthWeather now = month_before(0);
    const double recent_rain =
        0.5 * now.precip + 0.3 * month_before(1).precip + 0.2 * month_before(2).precip;
    const double warmth = smoothstep(0.0, 18.0, now.mean()) * (1.0 - 0.5 * smoothstep(32.0, 42.0, now.mean()));
    const double moisture = recent_rain / (recent_rain + 4.0);
    return warmth * moisture / (1.0 + snow_depth / 10.0);
}

// How much of each facet stays green all year: grass follows the season,
// woody plants keep most of their leaves.
constexpr std::array<double, 3> kEvergreen{0.0, 0.5, 0.7};

}  // namespace

LandMask parse_land_mask(std::string_view text, const std::string& path) {
    LandMask mask;
    while (static_cast<int>(mask.rows.size()) < kRows && !text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        std::string_view line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        const int line_number = static_cast<int>(mask.rows.size()) + 1;
        if (line.size() != static_cast<std::size_t>(kCols) || line.find_first_not_of("TF") != std::string_view::npos) {
            throw files::Error("the land mask " + path + " is malformed at line " + std::to_string(line_number) +
                        ": expected " + std::to_string(kCols) + " characters T or F");
        }
        mask.rows.emplace_back(line);
    }
    if (static_cast<int>(mask.rows.size()) < kRows) {
        throw files::Error("the land mask " + path + " has " + std::to_string(mask.rows.size()) + " lines, expected " +
                    std::to_string(kRows));
    }
    return mask;
}

SampleModel::SampleModel(LandMask mask) : mask_(std::move(mask)) {
    Selection sel = select_rangeland(mask_);
    cells_ = std::move(sel.cells);
    census_ = sel.census;
}

SampleModel::~SampleModel() = default;

namespace {

std::string output_list() {
    std::string text = "Veldra output variables (1 = written each month, 0 = not written)\r\n";
    for (const auto& [flag, name, layers, label, units] : std::initializer_list<std::array<std::string_view, 5>>{
             {"On", "File name", "L", "Label", "Units"},
             {"1", "Precip", "1", "Layer", "cm"},
             {"1", "max_temp", "1", "Layer", "deg C"},
             {"1", "min_temp", "1", "Layer", "deg C"},
             {"0", "Potential_Evapotranspiration", "1", "Layer", "cm"},
             {"1", "Live_Biomass", "3", "Facet", "g/m^2"},
             {"0", "Dead_Biomass", "3", "Facet", "g/m^2"},
             {"1", "Snow_Depth", "1", "Layer", "cm"},
             {"0", "Soil_Water", "4", "Layer", "cm"},
         }) {
        text += files::output_list_line(flag, name, layers, label, units) + "\r\n";
    }
    return text;
}

}  // namespace

void SampleModel::write(const std::string& folder) const {
    files::create_model_folders(folder);
    const std::string root = files::with_trailing_separator(folder);
    files::replace_file(root + "Parms/Output_List.vrl", output_list());

    const std::size_t n = cells_.size();
    const files::GridInfo grid{.cellCount = static_cast<std::int32_t>(n), .xDimension = kCols, .yDimension = kRows,
                        .lowerX = -180, .lowerY = -90, .upperX = 180, .upperY = 90,
                        .cellSize = static_cast<float>(kCellSize), .firstYear = kFirstYear, .lastYear = kLastYear};
    std::vector<files::RangeCell> cells(n);
    for (std::size_t i = 0; i < n; ++i) {
        const RangelandCell& c = cells_[i];
        cells[i] = files::RangeCell{static_cast<std::int32_t>(i + 1), c.zone, c.col + 1, c.row + 1, c.rangeType};
    }
    files::replace_file(root + "Output/Rng_Data.vrd", cell_file_text(grid, cells));
    files::replace_file(root + "Output/Globe.vrd", files::globe_file_text(mask_.rows));

    auto variable = [&](std::string_view name, int layers, const files::BlockFill& fill) {
        files::write_variable_file(files::variable_path(folder, name), {grid.cellCount, kFirstYear, kLastYear, layers}, fill);
    };
    variable("Precip", 1, [&](int year, int month, int, std::span<float> v) {
        for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<float>(weather(cells_[i].climate, year, month).precip);
    });
    variable("max_temp", 1, [&](int year, int month, int, std::span<float> v) {
        for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<float>(weather(cells_[i].climate, year, month).tmax);
    });
    variable("min_temp", 1, [&](int year, int month, int, std::span<float> v) {
        for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<float>(weather(cells_[i].climate, year, month).tmin);
    });

    auto new_snow_packs = [&] {
        std::vector<SnowPack> packs;
        packs.reserve(n);
        for (const RangelandCell& c : cells_) packs.emplace_back(c.climate);
        return packs;
    };

    {
        std::vector<SnowPack> snow = new_snow_packs();
        variable("Snow_Depth", 1, [&](int year, int month, int, std::span<float> v) {
            for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<float>(snow[i].step(year, month));
        });
    }

    {
        // The biomass needs the snow cover and the growing conditions of the
        // month; both are worked out once, with the first facet.
        std::vector<SnowPack> snow = new_snow_packs();
        std::vector<double> grow_now(n), grow_year(n);
        variable("Live_Biomass", 3, [&](int year, int month, int layer, std::span<float> v) {
            if (layer == 1) {
                for (std::size_t i = 0; i < n; ++i) {
                    const CellClimate& c = cells_[i].climate;
                    grow_now[i] = growth(c, year, month, snow[i].step(year, month));
                    if (month == 1) {
                        // The evergreen part follows the conditions of the whole year.
                        double sum = 0.0;
                        for (int m = 1; m <= 12; ++m) sum += growth(c, year, m, 0.0);
                        grow_year[i] = sum / 12.0;
                    }
                }
            }
            const double evergreen = kEvergreen[layer - 1];
            for (std::size_t i = 0; i < n; ++i) {
                const FacetMix& mix = facet_mix(cells_[i].rangeType);
                const double condition = evergreen * grow_year[i] + (1.0 - evergreen) * grow_now[i];
                v[i] = static_cast<float>(mix.max_biomass * mix.share[layer - 1] * condition);
            }
        });
    }
}

}  // namespace veldra::sample
