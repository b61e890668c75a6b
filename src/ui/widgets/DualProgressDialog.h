// The progress dialog of batch work: the current item above, the whole run below.
#pragma once

#include "ui/widgets/ProgressDialog.h"

#include <QPoint>

namespace corvane {

class CDualProgressDialog : public CProgressDialogBase {
    Q_OBJECT
public:
    CDualProgressDialog();
    QLabel* UpperText() const { return upperText_; }
    QProgressBar* UpperBar() const { return upperBar_; }
    QLabel* LowerText() const { return lowerText_; }
    QProgressBar* LowerBar() const { return lowerBar_; }
    void SetUpperText(const QString& text);
    void SetLowerText(const QString& text);

protected:
    // The dialog can be dragged by any point with the left button.
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    QLabel* upperText_;
    QProgressBar* upperBar_;
    QLabel* lowerText_;
    QProgressBar* lowerBar_;
    QPoint dragOffset_;
};

}  // namespace corvane
