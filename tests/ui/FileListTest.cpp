// File lists: sorting, the loading loop and its report, folders, drops and link files.
#include "TestEnvironment.h"

#include "support/Mp3Factory.h"
#include "ui/MessageBox.h"
#include "ui/FileListLoader.h"
#include "ui/widgets/NumberEdit.h"
#include "ui/widgets/ProgressDialog.h"
#include "ui/widgets/SortListCtrl.h"

#include <QPushButton>

#include <vector>

using namespace corvane;

namespace {

// A file of size bytes at path (folders made as needed).
void MakeFile(const QString& path, int size = 10) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(size, 'x'));
}

void MakeLink(const QString& path, const QString& target) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Text));
    f.write("[Desktop Entry]\nType=Link\nName=x\nURL=" + QUrl::fromLocalFile(target).toEncoded() + "\n");
}

// Facts for any file whose name does not contain "bad".
bool FakeFacts(const std::string& path, FileEntry* e) {
    if (path.find("bad") != std::string::npos) return false;
    e->facts.seconds = 3599;
    e->facts.sampleRate = 44100;
    e->facts.bitrate = 128;
    e->facts.channelMode = 1;
    return true;
}

void NoTags(const std::string&, TagFields*) {}

QStringList Column(const CSortListCtrl& list, int column) {
    QStringList out;
    for (int i = 0; i < list.RowCount(); ++i) out << list.Cell(i, column);
    return out;
}

int VisibleProgressDialogs() {
    int n = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (qobject_cast<CProgressDialog*>(w) && w->isVisible()) ++n;
    return n;
}

}  // namespace

class FileListTest : public QObject {
    Q_OBJECT
    std::vector<QString> messages_;
    std::unique_ptr<QTemporaryDir> dir_;
    QString Path(const QString& name) const { return dir_->filePath(name); }

    struct Fixture {
        QWidget window;
        CSortListCtrl* list;
        std::string folder;
        CFileListLoader loader;
        explicit Fixture(FileListKind kind)
            : list(new CSortListCtrl(&window)), loader(list, kind, &window, &folder, {}) {
            loader.SetFactsReader(&FakeFacts);
            loader.SetTagReader(&NoTags);
        }
    };

private Q_SLOTS:
    void init() {
        test::UseFreshSettings();
        dir_ = std::make_unique<QTemporaryDir>();
        messages_.clear();
        SetMessageHandler([this](const QString& text, QMessageBox::Icon) {
            messages_.push_back(text);
            return QMessageBox::Ok;
        });
    }
    void cleanup() {
        SetMessageHandler({});
        QApplication::processEvents();
    }

    // ---- sorting ----

    void lengthSortsAsDurationAndReversesOnSecondClick() {
        CSortListCtrl list;
        list.setColumnCount(3);
        list.SetSortKind(2, SortKind::Duration);
        const char* lengths[] = {"1:02:03", "59:59", "0:07", "1:00:00"};
        for (const char* l : lengths) list.SetCell(list.InsertRow("f"), 2, l);
        list.SortByColumn(2);
        QCOMPARE(Column(list, 2), (QStringList{"0:07", "59:59", "1:00:00", "1:02:03"}));
        QVERIFY(list.Ascending());
        list.SortByColumn(2);
        QCOMPARE(Column(list, 2), (QStringList{"1:02:03", "1:00:00", "59:59", "0:07"}));
        QVERIFY(!list.Ascending());
        list.SortByColumn(0);  // another column: ascending again
        QVERIFY(list.Ascending());
        QCOMPARE(list.SortedColumn(), 0);
        list.SortByColumn(2);  // back to the length column: ascending
        QCOMPARE(Column(list, 2).first(), QString("0:07"));
    }

    void sizeSortsByUnit() {
        CSortListCtrl list;
        list.setColumnCount(2);
        list.SetSortKind(1, SortKind::Size);
        const char* sizes[] = {"1.20 MB", "999 B", "900.0 KB", "0.98 GB", "1.00 TB", "1.0 kb"};
        for (const char* s : sizes) list.SetCell(list.InsertRow("f"), 1, s);
        list.SortByColumn(1);
        QCOMPARE(Column(list, 1), (QStringList{"999 B", "1.0 kb", "900.0 KB", "1.20 MB", "0.98 GB", "1.00 TB"}));
    }

    void recordsFollowTheirRowsThroughASort() {
        CSortListCtrl list;
        list.setColumnCount(2);
        list.SetSortKind(1, SortKind::Number);
        FileEntry a, b, c;
        const std::pair<FileEntry*, const char*> rows[] = {{&a, "320 kbps"}, {&b, "64 kbps"}, {&c, "128 kbps"}};
        for (auto [record, text] : rows) {
            const int row = list.InsertRow("f");
            list.SetRecord(row, record);
            list.SetCell(row, 1, text);
        }
        list.SortByColumn(1);
        QCOMPARE(list.Record(0), &b);
        QCOMPARE(list.Record(1), &c);
        QCOMPARE(list.Record(2), &a);
    }

    void compareRules() {
        QCOMPARE(CSortListCtrl::CompareCells(SortKind::Number, "9", "10"), -1);
        QCOMPARE(CSortListCtrl::CompareCells(SortKind::Number, "2005", "1999"), 1);
        QCOMPARE(CSortListCtrl::CompareCells(SortKind::Number, "", "0"), 0);
        QCOMPARE(CSortListCtrl::CompareCells(SortKind::Size, "1 K", "1024 B"), 0);
        QCOMPARE(CSortListCtrl::CompareCells(SortKind::Size, "2X", "2 B"), 0);
        QCOMPARE(CSortListCtrl::CompareCells(SortKind::Duration, "abc", "1:00"), 0);
        QCOMPARE(CSortListCtrl::CompareCells(SortKind::Duration, "0:59", "1:00"), -1);
    }

    void columnsOfTheListsAreLaidOut() {
        Fixture cutter(FileListKind::BatchCutter);
        QCOMPARE(cutter.list->columnCount(), 13);
        QCOMPARE(cutter.list->headerItem()->text(3), QString("Output"));
        QCOMPARE(cutter.list->GetSortKind(2), SortKind::Duration);
        QCOMPARE(cutter.list->GetSortKind(8), SortKind::Text);  // "Year" sorts as text here
        Fixture main(FileListKind::BatchJoinerMain);
        QCOMPARE(main.list->columnCount(), 14);
        QCOMPARE(main.list->headerItem()->text(10), QString("Comment"));
        QCOMPARE(main.list->GetSortKind(8), SortKind::Number);
        Fixture joiner(FileListKind::Joiner);
        QCOMPARE(joiner.list->headerItem()->text(3), QString("#"));
        QCOMPARE(joiner.list->columnWidth(1), 70);
    }

    // ---- the loading loop ----

    void fortyFilesOfWhichThirtyFiveFailGiveOneMessage() {
        Fixture f(FileListKind::Joiner);
        QStringList paths;
        QString expected;
        for (int i = 0; i < 40; ++i) {
            const QString path = Path(QString(i < 35 ? "bad%1.mp3" : "good%1.mp3").arg(i));
            MakeFile(path);
            paths << path;
            if (i < 30) expected += path + "\n";
        }
        expected += "<more files>...\n";
        f.loader.LoadFileList(paths, nullptr);
        QCOMPARE(f.list->RowCount(), 5);
        QCOMPARE(messages_.size(), size_t(1));
        QCOMPARE(messages_[0], "Failed to load the following files.\n\n" + expected +
                                   "\nTo get help, please contact us at <support@corvane.example.org>.");
    }

    void extensionIsCheckedInAnyCase() {
        Fixture f(FileListKind::Joiner);
        const QStringList paths = {Path("Loud.MP3"), Path("notes.mp3.txt"), Path("noext"), Path("x.Mp3")};
        for (const QString& p : paths) MakeFile(p);
        f.loader.LoadFileList(paths, nullptr);
        QCOMPARE(Column(*f.list, 0), (QStringList{"Loud.MP3", "x.Mp3"}));
        QCOMPARE(messages_.size(), size_t(1));
        QVERIFY(messages_[0].contains(Path("notes.mp3.txt") + "\n" + Path("noext") + "\n"));
    }

    void theBatchCutterListReadsFactsWithTheMp3Reader() {
        CSortListCtrl list;
        std::string folder;
        CFileListLoader loader(&list, FileListKind::BatchCutter, nullptr, &folder, {});
        test::EncodeOptions o;
        o.kbps = 160;
        test::WriteFile(Path("song.mp3").toStdString(), test::EncodeMp3(o));
        test::WriteFile(Path("tone.mp3").toStdString(), test::MakeWav(44100, 2, 1.0));
        loader.LoadFileList({Path("song.mp3"), Path("tone.mp3")}, nullptr);
        QCOMPARE(Column(list, 0), QStringList{"song.mp3"});
        QCOMPARE(list.Cell(0, 10), QString("160 kbps"));
        QCOMPARE(messages_.size(), size_t(1));
        QVERIFY(messages_[0].contains("\n\n" + Path("tone.mp3") + "\n"));
    }

    void duplicatesArePassedOverOnlyWhereTheListSaysSo() {
        MakeFile(Path("a.mp3"));
        const QString again = dir_->path() + "/./sub/../a.mp3";
        Fixture cutter(FileListKind::BatchCutter);
        cutter.loader.LoadFileList({Path("a.mp3"), again}, nullptr);
        QCOMPARE(cutter.list->RowCount(), 1);
        Fixture joiner(FileListKind::Joiner);
        joiner.loader.LoadFileList({Path("a.mp3"), Path("a.mp3")}, nullptr);
        QCOMPARE(joiner.list->RowCount(), 2);
        Fixture joined(FileListKind::BatchJoinerJoined);
        joined.loader.LoadFileList({Path("a.mp3"), Path("a.mp3")}, nullptr);
        QCOMPARE(joined.list->RowCount(), 2);
        QVERIFY(messages_.empty());
    }

    void cancelDuringAddingKeepsTheRowsAdded() {
        Fixture f(FileListKind::Joiner);
        QStringList paths;
        for (int i = 0; i < 6; ++i) {
            paths << Path(QString("f%1.mp3").arg(i));
            MakeFile(paths.back());
        }
        auto* dialog = new CProgressDialog;
        dialog->show();
        QStringList texts;
        bool windowDisabled = false;
        f.loader.SetFactsReader([&](const std::string& path, FileEntry* e) {
            texts << dialog->Text();
            windowDisabled = !f.window.isEnabled();
            if (texts.size() == 3) dialog->CancelButton()->click();
            return FakeFacts(path, e);
        });
        f.loader.LoadFileList(paths, dialog);
        QCOMPARE(f.list->RowCount(), 3);
        QCOMPARE(texts.first(), QString("[1/6] Adding file f0.mp3..."));
        QCOMPARE(texts.last(), QString("[3/6] Adding file f2.mp3..."));
        QVERIFY(windowDisabled);
        QVERIFY(f.window.isEnabled());
        QApplication::processEvents();
        QCOMPARE(VisibleProgressDialogs(), 0);
    }

    void rowsShowSizesLengthsAndFormat() {
        Fixture f(FileListKind::Joiner);
        MakeFile(Path("small.mp3"), 999);
        MakeFile(Path("kilo.mp3"), 1000);
        MakeFile(Path("hour.mp3"), 20);
        f.loader.SetFactsReader([](const std::string& path, FileEntry* e) {
            e->facts.seconds = path.find("hour") != std::string::npos ? 3600 : 3599;
            e->facts.sampleRate = 22050;
            e->facts.bitrate = 32;
            e->facts.channelMode = 3;
            return true;
        });
        f.loader.SetTagReader([](const std::string&, TagFields* t) {
            t->track = 7;
            t->title = "Title";
            t->comment = "line1\nline2";
        });
        f.loader.LoadFileList({Path("small.mp3"), Path("kilo.mp3"), Path("hour.mp3")}, nullptr);
        QCOMPARE(Column(*f.list, 1), (QStringList{"999 B", "1.0 KB", "20 B"}));
        QCOMPARE(Column(*f.list, 2), (QStringList{"59:59", "59:59", "1:00:00"}));
        QCOMPARE(f.list->Cell(0, 3), QString("7"));
        QCOMPARE(f.list->Cell(0, 4), QString("Title"));
        QCOMPARE(f.list->Cell(0, 9), QString("line1\nline2"));
        QCOMPARE(f.list->Cell(0, 10), QString("32 kbps"));
        QCOMPARE(f.list->Cell(0, 11), QString("22050 Hz"));
        QCOMPARE(f.list->Cell(0, 12), QString("Mono"));
        QCOMPARE(f.list->Record(2)->facts.seconds, 3600u);
    }

    void firstRowEnablesTheBatchCommands() {
        Fixture f(FileListKind::BatchCutter);
        int calls = 0;
        f.loader.SetFirstRowFilled([&] { ++calls; });
        MakeFile(Path("a.mp3"));
        MakeFile(Path("b.mp3"));
        f.loader.LoadFileList({Path("a.mp3"), Path("b.mp3")}, nullptr);
        QCOMPARE(calls, 1);
        f.loader.RemoveAll();
        QCOMPARE(f.list->RowCount(), 0);
    }

    // ---- folders, drops, link files ----

    void folderSearchIsDepthFirstWithLinksAfterFiles() {
        MakeFile(Path("top/b.mp3"));
        MakeFile(Path("top/A.MP3"));
        MakeFile(Path("top/skip.txt"));
        MakeFile(Path("top/x/inner.mp3"));
        MakeFile(Path("top/x/deep/deeper.mp3"));
        MakeFile(Path("top/y/last.mp3"));
        MakeFile(Path("elsewhere/target.mp3"));
        MakeLink(Path("top/link.desktop"), Path("elsewhere/target.mp3"));
        MakeLink(Path("top/tolink.desktop"), Path("top/link.desktop"));  // a chain: passed over
        MakeLink(Path("top/text.desktop"), Path("top/skip.txt"));
        QStringList paths;
        CollectFolder(Path("top"), &paths);
        QCOMPARE(paths, (QStringList{Path("top/A.MP3"), Path("top/b.mp3"), Path("elsewhere/target.mp3"),
                                     Path("top/x/inner.mp3"), Path("top/x/deep/deeper.mp3"),
                                     Path("top/y/last.mp3")}));
    }

    void droppedLinkToLinkToMp3IsAdded() {
        MakeFile(Path("music/song.mp3"));
        MakeLink(Path("one.desktop"), Path("music/song.mp3"));
        MakeLink(Path("two.desktop"), Path("one.desktop"));
        MakeLink(Path("loop.desktop"), Path("loop.desktop"));
        Fixture f(FileListKind::Joiner);
        f.loader.DropFiles({Path("two.desktop"), Path("loop.desktop")});
        QCOMPARE(f.list->RowCount(), 1);
        QCOMPARE(QString::fromStdString(f.list->Record(0)->path), Path("music/song.mp3"));
        QVERIFY(messages_.empty());
    }

    void droppedFolderAndFilesAreAddedInOrder() {
        MakeFile(Path("d/one.mp3"));
        MakeFile(Path("two.mp3"));
        Fixture f(FileListKind::Joiner);
        f.loader.DropFiles({Path("two.mp3"), Path("d"), Path("readme.txt")});
        QCOMPARE(Column(*f.list, 0), (QStringList{"two.mp3", "one.mp3"}));
    }

    void droppingOnlyATextFileChangesNothing() {
        MakeFile(Path("readme.txt"));
        Fixture f(FileListKind::Joiner);
        f.loader.DropFiles({Path("readme.txt")});
        QApplication::processEvents();
        QCOMPARE(f.list->RowCount(), 0);
        QCOMPARE(VisibleProgressDialogs(), 0);
        QVERIFY(messages_.empty());
    }

    void linkFilesThatAreNotLinksDoNotResolve() {
        QString target;
        QFile f(Path("app.desktop"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("[Desktop Entry]\nType=Application\nExec=x\n");
        f.close();
        QVERIFY(!ResolveShortcut(Path("app.desktop"), &target));
        QVERIFY(target.isEmpty());
        QFile web(Path("web.desktop"));
        QVERIFY(web.open(QIODevice::WriteOnly));
        web.write("[Desktop Entry]\nType=Link\nURL=https://example.org/a.mp3\n");
        web.close();
        QVERIFY(!ResolveShortcut(Path("web.desktop"), &target));
        MakeLink(Path("ok.desktop"), Path("song.mp3"));
        QVERIFY(ResolveShortcut(Path("ok.desktop"), &target));
        QCOMPARE(target, Path("song.mp3"));
    }

    // ---- number edit ----

    void numberEditDropsOtherCharacters() {
        CNumberEdit edit;
        QTest::keyClicks(&edit, "1a2.5-x");
        QCOMPARE(edit.text(), QString("12.5-"));
        edit.clear();
        edit.SetAllowMinus(false);
        edit.SetAllowDecimalPoint(false);
        QTest::keyClicks(&edit, "-3.25");
        QCOMPARE(edit.text(), QString("325"));
        QTest::keyClick(&edit, Qt::Key_Backspace);
        QCOMPARE(edit.text(), QString("32"));
    }
};

CORVANE_TEST_MAIN(FileListTest)
#include "FileListTest.moc"
