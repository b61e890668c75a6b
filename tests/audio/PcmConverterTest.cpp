// Tests of CPcmConverter: rate, channel and width conversion, and steady-state allocation.
#include "audio/PcmConverter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <new>
#include <numbers>
#include <vector>

// The replaced operators pair malloc with free; GCC cannot see that through operator new.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

// Counts every allocation of the program, and its bytes, so a test can see that steady-state
// blocks make none and that work buffers stay small.
static std::atomic<long> gAllocations{0};
static std::atomic<long> gAllocatedBytes{0};

void* operator new(std::size_t size) {
    ++gAllocations;
    gAllocatedBytes += static_cast<long>(size);
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace corvane {
namespace {

constexpr int kBlock = 1152;

std::vector<int16_t> Sine(double hz, int rate, int samples, double amplitude = 12000.0) {
    std::vector<int16_t> pcm(samples);
    for (int i = 0; i < samples; ++i) {
        pcm[i] = static_cast<int16_t>(amplitude * std::sin(2 * std::numbers::pi * hz * i / rate));
    }
    return pcm;
}

void SetFormats(CPcmConverter& c, int inChannels, int inRate, int inBits, int outChannels, int outRate,
                int outBits) {
    c.Reset();
    c.inChannels = inChannels;
    c.inRate = inRate;
    c.inBits = inBits;
    c.outChannels = outChannels;
    c.outRate = outRate;
    c.outBits = outBits;
}

// Converts 16-bit left/right in blocks of 1152 and collects the output.
struct Converted {
    std::vector<int16_t> left;
    std::vector<int16_t> right;
};
Converted ConvertAll(CPcmConverter& c, const std::vector<int16_t>& left, const std::vector<int16_t>& right) {
    Converted out;
    std::vector<int16_t> blockLeft(c.MaxOutputCount(kBlock));
    std::vector<int16_t> blockRight(c.MaxOutputCount(kBlock));
    const int total = static_cast<int>(left.size());
    for (int at = 0; at < total; at += kBlock) {
        const int n = std::min(kBlock, total - at);
        int produced = -1;
        EXPECT_TRUE(c.Process(left.data() + at, right.empty() ? nullptr : right.data() + at, n,
                              blockLeft.data(), c.outChannels == 2 ? blockRight.data() : nullptr, produced));
        EXPECT_GE(produced, 0);
        EXPECT_LE(produced, c.MaxOutputCount(n));
        out.left.insert(out.left.end(), blockLeft.begin(), blockLeft.begin() + produced);
        if (c.outChannels == 2) out.right.insert(out.right.end(), blockRight.begin(), blockRight.begin() + produced);
    }
    return out;
}

double MeasureHz(const std::vector<int16_t>& pcm, int rate, size_t first, size_t count) {
    int crossings = 0;
    for (size_t i = first + 1; i < first + count; ++i) {
        if (pcm[i - 1] < 0 && pcm[i] >= 0) ++crossings;
    }
    return crossings * static_cast<double>(rate) / count;
}

int Peak(const std::vector<int16_t>& pcm, size_t first, size_t count) {
    int peak = 0;
    for (size_t i = first; i < first + count; ++i) peak = std::max(peak, std::abs(static_cast<int>(pcm[i])));
    return peak;
}

TEST(PcmConverter, Upsamples22050StereoToTwiceTheSamplesPerChannel) {
    CPcmConverter c;
    SetFormats(c, 2, 22050, 16, 2, 44100, 16);
    ASSERT_TRUE(c.Prepare());
    EXPECT_EQ(c.OpenResamplers(), 2);
    EXPECT_DOUBLE_EQ(c.Factor(), 2.0);
    const int samples = 3 * 22050;
    const std::vector<int16_t> left = Sine(440, 22050, samples);
    const std::vector<int16_t> right(samples, 0);
    const Converted out = ConvertAll(c, left, right);
    ASSERT_EQ(out.left.size(), out.right.size());
    // The filter holds back a few dozen samples of the newest input.
    EXPECT_LE(out.left.size(), 2u * samples);
    EXPECT_GE(out.left.size(), 2u * samples - 200);
    // The channels are resampled independently: the silent right stays silent, the left
    // keeps its pitch and level at the new rate.
    EXPECT_EQ(Peak(out.right, 0, out.right.size()), 0);
    EXPECT_NEAR(MeasureHz(out.left, 44100, 4410, 88200), 440.0, 1.0);
    EXPECT_NEAR(Peak(out.left, 4410, 88200), 12000, 200);
}

TEST(PcmConverter, MixesStereoToMonoAtEqualRatesWithTheFloorOfTheAverage) {
    CPcmConverter c;
    SetFormats(c, 2, 44100, 16, 1, 44100, 16);
    ASSERT_TRUE(c.Prepare());
    EXPECT_EQ(c.OpenResamplers(), 0);
    const std::vector<int16_t> left = {-3, 3, 32767, -32768, -32768, 1, 100, -1, 0};
    const std::vector<int16_t> right = {0, 0, 32767, -32768, 32767, -2, 201, -1, -1};
    const std::vector<int16_t> expected = {-2, 1, 32767, -32768, -1, -1, 150, -1, -1};
    std::vector<int16_t> out(left.size(), 12345);
    int produced = -1;
    ASSERT_TRUE(c.Process(left.data(), right.data(), static_cast<int>(left.size()), out.data(), nullptr, produced));
    EXPECT_EQ(produced, static_cast<int>(left.size()));
    EXPECT_EQ(out, expected);
}

TEST(PcmConverter, Turns32000MonoInto44100StereoWithRightCopiedFromLeft) {
    CPcmConverter c;
    SetFormats(c, 1, 32000, 16, 2, 44100, 16);
    ASSERT_TRUE(c.Prepare());
    EXPECT_EQ(c.OpenResamplers(), 1);
    const int samples = 2 * 32000;
    const std::vector<int16_t> mono = Sine(1000, 32000, samples);
    const Converted out = ConvertAll(c, mono, {});
    EXPECT_EQ(out.left, out.right);
    const double expected = samples * 44100.0 / 32000.0;
    EXPECT_LE(out.left.size(), expected + 1);
    EXPECT_GE(out.left.size(), expected - 200);
    EXPECT_NEAR(MeasureHz(out.left, 44100, 4410, 44100), 1000.0, 1.0);
}

TEST(PcmConverter, MixesBeforeResamplingStereoToMono) {
    CPcmConverter c;
    SetFormats(c, 2, 44100, 16, 1, 22050, 16);
    ASSERT_TRUE(c.Prepare());
    EXPECT_EQ(c.OpenResamplers(), 1);
    // Opposite channels cancel out in the mix: nothing is left to resample.
    const std::vector<int16_t> left = Sine(500, 44100, 44100);
    std::vector<int16_t> right(left.size());
    for (size_t i = 0; i < left.size(); ++i) right[i] = static_cast<int16_t>(-left[i]);
    const Converted out = ConvertAll(c, left, right);
    EXPECT_NEAR(static_cast<double>(out.left.size()), 22050.0, 100.0);
    EXPECT_LE(Peak(out.left, 0, out.left.size()), 1);
}

TEST(PcmConverter, WidensEightBitSamplesBy256AroundTheMiddle) {
    CPcmConverter c;
    SetFormats(c, 2, 8000, 8, 2, 8000, 16);
    ASSERT_TRUE(c.Prepare());
    const std::vector<uint8_t> left = {0, 1, 127, 128, 129, 255};
    const std::vector<uint8_t> right = {255, 128, 0, 64, 192, 1};
    std::vector<int16_t> outLeft(left.size()), outRight(left.size());
    int produced = 0;
    ASSERT_TRUE(c.Process(left.data(), right.data(), 6, outLeft.data(), outRight.data(), produced));
    EXPECT_EQ(produced, 6);
    EXPECT_EQ(outLeft, (std::vector<int16_t>{-32768, -32512, -256, 0, 256, 32512}));
    EXPECT_EQ(outRight, (std::vector<int16_t>{32512, 0, -32768, -16384, 16384, -32512}));
}

TEST(PcmConverter, NarrowsSixteenBitSamplesByArithmeticShift) {
    CPcmConverter c;
    SetFormats(c, 1, 8000, 16, 1, 8000, 8);
    ASSERT_TRUE(c.Prepare());
    const std::vector<int16_t> in = {-32768, -257, -256, -1, 0, 255, 256, 32767};
    std::vector<uint8_t> out(in.size(), 7);
    int produced = 0;
    ASSERT_TRUE(c.Process(in.data(), nullptr, static_cast<int>(in.size()), out.data(), nullptr, produced));
    EXPECT_EQ(produced, static_cast<int>(in.size()));
    EXPECT_EQ(out, (std::vector<uint8_t>{0, 126, 127, 127, 128, 128, 129, 255}));
}

TEST(PcmConverter, MixesEightBitStereoOnTheUnsignedValues) {
    CPcmConverter c;
    SetFormats(c, 2, 8000, 8, 1, 8000, 8);
    ASSERT_TRUE(c.Prepare());
    const std::vector<uint8_t> left = {255, 255, 1, 0, 128};
    const std::vector<uint8_t> right = {0, 255, 2, 0, 129};
    std::vector<uint8_t> out(left.size());
    int produced = 0;
    ASSERT_TRUE(c.Process(left.data(), right.data(), 5, out.data(), nullptr, produced));
    EXPECT_EQ(out, (std::vector<uint8_t>{127, 255, 1, 0, 128}));
}

TEST(PcmConverter, WidensBeforeMixingAtEqualRates) {
    CPcmConverter c;
    SetFormats(c, 2, 8000, 8, 1, 8000, 16);
    ASSERT_TRUE(c.Prepare());
    const std::vector<uint8_t> left = {0, 255, 129};
    const std::vector<uint8_t> right = {255, 255, 128};
    std::vector<int16_t> out(3);
    int produced = 0;
    ASSERT_TRUE(c.Process(left.data(), right.data(), 3, out.data(), nullptr, produced));
    // (-32768 + 32512) >> 1, (32512 + 32512) >> 1, (256 + 0) >> 1
    EXPECT_EQ(out, (std::vector<int16_t>{-128, 32512, 128}));
}

TEST(PcmConverter, CopiesMonoToBothSidesAtEqualRates) {
    CPcmConverter c;
    SetFormats(c, 1, 44100, 16, 2, 44100, 16);
    ASSERT_TRUE(c.Prepare());
    const std::vector<int16_t> in = {5, -6, 32767};
    std::vector<int16_t> left(3), right(3);
    int produced = 0;
    ASSERT_TRUE(c.Process(in.data(), nullptr, 3, left.data(), right.data(), produced));
    EXPECT_EQ(left, in);
    EXPECT_EQ(right, in);
}

TEST(PcmConverter, ResamplesEightBitInputToSixteenBitLevels) {
    CPcmConverter c;
    SetFormats(c, 1, 11025, 8, 1, 22050, 16);
    ASSERT_TRUE(c.Prepare());
    const std::vector<uint8_t> in(4 * kBlock, 192);  // half scale, constant
    std::vector<int16_t> out(c.MaxOutputCount(static_cast<int>(in.size())));
    int produced = 0;
    ASSERT_TRUE(c.Process(in.data(), nullptr, static_cast<int>(in.size()), out.data(), nullptr, produced));
    ASSERT_GT(produced, 2000);
    EXPECT_NEAR(out[2000], 16383, 40);  // 0.5 × 32767 once the filter has settled
}

TEST(PcmConverter, ResamplesToEightBitAroundTheMiddle) {
    CPcmConverter c;
    SetFormats(c, 1, 22050, 16, 1, 11025, 8);
    ASSERT_TRUE(c.Prepare());
    const std::vector<int16_t> in(4 * kBlock, -16384);  // minus half scale
    std::vector<uint8_t> out(c.MaxOutputCount(static_cast<int>(in.size())));
    int produced = 0;
    ASSERT_TRUE(c.Process(in.data(), nullptr, static_cast<int>(in.size()), out.data(), nullptr, produced));
    ASSERT_GT(produced, 1000);
    EXPECT_NEAR(out[1000], 128 - 63, 1);
}

TEST(PcmConverter, ClampsOvershootInsteadOfWrappingAround) {
    CPcmConverter c;
    SetFormats(c, 1, 22050, 16, 1, 44100, 16);
    ASSERT_TRUE(c.Prepare());
    // A full-scale square wave rings past full scale in the filter.
    std::vector<int16_t> square(8 * kBlock);
    for (size_t i = 0; i < square.size(); ++i) square[i] = (i / 50) % 2 ? -32768 : 32767;
    const Converted out = ConvertAll(c, square, {});
    ASSERT_GT(out.left.size(), 4000u);
    // Around each edge the output runs from one extreme to the other without sign flips at
    // the peaks: a wrapped sample would be a large value of the wrong sign next to a peak.
    int atPeak = 0;
    for (size_t i = 1; i < out.left.size(); ++i) {
        const int a = out.left[i - 1], b = out.left[i];
        ASSERT_LT(std::abs(a - b), 40000) << "jump at " << i;
        if (b == 32767 || b == -32767) ++atPeak;
    }
    EXPECT_GT(atPeak, 0) << "the overshoot reached the clamp";
}

TEST(PcmConverter, MaxOutputCountBoundsEveryBlock) {
    CPcmConverter c;
    SetFormats(c, 2, 8000, 16, 2, 48000, 16);
    ASSERT_TRUE(c.Prepare());
    EXPECT_EQ(c.MaxOutputCount(kBlock), 7 * kBlock);
    const std::vector<int16_t> tone = Sine(300, 8000, 10 * kBlock);
    const Converted out = ConvertAll(c, tone, tone);  // checks produced <= MaxOutputCount
    EXPECT_NEAR(static_cast<double>(out.left.size()), 60.0 * kBlock, 400.0);
}

TEST(PcmConverter, WorksInPassesOfBoundedBuffersWhateverTheBlockAndRatio) {
    CPcmConverter c;
    SetFormats(c, 2, 500, 16, 2, 48000, 16);  // the largest ratio taken
    const int count = 20 * kBlock;
    const std::vector<int16_t> tone = Sine(50, 500, count);
    std::vector<int16_t> left(c.MaxOutputCount(count)), right(c.MaxOutputCount(count));
    const long before = gAllocatedBytes.load();
    ASSERT_TRUE(c.Prepare());
    int produced = 0;
    ASSERT_TRUE(c.Process(tone.data(), tone.data(), count, left.data(), right.data(), produced));
    // One pass's buffers, not a block's output at 96 times the rate (44 MB of floats).
    EXPECT_LT(gAllocatedBytes.load() - before, 64 * 1024);
    EXPECT_NEAR(static_cast<double>(produced), 96.0 * count, 96.0 * 100);
    EXPECT_EQ(left, right);
    EXPECT_NEAR(MeasureHz(left, 48000, 48000, 96000), 50.0, 1.0);
}

TEST(PcmConverter, SteadyBlocksAllocateNothing) {
    struct Case {
        int inChannels, inRate, outChannels, outRate;
    };
    for (const Case k : {Case{2, 22050, 2, 44100}, Case{2, 44100, 1, 44100}, Case{1, 32000, 2, 44100},
                         Case{2, 48000, 1, 32000}}) {
        CPcmConverter c;
        SetFormats(c, k.inChannels, k.inRate, 16, k.outChannels, k.outRate, 16);
        ASSERT_TRUE(c.Prepare());
        const std::vector<int16_t> tone = Sine(440, k.inRate, kBlock);
        std::vector<int16_t> left(c.MaxOutputCount(kBlock)), right(c.MaxOutputCount(kBlock));
        int produced = 0;
        ASSERT_TRUE(c.Process(tone.data(), tone.data(), kBlock, left.data(), right.data(), produced));
        const long before = gAllocations.load();
        for (int block = 0; block < 50; ++block) {
            const int n = block % 2 ? kBlock : kBlock / 3;  // smaller blocks reuse the buffers too
            ASSERT_TRUE(c.Process(tone.data(), tone.data(), n, left.data(), right.data(), produced));
        }
        EXPECT_EQ(gAllocations.load() - before, 0)
            << k.inChannels << "ch " << k.inRate << " -> " << k.outChannels << "ch " << k.outRate;
    }
}

TEST(PcmConverter, ResetReleasesResamplersAndClearsFormats) {
    CPcmConverter c;
    SetFormats(c, 2, 22050, 16, 2, 44100, 16);
    ASSERT_TRUE(c.Prepare());
    ASSERT_EQ(c.OpenResamplers(), 2);
    c.Reset();
    EXPECT_EQ(c.OpenResamplers(), 0);
    EXPECT_EQ(c.Factor(), 0.0);
    EXPECT_EQ(c.inChannels, -1);
    EXPECT_EQ(c.inRate, -1);
    EXPECT_EQ(c.inBits, -1);
    EXPECT_EQ(c.outChannels, -1);
    EXPECT_EQ(c.outRate, -1);
    EXPECT_EQ(c.outBits, -1);
}

TEST(PcmConverter, ResetThenPrepareStartsTheNextInputWithoutTheLastOnesTail) {
    CPcmConverter c;
    SetFormats(c, 1, 22050, 16, 1, 44100, 16);
    ASSERT_TRUE(c.Prepare());
    const std::vector<int16_t> loud = Sine(440, 22050, 4 * kBlock, 30000);
    ConvertAll(c, loud, {});
    SetFormats(c, 1, 22050, 16, 1, 44100, 16);
    ASSERT_TRUE(c.Prepare());
    const Converted quiet = ConvertAll(c, std::vector<int16_t>(2 * kBlock, 0), {});
    EXPECT_EQ(Peak(quiet.left, 0, quiet.left.size()), 0);
}

// --- Failures ---

TEST(PcmConverterFailure, PrepareRefusesFormatsOutOfRange) {
    CPcmConverter c;
    c.Reset();
    EXPECT_FALSE(c.Prepare()) << "formats left at -1";
    SetFormats(c, 3, 44100, 16, 2, 44100, 16);
    EXPECT_FALSE(c.Prepare());
    SetFormats(c, 2, 44100, 24, 2, 44100, 16);
    EXPECT_FALSE(c.Prepare());
    SetFormats(c, 2, 0, 16, 2, 44100, 16);
    EXPECT_FALSE(c.Prepare());
    EXPECT_EQ(c.OpenResamplers(), 0);
}

TEST(PcmConverterFailure, PrepareRefusesRatesMoreThan96TimesApart) {
    EXPECT_FALSE(CPcmConverter::Convertible(1, 48000));
    EXPECT_FALSE(CPcmConverter::Convertible(499, 48000));
    EXPECT_TRUE(CPcmConverter::Convertible(500, 48000));
    EXPECT_TRUE(CPcmConverter::Convertible(4608000, 48000));
    EXPECT_FALSE(CPcmConverter::Convertible(4608001, 48000));
    EXPECT_FALSE(CPcmConverter::Convertible(2147483647, 8000));
    CPcmConverter c;
    SetFormats(c, 1, 1, 16, 2, 48000, 16);  // a file declaring 1 Hz
    EXPECT_FALSE(c.Prepare());
    EXPECT_EQ(c.OpenResamplers(), 0);
    EXPECT_EQ(c.Factor(), 0.0);
    SetFormats(c, 1, 48000, 16, 1, 400, 16);
    EXPECT_FALSE(c.Prepare());
}

TEST(PcmConverterFailure, ProcessBeforePrepareProducesNothing) {
    CPcmConverter c;
    SetFormats(c, 1, 44100, 16, 1, 44100, 16);
    const std::vector<int16_t> in(kBlock, 1);
    std::vector<int16_t> out(kBlock);
    int produced = 99;
    EXPECT_FALSE(c.Process(in.data(), nullptr, kBlock, out.data(), nullptr, produced));
    EXPECT_EQ(produced, 0);
}

TEST(PcmConverterFailure, ProcessRefusesMissingArrays) {
    CPcmConverter c;
    SetFormats(c, 2, 44100, 16, 2, 22050, 16);
    ASSERT_TRUE(c.Prepare());
    const std::vector<int16_t> in(kBlock, 1);
    std::vector<int16_t> out(c.MaxOutputCount(kBlock));
    int produced = 99;
    EXPECT_FALSE(c.Process(in.data(), nullptr, kBlock, out.data(), out.data(), produced)) << "no right input";
    EXPECT_FALSE(c.Process(in.data(), in.data(), kBlock, out.data(), nullptr, produced)) << "no right output";
    EXPECT_EQ(produced, 0);
}

}  // namespace
}  // namespace corvane
