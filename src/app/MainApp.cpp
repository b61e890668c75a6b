// The application object.
#include "app/MainApp.h"

#include "app/HelpWindow.h"
#include "app/MainSheet.h"
#include "audio/AudioStartup.h"
#include "engine/Progress.h"
#include "engine/base/Deployment.h"
#include "ui/MessageBox.h"
#include "ui/Shell.h"
#include "ui/pages/PageAbout.h"
#include "ui/pages/PageBatchJoiner.h"
#include "ui/pages/PageBatchSplitter.h"
#include "ui/pages/PageJoiner.h"
#include "ui/pages/PageJoinerOpt.h"
#include "ui/pages/PageSplitter.h"
#include "ui/pages/PageSplitterOpt.h"

#include <QApplication>
#include <QCoreApplication>
#include <QTabWidget>

static void InitCorvaneResources() { Q_INIT_RESOURCE(corvane); }

namespace corvane {
namespace {

CMainApp* g_instance = nullptr;

constexpr char kInitFailed[] = "Failed to initialize the program (0x0002020).";

}  // namespace

CMainApp::CMainApp(AudioStartup audio) : audio_(audio) {
    InitCorvaneResources();
    g_instance = this;
}

CMainApp::~CMainApp() {
    if (sheet_ || helpWindow_) ExitInstance();
    if (g_instance == this) g_instance = nullptr;
}

CMainApp* CMainApp::Instance() { return g_instance; }

CMainSheet* CMainApp::Sheet() const { return sheet_; }
CPageSplitter* CMainApp::PageSplitter() const { return pageSplitter_; }

void CMainApp::OpenFiles(const QStringList& files) {
    if (!sheet_) return;
    if (files.size() == 1) {
        sheet_->ShowPage(pageSplitter_);
        QString failure;
        if (!pageSplitter_->OpenSourceFile(files.front(), &failure)) ShowMessage(sheet_, failure, QMessageBox::Warning);
    } else if (files.size() > 1) {
        sheet_->ShowPage(pageJoiner_);
        pageJoiner_->AddPaths(files);
    }
    if (sheet_->isMinimized()) sheet_->showNormal();
    sheet_->raise();
    sheet_->activateWindow();
}
CPageBatchSplitter* CMainApp::PageBatchSplitter() const { return pageBatchSplitter_; }
CPageJoiner* CMainApp::PageJoiner() const { return pageJoiner_; }
CPageBatchJoiner* CMainApp::PageBatchJoiner() const { return pageBatchJoiner_; }
CPageSplitterOpt* CMainApp::PageSplitterOpt() const { return pageSplitterOpt_; }
CPageJoinerOpt* CMainApp::PageJoinerOpt() const { return pageJoinerOpt_; }
CPageAbout* CMainApp::PageAbout() const { return pageAbout_; }
CHelpWindow* CMainApp::HelpWindow() const { return helpWindow_; }

bool CMainApp::InitInstance() {
    // Engine work keeps the windows responsive through the Qt event processing.
    SetMessagePump(&ProcessPendingEvents);
    // Window state as stored (maximised, no rectangle, first page when nothing is stored).
    window_ = WindowSettings{};
    window_.Load();
    startPage_ = window_.startPage;

    if (audio_.getVersion == nullptr || (audio_.getVersion() >> 16) != kAudioVersionMajor) return false;
    if (audio_.init(kDefaultOutputDevice, kOutputRate)) {
        soundOutput_ = 1;
    } else {
        soundOutput_ = 0;
        if (!audio_.init(kNoSoundDevice, kOutputRate)) {
            ShowMessage(nullptr, QString::fromLatin1(kInitFailed), QMessageBox::Critical);
            return false;
        }
    }
    audioStarted_ = true;
    audio::ConfigureAudioLibrary(audio_.setConfig);

    if (CheckFirstRun()) OpenHelp(true);

    sheet_ = new CMainSheet(QString::fromLatin1(kProductName));
    pageSplitter_ = new CPageSplitter;
    pageBatchSplitter_ = new CPageBatchSplitter;
    pageJoiner_ = new CPageJoiner;
    pageBatchJoiner_ = new CPageBatchJoiner;
    pageSplitterOpt_ = new CPageSplitterOpt;
    pageJoinerOpt_ = new CPageJoinerOpt;
    pageAbout_ = new CPageAbout;
    pageSplitter_->SetOptionsSource(&pageSplitterOpt_->Settings().options);
    pageJoiner_->SetOptionsSource(&pageJoinerOpt_->Settings().options);
    pageBatchJoiner_->SetOptionsSource(&pageJoinerOpt_->Settings().options);
    pageBatchSplitter_->SetOptionsSource(&pageSplitterOpt_->Settings().options);
    pageSplitter_->SetSoundOutput(soundOutput_ != 0);
    sheet_->AddPage(pageSplitter_);
    sheet_->AddPage(pageBatchSplitter_);
    sheet_->AddPage(pageJoiner_);
    sheet_->AddPage(pageBatchJoiner_);
    sheet_->AddPage(pageSplitterOpt_);
    sheet_->AddPage(pageJoinerOpt_);
    sheet_->AddPage(pageAbout_);
    connect(pageAbout_, &CPageAbout::HelpRequested, this, &CMainApp::Help);
    connect(sheet_, &CMainSheet::WindowDestroyed, qApp, &QCoreApplication::quit, Qt::QueuedConnection);

    sheet_->SetStartPage(startPage_);
    sheet_->Create();
    if (!window_.rect.IsEmpty()) {
        const WindowRect& r = window_.rect;
        sheet_->setGeometry(r.left, r.top, r.right - r.left, r.bottom - r.top);
    }
    if (window_.maximized != 0)
        sheet_->showMaximized();
    else
        sheet_->show();
    return true;
}

int CMainApp::ExitInstance() {
    if (helpWindow_) helpWindow_->close();
    if (sheet_) {
        sheet_->DestroyWindow();
        startPage_ = sheet_->RecordedActivePage();
        window_.startPage = startPage_;
        window_.maximized = sheet_->RecordedMaximized();
        window_.rect = sheet_->RecordedRect();
        window_.Save();
        // The pages are the tabs' children and go with the window.
        delete sheet_;
    }
    delete pageSplitter_;
    delete pageBatchSplitter_;
    delete pageJoiner_;
    delete pageBatchJoiner_;
    delete pageSplitterOpt_;
    delete pageJoinerOpt_;
    delete pageAbout_;
    if (audioStarted_) {
        audio_.free();
        audioStarted_ = false;
    }
    SetMessagePump(nullptr);
    return 0;
}

void CMainApp::Help() {
    if (helpWindow_) {
        BringToFront(helpWindow_);
        return;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    OpenHelp(false);
    QApplication::restoreOverrideCursor();
}

void CMainApp::OpenHelp(bool maximised) {
    helpWindow_ = new CHelpWindow;
    if (maximised)
        helpWindow_->showMaximized();
    else
        helpWindow_->show();
}

}  // namespace corvane
