// Tests of the forecast of where a re-encoded piece leaves the reader: worked examples
// measured on the re-encoding cutter.
#include "engine/cut/PieceForecast.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

constexpr uint64_t kSamplesPerTenth = 4410;  // 44100 Hz

PieceModel Model() {
    PieceModel model;
    model.sourceRate = 44100;
    model.sourceFrameSamples = 1152;
    model.sourceKbps = 128;
    model.outputRate = 44100;
    model.outputKbps = 128;
    return model;
}

PieceAsk Duration(int64_t tenths, bool atAudioStart, uint64_t framesBefore) {
    PieceAsk ask;
    ask.measure = PieceAsk::Measure::Samples;
    ask.target = static_cast<uint64_t>(tenths) * kSamplesPerTenth;
    ask.atAudioStart = atAudioStart;
    ask.framesBefore = framesBefore;
    return ask;
}

TEST(PieceForecast, APieceAtTheAudioStartCountsFromItsThirdFrame) {
    // 37.5 s are 1435.55 frames: 1436 counted, 1 before them (the decoder's delay), 3
    // stepped back over.
    const PieceForecast forecast = ForecastPiece(Model(), Duration(375, true, 0));
    EXPECT_EQ(forecast.framesRead, 1437u);
    EXPECT_EQ(forecast.advance, 1434);
}

TEST(PieceForecast, APieceAfterAJumpAlsoPassesOverTheFrameWithoutItsReservoir) {
    const PieceForecast forecast = ForecastPiece(Model(), Duration(375, false, 1435));
    EXPECT_EQ(forecast.framesRead, 1439u);
    EXPECT_EQ(forecast.advance, 1436);
}

TEST(PieceForecast, FadesAndOverlapsAreCountedPhaseByPhase) {
    PieceModel model = Model();
    model.forwardOverlapSamples = 20 * kSamplesPerTenth;
    model.backwardOverlapSamples = 15 * kSamplesPerTenth;
    model.fadeInSamples = 10 * kSamplesPerTenth;
    model.fadeOutSamples = 10 * kSamplesPerTenth;
    EXPECT_EQ(ForecastPiece(model, Duration(500, true, 0)).advance, 1914);
    const PieceForecast later = ForecastPiece(model, Duration(500, false, 1914));
    EXPECT_EQ(later.overlapFrames, 77u);
    EXPECT_EQ(later.advance, 1915);
}

TEST(PieceForecast, ACorrectionIsLearnedPerMeasureAndStart) {
    CForecastCorrection correction;
    const PieceAsk later = Duration(375, false, 1435);
    correction.Learn(later, 1437, 1438);
    EXPECT_EQ(correction.For(later), 1);
    EXPECT_EQ(correction.For(Duration(375, true, 0)), 0);
}

}  // namespace
}  // namespace corvane
