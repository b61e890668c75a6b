// The cutter options page: encoding, output folder, naming and tag options of cuts.
//
// The page holds the cutter options for the whole program in its settings record
// (Settings().options, the engine's CutterOptions): the cut plans, the piece naming and the
// re-encoding cutter read them from there. Most values reach the record when the user leaves
// the page (ValidateAndTakeOver); the templates, the digit counts and the bit-rate and
// sample-rate pair are taken over as they change, so the sample lines can follow them.
#pragma once

#include "ui/SettingsStore.h"
#include "ui/pages/SettingsPage.h"

#include <functional>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace corvane {

class CNumberEdit;
class CValueList;

class CPageSplitterOpt : public COptionsPage<CutterOptionSettings> {
    Q_OBJECT
public:
    // Reads the page's settings; the page saves them whole when it goes.
    explicit CPageSplitterOpt(QWidget* parent = nullptr);

    // Checks the controls and takes their values into Settings().options. A page that was
    // never shown gives true at once and changes nothing. On refusal the page has shown its
    // message (exclamation icon) and focused the offending control; values taken before the
    // refusal stay taken.
    bool ValidateAndTakeOver() override;

protected:
    void OnInitPage() override;

private:
    struct Placer;
    void MakeEncodingControls(Placer& at);
    void MakeTagControls(Placer& at);
    void MakeOutputControls(Placer& at);
    void ShowHeldValues();
    void ConnectControls();

    // Takes the check boxes, the first pieces number, the templates, the digit counts and
    // the specific folder into the record. A number box that does not hold an integer is
    // refused with a message and its focus, and nothing is taken.
    bool TakeOverPlainValues();
    // The enabling rules of the check boxes and the output folder list.
    void UpdateEncodingControls();
    void UpdateTagControls();
    void UpdateFirstPiecesControls();
    void UpdateFolderControls();

    void OnCheckBoxClicked(QCheckBox* box);
    void OnBitrateChosen(int kbps);
    void OnSampleRateChosen(int hz);
    void OnFileNameTemplateChanged(const QString& text);
    void OnTitleTemplateChanged(const QString& text);
    // A digits box changed: read it, clamp it to kMaxDigitNumber (rewriting the box) and
    // keep it in held.
    void OnDigitsChanged(CNumberEdit* box, int* held);
    void OnBrowse();
    void OnFileNameHelp();
    void OnTitleHelp();

    void RefreshFileNameSamples();
    void RefreshTitleSamples();

    // One step of a decimal box (tenths of a second): steps tenths per arrow, never below 0;
    // a text that does not read as a number starts from held.
    void StepDecimalBox(CNumberEdit* box, int direction, int tenthsPerStep, int held);
    // One step of an integer box within [low, high]; a text that is not an integer starts
    // from held.
    void StepIntegerBox(CNumberEdit* box, int direction, int low, int high, int held);
    // Reads a decimal box into tenths; emptyIsZero lets an empty box count as 0. On a text
    // that does not read, shows the message, focuses the box and gives false.
    bool TakeDecimalBox(CNumberEdit* box, bool emptyIsZero, int* tenths);
    // Makes the up-down buttons beside box (at the design point x, y, anchored at anchor)
    // that call step with +1 or -1; the arrow keys in box do the same.
    QWidget* MakeSpin(Placer& at, CNumberEdit* box, int x, int y, const QString& name, Anchor anchor,
                      std::function<void(int)> step);

    void Refuse(QWidget* control, const QString& text);

    bool ready_ = false;  // the controls exist and hold their first values

    QCheckBox* reencode_ = nullptr;
    QCheckBox* useSame_ = nullptr;
    CValueList* sampleRate_ = nullptr;
    CValueList* bitrate_ = nullptr;
    CValueList* channels_ = nullptr;
    CNumberEdit* fadeIn_ = nullptr;
    CNumberEdit* fadeOut_ = nullptr;
    CNumberEdit* forwardOverlap_ = nullptr;
    CNumberEdit* backwardOverlap_ = nullptr;
    QCheckBox* keepTag_ = nullptr;
    CValueList* trackNumber_ = nullptr;
    QComboBox* titleTemplate_ = nullptr;
    QPushButton* titleHelp_ = nullptr;
    QLabel* titleSamples_ = nullptr;
    CNumberEdit* titleDigits_ = nullptr;
    QWidget* titleDigitsSpin_ = nullptr;
    QCheckBox* firstPiecesOnly_ = nullptr;
    CNumberEdit* firstPieces_ = nullptr;
    QWidget* firstPiecesSpin_ = nullptr;
    QComboBox* fileNameTemplate_ = nullptr;
    QPushButton* fileNameHelp_ = nullptr;
    QLabel* fileNameSamples_ = nullptr;
    CNumberEdit* fileNameDigits_ = nullptr;
    CValueList* outputFolder_ = nullptr;
    QLineEdit* specificFolder_ = nullptr;
    QPushButton* browse_ = nullptr;
    QCheckBox* folderForEach_ = nullptr;
    QCheckBox* treeFolders_ = nullptr;
    QLabel* treeExample_ = nullptr;
    CValueList* targetExists_ = nullptr;
    QCheckBox* browseOutput_ = nullptr;

};

}  // namespace corvane
