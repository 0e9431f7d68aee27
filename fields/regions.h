// Regions of the cell table: the cells of each zone or range type, of boxes
// of longitude and latitude, or of the polygons of a vector file, and the
// statistics of a field over each region. What a region holds is worked out
// once, from the cell table and the model grid; each period's field then
// takes one pass over the cells.
//
// A cell stands for its centre: west + (x - 0.5) * cell in longitude and
// north - (y - 0.5) * cell in latitude, where north = south + rows * cell of
// the model grid. Longitudes are taken into -180 <= lon < 180 before a box or
// polygon is asked.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "modelfiles/cell_file.h"
#include "modelfiles/file_io.h"
#include "modelfiles/resolutions.h"

namespace veldra::fields {

struct Field;

// A bad --regions argument: the caller reports it as a command-line fault
// (exit status 2). The message names the argument and what was expected.
class RegionArgumentError : public files::Error {
public:
    using Error::Error;
};

// A polygon file that cannot be used: missing, not a vector file GDAL reads,
// or a feature without a polygon. The caller reports it as a failed run
// (exit status 1). The message names the file and the feature.
class RegionFileError : public files::Error {
public:
    using files::Error::Error;
};

enum class RegionKind { zone, range_type, box, polygons };

// A box of longitude and latitude in degrees. It holds a centre with
// west <= lon < east and south <= lat < north; west > east crosses 180
// degrees (it holds lon >= west or lon < east).
struct Box {
    double west = 0;
    double south = 0;
    double east = 0;
    double north = 0;
    friend bool operator==(const Box&, const Box&) = default;
};

// One --regions argument:
//   "zone"             the cells of each zone
//   "range-type"       the cells of each range type
//   "box:W,S,E,N"      a box, degrees as plain decimal numbers
//   "FILE[:FIELD]"     the polygons of a vector file, named by FIELD. FIELD is
//                      the text after the last ':' when it holds no '/' or
//                      '\'; "FILE:" names a file whose own name holds a ':'
//                      without FIELD.
struct RegionArgument {
    RegionKind kind = RegionKind::zone;
    Box box;                 // kind box
    std::string file;        // kind polygons
    std::string name_field;  // kind polygons; empty: features named by their FID
    friend bool operator==(const RegionArgument&, const RegionArgument&) = default;
};

// Reads one argument. Raises RegionArgumentError for an empty argument, a
// box that is not four numbers, a longitude outside -180..180, a latitude
// outside -90..90, west equal to east, or south not below north.
RegionArgument parse_region_argument(std::string_view arg);

// What a run asks for: one kind, with every box in the order given.
struct RegionRequest {
    RegionKind kind = RegionKind::zone;
    std::vector<Box> boxes;  // kind box
    std::string file;        // kind polygons
    std::string name_field;
};

// Reads the arguments of every --regions option, in order. Boxes may be
// given many times; zone, range-type and a polygon file once. Raises
// RegionArgumentError for a bad argument, no argument, kinds mixed in one
// run, or one of the others given twice.
RegionRequest parse_regions(const std::vector<std::string>& args);

// The regions of a run and what each cell counts towards.
struct RegionSet {
    RegionKind kind = RegionKind::zone;
    // Region r's name: its zone or range-type number, "box1", "box2"... in
    // the order given, or the polygon's FIELD value (its FID without FIELD).
    std::vector<std::string> names;
    // The regions of cell i are members[first[i]] .. members[first[i + 1] - 1],
    // in ascending order; a cell may belong to none or (overlapping boxes or
    // polygons) several. first has one entry more than there are cells.
    std::vector<std::uint32_t> first;
    std::vector<std::uint32_t> members;
    // The cell's area on a sphere of radius 1 in square radians:
    // (sin(lat_north) - sin(lat_south)) of its row times its width in radians.
    std::vector<double> weights;

    std::size_t cell_count() const { return weights.size(); }
    std::size_t region_count() const { return names.size(); }
};

// The regions of `request` over the cells of the cell table on `grid`.
// Zones and range types are the numbers the cells hold, in ascending order.
// Polygons are read with GDAL (GeoJSON, shapefile, GeoPackage...): the
// features of the file's first layer, in its order, their coordinates read as
// longitude and latitude; features whose FIELD values are equal make one
// region. Raises RegionFileError for a file that cannot be used, and
// RegionArgumentError when the file has no field named FIELD.
RegionSet make_regions(const RegionRequest& request, const std::vector<files::RangeCell>& cells, const files::ModelGrid& grid);

// The statistics of one region in one field, over its valid cells
// (veldra::in_valid_range; NaN is not valid). With no valid cell, `cells` is
// 0 and the rest are NaN.
struct RegionStats {
    std::int64_t cells = 0;
    double mean = 0;
    double area_mean = 0;  // weighted by RegionSet::weights
    float min = 0;
    float max = 0;
    double sd = 0;  // population standard deviation: divided by `cells`, not by cells - 1
};

// The statistics of every region of `regions` (in its order) over `values`,
// one value per cell of the cell table; one pass over the cells. Raises
// veldra::Error when the field's count is not the regions' cell count.
std::vector<RegionStats> region_stats(const RegionSet& regions, const std::vector<float>& values);
std::vector<RegionStats> region_stats(const RegionSet& regions, const Field& field);

}  // namespace veldra::fields
