// A bounded queue of tasks with a fixed number of threads: a task given
// while the queue is full waits until there is room, so that the work
// waiting never grows past the bound.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace veldra::serve {

class BoundedTasks {
public:
    BoundedTasks(int threads, std::size_t capacity);
    ~BoundedTasks();
    BoundedTasks(const BoundedTasks&) = delete;
    BoundedTasks& operator=(const BoundedTasks&) = delete;

    // Queues `task`, waiting while `capacity` tasks are waiting; false
    // after shutdown (the task is not run).
    bool push(std::function<void()> task);
    // Runs the tasks queued so far and ends the threads.
    void shutdown();
    std::size_t waiting() const;

private:
    void work();
    mutable std::mutex mutex_;
    std::condition_variable has_task_;
    std::condition_variable has_room_;
    std::deque<std::function<void()>> tasks_;
    std::size_t capacity_;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace veldra::serve
