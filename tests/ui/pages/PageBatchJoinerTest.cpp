// Batch joiner page: driven through its own buttons, lists, menus and the ID3 tag dialog;
// the targets it writes are checked byte by byte, against their inputs and against what
// corvane-cli batch-join writes for the same files and options.
#include "TestEnvironment.h"
#include "pages/PageFixture.h"

#include "audio/AudioLibrary.h"
#include "engine/Progress.h"
#include "engine/Facts.h"
#include "support/CliRunner.h"
#include "support/Mp3Factory.h"
#include "support/SplitAtFirstFrame.h"
#include "ui/MessageBox.h"
#include "ui/SettingsStore.h"
#include "ui/Shell.h"
#include "ui/pages/PageBatchJoiner.h"
#include "ui/widgets/DualProgressDialog.h"
#include "ui/widgets/Id3TagDialog.h"
#include "ui/widgets/SortListCtrl.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

using namespace corvane;

namespace {

constexpr int kNoSoundDevice = 0;
constexpr uint32_t kOutputRate = 44100;

void Click(QWidget* widget) { QTest::mouseClick(widget, Qt::LeftButton, Qt::NoModifier, widget->rect().center()); }

QString Q(const std::string& s) { return QString::fromStdString(s); }

// Runs work when the next modal dialog is up (the ID3 tag dialog the page opens).
void WhenModal(std::function<void(QWidget*)> work) {
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, work] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr) return;
        timer->stop();
        timer->deleteLater();
        work(modal);
    });
    timer->start();
}

// With LAME's Info frame first: a frame-copied target's frames after its header frame are
// those after the inputs' own.
test::Bytes Encode(double seconds, int rate = 44100) {
    test::EncodeOptions o;
    o.seconds = seconds;
    o.sampleRate = rate;
    o.infoFrame = true;
    return test::EncodeMp3(o);
}

}  // namespace

class PageBatchJoinerTest : public QObject {
    Q_OBJECT
    std::unique_ptr<test::TempDir> dir_;
    test::CDesktopRecorder desktop_;
    std::vector<QString>& shown_ = desktop_.shown;
    std::vector<QUrl>& opened_ = desktop_.opened;
    JoinerPageOptions options_;
    std::unique_ptr<CPageBatchJoiner> page_;
    int folderNumber_ = 0;

    CPageBatchJoiner& ShowPage() {
        page_ = std::make_unique<CPageBatchJoiner>();
        page_->SetOptionsSource(&options_);
        page_->resize(1000, 700);
        page_->show();
        if (!QTest::qWaitForWindowExposed(page_.get())) qWarning("page not exposed");
        return *page_;
    }
    template <typename T = QWidget>
    T* Get(const char* name) {
        return test::FindControl<T>(page_.get(), name);
    }
    CSortListCtrl* Main() { return Get<CSortListCtrl>("mainList"); }
    CSortListCtrl* Joined() { return Get<CSortListCtrl>("joinedList"); }
    // A fresh folder of the test's own.
    std::string NewFolder() {
        const std::string folder = *dir_ / ("case" + std::to_string(++folderNumber_));
        std::filesystem::create_directories(folder);
        return folder;
    }
    // Adds files through a button and the (replaced) open dialog.
    void AddThrough(const char* button, const std::vector<std::string>& paths) {
        SetFilePicker([paths](const QString&, FileDialogMode, const QStringList&) {
            QStringList chosen;
            for (const std::string& p : paths) chosen << Q(p);
            return chosen;
        });
        Click(Get(button));
        SetFilePicker({});
    }
    void AddMain(const std::vector<std::string>& paths) { AddThrough("addFilesButton", paths); }
    void AddJoined(const std::vector<std::string>& paths) { AddThrough("addJoinedButton", paths); }
    void SelectRow(CSortListCtrl* list, int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers,
                          list->visualItemRect(list->topLevelItem(row)).center());
    }
    // Opens the list's menu from the keyboard and chooses the item with text when it is enabled.
    void TriggerMenuItem(CSortListCtrl* list, const char* menuName, const char* text) {
        auto* menu = Get<QMenu>(menuName);
        QTimer::singleShot(0, menu, [menu, text] {
            for (QAction* a : menu->actions())
                if (a->text() == QString::fromLatin1(text) && a->isEnabled()) a->trigger();
            menu->close();
        });
        QContextMenuEvent event(QContextMenuEvent::Keyboard, QPoint(5, 5), QPoint(5, 5));
        QApplication::sendEvent(list->viewport(), &event);
        QTest::qWait(20);
    }
    QString Output(int row) { return Main()->Cell(row, 3); }
    QStringList Column(CSortListCtrl* list, int column) {
        QStringList texts;
        for (int row = 0; row < list->RowCount(); ++row) texts << list->Cell(row, column);
        return texts;
    }
    // Fills the ID3 tag dialog that the "ID3 tag" button opens and presses OK.
    void EditTagOfSelectedRow(const TagFields& tag) {
        bool seen = false;
        WhenModal([&](QWidget* dialog) {
            seen = qobject_cast<CId3TagDialog*>(dialog) != nullptr;
            const auto retype = [&](const char* name, const QString& text) {
                auto* box = dialog->findChild<QLineEdit*>(QString::fromLatin1(name));
                QVERIFY(box != nullptr);
                box->selectAll();
                QTest::keyClick(box, Qt::Key_Delete);
                QTest::keyClicks(box, text);
            };
            retype("track", QString::number(tag.track));
            retype("title", Q(tag.title));
            retype("artist", Q(tag.artist));
            retype("album", Q(tag.album));
            retype("year", Q(tag.year));
            auto* genre = dialog->findChild<QComboBox*>(QStringLiteral("genre"));
            genre->setCurrentIndex(-1);
            genre->setEditText(Q(tag.genre));
            auto* comment = dialog->findChild<QPlainTextEdit*>(QStringLiteral("comment"));
            comment->setPlainText(Q(tag.comment));
            Click(dialog->findChild<QPushButton*>(QStringLiteral("ok")));
            if (dialog->isVisible()) static_cast<QDialog*>(dialog)->reject();  // refused: do not hang
        });
        Click(Get("tagButton"));
        QVERIFY(seen);
        QVERIFY(shown_.empty());
    }

private Q_SLOTS:
    void initTestCase() {
        audio::Init(kNoSoundDevice, kOutputRate);  // decode-only streams
        dir_ = std::make_unique<test::TempDir>();
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
        options_.browseFolder = true;
        desktop_.Install();
    }
    void cleanup() {
        page_.reset();
        desktop_.Remove();
    }

    void theControlsCarryTheirTextsAndStartDisabled() {
        ShowPage();
        QCOMPARE(page_->Caption(), QStringLiteral("MP3 Batch Joiner"));
        QCOMPARE(Get<QRadioButton>("insertRadio")->text(), QStringLiteral("&Insert at beginning"));
        QCOMPARE(Get<QRadioButton>("appendRadio")->text(), QStringLiteral("Appe&nd to end"));
        QVERIFY(Get<QRadioButton>("insertRadio")->isChecked());
        QCOMPARE(Get<QLabel>("joinedLabel")->text(), QStringLiteral("Joined M&P3 Files"));
        QCOMPARE(Get<QLabel>("mainLabel")->text(),
                 QStringLiteral("&Main MP3 Files (all joined MP3 files in bottom section will be joined at beginning "
                                "or end of every file in the section)"));
        const std::pair<const char*, const char*> buttons[] = {
            {"joinButton", "&Join Now!"},   {"addFilesButton", "&Add Files"}, {"addFolderButton", "Add &Folder"},
            {"removeButton", "&Remove"},    {"tagButton", "ID3 tag"},         {"addJoinedButton", "Add Fil&es"},
            {"removeJoinedButton", "Remo&ve"}, {"upButton", "&Up"},           {"downButton", "&Down"}};
        for (const auto& [name, text] : buttons) QCOMPARE(Get<QPushButton>(name)->text(), QString::fromLatin1(text));
        for (const char* name : {"joinButton", "removeButton", "tagButton", "removeJoinedButton", "upButton",
                                 "downButton"})
            QVERIFY2(!Get(name)->isEnabled(), name);
        QCOMPARE(Main()->headerItem()->text(3), QStringLiteral("Output"));
        QCOMPARE(Main()->columnCount(), 14);
        QCOMPARE(Joined()->headerItem()->text(3), QStringLiteral("#"));
        QCOMPARE(Joined()->columnCount(), 13);
    }

    void theButtonsFollowTheListsAndTheirSelections() {
        const std::string folder = NewFolder();
        const std::string a = folder + "/a.mp3", b = folder + "/b.mp3";
        test::WriteFile(a, Encode(1));
        test::WriteFile(b, Encode(1));
        ShowPage();
        AddMain({a, a, b});  // a path already listed is passed over
        QCOMPARE(Column(Main(), 0), (QStringList{"a.mp3", "b.mp3"}));
        QVERIFY(!Get("joinButton")->isEnabled());
        AddJoined({a, a});  // the joined files may repeat
        QCOMPARE(Joined()->RowCount(), 2);
        QVERIFY(Get("joinButton")->isEnabled());
        QVERIFY(shown_.empty());

        SelectRow(Main(), 1);
        QVERIFY(Get("removeButton")->isEnabled());
        QVERIFY(Get("tagButton")->isEnabled());
        SelectRow(Joined(), 0);
        for (const char* name : {"removeJoinedButton", "upButton", "downButton"}) QVERIFY2(Get(name)->isEnabled(), name);
        Click(Get("removeJoinedButton"));
        QCOMPARE(Joined()->RowCount(), 1);
        for (const char* name : {"removeJoinedButton", "upButton", "downButton"})
            QVERIFY2(!Get(name)->isEnabled(), name);
        QVERIFY(Get("joinButton")->isEnabled());

        // "Remo&ve All" of the joined list's menu leaves main rows but nothing to join.
        TriggerMenuItem(Joined(), "joinedMenu", "Remo&ve All");
        QTRY_COMPARE(Joined()->RowCount(), 0);
        QCOMPARE(Main()->RowCount(), 2);
        QVERIFY(!Get("joinButton")->isEnabled());
    }

    void theMenusHoldTheirItems() {
        ShowPage();
        QStringList mainItems, joinedItems;
        for (QAction* a : Get<QMenu>("mainMenu")->actions()) mainItems << (a->isSeparator() ? "-" : a->text());
        for (QAction* a : Get<QMenu>("joinedMenu")->actions()) joinedItems << (a->isSeparator() ? "-" : a->text());
        QCOMPARE(mainItems, (QStringList{"&Play", "&Browse", "Set &ID3 tag", "-", "Play &Outputted MP3",
                                         "Browse Outputted &MP3", "-", "&Remove", "Remo&ve All", "-",
                                         "&Add Files...", "Add &Folder..."}));
        QCOMPARE(joinedItems, (QStringList{"&Play", "&Browse", "-", "&Up", "&Down", "-", "&Remove", "Remo&ve All", "-",
                                           "&Add Files..."}));
    }

    void downMovesTheSelectedJoinedRowsUnlessTheLastIsSelected() {
        const std::string folder = NewFolder();
        std::vector<std::string> paths;
        for (const char* name : {"j0", "j1", "j2", "j3"}) {
            paths.push_back(folder + "/" + name + ".mp3");
            test::WriteFile(paths.back(), Encode(1));
        }
        ShowPage();
        AddJoined(paths);
        SelectRow(Joined(), 0);
        SelectRow(Joined(), 2, Qt::ControlModifier);
        Click(Get("downButton"));
        QCOMPARE(Column(Joined(), 0), (QStringList{"j1.mp3", "j0.mp3", "j3.mp3", "j2.mp3"}));
        QVERIFY(Joined()->topLevelItem(1)->isSelected());
        QVERIFY(Joined()->topLevelItem(3)->isSelected());
        QCOMPARE(Joined()->Record(1)->path, paths[0]);
        Click(Get("downButton"));  // the bottom row is selected: nothing moves
        QCOMPARE(Column(Joined(), 0), (QStringList{"j1.mp3", "j0.mp3", "j3.mp3", "j2.mp3"}));
        Click(Get("upButton"));
        QCOMPARE(Column(Joined(), 0), (QStringList{"j0.mp3", "j1.mp3", "j2.mp3", "j3.mp3"}));
        QCOMPARE(Joined()->Record(0)->path, paths[0]);
    }

    void oneMainFileWithTwoJoinedFilesAppendsOrInsertsInOrder() {
        const std::string folder = NewFolder();
        const std::string m = folder + "/main.mp3", j1 = folder + "/first.mp3", j2 = folder + "/second.mp3";
        const test::Bytes mb = Encode(1), b1 = Encode(2), b2 = Encode(3);
        test::WriteFile(m, mb);
        test::WriteFile(j1, b1);
        test::WriteFile(j2, b2);
        ShowPage();
        AddMain({m});
        AddJoined({j1, j2});

        Click(Get("appendRadio"));
        Click(Get("joinButton"));
        QCOMPARE(Output(0), QStringLiteral("main_joined.mp3"));
        QCOMPARE(page_->OutputPath(0), folder + "/main_joined.mp3");
        // Alike inputs are joined frame by frame: the header frame, then the inputs' frames in order.
        QVERIFY(test::SplitAtFirstFrame(test::ReadFile(folder + "/main_joined.mp3")).rest ==
                test::AfterFirstFrames({mb, b1, b2}));
        QCOMPARE(opened_.size(), size_t{1});
        QCOMPARE(opened_[0], QUrl::fromLocalFile(Q(folder)));
        QVERIFY(page_->isEnabled());

        // The row's menu plays and browses its target.
        SelectRow(Main(), 0);
        TriggerMenuItem(Main(), "mainMenu", "Play &Outputted MP3");
        QTRY_COMPARE(opened_.size(), size_t{2});
        QCOMPARE(opened_[1], QUrl::fromLocalFile(Q(folder + "/main_joined.mp3")));
        TriggerMenuItem(Main(), "mainMenu", "Browse Outputted &MP3");
        QTRY_COMPARE(opened_.size(), size_t{3});
        QCOMPARE(opened_[2], QUrl::fromLocalFile(Q(folder)));
        opened_.clear();

        Click(Get("insertRadio"));
        Click(Get("joinButton"));
        QCOMPARE(Output(0), QStringLiteral("main_joined_1.mp3"));
        QVERIFY(test::SplitAtFirstFrame(test::ReadFile(folder + "/main_joined_1.mp3")).rest ==
                test::AfterFirstFrames({b1, b2, mb}));
        QCOMPARE(page_->OutputPath(0), folder + "/main_joined_1.mp3");
        QCOMPARE(opened_.size(), size_t{1});
        QVERIFY(shown_.empty());
    }

    void aMainFileRefusedByTheNamingFailsOnlyItsRow() {
        const std::string folder = NewFolder();
        std::vector<std::string> mains;
        for (const char* name : {"a", "b", "c"}) {
            mains.push_back(folder + "/" + name + ".mp3");
            test::WriteFile(mains.back(), Encode(1));
        }
        const std::string j = folder + "/j.mp3";
        test::WriteFile(j, Encode(1));
        const test::Bytes existing = {1, 2, 3};
        test::WriteFile(folder + "/b_joined.mp3", existing);
        options_.placement.ifExists = TargetExists::Skip;
        ShowPage();
        AddMain(mains);
        AddJoined({j});
        Click(Get("joinButton"));
        QCOMPARE(Column(Main(), 3),
                 (QStringList{"a_joined.mp3", "Join failure. Target exists and skipped", "c_joined.mp3"}));
        QVERIFY(test::ReadFile(folder + "/b_joined.mp3") == existing);
        QVERIFY(std::filesystem::exists(folder + "/a_joined.mp3"));
        QVERIFY(std::filesystem::exists(folder + "/c_joined.mp3"));
        QVERIFY(page_->OutputPath(1).empty());
        QCOMPARE(page_->OutputPath(2), folder + "/c_joined.mp3");
        QVERIFY(shown_.empty());  // the batch shows no message box
        QCOMPARE(opened_.size(), size_t{1});
    }

    void aCancelDuringTheSecondOfThreeStopsTheBatch() {
        const std::string folder = NewFolder();
        const std::string a = folder + "/a.mp3", b = folder + "/b.mp3", c = folder + "/c.mp3";
        const std::string j = folder + "/j.mp3";
        test::WriteFile(a, Encode(1));
        test::WriteFile(b, Encode(60));
        test::WriteFile(c, Encode(1));
        test::WriteFile(j, Encode(1));
        options_.autoParams = false;  // every join re-encodes: the long one takes a while
        ShowPage();
        AddMain({a, b, c});
        AddJoined({j});
        Main()->SetCell(2, 3, QStringLiteral("earlier"));  // as a previous run left it

        bool pressed = false;
        bool windowDisabled = false;
        QString lowerText;
        QTimer watcher;
        watcher.setInterval(0);
        connect(&watcher, &QTimer::timeout, [&] {
            if (pressed) return;
            for (QWidget* w : QApplication::topLevelWidgets()) {
                auto* dialog = qobject_cast<CDualProgressDialog*>(w);
                if (dialog == nullptr || !dialog->isVisible()) continue;
                if (dialog->LowerText()->text() != QStringLiteral("Joining 2 of 3 file(s)...") ||
                    dialog->UpperBar()->value() <= dialog->UpperBar()->minimum())
                    continue;
                lowerText = dialog->LowerText()->text();
                windowDisabled = !page_->isEnabled();
                QCOMPARE(dialog->LowerBar()->maximum(), 3);
                QCOMPARE(dialog->LowerBar()->value(), 2);
                QCOMPARE(Output(1), QStringLiteral("Joining..."));
                pressed = true;
                QTest::mouseClick(dialog->CancelButton(), Qt::LeftButton);
            }
        });
        watcher.start();
        Click(Get("joinButton"));
        watcher.stop();
        QVERIFY(pressed);
        QVERIFY(windowDisabled);
        QCOMPARE(Column(Main(), 3), (QStringList{"a_joined.mp3", "Cancelled", "earlier"}));
        QVERIFY(!std::filesystem::exists(folder + "/b_joined.mp3"));
        QVERIFY(!std::filesystem::exists(folder + "/c_joined.mp3"));
        QVERIFY(page_->OutputPath(1).empty());
        QVERIFY(opened_.empty());  // a cancelled batch opens no folder
        QVERIFY(page_->isEnabled());
    }

    void theTagCellsAreTheTargetsTagAndAllEmptyGiveNone() {
        const std::string folder = NewFolder();
        const std::string m = folder + "/tagged.mp3", j = folder + "/j.mp3";
        const test::Bytes frames = Encode(5), jb = Encode(1);
        test::WriteFile(m, test::Concat({test::MakeId3v2Tag(3, {{"TIT2", "Morning"}, {"TPE1", "The Band"},
                                                                 {"TRCK", "4"}}),
                                         frames}));
        test::WriteFile(j, jb);
        options_.placement.ifExists = TargetExists::Overwrite;
        ShowPage();
        AddMain({m});
        AddJoined({j});
        QCOMPARE(Main()->Cell(0, 4), QStringLiteral("4"));
        QCOMPARE(Main()->Cell(0, 5), QStringLiteral("Morning"));

        SelectRow(Main(), 0);
        TagFields edited;
        edited.track = 12;
        edited.title = "Evening";
        edited.genre = "Blues";
        edited.comment = "joined";
        EditTagOfSelectedRow(edited);
        QCOMPARE(Main()->Cell(0, 4), QStringLiteral("12"));
        QCOMPARE(Main()->Cell(0, 5), QStringLiteral("Evening"));
        QCOMPARE(Main()->Cell(0, 6), QString());
        QCOMPARE(Main()->Cell(0, 9), QStringLiteral("Blues"));
        QCOMPARE(Main()->Cell(0, 10), QStringLiteral("joined"));
        Click(Get("appendRadio"));
        Click(Get("joinButton"));
        const std::string target = folder + "/tagged_joined.mp3";
        QCOMPARE(Output(0), QStringLiteral("tagged_joined.mp3"));
        TagFields read;
        QVERIFY(ReadTags(target, read));
        QCOMPARE(read.track, 12);
        QCOMPARE(read.title, std::string("Evening"));
        QVERIFY(read.artist.empty());
        QCOMPARE(read.genre, std::string("Blues"));
        QCOMPARE(read.comment, std::string("joined"));

        EditTagOfSelectedRow(TagFields{});
        for (int c = 4; c <= 10; ++c) QVERIFY2(Main()->Cell(0, c).isEmpty(), qPrintable(QString::number(c)));
        Click(Get("joinButton"));
        QCOMPARE(Output(0), QStringLiteral("tagged_joined.mp3"));
        // No tag: a tag of the two inputs' chapters alone, then the header frame and the frames
        // of the main file and the joined file.
        const test::FirstFrameSplit written = test::SplitAtFirstFrame(test::ReadFile(target));
        QCOMPARE(ReadChapters(target).size(), size_t{2});
        QVERIFY(written.rest == test::AfterFirstFrames({frames, jb}));
        TagFields none;
        ReadTags(target, none);
        QVERIFY(none.title.empty() && none.artist.empty() && none.track == 0);
    }

    void joinNowWritesWhatCorvaneCliWrites() {
        const std::string folder = NewFolder();
        const std::string a = folder + "/a.mp3", b = folder + "/b.mp3";
        const std::string j1 = folder + "/j1.mp3", j2 = folder + "/j2.mp3";
        test::WriteFile(a, test::Concat({test::MakeId3v2Tag(3, {{"TIT2", "Song A"}, {"TPE1", "Artist"},
                                                                 {"TALB", "Album"}, {"TYER", "2001"},
                                                                 {"TRCK", "3"}}),
                                         Encode(2)}));
        test::WriteFile(b, Encode(2, 48000));  // unlike the joined files: re-encoded under Auto
        test::WriteFile(j1, Encode(1));
        test::WriteFile(j2, Encode(2));
        for (const bool append : {true, false}) {
            const std::string pageOut = NewFolder(), cliOut = NewFolder();
            options_.placement.folder = OutputFolder::Specific;
            options_.placement.specificFolder = pageOut + "/";
            ShowPage();
            AddMain({a, b});
            AddJoined({j1, j2});
            Click(Get(append ? "appendRadio" : "insertRadio"));
            Click(Get("joinButton"));
            QCOMPARE(Column(Main(), 3), (QStringList{"a_joined.mp3", "b_joined.mp3"}));

            const test::ProcessResult r = test::RunCli({"batch-join", a, b, "--with", j1, "--with", j2,
                                                        append ? "--append" : "--insert", "-d", cliOut, "-q"});
            QCOMPARE(r.exitCode, 0);
            QCOMPARE(test::PiecesIn(pageOut), (QStringList{"a_joined.mp3", "b_joined.mp3"}));
            QCOMPARE(test::PiecesIn(cliOut), test::PiecesIn(pageOut));
            for (const QString& name : test::PiecesIn(pageOut)) {
                const std::string file = "/" + name.toStdString();
                QVERIFY2(test::ReadFile(pageOut + file) == test::ReadFile(cliOut + file), qPrintable(name));
            }
            QVERIFY(test::ReadFile(pageOut + "/a_joined.mp3") != test::ReadFile(pageOut + "/b_joined.mp3"));
        }
    }

    void theJoinTypeIsSavedWhenThePageGoesAndTheFolderAtOnce() {
        const std::string folder = NewFolder();
        test::WriteFile(folder + "/x.mp3", Encode(1));
        ShowPage();
        SetFolderPicker([folder](const QString& title, const QString&) {
            return title == QStringLiteral("Please choose a folder:") ? Q(folder) : QString();
        });
        Click(Get("addFolderButton"));
        QCOMPARE(Column(Main(), 0), (QStringList{"x.mp3"}));
        BatchJoinerSettings stored;
        stored.Load();
        QCOMPARE(stored.folder, folder + "/");
        QCOMPARE(stored.joinType, JoinType::InsertAtBeginning);

        Click(Get("appendRadio"));
        page_->DestroyPage();
        stored.Load();
        QCOMPARE(stored.joinType, JoinType::AppendToEnd);
        page_.reset();

        ShowPage();
        QVERIFY(Get<QRadioButton>("appendRadio")->isChecked());
    }
};

CORVANE_TEST_MAIN(PageBatchJoinerTest)
#include "PageBatchJoinerTest.moc"
