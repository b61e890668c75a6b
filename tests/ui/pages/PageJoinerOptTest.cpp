// The joiner options page driven through its own controls: presets, rate pairing, the output
// folder check and what reaches the settings file.
#include "TestEnvironment.h"

#include "ui/MessageBox.h"
#include "ui/SettingsStore.h"
#include "ui/Shell.h"
#include "ui/pages/PageJoinerOpt.h"
#include "ui/widgets/ValueList.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>

#include <memory>
#include <vector>

using namespace corvane;

namespace {

constexpr char kJoinerGroup[] = "Options/Joiner/";

void Store(const char* key, const QVariant& value) {
    OpenSettings()->setValue(QString(kJoinerGroup) + key, value);
}
QVariant Stored(const char* key) { return OpenSettings()->value(QString(kJoinerGroup) + key); }

// Opens the list's drop-down with F4, walks to the entry showing text and takes it with
// Return, as the user does: one selection change, whatever lies between.
void Choose(CValueList* list, const QString& text) {
    const int row = list->findText(text);
    QVERIFY2(row >= 0, qPrintable(text));
    const int before = list->currentIndex();
    QSignalSpy chosen(list, &CValueList::ValueChosen);
    QTest::keyClick(list, Qt::Key_F4);
    QAbstractItemView* view = list->view();
    QTRY_VERIFY(view->isVisible());
    while (view->currentIndex().row() < row) QTest::keyClick(view, Qt::Key_Down);
    while (view->currentIndex().row() > row) QTest::keyClick(view, Qt::Key_Up);
    QTest::keyClick(view, Qt::Key_Return);
    QTRY_VERIFY(!view->isVisible());
    QCOMPARE(list->currentIndex(), row);
    QCOMPARE(chosen.count(), row == before ? 0 : 1);
}

}  // namespace

class PageJoinerOptTest : public QObject {
    Q_OBJECT
    std::unique_ptr<CPageJoinerOpt> page_;
    std::vector<std::pair<QString, QMessageBox::Icon>> messages_;

    CValueList* List(const char* name) { return page_->findChild<CValueList*>(name); }
    QString Shown(const char* name) { return List(name)->currentText(); }
    // Clicks a check box on its box (the control is wider than its text).
    void Click(const char* name) {
        auto* box = page_->findChild<QCheckBox*>(name);
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(box->height() / 2, box->height() / 2));
    }
    void ShowPage() {
        page_ = std::make_unique<CPageJoinerOpt>();
        page_->show();
        QVERIFY(QTest::qWaitForWindowExposed(page_.get()));
    }
    // What the main window does when it goes: the page saves, then is deleted.
    void ClosePage() {
        page_->DestroyPage();
        page_.reset();
    }

private Q_SLOTS:
    void init() {
        test::UseFreshSettings();
        messages_.clear();
        SetMessageHandler([this](const QString& text, QMessageBox::Icon icon) {
            messages_.emplace_back(text, icon);
            return QMessageBox::Ok;
        });
    }
    void cleanup() {
        page_.reset();
        SetMessageHandler({});
        SetFolderPicker({});
    }

    void storedPresetValuesSelectThePreset() {
        Store("AutoMP3EncodingParam", 0);
        Store("MP3BitRate", 128);
        Store("MP3SampleRate", 44100);
        Store("MP3ChannelMode", 1);
        ShowPage();
        QCOMPARE(List("encodingList")->currentIndex(), 4);
        QCOMPARE(Shown("encodingList"),
                 QString("44100Hz, 128 kbps, Joint Stereo (close to CD-quality, large size)"));
        QVERIFY(List("sampleRateList")->isEnabled());
        QVERIFY(List("bitrateList")->isEnabled());
        QVERIFY(List("channelList")->isEnabled());
    }

    void otherChannelsSelectCustomize() {
        Store("AutoMP3EncodingParam", 0);
        Store("MP3ChannelMode", 0);
        ShowPage();
        QCOMPARE(Shown("encodingList"), QString("Customize"));
        QCOMPARE(Shown("channelList"), QString("Stereo"));
    }

    void sampleRateCorrectsTheBitrate() {
        Store("AutoMP3EncodingParam", 0);
        Store("MP3BitRate", 320);
        ShowPage();
        Choose(List("sampleRateList"), "22050 Hz");
        QCOMPARE(Shown("bitrateList"), QString("160 kbps"));
        QCOMPARE(Shown("encodingList"), QString("Customize"));
        Choose(List("bitrateList"), "8 kbps");
        Choose(List("sampleRateList"), "44100 Hz");
        QCOMPARE(Shown("bitrateList"), QString("32 kbps"));
        QCOMPARE(page_->Settings().options.encoding.bitrate, 32);
        QCOMPARE(page_->Settings().options.encoding.sampleRate, 44100);
    }

    void bitrateCorrectsTheSampleRate() {
        ShowPage();
        Choose(List("encodingList"), "11025 Hz, 16 kbps, Mono (low quality, smaller file size)");
        QCOMPARE(Shown("sampleRateList"), QString("11025 Hz"));
        QCOMPARE(Shown("channelList"), QString("Mono"));
        Choose(List("bitrateList"), "128 kbps");
        QCOMPARE(Shown("sampleRateList"), QString("16000 Hz"));
        QCOMPARE(Shown("encodingList"), QString("Customize"));
        Choose(List("sampleRateList"), "48000 Hz");
        Choose(List("bitrateList"), "16 kbps");
        QCOMPARE(Shown("sampleRateList"), QString("24000 Hz"));
        Choose(List("bitrateList"), "48 kbps");
        QCOMPARE(Shown("sampleRateList"), QString("24000 Hz"));
    }

    void customizeAfterAutoKeepsTheValues() {
        Store("MP3BitRate", 96);
        Store("MP3SampleRate", 32000);
        ShowPage();
        QCOMPARE(Shown("encodingList"), QString("Auto"));
        QVERIFY(!List("bitrateList")->isEnabled());
        Choose(List("encodingList"), "Customize");
        QVERIFY(List("sampleRateList")->isEnabled() && List("bitrateList")->isEnabled() &&
                List("channelList")->isEnabled());
        QCOMPARE(Shown("bitrateList"), QString("96 kbps"));
        QCOMPARE(Shown("sampleRateList"), QString("32000 Hz"));
        QCOMPARE(Shown("channelList"), QString("Joint Stereo"));
    }

    void unknownStoredValuesShowTheFirstEntries() {
        Store("MP3BitRate", 100);
        Store("TargetExistsOpt", 77);
        ShowPage();
        QCOMPARE(Shown("bitrateList"), QString("8 kbps"));
        QCOMPARE(Shown("targetExistsList"), QString("Rename automatically (add number at end of file name)"));
        QVERIFY(page_->CanClose());
        QCOMPARE(page_->Settings().options.encoding.bitrate, 8);
        ClosePage();
        QCOMPARE(Stored("MP3BitRate").toInt(), 8);
        QCOMPARE(Stored("TargetExistsOpt").toInt(), 11);
    }

    void specificFolderNeedsAFolder() {
        Store("OutputFolderOpt", 199);
        ShowPage();
        auto* edit = page_->findChild<QLineEdit*>("specificFolderEdit");
        QVERIFY(!edit->isEnabled());
        QVERIFY(!page_->findChild<QPushButton*>("browseButton")->isEnabled());
        QVERIFY(!page_->findChild<QCheckBox*>("treeFoldersCheck")->isEnabled());
        Choose(List("outputFolderList"), "Specific folder");
        QVERIFY(edit->isEnabled());
        QVERIFY(page_->findChild<QCheckBox*>("treeFoldersCheck")->isEnabled());
        edit->setFocus();
        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(edit, Qt::Key_Delete);
        QVERIFY(edit->text().isEmpty());
        page_->findChild<QCheckBox*>("browseAfterCheck")->setFocus();
        QVERIFY(!page_->CanClose());
        QCOMPARE(messages_.size(), size_t(1));
        QCOMPARE(messages_[0].first, QString("Please choose an output folder."));
        QCOMPARE(messages_[0].second, QMessageBox::Warning);
        QVERIFY(edit->hasFocus());
    }

    void valuesRoundTripThroughTheSettingsFile() {
        QString pickerTitle, pickerStart;
        SetFolderPicker([&](const QString& title, const QString& start) {
            pickerTitle = title;
            pickerStart = start;
            return QStringLiteral("/tmp/joined");
        });
        Store("SpecifiedOutputFolder", "/tmp/before/");
        ShowPage();
        Choose(List("encodingList"), "Customize");
        Choose(List("sampleRateList"), "22050 Hz");
        Choose(List("bitrateList"), "48 kbps");
        Choose(List("channelList"), "Mono");
        Choose(List("outputFolderList"), "Specific folder");
        QTest::mouseClick(page_->findChild<QPushButton*>("browseButton"), Qt::LeftButton);
        QCOMPARE(pickerTitle, QString("Please choose an output folder:"));
        QCOMPARE(pickerStart, QString("/tmp/before"));
        QCOMPARE(page_->findChild<QLineEdit*>("specificFolderEdit")->text(), QString("/tmp/joined/"));
        Choose(List("targetExistsList"), "Skip (not join)");
        for (const char* name : {"addPostfixCheck", "treeFoldersCheck", "browseAfterCheck"}) Click(name);
        QVERIFY(page_->CanClose());
        ClosePage();
        QCOMPARE(Stored("AutoMP3EncodingParam").toInt(), 0);
        QCOMPARE(Stored("MP3SampleRate").toInt(), 22050);
        QCOMPARE(Stored("MP3BitRate").toInt(), 48);
        QCOMPARE(Stored("MP3ChannelMode").toInt(), 3);
        QCOMPARE(Stored("OutputFolderOpt").toInt(), 299);
        QCOMPARE(Stored("TargetExistsOpt").toInt(), 33);

        ShowPage();
        const JoinerPageOptions& o = page_->Settings().options;
        QVERIFY(!o.autoParams);
        QCOMPARE(o.placement.specificFolder, std::string("/tmp/joined/"));
        QVERIFY(!o.joinedPostfix && o.placement.treeFolders && !o.browseFolder);
        QCOMPARE(Shown("encodingList"), QString("Customize"));
        QCOMPARE(Shown("sampleRateList"), QString("22050 Hz"));
        QCOMPARE(Shown("bitrateList"), QString("48 kbps"));
        QCOMPARE(Shown("channelList"), QString("Mono"));
        QCOMPARE(Shown("outputFolderList"), QString("Specific folder"));
        QCOMPARE(Shown("targetExistsList"), QString("Skip (not join)"));
        QVERIFY(!page_->findChild<QCheckBox*>("addPostfixCheck")->isChecked());
    }

    void aPageNeverShownRewritesNothing() {
        Store("MP3BitRate", 100);
        Store("TargetExistsOpt", 77);
        Store("SpecifiedOutputFolder", "");
        Store("OutputFolderOpt", 299);
        page_ = std::make_unique<CPageJoinerOpt>();
        QVERIFY(page_->CanClose());
        ClosePage();
        QVERIFY(messages_.empty());
        QCOMPARE(Stored("MP3BitRate").toInt(), 100);
        QCOMPARE(Stored("TargetExistsOpt").toInt(), 77);
        QVERIFY(!OpenSettings()->contains(QString(kJoinerGroup) + "AutoMP3EncodingParam"));
    }
};

CORVANE_TEST_MAIN(PageJoinerOptTest)
#include "PageJoinerOptTest.moc"
