// CPcmConverter: width, channel and rate conversion of PCM blocks, pass by pass, through libresample.
#include "audio/PcmConverter.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "audio/OptionalLibraries.h"

namespace corvane {

namespace {

constexpr int kHighQuality = 1;          // libresample's larger filter
constexpr int kSilence8 = 128;           // unsigned 8-bit zero line
constexpr int kWidenShift = 8;           // 8-bit <-> 16-bit: a factor of 256
constexpr float kScale16 = 1.0f / 32768.0f;  // 2^-15
constexpr float kScale8 = 1.0f / 128.0f;     // 2^-7
constexpr float kPeak16 = 32767.0f;
constexpr float kPeak8 = 127.0f;

// Floats taken from a resampler per call: its output is drained through this buffer however
// much the factor makes of one pass.
constexpr int kDrainSamples = 4096;

template <typename T>
void Release(std::vector<T>& buffer) {
    std::vector<T>().swap(buffer);
}

bool ValidChannels(int channels) { return channels == 1 || channels == 2; }
bool ValidBits(int bits) { return bits == 8 || bits == 16; }

// The sample at offset samples of an array of bits-wide samples.
const void* SampleAt(const void* base, int samples, int bits) {
    return static_cast<const uint8_t*>(base) + static_cast<size_t>(samples) * static_cast<size_t>(bits / 8);
}
void* SampleAt(void* base, int samples, int bits) {
    return static_cast<uint8_t*>(base) + static_cast<size_t>(samples) * static_cast<size_t>(bits / 8);
}

// Stores count floats in -1..1 as samples of bits at out, clamping overshoot.
void StoreSamples(const float* in, int count, int bits, void* out) {
    if (bits == 16) {
        auto* dst = static_cast<int16_t*>(out);
        for (int i = 0; i < count; ++i) {
            const float x = std::clamp(in[i], -1.0f, 1.0f);
            dst[i] = static_cast<int16_t>(std::trunc(x * kPeak16));
        }
    } else {
        auto* dst = static_cast<uint8_t*>(out);
        for (int i = 0; i < count; ++i) {
            const float x = std::clamp(in[i], -1.0f, 1.0f);
            dst[i] = static_cast<uint8_t>(kSilence8 + static_cast<int>(std::trunc(x * kPeak8)));
        }
    }
}

// Converts count samples of one width into the other.
void ConvertWidth(const void* in, int inBits, int count, void* out) {
    if (inBits == 8) {
        const auto* src = static_cast<const uint8_t*>(in);
        auto* dst = static_cast<int16_t*>(out);
        for (int i = 0; i < count; ++i) {
            dst[i] = static_cast<int16_t>((src[i] - kSilence8) * (1 << kWidenShift));
        }
    } else {
        const auto* src = static_cast<const int16_t*>(in);
        auto* dst = static_cast<uint8_t*>(out);
        for (int i = 0; i < count; ++i) {
            dst[i] = static_cast<uint8_t>((src[i] >> kWidenShift) + kSilence8);
        }
    }
}

// Averages left and right into out, rounding down: signed for 16 bits, unsigned for 8.
void MixToMono(const void* left, const void* right, int bits, int count, void* out) {
    if (bits == 16) {
        const auto* l = static_cast<const int16_t*>(left);
        const auto* r = static_cast<const int16_t*>(right);
        auto* dst = static_cast<int16_t*>(out);
        for (int i = 0; i < count; ++i) dst[i] = static_cast<int16_t>((l[i] + r[i]) >> 1);
    } else {
        const auto* l = static_cast<const uint8_t*>(left);
        const auto* r = static_cast<const uint8_t*>(right);
        auto* dst = static_cast<uint8_t*>(out);
        for (int i = 0; i < count; ++i) dst[i] = static_cast<uint8_t>((l[i] + r[i]) >> 1);
    }
}

}  // namespace

CPcmConverter::~CPcmConverter() { CloseResamplers(); }

void CPcmConverter::Reset() {
    outChannels = outRate = outBits = -1;
    inChannels = inRate = inBits = -1;
    CloseResamplers();
    factor_ = 0.0;
    prepared_ = false;
    ReleaseBuffers();
}

void CPcmConverter::ReleaseBuffers() {
    Release(mixBuffer_);
    Release(widenBufferLeft_);
    Release(widenBufferRight_);
    Release(floatIn_);
    Release(floatOut_);
}

bool CPcmConverter::Convertible(int inRate, int outRate) {
    if (inRate <= 0 || outRate <= 0) return false;
    const int64_t in = inRate;
    const int64_t out = outRate;
    return out <= in * kMaxRateRatio && in <= out * kMaxRateRatio;
}

bool CPcmConverter::Prepare() {
    CloseResamplers();
    factor_ = 0.0;
    prepared_ = false;
    if (!ValidChannels(inChannels) || !ValidChannels(outChannels) || !ValidBits(inBits) ||
        !ValidBits(outBits) || !Convertible(inRate, outRate)) {
        return false;
    }
    if (inRate != outRate) {
        // Without libresample no rate changes: like a factor it refuses.
        const audio::ResampleCalls* resample = audio::Resample();
        if (resample == nullptr) return false;
        const double factor = static_cast<double>(outRate) / inRate;
        resamplerLeft_ = resample->open(kHighQuality, factor, factor);
        if (resamplerLeft_ == nullptr) return false;
        if (inChannels == 2 && outChannels == 2) {
            resamplerRight_ = resample->open(kHighQuality, factor, factor);
            if (resamplerRight_ == nullptr) {
                CloseResamplers();
                return false;
            }
        }
        factor_ = factor;
    }
    // One pass's work buffers, whatever the blocks to come.
    const auto pass = static_cast<size_t>(kConverterPassFrames);
    const bool resampled = inRate != outRate;
    mixBuffer_.resize(resampled && inChannels == 2 && outChannels == 1 ? pass : 0);
    widenBufferLeft_.resize(!resampled && inBits != outBits ? pass : 0);
    widenBufferRight_.resize(!resampled && inBits != outBits && inChannels == 2 ? pass : 0);
    floatIn_.resize(resampled ? pass : 0);
    floatOut_.resize(resampled ? static_cast<size_t>(kDrainSamples) : 0);
    prepared_ = true;
    return true;
}

int CPcmConverter::MaxOutputCount(int count) const {
    if (count <= 0) return 0;
    if (inRate == outRate || inRate <= 0 || outRate <= 0) return count;
    return (outRate / inRate + 1) * count;
}

int CPcmConverter::OpenResamplers() const {
    return (resamplerLeft_ != nullptr ? 1 : 0) + (resamplerRight_ != nullptr ? 1 : 0);
}

void CPcmConverter::CloseResamplers() {
    if (resamplerLeft_ != nullptr) audio::Resample()->close(resamplerLeft_);
    if (resamplerRight_ != nullptr) audio::Resample()->close(resamplerRight_);
    resamplerLeft_ = nullptr;
    resamplerRight_ = nullptr;
}

bool CPcmConverter::Process(const void* inLeft, const void* inRight, int count, void* outLeft,
                            void* outRight, int& outCount) {
    outCount = 0;
    const bool stereoIn = inChannels == 2;
    const bool stereoOut = outChannels == 2;
    if (!prepared_ || inLeft == nullptr || outLeft == nullptr || (stereoIn && inRight == nullptr) ||
        (stereoOut && outRight == nullptr)) {
        return false;
    }
    const int capacity = MaxOutputCount(count);
    int produced = 0;
    for (int done = 0; done < count;) {
        const int pass = std::min(kConverterPassFrames, count - done);
        produced += ConvertPass(SampleAt(inLeft, done, inBits), stereoIn ? SampleAt(inRight, done, inBits) : nullptr,
                                pass, outLeft, outRight, produced, capacity);
        done += pass;
    }
    outCount = produced;
    return true;
}

int CPcmConverter::ConvertPass(const void* inLeft, const void* inRight, int count, void* outLeft,
                               void* outRight, int at, int capacity) {
    const bool stereoIn = inChannels == 2;
    const bool stereoOut = outChannels == 2;
    const void* left = inLeft;
    const void* right = stereoIn ? inRight : inLeft;
    void* const leftOut = SampleAt(outLeft, at, outBits);
    void* const rightOut = stereoOut ? SampleAt(outRight, at, outBits) : nullptr;
    const size_t bytes = static_cast<size_t>(count) * static_cast<size_t>(outBits / 8);

    if (inRate == outRate) {
        if (inBits != outBits) {
            ConvertWidth(left, inBits, count, widenBufferLeft_.data());
            left = widenBufferLeft_.data();
            if (stereoIn) {
                ConvertWidth(right, inBits, count, widenBufferRight_.data());
                right = widenBufferRight_.data();
            } else {
                right = left;
            }
        }
        if (stereoIn && !stereoOut) {
            MixToMono(left, right, outBits, count, leftOut);
        } else {
            std::memcpy(leftOut, left, bytes);
            if (stereoOut) std::memcpy(rightOut, stereoIn ? right : left, bytes);
        }
        return count;
    }

    if (stereoIn && !stereoOut) {
        MixToMono(left, right, inBits, count, mixBuffer_.data());
        left = mixBuffer_.data();
    }
    int produced = ResampleChannel(resamplerLeft_, left, count, outLeft, at, capacity);
    if (stereoIn && stereoOut) {
        // Both resamplers see the same passes with the same factor and keep in step; never
        // hand out more than both produced.
        produced = std::min(produced, ResampleChannel(resamplerRight_, right, count, outRight, at, capacity));
    } else if (stereoOut) {
        std::memcpy(rightOut, leftOut, static_cast<size_t>(produced) * static_cast<size_t>(outBits / 8));
    }
    return produced;
}

int CPcmConverter::ResampleChannel(void* resampler, const void* in, int count, void* out, int at, int capacity) {
    float* floatIn = floatIn_.data();
    if (inBits == 16) {
        const auto* src = static_cast<const int16_t*>(in);
        for (int i = 0; i < count; ++i) floatIn[i] = static_cast<float>(src[i]) * kScale16;
    } else {
        const auto* src = static_cast<const uint8_t*>(in);
        for (int i = 0; i < count; ++i) floatIn[i] = static_cast<float>(src[i] - kSilence8) * kScale8;
    }

    // libresample stops early when its output is full and keeps the rest for the next call;
    // call again, with the input that is left or with none, until a call leaves room over:
    // then all input is taken and nothing is held ready.
    int used = 0;
    int produced = 0;
    for (;;) {
        const int room = std::min(kDrainSamples, capacity - at - produced);
        if (room <= 0) break;
        int usedNow = 0;
        const int producedNow = audio::Resample()->process(resampler, factor_, floatIn + used, count - used, 0,
                                                           &usedNow, floatOut_.data(), room);
        if (producedNow < 0) break;
        StoreSamples(floatOut_.data(), producedNow, outBits, SampleAt(out, at + produced, outBits));
        used += usedNow;
        produced += producedNow;
        if (used >= count && producedNow < room) break;
        if (usedNow == 0 && producedNow == 0) break;
    }
    return produced;
}

}  // namespace corvane
