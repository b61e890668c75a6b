// Time ruler: labels read as the page's positions do, their step fitted to the strip's zoom.
#include "TestEnvironment.h"

#include "ui/widgets/TimeRuler.h"
#include "ui/widgets/WaveformStrip.h"

#include <QSlider>

#include <memory>

using namespace corvane;

class TimeRulerTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void labelsReadAsPositions() {
        QCOMPARE(MillisecondsText(3723456, 3, true), QStringLiteral("1:02:03.456"));
        QCOMPARE(MillisecondsText(63456, 3, false), QStringLiteral("1:03.456"));
        QCOMPARE(MillisecondsText(5999, 0, false), QStringLiteral("0:05"));
        QCOMPARE(MillisecondsText(600000, 0, true), QStringLiteral("0:10:00"));
    }

    // An hour over 580 pixels: a label every ten minutes or so; at a millisecond a pixel, one
    // every tenth of a second, with milliseconds.
    void theStepFollowsTheZoom() {
        QWidget host;
        host.resize(600, 120);
        auto* ruler = new CTimeRuler(&host);
        ruler->setGeometry(10, 0, 580, 16);
        auto* strip = new CWaveformStrip(&host);
        strip->setGeometry(10, 16, 580, 60);
        auto* slider = new QSlider(Qt::Horizontal, &host);
        slider->setGeometry(10, 76, 580, 24);
        slider->setRange(0, 36000);
        strip->SetSlider(slider);
        ruler->SetStrip(strip);
        host.show();
        QVERIFY(QTest::qWaitForWindowExposed(&host));
        QCOMPARE(ruler->LabelStepMs(), int64_t{0});  // nothing shown, nothing labelled
        strip->SetSource(QStringLiteral("/nonexistent/hour.mp3"));

        const QStringList whole = ruler->Labels();
        QVERIFY2(ruler->LabelStepMs() >= 300000 && ruler->LabelStepMs() <= 900000,
                 qPrintable(QString::number(ruler->LabelStepMs())));
        QCOMPARE(whole.mid(0, 2),
                 (QStringList{QStringLiteral("0:00:00"), MillisecondsText(ruler->LabelStepMs(), 0, true)}));

        strip->ShowStretch(1800.0, 1800.0 + 0.001 * 570);
        QCOMPARE(strip->SecondsPerPixel() < 0.0011, true);
        QCOMPARE(ruler->LabelStepMs(), int64_t{100});
        const QStringList fine = ruler->Labels();
        QVERIFY(fine.size() >= 4);
        QCOMPARE(fine.mid(0, 2), (QStringList{QStringLiteral("0:30:00.000"), QStringLiteral("0:30:00.100")}));
    }
};

CORVANE_TEST_MAIN(TimeRulerTest)
#include "TimeRulerTest.moc"
