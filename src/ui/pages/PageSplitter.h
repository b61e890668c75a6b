// The cutter page: one source, its facts, custom pieces, the cut.
//
// The user opens one MP3 file (the "&Open" button or a drop on the page), reads its facts and
// tags in the information box, chooses a cut mode (by size, by count, by time: the shared
// rule controls of ui/pages/CutRuleControls.h; or by custom pieces) and presses "C&ut Now!",
// which hands the rule, the cutter options and the source with its facts to the engine's cut
// (RunCut, engine/Cut.h) under a progress dialog. The file's facts are those every front end
// reads (ReadSourceFacts): a file the MP3 reader refuses is refused when it is opened, with
// "Failed to load file \"...\".", as the command-line tool refuses it. In the custom mode the
// user lays out pieces on the position slider (tenths of a second) while listening to the file
// through the preview player; the piece rows always cover the whole file (the piece list
// operations of engine/Cut.h).
//
// Above the slider the waveform strip (ui/widgets/WaveformStrip.h) shows the file's peaks in
// line with the slider's groove, the custom pieces as bands, the selection and the position,
// under a time ruler and over a scroll bar. A press on the strip moves the slider as a drag of
// its handle does; dragging a boundary between two bands is "Set End" of the left piece at the
// point where it is let go. Zoomed in (Ctrl+wheel, Ctrl++ and Ctrl+-, the buttons at the end
// of the playback row; Ctrl+0 shows the whole file) the strip shows a stretch of the file,
// which the slider marks. A boundary dragged at a fine zoom, or snapped to a silence, ends its
// row exactly there (its exact end, as a CUE sheet's rows have).
//
// The marked boundary is one of the selected piece's: the one last dragged or nudged while
// it stays the selected piece's, else the one nearer the position. With the strip focused,
// Left and Right move it by one MPEG frame of the source and Shift+Left and Shift+Right by a
// second, kept exactly; K plays from two seconds before it to two seconds after. Exact places
// show to the millisecond in the list and on the strip.
//
// Playback runs on the player's own thread; its end-of-playback news reaches the page as a
// queued signal and is handled like "S&top". Without a sound device the page refuses to play.
//
// In the custom mode "Add Pieces at Silences" and "Load CUE Sheet..." (under the list and in
// its context menu) replace the rows with pieces found in the audio: between its silences, or
// one per track of a sheet, each ending exactly where it was found and, for a sheet, tagged
// as its track.
#pragma once

#include "engine/Cut.h"
#include "engine/Facts.h"
#include "ui/SettingsStore.h"
#include "ui/pages/SettingsPage.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class QDoubleSpinBox;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QScrollBar;
class QSlider;
class QSpinBox;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;

namespace corvane {

class CWorkReport;

class CCutRuleControls;
class CPositionSlider;
class CPreviewPlayer;
class CTimeRuler;
class CWaveformStrip;

// Where playback stands. Previewing plays the selected piece only.
enum class PlayState { Stopped, Playing, Paused, Previewing, PreviewPaused };

class CPageSplitter : public CSettingsPage<CutterPageSettings> {
    Q_OBJECT
public:
    // Reads the page's settings; the page saves its cut values when it goes.
    explicit CPageSplitter(QWidget* parent = nullptr);
    ~CPageSplitter() override;

    // The cutter options every cut uses (the cutter options page's record); not owned, must
    // outlive the page. Without one the cuts use the record's defaults.
    void SetOptionsSource(const CutterPageOptions* options) { options_ = options; }
    // Whether sound plays on a device (true) or the audio library runs on the no-sound
    // device (false, the default): without one, "&Play" and "Previe&w" only say so.
    void SetSoundOutput(bool sound) { soundOutput_ = sound; }

    // Closes the open file, then opens path: an ".mp3" whose facts the MP3 reader reads
    // (ReadSourceFacts) and the player loads. False leaves the page without a file; nothing is
    // shown, and failure (when not null) gets the message to show: "Failed to load file
    // \"path\"." for a file the reader refuses, else "Failed to open file \"path\"." with the
    // support address.
    bool OpenSourceFile(const QString& path, QString* failure = nullptr);
    // Stops playback and forgets the file; the file-dependent controls are disabled.
    void CloseSourceFile();
    // The recent files, newest first, as a menu under the source box (its arrow, or the Down
    // key there); choosing one opens it.
    void ShowRecentFiles();
    // Ctrl+Z and Ctrl+Shift+Z: the piece list as it was before the last edit, and again after.
    void Undo() { StepEdits(undo_, redo_); }
    void Redo() { StepEdits(redo_, undo_); }

    // What the page holds, for its tests and the screenshot.
    const QString& SourcePath() const { return sourcePath_; }
    const std::vector<PieceEntry>& Pieces() const { return pieces_; }
    PlayState State() const { return playState_; }
    int TotalLength() const { return facts_.lengthTenths(); }
    const std::vector<std::string>& Outputs() const { return outputs_; }
    // The range the player was last asked to play (PlayRange), in milliseconds.
    std::pair<int64_t, int64_t> PlayedRange() const { return playedRange_; }

Q_SIGNALS:
    // Posted from the player's thread when playback reaches its end point.
    void PlaybackEnded();

protected:
    void OnInitPage() override;
    void OnDestroyPage() override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    // Space plays or pauses and Delete removes the selected piece, when the control with the
    // focus does not take the key itself (a button, a text box, the list's check boxes).
    void keyPressEvent(QKeyEvent* event) override;
    // The piece list's context menu.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Placer;
    void MakeSourceControls(Placer& at);
    // The shared rule controls, the custom radio among them, the information box and
    // "C&ut Now!".
    void MakeModeControls(Placer& at);
    void MakePlaybackControls(Placer& at);
    void MakePieceControls(Placer& at);
    void ConnectControls();

    // Reads the rule controls into the settings (CCutRuleControls::Read).
    void ReadCutValues(bool quiet);
    void ApplyCutMode();
    void UpdatePieceButtons();
    // Empties the boxes, the slider and the list and disables what needs a file.
    void ShowNoFile();

    void OnOpen();
    void OnCutNow();
    void OnAddPiece();
    void OnSetStart();
    void OnSetEnd();
    // Set End of row at p: the message when p is not after its start, else the new rows.
    void SetEndAt(int row, int p);
    // A boundary dragged on the waveform strip: row is selected, then Set End at seconds,
    // kept exactly or as the tenth it is.
    void OnBoundaryMoved(int row, double seconds, bool exact);
    // Left or Right on the strip: the marked boundary moves by a frame or a second.
    void OnNudge(int direction, bool bySecond);
    // K: two seconds either side of the marked boundary.
    void OnListenAtBoundary();
    // The row whose end is the marked boundary; -1 when none (no file, not the custom mode, no
    // selected piece, or only one piece).
    int MarkedBoundary() const;
    // Where row ends, in seconds and in milliseconds: its exact end, else its tenths.
    double EndSeconds(int row) const;
    int64_t EndMs(int row) const;
    void OnGoToStart();
    void OnGoToEnd();
    void OnRemove();
    void OnReset();
    void OnBrowse();
    // Custom mode: the rows become the pieces between the file's silences (the threshold and
    // shortest length of the boxes beside the button), found under a progress dialog with
    // Cancel; or the tracks of a CUE sheet
    // chosen in the open dialog, with their tags. All checked; a failure is shown and the
    // rows stay.
    void OnAddSilences();
    void OnLoadCueSheet();
    void OnAddChapters();
    // Stops playback and shows rows (covering the file) with the first selected.
    void ReplacePieces(std::vector<PieceEntry> rows);
    // Opens the piece list's menu at globalAt with its items enabled for the current state.
    void OnPieceMenu(const QPoint& globalAt);
    void OnSelectionChanged();
    void OnPieceItemChanged(QTreeWidgetItem* item);

    void OnPlay();
    void OnPreview();
    void OnStop();
    void OnTimerTick();
    void OnSliderValue(int value);
    void OnSliderAction(int action);
    void OnSliderReleased();
    void OnVolume(int value);
    void StepTimeBox(int direction);

    // Plays the selected piece from its start to its end.
    void PreviewSelectedPiece();
    // Plays startMs to endMs as a preview; false when nothing sounds.
    bool PreviewRange(int64_t startMs, int64_t endMs);
    // Labels "&Pause", starts the timer and enters state (Playing or Previewing).
    void EnterPlaying(PlayState state);
    // started, else says noSound and takes the page's sound away.
    bool Sounding(bool started, const char* noSound);
    // Moves the slider to tenths and shows the position in the time box.
    void ShowPosition(int tenths);
    QString Position(int tenths) const;
    QString PositionMs(int64_t ms) const;

    // Rewrites the list from pieces_ (cells, check boxes, numbers) and selects row select
    // (-1: none); the slider's selection range follows the selected piece.
    void RefreshPieceList(int select);
    void FillPieceRow(int row);
    int SelectedRow() const;
    void ShowSelectedRange();
    // The pieces, the selected row and whether they can be edited, onto the waveform strip.
    void ShowPiecesOnStrip();
    void FillInformation();

    const CutterPageOptions* options_ = nullptr;
    bool soundOutput_ = false;

    QString sourcePath_;
    SourceFacts facts_;    // of the open file
    std::vector<PieceEntry> pieces_;
    // Undo and redo of the piece list's edits: the rows before each edit, newest last. Every
    // edit ends by showing the rows (RefreshPieceList), which notes it; a check box's change
    // is noted where it happens. Opening or closing a file forgets them.
    std::vector<std::vector<PieceEntry>> undo_;
    std::vector<std::vector<PieceEntry>> redo_;
    std::vector<PieceEntry> lastShown_;
    bool restoring_ = false;
    bool cueTracks_ = false;    // the rows are a CUE sheet's tracks, as many as it has
    bool hasChapters_ = false;  // the open file carries chapters (read when it is opened)
    void NoteEdit();
    void ForgetEdits();
    void StepEdits(std::vector<std::vector<PieceEntry>>& from, std::vector<std::vector<PieceEntry>>& to);
    std::vector<std::string> outputs_;
    PlayState playState_ = PlayState::Stopped;
    int playOrigin_ = 0;
    int pausePosition_ = 0;
    int previewStart_ = 0;
    int previewEnd_ = 0;
    bool dragging_ = false;
    int markedBoundary_ = -1;  // the row whose end was last dragged or nudged
    std::pair<int64_t, int64_t> playedRange_{0, 0};
    bool filling_ = false;  // the list is being rewritten: its signals are the page's own
    std::unique_ptr<CPreviewPlayer> player_;

    QLineEdit* sourceBox_ = nullptr;
    QPushButton* openButton_ = nullptr;
    CCutRuleControls* rules_ = nullptr;
    QPlainTextEdit* infoBox_ = nullptr;
    QPushButton* cutButton_ = nullptr;
    QLineEdit* timeBox_ = nullptr;
    QWidget* timeSpin_ = nullptr;
    QPushButton* addButton_ = nullptr;
    QPushButton* playButton_ = nullptr;
    QPushButton* stopButton_ = nullptr;
    QSlider* volumeSlider_ = nullptr;
    CPositionSlider* positionSlider_ = nullptr;
    CWaveformStrip* waveStrip_ = nullptr;
    CTimeRuler* ruler_ = nullptr;
    QScrollBar* waveScroll_ = nullptr;
    QPushButton* zoomInButton_ = nullptr;
    QPushButton* zoomOutButton_ = nullptr;
    QPushButton* zoomWholeButton_ = nullptr;
    QPushButton* setStartButton_ = nullptr;
    QPushButton* setEndButton_ = nullptr;
    QPushButton* goStartButton_ = nullptr;
    QPushButton* goEndButton_ = nullptr;
    QPushButton* previewButton_ = nullptr;
    QTreeWidget* pieceList_ = nullptr;
    QPushButton* removeButton_ = nullptr;
    QPushButton* resetButton_ = nullptr;
    QPushButton* silencesButton_ = nullptr;
    QSpinBox* silenceDbBox_ = nullptr;            // the silences' threshold, dBFS
    QDoubleSpinBox* silenceLengthBox_ = nullptr;  // their shortest length, seconds
    QPushButton* cueButton_ = nullptr;
    QPushButton* chaptersButton_ = nullptr;
    CWorkReport* report_ = nullptr;
    QMenu* pieceMenu_ = nullptr;
    QTimer* playTimer_ = nullptr;
};

}  // namespace corvane
