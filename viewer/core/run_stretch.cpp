#include "viewer/core/run_stretch.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "modelfiles/paths.h"
#include "modelfiles/variable_file.h"

namespace veldra::viewer {

RunStretchResult compute_run_stretch(const RunStretchRequest& request, const std::atomic<bool>& cancel,
                                     const std::function<void(std::int64_t)>& progress, files::FileAccess& files) {
    RunStretchResult result;
    RunningStats stats;
    auto skip = [&](const std::string& why) {
        ++result.months_skipped;
        if (!result.first_problem) result.first_problem = why;
    };

    std::optional<files::VariableFile> file;
    try {
        file = files::VariableFile::open(files::path_to_open(request.path), files);
    } catch (const files::ModelFileError& e) {
        result.months_skipped = request.months();
        result.first_problem = e.what();
        return result;
    }

    std::vector<float> records;
    std::int64_t done = 0;
    // Reads every month's block, hands the values of those that pass to
    // `use`, and counts the others on the first pass; false when cancelled.
    auto pass = [&](bool first, const std::function<void(std::span<const float>)>& use) {
        for (std::int32_t year = request.first_year; year <= request.last_year; ++year) {
            for (std::int32_t month = 1; month <= 12; ++month) {
                if (cancel.load(std::memory_order_relaxed)) return false;
                const std::string when = " (year " + std::to_string(year) + ", month " + std::to_string(month) + ")";
                try {
                    const files::BlockAddress address{year, month, request.layer, request.first_year, request.layers,
                                               request.cell_count};
                    const files::CheckedBlock block = read_checked_block(*file, address, records);
                    if (block.fault == files::BlockFault::before_start || !block.records.complete()) {
                        if (first) skip(request.path + ": the file holds no complete block" + when);
                    } else if (!block.ok()) {
                        if (first)
                            skip(request.path + ": the block's count, year or month record does not match" + when);
                    } else {
                        use(std::span<const float>(records).subspan(3));
                        if (first) ++result.months_used;
                    }
                } catch (const files::ModelFileError& e) {
                    if (first) skip(e.what());
                }
                ++done;
                if (progress) progress(done);
            }
        }
        return true;
    };
    if (!pass(true, [&](std::span<const float> values) { stats.add_values(values); })) {
        result.cancelled = true;
        result.stats = stats.stretch();
        return result;
    }
    result.stats = stats.stretch();
    if (request.percentiles && stats.count > 0) {
        ValueHistogram histogram(result.stats.min, result.stats.max);
        if (!pass(false, [&](std::span<const float> values) { histogram.add_values(values); })) {
            result.cancelled = true;
            return result;
        }
        result.percentiles = std::pair{*histogram.percentile(2), *histogram.percentile(98)};
    }
    return result;
}

ValueHistogram::ValueHistogram(double lo, double hi, int bins)
    : lo_(lo), hi_(hi), counts_(static_cast<std::size_t>(std::max(bins, 1)), 0) {}

void ValueHistogram::add_values(std::span<const float> values) {
    const double bins = static_cast<double>(counts_.size());
    const double width = hi_ - lo_;
    for (const float v : values) {
        if (!files::in_valid_range(v)) continue;
        const double at = width > 0 ? std::floor((v - lo_) / width * bins) : 0;
        counts_[static_cast<std::size_t>(std::clamp(at, 0.0, bins - 1))] += 1;
        ++total_;
    }
}

std::optional<double> ValueHistogram::percentile(double p) const {
    if (total_ == 0) return std::nullopt;
    // The value of rank r (from 0) lies in the bin where the counts pass r;
    // within it, the bin's values are taken as evenly spread.
    const double rank = (static_cast<double>(total_) - 1) * std::clamp(p, 0.0, 100.0) / 100;
    const double width = (hi_ - lo_) / static_cast<double>(counts_.size());
    double before = 0;
    for (std::size_t i = 0; i < counts_.size(); ++i) {
        const double n = static_cast<double>(counts_[i]);
        if (n > 0 && rank < before + n) {
            const double share = (rank - before + 0.5) / n;
            return std::clamp(lo_ + (static_cast<double>(i) + share) * width, lo_, hi_);
        }
        before += n;
    }
    return hi_;
}

}  // namespace veldra::viewer
