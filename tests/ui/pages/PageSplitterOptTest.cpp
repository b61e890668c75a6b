// Cutter options page: driven through its own controls, checked in the options record and the settings file.
#include "TestEnvironment.h"
#include "pages/PageFixture.h"

#include "ui/MessageBox.h"
#include "ui/SettingsStore.h"
#include "ui/Shell.h"
#include "ui/pages/PageSplitterOpt.h"
#include "ui/widgets/ValueList.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

#include <memory>
#include <vector>

using namespace corvane;

namespace {

struct Shown {
    QString text;
    QMessageBox::Icon icon;
};

// Replaces the whole text of an edit (or an editable list's edit) by typing.
void Retype(QWidget* widget, const QString& text) {
    if (auto* list = qobject_cast<QComboBox*>(widget)) widget = list->lineEdit();
    QTest::keyClick(widget, Qt::Key_End);
    QTest::keyClick(widget, Qt::Key_Home, Qt::ShiftModifier);
    QTest::keyClick(widget, Qt::Key_Delete);
    QTest::keyClicks(widget, text);
}

// Clicks a button; a check box at its box, which is where a click counts on a wide one.
void Click(QWidget* widget) {
    const QPoint at = qobject_cast<QCheckBox*>(widget) ? QPoint(6, widget->height() / 2) : widget->rect().center();
    QTest::mouseClick(widget, Qt::LeftButton, Qt::NoModifier, at);
}

void Press(QWidget* widget, Qt::Key key, int times = 1) {
    for (int i = 0; i < times; ++i) QTest::keyClick(widget, key);
}

}  // namespace

class PageSplitterOptTest : public QObject {
    Q_OBJECT
    std::vector<Shown> shown_;
    std::unique_ptr<CPageSplitterOpt> page_;

    // A new page, shown, reading the current settings file.
    CPageSplitterOpt& ShowPage() {
        page_ = std::make_unique<CPageSplitterOpt>();
        page_->show();
        if (!QTest::qWaitForWindowExposed(page_.get())) qWarning("page not exposed");
        return *page_;
    }
    // Saves the page as the main window does when it goes, and deletes it.
    void ClosePage() {
        page_->DestroyPage();
        page_.reset();
    }
    template <typename T = QWidget>
    T* Get(const char* name) {
        return test::FindControl<T>(page_.get(), name);
    }
    QToolButton* SpinButton(const char* spin, const char* which) {
        return Get<QWidget>(spin)->findChild<QToolButton*>(QString::fromLatin1(which));
    }
    const CutterPageOptions& Options() const { return page_->Settings().options; }
    // The last message, which must be a refusal with the focus on control.
    void ExpectRefusal(const QString& text, const char* control) {
        QVERIFY(!page_->ValidateAndTakeOver());
        QVERIFY(!shown_.empty());
        QCOMPARE(shown_.back().text, text);
        QCOMPARE(shown_.back().icon, QMessageBox::Warning);
        QWidget* focus = page_->focusWidget();
        QVERIFY2(focus == Get(control) || Get(control)->isAncestorOf(focus), control);
    }

private Q_SLOTS:
    void init() {
        test::UseFreshSettings();
        shown_.clear();
        SetMessageHandler([this](const QString& text, QMessageBox::Icon icon) {
            shown_.push_back({text, icon});
            return QMessageBox::Ok;
        });
    }
    void cleanup() {
        page_.reset();
        SetMessageHandler({});
        SetFolderPicker({});
    }

    void encodingListsFollowTheCheckBoxesAndPairRates() {
        ShowPage();
        auto* rate = Get<CValueList>("sampleRate");
        auto* bitrate = Get<CValueList>("bitrate");
        QVERIFY(!Get("useSameParams")->isEnabled());
        QVERIFY(!rate->isEnabled());
        Click(Get("reencode"));
        QVERIFY(Get("useSameParams")->isEnabled());
        QVERIFY(!rate->isEnabled());
        Click(Get("useSameParams"));
        QVERIFY(rate->isEnabled() && bitrate->isEnabled() && Get("channels")->isEnabled());

        Press(rate, Qt::Key_Up, 3);  // 44100 -> 22050 Hz, 128 kbps fits all the way
        QCOMPARE(rate->currentText(), QStringLiteral("22050 Hz"));
        QCOMPARE(bitrate->Value(), 128);
        Press(bitrate, Qt::Key_End);  // 320 kbps needs 32000 Hz or more
        QCOMPARE(rate->currentText(), QStringLiteral("32000 Hz"));
        Press(rate, Qt::Key_Home);  // 8000 Hz allows 64 kbps at most
        QCOMPARE(bitrate->currentText(), QStringLiteral("64 kbps"));
        Press(bitrate, Qt::Key_Up, 2);  // 56, then 48 kbps: any rate
        QCOMPARE(bitrate->Value(), 48);
        QCOMPARE(rate->Value(), 8000);
        Press(rate, Qt::Key_End);
        QCOMPARE(bitrate->Value(), 48);
        Press(Get("channels"), Qt::Key_End);

        QVERIFY(page_->ValidateAndTakeOver());
        QVERIFY(shown_.empty());
        QCOMPARE(Options().encoding.sampleRate, 48000);
        QCOMPARE(Options().encoding.bitrate, 48);
        QCOMPARE(Options().encoding.channelMode, 3);
        QVERIFY(Options().reencode);
        QVERIFY(!Options().sameParams);
    }

    void decimalBoxesReadTenthsAndSpinsStopAtZero() {
        ShowPage();
        Retype(Get("fadeIn"), "2.75");
        Retype(Get("fadeOut"), ".5");
        Retype(Get("forwardOverlap"), "3");
        QVERIFY(page_->ValidateAndTakeOver());
        QCOMPARE(Options().fadeInTenths, 27);
        QCOMPARE(Options().fadeOutTenths, 5);
        QCOMPARE(Options().forwardOverlapTenths, 30);
        Retype(Get("fadeIn"), "");
        QVERIFY(page_->ValidateAndTakeOver());
        QCOMPARE(Options().fadeInTenths, 0);
        Retype(Get("forwardOverlap"), "");
        ExpectRefusal("Invalid number: , please enter it again.", "forwardOverlap");

        // Overlaps step by a second, fades by a tenth; neither goes below 0.0.
        auto* overlap = Get<QLineEdit>("forwardOverlap");
        Retype(overlap, "0.5");
        Press(overlap, Qt::Key_Up);
        QCOMPARE(overlap->text(), QStringLiteral("1.5"));
        QTest::mouseClick(SpinButton("forwardOverlapSpin", "down"), Qt::LeftButton);
        QCOMPARE(overlap->text(), QStringLiteral("0.5"));
        Press(overlap, Qt::Key_Down);
        QCOMPARE(overlap->text(), QStringLiteral("0.0"));
        auto* fade = Get<QLineEdit>("fadeOut");
        QTest::mouseClick(SpinButton("fadeOutSpin", "up"), Qt::LeftButton);
        QCOMPARE(fade->text(), QStringLiteral("0.6"));
        Retype(fade, "");
        Press(fade, Qt::Key_Down);
        QCOMPARE(fade->text(), QStringLiteral("0.0"));
        Press(fade, Qt::Key_Up, 2);
        QCOMPARE(fade->text(), QStringLiteral("0.2"));
        QVERIFY(page_->ValidateAndTakeOver());
        QCOMPARE(Options().fadeOutTenths, 2);
        QCOMPARE(Options().forwardOverlapTenths, 0);
    }

    void samplesFollowTemplatesAndDigits() {
        ShowPage();
        auto* names = Get<QLabel>("fileNameSamples");
        auto* titles = Get<QLabel>("titleSamples");
        QCOMPARE(names->text(), QStringLiteral("Samples: filename-1.mp3, filename-2.mp3..."));
        QCOMPARE(titles->text(), QStringLiteral("Title - 1/9, Title - 2/9..."));
        QCOMPARE(Get<QComboBox>("fileNameTemplate")->count(), 21);
        QCOMPARE(Get<QComboBox>("titleTemplate")->count(), 24);

        Retype(Get("fileNameDigits"), "1500");
        QCOMPARE(Get<QLineEdit>("fileNameDigits")->text(), QStringLiteral("1000"));
        QCOMPARE(Options().nameDigits, 1000);
        Retype(Get("fileNameDigits"), "3");
        QCOMPARE(names->text(), QStringLiteral("Samples: filename-001.mp3, filename-002.mp3..."));
        Retype(Get("fileNameTemplate"), "%P%_%F%.mp3");
        QCOMPARE(names->text(), QStringLiteral("Samples: 001_filename.mp3, 002_filename.mp3..."));
        Retype(Get("titleTemplate"), "%I% (%P% of %T%)");
        QCOMPARE(titles->text(), QStringLiteral("Title (1 of 9), Title (2 of 9)..."));
        Retype(Get("titleDigits"), "1500");
        QCOMPARE(Get<QLineEdit>("titleDigits")->text(), QStringLiteral("1000"));
        Press(Get("titleDigits"), Qt::Key_Down);
        QCOMPARE(Options().titleDigits, 999);
        Retype(Get("titleDigits"), "2");
        QCOMPARE(titles->text(), QStringLiteral("Title (01 of 09), Title (02 of 09)..."));

        Retype(Get("fileNameTemplate"), "");
        QCOMPARE(names->text(), QString());
        ExpectRefusal("Please enter output file name or select one.", "fileNameTemplate");
    }

    void keepTagAndFirstPiecesEnableTheirControls() {
        ShowPage();
        const QString samples = Get<QLabel>("titleSamples")->text();
        const char* tagControls[] = {"trackNumber", "titleTemplate", "titleHelp", "titleDigits", "titleDigitsSpin"};
        Click(Get("keepID3tag"));
        for (const char* name : tagControls) QVERIFY2(!Get(name)->isEnabled(), name);
        QCOMPARE(Get<QLabel>("titleSamples")->text(), samples);
        QVERIFY(!Options().keepTag);  // a check box click takes the values over
        Click(Get("keepID3tag"));
        for (const char* name : tagControls) QVERIFY2(Get(name)->isEnabled(), name);

        QVERIFY(!Get("firstPieces")->isEnabled() && !Get("firstPiecesSpin")->isEnabled());
        Click(Get("splitFirstNPieces"));
        QVERIFY(Get("firstPieces")->isEnabled() && Get("firstPiecesSpin")->isEnabled());
        QCOMPARE(page_->focusWidget(), Get("firstPieces"));
        Retype(Get("firstPieces"), "0");
        ExpectRefusal("Please enter a positive value.", "firstPieces");
        Retype(Get("firstPieces"), "");
        ExpectRefusal("Please enter an integer.", "firstPieces");
        Retype(Get("firstPieces"), "4");
        Press(Get("trackNumber"), Qt::Key_End);
        QVERIFY(page_->ValidateAndTakeOver());
        QCOMPARE(Options().firstPieces, 4);
        QCOMPARE(Options().trackNumbers, TrackNumber::None);
    }

    void helpButtonsShowTheTagLists() {
        ShowPage();
        Click(Get("fileNameHelp"));
        Click(Get("titleHelp"));
        QCOMPARE(shown_.size(), size_t(2));
        for (const Shown& s : shown_) QCOMPARE(s.icon, QMessageBox::Information);
        QVERIFY(shown_[0].text.startsWith("You can use the following tags in file name.\n\n%F%: source file name"));
        QVERIFY(shown_[0].text.contains("\n %F%-%P%-%T%.mp3:\tfilename-001-102.mp3, filename-002-102.mp3\n"));
        QVERIFY(shown_[0].text.endsWith(" %A%-%I%-%N%-%P%.mp3:\tArtist-Title-5-1.mp3, Artist-Title-5-2.mp3"));
        QVERIFY(shown_[1].text.startsWith("You can use the following tags in ID3 title.\n\n%I%: title of original"));
        QVERIFY(shown_[1].text.endsWith(" [%P%/%T%]%I%:\t[1/9]Title, [2/9]Title\n"));
    }

    void outputFolderChoiceAndBrowse() {
        ShowPage();
        auto* folder = Get<QLineEdit>("specificFolder");
        QCOMPARE(Get<CValueList>("outputFolder")->currentText(), QStringLiteral("Specific folder"));
        Retype(folder, "");
        ExpectRefusal("Please choose an output folder.", "specificFolder");
        QVERIFY(!page_->CanClose());

        QString title;
        SetFolderPicker([&title](const QString& t, const QString&) {
            title = t;
            return QStringLiteral("/tmp/cut output");
        });
        Click(Get("browse"));
        QCOMPARE(title, QStringLiteral("Please choose an output folder:"));
        QCOMPARE(folder->text(), QStringLiteral("/tmp/cut output/"));

        Press(Get("outputFolder"), Qt::Key_Home);  // "Same as source file"
        for (const char* name : {"specificFolder", "browse", "createTreeDirs", "treeExample"})
            QVERIFY2(!Get(name)->isEnabled(), name);
        QVERIFY(Get("createFolderForEachMP3")->isEnabled());
        Retype(folder, "");  // disabled: nothing typed, and nothing needed
        QVERIFY(page_->ValidateAndTakeOver());
        QCOMPARE(Options().placement.folder, OutputFolder::SameAsSource);
        QCOMPARE(Options().placement.specificFolder, std::string("/tmp/cut output/"));
    }

    void valuesRoundTripThroughTheSettingsFile() {
        ShowPage();
        Click(Get("reencode"));
        Click(Get("browseFolder"));
        Retype(Get("backwardOverlap"), "1.5");
        Retype(Get("titleTemplate"), "[%P%] %I%");
        Press(Get("targetExists"), Qt::Key_End);
        Press(Get("trackNumber"), Qt::Key_Down);
        QVERIFY(page_->ValidateAndTakeOver());
        ClosePage();

        auto stored = OpenSettings();
        QCOMPARE(stored->value("Options/Cutter/ReencodePieces").toInt(), 1);
        QCOMPARE(stored->value("Options/Cutter/BrowseFolder").toInt(), 0);
        QCOMPARE(stored->value("Options/Cutter/BackwardOverlap").toInt(), 15);
        QCOMPARE(stored->value("Options/Cutter/ID3TitleFormat").toString(), QStringLiteral("[%P%] %I%"));
        QCOMPARE(stored->value("Options/Cutter/TargetExistsOpt").toInt(), 33);
        QCOMPARE(stored->value("Options/Cutter/ID3TrackNumType").toInt(), 2);

        ShowPage();
        QVERIFY(Get<QCheckBox>("reencode")->isChecked());
        QVERIFY(!Get<QCheckBox>("browseFolder")->isChecked());
        QCOMPARE(Get<QLineEdit>("backwardOverlap")->text(), QStringLiteral("1.5"));
        QCOMPARE(Get<QComboBox>("titleTemplate")->currentText(), QStringLiteral("[%P%] %I%"));
        QCOMPARE(Get<QLabel>("titleSamples")->text(), QStringLiteral("[1] Title, [2] Title..."));
        QCOMPARE(Get<CValueList>("targetExists")->currentText(), QStringLiteral("Skip (not cut)"));
        QCOMPARE(Get<CValueList>("trackNumber")->currentText(), QStringLiteral("Split sequence number"));
    }

    void valuesOutsideTheListsAndUnshownPages() {
        {
            auto s = OpenSettings();
            s->setValue("Options/Cutter/MP3BitRate", 100);
            s->setValue("Options/Cutter/TargetExistsOpt", 44);
            s->setValue("Options/Cutter/FadeInLen", 7);
        }
        const QStringList keysBefore = OpenSettings()->allKeys();
        // Never shown: accepts at once and writes nothing at exit.
        page_ = std::make_unique<CPageSplitterOpt>();
        QVERIFY(page_->ValidateAndTakeOver());
        ClosePage();
        auto stored = OpenSettings();
        QCOMPARE(stored->allKeys(), keysBefore);
        QCOMPARE(stored->value("Options/Cutter/MP3BitRate").toInt(), 100);
        QCOMPARE(stored->value("Options/Cutter/TargetExistsOpt").toInt(), 44);

        // Shown: the bit rate list offers its first entry, taken when the page is left; the
        // target-exists rule falls back to renaming at once.
        ShowPage();
        QCOMPARE(Get<CValueList>("bitrate")->currentText(), QStringLiteral("8 kbps"));
        QCOMPARE(Options().encoding.bitrate, 100);
        QCOMPARE(Options().placement.ifExists, TargetExists::Rename);
        QCOMPARE(Get<QLineEdit>("fadeIn")->text(), QStringLiteral("0.7"));
        QVERIFY(page_->ValidateAndTakeOver());
        QCOMPARE(Options().encoding.bitrate, 8);
        ClosePage();
        QCOMPARE(OpenSettings()->value("Options/Cutter/MP3BitRate").toInt(), 8);
    }
};

CORVANE_TEST_MAIN(PageSplitterOptTest)
#include "PageSplitterOptTest.moc"
