// A progress bar on stderr, redrawn at most a few times a second, and the signals that cancel.
#include "cli/TerminalProgress.h"

#include <atomic>
#include <csignal>
#include <cstdio>

#include "cli/TextEscape.h"

namespace corvane::cli {
namespace {

constexpr int kCancellingSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int kSignalExitBase = 128;

// Written by the handler, which may run on any thread; lock-free atomics only.
std::atomic<std::atomic<int>*> g_cancelFlag{nullptr};
std::atomic<int> g_receivedSignal{0};
static_assert(std::atomic<std::atomic<int>*>::is_always_lock_free && std::atomic<int>::is_always_lock_free);

extern "C" void OnCancellingSignal(int number) {
    int none = 0;
    g_receivedSignal.compare_exchange_strong(none, number);
    if (std::atomic<int>* flag = g_cancelFlag.load()) flag->store(1);
}

constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

}  // namespace

void InstallSignalHandlers() {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGXFSZ, &ignore, nullptr);

    // SA_RESTART: a signal that comes while the paths are printed to a full pipe must not
    // cut that write short; the engine sees the cancel through the flag, not through EINTR.
    struct sigaction action {};
    action.sa_handler = OnCancellingSignal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (const int number : kCancellingSignals) sigaddset(&action.sa_mask, number);
    for (const int number : kCancellingSignals) sigaction(number, &action, nullptr);
}

int ReceivedSignal() { return g_receivedSignal.load(); }

int InterruptedExitStatus() {
    const int number = ReceivedSignal();
    return kSignalExitBase + (number != 0 ? number : SIGINT);
}

CTerminalProgress::CTerminalProgress(bool visible) : visible_(visible) {}

CTerminalProgress::~CTerminalProgress() {
    Clear();
    std::atomic<int>* mine = &cancelled;
    g_cancelFlag.compare_exchange_strong(mine, nullptr);
}

void CTerminalProgress::ReceiveSignals() {
    g_cancelFlag.store(&cancelled);
    if (ReceivedSignal() != 0) cancelled.store(1);
}

void CTerminalProgress::SetStatusText(const std::string& text) {
    status_ = TerminalText(text);
    Draw(true);
}

void CTerminalProgress::SetRange(int low, int high) {
    low_ = low;
    high_ = high > low ? high : low + 1;
    position_ = low;
}

void CTerminalProgress::SetPosition(int position) {
    position_ = position;
    Draw(false);
}

void CTerminalProgress::Draw(bool force) {
    if (!visible_) return;
    const auto now = std::chrono::steady_clock::now();
    if (!force && now - lastDraw_ < kRedrawInterval) return;
    lastDraw_ = now;
    const double fraction = static_cast<double>(position_ - low_) / (high_ - low_);
    const int filled = static_cast<int>(fraction * kBarCharacters);
    std::string bar(static_cast<size_t>(kBarCharacters), ' ');
    for (int i = 0; i < filled && i < kBarCharacters; ++i) bar[static_cast<size_t>(i)] = '#';
    std::fprintf(stderr, "\r\033[K[%s] %3d%% %s", bar.c_str(), static_cast<int>(fraction * 100), status_.c_str());
    std::fflush(stderr);
    drawn_ = true;
}

void CTerminalProgress::Clear() {
    if (!drawn_) return;
    std::fprintf(stderr, "\r\033[K");
    std::fflush(stderr);
    drawn_ = false;
}

}  // namespace corvane::cli
