// The engine's progress seam on the desktop: a real frame-copy cut reports through the
// adapter, the window keeps processing events, and the dialog's Cancel button stops the cut
// and leaves no piece behind.
#include "TestEnvironment.h"

#include "support/CutDrivers.h"
#include "engine/Progress.h"
#include "engine/cut/CutPlans.h"
#include "support/Mp3Factory.h"
#include "ui/Shell.h"
#include "ui/widgets/DualProgressDialog.h"
#include "ui/widgets/ProgressAdapter.h"
#include "ui/widgets/ProgressDialog.h"

#include <QDir>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <filesystem>

using namespace corvane;

namespace {

// Half an hour at 8000 Hz, mono, 16 kbps: about 3.6 MB, 25000 frames. Cut into many short
// pieces, the cut runs long enough for the Cancel press to land in its middle.
constexpr double kSourceSeconds = 1800;
constexpr int kPieceCount = 300;

// How many pieces must be on disk before the test presses Cancel.
constexpr int kPiecesBeforeCancel = 3;

// Pieces written so far: until the source is done they wait under hidden temporary names.
int PendingPiecesIn(const QString& folder) {
    return static_cast<int>(QDir(folder).entryList({".corvane-*.part"}, QDir::Files | QDir::Hidden).size());
}

// Every file in the folder, hidden ones included.
int FilesIn(const QString& folder) {
    return static_cast<int>(QDir(folder).entryList(QDir::Files | QDir::Hidden).size());
}

// What the watching timer saw while the cut ran.
struct CutWatch {
    int ticks = 0;          // timer runs while the cut was in progress
    int piecesSeen = 0;     // pieces on disk when Cancel was pressed
    bool pressed = false;
    int barWhenPressed = 0; // the engine's bar position at the press
};

}  // namespace

class ProgressAdapterTest : public QObject {
    Q_OBJECT
    std::unique_ptr<test::TempDir> dir_;
    std::string source_;
    int lengthTenths_ = 0;

    QString PiecesFolder() const { return QString::fromStdString(*dir_ / "out"); }

    // Runs a frame-copy cut of the source by count through adapter, with a timer that
    // presses cancelButton once a few pieces are written. The return value of the cut is
    // not looked at: the files on disk and the flag tell what happened.
    CutWatch CutAndCancel(IProgressDialog& adapter, QPushButton* cancelButton, QProgressBar* bar) {
        CutWatch watch;
        bool running = true;
        QTimer watcher;
        watcher.setInterval(0);
        QObject::connect(&watcher, &QTimer::timeout, [&] {
            if (!running) return;
            ++watch.ticks;
            if (watch.pressed) return;
            const int pieces = PendingPiecesIn(PiecesFolder());
            if (pieces < kPiecesBeforeCancel) return;
            watch.piecesSeen = pieces;
            watch.barWhenPressed = bar->value();
            watch.pressed = true;
            QTest::mouseClick(cancelButton, Qt::LeftButton);
        });
        watcher.start();

        CutContext ctx;
        ctx.options.placement.folder = corvane::OutputFolder::Specific;
        ctx.options.placement.specificFolder = PiecesFolder().toStdString() + "/";
        ctx.options.keepTag = false;
        ctx.dialog = &adapter;
        (void)test::CutFileByCount(ctx, source_, lengthTenths_, kPieceCount);
        running = false;
        watcher.stop();
        return watch;
    }

private Q_SLOTS:
    void initTestCase() {
        dir_ = std::make_unique<test::TempDir>();
        test::EncodeOptions o;
        o.sampleRate = 8000;
        o.channels = 1;
        o.mode = test::Mode::Mono;
        o.kbps = 16;
        o.seconds = kSourceSeconds;
        source_ = *dir_ / "long.mp3";
        test::WriteFile(source_, test::EncodeMp3(o));
        lengthTenths_ = SourceLengthTenths(source_);
        QVERIFY(lengthTenths_ > kPieceCount * 10);
        SetMessagePump(&ProcessPendingEvents);
    }

    void cleanupTestCase() {
        SetMessagePump(nullptr);
        dir_.reset();
    }

    void init() { std::filesystem::remove_all(PiecesFolder().toStdString()); }

    void cancelButtonStopsTheCutAndLeavesNoPiece() {
        auto* dialog = new CProgressDialog;
        QPointer<CProgressDialog> guard(dialog);
        dialog->show();
        CProgressAdapter adapter(dialog);

        const CutWatch watch = CutAndCancel(adapter, dialog->CancelButton(), dialog->Bar());

        QVERIFY(watch.pressed);
        QVERIFY(watch.piecesSeen >= kPiecesBeforeCancel);
        QVERIFY(watch.piecesSeen < kPieceCount);
        QCOMPARE(adapter.cancelled.load(), 1);
        QVERIFY(dialog->cancelled);
        QCOMPARE(FilesIn(PiecesFolder()), 0);
        // The window kept processing events while the cut ran: the timer ran again after the
        // press, and the engine moved the dialog's bar.
        QVERIFY(watch.ticks > 1);
        QVERIFY(watch.barWhenPressed > 0);
        dialog->PostClose();
        QTRY_VERIFY(guard.isNull());
    }

    void batchDialogReportsOnItsUpperBarAndCancels() {
        auto* dialog = new CDualProgressDialog;
        QPointer<CDualProgressDialog> guard(dialog);
        dialog->LowerBar()->setRange(0, 10);
        dialog->LowerBar()->setValue(4);
        dialog->show();
        CProgressAdapter adapter(dialog);

        const CutWatch watch = CutAndCancel(adapter, dialog->CancelButton(), dialog->UpperBar());

        QVERIFY(watch.pressed);
        QVERIFY(watch.barWhenPressed > 0);
        QCOMPARE(adapter.cancelled.load(), 1);
        QCOMPARE(FilesIn(PiecesFolder()), 0);
        // The whole-run bar is the page's: the engine left it alone.
        QCOMPARE(dialog->LowerBar()->value(), 4);
        QCOMPARE(dialog->LowerBar()->maximum(), 10);
        dialog->PostClose();
        QTRY_VERIFY(guard.isNull());
    }

    void statusTextAndBarReachTheDialog() {
        auto* dialog = new CProgressDialog;
        dialog->show();
        CProgressAdapter adapter(dialog);
        adapter.SetStatusText("Cutting \xc3\xa9t\xc3\xa9.mp3...");
        QCOMPARE(dialog->Text(), QStringLiteral("Cutting \u00e9t\u00e9.mp3..."));
        IProgressBar& bar = adapter.Bar();
        QCOMPARE(bar.Steps(), dialog->Bar()->width());
        bar.SetRange(0, 50);
        bar.SetPosition(20);
        QCOMPARE(dialog->Bar()->maximum(), 50);
        QCOMPARE(dialog->Bar()->value(), 20);
        QCOMPARE(adapter.cancelled.load(), 0);
        dialog->PostClose();
        dialog = nullptr;
    }

    void adapterOutlivesItsClosedDialogQuietly() {
        auto* dialog = new CProgressDialog;
        QPointer<CProgressDialog> guard(dialog);
        dialog->show();
        auto adapter = std::make_unique<CProgressAdapter>(dialog);
        const int width = adapter->Bar().Steps();
        QTest::mouseClick(dialog->CancelButton(), Qt::LeftButton);
        QCOMPARE(adapter->cancelled.load(), 1);
        dialog->PostClose();
        QTRY_VERIFY(guard.isNull());
        adapter->Bar().SetRange(0, 5);
        adapter->Bar().SetPosition(3);
        adapter->SetStatusText("gone");
        QCOMPARE(adapter->Bar().Steps(), width);
        QCOMPARE(adapter->cancelled.load(), 1);
        adapter.reset();
    }

    void pressBeforeTheAdapterCounts() {
        auto* dialog = new CDualProgressDialog;
        dialog->show();
        QTest::mouseClick(dialog->CancelButton(), Qt::LeftButton);
        CProgressAdapter adapter(dialog);
        QCOMPARE(adapter.cancelled.load(), 1);
        dialog->PostClose();
    }

    void engineMessagePumpRunsQtEvents() {
        bool fired = false;
        QTimer::singleShot(0, [&fired] { fired = true; });
        QTest::qWait(10);  // let the rate limit of the event processing pass
        fired = false;
        QTimer::singleShot(0, [&fired] { fired = true; });
        PumpMessages();
        QVERIFY(fired);
    }
};

CORVANE_TEST_MAIN(ProgressAdapterTest)
#include "ProgressAdapterTest.moc"
