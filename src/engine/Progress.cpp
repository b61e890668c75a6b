// The message pump hook of the engine.
#include "engine/Progress.h"

namespace corvane {
namespace {
std::atomic<void (*)()> g_pump{nullptr};
}  // namespace

void PumpMessages() {
    if (void (*pump)() = g_pump.load(std::memory_order_relaxed)) pump();
}

void SetMessagePump(void (*pump)()) { g_pump.store(pump, std::memory_order_relaxed); }

}  // namespace corvane
