// The cutter page: one source, its facts, custom pieces, the cut.
#include "ui/pages/PageSplitter.h"


#include "audio/PreviewPlayer.h"
#include "engine/base/Deployment.h"
#include "engine/base/Format.h"
#include "engine/base/Messages.h"
#include "ui/MessageBox.h"
#include "ui/Shell.h"
#include "ui/pages/ControlPlacer.h"
#include "ui/pages/CutRuleControls.h"
#include "ui/widgets/NumberEdit.h"
#include "ui/widgets/ProgressAdapter.h"
#include "ui/widgets/ProgressDialog.h"
#include "ui/widgets/SpinButtons.h"
#include "ui/widgets/TimeRuler.h"
#include "ui/widgets/WorkReport.h"
#include "ui/widgets/WaveformStrip.h"

#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QHeaderView>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QSpinBox>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QResizeEvent>
#include <QScrollBar>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QAction>
#include <QKeyEvent>
#include <QShortcut>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>
#include <cmath>

namespace corvane {

// The position slider: tenths of a second, with the selected piece drawn as a band under
// its groove. A value is drawn where the handle's centre stands for it, as the waveform strip
// above draws it.
class CPositionSlider : public QSlider {
public:
    explicit CPositionSlider(QWidget* parent) : QSlider(Qt::Horizontal, parent) {}

    void SetSelection(int start, int end) {
        selStart_ = start;
        selEnd_ = end;
        update();
    }
    void ClearSelection() { SetSelection(0, 0); }
    int SelectionStart() const { return selStart_; }
    int SelectionEnd() const { return selEnd_; }
    // The stretch the waveform shows (tenths), framed over the groove; none when end <= start.
    void SetView(int start, int end) {
        viewStart_ = start;
        viewEnd_ = end;
        update();
    }
    int ViewStart() const { return viewStart_; }
    int ViewEnd() const { return viewEnd_; }

protected:
    void paintEvent(QPaintEvent* event) override {
        QSlider::paintEvent(event);
        if (maximum() <= minimum()) return;
        QStyleOptionSlider option;
        initStyleOption(&option);
        const auto x = [&](int value) {
            option.sliderPosition = value;
            return style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this).center().x();
        };
        QPainter painter(this);
        if (selEnd_ > selStart_) {
            const QRect band(x(selStart_), height() - kBandHeight - 1, std::max(1, x(selEnd_) - x(selStart_)),
                             kBandHeight);
            painter.fillRect(band, palette().color(isEnabled() ? QPalette::Highlight : QPalette::Mid));
        }
        if (viewEnd_ > viewStart_) {
            QColor fill = palette().color(QPalette::Highlight);
            fill.setAlpha(kViewAlpha);
            const QRect view(x(viewStart_), 0, std::max(kViewMinWidth, x(viewEnd_) - x(viewStart_)), height() - 1);
            painter.fillRect(view, fill);
            painter.setPen(palette().color(QPalette::Highlight));
            painter.drawRect(view);
        }
    }

private:
    static constexpr int kBandHeight = 4;
    static constexpr int kViewAlpha = 40;
    static constexpr int kViewMinWidth = 2;
    int selStart_ = 0;
    int selEnd_ = 0;
    int viewStart_ = 0;
    int viewEnd_ = 0;
};

namespace {

// ---- Texts ----

constexpr char kCaption[] = "MP3 Cutter";
constexpr char kOpenFilter[] = "MP3 Files (*.mp3);;All Files (*)";
constexpr char kOpenFailed[] = "Failed to open file \"%1\".\n\nTo get help, please contact us at <%2>.";
constexpr char kPieceAdded[] = "%1 has been added.";
constexpr char kEndBeforeStart[] = "You can not set the end position less than or equal to the start position.";
constexpr char kStartAfterEnd[] = "You can not set the start position greater than or equal to the end position.";
constexpr char kCloseFile[] = "Are you sure you want to close current file?";
constexpr char kResetPieces[] = "Are you sure you want to reset all pieces?";
constexpr char kNoSoundPlay[] =
    "Dear user, the program can't detect a sound card on your computer. The \"Play\" doesn't work.";
constexpr char kNoSoundPreview[] =
    "Dear user, the program can't detect a sound card on your computer. The \"Preview\" doesn't work.";
constexpr char kCutting[] = "Cutting %1...";
constexpr char kSourceChanged[] =
    "\"%1\" has changed since it was opened, so it was opened again. Check the pieces, then cut.";
constexpr char kSearchingSilences[] = "Searching for silences in %1...";
constexpr char kSilencesLabel[] = "Add Pieces at Si&lences";
constexpr char kCueLabel[] = "Load CUE S&heet...";
constexpr char kChaptersLabel[] = "Add Pieces at &Chapters";
constexpr char kCueFilter[] = "CUE Sheets (*.cue);;All Files (*)";
constexpr char kPlayLabel[] = "&Play";
constexpr char kPauseLabel[] = "&Pause";
constexpr char kPreviewLabel[] = "Previe&w";
constexpr char kPreviewStopLabel[] = "Stop";
constexpr char kInfoFormat[] =
    "Length: %1     Size: %2\nMP3 Info: %3 Hz, %4 kbps, %5\nTitle: %6\nArtist: %7\nAlbum: %8\nYear: %9\n"
    "Genre: %10\nTrack #: %11\nComment: %12";

constexpr const char* kColumnTitles[] = {"No.", "Start", "End", "Length", "Estimated Size", "Output"};
constexpr int kColumnWidths[] = {50, 90, 90, 100, 100, 250};
constexpr int kArrowSide = 16;  // the recent files arrow in the source box
enum Column { kNumberColumn, kStartColumn, kEndColumn, kLengthColumn, kSizeColumn, kOutputColumn };

// ---- Values ----

constexpr int kByCustom = CCutRuleControls::kByOwnRule;
constexpr int kTimeStep = 10;             // the time box's spin: one second
constexpr int kTimerPeriodMs = 100;       // the play timer: the position shown ten times a second
constexpr int kSliderPages = 20;          // the position slider's page: a twentieth of the file
constexpr int kVolumeHigh = 8192;
constexpr int kVolumeTicks = 819;
constexpr int kVolumeToGain = 8;          // slider position to player gain (0..65535)
constexpr int kMaxGain = 65535;
constexpr int kFullVolume = kMaxGain / kVolumeToGain;
constexpr int64_t kMsPerSecond = 1000;
constexpr int64_t kMsPerTenth = 100;
constexpr int64_t kListenAroundMs = 2000;  // K: this long before the marked boundary and after

// The sample frames of one MPEG frame of a source: Layer I 384, Layer II 1152, Layer III 1152
// at MPEG-1's rates (32000 Hz and up) and 576 at MPEG-2's and 2.5's.
constexpr int kLayer1FrameSamples = 384;
constexpr int kFrameSamples = 1152;
constexpr int kLowRateFrameSamples = 576;
constexpr int kLowestMpeg1Rate = 32000;
int FrameSamples(const SourceFacts& facts) {
    if (facts.layer == 1) return kLayer1FrameSamples;
    return facts.layer == 2 || facts.sampleRate >= kLowestMpeg1Rate ? kFrameSamples : kLowRateFrameSamples;
}

// ---- Places of the controls, in dialog units ----
//
// The source row across the top; the cut modes and "C&ut Now!" at the left with the
// information box beside them, stretching right; the playback row, the waveform strip and the
// position slider across the page; the piece buttons, then the piece list taking what is left,
// then its two buttons at the bottom.

constexpr int kButtonWidth = 50;
constexpr int kSilencesWidth = 90;
constexpr int kCueWidth = 74;
// The silences' threshold and shortest length beside their button: labels and boxes.
constexpr int kSilenceDbLabelWidth = 22;
constexpr int kSilenceDbWidth = 40;
constexpr int kSilenceLengthLabelWidth = 18;
constexpr int kSilenceLengthWidth = 36;
constexpr char kSilenceDbTip[] =
    "A silence is quieter than this, in dB below full scale (the RMS of every 10 ms)";
constexpr char kSilenceLengthTip[] = "A silence lasts at least this long; pieces are split in its middle";

constexpr int kSourceY = kMargin;
constexpr int kSourceLabelWidth = 46;
constexpr int kOpenWidth = 50;

constexpr int kModeY = 27;
constexpr int kModePitch = 18;
constexpr int kMinLabelWidth = 14;
constexpr int kModeRight = 214;
constexpr int kInfoX = kModeRight + 8;
constexpr int kInfoHeight = 90;                        // all eleven lines of a tagged file
constexpr int kCutWidth = 62;
constexpr int kCutHeight = 18;
constexpr int kCutY = kModeY + kInfoHeight - kCutHeight;  // under the custom radio, level with the box's foot

constexpr int kPlayY = kModeY + kInfoHeight + 8;
constexpr int kTimeBoxWidth = 52;
constexpr int kVolumeLabelWidth = 30;
constexpr int kVolumeWidth = 80;
// The zoom buttons at the end of the playback row.
constexpr int kZoomButtonWidth = 14;
constexpr int kWholeWidth = 34;
constexpr int kWholeX = kRight - kWholeWidth;
constexpr int kZoomInX = kWholeX - 2 - kZoomButtonWidth;
constexpr int kZoomOutX = kZoomInX - 2 - kZoomButtonWidth;
// The time ruler, the waveform strip and its scroll bar.
constexpr int kRulerY = kPlayY + 17;
constexpr int kRulerHeight = 10;
constexpr int kStripY = kRulerY + kRulerHeight;
constexpr int kStripHeight = 36;
constexpr int kScrollY = kStripY + kStripHeight;
constexpr int kScrollHeight = 8;
constexpr int kSliderY = kScrollY + kScrollHeight;
constexpr int kSliderHeight = 18;
constexpr int kPieceButtonsY = kSliderY + kSliderHeight + 4;
// The waveform strip takes this share of the height the page gains over its design height;
// the slider, the piece buttons and the top of the list move down with its foot, and the list
// takes the rest.
constexpr int kStripGrowth = 35;
constexpr Anchor kUnderStripLeft{0, kStripGrowth};
constexpr Anchor kUnderStripRight{100, kStripGrowth};
constexpr int kListY = kPieceButtonsY + 18;
constexpr int kBottomButtonsY = kPageDesignHeight - kMargin - kButtonHeight;
constexpr int kListBottom = kBottomButtonsY - 4;

// The pieces a single cut left, as its observer hears of them.
class CPiecesHeard : public ICutObserver {
public:
    std::vector<std::string> pieces;
    void OnSourceStarted(size_t) override {}
    void OnSourceDone(size_t, const Outcome&, const std::vector<std::string>& left) override { pieces = left; }
};

}  // namespace

CPageSplitter::CPageSplitter(QWidget* parent)
    : CSettingsPage(QString::fromLatin1(kCaption), kCutGroup, parent), player_(std::make_unique<CPreviewPlayer>()) {
    // The end of playback arrives on the player's thread; the page handles it on its own.
    connect(this, &CPageSplitter::PlaybackEnded, this, &CPageSplitter::OnStop, Qt::QueuedConnection);
}

CPageSplitter::~CPageSplitter() {
    // No notification may arrive while the page goes.
    player_->Free();
}

// Makes the page's controls at their design rectangles (dialog units) and anchors them.
struct CPageSplitter::Placer : CControlPlacer {
    QPushButton* Button(const char* text, const char* name, int x, int y, int width, Anchor topLeft,
                        int height = kButtonHeight) const {
        return Put(new QPushButton(QString::fromLatin1(text), page), name, x, y, width, height, topLeft);
    }
};

void CPageSplitter::OnInitPage() {
    Placer at{{this, Layout()}};
    MakeSourceControls(at);
    MakeModeControls(at);
    MakePlaybackControls(at);
    MakePieceControls(at);
    setAcceptDrops(true);

    playTimer_ = new QTimer(this);
    playTimer_->setInterval(kTimerPeriodMs);
    ConnectControls();

    rules_->Show(Settings());  // the held cut values into their boxes
    volumeSlider_->setValue(kFullVolume);
    ShowNoFile();
    ApplyCutMode();
}

void CPageSplitter::MakeSourceControls(Placer& at) {
    sourceBox_ = at.Put(new QLineEdit(this), "sourceBox", kMargin + kSourceLabelWidth, kSourceY,
                        kRight - kOpenWidth - 4 - kMargin - kSourceLabelWidth, kRowHeight, kTopLeft, kTopRight);
    sourceBox_->setReadOnly(true);
    QAction* recent = sourceBox_->addAction(ArrowDownIcon(this, kArrowSide), QLineEdit::TrailingPosition);
    recent->setObjectName(QStringLiteral("recentFilesAction"));
    recent->setToolTip(QStringLiteral("Recent files (Down)"));
    connect(recent, &QAction::triggered, this, &CPageSplitter::ShowRecentFiles);
    sourceBox_->installEventFilter(this);
    at.Label("Source &File:", sourceBox_, kMargin, kSourceY, kSourceLabelWidth - 2);
    openButton_ = at.Button("&Open", "openButton", kRight - kOpenWidth, kSourceY - 1, kOpenWidth, kTopRight);
}

void CPageSplitter::MakeModeControls(Placer& at) {
    CutRuleLook look;
    look.top = kModeY;
    look.pitch = kModePitch;
    look.right = kModeRight;
    look.timeRadioText = "By ti&me";
    look.ownRadioText = "B&y custom";
    look.ownRadioName = "byCustom";
    look.minutesLabel = "mi&n";
    look.minutesLabelWidth = kMinLabelWidth;
    look.minutesLabelFocusesSeconds = true;
    look.secondsLabel = "sec each file";
    rules_ = new CCutRuleControls(at, look);

    infoBox_ = at.Put(new QPlainTextEdit(this), "infoBox", kInfoX, kModeY, kRight - kInfoX, kInfoHeight, kTopLeft,
                      kTopRight);
    infoBox_->setReadOnly(true);
    infoBox_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    infoBox_->setLineWrapMode(QPlainTextEdit::NoWrap);
    cutButton_ = at.Button("C&ut Now!", "cutButton", kMargin, kCutY, kCutWidth, kTopLeft, kCutHeight);
}

void CPageSplitter::MakePlaybackControls(Placer& at) {
    const int y = kPlayY;
    timeBox_ = at.Put(new QLineEdit(this), "timeBox", kMargin, y, kTimeBoxWidth, kRowHeight, kTopLeft);
    timeSpin_ = at.Spin("timeSpin", timeBox_, kMargin + kTimeBoxWidth, y,
                         [this](int direction) { StepTimeBox(direction); });
    int x = kMargin + kTimeBoxWidth + kSpinWidth + 6;
    addButton_ = at.Button("&Add Piece", "addButton", x, y - 1, kButtonWidth, kTopLeft);
    x += kButtonWidth + 4;
    playButton_ = at.Button(kPlayLabel, "playButton", x, y - 1, kButtonWidth, kTopLeft);
    x += kButtonWidth + 4;
    stopButton_ = at.Button("S&top", "stopButton", x, y - 1, kButtonWidth, kTopLeft);
    x += kButtonWidth + 10;
    volumeSlider_ = at.Put(new QSlider(Qt::Horizontal, this), "volumeSlider", x + kVolumeLabelWidth, y - 2,
                           kVolumeWidth, kRowHeight + 4, kTopLeft);
    volumeSlider_->setRange(0, kVolumeHigh);
    volumeSlider_->setTickInterval(kVolumeTicks);
    volumeSlider_->setPageStep(kVolumeTicks);
    volumeSlider_->setTickPosition(QSlider::TicksBelow);
    at.Label("&Volume:", volumeSlider_, x, y, kVolumeLabelWidth - 2);

    positionSlider_ = at.Put(new CPositionSlider(this), "positionSlider", kMargin, kSliderY, kRight - kMargin,
                             kSliderHeight, kUnderStripLeft, kUnderStripRight);
    positionSlider_->setRange(0, 0);
    positionSlider_->setTickPosition(QSlider::NoTicks);
    // Exactly as wide as the slider, so that its columns stand over the slider's groove; the
    // ruler above it and the scroll bar under it as wide again.
    waveStrip_ = at.Put(new CWaveformStrip(this), "waveformStrip", kMargin, kStripY, kRight - kMargin, kStripHeight,
                        kTopLeft, kUnderStripRight);
    waveStrip_->SetSlider(positionSlider_);
    ruler_ = at.Put(new CTimeRuler(this), "timeRuler", kMargin, kRulerY, kRight - kMargin, kRulerHeight, kTopLeft,
                    kTopRight);
    ruler_->SetStrip(waveStrip_);
    waveScroll_ = at.Put(new QScrollBar(Qt::Horizontal, this), "waveformScroll", kMargin, kScrollY, kRight - kMargin,
                         kScrollHeight, kUnderStripLeft, kUnderStripRight);
    waveStrip_->SetScrollBar(waveScroll_);
    zoomOutButton_ = at.Button("-", "zoomOutButton", kZoomOutX, y - 1, kZoomButtonWidth, kTopRight);
    zoomOutButton_->setText(QString(QChar(0x2212)));  // a minus sign, as wide as the plus
    zoomInButton_ = at.Button("+", "zoomInButton", kZoomInX, y - 1, kZoomButtonWidth, kTopRight);
    zoomWholeButton_ = at.Button("Whole", "zoomWholeButton", kWholeX, y - 1, kWholeWidth, kTopRight);
}

void CPageSplitter::MakePieceControls(Placer& at) {
    int x = kMargin;
    const auto pieceButton = [&](const char* text, const char* name) {
        QPushButton* b = at.Button(text, name, x, kPieceButtonsY, kButtonWidth, kUnderStripLeft);
        x += kButtonWidth + 4;
        return b;
    };
    setStartButton_ = pieceButton("Set Start", "setStartButton");
    setEndButton_ = pieceButton("Set End", "setEndButton");
    goStartButton_ = pieceButton("Go to Start", "goStartButton");
    goEndButton_ = pieceButton("Go to End", "goEndButton");
    previewButton_ = pieceButton(kPreviewLabel, "previewButton");
    // The rows a CUE sheet or the file's chapters give, beside the buttons for one piece; the
    // chapters' button is enabled while the open file has chapters (ID3v2 CHAP frames).
    x += 4;
    cueButton_ = at.Button(kCueLabel, "cueButton", x, kPieceButtonsY, kCueWidth, kUnderStripLeft);
    x += kCueWidth + 4;
    chaptersButton_ = at.Button(kChaptersLabel, "chaptersButton", x, kPieceButtonsY, kSilencesWidth, kUnderStripLeft);

    pieceList_ = at.Put(new QTreeWidget(this), "pieceList", kMargin, kListY, kRight - kMargin, kListBottom - kListY,
                        kUnderStripLeft, kBottomRight);
    pieceList_->setColumnCount(static_cast<int>(std::size(kColumnTitles)));
    QStringList titles;
    for (const char* title : kColumnTitles) titles << QString::fromLatin1(title);
    pieceList_->setHeaderLabels(titles);
    for (int c = 0; c < pieceList_->columnCount(); ++c) {
        pieceList_->setColumnWidth(c, kColumnWidths[c]);
        if (c >= kStartColumn && c <= kSizeColumn)
            pieceList_->headerItem()->setTextAlignment(c, Qt::AlignRight | Qt::AlignVCenter);
    }
    pieceList_->setRootIsDecorated(false);
    pieceList_->setSelectionMode(QAbstractItemView::SingleSelection);
    pieceList_->setSelectionBehavior(QAbstractItemView::SelectRows);
    pieceList_->setSortingEnabled(false);
    pieceList_->setAllColumnsShowFocus(true);
    pieceList_->viewport()->installEventFilter(this);  // its context menu

    removeButton_ = at.Button("&Remove", "removeButton", kMargin, kBottomButtonsY, kButtonWidth, kBottomLeft);
    resetButton_ =
        at.Button("R&eset", "resetButton", kMargin + kButtonWidth + 4, kBottomButtonsY, kButtonWidth, kBottomLeft);
    constexpr int kSilencesX = kMargin + 2 * (kButtonWidth + 4);
    silencesButton_ = at.Button(kSilencesLabel, "silencesButton", kSilencesX, kBottomButtonsY, kSilencesWidth,
                                kBottomLeft);
    // The silences' threshold and shortest length, as the settings keep them.
    constexpr int kSilenceDbLabelX = kSilencesX + kSilencesWidth + 4;
    constexpr int kSilenceDbX = kSilenceDbLabelX + kSilenceDbLabelWidth;
    constexpr int kSilenceLengthLabelX = kSilenceDbX + kSilenceDbWidth + 4;
    constexpr int kSilenceLengthX = kSilenceLengthLabelX + kSilenceLengthLabelWidth;
    silenceDbBox_ = at.Put(new QSpinBox(this), "silenceDbBox", kSilenceDbX, kBottomButtonsY, kSilenceDbWidth,
                           kButtonHeight, kBottomLeft);
    silenceDbBox_->setRange(kMinSilenceDb, kMaxSilenceDb);
    silenceDbBox_->setSuffix(QStringLiteral(" dB"));
    silenceDbBox_->setValue(Settings().silenceDb);
    silenceDbBox_->setToolTip(QString::fromLatin1(kSilenceDbTip));
    at.Label("un&der", silenceDbBox_, kSilenceDbLabelX, kBottomButtonsY, kSilenceDbLabelWidth - 2, kBottomLeft)
        ->setToolTip(QString::fromLatin1(kSilenceDbTip));
    silenceLengthBox_ = at.Put(new QDoubleSpinBox(this), "silenceLengthBox", kSilenceLengthX, kBottomButtonsY,
                               kSilenceLengthWidth, kButtonHeight, kBottomLeft);
    silenceLengthBox_->setDecimals(1);
    silenceLengthBox_->setSingleStep(0.1);
    silenceLengthBox_->setRange(kMinSilenceTenths / 10.0, kMaxSilenceTenths / 10.0);
    silenceLengthBox_->setSuffix(QStringLiteral(" s"));
    silenceLengthBox_->setValue(Settings().silenceTenths / 10.0);
    silenceLengthBox_->setToolTip(QString::fromLatin1(kSilenceLengthTip));
    at.Label("&for", silenceLengthBox_, kSilenceLengthLabelX, kBottomButtonsY, kSilenceLengthLabelWidth - 2,
             kBottomLeft)
        ->setToolTip(QString::fromLatin1(kSilenceLengthTip));
    // A boundary dragged on the waveform snaps to the silences these boxes define.
    const auto snapToSilences = [this] {
        waveStrip_->SetSilenceOptions({static_cast<double>(Settings().silenceDb), Settings().silenceTenths / 10.0});
    };
    connect(silenceDbBox_, &QSpinBox::valueChanged, this, [this, snapToSilences](int db) {
        Settings().silenceDb = db;
        snapToSilences();
    });
    connect(silenceLengthBox_, &QDoubleSpinBox::valueChanged, this, [this, snapToSilences](double seconds) {
        Settings().silenceTenths = static_cast<int>(std::lround(seconds * 10));
        snapToSilences();
    });
    snapToSilences();
    constexpr int kReportX = kSilenceLengthX + kSilenceLengthWidth + 8;
    report_ = at.Put(new CWorkReport(this), "workReport", kReportX, kBottomButtonsY, kRight - kReportX, kButtonHeight,
                     kBottomLeft, kBottomRight);

    pieceMenu_ = new QMenu(this);
    pieceMenu_->setObjectName(QStringLiteral("pieceMenu"));
    pieceMenu_->addAction(QStringLiteral("&Preview"), this, &CPageSplitter::OnPreview)->setObjectName("menuPreview");
    pieceMenu_->addAction(QStringLiteral("&Remove"), this, &CPageSplitter::OnRemove)->setObjectName("menuRemove");
    pieceMenu_->addAction(QStringLiteral("Re&set"), this, &CPageSplitter::OnReset)->setObjectName("menuReset");
    pieceMenu_->addAction(QStringLiteral("&Browse..."), this, &CPageSplitter::OnBrowse)->setObjectName("menuBrowse");
    pieceMenu_->addSeparator();
    pieceMenu_->addAction(QString::fromLatin1(kSilencesLabel), this, &CPageSplitter::OnAddSilences)
        ->setObjectName("menuSilences");
    pieceMenu_->addAction(QString::fromLatin1(kCueLabel), this, &CPageSplitter::OnLoadCueSheet)
        ->setObjectName("menuCue");
    pieceMenu_->addAction(QString::fromLatin1(kChaptersLabel), this, &CPageSplitter::OnAddChapters)
        ->setObjectName("menuChapters");
}

void CPageSplitter::ConnectControls() {
    connect(openButton_, &QPushButton::clicked, this, &CPageSplitter::OnOpen);
    connect(rules_, &CCutRuleControls::RuleClicked, this, [this] { ApplyCutMode(); });
    connect(cutButton_, &QPushButton::clicked, this, &CPageSplitter::OnCutNow);
    connect(addButton_, &QPushButton::clicked, this, &CPageSplitter::OnAddPiece);
    connect(playButton_, &QPushButton::clicked, this, &CPageSplitter::OnPlay);
    connect(stopButton_, &QPushButton::clicked, this, &CPageSplitter::OnStop);
    connect(volumeSlider_, &QSlider::valueChanged, this, &CPageSplitter::OnVolume);
    connect(positionSlider_, &QSlider::valueChanged, this, &CPageSplitter::OnSliderValue);
    connect(positionSlider_, &QSlider::sliderPressed, this, [this] { dragging_ = true; });
    connect(positionSlider_, &QSlider::actionTriggered, this, &CPageSplitter::OnSliderAction);
    connect(positionSlider_, &QSlider::sliderReleased, this, &CPageSplitter::OnSliderReleased);
    connect(setStartButton_, &QPushButton::clicked, this, &CPageSplitter::OnSetStart);
    connect(setEndButton_, &QPushButton::clicked, this, &CPageSplitter::OnSetEnd);
    connect(waveStrip_, &CWaveformStrip::BoundaryMoved, this, &CPageSplitter::OnBoundaryMoved);
    connect(waveStrip_, &CWaveformStrip::NudgeAsked, this, &CPageSplitter::OnNudge);
    connect(waveStrip_, &CWaveformStrip::ViewChanged, this, [this] {
        if (waveStrip_->Zoomed())
            positionSlider_->SetView(static_cast<int>(std::floor(waveStrip_->ViewStart() * 10)),
                                     static_cast<int>(std::ceil(waveStrip_->ViewEnd() * 10)));
        else
            positionSlider_->SetView(0, 0);
    });
    connect(zoomInButton_, &QPushButton::clicked, waveStrip_, &CWaveformStrip::ZoomIn);
    connect(zoomOutButton_, &QPushButton::clicked, waveStrip_, &CWaveformStrip::ZoomOut);
    connect(zoomWholeButton_, &QPushButton::clicked, waveStrip_, &CWaveformStrip::ShowWhole);
    connect(goStartButton_, &QPushButton::clicked, this, &CPageSplitter::OnGoToStart);
    connect(goEndButton_, &QPushButton::clicked, this, &CPageSplitter::OnGoToEnd);
    connect(previewButton_, &QPushButton::clicked, this, &CPageSplitter::OnPreview);
    connect(removeButton_, &QPushButton::clicked, this, &CPageSplitter::OnRemove);
    connect(resetButton_, &QPushButton::clicked, this, &CPageSplitter::OnReset);
    connect(silencesButton_, &QPushButton::clicked, this, &CPageSplitter::OnAddSilences);
    connect(cueButton_, &QPushButton::clicked, this, &CPageSplitter::OnLoadCueSheet);
    connect(chaptersButton_, &QPushButton::clicked, this, &CPageSplitter::OnAddChapters);
    connect(pieceList_, &QTreeWidget::itemSelectionChanged, this, &CPageSplitter::OnSelectionChanged);
    connect(pieceList_, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item) { OnPieceItemChanged(item); });
    connect(playTimer_, &QTimer::timeout, this, &CPageSplitter::OnTimerTick);
    auto* open = new QShortcut(QKeySequence::Open, this, this, &CPageSplitter::OnOpen);
    open->setContext(Qt::WidgetWithChildrenShortcut);
    auto* undo = new QShortcut(QKeySequence::Undo, this, this, &CPageSplitter::Undo);
    undo->setContext(Qt::WidgetWithChildrenShortcut);
    auto* redo = new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), this, this, &CPageSplitter::Redo);
    redo->setContext(Qt::WidgetWithChildrenShortcut);
    // Ctrl++ is Ctrl+= on keyboards whose plus needs Shift.
    for (const QKeySequence& keys : {QKeySequence(QKeySequence::ZoomIn), QKeySequence(Qt::CTRL | Qt::Key_Equal)})
        new QShortcut(keys, this, waveStrip_, &CWaveformStrip::ZoomIn, Qt::WidgetWithChildrenShortcut);
    new QShortcut(QKeySequence::ZoomOut, this, waveStrip_, &CWaveformStrip::ZoomOut, Qt::WidgetWithChildrenShortcut);
    new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_0), this, waveStrip_, &CWaveformStrip::ShowWhole,
                  Qt::WidgetWithChildrenShortcut);
    // What a label does not say, with the keys that do it.
    openButton_->setToolTip(QStringLiteral("Open an MP3 file (Ctrl+O)"));
    playButton_->setToolTip(QStringLiteral("Play or pause from the slider's position (Space)"));
    stopButton_->setToolTip(QStringLiteral("Stop playing and go back to where playing started"));
    timeSpin_->setToolTip(QStringLiteral("Move the position by a second"));
    volumeSlider_->setToolTip(QStringLiteral("Volume of playing and previews"));
    waveStrip_->setToolTip(QStringLiteral(
        "Click to move the position; drag the line between two pieces to move where one ends (it snaps to a "
        "silence; Shift: it does not). Left/Right move the selected piece's marked end by a frame, Shift+Left/Right "
        "by a second; K plays around it. Ctrl+wheel zooms, the wheel scrolls"));
    zoomInButton_->setToolTip(QStringLiteral("Zoom in on the waveform (Ctrl++, Ctrl+wheel)"));
    zoomOutButton_->setToolTip(QStringLiteral("Zoom out (Ctrl+-)"));
    zoomWholeButton_->setToolTip(QStringLiteral("Show the whole file (Ctrl+0)"));
    previewButton_->setToolTip(QStringLiteral("Play the selected piece only"));
    removeButton_->setToolTip(QStringLiteral("Remove the selected piece (Delete); its range goes to a neighbour"));
    resetButton_->setToolTip(QStringLiteral("Make the whole file one piece again"));
}

void CPageSplitter::keyPressEvent(QKeyEvent* event) {
    if (event->modifiers() == Qt::NoModifier && event->key() == Qt::Key_Space && playButton_->isEnabled()) {
        OnPlay();
        return;
    }
    if (event->modifiers() == Qt::NoModifier && event->key() == Qt::Key_Delete && removeButton_->isEnabled()) {
        OnRemove();
        return;
    }
    if (event->modifiers() == Qt::NoModifier && event->key() == Qt::Key_K && MarkedBoundary() >= 0) {
        OnListenAtBoundary();
        return;
    }
    CSettingsPage::keyPressEvent(event);
}

void CPageSplitter::ShowRecentFiles() {
    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("recentMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const QStringList files = LoadRecentFiles();
    for (const QString& file : files) {
        menu->addAction(file, this, [this, file] {
            QString failure;
            if (!OpenSourceFile(file, &failure)) ShowMessage(this, failure, QMessageBox::Warning);
        });
    }
    if (files.isEmpty()) menu->addAction(QStringLiteral("No recent files"))->setEnabled(false);
    menu->popup(sourceBox_->mapToGlobal(sourceBox_->rect().bottomLeft()));
}

bool CPageSplitter::eventFilter(QObject* watched, QEvent* event) {
    if (watched == sourceBox_ && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Down) {
        ShowRecentFiles();
        return true;
    }
    if (event->type() == QEvent::ContextMenu && pieceList_ != nullptr && watched == pieceList_->viewport()) {
        // At the pointer; from the keyboard at the list's centre.
        const auto* menuEvent = static_cast<QContextMenuEvent*>(event);
        OnPieceMenu(menuEvent->reason() == QContextMenuEvent::Keyboard
                        ? pieceList_->mapToGlobal(pieceList_->rect().center())
                        : menuEvent->globalPos());
        return true;
    }
    return CSettingsPage::eventFilter(watched, event);
}

void CPageSplitter::OnDestroyPage() {
    ReadCutValues(true);
    CSettingsPage::OnDestroyPage();
    pieces_.clear();
}

// ---- The source ----

bool CPageSplitter::OpenSourceFile(const QString& path, QString* failure) {
    EnsureInitialised();
    CloseSourceFile();
    const QString openFailure = QString::fromLatin1(kOpenFailed).arg(path, QString::fromLatin1(kSupportMail));
    if (QFileInfo(path).suffix().compare(QStringLiteral("mp3"), Qt::CaseInsensitive) != 0) {
        if (failure != nullptr) *failure = openFailure;
        return false;
    }

    // The facts first, as every front end reads them: a file the reader refuses is not opened.
    const std::string source = path.toStdString();
    SourceFacts facts;
    bool read = false;
    bool loaded = false;
    WithWaitCursor([&] {
        read = ReadSourceFacts(source, facts);
        loaded = read && player_->Load(source, [this] { Q_EMIT PlaybackEnded(); });
    });
    if (!loaded) {
        if (failure != nullptr) *failure = read ? openFailure : Utf8(LoadFileFailure(source));
        return false;
    }
    facts_ = facts;
    player_->SetVolume(std::min(volumeSlider_->value() * kVolumeToGain, kMaxGain));

    rules_->EnableRadios(true);
    for (QWidget* w : std::initializer_list<QWidget*>{cutButton_, timeBox_, timeSpin_, playButton_, stopButton_,
                                                      positionSlider_, zoomInButton_, zoomOutButton_, zoomWholeButton_})
        w->setEnabled(true);
    sourcePath_ = path;
    sourceBox_->setText(path);
    playState_ = PlayState::Stopped;
    pausePosition_ = 0;
    dragging_ = false;
    FillInformation();

    positionSlider_->setRange(0, TotalLength());
    positionSlider_->setPageStep(std::max(1, TotalLength() / kSliderPages));
    ShowPosition(0);
    timeBox_->setText(Position(0));
    waveStrip_->SetSource(path);

    RememberRecentFile(path);
    report_->Clear();
    pieces_ = SinglePiece(TotalLength());
    cueTracks_ = false;
    markedBoundary_ = -1;
    hasChapters_ = !ReadChapters(path.toStdString()).empty();
    ForgetEdits();
    RefreshPieceList(0);
    ApplyCutMode();
    return true;
}

void CPageSplitter::CloseSourceFile() {
    if (sourcePath_.isEmpty()) return;
    OnStop();
    playTimer_->stop();
    player_->Free();
    playState_ = PlayState::Stopped;
    playOrigin_ = pausePosition_ = previewStart_ = previewEnd_ = 0;
    sourcePath_.clear();
    facts_ = SourceFacts{};
    outputs_.clear();
    pieces_.clear();
    cueTracks_ = false;
    hasChapters_ = false;
    ForgetEdits();
    ShowNoFile();
}

void CPageSplitter::ShowNoFile() {
    playButton_->setText(QString::fromLatin1(kPlayLabel));
    previewButton_->setText(QString::fromLatin1(kPreviewLabel));
    positionSlider_->blockSignals(true);
    positionSlider_->setValue(0);
    positionSlider_->setRange(0, 0);
    positionSlider_->blockSignals(false);
    positionSlider_->ClearSelection();
    waveStrip_->Clear();
    timeBox_->setText(Position(0));
    sourceBox_->clear();
    infoBox_->clear();
    rules_->EnableRadios(false);
    rules_->EnableChosen(false);
    for (QWidget* w : std::initializer_list<QWidget*>{
             cutButton_, timeBox_, timeSpin_, playButton_, stopButton_, positionSlider_, zoomInButton_, zoomOutButton_,
             zoomWholeButton_, addButton_, resetButton_,
             setStartButton_, setEndButton_, goStartButton_, goEndButton_, previewButton_, removeButton_,
             silencesButton_, silenceDbBox_, silenceLengthBox_, cueButton_, chaptersButton_, pieceList_})
        w->setEnabled(false);
    RefreshPieceList(-1);
}

void CPageSplitter::FillInformation() {
    TagFields tags;
    ReadTags(sourcePath_.toStdString(), tags);
    const QString text =
        QString::fromLatin1(kInfoFormat)
            .arg(Utf8(FormatDuration(TotalLength() / 10)), Utf8(FormatSize(static_cast<int64_t>(facts_.fileSize))),
                 QString::number(facts_.sampleRate), QString::number(facts_.bitrate),
                 QString::fromLatin1(facts_.channelMode == kChannelModeMono ? "Mono" : "Stereo"), Utf8(tags.title),
                 Utf8(tags.artist), Utf8(tags.album), Utf8(tags.year))
            .arg(Utf8(tags.genre), Utf8(TrackText(tags.track)), Utf8(tags.comment));
    infoBox_->setPlainText(text);
}

void CPageSplitter::OnOpen() {
    QStringList files;
    if (!ShowFileDialog(this, QString::fromLatin1(kOpenFilter), FileDialogMode::Open, QString(), &files)) return;
    ProcessPendingEvents();
    QString failure;
    if (!OpenSourceFile(files.first(), &failure)) ShowMessage(this, failure, QMessageBox::Warning);
}

void CPageSplitter::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void CPageSplitter::dropEvent(QDropEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    event->acceptProposedAction();
    // The drop ends at once for the file manager; the file opens after it.
    QTimer::singleShot(0, this, [this, urls] {
        for (const QUrl& url : urls) {
            const QFileInfo info(url.toLocalFile());
            if (!url.isLocalFile() || info.isDir() || !info.isReadable()) continue;
            if (OpenSourceFile(info.filePath())) break;
        }
    });
}

// ---- Cut modes ----

void CPageSplitter::ReadCutValues(bool quiet) {
    if (IsInitialised()) rules_->Read(Settings(), quiet);
}

void CPageSplitter::ApplyCutMode() {
    ReadCutValues(false);
    const bool file = !sourcePath_.isEmpty();
    const bool custom = file && Settings().cutType == kByCustom;
    resetButton_->setEnabled(custom);
    silencesButton_->setEnabled(custom);
    silenceDbBox_->setEnabled(custom);
    silenceLengthBox_->setEnabled(custom);
    cueButton_->setEnabled(custom);
    chaptersButton_->setEnabled(custom && hasChapters_);
    addButton_->setEnabled(custom);
    pieceList_->setEnabled(custom);
    UpdatePieceButtons();
    ShowPiecesOnStrip();
    rules_->EnableChosen(file);
}

void CPageSplitter::UpdatePieceButtons() {
    const bool enable = !sourcePath_.isEmpty() && Settings().cutType == kByCustom && SelectedRow() >= 0;
    for (QPushButton* b : {previewButton_, removeButton_, goStartButton_, goEndButton_, setStartButton_, setEndButton_})
        b->setEnabled(enable);
}

// ---- The piece list ----

QString CPageSplitter::Position(int tenths) const { return Utf8(FormatPosition(tenths, TotalLength())); }

QString CPageSplitter::PositionMs(int64_t ms) const {
    return MillisecondsText(ms, 3, TotalLength() > kLongPositionAbove);
}

double CPageSplitter::EndSeconds(int row) const {
    const PieceEntry& piece = pieces_[static_cast<size_t>(row)];
    if (piece.endSample >= 0 && facts_.sampleRate > 0) return static_cast<double>(piece.endSample) / facts_.sampleRate;
    return piece.end / 10.0;
}

int64_t CPageSplitter::EndMs(int row) const {
    const PieceEntry& piece = pieces_[static_cast<size_t>(row)];
    if (piece.endSample >= 0 && facts_.sampleRate > 0) return piece.endSample * kMsPerSecond / facts_.sampleRate;
    return int64_t{piece.end} * kMsPerTenth;
}

int CPageSplitter::SelectedRow() const {
    if (pieceList_ == nullptr) return -1;
    const QList<QTreeWidgetItem*> selected = pieceList_->selectedItems();
    return selected.isEmpty() ? -1 : pieceList_->indexOfTopLevelItem(selected.first());
}

void CPageSplitter::FillPieceRow(int row) {
    const PieceEntry& piece = pieces_[static_cast<size_t>(row)];
    QTreeWidgetItem* item = pieceList_->topLevelItem(row);
    const int length = piece.end - piece.start;
    const double share = TotalLength() > 0 ? static_cast<double>(length) / TotalLength() : 0.0;
    item->setText(kNumberColumn, QString::number(row + 1));
    // Exact places (found in the audio, dragged at a fine zoom, nudged) to the millisecond.
    const bool exactStart = row > 0 && pieces_[static_cast<size_t>(row) - 1].endSample >= 0;
    const bool exactEnd = piece.endSample >= 0;
    const int64_t startMs = row > 0 ? EndMs(row - 1) : int64_t{piece.start} * kMsPerTenth;
    item->setText(kStartColumn, exactStart ? PositionMs(startMs) : Position(piece.start));
    item->setText(kEndColumn, exactEnd ? PositionMs(EndMs(row)) : Position(piece.end));
    item->setText(kLengthColumn,
                  exactStart || exactEnd ? PositionMs(EndMs(row) - startMs) : Position(length));
    item->setText(kSizeColumn, Utf8(FormatSize(static_cast<int64_t>(share * static_cast<double>(facts_.fileSize)))));
    item->setText(kOutputColumn, Utf8(piece.output));
    item->setCheckState(kNumberColumn, piece.checked ? Qt::Checked : Qt::Unchecked);
}

namespace {

// The rows as an edit changes them: places, checks and own ends and tags, not the outputs a
// cut wrote.
bool SameEdits(const std::vector<PieceEntry>& a, const std::vector<PieceEntry>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const PieceEntry& x, const PieceEntry& y) {
        return x.start == y.start && x.end == y.end && x.checked == y.checked && x.endSample == y.endSample &&
               x.tags.has_value() == y.tags.has_value() && (!x.tags || x.tags->title == y.tags->title);
    });
}

}  // namespace

void CPageSplitter::NoteEdit() {
    if (!restoring_ && !lastShown_.empty() && !SameEdits(lastShown_, pieces_)) {
        undo_.push_back(lastShown_);
        redo_.clear();
    }
    lastShown_ = pieces_;
}

void CPageSplitter::ForgetEdits() {
    undo_.clear();
    redo_.clear();
    lastShown_ = pieces_;
}

void CPageSplitter::StepEdits(std::vector<std::vector<PieceEntry>>& from, std::vector<std::vector<PieceEntry>>& to) {
    if (from.empty() || sourcePath_.isEmpty()) return;
    if (playState_ != PlayState::Stopped) OnStop();
    to.push_back(pieces_);
    pieces_ = std::move(from.back());
    cueTracks_ = false;
    from.pop_back();
    restoring_ = true;
    RefreshPieceList(std::min(SelectedRow(), static_cast<int>(pieces_.size()) - 1));
    restoring_ = false;
    lastShown_ = pieces_;
}

void CPageSplitter::RefreshPieceList(int select) {
    if (pieceList_ == nullptr) return;
    NoteEdit();
    filling_ = true;
    const int rows = static_cast<int>(pieces_.size());
    while (pieceList_->topLevelItemCount() > rows) delete pieceList_->takeTopLevelItem(pieceList_->topLevelItemCount() - 1);
    while (pieceList_->topLevelItemCount() < rows) {
        auto* item = new QTreeWidgetItem(pieceList_);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        for (int c = kStartColumn; c <= kSizeColumn; ++c) item->setTextAlignment(c, Qt::AlignRight | Qt::AlignVCenter);
    }
    for (int row = 0; row < rows; ++row) FillPieceRow(row);
    pieceList_->clearSelection();
    if (select >= 0 && select < rows) {
        QTreeWidgetItem* item = pieceList_->topLevelItem(select);
        pieceList_->setCurrentItem(item);
        item->setSelected(true);
        pieceList_->scrollToItem(item);
    }
    filling_ = false;
    OnSelectionChanged();
}

void CPageSplitter::ShowSelectedRange() {
    const int row = SelectedRow();
    if (row < 0) return;
    const PieceEntry& piece = pieces_[static_cast<size_t>(row)];
    positionSlider_->SetSelection(piece.start, piece.end);
    waveStrip_->SetSelection(piece.start, piece.end);
}

void CPageSplitter::ShowPiecesOnStrip() {
    if (waveStrip_ == nullptr) return;
    // The pieces are the custom mode's; the other modes cut by their own rule.
    const bool custom = !sourcePath_.isEmpty() && Settings().cutType == kByCustom;
    std::vector<CWaveformStrip::Band> bands;
    if (custom) {
        const int last = static_cast<int>(pieces_.size()) - 1;
        for (int row = 0; row <= last; ++row) {
            const PieceEntry& piece = pieces_[static_cast<size_t>(row)];
            bands.push_back({row > 0 ? EndSeconds(row - 1) : piece.start / 10.0,
                             row < last ? EndSeconds(row) : piece.end / 10.0});
        }
    }
    waveStrip_->SetPieces(std::move(bands), custom ? SelectedRow() : -1, custom, MarkedBoundary());
}

void CPageSplitter::OnSelectionChanged() {
    if (filling_) return;
    UpdatePieceButtons();
    ShowSelectedRange();
    ShowPiecesOnStrip();
}

void CPageSplitter::OnPieceItemChanged(QTreeWidgetItem* item) {
    if (filling_) return;
    const int row = pieceList_->indexOfTopLevelItem(item);
    if (row < 0 || row >= static_cast<int>(pieces_.size())) return;
    pieces_[static_cast<size_t>(row)].checked = item->checkState(kNumberColumn) == Qt::Checked;
    NoteEdit();
}

void CPageSplitter::OnAddPiece() {
    if (sourcePath_.isEmpty()) return;
    const int p = positionSlider_->value();
    const int added = SplitPieceAt(pieces_, p);
    if (added >= 0) cueTracks_ = false;
    if (added < 0) {
        ShowMessage(this, QString::fromLatin1(kPieceAdded).arg(Position(p)), QMessageBox::Warning);
        return;
    }
    RefreshPieceList(added);
}

void CPageSplitter::OnSetEnd() {
    const int row = SelectedRow();
    if (row >= 0) SetEndAt(row, positionSlider_->value());
    positionSlider_->setFocus();
}

void CPageSplitter::SetEndAt(int row, int p) {
    const PieceEditResult result = SetPieceEnd(pieces_, row, p);
    if (result.status == PieceEdit::EndNotAfterStart)
        ShowMessage(this, QString::fromLatin1(kEndBeforeStart), QMessageBox::Warning);
    else if (result.status == PieceEdit::Changed)
        RefreshPieceList(result.selected);
}

void CPageSplitter::OnBoundaryMoved(int row, double seconds, bool exact) {
    if (sourcePath_.isEmpty() || Settings().cutType != kByCustom || row < 0 ||
        row >= static_cast<int>(pieces_.size()))
        return;
    if (SelectedRow() != row) {
        QTreeWidgetItem* item = pieceList_->topLevelItem(row);
        pieceList_->setCurrentItem(item);
        item->setSelected(true);
    }
    markedBoundary_ = row;
    if (!exact || facts_.sampleRate <= 0) {
        SetEndAt(row, static_cast<int>(std::lround(seconds * 10)));
        return;
    }
    const int64_t sample = std::llround(seconds * facts_.sampleRate);
    const PieceEditResult result = SetPieceEndSample(pieces_, row, sample, facts_.sampleRate);
    if (result.status == PieceEdit::EndNotAfterStart)
        ShowMessage(this, QString::fromLatin1(kEndBeforeStart), QMessageBox::Warning);
    else if (result.status == PieceEdit::Changed)
        RefreshPieceList(result.selected);
}

int CPageSplitter::MarkedBoundary() const {
    const int row = SelectedRow();
    if (sourcePath_.isEmpty() || Settings().cutType != kByCustom || row < 0 || positionSlider_ == nullptr) return -1;
    const bool before = row > 0;
    const bool after = row + 1 < static_cast<int>(pieces_.size());
    if ((before && markedBoundary_ == row - 1) || (after && markedBoundary_ == row)) return markedBoundary_;
    if (!before || !after) return before ? row - 1 : after ? row : -1;
    const double position = positionSlider_->value() / 10.0;
    return std::abs(EndSeconds(row - 1) - position) <= std::abs(EndSeconds(row) - position) ? row - 1 : row;
}

void CPageSplitter::OnNudge(int direction, bool bySecond) {
    const int boundary = MarkedBoundary();
    if (boundary < 0 || facts_.sampleRate <= 0) return;
    const int64_t step = bySecond ? facts_.sampleRate : FrameSamples(facts_);
    const int64_t to = PieceEndSample(pieces_[static_cast<size_t>(boundary)], facts_.sampleRate) + direction * step;
    if (MoveBoundaryToSample(pieces_, boundary, to, facts_.sampleRate).status != PieceEdit::Changed) return;
    markedBoundary_ = boundary;
    RefreshPieceList(SelectedRow());
    waveStrip_->Reveal(EndSeconds(boundary));
}

void CPageSplitter::OnListenAtBoundary() {
    const int boundary = MarkedBoundary();
    if (boundary < 0) return;
    if (!soundOutput_) {
        ShowMessage(this, QString::fromLatin1(kNoSoundPreview), QMessageBox::Warning);
        return;
    }
    if (playState_ == PlayState::Playing || playState_ == PlayState::Previewing) {
        playTimer_->stop();
        player_->Pause();
    }
    const int64_t at = EndMs(boundary);
    PreviewRange(std::max<int64_t>(0, at - kListenAroundMs), std::min(at + kListenAroundMs, player_->GetLengthMs()));
}

void CPageSplitter::OnSetStart() {
    const int row = SelectedRow();
    if (row >= 0) {
        const PieceEditResult result = SetPieceStart(pieces_, row, positionSlider_->value());
        if (result.status == PieceEdit::StartNotBeforeEnd)
            ShowMessage(this, QString::fromLatin1(kStartAfterEnd), QMessageBox::Warning);
        else if (result.status == PieceEdit::Changed)
            RefreshPieceList(result.selected);
    }
    positionSlider_->setFocus();
}

void CPageSplitter::OnGoToStart() {
    const int row = SelectedRow();
    if (row < 0) return;
    ShowPosition(pieces_[static_cast<size_t>(row)].start);
    positionSlider_->setFocus();
}

void CPageSplitter::OnGoToEnd() {
    const int row = SelectedRow();
    if (row < 0) return;
    ShowPosition(pieces_[static_cast<size_t>(row)].end);
    positionSlider_->setFocus();
}

void CPageSplitter::OnRemove() {
    if (sourcePath_.isEmpty()) return;
    if (pieces_.size() == 1) {
        if (ShowMessage(this, QString::fromLatin1(kCloseFile), QMessageBox::Question,
                        QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes)
            CloseSourceFile();
        return;
    }
    const int neighbour = RemovePiece(pieces_, SelectedRow());
    if (neighbour >= 0) {
        cueTracks_ = false;
        RefreshPieceList(neighbour);
    }
}

void CPageSplitter::OnReset() {
    if (pieces_.size() < 2) return;
    if (ShowMessage(this, QString::fromLatin1(kResetPieces), QMessageBox::Question,
                    QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
        return;
    ResetPieces(pieces_, TotalLength());
    cueTracks_ = false;
    RefreshPieceList(0);
}

void CPageSplitter::OnBrowse() {
    const int row = SelectedRow();
    if (row < 0 || pieces_[static_cast<size_t>(row)].path.empty()) return;
    ShowInFolder(Utf8(pieces_[static_cast<size_t>(row)].path));
}

void CPageSplitter::OnPieceMenu(const QPoint& globalAt) {
    const bool custom = Settings().cutType == kByCustom && !sourcePath_.isEmpty();
    const int row = SelectedRow();
    const QList<QAction*> actions = pieceMenu_->actions();
    actions[0]->setEnabled(custom && row >= 0);
    actions[1]->setEnabled(custom && row >= 0);
    actions[2]->setEnabled(custom);
    actions[3]->setEnabled(custom && row >= 0 && !pieces_[static_cast<size_t>(row)].path.empty());
    actions[4]->setEnabled(custom);  // the separator
    actions[5]->setEnabled(custom);
    actions[6]->setEnabled(custom);
    actions[7]->setEnabled(custom && hasChapters_);
    pieceMenu_->popup(globalAt);
}

// ---- Pieces found in the audio ----

void CPageSplitter::ReplacePieces(std::vector<PieceEntry> rows) {
    if (playState_ != PlayState::Stopped) OnStop();
    pieces_ = std::move(rows);
    cueTracks_ = false;
    RefreshPieceList(0);
}

void CPageSplitter::OnAddSilences() {
    if (sourcePath_.isEmpty() || Settings().cutType != kByCustom) return;
    QWidget* mainWindow = window();
    mainWindow->setEnabled(false);
    auto* dialog = new CProgressDialog;
    dialog->setObjectName(QStringLiteral("silenceProgress"));
    dialog->SetText(QString::fromLatin1(kSearchingSilences).arg(QFileInfo(sourcePath_).fileName()));
    dialog->show();
    ProcessPendingEvents();

    CProgressAdapter adapter(dialog);
    std::vector<PieceEntry> rows;
    const SilenceOptions options{static_cast<double>(Settings().silenceDb), Settings().silenceTenths / 10.0};
    const Outcome outcome = FindSilencePieces(sourcePath_.toStdString(), options, &adapter, TotalLength(), rows);
    dialog->PostClose();
    mainWindow->setEnabled(true);
    mainWindow->activateWindow();  // the keyboard goes back to the window, not to where the progress was
    if (outcome.cancelled()) return;
    if (outcome.failed()) {
        ShowMessage(this, Utf8(outcome.message), QMessageBox::Warning);
        return;
    }
    ReplacePieces(std::move(rows));
}

void CPageSplitter::OnLoadCueSheet() {
    if (sourcePath_.isEmpty() || Settings().cutType != kByCustom) return;
    QStringList files;
    if (!ShowFileDialog(this, QString::fromLatin1(kCueFilter), FileDialogMode::Open, QString(), &files)) return;
    if (files.isEmpty()) return;
    CuePieces cue;
    const Outcome outcome = LoadCuePieces(files.front().toStdString(), sourcePath_.toStdString(), cue);
    if (!outcome.done()) {
        ShowMessage(this, Utf8(outcome.message), QMessageBox::Warning);
        return;
    }
    ReplacePieces(std::move(cue.rows));
    cueTracks_ = true;
}

// The rows of the file's chapters, numbered and tagged as a CUE sheet's tracks are.
void CPageSplitter::OnAddChapters() {
    if (sourcePath_.isEmpty() || Settings().cutType != kByCustom) return;
    std::vector<PieceEntry> rows;
    const Outcome outcome = LoadChapterPieces(sourcePath_.toStdString(), rows);
    if (!outcome.done()) {
        ShowMessage(this, Utf8(outcome.message), QMessageBox::Warning);
        return;
    }
    ReplacePieces(std::move(rows));
    cueTracks_ = true;
}

// ---- Cut Now ----

void CPageSplitter::OnCutNow() {
    if (sourcePath_.isEmpty()) return;
    // A file replaced or rewritten since it was opened is never cut by its old facts.
    if (!StillAsRead(sourcePath_.toStdString(), facts_)) {
        const QString path = sourcePath_;
        QString failure;
        if (OpenSourceFile(path, &failure)) {
            ShowMessage(this, QString::fromLatin1(kSourceChanged).arg(path), QMessageBox::Information);
        } else {
            ShowMessage(this, failure, QMessageBox::Warning);
        }
        return;
    }
    QWidget* mainWindow = window();
    mainWindow->setEnabled(false);
    auto* dialog = new CProgressDialog;
    dialog->setObjectName(QStringLiteral("cutProgress"));
    dialog->SetText(QString::fromLatin1(kCutting).arg(QFileInfo(sourcePath_).fileName()));
    dialog->show();
    ProcessPendingEvents();

    ReadCutValues(false);
    const CutterPageSettings& s = Settings();
    CutRequest request;
    request.rule = CCutRuleControls::MakeRule(s);
    const bool custom = s.cutType == kByCustom;
    if (custom) {
        request.rule.kind = CutRule::Kind::Pieces;
        request.rule.pieces = pieces_;
        request.rule.tracks = cueTracks_;
    }
    const CutterPageOptions options = options_ != nullptr ? *options_ : CutterPageOptions{};
    request.options = options;
    request.sources.push_back({sourcePath_.toStdString(), facts_});
    request.batch = false;
    CProgressAdapter adapter(dialog);
    CPiecesHeard heard;
    const Outcome outcome = RunCut(request, &adapter, &heard);
    outputs_ = std::move(heard.pieces);
    dialog->PostClose();
    mainWindow->setEnabled(true);
    mainWindow->activateWindow();  // the keyboard goes back to the window, not to where the progress was
    if (custom) {
        // The rows come back with the outputs of the pieces written.
        pieces_ = std::move(request.rule.pieces);
        RefreshPieceList(SelectedRow());
    }

    // What was written, on the page and, when the window is in the background, on the desktop.
    QString said;
    if (outcome.done() && !outputs_.empty()) {
        said = PiecesWrittenText(outputs_.size(), Utf8(outputs_.front()));
        report_->ShowDone(said, Utf8(outputs_.front()));
    } else {
        said = outcome.failed() ? QStringLiteral("The cut failed: %1").arg(Utf8(outcome.message))
                                : outcome.cancelled() ? QStringLiteral("The cut was cancelled; nothing was written.")
                                                      : QStringLiteral("Nothing was written.");
        report_->ShowFailed(said);
    }
    NotifyDesktop(window(), QStringLiteral("Corvane"), said);
    if (outcome.done()) {
        if (options.browseFolder && !outputs_.empty()) ShowInFolder(Utf8(outputs_.front()));
    } else if (outcome.failed()) {
        ShowMessage(this, Utf8(outcome.message), QMessageBox::Warning);
    }
}

// ---- Playback ----

void CPageSplitter::ShowPosition(int tenths) {
    positionSlider_->setValue(tenths);
    timeBox_->setText(Position(tenths));
}

void CPageSplitter::EnterPlaying(PlayState state) {
    playButton_->setText(QString::fromLatin1(kPauseLabel));
    playTimer_->start();
    playState_ = state;
}

void CPageSplitter::PreviewSelectedPiece() {
    const int row = SelectedRow();
    if (row < 0) return;
    PreviewRange(int64_t{pieces_[static_cast<size_t>(row)].start} * kMsPerTenth,
                 int64_t{pieces_[static_cast<size_t>(row)].end} * kMsPerTenth);
}

bool CPageSplitter::PreviewRange(int64_t startMs, int64_t endMs) {
    previewStart_ = static_cast<int>(startMs / kMsPerTenth);
    previewEnd_ = static_cast<int>((endMs + kMsPerTenth - 1) / kMsPerTenth);
    ShowPosition(previewStart_);
    playOrigin_ = previewStart_;
    playedRange_ = {startMs, endMs};
    if (!Sounding(player_->PlayRange(startMs, endMs), kNoSoundPreview)) return false;
    previewButton_->setText(QString::fromLatin1(kPreviewStopLabel));
    EnterPlaying(PlayState::Previewing);
    return true;
}

bool CPageSplitter::Sounding(bool started, const char* noSound) {
    if (started) return true;
    // The output device opens on the first play: when it cannot, there is no sound from now on.
    soundOutput_ = false;
    ShowMessage(this, QString::fromLatin1(noSound), QMessageBox::Warning);
    return false;
}

void CPageSplitter::OnPlay() {
    if (!soundOutput_) {
        ShowMessage(this, QString::fromLatin1(kNoSoundPlay), QMessageBox::Warning);
        return;
    }
    if (sourcePath_.isEmpty()) return;
    const int p = positionSlider_->value();
    switch (playState_) {
        case PlayState::Stopped:
            playOrigin_ = p;
            player_->Seek(int64_t{p} * 100);
            if (!Sounding(player_->Play(), kNoSoundPlay)) return;
            EnterPlaying(PlayState::Playing);
            break;
        case PlayState::Playing:
        case PlayState::Previewing:
            playTimer_->stop();
            player_->Pause();
            pausePosition_ = static_cast<int>(player_->GetPositionMs() / 100);
            ShowPosition(pausePosition_);
            playButton_->setText(QString::fromLatin1(kPlayLabel));
            playState_ = playState_ == PlayState::Playing ? PlayState::Paused : PlayState::PreviewPaused;
            break;
        case PlayState::Paused:
            playOrigin_ = p;
            if (p == pausePosition_) {
                if (!Sounding(player_->Resume(), kNoSoundPlay)) return;
            } else {
                player_->Seek(int64_t{p} * 100);
                if (!Sounding(player_->Play(), kNoSoundPlay)) return;
            }
            EnterPlaying(PlayState::Playing);
            break;
        case PlayState::PreviewPaused:
            if (p == pausePosition_) {
                if (!Sounding(player_->Resume(), kNoSoundPlay)) return;
                EnterPlaying(PlayState::Previewing);
            } else if (p < previewStart_ || p > previewEnd_) {
                previewButton_->setText(QString::fromLatin1(kPreviewLabel));
                player_->Seek(int64_t{p} * 100);
                if (!Sounding(player_->Play(), kNoSoundPlay)) return;
                EnterPlaying(PlayState::Playing);
            } else {
                if (!Sounding(player_->PlayRange(int64_t{p} * 100, int64_t{previewEnd_} * 100), kNoSoundPlay)) return;
                EnterPlaying(PlayState::Previewing);
            }
            break;
    }
}

void CPageSplitter::OnPreview() {
    if (!soundOutput_) {
        ShowMessage(this, QString::fromLatin1(kNoSoundPreview), QMessageBox::Warning);
        return;
    }
    if (sourcePath_.isEmpty()) return;
    switch (playState_) {
        case PlayState::Stopped:
        case PlayState::Paused: PreviewSelectedPiece(); break;
        case PlayState::Playing:
            playTimer_->stop();
            player_->Pause();
            PreviewSelectedPiece();
            break;
        case PlayState::Previewing:
        case PlayState::PreviewPaused: OnStop(); break;
    }
}

void CPageSplitter::OnStop() {
    if (!soundOutput_ || playButton_ == nullptr) {
        playState_ = PlayState::Stopped;
        return;
    }
    switch (playState_) {
        case PlayState::Stopped: return;
        case PlayState::Playing:
            playTimer_->stop();
            player_->Pause();
            [[fallthrough]];
        case PlayState::Paused:
            ShowPosition(playOrigin_);
            break;
        case PlayState::Previewing:
            playTimer_->stop();
            player_->Pause();
            [[fallthrough]];
        case PlayState::PreviewPaused:
            ShowPosition(previewStart_);
            previewButton_->setText(QString::fromLatin1(kPreviewLabel));
            break;
    }
    playButton_->setText(QString::fromLatin1(kPlayLabel));
    playState_ = PlayState::Stopped;
}

void CPageSplitter::OnTimerTick() {
    if (dragging_) return;
    ShowPosition(static_cast<int>(player_->GetPositionMs() / 100));
}

void CPageSplitter::OnSliderValue(int value) {
    timeBox_->setText(Position(value));
    // Which of the selected piece's boundaries is nearer may have changed.
    if (SelectedRow() >= 0) ShowPiecesOnStrip();
}

void CPageSplitter::OnSliderAction(int action) {
    // A drag ends with the thumb's release; a key or a click on the groove moves the slider
    // in one step, which ends its tracking at once, after the slider has taken the new value.
    dragging_ = true;
    if (action != QAbstractSlider::SliderMove && !positionSlider_->isSliderDown())
        QTimer::singleShot(0, this, &CPageSplitter::OnSliderReleased);
}

void CPageSplitter::OnSliderReleased() {
    const int p = positionSlider_->value();
    if (soundOutput_ && !sourcePath_.isEmpty()) {
        if (playState_ == PlayState::Playing) {
            player_->Seek(int64_t{p} * 100);
            player_->Play();
        } else if (playState_ == PlayState::Previewing) {
            if (p >= previewStart_ && p <= previewEnd_) {
                player_->PlayRange(int64_t{p} * 100, int64_t{previewEnd_} * 100);
            } else {
                previewButton_->setText(QString::fromLatin1(kPreviewLabel));
                playState_ = PlayState::Playing;
                player_->Seek(int64_t{p} * 100);
                player_->Play();
            }
        }
    }
    dragging_ = false;
}

void CPageSplitter::StepTimeBox(int direction) {
    if (sourcePath_.isEmpty() || playState_ == PlayState::Playing || playState_ == PlayState::Previewing) return;
    ShowPosition(std::clamp(positionSlider_->value() + direction * kTimeStep, 0, TotalLength()));
}

void CPageSplitter::OnVolume(int value) { player_->SetVolume(std::min(value * kVolumeToGain, kMaxGain)); }

}  // namespace corvane
