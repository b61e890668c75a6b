// CControlPlacer: labels, buttons and number boxes at their design places.
#include "ui/pages/ControlPlacer.h"

#include "ui/widgets/NumberEdit.h"
#include "ui/widgets/SpinButtons.h"

#include <QLabel>
#include <QPushButton>

namespace corvane {
QLabel* CControlPlacer::Label(const char* text, QWidget* buddy, int x, int y, int width, Anchor topLeft,
                              Anchor bottomRight) const {
    auto* label = Put(new QLabel(QString::fromLatin1(text), page), "", x, y + kLabelDrop, width, kTextHeight, topLeft,
                      bottomRight);
    label->setBuddy(buddy);
    return label;
}

QPushButton* CControlPlacer::Button(const char* text, const char* name, int x, int y, int width, int height,
                                    Anchor topLeft) const {
    auto* button = Put(new QPushButton(QString::fromLatin1(text), page), name, x, y, width, height, topLeft);
    button->setAutoDefault(false);
    return button;
}

CNumberEdit* CControlPlacer::NumberBox(const char* name, int x, int y, int width, bool decimal, int maxChars) const {
    auto* box = Put(new CNumberEdit(page), name, x, y, width, kRowHeight, kTopLeft);
    box->SetAllowMinus(false);
    box->SetAllowDecimalPoint(decimal);
    box->setMaxLength(maxChars);
    return box;
}

QWidget* CControlPlacer::Spin(const char* name, QWidget* box, int x, int y, std::function<void(int)> step) const {
    auto* spin = Put(new CSpinButtons(page), name, x, y, kSpinWidth, kRowHeight, kTopLeft);
    spin->Attach(box, std::move(step));
    return spin;
}

}  // namespace corvane
