// Tests of the frame-copy cutter: exact frames of each piece, overlaps, VBR header copies,
// tags, cancel and write failures.
#include "engine/cut/FrameCopyCutter.h"
#include "engine/cut/CutPlans.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "audio/MpegFrameHeader.h"
#include "support/FakeProgress.h"
#include "support/Mp3Factory.h"

namespace corvane {
namespace {

using test::Bytes;

// 8000 Hz MPEG 2.5: 576 samples a frame, 800 samples a tenth, so whole frame counts are
// easy to ask for in tenths: 72 tenths = 100 frames, 7 tenths = 10 frames, 3 tenths = 5.
class FrameCopyCutterTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::EncodeOptions o;
        o.sampleRate = 8000;
        o.channels = 1;
        o.mode = test::Mode::Mono;
        o.kbps = 16;
        o.seconds = 30;
        source = test::EncodeMp3(o);
        path = dir / "src.mp3";
        test::WriteFile(path, source);
        offsets = test::FrameOffsets(source, 0);
        offsets.push_back(source.size());
    }

    // The bytes of source frames first..last inclusive.
    Bytes Frames(size_t first, size_t last) const {
        return Bytes(source.begin() + static_cast<long>(offsets[first]), source.begin() + static_cast<long>(offsets[last + 1]));
    }

    test::TempDir dir;
    Bytes source;
    std::string path;
    std::vector<size_t> offsets;
};

TEST_F(FrameCopyCutterTest, WorkedSequenceWithOverlapsGivesExactFrames) {
    CFrameCopyCutter cutter;
    ASSERT_TRUE(cutter.LoadSource(path));
    cutter.SetForwardOverlap(7);
    cutter.SetBackwardOverlap(3);
    cutter.keepTag = false;
    bool eof = true;

    ASSERT_TRUE(cutter.CutByDuration(dir / "p1.mp3", 72, 1, 3, 1, 0, eof).done());
    EXPECT_FALSE(eof);
    EXPECT_EQ(test::ReadFile(dir / "p1.mp3"), test::Concat({Frames(0, 99), Frames(100, 104)}));
    EXPECT_EQ(cutter.reader().position(), offsets[97]);
    // The history keeps the newest twelve records and before them the fewest whose samples
    // reach both overlaps (8000 samples: 14 frames), less the three stepped back over.
    EXPECT_EQ(cutter.frameHistory().size(), 23u);

    ASSERT_TRUE(cutter.CutByDuration(dir / "p2.mp3", 72, 2, 3, 2, 0, eof).done());
    EXPECT_EQ(test::ReadFile(dir / "p2.mp3"), test::Concat({Frames(87, 96), Frames(97, 196), Frames(197, 201)}));
    EXPECT_EQ(cutter.reader().position(), offsets[194]);

    ASSERT_TRUE(cutter.CutToEnd(dir / "p3.mp3", 3, 3, 3, 0).done());
    EXPECT_EQ(test::ReadFile(dir / "p3.mp3"), test::Concat({Frames(184, 193), Frames(194, offsets.size() - 2)}));
}

// Without a LAME tag to tell players to skip them, the next piece starts with just the three
// frames the reader stepped back over.
TEST_F(FrameCopyCutterTest, NeighbouringPiecesShareThreeFrames) {
    CFrameCopyCutter cutter;
    ASSERT_TRUE(cutter.LoadSource(path));
    cutter.keepTag = false;
    bool eof = false;
    ASSERT_TRUE(cutter.CutBySize(dir / "a.mp3", 10000, 1, 2, 1, 0, eof).done());
    ASSERT_TRUE(cutter.CutToEnd(dir / "b.mp3", 2, 2, 2, 0).done());
    const Bytes a = test::ReadFile(dir / "a.mp3");
    const Bytes b = test::ReadFile(dir / "b.mp3");
    const size_t n = test::FrameOffsets(a, 0).size();
    EXPECT_GE(a.size(), 10000u);
    EXPECT_LT(a.size(), 10000u + 100);
    EXPECT_EQ(b, Frames(n - 3, offsets.size() - 2));
}

TEST_F(FrameCopyCutterTest, SkippedFramesFeedTheNextForwardOverlap) {
    CFrameCopyCutter cutter;
    ASSERT_TRUE(cutter.LoadSource(path));
    cutter.keepTag = false;
    cutter.SetForwardOverlap(7);
    bool eof = false;
    ASSERT_TRUE(cutter.SkipDuration(72, eof).done());
    EXPECT_EQ(cutter.frameHistory().size(), 22u);  // 12 newest and 10 frames for the overlap
    EXPECT_EQ(cutter.frameHistory().front().offset, offsets[78]);
    ASSERT_TRUE(cutter.CutByDuration(dir / "p.mp3", 72, 2, 3, 2, 0, eof).done());
    EXPECT_EQ(test::ReadFile(dir / "p.mp3"), test::Concat({Frames(90, 99), Frames(100, 199)}));
}

TEST_F(FrameCopyCutterTest, AnOverlapLongerThanTheHistoryStartsAtTheFirstFrame) {
    CFrameCopyCutter cutter;
    ASSERT_TRUE(cutter.LoadSource(path));
    cutter.keepTag = false;
    cutter.SetForwardOverlap(100);  // 10 seconds
    bool eof = false;
    ASSERT_TRUE(cutter.CutByDuration(dir / "p1.mp3", 36, 1, 2, 1, 0, eof).done());
    EXPECT_EQ(test::ReadFile(dir / "p1.mp3"), Frames(0, 49));  // the first piece has no history
    ASSERT_TRUE(cutter.CutByDuration(dir / "p2.mp3", 36, 2, 2, 2, 0, eof).done());
    EXPECT_EQ(test::ReadFile(dir / "p2.mp3"), test::Concat({Frames(0, 46), Frames(47, 96)}));
}

TEST_F(FrameCopyCutterTest, ABackwardOverlapEndsQuietlyAtTheLastFrame) {
    CFrameCopyCutter cutter;
    ASSERT_TRUE(cutter.LoadSource(path));
    cutter.keepTag = false;
    cutter.SetBackwardOverlap(600);
    bool eof = false;
    const size_t last = offsets.size() - 2;
    ASSERT_TRUE(cutter.CutByDuration(dir / "p.mp3", 72, 1, 2, 1, 0, eof).done());
    EXPECT_FALSE(eof);
    EXPECT_EQ(test::ReadFile(dir / "p.mp3"), Frames(0, last));
}

TEST_F(FrameCopyCutterTest, TheSourceEndingInsideAPieceSetsEndOfFile) {
    CFrameCopyCutter cutter;
    ASSERT_TRUE(cutter.LoadSource(path));
    cutter.keepTag = false;
    bool eof = false;
    ASSERT_TRUE(cutter.CutByDuration(dir / "p.mp3", 3000, 1, 1, 1, 0, eof).done());
    EXPECT_TRUE(eof);
    EXPECT_EQ(test::ReadFile(dir / "p.mp3"), source);
}

// A piece of three frames or fewer shares all but its first frame with the next one.
TEST_F(FrameCopyCutterTest, PiecesOfThreeFramesOrFewerStillMoveOn) {
    CFrameCopyCutter cutter;
    ASSERT_TRUE(cutter.LoadSource(path));
    cutter.keepTag = false;
    bool eof = false;
    ASSERT_TRUE(cutter.CutBySize(dir / "a.mp3", 1, 1, 4, 1, 0, eof).done());
    EXPECT_EQ(test::ReadFile(dir / "a.mp3"), Frames(0, 0));
    ASSERT_TRUE(cutter.CutBySize(dir / "b.mp3", offsets[4] - offsets[1] - 1, 2, 4, 2, 0, eof).done());
    EXPECT_EQ(test::ReadFile(dir / "b.mp3"), Frames(1, 3));
    ASSERT_TRUE(cutter.CutBySize(dir / "c.mp3", offsets[7] - offsets[2] - 1, 3, 4, 3, 0, eof).done());
    EXPECT_EQ(test::ReadFile(dir / "c.mp3"), Frames(2, 6));
    ASSERT_TRUE(cutter.CutToEnd(dir / "d.mp3", 4, 4, 4, 0).done());
    EXPECT_EQ(test::ReadFile(dir / "d.mp3"), Frames(4, offsets.size() - 2));
}

// 5368720 tenths at 8000 Hz are 4294976000 samples, past 32 bits.
TEST_F(FrameCopyCutterTest, ADurationPastThirtyTwoBitsOfSamplesRunsToTheEnd) {
    CFrameCopyCutter cutter;
    ASSERT_TRUE(cutter.LoadSource(path));
    cutter.keepTag = false;
    bool eof = false;
    ASSERT_TRUE(cutter.CutByDuration(dir / "p.mp3", 5368720, 1, 1, 1, 0, eof).done());
    EXPECT_TRUE(eof);
    EXPECT_EQ(test::ReadFile(dir / "p.mp3"), source);
}

TEST_F(FrameCopyCutterTest, ProgressMovesForwardOnlyAcrossPieces) {
    CFrameCopyCutter cutter;
    test::FakeProgress progress;
    ASSERT_TRUE(cutter.LoadSource(path));
    cutter.SetProgressBar(&progress);
    cutter.keepTag = false;
    EXPECT_EQ(progress.rangeHigh, progress.width);
    bool eof = false;
    ASSERT_TRUE(cutter.CutByDuration(dir / "a.mp3", 100, 1, 2, 1, 0, eof).done());
    ASSERT_TRUE(cutter.CutToEnd(dir / "b.mp3", 2, 2, 2, 0).done());
    ASSERT_FALSE(progress.positions.empty());
    for (size_t i = 1; i < progress.positions.size(); ++i) EXPECT_GT(progress.positions[i], progress.positions[i - 1]);
    EXPECT_GE(progress.positions.back(), progress.width - 1);
}

TEST(FrameCopyCutterVbr, EachPieceCarriesItsOwnPatchedVbrFrameAfterTheTag) {
    test::TempDir dir;
    test::EncodeOptions o;
    o.vbr = true;
    o.infoFrame = true;
    o.seconds = 6;
    const Bytes frames = test::EncodeMp3(o);
    const Bytes tag = test::MakeId3v2Tag(3, {{"TIT2", "Song"}, {"TPE1", "Band"}}, false, true);
    const std::string path = dir / "vbr.mp3";
    test::WriteFile(path, test::Concat({tag, frames}));
    const MpegFrameHeader h = DecodeFrameHeader(frames.data());

    CFrameCopyCutter cutter;
    ASSERT_TRUE(cutter.LoadSource(path));
    cutter.titleTemplate = "%I% - %P%/%T%";
    bool eof = false;
    ASSERT_TRUE(cutter.CutByDuration(dir / "a.mp3", 20, 1, 2, 1, 0, eof).done());
    ASSERT_TRUE(cutter.CutToEnd(dir / "b.mp3", 2, 2, 2, 0).done());
    for (const std::string name : {"a.mp3", "b.mp3"}) {
        const Bytes piece = test::ReadFile(dir / name);
        ASSERT_EQ(std::memcmp(piece.data(), "ID3", 3), 0);
        const size_t tagLength = 10 + ((piece[6] << 21) | (piece[7] << 14) | (piece[8] << 7) | piece[9]);
        const Bytes vbr(piece.begin() + static_cast<long>(tagLength), piece.begin() + static_cast<long>(tagLength) + h.frameLength);
        ASSERT_EQ(std::memcmp(vbr.data() + 36, "Xing", 4), 0);
        const uint32_t frameCount = (vbr[44] << 24) | (vbr[45] << 16) | (vbr[46] << 8) | vbr[47];
        const uint32_t byteCount = (uint32_t(vbr[48]) << 24) | (vbr[49] << 16) | (vbr[50] << 8) | vbr[51];
        const size_t audioFrames = test::FrameOffsets(piece, tagLength).size() - 1;  // less the VBR frame
        EXPECT_EQ(frameCount, audioFrames) << name;
        EXPECT_EQ(byteCount, piece.size() - tagLength) << name;
        // The LAME tag (after the Xing fields) gets the piece's delay and padding (the tag
        // writer itself is tested against LAME's in the reader's tests).
        int sourceDelay = 0, sourcePadding = 0, delay = 0, padding = 0;
        const uint32_t frameLength = static_cast<uint32_t>(h.frameLength);
        ASSERT_TRUE(CMp3Reader::ReadLameDelays(frames.data(), frameLength, sourceDelay, sourcePadding));
        ASSERT_TRUE(CMp3Reader::ReadLameDelays(vbr.data(), frameLength, delay, padding));
        // The first piece starts where the source does; the second after a silent frame that
        // carries the reservoir and the frame before its audio (frames this small hold less
        // reservoir in four frames than the decoder needs); the first plays its last frame
        // whole; the second ends as the source does.
        EXPECT_EQ(delay, name == "a.mp3" ? sourceDelay : 2 * 1152 - 529) << name;
        EXPECT_EQ(padding, name == "a.mp3" ? 529 : sourcePadding) << name;
        EXPECT_EQ(Bytes(vbr.begin(), vbr.begin() + 44), Bytes(frames.begin(), frames.begin() + 44)) << name;
    }
}

TEST(FrameCopyCutterTags, WithoutATagPiecesStartWithTheVbrFrameOrTheFirstFrame) {
    test::TempDir dir;
    test::EncodeOptions o;
    o.seconds = 3;
    o.infoFrame = true;
    const Bytes frames = test::EncodeMp3(o);
    const std::string path = dir / "src.mp3";
    test::WriteFile(path, test::Concat({test::MakeId3v2Tag(4, {{"TIT2", "T"}}), frames}));
    CFrameCopyCutter cutter;
    ASSERT_TRUE(cutter.LoadSource(path));
    cutter.keepTag = false;
    ASSERT_TRUE(cutter.CutToEnd(dir / "p.mp3", 1, 1, 1, 0).done());
    const Bytes piece = test::ReadFile(dir / "p.mp3");
    const size_t infoLength = static_cast<size_t>(DecodeFrameHeader(frames.data()).frameLength);
    EXPECT_EQ(std::memcmp(piece.data() + 36, "Info", 4), 0);
    EXPECT_EQ(Bytes(piece.begin() + static_cast<long>(infoLength), piece.end()),
              Bytes(frames.begin() + static_cast<long>(infoLength), frames.end()));
}

// --- Failures -----------------------------------------------------------------------------

TEST_F(FrameCopyCutterTest, CancelDuringAPieceLeavesNoFileOfIt) {
    CFrameCopyCutter cutter;
    test::FakeProgress progress;
    progress.cancelAfterUpdates = 5;
    ASSERT_TRUE(cutter.LoadSource(path));
    cutter.SetProgressBar(&progress);
    cutter.SetCancelFlag(&progress.cancelled);
    bool eof = false;
    EXPECT_TRUE(cutter.CutByDuration(dir / "p.mp3", 200, 1, 2, 1, 0, eof).cancelled());
    EXPECT_FALSE(std::filesystem::exists(dir / "p.mp3"));
}

TEST_F(FrameCopyCutterTest, AnOutputThatCannotBeCreatedFailsWithItsMessage) {
    CFrameCopyCutter cutter;
    ASSERT_TRUE(cutter.LoadSource(path));
    bool eof = false;
    const Outcome outcome = cutter.CutByDuration(dir / "missing/p.mp3", 20, 1, 2, 1, 0, eof);
    EXPECT_TRUE(outcome.failed());
    EXPECT_EQ(outcome.message, "Failed to create file \"" + dir / "missing/p.mp3" + "\".");
}

// A write that fails (here: the file size limit, as a full disk would) fails the piece with
// its message and deletes it. Run in a child so the limit touches nothing else.
TEST_F(FrameCopyCutterTest, AFailedWriteFailsAndDeletesThePiece) {
    const std::string piece = dir / "p.mp3";
    const pid_t pid = fork();
    if (pid == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{20000, 20000};
        setrlimit(RLIMIT_FSIZE, &limit);
        CFrameCopyCutter cutter;
        if (!cutter.LoadSource(path)) _exit(10);
        bool eof = false;
        const Outcome outcome = cutter.CutByDuration(piece, 3000, 1, 1, 1, 0, eof);
        if (!outcome.failed()) _exit(11);
        if (outcome.message != "Failed to write file \"" + piece + "\".") _exit(12);
        _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_FALSE(std::filesystem::exists(piece));
}


// A source that gets shorter while it is cut (a read error) fails the piece; it is no end of
// the data. Both cutters.
TEST(CutterReadErrors, ASourceCutShortWhileReadFailsThePiece) {
    test::TempDir dir;
    test::EncodeOptions o;
    o.seconds = 20;  // longer than the reader's first read
    const std::string path = dir / "src.mp3";
    test::WriteFile(path, test::EncodeMp3(o));
    for (const bool reencode : {false, true}) {
        CutterOptions options;
        options.reencode = reencode;
        std::unique_ptr<CCutter> cutter = CreateCutter(options);
        ASSERT_TRUE(cutter->LoadSource(path));
        std::filesystem::resize_file(path, std::filesystem::file_size(path) / 4);
        const std::string piece = dir / "piece.mp3";
        EXPECT_EQ(cutter->CutToEnd(piece, 1, 1, 1, 0).message, "Failed to read file \"" + path + "\".") << reencode;
        EXPECT_FALSE(std::filesystem::exists(piece));
        test::WriteFile(path, test::EncodeMp3(o));
    }
}

// A source cut short after a piece's end fails only the piece that reaches the damage, even
// when the re-encoding cutter's decode-ahead thread read into it first.
TEST(CutterReadErrors, DamageAfterAPieceLeavesThePieceWhole) {
    test::TempDir dir;
    test::EncodeOptions o;
    o.seconds = 60;
    const std::string path = dir / "src.mp3";
    test::WriteFile(path, test::EncodeMp3(o));
    for (const bool reencode : {false, true}) {
        CutterOptions options;
        options.reencode = reencode;
        std::unique_ptr<CCutter> cutter = CreateCutter(options);
        ASSERT_TRUE(cutter->LoadSource(path));
        // Cut short 0.3 s after the first 20 s: within the frames the decode-ahead reads.
        std::filesystem::resize_file(path, std::filesystem::file_size(path) * 203 / 600);
        const std::string first = dir / "first.mp3";
        bool eof = false;
        EXPECT_TRUE(cutter->CutByDuration(first, 200, 1, 2, 1, 0, eof).done()) << reencode;
        EXPECT_TRUE(std::filesystem::exists(first)) << reencode;
        EXPECT_EQ(cutter->CutToEnd(dir / "second.mp3", 2, 2, 2, 0).message, "Failed to read file \"" + path + "\".")
            << reencode;
        test::WriteFile(path, test::EncodeMp3(o));
    }
}

}  // namespace
}  // namespace corvane
