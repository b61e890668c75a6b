// The about page.
#include "ui/pages/PageAbout.h"

#include "engine/base/Deployment.h"
#include "ui/widgets/HyperLink.h"
#include "ui/Shell.h"

#include <QApplication>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QUrl>

namespace corvane {
namespace {

constexpr int kIconPixels = 48;

// Places of the controls, in dialog units.
constexpr int kMargin = 7;
constexpr int kTextLeft = 44;
constexpr int kButtonWidth = 90;
constexpr int kButtonHeight = 14;
constexpr int kButtonGap = 4;

constexpr char kTellSubject[] = "Corvane - very COOL application!!!";
constexpr char kTellBodyStart[] = "Download from ";

QString Encoded(const QString& text) { return QString::fromLatin1(QUrl::toPercentEncoding(text)); }

}  // namespace

CPageAbout::CPageAbout(QWidget* parent)
    : CResizablePage(QStringLiteral("About"), parent) {}

QString CPageAbout::UpdateAddress() {
    return QString::fromLatin1(kUpdatePage) + QString::fromLatin1(kVersionQuery);
}

QString CPageAbout::TellAFriendAddress() {
    return QStringLiteral("mailto:?subject=") + Encoded(QString::fromLatin1(kTellSubject)) +
           QStringLiteral("&body=") +
           Encoded(QString::fromLatin1(kTellBodyStart) + QString::fromLatin1(kHomePage));
}

QString CPageAbout::SupportAddress() {
    return QStringLiteral("mailto:") + QString::fromLatin1(kSupportMail);
}

void CPageAbout::OnInitPage() {
    auto* icon = new QLabel(this);
    icon->setPixmap(AppIcon().pixmap(kIconPixels, kIconPixels));
    const QRect iconRect = DluRect(kMargin, kMargin, 30, 30);
    icon->setGeometry(iconRect.x(), iconRect.y(), kIconPixels, kIconPixels);

    auto* name = new QLabel(QString::fromLatin1(kVersionText), this);
    QFont bold = font();
    bold.setBold(true);
    name->setFont(bold);
    name->setGeometry(DluRect(kTextLeft, 10, 200, 10));

    homeLink_ = new CHyperLink(QStringLiteral("Visit Corvane Homepage"),
                               QString::fromLatin1(kHomePage), this);
    homeLink_->move(DluRect(kTextLeft, 28, 0, 0).topLeft());
    supportLink_ = new CHyperLink(QStringLiteral("Feedback and Support"), SupportAddress(), this);
    supportLink_->move(DluRect(kTextLeft, 42, 0, 0).topLeft());
    homeLink_->SetUnderline(CHyperLink::kUnderlineAlways);
    supportLink_->SetUnderline(CHyperLink::kUnderlineAlways);

    const int buttonLeft = kPageDesignWidth - kMargin - kButtonWidth;
    const char* const captions[] = {"&Help Topics", "&Check for Updates", "&Tell a Friend"};
    QPushButton* buttons[3];
    for (int i = 0; i < 3; ++i) {
        buttons[i] = new QPushButton(QString::fromLatin1(captions[i]), this);
        buttons[i]->setGeometry(DluRect(buttonLeft, kMargin + i * (kButtonHeight + kButtonGap),
                                        kButtonWidth, kButtonHeight));
        Layout()->AddAnchor(buttons[i], kTopRight);
    }
    connect(buttons[0], &QPushButton::clicked, this, &CPageAbout::OnHelpTopics);
    connect(buttons[1], &QPushButton::clicked, this, &CPageAbout::OnCheckForUpdates);
    connect(buttons[2], &QPushButton::clicked, this, &CPageAbout::OnTellAFriend);
}

void CPageAbout::OnHelpTopics() {
    Q_EMIT HelpRequested();
}

void CPageAbout::OnCheckForUpdates() {
    WithWaitCursor([] { OpenDocument(UpdateAddress()); });
}

void CPageAbout::OnTellAFriend() {
    WithWaitCursor([] { OpenDocument(TellAFriendAddress()); });
}

}  // namespace corvane
