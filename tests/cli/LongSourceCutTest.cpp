// End-to-end test of `corvane-cli batch-cut` on a source of fourteen hours: more samples
// than 32 bits count, made in the test from one LAME-encoded minute repeated.
#include <gtest/gtest.h>

#include <fstream>

#include "support/CliRunner.h"

namespace corvane {
namespace {

using test::Bytes;

constexpr int kMinutes = 14 * 60;
constexpr int kRate = 44100;
constexpr int kSamplesPerFrame = 1152;

// True when the file at path holds exactly the bytes of source from offset on.
bool HoldsTheRestFrom(const std::string& path, const std::string& source, uint64_t offset) {
    std::ifstream a(path, std::ios::binary);
    std::ifstream b(source, std::ios::binary);
    b.seekg(static_cast<std::streamoff>(offset));
    std::vector<char> x(1 << 20), y(1 << 20);
    for (;;) {
        a.read(x.data(), static_cast<std::streamsize>(x.size()));
        b.read(y.data(), static_cast<std::streamsize>(y.size()));
        if (a.gcount() != b.gcount() || !std::equal(x.begin(), x.begin() + a.gcount(), y.begin())) return false;
        if (a.gcount() == 0) return true;
    }
}

// 32 kbps mono keeps the file near 200 MB; twice its length in tenths is samples past 32 bits.
TEST(LongSourceCut, ARangeFromThirtySecondsOfFourteenHoursGivesTheRest) {
    test::TempDir dir;
    test::EncodeOptions o;
    o.sampleRate = kRate;
    o.channels = 1;
    o.mode = test::Mode::Mono;
    o.kbps = 32;
    o.seconds = 60;
    const Bytes minute = test::EncodeMp3(o);
    const std::vector<size_t> offsets = test::FrameOffsets(minute, 0);
    const std::string path = dir / "long.mp3";
    {
        std::ofstream out(path, std::ios::binary);
        for (int i = 0; i < kMinutes; ++i) out.write(reinterpret_cast<const char*>(minute.data()), minute.size());
    }
    const int64_t frames = static_cast<int64_t>(offsets.size()) * kMinutes;

    const test::ProcessResult r = test::RunCli({"batch-cut", "--range", "30", "--no-tag", "-d", dir / "out", path});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    ASSERT_EQ(test::Lines(r.out), std::vector<std::string>{dir / "out/long-1.mp3"});
    // 30 s are 1148.4 frames: the piece starts at frame 1149, within one frame of 30 s.
    const size_t first = (30 * kRate + kSamplesPerFrame - 1) / kSamplesPerFrame;
    EXPECT_TRUE(HoldsTheRestFrom(dir / "out/long-1.mp3", path, offsets[first]));
    EXPECT_NEAR(static_cast<double>((frames - static_cast<int64_t>(first)) * kSamplesPerFrame),
                static_cast<double>(frames * kSamplesPerFrame - 30 * kRate), kSamplesPerFrame);
    const test::ProcessResult decoded = test::RunProcess({"mpg123", "-t", "-q", dir / "out/long-1.mp3"});
    EXPECT_EQ(decoded.exitCode, 0);
    EXPECT_EQ(decoded.err, "");
}

}  // namespace
}  // namespace corvane
