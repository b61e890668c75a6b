// The line of what a page's work wrote, and the desktop notification of long work.
#include "ui/widgets/WorkReport.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QFileInfo>
#include <QVariantMap>
#include <QWidget>

#include "ui/Shell.h"

namespace corvane {

CWorkReport::CWorkReport(QWidget* parent) : QLabel(parent) {
    setObjectName(QStringLiteral("workReport"));
    setTextFormat(Qt::RichText);
    setTextInteractionFlags(Qt::TextBrowserInteraction);
    connect(this, &QLabel::linkActivated, this, [this] {
        if (!shown_.isEmpty()) ShowInFolder(shown_);
    });
}

void CWorkReport::ShowDone(const QString& what, const QString& shown) {
    shown_ = shown;
    setText(what.toHtmlEscaped() + QStringLiteral(" &mdash; <a href=\"show\">Show in folder</a>"));
    setToolTip(shown);
}

void CWorkReport::ShowFailed(const QString& what) {
    shown_.clear();
    setText(what.toHtmlEscaped());
    setToolTip(QString());
}

void CWorkReport::Clear() {
    shown_.clear();
    clear();
}

QString PiecesWrittenText(size_t count, const QString& firstPiece) {
    const QString folder = QFileInfo(firstPiece).absolutePath();
    return count == 1 ? QStringLiteral("1 piece written to %1").arg(folder)
                      : QStringLiteral("%1 pieces written to %2").arg(count).arg(folder);
}

void NotifyDesktop(const QWidget* window, const QString& summary, const QString& body) {
    if (window != nullptr && window->isActiveWindow()) return;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    call << QStringLiteral("Corvane") << 0u << QStringLiteral("corvane") << summary << body << QStringList()
         << QVariantMap() << -1;
    QDBusConnection::sessionBus().asyncCall(call);
}

}  // namespace corvane
