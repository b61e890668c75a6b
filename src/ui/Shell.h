// Desktop shell helpers: show in folder, open with the shell, dialogs, event processing, fonts.
#pragma once

#include <QApplication>
#include <QFont>
#include <QIcon>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>

class QWidget;

namespace corvane {

// Result codes of OpenWithShell: above kShellOpenFailed means started.
constexpr int kShellOpened = 33;
constexpr int kShellNoAssociation = 31;  // no program could open the target
constexpr int kShellOpenFailed = 32;

// Opens the target's folder in the file manager with the target selected (the file manager's
// D-Bus interface), else the folder itself. When nothing can show it, says so with the folder's
// path ("No file manager could show the folder \"%s\".") and returns false.
bool ShowInFolder(const QString& path);

// Asks the desktop to open target: a file path, a web address or a "mailto:" address.
// Returns kShellOpened when it was handed over, kShellNoAssociation otherwise.
int OpenWithShell(const QString& target);

// Opens a file or an address with its program as OpenWithShell does; when no program could,
// says so ("No program could open \"%s\".").
void OpenDocument(const QString& target);

// The text of a failed shell open's result code; "Unknown Error (%d) occurred." for codes
// without a text of their own.
QString ShellErrorText(int code);

// The URL that OpenWithShell hands over for target: web and mail addresses as they are,
// anything else as a local file.
QUrl ShellUrl(const QString& target);

// Replaces the desktop's URL opener for tests; an empty function restores it.
void SetShellOpener(std::function<bool(const QUrl&)> opener);

// Folder picker titled title, starting at startFolder (a trailing "/" is ignored). On OK
// with a non-empty local path, *result is that path with a trailing "/" and the function
// returns true, provided the result is shorter than bufferBytes bytes. Cancel, a non-local
// choice or a too long path return false and leave *result alone.
bool ChooseFolder(QWidget* owner, const QString& title, const QString& startFolder,
                  QString* result, int bufferBytes = 520);

// Replaces the folder picker's dialog for tests: the picker gets the title and the start
// folder (without a trailing "/") and returns the chosen folder, empty for Cancel. An empty
// function restores the dialog.
using FolderPicker = std::function<QString(const QString& title, const QString& startFolder)>;
void SetFolderPicker(FolderPicker picker);

// The open or save dialog with filter (Qt filter text, the first filter selected). files
// holds the initial name on entry (may be empty) and the chosen paths, in the dialog's order,
// on return. With multiple set the open dialog takes several files. Returns false on cancel
// or when files is null. defaultSuffix is appended to a saved name without one.
enum class FileDialogMode { Open, OpenMany, Save };
bool ShowFileDialog(QWidget* owner, const QString& filter, FileDialogMode mode,
                    const QString& defaultSuffix, QStringList* files);

// Replaces the open and save dialog for tests: the picker gets the filter, the mode and the
// initial names and returns the chosen paths, empty for Cancel. An empty function restores
// the dialog.
using FilePicker = std::function<QStringList(const QString& filter, FileDialogMode mode, const QStringList& initial)>;
void SetFilePicker(FilePicker picker);

// Runs the events waiting for this thread and returns when none is left; never waits. A call
// within a few milliseconds of the previous one returns at once, so long work may call it
// after every frame. The program installs it as the engine's message pump (SetMessagePump
// in engine/Progress.h); Qt code calls it directly.
void ProcessPendingEvents();

// Runs work under the wait cursor, restoring the cursor whatever happens (work may throw
// or return early).
template <typename Work>
void WithWaitCursor(Work work) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    struct Restore {
        ~Restore() { QApplication::restoreOverrideCursor(); }
    } restore;
    work();
}

// The dialog font of every page and dialog: "Tahoma" at 11 pixels.
QFont DialogFont();

// Sets font on window and on each of its direct child widgets.
void ApplyFont(QWidget* window, const QFont& font);

// The program's icon for its windows and the About page: 64 pixels, a sixteenth of the
// installed 256-pixel one to decode at start (desktops take the large one from the theme by
// the desktop file's name). Read as the PNG it is: a Qt image reader that looks for the
// format first loads every image plugin to ask it.
QIcon AppIcon();

// The style's down arrow as an icon of side pixels, drawn by the style rather than read from
// its image files (for the same reason).
QIcon ArrowDownIcon(const QWidget* widget, int side);

// Restores window when minimised, raises it and makes it the active window.
void BringToFront(QWidget* window);

}  // namespace corvane
