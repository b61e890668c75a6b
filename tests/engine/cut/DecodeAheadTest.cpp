// Tests of CDecodeAhead: frames come in file order, and Stop hands the reader back after the
// last frame released.
#include "engine/cut/DecodeAhead.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/Mp3Factory.h"

namespace corvane {
namespace {

TEST(DecodeAhead, HandsOutFramesInFileOrderAndStopLeavesTheReaderAfterTheLastReleased) {
    test::TempDir dir;
    test::EncodeOptions o;
    o.seconds = 2;
    const std::string path = dir / "s.mp3";
    test::WriteFile(path, test::EncodeMp3(o));

    // The frames as one reader reads them alone.
    CMp3Reader plain;
    ASSERT_TRUE(plain.OpenFile(path));
    std::vector<uint64_t> offsets;
    int rate, kbps, length, samples;
    uint64_t offset;
    while (plain.ReadFrame(rate, kbps, length, samples, offset)) offsets.push_back(offset);
    ASSERT_GT(offsets.size(), 40u);

    CMp3Reader reader;
    ASSERT_TRUE(reader.OpenFile(path));
    audio::CFrameDecoder decoder;
    ASSERT_TRUE(decoder.Open());
    CDecodeAhead ahead;
    ahead.Start(reader, decoder);
    constexpr size_t kTaken = 40;  // more than the ring holds
    for (size_t i = 0; i < kTaken; ++i) {
        CDecodeAhead::Slot& slot = ahead.Next();
        ASSERT_FALSE(slot.exhausted);
        EXPECT_EQ(slot.offset, offsets[i]) << i;
        EXPECT_EQ(slot.end, offsets[i + 1]) << i;
        ahead.Release();
    }
    ahead.Stop();
    EXPECT_EQ(ahead.consumedEnd(), offsets[kTaken]);
    EXPECT_EQ(reader.position(), offsets[kTaken]);
    ASSERT_TRUE(reader.ReadFrame(rate, kbps, length, samples, offset));
    EXPECT_EQ(offset, offsets[kTaken]);
}

}  // namespace
}  // namespace corvane
