// Tests of silence detection: split points in the middle of long silences, none for short,
// leading or trailing ones, piece rows, load failures and cancel.
#include "engine/cut/SilenceDetector.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "engine/base/Messages.h"
#include "support/FakeProgress.h"
#include "support/Mp3Factory.h"
#include "support/Recording.h"

namespace corvane {
namespace {

constexpr int kRate = test::kRecordingRate;
constexpr int64_t kFrameSamples = 1152;

using Parts = test::RecordingParts;

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
    SilenceSplits splits;
    ASSERT_TRUE(DetectSilences(file, SilenceOptions{}, nullptr, splits).done());
    if (const char* expected = std::getenv("CORVANE_SILENCE_BENCH_SPLITS")) {
        EXPECT_EQ(splits.points.size(), std::stoul(expected));
    }
    std::printf("%zu split points in %llu sample frames\n", splits.points.size(),
                static_cast<unsigned long long>(splits.frames));
}

}  // namespace
}  // namespace corvane
