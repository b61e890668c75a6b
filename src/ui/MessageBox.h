// Message boxes of the program: caption "Corvane", one OK button or Yes/No.
#pragma once

#include <QMessageBox>
#include <QString>

#include <functional>

class QWidget;

namespace corvane {

// Shows text in a modal message box captioned "Corvane" with icon (Warning for errors and
// refusals, Question for yes/no, Information for help texts, Critical for fatal errors).
// Returns the button pressed.
QMessageBox::StandardButton ShowMessage(QWidget* parent, const QString& text,
                                        QMessageBox::Icon icon,
                                        QMessageBox::StandardButtons buttons = QMessageBox::Ok);

// Replaces the message box for tests: the handler receives what would have been shown and
// returns the button to report. An empty handler restores the real message box.
using MessageHandler = std::function<QMessageBox::StandardButton(const QString& text,
                                                                 QMessageBox::Icon icon)>;
void SetMessageHandler(MessageHandler handler);

}  // namespace corvane
