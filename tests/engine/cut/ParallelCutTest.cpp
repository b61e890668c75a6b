// Tests of re-encoding cuts on several workers: the pieces, names, tags and sequence numbers
// of a cut run one piece after another, forecasts, cancel and failed writes.
#include "support/CutDrivers.h"
#include "engine/cut/ParallelCut.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <mutex>
#include <thread>

#include "engine/mp3/OutputFile.h"
#include "support/FakeProgress.h"
#include "support/Mp3Factory.h"
#include "support/Recording.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;
using test::Bytes;

// What a folder holds: every file (hidden ones too) by name, with its bytes.
std::map<std::string, Bytes> Contents(const fs::path& dir) {
    std::map<std::string, Bytes> files;
    if (!fs::exists(dir)) return files;
    for (const auto& e : fs::directory_iterator(dir)) files[e.path().filename().string()] = test::ReadFile(e.path());
    return files;
}

std::vector<std::string> NamesIn(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& [name, bytes] : Contents(dir)) names.push_back(name);
    return names;
}

// Records what a batch reports, in the order reported.
class CRecordingObserver : public ICutObserver {
public:
    void OnSourceStarted(size_t index) override {
        events.push_back("start " + std::to_string(index));
        if (onStarted) onStarted(index);
    }
    void OnSourceDone(size_t index, const Outcome& outcome, const std::vector<std::string>& pieces) override {
        std::string event = "done " + std::to_string(index) + " " + outcome.message;
        for (const std::string& piece : pieces) event += " " + fs::path(piece).filename().string();
        events.push_back(event + (outcome.cancelled() ? " cancelled" : ""));
    }
    std::vector<std::string> events;
    std::function<void(size_t)> onStarted;
};

// A dialog that cancels at its nth bar update and notes the moment.
class CCancellingProgress : public test::FakeProgress {
public:
    void SetPosition(int position) override {
        test::FakeProgress::SetPosition(position);
        if (cancelled.load() != 0 && cancelledAt == std::chrono::steady_clock::time_point{}) {
            cancelledAt = std::chrono::steady_clock::now();
        }
    }
    std::chrono::steady_clock::time_point cancelledAt{};
};

class ParallelCutTest : public ::testing::Test {
protected:
    std::string Source(const std::string& name, const test::EncodeOptions& o) {
        const std::string path = dir / name;
        const Bytes tag = test::MakeId3v2Tag(3, {{"TIT2", "Song"}, {"TRCK", "7"}});
        test::WriteFile(path, test::Concat({tag, test::EncodeMp3(o)}));
        return path;
    }
    std::string Cbr(const std::string& name = "cbr.mp3", double seconds = 12) {
        test::EncodeOptions o;
        o.seconds = seconds;
        return Source(name, o);
    }
    // A re-encoding context writing into the folder out under dir.
    CutContext Context(const std::string& out, int jobs) {
        CutContext ctx;
        ctx.options.reencode = true;
        ctx.options.placement.folder = OutputFolder::Specific;
        ctx.options.placement.specificFolder = dir / out;
        ctx.options.trackNumbers = TrackNumber::Sequence;
        ctx.dialog = &progress;
        ctx.jobs = jobs;
        return ctx;
    }
    void WithFadesAndOverlaps(CutContext& ctx) {
        ctx.options.fadeInTenths = 5;
        ctx.options.fadeOutTenths = 7;
        ctx.options.forwardOverlapTenths = 10;
        ctx.options.backwardOverlapTenths = 5;
    }

    test::TempDir dir;
    test::FakeProgress progress;
};

TEST_F(ParallelCutTest, EveryRuleGivesThePiecesOfACutOnePieceAfterAnother) {
    test::EncodeOptions vbr;
    vbr.seconds = 12;
    vbr.vbr = true;
    vbr.infoFrame = true;
    test::EncodeOptions mono;
    mono.seconds = 12;
    mono.sampleRate = 22050;
    mono.channels = 1;
    mono.mode = test::Mode::Mono;
    mono.kbps = 64;
    test::EncodeOptions mpeg25 = mono;
    mpeg25.sampleRate = 11025;
    mpeg25.kbps = 32;
    const std::vector<std::string> sources = {Cbr(), Source("vbr.mp3", vbr), Source("mono.mp3", mono),
                                              Source("mpeg25.mp3", mpeg25)};
    // Rows of custom pieces: 0-2.5 s, 2.5-5 s left out, 5-8.5 s, the rest.
    auto rows = [] {
        std::vector<PieceEntry> r = {{0, 25, true, {}, {}, -1, {}}, {25, 50, false, {}, {}, -1, {}}, {50, 85, true, {}, {}, -1, {}},
                                     {85, 120, true, {}, {}, -1, {}}};
        return r;
    };
    int run = 0;
    for (const std::string& source : sources) {
        const uint64_t size = fs::file_size(source);
        const std::vector<std::pair<std::string, std::function<Outcome(CutContext&, std::vector<PieceEntry>&)>>> rules = {
            {"count", [&](CutContext& c, auto&) { return test::CutFileByCount(c, source, 120, 4); }},
            {"time", [&](CutContext& c, auto&) { return test::CutFileByTime(c, source, 120, 0, 3); }},
            {"size", [&](CutContext& c, auto&) { return test::CutFileBySize(c, source, 120, size, std::to_string(size / 3), static_cast<SizeUnit>(1)); }},
            {"points", [&](CutContext& c, auto& r) { return test::CutFileByPieces(c, source, r); }},
        };
        for (const auto& [rule, cut] : rules) {
            SCOPED_TRACE(source + " by " + rule);
            std::map<std::string, Bytes> pieces[2];
            std::vector<PieceEntry> written[2];
            for (const int jobs : {1, 3}) {
                const std::string out = "out" + std::to_string(run++);
                CutContext ctx = Context(out, jobs);
                WithFadesAndOverlaps(ctx);
                written[jobs > 1] = rows();
                ASSERT_TRUE(cut(ctx, written[jobs > 1]).done());
                pieces[jobs > 1] = Contents(dir.path() / out);
            }
            EXPECT_GE(pieces[0].size(), 3u);
            EXPECT_EQ(pieces[1], pieces[0]);
            for (size_t k = 0; k < written[0].size(); ++k) EXPECT_EQ(written[1][k].output, written[0][k].output);
        }
    }
}

TEST_F(ParallelCutTest, ForecastsOfDurationsAreExactWithoutARateChange) {
    const std::string source = Cbr();
    CutContext ctx = Context("out", 2);
    WithFadesAndOverlaps(ctx);
    ASSERT_TRUE(test::CutFileByCount(ctx, source, 120, 5).done());
    EXPECT_EQ(ctx.createdPieces.size(), 5u);
    EXPECT_EQ(ctx.parallel.piecesStarted, 5);
    EXPECT_EQ(ctx.parallel.piecesMispredicted, 0);
}

TEST_F(ParallelCutTest, WrongForecastsCostTimeNotBytes) {
    const std::string source = Cbr();
    CutContext one = Context("one", 1);
    WithFadesAndOverlaps(one);
    ASSERT_TRUE(test::CutFileByCount(one, source, 120, 5).done());
    CutContext skewed = Context("skewed", 2);
    WithFadesAndOverlaps(skewed);
    skewed.forecastSkewFrames = 2;
    ASSERT_TRUE(test::CutFileByCount(skewed, source, 120, 5).done());
    EXPECT_GT(skewed.parallel.piecesMispredicted, 0);
    EXPECT_GT(skewed.parallel.piecesStarted, 5);
    EXPECT_EQ(Contents(dir.path() / "skewed"), Contents(dir.path() / "one"));
}

TEST_F(ParallelCutTest, BatchNumbersNamesAndReportsAsOneFileAfterAnother) {
    const std::vector<test::BatchSource> files = {{Cbr("a.mp3", 7), 7, 0, true},
                                            {dir / "missing.mp3", 0, 0, false},
                                            {Cbr("b.mp3", 10), 10, 0, true},
                                            {Cbr("c.mp3", 4), 4, 0, true}};
    CutRule request;
    request.kind = CutRule::Kind::Time;
    request.seconds = 3;
    std::vector<std::string> events[2];
    for (const int jobs : {1, 2}) {
        CutContext ctx = Context("out" + std::to_string(jobs), jobs);
        ctx.options.nameTemplate = "%S%-%F%.mp3";
        ctx.options.titleTemplate = "%S% %I%";
        ctx.options.fadeInTenths = 5;
        CRecordingObserver observer;
        ASSERT_TRUE(test::RunBatchCut(ctx, request, files, observer).done());
        events[jobs > 1] = observer.events;
    }
    EXPECT_EQ(events[0], (std::vector<std::string>{
                             "start 0", "done 0  1-a.mp3 2-a.mp3 3-a.mp3", "start 1",
                             "done 1 Failed to load file \"" + (dir / "missing.mp3") + "\".", "start 2",
                             "done 2  4-b.mp3 5-b.mp3 6-b.mp3 7-b.mp3", "start 3", "done 3  8-c.mp3 9-c.mp3"}));
    EXPECT_EQ(events[1], events[0]);
    EXPECT_EQ(Contents(dir.path() / "out2"), Contents(dir.path() / "out1"));
}

TEST_F(ParallelCutTest, ASilenceBatchNumbersOnPastThePiecesOfAFileThatFailed) {
    // Two pieces a file; the second piece of a.mp3 finds its name taken and is skipped, so
    // b.mp3 numbers on from the one piece a.mp3 cut, as the other batch rules do.
    const test::Bytes talk = test::Recording({{2, true}, {1.5, false}, {2, true}});
    test::WriteFile(dir / "a.mp3", talk);
    test::WriteFile(dir / "b.mp3", talk);
    const std::vector<test::BatchSource> files = {{dir / "a.mp3", 5, 0, true}, {dir / "b.mp3", 5, 0, true}};
    CutRule request;
    request.kind = CutRule::Kind::Silence;
    CutContext ctx = Context("out", 1);
    ctx.options.nameTemplate = "%S%-%F%.mp3";
    ctx.options.placement.ifExists = TargetExists::Skip;
    std::filesystem::create_directories(dir.path() / "out");
    test::WriteFile(dir.path() / "out" / "2-a.mp3", test::Bytes{'k'});
    CRecordingObserver observer;
    ASSERT_TRUE(test::RunBatchCut(ctx, request, files, observer).done());
    EXPECT_EQ(observer.events, (std::vector<std::string>{"start 0", "done 0 Target exists and skipped 1-a.mp3",
                                                         "start 1", "done 1  2-b.mp3 3-b.mp3"}));
}

TEST_F(ParallelCutTest, AFileThatWritesLessThanPlannedHasTheFilesAfterItPlannedAgain) {
    // The first file is shorter than its row says: the range starts past its audio, so it
    // writes nothing and the next file takes its sequence number.
    const std::vector<test::BatchSource> files = {
        {Cbr("short.mp3", 4), 10, 0, true}, {Cbr("b.mp3", 6), 6, 0, true}, {Cbr("c.mp3", 6), 6, 0, true}};
    CutRule request;
    request.kind = CutRule::Kind::Range;
    request.beginText = "5";
    request.lengthText = "0";
    int replanned = 0;
    for (const int jobs : {1, 2}) {
        CutContext ctx = Context("out" + std::to_string(jobs), jobs);
        ctx.options.nameTemplate = "%S%-%F%.mp3";
        ctx.options.fadeInTenths = 5;
        CRecordingObserver observer;
        ASSERT_TRUE(test::RunBatchCut(ctx, request, files, observer).done());
        replanned = ctx.parallel.sourcesReplanned;
    }
    EXPECT_EQ(NamesIn(dir.path() / "out1"), (std::vector<std::string>{"1-b.mp3", "2-c.mp3"}));
    EXPECT_EQ(Contents(dir.path() / "out2"), Contents(dir.path() / "out1"));
    EXPECT_EQ(replanned, 1);
}

TEST_F(ParallelCutTest, WorkersNeverRunTheFrontEndsPump) {
    static std::mutex mutex;
    static std::vector<std::thread::id> pumped;
    SetMessagePump([] {
        std::lock_guard<std::mutex> lock(mutex);
        pumped.push_back(std::this_thread::get_id());
    });
    CutContext ctx = Context("out", 2);
    const Outcome outcome = test::CutFileByCount(ctx, Cbr(), 120, 4);
    SetMessagePump(nullptr);
    ASSERT_TRUE(outcome.done());
    ASSERT_FALSE(pumped.empty());
    for (const std::thread::id id : pumped) EXPECT_EQ(id, std::this_thread::get_id());
}

TEST_F(ParallelCutTest, FrameCopyStaysOnTheCallingThread) {
    CutContext ctx = Context("out", 4);
    ctx.options.reencode = false;
    ASSERT_TRUE(test::CutFileByCount(ctx, Cbr(), 120, 4).done());
    EXPECT_EQ(ctx.createdPieces.size(), 4u);
    EXPECT_EQ(ctx.parallel.piecesStarted, 0);
}

// ---- Cancel and failures ----

TEST_F(ParallelCutTest, CancelStopsEveryWorkerSoonAndLeavesNothingOfTheSource) {
    const std::string source = Cbr("long.mp3", 40);
    CCancellingProgress dialog;
    dialog.width = 1000;
    dialog.cancelAfterUpdates = 10;
    CutContext ctx = Context("out", 2);
    ctx.dialog = &dialog;
    EXPECT_TRUE(test::CutFileByCount(ctx, source, 400, 4).cancelled());
    const auto stopped = std::chrono::steady_clock::now();
    ASSERT_NE(dialog.cancelledAt, std::chrono::steady_clock::time_point{});
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(stopped - dialog.cancelledAt).count(), 100);
    EXPECT_TRUE(ctx.createdPieces.empty());
    EXPECT_TRUE(NamesIn(dir.path() / "out").empty());
}

TEST_F(ParallelCutTest, CancelInABatchKeepsOnlyTheFilesPublishedBefore) {
    const std::vector<test::BatchSource> files = {
        {Cbr("a.mp3", 6), 6, 0, true}, {Cbr("b.mp3", 20), 20, 0, true}, {Cbr("c.mp3", 6), 6, 0, true}};
    CutRule request;
    request.kind = CutRule::Kind::Count;
    request.count = 3;
    CutContext ctx = Context("out", 2);
    CRecordingObserver observer;
    observer.onStarted = [&](size_t index) {
        if (index == 1) progress.cancelled = 1;
    };
    EXPECT_TRUE(test::RunBatchCut(ctx, request, files, observer).cancelled());
    EXPECT_EQ(observer.events, (std::vector<std::string>{"start 0", "done 0  a-1.mp3 a-2.mp3 a-3.mp3", "start 1",
                                                         "done 1  cancelled"}));
    EXPECT_EQ(NamesIn(dir.path() / "out"), (std::vector<std::string>{"a-1.mp3", "a-2.mp3", "a-3.mp3"}));
}

TEST_F(ParallelCutTest, AFailedWriteInOneWorkerLeavesNothingOfTheSource) {
    const std::string source = Cbr();
    CutContext counted = Context("counted", 2);
    InjectOutputFault(OutputCall::Write, 0);  // counts from here
    ASSERT_TRUE(test::CutFileByCount(counted, source, 120, 4).done());
    const int writes = OutputCallCount(OutputCall::Write);
    ASSERT_GE(writes, 4);
    for (const int failing : {1, writes / 2, writes}) {
        SCOPED_TRACE(failing);
        fs::remove_all(dir.path() / "out");
        InjectOutputFault(OutputCall::Write, failing);
        CutContext ctx = Context("out", 2);
        const Outcome outcome = test::CutFileByCount(ctx, source, 120, 4);
        InjectOutputFault(OutputCall::Write, 0);
        ASSERT_TRUE(outcome.failed());
        EXPECT_EQ(outcome.message.rfind("Failed to write file \"" + (dir / "out/cbr-"), 0), 0u) << outcome.message;
        EXPECT_TRUE(ctx.createdPieces.empty());
        EXPECT_TRUE(NamesIn(dir.path() / "out").empty());
    }
}

}  // namespace
}  // namespace corvane
