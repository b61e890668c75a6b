// Start-up and exit of the program: audio start, first run, window state, pages.
#include "TestEnvironment.h"

#include "app/HelpWindow.h"
#include "app/MainApp.h"
#include "app/MainSheet.h"
#include "app/SingleInstance.h"
#include "ui/MessageBox.h"
#include "ui/SettingsStore.h"
#include "ui/pages/PageBatchJoiner.h"
#include "ui/pages/PageJoiner.h"
#include "ui/pages/PageJoinerOpt.h"
#include "ui/pages/PageSplitter.h"
#include "support/Mp3Factory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTreeWidget>

#include <unistd.h>

#include <vector>

using namespace corvane;

namespace {

// A stand-in audio library that records its calls.
struct FakeAudio {
    static inline uint32_t version = 0x02040000;
    static inline bool defaultDeviceWorks = true;
    static inline bool noSoundDeviceWorks = true;
    static inline std::vector<QString> calls;

    static uint32_t GetVersion() { calls.push_back("GetVersion"); return version; }
    static bool Init(int device, uint32_t freq) {
        calls.push_back(QString("Init %1 %2").arg(device).arg(freq));
        return device == -1 ? defaultDeviceWorks : noSoundDeviceWorks;
    }
    static bool SetConfig(uint32_t option, uint32_t value) {
        calls.push_back(QString("SetConfig %1 %2").arg(option).arg(value));
        return true;
    }
    static bool Free() { calls.push_back("Free"); return true; }

    static AudioStartup Startup() {
        return AudioStartup{&GetVersion, &Init, &SetConfig, &Free};
    }
    static void Reset() {
        version = 0x02040000;
        defaultDeviceWorks = true;
        noSoundDeviceWorks = true;
        calls.clear();
    }
};

void Store(const QString& key, const QVariant& value) {
    auto s = OpenSettings();
    s->setValue(key, value);
    s->sync();
}

QVariant Stored(const QString& key) { return OpenSettings()->value(key); }

void MarkNotFirstRun() { Store("Options/FirstRun", 0); }

void CloseWindow(CMainApp& app) {
    app.Sheet()->close();
    QApplication::processEvents();
}

}  // namespace

class MainAppTest : public QObject {
    Q_OBJECT
    std::vector<QString> messages_;

private Q_SLOTS:
    void init() {
        test::UseFreshSettings();
        FakeAudio::Reset();
        messages_.clear();
        SetMessageHandler([this](const QString& text, QMessageBox::Icon) {
            messages_.push_back(text);
            return QMessageBox::Ok;
        });
    }
    void cleanup() { SetMessageHandler({}); }

    void startsWithSevenPagesInOrder() {
        MarkNotFirstRun();
        CMainApp app(FakeAudio::Startup());
        QVERIFY(app.InitInstance());
        QCOMPARE(app.Sheet()->windowTitle(), QString("Corvane"));
        QVERIFY(app.Sheet()->isVisible());
        const QStringList expected = {"MP3 Cutter", "MP3 Batch Cutter", "MP3 Joiner",
                                      "MP3 Batch Joiner", "Cutter Options", "Joiner Options",
                                      "About"};
        QStringList captions;
        for (int i = 0; i < app.Sheet()->Tabs()->count(); ++i)
            captions << app.Sheet()->Tabs()->tabText(i);
        QCOMPARE(captions, expected);
        QCOMPARE(app.Sheet()->ActivePage(), 0);
        QVERIFY(app.Sheet()->isMaximized());  // nothing stored: maximised
        QCOMPARE(app.SoundOutput(), 1);
        const std::vector<QString> startCalls = {"GetVersion", "Init -1 44100", "SetConfig 23 100000"};
        QCOMPARE(FakeAudio::calls, startCalls);
        CloseWindow(app);
        QCOMPARE(app.ExitInstance(), 0);
        QCOMPARE(FakeAudio::calls.back(), QString("Free"));
        QVERIFY(messages_.empty());
    }

    void fallsBackToNoSoundDeviceWithoutAMessage() {
        MarkNotFirstRun();
        FakeAudio::defaultDeviceWorks = false;
        CMainApp app(FakeAudio::Startup());
        QVERIFY(app.InitInstance());
        QCOMPARE(app.SoundOutput(), 0);
        const std::vector<QString> startCalls = {"GetVersion", "Init -1 44100", "Init 0 44100",
                                                 "SetConfig 23 100000"};
        QCOMPARE(FakeAudio::calls, startCalls);
        QVERIFY(app.Sheet()->isVisible());
        QVERIFY(messages_.empty());
        CloseWindow(app);
        app.ExitInstance();
    }

    void noDeviceAtAllStopsWithTheMessage() {
        FakeAudio::defaultDeviceWorks = false;
        FakeAudio::noSoundDeviceWorks = false;
        CMainApp app(FakeAudio::Startup());
        QVERIFY(!app.InitInstance());
        QCOMPARE(messages_.size(), size_t(1));
        QCOMPARE(messages_[0], QString("Failed to initialize the program (0x0002020)."));
        QVERIFY(app.Sheet() == nullptr);
        QVERIFY(!Stored("Options/FirstRun").isValid());  // ended before the first-run check
    }

    void otherLibraryVersionStopsSilently() {
        FakeAudio::version = 0x02050000;
        CMainApp app(FakeAudio::Startup());
        QVERIFY(!app.InitInstance());
        QVERIFY(messages_.empty());
        QVERIFY(app.Sheet() == nullptr);
        QVERIFY(OpenSettings()->allKeys().isEmpty());
        QCOMPARE(FakeAudio::calls, std::vector<QString>{"GetVersion"});
    }

    void firstStartOpensTheHelpOnce() {
        {
            CMainApp app(FakeAudio::Startup());
            QVERIFY(app.InitInstance());
            QVERIFY(app.HelpWindow() != nullptr);
            QCOMPARE(app.HelpWindow()->windowTitle(), QString("Corvane Help"));
            QVERIFY(app.HelpWindow()->isMaximized());
            QVERIFY(app.HelpWindow()->toPlainText().contains("Corvane"));
            QCOMPARE(Stored("Options/FirstRun").toInt(), 0);
            CloseWindow(app);
            app.ExitInstance();
            QVERIFY(app.HelpWindow() == nullptr || !app.HelpWindow()->isVisible());
        }
        QApplication::processEvents();
        CMainApp again(FakeAudio::Startup());
        QVERIFY(again.InitInstance());
        QVERIFY(again.HelpWindow() == nullptr);
        CloseWindow(again);
        again.ExitInstance();
    }

    void helpCommandRaisesTheOpenHelpWindow() {
        MarkNotFirstRun();
        CMainApp app(FakeAudio::Startup());
        QVERIFY(app.InitInstance());
        app.Help();
        CHelpWindow* first = app.HelpWindow();
        QVERIFY(first != nullptr);
        QVERIFY(!first->isMaximized());
        app.Help();
        QCOMPARE(app.HelpWindow(), first);
        int helpWindows = 0;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->windowTitle() == "Corvane Help" && w->isVisible()) ++helpWindows;
        QCOMPARE(helpWindows, 1);
        // The guide covers what the pages offer, and only that.
        const QString guide = first->toPlainText();
        for (const char* topic : {"waveform", "Add Pieces at Silences", "Load CUE Sheet", "corvane FILE"})
            QVERIFY2(guide.contains(QLatin1String(topic)), topic);
        QVERIFY(!guide.contains(QLatin1String("FLAC")));
        CloseWindow(app);
        app.ExitInstance();
    }

    void anOptionsPageThatRefusesKeepsTheUserOnItAndTheWindowOpen() {
        MarkNotFirstRun();
        Store("Options/StartPage", 5);
        Store("Options/Joiner/OutputFolderOpt", 299);
        Store("Options/Joiner/SpecifiedOutputFolder", "");
        CMainApp app(FakeAudio::Startup());
        QVERIFY(app.InitInstance());
        QCOMPARE(app.Sheet()->CurrentPage(), static_cast<CResizablePage*>(app.PageJoinerOpt()));
        QTabBar* bar = app.Sheet()->Tabs()->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(0).center());
        QCOMPARE(app.Sheet()->ActivePage(), 5);
        QVERIFY(!app.Sheet()->close());
        QVERIFY(!app.Sheet()->IsDestroyed());
        QCOMPARE(messages_, (std::vector<QString>{"Please choose an output folder.",
                                                  "Please choose an output folder."}));

        auto* folder = app.PageJoinerOpt()->findChild<QLineEdit*>("specificFolderEdit");
        QVERIFY(folder != nullptr);
        QTest::keyClicks(folder, "/tmp/joined/");
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(0).center());
        QCOMPARE(app.Sheet()->ActivePage(), 0);
        CloseWindow(app);
        QVERIFY(app.Sheet()->IsDestroyed());
        app.ExitInstance();
        QCOMPARE(Stored("Options/Joiner/SpecifiedOutputFolder").toString(), QString("/tmp/joined/"));
    }

    void startPageIsStoredOnCloseAndUsedAtTheNextStart() {
        MarkNotFirstRun();
        {
            CMainApp app(FakeAudio::Startup());
            QVERIFY(app.InitInstance());
            app.Sheet()->Tabs()->setCurrentIndex(3);
            QApplication::processEvents();
            CloseWindow(app);
            app.ExitInstance();
        }
        QCOMPARE(Stored("Options/StartPage").toInt(), 3);
        CMainApp app(FakeAudio::Startup());
        QVERIFY(app.InitInstance());
        QCOMPARE(app.Sheet()->ActivePage(), 3);
        QCOMPARE(app.Sheet()->CurrentPage(), static_cast<CResizablePage*>(app.PageBatchJoiner()));
        CloseWindow(app);
        app.ExitInstance();
    }

    void pagesShowTheirControlsWhenOpened() {
        MarkNotFirstRun();
        CMainApp app(FakeAudio::Startup());
        QVERIFY(app.InitInstance());
        app.Sheet()->Tabs()->setCurrentIndex(6);
        QApplication::processEvents();
        const QList<QPushButton*> buttons = app.Sheet()->Tabs()->currentWidget()->findChildren<QPushButton*>();
        QCOMPARE(buttons.size(), 3);
        for (QPushButton* b : buttons) QVERIFY(b->isVisible());
        CloseWindow(app);
        app.ExitInstance();
    }

    // A page opened for the first time shows its controls, never its list's context menu.
    void openingEachPageShowsNoOtherWindow() {
        MarkNotFirstRun();
        Store("Options/StartPage", 6);
        CMainApp app(FakeAudio::Startup());
        QVERIFY(app.InitInstance());
        for (int page = 0; page < app.Sheet()->Tabs()->count(); ++page) {
            app.Sheet()->Tabs()->setCurrentIndex(page);
            QApplication::processEvents();
            for (QWidget* window : QApplication::topLevelWidgets()) {
                QVERIFY2(!window->isVisible() || window == app.Sheet(), qPrintable(window->metaObject()->className()));
            }
        }
        CloseWindow(app);
        app.ExitInstance();
    }

    // Files from the command line or a later start: one opens on the cutter page, several
    // are listed on the joiner page.
    void filesOpenOnTheCutterOrTheJoinerPage() {
        MarkNotFirstRun();
        test::TempDir dir;
        const std::string a = dir / "a.mp3";
        const std::string b = dir / "b.mp3";
        test::WriteFile(a, test::EncodeMp3(test::EncodeOptions{}));
        test::WriteFile(b, test::EncodeMp3(test::EncodeOptions{}));
        CMainApp app(FakeAudio::Startup());
        QVERIFY(app.InitInstance());
        app.OpenFiles({QString::fromStdString(a)});
        QCOMPARE(app.Sheet()->CurrentPage(), static_cast<CResizablePage*>(app.PageSplitter()));
        QCOMPARE(app.PageSplitter()->SourcePath(), QString::fromStdString(a));
        app.OpenFiles({QString::fromStdString(a), QString::fromStdString(b)});
        QCOMPARE(app.Sheet()->CurrentPage(), static_cast<CResizablePage*>(app.PageJoiner()));
        QCOMPARE(app.PageJoiner()->findChild<QTreeWidget*>()->topLevelItemCount(), 2);
        QVERIFY(messages_.empty());
        CloseWindow(app);
        app.ExitInstance();
    }

    // A later start's files reach the running window through its socket.
    void aLaterStartHandsItsFilesToTheRunningWindow() {
        const QString name = QStringLiteral("corvane-test-%1").arg(QCoreApplication::applicationPid());
        QVERIFY(!HandOffToRunning(name, {}));  // nobody listens yet
        CInstanceServer server;
        QVERIFY(server.Listen(name));
        QStringList received = {QStringLiteral("not yet")};
        connect(&server, &CInstanceServer::FilesReceived, this, [&received](const QStringList& files) { received = files; });
        QVERIFY(HandOffToRunning(name, {QStringLiteral("/music/one.mp3"), QStringLiteral("/music/two words.mp3")}));
        QTRY_COMPARE(received, (QStringList{"/music/one.mp3", "/music/two words.mp3"}));
        QVERIFY(HandOffToRunning(name, {}));
        QTRY_COMPARE(received, QStringList());
    }

    // The socket of a program that was killed is replaced; the new one is the user's alone
    // and goes when the server does.
    void theSocketOfAKilledProgramIsTakenOver() {
        const QString path = QDir::tempPath() + QStringLiteral("/corvane-test-stale-%1").arg(QCoreApplication::applicationPid());
        {
            CInstanceServer killed;
            QVERIFY(killed.Listen(path));
            QVERIFY(::link(QFile::encodeName(path).constData(), QFile::encodeName(path + ".kept").constData()) == 0);
        }
        QVERIFY(QFile::rename(path + ".kept", path));  // a socket file nobody listens on
        QVERIFY(!HandOffToRunning(path, {}));
        {
            CInstanceServer server;
            QVERIFY(server.Listen(path));
            QCOMPARE(QFileInfo(path).permissions() & 0x7777, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                               QFile::ReadUser | QFile::WriteUser | QFile::ExeUser);
            QStringList received;
            connect(&server, &CInstanceServer::FilesReceived, this, [&received](const QStringList& files) { received = files; });
            QVERIFY(HandOffToRunning(path, {QStringLiteral("/music/three.mp3")}));
            QTRY_COMPARE(received, QStringList{"/music/three.mp3"});
        }
        QVERIFY(!QFileInfo::exists(path));
    }

    void startPageOutsideThePagesOpensTheFirst() {
        MarkNotFirstRun();
        Store("Options/StartPage", 42);
        CMainApp app(FakeAudio::Startup());
        QVERIFY(app.InitInstance());
        QCOMPARE(app.Sheet()->ActivePage(), 0);
        CloseWindow(app);
        app.ExitInstance();
    }

    void restoredRectangleRoundTrips() {
        MarkNotFirstRun();
        WindowSettings stored;
        stored.maximized = 0;
        stored.rect = WindowRect{40, 50, 1240, 950};
        stored.Save();
        {
            CMainApp app(FakeAudio::Startup());
            QVERIFY(app.InitInstance());
            QVERIFY(!app.Sheet()->isMaximized());
            QCOMPARE(app.Sheet()->geometry(), QRect(40, 50, 1200, 900));
            CloseWindow(app);
            app.ExitInstance();
        }
        WindowSettings back;
        back.Load();
        QCOMPARE(back.maximized, 0);
        QCOMPARE(back.rect.left, 40);
        QCOMPARE(back.rect.top, 50);
        QCOMPARE(back.rect.right, 1240);
        QCOMPARE(back.rect.bottom, 950);
    }

    void emptyStoredRectangleKeepsTheCreatedPlace() {
        MarkNotFirstRun();
        Store("Options/WndMaximized", 0);
        QByteArray bytes(16, '\0');
        bytes[8] = 100;  // right 100, bottom 0: empty
        Store("Options/WndPosition", bytes);
        CMainApp app(FakeAudio::Startup());
        QVERIFY(app.InitInstance());
        // The size it was made with: its pages' design size where the screen has room.
        QVERIFY(app.Sheet()->size().width() > app.Sheet()->minimumSize().width());
        CloseWindow(app);
        app.ExitInstance();
        WindowSettings back;
        back.Load();
        QVERIFY(!back.rect.IsEmpty());
    }

    void closingWhileMaximisedStoresTheRestoredRectangle() {
        MarkNotFirstRun();
        WindowSettings stored;
        stored.maximized = 1;
        stored.rect = WindowRect{30, 40, 1130, 840};
        stored.Save();
        {
            CMainApp app(FakeAudio::Startup());
            QVERIFY(app.InitInstance());
            QVERIFY(app.Sheet()->isMaximized());
            CloseWindow(app);
            app.ExitInstance();
        }
        WindowSettings back;
        back.Load();
        QCOMPARE(back.maximized, 1);
        QCOMPARE(back.rect.right - back.rect.left, 1100);
        QCOMPARE(back.rect.bottom - back.rect.top, 800);
    }

    void pageNeverShownRewritesNothing() {
        MarkNotFirstRun();
        Store("Options/Joiner/MP3ChannelMode", 2);
        Store("Options/BatchJoiner/JoinType", 1);
        {
            CMainApp app(FakeAudio::Startup());
            QVERIFY(app.InitInstance());
            CloseWindow(app);
            app.ExitInstance();
        }
        QCOMPARE(Stored("Options/Joiner/MP3ChannelMode").toInt(), 2);
        QVERIFY(!Stored("Options/Joiner/BrowseFolder").isValid());
        {
            CMainApp app(FakeAudio::Startup());
            QVERIFY(app.InitInstance());
            app.Sheet()->Tabs()->setCurrentIndex(5);  // joiner options: shown, so saved
            app.Sheet()->Tabs()->setCurrentIndex(3);  // batch joiner
            QApplication::processEvents();
            QVERIFY(app.PageJoinerOpt()->IsInitialised());
            CloseWindow(app);
            app.ExitInstance();
        }
        QCOMPARE(Stored("Options/Joiner/MP3ChannelMode").toInt(), 1);
        QCOMPARE(Stored("Options/Joiner/BrowseFolder").toInt(), 1);
        QCOMPARE(Stored("Options/BatchJoiner/JoinType").toInt(), 1);
        QVERIFY(!Stored("Options/BatchJoiner/Folder").isValid());  // join-type group only
    }
};

CORVANE_TEST_MAIN(MainAppTest)
#include "MainAppTest.moc"
