// CWaveformStrip: peaks, piece bands, selection and position over a slider's groove, zoomed.
#include "ui/widgets/WaveformStrip.h"

#include "ui/widgets/TimeRuler.h"

#include <QApplication>
#include <QCursor>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace corvane {
namespace {

constexpr double kTenthsPerSecond = 10.0;
constexpr double kMsPerSecond = 1000.0;
constexpr double kFullScale = 32768.0;
constexpr int kFramePixels = 1;       // the strip's border
constexpr int kWavePadding = 2;       // between the border and the loudest sample
constexpr int kSelectionHeight = 3;   // the selection range along the foot
constexpr int kNumberInset = 3;       // a piece number from its band's left edge and the top
constexpr int kMarkedWidth = 2;       // the marked boundary's line
constexpr int kBandAlpha = 50;
constexpr int kSelectedAlpha = 95;
constexpr int kWheelNotch = 120;      // angle delta of one wheel notch
constexpr double kWheelShare = 0.1;   // a notch scrolls a tenth of the view
constexpr QColor kBandColours[] = {QColor(70, 130, 180, kBandAlpha), QColor(220, 160, 60, kBandAlpha)};
constexpr QColor kPeakColour(38, 66, 110);
constexpr QColor kPositionColour(200, 30, 30);
constexpr QColor kSnapColour(30, 140, 60);

// The style option a QSlider paints itself with (QSlider::initStyleOption is not public).
QStyleOptionSlider SliderOption(const QSlider& slider) {
    QStyleOptionSlider option;
    option.initFrom(&slider);
    option.subControls = QStyle::SC_None;
    option.activeSubControls = QStyle::SC_None;
    option.orientation = slider.orientation();
    option.minimum = slider.minimum();
    option.maximum = slider.maximum();
    option.tickPosition = slider.tickPosition();
    option.tickInterval = slider.tickInterval();
    option.upsideDown = slider.orientation() == Qt::Horizontal
                            ? slider.invertedAppearance() != (option.direction == Qt::RightToLeft)
                            : !slider.invertedAppearance();
    option.direction = Qt::LeftToRight;
    option.sliderPosition = slider.sliderPosition();
    option.sliderValue = slider.value();
    option.singleStep = slider.singleStep();
    option.pageStep = slider.pageStep();
    if (slider.orientation() == Qt::Horizontal) option.state |= QStyle::State_Horizontal;
    return option;
}

// The peaks of stretch columns that hold frames [first, end), or unknown when the stretch does
// not hold them all.
PeakColumn StretchColumn(const StretchPeaks& stretch, uint64_t first, uint64_t end) {
    const uint64_t n = stretch.to - stretch.from;
    const uint64_t count = stretch.columns.size();
    if (count == 0 || n == 0 || first < stretch.from || end > stretch.to) return {};
    const uint64_t c0 = std::min((first - stretch.from) * count / n, count - 1);
    const uint64_t c1 = std::clamp<uint64_t>(((end - stretch.from) * count + n - 1) / n, c0 + 1, count);
    PeakBin bin;
    for (uint64_t c = c0; c < c1; ++c) {
        const PeakColumn& column = stretch.columns[c];
        if (!column.known) return {};
        bin.Merge({column.low, column.high});
    }
    return {true, bin.low, bin.high};
}

}  // namespace

CWaveformStrip::CWaveformStrip(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    connect(&loader_, &CStretchLoader::Loaded, this, &CWaveformStrip::OnStretchLoaded);
}

CWaveformStrip::~CWaveformStrip() {
    worker_.Cancel();
    loader_.Cancel();
}

void CWaveformStrip::SetSlider(QSlider* slider) {
    if (slider_) disconnect(slider_, nullptr, this, nullptr);
    slider_ = slider;
    if (slider_ == nullptr) return;
    connect(slider_, &QSlider::valueChanged, this, qOverload<>(&QWidget::update));
    connect(slider_, &QSlider::rangeChanged, this, &CWaveformStrip::ShowWhole);
}

void CWaveformStrip::SetScrollBar(QScrollBar* bar) {
    if (scrollBar_) disconnect(scrollBar_, nullptr, this, nullptr);
    scrollBar_ = bar;
    if (scrollBar_ == nullptr) return;
    connect(scrollBar_, &QScrollBar::valueChanged, this, [this](int ms) {
        if (!showingView_) ScrollTo(ms / kMsPerSecond);
    });
    ShowViewOnScrollBar();
}

void CWaveformStrip::SetSource(const QString& path) {
    worker_.Cancel();
    loader_.Cancel();
    source_ = path;
    dragRow_ = -1;
    askedNumber_ = 0;  // a stretch of the file before that is still on its way is dropped
    map_.reset();
    silences_.clear();
    silencesFound_ = false;
    stretch_ = StretchPeaks{};
    asked_ = CStretchLoader::Request{};
    if (!source_.isEmpty()) {
        // New bins arrive on the worker's threads; the repaint is posted to this one.
        worker_.Start(path.toStdString(), [this] {
            QMetaObject::invokeMethod(this, &CWaveformStrip::TakeMap, Qt::QueuedConnection);
        });
    }
    ShowWhole();
}

void CWaveformStrip::Clear() {
    SetSource(QString());
    pieces_.clear();
    selected_ = -1;
    editable_ = false;
    marked_ = -1;
    selStart_ = selEnd_ = 0;
    update();
}

void CWaveformStrip::SetPieces(std::vector<Band> pieces, int selected, bool editable, int marked) {
    pieces_ = std::move(pieces);
    selected_ = selected;
    editable_ = editable;
    marked_ = marked;
    if (!editable_) dragRow_ = -1;
    update();
}

void CWaveformStrip::SetSelection(int start, int end) {
    selStart_ = start;
    selEnd_ = end;
    update();
}

void CWaveformStrip::SetSilenceOptions(const SilenceOptions& options) {
    silenceOptions_ = options;
    silences_.clear();
    silencesFound_ = false;
}

// ---- The map and the stretch ----

void CWaveformStrip::TakeMap() {
    if (map_ == nullptr && worker_.State() == PeakState::Complete) {
        map_ = std::make_shared<const PeakMap>(worker_.Map());
        UpdateStretch();
    }
    update();
}

uint64_t CWaveformStrip::FrameAt(double seconds) const {
    if (map_ == nullptr || seconds <= 0) return 0;
    const double frame = std::floor(seconds * map_->sampleRate);
    return std::min(static_cast<uint64_t>(frame), map_->frames);
}

void CWaveformStrip::UpdateStretch() {
    int x0 = 0;
    int x1 = 0;
    if (map_ == nullptr || map_->sampleRate == 0 || whole_ || !Columns(x0, x1)) return;
    const double perPixel = SecondsPerPixel() * map_->sampleRate;
    if (map_->framesPerBin <= perPixel) return;  // the map is fine enough
    const uint64_t first = FrameAt(ViewStart());
    const uint64_t end = std::max(FrameAt(ViewEnd()), first + 1);
    const auto serves = [&](uint64_t from, uint64_t to, uint64_t columns) {
        return columns > 0 && from <= first && end <= to &&
               static_cast<double>(to - from) / static_cast<double>(columns) <= perPixel * 1.01;
    };
    if (serves(stretch_.from, stretch_.to, stretch_.columns.size())) return;
    if (loader_.Busy() && serves(asked_.from, asked_.to, asked_.columns)) return;
    // Half a view on either side, so that scrolling a little needs no new decode.
    const uint64_t margin = (end - first) / 2;
    CStretchLoader::Request request;
    request.path = source_.toStdString();
    request.from = first > margin ? first - margin : 0;
    request.to = std::min(end + margin, map_->frames);
    request.columns = static_cast<uint32_t>(std::ceil(static_cast<double>(request.to - request.from) / perPixel));
    request.map = map_;
    asked_ = request;
    askedNumber_ = loader_.Ask(std::move(request));
}

void CWaveformStrip::OnStretchLoaded(uint64_t number, const StretchPeaks& peaks) {
    if (number != askedNumber_) return;
    stretch_ = peaks;
    update();
}

bool CWaveformStrip::DrawsStretch() const {
    int x0 = 0;
    int x1 = 0;
    if (map_ == nullptr || whole_ || !Columns(x0, x1)) return false;
    if (map_->framesPerBin <= SecondsPerPixel() * map_->sampleRate) return false;
    return StretchColumn(stretch_, FrameAt(ViewStart()), std::max(FrameAt(ViewEnd()), FrameAt(ViewStart()) + 1))
        .known;
}

// ---- The view ----

double CWaveformStrip::Length() const {
    if (slider_ == nullptr || slider_->maximum() <= slider_->minimum()) return 0;
    return slider_->maximum() / kTenthsPerSecond;
}

double CWaveformStrip::ViewStart() const {
    return whole_ && slider_ != nullptr ? slider_->minimum() / kTenthsPerSecond : viewStart_;
}

double CWaveformStrip::ViewEnd() const { return whole_ ? Length() : viewStart_ + viewSpan_; }

double CWaveformStrip::SecondsPerPixel() const {
    int x0 = 0;
    int x1 = 0;
    if (!Columns(x0, x1)) return 0;
    return (ViewEnd() - ViewStart()) / (x1 - x0);
}

double CWaveformStrip::MinimumSpan() const {
    int x0 = 0;
    int x1 = 0;
    return Columns(x0, x1) ? (x1 - x0) * kFinestSecondsPerPixel : 0;
}

void CWaveformStrip::SetView(double start, double span) {
    const double low = slider_ != nullptr ? slider_->minimum() / kTenthsPerSecond : 0;
    const double length = Length() - low;
    const bool wasWhole = whole_;
    const double oldStart = viewStart_;
    const double oldSpan = viewSpan_;
    span = std::max(span, MinimumSpan());
    if (length <= 0 || span >= length) {
        whole_ = true;
        viewStart_ = low;
        viewSpan_ = std::max(length, 0.0);
    } else {
        whole_ = false;
        viewSpan_ = span;
        viewStart_ = std::clamp(start, low, low + length - span);
    }
    ShowViewOnScrollBar();
    UpdateStretch();
    update();
    if (whole_ != wasWhole || viewStart_ != oldStart || viewSpan_ != oldSpan) Q_EMIT ViewChanged();
}

void CWaveformStrip::ShowViewOnScrollBar() {
    if (scrollBar_ == nullptr) return;
    showingView_ = true;
    const int span = static_cast<int>(std::lround((ViewEnd() - ViewStart()) * kMsPerSecond));
    const int length = static_cast<int>(std::lround(Length() * kMsPerSecond));
    scrollBar_->setRange(0, whole_ ? 0 : std::max(0, length - span));
    scrollBar_->setPageStep(std::max(1, span));
    scrollBar_->setSingleStep(std::max(1, static_cast<int>(span * kWheelShare)));
    scrollBar_->setValue(static_cast<int>(std::lround(ViewStart() * kMsPerSecond)));
    scrollBar_->setEnabled(!whole_ && !source_.isEmpty());
    showingView_ = false;
}

void CWaveformStrip::ZoomAbout(double factor, double x) {
    int x0 = 0;
    int x1 = 0;
    if (source_.isEmpty() || factor <= 0 || !Columns(x0, x1)) return;
    const double at = SecondsAt(x);
    // At the finest zoom the time under x stays there too.
    const double span = std::max((ViewEnd() - ViewStart()) / factor, MinimumSpan());
    SetView(at - (std::clamp(x, double(x0), double(x1)) - x0) / (x1 - x0) * span, span);
}

double CWaveformStrip::ZoomAnchor() const {
    const QPoint pointer = mapFromGlobal(QCursor::pos());
    if (rect().contains(pointer)) return pointer.x();
    if (slider_ != nullptr) {
        const double position = slider_->value() / kTenthsPerSecond;
        if (position >= ViewStart() && position <= ViewEnd()) return XAt(position);
    }
    return width() / 2.0;
}

void CWaveformStrip::ZoomIn() { ZoomAbout(kZoomStep, ZoomAnchor()); }
void CWaveformStrip::ZoomOut() { ZoomAbout(1 / kZoomStep, ZoomAnchor()); }
void CWaveformStrip::ShowWhole() {
    whole_ = false;  // so that the view counts as changed when a new range is shown whole
    SetView(0, Length() + 1);
}
void CWaveformStrip::ShowStretch(double from, double to) { SetView(from, to - from); }
void CWaveformStrip::ScrollTo(double seconds) {
    if (!whole_) SetView(seconds, viewSpan_);
}

void CWaveformStrip::Reveal(double seconds) {
    if (whole_) return;
    if (seconds < viewStart_) ScrollTo(seconds - viewSpan_ * kWheelShare);
    else if (seconds > viewStart_ + viewSpan_) ScrollTo(seconds - viewSpan_ * (1 - kWheelShare));
}

// ---- Geometry ----

bool CWaveformStrip::Columns(int& x0, int& x1) const {
    if (slider_ == nullptr || slider_->maximum() <= slider_->minimum()) return false;
    QStyleOptionSlider option = SliderOption(*slider_);
    const auto centre = [&](int value) {
        option.sliderPosition = value;
        const QRect handle = slider_->style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle,
                                                              slider_);
        return mapFrom(window(), slider_->mapTo(window(), handle.center())).x();
    };
    x0 = centre(slider_->minimum());
    x1 = centre(slider_->maximum());
    return x1 > x0;
}

double CWaveformStrip::XAt(double seconds) const {
    int x0 = 0;
    int x1 = 0;
    if (!Columns(x0, x1)) return 0;
    return x0 + (seconds - ViewStart()) * (x1 - x0) / (ViewEnd() - ViewStart());
}

double CWaveformStrip::SecondsAt(double x) const {
    int x0 = 0;
    int x1 = 0;
    if (!Columns(x0, x1)) return 0;
    const double low = slider_->minimum() / kTenthsPerSecond;
    return std::clamp(ViewStart() + (x - x0) * (ViewEnd() - ViewStart()) / (x1 - x0), low, Length());
}

int CWaveformStrip::XOfValue(int value) const {
    int x0 = 0;
    int x1 = 0;
    if (!Columns(x0, x1)) return 0;
    // The whole file stands exactly where the slider's handle does.
    if (whole_) return x0 + QStyle::sliderPositionFromValue(slider_->minimum(), slider_->maximum(), value, x1 - x0);
    return static_cast<int>(std::lround(XAt(value / kTenthsPerSecond)));
}

int CWaveformStrip::ValueAtX(int x) const {
    int x0 = 0;
    int x1 = 0;
    if (!Columns(x0, x1)) return 0;
    if (whole_) return QStyle::sliderValueFromPosition(slider_->minimum(), slider_->maximum(), x - x0, x1 - x0);
    return std::clamp(static_cast<int>(std::lround(SecondsAt(x) * kTenthsPerSecond)), slider_->minimum(),
                      slider_->maximum());
}

PeakColumn CWaveformStrip::PeaksAtX(int x) const {
    int x0 = 0;
    int x1 = 0;
    if (source_.isEmpty() || !Columns(x0, x1) || x < x0 || x > x1) return {};
    return ViewColumns(x, x).front();
}

int CWaveformStrip::BoundaryNear(int x) const {
    if (!editable_ || pieces_.size() < 2) return -1;
    int best = -1;
    double bestDistance = kGrabPixels + 0.5;
    for (size_t row = 0; row + 1 < pieces_.size(); ++row) {
        const double distance = std::abs(XAt(pieces_[row].end) - x);
        if (distance < bestDistance) {
            best = static_cast<int>(row);
            bestDistance = distance;
        }
    }
    return best;
}

double CWaveformStrip::DragTarget(int x, bool free, bool& snapped) {
    snapped = false;
    const double at = SecondsAt(x);
    if (free || map_ == nullptr || map_->sampleRate == 0) return at;
    if (!silencesFound_) {
        silences_ = SilencesInMap(*map_, silenceOptions_);
        silencesFound_ = true;
    }
    // The nearest silence within kSnapPixels of x (0 inside it).
    const double rate = map_->sampleRate;
    double best = kSnapPixels + 0.5;
    double target = at;
    for (const SilenceSpan& silence : silences_) {
        const double left = XAt(silence.first / rate);
        const double right = XAt(silence.end / rate);
        const double distance = x < left ? left - x : x > right ? x - right : 0;
        if (distance < best) {
            best = distance;
            target = silence.middle / rate;
            snapped = true;
        }
    }
    return target;
}

// ---- Painting ----

void CWaveformStrip::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // The view keeps its stretch; its zoom follows the width.
    if (!whole_) SetView(viewStart_, viewSpan_);
}

void CWaveformStrip::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    update();
}

void CWaveformStrip::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    update();
}

void CWaveformStrip::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Base));
    painter.setPen(palette().color(hasFocus() ? QPalette::Highlight : QPalette::Mid));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    int x0 = 0;
    int x1 = 0;
    if (source_.isEmpty() || !Columns(x0, x1)) return;

    painter.setClipRect(QRect(x0, kFramePixels, x1 - x0 + 1, height() - 2 * kFramePixels));
    DrawBands(painter, x0, x1);
    DrawPeaks(painter, x0, x1);

    const int inner = height() - kFramePixels;
    if (selEnd_ > selStart_) {
        const int left = static_cast<int>(std::lround(XAt(selStart_ / kTenthsPerSecond)));
        const int right = static_cast<int>(std::lround(XAt(selEnd_ / kTenthsPerSecond)));
        painter.fillRect(QRect(left, inner - kSelectionHeight, std::max(1, right - left), kSelectionHeight),
                         palette().color(isEnabled() ? QPalette::Highlight : QPalette::Mid));
    }
    DrawMarked(painter, x0, x1);
    if (dragRow_ >= 0 && dragging_) {
        const int x = static_cast<int>(std::lround(XAt(dragSeconds_)));
        painter.setPen(dragSnapped_ ? QPen(kSnapColour, kMarkedWidth)
                                    : QPen(palette().color(QPalette::Highlight), 1, Qt::DashLine));
        painter.drawLine(x, kFramePixels, x, inner - 1);
    }
    painter.setPen(kPositionColour);
    const int at = XOfValue(slider_->value());
    painter.drawLine(at, kFramePixels, at, inner - 1);
}

void CWaveformStrip::DrawBands(QPainter& painter, int x0, int x1) const {
    const int top = kFramePixels;
    const int bottom = height() - kFramePixels;
    const QFontMetrics metrics = fontMetrics();
    for (size_t row = 0; row < pieces_.size(); ++row) {
        const double left = std::max(XAt(pieces_[row].start), x0 - 1.0);
        const double right = std::min(XAt(pieces_[row].end), x1 + 1.0);
        if (right < x0 || left > x1) continue;
        const int l = static_cast<int>(std::lround(left));
        const QRect band(l, top, std::max(1, static_cast<int>(std::lround(right)) - l), bottom - top);
        QColor colour = kBandColours[row % std::size(kBandColours)];
        if (static_cast<int>(row) == selected_) {
            colour = palette().color(QPalette::Highlight);
            colour.setAlpha(kSelectedAlpha);
        }
        painter.fillRect(band, colour);
        const QString number = QString::number(row + 1);
        if (metrics.horizontalAdvance(number) + 2 * kNumberInset <= band.width()) {
            painter.setPen(palette().color(QPalette::Text));
            painter.drawText(std::max(l, x0) + kNumberInset, top + kNumberInset + metrics.ascent(), number);
        }
    }
}

void CWaveformStrip::DrawMarked(QPainter& painter, int x0, int x1) const {
    if (marked_ < 0 || marked_ + 1 >= static_cast<int>(pieces_.size())) return;
    const double seconds = pieces_[static_cast<size_t>(marked_)].end;
    const int x = static_cast<int>(std::lround(XAt(seconds)));
    if (x < x0 || x > x1) return;
    const int inner = height() - kFramePixels;
    painter.setPen(QPen(palette().color(QPalette::Highlight), kMarkedWidth));
    painter.drawLine(x, kFramePixels, x, inner - 1);
    // Its time to the millisecond, beside it where there is room.
    const QString text = MillisecondsText(std::llround(seconds * kMsPerSecond), 3, Length() >= 3600.0);
    const QFontMetrics metrics = fontMetrics();
    const int width = metrics.horizontalAdvance(text);
    const int left = x + kNumberInset + width <= x1 ? x + kNumberInset : x - kNumberInset - width;
    const int baseline = inner - kSelectionHeight - kNumberInset - metrics.descent();
    if (left < x0) return;
    painter.fillRect(QRect(left - 1, baseline - metrics.ascent(), width + 2, metrics.height()),
                     palette().color(QPalette::Base));
    painter.setPen(palette().color(QPalette::Text));
    painter.drawText(left, baseline, text);
}

std::vector<PeakColumn> CWaveformStrip::ViewColumns(int x0, int x1) const {
    const bool fine = map_ != nullptr && !whole_ && map_->framesPerBin > SecondsPerPixel() * map_->sampleRate;
    if (!fine) {
        // Pixel x shows the values that round to it: from half a pixel before to half after.
        std::vector<double> edges;
        edges.reserve(static_cast<size_t>(x1 - x0 + 2));
        for (int x = x0; x <= x1 + 1; ++x) edges.push_back(SecondsAt(x - 0.5));
        return worker_.Columns(edges);
    }
    // Finer than the map's bins: the stretch's columns where it has them, else the map's bins.
    std::vector<PeakColumn> columns;
    columns.reserve(static_cast<size_t>(x1 - x0 + 1));
    for (int x = x0; x <= x1; ++x) {
        const uint64_t first = FrameAt(SecondsAt(x - 0.5));
        const uint64_t end = std::max(FrameAt(SecondsAt(x + 0.5)), first + 1);
        const PeakColumn column = StretchColumn(stretch_, first, end);
        columns.push_back(column.known ? column : PeaksOfRange(*map_, first, end));
    }
    return columns;
}

void CWaveformStrip::DrawPeaks(QPainter& painter, int x0, int x1) const {
    const std::vector<PeakColumn> columns = ViewColumns(x0, x1);
    const int top = kFramePixels + kWavePadding;
    const int bottom = height() - kFramePixels - kSelectionHeight - kWavePadding;
    const double middle = (top + bottom) / 2.0;
    const double half = (bottom - top) / 2.0;
    const auto y = [&](int16_t sample) { return static_cast<int>(std::lround(middle - sample / kFullScale * half)); };
    QVector<QLine> lines;
    lines.reserve(static_cast<qsizetype>(columns.size()));
    for (size_t c = 0; c < columns.size(); ++c) {
        if (!columns[c].known) continue;
        const int x = x0 + static_cast<int>(c);
        lines.append(QLine(x, y(columns[c].high), x, y(columns[c].low)));
    }
    painter.setPen(isEnabled() ? kPeakColour : palette().color(QPalette::Mid));
    painter.drawLines(lines);
}

// ---- Mouse and keys ----

void CWaveformStrip::mousePressEvent(QMouseEvent* event) {
    int x0 = 0;
    int x1 = 0;
    if (event->button() != Qt::LeftButton || source_.isEmpty() || !Columns(x0, x1) || !slider_->isEnabled()) {
        QWidget::mousePressEvent(event);
        return;
    }
    setFocus(Qt::MouseFocusReason);
    const int x = event->position().toPoint().x();
    dragRow_ = BoundaryNear(x);
    if (dragRow_ >= 0) {
        // A boundary is taken only once the pointer moves; a click there is a slider press.
        pressX_ = x;
        dragging_ = false;
        dragSeconds_ = SecondsAt(x);
        return;
    }
    PressSlider(x);
}

void CWaveformStrip::PressSlider(int x) {
    // As a press on the slider's handle, dragged at once to the pointer.
    sliderHeld_ = true;
    slider_->setSliderDown(true);
    slider_->setSliderPosition(ValueAtX(x));
}

void CWaveformStrip::mouseMoveEvent(QMouseEvent* event) {
    const int x = event->position().toPoint().x();
    if (dragRow_ >= 0) {
        if (!dragging_ && std::abs(x - pressX_) < QApplication::startDragDistance()) return;
        dragging_ = true;
        dragSeconds_ = DragTarget(x, event->modifiers().testFlag(Qt::ShiftModifier), dragSnapped_);
        update();
    } else if (sliderHeld_ && slider_ != nullptr) {
        slider_->setSliderPosition(ValueAtX(x));
    } else if (event->buttons() == Qt::NoButton) {
        setCursor(!source_.isEmpty() && BoundaryNear(x) >= 0 ? Qt::SplitHCursor : Qt::ArrowCursor);
    }
}

void CWaveformStrip::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const int x = event->position().toPoint().x();
    if (dragRow_ >= 0) {
        const int row = dragRow_;
        dragRow_ = -1;
        if (dragging_ || std::abs(x - pressX_) >= QApplication::startDragDistance()) {
            dragging_ = false;
            update();
            bool snapped = false;
            const double target = DragTarget(x, event->modifiers().testFlag(Qt::ShiftModifier), snapped);
            if (snapped || (!whole_ && SecondsPerPixel() < kExactSecondsPerPixel))
                Q_EMIT BoundaryMoved(row, target, true);
            else
                Q_EMIT BoundaryMoved(row, ValueAtX(x) / kTenthsPerSecond, false);
            return;
        }
        if (slider_ != nullptr && slider_->isEnabled()) PressSlider(pressX_);
    }
    if (sliderHeld_) {
        sliderHeld_ = false;
        if (slider_ != nullptr) {
            slider_->setSliderPosition(ValueAtX(x));
            slider_->setSliderDown(false);
        }
    }
}

void CWaveformStrip::wheelEvent(QWheelEvent* event) {
    int x0 = 0;
    int x1 = 0;
    const QPoint delta = event->angleDelta();
    if (source_.isEmpty() || !Columns(x0, x1) || delta.isNull()) {
        event->ignore();
        return;
    }
    if (event->modifiers().testFlag(Qt::ControlModifier)) {
        ZoomAbout(std::pow(kZoomStep, static_cast<double>(delta.y()) / kWheelNotch), event->position().x());
        event->accept();
        return;
    }
    if (whole_) {
        event->ignore();  // the page's own scrolling, if any
        return;
    }
    // Down or right scrolls on towards the end.
    const int notches = delta.x() != 0 ? delta.x() : delta.y();
    ScrollTo(viewStart_ - notches / static_cast<double>(kWheelNotch) * kWheelShare * viewSpan_);
    event->accept();
}

void CWaveformStrip::keyPressEvent(QKeyEvent* event) {
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    const int key = event->key();
    const bool arrow = key == Qt::Key_Left || key == Qt::Key_Right;
    if (arrow && (modifiers == Qt::NoModifier || modifiers == Qt::ShiftModifier)) {
        if (editable_ && selected_ >= 0 && pieces_.size() > 1) {
            Q_EMIT NudgeAsked(key == Qt::Key_Left ? -1 : 1, modifiers == Qt::ShiftModifier);
            return;
        }
    }
    if (slider_ != nullptr && modifiers == Qt::NoModifier &&
        (key == Qt::Key_Left || key == Qt::Key_Right || key == Qt::Key_Home || key == Qt::Key_End ||
         key == Qt::Key_PageUp || key == Qt::Key_PageDown)) {
        QApplication::sendEvent(slider_, event);
        return;
    }
    QWidget::keyPressEvent(event);
}

}  // namespace corvane
