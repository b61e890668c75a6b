// Filling the file lists.
#include "ui/FileListLoader.h"

#include "engine/base/Deployment.h"
#include "ui/MessageBox.h"
#include "ui/Shell.h"
#include "engine/base/Format.h"
#include "engine/base/PathUtil.h"
#include "engine/Facts.h"
#include "ui/widgets/NumberEdit.h"
#include "ui/widgets/ProgressDialog.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QTextStream>
#include <QUrl>

#include <algorithm>

namespace corvane {
namespace {

using R = ColumnRole;
using K = SortKind;

// How a column of each role looks and sorts, in the order of ColumnRole. The lists differ
// only in which columns they have, in what order and how wide (and the batch cutter's year,
// which sorts as text, left aligned).
struct ColumnLook {
    const char* caption;
    bool rightAligned;
    SortKind sort;
};
constexpr ColumnLook kColumnLooks[] = {
    {"File", false, K::Text},   {"Size", true, K::Size},       {"Length", true, K::Duration},
    {"Output", false, K::Text}, {"#", true, K::Number},        {"Title", false, K::Text},
    {"Artist", false, K::Text}, {"Album", false, K::Text},     {"Year", true, K::Number},
    {"Genre", false, K::Text},  {"Comment", false, K::Text},   {"Bit Rate", true, K::Number},
    {"Freq", true, K::Number},  {"Ch", false, K::Text},
};

// A column of a list: its role and its width in pixels.
struct ColumnUse {
    ColumnRole role;
    int width;
};
constexpr ColumnUse kBatchCutterColumns[] = {
    {R::File, 150}, {R::Size, 65}, {R::Length, 60}, {R::Output, 110}, {R::Track, 40}, {R::Title, 140}, {R::Artist, 110},
    {R::Album, 110}, {R::Year, 50}, {R::Genre, 80}, {R::BitRate, 70}, {R::Freq, 70}, {R::Ch, 60}};
constexpr ColumnUse kBatchJoinerMainColumns[] = {
    {R::File, 120}, {R::Size, 60}, {R::Length, 60}, {R::Output, 120}, {R::Track, 40}, {R::Title, 110}, {R::Artist, 90},
    {R::Album, 90}, {R::Year, 50}, {R::Genre, 80}, {R::Comment, 100}, {R::BitRate, 70}, {R::Freq, 70}, {R::Ch, 60}};
constexpr ColumnUse kBatchJoinerJoinedColumns[] = {
    {R::File, 120}, {R::Size, 60}, {R::Length, 60}, {R::Track, 40}, {R::Title, 160}, {R::Artist, 115}, {R::Album, 115},
    {R::Year, 50}, {R::Genre, 90}, {R::Comment, 110}, {R::BitRate, 70}, {R::Freq, 70}, {R::Ch, 60}};
constexpr ColumnUse kJoinerColumns[] = {
    {R::File, 150}, {R::Size, 70}, {R::Length, 60}, {R::Track, 40}, {R::Title, 150}, {R::Artist, 110}, {R::Album, 110},
    {R::Year, 50}, {R::Genre, 80}, {R::Comment, 100}, {R::BitRate, 70}, {R::Freq, 70}, {R::Ch, 60}};

template <size_t N>
std::vector<ColumnSpec> MakeColumns(const ColumnUse (&uses)[N]) {
    std::vector<ColumnSpec> columns;
    for (const ColumnUse& use : uses) {
        const ColumnLook& look = kColumnLooks[static_cast<int>(use.role)];
        columns.push_back({look.caption, use.width, look.rightAligned, look.sort, use.role});
    }
    return columns;
}

constexpr char kLinkExtension[] = ".desktop";
constexpr char kSearching[] = "Searching MP3 files...";

// Paths compare as absolute, lexically normal texts.
QString NormalPath(const QString& path) { return QDir::cleanPath(QFileInfo(path).absoluteFilePath()); }

bool FitsPathBuffer(const QString& path) {
    return path.toUtf8().size() < CFileListLoader::kPathBytes;
}

bool HasLinkExtension(const QString& path) {
    return QString::fromStdString(ExtensionOf(path.toStdString())).compare(kLinkExtension, Qt::CaseInsensitive) == 0;
}

void DefaultTagReader(const std::string& path, TagFields* tags) { ReadTags(path, *tags); }

// The support sentence that closes the messages that refer the user to us.
QString SupportSentence() {
    return QStringLiteral("To get help, please contact us at <%1>.").arg(QString::fromLatin1(kSupportMail));
}

}  // namespace

std::vector<ColumnSpec> ColumnsOf(FileListKind kind) {
    switch (kind) {
        case FileListKind::BatchCutter: {
            std::vector<ColumnSpec> columns = MakeColumns(kBatchCutterColumns);
            for (ColumnSpec& c : columns)
                if (c.role == R::Year) {
                    c.rightAligned = false;
                    c.sort = K::Text;
                }
            return columns;
        }
        case FileListKind::BatchJoinerMain: return MakeColumns(kBatchJoinerMainColumns);
        case FileListKind::BatchJoinerJoined: return MakeColumns(kBatchJoinerJoinedColumns);
        case FileListKind::Joiner:
        default: return MakeColumns(kJoinerColumns);
    }
}

bool HasMp3Extension(const QString& path) {
    return QString::fromStdString(ExtensionOf(path.toStdString())).compare(".mp3", Qt::CaseInsensitive) == 0;
}

bool ReadFactsFromMp3Reader(const std::string& path, FileEntry* entry) { return ReadSourceFacts(path, entry->facts); }

bool ResolveShortcut(const QString& path, QString* target) {
    target->clear();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return false;
    QTextStream in(&file);
    bool inEntry = false;
    QString type;
    QString url;
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.startsWith('[')) {
            inEntry = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        if (!inEntry || line.startsWith('#')) continue;
        const int eq = line.indexOf('=');
        if (eq <= 0) continue;
        const QString key = line.left(eq).trimmed();
        const QString value = line.mid(eq + 1).trimmed();
        if (key == QLatin1String("Type")) type = value;
        else if (key == QLatin1String("URL")) url = value;
    }
    if (type != QLatin1String("Link") || url.isEmpty()) return false;
    const QUrl parsed(url);
    if (!parsed.isLocalFile()) return false;
    const QString local = parsed.toLocalFile();
    if (local.isEmpty() || !FitsPathBuffer(local)) return false;
    *target = local;
    return true;
}

void CollectFolder(const QString& folder, QStringList* paths) {
    // The folders, depth first.
    QStringList folders;
    std::function<void(const QString&)> walk = [&](const QString& dir) {
        folders << dir;
        const QFileInfoList subs = QDir(dir).entryInfoList(
            QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::NoSymLinks, QDir::Name);
        for (const QFileInfo& sub : subs) walk(sub.absoluteFilePath());
    };
    walk(QDir::cleanPath(folder));

    for (const QString& dir : folders) {
        const QDir d(dir);
        const QFileInfoList mp3s = d.entryInfoList({"*.mp3"}, QDir::Files | QDir::Hidden, QDir::Name);
        for (const QFileInfo& f : mp3s)
            if (FitsPathBuffer(f.filePath())) paths->append(f.filePath());
        const QFileInfoList links = d.entryInfoList({QStringLiteral("*") + kLinkExtension},
                                                    QDir::Files | QDir::Hidden, QDir::Name);
        for (const QFileInfo& f : links) {
            QString target;
            if (ResolveShortcut(f.filePath(), &target) && HasMp3Extension(target)) paths->append(target);
        }
    }
}

CFileListLoader::CFileListLoader(CSortListCtrl* list, FileListKind kind, QWidget* page,
                                 std::string* folder, std::function<void()> saveFolder)
    : list_(list),
      kind_(kind),
      page_(page),
      folder_(folder),
      saveFolder_(std::move(saveFolder)),
      factsReader_([](const std::string& path, FileEntry* entry) { return ReadFactsFromMp3Reader(path, entry); }),
      tagReader_(&DefaultTagReader),
      columns_(ColumnsOf(kind)) {
    QStringList captions;
    for (const ColumnSpec& c : columns_) captions << QString::fromLatin1(c.caption);
    list_->setColumnCount(static_cast<int>(columns_.size()));
    list_->setHeaderLabels(captions);
    for (int i = 0; i < static_cast<int>(columns_.size()); ++i) {
        list_->setColumnWidth(i, columns_[i].width);
        list_->SetSortKind(i, columns_[i].sort);
        if (columns_[i].rightAligned)
            list_->headerItem()->setTextAlignment(i, Qt::AlignRight | Qt::AlignVCenter);
    }
}

CFileListLoader::~CFileListLoader() = default;

int CFileListLoader::ColumnOf(ColumnRole role) const {
    for (int i = 0; i < static_cast<int>(columns_.size()); ++i)
        if (columns_[i].role == role) return i;
    return -1;
}

void CFileListLoader::AddFiles() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QStringList files;
    const bool chosen = ShowFileDialog(page_, QStringLiteral("MP3 Files (*.mp3);;All Files (*)"),
                                       FileDialogMode::OpenMany, QString(), &files);
    QApplication::restoreOverrideCursor();
    if (!chosen) return;
    ProcessPendingEvents();
    LoadFileList(files, nullptr);
}

void CFileListLoader::AddFolder() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QString chosen;
    const bool ok = ChooseFolder(page_, QStringLiteral("Please choose a folder:"),
                                 folder_ != nullptr ? Utf8(*folder_) : QString(), &chosen);
    QApplication::restoreOverrideCursor();
    if (!ok) return;
    if (folder_ != nullptr) {
        *folder_ = chosen.toStdString();
        if (saveFolder_) saveFolder_();
    }
    auto* dialog = new CProgressDialog;
    dialog->SetText(QString::fromLatin1(kSearching));
    dialog->show();
    ProcessPendingEvents();
    QStringList paths;
    CollectFolder(chosen, &paths);
    LoadFileList(paths, dialog);
}

void CFileListLoader::DropFiles(const QStringList& dropped) {
    auto* dialog = new CProgressDialog;
    dialog->SetText(QString::fromLatin1(kSearching));
    dialog->show();
    ProcessPendingEvents();
    QStringList paths;
    for (const QString& path : dropped) {
        if (!FitsPathBuffer(path)) continue;
        if (QFileInfo(path).isDir()) {
            CollectFolder(path, &paths);
        } else if (HasMp3Extension(path)) {
            paths << path;
        } else if (HasLinkExtension(path)) {
            QString target = path;
            for (int hop = 0; hop < kMaxLinkHops && HasLinkExtension(target); ++hop) {
                QString next;
                if (!ResolveShortcut(target, &next)) break;
                target = next;
            }
            if (HasMp3Extension(target)) paths << target;
        }
    }
    if (paths.isEmpty()) {
        dialog->PostClose();
        return;
    }
    LoadFileList(paths, dialog);
}

void CFileListLoader::LoadFileList(const QStringList& paths, CProgressDialog* dialog) {
    QWidget* mainWindow = page_ != nullptr ? page_->window() : nullptr;
    if (mainWindow != nullptr) mainWindow->setEnabled(false);
    if (dialog == nullptr) {
        dialog = new CProgressDialog;
        dialog->show();
    }
    const int n = static_cast<int>(paths.size());
    dialog->SetRange(0, n);
    dialog->SetPos(0);
    ProcessPendingEvents();

    QString failures;
    int failureCount = 0;
    for (int k = 1; k <= n; ++k) {
        const QString& path = paths[k - 1];
        dialog->SetText(QStringLiteral("[%1/%2] Adding file %3...")
                            .arg(k)
                            .arg(n)
                            .arg(Utf8(FileNameOf(path.toStdString()))));
        dialog->StepIt();
        if (AddOneFile(path) == -1) {
            ++failureCount;
            if (failureCount <= kMaxReportedFailures)
                failures += path + QLatin1Char('\n');
            else if (failureCount == kMaxReportedFailures + 1)
                failures += QStringLiteral("<more files>...\n");
        }
        ProcessPendingEvents();
        if (dialog->cancelled) break;
    }
    dialog->PostClose();
    if (mainWindow != nullptr) mainWindow->setEnabled(true);

    if (!failures.isEmpty()) {
        ShowMessage(page_,
                    QStringLiteral("Failed to load the following files.\n\n%1\n").arg(failures) +
                        SupportSentence(),
                    QMessageBox::Warning);
    }
}

int CFileListLoader::AddOneFile(const QString& path) {
    if (kind_ == FileListKind::BatchCutter || kind_ == FileListKind::BatchJoinerMain) {
        const QString normal = NormalPath(path);
        for (int row = 0; row < list_->RowCount(); ++row) {
            const FileEntry* r = list_->Record(row);
            if (r != nullptr && NormalPath(Utf8(r->path)) == normal) return 0;
        }
    }
    if (!HasMp3Extension(path)) return -1;
    auto record = std::make_unique<FileEntry>();
    record->path = path.toStdString();
    if (!factsReader_ || !factsReader_(record->path, record.get())) return -1;
    const int row = list_->InsertRow(Utf8(FileNameOf(record->path)));
    list_->SetRecord(row, record.get());
    FileEntry* entry = record.get();
    records_.push_back(std::move(record));
    FillRow(entry, row);
    return row;
}

void CFileListLoader::FillRow(FileEntry* record, int row) {
    TagFields tags;
    if (tagReader_) tagReader_(record->path, &tags);
    uint64_t size = 0;
    const bool haveSize = GetFileSize64(record->path, size);
    for (int c = 0; c < static_cast<int>(columns_.size()); ++c) {
        QString text;
        switch (columns_[c].role) {
            case R::File: continue;
            case R::Output: continue;
            case R::Size: text = haveSize ? Utf8(FormatSize(static_cast<int64_t>(size))) : QString(); break;
            case R::Length: text = Utf8(FormatDuration(record->facts.seconds)); break;
            case R::Track: text = Utf8(TrackText(tags.track)); break;
            case R::Title: text = Utf8(tags.title); break;
            case R::Artist: text = Utf8(tags.artist); break;
            case R::Album: text = Utf8(tags.album); break;
            case R::Year: text = Utf8(tags.year); break;
            case R::Genre: text = Utf8(tags.genre); break;
            case R::Comment: text = Utf8(tags.comment); break;
            case R::BitRate: text = Utf8(BitrateText(record->facts.bitrate)); break;
            case R::Freq: text = Utf8(SampleRateText(record->facts.sampleRate)); break;
            case R::Ch: text = QString::fromLatin1(ChannelModeName(record->facts.channelMode)); break;
        }
        list_->SetCell(row, c, text);
        if (columns_[c].rightAligned)
            list_->topLevelItem(row)->setTextAlignment(c, Qt::AlignRight | Qt::AlignVCenter);
    }
    list_->scrollToItem(list_->topLevelItem(row));
    if (row == 0 && firstRowFilled_) firstRowFilled_();
}

void CFileListLoader::RemoveRow(int row) {
    FileEntry* record = list_->Record(row);
    records_.erase(std::remove_if(records_.begin(), records_.end(),
                                  [record](const std::unique_ptr<FileEntry>& r) { return r.get() == record; }),
                   records_.end());
    list_->DeleteRow(row);
}

void CFileListLoader::RemoveAll() {
    records_.clear();
    list_->DeleteAllRows();
}

}  // namespace corvane
