// A one-line edit that takes only digits, and "-" and "." where allowed.
#pragma once

#include <QLineEdit>
#include <QString>

#include <string>

namespace corvane {

// text (spaces around it ignored) read as a whole number into *value; false, with *value
// left alone, when it is not one.
bool ReadInteger(const QString& text, int* value);

// A UTF-8 text of the engine as a Qt string.
inline QString Utf8(const std::string& text) { return QString::fromStdString(text); }

class CNumberEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit CNumberEdit(QWidget* parent = nullptr);
    // Both are allowed at construction; pages set them per box. Where a sign or point stands
    // is not checked here: the pages validate the value when they use it.
    void SetAllowMinus(bool allow) { allowMinus_ = allow; }
    void SetAllowDecimalPoint(bool allow) { allowDecimalPoint_ = allow; }
    // True when a typed character c is taken.
    bool Accepts(QChar c) const;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool allowMinus_ = true;
    bool allowDecimalPoint_ = true;
};

}  // namespace corvane
