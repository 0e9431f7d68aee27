#include "serve/task_queue.h"

namespace veldra::serve {

BoundedTasks::BoundedTasks(int threads, std::size_t capacity) : capacity_(capacity < 1 ? 1 : capacity) {
    for (int i = 0; i < (threads < 1 ? 1 : threads); ++i) threads_.emplace_back([this] { work(); });
}

BoundedTasks::~BoundedTasks() { shutdown(); }

bool BoundedTasks::push(std::function<void()> task) {
    std::unique_lock lock(mutex_);
    has_room_.wait(lock, [&] { return stopping_ || tasks_.size() < capacity_; });
    if (stopping_) return false;
    tasks_.push_back(std::move(task));
    has_task_.notify_one();
    return true;
}

void BoundedTasks::shutdown() {
    {
        std::lock_guard lock(mutex_);
        if (stopping_ && threads_.empty()) return;
        stopping_ = true;
    }
    has_task_.notify_all();
    has_room_.notify_all();
    for (std::thread& t : threads_)
        if (t.joinable()) t.join();
    threads_.clear();
}

std::size_t BoundedTasks::waiting() const {
    std::lock_guard lock(mutex_);
    return tasks_.size();
}

void BoundedTasks::work() {
    for (;;) {
        std::function<void()> task;
        {
            std::unique_lock lock(mutex_);
            has_task_.wait(lock, [&] { return stopping_ || !tasks_.empty(); });
            if (tasks_.empty()) return;
            task = std::move(tasks_.front());
            tasks_.pop_front();
            has_room_.notify_one();
        }
        task();
    }
}

}  // namespace veldra::serve
