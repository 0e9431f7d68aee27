#include "viewer/core/run_stretch.h"

#include <cmath>
#include <vector>

#include "modelfiles/paths.h"
#include "modelfiles/variable_file.h"

namespace veldra::viewer {

RunStretchResult compute_run_stretch(const RunStretchRequest& request, const std::atomic<bool>& cancel,
                                     const std::function<void(std::int64_t)>& progress, FileAccess& files) {
    RunStretchResult result;
    RunningStats stats;
    auto skip = [&](const std::string& why) {
        ++result.months_skipped;
        if (!result.first_problem) result.first_problem = why;
    };

    std::optional<VariableFile> file;
    try {
        file = VariableFile::open(path_to_open(request.path), files);
    } catch (const ModelFileError& e) {
        result.months_skipped = request.months();
        result.first_problem = e.what();
        return result;
    }

    std::vector<float> records;
    std::int64_t done = 0;
    for (std::int32_t year = request.first_year; year <= request.last_year; ++year) {
        for (std::int32_t month = 1; month <= 12; ++month) {
            if (cancel.load(std::memory_order_relaxed)) {
                result.cancelled = true;
                result.stats = stats.stretch();
                return result;
            }
            const std::string when = " (year " + std::to_string(year) + ", month " + std::to_string(month) + ")";
            try {
                const BlockAddress address{year, month, request.layer, request.first_year, request.layers,
                                           request.cell_count};
                const CheckedBlock block = read_checked_block(*file, address, records);
                if (block.fault == BlockFault::before_start || !block.records.complete())
                    skip(request.path + ": the file holds no complete block" + when);
                else if (!block.ok())
                    skip(request.path + ": the block's count, year or month record does not match" + when);
                else {
                    stats.add_values(std::span<const float>(records).subspan(3));
                    ++result.months_used;
                }
            } catch (const ModelFileError& e) {
                skip(e.what());
            }
            ++done;
            if (progress) progress(done);
        }
    }
    result.stats = stats.stretch();
    return result;
}

}  // namespace veldra::viewer
