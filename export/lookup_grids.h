// The projection lookup grids of the export: ESRI ASCII grids kept in
// Projection_Layers that say, for every place of a projected map, which cell
// of the model grid supplies its value and whether the place lies inside the
// projection's outline.
//
// Each projection has an id grid and a mask grid, named by a prefix, the
// resolution suffix of the model's cell size and ".asc". The geographic id
// grid ("zone_ids_") is also the reference grid: it gives every cell of the
// model grid its zone id, and a projection's id grid names cells by those ids.
// The data rows of a lookup grid run from the south edge northward (unlike an
// ordinary ESRI grid), each from west to east. Beside each id grid lies a .prj
// file of the same name with the projection's ESRI WKT.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <iterator>
#include <string_view>
#include <vector>

#include "modelfiles/file_io.h"

namespace veldra::out {

// A lookup grid that cannot be used; the message names the file and, where
// there is one, the line.
class LookupGridError : public files::ModelFileError {
public:
    using ModelFileError::ModelFileError;
};

// The projections of the export, numbered as the dialog's buttons and
// ExportSettings::projection count them.
enum class Projection { geographic = 0, robinson = 1, eckert4 = 2, winkel_tripel = 3 };

// Everything the tools know of one projection.
struct ProjectionInfo {
    Projection projection;
    std::string_view caption;      // as the dialog shows it: "Robinson"
    std::string_view option;       // veldra_export's --projection value: "robinson"
    std::string_view id_prefix;    // of its lookup grids: "robinson_ids_"
    std::string_view mask_prefix;  // "rob01_"
    std::string_view crs;          // its definition in PROJ's database: "ESRI:54030"
};
using ProjectionNames = ProjectionInfo;

// The one table of the projections, in the order of Projection.
inline constexpr ProjectionInfo kProjectionTable[] = {
    {Projection::geographic, "Geographic", "geographic", "zone_ids_", "zone01_", "EPSG:4326"},
    {Projection::robinson, "Robinson", "robinson", "robinson_ids_", "rob01_", "ESRI:54030"},
    {Projection::eckert4, "Eckert IV", "eckert4", "eckert4_ids_", "eck01_", "ESRI:54012"},
    {Projection::winkel_tripel, "Winkel Tripel", "winkel", "winkel_ids_", "wink01_", "ESRI:54042"},
};
inline constexpr int kProjectionCount = static_cast<int>(std::size(kProjectionTable));

// The row of projection 0 to 3 (std::out_of_range for any other number).
const ProjectionInfo& projection_names(int projection);
const ProjectionInfo& projection_info(Projection projection);

// The lookup suffix of the band (modelfiles/resolutions.h) that holds a cell
// size: "2p0", "1p0", "0p5", "0p25", "0p167", "0p1" or "0p083"; otherwise empty.
std::string_view resolution_suffix(float cellSize);

// "<folder>/<prefix><suffix>.asc" (no separator added when `folder` already
// ends in one).
std::string lookup_grid_path(std::string_view folder, std::string_view prefix, std::string_view suffix);
// The same path with ".prj" for ".asc".
std::string sidecar_path(std::string_view grid_path);

// The highest zone id a reference grid may hold.
inline constexpr std::int32_t kMaxZoneId = 10'000'000;
// An id of this or less in a projection's id grid names no cell.
inline constexpr std::int32_t kNoZone = -9900;

enum class LookupValues {
    zone_ids,       // zone ids, 0 to kMaxZoneId
    projected_ids,  // 32-bit whole numbers
    mask,           // 16-bit whole numbers; 1 marks inside
};

// Where a lookup grid lies, from its header lines 3 to 5: the south-west
// corner of its south-west place and the size of a place, in the unit of its
// reference system (degrees, metres).
struct LookupPlace {
    double west = 0;
    double south = 0;
    double cell = 0;
};

struct LookupGrid {
    // The six header lines as read, without their line ends.
    std::array<std::string, 6> header;
    std::int64_t cols = 0;  // from line 1: characters 10 to 59 hold the number
    std::int64_t rows = 0;  // from line 2
    LookupPlace place;      // from lines 3 to 5
    // cols x rows values, the southernmost row first, each from west to east.
    std::vector<std::int32_t> values;
};

// Reads a lookup grid from its text: six header lines, then cols x rows whole
// numbers separated by blanks, tabs, commas and line ends (the layout of the
// lines does not matter); anything after them is ignored. The header is the
// one check of every lookup grid the exports read: lines 1 and 2 the columns
// and rows, lines 3 to 5 "xllcorner" (or "xllcenter"), "yllcorner" (or
// "yllcenter") and "cellsize" (keys in any case), each with a finite number,
// the cell size above 0 and the far corner finite; line 6 "NODATA_value
// -9999", the value the exports write where there is none. Raises
// LookupGridError naming `file_name` and the line for a short header, a
// header line that is not so, a grid too large to hold, a value that is not a
// whole number or lies outside the range of `kind`, and a file that ends
// early. The size is checked against the length of the text before anything
// is allocated.
LookupGrid parse_lookup_grid(std::string_view text, const std::string& file_name, LookupValues kind);

// Reads the file `path` (a regular file only) as parse_lookup_grid does.
// Raises FileOpenError when it cannot be opened.
LookupGrid read_lookup_grid(const std::string& path, files::FileAccess& files, LookupValues kind);

// The line on which value `index` (from 0) of a lookup grid's text stands.
std::int64_t lookup_value_line(std::string_view text, std::int64_t index);

// The lookup grids of one export, checked against each other and against the
// model grid, in the form the export uses them.
struct OutputLookup {
    // The header lines of the projection's id grid, copied into every grid.
    std::array<std::string, 6> header;
    std::int64_t cols = 0;
    std::int64_t rows = 0;
    LookupPlace place;  // of the id grid, as its header gives it
    // For every place of the output grid, rows from the south, each from west
    // to east: the position on the model grid that supplies its value (row
    // from the north times the model's columns plus column, from 0), or one
    // of the two marks below.
    std::vector<std::int32_t> source;
    // The ESRI WKT of the projection, from the .prj beside the id grid.
    std::string prj;
};

inline constexpr std::int32_t kOutsideOutline = -1;  // written "-9999 "
inline constexpr std::int32_t kNoSource = -2;        // inside, but no cell named: written as -9999

// Where the lookup grids of one projection and suffix lie in `folder`.
struct LookupFiles {
    std::string zone_ids;  // the reference grid
    std::string ids;       // the projection's id grid (the reference grid for projection 0)
    std::string mask;
    std::string prj;       // beside `ids`
};
LookupFiles lookup_files(std::string_view folder, std::string_view suffix, int projection);

// The zone ids of the reference grid, by id.
struct ZoneGrid {
    std::array<std::string, 6> header;
    std::int64_t cols = 0;
    std::int64_t rows = 0;
    LookupPlace place;
    // For each id from 0 to the highest one in the grid: its position on the
    // model grid (row from the north times cols plus column), or -1 for an id
    // the grid does not hold. Where an id occurs twice, the later place stands.
    std::vector<std::int32_t> position_of_id;
};

// Reads the reference grid `path`, which must have the model grid's size
// (its values, rows from the south, give the zone id of each model cell).
// Raises LookupGridError or FileOpenError naming the file.
ZoneGrid load_zone_grid(const std::string& path, std::int64_t model_cols, std::int64_t model_rows, files::FileAccess& files);

// Reads the chosen projection's id grid, mask grid and .prj and checks them:
// the id and mask grids agree on their columns and on their rows, and every
// id above kNoZone occurs in `zones`. For projection 0 the output grid is the
// model grid itself, and the id grid is the reference grid already read.
// Raises LookupGridError or FileOpenError naming the file (and the line of an
// unknown id).
OutputLookup load_output_lookup(const LookupFiles& paths, int projection, const ZoneGrid& zones, files::FileAccess& files);

}  // namespace veldra::out
