// One Corvane window per user and display: a second start hands its files to the window that
// runs already and ends.
//
// The running program listens on a local socket named for the user and the display
// (InstanceName). A new start connects to it first: when that works it sends the absolute paths
// of its files, one per line (none: only raise the window), and ends; otherwise it opens the
// window itself and listens. A socket left behind by a program that was killed is removed
// before listening.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class QLocalServer;

namespace corvane {

// "corvane-<uid>-<display>": the display of X11 or Wayland, so that two sessions of one user
// get a window each; in the user's runtime folder ($XDG_RUNTIME_DIR, which only the user can
// reach) when there is one, else in the temporary folder, readable by the user only.
QString InstanceName();

// Sends files to the program listening on name; false when none listens.
bool HandOffToRunning(const QString& name, const QStringList& files);

class CInstanceServer : public QObject {
    Q_OBJECT
public:
    explicit CInstanceServer(QObject* parent = nullptr);
    // Listens on name; false when the socket cannot be made (the program then runs alone).
    bool Listen(const QString& name);

Q_SIGNALS:
    // A later start asked for the window, with its files (maybe none).
    void FilesReceived(const QStringList& files);

private:
    QLocalServer* server_ = nullptr;
};

}  // namespace corvane
