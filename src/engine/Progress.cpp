// The message pump hook of the engine, and the workers' progress.
#include "engine/Progress.h"

#include <algorithm>
#include <thread>

namespace corvane {
namespace {
std::atomic<void (*)()> g_pump{nullptr};
std::atomic<std::thread::id> g_pumpThread{};
}  // namespace

void PumpMessages() {
    void (*pump)() = g_pump.load(std::memory_order_acquire);
    if (pump != nullptr && g_pumpThread.load(std::memory_order_relaxed) == std::this_thread::get_id()) pump();
}

void SetMessagePump(void (*pump)()) {
    g_pumpThread.store(std::this_thread::get_id(), std::memory_order_relaxed);
    g_pump.store(pump, std::memory_order_release);
}

void CWorkerProgress::SetStatusText(const std::string& text) {
    std::lock_guard<std::mutex> lock(textMutex_);
    text_ = text;
}

std::string CWorkerProgress::StatusText() const {
    std::lock_guard<std::mutex> lock(textMutex_);
    return text_;
}

void CWorkerProgress::SetRange(int low, int high) {
    low_.store(low, std::memory_order_relaxed);
    high_.store(high, std::memory_order_relaxed);
}

double CWorkerProgress::Fraction() const {
    const int low = low_.load(std::memory_order_relaxed);
    const int high = high_.load(std::memory_order_relaxed);
    if (high <= low) return 0.0;
    const double done = static_cast<double>(position_.load(std::memory_order_relaxed) - low) / (high - low);
    return std::clamp(done, 0.0, 1.0);
}

}  // namespace corvane
