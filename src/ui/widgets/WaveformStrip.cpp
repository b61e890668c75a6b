// CWaveformStrip: peaks, piece bands, selection and position over a slider's groove.
#include "ui/widgets/WaveformStrip.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionSlider>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace corvane {
namespace {

constexpr double kTenthsPerSecond = 10.0;
constexpr double kFullScale = 32768.0;
constexpr int kFramePixels = 1;       // the strip's border
constexpr int kWavePadding = 2;       // between the border and the loudest sample
constexpr int kSelectionHeight = 3;   // the selection range along the foot
constexpr int kNumberInset = 3;       // a piece number from its band's left edge and the top
constexpr int kBandAlpha = 50;
constexpr int kSelectedAlpha = 95;
constexpr QColor kBandColours[] = {QColor(70, 130, 180, kBandAlpha), QColor(220, 160, 60, kBandAlpha)};
constexpr QColor kPeakColour(38, 66, 110);
constexpr QColor kPositionColour(200, 30, 30);

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

}  // namespace

CWaveformStrip::CWaveformStrip(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

CWaveformStrip::~CWaveformStrip() { worker_.Cancel(); }

void CWaveformStrip::SetSlider(QSlider* slider) {
    if (slider_) disconnect(slider_, nullptr, this, nullptr);
    slider_ = slider;
    if (slider_ == nullptr) return;
    connect(slider_, &QSlider::valueChanged, this, qOverload<>(&QWidget::update));
    connect(slider_, &QSlider::rangeChanged, this, qOverload<>(&QWidget::update));
}

void CWaveformStrip::SetSource(const QString& path) {
    worker_.Cancel();
    source_ = path;
    dragRow_ = -1;
    if (!source_.isEmpty()) {
        // New bins arrive on the worker's threads; the repaint is posted to this one.
        worker_.Start(path.toStdString(), [this] {
            QMetaObject::invokeMethod(this, qOverload<>(&QWidget::update), Qt::QueuedConnection);
        });
    }
    update();
}

void CWaveformStrip::Clear() {
    SetSource(QString());
    pieces_.clear();
    selected_ = -1;
    editable_ = false;
    selStart_ = selEnd_ = 0;
    update();
}

void CWaveformStrip::SetPieces(std::vector<Band> pieces, int selected, bool editable) {
    pieces_ = std::move(pieces);
    selected_ = selected;
    editable_ = editable;
    if (!editable_) dragRow_ = -1;
    update();
}

void CWaveformStrip::SetSelection(int start, int end) {
    selStart_ = start;
    selEnd_ = end;
    update();
}

// ---- Geometry ----

bool CWaveformStrip::Span(int& x0, int& x1) const {
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

int CWaveformStrip::XOfValue(int value) const {
    int x0 = 0;
    int x1 = 0;
    if (!Span(x0, x1)) return 0;
    return x0 + QStyle::sliderPositionFromValue(slider_->minimum(), slider_->maximum(), value, x1 - x0);
}

int CWaveformStrip::ValueAtX(int x) const {
    int x0 = 0;
    int x1 = 0;
    if (!Span(x0, x1)) return 0;
    return QStyle::sliderValueFromPosition(slider_->minimum(), slider_->maximum(), x - x0, x1 - x0);
}

double CWaveformStrip::SecondsAtX(double x, int x0, int x1) const {
    const double low = slider_->minimum();
    const double high = slider_->maximum();
    const double value = low + (x - x0) * (high - low) / (x1 - x0);
    return std::clamp(value, low, high) / kTenthsPerSecond;
}

PeakColumn CWaveformStrip::PeaksAtX(int x) const {
    int x0 = 0;
    int x1 = 0;
    if (source_.isEmpty() || !Span(x0, x1) || x < x0 || x > x1) return {};
    // Pixel x shows the values that round to it: from half a pixel before to half after.
    const std::vector<PeakColumn> column =
        worker_.Columns({SecondsAtX(x - 0.5, x0, x1), SecondsAtX(x + 0.5, x0, x1)});
    return column.front();
}

int CWaveformStrip::BoundaryNear(int x) const {
    if (!editable_ || pieces_.size() < 2) return -1;
    int best = -1;
    int bestDistance = kGrabPixels + 1;
    for (size_t row = 0; row + 1 < pieces_.size(); ++row) {
        const int distance = std::abs(XOfValue(pieces_[row].end) - x);
        if (distance < bestDistance) {
            best = static_cast<int>(row);
            bestDistance = distance;
        }
    }
    return best;
}

// ---- Painting ----

void CWaveformStrip::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Base));
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    int x0 = 0;
    int x1 = 0;
    if (source_.isEmpty() || !Span(x0, x1)) return;

    DrawBands(painter);
    DrawPeaks(painter, x0, x1);

    const int inner = height() - kFramePixels;
    if (selEnd_ > selStart_) {
        const int left = XOfValue(selStart_);
        painter.fillRect(QRect(left, inner - kSelectionHeight, std::max(1, XOfValue(selEnd_) - left), kSelectionHeight),
                         palette().color(isEnabled() ? QPalette::Highlight : QPalette::Mid));
    }
    if (dragRow_ >= 0 && dragging_) {
        painter.setPen(QPen(palette().color(QPalette::Highlight), 1, Qt::DashLine));
        painter.drawLine(dragX_, kFramePixels, dragX_, inner - 1);
    }
    painter.setPen(kPositionColour);
    const int at = XOfValue(slider_->value());
    painter.drawLine(at, kFramePixels, at, inner - 1);
}

void CWaveformStrip::DrawBands(QPainter& painter) const {
    const int top = kFramePixels;
    const int bottom = height() - kFramePixels;
    const QFontMetrics metrics = fontMetrics();
    for (size_t row = 0; row < pieces_.size(); ++row) {
        const int left = XOfValue(pieces_[row].start);
        const int right = XOfValue(pieces_[row].end);
        const QRect band(left, top, std::max(1, right - left), bottom - top);
        QColor colour = kBandColours[row % std::size(kBandColours)];
        if (static_cast<int>(row) == selected_) {
            colour = palette().color(QPalette::Highlight);
            colour.setAlpha(kSelectedAlpha);
        }
        painter.fillRect(band, colour);
        const QString number = QString::number(row + 1);
        if (metrics.horizontalAdvance(number) + 2 * kNumberInset <= band.width()) {
            painter.setPen(palette().color(QPalette::Text));
            painter.drawText(left + kNumberInset, top + kNumberInset + metrics.ascent(), number);
        }
    }
}

void CWaveformStrip::DrawPeaks(QPainter& painter, int x0, int x1) const {
    std::vector<double> edges;
    edges.reserve(static_cast<size_t>(x1 - x0 + 2));
    for (int x = x0; x <= x1 + 1; ++x) edges.push_back(SecondsAtX(x - 0.5, x0, x1));
    const std::vector<PeakColumn> columns = worker_.Columns(edges);

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

// ---- Mouse ----

void CWaveformStrip::mousePressEvent(QMouseEvent* event) {
    int x0 = 0;
    int x1 = 0;
    if (event->button() != Qt::LeftButton || source_.isEmpty() || !Span(x0, x1) || !slider_->isEnabled()) {
        QWidget::mousePressEvent(event);
        return;
    }
    const int x = event->position().toPoint().x();
    dragRow_ = BoundaryNear(x);
    if (dragRow_ >= 0) {
        // A boundary is taken only once the pointer moves; a click there is a slider press.
        pressX_ = x;
        dragging_ = false;
        dragX_ = std::clamp(x, x0, x1);
        return;
    }
    PressSlider(x);
}

void CWaveformStrip::PressSlider(int x) {
    // As a press on the slider's handle, dragged at once to the pointer.
    slider_->setFocus(Qt::MouseFocusReason);
    sliderHeld_ = true;
    slider_->setSliderDown(true);
    slider_->setSliderPosition(ValueAtX(x));
}

void CWaveformStrip::mouseMoveEvent(QMouseEvent* event) {
    const int x = event->position().toPoint().x();
    if (dragRow_ >= 0) {
        if (!dragging_ && std::abs(x - pressX_) < QApplication::startDragDistance()) return;
        dragging_ = true;
        int x0 = 0;
        int x1 = 0;
        if (Span(x0, x1)) dragX_ = std::clamp(x, x0, x1);
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
            Q_EMIT BoundaryMoved(row, ValueAtX(x));
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

}  // namespace corvane
