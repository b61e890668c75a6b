// Anchor layout: margin arithmetic and arrangement.
#include "ui/widgets/ResizableLayout.h"

#include <QGroupBox>
#include <QWidget>
#include <QWidgetItem>

namespace corvane {
namespace {

// The part of size that a percent anchor contributes; integer, truncating.
int Share(int percent, int size) { return percent * size / 100; }

}  // namespace

CResizableLayout::CResizableLayout(QWidget* container) : QLayout(container), container_(container) {
    setContentsMargins(0, 0, 0, 0);
    setSizeConstraint(QLayout::SetNoConstraint);
}

CResizableLayout::~CResizableLayout() { RemoveAll(); }

LayoutEntry CResizableLayout::MakeEntry(const QRect& r, QSize client, Anchor topLeft,
                                        Anchor bottomRight) {
    if (bottomRight == kNoAnchor) bottomRight = topLeft;
    const int right = r.x() + r.width();    // just past the control, as window rectangles count
    const int bottom = r.y() + r.height();
    LayoutEntry e;
    e.topLeft = topLeft;
    e.bottomRight = bottomRight;
    e.topLeftMargin = QPoint(r.x() - Share(topLeft.x, client.width()),
                             r.y() - Share(topLeft.y, client.height()));
    e.bottomRightMargin = QPoint(right - Share(bottomRight.x, client.width()),
                                 bottom - Share(bottomRight.y, client.height()));
    return e;
}

QRect CResizableLayout::PlaceEntry(const LayoutEntry& e, QSize client) {
    const int left = e.topLeftMargin.x() + Share(e.topLeft.x, client.width());
    const int top = e.topLeftMargin.y() + Share(e.topLeft.y, client.height());
    const int right = e.bottomRightMargin.x() + Share(e.bottomRight.x, client.width());
    const int bottom = e.bottomRightMargin.y() + Share(e.bottomRight.y, client.height());
    return QRect(left, top, right - left, bottom - top);
}

void CResizableLayout::AddAnchor(QWidget* control, Anchor topLeft, Anchor bottomRight) {
    if (control == nullptr) return;
    LayoutEntry e = MakeEntry(control->geometry(), container_->size(), topLeft, bottomRight);
    e.control = control;
    if (designSize_.isEmpty()) designSize_ = container_->size();
    entries_.push_back(e);
    items_.push_back(new QWidgetItem(control));
}

void CResizableLayout::AddCallbackEntry(int callbackId) {
    LayoutEntry e;
    e.callbackId = callbackId;
    entries_.push_back(e);
}

void CResizableLayout::SetInitialised(bool initialised) {
    initialised_ = initialised;
    if (initialised_) {
        if (designSize_.isEmpty()) designSize_ = container_->size();
        Arrange(container_->size());
    }
}

void CResizableLayout::Arrange(QSize client) {
    for (const LayoutEntry& plain : entries_) {
        LayoutEntry e = plain;
        if (e.callbackId != 0) {
            // Moves are applied at once here, so the callback already sees the new places of
            // the plain entries before it (the page area follows the moved tab control).
            if (!callback_ || !callback_(e.callbackId, &e) || e.control == nullptr) continue;
        }
        if (e.control == nullptr) continue;
        const QRect target = PlaceEntry(e, client);
        const QRect current = e.control->geometry();
        if (target == current) continue;
        if (target.topLeft() != current.topLeft() && target.size() != current.size())
            e.control->setGeometry(target);
        else if (target.topLeft() != current.topLeft())
            e.control->move(target.topLeft());
        else
            e.control->resize(target.size());
    }
}

void CResizableLayout::RemoveAll() {
    entries_.clear();
    for (QLayoutItem* item : items_) delete item;
    items_.clear();
}

void CResizableLayout::addItem(QLayoutItem* item) {
    // Widgets added the Qt way keep their place and size: anchored top left.
    if (item != nullptr && item->widget() != nullptr) {
        QWidget* w = item->widget();
        delete item;
        AddAnchor(w, kTopLeft, kTopLeft);
        return;
    }
    delete item;
}

QLayoutItem* CResizableLayout::itemAt(int index) const {
    return index >= 0 && index < static_cast<int>(items_.size()) ? items_[index] : nullptr;
}

QLayoutItem* CResizableLayout::takeAt(int index) {
    if (index < 0 || index >= static_cast<int>(items_.size())) return nullptr;
    QLayoutItem* item = items_[index];
    items_.erase(items_.begin() + index);
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
        if (it->control == item->widget()) {
            entries_.erase(it);
            break;
        }
    }
    return item;
}

int CResizableLayout::count() const { return static_cast<int>(items_.size()); }

QSize CResizableLayout::sizeHint() const { return designSize_.isEmpty() ? QSize(0, 0) : designSize_; }

QSize CResizableLayout::minimumSize() const { return QSize(0, 0); }

void CResizableLayout::setGeometry(const QRect& rect) {
    QLayout::setGeometry(rect);
    if (initialised_) Arrange(rect.size());
}

}  // namespace corvane
