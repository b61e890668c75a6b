// Tests of the peaks of a stretch: a decode of the stretch alone gives the columns of the
// whole decode, a fine enough map serves without decoding, a cancel.
#include "engine/Peaks.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "audio/AudioLibrary.h"
#include "support/Mp3Factory.h"

namespace corvane {
namespace {

using Clock = std::chrono::steady_clock;

// Every sample of path from its start, as the peak map's decode reads it.
std::vector<int16_t> DecodeWhole(const std::string& path) {
    const audio::Handle h = audio::StreamCreateFile(path, 0, 0, audio::kStreamDecode | audio::kStreamGapless);
    std::vector<int16_t> pcm(static_cast<size_t>(std::max<int64_t>(audio::ChannelGetLength(h), 0) / 2));
    size_t got = 0;
    for (int32_t n; got < pcm.size() && (n = audio::ChannelGetData(h, pcm.data() + got, static_cast<uint32_t>((pcm.size() - got) * 2))) > 0;)
        got += static_cast<size_t>(n) / 2;
    audio::StreamFree(h);
    pcm.resize(got);
    return pcm;
}

// The columns of [from, to) as the header defines them, from the whole decode.
std::vector<PeakColumn> ExpectedColumns(const std::vector<int16_t>& pcm, uint32_t channels, uint64_t from, uint64_t to,
                                        uint32_t columns) {
    std::vector<PeakColumn> out;
    for (uint64_t c = 0; c < columns; ++c) {
        const uint64_t first = from + (to - from) * c / columns;
        const uint64_t end = std::max(from + (to - from) * (c + 1) / columns, first + 1);
        const PeakBin bin = PeaksOfRun(pcm.data() + first * channels, pcm.data() + end * channels);
        out.push_back({true, bin.low, bin.high});
    }
    return out;
}

class StretchPeaksTest : public ::testing::Test {
protected:
    void SetUp() override { setenv("XDG_CACHE_HOME", (dir_ / "cache").c_str(), 1); }
    void TearDown() override { unsetenv("XDG_CACHE_HOME"); }
    test::TempDir dir_;
    const std::atomic<bool> never_{false};
};

TEST_F(StretchPeaksTest, ADecodedStretchHasTheColumnsOfTheWholeDecodeOnTheGaplessTimeline) {
    // VBR at the lowest quality leans on the bit reservoir, and its LAME tag's delay puts the
    // decoded stream 1105 samples into the first frame's: no stretch below starts on a frame.
    test::EncodeOptions o;
    o.vbr = true;
    o.vbrQuality = 9;
    o.infoFrame = true;
    o.seconds = 70;
    const std::string path = dir_ / "vbr.mp3";
    test::WriteFile(path, test::EncodeMp3(o));
    const std::vector<int16_t> whole = DecodeWhole(path);
    const uint64_t frames = whole.size() / 2;

    // The whole decode is what a gapless decoder plays: ffmpeg's samples, within the last bit.
    const test::DecodeResult gapless = test::DecodeGapless(path);
    ASSERT_TRUE(gapless.ok) << gapless.messages;
    ASSERT_EQ(gapless.pcm.size(), whole.size());
    int most = 0;
    for (size_t i = 0; i < whole.size(); ++i) most = std::max(most, std::abs(whole[i] - gapless.pcm[i]));
    EXPECT_LE(most, 1);

    StretchPeaks out;
    struct Stretch {
        uint64_t from, to;
        uint32_t columns;
    };
    // Past the first seek step of a minute; near the start; more columns than frames; past
    // the end (clamped).
    for (const Stretch s : {Stretch{61 * 44100 + 333, 61 * 44100 + 333 + 10007, 37}, Stretch{5000, 9000, 7},
                            Stretch{123457, 123507, 80}, Stretch{frames - 700, frames + 5000, 9}}) {
        SCOPED_TRACE(s.from);
        ASSERT_TRUE(LoadStretchPeaks(path, s.from, s.to, s.columns, out, never_).done());
        const uint64_t to = std::min(s.to, frames);
        EXPECT_EQ(out.from, s.from);
        EXPECT_EQ(out.to, to);
        EXPECT_EQ(out.columns, ExpectedColumns(whole, 2, s.from, to, s.columns));
    }

    // The map of the file, decoded in two halves at once, holds the same bins, and the
    // cache hands it out without decoding.
    PeakMap cached;
    EXPECT_FALSE(LoadCachedPeakMap(path, cached));
    PeakMap map;
    ASSERT_TRUE(LoadPeakMap(path, map, never_).done());
    PeakMap expected = MakeEmptyPeakMap(frames, 44100, 2);
    AddPcmToBins(expected, 0, whole.data(), frames);
    EXPECT_EQ(map.bins, expected.bins);
    ASSERT_TRUE(LoadCachedPeakMap(path, cached));
    EXPECT_EQ(cached.bins, map.bins);
}

TEST_F(StretchPeaksTest, AFineEnoughCompleteMapServesTheStretchWithoutTheFile) {
    const std::string missing = dir_ / "gone.mp3";
    PeakMap map = MakeEmptyPeakMap(160000, 44100, 1);  // bins of 16 frames
    std::vector<int16_t> ramp(160000);
    for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<int16_t>(i % 30000 - 15000);
    AddPcmToBins(map, 0, ramp.data(), ramp.size());

    // Ten columns of 64 frames: four bins each.
    StretchPeaks out;
    ASSERT_TRUE(LoadStretchPeaks(missing, 1000, 1640, 10, out, never_, &map).done());
    EXPECT_EQ(out.frames, 160000u);
    EXPECT_EQ(out.sampleRate, 44100u);
    ASSERT_EQ(out.columns.size(), 10u);
    for (uint64_t c = 0; c < 10; ++c) EXPECT_EQ(out.columns[c], PeaksOfRange(map, 1000 + 64 * c, 1064 + 64 * c)) << c;
    EXPECT_EQ(out.columns[0], (PeakColumn{true, -14008, -13929}));  // bins 62 to 66: frames 992 to 1071

    // Columns of fewer than four bins, or a map not complete, send it to the file.
    const std::string failure = "Failed to load file \"" + missing + "\".";
    EXPECT_EQ(LoadStretchPeaks(missing, 1000, 1640, 11, out, never_, &map).message, failure);
    EXPECT_TRUE(out.columns.empty());
    map.bins[70] = PeakBin{};
    EXPECT_EQ(LoadStretchPeaks(missing, 1000, 1640, 10, out, never_, &map).message, failure);
}

TEST_F(StretchPeaksTest, ACancelEndsTheDecodeWithinFiftyMilliseconds) {
    test::EncodeOptions o;
    o.sampleRate = 8000;
    o.channels = 1;
    o.mode = test::Mode::Mono;
    o.kbps = 8;
    o.seconds = 1200;
    const std::string path = dir_ / "long.mp3";
    test::WriteFile(path, test::EncodeMp3(o));

    StretchPeaks out;
    const std::atomic<bool> already{true};
    EXPECT_TRUE(LoadStretchPeaks(path, 0, 9600000, 100, out, already).cancelled());

    std::atomic<bool> cancel{false};
    Clock::time_point cancelled;
    std::thread canceller([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        cancelled = Clock::now();
        cancel.store(true);
    });
    const Outcome outcome = LoadStretchPeaks(path, 600000, 9600000, 100, out, cancel);
    const auto returned = Clock::now();
    canceller.join();
    EXPECT_TRUE(outcome.cancelled());
    EXPECT_TRUE(out.columns.empty());
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(returned - cancelled).count(), kPeakCancelMs);
}

}  // namespace
}  // namespace corvane
