// How long engine work reports progress, learns of a cancel, and tells how it ended.
//
// The engine never draws anything. A cut or a join is handed a progress dialog: a bar with a
// range, a position and a width in pixels, a status line, and a cancel flag that the user
// (the Cancel button, or SIGINT in the terminal) sets. Between frames the engine calls
// PumpMessages, so that a desktop window stays responsive, then reads the flag.
#pragma once

#include <atomic>
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
    virtual int Width() const = 0;  // pixels; the engine uses it as the number of steps
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
// within a few milliseconds.
void PumpMessages();

// Installs the pump PumpMessages calls; nullptr installs none.
void SetMessagePump(void (*pump)());

}  // namespace corvane
