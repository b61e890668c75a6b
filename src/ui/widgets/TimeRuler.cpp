// CTimeRuler: ticks and time labels over a waveform strip's view.
#include "ui/widgets/TimeRuler.h"

#include "ui/widgets/WaveformStrip.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace corvane {
namespace {

constexpr int64_t kMsPerSecond = 1000;
constexpr int64_t kMsPerMinute = 60 * kMsPerSecond;
constexpr int64_t kMsPerHour = 60 * kMsPerMinute;
constexpr double kHoursFrom = 3600.0;  // a file this long or longer labels hours
constexpr int kMinorTick = 3;          // pixels
constexpr int kLabelInset = 3;         // a label from its tick, which runs the ruler's height
constexpr int kLabelDrop = 1;          // from the top to the label's cap height

// The steps between labels, and how many parts the short ticks divide each into.
struct Step {
    int64_t ms;
    int parts;
};
constexpr Step kSteps[] = {
    {1, 5},        {2, 4},        {5, 5},        {10, 5},      {20, 4},      {50, 5},      {100, 5},
    {200, 4},      {500, 5},      {1000, 5},     {2000, 4},    {5000, 5},    {10000, 5},   {15000, 3},
    {30000, 3},    {60000, 4},    {120000, 4},   {300000, 5},  {600000, 5},  {900000, 3},  {1800000, 3},
    {3600000, 4},  {7200000, 4},  {18000000, 5}, {36000000, 5}};

// The decimals a label of a step shows: none for whole seconds, else milliseconds, as the
// piece list shows exact places.
int DecimalsOf(int64_t stepMs) { return stepMs % kMsPerSecond == 0 ? 0 : 3; }

}  // namespace

QString MillisecondsText(int64_t ms, int decimals, bool hours) {
    ms = std::max<int64_t>(ms, 0);
    const int64_t seconds = ms % kMsPerMinute / kMsPerSecond;
    QString text = hours ? QStringLiteral("%1:%2:%3")
                               .arg(ms / kMsPerHour)
                               .arg(ms % kMsPerHour / kMsPerMinute, 2, 10, QLatin1Char('0'))
                               .arg(seconds, 2, 10, QLatin1Char('0'))
                         : QStringLiteral("%1:%2").arg(ms / kMsPerMinute).arg(seconds, 2, 10, QLatin1Char('0'));
    if (decimals > 0) {
        const int64_t fraction = ms % kMsPerSecond;
        text += QLatin1Char('.') + QStringLiteral("%1").arg(fraction, 3, 10, QLatin1Char('0')).left(decimals);
    }
    return text;
}

CTimeRuler::CTimeRuler(QWidget* parent) : QWidget(parent) {}

void CTimeRuler::SetStrip(CWaveformStrip* strip) {
    if (strip_) disconnect(strip_, nullptr, this, nullptr);
    strip_ = strip;
    if (strip_ != nullptr) connect(strip_, &CWaveformStrip::ViewChanged, this, qOverload<>(&QWidget::update));
    update();
}

QSize CTimeRuler::sizeHint() const { return {100, fontMetrics().height() + kLabelDrop}; }

bool CTimeRuler::Ticks(std::vector<Tick>& ticks, int& decimals, bool& hours) const {
    int x0 = 0;
    int x1 = 0;
    if (strip_ == nullptr || !strip_->HasSource() || !strip_->Columns(x0, x1)) return false;
    const double start = strip_->ViewStart();
    const double end = strip_->ViewEnd();
    const double perPixel = strip_->SecondsPerPixel();
    if (end <= start || perPixel <= 0) return false;
    hours = strip_->Length() >= kHoursFrom;

    // The shortest step whose labels, as wide as the last one would be, keep apart.
    const Step* step = &kSteps[std::size(kSteps) - 1];
    for (const Step& s : kSteps) {
        const int width = fontMetrics().horizontalAdvance(
            MillisecondsText(static_cast<int64_t>(end * kMsPerSecond), DecimalsOf(s.ms), hours));
        if (static_cast<double>(s.ms) / kMsPerSecond / perPixel >= width + kLabelGap) {
            step = &s;
            break;
        }
    }
    decimals = DecimalsOf(step->ms);

    const int dx = strip_->mapTo(window(), QPoint()).x() - mapTo(window(), QPoint()).x();
    const double part = static_cast<double>(step->ms) / step->parts;
    const auto firstPart = static_cast<int64_t>(std::ceil(start * kMsPerSecond / part));
    for (int64_t k = firstPart; k * part <= end * kMsPerSecond; ++k) {
        Tick tick;
        tick.labelled = k % step->parts == 0;
        tick.ms = tick.labelled ? k / step->parts * step->ms : static_cast<int64_t>(k * part);
        tick.x = static_cast<int>(std::lround(strip_->XAt(k * part / kMsPerSecond))) + dx;
        ticks.push_back(tick);
    }
    return true;
}

int64_t CTimeRuler::LabelStepMs() const {
    std::vector<Tick> ticks;
    int decimals = 0;
    bool hours = false;
    if (!Ticks(ticks, decimals, hours)) return 0;
    int64_t first = -1;
    for (const Tick& tick : ticks) {
        if (!tick.labelled) continue;
        if (first >= 0) return tick.ms - first;
        first = tick.ms;
    }
    return 0;
}

std::vector<CTimeRuler::Label> CTimeRuler::LabelsDrawn(const std::vector<Tick>& ticks, int decimals, bool hours) const {
    std::vector<Label> labels;
    for (const Tick& tick : ticks) {
        if (!tick.labelled) continue;
        Label label;
        label.text = MillisecondsText(tick.ms, decimals, hours);
        label.left = tick.x + kLabelInset;
        label.right = label.left + fontMetrics().horizontalAdvance(label.text);
        if (tick.x >= 0 && label.right < width()) labels.push_back(label);
    }
    return labels;
}

QStringList CTimeRuler::Labels() const {
    std::vector<Tick> ticks;
    int decimals = 0;
    bool hours = false;
    QStringList texts;
    if (!Ticks(ticks, decimals, hours)) return texts;
    for (const Label& label : LabelsDrawn(ticks, decimals, hours)) texts << label.text;
    return texts;
}

void CTimeRuler::paintEvent(QPaintEvent*) {
    std::vector<Tick> ticks;
    int decimals = 0;
    bool hours = false;
    if (!Ticks(ticks, decimals, hours)) return;
    QPainter painter(this);
    painter.setPen(palette().color(isEnabled() ? QPalette::WindowText : QPalette::Mid));
    const int bottom = height() - 1;
    const std::vector<Label> labels = LabelsDrawn(ticks, decimals, hours);
    // A labelled tick runs the ruler's height with its label right of it; short ticks stand
    // between the labels, not under them.
    for (const Tick& tick : ticks) {
        const bool underLabel = std::any_of(labels.begin(), labels.end(), [&](const Label& label) {
            return tick.x >= label.left - 1 && tick.x <= label.right + 1;
        });
        if (tick.labelled) painter.drawLine(tick.x, bottom, tick.x, 0);
        else if (!underLabel) painter.drawLine(tick.x, bottom, tick.x, bottom - kMinorTick);
    }
    for (const Label& label : labels) painter.drawText(label.left, kLabelDrop + fontMetrics().ascent(), label.text);
}

}  // namespace corvane
