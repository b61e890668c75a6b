// Filling the file lists: add files, add a folder, drops, the loading loop and the rows.
//
// Three pages keep lists of MP3 files (the batch cutter, the joiner, the batch joiner with
// two lists). Each list has a CFileListLoader that owns the list's records and runs the
// shared commands over it. Every path found goes through LoadFileList, which shows progress,
// reads each file into a row with AddOneFile and reports the files that failed, once, at the
// end. Shortcuts are freedesktop link files ("*.desktop" with Type=Link and a file:// URL).
#pragma once

#include "engine/Facts.h"
#include "ui/widgets/FileEntry.h"
#include "ui/widgets/SortListCtrl.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace corvane {

class CProgressDialog;

// Which list a loader fills; it decides the columns and the duplicate rule. Every list reads
// its facts with the MP3 reader (ReadFactsFromMp3Reader).
enum class FileListKind {
    BatchCutter,       // duplicates passed over
    Joiner,            // duplicates allowed
    BatchJoinerMain,   // duplicates passed over
    BatchJoinerJoined, // duplicates allowed
};

// What a column shows.
enum class ColumnRole { File, Size, Length, Output, Track, Title, Artist, Album, Year, Genre,
                        Comment, BitRate, Freq, Ch };

struct ColumnSpec {
    const char* caption;
    int width;            // pixels
    bool rightAligned;
    SortKind sort;
    ColumnRole role;
};

// The columns of a list kind, in order.
std::vector<ColumnSpec> ColumnsOf(FileListKind kind);

// The facts a list row needs from a file; false when the file cannot be read.
using FactsReader = std::function<bool(const std::string& path, FileEntry* entry)>;
// The tag fields of a file (all empty when it has none).
using TagReader = std::function<void(const std::string& path, TagFields* tags)>;

// Facts through the MP3 reader (ReadSourceFacts), as every list, page and command reads them,
// into entry. False for a file the reader refuses (not MPEG audio, whatever its name, or
// unreadable): the list then reports it among the files that failed to load.
bool ReadFactsFromMp3Reader(const std::string& path, FileEntry* entry);

// The link file's target path, when path is a link file (Type=Link) whose URL is a local
// file:// URL of at most 519 bytes. *target is emptied on failure.
bool ResolveShortcut(const QString& path, QString* target);

// Appends the MP3 files under folder to paths: the folder first, then each subfolder with
// its own subfolders before the next sibling (by name). In each folder the "*.mp3" files
// come first, then the targets of "*.desktop" link files whose target ends in ".mp3". A link
// to a link is passed over. Symbolic links to folders are not followed.
void CollectFolder(const QString& folder, QStringList* paths);

// True when the path's extension is ".mp3" in any case of letters.
bool HasMp3Extension(const QString& path);

class CFileListLoader {
public:
    static constexpr int kMaxReportedFailures = 30;
    static constexpr int kMaxLinkHops = 8;    // a dropped chain of link files longer than this is passed over
    static constexpr int kPathBytes = 520;    // longest path taken, terminating zero included

    // list: the control to fill (columns are set up here). page: the page that owns the
    // list; its top-level window is disabled while files load. folder: the page's
    // remembered add-folder folder (may be null); saveFolder runs right after it changes.
    CFileListLoader(CSortListCtrl* list, FileListKind kind, QWidget* page, std::string* folder,
                    std::function<void()> saveFolder);
    ~CFileListLoader();

    // The readers default to ReadFactsFromMp3Reader and ReadTags; pages that keep more of a
    // file pass their own, tests pass stand-ins.
    void SetFactsReader(FactsReader reader) { factsReader_ = std::move(reader); }
    void SetTagReader(TagReader reader) { tagReader_ = std::move(reader); }
    // Runs after a row was filled that is the first of the list (the batch cutter enables
    // its "Remove A&ll" and "C&ut All" buttons).
    void SetFirstRowFilled(std::function<void()> callback) { firstRowFilled_ = std::move(callback); }

    // "&Add Files": the open dialog, then LoadFileList of the chosen files.
    void AddFiles();
    // "Add &Folder": the folder picker, CollectFolder, LoadFileList.
    void AddFolder();
    // Files, folders and link files dropped on the page, in the drop's order.
    void DropFiles(const QStringList& paths);
    // Adds paths in order, with progress in dialog (a new one when null; either way it is
    // closed at the end). Stops after the file being added when Cancel is pressed; the rows
    // added stay. Failed files are reported in one message at the end.
    void LoadFileList(const QStringList& paths, CProgressDialog* dialog);
    // Adds one file: the new row's index, 0 for a duplicate passed over, -1 for a failure.
    int AddOneFile(const QString& path);
    // Writes the record's cells into row.
    void FillRow(FileEntry* record, int row);

    // Removes one row and its record, or all of them.
    void RemoveRow(int row);
    void RemoveAll();

    CSortListCtrl* List() const { return list_; }
    FileListKind Kind() const { return kind_; }
    // Column index of role in this list, -1 when the list has no such column.
    int ColumnOf(ColumnRole role) const;

private:
    CSortListCtrl* list_;
    FileListKind kind_;
    QWidget* page_;
    std::string* folder_;
    std::function<void()> saveFolder_;
    FactsReader factsReader_;
    TagReader tagReader_;
    std::function<void()> firstRowFilled_;
    std::vector<ColumnSpec> columns_;
    std::vector<std::unique_ptr<FileEntry>> records_;
};

}  // namespace corvane
