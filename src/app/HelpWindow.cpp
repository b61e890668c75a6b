// The in-process help window.
#include "app/HelpWindow.h"

#include "ui/Shell.h"

#include <QIcon>
#include <QUrl>

namespace corvane {
namespace {

constexpr char kGuideUrl[] = "qrc:/help/index.html";
constexpr int kDefaultWidth = 760;
constexpr int kDefaultHeight = 600;

}  // namespace

CHelpWindow::CHelpWindow() : QTextBrowser(nullptr) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QString::fromLatin1(kHelpWindowTitle));
    setWindowIcon(AppIcon());
    setOpenLinks(true);
    setOpenExternalLinks(false);
    connect(this, &QTextBrowser::anchorClicked, this, [this](const QUrl& url) {
        if (url.scheme() == "http" || url.scheme() == "https" || url.scheme() == "mailto") {
            OpenWithShell(url.toString());
            setSource(source());  // stay on the page
        }
    });
    setSource(QUrl(QString::fromLatin1(kGuideUrl)));
    resize(kDefaultWidth, kDefaultHeight);
}

}  // namespace corvane
