// CSpinButtons: the up and down buttons beside a number box, one above the other.
//
// The box keeps its own text and rules (whole numbers, tenths, a range); the page connects
// Up()->clicked and Down()->clicked to its own step. Both buttons repeat while held and never
// take the focus, so the box keeps it. Their object names are "up" and "down".
#pragma once

#include <QWidget>

class QToolButton;

namespace corvane {

class CSpinButtons : public QWidget {
public:
    explicit CSpinButtons(QWidget* parent);
    QToolButton* Up() const { return up_; }
    QToolButton* Down() const { return down_; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QToolButton* up_;
    QToolButton* down_;
};

}  // namespace corvane
