// The stretch over a whole run, computed on a thread of its own so that the
// window stays live; the window asks how far it is and takes the result.
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

#include "viewer/core/run_stretch.h"

namespace veldra::viewer {

class RunScaleJob {
public:
    explicit RunScaleJob(RunStretchRequest request);
    // Cancels the computation and waits for its thread.
    ~RunScaleJob();
    RunScaleJob(const RunScaleJob&) = delete;
    RunScaleJob& operator=(const RunScaleJob&) = delete;

    void cancel() { cancel_.store(true); }
    std::int64_t months() const { return months_; }
    std::int64_t done() const { return done_.load(std::memory_order_relaxed); }
    bool finished() const { return finished_.load(std::memory_order_acquire); }
    // The result, once finished.
    const RunStretchResult& result() const { return result_; }

private:
    std::int64_t months_;
    std::atomic<bool> cancel_{false};
    std::atomic<std::int64_t> done_{0};
    std::atomic<bool> finished_{false};
    RunStretchResult result_;
    std::thread thread_;
};

}  // namespace veldra::viewer
