// Settings file: defaults, load corrections, group sets and round trips of every value.
#include "TestEnvironment.h"

#include "ui/SettingsStore.h"

#include <QSettings>

#include <sys/stat.h>

using namespace corvane;

namespace {

void Store(const QString& key, const QVariant& value) {
    auto s = OpenSettings();
    s->setValue(key, value);
    s->sync();
}

QVariant Stored(const QString& key) { return OpenSettings()->value(key); }

QStringList StoredKeys() { return OpenSettings()->allKeys(); }

// The stored number of an enumerated value.
template <typename Enum>
int Num(Enum value) {
    return static_cast<int>(value);
}

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
        QCOMPARE(Num(cut.cutFileUnit), 301);
        CutterOptionSettings opt;
        opt.Load();
        QCOMPARE(opt.options.nameTemplate, std::string("%F%-%P%.mp3"));
        QCOMPARE(opt.options.titleTemplate, std::string("%I% - %P%/%T%"));
        QCOMPARE(Num(opt.options.placement.ifExists), 11);
        QCOMPARE(opt.options.encoding.sampleRate, 44100);
        // The documents folder is known in the test home, so the specific folder is chosen.
        QCOMPARE(Num(opt.options.placement.folder), 299);
        QVERIFY(QString::fromStdString(opt.options.placement.specificFolder).endsWith("/"));
        QVERIFY(QDir(QString::fromStdString(opt.options.placement.specificFolder)).exists());
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
        QCOMPARE(opt.options.nameDigits, 1000);
        QCOMPARE(opt.options.titleDigits, 0);
    }

    void channelModeTwoLoadsAsJointStereoOnBothOptionPages() {
        Store("Options/Cutter/MP3ChannelMode", 2);
        Store("Options/Joiner/MP3ChannelMode", 2);
        CutterOptionSettings cut;
        cut.Load();
        JoinerOptionSettings join;
        join.Load();
        QCOMPARE(cut.options.encoding.channelMode, 1);
        QCOMPARE(join.options.encoding.channelMode, 1);
        Store("Options/Joiner/MP3ChannelMode", 3);
        join.Load();
        QCOMPARE(join.options.encoding.channelMode, 3);
    }

    void outputFolderZeroLoadsAsSameAsSource() {
        Store("Options/Cutter/OutputFolderOpt", 0);
        Store("Options/Joiner/OutputFolderOpt", 0);
        CutterOptionSettings cut;
        cut.Load();
        JoinerOptionSettings join;
        join.Load();
        QCOMPARE(Num(cut.options.placement.folder), 199);
        QCOMPARE(Num(join.options.placement.folder), 199);
    }

    void emptyTemplatesLoadAsDefaults() {
        Store("Options/Cutter/OutputFileName", "");
        Store("Options/Cutter/ID3TitleFormat", "");
        CutterOptionSettings opt;
        opt.options.nameTemplate = "changed";
        opt.Load();
        QCOMPARE(opt.options.nameTemplate, std::string("%F%-%P%.mp3"));
        QCOMPARE(opt.options.titleTemplate, std::string("%I% - %P%/%T%"));
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
        QCOMPARE(opt.options.fadeInTenths, 0);
        QCOMPARE(Num(opt.options.trackNumbers), 1);
        QCOMPARE(opt.options.firstPieces, 1);
        BatchJoinerSettings bj;
        bj.Load();
        QCOMPARE(Num(bj.joinType), 0);
    }

    void unknownUnitAndTargetRuleAreKeptForThePage() {
        Store("Options/Cutter/CutFileUnit", 999);
        Store("Options/Cutter/TargetExistsOpt", 44);
        CutterPageSettings cut;
        cut.Load();
        QCOMPARE(Num(cut.cutFileUnit), 999);
        CutterOptionSettings opt;
        opt.Load();
        QCOMPARE(Num(opt.options.placement.ifExists), 44);
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
        QCOMPARE(opt.options.encoding.bitrate, 128);
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

    // Saving what the file holds already does not rewrite it (a rewrite puts a new file in
    // its place); one changed value does. A number stored as text counts as that number.
    void savingUnchangedValuesLeavesTheFileAlone() {
        CutterPageSettings cut;
        cut.Save(kCutGroup);
        WindowSettings window;
        window.rect = WindowRect{1, 2, 300, 400};
        window.Save();
        Store("Options/Cutter/CutTimeMin", QStringLiteral("1"));
        const QByteArray path = QFile::encodeName(OpenSettings()->fileName());
        struct stat before {};
        QCOMPARE(::stat(path.constData(), &before), 0);
        cut.Save(kCutGroup);
        window.Save();
        struct stat after {};
        QCOMPARE(::stat(path.constData(), &after), 0);
        QCOMPARE(after.st_ino, before.st_ino);
        QCOMPARE(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
        cut.cutTimeSec = 7;
        window.rect.right = 301;
        cut.Save(kCutGroup);
        window.Save();
        QCOMPARE(Stored("Options/Cutter/CutTimeSec").toInt(), 7);
        WindowSettings back;
        back.Load();
        QCOMPARE(back.rect.right, 301);
    }

    void groupSetsWriteOnlyTheirValues() {
        JoinerPageSettings join;
        join.folder = "/music/";
        join.Save(kFolderGroup);
        QCOMPARE(StoredKeys(), QStringList{"Options/Joiner/Folder"});
        BatchJoinerSettings bj;
        bj.joinType = JoinType::AppendToEnd;
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
        opt.options.encoding.bitrate = 320;
        opt.Save();
        CutterPageSettings cut;
        cut.cutType = 2;
        cut.Save(kCutGroup);
        CutterOptionSettings back;
        back.Load();
        QCOMPARE(back.options.encoding.bitrate, 320);
        QVERIFY(!StoredKeys().contains("Options/Cutter/Folder"));
        QCOMPARE(Stored("Options/Cutter/CutType").toInt(), 2);
    }

    void optionPagesSaveEveryValueUnderItsName() {
        CutterOptionSettings cut;
        cut.Save();
        JoinerOptionSettings join;
        join.Save();
        QStringList expected = {
            "Options/Cutter/BackwardOverlap", "Options/Cutter/BrowseFolder",
            "Options/Cutter/CreateFolderForEachMP3", "Options/Cutter/CreateTreeDirs",
            "Options/Cutter/FadeInLen", "Options/Cutter/FadeOutLen",
            "Options/Cutter/FilenameDigitNumber", "Options/Cutter/FirstPiecesNumber",
            "Options/Cutter/ForwardOverlap", "Options/Cutter/ID3TitleFormat",
            "Options/Cutter/ID3TrackNumType", "Options/Cutter/KeepID3tag",
            "Options/Cutter/MP3BitRate", "Options/Cutter/MP3ChannelMode",
            "Options/Cutter/MP3SampleRate", "Options/Cutter/OutputFileName",
            "Options/Cutter/OutputFolderOpt", "Options/Cutter/ReencodePieces",
            "Options/Cutter/SpecifiedOutputFolder", "Options/Cutter/SplitFirstNPieces",
            "Options/Cutter/TargetExistsOpt", "Options/Cutter/TitleDigitNumber",
            "Options/Cutter/UseSameParams",
            "Options/Joiner/AddPostfixAtEndOfFile", "Options/Joiner/AutoMP3EncodingParam",
            "Options/Joiner/BrowseFolder", "Options/Joiner/CreateTreeDirs",
            "Options/Joiner/MP3BitRate", "Options/Joiner/MP3ChannelMode",
            "Options/Joiner/MP3SampleRate", "Options/Joiner/OutputFolderOpt",
            "Options/Joiner/SpecifiedOutputFolder", "Options/Joiner/TargetExistsOpt",
            "Options/Joiner/WriteChapters"};
        QStringList stored = StoredKeys();
        stored.sort();
        expected.sort();
        QCOMPARE(stored, expected);
        // Fresh defaults as numbers: yes is 1, joint stereo 1, rename 11, the documents folder 299.
        QCOMPARE(Stored("Options/Cutter/UseSameParams").toInt(), 1);
        QCOMPARE(Stored("Options/Cutter/ReencodePieces").toInt(), 0);
        QCOMPARE(Stored("Options/Cutter/MP3ChannelMode").toInt(), 1);
        QCOMPARE(Stored("Options/Cutter/ID3TrackNumType").toInt(), 1);
        QCOMPARE(Stored("Options/Cutter/TargetExistsOpt").toInt(), 11);
        QCOMPARE(Stored("Options/Joiner/OutputFolderOpt").toInt(), 299);
        QCOMPARE(Stored("Options/Joiner/AddPostfixAtEndOfFile").toInt(), 1);
    }

    void everyValueRoundTrips() {
        CutterPageSettings cut;
        cut.cutType = 1;
        cut.cutFileAmount = 7;
        cut.cutFileSizeEx = "2.5";
        cut.cutFileUnit = SizeUnit::KB;
        cut.cutTimeMin = 12;
        cut.cutTimeSec = 34;
        cut.Save(kCutGroup);
        CutterPageSettings cut2;
        cut2.Load();
        QCOMPARE(cut2.cutType, 1);
        QCOMPARE(cut2.cutFileAmount, 7);
        QCOMPARE(cut2.cutFileSizeEx, std::string("2.5"));
        QCOMPARE(Num(cut2.cutFileUnit), 201);
        QCOMPARE(cut2.cutTimeMin, 12);
        QCOMPARE(cut2.cutTimeSec, 34);

        CutterOptionSettings o;
        o.options.reencode = true; o.options.sameParams = false; o.options.encoding.bitrate = 192; o.options.encoding.sampleRate = 22050;
        o.options.encoding.channelMode = 3; o.options.browseFolder = false; o.options.fadeInTenths = 15; o.options.fadeOutTenths = 25;
        o.options.forwardOverlapTenths = 3; o.options.backwardOverlapTenths = 4; o.options.trackNumbers = TrackNumber::Sequence;
        o.options.placement.folder = OutputFolder::SameAsSource; o.options.placement.specificFolder = "/tmp/out dir/";
        o.options.folderPerSource = true; o.options.placement.treeFolders = true; o.options.firstPiecesOnly = true;
        o.options.firstPieces = 9; o.options.keepTag = false; o.options.nameTemplate = "%F%[%P% of %T%].mp3";
        o.options.nameDigits = 3; o.options.titleDigits = 4; o.options.titleTemplate = "%I% part %P%";
        o.options.placement.ifExists = TargetExists::Skip;
        o.Save();
        QCOMPARE(Stored("Options/Cutter/ReencodePieces").toInt(), 1);
        QCOMPARE(Stored("Options/Cutter/KeepID3tag").toInt(), 0);
        QCOMPARE(Stored("Options/Cutter/ID3TrackNumType").toInt(), 2);
        QCOMPARE(Stored("Options/Cutter/OutputFolderOpt").toInt(), 199);
        QCOMPARE(Stored("Options/Cutter/TargetExistsOpt").toInt(), 33);
        CutterOptionSettings b;
        b.Load();
        QCOMPARE(b.options.reencode, true); QCOMPARE(b.options.sameParams, false); QCOMPARE(b.options.encoding.bitrate, 192);
        QCOMPARE(b.options.encoding.sampleRate, 22050); QCOMPARE(b.options.encoding.channelMode, 3); QCOMPARE(b.options.browseFolder, false);
        QCOMPARE(b.options.fadeInTenths, 15); QCOMPARE(b.options.fadeOutTenths, 25); QCOMPARE(b.options.forwardOverlapTenths, 3);
        QCOMPARE(b.options.backwardOverlapTenths, 4); QCOMPARE(Num(b.options.trackNumbers), 2); QCOMPARE(Num(b.options.placement.folder), 199);
        QCOMPARE(b.options.placement.specificFolder, std::string("/tmp/out dir/"));
        QCOMPARE(b.options.folderPerSource, true); QCOMPARE(b.options.placement.treeFolders, true);
        QCOMPARE(b.options.firstPiecesOnly, true); QCOMPARE(b.options.firstPieces, 9); QCOMPARE(b.options.keepTag, false);
        QCOMPARE(b.options.nameTemplate, std::string("%F%[%P% of %T%].mp3"));
        QCOMPARE(b.options.nameDigits, 3); QCOMPARE(b.options.titleDigits, 4);
        QCOMPARE(b.options.titleTemplate, std::string("%I% part %P%")); QCOMPARE(Num(b.options.placement.ifExists), 33);
        const CutterOptions& plan = b.options;
        QVERIFY(plan.reencode); QVERIFY(!plan.sameParams); QVERIFY(!plan.keepTag);
        QCOMPARE(plan.encoding.channelMode, 3); QCOMPARE(plan.forwardOverlapTenths, 3); QCOMPARE(plan.firstPieces, 9);
        QCOMPARE(plan.nameTemplate, b.options.nameTemplate); QCOMPARE(plan.placement.specificFolder, b.options.placement.specificFolder);
        QCOMPARE(plan.placement.ifExists, TargetExists::Skip); QCOMPARE(plan.titleDigits, 4);

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
        jo.options.browseFolder = false; jo.options.autoParams = false; jo.options.encoding.bitrate = 64; jo.options.encoding.sampleRate = 32000;
        jo.options.encoding.channelMode = 0; jo.options.placement.folder = OutputFolder::Specific; jo.options.placement.specificFolder = "/x/";
        jo.options.placement.treeFolders = true; jo.options.joinedPostfix = false; jo.options.placement.ifExists = TargetExists::Overwrite;
        jo.Save();
        JoinerOptionSettings jb;
        jb.Load();
        QCOMPARE(jb.options.browseFolder, false); QCOMPARE(jb.options.autoParams, false); QCOMPARE(jb.options.encoding.bitrate, 64);
        QCOMPARE(jb.options.encoding.sampleRate, 32000); QCOMPARE(jb.options.encoding.channelMode, 0); QCOMPARE(Num(jb.options.placement.folder), 299);
        QCOMPARE(jb.options.placement.specificFolder, std::string("/x/")); QCOMPARE(jb.options.placement.treeFolders, true);
        QCOMPARE(jb.options.joinedPostfix, false); QCOMPARE(Num(jb.options.placement.ifExists), 22);

        BatchCutterSettings bc;
        bc.folder = "/b/"; bc.cutType = 2; bc.cutFileAmount = 4; bc.cutFileSizeEx = "700";
        bc.cutFileUnit = SizeUnit::GB; bc.cutTimeMin = 3; bc.cutTimeSec = 5; bc.cutCustomFromSec = "30.5";
        bc.cutCustomDuration = "0";
        bc.Save(kFolderGroup | kCutGroup);
        BatchCutterSettings bc2;
        bc2.Load();
        QCOMPARE(bc2.folder, bc.folder); QCOMPARE(bc2.cutType, 2); QCOMPARE(bc2.cutFileAmount, 4);
        QCOMPARE(bc2.cutFileSizeEx, bc.cutFileSizeEx); QCOMPARE(Num(bc2.cutFileUnit), 401);
        QCOMPARE(bc2.cutTimeMin, 3); QCOMPARE(bc2.cutTimeSec, 5);
        QCOMPARE(bc2.cutCustomFromSec, bc.cutCustomFromSec); QCOMPARE(bc2.cutCustomDuration, bc.cutCustomDuration);

        BatchJoinerSettings bj;
        bj.folder = "/bj/"; bj.joinType = JoinType::AppendToEnd;
        bj.Save(kFolderGroup | kJoinTypeGroup);
        BatchJoinerSettings bj2;
        bj2.Load();
        QCOMPARE(bj2.folder, bj.folder); QCOMPARE(Num(bj2.joinType), 1);
    }
};

CORVANE_TEST_MAIN(SettingsStoreTest)
#include "SettingsStoreTest.moc"
