// End-to-end tests of re-encoded cuts through `corvane-cli`: parameters as mpg123 reads them,
// tags, fades, rejected parameters and usage errors.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "audio/MpegFrameHeader.h"
#include "engine/output/PieceNaming.h"
#include "support/CliRunner.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;
using test::Bytes;

std::string StreamLine(const std::string& path) {
    const test::ProcessResult r = test::RunProcess({"mpg123", "-t", "-v", "-n", "1", path});
    size_t at = r.err.find("\nMPEG ");
    if (at == std::string::npos) return "";
    ++at;
    return r.err.substr(at, r.err.find('\n', at) - at);
}

std::vector<std::string> FilesIn(const fs::path& dir) {
    std::vector<std::string> names;
    if (!fs::exists(dir)) return names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

Bytes TagOf(const std::string& path) {
    const Bytes file = test::ReadFile(path);
    return Bytes(file.begin(), file.begin() + static_cast<long>(Id3v2TagSize(file.data(), file.size())));
}

class CutReencode : public ::testing::Test {
protected:
    std::string Source(int kbps, double seconds) {
        test::EncodeOptions o;
        o.kbps = kbps;
        o.seconds = seconds;
        const Bytes tag = test::MakeId3v2Tag(3, {{"TIT2", "Song"}, {"TPE1", "Band"}, {"TRCK", "4"}});
        const std::string path = dir / "song.mp3";
        test::WriteFile(path, test::Concat({tag, test::EncodeMp3(o)}));
        return path;
    }

    test::TempDir dir;
};

TEST_F(CutReencode, ReencodeWithoutParametersKeepsTheSourceParameters) {
    const std::string source = Source(192, 6);
    const test::ProcessResult r = test::RunCli({"cut", "--count", "2", "--reencode", "-d", dir / "out", source});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(test::Lines(r.out), (std::vector<std::string>{dir / "out/song-1.mp3", dir / "out/song-2.mp3"}));
    EXPECT_EQ(StreamLine(dir / "out/song-1.mp3"), "MPEG 1.0 L III cbr192 44100 j-s");
    EXPECT_EQ(StreamLine(dir / "out/song-2.mp3"), "MPEG 1.0 L III cbr192 44100 j-s");
}

TEST_F(CutReencode, ChosenParametersGiveMonoPiecesTaggedAsInFrameCopy) {
    const std::string source = Source(128, 6);
    ASSERT_EQ(test::RunCli({"cut", "--count", "3", "-d", dir / "copy", source}).exitCode, 0);
    const test::ProcessResult r = test::RunCli({"cut", "--count", "3", "--rate", "22050", "--bitrate", "64",
                                                "--mode", "mono", "-d", dir / "re", source});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    for (const char* name : {"song-1.mp3", "song-2.mp3", "song-3.mp3"}) {
        SCOPED_TRACE(name);
        const std::string piece = (dir.path() / "re" / name).string();
        EXPECT_EQ(StreamLine(piece), "MPEG 2.0 L III cbr64 22050 mono");
        const Bytes tag = TagOf(piece);
        EXPECT_FALSE(tag.empty());
        // The same fields; the frame-copied piece's tag leaves out LAME's encoder frame.
        EXPECT_EQ(WithoutEncoderFrame(tag), TagOf((dir.path() / "copy" / name).string()));
        const Bytes file = test::ReadFile(piece);
        const uint8_t* first = file.data() + tag.size();
        ASSERT_TRUE(IsFrameHeader(first));
        // LAME's Info frame comes first, with the delay and padding of the encoding.
        EXPECT_TRUE(IsXingFrame(first, static_cast<size_t>(DecodeFrameHeader(first).frameLength),
                                DecodeFrameHeader(first)));
    }
}

TEST_F(CutReencode, FadeInMakesEveryPieceStartSilent) {
    const std::string source = Source(128, 8);
    const test::ProcessResult r = test::RunCli({"cut", "--count", "2", "--fade-in", "2.0", "-d", dir / "out", source});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    for (const char* name : {"song-1.mp3", "song-2.mp3"}) {
        SCOPED_TRACE(name);
        const test::DecodeResult d = test::DecodeWithMpg123((dir.path() / "out" / name).string());
        ASSERT_TRUE(d.ok);
        double head = 0, body = 0;
        for (int i = 0; i < 1152; ++i) head += std::pow(d.pcm[2 * i], 2);
        for (int i = 100000; i < 110000; ++i) body += std::pow(d.pcm[2 * i], 2);
        EXPECT_LT(std::sqrt(head / 1152), 0.01 * std::sqrt(body / 10000));
    }
}

TEST_F(CutReencode, JobsChangeNothingButTheTime) {
    const std::string source = Source(128, 9);
    std::string out[2];
    for (const int jobs : {1, 3}) {
        const std::string folder = dir / ("out" + std::to_string(jobs));
        const test::ProcessResult p = test::RunCli({"cut", "--count", "4", "--reencode", "--fade-in", "0.5",
                                                    "--forward-overlap", "1", "-d", folder, "--jobs",
                                                    std::to_string(jobs), source});
        ASSERT_EQ(p.exitCode, 0) << p.err;
        EXPECT_EQ(test::Lines(p.out).size(), 4u);
        out[jobs > 1] = folder;
    }
    EXPECT_EQ(FilesIn(out[1]), FilesIn(out[0]));
    for (const std::string& name : FilesIn(out[0])) {
        EXPECT_EQ(test::ReadFile(out[1] + "/" + name), test::ReadFile(out[0] + "/" + name)) << name;
    }
}

TEST_F(CutReencode, BatchOnSeveralJobsPrintsThePiecesInListOrder) {
    const std::string first = Source(128, 7);
    const std::string second = dir / "other.mp3";
    fs::copy_file(first, second);
    const test::ProcessResult p = test::RunCli({"batch-cut", "--time", "3", "--reencode", "--name", "%S%-%F%.mp3",
                                                "-d", dir / "out", "--jobs", "2", first, second});
    ASSERT_EQ(p.exitCode, 0) << p.err;
    const std::string out = dir / "out/";
    EXPECT_EQ(test::Lines(p.out), (std::vector<std::string>{out + "1-song.mp3", out + "2-song.mp3", out + "3-song.mp3",
                                                          out + "4-other.mp3", out + "5-other.mp3", out + "6-other.mp3"}));
}

// ---- Failures ----

TEST_F(CutReencode, BitrateImpossibleAtTheRateFailsWithNoPieceLeft) {
    const std::string source = Source(128, 4);
    const test::ProcessResult r = test::RunCli({"cut", "--count", "2", "--rate", "8000", "--bitrate", "320",
                                                "--mode", "joint", "-d", dir / "out", source});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("Bad encoding parameter: 8000Hz, 320kbps, 1"), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty());
    EXPECT_TRUE(FilesIn(dir / "out").empty());
}

TEST_F(CutReencode, JobsAreAWholeNumberFromOne) {
    const std::string source = Source(128, 2);
    for (const char* jobs : {"0", "x", "257"}) {
        const test::ProcessResult r = test::RunCli({"cut", "--count", "2", "--reencode", "--jobs", jobs, source});
        EXPECT_EQ(r.exitCode, 2) << jobs;
        EXPECT_NE(r.err.find(std::string("invalid value for --jobs: ") + jobs), std::string::npos) << r.err;
    }
    EXPECT_EQ(FilesIn(dir.path()), (std::vector<std::string>{"song.mp3"}));
}

TEST_F(CutReencode, EncodingValuesGoTogether) {
    const std::string source = Source(128, 2);
    const test::ProcessResult r = test::RunCli({"cut", "--count", "2", "--rate", "22050", source});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(FilesIn(dir.path()), (std::vector<std::string>{"song.mp3"}));
}

}  // namespace
}  // namespace corvane
