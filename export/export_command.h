// veldra_export: the viewer's export from the command line, for scripts and
// servers. The same export as the dialog's "Go", writing the same files; or,
// with --format netcdf, a whole run of a variable in one NetCDF file.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "export/format_table.h"
#include "export/grid_export.h"

namespace veldra::out {

std::string export_usage_text();

// Runs veldra_export on its arguments (without the program name). Progress
// lines and failures go to `err`, the usage and version to `out`. `lookup`
// says where the lookup grids are found as the viewer finds them; --lookup
// puts its folder first. --format chooses from `formats` (the first is the
// default). Returns 0 when every month was written, 1 when a month was
// abandoned or the export stopped, 2 for a bad command line.
int run_veldra_export(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                      LookupPlaces lookup, files::FileAccess& files = files::system_files(),
                      const FormatTable& formats = standard_formats());

}  // namespace veldra::out
