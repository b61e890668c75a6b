// Tests of the join decisions: Auto's alike test, the derived parameters and the start values.
#include "engine/join/JoinDecision.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

JoinInputFacts Facts(int rate, int kbps, int mode, bool header = false) {
    JoinInputFacts f;
    f.sampleRate = rate;
    f.bitrate = kbps;
    f.channelMode = mode;
    f.hasHeaderFrame = header;
    f.factsRead = true;
    return f;
}

constexpr int kJoint = kChannelModeJointStereo;
constexpr int kStereo = kChannelModeStereo;
constexpr int kDual = kChannelModeDualChannel;
constexpr int kMono = kChannelModeMono;

TEST(JoinDecision, AutoReencodesWithTheLargestValuesAndTheModeWalk) {
    JoinWay way = ChooseJoinWay({}, {Facts(44100, 128, kJoint), Facts(44100, 160, kJoint), Facts(44100, 128, kJoint)});
    EXPECT_FALSE(way.byFrames);
    EXPECT_EQ(way.params, (EncodingParams{44100, 160, kJoint}));

    way = ChooseJoinWay({}, {Facts(22050, 32, kMono), Facts(44100, 112, kStereo)});
    EXPECT_EQ(way.params, (EncodingParams{44100, 112, kStereo}));

    // Joint stereo wins over stereo wherever it stands; dual channel and mono change nothing.
    way = ChooseJoinWay({}, {Facts(32000, 64, kJoint), Facts(32000, 64, kStereo)});
    EXPECT_EQ(way.params.channelMode, kJoint);
    way = ChooseJoinWay({}, {Facts(32000, 64, kDual), Facts(22050, 64, kDual)});
    EXPECT_EQ(way.params.channelMode, kMono);
}

TEST(JoinDecision, AutoReencodesWhenAnInputHasAHeaderFrame) {
    const JoinWay way =
        ChooseJoinWay({}, {Facts(44100, 128, kJoint), Facts(44100, 128, kJoint, true), Facts(44100, 128, kJoint)});
    EXPECT_FALSE(way.byFrames);
    EXPECT_EQ(way.params, (EncodingParams{44100, 128, kJoint}));
}

TEST(JoinDecision, BatchStartsTheWalkFromTheMainFile) {
    // The main file's mode is where the walk starts: stereo joined files only turn mono to stereo.
    JoinWay way = ChooseBatchJoinWay({}, Facts(22050, 64, kDual), {Facts(44100, 96, kStereo)});
    EXPECT_EQ(way.params, (EncodingParams{44100, 96, kDual}));
    way = ChooseBatchJoinWay({}, Facts(48000, 192, kMono), {Facts(44100, 96, kStereo)});
    EXPECT_EQ(way.params, (EncodingParams{48000, 192, kStereo}));
    way = ChooseBatchJoinWay({}, Facts(44100, 128, kJoint), {Facts(44100, 128, kJoint), Facts(44100, 128, kJoint)});
    EXPECT_TRUE(way.byFrames);
    way = ChooseBatchJoinWay({}, Facts(44100, 128, kJoint, true), {Facts(44100, 128, kJoint)});
    EXPECT_FALSE(way.byFrames);
}

}  // namespace
}  // namespace corvane
