// Waveform strip: in line with its slider's handle, a press moves the slider as a drag does, a
// boundary drag is reported when let go, nothing without a file, a flat line for a file that
// does not decode; zoomed about the pointer and scrolled, with columns finer than the peak map
// from a decode of the stretch.
#include "TestEnvironment.h"

#include "support/Mp3Factory.h"
#include "ui/widgets/WaveformStrip.h"

#include <QScrollBar>
#include <QSignalSpy>
#include <QSlider>
#include <QWheelEvent>
#include <QStyle>
#include <QStyleOptionSlider>

#include <cmath>
#include <memory>

using namespace corvane;

namespace {

constexpr int kTenths = 40;  // the slider's range: a four-second file
constexpr int kRate = 44100;

}  // namespace

class WaveformStripTest : public QObject {
    Q_OBJECT
    std::unique_ptr<test::TempDir> dir_;
    std::unique_ptr<QWidget> host_;
    QSlider* slider_ = nullptr;
    CWaveformStrip* strip_ = nullptr;

    // The centre of the slider's handle at value, in the strip's coordinates.
    int HandleCentre(int value) {
        QStyleOptionSlider option;
        option.initFrom(slider_);
        option.orientation = Qt::Horizontal;
        option.state |= QStyle::State_Horizontal;
        option.minimum = slider_->minimum();
        option.maximum = slider_->maximum();
        option.sliderPosition = option.sliderValue = value;
        const QRect handle =
            slider_->style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, slider_);
        return strip_->mapFrom(host_.get(), slider_->mapTo(host_.get(), handle.center())).x();
    }
    int Middle() const { return strip_->height() / 2; }
    // A wheel event of notches at x with modifiers; whether the strip took it.
    bool Wheel(double x, Qt::KeyboardModifiers modifiers, int notches = 1) {
        const QPointF at(x, Middle());
        QWheelEvent event(at, strip_->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches), Qt::NoButton, modifiers,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(strip_, &event);
        return event.isAccepted();
    }

private Q_SLOTS:
    void initTestCase() { dir_ = std::make_unique<test::TempDir>(); }
    void init() {
        qputenv("XDG_CACHE_HOME", QByteArray::fromStdString(*dir_ / "cache"));
        host_ = std::make_unique<QWidget>();
        host_->resize(600, 120);
        strip_ = new CWaveformStrip(host_.get());
        strip_->setGeometry(10, 10, 580, 60);
        slider_ = new QSlider(Qt::Horizontal, host_.get());
        slider_->setGeometry(10, 72, 580, 24);
        slider_->setRange(0, kTenths);
        strip_->SetSlider(slider_);
        host_->show();
        QVERIFY(QTest::qWaitForWindowExposed(host_.get()));
    }
    void cleanup() { host_.reset(); }

    void eachValueStandsWhereTheHandleCentreStandsForIt() {
        for (int width : {580, 333}) {
            strip_->resize(width, strip_->height());
            slider_->resize(width, slider_->height());
            for (int v = 0; v <= kTenths; ++v) {
                QCOMPARE(strip_->XOfValue(v), HandleCentre(v));
                QCOMPARE(strip_->ValueAtX(HandleCentre(v)), v);
            }
        }
    }

    void aPressMovesTheSliderAsADragOfItsHandle() {
        strip_->SetSource(QString::fromStdString(*dir_ / "missing.mp3"));
        QSignalSpy pressed(slider_, &QSlider::sliderPressed);
        QSignalSpy moved(slider_, &QSlider::sliderMoved);
        QSignalSpy released(slider_, &QSlider::sliderReleased);
        QSignalSpy actions(slider_, &QSlider::actionTriggered);
        QTest::mousePress(strip_, Qt::LeftButton, Qt::NoModifier, QPoint(strip_->XOfValue(12), Middle()));
        QCOMPARE(pressed.size(), 1);
        QVERIFY(slider_->isSliderDown());
        QCOMPARE(slider_->value(), 12);
        QTest::mouseMove(strip_, QPoint(strip_->XOfValue(31), Middle()));
        QCOMPARE(slider_->value(), 31);
        QTest::mouseRelease(strip_, Qt::LeftButton, Qt::NoModifier, QPoint(strip_->XOfValue(31), Middle()));
        QCOMPARE(released.size(), 1);
        QVERIFY(!slider_->isSliderDown());
        QCOMPARE(moved.size(), 2);
        QCOMPARE(moved.last().at(0).toInt(), 31);
        for (const QList<QVariant>& action : actions) QCOMPARE(action.at(0).toInt(), int(QAbstractSlider::SliderMove));
        QCOMPARE(host_->focusWidget(), static_cast<QWidget*>(strip_));
    }

    void aBoundaryDraggedIsReportedWhenLetGoAndMovesNothingItself() {
        strip_->SetSource(QString::fromStdString(*dir_ / "missing.mp3"));
        strip_->SetPieces({{0, 1.0}, {1.0, kTenths / 10.0}}, 1, true);
        QSignalSpy boundary(strip_, &CWaveformStrip::BoundaryMoved);
        QSignalSpy pressed(slider_, &QSlider::sliderPressed);
        const int grab = strip_->XOfValue(10) + CWaveformStrip::kGrabPixels;
        QTest::mousePress(strip_, Qt::LeftButton, Qt::NoModifier, QPoint(grab, Middle()));
        QTest::mouseMove(strip_, QPoint(strip_->XOfValue(25), Middle()));
        QTest::mouseRelease(strip_, Qt::LeftButton, Qt::NoModifier, QPoint(strip_->XOfValue(27), Middle()));
        QCOMPARE(boundary.size(), 1);
        QCOMPARE(boundary.at(0).at(0).toInt(), 0);
        QCOMPARE(boundary.at(0).at(1).toDouble(), 2.7);
        QCOMPARE(boundary.at(0).at(2).toBool(), false);  // the whole file: a tenth
        QCOMPARE(pressed.size(), 0);
        QCOMPARE(slider_->value(), 0);

        // Farther than the grab distance, or with pieces that cannot be edited, a press moves
        // the slider.
        QTest::mouseClick(strip_, Qt::LeftButton, Qt::NoModifier, QPoint(grab + 1, Middle()));
        strip_->SetPieces({{0, 1.0}, {1.0, kTenths / 10.0}}, 1, false);
        QTest::mouseClick(strip_, Qt::LeftButton, Qt::NoModifier, QPoint(strip_->XOfValue(10), Middle()));
        QCOMPARE(pressed.size(), 2);
        QCOMPARE(boundary.size(), 1);
        QCOMPARE(slider_->value(), 10);

        // A click on a boundary, without moving, moves the slider and leaves the boundary.
        strip_->SetPieces({{0, 1.0}, {1.0, kTenths / 10.0}}, 1, true);
        QTest::mouseClick(strip_, Qt::LeftButton, Qt::NoModifier, QPoint(grab, Middle()));
        QCOMPARE(boundary.size(), 1);
        QCOMPARE(pressed.size(), 3);
        QCOMPARE(slider_->value(), strip_->ValueAtX(grab));
    }

    void theColumnOfATenthHoldsItsAudio() {
        // Two seconds of silence, then two of a sine at half of full scale.
        std::vector<int16_t> pcm(static_cast<size_t>(2 * kRate) * 2, 0);
        for (int i = 0; i < 2 * kRate; ++i) {
            const auto s = static_cast<int16_t>(std::lround(16384 * std::sin(2 * M_PI * 441.0 * i / kRate)));
            pcm.insert(pcm.end(), {s, s});
        }
        test::EncodeOptions o;
        o.kbps = 320;
        const std::string path = *dir_ / "rise.mp3";
        test::WriteFile(path, test::EncodePcm(o, pcm));
        strip_->SetSource(QString::fromStdString(path));
        QTRY_COMPARE(strip_->State(), PeakState::Complete);
        QCOMPARE(strip_->PeaksAtX(strip_->XOfValue(10)), (PeakColumn{true, 0, 0}));
        const PeakColumn tone = strip_->PeaksAtX(strip_->XOfValue(30));
        QVERIFY(tone.known);
        QVERIFY2(std::abs(tone.high - 16384) < 164 && std::abs(tone.low + 16384) < 164,
                 qPrintable(QString("%1 %2").arg(tone.low).arg(tone.high)));
    }

    void ctrlWheelZoomsAboutThePointerAndTheWheelAndTheScrollBarScroll() {
        auto* bar = new QScrollBar(Qt::Horizontal, host_.get());
        strip_->SetScrollBar(bar);
        strip_->SetSource(QString::fromStdString(*dir_ / "missing.mp3"));
        QVERIFY(!Wheel(strip_->XOfValue(10), Qt::NoModifier));  // the whole file does not scroll
        QVERIFY(!bar->isEnabled());
        QSignalSpy viewChanged(strip_, &CWaveformStrip::ViewChanged);
        const double wholePerPixel = strip_->SecondsPerPixel();
        const double x = strip_->XOfValue(10) + 0.5;
        const double under = strip_->SecondsAt(x);
        QVERIFY(Wheel(x, Qt::ControlModifier));
        QVERIFY(strip_->Zoomed());
        QCOMPARE(viewChanged.size(), 1);
        QVERIFY(std::abs(strip_->SecondsPerPixel() - wholePerPixel / 2) < 1e-12);
        QVERIFY(std::abs(strip_->SecondsAt(x) - under) < 1e-9);  // the time under the pointer stays there
        QVERIFY(bar->isEnabled());
        QCOMPARE(bar->value(), static_cast<int>(std::lround(strip_->ViewStart() * 1000)));
        QCOMPARE(bar->pageStep(), 2000);

        // A notch down scrolls a tenth of the view on; the scroll bar moves the view.
        const double start = strip_->ViewStart();
        QVERIFY(Wheel(x, Qt::NoModifier, -1));
        QVERIFY(std::abs(strip_->ViewStart() - (start + 0.2)) < 1e-9);
        bar->setValue(1500);
        QVERIFY(std::abs(strip_->ViewStart() - 1.5) < 1e-9);
        QVERIFY(std::abs(strip_->ViewEnd() - 3.5) < 1e-9);

        // No finer than a millisecond a pixel; back to the whole file.
        for (int i = 0; i < 20; ++i) Wheel(x, Qt::ControlModifier);
        QVERIFY(std::abs(strip_->SecondsPerPixel() - CWaveformStrip::kFinestSecondsPerPixel) < 1e-12);
        strip_->ShowWhole();
        QVERIFY(!strip_->Zoomed());
        QCOMPARE(strip_->SecondsPerPixel(), wholePerPixel);
        QVERIFY(!bar->isEnabled());
    }

    // A minute of silence, then a minute of a sine at half of full scale, at 8000 Hz: the peak
    // map's bins hold 2 ms, a pixel at the finest zoom 1 ms.
    void aColumnFinerThanTheMapComesFromTheStretchDecode() {
        constexpr int kLowRate = 8000;
        std::vector<int16_t> pcm(static_cast<size_t>(60 * kLowRate), 0);
        for (int i = 0; i < 60 * kLowRate; ++i)
            pcm.push_back(static_cast<int16_t>(std::lround(16384 * std::sin(2 * M_PI * 250.0 * i / kLowRate))));
        test::EncodeOptions o;
        o.sampleRate = kLowRate;
        o.channels = 1;
        o.mode = test::Mode::Mono;
        o.kbps = 64;
        const std::string path = *dir_ / "minutes.mp3";
        test::WriteFile(path, test::EncodePcm(o, pcm));
        slider_->setRange(0, 1200);
        strip_->SetSource(QString::fromStdString(path));
        QTRY_COMPARE(strip_->State(), PeakState::Complete);
        // The tone's peaks as the whole file shows them (the decoder's, a little under 16384).
        const PeakColumn tone = strip_->PeaksAtX(static_cast<int>(strip_->XAt(90.0)));
        QVERIFY(tone.high > 15000 && tone.low < -15000);
        const double x = strip_->XAt(60.0);
        for (int i = 0; i < 14; ++i) Wheel(x, Qt::ControlModifier);
        QVERIFY(std::abs(strip_->SecondsAt(x) - 60.0) < 1e-9);
        QVERIFY(std::abs(strip_->SecondsPerPixel() - CWaveformStrip::kFinestSecondsPerPixel) < 1e-12);
        QTRY_VERIFY(strip_->DrawsStretch());
        QCOMPARE(strip_->PeaksAtX(static_cast<int>(strip_->XAt(59.9))), (PeakColumn{true, 0, 0}));
        // A period of the sine is 4 ms: four columns hold its crest and its trough.
        PeakBin period;
        for (int k = 0; k < 4; ++k) {
            const PeakColumn column = strip_->PeaksAtX(static_cast<int>(strip_->XAt(60.15)) + k);
            QVERIFY(column.known);
            period.Merge({column.low, column.high});
        }
        QVERIFY2(std::abs(period.high - tone.high) < 100 && std::abs(period.low - tone.low) < 100,
                 qPrintable(QString("%1 %2").arg(period.low).arg(period.high)));
    }

    void withoutAFileTheStripIsEmptyAndAFileThatDoesNotDecodeIsAFlatLine() {
        const QRgb base = strip_->palette().color(QPalette::Base).rgb();
        // The rows inside the border that hold anything but the background, between the
        // columns of the first and the last tenth but one.
        const auto drawnRows = [&] {
            const QImage image = strip_->grab().toImage();
            QList<int> rows;
            for (int y = 1; y < strip_->height() - 1; ++y)
                for (int x = strip_->XOfValue(1); x < strip_->XOfValue(kTenths - 1); ++x)
                    if (image.pixel(x, y) != base) {
                        rows.append(y);
                        break;
                    }
            return rows;
        };
        QVERIFY(drawnRows().isEmpty());
        QVERIFY(!strip_->PeaksAtX(strip_->XOfValue(5)).known);

        const std::string text = *dir_ / "notes.mp3";
        test::WriteFile(text, test::Bytes(4000, 'x'));
        strip_->SetSource(QString::fromStdString(text));
        QTRY_COMPARE(strip_->State(), PeakState::Failed);
        QCOMPARE(strip_->PeaksAtX(strip_->XOfValue(5)), (PeakColumn{true, 0, 0}));
        const QList<int> flat = drawnRows();
        QCOMPARE(flat.size(), 1);
        QVERIFY(std::abs(flat[0] - strip_->height() / 2) <= 2);

        strip_->Clear();
        QVERIFY(!strip_->HasSource());
        QCOMPARE(strip_->State(), PeakState::Idle);
        QVERIFY(drawnRows().isEmpty());
    }
};

CORVANE_TEST_MAIN(WaveformStripTest)
#include "WaveformStripTest.moc"
