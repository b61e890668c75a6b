// The progress dialog of batch work.
#include "ui/widgets/DualProgressDialog.h"

#include <QLabel>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace corvane {
namespace {

constexpr int kDialogWidth = 560;

}  // namespace

CDualProgressDialog::CDualProgressDialog()
    : CProgressDialogBase(nullptr),
      upperText_(new QLabel(this)),
      upperBar_(new QProgressBar(this)),
      lowerText_(new QLabel(this)),
      lowerBar_(new QProgressBar(this)) {
    upperBar_->setTextVisible(false);
    lowerBar_->setTextVisible(false);
    MakeCancelButton(QStringLiteral("Cancel"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(upperText_);
    layout->addWidget(upperBar_);
    layout->addWidget(lowerText_);
    layout->addWidget(lowerBar_);
    layout->addWidget(CancelButton(), 0, Qt::AlignHCenter);
    setFixedWidth(kDialogWidth);
}

void CDualProgressDialog::SetUpperText(const QString& text) { upperText_->setText(text); }
void CDualProgressDialog::SetLowerText(const QString& text) { lowerText_->setText(text); }

void CDualProgressDialog::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        dragOffset_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
    CProgressDialogBase::mousePressEvent(event);
}

void CDualProgressDialog::mouseMoveEvent(QMouseEvent* event) {
    if (event->buttons() & Qt::LeftButton) move(event->globalPosition().toPoint() - dragOffset_);
    CProgressDialogBase::mouseMoveEvent(event);
}

}  // namespace corvane
