// CSpinButtons: two arrow buttons sharing the height of their box.
#include "ui/widgets/SpinButtons.h"

#include <QKeyEvent>
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

void CSpinButtons::Attach(QWidget* box, std::function<void(int)> step) {
    box_ = box;
    step_ = std::move(step);
    connect(up_, &QToolButton::clicked, this, [this] { step_(+1); });
    connect(down_, &QToolButton::clicked, this, [this] { step_(-1); });
    box->installEventFilter(this);
}

bool CSpinButtons::eventFilter(QObject* watched, QEvent* event) {
    if (watched == box_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            step_(key == Qt::Key_Up ? +1 : -1);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void CSpinButtons::resizeEvent(QResizeEvent* event) {
    const int half = event->size().height() / 2;
    up_->setGeometry(0, 0, event->size().width(), half);
    down_->setGeometry(0, half, event->size().width(), event->size().height() - half);
}

}  // namespace corvane
