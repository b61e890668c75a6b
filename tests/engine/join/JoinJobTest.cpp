// Tests of CJoinJob: the bytes of frame-copy joins, re-encoded joins, progress, cancel and failures.
#include "engine/join/JoinJob.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "audio/EncodingParams.h"
#include "audio/MpegFrameHeader.h"
#include "engine/base/PathUtil.h"
#include "engine/mp3/OutputFile.h"
#include "engine/output/PieceNaming.h"
#include "support/Mp3Factory.h"
#include "support/SplitAtFirstFrame.h"

namespace corvane {
namespace {

using test::Bytes;
namespace fs = std::filesystem;

constexpr int kBarWidth = 200;

// A progress dialog that records what the job shows and can cancel on a chosen status.
class CRecordingDialog : public IProgressDialog, private IProgressBar {
public:
    IProgressBar& Bar() override { return *this; }
    void SetStatusText(const std::string& text) override {
        statuses.push_back(text);
        if (cancelWhen && cancelWhen(text)) cancelled = 1;
    }
    int Steps() const override { return kBarWidth; }
    void SetRange(int low, int high) override { range = {low, high}; }
    void SetPosition(int position) override { positions.push_back(position); }

    std::vector<std::string> statuses;
    std::vector<int> positions;
    std::pair<int, int> range{-1, -1};
    std::function<bool(const std::string&)> cancelWhen;
};

class JoinJobFiles : public ::testing::Test {
protected:
    std::string Write(const std::string& name, const Bytes& data) {
        const std::string path = dir / name;
        test::WriteFile(path, data);
        return path;
    }
    static Bytes Cbr(double seconds, int kbps = 128) {
        test::EncodeOptions o;
        o.seconds = seconds;
        o.kbps = kbps;
        return test::EncodeMp3(o);
    }
    test::TempDir dir;
};

TEST_F(JoinJobFiles, FrameJoinWritesTheTagThenEveryInputsFramesInOrder) {
    const Bytes a = Cbr(2.0), b = Cbr(3.0, 192), c = Cbr(1.5);
    const Bytes tagB = test::MakeId3v2Tag(3, {{"TIT2", "second"}});
    const Bytes v1 = test::MakeId3v1Tag("t", "a", "l", "2001", 3, 1);
    CJoinJob job;
    job.AddFile(Write("a.mp3", a));
    job.AddFiles({Write("b.mp3", test::Concat({tagB, b})), Write("c.mp3", test::Concat({c, v1}))});
    job.MakeTag("Joined", "", "", "", "", "", 0);
    ASSERT_FALSE(job.TagBytes().empty());

    const std::string target = dir / "out.mp3";
    const Outcome joined = job.JoinByFrames(target, nullptr);
    ASSERT_TRUE(joined.done()) << joined.message;
    const test::FirstFrameSplit written = test::SplitAtFirstFrame(test::ReadFile(target));
    // LAME rendered the tag but encoded none of the frames: its encoder frame stays out.
    EXPECT_EQ(written.tag, WithoutEncoderFrame(job.TagBytes()));
    // No input has a LAME tag: a header frame is made at the lowest bit rate that holds one,
    // and a silent frame of a's kind at 32 kbps goes first, the decoder's delay falling in it.
    Bytes silent = {0xFF, 0xFB, 0x10, a[3]};
    silent.resize(104);
    EXPECT_EQ(written.rest, test::Concat({silent, a, b, c}));
    EXPECT_EQ(DecodeFrameHeader(written.first.data()).kbps, 64);
    const test::HeaderFrameFigures figures = test::FiguresOf(written.first);
    EXPECT_EQ(figures.letters, "Xing");  // 128 and 192 kbps
    EXPECT_EQ(figures.frames, 1 + test::FrameOffsets(a, 0).size() + test::FrameOffsets(b, 0).size() +
                                  test::FrameOffsets(c, 0).size());
    EXPECT_EQ(figures.bytes, written.first.size() + written.rest.size());
    EXPECT_EQ(figures.delay, 1152 - 529);
    EXPECT_EQ(figures.padding, 529);

    const test::DecodeResult decoded = test::DecodeWithMpg123(target);
    ASSERT_TRUE(decoded.ok) << decoded.messages;
    EXPECT_EQ(decoded.samples, 1152 + test::DecodeWithMpg123(dir / "a.mp3").samples +
                                   test::DecodeWithMpg123(dir / "b.mp3").samples +
                                   test::DecodeWithMpg123(dir / "c.mp3").samples);
}

TEST_F(JoinJobFiles, FrameJoinLeavesTheInputsHeaderFramesBehind) {
    test::EncodeOptions o;
    o.infoFrame = true;
    o.seconds = 1.0;
    const test::FirstFrameSplit a = test::SplitAtFirstFrame(test::EncodeMp3(o));
    o.seconds = 1.3;
    const test::FirstFrameSplit b = test::SplitAtFirstFrame(test::EncodeMp3(o));
    ASSERT_NE(test::FiguresOf(a.first).padding, test::FiguresOf(b.first).padding);

    CJoinJob job;
    job.AddFiles({Write("a.mp3", test::Concat({a.first, a.rest})), Write("b.mp3", test::Concat({b.first, b.rest}))});
    const std::string target = dir / "out.mp3";
    const Outcome joined = job.JoinByFrames(target, nullptr);
    ASSERT_TRUE(joined.done()) << joined.message;
    const test::FirstFrameSplit written = test::SplitAtFirstFrame(test::ReadFile(target));
    EXPECT_EQ(written.rest, test::Concat({a.rest, b.rest}));
    // The one header frame is a's, with the figures of the whole: a's delay, b's padding.
    ASSERT_EQ(written.first.size(), a.first.size());
    EXPECT_EQ(Bytes(written.first.begin(), written.first.begin() + 44), Bytes(a.first.begin(), a.first.begin() + 44));
    const test::HeaderFrameFigures figures = test::FiguresOf(written.first);
    EXPECT_EQ(figures.letters, "Info");
    EXPECT_EQ(figures.frames, test::FiguresOf(a.first).frames + test::FiguresOf(b.first).frames);
    EXPECT_EQ(figures.bytes, written.first.size() + written.rest.size());
    EXPECT_EQ(figures.delay, test::FiguresOf(a.first).delay);
    EXPECT_EQ(figures.padding, test::FiguresOf(b.first).padding);
}

TEST_F(JoinJobFiles, EachInputGetsAnEqualShareOfTheProgress) {
    CJoinJob job;
    job.AddFiles({Write("a.mp3", Cbr(2.0)), Write("b.mp3", Cbr(2.0))});
    CRecordingDialog dialog;
    ASSERT_TRUE(job.JoinByFrames(dir / "out.mp3", &dialog).done());

    EXPECT_EQ(dialog.range, std::make_pair(0, kBarWidth));
    ASSERT_FALSE(dialog.statuses.empty());
    EXPECT_EQ(dialog.statuses.front(), "Joining 2 files into out.mp3...0%");
    EXPECT_EQ(dialog.statuses.back(), "Joining 2 files into out.mp3...100%");
    EXPECT_NE(std::find(dialog.statuses.begin(), dialog.statuses.end(), "Joining 2 files into out.mp3...50%"),
              dialog.statuses.end());
    EXPECT_TRUE(std::is_sorted(dialog.positions.begin(), dialog.positions.end()));
    EXPECT_EQ(dialog.positions.back(), kBarWidth);
}

TEST_F(JoinJobFiles, JobWithoutFieldsHasNoTagAndTrackKeepsItsLowByte) {
    CJoinJob job;
    job.MakeTag("", "", "", "", "", "", 0);
    EXPECT_TRUE(job.TagBytes().empty());
    job.MakeTag("", "", "", "", "", "", 256 + 12);
    EXPECT_EQ(job.TagBytes(), BuildId3v2Tag("", "", "", "", "", "", 12));
}

// ---- Failures of the frame-copy join -------------------------------------------------------

TEST_F(JoinJobFiles, MissingSecondInputDeletesTheTargetAndNamesTheInput) {
    CJoinJob job;
    const std::string missing = dir / "missing.mp3";
    job.AddFiles({Write("a.mp3", Cbr(1.0)), missing});
    const std::string target = dir / "out.mp3";
    EXPECT_EQ(job.JoinByFrames(target, nullptr).message, "Failed to open file \"" + missing + "\".");
    EXPECT_FALSE(fs::exists(target));
}

TEST_F(JoinJobFiles, CancelInTheSecondInputDeletesTheTargetSilently) {
    CJoinJob job;
    job.AddFiles({Write("a.mp3", Cbr(2.0)), Write("b.mp3", Cbr(2.0))});
    CRecordingDialog dialog;
    dialog.cancelWhen = [](const std::string& s) { return s == "Joining 2 files into out.mp3...70%"; };
    const std::string target = dir / "out.mp3";
    EXPECT_TRUE(job.JoinByFrames(target, &dialog).cancelled());
    EXPECT_FALSE(fs::exists(target));
}

TEST_F(JoinJobFiles, AnInputThatCannotBeReadToItsEndFailsTheJoin) {
    // 480 KB: the part after the reader's first buffer is read while the join runs.
    const std::string a = Write("a.mp3", Cbr(30.0));
    CJoinJob job;
    job.AddFiles({a, Write("b.mp3", Cbr(1.0))});
    CRecordingDialog dialog;
    dialog.cancelWhen = [&a](const std::string& s) {
        if (s == "Joining 2 files into out.mp3...5%") fs::resize_file(a, 100000);  // it loses its end
        return false;
    };
    const std::string target = dir / "out.mp3";
    EXPECT_EQ(job.JoinByFrames(target, &dialog).message, "Failed to read file \"" + a + "\".");
    EXPECT_FALSE(fs::exists(target));
}

TEST_F(JoinJobFiles, TargetThatIsAnInputIsRefusedBeforeAnythingIsWritten) {
    const Bytes a = Cbr(1.0);
    const std::string first = Write("a.mp3", a);
    const std::string second = Write("b.mp3", Cbr(1.0));
    fs::create_directory(dir.path() / "sub");
    for (const std::string& target : {second, (dir.path() / "sub" / ".." / "a.mp3").string()}) {
        CJoinJob job;
        job.AddFiles({first, second});
        EXPECT_EQ(job.JoinByFrames(target, nullptr).message, "Target file name is same as original file");
        EXPECT_EQ(job.JoinByReencoding(target, 44100, 128, 1, nullptr).message,
                  "Target file name is same as original file");
    }
    EXPECT_EQ(test::ReadFile(first), a);
}

TEST_F(JoinJobFiles, TargetInMissingFolderCannotBeCreated) {
    CJoinJob job;
    job.AddFiles({Write("a.mp3", Cbr(1.0)), Write("b.mp3", Cbr(1.0))});
    const std::string target = dir / "no/such/folder/out.mp3";
    EXPECT_EQ(job.JoinByFrames(target, nullptr).message, "Failed to create file \"" + target + "\".");
    EXPECT_EQ(job.JoinByReencoding(target, 44100, 128, 1, nullptr).message,
              "Failed to create file \"" + target + "\".");
}

// Lowers the file size limit for one scope, so writes beyond it fail as on a full disk.
class CFileSizeLimit {
public:
    explicit CFileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        previous_ = signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~CFileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        signal(SIGXFSZ, previous_);
    }

private:
    rlimit saved_{};
    sighandler_t previous_;
};

TEST_F(JoinJobFiles, FailedWritesFailTheJoinAndDeleteTheTarget) {
    CJoinJob job;
    job.AddFiles({Write("a.mp3", Cbr(3.0)), Write("b.mp3", Cbr(3.0))});
    const std::string target = dir / "out.mp3";
    Outcome outcome;
    {
        CFileSizeLimit limit(40000);
        outcome = job.JoinByFrames(target, nullptr);
    }
    EXPECT_EQ(outcome.message, "Failed to write file \"" + target + "\".");
    EXPECT_FALSE(fs::exists(target));
    {
        CFileSizeLimit limit(40000);
        outcome = job.JoinByReencoding(target, 44100, 128, 1, nullptr);
    }
    EXPECT_EQ(outcome.message, "Failed to write file \"" + target + "\".");
    EXPECT_FALSE(fs::exists(target));
}

// ---- Re-encoding join -----------------------------------------------------------------------

TEST_F(JoinJobFiles, ReencodingResamplesAndWidensInputsToOneStream) {
    test::EncodeOptions mono;
    mono.sampleRate = 22050;
    mono.channels = 1;
    mono.mode = test::Mode::Mono;
    mono.kbps = 32;
    mono.seconds = 2.0;
    CJoinJob job;
    job.AddFiles({Write("mono.mp3", test::EncodeMp3(mono)), Write("stereo.mp3", Cbr(2.0, 112))});
    job.MakeTag("T", "", "", "", "", "", 0);
    const std::string target = dir / "out.mp3";
    const Outcome joined = job.JoinByReencoding(target, 44100, 112, 0, nullptr);
    ASSERT_TRUE(joined.done()) << joined.message;

    const Bytes written = test::ReadFile(target);
    ASSERT_GT(written.size(), job.TagBytes().size());
    EXPECT_TRUE(std::equal(job.TagBytes().begin(), job.TagBytes().end(), written.begin()));
    const test::DecodeResult decoded = test::DecodeWithMpg123(target);
    ASSERT_TRUE(decoded.ok) << decoded.messages;
    EXPECT_EQ(decoded.sampleRate, 44100);
    EXPECT_EQ(decoded.channels, 2);
    // The inputs' decoded lengths at 44100 Hz, plus encoder delay and padding, less the
    // resampler's held-back tail.
    const int64_t inputs = 2 * test::DecodeWithMpg123(dir / "mono.mp3").samples +
                           test::DecodeWithMpg123(dir / "stereo.mp3").samples;
    EXPECT_NEAR(static_cast<double>(decoded.samples), static_cast<double>(inputs), 2 * 1152);
    const test::ProcessResult info = test::RunProcess({"mpg123", "-t", "-v", "-n", "1", target});
    EXPECT_NE(info.err.find("MPEG 1.0 L III cbr112 44100 stereo"), std::string::npos) << info.err;
}

TEST_F(JoinJobFiles, ReencodingRefusesParametersLameWouldChange) {
    CJoinJob job;
    job.AddFiles({Write("a.mp3", Cbr(1.0)), Write("b.mp3", Cbr(1.0))});
    const std::string target = dir / "out.mp3";
    EXPECT_EQ(job.JoinByReencoding(target, 8000, 320, 1, nullptr).message,
              "Bad encoding parameter: 8000Hz, 320kbps, 1");
    EXPECT_FALSE(fs::exists(target));
}

// The frame headers of a target without a tag.
std::vector<MpegFrameHeader> TargetFrames(const std::string& target) {
    const Bytes data = test::ReadFile(target);
    std::vector<MpegFrameHeader> headers;
    for (const size_t at : test::FrameOffsets(data, 0)) headers.push_back(DecodeFrameHeader(data.data() + at));
    EXPECT_FALSE(headers.empty());
    return headers;
}

TEST_F(JoinJobFiles, ReencodingClampsTheBitrateBelowEightAndAbove320) {
    CJoinJob job;
    job.AddFiles({Write("a.mp3", Cbr(0.5)), Write("b.mp3", Cbr(0.5))});
    const std::string low = dir / "low.mp3";
    ASSERT_TRUE(job.JoinByReencoding(low, 22050, 4, 1, nullptr).done());
    for (const MpegFrameHeader& h : TargetFrames(low)) ASSERT_EQ(h.kbps, 8);
    const std::string high = dir / "high.mp3";
    ASSERT_TRUE(job.JoinByReencoding(high, 44100, 400, 1, nullptr).done());
    for (const MpegFrameHeader& h : TargetFrames(high)) ASSERT_EQ(h.kbps, 320);
}

TEST_F(JoinJobFiles, ReencodingTurnsDualChannelAndUnknownModesIntoStereo) {
    CJoinJob job;
    job.AddFiles({Write("a.mp3", Cbr(0.5)), Write("b.mp3", Cbr(0.5))});
    for (const int mode : {static_cast<int>(kChannelModeDualChannel), 7}) {
        const std::string target = dir / ("mode" + std::to_string(mode) + ".mp3");
        ASSERT_TRUE(job.JoinByReencoding(target, 44100, 128, mode, nullptr).done());
        for (const MpegFrameHeader& h : TargetFrames(target)) ASSERT_EQ(h.channelMode, kChannelModeStereo);
    }
}

TEST_F(JoinJobFiles, ReencodingStopsAtAnInputItCannotOpen) {
    CJoinJob job;
    const std::string bad = Write("text.mp3", Bytes(5000, 'x'));
    job.AddFiles({Write("a.mp3", Cbr(1.0)), bad});
    const std::string target = dir / "out.mp3";
    EXPECT_EQ(job.JoinByReencoding(target, 44100, 128, 1, nullptr).message, "Failed to open file \"" + bad + "\".");
    EXPECT_FALSE(fs::exists(target));
}

TEST_F(JoinJobFiles, ReencodingCancelledBeforeTheFirstInputLeavesNothing) {
    CJoinJob job;
    job.AddFiles({Write("a.mp3", Cbr(1.0)), Write("b.mp3", Cbr(1.0))});
    CRecordingDialog dialog;
    dialog.cancelled = 1;
    const std::string target = dir / "out.mp3";
    EXPECT_TRUE(job.JoinByReencoding(target, 44100, 128, 1, &dialog).cancelled());
    EXPECT_FALSE(fs::exists(target));
    ASSERT_FALSE(dialog.statuses.empty());
    EXPECT_EQ(dialog.statuses.front(), "Joining 2 files into out.mp3...0%");
}

// ---- Files that were there before ----------------------------------------------------------

size_t EntriesIn(const fs::path& folder) {
    return static_cast<size_t>(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

TEST_F(JoinJobFiles, AFailedOrCancelledJoinLeavesTheOldTargetAndItsLinkAsTheyWere) {
    const std::string a = Write("a.mp3", Cbr(1.0));
    const std::string bad = Write("text.mp3", Bytes(5000, 'x'));
    const std::string target = Write("out.mp3", Bytes{1, 2, 3});
    const std::string victim = Write("victim.txt", Bytes{7});
    const std::string link = dir / "link.mp3";
    fs::create_symlink(victim, link);
    for (const std::string& t : {target, link}) {
        CJoinJob job;
        job.AddFiles({a, bad});
        EXPECT_EQ(job.JoinByReencoding(t, 44100, 128, 1, nullptr).message, "Failed to open file \"" + bad + "\".");
        CJoinJob cancelled;
        cancelled.AddFiles({a, a});
        CRecordingDialog dialog;
        dialog.cancelWhen = [](const std::string& s) { return s.find("50%") != std::string::npos; };
        EXPECT_TRUE(cancelled.JoinByFrames(t, &dialog).cancelled());
    }
    EXPECT_EQ(test::ReadFile(target), (Bytes{1, 2, 3}));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(test::ReadFile(victim), Bytes{7});
    EXPECT_EQ(EntriesIn(dir.path()), 5u);  // nothing temporary is left
}

TEST_F(JoinJobFiles, ATargetThatIsNotAFileIsRefusedUntouched) {
    const std::string fifo = dir / "pipe.mp3";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    CJoinJob job;
    job.AddFiles({Write("a.mp3", Cbr(1.0)), Write("b.mp3", Cbr(1.0))});
    EXPECT_EQ(job.JoinByFrames(fifo, nullptr).message, "Failed to create file \"" + fifo + "\".");
    EXPECT_EQ(job.JoinByReencoding(fifo, 44100, 128, 1, nullptr).message, "Failed to create file \"" + fifo + "\".");
    EXPECT_TRUE(fs::is_fifo(fifo));
    EXPECT_EQ(EntriesIn(dir.path()), 3u);
}

// Every write, close and rename of a join made to fail in turn: the old target stays whole.
TEST_F(JoinJobFiles, EveryFailingCallLeavesTheOldTarget) {
    const std::string a = Write("a.mp3", Cbr(2.0));
    const std::string b = Write("b.mp3", Cbr(2.0, 160));
    const std::string target = Write("out.mp3", Bytes{1, 2, 3});
    for (const bool frames : {true, false}) {
        auto join = [&]() {
            CJoinJob job;
            job.AddFiles({a, b});
            job.MakeTag("t", "", "", "", "", "", 1);
            return frames ? job.JoinByFrames(target, nullptr) : job.JoinByReencoding(target, 44100, 128, 1, nullptr);
        };
        for (const OutputCall call : {OutputCall::Write, OutputCall::Close, OutputCall::Rename}) {
            InjectOutputFault(call, 0);
            const std::string copy = dir / "copy.mp3";
            fs::copy_file(target, copy);
            ASSERT_TRUE(join().done());
            const int calls = OutputCallCount(call);
            fs::rename(copy, target);
            ASSERT_GT(calls, 0);
            for (int n = 1; n <= calls; ++n) {
                InjectOutputFault(call, n);
                const Outcome outcome = join();
                InjectOutputFault(call, 0);
                EXPECT_EQ(outcome.message, "Failed to write file \"" + target + "\".") << n;
                EXPECT_EQ(test::ReadFile(target), (Bytes{1, 2, 3})) << n;
                EXPECT_EQ(EntriesIn(dir.path()), 3u) << n;
            }
        }
    }
}

}  // namespace
}  // namespace corvane
