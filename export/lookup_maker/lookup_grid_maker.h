// Makes the projection lookup grids that the export reads (lookup_grids.h)
// with PROJ, from the world definitions in PROJ's own database: EPSG:4326 for
// the geographic grid, ESRI:54030 (Robinson), ESRI:54012 (Eckert IV) and
// ESRI:54042 (Winkel Tripel).
//
// For a resolution suffix, the geographic grid covers the whole globe at the
// suffix's cell size and gives cell k (counted from the south-west corner,
// row by row from the south) the zone id k. A projection's grid covers the
// projection's whole outline with as many columns as the geographic grid, in
// square cells of whole metres centred on the origin; each cell holds the
// zone id of the geographic cell that contains its inverse-projected centre,
// or -9999 when the centre lies outside the outline, and its mask cell is 1
// inside the outline and 0 outside. A centre lies inside when PROJ's inverse
// gives a longitude and latitude on the globe that the forward projection
// takes back to the centre.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "export/grid_export.h"
#include "modelfiles/file_io.h"

struct PJconsts;
struct pj_ctx;

namespace veldra::lookup {

// PROJ cannot make or use a projection.
class ProjectionError : public files::Error {
public:
    using Error::Error;
};

// The definition in PROJ's database of projection 0 (geographic) to 3.
std::string_view projection_crs(int projection);

// The ESRI WKT of a projection, as written into .prj files.
std::string esri_wkt(int projection);

// Projection 1 to 3 between longitude and latitude in degrees and metres.
// One object serves one thread.
class WorldProjection {
public:
    explicit WorldProjection(int projection);
    ~WorldProjection();
    WorldProjection(const WorldProjection&) = delete;
    WorldProjection& operator=(const WorldProjection&) = delete;

    // In place, `count` points: longitude and latitude to x and y. A point
    // that cannot be projected becomes HUGE_VAL.
    void forward(double* x, double* y, std::size_t count) const;
    // In place: x and y to longitude and latitude, HUGE_VAL where it fails.
    void inverse(double* x, double* y, std::size_t count) const;

private:
    pj_ctx* context_ = nullptr;
    PJconsts* operation_ = nullptr;
};

// A grid's corner and cell size, in degrees or in metres.
struct GridGeometry {
    std::int64_t cols = 0;
    std::int64_t rows = 0;
    double west = 0;   // xllcorner
    double south = 0;  // yllcorner
    double cell = 0;
};

// The whole-globe grid of a lookup suffix of modelfiles/resolutions.h: "2p0"
// 180 x 90 cells of 2 degrees, "1p0" 360 x 180 of 1 degree, ... "0p083"
// 4320 x 2160 of 1/12 degree; nothing for another suffix.
std::optional<GridGeometry> geographic_geometry(std::string_view suffix);

// The largest |x| and |y| of the projected edges of the world: the meridians
// of -180 and 180 degrees and the two poles.
struct Outline {
    double half_width = 0;
    double half_height = 0;
};
Outline world_outline(const WorldProjection& projection);

// The projected grid over `outline` with `cols` columns.
GridGeometry projected_geometry(const Outline& outline, std::int64_t cols);

// The six header lines: keyword, blanks up to the 15th character, value.
std::array<std::string, 6> grid_header(const GridGeometry& g);

// The id and mask values of a projection's grid, rows from the south.
struct ProjectedLookup {
    std::vector<std::int32_t> ids;
    std::vector<std::uint8_t> mask;
};
ProjectedLookup projected_lookup(int projection, const GridGeometry& projected, const GridGeometry& geographic);

// Writes the geographic grids of `suffix` ("zone_ids_", "zone01_") and those
// of each projection 1 to 3 in `projections` into `folder`, which must exist,
// with the ESRI WKT in a .prj beside each id grid. Every file is written to a
// temporary file and renamed into place. Raises ProjectionError for an
// unknown suffix or a PROJ failure, FileWriteError when a file cannot be
// written.
void make_lookup_grids(const std::string& folder, std::string_view suffix, std::span<const int> projections,
                       files::FileAccess& files);

// The user's cache of lookup grids: $XDG_CACHE_HOME/veldra/Projection_Layers,
// else ~/.cache/veldra/Projection_Layers; empty when neither variable is set.
std::string lookup_cache_folder();

// Where the programs find their lookup grids: Projection_Layers in
// `program_folder`, then the cache folder, into which missing grids are made
// (the folder is created as needed).
out::LookupPlaces standard_lookup_places(const std::string& program_folder);

}  // namespace veldra::lookup
