// Base of every page of the main window.
#include "ui/pages/ResizablePage.h"

#include "ui/Shell.h"

#include <QFontMetrics>

namespace corvane {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
constexpr int kAlphabetLength = 52;

}  // namespace

CResizablePage::CResizablePage(const QString& caption, int designWidth, int designHeight,
                               QWidget* parent)
    : QWidget(parent),
      caption_(caption),
      designWidth_(designWidth),
      designHeight_(designHeight),
      layout_(new CResizableLayout(this)) {
    setFont(DialogFont());
}

QRect CResizablePage::DluRect(int x, int y, int width, int height) const {
    if (baseX_ == 0 || font() != dluFont_) {
        dluFont_ = font();
        const QFontMetrics fm(dluFont_);
        baseX_ = (fm.horizontalAdvance(QString::fromLatin1(kAlphabet)) + kAlphabetLength / 2) / kAlphabetLength;
        baseY_ = fm.height();
    }
    const int baseX = baseX_;
    const int baseY = baseY_;
    const int left = x * baseX / 4;
    const int top = y * baseY / 8;
    const int right = (x + width) * baseX / 4;
    const int bottom = (y + height) * baseY / 8;
    return QRect(left, top, right - left, bottom - top);
}

QSize CResizablePage::DesignSize() const { return DluRect(0, 0, designWidth_, designHeight_).size(); }

void CResizablePage::EnsureInitialised() {
    if (initialised_) return;
    initialised_ = true;
    const QSize current = size();
    ApplyFont(this, DialogFont());
    resize(DesignSize());
    OnInitPage();
    // Controls made while the page is being shown would stay hidden: show those that were
    // not hidden on purpose. Windows the page owns (its context menus) open only when asked.
    for (QWidget* child : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
        if (!child->isWindow() && !child->testAttribute(Qt::WA_WState_ExplicitShowHide)) child->show();
    if (!current.isEmpty() && current != DesignSize()) resize(current);
    layout_->SetInitialised(true);
    layout_->Arrange(size());
}

void CResizablePage::DestroyPage() {
    if (destroyed_ || !initialised_) return;
    destroyed_ = true;
    OnDestroyPage();
}

void CResizablePage::showEvent(QShowEvent* event) {
    EnsureInitialised();
    QWidget::showEvent(event);
}

}  // namespace corvane
