// Bit-rate snapping and look-ups over the encoding value lists.
#include "audio/EncodingParams.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace corvane {

int32_t NearestStandardBitrate(int32_t kbps) {
    if (kbps <= kBitrates.front()) return kBitrates.front();
    if (kbps >= kBitrates.back()) return kBitrates.back();
    // kbps lies strictly between the first and the last entry: find the pair around it.
    for (std::size_t i = 1; i < kBitrates.size(); ++i) {
        const int32_t upper = kBitrates[i];
        if (kbps > upper) continue;
        const int32_t lower = kBitrates[i - 1];
        return (kbps - lower <= upper - kbps) ? lower : upper;  // a tie takes the lower
    }
    return kBitrates.back();
}

namespace {

// The lowest sample rates of MPEG 1 and MPEG 2; below the latter lies MPEG 2.5.
constexpr int32_t kMpeg1LowestRate = 32000;
constexpr int32_t kMpeg2LowestRate = 16000;
// The Layer III bit-rate ranges of each, as LAME encodes them.
constexpr int32_t kMpeg1LowestKbps = 32;
constexpr int32_t kMpeg1MissingKbps = 144;  // an MPEG 2 rate only
constexpr int32_t kMpeg2HighestKbps = 160;
constexpr int32_t kMpeg25HighestKbps = 64;

bool AllowedAt(int32_t hz, int32_t kbps) {
    if (hz >= kMpeg1LowestRate) return kbps >= kMpeg1LowestKbps && kbps != kMpeg1MissingKbps;
    if (hz >= kMpeg2LowestRate) return kbps <= kMpeg2HighestKbps;
    return kbps <= kMpeg25HighestKbps;
}

}  // namespace

int32_t NearestBitrateForSampleRate(int32_t hz, int32_t kbps) {
    int32_t best = 0;
    int64_t bestDistance = INT64_MAX;
    for (const int32_t candidate : kBitrates) {  // ascending: a tie keeps the lower
        if (!AllowedAt(hz, candidate)) continue;
        const int64_t distance = std::abs(int64_t{candidate} - kbps);
        if (distance < bestDistance) {
            best = candidate;
            bestDistance = distance;
        }
    }
    return best;
}

int32_t NearestSampleRate(int32_t hz) {
    int32_t best = kSampleRates.front();
    for (const int32_t candidate : kSampleRates) {  // ascending: a tie keeps the lower
        if (std::abs(int64_t{candidate} - hz) < std::abs(int64_t{best} - hz)) best = candidate;
    }
    return best;
}

int32_t SampleRateForBitrate(int32_t kbps, int32_t hz) {
    if (kbps <= 24) return std::min<int32_t>(hz, 24000);
    if (kbps <= 64) return hz;
    if (kbps <= 160) return std::max<int32_t>(hz, 16000);
    return std::max<int32_t>(hz, 32000);
}

int32_t BitrateForSampleRate(int32_t hz, int32_t kbps) {
    if (hz <= 12000) return std::min<int32_t>(kbps, 64);
    if (hz <= 24000) return std::min<int32_t>(kbps, 160);
    return std::max<int32_t>(kbps, 32);
}

int FindEncodingPreset(const EncodingParams& params) {
    for (std::size_t i = 0; i < kEncodingPresets.size(); ++i) {
        if (kEncodingPresets[i].params == params) return static_cast<int>(i);
    }
    return -1;
}

const char* ChannelModeChoiceText(int32_t channelMode) {
    for (const ChannelModeChoice& choice : kChannelModeChoices) {
        if (choice.channelMode == channelMode) return choice.text;
    }
    return nullptr;
}

}  // namespace corvane
