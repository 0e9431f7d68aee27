// The export of one variable and layer to Cloud-Optimized GeoTIFF files, for
// GIS programs: the values of the grid export (the same lookup grids, the
// same places, the same -9999 and -255) in single precision, with the
// coordinate reference system inside the file. Plain C++ over plain data;
// the files are made with GDAL.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "export/grid_export.h"
#include "modelfiles/file_io.h"

namespace veldra::out {

struct GtiffSettings {
    std::string folder;  // destination; blanks at both ends are dropped, a separator appended when missing
    std::string root;    // used as it stands
    std::int32_t first_year = 0;
    std::int32_t last_year = 0;
    int projection = 0;  // 0 Geographic, 1 Robinson, 2 Eckert IV, 3 Winkel Tripel
    bool bands = false;  // one file per year, a band per month, instead of a file per month
};

// The authority code of a projection's coordinate reference system:
// "EPSG:4326", "ESRI:54030", "ESRI:54012", "ESRI:54042".
std::string_view projection_crs(int projection);

// "<folder>/<root>_<year>_<MM>.tif", or for month 0 "<folder>/<root>_<year>.tif".
std::string gtiff_path(std::string_view folder, std::string_view root, std::int32_t year, std::int32_t month);

// Writes gtiff_path(folder, root, year, month) for every month of every year
// from first_year to last_year, or with `bands` gtiff_path(folder, root,
// year, 0) for every year with the months as bands 1 to 12, each band's
// description "<year>-<MM>". Every file is a Cloud-Optimized GeoTIFF:
// float32, 256 x 256 tiles, DEFLATE with the floating-point predictor,
// overviews (nearest neighbour, so that every value of an overview is one of
// the grid's) down to one tile, NoData -9999, the projection's reference
// system and the lookup grid's corner and cell size.
//
// The status texts, the messages and the outcome are those of export_grids:
// "Saving: " and the path before a file, "" after it. A month whose block
// fails its check gives the message of that check and leaves no file of its
// name (with `bands`, no file of its year), and the export goes on; any
// other failure stops it with one message. Each file is made in memory and
// written through a ReplacingFile.
ExportOutcome export_gtiffs(const ExportSource& source, const GtiffSettings& settings, const LookupPlaces& places,
                            files::FileAccess& files, const ExportProgress& progress);

// The same for the fields of `open(source.layer)`: a file for each field,
// named by its period's year and month and its band described by the
// field's label; with `bands`, a file for each run of fields of one year,
// each field in the band of its month. export_gtiffs is this
// over monthly_fields with BadBlock::skip.
// A file for each field, named through `part` (field_file_path), unless bands.
ExportOutcome export_gtiff_fields(const ExportSource& source, const GtiffSettings& settings,
                                  const LookupPlaces& places, const OpenFields& open, files::FileAccess& files,
                                  const ExportProgress& progress, const PeriodFilePart& part = {});

}  // namespace veldra::out
