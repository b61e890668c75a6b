// A progress bar on stderr, redrawn at most a few times a second.
#include "cli/TerminalProgress.h"

#include <csignal>
#include <cstdio>

namespace corvane::cli {
namespace {

std::atomic<int>* g_interruptFlag = nullptr;

extern "C" void OnInterrupt(int) {
    if (g_interruptFlag) g_interruptFlag->store(1);
}

constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

}  // namespace

CTerminalProgress::CTerminalProgress(bool visible) : visible_(visible) {}

CTerminalProgress::~CTerminalProgress() {
    Clear();
    if (g_interruptFlag == &cancelled) {
        std::signal(SIGINT, SIG_DFL);
        g_interruptFlag = nullptr;
    }
}

void CTerminalProgress::CatchInterrupt() {
    g_interruptFlag = &cancelled;
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
}

void CTerminalProgress::SetStatusText(const std::string& text) {
    status_ = text;
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
