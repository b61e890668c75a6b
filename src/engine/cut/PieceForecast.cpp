// ForecastPiece: the phases of a re-encoded piece counted call by call.
#include "engine/cut/PieceForecast.h"

#include <algorithm>
#include <cmath>

namespace corvane {
namespace {

// LAME's buffer: samples preset before the first call (ENCDELAY - MDCTDELAY), and what it
// must hold before it encodes a frame (BLKSIZE + frame - FFTOFFSET, at least 512 + frame - 32).
constexpr double kPresetSamples = 528;
constexpr double kBlockSize = 1024;
constexpr double kFftOffset = 272;
constexpr double kShortWindow = 512;
constexpr double kWindowSlack = 32;
// LAME's frame: 1152 samples from 32000 Hz up (MPEG-1), 576 below.
constexpr int kLongFrameFromRate = 32000;
constexpr double kLongFrame = 1152;
constexpr double kShortFrame = 576;
// Calls the decoder hands nothing for: its delay of one call, and after a jump usually one
// frame without its bit reservoir.
constexpr uint64_t kQuietAtAudioStart = 1;
constexpr uint64_t kQuietAfterJump = 2;
// After a jump the first frame decoded is dropped.
constexpr uint64_t kDroppedAfterJump = 1;
// Frames the reader steps back after a piece, besides the backward overlap.
constexpr uint64_t kRewindFrames = 3;
constexpr double kBytesPerKbps = 125.0;  // 1000 bits ÷ 8

uint64_t CeilDiv(double value, double unit) {
    if (value <= 0 || unit <= 0) return 0;
    return static_cast<uint64_t>(std::ceil(value / unit - 1e-9));
}

}  // namespace

PieceForecast ForecastPiece(const PieceModel& model, const PieceAsk& ask) {
    PieceForecast forecast;
    const double frameSamples = model.sourceFrameSamples;
    if (frameSamples <= 0 || model.sourceRate <= 0 || model.outputRate <= 0) return forecast;

    const double lameFrame = model.outputRate >= kLongFrameFromRate ? kLongFrame : kShortFrame;
    const double perCall = frameSamples * model.outputRate / model.sourceRate;  // samples LAME gets a call
    const double needed = std::max(kBlockSize + lameFrame - kFftOffset, kShortWindow + lameFrame - kWindowSlack);
    const uint64_t firstBytesCall = std::max<uint64_t>(1, CeilDiv(needed - kPresetSamples, perCall));
    const double share = std::min(1.0, perCall / lameFrame);  // calls that return bytes
    const double bytesPerCall = model.outputKbps * kBytesPerKbps * frameSamples / model.sourceRate;

    forecast.overlapFrames =
        ask.atAudioStart ? 0 : std::min<uint64_t>(CeilDiv(static_cast<double>(model.forwardOverlapSamples), frameSamples),
                                                  ask.framesBefore);
    const uint64_t quiet = ask.quietFrames > 0 ? ask.quietFrames : ask.atAudioStart ? kQuietAtAudioStart : kQuietAfterJump;
    uint64_t calls = quiet + (ask.atAudioStart ? 0 : kDroppedAfterJump);
    // Calls before LAME's first bytes: a fade-in and a size count only blocks it returned bytes for.
    if (model.fadeInSamples > 0 || ask.measure == PieceAsk::Measure::Bytes) calls += firstBytesCall - 1;

    // Fade-in: blocks count once LAME returned bytes for them.
    double samplesCounted = 0;
    double bytesWritten = 0;
    if (model.fadeInSamples > 0) {
        const uint64_t counting = CeilDiv(static_cast<double>(model.fadeInSamples), frameSamples);
        const uint64_t fadeCalls = CeilDiv(static_cast<double>(counting), share);
        calls += fadeCalls;
        samplesCounted = static_cast<double>(counting) * frameSamples;
        bytesWritten = static_cast<double>(fadeCalls) * bytesPerCall;
    }

    // Main phase, up to the budget less the fade-out.
    const bool stepsBack = forecast.overlapFrames > 0;
    if (ask.measure == PieceAsk::Measure::Samples) {
        const double budget = static_cast<double>(ask.target) +
                              (ask.atAudioStart ? static_cast<double>(model.gaplessStart) : 0.0) +
                              (stepsBack ? static_cast<double>(model.forwardOverlapSamples) : 0.0) +
                              static_cast<double>(model.backwardOverlapSamples) -
                              static_cast<double>(model.fadeOutSamples);
        // Every decoded block counts.
        calls += CeilDiv(budget - samplesCounted, frameSamples);
    } else {
        const double budget = static_cast<double>(ask.target) +
                              (stepsBack ? static_cast<double>(ask.bytesBefore) : 0.0) +
                              static_cast<double>(model.backwardOverlapBytes) - static_cast<double>(model.fadeOutBytes);
        calls += CeilDiv(budget - bytesWritten, bytesPerCall);
    }

    // Fade-out: every decoded block counts.
    calls += CeilDiv(static_cast<double>(model.fadeOutSamples), frameSamples);

    forecast.framesRead = calls;
    // The records of the piece are its frames from its start on; the step back keeps the first.
    const uint64_t recorded = calls > forecast.overlapFrames ? calls - forecast.overlapFrames : 0;
    if (recorded == 0) return forecast;
    uint64_t popped = 0;
    if (model.backwardOverlapSamples > 0) {
        popped = std::min(CeilDiv(static_cast<double>(model.backwardOverlapSamples), frameSamples), recorded - 1);
    }
    popped += std::min(kRewindFrames, recorded - 1 - popped);
    forecast.advance = static_cast<int64_t>(recorded - popped);
    return forecast;
}

}  // namespace corvane
