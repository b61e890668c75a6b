// CWaveformStrip: the waveform of a file drawn in line with a position slider's groove.
//
// The strip sits above a horizontal slider of tenths of a second and uses that slider's own
// geometry: its columns run from the pixel where the slider's handle centre stands for the
// slider's minimum to the one where it stands for its maximum. Showing the whole file, the
// value v is drawn at the pixel where the handle centre stands for v, so a piece boundary, the
// selection range and the play position line up with the slider at every width. For each
// pixel column it draws the lowest and highest sample of the audio under that column
// (engine/Peaks.h's CPeakWorker decodes them in the background; the columns fill in as the
// decode goes, and a file that cannot be decoded shows a flat line). Over the waveform it
// draws pieces as alternating translucent bands with their numbers, the selected piece
// highlighted, the marked boundary with its time to the millisecond, the slider's selection
// range along the foot, and the slider's position as a vertical line.
//
// Zoom. The same columns can show a stretch of the file instead (the view), from the whole
// file down to kFinestSecondsPerPixel: Ctrl+wheel zooms about the pointer, ZoomIn and ZoomOut
// about the pointer when it is over the strip (else about the position, else the middle),
// the wheel and the scroll bar given to SetScrollBar scroll, ShowWhole shows the whole file.
// The slider stays the whole file. Columns come from the peak map while its bins are no
// wider than a column; finer ones come from a decode of the stretch around the view (twice
// its length), made on a thread of its own (CStretchLoader) and kept while the view stays in
// it. Until it comes, the map's columns stand in for it: the strip never waits.
//
// Mouse. A press on the strip moves the slider there as dragging its handle would: the
// slider is pressed, moved with the pointer and released, with the slider's own signals; the
// keyboard focus goes to the strip. When pieces are editable, a press within kGrabPixels of a
// boundary between two pieces that then moves by the drag distance drags that boundary
// instead (a click there stays a slider press). Dragged within kSnapPixels of a silence (as
// SetSilenceOptions defines one; the file's loudness windows measure it, as "Add Pieces at
// Silences" does), the boundary snaps to the silence's middle, unless Shift is held. Letting
// it go emits BoundaryMoved with the time under the pointer, and the owner applies it
// (nothing changes on the strip by itself).
//
// Keys, with the focus on the strip: Left and Right (Shift for a second) ask for a nudge of
// the marked boundary while a piece is selected and pieces are editable; otherwise they, and
// Home, End, Page Up and Page Down, go to the slider.
#pragma once

#include "engine/Cut.h"
#include "engine/Peaks.h"
#include "ui/widgets/StretchLoader.h"

#include <QPointer>
#include <QSlider>
#include <QString>
#include <QWidget>

#include <memory>
#include <vector>

class QScrollBar;

namespace corvane {

class CWaveformStrip : public QWidget {
    Q_OBJECT
public:
    // How close (pixels) a press must come to a boundary to take it, and a dragged boundary to
    // a silence to snap to it.
    static constexpr int kGrabPixels = 3;
    static constexpr int kSnapPixels = 8;
    // The finest zoom, and the factor of one zoom step (a wheel notch, a key, a button).
    static constexpr double kFinestSecondsPerPixel = 0.001;
    static constexpr double kZoomStep = 2.0;
    // Zoomed in finer than this a dragged boundary keeps the time under the pointer exactly;
    // coarser, and on the whole file, it takes the tenth, as the slider would.
    static constexpr double kExactSecondsPerPixel = 0.1;

    // A piece, in seconds of the file.
    struct Band {
        double start = 0;
        double end = 0;
    };

    explicit CWaveformStrip(QWidget* parent = nullptr);
    // Stops the decodes of the shown file.
    ~CWaveformStrip() override;

    // The slider the strip follows (tenths); not owned. Its range, value and geometry are read
    // at each paint and its value changes repaint the strip. Its window must be the strip's.
    void SetSlider(QSlider* slider);
    // The scroll bar that scrolls the view (milliseconds); not owned. It is disabled while the
    // whole file shows.
    void SetScrollBar(QScrollBar* bar);

    // Shows the whole waveform of path, decoded in the background (or served from the peak
    // cache); the file that was shown before is given up at once.
    void SetSource(const QString& path);
    // Shows nothing: no waveform, no pieces, no selection, no position.
    void Clear();

    // The pieces drawn as bands, the selected one (-1: none), whether the boundaries between
    // them can be dragged, and the marked boundary (the one after that row; -1: none).
    void SetPieces(std::vector<Band> pieces, int selected, bool editable, int marked = -1);
    // The slider's selection range (tenths), drawn along the strip's foot; none when end <= start.
    void SetSelection(int start, int end);
    // What a silence is for snapping; the default is SilenceOptions' own.
    void SetSilenceOptions(const SilenceOptions& options);

    // The overview's progress, and whether it came from the cache.
    PeakState State() const { return worker_.State(); }
    bool FromCache() const { return worker_.FromCache(); }
    bool HasSource() const { return !source_.isEmpty(); }

    // ---- The view ----
    // The whole file in seconds: the slider's range (0 without a slider).
    double Length() const;
    // The stretch shown, in seconds; the whole file (the slider's range) unless zoomed.
    double ViewStart() const;
    double ViewEnd() const;
    bool Zoomed() const { return !whole_; }
    double SecondsPerPixel() const;
    // Zooms in by factor (below 1: out) keeping the time at strip x where it is.
    void ZoomAbout(double factor, double x);
    void ZoomIn();
    void ZoomOut();
    void ShowWhole();
    // Shows seconds [from, to) (within the zoom's limits).
    void ShowStretch(double from, double to);
    // Scrolls the view, keeping its length, so that it starts at seconds.
    void ScrollTo(double seconds);
    // Scrolls the view as little as needed to show seconds.
    void Reveal(double seconds);
    // True when the columns drawn now come from a decode of the stretch.
    bool DrawsStretch() const;
    // True while a stretch decode is asked for or runs.
    bool StretchPending() const { return loader_.Busy(); }
    // The stretch loader, for tests that slow it down.
    CStretchLoader& Loader() { return loader_; }

    // ---- Geometry ----
    // The pixels of the first and the last column; false without a slider with a range.
    bool Columns(int& x0, int& x1) const;
    // The strip's x of seconds (fractional), and the seconds at a fractional x, clamped to the
    // file.
    double XAt(double seconds) const;
    double SecondsAt(double x) const;
    // The strip's x of slider value v (the whole file: where the slider's handle centre stands
    // for v), and the value a press at x gives (as a press on the slider's groove at that x
    // would). Both need a slider with a range; 0 otherwise.
    int XOfValue(int value) const;
    int ValueAtX(int x) const;
    // The peaks drawn in the strip's pixel column x (unknown outside the columns).
    PeakColumn PeaksAtX(int x) const;

Q_SIGNALS:
    // The boundary after piece row (between rows row and row + 1) was dragged to seconds and
    // let go. exact: keep seconds as they are (snapped, or dragged at a fine zoom); else it is
    // a tenth (the slider's value at the pointer).
    void BoundaryMoved(int row, double seconds, bool exact);
    // Left or Right (direction -1 or 1), with Shift (bySecond), on the focused strip.
    void NudgeAsked(int direction, bool bySecond);
    // The view moved or changed its length.
    void ViewChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    double MinimumSpan() const;
    // Sets the view to [start, start + span) within the file and the zoom's limits.
    void SetView(double start, double span);
    void ShowViewOnScrollBar();
    // The x to zoom about: the pointer over the strip, else the position, else the middle.
    double ZoomAnchor() const;
    // The row whose end boundary lies within kGrabPixels of x; -1 when none.
    int BoundaryNear(int x) const;
    // Where a boundary dragged to x lands: snapped to a silence unless free.
    double DragTarget(int x, bool free, bool& snapped);
    // The sample frame of seconds in the map's timeline (0 without a map).
    uint64_t FrameAt(double seconds) const;
    // Takes the map once the overview is complete; asks for a stretch when the view needs one.
    void TakeMap();
    void UpdateStretch();
    void OnStretchLoaded(uint64_t number, const StretchPeaks& peaks);
    // The peaks of columns x0..x1 as the view shows them.
    std::vector<PeakColumn> ViewColumns(int x0, int x1) const;
    void DrawPeaks(QPainter& painter, int x0, int x1) const;
    void DrawBands(QPainter& painter, int x0, int x1) const;
    void DrawMarked(QPainter& painter, int x0, int x1) const;
    // Presses the slider at x and moves it there, as a press on its handle dragged there.
    void PressSlider(int x);

    CPeakWorker worker_;
    CStretchLoader loader_;
    QPointer<QSlider> slider_;
    QPointer<QScrollBar> scrollBar_;
    QString source_;
    std::vector<Band> pieces_;
    int selected_ = -1;
    bool editable_ = false;
    int marked_ = -1;
    int selStart_ = 0;
    int selEnd_ = 0;

    // The view: the whole file, or seconds [viewStart_, viewStart_ + viewSpan_).
    bool whole_ = true;
    double viewStart_ = 0;
    double viewSpan_ = 0;
    bool showingView_ = false;  // the scroll bar is being set: its signal is the strip's own

    // The complete peak map (null until the overview is complete), the silences in it, the
    // stretch decoded last, and the one asked for.
    std::shared_ptr<const PeakMap> map_;
    SilenceOptions silenceOptions_;
    std::vector<SilenceSpan> silences_;
    bool silencesFound_ = false;
    StretchPeaks stretch_;
    uint64_t askedNumber_ = 0;
    CStretchLoader::Request asked_;

    // The press being followed: a boundary (its row; dragging_ once the pointer has moved
    // from pressX_ by the drag distance) or the slider (sliderHeld_).
    int dragRow_ = -1;
    int pressX_ = 0;
    bool dragging_ = false;
    double dragSeconds_ = 0;
    bool dragSnapped_ = false;
    bool sliderHeld_ = false;
};

}  // namespace corvane
