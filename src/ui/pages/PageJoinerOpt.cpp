// The joiner options page: encoding, output folder and target-exists rule of joins.
#include "ui/pages/PageJoinerOpt.h"

#include "audio/EncodingParams.h"
#include "ui/MessageBox.h"
#include "ui/Shell.h"
#include "ui/widgets/ValueList.h"

#include <QApplication>
#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace corvane {
namespace {

// Identifiers of the encoding list's entries: "Auto", the presets in the order of
// kEncodingPresets (kFirstPresetEntry, then kPresetEntryStep apart), "Customize".
constexpr int kAutoEntry = 392;
constexpr int kFirstPresetEntry = 648;
constexpr int kPresetEntryStep = 256;
constexpr int kCustomizeEntry = 2440;

constexpr int PresetEntry(int preset) { return kFirstPresetEntry + preset * kPresetEntryStep; }
// Index in kEncodingPresets of a preset entry, -1 for "Auto" and "Customize".
constexpr int PresetOfEntry(int entry) {
    const int preset = (entry - kFirstPresetEntry) / kPresetEntryStep;
    return entry >= kFirstPresetEntry && preset < static_cast<int>(kEncodingPresets.size()) &&
                   PresetEntry(preset) == entry
               ? preset
               : -1;
}

constexpr char kSkipText[] = "Skip (not join)";

constexpr char kExampleText[] =
    "For example: original MP3 file is \"/home/user/Music/sample.mp3\", specified output folder "
    "is \"/home/user/Output\". If the option is checked, then the program will create folder "
    "\"/home/user/Output/home/user/Music\" and output target file at the folder.";
constexpr char kChooseFolderTitle[] = "Please choose an output folder:";
constexpr char kNoFolderMessage[] = "Please choose an output folder.";

// Places of the controls, in dialog units. The page is kPageDesignWidth wide; its middle is
// where the sample-rate and channel lists end and the bit-rate label begins.
constexpr int kMargin = 7;
constexpr int kIndent = 14;         // controls under a section title
constexpr int kRight = kPageDesignWidth - kMargin;
constexpr int kMiddle = kPageDesignWidth / 2;
constexpr int kGap = 6;
constexpr int kListHeight = 14;
constexpr int kLabelHeight = 8;
constexpr int kLabelDrop = 3;       // a label beside a list sits this much lower
constexpr int kCheckHeight = 10;
constexpr int kRowStep = 18;
constexpr int kEncodingValueLeft = 84;   // the lists right of "&Sample frequency:", "&Channels:"
constexpr int kBitrateLabelWidth = 40;
constexpr int kOutputValueLeft = 130;    // the controls right of the output section's labels
constexpr int kBrowseWidth = 50;
constexpr int kExampleIndent = 26;
constexpr int kExampleHeight = 26;

}  // namespace

CPageJoinerOpt::CPageJoinerOpt(QWidget* parent) : COptionsPage(QStringLiteral("Joiner Options"), parent) {}

void CPageJoinerOpt::OnInitPage() {
    PlaceControls();
    FillLists();

    connect(encodingList_, &CValueList::ValueChosen, this, &CPageJoinerOpt::OnEncodingChosen);
    connect(sampleRateList_, &CValueList::ValueChosen, this, &CPageJoinerOpt::OnSampleRateChosen);
    connect(bitrateList_, &CValueList::ValueChosen, this, &CPageJoinerOpt::OnBitrateChosen);
    connect(channelList_, &CValueList::ValueChosen, this, [this] { SelectCustomize(); });
    connect(outputFolderList_, &CValueList::ValueChosen, this, &CPageJoinerOpt::OnOutputFolderChosen);
    connect(browseButton_, &QPushButton::clicked, this, &CPageJoinerOpt::OnBrowse);
}

void CPageJoinerOpt::PlaceControls() {
    const auto label = [this](const char* text, QRect place, QWidget* buddy) {
        auto* l = new QLabel(QString::fromUtf8(text), this);
        l->setGeometry(place);
        l->setBuddy(buddy);
        return l;
    };
    // A section title with a rule from its end to the right edge.
    const auto section = [this](const char* text, int y) {
        auto* title = new QLabel(QString::fromUtf8(text), this);
        QFont bold = title->font();
        bold.setBold(true);
        title->setFont(bold);
        const QRect place = DluRect(kMargin, y, 0, kLabelHeight);
        title->setGeometry(place.x(), place.y(), title->sizeHint().width(), place.height());
        auto* rule = new QFrame(this);
        rule->setFrameShape(QFrame::HLine);
        rule->setFrameShadow(QFrame::Sunken);
        const int left = title->geometry().right() + DluRect(0, 0, kGap, 0).width();
        const QRect line = DluRect(0, y, kRight, kLabelHeight);
        rule->setGeometry(left, line.center().y() - 1, line.right() - left, 2);
        Layout()->AddAnchor(rule, kTopLeft, kTopRight);
    };
    const auto list = [this](const char* name, QRect place) {
        auto* l = new CValueList(this);
        l->setObjectName(QString::fromLatin1(name));
        l->setGeometry(place);
        return l;
    };
    const auto check = [this](const char* name, const char* text, int y) {
        auto* c = new QCheckBox(QString::fromUtf8(text), this);
        c->setObjectName(QString::fromLatin1(name));
        c->setGeometry(DluRect(kIndent, y, kRight - kIndent, kCheckHeight));
        return c;
    };
    const auto listRect = [this](int left, int y, int right) {
        return DluRect(left, y, right - left, kListHeight);
    };
    const auto labelRect = [this](int left, int y, int right) {
        return DluRect(left, y + kLabelDrop, right - left, kLabelHeight);
    };

    // Join Options
    section("Join Options", kMargin);
    int y = kMargin + 13;
    encodingList_ = list("encodingList", listRect(kIndent, y + 10, kRight));
    label("Encoding options of target &MP3 file:", DluRect(kIndent, y, kRight - kIndent, kLabelHeight),
          encodingList_);
    Layout()->AddAnchor(encodingList_, kTopLeft, kTopRight);

    y += 10 + kRowStep + 2;
    sampleRateList_ = list("sampleRateList", listRect(kEncodingValueLeft, y, kMiddle - kGap));
    label("&Sample frequency:", labelRect(kIndent, y, kEncodingValueLeft - 2), sampleRateList_);
    Layout()->AddAnchor(sampleRateList_, kTopLeft, kTopCentre);
    const int bitrateLeft = kMiddle + kGap + kBitrateLabelWidth;
    bitrateList_ = list("bitrateList", listRect(bitrateLeft, y, kRight));
    QLabel* bitrateLabel =
        label("Bit &rate:", labelRect(kMiddle + kGap, y, bitrateLeft - 2), bitrateList_);
    Layout()->AddAnchor(bitrateLabel, kTopCentre);
    Layout()->AddAnchor(bitrateList_, kTopCentre, kTopRight);

    y += kRowStep;
    channelList_ = list("channelList", listRect(kEncodingValueLeft, y, kMiddle - kGap));
    label("&Channels:", labelRect(kIndent, y, kEncodingValueLeft - 2), channelList_);
    Layout()->AddAnchor(channelList_, kTopLeft, kTopCentre);

    // Output Options
    y += kRowStep + 10;
    section("Output Options", y);
    y += 14;
    outputFolderList_ = list("outputFolderList", listRect(kOutputValueLeft, y, kRight));
    label("Output folder for batch &join:", labelRect(kIndent, y, kOutputValueLeft - 2),
          outputFolderList_);
    Layout()->AddAnchor(outputFolderList_, kTopLeft, kTopRight);

    y += kRowStep;
    const int browseLeft = kRight - kBrowseWidth;
    folderEdit_ = new QLineEdit(this);
    folderEdit_->setObjectName(QStringLiteral("specificFolderEdit"));
    folderEdit_->setGeometry(listRect(kOutputValueLeft, y, browseLeft - kGap));
    label("S&pecific folder:", labelRect(kIndent, y, kOutputValueLeft - 2), folderEdit_);
    Layout()->AddAnchor(folderEdit_, kTopLeft, kTopRight);
    browseButton_ = new QPushButton(QStringLiteral("Brows&e"), this);
    browseButton_->setObjectName(QStringLiteral("browseButton"));
    browseButton_->setGeometry(listRect(browseLeft, y, kRight));
    Layout()->AddAnchor(browseButton_, kTopRight);

    y += kRowStep;
    targetExistsList_ = list("targetExistsList", listRect(kOutputValueLeft, y, kRight));
    label("&When target file exists", labelRect(kIndent, y, kOutputValueLeft - 2), targetExistsList_);
    Layout()->AddAnchor(targetExistsList_, kTopLeft, kTopRight);

    y += kRowStep + 2;
    addPostfixCheck_ = check("addPostfixCheck", "&Add \"_joined\" at end of target file", y);
    y += kCheckHeight + 4;
    treeFoldersCheck_ =
        check("treeFoldersCheck", "Create tree &folders according to path of original file", y);
    y += kCheckHeight + 2;
    exampleText_ = new QLabel(QString::fromUtf8(kExampleText), this);
    exampleText_->setObjectName(QStringLiteral("exampleText"));
    exampleText_->setWordWrap(true);
    exampleText_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    exampleText_->setGeometry(DluRect(kExampleIndent, y, kRight - kExampleIndent, kExampleHeight));
    Layout()->AddAnchor(exampleText_, kTopLeft, kTopRight);
    y += kExampleHeight + 4;
    browseAfterCheck_ = check("browseAfterCheck", "&Browse folder of outputted files after joining", y);
    y += kCheckHeight + 2;
    chaptersCheck_ = check("chaptersCheck", "Write &chapters into joined files", y);

    const JoinerPageOptions& o = Settings().options;
    folderEdit_->setText(QString::fromStdString(o.placement.specificFolder));
    addPostfixCheck_->setChecked(o.joinedPostfix);
    treeFoldersCheck_->setChecked(o.placement.treeFolders);
    browseAfterCheck_->setChecked(o.browseFolder);
    chaptersCheck_->setChecked(o.writeChapters);
}

void CPageJoinerOpt::FillLists() {
    JoinerPageOptions& o = Settings().options;

    const auto value = [](auto option) { return static_cast<int>(option); };
    outputFolderList_->AddOutputFolders();
    if (!outputFolderList_->SelectValue(value(o.placement.folder)))
        o.placement.folder = OutputFolder::SameAsSource;
    EnableSpecificFolderControls(o.placement.folder == OutputFolder::Specific);

    targetExistsList_->AddTargetExistsRules(kSkipText);
    if (!targetExistsList_->SelectValue(value(o.placement.ifExists))) o.placement.ifExists = TargetExists::Rename;

    encodingList_->AddEntry(QString::fromLatin1(kAutoPresetText), kAutoEntry);
    for (int i = 0; i < static_cast<int>(kEncodingPresets.size()); ++i)
        encodingList_->AddEntry(QString::fromLatin1(kEncodingPresets[i].text), PresetEntry(i));
    encodingList_->AddEntry(QString::fromLatin1(kCustomizePresetText), kCustomizeEntry);
    const int preset = FindEncodingPreset({o.encoding.sampleRate, o.encoding.bitrate, o.encoding.channelMode});
    encodingList_->SelectValue(o.autoParams ? kAutoEntry
                               : preset >= 0          ? PresetEntry(preset)
                                                      : kCustomizeEntry);
    EnableParameterLists(!o.autoParams);

    bitrateList_->AddBitrates();
    bitrateList_->SelectValue(o.encoding.bitrate);
    sampleRateList_->AddSampleRates();
    sampleRateList_->SelectValue(o.encoding.sampleRate);
    channelList_->AddChannelModes();
    channelList_->SelectValue(o.encoding.channelMode);
}

void CPageJoinerOpt::EnableSpecificFolderControls(bool enable) {
    folderEdit_->setEnabled(enable);
    browseButton_->setEnabled(enable);
    treeFoldersCheck_->setEnabled(enable);
    exampleText_->setEnabled(enable);
}

void CPageJoinerOpt::EnableParameterLists(bool enable) {
    sampleRateList_->setEnabled(enable);
    bitrateList_->setEnabled(enable);
    channelList_->setEnabled(enable);
}

void CPageJoinerOpt::SelectCustomize() { encodingList_->SelectValue(kCustomizeEntry); }

void CPageJoinerOpt::OnEncodingChosen(int entry) {
    if (entry == kAutoEntry) {
        EnableParameterLists(false);
        return;
    }
    EnableParameterLists(true);
    const int preset = PresetOfEntry(entry);
    if (preset < 0) return;  // "Customize" keeps the values shown
    JoinerPageOptions& o = Settings().options;
    const EncodingParams& params = kEncodingPresets[preset].params;
    o.encoding.bitrate = params.bitrate;
    o.encoding.sampleRate = params.sampleRate;
    o.encoding.channelMode = params.channelMode;
    bitrateList_->SelectValue(o.encoding.bitrate);
    sampleRateList_->SelectValue(o.encoding.sampleRate);
    channelList_->SelectValue(o.encoding.channelMode);
}

void CPageJoinerOpt::OnSampleRateChosen(int hz) {
    JoinerPageOptions& o = Settings().options;
    if (hz == o.encoding.sampleRate) return;
    const int selected = bitrateList_->Value(o.encoding.bitrate);
    const int kbps = BitrateForSampleRate(hz, selected);
    if (kbps != selected) bitrateList_->SelectValue(kbps);
    SelectCustomize();
    o.encoding.sampleRate = hz;
    o.encoding.bitrate = kbps;
}

void CPageJoinerOpt::OnBitrateChosen(int kbps) {
    JoinerPageOptions& o = Settings().options;
    if (kbps == o.encoding.bitrate) return;
    const int selected = sampleRateList_->Value(o.encoding.sampleRate);
    const int hz = SampleRateForBitrate(kbps, selected);
    if (hz != selected) sampleRateList_->SelectValue(hz);
    SelectCustomize();
    o.encoding.bitrate = kbps;
    o.encoding.sampleRate = hz;
}

void CPageJoinerOpt::OnOutputFolderChosen(int option) {
    EnableSpecificFolderControls(option == static_cast<int>(OutputFolder::Specific));
}

void CPageJoinerOpt::TakeOverChecksAndFolder() {
    JoinerPageOptions& o = Settings().options;
    o.joinedPostfix = addPostfixCheck_->isChecked();
    o.placement.treeFolders = treeFoldersCheck_->isChecked();
    o.browseFolder = browseAfterCheck_->isChecked();
    o.writeChapters = chaptersCheck_->isChecked();
    o.placement.specificFolder = folderEdit_->text().toStdString();
}

void CPageJoinerOpt::OnBrowse() {
    // The wait cursor covers the take-over only: held over the picker it would stay on the
    // picker's own window, which the user has to work in.
    WithWaitCursor([this] { TakeOverChecksAndFolder(); });
    JoinerPageOptions& o = Settings().options;
    QString chosen;
    if (!ChooseFolder(this, QString::fromLatin1(kChooseFolderTitle),
                      QString::fromStdString(o.placement.specificFolder), &chosen, kFolderTextBytes))
        return;
    o.placement.specificFolder = chosen.toStdString();
    folderEdit_->setText(chosen);
}

bool CPageJoinerOpt::ValidateAndTakeOver() {
    if (!IsInitialised()) return true;
    TakeOverChecksAndFolder();
    JoinerPageOptions& o = Settings().options;
    o.placement.folder = static_cast<OutputFolder>(outputFolderList_->Value());
    if (o.placement.folder == OutputFolder::Specific && o.placement.specificFolder.empty()) {
        ShowMessage(this, QString::fromLatin1(kNoFolderMessage), QMessageBox::Warning);
        folderEdit_->setFocus();
        return false;
    }
    o.autoParams = encodingList_->Value() == kAutoEntry;
    o.encoding.bitrate = bitrateList_->Value();
    o.encoding.sampleRate = sampleRateList_->Value();
    o.encoding.channelMode = channelList_->Value();
    o.placement.ifExists = static_cast<TargetExists>(targetExistsList_->Value());
    return true;
}

}  // namespace corvane
