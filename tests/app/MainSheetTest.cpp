// Closing the main window: every page is asked in tab order, and one refusal keeps it open.
#include "TestEnvironment.h"

#include "app/MainSheet.h"
#include "ui/pages/ResizablePage.h"

#include <QSignalSpy>
#include <QTabBar>
#include <QTabWidget>

#include <vector>

using namespace corvane;

namespace {

// A page that records when it is asked and answers as told.
class CAnsweringPage : public CResizablePage {
public:
    CAnsweringPage(const QString& caption, bool answer, std::vector<QString>* asked)
        : CResizablePage(caption, 100, 100), answer_(answer), asked_(asked) {}
    bool CanClose() override {
        asked_->push_back(Caption());
        return answer_;
    }
    void SetAnswer(bool answer) { answer_ = answer; }

private:
    bool answer_;
    std::vector<QString>* asked_;
};

}  // namespace

class MainSheetTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { test::UseFreshSettings(); }

    void closeAsksEveryPageInTabOrder() {
        std::vector<QString> asked;
        CMainSheet sheet(QStringLiteral("Corvane"));
        sheet.AddPage(new CAnsweringPage("one", true, &asked));
        sheet.AddPage(new CAnsweringPage("two", true, &asked));
        sheet.AddPage(new CAnsweringPage("three", true, &asked));
        sheet.Create();
        sheet.show();
        QSignalSpy destroyed(&sheet, &CMainSheet::WindowDestroyed);
        QVERIFY(sheet.close());
        QCOMPARE(asked, (std::vector<QString>{"one", "two", "three"}));
        QVERIFY(sheet.IsDestroyed());
        QCOMPARE(destroyed.count(), 1);
    }

    void refusingPageKeepsTheWindowOpenAndStopsTheQuestions() {
        std::vector<QString> asked;
        CMainSheet sheet(QStringLiteral("Corvane"));
        sheet.AddPage(new CAnsweringPage("one", true, &asked));
        auto* refusing = new CAnsweringPage("two", false, &asked);
        sheet.AddPage(refusing);
        sheet.AddPage(new CAnsweringPage("three", true, &asked));
        sheet.Create();
        sheet.show();
        QSignalSpy destroyed(&sheet, &CMainSheet::WindowDestroyed);
        QVERIFY(!sheet.close());
        QCOMPARE(asked, (std::vector<QString>{"one", "two"}));
        QVERIFY(sheet.isVisible());
        QVERIFY(!sheet.IsDestroyed());
        QCOMPARE(destroyed.count(), 0);

        refusing->SetAnswer(true);
        asked.clear();
        QVERIFY(sheet.close());
        QCOMPARE(asked.size(), size_t(3));
        QCOMPARE(destroyed.count(), 1);
    }

    void leavingARefusingPageKeepsItInView() {
        std::vector<QString> asked;
        CMainSheet sheet(QStringLiteral("Corvane"));
        auto* first = new CAnsweringPage("one", false, &asked);
        sheet.AddPage(first);
        sheet.AddPage(new CAnsweringPage("two", true, &asked));
        sheet.Create();
        sheet.show();
        QTabBar* bar = sheet.Tabs()->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(1).center());
        QCOMPARE(sheet.ActivePage(), 0);
        QCOMPARE(asked, (std::vector<QString>{"one"}));

        first->SetAnswer(true);
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(1).center());
        QCOMPARE(sheet.ActivePage(), 1);
        QCOMPARE(asked, (std::vector<QString>{"one", "one"}));
    }

    void pagesAcceptByDefault() {
        CResizablePage page(QStringLiteral("plain"), 10, 10);
        QVERIFY(page.CanClose());
    }
};

CORVANE_TEST_MAIN(MainSheetTest)
#include "MainSheetTest.moc"
