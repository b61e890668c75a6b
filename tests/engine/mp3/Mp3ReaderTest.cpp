// Tests of CMp3Reader: header tables, frame search, facts, VBR header frames, copies.
#include "engine/mp3/Mp3Reader.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <memory>

#include "audio/MappedFile.h"
#include "audio/MpegFrameHeader.h"
#include "engine/mp3/OutputFile.h"
#include "engine/Facts.h"
#include "support/Mp3Factory.h"
#include "support/ReturnsWithin.h"

namespace corvane {
namespace {

using test::Bytes;

using test::ReturnsWithin;

int FrameLength(int version, int layer, int bitrateIndex, int rateIndex, int padding) {
    const Bytes h = test::MakeFrameHeader(version, layer, bitrateIndex, rateIndex, padding, 0);
    EXPECT_TRUE(IsFrameHeader(h.data()));
    return DecodeFrameHeader(h.data()).frameLength;
}

TEST(Mp3Reader, FrameLengthsFollowTheTables) {
    EXPECT_EQ(FrameLength(3, 1, 1, 0, 1), 36);    // Layer I, 44100 Hz, 32 kbps, padded
    EXPECT_EQ(FrameLength(3, 3, 9, 0, 0), 417);   // Layer III, 44100 Hz, 128 kbps
    EXPECT_EQ(FrameLength(3, 3, 9, 0, 1), 418);
    EXPECT_EQ(FrameLength(0, 2, 14, 2, 1), 2881);  // the longest frame: MPEG 2.5 Layer II 160 kbps 8000 Hz

    const Bytes mpeg25 = test::MakeFrameHeader(0, 3, 8, 2, 0, 3);
    const MpegFrameHeader h = DecodeFrameHeader(mpeg25.data());
    EXPECT_EQ(h.sampleRate, 8000);
    EXPECT_EQ(h.samplesPerFrame, 576);
    EXPECT_EQ(h.kbps, 64);
    EXPECT_EQ(h.sideInfoLength, 9);
}

TEST(Mp3Reader, RefusesReservedAndFreeFormatHeaders) {
    EXPECT_FALSE(IsFrameHeader(test::MakeFrameHeader(3, 3, 0, 0, 0, 0).data()));   // free format
    EXPECT_FALSE(IsFrameHeader(test::MakeFrameHeader(3, 3, 15, 0, 0, 0).data()));  // bad bit rate
    EXPECT_FALSE(IsFrameHeader(test::MakeFrameHeader(3, 3, 9, 3, 0, 0).data()));   // bad sample rate
    EXPECT_FALSE(IsFrameHeader(test::MakeFrameHeader(1, 3, 9, 0, 0, 0).data()));   // reserved version
    EXPECT_FALSE(IsFrameHeader(test::MakeFrameHeader(3, 3, 9, 0, 0, 0, 2).data()));  // emphasis 2
    EXPECT_TRUE(IsFrameHeader(test::MakeFrameHeader(3, 3, 9, 0, 0, 0, 1).data()));
    const uint8_t layer0[4] = {0xFF, 0xF9, 0x90, 0x00};
    EXPECT_FALSE(IsFrameHeader(layer0));
}

class Mp3ReaderFiles : public ::testing::Test {
protected:
    std::string Write(const std::string& name, const Bytes& data) {
        const std::string path = dir / name;
        test::WriteFile(path, data);
        return path;
    }
    // Reads every frame of the open file: each must be the next of mp3's own frames, in place
    // and byte for byte. Returns how many were read.
    size_t ReadEveryFrameOf(const Bytes& mp3) {
        const std::vector<size_t> expected = test::FrameOffsets(mp3, 0);
        int rate, kbps, length, samples;
        uint64_t offset;
        size_t n = 0;
        while (const uint8_t* frame = reader.ReadFrame(rate, kbps, length, samples, offset)) {
            if (n == expected.size() || offset != expected[n]) ADD_FAILURE() << "frame " << n << " at " << offset;
            EXPECT_EQ(std::memcmp(frame, mp3.data() + offset, static_cast<size_t>(length)), 0) << "frame " << n;
            EXPECT_EQ(samples, 1152);
            EXPECT_EQ(reader.position(), offset + static_cast<uint64_t>(length));
            ++n;
        }
        EXPECT_EQ(n, expected.size());
        return n;
    }
    test::TempDir dir;
    CMp3Reader reader;
};

TEST_F(Mp3ReaderFiles, OpensLameCbrAndReadsEveryFrame) {
    test::EncodeOptions o;
    o.seconds = 3;
    const Bytes mp3 = test::EncodeMp3(o);
    const std::string path = Write("cbr.mp3", mp3);
    ASSERT_TRUE(reader.OpenFile(path));
    EXPECT_EQ(reader.sampleRate(), 44100);
    EXPECT_EQ(reader.channelMode(), 1);
    EXPECT_EQ(reader.bitrate(), 128);
    EXPECT_EQ(reader.fileSize(), mp3.size());
    EXPECT_EQ(reader.vbrFrame(), nullptr);
    EXPECT_EQ(reader.audioStart(), 0u);

    const size_t n = ReadEveryFrameOf(mp3);
    EXPECT_EQ(reader.durationSeconds(), static_cast<uint32_t>(n * 1152 / 44100));
}

TEST_F(Mp3ReaderFiles, KeepsTheInfoFrameAndStartsAfterIt) {
    test::EncodeOptions o;
    o.seconds = 2;
    o.infoFrame = true;
    const Bytes frames = test::EncodeMp3(o);
    const Bytes tag = test::MakeId3v2Tag(3, {{"TIT2", "Song"}}, false, true, 100);
    const std::string path = Write("info.mp3", test::Concat({tag, frames}));
    ASSERT_TRUE(reader.OpenFile(path));
    const size_t infoLength = static_cast<size_t>(DecodeFrameHeader(frames.data()).frameLength);
    ASSERT_NE(reader.vbrFrame(), nullptr);
    EXPECT_EQ(reader.vbrFrameLength(), infoLength);
    EXPECT_EQ(std::memcmp(reader.vbrFrame(), frames.data(), infoLength), 0);
    EXPECT_EQ(std::memcmp(reader.vbrFrame() + 36, "Info", 4), 0);
    EXPECT_EQ(reader.audioStart(), tag.size() + infoLength);

    int rate, kbps, length, samples;
    uint64_t offset;
    ASSERT_NE(reader.ReadFrame(rate, kbps, length, samples, offset), nullptr);
    EXPECT_EQ(offset, tag.size() + infoLength);
}

TEST_F(Mp3ReaderFiles, LameVbrMpeg2MonoHasItsXingFrameAtOffset13) {
    test::EncodeOptions o;
    o.sampleRate = 22050;
    o.channels = 1;
    o.mode = test::Mode::Mono;
    o.vbr = true;
    o.infoFrame = true;
    o.seconds = 3;
    const Bytes frames = test::EncodeMp3(o);
    ASSERT_TRUE(reader.OpenFile(Write("vbr.mp3", frames)));
    ASSERT_NE(reader.vbrFrame(), nullptr);
    EXPECT_EQ(std::memcmp(reader.vbrFrame() + 13, "Xing", 4), 0);
    EXPECT_EQ(reader.sampleRate(), 22050);
    EXPECT_EQ(reader.channelMode(), 3);
}

TEST_F(Mp3ReaderFiles, AVbrFrameThatIsNotFirstIsNotRecognised) {
    test::EncodeOptions o;
    o.seconds = 1;
    o.infoFrame = true;
    const Bytes withInfo = test::EncodeMp3(o);
    o.infoFrame = false;
    const Bytes plain = test::EncodeMp3(o);
    const size_t firstLength = static_cast<size_t>(DecodeFrameHeader(plain.data()).frameLength);
    const Bytes data = test::Concat({Bytes(plain.begin(), plain.begin() + firstLength), withInfo});
    ASSERT_TRUE(reader.OpenFile(Write("late.mp3", data)));
    EXPECT_EQ(reader.vbrFrame(), nullptr);
}

TEST_F(Mp3ReaderFiles, SkipsGarbageBetweenFrames) {
    const Bytes frame = test::MakeFrame(3, 3, 9, 0, 0, 1);
    const Bytes junk = {0x00, 0xFF, 0x12, 0xFF, 0x00, 0x34};
    const Bytes data = test::Concat({test::RepeatFrame(frame, 5), junk, test::RepeatFrame(frame, 5)});
    ASSERT_TRUE(reader.OpenFile(Write("junk.mp3", data)));
    int rate, kbps, length, samples;
    uint64_t offset = 0;
    std::vector<uint64_t> offsets;
    while (reader.ReadFrame(rate, kbps, length, samples, offset)) offsets.push_back(offset);
    ASSERT_EQ(offsets.size(), 10u);
    EXPECT_EQ(offsets[4], 4 * 417u);
    EXPECT_EQ(offsets[5], 5 * 417u + junk.size());
}

TEST_F(Mp3ReaderFiles, ALastFrameCutShortIsNotHandedOut) {
    const Bytes frame = test::MakeFrame(3, 3, 9, 0, 0, 1);
    Bytes data = test::RepeatFrame(frame, 6);
    data.resize(data.size() - 100);
    ASSERT_TRUE(reader.OpenFile(Write("cut.mp3", data)));
    int rate, kbps, length, samples;
    uint64_t offset;
    int n = 0;
    while (reader.ReadFrame(rate, kbps, length, samples, offset)) ++n;
    EXPECT_EQ(n, 5);
}

TEST_F(Mp3ReaderFiles, OpensMpeg25AndMpeg2Mono) {
    test::EncodeOptions o;
    o.seconds = 2;
    o.sampleRate = 8000;
    o.channels = 1;
    o.mode = test::Mode::Mono;
    o.kbps = 16;
    ASSERT_TRUE(reader.OpenFile(Write("m25.mp3", test::EncodeMp3(o))));
    EXPECT_EQ(reader.sampleRate(), 8000);
    EXPECT_EQ(reader.channelMode(), 3);

    o.sampleRate = 22050;
    o.kbps = 32;
    ASSERT_TRUE(reader.OpenFile(Write("m2.mp3", test::EncodeMp3(o))));
    EXPECT_EQ(reader.sampleRate(), 22050);
    EXPECT_EQ(reader.bitrate(), 32);
    EXPECT_STREQ(ChannelModeName(reader.channelMode()), "Mono");
}

TEST_F(Mp3ReaderFiles, CopyRangeCopiesBytesAndReadingGoesOnAfterThem) {
    test::EncodeOptions o;
    o.seconds = 1;
    const Bytes mp3 = test::EncodeMp3(o);
    ASSERT_TRUE(reader.OpenFile(Write("src.mp3", mp3)));
    const std::vector<size_t> offsets = test::FrameOffsets(mp3, 0);
    COutputFile out;
    ASSERT_TRUE(out.Create(dir / "copy.bin"));
    ASSERT_TRUE(reader.CopyRange(out, offsets[2], offsets[5] - offsets[2]));
    EXPECT_EQ(reader.position(), offsets[2]);
    int rate, kbps, length, samples;
    uint64_t offset;
    ASSERT_NE(reader.ReadFrame(rate, kbps, length, samples, offset), nullptr);
    EXPECT_EQ(offset, offsets[5]);
    ASSERT_TRUE(out.Close());
    ASSERT_EQ(out.Publish(dir / "copy.bin", false), COutputFile::Published::Done);
    EXPECT_EQ(test::ReadFile(dir / "copy.bin"), Bytes(mp3.begin() + static_cast<long>(offsets[2]), mp3.begin() + static_cast<long>(offsets[5])));
}

// An APEv2 tag with its header, one item and its footer.
Bytes ApeTag() {
    const std::string key = "Title", value = "Ape";
    Bytes item = {static_cast<uint8_t>(value.size()), 0, 0, 0, 0, 0, 0, 0};
    item.insert(item.end(), key.begin(), key.end());
    item.push_back(0);
    item.insert(item.end(), value.begin(), value.end());
    auto block = [&](uint8_t flagsHigh) {
        Bytes b = {'A', 'P', 'E', 'T', 'A', 'G', 'E', 'X', 0xD0, 0x07, 0, 0};
        const uint32_t size = static_cast<uint32_t>(item.size() + 32);
        for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(size >> (8 * i)));
        b.insert(b.end(), {1, 0, 0, 0, 0, 0, 0, flagsHigh, 0, 0, 0, 0, 0, 0, 0, 0});
        return b;
    };
    return test::Concat({block(0xA0), item, block(0x80)});
}

TEST_F(Mp3ReaderFiles, TheBitrateIsTheAudiosAloneWhateverTheTags) {
    test::EncodeOptions o;
    o.seconds = 2;
    const Bytes plain = test::EncodeMp3(o);
    o.infoFrame = true;
    const Bytes withInfo = test::EncodeMp3(o);
    // 8 KB of tag before 32 KB of audio, and tags after it: the bytes of a file are no measure.
    const Bytes cover = test::MakeId3v2Tag(3, {{"TIT2", "Cover"}}, false, true, 8192);
    const Bytes tail = test::Concat({ApeTag(), test::MakeId3v1Tag("t", "a", "l", "2001", 1, 1)});
    ASSERT_TRUE(reader.OpenFile(Write("plain.mp3", test::Concat({cover, plain, tail}))));
    EXPECT_EQ(reader.headerFrame(), VbrHeaderKind::kNone);
    EXPECT_EQ(reader.bitrate(), 128);
    EXPECT_FALSE(reader.variableBitrate());
    EXPECT_EQ(reader.audioEnd(), reader.fileSize() - tail.size());
    ASSERT_TRUE(reader.OpenFile(Write("info.mp3", test::Concat({cover, withInfo, tail}))));
    EXPECT_EQ(reader.headerFrame(), VbrHeaderKind::kInfo);
    EXPECT_EQ(reader.bitrate(), 128);
    EXPECT_FALSE(reader.variableBitrate());
    EXPECT_EQ(reader.layer(), 3);

    // A variable bit rate: the average over the audio frames (the Xing frame is no audio).
    o.vbr = true;
    const Bytes vbr = test::EncodeMp3(o);
    ASSERT_TRUE(reader.OpenFile(Write("vbr.mp3", test::Concat({cover, vbr}))));
    EXPECT_EQ(reader.headerFrame(), VbrHeaderKind::kXing);
    EXPECT_TRUE(reader.variableBitrate());
    const size_t audioBytes = vbr.size() - static_cast<size_t>(DecodeFrameHeader(vbr.data()).frameLength);
    EXPECT_EQ(reader.bitrate(), static_cast<int>(audioBytes / (reader.durationExact() * 125) + 0.5));
    // The same frames without their Xing frame: the scan finds several bit rates.
    ASSERT_TRUE(reader.OpenFile(Write("bare.mp3", Bytes(vbr.begin() + static_cast<long>(vbr.size() - audioBytes), vbr.end()))));
    EXPECT_EQ(reader.headerFrame(), VbrHeaderKind::kNone);
    EXPECT_TRUE(reader.variableBitrate());
    EXPECT_NEAR(reader.bitrate(), static_cast<double>(audioBytes) / (reader.durationExact() * 125), 0.5);
}

TEST_F(Mp3ReaderFiles, ATruncatedFileIsMeasuredByTheFramesItHas) {
    test::EncodeOptions o;
    o.seconds = 12;
    o.infoFrame = true;
    const Bytes full = test::EncodeMp3(o);
    const std::vector<size_t> allFrames = test::FrameOffsets(full, 0);
    ASSERT_TRUE(reader.OpenFile(Write("full.mp3", full)));
    EXPECT_FALSE(reader.truncated());
    EXPECT_EQ(reader.headerFrameCount(), allFrames.size() - 1);

    // A partial download: the Info frame still counts every frame of the whole file.
    const Bytes part(full.begin(), full.begin() + static_cast<long>(full.size() / 3));
    const size_t present = test::FrameOffsets(part, 0).size() - 1;  // whole audio frames
    ASSERT_TRUE(reader.OpenFile(Write("part.mp3", part)));
    EXPECT_TRUE(reader.truncated());
    EXPECT_DOUBLE_EQ(reader.durationExact(), present * 1152.0 / 44100);
    EXPECT_DOUBLE_EQ(reader.headerDuration(), (allFrames.size() - 1) * 1152.0 / 44100);
    EXPECT_EQ(reader.bitrate(), 128);
}

// LAME 3.100 at 44100 Hz puts 576 samples before the audio and pads the last frame; a gapless
// decoder plays exactly the samples that went in.
TEST_F(Mp3ReaderFiles, ReadsTheEncoderDelayAndPaddingOfTheLameTag) {
    test::EncodeOptions o;
    o.infoFrame = true;
    const std::vector<int16_t> pcm = test::SynthesizePcm(o.sampleRate, o.channels, 2.3);
    const int64_t input = static_cast<int64_t>(pcm.size()) / o.channels;
    Bytes mp3 = test::EncodePcm(o, pcm);
    const int64_t frames = static_cast<int64_t>(test::FrameOffsets(mp3, 0).size()) - 1;  // the Info frame is no audio
    const uint32_t infoLength = static_cast<uint32_t>(DecodeFrameHeader(mp3.data()).frameLength);

    int delay = -1, padding = -1;
    ASSERT_TRUE(CMp3Reader::ReadLameDelays(mp3.data(), infoLength, delay, padding));
    EXPECT_EQ(delay, 576);
    EXPECT_EQ(padding, frames * 1152 - 576 - input);
    ASSERT_TRUE(reader.OpenFile(Write("lame.mp3", mp3)));
    EXPECT_TRUE(reader.hasEncoderDelays());
    EXPECT_EQ(reader.decodedSamples(), static_cast<uint64_t>(frames * 1152));
    EXPECT_EQ(reader.gaplessSamples(), static_cast<uint64_t>(input));

    // Another encoder's version text, or a frame too short for the tag: no delays.
    const size_t version = static_cast<size_t>(VbrTagOffset(DecodeFrameHeader(mp3.data()))) + 8 + 4 + 4 + 100 + 4;
    EXPECT_EQ(std::memcmp(mp3.data() + version, "LAME", 4), 0);
    EXPECT_FALSE(CMp3Reader::ReadLameDelays(mp3.data(), static_cast<uint32_t>(version) + 23, delay, padding));
    std::memcpy(mp3.data() + version, "Xyz1", 4);
    EXPECT_FALSE(CMp3Reader::ReadLameDelays(mp3.data(), infoLength, delay, padding));
    ASSERT_TRUE(reader.OpenFile(Write("other.mp3", mp3)));
    EXPECT_FALSE(reader.hasEncoderDelays());
    EXPECT_EQ(reader.gaplessSamples(), reader.decodedSamples());
}

TEST_F(Mp3ReaderFiles, AfterAJumpAHeaderCountsOnlyWhenTheNextOneAgrees) {
    test::EncodeOptions o;
    o.seconds = 1;
    Bytes mp3 = test::EncodeMp3(o);
    const std::vector<size_t> offsets = test::FrameOffsets(mp3, 0);
    // Frame 10 is damaged: its sync is gone, and inside it stand a Layer II mono header and a
    // header of the stream's own format whose frame would end inside frame 11.
    const size_t damaged = offsets[10];
    mp3[damaged] = 0x00;
    const uint8_t layer2Mono[4] = {0xFF, 0xFD, 0x90, 0xC0};
    std::memcpy(&mp3[damaged + 20], layer2Mono, 4);
    std::memcpy(&mp3[damaged + 100], &mp3[offsets[12]], 4);
    ASSERT_TRUE(reader.OpenFile(Write("damaged.mp3", mp3)));

    int rate, kbps, length, samples;
    uint64_t offset = 0;
    reader.SeekTo(damaged);
    ASSERT_NE(reader.ReadFrame(rate, kbps, length, samples, offset), nullptr);
    EXPECT_EQ(offset, offsets[11]);

    // Read through from the start, every frame but the damaged one comes out.
    reader.SeekTo(0);
    std::vector<uint64_t> read;
    while (reader.ReadFrame(rate, kbps, length, samples, offset)) read.push_back(offset);
    std::vector<uint64_t> expected(offsets.begin(), offsets.end());
    expected.erase(expected.begin() + 10);
    EXPECT_EQ(read, expected);
    EXPECT_FALSE(reader.ReadFailed());
}

TEST_F(Mp3ReaderFiles, FramesOfAnotherFormatAreNoFramesOfTheStream) {
    const Bytes stream = test::MakeFrame(3, 3, 9, 0, 0, 1);   // Layer III, 44100 Hz, joint stereo
    const Bytes layer2 = test::MakeFrame(3, 2, 9, 0, 0, 3);   // Layer II mono
    const Bytes rate48 = test::MakeFrame(3, 3, 9, 1, 0, 1);   // 48000 Hz
    const Bytes mono = test::MakeFrame(3, 3, 9, 0, 0, 3);     // one channel
    const Bytes two = test::RepeatFrame(stream, 2);
    const Bytes data = test::Concat({two, two, layer2, two, rate48, two, mono, two});
    ASSERT_TRUE(reader.OpenFile(Write("mixed.mp3", data)));
    int rate, kbps, length, samples;
    uint64_t offset = 0;
    std::vector<uint64_t> read;
    while (reader.ReadFrame(rate, kbps, length, samples, offset)) {
        EXPECT_EQ(length, 417);
        read.push_back(offset);
    }
    const uint64_t f = stream.size(), a = layer2.size(), b = rate48.size(), c = mono.size();
    EXPECT_EQ(read, (std::vector<uint64_t>{0, f, 2 * f, 3 * f, 4 * f + a, 5 * f + a, 6 * f + a + b, 7 * f + a + b,
                                           8 * f + a + b + c, 9 * f + a + b + c}));
}

TEST_F(Mp3ReaderFiles, AWalkTakesTheFramesReadFrameWouldHandOut) {
    // Junk, frames of other formats and a last frame cut short, each where a walk must stop.
    const Bytes stream = test::MakeFrame(3, 3, 9, 0, 0, 1);
    const Bytes padded = test::MakeFrame(3, 3, 9, 0, 1, 1);
    const Bytes junk = {0x00, 0xFF, 0x12, 0xFF, 0x00, 0x34};
    const Bytes run = test::Concat({test::RepeatFrame(stream, 4), padded, test::RepeatFrame(stream, 3)});
    Bytes data = test::Concat({run, junk, run, test::MakeFrame(3, 2, 9, 0, 0, 3), run, test::MakeFrame(3, 3, 9, 1, 0, 1),
                               run, stream});
    data.resize(data.size() - 100);
    const std::string path = Write("mixed.mp3", data);
    int rate, kbps, length, samples;
    uint64_t offset = 0;
    ASSERT_TRUE(reader.OpenFile(path));
    std::vector<uint64_t> read;
    std::map<uint64_t, int> lengths;
    while (reader.ReadFrame(rate, kbps, length, samples, offset)) {
        read.push_back(offset);
        lengths[offset] = length;
    }
    ASSERT_EQ(read.size(), 32u);

    // Walks of at most three frames, a frame read where none can be walked.
    ASSERT_TRUE(reader.OpenFile(path));
    std::vector<uint64_t> walked;
    size_t walks = 0;
    for (;;) {
        size_t taken = 0;
        const uint64_t n = reader.WalkFrames([&](uint64_t at, const MpegFrameHeader& h) {
            if (taken == 3) return false;
            EXPECT_EQ(h.frameLength, lengths[at]);
            walked.push_back(at);
            ++taken;
            return true;
        });
        EXPECT_EQ(n, taken);
        if (n > 0) {
            ++walks;
            EXPECT_EQ(reader.position(), walked.back() + static_cast<uint64_t>(lengths[walked.back()]));
            continue;
        }
        if (!reader.ReadFrame(rate, kbps, length, samples, offset)) break;
        walked.push_back(offset);
    }
    EXPECT_EQ(walked, read);
    EXPECT_GE(walks, 8u);
    EXPECT_FALSE(reader.ReadFailed());
}

TEST_F(Mp3ReaderFiles, AFileThatCannotBeMappedIsReadThroughTheBuffer) {
    // Every mapping the process may hold is taken by other files.
    std::vector<std::unique_ptr<audio::CMappedFile>> taken;
    for (int k = 0; k < audio::kMaxMappedFiles; ++k) {
        const std::string other = Write("other" + std::to_string(k), Bytes{1, 2, 3});
        const int fd = ::open(other.c_str(), O_RDONLY | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        taken.push_back(std::make_unique<audio::CMappedFile>());
        const bool mapped = taken.back()->Map(fd, 3);
        ::close(fd);
        ASSERT_TRUE(mapped);
    }
    test::EncodeOptions o;
    o.seconds = 40;  // 640 KB: more than the reader's buffer holds
    const Bytes mp3 = test::EncodeMp3(o);
    const std::string path = Write("long.mp3", mp3);
    ASSERT_TRUE(reader.OpenFile(path));
    ReadEveryFrameOf(mp3);
    EXPECT_FALSE(reader.ReadFailed());
}

// --- Refusals and malformed input -------------------------------------------------------

TEST_F(Mp3ReaderFiles, AReadThatFailsIsNotTheEndOfTheData) {
    test::EncodeOptions o;
    o.seconds = 40;  // 640 KB: more than the reader's buffer holds
    const Bytes mp3 = test::EncodeMp3(o);
    const std::string path = Write("long.mp3", mp3);
    int rate, kbps, length, samples;
    uint64_t offset = 0;
    ASSERT_TRUE(reader.OpenFile(path));
    size_t frames = 0;
    while (reader.ReadFrame(rate, kbps, length, samples, offset)) ++frames;
    EXPECT_EQ(frames, test::FrameOffsets(mp3, 0).size());
    EXPECT_FALSE(reader.ReadFailed());

    // The file loses its end while it is read: what follows the buffered part cannot be read.
    ASSERT_TRUE(reader.OpenFile(path));
    ASSERT_NE(reader.ReadFrame(rate, kbps, length, samples, offset), nullptr);
    std::filesystem::resize_file(path, 100000);
    frames = 1;
    while (reader.ReadFrame(rate, kbps, length, samples, offset)) ++frames;
    EXPECT_TRUE(reader.ReadFailed());
    EXPECT_LT(frames, test::FrameOffsets(mp3, 0).size());
    COutputFile out;
    ASSERT_TRUE(out.Create(dir / "copy.bin"));
    EXPECT_FALSE(reader.CopyRange(out, 0, mp3.size()));
    EXPECT_TRUE(reader.ReadFailed());
}

TEST_F(Mp3ReaderFiles, RefusesFreeFormatFiles) {
    const Bytes frame = test::MakeFrame(3, 3, 0, 0, 0, 1, 0, 500);
    EXPECT_FALSE(reader.OpenFile(Write("free.mp3", test::RepeatFrame(frame, 20))));
    EXPECT_FALSE(reader.IsOpen());
    EXPECT_EQ(reader.channelMode(), 4);
}

TEST_F(Mp3ReaderFiles, RefusesTinyEmptyAndMissingFiles) {
    for (size_t size = 0; size <= 10; ++size) {
        Bytes data(size, 0xFF);
        if (size >= 3) std::memcpy(data.data(), "ID3", 3);
        EXPECT_FALSE(reader.OpenFile(Write("tiny" + std::to_string(size) + ".mp3", data))) << size;
    }
    EXPECT_FALSE(reader.OpenFile(dir / "missing.mp3"));
    EXPECT_FALSE(reader.OpenFile(dir.path().string()));
}

TEST_F(Mp3ReaderFiles, RefusesPipesAndDevicesAtOnce) {
    const std::string fifo = dir / "pipe.mp3";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {fifo, std::string("/dev/zero")}) {
        bool opened = true;
        ASSERT_TRUE(ReturnsWithin([path] { return CMp3Reader().OpenFile(path); }, opened)) << path;
        EXPECT_FALSE(opened) << path;
    }
    // A link to a regular file is that file.
    test::EncodeOptions o;
    o.seconds = 1;
    Write("real.mp3", test::EncodeMp3(o));
    std::filesystem::create_symlink(dir / "real.mp3", dir / "link.mp3");
    EXPECT_TRUE(reader.OpenFile(dir / "link.mp3"));
}

TEST_F(Mp3ReaderFiles, RefusesOtherFormatsWhateverTheirName) {
    // A WAV file of 16-bit PCM full of 0xFFFB words that look like frame headers.
    Bytes wav = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0, 0, 1, 0, 2, 0,
                 0x44, 0xAC, 0, 0, 0x10, 0xB1, 0x02, 0, 4, 0, 16, 0, 'd', 'a', 't', 'a', 0, 0, 0, 0};
    const Bytes body = test::RepeatFrame(test::MakeFrame(3, 3, 9, 0, 0, 1), 40);
    const uint32_t dataSize = static_cast<uint32_t>(body.size());
    std::memcpy(&wav[40], &dataSize, 4);
    const uint32_t riffSize = dataSize + 36;
    std::memcpy(&wav[4], &riffSize, 4);
    EXPECT_FALSE(reader.OpenFile(Write("wave.mp3", test::Concat({wav, body}))));

    Bytes noise(200000);
    uint32_t x = 12345;
    for (uint8_t& b : noise) {
        x = x * 1103515245 + 12345;
        b = static_cast<uint8_t>(x >> 16);
    }
    EXPECT_FALSE(reader.OpenFile(Write("noise.mp3", noise)));
}

TEST_F(Mp3ReaderFiles, SurvivesATagSizePastTheEndOfTheFile) {
    Bytes tag = {'I', 'D', '3', 3, 0, 0, 0x7F, 0x7F, 0x7F, 0x7F};
    const Bytes frames = test::RepeatFrame(test::MakeFrame(3, 3, 9, 0, 0, 1), 10);
    // Whatever the verdict, nothing is read outside the file and the reader stays usable.
    reader.OpenFile(Write("bigtag.mp3", test::Concat({tag, frames})));
    test::EncodeOptions o;
    o.seconds = 1;
    EXPECT_TRUE(reader.OpenFile(Write("good.mp3", test::EncodeMp3(o))));
}

TEST_F(Mp3ReaderFiles, ATagWithFooterStillStartsReadingAfterTheFooter) {
    test::EncodeOptions o;
    o.seconds = 1;
    o.infoFrame = true;
    const Bytes frames = test::EncodeMp3(o);
    const Bytes tag = test::MakeId3v2Tag(4, {{"TIT2", "Footer"}}, true);
    ASSERT_TRUE(reader.OpenFile(Write("footer.mp3", test::Concat({tag, frames}))));
    const size_t infoLength = static_cast<size_t>(DecodeFrameHeader(frames.data()).frameLength);
    EXPECT_EQ(reader.audioStart(), tag.size() + infoLength);
    int rate, kbps, length, samples;
    uint64_t offset;
    ASSERT_NE(reader.ReadFrame(rate, kbps, length, samples, offset), nullptr);
    EXPECT_EQ(offset, tag.size() + infoLength);
}

// --- VBR header patching ------------------------------------------------------------------

Bytes XingFrame(int version, int channelMode, uint32_t flags, int bitrateIndex = 9) {
    Bytes frame = test::MakeFrame(version, 3, bitrateIndex, 0, 0, channelMode);
    const int at = VbrTagOffset(DecodeFrameHeader(frame.data()));
    std::memcpy(&frame[static_cast<size_t>(at)], "Xing", 4);
    frame[static_cast<size_t>(at) + 7] = static_cast<uint8_t>(flags);
    return frame;
}

TEST(Mp3ReaderPatch, WritesCountsAtTheOffsetOfEachLayout) {
    struct Case { int version, mode, tagOffset; };
    for (const Case c : {Case{3, 3, 21}, Case{3, 1, 36}, Case{2, 0, 21}, Case{2, 3, 13}}) {
        Bytes frame = XingFrame(c.version, c.mode, 3);
        CMp3Reader::PatchVbrHeader(frame.data(), static_cast<uint32_t>(frame.size()), 0x01020304, 0xA0B0C0D0);
        const size_t p = static_cast<size_t>(c.tagOffset) + 8;
        EXPECT_EQ(Bytes(frame.begin() + static_cast<long>(p), frame.begin() + static_cast<long>(p) + 8),
                  (Bytes{1, 2, 3, 4, 0xA0, 0xB0, 0xC0, 0xD0}))
            << c.version << "/" << c.mode;
    }
}

TEST(Mp3ReaderPatch, FollowsTheFlagsAndStaysInsideTheFrame) {
    Bytes frame = XingFrame(3, 1, 2);  // byte count only
    CMp3Reader::PatchVbrHeader(frame.data(), static_cast<uint32_t>(frame.size()), 7, 9);
    EXPECT_EQ(Bytes(frame.begin() + 44, frame.begin() + 48), (Bytes{0, 0, 0, 9}));
    EXPECT_EQ(Bytes(frame.begin() + 48, frame.begin() + 52), (Bytes{0, 0, 0, 0}));

    Bytes shortFrame = XingFrame(3, 1, 3);
    const Bytes before = shortFrame;
    CMp3Reader::PatchVbrHeader(shortFrame.data(), 46, 7, 9);  // fields run past the stated length
    EXPECT_EQ(shortFrame, before);
}

}  // namespace
}  // namespace corvane
