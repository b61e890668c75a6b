// The main window.
#include "app/MainSheet.h"

#include "ui/Shell.h"
#include "ui/pages/ResizablePage.h"

#include <QCloseEvent>
#include <QIcon>
#include <QTabBar>
#include <QTabWidget>

namespace corvane {
namespace {

constexpr int kSheetMargin = 7;  // pixels between the window's edge and the tabs

}  // namespace

CMainSheet::CMainSheet(const QString& caption)
    : QWidget(nullptr, Qt::Window), tabs_(new QTabWidget(this)), layout_(new CResizableLayout(this)) {
    setWindowTitle(caption);
    tabs_->setUsesScrollButtons(true);
    connect(tabs_, &QTabWidget::currentChanged, this, &CMainSheet::OnCurrentChanged);
}

void CMainSheet::OnCurrentChanged(int index) {
    if (switching_) return;
    const int left = shownPage_;
    auto* page = qobject_cast<CResizablePage*>(tabs_->widget(left));
    if (left == index || page == nullptr) {
        shownPage_ = index;
        return;
    }
    // The page being left comes back into view before it answers, so that its message
    // stands over it and the focus can reach the control it names.
    switching_ = true;
    tabs_->setCurrentIndex(left);
    if (page->CanClose()) tabs_->setCurrentIndex(index);
    switching_ = false;
    shownPage_ = tabs_->currentIndex();
}

void CMainSheet::AddPage(CResizablePage* page) { tabs_->addTab(page, page->Caption()); }

void CMainSheet::SetStartPage(int index) {
    if (index < 0 || index >= tabs_->count()) index = 0;
    switching_ = true;  // the start page is chosen, not left
    tabs_->setCurrentIndex(index);
    switching_ = false;
    shownPage_ = index;
}

int CMainSheet::ActivePage() const { return tabs_->currentIndex(); }

void CMainSheet::Create() {
    setWindowIcon(QIcon(QStringLiteral(":/icons/corvane-256.png")));
    ApplyFont(this, DialogFont());
    // The window starts at the size the largest page was designed for.
    QSize pageSize(0, 0);
    for (int i = 0; i < tabs_->count(); ++i)
        if (auto* page = qobject_cast<CResizablePage*>(tabs_->widget(i)))
            pageSize = pageSize.expandedTo(page->DesignSize());
    const QSize tabsSize = tabs_->sizeHint().expandedTo(
        pageSize + QSize(0, tabs_->tabBar()->sizeHint().height()) + QSize(4, 4));
    resize(tabsSize + QSize(2 * kSheetMargin, 2 * kSheetMargin));
    tabs_->setGeometry(kSheetMargin, kSheetMargin, tabsSize.width(), tabsSize.height());
    layout_->AddAnchor(tabs_, kTopLeft, kBottomRight);
    layout_->SetInitialised(true);
    // The window can never be made smaller than it starts.
    setMinimumSize(size());
}

void CMainSheet::closeEvent(QCloseEvent* event) {
    if (!destroyed_) {
        for (int i = 0; i < tabs_->count(); ++i) {
            auto* page = qobject_cast<CResizablePage*>(tabs_->widget(i));
            if (page != nullptr && !page->CanClose()) {
                event->ignore();
                return;
            }
        }
    }
    DestroyWindow();
    event->accept();
    Q_EMIT WindowDestroyed();
}

void CMainSheet::DestroyWindow() {
    if (destroyed_) return;
    destroyed_ = true;
    activePage_ = tabs_->currentIndex();
    maximized_ = isMaximized() ? 1 : 0;
    const QRect normal = normalGeometry().isValid() ? normalGeometry() : geometry();
    rect_ = WindowRect{normal.x(), normal.y(), normal.x() + normal.width(),
                       normal.y() + normal.height()};
    for (int i = 0; i < tabs_->count(); ++i)
        if (auto* page = qobject_cast<CResizablePage*>(tabs_->widget(i))) page->DestroyPage();
}

}  // namespace corvane
