// What the page tests share: the desktop replaced by recorders, a page shown and active, and
// its controls found by object name.
#pragma once

#include "audio/AudioLibrary.h"
#include "ui/MessageBox.h"
#include "ui/Shell.h"

#include <QApplication>
#include <QDir>
#include <QString>
#include <QUrl>
#include <QtTest>

#include <string>
#include <vector>

namespace corvane::test {

// Message boxes answer OK and are recorded in shown; the shell's opener succeeds and records
// each address in opened. Remove also restores the file and folder pickers.
struct CDesktopRecorder {
    std::vector<QString> shown;
    std::vector<QUrl> opened;

    void Install() {
        shown.clear();
        opened.clear();
        SetMessageHandler([this](const QString& text, QMessageBox::Icon) {
            shown.push_back(text);
            return QMessageBox::Ok;
        });
        SetShellOpener([this](const QUrl& url) {
            opened.push_back(url);
            return true;
        });
    }
    void Remove() {
        SetMessageHandler({});
        SetShellOpener({});
        SetFilePicker({});
        SetFolderPicker({});
    }
};

// Shows page as a window and waits until it is exposed and active, so that key presses and
// the focus reach its controls.
// The finished pieces in a folder, by name.
inline QStringList PiecesIn(const std::string& folder) {
    return QDir(QString::fromStdString(folder)).entryList({"*.mp3"}, QDir::Files, QDir::Name);
}

// The pieces a cut has written so far: until their source is done they wait under hidden
// temporary names.
inline QStringList PendingPiecesIn(const std::string& folder) {
    return QDir(QString::fromStdString(folder)).entryList({".corvane-*.part"}, QDir::Files | QDir::Hidden);
}

inline void ShowActive(QWidget* page) {
    page->show();
    if (!QTest::qWaitForWindowExposed(page)) qWarning("page not exposed");
    page->activateWindow();
    if (!QTest::qWaitForWindowActive(page)) qWarning("page not active");
}

// The control of page named name; the test stops when there is none.
template <typename T = QWidget>
T* FindControl(QWidget* page, const char* name) {
    T* widget = page->findChild<T*>(QString::fromLatin1(name));
    if (widget == nullptr) qFatal("no control %s", name);
    return widget;
}

constexpr int kNoSoundDevice = 0;
constexpr int kDefaultOutputDevice = -1;
constexpr uint32_t kOutputRate = 44100;

// The audio library on the default output device (SDL's dummy driver in the tests) while it
// lives, then on the no-sound device again.
struct OutputDevice {
    bool ok = false;
    OutputDevice() {
        audio::Free();
        ok = audio::Init(kDefaultOutputDevice, kOutputRate);
        if (!ok) audio::Init(kNoSoundDevice, kOutputRate);
    }
    ~OutputDevice() {
        audio::Free();
        audio::Init(kNoSoundDevice, kOutputRate);
    }
};

}  // namespace corvane::test
