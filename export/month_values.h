// The steps the exports of monthly grids share, whatever file each month
// goes to: finding the lookup grids, the order of the output grid's places
// in a block, and the check of a block's leading records. The ESRI ASCII
// grids of grid_export.h and the GeoTIFF files of gtiff_export.h take the
// same values from the same places.
#pragma once

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
#include "modelfiles/variable_file.h"

namespace veldra::viewer {

// The folder holding the lookup grids of `suffix` and `projection`, made into
// the cache folder when no folder holds them. `status` is told before they
// are made; nothing when it asks to stop. Raises StopExport.
std::optional<LookupFiles> find_lookup_grids(std::string_view suffix, int projection, float cell_size,
                                             const LookupPlaces& places, FileAccess& files,
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

// The same files, each path in the form it is opened by.
LookupFiles opened_form(LookupFiles f);

// Reads the month's block of `address` through the checked block reader into
// `block`, extended by the two records of write_order (N + 3 holds -255, N + 4
// holds -9999). Raises StopExport naming `variable_path` when the block lies
// before the start or past the end of the file; returns the message of a
// leading record that does not match (the month is not written), or nothing.
std::optional<std::string> read_month_block(const VariableFile& variable, const std::string& variable_path,
                                            const BlockAddress& address, std::vector<float>& block);

// Where each written value comes from, in the order the values are written
// (the northern row first): an index into the block as read, extended by
// two records (n + 3 holds -255, land without a cell; n + 4 holds -9999,
// water), or kOutsideOutline.
struct WriteOrder {
    std::vector<std::int32_t> slot;
    std::int64_t cols = 0;
    std::int64_t rows = 0;
};

WriteOrder write_order(const OutputLookup& lookup, const ExportSource& source, std::int64_t n);

}  // namespace veldra::viewer
