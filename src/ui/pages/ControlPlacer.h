// CControlPlacer: puts a page's controls at their design rectangles and anchors them.
//
// Pages are laid out in dialog units (see CResizablePage::DluRect). Each control is given its
// object name (tests find controls by it), its rectangle and its anchors in one call; a
// page's own placer derives from this one for its recurring kinds of control.
#pragma once

#include "ui/pages/ResizablePage.h"
#include "ui/widgets/ResizableLayout.h"

#include <QString>

#include <functional>

class QLabel;
class QPushButton;

namespace corvane {

class CNumberEdit;

// The measures the pages share, in dialog units.
constexpr int kMargin = 7;                           // between the page's edges and its controls
constexpr int kRight = kPageDesignWidth - kMargin;   // the right edge of the controls
constexpr int kRowHeight = 13;                       // boxes, lists and spins
constexpr int kButtonHeight = 14;
constexpr int kTextHeight = 8;                       // one line of label text
constexpr int kLabelDrop = 3;                        // from a box's top to its label's text line
constexpr int kSpinWidth = 10;                       // the up and down buttons beside a box

struct CControlPlacer {
    CResizablePage* page;
    CResizableLayout* layout;

    // Names control, places it at the dialog-unit rectangle and anchors it.
    template <typename Control>
    Control* Put(Control* control, const char* name, int x, int y, int width, int height, Anchor topLeft,
                 Anchor bottomRight = kNoAnchor) const {
        control->setObjectName(QString::fromLatin1(name));
        control->setGeometry(page->DluRect(x, y, width, height));
        layout->AddAnchor(control, topLeft, bottomRight);
        return control;
    }
    // A label for buddy (its mnemonic focuses buddy), dropped to the text line of a box at y.
    QLabel* Label(const char* text, QWidget* buddy, int x, int y, int width, Anchor topLeft = kTopLeft,
                  Anchor bottomRight = kNoAnchor) const;
    // A push button that never acts as a default button.
    QPushButton* Button(const char* text, const char* name, int x, int y, int width, int height,
                        Anchor topLeft) const;
    // A box for numbers without a minus sign, of at most maxChars characters; with decimal
    // a decimal point is allowed.
    CNumberEdit* NumberBox(const char* name, int x, int y, int width, bool decimal, int maxChars) const;
    // Up and down buttons at x, y beside box, calling step with +1 or -1.
    QWidget* Spin(const char* name, QWidget* box, int x, int y, std::function<void(int)> step) const;
};

}  // namespace corvane
