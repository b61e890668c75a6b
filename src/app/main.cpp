// Entry point of the desktop program.
#include "app/MainApp.h"
#include "app/MainSheet.h"
#include "audio/AudioLibrary.h"
#include "ui/pages/PageBatchJoiner.h"
#include "ui/pages/PageBatchSplitter.h"
#include "ui/pages/PageJoiner.h"
#include "ui/pages/PageSplitter.h"

#include <QApplication>
#include <QPixmap>
#include <QPushButton>
#include <QSlider>
#include <QStringList>
#include <QTabWidget>
#include <QTimer>

#include <cmath>
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
// "--join FILE...": show the joiner page with the files (up to the next option) listed.
constexpr char kJoin[] = "--join";
// "--batch-cut FILE...": show the batch cutter page with the files (up to the next option) listed.
constexpr char kBatchCut[] = "--batch-cut";
// "--batch-join MAIN... --with FILE...": show the batch joiner page with the main files and
// the joined files (each up to the next option) listed.
constexpr char kBatchJoin[] = "--batch-join";
constexpr char kWith[] = "--with";

// Moves the cutter page's slider to seconds (rounded to the tenth); false without a slider.
bool MoveTo(corvane::CPageSplitter* page, const QString& seconds) {
    auto* slider = page->findChild<QSlider*>(QStringLiteral("positionSlider"));
    if (slider == nullptr) return false;
    slider->setValue(static_cast<int>(std::lround(seconds.toDouble() * 10)));
    return true;
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

    corvane::CMainApp mainApp(audio);
    if (!mainApp.InitInstance()) {
        mainApp.ExitInstance();
        return 1;
    }
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], kQuitAfterShow) == 0)
            QTimer::singleShot(0, mainApp.Sheet(), [&mainApp] { mainApp.Sheet()->close(); });
        if (std::strcmp(argv[i], kOpen) == 0 && i + 1 < argc)
            mainApp.PageSplitter()->OpenSourceFile(QString::fromLocal8Bit(argv[++i]));
        if (std::strcmp(argv[i], kPieces) == 0 && i + 1 < argc)
            AddPieces(mainApp.PageSplitter(), QString::fromLocal8Bit(argv[++i]));
        if (std::strcmp(argv[i], kPosition) == 0 && i + 1 < argc)
            MoveTo(mainApp.PageSplitter(), QString::fromLocal8Bit(argv[++i]));
        if (std::strcmp(argv[i], kJoin) == 0) {
            QStringList files;
            while (i + 1 < argc && std::strncmp(argv[i + 1], "--", 2) != 0) files << QString::fromLocal8Bit(argv[++i]);
            mainApp.Sheet()->Tabs()->setCurrentWidget(mainApp.PageJoiner());
            mainApp.PageJoiner()->AddPaths(files);
        }
        if (std::strcmp(argv[i], kBatchCut) == 0) {
            QStringList files;
            while (i + 1 < argc && std::strncmp(argv[i + 1], "--", 2) != 0) files << QString::fromLocal8Bit(argv[++i]);
            mainApp.Sheet()->Tabs()->setCurrentWidget(mainApp.PageBatchSplitter());
            mainApp.PageBatchSplitter()->AddPaths(files);
        }
        if (std::strcmp(argv[i], kBatchJoin) == 0 || std::strcmp(argv[i], kWith) == 0) {
            const bool mainFiles = std::strcmp(argv[i], kBatchJoin) == 0;
            QStringList files;
            while (i + 1 < argc && std::strncmp(argv[i + 1], "--", 2) != 0) files << QString::fromLocal8Bit(argv[++i]);
            mainApp.Sheet()->Tabs()->setCurrentWidget(mainApp.PageBatchJoiner());
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
