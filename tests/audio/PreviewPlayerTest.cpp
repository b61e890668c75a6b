// Tests of the preview player: loading, ranges and their end notification, on the manual
// test clock and on SDL's dummy driver.
#include "audio/PreviewPlayer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

#include "audio/AudioLibrary.h"
#include "support/Mp3Factory.h"

namespace corvane {
namespace {

using test::EncodeMp3;
using test::EncodeOptions;
using test::TempDir;
using test::WriteFile;

// SDL's dummy driver plays nothing and consumes audio in real time; set before any Init.
const bool kDummyDriver = setenv("SDL_AUDIODRIVER", "dummy", 1) == 0;

constexpr uint32_t kRate = 44100;
constexpr uint32_t kTenMs = kRate / 100;  // sample frames

// Writes a CBR MP3 of seconds to dir and returns its path.
std::string MakeMp3(const TempDir& dir, double seconds) {
    EncodeOptions options;
    options.seconds = seconds;
    const std::string path = dir / "tone.mp3";
    WriteFile(path, EncodeMp3(options));
    return path;
}

// The library on the manual test clock for one test.
class ManualClock {
public:
    ManualClock() {
        audio::UseManualOutput(true);
        started_ = audio::Init(-1, kRate);
    }
    ~ManualClock() {
        audio::Free();
        audio::UseManualOutput(false);
    }
    bool started() const { return started_; }

private:
    bool started_;
};

// Counts notifications; Wait blocks until one came (or the timeout passed).
class Counter {
public:
    CPreviewPlayer::Notify Notify() {
        return [this] {
            std::lock_guard<std::mutex> guard(lock_);
            ++count_;
            changed_.notify_all();
        };
    }
    int count() {
        std::lock_guard<std::mutex> guard(lock_);
        return count_;
    }
    bool Wait(std::chrono::milliseconds timeout) {
        std::unique_lock<std::mutex> guard(lock_);
        return changed_.wait_for(guard, timeout, [this] { return count_ > 0; });
    }

private:
    std::mutex lock_;
    std::condition_variable changed_;
    int count_ = 0;
};

TEST(PreviewPlayer, PlayRangeNotifiesOnceWhenThePositionReachesItsEnd) {
    ASSERT_TRUE(kDummyDriver);
    TempDir dir;
    const std::string path = MakeMp3(dir, 21.0);
    ManualClock clock;
    ASSERT_TRUE(clock.started());
    Counter counter;
    CPreviewPlayer player;
    ASSERT_TRUE(player.Load(path, counter.Notify()));

    player.PlayRange(12300, 20000);
    EXPECT_EQ(player.GetPositionMs(), 12300);
    while (counter.count() == 0 && player.GetPositionMs() < 21000) {
        EXPECT_LT(player.GetPositionMs(), 20000);
        ASSERT_TRUE(audio::OutputPump(kTenMs));
    }
    EXPECT_EQ(counter.count(), 1);
    EXPECT_GE(player.GetPositionMs(), 20000);
    EXPECT_LT(player.GetPositionMs(), 20010);

    // The range's end is passed once: playing on to the end posts nothing more.
    audio::OutputPump(2 * kRate);
    EXPECT_EQ(counter.count(), 1);
}

TEST(PreviewPlayer, PlayRangeNotifiesOnTheDummyDriver) {
    ASSERT_TRUE(kDummyDriver);
    TempDir dir;
    const std::string path = MakeMp3(dir, 2.0);
    ASSERT_TRUE(audio::Init(-1, kRate));
    Counter counter;
    CPreviewPlayer player;
    ASSERT_TRUE(player.Load(path, counter.Notify()));

    const auto start = std::chrono::steady_clock::now();
    player.PlayRange(1000, 1300);
    ASSERT_TRUE(counter.Wait(std::chrono::seconds(3)));
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(player.GetPositionMs(), 1300);
    EXPECT_GE(elapsed, std::chrono::milliseconds(200));  // played in about real time
    player.Free();
    EXPECT_EQ(counter.count(), 1);
    audio::Free();
}

TEST(PreviewPlayer, PlayAfterSeekToTheLastSecondNotifiesAtTheEnd) {
    TempDir dir;
    const std::string path = MakeMp3(dir, 3.0);
    ManualClock clock;
    Counter counter;
    CPreviewPlayer player;
    ASSERT_TRUE(player.Load(path, counter.Notify()));
    const int64_t length = player.GetLengthMs();

    player.Seek(length - 1000);
    player.Play();
    audio::OutputPump(kRate - 3 * kTenMs);
    EXPECT_EQ(counter.count(), 0);
    audio::OutputPump(6 * kTenMs);
    EXPECT_EQ(counter.count(), 1);
    EXPECT_EQ(player.GetPositionMs(), length);
}

TEST(PreviewPlayer, ASecondPlayRemovesTheEarlierNotification) {
    TempDir dir;
    const std::string path = MakeMp3(dir, 3.0);
    ManualClock clock;
    Counter counter;
    CPreviewPlayer player;
    ASSERT_TRUE(player.Load(path, counter.Notify()));

    player.PlayRange(0, 500);
    player.PlayRange(0, 1000);  // replaces the end at 0.5 s
    audio::OutputPump(80 * kTenMs);
    EXPECT_EQ(counter.count(), 0);
    player.Play();  // replaces the end at 1.0 s with the end of the stream
    audio::OutputPump(150 * kTenMs);
    EXPECT_EQ(counter.count(), 0);
    audio::OutputPump(2 * kRate);
    EXPECT_EQ(counter.count(), 1);
}

TEST(PreviewPlayer, FreeRemovesTheNotification) {
    TempDir dir;
    const std::string path = MakeMp3(dir, 2.0);
    ManualClock clock;
    Counter counter;
    CPreviewPlayer player;
    ASSERT_TRUE(player.Load(path, counter.Notify()));

    player.PlayRange(0, 500);
    audio::OutputPump(40 * kTenMs);
    player.Free();
    EXPECT_FALSE(player.IsLoaded());
    EXPECT_EQ(player.GetPositionMs(), 0);
    audio::OutputPump(3 * kRate);
    EXPECT_EQ(counter.count(), 0);
}

TEST(PreviewPlayer, PauseHoldsThePositionAndResumeContinues) {
    TempDir dir;
    const std::string path = MakeMp3(dir, 2.0);
    ManualClock clock;
    CPreviewPlayer player;
    ASSERT_TRUE(player.Load(path, nullptr));

    player.Play();
    audio::OutputPump(50 * kTenMs);
    EXPECT_EQ(player.GetPositionMs(), 500);
    player.Pause();
    audio::OutputPump(50 * kTenMs);
    EXPECT_EQ(player.GetPositionMs(), 500);
    player.Resume();
    audio::OutputPump(25 * kTenMs);
    EXPECT_EQ(player.GetPositionMs(), 750);
}

TEST(PreviewPlayer, GainIsKeptAcrossLoads) {
    TempDir dir;
    const std::string path = MakeMp3(dir, 1.0);
    ManualClock clock;
    CPreviewPlayer player;
    EXPECT_EQ(player.volume(), 65535);
    player.SetVolume(0);
    ASSERT_TRUE(player.Load(path, nullptr));
    EXPECT_EQ(player.volume(), 0);
    player.Play();
    std::vector<int16_t> out(2 * 4096, 1);
    ASSERT_TRUE(audio::OutputPump(4096, out.data()));
    EXPECT_EQ(std::count(out.begin(), out.end(), 0), static_cast<long>(out.size()));

    player.SetVolume(70000);
    EXPECT_EQ(player.volume(), 65535);
    audio::OutputPump(4096, out.data());
    EXPECT_GT(*std::max_element(out.begin(), out.end()), 1000);
}

TEST(PreviewPlayer, LoadsDecodeOnlyOnTheNoSoundDevice) {
    TempDir dir;
    EncodeOptions options;
    options.seconds = 2.0;
    options.sampleRate = 22050;
    options.channels = 1;
    options.mode = test::Mode::Mono;
    options.kbps = 64;
    const std::string path = dir / "mono.mp3";
    const test::Bytes mp3 = EncodeMp3(options);
    WriteFile(path, mp3);
    ASSERT_TRUE(audio::Init(0, kRate));
    Counter counter;
    CPreviewPlayer player;
    ASSERT_TRUE(player.Load(path, counter.Notify()));

    EXPECT_EQ(player.sampleRate(), 22050);
    EXPECT_EQ(player.channels(), 1);
    EXPECT_EQ(player.bitrate(), 64);
    // MPEG-2 Layer III: 576 samples a frame.
    const auto frames = static_cast<int64_t>(test::FrameOffsets(mp3, 0).size());
    EXPECT_EQ(player.GetLengthMs(), frames * 576 * 1000 / 22050);

    player.Play();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(player.GetPositionMs(), 0);
    EXPECT_EQ(counter.count(), 0);
    audio::Free();
}

TEST(PreviewPlayer, LoadOfANonAudioFileFailsAndLeavesNothingOpen) {
    TempDir dir;
    const std::string good = MakeMp3(dir, 1.0);
    const std::string text = dir / "notes.mp3";
    WriteFile(text, test::Bytes(5000, 'x'));
    ManualClock clock;
    CPreviewPlayer player;
    ASSERT_TRUE(player.Load(good, nullptr));
    EXPECT_FALSE(player.Load(text, nullptr));
    EXPECT_FALSE(player.IsLoaded());
    EXPECT_EQ(player.GetLengthMs(), 0);
    EXPECT_EQ(player.sampleRate(), 0);
    EXPECT_EQ(player.bitrate(), 0);
}

}  // namespace
}  // namespace corvane
