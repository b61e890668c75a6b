// Bit-rate snapping and look-ups over the encoding value lists.
#include "audio/EncodingParams.h"

#include <algorithm>
#include <cstddef>

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
