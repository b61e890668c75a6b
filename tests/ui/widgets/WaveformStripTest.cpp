// Waveform strip: in line with its slider's handle, a press moves the slider as a drag does, a
// boundary drag is reported when let go, nothing without a file, a flat line for a file that
// does not decode.
#include "TestEnvironment.h"

#include "support/Mp3Factory.h"
#include "ui/widgets/WaveformStrip.h"

#include <QSignalSpy>
#include <QSlider>
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
