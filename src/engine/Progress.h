// How long engine work reports progress, learns of a cancel, and tells how it ended.
//
// The engine never draws anything. A cut or a join is handed a progress dialog: a bar with a
// range, a position and a width in pixels, a status line, and a cancel flag that the user
// (the Cancel button, or SIGINT in the terminal) sets. Between frames the engine calls
// PumpMessages, so that a desktop window stays responsive, then reads the flag.
//
// Threads. Work that runs on worker threads (the pieces and files of a parallel re-encoding
// cut or batch join) never touches the front end's dialog: each worker reports into a
// CWorkerProgress of its own, made of atomics, and the thread that was handed the dialog
// sums the workers' progress, shows it, and passes a cancel on to them. PumpMessages does
// nothing on any thread but the one that installed the pump, so a worker that calls it
// never reaches into the desktop's event loop.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <utility>

namespace corvane {

// How a long operation (a piece, a cut plan, a join, a batch) ended.
enum class OutcomeStatus { Done, Failed, Cancelled };

// The one result of every long operation: done, failed with a message, or cancelled by the
// user. A cancel is not a failure: it carries no message, and what the operation wrote is
// removed as it is for a failure. The message is the system's own text ("Failed to write
// file \"...\".") and is empty unless the status is Failed.
struct Outcome {
    OutcomeStatus status = OutcomeStatus::Done;
    std::string message;

    static Outcome Done() { return {}; }
    static Outcome Failed(std::string text) { return {OutcomeStatus::Failed, std::move(text)}; }
    static Outcome Cancelled() { return {OutcomeStatus::Cancelled, {}}; }

    bool done() const { return status == OutcomeStatus::Done; }
    bool failed() const { return status == OutcomeStatus::Failed; }
    bool cancelled() const { return status == OutcomeStatus::Cancelled; }
};

class IProgressBar {
public:
    virtual ~IProgressBar() = default;
    // How many steps the bar shows between its ends: the engine sets its range to 0..Steps()
    // and moves it by whole steps, so it never sets a position the bar cannot show.
    virtual int Steps() const = 0;
    virtual void SetRange(int low, int high) = 0;
    virtual void SetPosition(int position) = 0;
};

// A progress dialog: one bar (the batch dialogs' second bar is the page's own business), a
// status text and the cancel flag. The flag is an atomic so a signal handler may set it.
class IProgressDialog {
public:
    virtual ~IProgressDialog() = default;
    virtual IProgressBar& Bar() = 0;
    virtual void SetStatusText(const std::string& text) = 0;
    std::atomic<int> cancelled{0};
};

// Runs the front end's message pump once (the desktop program's event loop, nothing in the
// terminal). Cheap: the installed pump is expected to return at once when called again
// within a few milliseconds. On any thread but the one that installed the pump it does
// nothing.
void PumpMessages();

// Installs the pump PumpMessages calls, to be run on the calling thread only; nullptr
// installs none.
void SetMessagePump(void (*pump)());

// The progress dialog of one worker thread: a bar of kSteps steps and a status text that the
// worker sets and the coordinating thread reads, and a cancel flag that the coordinating
// thread sets (when the user cancels, or to stop work it no longer wants) and the worker
// reads. Every member may be used from both threads at once.
class CWorkerProgress : public IProgressDialog, private IProgressBar {
public:
    static constexpr int kSteps = 1 << 16;

    IProgressBar& Bar() override { return *this; }
    void SetStatusText(const std::string& text) override;

    // How far the bar stands, 0 to 1 (0 before the worker set a range).
    double Fraction() const;
    // The last status text the worker set.
    std::string StatusText() const;

private:
    int Steps() const override { return kSteps; }
    void SetRange(int low, int high) override;
    void SetPosition(int position) override { position_.store(position, std::memory_order_relaxed); }

    std::atomic<int> low_{0};
    std::atomic<int> high_{0};
    std::atomic<int> position_{0};
    mutable std::mutex textMutex_;
    std::string text_;
};

}  // namespace corvane
