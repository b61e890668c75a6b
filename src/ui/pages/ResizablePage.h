// Base of every page of the main window: lazy initialisation, anchors, design coordinates.
//
// A page object exists from start-up (it reads its settings in its constructor), but its
// controls are made only when the page is first shown, as a dialog page is created when its
// tab is first opened. A page that was never shown has no controls, accepts every request to
// close, and saves nothing when the main window goes away.
#pragma once

#include "ui/widgets/ResizableLayout.h"

#include <QString>
#include <QFont>
#include <QWidget>

namespace corvane {

// The size every page of the main window is designed at, in dialog units.
constexpr int kPageDesignWidth = 469;
constexpr int kPageDesignHeight = 321;

class CResizablePage : public QWidget {
    Q_OBJECT
public:
    // caption: the tab text. designWidth and designHeight: the page's size in dialog units
    // (a quarter of the font's average character width, an eighth of its height).
    CResizablePage(const QString& caption, int designWidth, int designHeight,
                   QWidget* parent = nullptr);
    // A page of the standard design size (kPageDesignWidth by kPageDesignHeight).
    explicit CResizablePage(const QString& caption, QWidget* parent = nullptr)
        : CResizablePage(caption, kPageDesignWidth, kPageDesignHeight, parent) {}

    const QString& Caption() const { return caption_; }
    bool IsInitialised() const { return initialised_; }

    // Creates the page's controls now unless that has been done already.
    void EnsureInitialised();
    // Asked before the page is left or the main window is closed: true lets it go. A page
    // that refuses has shown its message and focused the offending control. The default
    // accepts.
    virtual bool CanClose() { return true; }
    // Called once when the main window is destroyed: a page that was initialised saves its
    // values (OnDestroyPage); one that was not does nothing.
    void DestroyPage();

    // Dialog units to pixels, by the page's font.
    QRect DluRect(int x, int y, int width, int height) const;
    QSize DesignSize() const;

protected:
    // Makes the controls at their design places (the page has its design size meanwhile)
    // and declares their anchors with Layout()->AddAnchor.
    virtual void OnInitPage() {}
    // Saves the page's settings; runs only for a page that was initialised.
    virtual void OnDestroyPage() {}

    CResizableLayout* Layout() const { return layout_; }
    void showEvent(QShowEvent* event) override;

private:
    QString caption_;
    int designWidth_;
    int designHeight_;
    CResizableLayout* layout_;
    bool initialised_ = false;
    bool destroyed_ = false;
    // The dialog base units of dluFont_: measuring the alphabet shapes text, which costs
    // more than placing a control, so it is done once per font rather than per rectangle.
    mutable QFont dluFont_;
    mutable int baseX_ = 0;
    mutable int baseY_ = 0;
};

}  // namespace corvane
