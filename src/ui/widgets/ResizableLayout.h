// Anchor layout: keeps a container's controls in place, in proportion, as it is resized.
//
// Each control is tied by its top-left and its bottom-right corner to a point of its
// container given in percent of the container's size. When the layout is declared, the
// distance of each corner from its anchor point (the margin) is recorded; at every resize a
// corner is placed at margin + percent * size / 100. All arithmetic is integer and truncates,
// so with a width of 501 a 50 % anchor contributes 250 pixels.
//
// Pitfall: margins are taken from the control's geometry and the container's size at the
// moment the anchor is added, so controls must be placed at their design positions inside a
// container of its design size before anchoring them.
#pragma once

#include <QLayout>
#include <QRect>
#include <QSize>

#include <functional>
#include <vector>

namespace corvane {

// A point of the container in percent of its width and height.
struct Anchor {
    int x = 0;
    int y = 0;
    bool operator==(const Anchor&) const = default;
};

constexpr Anchor kTopLeft{0, 0};
constexpr Anchor kTopCentre{50, 0};
constexpr Anchor kTopRight{100, 0};
constexpr Anchor kMiddleLeft{0, 50};
constexpr Anchor kMiddleCentre{50, 50};
constexpr Anchor kMiddleRight{100, 50};
constexpr Anchor kBottomLeft{0, 100};
constexpr Anchor kBottomCentre{50, 100};
constexpr Anchor kBottomRight{100, 100};
constexpr Anchor kNoAnchor{-1, -1};

// One anchored control (or, with callbackId nonzero and no control, a place the container
// fills in at each arrangement).
struct LayoutEntry {
    QWidget* control = nullptr;
    int callbackId = 0;
    Anchor topLeft;
    QPoint topLeftMargin;
    Anchor bottomRight;
    QPoint bottomRightMargin;
};

class CResizableLayout : public QLayout {
public:
    // The container fills entry (control, anchors, margins) for the callback identifier and
    // returns true, or returns false to have the entry skipped this time.
    using Callback = std::function<bool(int callbackId, LayoutEntry* entry)>;

    // Installs itself as container's layout. Nothing is arranged until SetInitialised(true).
    explicit CResizableLayout(QWidget* container);
    ~CResizableLayout() override;

    // Anchors control (a child of the container). A bottomRight of kNoAnchor means the same
    // as topLeft: the control keeps its size and moves. Margins come from the control's
    // current geometry and the container's current size.
    void AddAnchor(QWidget* control, Anchor topLeft, Anchor bottomRight = kNoAnchor);
    // Appends an entry whose control and rectangle the callback supplies at each arrangement.
    void AddCallbackEntry(int callbackId);
    void SetCallback(Callback callback) { callback_ = std::move(callback); }

    // Margins of an anchored rectangle r in a container of size client.
    static LayoutEntry MakeEntry(const QRect& r, QSize client, Anchor topLeft, Anchor bottomRight);
    // The rectangle of entry in a container of size client.
    static QRect PlaceEntry(const LayoutEntry& entry, QSize client);

    // Arrangement starts once the container has finished its initialisation.
    void SetInitialised(bool initialised);
    bool IsInitialised() const { return initialised_; }

    // Re-positions every entry for a container of size client, in the order they were added.
    void Arrange(QSize client);
    // Forgets every entry.
    void RemoveAll();
    int EntryCount() const { return static_cast<int>(entries_.size()); }

    // QLayout
    void addItem(QLayoutItem* item) override;
    QLayoutItem* itemAt(int index) const override;
    QLayoutItem* takeAt(int index) override;
    int count() const override;
    QSize sizeHint() const override;
    QSize minimumSize() const override;
    void setGeometry(const QRect& rect) override;

private:
    QWidget* container_;
    std::vector<LayoutEntry> entries_;
    std::vector<QLayoutItem*> items_;  // the anchored widgets as layout items, for Qt's walkers
    Callback callback_;
    bool initialised_ = false;
    QSize designSize_;
};

}  // namespace corvane
