// Cutter page: driven through its own controls; the pieces it writes are compared with what
// corvane-cli writes for the same cut, and the settings file is read back.
//
// With CORVANE_BENCH_PEAKS set to an MP3 file, overviewOfABenchFile opens it and reports how
// long its waveform takes, opened first and again, and how late the event loop answered.
#include "TestEnvironment.h"
#include "pages/PageFixture.h"
#include "support/Recording.h"

#include "audio/AudioLibrary.h"
#include "engine/Progress.h"
#include "engine/cut/CutPlans.h"
#include "support/CliRunner.h"
#include "support/Mp3Factory.h"
#include "ui/MessageBox.h"
#include "ui/SettingsStore.h"
#include "ui/Shell.h"
#include "ui/pages/PageSplitter.h"
#include "ui/widgets/ProgressDialog.h"
#include "ui/widgets/ValueList.h"
#include "ui/widgets/WaveformStrip.h"

#include <QDir>
#include <QElapsedTimer>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QStyleOptionViewItem>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <tuple>
#include <memory>
#include <utility>
#include <vector>

using namespace corvane;
using test::PendingPiecesIn;
using test::PiecesIn;
using test::OutputDevice;
using test::kNoSoundDevice;
using test::kOutputRate;

namespace {

struct Shown {
    QString text;
    QMessageBox::Icon icon;
};

void Retype(QWidget* widget, const QString& text) {
    QTest::keyClick(widget, Qt::Key_End);
    QTest::keyClick(widget, Qt::Key_Home, Qt::ShiftModifier);
    QTest::keyClick(widget, Qt::Key_Delete);
    QTest::keyClicks(widget, text);
}

void Click(QWidget* widget) { QTest::mouseClick(widget, Qt::LeftButton, Qt::NoModifier, widget->rect().center()); }

constexpr double kSourceSeconds = 30.0;
constexpr qint64 kCancelWithinMs = 100;


}  // namespace

class PageSplitterTest : public QObject {
    Q_OBJECT
    std::unique_ptr<test::TempDir> dir_;
    std::string source_;
    std::vector<Shown> shown_;
    QMessageBox::StandardButton answer_ = QMessageBox::Yes;
    std::vector<QUrl> opened_;
    CutterPageOptions options_;
    std::unique_ptr<CPageSplitter> page_;
    QString pickerFilter_;
    FileDialogMode pickerMode_ = FileDialogMode::Save;

    CPageSplitter& ShowPage(bool sound = false) {
        page_ = std::make_unique<CPageSplitter>();
        page_->SetOptionsSource(&options_);
        page_->SetSoundOutput(sound);
        page_->resize(900, 640);
        test::ShowActive(page_.get());
        return *page_;
    }
    template <typename T = QWidget>
    T* Get(const char* name) {
        return test::FindControl<T>(page_.get(), name);
    }
    // Opens path through "&Open" and the (replaced) file dialog.
    void OpenByDialog(const std::string& path) {
        SetFilePicker([this, path](const QString& filter, FileDialogMode mode, const QStringList&) {
            pickerFilter_ = filter;
            pickerMode_ = mode;
            return QStringList{QString::fromStdString(path)};
        });
        Click(Get("openButton"));
        QCOMPARE(pickerFilter_, QStringLiteral("MP3 Files (*.mp3);;All Files (*)"));
        QVERIFY(pickerMode_ == FileDialogMode::Open);
    }
    QSlider* Slider() { return Get<QSlider>("positionSlider"); }
    // Moves the position slider with the time box's arrow keys (seconds) and the slider's own
    // (tenths).
    void MoveTo(int tenths) {
        QTest::keyClick(Slider(), Qt::Key_Home);
        for (int i = 0; i < tenths / 10; ++i) QTest::keyClick(Get("timeBox"), Qt::Key_Up);
        for (int i = 0; i < tenths % 10; ++i) QTest::keyClick(Slider(), Qt::Key_Right);
        QCOMPARE(Slider()->value(), tenths);
        QTest::qWait(0);
    }
    QTreeWidget* List() { return Get<QTreeWidget>("pieceList"); }
    CWaveformStrip* Strip() { return Get<CWaveformStrip>("waveformStrip"); }
    // Presses the waveform strip at the pixel of tenth from, drags to that of to and lets go.
    void DragOnStrip(int from, int to) {
        CWaveformStrip* strip = Strip();
        const int y = strip->height() / 2;
        QTest::mousePress(strip, Qt::LeftButton, Qt::NoModifier, QPoint(strip->XOfValue(from), y));
        // Through the middle; a drag back onto its start goes out and back.
        const int via = from == to ? strip->XOfValue(from) - 20 : (strip->XOfValue(from) + strip->XOfValue(to)) / 2;
        QTest::mouseMove(strip, QPoint(via, y));
        QTest::mouseMove(strip, QPoint(strip->XOfValue(to), y));
        QTest::mouseRelease(strip, Qt::LeftButton, Qt::NoModifier, QPoint(strip->XOfValue(to), y));
    }
    void SelectRow(int row) {
        QTreeWidgetItem* item = List()->topLevelItem(row);
        QTest::mouseClick(List()->viewport(), Qt::LeftButton, Qt::NoModifier,
                          List()->visualItemRect(item).center());
        QCOMPARE(List()->indexOfTopLevelItem(List()->selectedItems().value(0)), row);
    }
    // Clicks the check box of row, in its first cell.
    void ClickCheckBox(int row) {
        const QRect rowRect = List()->visualItemRect(List()->topLevelItem(row));
        QStyleOptionViewItem option;
        option.initFrom(List());
        option.rect = QRect(rowRect.left(), rowRect.top(), List()->columnWidth(0), rowRect.height());
        option.features |= QStyleOptionViewItem::HasCheckIndicator;
        const QRect box = List()->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, List());
        QTest::mouseClick(List()->viewport(), Qt::LeftButton, Qt::NoModifier, box.center());
    }
    QString Cell(int row, int column) { return List()->topLevelItem(row)->text(column); }
    std::vector<std::pair<int, int>> Ranges() {
        std::vector<std::pair<int, int>> r;
        for (const PieceEntry& p : page_->Pieces()) r.emplace_back(p.start, p.end);
        return r;
    }
    std::string Folder(const char* name) { return *dir_ / name; }
    void UseOutputFolder(const std::string& folder) {
        options_.placement.folder = OutputFolder::Specific;
        options_.placement.specificFolder = folder + "/";
    }
    // The pieces of the page's cut in pageFolder and of corvane-cli's with cliArgs are the
    // same files, byte for byte.
    void ExpectSameAsCli(const std::string& pageFolder, std::vector<std::string> cliArgs, int expected) {
        const std::string cliFolder = pageFolder + "-cli";
        std::vector<std::string> args = {"cut", source_};
        args.insert(args.end(), cliArgs.begin(), cliArgs.end());
        args.insert(args.end(), {"-d", cliFolder});
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

    // Tones with silences of 1.5 s between them at path (9.5 s).
    static void WriteTalk(const std::string& path) {
        test::WriteFile(path, test::Recording({{2.0, true}, {1.5, false}, {2.5, true}, {1.5, false}, {2.0, true}}));
    }
    // The files in pageFolder and in cliFolder are the same, byte for byte, count of them.
    void ExpectSameFiles(const std::string& pageFolder, const std::string& cliFolder, int count) {
        const QStringList pagePieces = PiecesIn(pageFolder);
        QCOMPARE(pagePieces, PiecesIn(cliFolder));
        QCOMPARE(pagePieces.size(), count);
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
        test::EncodeOptions o;
        o.seconds = kSourceSeconds;
        source_ = *dir_ / "song.mp3";
        test::WriteFile(source_, test::Concat({test::MakeId3v2Tag(3, {{"TIT2", "Morning"}, {"TPE1", "The Band"},
                                                                       {"TALB", "Days"}, {"TRCK", "4"}}),
                                               test::EncodeMp3(o)}));
        SetMessagePump(&ProcessPendingEvents);
    }
    void cleanupTestCase() {
        SetMessagePump(nullptr);
        audio::Free();
        dir_.reset();
    }
    void init() {
        test::UseFreshSettings();
        shown_.clear();
        opened_.clear();
        answer_ = QMessageBox::Yes;
        options_ = CutterPageOptions{};
        options_.browseFolder = true;
        SetMessageHandler([this](const QString& text, QMessageBox::Icon icon) {
            shown_.push_back({text, icon});
            return answer_;
        });
        SetShellOpener([this](const QUrl& url) {
            opened_.push_back(url);
            return true;
        });
    }
    void cleanup() {
        page_.reset();
        SetMessageHandler({});
        SetShellOpener({});
        SetFilePicker({});
    }

    void withoutAFileEverythingButOpenIsDisabled() {
        ShowPage();
        QVERIFY(Get("openButton")->isEnabled());
        for (const char* name : {"bySize", "byCount", "byTime", "byCustom", "cutButton", "timeBox", "playButton",
                                 "stopButton", "positionSlider", "addButton", "pieceList", "removeButton",
                                 "resetButton", "previewButton", "setStartButton", "sizeBox", "countBox"})
            QVERIFY2(!Get(name)->isEnabled(), name);
        QCOMPARE(Get<QLineEdit>("timeBox")->text(), QStringLiteral("0:00.0"));
        QCOMPARE(Get<QPushButton>("cutButton")->text(), QStringLiteral("C&ut Now!"));
        QCOMPARE(page_->Caption(), QStringLiteral("MP3 Cutter"));
        const QStringList headers = {"No.", "Start", "End", "Length", "Estimated Size", "Output"};
        for (int c = 0; c < headers.size(); ++c) QCOMPARE(List()->headerItem()->text(c), headers[c]);
    }

    void openingShowsTheFactsAndOnePieceOverTheWholeFile() {
        ShowPage();
        OpenByDialog(source_);
        QCOMPARE(page_->SourcePath(), QString::fromStdString(source_));
        QCOMPARE(Get<QLineEdit>("sourceBox")->text(), QString::fromStdString(source_));
        const int total = page_->TotalLength();
        QCOMPARE(total, SourceLengthTenths(source_));
        QCOMPARE(Slider()->maximum(), total);
        QCOMPARE(Slider()->pageStep(), total / 20);
        QCOMPARE(Ranges(), (std::vector<std::pair<int, int>>{{0, total}}));
        QCOMPARE(List()->topLevelItemCount(), 1);
        QCOMPARE(Cell(0, 0), QStringLiteral("1"));
        QCOMPARE(Cell(0, 1), QStringLiteral("0:00.0"));
        QCOMPARE(List()->topLevelItem(0)->checkState(0), Qt::Checked);
        QVERIFY(List()->topLevelItem(0)->isSelected());
        QVERIFY(Get("setEndButton")->isEnabled());
        const QString info = Get<QPlainTextEdit>("infoBox")->toPlainText();
        QVERIFY2(info.startsWith(QStringLiteral("Length: 0:30     Size: ")), qPrintable(info));
        QVERIFY2(info.contains(QStringLiteral("\nMP3 Info: 44100 Hz, ")), qPrintable(info));
        QVERIFY2(info.contains(QStringLiteral(" kbps, Stereo\nTitle: Morning\nArtist: The Band\nAlbum: Days\nYear: "
                                              "\nGenre: \nTrack #: 4\nComment: ")),
                 qPrintable(info));
    }

    void aFileThatDoesNotOpenIsReported() {
        ShowPage();
        const std::string bad = *dir_ / "notes.txt";
        test::WriteFile(bad, {1, 2, 3});
        OpenByDialog(bad);
        QCOMPARE(shown_.size(), size_t{1});
        QCOMPARE(shown_[0].text, QStringLiteral("Failed to open file \"%1\".\n\nTo get help, please contact us at "
                                                "<support@corvane.example.org>.")
                                     .arg(QString::fromStdString(bad)));
        QCOMPARE(shown_[0].icon, QMessageBox::Warning);
        QVERIFY(page_->SourcePath().isEmpty());
    }

    void aFileTheMp3ReaderRefusesIsNotOpenedWhateverItsName() {
        ShowPage();
        const std::string wav = *dir_ / "tone.mp3";
        test::WriteFile(wav, test::MakeWav(44100, 2, 3.0));
        OpenByDialog(wav);
        QCOMPARE(shown_.size(), size_t{1});
        QCOMPARE(shown_[0].text, QStringLiteral("Failed to load file \"%1\".").arg(QString::fromStdString(wav)));
        QCOMPARE(shown_[0].icon, QMessageBox::Warning);
        QVERIFY(page_->SourcePath().isEmpty());
        QVERIFY(Get<QPlainTextEdit>("infoBox")->toPlainText().isEmpty());
        QVERIFY(!Strip()->HasSource());
        QVERIFY(!Get("cutButton")->isEnabled());
    }

    void aDropOpensTheFirstFileThatOpens() {
        ShowPage();
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(dir_->path().string())),
                      QUrl::fromLocalFile(QString::fromStdString(*dir_ / "missing.mp3")),
                      QUrl::fromLocalFile(QString::fromStdString(source_))});
        QDragEnterEvent enter(page_->rect().center(), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(page_.get(), &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(page_->rect().center()), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(page_.get(), &drop);
        QVERIFY(drop.isAccepted());
        QCOMPARE(page_->SourcePath(), QString());  // the drop ends before the file opens
        QTRY_COMPARE(page_->SourcePath(), QString::fromStdString(source_));
        QVERIFY(shown_.empty());
    }

    void addPieceAtAPieceBoundaryOnlySaysSo() {
        ShowPage();
        OpenByDialog(source_);
        const int total = page_->TotalLength();
        Click(Get("addButton"));
        QCOMPARE(shown_.size(), size_t{1});
        QCOMPARE(shown_[0].text, QStringLiteral("0:00.0 has been added."));
        QCOMPARE(shown_[0].icon, QMessageBox::Warning);
        QTest::keyClick(Slider(), Qt::Key_End);
        Click(Get("addButton"));
        QCOMPARE(shown_.size(), size_t{2});
        QCOMPARE(shown_[1].text, QStringLiteral("%1 has been added.").arg(Cell(0, 2)));
        QCOMPARE(Ranges(), (std::vector<std::pair<int, int>>{{0, total}}));
    }

    void setEndSwallowsThePiecesItPasses() {
        ShowPage();
        OpenByDialog(source_);
        const int total = page_->TotalLength();
        for (int at : {100, 200}) {
            MoveTo(at);
            Click(Get("addButton"));
        }
        QCOMPARE(List()->topLevelItemCount(), 3);
        QCOMPARE(Cell(2, 0), QStringLiteral("3"));
        SelectRow(0);
        MoveTo(250);
        Click(Get("setEndButton"));
        QCOMPARE(Ranges(), (std::vector<std::pair<int, int>>{{0, 250}, {250, total}}));
        QCOMPARE(Cell(0, 2), QStringLiteral("0:25.0"));
        QCOMPARE(Cell(1, 0), QStringLiteral("2"));
        QCOMPARE(page_->focusWidget(), static_cast<QWidget*>(Slider()));

        MoveTo(100);
        Click(Get("addButton"));
        MoveTo(200);
        Click(Get("addButton"));
        SelectRow(0);
        MoveTo(200);
        Click(Get("setEndButton"));
        QCOMPARE(Ranges(), (std::vector<std::pair<int, int>>{{0, 200}, {200, 250}, {250, total}}));

        SelectRow(1);
        MoveTo(100);
        Click(Get("setEndButton"));
        QCOMPARE(shown_.back().text,
                 QStringLiteral("You can not set the end position less than or equal to the start position."));
    }

    void setStartOnTheFirstPieceSelectsTheLaterPart() {
        ShowPage();
        OpenByDialog(source_);
        const int total = page_->TotalLength();
        MoveTo(123);
        Click(Get("setStartButton"));
        QCOMPARE(Ranges(), (std::vector<std::pair<int, int>>{{0, 123}, {123, total}}));
        QVERIFY(List()->topLevelItem(1)->isSelected());
        QVERIFY(!List()->topLevelItem(0)->isSelected());
        MoveTo(total);
        Click(Get("setStartButton"));
        QCOMPARE(shown_.back().text,
                 QStringLiteral("You can not set the start position greater than or equal to the end position."));
        // Go to Start and Go to End move the slider and the time box.
        Click(Get("goStartButton"));
        QCOMPARE(Slider()->value(), 123);
        QCOMPARE(Get<QLineEdit>("timeBox")->text(), QStringLiteral("0:12.3"));
        Click(Get("goEndButton"));
        QCOMPARE(Slider()->value(), total);
    }

    void removeGivesTheRangeToANeighbourAndTheLastOneClosesTheFile() {
        ShowPage();
        OpenByDialog(source_);
        const int total = page_->TotalLength();
        for (int at : {100, 200}) {
            MoveTo(at);
            Click(Get("addButton"));
        }
        SelectRow(0);
        Click(Get("removeButton"));
        QCOMPARE(Ranges(), (std::vector<std::pair<int, int>>{{0, 200}, {200, total}}));
        QVERIFY(List()->topLevelItem(0)->isSelected());
        QCOMPARE(Cell(1, 0), QStringLiteral("2"));

        // Reset asks first; No keeps the pieces.
        answer_ = QMessageBox::No;
        Click(Get("resetButton"));
        QCOMPARE(shown_.back().text, QStringLiteral("Are you sure you want to reset all pieces?"));
        QCOMPARE(shown_.back().icon, QMessageBox::Question);
        QCOMPARE(List()->topLevelItemCount(), 2);
        answer_ = QMessageBox::Yes;
        Click(Get("resetButton"));
        QCOMPARE(Ranges(), (std::vector<std::pair<int, int>>{{0, total}}));

        answer_ = QMessageBox::No;
        Click(Get("removeButton"));
        QCOMPARE(shown_.back().text, QStringLiteral("Are you sure you want to close current file?"));
        QVERIFY(!page_->SourcePath().isEmpty());
        answer_ = QMessageBox::Yes;
        Click(Get("removeButton"));
        QVERIFY(page_->SourcePath().isEmpty());
        QCOMPARE(List()->topLevelItemCount(), 0);
        QVERIFY(!Get("cutButton")->isEnabled());
        QVERIFY(Get<QPlainTextEdit>("infoBox")->toPlainText().isEmpty());
    }

    void aFileOfOneHourShowsHoursEverywhere() {
        test::EncodeOptions o;
        o.sampleRate = 8000;
        o.channels = 1;
        o.mode = test::Mode::Mono;
        o.kbps = 8;
        o.seconds = 3600.05;
        const std::string hour = *dir_ / "hour.mp3";
        test::WriteFile(hour, test::EncodeMp3(o));
        ShowPage();
        OpenByDialog(hour);
        const int total = page_->TotalLength();
        QVERIFY2(total >= 36000, qPrintable(QString::number(total)));
        QCOMPARE(Cell(0, 1), QStringLiteral("0:00:00.0"));
        QCOMPARE(Get<QLineEdit>("timeBox")->text(), QStringLiteral("0:00:00.0"));
        QVERIFY(Cell(0, 2).startsWith(QStringLiteral("1:00:00.")));

        o.seconds = 3599.0;
        const std::string shorter = *dir_ / "shorter.mp3";
        test::WriteFile(shorter, test::EncodeMp3(o));
        OpenByDialog(shorter);
        QVERIFY(page_->TotalLength() <= 35999);
        QCOMPARE(Cell(0, 1), QStringLiteral("0:00.0"));
        QVERIFY(Cell(0, 2).startsWith(QStringLiteral("59:")));
    }

    void cutNowWritesWhatTheCommandLineToolWrites() {
        ShowPage();
        OpenByDialog(source_);

        // By count.
        UseOutputFolder(Folder("count"));
        Click(Get("byCount"));
        QCOMPARE(page_->focusWidget(), Get("countBox"));
        Retype(Get("countBox"), QStringLiteral("3"));
        Click(Get("cutButton"));
        QVERIFY(shown_.empty());
        ExpectSameAsCli(Folder("count"), {"--count", "3"}, 3);
        QCOMPARE(opened_.size(), size_t{1});
        QCOMPARE(opened_[0], QUrl::fromLocalFile(QString::fromStdString(Folder("count"))));
        QCOMPARE(page_->Outputs().size(), size_t{3});

        // By size: 100 KB.
        UseOutputFolder(Folder("size"));
        Click(Get("bySize"));
        Retype(Get("sizeBox"), QStringLiteral("100"));
        QTest::keyClick(Get("unitList"), Qt::Key_End);
        QCOMPARE(Get<CValueList>("unitList")->Value(), static_cast<int>(SizeUnit::KB));
        Click(Get("cutButton"));
        ExpectSameAsCli(Folder("size"), {"--size", "100KB"}, static_cast<int>(PiecesIn(Folder("size")).size()));
        QVERIFY(PiecesIn(Folder("size")).size() >= 4);

        // By time: 8 seconds, typed as 0 minutes and stepped up to 8 seconds.
        UseOutputFolder(Folder("time"));
        Click(Get("byTime"));
        Retype(Get("minutesBox"), QStringLiteral("0"));
        Retype(Get("secondsBox"), QStringLiteral("5"));
        for (int i = 0; i < 3; ++i) Click(Get("secondsSpin")->findChild<QToolButton*>("up"));
        QCOMPARE(Get<QLineEdit>("secondsBox")->text(), QStringLiteral("8"));
        QTRY_VERIFY(page_->isActiveWindow());  // back from the last cut's progress window
        QTest::keyClick(page_.get(), Qt::Key_U, Qt::AltModifier);  // the button's own mnemonic
        QTRY_COMPARE(PiecesIn(Folder("time")).size(), 4);  // the mnemonic clicks a moment later
        ExpectSameAsCli(Folder("time"), {"--time", "0:08"}, 4);

        // By custom pieces: 0-10, 10-20, 20-end with the second unchecked.
        UseOutputFolder(Folder("custom"));
        Click(Get("byCustom"));
        for (int at : {100, 200}) {
            MoveTo(at);
            Click(Get("addButton"));
        }
        SelectRow(1);
        ClickCheckBox(1);
        QCOMPARE(List()->topLevelItem(1)->checkState(0), Qt::Unchecked);
        QVERIFY(!page_->Pieces()[1].checked);
        Click(Get("cutButton"));
        ExpectSameAsCli(Folder("custom"), {"--points", "10,20", "--only", "1,3"}, 2);
        QCOMPARE(Cell(0, 5), PiecesIn(Folder("custom")).at(0));
        QCOMPARE(Cell(1, 5), QString());
        QVERIFY(shown_.empty());

        // The cut values went into the settings file.
        page_->DestroyPage();
        CutterPageSettings saved;
        saved.Load();
        QCOMPARE(saved.cutType, 3);
        QCOMPARE(saved.cutFileAmount, 3);
        QCOMPARE(saved.cutFileSizeEx, std::string("100"));
        QCOMPARE(static_cast<int>(saved.cutFileUnit), static_cast<int>(SizeUnit::KB));
        QCOMPARE(saved.cutTimeMin, 0);
        QCOMPARE(saved.cutTimeSec, 8);
    }

    void noFolderIsShownWhenBrowsingIsOff() {
        options_.browseFolder = false;
        ShowPage();
        OpenByDialog(source_);
        UseOutputFolder(Folder("quiet"));
        Click(Get("byCount"));
        Retype(Get("countBox"), QStringLiteral("2"));
        Click(Get("cutButton"));
        QCOMPARE(PiecesIn(Folder("quiet")).size(), 2);
        QVERIFY(opened_.empty());
        // The page says what was written, and its link shows the folder.
        auto* report = Get<QLabel>("workReport");
        QVERIFY(report->text().startsWith(QString("2 pieces written to %1 ").arg(QString::fromStdString(Folder("quiet")))));
        Q_EMIT report->linkActivated(QStringLiteral("show"));
        QCOMPARE(opened_.size(), size_t{1});
    }

    // With "Browse output folder" on and nothing that can show a folder, the cut says where
    // its pieces are.
    void aFolderNothingCanShowIsNamed() {
        ShowPage();
        OpenByDialog(source_);
        UseOutputFolder(Folder("unshown"));
        SetShellOpener([](const QUrl&) { return false; });
        Click(Get("byCount"));
        Retype(Get("countBox"), QStringLiteral("2"));
        Click(Get("cutButton"));
        QCOMPARE(PiecesIn(Folder("unshown")).size(), 2);
        QCOMPARE(shown_.size(), size_t{1});
        QCOMPARE(shown_[0].text, QString("No file manager could show the folder \"%1\".").arg(QString::fromStdString(Folder("unshown"))));
    }

    // A file replaced after it was opened is opened again, not cut by its old length.
    void aFileReplacedAfterOpeningIsOpenedAgainNotCut() {
        ShowPage();
        const std::string path = Folder("replaced.mp3");
        test::EncodeOptions o;
        o.seconds = 12.0;
        test::WriteFile(path, test::EncodeMp3(o));
        OpenByDialog(path);
        QCOMPARE(page_->TotalLength(), 120);
        o.seconds = 4.0;
        test::WriteFile(path + ".new", test::EncodeMp3(o));
        std::filesystem::rename(path + ".new", path);
        UseOutputFolder(Folder("replaced"));
        Click(Get("byCount"));
        Retype(Get("countBox"), QStringLiteral("2"));
        Click(Get("cutButton"));
        QVERIFY(PiecesIn(Folder("replaced")).isEmpty());
        QCOMPARE(shown_.size(), size_t{1});
        QVERIFY(shown_[0].text.contains("has changed since it was opened"));
        QCOMPARE(page_->TotalLength(), 40);
        Click(Get("cutButton"));
        QCOMPARE(PiecesIn(Folder("replaced")), (QStringList{"replaced-1.mp3", "replaced-2.mp3"}));
        QCOMPARE(test::RunCli({"cut", "--count", "2", "-d", Folder("replaced-cli"), path}).exitCode, 0);
        for (const char* piece : {"/replaced-1.mp3", "/replaced-2.mp3"}) {
            QVERIFY(test::ReadFile(Folder("replaced") + piece) == test::ReadFile(Folder("replaced-cli") + piece));
        }
    }

    void aFailingPlanShowsItsMessage() {
        ShowPage();
        OpenByDialog(source_);
        UseOutputFolder(Folder("failing"));
        Click(Get("byCount"));
        Retype(Get("countBox"), QStringLiteral("1"));
        Click(Get("cutButton"));
        QCOMPARE(shown_.size(), size_t{1});
        QCOMPARE(shown_[0].text, QStringLiteral("The file count should be greater than or equal to 2."));
        QCOMPARE(shown_[0].icon, QMessageBox::Warning);
        QVERIFY(opened_.empty());
        QVERIFY(page_->isEnabled());

        Retype(Get("countBox"), QStringLiteral("x"));
        Click(Get("byCount"));
        QCOMPARE(shown_.back().text, QStringLiteral("Please enter an integer."));
    }

    void cancelDuringTheCutLeavesNoPieceAndOpensNoFolder() {
        test::EncodeOptions o;
        o.sampleRate = 8000;
        o.channels = 1;
        o.mode = test::Mode::Mono;
        o.kbps = 16;
        o.seconds = 3600;
        const std::string longSource = *dir_ / "long.mp3";
        test::WriteFile(longSource, test::EncodeMp3(o));
        ShowPage();
        OpenByDialog(longSource);
        const std::string out = Folder("cancelled");
        UseOutputFolder(out);
        Click(Get("byCount"));
        Retype(Get("countBox"), QStringLiteral("300"));

        bool pressed = false;
        bool windowDisabled = false;
        QElapsedTimer sincePress;
        int barWhenPressed = 0;
        QTimer watcher;
        watcher.setInterval(0);
        connect(&watcher, &QTimer::timeout, [&] {
            if (pressed || PendingPiecesIn(out).size() < 3) return;
            for (QWidget* w : QApplication::topLevelWidgets()) {
                auto* dialog = qobject_cast<CProgressDialog*>(w);
                if (dialog == nullptr || !dialog->isVisible()) continue;
                QCOMPARE(dialog->Text(), QStringLiteral("Cutting long.mp3..."));
                barWhenPressed = dialog->Bar()->value();
                windowDisabled = !page_->isEnabled();
                pressed = true;
                sincePress.start();
                QTest::mouseClick(dialog->CancelButton(), Qt::LeftButton);
            }
        });
        watcher.start();
        Click(Get("cutButton"));
        const qint64 stoppedAfterMs = sincePress.elapsed();
        watcher.stop();
        QVERIFY(pressed);
        // The cut noticed the press, removed its pieces and returned at once.
        QVERIFY2(stoppedAfterMs < kCancelWithinMs, qPrintable(QString::number(stoppedAfterMs)));
        QVERIFY(windowDisabled);
        QVERIFY(barWhenPressed > 0);
        QCOMPARE(PiecesIn(out).size(), 0);
        QCOMPARE(PendingPiecesIn(out).size(), 0);
        QVERIFY(opened_.empty());
        QVERIFY(shown_.empty());
        QVERIFY(page_->Outputs().empty());
        QVERIFY(page_->isEnabled());
    }

    void piecesAtChaptersCutAsTheCommandLineToolCuts() {
        const std::string talk = *dir_ / "book.mp3";
        WriteTalk(talk);
        static const char* script =
            "import sys\n"
            "from mutagen.id3 import ID3, CHAP, CTOC, TIT2, CTOCFlags\n"
            "t = ID3()\n"
            "for i, (s, e, title) in enumerate([(0, 3000, 'One'), (3000, 6500, 'Two'), (6500, 9500, 'Three')]):\n"
            "    t.add(CHAP(element_id='c%d' % i, start_time=s, end_time=e, sub_frames=[TIT2(encoding=3, text=title)]))\n"
            "t.add(CTOC(element_id='toc', flags=CTOCFlags.TOP_LEVEL | CTOCFlags.ORDERED,\n"
            "           child_element_ids=['c0', 'c1', 'c2'], sub_frames=[]))\n"
            "t.save(sys.argv[1], v2_version=3)\n";
        QCOMPARE(test::RunProcess({"/usr/bin/python3", "-c", script, talk}).exitCode, 0);
        ShowPage();
        OpenByDialog(talk);
        Click(Get("byCustom"));
        QVERIFY(Get("chaptersButton")->isEnabled());
        Click(Get("chaptersButton"));
        QVERIFY(shown_.empty());
        QCOMPARE(Ranges(), (std::vector<std::pair<int, int>>{{0, 30}, {30, 65}, {65, 95}}));
        QCOMPARE(page_->Pieces()[1].tags->title, std::string("Two"));
        QCOMPARE(page_->Pieces()[1].endSample, int64_t{6500} * 44100 / 1000);
        if (const QByteArray shots = qgetenv("CORVANE_SCREENSHOTS"); !shots.isEmpty()) {
            page_->window()->grab().save(QString::fromLocal8Bit(shots) + QStringLiteral("/cutter-chapters.png"));
        }
        options_.nameTemplate = "%N% %I%.mp3";
        UseOutputFolder(Folder("chapters"));
        Click(Get("cutButton"));
        QVERIFY(shown_.empty());
        QCOMPARE(PiecesIn(Folder("chapters")),
                 (QStringList{QStringLiteral("1 One.mp3"), QStringLiteral("2 Two.mp3"), QStringLiteral("3 Three.mp3")}));
        QCOMPARE(test::RunCli({"cut", "--chapters", "--name", "%N% %I%.mp3", "-d", Folder("chapters-cli"), talk}).exitCode, 0);
        ExpectSameFiles(Folder("chapters"), Folder("chapters-cli"), 3);
    }

    void piecesAtSilencesAndFromACueSheetCutAsTheCommandLineToolCuts() {
        const std::string talk = *dir_ / "talk.mp3";
        WriteTalk(talk);
        ShowPage();
        OpenByDialog(talk);
        Click(Get("byCustom"));

        // The silences: three checked rows, cut as corvane-cli cut --silence cuts them.
        Click(Get("silencesButton"));
        QVERIFY(shown_.empty());
        QCOMPARE(List()->topLevelItemCount(), 3);
        for (const PieceEntry& row : page_->Pieces()) QVERIFY(row.checked);
        UseOutputFolder(Folder("silences"));
        Click(Get("cutButton"));
        QVERIFY(shown_.empty());
        QCOMPARE(test::RunCli({"cut", "--silence", "-d", Folder("silences-cli"), talk}).exitCode, 0);
        ExpectSameFiles(Folder("silences"), Folder("silences-cli"), 3);

        // A CUE sheet for the image the file was made from: its tracks with their tags, the
        // audio before the first unchecked and unnumbered.
        const std::string sheet = *dir_ / "talk.cue";
        const std::string text = "TITLE \"Talks\"\nFILE \"talk.wav\" WAVE\n  TRACK 01 AUDIO\n    TITLE \"Première\"\n"
                                 "    INDEX 01 00:01:00\n  TRACK 02 AUDIO\n    TITLE Second\n    INDEX 01 00:03:45\n";
        test::WriteFile(sheet, test::Bytes(text.begin(), text.end()));
        SetFilePicker([this, sheet](const QString& filter, FileDialogMode mode, const QStringList&) {
            pickerFilter_ = filter;
            pickerMode_ = mode;
            return QStringList{QString::fromStdString(sheet)};
        });
        Click(Get("cueButton"));
        QCOMPARE(pickerFilter_, QStringLiteral("CUE Sheets (*.cue);;All Files (*)"));
        QVERIFY(pickerMode_ == FileDialogMode::Open);
        QVERIFY(shown_.empty());
        QCOMPARE(Ranges(), (std::vector<std::pair<int, int>>{{0, 10}, {10, 36}, {36, 95}}));
        options_.nameTemplate = "%N% %I%.mp3";
        UseOutputFolder(Folder("cue"));
        Click(Get("cutButton"));
        QVERIFY(shown_.empty());
        QCOMPARE(PiecesIn(Folder("cue")), (QStringList{QStringLiteral("1 Première.mp3"), QStringLiteral("2 Second.mp3")}));
        QCOMPARE(test::RunCli({"cut", "--cue", sheet, "--name", "%N% %I%.mp3", "-d", Folder("cue-cli"), talk}).exitCode,
                 0);
        ExpectSameFiles(Folder("cue"), Folder("cue-cli"), 2);

        // A sheet of one track: one piece.
        const std::string one = "FILE \"talk.wav\" WAVE\n  TRACK 01 AUDIO\n    TITLE Whole\n    INDEX 01 00:00:00\n";
        test::WriteFile(sheet, test::Bytes(one.begin(), one.end()));
        Click(Get("cueButton"));
        UseOutputFolder(Folder("one"));
        Click(Get("cutButton"));
        QVERIFY(shown_.empty());
        QCOMPARE(PiecesIn(Folder("one")), (QStringList{QStringLiteral("1 Whole.mp3")}));

        // A sheet past the end: its message, the rows as they were.
        const std::string late = "FILE \"talk.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:10:00\n";
        test::WriteFile(sheet, test::Bytes(late.begin(), late.end()));
        Click(Get("cueButton"));
        QCOMPARE(shown_.size(), size_t{1});
        QCOMPARE(shown_[0].text,
                 QStringLiteral("Track 1 of the CUE sheet starts at 0:10.0, not before the end of the file (0:09.5)."));
        QCOMPARE(shown_[0].icon, QMessageBox::Warning);
        QCOMPARE(Ranges(), (std::vector<std::pair<int, int>>{{0, 95}}));
    }

    void cancellingTheSilenceSearchKeepsTheRows() {
        // A peak cache that cannot be written: the waveform keeps no windows, so the search
        // decodes under its dialog.
        const QByteArray cacheHome = qgetenv("XDG_CACHE_HOME");
        qputenv("XDG_CACHE_HOME", "/proc/corvane-no-cache");
        const auto restore = qScopeGuard([&] {
            if (cacheHome.isNull())
                qunsetenv("XDG_CACHE_HOME");
            else
                qputenv("XDG_CACHE_HOME", cacheHome);
        });
        const std::string talk = *dir_ / "talk.mp3";
        WriteTalk(talk);
        ShowPage();
        OpenByDialog(talk);
        Click(Get("byCustom"));
        bool pressed = false;
        bool windowDisabled = false;
        QTimer watcher;
        watcher.setInterval(0);
        connect(&watcher, &QTimer::timeout, [&] {
            if (pressed) return;
            for (QWidget* w : QApplication::topLevelWidgets()) {
                auto* dialog = qobject_cast<CProgressDialog*>(w);
                if (dialog == nullptr || !dialog->isVisible()) continue;
                QCOMPARE(dialog->Text(), QStringLiteral("Searching for silences in talk.mp3..."));
                windowDisabled = !page_->isEnabled();
                pressed = true;
                QTest::mouseClick(dialog->CancelButton(), Qt::LeftButton);
            }
        });
        watcher.start();
        Click(Get("silencesButton"));
        watcher.stop();
        QVERIFY(pressed);
        QVERIFY(windowDisabled);
        QVERIFY(shown_.empty());
        QCOMPARE(List()->topLevelItemCount(), 1);
        QVERIFY(page_->isEnabled());
    }

    void withoutASoundDevicePlayAndPreviewOnlySaySo() {
        ShowPage(false);
        OpenByDialog(source_);
        Click(Get("playButton"));
        QCOMPARE(shown_.size(), size_t{1});
        QCOMPARE(shown_[0].text, QStringLiteral("Dear user, the program can't detect a sound card on your computer. "
                                                "The \"Play\" doesn't work."));
        QCOMPARE(shown_[0].icon, QMessageBox::Warning);
        QCOMPARE(page_->State(), PlayState::Stopped);
        QCOMPARE(Get<QPushButton>("playButton")->text(), QStringLiteral("&Play"));
        Click(Get("previewButton"));
        QCOMPARE(shown_.size(), size_t{2});
        QCOMPARE(shown_[1].text, QStringLiteral("Dear user, the program can't detect a sound card on your computer. "
                                                "The \"Preview\" doesn't work."));
        QCOMPARE(page_->State(), PlayState::Stopped);
        QCOMPARE(Get<QPushButton>("previewButton")->text(), QStringLiteral("Previe&w"));
    }

    // Ctrl+O opens, Space plays where the focus does not take it, Delete removes the selected
    // piece from the list; in the time box Space and Delete stay the box's.
    void theKeysOfThePage() {
        ShowPage(false);
        int pickerCalls = 0;
        SetFilePicker([&pickerCalls, this](const QString&, FileDialogMode, const QStringList&) {
            ++pickerCalls;
            return QStringList{QString::fromStdString(source_)};
        });
        QTest::keyClick(page_.get(), Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(pickerCalls, 1);
        QCOMPARE(page_->SourcePath(), QString::fromStdString(source_));
        Click(Get("byCustom"));
        for (int at : {100, 200}) {
            MoveTo(at);
            Click(Get("addButton"));
        }
        Slider()->setFocus();
        QTest::keyClick(Slider(), Qt::Key_Space);
        QCOMPARE(shown_.size(), size_t{1});  // "Play" ran: without a sound device it says so
        QVERIFY(shown_[0].text.contains("\"Play\""));
        SelectRow(1);
        List()->setFocus();
        QTest::keyClick(List(), Qt::Key_Delete);
        QCOMPARE(page_->Pieces().size(), size_t{2});
        Get("timeBox")->setFocus();
        QTest::keyClick(Get("timeBox"), Qt::Key_Space);
        QTest::keyClick(Get("timeBox"), Qt::Key_Delete);
        QCOMPARE(shown_.size(), size_t{1});
        QCOMPARE(page_->Pieces().size(), size_t{2});
        QVERIFY(!Get("playButton")->toolTip().isEmpty() && Get("playButton")->toolTip().contains("Space"));
    }

    // Every edit of the piece list undoes with Ctrl+Z to the rows before it and redoes with
    // Ctrl+Shift+Z to the rows after it.
    void everyPieceEditUndoesAndRedoes() {
        ShowPage();
        OpenByDialog(source_);
        Click(Get("byCustom"));
        struct Edit {
            const char* name;
            std::function<void()> apply;
        };
        auto rows = [this] {
            std::vector<std::tuple<int, int, bool>> r;
            for (const PieceEntry& p : page_->Pieces()) r.emplace_back(p.start, p.end, p.checked);
            return r;
        };
        const std::vector<Edit> edits = {
            {"Add Piece", [this] { MoveTo(100); Click(Get("addButton")); }},
            {"Add Piece", [this] { MoveTo(200); Click(Get("addButton")); }},
            {"Set End", [this] { SelectRow(0); MoveTo(50); Click(Get("setEndButton")); }},
            {"Set Start", [this] { SelectRow(2); MoveTo(230); Click(Get("setStartButton")); }},
            {"check box", [this] { ClickCheckBox(1); }},
            {"boundary drag", [this] { DragOnStrip(page_->Pieces()[1].end, page_->Pieces()[1].end - 30); }},
            {"Remove", [this] { SelectRow(1); Click(Get("removeButton")); }},
            {"Reset", [this] { Click(Get("resetButton")); }},
        };
        for (const Edit& edit : edits) {
            const auto before = rows();
            edit.apply();
            const auto after = rows();
            QVERIFY2(after != before, edit.name);
            QTest::keyClick(List(), Qt::Key_Z, Qt::ControlModifier);
            QVERIFY2(rows() == before, edit.name);
            QTest::keyClick(List(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
            QVERIFY2(rows() == after, edit.name);
        }
    }

    // The files opened come back, newest first, under the source box, and from the settings
    // file at the next start; choosing one opens it.
    void recentFilesAreOfferedUnderTheSourceBox() {
        ShowPage();
        const std::string other = Folder("other.mp3");
        std::filesystem::copy_file(source_, other, std::filesystem::copy_options::overwrite_existing);
        OpenByDialog(source_);
        OpenByDialog(other);
        OpenByDialog(source_);
        QCOMPARE(LoadRecentFiles(), (QStringList{QString::fromStdString(source_), QString::fromStdString(other)}));
        Get("sourceBox")->setFocus();
        QTest::keyClick(Get("sourceBox"), Qt::Key_Down);
        auto* menu = page_->findChild<QMenu*>(QStringLiteral("recentMenu"));
        QVERIFY(menu != nullptr);
        QCOMPARE(menu->actions().size(), 2);
        menu->actions().at(1)->trigger();
        QCOMPARE(page_->SourcePath(), QString::fromStdString(other));
        menu->close();
    }

    void thePieceListsMenuFollowsTheModeAndTheSelection() {
        options_.browseFolder = false;
        ShowPage();
        OpenByDialog(source_);
        const int total = page_->TotalLength();
        MoveTo(100);
        Click(Get("addButton"));
        auto* menu = Get<QMenu>("pieceMenu");
        const auto openMenu = [&](QContextMenuEvent::Reason reason) {
            const QPoint at = List()->visualItemRect(List()->topLevelItem(0)).center();
            QContextMenuEvent event(reason, at, List()->viewport()->mapToGlobal(at));
            QApplication::sendEvent(List()->viewport(), &event);
            QTRY_VERIFY(menu->isVisible());
        };
        const auto action = [&](const char* name) { return menu->findChild<QAction*>(QString::fromLatin1(name)); };
        QVERIFY(action("menuPreview") != nullptr);

        openMenu(QContextMenuEvent::Mouse);
        QCOMPARE(menu->actions().at(0)->text(), QStringLiteral("&Preview"));
        QCOMPARE(menu->actions().at(3)->text(), QStringLiteral("&Browse..."));
        QVERIFY(action("menuPreview")->isEnabled());
        QVERIFY(action("menuRemove")->isEnabled());
        QVERIFY(action("menuReset")->isEnabled());
        QVERIFY(!action("menuBrowse")->isEnabled());  // nothing written yet
        action("menuRemove")->trigger();
        menu->hide();
        QCOMPARE(Ranges(), (std::vector<std::pair<int, int>>{{0, total}}));

        // After a cut the written piece can be shown in its folder.
        MoveTo(100);
        Click(Get("addButton"));
        UseOutputFolder(Folder("menu"));
        Click(Get("cutButton"));
        QCOMPARE(PiecesIn(Folder("menu")).size(), 2);
        QVERIFY(opened_.empty());
        openMenu(QContextMenuEvent::Keyboard);
        QVERIFY(action("menuBrowse")->isEnabled());
        action("menuBrowse")->trigger();
        menu->hide();
        QCOMPARE(opened_.size(), size_t{1});
        QCOMPARE(opened_[0], QUrl::fromLocalFile(QString::fromStdString(Folder("menu"))));

        // In the other modes nothing on the menu can be used.
        Click(Get("byCount"));
        openMenu(QContextMenuEvent::Mouse);
        for (QAction* a : menu->actions()) QVERIFY2(!a->isEnabled(), qPrintable(a->text()));
        menu->hide();
    }

    // ---- Playback, on SDL's dummy output ----

    void pauseThenPlayResumesOrSeeksWhereTheSliderWasMoved() {
        OutputDevice device;
        if (!device.ok) QSKIP("no output device");
        ShowPage(true);
        OpenByDialog(source_);
        QPushButton* play = Get<QPushButton>("playButton");
        Click(play);
        QCOMPARE(page_->State(), PlayState::Playing);
        QCOMPARE(play->text(), QStringLiteral("&Pause"));
        QTRY_VERIFY_WITH_TIMEOUT(Slider()->value() >= 3, 3000);

        Click(play);
        QCOMPARE(page_->State(), PlayState::Paused);
        QCOMPARE(play->text(), QStringLiteral("&Play"));
        const int paused = Slider()->value();
        QTest::qWait(300);
        QCOMPARE(Slider()->value(), paused);

        // Play without moving the slider resumes from the pause.
        Click(play);
        QCOMPARE(page_->State(), PlayState::Playing);
        QTRY_VERIFY_WITH_TIMEOUT(Slider()->value() > paused, 3000);
        QVERIFY(Slider()->value() < paused + 30);

        // Pause, move the slider to 20 s, Play: playback goes on from there.
        Click(play);
        MoveTo(200);
        Click(play);
        QCOMPARE(page_->State(), PlayState::Playing);
        QTRY_VERIFY_WITH_TIMEOUT(Slider()->value() > 200, 3000);
        QVERIFY(Slider()->value() < 230);

        // Stop goes back to where this play started.
        Click(Get("stopButton"));
        QCOMPARE(page_->State(), PlayState::Stopped);
        QCOMPARE(Slider()->value(), 200);
        QCOMPARE(play->text(), QStringLiteral("&Play"));
    }

    void aPreviewPlaysThePieceAndStopsAtItsEnd() {
        OutputDevice device;
        if (!device.ok) QSKIP("no output device");
        ShowPage(true);
        OpenByDialog(source_);
        for (int at : {100, 200, 210}) {
            MoveTo(at);
            Click(Get("addButton"));
        }
        SelectRow(2);
        QPushButton* preview = Get<QPushButton>("previewButton");
        Click(preview);
        QCOMPARE(page_->State(), PlayState::Previewing);
        QCOMPARE(preview->text(), QStringLiteral("Stop"));
        QCOMPARE(Get<QPushButton>("playButton")->text(), QStringLiteral("&Pause"));
        QVERIFY(Slider()->value() >= 200);
        // The end of the piece ends the preview, back at the piece's start.
        QTRY_COMPARE_WITH_TIMEOUT(page_->State(), PlayState::Stopped, 5000);
        QCOMPARE(Slider()->value(), 200);
        QCOMPARE(preview->text(), QStringLiteral("Previe&w"));
        QCOMPARE(Get<QPushButton>("playButton")->text(), QStringLiteral("&Play"));
    }

    void draggingOutsideThePreviewedPieceSwitchesToPlaying() {
        OutputDevice device;
        if (!device.ok) QSKIP("no output device");
        ShowPage(true);
        OpenByDialog(source_);
        for (int at : {100, 200}) {
            MoveTo(at);
            Click(Get("addButton"));
        }
        SelectRow(1);
        QPushButton* preview = Get<QPushButton>("previewButton");
        Click(preview);
        QCOMPARE(page_->State(), PlayState::Previewing);

        // Within the piece the preview goes on from the new place.
        QTest::keyClick(Slider(), Qt::Key_PageUp);
        QTest::qWait(50);
        QCOMPARE(page_->State(), PlayState::Previewing);
        QCOMPARE(preview->text(), QStringLiteral("Stop"));

        // Dragged outside it, playback goes on as normal play once the thumb is let go.
        QStyleOptionSlider option;
        option.initFrom(Slider());
        option.orientation = Qt::Horizontal;
        option.minimum = Slider()->minimum();
        option.maximum = Slider()->maximum();
        option.sliderPosition = option.sliderValue = Slider()->value();
        const QPoint thumb =
            Slider()->style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, Slider()).center();
        QTest::mousePress(Slider(), Qt::LeftButton, Qt::NoModifier, thumb);
        QTest::mouseMove(Slider(), QPoint(thumb.x() / 2, thumb.y()));
        QTest::mouseMove(Slider(), QPoint(0, thumb.y()));
        QVERIFY(Slider()->value() < 100);
        QTest::qWait(250);
        QCOMPARE(page_->State(), PlayState::Previewing);  // still dragging: the timer leaves the thumb alone
        QVERIFY(Slider()->value() < 100);
        QTest::mouseRelease(Slider(), Qt::LeftButton, Qt::NoModifier, QPoint(0, thumb.y()));
        QTRY_COMPARE(page_->State(), PlayState::Playing);
        QCOMPARE(preview->text(), QStringLiteral("Previe&w"));
        QCOMPARE(Get<QPushButton>("playButton")->text(), QStringLiteral("&Pause"));
        QTRY_VERIFY_WITH_TIMEOUT(Slider()->value() > 0, 3000);
        QVERIFY(Slider()->value() < 50);

        // Preview while playing previews the selected piece; pressed again it stops.
        Click(preview);
        QCOMPARE(page_->State(), PlayState::Previewing);
        Click(preview);
        QCOMPARE(page_->State(), PlayState::Stopped);
        QCOMPARE(Slider()->value(), 100);
    }

    // ---- The waveform strip ----

    void draggingABoundaryOnTheStripIsSetEndOfTheLeftPieceWhereItIsLetGo() {
        ShowPage();
        OpenByDialog(source_);
        Click(Get("byCustom"));
        // Pieces 0-10 s, 10-20 s, 20 s to the end, the last one selected.
        const auto layOut = [&] {
            OpenByDialog(source_);
            for (int at : {100, 200}) {
                MoveTo(at);
                Click(Get("addButton"));
            }
            shown_.clear();
        };
        struct Drag {
            int from;
            int to;
            int row;  // the piece the boundary ends
        };
        // Within the next piece, past it, before the piece's own start, and back onto itself.
        for (const Drag drag : {Drag{100, 150, 0}, Drag{100, 250, 0}, Drag{200, 50, 1}, Drag{200, 200, 1}}) {
            layOut();
            DragOnStrip(drag.from, drag.to);
            const auto dragged = Ranges();
            const int draggedRow = List()->indexOfTopLevelItem(List()->selectedItems().value(0));
            std::vector<QString> draggedShown;
            for (const Shown& m : shown_) draggedShown.push_back(m.text);
            QCOMPARE(Slider()->value(), 200);  // the slider stays where it was

            layOut();
            SelectRow(drag.row);
            MoveTo(drag.to);
            Click(Get("setEndButton"));
            std::vector<QString> setEndShown;
            for (const Shown& m : shown_) setEndShown.push_back(m.text);
            QCOMPARE(dragged, Ranges());
            QCOMPARE(draggedRow, List()->indexOfTopLevelItem(List()->selectedItems().value(0)));
            QCOMPARE(draggedShown, setEndShown);
        }
        layOut();
        DragOnStrip(200, 50);
        QCOMPARE(shown_.back().text,
                 QStringLiteral("You can not set the end position less than or equal to the start position."));
    }

    void theStripFollowsTheFileAndAPressMovesTheSlider() {
        ShowPage();
        QVERIFY(!Strip()->HasSource());
        OpenByDialog(source_);
        QVERIFY(Strip()->HasSource());
        QTRY_COMPARE(Strip()->State(), PeakState::Complete);
        // The strip spans the slider: its first and last tenth are under the handle's ends.
        QCOMPARE(Strip()->geometry().left(), Slider()->geometry().left());
        QCOMPARE(Strip()->geometry().right(), Slider()->geometry().right());

        const int y = Strip()->height() / 2;
        QTest::mouseClick(Strip(), Qt::LeftButton, Qt::NoModifier, QPoint(Strip()->XOfValue(123), y));
        QCOMPARE(Slider()->value(), 123);
        QCOMPARE(Get<QLineEdit>("timeBox")->text(), QStringLiteral("0:12.3"));

        // Outside the custom mode the pieces are not on the strip: a press at a boundary moves
        // the slider.
        MoveTo(100);
        Click(Get("byCustom"));
        Click(Get("addButton"));
        Click(Get("byCount"));
        QTest::keyClick(Slider(), Qt::Key_Home);
        QTest::mouseClick(Strip(), Qt::LeftButton, Qt::NoModifier, QPoint(Strip()->XOfValue(100), y));
        QCOMPARE(Slider()->value(), 100);
        QCOMPARE(Ranges().size(), size_t{2});

        Click(Get("byCustom"));
        SelectRow(0);
        Click(Get("removeButton"));
        Click(Get("removeButton"));
        QVERIFY(page_->SourcePath().isEmpty());
        QVERIFY(!Strip()->HasSource());
        QCOMPARE(Strip()->State(), PeakState::Idle);
    }

    void overviewOfABenchFile() {
        const QString file = qEnvironmentVariable("CORVANE_BENCH_PEAKS");
        if (file.isEmpty()) QSKIP("CORVANE_BENCH_PEAKS not set");
        ShowPage();
        // A timer of 5 ms tells how late the event loop answers while the overview is made.
        QElapsedTimer clock;
        qint64 last = 0;
        qint64 worst = 0;
        QTimer probe;
        probe.setInterval(5);
        connect(&probe, &QTimer::timeout, [&] {
            worst = std::max(worst, clock.elapsed() - last);
            last = clock.elapsed();
        });
        for (const char* run : {"first open", "second open"}) {
            page_->CloseSourceFile();
            worst = 0;
            clock.start();
            QVERIFY(page_->OpenSourceFile(file));
            const qint64 opened = clock.elapsed();
            last = opened;
            probe.start();
            // The event loop waits as the program's does; the probe's ticks also look at the strip.
            QEventLoop loop;
            connect(&probe, &QTimer::timeout, &loop, [&] {
                if (Strip()->State() != PeakState::Working) loop.quit();
            });
            if (Strip()->State() == PeakState::Working) loop.exec();
            const qint64 done = clock.elapsed();
            probe.stop();
            QCOMPARE(Strip()->State(), PeakState::Complete);
            std::printf("%s: overview complete %lld ms after the open began (the open itself %lld ms, %s); "
                        "the event loop answered within %lld ms at worst\n",
                        run, static_cast<long long>(done), static_cast<long long>(opened),
                        Strip()->FromCache() ? "from the cache" : "decoded", static_cast<long long>(worst));
        }
    }

    void theVolumeSliderStartsFull() {
        ShowPage();
        auto* volume = Get<QSlider>("volumeSlider");
        QCOMPARE(volume->maximum(), 8192);
        QCOMPARE(volume->pageStep(), 819);
        QCOMPARE(volume->value(), 8191);
        QTest::keyClick(volume, Qt::Key_PageDown);
        QCOMPARE(volume->value(), 8191 - 819);
    }
};

CORVANE_TEST_MAIN(PageSplitterTest)
#include "PageSplitterTest.moc"
