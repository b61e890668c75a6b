// Frame-copied pieces played by gapless decoders: each piece's LAME tag trims exactly its
// range, so the pieces decoded one after another are the source's decode, sample for sample.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "support/CliRunner.h"

namespace corvane {
namespace {

using test::Bytes;

// What ffmpeg (which applies a LAME tag's delay and padding) decodes of path, 16-bit.
std::string FfmpegDecode(const std::string& path) {
    const test::ProcessResult r = test::RunProcess({"ffmpeg", "-loglevel", "error", "-i", path, "-f", "s16le", "-"});
    EXPECT_EQ(r.err, "") << path;
    return r.out;
}

// The same by mpg123 with gapless trimming.
std::string Mpg123Decode(const std::string& path) {
    const test::ProcessResult r = test::RunProcess({"mpg123", "-q", "--gapless", "-s", path});
    return r.out;
}

// The samples per channel of a 16-bit decode.
size_t SampleCount(const std::string& pcm, int channels) { return pcm.size() / (2 * static_cast<size_t>(channels)); }

struct Source {
    const char* name;
    test::EncodeOptions options;
    bool mpg123Exact;  // mpg123 rounds a few MPEG-2 mono samples of a piece otherwise than of the whole
    bool byFfmpeg = false;  // encoded by ffmpeg (its own header frame and tag) instead
};

test::EncodeOptions Options(int rate, int channels, int kbps, bool vbr, bool infoFrame = true) {
    test::EncodeOptions o;
    o.sampleRate = rate;
    o.channels = channels;
    o.mode = channels == 1 ? test::Mode::Mono : test::Mode::JointStereo;
    o.kbps = kbps;
    o.vbr = vbr;
    o.vbrQuality = 2;
    o.infoFrame = infoFrame;
    o.seconds = 7.3;
    return o;
}

class GaplessPieces : public ::testing::TestWithParam<Source> {
protected:
    test::TempDir dir;
};

// Each rule's pieces, decoded one after another, are the source's decode; the pieces of
// custom points cover exactly the samples between them; every piece decodes cleanly and its
// lead-in is no longer than a carrier frame and the frames the first one's decode needs.
TEST_P(GaplessPieces, EveryRulePlaysBackAsTheSource) {
    const Source& source = GetParam();
    const int rate = source.options.sampleRate;
    const int channels = source.options.channels;
    const std::string path = dir / (std::string(source.name) + ".mp3");
    if (source.byFfmpeg) {
        test::WriteFile(path + ".wav", test::MakeWav(rate, channels, source.options.seconds));
        ASSERT_EQ(test::RunProcess({"ffmpeg", "-loglevel", "error", "-i", path + ".wav", "-c:a", "libmp3lame", "-b:a",
                                    "160k", path})
                      .exitCode,
                  0);
    } else {
        test::WriteFile(path, test::EncodeMp3(source.options));
    }
    const std::string whole = FfmpegDecode(path);
    const std::string wholeMpg123 = Mpg123Decode(path);
    ASSERT_FALSE(whole.empty());
    const std::vector<std::vector<std::string>> rules = {
        {"--count", "3"}, {"--time", "0:02"}, {"--points", "0.3,1.7,1.8,5.5"}, {"--size", "9KB"}};
    const int longestDelay = rate >= 32000 ? 2926 : 1774;
    for (const std::vector<std::string>& rule : rules) {
        SCOPED_TRACE(rule[0]);
        const std::string out = dir / ("out" + rule[0]);
        std::vector<std::string> args = {"cut", "--no-tag", "-d", out};
        args.insert(args.end(), rule.begin(), rule.end());
        args.push_back(path);
        const test::ProcessResult r = test::RunCli(args);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const std::vector<std::string> pieces = test::Lines(r.out);
        ASSERT_GE(pieces.size(), 2u);
        std::string joined;
        std::string joinedMpg123;
        std::vector<size_t> lengths;
        for (const std::string& piece : pieces) {
            const std::string pcm = FfmpegDecode(piece);
            lengths.push_back(SampleCount(pcm, channels));
            joined += pcm;
            joinedMpg123 += Mpg123Decode(piece);
            EXPECT_TRUE(test::DecodeWithMpg123(piece).ok) << piece;
            // (A piece starting at 0.3 s copies the frames from the source's start.)
            const test::ProcessResult info = test::RunCli({"info", "--json", piece});
            const size_t at = info.out.find("\"encoder_delay\": ");
            ASSERT_NE(at, std::string::npos) << info.out;
            if (rule[0] != "--points") {
                EXPECT_LE(std::stoi(info.out.substr(at + 17)), longestDelay) << piece;
            }
        }
        EXPECT_TRUE(joined == whole) << "ffmpeg: the pieces differ from the source";
        if (source.mpg123Exact) {
            EXPECT_TRUE(joinedMpg123 == wholeMpg123) << "mpg123: the pieces differ from the source";
        }
        EXPECT_EQ(joinedMpg123.size(), wholeMpg123.size());
        if (rule[0] == "--points") {
            auto at = [rate](size_t tenths) { return tenths * static_cast<size_t>(rate) / 10; };
            EXPECT_EQ(std::vector<size_t>(lengths.begin(), lengths.end() - 1),
                      (std::vector<size_t>{at(3), at(17) - at(3), at(18) - at(17), at(55) - at(18)}));
        }
    }
}

// Pieces of one cut joined in order by frame copy: each piece's lead-in repeats the frames
// before it, and the join writes them once, so the target's frames are the source's. Pieces 1
// and 3 joined: the frames around their seam are encoded again, so nothing decodes from the
// wrong reservoir bytes (a click) or from half a transform (a burst).
TEST(GaplessPiecesJoined, ACutJoinedBackHasTheSourceFramesByteForByte) {
    test::TempDir dir;
    for (const bool vbr : {false, true}) {
        SCOPED_TRACE(vbr ? "VBR" : "CBR");
        const Bytes source = test::EncodeMp3(Options(44100, 2, 128, vbr));
        const std::string path = dir / "song.mp3";
        test::WriteFile(path, source);
        const std::string out = dir / (vbr ? "vbr" : "cbr");
        const test::ProcessResult cut = test::RunCli({"cut", "--count", "4", "--no-tag", "-d", out, path});
        ASSERT_EQ(cut.exitCode, 0) << cut.err;
        const std::vector<std::string> pieces = test::Lines(cut.out);
        std::vector<std::string> args = {"join", "--no-chapters", "-o", out + "/joined.mp3"};
        args.insert(args.end(), pieces.begin(), pieces.end());
        ASSERT_EQ(test::RunCli(args).exitCode, 0);
        const Bytes joined = test::ReadFile(out + "/joined.mp3");
        const size_t sourceAudio = test::FrameOffsets(source, 0)[1];
        const size_t joinedAudio = test::FrameOffsets(joined, 0)[1];
        EXPECT_TRUE(Bytes(joined.begin() + static_cast<long>(joinedAudio), joined.end()) ==
                    Bytes(source.begin() + static_cast<long>(sourceAudio), source.end()));
        // Its header frame is the source's: counts, delays, music length and music CRC (the
        // seek table may round an entry the other way, and the tag's CRC follows it).
        Bytes header(joined.begin(), joined.begin() + static_cast<long>(joinedAudio));
        ASSERT_EQ(header.size(), sourceAudio);
        const std::string text(header.begin(), header.end());
        const size_t table = std::min(text.find("Xing"), text.find("Info")) + 16;
        ASSERT_LT(table + 140, header.size());
        std::copy(source.begin() + static_cast<long>(table), source.begin() + static_cast<long>(table) + 100,
                  header.begin() + static_cast<long>(table));
        const size_t tagCrc = table + 100 + 4 + 34;
        std::copy(source.begin() + static_cast<long>(tagCrc), source.begin() + static_cast<long>(tagCrc) + 2,
                  header.begin() + static_cast<long>(tagCrc));
        EXPECT_TRUE(header == Bytes(source.begin(), source.begin() + static_cast<long>(sourceAudio)));
        EXPECT_TRUE(FfmpegDecode(out + "/joined.mp3") == FfmpegDecode(path));

        ASSERT_EQ(test::RunCli({"join", "-o", out + "/1and3.mp3", pieces[0], pieces[2]}).exitCode, 0);
        EXPECT_TRUE(test::DecodeWithMpg123(out + "/1and3.mp3").ok);
        auto loudest = [](const std::string& pcm) {
            int most = 0;
            for (size_t i = 0; i + 1 < pcm.size(); i += 2) {
                most = std::max(most, std::abs(static_cast<int16_t>((uint8_t(pcm[i + 1]) << 8) | uint8_t(pcm[i]))));
            }
            return most;
        };
        // The frames around the seam are encoded again: nothing rings louder than the source.
        EXPECT_LE(loudest(FfmpegDecode(out + "/1and3.mp3")), loudest(FfmpegDecode(path)));
    }
}

// A re-encoded piece of a duration lasts it in a gapless decoder: LAME's own tag trims its
// delay and padding, and the piece holds exactly the samples of its range.
TEST(GaplessPiecesReencoded, APieceBetweenTwoPointsLastsTheirDistance) {
    test::TempDir dir;
    const std::string path = dir / "song.mp3";
    test::WriteFile(path, test::EncodeMp3(Options(44100, 2, 128, false)));
    const test::ProcessResult r =
        test::RunCli({"cut", "--points", "2,4", "--reencode", "--no-tag", "-d", dir / "out", path});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    // The first leaves out the source's encoder delay, as a gapless decoder does.
    EXPECT_EQ(SampleCount(FfmpegDecode(test::Lines(r.out).at(0)), 2), 2u * 44100);
    EXPECT_EQ(SampleCount(FfmpegDecode(test::Lines(r.out).at(1)), 2), 2u * 44100);
}

INSTANTIATE_TEST_SUITE_P(
    Encodings, GaplessPieces,
    ::testing::Values(Source{"cbr128", Options(44100, 2, 128, false), true},
                      Source{"vbr", Options(44100, 2, 0, true), true},
                      Source{"cbr96_32k", Options(32000, 2, 96, false), true},
                      Source{"mpeg2_mono", Options(22050, 1, 64, false), false},
                      Source{"mpeg25_mono", Options(11025, 1, 32, false), false},
                      Source{"no_header_frame", Options(44100, 2, 128, false, false), true},
                      Source{"ffmpeg", Options(44100, 2, 160, false), true, true}),
    [](const ::testing::TestParamInfo<Source>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace corvane
