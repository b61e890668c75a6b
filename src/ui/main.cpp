// Entry point of the desktop program.
#include "app/MainApp.h"
#include "app/MainSheet.h"
#include "audio/AudioLibrary.h"

#include <QApplication>
#include <QTimer>

#include <cstring>

namespace {

// "--quit-after-show": leave as soon as the window is on screen (start-up benchmarks).
constexpr char kQuitAfterShow[] = "--quit-after-show";

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
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], kQuitAfterShow) == 0)
            QTimer::singleShot(0, mainApp.Sheet(), [&mainApp] { mainApp.Sheet()->close(); });
    QApplication::exec();
    return mainApp.ExitInstance();
}
