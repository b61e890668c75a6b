// Tests of the audio library layer: recognition, MPEG facts, PCM, seeking, modules and tags.
#include "audio/AudioLibrary.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <thread>

#include "audio/MpegFrameHeader.h"
#include "support/Mp3Factory.h"

namespace corvane::audio {
namespace {

using test::Bytes;
using test::Concat;
using test::EncodeMp3;
using test::EncodeOptions;
using test::MakeFrame;
using test::MakeId3v1Tag;
using test::MakeId3v2Tag;
using test::RepeatFrame;
using test::TempDir;
using test::WriteFile;

constexpr const char* kAllFields = "%TRCK\n%TITL\n%ARTI\n%ALBM\n%GNRE\n%YEAR\n%CMNT";

std::string DataFile(const std::string& name) { return std::string(CORVANE_TEST_DATA_DIR) + "/" + name; }

// Opens path as a decode stream and frees it when the test ends.
class Stream {
public:
    explicit Stream(const std::string& path) : handle_(StreamCreateFile(path, 0, 0, kStreamDecode)) {}
    ~Stream() {
        if (handle_ != 0) StreamFree(handle_);
    }
    Handle get() const { return handle_; }

private:
    Handle handle_;
};

// All PCM bytes from the current position to the end.
Bytes DecodeAll(Handle h) {
    Bytes pcm;
    Bytes block(10000);  // not a multiple of any frame size
    for (;;) {
        const int32_t got = ChannelGetData(h, block.data(), static_cast<uint32_t>(block.size()));
        if (got <= 0) {
            EXPECT_EQ(got, 0);
            break;
        }
        pcm.insert(pcm.end(), block.begin(), block.begin() + got);
    }
    return pcm;
}

// Number of frames in data from start, walking frame lengths.
int64_t CountFrames(const Bytes& data, size_t start) {
    return static_cast<int64_t>(test::FrameOffsets(data, start).size());
}

Bytes Le32(uint32_t v) { return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}; }

// An APEv2 tag (footer only) with the given items.
Bytes MakeApeTag(const std::vector<std::pair<std::string, std::string>>& items) {
    Bytes body;
    for (const auto& [key, value] : items) {
        body = Concat({body, Le32(static_cast<uint32_t>(value.size())), Le32(0)});
        body.insert(body.end(), key.begin(), key.end());
        body.push_back(0);
        body.insert(body.end(), value.begin(), value.end());
    }
    Bytes footer = {'A', 'P', 'E', 'T', 'A', 'G', 'E', 'X'};
    footer = Concat({footer, Le32(2000), Le32(static_cast<uint32_t>(body.size() + 32)),
                     Le32(static_cast<uint32_t>(items.size())), Le32(0), Bytes(8, 0)});
    return Concat({body, footer});
}

// An ID3v2.2 tag of Latin-1 texts: three-letter frame ids, three-byte sizes.
Bytes MakeId3v22Tag(const std::vector<test::Id3Frame>& frames) {
    Bytes body;
    for (const auto& frame : frames) {
        Bytes content = {0};  // Latin-1
        if (frame.id == "COM") content = {0, 'e', 'n', 'g', 0};
        content.insert(content.end(), frame.text.begin(), frame.text.end());
        body.insert(body.end(), frame.id.begin(), frame.id.end());
        const auto size = static_cast<uint32_t>(content.size());
        body.insert(body.end(), {uint8_t(size >> 16), uint8_t(size >> 8), uint8_t(size)});
        body.insert(body.end(), content.begin(), content.end());
    }
    const auto size = static_cast<uint32_t>(body.size());
    Bytes header = {'I', 'D', '3', 2, 0, 0, uint8_t((size >> 21) & 0x7F), uint8_t((size >> 14) & 0x7F),
                    uint8_t((size >> 7) & 0x7F), uint8_t(size & 0x7F)};
    return Concat({header, body});
}

EncodeOptions ShortCbr() {
    EncodeOptions options;
    options.seconds = 2.0;
    return options;
}

// ---- Recognition ----

TEST(AudioLibrary, ReportsItsVersionAndStarts) {
    EXPECT_EQ(GetVersion() >> 16, 0x0204u);
    EXPECT_TRUE(Init(0, 44100));
    EXPECT_TRUE(SetConfig(kConfigVerify, 100000));
    EXPECT_FALSE(SetConfig(9999, 1));
    EXPECT_TRUE(Free());
}

TEST(AudioLibrary, RefusesFilesOfOneToTenBytes) {
    TempDir dir;
    const Bytes header = test::MakeFrameHeader(3, 3, 9, 0, 0, 1);
    for (size_t size = 0; size <= 10; ++size) {
        Bytes data = Concat({header, header, header});
        data.resize(size);
        const std::string path = dir / ("tiny" + std::to_string(size) + ".mp3");
        WriteFile(path, data);
        EXPECT_EQ(StreamCreateFile(path, 0, 0, kStreamDecode), 0u) << size << " bytes";
        Bytes tag = {'I', 'D', '3', 3, 0, 0, 0, 0, 0, 0};
        tag.resize(size);
        WriteFile(path, tag);
        EXPECT_EQ(StreamCreateFile(path, 0, 0, kStreamDecode), 0u) << size << " bytes of a tag header";
    }
}

TEST(AudioLibrary, RefusesRandomBytesAndTextNamedMp3) {
    TempDir dir;
    std::mt19937 random(1234);
    Bytes noise(200000);
    for (auto& b : noise) b = static_cast<uint8_t>(random());
    WriteFile(dir / "noise.mp3", noise);
    EXPECT_EQ(StreamCreateFile(dir / "noise.mp3", 0, 0, kStreamDecode), 0u);
    EXPECT_EQ(MusicLoad(dir / "noise.mp3", kMusicDecodeFlags, 44100), 0u);

    const std::string text = "This is not audio.\nJust some lines of text.\n";
    WriteFile(dir / "text.mp3", Bytes(text.begin(), text.end()));
    EXPECT_EQ(StreamCreateFile(dir / "text.mp3", 0, 0, kStreamDecode), 0u);
    EXPECT_EQ(MusicLoad(dir / "text.mp3", kMusicDecodeFlags, 44100), 0u);
    EXPECT_EQ(StreamCreateFile(dir / "missing.mp3", 0, 0, kStreamDecode), 0u);
    EXPECT_EQ(StreamCreateFile(dir.path().string(), 0, 0, kStreamDecode), 0u);
}

TEST(AudioLibrary, RefusesAStraySyncPatternWithoutAgreeingFrames) {
    TempDir dir;
    const Bytes frame = MakeFrame(3, 3, 9, 0, 0, 1);
    // Two frames, then garbage: not enough agreeing frames and not the end of the file.
    Bytes data = Concat({frame, frame, Bytes(3000, 0x55)});
    WriteFile(dir / "two.mp3", data);
    EXPECT_EQ(StreamCreateFile(dir / "two.mp3", 0, 0, kStreamDecode), 0u);
    // Frames whose sample rates disagree.
    data = Concat({frame, MakeFrame(3, 3, 9, 1, 0, 1), frame, MakeFrame(3, 3, 9, 1, 0, 1), Bytes(100, 0x55)});
    WriteFile(dir / "mixed.mp3", data);
    EXPECT_EQ(StreamCreateFile(dir / "mixed.mp3", 0, 0, kStreamDecode), 0u);
    // Free format (bit-rate index 0) is refused.
    WriteFile(dir / "free.mp3", RepeatFrame(MakeFrame(3, 3, 0, 0, 0, 1, 0, 417), 20));
    EXPECT_EQ(StreamCreateFile(dir / "free.mp3", 0, 0, kStreamDecode), 0u);
}

TEST(AudioLibrary, AcceptsFewFramesThatEndTheFileExactly) {
    TempDir dir;
    const Bytes frame = MakeFrame(3, 3, 9, 0, 0, 3);  // MPEG 1 Layer III mono, 128 kbps
    WriteFile(dir / "two.mp3", RepeatFrame(frame, 2));
    Stream stream(dir / "two.mp3");
    ASSERT_NE(stream.get(), 0u);
    EXPECT_EQ(ChannelGetLength(stream.get()), 2 * 1152 * 1 * 2);
}

// Writes pcm (channels interleaved) as a 22050 Hz 16-bit WAV file titled "Wave Title".
void WriteTitledWav(const std::string& path, int channels, const std::vector<int16_t>& pcm) {
    SF_INFO info{};
    info.samplerate = 22050;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr);
    sf_set_string(file, SF_STR_TITLE, "Wave Title");
    const sf_count_t frames = static_cast<sf_count_t>(pcm.size()) / channels;
    ASSERT_EQ(sf_writef_short(file, pcm.data(), frames), frames);
    sf_close(file);
}

TEST(AudioLibrary, OpensAWavNamedMp3AsWav) {
    TempDir dir;
    const std::string path = dir / "song.mp3";
    std::vector<int16_t> pcm(2 * 10000);
    for (size_t i = 0; i < pcm.size(); ++i) pcm[i] = static_cast<int16_t>(i * 7 - 30000);
    ASSERT_NO_FATAL_FAILURE(WriteTitledWav(path, 2, pcm));

    Stream stream(path);
    ASSERT_NE(stream.get(), 0u);
    ChannelInfo channel;
    ASSERT_TRUE(ChannelGetInfo(stream.get(), &channel));
    EXPECT_EQ(channel.freq, 22050u);
    EXPECT_EQ(channel.chans, 2u);
    EXPECT_EQ(channel.flags & kSample8Bits, 0u);
    EXPECT_EQ(ChannelGetLength(stream.get()), 10000 * 2 * 2);
    EXPECT_EQ(StreamGetFilePosition(stream.get(), kFilePosStart), 0);
    EXPECT_EQ(StreamGetFilePosition(stream.get(), kFilePosEnd), static_cast<int64_t>(test::ReadFile(path).size()));
    // The tags are read as those of a WAV file, whatever the name says.
    EXPECT_EQ(TagsRead(stream.get(), "%TITL|%ARTI"), "Wave Title|");
    const Bytes decoded = DecodeAll(stream.get());
    ASSERT_EQ(decoded.size(), pcm.size() * 2);
    EXPECT_EQ(std::memcmp(decoded.data(), pcm.data(), decoded.size()), 0);

    ASSERT_TRUE(ChannelSetPosition(stream.get(), 4000 * 4));
    EXPECT_EQ(ChannelGetPosition(stream.get()), 4000 * 4);
    int16_t frame[2];
    ASSERT_EQ(ChannelGetData(stream.get(), frame, sizeof frame), 4);
    EXPECT_EQ(frame[0], pcm[8000]);
    EXPECT_EQ(frame[1], pcm[8001]);
}

TEST(AudioLibrary, DecodesFlacExactlyAndReadsItsComments) {
    TempDir dir;
    const std::string path = dir / "tone.flac";
    SF_INFO info{};
    info.samplerate = 48000;
    info.channels = 1;
    info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr);
    sf_set_string(file, SF_STR_TITLE, "Flac Title");
    sf_set_string(file, SF_STR_ARTIST, "Flac Artist");
    sf_set_string(file, SF_STR_GENRE, "17");
    std::vector<int16_t> pcm(30000);
    for (size_t i = 0; i < pcm.size(); ++i) pcm[i] = static_cast<int16_t>(10000 * std::sin(i * 0.01));
    ASSERT_EQ(sf_writef_short(file, pcm.data(), 30000), 30000);
    sf_close(file);

    Stream stream(path);
    ASSERT_NE(stream.get(), 0u);
    EXPECT_EQ(ChannelGetLength(stream.get()), 30000 * 2);
    EXPECT_EQ(StreamGetFilePosition(stream.get(), kFilePosStart), 0);
    const Bytes decoded = DecodeAll(stream.get());
    ASSERT_EQ(decoded.size(), pcm.size() * 2);
    EXPECT_EQ(std::memcmp(decoded.data(), pcm.data(), decoded.size()), 0);
    EXPECT_EQ(TagsRead(stream.get(), "%TITL|%ARTI|%GNRE|%ALBM"), "Flac Title|Flac Artist|Rock|");
}

// ---- MPEG facts ----

TEST(AudioLibrary, MpegLengthIsEveryFrameWithoutVbrFrame) {
    TempDir dir;
    const Bytes mp3 = EncodeMp3(ShortCbr());
    WriteFile(dir / "cbr.mp3", mp3);
    Stream stream(dir / "cbr.mp3");
    ASSERT_NE(stream.get(), 0u);
    ChannelInfo info;
    ASSERT_TRUE(ChannelGetInfo(stream.get(), &info));
    EXPECT_EQ(info.freq, 44100u);
    EXPECT_EQ(info.chans, 2u);
    const int64_t frames = CountFrames(mp3, 0);
    EXPECT_EQ(ChannelGetLength(stream.get()), frames * 1152 * 2 * 2);
    EXPECT_EQ(StreamGetFilePosition(stream.get(), kFilePosStart), 0);
    EXPECT_EQ(StreamGetFilePosition(stream.get(), kFilePosEnd), static_cast<int64_t>(mp3.size()));
    EXPECT_EQ(static_cast<int64_t>(DecodeAll(stream.get()).size()), ChannelGetLength(stream.get()));
}

// The frame count of a file is remembered between opens; a file rewritten in place at once,
// even to the same size, must not get the old count.
TEST(AudioLibrary, ARewrittenFileIsScannedAgain) {
    TempDir dir;
    const Bytes frame = MakeFrame(3, 3, 9, 0, 0, 1);
    Bytes longer = RepeatFrame(frame, 40);
    Bytes shorter = Concat({RepeatFrame(frame, 30), Bytes(frame.size() * 10, 0)});  // same size, 30 frames
    WriteFile(dir / "f.mp3", longer);
    {
        Stream stream(dir / "f.mp3");
        EXPECT_EQ(ChannelGetLength(stream.get()), 40 * 1152 * 4);
    }
    WriteFile(dir / "f.mp3", shorter);
    Stream stream(dir / "f.mp3");
    EXPECT_EQ(ChannelGetLength(stream.get()), 30 * 1152 * 4);
}

TEST(AudioLibrary, AudioStartsAfterId3v2TagAndInfoFrame) {
    TempDir dir;
    EncodeOptions options = ShortCbr();
    options.infoFrame = true;
    const Bytes audio = EncodeMp3(options);
    const Bytes tag = MakeId3v2Tag(3, {{"TIT2", "Title"}}, false, false, 300);
    WriteFile(dir / "info.mp3", Concat({tag, audio}));
    Stream stream(dir / "info.mp3");
    ASSERT_NE(stream.get(), 0u);
    const size_t infoLength = static_cast<size_t>(DecodeFrameHeader(audio.data()).frameLength);
    ASSERT_TRUE(IsXingFrame(audio.data(), infoLength, DecodeFrameHeader(audio.data())));
    EXPECT_EQ(StreamGetFilePosition(stream.get(), kFilePosStart), static_cast<int64_t>(tag.size() + infoLength));
    // The Info frame is no audio: neither counted nor decoded.
    const int64_t audioFrames = CountFrames(audio, 0) - 1;
    EXPECT_EQ(ChannelGetLength(stream.get()), audioFrames * 1152 * 4);
    EXPECT_EQ(static_cast<int64_t>(DecodeAll(stream.get()).size()), audioFrames * 1152 * 4);
}

TEST(AudioLibrary, AudioStartCountsTheId3v2Footer) {
    TempDir dir;
    const Bytes audio = EncodeMp3(ShortCbr());
    const Bytes tag = MakeId3v2Tag(4, {{"TIT2", "Footer"}}, true);
    WriteFile(dir / "footer.mp3", Concat({tag, audio}));
    Stream stream(dir / "footer.mp3");
    ASSERT_NE(stream.get(), 0u);
    EXPECT_EQ(StreamGetFilePosition(stream.get(), kFilePosStart), static_cast<int64_t>(tag.size()));
    EXPECT_EQ(ChannelGetLength(stream.get()), CountFrames(audio, 0) * 1152 * 4);
}

TEST(AudioLibrary, LengthComesFromTheXingFrameCount) {
    TempDir dir;
    EncodeOptions options = ShortCbr();
    options.infoFrame = true;
    Bytes audio = EncodeMp3(options);
    const MpegFrameHeader h = DecodeFrameHeader(audio.data());
    const size_t countAt = static_cast<size_t>(VbrTagOffset(h)) + 8;
    const uint32_t count = (uint32_t(audio[countAt]) << 24) | (audio[countAt + 1] << 16) |
                           (audio[countAt + 2] << 8) | audio[countAt + 3];
    EXPECT_EQ(static_cast<int64_t>(count), CountFrames(audio, 0) - 1);
    audio[countAt + 3] = static_cast<uint8_t>(count - 5);  // the count rules, not the file
    audio[countAt + 2] = static_cast<uint8_t>((count - 5) >> 8);
    WriteFile(dir / "count.mp3", audio);
    Stream stream(dir / "count.mp3");
    ASSERT_NE(stream.get(), 0u);
    EXPECT_EQ(ChannelGetLength(stream.get()), int64_t(count - 5) * 1152 * 4);
}

TEST(AudioLibrary, XingFieldsRunningPastTheFrameAreNotRead) {
    TempDir dir;
    // MPEG 1 Layer I, 32 kbps, 44100 Hz, mono: 32-byte frames. The tag letters stand at 21,
    // the flags at 25; a frame count would run to 33, past the frame.
    Bytes first = MakeFrame(3, 1, 1, 0, 0, 3);
    ASSERT_EQ(first.size(), 32u);
    std::memcpy(&first[21], "Xing", 4);
    first[28] = 1;  // flags: frame count present
    const Bytes frame = MakeFrame(3, 1, 1, 0, 0, 3);
    WriteFile(dir / "short.mp3", Concat({first, RepeatFrame(frame, 40)}));
    Stream stream(dir / "short.mp3");
    ASSERT_NE(stream.get(), 0u);
    EXPECT_EQ(StreamGetFilePosition(stream.get(), kFilePosStart), 32);
    EXPECT_EQ(ChannelGetLength(stream.get()), 40 * 384 * 2);
}

TEST(AudioLibrary, AudioStartsAfterVbriFrame) {
    TempDir dir;
    const Bytes audio = EncodeMp3(ShortCbr());
    Bytes vbri = MakeFrame(3, 3, 9, 0, 0, 1);
    std::memcpy(&vbri[36], "VBRI", 4);
    WriteFile(dir / "vbri.mp3", Concat({vbri, audio}));
    Stream stream(dir / "vbri.mp3");
    ASSERT_NE(stream.get(), 0u);
    EXPECT_EQ(StreamGetFilePosition(stream.get(), kFilePosStart), static_cast<int64_t>(vbri.size()));
    EXPECT_EQ(ChannelGetLength(stream.get()), CountFrames(audio, 0) * 1152 * 4);
}

TEST(AudioLibrary, RefusesId3v2TagRunningPastTheEndOfTheFile) {
    TempDir dir;
    const Bytes audio = EncodeMp3(ShortCbr());
    Bytes tag = MakeId3v2Tag(3, {{"TIT2", "Huge"}});
    tag[6] = tag[7] = tag[8] = tag[9] = 0x7F;  // 256 MiB
    WriteFile(dir / "huge.mp3", Concat({tag, audio}));
    EXPECT_EQ(StreamCreateFile(dir / "huge.mp3", 0, 0, kStreamDecode), 0u);
    WriteFile(dir / "headeronly.mp3", Bytes(tag.begin(), tag.begin() + 10));
    EXPECT_EQ(StreamCreateFile(dir / "headeronly.mp3", 0, 0, kStreamDecode), 0u);
}

TEST(AudioLibrary, SkipsGarbageBetweenTagAndFirstFrame) {
    TempDir dir;
    const Bytes audio = EncodeMp3(ShortCbr());
    const Bytes tag = MakeId3v2Tag(3, {{"TIT2", "Gap"}});
    WriteFile(dir / "gap.mp3", Concat({tag, Bytes(700, 0), audio}));
    Stream stream(dir / "gap.mp3");
    ASSERT_NE(stream.get(), 0u);
    EXPECT_EQ(StreamGetFilePosition(stream.get(), kFilePosStart), static_cast<int64_t>(tag.size() + 700));
}

TEST(AudioLibrary, ScanCountsFramesAcrossGarbageAndIgnoresId3v1Tag) {
    TempDir dir;
    const Bytes audio = EncodeMp3(ShortCbr());
    const std::vector<size_t> offsets = test::FrameOffsets(audio, 0);
    ASSERT_GT(offsets.size(), 40u);
    const Bytes head(audio.begin(), audio.begin() + static_cast<long>(offsets[20]));
    const Bytes tail(audio.begin() + static_cast<long>(offsets[20]), audio.end());
    const Bytes junk = {0xFF, 0xFB, 0x00, 0x12, 0x34, 0xFF, 0x00, 0x99};  // a sync that is no frame
    WriteFile(dir / "junk.mp3", Concat({head, junk, tail, MakeId3v1Tag("T", "A", "B", "2001", 1, 17)}));
    Stream stream(dir / "junk.mp3");
    ASSERT_NE(stream.get(), 0u);
    EXPECT_EQ(ChannelGetLength(stream.get()), static_cast<int64_t>(offsets.size()) * 1152 * 4);
}

TEST(AudioLibrary, ShortLastFrameIsNotCounted) {
    TempDir dir;
    Bytes audio = EncodeMp3(ShortCbr());
    const int64_t frames = CountFrames(audio, 0);
    audio.resize(audio.size() - 100);
    WriteFile(dir / "cut.mp3", audio);
    Stream stream(dir / "cut.mp3");
    ASSERT_NE(stream.get(), 0u);
    EXPECT_EQ(ChannelGetLength(stream.get()), (frames - 1) * 1152 * 4);
    EXPECT_LE(static_cast<int64_t>(DecodeAll(stream.get()).size()), ChannelGetLength(stream.get()));
}

TEST(AudioLibrary, MonoMpeg2VbrHasItsRateChannelsAndLength) {
    TempDir dir;
    EncodeOptions options;
    options.sampleRate = 22050;
    options.channels = 1;
    options.mode = test::Mode::Mono;
    options.vbr = true;
    options.infoFrame = true;
    options.seconds = 3.0;
    const Bytes audio = EncodeMp3(options);
    WriteFile(dir / "mono.mp3", audio);
    Stream stream(dir / "mono.mp3");
    ASSERT_NE(stream.get(), 0u);
    ChannelInfo info;
    ASSERT_TRUE(ChannelGetInfo(stream.get(), &info));
    EXPECT_EQ(info.freq, 22050u);
    EXPECT_EQ(info.chans, 1u);
    const int64_t frames = CountFrames(audio, 0) - 1;
    EXPECT_EQ(ChannelGetLength(stream.get()), frames * 576 * 2);
    EXPECT_EQ(static_cast<int64_t>(DecodeAll(stream.get()).size()), frames * 576 * 2);
    EXPECT_DOUBLE_EQ(ChannelBytes2Seconds(stream.get(), frames * 576 * 2), frames * 576 / 22050.0);
}

// Files written by other encoders: the audio start, and the length against the mpg123
// program decoding without gapless trimming.
TEST(AudioLibrary, RealWorldFilesMatchMpg123) {
    struct Case {
        const char* name;
        int64_t start;
        uint32_t freq, chans;
    };
    const Case cases[] = {
        {"lame_vbr_mpeg2_mono.mp3", 208, 22050, 1}, {"shine_128k_stereo.mp3", 0, 44100, 2},
        {"id3v24_utf8.mp3", 1324 + 417, 44100, 2},  {"id3v1_only.mp3", 417, 44100, 2},
        {"layer2_192k.mp3", 0, 44100, 2},           {"ffmpeg_lame_32k.mp3", 45 + 432, 32000, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = DataFile(c.name);
        Stream stream(path);
        ASSERT_NE(stream.get(), 0u);
        ChannelInfo info;
        ASSERT_TRUE(ChannelGetInfo(stream.get(), &info));
        EXPECT_EQ(info.freq, c.freq);
        EXPECT_EQ(info.chans, c.chans);
        EXPECT_EQ(StreamGetFilePosition(stream.get(), kFilePosStart), c.start);
        const int64_t length = ChannelGetLength(stream.get());
        EXPECT_EQ(static_cast<int64_t>(DecodeAll(stream.get()).size()), length);

        const test::DecodeResult reference = test::DecodeWithMpg123(path);
        ASSERT_TRUE(reference.ok) << reference.messages;
        const int64_t samples = length / (2 * c.chans);
        const int64_t frameSamples = c.freq < 32000 ? 576 : 1152;
        EXPECT_LE(std::llabs(samples - reference.samples), frameSamples);
    }
}

// ---- PCM and seeking ----

TEST(AudioLibrary, SeekDeliversTheSamePcmAsReadingThrough) {
    TempDir dir;
    EncodeOptions options = ShortCbr();
    options.infoFrame = true;
    WriteFile(dir / "seek.mp3", Concat({MakeId3v2Tag(3, {{"TIT2", "S"}}), EncodeMp3(options)}));
    Stream stream(dir / "seek.mp3");
    ASSERT_NE(stream.get(), 0u);
    const Bytes all = DecodeAll(stream.get());
    ASSERT_EQ(static_cast<int64_t>(all.size()), ChannelGetLength(stream.get()));
    EXPECT_EQ(ChannelGetPosition(stream.get()), static_cast<int64_t>(all.size()));

    for (int64_t target : {int64_t(1152 * 4 * 30 + 400), int64_t(1152 * 4 * 5), int64_t(0)}) {
        SCOPED_TRACE(target);
        ASSERT_TRUE(ChannelSetPosition(stream.get(), target));
        EXPECT_EQ(ChannelGetPosition(stream.get()), target);
        Bytes block(4096);
        ASSERT_EQ(ChannelGetData(stream.get(), block.data(), 4096), 4096);
        EXPECT_EQ(ChannelGetPosition(stream.get()), target + 4096);
        // Decoding restarts a few frames earlier to refill the bit reservoir, so the samples
        // agree closely with those read straight through.
        int maxDiff = 0;
        for (size_t i = 0; i < 2048; ++i) {
            int16_t a, b;
            std::memcpy(&a, &block[i * 2], 2);
            std::memcpy(&b, &all[static_cast<size_t>(target) + i * 2], 2);
            maxDiff = std::max(maxDiff, std::abs(a - b));
        }
        EXPECT_LE(maxDiff, 2);
    }
    EXPECT_FALSE(ChannelSetPosition(stream.get(), ChannelGetLength(stream.get()) + 4));
    EXPECT_FALSE(ChannelSetPosition(stream.get(), -4));
    ASSERT_TRUE(ChannelSetPosition(stream.get(), ChannelGetLength(stream.get())));
    Bytes block(64);
    EXPECT_EQ(ChannelGetData(stream.get(), block.data(), 64), 0);
}

TEST(AudioLibrary, ASeekOnAFreshStreamGivesTheSamplesOfADecodeFromTheStart) {
    // At 32 kbps the bit reservoir reaches some six frames back (and no Info frame fits so
    // small a frame: the stream is every frame's samples). No target lies on a frame's edge.
    TempDir dir;
    for (const int channels : {2, 1}) {
        SCOPED_TRACE(channels);
        EncodeOptions options;
        options.channels = channels;
        options.mode = channels == 1 ? test::Mode::Mono : test::Mode::JointStereo;
        options.kbps = 32;
        options.infoFrame = true;
        options.seconds = 12;
        WriteFile(dir / "low.mp3", EncodeMp3(options));
        const auto open = [&] { return StreamCreateFile(dir / "low.mp3", 0, 0, kStreamDecode | kStreamGapless); };
        const Handle whole = open();
        const Bytes all = DecodeAll(whole);
        StreamFree(whole);
        const int64_t frameBytes = 2 * channels;
        for (int64_t frame = 50000; frame < 480000; frame += 26111) {
            SCOPED_TRACE(frame);
            const Handle h = open();
            ASSERT_TRUE(ChannelSetPosition(h, frame * frameBytes));
            Bytes block(static_cast<size_t>(3 * 1152 * frameBytes));
            ASSERT_EQ(ChannelGetData(h, block.data(), static_cast<uint32_t>(block.size())), static_cast<int32_t>(block.size()));
            StreamFree(h);
            EXPECT_TRUE(std::equal(block.begin(), block.end(), all.begin() + frame * frameBytes));
        }
    }
}

TEST(AudioLibrary, SecondsAndBytesConvertConsistently) {
    TempDir dir;
    WriteFile(dir / "conv.mp3", EncodeMp3(ShortCbr()));
    Stream stream(dir / "conv.mp3");
    ASSERT_NE(stream.get(), 0u);
    const int64_t length = ChannelGetLength(stream.get());
    const double seconds = ChannelBytes2Seconds(stream.get(), length);
    EXPECT_DOUBLE_EQ(seconds, static_cast<double>(length / 4) / 44100.0);
    EXPECT_EQ(ChannelSeconds2Bytes(stream.get(), seconds), length);
    EXPECT_EQ(ChannelSeconds2Bytes(stream.get(), 1.0), 44100 * 4);
}

// ---- Handles ----

TEST(AudioLibrary, HandlesAreDistinctAndDeadAfterFree) {
    TempDir dir;
    WriteFile(dir / "a.mp3", EncodeMp3(ShortCbr()));
    const Handle first = StreamCreateFile(dir / "a.mp3", 0, 0, kStreamDecode);
    const Handle second = StreamCreateFile(dir / "a.mp3", 0, 0, kStreamDecode);
    ASSERT_NE(first, 0u);
    ASSERT_NE(second, 0u);
    EXPECT_NE(first, second);
    EXPECT_FALSE(MusicFree(first));  // a stream is no music
    EXPECT_TRUE(StreamFree(first));
    EXPECT_FALSE(StreamFree(first));
    EXPECT_EQ(ChannelGetLength(first), -1);
    EXPECT_EQ(StreamGetFilePosition(first, kFilePosStart), -1);
    Bytes block(16);
    EXPECT_EQ(ChannelGetData(first, block.data(), 16), -1);
    EXPECT_EQ(TagsRead(first, kAllFields), "");
    EXPECT_GT(ChannelGetLength(second), 0);
    EXPECT_TRUE(StreamFree(second));
    EXPECT_EQ(StreamCreateFile(dir / "a.mp3", 1, 0, kStreamDecode), 0u);  // offsets are not supported
}

TEST(AudioLibrary, ThreadsShareTheHandleTable) {
    TempDir dir;
    WriteFile(dir / "t.mp3", EncodeMp3(ShortCbr()));
    Stream reference(dir / "t.mp3");
    ASSERT_NE(reference.get(), 0u);
    const Bytes expected = DecodeAll(reference.get());
    std::vector<int> failures(4, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 5; ++i) {
                const Handle h = StreamCreateFile(dir / "t.mp3", 0, 0, kStreamDecode);
                if (h == 0 || DecodeAll(h) != expected || !StreamFree(h)) ++failures[static_cast<size_t>(t)];
            }
        });
    }
    for (auto& thread : threads) thread.join();
    for (int f : failures) EXPECT_EQ(f, 0);
}

// ---- Module music ----

// A four-channel ProTracker module: one pattern of 64 rows at speed 6 and 125 BPM (7.68 s),
// a note of a short square wave on the first row.
Bytes MakeModule() {
    Bytes mod(1084, 0);
    std::memcpy(mod.data(), "Test Module", 11);
    const size_t sampleWords = 1000;
    uint8_t* sample = &mod[20];
    sample[22] = uint8_t(sampleWords >> 8);
    sample[23] = uint8_t(sampleWords & 0xFF);
    sample[25] = 64;  // volume
    sample[29] = 1;   // repeat length 1 word: no loop
    mod[950] = 1;     // song length
    mod[951] = 127;
    std::memcpy(&mod[1080], "M.K.", 4);
    Bytes pattern(64 * 4 * 4, 0);
    pattern[0] = 0x00;
    pattern[1] = 214;  // C-3
    pattern[2] = 0x10;  // sample 1
    Bytes data(sampleWords * 2);
    for (size_t i = 0; i < data.size(); ++i) data[i] = (i / 20) % 2 ? 0x40 : 0xC0;
    return Concat({mod, pattern, data});
}

TEST(AudioLibrary, LoadsModuleMusicWithItsLength) {
    TempDir dir;
    WriteFile(dir / "tune.mod", MakeModule());
    EXPECT_EQ(StreamCreateFile(dir / "tune.mod", 0, 0, kStreamDecode), 0u);
    const Handle music = MusicLoad(dir / "tune.mod", kMusicDecodeFlags, 44100);
    ASSERT_NE(music, 0u);
    ChannelInfo info;
    ASSERT_TRUE(ChannelGetInfo(music, &info));
    EXPECT_EQ(info.freq, 44100u);
    EXPECT_EQ(info.chans, 2u);
    const int64_t length = ChannelGetLength(music);
    EXPECT_EQ(length, std::llround(7.68 * 44100) * 4);
    EXPECT_EQ(static_cast<int64_t>(DecodeAll(music).size()), length);
    EXPECT_EQ(StreamGetFilePosition(music, kFilePosStart), -1);
    EXPECT_EQ(TagsRead(music, "%TITL"), "Test Module");
    EXPECT_FALSE(StreamFree(music));
    EXPECT_TRUE(MusicFree(music));
}

// ---- Tags ----

TEST(AudioLibrary, ReadsId3v24TextsInUtf8) {
    TempDir dir;
    const Bytes tag = MakeId3v2Tag(4, {{"TRCK", "3/12"},
                                       {"TIT2", "Ночь"},
                                       {"TPE1", "歌手"},
                                       {"TALB", "Ålbum"},
                                       {"TCON", "(17)"},
                                       {"TDRC", "1999"},
                                       {"COMM", "line one\nline two\r\nend"}});
    WriteFile(dir / "v24.mp3", Concat({tag, EncodeMp3(ShortCbr())}));
    Stream stream(dir / "v24.mp3");
    ASSERT_NE(stream.get(), 0u);
    EXPECT_EQ(TagsRead(stream.get(), kAllFields),
              "3/12\nНочь\n歌手\nÅlbum\nRock\n1999\nline one\nline two\r\nend");
}

TEST(AudioLibrary, ReadsId3v23Utf16TextsAndKeepsTrackText) {
    TempDir dir;
    const Bytes tag = MakeId3v2Tag(3, {{"TRCK", "07"},
                                       {"TIT2", "Пісня"},
                                       {"TPE1", "アーティスト"},
                                       {"TCON", "17"},
                                       {"TYER", "2003"},
                                       {"COMM", "a\nb"}});
    WriteFile(dir / "v23.mp3", Concat({tag, EncodeMp3(ShortCbr())}));
    Stream stream(dir / "v23.mp3");
    ASSERT_NE(stream.get(), 0u);
    EXPECT_EQ(TagsRead(stream.get(), kAllFields), "07\nПісня\nアーティスト\n\nRock\n2003\na\nb");
}

TEST(AudioLibrary, ReadsId3v22Tags) {
    TempDir dir;
    const Bytes tag = MakeId3v22Tag({{"TT2", "Old Title"},
                                     {"TP1", "Old Artist"},
                                     {"TAL", "Old Album"},
                                     {"TRK", "4"},
                                     {"TCO", "(13)"},
                                     {"TYE", "1995"},
                                     {"COM", "old"}});
    WriteFile(dir / "v22.mp3", Concat({tag, EncodeMp3(ShortCbr())}));
    Stream stream(dir / "v22.mp3");
    ASSERT_NE(stream.get(), 0u);
    EXPECT_EQ(StreamGetFilePosition(stream.get(), kFilePosStart), static_cast<int64_t>(tag.size()));
    EXPECT_EQ(TagsRead(stream.get(), kAllFields), "4\nOld Title\nOld Artist\nOld Album\nPop\n1995\nold");
}

TEST(AudioLibrary, ReadsId3v1AndApeTags) {
    TempDir dir;
    const Bytes audio = EncodeMp3(ShortCbr());
    WriteFile(dir / "v1.mp3", Concat({audio, MakeId3v1Tag("V1 Title", "V1 Artist", "", "1987", 9, 147)}));
    Stream v1(dir / "v1.mp3");
    ASSERT_NE(v1.get(), 0u);
    EXPECT_EQ(TagsRead(v1.get(), kAllFields), "9\nV1 Title\nV1 Artist\n\nSynthpop\n1987\n");

    WriteFile(dir / "ape.mp3", Concat({audio, MakeApeTag({{"Title", "Ape Title"},
                                                           {"Artist", "Ape Artist"},
                                                           {"Track", "2/9"},
                                                           {"Genre", "Jazz"},
                                                           {"Year", "2010"},
                                                           {"Comment", "x\ny"}})}));
    Stream ape(dir / "ape.mp3");
    ASSERT_NE(ape.get(), 0u);
    EXPECT_EQ(TagsRead(ape.get(), kAllFields), "2/9\nApe Title\nApe Artist\n\nJazz\n2010\nx\ny");
}

TEST(AudioLibrary, Id3v2FieldsComeBeforeId3v1Fields) {
    TempDir dir;
    const Bytes tag = MakeId3v2Tag(3, {{"TIT2", "New"}});
    WriteFile(dir / "both.mp3",
              Concat({tag, EncodeMp3(ShortCbr()), MakeId3v1Tag("Old", "Old Artist", "", "2000", 0, 255)}));
    Stream stream(dir / "both.mp3");
    ASSERT_NE(stream.get(), 0u);
    EXPECT_EQ(TagsRead(stream.get(), kAllFields), "\nNew\nOld Artist\n\n\n2000\n");
}

TEST(AudioLibrary, TagRecordKeepsALineBreakInsideItsField) {
    TempDir dir;
    WriteFile(dir / "t.mp3", Concat({MakeId3v2Tag(3, {{"TIT2", "a\nb"}, {"TPE1", "Artist"}, {"TALB", "Album"},
                                                      {"TCON", "Rock"}}),
                                     EncodeMp3(ShortCbr())}));
    Stream stream(dir / "t.mp3");
    ASSERT_NE(stream.get(), 0u);
    TagInfo info;
    info.comment = "stale";
    ASSERT_TRUE(TagsGetInfo(stream.get(), &info));
    EXPECT_EQ(info.track, "");
    EXPECT_EQ(info.title, "a\nb");
    EXPECT_EQ(info.artist, "Artist");
    EXPECT_EQ(info.album, "Album");
    EXPECT_EQ(info.genre, "Rock");
    EXPECT_EQ(info.year, "");
    EXPECT_EQ(info.comment, "");
}

TEST(AudioLibrary, TagOfAFileWithoutAStreamIsTheStreamsTag) {
    TempDir dir;
    WriteFile(dir / "t.mp3", Concat({MakeId3v2Tag(3, {{"TIT2", "a\nb"}, {"TPE1", "Artist"}, {"TRCK", "3/12"}}),
                                     EncodeMp3(ShortCbr())}));
    TagInfo info;
    ASSERT_TRUE(TagsGetFileInfo(dir / "t.mp3", &info));
    EXPECT_EQ(info.title, "a\nb");
    EXPECT_EQ(info.artist, "Artist");
    EXPECT_EQ(info.track, "3/12");
    // A WAV file is read as WAV whatever its name, and a file without audio has no tag.
    const std::string wav = dir / "song.mp3";
    ASSERT_NO_FATAL_FAILURE(WriteTitledWav(wav, 1, std::vector<int16_t>(1000, 5)));
    ASSERT_TRUE(TagsGetFileInfo(wav, &info));
    EXPECT_EQ(info.title, "Wave Title");
    WriteFile(dir / "text.mp3", Concat({MakeId3v2Tag(3, {{"TIT2", "Not audio"}}), Bytes(5000, 'x')}));
    EXPECT_FALSE(TagsGetFileInfo(dir / "text.mp3", &info));
    EXPECT_EQ(info.title, "");
    EXPECT_FALSE(TagsGetFileInfo(dir / "missing.mp3", &info));
    EXPECT_FALSE(TagsGetFileInfo(dir / "t.mp3", nullptr));
}

TEST(AudioLibrary, TagReadIsEmptyWithoutAnyTag) {
    TempDir dir;
    WriteFile(dir / "bare.mp3", EncodeMp3(ShortCbr()));
    Stream stream(dir / "bare.mp3");
    ASSERT_NE(stream.get(), 0u);
    EXPECT_EQ(TagsRead(stream.get(), kAllFields), "");
    TagInfo info;
    info.title = "stale";
    EXPECT_FALSE(TagsGetInfo(stream.get(), &info));
    EXPECT_EQ(info.title, "");
    EXPECT_FALSE(TagsGetInfo(0, &info));
}

TEST(AudioLibrary, TagFormatKeepsOtherText) {
    TempDir dir;
    WriteFile(dir / "f.mp3", Concat({MakeId3v2Tag(4, {{"TIT2", "T"}, {"TCON", "Darkwave Folk"}}),
                                     EncodeMp3(ShortCbr())}));
    Stream stream(dir / "f.mp3");
    ASSERT_NE(stream.get(), 0u);
    EXPECT_EQ(TagsRead(stream.get(), "[%TITL] %XYZW 100% %GNRE%"), "[T] %XYZW 100% Darkwave Folk%");
}

TEST(AudioLibrary, ReadsRealWorldTags) {
    Stream utf8(DataFile("id3v24_utf8.mp3"));
    ASSERT_NE(utf8.get(), 0u);
    EXPECT_EQ(TagsRead(utf8.get(), kAllFields), "05/10\nНочь\n歌手\nÅlbum\nPop\n2004\ntwo\nlines");
    Stream v1(DataFile("id3v1_only.mp3"));
    ASSERT_NE(v1.get(), 0u);
    EXPECT_EQ(TagsRead(v1.get(), kAllFields), "9\nV1 Title\nV1 Artist\nV1 Album\nRock\n1987\n");
}


// ---- Playback ----

constexpr uint32_t kOutputRate = 44100;
constexpr uint32_t kOutputFrameBytes = 4;  // 16-bit stereo

// The library on the manual test clock for one test.
class ManualOutput {
public:
    ManualOutput() {
        UseManualOutput(true);
        started_ = Init(-1, kOutputRate);
    }
    ~ManualOutput() {
        Free();
        UseManualOutput(false);
    }
    bool started() const { return started_; }

private:
    bool started_;
};

// A playable stream, freed when the test ends.
class Playable {
public:
    explicit Playable(const std::string& path) : handle_(StreamCreateFile(path, 0, 0, 0)) {}
    ~Playable() {
        if (handle_ != 0) StreamFree(handle_);
    }
    Handle get() const { return handle_; }

private:
    Handle handle_;
};

TEST(AudioLibrary, PlayableStreamsNeedAnOutputThatPlays) {
    TempDir dir;
    WriteFile(dir / "a.mp3", EncodeMp3(ShortCbr()));
    ASSERT_TRUE(Init(0, kOutputRate));
    EXPECT_EQ(StreamCreateFile(dir / "a.mp3", 0, 0, 0), 0u);
    Stream decodeOnly(dir / "a.mp3");
    ASSERT_NE(decodeOnly.get(), 0u);
    EXPECT_FALSE(ChannelPlay(decodeOnly.get(), false));
    EXPECT_EQ(ChannelSetSync(decodeOnly.get(), kSyncEnd, 0, [] {}), 0u);
    EXPECT_FALSE(OutputPump(100));
    Free();

    ManualOutput output;
    ASSERT_TRUE(output.started());
    Playable playable(dir / "a.mp3");
    ASSERT_NE(playable.get(), 0u);
    uint8_t buffer[64];
    EXPECT_EQ(ChannelGetData(playable.get(), buffer, sizeof buffer), -1);
    EXPECT_FALSE(ChannelPlay(decodeOnly.get(), false));
    EXPECT_EQ(ChannelSetSync(playable.get(), 7, 0, [] {}), 0u);
    EXPECT_TRUE(ChannelPlay(playable.get(), false));
    Free();
    EXPECT_FALSE(ChannelIsPlaying(playable.get()));
    EXPECT_FALSE(ChannelPlay(playable.get(), false));
}

TEST(AudioLibrary, PositionIsWhatWasPlayed) {
    TempDir dir;
    WriteFile(dir / "a.mp3", EncodeMp3(ShortCbr()));
    ManualOutput output;
    Playable playable(dir / "a.mp3");
    ASSERT_NE(playable.get(), 0u);
    const Handle h = playable.get();

    EXPECT_FALSE(ChannelPause(h));
    ASSERT_TRUE(ChannelPlay(h, false));
    EXPECT_TRUE(ChannelIsPlaying(h));
    EXPECT_EQ(ChannelGetPosition(h), 0);
    ASSERT_TRUE(OutputPump(4410));
    EXPECT_EQ(ChannelGetPosition(h), 4410 * 4);
    EXPECT_TRUE(ChannelPause(h));
    OutputPump(4410);
    EXPECT_EQ(ChannelGetPosition(h), 4410 * 4);

    ASSERT_TRUE(ChannelSetPosition(h, 44100 * 4));
    EXPECT_EQ(ChannelGetPosition(h), 44100 * 4);
    ASSERT_TRUE(ChannelPlay(h, false));
    OutputPump(441);
    EXPECT_EQ(ChannelGetPosition(h), 44541 * 4);
    ASSERT_TRUE(ChannelPlay(h, true));
    EXPECT_EQ(ChannelGetPosition(h), 0);
}

TEST(AudioLibrary, PlaysOtherRatesAndChannelCountsAtTheOutputRate) {
    TempDir dir;
    EncodeOptions options = ShortCbr();
    options.sampleRate = 22050;
    options.channels = 1;
    options.mode = test::Mode::Mono;
    options.kbps = 64;
    WriteFile(dir / "m.mp3", EncodeMp3(options));
    ManualOutput output;
    Playable playable(dir / "m.mp3");
    ASSERT_NE(playable.get(), 0u);

    ASSERT_TRUE(ChannelPlay(playable.get(), false));
    std::vector<int16_t> out(kOutputRate * 2);
    ASSERT_TRUE(OutputPump(kOutputRate, out.data()));
    // One second played: 22050 mono samples.
    EXPECT_EQ(ChannelGetPosition(playable.get()), 22050 * 2);
    int16_t peak = 0;
    for (size_t i = kOutputRate; i < out.size(); i += 2) {
        EXPECT_EQ(out[i], out[i + 1]);  // mono on both sides
        peak = std::max<int16_t>(peak, static_cast<int16_t>(std::abs(out[i])));
    }
    EXPECT_GT(peak, 1000);
}

TEST(AudioLibrary, EndSyncRunsOnceAtTheEndAndPlaybackStops) {
    TempDir dir;
    WriteFile(dir / "a.mp3", EncodeMp3(ShortCbr()));
    ManualOutput output;
    Playable playable(dir / "a.mp3");
    const Handle h = playable.get();
    ASSERT_NE(h, 0u);
    int ends = 0;
    std::vector<int64_t> passed;
    ASSERT_NE(ChannelSetSync(h, kSyncEnd, 0, [&] { ++ends; }), 0u);
    ASSERT_NE(ChannelSetSync(h, kSyncPosition, 10000 * 4, [&] { passed.push_back(ChannelGetPosition(h)); }), 0u);
    int beyond = 0;  // a position past the end is passed at the end
    ASSERT_NE(ChannelSetSync(h, kSyncPosition, ChannelGetLength(h) + 4000, [&] { ++beyond; }), 0u);

    ASSERT_TRUE(ChannelSetPosition(h, ChannelGetLength(h) - 44100 * 4));
    ASSERT_TRUE(ChannelPlay(h, false));
    OutputPump(kOutputRate - 1000);
    EXPECT_EQ(ends, 0);
    OutputPump(2000);
    EXPECT_EQ(ends, 1);
    EXPECT_EQ(beyond, 1);
    EXPECT_FALSE(ChannelIsPlaying(h));
    EXPECT_EQ(ChannelGetPosition(h), ChannelGetLength(h));
    OutputPump(kOutputRate);
    EXPECT_EQ(ends, 1);
    EXPECT_TRUE(passed.empty());  // started after it

    ASSERT_TRUE(ChannelPlay(h, true));
    OutputPump(9000);
    EXPECT_TRUE(passed.empty());
    OutputPump(1000);
    ASSERT_EQ(passed.size(), 1u);
    EXPECT_EQ(passed[0], 10000 * 4);  // the procedure sees the position it was set for
}

TEST(AudioLibrary, SyncRemovedAfterFallingDueDoesNotRun) {
    TempDir dir;
    WriteFile(dir / "a.mp3", EncodeMp3(ShortCbr()));
    ManualOutput output;
    Playable playable(dir / "a.mp3");
    const Handle h = playable.get();
    ASSERT_NE(h, 0u);
    // Both fall due in the same step; the first removes the second from its procedure.
    Handle second = 0;
    int firstRan = 0;
    int secondRan = 0;
    ASSERT_NE(ChannelSetSync(h, kSyncPosition, 400, [&] {
        ++firstRan;
        EXPECT_TRUE(ChannelRemoveSync(h, second));
        EXPECT_TRUE(ChannelPause(h));
    }), 0u);
    second = ChannelSetSync(h, kSyncPosition, 800, [&] { ++secondRan; });
    ASSERT_NE(second, 0u);
    ASSERT_TRUE(ChannelPlay(h, false));
    OutputPump(1000);
    EXPECT_EQ(firstRan, 1);
    EXPECT_EQ(secondRan, 0);
    EXPECT_FALSE(ChannelIsPlaying(h));
    EXPECT_FALSE(ChannelRemoveSync(h, second));
}

TEST(AudioLibrary, VolumeScalesTheStreamInTheMix) {
    TempDir dir;
    WriteFile(dir / "a.mp3", EncodeMp3(ShortCbr()));
    ManualOutput output;
    Playable playable(dir / "a.mp3");
    const Handle h = playable.get();
    ASSERT_NE(h, 0u);
    constexpr uint32_t kFrames = 8192;

    float volume = 0.0f;
    ASSERT_TRUE(ChannelGetAttribute(h, kAttribVolume, &volume));
    EXPECT_EQ(volume, 1.0f);
    std::vector<int16_t> full(kFrames * 2);
    ASSERT_TRUE(ChannelPlay(h, true));
    OutputPump(kFrames, full.data());

    EXPECT_TRUE(ChannelSetAttribute(h, kAttribVolume, 0.5f));
    std::vector<int16_t> half(kFrames * 2);
    ASSERT_TRUE(ChannelPlay(h, true));
    OutputPump(kFrames, half.data());
    for (size_t i = 0; i < full.size(); ++i) ASSERT_NEAR(half[i], full[i] * 0.5, 1.0) << i;

    EXPECT_TRUE(ChannelSetAttribute(h, kAttribVolume, -3.0f));  // clamped to silence
    ASSERT_TRUE(ChannelGetAttribute(h, kAttribVolume, &volume));
    EXPECT_EQ(volume, 0.0f);
    std::vector<int16_t> silent(kFrames * 2, 1);
    OutputPump(kFrames, silent.data());
    EXPECT_EQ(std::count(silent.begin(), silent.end(), 0), static_cast<long>(silent.size()));
    EXPECT_FALSE(ChannelSetAttribute(h, 99, 1.0f));
}

TEST(AudioLibrary, CallsDuringPlaybackOnTheDummyDriverAreSafe) {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    TempDir dir;
    WriteFile(dir / "a.mp3", EncodeMp3(ShortCbr()));
    ASSERT_TRUE(Init(-1, kOutputRate));
    const Handle h = StreamCreateFile(dir / "a.mp3", 0, 0, 0);
    ASSERT_NE(h, 0u);
    std::atomic<int> syncs{0};
    // Each sync procedure calls back into the library from the audio thread.
    for (int64_t at = 0; at < 2 * 44100 * 4; at += 4000 * 4) {
        ChannelSetSync(h, kSyncPosition, at, [&, h] {
            ++syncs;
            ChannelGetPosition(h);
        });
    }
    ASSERT_TRUE(ChannelPlay(h, false));
    std::thread other([h] {
        for (int i = 0; i < 200; ++i) {
            ChannelSetPosition(h, (i % 10) * 400);
            ChannelGetPosition(h);
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
    });
    other.join();
    for (int i = 0; i < 100 && syncs.load() == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_GT(syncs.load(), 0);
    const Handle sync = ChannelSetSync(h, kSyncEnd, 0, [] {});
    EXPECT_TRUE(ChannelRemoveSync(h, sync));
    EXPECT_TRUE(StreamFree(h));
    EXPECT_TRUE(Free());
}

}  // namespace
}  // namespace corvane::audio
