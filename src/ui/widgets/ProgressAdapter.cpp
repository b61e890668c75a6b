// The engine's progress dialog over the desktop's progress dialogs.
#include "ui/widgets/ProgressAdapter.h"

#include "ui/widgets/DualProgressDialog.h"
#include "ui/widgets/ProgressDialog.h"

#include <QLabel>
#include <QProgressBar>

#include <algorithm>

namespace corvane {

CProgressAdapter::CProgressAdapter(CProgressDialog* dialog)
    : CProgressAdapter(dialog, dialog->Bar(), dialog->TextLabel()) {}

CProgressAdapter::CProgressAdapter(CDualProgressDialog* dialog)
    : CProgressAdapter(dialog, dialog->UpperBar(), dialog->UpperText()) {}

CProgressAdapter::CProgressAdapter(CProgressDialogBase* dialog, QProgressBar* bar, QLabel* text)
    : bar_(bar), text_(text) {
    cancelConnection_ = QObject::connect(dialog, &CProgressDialogBase::CancelPressed, dialog,
                                         [this] { cancelled.store(1, std::memory_order_relaxed); });
    // A press before the adapter was made counts too.
    if (dialog->cancelled) cancelled.store(1, std::memory_order_relaxed);
}

CProgressAdapter::~CProgressAdapter() { QObject::disconnect(cancelConnection_); }

void CProgressAdapter::SetStatusText(const std::string& text) {
    if (text_) text_->setText(QString::fromStdString(text));
}

// One step a pixel: the bar shows every step the engine takes, and no more.
int CProgressAdapter::Steps() const {
    if (bar_) lastWidth_ = std::max(1, bar_->width());
    return lastWidth_;
}

void CProgressAdapter::SetRange(int low, int high) {
    if (bar_) bar_->setRange(low, high);
}

void CProgressAdapter::SetPosition(int position) {
    if (bar_) bar_->setValue(position);
}

}  // namespace corvane
