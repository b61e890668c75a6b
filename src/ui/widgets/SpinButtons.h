// CSpinButtons: the up and down buttons beside a number box, one above the other.
//
// The box keeps its own text and rules (whole numbers, tenths, a range); Attach gives the
// buttons, and the Up and Down arrow keys in the box, the page's own step. Both buttons
// repeat while held and never take the focus, so the box keeps it. Their object names are
// "up" and "down".
#pragma once

#include <QWidget>

#include <functional>

class QToolButton;

namespace corvane {

class CSpinButtons : public QWidget {
public:
    explicit CSpinButtons(QWidget* parent);
    QToolButton* Up() const { return up_; }
    QToolButton* Down() const { return down_; }

    // step(+1) for the up button and the Up key in box, step(-1) for the down button and the
    // Down key. Call once.
    void Attach(QWidget* box, std::function<void(int)> step);

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* box_ = nullptr;
    std::function<void(int)> step_;
    QToolButton* up_;
    QToolButton* down_;
};

}  // namespace corvane
