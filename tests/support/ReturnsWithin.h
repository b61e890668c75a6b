// A guard for calls that must return at once (refusing a pipe or a device) and would block
// forever if they regressed: the test then fails instead of hanging the suite.
#pragma once

#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <thread>

namespace corvane::test {

// A refusal is immediate; an open() that waits for a pipe's writer never returns.
constexpr auto kRefusalLimit = std::chrono::seconds(2);

// Runs call on a thread of its own and stores what it returned; false when it has not
// returned within kRefusalLimit. The thread is then left where it blocks.
inline bool ReturnsWithin(std::function<bool()> call, bool& result) {
    auto task = std::make_shared<std::packaged_task<bool()>>(std::move(call));
    std::future<bool> done = task->get_future();
    std::thread([task] { (*task)(); }).detach();
    if (done.wait_for(kRefusalLimit) != std::future_status::ready) return false;
    result = done.get();
    return true;
}

}  // namespace corvane::test
