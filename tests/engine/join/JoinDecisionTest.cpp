// Tests of the join decisions: Auto's alike test, the derived parameters and the start values.
#include "engine/join/JoinDecision.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

// The facts of a constant-bit-rate Layer III file, unless said otherwise.
JoinInputFacts Facts(int rate, int kbps, int mode, bool variable = false, int layer = kLayer3) {
    JoinInputFacts f;
    f.sampleRate = rate;
    f.bitrate = kbps;
    f.channelMode = mode;
    f.variableBitrate = variable;
    f.layer = layer;
    f.factsRead = true;
    return f;
}

constexpr int kJoint = kChannelModeJointStereo;
constexpr int kStereo = kChannelModeStereo;
constexpr int kDual = kChannelModeDualChannel;
constexpr int kMono = kChannelModeMono;

TEST(JoinDecision, AutoReencodesWithTheLargestValuesAndTheModeWalk) {
    JoinWay way = ChooseJoinWay({}, {Facts(44100, 128, kJoint), Facts(48000, 160, kJoint), Facts(44100, 192, kJoint)});
    EXPECT_FALSE(way.byFrames);
    EXPECT_EQ(way.params, (EncodingParams{48000, 192, kJoint}));

    way = ChooseJoinWay({}, {Facts(22050, 32, kMono), Facts(44100, 112, kStereo)});
    EXPECT_EQ(way.params, (EncodingParams{44100, 112, kStereo}));

    // Joint stereo wins over stereo wherever it stands; dual channel and mono change nothing.
    way = ChooseJoinWay({}, {Facts(32000, 64, kJoint), Facts(16000, 64, kStereo)});
    EXPECT_EQ(way.params.channelMode, kJoint);
    way = ChooseJoinWay({}, {Facts(32000, 64, kDual), Facts(22050, 64, kDual)});
    EXPECT_EQ(way.params.channelMode, kMono);
}

TEST(JoinDecision, AutoCopiesLayer3FilesOfOneSampleRateAndChannelCount) {
    // Bit rates, a variable bit rate and the kind of two channels make no difference.
    const JoinInputFacts cbr = Facts(44100, 128, kJoint);
    EXPECT_TRUE(ChooseJoinWay({}, {cbr, Facts(44100, 192, kStereo, true), Facts(44100, 320, kDual)}).byFrames);
    EXPECT_TRUE(ChooseJoinWay({}, {Facts(22050, 32, kMono), Facts(22050, 64, kMono, true)}).byFrames);
    // Another sample rate, one channel among two, Layer II, or a file that is no MPEG audio at
    // all: re-encoded.
    for (const JoinInputFacts& odd : {Facts(32000, 128, kJoint), Facts(44100, 128, kMono),
                                      Facts(44100, 128, kJoint, false, 2),
                                      Facts(44100, 128, kJoint, false, kNotMpegAudio)}) {
        const JoinWay way = ChooseJoinWay({}, {cbr, odd, cbr});
        EXPECT_FALSE(way.byFrames) << odd.sampleRate << ' ' << odd.channelMode << ' ' << odd.layer;
        EXPECT_EQ(way.params, (EncodingParams{44100, 128, kJoint}));
    }
}

TEST(JoinDecision, DerivedParametersAreAlwaysEncodable) {
    // 144 kbps exists only below 32000 Hz: at 44100 Hz the tie goes down to 128.
    EXPECT_EQ(ChooseJoinWay({}, {Facts(44100, 128, kJoint), Facts(22050, 144, kJoint)}).params,
              (EncodingParams{44100, 128, kJoint}));
    // A 22050 Hz WAV file (705 kbps of PCM) with a 22050 Hz MP3 file: the most 22050 Hz allows.
    EXPECT_EQ(ChooseJoinWay({}, {Facts(22050, 705, kStereo, false, kNotMpegAudio), Facts(22050, 64, kJoint)}).params,
              (EncodingParams{22050, 160, kJoint}));
    // A rate that is no MPEG rate, and MPEG 2.5's ceiling of 64 kbps.
    EXPECT_EQ(ChooseJoinWay({}, {Facts(96000, 3072, kStereo, false, kNotMpegAudio)}).params,
              (EncodingParams{48000, 320, kStereo}));
    EXPECT_EQ(ChooseJoinWay({}, {Facts(8000, 128, kMono, false, kNotMpegAudio), Facts(8000, 16, kMono)}).params,
              (EncodingParams{8000, 64, kMono}));
}

TEST(JoinDecision, BatchStartsTheWalkFromTheMainFile) {
    // The main file's mode is where the walk starts: stereo joined files only turn mono to stereo.
    JoinWay way = ChooseBatchJoinWay({}, Facts(22050, 64, kDual), {Facts(44100, 96, kStereo)});
    EXPECT_EQ(way.params, (EncodingParams{44100, 96, kDual}));
    way = ChooseBatchJoinWay({}, Facts(48000, 192, kMono), {Facts(44100, 96, kStereo)});
    EXPECT_EQ(way.params, (EncodingParams{48000, 192, kStereo}));
    way = ChooseBatchJoinWay({}, Facts(44100, 128, kJoint),
                             {Facts(44100, 192, kStereo, true), Facts(44100, 64, kJoint)});
    EXPECT_TRUE(way.byFrames);
    way = ChooseBatchJoinWay({}, Facts(44100, 128, kMono), {Facts(44100, 128, kJoint)});
    EXPECT_FALSE(way.byFrames);
    EXPECT_EQ(way.params, (EncodingParams{44100, 128, kJoint}));
    way = ChooseBatchJoinWay({}, Facts(22050, 144, kJoint), {Facts(44100, 112, kJoint)});
    EXPECT_EQ(way.params, (EncodingParams{44100, 128, kJoint}));
}

}  // namespace
}  // namespace corvane
