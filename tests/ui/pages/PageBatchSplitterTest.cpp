// Batch cutter page: driven through its own controls; the pieces it writes are compared with
// what corvane-cli batch-cut writes for the same rule, and the settings file is read back.
//
// With CORVANE_BENCH_FOLDER set, addingAThousandFiles adds that folder through "Add &Folder"
// and prints how long it took (bench/batch-list.sh); otherwise it is skipped.
#include "TestEnvironment.h"
#include "pages/PageFixture.h"

#include "audio/AudioLibrary.h"
#include "engine/Progress.h"
#include "engine/cut/CutPlans.h"
#include "support/CliRunner.h"
#include "support/Mp3Factory.h"
#include "ui/MessageBox.h"
#include "ui/SettingsStore.h"
#include "ui/Shell.h"
#include "ui/pages/PageBatchSplitter.h"
#include "ui/widgets/DualProgressDialog.h"
#include "ui/widgets/ProgressDialog.h"
#include "ui/widgets/SortListCtrl.h"
#include "ui/widgets/ValueList.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QToolButton>

#include <filesystem>
#include <memory>
#include <vector>

using namespace corvane;
using test::PendingPiecesIn;
using test::PiecesIn;

namespace {

void Retype(QWidget* widget, const QString& text) {
    QTest::keyClick(widget, Qt::Key_End);
    QTest::keyClick(widget, Qt::Key_Home, Qt::ShiftModifier);
    QTest::keyClick(widget, Qt::Key_Delete);
    QTest::keyClicks(widget, text);
}

void Click(QWidget* widget) { QTest::mouseClick(widget, Qt::LeftButton, Qt::NoModifier, widget->rect().center()); }

CDualProgressDialog* OpenDualDialog() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* d = qobject_cast<CDualProgressDialog*>(w); d != nullptr && d->isVisible()) return d;
    return nullptr;
}

CProgressDialog* OpenProgressDialog() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* d = qobject_cast<CProgressDialog*>(w); d != nullptr && d->isVisible()) return d;
    return nullptr;
}

constexpr int kNoSoundDevice = 0;
constexpr uint32_t kOutputRate = 44100;
constexpr qint64 kThousandFilesWithinMs = 5000;

}  // namespace

class PageBatchSplitterTest : public QObject {
    Q_OBJECT
    std::unique_ptr<test::TempDir> dir_;
    std::vector<std::string> sources_;  // 20 s, 25 s, 30 s, 12 s, each in its own folder
    test::CDesktopRecorder desktop_;
    std::vector<QString>& shown_ = desktop_.shown;
    std::vector<QUrl>& opened_ = desktop_.opened;
    CutterPageOptions options_;
    std::unique_ptr<CPageBatchSplitter> page_;

    CPageBatchSplitter& ShowPage() {
        page_ = std::make_unique<CPageBatchSplitter>();
        page_->SetOptionsSource(&options_);
        page_->resize(900, 640);
        test::ShowActive(page_.get());
        return *page_;
    }
    template <typename T = QWidget>
    T* Get(const char* name) {
        return test::FindControl<T>(page_.get(), name);
    }
    QLineEdit* Box(const char* name) { return Get<QLineEdit>(name); }
    QToolButton* SpinButton(const char* spin, const char* which) {
        return Get(spin)->findChild<QToolButton*>(QString::fromLatin1(which));
    }
    CSortListCtrl* List() { return page_->List(); }
    QString Output(int row) { return List()->Cell(row, 3); }
    // Adds paths through "&Add Files" and the (replaced) open dialog.
    void AddByDialog(const std::vector<std::string>& paths) {
        SetFilePicker([paths](const QString&, FileDialogMode, const QStringList&) {
            QStringList chosen;
            for (const std::string& p : paths) chosen << QString::fromStdString(p);
            return chosen;
        });
        Click(Get("addFilesButton"));
        QApplication::processEvents();
    }
    void SelectRows(std::initializer_list<int> rows) {
        List()->clearSelection();
        for (int row : rows) {
            QTreeWidgetItem* item = List()->topLevelItem(row);
            QTest::mouseClick(List()->viewport(), Qt::LeftButton, Qt::ControlModifier,
                              List()->visualItemRect(item).center());
        }
    }
    std::string Folder(const char* name) { return *dir_ / name; }
    void UseOutputFolder(const std::string& folder) {
        options_.placement.folder = OutputFolder::Specific;
        options_.placement.specificFolder = folder + "/";
    }
    void ChooseMode(const char* radio) { Click(Get(radio)); }
    // The pieces of Cut All in pageFolder and of corvane-cli batch-cut with cliArgs over the
    // same files are the same files, byte for byte.
    void ExpectSameAsCli(const std::string& pageFolder, std::vector<std::string> cliArgs, int expected) {
        const std::string cliFolder = pageFolder + "-cli";
        std::vector<std::string> args = {"batch-cut"};
        args.insert(args.end(), cliArgs.begin(), cliArgs.end());
        args.insert(args.end(), {"-d", cliFolder, "-q"});
        for (int row = 0; row < List()->RowCount(); ++row) args.push_back(List()->Record(row)->path);
        const test::ProcessResult r = test::RunCli(args);
        QCOMPARE(r.exitCode, 0);
        const QStringList pagePieces = PiecesIn(pageFolder);
        QCOMPARE(pagePieces, PiecesIn(cliFolder));
        QCOMPARE(pagePieces.size(), expected);
        for (const QString& name : pagePieces) {
            const auto a = test::ReadFile(pageFolder + "/" + name.toStdString());
            const auto b = test::ReadFile(cliFolder + "/" + name.toStdString());
            QVERIFY2(a == b, qPrintable(name));
        }
    }

private Q_SLOTS:
    void initTestCase() {
        audio::Init(kNoSoundDevice, kOutputRate);  // decode-only streams
        dir_ = std::make_unique<test::TempDir>();
        const double seconds[] = {20.0, 25.0, 30.0, 12.0};
        const char* names[] = {"alpha", "bravo", "charlie", "delta"};
        for (int i = 0; i < 4; ++i) {
            test::EncodeOptions o;
            o.seconds = seconds[i];
            o.kbps = 128 + 32 * (i % 2);
            const std::filesystem::path folder = *dir_ / (std::string("src-") + names[i]);
            std::filesystem::create_directories(folder);
            const std::string path = folder / (std::string(names[i]) + ".mp3");
            test::WriteFile(path, test::Concat({test::MakeId3v2Tag(3, {{"TIT2", names[i]}, {"TRCK", "7"}}),
                                                test::EncodeMp3(o)}));
            sources_.push_back(path);
        }
        SetMessagePump(&ProcessPendingEvents);
    }
    void cleanupTestCase() {
        SetMessagePump(nullptr);
        audio::Free();
        dir_.reset();
    }
    void init() {
        test::UseFreshSettings();
        options_ = CutterPageOptions{};
        options_.browseFolder = true;
        desktop_.Install();
    }
    void cleanup() {
        page_.reset();
        desktop_.Remove();
        QApplication::processEvents();
    }

    // A click on a column's header sorts up, the next one down.
    void headerClicksSortUpThenDown() {
        ShowPage();
        AddByDialog({sources_[2], sources_[0], sources_[1]});
        QHeaderView* header = List()->header();
        auto clickName = [&] {
            QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier,
                              QPoint(header->sectionViewportPosition(0) + 5, header->height() / 2));
            return QStringList{List()->Cell(0, 0), List()->Cell(1, 0), List()->Cell(2, 0)};
        };
        QCOMPARE(clickName(), (QStringList{"alpha.mp3", "bravo.mp3", "charlie.mp3"}));
        QCOMPARE(clickName(), (QStringList{"charlie.mp3", "bravo.mp3", "alpha.mp3"}));
    }

    // A listed file replaced before the cut is cut by what it is now, as corvane-cli cuts it.
    void aFileReplacedAfterItWasListedIsCutAsItIsNow() {
        ShowPage();
        const std::string path = Folder("replaced.mp3");
        test::EncodeOptions o;
        o.seconds = 12.0;
        test::WriteFile(path, test::EncodeMp3(o));
        AddByDialog({path});
        o.seconds = 4.0;
        test::WriteFile(path + ".new", test::EncodeMp3(o));
        std::filesystem::rename(path + ".new", path);
        ChooseMode("byCount");
        Retype(Box("countBox"), "2");
        UseOutputFolder(Folder("replaced-out"));
        Click(Get("cutAllButton"));
        QCOMPARE(test::RunCli({"batch-cut", "--count", "2", "-d", Folder("replaced-cli"), path}).exitCode, 0);
        QCOMPARE(PiecesIn(Folder("replaced-out")), (QStringList{"replaced-1.mp3", "replaced-2.mp3"}));
        for (const char* piece : {"/replaced-1.mp3", "/replaced-2.mp3"}) {
            QVERIFY(test::ReadFile(Folder("replaced-out") + piece) == test::ReadFile(Folder("replaced-cli") + piece));
        }
    }

    void startsWithTheStoredRuleAndNothingToCut() {
        ShowPage();
        QCOMPARE(page_->Caption(), QStringLiteral("MP3 Batch Cutter"));
        QCOMPARE(Get<QPushButton>("cutAllButton")->text(), QStringLiteral("C&ut All"));
        QCOMPARE(Get<QPushButton>("cutSelectedButton")->text(), QStringLiteral("Cut Selecte&d"));
        for (const char* name : {"cutAllButton", "cutSelectedButton", "removeButton", "removeAllButton"})
            QVERIFY2(!Get(name)->isEnabled(), name);
        QVERIFY(Get("addFilesButton")->isEnabled());
        QVERIFY(Get("addFolderButton")->isEnabled());
        const QStringList headers = {"File", "Size",   "Length", "Output", "#",        "Title", "Artist",
                                     "Album", "Year",  "Genre",  "Bit Rate", "Freq", "Ch"};
        QCOMPARE(List()->columnCount(), headers.size());
        for (int c = 0; c < headers.size(); ++c) QCOMPARE(List()->headerItem()->text(c), headers[c]);
        QVERIFY(Get<QRadioButton>("bySize")->isChecked());
        QCOMPARE(Box("sizeBox")->text(), QStringLiteral("1"));
        QCOMPARE(Get<CValueList>("unitList")->Value(), 301);
        QCOMPARE(Box("countBox")->text(), QStringLiteral("2"));
        QCOMPARE(Box("minutesBox")->text(), QStringLiteral("1"));
        QCOMPARE(Box("secondsBox")->text(), QStringLiteral("0"));
        QCOMPARE(Box("beginBox")->text(), QStringLiteral("0.0"));
        QCOMPARE(Box("lengthBox")->text(), QStringLiteral("1.0"));
        QVERIFY(Box("sizeBox")->isEnabled());
        QVERIFY(!Box("countBox")->isEnabled());
        QVERIFY(!Box("beginBox")->isEnabled());
    }

    void eachRuleEnablesOnlyItsBoxesAndFocusesTheFirst() {
        ShowPage();
        struct Case {
            const char* radio;
            const char* first;
            std::vector<const char*> enabled;
        };
        const std::vector<Case> cases = {
            {"byCount", "countBox", {"countBox", "countSpin"}},
            {"byTime", "minutesBox", {"minutesBox", "minutesSpin", "secondsBox", "secondsSpin"}},
            {"byRange", "beginBox", {"beginBox", "beginSpin", "lengthBox", "lengthSpin"}},
            {"bySize", "sizeBox", {"sizeBox", "sizeSpin", "unitList"}},
        };
        const std::vector<const char*> all = {"sizeBox",    "sizeSpin",    "unitList",   "countBox",
                                              "countSpin",  "minutesBox",  "minutesSpin", "secondsBox",
                                              "secondsSpin", "beginBox",   "beginSpin",  "lengthBox", "lengthSpin"};
        for (const Case& c : cases) {
            ChooseMode(c.radio);
            for (const char* name : all) {
                const bool expected = std::find_if(c.enabled.begin(), c.enabled.end(), [&](const char* e) {
                                          return qstrcmp(e, name) == 0;
                                      }) != c.enabled.end();
                QVERIFY2(Get(name)->isEnabled() == expected, name);
            }
            QCOMPARE(page_->focusWidget(), Get(c.first));
        }
    }

    void theCountSpinStopsAtTwoAndTheSizeSpinAtOne() {
        ShowPage();
        Retype(Box("sizeBox"), "2");
        Click(SpinButton("sizeSpin", "down"));
        QCOMPARE(Box("sizeBox")->text(), QStringLiteral("1"));
        Click(SpinButton("sizeSpin", "down"));
        QCOMPARE(Box("sizeBox")->text(), QStringLiteral("1"));
        QTest::keyClick(Box("sizeBox"), Qt::Key_Down);
        QCOMPARE(Box("sizeBox")->text(), QStringLiteral("1"));
        Click(SpinButton("sizeSpin", "up"));
        QCOMPARE(Box("sizeBox")->text(), QStringLiteral("2"));

        ChooseMode("byCount");
        Retype(Box("countBox"), "3");
        Click(SpinButton("countSpin", "down"));
        QCOMPARE(Box("countBox")->text(), QStringLiteral("2"));
        Click(SpinButton("countSpin", "down"));
        QCOMPARE(Box("countBox")->text(), QStringLiteral("2"));
        QTest::keyClick(Box("countBox"), Qt::Key_Down);
        QCOMPARE(Box("countBox")->text(), QStringLiteral("2"));

        ChooseMode("byTime");
        Retype(Box("secondsBox"), "59");
        Click(SpinButton("secondsSpin", "up"));
        QCOMPARE(Box("secondsBox")->text(), QStringLiteral("59"));
        Retype(Box("minutesBox"), "0");
        Click(SpinButton("minutesSpin", "down"));
        QCOMPARE(Box("minutesBox")->text(), QStringLiteral("0"));
    }

    void theRangeSpinsStepByTenthsAndStopAtZero() {
        ShowPage();
        ChooseMode("byRange");
        Retype(Box("beginBox"), ".5");
        Click(SpinButton("beginSpin", "up"));
        QCOMPARE(Box("beginBox")->text(), QStringLiteral("0.6"));
        Retype(Box("beginBox"), "0.0");
        Click(SpinButton("beginSpin", "down"));
        QCOMPARE(Box("beginBox")->text(), QStringLiteral("0.0"));
        Retype(Box("beginBox"), "");
        Click(SpinButton("beginSpin", "up"));
        QCOMPARE(Box("beginBox")->text(), QStringLiteral("0.1"));
        Retype(Box("lengthBox"), "12.34");
        QTest::keyClick(Box("lengthBox"), Qt::Key_Down);
        QCOMPARE(Box("lengthBox")->text(), QStringLiteral("12.2"));
        Retype(Box("lengthBox"), "1.");
        QTest::keyClick(Box("lengthBox"), Qt::Key_Up);
        QCOMPARE(Box("lengthBox")->text(), QStringLiteral("1.1"));
        // The boxes take digits and the point only.
        Retype(Box("beginBox"), "-3a.5");
        QCOMPARE(Box("beginBox")->text(), QStringLiteral("3.5"));
    }

    void aBoxThatIsNotAnIntegerIsRefusedWhenTheRuleChanges() {
        ShowPage();
        ChooseMode("byCount");
        Retype(Box("countBox"), "");
        ChooseMode("byTime");
        QCOMPARE(shown_, (std::vector<QString>{"Please enter an integer."}));
        QCOMPARE(page_->Settings().cutFileAmount, 2);
    }

    void addingRemovingAndTheButtonsThatFollow() {
        ShowPage();
        AddByDialog({sources_[0], sources_[1]});
        QCOMPARE(List()->RowCount(), 2);
        QCOMPARE(List()->Cell(0, 0), QStringLiteral("alpha.mp3"));
        QCOMPARE(List()->Cell(0, 2), QStringLiteral("0:20"));
        QCOMPARE(List()->Cell(0, 4), QStringLiteral("7"));
        QCOMPARE(List()->Cell(0, 5), QStringLiteral("alpha"));
        QCOMPARE(List()->Cell(1, 10), QStringLiteral("160 kbps"));
        QCOMPARE(List()->Cell(1, 11), QStringLiteral("44100 Hz"));
        QVERIFY(Get("cutAllButton")->isEnabled());
        QVERIFY(Get("removeAllButton")->isEnabled());
        QVERIFY(!Get("removeButton")->isEnabled());
        QVERIFY(!Get("cutSelectedButton")->isEnabled());

        // The same file again, also by another spelling of its path, is passed over without a word.
        AddByDialog({sources_[0], Folder("src-bravo") + "/../src-alpha/./alpha.mp3"});
        QCOMPARE(List()->RowCount(), 2);
        QVERIFY(shown_.empty());

        SelectRows({0});
        QVERIFY(Get("removeButton")->isEnabled());
        QVERIFY(Get("cutSelectedButton")->isEnabled());
        Click(Get("removeButton"));
        QCOMPARE(List()->RowCount(), 1);
        QCOMPARE(List()->Cell(0, 0), QStringLiteral("bravo.mp3"));
        QVERIFY(!Get("removeButton")->isEnabled());
        QVERIFY(!Get("cutSelectedButton")->isEnabled());
        QVERIFY(Get("cutAllButton")->isEnabled());
        SelectRows({0});
        Click(Get("removeButton"));
        QCOMPARE(List()->RowCount(), 0);
        QVERIFY(!Get("removeAllButton")->isEnabled());
        QVERIFY(!Get("cutAllButton")->isEnabled());

        AddByDialog({sources_[0], sources_[1], sources_[2]});
        SelectRows({1});
        Click(Get("removeAllButton"));
        QCOMPARE(List()->RowCount(), 0);
        for (const char* name : {"cutAllButton", "cutSelectedButton", "removeButton", "removeAllButton"})
            QVERIFY2(!Get(name)->isEnabled(), name);
        QVERIFY(shown_.empty());
    }

    void addFolderSavesTheFolderAtOnce() {
        ShowPage();
        QString title;
        SetFolderPicker([&](const QString& t, const QString&) {
            title = t;
            return QString::fromStdString(Folder("src-bravo"));
        });
        Click(Get("addFolderButton"));
        QApplication::processEvents();
        QCOMPARE(title, QStringLiteral("Please choose a folder:"));
        QCOMPARE(List()->RowCount(), 1);
        BatchCutterSettings stored;
        stored.Load();
        QCOMPARE(QString::fromStdString(stored.folder), QString::fromStdString(Folder("src-bravo") + "/"));
    }

    void aDropAddsFoldersAndFilesAndADoubleClickPlays() {
        ShowPage();
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(Folder("src-charlie"))),
                      QUrl::fromLocalFile(QString::fromStdString(sources_[3])),
                      QUrl::fromLocalFile(QString::fromStdString(*dir_ / "notes.txt"))});
        QDragEnterEvent enter(page_->rect().center(), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(page_.get(), &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(page_->rect().center()), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(page_.get(), &drop);
        QApplication::processEvents();
        QCOMPARE(List()->RowCount(), 2);
        QCOMPARE(List()->Cell(0, 0), QStringLiteral("charlie.mp3"));
        QCOMPARE(List()->Cell(1, 0), QStringLiteral("delta.mp3"));
        QVERIFY(Get("cutAllButton")->isEnabled());
        QVERIFY(shown_.empty());

        const QRect row = List()->visualItemRect(List()->topLevelItem(1));
        QTest::mouseClick(List()->viewport(), Qt::LeftButton, Qt::NoModifier, row.center());
        QTest::mouseDClick(List()->viewport(), Qt::LeftButton, Qt::NoModifier, row.center());
        QCOMPARE(opened_, (std::vector<QUrl>{QUrl::fromLocalFile(QString::fromStdString(sources_[3]))}));
    }

    void cutSelectedCutsTheThreeRowsInListOrder() {
        ShowPage();
        UseOutputFolder(Folder("selected"));
        AddByDialog({sources_[0], sources_[1], sources_[2], sources_[3]});
        SelectRows({3, 0, 2});
        ChooseMode("byCount");
        QStringList lowerTexts;
        QStringList upperTexts;
        bool windowDisabled = false;
        QTimer watcher;
        watcher.setInterval(0);
        connect(&watcher, &QTimer::timeout, [&] {
            if (CDualProgressDialog* d = OpenDualDialog()) {
                const QString lower = d->LowerText()->text();
                if (!lower.isEmpty() && (lowerTexts.isEmpty() || lowerTexts.last() != lower)) lowerTexts << lower;
                const QString upper = d->UpperText()->text();
                if (!upper.isEmpty() && (upperTexts.isEmpty() || upperTexts.last() != upper)) upperTexts << upper;
                windowDisabled = windowDisabled || !page_->isEnabled();
            }
        });
        watcher.start();
        Click(Get("cutSelectedButton"));
        watcher.stop();
        QCOMPARE(lowerTexts, (QStringList{"Cutting 1 of 3 file(s)...", "Cutting 2 of 3 file(s)...",
                                          "Cutting 3 of 3 file(s)..."}));
        QCOMPARE(upperTexts.first(), QStringLiteral("Cutting alpha.mp3..."));
        QCOMPARE(upperTexts.last(), QStringLiteral("Cutting delta.mp3..."));
        QVERIFY(windowDisabled);
        QVERIFY(page_->isEnabled());
        QCOMPARE(Output(0), QStringLiteral("2 piece(s)"));
        QCOMPARE(Output(1), QString());
        QCOMPARE(Output(2), QStringLiteral("2 piece(s)"));
        QCOMPARE(Output(3), QStringLiteral("2 piece(s)"));
        QCOMPARE(PiecesIn(Folder("selected")), (QStringList{"alpha-1.mp3", "alpha-2.mp3", "charlie-1.mp3",
                                                            "charlie-2.mp3", "delta-1.mp3", "delta-2.mp3"}));
        QApplication::processEvents();
        QVERIFY(OpenDualDialog() == nullptr);
    }

    void theSequenceNumberRestartsAtOneWithEveryRun() {
        ShowPage();
        options_.nameTemplate = "%F%-%S%.mp3";
        AddByDialog({sources_[0], sources_[1]});
        ChooseMode("byCount");
        Retype(Box("countBox"), "3");
        UseOutputFolder(Folder("sequence1"));
        page_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(page_.get()));
        QTest::keyClick(page_.get(), Qt::Key_U, Qt::AltModifier);  // "C&ut All" by its mnemonic
        QTRY_COMPARE(PiecesIn(Folder("sequence1")).size(), 6);  // the mnemonic clicks a moment later
        QCOMPARE(PiecesIn(Folder("sequence1")), (QStringList{"alpha-1.mp3", "alpha-2.mp3", "alpha-3.mp3",
                                                             "bravo-4.mp3", "bravo-5.mp3", "bravo-6.mp3"}));
        QCOMPARE(page_->SequenceNumber(), 7);
        UseOutputFolder(Folder("sequence2"));
        SelectRows({1});
        Click(Get("cutSelectedButton"));
        QCOMPARE(PiecesIn(Folder("sequence2")), (QStringList{"bravo-1.mp3", "bravo-2.mp3", "bravo-3.mp3"}));
        QCOMPARE(page_->SequenceNumber(), 4);
        QCOMPARE(Output(1), QStringLiteral("3 piece(s)"));
    }

    void cutAllBySizeWritesWhatTheCommandLineToolWrites() {
        ShowPage();
        UseOutputFolder(Folder("size"));
        AddByDialog({sources_[0], sources_[1], sources_[2]});
        Retype(Box("sizeBox"), "150");
        Get<CValueList>("unitList")->SelectValue(201);
        Click(Get("cutAllButton"));
        QVERIFY(shown_.empty());
        ExpectSameAsCli(Folder("size"), {"--size", "150KB"}, 3 + 4 + 4);
        QCOMPARE(Output(0), QStringLiteral("3 piece(s)"));
        QCOMPARE(Output(2), QStringLiteral("4 piece(s)"));
        QCOMPARE(opened_, (std::vector<QUrl>{QUrl::fromLocalFile(QString::fromStdString(Folder("size")))}));
    }

    void cutAllByCountWritesWhatTheCommandLineToolWrites() {
        ShowPage();
        UseOutputFolder(Folder("count"));
        options_.firstPiecesOnly = true;
        options_.firstPieces = 2;
        AddByDialog({sources_[0], sources_[1], sources_[2]});
        ChooseMode("byCount");
        Retype(Box("countBox"), "3");
        Click(Get("cutAllButton"));
        ExpectSameAsCli(Folder("count"), {"--count", "3", "--first", "2"}, 6);
    }

    void cutAllByTimeWritesWhatTheCommandLineToolWrites() {
        ShowPage();
        UseOutputFolder(Folder("time"));
        AddByDialog({sources_[0], sources_[1], sources_[2]});
        ChooseMode("byTime");
        Retype(Box("minutesBox"), "0");
        Retype(Box("secondsBox"), "7");
        Click(Get("cutAllButton"));
        ExpectSameAsCli(Folder("time"), {"--time", "0:07"}, 3 + 4 + 5);
    }

    void cutAllByRangeWritesWhatTheCommandLineToolWrites() {
        ShowPage();
        UseOutputFolder(Folder("range"));
        options_.fadeInTenths = 10;  // re-encoded
        AddByDialog({sources_[0], sources_[1]});
        ChooseMode("byRange");
        Retype(Box("beginBox"), "2.5");
        Retype(Box("lengthBox"), "4.0");
        Click(Get("cutAllButton"));
        QCOMPARE(Output(0), QStringLiteral("1 piece(s)"));
        ExpectSameAsCli(Folder("range"), {"--range", "2.5:4.0", "--fade-in", "1"}, 2);
    }

    void aFailingFileMarksItsRowAndTheNextFilesPieceIsShown() {
        ShowPage();  // pieces beside their sources
        AddByDialog({sources_[3], sources_[0]});
        ChooseMode("byRange");
        Retype(Box("beginBox"), "15.0");
        Retype(Box("lengthBox"), "0");
        Click(Get("cutAllButton"));
        QCOMPARE(Output(0), QStringLiteral("Failure: The beginning point exceeds length of the MP3."));
        QCOMPARE(Output(1), QStringLiteral("1 piece(s)"));
        QCOMPARE(opened_, (std::vector<QUrl>{QUrl::fromLocalFile(QString::fromStdString(Folder("src-alpha")))}));
        std::filesystem::remove(Folder("src-alpha") + "/alpha-1.mp3");
    }

    void aCancelOnTheSecondFileLeavesCancelledThereAndTheThirdRowAsItWas() {
        ShowPage();
        UseOutputFolder(Folder("cancel"));
        AddByDialog({sources_[0], sources_[1], sources_[2]});
        ChooseMode("byCount");
        Retype(Box("countBox"), "4");
        List()->SetCell(2, 3, QStringLiteral("earlier"));
        QTimer watcher;
        watcher.setInterval(0);
        bool pressed = false;
        connect(&watcher, &QTimer::timeout, [&] {
            CDualProgressDialog* d = OpenDualDialog();
            if (d == nullptr || pressed || d->LowerText()->text() != QStringLiteral("Cutting 2 of 3 file(s)...")) return;
            // Pieces of the second file exist, still under their temporary names.
            if (!PendingPiecesIn(Folder("cancel")).isEmpty()) {
                pressed = true;
                QTest::mouseClick(d->CancelButton(), Qt::LeftButton);
            }
        });
        watcher.start();
        Click(Get("cutAllButton"));
        watcher.stop();
        QVERIFY(pressed);
        QCOMPARE(Output(0), QStringLiteral("4 piece(s)"));
        QCOMPARE(Output(1), QStringLiteral("Cancelled"));
        QCOMPARE(Output(2), QStringLiteral("earlier"));
        QCOMPARE(PiecesIn(Folder("cancel")),
                 (QStringList{"alpha-1.mp3", "alpha-2.mp3", "alpha-3.mp3", "alpha-4.mp3"}));
        QVERIFY(PendingPiecesIn(Folder("cancel")).isEmpty());
        QVERIFY(List()->Record(1)->piecePaths.empty());
        QVERIFY(opened_.empty());
        QVERIFY(page_->isEnabled());
    }

    void aSizeOfNothingIsRefusedBeforeTheRun() {
        ShowPage();
        UseOutputFolder(Folder("nothing"));
        AddByDialog({sources_[0]});
        Retype(Box("sizeBox"), "0.0001");
        Get<CValueList>("unitList")->SelectValue(201);
        Click(Get("cutAllButton"));
        QCOMPARE(shown_, (std::vector<QString>{"The size of piece is too small."}));
        QCOMPARE(Output(0), QString());
        QVERIFY(PiecesIn(Folder("nothing")).isEmpty());
    }

    void theListsMenuFollowsTheSelectionAndBrowses() {
        ShowPage();
        UseOutputFolder(Folder("menu"));
        options_.browseFolder = false;
        auto* menu = Get<QMenu>("listMenu");
        QStringList texts;
        for (QAction* a : menu->actions()) texts << (a->isSeparator() ? QStringLiteral("-") : a->text());
        QCOMPARE(texts, (QStringList{"&Play", "-", "Cut S&elected", "&Cut All", "-", "&Browse Source Folder",
                                     "Browse &Output Folder", "-", "&Add Files...", "Add &Folder...", "-", "&Remove",
                                     "Remove A&ll"}));
        const auto action = [&](const char* name) { return menu->findChild<QAction*>(QString::fromLatin1(name)); };
        const auto openMenu = [&] {
            QContextMenuEvent event(QContextMenuEvent::Keyboard, QPoint(), QPoint());
            QApplication::sendEvent(List(), &event);
            QTRY_VERIFY(menu->isVisible());
        };
        openMenu();
        for (const char* name : {"menuPlay", "menuCutSelected", "menuCutAll", "menuBrowseSource", "menuBrowseOutput",
                                 "menuRemove", "menuRemoveAll"})
            QVERIFY2(!action(name)->isEnabled(), name);
        QVERIFY(action("menuAddFiles")->isEnabled());
        QVERIFY(action("menuAddFolder")->isEnabled());
        menu->close();

        AddByDialog({sources_[0], sources_[1]});
        SelectRows({1});
        openMenu();
        QVERIFY(action("menuBrowseSource")->isEnabled());
        QVERIFY(!action("menuBrowseOutput")->isEnabled());
        QVERIFY(action("menuCutAll")->isEnabled());
        action("menuBrowseSource")->trigger();
        menu->close();
        QCOMPARE(opened_, (std::vector<QUrl>{QUrl::fromLocalFile(QString::fromStdString(Folder("src-bravo")))}));

        ChooseMode("byCount");
        SelectRows({1});
        openMenu();
        action("menuCutSelected")->trigger();
        menu->close();
        QCOMPARE(Output(1), QStringLiteral("2 piece(s)"));
        QVERIFY(opened_.size() == 1);  // browsing after cutting is off
        openMenu();
        QVERIFY(action("menuBrowseOutput")->isEnabled());
        action("menuBrowseOutput")->trigger();
        menu->close();
        QCOMPARE(opened_.back(), QUrl::fromLocalFile(QString::fromStdString(Folder("menu"))));
    }

    void theCutValuesAreSavedWhenThePageGoes() {
        ShowPage();
        ChooseMode("byRange");
        Retype(Box("beginBox"), "30.5");
        Retype(Box("lengthBox"), "0");
        ChooseMode("byTime");
        Retype(Box("minutesBox"), "3");
        Retype(Box("secondsBox"), "15");
        ChooseMode("bySize");
        Retype(Box("sizeBox"), "2.5");
        Get<CValueList>("unitList")->SelectValue(201);
        ChooseMode("byCount");
        Retype(Box("countBox"), "5");
        page_->DestroyPage();
        BatchCutterSettings stored;
        stored.Load();
        QCOMPARE(stored.cutType, 1);
        QCOMPARE(stored.cutFileAmount, 5);
        QCOMPARE(QString::fromStdString(stored.cutFileSizeEx), QStringLiteral("2.5"));
        QCOMPARE(static_cast<int>(stored.cutFileUnit), 201);
        QCOMPARE(stored.cutTimeMin, 3);
        QCOMPARE(stored.cutTimeSec, 15);
        QCOMPARE(QString::fromStdString(stored.cutCustomFromSec), QStringLiteral("30.5"));
        QCOMPARE(QString::fromStdString(stored.cutCustomDuration), QStringLiteral("0"));

        ShowPage();  // and read back by the next page
        QVERIFY(Get<QRadioButton>("byCount")->isChecked());
        QCOMPARE(Box("countBox")->text(), QStringLiteral("5"));
        QCOMPARE(Get<CValueList>("unitList")->Value(), 201);
        QCOMPARE(Box("beginBox")->text(), QStringLiteral("30.5"));
    }

    // bench/batch-list.sh: a folder of many files added through "Add &Folder"; the time is
    // printed, and a second add of the same folder is cancelled after a few files.
    void addingAThousandFiles() {
        const QString folder = qEnvironmentVariable("CORVANE_BENCH_FOLDER");
        if (folder.isEmpty()) QSKIP("CORVANE_BENCH_FOLDER not set");
        const int expected = static_cast<int>(QDir(folder).entryList({"*.mp3"}, QDir::Files).size());
        ShowPage();
        SetFolderPicker([&](const QString&, const QString&) { return folder; });
        int polls = 0;
        QTimer watcher;  // the dialog stays live: its text moves while the files load
        watcher.setInterval(0);
        QString lastText;
        int textChanges = 0;
        connect(&watcher, &QTimer::timeout, [&] {
            ++polls;
            if (CProgressDialog* d = OpenProgressDialog(); d != nullptr && d->Text() != lastText) {
                lastText = d->Text();
                ++textChanges;
            }
        });
        watcher.start();
        QElapsedTimer timer;
        timer.start();
        Click(Get("addFolderButton"));
        const qint64 ms = timer.elapsed();
        watcher.stop();
        qInfo("added %d files in %lld ms (%d progress texts seen)", List()->RowCount(), ms, textChanges);
        QCOMPARE(List()->RowCount(), expected);
        QVERIFY(textChanges > 1);
        QVERIFY2(ms < kThousandFilesWithinMs, qPrintable(QString::number(ms)));

        // Cancel: into an empty list, pressed once 50 rows are in.
        Click(Get("removeAllButton"));
        constexpr int kCancelAt = 50;
        connect(&watcher, &QTimer::timeout, [&] {
            if (List()->RowCount() < kCancelAt) return;
            if (CProgressDialog* d = OpenProgressDialog(); d != nullptr && !d->cancelled)
                QTest::mouseClick(d->CancelButton(), Qt::LeftButton);
        });
        watcher.start();
        timer.restart();
        Click(Get("addFolderButton"));
        const qint64 cancelledMs = timer.elapsed();
        watcher.stop();
        qInfo("cancelled after %d files, %lld ms", List()->RowCount(), cancelledMs);
        QVERIFY(List()->RowCount() >= kCancelAt);
        QVERIFY(List()->RowCount() < expected);
    }
};

CORVANE_TEST_MAIN(PageBatchSplitterTest)
#include "PageBatchSplitterTest.moc"
