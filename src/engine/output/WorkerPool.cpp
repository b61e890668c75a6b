// CWorkerPool: a fixed set of worker threads with one queue of tasks.
#include "engine/output/WorkerPool.h"

#include <pthread.h>

#include <algorithm>
#include <csignal>

namespace corvane {

int DefaultJobs() { return std::max(1, static_cast<int>(std::thread::hardware_concurrency())); }

CWorkerPool::CWorkerPool(int workers) {
    const int count = std::max(1, workers);
    threads_.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) threads_.emplace_back(&CWorkerPool::Run, this, i);
}

CWorkerPool::~CWorkerPool() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closing_ = true;
        queue_.clear();
    }
    work_.notify_all();
    for (std::thread& thread : threads_) thread.join();
}

void CWorkerPool::Post(uint64_t id, Task task) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.emplace_back(id, std::move(task));
    }
    work_.notify_one();
}

std::vector<uint64_t> CWorkerPool::WaitForEnded(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    ended_.wait_for(lock, timeout, [this] { return !endedIds_.empty(); });
    std::vector<uint64_t> ids;
    ids.swap(endedIds_);
    return ids;
}

void CWorkerPool::Run(int worker) {
    // Signals are the coordinator's: its handler sets the cancel flag the tasks read.
    sigset_t handled;
    sigemptyset(&handled);
    for (const int number : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&handled, number);
    pthread_sigmask(SIG_BLOCK, &handled, nullptr);

    for (;;) {
        std::pair<uint64_t, Task> next;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            work_.wait(lock, [this] { return closing_ || !queue_.empty(); });
            if (closing_) return;
            next = std::move(queue_.front());
            queue_.pop_front();
        }
        next.second(worker);
        next.second = nullptr;  // what the task holds goes before the coordinator hears of its end
        {
            std::lock_guard<std::mutex> lock(mutex_);
            endedIds_.push_back(next.first);
        }
        ended_.notify_all();
    }
}

}  // namespace corvane
