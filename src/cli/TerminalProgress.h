// The terminal's progress dialog: a one-line bar on stderr and a cancel flag set by signals.
//
// SIGINT, SIGTERM and SIGHUP cancel the running cut or join as the Cancel button does: the
// handler only stores into atomics (the dialog's `cancelled` flag and the signal's number),
// and the engine removes what the cancelled source or target wrote. The handlers stay
// installed until the process ends, so a signal that comes late (while the paths are
// printed) or a second one while cancelling cannot kill the process halfway through. The
// command decides its exit status from the engine's outcome, not from the signal: a signal
// that came after the last output was committed leaves a Done outcome, reported as success.
#pragma once

#include <chrono>
#include <string>

#include "engine/Progress.h"

namespace corvane::cli {

// Installs the handlers of SIGINT, SIGTERM and SIGHUP for the rest of the run, and ignores
// SIGXFSZ so that a write past the file size limit (`ulimit -f`) fails with EFBIG and is
// reported as a failed write instead of killing the process. Call once, before any work.
void InstallSignalHandlers();

// The first of SIGINT, SIGTERM and SIGHUP received since InstallSignalHandlers; 0 when none.
int ReceivedSignal();

// The exit status of an operation whose outcome was Cancelled: 128 plus the signal that
// cancelled it (130, 143, 129); 130 when no signal was recorded.
int InterruptedExitStatus();

class CTerminalProgress : public IProgressDialog, private IProgressBar {
public:
    // visible: draw the bar (stderr is a terminal and --quiet is off).
    explicit CTerminalProgress(bool visible);
    // Stops routing signals to this dialog (the handlers stay installed).
    ~CTerminalProgress() override;

    IProgressBar& Bar() override { return *this; }
    void SetStatusText(const std::string& text) override;

    // Clears the bar's line so that a message can be printed.
    void Clear();

    // Routes the handled signals to this dialog's cancel flag while it lives. A signal that
    // came before the call sets the flag at once. The dialog must outlive the engine work it
    // is handed to (whose threads are joined before that work returns).
    void ReceiveSignals();

private:
    int Steps() const override { return kSteps; }
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
