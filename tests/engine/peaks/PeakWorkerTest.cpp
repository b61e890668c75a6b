// Tests of the peaks of real files: silence and tone where they are, the bins of a decode in
// two stretches, the cache, files that do not decode, and a cancel while bins come in.
#include "engine/Peaks.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <thread>

#include "engine/peaks/PeakCache.h"
#include "support/Mp3Factory.h"

namespace corvane {
namespace {

constexpr int kRate = 44100;
constexpr double kToneSeconds = 1.0;
constexpr double kSilenceSeconds = 2.0;
constexpr double kAmplitude = 0.5;
constexpr double kToneHz = 441.0;
// LAME's encoder delay: the decoded audio (no gapless trimming) starts this much late.
constexpr double kEncoderDelaySeconds = 1105.0 / kRate;

using Clock = std::chrono::steady_clock;

int64_t MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// Waits until done() holds, for 20 s at most (a hang fails the test instead of stalling it).
template <typename Done>
bool WaitUntil(Done done) {
    const auto limit = Clock::now() + std::chrono::seconds(20);
    while (!done()) {
        if (Clock::now() > limit) return false;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

// Tone, silence, tone: a sine of kAmplitude on both channels around digital zeros.
test::Bytes ToneSilenceTone() {
    std::vector<int16_t> pcm;
    const auto tone = [&] {
        for (int i = 0; i < static_cast<int>(kToneSeconds * kRate); ++i) {
            const auto s = static_cast<int16_t>(std::lround(kAmplitude * 32768 * std::sin(2 * M_PI * kToneHz * i / kRate)));
            pcm.push_back(s);
            pcm.push_back(s);
        }
    };
    tone();
    pcm.insert(pcm.end(), static_cast<size_t>(kSilenceSeconds * kRate) * 2, 0);
    tone();
    // At the highest bit rate: lower ones give a pure tone a few per cent less amplitude.
    test::EncodeOptions o;
    o.kbps = 320;
    return test::EncodePcm(o, pcm);
}

class PeakWorker : public ::testing::Test {
protected:
    void SetUp() override { setenv("XDG_CACHE_HOME", (dir_ / "cache").c_str(), 1); }
    void TearDown() override { unsetenv("XDG_CACHE_HOME"); }
    test::TempDir dir_;
};

TEST_F(PeakWorker, SilenceIsZeroInExactlyItsColumnsAndAToneReachesItsAmplitude) {
    const std::string path = dir_ / "gap.mp3";
    test::WriteFile(path, ToneSilenceTone());
    PeakMap map;
    ASSERT_TRUE(LoadPeakMap(path, map, std::atomic<bool>{false}).done());
    ASSERT_TRUE(map.Complete());
    EXPECT_EQ(map.sampleRate, static_cast<uint32_t>(kRate));

    constexpr int kColumns = 80;
    const std::vector<PeakColumn> columns = EvenColumns(map, kColumns);
    const double columnSeconds = static_cast<double>(map.frames) / kRate / kColumns;
    const double silenceStart = kToneSeconds + kEncoderDelaySeconds;
    const double silenceEnd = silenceStart + kSilenceSeconds;
    // The columns wholly inside the silence.
    const int firstSilent = static_cast<int>(std::ceil(silenceStart / columnSeconds));
    const int endSilent = static_cast<int>(std::floor(silenceEnd / columnSeconds));
    int zeroFirst = -1;
    int zeroEnd = -1;
    for (int c = 0; c < kColumns; ++c) {
        const bool zero = columns[c].low == 0 && columns[c].high == 0;
        if (zero && zeroFirst < 0) zeroFirst = c;
        if (zero) zeroEnd = c + 1;
    }
    ASSERT_GE(zeroFirst, 0);
    EXPECT_LE(std::abs(zeroFirst - firstSilent), 1) << zeroFirst << " " << firstSilent;
    EXPECT_LE(std::abs(zeroEnd - endSilent), 1) << zeroEnd << " " << endSilent;
    // One run of zeros, sound everywhere else.
    for (int c = 0; c < kColumns; ++c) {
        const bool zero = columns[c].low == 0 && columns[c].high == 0;
        EXPECT_EQ(zero, c >= zeroFirst && c < zeroEnd) << c;
    }
    // The columns wholly inside a tone reach its amplitude within 1 %.
    const double full = kAmplitude * 32768;
    for (int c = 0; c < kColumns; ++c) {
        const double start = c * columnSeconds;
        const double end = start + columnSeconds;
        const bool inTone = (start >= kEncoderDelaySeconds + 0.05 && end <= silenceStart - 0.05) ||
                            (start >= silenceEnd + 0.05 && end <= silenceEnd + kToneSeconds - 0.05);
        if (!inTone) continue;
        EXPECT_NEAR(columns[c].high, full, full / 100) << c;
        EXPECT_NEAR(columns[c].low, -full, full / 100) << c;
    }
}

TEST_F(PeakWorker, TwoStretchesGiveTheBinsOfOneWholeDecode) {
    test::EncodeOptions o;
    o.sampleRate = 8000;
    o.channels = 1;
    o.mode = test::Mode::Mono;
    o.kbps = 16;
    o.seconds = kPeakSplitSeconds + 10;
    const std::string path = dir_ / "minute.mp3";
    test::WriteFile(path, test::EncodeMp3(o));
    PeakMap map;
    ASSERT_TRUE(LoadPeakMap(path, map, std::atomic<bool>{false}).done());

    const test::DecodeResult decoded = test::DecodeWithMpg123(path);
    ASSERT_TRUE(decoded.ok) << decoded.messages;
    ASSERT_EQ(static_cast<uint64_t>(decoded.samples), map.frames);
    PeakMap expected = MakeEmptyPeakMap(map.frames, 8000, 1);
    AddPcmToBins(expected, 0, decoded.pcm.data(), map.frames);
    EXPECT_EQ(map.framesPerBin, expected.framesPerBin);
    EXPECT_EQ(map.bins, expected.bins);
}

TEST_F(PeakWorker, ASecondLoadIsServedFromTheCache) {
    const std::string path = dir_ / "gap.mp3";
    test::WriteFile(path, ToneSilenceTone());
    PeakMap first;
    bool cached = true;
    ASSERT_TRUE(LoadPeakMap(path, first, std::atomic<bool>{false}, &cached).done());
    EXPECT_FALSE(cached);

    CPeakWorker worker;
    const auto start = Clock::now();
    worker.Start(path, {});
    ASSERT_TRUE(WaitUntil([&] { return worker.State() != PeakState::Working; }));
    EXPECT_LT(MsSince(start), kPeakCancelMs);
    EXPECT_EQ(worker.State(), PeakState::Complete);
    EXPECT_TRUE(worker.FromCache());
    EXPECT_EQ(worker.Map().bins, first.bins);
}

TEST_F(PeakWorker, AnEntryOfNoUseIsRemovedAndTheDecodeStoredInItsPlace) {
    const std::string path = dir_ / "gap.mp3";
    test::WriteFile(path, ToneSilenceTone());
    PeakMap first;
    ASSERT_TRUE(LoadPeakMap(path, first, std::atomic<bool>{false}).done());
    PeakCacheKey key;
    ASSERT_TRUE(ReadPeakCacheKey(path, key));
    const std::string entry = PeakCacheEntryPath(PeakCacheFolder(), key);
    const test::Bytes stored = test::ReadFile(entry);
    ASSERT_EQ(truncate(entry.c_str(), off_t{1} << 40), 0);  // a terabyte, sparse

    PeakMap again;
    bool cached = true;
    ASSERT_TRUE(LoadPeakMap(path, again, std::atomic<bool>{false}, &cached).done());
    EXPECT_FALSE(cached);
    EXPECT_EQ(again.bins, first.bins);
    EXPECT_EQ(test::ReadFile(entry), stored);
    ASSERT_TRUE(LoadPeakMap(path, again, std::atomic<bool>{false}, &cached).done());
    EXPECT_TRUE(cached);
}

TEST_F(PeakWorker, AFileThatDoesNotDecodeFailsAndReadsAsAFlatLine) {
    const std::string path = dir_ / "notes.mp3";
    test::WriteFile(path, test::Bytes(5000, 'x'));
    PeakMap map;
    const Outcome outcome = LoadPeakMap(path, map, std::atomic<bool>{false});
    EXPECT_TRUE(outcome.failed());
    EXPECT_EQ(outcome.message, "Failed to load file \"" + path + "\".");

    CPeakWorker worker;
    int notified = 0;
    worker.Start(path, [&] { ++notified; });
    ASSERT_TRUE(WaitUntil([&] { return worker.State() != PeakState::Working; }));
    EXPECT_EQ(worker.State(), PeakState::Failed);
    EXPECT_EQ(worker.Columns({0.0, 1.0, 2.0}), (std::vector<PeakColumn>{{true, 0, 0}, {true, 0, 0}}));
    worker.Cancel();
    EXPECT_EQ(notified, 1);
}

TEST_F(PeakWorker, BinsComeInWhileDecodingAndACancelStopsWithinFiftyMilliseconds) {
    test::EncodeOptions o;
    o.sampleRate = 8000;
    o.channels = 1;
    o.mode = test::Mode::Mono;
    o.kbps = 8;
    o.seconds = 1200;
    const std::string path = dir_ / "long.mp3";
    test::WriteFile(path, test::EncodeMp3(o));

    CPeakWorker worker;
    // At once, while the threads open the file and seek to their stretches.
    worker.Start(path, {});
    auto start = Clock::now();
    worker.Cancel();
    EXPECT_LT(MsSince(start), kPeakCancelMs);

    std::atomic<int> notified{0};
    worker.Start(path, [&] { ++notified; });
    ASSERT_TRUE(WaitUntil([&] { return notified.load() != 0; }));
    ASSERT_EQ(worker.State(), PeakState::Working);
    // The bins decoded so far are there; the rest are not.
    const PeakMap partial = worker.Map();
    const auto known = std::count_if(partial.bins.begin(), partial.bins.end(), [](const PeakBin& b) { return !b.Empty(); });
    EXPECT_GT(known, 0);
    EXPECT_LT(static_cast<size_t>(known), partial.bins.size());
    EXPECT_FALSE(worker.Columns({1199.0, 1199.9})[0].known);

    start = Clock::now();
    worker.Cancel();
    EXPECT_LT(MsSince(start), kPeakCancelMs);
    EXPECT_EQ(worker.State(), PeakState::Idle);
    const int after = notified.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(notified.load(), after);
    // Nothing half-done was cached.
    PeakCacheKey key;
    ASSERT_TRUE(ReadPeakCacheKey(path, key));
    PeakMap cached;
    EXPECT_FALSE(LoadCachedPeaks(key, cached));
}

}  // namespace
}  // namespace corvane
