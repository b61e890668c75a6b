// Anchor layout: margins, truncating arithmetic, callback entries, minimum window size.
#include "TestEnvironment.h"

#include "app/MainSheet.h"
#include "ui/widgets/ResizableLayout.h"
#include "ui/pages/ResizablePage.h"

#include <QScrollArea>
#include <QScrollBar>
#include <QTabWidget>

#include <QPushButton>

using namespace corvane;

class ResizableLayoutTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() { test::UseFreshSettings(); }

    void topLeftToBottomRightGrowsByExactlyTheGrowth() {
        QWidget container;
        container.resize(400, 300);
        auto* layout = new CResizableLayout(&container);
        auto* list = new QWidget(&container);
        list->setGeometry(10, 20, 200, 150);
        layout->AddAnchor(list, kTopLeft, kBottomRight);
        layout->SetInitialised(true);
        container.resize(500, 360);
        container.show();
        QApplication::processEvents();
        QCOMPARE(list->geometry(), QRect(10, 20, 300, 210));
    }

    void bottomCentreToBottomRightGrowsByHalfAndMovesDown() {
        QWidget container;
        container.resize(400, 300);
        auto* layout = new CResizableLayout(&container);
        auto* bar = new QWidget(&container);
        bar->setGeometry(210, 250, 180, 30);
        layout->AddAnchor(bar, kBottomCentre, kBottomRight);
        layout->SetInitialised(true);
        layout->Arrange(QSize(500, 360));
        // Left edge follows half the width growth (50), the right edge all of it (100).
        QCOMPARE(bar->geometry(), QRect(260, 310, 230, 30));
    }

    void halfOfAnOddWidthTruncates() {
        const LayoutEntry e = CResizableLayout::MakeEntry(QRect(0, 0, 10, 10), QSize(0, 0),
                                                          kMiddleCentre, kMiddleCentre);
        const QRect placed = CResizableLayout::PlaceEntry(e, QSize(501, 301));
        QCOMPARE(placed.x(), 250);
        QCOMPARE(placed.y(), 150);
        // Margins are taken with the same truncation: a control at 251 in a 501 container
        // anchored at 50 % keeps a margin of 1.
        const LayoutEntry m = CResizableLayout::MakeEntry(QRect(251, 0, 10, 10), QSize(501, 100),
                                                          kTopCentre, kTopCentre);
        QCOMPARE(m.topLeftMargin.x(), 1);
        QCOMPARE(CResizableLayout::PlaceEntry(m, QSize(601, 100)).x(), 301);
    }

    void noBottomRightAnchorKeepsTheSize() {
        QWidget container;
        container.resize(400, 300);
        auto* layout = new CResizableLayout(&container);
        auto* button = new QPushButton(&container);
        button->setGeometry(300, 10, 80, 24);
        layout->AddAnchor(button, kTopRight);
        layout->SetInitialised(true);
        layout->Arrange(QSize(460, 200));
        QCOMPARE(button->geometry(), QRect(360, 10, 80, 24));
    }

    void nothingMovesBeforeInitialisation() {
        QWidget container;
        container.resize(400, 300);
        auto* layout = new CResizableLayout(&container);
        auto* w = new QWidget(&container);
        w->setGeometry(10, 10, 50, 50);
        layout->AddAnchor(w, kTopLeft, kBottomRight);
        layout->setGeometry(QRect(0, 0, 600, 600));
        QCOMPARE(w->geometry(), QRect(10, 10, 50, 50));
    }

    void callbackEntrySeesTheMovedControls() {
        QWidget container;
        container.resize(400, 300);
        auto* layout = new CResizableLayout(&container);
        auto* tabs = new QWidget(&container);
        tabs->setGeometry(5, 5, 390, 290);
        auto* page = new QWidget(&container);
        page->setGeometry(10, 30, 380, 260);
        layout->AddAnchor(tabs, kTopLeft, kBottomRight);
        layout->AddCallbackEntry(1);
        QRect seen;
        bool decline = false;
        layout->SetCallback([&](int id, LayoutEntry* e) {
            if (decline) return false;
            seen = tabs->geometry();
            *e = CResizableLayout::MakeEntry(QRect(10, 30, 380, 260), QSize(400, 300), kTopLeft,
                                             kBottomRight);
            e->control = page;
            return id == 1;
        });
        layout->SetInitialised(true);
        layout->Arrange(QSize(500, 400));
        QCOMPARE(seen, QRect(5, 5, 490, 390));
        QCOMPARE(page->geometry(), QRect(10, 30, 480, 360));
        decline = true;
        layout->Arrange(QSize(450, 350));
        QCOMPARE(page->geometry(), QRect(10, 30, 480, 360));  // a declined entry stays
    }

    // Smaller than its page's design, the window scrolls the page, which keeps that size;
    // from the design size on, the page follows the window and nothing scrolls.
    void aWindowSmallerThanItsPageScrollsIt() {
        CMainSheet sheet("Corvane");
        auto* page = new CResizablePage("A", 400, 300);
        sheet.AddPage(page);
        sheet.Create();
        sheet.show();
        const QSize design = page->DesignSize();
        auto* scroll = qobject_cast<QScrollArea*>(sheet.Tabs()->currentWidget());
        QVERIFY(scroll != nullptr);
        sheet.resize(sheet.minimumSize());  // 480 x 320, below the page's 700 x 488
        QApplication::processEvents();
        QCOMPARE(sheet.size(), QSize(480, 320));
        QCOMPARE(page->size(), design);
        QVERIFY(scroll->horizontalScrollBar()->isVisible() && scroll->verticalScrollBar()->isVisible());
        sheet.resize(design + QSize(100, 100));
        QApplication::processEvents();
        QVERIFY(!scroll->horizontalScrollBar()->isVisible() && !scroll->verticalScrollBar()->isVisible());
        QCOMPARE(page->size(), scroll->viewport()->size());
    }

    void tabsFollowTheWindowGrowth() {
        CMainSheet sheet("Corvane");
        sheet.AddPage(new CResizablePage("A", 200, 100));
        sheet.Create();
        const QSize tabs = sheet.Tabs()->size();
        sheet.show();
        sheet.resize(sheet.size() + QSize(100, 60));
        QApplication::processEvents();
        QCOMPARE(sheet.Tabs()->size(), tabs + QSize(100, 60));
    }
};

CORVANE_TEST_MAIN(ResizableLayoutTest)
#include "ResizableLayoutTest.moc"
