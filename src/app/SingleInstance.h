// One Corvane window per user and display: a second start hands its files to the window that
// runs already and ends.
//
// The running program listens on a local socket named for the user and the display
// (InstanceName). A new start connects to it first: when that works it sends the absolute paths
// of its files, one per line (none: only raise the window), and ends; otherwise it opens the
// window itself and listens. A socket left behind by a program that was killed is removed
// before listening.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

#include <map>

class QSocketNotifier;

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
    // Stops listening and removes the socket.
    ~CInstanceServer() override;
    // Listens on name (a path, or a name in the temporary folder); false when the socket
    // cannot be made (the program then runs alone). Only the user may connect.
    bool Listen(const QString& name);

Q_SIGNALS:
    // A later start asked for the window, with its files (maybe none).
    void FilesReceived(const QStringList& files);

private:
    // One connected later start: its socket and the bytes read of its message so far.
    struct Client {
        int fd;
        QByteArray pending;
    };

    bool BindListener(const QByteArray& path);
    void Close();
    void AcceptPending();
    void ReadClient(QSocketNotifier* notifier);

    int listener_ = -1;
    QByteArray path_;  // the socket file, removed when listening ends
    QSocketNotifier* notifier_ = nullptr;
    std::map<QSocketNotifier*, Client> clients_;
};

}  // namespace corvane
