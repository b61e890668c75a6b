// The engine's progress dialog (IProgressDialog) over the desktop's progress dialogs.
//
// A cut or a join reports through IProgressDialog: one bar, a status line and an atomic
// cancel flag, and it calls PumpMessages between frames so the window stays responsive (the
// program installs ProcessPendingEvents as that pump). The adapter forwards the bar and the
// status line to a CProgressDialog, or to the upper bar and upper text of a
// CDualProgressDialog (the batch pages move the lower, whole-run bar themselves), and sets
// `cancelled` when the dialog's Cancel button is pressed. The flag is never cleared again.
//
// The adapter does not own the dialog. A dialog deletes itself after PostClose; from then on
// the adapter's bar and text calls do nothing, Steps reports the last count given, and the
// flag keeps its value. The adapter must not outlive the work it was handed to, and lives on
// the interface thread, as the dialog does.
#pragma once

#include "engine/Progress.h"

#include <QMetaObject>
#include <QPointer>

#include <string>

class QLabel;
class QProgressBar;

namespace corvane {

class CDualProgressDialog;
class CProgressDialog;
class CProgressDialogBase;

class CProgressAdapter : public IProgressDialog, private IProgressBar {
public:
    // Reports through the dialog's only bar and its text line. dialog must not be null.
    explicit CProgressAdapter(CProgressDialog* dialog);
    // Reports through the upper (current item) bar and text of the batch dialog; the lower
    // bar stays the caller's. dialog must not be null.
    explicit CProgressAdapter(CDualProgressDialog* dialog);
    // Stops listening to the Cancel button.
    ~CProgressAdapter() override;

    CProgressAdapter(const CProgressAdapter&) = delete;
    CProgressAdapter& operator=(const CProgressAdapter&) = delete;

    IProgressBar& Bar() override { return *this; }
    // Shows text (UTF-8) as the dialog's status line.
    void SetStatusText(const std::string& text) override;

private:
    CProgressAdapter(CProgressDialogBase* dialog, QProgressBar* bar, QLabel* text);

    // The bar's width in pixels, at least 1.
    int Steps() const override;
    void SetRange(int low, int high) override;
    void SetPosition(int position) override;

    QPointer<QProgressBar> bar_;
    QPointer<QLabel> text_;
    QMetaObject::Connection cancelConnection_;
    mutable int lastWidth_ = 1;
};

}  // namespace corvane
