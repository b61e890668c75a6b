// The cutter options page: encoding, output folder, naming and tag options of cuts.
#include "ui/pages/PageSplitterOpt.h"


#include "audio/EncodingParams.h"
#include "engine/Cut.h"
#include "ui/MessageBox.h"
#include "ui/Shell.h"
#include "ui/pages/ControlPlacer.h"
#include "ui/widgets/NumberEdit.h"
#include "ui/widgets/SpinButtons.h"
#include "ui/widgets/ValueList.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QResizeEvent>

#include <algorithm>
#include <cstdio>
#include <string>

namespace corvane {
namespace {

// ---- Texts and lists ----

constexpr char kTargetFolderTitle[] = "Please choose an output folder:";
constexpr char kEnterInteger[] = "Please enter an integer.";
constexpr char kInvalidNumber[] = "Invalid number: %1, please enter it again.";
constexpr char kEnterPositive[] = "Please enter a positive value.";
constexpr char kEnterFileName[] = "Please enter output file name or select one.";
constexpr char kChooseFolder[] = "Please choose an output folder.";

constexpr char kTreeExample[] =
    "For example: original MP3 file is \"/home/user/Music/sample.mp3\", specified output folder "
    "is \"/home/user/Output\". If the option is checked, then the program will create folder "
    "\"/home/user/Output/home/user/Music\" and output target file at the folder.";

constexpr char kFileNameHelp[] =
    "You can use the following tags in file name.\n"
    "\n"
    "%F%: source file name (not including extension)\n"
    "%P%: piece number\n"
    "%T%: total piece number\n"
    "%S%: general sequence number of all files in batch splitter\n"
    "%I%: title in ID3 tag\n"
    "%A%: artist in ID3 tag\n"
    "%L%: album in ID3 tag\n"
    "%Y%: year in ID3 tag\n"
    "%G%: genre in ID3 tag\n"
    "%N%: track number in ID3 tag\n"
    "\n"
    "Samples:\n"
    " %F%.mp3:\t\tfilename.mp3\n"
    " %P%.mp3:\t\t1.mp3, 2.mp3\n"
    " %P%-%T%.mp3:\t\t1-9.mp3, 2-9.mp3\n"
    " %F%-%P%.mp3:\t\tfilename-1.mp3, filename-2.mp3\n"
    " %F%(%P%).mp3:\t\tfilename(1).mp3, filename(2).mp3\n"
    " %P%_%F%.mp3:\t\t1_filename.mp3, 2_filename.mp3\n"
    " %F%-%P%-%T%.mp3:\tfilename-001-102.mp3, filename-002-102.mp3\n"
    " %F%[%P% of %T%].mp3:\tfilename[01 of 12].mp3, filename[02 of 12].mp3\n"
    " %I%-%P%.mp3:\t\tTitle-1.mp3, Title-2.mp3\n"
    " %A%-%I%-%P%.mp3:\tArtist-Title-1.mp3, Artist-Title-2.mp3\n"
    " %A%-%I%-%N%-%P%.mp3:\tArtist-Title-5-1.mp3, Artist-Title-5-2.mp3";
constexpr char kTitleHelp[] =
    "You can use the following tags in ID3 title.\n"
    "\n"
    "%I%: title of original MP3 file\n"
    "%F%: source file name (not including extension)\n"
    "%P%: piece number\n"
    "%T%: total number of pieces\n"
    "%S%: general sequence number of all files in batch splitter\n"
    "\n"
    "Samples:\n"
    " %I% - %P%:\t\tTitle - 1, Title - 2\n"
    " %F% - %P%:\t\tfilename - 1, filename - 2\n"
    " %I% [%P%]:\t\tTitle [1], Title [2]\n"
    " %P%-%I%:\t\t1-Title, 2-Title\n"
    " [%P%]%I%:\t\t[1]Title, [2]Title\n"
    " %I% - %P% of %T%:\tTitle - 1 of 9, Title - 2 of 9\n"
    " %F% - %P% of %T%:\tfilename - 1 of 9, filename - 2 of 9\n"
    " %I% (%P% of %T%):\tTitle (1 of 9), Title (2 of 9)\n"
    " %I% - %P%/%T%:\tTitle - 1/9, Title - 2/9\n"
    " [%P%/%T%]%I%:\t[1/9]Title, [2/9]Title\n";

struct ListEntry {
    const char* text;
    int value;
};

constexpr ListEntry kTrackNumberEntries[] = {
    {"Original ID3 track number", static_cast<int>(TrackNumber::Original)},
    {"Split sequence number", static_cast<int>(TrackNumber::Sequence)},
    {"None", static_cast<int>(TrackNumber::None)},
};
constexpr const char* kFileNameTemplates[] = {
    "%F% %P%.mp3",          "%F%-%P%.mp3",          "%F%_%P%.mp3",
    "%F%(%P%).mp3",         "%F%[%P%].mp3",         "%F% (%P%).mp3",
    "%F% [%P%].mp3",        "%P% %F%.mp3",          "%P%_%F%.mp3",
    "%P%-%F%.mp3",          "%P%-%T%.mp3",          "%F%-%P%-%T%.mp3",
    "%F%(%P% of %T%).mp3",  "%F%[%P% of %T%].mp3",  "%F% (%P% of %T%).mp3",
    "%F% [%P% of %T%].mp3", "%F%.mp3",              "%P%.mp3",
    "%I%-%P%.mp3",          "%A%-%I%-%P%.mp3",      "%A%-%I%-%N%-%P%.mp3",
};
constexpr const char* kTitleTemplates[] = {
    "%I%",              "%P%",              "%P%/%T%",          "%I%-%P%",
    "%I% - %P%",        "%I%(%P%)",         "%I%[%P%]",         "%I% (%P%)",
    "%I% [%P%]",        "%P%-%I%",          "%P% - %I%",        "[%P%]%I%",
    "[%P%] %I%",        "%I% - %P% of %T%", "%I% (%P% of %T%)", "%I% - %P%/%T%",
    "%I% (%P%/%T%)",    "%I% [%P%/%T%]",    "%P%/%T%-%I%",      "%P%/%T% - %I%",
    "[%P%/%T%]%I%",     "[%P%/%T%] %I%",    "%F% - %P%",        "%F% [%P%/%T%]",
};

// What the sample lines expand: a source "filename" with the title "Title", pieces 1 and 2
// of 9, sequence numbers 1 and 2.
constexpr char kSampleBaseName[] = "filename";
constexpr char kSampleTitle[] = "Title";
constexpr int kSampleCount = 9;

// Steps of the spins: fades by a tenth of a second, overlaps by a second; ranges of the
// integer spins.
constexpr int kFadeStep = 1;
constexpr int kOverlapStep = 10;
constexpr int kFirstPiecesLow = 1;
constexpr int kFirstPiecesHigh = 32767;
constexpr int kDecimalBoxChars = 8;
constexpr int kIntegerBoxChars = 9;
constexpr int kVisibleTemplates = 16;

// ---- Places of the controls, in dialog units ----
//
// Two columns: encoding, fades, overlaps and the pieces' tags on the left; file names and the
// output folder on the right. The left column's stretching controls grow to the middle of
// the page, the right column's start there and grow to the right edge.

constexpr int kCheckHeight = 10;
constexpr int kRowPitch = 18;    // from a row of lists or boxes to the next
constexpr int kCheckPitch = 14;  // from a check box to the next
constexpr int kSectionGap = 6;   // extra space between groups of controls
constexpr int kBoxWidth = 36;
constexpr int kHelpWidth = 15;

constexpr int kLeftX = kMargin;
constexpr int kLeftRight = 216;   // right edge of the left column
constexpr int kLeftFieldX = 113;  // lists and boxes after the long labels
constexpr int kLeftLabelWidth = 100;
constexpr int kTagTop = 175;      // the tag controls below the fades and overlaps
constexpr int kFirstCheckWidth = 74;
constexpr int kFirstBoxWidth = 28;
constexpr int kTagFieldX = 50;    // lists after the short tag labels
constexpr int kRightX = 226;
constexpr int kRightRight = kPageDesignWidth - kMargin;
constexpr int kRightFieldX = 300;
constexpr int kRightDigitsX = 350;
constexpr int kBrowseWidth = 46;
constexpr int kBrowseHeight = 14;
constexpr int kExampleIndent = 12;
constexpr int kExampleHeight = 34;

// A box's text read as "%d.%1d" into tenths: whole seconds, then at most one digit of
// tenths. A text starting with "." reads as if "0" stood before it. False when not even the
// whole seconds read.
bool ScanTenths(const QString& text, int* tenths) {
    std::string s = text.toStdString();
    if (!s.empty() && s[0] == '.') s.insert(s.begin(), '0');
    int whole = 0;
    int tenth = 0;
    const int read = std::sscanf(s.c_str(), "%d.%1d", &whole, &tenth);
    if (read < 1) return false;
    *tenths = whole * 10 + (read == 2 ? tenth : 0);
    return true;
}

QString TenthsText(int tenths) { return QString::asprintf("%d.%d", tenths / 10, tenths % 10); }

}  // namespace

CPageSplitterOpt::CPageSplitterOpt(QWidget* parent) : COptionsPage(QStringLiteral("Cutter Options"), parent) {}

// Makes the page's controls at their design rectangles (dialog units) and anchors them.
struct CPageSplitterOpt::Placer : CControlPlacer {
    QCheckBox* Check(const char* text, const char* name, int x, int y, int width, Anchor topLeft,
                     Anchor bottomRight) const {
        return Put(new QCheckBox(QString::fromLatin1(text), page), name, x, y, width, kCheckHeight,
                   topLeft, bottomRight);
    }
    CValueList* List(const char* name, int x, int y, int width, Anchor topLeft, Anchor bottomRight) const {
        return Put(new CValueList(page), name, x, y, width, kRowHeight, topLeft, bottomRight);
    }
    CNumberEdit* NumberBox(const char* name, int x, int y, int width, bool decimal, Anchor topLeft) const {
        auto* box = Put(new CNumberEdit(page), name, x, y, width, kRowHeight, topLeft);
        box->SetAllowMinus(false);
        box->SetAllowDecimalPoint(decimal);
        box->setMaxLength(decimal ? kDecimalBoxChars : kIntegerBoxChars);
        return box;
    }
    QComboBox* TemplateList(const char* name, int x, int y, int width, Anchor topLeft,
                            Anchor bottomRight) const {
        auto* list = Put(new QComboBox(page), name, x, y, width, kRowHeight, topLeft, bottomRight);
        list->setEditable(true);
        list->setInsertPolicy(QComboBox::NoInsert);
        list->setMaxVisibleItems(kVisibleTemplates);
        return list;
    }
};

void CPageSplitterOpt::OnInitPage() {
    Placer at{{this, Layout()}};
    MakeEncodingControls(at);
    MakeTagControls(at);
    MakeOutputControls(at);
    ShowHeldValues();
    ConnectControls();
    ready_ = true;
}

// The left column: encoding, then fades and overlaps. Its lists stretch to the middle.
void CPageSplitterOpt::MakeEncodingControls(Placer& at) {
    const int fieldWidth = kLeftRight - kLeftFieldX;
    int y = kMargin;
    reencode_ = at.Check("Re-&encode pieces", "reencode", kLeftX, y, kLeftRight - kLeftX, kTopLeft, kTopCentre);
    y += kCheckPitch;
    useSame_ = at.Check("Use same encoding parameters as origina&l MP3 file", "useSameParams", kLeftX, y,
                        kLeftRight - kLeftX, kTopLeft, kTopCentre);
    y += kCheckPitch + 2;
    sampleRate_ = at.List("sampleRate", kLeftFieldX, y, fieldWidth, kTopLeft, kTopCentre);
    at.Label("&Sample frequency:", sampleRate_, kLeftX, y, kLeftLabelWidth, kTopLeft);
    y += kRowPitch;
    bitrate_ = at.List("bitrate", kLeftFieldX, y, fieldWidth, kTopLeft, kTopCentre);
    at.Label("Bit &rate:", bitrate_, kLeftX, y, kLeftLabelWidth, kTopLeft);
    y += kRowPitch;
    channels_ = at.List("channels", kLeftFieldX, y, fieldWidth, kTopLeft, kTopCentre);
    at.Label("C&hannels:", channels_, kLeftX, y, kLeftLabelWidth, kTopLeft);

    struct DecimalBox {
        const char* text;
        const char* name;
        CNumberEdit** box;
        int* held;
        int step;
    };
    CutterPageOptions& o = Settings().options;
    const DecimalBox decimals[] = {
        {"Fade-i&n (sec):", "fadeIn", &fadeIn_, &o.fadeInTenths, kFadeStep},
        {"Fa&de-out (sec):", "fadeOut", &fadeOut_, &o.fadeOutTenths, kFadeStep},
        {"&Forward overlap (sec):", "forwardOverlap", &forwardOverlap_, &o.forwardOverlapTenths, kOverlapStep},
        {"&Backward overlap (sec):", "backwardOverlap", &backwardOverlap_, &o.backwardOverlapTenths, kOverlapStep},
    };
    y += kRowPitch + kSectionGap;
    for (const DecimalBox& d : decimals) {
        CNumberEdit* box = at.NumberBox(d.name, kLeftFieldX, y, kBoxWidth, true, kTopLeft);
        at.Label(d.text, box, kLeftX, y, kLeftLabelWidth, kTopLeft);
        *d.box = box;
        int* held = d.held;
        const int step = d.step;
        MakeSpin(at, box, kLeftFieldX + kBoxWidth, y, QString::fromLatin1(d.name) + QStringLiteral("Spin"),
                 kTopLeft, [this, box, held, step](int direction) { StepDecimalBox(box, direction, step, *held); });
        y += kRowPitch;
    }
}

// The left column's lower part: the pieces' tags and the first-pieces limit.
void CPageSplitterOpt::MakeTagControls(Placer& at) {
    int y = kTagTop;
    keepTag_ = at.Check("&Keep ID3 tag when cutting", "keepID3tag", kLeftX, y, kLeftRight - kLeftX, kTopLeft,
                        kTopCentre);
    y += kCheckPitch + 2;
    const int labelWidth = kTagFieldX - kLeftX - 2;
    trackNumber_ = at.List("trackNumber", kTagFieldX, y, kLeftRight - kTagFieldX, kTopLeft, kTopCentre);
    at.Label("Track &#:", trackNumber_, kLeftX, y, labelWidth, kTopLeft);
    y += kRowPitch;
    titleTemplate_ = at.TemplateList("titleTemplate", kTagFieldX, y, kLeftRight - kHelpWidth - 2 - kTagFieldX,
                                     kTopLeft, kTopCentre);
    at.Label("T&itle:", titleTemplate_, kLeftX, y, labelWidth, kTopLeft);
    titleHelp_ = at.Button("?", "titleHelp", kLeftRight - kHelpWidth, y, kHelpWidth, kRowHeight, kTopCentre);
    y += 16;
    at.Label("Samples:", nullptr, kLeftX, y - kLabelDrop, labelWidth, kTopLeft);
    titleSamples_ = at.Put(new QLabel(this), "titleSamples", kTagFieldX, y, kLeftRight - kTagFieldX, kTextHeight,
                           kTopLeft, kTopCentre);
    y += 14;
    titleDigits_ = at.NumberBox("titleDigits", kLeftFieldX, y, kBoxWidth, false, kTopLeft);
    at.Label("Number of digits in Title:", nullptr, kLeftX, y, kLeftLabelWidth, kTopLeft);
    titleDigitsSpin_ = MakeSpin(at, titleDigits_, kLeftFieldX + kBoxWidth, y, QStringLiteral("titleDigitsSpin"),
                                kTopLeft, [this](int direction) {
                                    StepIntegerBox(titleDigits_, direction, 0, kMaxDigitNumber,
                                                   Settings().options.titleDigits);
                                });

    y += kRowPitch + kSectionGap - 2;
    firstPiecesOnly_ = at.Check("Onl&y cut the first ", "splitFirstNPieces", kLeftX, y, kFirstCheckWidth,
                                kTopLeft, kNoAnchor);
    const int boxX = kLeftX + kFirstCheckWidth + 1;
    const int boxY = y - (kRowHeight - kCheckHeight) / 2;
    firstPieces_ = at.NumberBox("firstPieces", boxX, boxY, kFirstBoxWidth, false, kTopLeft);
    firstPiecesSpin_ = MakeSpin(at, firstPieces_, boxX + kFirstBoxWidth, boxY, QStringLiteral("firstPiecesSpin"),
                                kTopLeft, [this](int direction) {
                                    StepIntegerBox(firstPieces_, direction, kFirstPiecesLow, kFirstPiecesHigh,
                                                   Settings().options.firstPieces);
                                });
    const int afterSpin = boxX + kFirstBoxWidth + kSpinWidth + 3;
    at.Label("piece(s) for batch cutter", nullptr, afterSpin, boxY, kLeftRight - afterSpin, kTopLeft, kTopCentre);
}

// The right column: file names, output folder, target-exists rule. It starts at the middle
// and its lists and texts stretch to the right edge.
void CPageSplitterOpt::MakeOutputControls(Placer& at) {
    const int width = kRightRight - kRightX;
    const int labelWidth = kRightFieldX - kRightX - 2;
    int y = kMargin;
    fileNameTemplate_ = at.TemplateList("fileNameTemplate", kRightFieldX, y,
                                        kRightRight - kHelpWidth - 2 - kRightFieldX, kTopCentre, kTopRight);
    at.Label("Outpu&t file name:", fileNameTemplate_, kRightX, y, labelWidth, kTopCentre);
    fileNameHelp_ = at.Button("?", "fileNameHelp", kRightRight - kHelpWidth, y, kHelpWidth, kRowHeight, kTopRight);
    y += 17;
    fileNameSamples_ = at.Put(new QLabel(this), "fileNameSamples", kRightX, y, width, kTextHeight, kTopCentre,
                              kTopRight);
    y += 14;
    fileNameDigits_ = at.NumberBox("fileNameDigits", kRightDigitsX, y, kBoxWidth, false, kTopCentre);
    at.Label("Number of digits in file name:", nullptr, kRightX, y, kRightDigitsX - kRightX - 2, kTopCentre);
    MakeSpin(at, fileNameDigits_, kRightDigitsX + kBoxWidth, y, QStringLiteral("fileNameDigitsSpin"), kTopCentre,
             [this](int direction) {
                 StepIntegerBox(fileNameDigits_, direction, 0, kMaxDigitNumber,
                                Settings().options.nameDigits);
             });

    y += kRowPitch + kSectionGap;
    outputFolder_ = at.List("outputFolder", kRightFieldX, y, kRightRight - kRightFieldX, kTopCentre, kTopRight);
    at.Label("&Output folder:", outputFolder_, kRightX, y, labelWidth, kTopCentre);
    y += kRowPitch;
    specificFolder_ = at.Put(new QLineEdit(this), "specificFolder", kRightFieldX, y,
                             kRightRight - kBrowseWidth - 3 - kRightFieldX, kRowHeight, kTopCentre, kTopRight);
    specificFolder_->setMaxLength(kFolderTextBytes - 1);
    at.Label("S&pecific folder:", specificFolder_, kRightX, y, labelWidth, kTopCentre);
    browse_ = at.Button("Bro&wse", "browse", kRightRight - kBrowseWidth, y - 1, kBrowseWidth, kBrowseHeight,
                        kTopRight);
    y += 20;
    folderForEach_ = at.Check("Create a folder for each &MP3 file", "createFolderForEachMP3", kRightX, y, width,
                              kTopCentre, kTopRight);
    y += kCheckPitch;
    treeFolders_ = at.Check("&Create tree folders according to path of original file", "createTreeDirs", kRightX,
                            y, width, kTopCentre, kTopRight);
    y += 12;
    treeExample_ = at.Put(new QLabel(QString::fromLatin1(kTreeExample), this), "treeExample",
                          kRightX + kExampleIndent, y, width - kExampleIndent, kExampleHeight, kTopCentre,
                          kTopRight);
    treeExample_->setWordWrap(true);
    treeExample_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    y += kExampleHeight + kSectionGap;
    targetExists_ = at.List("targetExists", kRightX, y + 11, width, kTopCentre, kTopRight);
    at.Label("When tar&get file exists", targetExists_, kRightX, y - kLabelDrop, width, kTopCentre, kTopRight);
    y += 11 + kRowPitch + 4;
    browseOutput_ = at.Check("Browse o&utput folder after cutting", "browseFolder", kRightX, y, width, kTopCentre,
                             kTopRight);
}

// Fills the lists and shows the held values with their enabling. A track-number, output
// folder or target-exists value the list does not offer becomes the list's first entry's;
// the encoding lists keep theirs, even one they do not offer, until the page is left.
void CPageSplitterOpt::ShowHeldValues() {
    CutterPageOptions& o = Settings().options;
    sampleRate_->AddSampleRates();
    bitrate_->AddBitrates();
    channels_->AddChannelModes();
    sampleRate_->SelectValue(o.encoding.sampleRate);
    bitrate_->SelectValue(o.encoding.bitrate);
    channels_->SelectValue(o.encoding.channelMode);
    reencode_->setChecked(o.reencode);
    useSame_->setChecked(o.sameParams);
    UpdateEncodingControls();

    fadeIn_->setText(TenthsText(o.fadeInTenths));
    fadeOut_->setText(TenthsText(o.fadeOutTenths));
    forwardOverlap_->setText(TenthsText(o.forwardOverlapTenths));
    backwardOverlap_->setText(TenthsText(o.backwardOverlapTenths));

    outputFolder_->AddOutputFolders();
    if (!outputFolder_->SelectValue(static_cast<int>(o.placement.folder)))
        o.placement.folder = OutputFolder::SameAsSource;
    specificFolder_->setText(Utf8(o.placement.specificFolder));
    folderForEach_->setChecked(o.folderPerSource);
    treeFolders_->setChecked(o.placement.treeFolders);
    UpdateFolderControls();
    targetExists_->AddTargetExistsRules("Skip (not cut)");
    if (!targetExists_->SelectValue(static_cast<int>(o.placement.ifExists))) o.placement.ifExists = TargetExists::Rename;
    browseOutput_->setChecked(o.browseFolder);

    firstPiecesOnly_->setChecked(o.firstPiecesOnly);
    firstPieces_->setText(QString::number(o.firstPieces));
    UpdateFirstPiecesControls();
    titleDigits_->setText(QString::number(o.titleDigits));
    fileNameDigits_->setText(QString::number(o.nameDigits));

    for (const char* entry : kFileNameTemplates) fileNameTemplate_->addItem(QString::fromLatin1(entry));
    fileNameTemplate_->setEditText(Utf8(o.nameTemplate));
    RefreshFileNameSamples();
    for (const ListEntry& e : kTrackNumberEntries) trackNumber_->AddEntry(QString::fromLatin1(e.text), e.value);
    if (!trackNumber_->SelectValue(static_cast<int>(o.trackNumbers))) o.trackNumbers = TrackNumber::Original;
    for (const char* entry : kTitleTemplates) titleTemplate_->addItem(QString::fromLatin1(entry));
    titleTemplate_->setEditText(Utf8(o.titleTemplate));
    RefreshTitleSamples();
    keepTag_->setChecked(o.keepTag);
    UpdateTagControls();
}

void CPageSplitterOpt::ConnectControls() {
    for (QCheckBox* box : {reencode_, useSame_, keepTag_, firstPiecesOnly_, folderForEach_, treeFolders_,
                           browseOutput_})
        connect(box, &QCheckBox::clicked, this, [this, box] { OnCheckBoxClicked(box); });
    connect(bitrate_, &CValueList::ValueChosen, this, &CPageSplitterOpt::OnBitrateChosen);
    connect(sampleRate_, &CValueList::ValueChosen, this, &CPageSplitterOpt::OnSampleRateChosen);
    connect(outputFolder_, &CValueList::ValueChosen, this, [this] { UpdateFolderControls(); });
    connect(fileNameTemplate_, &QComboBox::editTextChanged, this, &CPageSplitterOpt::OnFileNameTemplateChanged);
    connect(titleTemplate_, &QComboBox::editTextChanged, this, &CPageSplitterOpt::OnTitleTemplateChanged);
    connect(titleDigits_, &QLineEdit::textChanged, this,
            [this] { OnDigitsChanged(titleDigits_, &Settings().options.titleDigits); });
    connect(fileNameDigits_, &QLineEdit::textChanged, this,
            [this] { OnDigitsChanged(fileNameDigits_, &Settings().options.nameDigits); });
    connect(browse_, &QPushButton::clicked, this, &CPageSplitterOpt::OnBrowse);
    connect(fileNameHelp_, &QPushButton::clicked, this, &CPageSplitterOpt::OnFileNameHelp);
    connect(titleHelp_, &QPushButton::clicked, this, &CPageSplitterOpt::OnTitleHelp);
}

QWidget* CPageSplitterOpt::MakeSpin(Placer& at, CNumberEdit* box, int x, int y, const QString& name,
                                    Anchor anchor, std::function<void(int)> step) {
    auto* spin = new CSpinButtons(this);
    at.Put(spin, "", x, y, kSpinWidth, kRowHeight, anchor);
    spin->setObjectName(name);
    spin->Attach(box, std::move(step));
    return spin;
}

void CPageSplitterOpt::StepDecimalBox(CNumberEdit* box, int direction, int tenthsPerStep, int held) {
    const QString text = box->text();
    int tenths = 0;
    if (!text.isEmpty() && !ScanTenths(text, &tenths)) tenths = held;
    tenths = std::max(0, tenths + direction * tenthsPerStep);
    box->setText(TenthsText(tenths));
}

void CPageSplitterOpt::StepIntegerBox(CNumberEdit* box, int direction, int low, int high, int held) {
    int value = held;
    ReadInteger(box->text(), &value);
    value = std::clamp(value + direction, low, high);
    box->setText(QString::number(value));
}

void CPageSplitterOpt::UpdateEncodingControls() {
    const bool reencode = reencode_->isChecked();
    useSame_->setEnabled(reencode);
    const bool ownParams = reencode && !useSame_->isChecked();
    for (QWidget* list : {sampleRate_, bitrate_, channels_}) list->setEnabled(ownParams);
}

void CPageSplitterOpt::UpdateTagControls() {
    const bool keep = keepTag_->isChecked();
    for (QWidget* w : {static_cast<QWidget*>(trackNumber_), static_cast<QWidget*>(titleTemplate_),
                       static_cast<QWidget*>(titleHelp_), static_cast<QWidget*>(titleDigits_),
                       titleDigitsSpin_})
        w->setEnabled(keep);
}

void CPageSplitterOpt::UpdateFirstPiecesControls() {
    const bool only = firstPiecesOnly_->isChecked();
    firstPieces_->setEnabled(only);
    firstPiecesSpin_->setEnabled(only);
}

void CPageSplitterOpt::UpdateFolderControls() {
    const bool specific = outputFolder_->Value() == static_cast<int>(OutputFolder::Specific);
    for (QWidget* w : {static_cast<QWidget*>(specificFolder_), static_cast<QWidget*>(browse_),
                       static_cast<QWidget*>(treeFolders_), static_cast<QWidget*>(treeExample_)})
        w->setEnabled(specific);
    folderForEach_->setEnabled(true);
}

void CPageSplitterOpt::OnCheckBoxClicked(QCheckBox* box) {
    TakeOverPlainValues();
    if (box == reencode_ || box == useSame_) UpdateEncodingControls();
    if (box == keepTag_) UpdateTagControls();
    if (box == firstPiecesOnly_) {
        UpdateFirstPiecesControls();
        if (firstPiecesOnly_->isChecked()) firstPieces_->setFocus();
    }
}

void CPageSplitterOpt::OnBitrateChosen(int kbps) {
    CutterPageOptions& o = Settings().options;
    if (kbps == o.encoding.bitrate) return;
    const int hz = sampleRate_->Value(o.encoding.sampleRate);
    const int fitting = SampleRateForBitrate(kbps, hz);
    if (fitting != hz) sampleRate_->SelectValue(fitting);
    o.encoding.bitrate = bitrate_->Value(kbps);
    o.encoding.sampleRate = sampleRate_->Value(fitting);
}

void CPageSplitterOpt::OnSampleRateChosen(int hz) {
    CutterPageOptions& o = Settings().options;
    if (hz == o.encoding.sampleRate) return;
    const int kbps = bitrate_->Value(o.encoding.bitrate);
    const int fitting = BitrateForSampleRate(hz, kbps);
    if (fitting != kbps) bitrate_->SelectValue(fitting);
    o.encoding.sampleRate = sampleRate_->Value(hz);
    o.encoding.bitrate = bitrate_->Value(fitting);
}

void CPageSplitterOpt::OnFileNameTemplateChanged(const QString& text) {
    Settings().options.nameTemplate = text.toStdString();
    RefreshFileNameSamples();
}

void CPageSplitterOpt::OnTitleTemplateChanged(const QString& text) {
    Settings().options.titleTemplate = text.toStdString();
    RefreshTitleSamples();
}

void CPageSplitterOpt::OnDigitsChanged(CNumberEdit* box, int* held) {
    int value = 0;
    ReadInteger(box->text(), &value);
    if (value > kMaxDigitNumber) {
        value = kMaxDigitNumber;
        box->setText(QString::number(value));
    }
    *held = value;
    if (!ready_) return;
    if (box == fileNameDigits_)
        RefreshFileNameSamples();
    else
        RefreshTitleSamples();
}

void CPageSplitterOpt::RefreshFileNameSamples() {
    const CutterPageOptions& o = Settings().options;
    if (o.nameTemplate.empty()) {
        fileNameSamples_->clear();
        return;
    }
    const std::string first = PreviewPieceName(o, kSampleBaseName, 1, kSampleCount);
    const std::string second = PreviewPieceName(o, kSampleBaseName, 2, kSampleCount);
    fileNameSamples_->setText(QStringLiteral("Samples: %1, %2...").arg(Utf8(first), Utf8(second)));
}

void CPageSplitterOpt::RefreshTitleSamples() {
    const CutterPageOptions& o = Settings().options;
    if (o.titleTemplate.empty()) {
        titleSamples_->clear();
        return;
    }
    const std::string first = PreviewPieceTitle(o, kSampleTitle, kSampleBaseName, 1, kSampleCount);
    const std::string second = PreviewPieceTitle(o, kSampleTitle, kSampleBaseName, 2, kSampleCount);
    titleSamples_->setText(QStringLiteral("%1, %2...").arg(Utf8(first), Utf8(second)));
}

void CPageSplitterOpt::OnBrowse() {
    WithWaitCursor([this] {
        QString chosen;
        if (ChooseFolder(this, QString::fromLatin1(kTargetFolderTitle), specificFolder_->text(), &chosen,
                         kFolderTextBytes))
            specificFolder_->setText(chosen);
    });
}

void CPageSplitterOpt::OnFileNameHelp() {
    ShowMessage(this, QString::fromLatin1(kFileNameHelp), QMessageBox::Information);
}

void CPageSplitterOpt::OnTitleHelp() {
    ShowMessage(this, QString::fromLatin1(kTitleHelp), QMessageBox::Information);
}

void CPageSplitterOpt::Refuse(QWidget* control, const QString& text) {
    ShowMessage(this, text, QMessageBox::Warning);
    control->setFocus();
    if (auto* edit = qobject_cast<QLineEdit*>(control)) edit->selectAll();
}

bool CPageSplitterOpt::TakeOverPlainValues() {
    int firstPieces = 0;
    int fileNameDigits = 0;
    int titleDigits = 0;
    const std::pair<CNumberEdit*, int*> numbers[] = {
        {titleDigits_, &titleDigits}, {firstPieces_, &firstPieces}, {fileNameDigits_, &fileNameDigits}};
    for (const auto& [box, value] : numbers) {
        if (!ReadInteger(box->text(), value)) {
            Refuse(box, QString::fromLatin1(kEnterInteger));
            return false;
        }
    }
    CutterPageOptions& o = Settings().options;
    o.reencode = reencode_->isChecked();
    o.sameParams = useSame_->isChecked();
    o.keepTag = keepTag_->isChecked();
    o.titleDigits = titleDigits;
    o.firstPiecesOnly = firstPiecesOnly_->isChecked();
    o.firstPieces = firstPieces;
    o.nameTemplate = fileNameTemplate_->currentText().toStdString();
    o.titleTemplate = titleTemplate_->currentText().toStdString();
    o.nameDigits = fileNameDigits;
    o.placement.specificFolder = specificFolder_->text().toStdString();
    o.folderPerSource = folderForEach_->isChecked();
    o.placement.treeFolders = treeFolders_->isChecked();
    o.browseFolder = browseOutput_->isChecked();
    return true;
}

bool CPageSplitterOpt::TakeDecimalBox(CNumberEdit* box, bool emptyIsZero, int* tenths) {
    QString text = box->text();
    if (text.isEmpty() && emptyIsZero) text = QStringLiteral("0");
    if (!ScanTenths(text, tenths)) {
        Refuse(box, QString::fromLatin1(kInvalidNumber).arg(box->text()));
        return false;
    }
    return true;
}

bool CPageSplitterOpt::ValidateAndTakeOver() {
    if (!IsInitialised() || !ready_) return true;
    if (!TakeOverPlainValues()) return false;
    CutterPageOptions& o = Settings().options;
    if (!TakeDecimalBox(fadeIn_, true, &o.fadeInTenths)) return false;
    if (!TakeDecimalBox(fadeOut_, true, &o.fadeOutTenths)) return false;
    if (!TakeDecimalBox(forwardOverlap_, false, &o.forwardOverlapTenths)) return false;
    if (!TakeDecimalBox(backwardOverlap_, false, &o.backwardOverlapTenths)) return false;
    if (o.firstPiecesOnly && o.firstPieces <= 0) {
        Refuse(firstPieces_, QString::fromLatin1(kEnterPositive));
        return false;
    }
    if (o.nameTemplate.empty()) {
        Refuse(fileNameTemplate_, QString::fromLatin1(kEnterFileName));
        return false;
    }
    o.placement.folder = static_cast<OutputFolder>(outputFolder_->Value(static_cast<int>(o.placement.folder)));
    if (o.placement.folder == OutputFolder::Specific && specificFolder_->text().isEmpty()) {
        Refuse(specificFolder_, QString::fromLatin1(kChooseFolder));
        return false;
    }
    o.encoding.bitrate = bitrate_->Value(o.encoding.bitrate);
    o.encoding.sampleRate = sampleRate_->Value(o.encoding.sampleRate);
    o.encoding.channelMode = channels_->Value(o.encoding.channelMode);
    o.placement.ifExists = static_cast<TargetExists>(targetExists_->Value(static_cast<int>(o.placement.ifExists)));
    o.trackNumbers = static_cast<TrackNumber>(trackNumber_->Value(static_cast<int>(o.trackNumbers)));
    return true;
}

}  // namespace corvane
