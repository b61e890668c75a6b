// CCutRuleControls: the by-size, by-count and by-time rules of the cutter pages.
#include "ui/pages/CutRuleControls.h"

#include "ui/MessageBox.h"
#include "ui/widgets/NumberEdit.h"
#include "ui/widgets/SpinButtons.h"
#include "ui/widgets/ValueList.h"

#include <QButtonGroup>
#include <QRadioButton>

#include <algorithm>
#include <utility>

namespace corvane {
namespace {

constexpr char kEnterInteger[] = "Please enter an integer.";
constexpr const char* kSizeRadioText = "By si&ze";
constexpr const char* kCountRadioText = "By &count";
constexpr const char* kRadioNames[] = {"bySize", "byCount", "byTime"};

constexpr int kSpinHigh = 32767;
constexpr int kSecondsHigh = 59;
constexpr int kDecimalBoxChars = 20;
constexpr int kIntegerBoxChars = 9;

// ---- Places, in dialog units ----
//
// The radios at the left margin, one a row; each rule's boxes start at one column beside
// them, each box followed by its spin and a label.

constexpr int kRadioHeight = 10;
constexpr int kSizeBoxWidth = 36;
constexpr int kUnitWidth = 34;
constexpr int kCountBoxWidth = 36;
constexpr int kMinutesBoxWidth = 30;
constexpr int kSecondsBoxWidth = 24;

// A whole number box's step: value + direction, kept within low..high.
std::function<void(int)> StepInteger(CNumberEdit* box, int low, int high) {
    return [box, low, high](int direction) {
        int value = 0;
        ReadInteger(box->text(), &value);
        box->setText(QString::number(std::clamp(value + direction, low, high)));
    };
}

}  // namespace

CCutRuleControls::CCutRuleControls(const CControlPlacer& at, const CutRuleLook& look)
    : QObject(at.page), page_(at.page) {
    const auto width = [&](int given, int x) { return given == CutRuleLook::kToRight ? look.right - x : given; };
    const auto numberBox = [&](const char* name, int x, int y, int w, bool decimal) {
        return at.NumberBox(name, x, y, w, decimal, decimal ? kDecimalBoxChars : kIntegerBoxChars);
    };
    const char* radioTexts[] = {kSizeRadioText, kCountRadioText, look.timeRadioText, look.ownRadioText};
    const char* radioNames[] = {kRadioNames[0], kRadioNames[1], kRadioNames[2], look.ownRadioName};
    group_ = new QButtonGroup(this);
    const auto radio = [&](int choice) {
        auto* r = at.Put(new QRadioButton(QString::fromLatin1(radioTexts[choice]), page_), radioNames[choice], kMargin,
                         look.top + choice * look.pitch + 1, kRadioWidth, kRadioHeight, kTopLeft);
        group_->addButton(r, choice);
        radios_[choice] = r;
    };

    int y = look.top;
    radio(kBySize);
    sizeBox_ = numberBox("sizeBox", kFieldX, y, kSizeBoxWidth, true);
    sizeSpin_ = at.Spin("sizeSpin", sizeBox_, kFieldX + kSizeBoxWidth, y, [this, low = look.sizeLow](int direction) {
        const int value = static_cast<int>(ReadDecimal(sizeBox_->text().toStdString()));
        sizeBox_->setText(QString::number(std::clamp(value + direction, low, kSpinHigh)));
    });
    const int unitX = kFieldX + kSizeBoxWidth + kSpinWidth + 3;
    unitList_ = at.Put(new CValueList(page_), "unitList", unitX, y, kUnitWidth, kRowHeight, kTopLeft);
    unitList_->AddEntry(QStringLiteral("GB"), static_cast<int>(SizeUnit::GB));
    unitList_->AddEntry(QStringLiteral("MB"), static_cast<int>(SizeUnit::MB));
    unitList_->AddEntry(QStringLiteral("KB"), static_cast<int>(SizeUnit::KB));
    const int sizeLabelX = unitX + kUnitWidth + 4;
    at.Label("each file", nullptr, sizeLabelX, y, width(look.sizeLabelWidth, sizeLabelX));

    y += look.pitch;
    radio(kByCount);
    countBox_ = numberBox("countBox", kFieldX, y, kCountBoxWidth, false);
    countSpin_ = at.Spin("countSpin", countBox_, kFieldX + kCountBoxWidth, y,
                          StepInteger(countBox_, look.countLow, kSpinHigh));
    const int countLabelX = kFieldX + kCountBoxWidth + kSpinWidth + 4;
    at.Label("equal-sized files", nullptr, countLabelX, y, width(look.countLabelWidth, countLabelX));

    y += look.pitch;
    radio(kByTime);
    minutesBox_ = numberBox("minutesBox", kFieldX, y, kMinutesBoxWidth, false);
    minutesSpin_ = at.Spin("minutesSpin", minutesBox_, kFieldX + kMinutesBoxWidth, y,
                            StepInteger(minutesBox_, 0, kSpinHigh));
    const int minLabelX = kFieldX + kMinutesBoxWidth + kSpinWidth + 3;
    const int secondsX = minLabelX + look.minutesLabelWidth + 2;
    secondsBox_ = numberBox("secondsBox", secondsX, y, kSecondsBoxWidth, false);
    at.Label(look.minutesLabel, look.minutesLabelFocusesSeconds ? secondsBox_ : minutesBox_, minLabelX, y,
             look.minutesLabelWidth);
    secondsSpin_ = at.Spin("secondsSpin", secondsBox_, secondsX + kSecondsBoxWidth, y,
                            StepInteger(secondsBox_, 0, kSecondsHigh));
    const int secLabelX = secondsX + kSecondsBoxWidth + kSpinWidth + 3;
    at.Label(look.secondsLabel, nullptr, secLabelX, y, width(look.secondsLabelWidth, secLabelX));

    radio(kByOwnRule);
    connect(group_, &QButtonGroup::idClicked, this, &CCutRuleControls::RuleClicked);
    sizeSpin_->setToolTip(QStringLiteral("One more or one less of the unit (Up, Down in the box)"));
    countSpin_->setToolTip(QStringLiteral("One piece more or less (Up, Down in the box)"));
    minutesSpin_->setToolTip(QStringLiteral("One minute more or less (Up, Down in the box)"));
    secondsSpin_->setToolTip(QStringLiteral("One second more or less (Up, Down in the box)"));
}

int CCutRuleControls::Chosen() const { return std::max(0, group_->checkedId()); }

void CCutRuleControls::Show(CutRuleSettings& values) {
    radios_[std::clamp(values.cutType, 0, 3)]->setChecked(true);
    sizeBox_->setText(Utf8(values.cutFileSizeEx));
    if (!unitList_->SelectValue(static_cast<int>(values.cutFileUnit))) {
        unitList_->SelectValue(static_cast<int>(SizeUnit::MB));
        values.cutFileUnit = SizeUnit::MB;
    }
    countBox_->setText(QString::number(values.cutFileAmount));
    minutesBox_->setText(QString::number(values.cutTimeMin));
    secondsBox_->setText(QString::number(values.cutTimeSec));
}

bool CCutRuleControls::Read(CutRuleSettings& values, bool quiet) {
    values.cutFileUnit = static_cast<SizeUnit>(unitList_->Value(static_cast<int>(values.cutFileUnit)));
    values.cutFileSizeEx = sizeBox_->text().toStdString();
    values.cutType = Chosen();
    int count = values.cutFileAmount;
    int minutes = values.cutTimeMin;
    int seconds = values.cutTimeSec;
    for (auto [box, value] : {std::pair{countBox_, &count}, std::pair{minutesBox_, &minutes},
                              std::pair{secondsBox_, &seconds}}) {
        if (!ReadInteger(box->text(), value)) {
            if (!quiet) {
                ShowMessage(page_, QString::fromLatin1(kEnterInteger), QMessageBox::Warning);
                box->setFocus();
            }
            return false;
        }
    }
    values.cutFileAmount = count;
    values.cutTimeMin = minutes;
    values.cutTimeSec = seconds;
    return true;
}

void CCutRuleControls::EnableRadios(bool enable) {
    for (QRadioButton* r : radios_) r->setEnabled(enable);
}

void CCutRuleControls::EnableChosen(bool enable) {
    const int chosen = enable ? Chosen() : -1;
    for (QWidget* w : {static_cast<QWidget*>(sizeBox_), sizeSpin_, static_cast<QWidget*>(unitList_)})
        w->setEnabled(chosen == kBySize);
    countBox_->setEnabled(chosen == kByCount);
    countSpin_->setEnabled(chosen == kByCount);
    for (QWidget* w : {static_cast<QWidget*>(minutesBox_), minutesSpin_, static_cast<QWidget*>(secondsBox_),
                       secondsSpin_})
        w->setEnabled(chosen == kByTime);
    if (chosen == kBySize) sizeBox_->setFocus();
    if (chosen == kByCount) countBox_->setFocus();
    if (chosen == kByTime) minutesBox_->setFocus();
}

CutRule CCutRuleControls::MakeRule(const CutRuleSettings& values) {
    CutRule rule;
    switch (values.cutType) {
        case kBySize:
            rule.kind = CutRule::Kind::Size;
            rule.sizeText = values.cutFileSizeEx;
            rule.sizeUnit = values.cutFileUnit;
            break;
        case kByCount:
            rule.kind = CutRule::Kind::Count;
            rule.count = values.cutFileAmount;
            break;
        case kByTime:
            rule.kind = CutRule::Kind::Time;
            rule.minutes = values.cutTimeMin;
            rule.seconds = values.cutTimeSec;
            break;
        default: break;  // the page's own
    }
    return rule;
}

}  // namespace corvane
