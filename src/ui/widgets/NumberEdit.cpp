// A one-line edit that takes only digits, and "-" and "." where allowed.
#include "ui/widgets/NumberEdit.h"

#include <QKeyEvent>

namespace corvane {

CNumberEdit::CNumberEdit(QWidget* parent) : QLineEdit(parent) {}

bool CNumberEdit::Accepts(QChar c) const {
    if (c >= '0' && c <= '9') return true;
    if (c == '-') return allowMinus_;
    if (c == '.') return allowDecimalPoint_;
    return false;
}

void CNumberEdit::keyPressEvent(QKeyEvent* event) {
    const QString text = event->text();
    // Keys that type nothing (moves, backspace, shortcuts) go through; typed characters must
    // all be accepted.
    for (QChar c : text) {
        if (c.isPrint() && !Accepts(c)) {
            event->ignore();
            return;
        }
    }
    QLineEdit::keyPressEvent(event);
}

bool ReadInteger(const QString& text, int* value) {
    bool ok = false;
    const int read = text.trimmed().toInt(&ok);
    if (ok) *value = read;
    return ok;
}

}  // namespace corvane
