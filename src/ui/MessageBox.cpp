// Message boxes of the program.
#include "ui/MessageBox.h"

#include "engine/base/Deployment.h"

namespace corvane {
namespace {

MessageHandler& Handler() {
    static MessageHandler handler;
    return handler;
}

}  // namespace

QMessageBox::StandardButton ShowMessage(QWidget* parent, const QString& text,
                                        QMessageBox::Icon icon,
                                        QMessageBox::StandardButtons buttons) {
    if (Handler()) return Handler()(text, icon);
    QMessageBox box(icon, QString::fromLatin1(kProductName), text, buttons, parent);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

void SetMessageHandler(MessageHandler handler) { Handler() = std::move(handler); }

}  // namespace corvane
