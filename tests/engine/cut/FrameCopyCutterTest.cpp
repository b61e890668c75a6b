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

// 8000 Hz MPEG 2.5 mono: 576 samples a frame, 800 a tenth (72 tenths = 100 frames). The source
// has no LAME tag, so a gapless decoder plays it from its first frame's first sample on, and
// its pieces' delays count from there.
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
        lastFrame = offsets.size() - 2;
    }

    // The bytes of source frames first..last inclusive.
    Bytes Frames(size_t first, size_t last) const {
        return Bytes(source.begin() + static_cast<long>(offsets[first]), source.begin() + static_cast<long>(offsets[last + 1]));
    }

    // Expects the piece name (no tag) to be a header frame that counts its frames and bytes
    // and gives delay and padding, a silent frame of silent bytes (0: none), then the source's
    // frames first..last.
    void ExpectPiece(const std::string& name, size_t silent, size_t first, size_t last, int delay, int padding) const {
        const Bytes piece = test::ReadFile(dir / name);
        ASSERT_GT(piece.size(), 4u) << name;
        const size_t header = static_cast<size_t>(DecodeFrameHeader(piece.data()).frameLength);
        ASSERT_GE(piece.size(), header + silent) << name;
        int d = -1, p = -1;
        ASSERT_TRUE(CMp3Reader::ReadLameDelays(piece.data(), static_cast<uint32_t>(header), d, p)) << name;
        EXPECT_EQ(d, delay) << name;
        EXPECT_EQ(p, padding) << name;
        const uint8_t* info = piece.data() + 4 + 9;  // after the header and the mono side info
        ASSERT_EQ(std::memcmp(info, "Info", 4), 0) << name;
        auto field = [&](int at) {
            return uint32_t(info[at]) << 24 | info[at + 1] << 16 | info[at + 2] << 8 | info[at + 3];
        };
        EXPECT_EQ(field(8), (silent > 0 ? 1 : 0) + last + 1 - first) << name;
        EXPECT_EQ(field(12), piece.size()) << name;
        if (silent > 0) {
            EXPECT_EQ(static_cast<size_t>(DecodeFrameHeader(piece.data() + header).frameLength), silent) << name;
        }
        EXPECT_EQ(Bytes(piece.begin() + static_cast<long>(header + silent), piece.end()), Frames(first, last)) << name;
    }

    test::TempDir dir;
    Bytes source;
    std::string path;
    std::vector<size_t> offsets;
    size_t lastFrame = 0;
};

// A piece from the source's start begins with a silent frame, which the decoder's 529 samples
// of delay and 47 more drop. A later one begins with a silent frame that carries the bit
// reservoir and the two frames before the one its first sample falls in; its delay drops all
// before that sample. The padding drops the last frame's samples after the piece's end.
TEST_F(FrameCopyCutterTest, WorkedSequenceWithOverlapsGivesExactFrames) {
    CFrameCopyCutter cutter;
    ASSERT_TRUE(cutter.LoadSource(path));
    cutter.SetForwardOverlap(7);
    cutter.SetBackwardOverlap(3);
    cutter.keepTag = false;
    bool eof = true;

    // Samples 0..60000 (7.2 s and the 0.3 s backward overlap): frames 0..104.
    ASSERT_TRUE(cutter.CutByDuration(dir / "p1.mp3", 72, 1, 3, 1, 0, eof).done());
    EXPECT_FALSE(eof);
    ExpectPiece("p1.mp3", 72, 0, 104, 47, 105 * 576 + 529 - 60000);
    EXPECT_EQ(cutter.reader().position(), offsets[100]);
    // The history keeps the newest twelve records and before them the fewest whose samples
    // reach both overlaps (8000 samples: 14 frames), less the five stepped back over.
    EXPECT_EQ(cutter.frameHistory().size(), 21u);

    // 52000..117600 (the 0.7 s forward overlap before 7.2 s): 52000 falls in frame 90.
    ASSERT_TRUE(cutter.CutByDuration(dir / "p2.mp3", 72, 2, 3, 2, 0, eof).done());
    ExpectPiece("p2.mp3", 288, 88, 204, 52000 - 87 * 576 - 529, 205 * 576 + 529 - 117600);
    EXPECT_EQ(cutter.reader().position(), offsets[200]);

    ASSERT_TRUE(cutter.CutToEnd(dir / "p3.mp3", 3, 3, 3, 0).done());
    ExpectPiece("p3.mp3", 72, 188, lastFrame, 109600 - 187 * 576 - 529, 529);
}

// A piece of a size ends with the frame that crosses it; the next one's first sample is the
// first of the frame after, so it repeats the two frames before.
TEST_F(FrameCopyCutterTest, APieceAfterOneOfASizeRepeatsTheFramesItsFirstNeeds) {
    CFrameCopyCutter cutter;
    ASSERT_TRUE(cutter.LoadSource(path));
    cutter.keepTag = false;
    bool eof = false;
    ASSERT_TRUE(cutter.CutBySize(dir / "a.mp3", 10000, 1, 2, 1, 0, eof).done());
    ASSERT_TRUE(cutter.CutToEnd(dir / "b.mp3", 2, 2, 2, 0).done());
    ASSERT_LT(offsets[69], 10000u);
    ASSERT_GE(offsets[70], 10000u);
    ExpectPiece("a.mp3", 72, 0, 69, 47, 529);
    ExpectPiece("b.mp3", 288, 68, lastFrame, 3 * 576 - 529, 529);
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
    ExpectPiece("p.mp3", 288, 88, 199, 52000 - 87 * 576 - 529, 529);
}

TEST_F(FrameCopyCutterTest, AnOverlapLongerThanTheHistoryStartsAtTheFirstFrame) {
    CFrameCopyCutter cutter;
    ASSERT_TRUE(cutter.LoadSource(path));
    cutter.keepTag = false;
    cutter.SetForwardOverlap(100);  // 10 seconds
    bool eof = false;
    ASSERT_TRUE(cutter.CutByDuration(dir / "p1.mp3", 36, 1, 2, 1, 0, eof).done());
    ExpectPiece("p1.mp3", 72, 0, 49, 47, 529);
    ASSERT_TRUE(cutter.CutByDuration(dir / "p2.mp3", 36, 2, 2, 2, 0, eof).done());
    ExpectPiece("p2.mp3", 72, 0, 99, 47, 529);
}

// An overlap past the source's end ends the piece there, not the cut.
TEST_F(FrameCopyCutterTest, ABackwardOverlapEndsQuietlyAtTheLastFrame) {
    CFrameCopyCutter cutter;
    ASSERT_TRUE(cutter.LoadSource(path));
    cutter.keepTag = false;
    cutter.SetBackwardOverlap(600);
    bool eof = false;
    ASSERT_TRUE(cutter.CutByDuration(dir / "p.mp3", 72, 1, 2, 1, 0, eof).done());
    EXPECT_FALSE(eof);
    ExpectPiece("p.mp3", 72, 0, lastFrame, 47, 529);
    EXPECT_EQ(cutter.reader().position(), offsets[100]);
}

TEST_F(FrameCopyCutterTest, TheSourceEndingInsideAPieceSetsEndOfFile) {
    CFrameCopyCutter cutter;
    ASSERT_TRUE(cutter.LoadSource(path));
    cutter.keepTag = false;
    bool eof = false;
    ASSERT_TRUE(cutter.CutByDuration(dir / "p.mp3", 3000, 1, 1, 1, 0, eof).done());
    EXPECT_TRUE(eof);
    ExpectPiece("p.mp3", 72, 0, lastFrame, 47, 529);
}

// Pieces whose first sample a delay (at most 4095, and the decoder's 529) reaches from the
// silent frame before the source's start copy the frames from there; the one from frame 9 on
// does not.
TEST_F(FrameCopyCutterTest, PiecesNearTheStartCopyFromTheFirstFrame) {
    CFrameCopyCutter cutter;
    ASSERT_TRUE(cutter.LoadSource(path));
    cutter.keepTag = false;
    bool eof = false;
    ASSERT_TRUE(cutter.CutBySize(dir / "a.mp3", 1, 1, 4, 1, 0, eof).done());
    ExpectPiece("a.mp3", 72, 0, 0, 47, 529);
    ASSERT_TRUE(cutter.CutBySize(dir / "b.mp3", offsets[4] - offsets[1] - 1, 2, 4, 2, 0, eof).done());
    ExpectPiece("b.mp3", 72, 0, 3, 576 + 47, 529);
    ASSERT_TRUE(cutter.CutBySize(dir / "c.mp3", offsets[9] - offsets[4] - 1, 3, 4, 3, 0, eof).done());
    ExpectPiece("c.mp3", 72, 0, 8, 4 * 576 + 47, 529);
    ASSERT_TRUE(cutter.CutToEnd(dir / "d.mp3", 4, 4, 4, 0).done());
    ExpectPiece("d.mp3", 216, 7, lastFrame, 3 * 576 - 529, 529);
}

// 5368720 tenths at 8000 Hz are 4294976000 samples, past 32 bits.
TEST_F(FrameCopyCutterTest, ADurationPastThirtyTwoBitsOfSamplesRunsToTheEnd) {
    CFrameCopyCutter cutter;
    ASSERT_TRUE(cutter.LoadSource(path));
    cutter.keepTag = false;
    bool eof = false;
    ASSERT_TRUE(cutter.CutByDuration(dir / "p.mp3", 5368720, 1, 1, 1, 0, eof).done());
    EXPECT_TRUE(eof);
    ExpectPiece("p.mp3", 72, 0, lastFrame, 47, 529);
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
        // The first piece starts where the source does and ends 2 s in, inside frame 77; the
        // second starts there, after a silent frame that carries the reservoir and frame 76,
        // and ends as the source does.
        const int end = 20 * 4410 + sourceDelay + 529;  // in the decoded stream
        EXPECT_EQ(delay, name == "a.mp3" ? sourceDelay : 2 * 1152 + end % 1152 - 529) << name;
        EXPECT_EQ(padding, name == "a.mp3" ? (end / 1152 + 1) * 1152 + 529 - end : sourcePadding) << name;
        EXPECT_EQ(Bytes(vbr.begin(), vbr.begin() + 44), Bytes(frames.begin(), frames.begin() + 44)) << name;
    }
}

// Cuts the source at path in two at tenths (a.mp3 and b.mp3 beside it, without tags) and
// checks that each piece's LAME tag gives the music CRC of all its frames; returns both.
std::vector<Bytes> CutInTwoCheckingTheCrcs(const std::string& path, int64_t tenths) {
    const std::filesystem::path dir = std::filesystem::path(path).parent_path();
    CFrameCopyCutter cutter;
    EXPECT_TRUE(cutter.LoadSource(path));
    cutter.keepTag = false;
    bool eof = false;
    EXPECT_TRUE(cutter.CutByDuration(dir / "a.mp3", tenths, 1, 2, 1, 0, eof).done());
    EXPECT_TRUE(cutter.CutToEnd(dir / "b.mp3", 2, 2, 2, 0).done());
    std::vector<Bytes> pieces = {test::ReadFile(dir / "a.mp3"), test::ReadFile(dir / "b.mp3")};
    for (const Bytes& piece : pieces) {
        if (piece.size() < 4 || !IsFrameHeader(piece.data())) {
            ADD_FAILURE() << "no piece";
            continue;
        }
        const MpegFrameHeader h = DecodeFrameHeader(piece.data());
        const size_t header = static_cast<size_t>(h.frameLength);
        const size_t crcAt = static_cast<size_t>(VbrTagOffset(h)) + 120 + 32;
        const uint16_t crc = static_cast<uint16_t>(piece[crcAt] << 8 | piece[crcAt + 1]);
        EXPECT_EQ(crc, LameCrc16(0, piece.data() + header, piece.size() - header));
    }
    return pieces;
}

// seconds of LAME at 320 kbps with its Info frame.
Bytes Encode320WithInfo(int seconds) {
    test::EncodeOptions o;
    o.kbps = 320;
    o.infoFrame = true;
    o.seconds = seconds;
    return test::EncodeMp3(o);
}

// Pieces of more than a megabyte are summed and written in steps; each one's LAME tag still
// gives the music CRC of all its frames, and the first holds the source's frames as they are.
TEST(FrameCopyCutterVbr, ThePiecesOfALongSourceCarryTheCrcOfAllTheirFrames) {
    test::TempDir dir;
    const Bytes source = Encode320WithInfo(60);
    const std::string path = dir / "long.mp3";
    test::WriteFile(path, source);
    const size_t header = static_cast<size_t>(DecodeFrameHeader(source.data()).frameLength);
    const std::vector<Bytes> pieces = CutInTwoCheckingTheCrcs(path, 450);
    ASSERT_GT(pieces[0].size(), 1800000u);
    ASSERT_GT(pieces[1].size(), 500000u);
    EXPECT_TRUE(std::equal(pieces[0].begin() + static_cast<long>(header), pieces[0].end(),
                           source.begin() + static_cast<long>(header)));
}

// Frames shorter than the bit rate an Info frame promises: the sum that runs ahead of the
// copy overshoots them, and the CRC is taken again over what was copied.
TEST(FrameCopyCutterVbr, FramesShorterThanTheInfoFramePromisesStillGetTheirCrc) {
    test::TempDir dir;
    Bytes encoded = Encode320WithInfo(20);
    const size_t split = test::FrameOffsets(encoded, 0)[400];
    // The Info frame counts the frames put in (32 kbps, 104 bytes each), so that it is believed.
    const size_t counts = static_cast<size_t>(VbrTagOffset(DecodeFrameHeader(encoded.data()))) + 8;
    for (size_t field = counts, added = 800; field < counts + 8; field += 4, added *= 104) {
        uint32_t value = 0;
        for (size_t i = 0; i < 4; ++i) value = value << 8 | encoded[field + i];
        value += static_cast<uint32_t>(added);
        for (size_t i = 0; i < 4; ++i) encoded[field + i] = static_cast<uint8_t>(value >> (24 - 8 * i));
    }
    const std::string path = dir / "mixed.mp3";
    test::WriteFile(path, test::Concat({Bytes(encoded.begin(), encoded.begin() + static_cast<long>(split)),
                                        test::RepeatFrame(test::MakeFrame(3, 3, 1, 0, 0, 1), 800),
                                        Bytes(encoded.begin() + static_cast<long>(split), encoded.end())}));
    for (const Bytes& piece : CutInTwoCheckingTheCrcs(path, 150)) EXPECT_GT(piece.size(), 100000u);
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
