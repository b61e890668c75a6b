// The header frame, seek table and carrier frame writers.
#include "engine/mp3/GaplessFrames.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "audio/MpegFrameHeader.h"
#include "engine/mp3/Mp3Reader.h"
#include "support/Mp3Factory.h"

namespace corvane {
namespace {

using test::Bytes;

uint32_t At32(const uint8_t* p) { return (uint32_t{p[0]} << 24) | (p[1] << 16) | (p[2] << 8) | p[3]; }

// The fast CRC (folded where the processor multiplies without carries, four lanes or sixteen
// at a time, by tables elsewhere) is the bitwise one for every length, offset and split of the
// bytes.
TEST(LameCrc16, EveryLengthAndSplitGivesTheBitwiseCrc) {
    std::vector<uint8_t> bytes(1500);
    uint32_t seed = 12345;
    for (uint8_t& b : bytes) b = static_cast<uint8_t>((seed = seed * 1103515245 + 12345) >> 16);
    auto bitwise = [](uint16_t crc, const uint8_t* data, size_t length) {
        for (size_t i = 0; i < length; ++i) {
            crc ^= data[i];
            for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
        }
        return crc;
    };
    for (size_t length = 0; length < 1100; ++length) {
        ASSERT_EQ(LameCrc16(0x1234, bytes.data() + 3, length), bitwise(0x1234, bytes.data() + 3, length)) << length;
    }
    const uint16_t whole = bitwise(0, bytes.data(), bytes.size());
    EXPECT_EQ(LameCrc16(0, bytes.data(), bytes.size()), whole);
    EXPECT_EQ(LameCrc16(LameCrc16(0, bytes.data(), 417), bytes.data() + 417, bytes.size() - 417), whole);
}

// Given the figures LAME wrote into its Info frame, and a seek table counted over the file's
// own frames, the writer writes LAME's frame byte for byte: counts, table, delays, the music
// CRC over the frames after it and the tag's CRC.
TEST(GaplessFrames, TheHeaderWriterWritesWhatLameWrites) {
    for (const bool vbr : {false, true}) {
        SCOPED_TRACE(vbr ? "VBR" : "CBR");
        test::EncodeOptions o;
        o.infoFrame = true;
        o.vbr = vbr;
        o.seconds = 3.1;
        const Bytes mp3 = test::EncodeMp3(o);
        const MpegFrameHeader h = DecodeFrameHeader(mp3.data());
        const Bytes lame(mp3.begin(), mp3.begin() + h.frameLength);
        const size_t xing = static_cast<size_t>(VbrTagOffset(h));
        HeaderFigures figures;
        figures.frames = At32(lame.data() + xing + 8);
        figures.bytes = At32(lame.data() + xing + 12);
        ASSERT_TRUE(CMp3Reader::ReadLameDelays(lame.data(), static_cast<uint32_t>(lame.size()), figures.delay,
                                               figures.padding));
        CSeekTable table;
        const std::vector<size_t> offsets = test::FrameOffsets(mp3, 0);
        for (size_t k = 1; k < offsets.size(); ++k) table.Add(offsets[k]);
        EXPECT_EQ(table.Frames(), figures.frames);
        // LAME counts bit rates where the table counts bytes: an entry may round the other way.
        const std::vector<uint8_t> entries = table.Entries(figures.bytes);
        for (size_t i = 0; i < 100; ++i) EXPECT_NEAR(entries[i], lame[xing + 16 + i], 1) << i;
        figures.seekTable.assign(lame.begin() + static_cast<long>(xing) + 16, lame.begin() + static_cast<long>(xing) + 116);
        ASSERT_LE(figures.bytes, mp3.size());
        figures.musicCrc = LameCrc16(0, mp3.data() + lame.size(), figures.bytes - lame.size());

        Bytes copy = lame;
        std::fill(copy.begin() + static_cast<long>(xing) + 8, copy.begin() + static_cast<long>(xing) + 116, 0);
        std::fill(copy.begin() + static_cast<long>(xing) + 120 + 21, copy.begin() + static_cast<long>(xing) + 120 + 24, 0);
        std::fill(copy.begin() + static_cast<long>(xing) + 120 + 32, copy.begin() + static_cast<long>(xing) + 120 + 34, 0);
        copy[xing + 120 + 35] ^= 0xFF;
        FinishHeaderFrame(copy, figures);
        const auto differs = std::mismatch(copy.begin(), copy.end(), lame.begin());
        EXPECT_EQ(copy, lame) << "first difference at byte " << differs.first - copy.begin();
    }
}

// A header frame made for a source without one: the smallest frame of the source's kind that
// holds the Xing fields and a LAME tag decoders trust, read back as written.
TEST(GaplessFrames, AMadeHeaderFrameHoldsAFullLameTag) {
    const uint8_t mpeg1At32kbps[4] = {0xFF, 0xFB, 0x10, 0x44};   // 44.1 kHz joint stereo
    const uint8_t mpeg25Mono[4] = {0xFF, 0xE3, 0x40, 0xC4};      // 11.025 kHz mono, 32 kbps
    for (const uint8_t* like : {mpeg1At32kbps, mpeg25Mono}) {
        std::vector<uint8_t> frame = MakeHeaderFrame(like, true);
        ASSERT_FALSE(frame.empty());
        const MpegFrameHeader h = DecodeFrameHeader(frame.data());
        EXPECT_EQ(h.sampleRate, DecodeFrameHeader(like).sampleRate);
        EXPECT_EQ(h.channelMode, DecodeFrameHeader(like).channelMode);
        EXPECT_GE(static_cast<size_t>(h.frameLength), static_cast<size_t>(VbrTagOffset(h)) + 156);
        EXPECT_EQ(std::string(frame.begin() + VbrTagOffset(h), frame.begin() + VbrTagOffset(h) + 4), "Xing");
        FinishHeaderFrame(frame, HeaderFigures{1000, 123456, 1105, 1300, 0, {}});
        int delay = 0, padding = 0;
        ASSERT_TRUE(CMp3Reader::ReadLameDelays(frame.data(), static_cast<uint32_t>(frame.size()), delay, padding));
        EXPECT_EQ(delay, 1105);
        EXPECT_EQ(padding, 1300);
        EXPECT_EQ(At32(frame.data() + VbrTagOffset(h) + 8), 1000u);
    }
}

// A LAME stream that starts with an attack switches to short blocks and back: every block
// type read is one the windows allow after the one before (long halves meet long halves).
TEST(GaplessFrames, BlockTypesOfAStreamMeetTheirNeighbours) {
    for (const int rate : {44100, 22050}) {
        test::EncodeOptions o;
        o.sampleRate = rate;
        o.seconds = 2;
        const Bytes mp3 = test::EncodeMp3(o);
        const std::vector<LayerIIIFrame> frames = ParseLayerIIIFrames(mp3, 0);
        ASSERT_GT(frames.size(), 20u);
        std::vector<int> previous(2, 0);
        int shortBlocks = 0;
        for (const LayerIIIFrame& frame : frames) {
            const std::vector<int> types = GranuleBlockTypes(frame);
            ASSERT_EQ(types.size(), rate == 44100 ? 4u : 2u);
            for (size_t i = 0; i < types.size(); ++i) {
                const bool longBefore = previous[i % 2] == 0 || previous[i % 2] == 3;
                const bool longAfter = types[i] == 0 || types[i] == 1;
                EXPECT_EQ(longBefore, longAfter) << "frame at " << frame.offset;
                previous[i % 2] = types[i];
                shortBlocks += types[i] == 2;
            }
        }
        EXPECT_GT(shortBlocks, 0) << rate;
    }
}

// frame with room after its own data: the same bytes at a higher bit rate, the reservoir last.
TEST(GaplessFrames, AFrameEndingWithAReservoirKeepsItsOwnData) {
    test::EncodeOptions o;
    o.kbps = 64;
    const Bytes mp3 = test::EncodeMp3(o);
    const std::vector<LayerIIIFrame> frames = ParseLayerIIIFrames(mp3, 0);
    ASSERT_GT(frames.size(), 3u);
    const std::vector<uint8_t>& own = frames[3].bytes;
    const std::vector<uint8_t> reservoir(200, 0x5A);
    const std::vector<uint8_t> frame = FrameEndingWith(own, reservoir);
    ASSERT_FALSE(frame.empty());
    EXPECT_EQ(DecodeFrameHeader(frame.data()).kbps, 128);  // 64 kbps: 208 bytes; 112: 365; 128: 417
    EXPECT_TRUE(std::equal(own.begin() + 4, own.end(), frame.begin() + 4));
    EXPECT_TRUE(std::equal(reservoir.begin(), reservoir.end(), frame.end() - 200));
}

// The carrier ends its data area with the reservoir and holds nothing else: side information
// all zero, the lowest bit rate whose data area holds the bytes.
TEST(GaplessFrames, ACarrierFrameHoldsTheReservoirAtItsEnd) {
    const uint8_t like[4] = {0xFF, 0xFB, 0x90, 0x64};  // 128 kbps, 44.1 kHz, joint stereo
    const std::vector<uint8_t> reservoir(300, 0xA5);
    const std::vector<uint8_t> frame = CarrierFrame(like, reservoir);
    const MpegFrameHeader h = DecodeFrameHeader(frame.data());
    EXPECT_EQ(h.kbps, 112);  // 96 kbps holds 313 - 36 bytes of data, 112 kbps 365 - 36
    EXPECT_TRUE(std::equal(reservoir.begin(), reservoir.end(), frame.end() - 300));
    EXPECT_TRUE(std::all_of(frame.begin() + 4, frame.end() - 300, [](uint8_t b) { return b == 0; }));
}

// A table over a long file keeps one offset of every few frames and still finds where the
// frame at each percent ends.
TEST(GaplessFrames, TheSeekTableOfAManyFramesFileFindsEachPercent) {
    CSeekTable table;
    constexpr uint32_t kFrames = 100000;
    for (uint32_t k = 0; k < kFrames; ++k) table.Add(400 + uint64_t{k} * 400);  // after a 400-byte header
    const std::vector<uint8_t> entries = table.Entries(uint64_t{kFrames + 1} * 400);
    ASSERT_EQ(entries.size(), 100u);
    EXPECT_EQ(entries[0], 0);
    for (size_t i = 1; i < 100; ++i) EXPECT_EQ(entries[i], static_cast<uint8_t>((i * 1000 + 1) * 256 / 100000)) << i;
}

}  // namespace
}  // namespace corvane
