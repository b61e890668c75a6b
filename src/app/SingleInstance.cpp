// The hand-off of a second start's files to the running window.
//
// A plain Unix stream socket with a socket notifier on the event loop: the program does not
// load Qt's network module (and the Kerberos and proxy libraries it brings) for one local
// socket at every start.
#include "app/SingleInstance.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>

#include <cerrno>
#include <cstring>

namespace corvane {
namespace {

constexpr int kConnectWaitMs = 500;
constexpr int kWriteWaitMs = 2000;
// A listener whose queue is full refuses at once: the connect is tried again this often.
constexpr int kConnectRetryMs = 10;
constexpr int kReadChunk = 4096;

// The socket file of name: name itself when it is a path, else a file of that name in the
// temporary folder.
QByteArray SocketPath(const QString& name) {
    return QFile::encodeName(name.contains(QLatin1Char('/')) ? name : QDir::tempPath() + QLatin1Char('/') + name);
}

// The address of path; false when the path is too long for one.
bool AddressOf(const QByteArray& path, sockaddr_un& address) {
    address = sockaddr_un{};
    address.sun_family = AF_UNIX;
    if (path.isEmpty() || static_cast<size_t>(path.size()) >= sizeof address.sun_path) return false;
    std::memcpy(address.sun_path, path.constData(), static_cast<size_t>(path.size()));
    return true;
}

int StreamSocket() { return ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0); }

// Waits until fd is ready for events or the deadline passes; false on the deadline or an error.
bool WaitFor(int fd, short events, const QDeadlineTimer& deadline) {
    for (;;) {
        pollfd p{fd, events, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(deadline.remainingTime()));
        if (ready < 0 && errno == EINTR) continue;
        return ready > 0 && (p.revents & events) != 0;
    }
}

bool ConnectWithin(int fd, const sockaddr_un& address, int waitMs) {
    const QDeadlineTimer deadline(waitMs);
    for (;;) {
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) return true;
        if (errno == EINTR) continue;
        if (errno == EINPROGRESS) {
            int error = 0;
            socklen_t length = sizeof error;
            return WaitFor(fd, POLLOUT, deadline) &&
                   ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
        }
        if (errno != EAGAIN || deadline.hasExpired()) return false;
        ::poll(nullptr, 0, kConnectRetryMs);
    }
}

bool SendAll(int fd, const QByteArray& bytes, int waitMs) {
    const QDeadlineTimer deadline(waitMs);
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done), MSG_NOSIGNAL);
        if (n > 0) {
            done += n;
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && errno == EAGAIN) {
            if (!WaitFor(fd, POLLOUT, deadline)) return false;
        } else {
            return false;
        }
    }
    return true;
}

}  // namespace

QString InstanceName() {
    QString display = qEnvironmentVariable("WAYLAND_DISPLAY");
    if (display.isEmpty()) display = qEnvironmentVariable("DISPLAY");
    // Only letters, digits and "_.-" in the name: anything else becomes "_".
    for (QChar& c : display) {
        const bool kept = (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) || (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
                          (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('_') ||
                          c == QLatin1Char('.') || c == QLatin1Char('-');
        if (!kept) c = QLatin1Char('_');
    }
    const QString name = QStringLiteral("corvane-%1-%2").arg(::getuid()).arg(display);
    // The user's own runtime folder, which no one else can write, when there is one.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return runtime.isEmpty() || !QFileInfo(runtime).isDir() ? name : runtime + QStringLiteral("/") + name;
}

bool HandOffToRunning(const QString& name, const QStringList& files) {
    sockaddr_un address;
    if (!AddressOf(SocketPath(name), address)) return false;
    const int fd = StreamSocket();
    if (fd < 0) return false;
    bool sent = false;
    if (ConnectWithin(fd, address, kConnectWaitMs)) {
        QByteArray message;
        for (const QString& file : files) message += QFileInfo(file).absoluteFilePath().toUtf8() + '\n';
        message += '\n';  // the end, also of an empty list
        sent = SendAll(fd, message, kWriteWaitMs);
    }
    ::close(fd);
    return sent;
}

CInstanceServer::CInstanceServer(QObject* parent) : QObject(parent) {}

CInstanceServer::~CInstanceServer() { Close(); }

void CInstanceServer::Close() {
    for (auto& [notifier, client] : clients_) {
        delete notifier;
        ::close(client.fd);
    }
    clients_.clear();
    if (listener_ >= 0) {
        delete notifier_;
        notifier_ = nullptr;
        ::close(listener_);
        listener_ = -1;
        ::unlink(path_.constData());
    }
}

bool CInstanceServer::Listen(const QString& name) {
    // The new socket is moved over whatever stands at the path: one left by a program that
    // was killed is replaced with no step of its own.
    return BindListener(SocketPath(name));
}

bool CInstanceServer::BindListener(const QByteArray& path) {
    Close();
    sockaddr_un target;
    if (!AddressOf(path, target)) return false;
    // Bound in a private folder beside the target, given the user's access only, then moved
    // into place: no one else can reach it in between.
    QByteArray folder = QFile::encodeName(QFileInfo(QFile::decodeName(path)).absolutePath()) + "/.corvane-XXXXXX";
    if (::mkdtemp(folder.data()) == nullptr) return false;
    const QByteArray temporary = folder + "/s";
    sockaddr_un address;
    const int fd = AddressOf(temporary, address) ? StreamSocket() : -1;
    const bool listening = fd >= 0 && ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
                           ::chmod(temporary.constData(), S_IRWXU) == 0 && ::listen(fd, SOMAXCONN) == 0 &&
                           ::rename(temporary.constData(), path.constData()) == 0;
    ::unlink(temporary.constData());
    ::rmdir(folder.constData());
    if (!listening) {
        if (fd >= 0) ::close(fd);
        return false;
    }
    listener_ = fd;
    path_ = path;
    notifier_ = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &CInstanceServer::AcceptPending);
    return true;
}

void CInstanceServer::AcceptPending() {
    for (;;) {
        const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) {
            if (errno == EINTR) continue;
            return;  // none left (EAGAIN), or a connection that went away meanwhile
        }
        auto* notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
        clients_[notifier] = Client{fd, {}};
        connect(notifier, &QSocketNotifier::activated, this, [this, notifier] { ReadClient(notifier); });
    }
}

void CInstanceServer::ReadClient(QSocketNotifier* notifier) {
    const auto found = clients_.find(notifier);
    if (found == clients_.end()) return;
    Client& client = found->second;
    bool ended = false;
    for (;;) {
        char chunk[kReadChunk];
        const ssize_t n = ::read(client.fd, chunk, sizeof chunk);
        if (n > 0) {
            client.pending.append(chunk, n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        ended = n == 0 || errno != EAGAIN;  // the other end closed, or the connection failed
        break;
    }
    // A message is complete at its empty line.
    if (client.pending.endsWith("\n\n") || client.pending == "\n") {
        QStringList files;
        for (const QByteArray& line : client.pending.split('\n')) {
            if (!line.isEmpty()) files << QString::fromUtf8(line);
        }
        client.pending.clear();
        Q_EMIT FilesReceived(files);
    }
    if (ended) {
        // FilesReceived may have run anything, even Close(): look the client up again.
        const auto still = clients_.find(notifier);
        if (still == clients_.end()) return;
        ::close(still->second.fd);
        clients_.erase(still);
        notifier->setEnabled(false);
        notifier->deleteLater();
    }
}

}  // namespace corvane
