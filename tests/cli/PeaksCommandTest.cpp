// End-to-end tests of `corvane-cli peaks`: the columns as text and JSON, the cache, errors.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
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
    EXPECT_EQ(r.out.back(), '\n');
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
