// CSpinButtons: two arrow buttons sharing the height of their box.
#include "ui/widgets/SpinButtons.h"

#include <QResizeEvent>
#include <QToolButton>

namespace corvane {

CSpinButtons::CSpinButtons(QWidget* parent)
    : QWidget(parent), up_(new QToolButton(this)), down_(new QToolButton(this)) {
    up_->setObjectName(QStringLiteral("up"));
    down_->setObjectName(QStringLiteral("down"));
    for (QToolButton* button : {up_, down_}) {
        button->setAutoRepeat(true);
        button->setFocusPolicy(Qt::NoFocus);
    }
    up_->setArrowType(Qt::UpArrow);
    down_->setArrowType(Qt::DownArrow);
}

void CSpinButtons::resizeEvent(QResizeEvent* event) {
    const int half = event->size().height() / 2;
    up_->setGeometry(0, 0, event->size().width(), half);
    down_->setGeometry(0, half, event->size().width(), event->size().height() - half);
}

}  // namespace corvane
