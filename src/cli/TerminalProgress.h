// The terminal's progress dialog: a one-line bar on stderr and a cancel flag set by SIGINT.
#pragma once

#include <chrono>
#include <string>

#include "engine/Progress.h"

namespace corvane::cli {

class CTerminalProgress : public IProgressDialog, private IProgressBar {
public:
    // visible: draw the bar (stderr is a terminal and --quiet is off).
    explicit CTerminalProgress(bool visible);
    ~CTerminalProgress() override;

    IProgressBar& Bar() override { return *this; }
    void SetStatusText(const std::string& text) override;

    // Clears the bar's line so that a message can be printed.
    void Clear();

    // Routes SIGINT to this dialog's cancel flag while it lives.
    void CatchInterrupt();

private:
    int Width() const override { return kSteps; }
    void SetRange(int low, int high) override;
    void SetPosition(int position) override;
    void Draw(bool force);

    static constexpr int kSteps = 1000;
    static constexpr int kBarCharacters = 30;

    bool visible_;
    bool drawn_ = false;
    int low_ = 0;
    int high_ = kSteps;
    int position_ = 0;
    std::string status_;
    std::chrono::steady_clock::time_point lastDraw_{};
};

}  // namespace corvane::cli
