// Tests of the peak bins and the columns made from them, without any file.
#include "engine/Peaks.h"

#include <gtest/gtest.h>

#include <numeric>

namespace corvane {
namespace {

TEST(PeakMap, BinsAreFineEnoughForAnyWidthAndNeverMoreThanTheOverviewCount) {
    EXPECT_EQ(BinFramesFor(100), kMinBinFrames);
    const uint64_t hour = 3600ULL * 44100;
    EXPECT_EQ(BinFramesFor(hour), 2423u);
    EXPECT_EQ(BinCountFor(hour, 2423), 65523u);
    EXPECT_LE(BinCountFor(hour * 24, BinFramesFor(hour * 24)), kOverviewBins);
    EXPECT_EQ(BinCountFor(33, 16), 3u);  // the last bin is short
    EXPECT_EQ(MakeEmptyPeakMap(33, 8000, 1).bins.size(), 3u);
    EXPECT_FALSE(MakeEmptyPeakMap(33, 8000, 1).Complete());
    // No sum wraps near 2^64: the counts stay exact up to the longest length.
    EXPECT_EQ(BinFramesFor(kMaxPeakFrames), UINT32_MAX);
    EXPECT_EQ(BinCountFor(kMaxPeakFrames, UINT32_MAX), kOverviewBins);
    EXPECT_EQ(BinFramesFor(UINT64_MAX), UINT32_MAX);
    EXPECT_EQ(BinCountFor(UINT64_MAX, 2), uint64_t{1} << 63);
}

TEST(PeakMap, PcmIsSplitAtBinEdgesOverEveryChannel) {
    PeakMap map = MakeEmptyPeakMap(40, 8000, 2);  // bins of 16 frames: 0-15, 16-31, 32-39
    std::vector<int16_t> pcm(80);
    for (int i = 0; i < 40; ++i) {
        pcm[2 * i] = static_cast<int16_t>(i);        // left rises
        pcm[2 * i + 1] = static_cast<int16_t>(-i);   // right falls
    }
    // Delivered in two calls that do not end at a bin edge.
    AddPcmToBins(map, 0, pcm.data(), 20);
    AddPcmToBins(map, 20, pcm.data() + 40, 20);
    ASSERT_TRUE(map.Complete());
    EXPECT_EQ(map.bins[0], (PeakBin{-15, 15}));
    EXPECT_EQ(map.bins[1], (PeakBin{-31, 31}));
    EXPECT_EQ(map.bins[2], (PeakBin{-39, 39}));
}

TEST(PeakMap, TheExtremesAreFoundAtEveryPlaceOfARunOfAnyLength) {
    // Runs shorter and longer than the width compared side by side, with the extreme sample
    // at every place, the tail after the last full width included.
    for (uint64_t length = 1; length <= 70; ++length) {
        for (uint64_t at = 0; at < length; ++at) {
            for (const int16_t extreme : {INT16_MIN, INT16_MAX}) {
                std::vector<int16_t> pcm(length, 7);
                pcm[at] = extreme;
                PeakMap map = MakeEmptyPeakMap(length, 8000, 1);
                map.framesPerBin = 128;
                map.bins.assign(1, PeakBin{});
                AddPcmToBins(map, 0, pcm.data(), length);
                const PeakBin expected = extreme < 0 ? PeakBin{extreme, 7} : PeakBin{7, extreme};
                ASSERT_EQ(map.bins[0], length == 1 ? (PeakBin{extreme, extreme}) : expected) << length << " at " << at;
            }
        }
    }
}

TEST(PeakMap, FramesPastTheLengthWidenTheLastBin) {
    PeakMap map = MakeEmptyPeakMap(32, 8000, 1);
    const std::vector<int16_t> pcm = {1, 2, 3, -900, 5};
    AddPcmToBins(map, 30, pcm.data(), pcm.size());
    EXPECT_TRUE(map.bins[0].Empty());
    EXPECT_EQ(map.bins[1], (PeakBin{-900, 5}));
}

TEST(PeakMap, AColumnIsKnownOnlyWhenEveryBinUnderItIs) {
    PeakMap map = MakeEmptyPeakMap(64, 8000, 1);  // four bins of 16
    map.bins[0] = {-10, 10};
    map.bins[1] = {-20, 5};
    EXPECT_EQ(PeaksOfRange(map, 0, 32), (PeakColumn{true, -20, 10}));
    EXPECT_EQ(PeaksOfRange(map, 20, 33), PeakColumn{});       // reaches the third bin
    EXPECT_EQ(PeaksOfRange(map, 17, 18), (PeakColumn{true, -20, 5}));  // inside one bin
    EXPECT_EQ(PeaksOfRange(map, 16, 16), (PeakColumn{true, -20, 5}));  // no frames: the bin of first
    EXPECT_EQ(PeaksOfRange(PeakMap{}, 0, 10), (PeakColumn{true, 0, 0}));
}

TEST(PeakMap, EvenColumnsCoverTheWholeFile) {
    PeakMap map = MakeEmptyPeakMap(64, 8000, 1);
    for (int b = 0; b < 4; ++b) map.bins[b] = {static_cast<int16_t>(-b), static_cast<int16_t>(b)};
    const std::vector<PeakColumn> four = EvenColumns(map, 4);
    ASSERT_EQ(four.size(), 4u);
    for (int c = 0; c < 4; ++c) EXPECT_EQ(four[c], (PeakColumn{true, static_cast<int16_t>(-c), static_cast<int16_t>(c)}));
    // Two columns of two bins each; eight columns of half a bin each.
    EXPECT_EQ(EvenColumns(map, 2)[1], (PeakColumn{true, -3, 3}));
    EXPECT_EQ(EvenColumns(map, 8)[5], (PeakColumn{true, -2, 2}));
    EXPECT_TRUE(EvenColumns(map, 0).empty());
    EXPECT_EQ(FrameAtTenths(15, 44100), 66150u);
}

}  // namespace
}  // namespace corvane
