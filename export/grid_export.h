// The export of one variable and layer to ESRI ASCII grids, one per month of
// a span of years, on the model's geographic grid or in a world projection
// through the lookup grids of lookup_grids.h. Plain C++ over plain data: the
// export dialog and the command line both run it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "fields/field_source.h"
#include "modelfiles/cell_file.h"
#include "modelfiles/file_io.h"
#include "modelfiles/globe_file.h"
#include "modelfiles/resolutions.h"

namespace veldra::out {

// What the export takes from the model the viewer holds.
struct ExportSource {
    std::string model_folder;  // holds Output/; a separator is appended when missing
    std::string file_name;     // FileName of the chosen variable (blanks at both ends are dropped)
    std::int32_t layer_count = 0;  // LayerCount of the variable
    std::int32_t layer = 0;        // the chosen layer, from 1
    std::int64_t cell_count = 0;   // cellCount of the cell file: N values per block
    std::int32_t first_year = 0;   // firstYear of the cell file
    float cell_size = 0;           // cellSize of the cell file: picks the resolution and its lookup grids
    // The rangeland cells in cell-file order (x from 1 at the west edge, y
    // from 1 at the north edge), and land and water for every position of
    // the model grid, whose size is the mask's.
    const std::vector<files::RangeCell>& cells;
    const files::GlobeMask& land;
    // The edges of the cell file (the whole globe unless set). A regional
    // window, any other edges, goes to the geographic GeoTIFF export only.
    files::ModelEdges edges{};
};

// What the export dialog (or the command line) sets.
struct ExportSettings {
    std::string folder;  // destination; blanks at both ends are dropped, a separator appended when missing
    std::string root;    // used as it stands
    std::int32_t first_year = 0;
    std::int32_t last_year = 0;
    std::int32_t decimals = 3;  // 0 .. kMaxGridDecimals
    int projection = 0;         // 0 Geographic, 1 Robinson, 2 Eckert IV, 3 Winkel Tripel
};

// Makes the lookup grids of a resolution suffix for one projection (with the
// geographic pair they rely on) in a folder; raises std::runtime_error (or
// one of file_io.h's errors) when it cannot.
using LookupMaker = std::function<void(const std::string& folder, std::string_view suffix, int projection)>;

// Where the lookup grids are looked for, in order: each of `folders`, then
// `cache_folder`. When none holds the grids of the model's suffix and
// projection and `make` is set, they are made into `cache_folder` (not for
// the empty suffix of an unlisted cell size).
struct LookupPlaces {
    std::vector<std::string> folders;
    std::string cache_folder;
    LookupMaker make;
};

enum class ExportNote {
    status,   // progress text for the status line; "" empties it
    message,  // a message for the user, naming what is wrong
};

// Told of every status text and message. Returns false to stop the export:
// no further month is started (the month being written is finished first).
using ExportProgress = std::function<bool(ExportNote note, const std::string& text)>;

struct ExportOutcome {
    std::int32_t months_written = 0;
    std::int32_t months_abandoned = 0;  // a block that failed its check; its message was given
    bool stopped = false;               // the progress callback asked to stop
    bool failed = false;                // a failure stopped the export; its message was given
    std::vector<std::string> grids;     // the grid files written, in order
};

// Opens the fields of a layer (from 1) of the exported variable; an export
// calls it once it is ready to read, after its checks and lookup grids.
using OpenFields = std::function<std::unique_ptr<fields::FieldSource>(std::int32_t layer)>;

// The months first_year-01 to last_year-12 of the source's variable as
// they stand in its file (fields/monthly_source.h), with `policy` for a bad block.
OpenFields monthly_fields(const ExportSource& source, std::int32_t first_year, std::int32_t last_year,
                          fields::BadBlock policy, files::FileAccess& files);
// The same for the span of a format's settings.
template <class Settings>
OpenFields monthly_fields(const ExportSource& source, const Settings& span, fields::BadBlock policy,
                          files::FileAccess& files) {
    return monthly_fields(source, span.first_year, span.last_year, policy, files);
}

// The part of a file's name after "<root>_" for the field of a period
// (export/derived_fields.h: "2000", "03", "2000-2009"); when not set, a
// month's "<year>_<month as 2 digits>".
using PeriodFilePart = std::function<std::string(const fields::Period&)>;

// "<folder>/<root>_<part><extension>" of the field of `period`: through
// `part`, else the month's.
std::string field_file_path(std::string_view folder, std::string_view root, const fields::Period& period,
                            const PeriodFilePart& part, std::string_view extension);

// Writes "<folder>/<root>_<year>_<month as 2 digits>.asc" for every month of
// every year from first_year to last_year, with a .prj beside each, from the
// block of the chosen layer in "<model_folder>/Output/<file_name>.vrd".
//
// The status texts are "Reading in geographic information ...", "Reading in
// projection information ...", then for each month "Saving: " and the grid's
// path, and "" once the month is written; and, when the lookup grids are
// made first, "Making the lookup grids ..." with the folder.
//
// A month whose block holds the wrong cell count, year or month gives the
// message of that check, leaves no grid of its name (an older grid of that
// name is removed), and the export goes on. Everything else that goes wrong
// (missing or inconsistent lookup grids, a variable file that cannot be read
// or ends before a block, a grid that cannot be written) gives one message
// naming the file and what is wrong, and the export stops; grids finished
// before remain. Every grid is written to a temporary file and renamed into
// place.
ExportOutcome export_grids(const ExportSource& source, const ExportSettings& settings, const LookupPlaces& lookup,
                           files::FileAccess& files, const ExportProgress& progress);

// The same for the fields of `open(source.layer)`, a grid (and .prj) for
// each, named by its period's year and month: export_grids is this over
// monthly_fields with BadBlock::skip. A field the source skips is a month
// abandoned, with the source's note as its message.
// A grid for each field, named through `part` (field_file_path).
ExportOutcome export_grid_fields(const ExportSource& source, const ExportSettings& settings,
                                 const LookupPlaces& lookup, const OpenFields& open, files::FileAccess& files,
                                 const ExportProgress& progress, const PeriodFilePart& part = {});

// The path of a month's grid: "<folder>/<root>_<year>_<MM>.asc", with the
// folder trimmed of blanks and given a separator when it has none.
std::string month_grid_path(std::string_view folder, std::string_view root, std::int32_t year, std::int32_t month);

}  // namespace veldra::out
