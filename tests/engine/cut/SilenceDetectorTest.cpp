// Tests of silence detection: split points in the middle of long silences, none for short,
// leading or trailing ones, the same from two halves and from the peak cache, piece rows,
// load failures and cancel.
#include "engine/cut/SilenceDetector.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstdio>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "audio/AudioSource.h"
#include "engine/Peaks.h"
#include "engine/base/Messages.h"
#include "engine/peaks/PeakCache.h"
#include "support/FakeProgress.h"
#include "support/Mp3Factory.h"
#include "support/Recording.h"

namespace corvane {
namespace {

constexpr int kRate = test::kRecordingRate;
constexpr int64_t kFrameSamples = 1152;

using Parts = test::RecordingParts;

// Every test keeps its peak cache entries in a folder of its own.
class CacheFolder : public ::testing::Environment {
public:
    void SetUp() override { setenv("XDG_CACHE_HOME", (dir_ / "cache").c_str(), 1); }
    void TearDown() override { unsetenv("XDG_CACHE_HOME"); }

private:
    test::TempDir dir_;
};
const auto* const kCacheFolder = ::testing::AddGlobalTestEnvironment(new CacheFolder);

// What one decode from the start on this thread gives: the sums of the squares of every
// 10 ms window, and the split points of the detector fed block by block.
struct OneDecode {
    std::vector<uint64_t> windows;
    std::vector<uint64_t> points;
    uint64_t frames = 0;
};
OneDecode DecodeOnOneThread(const std::string& path, const SilenceOptions& options) {
    CLibraryAudioSource source;
    EXPECT_TRUE(source.Open(path, 0));
    CSilenceDetector detector(options, source.GetSampleRate());
    const uint64_t windowFrames = static_cast<uint64_t>(source.GetSampleRate() / 100);
    OneDecode one;
    int16_t left[kAudioBlockFrames];
    int16_t right[kAudioBlockFrames];
    uint64_t frame = 0;
    for (int32_t n; (n = source.Read(left, right)) > 0;) {
        const bool stereo = source.GetOutputChannels() == 2;
        detector.AddBlock(left, stereo ? right : nullptr, n);
        for (int32_t i = 0; i < n; ++i, ++frame) {
            if (frame / windowFrames == one.windows.size()) one.windows.push_back(0);
            one.windows.back() += static_cast<uint64_t>(left[i] * left[i]);
            if (stereo) one.windows.back() += static_cast<uint64_t>(right[i] * right[i]);
        }
    }
    one.points = detector.Finish();
    one.frames = frame;
    return one;
}

// Writes the parts as an MP3 at path and returns the middles of its silences in the decoded
// stream (sample frames), leading and trailing ones included.
std::vector<int64_t> WriteRecording(const std::string& path, const Parts& parts) {
    std::vector<int64_t> middles;
    test::WriteFile(path, test::Recording(parts, &middles));
    return middles;
}

TEST(SilenceDetector, SplitsWithinOneFrameOfTheMiddleOfEachSilence) {
    test::TempDir dir;
    const std::string path = dir / "talk.mp3";
    const auto middles = WriteRecording(
        path, {{1.5, false}, {2.0, true}, {1.5, false}, {2.0, true}, {1.5, false}, {2.0, true}, {1.5, false}});
    test::FakeProgress progress;
    SilenceSplits splits;
    ASSERT_TRUE(DetectSilences(path, SilenceOptions{}, &progress, splits).done());

    // The leading and trailing silences give no split.
    ASSERT_EQ(splits.points.size(), 2u);
    for (size_t k = 0; k < 2; ++k) {
        const auto point = static_cast<int64_t>(splits.points[k]);
        EXPECT_LE(std::abs(point - middles[k + 1]), kFrameSamples) << "silence " << k + 1;
        EXPECT_EQ(splits.tenths[k], (point * 10 + kRate / 2) / kRate);
    }
    EXPECT_EQ(splits.sampleRate, kRate);
    EXPECT_EQ(progress.rangeHigh, progress.width);
    EXPECT_EQ(progress.positions.back(), progress.width);
}

TEST(SilenceDetector, ASilenceShorterThanTheMinimumGivesNoSplit) {
    test::TempDir dir;
    const std::string path = dir / "talk.mp3";
    const auto middles = WriteRecording(path, {{2.0, true}, {0.5, false}, {2.0, true}});
    SilenceSplits splits;
    ASSERT_TRUE(DetectSilences(path, SilenceOptions{}, nullptr, splits).done());
    EXPECT_TRUE(splits.points.empty());

    // A shorter minimum takes it.
    ASSERT_TRUE(DetectSilences(path, SilenceOptions{kDefaultSilenceThresholdDb, 0.4}, nullptr, splits).done());
    ASSERT_EQ(splits.points.size(), 1u);
    EXPECT_LE(std::abs(static_cast<int64_t>(splits.points[0]) - middles[0]), kFrameSamples);
}

// Leading quiet windows, then loud, a second and a half quiet, loud, half a second quiet, loud:
// one silence, with its quiet windows and its middle.
TEST(SilenceDetector, SilencesInAMapAreTheRunsThatSplit) {
    PeakMap map = MakeEmptyPeakMap(0, kRate, 2);
    const uint64_t window = LoudnessWindowFramesFor(kRate);
    const uint64_t loud = window * 2 * 16384ULL * 16384ULL;
    for (const auto& [count, sum] : std::vector<std::pair<int, uint64_t>>{
             {30, 0}, {100, loud}, {150, 0}, {100, loud}, {50, 0}, {100, loud}})
        map.windowSquares.insert(map.windowSquares.end(), static_cast<size_t>(count), sum);
    map.windowFrames = static_cast<uint32_t>(window);
    map.windowedFrames = map.windowSquares.size() * window;
    const std::vector<SilenceSpan> silences = SilencesInMap(map, SilenceOptions{});
    EXPECT_EQ(silences, (std::vector<SilenceSpan>{{130 * window, 280 * window, 205 * window}}));

    map.windowFrames = 0;  // a map without windows
    EXPECT_TRUE(SilencesInMap(map, SilenceOptions{}).empty());
}

TEST(SilenceDetector, PiecesAtSplitsCoverTheFileAllChecked) {
    const std::vector<PieceEntry> rows = PiecesAtSplits({0, 35, 35, 70, 100, 120}, 100);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(std::make_pair(rows[0].start, rows[0].end), std::make_pair(0, 35));
    EXPECT_EQ(std::make_pair(rows[1].start, rows[1].end), std::make_pair(35, 70));
    EXPECT_EQ(std::make_pair(rows[2].start, rows[2].end), std::make_pair(70, 100));
    for (const PieceEntry& row : rows) EXPECT_TRUE(row.checked);
    EXPECT_EQ(PiecesAtSplits({}, 100).size(), 1u);

    // With the points in samples, each row that ends at a point ends there exactly.
    const std::vector<PieceEntry> exact = PiecesAtSplits({0, 35, 35, 70}, {10, 154350, 154400, 308700}, 100);
    ASSERT_EQ(exact.size(), 3u);
    EXPECT_EQ(exact[0].endSample, 154350);
    EXPECT_EQ(exact[1].endSample, 308700);
    EXPECT_EQ(exact[2].endSample, -1);
}

TEST(SilenceDetector, TwoHalvesGiveExactlyWhatOneDecodeGives) {
    // A minute and more is decoded in two halves, split near 31 s: once inside a silence of
    // 3 s, once inside a tone (where the decoder's state at the seam counts most).
    ASSERT_GE(std::thread::hardware_concurrency(), 2u);
    test::TempDir dir;
    const std::vector<Parts> files = {{{29.5, true}, {3.0, false}, {29.5, true}},
                                      {{20.0, true}, {2.0, false}, {40.0, true}}};
    for (size_t f = 0; f < files.size(); ++f) {
        const std::string path = dir / ("long" + std::to_string(f) + ".mp3");
        WriteRecording(path, files[f]);
        PeakMap map;
        ASSERT_TRUE(LoadPeakMap(path, map, std::atomic<bool>{false}).done());
        const OneDecode one = DecodeOnOneThread(path, SilenceOptions{});
        EXPECT_EQ(map.windowSquares, one.windows) << path;
        EXPECT_EQ(map.windowedFrames, one.frames) << path;
        for (const SilenceOptions& options : {SilenceOptions{}, SilenceOptions{-30.0, 0.5}}) {
            SilenceSplits splits;
            ASSERT_TRUE(DetectSilences(path, options, nullptr, splits).done());
            EXPECT_EQ(splits.points, DecodeOnOneThread(path, options).points) << path;
            EXPECT_EQ(splits.points.size(), 1u) << path;
        }
    }
}

TEST(SilenceDetector, ASearchAfterTheWaveformOrAnEarlierSearchDecodesNothing) {
    test::TempDir dir;
    const std::string path = dir / "talk.mp3";
    WriteRecording(path, {{1.5, false}, {2.0, true}, {1.2, false}, {2.0, true}, {0.6, false}, {2.0, true}});
    // The waveform's decode keeps the windows in the cache entry beside the peaks.
    PeakMap map;
    ASSERT_TRUE(LoadPeakMap(path, map, std::atomic<bool>{false}).done());
    PeakCacheKey key;
    ASSERT_TRUE(ReadPeakCacheKey(path, key));
    const test::Bytes entry = test::ReadFile(PeakCacheEntryPath(PeakCacheFolder(), key));
    PeakMap cached;
    ASSERT_TRUE(ParseCachedPeaks(entry.data(), entry.size(), key, cached));
    EXPECT_EQ(cached.windowSquares, map.windowSquares);
    EXPECT_EQ(cached.windowSquares.size(), (cached.windowedFrames + 440) / 441);

    for (const SilenceOptions& options : {SilenceOptions{}, SilenceOptions{-48.0, 0.5}, SilenceOptions{-120.0, 0.5}}) {
        SilenceSplits splits;
        ASSERT_TRUE(DetectSilences(path, options, nullptr, splits).done());
        EXPECT_TRUE(splits.fromCache);
        EXPECT_EQ(splits.points, DecodeOnOneThread(path, options).points) << options.thresholdDb;
    }
    // A damaged entry is decoded again.
    test::Bytes damaged = entry;
    damaged[damaged.size() - 20] ^= 1;
    test::WriteFile(PeakCacheEntryPath(PeakCacheFolder(), key), damaged);
    SilenceSplits splits;
    ASSERT_TRUE(DetectSilences(path, SilenceOptions{}, nullptr, splits).done());
    EXPECT_FALSE(splits.fromCache);
    EXPECT_EQ(splits.points.size(), 1u);
}

// --- Failures -----------------------------------------------------------------------------

TEST(SilenceDetector, AFileThatCannotBeLoadedFailsWithItsMessage) {
    test::TempDir dir;
    const std::string path = dir / "notes.mp3";
    test::WriteFile(path, test::Bytes(4096, 'x'));
    SilenceSplits splits;
    const Outcome outcome = DetectSilences(path, SilenceOptions{}, nullptr, splits);
    EXPECT_TRUE(outcome.failed());
    EXPECT_EQ(outcome.message, LoadFileFailure(path));
    EXPECT_TRUE(splits.points.empty());
}

TEST(SilenceDetector, CancelStopsTheDecodingWithNoSplits) {
    test::TempDir dir;
    const std::string path = dir / "talk.mp3";
    WriteRecording(path, {{2.0, true}, {1.5, false}, {2.0, true}});
    test::FakeProgress progress;
    progress.cancelAfterUpdates = 3;
    SilenceSplits splits;
    EXPECT_TRUE(DetectSilences(path, SilenceOptions{}, &progress, splits).cancelled());
    EXPECT_EQ(progress.positions.size(), 3u);
    EXPECT_TRUE(splits.points.empty());
}

// Timed by bench/silence.sh: runs only when CORVANE_SILENCE_BENCH_FILE names a file, and
// checks the split count CORVANE_SILENCE_BENCH_SPLITS when it is given.
TEST(SilenceDetectorBench, FindsTheSilencesOfTheBenchFile) {
    const char* file = std::getenv("CORVANE_SILENCE_BENCH_FILE");
    if (file == nullptr) GTEST_SKIP() << "bench only";
    // The bench names its own cache folder and threshold (CORVANE_SILENCE_BENCH_DB).
    if (const char* cache = std::getenv("CORVANE_SILENCE_BENCH_CACHE")) setenv("XDG_CACHE_HOME", cache, 1);
    SilenceOptions options;
    if (const char* db = std::getenv("CORVANE_SILENCE_BENCH_DB")) options.thresholdDb = std::stod(db);
    SilenceSplits splits;
    ASSERT_TRUE(DetectSilences(file, options, nullptr, splits).done());
    if (const char* expected = std::getenv("CORVANE_SILENCE_BENCH_SPLITS")) {
        EXPECT_EQ(splits.points.size(), std::stoul(expected));
    }
    std::printf("%zu split points in %llu sample frames\n", splits.points.size(),
                static_cast<unsigned long long>(splits.frames));
}

}  // namespace
}  // namespace corvane
