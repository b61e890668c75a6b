// CReencodeCutter: pieces decoded to PCM, optionally faded, and encoded anew by LAME.
//
// Each piece is its ID3v2 tag followed by constant-bit-rate frames from a fresh LAME encoder
// (a CMp3Encoder writing into the piece's output file); no VBR header frame is written, even
// when the source has one. The source frames of the
// piece are decoded one at a time by a frame decoder of its own (audio::CFrameDecoder, one per
// piece) and encoded either with the parameters given to SetEncodingParams or, when none were
// chosen, with the source's: its sample rate and channel mode, and the standard bit rate
// nearest to its average (NearestStandardBitrate).
//
// A piece runs in three phases: a fade-in over the first fadeInSamples samples (gain rising
// linearly from 0), the main phase up to the piece's budget, and a fade-out over
// fadeOutSamples samples (gain falling to 0), reserved out of the budget. The fade-in ignores
// the budget, so a piece is at least as long as its fade-in.
//
// Budgets. CutBySize counts encoded bytes written (the tag not included) against the size,
// plus the bytes of the forward overlap actually stepped back over, plus the backward overlap
// and minus the fade-out, both turned into bytes at the source's average bit rate.
// CutByDuration counts decoded samples at the source's rate and ends inside the block that
// reaches its budget, so the piece holds exactly that many samples (a fade-in's blocks count
// only once the encoder has returned data for them). CutToEnd runs to the end of the file,
// or, with a fade-out, to the file size minus the fade-out's bytes, where the fade-out phase
// takes over. A size's block that crosses its budget is encoded whole.
//
// Pitfall: frames right after a jump decode to nothing, because the bit reservoir of the
// frames before them was not fed to the decoder; they are skipped, not encoded as silence.
// The first frame the decoder does deliver after a jump is incomplete too (it misses the
// transform overlap and part of the reservoir of the frame before it) and is dropped as well;
// a piece that starts at the audio start keeps it. That is why neighbouring pieces share
// frames (RewindAfterPiece in CCutter). The decoder hands out each frame's samples when the
// next frame is fed, so the last frame fed to a piece is not in it; the next piece, which
// starts three frames back, has it. At the end of the source the decoder is emptied, so the
// source's last frame is in the last piece. LAME adds its
// own start delay and end padding to every piece (see Mp3Encoder.h), so a re-encoded piece
// plays about two frames longer than the PCM that went in.
//
// Speed: decoding and encoding both cost real time, so a second thread reads and decodes a
// few frames ahead while this one fades, encodes and writes (CDecodeAhead, DecodeAhead.h).
// The frames are still taken strictly in file order and every decision (budgets, history,
// progress, cancel) is made here; after a piece the reader is put back right after the last
// frame taken.
//
// Failures. A piece operation fails, leaving no file, when the output cannot be created
// ("Failed to create file \"%s\"."), when LAME rejects the encoding parameters or would
// change chosen ones ("Bad encoding parameter: %dHz, %dkbps, %d"; the source's own bit rate
// may be moved to one LAME can encode at the rate), or when a write fails ("Failed to
// write file \"%s\"."); a cancel leaves no file either. An encoder error inside a phase only
// ends that phase; the piece is finished normally.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "audio/EncodingParams.h"
#include "engine/cut/Cutter.h"
#include "engine/cut/DecodeAhead.h"
#include "engine/cut/PieceForecast.h"

namespace corvane {

class CReencodeCutter : public CCutter {
public:
    CReencodeCutter();
    ~CReencodeCutter() override;

    // Fades, in tenths of a second; converted to samples at the loaded source's rate, so call
    // after LoadSource. A disabled fade or 0 tenths means no fade.
    void SetFadeIn(bool enable, int tenths) override;
    void SetFadeOut(bool enable, int tenths) override;

    // The chosen bit rate, or the source's average bit rate when none is chosen.
    int GetOutputBitrate() override;

    // Output sample rate (Hz), bit rate (kbps) and MPEG channel mode (0, 1 or 3). The values
    // count as chosen only when rate and bit rate are non-zero and the mode is not
    // kChannelModeNone (IsChosen); (0, 0, kChannelModeNone) means every piece takes the
    // source's parameters. Call before LoadSource.
    void SetEncodingParams(int sampleRate, int kbps, int channelMode) override;

    // As the base, and remembers the source's channel mode from its first frame.
    bool LoadSource(const std::string& path) override;

    uint64_t fadeInSamples() const { return fadeIn_.samples; }
    uint64_t fadeOutSamples() const { return fadeOut_.samples; }

    // A second cutter of the loaded source with every setting of this one (encoding, fades,
    // overlaps, the pieces' tags), for another thread: it opens the file with a reader of its
    // own and takes the tag fields read here. Null when the file can no longer be opened.
    // Reads this cutter only; it may run on any thread while this one is not changed.
    std::unique_ptr<CReencodeCutter> CloneLoaded() const;

    // What ForecastPiece needs to know of the loaded source and these settings.
    PieceModel ForecastModel() const;

protected:
    Outcome CutPiece(const std::string& path, Measure measure, uint64_t target, int index, int count, int sequence,
                     int titleDigits, bool& eof) override;

private:
    struct Piece;
    struct FrameStep;
    // A fade as set: whether it is on, its length in tenths and in samples at the source's
    // rate.
    struct Fade {
        bool enabled = false;
        uint32_t tenths = 0;
        uint64_t samples = 0;
    };
    Fade MakeFade(bool enable, int tenths) const;

    // Creates the piece's decoder and its encoder (CMp3Encoder, writing into the piece's
    // output); Failed ("Bad encoding parameter: ...") when LAME rejects the parameters or
    // would change chosen ones.
    Outcome StartEncoder(Piece& piece);
    // Steps back over the forward overlap; returns the bytes stepped back (0 when none) and
    // sets samples to the samples of the frames stepped back.
    uint64_t StepBackForwardOverlap(uint64_t& samples);
    // Reads, decodes, scales by the ramp (gain, step; null for none) and encodes one frame,
    // or only its first limit samples.
    void ProcessFrame(Piece& piece, bool record, double* gain, double step, bool fadeIn, FrameStep& result,
                      int64_t limit = INT64_MAX);
    // Runs a fade phase of n samples; adds the samples counted and the bytes written.
    // False when the piece must stop (cancel or write failure, recorded in piece).
    bool RunFade(Piece& piece, bool fadeIn, uint64_t n, bool record, int64_t& samples, int64_t& bytes);
    // The outcome of a piece a frame step stopped: a write failure, else a cancel.
    static Outcome StoppedOutcome(const Piece& piece);

    EncodingParams params_;  // as given to SetEncodingParams
    bool chosen_ = false;    // IsChosen(params_)
    Fade fadeIn_;
    Fade fadeOut_;
    int32_t sourceChannelMode_ = kChannelModeNone;

    CDecodeAhead decodeAhead_;
};

}  // namespace corvane
