// The joiner page: an ordered list of files joined into one target.
//
// The user fills the list ("&Add Files", "Add &Folder", drops), puts it in order ("&Up",
// "&Down"), types the target's tag in the "ID3 tag of Target MP3 File" group (or copies it
// from a listed file) and presses "&Join Now!". The page asks for the target's name, hands
// the join to JoinFiles (engine/Join.h) with the joiner options under a progress dialog,
// reports a failure as "Join failure. %s" (a file whose facts Auto cannot read is refused as
// corvane-cli refuses it), and shows the target in its folder when the options ask for it.
// The list is not kept between runs; the tag texts are.
#pragma once

#include "ui/SettingsStore.h"
#include "ui/pages/SettingsPage.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <string>
#include <vector>

class QComboBox;
class QLineEdit;
class QMenu;
class QPushButton;

namespace corvane {

class CWorkReport;

class CFileListLoader;
class CNumberEdit;
class CSortListCtrl;

class CPageJoiner : public CSettingsPage<JoinerPageSettings> {
    Q_OBJECT
public:
    // Reads the page's settings; the page saves its tag values when it goes.
    explicit CPageJoiner(QWidget* parent = nullptr);
    ~CPageJoiner() override;

    // The joiner options every join uses (the joiner options page's record); not owned, must
    // outlive the page. Without one the joins use the record's defaults.
    void SetOptionsSource(const JoinerPageOptions* options) { options_ = options; }

    // Adds paths (files, folders, link files) to the list as a drop would, with the progress
    // dialog. The page is initialised first.
    void AddPaths(const QStringList& paths);
    // The path of the last target written, empty before the first join that succeeded.
    const std::string& LastTarget() const { return lastTarget_; }

protected:
    void OnInitPage() override;
    void OnDestroyPage() override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    // The list's context menu; the track box's arrow keys.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Placer;
    void MakeListControls(Placer& at);
    void MakeTagControls(Placer& at);
    void ConnectControls();

    // Enables the buttons: those that need a selection by the selection, those that need
    // rows by the row count.
    void UpdateButtons();
    // Takes the tag controls into the settings.
    void ReadTagControls();
    void ShowTagControls();
    void StepTrack(int direction);
    // Rows selected, ascending.
    std::vector<int> SelectedRows() const;

    void OnAddFiles();
    void OnAddFolder();
    void OnRemove();
    void OnRemoveAll();
    void OnUp();
    void OnDown();
    void OnCopyTag();
    void OnPlay();
    void OnBrowse();
    void OnJoinNow();
    void OnListMenu(const QPoint& globalAt);

    const JoinerPageOptions* options_ = nullptr;
    std::string lastTarget_;
    std::unique_ptr<CFileListLoader> loader_;

    CSortListCtrl* list_ = nullptr;
    QPushButton* joinButton_ = nullptr;
    QPushButton* addFilesButton_ = nullptr;
    QPushButton* addFolderButton_ = nullptr;
    QPushButton* removeButton_ = nullptr;
    QPushButton* removeAllButton_ = nullptr;
    QPushButton* upButton_ = nullptr;
    QPushButton* downButton_ = nullptr;
    CWorkReport* report_ = nullptr;
    QPushButton* copyButton_ = nullptr;
    QLineEdit* titleBox_ = nullptr;
    QLineEdit* artistBox_ = nullptr;
    QLineEdit* albumBox_ = nullptr;
    CNumberEdit* trackBox_ = nullptr;
    QWidget* trackSpin_ = nullptr;
    CNumberEdit* yearBox_ = nullptr;
    QComboBox* genreList_ = nullptr;
    QLineEdit* commentBox_ = nullptr;
    QMenu* listMenu_ = nullptr;
};

}  // namespace corvane
