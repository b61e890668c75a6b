// Modeless progress dialogs with a Cancel button, for work run on the interface thread.
//
// The owner creates the dialog (no parent), shows it, moves its bars and texts while it
// works, reads `cancelled` after each step and, when the work is over, calls PostClose. The
// close runs from the event loop; the dialog then deletes itself, so the owner must not touch
// it after PostClose. Engine work does not see these classes: it is handed a
// CProgressAdapter (ProgressAdapter.h) over the dialog.
#pragma once

#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;

namespace corvane {

// What both dialogs share: the cancelled flag, set by the Cancel button, never cleared again.
class CProgressDialogBase : public QDialog {
    Q_OBJECT
public:
    bool cancelled = false;

    // Asks the dialog to close from the event loop; it deletes itself once closed.
    void PostClose();
    QPushButton* CancelButton() const { return cancelButton_; }

Q_SIGNALS:
    // The Cancel button was pressed; `cancelled` is already set. Emitted on every press.
    void CancelPressed();

protected:
    explicit CProgressDialogBase(QWidget* parent);
    void MakeCancelButton(const QString& caption);
    void keyPressEvent(QKeyEvent* event) override;  // Enter and Escape do nothing
    void reject() override {}
    void showEvent(QShowEvent* event) override;     // centred on the screen

private:
    QPushButton* cancelButton_ = nullptr;
};

// One text line, one bar, "&Cancel".
class CProgressDialog : public CProgressDialogBase {
    Q_OBJECT
public:
    CProgressDialog();
    void SetText(const QString& text);
    QString Text() const;
    void SetRange(int low, int high);
    void SetPos(int pos);
    void StepIt();  // the step is always 1
    QProgressBar* Bar() const { return bar_; }
    QLabel* TextLabel() const { return text_; }

private:
    QLabel* text_;
    QProgressBar* bar_;
};

}  // namespace corvane
