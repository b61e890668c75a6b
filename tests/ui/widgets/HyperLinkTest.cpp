// Hyperlink control, shell error texts and the about page's addresses.
#include "TestEnvironment.h"

#include "ui/widgets/HyperLink.h"
#include "ui/MessageBox.h"
#include "ui/Shell.h"
#include "ui/pages/PageAbout.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QUrlQuery>
#include <vector>

using namespace corvane;

class HyperLinkTest : public QObject {
    Q_OBJECT
    std::vector<QString> messages_;
    std::vector<QUrl> opened_;
    bool openWorks_ = true;

private Q_SLOTS:
    void init() {
        test::UseFreshSettings();
        messages_.clear();
        opened_.clear();
        openWorks_ = true;
        SetMessageHandler([this](const QString& text, QMessageBox::Icon icon) {
            messages_.push_back(text);
            return QMessageBox::Ok;
        });
        SetShellOpener([this](const QUrl& url) {
            opened_.push_back(url);
            return openWorks_;
        });
    }
    void cleanup() {
        SetMessageHandler({});
        SetShellOpener({});
    }

    void colourFollowsHoverAndVisit() {
        CHyperLink link("Visit", "https://example.org/");
        QCOMPARE(link.CurrentColour(), QColor(0, 0, 238));
        QMouseEvent move(QEvent::MouseMove, QPointF(1, 1), QPointF(1, 1), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(&link, &move);
        QVERIFY(link.IsHovered());
        QCOMPARE(link.CurrentColour(), QColor(255, 0, 0));
        QVERIFY(link.font().underline());  // mode -1: underlined while hovered
        link.Follow();
        QVERIFY(link.IsVisited());
        QVERIFY(!link.IsHovered());
        QCOMPARE(link.CurrentColour(), QColor(85, 26, 139));
        QCOMPARE(opened_.size(), size_t(1));
        QCOMPARE(opened_[0], QUrl("https://example.org/"));
        QVERIFY(messages_.empty());
    }

    void underlineModes() {
        CHyperLink link("Visit", "https://example.org/");
        QVERIFY(!link.font().underline());
        link.SetUnderline(CHyperLink::kUnderlineAlways);
        QVERIFY(link.font().underline());
        link.SetUnderline(CHyperLink::kUnderlineNever);
        QVERIFY(!link.font().underline());
    }

    void emptyTargetTakesTheTextAndTheSizeFollowsTheText() {
        CHyperLink link("https://example.org/x", "");
        QCOMPARE(link.Target(), QString("https://example.org/x"));
        QCOMPARE(link.toolTip(), link.Target());
        CHyperLink fromTarget("", "mailto:a@b.c");
        QCOMPARE(fromTarget.text(), QString("mailto:a@b.c"));
        const int before = link.width();
        link.setText("https://example.org/a-much-longer-address");
        link.AutoSize();
        QVERIFY(link.width() > before);
    }

    void failedOpenShowsTheHyperlinkMessage() {
        openWorks_ = false;
        CHyperLink link("Visit", "https://example.org/");
        link.Follow();
        QVERIFY(!link.IsVisited());
        QCOMPARE(messages_.size(), size_t(1));
        QCOMPARE(messages_[0], QString("Unable to open hyperlink:\n\n"
                                       "There is no application associated\nwith the given filename extension."));
    }

    void shellErrorTexts() {
        QCOMPARE(ShellErrorText(26), QString("A sharing violation occurred. "));
        QCOMPARE(ShellErrorText(0), QString("The operating system is out\nof memory or resources."));
        QCOMPARE(ShellErrorText(99), QString("Unknown Error (99) occurred."));
        QCOMPARE(ShellErrorText(1), QString("Unknown Error (1) occurred."));
    }

    void shellUrlKeepsAddressesAndMakesFilesLocal() {
        QCOMPARE(ShellUrl("mailto:x@y.z"), QUrl("mailto:x@y.z"));
        QCOMPARE(ShellUrl("https://a.b/c?d=1"), QUrl("https://a.b/c?d=1"));
        QCOMPARE(ShellUrl("/music/a b.mp3"), QUrl::fromLocalFile("/music/a b.mp3"));
    }

    void aboutPageAddresses() {
        QCOMPARE(CPageAbout::UpdateAddress(),
                 QString("https://corvane.example.org/checkforupdates/?ver=3.2&build=1628"));
        const QUrl mail(CPageAbout::TellAFriendAddress());
        QCOMPARE(mail.scheme(), QString("mailto"));
        QVERIFY(mail.path().isEmpty());
        const QUrlQuery query(mail);
        QCOMPARE(query.queryItemValue("subject", QUrl::FullyDecoded), QString("Corvane - very COOL application!!!"));
        QCOMPARE(query.queryItemValue("body", QUrl::FullyDecoded), QString("Download from https://corvane.example.org/"));
        QCOMPARE(CPageAbout::SupportAddress(), QString("mailto:support@corvane.example.org"));
    }

    void aboutPageShowsVersionLinksAndButtons() {
        CPageAbout page;
        page.show();
        QVERIFY(page.IsInitialised());
        QStringList texts;
        for (QLabel* l : page.findChildren<QLabel*>()) texts << l->text();
        QVERIFY(texts.contains("Corvane v3.2 build 1628"));
        QVERIFY(texts.contains("Visit Corvane Homepage"));
        QVERIFY(texts.contains("Feedback and Support"));
        QCOMPARE(page.HomeLink()->Underline(), CHyperLink::kUnderlineAlways);
        QStringList buttons;
        for (QPushButton* b : page.findChildren<QPushButton*>()) buttons << b->text();
        QCOMPARE(buttons, (QStringList{"&Help Topics", "&Check for Updates", "&Tell a Friend"}));
        // The buttons keep their distance from the right edge.
        QPushButton* help = page.findChildren<QPushButton*>().first();
        const int gap = page.width() - help->geometry().right();
        page.resize(page.size() + QSize(120, 40));
        QApplication::processEvents();
        QCOMPARE(page.width() - help->geometry().right(), gap);
        page.OnCheckForUpdates();
        page.OnTellAFriend();
        QCOMPARE(opened_.size(), size_t(2));
        QCOMPARE(opened_[0].toString(), CPageAbout::UpdateAddress());
        QVERIFY(messages_.empty());
        // Without a program for them the buttons say so.
        openWorks_ = false;
        page.OnCheckForUpdates();
        QCOMPARE(messages_, (std::vector<QString>{"No program could open \"" + CPageAbout::UpdateAddress() + "\"."}));
    }
};

CORVANE_TEST_MAIN(HyperLinkTest)
#include "HyperLinkTest.moc"
