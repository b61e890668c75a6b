// The joiner page: an ordered list of files joined into one target.
#include "ui/pages/PageJoiner.h"


#include "engine/Join.h"
#include "ui/FileListLoader.h"
#include "ui/MessageBox.h"
#include "ui/Shell.h"
#include "ui/pages/ControlPlacer.h"
#include "ui/widgets/Id3TagDialog.h"
#include "ui/widgets/NumberEdit.h"
#include "ui/widgets/ProgressAdapter.h"
#include "ui/widgets/ProgressDialog.h"
#include "ui/widgets/SortListCtrl.h"
#include "ui/widgets/SpinButtons.h"
#include "ui/widgets/WorkReport.h"

#include <QComboBox>
#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <climits>

namespace corvane {
namespace {

constexpr char kCaption[] = "MP3 Joiner";
constexpr char kTargetFilter[] = "MP3 File (*.mp3);;All Files (*)";
constexpr char kTargetSuffix[] = "mp3";
constexpr char kJoinFailure[] = "Join failure. %1";
constexpr int kMinFilesToJoin = 2;
constexpr int kTrackChars = 3;
constexpr int kMinTrack = 1;   // the spin's range
constexpr int kMaxTrack = 255;

// The design, in dialog units.
constexpr int kButtonWidth = 60;
constexpr int kButtonX = kRight - kButtonWidth;
constexpr int kJoinHeight = 20;
constexpr int kButtonPitch = 18;
constexpr int kFirstListButtonY = kMargin + kJoinHeight + 8;
constexpr int kListRight = kButtonX - 6;

constexpr int kGroupY = 226;
constexpr int kGroupBottom = kPageDesignHeight - kMargin;
constexpr int kListBottom = kGroupY - 5;
constexpr int kTagRowY = kGroupY + 12;
constexpr int kTagPitch = 17;
constexpr int kInnerLeft = kMargin + 7;
constexpr int kLeftLabelWidth = 30;
constexpr int kLeftFieldX = kInnerLeft + kLeftLabelWidth + 2;
constexpr int kCentre = kPageDesignWidth / 2;
constexpr int kLeftFieldRight = kCentre - 6;
constexpr int kCopyWidth = 140;
constexpr int kRightLabelX = kCentre + 2;
constexpr int kRightLabelWidth = 34;
constexpr int kRightFieldX = kRightLabelX + kRightLabelWidth + 2;
constexpr int kRightFieldRight = kRight - 7;
constexpr int kTrackBoxWidth = 24;

// The track number the joiner takes from its text: the value of its leading digits, 0 when
// it does not start with a digit ("12x" gives 12).
int TrackNumberOf(const QString& text) {
    constexpr int kDecimal = 10;
    int value = 0;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9') break;
        const int digit = c.unicode() - u'0';
        value = value > (INT_MAX - digit) / kDecimal ? INT_MAX : value * kDecimal + digit;
    }
    return value;
}

}  // namespace

// Makes the page's controls at their design rectangles (dialog units) and anchors them.
struct CPageJoiner::Placer : CControlPlacer {
};

CPageJoiner::CPageJoiner(QWidget* parent)
    : CSettingsPage(QString::fromLatin1(kCaption), kTagGroup, parent) {}

CPageJoiner::~CPageJoiner() = default;

void CPageJoiner::OnInitPage() {
    Placer at{{this, Layout()}};
    MakeListControls(at);
    MakeTagControls(at);
    setAcceptDrops(true);
    ConnectControls();
    ShowTagControls();
    UpdateButtons();
}

void CPageJoiner::MakeListControls(Placer& at) {
    list_ = at.Put(new CSortListCtrl(this), "fileList", kMargin, kMargin, kListRight - kMargin,
                   kListBottom - kMargin, kTopLeft, kBottomRight);
    list_->viewport()->installEventFilter(this);
    loader_ = std::make_unique<CFileListLoader>(list_, FileListKind::Joiner, this, &Settings().folder,
                                                [this] { Settings().Save(kFolderGroup); });
    loader_->SetFirstRowFilled([this] { UpdateButtons(); });

    joinButton_ = at.Button("&Join Now!", "joinButton", kButtonX, kMargin, kButtonWidth, kJoinHeight, kTopRight);
    int y = kFirstListButtonY;
    const auto next = [&y] { return std::exchange(y, y + kButtonPitch); };
    addFilesButton_ = at.Button("&Add Files", "addFilesButton", kButtonX, next(), kButtonWidth, kButtonHeight, kTopRight);
    addFolderButton_ = at.Button("Add &Folder", "addFolderButton", kButtonX, next(), kButtonWidth, kButtonHeight, kTopRight);
    removeButton_ = at.Button("&Remove", "removeButton", kButtonX, next(), kButtonWidth, kButtonHeight, kTopRight);
    removeAllButton_ = at.Button("Remove A&ll", "removeAllButton", kButtonX, next(), kButtonWidth, kButtonHeight, kTopRight);
    upButton_ = at.Button("&Up", "upButton", kButtonX, next(), kButtonWidth, kButtonHeight, kTopRight);
    downButton_ = at.Button("&Down", "downButton", kButtonX, next(), kButtonWidth, kButtonHeight, kTopRight);
    report_ = at.Put(new CWorkReport(this), "workReport", kButtonX, y, kButtonWidth, kListBottom - y, kTopRight,
                     kBottomRight);
    report_->setWordWrap(true);
    report_->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    listMenu_ = new QMenu(this);
    listMenu_->setObjectName(QStringLiteral("listMenu"));
    const auto item = [this](const char* text, const char* name, void (CPageJoiner::*slot)()) {
        QAction* action = listMenu_->addAction(QString::fromLatin1(text));
        action->setObjectName(QString::fromLatin1(name));
        connect(action, &QAction::triggered, this, slot);
    };
    item("&Play", "playItem", &CPageJoiner::OnPlay);
    item("&Browse", "browseItem", &CPageJoiner::OnBrowse);
    listMenu_->addSeparator();
    item("&Remove", "removeItem", &CPageJoiner::OnRemove);
    item("Remo&ve All", "removeAllItem", &CPageJoiner::OnRemoveAll);
    listMenu_->addSeparator();
    item("&Up", "upItem", &CPageJoiner::OnUp);
    item("&Down", "downItem", &CPageJoiner::OnDown);
    listMenu_->addSeparator();
    item("Copy &ID3 tag", "copyTagItem", &CPageJoiner::OnCopyTag);
    listMenu_->addSeparator();
    item("&Add Files...", "addFilesItem", &CPageJoiner::OnAddFiles);
    item("Add &Folder...", "addFolderItem", &CPageJoiner::OnAddFolder);
}

void CPageJoiner::MakeTagControls(Placer& at) {
    at.Put(new QGroupBox(QStringLiteral("ID3 tag of Target MP3 File"), this), "tagGroup", kMargin, kGroupY,
           kRight - kMargin, kGroupBottom - kGroupY, kBottomLeft, kBottomRight);

    int y = kTagRowY;
    copyButton_ = at.Button("&Copy ID3 tag From Selected MP3 File", "copyButton", kInnerLeft, y - 1, kCopyWidth,
                            kButtonHeight, kBottomLeft);
    trackBox_ = at.Put(new CNumberEdit(this), "trackBox", kRightFieldX, y, kTrackBoxWidth, kRowHeight,
                       kBottomCentre);
    trackBox_->SetAllowMinus(false);
    trackBox_->SetAllowDecimalPoint(false);
    trackBox_->setMaxLength(kTrackChars);
    trackBox_->installEventFilter(this);
    auto* spin = at.Put(new CSpinButtons(this), "trackSpin", kRightFieldX + kTrackBoxWidth, y, kSpinWidth,
                        kRowHeight, kBottomCentre);
    connect(spin->Up(), &QToolButton::clicked, this, [this] { StepTrack(+1); });
    connect(spin->Down(), &QToolButton::clicked, this, [this] { StepTrack(-1); });
    trackSpin_ = spin;
    at.Label("Trac&k #:", trackBox_, kRightLabelX, y, kRightLabelWidth, kBottomCentre);

    const auto leftEdit = [&](const char* label, const char* name, int row) {
        auto* box = at.Put(new QLineEdit(this), name, kLeftFieldX, row, kLeftFieldRight - kLeftFieldX, kRowHeight,
                           kBottomLeft, kBottomCentre);
        at.Label(label, box, kInnerLeft, row, kLeftLabelWidth, kBottomLeft);
        return box;
    };
    const auto rightPlace = [&](QWidget* control, const char* label, const char* name, int row) {
        at.Put(control, name, kRightFieldX, row, kRightFieldRight - kRightFieldX, kRowHeight, kBottomCentre,
               kBottomRight);
        at.Label(label, control, kRightLabelX, row, kRightLabelWidth, kBottomCentre);
    };

    y += kTagPitch;
    titleBox_ = leftEdit("&Title:", "titleBox", y);
    yearBox_ = new CNumberEdit(this);
    yearBox_->SetAllowMinus(false);
    yearBox_->SetAllowDecimalPoint(false);
    rightPlace(yearBox_, "&Year:", "yearBox", y);

    y += kTagPitch;
    artistBox_ = leftEdit("Arti&st:", "artistBox", y);
    genreList_ = new QComboBox(this);
    FillGenreList(genreList_);
    rightPlace(genreList_, "&Genre:", "genreList", y);

    y += kTagPitch;
    albumBox_ = leftEdit("Albu&m:", "albumBox", y);
    commentBox_ = new QLineEdit(this);
    rightPlace(commentBox_, "C&omment:", "commentBox", y);
}

void CPageJoiner::ConnectControls() {
    connect(joinButton_, &QPushButton::clicked, this, &CPageJoiner::OnJoinNow);
    connect(addFilesButton_, &QPushButton::clicked, this, &CPageJoiner::OnAddFiles);
    connect(addFolderButton_, &QPushButton::clicked, this, &CPageJoiner::OnAddFolder);
    connect(removeButton_, &QPushButton::clicked, this, &CPageJoiner::OnRemove);
    connect(removeAllButton_, &QPushButton::clicked, this, &CPageJoiner::OnRemoveAll);
    connect(upButton_, &QPushButton::clicked, this, &CPageJoiner::OnUp);
    connect(downButton_, &QPushButton::clicked, this, &CPageJoiner::OnDown);
    connect(copyButton_, &QPushButton::clicked, this, &CPageJoiner::OnCopyTag);
    connect(list_, &QTreeWidget::itemSelectionChanged, this, &CPageJoiner::UpdateButtons);
    connect(list_, &QTreeWidget::itemDoubleClicked, this, [this] { OnPlay(); });
}

void CPageJoiner::OnDestroyPage() {
    ReadTagControls();
    if (loader_) loader_->RemoveAll();
    CSettingsPage::OnDestroyPage();
}

// ---- Controls and settings ----

void CPageJoiner::ShowTagControls() {
    const JoinerPageSettings& s = Settings();
    titleBox_->setText(Utf8(s.id3Title));
    artistBox_->setText(Utf8(s.id3Artist));
    albumBox_->setText(Utf8(s.id3Album));
    trackBox_->setText(Utf8(s.id3TrackNo).left(kTrackChars));
    yearBox_->setText(Utf8(s.id3Year));
    genreList_->setCurrentIndex(-1);
    genreList_->setEditText(Utf8(s.id3GenreEx));
    commentBox_->setText(Utf8(s.id3Comment));
}

void CPageJoiner::ReadTagControls() {
    if (!IsInitialised()) return;
    JoinerPageSettings& s = Settings();
    s.id3Title = titleBox_->text().toStdString();
    s.id3Artist = artistBox_->text().toStdString();
    s.id3Album = albumBox_->text().toStdString();
    s.id3TrackNo = trackBox_->text().toStdString();
    s.id3Year = yearBox_->text().toStdString();
    s.id3GenreEx = genreList_->currentText().toStdString();
    s.id3Comment = commentBox_->text().toStdString();
}

void CPageJoiner::StepTrack(int direction) {
    const int value = TrackNumberOf(trackBox_->text());
    trackBox_->setText(QString::number(std::clamp(value + direction, kMinTrack, kMaxTrack)));
}

void CPageJoiner::UpdateButtons() {
    if (!IsInitialised()) return;
    const bool selected = !list_->selectedItems().isEmpty();
    const bool rows = list_->RowCount() > 0;
    removeButton_->setEnabled(selected);
    upButton_->setEnabled(selected);
    downButton_->setEnabled(selected);
    copyButton_->setEnabled(selected);
    removeAllButton_->setEnabled(rows);
    joinButton_->setEnabled(rows);
}

bool CPageJoiner::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ContextMenu && list_ != nullptr && watched == list_->viewport()) {
        // At the pointer; from the keyboard at the list's centre.
        const auto* menuEvent = static_cast<QContextMenuEvent*>(event);
        OnListMenu(menuEvent->reason() == QContextMenuEvent::Keyboard ? list_->mapToGlobal(list_->rect().center())
                                                                      : menuEvent->globalPos());
        return true;
    }
    if (event->type() == QEvent::KeyPress && watched == trackBox_) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            StepTrack(key == Qt::Key_Up ? +1 : -1);
            return true;
        }
    }
    return CSettingsPage::eventFilter(watched, event);
}

// ---- Adding and removing ----

void CPageJoiner::AddPaths(const QStringList& paths) {
    EnsureInitialised();
    loader_->DropFiles(paths);
    UpdateButtons();
}

void CPageJoiner::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void CPageJoiner::dropEvent(QDropEvent* event) {
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile()) paths.append(url.toLocalFile());
    event->acceptProposedAction();
    // The drop ends at once for the file manager; the files load after it.
    if (!paths.isEmpty()) QTimer::singleShot(0, this, [this, paths] { AddPaths(paths); });
}

void CPageJoiner::OnAddFiles() {
    loader_->AddFiles();
    UpdateButtons();
}

void CPageJoiner::OnAddFolder() {
    loader_->AddFolder();
    UpdateButtons();
}

std::vector<int> CPageJoiner::SelectedRows() const { return list_->SelectedRows(); }

void CPageJoiner::OnRemove() {
    const std::vector<int> rows = SelectedRows();
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) loader_->RemoveRow(*it);
    list_->clearSelection();
    UpdateButtons();
}

void CPageJoiner::OnRemoveAll() {
    loader_->RemoveAll();
    UpdateButtons();
}

// ---- Moving rows ----

void CPageJoiner::OnUp() {
    list_->MoveSelectedRows(-1);
    list_->setFocus();
}

void CPageJoiner::OnDown() {
    list_->MoveSelectedRows(1);
    list_->setFocus();
}

// ---- Tag, play, browse, menu ----

void CPageJoiner::OnCopyTag() {
    const std::vector<int> rows = SelectedRows();
    if (rows.empty()) return;
    WithWaitCursor([&] {
        const int row = rows.front();
        const auto cell = [&](ColumnRole role) { return list_->Cell(row, loader_->ColumnOf(role)); };
        JoinerPageSettings& s = Settings();
        s.id3TrackNo = cell(ColumnRole::Track).toStdString();
        s.id3Title = cell(ColumnRole::Title).toStdString();
        s.id3Artist = cell(ColumnRole::Artist).toStdString();
        s.id3Album = cell(ColumnRole::Album).toStdString();
        s.id3Year = cell(ColumnRole::Year).toStdString();
        s.id3GenreEx = cell(ColumnRole::Genre).toStdString();
        s.id3Comment = cell(ColumnRole::Comment).toStdString();
        ShowTagControls();
    });
}

void CPageJoiner::OnPlay() {
    const std::vector<int> rows = SelectedRows();
    if (rows.empty()) return;
    const FileEntry* record = list_->Record(rows.front());
    if (record == nullptr) return;
    WithWaitCursor([&] { OpenDocument(Utf8(record->path)); });
}

void CPageJoiner::OnBrowse() {
    const std::vector<int> rows = SelectedRows();
    if (rows.empty()) return;
    const FileEntry* record = list_->Record(rows.front());
    if (record != nullptr && !record->path.empty()) ShowInFolder(Utf8(record->path));
}

void CPageJoiner::OnListMenu(const QPoint& globalAt) {
    const size_t selected = SelectedRows().size();
    const bool one = selected == 1;
    const bool some = selected > 0;
    const bool rows = list_->RowCount() > 0;
    const auto enable = [this](const char* name, bool on) {
        if (auto* action = listMenu_->findChild<QAction*>(QString::fromLatin1(name))) action->setEnabled(on);
    };
    enable("playItem", one);
    enable("browseItem", one);
    enable("removeItem", some);
    enable("removeAllItem", rows);
    enable("upItem", some);
    enable("downItem", some);
    enable("copyTagItem", one);
    listMenu_->popup(globalAt);
}

// ---- Join Now ----

void CPageJoiner::OnJoinNow() {
    if (list_->RowCount() < kMinFilesToJoin) return;

    QStringList chosen;
    if (!ShowFileDialog(this, QString::fromLatin1(kTargetFilter), FileDialogMode::Save,
                        QString::fromLatin1(kTargetSuffix), &chosen) ||
        chosen.isEmpty())
        return;
    JoinRequest request;
    request.target = chosen.front().toStdString();
    for (int row = 0; row < list_->RowCount(); ++row) {
        if (const FileEntry* record = list_->Record(row)) request.inputs.push_back(record->path);
    }

    QWidget* mainWindow = window();
    mainWindow->setEnabled(false);
    auto* dialog = new CProgressDialog;
    dialog->setObjectName(QStringLiteral("joinProgress"));
    dialog->show();
    ProcessPendingEvents();

    ReadTagControls();
    const JoinerPageSettings& s = Settings();
    request.tag.title = s.id3Title;
    request.tag.artist = s.id3Artist;
    request.tag.album = s.id3Album;
    request.tag.year = s.id3Year;
    request.tag.comment = s.id3Comment;
    request.tag.genre = s.id3GenreEx;
    request.tag.track = TrackNumberOf(Utf8(s.id3TrackNo));

    const JoinerPageOptions options = options_ != nullptr ? *options_ : JoinerPageOptions{};
    request.options = options;
    Outcome outcome;
    {
        CProgressAdapter adapter(dialog);
        outcome = JoinFiles(request, &adapter);
    }
    dialog->PostClose();
    mainWindow->setEnabled(true);
    mainWindow->activateWindow();  // the keyboard goes back to the window, not to where the progress was

    // What was written, on the page and, when the window is in the background, on the desktop.
    const QString said = outcome.done() ? QStringLiteral("Joined into %1").arg(Utf8(request.target))
                         : outcome.failed() ? QStringLiteral("The join failed: %1").arg(Utf8(outcome.message))
                                            : QStringLiteral("The join was cancelled; nothing was written.");
    if (outcome.done()) {
        report_->ShowDone(said, Utf8(request.target));
    } else {
        report_->ShowFailed(said);
    }
    NotifyDesktop(window(), QStringLiteral("Corvane"), said);
    if (outcome.failed()) {
        if (!outcome.message.empty())
            ShowMessage(this, QString::fromLatin1(kJoinFailure).arg(Utf8(outcome.message)), QMessageBox::Warning);
        return;
    }
    if (outcome.cancelled()) return;
    lastTarget_ = request.target;
    if (options.browseFolder) ShowInFolder(Utf8(request.target));
}

}  // namespace corvane
