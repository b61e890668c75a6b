// Joiner page: driven through its own controls; the targets it writes are compared with what
// corvane-cli writes for the same inputs, tag and options.
#include "TestEnvironment.h"
#include "pages/PageFixture.h"

#include "audio/AudioLibrary.h"
#include "engine/Progress.h"
#include "support/CliRunner.h"
#include "support/Mp3Factory.h"
#include "ui/MessageBox.h"
#include "ui/SettingsStore.h"
#include "ui/Shell.h"
#include "ui/pages/PageJoiner.h"
#include "ui/widgets/ProgressDialog.h"

#include <QComboBox>
#include <QDropEvent>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include <filesystem>
#include <memory>
#include <vector>

using namespace corvane;

namespace {

constexpr int kNoSoundDevice = 0;
constexpr uint32_t kOutputRate = 44100;
constexpr double kSeconds = 2.0;

void Click(QWidget* widget) { QTest::mouseClick(widget, Qt::LeftButton, Qt::NoModifier, widget->rect().center()); }

void Retype(QWidget* widget, const QString& text) {
    widget->setFocus();
    QTest::keyClick(widget, Qt::Key_End);
    QTest::keyClick(widget, Qt::Key_Home, Qt::ShiftModifier);
    QTest::keyClick(widget, Qt::Key_Delete);
    QTest::keyClicks(widget, text);
}

}  // namespace

class PageJoinerTest : public QObject {
    Q_OBJECT
    std::unique_ptr<test::TempDir> dir_;
    std::vector<std::string> files_;  // a.mp3, b.mp3, c.mp3 (44100 Hz, 128 kbps, joint), d.mp3 untagged
    std::string lowRate_;             // 22050 Hz
    test::CDesktopRecorder desktop_;
    std::vector<QString>& shown_ = desktop_.shown;
    std::vector<QUrl>& opened_ = desktop_.opened;
    JoinerPageOptions options_;
    std::unique_ptr<CPageJoiner> page_;
    int pickerCalls_ = 0;
    QString pickerFilter_;

    CPageJoiner& ShowPage() {
        page_ = std::make_unique<CPageJoiner>();
        page_->SetOptionsSource(&options_);
        page_->resize(900, 640);
        test::ShowActive(page_.get());
        return *page_;
    }
    template <typename T = QWidget>
    T* Get(const char* name) {
        return test::FindControl<T>(page_.get(), name);
    }
    QTreeWidget* List() { return Get<QTreeWidget>("fileList"); }
    QString Cell(int row, int column) { return List()->topLevelItem(row)->text(column); }
    QStringList FileColumn() {
        QStringList names;
        for (int row = 0; row < List()->topLevelItemCount(); ++row) names << Cell(row, 0);
        return names;
    }
    std::vector<int> Selected() {
        std::vector<int> rows;
        for (int row = 0; row < List()->topLevelItemCount(); ++row)
            if (List()->topLevelItem(row)->isSelected()) rows.push_back(row);
        return rows;
    }
    // Adds paths through "&Add Files" and the (replaced) open dialog.
    void AddByDialog(const std::vector<std::string>& paths) {
        SetFilePicker([paths](const QString&, FileDialogMode mode, const QStringList&) {
            QStringList chosen;
            if (mode == FileDialogMode::OpenMany)
                for (const std::string& p : paths) chosen << QString::fromStdString(p);
            return chosen;
        });
        Click(Get("addFilesButton"));
        SetFilePicker({});
    }
    void ClickRow(int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTreeWidgetItem* item = List()->topLevelItem(row);
        QTest::mouseClick(List()->viewport(), Qt::LeftButton, modifiers, List()->visualItemRect(item).center());
    }
    // Presses "&Join Now!" with the save dialog answering target; the number of dialogs shown.
    int JoinInto(const std::string& target) {
        pickerCalls_ = 0;
        SetFilePicker([this, target](const QString& filter, FileDialogMode mode, const QStringList&) {
            ++pickerCalls_;
            pickerFilter_ = filter;
            return mode == FileDialogMode::Save ? QStringList{QString::fromStdString(target)} : QStringList{};
        });
        Click(Get("joinButton"));
        QTest::qWait(0);
        SetFilePicker({});
        return pickerCalls_;
    }
    void ExpectSameAsCli(const std::string& target, std::vector<std::string> cliOptions,
                         const std::vector<std::string>& inputs) {
        const std::string cliTarget = target + ".cli.mp3";
        std::vector<std::string> args = {"join", "-o", cliTarget};
        args.insert(args.end(), cliOptions.begin(), cliOptions.end());
        args.insert(args.end(), inputs.begin(), inputs.end());
        const test::ProcessResult r = test::RunCli(args);
        QCOMPARE(r.exitCode, 0);
        QVERIFY(std::filesystem::exists(target));
        QVERIFY2(test::ReadFile(target) == test::ReadFile(cliTarget), target.c_str());
    }
    std::string Path(const char* name) { return *dir_ / name; }

private Q_SLOTS:
    void initTestCase() {
        audio::Init(kNoSoundDevice, kOutputRate);
        dir_ = std::make_unique<test::TempDir>();
        test::EncodeOptions o;
        o.seconds = kSeconds;
        const char* titles[] = {"Alpha", "Beta", "Gamma"};
        for (int i = 0; i < 3; ++i) {
            const std::string path = *dir_ / (std::string(1, char('a' + i)) + ".mp3");
            test::WriteFile(path, test::Concat({test::MakeId3v2Tag(3, {{"TIT2", titles[i]}, {"TPE1", "The Band"},
                                                                       {"TALB", "Days"}, {"TRCK", std::to_string(i + 4)},
                                                                       {"TYER", "2001"}, {"TCON", "Jazz"},
                                                                       {"COMM", "note"}}),
                                                test::EncodeMp3(o)}));
            files_.push_back(path);
        }
        files_.push_back(*dir_ / "d.mp3");
        test::WriteFile(files_.back(), test::EncodeMp3(o));
        o.sampleRate = 22050;
        o.kbps = 64;
        lowRate_ = *dir_ / "low.mp3";
        test::WriteFile(lowRate_, test::EncodeMp3(o));
        SetMessagePump(&ProcessPendingEvents);
    }
    void cleanupTestCase() {
        SetMessagePump(nullptr);
        audio::Free();
        dir_.reset();
    }
    void init() {
        test::UseFreshSettings();
        options_ = JoinerPageOptions{};
        options_.browseFolder = false;
        desktop_.Install();
    }
    void cleanup() {
        page_.reset();
        desktop_.Remove();
    }

    void startsWithThirteenColumnsAndTheListButtonsDisabled() {
        ShowPage();
        QCOMPARE(page_->Caption(), QStringLiteral("MP3 Joiner"));
        const QStringList headers = {"File", "Size",    "Length",   "#",    "Title", "Artist", "Album",
                                     "Year", "Genre",   "Comment",  "Bit Rate", "Freq", "Ch"};
        QCOMPARE(List()->columnCount(), headers.size());
        for (int c = 0; c < headers.size(); ++c) QCOMPARE(List()->headerItem()->text(c), headers[c]);
        for (const char* name : {"joinButton", "removeButton", "removeAllButton", "upButton", "downButton", "copyButton"})
            QVERIFY2(!Get(name)->isEnabled(), name);
        QVERIFY(Get("addFilesButton")->isEnabled());
        QVERIFY(Get("addFolderButton")->isEnabled());
        QCOMPARE(Get<QGroupBox>("tagGroup")->title(), QStringLiteral("ID3 tag of Target MP3 File"));
        QCOMPARE(Get<QComboBox>("genreList")->count(), 148);
    }

    void addingRowsEnablesJoinAndRemoveAllAndSelectionEnablesTheRest() {
        ShowPage();
        AddByDialog({files_[0], files_[1]});
        QCOMPARE(FileColumn(), (QStringList{"a.mp3", "b.mp3"}));
        QCOMPARE(Cell(0, 3), QStringLiteral("4"));
        QCOMPARE(Cell(0, 4), QStringLiteral("Alpha"));
        QVERIFY(Get("joinButton")->isEnabled());
        QVERIFY(Get("removeAllButton")->isEnabled());
        QVERIFY(!Get("removeButton")->isEnabled());
        ClickRow(1);
        for (const char* name : {"removeButton", "upButton", "downButton", "copyButton"})
            QVERIFY2(Get(name)->isEnabled(), name);
        Click(Get("removeButton"));
        QCOMPARE(FileColumn(), (QStringList{"a.mp3"}));
        for (const char* name : {"removeButton", "upButton", "downButton", "copyButton"})
            QVERIFY2(!Get(name)->isEnabled(), name);
        QVERIFY(Get("joinButton")->isEnabled());

        // A drop adds files and folders in the drop's order; duplicates are allowed here.
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(files_[2])),
                      QUrl::fromLocalFile(QString::fromStdString(files_[0]))});
        QDragEnterEvent enter(page_->rect().center(), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(page_.get(), &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(page_->rect().center()), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(page_.get(), &drop);
        QCOMPARE(FileColumn(), QStringList{"a.mp3"});  // the drop ends before the files load
        QTRY_COMPARE(FileColumn(), (QStringList{"a.mp3", "c.mp3", "a.mp3"}));

        Click(Get("removeAllButton"));
        QCOMPARE(List()->topLevelItemCount(), 0);
        for (const char* name : {"joinButton", "removeButton", "removeAllButton", "upButton", "downButton", "copyButton"})
            QVERIFY2(!Get(name)->isEnabled(), name);
    }

    void downMovesSelectedRowsUnlessTheBottomRowIsSelected() {
        ShowPage();
        AddByDialog({files_[0], files_[1], files_[2], files_[3]});
        ClickRow(0);
        ClickRow(2, Qt::ControlModifier);
        Click(Get("downButton"));
        QCOMPARE(FileColumn(), (QStringList{"b.mp3", "a.mp3", "d.mp3", "c.mp3"}));
        QCOMPARE(Selected(), (std::vector<int>{1, 3}));
        QCOMPARE(page_->focusWidget(), List());

        // With the bottom row selected nothing moves.
        ClickRow(0, Qt::ControlModifier);
        QCOMPARE(Selected(), (std::vector<int>{0, 1, 3}));
        Click(Get("downButton"));
        QCOMPARE(FileColumn(), (QStringList{"b.mp3", "a.mp3", "d.mp3", "c.mp3"}));

        // Up: rows 1 and 3 go to 0 and 2; with the top row selected nothing moves.
        ClickRow(1);
        ClickRow(3, Qt::ControlModifier);
        Click(Get("upButton"));
        QCOMPARE(FileColumn(), (QStringList{"a.mp3", "b.mp3", "c.mp3", "d.mp3"}));
        QCOMPARE(Selected(), (std::vector<int>{0, 2}));
        Click(Get("upButton"));
        QCOMPARE(FileColumn(), (QStringList{"a.mp3", "b.mp3", "c.mp3", "d.mp3"}));
    }

    void joinNowWithOneFileDoesNothing() {
        ShowPage();
        AddByDialog({files_[0]});
        QVERIFY(Get("joinButton")->isEnabled());
        QCOMPARE(JoinInto(Path("one.mp3")), 0);
        QVERIFY(!std::filesystem::exists(Path("one.mp3")));
        QVERIFY(shown_.empty());
    }

    void joinByFrameCopyWritesWhatTheCliWrites() {
        ShowPage();
        AddByDialog({files_[0], files_[1], files_[2]});
        Retype(Get("titleBox"), QStringLiteral("Joined"));
        Retype(Get("artistBox"), QStringLiteral("Various"));
        Retype(Get("albumBox"), QStringLiteral("Best of"));
        Retype(Get("trackBox"), QStringLiteral("12x"));  // the box takes digits only
        QCOMPARE(Get<QLineEdit>("trackBox")->text(), QStringLiteral("12"));
        Retype(Get("yearBox"), QStringLiteral("2020"));
        Retype(Get<QComboBox>("genreList")->lineEdit(), QStringLiteral("Chiptune"));
        Retype(Get("commentBox"), QStringLiteral("made here"));
        options_.browseFolder = true;
        const std::string target = Path("frames.mp3");
        QCOMPARE(JoinInto(target), 1);
        QCOMPARE(pickerFilter_, QStringLiteral("MP3 File (*.mp3);;All Files (*)"));
        QVERIFY(shown_.empty());
        QVERIFY(Get<QLabel>("workReport")->text().startsWith("Joined into " + QString::fromStdString(target)));
        ExpectSameAsCli(target,
                        {"--title", "Joined", "--artist", "Various", "--album", "Best of", "--track", "12", "--year",
                         "2020", "--genre", "Chiptune", "--comment", "made here"},
                        {files_[0], files_[1], files_[2]});
        // Frame copy: the target is the tag, a header frame and the frames, no re-encoding.
        QCOMPARE(page_->LastTarget(), target);
        QCOMPARE(opened_.size(), size_t{1});
        QCOMPARE(opened_[0], QUrl::fromLocalFile(QString::fromStdString(dir_->path().string())));
        QVERIFY(page_->isEnabled());
    }

    void aTrackTextStartingWith12GivesTrack12() {
        {
            JoinerPageSettings s;
            s.id3Title = "T";
            s.id3TrackNo = "12x";
            s.Save(kTagGroup);
        }
        ShowPage();
        QCOMPARE(Get<QLineEdit>("trackBox")->text(), QStringLiteral("12x"));
        AddByDialog({files_[0], files_[1]});
        const std::string target = Path("track12.mp3");
        QCOMPARE(JoinInto(target), 1);
        ExpectSameAsCli(target, {"--title", "T", "--track", "12"}, {files_[0], files_[1]});
    }

    void allEmptyTagCellsGiveATargetWithoutTagFields() {
        ShowPage();
        Retype(Get("titleBox"), QStringLiteral("left over"));
        AddByDialog({files_[3], files_[3]});
        ClickRow(0);
        Click(Get("copyButton"));  // d.mp3 has no tag: every field becomes empty
        for (const char* name : {"titleBox", "artistBox", "albumBox", "trackBox", "yearBox", "commentBox"})
            QVERIFY2(Get<QLineEdit>(name)->text().isEmpty(), name);
        QVERIFY(Get<QComboBox>("genreList")->currentText().isEmpty());
        const std::string target = Path("untagged.mp3");
        QCOMPARE(JoinInto(target), 1);
        ExpectSameAsCli(target, {}, {files_[3], files_[3]});
        // The tag holds the chapters only: its first frame is the table of contents or a chapter.
        const auto bytes = test::ReadFile(target);
        const std::string text(bytes.begin(), bytes.end());
        QVERIFY(text.compare(0, 3, "ID3") == 0);
        QVERIFY(text.compare(10, 4, "CHAP") == 0 || text.compare(10, 4, "CTOC") == 0);
        QVERIFY(text.find("left over") == std::string::npos);
    }

    void copyTagTakesTheFirstSelectedRowsCells() {
        ShowPage();
        AddByDialog({files_[0], files_[1]});
        ClickRow(1);
        Click(Get("copyButton"));
        QCOMPARE(Get<QLineEdit>("titleBox")->text(), QStringLiteral("Beta"));
        QCOMPARE(Get<QLineEdit>("artistBox")->text(), QStringLiteral("The Band"));
        QCOMPARE(Get<QLineEdit>("albumBox")->text(), QStringLiteral("Days"));
        QCOMPARE(Get<QLineEdit>("trackBox")->text(), QStringLiteral("5"));
        QCOMPARE(Get<QLineEdit>("yearBox")->text(), QStringLiteral("2001"));
        QCOMPARE(Get<QComboBox>("genreList")->currentText(), QStringLiteral("Jazz"));
        QCOMPARE(Get<QLineEdit>("commentBox")->text(), QStringLiteral("note"));

        // The tag texts are kept in the settings when the page goes.
        page_->DestroyPage();
        JoinerPageSettings s;
        s.Load();
        QCOMPARE(s.id3Title, std::string("Beta"));
        QCOMPARE(s.id3TrackNo, std::string("5"));
        QCOMPARE(s.id3GenreEx, std::string("Jazz"));
    }

    void reencodingByTheOptionsWritesWhatTheCliWrites() {
        options_.autoParams = false;
        options_.encoding.sampleRate = 32000;
        options_.encoding.bitrate = 96;
        options_.encoding.channelMode = 3;
        ShowPage();
        AddByDialog({files_[0], lowRate_});
        Retype(Get("titleBox"), QStringLiteral("Mixed"));
        const std::string target = Path("reencoded.mp3");
        QCOMPARE(JoinInto(target), 1);
        QVERIFY(shown_.empty());
        ExpectSameAsCli(target, {"--rate", "32000", "--bitrate", "96", "--mode", "mono", "--title", "Mixed"},
                        {files_[0], lowRate_});
    }

    void autoReencodesUnlikeInputsAsTheCliDoes() {
        ShowPage();
        AddByDialog({files_[0], lowRate_});
        const std::string target = Path("auto.mp3");
        QCOMPARE(JoinInto(target), 1);
        ExpectSameAsCli(target, {}, {files_[0], lowRate_});
    }

    void aFailedJoinShowsJoinFailureAndOpensNoFolder() {
        options_.browseFolder = true;
        ShowPage();
        AddByDialog({files_[0], files_[1]});
        QCOMPARE(JoinInto(files_[1]), 1);  // the target is one of the inputs
        QCOMPARE(shown_.size(), size_t{1});
        QCOMPARE(shown_[0], QStringLiteral("Join failure. Target file name is same as original file"));
        QVERIFY(opened_.empty());
        QVERIFY(page_->isEnabled());
    }

    void autoRefusesAFileItCannotReadAsTheCliDoes() {
        // Listed while it was MP3 audio, garbage by the time of the join.
        const std::string spoiled = Path("spoiled.mp3");
        std::filesystem::copy_file(files_[1], spoiled, std::filesystem::copy_options::overwrite_existing);
        options_.browseFolder = true;
        ShowPage();
        AddByDialog({files_[0], spoiled});
        test::WriteFile(spoiled, test::Bytes(4096, 0x5A));
        const std::string target = Path("refused.mp3");
        QCOMPARE(JoinInto(target), 1);
        const test::ProcessResult cli = test::RunCli({"join", "-o", target, files_[0], spoiled});
        QCOMPARE(cli.exitCode, 1);
        QCOMPARE(shown_.size(), size_t{1});
        QCOMPARE(shown_[0] + QLatin1Char('\n'), QString::fromStdString(cli.err));
        QCOMPARE(shown_[0], QStringLiteral("Join failure. Failed to open file \"%1\".").arg(QString::fromStdString(spoiled)));
        QVERIFY(!std::filesystem::exists(target));
        QVERIFY(opened_.empty());
        QVERIFY(page_->LastTarget().empty());
    }

    void cancelOfTheSaveDialogJoinsNothing() {
        ShowPage();
        AddByDialog({files_[0], files_[1]});
        pickerCalls_ = 0;
        SetFilePicker([this](const QString&, FileDialogMode, const QStringList&) {
            ++pickerCalls_;
            return QStringList{};
        });
        Click(Get("joinButton"));
        QCOMPARE(pickerCalls_, 1);
        QVERIFY(shown_.empty());
        QVERIFY(opened_.empty());
    }

    // The real save dialog: a name in a folder that does not exist is refused with a message
    // and the dialog stays open; a name in a folder that exists is joined into.
    void theSaveDialogRefusesAFolderThatDoesNotExist() {
        ShowPage();
        AddByDialog({files_[0], files_[1]});
        const QString missing = QString::fromStdString(Path("no such folder")) + "/joined.mp3";
        const QString target = QString::fromStdString(Path("joined-by-dialog.mp3"));
        int refusedWhileOpen = 0;
        auto typeInto = [](QFileDialog* dialog, const QString& name) {
            auto* box = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            box->setText(name);
            QTest::keyClick(box, Qt::Key_Return);
        };
        QTimer::singleShot(0, this, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog != nullptr);
            typeInto(dialog, missing);
            QTimer::singleShot(0, this, [&, dialog] {  // runs once the dialog is open again
                refusedWhileOpen = dialog->isVisible() ? static_cast<int>(shown_.size()) : -1;
                typeInto(dialog, target);
            });
        });
        Click(Get("joinButton"));
        QCOMPARE(refusedWhileOpen, 1);
        QCOMPARE(shown_.front(), QString("The folder \"%1\" does not exist.").arg(QString::fromStdString(Path("no such folder"))));
        QTRY_VERIFY(std::filesystem::exists(target.toStdString()));
    }

    void contextMenuItemsFollowTheSelection() {
        ShowPage();
        AddByDialog({files_[0], files_[1]});
        auto* menu = Get<QMenu>("listMenu");
        QStringList texts;
        for (QAction* a : menu->actions()) texts << (a->isSeparator() ? QStringLiteral("-") : a->text());
        QCOMPARE(texts, (QStringList{"&Play", "&Browse", "-", "&Remove", "Remo&ve All", "-", "&Up", "&Down", "-",
                                     "Copy &ID3 tag", "-", "&Add Files...", "Add &Folder..."}));
        const auto action = [menu](const char* name) { return menu->findChild<QAction*>(QString::fromLatin1(name)); };
        const auto openMenu = [this] {
            QContextMenuEvent event(QContextMenuEvent::Keyboard, QPoint(5, 5), QPoint(5, 5));
            QApplication::sendEvent(List()->viewport(), &event);
        };

        openMenu();
        QVERIFY(!action("playItem")->isEnabled());
        QVERIFY(!action("removeItem")->isEnabled());
        QVERIFY(action("removeAllItem")->isEnabled());
        QVERIFY(action("addFilesItem")->isEnabled());
        menu->hide();

        ClickRow(0);
        ClickRow(1, Qt::ControlModifier);
        openMenu();
        QVERIFY(!action("playItem")->isEnabled());  // two rows: only one may be played
        QVERIFY(!action("copyTagItem")->isEnabled());
        QVERIFY(action("removeItem")->isEnabled());
        QVERIFY(action("downItem")->isEnabled());
        menu->hide();

        ClickRow(1);
        openMenu();
        QVERIFY(action("playItem")->isEnabled());
        action("playItem")->trigger();
        menu->hide();
        QCOMPARE(opened_.size(), size_t{1});
        QCOMPARE(opened_[0], QUrl::fromLocalFile(QString::fromStdString(files_[1])));
        openMenu();
        action("browseItem")->trigger();
        menu->hide();
        QCOMPARE(opened_.size(), size_t{2});
        QCOMPARE(opened_[1], QUrl::fromLocalFile(QString::fromStdString(dir_->path().string())));

        // A double-click plays the row.
        ClickRow(0);
        QTest::mouseDClick(List()->viewport(), Qt::LeftButton, Qt::NoModifier,
                           List()->visualItemRect(List()->topLevelItem(0)).center());
        QCOMPARE(opened_.size(), size_t{3});
        QCOMPARE(opened_[2], QUrl::fromLocalFile(QString::fromStdString(files_[0])));
    }

    void cancelDuringTheJoinLeavesNoTargetAndShowsNothing() {
        test::EncodeOptions o;
        o.seconds = 60.0;
        const std::string longOne = Path("long1.mp3");
        const std::string longTwo = Path("long2.mp3");
        test::WriteFile(longOne, test::EncodeMp3(o));
        test::WriteFile(longTwo, test::EncodeMp3(o));
        options_.browseFolder = true;
        options_.autoParams = false;  // re-encoding: slow enough to be cancelled midway
        ShowPage();
        AddByDialog({longOne, longTwo});
        const std::string target = Path("cancelled.mp3");

        bool pressed = false;
        bool windowDisabled = false;
        QString statusText;
        QTimer watcher;
        watcher.setInterval(5);
        connect(&watcher, &QTimer::timeout, [&] {
            if (pressed) return;
            for (QWidget* w : QApplication::topLevelWidgets()) {
                auto* dialog = qobject_cast<CProgressDialog*>(w);
                if (dialog == nullptr || !dialog->isVisible() || dialog->Bar()->value() <= 0) continue;
                windowDisabled = !page_->isEnabled();
                statusText = dialog->Text();
                pressed = true;
                QTest::mouseClick(dialog->CancelButton(), Qt::LeftButton);
            }
        });
        watcher.start();
        QCOMPARE(JoinInto(target), 1);
        watcher.stop();
        QVERIFY(pressed);
        QVERIFY(windowDisabled);
        QVERIFY2(statusText.startsWith(QStringLiteral("Joining 2 files into ")), qPrintable(statusText));
        QVERIFY(!std::filesystem::exists(target));
        QVERIFY(shown_.empty());
        QVERIFY(opened_.empty());
        QVERIFY(page_->isEnabled());
    }

    void addFolderStoresTheFolderAndListsItsFiles() {
        ShowPage();
        QString title;
        const std::string folder = Path("folder");
        std::filesystem::create_directories(folder);
        std::filesystem::copy_file(files_[0], folder + "/x.mp3");
        std::filesystem::copy_file(files_[1], folder + "/y.mp3");
        SetFolderPicker([&](const QString& t, const QString&) {
            title = t;
            return QString::fromStdString(folder);
        });
        Click(Get("addFolderButton"));
        SetFolderPicker({});
        QCOMPARE(title, QStringLiteral("Please choose a folder:"));
        QCOMPARE(FileColumn(), (QStringList{"x.mp3", "y.mp3"}));
        JoinerPageSettings s;
        s.Load();
        QCOMPARE(s.folder, folder + "/");
    }

    void trackSpinStaysWithin1To255() {
        ShowPage();
        auto* spin = Get("trackSpin");
        auto* up = spin->findChild<QToolButton*>(QStringLiteral("up"));
        auto* down = spin->findChild<QToolButton*>(QStringLiteral("down"));
        QTest::mouseClick(down, Qt::LeftButton);
        QCOMPARE(Get<QLineEdit>("trackBox")->text(), QStringLiteral("1"));
        QTest::mouseClick(up, Qt::LeftButton);
        QCOMPARE(Get<QLineEdit>("trackBox")->text(), QStringLiteral("2"));
        Retype(Get("trackBox"), QStringLiteral("255"));
        QTest::keyClick(Get("trackBox"), Qt::Key_Up);
        QCOMPARE(Get<QLineEdit>("trackBox")->text(), QStringLiteral("255"));
        Retype(Get("trackBox"), QStringLiteral("1234"));
        QCOMPARE(Get<QLineEdit>("trackBox")->text(), QStringLiteral("123"));
    }
};

CORVANE_TEST_MAIN(PageJoinerTest)
#include "PageJoinerTest.moc"
