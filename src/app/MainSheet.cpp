// The main window.
#include "app/MainSheet.h"

#include "ui/Shell.h"
#include "ui/pages/ResizablePage.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QScrollArea>
#include <QTabBar>
#include <QTabWidget>

namespace corvane {
namespace {

constexpr int kSheetMargin = 7;  // pixels between the window's edge and the tabs
constexpr QSize kSmallestWindow(480, 320);

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
    auto* page = PageAt(left);
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

void CMainSheet::AddPage(CResizablePage* page) {
    auto* scroll = new QScrollArea;
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    page->setMinimumSize(page->DesignSize());
    scroll->setWidget(page);
    tabs_->addTab(scroll, page->Caption());
}

CResizablePage* CMainSheet::PageAt(int index) const {
    auto* scroll = qobject_cast<QScrollArea*>(tabs_->widget(index));
    return scroll != nullptr ? qobject_cast<CResizablePage*>(scroll->widget()) : nullptr;
}

CResizablePage* CMainSheet::CurrentPage() const { return PageAt(tabs_->currentIndex()); }

void CMainSheet::ShowPage(CResizablePage* page) {
    for (int i = 0; i < tabs_->count(); ++i) {
        if (PageAt(i) == page) tabs_->setCurrentIndex(i);
    }
}

void CMainSheet::SetStartPage(int index) {
    if (index < 0 || index >= tabs_->count()) index = 0;
    switching_ = true;  // the start page is chosen, not left
    tabs_->setCurrentIndex(index);
    switching_ = false;
    shownPage_ = index;
}

int CMainSheet::ActivePage() const { return tabs_->currentIndex(); }

void CMainSheet::Create() {
    setWindowIcon(AppIcon());
    ApplyFont(this, DialogFont());
    // The window starts at the size the largest page was designed for.
    QSize pageSize(0, 0);
    for (int i = 0; i < tabs_->count(); ++i)
        if (auto* page = PageAt(i))
            pageSize = pageSize.expandedTo(page->DesignSize());
    const QSize tabsSize = tabs_->sizeHint().expandedTo(
        pageSize + QSize(0, tabs_->tabBar()->sizeHint().height()) + QSize(4, 4));
    const QSize margins(2 * kSheetMargin, 2 * kSheetMargin);
    QSize window = tabsSize + margins;
    // Below the design size the pages scroll: the window fits small screens and large fonts.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        window = window.boundedTo(screen->availableSize() - (frameGeometry().size() - size()));
    }
    window = window.expandedTo(kSmallestWindow);
    setMinimumSize(kSmallestWindow);
    resize(window);
    tabs_->setGeometry(QRect(QPoint(kSheetMargin, kSheetMargin), window - margins));
    layout_->AddAnchor(tabs_, kTopLeft, kBottomRight);
    layout_->SetInitialised(true);
}

void CMainSheet::closeEvent(QCloseEvent* event) {
    if (!destroyed_) {
        for (int i = 0; i < tabs_->count(); ++i) {
            auto* page = PageAt(i);
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
        if (auto* page = PageAt(i)) page->DestroyPage();
}

}  // namespace corvane
