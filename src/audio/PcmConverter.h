// CPcmConverter: block-by-block conversion of PCM between sample rates, channel counts and widths.
//
// Sample-rate conversion. Changing the rate of sampled sound means computing, for each output
// instant, the value of the band-limited signal between the input samples: libresample
// convolves the input with a windowed-sinc filter (and, when lowering the rate, first lowers
// the band so that nothing above the new Nyquist frequency folds back as aliasing). The filter
// looks a few dozen samples ahead, so it holds back the newest input of every block and emits
// it with the next one; the number of samples out of one block is therefore only about
// count × outRate ÷ inRate (the first block gives fewer, and with a fractional factor the
// count varies from block to block). Pitfall: the held-back samples
// come out only when the resampler is told the input has ended, which this converter never
// does, so the last few milliseconds of each converted input are dropped (and a converter
// must be Reset and prepared afresh for every input, or the tail of one input would leak into
// the next). The two channels of stereo input pass through two resamplers with one factor,
// so they stay in step.
//
// Channel conversion averages left and right to mono, rounding toward minus infinity, or
// copies mono to both sides. Width conversion maps unsigned 8-bit samples (silence 128) to
// signed 16-bit ones (silence 0) by (u − 128) × 256 and back by (s >> 8) + 128.
//
// Rate limits. libresample takes any positive factor, but sizes its own buffers by it (4096 ×
// factor floats per channel) and stretches its filter by its inverse (a factor of 1/128 or
// less leaves it ten input samples per pass). So a rate ratio beyond kMaxRateRatio either way
// is refused: a file declaring 1 Hz would otherwise ask for 48001 × 1152 output samples per
// block and about a gigabyte of buffers. Every source rate from 500 Hz to 768 kHz still
// reaches all the rates LAME writes (8000 to 48000 Hz), and every one from 84 Hz to 4.6 MHz
// reaches some of them.
//
// Blocks. Process works through its input in passes of at most kConverterPassFrames samples
// with work buffers sized once by Prepare, whatever the block size and the ratio; only the
// caller's output arrays grow with the block (MaxOutputCount). Once prepared, Process
// allocates nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace corvane {

// The largest ratio of the two rates, either way, that Prepare takes.
constexpr int kMaxRateRatio = 96;

// Input samples per channel converted in one pass of Process.
constexpr int kConverterPassFrames = 1152;

class CPcmConverter {
public:
    // The two formats, filled in by the caller after Reset and before Prepare. Channels are
    // 1 or 2, rates in Hz, widths 8 (unsigned samples) or 16 (signed, native byte order).
    int outChannels = -1;
    int outRate = -1;
    int outBits = -1;
    int inChannels = -1;
    int inRate = -1;
    int inBits = -1;

    CPcmConverter() = default;
    // Frees every buffer and closes the resamplers.
    virtual ~CPcmConverter();
    CPcmConverter(const CPcmConverter&) = delete;
    CPcmConverter& operator=(const CPcmConverter&) = delete;

    // Sets the six format fields to -1, closes the resamplers, frees the buffers and sets the
    // factor to 0. Needed between two inputs.
    void Reset();

    // Checks the formats, sizes the work buffers and, when the rates differ, opens the
    // resamplers for the factor outRate ÷ inRate: one for the left channel, and one for the
    // right when both formats are stereo. False, with nothing opened, when a format field is
    // out of range, the rates are not Convertible, or libresample refuses the factor.
    bool Prepare();

    // True when both rates are positive and neither is more than kMaxRateRatio times the
    // other.
    static bool Convertible(int inRate, int outRate);

    // Converts one block of count samples per channel (inRight is read only for stereo input
    // and may be null otherwise; the arrays hold samples of inBits) and writes the result into
    // outLeft and, for stereo output, outRight (samples of outBits). Each output array must
    // hold MaxOutputCount(count) samples; no more is ever written. outCount receives the
    // samples per channel written, count itself when the rates are equal. False, with
    // outCount 0, before a successful Prepare or when a needed array is null.
    bool Process(const void* inLeft, const void* inRight, int count, void* outLeft,
                 void* outRight, int& outCount);

    // The most samples per channel that Process can produce from count input samples:
    // (⌊outRate ÷ inRate⌋ + 1) × count when the rates differ, else count.
    int MaxOutputCount(int count) const;

    // outRate ÷ inRate after a Prepare that opened resamplers, else 0.
    double Factor() const { return factor_; }

    // Number of open resamplers: 0 when the rates are equal, 1 or 2 otherwise.
    int OpenResamplers() const;

private:
    void CloseResamplers();
    void ReleaseBuffers();
    // Converts one pass of count (at most kConverterPassFrames) samples per channel into the
    // output arrays at sample offset at, writing at most capacity samples per channel;
    // returns the samples per channel written.
    int ConvertPass(const void* inLeft, const void* inRight, int count, void* outLeft, void* outRight,
                    int at, int capacity);
    // Resamples count samples of inBits from in into out (samples of outBits) from sample
    // offset at, at most capacity samples, draining what the resampler holds ready; returns
    // the samples written.
    int ResampleChannel(void* resampler, const void* in, int count, void* out, int at, int capacity);

    void* resamplerLeft_ = nullptr;
    void* resamplerRight_ = nullptr;
    double factor_ = 0.0;
    bool prepared_ = false;

    // Work buffers of one pass, sized by Prepare. Sample buffers hold int16_t so they are
    // large enough for either width; 8-bit data is stored in their bytes.
    std::vector<int16_t> mixBuffer_;
    std::vector<int16_t> widenBufferLeft_;
    std::vector<int16_t> widenBufferRight_;
    std::vector<float> floatIn_;
    std::vector<float> floatOut_;
};

}  // namespace corvane
