// Tests of the re-encoding cutter: output parameters as mpg123 reads them, decoded audio,
// fades, budgets, rejected parameters, write failures and cancel.
#include "audio/EncodingParams.h"
#include "engine/cut/ReencodeCutter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
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
namespace fs = std::filesystem;

// The stream line mpg123 prints for a file, such as "MPEG 1.0 L III cbr192 44100 j-s".
std::string StreamLine(const std::string& path) {
    const test::ProcessResult r = test::RunProcess({"mpg123", "-t", "-v", "-n", "1", path});
    size_t at = r.err.find("\nMPEG ");
    if (at == std::string::npos) return "";
    ++at;
    return r.err.substr(at, r.err.find('\n', at) - at);
}

// RMS of channel 0 of interleaved pcm over sample frames [first, first + count).
double Rms(const std::vector<int16_t>& pcm, int channels, int64_t first, int64_t count) {
    double sum = 0;
    int64_t n = 0;
    for (int64_t i = std::max<int64_t>(first, 0); i < first + count; ++i) {
        const size_t k = static_cast<size_t>(i * channels);
        if (k >= pcm.size()) break;
        sum += static_cast<double>(pcm[k]) * pcm[k];
        ++n;
    }
    return n ? std::sqrt(sum / static_cast<double>(n)) : 0.0;
}

// Offset just past a leading ID3v2 tag of a file's bytes.
size_t AudioStart(const Bytes& bytes) { return static_cast<size_t>(Id3v2TagSize(bytes.data(), bytes.size())); }

class ReencodeCutterTest : public ::testing::Test {
protected:
    std::string MakeSource(const test::EncodeOptions& o, const std::string& name, const Bytes& prefix = {}) {
        const std::string p = dir / name;
        test::WriteFile(p, test::Concat({prefix, test::EncodeMp3(o)}));
        return p;
    }

    test::TempDir dir;
};

TEST_F(ReencodeCutterTest, SourceParametersGiveSameRateModeAndBitrate) {
    test::EncodeOptions o;
    o.kbps = 192;
    o.seconds = 6;
    const std::string source = MakeSource(o, "s192.mp3");
    CReencodeCutter cutter;
    cutter.SetEncodingParams(0, 0, kChannelModeNone);
    ASSERT_TRUE(cutter.LoadSource(source));
    EXPECT_EQ(cutter.GetOutputBitrate(), 192);
    bool eof = false;
    ASSERT_TRUE(cutter.CutByDuration(dir / "p1.mp3", 20, 1, 2, 1, 0, eof).done());
    ASSERT_TRUE(cutter.CutToEnd(dir / "p2.mp3", 2, 2, 2, 0).done());
    EXPECT_EQ(StreamLine(dir / "p1.mp3"), "MPEG 1.0 L III cbr192 44100 j-s");
    EXPECT_EQ(StreamLine(dir / "p2.mp3"), "MPEG 1.0 L III cbr192 44100 j-s");
}

TEST_F(ReencodeCutterTest, AverageOf130KbpsIsEncodedAt128) {
    // Five seconds of 112 kbps frames, then three of 160 kbps: the audio averages 130 kbps.
    test::EncodeOptions o;
    o.kbps = 112;
    o.seconds = 5;
    const Bytes first = test::EncodeMp3(o);
    o.kbps = 160;
    o.seconds = 3;
    const std::string source = dir / "s130.mp3";
    test::WriteFile(source, test::Concat({first, test::EncodeMp3(o)}));
    CReencodeCutter cutter;
    ASSERT_TRUE(cutter.LoadSource(source));
    ASSERT_EQ(cutter.GetOutputBitrate(), 130);
    ASSERT_TRUE(cutter.CutToEnd(dir / "p.mp3", 1, 1, 1, 0).done());
    EXPECT_EQ(StreamLine(dir / "p.mp3"), "MPEG 1.0 L III cbr128 44100 j-s");
}

TEST_F(ReencodeCutterTest, ChosenParametersGiveMono22050At64WithTheSourceAudio) {
    test::EncodeOptions o;
    o.seconds = 4;
    const std::string source = MakeSource(o, "s.mp3");
    CReencodeCutter cutter;
    cutter.SetEncodingParams(22050, 64, kChannelModeMono);
    ASSERT_TRUE(cutter.LoadSource(source));
    EXPECT_EQ(cutter.GetOutputBitrate(), 64);
    bool eof = false;
    ASSERT_TRUE(cutter.CutByDuration(dir / "p1.mp3", 30, 1, 2, 1, 0, eof).done());
    EXPECT_EQ(StreamLine(dir / "p1.mp3"), "MPEG 2.0 L III cbr64 22050 mono");

    // LAME's Info frame comes first, with the delay and padding of this encoding, so that a
    // gapless decoder plays what was encoded and nothing more.
    const Bytes piece = test::ReadFile(dir / "p1.mp3");
    const uint8_t* first = piece.data() + AudioStart(piece);
    ASSERT_TRUE(IsFrameHeader(first));
    const MpegFrameHeader h = DecodeFrameHeader(first);
    ASSERT_TRUE(IsXingFrame(first, static_cast<size_t>(h.frameLength), h));
    int delay = 0;
    int padding = 0;
    ASSERT_TRUE(CMp3Reader::ReadLameDelays(first, static_cast<uint32_t>(h.frameLength), delay, padding));
    EXPECT_EQ(delay, 576);
    EXPECT_GT(padding, 0);

    // The audio is the source's: the source mixed to mono, taken at every other sample,
    // correlates with the piece at some lag within the encoder delays.
    const test::DecodeResult src = test::DecodeWithMpg123(source);
    const test::DecodeResult out = test::DecodeWithMpg123(dir / "p1.mp3");
    ASSERT_TRUE(src.ok && out.ok);
    ASSERT_EQ(out.channels, 1);
    ASSERT_EQ(out.sampleRate, 22050);
    std::vector<double> a, b;
    for (int64_t i = 0; i + 1 < src.samples; i += 2) {
        a.push_back(0.25 * (src.pcm[2 * i] + src.pcm[2 * i + 1] + src.pcm[2 * i + 2] + src.pcm[2 * i + 3]));
    }
    for (int16_t s : out.pcm) b.push_back(s);
    const size_t window = 22050;  // one second from 0.5 s on
    double best = 0;
    for (size_t lag = 0; lag < 3000; ++lag) {
        double ab = 0, aa = 0, bb = 0;
        for (size_t i = 11025; i < 11025 + window; ++i) {
            ab += a[i] * b[i + lag];
            aa += a[i] * a[i];
            bb += b[i + lag] * b[i + lag];
        }
        best = std::max(best, ab / std::sqrt(aa * bb));
    }
    EXPECT_GT(best, 0.95);
}

TEST_F(ReencodeCutterTest, FadeInStartsSilentAndReachesTheSourceLevel) {
    test::EncodeOptions o;
    o.seconds = 10;
    const std::string source = MakeSource(o, "s.mp3");
    const test::DecodeResult src = test::DecodeWithMpg123(source);
    const double level = Rms(src.pcm, 2, 44100, 44100);
    CReencodeCutter cutter;
    ASSERT_TRUE(cutter.LoadSource(source));
    cutter.SetFadeIn(true, 20);
    EXPECT_EQ(cutter.fadeInSamples(), 88200u);
    bool eof = false;
    ASSERT_TRUE(cutter.CutByDuration(dir / "p1.mp3", 40, 1, 2, 1, 0, eof).done());
    ASSERT_TRUE(cutter.CutToEnd(dir / "p2.mp3", 2, 2, 2, 0).done());
    for (const char* name : {"p1.mp3", "p2.mp3"}) {
        SCOPED_TRACE(name);
        const test::DecodeResult out = test::DecodeWithMpg123(dir / name);
        ASSERT_TRUE(out.ok);
        EXPECT_LT(Rms(out.pcm, 2, 0, 1152), 0.01 * level);
        // Past 2 s (and the encoder's delay) the level is the source's.
        EXPECT_NEAR(Rms(out.pcm, 2, 2 * 44100 + 2304, 22050), level, 0.1 * level);
        // Halfway through the fade the level is about half.
        EXPECT_NEAR(Rms(out.pcm, 2, 44100 - 2048 + 1105, 4096), 0.5 * level, 0.1 * level);
    }
}

TEST_F(ReencodeCutterTest, FadeOutEndsNearSilenceAt22050) {
    test::EncodeOptions o;
    o.sampleRate = 22050;
    o.kbps = 64;
    o.seconds = 8;
    const std::string source = MakeSource(o, "s.mp3");
    const test::DecodeResult src = test::DecodeWithMpg123(source);
    const double level = Rms(src.pcm, 2, 22050, 22050);
    CReencodeCutter cutter;
    ASSERT_TRUE(cutter.LoadSource(source));
    cutter.SetFadeOut(true, 15);
    EXPECT_EQ(cutter.fadeOutSamples(), 33075u);
    bool eof = false;
    ASSERT_TRUE(cutter.CutByDuration(dir / "p1.mp3", 40, 1, 2, 1, 0, eof).done());
    ASSERT_TRUE(cutter.CutToEnd(dir / "p2.mp3", 2, 2, 2, 0).done());
    for (const char* name : {"p1.mp3", "p2.mp3"}) {
        SCOPED_TRACE(name);
        const test::DecodeResult out = test::DecodeWithMpg123(dir / name);
        ASSERT_TRUE(out.ok);
        EXPECT_LT(Rms(out.pcm, 2, out.samples - 576, 576), 0.02 * level);
        EXPECT_LT(Rms(out.pcm, 2, out.samples - 2304, 1152), 0.1 * level);
        // Before the fade the level is the source's.
        EXPECT_NEAR(Rms(out.pcm, 2, out.samples - 2 * 22050, 8000), level, 0.1 * level);
    }
}

TEST_F(ReencodeCutterTest, MonoSourceIsEncodedAsOneChannelAndFaded) {
    test::EncodeOptions o;
    o.channels = 1;
    o.mode = test::Mode::Mono;
    o.kbps = 64;
    o.seconds = 5;
    const std::string source = MakeSource(o, "m.mp3");
    CReencodeCutter cutter;
    ASSERT_TRUE(cutter.LoadSource(source));
    cutter.SetFadeIn(true, 10);
    ASSERT_TRUE(cutter.CutToEnd(dir / "p.mp3", 1, 1, 1, 0).done());
    EXPECT_EQ(StreamLine(dir / "p.mp3"), "MPEG 1.0 L III cbr64 44100 mono");
    const test::DecodeResult out = test::DecodeWithMpg123(dir / "p.mp3");
    ASSERT_EQ(out.channels, 1);
    const double level = Rms(out.pcm, 1, 3 * 44100, 44100);
    EXPECT_LT(Rms(out.pcm, 1, 0, 1152), 0.01 * level);
}

TEST_F(ReencodeCutterTest, DurationBudgetAndFlushGiveTheWholeDuration) {
    test::EncodeOptions o;
    o.seconds = 6;
    const std::string source = MakeSource(o, "s.mp3");
    CReencodeCutter cutter;
    ASSERT_TRUE(cutter.LoadSource(source));
    bool eof = true;
    ASSERT_TRUE(cutter.CutByDuration(dir / "p1.mp3", 20, 1, 2, 1, 0, eof).done());
    EXPECT_FALSE(eof);
    const test::DecodeResult out = test::DecodeWithMpg123(dir / "p1.mp3");
    // 2 s, plus LAME's delay (576 + 529) at the start; the flushed frames carry the end.
    EXPECT_GE(out.samples, 88200 + 1105);
    EXPECT_LE(out.samples, 88200 + 1105 + 4 * 1152);
}

// The decoder keeps each frame's samples until the next frame comes; at the end of the
// source it is emptied, so the source's last frame is encoded too. LAME's own output length
// for the same number of samples is the reference.
TEST_F(ReencodeCutterTest, TheLastPieceCarriesTheSourcesLastFrame) {
    test::EncodeOptions o;
    o.seconds = 3;
    const std::string source = MakeSource(o, "s.mp3");
    const int64_t sourceSamples = test::DecodeWithMpg123(source).samples;
    CReencodeCutter cutter;
    ASSERT_TRUE(cutter.LoadSource(source));
    cutter.keepTag = false;
    ASSERT_TRUE(cutter.CutToEnd(dir / "p.mp3", 1, 1, 1, 0).done());
    const std::vector<int16_t> samePcmLength(static_cast<size_t>(sourceSamples * 2), 0);
    test::WriteFile(dir / "ref.mp3", test::EncodePcm(o, samePcmLength));
    EXPECT_EQ(test::DecodeWithMpg123(dir / "p.mp3").samples, test::DecodeWithMpg123(dir / "ref.mp3").samples);
}

TEST_F(ReencodeCutterTest, SizeBudgetCountsEncodedBytes) {
    test::EncodeOptions o;
    o.seconds = 8;
    const std::string source = MakeSource(o, "s.mp3");
    CReencodeCutter cutter;
    cutter.SetEncodingParams(44100, 64, kChannelModeJointStereo);
    ASSERT_TRUE(cutter.LoadSource(source));
    cutter.keepTag = false;
    bool eof = true;
    ASSERT_TRUE(cutter.CutBySize(dir / "p1.mp3", 40000, 1, 2, 1, 0, eof).done());
    EXPECT_FALSE(eof);
    // Frames of 64 kbps are 208 or 209 bytes; the flush adds at most a few frames.
    const uintmax_t size = fs::file_size(dir / "p1.mp3");
    EXPECT_GE(size, 40000u);
    EXPECT_LE(size, 40000u + 6 * 209);
}

TEST_F(ReencodeCutterTest, SourceEndingInsideAPieceSetsEndOfFile) {
    test::EncodeOptions o;
    o.seconds = 3;
    const std::string source = MakeSource(o, "s.mp3");
    CReencodeCutter cutter;
    ASSERT_TRUE(cutter.LoadSource(source));
    bool eof = false;
    ASSERT_TRUE(cutter.CutByDuration(dir / "p1.mp3", 100, 1, 2, 1, 0, eof).done());
    EXPECT_TRUE(eof);
    const test::DecodeResult out = test::DecodeWithMpg123(dir / "p1.mp3");
    EXPECT_LT(out.samples, 4 * 44100);
}

TEST_F(ReencodeCutterTest, PieceShorterThanItsFadeInIsExtended) {
    test::EncodeOptions o;
    o.seconds = 8;
    const std::string source = MakeSource(o, "s.mp3");
    CReencodeCutter cutter;
    ASSERT_TRUE(cutter.LoadSource(source));
    cutter.SetFadeIn(true, 30);
    bool eof = false;
    ASSERT_TRUE(cutter.CutByDuration(dir / "p1.mp3", 10, 1, 2, 1, 0, eof).done());
    EXPECT_GE(test::DecodeWithMpg123(dir / "p1.mp3").samples, 3 * 44100);
}

TEST_F(ReencodeCutterTest, VbrHeaderOfTheSourceIsNotCopied) {
    test::EncodeOptions o;
    o.vbr = true;
    o.infoFrame = true;
    o.seconds = 4;
    const std::string source = MakeSource(o, "v.mp3");
    CReencodeCutter cutter;
    ASSERT_TRUE(cutter.LoadSource(source));
    ASSERT_NE(cutter.reader().vbrFrame(), nullptr);
    cutter.keepTag = false;
    ASSERT_TRUE(cutter.CutToEnd(dir / "p.mp3", 1, 1, 1, 0).done());
    const Bytes piece = test::ReadFile(dir / "p.mp3");
    ASSERT_TRUE(IsFrameHeader(piece.data()));
    const MpegFrameHeader h = DecodeFrameHeader(piece.data());
    EXPECT_FALSE(IsXingFrame(piece.data(), static_cast<size_t>(h.frameLength), h));
}

// ---- Failures ----

TEST_F(ReencodeCutterTest, BitrateLameWouldChangeFailsThePieceAndLeavesNoFile) {
    test::EncodeOptions o;
    o.seconds = 2;
    const std::string source = MakeSource(o, "s.mp3");
    CReencodeCutter cutter;
    cutter.SetEncodingParams(8000, 320, kChannelModeJointStereo);
    ASSERT_TRUE(cutter.LoadSource(source));
    bool eof = false;
    const Outcome outcome = cutter.CutByDuration(dir / "p1.mp3", 10, 1, 2, 1, 0, eof);
    EXPECT_TRUE(outcome.failed());
    EXPECT_EQ(outcome.message, "Bad encoding parameter: 8000Hz, 320kbps, 1");
    EXPECT_FALSE(fs::exists(dir / "p1.mp3"));
    EXPECT_TRUE(cutter.CutToEnd(dir / "p2.mp3", 2, 2, 2, 0).failed());
    EXPECT_FALSE(fs::exists(dir / "p2.mp3"));
}

TEST_F(ReencodeCutterTest, UncreatableOutputFailsWithItsMessage) {
    test::EncodeOptions o;
    o.seconds = 2;
    const std::string source = MakeSource(o, "s.mp3");
    CReencodeCutter cutter;
    ASSERT_TRUE(cutter.LoadSource(source));
    const std::string piece = dir / "missing/p.mp3";
    const Outcome outcome = cutter.CutToEnd(piece, 1, 1, 1, 0);
    EXPECT_TRUE(outcome.failed());
    EXPECT_EQ(outcome.message, "Failed to create file \"" + piece + "\".");
}

TEST_F(ReencodeCutterTest, WriteFailureFailsThePieceAndDeletesIt) {
    test::EncodeOptions o;
    o.seconds = 10;
    const std::string source = MakeSource(o, "s.mp3");
    const std::string piece = dir / "p.mp3";
    const pid_t pid = fork();
    if (pid == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{20000, 20000};
        setrlimit(RLIMIT_FSIZE, &limit);
        CReencodeCutter cutter;
        if (!cutter.LoadSource(source)) _exit(10);
        bool eof = false;
        const Outcome outcome = cutter.CutByDuration(piece, 60, 1, 2, 1, 0, eof);
        if (!outcome.failed()) _exit(11);
        if (outcome.message != "Failed to write file \"" + piece + "\".") _exit(12);
        if (fs::exists(piece)) _exit(13);
        _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST_F(ReencodeCutterTest, CancelDuringTheFadeOutDeletesThePiece) {
    test::EncodeOptions o;
    o.seconds = 10;
    const std::string source = MakeSource(o, "s.mp3");
    test::FakeProgress progress;
    progress.width = 100;
    // The fade-out covers the last 3 of 10 s; the bar passes 90 % inside it.
    progress.cancelAfterUpdates = 90;
    CReencodeCutter cutter;
    ASSERT_TRUE(cutter.LoadSource(source));
    cutter.SetCancelFlag(&progress.cancelled);
    cutter.SetProgressBar(&progress);
    cutter.SetFadeOut(true, 30);
    EXPECT_TRUE(cutter.CutToEnd(dir / "p.mp3", 1, 1, 1, 0).cancelled());
    EXPECT_FALSE(fs::exists(dir / "p.mp3"));
    EXPECT_GE(progress.positions.back(), 70);
}

}  // namespace
}  // namespace corvane
