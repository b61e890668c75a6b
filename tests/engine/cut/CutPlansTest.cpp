// Tests of the cut plans: validation messages, piece counts and names, custom and batch
// plans, sequence numbers and the clean-up after a cancel.
#include "support/CutDrivers.h"
#include "engine/cut/CutPlans.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "engine/mp3/OutputFile.h"
#include "engine/Facts.h"
#include "support/FakeProgress.h"
#include "support/Mp3Factory.h"

namespace corvane {
namespace {

// A unit number the size list does not know counts bytes.
constexpr SizeUnit kBytes = static_cast<SizeUnit>(1);


namespace fs = std::filesystem;
using test::Bytes;

std::vector<std::string> FilesIn(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Expects path to play, as a gapless decoder plays it, as samples [from, to) of source's decode
// (to -1: to its end).
void ExpectPlays(const std::string& path, const test::DecodeResult& source, int64_t from, int64_t to = -1) {
    const test::DecodeResult d = test::DecodeGapless(path);
    ASSERT_TRUE(d.ok) << path << ": " << d.messages;
    if (to < 0) to = source.samples;
    ASSERT_EQ(d.samples, to - from) << path;
    const auto at = [&](int64_t sample) { return source.pcm.begin() + sample * source.channels; };
    EXPECT_TRUE(d.pcm == std::vector<int16_t>(at(from), at(to))) << path;
}

class CutPlansTest : public ::testing::Test {
protected:
    // A 44100 Hz CBR source of the given seconds in "in/", pieces go to "out/".
    std::string MakeSource(double seconds, const std::string& name = "song.mp3", bool tag = false) {
        test::EncodeOptions o;
        o.seconds = seconds;
        Bytes data = test::EncodeMp3(o);
        if (tag) data = test::Concat({test::MakeId3v2Tag(3, {{"TIT2", "Title"}, {"TRCK", "4"}}), data});
        fs::create_directories(dir.path() / "in");
        const std::string path = (dir.path() / "in" / name).string();
        test::WriteFile(path, data);
        return path;
    }
    CutContext Context() {
        CutContext ctx;
        ctx.options.placement.folder = OutputFolder::Specific;
        ctx.options.placement.specificFolder = out();
        ctx.dialog = &progress;
        return ctx;
    }
    std::string out() const { return (dir.path() / "out").string(); }
    test::TempDir dir;
    test::FakeProgress progress;
};

TEST_F(CutPlansTest, SizesReadAsDecimalsTimesTheUnit) {
    EXPECT_EQ(ParsePieceSize("1", SizeUnit::MB), 1048576u);
    EXPECT_EQ(ParsePieceSize("1.5MB", SizeUnit::MB), 1572864u);
    EXPECT_EQ(ParsePieceSize("700", SizeUnit::KB), 716800u);
    EXPECT_EQ(ParsePieceSize("0.0001", SizeUnit::KB), 0u);
    EXPECT_EQ(ParsePieceSize("abc", SizeUnit::KB), 0u);
    EXPECT_EQ(ParsePieceSize("2", SizeUnit::TB), 2199023255552u);
    EXPECT_EQ(ParsePieceSize("10", static_cast<SizeUnit>(7)), 10u);
}

TEST_F(CutPlansTest, RefusalsHaveTheirMessagesAndWriteNothing) {
    const std::string src = MakeSource(3);
    const int length = SourceLengthTenths(src);
    ASSERT_EQ(length, 30);
    uint64_t size = 0;
    ASSERT_TRUE(GetFileSize64(src, size));
    struct Case {
        std::function<Outcome(CutContext&)> run;
        std::string message;
    };
    const std::vector<Case> cases = {
        {[&](CutContext& c) { return test::CutFileBySize(c, src, length, size, std::to_string(size), kBytes); },
         "The size of piece is greater than original file. It's not necessary to cut."},
        {[&](CutContext& c) { return test::CutFileBySize(c, src, length, size, "0.0001", SizeUnit::KB); },
         "The size of piece is too small."},
        {[&](CutContext& c) { return test::CutFileByCount(c, src, length, 1); },
         "The file count should be greater than or equal to 2."},
        {[&](CutContext& c) { return test::CutFileByCount(c, src, length, 31); }, "The file count is too big."},
        {[&](CutContext& c) { return test::CutFileByTime(c, src, length, 0, 3); },
         "The duration of piece is greater than original file. It's not necessary to cut."},
        {[&](CutContext& c) { return test::CutFileByTime(c, src, length, 0, 0); }, "The duration of piece is too small."},
        {[&](CutContext& c) {
             std::vector<PieceEntry> rows = {{0, 30, true, {}, {}, -1, {}}};
             return test::CutFileByPieces(c, src, rows);
         },
         "At least two pieces required. And, at least one piece checked for cutting."},
        {[&](CutContext& c) {
             std::vector<PieceEntry> rows = {{0, 10, false, {}, {}, -1, {}}, {10, 30, false, {}, {}, -1, {}}};
             return test::CutFileByPieces(c, src, rows);
         },
         "At least two pieces required. And, at least one piece checked for cutting."},
        {[&](CutContext& c) {
             int seq = 1;
             return test::BatchCutBySize(c, src, 3, size, "0", SizeUnit::MB, seq);
         },
         "The size of piece is too small."},
        {[&](CutContext& c) {
             int seq = 1;
             return test::BatchCutByTime(c, src, 3, 0, 0, seq);
         },
         "The duration of piece is too small."},
        {[&](CutContext& c) {
             int seq = 1;
             return test::BatchCutRange(c, src, 3, "3.1", "0", seq);
         },
         "The beginning point exceeds length of the MP3."},
        {[&](CutContext& c) { return test::CutFileByCount(c, (dir / "none.mp3"), 30, 2); },
         "Failed to load file \"" + (dir / "none.mp3") + "\"."},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        CutContext ctx = Context();
        const Outcome outcome = cases[i].run(ctx);
        EXPECT_TRUE(outcome.failed()) << i;
        EXPECT_EQ(outcome.message, cases[i].message) << i;
        EXPECT_FALSE(fs::exists(out()) && !fs::is_empty(out())) << i;
    }
}

TEST_F(CutPlansTest, BySizeCountsPiecesFromTheFileSize) {
    const std::string src = MakeSource(10);  // about 160 KB
    uint64_t size = 0;
    ASSERT_TRUE(GetFileSize64(src, size));
    CutContext ctx = Context();
    const uint64_t piece = size / 3 - 1000;  // three whole pieces and a remainder: 4 pieces
    ASSERT_TRUE(test::CutFileBySize(ctx, src, SourceLengthTenths(src), size, std::to_string(piece), kBytes).done());
    EXPECT_EQ(FilesIn(out()), (std::vector<std::string>{"song-1.mp3", "song-2.mp3", "song-3.mp3", "song-4.mp3"}));
    EXPECT_EQ(ctx.createdPieces.size(), 4u);
}

TEST_F(CutPlansTest, ByCountGivesEqualPiecesAndTheLastTakesTheRest) {
    const std::string src = MakeSource(10, "song.mp3", true);
    CutContext ctx = Context();
    ctx.options.trackNumbers = TrackNumber::Sequence;
    ASSERT_TRUE(test::CutFileByCount(ctx, src, SourceLengthTenths(src), 3).done());
    ASSERT_EQ(ctx.createdPieces.size(), 3u);
    const test::DecodeResult whole = test::DecodeGapless(src);
    for (int i = 0; i < 3; ++i) {
        TagFields t;
        ASSERT_TRUE(ReadTags(ctx.createdPieces[static_cast<size_t>(i)], t));
        EXPECT_EQ(t.title, "Title - " + std::to_string(i + 1) + "/3");
        EXPECT_EQ(t.track, i + 1);
        // 3.3 s (145530 samples) each, the last the rest.
        ExpectPlays(ctx.createdPieces[static_cast<size_t>(i)], whole, i * 145530, i < 2 ? (i + 1) * 145530 : -1);
    }
}

TEST_F(CutPlansTest, ByTimeCountsWithARemainder) {
    const std::string src = MakeSource(4.5);
    CutContext ctx = Context();
    ASSERT_TRUE(test::CutFileByTime(ctx, src, SourceLengthTenths(src), 0, 2).done());
    EXPECT_EQ(FilesIn(out()), (std::vector<std::string>{"song-1.mp3", "song-2.mp3", "song-3.mp3"}));
}

TEST_F(CutPlansTest, CustomPiecesSkipUncheckedRowsAndStopAfterTheLastChecked) {
    const std::string src = MakeSource(6);
    CutContext ctx = Context();
    std::vector<PieceEntry> rows = {{0, 20, true, {}, {}, -1, {}}, {20, 40, false, {}, {}, -1, {}}, {40, 60, true, {}, {}, -1, {}}};
    ASSERT_TRUE(test::CutFileByPieces(ctx, src, rows).done());
    EXPECT_EQ(FilesIn(out()), (std::vector<std::string>{"song-1.mp3", "song-3.mp3"}));
    EXPECT_EQ(rows[0].output, "song-1.mp3");
    EXPECT_EQ(rows[1].output, "");
    EXPECT_EQ(rows[2].output, "song-3.mp3");

    fs::remove_all(out());
    CutContext ctx2 = Context();
    rows = {{0, 20, false, {}, {}, -1, {}}, {20, 40, true, {}, {}, -1, {}}, {40, 60, false, {}, {}, -1, {}}};
    ASSERT_TRUE(test::CutFileByPieces(ctx2, src, rows).done());
    EXPECT_EQ(FilesIn(out()), (std::vector<std::string>{"song-2.mp3"}));
    ExpectPlays(ctx2.createdPieces[0], test::DecodeGapless(src), 2 * 44100, 4 * 44100);
}

// A row with its end in samples: pieces and skips end there, on the timeline a gapless decoder
// plays, whatever its tenths say.
TEST_F(CutPlansTest, RowsWithExactEndsEndAtThoseSamples) {
    const std::string src = MakeSource(6);
    CutContext ctx = Context();
    ctx.options.keepTag = false;
    std::vector<PieceEntry> rows(4);
    rows[0].endSample = 50000;
    rows[1].endSample = 120000;  // skipped
    rows[1].checked = false;
    rows[2].endSample = 200000;
    ASSERT_TRUE(test::CutFileByPieces(ctx, src, rows).done());
    ASSERT_EQ(ctx.createdPieces.size(), 3u);
    const test::DecodeResult whole = test::DecodeGapless(src);
    ExpectPlays(ctx.createdPieces[0], whole, 0, 50000);
    ExpectPlays(ctx.createdPieces[1], whole, 120000, 200000);
    ExpectPlays(ctx.createdPieces[2], whole, 200000);
}

// A row with its own tag record: the piece's tag and the name's tag placeholders are the
// row's, with its title as it is; other rows keep the source's; no tag at all without keepTag.
TEST_F(CutPlansTest, RowsWithTheirOwnTagsTagAndNameTheirPieces) {
    const std::string src = MakeSource(6, "song.mp3", true);
    CutContext ctx = Context();
    ctx.options.nameTemplate = "%N%-%I%.mp3";
    std::vector<PieceEntry> rows = {{0, 30, true, {}, {}, -1, {}}, {30, 60, true, {}, {}, -1, {}}};
    rows[0].tags = TagFields{7, "Intro", "Band", "Album", "Rock", "1999", ""};
    ASSERT_TRUE(test::CutFileByPieces(ctx, src, rows).done());
    EXPECT_EQ(rows[0].output, "7-Intro.mp3");
    EXPECT_EQ(rows[1].output, "4-Title.mp3");
    TagFields read;
    ASSERT_TRUE(ReadTags(rows[0].path, read));
    EXPECT_EQ(read.title, "Intro");
    EXPECT_EQ(read.track, 7);
    EXPECT_EQ(read.artist, "Band");
    EXPECT_EQ(read.album, "Album");
    EXPECT_EQ(read.year, "1999");
    ASSERT_TRUE(ReadTags(rows[1].path, read));
    EXPECT_EQ(read.title, "Title - 2/2");

    fs::remove_all(out());
    CutContext bare = Context();
    bare.options.keepTag = false;
    ASSERT_TRUE(test::CutFileByPieces(bare, src, rows).done());
    EXPECT_FALSE(ReadTags(rows[0].path, read));
}

TEST_F(CutPlansTest, BatchKeepsTheSequenceAcrossFilesAndHonoursTheFirstN) {
    const std::string a = MakeSource(6, "a.mp3");
    const std::string b = MakeSource(4, "b.mp3");
    int sequence = 1;
    CutContext ctx = Context();
    ctx.options.nameTemplate = "%F%-%S%.mp3";
    ASSERT_TRUE(test::BatchCutByTime(ctx, a, 6, 0, 2, sequence).done());
    EXPECT_EQ(ctx.createdPieces.size(), 3u);
    ASSERT_TRUE(test::BatchCutByTime(ctx, b, 4, 0, 2, sequence).done());
    EXPECT_EQ(sequence, 6);
    EXPECT_EQ(FilesIn(out()), (std::vector<std::string>{"a-1.mp3", "a-2.mp3", "a-3.mp3", "b-4.mp3", "b-5.mp3"}));

    fs::remove_all(out());
    CutContext first = Context();
    first.options.firstPiecesOnly = true;
    first.options.firstPieces = 2;
    sequence = 1;
    ASSERT_TRUE(test::BatchCutByCount(first, a, 6, 5, sequence).done());
    EXPECT_EQ(FilesIn(out()), (std::vector<std::string>{"a-1.mp3", "a-2.mp3"}));
}

TEST_F(CutPlansTest, BatchRangeWritesOnePieceFromTheBeginning) {
    const std::string src = MakeSource(6);
    int sequence = 7;
    CutContext ctx = Context();
    ASSERT_TRUE(test::BatchCutRange(ctx, src, 6, "2.5", "0", sequence).done());
    ASSERT_EQ(ctx.createdPieces.size(), 1u);
    EXPECT_EQ(sequence, 8);
    ExpectPlays(ctx.createdPieces[0], test::DecodeGapless(src), 110250);  // from 2.5 s on
}

// A length read from a header counting 0xFFFFFFFF frames (112197 thousand seconds): twice
// it in tenths is past an int, and the range to the end is still the rest of the source.
TEST_F(CutPlansTest, BatchRangeToTheEndOfAVeryLongSourceTakesTheRest) {
    const std::string src = MakeSource(6);
    int sequence = 1;
    CutContext ctx = Context();
    ASSERT_TRUE(test::BatchCutRange(ctx, src, 112197004, "2.5", "0", sequence).done());
    ASSERT_EQ(ctx.createdPieces.size(), 1u);
    ExpectPlays(ctx.createdPieces[0], test::DecodeGapless(src), 110250);
}

TEST_F(CutPlansTest, ANameThatExistsWithSkipStopsTheCutAndKeepsEarlierPieces) {
    const std::string src = MakeSource(6);
    fs::create_directories(out());
    test::WriteFile(out() + "/song-2.mp3", Bytes{1, 2, 3});
    CutContext ctx = Context();
    ctx.options.placement.ifExists = TargetExists::Skip;
    const Outcome outcome = test::CutFileByTime(ctx, src, SourceLengthTenths(src), 0, 2);
    EXPECT_TRUE(outcome.failed());
    EXPECT_EQ(outcome.message, "Target exists and skipped");
    EXPECT_EQ(FilesIn(out()), (std::vector<std::string>{"song-1.mp3", "song-2.mp3"}));
    EXPECT_EQ(test::ReadFile(out() + "/song-2.mp3"), (Bytes{1, 2, 3}));
}

TEST_F(CutPlansTest, CancelDuringAPieceRemovesEveryPieceOfTheSource) {
    const std::string src = MakeSource(10);
    CutContext ctx = Context();
    progress.cancelAfterUpdates = 120;  // well into piece 3 of 5
    EXPECT_TRUE(test::CutFileByCount(ctx, src, SourceLengthTenths(src), 5).cancelled());
    EXPECT_EQ(progress.cancelled.load(), 1);
    EXPECT_TRUE(ctx.createdPieces.empty());
    EXPECT_TRUE(FilesIn(out()).empty());

    int sequence = 1;
    progress.positions.clear();
    progress.cancelled = 0;
    CutContext batch = Context();
    EXPECT_TRUE(test::BatchCutByCount(batch, src, 10, 5, sequence).cancelled());
    EXPECT_TRUE(FilesIn(out()).empty());
}

// ---- Files that were there before ----

// Every file under folder with its bytes.
std::map<std::string, Bytes> Snapshot(const fs::path& folder) {
    std::map<std::string, Bytes> files;
    for (const auto& e : fs::recursive_directory_iterator(folder)) {
        if (e.is_regular_file()) files[fs::relative(e.path(), folder).string()] = test::ReadFile(e.path());
    }
    return files;
}

TEST_F(CutPlansTest, OverwriteLeavesTheOldFilesUntilTheSourceIsDone) {
    const std::string src = MakeSource(10);
    fs::create_directories(out());
    test::WriteFile(out() + "/song-1.mp3", Bytes{1});
    test::WriteFile(out() + "/song-2.mp3", Bytes{2});
    const auto before = Snapshot(dir.path());
    CutContext ctx = Context();
    ctx.options.placement.ifExists = TargetExists::Overwrite;
    progress.cancelAfterUpdates = 120;  // well into piece 3 of 5
    EXPECT_TRUE(test::CutFileByCount(ctx, src, SourceLengthTenths(src), 5).cancelled());
    EXPECT_EQ(Snapshot(dir.path()), before);
    EXPECT_EQ(FilesIn(out()), (std::vector<std::string>{"song-1.mp3", "song-2.mp3"}));  // no temporary file
}

// Every write, close and rename of a cut made to fail in turn: the folder holds what it held
// before plus only the pieces published before a failed rename, each complete.
TEST_F(CutPlansTest, EveryFailingCallLeavesTheFolderAsItWas) {
    for (const bool reencode : {false, true}) {
        const std::string src = MakeSource(reencode ? 3 : 6);
        auto cut = [&](CutContext& ctx) {
            ctx.options.reencode = reencode;
            ctx.options.placement.ifExists = TargetExists::Overwrite;
            ctx.options.forwardOverlapTenths = 5;
            return test::CutFileByCount(ctx, src, SourceLengthTenths(src), 3);
        };
        fs::create_directories(out());
        test::WriteFile(out() + "/song-2.mp3", Bytes{2});
        CutContext clean = Context();
        ASSERT_TRUE(cut(clean).done());
        const auto complete = Snapshot(dir.path());
        for (const OutputCall call : {OutputCall::Write, OutputCall::Close, OutputCall::Rename}) {
            InjectOutputFault(call, 0);
            fs::remove_all(out());
            fs::create_directories(out());
            test::WriteFile(out() + "/song-2.mp3", Bytes{2});
            const auto before = Snapshot(dir.path());
            CutContext counting = Context();
            ASSERT_TRUE(cut(counting).done());
            const int calls = OutputCallCount(call);
            ASSERT_GT(calls, 0);
            for (int n = 1; n <= calls; ++n) {
                fs::remove_all(out());
                fs::create_directories(out());
                test::WriteFile(out() + "/song-2.mp3", Bytes{2});
                InjectOutputFault(call, n);
                CutContext ctx = Context();
                const Outcome outcome = cut(ctx);
                InjectOutputFault(call, 0);
                const std::string where = std::to_string(static_cast<int>(call)) + " #" + std::to_string(n);
                ASSERT_TRUE(outcome.failed()) << where;
                EXPECT_EQ(outcome.message.rfind("Failed to write file \"" + out() + "/song-", 0), 0u) << where;
                auto expected = before;
                for (const std::string& piece : ctx.createdPieces) {
                    const std::string key = fs::relative(piece, dir.path()).string();
                    expected[key] = complete.at(key);
                }
                EXPECT_EQ(ctx.createdPieces.size(), call == OutputCall::Rename ? static_cast<size_t>(n - 1) : 0u);
                EXPECT_EQ(Snapshot(dir.path()), expected) << where;
                EXPECT_EQ(FilesIn(out()).size(), expected.size() - 1) << where;  // nothing temporary
            }
        }
        fs::remove_all(dir.path() / "in");
        fs::remove_all(out());
    }
}

TEST_F(CutPlansTest, PiecesOfOneRunNeverShareAName) {
    const std::string src = MakeSource(6);
    fs::create_directories(out());
    test::WriteFile(out() + "/x.mp3", Bytes{9});
    CutContext ctx = Context();
    ctx.options.nameTemplate = "x.mp3";
    ctx.options.placement.ifExists = TargetExists::Overwrite;
    ASSERT_TRUE(test::CutFileByCount(ctx, src, SourceLengthTenths(src), 3).done());
    EXPECT_EQ(ctx.createdPieces,
              (std::vector<std::string>{out() + "/x.mp3", out() + "/x_1.mp3", out() + "/x_2.mp3"}));
    EXPECT_NE(test::ReadFile(out() + "/x.mp3"), Bytes{9});
}

TEST_F(CutPlansTest, ALinkAtAPieceNameIsReplacedNeverFollowed) {
    const std::string src = MakeSource(4);
    const std::string victim = (dir.path() / "victim.txt").string();
    test::WriteFile(victim, Bytes{7, 7});
    fs::create_directories(out());
    fs::create_symlink(victim, out() + "/song-1.mp3");
    CutContext ctx = Context();
    ctx.options.placement.ifExists = TargetExists::Overwrite;
    ASSERT_TRUE(test::CutFileByCount(ctx, src, SourceLengthTenths(src), 2).done());
    EXPECT_EQ(test::ReadFile(victim), (Bytes{7, 7}));
    EXPECT_FALSE(fs::is_symlink(out() + "/song-1.mp3"));
}

TEST_F(CutPlansTest, ABatchNeverReplacesOneOfItsSources) {
    const std::string first = MakeSource(4, "a.mp3");
    const std::string second = MakeSource(4, "a-1.mp3");
    const Bytes secondBytes = test::ReadFile(second);
    auto run = std::make_shared<COutputRun>();
    run->AddSources({first, second});
    CutContext ctx = Context();
    ctx.options.placement.folder = OutputFolder::SameAsSource;
    ctx.options.placement.ifExists = TargetExists::Overwrite;
    ctx.run = run;
    int sequence = 1;
    const Outcome outcome = test::BatchCutByCount(ctx, first, 4, 2, sequence);
    ASSERT_TRUE(outcome.failed());
    EXPECT_EQ(outcome.message, "Target file name is same as original file");
    EXPECT_EQ(test::ReadFile(second), secondBytes);
}

TEST_F(CutPlansTest, ASourceNamedWithDotsStaysInsideTheOutputFolder) {
    const std::string src = MakeSource(4, "...mp3");
    CutContext ctx = Context();
    ctx.options.folderPerSource = true;
    ASSERT_TRUE(test::CutFileByCount(ctx, src, SourceLengthTenths(src), 2).done());
    EXPECT_EQ(ctx.createdPieces, (std::vector<std::string>{out() + "/__/..-1.mp3", out() + "/__/..-2.mp3"}));
}

}  // namespace
}  // namespace corvane
