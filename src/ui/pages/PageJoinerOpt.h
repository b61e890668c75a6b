// The joiner options page: encoding, output folder and target-exists rule of joins.
//
// The page edits the engine's JoinerOptions record (Settings().options) that both joiner
// pages read when they join. Until the page is first shown the record keeps the loaded
// values. Once shown, a change of the sample rate or the bit rate stores the pair at once
// (corrected to a pair Layer III allows); everything else is taken from the controls by
// ValidateAndTakeOver, which runs when the page is left and when the main window closes.
#pragma once

#include "ui/SettingsStore.h"
#include "ui/pages/SettingsPage.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace corvane {

class CValueList;

class CPageJoinerOpt : public COptionsPage<JoinerOptionSettings> {
    Q_OBJECT
public:
    // Reads the page's settings; the page saves them whole when it goes.
    explicit CPageJoinerOpt(QWidget* parent = nullptr);

    // A page never shown accepts at once and changes nothing. Otherwise takes the controls
    // into Settings().options; refuses with "Please choose an output folder." (focus on the
    // folder edit) when "Specific folder" is chosen with an empty folder.
    bool ValidateAndTakeOver() override;

protected:
    void OnInitPage() override;

private:
    void FillLists();
    void PlaceControls();
    // Check boxes and the folder edit into the record.
    void TakeOverChecksAndFolder();
    void EnableSpecificFolderControls(bool enable);
    void EnableParameterLists(bool enable);
    void SelectCustomize();

    void OnEncodingChosen(int entry);
    void OnSampleRateChosen(int hz);
    void OnBitrateChosen(int kbps);
    void OnOutputFolderChosen(int option);
    void OnBrowse();

    CValueList* encodingList_ = nullptr;
    CValueList* sampleRateList_ = nullptr;
    CValueList* bitrateList_ = nullptr;
    CValueList* channelList_ = nullptr;
    CValueList* outputFolderList_ = nullptr;
    QLineEdit* folderEdit_ = nullptr;
    QPushButton* browseButton_ = nullptr;
    CValueList* targetExistsList_ = nullptr;
    QCheckBox* addPostfixCheck_ = nullptr;
    QCheckBox* treeFoldersCheck_ = nullptr;
    QLabel* exampleText_ = nullptr;
    QCheckBox* browseAfterCheck_ = nullptr;
    QCheckBox* chaptersCheck_ = nullptr;  // one chapter per input in joined files
};

}  // namespace corvane
