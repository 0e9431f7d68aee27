#include "viewer/run_scale_job.h"

#include <utility>

namespace veldra::viewer {

RunScaleJob::RunScaleJob(RunStretchRequest request) : months_(request.months()) {
    thread_ = std::thread([this, request = std::move(request)] {
        RunStretchResult r;
        try {
            r = compute_run_stretch(request, cancel_, [this](std::int64_t d) { done_.store(d, std::memory_order_relaxed); });
        } catch (const std::exception& e) {
            // Out of memory for a block, say: no month is used.
            r.months_skipped = request.months();
            r.first_problem = request.path + ": " + e.what();
        }
        result_ = std::move(r);
        finished_.store(true, std::memory_order_release);
    });
}

RunScaleJob::~RunScaleJob() {
    cancel();
    if (thread_.joinable()) thread_.join();
}

}  // namespace veldra::viewer
