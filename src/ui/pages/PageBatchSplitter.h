// The batch cutter page: one cut rule over a list of files.
//
// The user fills the file list ("&Add Files", "Add &Folder", drops; FileListLoader.h), picks
// one rule (by size, by count, by time: the shared rule controls of
// ui/pages/CutRuleControls.h; or one range per file from a begin time for a length) and
// presses "C&ut All" or "Cut Selecte&d". The page hands the rule, the cutter options and the
// rows' files with the facts the list read to the engine's batch cut (RunCut, engine/Cut.h)
// behind a CDualProgressDialog: the cut moves the upper bar, the page the lower one, and each
// row's "Output" cell tells how its file went. A size or a duration of nothing, which would
// fail every file alike, is refused in one message before the run.
// The sequence number ("%S%" in the piece names) starts at 1 with every run and goes on
// across the files of the run.
#pragma once

#include "engine/Facts.h"
#include "ui/SettingsStore.h"
#include "ui/pages/SettingsPage.h"

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class QLineEdit;
class QMenu;
class QPushButton;

namespace corvane {

class CCutRuleControls;
class CFileListLoader;
class CNumberEdit;
class CSortListCtrl;
struct FileEntry;

class CPageBatchSplitter : public CSettingsPage<BatchCutterSettings> {
    Q_OBJECT
public:
    // Reads the page's settings; the page saves its cut values when it goes.
    explicit CPageBatchSplitter(QWidget* parent = nullptr);
    ~CPageBatchSplitter() override;

    // The cutter options every cut uses (the cutter options page's record); not owned, must
    // outlive the page. Without one the cuts use the record's defaults.
    void SetOptionsSource(const CutterPageOptions* options) { options_ = options; }

    // Adds paths to the list as the loading loop does for chosen files (progress dialog,
    // Cancel, one report of the failures). Initialises the page first.
    void AddPaths(const QStringList& paths);

    // What the page holds, for its tests and the screenshot.
    CSortListCtrl* List() const { return list_; }
    // The sequence number the last run reached: 1 plus the pieces it left (the next piece's
    // number).
    int SequenceNumber() const { return sequenceNumber_; }

protected:
    void OnInitPage() override;
    void OnDestroyPage() override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    // The list's context menu.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Placer;
    // The shared rule controls, the range radio among them, and the range's boxes.
    void MakeModeControls(Placer& at);
    void MakeListControls(Placer& at);
    void ConnectControls();

    // Reads the rule controls (CCutRuleControls::Read) and the begin and length texts into
    // the settings; false when a box was refused.
    bool ReadCutValues(bool quiet);
    // Enables the chosen mode's boxes and spins and focuses its first box.
    void EnableModeControls();
    void ApplyCutMode();
    // One tenth of a second up (+1) or down (-1) in a begin or length box.
    static void StepTenths(QLineEdit* box, int direction);

    void OnSelectionChanged();
    void UpdateListButtons();
    void OnRemove();
    void OnRemoveAll();
    void OnPlay();
    void OnBrowseSource();
    void OnBrowseOutput();
    void OnCutAll();
    void OnCutSelected();
    void OnListMenu(const QPoint& globalAt);
    // Rows in list order, each with its record.
    std::vector<std::pair<FileEntry*, int>> SelectedRows() const;
    // Cuts the files of rows (record, row number) with the chosen rule.
    void Run(const std::vector<std::pair<FileEntry*, int>>& rows);

    const CutterPageOptions* options_ = nullptr;
    int sequenceNumber_ = 0;


    CCutRuleControls* rules_ = nullptr;
    CNumberEdit* beginBox_ = nullptr;
    QWidget* beginSpin_ = nullptr;
    CNumberEdit* lengthBox_ = nullptr;
    QWidget* lengthSpin_ = nullptr;
    CSortListCtrl* list_ = nullptr;
    QPushButton* cutAllButton_ = nullptr;
    QPushButton* addFilesButton_ = nullptr;
    QPushButton* addFolderButton_ = nullptr;
    QPushButton* removeButton_ = nullptr;
    QPushButton* removeAllButton_ = nullptr;
    QPushButton* cutSelectedButton_ = nullptr;
    QMenu* listMenu_ = nullptr;
    std::unique_ptr<CFileListLoader> loader_;
};

}  // namespace corvane
