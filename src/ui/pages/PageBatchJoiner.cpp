// The batch joiner page: the same files joined to the start or end of many main files.
#include "ui/pages/PageBatchJoiner.h"


#include "engine/Join.h"
#include "engine/base/PathUtil.h"
#include "ui/FileListLoader.h"
#include "ui/Shell.h"
#include "ui/pages/ControlPlacer.h"
#include "ui/widgets/DualProgressDialog.h"
#include "ui/widgets/Id3TagDialog.h"
#include "ui/widgets/NumberEdit.h"
#include "ui/widgets/ProgressAdapter.h"
#include "ui/widgets/SortListCtrl.h"
#include "ui/widgets/WorkReport.h"

#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QRadioButton>

#include <algorithm>
#include <climits>
#include <functional>
#include <vector>

namespace corvane {
namespace {

constexpr char kCaption[] = "MP3 Batch Joiner";

// The "Output" cell of a main row, and the overall line, while the batch runs.
constexpr char kJoiningText[] = "Joining...";
constexpr char kJoinFailure[] = "Join failure. %1";
constexpr char kCancelledText[] = "Cancelled";
constexpr char kOverallText[] = "Joining %1 of %2 file(s)...";

// ---- Places of the controls, in dialog units ----
//
// The join type across the top with "&Join Now!" beside it; the main list under its label,
// taking what the page gains in size, with its four buttons in a column at the right; the
// joined list at the bottom, keeping its height, with its four buttons beside it.

constexpr int kButtonWidth = 58;
constexpr int kButtonPitch = 18;
constexpr int kButtonX = kRight - kButtonWidth;
constexpr int kListRight = kButtonX - 6;
constexpr int kListWidth = kListRight - kMargin;

constexpr int kGroupY = 3;
constexpr int kGroupHeight = 26;
constexpr int kRadioY = kGroupY + 12;
constexpr int kRadioHeight = 10;
constexpr int kInsertX = kMargin + 9;
constexpr int kInsertWidth = 90;
constexpr int kAppendX = kInsertX + kInsertWidth + 12;
constexpr int kAppendWidth = 80;
constexpr int kJoinY = kGroupY + 6;
constexpr int kJoinHeight = 18;

constexpr int kMainLabelY = kGroupY + kGroupHeight + 4;
constexpr int kMainLabelHeight = 17;  // two lines
constexpr int kMainListY = kMainLabelY + kMainLabelHeight + 2;
constexpr int kJoinedListHeight = 92;
constexpr int kJoinedListY = kPageDesignHeight - kMargin - kJoinedListHeight;
constexpr int kJoinedLabelY = kJoinedListY - 11;
constexpr int kMainListBottom = kJoinedLabelY - 5;
constexpr int kLabelHeight = 8;

// The track number of a "#" cell: the value of its leading digits, 0 when it does not start
// with a digit.
int TrackNumberOf(const QString& text) {
    constexpr int kDecimal = 10;
    int value = 0;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) break;
        const int digit = c.unicode() - '0';
        value = value > (INT_MAX - digit) / kDecimal ? INT_MAX : value * kDecimal + digit;
    }
    return value;
}

// The "Output" cell of a row in state; empty for a row not reached.
QString OutputText(const BatchJoinRow& row) {
    switch (row.state) {
    case JoinRowState::Waiting: return {};
    case JoinRowState::Joining: return QString::fromLatin1(kJoiningText);
    case JoinRowState::Joined: return Utf8(FileNameOf(row.targetPath));
    case JoinRowState::Failed: return QString::fromLatin1(kJoinFailure).arg(Utf8(row.failure));
    case JoinRowState::Cancelled: return QString::fromLatin1(kCancelledText);
    }
    return {};
}

// Shows the batch's progress on the dual dialog's lower line (the row being joined of all
// rows) and the rows' results in the main list.
class CBatchView : public IBatchJoinObserver {
public:
    using RowChanged = std::function<void(size_t index)>;
    CBatchView(CDualProgressDialog* dialog, const std::vector<BatchJoinRow>& rows, RowChanged rowChanged)
        : dialog_(dialog), rows_(rows), rowChanged_(std::move(rowChanged)) {}

    void OnRowChanged(size_t index) override {
        rowChanged_(index);
        if (rows_[index].state != JoinRowState::Joining || dialog_ == nullptr) return;
        const int position = static_cast<int>(index + 1);
        dialog_->SetLowerText(QString::fromLatin1(kOverallText).arg(position).arg(rows_.size()));
        dialog_->LowerBar()->setValue(position);
    }

private:
    QPointer<CDualProgressDialog> dialog_;
    const std::vector<BatchJoinRow>& rows_;
    RowChanged rowChanged_;
};

}  // namespace

CPageBatchJoiner::CPageBatchJoiner(QWidget* parent)
    : CSettingsPage(QString::fromLatin1(kCaption), kJoinTypeGroup, parent) {}

CPageBatchJoiner::~CPageBatchJoiner() = default;

// Makes the page's controls at their design rectangles (dialog units) and anchors them.
struct CPageBatchJoiner::Placer : CControlPlacer {
    QPushButton* Button(const char* text, const char* name, int y, Anchor anchor, int height = kButtonHeight) const {
        return Put(new QPushButton(QString::fromLatin1(text), page), name, kButtonX, y, kButtonWidth, height,
                   anchor);
    }
    CSortListCtrl* List(const char* name, int y, int height, Anchor topLeft, Anchor bottomRight) const {
        return Put(new CSortListCtrl(page), name, kMargin, y, kListWidth, height, topLeft, bottomRight);
    }
};

void CPageBatchJoiner::OnInitPage() {
    Placer at{{this, Layout()}};
    MakeControls(at);
    MakeMenus();
    setAcceptDrops(true);

    const auto saveFolder = [this] { Settings().Save(kFolderGroup); };
    const auto reader = [this](const std::string& path, FileEntry* entry) { return ReadRowFacts(path, entry); };
    mainLoader_ = std::make_unique<CFileListLoader>(mainList_, FileListKind::BatchJoinerMain, this,
                                                    &Settings().folder, saveFolder);
    joinedLoader_ = std::make_unique<CFileListLoader>(joinedList_, FileListKind::BatchJoinerJoined, this,
                                                      &Settings().folder, saveFolder);
    mainLoader_->SetFactsReader(reader);
    joinedLoader_->SetFactsReader(reader);
    outputColumn_ = mainLoader_->ColumnOf(ColumnRole::Output);
    trackColumn_ = mainLoader_->ColumnOf(ColumnRole::Track);

    ConnectControls();
    (Settings().joinType == JoinType::AppendToEnd ? appendRadio_ : insertRadio_)->setChecked(true);
    for (QPushButton* b : {joinButton_, removeButton_, tagButton_, removeJoinedButton_, upButton_, downButton_})
        b->setEnabled(false);
}

void CPageBatchJoiner::MakeControls(Placer& at) {
    at.Put(new QGroupBox(QStringLiteral("Join &Type:"), this), "joinTypeGroup", kMargin, kGroupY,
           kListWidth, kGroupHeight, kTopLeft, kTopRight);
    insertRadio_ = at.Put(new QRadioButton(QStringLiteral("&Insert at beginning"), this), "insertRadio", kInsertX,
                          kRadioY, kInsertWidth, kRadioHeight, kTopLeft);
    appendRadio_ = at.Put(new QRadioButton(QStringLiteral("Appe&nd to end"), this), "appendRadio", kAppendX,
                          kRadioY, kAppendWidth, kRadioHeight, kTopLeft);
    joinButton_ = at.Button("&Join Now!", "joinButton", kJoinY, kTopRight, kJoinHeight);

    auto* mainLabel = at.Put(new QLabel(QStringLiteral("&Main MP3 Files (all joined MP3 files in bottom section will "
                                                       "be joined at beginning or end of every file in the section)"),
                                        this),
                             "mainLabel", kMargin, kMainLabelY, kListWidth, kMainLabelHeight, kTopLeft);
    mainLabel->setWordWrap(true);
    mainLabel->setAlignment(Qt::AlignLeft | Qt::AlignBottom);
    mainList_ = at.List("mainList", kMainListY, kMainListBottom - kMainListY, kTopLeft, kBottomRight);
    mainLabel->setBuddy(mainList_);

    int y = kMainListY;
    addFilesButton_ = at.Button("&Add Files", "addFilesButton", y, kTopRight);
    addFolderButton_ = at.Button("Add &Folder", "addFolderButton", y += kButtonPitch, kTopRight);
    removeButton_ = at.Button("&Remove", "removeButton", y += kButtonPitch, kTopRight);
    tagButton_ = at.Button("ID3 tag", "tagButton", y += kButtonPitch, kTopRight);

    auto* joinedLabel = at.Put(new QLabel(QStringLiteral("Joined M&P3 Files"), this), "joinedLabel", kMargin,
                               kJoinedLabelY, kListWidth, kLabelHeight, kBottomLeft, kBottomRight);
    joinedList_ = at.List("joinedList", kJoinedListY, kJoinedListHeight, kBottomLeft, kBottomRight);
    joinedLabel->setBuddy(joinedList_);

    y = kJoinedListY;
    addJoinedButton_ = at.Button("Add Fil&es", "addJoinedButton", y, kBottomRight);
    removeJoinedButton_ = at.Button("Remo&ve", "removeJoinedButton", y += kButtonPitch, kBottomRight);
    upButton_ = at.Button("&Up", "upButton", y += kButtonPitch, kBottomRight);
    downButton_ = at.Button("&Down", "downButton", y += kButtonPitch, kBottomRight);

    for (CSortListCtrl* list : {mainList_, joinedList_}) list->viewport()->installEventFilter(this);
}

void CPageBatchJoiner::MakeMenus() {
    const auto item = [](QMenu* menu, const char* text, const char* name, auto slot) {
        QAction* action = menu->addAction(QString::fromLatin1(text));
        action->setObjectName(QString::fromLatin1(name));
        QObject::connect(action, &QAction::triggered, menu, slot);
        return action;
    };
    mainMenu_ = new QMenu(this);
    mainMenu_->setObjectName(QStringLiteral("mainMenu"));
    item(mainMenu_, "&Play", "mainPlay", [this] { PlaySelected(mainList_); });
    item(mainMenu_, "&Browse", "mainBrowse", [this] { BrowseSelected(mainList_); });
    item(mainMenu_, "Set &ID3 tag", "mainSetTag", [this] { OnEditTag(); });
    mainMenu_->addSeparator();
    item(mainMenu_, "Play &Outputted MP3", "mainPlayOutput", [this] { PlayOutput(); });
    item(mainMenu_, "Browse Outputted &MP3", "mainBrowseOutput", [this] { BrowseOutput(); });
    mainMenu_->addSeparator();
    item(mainMenu_, "&Remove", "mainRemove", [this] { RemoveSelected(*mainLoader_); });
    item(mainMenu_, "Remo&ve All", "mainRemoveAll", [this] { RemoveAll(*mainLoader_); });
    mainMenu_->addSeparator();
    item(mainMenu_, "&Add Files...", "mainAddFiles", [this] { OnAddMainFiles(); });
    item(mainMenu_, "Add &Folder...", "mainAddFolder", [this] { OnAddMainFolder(); });

    joinedMenu_ = new QMenu(this);
    joinedMenu_->setObjectName(QStringLiteral("joinedMenu"));
    item(joinedMenu_, "&Play", "joinedPlay", [this] { PlaySelected(joinedList_); });
    item(joinedMenu_, "&Browse", "joinedBrowse", [this] { BrowseSelected(joinedList_); });
    joinedMenu_->addSeparator();
    item(joinedMenu_, "&Up", "joinedUp", [this] { OnUp(); });
    item(joinedMenu_, "&Down", "joinedDown", [this] { OnDown(); });
    joinedMenu_->addSeparator();
    item(joinedMenu_, "&Remove", "joinedRemove", [this] { RemoveSelected(*joinedLoader_); });
    item(joinedMenu_, "Remo&ve All", "joinedRemoveAll", [this] { RemoveAll(*joinedLoader_); });
    joinedMenu_->addSeparator();
    item(joinedMenu_, "&Add Files...", "joinedAddFiles", [this] { OnAddJoinedFiles(); });
}

void CPageBatchJoiner::ConnectControls() {
    connect(joinButton_, &QPushButton::clicked, this, &CPageBatchJoiner::OnJoinNow);
    connect(addFilesButton_, &QPushButton::clicked, this, &CPageBatchJoiner::OnAddMainFiles);
    connect(addFolderButton_, &QPushButton::clicked, this, &CPageBatchJoiner::OnAddMainFolder);
    connect(removeButton_, &QPushButton::clicked, this, [this] { RemoveSelected(*mainLoader_); });
    connect(tagButton_, &QPushButton::clicked, this, &CPageBatchJoiner::OnEditTag);
    connect(addJoinedButton_, &QPushButton::clicked, this, &CPageBatchJoiner::OnAddJoinedFiles);
    connect(removeJoinedButton_, &QPushButton::clicked, this, [this] { RemoveSelected(*joinedLoader_); });
    connect(upButton_, &QPushButton::clicked, this, &CPageBatchJoiner::OnUp);
    connect(downButton_, &QPushButton::clicked, this, &CPageBatchJoiner::OnDown);
    connect(mainList_, &QTreeWidget::itemSelectionChanged, this, &CPageBatchJoiner::OnMainSelectionChanged);
    connect(joinedList_, &QTreeWidget::itemSelectionChanged, this, &CPageBatchJoiner::OnJoinedSelectionChanged);
    connect(mainList_, &QTreeWidget::itemDoubleClicked, this, [this] { OnEditTag(); });
    connect(joinedList_, &QTreeWidget::itemDoubleClicked, this, [this] { PlaySelected(joinedList_); });
}

bool CPageBatchJoiner::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ContextMenu && mainList_ != nullptr) {
        CSortListCtrl* list = watched == mainList_->viewport()     ? mainList_
                              : watched == joinedList_->viewport() ? joinedList_
                                                                   : nullptr;
        if (list != nullptr) {
            // At the pointer; from the keyboard at the list's centre.
            const auto* menuEvent = static_cast<QContextMenuEvent*>(event);
            const QPoint at = menuEvent->reason() == QContextMenuEvent::Keyboard
                                  ? list->mapToGlobal(list->rect().center())
                                  : menuEvent->globalPos();
            if (list == mainList_)
                OnMainMenu(at);
            else
                OnJoinedMenu(at);
            return true;
        }
    }
    return CSettingsPage::eventFilter(watched, event);
}

void CPageBatchJoiner::OnDestroyPage() {
    ReadJoinType();
    CSettingsPage::OnDestroyPage();
    RemoveAll(*mainLoader_);
    RemoveAll(*joinedLoader_);
}

void CPageBatchJoiner::ReadJoinType() {
    if (!IsInitialised()) return;
    Settings().joinType = appendRadio_->isChecked() ? JoinType::AppendToEnd : JoinType::InsertAtBeginning;
}

// ---- Rows ----

bool CPageBatchJoiner::ReadRowFacts(const std::string& path, FileEntry* entry) {
    if (!ReadFactsFromMp3Reader(path, entry)) return false;
    RowState state;
    state.facts = JoinInputFactsOf(path, entry->facts);
    // The loader lists the file now; the record is the row's until the row is removed.
    states_[entry] = std::move(state);
    return true;
}

CPageBatchJoiner::RowState* CPageBatchJoiner::StateOf(const CSortListCtrl* list, int row) {
    const FileEntry* record = list->Record(row);
    const auto found = states_.find(record);
    return found != states_.end() ? &found->second : nullptr;
}

const CPageBatchJoiner::RowState* CPageBatchJoiner::StateOf(const CSortListCtrl* list, int row) const {
    const auto found = states_.find(list->Record(row));
    return found != states_.end() ? &found->second : nullptr;
}

std::string CPageBatchJoiner::OutputPath(int mainRow) const {
    if (mainList_ == nullptr) return {};
    const RowState* state = StateOf(mainList_, mainRow);
    return state != nullptr ? state->outputPath : std::string();
}

QList<int> CPageBatchJoiner::SelectedRows(const CSortListCtrl* list) const {
    const std::vector<int> rows = list->SelectedRows();
    return QList<int>(rows.begin(), rows.end());
}

TagFields CPageBatchJoiner::TagOfRow(int mainRow) const {
    const auto cell = [&](ColumnRole role) { return mainList_->Cell(mainRow, mainLoader_->ColumnOf(role)).toStdString(); };
    TagFields tag;
    tag.track = TrackNumberOf(mainList_->Cell(mainRow, trackColumn_));
    tag.title = cell(ColumnRole::Title);
    tag.artist = cell(ColumnRole::Artist);
    tag.album = cell(ColumnRole::Album);
    tag.year = cell(ColumnRole::Year);
    tag.genre = cell(ColumnRole::Genre);
    tag.comment = cell(ColumnRole::Comment);
    return tag;
}

// ---- Buttons ----

void CPageBatchJoiner::UpdateJoinButton() {
    joinButton_->setEnabled(mainList_->RowCount() > 0 && joinedList_->RowCount() > 0);
}

void CPageBatchJoiner::OnMainSelectionChanged() {
    const bool any = !mainList_->selectedItems().isEmpty();
    removeButton_->setEnabled(any);
    tagButton_->setEnabled(any);
}

void CPageBatchJoiner::OnJoinedSelectionChanged() {
    const bool any = !joinedList_->selectedItems().isEmpty();
    for (QPushButton* b : {removeJoinedButton_, upButton_, downButton_}) b->setEnabled(any);
}

// ---- Adding and removing ----

void CPageBatchJoiner::AddMainFiles(const QStringList& paths) {
    EnsureInitialised();
    mainLoader_->LoadFileList(paths, nullptr);
    UpdateJoinButton();
}

void CPageBatchJoiner::AddJoinedFiles(const QStringList& paths) {
    EnsureInitialised();
    joinedLoader_->LoadFileList(paths, nullptr);
    UpdateJoinButton();
}

void CPageBatchJoiner::OnAddMainFiles() {
    mainLoader_->AddFiles();
    UpdateJoinButton();
}

void CPageBatchJoiner::OnAddMainFolder() {
    mainLoader_->AddFolder();
    UpdateJoinButton();
}

void CPageBatchJoiner::OnAddJoinedFiles() {
    joinedLoader_->AddFiles();
    UpdateJoinButton();
}

void CPageBatchJoiner::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void CPageBatchJoiner::dropEvent(QDropEvent* event) {
    // Drops always go to the main files.
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile()) paths << url.toLocalFile();
    event->acceptProposedAction();
    // The drop ends at once for the file manager; the files load after it.
    QTimer::singleShot(0, this, [this, paths] {
        mainLoader_->DropFiles(paths);
        UpdateJoinButton();
    });
}

void CPageBatchJoiner::RemoveSelected(CFileListLoader& loader) {
    CSortListCtrl* list = loader.List();
    const QList<int> rows = SelectedRows(list);
    if (rows.isEmpty()) return;
    for (auto row = rows.crbegin(); row != rows.crend(); ++row) {
        states_.erase(list->Record(*row));
        loader.RemoveRow(*row);
    }
    list->clearSelection();
    if (list == mainList_) {
        removeButton_->setEnabled(false);
        tagButton_->setEnabled(false);
    } else {
        for (QPushButton* b : {removeJoinedButton_, upButton_, downButton_}) b->setEnabled(false);
    }
    UpdateJoinButton();
}

void CPageBatchJoiner::RemoveAll(CFileListLoader& loader) {
    CSortListCtrl* list = loader.List();
    for (int row = 0; row < list->RowCount(); ++row) states_.erase(list->Record(row));
    loader.RemoveAll();
    if (list == mainList_) {
        removeButton_->setEnabled(false);
        tagButton_->setEnabled(false);
    } else {
        for (QPushButton* b : {removeJoinedButton_, upButton_, downButton_}) b->setEnabled(false);
    }
    joinButton_->setEnabled(false);
}

// ---- Moving joined rows ----

void CPageBatchJoiner::OnUp() {
    joinedList_->MoveSelectedRows(-1);
    joinedList_->setFocus();
}

void CPageBatchJoiner::OnDown() {
    joinedList_->MoveSelectedRows(1);
    joinedList_->setFocus();
}

// ---- The tag of a main row ----

void CPageBatchJoiner::OnEditTag() {
    const QList<int> rows = SelectedRows(mainList_);
    if (rows.isEmpty()) return;
    const int row = rows.first();
    TagFields tag = TagOfRow(row);
    if (!CId3TagDialog::Edit(this, tag)) return;
    const auto set = [&](ColumnRole role, const std::string& text) {
        mainList_->SetCell(row, mainLoader_->ColumnOf(role), Utf8(text));
    };
    mainList_->SetCell(row, trackColumn_, tag.track > 0 ? QString::number(tag.track) : QString());
    set(ColumnRole::Title, tag.title);
    set(ColumnRole::Artist, tag.artist);
    set(ColumnRole::Album, tag.album);
    set(ColumnRole::Year, tag.year);
    set(ColumnRole::Genre, tag.genre);
    set(ColumnRole::Comment, tag.comment);
}

// ---- Play and browse ----

void CPageBatchJoiner::PlaySelected(CSortListCtrl* list) {
    const QList<int> rows = SelectedRows(list);
    if (rows.size() != 1) return;
    const FileEntry* record = list->Record(rows.first());
    if (record == nullptr) return;
    WithWaitCursor([&] { OpenDocument(Utf8(record->path)); });
}

void CPageBatchJoiner::BrowseSelected(CSortListCtrl* list) {
    const QList<int> rows = SelectedRows(list);
    if (rows.size() != 1) return;
    const FileEntry* record = list->Record(rows.first());
    if (record == nullptr || record->path.empty()) return;
    WithWaitCursor([&] { ShowInFolder(Utf8(record->path)); });
}

void CPageBatchJoiner::PlayOutput() {
    const QList<int> rows = SelectedRows(mainList_);
    if (rows.isEmpty()) return;
    const std::string target = OutputPath(rows.first());
    if (target.empty()) return;
    WithWaitCursor([&] { OpenDocument(Utf8(target)); });
}

void CPageBatchJoiner::BrowseOutput() {
    const QList<int> rows = SelectedRows(mainList_);
    if (rows.isEmpty()) return;
    const std::string target = OutputPath(rows.first());
    if (target.empty()) return;
    WithWaitCursor([&] { ShowInFolder(Utf8(target)); });
}

void CPageBatchJoiner::OnMainMenu(const QPoint& globalAt) {
    const QList<int> rows = SelectedRows(mainList_);
    const bool one = rows.size() == 1;
    const bool output = !rows.isEmpty() && !OutputPath(rows.first()).empty();
    const auto enable = [&](const char* name, bool on) {
        if (QAction* a = mainMenu_->findChild<QAction*>(QString::fromLatin1(name))) a->setEnabled(on);
    };
    enable("mainPlay", one);
    enable("mainBrowse", one);
    enable("mainSetTag", one);
    enable("mainPlayOutput", output);
    enable("mainBrowseOutput", output);
    enable("mainRemove", !rows.isEmpty());
    enable("mainRemoveAll", mainList_->RowCount() > 0);
    mainMenu_->popup(globalAt);
}

void CPageBatchJoiner::OnJoinedMenu(const QPoint& globalAt) {
    const QList<int> rows = SelectedRows(joinedList_);
    const auto enable = [&](const char* name, bool on) {
        if (QAction* a = joinedMenu_->findChild<QAction*>(QString::fromLatin1(name))) a->setEnabled(on);
    };
    enable("joinedPlay", rows.size() == 1);
    enable("joinedBrowse", rows.size() == 1);
    enable("joinedUp", !rows.isEmpty());
    enable("joinedDown", !rows.isEmpty());
    enable("joinedRemove", !rows.isEmpty());
    enable("joinedRemoveAll", joinedList_->RowCount() > 0);
    joinedMenu_->popup(globalAt);
}

// ---- Join Now ----

void CPageBatchJoiner::OnJoinNow() {
    ReadJoinType();
    if (mainList_->RowCount() == 0 || joinedList_->RowCount() == 0) return;
    const int n = mainList_->RowCount();

    QWidget* mainWindow = window();
    mainWindow->setEnabled(false);
    auto* dialog = new CDualProgressDialog;
    dialog->setObjectName(QStringLiteral("joinProgress"));
    dialog->LowerBar()->setRange(0, n);
    dialog->LowerBar()->setValue(0);
    dialog->show();
    ProcessPendingEvents();

    // The facts read when the files were added (a row without them joins by its path only).
    const auto factsOf = [this](const CSortListCtrl* list, int row) {
        const FileEntry* record = list->Record(row);
        const RowState* state = StateOf(list, row);
        // A file changed since it was listed has its facts read again.
        if (state != nullptr && record != nullptr && StillAsRead(record->path, record->facts)) return state->facts;
        JoinInputFacts facts;
        if (record != nullptr && !ReadJoinInputFacts(record->path, facts)) facts = JoinInputFacts{};
        if (record != nullptr) facts.path = record->path;
        return facts;
    };
    const JoinerPageOptions options = options_ != nullptr ? *options_ : JoinerPageOptions{};
    JoinRequest request;
    request.options = options;
    request.joinType = Settings().joinType;
    for (int row = 0; row < joinedList_->RowCount(); ++row) request.joined.push_back(factsOf(joinedList_, row));
    std::vector<BatchJoinRow> rows(static_cast<size_t>(n));
    for (int row = 0; row < n; ++row) {
        BatchJoinRow& r = rows[static_cast<size_t>(row)];
        r.facts = factsOf(mainList_, row);
        r.tag = TagOfRow(row);
    }

    CBatchView view(dialog, rows, [&](size_t index) {
        const int row = static_cast<int>(index);
        mainList_->SetCell(row, outputColumn_, OutputText(rows[index]));
        if (RowState* state = StateOf(mainList_, row)) state->outputPath = rows[index].targetPath;
    });
    Outcome outcome;
    {
        CProgressAdapter adapter(dialog);
        outcome = RunBatchJoin(request, rows, &adapter, &view);
    }
    dialog->PostClose();
    mainWindow->setEnabled(true);
    mainWindow->activateWindow();  // the keyboard goes back to the window, not to where the progress was
    NotifyDesktop(window(), QStringLiteral("Corvane"),
                  outcome.cancelled() ? QStringLiteral("The batch join was cancelled.")
                                      : QStringLiteral("The batch join is done."));

    if (!outcome.cancelled() && options.browseFolder) {
        const size_t first = FirstJoinedRow(rows);
        if (first < rows.size()) ShowInFolder(Utf8(rows[first].targetPath));
    }
}

}  // namespace corvane
