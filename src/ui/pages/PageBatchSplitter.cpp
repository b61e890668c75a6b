// The batch cutter page: one cut rule over a list of files.
#include "ui/pages/PageBatchSplitter.h"


#include "engine/base/Format.h"
#include "engine/base/PathUtil.h"
#include "engine/cut/CutPlans.h"
#include "engine/mp3/SourceInfo.h"
#include "ui/FileListLoader.h"
#include "ui/MessageBox.h"
#include "ui/Shell.h"
#include "ui/pages/ControlPlacer.h"
#include "ui/widgets/DualProgressDialog.h"
#include "ui/widgets/NumberEdit.h"
#include "ui/widgets/ProgressAdapter.h"
#include "ui/widgets/SortListCtrl.h"
#include "ui/widgets/SpinButtons.h"
#include "ui/widgets/ValueList.h"

#include <QButtonGroup>
#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace corvane {
namespace {

// ---- Texts ----

constexpr char kCaption[] = "MP3 Batch Cutter";
constexpr char kEnterInteger[] = "Please enter an integer.";
constexpr char kSizeTooSmall[] = "The size of piece is too small.";
constexpr char kDurationTooSmall[] = "The duration of piece is too small.";
constexpr char kCuttingFiles[] = "Cutting %1 of %2 file(s)...";
constexpr char kCuttingFile[] = "Cutting %1...";
constexpr char kCuttingCell[] = "Cutting...";
constexpr char kPiecesCell[] = "%1 piece(s)";
constexpr char kFailureCell[] = "Failure: %1";
constexpr char kCancelledCell[] = "Cancelled";

// ---- Values ----

enum CutMode { kBySize = 0, kByCount = 1, kByTime = 2, kByRange = 3 };

// A batch cut's reports handed to the page's own functions.
class CRowsView : public IBatchCutObserver {
public:
    std::function<void(size_t)> started;
    std::function<void(size_t, const Outcome&, const std::vector<std::string>&)> done;
    void OnFileStarted(size_t index) override { started(index); }
    void OnFileDone(size_t index, const Outcome& outcome, const std::vector<std::string>& pieces) override {
        done(index, outcome, pieces);
    }
};
constexpr int kSpinHigh = 32767;
constexpr int kSizeLow = 1;
constexpr int kCountLow = 2;
constexpr int kSecondsHigh = 59;
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
constexpr int kRadioWidth = 52;
constexpr int kFieldX = kMargin + kRadioWidth + 4;
constexpr int kSizeBoxWidth = 36;
constexpr int kUnitWidth = 34;
constexpr int kCountBoxWidth = 36;
constexpr int kMinutesBoxWidth = 30;
constexpr int kMinutesLabelWidth = 26;
constexpr int kSecondsBoxWidth = 24;
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
    modeRadios_[std::clamp(s.cutType, 0, 3)]->setChecked(true);
    sizeBox_->setText(Utf8(s.cutFileSizeEx));
    if (!unitList_->SelectValue(static_cast<int>(s.cutFileUnit))) {
        unitList_->SelectValue(static_cast<int>(SizeUnit::MB));
        s.cutFileUnit = SizeUnit::MB;
    }
    countBox_->setText(QString::number(s.cutFileAmount));
    minutesBox_->setText(QString::number(s.cutTimeMin));
    secondsBox_->setText(QString::number(s.cutTimeSec));
    beginBox_->setText(Utf8(s.cutCustomFromSec));
    lengthBox_->setText(Utf8(s.cutCustomDuration));

    for (QPushButton* b : {removeButton_, removeAllButton_, cutAllButton_, cutSelectedButton_}) b->setEnabled(false);
    EnableModeControls();
}

void CPageBatchSplitter::MakeModeControls(Placer& at) {
    static constexpr const char* kModeTexts[] = {"By si&ze", "By &count", "By &time", "By c&ustom"};
    static constexpr const char* kModeNames[] = {"bySize", "byCount", "byTime", "byRange"};
    modeGroup_ = new QButtonGroup(this);
    const auto radio = [&](int mode) {
        auto* r = at.Put(new QRadioButton(QString::fromLatin1(kModeTexts[mode]), this), kModeNames[mode], kMargin,
                         kModeY + mode * kModePitch + 1, kRadioWidth, 10, kTopLeft);
        modeGroup_->addButton(r, mode);
        modeRadios_[mode] = r;
    };
    const auto stepInteger = [](CNumberEdit* box, int low, int high) {
        return [box, low, high](int direction) {
            int value = 0;
            ReadInteger(box->text(), &value);
            box->setText(QString::number(std::clamp(value + direction, low, high)));
        };
    };

    int y = kModeY;
    radio(kBySize);
    sizeBox_ = at.NumberBox("sizeBox", kFieldX, y, kSizeBoxWidth, true);
    sizeSpin_ = MakeSpin(at, sizeBox_, kFieldX + kSizeBoxWidth, y, "sizeSpin", [this](int direction) {
        const int value = static_cast<int>(ReadDecimal(sizeBox_->text().toStdString()));
        sizeBox_->setText(QString::number(std::clamp(value + direction, kSizeLow, kSpinHigh)));
    });
    const int unitX = kFieldX + kSizeBoxWidth + kSpinWidth + 3;
    unitList_ = at.Put(new CValueList(this), "unitList", unitX, y, kUnitWidth, kRowHeight, kTopLeft);
    unitList_->AddEntry(QStringLiteral("GB"), static_cast<int>(SizeUnit::GB));
    unitList_->AddEntry(QStringLiteral("MB"), static_cast<int>(SizeUnit::MB));
    unitList_->AddEntry(QStringLiteral("KB"), static_cast<int>(SizeUnit::KB));
    at.Label("each file", nullptr, unitX + kUnitWidth + 4, y, 60);

    y += kModePitch;
    radio(kByCount);
    countBox_ = at.NumberBox("countBox", kFieldX, y, kCountBoxWidth, false);
    countSpin_ = MakeSpin(at, countBox_, kFieldX + kCountBoxWidth, y, "countSpin",
                          stepInteger(countBox_, kCountLow, kSpinHigh));
    at.Label("equal-sized files", nullptr, kFieldX + kCountBoxWidth + kSpinWidth + 4, y, 80);

    y += kModePitch;
    radio(kByTime);
    minutesBox_ = at.NumberBox("minutesBox", kFieldX, y, kMinutesBoxWidth, false);
    minutesSpin_ = MakeSpin(at, minutesBox_, kFieldX + kMinutesBoxWidth, y, "minutesSpin",
                            stepInteger(minutesBox_, 0, kSpinHigh));
    const int minLabelX = kFieldX + kMinutesBoxWidth + kSpinWidth + 3;
    const int secondsX = minLabelX + kMinutesLabelWidth + 2;
    secondsBox_ = at.NumberBox("secondsBox", secondsX, y, kSecondsBoxWidth, false);
    at.Label("&minutes", minutesBox_, minLabelX, y, kMinutesLabelWidth);
    secondsSpin_ = MakeSpin(at, secondsBox_, secondsX + kSecondsBoxWidth, y, "secondsSpin",
                            stepInteger(secondsBox_, 0, kSecondsHigh));
    const int secLabelX = secondsX + kSecondsBoxWidth + kSpinWidth + 3;
    at.Label("seconds each file", nullptr, secLabelX, y, 70);

    y += kModePitch;
    radio(kByRange);
    beginBox_ = at.NumberBox("beginBox", kFieldX + kBeginLabelWidth, y, kTenthsBoxWidth, true);
    at.Label("&Begin at", beginBox_, kFieldX, y, kBeginLabelWidth - 2);
    int x = kFieldX + kBeginLabelWidth + kTenthsBoxWidth;
    beginSpin_ = MakeSpin(at, beginBox_, x, y, "beginSpin", [this](int d) { StepTenths(beginBox_, d); });
    x += kSpinWidth + 3;
    lengthBox_ = at.NumberBox("lengthBox", x + kAndLabelWidth, y, kTenthsBoxWidth, true);
    at.Label("seconds, a&nd", lengthBox_, x, y, kAndLabelWidth - 2);
    x += kAndLabelWidth + kTenthsBoxWidth;
    lengthSpin_ = MakeSpin(at, lengthBox_, x, y, "lengthSpin", [this](int d) { StepTenths(lengthBox_, d); });
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

QWidget* CPageBatchSplitter::MakeSpin(Placer& at, QLineEdit* box, int x, int y, const char* name,
                                      std::function<void(int)> step) {
    auto* spin = at.Put(new CSpinButtons(this), name, x, y, kSpinWidth, kRowHeight, kTopLeft);
    spin->Attach(box, std::move(step));
    return spin;
}

void CPageBatchSplitter::ConnectControls() {
    connect(modeGroup_, &QButtonGroup::idClicked, this, [this] { ApplyCutMode(); });
    connect(cutAllButton_, &QPushButton::clicked, this, &CPageBatchSplitter::OnCutAll);
    connect(cutSelectedButton_, &QPushButton::clicked, this, &CPageBatchSplitter::OnCutSelected);
    connect(addFilesButton_, &QPushButton::clicked, this, [this] { loader_->AddFiles(); });
    connect(addFolderButton_, &QPushButton::clicked, this, [this] { loader_->AddFolder(); });
    connect(removeButton_, &QPushButton::clicked, this, &CPageBatchSplitter::OnRemove);
    connect(removeAllButton_, &QPushButton::clicked, this, &CPageBatchSplitter::OnRemoveAll);
    connect(list_, &QTreeWidget::itemSelectionChanged, this, &CPageBatchSplitter::OnSelectionChanged);
    connect(list_, &QTreeWidget::itemDoubleClicked, this, [this] { OnPlay(); });
    connect(list_->header(), &QHeaderView::sectionClicked, list_, &CSortListCtrl::SortByColumn);
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
    loader_->DropFiles(paths);
}

// ---- Cut modes ----

bool CPageBatchSplitter::ReadCutValues(bool quiet) {
    if (!IsInitialised()) return true;
    BatchCutterSettings& s = Settings();
    s.cutFileUnit = static_cast<SizeUnit>(unitList_->Value(static_cast<int>(s.cutFileUnit)));
    s.cutFileSizeEx = sizeBox_->text().toStdString();
    s.cutCustomFromSec = beginBox_->text().toStdString();
    s.cutCustomDuration = lengthBox_->text().toStdString();
    s.cutType = std::max(0, modeGroup_->checkedId());
    int count = s.cutFileAmount;
    int minutes = s.cutTimeMin;
    int seconds = s.cutTimeSec;
    for (auto [box, value] : {std::pair{countBox_, &count}, std::pair{minutesBox_, &minutes},
                              std::pair{secondsBox_, &seconds}}) {
        if (!ReadInteger(box->text(), value)) {
            if (!quiet) {
                ShowMessage(this, QString::fromLatin1(kEnterInteger), QMessageBox::Warning);
                box->setFocus();
            }
            return false;
        }
    }
    s.cutFileAmount = count;
    s.cutTimeMin = minutes;
    s.cutTimeSec = seconds;
    return true;
}

void CPageBatchSplitter::EnableModeControls() {
    const int mode = std::max(0, modeGroup_->checkedId());
    for (QWidget* w : {static_cast<QWidget*>(sizeBox_), sizeSpin_, static_cast<QWidget*>(unitList_)})
        w->setEnabled(mode == kBySize);
    countBox_->setEnabled(mode == kByCount);
    countSpin_->setEnabled(mode == kByCount);
    for (QWidget* w : {static_cast<QWidget*>(minutesBox_), minutesSpin_, static_cast<QWidget*>(secondsBox_),
                       secondsSpin_})
        w->setEnabled(mode == kByTime);
    for (QWidget* w : {static_cast<QWidget*>(beginBox_), beginSpin_, static_cast<QWidget*>(lengthBox_), lengthSpin_})
        w->setEnabled(mode == kByRange);
    QWidget* first[] = {sizeBox_, countBox_, minutesBox_, beginBox_};
    first[mode]->setFocus();
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
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) loader_->RemoveRow(it->second);
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
    // The plans divide by the piece size and duration: a run with none would not end.
    if (s.cutType == kBySize && ParsePieceSize(s.cutFileSizeEx, s.cutFileUnit) == 0) {
        ShowMessage(this, QString::fromLatin1(kSizeTooSmall), QMessageBox::Warning);
        return;
    }
    if (s.cutType == kByTime && s.cutTimeMin * 60 + s.cutTimeSec <= 0) {
        ShowMessage(this, QString::fromLatin1(kDurationTooSmall), QMessageBox::Warning);
        return;
    }

    const int outputColumn = loader_->ColumnOf(ColumnRole::Output);
    const int n = static_cast<int>(rows.size());
    QWidget* mainWindow = window();
    mainWindow->setEnabled(false);
    auto* dialog = new CDualProgressDialog;
    dialog->setObjectName(QStringLiteral("cutProgress"));
    dialog->LowerBar()->setRange(0, n);
    dialog->LowerBar()->setValue(0);
    dialog->show();
    ProcessPendingEvents();

    const CutterPageOptions options = options_ != nullptr ? *options_ : CutterPageOptions{};
    CProgressAdapter adapter(dialog);
    sequenceNumber_ = 1;
    BatchCutRequest request;
    switch (s.cutType) {
        case kBySize:
            request.rule = BatchRule::Size;
            request.sizeText = s.cutFileSizeEx;
            request.sizeUnit = s.cutFileUnit;
            break;
        case kByCount:
            request.rule = BatchRule::Count;
            request.count = s.cutFileAmount;
            break;
        case kByTime:
            request.rule = BatchRule::Time;
            request.minutes = s.cutTimeMin;
            request.seconds = s.cutTimeSec;
            break;
        default:
            request.rule = BatchRule::Range;
            request.beginText = s.cutCustomFromSec;
            request.lengthText = s.cutCustomDuration;
            break;
    }
    // The rows' files in list order; at[i] is the place of file i among the rows.
    std::vector<BatchSource> files;
    std::vector<int> at;
    for (int k = 1; k <= n; ++k) {
        const FileEntry* entry = rows[static_cast<size_t>(k - 1)].first;
        if (entry == nullptr) continue;
        BatchSource file;
        file.path = entry->path;
        file.seconds = static_cast<int>(entry->length);
        if (s.cutType == kBySize) GetFileSize64(entry->path, file.fileSize);
        files.push_back(file);
        at.push_back(k);
    }

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
    CutContext ctx;
    ctx.options = options;
    ctx.dialog = &adapter;
    RunBatchCut(ctx, request, files, view);
    const bool cancelled = adapter.cancelled || dialog->cancelled;
    dialog->PostClose();
    mainWindow->setEnabled(true);

    if (cancelled || !options.browseFolder) return;
    for (const FileEntry* entry : processed) {
        if (!entry->piecePaths.empty()) {
            ShowInFolder(Utf8(entry->piecePaths.front()));
            break;
        }
    }
}

}  // namespace corvane
