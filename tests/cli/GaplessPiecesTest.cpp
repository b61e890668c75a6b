// Frame-copied pieces played by gapless decoders: each piece's LAME tag trims exactly its
// share, so the pieces decoded one after another are the source's decode, sample for sample.
#include <gtest/gtest.h>

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

struct Source {
    const char* name;
    test::EncodeOptions options;
    bool mpg123Exact;  // mpg123 rounds a few MPEG-2 mono samples of a piece otherwise than of the whole
};

test::EncodeOptions Options(int rate, int channels, int kbps, bool vbr) {
    test::EncodeOptions o;
    o.sampleRate = rate;
    o.channels = channels;
    o.mode = channels == 1 ? test::Mode::Mono : test::Mode::JointStereo;
    o.kbps = kbps;
    o.vbr = vbr;
    o.vbrQuality = 2;
    o.infoFrame = true;
    o.seconds = 7.3;
    return o;
}

class GaplessPieces : public ::testing::TestWithParam<Source> {
protected:
    test::TempDir dir;
};

TEST_P(GaplessPieces, EveryRulePlaysBackAsTheSource) {
    const Source& source = GetParam();
    const std::string path = dir / (std::string(source.name) + ".mp3");
    test::WriteFile(path, test::EncodeMp3(source.options));
    const std::string whole = FfmpegDecode(path);
    const std::string wholeMpg123 = Mpg123Decode(path);
    ASSERT_FALSE(whole.empty());
    const std::vector<std::vector<std::string>> rules = {
        {"--count", "3"}, {"--time", "0:02"}, {"--points", "0.3,1.7,1.8,5.5"}, {"--size", "9KB"}};
    for (const std::vector<std::string>& rule : rules) {
        SCOPED_TRACE(rule[0]);
        const std::string out = dir / ("out" + rule[0]);
        std::vector<std::string> args = {"cut", "--no-tag", "-d", out};
        args.insert(args.end(), rule.begin(), rule.end());
        args.push_back(path);
        const test::ProcessResult r = test::RunCli(args);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        std::string joined;
        std::string joinedMpg123;
        for (const std::string& piece : test::Lines(r.out)) {
            joined += FfmpegDecode(piece);
            joinedMpg123 += Mpg123Decode(piece);
            EXPECT_TRUE(test::DecodeWithMpg123(piece).ok) << piece;
        }
        ASSERT_GE(test::Lines(r.out).size(), 2u);
        EXPECT_EQ(joined.size(), whole.size());
        EXPECT_TRUE(joined == whole) << "ffmpeg: the pieces differ from the source";
        if (source.mpg123Exact) {
            EXPECT_TRUE(joinedMpg123 == wholeMpg123) << "mpg123: the pieces differ from the source";
        }
        EXPECT_EQ(joinedMpg123.size(), wholeMpg123.size());
    }
}

// Pieces of one cut joined in order by frame copy: each piece's lead-in repeats the frames
// before it, and the join writes them once, so the target's frames are the source's.
TEST(GaplessPiecesJoined, ACutJoinedBackHasTheSourceFramesByteForByte) {
    test::TempDir dir;
    test::EncodeOptions o = Options(44100, 2, 128, false);
    const Bytes source = test::EncodeMp3(o);
    const std::string path = dir / "song.mp3";
    test::WriteFile(path, source);
    const test::ProcessResult cut = test::RunCli({"cut", "--count", "4", "--no-tag", "-d", dir / "out", path});
    ASSERT_EQ(cut.exitCode, 0) << cut.err;
    std::vector<std::string> args = {"join", "-o", dir / "joined.mp3"};
    for (const std::string& piece : test::Lines(cut.out)) args.push_back(piece);
    const test::ProcessResult joined = test::RunCli(args);
    ASSERT_EQ(joined.exitCode, 0) << joined.err;
    const size_t infoFrame = test::FrameOffsets(source, 0)[1];
    EXPECT_TRUE(test::ReadFile(dir / "joined.mp3") == Bytes(source.begin() + static_cast<long>(infoFrame), source.end()));
}

INSTANTIATE_TEST_SUITE_P(
    Encodings, GaplessPieces,
    ::testing::Values(Source{"cbr128", Options(44100, 2, 128, false), true},
                      Source{"vbr", Options(44100, 2, 0, true), true},
                      Source{"cbr96_32k", Options(32000, 2, 96, false), true},
                      Source{"mpeg2_mono", Options(22050, 1, 64, false), false},
                      Source{"mpeg25_mono", Options(11025, 1, 32, false), false}),
    [](const ::testing::TestParamInfo<Source>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace corvane
