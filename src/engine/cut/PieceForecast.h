// ForecastPiece: how many frames a re-encoded piece will move the reader on, before it is cut.
//
// A parallel cut starts a piece before the piece ahead of it has ended, at the position
// where that one is forecast to leave the reader, and keeps the result only if the forecast
// was right. Where a re-encoded piece ends depends on the decoder and the encoder, not only
// on its budget: a block of a fade-in counts toward a duration only once LAME has returned
// bytes for it (the main phase counts every block), and a size counts the bytes LAME returned. The forecast follows the phases
// of CReencodeCutter::CutPiece call by call, one source frame a call:
//
//  - calls that count nothing at first: the decoder hands out a frame's samples one call
//    late, and after a jump it hands out nothing for frames whose bit reservoir it lacks
//    (how many is measured on the frames themselves: CFrameIndex::QuietFrames); a piece that
//    starts after a jump drops the first frame decoded; LAME returns its first bytes only
//    once its buffer holds a frame and its look-ahead (ENCDELAY - MDCTDELAY = 528 samples
//    preset, BLKSIZE + frame - FFTOFFSET needed);
//  - the fade-in, the main phase and the fade-out, each counted as CutPiece counts them;
//    when LAME's frame is longer than what one call gives it (a lower output rate), only
//    that share of the calls returns bytes (and counts, in a fade-in);
//  - the step back: the backward overlap's frames and three more.
//
// For a clean source without rate conversion the forecast of a duration is exact. Sizes depend
// on how full LAME's bit reservoir is, and conversions on LAME's resampler, so there the
// forecast may miss by a frame or two; a parallel cut then cuts the piece again from its
// true start, and corrects later forecasts by what it saw (ForecastCorrection).
#pragma once

#include <cstdint>

namespace corvane {

// What a forecast needs to know of the source, the encoding and the cutter's settings.
struct PieceModel {
    int sourceRate = 0;             // Hz
    int sourceFrameSamples = 0;     // samples per source frame
    int sourceKbps = 0;             // the source's average, for the overlaps' and fades' bytes
    int outputRate = 0;             // Hz of the pieces
    int outputKbps = 0;             // bit rate of the pieces
    uint64_t forwardOverlapSamples = 0;
    uint64_t backwardOverlapSamples = 0;
    int64_t backwardOverlapBytes = 0;
    uint64_t fadeInSamples = 0;     // 0: no fade-in
    uint64_t fadeOutSamples = 0;    // 0: no fade-out
    int64_t fadeOutBytes = 0;
    uint64_t gaplessStart = 0;      // samples a piece at the audio start reads before its audio
};

// What one piece asks for.
struct PieceAsk {
    enum class Measure { Bytes, Samples };
    Measure measure = Measure::Samples;
    uint64_t target = 0;            // bytes, or samples at the source's rate
    bool atAudioStart = false;      // starts where the audio starts (no jump, nothing before)
    uint64_t framesBefore = 0;      // frames of the source before the piece's start
    uint64_t bytesBefore = 0;       // bytes of the frames the forward overlap steps back over
    // Calls that the decoder hands no samples for, from the first frame the piece reads; 0
    // for the usual: 1 at the audio start (the decoder's delay), 2 after a jump (the frame
    // without its reservoir too).
    uint64_t quietFrames = 0;
};

// The forecast of one piece.
struct PieceForecast {
    uint64_t framesRead = 0;        // frames read from the piece's first frame (forward overlap included)
    uint64_t overlapFrames = 0;     // frames of the forward overlap read again
    int64_t advance = 0;            // frames from the piece's start to where the next one starts
};

// The forecast of a piece of ask under model; advance is at least 1 whenever the piece reads
// a frame.
PieceForecast ForecastPiece(const PieceModel& model, const PieceAsk& ask);

// Corrections learned while a parallel cut runs: the last error (frames the reader actually
// moved on, less the forecast) seen for each measure at the audio start and after a jump.
class CForecastCorrection {
public:
    // The correction for a piece like ask.
    int64_t For(const PieceAsk& ask) const { return errors_[Slot(ask)]; }
    // Records that a piece like ask moved the reader actual frames where forecast said.
    void Learn(const PieceAsk& ask, int64_t forecast, int64_t actual) { errors_[Slot(ask)] = actual - forecast; }

private:
    static int Slot(const PieceAsk& ask) {
        return (ask.measure == PieceAsk::Measure::Bytes ? 2 : 0) + (ask.atAudioStart ? 1 : 0);
    }
    int64_t errors_[4] = {0, 0, 0, 0};
};

}  // namespace corvane
