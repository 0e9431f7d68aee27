// The export of one variable of a model run to one NetCDF-4 file that follows
// the CF-1.8 conventions: every month of a span of years and every layer (or
// one), on the model's geographic grid, chunked by month and layer and
// compressed. Plain C++ over plain data, as the grid export.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "export/cf/cf_layout.h"
#include "export/grid_export.h"
#include "modelfiles/file_io.h"

namespace veldra::out {

// What the output list says of the variable.
struct NetcdfVariable {
    std::string label;  // the variable's long_name: the name the output list gives it
    std::string units;
    // The label of layer k at index k - 1 ("Facet 2"); a layer without one is
    // called "layer k".
    std::vector<std::string> layer_labels;
};

// The edges of the model grid in degrees, from the cell file.
struct GridEdges {
    double west = -180;
    double south = -90;
    double east = 180;
    double north = 90;
};

inline constexpr int kDefaultDeflateLevel = 4;
inline constexpr int kMaxDeflateLevel = 9;
inline constexpr int kMaxExportThreads = 256;

struct NetcdfSettings {
    std::string folder;  // destination; blanks at both ends are dropped, a separator appended when missing
    std::string root;    // the file is <folder>/<root>.nc
    std::int32_t first_year = 0;
    std::int32_t last_year = 0;
    bool every_layer = true;                 // false: only the source's chosen layer
    int deflate_level = kDefaultDeflateLevel;  // 0 (no compression) .. kMaxDeflateLevel; shuffled when above 0
    int threads = 0;                         // threads compressing the values; 0: one per core
    std::string institution;                 // no attribute when empty
    std::string history;                     // what made the file (the command line); the time goes before it
    GridEdges edges;
    // Fields other than the months (a summary, a comparison, anomalies):
    // what they hold, and the months each covers, one span per field.
    // Without spans the fields are the months of the span.
    cf::FieldDescription fields;
    std::vector<cf::MonthSpan> spans;
};

struct NetcdfOutcome {
    std::int32_t months_written = 0;
    bool stopped = false;  // the progress callback asked to stop; no file was left
    bool failed = false;   // a failure stopped the export; its message was given and no file was left
    std::string path;      // the file, once it is in place
};

// "<folder>/<root>.nc", with the folder trimmed of blanks and given a
// separator when it has none.
std::string netcdf_path(std::string_view folder, std::string_view root);

// Writes the months first_year-01 to last_year-12 of the variable
// "<model_folder>/Output/<file_name>.vrd" into netcdf_path(folder, root):
//
//   dimensions  time (unlimited), layer (variables of several layers only),
//               lat (north first), lon, bnds;
//   time        days since <first_year>-01-01, standard calendar, mid-month,
//               with time_bnds from the first day of the month to the first
//               of the next;
//   lat, lon    cell centres, with lat_bnds and lon_bnds;
//   layer       the layer numbers, with their labels in the string variable
//               layer_label, named by the variable's coordinates attribute;
//   <variable>  float, named after the file name, chunks of one month of one
//               layer over the whole grid; -9999 (its _FillValue) wherever
//               no rangeland cell lies;
//   land_mask   byte: 0 water, 1 land, 2 rangeland;
//   crs         WGS 84 latitude and longitude.
//
// Each month is read (one read per layer) and placed in its chunks, which
// are shuffled and deflated on `threads` threads and stored as they are with
// HDF5 (the variable's own filters read them back), in order; a few chunks
// are in flight at a time, whatever the length of the run. The status texts
// are "Saving: <path> (<year>-<MM>)" before a month and "" after it.
//
// A block that lies outside the variable file, or whose cell count, year or
// month record differs from what is expected, stops the export with one
// message naming the file, the record and what was expected; so does a file
// that cannot be read or written. The file is written under a temporary name
// beside its final one and renamed into place when complete: on a stop or a
// failure only the temporary file is removed, and a file of the final name
// from before is left as it was.
NetcdfOutcome export_netcdf(const ExportSource& source, const NetcdfVariable& variable,
                            const NetcdfSettings& settings, files::FileAccess& files, const ExportProgress& progress);

// The same over the fields of `open(layer)` for each layer written, which
// hold the months first_year-01 to last_year-12 in order, or with
// settings.spans one field for each span (a summary: the time at the middle
// of each span, bounded by it; a climatology's bounds in climatology_bnds,
// named by time's climatology attribute); the variable's attributes say what
// settings.fields describes. The last layer's check_span() runs before the
// file is made. export_netcdf is this over
// monthly_fields with BadBlock::stop.
NetcdfOutcome export_netcdf_fields(const ExportSource& source, const NetcdfVariable& variable,
                                   const NetcdfSettings& settings, const OpenFields& open, files::FileAccess& files,
                                   const ExportProgress& progress);

}  // namespace veldra::out
