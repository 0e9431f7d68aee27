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

#include "export/grid_export.h"
#include "export/lookup_grids.h"

namespace veldra::viewer {

// A failure that stops the export; its text is the one message shown.
struct StopExport : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The folder holding the lookup grids of `suffix` and `projection`, made into
// the cache folder when no folder holds them. `status` is told before they
// are made; nothing when it asks to stop. Raises StopExport.
std::optional<LookupFiles> find_lookup_grids(std::string_view suffix, int projection, float cell_size,
                                             const LookupPlaces& places, FileAccess& files,
                                             const std::function<bool(const std::string&)>& status);

// The same files, each path in the form it is opened by.
LookupFiles opened_form(LookupFiles f);

// The check of a block's three leading records; the message of the first
// that fails, or nothing.
std::optional<std::string> block_check(const std::vector<float>& block, std::int64_t n, std::int32_t year,
                                       std::int32_t month);

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
