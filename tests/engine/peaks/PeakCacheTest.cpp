// Tests of the peak cache: where entries live, what they are kept for, and what is refused.
#include "engine/peaks/PeakCache.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <set>

#include "support/Mp3Factory.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;

// The facts of an entry built byte by byte (those of a 100-frame stereo map by default).
struct Crafted {
    uint32_t version = 4;
    uint64_t frames = 100;
    uint32_t sampleRate = 44100;
    uint32_t channels = 2;
    uint32_t framesPerBin = 16;
    uint64_t binCount = 7;
    uint32_t windowFrames = 0;
    uint64_t windowedFrames = 0;
};

// An entry as the cache lays it out: magic, version, key, facts, bins, windows (5 bytes each
// at 44100 Hz), FNV-1a checksum.
test::Bytes CraftEntry(const PeakCacheKey& key, const Crafted& c, const std::vector<PeakBin>& bins,
                       const std::vector<uint64_t>& windows = {}) {
    test::Bytes out = {'C', 'V', 'P', 'E', 'A', 'K', 'S', '\n'};
    const auto number = [&](uint64_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
    };
    number(c.version, 4);
    number(key.path.size(), 4);
    out.insert(out.end(), key.path.begin(), key.path.end());
    number(key.size, 8);
    number(static_cast<uint64_t>(key.mtimeNs), 8);
    number(key.inode, 8);
    number(static_cast<uint64_t>(key.ctimeNs), 8);
    number(c.frames, 8);
    number(c.sampleRate, 4);
    number(c.channels, 4);
    number(c.framesPerBin, 4);
    number(c.binCount, 8);
    for (const PeakBin& bin : bins) {
        number(static_cast<uint16_t>(bin.low), 2);
        number(static_cast<uint16_t>(bin.high), 2);
    }
    number(c.windowFrames, 4);
    number(c.windowedFrames, 8);
    for (uint64_t sum : windows) number(sum, 5);
    uint64_t hash = 14695981039346656037ULL;
    for (uint8_t byte : out) hash = (hash ^ byte) * 1099511628211ULL;
    number(hash, 8);
    return out;
}

// Sets the modification time of path to seconds since the epoch.
void SetMtime(const std::string& path, int64_t seconds) {
    struct timespec times[2] = {{0, UTIME_OMIT}, {seconds, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << path;
}

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

    // Replaced by another file of the same size and modification time: a new inode and
    // change time.
    ASSERT_TRUE(StoreCachedPeaks(touched, map_));
    const std::string other = dir_ / "other.mp3";
    test::WriteFile(other, test::Bytes(1000, 9));
    SetMtime(other, touched.mtimeNs / 1000000000);
    PeakCacheKey same;
    ASSERT_TRUE(ReadPeakCacheKey(other, same));
    ASSERT_EQ(rename(other.c_str(), source_.c_str()), 0);
    PeakCacheKey replaced;
    ASSERT_TRUE(ReadPeakCacheKey(source_, replaced));
    EXPECT_EQ(replaced.size, touched.size);
    EXPECT_EQ(replaced.mtimeNs, touched.mtimeNs / 1000000000 * 1000000000);
    EXPECT_EQ(replaced.inode, same.inode);
    EXPECT_NE(replaced.inode, touched.inode);
    replaced.mtimeNs = touched.mtimeNs;  // even with the very same nanoseconds
    EXPECT_FALSE(LoadCachedPeaks(replaced, read));
}

TEST_F(PeakCache, ADamagedShortOrImplausibleEntryIsAbsentAndRemoved) {
    ASSERT_TRUE(StoreCachedPeaks(key_, map_));
    const test::Bytes whole = test::ReadFile(Entry());
    ASSERT_EQ(CraftEntry(key_, Crafted{}, map_.bins), whole);
    PeakMap read;
    const auto refused = [&](const test::Bytes& entry) {
        test::WriteFile(Entry(), entry);
        const bool loaded = LoadCachedPeaks(key_, read);
        return !loaded && !fs::exists(Entry()) && read.bins.empty();
    };
    test::Bytes damaged = whole;
    damaged[damaged.size() / 2] ^= 0x01;
    EXPECT_TRUE(refused(damaged));
    EXPECT_TRUE(refused(test::Bytes(whole.begin(), whole.end() - 1)));
    EXPECT_TRUE(refused({}));

    // Whole entries with a valid checksum whose facts no decode gives. The length of 2^64 - 1
    // frames in bins of 2 would need 2^63 bins, and a count that wraps to 0 must not pass.
    Crafted c;
    c.frames = UINT64_MAX;
    c.framesPerBin = 2;
    c.binCount = 0;
    const test::Bytes huge = CraftEntry(key_, c, {});
    PeakCacheKey found;
    EXPECT_FALSE(ParseCachedPeaks(huge.data(), huge.size(), found, read));
    EXPECT_TRUE(refused(huge));
    for (const auto& [rate, channels] : std::vector<std::pair<uint32_t, uint32_t>>{{0, 2}, {44100, 0}, {768001, 2}, {44100, 1025}}) {
        c = Crafted{};
        c.sampleRate = rate;
        c.channels = channels;
        EXPECT_TRUE(refused(CraftEntry(key_, c, map_.bins))) << rate << " " << channels;
    }
    c = Crafted{};
    c.framesPerBin = 17;  // not the bin size of 100 frames
    EXPECT_TRUE(refused(CraftEntry(key_, c, map_.bins)));
    c = Crafted{};
    c.version = 3;  // the format before the loudness windows
    EXPECT_TRUE(refused(CraftEntry(key_, c, map_.bins)));
    // Windows: of another length than a hundredth of a second, a count other than the frames
    // need, a sum larger than full scale gives (the one window of 100 frames).
    c = Crafted{};
    c.windowFrames = 441;
    c.windowedFrames = 100;
    const std::vector<uint64_t> loudest = {100 * 2 * (uint64_t{1} << 30)};
    const test::Bytes windowed = CraftEntry(key_, c, map_.bins, loudest);
    ASSERT_TRUE(ParseCachedPeaks(windowed.data(), windowed.size(), found, read));
    EXPECT_EQ(read.windowSquares, loudest);
    read = PeakMap{};
    EXPECT_TRUE(refused(CraftEntry(key_, c, map_.bins, {loudest[0] + 1})));
    EXPECT_TRUE(refused(CraftEntry(key_, c, map_.bins, {1, 1})));
    c.windowFrames = 440;
    EXPECT_TRUE(refused(CraftEntry(key_, c, map_.bins, loudest)));
    c = Crafted{};
    c.binCount = 8;
    EXPECT_TRUE(refused(CraftEntry(key_, c, map_.bins)));

    // The bytes as stored pass, and the same facts at the edges of the ranges.
    ASSERT_TRUE(ParseCachedPeaks(whole.data(), whole.size(), found, read));
    EXPECT_EQ(found, key_);
    EXPECT_EQ(read.bins, map_.bins);
    c = Crafted{};
    c.sampleRate = 768000;
    c.channels = 1024;
    const test::Bytes edge = CraftEntry(key_, c, map_.bins);
    EXPECT_TRUE(ParseCachedPeaks(edge.data(), edge.size(), found, read));
    // A map with bins not decoded yet is never stored.
    map_.bins[1] = PeakBin{};
    EXPECT_FALSE(StoreCachedPeaks(key_, map_));
}

TEST_F(PeakCache, AnEntryLargerThanAnyIsRemovedUnread) {
    for (const off_t size : {off_t{1} << 30, off_t{1} << 40}) {
        ASSERT_TRUE(StoreCachedPeaks(key_, map_));
        ASSERT_EQ(truncate(Entry().c_str(), size), 0);
        const auto start = std::chrono::steady_clock::now();
        PeakMap read;
        EXPECT_FALSE(LoadCachedPeaks(key_, read));
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50)) << size;
        EXPECT_FALSE(fs::exists(Entry())) << size;
    }
}

TEST_F(PeakCache, AStorePrunesTheLeastRecentlyUsedEntriesBeyond64MB) {
    ASSERT_TRUE(StoreCachedPeaks(key_, map_));
    const std::string folder = PeakCacheFolder();
    // Used (touched) after being the oldest of all.
    SetMtime(Entry(), 1000);
    PeakMap read;
    ASSERT_TRUE(LoadCachedPeaks(key_, read));

    // 210 entries of 320 KiB (65.6 MiB), the first the oldest, in sparse files.
    const auto filler = [&](int i) {
        char name[32];
        std::snprintf(name, sizeof name, "%016x.peaks", i);
        return folder + "/" + name;
    };
    for (int i = 0; i < 210; ++i) {
        test::WriteFile(filler(i), {});
        ASSERT_EQ(truncate(filler(i).c_str(), 320 << 10), 0);
        SetMtime(filler(i), 2000 + i);
    }
    // Older still, but no entries: never counted or removed. An entry larger than any goes
    // whatever its age, as does a temporary left for an hour.
    const std::vector<std::string> bystanders = {"notes.txt", "0123456789ABCDEF.peaks", "x.peaks",
                                                 "1111111111111111.peaks", ".peaks-fresh1"};
    for (const std::string& name : bystanders) test::WriteFile(folder + "/" + name, {});
    ASSERT_EQ(truncate((folder + "/notes.txt").c_str(), off_t{100} << 20), 0);
    fs::remove(folder + "/1111111111111111.peaks");
    fs::create_symlink(source_, folder + "/1111111111111111.peaks");
    fs::create_directory(folder + "/2222222222222222.peaks");
    for (const std::string& name : bystanders) SetMtime(folder + "/" + name, 500);
    SetMtime(folder + "/.peaks-fresh1", time(nullptr));
    test::WriteFile(folder + "/3333333333333333.peaks", {});
    ASSERT_EQ(truncate((folder + "/3333333333333333.peaks").c_str(), off_t{1} << 30), 0);
    test::WriteFile(folder + "/.peaks-stale1", {});
    SetMtime(folder + "/.peaks-stale1", time(nullptr) - 3601);

    PeakCacheKey second;
    const std::string secondPath = dir_ / "second.mp3";
    test::WriteFile(secondPath, test::Bytes(10, 1));
    ASSERT_TRUE(ReadPeakCacheKey(secondPath, second));
    ASSERT_TRUE(StoreCachedPeaks(second, map_));

    // 210 × 320 KiB and the two small entries exceed 64 MiB by 1.6 MiB and a little: the six
    // oldest fillers go.
    std::set<std::string> expected = {Entry(), PeakCacheEntryPath(folder, second), folder + "/2222222222222222.peaks"};
    for (const std::string& name : bystanders) expected.insert(folder + "/" + name);
    for (int i = 6; i < 210; ++i) expected.insert(filler(i));
    std::set<std::string> left;
    for (const auto& e : fs::directory_iterator(folder)) left.insert(e.path().string());
    EXPECT_EQ(left, expected);
    EXPECT_TRUE(fs::exists(source_));
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
