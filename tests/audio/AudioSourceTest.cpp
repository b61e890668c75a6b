// Tests of the decoded audio source: facts, block reads, the first-frame parse, modules.
#include "audio/AudioSource.h"

#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "support/CliRunner.h"
#include "support/Mp3Factory.h"
#include "support/ReturnsWithin.h"

namespace corvane {
namespace {

using test::Bytes;

using test::ReturnsWithin;

// Writes a 16-bit WAV of frames sample frames; sample (i, c) = Value(i, c).
int16_t Value(int64_t i, int c) { return static_cast<int16_t>((i * 7 + c * 1000) % 30000 - 15000); }

void WriteWav(const std::string& path, int rate, int channels, int64_t frames) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr);
    std::vector<int16_t> pcm(static_cast<size_t>(frames * channels));
    for (int64_t i = 0; i < frames; ++i) {
        for (int c = 0; c < channels; ++c) pcm[static_cast<size_t>(i * channels + c)] = Value(i, c);
    }
    sf_writef_short(f, pcm.data(), frames);
    sf_close(f);
}

// A four-channel ProTracker module: one pattern of 64 rows, one note of a square wave.
Bytes MakeModule() {
    Bytes mod(1084, 0);
    std::memcpy(mod.data(), "Test Module", 11);
    const size_t sampleWords = 1000;
    uint8_t* sample = &mod[20];
    sample[22] = uint8_t(sampleWords >> 8);
    sample[23] = uint8_t(sampleWords & 0xFF);
    sample[25] = 64;
    sample[29] = 1;
    mod[950] = 1;
    mod[951] = 127;
    std::memcpy(&mod[1080], "M.K.", 4);
    Bytes pattern(64 * 4 * 4, 0);
    pattern[1] = 214;
    pattern[2] = 0x10;
    Bytes data(sampleWords * 2);
    for (size_t i = 0; i < data.size(); ++i) data[i] = (i / 20) % 2 ? 0x40 : 0xC0;
    return test::Concat({mod, pattern, data});
}

TEST(AudioSource, DescribesAnMp3WithItsFirstFrameAndAverageBitrate) {
    test::TempDir dir;
    test::EncodeOptions o;
    o.kbps = 160;
    o.seconds = 3;
    const Bytes tag = test::MakeId3v2Tag(3, {{"TIT2", "x"}}, false, false, 3000);
    const Bytes file = test::Concat({tag, test::EncodeMp3(o)});
    test::WriteFile(dir / "a.mp3", file);
    CLibraryAudioSource source;
    ASSERT_TRUE(source.Open(dir / "a.mp3", 0));
    EXPECT_FALSE(source.IsModule());
    EXPECT_EQ(source.GetSampleRate(), 44100);
    EXPECT_EQ(source.GetChannels(), 2);
    EXPECT_EQ(source.GetOutputChannels(), 2);
    EXPECT_EQ(source.GetBitsPerSample(), 16);
    EXPECT_EQ(source.GetChannelMode(), 1);
    EXPECT_EQ(source.GetFrameBitrate(), 160);
    const uint64_t frames = source.GetLengthBytes() / 4;
    EXPECT_EQ(frames % 1152, 0u);
    EXPECT_EQ(source.GetLengthSeconds(), static_cast<int32_t>(frames / 44100));
    // The whole file, tag included, over its playing time.
    const double seconds = static_cast<double>(frames) / 44100.0;
    EXPECT_EQ(source.GetBitrate(), static_cast<int32_t>(file.size() / (seconds * 125) + 0.5));
}

TEST(AudioSource, ParsesTheFirstFrameOnlyForMp3Names) {
    test::TempDir dir;
    test::EncodeOptions o;
    o.channels = 1;
    o.mode = test::Mode::Mono;
    o.kbps = 64;
    o.seconds = 1;
    const Bytes mp3 = test::EncodeMp3(o);
    test::WriteFile(dir / "upper.MP3", mp3);
    test::WriteFile(dir / "other.mpa", mp3);
    CLibraryAudioSource source;
    ASSERT_TRUE(source.Open(dir / "upper.MP3", 0));
    EXPECT_EQ(source.GetChannelMode(), 3);
    EXPECT_EQ(source.GetFrameBitrate(), 64);
    ASSERT_TRUE(source.Open(dir / "other.mpa", 0));
    EXPECT_EQ(source.GetChannelMode(), 4);
    EXPECT_EQ(source.GetFrameBitrate(), 0);
    EXPECT_EQ(source.GetChannels(), 1);
}

TEST(AudioSource, FirstFrameParseUsesTheTablesOfEachVersionAndLayer) {
    int32_t kbps = -1, mode = -1;
    const uint8_t mpeg1Layer3[4] = {0xFF, 0xFB, 0x90, 0x40};  // index 9, joint stereo
    ASSERT_TRUE(CLibraryAudioSource::ParseFirstFrameHeader(mpeg1Layer3, kbps, mode));
    EXPECT_EQ(kbps, 128);
    EXPECT_EQ(mode, 1);
    const uint8_t mpeg1Layer2[4] = {0xFF, 0xFD, 0xE0, 0xC0};  // index 14, mono
    ASSERT_TRUE(CLibraryAudioSource::ParseFirstFrameHeader(mpeg1Layer2, kbps, mode));
    EXPECT_EQ(kbps, 384);
    EXPECT_EQ(mode, 3);
    const uint8_t mpeg2Layer3[4] = {0xFF, 0xF3, 0xE0, 0x00};  // index 14
    ASSERT_TRUE(CLibraryAudioSource::ParseFirstFrameHeader(mpeg2Layer3, kbps, mode));
    EXPECT_EQ(kbps, 160);
    const uint8_t mpeg25Layer1[4] = {0xFF, 0xE7, 0x90, 0x80};  // index 9, dual channel
    ASSERT_TRUE(CLibraryAudioSource::ParseFirstFrameHeader(mpeg25Layer1, kbps, mode));
    EXPECT_EQ(kbps, 144);
    EXPECT_EQ(mode, 2);
}

TEST(AudioSource, FirstFrameParseRefusesBadHeadersAndFreeFormat) {
    const uint8_t noSync[4] = {0xFF, 0xBB, 0x90, 0x40};
    const uint8_t reservedVersion[4] = {0xFF, 0xEB, 0x90, 0x40};
    const uint8_t reservedLayer[4] = {0xFF, 0xF9, 0x90, 0x40};
    const uint8_t index15[4] = {0xFF, 0xFB, 0xF0, 0x40};
    for (const uint8_t* h : {noSync, reservedVersion, reservedLayer, index15}) {
        int32_t kbps = 7, mode = 4;
        EXPECT_FALSE(CLibraryAudioSource::ParseFirstFrameHeader(h, kbps, mode));
        EXPECT_EQ(kbps, 7);
        EXPECT_EQ(mode, 4);
    }
    const uint8_t freeFormat[4] = {0xFF, 0xFB, 0x00, 0x40};
    int32_t kbps = 7, mode = 4;
    EXPECT_FALSE(CLibraryAudioSource::ParseFirstFrameHeader(freeFormat, kbps, mode));
    EXPECT_EQ(kbps, 0);
    EXPECT_EQ(mode, 4);
}

TEST(AudioSource, SplitsStereoIntoLeftAndRightBlocks) {
    test::TempDir dir;
    const int64_t frames = 1152 * 3 + 100;
    WriteWav(dir / "s.wav", 22050, 2, frames);
    CLibraryAudioSource source;
    ASSERT_TRUE(source.Open(dir / "s.wav", 0));
    EXPECT_EQ(source.GetLengthBytes(), static_cast<uint64_t>(frames * 4));
    EXPECT_EQ(source.GetChannelMode(), 4);
    // The file's size, its header included, over its time.
    const double seconds = static_cast<double>(frames) / 22050.0;
    const auto size = static_cast<double>(std::filesystem::file_size(dir / "s.wav"));
    EXPECT_EQ(source.GetBitrate(), static_cast<int32_t>(size / (seconds * 125) + 0.5));
    std::vector<int16_t> left(kAudioBlockFrames), right(kAudioBlockFrames);
    int64_t at = 0;
    std::vector<int32_t> counts;
    while (int32_t n = source.Read(left.data(), right.data())) {
        counts.push_back(n);
        for (int32_t i = 0; i < n; ++i) {
            ASSERT_EQ(left[i], Value(at + i, 0));
            ASSERT_EQ(right[i], Value(at + i, 1));
        }
        at += n;
        EXPECT_EQ(source.GetPosition(), static_cast<uint64_t>(at * 4));
    }
    EXPECT_EQ(counts, (std::vector<int32_t>{1152, 1152, 1152, 100}));
}

TEST(AudioSource, MonoGoesStraightIntoLeftAndNeverTouchesRight) {
    test::TempDir dir;
    WriteWav(dir / "m.wav", 8000, 1, 2000);
    CLibraryAudioSource source;
    ASSERT_TRUE(source.Open(dir / "m.wav", 0));
    EXPECT_EQ(source.GetOutputChannels(), 1);
    std::vector<int16_t> left(kAudioBlockFrames), right(kAudioBlockFrames, 12345);
    ASSERT_EQ(source.Read(left.data(), right.data()), 1152);
    EXPECT_EQ(left[1151], Value(1151, 0));
    ASSERT_EQ(source.Read(left.data(), nullptr), 2000 - 1152);
    EXPECT_EQ(left[0], Value(1152, 0));
    for (int16_t s : right) ASSERT_EQ(s, 12345);
    EXPECT_EQ(source.Read(left.data(), right.data()), 0);
}

TEST(AudioSource, SixChannelsGive384FramesOfTheFirstTwo) {
    test::TempDir dir;
    WriteWav(dir / "six.wav", 48000, 6, 1000);
    CLibraryAudioSource source;
    ASSERT_TRUE(source.Open(dir / "six.wav", 0));
    EXPECT_EQ(source.GetChannels(), 6);
    EXPECT_EQ(source.GetOutputChannels(), 2);
    std::vector<int16_t> left(kAudioBlockFrames), right(kAudioBlockFrames);
    ASSERT_EQ(source.Read(left.data(), right.data()), 384);
    EXPECT_EQ(left[383], Value(383, 0));
    EXPECT_EQ(right[383], Value(383, 1));
    ASSERT_EQ(source.Read(left.data(), right.data()), 384);
    EXPECT_EQ(right[0], Value(384, 1));
}

TEST(AudioSource, ZeroLengthReportsThePcmBitrate) {
    test::TempDir dir;
    WriteWav(dir / "empty.wav", 44100, 2, 0);
    CLibraryAudioSource source;
    ASSERT_TRUE(source.Open(dir / "empty.wav", 0));
    EXPECT_EQ(source.GetLengthSeconds(), 0);
    EXPECT_EQ(source.GetBitrate(), 1411);
    std::vector<int16_t> left(kAudioBlockFrames), right(kAudioBlockFrames);
    EXPECT_EQ(source.Read(left.data(), right.data()), 0);
}

TEST(AudioSource, ModuleMusicOpensThroughTheModuleLoader) {
    test::TempDir dir;
    test::WriteFile(dir / "tune.mod", MakeModule());
    CLibraryAudioSource source;
    ASSERT_TRUE(source.Open(dir / "tune.mod", 0));
    EXPECT_TRUE(source.IsModule());
    EXPECT_EQ(source.GetChannels(), 2);
    EXPECT_EQ(source.GetChannelMode(), 4);
    EXPECT_GT(source.GetLengthSeconds(), 6);
    // No file facts for music: the PCM rate.
    EXPECT_EQ(source.GetBitrate(), 16 * source.GetSampleRate() * 2 / 1000);
    std::vector<int16_t> left(kAudioBlockFrames), right(kAudioBlockFrames);
    int64_t total = 0;
    while (int32_t n = source.Read(left.data(), right.data())) total += n;
    EXPECT_EQ(static_cast<uint64_t>(total * 4), source.GetLengthBytes());
    source.Close();
    EXPECT_FALSE(source.IsModule());
    EXPECT_EQ(source.Read(left.data(), right.data()), 0);
}

// ---- Failures ----

TEST(AudioSource, UnreadableFileFailsWithEveryFactZero) {
    test::TempDir dir;
    test::EncodeOptions o;
    o.seconds = 1;
    test::WriteFile(dir / "a.mp3", test::EncodeMp3(o));
    test::WriteFile(dir / "text.mp3", Bytes(5000, 'x'));
    CLibraryAudioSource source;
    ASSERT_TRUE(source.Open(dir / "a.mp3", 0));
    EXPECT_FALSE(source.Open(dir / "text.mp3", 0));
    EXPECT_EQ(source.GetLengthBytes(), 0u);
    EXPECT_EQ(source.GetSampleRate(), 0);
    EXPECT_EQ(source.GetChannels(), 0);
    EXPECT_EQ(source.GetBitrate(), 0);
    EXPECT_EQ(source.GetChannelMode(), 4);
    EXPECT_EQ(source.GetFrameBitrate(), 0);
    EXPECT_EQ(source.GetPosition(), 0u);
    std::vector<int16_t> left(kAudioBlockFrames), right(kAudioBlockFrames);
    EXPECT_EQ(source.Read(left.data(), right.data()), 0);
    EXPECT_FALSE(source.Open(dir / "missing.mp3", 0));
}

TEST(AudioSource, RateNoConversionBringsToAnEncoderRateFailsToOpen) {
    test::TempDir dir;
    WriteWav(dir / "one.wav", 1, 1, 4096);  // 8 KB declaring 1 Hz
    WriteWav(dir / "low.wav", 83, 1, 100);
    WriteWav(dir / "lowest.wav", 84, 1, 100);
    CLibraryAudioSource source;
    for (const char* name : {"one.wav", "low.wav"}) {
        EXPECT_FALSE(source.Open(dir / name, 0)) << name;
        EXPECT_EQ(source.GetSampleRate(), 0) << name;
        EXPECT_EQ(source.GetLengthBytes(), 0u) << name;
    }
    ASSERT_TRUE(source.Open(dir / "lowest.wav", 0));
    EXPECT_EQ(source.GetSampleRate(), 84);
}

TEST(AudioSource, PipesAndDevicesFailAtOnce) {
    test::TempDir dir;
    const std::string fifo = dir / "pipe.mp3";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {fifo, std::string("/dev/zero")}) {
        bool opened = true;
        ASSERT_TRUE(ReturnsWithin([path] { return CLibraryAudioSource().Open(path, 0); }, opened)) << path;
        EXPECT_FALSE(opened) << path;
    }
}

}  // namespace
}  // namespace corvane

namespace corvane {
namespace {

// A source with a LAME tag decodes as a gapless decoder plays it: `mpg123 --gapless`, which
// applies the tag's delay and padding, gives the same samples, and the length counts only them.
TEST(AudioSourceGapless, AnMp3WithALameTagDecodesAsAGaplessDecoderPlaysIt) {
    test::TempDir dir;
    test::EncodeOptions o;
    o.infoFrame = true;
    o.seconds = 2.3;
    const std::string path = dir / "tagged.mp3";
    test::WriteFile(path, test::EncodeMp3(o));
    CLibraryAudioSource source;
    ASSERT_TRUE(source.Open(path, 0));
    std::string pcm;
    int16_t left[kAudioBlockFrames];
    int16_t right[kAudioBlockFrames];
    for (int32_t n; (n = source.Read(left, right)) > 0;) {
        for (int32_t i = 0; i < n; ++i) {
            for (const int16_t v : {left[i], right[i]}) pcm.append(reinterpret_cast<const char*>(&v), 2);
        }
    }
    const test::ProcessResult gapless = test::RunProcess({"mpg123", "-q", "--gapless", "-s", path});
    EXPECT_EQ(source.GetLengthBytes(), gapless.out.size());
    EXPECT_TRUE(pcm == gapless.out);
}

}  // namespace
}  // namespace corvane
