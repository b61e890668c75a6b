// End-to-end test of `corvane-cli batch-cut` on a source of fourteen hours: more samples
// than 32 bits count, made in the test from one LAME-encoded minute repeated.
#include <gtest/gtest.h>

#include <fstream>

#include "engine/mp3/Mp3Reader.h"
#include "support/CliRunner.h"

namespace corvane {
namespace {

using test::Bytes;

constexpr int kMinutes = 14 * 60;
constexpr int kRate = 44100;
constexpr int kSamplesPerFrame = 1152;

// True when the file at path holds from skip on exactly the bytes of source from offset on.
bool HoldsTheRestFrom(const std::string& path, uint64_t skip, const std::string& source, uint64_t offset) {
    std::ifstream a(path, std::ios::binary);
    std::ifstream b(source, std::ios::binary);
    a.seekg(static_cast<std::streamoff>(skip));
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
    // 30 s fall in frame 1148. The piece is its header frame, a silent frame that carries the
    // bit reservoir, frame 1147 (which frame 1148's decode needs) and the rest of the source;
    // the header's delay drops all before 30 s and its padding nothing after the end.
    const size_t first = 30 * kRate / kSamplesPerFrame - 1;
    const std::string piece = dir / "out/long-1.mp3";
    Bytes head(4096);
    std::ifstream(piece, std::ios::binary).read(reinterpret_cast<char*>(head.data()), 4096);
    const std::vector<size_t> at = test::FrameOffsets(head, 0);
    ASSERT_GE(at.size(), 3u);
    EXPECT_TRUE(HoldsTheRestFrom(piece, at[2], path, offsets[first]));
    int delay = 0, padding = 0;
    ASSERT_TRUE(CMp3Reader::ReadLameDelays(head.data(), static_cast<uint32_t>(at[1]), delay, padding));
    EXPECT_EQ(delay, 30 * kRate - static_cast<int>(first - 1) * kSamplesPerFrame - CMp3Reader::kDecoderDelay);
    EXPECT_EQ(padding, CMp3Reader::kDecoderDelay);
    const uint8_t* info = head.data() + 4 + 17;  // after the header and the mono side info
    EXPECT_EQ(uint32_t(info[8]) << 24 | info[9] << 16 | info[10] << 8 | info[11], frames - first + 1);
    const test::ProcessResult decoded = test::RunProcess({"mpg123", "-t", "-q", piece});
    EXPECT_EQ(decoded.exitCode, 0);
    EXPECT_EQ(decoded.err, "");
}

}  // namespace
}  // namespace corvane
