// Entry point of the desktop program.
#include "app/MainApp.h"
#include "app/MainSheet.h"
#include "audio/AudioLibrary.h"

#include <QApplication>
#include <QPixmap>
#include <QTimer>

#include <cstring>

namespace {

// Developer options. "--quit-after-show": leave as soon as the window is on screen (start-up
// benchmarks). "--screenshot FILE": save a picture of the window once shown, then leave.
constexpr char kQuitAfterShow[] = "--quit-after-show";
constexpr char kScreenshot[] = "--screenshot";
constexpr int kScreenshotDelayMs = 500;

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
