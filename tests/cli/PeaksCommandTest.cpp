// End-to-end tests of `corvane-cli peaks`: the columns as text and JSON, the cache, stretches,
// errors.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "support/CliRunner.h"

namespace corvane {
namespace {

constexpr int kRate = 44100;

class PeaksCommand : public ::testing::Test {
protected:
    void SetUp() override {
        cache_ = dir / "cache";
        setenv("XDG_CACHE_HOME", cache_.c_str(), 1);
        // Two seconds of silence, then two of a 441 Hz sine at half of full scale.
        std::vector<int16_t> pcm(static_cast<size_t>(2 * kRate) * 2, 0);
        for (int i = 0; i < 2 * kRate; ++i) {
            const auto s = static_cast<int16_t>(std::lround(16384 * std::sin(2 * M_PI * 441.0 * i / kRate)));
            pcm.push_back(s);
            pcm.push_back(s);
        }
        test::EncodeOptions o;
        o.kbps = 320;
        source_ = dir / "rise.mp3";
        test::WriteFile(source_, test::EncodePcm(o, pcm));
    }
    void TearDown() override { unsetenv("XDG_CACHE_HOME"); }

    test::TempDir dir;
    std::string cache_;
    std::string source_;
};

TEST_F(PeaksCommand, PrintsTheLowestAndHighestSampleOfEachColumn) {
    const test::ProcessResult r = test::RunCli({"peaks", "--columns", "8", source_});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const std::vector<std::string> lines = test::Lines(r.out);
    ASSERT_EQ(lines.size(), 8u);
    // Columns of half a second: the first three are silent, the sixth and seventh in the tone.
    for (int c = 0; c < 3; ++c) EXPECT_EQ(lines[c], "0.00000 0.00000") << c;
    for (int c = 5; c < 7; ++c) {
        double low = 0;
        double high = 0;
        ASSERT_EQ(std::sscanf(lines[c].c_str(), "%lf %lf", &low, &high), 2) << lines[c];
        EXPECT_NEAR(low, -0.5, 0.005) << c;
        EXPECT_NEAR(high, 0.5, 0.005) << c;
    }

    // The decode went into the cache; the next run reads it and prints the same.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(cache_ + "/Corvane/peaks"),
                            std::filesystem::directory_iterator()),
              1);
    EXPECT_EQ(test::RunCli({"peaks", "--columns", "8", source_}).out, r.out);
}

TEST_F(PeaksCommand, JsonHoldsTheFactsAndThePairs) {
    const test::ProcessResult r = test::RunCli({"peaks", "--json", "--columns=3", source_});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(test::JsonValue(r.out, "ok"), "true");
    EXPECT_EQ(test::JsonValue(r.out, "sample_rate"), "44100");
    EXPECT_EQ(test::JsonValue(r.out, "channels"), "2");
    EXPECT_EQ(test::JsonValue(r.out, "columns"), "3");
    // Whole MPEG frames of 1152 samples, the encoder's delay and padding included.
    const uint64_t frames = std::stoull(test::JsonValue(r.out, "frames"));
    EXPECT_EQ(frames % 1152, 0u);
    EXPECT_EQ(test::JsonValue(r.out, "length_ms"), std::to_string(frames * 1000 / kRate));
    EXPECT_NE(r.out.find("\"peaks\": [[0.00000, 0.00000], [-0.5"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("from_ms"), std::string::npos);
    EXPECT_EQ(r.out.back(), '\n');
}

TEST_F(PeaksCommand, AStretchIsCheckedAgainstTheFileAndPrintedLikeTheWholeFile) {
    // Columns of half a second from 1 s: two in the silence, the last in the tone.
    test::ProcessResult r = test::RunCli({"peaks", "--from", "1", "--to", "0:03.0", "--columns", "4", source_});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::vector<std::string> lines = test::Lines(r.out);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "0.00000 0.00000");
    EXPECT_EQ(lines[1], "0.00000 0.00000");
    EXPECT_NE(lines[2], "0.00000 0.00000");
    EXPECT_EQ(lines[3].substr(0, 4), "-0.5");
    r = test::RunCli({"peaks", "--json", "--to", "3", "--columns", "4", source_});
    EXPECT_EQ(test::JsonValue(r.out, "from_ms"), "0");
    EXPECT_EQ(test::JsonValue(r.out, "to_ms"), "3000");
    EXPECT_EQ(test::JsonValue(r.out, "columns"), "4");
    // A stretch decodes only itself: nothing goes into the cache.
    EXPECT_FALSE(std::filesystem::exists(cache_));

    const uint64_t frames = std::stoull(test::JsonValue(r.out, "frames"));
    const std::string length = "0:0" + std::to_string(frames / kRate) + "." + std::to_string(frames * 10 / kRate % 10);
    const auto usage = [&](std::vector<std::string> args, const std::string& message) {
        args.insert(args.begin(), "peaks");
        args.push_back(source_);
        const test::ProcessResult u = test::RunCli(args);
        EXPECT_EQ(u.exitCode, 2);
        EXPECT_EQ(test::Lines(u.err).at(0), "corvane-cli: " + message);
        EXPECT_EQ(u.out, "");
    };
    usage({"--from", "3", "--to", "2.5"}, "--from 3 must come before --to 2.5");
    usage({"--from", "1:00"}, "--from 1:00 is at or past the end of the file (" + length + ")");
    usage({"--from", "1", "--to", "5"}, "--to 5 is past the end of the file (" + length + ")");
    usage({"--to", "0"}, "--to must come after the start of the file");
    usage({"--from", "1.25"}, "invalid value for --from: 1.25");
}

// The acceptance of the zoomed waveform: half a second of digital silence at 5:00.0 of the
// timeline a gapless decoder plays (after the LAME tag's delay), seen in 10 ms columns.
TEST_F(PeaksCommand, TheColumnsInsideASilenceAtFiveMinutesAreBelowMinusSixtyDecibels) {
    constexpr int kSilenceStart = 300 * kRate;
    constexpr int kSilenceEnd = kSilenceStart + kRate / 2;
    std::vector<int16_t> pcm(302 * kRate);
    // A tone at -20 dBFS: at 128 kbps its coding noise stays far below -60 dBFS beside it.
    for (int i = 0; i < static_cast<int>(pcm.size()); ++i) {
        if (i < kSilenceStart || i >= kSilenceEnd)
            pcm[i] = static_cast<int16_t>(std::lround(3277 * std::sin(2 * M_PI * 441.0 * i / kRate)));
    }
    test::EncodeOptions o;
    o.channels = 1;
    o.mode = test::Mode::Mono;
    o.infoFrame = true;
    const std::string path = dir / "gap.mp3";
    test::WriteFile(path, test::EncodePcm(o, pcm));

    const test::ProcessResult r =
        test::RunCli({"peaks", "--from", "4:59.5", "--to", "5:01", "--columns", "150", "--json", path});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(test::JsonValue(r.out, "from_ms"), "299500");
    EXPECT_EQ(test::JsonValue(r.out, "to_ms"), "301000");
    size_t at = r.out.find("\"peaks\": [[");
    ASSERT_NE(at, std::string::npos);
    at += std::strlen("\"peaks\": ");  // the list's bracket
    const double threshold = std::pow(10.0, -60.0 / 20);
    for (int c = 0; c < 150; ++c) {
        double low = 0;
        double high = 0;
        at = r.out.find('[', at + 1);
        ASSERT_EQ(std::sscanf(r.out.c_str() + at, "[%lf, %lf]", &low, &high), 2) << c;
        // Column c holds frames [299.5 s + 10 ms × c, + 10 ms): the silence is columns 50 to 99.
        const bool silent = c >= 50 && c < 100;
        EXPECT_EQ(std::max(-low, high) < threshold, silent) << c << ": " << low << " " << high;
    }
}

TEST_F(PeaksCommand, UsageErrorsAndFilesThatDoNotDecode) {
    test::ProcessResult r = test::RunCli({"peaks"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(test::Lines(r.err).at(0), "corvane-cli: peaks needs exactly one FILE");
    r = test::RunCli({"peaks", "--columns", "0", source_});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(test::Lines(r.err).at(0), "corvane-cli: invalid value for --columns: 0");
    r = test::RunCli({"peaks", "--zoom", source_});
    EXPECT_EQ(r.exitCode, 2);

    const std::string text = dir / "notes.mp3";
    test::WriteFile(text, test::Bytes(4000, 'x'));
    r = test::RunCli({"peaks", text});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "Failed to load file \"" + text + "\".\n");
    r = test::RunCli({"peaks", "--json", text});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "{\"path\": \"" + text + "\", \"ok\": false, \"error\": \"Failed to load file \\\"" + text +
                         "\\\".\"}\n");
}

}  // namespace
}  // namespace corvane
