// CPcmConverter: width, channel and rate conversion of PCM blocks through libresample.
#include "audio/PcmConverter.h"

#include <libresample.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace corvane {

namespace {

constexpr int kHighQuality = 1;          // libresample's larger filter
constexpr int kSilence8 = 128;           // unsigned 8-bit zero line
constexpr int kWidenShift = 8;           // 8-bit <-> 16-bit: a factor of 256
constexpr float kScale16 = 1.0f / 32768.0f;  // 2^-15
constexpr float kScale8 = 1.0f / 128.0f;     // 2^-7
constexpr float kPeak16 = 32767.0f;
constexpr float kPeak8 = 127.0f;

template <typename T>
void Grow(std::vector<T>& buffer, size_t size) {
    if (buffer.size() < size) buffer.resize(size);
}

template <typename T>
void Release(std::vector<T>& buffer) {
    std::vector<T>().swap(buffer);
}

bool ValidChannels(int channels) { return channels == 1 || channels == 2; }
bool ValidBits(int bits) { return bits == 8 || bits == 16; }

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
    Release(mixBuffer_);
    Release(widenBufferLeft_);
    Release(widenBufferRight_);
    Release(floatIn_);
    Release(floatOut_);
    Release(outLeft_);
    Release(outRight_);
}

bool CPcmConverter::Prepare() {
    CloseResamplers();
    factor_ = 0.0;
    prepared_ = false;
    if (!ValidChannels(inChannels) || !ValidChannels(outChannels) || !ValidBits(inBits) ||
        !ValidBits(outBits) || inRate <= 0 || outRate <= 0) {
        return false;
    }
    if (inRate != outRate) {
        const double factor = static_cast<double>(outRate) / inRate;
        resamplerLeft_ = resample_open(kHighQuality, factor, factor);
        if (resamplerLeft_ == nullptr) return false;
        if (inChannels == 2 && outChannels == 2) {
            resamplerRight_ = resample_open(kHighQuality, factor, factor);
            if (resamplerRight_ == nullptr) {
                CloseResamplers();
                return false;
            }
        }
        factor_ = factor;
    }
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
    if (resamplerLeft_ != nullptr) resample_close(resamplerLeft_);
    if (resamplerRight_ != nullptr) resample_close(resamplerRight_);
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
    if (count <= 0) return true;

    const void* left = inLeft;
    const void* right = stereoIn ? inRight : inLeft;
    int produced = count;

    if (inRate == outRate) {
        if (inBits != outBits) {
            Grow(widenBufferLeft_, static_cast<size_t>(count));
            ConvertWidth(left, inBits, count, widenBufferLeft_.data());
            left = widenBufferLeft_.data();
            if (stereoIn) {
                Grow(widenBufferRight_, static_cast<size_t>(count));
                ConvertWidth(right, inBits, count, widenBufferRight_.data());
                right = widenBufferRight_.data();
            } else {
                right = left;
            }
        }
        if (stereoIn && !stereoOut) {
            Grow(mixBuffer_, static_cast<size_t>(count));
            MixToMono(left, right, outBits, count, mixBuffer_.data());
            left = mixBuffer_.data();
        } else if (!stereoIn) {
            right = left;
        }
    } else {
        if (stereoIn && !stereoOut) {
            Grow(mixBuffer_, static_cast<size_t>(count));
            MixToMono(left, right, inBits, count, mixBuffer_.data());
            left = mixBuffer_.data();
        }
        const size_t capacity = static_cast<size_t>(MaxOutputCount(count));
        Grow(floatIn_, static_cast<size_t>(count));
        Grow(floatOut_, capacity);
        Grow(outLeft_, capacity);
        produced = ResampleChannel(resamplerLeft_, left, count, outLeft_);
        left = outLeft_.data();
        if (stereoIn && stereoOut) {
            Grow(outRight_, capacity);
            const int producedRight = ResampleChannel(resamplerRight_, right, count, outRight_);
            // Both resamplers see the same blocks with the same factor and keep in step;
            // never hand out more than both produced.
            produced = std::min(produced, producedRight);
            right = outRight_.data();
        } else {
            right = left;
        }
    }

    const size_t bytes = static_cast<size_t>(produced) * static_cast<size_t>(outBits / 8);
    std::memcpy(outLeft, left, bytes);
    if (stereoOut) std::memcpy(outRight, right, bytes);
    outCount = produced;
    return true;
}

int CPcmConverter::ResampleChannel(void* resampler, const void* in, int count,
                                   std::vector<int16_t>& outPcm) {
    float* floatIn = floatIn_.data();
    if (inBits == 16) {
        const auto* src = static_cast<const int16_t*>(in);
        for (int i = 0; i < count; ++i) floatIn[i] = static_cast<float>(src[i]) * kScale16;
    } else {
        const auto* src = static_cast<const uint8_t*>(in);
        for (int i = 0; i < count; ++i) floatIn[i] = static_cast<float>(src[i] - kSilence8) * kScale8;
    }

    // One call normally takes the whole block; should libresample stop early (its own work
    // buffer is smaller than the block), call again with the rest so no input is lost.
    const int capacity = static_cast<int>(floatOut_.size());
    int used = 0;
    int produced = 0;
    while (used < count && produced < capacity) {
        int usedNow = 0;
        const int producedNow = resample_process(resampler, factor_, floatIn + used, count - used,
                                                 0, &usedNow, floatOut_.data() + produced,
                                                 capacity - produced);
        if (producedNow < 0) break;
        used += usedNow;
        produced += producedNow;
        if (usedNow == 0 && producedNow == 0) break;
    }

    const float* floatOut = floatOut_.data();
    if (outBits == 16) {
        auto* dst = outPcm.data();
        for (int i = 0; i < produced; ++i) {
            const float x = std::clamp(floatOut[i], -1.0f, 1.0f);
            dst[i] = static_cast<int16_t>(std::trunc(x * kPeak16));
        }
    } else {
        auto* dst = reinterpret_cast<uint8_t*>(outPcm.data());
        for (int i = 0; i < produced; ++i) {
            const float x = std::clamp(floatOut[i], -1.0f, 1.0f);
            dst[i] = static_cast<uint8_t>(kSilence8 + static_cast<int>(std::trunc(x * kPeak8)));
        }
    }
    return produced;
}

}  // namespace corvane
