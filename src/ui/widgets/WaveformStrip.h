// CWaveformStrip: the waveform of a file drawn in line with a position slider's groove.
//
// The strip sits above a horizontal slider of tenths of a second and uses that slider's own
// geometry: the value v is drawn at the pixel where the slider's handle centre stands for v,
// so a piece boundary, the selection range and the play position line up with the slider at
// every width. For each pixel column it draws the lowest and highest sample of the audio
// under that column (engine/peaks/PeakWorker.h decodes them in the background; the columns
// fill in as the decode goes, and a file that cannot be decoded shows a flat line). Over the
// waveform it draws pieces as alternating translucent bands with their numbers, the selected
// piece highlighted, the slider's selection range along the foot, and the slider's position
// as a vertical line.
//
// Mouse. A press on the strip moves the slider there as dragging its handle would: the
// slider is pressed, moved with the pointer and released, with the slider's own signals. When
// pieces are editable, a press within kGrabPixels of a boundary between two pieces that then
// moves by the drag distance drags that boundary instead (a click there stays a slider
// press); letting it go emits BoundaryMoved with the value under the pointer, and the owner
// applies it (nothing changes on the strip by itself).
#pragma once

#include "engine/Peaks.h"

#include <QPointer>
#include <QSlider>
#include <QString>
#include <QWidget>

#include <vector>

namespace corvane {

class CWaveformStrip : public QWidget {
    Q_OBJECT
public:
    // How close (pixels) a press must come to a boundary to take it.
    static constexpr int kGrabPixels = 3;

    struct Band {
        int start = 0;  // tenths
        int end = 0;
    };

    explicit CWaveformStrip(QWidget* parent = nullptr);
    // Stops the decode of the shown file.
    ~CWaveformStrip() override;

    // The slider the strip follows (tenths); not owned. Its range, value and geometry are read
    // at each paint and its value changes repaint the strip. Its window must be the strip's.
    void SetSlider(QSlider* slider);

    // Shows the waveform of path, decoded in the background (or served from the peak cache);
    // the file that was shown before is given up at once.
    void SetSource(const QString& path);
    // Shows nothing: no waveform, no pieces, no selection, no position.
    void Clear();

    // The pieces drawn as bands, the selected one (-1: none), and whether the boundaries
    // between them can be dragged.
    void SetPieces(std::vector<Band> pieces, int selected, bool editable);
    // The slider's selection range, drawn along the strip's foot; none when end <= start.
    void SetSelection(int start, int end);

    // The overview's progress, and whether it came from the cache.
    PeakState State() const { return worker_.State(); }
    bool FromCache() const { return worker_.FromCache(); }
    bool HasSource() const { return !source_.isEmpty(); }

    // The strip's x of slider value v (where the slider's handle centre stands for v), and the
    // value a press at x gives (as a press on the slider's groove at that x would). Both need
    // a slider with a range; 0 otherwise.
    int XOfValue(int value) const;
    int ValueAtX(int x) const;
    // The peaks drawn in the strip's pixel column x (unknown outside the slider's range).
    PeakColumn PeaksAtX(int x) const;

Q_SIGNALS:
    // The boundary after piece row (between rows row and row + 1) was dragged to value and let
    // go.
    void BoundaryMoved(int row, int value);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    // The pixels of the slider's minimum and maximum in strip coordinates; false without a
    // slider with a range.
    bool Span(int& x0, int& x1) const;
    // The seconds at a fractional strip x.
    double SecondsAtX(double x, int x0, int x1) const;
    // The row whose end boundary lies within kGrabPixels of x; -1 when none.
    int BoundaryNear(int x) const;
    void DrawPeaks(QPainter& painter, int x0, int x1) const;
    void DrawBands(QPainter& painter) const;
    // Presses the slider at x and moves it there, as a press on its handle dragged there.
    void PressSlider(int x);

    CPeakWorker worker_;
    QPointer<QSlider> slider_;
    QString source_;
    std::vector<Band> pieces_;
    int selected_ = -1;
    bool editable_ = false;
    int selStart_ = 0;
    int selEnd_ = 0;
    // The press being followed: a boundary (its row; dragging_ once the pointer has moved
    // from pressX_ by the drag distance) or the slider (sliderHeld_).
    int dragRow_ = -1;
    int pressX_ = 0;
    bool dragging_ = false;
    int dragX_ = 0;
    bool sliderHeld_ = false;
};

}  // namespace corvane
