// Tests of the join decisions: Auto's alike test, the derived parameters and the start values.
#include "engine/join/JoinDecision.h"

#include <gtest/gtest.h>

#include "support/Mp3Factory.h"

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

TEST(JoinDecision, AutoCopiesFramesOfAlikeInputs) {
    const JoinWay way = ChooseJoinWay({}, {Facts(44100, 128, kJoint), Facts(44100, 128, kJoint), Facts(44100, 128, kJoint)});
    EXPECT_TRUE(way.byFrames);
}

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

TEST(JoinDecision, AutoSnapsTheLargestAverageToAStandardBitrate) {
    EXPECT_EQ(ChooseJoinWay({}, {Facts(44100, 100, kJoint), Facts(44100, 64, kJoint)}).params.bitrate, 96);
    EXPECT_EQ(ChooseJoinWay({}, {Facts(44100, 104, kJoint), Facts(44100, 64, kJoint)}).params.bitrate, 96);
    EXPECT_EQ(ChooseJoinWay({}, {Facts(44100, 105, kJoint), Facts(44100, 64, kJoint)}).params.bitrate, 112);
}

TEST(JoinDecision, AutoReencodesWhenAnInputHasAHeaderFrame) {
    const JoinWay way =
        ChooseJoinWay({}, {Facts(44100, 128, kJoint), Facts(44100, 128, kJoint, true), Facts(44100, 128, kJoint)});
    EXPECT_FALSE(way.byFrames);
    EXPECT_EQ(way.params, (EncodingParams{44100, 128, kJoint}));
}

TEST(JoinDecision, WithoutAutoTheOptionsParametersAreUsed) {
    JoinerOptions options;
    options.autoMP3EncodingParam = false;
    options.mp3SampleRate = 22050;
    options.mp3BitRate = 32;
    options.mp3ChannelMode = kMono;
    const JoinWay way = ChooseJoinWay(options, {Facts(44100, 128, kJoint), Facts(44100, 128, kJoint)});
    EXPECT_FALSE(way.byFrames);
    EXPECT_EQ(way.params, (EncodingParams{22050, 32, kMono}));
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

TEST(JoinDecision, ReadsTheFactsTheListsHold) {
    test::TempDir dir;
    test::EncodeOptions o;
    o.seconds = 2.0;
    test::WriteFile(dir / "cbr.mp3", test::EncodeMp3(o));
    o.infoFrame = true;
    test::WriteFile(dir / "info.mp3", test::EncodeMp3(o));

    JoinInputFacts facts;
    ASSERT_TRUE(ReadJoinInputFacts(dir / "cbr.mp3", facts));
    EXPECT_EQ(facts.path, dir / "cbr.mp3");
    EXPECT_EQ(facts.sampleRate, 44100);
    EXPECT_EQ(facts.bitrate, 128);
    EXPECT_EQ(facts.channelMode, kJoint);
    EXPECT_FALSE(facts.hasHeaderFrame);
    EXPECT_TRUE(facts.factsRead);

    ASSERT_TRUE(ReadJoinInputFacts(dir / "info.mp3", facts));
    EXPECT_TRUE(facts.hasHeaderFrame);

    EXPECT_FALSE(ReadJoinInputFacts(dir / "missing.mp3", facts));
    EXPECT_FALSE(facts.factsRead);
    EXPECT_EQ(facts.path, dir / "missing.mp3");
}

}  // namespace
}  // namespace corvane
