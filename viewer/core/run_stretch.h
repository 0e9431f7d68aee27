// The stretch over a whole run: the count, mean and standard deviation of
// the valid values of every month of one variable and layer, so that every
// month can be coloured on the same scale. Runs off the window thread; it
// can be cancelled and reports its progress month by month.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "viewer/core/colour_ramps.h"
#include "modelfiles/file_io.h"

namespace veldra::viewer {

struct RunStretchRequest {
    std::string path;            // the variable file, as stored (named in messages)
    std::int32_t layers = 1;     // L of the file
    std::int32_t layer = 1;      // the layer, 1-based
    std::int32_t first_year = 0;
    std::int32_t last_year = 0;
    std::int64_t cell_count = 0;  // N
    std::int64_t months() const {
        return last_year < first_year ? 0 : (std::int64_t{last_year} - first_year + 1) * 12;
    }
};

struct RunStretchResult {
    StretchStats stats;
    std::int64_t months_used = 0;     // months whose block passed its checks
    std::int64_t months_skipped = 0;  // months whose block was missing or did not match
    std::optional<std::string> first_problem;  // why the first skipped month was skipped
    bool cancelled = false;
};

// Reads every month's block of the request's layer, checks its count, year
// and month records as a drawing does, and merges the valid values of the
// blocks that pass. `progress` (when given) is called after each month with
// the months done. Stops early, marked cancelled, once `cancel` is set. A
// file that cannot be opened skips every month.
RunStretchResult compute_run_stretch(const RunStretchRequest& request, const std::atomic<bool>& cancel,
                                     const std::function<void(std::int64_t done)>& progress = {},
                                     FileAccess& files = system_files());

// The shared state's view of the stretch over the run.
struct RunScale {
    bool wanted = false;   // "Same colours for every month" is checked
    int entry = 0;         // the variable and layer it is (being) computed for
    int layer = 0;
    bool computing = false;
    std::optional<RunStretchResult> result;  // for entry and layer, once computed
    // The stretch to colour with for a drawing of entry `e`, layer `l`.
    const StretchStats* stats_for(int e, int l) const {
        return wanted && !computing && result && !result->cancelled && result->months_used > 0 && e == entry &&
                       l == layer
                   ? &result->stats
                   : nullptr;
    }
};

}  // namespace veldra::viewer
