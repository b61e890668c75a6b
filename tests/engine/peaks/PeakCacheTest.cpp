// Tests of the peak cache: where entries live, what they are kept for, and what is refused.
#include "engine/peaks/PeakCache.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "support/Mp3Factory.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;

class PeakCache : public ::testing::Test {
protected:
    void SetUp() override {
        cache_ = dir_ / "cache";
        setenv("XDG_CACHE_HOME", cache_.c_str(), 1);
        source_ = dir_ / "song.mp3";
        test::WriteFile(source_, test::Bytes(1000, 7));
        ASSERT_TRUE(ReadPeakCacheKey(source_, key_));
        map_ = MakeEmptyPeakMap(100, 44100, 2);
        for (size_t b = 0; b < map_.bins.size(); ++b) map_.bins[b] = {static_cast<int16_t>(-b), static_cast<int16_t>(b * 3)};
    }
    void TearDown() override { unsetenv("XDG_CACHE_HOME"); }
    std::string Entry() const { return PeakCacheEntryPath(PeakCacheFolder(), key_); }

    test::TempDir dir_;
    std::string cache_;
    std::string source_;
    PeakCacheKey key_;
    PeakMap map_;
};

TEST_F(PeakCache, AStoredMapComesBackForTheSameFile) {
    PeakMap read;
    EXPECT_FALSE(LoadCachedPeaks(key_, read));
    ASSERT_TRUE(StoreCachedPeaks(key_, map_));
    ASSERT_TRUE(LoadCachedPeaks(key_, read));
    EXPECT_EQ(read.frames, 100u);
    EXPECT_EQ(read.sampleRate, 44100u);
    EXPECT_EQ(read.channels, 2u);
    EXPECT_EQ(read.framesPerBin, map_.framesPerBin);
    EXPECT_EQ(read.bins, map_.bins);
    // Written under a temporary name and renamed: the entry is all the folder holds.
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(cache_ + "/Corvane/peaks")) names.push_back(e.path().string());
    EXPECT_EQ(names, std::vector<std::string>{Entry()});
    EXPECT_EQ(key_.path, source_);
    EXPECT_EQ(key_.size, 1000u);
}

TEST_F(PeakCache, AFileChangedSinceIsNotServed) {
    ASSERT_TRUE(StoreCachedPeaks(key_, map_));
    // Touched: same size, a new modification time (one nanosecond later).
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = key_.mtimeNs / 1000000000;
    times[1].tv_nsec = key_.mtimeNs % 1000000000 + 1;
    ASSERT_EQ(utimensat(AT_FDCWD, source_.c_str(), times, 0), 0);
    PeakCacheKey touched;
    ASSERT_TRUE(ReadPeakCacheKey(source_, touched));
    EXPECT_EQ(touched.mtimeNs, key_.mtimeNs + 1);
    PeakMap read;
    EXPECT_FALSE(LoadCachedPeaks(touched, read));

    PeakCacheKey bigger = key_;
    bigger.size += 1;
    EXPECT_FALSE(LoadCachedPeaks(bigger, read));
    EXPECT_TRUE(read.bins.empty());
}

TEST_F(PeakCache, ADamagedOrShortEntryIsAbsent) {
    ASSERT_TRUE(StoreCachedPeaks(key_, map_));
    const test::Bytes whole = test::ReadFile(Entry());
    PeakMap read;
    test::Bytes damaged = whole;
    damaged[damaged.size() / 2] ^= 0x01;
    test::WriteFile(Entry(), damaged);
    EXPECT_FALSE(LoadCachedPeaks(key_, read));
    test::WriteFile(Entry(), test::Bytes(whole.begin(), whole.end() - 1));
    EXPECT_FALSE(LoadCachedPeaks(key_, read));
    test::WriteFile(Entry(), {});
    EXPECT_FALSE(LoadCachedPeaks(key_, read));
    // A map with bins not decoded yet is never stored.
    map_.bins[1] = PeakBin{};
    EXPECT_FALSE(StoreCachedPeaks(key_, map_));
}

TEST_F(PeakCache, TheFolderIsXdgCacheHomeElseTheHomeCache) {
    EXPECT_EQ(PeakCacheFolder(), cache_ + "/Corvane/peaks");
    const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
    setenv("XDG_CACHE_HOME", "relative/cache", 1);
    setenv("HOME", "/home/someone", 1);
    EXPECT_EQ(PeakCacheFolder(), "/home/someone/.cache/Corvane/peaks");
    unsetenv("XDG_CACHE_HOME");
    EXPECT_EQ(PeakCacheFolder(), "/home/someone/.cache/Corvane/peaks");
    setenv("HOME", home.c_str(), 1);
}

}  // namespace
}  // namespace corvane
