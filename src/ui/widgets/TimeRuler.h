// CTimeRuler: a time scale over a waveform strip's columns, its labels fitted to the zoom.
//
// The ruler stands above a CWaveformStrip, as wide as it, and follows its view: a labelled
// tick every step and short ticks between, the step the shortest of 1, 2 and 5 times a power
// of ten milliseconds (then 1, 2, 5, 10, 15 and 30 seconds and minutes, and hours) that keeps
// the labels apart. Labels read like the page's positions: "M:SS" or "H:MM:SS" (hours for a
// file of an hour or more), with milliseconds (".250") when the step is shorter than a second.
#pragma once

#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <cstdint>
#include <vector>

namespace corvane {

class CWaveformStrip;

// The time ms (milliseconds, not negative) as "M:SS" or, with hours, "H:MM:SS", with decimals
// (0 to 3) digits of the second, truncated.
QString MillisecondsText(int64_t ms, int decimals, bool hours);

class CTimeRuler : public QWidget {
    Q_OBJECT
public:
    // The gap (pixels) kept between two labels.
    static constexpr int kLabelGap = 20;

    explicit CTimeRuler(QWidget* parent = nullptr);

    // The strip whose view the ruler shows; not owned. Its window must be the ruler's.
    void SetStrip(CWaveformStrip* strip);

    // The step between labelled ticks for the strip's view as it stands (ms; 0 with nothing
    // shown).
    int64_t LabelStepMs() const;
    // The labels drawn now, left to right.
    QStringList Labels() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    struct Tick {
        int x = 0;
        int64_t ms = 0;
        bool labelled = false;
    };
    struct Label {
        QString text;
        int left = 0;
        int right = 0;
    };
    // The ticks over the view, in the ruler's coordinates; false with nothing to show.
    bool Ticks(std::vector<Tick>& ticks, int& decimals, bool& hours) const;
    // The labels of ticks that fit the ruler, each right of its tick.
    std::vector<Label> LabelsDrawn(const std::vector<Tick>& ticks, int decimals, bool hours) const;

    QPointer<CWaveformStrip> strip_;
};

}  // namespace corvane
