// Tests of CMp3Encoder: the format of what it hands over, rejections and refused bytes.
#include "audio/Mp3Encoder.h"

#include "audio/MpegFrameHeader.h"
#include "support/Mp3Factory.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <numbers>
#include <vector>

namespace corvane {
namespace {

using test::Bytes;
using test::DecodeWithMpg123;
using test::FrameOffsets;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

constexpr int kBlock = 1152;
constexpr double kLeftHz = 440.0;
constexpr double kRightHz = 1000.0;

struct Tone {
    std::vector<int16_t> left;
    std::vector<int16_t> right;
};

// Left and right sine tones of different pitch, so that swapped or merged channels show.
Tone MakeTone(int rate, int samples) {
    Tone t;
    t.left.resize(samples);
    t.right.resize(samples);
    for (int i = 0; i < samples; ++i) {
        const double time = static_cast<double>(i) / rate;
        t.left[i] = static_cast<int16_t>(12000 * std::sin(2 * std::numbers::pi * kLeftHz * time));
        t.right[i] = static_cast<int16_t>(12000 * std::sin(2 * std::numbers::pi * kRightHz * time));
    }
    return t;
}

struct Settings {
    int rate = 44100;
    int kbps = 128;
    int mode = 1;
    int channels = 2;
};

// The encoder's output kept in memory; it refuses bytes once it would hold more than limit,
// as a full disk would.
struct CMemorySink {
    Bytes bytes;
    size_t limit = std::numeric_limits<size_t>::max();

    CMp3Encoder::Sink Sink() {
        return [this](const uint8_t* data, size_t count) {
            if (count > limit - bytes.size()) return false;
            bytes.insert(bytes.end(), data, data + count);
            return true;
        };
    }
};

// Configures an opened encoder in the order the joiner uses.
void Configure(CMp3Encoder& enc, const Settings& s) {
    enc.SetChannels(s.channels);
    enc.SetInSampleRate(s.rate);
    enc.SetBitrate(s.kbps);
    enc.SetOutSampleRate(s.rate);
    enc.SetMode(s.mode);
}

// Encodes seconds of MakeTone in blocks of 1152 samples into the file at path; false on any
// failure.
bool EncodeFile(const std::string& path, const Settings& s, double seconds, const Bytes& tag = {},
                CMp3Encoder::ParameterCheck check = CMp3Encoder::ParameterCheck::Exact) {
    CMemorySink sink;
    CMp3Encoder enc;
    if (!enc.Open(sink.Sink())) return false;
    if (!tag.empty()) enc.SetTag(tag.data(), tag.size());
    Configure(enc, s);
    if (!enc.Start(check)) return false;
    const int total = static_cast<int>(seconds * s.rate);
    const Tone tone = MakeTone(s.rate, total);
    for (int at = 0; at < total; at += kBlock) {
        const int n = std::min(kBlock, total - at);
        if (enc.Encode(tone.left.data() + at, tone.right.data() + at, n) < 0) return false;
    }
    if (!enc.Finish()) return false;
    WriteFile(path, sink.bytes);
    return true;
}

// Frequency of the sine in every step-th sample of pcm from first, by rising zero crossings
// over one second's worth of samples.
double MeasureHz(const std::vector<int16_t>& pcm, int channels, int channel, int rate, size_t first) {
    int crossings = 0;
    const size_t count = static_cast<size_t>(rate);
    for (size_t i = 1; i < count; ++i) {
        const int16_t a = pcm[(first + i - 1) * channels + channel];
        const int16_t b = pcm[(first + i) * channels + channel];
        if (a < 0 && b >= 0) ++crossings;
    }
    return crossings * static_cast<double>(rate) / count;
}

// The headers of all frames of data, which must consist of frames from start to its end.
std::vector<MpegFrameHeader> AllFrames(const Bytes& data, size_t start) {
    std::vector<MpegFrameHeader> headers;
    const std::vector<size_t> offsets = FrameOffsets(data, start);
    EXPECT_FALSE(offsets.empty());
    if (offsets.empty()) return headers;
    for (size_t at : offsets) headers.push_back(DecodeFrameHeader(data.data() + at));
    EXPECT_EQ(offsets.back() + headers.back().frameLength, data.size()) << "bytes after the last frame";
    return headers;
}

Bytes SmallId3v2Tag() {
    // "ID3" v2.3, no flags, size 22 (sync-safe), one TIT2 frame "Hi" and padding.
    Bytes tag = {'I', 'D', '3', 3, 0, 0, 0, 0, 0, 22, 'T', 'I', 'T', '2', 0, 0, 0, 3, 0, 0, 0, 'H', 'i'};
    tag.resize(10 + 22, 0);
    return tag;
}

TEST(Mp3Encoder, WritesOnlyConstantRateFramesWithoutInfoFrameOrId3v1Tag) {
    TempDir dir;
    const std::string path = dir / "out.mp3";
    ASSERT_TRUE(EncodeFile(path, {44100, 128, 1, 2}, 2.0));
    const Bytes data = ReadFile(path);
    ASSERT_GT(data.size(), 128u);
    EXPECT_EQ(data[0], 0xFF) << "the file starts with a frame";
    const MpegFrameHeader first = DecodeFrameHeader(data.data());
    EXPECT_FALSE(IsXingFrame(data.data(), first.frameLength, first));
    EXPECT_FALSE(IsVbriFrame(data.data(), first.frameLength));
    EXPECT_NE(std::memcmp(data.data() + data.size() - 128, "TAG", 3), 0);
    // AllFrames also checks that frames run to the very end: no tag follows them.
    const std::vector<MpegFrameHeader> frames = AllFrames(data, 0);
    ASSERT_GT(frames.size(), 70u);
    for (const MpegFrameHeader& h : frames) {
        ASSERT_EQ(h.version, 3);
        ASSERT_EQ(h.layerIndex, 2);
        ASSERT_EQ(h.sampleRate, 44100);
        ASSERT_EQ(h.kbps, 128);
        ASSERT_EQ(h.channelMode, 1);
    }
}

TEST(Mp3Encoder, DecodesAtTheRequestedRateWithBothChannelsInPlace) {
    TempDir dir;
    const std::string path = dir / "out.mp3";
    ASSERT_TRUE(EncodeFile(path, {44100, 192, 0, 2}, 3.0));
    const test::DecodeResult d = DecodeWithMpg123(path);
    ASSERT_TRUE(d.ok) << d.messages;
    EXPECT_EQ(d.sampleRate, 44100);
    EXPECT_EQ(d.channels, 2);
    // The input plus LAME's start delay and end padding, and never less than the input.
    EXPECT_GE(d.samples, 3 * 44100);
    EXPECT_LE(d.samples, 3 * 44100 + 3 * kBlock);
    EXPECT_NEAR(MeasureHz(d.pcm, 2, 0, 44100, 44100), kLeftHz, 3.0);
    EXPECT_NEAR(MeasureHz(d.pcm, 2, 1, 44100, 44100), kRightHz, 3.0);
}

TEST(Mp3Encoder, EncodesMonoAtALowRateWithoutARightArray) {
    TempDir dir;
    const std::string path = dir / "mono.mp3";
    CMemorySink sink;
    CMp3Encoder enc;
    ASSERT_TRUE(enc.Open(sink.Sink()));
    Configure(enc, {22050, 32, 3, 1});
    ASSERT_TRUE(enc.Start());
    const Tone tone = MakeTone(22050, 2 * 22050);
    for (int at = 0; at < 2 * 22050; at += kBlock) {
        ASSERT_GE(enc.Encode(tone.left.data() + at, nullptr, std::min(kBlock, 2 * 22050 - at)), 0);
    }
    ASSERT_TRUE(enc.Finish());
    WriteFile(path, sink.bytes);
    const Bytes& data = sink.bytes;
    for (const MpegFrameHeader& h : AllFrames(data, 0)) {
        ASSERT_EQ(h.sampleRate, 22050);
        ASSERT_EQ(h.kbps, 32);
        ASSERT_EQ(h.channelMode, 3);
    }
    const test::DecodeResult d = DecodeWithMpg123(path);
    ASSERT_TRUE(d.ok) << d.messages;
    EXPECT_EQ(d.channels, 1);
    EXPECT_EQ(d.sampleRate, 22050);
    EXPECT_GE(d.samples, 2 * 22050);
    EXPECT_NEAR(MeasureHz(d.pcm, 1, 0, 22050, 11025), kLeftHz, 3.0);
}

TEST(Mp3Encoder, StartsWithTheTagBytesThenFrames) {
    TempDir dir;
    const std::string path = dir / "tagged.mp3";
    const Bytes tag = SmallId3v2Tag();
    ASSERT_TRUE(EncodeFile(path, {32000, 96, 1, 2}, 1.0, tag));
    const Bytes data = ReadFile(path);
    ASSERT_GT(data.size(), tag.size());
    EXPECT_TRUE(std::equal(tag.begin(), tag.end(), data.begin()));
    for (const MpegFrameHeader& h : AllFrames(data, tag.size())) {
        ASSERT_EQ(h.sampleRate, 32000);
        ASSERT_EQ(h.kbps, 96);
    }
}

TEST(Mp3Encoder, TagOfLengthZeroWritesNothingBeforeTheAudio) {
    CMemorySink sink;
    CMp3Encoder enc;
    ASSERT_TRUE(enc.Open(sink.Sink()));
    const uint8_t bytes[4] = {'I', 'D', '3', 4};
    enc.SetTag(bytes, 0);
    Configure(enc, {44100, 128, 1, 2});
    ASSERT_TRUE(enc.Start());
    const Tone tone = MakeTone(44100, 44100);
    ASSERT_GT(enc.Encode(tone.left.data(), tone.right.data(), 44100), 0);
    ASSERT_TRUE(enc.Finish());
    const Bytes& data = sink.bytes;
    ASSERT_GT(data.size(), 4u);
    EXPECT_EQ(data[0], 0xFF);
    AllFrames(data, 0);
}

TEST(Mp3Encoder, AcceptingMovedParametersLetsLameChooseTheBitrate) {
    TempDir dir;
    ASSERT_TRUE(EncodeFile(dir / "moved.mp3", {8000, 320, 1, 2}, 0.5, {}, CMp3Encoder::ParameterCheck::AcceptMoved));
    for (const MpegFrameHeader& h : AllFrames(ReadFile(dir / "moved.mp3"), 0)) {
        ASSERT_EQ(h.sampleRate, 8000);
        ASSERT_EQ(h.kbps, 64);
    }
}

TEST(Mp3Encoder, ClampsTheChannelCount) {
    TempDir dir;
    // 0 channels becomes 1: only the left array is read.
    ASSERT_TRUE(EncodeFile(dir / "one.mp3", {44100, 64, 3, 0}, 2.0));
    test::DecodeResult d = DecodeWithMpg123(dir / "one.mp3");
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.channels, 1);
    EXPECT_NEAR(MeasureHz(d.pcm, 1, 0, 44100, 22050), kLeftHz, 3.0);
    // 5 channels becomes 2.
    ASSERT_TRUE(EncodeFile(dir / "two.mp3", {44100, 128, 0, 5}, 2.0));
    d = DecodeWithMpg123(dir / "two.mp3");
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.channels, 2);
    EXPECT_NEAR(MeasureHz(d.pcm, 2, 1, 44100, 22050), kRightHz, 3.0);
}

TEST(Mp3Encoder, FinishHandsOverTheFramesLameHeldBack) {
    TempDir dir;
    const std::string path = dir / "short.mp3";
    CMemorySink sink;
    CMp3Encoder enc;
    ASSERT_TRUE(enc.Open(sink.Sink()));
    Configure(enc, {44100, 128, 1, 2});
    ASSERT_TRUE(enc.Start());
    const Tone tone = MakeTone(44100, kBlock);
    ASSERT_GE(enc.Encode(tone.left.data(), tone.right.data(), kBlock), 0);
    ASSERT_TRUE(enc.Finish());
    WriteFile(path, sink.bytes);
    const test::DecodeResult d = DecodeWithMpg123(path);
    ASSERT_TRUE(d.ok);
    EXPECT_GE(d.samples, kBlock);
}

TEST(Mp3Encoder, OpenOnAnOpenEncoderFinishesTheFirstOutput) {
    TempDir dir;
    CMemorySink first;
    CMemorySink second;
    CMp3Encoder enc;
    ASSERT_TRUE(enc.Open(first.Sink()));
    Configure(enc, {44100, 128, 1, 2});
    ASSERT_TRUE(enc.Start());
    const Tone tone = MakeTone(44100, 44100);
    ASSERT_GE(enc.Encode(tone.left.data(), tone.right.data(), 44100), 0);
    ASSERT_TRUE(enc.Open(second.Sink()));
    WriteFile(dir / "first.mp3", first.bytes);
    const test::DecodeResult d = DecodeWithMpg123(dir / "first.mp3");
    ASSERT_TRUE(d.ok);
    EXPECT_GE(d.samples, 44100);
    EXPECT_TRUE(enc.Finish());
    EXPECT_TRUE(second.bytes.empty());
}

TEST(Mp3Encoder, LargeBlocksAreEncodedWhole) {
    TempDir dir;
    const std::string path = dir / "big.mp3";
    CMemorySink sink;
    CMp3Encoder enc;
    ASSERT_TRUE(enc.Open(sink.Sink()));
    Configure(enc, {48000, 320, 0, 2});
    ASSERT_TRUE(enc.Start());
    const int samples = 4 * 48000;  // far more than one output buffer holds at 320 kbps
    const Tone tone = MakeTone(48000, samples);
    ASSERT_GT(enc.Encode(tone.left.data(), tone.right.data(), samples), CMp3Encoder::kOutputBufferSize);
    ASSERT_TRUE(enc.Finish());
    WriteFile(path, sink.bytes);
    const test::DecodeResult d = DecodeWithMpg123(path);
    ASSERT_TRUE(d.ok);
    EXPECT_GE(d.samples, samples);
    EXPECT_LE(d.samples, samples + 3 * kBlock);
}

// --- Failures ---

TEST(Mp3EncoderFailure, StartRejectsABitrateLameCannotEncodeAtTheRate) {
    CMemorySink sink;
    CMp3Encoder enc;
    ASSERT_TRUE(enc.Open(sink.Sink()));
    const Bytes tag = SmallId3v2Tag();
    enc.SetTag(tag.data(), tag.size());
    Configure(enc, {8000, 320, 1, 2});
    EXPECT_FALSE(enc.Start());
    EXPECT_FALSE(enc.WriteFailed());
    const Tone tone = MakeTone(8000, kBlock);
    EXPECT_EQ(enc.Encode(tone.left.data(), tone.right.data(), kBlock), -1);
    EXPECT_TRUE(enc.Finish());
    EXPECT_TRUE(sink.bytes.empty()) << "nothing is handed over for rejected parameters";
    EXPECT_EQ(BadEncodingParameterText(8000, 320, 1), "Bad encoding parameter: 8000Hz, 320kbps, 1");
}

TEST(Mp3EncoderFailure, StartRejectsBitratesMissingFromTheRatesTable) {
    TempDir dir;
    struct Case {
        int rate, kbps;
    };
    for (const Case c : {Case{44100, 144}, Case{48000, 16}, Case{22050, 192}, Case{11025, 80}}) {
        CMemorySink sink;
        CMp3Encoder enc;
        ASSERT_TRUE(enc.Open(sink.Sink()));
        Configure(enc, {c.rate, c.kbps, 1, 2});
        EXPECT_FALSE(enc.Start()) << c.rate << " Hz " << c.kbps << " kbps";
    }
}

TEST(Mp3EncoderFailure, StartRejectsAnOutputRateThatIsNoMpegRate) {
    CMemorySink sink;
    CMp3Encoder enc;
    ASSERT_TRUE(enc.Open(sink.Sink()));
    Configure(enc, {44000, 128, 1, 2});
    EXPECT_FALSE(enc.Start());
}

TEST(Mp3EncoderFailure, CallsWithoutAnOpenEncoderDoNothing) {
    CMp3Encoder enc;
    enc.SetBitrate(128);  // harmless without an encoder
    EXPECT_FALSE(enc.Start());
    EXPECT_TRUE(enc.Finish());
}

TEST(Mp3EncoderFailure, EncodeBeforeStartFails) {
    CMemorySink sink;
    CMp3Encoder enc;
    ASSERT_TRUE(enc.Open(sink.Sink()));
    const Tone tone = MakeTone(44100, kBlock);
    EXPECT_EQ(enc.Encode(tone.left.data(), tone.right.data(), kBlock), -1);
}

TEST(Mp3EncoderFailure, TagTheSinkRefusesFailsStart) {
    CMemorySink sink;
    sink.limit = 0;
    CMp3Encoder enc;
    ASSERT_TRUE(enc.Open(sink.Sink()));
    const Bytes tag = SmallId3v2Tag();
    enc.SetTag(tag.data(), tag.size());
    Configure(enc, {44100, 128, 1, 2});
    EXPECT_FALSE(enc.Start());
    EXPECT_TRUE(enc.WriteFailed());
    EXPECT_FALSE(enc.Finish());
}

TEST(Mp3EncoderFailure, RefusedBytesFailEncodeAndFinish) {
    CMemorySink sink;
    sink.limit = 20000;  // a full disk after 20000 bytes
    CMp3Encoder enc;
    ASSERT_TRUE(enc.Open(sink.Sink()));
    Configure(enc, {44100, 320, 0, 2});
    ASSERT_TRUE(enc.Start());
    const Tone tone = MakeTone(44100, kBlock);
    bool failed = false;
    for (int block = 0; block < 200 && !failed; ++block) {
        failed = enc.Encode(tone.left.data(), tone.right.data(), kBlock) < 0;
    }
    EXPECT_TRUE(failed) << "a refused write is reported";
    EXPECT_TRUE(enc.WriteFailed());
    EXPECT_EQ(enc.Encode(tone.left.data(), tone.right.data(), kBlock), -1) << "stays failed";
    EXPECT_FALSE(enc.Finish());
    EXPECT_FALSE(enc.Finish()) << "the answer does not change";
}

TEST(Mp3EncoderFailure, BytesRefusedOnlyAtFinishAreReported) {
    CMemorySink sink;
    CMp3Encoder enc;
    ASSERT_TRUE(enc.Open(sink.Sink()));
    Configure(enc, {44100, 128, 1, 2});
    ASSERT_TRUE(enc.Start());
    const Tone tone = MakeTone(44100, kBlock);
    ASSERT_GE(enc.Encode(tone.left.data(), tone.right.data(), kBlock), 0);
    sink.limit = sink.bytes.size();  // LAME still holds frames back
    EXPECT_FALSE(enc.Finish());
    EXPECT_TRUE(enc.WriteFailed());
}

TEST(Mp3EncoderFailure, OpenClearsAnEarlierWriteFailure) {
    CMemorySink full;
    full.limit = 0;
    CMemorySink fine;
    CMp3Encoder enc;
    ASSERT_TRUE(enc.Open(full.Sink()));
    Configure(enc, {44100, 128, 1, 2});
    ASSERT_TRUE(enc.Start());
    const Tone tone = MakeTone(44100, kBlock);
    enc.Encode(tone.left.data(), tone.right.data(), kBlock);
    EXPECT_FALSE(enc.Finish());
    ASSERT_TRUE(enc.Open(fine.Sink()));
    EXPECT_FALSE(enc.WriteFailed());
    Configure(enc, {44100, 128, 1, 2});
    ASSERT_TRUE(enc.Start());
    EXPECT_TRUE(enc.Finish());
}

}  // namespace
}  // namespace corvane
