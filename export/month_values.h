// The steps the exports of grids through the lookup grids share, whatever
// file each field goes to: finding the lookup grids, the output grid and the
// order of its places among a field's values (with the marks of land and
// water), the month abandoned for a bad block, and the one guard of the
// failures that stop an export. The ESRI ASCII grids of grid_export.h and
// the GeoTIFF files of gtiff_export.h take the same values from the same
// places; the fields come from a source of fields/.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "export/export_error.h"
#include "export/grid_export.h"
#include "export/lookup_grids.h"
#include "fields/field_source.h"
#include "modelfiles/resolutions.h"

namespace veldra::out {

// The folder holding the lookup grids of `suffix` and `projection`, made into
// the cache folder when no folder holds them. `status` is told before they
// are made; nothing when it asks to stop. Raises StopExport.
std::optional<LookupFiles> find_lookup_grids(std::string_view suffix, int projection, float cell_size,
                                             const LookupPlaces& places, files::FileAccess& files,
                                             const std::function<bool(const std::string&)>& status);

// An export's two ways of telling how it goes, over `progress`: status() is
// false, and `outcome` stopped, when the callback asks to stop; message() is
// false when the callback asks to stop after the message.
struct ExportNotes {
    std::function<bool(const std::string&)> status;
    std::function<bool(const std::string&)> message;
};
ExportNotes export_notes(const ExportProgress& progress, ExportOutcome& outcome);

// The checks of a source and a projection before either export starts: the
// layer, the projection, the land and water mask and the cell count. Raises
// StopExport with the "Nothing was exported: ..." message of the first that fails.
void check_month_source(const ExportSource& source, int projection);

// The grid that holds the source's cells (modelfiles/resolutions.h): the
// whole globe of a listed resolution has the columns and rows of its lookup
// grids.
files::ModelGrid source_grid(const ExportSource& source);

// The source's cell file, "<model_folder>/Output/Rng_Data.vrd", which gives
// the model grid's edges.
std::string cell_file_path(const ExportSource& source);

// Raises StopExport, naming the cell file and what is expected, when the
// model grid is a regional window: `what` ("ASCII grids", "projected
// GeoTIFFs") expect the whole globe.
void require_whole_globe(const ExportSource& source, const files::ModelGrid& grid, std::string_view what);

// The same files, each path in the form it is opened by.
LookupFiles opened_form(LookupFiles f);

// The values of a field of `n` cells followed by the two marks of
// write_order: n holds -255 (land without a cell), n + 1 holds -9999
// (water). A field of fewer values is filled up with NaN.
const std::vector<float>& with_marks(fields::Field& field, std::int64_t n);

// Where each written value comes from, in the order the values are written
// (the northern row first): an index into a field's values with_marks, or
// kOutsideOutline.
struct WriteOrder {
    std::vector<std::int32_t> slot;
    std::int64_t cols = 0;
    std::int64_t rows = 0;
};

// What each position of the model grid holds, rows from the north, each from
// the west: the index of its cell in the cell table (where two cells share
// a position, the later one), else n for land or n + 1 for water as the
// globe mask says (water beyond the mask).
std::vector<std::int32_t> model_slots(const ExportSource& source, const files::ModelGrid& grid, std::int64_t n);

// The order of an output grid through the lookup grids, whose sources are
// positions of the model grid of `slots`; a place inside the outline that
// names no cell takes water's slot, n + 1.
WriteOrder write_order(const OutputLookup& lookup, const std::vector<std::int32_t>& slots, std::int64_t n);

// The order of the model grid itself, rows from the north.
WriteOrder model_order(const files::ModelGrid& grid, std::vector<std::int32_t> slots);

// The lookup grids of a whole-globe source in `projection`, found (made when
// missing, see find_lookup_grids), read and checked, and the order they give.
struct LookedUp {
    WriteOrder order;
    std::array<std::string, 6> header;  // the id grid's header lines
    LookupPlace place;                  // the id grid's corner and cell size
    std::string prj;
    std::string ids;                    // the id grid's path, as found
};
// The "Reading in ..." texts go to `status`; nothing when it asks to stop.
// Raises StopExport, LookupGridError or FileOpenError.
std::optional<LookedUp> look_up(const ExportSource& source, const files::ModelGrid& grid, int projection,
                                const LookupPlaces& places, files::FileAccess& files,
                                const std::function<bool(const std::string&)>& status);

// The output grid of a monthly export and where it lies: through the lookup
// grids of `projection` for a whole globe (see look_up), or the model grid
// itself for a regional window, placed by the cell file (no header, no
// .prj; `ids` names the cell file), for a source that passed
// check_month_source. A regional window raises require_whole_globe's StopExport with
// `window_refused` unless that is empty. Nothing when `status` asks to stop.
std::optional<LookedUp> plan_output(const ExportSource& source, int projection, std::string_view window_refused,
                                    const LookupPlaces& places, files::FileAccess& files,
                                    const std::function<bool(const std::string&)>& status);

// A month whose block failed the check of its leading records: counted as
// abandoned and its `note` given; false, with the outcome stopped, when the
// callback asks to stop after it.
bool abandon_month(ExportOutcome& outcome, const ExportNotes& notes, const std::string& note);

// Runs `body`, turning a failure that stops an export (any veldra::Error:
// StopExport, a model file's error; too little memory) into the failed
// outcome and its one message.
void run_guarded(ExportOutcome& outcome, const ExportNotes& notes, const std::function<void()>& body);

}  // namespace veldra::out
