// The batch cutter page: one cut rule over a list of files.
#include "ui/pages/PageBatchSplitter.h"


#include "engine/Cut.h"
#include "engine/base/Format.h"
#include "engine/base/PathUtil.h"
#include "ui/FileListLoader.h"
#include "ui/MessageBox.h"
#include "ui/Shell.h"
#include "ui/pages/ControlPlacer.h"
#include "ui/pages/CutRuleControls.h"
#include "ui/widgets/DualProgressDialog.h"
#include "ui/widgets/NumberEdit.h"
#include "ui/widgets/ProgressAdapter.h"
#include "ui/widgets/SortListCtrl.h"
#include "ui/widgets/SpinButtons.h"
#include "ui/widgets/WorkReport.h"

#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace corvane {
namespace {

// ---- Texts ----

constexpr char kCaption[] = "MP3 Batch Cutter";
constexpr char kSizeTooSmall[] = "The size of piece is too small.";
constexpr char kDurationTooSmall[] = "The duration of piece is too small.";
constexpr char kCuttingFiles[] = "Cutting %1 of %2 file(s)...";
constexpr char kCuttingFile[] = "Cutting %1...";
constexpr char kCuttingCell[] = "Cutting...";
constexpr char kPiecesCell[] = "%1 piece(s)";
constexpr char kFailureCell[] = "Failure: %1";
constexpr char kCancelledCell[] = "Cancelled";

// ---- Values ----

constexpr int kByRange = CCutRuleControls::kByOwnRule;

// A batch cut's reports handed to the page's own functions.
class CRowsView : public ICutObserver {
public:
    std::function<void(size_t)> started;
    std::function<void(size_t, const Outcome&, const std::vector<std::string>&)> done;
    void OnSourceStarted(size_t index) override { started(index); }
    void OnSourceDone(size_t index, const Outcome& outcome, const std::vector<std::string>& pieces) override {
        done(index, outcome, pieces);
    }
};
constexpr int kSizeLow = 1;
constexpr int kCountLow = 2;
constexpr int kTextBoxChars = 20;
constexpr int kIntegerBoxChars = 9;

// ---- Places of the controls, in dialog units ----
//
// The four rules one under another at the top, then the file list taking what is left, then
// the row of buttons at the bottom: "C&ut All" and the list buttons at the left, "Cut
// Selecte&d" at the right.

constexpr int kButtonWidth = 56;
constexpr int kButtonGap = 4;

constexpr int kModeY = kMargin;
constexpr int kModePitch = 17;
constexpr int kFieldX = CCutRuleControls::kFieldX;
constexpr int kSizeLabelWidth = 60;
constexpr int kCountLabelWidth = 80;
constexpr int kMinutesLabelWidth = 26;
constexpr int kSecondsLabelWidth = 70;
constexpr int kBeginLabelWidth = 32;
constexpr int kTenthsBoxWidth = 36;
constexpr int kAndLabelWidth = 46;
constexpr int kModeRight = kRight;

constexpr int kListY = kModeY + 4 * kModePitch + 3;
constexpr int kButtonsY = kPageDesignHeight - kMargin - kButtonHeight;
constexpr int kListBottom = kButtonsY - 5;

}  // namespace

CPageBatchSplitter::CPageBatchSplitter(QWidget* parent)
    : CSettingsPage(QString::fromLatin1(kCaption), kCutGroup, parent) {}

CPageBatchSplitter::~CPageBatchSplitter() = default;

// Makes the page's controls at their design rectangles (dialog units) and anchors them.
struct CPageBatchSplitter::Placer : CControlPlacer {
    QPushButton* Button(const char* text, const char* name, int x, int y, Anchor topLeft) const {
        return Put(new QPushButton(QString::fromLatin1(text), page), name, x, y, kButtonWidth, kButtonHeight,
                   topLeft);
    }
    CNumberEdit* NumberBox(const char* name, int x, int y, int width, bool decimal) const {
        return CControlPlacer::NumberBox(name, x, y, width, decimal, decimal ? kTextBoxChars : kIntegerBoxChars);
    }
};

void CPageBatchSplitter::OnInitPage() {
    Placer at{{this, Layout()}};
    MakeModeControls(at);
    MakeListControls(at);
    setAcceptDrops(true);
    ConnectControls();

    // The held cut values into their boxes.
    BatchCutterSettings& s = Settings();
    rules_->Show(s);
    beginBox_->setText(Utf8(s.cutCustomFromSec));
    lengthBox_->setText(Utf8(s.cutCustomDuration));

    for (QPushButton* b : {removeButton_, removeAllButton_, cutAllButton_, cutSelectedButton_}) b->setEnabled(false);
    EnableModeControls();
}

void CPageBatchSplitter::MakeModeControls(Placer& at) {
    CutRuleLook look;
    look.top = kModeY;
    look.pitch = kModePitch;
    look.right = kModeRight;
    look.timeRadioText = "By &time";
    look.ownRadioText = "B&y custom";
    look.ownRadioName = "byRange";
    look.sizeLow = kSizeLow;
    look.countLow = kCountLow;
    look.sizeLabelWidth = kSizeLabelWidth;
    look.countLabelWidth = kCountLabelWidth;
    look.minutesLabel = "&minutes";
    look.minutesLabelWidth = kMinutesLabelWidth;
    look.secondsLabel = "seconds each file";
    look.secondsLabelWidth = kSecondsLabelWidth;
    rules_ = new CCutRuleControls(at, look);

    const int y = kModeY + kByRange * kModePitch;
    beginBox_ = at.NumberBox("beginBox", kFieldX + kBeginLabelWidth, y, kTenthsBoxWidth, true);
    at.Label("&Begin at", beginBox_, kFieldX, y, kBeginLabelWidth - 2);
    int x = kFieldX + kBeginLabelWidth + kTenthsBoxWidth;
    beginSpin_ = at.Spin("beginSpin", beginBox_, x, y, [this](int d) { StepTenths(beginBox_, d); });
    x += kSpinWidth + 3;
    lengthBox_ = at.NumberBox("lengthBox", x + kAndLabelWidth, y, kTenthsBoxWidth, true);
    at.Label("seconds, a&nd", lengthBox_, x, y, kAndLabelWidth - 2);
    x += kAndLabelWidth + kTenthsBoxWidth;
    lengthSpin_ = at.Spin("lengthSpin", lengthBox_, x, y, [this](int d) { StepTenths(lengthBox_, d); });
    x += kSpinWidth + 3;
    at.Label("seconds length (0 means unlimited length)", nullptr, x, y, kModeRight - x);
}

void CPageBatchSplitter::MakeListControls(Placer& at) {
    list_ = at.Put(new CSortListCtrl(this), "fileList", kMargin, kListY, kRight - kMargin, kListBottom - kListY,
                   kTopLeft, kBottomRight);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setRootIsDecorated(false);
    list_->setAllColumnsShowFocus(true);
    list_->installEventFilter(this);             // the menu from the keyboard
    list_->viewport()->installEventFilter(this);  // the menu at the pointer
    loader_ = std::make_unique<CFileListLoader>(list_, FileListKind::BatchCutter, this, &Settings().folder,
                                                [this] { Settings().Save(kFolderGroup); });
    loader_->SetFirstRowFilled([this] {
        removeAllButton_->setEnabled(true);
        cutAllButton_->setEnabled(true);
    });

    int x = kMargin;
    const auto button = [&](const char* text, const char* name) {
        QPushButton* b = at.Button(text, name, x, kButtonsY, kBottomLeft);
        x += kButtonWidth + kButtonGap;
        return b;
    };
    cutAllButton_ = button("C&ut All", "cutAllButton");
    x += kButtonGap * 2;
    addFilesButton_ = button("&Add Files", "addFilesButton");
    addFolderButton_ = button("Add &Folder", "addFolderButton");
    removeButton_ = button("&Remove", "removeButton");
    removeAllButton_ = button("Remove A&ll", "removeAllButton");
    cutSelectedButton_ = at.Button("Cut Selecte&d", "cutSelectedButton", kRight - kButtonWidth, kButtonsY,
                                   kBottomRight);

    listMenu_ = new QMenu(this);
    listMenu_->setObjectName(QStringLiteral("listMenu"));
    const auto item = [this](const char* text, const char* name, auto slot) {
        listMenu_->addAction(QString::fromLatin1(text), this, slot)->setObjectName(QString::fromLatin1(name));
    };
    item("&Play", "menuPlay", &CPageBatchSplitter::OnPlay);
    listMenu_->addSeparator();
    item("Cut S&elected", "menuCutSelected", &CPageBatchSplitter::OnCutSelected);
    item("&Cut All", "menuCutAll", &CPageBatchSplitter::OnCutAll);
    listMenu_->addSeparator();
    item("&Browse Source Folder", "menuBrowseSource", &CPageBatchSplitter::OnBrowseSource);
    item("Browse &Output Folder", "menuBrowseOutput", &CPageBatchSplitter::OnBrowseOutput);
    listMenu_->addSeparator();
    listMenu_->addAction(QStringLiteral("&Add Files..."), this, [this] { loader_->AddFiles(); })
        ->setObjectName(QStringLiteral("menuAddFiles"));
    listMenu_->addAction(QStringLiteral("Add &Folder..."), this, [this] { loader_->AddFolder(); })
        ->setObjectName(QStringLiteral("menuAddFolder"));
    listMenu_->addSeparator();
    item("&Remove", "menuRemove", &CPageBatchSplitter::OnRemove);
    item("Remove A&ll", "menuRemoveAll", &CPageBatchSplitter::OnRemoveAll);
}

void CPageBatchSplitter::ConnectControls() {
    connect(rules_, &CCutRuleControls::RuleClicked, this, [this] { ApplyCutMode(); });
    connect(cutAllButton_, &QPushButton::clicked, this, &CPageBatchSplitter::OnCutAll);
    connect(cutSelectedButton_, &QPushButton::clicked, this, &CPageBatchSplitter::OnCutSelected);
    connect(addFilesButton_, &QPushButton::clicked, this, [this] { loader_->AddFiles(); });
    connect(addFolderButton_, &QPushButton::clicked, this, [this] { loader_->AddFolder(); });
    connect(removeButton_, &QPushButton::clicked, this, &CPageBatchSplitter::OnRemove);
    connect(removeAllButton_, &QPushButton::clicked, this, &CPageBatchSplitter::OnRemoveAll);
    connect(list_, &QTreeWidget::itemSelectionChanged, this, &CPageBatchSplitter::OnSelectionChanged);
    connect(list_, &QTreeWidget::itemDoubleClicked, this, [this] { OnPlay(); });
}

bool CPageBatchSplitter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ContextMenu && list_ != nullptr &&
        (watched == list_ || watched == list_->viewport())) {
        // At the pointer; from the keyboard at the list's centre.
        const auto* menuEvent = static_cast<QContextMenuEvent*>(event);
        OnListMenu(menuEvent->reason() == QContextMenuEvent::Keyboard ? list_->mapToGlobal(list_->rect().center())
                                                                      : menuEvent->globalPos());
        return true;
    }
    return CSettingsPage::eventFilter(watched, event);
}

void CPageBatchSplitter::OnDestroyPage() {
    ReadCutValues(true);
    CSettingsPage::OnDestroyPage();
    loader_->RemoveAll();
}

void CPageBatchSplitter::AddPaths(const QStringList& paths) {
    EnsureInitialised();
    loader_->LoadFileList(paths, nullptr);
}

void CPageBatchSplitter::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void CPageBatchSplitter::dropEvent(QDropEvent* event) {
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile()) paths << url.toLocalFile();
    event->acceptProposedAction();
    // The drop ends at once for the file manager; the files load after it.
    QTimer::singleShot(0, this, [this, paths] { loader_->DropFiles(paths); });
}

// ---- Cut modes ----

bool CPageBatchSplitter::ReadCutValues(bool quiet) {
    if (!IsInitialised()) return true;
    BatchCutterSettings& s = Settings();
    s.cutCustomFromSec = beginBox_->text().toStdString();
    s.cutCustomDuration = lengthBox_->text().toStdString();
    return rules_->Read(s, quiet);
}

void CPageBatchSplitter::EnableModeControls() {
    rules_->EnableChosen(true);
    const bool range = rules_->Chosen() == kByRange;
    for (QWidget* w : {static_cast<QWidget*>(beginBox_), beginSpin_, static_cast<QWidget*>(lengthBox_), lengthSpin_})
        w->setEnabled(range);
    if (range) beginBox_->setFocus();
}

void CPageBatchSplitter::ApplyCutMode() {
    ReadCutValues(false);
    EnableModeControls();
}

void CPageBatchSplitter::StepTenths(QLineEdit* box, int direction) {
    // The box read as whole seconds and one digit of tenths: "" counts as 0, ".5" as 0.5, a
    // text that does not read as a number as 0.
    QByteArray text = box->text().toLatin1();
    if (text.isEmpty()) text = "0";
    if (text.startsWith('.')) text.prepend('0');
    int whole = 0;
    int tenth = 0;
    if (std::sscanf(text.constData(), "%d.%1d", &whole, &tenth) < 1) whole = tenth = 0;
    const int tenths = std::max(0, whole * 10 + tenth + direction);
    box->setText(QString::asprintf("%d.%d", tenths / 10, tenths % 10));
}

// ---- The list ----

std::vector<std::pair<FileEntry*, int>> CPageBatchSplitter::SelectedRows() const {
    std::vector<std::pair<FileEntry*, int>> rows;
    for (int row : list_->SelectedRows()) rows.emplace_back(list_->Record(row), row);
    return rows;
}

void CPageBatchSplitter::OnSelectionChanged() {
    const bool any = !list_->selectedItems().isEmpty();
    removeButton_->setEnabled(any);
    cutSelectedButton_->setEnabled(any);
}

void CPageBatchSplitter::UpdateListButtons() {
    const bool rows = list_->RowCount() > 0;
    removeAllButton_->setEnabled(rows);
    cutAllButton_->setEnabled(rows);
}

void CPageBatchSplitter::OnRemove() {
    const auto rows = SelectedRows();
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
        loader_->RemoveRow(it->second);
    }
    removeButton_->setEnabled(false);
    cutSelectedButton_->setEnabled(false);
    UpdateListButtons();
}

void CPageBatchSplitter::OnRemoveAll() {
    if (list_->RowCount() == 0) return;
    loader_->RemoveAll();
    for (QPushButton* b : {removeButton_, removeAllButton_, cutAllButton_, cutSelectedButton_}) b->setEnabled(false);
}

void CPageBatchSplitter::OnPlay() {
    const auto rows = SelectedRows();
    if (!rows.empty() && rows.front().first != nullptr) OpenDocument(Utf8(rows.front().first->path));
}

void CPageBatchSplitter::OnBrowseSource() {
    const auto rows = SelectedRows();
    if (!rows.empty() && rows.front().first != nullptr && !rows.front().first->path.empty())
        ShowInFolder(Utf8(rows.front().first->path));
}

void CPageBatchSplitter::OnBrowseOutput() {
    const auto rows = SelectedRows();
    if (!rows.empty() && rows.front().first != nullptr && !rows.front().first->piecePaths.empty())
        ShowInFolder(Utf8(rows.front().first->piecePaths.front()));
}

void CPageBatchSplitter::OnListMenu(const QPoint& globalAt) {
    const auto rows = SelectedRows();
    const bool selected = !rows.empty();
    const bool hasRows = list_->RowCount() > 0;
    const bool pieces = selected && rows.front().first != nullptr && !rows.front().first->piecePaths.empty();
    const auto enable = [this](const char* name, bool on) {
        if (auto* a = listMenu_->findChild<QAction*>(QString::fromLatin1(name))) a->setEnabled(on);
    };
    for (const char* name : {"menuPlay", "menuBrowseSource", "menuRemove", "menuCutSelected"}) enable(name, selected);
    enable("menuBrowseOutput", pieces);
    enable("menuRemoveAll", hasRows);
    enable("menuCutAll", hasRows);
    listMenu_->popup(globalAt);
}

// ---- Cutting ----

void CPageBatchSplitter::OnCutAll() {
    std::vector<std::pair<FileEntry*, int>> rows;
    for (int row = 0; row < list_->RowCount(); ++row) rows.emplace_back(list_->Record(row), row);
    if (!rows.empty()) Run(rows);
}

void CPageBatchSplitter::OnCutSelected() {
    const auto rows = SelectedRows();
    if (!rows.empty()) Run(rows);
}

void CPageBatchSplitter::Run(const std::vector<std::pair<FileEntry*, int>>& rows) {
    if (!ReadCutValues(false)) return;
    const BatchCutterSettings& s = Settings();
    // A size or a duration of nothing would fail every file alike: refused once, before the run.
    if (s.cutType == CCutRuleControls::kBySize && ParsePieceSize(s.cutFileSizeEx, s.cutFileUnit) == 0) {
        ShowMessage(this, QString::fromLatin1(kSizeTooSmall), QMessageBox::Warning);
        return;
    }
    if (s.cutType == CCutRuleControls::kByTime && s.cutTimeMin * 60 + s.cutTimeSec <= 0) {
        ShowMessage(this, QString::fromLatin1(kDurationTooSmall), QMessageBox::Warning);
        return;
    }
    CutRequest request;
    request.rule = CCutRuleControls::MakeRule(s);
    if (s.cutType == kByRange) {
        request.rule.kind = CutRule::Kind::Range;
        request.rule.beginText = s.cutCustomFromSec;
        request.rule.lengthText = s.cutCustomDuration;
    }
    const CutterPageOptions options = options_ != nullptr ? *options_ : CutterPageOptions{};
    request.options = options;
    request.batch = true;
    // The rows' files in list order, with the facts the list read; at[i] is the place of file
    // i among the rows.
    std::vector<int> at;
    const int n = static_cast<int>(rows.size());
    for (int k = 1; k <= n; ++k) {
        const FileEntry* entry = rows[static_cast<size_t>(k - 1)].first;
        if (entry == nullptr) continue;
        // A file changed since it was listed has its facts read again for the cut.
        request.sources.push_back(
            {entry->path, StillAsRead(entry->path, entry->facts) ? std::optional<SourceFacts>(entry->facts) : std::nullopt});
        at.push_back(k);
    }

    const int outputColumn = loader_->ColumnOf(ColumnRole::Output);
    QWidget* mainWindow = window();
    mainWindow->setEnabled(false);
    auto* dialog = new CDualProgressDialog;
    dialog->setObjectName(QStringLiteral("cutProgress"));
    dialog->LowerBar()->setRange(0, n);
    dialog->LowerBar()->setValue(0);
    dialog->show();
    ProcessPendingEvents();

    CProgressAdapter adapter(dialog);
    sequenceNumber_ = 1;

    // The engine reports the files in list order, whatever order its workers finish them in.
    CRowsView view;
    std::vector<FileEntry*> processed;
    view.started = [&](size_t i) {
        const int k = at[i];
        FileEntry* entry = rows[static_cast<size_t>(k - 1)].first;
        const int row = rows[static_cast<size_t>(k - 1)].second;
        dialog->SetLowerText(QString::fromLatin1(kCuttingFiles).arg(k).arg(n));
        dialog->LowerBar()->setValue(k);
        dialog->SetUpperText(QString::fromLatin1(kCuttingFile).arg(Utf8(FileNameOf(entry->path))));
        dialog->UpperBar()->setValue(0);
        list_->scrollToItem(list_->topLevelItem(row));
        list_->SetCell(row, outputColumn, QString::fromLatin1(kCuttingCell));
        ProcessPendingEvents();
    };
    view.done = [&](size_t i, const Outcome& outcome, const std::vector<std::string>& pieces) {
        const int k = at[i];
        FileEntry* entry = rows[static_cast<size_t>(k - 1)].first;
        const int row = rows[static_cast<size_t>(k - 1)].second;
        entry->piecePaths = pieces;
        sequenceNumber_ += static_cast<int>(pieces.size());  // the run numbers its pieces from 1
        processed.push_back(entry);
        QString cell;
        if (outcome.done())
            cell = QString::fromLatin1(kPiecesCell).arg(entry->piecePaths.size());
        else if (outcome.cancelled() || adapter.cancelled)
            cell = QString::fromLatin1(kCancelledCell);
        else
            cell = QString::fromLatin1(kFailureCell).arg(Utf8(outcome.message));
        list_->SetCell(row, outputColumn, cell);
    };
    // One run over the batch: no piece replaces a source of the batch, nor another piece.
    RunCut(request, &adapter, &view);
    const bool cancelled = adapter.cancelled || dialog->cancelled;
    dialog->PostClose();
    mainWindow->setEnabled(true);
    mainWindow->activateWindow();  // the keyboard goes back to the window, not to where the progress was
    size_t pieces = 0;
    for (const FileEntry* entry : processed) pieces += entry->piecePaths.size();
    NotifyDesktop(window(), QStringLiteral("Corvane"),
                  cancelled ? QStringLiteral("The batch cut was cancelled.")
                            : QStringLiteral("The batch cut is done: %1 pieces written.").arg(pieces));

    if (cancelled || !options.browseFolder) return;
    for (const FileEntry* entry : processed) {
        if (!entry->piecePaths.empty()) {
            ShowInFolder(Utf8(entry->piecePaths.front()));
            break;
        }
    }
}

}  // namespace corvane
