// CCutRuleControls: the cut-rule radios and boxes the two cutter pages share.
//
// Both cutter pages offer the same three rules one under another (by size: a size and its
// unit; by count: a number of equal pieces; by time: minutes and seconds a piece) and a fourth
// of their own (the custom pieces of the cutter page, the range of the batch cutter). The
// group makes the four radios and the three rules' boxes, spins and labels on the page at the
// places the page's look gives, shows and reads the values of CutRuleSettings, and builds the
// engine's CutRule of the three rules; the page makes, enables and reads its own rule's
// controls and fills in its rule itself.
//
// The controls are the page's children, named as the page tests find them ("bySize",
// "byCount", "byTime", the own radio's name, "sizeBox", "sizeSpin", "unitList", "countBox",
// "countSpin", "minutesBox", "minutesSpin", "secondsBox", "secondsSpin"), and are made in the
// page's tab order: each radio, then the boxes of its rule.
#pragma once

#include "engine/Cut.h"
#include "ui/SettingsStore.h"
#include "ui/pages/ControlPlacer.h"

#include <QObject>

#include <functional>

class QButtonGroup;
class QRadioButton;
class QWidget;

namespace corvane {

class CNumberEdit;
class CValueList;

// How the group looks on one page: places in dialog units, the texts that differ and the
// lowest values the spins step to.
struct CutRuleLook {
    // A label width that reaches the group's right edge.
    static constexpr int kToRight = -1;

    int top = 0;                  // the size radio's row
    int pitch = 0;                // from one radio's row to the next
    int right = 0;                // the group's right edge (labels of width kToRight end there)
    const char* timeRadioText = "";
    const char* ownRadioText = "";  // the page's own rule
    const char* ownRadioName = "";
    int sizeLow = 0;              // the size spin steps no lower than this
    int countLow = 0;             // nor the count spin below this
    int sizeLabelWidth = kToRight;   // "each file"
    int countLabelWidth = kToRight;  // "equal-sized files"
    const char* minutesLabel = "";   // between the minutes and the seconds box
    int minutesLabelWidth = 0;
    bool minutesLabelFocusesSeconds = false;  // its mnemonic focuses the seconds box, else the minutes box
    const char* secondsLabel = "";   // after the seconds box
    int secondsLabelWidth = kToRight;
};

class CCutRuleControls : public QObject {
    Q_OBJECT
public:
    // The radios, numbered as CutRuleSettings::cutType stores the chosen one.
    enum Choice { kBySize = 0, kByCount = 1, kByTime = 2, kByOwnRule = 3 };

    // The radios' width at the left margin, and the column where the rules' boxes start
    // beside them (dialog units); the page's own rule starts there too.
    static constexpr int kRadioWidth = 52;
    static constexpr int kFieldX = kMargin + kRadioWidth + 4;

    // Makes the radios and the boxes on the placer's page; the group is a child of the page.
    CCutRuleControls(const CControlPlacer& at, const CutRuleLook& look);

    // The radio of choice; the page's own radio is for its own controls' placing.
    QRadioButton* Radio(int choice) const { return radios_[choice]; }
    // The chosen radio (the size radio when none is).
    int Chosen() const;

    // Checks the radio of values.cutType (clamped to the four) and fills the boxes. A unit the
    // list does not hold shows as MB and is taken into values as MB.
    void Show(CutRuleSettings& values);
    // Takes the chosen radio, the unit, the size text and the whole numbers into values. A box
    // that does not hold a whole number is refused with "Please enter an integer." (unless
    // quiet) and focused; the whole numbers of values then stay as they were, and false is
    // returned.
    bool Read(CutRuleSettings& values, bool quiet);

    // Enables the four radios, or disables them.
    void EnableRadios(bool enable);
    // With enable, enables the boxes of the chosen rule and focuses its first box, and
    // disables the others; without, disables them all. The page's own rule has no box here.
    void EnableChosen(bool enable);

    // The engine's rule of values' chosen rule: Size with the size text and unit, Count with
    // the count, Time with the minutes and seconds. For the page's own rule the page sets the
    // kind and its values into the rule returned.
    static CutRule MakeRule(const CutRuleSettings& values);

Q_SIGNALS:
    // A radio was clicked (by the user or by its mnemonic).
    void RuleClicked(int choice);

private:

    QWidget* page_;
    QButtonGroup* group_ = nullptr;
    QRadioButton* radios_[4] = {};
    CNumberEdit* sizeBox_ = nullptr;
    QWidget* sizeSpin_ = nullptr;
    CValueList* unitList_ = nullptr;
    CNumberEdit* countBox_ = nullptr;
    QWidget* countSpin_ = nullptr;
    CNumberEdit* minutesBox_ = nullptr;
    QWidget* minutesSpin_ = nullptr;
    CNumberEdit* secondsBox_ = nullptr;
    QWidget* secondsSpin_ = nullptr;
};

}  // namespace corvane
