// Tests of the encoding value lists, the presets and bit-rate snapping.
#include "audio/EncodingParams.h"

#include <gtest/gtest.h>


namespace corvane {
namespace {

TEST(EncodingParams, NearestStandardBitrateTakesTheNearestEntry) {
    EXPECT_EQ(NearestStandardBitrate(100), 96);
    EXPECT_EQ(NearestStandardBitrate(105), 112);
    EXPECT_EQ(NearestStandardBitrate(130), 128);
    EXPECT_EQ(NearestStandardBitrate(177), 192);
    EXPECT_EQ(NearestStandardBitrate(9), 8);
    EXPECT_EQ(NearestStandardBitrate(300), 320);
}

TEST(EncodingParams, NearestStandardBitrateBreaksTiesDownward) {
    EXPECT_EQ(NearestStandardBitrate(104), 96);
    EXPECT_EQ(NearestStandardBitrate(12), 8);
    EXPECT_EQ(NearestStandardBitrate(136), 128);
    EXPECT_EQ(NearestStandardBitrate(176), 160);
    EXPECT_EQ(NearestStandardBitrate(288), 256);
}

TEST(EncodingParams, NearestStandardBitrateClampsAtBothEnds) {
    EXPECT_EQ(NearestStandardBitrate(7), 8);
    EXPECT_EQ(NearestStandardBitrate(0), 8);
    EXPECT_EQ(NearestStandardBitrate(-64), 8);
    EXPECT_EQ(NearestStandardBitrate(320), 320);
    EXPECT_EQ(NearestStandardBitrate(330), 320);
    EXPECT_EQ(NearestStandardBitrate(100000), 320);
}

TEST(EncodingParams, NearestStandardBitrateKeepsEveryListedRate) {
    for (int32_t kbps : kBitrates) EXPECT_EQ(NearestStandardBitrate(kbps), kbps);
}

TEST(EncodingParams, TheNearestBitrateASampleRateAllows) {
    EXPECT_EQ(NearestBitrateForSampleRate(44100, 144), 128);  // no MPEG 1 rate; a tie goes down
    EXPECT_EQ(NearestBitrateForSampleRate(48000, 150), 160);
    EXPECT_EQ(NearestBitrateForSampleRate(32000, 8), 32);
    EXPECT_EQ(NearestBitrateForSampleRate(44100, 1411), 320);
    EXPECT_EQ(NearestBitrateForSampleRate(24000, 176), 160);
    EXPECT_EQ(NearestBitrateForSampleRate(22050, 144), 144);
    EXPECT_EQ(NearestBitrateForSampleRate(16000, 9), 8);
    EXPECT_EQ(NearestBitrateForSampleRate(12000, 96), 64);
    EXPECT_EQ(NearestBitrateForSampleRate(8000, 0), 8);
}

TEST(EncodingParams, TheNearestSampleRateOfTheList) {
    EXPECT_EQ(NearestSampleRate(96000), 48000);
    EXPECT_EQ(NearestSampleRate(46050), 44100);  // a tie goes down
    EXPECT_EQ(NearestSampleRate(11000), 11025);
    EXPECT_EQ(NearestSampleRate(1), 8000);
    for (int32_t hz : kSampleRates) EXPECT_EQ(NearestSampleRate(hz), hz);
}

TEST(EncodingParams, ABitRateMovesTheSampleRateIntoItsRange) {
    EXPECT_EQ(SampleRateForBitrate(320, 22050), 32000);
    EXPECT_EQ(SampleRateForBitrate(128, 11025), 16000);
    EXPECT_EQ(SampleRateForBitrate(16, 48000), 24000);
    EXPECT_EQ(SampleRateForBitrate(24, 22050), 22050);
    for (int32_t hz : kSampleRates) EXPECT_EQ(SampleRateForBitrate(48, hz), hz);
}

TEST(EncodingParams, ASampleRateMovesTheBitRateIntoItsRange) {
    EXPECT_EQ(BitrateForSampleRate(8000, 320), 64);
    EXPECT_EQ(BitrateForSampleRate(22050, 320), 160);
    EXPECT_EQ(BitrateForSampleRate(44100, 8), 32);
    EXPECT_EQ(BitrateForSampleRate(24000, 160), 160);
    EXPECT_EQ(BitrateForSampleRate(12000, 64), 64);
}

TEST(EncodingParams, PresetsCarryTheirTextsAndValues) {
    ASSERT_EQ(kEncodingPresets.size(), 4u);
    EXPECT_STREQ(kEncodingPresets[0].text, "11025 Hz, 16 kbps, Mono (low quality, smaller file size)");
    EXPECT_EQ(kEncodingPresets[0].params, (EncodingParams{11025, 16, 3}));
    EXPECT_STREQ(kEncodingPresets[1].text, "22050 Hz, 32 kbps, Joint Stereo (OK quality, small size)");
    EXPECT_EQ(kEncodingPresets[1].params, (EncodingParams{22050, 32, 1}));
    EXPECT_STREQ(kEncodingPresets[2].text, "32000 Hz, 96 kbps, Joint Stereo (medium quality, normal size)");
    EXPECT_EQ(kEncodingPresets[2].params, (EncodingParams{32000, 96, 1}));
    EXPECT_STREQ(kEncodingPresets[3].text, "44100Hz, 128 kbps, Joint Stereo (close to CD-quality, large size)");
    EXPECT_EQ(kEncodingPresets[3].params, (EncodingParams{44100, 128, 1}));
    EXPECT_STREQ(kAutoPresetText, "Auto");
    EXPECT_STREQ(kCustomizePresetText, "Customize");
}

TEST(EncodingParams, FindEncodingPresetMatchesAllThreeValues) {
    EXPECT_EQ(FindEncodingPreset({44100, 128, 1}), 3);
    EXPECT_EQ(FindEncodingPreset({11025, 16, 3}), 0);
    EXPECT_EQ(FindEncodingPreset({44100, 128, 0}), -1);
    EXPECT_EQ(FindEncodingPreset({44100, 160, 1}), -1);
    EXPECT_EQ(FindEncodingPreset({48000, 128, 1}), -1);
}

TEST(EncodingParams, ChannelModesAreOfferedJointStereoFirst) {
    ASSERT_EQ(kChannelModeChoices.size(), 3u);
    EXPECT_EQ(kChannelModeChoices[0].channelMode, 1);
    EXPECT_STREQ(kChannelModeChoices[0].text, "Joint Stereo");
    EXPECT_EQ(kChannelModeChoices[1].channelMode, 0);
    EXPECT_STREQ(kChannelModeChoices[1].text, "Stereo");
    EXPECT_EQ(kChannelModeChoices[2].channelMode, 3);
    EXPECT_STREQ(kChannelModeChoices[2].text, "Mono");
    EXPECT_EQ(ChannelModeChoiceText(2), nullptr);
    EXPECT_EQ(ChannelModeChoiceText(4), nullptr);
}

}  // namespace
}  // namespace corvane
