// CWorkerPool: worker threads that run the cut's pieces and the batches' files side by side.
//
// Re-encoding is bound by the processor, and the pieces of a cut and the files of a batch are
// independent MP3 files, so they can be encoded at the same time on every core. The pool
// only runs tasks; the thread that owns it (the one the front end handed the work to) stays
// the coordinator: it decides what runs, waits for tasks to end, shows progress, reads the
// cancel flag and publishes the outputs, in list order.
//
// Rules for tasks. A task runs on a worker thread and must not call into the front end
// (PumpMessages does nothing there; a worker's progress goes through CWorkerProgress). It
// reports how it ended by writing into memory of its own that the coordinator reads only
// once WaitForEnded has listed the task: the pool's lock orders the two. The handled
// signals (SIGINT, SIGTERM, SIGHUP) are blocked on the workers, so a signal reaches the
// coordinator and its handler there.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "engine/Options.h"  // DefaultJobs

namespace corvane {

class CWorkerPool {
public:
    // A task, given the number (0 .. workers - 1) of the worker that runs it.
    using Task = std::function<void(int worker)>;

    // Starts workers threads (at least 1).
    explicit CWorkerPool(int workers);
    // Drops the tasks that have not started, waits for the running ones and joins the
    // workers. Tasks that may run long must be told to stop first (their own cancel flags).
    ~CWorkerPool();
    CWorkerPool(const CWorkerPool&) = delete;
    CWorkerPool& operator=(const CWorkerPool&) = delete;

    int Workers() const { return static_cast<int>(threads_.size()); }

    // Queues task under id; the first free worker runs it, in the order posted.
    void Post(uint64_t id, Task task);

    // Waits until a task has ended or timeout has passed, and returns the ids of the tasks
    // that ended since the last call, in the order they ended (empty after a timeout).
    std::vector<uint64_t> WaitForEnded(std::chrono::milliseconds timeout);

private:
    void Run(int worker);

    std::mutex mutex_;
    std::condition_variable work_;   // a task was posted, or the pool is closing
    std::condition_variable ended_;  // a task ended
    std::deque<std::pair<uint64_t, Task>> queue_;
    std::vector<uint64_t> endedIds_;
    bool closing_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace corvane
