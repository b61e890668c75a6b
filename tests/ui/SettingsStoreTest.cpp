// Settings file: defaults, load corrections, group sets and round trips of every value.
#include "TestEnvironment.h"

#include "ui/SettingsStore.h"

#include <QSettings>

using namespace corvane;

namespace {

void Store(const QString& key, const QVariant& value) {
    auto s = OpenSettings();
    s->setValue(key, value);
    s->sync();
}

QVariant Stored(const QString& key) { return OpenSettings()->value(key); }

QStringList StoredKeys() { return OpenSettings()->allKeys(); }

}  // namespace

class SettingsStoreTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() { test::UseFreshSettings(); }

    void missingFileGivesDefaults() {
        CutterPageSettings cut;
        cut.Load();
        QCOMPARE(cut.cutType, 3);
        QCOMPARE(cut.cutFileAmount, 2);
        QCOMPARE(cut.cutFileSizeEx, std::string("1"));
        QCOMPARE(cut.cutFileUnit, 301);
        CutterOptionSettings opt;
        opt.Load();
        QCOMPARE(opt.outputFileName, std::string("%F%-%P%.mp3"));
        QCOMPARE(opt.id3TitleFormat, std::string("%I% - %P%/%T%"));
        QCOMPARE(opt.targetExistsOpt, 11);
        QCOMPARE(opt.mp3SampleRate, 44100);
        // The documents folder is known in the test home, so the specific folder is chosen.
        QCOMPARE(opt.outputFolderOpt, 299);
        QVERIFY(QString::fromStdString(opt.specifiedOutputFolder).endsWith("/"));
        QVERIFY(QDir(QString::fromStdString(opt.specifiedOutputFolder)).exists());
        BatchCutterSettings batch;
        batch.Load();
        QCOMPARE(batch.cutType, 0);
        QCOMPARE(batch.cutCustomFromSec, std::string("0.0"));
        QCOMPARE(batch.cutCustomDuration, std::string("1.0"));
        WindowSettings window;
        window.Load();
        QCOMPARE(window.startPage, 0);
        QCOMPARE(window.maximized, 1);
        QVERIFY(window.rect.IsEmpty());
        QVERIFY(StoredKeys().isEmpty());  // loading writes nothing
    }

    void cutTypeOutsideRangeLoadsAsZero() {
        Store("Options/Cutter/CutType", 7);
        Store("Options/BatchCutter/CutType", -1);
        CutterPageSettings cut;
        cut.Load();
        QCOMPARE(cut.cutType, 0);
        BatchCutterSettings batch;
        batch.Load();
        QCOMPARE(batch.cutType, 0);
    }

    void pieceCountBelowOneLoadsAsOne() {
        Store("Options/Cutter/CutFileAmount", -3);
        Store("Options/BatchCutter/CutFileAmount", 0);
        CutterPageSettings cut;
        cut.Load();
        QCOMPARE(cut.cutFileAmount, 1);
        BatchCutterSettings batch;
        batch.Load();
        QCOMPARE(batch.cutFileAmount, 1);
    }

    void digitNumbersAreClampedToThousand() {
        Store("Options/Cutter/FilenameDigitNumber", 5000);
        Store("Options/Cutter/TitleDigitNumber", -2);
        CutterOptionSettings opt;
        opt.Load();
        QCOMPARE(opt.filenameDigitNumber, 1000);
        QCOMPARE(opt.titleDigitNumber, 0);
    }

    void channelModeTwoLoadsAsJointStereoOnBothOptionPages() {
        Store("Options/Cutter/MP3ChannelMode", 2);
        Store("Options/Joiner/MP3ChannelMode", 2);
        CutterOptionSettings cut;
        cut.Load();
        JoinerOptionSettings join;
        join.Load();
        QCOMPARE(cut.mp3ChannelMode, 1);
        QCOMPARE(join.mp3ChannelMode, 1);
        Store("Options/Joiner/MP3ChannelMode", 3);
        join.Load();
        QCOMPARE(join.mp3ChannelMode, 3);
    }

    void outputFolderZeroLoadsAsSameAsSource() {
        Store("Options/Cutter/OutputFolderOpt", 0);
        Store("Options/Joiner/OutputFolderOpt", 0);
        CutterOptionSettings cut;
        cut.Load();
        JoinerOptionSettings join;
        join.Load();
        QCOMPARE(cut.outputFolderOpt, 199);
        QCOMPARE(join.outputFolderOpt, 199);
    }

    void emptyTemplatesLoadAsDefaults() {
        Store("Options/Cutter/OutputFileName", "");
        Store("Options/Cutter/ID3TitleFormat", "");
        CutterOptionSettings opt;
        opt.outputFileName = "changed";
        opt.Load();
        QCOMPARE(opt.outputFileName, std::string("%F%-%P%.mp3"));
        QCOMPARE(opt.id3TitleFormat, std::string("%I% - %P%/%T%"));
    }

    void otherCorrections() {
        Store("Options/Cutter/CutTimeMin", -4);
        Store("Options/Cutter/CutTimeSec", -1);
        Store("Options/Cutter/FadeInLen", -5);
        Store("Options/Cutter/ID3TrackNumType", 3);
        Store("Options/Cutter/FirstPiecesNumber", 0);
        Store("Options/BatchJoiner/JoinType", 2);
        CutterPageSettings cut;
        cut.Load();
        QCOMPARE(cut.cutTimeMin, 0);
        QCOMPARE(cut.cutTimeSec, 0);
        CutterOptionSettings opt;
        opt.Load();
        QCOMPARE(opt.fadeInLen, 0);
        QCOMPARE(opt.id3TrackNumType, 1);
        QCOMPARE(opt.firstPiecesNumber, 1);
        BatchJoinerSettings bj;
        bj.Load();
        QCOMPARE(bj.joinType, 0);
    }

    void unknownUnitAndTargetRuleAreKeptForThePage() {
        Store("Options/Cutter/CutFileUnit", 999);
        Store("Options/Cutter/TargetExistsOpt", 44);
        CutterPageSettings cut;
        cut.Load();
        QCOMPARE(cut.cutFileUnit, 999);
        CutterOptionSettings opt;
        opt.Load();
        QCOMPARE(opt.targetExistsOpt, 44);
    }

    void longCommentIsReadWhole() {
        const QString comment = QString(1999, QChar('c')) + QStringLiteral("\u00e9");
        Store("Options/Joiner/ID3Comment", comment);
        JoinerPageSettings join;
        join.Load();
        QCOMPARE(QString::fromStdString(join.id3Comment), comment);
        QCOMPARE(join.id3Comment.size(), size_t(2001));  // 1999 + two bytes of UTF-8
    }

    void missingSizedTextReadsEmpty() {
        JoinerPageSettings join;
        join.id3Title = "kept?";
        join.Load();
        QCOMPARE(join.id3Title, std::string());
    }

    void fixedTextTooLongKeepsDefault() {
        Store("Options/BatchCutter/Folder", QString(520, QChar('f')));
        Store("Options/BatchCutter/CutFileSizeEx", QString(260, QChar('9')));
        BatchCutterSettings batch;
        batch.Load();
        QCOMPARE(batch.folder, std::string());
        QCOMPARE(batch.cutFileSizeEx, std::string("1"));
        Store("Options/BatchCutter/Folder", QString(519, QChar('f')));
        batch.Load();
        QCOMPARE(batch.folder.size(), size_t(519));
    }

    void unreadableNumberKeepsDefault() {
        Store("Options/Cutter/MP3BitRate", "fast");
        CutterOptionSettings opt;
        opt.Load();
        QCOMPARE(opt.mp3BitRate, 128);
    }

    void emptyWindowRectangleIsIgnored() {
        QByteArray bytes(16, '\0');
        bytes[0] = 100;  // left 100, right 0: empty
        Store("Options/WndPosition", bytes);
        WindowSettings w;
        w.Load();
        QVERIFY(w.rect.IsEmpty());
        QCOMPARE(w.rect.left, 0);
    }

    void windowRectangleIsSixteenLittleEndianBytes() {
        WindowSettings w;
        w.startPage = 5;
        w.maximized = 0;
        w.rect = WindowRect{-8, 260, 1000, 0x01020304};
        w.Save();
        const QByteArray bytes = Stored("Options/WndPosition").toByteArray();
        QCOMPARE(bytes.size(), 16);
        QCOMPARE(QByteArray(bytes.constData(), 4), QByteArray("\xf8\xff\xff\xff", 4));
        QCOMPARE(QByteArray(bytes.constData() + 4, 4), QByteArray("\x04\x01\0\0", 4));
        QCOMPARE(QByteArray(bytes.constData() + 12, 4), QByteArray("\x04\x03\x02\x01", 4));
        WindowSettings back;
        back.Load();
        QCOMPARE(back.startPage, 5);
        QCOMPARE(back.maximized, 0);
        QCOMPARE(back.rect.left, -8);
        QCOMPARE(back.rect.top, 260);
        QCOMPARE(back.rect.right, 1000);
        QCOMPARE(back.rect.bottom, 0x01020304);
    }

    void firstRunIsReportedOnceAndStoredAsZero() {
        QVERIFY(CheckFirstRun());
        QCOMPARE(Stored("Options/FirstRun").toInt(), 0);
        QVERIFY(!CheckFirstRun());
        Store("Options/FirstRun", 5);
        QVERIFY(CheckFirstRun());
        QCOMPARE(Stored("Options/FirstRun").toInt(), 0);
    }

    void emptyGroupSetWritesNothing() {
        CutterPageSettings cut;
        cut.Save(0);
        JoinerPageSettings join;
        join.Save(kCutGroup);  // not a joiner group
        BatchCutterSettings batch;
        batch.Save(kTagGroup);
        BatchJoinerSettings bj;
        bj.Save(0);
        QVERIFY(StoredKeys().isEmpty());
    }

    void groupSetsWriteOnlyTheirValues() {
        JoinerPageSettings join;
        join.folder = "/music/";
        join.Save(kFolderGroup);
        QCOMPARE(StoredKeys(), QStringList{"Options/Joiner/Folder"});
        BatchJoinerSettings bj;
        bj.joinType = 1;
        bj.Save(kJoinTypeGroup);
        QVERIFY(StoredKeys().contains("Options/BatchJoiner/JoinType"));
        QVERIFY(!StoredKeys().contains("Options/BatchJoiner/Folder"));
        BatchCutterSettings batch;
        batch.Save(kCutGroup);
        QVERIFY(StoredKeys().contains("Options/BatchCutter/CutCustomDuration"));
        QVERIFY(!StoredKeys().contains("Options/BatchCutter/Folder"));
    }

    void cutterPageAndOptionsPageShareTheKeyWithoutTouchingEachOther() {
        CutterOptionSettings opt;
        opt.mp3BitRate = 320;
        opt.Save();
        CutterPageSettings cut;
        cut.cutType = 2;
        cut.Save(kCutGroup);
        CutterOptionSettings back;
        back.Load();
        QCOMPARE(back.mp3BitRate, 320);
        QVERIFY(!StoredKeys().contains("Options/Cutter/Folder"));
        QCOMPARE(Stored("Options/Cutter/CutType").toInt(), 2);
    }

    void everyValueRoundTrips() {
        CutterPageSettings cut;
        cut.cutType = 1;
        cut.cutFileAmount = 7;
        cut.cutFileSizeEx = "2.5";
        cut.cutFileUnit = 201;
        cut.cutTimeMin = 12;
        cut.cutTimeSec = 34;
        cut.Save(kCutGroup);
        CutterPageSettings cut2;
        cut2.Load();
        QCOMPARE(cut2.cutType, 1);
        QCOMPARE(cut2.cutFileAmount, 7);
        QCOMPARE(cut2.cutFileSizeEx, std::string("2.5"));
        QCOMPARE(cut2.cutFileUnit, 201);
        QCOMPARE(cut2.cutTimeMin, 12);
        QCOMPARE(cut2.cutTimeSec, 34);

        CutterOptionSettings o;
        o.reencodePieces = 1; o.useSameParams = 0; o.mp3BitRate = 192; o.mp3SampleRate = 22050;
        o.mp3ChannelMode = 3; o.browseFolder = 0; o.fadeInLen = 15; o.fadeOutLen = 25;
        o.forwardOverlap = 3; o.backwardOverlap = 4; o.id3TrackNumType = 2;
        o.outputFolderOpt = 199; o.specifiedOutputFolder = "/tmp/out dir/";
        o.createFolderForEachMP3 = 1; o.createTreeDirs = 1; o.splitFirstNPieces = 1;
        o.firstPiecesNumber = 9; o.keepID3tag = 0; o.outputFileName = "%F%[%P% of %T%].mp3";
        o.filenameDigitNumber = 3; o.titleDigitNumber = 4; o.id3TitleFormat = "%I% part %P%";
        o.targetExistsOpt = 33;
        o.Save();
        CutterOptionSettings b;
        b.Load();
        QCOMPARE(b.reencodePieces, 1); QCOMPARE(b.useSameParams, 0); QCOMPARE(b.mp3BitRate, 192);
        QCOMPARE(b.mp3SampleRate, 22050); QCOMPARE(b.mp3ChannelMode, 3); QCOMPARE(b.browseFolder, 0);
        QCOMPARE(b.fadeInLen, 15); QCOMPARE(b.fadeOutLen, 25); QCOMPARE(b.forwardOverlap, 3);
        QCOMPARE(b.backwardOverlap, 4); QCOMPARE(b.id3TrackNumType, 2); QCOMPARE(b.outputFolderOpt, 199);
        QCOMPARE(b.specifiedOutputFolder, std::string("/tmp/out dir/"));
        QCOMPARE(b.createFolderForEachMP3, 1); QCOMPARE(b.createTreeDirs, 1);
        QCOMPARE(b.splitFirstNPieces, 1); QCOMPARE(b.firstPiecesNumber, 9); QCOMPARE(b.keepID3tag, 0);
        QCOMPARE(b.outputFileName, std::string("%F%[%P% of %T%].mp3"));
        QCOMPARE(b.filenameDigitNumber, 3); QCOMPARE(b.titleDigitNumber, 4);
        QCOMPARE(b.id3TitleFormat, std::string("%I% part %P%")); QCOMPARE(b.targetExistsOpt, 33);
        const CutterOptions plan = b.ToCutterOptions();
        QVERIFY(plan.reencodePieces); QVERIFY(!plan.useSameParams); QVERIFY(!plan.keepID3tag);
        QCOMPARE(plan.mp3ChannelMode, 3); QCOMPARE(plan.forwardOverlap, 3); QCOMPARE(plan.firstPiecesNumber, 9);
        QCOMPARE(plan.outputFileName, b.outputFileName); QCOMPARE(plan.specifiedOutputFolder, b.specifiedOutputFolder);
        QCOMPARE(plan.targetExistsOpt, TargetExists::Skip); QCOMPARE(plan.titleDigitNumber, 4);

        JoinerPageSettings j;
        j.folder = "/m/"; j.id3Title = "T\u00eftle"; j.id3Artist = "A"; j.id3Album = "Al";
        j.id3TrackNo = "12"; j.id3Year = "1999"; j.id3GenreEx = "Rock"; j.id3Comment = "line1\nline2";
        j.Save(kFolderGroup | kTagGroup);
        JoinerPageSettings j2;
        j2.Load();
        QCOMPARE(j2.folder, j.folder); QCOMPARE(j2.id3Title, j.id3Title); QCOMPARE(j2.id3Artist, j.id3Artist);
        QCOMPARE(j2.id3Album, j.id3Album); QCOMPARE(j2.id3TrackNo, j.id3TrackNo); QCOMPARE(j2.id3Year, j.id3Year);
        QCOMPARE(j2.id3GenreEx, j.id3GenreEx); QCOMPARE(j2.id3Comment, j.id3Comment);

        JoinerOptionSettings jo;
        jo.browseFolder = 0; jo.autoMP3EncodingParam = 0; jo.mp3BitRate = 64; jo.mp3SampleRate = 32000;
        jo.mp3ChannelMode = 0; jo.outputFolderOpt = 299; jo.specifiedOutputFolder = "/x/";
        jo.createTreeDirs = 1; jo.addPostfixAtEndOfFile = 0; jo.targetExistsOpt = 22;
        jo.Save();
        JoinerOptionSettings jb;
        jb.Load();
        QCOMPARE(jb.browseFolder, 0); QCOMPARE(jb.autoMP3EncodingParam, 0); QCOMPARE(jb.mp3BitRate, 64);
        QCOMPARE(jb.mp3SampleRate, 32000); QCOMPARE(jb.mp3ChannelMode, 0); QCOMPARE(jb.outputFolderOpt, 299);
        QCOMPARE(jb.specifiedOutputFolder, std::string("/x/")); QCOMPARE(jb.createTreeDirs, 1);
        QCOMPARE(jb.addPostfixAtEndOfFile, 0); QCOMPARE(jb.targetExistsOpt, 22);

        BatchCutterSettings bc;
        bc.folder = "/b/"; bc.cutType = 2; bc.cutFileAmount = 4; bc.cutFileSizeEx = "700";
        bc.cutFileUnit = 401; bc.cutTimeMin = 3; bc.cutTimeSec = 5; bc.cutCustomFromSec = "30.5";
        bc.cutCustomDuration = "0";
        bc.Save(kFolderGroup | kCutGroup);
        BatchCutterSettings bc2;
        bc2.Load();
        QCOMPARE(bc2.folder, bc.folder); QCOMPARE(bc2.cutType, 2); QCOMPARE(bc2.cutFileAmount, 4);
        QCOMPARE(bc2.cutFileSizeEx, bc.cutFileSizeEx); QCOMPARE(bc2.cutFileUnit, 401);
        QCOMPARE(bc2.cutTimeMin, 3); QCOMPARE(bc2.cutTimeSec, 5);
        QCOMPARE(bc2.cutCustomFromSec, bc.cutCustomFromSec); QCOMPARE(bc2.cutCustomDuration, bc.cutCustomDuration);

        BatchJoinerSettings bj;
        bj.folder = "/bj/"; bj.joinType = 1;
        bj.Save(kFolderGroup | kJoinTypeGroup);
        BatchJoinerSettings bj2;
        bj2.Load();
        QCOMPARE(bj2.folder, bj.folder); QCOMPARE(bj2.joinType, 1);
    }
};

CORVANE_TEST_MAIN(SettingsStoreTest)
#include "SettingsStoreTest.moc"
