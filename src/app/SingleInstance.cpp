// The hand-off of a second start's files to the running window.
#include "app/SingleInstance.h"

#include <unistd.h>

#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QRegularExpression>

#include <memory>

namespace corvane {
namespace {

constexpr int kConnectWaitMs = 500;
constexpr int kWriteWaitMs = 2000;

}  // namespace

QString InstanceName() {
    QString display = qEnvironmentVariable("WAYLAND_DISPLAY");
    if (display.isEmpty()) display = qEnvironmentVariable("DISPLAY");
    display.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9_.-]")), QStringLiteral("_"));
    const QString name = QStringLiteral("corvane-%1-%2").arg(::getuid()).arg(display);
    // The user's own runtime folder, which no one else can write, when there is one.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return runtime.isEmpty() || !QFileInfo(runtime).isDir() ? name : runtime + QStringLiteral("/") + name;
}

bool HandOffToRunning(const QString& name, const QStringList& files) {
    QLocalSocket socket;
    socket.connectToServer(name, QIODevice::WriteOnly);
    if (!socket.waitForConnected(kConnectWaitMs)) return false;
    QByteArray message;
    for (const QString& file : files) message += QFileInfo(file).absoluteFilePath().toUtf8() + '\n';
    message += '\n';  // the end, also of an empty list
    socket.write(message);
    if (!socket.waitForBytesWritten(kWriteWaitMs)) return false;
    socket.disconnectFromServer();
    return true;
}

CInstanceServer::CInstanceServer(QObject* parent) : QObject(parent), server_(new QLocalServer(this)) {
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = server_->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            auto pending = std::make_shared<QByteArray>();
            connect(socket, &QLocalSocket::readyRead, this, [this, socket, pending] {
                *pending += socket->readAll();
                if (!pending->endsWith("\n\n") && *pending != "\n") return;
                QStringList files;
                for (const QByteArray& line : pending->split('\n')) {
                    if (!line.isEmpty()) files << QString::fromUtf8(line);
                }
                pending->clear();
                Q_EMIT FilesReceived(files);
            });
        }
    });
}

bool CInstanceServer::Listen(const QString& name) {
    if (server_->listen(name)) return true;
    QLocalServer::removeServer(name);  // left by a program that was killed
    return server_->listen(name);
}

}  // namespace corvane
