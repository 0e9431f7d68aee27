// Where the pixels of a map lie: the reference systems a map is asked in,
// the box of a request, the months of a request, and for each pixel the
// position of the model grid under it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fields/field_source.h"

namespace veldra::serve {

enum class Crs { epsg4326, crs84, epsg3857, robinson, eckert4, winkel_tripel };

struct CrsInfo {
    Crs crs;
    const char* name;      // as requests and the capabilities name it
    const char* proj_crs;  // PROJ's name of it
};
inline constexpr std::array<CrsInfo, 6> kCrsTable = {{
    {Crs::epsg4326, "EPSG:4326", "EPSG:4326"},
    {Crs::crs84, "CRS:84", "OGC:CRS84"},
    {Crs::epsg3857, "EPSG:3857", "EPSG:3857"},
    {Crs::robinson, "ESRI:54030", "ESRI:54030"},
    {Crs::eckert4, "ESRI:54012", "ESRI:54012"},
    {Crs::winkel_tripel, "ESRI:54042", "ESRI:54042"},
}};

// The CRS named (any case; "EPSG:900913" is Web Mercator too), or nothing.
std::optional<Crs> parse_crs(std::string_view name);
const CrsInfo& crs_info(Crs crs);

// A box in a CRS's easting and northing (longitude and latitude in degrees
// for the geographic ones), whatever the order of the request's axes.
struct Box {
    double min_x = 0, min_y = 0, max_x = 0, max_y = 0;
};

// "minx,miny,maxx,maxy" in the axis order of WMS 1.3.0: latitude first for
// EPSG:4326, longitude first for CRS:84 and the projected ones. Raises
// RequestError 400 for a malformed box or one of no area.
Box parse_bbox(std::string_view text, Crs crs);

// The tile of Web Mercator z/x/y as a box in EPSG:3857 metres; raises
// RequestError 400 outside zoom 0 to 22 or the zoom's tiles.
Box tile_box(int z, int x, int y);
inline constexpr double kMercatorHalf = 20037508.342789244;

// The address of a tile: /tiles/{variable}/{layer}/{YYYY-MM}/{z}/{x}/{y}.png.
struct TileAddress {
    std::string variable;
    int layer = 1;
    fields::Period month;
    int z = 0, x = 0, y = 0;
    Box box;  // in EPSG:3857 metres
};
// Raises RequestError 404 for a path of another form, 400 for a layer, zoom,
// column or row that is not a whole number (or no tile of its zoom) or a
// month that is not YYYY-MM.
TileAddress parse_tile_path(std::string_view path);

// Width and height of a request: whole numbers 1 to `most`, else RequestError.
int parse_size(std::string_view text, const char* name, int most);

// A month: "2000-03", or any ISO 8601 time in that month ("2000-03-16",
// "2000-03-01T00:00:00Z"). Nothing for anything else.
std::optional<fields::Period> parse_month(std::string_view text);
std::string month_text(const fields::Period& p);  // "2000-03"

// The model grid: its north-west corner, cell size and shape; position
// (col, row) is row * cols + col, row 0 the northernmost.
struct GridGeometry {
    double west = -180;
    double north = 90;
    double cell = 1;
    std::int32_t cols = 0;
    std::int32_t rows = 0;
};

// For each pixel of a width x height picture of `box` in `crs`, the grid
// position under the pixel's centre, or -1 outside the grid or the world.
// The world projections go through PROJ's inverse, row by row.
void pixel_positions(const Box& box, Crs crs, int width, int height, const GridGeometry& grid,
                     std::vector<std::int32_t>& out);

// The grid position under pixel (i, j) of such a picture, or -1.
std::int32_t pixel_position(const Box& box, Crs crs, int width, int height, int i, int j,
                            const GridGeometry& grid);

}  // namespace veldra::serve
