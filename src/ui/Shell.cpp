// Desktop shell helpers.
#include "ui/Shell.h"

#include "ui/MessageBox.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QImageReader>
#include <QPainter>
#include <QPixmap>
#include <QStyle>
#include <QStyleOption>
#include <QWidget>

#include <array>
#include <utility>

namespace corvane {
namespace {

// The shortest gap between two real runs of the event processing.
constexpr qint64 kPumpIntervalMs = 4;

struct ShellErrorEntry {
    int code;
    const char* text;
};

constexpr std::array<ShellErrorEntry, 14> kShellErrors{{
    {0, "The operating system is out\nof memory or resources."},
    {2, "The specified file was not found."},
    {3, "The specified path was not found."},
    {5, "The operating system denied\naccess to the specified file."},
    {8, "There was not enough memory to complete the operation."},
    {11, "The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image)."},
    {26, "A sharing violation occurred. "},
    {27, "The filename association is\nincomplete or invalid."},
    {28, "The DDE transaction could not\nbe completed because the request timed out."},
    {29, "The DDE transaction failed."},
    {30, "The DDE transaction could not\nbe completed because other DDE transactions\nwere being processed."},
    {31, "There is no application associated\nwith the given filename extension."},
    {32, "The specified dynamic-link library was not found."},
    {-1, nullptr},
}};

std::function<bool(const QUrl&)>& Opener() {
    static std::function<bool(const QUrl&)> opener;
    return opener;
}

bool OpenUrl(const QUrl& url) {
    if (Opener()) return Opener()(url);
    return QDesktopServices::openUrl(url);
}

}  // namespace

QUrl ShellUrl(const QString& target) {
    static const QStringList kSchemes = {"http", "https", "ftp", "mailto", "file"};
    const QUrl url(target);
    if (url.isValid() && kSchemes.contains(url.scheme().toLower())) return url;
    return QUrl::fromLocalFile(QFileInfo(target).absoluteFilePath());
}

void SetShellOpener(std::function<bool(const QUrl&)> opener) { Opener() = std::move(opener); }

namespace {

// The window a message about a desktop request belongs to.
QWidget* MessageOwner() { return QApplication::activeWindow(); }

}  // namespace

int OpenWithShell(const QString& target) {
    return OpenUrl(ShellUrl(target)) ? kShellOpened : kShellNoAssociation;
}

void OpenDocument(const QString& target) {
    if (OpenUrl(ShellUrl(target))) return;
    ShowMessage(MessageOwner(), QStringLiteral("No program could open \"%1\".").arg(target), QMessageBox::Warning);
}

QString ShellErrorText(int code) {
    for (const ShellErrorEntry& e : kShellErrors)
        if (e.text != nullptr && e.code == code) return QString::fromLatin1(e.text);
    return QStringLiteral("Unknown Error (%1) occurred.").arg(code);
}

bool ShowInFolder(const QString& path) {
    const QString file = QFileInfo(path).absoluteFilePath();
    if (!Opener()) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            "org.freedesktop.FileManager1", "/org/freedesktop/FileManager1",
            "org.freedesktop.FileManager1", "ShowItems");
        call << QStringList{QUrl::fromLocalFile(file).toString()} << QString();
        const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, 3000);
        if (reply.type() == QDBusMessage::ReplyMessage) return true;
    }
    const QString folder = QFileInfo(file).absolutePath();
    if (OpenUrl(QUrl::fromLocalFile(folder))) return true;
    ShowMessage(MessageOwner(), QStringLiteral("No file manager could show the folder \"%1\".").arg(folder),
                QMessageBox::Warning);
    return false;
}

namespace {
FolderPicker& Picker() {
    static FolderPicker picker;
    return picker;
}
}  // namespace

void SetFolderPicker(FolderPicker picker) { Picker() = std::move(picker); }

bool ChooseFolder(QWidget* owner, const QString& title, const QString& startFolder,
                  QString* result, int bufferBytes) {
    QString start = startFolder;
    while (start.size() > 1 && start.endsWith('/')) start.chop(1);
    const QString chosen =
        Picker() ? Picker()(title, start) : QFileDialog::getExistingDirectory(owner, title, start);
    if (chosen.isEmpty()) return false;
    QString folder = QDir::cleanPath(chosen);
    if (!folder.endsWith('/')) folder += '/';
    if (folder.toUtf8().size() >= bufferBytes) return false;
    *result = folder;
    return true;
}

namespace {
FilePicker& FilePickerHook() {
    static FilePicker picker;
    return picker;
}
}  // namespace

void SetFilePicker(FilePicker picker) { FilePickerHook() = std::move(picker); }

bool ShowFileDialog(QWidget* owner, const QString& filter, FileDialogMode mode,
                    const QString& defaultSuffix, QStringList* files) {
    if (files == nullptr) return false;
    if (FilePickerHook()) {
        const QStringList chosen = FilePickerHook()(filter, mode, *files);
        if (chosen.isEmpty()) return false;
        *files = chosen;
        return true;
    }
    QFileDialog dialog(owner);
    dialog.setNameFilter(filter);
    dialog.setOption(QFileDialog::ReadOnly, mode != FileDialogMode::Save);
    if (!defaultSuffix.isEmpty()) dialog.setDefaultSuffix(defaultSuffix);
    if (mode == FileDialogMode::Save) {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(mode == FileDialogMode::OpenMany ? QFileDialog::ExistingFiles
                                                            : QFileDialog::ExistingFile);
    }
    if (!files->isEmpty()) dialog.selectFile(files->first());
    for (;;) {
        if (dialog.exec() != QDialog::Accepted) return false;
        *files = dialog.selectedFiles();
        if (files->isEmpty()) return false;
        // A name typed into a folder that does not exist is refused here, not when the file
        // cannot be made.
        const QFileInfo chosen(files->first());
        if (mode != FileDialogMode::Save || chosen.absoluteDir().exists()) return true;
        ShowMessage(&dialog, QStringLiteral("The folder \"%1\" does not exist.").arg(chosen.absolutePath()),
                    QMessageBox::Warning);
        dialog.selectFile(chosen.fileName());
    }
}

void ProcessPendingEvents() {
    static QElapsedTimer last;
    if (last.isValid() && last.elapsed() < kPumpIntervalMs) return;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    last.start();
}

QFont DialogFont() {
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(11);
    return font;
}

void ApplyFont(QWidget* window, const QFont& font) {
    if (window == nullptr) return;
    window->setFont(font);
    for (QWidget* child : window->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
        child->setFont(font);
}

QIcon AppIcon() {
    QImageReader reader(QStringLiteral(":/icons/corvane-64.png"), "png");
    reader.setAutoDetectImageFormat(false);
    return QIcon(QPixmap::fromImage(reader.read()));
}

QIcon ArrowDownIcon(const QWidget* widget, int side) {
    const qreal ratio = widget->devicePixelRatioF();
    QPixmap pixmap(QSize(side, side) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    QStyleOption option;
    option.initFrom(widget);
    option.rect = QRect(0, 0, side, side);
    widget->style()->drawPrimitive(QStyle::PE_IndicatorArrowDown, &option, &painter, widget);
    painter.end();
    return QIcon(pixmap);
}

void BringToFront(QWidget* window) {
    if (window == nullptr) return;
    if (window->isMinimized()) window->showNormal();
    window->show();
    window->raise();
    window->activateWindow();
}

}  // namespace corvane
