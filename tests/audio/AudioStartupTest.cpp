// Tests of the one start-up of the audio library that every front end makes.
#include "audio/AudioStartup.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "support/Mp3Factory.h"

namespace corvane::audio {
namespace {

std::vector<std::pair<uint32_t, uint32_t>> g_calls;

bool RecordSetConfig(uint32_t option, uint32_t value) {
    g_calls.emplace_back(option, value);
    return true;
}

TEST(AudioStartup, SetsTheSearchWindowOfTheDesktopProgram) {
    EXPECT_TRUE(ConfigureAudioLibrary(&RecordSetConfig));
    EXPECT_EQ(g_calls, (std::vector<std::pair<uint32_t, uint32_t>>{{kConfigVerify, 100000}}));
}

TEST(AudioStartup, AFrameFarAfterTheTagIsFoundOnlyAfterIt) {
    test::TempDir dir;
    test::EncodeOptions o;
    o.seconds = 1;
    const std::string path = dir / "gap.mp3";
    test::WriteFile(path, test::Concat({test::MakeId3v2Tag(3, {{"TIT2", "Gap"}}), test::Bytes(50000, 0), test::EncodeMp3(o)}));
    EXPECT_EQ(StreamCreateFile(path, 0, 0, kStreamDecode), 0u);  // the library's own 16000 bytes
    ASSERT_TRUE(ConfigureAudioLibrary());
    const Handle stream = StreamCreateFile(path, 0, 0, kStreamDecode);
    EXPECT_NE(stream, 0u);
    StreamFree(stream);
}

}  // namespace
}  // namespace corvane::audio
