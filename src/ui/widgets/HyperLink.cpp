// A text control that looks and acts like a web link.
#include "ui/widgets/HyperLink.h"

#include "ui/MessageBox.h"
#include "ui/Shell.h"

#include <QApplication>
#include <QCursor>
#include <QEvent>
#include <QFontMetrics>
#include <QMouseEvent>

namespace corvane {

CHyperLink::CHyperLink(const QString& text, const QString& target, QWidget* parent)
    : QLabel(text, parent), target_(target) {
    if (target_.isEmpty()) target_ = text;
    if (QLabel::text().isEmpty()) setText(target_);
    setCursor(Qt::PointingHandCursor);
    setMouseTracking(true);
    setAttribute(Qt::WA_TranslucentBackground);
    setAutoFillBackground(false);
    setTextFormat(Qt::PlainText);
    hoverTimer_.setInterval(kHoverTimerMs);
    connect(&hoverTimer_, &QTimer::timeout, this, &CHyperLink::OnHoverTimer);
    UpdateFonts();
    UpdateColour();
    setToolTip(target_);
    AutoSize();
}

void CHyperLink::SetTarget(const QString& target) {
    target_ = target;
    AutoSize();
    setToolTip(target_);
}

void CHyperLink::SetUnderline(int mode) {
    if (mode == underline_) return;
    underline_ = mode;
    settingFont_ = true;
    setFont(mode == kUnderlineAlways ? underlinedFont_ : normalFont_);
    settingFont_ = false;
    update();
}

void CHyperLink::SetAutoSize(bool autoSize) {
    autoSize_ = autoSize;
    AutoSize();
}

void CHyperLink::AutoSize() {
    if (!autoSize_) return;
    const QFontMetrics fm(font());
    const QSize extent = fm.size(0, text()) + QSize(2 * frameWidth(), 2 * frameWidth());
    const QRect old = geometry();
    int x = old.x();
    int y = old.y();
    const Qt::Alignment align = alignment();
    if (align & Qt::AlignHCenter)
        x = old.x() + (old.width() - extent.width()) / 2;
    else if (align & Qt::AlignRight)
        x = old.x() + old.width() - extent.width();
    if (align & Qt::AlignVCenter && !(align & Qt::AlignTop) && old.height() > 0 &&
        old.height() != extent.height() && parentWidget() != nullptr)
        y = old.y() + (old.height() - extent.height()) / 2;
    setGeometry(x, y, extent.width(), extent.height());
}

QColor CHyperLink::CurrentColour() const {
    if (hover_) return kHoverColour;
    return visited_ ? kVisitedColour : kLinkColour;
}

void CHyperLink::UpdateColour() {
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, CurrentColour());
    setPalette(pal);
}

void CHyperLink::UpdateFonts() {
    normalFont_ = font();
    normalFont_.setUnderline(false);
    underlinedFont_ = normalFont_;
    underlinedFont_.setUnderline(true);
    settingFont_ = true;
    setFont(underline_ == kUnderlineAlways || (hover_ && underline_ == kUnderlineHover)
                ? underlinedFont_
                : normalFont_);
    settingFont_ = false;
}

void CHyperLink::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange && !settingFont_) {
        UpdateFonts();
        AutoSize();
    }
    QLabel::changeEvent(event);
}

void CHyperLink::mouseMoveEvent(QMouseEvent* event) {
    if (!hover_) {
        hover_ = true;
        if (underline_ == kUnderlineHover) {
            settingFont_ = true;
            setFont(underlinedFont_);
            settingFont_ = false;
        }
        UpdateColour();
        update();
        hoverTimer_.start();
    }
    QLabel::mouseMoveEvent(event);
}

void CHyperLink::OnHoverTimer() {
    if (rect().contains(mapFromGlobal(QCursor::pos()))) return;
    hover_ = false;
    hoverTimer_.stop();
    if (underline_ != kUnderlineAlways) {
        settingFont_ = true;
        setFont(normalFont_);
        settingFont_ = false;
    }
    UpdateColour();
    update();
}

void CHyperLink::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) Follow();
    QLabel::mouseReleaseEvent(event);
}

void CHyperLink::Follow() {
    hover_ = false;
    const int result = OpenWithShell(target_);
    if (result > kShellOpenFailed) {
        visited_ = true;
        UpdateColour();
        update();
        return;
    }
    UpdateColour();
    QApplication::beep();
    ShowMessage(this, QStringLiteral("Unable to open hyperlink:\n\n") + ShellErrorText(result),
                QMessageBox::Warning);
}

}  // namespace corvane
