// The application object: start-up, the main window and its pages, help, exit.
//
// Start-up order: the engine's message pump (the Qt event processing), window settings,
// audio library version, audio output (the default device, else the no-sound device), the
// audio library's settings (ConfigureAudioLibrary, as corvane-cli sets them), first-run
// help, the main window with its seven pages at the remembered place. Exit order: help window
// closed, window settings written, window and pages deleted, audio library stopped, message
// pump removed.
#pragma once

#include "ui/SettingsStore.h"

#include <QObject>
#include <QPointer>
#include <QStringList>

#include <cstdint>

namespace corvane {

class CHelpWindow;
class CMainSheet;
class CPageAbout;
class CPageBatchJoiner;
class CPageBatchSplitter;
class CPageJoiner;
class CPageJoinerOpt;
class CPageSplitter;
class CPageSplitterOpt;

// The audio library's start-up calls. The program passes the library's own functions; tests
// pass stand-ins.
struct AudioStartup {
    uint32_t (*getVersion)() = nullptr;
    bool (*init)(int device, uint32_t freq) = nullptr;
    bool (*setConfig)(uint32_t option, uint32_t value) = nullptr;
    bool (*free)() = nullptr;
};

constexpr uint32_t kAudioVersionMajor = 0x0204;   // the high 16 bits GetVersion must give
constexpr int kDefaultOutputDevice = -1;
constexpr int kNoSoundDevice = 0;
constexpr uint32_t kOutputRate = 44100;

class CMainApp : public QObject {
    Q_OBJECT
public:
    // One application object at a time; Instance() returns it.
    explicit CMainApp(AudioStartup audio);
    ~CMainApp() override;
    static CMainApp* Instance();

    // Starts the program and shows the main window. False ends the process at once: a wrong
    // audio library version (silently), or no audio device at all (after "Failed to
    // initialize the program (0x0002020).").
    bool InitInstance();
    // Writes the window settings, deletes the window and pages, stops the audio library.
    // Returns the process exit code.
    int ExitInstance();

    // Raises the help window when it is open, else opens it.
    void Help();
    // Files given on the command line or handed over by a later start: one opens on the
    // cutter page, several are listed on the joiner page; the window comes to the front.
    void OpenFiles(const QStringList& files);

    CMainSheet* Sheet() const;
    CPageSplitter* PageSplitter() const;
    CPageBatchSplitter* PageBatchSplitter() const;
    CPageJoiner* PageJoiner() const;
    CPageBatchJoiner* PageBatchJoiner() const;
    CPageSplitterOpt* PageSplitterOpt() const;
    CPageJoinerOpt* PageJoinerOpt() const;
    CPageAbout* PageAbout() const;
    // 1 when sound plays on the default output device, 0 on the no-sound device.
    int SoundOutput() const { return soundOutput_; }
    CHelpWindow* HelpWindow() const;

private:
    void OpenHelp(bool maximised);

    AudioStartup audio_;
    bool audioStarted_ = false;
    QPointer<CMainSheet> sheet_;
    QPointer<CPageSplitter> pageSplitter_;
    QPointer<CPageBatchSplitter> pageBatchSplitter_;
    QPointer<CPageJoiner> pageJoiner_;
    QPointer<CPageBatchJoiner> pageBatchJoiner_;
    QPointer<CPageSplitterOpt> pageSplitterOpt_;
    QPointer<CPageJoinerOpt> pageJoinerOpt_;
    QPointer<CPageAbout> pageAbout_;
    int soundOutput_ = 0;
    int startPage_ = 0;
    WindowSettings window_;
    QPointer<CHelpWindow> helpWindow_;
};

}  // namespace corvane
