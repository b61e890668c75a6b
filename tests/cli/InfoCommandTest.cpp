// End-to-end tests of `corvane-cli info`: facts of LAME files and of other encoders' files.
#include <gtest/gtest.h>

#include "audio/MpegFrameHeader.h"
#include "support/CliRunner.h"

namespace corvane {
namespace {

using test::Bytes;

struct Expected {
    std::string name;
    test::EncodeOptions options;
    bool tag;
    int sampleRate;
    std::string mode;
};

class InfoCommand : public ::testing::Test {
protected:
    test::TempDir dir;
};

TEST_F(InfoCommand, ReportsTheFactsOfLameFiles) {
    auto make = [](int rate, int channels, test::Mode mode, int kbps, bool vbr, bool info) {
        test::EncodeOptions o;
        o.sampleRate = rate;
        o.channels = channels;
        o.mode = mode;
        o.kbps = kbps;
        o.vbr = vbr;
        o.infoFrame = info;
        o.seconds = 4;
        return o;
    };
    const std::vector<Expected> files = {
        {"cbr.mp3", make(44100, 2, test::Mode::JointStereo, 128, false, false), true, 44100, "\"J-Stereo\""},
        {"vbr.mp3", make(44100, 2, test::Mode::JointStereo, 0, true, true), true, 44100, "\"J-Stereo\""},
        {"info.mp3", make(44100, 2, test::Mode::Stereo, 192, false, true), false, 44100, "\"Stereo\""},
        {"mono2.mp3", make(22050, 1, test::Mode::Mono, 32, false, false), false, 22050, "\"Mono\""},
        {"mpeg25.mp3", make(8000, 1, test::Mode::Mono, 32, false, true), true, 8000, "\"Mono\""},
    };
    for (const Expected& e : files) {
        const Bytes frames = test::EncodeMp3(e.options);
        const Bytes tag = e.tag ? test::MakeId3v2Tag(3, {{"TIT2", "x"}}, false, true, 200) : Bytes{};
        const std::string path = dir / e.name;
        test::WriteFile(path, test::Concat({tag, frames}));

        const test::ProcessResult r = test::RunCli({"info", "--json", path});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(test::JsonValue(r.out, "sample_rate"), std::to_string(e.sampleRate)) << e.name;
        EXPECT_EQ(test::JsonValue(r.out, "channel_mode"), e.mode) << e.name;
        EXPECT_EQ(test::JsonValue(r.out, "vbr_header"), e.options.infoFrame ? "true" : "false") << e.name;
        const size_t firstFrame = static_cast<size_t>(DecodeFrameHeader(frames.data()).frameLength);
        EXPECT_EQ(test::JsonValue(r.out, "audio_start"), std::to_string(tag.size() + (e.options.infoFrame ? firstFrame : 0)))
            << e.name;
        // The audio's own bit rate: a tag or a VBR header frame counts for nothing.
        if (!e.options.vbr) {
            EXPECT_EQ(test::JsonValue(r.out, "bitrate_kbps"), std::to_string(e.options.kbps)) << e.name;
        }

        const test::DecodeResult d = test::DecodeWithMpg123(path);
        ASSERT_TRUE(d.ok) << d.messages;
        const double decodedMs = d.samples * 1000.0 / e.sampleRate;
        const double frameMs = (e.sampleRate < 32000 ? 576 : 1152) * 1000.0 / e.sampleRate;
        EXPECT_NEAR(std::stod(test::JsonValue(r.out, "length_ms")), decodedMs, frameMs) << e.name;
    }
}

TEST_F(InfoCommand, ReportsFilesOfOtherEncoders) {
    const std::string data = CORVANE_TEST_DATA_DIR;
    const test::ProcessResult r = test::RunCli({"info", "--json", data + "/shine_128k_stereo.mp3",
                                                data + "/ffmpeg_lame_32k.mp3", data + "/lame_vbr_mpeg2_mono.mp3"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const size_t second = r.out.find("ffmpeg_lame_32k");
    const size_t third = r.out.find("lame_vbr_mpeg2_mono");
    EXPECT_EQ(test::JsonValue(r.out, "sample_rate"), "44100");
    EXPECT_EQ(test::JsonValue(r.out, "channel_mode"), "\"Stereo\"");
    EXPECT_EQ(test::JsonValue(r.out, "vbr_header"), "false");
    EXPECT_EQ(test::JsonValue(r.out, "audio_start"), "0");
    EXPECT_EQ(test::JsonValue(r.out, "sample_rate", second), "32000");
    EXPECT_EQ(test::JsonValue(r.out, "vbr_header", second), "true");
    EXPECT_EQ(test::JsonValue(r.out, "sample_rate", third), "22050");
    EXPECT_EQ(test::JsonValue(r.out, "channel_mode", third), "\"Mono\"");
    EXPECT_EQ(test::JsonValue(r.out, "vbr_header", third), "true");

    const test::DecodeResult d = test::DecodeWithMpg123(data + "/shine_128k_stereo.mp3");
    EXPECT_NEAR(std::stod(test::JsonValue(r.out, "length_ms")), d.samples * 1000.0 / 44100, 1152 * 1000.0 / 44100);
}

// The test files hold 10 s of audio each; LAME's tag, and ffmpeg's copy of it, give the
// samples a gapless decoder drops. Shine writes no such tag.
TEST_F(InfoCommand, ShowsTheEncoderDelayAndPaddingOfALameTag) {
    const std::string data = CORVANE_TEST_DATA_DIR;
    const test::ProcessResult r = test::RunCli({"info", "--json", data + "/lame_cbr128_info.mp3",
                                                data + "/ffmpeg_lame_32k.mp3", data + "/shine_128k_stereo.mp3"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const size_t second = r.out.find("ffmpeg_lame_32k");
    const size_t third = r.out.find("shine_128k");
    EXPECT_EQ(test::JsonValue(r.out, "encoder_delay"), "576");
    EXPECT_EQ(test::JsonValue(r.out, "encoder_padding"), "792");  // 384 frames * 1152 - 576 - 441000
    EXPECT_EQ(test::JsonValue(r.out, "gapless_length_ms"), "10000");
    EXPECT_EQ(test::JsonValue(r.out, "length_ms"), "10031");  // the frames' length stays
    EXPECT_EQ(test::JsonValue(r.out, "encoder_delay", second), "576");
    EXPECT_EQ(test::JsonValue(r.out, "encoder_padding", second), "832");
    EXPECT_EQ(test::JsonValue(r.out, "gapless_length_ms", second), "10000");
    EXPECT_EQ(test::JsonValue(r.out, "encoder_delay", third), "null");
    EXPECT_EQ(test::JsonValue(r.out, "encoder_padding", third), "null");
    EXPECT_EQ(test::JsonValue(r.out, "gapless_length_ms", third), test::JsonValue(r.out, "length_ms", third));

    const test::ProcessResult text = test::RunCli({"info", data + "/lame_cbr128_info.mp3", data + "/shine_128k_stereo.mp3"});
    EXPECT_NE(text.out.find("\n  length:       0:10 (10 s)\n  gapless:      0:10 (10000 ms; the frames hold 10031 ms)\n"),
              std::string::npos)
        << text.out;
    EXPECT_NE(text.out.find("\n  VBR header:   yes\n  LAME tag:     delay 576, padding 792 samples\n"), std::string::npos);
    EXPECT_EQ(text.out.find("gapless:", text.out.find("shine_128k")), std::string::npos);
}

// Two files glued with cat: the first one's header counts only the first, so the frames are
// counted, its delays are not used, and a cut divides the whole.
TEST_F(InfoCommand, FilesGluedWithCatAreMeasuredByTheirFrames) {
    const std::string data = CORVANE_TEST_DATA_DIR;
    const Bytes one = test::ReadFile(data + "/lame_cbr128_info.mp3");
    Bytes glued = one;
    glued.insert(glued.end(), one.begin(), one.end());
    test::WriteFile(dir / "glued.mp3", glued);
    const test::ProcessResult r = test::RunCli({"info", "--json", dir / "glued.mp3"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(test::JsonValue(r.out, "length_ms"), "20088");  // 769 frames after the first header
    EXPECT_EQ(test::JsonValue(r.out, "encoder_delay"), "null");
    const test::ProcessResult text = test::RunCli({"info", dir / "glued.mp3"});
    EXPECT_NE(text.out.find("\n  glued:        yes, its VBR header gives 0:10; the length is that of the frames present\n"),
              std::string::npos)
        << text.out;
    const test::ProcessResult cut = test::RunCli({"cut", "--count", "2", "--no-tag", "-d", dir / "out", dir / "glued.mp3"});
    ASSERT_EQ(cut.exitCode, 0) << cut.err;
    EXPECT_EQ(test::Lines(cut.out).size(), 2u);
}

TEST_F(InfoCommand, PrintsTagsByteExactInUtf8) {
    const std::string path = dir / "tags.mp3";
    test::EncodeOptions o;
    o.seconds = 1;
    test::WriteFile(path, test::Concat({test::MakeId3v2Tag(4, {{"TRCK", "3/12"}, {"TIT2", "Ночь \"в\" 東京"},
                                                               {"TPE1", "歌手"}, {"TALB", "Ålbum"}, {"TDRC", "2004"},
                                                               {"TCON", "(17)"}, {"COMM", "two\nlines"}}),
                                        test::EncodeMp3(o)}));
    const test::ProcessResult r = test::RunCli({"info", "--json", path});
    ASSERT_EQ(r.exitCode, 0);
    EXPECT_NE(r.out.find("\"tags\": {\"track\": 3, \"title\": \"Ночь \\\"в\\\" 東京\", \"artist\": \"歌手\", "
                         "\"album\": \"Ålbum\", \"year\": \"2004\", \"genre\": \"Rock\", \"comment\": \"two\\nlines\"}"),
              std::string::npos)
        << r.out;

    const test::ProcessResult text = test::RunCli({"info", path});
    EXPECT_NE(text.out.find("  title:        Ночь \"в\" 東京\n"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("  track:        3\n"), std::string::npos);
}

// A path byte that is not UTF-8 becomes U+FFFD in JSON; in text, it and a tag's escape
// byte and newline are shown escaped instead of reaching the terminal.
TEST_F(InfoCommand, UntrustedBytesGiveValidJsonAndEscapedText) {
    const std::string path = dir / "bad\xff.mp3";
    test::EncodeOptions o;
    o.seconds = 1;
    test::WriteFile(path, test::Concat({test::MakeId3v2Tag(4, {{"TIT2", "\x1b[31mred"}, {"COMM", "a\nb"}}), test::EncodeMp3(o)}));

    const std::string parse =
        "import json, sys\n"
        "f = json.loads(sys.stdin.buffer.read().decode('utf-8'))[0]\n"
        "print(json.dumps([f['path'], f['tags']['title'], f['tags']['comment']]))\n";
    const test::ProcessResult r = test::RunProcess(
        {"sh", "-c", "\"$0\" info --json \"$1\" | python3 -c \"$2\"", test::CliPath(), path, parse});
    EXPECT_EQ(r.out, "[\"" + dir / "bad\\ufffd.mp3" + "\", \"\\u001b[31mred\", \"a\\nb\"]\n") << r.err;

    const test::ProcessResult text = test::RunCli({"info", path});
    ASSERT_EQ(text.exitCode, 0);
    EXPECT_EQ(text.out.substr(0, text.out.find('\n') + 1), dir / "bad\\xff.mp3\n");
    EXPECT_NE(text.out.find("\n  title:        \\x1b[31mred\n"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("\n  comment:      a\\nb\n"), std::string::npos) << text.out;
}

TEST_F(InfoCommand, ACoverPictureChangesNoBitRate) {
    test::EncodeOptions o;
    o.seconds = 2;
    const std::string path = dir / "cover.mp3";
    test::WriteFile(path, test::Concat({test::MakeId3v2Tag(3, {{"TIT2", "Cover"}}, false, true, 8192), test::EncodeMp3(o)}));
    const test::ProcessResult r = test::RunCli({"info", path});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("\n  bit rate:     128 kbps\n"), std::string::npos) << r.out;
}

// A partial download keeps its encoder's Info frame, which counts the frames of the whole file.
TEST_F(InfoCommand, ATruncatedFileShowsAndIsCutByTheFramesItHas) {
    test::EncodeOptions o;
    o.seconds = 30;
    o.infoFrame = true;
    const Bytes full = test::EncodeMp3(o);
    const Bytes part(full.begin(), full.begin() + static_cast<long>(full.size() / 3));
    const std::string path = dir / "part.mp3";
    test::WriteFile(path, part);
    const int64_t frames = static_cast<int64_t>(test::FrameOffsets(part, 0).size()) - 1;  // the Info frame is no audio

    const test::ProcessResult r = test::RunCli({"info", "--json", path});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(test::JsonValue(r.out, "length_ms"), std::to_string(frames * 1152 * 1000 / 44100));
    EXPECT_EQ(test::JsonValue(r.out, "bitrate_kbps"), "128");
    EXPECT_EQ(test::JsonValue(r.out, "truncated"), "true");
    const test::ProcessResult text = test::RunCli({"info", path});
    EXPECT_NE(text.out.find("\n  truncated:    yes, its VBR header gives 0:30; the length is that of the frames present\n"),
              std::string::npos)
        << text.out;

    // Three pieces of about a third of the frames present each (the last also holds the three
    // frames it shares with the one before, and what the division left).
    const test::ProcessResult cut = test::RunCli({"cut", "--count", "3", "--no-tag", "-d", dir / "out", path});
    ASSERT_EQ(cut.exitCode, 0) << cut.err;
    const std::vector<std::string> pieces = test::Lines(cut.out);
    ASSERT_EQ(pieces.size(), 3u);
    for (const std::string& piece : pieces) {
        const test::DecodeResult d = test::DecodeWithMpg123(piece);
        ASSERT_TRUE(d.ok) << d.messages;
        EXPECT_NEAR(static_cast<double>(d.samples), frames * 1152 / 3.0, 10 * 1152) << piece;
    }
}

// Padding of 50000 bytes after the tag: found within the search window both front ends set.
TEST_F(InfoCommand, AFrameFarAfterTheTagIsFound) {
    test::EncodeOptions o;
    o.seconds = 1;
    const std::string path = dir / "gap.mp3";
    test::WriteFile(path, test::Concat({test::MakeId3v2Tag(3, {{"TIT2", "Gap"}}), Bytes(50000, 0), test::EncodeMp3(o)}));
    const test::ProcessResult r = test::RunCli({"info", "--json", path});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(test::JsonValue(r.out, "sample_rate"), "44100");
}

TEST_F(InfoCommand, AFileThatCannotBeOpenedIsReportedAndFails) {
    const std::string bad = dir / "bad.mp3";
    test::WriteFile(bad, Bytes(5000, 0x41));
    const std::string data = CORVANE_TEST_DATA_DIR;
    const test::ProcessResult r = test::RunCli({"info", "--json", bad, data + "/lame_cbr128_info.mp3"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(test::JsonValue(r.out, "ok"), "false");
    EXPECT_EQ(test::JsonValue(r.out, "error"), "\"Failed to load file \\\"" + bad + "\\\".\"");
    EXPECT_EQ(test::JsonValue(r.out, "ok", r.out.find("lame_cbr128")), "true");
    EXPECT_EQ(test::RunCli({"info"}).exitCode, 2);
    EXPECT_EQ(test::RunCli({"info", "--bogus", bad}).exitCode, 2);
}

}  // namespace
}  // namespace corvane
