// The main window: "Corvane", seven tabs, resizable, remembering its place.
#pragma once

#include "ui/widgets/ResizableLayout.h"
#include "ui/SettingsStore.h"

#include <QWidget>

class QTabWidget;

namespace corvane {

class CResizablePage;

class CMainSheet : public QWidget {
    Q_OBJECT
public:
    // A top-level window with the caption text; pages are added with AddPage.
    explicit CMainSheet(const QString& caption);

    // Leaving a page asks it first (CResizablePage::CanClose): a page that refuses stays in
    // view, with its message shown and the focus on the control it names.

    // Adds page as the next tab, captioned with the page's caption. The sheet does not own
    // the page's object lifetime decisions beyond Qt parenting; see CMainApp. A window smaller
    // than the page's design size shows the page at that size with scroll bars: nothing is
    // squeezed or hidden, and at the design size or above nothing changes.
    void AddPage(CResizablePage* page);
    // Sets the page shown first; an index outside the pages opens the first page.
    void SetStartPage(int index);
    // Builds the window (icon, font, anchors) at the size of its largest page, or the screen's
    // room when that is smaller. Call once, after the pages are added and before the window is
    // shown.
    void Create();

    QTabWidget* Tabs() const { return tabs_; }
    int ActivePage() const;
    // The page of tab index (null outside the tabs), the page in view, and bringing page into view.
    CResizablePage* PageAt(int index) const;
    CResizablePage* CurrentPage() const;
    void ShowPage(CResizablePage* page);

    // State recorded when the window was destroyed (closed).
    int RecordedActivePage() const { return activePage_; }
    int RecordedMaximized() const { return maximized_; }
    const WindowRect& RecordedRect() const { return rect_; }
    bool IsDestroyed() const { return destroyed_; }

    // Records the active page, the maximised state and the restored rectangle, then lets each
    // initialised page save its values. Runs once; closing the window runs it.
    void DestroyWindow();

Q_SIGNALS:
    // The window was closed for good; the program ends its event loop.
    void WindowDestroyed();

protected:
    // Asks each page in tab order whether it may close (CResizablePage::CanClose); the first
    // refusal keeps the window open and asks no further page. Otherwise DestroyWindow runs
    // and WindowDestroyed is emitted.
    void closeEvent(QCloseEvent* event) override;

private:
    void OnCurrentChanged(int index);

    QTabWidget* tabs_;
    int shownPage_ = 0;       // the page in view, the one asked when it is left
    bool switching_ = false;  // set while the sheet itself moves between pages
    CResizableLayout* layout_;
    int activePage_ = 0;
    int maximized_ = 1;
    WindowRect rect_;
    bool destroyed_ = false;
};

}  // namespace corvane
