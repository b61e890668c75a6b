// The "ID3 tag" dialog, driven through its own controls.
#include "TestEnvironment.h"

#include "audio/GenreTable.h"
#include "ui/MessageBox.h"
#include "ui/widgets/Id3TagDialog.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>

#include <vector>

using namespace corvane;

class Id3TagDialogTest : public QObject {
    Q_OBJECT
    std::vector<QString> messages_;

    static TagFields Sample() {
        TagFields tags;
        tags.track = 7;
        tags.title = "Title";
        tags.artist = "Artist";
        tags.album = "Album";
        tags.year = "1999";
        tags.genre = "Jazz";
        tags.comment = "Line one\nline two";
        return tags;
    }
    template <typename Control>
    static Control* Find(CId3TagDialog& dialog, const char* name) {
        auto* control = dialog.findChild<Control*>(QString::fromLatin1(name));
        if (!control) qFatal("no control %s", name);
        return control;
    }
    static void TypeTrack(CId3TagDialog& dialog, const QString& text) {
        auto* box = Find<QLineEdit>(dialog, "track");
        box->setFocus();
        box->selectAll();
        QTest::keyClick(box, Qt::Key_Delete);
        QTest::keyClicks(box, text);
    }
    static void PressOk(CId3TagDialog& dialog) {
        QTest::mouseClick(Find<QPushButton>(dialog, "ok"), Qt::LeftButton);
    }

private Q_SLOTS:
    void init() {
        messages_.clear();
        SetMessageHandler([this](const QString& text, QMessageBox::Icon) {
            messages_.push_back(text);
            return QMessageBox::Ok;
        });
    }
    void cleanup() { SetMessageHandler({}); }

    void showsTheFieldsItIsGiven() {
        CId3TagDialog dialog(Sample(), nullptr);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("ID3 tag"));
        QCOMPARE(Find<QLineEdit>(dialog, "track")->text(), QStringLiteral("7"));
        QCOMPARE(Find<QLineEdit>(dialog, "title")->text(), QStringLiteral("Title"));
        QCOMPARE(Find<QLineEdit>(dialog, "artist")->text(), QStringLiteral("Artist"));
        QCOMPARE(Find<QLineEdit>(dialog, "album")->text(), QStringLiteral("Album"));
        QCOMPARE(Find<QLineEdit>(dialog, "year")->text(), QStringLiteral("1999"));
        QCOMPARE(Find<QComboBox>(dialog, "genre")->currentText(), QStringLiteral("Jazz"));
        QCOMPARE(Find<QPlainTextEdit>(dialog, "comment")->toPlainText(), QStringLiteral("Line one\nline two"));
    }

    // Each label's letter reaches its own box: Alt+T the title, Alt+R the track.
    void mnemonicsReachTheirOwnBoxes() {
        CId3TagDialog dialog(Sample(), nullptr);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        QTest::keyClick(&dialog, Qt::Key_T, Qt::AltModifier);
        QCOMPARE(QApplication::focusWidget(), Find<QLineEdit>(dialog, "title"));
        QTest::keyClick(&dialog, Qt::Key_R, Qt::AltModifier);
        QCOMPARE(QApplication::focusWidget(), Find<QLineEdit>(dialog, "track"));
    }

    void genreListIsSortedAndCarriesTableNumbers() {
        CId3TagDialog dialog;
        auto* genres = Find<QComboBox>(dialog, "genre");
        QCOMPARE(genres->count(), kGenreCount);
        for (int i = 1; i < genres->count(); ++i)
            QVERIFY2(QString::compare(genres->itemText(i - 1), genres->itemText(i), Qt::CaseInsensitive) <= 0,
                     qPrintable(genres->itemText(i)));
        for (int i = 0; i < genres->count(); ++i)
            QCOMPARE(genres->itemText(i), QString::fromLatin1(GenreName(genres->itemData(i).toInt())));
        QVERIFY(genres->isEditable());
    }

    void trackOf300IsRefusedAndTheDialogStaysOpen() {
        CId3TagDialog dialog(Sample(), nullptr);
        dialog.show();
        TypeTrack(dialog, QStringLiteral("300"));
        Find<QLineEdit>(dialog, "title")->setFocus();
        PressOk(dialog);
        QCOMPARE(messages_.size(), size_t(1));
        QCOMPARE(messages_[0], QStringLiteral("Please enter an integer between 0 and 255."));
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(dialog.focusWidget(), Find<QLineEdit>(dialog, "track"));
        QCOMPARE(dialog.Tags().track, 7);  // nothing taken yet

        TypeTrack(dialog, QStringLiteral("255"));
        PressOk(dialog);
        QCOMPARE(messages_.size(), size_t(1));
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.Tags().track, 255);
    }

    void emptyTrackIsRefused() {
        CId3TagDialog dialog(Sample(), nullptr);
        dialog.show();
        TypeTrack(dialog, QString());
        PressOk(dialog);
        QCOMPARE(messages_.size(), size_t(1));
        QCOMPARE(messages_[0], QStringLiteral("Please enter an integer."));
        QVERIFY(dialog.isVisible());
    }

    void trackBoxTakesDigitsOnlyAndThreeOfThem() {
        CId3TagDialog dialog;
        dialog.show();
        TypeTrack(dialog, QStringLiteral("12x-3.45"));
        QCOMPARE(Find<QLineEdit>(dialog, "track")->text(), QStringLiteral("123"));
    }

    void spinStaysWithin0To255() {
        CId3TagDialog dialog;
        dialog.show();
        auto* spin = Find<QWidget>(dialog, "trackSpin");
        auto* up = spin->findChild<QToolButton*>(QStringLiteral("up"));
        auto* down = spin->findChild<QToolButton*>(QStringLiteral("down"));
        QVERIFY(up && down);
        QTest::mouseClick(down, Qt::LeftButton);
        QCOMPARE(Find<QLineEdit>(dialog, "track")->text(), QStringLiteral("0"));
        QTest::mouseClick(up, Qt::LeftButton);
        QCOMPARE(Find<QLineEdit>(dialog, "track")->text(), QStringLiteral("1"));
        TypeTrack(dialog, QStringLiteral("255"));
        QTest::mouseClick(up, Qt::LeftButton);
        QCOMPARE(Find<QLineEdit>(dialog, "track")->text(), QStringLiteral("255"));
        QTest::keyClick(Find<QLineEdit>(dialog, "track"), Qt::Key_Down);
        QCOMPARE(Find<QLineEdit>(dialog, "track")->text(), QStringLiteral("254"));
    }

    void typedGenreOutsideTheTableIsKept() {
        CId3TagDialog dialog(Sample(), nullptr);
        dialog.show();
        auto* genres = Find<QComboBox>(dialog, "genre");
        genres->setFocus();
        genres->lineEdit()->selectAll();
        QTest::keyClick(genres->lineEdit(), Qt::Key_Delete);
        QTest::keyClicks(genres->lineEdit(), QStringLiteral("Chiptune Baroque"));
        PressOk(dialog);
        QVERIFY(messages_.empty());
        QCOMPARE(dialog.Tags().genre, std::string("Chiptune Baroque"));
    }

    void genreChosenFromTheListIsReturned() {
        CId3TagDialog dialog(Sample(), nullptr);
        auto* genres = Find<QComboBox>(dialog, "genre");
        genres->setCurrentIndex(genres->findText(QStringLiteral("Blues")));
        PressOk(dialog);
        QCOMPARE(dialog.Tags().genre, std::string("Blues"));
    }

    void okTakesEveryFieldAndEnterInTheCommentIsANewLine() {
        CId3TagDialog dialog;
        dialog.show();
        TypeTrack(dialog, QStringLiteral("12"));
        QTest::keyClicks(Find<QLineEdit>(dialog, "title"), QStringLiteral("T"));
        QTest::keyClicks(Find<QLineEdit>(dialog, "artist"), QStringLiteral("A"));
        QTest::keyClicks(Find<QLineEdit>(dialog, "album"), QStringLiteral("B"));
        QTest::keyClicks(Find<QLineEdit>(dialog, "year"), QStringLiteral("2001"));
        auto* comment = Find<QPlainTextEdit>(dialog, "comment");
        comment->setFocus();
        QTest::keyClicks(comment, QStringLiteral("one"));
        QTest::keyClick(comment, Qt::Key_Return);
        QTest::keyClicks(comment, QStringLiteral("two"));
        QVERIFY(dialog.isVisible());  // Enter in the comment did not close the dialog
        PressOk(dialog);
        const TagFields& tags = dialog.Tags();
        QCOMPARE(tags.track, 12);
        QCOMPARE(tags.title, std::string("T"));
        QCOMPARE(tags.artist, std::string("A"));
        QCOMPARE(tags.album, std::string("B"));
        QCOMPARE(tags.year, std::string("2001"));
        QCOMPARE(tags.genre, std::string(""));
        QCOMPARE(tags.comment, std::string("one\ntwo"));
    }

    void editRoundTripWritesBackOnOkOnly() {
        TagFields tags = Sample();
        QTimer::singleShot(0, [] {
            auto* dialog = qobject_cast<CId3TagDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            QTest::keyClicks(Find<QLineEdit>(*dialog, "title"), QStringLiteral(" 2"));
            QTest::mouseClick(Find<QPushButton>(*dialog, "cancel"), Qt::LeftButton);
        });
        QVERIFY(!CId3TagDialog::Edit(nullptr, tags));
        QCOMPARE(tags.title, std::string("Title"));

        QTimer::singleShot(0, [] {
            auto* dialog = qobject_cast<CId3TagDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            auto* title = Find<QLineEdit>(*dialog, "title");
            title->setFocus();
            title->end(false);
            QTest::keyClicks(title, QStringLiteral(" 2"));
            QTest::keyClick(title, Qt::Key_Return);  // OK is the default button
        });
        QVERIFY(CId3TagDialog::Edit(nullptr, tags));
        QCOMPARE(tags.title, std::string("Title 2"));
        QCOMPARE(tags.track, 7);
        QCOMPARE(tags.comment, std::string("Line one\nline two"));
    }
};

CORVANE_TEST_MAIN(Id3TagDialogTest)
#include "Id3TagDialogTest.moc"
