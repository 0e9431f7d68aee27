// The polygons of a vector file as regions: read with GDAL/OGR, and asked
// row by row of the model grid which cell centres they hold. Inside
// fields/ only; regions.h is the interface.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace veldra::fields::detail {

// One ring's corners in degrees, longitude and latitude; the last corner
// joins the first.
struct Ring {
    std::vector<double> lon;
    std::vector<double> lat;
};

// A polygon: its outer ring and its holes.
using Polygon = std::vector<Ring>;

// A region made of the polygons of every feature that bears its name.
struct PolygonRegion {
    std::string name;
    std::vector<Polygon> polygons;
};

// The features of the first layer of `path`, in its order, each named by the
// text of `name_field` (by its FID when empty; by its place from 0 when it
// has none); features of one name make one region, where the name first
// appears. Coordinates of a projected layer are brought to longitude and
// latitude. Raises RegionFileError naming the file (and the feature) for a
// file GDAL cannot open as a vector file, one without features, a feature
// without a polygon or without a name; RegionArgumentError when the layer
// has no field `name_field`.
std::vector<PolygonRegion> read_polygon_regions(const std::string& path, const std::string& name_field);

// Which polygons hold which centres of a grid's rows, whose centre
// latitudes are `row_lat` (row 0 the north one, descending). A centre is
// inside a polygon when a ray from it towards the east crosses the polygon's
// rings an odd number of times, an edge counting where it runs from one side
// of the centre's latitude to or across the other (min <= lat < max), so
// that a centre on the line between two polygons that share it falls in one
// of them.
class PolygonIndex {
public:
    PolygonIndex(const Polygon& polygon, const std::vector<double>& row_lat);
    // Whether the polygon holds the centre of longitude `lon` in row `row` (from 0).
    bool holds(std::int64_t row, double lon) const;

private:
    std::int64_t row_lo_ = 0;           // the first row any edge crosses
    std::vector<std::uint32_t> start_;  // crossings of row row_lo_ + k: xs_[start_[k] .. start_[k + 1])
    std::vector<double> xs_;            // the longitudes of the crossings, ascending within a row
};

}  // namespace veldra::fields::detail
