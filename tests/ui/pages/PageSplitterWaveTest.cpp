// Cutter page, the waveform zoomed: a boundary placed by the pointer at a millisecond a pixel
// and cut there to the sample, nudges by a frame and a second, snapping to silences, and K.
//
// With CORVANE_BENCH_ZOOM set to an MP3 file, zoomStepsOfABenchFile zooms into its middle and
// reports how late the event loop answered while the stretches were decoded.
#include "TestEnvironment.h"
#include "pages/PageFixture.h"
#include "support/Recording.h"

#include "audio/AudioLibrary.h"
#include "support/CliRunner.h"
#include "support/Mp3Factory.h"
#include "ui/MessageBox.h"
#include "ui/Shell.h"
#include "ui/pages/PageSplitter.h"
#include "ui/widgets/WaveformStrip.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <QTreeWidget>
#include <QWheelEvent>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <memory>

using namespace corvane;
using test::OutputDevice;
using test::kNoSoundDevice;
using test::kOutputRate;

namespace {

constexpr int kHourRate = 8000;


void Click(QWidget* widget) { QTest::mouseClick(widget, Qt::LeftButton, Qt::NoModifier, widget->rect().center()); }

// One notch of the wheel at x, with modifiers.
void Wheel(QWidget* widget, int x, Qt::KeyboardModifiers modifiers, int notches = 1) {
    const QPointF at(x, widget->height() / 2.0);
    QWheelEvent event(at, widget->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches), Qt::NoButton, modifiers,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(widget, &event);
}

}  // namespace

class PageSplitterWaveTest : public QObject {
    Q_OBJECT
    std::unique_ptr<test::TempDir> dir_;
    std::string song_;  // 30 s, 44100 Hz: frames of 1152 samples
    std::string talk_;  // tones with silences of 1.5 s at 2.0 and 6.0 s
    std::vector<QString> shown_;
    CutterPageOptions options_;
    std::unique_ptr<CPageSplitter> page_;

    void ShowPage(bool sound = false) {
        page_ = std::make_unique<CPageSplitter>();
        page_->SetOptionsSource(&options_);
        page_->SetSoundOutput(sound);
        page_->resize(900, 640);
        test::ShowActive(page_.get());
    }
    template <typename T = QWidget>
    T* Get(const char* name) {
        return test::FindControl<T>(page_.get(), name);
    }
    void Open(const std::string& path) {
        SetFilePicker([path](const QString&, FileDialogMode, const QStringList&) {
            return QStringList{QString::fromStdString(path)};
        });
        Click(Get("openButton"));
        QCOMPARE(page_->SourcePath(), QString::fromStdString(path));
        Click(Get("byCustom"));
    }
    QSlider* Slider() { return Get<QSlider>("positionSlider"); }
    CWaveformStrip* Strip() { return Get<CWaveformStrip>("waveformStrip"); }
    QTreeWidget* List() { return Get<QTreeWidget>("pieceList"); }
    QString Cell(int row, int column) { return List()->topLevelItem(row)->text(column); }
    // Pieces at each tenth of at (slider keys and the time box), the row of the last selected.
    void AddPieces(std::initializer_list<int> at) {
        for (int tenths : at) {
            QTest::keyClick(Slider(), Qt::Key_Home);
            for (int i = 0; i < tenths / 10; ++i) QTest::keyClick(Get("timeBox"), Qt::Key_Up);
            for (int i = 0; i < tenths % 10; ++i) QTest::keyClick(Slider(), Qt::Key_Right);
            Click(Get("addButton"));
        }
    }
    void SelectRow(int row) {
        QTest::mouseClick(List()->viewport(), Qt::LeftButton, Qt::NoModifier,
                          List()->visualItemRect(List()->topLevelItem(row)).center());
    }
    // Presses the strip at x, drags to to and lets go there with modifiers.
    void Drag(int x, int to, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        const int y = Strip()->height() / 2;
        QTest::mousePress(Strip(), Qt::LeftButton, Qt::NoModifier, QPoint(x, y));
        QTest::mouseMove(Strip(), QPoint((x + to) / 2, y));
        QTest::mouseMove(Strip(), QPoint(to, y));
        QTest::mouseRelease(Strip(), Qt::LeftButton, modifiers, QPoint(to, y));
    }
    int X(double seconds) { return static_cast<int>(std::lround(Strip()->XAt(seconds))); }

private Q_SLOTS:
    void initTestCase() {
        audio::Init(kNoSoundDevice, kOutputRate);
        dir_ = std::make_unique<test::TempDir>();
        test::EncodeOptions o;
        o.seconds = 30.0;
        song_ = *dir_ / "song.mp3";
        test::WriteFile(song_, test::EncodeMp3(o));
        talk_ = *dir_ / "talk.mp3";
        test::WriteFile(talk_, test::Recording({{2.0, true}, {1.5, false}, {2.5, true}, {1.5, false}, {2.0, true}}));
        qputenv("XDG_CACHE_HOME", QByteArray::fromStdString(*dir_ / "cache"));
        SetMessagePump(&ProcessPendingEvents);
    }
    void cleanupTestCase() {
        SetMessagePump(nullptr);
        audio::Free();
        dir_.reset();
    }
    void init() {
        test::UseFreshSettings();
        shown_.clear();
        options_ = CutterPageOptions{};
        options_.browseFolder = false;
        SetMessageHandler([this](const QString& text, QMessageBox::Icon) {
            shown_.push_back(text);
            return QMessageBox::Ok;
        });
        SetShellOpener([](const QUrl&) { return true; });
    }
    void cleanup() {
        page_.reset();
        SetMessageHandler({});
        SetShellOpener({});
        SetFilePicker({});
    }

    // An hour at 8000 Hz: one minute encoded, sixty times over.
    void aBoundaryDraggedAtAMillisecondAPixelEndsThereAndIsCutThereToTheSample() {
        test::EncodeOptions o;
        o.sampleRate = kHourRate;
        o.channels = 1;
        o.mode = test::Mode::Mono;
        o.kbps = 8;
        o.seconds = 60;
        const test::Bytes minute = test::EncodeMp3(o);
        const std::string hour = *dir_ / "hour.mp3";
        {
            std::ofstream out(hour, std::ios::binary);
            for (int i = 0; i < 60; ++i) out.write(reinterpret_cast<const char*>(minute.data()), minute.size());
        }
        ShowPage();
        Open(hour);
        QTest::keyClick(Slider(), Qt::Key_Home);
        for (int i = 0; i < 10; ++i) QTest::keyClick(Slider(), Qt::Key_PageUp);  // a twentieth of the file each
        const double boundary = Slider()->value() / 10.0;
        QVERIFY2(std::abs(boundary - 1800) < 10, qPrintable(QString::number(boundary)));
        Click(Get("addButton"));
        QTRY_COMPARE(Strip()->State(), PeakState::Complete);

        // Thirteen notches of Ctrl+wheel over the boundary: a millisecond a pixel, the boundary
        // still under the pointer.
        for (int i = 0; i < 13; ++i) Wheel(Strip(), X(boundary), Qt::ControlModifier);
        QVERIFY2(std::abs(Strip()->SecondsPerPixel() - 0.001) < 1e-9,
                 qPrintable(QString::number(Strip()->SecondsPerPixel())));
        QVERIFY(Strip()->ViewStart() < boundary && Strip()->ViewEnd() > boundary);
        QTRY_VERIFY(Strip()->DrawsStretch());

        // The time under the pointer, from the view's ends and the columns' pixels.
        int x0 = 0;
        int x1 = 0;
        QVERIFY(Strip()->Columns(x0, x1));
        const int to = X(boundary) + 37;
        const double start = Strip()->ViewStart();
        const double pointer = start + (to - x0) * (Strip()->ViewEnd() - start) / (x1 - x0);
        Drag(X(boundary), to);
        QVERIFY(shown_.empty());
        const PieceEntry& row = page_->Pieces()[0];
        QVERIFY2(std::abs(row.endSample / double(kHourRate) - pointer) <= 0.001,
                 qPrintable(QString("%1 %2").arg(row.endSample).arg(pointer, 0, 'f', 4)));
        const int64_t ms = row.endSample * 1000 / kHourRate;
        QCOMPARE(Cell(0, 2), QString("0:%1:%2.%3")
                                 .arg(ms / 60000, 2, 10, QChar('0'))
                                 .arg(ms / 1000 % 60, 2, 10, QChar('0'))
                                 .arg(ms % 1000, 3, 10, QChar('0')));
        QCOMPARE(Cell(1, 1), Cell(0, 2));

        // The piece cut there plays to that sample in a gapless decoder.
        options_.placement.folder = OutputFolder::Specific;
        options_.placement.specificFolder = *dir_ / "hour-pieces/";
        Click(Get("cutButton"));
        QCOMPARE(page_->Outputs().size(), size_t{2});
        const test::DecodeResult piece = test::DecodeGapless(page_->Outputs()[0]);
        QVERIFY(piece.ok);
        QCOMPARE(piece.samples, row.endSample);
    }

    void leftAndRightMoveTheMarkedBoundaryByAFrameAndShiftByASecond() {
        ShowPage();
        QVERIFY(!Get("zoomInButton")->isEnabled());
        Open(song_);
        // The zoom's buttons and keys.
        const double whole = Strip()->SecondsPerPixel();
        Click(Get("zoomInButton"));
        Click(Get("zoomInButton"));
        QVERIFY(std::abs(Strip()->SecondsPerPixel() - whole / 4) < 1e-12);
        QTest::keyClick(Strip(), Qt::Key_Minus, Qt::ControlModifier);
        QVERIFY(std::abs(Strip()->SecondsPerPixel() - whole / 2) < 1e-12);
        QTest::keyClick(Strip(), Qt::Key_0, Qt::ControlModifier);
        QVERIFY(!Strip()->Zoomed());
        AddPieces({200, 100});  // pieces 0-10, 10-20, 20-30 s, the second selected
        QCOMPARE(List()->currentIndex().row(), 1);
        // Pressed at 12 s, the strip has the keys; the boundary at 10 s is the nearer one.
        QTest::mouseClick(Strip(), Qt::LeftButton, Qt::NoModifier, QPoint(Strip()->XOfValue(120), 5));
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(Strip()));
        QTest::keyClick(Strip(), Qt::Key_Right);
        QCOMPARE(page_->Pieces()[0].endSample, 441000 + 1152);
        QCOMPARE(Cell(0, 2), QStringLiteral("0:10.026"));
        QCOMPARE(Cell(1, 1), QStringLiteral("0:10.026"));
        QCOMPARE(Cell(1, 3), QStringLiteral("0:09.974"));
        QTest::keyClick(Strip(), Qt::Key_Left, Qt::ShiftModifier);
        QCOMPARE(page_->Pieces()[0].endSample, 441000 + 1152 - 44100);
        QCOMPARE(page_->Pieces()[0].end, 90);
        QCOMPARE(page_->Pieces()[1].start, 90);
        QCOMPARE(Cell(0, 2), QStringLiteral("0:09.026"));
        QCOMPARE(List()->currentIndex().row(), 1);
        // The marked boundary stays the nudged one wherever the position goes.
        QTest::keyClick(Slider(), Qt::Key_End);
        QTest::keyClick(Strip(), Qt::Key_Right);
        QCOMPARE(page_->Pieces()[0].endSample, 441000 + 2 * 1152 - 44100);
        QCOMPARE(page_->Pieces()[1].endSample, -1);

        // Each nudge undoes and redoes.
        QTest::keyClick(Strip(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(page_->Pieces()[0].endSample, 441000 + 1152 - 44100);
        QTest::keyClick(Strip(), Qt::Key_Z, Qt::ControlModifier);
        QTest::keyClick(Strip(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(page_->Pieces()[0].endSample, -1);
        QCOMPARE(Cell(0, 2), QStringLiteral("0:10.0"));
        QTest::keyClick(Strip(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(page_->Pieces()[0].endSample, 441000 + 1152);
    }

    void aBoundaryDraggedNearASilenceSnapsToItsMiddleUnlessShiftIsHeld() {
        ShowPage();
        Open(talk_);
        QTRY_COMPARE(Strip()->State(), PeakState::Complete);
        // Where "Add Pieces at Silences" splits the second silence.
        Click(Get("silencesButton"));
        QCOMPARE(page_->Pieces().size(), size_t{3});
        const int64_t middle = page_->Pieces()[1].endSample;
        page_->Undo();
        QCOMPARE(page_->Pieces().size(), size_t{1});

        // The silence's quiet windows start at 6.0 s and the codec's delay; a boundary let go
        // 5 pixels before them snaps to its middle, a boundary let go inside it with Shift
        // stays where it is let go.
        AddPieces({50});
        const int quiet = X(6.0 + double(test::kRecordingCodecDelay) / test::kRecordingRate);
        Drag(Strip()->XOfValue(50), quiet - 5);
        QCOMPARE(page_->Pieces()[0].endSample, middle);
        QCOMPARE(Cell(0, 2), QString("0:06.%1").arg(middle * 1000 / test::kRecordingRate % 1000, 3, 10, QChar('0')));
        Drag(X(middle / double(test::kRecordingRate)), quiet + 20, Qt::ShiftModifier);
        QCOMPARE(page_->Pieces()[0].endSample, -1);
        QCOMPARE(page_->Pieces()[0].end, Strip()->ValueAtX(quiet + 20));
        // Both drags undo.
        page_->Undo();
        QCOMPARE(page_->Pieces()[0].endSample, middle);
        page_->Undo();
        QCOMPARE(page_->Pieces()[0].end, 50);
    }

    void kPlaysTwoSecondsEitherSideOfTheMarkedBoundary() {
        OutputDevice device;
        if (!device.ok) QSKIP("no output device");
        ShowPage(true);
        Open(song_);
        AddPieces({100});
        QTest::mouseClick(Strip(), Qt::LeftButton, Qt::NoModifier, QPoint(Strip()->XOfValue(120), 5));
        QTest::keyClick(Strip(), Qt::Key_Right);
        QTest::keyClick(Strip(), Qt::Key_K);
        QCOMPARE(page_->State(), PlayState::Previewing);
        QCOMPARE(page_->PlayedRange(), std::make_pair(int64_t{8026}, int64_t{12026}));
        QCOMPARE(Slider()->value(), 80);
        // It ends by itself, back where it began.
        QTRY_COMPARE_WITH_TIMEOUT(page_->State(), PlayState::Stopped, 8000);
        QCOMPARE(Slider()->value(), 80);
    }

    void zoomStepsOfABenchFile() {
        const QString file = qEnvironmentVariable("CORVANE_BENCH_ZOOM");
        if (file.isEmpty()) QSKIP("CORVANE_BENCH_ZOOM not set");
        ShowPage();
        QVERIFY(page_->OpenSourceFile(file));
        QTRY_VERIFY_WITH_TIMEOUT(Strip()->State() == PeakState::Complete, 60000);
        const double middle = Strip()->Length() / 2;
        // A timer of 5 ms tells how late the event loop answers while the stretches decode.
        QElapsedTimer clock;
        qint64 last = 0;
        qint64 worst = 0;
        QTimer probe;
        probe.setInterval(5);
        connect(&probe, &QTimer::timeout, [&] {
            worst = std::max(worst, clock.elapsed() - last);
            last = clock.elapsed();
        });
        clock.start();
        probe.start();
        int stretches = 0;
        while (Strip()->SecondsPerPixel() > CWaveformStrip::kFinestSecondsPerPixel * 1.5) {
            Wheel(Strip(), X(middle), Qt::ControlModifier);
            const bool decoding = Strip()->StretchPending();
            stretches += decoding ? 1 : 0;
            // The next step comes while this one's stretch decodes, as a quick hand gives them.
            QTest::qWait(60);
        }
        QTRY_VERIFY_WITH_TIMEOUT(Strip()->DrawsStretch(), 10000);
        const qint64 zoomed = clock.elapsed();
        // Scrolling on at the finest zoom, a wheel notch at a time.
        for (int i = 0; i < 20; ++i) {
            Wheel(Strip(), X(middle), Qt::NoModifier, -1);
            QTest::qWait(20);
        }
        QTRY_VERIFY_WITH_TIMEOUT(Strip()->DrawsStretch(), 10000);
        probe.stop();
        std::printf("zoom steps: %d stretch decodes asked for, the finest zoom drawn from its stretch %lld ms after "
                    "the first step, scrolled there and drawn again by %lld ms; the event loop answered within %lld ms "
                    "at worst\n",
                    stretches, static_cast<long long>(zoomed), static_cast<long long>(clock.elapsed()),
                    static_cast<long long>(worst));
    }
};

CORVANE_TEST_MAIN(PageSplitterWaveTest)
#include "PageSplitterWaveTest.moc"
