// Modeless progress dialogs with a Cancel button.
#include "ui/widgets/ProgressDialog.h"

#include "ui/Shell.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace corvane {
namespace {

constexpr int kDialogWidth = 560;

}  // namespace

CProgressDialogBase::CProgressDialogBase(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint) {
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    setFont(DialogFont());
    setWindowTitle(QStringLiteral("Corvane"));
}

void CProgressDialogBase::MakeCancelButton(const QString& caption) {
    cancelButton_ = new QPushButton(caption, this);
    cancelButton_->setAutoDefault(false);
    connect(cancelButton_, &QPushButton::clicked, this, [this] {
        cancelled = true;
        Q_EMIT CancelPressed();
    });
}

void CProgressDialogBase::PostClose() {
    // accept() hides the dialog and, with WA_DeleteOnClose, deletes it; close() would ask
    // reject(), which refuses here so that Escape and the window manager cannot end the work.
    QMetaObject::invokeMethod(this, &QDialog::accept, Qt::QueuedConnection);
}

void CProgressDialogBase::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape: event->accept(); return;
        default: QDialog::keyPressEvent(event);
    }
}

void CProgressDialogBase::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect r = frameGeometry();
        r.moveCenter(screen->availableGeometry().center());
        move(r.topLeft());
    }
}

CProgressDialog::CProgressDialog()
    : CProgressDialogBase(nullptr), text_(new QLabel(this)), bar_(new QProgressBar(this)) {
    bar_->setTextVisible(false);
    MakeCancelButton(QStringLiteral("&Cancel"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text_);
    layout->addWidget(bar_);
    layout->addWidget(CancelButton(), 0, Qt::AlignHCenter);
    setFixedWidth(kDialogWidth);
}

void CProgressDialog::SetText(const QString& text) { text_->setText(text); }
QString CProgressDialog::Text() const { return text_->text(); }
void CProgressDialog::SetRange(int low, int high) { bar_->setRange(low, high); }
void CProgressDialog::SetPos(int pos) { bar_->setValue(pos); }
void CProgressDialog::StepIt() {
    // Past the end the bar wraps to its start, as a stepped progress bar does.
    const int next = bar_->value() + 1;
    bar_->setValue(next > bar_->maximum() ? bar_->minimum() : next);
}

}  // namespace corvane
