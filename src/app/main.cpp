// Entry point of the desktop program.
#include "app/MainApp.h"
#include "app/MainSheet.h"
#include "app/SingleInstance.h"
#include "audio/AudioLibrary.h"
#include "ui/pages/PageBatchJoiner.h"
#include "ui/pages/PageBatchSplitter.h"
#include "ui/pages/PageJoiner.h"
#include "ui/pages/PageSplitter.h"
#include "ui/widgets/WaveformStrip.h"

#include <QApplication>
#include <QPixmap>
#include <QPushButton>
#include <QSlider>
#include <QStringList>
#include <QTabWidget>
#include <QTimer>

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

// Developer options. "--quit-after-show": leave as soon as the window is on screen (start-up
// benchmarks). "--screenshot FILE": save a picture of the window once shown, then leave.
constexpr char kQuitAfterShow[] = "--quit-after-show";
constexpr char kScreenshot[] = "--screenshot";
constexpr int kScreenshotDelayMs = 500;
// "--open FILE": open FILE on the cutter page. "--pieces S,S,...": then add a piece at each
// of those seconds, as the slider and "&Add Piece" would.
constexpr char kOpen[] = "--open";
constexpr char kPieces[] = "--pieces";
// "--position S": then move the cutter page's slider to S seconds, as the time box would.
constexpr char kPosition[] = "--position";
// "--zoom S,S": then show that stretch (seconds) of the cutter page's waveform.
constexpr char kZoom[] = "--zoom";
// "--join FILE...": show the joiner page with the files (up to the next option) listed.
constexpr char kJoin[] = "--join";
// "--batch-cut FILE...": show the batch cutter page with the files (up to the next option) listed.
constexpr char kBatchCut[] = "--batch-cut";
// "--batch-join MAIN... --with FILE...": show the batch joiner page with the main files and
// the joined files (each up to the next option) listed.
constexpr char kBatchJoin[] = "--batch-join";
constexpr char kWith[] = "--with";

constexpr char kUsage[] =
    "Usage: corvane [FILE...]\n"
    "Opens the Corvane window: one MP3 file on the MP3 Cutter page, several on the MP3 Joiner\n"
    "page. When Corvane already runs on this display, the files go to its window.\n";

// The arguments that are no options: the files to open.
QStringList FilesOf(int argc, char** argv) {
    QStringList files;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--", 2) == 0) return {};  // developer options: no files, no hand-off
        files << QString::fromLocal8Bit(argv[i]);
    }
    return files;
}

// True when argv holds only files (or nothing): a start a running window can take over.
bool OnlyFiles(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--", 2) == 0) return false;
    }
    return true;
}

// Moves the cutter page's slider to seconds (rounded to the tenth); false without a slider.
bool MoveTo(corvane::CPageSplitter* page, const QString& seconds) {
    auto* slider = page->findChild<QSlider*>(QStringLiteral("positionSlider"));
    if (slider == nullptr) return false;
    slider->setValue(static_cast<int>(std::lround(seconds.toDouble() * 10)));
    return true;
}

void Zoom(corvane::CPageSplitter* page, const QString& stretch) {
    auto* strip = page->findChild<corvane::CWaveformStrip*>(QStringLiteral("waveformStrip"));
    const QStringList ends = stretch.split(',');
    if (strip != nullptr && ends.size() == 2) strip->ShowStretch(ends[0].toDouble(), ends[1].toDouble());
}

void AddPieces(corvane::CPageSplitter* page, const QString& seconds) {
    auto* add = page->findChild<QPushButton*>(QStringLiteral("addButton"));
    if (add == nullptr) return;
    for (const QString& s : seconds.split(',', Qt::SkipEmptyParts)) {
        if (MoveTo(page, s)) add->click();
    }
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Corvane"));
    QApplication::setOrganizationName(QStringLiteral("Corvane"));
    QApplication::setApplicationVersion(QStringLiteral("3.2.1628"));
    QApplication::setDesktopFileName(QStringLiteral("corvane"));
    QApplication::setQuitOnLastWindowClosed(false);

    corvane::AudioStartup audio;
    audio.getVersion = &corvane::audio::GetVersion;
    audio.init = &corvane::audio::Init;
    audio.setConfig = &corvane::audio::SetConfig;
    audio.free = &corvane::audio::Free;

    const QString instance = corvane::InstanceName();
    const bool plainStart = OnlyFiles(argc, argv);
    if (plainStart && corvane::HandOffToRunning(instance, FilesOf(argc, argv))) return 0;

    corvane::CMainApp mainApp(audio);
    if (!mainApp.InitInstance()) {
        mainApp.ExitInstance();
        return 1;
    }
    corvane::CInstanceServer server;
    if (plainStart && server.Listen(instance)) {
        QObject::connect(&server, &corvane::CInstanceServer::FilesReceived, &mainApp,
                         [&mainApp](const QStringList& files) { mainApp.OpenFiles(files); });
    }
    if (plainStart) mainApp.OpenFiles(FilesOf(argc, argv));
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], kQuitAfterShow) == 0)
            QTimer::singleShot(0, mainApp.Sheet(), [&mainApp] { mainApp.Sheet()->close(); });
        if (std::strcmp(argv[i], kOpen) == 0 && i + 1 < argc)
            mainApp.PageSplitter()->OpenSourceFile(QString::fromLocal8Bit(argv[++i]));
        if (std::strcmp(argv[i], kPieces) == 0 && i + 1 < argc)
            AddPieces(mainApp.PageSplitter(), QString::fromLocal8Bit(argv[++i]));
        if (std::strcmp(argv[i], kPosition) == 0 && i + 1 < argc)
            MoveTo(mainApp.PageSplitter(), QString::fromLocal8Bit(argv[++i]));
        if (std::strcmp(argv[i], kZoom) == 0 && i + 1 < argc)
            Zoom(mainApp.PageSplitter(), QString::fromLocal8Bit(argv[++i]));
        if (std::strcmp(argv[i], kJoin) == 0) {
            QStringList files;
            while (i + 1 < argc && std::strncmp(argv[i + 1], "--", 2) != 0) files << QString::fromLocal8Bit(argv[++i]);
            mainApp.Sheet()->ShowPage(mainApp.PageJoiner());
            mainApp.PageJoiner()->AddPaths(files);
        }
        if (std::strcmp(argv[i], kBatchCut) == 0) {
            QStringList files;
            while (i + 1 < argc && std::strncmp(argv[i + 1], "--", 2) != 0) files << QString::fromLocal8Bit(argv[++i]);
            mainApp.Sheet()->ShowPage(mainApp.PageBatchSplitter());
            mainApp.PageBatchSplitter()->AddPaths(files);
        }
        if (std::strcmp(argv[i], kBatchJoin) == 0 || std::strcmp(argv[i], kWith) == 0) {
            const bool mainFiles = std::strcmp(argv[i], kBatchJoin) == 0;
            QStringList files;
            while (i + 1 < argc && std::strncmp(argv[i + 1], "--", 2) != 0) files << QString::fromLocal8Bit(argv[++i]);
            mainApp.Sheet()->ShowPage(mainApp.PageBatchJoiner());
            if (mainFiles)
                mainApp.PageBatchJoiner()->AddMainFiles(files);
            else
                mainApp.PageBatchJoiner()->AddJoinedFiles(files);
        }
        if (std::strcmp(argv[i], kScreenshot) == 0 && i + 1 < argc) {
            const QString file = QString::fromLocal8Bit(argv[++i]);
            QTimer::singleShot(kScreenshotDelayMs, mainApp.Sheet(), [&mainApp, file] {
                mainApp.Sheet()->grab().save(file);
                mainApp.Sheet()->close();
            });
        }
    }
    QApplication::exec();
    return mainApp.ExitInstance();
}
