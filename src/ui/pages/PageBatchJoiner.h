// The batch joiner page: the same files joined to the start or end of many main files.
//
// The upper list holds the main files, the lower one the joined files. "&Join Now!" makes
// one target per main file: the joined files, in list order, go before the main file
// ("&Insert at beginning") or after it ("Appe&nd to end"). The batch runs through RunBatchJoin
// (engine/Join.h), which names and places the targets by the joiner options, under the dual
// progress dialog; each main row shows its state in its "Output" cell ("Joining...", the
// target's file name, "Join failure. %s" or "Cancelled") and remembers its target. A main
// row's tag cells are the target's tag; the user edits them with the ID3 tag dialog.
#pragma once

#include "engine/Facts.h"
#include "engine/Join.h"
#include "engine/Options.h"
#include "ui/SettingsStore.h"
#include "ui/pages/SettingsPage.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <string>
#include <unordered_map>

class QMenu;
class QPoint;
class QPushButton;
class QRadioButton;
class QTreeWidgetItem;

namespace corvane {

class CFileListLoader;
class CSortListCtrl;
struct FileEntry;

class CPageBatchJoiner : public CSettingsPage<BatchJoinerSettings> {
    Q_OBJECT
public:
    // Reads the page's settings; the page saves its join type when it goes.
    explicit CPageBatchJoiner(QWidget* parent = nullptr);
    ~CPageBatchJoiner() override;

    // The joiner options every batch uses (the joiner options page's record); not owned, must
    // outlive the page. Without one the batch uses the record's defaults.
    void SetOptionsSource(const JoinerPageOptions* options) { options_ = options; }

    // Adds paths to the main list or the joined list as the add commands do (with progress,
    // failures reported once).
    void AddMainFiles(const QStringList& paths);
    void AddJoinedFiles(const QStringList& paths);

    // What the page holds, for its tests and the screenshot.
    CSortListCtrl* MainList() const { return mainList_; }
    CSortListCtrl* JoinedList() const { return joinedList_; }
    // The target the main row's last join wrote; empty when it has none.
    std::string OutputPath(int mainRow) const;

protected:
    void OnInitPage() override;
    void OnDestroyPage() override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    // The context menus of the two lists.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // What a row knows beyond its cells: the join facts read when it was added and, for a main
    // row, the target of its last successful join.
    struct RowState {
        JoinInputFacts facts;
        std::string outputPath;
    };

    struct Placer;
    void MakeControls(Placer& at);
    void MakeMenus();
    void ConnectControls();

    void ReadJoinType();
    void UpdateJoinButton();
    // The main list's "&Remove" and "ID3 tag", the joined list's "Remo&ve", "&Up", "&Down",
    // by the lists' selections.
    void OnMainSelectionChanged();
    void OnJoinedSelectionChanged();

    void OnJoinNow();
    void OnAddMainFiles();
    void OnAddMainFolder();
    void OnAddJoinedFiles();
    void RemoveSelected(CFileListLoader& loader);
    void RemoveAll(CFileListLoader& loader);
    void OnEditTag();
    void OnUp();
    void OnDown();
    // Opens the file of the only selected row of list with the shell / shows it in its folder.
    void PlaySelected(CSortListCtrl* list);
    void BrowseSelected(CSortListCtrl* list);
    void PlayOutput();
    void BrowseOutput();
    void OnMainMenu(const QPoint& globalAt);
    void OnJoinedMenu(const QPoint& globalAt);

    // The join facts of a row's file for the loaders: the list's facts and the page's own.
    bool ReadRowFacts(const std::string& path, FileEntry* entry);
    RowState* StateOf(const CSortListCtrl* list, int row);
    const RowState* StateOf(const CSortListCtrl* list, int row) const;
    TagFields TagOfRow(int mainRow) const;
    QList<int> SelectedRows(const CSortListCtrl* list) const;

    const JoinerPageOptions* options_ = nullptr;
    std::unordered_map<const FileEntry*, RowState> states_;

    CSortListCtrl* mainList_ = nullptr;
    CSortListCtrl* joinedList_ = nullptr;
    std::unique_ptr<CFileListLoader> mainLoader_;
    std::unique_ptr<CFileListLoader> joinedLoader_;
    int outputColumn_ = -1;
    int trackColumn_ = -1;

    QRadioButton* insertRadio_ = nullptr;
    QRadioButton* appendRadio_ = nullptr;
    QPushButton* joinButton_ = nullptr;
    QPushButton* addFilesButton_ = nullptr;
    QPushButton* addFolderButton_ = nullptr;
    QPushButton* removeButton_ = nullptr;
    QPushButton* tagButton_ = nullptr;
    QPushButton* addJoinedButton_ = nullptr;
    QPushButton* removeJoinedButton_ = nullptr;
    QPushButton* upButton_ = nullptr;
    QPushButton* downButton_ = nullptr;
    QMenu* mainMenu_ = nullptr;
    QMenu* joinedMenu_ = nullptr;
};

}  // namespace corvane
