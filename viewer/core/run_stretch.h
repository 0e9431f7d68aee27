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
#include <utility>
#include <vector>

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
    bool percentiles = false;     // also the 2nd and 98th percentiles, in a second pass
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
    // The 2nd and 98th percentiles of the run, when asked for and any value was read.
    std::optional<std::pair<double, double>> percentiles;
};

// Counts of the valid values in equal bins from `lo` to `hi`, for the
// percentiles of a run too large to sort: each is found within one bin's
// width, (hi - lo) / bins.
class ValueHistogram {
public:
    static constexpr int kBins = 4096;
    ValueHistogram(double lo, double hi, int bins = kBins);
    void add_values(std::span<const float> values);
    // The p-th percentile (0..100) at rank (n - 1) p / 100, as
    // percentile() of map_options.h ranks it; nothing without values.
    std::optional<double> percentile(double p) const;

private:
    double lo_;
    double hi_;
    std::vector<std::int64_t> counts_;
    std::int64_t total_ = 0;
};

// Reads every month's block of the request's layer, checks its count, year
// and month records as a drawing does, and merges the valid values of the
// blocks that pass. `progress` (when given) is called after each month with
// the months done. Stops early, marked cancelled, once `cancel` is set. A
// file that cannot be opened skips every month. With `percentiles` asked
// for, a second pass counts the values in a ValueHistogram between the
// run's smallest and largest value (`progress` then runs to twice the months).
RunStretchResult compute_run_stretch(const RunStretchRequest& request, const std::atomic<bool>& cancel,
                                     const std::function<void(std::int64_t done)>& progress = {},
                                     files::FileAccess& files = files::system_files());

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
