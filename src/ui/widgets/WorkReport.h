// CWorkReport: the line a page shows after its work: what was written and where, with a link
// that shows it in the file manager, or what went wrong.
//
// NotifyDesktop: when long work ends while the window is not the active one, a desktop
// notification says how it went (the freedesktop notification service over D-Bus; nothing
// when no service answers, and the call never waits for one).
#pragma once

#include <QLabel>
#include <QString>

namespace corvane {

class CWorkReport : public QLabel {
    Q_OBJECT
public:
    explicit CWorkReport(QWidget* parent);
    // "<what>" and a "Show in folder" link to shown (a file written), which ShowInFolder opens.
    void ShowDone(const QString& what, const QString& shown);
    void ShowFailed(const QString& what);
    void Clear();
    const QString& Shown() const { return shown_; }

private:
    QString shown_;
};

// "N pieces written to FOLDER" ("1 piece ..."), the folder of the first piece.
QString PiecesWrittenText(size_t count, const QString& firstPiece);

// Sends summary and body to the desktop's notification service when window is not active.
void NotifyDesktop(const QWidget* window, const QString& summary, const QString& body);

}  // namespace corvane
